// TfxJBig2Band: a JBIG2 mask band decoded by a page decoder of its own over the document's
// shared global segments.
//
// Each render feeds the global blocks the band refers to into the store's shared decoder (it
// skips segments it has seen), makes a page decoder that borrows them, and decodes the band's
// data. Composing renders get the page through the page hooks below: a framed 1-bit image of
// the image core (in the store state's core context) whose content rows are wrapped as the
// decoder's page; the decoder's page-free call only unwraps, so the last page survives the
// decoder, and every page a decode made is destroyed when the render ends. The hooks refuse
// pages larger than kMaxBandPixels or than four times the band's area, and the decoder may
// produce at most bandPixelLimit pixels (regions, symbols, instances). A failure while
// decoding globals leaves the shared decoder unusable: the store then makes a fresh one, and
// the band fails.
#include <algorithm>
#include <vector>

#include "jbig2_decoder.h"
#include "jbig2_store.h"
#include "pxl_image.h"
#include "qtz_internal.h"
#include "tfx_band.h"

namespace ctl {
namespace {

// The page images the hooks made for the decode under way, destroyed with the record.
struct PageImages {
  PxlContext *ctx = nullptr;
  int64_t maxPixels = 0;
  std::vector<Pixr *> images;
  ~PageImages() {
    for (Pixr *image : images) pxlDestroyImage(ctx, &image);
  }
};

// The system is single-threaded; a band's decode does not nest another.
thread_local PageImages *tPages = nullptr;

class PagesScope {
 public:
  explicit PagesScope(PageImages *pages) : previous_(tPages) { tPages = pages; }
  ~PagesScope() { tPages = previous_; }
  PagesScope(const PagesScope &) = delete;
  PagesScope &operator=(const PagesScope &) = delete;

 private:
  PageImages *previous_;
};

constexpr int32_t kNullArgument = 118;
constexpr int32_t kNoPage = 1;
constexpr int32_t kHighestPage = 6500;
constexpr size_t kMaxTokens = size_t{1} << 22;
constexpr int64_t kSmallBandAllowance = int64_t{1} << 16;

// Pixels a band's page decoder may produce: four times the band (its regions and the
// instances drawn on it) and an allowance that grows with the band up to the store's, so that
// a page of many small bands cannot spend the whole allowance once per band.
int64_t bandPixelLimit(const BandBox &box) {
  const int64_t area = int64_t{box.width} * box.height;
  return 4 * area + std::min(Jbig2GlobalStore::kPixelAllowance, area + kSmallBandAllowance);
}

int32_t allocPageImage(QtzState *state, int32_t width, int32_t height, QtzImage **image,
                       void **cookie) {
  if (state == nullptr || image == nullptr || cookie == nullptr)
    return qtz::report(state, kNullArgument);
  *image = nullptr;
  PageImages *pages = tPages;
  if (pages == nullptr || width < 1 || height < 1 || int64_t{width} * height > pages->maxPixels)
    return kNoPage;
  Pixr *core = nullptr;
  if (pxlCreateImage(pages->ctx, width, height, 1, 100, 100, 32, &core) != 0) return kNoPage;
  pages->images.push_back(core);
  uint8_t *content = core->framedData + int64_t{32} * core->bytesPerRow + 4;
  if (QtzImage_wrapAll(state, content, QTZ_IMAGE_PACKED, width, height, core->bytesPerRow, image) !=
      0) {
    *image = nullptr;
    return kNoPage;
  }
  *cookie = core;
  return 0;
}

int32_t freePageImage(QtzState *state, QtzImage **image) {
  if (image == nullptr) return qtz::report(state, kNullArgument);
  if (*image != nullptr) {
    void *pixels = nullptr;
    QtzImage_unwrapAll(*image, &pixels);
    *image = nullptr;
  }
  return 0;
}

}  // namespace

bool TfxJBig2Band::decode(uint8_t keepAll, uint8_t composePage, Jbig2Decoder **out, void **cookie) {
  if (store_ == nullptr || store_->decoder() == nullptr || store_->state() == nullptr) return false;
  if (refs_.indices.size() != refs_.sizes.size()) return false;
  for (size_t i = 0; i < refs_.indices.size(); ++i) {
    const Block *block = store_->Get(refs_.indices[i]);
    if (block == nullptr) return false;
    // A reference counts the block's stored bytes, which may run past its data.
    const size_t size = std::min<size_t>(refs_.sizes[i], block->size());
    if (QtzJbig2_decodeGlobals(store_->decoder(), block->data(), size) != 0) {
      store_->Reset();
      return false;
    }
  }
  Jbig2Decoder *d = nullptr;
  if (QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, kHighestPage, keepAll, composePage,
                          allocPageImage, freePageImage, store_->state()) != 0)
    return false;
  d->pixelLimit = bandPixelLimit(box_);
  if (QtzJbig2_attachGlobals(d, store_->decoder()) != 0 ||
      QtzJbig2_decodePage(d, data_.data(), data_.size(), cookie) != 0) {
    QtzJbig2_freeDecoder(&d);
    return false;
  }
  *out = d;
  return true;
}

bool TfxJBig2Band::Render(ImageAdapter *target, Rect rectangle, Extent reduction) {
  if (!partOk(rectangle, reduction) || !clearTarget(target)) return false;
  if (store_ == nullptr || store_->state() == nullptr) return false;
  PageImages pages;
  pages.ctx = store_->state()->ipwContext;
  pages.maxPixels = std::min(kMaxBandPixels, 4 * int64_t{box_.width} * box_.height);
  PagesScope scope(&pages);
  Jbig2Decoder *decoder = nullptr;
  void *cookie = nullptr;
  if (!decode(0, 1, &decoder, &cookie)) return false;
  QtzJbig2_freeDecoder(&decoder);  // the page image survives through the cookie
  auto *image = static_cast<Pixr *>(cookie);
  if (image == nullptr) return false;
  return finish(pages.ctx, image, target, rectangle, reduction);
}

QtzState *TfxJBig2Band::state() const {
  return store_ != nullptr ? store_->state() : nullptr;
}

bool TfxJBig2Band::DecodeTokens(Jbig2TokenSet *set) {
  PageImages pages;  // no page is composed; the hooks stay ready all the same
  pages.ctx =
      store_ != nullptr && store_->state() != nullptr ? store_->state()->ipwContext : nullptr;
  PagesScope scope(&pages);
  if (!decode(1, 0, &set->decoder, nullptr)) return false;
  for (QtzAdtListNode *n = set->decoder->active->head; n != nullptr; n = n->next) {
    const auto *segment = static_cast<const Jbig2Segment *>(n->data);
    if (segment == nullptr || !isTextType(segment->type)) continue;
    const Jbig2TextData &text = segment->u.text;
    if (text.count < 0 || set->tokens.size() + static_cast<size_t>(text.count) > kMaxTokens)
      return false;
    for (int32_t i = 0; i < text.count; ++i) {
      const Jbig2SymbolInstance &in = text.instances[i];
      Jbig2Token token{};
      if (in.refined != nullptr) {
        token = {0,
                 0,
                 in.refined->width,
                 in.refined->height,
                 in.refined->wordsPerRow,
                 in.refined->bitmap};
      } else if (in.symbol != nullptr) {
        token = {
            0, 0, in.symbol->width, in.symbol->height, in.symbol->wordsPerRow, in.symbol->bitmap};
      }
      const int64_t x = int64_t{segment->region.x} + in.x;
      const int64_t y = int64_t{segment->region.y} + in.y;
      // A token placed beyond any band keeps its place in the order but draws nothing.
      if (x < -kMaxBandSide || y < -kMaxBandSide || x > kMaxBandSide || y > kMaxBandSide ||
          token.bits == nullptr)
        token = {0, 0, 0, 0, 0, nullptr};
      token.x = static_cast<int32_t>(std::clamp<int64_t>(x, -kMaxBandSide, kMaxBandSide));
      token.y = static_cast<int32_t>(std::clamp<int64_t>(y, -kMaxBandSide, kMaxBandSide));
      set->tokens.push_back(token);
    }
  }
  return true;
}

}  // namespace ctl
