#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/WorkerPool.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The libraries' worker threads: a few at least, also on a small machine, so
  // that the tests run the paths that share work between threads.
  if (!std::getenv("VORNEL_THREADS") && WorkerThreadCount() < 4) setenv("VORNEL_THREADS", "4", 1);
  return RUN_ALL_TESTS();
}
