// The rotation routine inside one process: Vornel_R's form made and shown
// offscreen, ConvFile called directly, once per run on a fresh copy of the
// input.
//
//   bench_convfile convfile SOURCE WORKFILE RUNS
//   bench_convfile phases   SOURCE WORKFILE RUNS
//
// convfile prints one line per run: "convfile <ms>". phases times ConvFile's own
// steps through its step callback and prints, per run, one line per step
// ("phase.<step> <ms>", the band steps summed over the bands), the whole call,
// and three references that are not the routine's: the JPEG writer on the same
// image with its file in memory (/dev/shm), so that the encode and the file's
// cost can be told apart, and libjpeg alone decoding the file into resident
// memory and encoding one pass in memory, on one thread.
// The copy of SOURCE to WORKFILE is not timed. The settings file lies beside
// this program, as for the tools.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/EncodeProbe.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "imaging/JPEG_IO.h"
#include "rotate/Unit1.h"

namespace {

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg())));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return data;
}

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// ConvFile once, each of its steps timed from the end of the step before.
void Phases(const std::string& work) {
  std::map<std::string, double> steps;
  std::vector<std::string> order;
  Clock::time_point mark = Clock::now();
  Form1->OnStepDone = [&](const char* step) {
    const auto now = Clock::now();
    if (!steps.count(step)) order.push_back(step);
    steps[step] += Ms(mark, now);
    mark = now;
  };
  const auto t0 = Clock::now();
  mark = t0;
  Form1->ConvFile(work);
  const double total = Ms(t0, Clock::now());
  Form1->OnStepDone = nullptr;
  for (const std::string& step : order) std::printf("phase.%s %.2f\n", step.c_str(), steps[step]);
  std::printf("phase.convfile %.2f\n", total);
}

// The references: the writer with its file in memory, and libjpeg alone.
void References(const std::string& source, const std::string& shmFile) {
  TBitmap bitmap;
  {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(source);
    jpeg.SetPerformance(jpBestSpeed);
    bitmap.Assign(&jpeg);
  }
  const Integer W = bitmap.Width(), H = bitmap.Height();
  auto t = Clock::now();
  WriteJpegFile(&bitmap, shmFile, 66, 72, 72);
  std::printf("phase.ref:writer-to-memory-file %.2f\n", Ms(t, Clock::now()));
  unlink(shmFile.c_str());
  const std::int64_t stride = DibStride(W, 24);
  t = Clock::now();
  EncodeBgrToMemory(bitmap.ScanLine(0), -stride, W, H, 66);
  std::printf("phase.ref:libjpeg-encode-one-pass %.2f\n", Ms(t, Clock::now()));
  const std::vector<std::uint8_t> data = ReadWhole(source);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(H), 1);
  t = Clock::now();
  DecodeBgrToMemory(data.data(), data.size(), pixels.data(), static_cast<std::size_t>(stride));
  std::printf("phase.ref:libjpeg-decode-resident %.2f\n", Ms(t, Clock::now()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s convfile|phases SOURCE WORKFILE RUNS\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1], source = argv[2], work = argv[3];
  const int runs = std::atoi(argv[4]);
  const std::string shmFile = "/dev/shm/bench_convfile-" + std::to_string(getpid()) + ".jpg";
  try {
    Application->Initialize();
    Application->SetTitle("Vornel_R");
    Application->CreateForm(Form1);
    ShowAndActivate(Form1);
    for (int r = 0; r < runs; ++r) {
      if (!CopyFile(source, work)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", source.c_str(), work.c_str());
        return 1;
      }
      if (mode == "convfile") {
        const auto t0 = Clock::now();
        Form1->ConvFile(work);
        std::printf("convfile %.2f\n", Ms(t0, Clock::now()));
      } else {
        Phases(work);
        References(source, shmFile);
      }
      std::fflush(stdout);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    unlink(shmFile.c_str());
    return 1;
  }
  std::fflush(stdout);
  // The form's teardown is not what is measured here.
  std::_Exit(0);
}
