// The pixel copy of a quarter turn on a 6000 x 4000 24-bit photograph: the tiled
// copy the rotation tools use against the naive column-scatter loop, in one run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/Dib.h"
#include "rotate/TurnCopy.h"
#include "tests/support/TurnReference.h"

namespace {

struct TDib {
  HBITMAP handle = nullptr;
  BYTE* bits = nullptr;
  std::int64_t stride = 0;
  TDib(LONG w, LONG h) {
    void* b = nullptr;
    handle = CreateDIBSection(w, h, 24, &b);
    bits = static_cast<BYTE*>(b);
    stride = DibStride(w, 24);
  }
  ~TDib() { DeleteObject(handle); }
  TDib(const TDib&) = delete;
  TDib& operator=(const TDib&) = delete;
};

using TCopy = void (*)(TTurnRule, const BYTE*, std::int64_t, const TTurnTarget&, const TTurnProgress&);

// The best of a few runs, in milliseconds.
double Time(TCopy copy, TTurnRule rule, const BYTE* src, std::int64_t srcStride, const TTurnTarget& target,
            int runs) {
  double best = 1e300;
  int calls = 0;
  for (int r = 0; r < runs; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    copy(rule, src, srcStride, target, [&calls](Integer) { ++calls; });
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  if (calls == 0) std::puts("no progress calls?");
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const Integer W = 6000, H = 4000;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  TDib src(W, H), dst(H, W);
  if (!src.bits || !dst.bits) {
    std::puts("cannot allocate the bitmaps");
    return 1;
  }
  for (std::int64_t i = 0; i < src.stride * H; ++i) src.bits[i] = static_cast<BYTE>(i * 131 + (i >> 11));
  std::memset(dst.bits, 0, static_cast<std::size_t>(dst.stride) * W);  // touch every page first

  const TTurnTarget target{dst.bits, dst.stride, W, H, 3};
  std::printf("pixel copy of a %d x %d 24-bit image, best of %d runs\n", W, H, runs);
  for (TTurnRule rule : {TTurnRule::Left, TTurnRule::Right}) {
    const double naive = Time(TurnPixelsNaive, rule, src.bits, src.stride, target, runs);
    const double tiled = Time(TurnPixelsBanded, rule, src.bits, src.stride, target, runs);
    std::printf("%-5s naive %8.1f ms   tiled %8.1f ms   ratio %.2f\n",
                rule == TTurnRule::Left ? "left" : "right", naive, tiled, naive / tiled);
  }
  return 0;
}
