#include "classlib/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// More scans than any real file has; a file with more is refused rather than
// spent minutes on.
constexpr int kMaxScans = 500;

// ---- libjpeg calls -----------------------------------------------------------------
// libjpeg reports an error by longjmp back into the stage that called it. The
// stages hold no C++ object that needs destruction, and the codec's state lives
// in the job, outside their frames.

struct TErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OnCodecError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TErrorMgr*>(cinfo->err)->jump, 1); }
// Warnings (data that ends early, corrupt data) are passed over: the image is
// decoded as far as it goes. Nothing is printed.
void OnCodecMessage(j_common_ptr, int) {}
void OnCodecOutput(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
    (*cinfo->err->error_exit)(cinfo);
  }
}

enum class TOutput { Bgr, Gray, Indexed, CmykToBgr, CmykToGray };

struct TDecodeJob {
  jpeg_decompress_struct cinfo;
  TErrorMgr err;
  jpeg_progress_mgr progress;
  bool created = false;
  const std::uint8_t* data = nullptr;
  unsigned long size = 0;
  // Choices, made between the stages.
  TOutput output = TOutput::Bgr;
  bool inverted = false;  // Adobe CMYK: ink stored as 255 minus the amount
  // Where the rows go.
  std::uint8_t* bottom = nullptr;  // the lowest row of the bitmap
  std::size_t stride = 0;
  std::uint8_t* cmykRow = nullptr;  // 4 bytes a pixel, one row

  TDecodeJob() = default;
  TDecodeJob(const TDecodeJob&) = delete;
  TDecodeJob& operator=(const TDecodeJob&) = delete;
  ~TDecodeJob() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
  int Code() const { return err.pub.msg_code; }
};

void Prepare(TDecodeJob& job) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnCodecError;
  job.err.pub.emit_message = OnCodecMessage;
  job.err.pub.output_message = OnCodecOutput;
  job.progress.progress_monitor = OnProgress;
  job.created = true;  // destroying a decompressor whose creation failed is safe
}

// Creates the decompressor and reads the header up to the first scan.
bool ReadHeader(TDecodeJob& job) {
  Prepare(job);
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  // libjpeg's own buffers (progressive coefficients, two-pass quantising) stay
  // within the bitmap limit; beyond it libjpeg fails instead of allocating.
  job.cinfo.mem->max_memory_to_use = static_cast<long>(MaxBitmapBytes());
  job.cinfo.progress = &job.progress;
  jpeg_mem_src(&job.cinfo, job.data, job.size);
  jpeg_read_header(&job.cinfo, TRUE);
  return true;
}

bool ComputeOutputSize(TDecodeJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_calc_output_dimensions(&job.cinfo);
  return true;
}

inline std::uint8_t Mul255(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

// Turns one row of CMYK (as libjpeg gives it) into BGR or gray levels.
void ConvertCmykRow(const TDecodeJob& job, std::uint8_t* dst) {
  const std::uint8_t* src = job.cmykRow;
  const JDIMENSION width = job.cinfo.output_width;
  for (JDIMENSION x = 0; x < width; ++x, src += 4) {
    unsigned c = src[0], m = src[1], y = src[2], k = src[3];
    if (!job.inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    const std::uint8_t r = Mul255(c, k), g = Mul255(m, k), b = Mul255(y, k);
    if (job.output == TOutput::CmykToGray) {
      dst[x] = static_cast<std::uint8_t>((r * 77u + g * 150u + b * 29u + 128u) >> 8);
    } else {
      dst[3 * x] = b;
      dst[3 * x + 1] = g;
      dst[3 * x + 2] = r;
    }
  }
}

// Decodes every output row into the bitmap, bottom-up. Whatever follows the last
// row is not read: the image is complete.
bool DecodeRows(TDecodeJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_start_decompress(&job.cinfo);
  const JDIMENSION height = job.cinfo.output_height;
  const bool cmyk = job.output == TOutput::CmykToBgr || job.output == TOutput::CmykToGray;
  while (job.cinfo.output_scanline < height) {
    const JDIMENSION row = job.cinfo.output_scanline;
    if (cmyk) {
      JSAMPROW rows[1] = {job.cmykRow};
      if (jpeg_read_scanlines(&job.cinfo, rows, 1) != 1) break;
      ConvertCmykRow(job, job.bottom + static_cast<std::size_t>(height - 1 - row) * job.stride);
    } else {
      JSAMPROW rows[16];
      JDIMENSION count = 0;
      for (; count < 16 && row + count < height; ++count)
        rows[count] = job.bottom + static_cast<std::size_t>(height - 1 - row - count) * job.stride;
      if (jpeg_read_scanlines(&job.cinfo, rows, count) == 0) break;
    }
  }
  return true;
}

[[noreturn]] void RaiseJpegError(int code) { throw EJPEG(Format("JPEG エラー #%d", code)); }

std::vector<RGBQUAD> GrayLevels() {
  std::vector<RGBQUAD> colors(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<BYTE>(i);
    colors[static_cast<std::size_t>(i)] = RGBQUAD{v, v, v, 0};
  }
  return colors;
}

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromFile(const std::string& FileName) {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    const std::int64_t length = stream.Size();
    if (length < 0) throw EReadError("ストリームからの読み込みエラー");
    if (static_cast<std::uint64_t>(length) > MaxBitmapBytes())
      throw EOutOfResources(Format("ファイル %s は大きすぎます", FileName.c_str()));
    size = static_cast<std::size_t>(length);
    if (size > 0) {
      data.reset(new (std::nothrow) std::uint8_t[size]);
      if (!data) throw EOutOfMemory("メモリが不足しています");
      stream.ReadBuffer(data.get(), static_cast<std::int64_t>(size));
    }
  }
  Integer width = 0, height = 0;
  if (size > 0) {
    auto job = std::make_unique<TDecodeJob>();
    job->data = data.get();
    job->size = static_cast<unsigned long>(size);
    if (!ReadHeader(*job)) RaiseJpegError(job->Code());
    width = static_cast<Integer>(job->cinfo.image_width);
    height = static_cast<Integer>(job->cinfo.image_height);
  }
  FData = std::move(data);
  FSize = size;
  FImageWidth = width;
  FImageHeight = height;
}

Integer TJPEGImage::Width() const {
  const Integer d = 1 << FScale;
  return (FImageWidth + d - 1) / d;
}

Integer TJPEGImage::Height() const {
  const Integer d = 1 << FScale;
  return (FImageHeight + d - 1) / d;
}

bool TJPEGImage::AssignTo(TBitmap* dest) {
  TBitmap image;
  if (FSize == 0) {
    image.SetPixelFormat(pf24bit);
    dest->Assign(&image);
    return true;
  }
  auto job = std::make_unique<TDecodeJob>();
  job->data = FData.get();
  job->size = static_cast<unsigned long>(FSize);
  if (!ReadHeader(*job)) RaiseJpegError(job->Code());

  jpeg_decompress_struct& c = job->cinfo;
  c.scale_num = 1;
  c.scale_denom = 1u << FScale;
  if (FPerformance == jpBestSpeed) {
    c.dct_method = JDCT_IFAST;
    c.two_pass_quantize = FALSE;
    c.dither_mode = JDITHER_ORDERED;
  }
  const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    // libjpeg gives CMYK only as CMYK; the colours are made here, row by row.
    c.out_color_space = JCS_CMYK;
    job->output = FGrayscale ? TOutput::CmykToGray : TOutput::CmykToBgr;
    job->inverted = c.saw_Adobe_marker;
  } else if (FGrayscale || c.jpeg_color_space == JCS_GRAYSCALE) {
    c.out_color_space = JCS_GRAYSCALE;
    job->output = TOutput::Gray;
  } else if (FPixelFormat == jf8Bit) {
    c.out_color_space = JCS_RGB;
    c.quantize_colors = TRUE;
    c.desired_number_of_colors = 256;
    job->output = TOutput::Indexed;
  } else {
    c.out_color_space = JCS_EXT_BGR;
    job->output = TOutput::Bgr;
  }
  if (!ComputeOutputSize(*job)) RaiseJpegError(job->Code());

  const bool eightBit = job->output != TOutput::Bgr && job->output != TOutput::CmykToBgr;
  const auto width = static_cast<Integer>(c.output_width);
  const auto height = static_cast<Integer>(c.output_height);
  image.SetPixelFormat(eightBit ? pf8bit : pf24bit);
  image.SetSize(width, height);
  if (eightBit) image.SetColors(GrayLevels());
  // The pixels are had (or refused) here, before any decoding.
  job->bottom = image.ScanLine(height - 1);
  job->stride = static_cast<std::size_t>(DibStride(width, static_cast<WORD>(eightBit ? 8 : 24)));
  std::unique_ptr<std::uint8_t[]> cmykRow;
  if (cmyk) {
    cmykRow.reset(new std::uint8_t[static_cast<std::size_t>(width) * 4]);
    job->cmykRow = cmykRow.get();
  }
  if (!DecodeRows(*job)) RaiseJpegError(job->Code());

  if (job->output == TOutput::Indexed) {
    std::vector<RGBQUAD> colors(static_cast<std::size_t>(c.actual_number_of_colors));
    for (std::size_t i = 0; i < colors.size(); ++i)
      colors[i] = RGBQUAD{c.colormap[2][i], c.colormap[1][i], c.colormap[0][i], 0};
    colors.resize(256, RGBQUAD{0, 0, 0, 0});
    image.SetColors(std::move(colors));
  }
  dest->Assign(&image);
  return true;
}
