#include "jpeg_fixture.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace jpegtest {
namespace {

struct DecodeErr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
void decodeExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<DecodeErr *>(cinfo->err)->jump, 1);
}
void quiet(j_common_ptr, int) {}

// Reads the header and, when out is given, the samples. Only plain data lives in this frame.
bool run(const uint8_t *data, size_t size, bool raw, Decoded *d, uint8_t *out) {
  jpeg_decompress_struct cinfo;
  DecodeErr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = decodeExit;
  err.pub.emit_message = quiet;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  d->width = static_cast<int>(cinfo.image_width);
  d->height = static_cast<int>(cinfo.image_height);
  d->components = cinfo.num_components;
  d->jfif = cinfo.saw_JFIF_marker;
  d->densityUnit = cinfo.density_unit;
  d->xDensity = cinfo.X_density;
  d->yDensity = cinfo.Y_density;
  d->progressive = cinfo.progressive_mode;
  d->jpegColorSpace = cinfo.jpeg_color_space;
  for (int c = 0; c < cinfo.num_components && c < 4; ++c) {
    d->componentIds[c] = cinfo.comp_info[c].component_id;
    d->hSamp[c] = cinfo.comp_info[c].h_samp_factor;
    d->vSamp[c] = cinfo.comp_info[c].v_samp_factor;
    d->quantSlot[c] = cinfo.comp_info[c].quant_tbl_no;
  }
  for (int t = 0; t < 2; ++t)
    if (cinfo.quant_tbl_ptrs[t] != nullptr)
      for (int i = 0; i < 64; ++i) d->quant[t][i] = cinfo.quant_tbl_ptrs[t]->quantval[i];
  if (out != nullptr) {
    if (raw) cinfo.out_color_space = cinfo.jpeg_color_space;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t{cinfo.output_width} * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = out + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool runEncode(const uint8_t *samples, int width, int height, int components, int quality,
               int density, bool noSubsampling, unsigned char **out, unsigned long *size) {
  jpeg_compress_struct cinfo;
  DecodeErr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = decodeExit;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (density > 6) {
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = static_cast<UINT16>(density);
  }
  if (noSubsampling) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples) +
                   size_t{cinfo.next_scanline} * static_cast<size_t>(width) * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> referenceEncode(const std::vector<uint8_t> &samples, int width, int height,
                                     int components, int quality, int density, bool noSubsampling) {
  unsigned char *out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> stream;
  if (runEncode(samples.data(), width, height, components, quality, density, noSubsampling, &out,
                &size))
    stream.assign(out, out + size);
  std::free(out);
  return stream;
}

int32_t Sink::write(PxlContext *, void *user, const uint8_t *bytes, int32_t count,
                    int32_t *written) {
  auto *s = static_cast<Sink *>(user);
  s->calls.push_back(count);
  if (s->status != 0) return s->status;
  const int32_t taken = s->shortCount >= 0 ? s->shortCount : count;
  s->bytes.insert(s->bytes.end(), bytes, bytes + taken);
  *written = taken;
  return 0;
}

Decoded decode(const std::vector<uint8_t> &stream, bool raw) {
  Decoded d;
  if (!run(stream.data(), stream.size(), raw, &d, nullptr)) return d;
  d.pixels.resize(size_t(d.width) * d.height * (raw || d.components != 1 ? d.components : 1));
  d.ok = run(stream.data(), stream.size(), raw, &d, d.pixels.data());
  return d;
}

Pixr *makeImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth, int32_t channels,
                uint8_t (*pixel)(int32_t, int32_t, int32_t)) {
  Pixr *image = nullptr;
  const int32_t res = 300 << 16;
  if (channels == 1)
    pxlCreateImage(ctx, width, height, depth, res, res, 32, &image);
  else
    pxlCreateMultiChannelImage(ctx, width, height, depth, res, res, 32, 3, 1, nullptr, &image);
  if (image == nullptr) return nullptr;
  for (int32_t k = 0; k < channels; ++k) {
    Pixr *ch = nullptr;
    uint8_t *data = nullptr;
    int32_t stride = 0;
    pxlGetImageChannel(ctx, image, k, &ch);
    pxlGetImageData(ctx, ch, &data);
    pxlGetImageBytesPerRow(ctx, ch, &stride);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        uint8_t *row = data + int64_t{y} * stride;
        const uint8_t v = pixel(x, y, k);
        if (depth == 8) {
          row[x ^ 3] = v;
        } else {
          uint8_t &b = row[(x / 2) ^ 3];
          b = x % 2 == 0 ? static_cast<uint8_t>((b & 0x0F) | (v << 4))
                         : static_cast<uint8_t>((b & 0xF0) | (v & 0x0F));
        }
      }
  }
  return image;
}

}  // namespace jpegtest
