// The JPEG encoder library over libjpeg-turbo. The pixel rows are encoded where
// they lie (BGR rows directly, gray rows one at a time through a small buffer).
// The file is written beside its target and renamed over it once complete, so a
// failed write never costs the former file.
#include "platform/ijl15/ijl.h"
// Before libjpeg, whose TRUE and FALSE macros would clash with the platform's constants.
#include "platform/FileReplace.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr std::uint32_t kPrepared = 0x314C4A49u;  // "IJL1": the record came from ijlInit

// ---- Encoding (libjpeg reports errors by longjmp, so this part holds no C++
// object that needs destruction between setjmp and the codec's calls) ----------

struct TErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OnCodecError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TErrorMgr*>(cinfo->err)->jump, 1);
}

// The library never prints; warnings do not stop the encoder.
void OnCodecMessage(j_common_ptr, int) {}
void OnCodecOutput(j_common_ptr) {}

// libjpeg's error manager as the encoder uses it: errors jump back, nothing is
// printed.
jpeg_error_mgr* QuietErrors(TErrorMgr& err) {
  jpeg_error_mgr* mgr = jpeg_std_error(&err.pub);
  mgr->error_exit = OnCodecError;
  mgr->emit_message = OnCodecMessage;
  mgr->output_message = OnCodecOutput;
  return mgr;
}

struct TEncodeJob {
  // What to encode.
  const std::uint8_t* pixels = nullptr;
  JDIMENSION width = 0;
  JDIMENSION height = 0;
  std::size_t stride = 0;
  bool bottomUp = false;
  bool gray = false;  // one byte per pixel, encoded as luminance
  int quality = 75;
  UINT8 densityUnit = 0;
  UINT16 xDensity = 0;
  UINT16 yDensity = 0;
  std::uint8_t* rowBuffer = nullptr;  // 3 x width bytes, for gray rows
  FILE* file = nullptr;
  // The codec's state lives here, outside the frame that calls setjmp.
  jpeg_compress_struct cinfo;
  TErrorMgr err;
};

const std::uint8_t* SourceRow(const TEncodeJob& job, JDIMENSION row) {
  const JDIMENSION stored = job.bottomUp ? job.height - 1 - row : row;
  return job.pixels + static_cast<std::size_t>(stored) * job.stride;
}

// A compressor for rows of the job's width: libjpeg's defaults (YCbCr with the
// chroma sampled 2 x 2, the standard Huffman tables), the job's quality and JFIF
// densities.
void SetUp(const TEncodeJob& job, jpeg_compress_struct& cinfo, JDIMENSION height) {
  cinfo.image_width = job.width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  // Gray rows go in as Y with neutral chroma: three components, no colour.
  cinfo.in_color_space = job.gray ? JCS_YCbCr : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, JCS_YCbCr);
  jpeg_set_quality(&cinfo, job.quality, TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = job.densityUnit;
  cinfo.X_density = job.xDensity;
  cinfo.Y_density = job.yDensity;
}

// Hands the image rows first .. first + cinfo.image_height - 1 to the compressor;
// gray rows go through rowBuffer (3 x width bytes).
void WriteRows(const TEncodeJob& job, jpeg_compress_struct& cinfo, JDIMENSION first, std::uint8_t* rowBuffer) {
  while (cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION row = first + cinfo.next_scanline;
    if (job.gray) {
      const std::uint8_t* src = SourceRow(job, row);
      std::uint8_t* dst = rowBuffer;
      for (JDIMENSION x = 0; x < job.width; ++x, dst += 3) {
        dst[0] = src[x];
        dst[1] = 128;
        dst[2] = 128;
      }
      JSAMPROW rows[1] = {rowBuffer};
      jpeg_write_scanlines(&cinfo, rows, 1);
    } else {
      JSAMPROW rows[16];
      JDIMENSION count = 0;
      const JDIMENSION left = cinfo.image_height - cinfo.next_scanline;
      for (; count < 16 && count < left; ++count) rows[count] = const_cast<JSAMPROW>(SourceRow(job, row + count));
      jpeg_write_scanlines(&cinfo, rows, count);
    }
  }
}

// The whole image in one pass, straight to the file.
bool EncodeWhole(TEncodeJob& job) {
  job.cinfo.err = QuietErrors(job.err);
  if (setjmp(job.err.jump)) {
    jpeg_destroy_compress(&job.cinfo);
    return false;
  }
  jpeg_create_compress(&job.cinfo);
  jpeg_stdio_dest(&job.cinfo, job.file);
  SetUp(job, job.cinfo, job.height);
  jpeg_start_compress(&job.cinfo, TRUE);
  WriteRows(job, job.cinfo, 0, job.rowBuffer);
  jpeg_finish_compress(&job.cinfo);
  jpeg_destroy_compress(&job.cinfo);
  return true;
}

// ---- Bands: a large image is cut into bands of whole MCU rows that are encoded
// side by side, each with its own compressor, and joined into one scan with a
// restart marker at each band's start. A restart resets what the entropy coder
// carries from one MCU to the next, so every band codes exactly the bits it
// would code inside the whole image, and the file decodes to the same pixels as
// one pass over the image. The cut depends on the image's size alone, so the
// file is the same whatever number of threads encodes it.

// libjpeg's defaults sample the chroma 2 x 2: an MCU is 16 x 16 pixels.
constexpr JDIMENSION kMcuSize = 16;
// About this many pixels a band: enough work to be worth a thread.
constexpr std::uint64_t kBandPixels = std::uint64_t{1} << 18;

struct TBandLayout {
  JDIMENSION rows = 0;   // image rows a band (a multiple of the MCU height)
  JDIMENSION count = 1;  // bands; 1: the image is encoded in one pass
  unsigned restartInterval = 0;  // MCUs a band
};

TBandLayout LayOutBands(JDIMENSION width, JDIMENSION height) {
  TBandLayout layout;
  const JDIMENSION mcuRows = (height + kMcuSize - 1) / kMcuSize;
  const JDIMENSION mcusPerRow = (width + kMcuSize - 1) / kMcuSize;
  const std::uint64_t mcuRowPixels = std::uint64_t{width} * kMcuSize;
  std::uint64_t mcuRowsPerBand = (kBandPixels + mcuRowPixels - 1) / mcuRowPixels;
  // The restart interval is a 16-bit count of MCUs.
  mcuRowsPerBand = std::min<std::uint64_t>(mcuRowsPerBand, 65535u / mcusPerRow);
  if (mcuRowsPerBand == 0 || mcuRows <= mcuRowsPerBand) return layout;
  layout.rows = static_cast<JDIMENSION>(mcuRowsPerBand) * kMcuSize;
  layout.count = static_cast<JDIMENSION>((mcuRows + mcuRowsPerBand - 1) / mcuRowsPerBand);
  layout.restartInterval = static_cast<unsigned>(mcuRowsPerBand * mcusPerRow);
  return layout;
}

// One band's compressor and the bytes it makes, in memory.
struct TBand {
  jpeg_compress_struct cinfo;
  TErrorMgr err;
  jpeg_destination_mgr dest;
  std::unique_ptr<JOCTET[]> bytes;
  std::size_t capacity = 0;
  std::size_t size = 0;
  std::size_t frame = 0;  // where its frame header (SOF0) lies
  std::size_t data = 0;   // where its entropy-coded data starts
  std::unique_ptr<std::uint8_t[]> rowBuffer;  // for gray rows
};

TBand& BandOf(j_compress_ptr cinfo) { return *static_cast<TBand*>(cinfo->client_data); }

void OnBandStart(j_compress_ptr cinfo) {
  TBand& band = BandOf(cinfo);
  band.dest.next_output_byte = band.bytes.get();
  band.dest.free_in_buffer = band.capacity;
}

// The buffer is full: twice the room, the bytes so far kept.
boolean OnBandFull(j_compress_ptr cinfo) {
  TBand& band = BandOf(cinfo);
  const std::size_t used = band.capacity;
  JOCTET* larger = new (std::nothrow) JOCTET[used * 2];
  if (!larger) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  std::memcpy(larger, band.bytes.get(), used);
  band.bytes.reset(larger);
  band.capacity = used * 2;
  band.dest.next_output_byte = band.bytes.get() + used;
  band.dest.free_in_buffer = band.capacity - used;
  return TRUE;
}

void OnBandEnd(j_compress_ptr cinfo) {
  TBand& band = BandOf(cinfo);
  band.size = band.capacity - band.dest.free_in_buffer;
}

// Encodes image rows first .. first + rows - 1 as a file of their own whose scan
// is laid out for the given restart interval.
bool EncodeBand(const TEncodeJob& job, TBand& band, JDIMENSION first, JDIMENSION rows, unsigned restartInterval) {
  band.cinfo.err = QuietErrors(band.err);
  if (setjmp(band.err.jump)) {
    jpeg_destroy_compress(&band.cinfo);
    return false;
  }
  jpeg_create_compress(&band.cinfo);
  band.cinfo.client_data = &band;
  band.dest.init_destination = OnBandStart;
  band.dest.empty_output_buffer = OnBandFull;
  band.dest.term_destination = OnBandEnd;
  band.cinfo.dest = &band.dest;
  SetUp(job, band.cinfo, rows);
  band.cinfo.restart_interval = restartInterval;
  jpeg_start_compress(&band.cinfo, TRUE);
  WriteRows(job, band.cinfo, first, band.rowBuffer.get());
  jpeg_finish_compress(&band.cinfo);
  jpeg_destroy_compress(&band.cinfo);
  return true;
}

// Where a band's file has its frame header (SOF0) and where its entropy-coded
// data starts (after the SOS segment); false when it is not laid out so.
bool FindScan(const JOCTET* bytes, std::size_t size, std::size_t& frame, std::size_t& data) {
  frame = 0;
  std::size_t pos = 2;  // after SOI
  while (pos + 4 <= size && bytes[pos] == 0xFF) {
    const JOCTET marker = bytes[pos + 1];
    const std::size_t length = (std::size_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
    if (marker == 0xC0) frame = pos;
    if (marker == 0xDA) {
      data = pos + 2 + length;
      return frame != 0 && data + 2 <= size && bytes[size - 2] == 0xFF && bytes[size - 1] == 0xD9;
    }
    pos += 2 + length;
  }
  return false;
}

TWorkerPool& EncoderWorkers() {
  static TWorkerPool pool(WorkerThreadCount());
  return pool;
}

bool EncodeBands(const TEncodeJob& job, const TBandLayout& layout) {
  std::vector<TBand> bands(layout.count);
  EncoderWorkers().Run(static_cast<int>(layout.count), [&](int i) {
    TBand& band = bands[static_cast<std::size_t>(i)];
    const JDIMENSION first = static_cast<JDIMENSION>(i) * layout.rows;
    const JDIMENSION rows = std::min(layout.rows, job.height - first);
    band.capacity = std::max<std::size_t>(std::size_t{64} << 10, std::size_t{job.width} * rows / 4);
    band.bytes.reset(new (std::nothrow) JOCTET[band.capacity]);
    if (job.gray) band.rowBuffer.reset(new (std::nothrow) std::uint8_t[std::size_t{job.width} * 3]);
    if (!band.bytes || (job.gray && !band.rowBuffer) || !EncodeBand(job, band, first, rows, layout.restartInterval))
      band.size = 0;
  });
  // The first band's headers (with the restart interval) head the file, its
  // frame made as high as the image; each later band's data follows its
  // restart marker, RST0 to RST7 in turn.
  for (TBand& band : bands)
    if (band.size == 0 || !FindScan(band.bytes.get(), band.size, band.frame, band.data)) return false;
  TBand& head = bands[0];
  head.bytes[head.frame + 5] = static_cast<JOCTET>(job.height >> 8);
  head.bytes[head.frame + 6] = static_cast<JOCTET>(job.height & 0xFF);
  if (std::fwrite(head.bytes.get(), 1, head.size - 2, job.file) != head.size - 2) return false;
  for (std::size_t i = 1; i < bands.size(); ++i) {
    const TBand& band = bands[i];
    const JOCTET restart[2] = {0xFF, static_cast<JOCTET>(0xD0 + ((i - 1) & 7))};
    const std::size_t length = band.size - 2 - band.data;
    if (std::fwrite(restart, 1, 2, job.file) != 2 ||
        std::fwrite(band.bytes.get() + band.data, 1, length, job.file) != length)
      return false;
  }
  static const JOCTET end[2] = {0xFF, 0xD9};
  return std::fwrite(end, 1, 2, job.file) == 2;
}

// Returns true when the whole image has been encoded and handed to the file.
bool Encode(TEncodeJob& job) {
  const TBandLayout layout = LayOutBands(job.width, job.height);
  return layout.count > 1 ? EncodeBands(job, layout) : EncodeWhole(job);
}

int WriteWholeImage(const JPEG_CORE_PROPERTIES& p) {
  // What the encoder takes: the bitmap side as rows of gray or BGR pixels, the
  // file side as a three-component YCbCr image of the same size.
  const bool gray = p.DIBChannels == 1 && p.DIBColor == IJL_G;
  const bool bgr = p.DIBChannels == 3 && p.DIBColor == IJL_BGR;
  if (!gray && !bgr) return IJL_BAD_PROPERTIES;
  if (p.JPGChannels != 3 || p.JPGColor != IJL_YCBCR) return IJL_BAD_PROPERTIES;
  if (!p.JPGFile || !*p.JPGFile) return IJL_BAD_PROPERTIES;
  if (p.DIBPadBytes > 3) return IJL_BAD_PROPERTIES;
  const std::int64_t rows = p.DIBHeight < 0 ? -std::int64_t{p.DIBHeight} : p.DIBHeight;
  if (p.JPGWidth != p.DIBWidth || static_cast<std::int64_t>(p.JPGHeight) != rows) return IJL_BAD_PROPERTIES;
  // An empty image has no file; larger than the format allows, neither.
  if (p.DIBWidth == 0 || rows == 0 || p.DIBWidth > JPEG_MAX_DIMENSION || rows > JPEG_MAX_DIMENSION)
    return IJL_ENCODE_ERROR;
  if (!p.DIBBytes) return IJL_BAD_PROPERTIES;

  // The file is written beside its target and put in its place once complete;
  // a target that another writer changes meanwhile is left to that writer.
  TFileReplace file(TReplacePolicy{.GuardTarget = true, .InPlaceFallback = false});
  if (!file.Prepare(p.JPGFile) || !file.Begin() || !file.Stream()) return IJL_FILE_ERROR;

  auto job = std::make_unique<TEncodeJob>();
  job->pixels = p.DIBBytes;
  job->width = p.DIBWidth;
  job->height = static_cast<JDIMENSION>(rows);
  job->stride = static_cast<std::size_t>(p.DIBWidth) * p.DIBChannels + p.DIBPadBytes;
  job->bottomUp = p.DIBHeight < 0;
  job->gray = gray;
  // The codec's scale runs from 1 to 100; numbers outside are taken as its ends.
  job->quality = p.jquality < 1 ? 1 : p.jquality > 100 ? 100 : p.jquality;
  job->densityUnit = p.jfif_density_unit;
  job->xDensity = p.jfif_x_density;
  job->yDensity = p.jfif_y_density;
  std::unique_ptr<std::uint8_t[]> rowBuffer;
  if (gray) {
    rowBuffer.reset(new std::uint8_t[static_cast<std::size_t>(p.DIBWidth) * 3]);
    job->rowBuffer = rowBuffer.get();
  }
  job->file = file.Stream();
  if (!Encode(*job)) return IJL_ENCODE_ERROR;
  return file.Commit() ? IJL_OK : IJL_FILE_ERROR;
}

}  // namespace

extern "C" {

int ijlInit(JPEG_CORE_PROPERTIES* props) {
  if (!props) return IJL_INVALID_RECORD;
  std::memset(props, 0, sizeof *props);
  props->State = kPrepared;
  props->DIBChannels = 3;
  props->DIBColor = IJL_BGR;
  props->JPGChannels = 3;
  props->JPGColor = IJL_YCBCR;
  props->jquality = 75;
  props->jfif_density_unit = IJL_DENSITY_NONE;
  props->jfif_x_density = 1;
  props->jfif_y_density = 1;
  return IJL_OK;
}

int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode) {
  if (!props || props->State != kPrepared) return IJL_INVALID_RECORD;
  if (mode != IJL_JFILE_WRITEWHOLEIMAGE) return IJL_UNSUPPORTED_MODE;
  try {
    return WriteWholeImage(*props);
  } catch (...) {  // nothing may cross the C boundary
    return IJL_INTERNAL_ERROR;
  }
}

int ijlFree(JPEG_CORE_PROPERTIES* props) {
  if (!props || props->State != kPrepared) return IJL_INVALID_RECORD;
  props->State = 0;
  return IJL_OK;
}

}  // extern "C"
