// Drop targets and drop handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Drop.h"
#include "platform/Windows.h"

namespace {

TEST(WindowDropTest, QueryFilesCountsCopiesAndCuts) {
  std::size_t before = OpenDropHandleCount();
  std::string longPath = "/" + std::string(3000, 'x') + "/写真.jpg";
  HDROP h = CreateDropHandle({"/tmp/a.jpg", "/tmp/写真 b.JPG", longPath}, POINT{17, -3});
  EXPECT_EQ(OpenDropHandleCount(), before + 1);

  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 3u);
  char buf[MAX_PATH_BYTES];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(DragQueryFileA(h, 1, buf, sizeof buf), std::strlen("/tmp/写真 b.JPG"));
  EXPECT_STREQ(buf, "/tmp/写真 b.JPG");
  // The length without a buffer; a long path whole in the platform's longest buffer.
  EXPECT_EQ(DragQueryFileA(h, 2, nullptr, 0), longPath.size());
  EXPECT_EQ(DragQueryFileA(h, 2, buf, sizeof buf), longPath.size());
  EXPECT_EQ(std::string(buf), longPath);

  // Cut to the buffer size, terminating null included.
  char small[6];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(DragQueryFileA(h, 0, small, sizeof small), 5u);
  EXPECT_STREQ(small, "/tmp/");
  EXPECT_EQ(DragQueryFileA(h, 0, small, 0), 0u);
  EXPECT_EQ(small[0], '/') << "a zero-sized buffer is not written";
  EXPECT_EQ(DragQueryFileA(h, 3, buf, sizeof buf), 0u) << "index out of range";

  POINT p{0, 0};
  EXPECT_TRUE(DragQueryPoint(h, &p));
  EXPECT_EQ(p.x, 17);
  EXPECT_EQ(p.y, -3);

  DragFinish(h);
  EXPECT_EQ(OpenDropHandleCount(), before);
  // A released handle answers nothing and may be released again harmlessly.
  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 0u);
  EXPECT_FALSE(DragQueryPoint(h, &p));
  DragFinish(h);
  EXPECT_EQ(OpenDropHandleCount(), before);
}

TEST(WindowDropTest, EmptyDropReportsNoFiles) {
  HDROP h = CreateDropHandle({}, POINT{0, 0});
  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 0u);
  DragFinish(h);
}

LRESULT NullProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

TEST(WindowDropTest, RegistrationFollowsAcceptAndTheWindowsLife) {
  HWND h = CreateWindowExA(&NullProc, 0);
  EXPECT_FALSE(WindowAcceptsDrops(h));
  DragAcceptFiles(h, TRUE);
  EXPECT_TRUE(WindowAcceptsDrops(h));
  DragAcceptFiles(h, FALSE);
  EXPECT_FALSE(WindowAcceptsDrops(h));
  DragAcceptFiles(h, TRUE);
  DestroyWindow(h);
  EXPECT_FALSE(WindowAcceptsDrops(h));
  DragAcceptFiles(h, TRUE);
  EXPECT_FALSE(WindowAcceptsDrops(h)) << "a destroyed window cannot be registered";
}

}  // namespace
