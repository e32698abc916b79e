// Test main for tests that need the GUI: one QApplication for the whole run,
// made as the class library makes a program's, offscreen unless the caller
// chose a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "classlib/QtBridge.h"
#include "platform/WorkerPool.h"
#include "tests/support/GuiTestSupport.h"

extern char** environ;

std::vector<std::string> EnvironmentBeforeTheApplication;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The libraries' worker threads: a few at least, also on a small machine, so
  // that the tests run the paths that share work between threads.
  if (!std::getenv("VORNEL_THREADS") && WorkerThreadCount() < 4) setenv("VORNEL_THREADS", "4", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  for (char** e = environ; *e; ++e) EnvironmentBeforeTheApplication.emplace_back(*e);
  std::unique_ptr<QApplication> app = QtBridge::NewApplication(argc, argv);
  return RUN_ALL_TESTS();
}
