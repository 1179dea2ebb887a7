// Test support: JPEG bands made with libjpeg's encoder into memory. libjpeg's errors jump back
// to the encoding function, whose frame holds no object with a destructor while libjpeg runs.
#include "jpeg_encoder.h"

#include <cstdio>  // jpeglib.h uses FILE

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <random>

namespace ctl_test {
namespace {

struct Errors {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void jump(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<Errors *>(cinfo->err)->jump, 1);
}

// Encodes into a malloc'd block; false on failure.
bool encode(const uint8_t *pixels, int width, int height, JpegKind kind, bool progressive,
            int quality, unsigned char **out, unsigned long *size) {
  jpeg_compress_struct cinfo;
  Errors errors;
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = jump;
  jpeg_create_compress(&cinfo);
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = kind == JpegKind::Grey ? 1 : 3;
  cinfo.in_color_space = kind == JpegKind::Grey    ? JCS_GRAYSCALE
                         : kind == JpegKind::YCbCr ? JCS_RGB
                                                   : JCS_UNKNOWN;
  jpeg_set_defaults(&cinfo);
  if (kind == JpegKind::Raw) {
    jpeg_set_colorspace(&cinfo, JCS_UNKNOWN);
    for (int c = 0; c < 3; ++c)
      cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  }
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  const int rowBytes = width * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(pixels + static_cast<size_t>(cinfo.next_scanline) * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &pixels, int width, int height,
                                JpegKind kind, bool progressive, int quality) {
  unsigned char *out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> jpeg;
  if (encode(pixels.data(), width, height, kind, progressive, quality, &out, &size))
    jpeg.assign(out, out + size);
  free(out);
  return jpeg;
}

std::vector<uint8_t> withAdobeMarker(const std::vector<uint8_t> &jpeg) {
  static const uint8_t kAdobe[] = {0xFF, 0xEE, 0x00, 0x0E, 'A',  'd',  'o',  'b',
                                   'e',  0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), std::begin(kAdobe), std::end(kAdobe));
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

std::vector<uint8_t> testPicture(int width, int height, int components, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * components);
  size_t i = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        out[i++] = static_cast<uint8_t>((x * (3 + c) + y * (5 - c) + (c * 70)) / 2 + random() % 24);
  return out;
}

}  // namespace ctl_test
