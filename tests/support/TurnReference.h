// The quarter turn written the plain way, pixel by pixel in source order with
// one turned row per pixel: what the band copy is checked and measured against.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>

#include "rotate/TurnCopy.h"

// Called after source row y (counted from the top) when y is a multiple of the
// band height: every source row up to y has been copied then, and none below it.
using TTurnProgress = std::function<void(Integer y)>;

// The whole copy of a bottom-up source (lowest row address SrcBase, row stride
// SrcStride), pixel by pixel.
inline void TurnPixelsNaive(TTurnRule rule, const BYTE* SrcBase, std::int64_t SrcStride, const TTurnTarget& T,
                            const TTurnProgress& progress = nullptr) {
  const std::int64_t B = T.BytesPerPixel;
  for (std::int64_t y = 0; y < T.Height; ++y) {
    const BYTE* s = SrcBase + (T.Height - 1 - y) * SrcStride;
    for (std::int64_t x = 0; x < T.Width; ++x) {
      BYTE* d = rule == TTurnRule::Left ? T.DstBase + x * T.DstStride + y * B
                                        : T.DstBase + (T.Width - 1 - x) * T.DstStride + (T.Height - 1 - y) * B;
      std::memcpy(d, s, static_cast<std::size_t>(B));
      s += B;
    }
    if (y % kTurnBandRows == 0 && progress) progress(static_cast<Integer>(y));
  }
}

// The whole copy of a bottom-up source as the rotation routine makes it: band by
// band through TurnRows, the progress after the bands that show it.
inline void TurnPixelsBanded(TTurnRule rule, const BYTE* SrcBase, std::int64_t SrcStride, const TTurnTarget& T,
                             const TTurnProgress& progress = nullptr) {
  for (Integer y = 0; y < T.Height;) {
    const TTurnBand band = TurnBandAt(y, T.Height);
    // Bottom-up rows: each next source row lies one stride lower.
    TurnRows(rule, T, SrcBase + (T.Height - 1 - std::int64_t{y}) * SrcStride, -SrcStride, band.First, band.Rows());
    if (band.ShowsProgress() && progress) progress(band.Last);
    y = band.Last + 1;
  }
}
