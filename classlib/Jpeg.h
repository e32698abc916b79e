// JPEG image class: holds a whole JPEG file in memory and decodes it, at a chosen
// scale and speed, when a TBitmap is assigned from it, or band by band into a
// caller's rows through TJPEGRowReader.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/Memory.h"

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };

class TJPEGRowReader;

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
  // Whether a file of this many bytes is too large to load (LoadFromFile then
  // raises EOutOfResources "ファイル %s は大きすぎます" before reading it).
  static bool TooLargeToLoad(std::int64_t bytes);

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
  friend class TJPEGRowReader;
  TMemoryBlock FData;  // the file's bytes
  Integer FImageWidth = 0;
  Integer FImageHeight = 0;
  TJPEGScale FScale = jsFullSize;
  TJPEGPerformance FPerformance = jpBestQuality;
  bool FGrayscale = false;
  TJPEGPixelFormat FPixelFormat = jf24Bit;
};

// Decodes a TJPEGImage at its current settings row by row, top down, into rows
// the caller provides: the same pixels, in the same formats and with the same
// errors as assigning the image to a TBitmap (which decodes through this). It
// reads from the image's memory, so the image must stay loaded while it lives.
class TJPEGRowReader {
 public:
  // Parses the header with the image's scale, performance, grayscale and pixel
  // format settings and starts the decode. EJPEG "JPEG エラー #%d" when libjpeg
  // refuses the file, EOutOfResources when a bitmap of the decoded size would
  // exceed the bitmap limit (nothing decoded then). An empty image gives 0 x 0
  // pixels at 24 bits and no rows.
  explicit TJPEGRowReader(TJPEGImage& image);
  ~TJPEGRowReader();
  TJPEGRowReader(const TJPEGRowReader&) = delete;
  TJPEGRowReader& operator=(const TJPEGRowReader&) = delete;

  // pf24bit (blue, green, red) or pf8bit (palette indices).
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // The palette of 8-bit output: the 256 gray levels (index = level), or the
  // quantised colours padded with black to 256. Empty for 24 bits.
  const std::vector<RGBQUAD>& Colors() const { return FColors; }
  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  // The row (from the top) the next ReadRows call starts with.
  Integer NextRow() const { return FNextRow; }

  // Decodes the next Count rows: row NextRow() + i goes to First + i * Stride
  // (Stride may be negative, for bottom-up bitmaps), each Width pixels of the
  // format's bytes; the bytes after them are not touched. libjpeg's warnings are
  // ignored: a damaged image goes on as libjpeg fills it in. EJPEG on an error,
  // after which no further row can be read; EInvalidGraphicOperation for rows
  // beyond the image.
  void ReadRows(BYTE* First, std::int64_t Stride, Integer Count);

 private:
  friend class TJPEGImage;
  // readAhead: a large image may be decoded ahead on a worker thread while the
  // caller works on the rows it has; false decodes each row when it is asked
  // for (a whole image read at once gains nothing from it).
  TJPEGRowReader(TJPEGImage& image, bool readAhead);
  std::size_t RowBytes() const;
  void StartReadingAhead(std::uint64_t pixels);
  void ReadAhead(BYTE* First, std::int64_t Stride, Integer Count);
  struct TJob;
  std::unique_ptr<TJob> FJob;
  TPixelFormat FPixelFormat = pf24bit;
  std::vector<RGBQUAD> FColors;
  Integer FWidth = 0;
  Integer FHeight = 0;
  Integer FNextRow = 0;
  bool FFailed = false;
};
