// Test main for tests that need the GUI: one QApplication for the whole run,
// offscreen unless the caller chose a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/WorkerPool.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The libraries' worker threads: a few at least, also on a small machine, so
  // that the tests run the paths that share work between threads.
  if (!std::getenv("VORNEL_THREADS") && WorkerThreadCount() < 4) setenv("VORNEL_THREADS", "4", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
