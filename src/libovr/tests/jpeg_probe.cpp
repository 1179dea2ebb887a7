// libjpeg decoding behind setjmp/longjmp. The jump spans only C objects: the decompressor and a
// row buffer from malloc, both released on either path.
#include "jpeg_probe.h"

#include <cstdlib>

#include "jpeg_error.h"

namespace ovr_test {

bool jpegDecodes(const uint8_t *data, size_t size, unsigned *width, unsigned *height,
                 std::vector<uint8_t> *pixels) {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JSAMPLE *volatile row = nullptr;
  cinfo.err = jumpingErrors(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(row);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  row = static_cast<JSAMPLE *>(std::malloc(cinfo.output_width * cinfo.output_components));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPLE *rows[1] = {row};
    jpeg_read_scanlines(&cinfo, rows, 1);
    if (pixels)
      pixels->insert(pixels->end(), row, row + cinfo.output_width * cinfo.output_components);
  }
  *width = cinfo.output_width;
  *height = cinfo.output_height;
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::free(row);
  return true;
}

}  // namespace ovr_test
