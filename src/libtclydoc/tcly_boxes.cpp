// Page to token boxes (see tcly_boxes_internal.h). The page is copied into a core image, its
// skew measured when deskewing, its split row searched on the 8-fold reduced page, and it is
// cut into two stripes. Each stripe's halftone areas are found, cleared from the stripe and
// kept (as grey images or bilevel copies) with their regions; then the image core's component
// finder walks each stripe and the collector below sorts every component into a generic
// region, a small token or a token.
//
// The finder's run chain of a component goes from its bottom row up, right to left, with
// inclusive buffer columns; each run carries its buffer row.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <utility>

#include "pxl_components.h"
#include "pxl_owners_internal.h"
#include "pxl_reduce.h"
#include "pxl_transfer.h"
#include "qtz_halftone.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_boxes_internal.h"
#include "tcly_collect.h"

namespace tcly {
namespace {

constexpr int32_t kLeastSearchedHeight = 501;

static_assert(qtz::kPoolSize[5] >= 32, "halftone and component records need 32 bytes");

// Dots per inch in 16.16 fixed point; 0 (unknown) for values that do not fit.
int32_t fixedResolution(int32_t dpi) {
  return dpi > 0 && dpi < 32768 ? dpi * 65536 : 0;
}

// Set pixels of content row y of a framed 1-bit image, a word at a time.
int64_t rowCount(const Pixr *image, const uint8_t *content, int32_t y) {
  const int32_t words = (image->width + 31) / 32;
  const uint8_t *row = content + int64_t{y} * image->bytesPerRow;
  int64_t count = 0;
  for (int32_t i = 0; i < words; ++i) {
    uint32_t word;
    std::memcpy(&word, row + 4 * i, 4);
    if (i == words - 1 && image->width % 32 != 0) word &= ~(0xFFFFFFFFu >> (image->width % 32));
    count += std::popcount(word);
  }
  return count;
}

// Content rows from one framed block to another of the same stride, the tail of each row's
// last word cleared.
void copyContentRows(const uint8_t *from, uint8_t *to, int32_t width, int32_t height,
                     int32_t bytesPerRow) {
  const int32_t words = (width + 31) / 32;
  const uint32_t tail = width % 32 == 0 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> (width % 32));
  for (int32_t y = 0; y < height; ++y) {
    const int64_t at = int64_t{y} * bytesPerRow;
    std::memcpy(to + at, from + at, 4 * static_cast<size_t>(words));
    uint32_t last;
    std::memcpy(&last, to + at + 4 * (words - 1), 4);
    last &= tail;
    std::memcpy(to + at + 4 * (words - 1), &last, 4);
  }
}

// Runs the finder over a stripe (content rows 0 .. rows - 1 of a framed image).
int32_t findComponents(Collector &c, Pixr *stripe, int32_t rows) {
  PxlContext *ctx = c.state->ipwContext;
  uint8_t *content = nullptr;
  if (int32_t status = pxlGetImageData(ctx, stripe, &content); status != QTZ_OK) return status;
  // Buffer coordinates with content (0, 0) at (32, 32), as the collector expects.
  const uint8_t *origin = content - int64_t{kFrame} * stripe->bytesPerRow - kFrame / 8;
  int32_t stop = 0;
  const int32_t limit = c.options->componentSizeLimit;
  PxlComponentFn callback = c.options->componentCallback;
  void *user = c.options->componentUser;
  if (callback == nullptr) callback = collectComponent, user = &c;
  int32_t status =
      pxlFindConnectedComponents(ctx, origin, stripe->bytesPerRow, kFrame, kFrame, stripe->width,
                                 rows, limit, limit, 1, user, callback, &stop);
  return status != QTZ_OK && stop != 0 ? stop : status;
}

// Appends src to *dst (taking it over when *dst is null); src is gone afterwards.
int32_t appendList(QtzAdtList **dst, QtzAdtList *src) {
  if (src == nullptr) return QTZ_OK;
  if (*dst == nullptr) {
    *dst = src;
    return QTZ_OK;
  }
  return QtzAdt_liApp(*dst, src);
}

void freeRegions(QtzState *state, QtzAdtList *regions) {
  if (regions == nullptr) return;
  for (QtzAdtListNode *n = regions->head; n != nullptr; n = n->next) qtz::release(state, n->data);
  QtzAdt_liFree(regions);
}

void freeImages(QtzState *state, QtzAdtList *images) {
  if (images == nullptr) return;
  for (QtzAdtListNode *n = images->head; n != nullptr; n = n->next) {
    auto *image = static_cast<Pixr *>(n->data);
    pxlDestroyImage(state->ipwContext, &image);
  }
  QtzAdt_liFree(images);
}

// Finds the stripe's halftone areas, clears them from the stripe and appends their images and
// regions (key = stripe number, moved down by rowOffset, clipped to the page above clipRows)
// to the outputs.
int32_t cutHalftones(QtzState *state, Pixr *stripe, int32_t key, int32_t rowOffset,
                     int32_t pageWidth, int32_t clipRows, const TclyBoxesOptions &options,
                     TclyPageBoxes *out) {
  PxlContext *ctx = state->ipwContext;
  Pixr *maskImage = nullptr;
  QtzAdtList *found = nullptr;
  int32_t cell = 0;
  int32_t status = GetAllHalftoneInfo(state, stripe, &maskImage, &found, &cell);
  pxl::OwnedImage mask(ctx, maskImage);
  if (status != QTZ_OK) {
    freeRegions(state, found);
    return status;
  }
  if (found == nullptr || found->count == 0) {
    freeRegions(state, found);
    return QTZ_OK;
  }
  struct Regions {
    QtzState *state;
    QtzAdtList *list;
    ~Regions() { freeRegions(state, list); }
  } regions{state, found};
  pxl::OwnedImage kept(ctx);
  status = pxlCopyToFramedImage(ctx, stripe, kept.put());
  if (status == QTZ_OK)
    status = pxlRasterOp(ctx, 0, 0, mask.get(), PXL_ROP_D_AND_NOT_S, 0, 0, stripe->width,
                         stripe->height, stripe);
  if (status == QTZ_OK)
    status = pxlRasterOp(ctx, 0, 0, mask.get(), PXL_ROP_AND, 0, 0, stripe->width, stripe->height,
                         kept.get());
  if (status != QTZ_OK) return status;
  if (options.jbig2Halftones != 0) {
    QtzAdtList *greys = nullptr;
    status = compressHalftoneToGray(state, kept.get(), regions.list, cell, &greys);
    if (status == QTZ_OK) status = appendList(&out->halftoneImages, greys);
  } else {
    status = makeListofHalftoneRegions(state, kept.get(), regions.list, &out->halftoneImages);
  }
  if (status != QTZ_OK) return status;
  for (QtzAdtListNode *n = regions.list->head; n != nullptr; n = n->next) {
    auto *region = static_cast<QtzHalftoneRegion *>(n->data);
    region->key = key;
    region->y += rowOffset;
    region->width = std::min(region->width, pageWidth - region->x);
    region->height = std::min(region->height, clipRows - region->y);
  }
  status = appendList(&out->halftoneRegions, regions.list);
  if (status == QTZ_OK) regions.list = nullptr;
  return status;
}

}  // namespace
}  // namespace tcly

int32_t findSplitRow(QtzState *state, Pixr *page, int32_t *splitRow) {
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage reduced(ctx);
  int32_t status = pxlReduceRankCascade(ctx, page, 1, 1, 1, 0, reduced.put());
  uint8_t *content = nullptr;
  if (status == QTZ_OK) status = pxlGetImageData(ctx, reduced.get(), &content);
  if (status != QTZ_OK) return status;
  const int32_t n = reduced->height;
  qtz::OwnedBlock<int64_t> counts(
      state, static_cast<int64_t *>(qtz::allocate(state, sizeof(int64_t) * (size_t(n) + 1))));
  if (!counts) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t y = 0; y < n; ++y) counts.get()[y] = tcly::rowCount(reduced.get(), content, y);
  // From the middle outwards, a row up and a row down at each step.
  const int64_t *count = counts.get();
  int32_t chosen = n / 2;
  int64_t best = count[chosen];
  for (int32_t up = n / 2, down = n - n / 2 - 1; up > n / 10; --up, ++down) {
    if (count[down] < best && count[down] < count[up]) {
      chosen = down;
      best = count[down];
    } else if (count[up] < best) {
      chosen = up;
      best = count[up];
    }
  }
  // The emptiest of the eight page rows that the chosen reduced row stands for.
  if (status = pxlGetImageData(ctx, page, &content); status != QTZ_OK) return status;
  const int32_t first = 8 * chosen;
  int32_t row = first;
  int64_t least = INT64_MAX;
  for (int32_t y = first; y < std::min(first + 8, page->height); ++y) {
    const int64_t c = tcly::rowCount(page, content, y);
    if (c < least) {
      least = c;
      row = y;
    }
  }
  *splitRow = row;
  return QTZ_OK;
}

int32_t getBoxesLossy(QtzState *state, TokTokenizer *tokenizer, const TclyPageInput &page,
                      const TclyBoxesOptions &options, const TclyCompressedSide &compressed,
                      TclyDeskewContext *deskew, TclyPageBoxes *out) {
  using namespace tcly;
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (out == nullptr || tokenizer == nullptr || page.framedPixels == nullptr ||
      compressed.classifier == nullptr || compressed.positions == nullptr ||
      compressed.tokens == nullptr)
    return QTZ_ERR_ASSERT;
  *out = TclyPageBoxes{};
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NULL);

  // The page as a core image of its own: the caller's content rows (found where the core's
  // layout puts them in the caller's block) with the bits past the width cleared.
  pxl::OwnedImage image(ctx);
  const int32_t xres = fixedResolution(page.xdpi), yres = fixedResolution(page.ydpi);
  int32_t status = pxlCreateImage(ctx, page.width, page.height, 1, xres, yres, kFrame, image.put());
  if (status != QTZ_OK) return status;
  if (image->bytesPerRow != page.bytesPerRow) return qtz::report(state, QTZ_ERR_ASSERT);
  int64_t offset = 0;
  uint8_t *content = nullptr;
  status = pxlComputeContentOffset(ctx, page.framedPixels, page.bytesPerRow, 1, kFrame, &offset);
  if (status == QTZ_OK) status = pxlGetImageData(ctx, image.get(), &content);
  if (status != QTZ_OK) return status;
  copyContentRows(page.framedPixels + offset, content, page.width, page.height, page.bytesPerRow);

  TclyPageBoxes result{};
  struct Outputs {
    QtzState *state;
    TclyPageBoxes *boxes;
    ~Outputs() { tclyFreePageBoxes(state, boxes); }
  } pending{state, &result};

  if (deskew != nullptr) {
    status = measurePageSkew(deskew, image.get(), &result.skewAngle);
    if (status != QTZ_OK) return status;
  }
  Collector collector(state, tokenizer, page, options, compressed);
  int32_t split = 1;
  if (page.height >= kLeastSearchedHeight && deskew == nullptr) {
    status = findSplitRow(state, image.get(), &split);
    if (status != QTZ_OK) return status;
  }
  split = std::clamp(split, 0, page.height);

  // Two stripes: the bottom one copied out, the page cropped to the top one.
  pxl::OwnedImage bottom(ctx);
  if (page.height > split) {
    status =
        pxlCreateImage(ctx, page.width, page.height - split, 1, xres, yres, kFrame, bottom.put());
    if (status == QTZ_OK)
      status = pxlRasterOp(ctx, 0, split, image.get(), PXL_ROP_COPY, 0, 0, page.width,
                           page.height - split, bottom.get());
    if (status != QTZ_OK) return status;
  }
  if (split > 0) {
    if (status = pxlCropImage(ctx, 0, 0, page.width, split, image.get()); status != QTZ_OK)
      return status;
    status = cutHalftones(state, image.get(), 1, 0, page.width, split, options, &result);
    if (status != QTZ_OK) return status;
  }
  if (bottom.get() != nullptr) {
    status = cutHalftones(state, bottom.get(), 2, split, page.width, page.height, options, &result);
    if (status != QTZ_OK) return status;
  }

  // Components of both stripes.
  if (status = startCollector(collector); status != QTZ_OK) return status;
  if (split > 0 && (status = findComponents(collector, image.get(), split)) != QTZ_OK)
    return status;
  collector.rowOffset = split;
  if (bottom.get() != nullptr &&
      (status = findComponents(collector, bottom.get(), page.height - split)) != QTZ_OK)
    return status;
  finishCollector(collector, &result);
  result.splitRow = split;
  *out = result;
  result = TclyPageBoxes{};
  return QTZ_OK;
}

void tclyFreePageBoxes(QtzState *state, TclyPageBoxes *boxes) {
  if (boxes == nullptr) return;
  tclyFreeTokenList(state, boxes->tokens);
  tclyFreeTokenList(state, boxes->generics);
  qtz::release(state, boxes->boxes);
  tcly::freeImages(state, boxes->halftoneImages);
  tcly::freeRegions(state, boxes->halftoneRegions);
  *boxes = TclyPageBoxes{};
}
