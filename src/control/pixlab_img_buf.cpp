// PixlabImgBuf: an image-core image over a bitmap (or a rectangle of it) in the core's word
// order, with its own core context; bilinear resize into another 8-bit one (a 1-bit source
// first read as white 255 and black 0), the byte swap between core words and bitmap bytes,
// and a TIFF dump.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image_adapter.h"
#include "pxl_context.h"
#include "pxl_depth.h"
#include "pxl_dib.h"
#include "pxl_image.h"
#include "pxl_rescale.h"
#include "pxl_transfer.h"

namespace ctl {
namespace {

PxlContext *newContext() {
  PxlContext *ctx = nullptr;
  if (pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx) != 0)
    return nullptr;
  return ctx;
}

// An image of the core destroyed with its pixels.
struct OwnedCoreImage {
  PxlContext *ctx;
  Pixr *image = nullptr;
  explicit OwnedCoreImage(PxlContext *c) : ctx(c) {}
  ~OwnedCoreImage() {
    if (image != nullptr) pxlDestroyImage(ctx, &image);
  }
  OwnedCoreImage(const OwnedCoreImage &) = delete;
  OwnedCoreImage &operator=(const OwnedCoreImage &) = delete;
};

// Destroys a core image record that lies over memory it does not own.
void releaseOver(PxlContext *ctx, Pixr **image) {
  if (*image == nullptr) return;
  (*image)->pixelBlock = nullptr;
  (*image)->framedData = nullptr;
  pxlDestroyImage(ctx, image);
}

bool prefixOf(const char *kind, const char *word) {
  const size_t n = std::strlen(kind);
  return n != 0 && std::strncmp(kind, word, n) == 0;
}

}  // namespace

PixlabImgBuf::PixlabImgBuf(int32_t width, int32_t height, int32_t depth, DibImgBuf *buffer)
    : ImageAdapter(buffer), context_(newContext()) {
  if (context_ == nullptr || buffer == nullptr) return;
  const int32_t w = std::max(width, 1), h = std::max(height, 1);
  int32_t bytesPerRow = 0;
  int64_t blockSize = 0;
  if (pxlComputeImageLayout(context_, w, h, depth, 0, &bytesPerRow, &blockSize) != 0 ||
      bytesPerRow <= 0)
    return;
  // One row more than the image: the core's kernels may touch the word after a row's end.
  const int64_t rows = blockSize / bytesPerRow + 1;
  if (rows > INT32_MAX ||
      !buffer->Create(Extent{bytesPerRow * 8 / depth, static_cast<int32_t>(rows)}, depth, 4))
    return;
  if (pxlCreateImageHeader(context_, w, h, depth, 100, 100, 0, buffer->GetData(), &image_) != 0) {
    image_ = nullptr;
    return;
  }
  pxlSetImageBytesPerRow(context_, image_, static_cast<int32_t>(buffer->GetStride()));
}

PixlabImgBuf::PixlabImgBuf(Rect r, PixlabImgBuf *parent)
    : ImageAdapter(parent ? parent->buffer() : nullptr), context_(newContext()) {
  if (context_ == nullptr || parent == nullptr || !parent->valid()) return;
  const int32_t depth = parent->GetBitsPerPixel();
  const int32_t pw = parent->GetWidth(), ph = parent->GetHeight();
  if (r.left < 0 || r.top < 0 || r.right > pw || r.bottom > ph || r.width() < 1 || r.height() < 1)
    return;
  // Core rows are whole 32-bit words: a view starts on a word.
  const int64_t leftBits = int64_t{r.left} * depth;
  if (leftBits % 32 != 0) return;
  uint8_t *data = parent->GetData() + int64_t{r.top} * parent->GetStride() + leftBits / 8;
  if (pxlCreateImageHeader(context_, r.width(), r.height(), depth, 100, 100, 0, data, &image_) !=
      0) {
    image_ = nullptr;
    return;
  }
  pxlSetImageBytesPerRow(context_, image_, parent->GetStride());
}

PixlabImgBuf::~PixlabImgBuf() {
  releaseOver(context_, &image_);
  if (context_ != nullptr) pxlDestroyContext(&context_);
}

int32_t PixlabImgBuf::GetWidth() const {
  return image_ ? image_->width : 0;
}

int32_t PixlabImgBuf::GetHeight() const {
  return image_ ? image_->height : 0;
}

int32_t PixlabImgBuf::GetBitsPerPixel() const {
  return image_ ? image_->depth : 0;
}

uint8_t *PixlabImgBuf::GetData() const {
  return image_ ? image_->framedData : nullptr;
}

int32_t PixlabImgBuf::GetStride() const {
  return image_ ? image_->bytesPerRow : 0;
}

int64_t PixlabImgBuf::GetDataSize() const {
  return image_ ? int64_t{image_->bytesPerRow} * image_->height : 0;
}

bool PixlabImgBuf::ResizeInto(ImageAdapter *target) {
  PixlabImgBuf *t = target ? target->asPixlab() : nullptr;
  if (t == nullptr || !valid()) return false;
  if (t->GetWidth() == 0 || t->GetHeight() == 0) return true;
  if (t->GetBitsPerPixel() != 8 || !t->valid()) return false;
  OwnedCoreImage framed(context_), grey(context_), scaled(context_);
  if (pxlCreateFramedCopy(context_, image_, &framed.image) != 0) return false;
  Pixr *source = framed.image;
  if (source->depth == 1) {
    if (pxlCreateImage(context_, source->width, source->height, 8, 100, 100, 32, &grey.image) != 0)
      return false;
    const int32_t fullWidth = source->width + 2 * source->frame;
    const int32_t fullHeight = source->height + 2 * source->frame;
    if (pxlConvertRows1To8(context_, source->framedData, fullWidth, fullHeight, source->bytesPerRow,
                           grey.image->framedData, grey.image->bytesPerRow, 1) != 0)
      return false;
    source = grey.image;
  } else if (source->depth != 8) {
    return false;
  }
  if (pxlRescaleImageBilinear(context_, source, t->GetWidth(), t->GetHeight(), &scaled.image) != 0)
    return false;
  const Pixr *s = scaled.image;
  return pxlCopyFramedRowsOut(context_, s->framedData, s->width + 2 * s->frame,
                              s->height + 2 * s->frame, 8, s->bytesPerRow, t->GetData(),
                              t->GetStride()) == 0;
}

void PixlabImgBuf::SwapBytes() {
  if (valid() && GetData() != nullptr)
    pxlSwapRowBytes(context_, GetData(), GetStride(), GetHeight());
}

bool PixlabImgBuf::Dump(const char *path, const char *kind) {
  if (path == nullptr || kind == nullptr || !valid()) return false;
  const std::string name = prefixOf(kind, "tif") || prefixOf(kind, "tiff")
                               ? std::string(path)
                               : std::string(path) + ".tif";
  TIFF *tif = TIFFOpen(name.c_str(), "w");
  if (tif == nullptr) return true;
  const int32_t w = GetWidth(), h = GetHeight(), depth = GetBitsPerPixel();
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(w));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(h));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               depth == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, depth == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(h));
  // Rows in file order: the core's words turned into bytes, leftmost pixel first.
  std::vector<uint8_t> row(static_cast<size_t>(GetStride()));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(row.data(), GetData() + int64_t{y} * GetStride(), row.size());
    pxlSwapRowBytes(context_, row.data(), GetStride(), 1);
    if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) break;
  }
  TIFFClose(tif);
  return true;
}

}  // namespace ctl
