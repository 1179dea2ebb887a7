// ImpImgBuf: an image-primitives header over a bitmap (or a rectangle of it) and the
// operations carried out by the primitives: zoom, resize, copy through a 1-bit mask, PLUS
// composite with an 8-bit alpha, a PNM dump, and conversion to 1-bit ink (Floyd-Steinberg
// dithering of the grey, with grey 254 and 255 always white). An operation the primitives
// refuse (their error status) answers false, never a drawing left half done as a success.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "image_adapter.h"
#include "imp_image.h"
#include "imp_ops.h"

namespace ctl {
namespace {

// A header of the primitives over memory it does not own, released header-only.
ImpImageHeader *headerOver(int32_t bpp, int32_t width, int32_t height, uint8_t *data,
                           int32_t stride) {
  ImpImageHeader *h =
      bpp == 24 ? impCreateImageHeader(3, 0, IMP_DEPTH_8U, "RGB", "BGR", IMP_DATA_ORDER_PIXEL, 0, 8,
                                       width, height, nullptr, nullptr, nullptr, nullptr)
                : impCreateImageHeader(1, 0, bpp == 8 ? IMP_DEPTH_8U : IMP_DEPTH_1U, "Gray", "Gray",
                                       IMP_DATA_ORDER_PIXEL, 0, 8, width, height, nullptr, nullptr,
                                       nullptr, nullptr);
  if (h == nullptr) return nullptr;
  h->imageData = h->dataOrigin = data;
  h->widthStep = stride;
  h->dataSize = static_cast<int32_t>(std::min<int64_t>(int64_t{stride} * height, INT32_MAX));
  return h;
}

// The outcome of the primitive just called on this thread: a refused call leaves a negative
// status (its destination untouched), which the drawing must report as a failure.
bool primitiveOk() {
  return ownGetErrorStatus() >= 0;
}

void releaseHeaderOnly(ImpImageHeader *h) {
  if (h == nullptr) return;
  h->imageData = h->dataOrigin = nullptr;
  h->widthStep = 0;
  h->dataSize = 0;
  ownReleaseImage(h, IMP_RELEASE_HEADER);
}

struct HeaderOnly {
  ImpImageHeader *h;
  explicit HeaderOnly(ImpImageHeader *header) : h(header) {}
  ~HeaderOnly() { releaseHeaderOnly(h); }
  HeaderOnly(const HeaderOnly &) = delete;
  HeaderOnly &operator=(const HeaderOnly &) = delete;
};

// Whether kind is a non-empty prefix of word.
bool prefixOf(const char *kind, const char *word) {
  const size_t n = std::strlen(kind);
  return n != 0 && std::strncmp(kind, word, n) == 0;
}

Extent regionSize(const ImpImageHeader *h) {
  return h->roi != nullptr ? Extent{h->roi->width, h->roi->height} : Extent{h->width, h->height};
}

}  // namespace

ImpImgBuf::ImpImgBuf(int32_t width, int32_t height, int32_t bpp, DibImgBuf *buffer)
    : ImageAdapter(buffer) {
  const int32_t w = std::max(width, 1), h = std::max(height, 1);
  const int32_t depth = bpp == 24 || bpp == 8 ? bpp : 1;
  if (buffer == nullptr || !buffer->Create(Extent{w, h}, depth, 8)) return;
  header_ = headerOver(depth, w, h, buffer->GetData(), static_cast<int32_t>(buffer->GetStride()));
  if (header_ != nullptr) header_->dataSize = static_cast<int32_t>(buffer->length());
}

ImpImgBuf::ImpImgBuf(Rect r, ImpImgBuf *parent)
    : ImageAdapter(parent ? parent->buffer() : nullptr) {
  if (parent == nullptr || !parent->valid()) return;
  const int32_t bpp = parent->GetBitsPerPixel();
  const int32_t pw = parent->GetWidth(), ph = parent->GetHeight();
  // The rectangle is held inside the parent; an empty side counts as 1.
  const int32_t left = std::clamp(r.left, 0, pw - 1), top = std::clamp(r.top, 0, ph - 1);
  const int32_t width = std::clamp(r.right - r.left, 1, pw - left);
  const int32_t height = std::clamp(r.bottom - r.top, 1, ph - top);
  // A 1-bit view starts at the byte that holds its left pixel.
  const int64_t offset = int64_t{top} * parent->GetStride() + (bpp == 24  ? 3 * int64_t{left}
                                                               : bpp == 8 ? left
                                                                          : left / 8);
  header_ = headerOver(bpp, width, height, parent->GetData() + offset, parent->GetStride());
}

ImpImgBuf::~ImpImgBuf() {
  releaseHeaderOnly(header_);
}

int32_t ImpImgBuf::GetWidth() const {
  return header_ ? header_->width : 0;
}

int32_t ImpImgBuf::GetHeight() const {
  return header_ ? header_->height : 0;
}

int32_t ImpImgBuf::GetBitsPerPixel() const {
  if (header_ == nullptr) return 0;
  if (header_->nChannels == 3 && header_->depth == IMP_DEPTH_8U) return 24;
  if (header_->nChannels == 1 && header_->depth == IMP_DEPTH_1U) return 1;
  if (header_->nChannels == 1 && header_->depth == IMP_DEPTH_8U) return 8;
  return 0;
}

uint8_t *ImpImgBuf::GetData() const {
  return header_ ? header_->imageData : nullptr;
}

int32_t ImpImgBuf::GetStride() const {
  return header_ ? header_->widthStep : 0;
}

int64_t ImpImgBuf::GetDataSize() const {
  return header_ ? header_->dataSize : 0;
}

bool ImpImgBuf::ZoomInto(Extent factors, ImageAdapter *target) {
  ImpImgBuf *t = target ? target->asImp() : nullptr;
  if (t == nullptr || !valid() || !t->valid()) return false;
  impZoom(header_, t->header_, factors.width, 1, factors.height, 1, IMP_INTER_NN);
  return primitiveOk();
}

bool ImpImgBuf::ResizeInto(ImageAdapter *target) {
  ImpImgBuf *t = target ? target->asImp() : nullptr;
  if (t == nullptr || !valid() || !t->valid()) return false;
  const Extent from = regionSize(header_), to = regionSize(t->header_);
  impResize(header_, t->header_, to.width, from.width, to.height, from.height, IMP_INTER_LINEAR);
  return primitiveOk();
}

bool ImpImgBuf::CopyMasked(ImageAdapter *mask, ImageAdapter *source) {
  PixlabImgBuf *m = mask ? mask->asPixlab() : nullptr;
  ImpImgBuf *s = source ? source->asImp() : nullptr;
  if (m == nullptr || s == nullptr || !valid() || !s->valid()) return false;
  m->SwapBytes();  // into bitmap byte order; it stays so
  HeaderOnly view(headerOver(1, m->GetWidth(), m->GetHeight(), m->GetData(), m->GetStride()));
  if (view.h == nullptr) return false;
  header_->maskROI = view.h;
  impCopy(s->header_, header_);
  header_->maskROI = nullptr;
  return primitiveOk();
}

bool ImpImgBuf::BlendMasked(ImageAdapter *alpha, ImageAdapter *source) {
  PixlabImgBuf *a = alpha ? alpha->asPixlab() : nullptr;
  ImpImgBuf *s = source ? source->asImp() : nullptr;
  if (a == nullptr || s == nullptr || !valid() || !s->valid()) return false;
  a->SwapBytes();  // into bitmap byte order; it stays so
  HeaderOnly view(headerOver(8, a->GetWidth(), a->GetHeight(), a->GetData(), a->GetStride()));
  if (view.h == nullptr) return false;
  impAlphaComposite(header_, s->header_, header_, 5, view.h, nullptr, nullptr, 0, 0);
  return primitiveOk();
}

bool ImpImgBuf::Dump(const char *path, const char *kind) {
  if (path == nullptr || kind == nullptr || !valid()) return false;
  const std::string name = prefixOf(kind, "pnm") ? std::string(path) : std::string(path) + ".pnm";
  FILE *f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return true;
  // Rows as stored: P6 for colour (blue, green, red), P5 for grey, P4 for 1 bit (set = black).
  const int32_t bpp = GetBitsPerPixel();
  const int32_t w = GetWidth(), h = GetHeight();
  const int64_t rowBytes = bpp == 24 ? 3 * int64_t{w} : bpp == 8 ? w : (int64_t{w} + 7) / 8;
  std::fprintf(f, bpp == 24 ? "P6\n" : bpp == 8 ? "P5\n" : "P4\n");
  std::fprintf(f, "%d %d\n", w, h);
  if (bpp != 1) std::fprintf(f, "255\n");
  for (int32_t y = 0; y < h; ++y)
    std::fwrite(GetData() + int64_t{y} * GetStride(), 1, static_cast<size_t>(rowBytes), f);
  std::fclose(f);
  return true;
}

void ImpImgBuf::ConvertToBinary(DibImgBuf *target) {
  const int32_t bpp = GetBitsPerPixel();
  if (target == nullptr || !valid() || bpp == 1 || bpp == 0) return;
  const int32_t w = GetWidth(), h = GetHeight();
  ImpImgBuf dithered(w, h, 1, target);
  DibImgBuf whiteBuffer, greyBuffer;
  ImpImgBuf white(w, h, 1, &whiteBuffer);
  ImpImgBuf *grey = this;
  ImpImgBuf greyOfColour(w, h, 8, bpp == 24 ? &greyBuffer : nullptr);
  if (bpp == 24) {
    if (!greyOfColour.valid()) return;
    impColorToGray(header_, greyOfColour.header_);
    grey = &greyOfColour;
  }
  if (!dithered.valid() || !white.valid()) return;
  impReduceBits(grey->header_, dithered.header_, 0, IMP_DITHER_FS, 2);
  impThreshold(grey->header_, white.header_, 254);
  impOr(dithered.header_, white.header_, dithered.header_);
  ownBitwiseNot(dithered.header_, dithered.header_);
}

}  // namespace ctl

namespace ctl {

bool drawingToBinary(const DibImgBuf &drawing, Extent size, DibImgBuf *target) {
  const int32_t bpp = drawing.GetBitsPerPixel();
  if (target == nullptr || size.width < 1 || size.height < 1 || drawing.GetWidth() < size.width ||
      drawing.GetHeight() < size.height || drawing.GetStride() == 0)
    return false;
  if (bpp == 1) return target->CopyFrom(drawing);
  if (bpp != 8 && bpp != 24) return false;
  DibImgBuf copyBuffer;
  ImpImgBuf copy(size.width, size.height, bpp, &copyBuffer);
  if (!copy.valid()) return false;
  const size_t rowBytes = static_cast<size_t>(size.width) * (bpp / 8);
  for (int32_t y = 0; y < size.height; ++y)
    std::memcpy(copy.GetData() + int64_t{y} * copy.GetStride(),
                drawing.GetData() + int64_t{y} * drawing.GetStride(), rowBytes);
  DibImgBuf binary;
  copy.ConvertToBinary(&binary);
  if (binary.GetBitsPerPixel() != 1 || binary.GetWidth() < size.width ||
      binary.GetHeight() < size.height)
    return false;
  return target->CopyFrom(binary);
}

}  // namespace ctl
