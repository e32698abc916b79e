// One thumbnail inside one process: Quillet's form made and shown offscreen, the
// long side typed into its size edit, MakeThumbnail called directly on a copy
// of the input beside this program, once per run.
//
//   bench_thumb SIZE SOURCE RUNS
//
// Prints the milliseconds of each run, one a line. The settings file lies
// beside this program, as for the tool.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchSupport.h"
#include "classlib/Forms.h"
#include "thumb/Unit1.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SIZE SOURCE RUNS\n", argv[0]);
    return 2;
  }
  const std::string size = argv[1], source = argv[2];
  const int runs = std::atoi(argv[3]);
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return 1;
  const std::string input = std::string(cwd) + "/thumb-input.jpg";
  try {
    if (!CopyFile(source, input)) {
      std::fprintf(stderr, "cannot copy %s to %s\n", source.c_str(), input.c_str());
      return 1;
    }
    Application->Initialize();
    Application->SetTitle("Quillet");
    Application->CreateForm(Form1);
    ShowAndActivate(Form1);
    Form1->Edit2->SetText(size);
    for (int r = 0; r < runs; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      Form1->MakeThumbnail(input);
      const auto t1 = std::chrono::steady_clock::now();
      std::printf("%.3f\n", std::chrono::duration<double, std::milli>(t1 - t0).count());
      std::fflush(stdout);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fflush(stdout);
  std::_Exit(0);  // the form's teardown is not what is measured here
}
