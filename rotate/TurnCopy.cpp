#include "rotate/TurnCopy.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// How many columns ahead the turned row a column will write is asked for. Each
// column writes a few bytes into a turned row of its own, so the copy waits on
// those rows' cache lines unless they are fetched early.
constexpr std::int64_t kPrefetchColumns = 32;

// The address of the turned pixel for source (row y, column x).
template <TTurnRule Rule, int B>
inline BYTE* Target(const TTurnTarget& T, std::int64_t x, std::int64_t y) {
  if constexpr (Rule == TTurnRule::Left) {
    return T.DstBase + x * T.DstStride + y * B;
  } else {
    return T.DstBase + (T.Width - 1 - x) * T.DstStride + (T.Height - 1 - y) * B;
  }
}

// Where the run of column x of the band y0 .. y0+n-1 starts in its turned row:
// the left turn puts the band's top row first, the right turn its bottom row.
template <TTurnRule Rule, int B>
inline BYTE* RunStart(const TTurnTarget& T, std::int64_t x, Integer y0, Integer n) {
  return Rule == TTurnRule::Left ? Target<Rule, B>(T, x, y0) : Target<Rule, B>(T, x, y0 + n - 1);
}

template <TTurnRule Rule, int B>
inline void Prefetch(const TTurnTarget& T, std::int64_t x, Integer y0, Integer n) {
  __builtin_prefetch(RunStart<Rule, B>(T, x + kPrefetchColumns, y0, n), 1, 3);
}

// The band's source rows in the order their pixels lie in a turned row.
template <TTurnRule Rule>
inline const BYTE* RunRow(const BYTE* const* src, int k, int n) {
  return Rule == TTurnRule::Left ? src[k] : src[n - 1 - k];
}

// Source rows y0 .. y0+N-1, N known at compile time (a whole band, or the lone
// first row): for each column, the N pixels of that column land side by side in
// one turned row, stored as one run.
template <TTurnRule Rule, int B, int N>
void CopyBandFixed(const TTurnTarget& T, const BYTE* const* src, Integer y0) {
  static_assert(N == kTurnBandRows || N == 1);
  const std::int64_t width = T.Width;
  // A whole band of 24-bit pixels fetches each pixel as 4 bytes, which a fourth
  // byte of the same row follows in every column but the last.
  const std::int64_t wide = (B == 3 && N == kTurnBandRows) ? width - 1 : width;
  const std::int64_t prefetched = std::max<std::int64_t>(0, std::min(wide, width - kPrefetchColumns));
  auto column = [&](std::int64_t x) {
    const std::int64_t sx = x * B;
    if constexpr (B == 3 && N == kTurnBandRows) {
      // The run of ten pixels (30 bytes) put together in four 64-bit words,
      // the last one overlapping the third, and stored as such.
      std::uint64_t p[N];
      for (int k = 0; k < N; ++k) {
        std::uint32_t v;
        std::memcpy(&v, RunRow<Rule>(src, k, N) + sx, 4);
        p[k] = v & 0xFFFFFFu;
      }
      const std::uint64_t w0 = p[0] | p[1] << 24 | p[2] << 48;
      const std::uint64_t w1 = p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56;
      const std::uint64_t w2 = p[5] >> 8 | p[6] << 16 | p[7] << 40;
      const std::uint64_t w3 = p[7] >> 8 | p[8] << 16 | p[9] << 40;  // bytes 22 to 29
      BYTE* d = RunStart<Rule, B>(T, x, y0, N);
      std::memcpy(d, &w0, 8);
      std::memcpy(d + 8, &w1, 8);
      std::memcpy(d + 16, &w2, 8);
      std::memcpy(d + 22, &w3, 8);
    } else if constexpr (B == 1 && N == kTurnBandRows) {
      // Ten gray levels as one 8-byte and one 2-byte store.
      std::uint64_t w = 0;
      for (int k = 0; k < 8; ++k) w |= std::uint64_t{RunRow<Rule>(src, k, N)[sx]} << (8 * k);
      const std::uint16_t tail =
          static_cast<std::uint16_t>(RunRow<Rule>(src, 8, N)[sx] | RunRow<Rule>(src, 9, N)[sx] << 8);
      BYTE* d = RunStart<Rule, B>(T, x, y0, N);
      std::memcpy(d, &w, 8);
      std::memcpy(d + 8, &tail, 2);
    } else {
      BYTE* d = RunStart<Rule, B>(T, x, y0, N);
      for (int k = 0; k < N; ++k) std::memcpy(d + k * B, RunRow<Rule>(src, k, N) + sx, B);
    }
  };
  std::int64_t x = 0;
  for (; x < prefetched; ++x) {
    Prefetch<Rule, B>(T, x, y0, N);
    column(x);
  }
  for (; x < wide; ++x) column(x);
  for (; x < width; ++x) {
    BYTE* d = RunStart<Rule, B>(T, x, y0, N);
    for (int k = 0; k < N; ++k) std::memcpy(d + k * B, RunRow<Rule>(src, k, N) + x * B, B);
  }
}

// A band of any other height (the last one of an image): the same, the run's
// length known only now.
template <TTurnRule Rule, int B>
void CopyBandAny(const TTurnTarget& T, const BYTE* const* src, Integer y0, int n) {
  const std::int64_t width = T.Width;
  const std::int64_t prefetched = std::max<std::int64_t>(0, width - kPrefetchColumns);
  for (std::int64_t x = 0; x < width; ++x) {
    if (x < prefetched) Prefetch<Rule, B>(T, x, y0, n);
    BYTE* d = RunStart<Rule, B>(T, x, y0, n);
    for (int k = 0; k < n; ++k) std::memcpy(d + k * B, RunRow<Rule>(src, k, n) + x * B, B);
  }
}

template <TTurnRule Rule, int B>
void CopyRows(const TTurnTarget& T, const BYTE* top, std::int64_t stride, Integer y0, Integer count) {
  const BYTE* src[kTurnBandRows];
  while (count > 0) {
    const int n = static_cast<int>(std::min(count, kTurnBandRows));
    for (int k = 0; k < n; ++k) src[k] = top + k * stride;
    switch (n) {
      case kTurnBandRows: CopyBandFixed<Rule, B, kTurnBandRows>(T, src, y0); break;
      case 1: CopyBandFixed<Rule, B, 1>(T, src, y0); break;
      default: CopyBandAny<Rule, B>(T, src, y0, n); break;
    }
    top += n * stride;
    y0 += n;
    count -= n;
  }
}

template <TTurnRule Rule>
void CopyRowsRule(const TTurnTarget& T, const BYTE* top, std::int64_t stride, Integer y0, Integer count) {
  switch (T.BytesPerPixel) {
    case 1: CopyRows<Rule, 1>(T, top, stride, y0, count); return;
    case 2: CopyRows<Rule, 2>(T, top, stride, y0, count); return;
    case 3: CopyRows<Rule, 3>(T, top, stride, y0, count); return;
    case 4: CopyRows<Rule, 4>(T, top, stride, y0, count); return;
    default: throw std::invalid_argument("bytes per pixel must be 1 to 4");
  }
}

}  // namespace

TTurnBand TurnBandAt(Integer first, Integer height) {
  if (first == 0) return TTurnBand{0, 0};
  const Integer end = (first + kTurnBandRows - 1) / kTurnBandRows * kTurnBandRows;
  return TTurnBand{first, std::min<Integer>(end, height - 1)};
}

void TurnRows(TTurnRule rule, const TTurnTarget& target, const BYTE* Top, std::int64_t Stride, Integer Y0,
              Integer Count) {
  if (Y0 < 0 || Count < 0 || Count > target.Height - Y0) throw std::invalid_argument("rows outside the source");
  if (rule == TTurnRule::Left) {
    CopyRowsRule<TTurnRule::Left>(target, Top, Stride, Y0, Count);
  } else {
    CopyRowsRule<TTurnRule::Right>(target, Top, Stride, Y0, Count);
  }
}
