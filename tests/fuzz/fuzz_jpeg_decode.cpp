// libFuzzer target: TJPEGImage loading and decoding arbitrary bytes.
#include <cstdlib>
#include <string>

#include "fuzz/FuzzBodies.h"

namespace {
std::string gPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char name[] = "/tmp/fuzz-jpeg-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) std::abort();
  close(fd);
  gPath = name;
  std::atexit([] { unlink(gPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (fuzz::WriteInput(gPath, data, size)) fuzz::DecodeJpeg(gPath);
  return 0;
}
