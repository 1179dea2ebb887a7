// TifPage::Render: one directory of a plain TIFF read whole through libtiff, shrunk for
// zoomed-out views, cut to the rectangle and copied into the caller's bitmap.
//
// A page of one 1-bit sample (WhiteIsZero or BlackIsZero, in strips) is read row by row as
// packed bits with 1 = black. Every other page is read through libtiff's RGBA reader, which
// widens any sample depth and expands palettes: a page of one grey sample becomes 8-bit grey,
// everything else 24-bit colour. Pages larger than kMaxBandPixels are not read. When shrunk, a
// 1-bit page is first widened to grey (black 0, white 255); grey pages are resampled by the
// image core's bilinear rescale, colour pages by the primitives' linear resize, to the page
// size divided by the scale (truncated, at least 1).
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image_adapter.h"
#include "tfx_band.h"
#include "tif_file.h"
#include "tif_page.h"
#include "word_order.h"

namespace ctl {
namespace {

// Packed rows: 1-bit (bit 7 of byte 0 the leftmost pixel, 1 = black), 8-bit grey or 24-bit
// blue, green, red.
struct Raster {
  int32_t width = 0, height = 0, depth = 0;
  int64_t stride = 0;
  std::vector<uint8_t> pixels;
  uint8_t *row(int32_t y) { return pixels.data() + y * stride; }
  const uint8_t *row(int32_t y) const { return pixels.data() + y * stride; }
  void size(int32_t w, int32_t h, int32_t d) {
    width = w;
    height = h;
    depth = d;
    stride = d == 1 ? (int64_t{w} + 7) / 8 : int64_t{w} * d / 8;
    pixels.assign(static_cast<size_t>(stride * h), 0);
  }
};

bool readBilevel(TIFF *tiff, uint16_t photometric, Raster *out) {
  if (TIFFScanlineSize64(tiff) < static_cast<uint64_t>(out->stride)) return false;
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize64(tiff)));
  for (int32_t y = 0; y < out->height; ++y) {
    if (TIFFReadScanline(tiff, line.data(), static_cast<uint32_t>(y), 0) != 1) return false;
    uint8_t *row = out->row(y);
    std::memcpy(row, line.data(), static_cast<size_t>(out->stride));
    if (photometric == PHOTOMETRIC_MINISBLACK)
      for (int64_t i = 0; i < out->stride; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    if (out->width % 8 != 0)
      row[out->stride - 1] &= static_cast<uint8_t>(0xFF << (8 - out->width % 8));
  }
  return true;
}

bool readRgba(TIFF *tiff, bool grey, Raster *out) {
  std::vector<uint32_t> rgba(static_cast<size_t>(out->width) * out->height);
  if (TIFFReadRGBAImageOriented(tiff, static_cast<uint32_t>(out->width),
                                static_cast<uint32_t>(out->height), rgba.data(),
                                ORIENTATION_TOPLEFT, 0) != 1)
    return false;
  for (int32_t y = 0; y < out->height; ++y) {
    const uint32_t *src = rgba.data() + static_cast<size_t>(y) * out->width;
    uint8_t *row = out->row(y);
    for (int32_t x = 0; x < out->width; ++x) {
      if (grey) {
        row[x] = static_cast<uint8_t>(TIFFGetR(src[x]));
      } else {
        row[3 * x] = static_cast<uint8_t>(TIFFGetB(src[x]));
        row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(src[x]));
        row[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(src[x]));
      }
    }
  }
  return true;
}

bool readDirectory(TIFF *tiff, Raster *out) {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  if (width < 1 || height < 1 || width > kMaxBandSide || height > kMaxBandSide ||
      int64_t{width} * height > kMaxBandPixels)
    return false;
  const bool grey = samples == 1 && (photometric == PHOTOMETRIC_MINISWHITE ||
                                     photometric == PHOTOMETRIC_MINISBLACK);
  if (grey && bits == 1 && !TIFFIsTiled(tiff)) {
    out->size(static_cast<int32_t>(width), static_cast<int32_t>(height), 1);
    return readBilevel(tiff, photometric, out);
  }
  out->size(static_cast<int32_t>(width), static_cast<int32_t>(height), grey ? 8 : 24);
  return readRgba(tiff, grey, out);
}

void widenToGrey(Raster *image) {
  Raster grey;
  grey.size(image->width, image->height, 8);
  for (int32_t y = 0; y < image->height; ++y) {
    const uint8_t *src = image->row(y);
    uint8_t *dst = grey.row(y);
    for (int32_t x = 0; x < image->width; ++x) dst[x] = (src[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
  }
  *image = std::move(grey);
}

// Bilinear resample of a grey or colour raster to width x height.
bool shrink(Raster *image, int32_t width, int32_t height) {
  Raster out;
  out.size(width, height, image->depth);
  DibImgBuf from, to;
  if (image->depth == 8) {
    PixlabImgBuf source(image->width, image->height, 8, &from);
    PixlabImgBuf target(width, height, 8, &to);
    if (!source.valid() || !target.valid()) return false;
    for (int32_t y = 0; y < image->height; ++y) {
      uint8_t *row = source.GetData() + int64_t{y} * source.GetStride();
      for (int32_t x = 0; x < image->width; ++x) row[x ^ 3] = image->row(y)[x];
    }
    if (!source.ResizeInto(&target)) return false;
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t *row = target.GetData() + int64_t{y} * target.GetStride();
      for (int32_t x = 0; x < width; ++x) out.row(y)[x] = coreByte(row, x);
    }
  } else {
    ImpImgBuf source(image->width, image->height, 24, &from);
    ImpImgBuf target(width, height, 24, &to);
    if (!source.valid() || !target.valid()) return false;
    for (int32_t y = 0; y < image->height; ++y)
      std::memcpy(source.GetData() + int64_t{y} * source.GetStride(), image->row(y),
                  static_cast<size_t>(image->stride));
    if (!source.ResizeInto(&target)) return false;
    for (int32_t y = 0; y < height; ++y)
      std::memcpy(out.row(y), target.GetData() + int64_t{y} * target.GetStride(),
                  static_cast<size_t>(out.stride));
  }
  *image = std::move(out);
  return true;
}

// Bits [left, left + width) of a packed row into the start of dst.
void copyBits(const uint8_t *src, int32_t left, int32_t width, uint8_t *dst) {
  const int32_t shift = left % 8;
  const uint8_t *s = src + left / 8;
  const int32_t bytes = (width + 7) / 8;
  const int32_t available = (left + width + 7) / 8 - left / 8;
  for (int32_t i = 0; i < bytes; ++i) {
    const uint32_t hi = s[i];
    const uint32_t lo = i + 1 < available ? s[i + 1] : 0;
    dst[i] = static_cast<uint8_t>(((hi << 8 | lo) << shift) >> 8);
  }
  if (width % 8 != 0) dst[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
}

}  // namespace

bool TifPage::Render(DibImgBuf *buffer, Rect rectangle, double scale, int32_t) {
  if (buffer == nullptr || file_ == nullptr || file_->tiff() == nullptr ||
      file_->state() == nullptr || !(scale > 0))
    return false;
  if (!file_->SelectDirectory(directory_)) return false;
  Raster image;
  if (!readDirectory(file_->tiff(), &image)) return false;
  if (scale > 1) {
    if (image.depth == 1) widenToGrey(&image);
    const int32_t w = std::max<int32_t>(1, static_cast<int32_t>(image.width / scale));
    const int32_t h = std::max<int32_t>(1, static_cast<int32_t>(image.height / scale));
    if (!shrink(&image, w, h)) return false;
  }
  // The rectangle, clamped to the image; one that misses it draws nothing.
  const Rect cut{std::max(rectangle.left, 0), std::max(rectangle.top, 0),
                 std::min(rectangle.right, image.width), std::min(rectangle.bottom, image.height)};
  if (cut.width() == 0 || cut.height() == 0) return false;
  if (!buffer->Create(Extent{cut.width(), cut.height()}, image.depth, 4)) return false;
  const int64_t stride = buffer->GetStride();
  for (int32_t y = 0; y < cut.height(); ++y) {
    const uint8_t *src = image.row(cut.top + y);
    uint8_t *dst = buffer->GetData() + y * stride;
    if (image.depth == 1)
      copyBits(src, cut.left, cut.width(), dst);
    else
      std::memcpy(dst, src + int64_t{cut.left} * image.depth / 8,
                  static_cast<size_t>(cut.width()) * image.depth / 8);
  }
  return true;
}

}  // namespace ctl
