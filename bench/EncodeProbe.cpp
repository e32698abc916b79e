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
