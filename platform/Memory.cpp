#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::size_t kHugePage = kLargeBlockBytes;

// A zero-filled mapping of at least bytes bytes starting on a huge-page
// boundary; its length in length. Null when none can be had.
unsigned char* MapHuge(std::size_t bytes, std::size_t& length) {
  if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
  length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  // Mapped a huge page longer, then cut to the boundary at both ends.
  const std::size_t span = length + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t head = aligned - start;
  const std::size_t tail = span - head - length;
  if (head) munmap(raw, head);
  if (tail) munmap(reinterpret_cast<void*>(aligned + length), tail);
  auto* base = reinterpret_cast<unsigned char*>(aligned);
  (void)madvise(base, length, MADV_HUGEPAGE);  // advice only: without it the block works on small pages
  return base;
}

}  // namespace

TMemoryBlock::TMemoryBlock(std::size_t bytes) {
  if (bytes == 0) return;
  if (bytes >= kLargeBlockBytes) {
    std::size_t length = 0;
    FData = MapHuge(bytes, length);
    if (FData) FMapped = length;
  } else {
    FData = static_cast<unsigned char*>(std::calloc(1, bytes));
  }
  if (FData) FSize = bytes;
}

TMemoryBlock::TMemoryBlock(TMemoryBlock&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)),
      FSize(std::exchange(other.FSize, 0)),
      FMapped(std::exchange(other.FMapped, 0)) {}

TMemoryBlock& TMemoryBlock::operator=(TMemoryBlock&& other) noexcept {
  if (this != &other) {
    Reset();
    FData = std::exchange(other.FData, nullptr);
    FSize = std::exchange(other.FSize, 0);
    FMapped = std::exchange(other.FMapped, 0);
  }
  return *this;
}

void TMemoryBlock::Reset() {
  if (FMapped)
    munmap(FData, FMapped);
  else
    std::free(FData);
  FData = nullptr;
  FSize = FMapped = 0;
}
