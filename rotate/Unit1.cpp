#include "rotate/Unit1.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "imaging/DCImageInfo.h"
#include "imaging/JPEG_IO.h"
#include "platform/Files.h"
#include "toolbase/FileStamp.h"
#include "rotate/Rw_ini.h"

TForm1* Form1 = nullptr;

namespace {

Integer BytesPerPixel(TPixelFormat format) {
  switch (PixelFormatBits(format)) {
    case 8: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default:
      throw EInvalidGraphic("Cannot rotate an image of this pixel format");
  }
}

// The message for a file that another program changed, replaced or removed
// while it was being turned: it is not written over.
[[noreturn]] void RaiseChangedDuringConversion(const std::string& FileName) {
  throw EWriteError(Format("File %s was changed during conversion and was not written", FileName.c_str()));
}

}  // namespace

bool TForm1::UnchangedSinceRead(const std::string& path, const TFileIdentity& read) const {
  TFileIdentity now;
  if (!GetFileIdentity(path.c_str(), now)) return false;
  // Every state of the file that this process's writes led to from the one
  // read. The identities name the file, whatever path a nested drop spelt it by.
  std::vector<TFileIdentity> reached{read};
  for (bool grew = true; grew;) {
    grew = false;
    for (const TOwnWrite& w : FOwnWrites) {
      const bool fromReached = std::find(reached.begin(), reached.end(), w.Read) != reached.end();
      if (fromReached && std::find(reached.begin(), reached.end(), w.Written) == reached.end()) {
        reached.push_back(w.Written);
        grew = true;
      }
    }
  }
  return std::find(reached.begin(), reached.end(), now) != reached.end();
}

void TForm1::FormCreate(TObject* /*Sender*/) {
  ReadSettings();
  ShowToolSettings(PosTop, PosLeft, ModeClose, JpegComp);
}

void TForm1::FormClose(TObject* /*Sender*/, TCloseAction& /*Action*/) {
  TakeToolSettings(PosTop, PosLeft, ModeClose, JpegComp);
  WriteSettings();
}

void TForm1::ConvFile(const std::string& FileName) {
  // What is not a JPEG file is not touched; it still gets its close request.
  if (!FileExists(FileName)) {
    Close();
    return;
  }
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext != ".jpg" && ext != ".jpeg") {
    Close();
    return;
  }

  // The densities as the header gives them, whatever its unit says; a 0 means
  // none given: 72 dots per inch.
  Integer xDensity = 0, yDensity = 0;
  {
    auto info = std::make_unique<TDCImageInfo>();
    info->ReadInfo(FileName);
    xDensity = info->XDensity;
    yDensity = info->YDensity;
  }
  if (xDensity == 0) xDensity = 72;
  if (yDensity == 0) yDensity = 72;

  // The last-write time, carried over to the written file (0 when the file
  // cannot be opened for writing: the new file then keeps its own time).
  const Integer stamp = ReadFileStamp(FileName);
  StepDone("header");

  // The records of this process's own writes live as long as the outermost
  // conversion.
  struct TRunning {
    TForm1& form;
    explicit TRunning(TForm1& f) : form(f) { ++form.FConversions; }
    ~TRunning() {
      if (--form.FConversions == 0) form.FOwnWrites.clear();
    }
  } running(*this);
  // The file as it is read, to tell later whether it is still the same one.
  TFileIdentity before;
  const bool existed = GetFileIdentity(FileName.c_str(), before);
  // Decoded at full size and fast, band by band straight into the turned
  // bitmap: no bitmap of the whole source is made.
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromFile(FileName);
  jpeg->SetScale(jsFullSize);
  jpeg->SetPerformance(jpBestSpeed);
  auto reader = std::make_unique<TJPEGRowReader>(*jpeg);
  const Integer W = reader->Width();
  const Integer H = reader->Height();
  StepDone("load");

  const Integer B = BytesPerPixel(reader->PixelFormat());
  const std::int64_t dstStride = DibStride(H, static_cast<WORD>(B * 8));
  const std::int64_t srcStride = DibStride(W, static_cast<WORD>(B * 8));

  // The turned bitmap: the decoder's pixel format and palette, width and height
  // exchanged, pixel memory of its own.
  auto turned = std::make_unique<TBitmap>();
  turned->SetPixelFormat(reader->PixelFormat());
  turned->SetColors(reader->Colors());
  turned->SetSize(H, W);

  ProgressBar1->SetMax(H);

  // Each band of source rows is decoded into a buffer of a band's rows and
  // turned from there; after the bands that show it, the progress moves and
  // pending messages run (a close, a further drop, nested here).
  const TTurnTarget target{turned->ScanLine(W - 1), dstStride, W, H, B};
  const auto rows = std::make_unique_for_overwrite<BYTE[]>(static_cast<std::size_t>(srcStride) * kTurnBandRows);
  StepDone("allocate");
  for (Integer y = 0; y < H;) {
    const TTurnBand band = TurnBandAt(y, H);
    reader->ReadRows(rows.get(), srcStride, band.Rows());
    StepDone("decode");
    TurnRows(TurnRule, target, rows.get(), srcStride, band.First, band.Rows());
    StepDone("turn");
    if (band.ShowsProgress()) {
      ProgressBar1->SetPosition(band.Last);
      Application->ProcessMessages();
      StepDone("messages");
    }
    y = band.Last + 1;
  }
  reader.reset();

  // Written over the file, unless it is no longer the one that was read (put
  // back or deleted while messages ran): its new content must not be lost.
  // Where the only writes since are those of nested conversions of the same
  // file (dropped again while messages ran), this result goes over them, as the
  // later one. A write that fails while the file was changed says so: that is
  // why it failed.
  if (!existed || !UnchangedSinceRead(FileName, before)) RaiseChangedDuringConversion(FileName);
  try {
    WriteJpegFile(turned.get(), FileName, JpegComp, xDensity, yDensity);
  } catch (const EWriteError&) {
    if (!UnchangedSinceRead(FileName, before)) RaiseChangedDuringConversion(FileName);
    throw;
  }
  StepDone("write");

  SetFileStamp(FileName, stamp);
  TFileIdentity written;
  if (GetFileIdentity(FileName.c_str(), written)) FOwnWrites.push_back(TOwnWrite{before, written});
  StepDone("time");

  jpeg.reset();
  turned.reset();
  StepDone("release");

  // The progress keeps its maximum; every finished file asks for the close.
  ProgressBar1->SetPosition(0);
  Close();
  StepDone("close");
}

std::any TForm1::MethodAddress(const std::string& name) {
  VORNEL_PUBLISH(FormCreate);
  VORNEL_PUBLISH(FormClose);
  VORNEL_PUBLISH(ConvFile);
  return TToolForm::MethodAddress(name);
}
