// The three programs' windows as the window system sees them, each program
// started on an X server of its own without photographs and closed with its
// close box.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
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

// A desktop as the environment shows it to the programs: its dpi, or the
// scale the user picked (KDE Plasma on X11 sets QT_SCREEN_SCALE_FACTORS).
struct TDesktop {
  const char* Name;
  std::vector<std::string> Env;
};
void PrintTo(const TDesktop& d, std::ostream* os) { *os << d.Name; }

const TDesktop kDesktops[] = {
    {"Plain", {}},
    {"FontDpi192", {"QT_FONT_DPI=192"}},
    {"ScreenScaleFactors2", {"QT_SCREEN_SCALE_FACTORS=2"}},
    {"ScaleFactor2", {"QT_SCALE_FACTOR=2"}},
};

class ProgramWindow : public testing::TestWithParam<std::tuple<TProgramWindow, TDesktop>> {
 protected:
  void SetUp() override {
    if (!TXServer::Watchable()) GTEST_SKIP() << "programs under X are not watched in this build";
  }
  static const TProgramWindow& Window() { return std::get<0>(GetParam()); }
  // Starts the program on the desktop; its main window.
  std::optional<TXServer::TWindow> Open() {
    if (!x.Running()) return std::nullopt;
    std::vector<std::string> env = x.Env();
    const std::vector<std::string>& desktop = std::get<1>(GetParam()).Env;
    env.insert(env.end(), desktop.begin(), desktop.end());
    if (!prog.Start({}, folder.Path(), env)) return std::nullopt;
    return x.WaitFor(Window().Caption, 120);
  }
  // Closes it with the close box; whether it then ended cleanly.
  bool CloseAndEnd(const TXServer::TWindow& window) {
    x.Close(window);
    return Within(120, [&] { return prog.Ended(); }) && prog.EndedCleanly();
  }
  TXServer x;
  TempFolder folder;
  TProgramCopy prog{Window().Program};
};

// Task bars group and name windows by their window class.
TEST_P(ProgramWindow, TheWindowClassIsTheProgramsTitle) {
  const auto window = Open();
  ASSERT_TRUE(window) << "no window";
  EXPECT_EQ(window->Instance, Window().Program);
  EXPECT_EQ(window->Class, Window().Program);
  EXPECT_TRUE(CloseAndEnd(*window)) << "status " << prog.Status();
}

// At any dpi and any scale of the desktop the window keeps the stated pixels
// and the place stored (none stored: 50, 50).
TEST_P(ProgramWindow, SizesAndPlacesAreTheStatedPixelsAtAnyDpi) {
  const auto window = Open();
  ASSERT_TRUE(window) << "no window";
  EXPECT_EQ(window->Width, Window().ClientWidth);
  EXPECT_EQ(window->Height, Window().ClientHeight);
  EXPECT_EQ(window->X, 50);
  EXPECT_EQ(window->Y, 50);
  EXPECT_TRUE(CloseAndEnd(*window)) << "status " << prog.Status();
}

// The window is drawn alike on every desktop: the style's own sizes (the check
// box's indicator, for one) follow no dpi either.
class ProgramPicture : public testing::TestWithParam<TProgramWindow> {
 protected:
  void SetUp() override {
    if (!TXServer::Watchable()) GTEST_SKIP() << "programs under X are not watched in this build";
  }
  // Starts the program on desktop and grabs its window until done says the
  // picture is complete (or a generous cap has passed); closes it again. The
  // last picture grabbed.
  std::vector<unsigned long> Drawn(const TDesktop& desktop,
                                   const std::function<bool(const std::vector<unsigned long>&)>& done) {
    std::vector<unsigned long> picture;
    std::vector<std::string> env = x.Env();
    env.insert(env.end(), desktop.Env.begin(), desktop.Env.end());
    if (!x.Running() || !prog.Start({}, folder.Path(), env)) return picture;
    const auto window = x.WaitFor(GetParam().Caption, 120);
    if (!window) return picture;
    Within(60, [&] { return done(picture = x.Picture(*window)); });
    x.Close(*window);
    EXPECT_TRUE(Within(120, [&] { return prog.Ended(); }) && prog.EndedCleanly()) << "status " << prog.Status();
    return picture;
  }
  TXServer x;
  TempFolder folder;
  TProgramCopy prog{GetParam().Program};
};

TEST_P(ProgramPicture, IsTheSameOnEveryDesktop) {
  // On the plain desktop the picture is complete once it no longer changes.
  std::vector<unsigned long> last;
  int same = 0;
  const std::vector<unsigned long> plain = Drawn(kDesktops[0], [&](const std::vector<unsigned long>& p) {
    same = !p.empty() && p == last ? same + 1 : 0;
    last = p;
    return same == 10 && std::adjacent_find(p.begin(), p.end(), std::not_equal_to<>()) != p.end();
  });
  ASSERT_EQ(plain.size(), static_cast<std::size_t>(GetParam().ClientWidth * GetParam().ClientHeight));
  for (const TDesktop& desktop : kDesktops) {
    if (&desktop == &kDesktops[0]) continue;
    const std::vector<unsigned long> picture =
        Drawn(desktop, [&](const std::vector<unsigned long>& p) { return p == plain; });
    EXPECT_TRUE(picture == plain) << desktop.Name;
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramPicture, testing::ValuesIn(kWindows),
                         [](const testing::TestParamInfo<TProgramWindow>& info) { return info.param.Program; });

INSTANTIATE_TEST_SUITE_P(Programs, ProgramWindow, testing::Combine(testing::ValuesIn(kWindows), testing::ValuesIn(kDesktops)),
                         [](const testing::TestParamInfo<ProgramWindow::ParamType>& info) {
                           return std::string(std::get<0>(info.param).Program) + "_" + std::get<1>(info.param).Name;
                         });

}  // namespace
