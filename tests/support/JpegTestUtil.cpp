#include "tests/support/JpegTestUtil.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <jerror.h>

namespace {

struct TErr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char text[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr c) {
  auto* e = reinterpret_cast<TErr*>(c->err);
  (*c->err->format_message)(c, e->text);
  std::longjmp(e->jump, 1);
}
void OnMessage(j_common_ptr, int) {}

struct TEncode {
  jpeg_compress_struct cinfo;
  TErr err;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  ~TEncode() { std::free(out); }
};

bool RunEncode(TEncode& job, const std::vector<std::uint8_t>& pixels, int width, int height,
               const TestJpegOptions& o) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnError;
  job.err.pub.emit_message = OnMessage;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_compress(&job.cinfo);
    return false;
  }
  jpeg_create_compress(&job.cinfo);
  jpeg_mem_dest(&job.cinfo, &job.out, &job.outSize);
  job.cinfo.image_width = static_cast<JDIMENSION>(width);
  job.cinfo.image_height = static_cast<JDIMENSION>(height);
  job.cinfo.in_color_space = o.input;
  job.cinfo.input_components = o.input == JCS_GRAYSCALE ? 1 : o.input == JCS_CMYK ? 4 : 3;
  jpeg_set_defaults(&job.cinfo);
  if (o.stored != JCS_UNKNOWN) jpeg_set_colorspace(&job.cinfo, o.stored);
  jpeg_set_quality(&job.cinfo, o.quality, TRUE);
  if (o.progressive) jpeg_simple_progression(&job.cinfo);
  job.cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
  job.cinfo.restart_in_rows = o.restartRows;
  job.cinfo.write_JFIF_header = o.jfif ? job.cinfo.write_JFIF_header : FALSE;
  if (!o.adobe) job.cinfo.write_Adobe_marker = FALSE;
  job.cinfo.density_unit = static_cast<UINT8>(o.densityUnit);
  job.cinfo.X_density = static_cast<UINT16>(o.xDensity);
  job.cinfo.Y_density = static_cast<UINT16>(o.yDensity);
  if (o.fullChroma)
    for (int i = 0; i < job.cinfo.num_components; ++i)
      job.cinfo.comp_info[i].h_samp_factor = job.cinfo.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&job.cinfo, TRUE);
  if (!o.app1.empty())
    jpeg_write_marker(&job.cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(o.app1.data()),
                      static_cast<unsigned>(o.app1.size()));
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(job.cinfo.input_components);
  while (job.cinfo.next_scanline < job.cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + job.cinfo.next_scanline * rowBytes);
    jpeg_write_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_compress(&job.cinfo);
  jpeg_destroy_compress(&job.cinfo);
  return true;
}

struct TDecode {
  jpeg_decompress_struct cinfo;
  TErr err;
};

bool RunDecode(TDecode& job, const std::string& bytes, J_COLOR_SPACE out, int scaleDenom, J_DCT_METHOD dct,
               TestJpegInfo& info) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnError;
  job.err.pub.emit_message = OnMessage;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_decompress(&job.cinfo);
    return false;
  }
  jpeg_create_decompress(&job.cinfo);
  jpeg_mem_src(&job.cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&job.cinfo, JPEG_APP0 + m, 0xFFFF);
  jpeg_save_markers(&job.cinfo, JPEG_COM, 0xFFFF);
  jpeg_read_header(&job.cinfo, TRUE);
  info.width = static_cast<int>(job.cinfo.image_width);
  info.height = static_cast<int>(job.cinfo.image_height);
  info.components = job.cinfo.num_components;
  info.colorSpace = job.cinfo.jpeg_color_space;
  info.jfif = job.cinfo.saw_JFIF_marker;
  info.densityUnit = job.cinfo.density_unit;
  info.xDensity = job.cinfo.X_density;
  info.yDensity = job.cinfo.Y_density;
  for (jpeg_saved_marker_ptr m = job.cinfo.marker_list; m; m = m->next) info.markers.push_back(m->marker);
  if (job.cinfo.quant_tbl_ptrs[0])
    info.lumaTable.assign(job.cinfo.quant_tbl_ptrs[0]->quantval, job.cinfo.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
  job.cinfo.out_color_space = out == JCS_UNKNOWN ? job.cinfo.jpeg_color_space : out;
  job.cinfo.scale_num = 1;
  job.cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
  job.cinfo.dct_method = dct;
  jpeg_start_decompress(&job.cinfo);
  const std::size_t rowBytes = static_cast<std::size_t>(job.cinfo.output_width) *
                               static_cast<std::size_t>(job.cinfo.output_components);
  info.pixels.assign(rowBytes * job.cinfo.output_height, 0);
  while (job.cinfo.output_scanline < job.cinfo.output_height) {
    JSAMPROW row = info.pixels.data() + job.cinfo.output_scanline * rowBytes;
    jpeg_read_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_decompress(&job.cinfo);
  jpeg_destroy_decompress(&job.cinfo);
  return true;
}

}  // namespace

std::string EncodeTestJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                           const TestJpegOptions& options) {
  auto job = std::make_unique<TEncode>();
  if (!RunEncode(*job, pixels, width, height, options))
    throw std::runtime_error(std::string("test encoder: ") + job->err.text);
  return std::string(reinterpret_cast<const char*>(job->out), job->outSize);
}

std::string EncodeInkJpegWithoutAdobe(const std::vector<std::uint8_t>& stored, int width, int height) {
  TestJpegOptions o;
  o.input = JCS_CMYK;
  o.adobe = false;
  o.jfif = false;
  std::string bytes = EncodeTestJpeg(stored, width, height, o);
  if (FindMarker(bytes, 0xEE) != std::string::npos) throw std::runtime_error("test encoder: an Adobe segment written");
  return bytes;
}

TestJpegInfo DecodeTestJpeg(const std::string& bytes, J_COLOR_SPACE out, int scaleDenom, J_DCT_METHOD dct) {
  auto job = std::make_unique<TDecode>();
  TestJpegInfo info;
  if (!RunDecode(*job, bytes, out, scaleDenom, dct, info))
    throw std::runtime_error(std::string("test decoder: ") + job->err.text);
  return info;
}

std::vector<std::uint8_t> TestCard(int width, int height, int components) {
  std::vector<std::uint8_t> p(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              static_cast<std::size_t>(components));
  std::size_t i = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) {
        const int v = (x * 255 / (width > 1 ? width - 1 : 1)) * (c % 3 == 0) +
                      (y * 255 / (height > 1 ? height - 1 : 1)) * (c % 3 == 1) +
                      ((x + y) * 4 % 256) * (c % 3 == 2) + (c == 3 ? (x * y) % 64 : 0);
        p[i++] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
      }
  return p;
}

std::size_t FindMarker(const std::string& bytes, std::uint8_t code) {
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    if (static_cast<std::uint8_t>(bytes[i]) == 0xFF && static_cast<std::uint8_t>(bytes[i + 1]) == code) return i;
  return std::string::npos;
}
