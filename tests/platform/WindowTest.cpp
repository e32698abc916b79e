// Windows, their procedure chains and the message queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Drop.h"
#include "platform/Windows.h"

namespace {

std::vector<std::string> Log;

LRESULT BaseProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Log.push_back("base " + std::to_string(Msg) + " " + std::to_string(wParam) + " " + std::to_string(lParam) +
                " user " + std::to_string(GetWindowLongA(hWnd, GWL_USERDATA)));
  return static_cast<LRESULT>(Msg) * 10;
}

WNDPROC HookPrev = nullptr;
LRESULT HookProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Log.push_back("hook " + std::to_string(Msg));
  if (Msg == WM_USER + 7) return 77;  // taken here, never reaches the base
  return CallWindowProcA(HookPrev, hWnd, Msg, wParam, lParam) + 1;
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    ClearMessageQueue();
  }
  void TearDown() override { ClearMessageQueue(); }
};

TEST_F(WindowTest, SendGoesThroughTheCurrentProcedureChain) {
  HWND h = CreateWindowExA(&BaseProc, 42);
  ASSERT_TRUE(IsWindow(h));
  EXPECT_EQ(SendMessageA(h, WM_USER, 1, 2), static_cast<LRESULT>(WM_USER) * 10);
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_EQ(Log[0], "base 1024 1 2 user 42");

  // Hooking as a subclassing component does: read, then install.
  HookPrev = reinterpret_cast<WNDPROC>(GetWindowLongA(h, GWL_WNDPROC));
  EXPECT_EQ(HookPrev, &BaseProc);
  LONG_PTR old = SetWindowLongA(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&HookProc));
  EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&BaseProc));
  Log.clear();
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), static_cast<LRESULT>(WM_USER) * 10 + 1);
  EXPECT_EQ(SendMessageA(h, WM_USER + 7, 0, 0), 77);
  EXPECT_EQ(Log, (std::vector<std::string>{"hook 1024", "base 1024 0 0 user 42", "hook 1031"}));

  // Putting the previous procedure back ends the hook.
  SetWindowLongA(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(HookPrev));
  Log.clear();
  SendMessageA(h, WM_USER + 7, 0, 0);
  EXPECT_EQ(Log, (std::vector<std::string>{"base 1031 0 0 user 42"}));
  DestroyWindow(h);
}

TEST_F(WindowTest, DestroyedWindowsAreGoneForGood) {
  HWND h = CreateWindowExA(&BaseProc, 1);
  EXPECT_TRUE(DestroyWindow(h));
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_EQ(Log[0].rfind("base 2 ", 0), 0u) << "WM_DESTROY goes through the chain first";
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(h));
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetWindowLongA(h, GWL_WNDPROC), 0);
  EXPECT_EQ(SetWindowLongA(h, GWL_USERDATA, 5), 0);
  EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
  // A new window never gets a former window's handle.
  HWND h2 = CreateWindowExA(&BaseProc, 2);
  EXPECT_NE(h2, h);
  EXPECT_EQ(SendMessageA(nullptr, WM_USER, 0, 0), 0);
  DestroyWindow(h2);
}

TEST_F(WindowTest, PostedMessagesWaitForDispatchInOrder) {
  HWND h = CreateWindowExA(&BaseProc, 0);
  EXPECT_TRUE(PostMessageA(h, WM_USER + 1, 0, 0));
  EXPECT_TRUE(PostMessageA(h, WM_USER + 2, 0, 0));
  EXPECT_TRUE(Log.empty()) << "posting calls nothing";
  EXPECT_EQ(PendingMessageCount(), 2u);

  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1);
  EXPECT_EQ(PendingMessageCount(), 2u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.hwnd, h);
  EXPECT_EQ(DispatchMessageA(&m), static_cast<LRESULT>(WM_USER + 1) * 10);
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER + 2);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(h);
}

TEST_F(WindowTest, QuitComesAfterEveryOtherPostedMessage) {
  HWND h = CreateWindowExA(&BaseProc, 0);
  PostMessageA(h, WM_USER + 1, 0, 0);
  PostQuitMessage(3);
  PostMessageA(h, WM_USER + 2, 0, 0);
  EXPECT_TRUE(QuitPending());
  std::vector<UINT> seen;
  MSG m{};
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) seen.push_back(m.message);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_QUIT}));
  EXPECT_FALSE(QuitPending()) << "taking the quit clears it";

  PostQuitMessage(9);
  EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0)) << "GetMessageA reports the quit as FALSE";
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 9u);
  DestroyWindow(h);
}

TEST_F(WindowTest, ThreadMessagesAndMessagesOfDestroyedWindowsAreNotDispatched) {
  HWND h = CreateWindowExA(&BaseProc, 0);
  EXPECT_TRUE(PostMessageA(nullptr, WM_USER, 0, 0));
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(DispatchMessageA(&m), 0);
  EXPECT_TRUE(Log.empty());

  // Destroying a window drops what was posted to it, drop handles released.
  HDROP drop = CreateDropHandle({"/a"}, POINT{1, 2});
  std::size_t open = OpenDropHandleCount();
  PostMessageA(h, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  PostMessageA(h, WM_USER, 0, 0);
  DestroyWindow(h);
  EXPECT_EQ(PendingMessageCount(), 0u);
  EXPECT_EQ(OpenDropHandleCount(), open - 1);
}

int Wakes = 0;
void CountWake() { ++Wakes; }

TEST_F(WindowTest, PostingWakesTheWaitingLoop) {
  HWND h = CreateWindowExA(&BaseProc, 0);
  Wakes = 0;
  SetMessageWakeHook(&CountWake);
  PostMessageA(h, WM_USER, 0, 0);
  PostQuitMessage(0);
  SetMessageWakeHook(nullptr);
  EXPECT_EQ(Wakes, 2);
  DestroyWindow(h);
}

}  // namespace
