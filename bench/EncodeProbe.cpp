#include "bench/EncodeProbe.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

std::size_t EncodeBgrToMemory(const std::uint8_t* top, std::ptrdiff_t stride, int width, int height,
                              int quality) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, JCS_YCbCr);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row[1] = {const_cast<JSAMPROW>(top + static_cast<std::ptrdiff_t>(c.next_scanline) * stride)};
    jpeg_write_scanlines(&c, row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::free(out);
  return outSize;
}

bool DecodeBgrToMemory(const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t stride) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  d.dct_method = JDCT_IFAST;
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row[1] = {out + static_cast<std::size_t>(d.output_scanline) * stride};
    jpeg_read_scanlines(&d, row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

bool DecodeBgrInBands(const std::uint8_t* data, std::size_t size, int* width, int* height,
                      const std::function<void(const std::uint8_t* top, std::size_t stride, int firstRow,
                                               int rows)>& band) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  d.dct_method = JDCT_IFAST;
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  *width = static_cast<int>(d.output_width);
  *height = static_cast<int>(d.output_height);
  const std::size_t stride = (static_cast<std::size_t>(d.output_width) * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> buffer(stride * 10);
  while (d.output_scanline < d.output_height) {
    const int first = static_cast<int>(d.output_scanline);
    const int want = first == 0 ? 1 : std::min<int>(10, static_cast<int>(d.output_height) - first);
    int got = 0;
    while (got < want) {
      JSAMPROW rows[10];
      for (int k = got; k < want; ++k) rows[k - got] = buffer.data() + static_cast<std::size_t>(k) * stride;
      const int n = static_cast<int>(jpeg_read_scanlines(&d, rows, static_cast<JDIMENSION>(want - got)));
      if (n == 0) break;
      got += n;
    }
    band(buffer.data(), stride, first, got);
    if (got < want) break;
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}
