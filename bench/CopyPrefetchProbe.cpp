// What prefetching the turned rows gains in the quarter-turn copy. A copy in the
// shape the rotation tools use (Vornel_R's rule, bands of ten source rows, each
// column's ten pixels stored as one run in its turned row) on a 6000 x 4000
// 24-bit picture in huge-page memory that is already resident, without and with
// a prefetch of the turned row that a column PF columns further on will write.
// The bands write 30 bytes into each of 6000 turned rows, so the copy waits on
// those rows' cache lines; asking for them early lets the loads overlap.
//
//   bench_copy_prefetch [RUNS]     prints the best time of each variant in ms
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Byte = unsigned char;
constexpr long kW = 6000, kH = 4000, kSrcStride = kW * 3, kDstStride = kH * 3;
Byte* gSrc = nullptr;
Byte* gDst = nullptr;

Byte* Resident(std::size_t n) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  void* raw = mmap(nullptr, n + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) std::exit(1);
  auto* p = reinterpret_cast<Byte*>((reinterpret_cast<std::uintptr_t>(raw) + kHuge - 1) & ~(kHuge - 1));
  madvise(p, n, MADV_HUGEPAGE);
  std::memset(p, 1, n);
  return p;
}

// Source rows y0 .. y0+N-1 (counted from the top of a bottom-up bitmap) to their
// turned places: d = dst + (W-1-x) * dstStride + (H-1-y) * 3.
template <int N, int PF>
void Band(long y0) {
  const Byte* s[N];
  for (int k = 0; k < N; ++k) s[k] = gSrc + (kH - 1 - (y0 + k)) * kSrcStride;
  const long column = (kH - 1 - (y0 + N - 1)) * 3;
  long x = 0;
  for (; x < kW - 1; ++x) {
    if constexpr (PF > 0) {
      if (x + PF < kW) __builtin_prefetch(gDst + (kW - 1 - (x + PF)) * kDstStride + column, 1, 3);
    }
    Byte run[N * 3 + 1];
    for (int k = 0; k < N; ++k) std::memcpy(run + k * 3, s[N - 1 - k] + x * 3, 4);
    std::memcpy(gDst + (kW - 1 - x) * kDstStride + column, run, N * 3);
  }
  for (int k = 0; k < N; ++k) std::memcpy(gDst + (kW - 1 - x) * kDstStride + column + k * 3, s[N - 1 - k] + x * 3, 3);
}

template <int PF>
double Copy() {
  const auto t0 = std::chrono::steady_clock::now();
  Band<1, PF>(0);
  long y = 1;
  for (; y + 10 <= kH; y += 10) Band<10, PF>(y);
  for (; y < kH; ++y) Band<1, PF>(y);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  gSrc = Resident(static_cast<std::size_t>(kSrcStride) * kH);
  gDst = Resident(static_cast<std::size_t>(kDstStride) * kW);
  for (long i = 0; i < kSrcStride * kH; ++i) gSrc[i] = static_cast<Byte>(i * 131 + (i >> 11));
  double plain = 1e300, pf16 = 1e300, pf32 = 1e300, pf64 = 1e300;
  for (int r = 0; r < runs; ++r) {
    plain = std::min(plain, Copy<0>());
    pf16 = std::min(pf16, Copy<16>());
    pf32 = std::min(pf32, Copy<32>());
    pf64 = std::min(pf64, Copy<64>());
  }
  std::printf("turn copy 6000x4000x24, best of %d: no prefetch %.1f ms; prefetch 16 columns ahead %.1f ms, "
              "32 ahead %.1f ms, 64 ahead %.1f ms\n", runs, plain, pf16, pf32, pf64);
  return 0;
}
