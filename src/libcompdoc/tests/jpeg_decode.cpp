// The libjpeg decoder of the tests. The jump out of a failed decode is kept to this unit's
// C-style function: no object with a destructor lives across it.
#include "jpeg_decode.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace striptest {
namespace {

struct JumpError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void jumpOut(j_common_ptr info) {
  longjmp(reinterpret_cast<JumpError *>(info->err)->jump, 1);
}

void quiet(j_common_ptr, int) {}

// Decodes into out (already sized by the caller's second call); 0 ok, 1 failed.
int decodeInto(const uint8_t *bytes, int32_t size, bool raw, Decoded *out, uint8_t *pixels) {
  jpeg_decompress_struct info;
  JumpError error;
  info.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = jumpOut;
  error.pub.emit_message = quiet;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return 1;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  out->width = static_cast<int>(info.image_width);
  out->height = static_cast<int>(info.image_height);
  out->components = info.num_components;
  out->xDensity = info.X_density;
  out->yDensity = info.Y_density;
  if (info.quant_tbl_ptrs[0] != nullptr) out->lumaQuant0 = info.quant_tbl_ptrs[0]->quantval[0];
  if (raw) info.out_color_space = info.jpeg_color_space;
  if (pixels != nullptr) {
    jpeg_start_decompress(&info);
    const int stride = out->width * static_cast<int>(info.output_components);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels + static_cast<size_t>(info.output_scanline) * stride;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return 0;
}

}  // namespace

Decoded decodeJpeg(const uint8_t *bytes, int32_t size, bool raw) {
  Decoded d;
  if (decodeInto(bytes, size, raw, &d, nullptr) != 0) return d;
  d.pixels.resize(static_cast<size_t>(d.width) * d.height * d.components);
  d.ok = decodeInto(bytes, size, raw, &d, d.pixels.data()) == 0;
  return d;
}

}  // namespace striptest
