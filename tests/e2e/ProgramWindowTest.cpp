// The three programs' windows as the window system sees them, each program
// started on an X server of its own without photographs and closed with its
// close box.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/ProgramCopy.h"
#include "tests/support/XServer.h"

namespace {

struct TProgramWindow {
  const char* Program;
  const char* Caption;
  int ClientWidth, ClientHeight;
};
void PrintTo(const TProgramWindow& w, std::ostream* os) { *os << w.Program; }

const TProgramWindow kWindows[] = {
    {"Vornel_L", "Vornel_L(Ver0.15)", 257, 99},
    {"Vornel_R", "Vornel_R(Ver0.15)", 257, 101},
    {"Quillet", "Quillet(Ver0.15)", 260, 130},
};

class ProgramWindow : public testing::TestWithParam<TProgramWindow> {
 protected:
  void SetUp() override {
    if (!TXServer::Watchable()) GTEST_SKIP() << "programs under X are not watched in this build";
  }
  // Starts the program with extra environment entries; its main window.
  std::optional<TXServer::TWindow> Open(const std::vector<std::string>& extra = {}) {
    if (!x.Running()) return std::nullopt;
    std::vector<std::string> env = x.Env();
    env.insert(env.end(), extra.begin(), extra.end());
    if (!prog.Start({}, folder.Path(), env)) return std::nullopt;
    return x.WaitFor(GetParam().Caption, 120);
  }
  // Closes it with the close box; whether it then ended cleanly.
  bool CloseAndEnd(const TXServer::TWindow& window) {
    x.Close(window);
    return Within(120, [&] { return prog.Ended(); }) && prog.EndedCleanly();
  }
  TXServer x;
  TempFolder folder;
  TProgramCopy prog{GetParam().Program};
};

// Task bars group and name windows by their window class.
TEST_P(ProgramWindow, TheWindowClassIsTheProgramsTitle) {
  const auto window = Open();
  ASSERT_TRUE(window) << "no window";
  EXPECT_EQ(window->Instance, GetParam().Program);
  EXPECT_EQ(window->Class, GetParam().Program);
  EXPECT_TRUE(CloseAndEnd(*window)) << "status " << prog.Status();
}

// A desktop at 192 dpi: the window keeps the stated pixels and the place
// stored (none stored: 50, 50).
TEST_P(ProgramWindow, SizesAndPlacesAreTheStatedPixelsAtAnyDpi) {
  const auto window = Open({"QT_FONT_DPI=192"});
  ASSERT_TRUE(window) << "no window";
  EXPECT_EQ(window->Width, GetParam().ClientWidth);
  EXPECT_EQ(window->Height, GetParam().ClientHeight);
  EXPECT_EQ(window->X, 50);
  EXPECT_EQ(window->Y, 50);
  EXPECT_TRUE(CloseAndEnd(*window)) << "status " << prog.Status();
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramWindow, testing::ValuesIn(kWindows),
                         [](const testing::TestParamInfo<TProgramWindow>& info) { return info.param.Program; });

}  // namespace
