#include "platform/Dib.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/Memory.h"

namespace {

struct TDib {
  LONG width = 0;
  LONG height = 0;
  WORD bitCount = 0;
  LONG stride = 0;
  std::size_t bytes = 0;
  TMemoryBlock pixels;
};

// Live handles, so a stale or foreign handle is refused instead of followed.
std::mutex gLock;
// Never destroyed: a bitmap that outlives main's statics may still release its
// section at exit.
std::unordered_set<const void*>& LiveHandles() {
  static auto* handles = new std::unordered_set<const void*>;
  return *handles;
}

TDib* Lookup(HGDIOBJ handle) {
  std::lock_guard<std::mutex> guard(gLock);
  return LiveHandles().count(handle) ? static_cast<TDib*>(handle) : nullptr;
}

}  // namespace

std::int64_t DibStride(LONG width, WORD bitCount) {
  if (width < 0) return -1;
  const std::int64_t rowBits = std::int64_t{width} * bitCount;
  const std::int64_t stride = (rowBits + 31) / 32 * 4;
  return stride > INT32_MAX ? -1 : stride;
}

HBITMAP CreateDIBSection(LONG width, LONG height, WORD bitCount, void** bits) {
  if (bits) *bits = nullptr;
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return nullptr;
  }
  const std::int64_t stride = DibStride(width, bitCount);
  if (stride < 0 || height < 0) return nullptr;
  const auto bytes = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
  if (bytes > SIZE_MAX / 2) return nullptr;

  auto* dib = new (std::nothrow) TDib;
  if (!dib) return nullptr;
  dib->width = width;
  dib->height = height;
  dib->bitCount = bitCount;
  dib->stride = static_cast<LONG>(stride);
  dib->bytes = static_cast<std::size_t>(bytes);
  dib->pixels = TMemoryBlock(dib->bytes);
  bool ok = dib->bytes == 0 || dib->pixels;
  if (ok) {
    try {
      std::lock_guard<std::mutex> guard(gLock);
      LiveHandles().insert(dib);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    delete dib;
    return nullptr;
  }
  if (bits) *bits = dib->pixels.Data();
  return reinterpret_cast<HBITMAP>(dib);
}

int GetObjectA(HGDIOBJ handle, int size, void* buffer) {
  TDib* dib = Lookup(handle);
  if (!dib || !buffer || size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{};
  bm.bmType = 0;
  bm.bmWidth = dib->width;
  bm.bmHeight = dib->height;
  bm.bmWidthBytes = dib->stride;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = dib->bitCount;
  bm.bmBits = dib->pixels.Data();
  if (size < static_cast<int>(sizeof(DIBSECTION))) {
    std::memcpy(buffer, &bm, sizeof bm);
    return sizeof(BITMAP);
  }
  DIBSECTION ds{};
  ds.dsBm = bm;
  ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
  ds.dsBmih.biWidth = dib->width;
  ds.dsBmih.biHeight = dib->height;
  ds.dsBmih.biPlanes = 1;
  ds.dsBmih.biBitCount = dib->bitCount;
  ds.dsBmih.biCompression = BI_RGB;
  ds.dsBmih.biSizeImage = dib->bytes > UINT32_MAX ? 0 : static_cast<DWORD>(dib->bytes);
  std::memcpy(buffer, &ds, sizeof ds);
  return sizeof(DIBSECTION);
}

BOOL DeleteObject(HGDIOBJ handle) {
  TDib* dib = nullptr;
  {
    std::lock_guard<std::mutex> guard(gLock);
    auto it = LiveHandles().find(handle);
    if (it == LiveHandles().end()) return FALSE;
    LiveHandles().erase(it);
    dib = static_cast<TDib*>(handle);
  }
  delete dib;
  return TRUE;
}
