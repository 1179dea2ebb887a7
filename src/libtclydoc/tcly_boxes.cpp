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
#include "tcly_runs.h"

namespace tcly {
namespace {

constexpr int32_t kFrame = 32;
constexpr int32_t kFirstBoxes = 5000;
constexpr int32_t kLeastSearchedHeight = 501;
constexpr int32_t kEstimateOverhead = 32;

static_assert(qtz::kPoolSize[5] >= 32, "halftone and component records need 32 bytes");

// Dots per inch in 16.16 fixed point; 0 (unknown) for values that do not fit.
int32_t fixedResolution(int32_t dpi) {
  return dpi > 0 && dpi < 32768 ? dpi * 65536 : 0;
}

int32_t bytesOf(int32_t wordsPerRow, int32_t height) {
  return wordsPerRow * height * 4 + kEstimateOverhead;
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

template <typename T>
bool growByHalf(const QtzState *state, T *&items, int32_t &capacity) {
  const int64_t grown = int64_t{capacity} + std::max(capacity / 2, 1);
  if (grown > INT32_MAX / static_cast<int64_t>(sizeof(T))) return false;
  auto *moved = static_cast<T *>(qtz::resize(state, items, static_cast<size_t>(grown) * sizeof(T)));
  if (moved == nullptr) return false;
  items = moved;
  capacity = static_cast<int32_t>(grown);
  return true;
}

// Gathers the components of both stripes.
struct Collector {
  QtzState *state;
  TokTokenizer *tokenizer;
  const TclyPageInput *page;
  const TclyBoxesOptions *options;
  const TclyCompressedSide *compressed;
  int32_t maxWidth;
  int32_t maxHeight;
  int32_t rowOffset;  // 0 in the top stripe, the split row in the bottom one
  QtzAdtList *tokens = nullptr;
  QtzAdtList *generics = nullptr;
  QtzCCBox *boxes = nullptr;
  int32_t boxCount = 0;
  int32_t boxCapacity = 0;
  int32_t tokenCount = 0;
  int32_t dictionaryEstimate = 0;
  int32_t compressedEstimate = 0;

  ~Collector() {
    tclyFreeTokenList(state, tokens);
    tclyFreeTokenList(state, generics);
    qtz::release(state, boxes);
  }
};

// A generic region keeps its runs as (row, first, last) triples, in chain order.
int32_t collectGeneric(Collector &c, TclyToken *token, int32_t x, int32_t y, int32_t runCount,
                       const PxlRunNode *chain) {
  auto *runs = static_cast<uint16_t *>(qtz::allocate(c.state, 6 * static_cast<size_t>(runCount)));
  if (runs == nullptr) return qtz::report(c.state, QTZ_ERR_NO_MEMORY);
  token->runs = runs;
  int32_t i = 0;
  for (const PxlRunNode *run = chain; run != nullptr && i < runCount; run = run->next, ++i) {
    runs[3 * i] = static_cast<uint16_t>(run->row - y);
    runs[3 * i + 1] = static_cast<uint16_t>(run->start - x);
    runs[3 * i + 2] = static_cast<uint16_t>(run->end - x);
  }
  token->runCount = i;
  return QtzAdt_liAdd(c.generics, token, nullptr);
}

// A small token: a box, a position and a lossless class of the compressed document; its runs
// go top row first, left to right, as (first, length) pairs.
int32_t collectSmall(Collector &c, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t runCount, const PxlRunNode *chain) {
  QtzState *state = c.state;
  QtzCCPosBlock *positions = c.compressed->positions;
  if (c.boxCount == c.boxCapacity && !growByHalf(state, c.boxes, c.boxCapacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (positions->count == positions->capacity &&
      !growByHalf(state, positions->items, positions->capacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  qtz::OwnedBlock<uint16_t> runs(
      state, static_cast<uint16_t *>(qtz::allocate(state, 4 * static_cast<size_t>(runCount))));
  if (!runs) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t i = runCount;
  for (const PxlRunNode *run = chain; run != nullptr && i > 0; run = run->next) {
    --i;
    runs.get()[2 * i] = static_cast<uint16_t>(run->start - x);
    runs.get()[2 * i + 1] = static_cast<uint16_t>(run->end - run->start + 1);
  }
  QtzCCBox &box = c.boxes[c.boxCount];
  box = QtzCCBox{0, 0, static_cast<uint16_t>(x - kFrame),
                 static_cast<uint16_t>(y - kFrame + height - 1 + c.rowOffset)};
  positions->items[positions->count] = QtzCCPosition{c.boxCount, c.page->tdcPageCount};
  QtzCCComponent component{runs.get(), runCount, static_cast<uint16_t>(width),
                           static_cast<uint16_t>(height), static_cast<uint32_t>(positions->count)};
  const int32_t classesBefore = c.compressed->tokens->count;
  int32_t status = QtzCC_tokenAddCC(state, c.compressed->classifier, c.compressed->tokens,
                                    &component, &box.token);
  if (component.runs == nullptr) runs.release();
  if (status != QTZ_OK) return status;
  ++positions->count;
  ++c.boxCount;
  if (c.options->memoryLimit > 0 && c.compressed->tokens->count > classesBefore)
    c.compressedEstimate += bytesOf((width + 31) / 32, height);
  return QTZ_OK;
}

// A token: its bitmap drawn from the runs, then the lossy classifier.
int32_t collectToken(Collector &c, TclyToken *token, int32_t x, int32_t y, int32_t runCount,
                     const PxlRunNode *chain) {
  QtzState *state = c.state;
  auto *bits = static_cast<uint32_t *>(qtz::allocateZeroed(
      state, static_cast<size_t>(token->wordsPerRow) * token->height, sizeof(uint32_t)));
  if (bits == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t i = 0;
  for (const PxlRunNode *run = chain; run != nullptr && i < runCount; run = run->next, ++i)
    fillSpan(bits + int64_t{run->row - y} * token->wordsPerRow, run->start - x, run->end - x);
  token->bits = bits;
  token->ownsBits = 1;
  if (int32_t status = QtzAdt_liAdd(c.tokens, token, nullptr); status != QTZ_OK) return status;
  int32_t classesBefore = 0;
  if (int32_t status = tokGetClassCount(c.tokenizer, &classesBefore); status != QTZ_OK)
    return status;
  const TokInputToken input{token->width, token->height, bits, token->wordsPerRow,
                            reinterpret_cast<uintptr_t>(token)};
  // From here on the classifier owns the rows unless it copies them.
  if (c.options->classifierCopiesRows == 0) {
    token->bits = nullptr;
    token->ownsBits = 0;
  }
  if (int32_t status = tokAddToken(c.tokenizer, &input); status != QTZ_OK) return status;
  ++c.tokenCount;
  int32_t classesAfter = 0;
  if (int32_t status = tokGetClassCount(c.tokenizer, &classesAfter); status != QTZ_OK)
    return status;
  if (c.options->memoryLimit > 0 && classesAfter > classesBefore)
    c.dictionaryEstimate += bytesOf(token->wordsPerRow, token->height);
  return QTZ_OK;
}

int32_t collect(PxlContext *, void *user, int32_t x, int32_t y, int32_t width, int32_t height,
                int32_t, int32_t runCount, PxlRunNode *chain) {
  Collector &c = *static_cast<Collector *>(user);
  const int32_t small = c.options->smallTokenSize;
  if (width < small && height < small && width <= c.maxWidth && height <= c.maxHeight)
    return collectSmall(c, x, y, width, height, runCount, chain);
  TclyToken *token = nullptr;
  if (int32_t status = tclyTakeToken(c.state, &token); status != QTZ_OK) return status;
  token->width = static_cast<uint16_t>(width);
  token->height = static_cast<uint16_t>(height);
  token->wordsPerRow = static_cast<uint16_t>((width + 31) / 32);
  token->page = c.page->pageNumber;
  token->x = x - kFrame;
  token->y = y - kFrame + c.rowOffset;
  const bool generic = width > c.maxWidth || height > c.maxHeight;
  const int32_t status = generic ? collectGeneric(c, token, x, y, runCount, chain)
                                 : collectToken(c, token, x, y, runCount, chain);
  // A token that reached its list goes with the list.
  QtzAdtList *list = generic ? c.generics : c.tokens;
  if (status != QTZ_OK && (list->tail == nullptr || list->tail->data != token))
    tclyReleaseToken(c.state, token);
  return status;
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
  int32_t status =
      pxlFindConnectedComponents(ctx, origin, stripe->bytesPerRow, kFrame, kFrame, stripe->width,
                                 rows, limit, limit, 1, &c, collect, &stop);
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
  Collector collector{state,
                      tokenizer,
                      &page,
                      &options,
                      &compressed,
                      options.tenthLimit != 0 ? page.width / 10 : page.width,
                      options.tenthLimit != 0 ? page.height / 10 : page.height,
                      0};
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
  collector.boxCapacity = kFirstBoxes;
  collector.boxes =
      static_cast<QtzCCBox *>(qtz::allocate(state, sizeof(QtzCCBox) * size_t(kFirstBoxes)));
  if (collector.boxes == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (QtzAdt_liNew(&collector.tokens, state) != QTZ_OK ||
      QtzAdt_liNew(&collector.generics, state) != QTZ_OK)
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (split > 0 && (status = findComponents(collector, image.get(), split)) != QTZ_OK)
    return status;
  collector.rowOffset = split;
  if (bottom.get() != nullptr &&
      (status = findComponents(collector, bottom.get(), page.height - split)) != QTZ_OK)
    return status;

  // The box buffer shrunk to the boxes used (a failed shrink keeps it whole), or freed.
  if (collector.boxCount == 0) {
    qtz::release(state, collector.boxes);
    collector.boxes = nullptr;
  } else if (void *shrunk =
                 qtz::resize(state, collector.boxes, sizeof(QtzCCBox) * size_t(collector.boxCount));
             shrunk != nullptr) {
    collector.boxes = static_cast<QtzCCBox *>(shrunk);
  }
  result.boxes = std::exchange(collector.boxes, nullptr);
  result.tokens = std::exchange(collector.tokens, nullptr);
  result.generics = std::exchange(collector.generics, nullptr);
  result.tokenCount = collector.tokenCount;
  result.boxCount = collector.boxCount;
  result.dictionaryEstimate = collector.dictionaryEstimate;
  result.compressedEstimate = collector.compressedEstimate;
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
