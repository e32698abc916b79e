#include "classlib/Graphics.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "classlib/Workers.h"
#include "platform/Memory.h"

struct TBitmap::TPixels {
  HBITMAP handle = nullptr;
  BYTE* bits = nullptr;
  std::int64_t stride = 0;
  TPixels() = default;
  TPixels(const TPixels&) = delete;
  TPixels& operator=(const TPixels&) = delete;
  std::size_t bytes = 0;
  ~TPixels() {
    if (!handle) return;
    if (bytes >= kLargeBlockBytes)
      ReleaseLater([handle = handle] { DeleteObject(handle); });
    else
      DeleteObject(handle);
  }
};

int PixelFormatBits(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit:
    case pfDevice: return 32;
  }
  return 32;
}

std::uint64_t MaxBitmapBytes() {
  static const std::uint64_t limit = [] {
    std::uint64_t cap = INT32_MAX;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0) {
      const std::uint64_t quarter = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4;
      cap = std::min(cap, quarter);
    }
    return cap;
  }();
  return limit;
}

void CheckBitmapSize(Integer width, Integer height, TPixelFormat format) {
  if (width < 0 || height < 0)
    throw EInvalidGraphicOperation(Format("ビットマップの大きさが不正です (%d × %d)", width, height));
  const int bits = PixelFormatBits(format);
  const std::int64_t stride = DibStride(width, static_cast<WORD>(bits));
  if (stride < 0 || static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height) > MaxBitmapBytes())
    throw EOutOfResources(Format("ビットマップが大きすぎます (%d × %d ピクセル, %d ビット/ピクセル; 上限 %llu バイト)",
                                 width, height, bits, static_cast<unsigned long long>(MaxBitmapBytes())));
}

TWorkerPool& ImageWorkers() {
  static TWorkerPool workers(WorkerThreadCount());
  return workers;
}

std::shared_ptr<TWorkerPool::TJob> PostFaultIn(void* block, std::size_t bytes) {
  if (bytes < kLargeBlockBytes) return nullptr;
  TWorkerPool& workers = ImageWorkers();
  if (workers.Threads() < 2) return nullptr;
  auto* bytesOf = static_cast<volatile unsigned char*>(block);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t pages = (bytes + page - 1) / page;
  const auto parts = static_cast<std::size_t>(workers.Threads()) * 4;
  return workers.Post(static_cast<int>(parts), [=](int i) {
    const std::size_t end = pages * (static_cast<std::size_t>(i) + 1) / parts;
    for (std::size_t p = pages * static_cast<std::size_t>(i) / parts; p < end; ++p) bytesOf[p * page] = 0;
  });
}

void FaultIn(void* block, std::size_t bytes) {
  if (const std::shared_ptr<TWorkerPool::TJob> job = PostFaultIn(block, bytes)) job->Wait();
}

namespace {
std::mutex gReleaseLock;
std::vector<std::shared_ptr<TWorkerPool::TJob>> gReleases;  // under gReleaseLock
}  // namespace

void ReleaseLater(std::function<void()> release) {
  TWorkerPool& workers = ImageWorkers();
  if (workers.Threads() < 2) {
    release();
    return;
  }
  std::shared_ptr<TWorkerPool::TJob> job = workers.Post(1, [release = std::move(release)](int) { release(); });
  std::lock_guard<std::mutex> lock(gReleaseLock);
  gReleases.push_back(std::move(job));
}

void AwaitReleases() {
  std::vector<std::shared_ptr<TWorkerPool::TJob>> pending;
  {
    std::lock_guard<std::mutex> lock(gReleaseLock);
    pending.swap(gReleases);
  }
  for (const auto& job : pending) job->Wait();
}

namespace {

// The palette an indexed bitmap starts with: gray levels from black to white.
std::vector<RGBQUAD> GrayRamp(TPixelFormat format) {
  int count = 0;
  switch (format) {
    case pf1bit: count = 2; break;
    case pf4bit: count = 16; break;
    case pf8bit: count = 256; break;
    default: return {};
  }
  std::vector<RGBQUAD> colors(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<BYTE>(i * 255 / (count - 1));
    colors[static_cast<std::size_t>(i)] = RGBQUAD{level, level, level, 0};
  }
  return colors;
}

}  // namespace

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::DropPixels() { FPixels.reset(); }

TBitmap::TPixels& TBitmap::OwnPixels() {
  if (FPixels && FPixels.use_count() == 1) return *FPixels;
  // Made now: either never made, or shared with a bitmap this one was assigned
  // from or to, which must not see this one's changes.
  CheckBitmapSize(FWidth, FHeight, FPixelFormat);
  const std::size_t bytes = static_cast<std::size_t>(DibStride(FWidth, static_cast<WORD>(PixelFormatBits(FPixelFormat)))) *
                            static_cast<std::size_t>(FHeight);
  if (bytes >= kLargeBlockBytes) AwaitReleases();
  auto fresh = std::make_shared<TPixels>();
  void* bits = nullptr;
  fresh->handle = CreateDIBSection(FWidth, FHeight, static_cast<WORD>(PixelFormatBits(FPixelFormat)), &bits);
  if (!fresh->handle)
    throw EOutOfResources(Format("ビットマップのメモリを確保できません (%d × %d ピクセル)", FWidth, FHeight));
  fresh->bits = static_cast<BYTE*>(bits);
  fresh->stride = DibStride(FWidth, static_cast<WORD>(PixelFormatBits(FPixelFormat)));
  fresh->bytes = bytes;
  if (FPixels && FPixels->bits && fresh->bits)
    std::memcpy(fresh->bits, FPixels->bits, bytes);
  else if (fresh->bits)
    FaultIn(fresh->bits, bytes);  // a fresh block: its zeros stay
  FPixels = std::move(fresh);
  return *FPixels;
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    DropPixels();
    FWidth = FHeight = 0;
    return;
  }
  if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
    if (graphic->AssignTo(this)) return;
    throw EConvertError(Format("%s を %s に代入できません", graphic->ClassName(), ClassName()));
  }
  throw EConvertError(Format("この値を %s に代入できません", ClassName()));
}

bool TBitmap::AssignTo(TBitmap* dest) {
  dest->FPixelFormat = FPixelFormat;
  dest->FWidth = FWidth;
  dest->FHeight = FHeight;
  dest->FColors = FColors;
  dest->FPixels = FPixels;
  return true;
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value == FPixelFormat) return;
  FPixelFormat = value;
  FColors = GrayRamp(value);
  DropPixels();
}

// Sizes are checked against the limit only when the pixels are asked for: on the
// way to its final size a bitmap may pass through a larger one (a tall image
// turned: width first, then height) that is never allocated.
void TBitmap::SetSize(Integer width, Integer height) {
  if (width == FWidth && height == FHeight) return;
  if (width < 0 || height < 0) CheckBitmapSize(width, height, FPixelFormat);
  FWidth = width;
  FHeight = height;
  DropPixels();
}

void TBitmap::SetWidth(Integer value) { SetSize(value, FHeight); }
void TBitmap::SetHeight(Integer value) { SetSize(FWidth, value); }

void TBitmap::SetColors(std::vector<RGBQUAD> colors) { FColors = std::move(colors); }

BYTE* TBitmap::ScanLine(Integer Row) {
  if (Row < 0 || Row >= FHeight) throw EInvalidGraphicOperation(SScanLine);
  TPixels& pixels = OwnPixels();
  if (!pixels.bits) return nullptr;  // a bitmap 0 pixels wide has rows of no bytes
  return pixels.bits + static_cast<std::size_t>(FHeight - 1 - Row) * static_cast<std::size_t>(pixels.stride);
}

HBITMAP TBitmap::Handle() { return OwnPixels().handle; }
