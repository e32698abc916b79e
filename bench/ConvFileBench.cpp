// One file turned inside one process: Vornel_R's form made and shown offscreen,
// ConvFile called directly, once per run on a fresh copy of the input. With
// "phases" the same work is done step by step with the same library pieces, each
// step timed, to tell where the time of a turn goes.
//
//   bench_convfile convfile SOURCE WORKFILE RUNS
//   bench_convfile phases   SOURCE WORKFILE RUNS
//   bench_convfile streamed SOURCE WORKFILE RUNS   (a proposed change, see Streamed)
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
  lap("phase.header");
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromFile(work);
  jpeg->SetScale(jsFullSize);
  jpeg->SetPerformance(jpBestSpeed);
  lap("phase.load");
  auto source = std::make_unique<TBitmap>();
  source->Assign(jpeg.get());
  lap("phase.decode");
  const Integer W = source->Width(), H = source->Height();
  auto turned = std::make_unique<TBitmap>();
  turned->Assign(source.get());
  turned->SetWidth(H);
  turned->SetHeight(W);
  BYTE* dstBase = turned->ScanLine(W - 1);
  lap("phase.allocate");
  const TTurnLayout layout{source->ScanLine(H - 1), DibStride(W, 24), dstBase, DibStride(H, 24), W, H, 3};
  Form1->ProgressBar1->SetMax(H);
  TurnPixels(TTurnRule::Right, layout, [](Integer y) {
    Form1->ProgressBar1->SetPosition(y);
    Application->ProcessMessages();
  });
  lap("phase.copy");  // page faults of the turned bitmap included
  // The copy again into pixels now resident, without progress or messages.
  TurnPixels(TTurnRule::Right, layout, [](Integer) {});
  lap("phase.copy-again-quiet");
  TurnPixels(TTurnRule::Right, layout, [](Integer y) {
    Form1->ProgressBar1->SetPosition(y);
    Application->ProcessMessages();
  });
  lap("phase.copy-again-with-messages");
  source.reset();
  lap("phase.free");
  t = Clock::now();
  EncodeBgrToMemory(turned->ScanLine(0), -DibStride(H, 24), H, W, 66);
  const double encode = Ms(t, Clock::now());
  std::printf("phase.encode-in-memory %.2f\n", encode);
  t = Clock::now();
  WriteJpegFile(turned.get(), work, 66, xd, yd);
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

// A turn whose decode feeds the copy band by band, so that the whole source
// bitmap is never made: the rows come from the decoder ten at a time (row 0
// alone) while they are still in the cache, and go to their turned places; the
// progress and messages come after the same rows as in ConvFile. Prototype of a
// change, for its measured gain: the rest (header, stamps, write) as ConvFile,
// but no close request (no settings written).
void Streamed(const std::string& work) {
  const auto t0 = Clock::now();
  // As ConvFile: the densities, the time stamp, the whole file in memory.
  Integer xd = 72, yd = 72;
  {
    auto info = std::make_unique<TDCImageInfo>();
    info->ReadInfo(work);
    if (info->XDensity) xd = info->XDensity;
    if (info->YDensity) yd = info->YDensity;
  }
  Integer stamp = 0;
  if (const THandle h = FileOpen(work, fmOpenWrite | fmShareDenyNone); h > 0) {
    stamp = FileGetDate(h);
    FileClose(h);
  }
  const std::vector<std::uint8_t> data = ReadWhole(work);
  std::unique_ptr<TBitmap> turned;
  BYTE* dst = nullptr;
  std::int64_t dstStride = 0;
  int W = 0, H = 0;
  auto band = [&](const std::uint8_t* top, std::size_t stride, int y0, int rows) {
    if (!turned) {
      turned = std::make_unique<TBitmap>();
      turned->SetPixelFormat(pf24bit);
      turned->SetSize(H, W);
      dst = turned->ScanLine(W - 1);
      dstStride = DibStride(H, 24);
      Form1->ProgressBar1->SetMax(H);
    }
    // Vornel_R: source (row y, column x) -> turned (row x, column H-1-y), i.e.
    // address DstBase + (W-1-x) * stride + (H-1-y) * 3; the band's rows lie side
    // by side in each turned row, bottom source row first. A full band is
    // gathered per column and stored as one run, with the turned row of a column
    // further on prefetched (see CopyPrefetchProbe.cpp).
    const std::int64_t column = static_cast<std::int64_t>(H - y0 - rows) * 3;
    if (rows == 10) {
      std::int64_t x = 0;
      for (; x < W - 1; ++x) {
        if (x + 32 < W) __builtin_prefetch(dst + (W - 1 - (x + 32)) * dstStride + column, 1, 3);
        BYTE run[31];
        for (int k = 0; k < 10; ++k) std::memcpy(run + k * 3, top + (9 - k) * stride + x * 3, 4);
        std::memcpy(dst + (W - 1 - x) * dstStride + column, run, 30);
      }
      for (int k = 0; k < 10; ++k) std::memcpy(dst + (W - 1 - x) * dstStride + column + k * 3, top + (9 - k) * stride + x * 3, 3);
    } else {
      for (std::int64_t x = 0; x < W; ++x) {
        BYTE* d = dst + (W - 1 - x) * dstStride + column;
        for (int k = 0; k < rows; ++k) std::memcpy(d + k * 3, top + static_cast<std::size_t>(rows - 1 - k) * stride + x * 3, 3);
      }
    }
    const int last = y0 + rows - 1;
    if (last % 10 == 0) {
      Form1->ProgressBar1->SetPosition(last);
      Application->ProcessMessages();
    }
  };
  const auto t1 = Clock::now();
  // The sizes are known before the first band comes.
  DecodeBgrInBands(data.data(), data.size(), &W, &H, band);
  const auto t2 = Clock::now();
  WriteJpegFile(turned.get(), work, 66, xd, yd);
  if (const THandle h = FileOpen(work, fmOpenWrite | fmShareDenyNone); h > 0) {
    FileSetDate(h, stamp);
    FileClose(h);
  }
  const auto t3 = Clock::now();
  turned.reset();
  Form1->ProgressBar1->SetPosition(0);
  std::printf("streamed.read %.2f\nstreamed.decode+copy %.2f\nstreamed.write %.2f\nstreamed.total %.2f\n",
              Ms(t0, t1), Ms(t1, t2), Ms(t2, t3), Ms(t0, Clock::now()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s convfile|phases|streamed|messages SOURCE WORKFILE RUNS\n", argv[0]);
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
      } else if (mode == "streamed") {
        Streamed(work);
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
