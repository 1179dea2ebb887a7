// libjpeg compression behind setjmp/longjmp. The jump spans only C objects: the compressor, and
// the output block of libjpeg's memory destination, which lives in the caller's frame and is
// freed there on either path after being copied into a vector outside the jump's reach.
#include "jpeg_maker.h"

#include <cstdlib>

#include "jpeg_error.h"

namespace ovr_test {
namespace {

// Compresses into a block that libjpeg's memory destination allocates with malloc at *out (the
// caller's, so that it survives the jump; the caller frees it); false on a libjpeg error.
bool compress(const uint8_t *pixels, unsigned width, unsigned height, int quality,
              unsigned char **out, unsigned long *size) {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  cinfo.err = jumpingErrors(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, JCS_RGB);  // the components as given, no subsampling
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + 3ull * width * cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &pixels, unsigned width, unsigned height,
                                int quality) {
  if (pixels.size() < 3ull * width * height) return {};
  unsigned char *block = nullptr;
  unsigned long size = 0;
  const bool done = compress(pixels.data(), width, height, quality, &block, &size);
  std::vector<uint8_t> out;
  if (done) out.assign(block, block + size);
  std::free(block);
  return out;
}

}  // namespace ovr_test
