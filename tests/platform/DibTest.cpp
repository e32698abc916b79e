#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Dib.h"

namespace {

TEST(Dib, RowsArePaddedToFourBytesAndDescribedByGetObject) {
  struct Case {
    LONG width;
    WORD bits;
    LONG stride;
  };
  const Case cases[] = {{3, 24, 12}, {4, 24, 12}, {5, 24, 16}, {3, 8, 4}, {4, 8, 4}, {5, 8, 8},
                        {1, 1, 4},   {33, 1, 8},  {9, 4, 8},   {3, 16, 8}, {3, 32, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " px at " << c.bits << " bits");
    EXPECT_EQ(DibStride(c.width, c.bits), c.stride);
    void* bits = nullptr;
    HBITMAP h = CreateDIBSection(c.width, 7, c.bits, &bits);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(bits, nullptr);
    // Pixel memory starts zeroed, every byte of it.
    std::vector<std::uint8_t> zero(static_cast<std::size_t>(c.stride) * 7);
    EXPECT_EQ(std::memcmp(bits, zero.data(), zero.size()), 0);

    DIBSECTION ds;
    std::memset(&ds, 0xAB, sizeof ds);
    EXPECT_EQ(GetObjectA(h, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, c.width);
    EXPECT_EQ(ds.dsBm.bmHeight, 7);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bits);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biWidth, c.width);
    EXPECT_EQ(ds.dsBmih.biBitCount, c.bits);
    EXPECT_EQ(ds.dsBmih.biSizeImage, static_cast<DWORD>(c.stride * 7));

    // A buffer of a BITMAP gets only that part; one too small gets nothing.
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(h, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_EQ(GetObjectA(h, sizeof bm - 1, &bm), 0);
    EXPECT_EQ(DeleteObject(h), TRUE);
  }
}

TEST(Dib, LargeBlocksLieOnHugePageBoundariesAndAreUsable) {
  void* bits = nullptr;
  // 3000 x 1000 at 24 bits: 9 MB.
  HBITMAP h = CreateDIBSection(3000, 1000, 24, &bits);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bits) % (2u << 20), 0u);
  auto* p = static_cast<std::uint8_t*>(bits);
  const std::size_t bytes = 9000u * 1000u;
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[bytes - 1], 0);
  std::memset(p, 0x5A, bytes);  // every byte of the block is ours to write
  EXPECT_EQ(p[bytes - 1], 0x5A);
  EXPECT_EQ(DeleteObject(h), TRUE);
}

TEST(Dib, EmptyAndImpossibleSections) {
  void* bits = reinterpret_cast<void*>(1);
  HBITMAP empty = CreateDIBSection(0, 5, 24, &bits);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(bits, nullptr);
  DIBSECTION ds{};
  EXPECT_EQ(GetObjectA(empty, sizeof ds, &ds), static_cast<int>(sizeof ds));
  EXPECT_EQ(ds.dsBm.bmWidth, 0);
  EXPECT_EQ(ds.dsBm.bmHeight, 5);
  EXPECT_EQ(DeleteObject(empty), TRUE);

  // Negative sizes, unknown depths and rows beyond 32 bits are refused, and
  // the pixel address comes back null.
  for (auto [w, h, b] : {std::tuple<LONG, LONG, WORD>{-1, 5, 24}, {5, -1, 24}, {5, 5, 7},
                         {5, 5, 0}, {0x7FFFFFFF, 1, 32}}) {
    bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(w, h, b, &bits), nullptr);
    EXPECT_EQ(bits, nullptr);
  }
  EXPECT_EQ(DibStride(0x7FFFFFFF, 32), -1);
  EXPECT_EQ(DibStride(-1, 8), -1);
  // More memory than the address space can map: refused, not a crash.
  bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(0x20000000, 0x7FFFFFFF, 32, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
}

TEST(Dib, StaleAndForeignHandlesAreRefused) {
  void* bits = nullptr;
  HBITMAP h = CreateDIBSection(2, 2, 8, &bits);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(DeleteObject(h), TRUE);
  DIBSECTION ds{};
  EXPECT_EQ(GetObjectA(h, sizeof ds, &ds), 0);
  EXPECT_EQ(DeleteObject(h), FALSE);
  int local = 0;
  EXPECT_EQ(GetObjectA(&local, sizeof ds, &ds), 0);
  EXPECT_EQ(DeleteObject(&local), FALSE);
  EXPECT_EQ(GetObjectA(nullptr, sizeof ds, &ds), 0);
}

}  // namespace
