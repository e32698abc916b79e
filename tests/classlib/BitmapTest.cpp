#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "classlib/Graphics.h"
#include "classlib/Workers.h"

namespace {

const char* const kScanLineError = "スキャンライン のインデックスが範囲を越えました";

TEST(Bitmap, RowsLieBottomUpPaddedToFourBytes) {
  struct Case {
    TPixelFormat format;
    int stride;  // for 5 pixels
  };
  for (Case c : {Case{pf1bit, 4}, Case{pf4bit, 4}, Case{pf8bit, 8}, Case{pf15bit, 12}, Case{pf16bit, 12},
                 Case{pf24bit, 16}, Case{pf32bit, 20}, Case{pfDevice, 20}}) {
    SCOPED_TRACE(testing::Message() << "format " << c.format);
    TBitmap b;
    b.SetPixelFormat(c.format);
    b.SetWidth(5);
    b.SetHeight(3);
    EXPECT_EQ(b.PixelFormat(), c.format);
    BYTE* bottom = b.ScanLine(2);
    EXPECT_EQ(b.ScanLine(1), bottom + c.stride);
    EXPECT_EQ(b.ScanLine(0), bottom + 2 * c.stride);
    // The GDI object describes the same memory.
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(b.Handle(), sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBits, bottom);
    EXPECT_EQ(ds.dsBm.bmWidth, 5);
    EXPECT_EQ(ds.dsBm.bmHeight, 3);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
  }
}

TEST(Bitmap, ScanLineOutOfRangeRaises) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 2);
  for (int row : {-1, 2, 1000}) {
    try {
      b.ScanLine(row);
      ADD_FAILURE() << "row " << row;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_STREQ(e.what(), kScanLineError);
    }
  }
  TBitmap flat;  // no rows at all: every row is out of range
  flat.SetPixelFormat(pf24bit);
  flat.SetSize(10, 0);
  EXPECT_THROW(flat.ScanLine(0), EInvalidGraphicOperation);
  // No pixels across: the row may be asked for and holds nothing.
  TBitmap thin;
  thin.SetPixelFormat(pf8bit);
  thin.SetSize(0, 3);
  EXPECT_NO_THROW(thin.ScanLine(2));
}

TEST(Bitmap, AssignTakesFormatPaletteSizeAndPixelsWithoutSharingChanges) {
  TBitmap src;
  src.SetPixelFormat(pf8bit);
  src.SetSize(3, 3);  // square: a copy must still have pixels of its own
  std::vector<RGBQUAD> palette(256, RGBQUAD{1, 2, 3, 0});
  palette[7] = RGBQUAD{9, 8, 7, 0};
  src.SetColors(palette);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) src.ScanLine(y)[x] = static_cast<BYTE>(y * 3 + x);

  TBitmap copy;
  copy.Assign(&src);
  EXPECT_EQ(copy.PixelFormat(), pf8bit);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Height(), 3);
  ASSERT_EQ(copy.Colors().size(), 256u);
  EXPECT_EQ(copy.Colors()[7].rgbBlue, 9);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(copy.ScanLine(y)[x], y * 3 + x);

  // Writing either side leaves the other as it was.
  copy.ScanLine(0)[0] = 200;
  EXPECT_EQ(src.ScanLine(0)[0], 0);
  src.ScanLine(2)[2] = 100;
  EXPECT_EQ(copy.ScanLine(2)[2], 8);
  EXPECT_NE(copy.ScanLine(0), src.ScanLine(0));
  // The handle's memory is the copy's own as well.
  DIBSECTION a{}, b{};
  GetObjectA(copy.Handle(), sizeof a, &a);
  GetObjectA(src.Handle(), sizeof b, &b);
  EXPECT_NE(a.dsBm.bmBits, b.dsBm.bmBits);

  copy.Assign(nullptr);
  EXPECT_EQ(copy.Width(), 0);
  EXPECT_EQ(copy.Height(), 0);
}

TEST(Bitmap, ResizingKeepsFormatAndPalette) {
  TBitmap src;
  src.SetPixelFormat(pf8bit);
  src.SetSize(30, 20);
  std::vector<RGBQUAD> palette(236, RGBQUAD{5, 6, 7, 0});
  src.SetColors(palette);
  TBitmap turned;
  turned.Assign(&src);
  turned.SetWidth(20);
  turned.SetHeight(30);
  EXPECT_EQ(turned.PixelFormat(), pf8bit);
  EXPECT_EQ(turned.Colors().size(), 236u);
  EXPECT_EQ(turned.Width(), 20);
  EXPECT_EQ(turned.Height(), 30);
  EXPECT_EQ(turned.ScanLine(0), turned.ScanLine(29) + 29 * 20);
  // The source keeps its own size and pixels.
  EXPECT_EQ(src.Width(), 30);
  EXPECT_EQ(src.ScanLine(0), src.ScanLine(19) + 19 * 32);
}

TEST(Bitmap, TooLargeOrNegativeSizesRaiseBeforeAnyPixelIsTouched) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  // The size alone allocates nothing; the pixels, when asked for, are refused.
  b.SetSize(65500, 65500);
  EXPECT_THROW(b.ScanLine(0), EOutOfResources);
  EXPECT_THROW(b.Handle(), EOutOfResources);
  EXPECT_THROW(CheckBitmapSize(65500, 65500, pf24bit), EOutOfResources);
  // The limit keeps every byte offset within a 32-bit Integer.
  EXPECT_LE(MaxBitmapBytes(), 0x7FFFFFFFu);
  EXPECT_THROW(CheckBitmapSize(0x7FFFFFFF, 1, pf32bit), EOutOfResources);  // the row alone overflows
  EXPECT_NO_THROW(CheckBitmapSize(0x7FFFFFFF, 0, pf1bit));
  EXPECT_THROW(b.SetWidth(-1), EInvalidGraphicOperation);
  EXPECT_THROW(b.SetHeight(-5), EInvalidGraphicOperation);
  EXPECT_EQ(b.Width(), 65500);  // a refused size changes nothing
  // Turning a tall strip passes through a size beyond the limit on the way to
  // its final one; only the final size is allocated.
  TBitmap strip, turned;
  strip.SetPixelFormat(pf24bit);
  strip.SetSize(500, 60000);
  turned.Assign(&strip);
  turned.SetWidth(60000);
  turned.SetHeight(500);
  EXPECT_NO_THROW(turned.ScanLine(499)[0] = 1);
  // A sound size afterwards works as usual.
  b.SetSize(100, 100);
  EXPECT_NO_THROW(b.ScanLine(99)[299] = 1);
}

TEST(Bitmap, IndexedFormatsStartWithAGrayRamp) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  ASSERT_EQ(b.Colors().size(), 256u);
  EXPECT_EQ(b.Colors()[200].rgbRed, 200);
  b.SetPixelFormat(pf1bit);
  ASSERT_EQ(b.Colors().size(), 2u);
  EXPECT_EQ(b.Colors()[1].rgbGreen, 255);
  b.SetPixelFormat(pf24bit);
  EXPECT_TRUE(b.Colors().empty());
}

// A large block goes back to the system on a worker, and at the latest when the
// next large block is taken: never two files' worth held at once. The workers
// are kept busy here, so only the next allocation can see to it.
TEST(Bitmap, ALargeBlockIsHandedBackBeforeTheNextIsTaken) {
  TWorkerPool& workers = ImageWorkers();
  const int others = workers.Threads() - 1;
  std::atomic<int> started{0};
  std::atomic<bool> go{false};
  const auto busy = workers.Post(others, [&](int) {
    ++started;
    while (!go) std::this_thread::yield();
  });
  while (started < others) std::this_thread::yield();

  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t bytes = 9000u * 1000u;  // 3000 x 1000 at 24 bits
  BYTE* first = nullptr;
  {
    TBitmap a;
    a.SetPixelFormat(pf24bit);
    a.SetSize(3000, 1000);
    first = a.ScanLine(999);
    first[0] = 1;
  }
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3000, 1000);
  BYTE* second = b.ScanLine(999);
  // Each page of the first block is gone, or the second block's.
  int held = 0;
  for (std::size_t off = 0; off < bytes; off += page) {
    unsigned char resident = 0;
    const bool mapped = mincore(first + off, page, &resident) == 0 || errno != ENOMEM;
    if (mapped && !(first + off >= second && first + off < second + bytes)) ++held;
  }
  EXPECT_EQ(held, 0) << "pages of the first block still held";
  go = true;
  busy->Wait();
}

}  // namespace
