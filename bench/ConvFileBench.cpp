// One file turned inside one process: Vornel_R's form made and shown offscreen,
// ConvFile called directly, once per run on a fresh copy of the input. With
// "phases" the same work is done step by step with the same library pieces
// (row reader, band turn, writer), each step timed, to tell where the time of a
// turn goes.
//
//   bench_convfile convfile SOURCE WORKFILE RUNS
//   bench_convfile phases   SOURCE WORKFILE RUNS
//   bench_convfile messages SOURCE WORKFILE RUNS   (the progress display alone)
//
// Prints one line per run: the label and the milliseconds ("convfile 231.4", or
// one line per step for phases). The copy of SOURCE to WORKFILE is not timed.
// The settings file lies beside this program, as for the tools.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/EncodeProbe.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "imaging/DCImageInfo.h"
#include "imaging/JPEG_IO.h"
#include "toolbase/FileStamp.h"
#include "rotate/TurnCopy.h"
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

void Phases(const std::string& original, const std::string& work) {
  auto t = Clock::now();
  auto lap = [&t](const char* label) {
    const auto now = Clock::now();
    std::printf("%s %.2f\n", label, Ms(t, now));
    t = now;
  };
  Integer xd = 0, yd = 0;
  {
    auto info = std::make_unique<TDCImageInfo>();
    info->ReadInfo(work);
    xd = info->XDensity ? info->XDensity : 72;
    yd = info->YDensity ? info->YDensity : 72;
  }
  const Integer stamp = ReadFileStamp(work);
  lap("phase.header");
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromFile(work);
  jpeg->SetScale(jsFullSize);
  jpeg->SetPerformance(jpBestSpeed);
  auto reader = std::make_unique<TJPEGRowReader>(*jpeg);
  const Integer W = reader->Width(), H = reader->Height();
  lap("phase.load");
  const Integer B = PixelFormatBits(reader->PixelFormat()) / 8;
  const std::int64_t srcStride = DibStride(W, static_cast<WORD>(B * 8));
  auto turned = std::make_unique<TBitmap>();
  turned->SetPixelFormat(reader->PixelFormat());
  turned->SetColors(reader->Colors());
  turned->SetSize(H, W);
  const TTurnTarget target{turned->ScanLine(W - 1), DibStride(H, static_cast<WORD>(B * 8)), W, H, B};
  const auto rows = std::make_unique_for_overwrite<BYTE[]>(static_cast<std::size_t>(srcStride) * kTurnBandRows);
  lap("phase.allocate");
  // As ConvFile: each band decoded into the ten-row buffer and turned from there
  // (page faults of the turned bitmap included), messages after every tenth row.
  Form1->ProgressBar1->SetMax(H);
  double decode = 0, turn = 0;
  for (Integer y = 0; y < H;) {
    const TTurnBand band = TurnBandAt(y, H);
    const auto a = Clock::now();
    reader->ReadRows(rows.get(), srcStride, band.Rows());
    const auto b = Clock::now();
    TurnRows(Form1->TurnRule, target, rows.get(), srcStride, band.First, band.Rows());
    turn += Ms(b, Clock::now());
    decode += Ms(a, b);
    if (band.ShowsProgress()) {
      Form1->ProgressBar1->SetPosition(band.Last);
      Application->ProcessMessages();
    }
    y = band.Last + 1;
  }
  reader.reset();
  std::printf("phase.bands:decode %.2f\nphase.bands:turn %.2f\n", decode, turn);
  lap("phase.decode+turn+messages");
  t = Clock::now();
  EncodeBgrToMemory(turned->ScanLine(0), -DibStride(H, 24), H, W, 66);
  const double encode = Ms(t, Clock::now());
  std::printf("phase.encode-in-memory %.2f\n", encode);
  t = Clock::now();
  WriteJpegFile(turned.get(), work, 66, xd, yd);
  SetFileStamp(work, stamp);
  lap("phase.write");
  jpeg.reset();
  turned.reset();
  lap("phase.release");
  Form1->ProgressBar1->SetPosition(0);
  // The decode alone, into memory already resident (written once before).
  const std::vector<std::uint8_t> data = ReadWhole(original);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(DibStride(W, 24)) * static_cast<std::size_t>(H), 1);
  t = Clock::now();
  DecodeBgrToMemory(data.data(), data.size(), pixels.data(), static_cast<std::size_t>(DibStride(W, 24)));
  lap("phase.decode-resident");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s convfile|phases|messages SOURCE WORKFILE RUNS\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1], source = argv[2], work = argv[3];
  const int runs = std::atoi(argv[4]);
  try {
    Application->Initialize();
    Application->SetTitle("Vornel_R");
    Application->CreateForm(Form1);
    ShowAndActivate(Form1);
    for (int r = 0; r < runs; ++r) {
      if (mode != "messages" && !CopyFile(source, work)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", source.c_str(), work.c_str());
        return 1;
      }
      if (mode == "convfile") {
        const auto t0 = Clock::now();
        Form1->ConvFile(work);
        std::printf("convfile %.2f\n", Ms(t0, Clock::now()));
      } else if (mode == "messages") {
        // What the progress display costs alone: a 6000 x 4000 turn's 401
        // position changes, each followed by the pending messages.
        const auto t0 = Clock::now();
        Form1->ProgressBar1->SetMax(4000);
        for (Integer y = 0; y < 4000; y += 10) {
          Form1->ProgressBar1->SetPosition(y);
          Application->ProcessMessages();
        }
        Form1->ProgressBar1->SetPosition(0);
        std::printf("messages %.2f\n", Ms(t0, Clock::now()));
      } else {
        Phases(source, work);
      }
      std::fflush(stdout);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fflush(stdout);
  // The form's teardown is not what is measured here.
  std::_Exit(0);
}
