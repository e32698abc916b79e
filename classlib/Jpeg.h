// JPEG image class: holds a whole JPEG file in memory and decodes it, at a chosen
// scale and speed, when a TBitmap is assigned from it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Graphics.h"

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;

  // Reads the whole file (opened for reading, others denied writing, closed
  // again) and parses its header. EFOpenError / EReadError when the file cannot
  // be opened or read whole, EJPEG "JPEG エラー #%d" (libjpeg's message code) when
  // it holds no JPEG image libjpeg can decode. An empty file loads as an empty
  // image (width and height 0). On failure the image keeps what it held.
  void LoadFromFile(const std::string& FileName);

  // Each side is divided by 1, 2, 4 or 8; a fraction counts as a whole pixel.
  TJPEGScale Scale() const { return FScale; }
  void SetScale(TJPEGScale value) { FScale = value; }
  // Best speed: the fast integer inverse DCT and, where colours are quantised,
  // one pass with ordered dither.
  TJPEGPerformance Performance() const { return FPerformance; }
  void SetPerformance(TJPEGPerformance value) { FPerformance = value; }
  // Decode colour files as gray levels.
  bool Grayscale() const { return FGrayscale; }
  void SetGrayscale(bool value) { FGrayscale = value; }
  // Colour files decode to 24 bits, or, set to jf8Bit, to 8 bits with a palette
  // of quantised colours (CMYK files stay at 24 bits). Gray output is always 8
  // bits with the 256 gray levels as its palette (index = level).
  TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TJPEGPixelFormat value) { FPixelFormat = value; }

  // The size of the decoded image at the scale set now.
  Integer Width() const override;
  Integer Height() const override;

  const char* ClassName() const override { return "TJPEGImage"; }

 protected:
  // Decodes into dest: 24-bit BGR, or 8 bits with a palette (see above). CMYK and
  // YCCK files come out in RGB colours. libjpeg's warnings are ignored and a
  // damaged image is decoded as far as it goes; its errors raise EJPEG, and a
  // decoded size beyond the bitmap limit raises EOutOfResources before decoding.
  // dest is changed only when the decode succeeds.
  bool AssignTo(TBitmap* dest) override;

 private:
  std::unique_ptr<std::uint8_t[]> FData;
  std::size_t FSize = 0;
  Integer FImageWidth = 0;
  Integer FImageHeight = 0;
  TJPEGScale FScale = jsFullSize;
  TJPEGPerformance FPerformance = jpBestQuality;
  bool FGrayscale = false;
  TJPEGPixelFormat FPixelFormat = jf24Bit;
};
