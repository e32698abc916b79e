// Tests of a tool's main form: each starts from a fresh application titled as the
// program, with the program file (and so its settings file) in a temporary
// folder and no command-line parameters, and leaves none of it behind.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "classlib/Forms.h"
#include "platform/CommandLine.h"
#include "platform/Module.h"
#include "tests/support/TempFolder.h"

class ToolFormTest : public testing::Test {
 protected:
  explicit ToolFormTest(std::string program) : FProgram(std::move(program)) {}
  void SetUp() override {
    Application->Reset();
    Application->Initialize();
    Application->SetTitle(FProgram);
    SetModuleFileNameForTest(dir / FProgram);
    SetCommandLineParamsForTest({});
  }
  void TearDown() override {
    Application->Reset();
    SetModuleFileNameForTest("");
    ResetCommandLineParamsForTest();
  }
  // The settings file beside the program file.
  std::string Ini() const { return dir / (FProgram + ".INI"); }

  TempFolder dir;

 private:
  std::string FProgram;
};
