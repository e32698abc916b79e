// Graphics unit: graphics with the bitmap class. A TBitmap is a device-independent
// bitmap: rows bottom-up, each padded to 4 bytes, 24-bit pixels blue, green, red.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/Dib.h"

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// Bits per pixel of the memory behind a format; a device-dependent bitmap is
// kept at the screen's 32 bits.
int PixelFormatBits(TPixelFormat format);

// The largest pixel block a bitmap may have: 2^31 - 1 bytes, so that every byte
// offset in it fits a 32-bit Integer, and at most a quarter of the machine's
// memory, so that the two bitmaps of a turn fit with room to spare.
std::uint64_t MaxBitmapBytes();
// Raises EOutOfResources when a bitmap of this size and format would exceed
// MaxBitmapBytes (or its row would not fit 32 bits), EInvalidGraphicOperation for
// a negative size. Nothing is allocated.
void CheckBitmapSize(Integer width, Integer height, TPixelFormat format);

// The message of a pixel row asked for outside a bitmap.
inline constexpr char SScanLine[] = "スキャンライン のインデックスが範囲を越えました";

class TBitmap;

class TGraphic : public TPersistent {
 public:
  virtual Integer Width() const = 0;
  virtual Integer Height() const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual const char* ClassName() const = 0;

 protected:
  friend class TBitmap;
  // Puts this graphic into dest (decoding it where it needs decoding); false
  // when it cannot be put into that kind of graphic.
  virtual bool AssignTo(TBitmap* dest) = 0;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  // From another bitmap: its pixel format, palette, size and pixels (the pixels
  // are shared until either side asks for them). From any other graphic: what
  // that graphic makes of itself, a JPEG image decoding into this bitmap. From
  // null: an empty bitmap.
  void Assign(TPersistent* Source);

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // A new format keeps the size; the picture is not converted (the pixels start
  // at zero) and an indexed format gets a gray ramp as its palette.
  void SetPixelFormat(TPixelFormat value);

  Integer Width() const override { return FWidth; }
  Integer Height() const override { return FHeight; }
  // Resizing keeps the pixel format and the palette; the pixels start at zero.
  void SetWidth(Integer value);
  void SetHeight(Integer value);
  void SetSize(Integer width, Integer height);

  // The palette of an indexed format (1, 4 or 8 bits), index by index.
  const std::vector<RGBQUAD>& Colors() const { return FColors; }
  void SetColors(std::vector<RGBQUAD> colors);

  // The address of pixel row Row counted from the top; row Height - 1 is the
  // lowest address. Raises EInvalidGraphicOperation SScanLine
  // for a row outside 0 to Height - 1; EOutOfResources when the pixels cannot be had.
  BYTE* ScanLine(Integer Row);

  // The GDI handle of the bitmap's DIB section, made when first asked for.
  HBITMAP Handle();

  const char* ClassName() const override { return "TBitmap"; }

 protected:
  bool AssignTo(TBitmap* dest) override;

 private:
  struct TPixels;
  TPixelFormat FPixelFormat = pfDevice;
  Integer FWidth = 0;
  Integer FHeight = 0;
  std::vector<RGBQUAD> FColors;
  std::shared_ptr<TPixels> FPixels;  // null until asked for; shared after Assign
  void DropPixels();
  TPixels& OwnPixels();
};
