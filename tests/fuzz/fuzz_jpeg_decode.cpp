// libFuzzer target: TJPEGImage loading and decoding arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/FuzzBodies.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeInputFile("/tmp/fuzz-jpeg-XXXXXX");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (fuzz::WriteInput(fuzz::InputPath(), data, size)) fuzz::DecodeJpeg(fuzz::InputPath());
  return 0;
}
