// Coding components into image strips: one component into a strip of its box, or a group of
// vertically overlapping components into one strip of their union box.
//
// A strip's mask is the component's runs drawn into a zeroed framed bitmap of the strip's size
// (none when the component fills its box); the colours outside the mask are filled in
// (strip_fill.cpp) and the RGB pixels JPEG-coded (strip_jpeg.cpp) at the document's JPEG
// scale when the strip is wider and taller than a tenth of the page (else at full size), with
// the document's quality, reduced to 0.4 of it for a single picture area. The strip is
// appended to the page's strip list (made on first use).
//
// Every path releases the runs and images of the components handed over (see
// compdoc_strips.h); a failed strip leaves nothing attached to the page. Statuses: 118 null
// arguments, 2 an empty box or a box beyond token coordinates, 10003 runs outside their box or
// an image smaller than its box, 12 "Invalid image compression type", 1 out of memory;
// statuses of the steps pass up.
#include <cmath>
#include <utility>

#include "compdoc_strips.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util_internal.h"

namespace {

constexpr int32_t kFrame = 32;
constexpr int32_t kMaxTokenSide = 32767;

void releaseComponent(QtzState *state, StripComponent *c) {
  if (c == nullptr) return;
  qtz::release(state, c->runs);
  c->runs = nullptr;
  c->runCount = 0;
  if (c->image != nullptr) QtzImage_free(c->image);
  c->image = nullptr;
}

// Releases the components of sources[first .. last] at the end of the scope.
class ComponentsRelease {
 public:
  ComponentsRelease(QtzState *state, StripSource *sources, int32_t first, int32_t last)
      : state_(state), sources_(sources), first_(first), last_(last) {}
  ~ComponentsRelease() {
    for (int32_t i = first_; sources_ != nullptr && i <= last_; ++i)
      releaseComponent(state_, sources_[i].component);
  }
  ComponentsRelease(const ComponentsRelease &) = delete;
  ComponentsRelease &operator=(const ComponentsRelease &) = delete;

 private:
  QtzState *state_;
  StripSource *sources_;
  int32_t first_, last_;
};

class OwnedStrip {
 public:
  explicit OwnedStrip(QtzState *state) : state_(state) {}
  ~OwnedStrip() { imgFreeStrip(state_, strip_); }
  OwnedStrip(const OwnedStrip &) = delete;
  OwnedStrip &operator=(const OwnedStrip &) = delete;
  QtzTdcImageStrip *get() const { return strip_; }
  QtzTdcImageStrip **put() { return &strip_; }
  QtzTdcImageStrip *release() { return std::exchange(strip_, nullptr); }

 private:
  QtzState *state_;
  QtzTdcImageStrip *strip_ = nullptr;
};

class OwnedQtzImage {
 public:
  ~OwnedQtzImage() {
    if (image_ != nullptr) QtzImage_free(image_);
  }
  QtzImage *get() const { return image_; }
  QtzImage **put() { return &image_; }

 private:
  QtzImage *image_ = nullptr;
};

int32_t widthOf(const StripComponent &c) {
  return int32_t{c.right} - c.left + 1;
}
int32_t heightOf(const StripComponent &c) {
  return int32_t{c.bottom} - c.top + 1;
}

// The first width x height pixels of an image, as a record that shares its rows (never freed).
QtzImage boxView(const QtzImage &image, int32_t width, int32_t height) {
  QtzImage view = image;
  view.hdr.width = width;
  view.hdr.height = height;
  return view;
}

// A component fit for coding: runs, an RGB image at least as large as its non-empty box.
int32_t checkComponent(QtzState *state, const StripComponent *c) {
  if (c == nullptr || (c->runs == nullptr && c->runCount > 0)) return qtz::report(state, 118);
  if (widthOf(*c) <= 0 || heightOf(*c) <= 0 || widthOf(*c) > kMaxTokenSide ||
      heightOf(*c) > kMaxTokenSide)
    return qtz::report(state, 2);
  if (c->image == nullptr || c->image->rows == nullptr || c->image->hdr.type != QTZ_IMAGE_RGB ||
      c->image->hdr.width < widthOf(*c) || c->image->hdr.height < heightOf(*c))
    return qtz::report(state, 10003);
  return 0;
}

int32_t newStrip(QtzState *state, int32_t x, int32_t bottom, int32_t width, int32_t height,
                 OwnedStrip *strip) {
  if (const int32_t status = qtz::poolTake<6>(state, strip->put()); status != 0)
    return qtz::report(state, status);
  *strip->get() = QtzTdcImageStrip{static_cast<uint16_t>(x),
                                   static_cast<uint16_t>(bottom),
                                   0,
                                   nullptr,
                                   0,
                                   nullptr,
                                   0,
                                   width,
                                   height};
  return 0;
}

// The component's runs as an unframed token bitmap of its box (bits from the state's hooks).
int32_t componentBitmap(QtzState *state, const StripComponent &c, QtzTokenBitmap *token) {
  *token = QtzTokenBitmap{nullptr,
                          nullptr,
                          0,
                          static_cast<uint16_t>(widthOf(c)),
                          static_cast<uint16_t>(heightOf(c)),
                          static_cast<uint16_t>((widthOf(c) + 31) / 32)};
  const int32_t status =
      RunsToUnframedBitmap(token, c.runs, c.runCount, token->height, token->wordsPerRow, 0, state);
  return status == 10003 ? qtz::report(state, status) : status;
}

// ORs the token into the strip's mask at (dx, dy) of the strip's content.
int32_t addToMask(QtzState *state, QtzTdcImageStrip *strip, const QtzTokenBitmap &token, int32_t dx,
                  int32_t dy) {
  const int32_t status = insertPackedAt(strip->mask, kFrame + int64_t{strip->maskBitOffset} + dx,
                                        kFrame + int64_t{dy}, &token, false);
  return status != 0 ? qtz::report(state, status) : 0;
}

// Fills outside the mask, checks the compression type, codes the pixels and appends the strip.
int32_t finishStrip(const StripPage *page, QtzImage *pixels, int32_t quality, OwnedStrip *owned) {
  QtzState *state = page->state;
  QtzTdcImageStrip *strip = owned->get();
  int32_t status = 0;
  if (strip->mask != nullptr &&
      (status = imgFillOutsideMask(state, pixels, strip->mask, strip->maskBitOffset)) != 0)
    return status;
  if (page->compressionType != 0)
    return qtz::reportText(state, 12, "Invalid image compression type");
  const bool large = strip->width > std::trunc(0.1 * page->pageWidth) &&
                     strip->height > std::trunc(0.1 * page->pageHeight);
  if ((status = imgJpegStrip(state, pixels, page->xResolution, page->yResolution,
                             large ? page->jpegScale : 1.0f, quality, page->compressor,
                             &strip->data, &strip->dataSize)) != 0)
    return status;
  if (*page->strips == nullptr && (status = QtzAdt_liNew(page->strips, state)) != 0) return status;
  if ((status = QtzAdt_liAdd(*page->strips, strip, nullptr)) != 0) return status;
  owned->release();
  return 0;
}

bool pageUsable(const StripPage *page) {
  return page != nullptr && page->state != nullptr && page->compressor != nullptr &&
         page->strips != nullptr;
}

}  // namespace

int32_t imgCodeComponentStrip(const StripPage *page, StripSource *source) {
  if (page == nullptr || page->state == nullptr) return 118;
  QtzState *state = page->state;
  ComponentsRelease done(state, source, 0, 0);
  if (!pageUsable(page) || source == nullptr) return qtz::report(state, 118);
  StripComponent *c = source->component;
  if (const int32_t status = checkComponent(state, c); status != 0) return status;
  const int32_t width = widthOf(*c), height = heightOf(*c);
  OwnedStrip strip(state);
  int32_t status = newStrip(state, c->left, c->bottom, width, height, &strip);
  if (status != 0) return status;
  if (source->rectangle == 0) {
    QtzTokenBitmap token{};
    if ((status = componentBitmap(state, *c, &token)) != 0) return status;
    qtz::OwnedBlock<uint32_t> bits(state, token.bits);
    if ((status = newFramedBitmap(state, width, height, &strip.get()->maskBitOffset,
                                  &strip.get()->mask)) != 0)
      return status;
    if ((status = addToMask(state, strip.get(), token, 0, 0)) != 0) return status;
  }
  QtzImage pixels = boxView(*c->image, width, height);
  const int32_t quality = (c->flags & kStripPicture) != 0
                              ? static_cast<int32_t>(page->jpegQuality * 0.4)
                              : page->jpegQuality;
  return finishStrip(page, &pixels, quality, &strip);
}

int32_t imgCodeMergedStrip(const StripPage *page, StripSource *sources, int32_t first,
                           int32_t last) {
  if (page == nullptr || page->state == nullptr) return 118;
  QtzState *state = page->state;
  if (sources == nullptr || first < 0 || last < first) return qtz::report(state, 118);
  ComponentsRelease done(state, sources, first, last);
  if (!pageUsable(page)) return qtz::report(state, 118);
  int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  for (int32_t i = first; i <= last; ++i) {
    const StripComponent *c = sources[i].component;
    if (const int32_t status = checkComponent(state, c); status != 0) return status;
    left = c->left < left ? c->left : left;
    top = c->top < top ? c->top : top;
    right = c->right > right ? c->right : right;
    bottom = c->bottom > bottom ? c->bottom : bottom;
  }
  const int32_t width = right - left + 1, height = bottom - top + 1;
  if (width > kMaxTokenSide || height > kMaxTokenSide) return qtz::report(state, 2);
  OwnedStrip strip(state);
  int32_t status = newStrip(state, left, bottom, width, height, &strip);
  if (status != 0) return status;
  if ((status = newFramedBitmap(state, width, height, &strip.get()->maskBitOffset,
                                &strip.get()->mask)) != 0)
    return status;
  OwnedQtzImage pixels;
  if ((status = QtzImage_new(state, QTZ_IMAGE_RGB, width, height, pixels.put())) != 0)
    return status;
  for (int32_t i = first; i <= last; ++i) {
    StripComponent *c = sources[i].component;
    QtzTokenBitmap token{};
    if ((status = componentBitmap(state, *c, &token)) != 0) return status;
    qtz::OwnedBlock<uint32_t> bits(state, token.bits);
    const int32_t dx = c->left - left, dy = c->top - top;
    const QtzImage source = boxView(*c->image, widthOf(*c), heightOf(*c));
    const QtzTokenPosition position{0, 0, static_cast<int16_t>(dx), static_cast<int16_t>(dy)};
    if ((status = InsertSampledBox(pixels.get(), &source, &position, &token)) != 0)
      return qtz::report(state, status);
    if ((status = addToMask(state, strip.get(), token, dx, dy)) != 0) return status;
    releaseComponent(state, c);
  }
  return finishStrip(page, pixels.get(), page->jpegQuality, &strip);
}

void imgFreeStrip(QtzState *state, QtzTdcImageStrip *strip) {
  if (strip == nullptr) return;
  freeFramedBitmap(state, &strip->mask);
  qtz::release(state, strip->data);
  qtz::poolGive<6>(state, strip);
}

void imgFreeStrips(QtzState *state, QtzAdtList **strips) {
  if (strips == nullptr || *strips == nullptr) return;
  for (QtzAdtListNode *node = (*strips)->head; node != nullptr; node = node->next)
    imgFreeStrip(state, static_cast<QtzTdcImageStrip *>(node->data));
  QtzAdt_liFree(*strips);
  *strips = nullptr;
}
