#include "thumb/Unit1.h"

#include <memory>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "imaging/JPEG_IO.h"
#include "toolbase/FileStamp.h"
#include "thumb/Rw_ini.h"
#include "thumb/ThumbCopy.h"

TForm1* Form1 = nullptr;

namespace {

// Thumbnails are always written at this quality and density, whatever the
// stored quality says.
constexpr Integer kThumbQuality = 66;
constexpr Integer kThumbDensity = 72;

}  // namespace

void TForm1::FormCreate(TObject* /*Sender*/) {
  ReadSettings();
  ShowToolSettings(PosTop, PosLeft, ModeClose, JpegComp);
  UpDown2->SetPosition(UpDownPosition(ThumbMax));
  Edit3->SetText(ThumbChar);
}

void TForm1::FormClose(TObject* /*Sender*/, TCloseAction& /*Action*/) {
  TakeToolSettings(PosTop, PosLeft, ModeClose, JpegComp);
  ThumbMax = StrToInt(Edit2->Text());
  ThumbChar = Edit3->Text();
  WriteSettings();
}

void TForm1::MakeThumbnail(const std::string& FileName) {
  // Declared first so that they go last, the decoded bitmap before the thumbnail.
  std::unique_ptr<TBitmap> thumb;
  std::unique_ptr<TBitmap> decoded;

  // The size and the prefix are taken afresh for every file, also for a path
  // that is passed over, so that an edit takes effect from the next file on.
  ThumbMax = StrToInt(Edit2->Text());
  ThumbChar = Edit3->Text();

  // A path that names no file (a folder, a time outside 1980..2107) is passed over.
  if (!FileExists(FileName)) return;

  // The decoder: colour stays colour, the fast inverse DCT.
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromFile(FileName);
  jpeg->SetGrayscale(false);
  jpeg->SetPerformance(jpBestSpeed);

  // The long side at full size picks the decode scale.
  const Integer longSide = jpeg->Width() > jpeg->Height() ? jpeg->Width() : jpeg->Height();
  jpeg->SetScale(ThumbDecodeScale(ThumbStep(longSide, ThumbMax)));

  // The thumbnail's sizes follow from the scaled sizes, which can differ by a
  // pixel from what the full sizes would give.
  const TThumbSize size = ThumbSize(jpeg->Width(), jpeg->Height(), ThumbMax);

  // Decode at that scale; the decoder is done with then.
  decoded = std::make_unique<TBitmap>();
  decoded->Assign(jpeg.get());
  jpeg.reset();

  // Only 24-bit and 8-bit pictures are made into thumbnails; others are passed
  // over without a word.
  Integer bytesPerPixel;
  switch (decoded->PixelFormat()) {
    case pf24bit: bytesPerPixel = 3; break;
    case pf8bit: bytesPerPixel = 1; break;
    default: return;
  }

  // A thumbnail with no rows or no columns is refused before anything is made
  // of it: no empty picture is written.
  if (size.Height == 0) throw EInvalidGraphicOperation(SScanLine);
  if (size.Width == 0)
    throw EInvalidGraphicOperation(Format("Thumbnail size %d x %d is out of range", size.Width, size.Height));

  // The thumbnail bitmap: the decoded one's format and palette, its own sizes.
  thumb = std::make_unique<TBitmap>();
  thumb->Assign(decoded.get());
  thumb->SetWidth(size.Width);
  thumb->SetHeight(size.Height);

  // Nearest-neighbour copy, the sampling grid anchored at the bottom-left corner.
  TThumbLayout layout;
  layout.SrcBase = decoded->ScanLine(decoded->Height() - 1);
  layout.SrcStride = DibStride(decoded->Width(), static_cast<WORD>(bytesPerPixel * 8));
  layout.SrcWidth = decoded->Width();
  layout.SrcHeight = decoded->Height();
  layout.DstBase = thumb->ScanLine(size.Height - 1);
  layout.DstStride = DibStride(size.Width, static_cast<WORD>(bytesPerPixel * 8));
  layout.Width = size.Width;
  layout.Height = size.Height;
  layout.Ratio = size.Ratio;
  layout.BytesPerPixel = bytesPerPixel;
  ThumbPixels(layout);

  // The input's time, taken after decoding: a thumbnail that replaces its
  // input still gets the input's own time.
  const Integer stamp = ReadFileStamp(FileName);

  // Beside the input, the prefix in front of its name, always at quality 66
  // and 72 dots per inch.
  const std::string output = ExtractFilePath(FileName) + ThumbChar + ExtractFileName(FileName);
  WriteJpegFile(thumb.get(), output, kThumbQuality, kThumbDensity, kThumbDensity);

  // The input's time on the thumbnail.
  SetFileStamp(output, stamp);

  // Released, the decoded bitmap first.
  decoded.reset();
  thumb.reset();
}

std::any TForm1::MethodAddress(const std::string& name) {
  VORNEL_PUBLISH(FormCreate);
  VORNEL_PUBLISH(FormClose);
  return TToolForm::MethodAddress(name);
}

void TForm1::BindFields() {
  TToolForm::BindFields();
  VORNEL_BIND(Label5);
  VORNEL_BIND(Label6);
  VORNEL_BIND(Edit2);
  VORNEL_BIND(UpDown2);
  VORNEL_BIND(Label7);
  VORNEL_BIND(Edit3);
}
