// Zero-filled memory for a photograph's worth of bytes: pixels, a file's
// contents, rows decoded ahead.
#pragma once
#include <cstddef>

// From this size on a block gets a mapping of its own, on a huge-page boundary
// and asking the kernel for huge pages (where it offers them only on request):
// it is then faulted in and cleared 2 MiB at a time instead of 4 KiB. Each
// fault is dear on a virtual machine, and a photograph's blocks take tens of
// thousands of small ones. Smaller blocks come from the heap.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;

class TMemoryBlock {
 public:
  TMemoryBlock() = default;
  // bytes zero-filled bytes; none (Data() null) when they cannot be had or
  // bytes is 0.
  explicit TMemoryBlock(std::size_t bytes);
  ~TMemoryBlock() { Reset(); }
  TMemoryBlock(TMemoryBlock&& other) noexcept;
  TMemoryBlock& operator=(TMemoryBlock&& other) noexcept;
  TMemoryBlock(const TMemoryBlock&) = delete;
  TMemoryBlock& operator=(const TMemoryBlock&) = delete;

  unsigned char* Data() const { return FData; }
  std::size_t Size() const { return FSize; }
  explicit operator bool() const { return FData != nullptr; }
  // Gives the memory back to the system.
  void Reset();

 private:
  unsigned char* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FMapped = 0;  // the mapping's length; 0 for a block from the heap
};
