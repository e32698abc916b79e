// What the in-process benchmarks share: showing the main form offscreen as the
// program block would, and a plain file copy for fresh inputs.
#pragma once
#include <chrono>
#include <fstream>
#include <string>

#include "classlib/Forms.h"
#include "platform/CommandLine.h"

// Shows the form and lets messages run until it has reported its activation (at
// most a few seconds). The form's activation handler takes the command line as
// a batch, so it is made to see none: the benchmark's own arguments are not
// files for the tool.
inline void ShowAndActivate(TCustomForm* form) {
  SetCommandLineParamsForTest({});
  form->Show();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!form->ActivationReported() && std::chrono::steady_clock::now() < until) Application->ProcessMessages();
}

inline bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  out << in.rdbuf();
  return static_cast<bool>(out.flush());
}
