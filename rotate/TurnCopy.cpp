#include "rotate/TurnCopy.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr Integer kBand = 10;  // rows between two progress calls

// The address of the turned pixel for source (row y, column x).
template <TTurnRule Rule, int B>
inline BYTE* Target(const TTurnLayout& L, std::int64_t x, std::int64_t y) {
  if constexpr (Rule == TTurnRule::Left) {
    return L.DstBase + x * L.DstStride + y * B;
  } else {
    return L.DstBase + (L.Width - 1 - x) * L.DstStride + (L.Height - 1 - y) * B;
  }
}

inline const BYTE* SourceRow(const TTurnLayout& L, std::int64_t y) {
  return L.SrcBase + (L.Height - 1 - y) * L.SrcStride;
}

// Source rows y0 .. y0+N-1 (N rows, N known at compile time for full bands): for
// each column, the N pixels of that column land side by side in one turned row.
template <TTurnRule Rule, int B, int N>
void CopyBandFixed(const TTurnLayout& L, Integer y0) {
  const BYTE* src[N];
  for (int k = 0; k < N; ++k) src[k] = SourceRow(L, y0 + k);
  if constexpr (B == 3 && N > 1) {
    // 24 bits: the N pixels of a column gathered into one run, then stored
    // at once; a pixel is fetched as 4 bytes where a fourth byte of the same
    // row follows it (never past the row's pixels of the last column).
    std::int64_t x = 0;
    const std::int64_t wide = L.Width - 1;  // columns with a byte after them
    for (; x < wide; ++x) {
      BYTE run[N * B + 1];
      const std::int64_t sx = x * B;
      if constexpr (Rule == TTurnRule::Left) {
        for (int k = 0; k < N; ++k) std::memcpy(run + k * B, src[k] + sx, 4);
        std::memcpy(Target<Rule, B>(L, x, y0), run, N * B);
      } else {
        for (int k = 0; k < N; ++k) std::memcpy(run + k * B, src[N - 1 - k] + sx, 4);
        std::memcpy(Target<Rule, B>(L, x, y0 + N - 1), run, N * B);
      }
    }
    for (; x < L.Width; ++x) {
      const std::int64_t sx = x * B;
      if constexpr (Rule == TTurnRule::Left) {
        BYTE* d = Target<Rule, B>(L, x, y0);
        for (int k = 0; k < N; ++k) std::memcpy(d + k * B, src[k] + sx, B);
      } else {
        BYTE* d = Target<Rule, B>(L, x, y0 + N - 1);
        for (int k = 0; k < N; ++k) std::memcpy(d + k * B, src[N - 1 - k] + sx, B);
      }
    }
  } else if constexpr (Rule == TTurnRule::Left) {
    for (std::int64_t x = 0; x < L.Width; ++x) {
      BYTE* d = Target<Rule, B>(L, x, y0);
      const std::int64_t sx = x * B;
      for (int k = 0; k < N; ++k) std::memcpy(d + k * B, src[k] + sx, B);
    }
  } else {
    // Columns from the right, rows from the bottom: the turned bitmap is then
    // written upwards in memory, as in the left turn.
    for (std::int64_t x = 0; x < L.Width; ++x) {
      BYTE* d = Target<Rule, B>(L, x, y0 + N - 1);
      const std::int64_t sx = x * B;
      for (int k = 0; k < N; ++k) std::memcpy(d + k * B, src[N - 1 - k] + sx, B);
    }
  }
}

template <TTurnRule Rule, int B>
void CopyBand(const TTurnLayout& L, Integer y0, Integer rows) {
  switch (rows) {
    case kBand: CopyBandFixed<Rule, B, kBand>(L, y0); return;
    case 1: CopyBandFixed<Rule, B, 1>(L, y0); return;
    default:
      // The last, short band: row by row, still one run per column.
      for (Integer k = 0; k < rows; ++k) CopyBandFixed<Rule, B, 1>(L, y0 + k);
      return;
  }
}

template <TTurnRule Rule, int B>
void TurnTiled(const TTurnLayout& L, const TTurnProgress& progress) {
  Integer y = 0;
  while (y < L.Height) {
    // Row 0 ends a band of its own; from then on every tenth row does.
    const Integer last = (y == 0) ? 0 : std::min<Integer>(((y + kBand - 1) / kBand) * kBand, L.Height - 1);
    CopyBand<Rule, B>(L, y, last - y + 1);
    if (last % kBand == 0 && progress) progress(last);
    y = last + 1;
  }
}

template <TTurnRule Rule>
void TurnTiledRule(const TTurnLayout& L, const TTurnProgress& progress) {
  switch (L.BytesPerPixel) {
    case 1: TurnTiled<Rule, 1>(L, progress); return;
    case 2: TurnTiled<Rule, 2>(L, progress); return;
    case 3: TurnTiled<Rule, 3>(L, progress); return;
    case 4: TurnTiled<Rule, 4>(L, progress); return;
    default: throw std::invalid_argument("bytes per pixel must be 1 to 4");
  }
}

}  // namespace

void TurnPixels(TTurnRule rule, const TTurnLayout& layout, const TTurnProgress& progress) {
  if (rule == TTurnRule::Left) {
    TurnTiledRule<TTurnRule::Left>(layout, progress);
  } else {
    TurnTiledRule<TTurnRule::Right>(layout, progress);
  }
}

void TurnPixelsNaive(TTurnRule rule, const TTurnLayout& L, const TTurnProgress& progress) {
  if (L.BytesPerPixel < 1 || L.BytesPerPixel > 4) throw std::invalid_argument("bytes per pixel must be 1 to 4");
  const std::int64_t B = L.BytesPerPixel;
  for (std::int64_t y = 0; y < L.Height; ++y) {
    const BYTE* s = SourceRow(L, y);
    for (std::int64_t x = 0; x < L.Width; ++x) {
      BYTE* d = (rule == TTurnRule::Left)
                    ? L.DstBase + x * L.DstStride + y * B
                    : L.DstBase + (L.Width - 1 - x) * L.DstStride + (L.Height - 1 - y) * B;
      std::memcpy(d, s, static_cast<std::size_t>(B));
      s += B;
    }
    if (y % kBand == 0 && progress) progress(static_cast<Integer>(y));
  }
}
