// A bitmap laid out as the per-file routines see theirs, in a plain buffer: rows
// bottom-up, each padded to 4 bytes, B bytes per pixel.
#pragma once
#include <cstdint>
#include <vector>

#include "classlib/SysUtils.h"
#include "platform/WinTypes.h"

struct TBottomUpImage {
  Integer W, H, B;
  std::int64_t stride;
  std::vector<BYTE> bytes;
  TBottomUpImage(Integer w, Integer h, Integer b, BYTE fill)
      : W(w), H(h), B(b), stride(((std::int64_t{w} * b + 3) / 4) * 4),
        bytes(static_cast<std::size_t>(stride * h), fill) {}
  // Pixel (row r from the top, column c).
  BYTE* At(Integer r, Integer c) { return bytes.data() + (H - 1 - r) * stride + std::int64_t{c} * B; }
};
