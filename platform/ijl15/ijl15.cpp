// The JPEG encoder library over libjpeg-turbo. The pixel rows are encoded where
// they lie (BGR rows directly, gray rows one at a time through a small buffer).
// The file is written beside its target and renamed over it once complete, so a
// failed write never costs the former file.
#include "platform/ijl15/ijl.h"
// Before libjpeg, whose TRUE and FALSE macros would clash with the platform's constants.
#include "platform/FileReplace.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

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

// Returns true when the whole image has been encoded and handed to the file.
bool Encode(TEncodeJob& job) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnCodecError;
  job.err.pub.emit_message = OnCodecMessage;
  job.err.pub.output_message = OnCodecOutput;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_compress(&job.cinfo);
    return false;
  }
  jpeg_create_compress(&job.cinfo);
  jpeg_stdio_dest(&job.cinfo, job.file);
  job.cinfo.image_width = job.width;
  job.cinfo.image_height = job.height;
  job.cinfo.input_components = 3;
  // Gray rows go in as Y with neutral chroma: three components, no colour.
  job.cinfo.in_color_space = job.gray ? JCS_YCbCr : JCS_EXT_BGR;
  jpeg_set_defaults(&job.cinfo);
  jpeg_set_colorspace(&job.cinfo, JCS_YCbCr);
  jpeg_set_quality(&job.cinfo, job.quality, TRUE);
  job.cinfo.write_JFIF_header = TRUE;
  job.cinfo.density_unit = job.densityUnit;
  job.cinfo.X_density = job.xDensity;
  job.cinfo.Y_density = job.yDensity;
  jpeg_start_compress(&job.cinfo, TRUE);
  while (job.cinfo.next_scanline < job.cinfo.image_height) {
    const JDIMENSION row = job.cinfo.next_scanline;
    if (job.gray) {
      const std::uint8_t* src = SourceRow(job, row);
      std::uint8_t* dst = job.rowBuffer;
      for (JDIMENSION x = 0; x < job.width; ++x, dst += 3) {
        dst[0] = src[x];
        dst[1] = 128;
        dst[2] = 128;
      }
      JSAMPROW rows[1] = {job.rowBuffer};
      jpeg_write_scanlines(&job.cinfo, rows, 1);
    } else {
      JSAMPROW rows[16];
      JDIMENSION count = 0;
      for (; count < 16 && row + count < job.height; ++count)
        rows[count] = const_cast<JSAMPROW>(SourceRow(job, row + count));
      jpeg_write_scanlines(&job.cinfo, rows, count);
    }
  }
  jpeg_finish_compress(&job.cinfo);
  jpeg_destroy_compress(&job.cinfo);
  return true;
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
