// Test main for tests that need the GUI: one QApplication for the whole run,
// made as the class library makes a program's, offscreen unless the caller
// chose a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "classlib/QtBridge.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::unique_ptr<QApplication> app = QtBridge::NewApplication(argc, argv);
  return RUN_ALL_TESTS();
}
