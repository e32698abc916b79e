// What the first touch of a fresh block as large as a turned 24-MP bitmap costs,
// by page size and threads: the block mapped as the bitmap's is (on a 2-MiB
// boundary), advised onto huge or small pages, each page written once by one
// thread or by several side by side (each its own share, as the class library
// does), then unmapped. One measurement a process, so that every block is fresh.
//
//   bench_first_touch 4k|2m THREADS [BYTES]
//
// Prints "touch <ms> unmap <ms>".
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "4k") != 0 && std::strcmp(argv[1], "2m") != 0)) {
    std::fprintf(stderr, "usage: %s 4k|2m THREADS [BYTES]\n", argv[0]);
    return 2;
  }
  const bool huge = std::strcmp(argv[1], "2m") == 0;
  const int threads = std::max(1, std::atoi(argv[2]));
  const std::size_t bytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : std::size_t{4000} * 6000 * 3;
  const std::size_t hugePage = std::size_t{2} << 20;
  const std::size_t length = (bytes + hugePage - 1) / hugePage * hugePage;
  void* raw = mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return 1;
  auto* block = reinterpret_cast<volatile unsigned char*>((reinterpret_cast<std::uintptr_t>(raw) + hugePage - 1) /
                                                          hugePage * hugePage);
  madvise(const_cast<unsigned char*>(block), length, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t pages = length / page;
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  std::vector<std::thread> workers;
  auto touch = [&](int k) {
    for (std::size_t p = pages * k / threads; p < pages * (k + 1) / threads; ++p) block[p * page] = 0;
  };
  for (int k = 1; k < threads; ++k) workers.emplace_back(touch, k);
  touch(0);
  for (std::thread& t : workers) t.join();
  const auto t1 = Clock::now();
  munmap(raw, length + hugePage);
  const auto t2 = Clock::now();
  std::printf("touch %.2f unmap %.2f\n", std::chrono::duration<double, std::milli>(t1 - t0).count(),
              std::chrono::duration<double, std::milli>(t2 - t1).count());
  return 0;
}
