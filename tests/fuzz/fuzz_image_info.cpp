// libFuzzer target: the image header reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/FuzzBodies.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeInputFile("/tmp/fuzz-info-XXXXXX");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (fuzz::WriteInput(fuzz::InputPath(), data, size)) fuzz::ReadInfo(fuzz::InputPath());
  return 0;
}
