// Finding the halftone areas of a bilevel page (GetAllHalftoneInfo): screened pictures, their
// screen's cell size, and one region per area.
//
// Everything but the screen-period count works on reduced images with the image core's rank
// reductions, openings, fills and expansions; the period count runs over the page's 32-bit
// words. With r the larger page resolution in whole dots per inch (300 when 0), the class of r
// gives the base cell A (16, 8, 4 at >= 300, >= 200, below), the largest shift B (16, 12, 12),
// the size limits C x D (99 x 15, 66 x 10, 33 x 5) and the line element E (8, 4, 1):
//  1. A page whose 16-fold reduction, opened by the 5 x 1 and 1 x 5 bricks, is one component
//     spanning it and more than a third full is dark: the work image is its inverse.
//  2. Candidate areas: the work image reduced by A (rank levels ending in two 4s), opened the
//     same way and expanded back; the work image is kept only inside them.
//  3. Screen period: for shifts 4, 6, .. B the masked image is XORed with itself shifted right
//     (first columns set); the shift with most bytes that vanish where the image has ink wins
//     if above 150; the cell is half of it.
//  4. Dot grid: every component of the work image and of its inverse that fits in a cell marks
//     its grid cell (grid G = A, or 2A when the cell is above A / 2); the grid, opened at 1 / A
//     of the page, brought to a quarter of the page, is cleaned against the work image reduced
//     by 4 with its long strokes removed: seed fill, isolated pixels and 2 x 2 specks removed,
//     the core's halftone component selection, holes filled except where the page-information
//     analysis finds text in them.
//  5. Components of the cleaned grid up to C wide or up to D high are erased; the rest,
//     expanded to page size, are the mask, and each becomes a region whose size is rounded up
//     to whole cells (down where rounding up would leave the page, which decoders refuse).
// No halftone (all outputs empty, status 0) when the page is smaller than C x D, a step leaves
// nothing, or no period wins. The standard elements 7, 8, 40, 41, 46 and 47 are taken from the
// context's cache for the call and given back on every path, with every work image.
//
// Failures: 10003 (not reported) for missing arguments or a page that is not one 1-bit
// channel; 115 (reported) for a candidate reduction other than 4, 8 or 16; 1 (reported)
// without memory; core statuses pass on. The outputs stay empty on failure.
#include <bit>
#include <cstring>

#include "halftone_internal.h"
#include "pxl_components.h"
#include "pxl_expand.h"
#include "pxl_fill.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "pxl_pages.h"
#include "pxl_pixops.h"
#include "pxl_reduce.h"
#include "pxl_transfer.h"
#include "qtz_err.h"
#include "qtz_internal.h"

namespace {

using pxl::OwnedImage;

constexpr int32_t kUnsupportedReduction = 115;
constexpr int32_t kMinPeriodBytes = 150;

struct ResolutionClass {
  int32_t baseCell;     // A
  int32_t shiftLimit;   // B
  int32_t minWidth;     // C
  int32_t minHeight;    // D
  int32_t lineElement;  // E
};

ResolutionClass classOf(int32_t dpi) {
  if (dpi >= 300) return {16, 16, 99, 15, 8};
  if (dpi >= 200) return {8, 12, 66, 10, 4};
  return {4, 12, 33, 5, 1};
}

int32_t wholeDpi(int32_t fixed) {
  return static_cast<int32_t>((int64_t{fixed} + 0x8000) >> 16);
}

// The standard elements of the detection, held in the context's cache for one call.
class StdElements {
 public:
  static constexpr int32_t kIds[6] = {7, 8, 40, 41, 46, 47};
  explicit StdElements(PxlContext *ctx) : ctx_(ctx) {}
  ~StdElements() {
    for (int32_t i = 0; i < acquired_; ++i) pxlReleaseStrel(ctx_, nullptr, kIds[i]);
  }
  StdElements(const StdElements &) = delete;
  StdElements &operator=(const StdElements &) = delete;

  int32_t acquire() {
    for (int32_t i = 0; i < 6; ++i) {
      int32_t status = pxlInitStdStrel(ctx_, kIds[i]);
      if (status != 0) return status;
      ++acquired_;
      if ((status = pxlGetStrel(ctx_, kIds[i], &elements_[i])) != 0) return status;
    }
    return 0;
  }
  PxlStrel *get(int32_t id) const {
    for (int32_t i = 0; i < 6; ++i)
      if (kIds[i] == id) return elements_[i];
    return nullptr;
  }

 private:
  PxlContext *ctx_;
  int32_t acquired_ = 0;
  PxlStrel *elements_[6] = {};
};

// A caller-owned structuring element destroyed at the end of the scope.
class OwnedStrel {
 public:
  explicit OwnedStrel(PxlContext *ctx) : ctx_(ctx) {}
  ~OwnedStrel() { pxlDestroyStrel(ctx_, &element_); }
  OwnedStrel(const OwnedStrel &) = delete;
  OwnedStrel &operator=(const OwnedStrel &) = delete;
  PxlStrel **put() { return &element_; }
  PxlStrel *get() const { return element_; }

 private:
  PxlContext *ctx_;
  PxlStrel *element_ = nullptr;
};

// A component list of the core freed at the end of the scope.
class OwnedComponents {
 public:
  explicit OwnedComponents(PxlContext *ctx) : ctx_(ctx) {}
  ~OwnedComponents() { pxlFreeComponentList(ctx_, &list_); }
  OwnedComponents(const OwnedComponents &) = delete;
  OwnedComponents &operator=(const OwnedComponents &) = delete;
  PxlCCRecord **put() {
    pxlFreeComponentList(ctx_, &list_);
    return &list_;
  }
  PxlCCRecord *get() const { return list_; }

 private:
  PxlContext *ctx_;
  PxlCCRecord *list_ = nullptr;
};

// Opening by the 5 x 1 brick, then by the 1 x 5 brick.
int32_t openBothWays(PxlContext *ctx, const StdElements &els, Pixr *src, OwnedImage &out) {
  OwnedImage across(ctx);
  int32_t status = pxlOpenImage(ctx, src, els.get(7), across.put());
  if (status == 0) status = pxlOpenImage(ctx, across.get(), els.get(8), out.put());
  return status;
}

// A new image of the given size holding src at the origin (0 beyond it).
int32_t fitTo(PxlContext *ctx, Pixr *src, int32_t width, int32_t height, OwnedImage &out) {
  int32_t status =
      pxlCreateImage(ctx, width, height, 1, src->xResolution, src->yResolution, 32, out.put());
  if (status == 0)
    status = pxlRasterOp(ctx, 0, 0, src, PXL_ROP_COPY, 0, 0, width, height, out.get());
  return status;
}

int32_t expandBy(PxlContext *ctx, Pixr *src, int32_t factor, OwnedImage &out) {
  if (factor == 1) return pxlCopyToFramedImage(ctx, src, out.put());
  return pxlExpandImage(ctx, src, factor, out.put());
}

int32_t isEmpty(PxlContext *ctx, Pixr *image, bool *empty) {
  int32_t flag = 0;
  const int32_t status = pxlIsImageEmpty(ctx, image, &flag);
  *empty = flag != 0;
  return status;
}

int32_t runLength(PxlCCRecord *record) {
  const int16_t *runs = pxlRecordRuns(record);
  int32_t sum = 0;
  for (int32_t i = 0; i < record->runCount; ++i) sum += runs[2 * i + 1] - runs[2 * i] + 1;
  return sum;
}

// Step 1: whether the page is dark (one large, more than a third full component at 1 / 16).
int32_t isDarkPage(PxlContext *ctx, const StdElements &els, Pixr *work, const ResolutionClass &rc,
                   bool *dark) {
  OwnedImage reduced(ctx), opened(ctx);
  int32_t status = pxlReduceRankCascade(ctx, work, 4, 4, 1, 1, reduced.put());
  if (status == 0) status = openBothWays(ctx, els, reduced.get(), opened);
  OwnedComponents components(ctx);
  if (status == 0)
    status = pxlGetConnectedComponents(ctx, opened.get(), rc.minWidth, rc.minHeight, 0,
                                       components.put());
  if (status != 0) return status;
  const int64_t area = int64_t{opened->width} * opened->height;
  *dark = false;
  for (PxlCCRecord *c = components.get(); c != nullptr; c = c->next)
    if (c->width == opened->width && c->height == opened->height &&
        3 * int64_t{runLength(c)} > area)
      *dark = true;
  return 0;
}

// Step 2: the candidate areas at page size (possibly short of it by less than A); *none when
// there are none.
int32_t candidateMask(QtzState *state, const StdElements &els, Pixr *work, int32_t baseCell,
                      OwnedImage &mask, bool *none) {
  PxlContext *ctx = state->ipwContext;
  int32_t l3 = 0, l4 = 0;
  switch (baseCell / 4) {
    case 1:
      break;
    case 2:
      l3 = 4;
      break;
    case 4:
      l3 = 4, l4 = 4;
      break;
    default:
      return qtz::report(state, kUnsupportedReduction);
  }
  OwnedImage reduced(ctx), opened(ctx);
  int32_t status = baseCell == 4 ? pxlReduceRankCascade(ctx, work, 1, 4, 0, 0, reduced.put())
                                 : pxlReduceRankCascade(ctx, work, 1, 1, l3, l4, reduced.put());
  if (status == 0) status = openBothWays(ctx, els, reduced.get(), opened);
  if (status == 0) status = isEmpty(ctx, opened.get(), none);
  if (status != 0 || *none) return status;
  return pxlExpandImage(ctx, opened.get(), baseCell, mask.put());
}

// Step 4: the shift (4, 6, .. limit) at which the image best matches itself, 0 for none.
int32_t screenShift(Pixr *image, int32_t limit) {
  const uint8_t *base = image->framedData + static_cast<size_t>(image->frame) * image->bytesPerRow +
                        image->frame * image->depth / 8;
  const int32_t words = (image->width + 31) / 32;
  int64_t best = kMinPeriodBytes;
  int32_t bestShift = 0;
  for (int32_t shift = 4; shift <= limit; shift += 2) {
    int64_t count = 0;
    for (int32_t y = 0; y < image->height; ++y) {
      const uint8_t *row = base + static_cast<size_t>(y) * image->bytesPerRow;
      uint32_t previous = 0xFFFFFFFFu;  // the first `shift` columns of the shifted copy are set
      for (int32_t k = 0; k < words; ++k) {
        uint32_t w;
        std::memcpy(&w, row + 4 * static_cast<size_t>(k), 4);
        const uint32_t x = w ^ ((w >> shift) | (previous << (32 - shift)));
        previous = w;
        // Top bit of each byte: the XOR byte is 0, and the image byte is not.
        const uint32_t zeroX = ~(((x & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | x | 0x7F7F7F7Fu);
        const uint32_t inked = (((w & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | w) & 0x80808080u;
        count += std::popcount(zeroX & inked);
      }
    }
    if (count > best) best = count, bestShift = shift;
  }
  return bestShift;
}

// Step 5: marks the grid cell of every component of the image that fits in a cell.
struct DotGrid {
  uint8_t *rows;
  int32_t stride;
  int32_t width;
  int32_t height;
  int32_t spacing;  // G
  int32_t cell;
};

int32_t gridIndex(int32_t at, int32_t spacing) {
  const int32_t v = at, q = v / spacing, r = v % spacing;
  return r > spacing / 2 ? q + 1 : q;
}

int32_t markDot(PxlContext *, void *user, int32_t xmin, int32_t ymin, int32_t width, int32_t height,
                int32_t, int32_t, int32_t, int32_t) {
  const DotGrid &g = *static_cast<const DotGrid *>(user);
  if (width > g.cell || height > g.cell) return 0;
  const int32_t col = gridIndex(xmin - 32 - g.cell, g.spacing);
  const int32_t row = gridIndex(ymin - 32 - g.cell, g.spacing);
  if (col < 0 || row < 0 || col >= g.width || row >= g.height) return 0;
  uint8_t *word = g.rows + static_cast<size_t>(row) * g.stride + 4 * static_cast<size_t>(col >> 5);
  uint32_t w;
  std::memcpy(&w, word, 4);
  w |= 0x80000000u >> (col & 31);
  std::memcpy(word, &w, 4);
  return 0;
}

int32_t markDots(PxlContext *ctx, Pixr *work, DotGrid *grid) {
  int32_t stop = 0;
  return pxlFindComponentBoxes(ctx, work->framedData, work->bytesPerRow, 32, 32, work->width,
                               work->height, 1, 1, 0, grid, markDot, &stop);
}

// Step 5 and 6: the dot grid at 1 / A of the page, opened.
int32_t dotGrid(PxlContext *ctx, const StdElements &els, Pixr *work, int32_t baseCell, int32_t cell,
                OwnedImage &out, bool *none) {
  const int32_t spacing = baseCell / 2 < cell ? 2 * baseCell : baseCell;
  OwnedImage grid(ctx);
  int32_t status = pxlCreateImage(ctx, work->width / spacing, work->height / spacing, 1,
                                  work->xResolution, work->yResolution, 32, grid.put());
  uint8_t *rows = nullptr;
  if (status == 0) status = pxlGetImageData(ctx, grid.get(), &rows);
  if (status != 0) return status;
  DotGrid marks{rows, grid->bytesPerRow, grid->width, grid->height, spacing, cell};
  if ((status = markDots(ctx, work, &marks)) != 0) return status;
  if ((status = pxlInvertImageInPlace(ctx, work)) != 0) return status;
  status = markDots(ctx, work, &marks);
  const int32_t restored = pxlInvertImageInPlace(ctx, work);
  if (status == 0) status = restored;
  if (status != 0) return status;
  OwnedImage atBase(ctx);
  if (spacing != baseCell && (status = pxlExpandImage(ctx, grid.get(), 2, atBase.put())) != 0)
    return status;
  if ((status = openBothWays(ctx, els, atBase ? atBase.get() : grid.get(), out)) != 0)
    return status;
  return isEmpty(ctx, out.get(), none);
}

// Step 8: strokes longer than the line element taken out of the reduced work image.
int32_t removeStrokes(PxlContext *ctx, Pixr *image, int32_t length) {
  for (int32_t vertical = 0; vertical < 2; ++vertical) {
    OwnedStrel element(ctx);
    OwnedImage strokes(ctx);
    int32_t status = vertical ? pxlCreateTripleStrelV(ctx, length, element.put())
                              : pxlCreateTripleStrelH(ctx, length, element.put());
    if (status == 0) status = pxlOpenImage(ctx, image, element.get(), strokes.put());
    if (status == 0) status = pxlLogicOp(ctx, strokes.get(), PXL_LOGIC_AND_NOT, image);
    if (status != 0) return status;
  }
  return 0;
}

// Step 9: the quarter-size grid cleaned against the reduced work image; the full-size work
// image keeps only its pixels inside the grid's holes.
int32_t cleanGrid(PxlContext *ctx, const StdElements &els, Pixr *work, Pixr *reduced,
                  const ResolutionClass &rc, OwnedImage &g) {
  OwnedImage filled(ctx), t(ctx), u(ctx), v(ctx), h(ctx);
  int32_t status = pxlSeedFill(ctx, g.get(), reduced, 1, filled.put());
  if (status != 0) return status;
  g.reset(filled.release());
  if ((status = pxlErodeImage(ctx, g.get(), els.get(46), t.put())) != 0 ||
      (status = pxlLogicOp(ctx, t.get(), PXL_LOGIC_AND_NOT, g.get())) != 0)
    return status;
  if ((status = pxlErodeImage(ctx, g.get(), els.get(47), t.put())) != 0 ||
      (status = pxlDilateImage(ctx, t.get(), els.get(40), u.put())) != 0 ||
      (status = pxlLogicOp(ctx, u.get(), PXL_LOGIC_AND_NOT, g.get())) != 0)
    return status;
  if ((status =
           pxlSelectHalftoneComponents(ctx, g.get(), rc.minWidth, 2 * rc.minHeight, v.put())) != 0)
    return status;
  if (v && (status = pxlLogicOp(ctx, v.get(), PXL_LOGIC_AND_NOT, g.get())) != 0) return status;
  // The grid's holes, and the work image inside them.
  OwnedImage holesBig(ctx), holesPage(ctx);
  if ((status = pxlFillHoles(ctx, g.get(), 1, h.put())) != 0 ||
      (status = pxlInvertImageInPlace(ctx, h.get())) != 0 ||
      (status = pxlExpandImage(ctx, h.get(), 4, holesBig.put())) != 0 ||
      (status = fitTo(ctx, holesBig.get(), work->width, work->height, holesPage)) != 0 ||
      (status = pxlLogicOp(ctx, holesPage.get(), PXL_LOGIC_AND, work)) != 0)
    return status;
  // Text found in the holes is kept out of the grid.
  OwnedImage info(ctx);
  bool noText = true;
  if ((status = pxlComputeImageInfo(ctx, work, info.put(), 0)) != 0 ||
      (status = isEmpty(ctx, info.get(), &noText)) != 0)
    return status;
  if (!noText) {
    OwnedImage small(ctx), grown(ctx);
    Pixr *gp = g.get();
    if ((status = pxlReduceRankCascade(ctx, info.get(), 1, 1, 1, 1, small.put())) != 0 ||
        (status = pxlDilateImage(ctx, small.get(), els.get(41), grown.put())) != 0 ||
        (status = pxlInvertImageInPlace(ctx, grown.get())) != 0 ||
        (status = pxlExpandBinaryToSize(ctx, gp, grown.get(), &gp)) != 0)
      return status;
  }
  if ((status = pxlLogicOp(ctx, h.get(), PXL_LOGIC_OR, g.get())) != 0) return status;
  if (v) return pxlLogicOp(ctx, v.get(), PXL_LOGIC_OR, g.get());
  return 0;
}

// Step 10: components up to C wide or up to D high are cleared (their boxes).
int32_t eraseSmall(PxlContext *ctx, Pixr *g, const ResolutionClass &rc) {
  OwnedComponents components(ctx);
  int32_t status = pxlGetConnectedComponents(ctx, g, 1, 1, 1, components.put());
  for (PxlCCRecord *c = components.get(); status == 0 && c != nullptr; c = c->next)
    if (c->width <= rc.minWidth || c->height <= rc.minHeight)
      status = pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_CLEAR, c->x - 32, c->y - 32, c->width,
                           c->height, g);
  return status;
}

// The side rounded up to whole cells, but not past the page's edge (the decoders refuse
// regions that leave the page): there it is rounded down, and the partial cell at the edge is
// left uncoded like any partial cell.
int32_t wholeCells(int32_t at, int32_t side, int32_t pageSide, int32_t cell) {
  const int64_t up = (int64_t{side} + cell - 1) / cell * cell;
  if (at + up <= pageSide) return static_cast<int32_t>(up);
  return static_cast<int32_t>((int64_t{pageSide} - at) / cell * cell);
}

// Step 12: one region per component of the quarter-size grid, in page pixels.
int32_t listRegions(QtzState *state, Pixr *g, Pixr *page, int32_t cell, QtzAdtList **out) {
  PxlContext *ctx = state->ipwContext;
  OwnedComponents components(ctx);
  int32_t status = pxlGetConnectedComponents(ctx, g, 1, 1, 1, components.put());
  if (status != 0) return status;
  QtzAdtList *list = nullptr;
  if ((status = QtzAdt_liNew(&list, state)) != 0)
    return status == QTZ_ERR_NO_MEMORY ? qtz::report(state, status) : status;
  // Records come newest first: inserting each at the front gives the order they were found.
  for (PxlCCRecord *c = components.get(); c != nullptr; c = c->next) {
    auto *region =
        static_cast<QtzHalftoneRegion *>(qtz::allocateZeroed(state, 1, sizeof(QtzHalftoneRegion)));
    QtzAdtListNode *node = nullptr;
    status = region == nullptr ? qtz::report(state, QTZ_ERR_NO_MEMORY)
                               : QtzAdt_liAddAfter(list, nullptr, region, &node);
    if (status == QTZ_ERR_NO_MEMORY && region != nullptr) status = qtz::report(state, status);
    if (status != 0) {
      qtz::release(state, region);
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) qtz::release(state, n->data);
      QtzAdt_liFree(list);
      return status;
    }
    region->x = 4 * (c->x - 32);
    region->y = 4 * (c->y - 32);
    region->width = wholeCells(region->x, 4 * c->width, page->width, cell);
    region->height = wholeCells(region->y, 4 * c->height, page->height, cell);
    region->cellSize = cell;
  }
  *out = list;
  return 0;
}

// The detection proper; *found stays false when the page has no halftone.
int32_t findHalftone(QtzState *state, Pixr *page, OwnedImage &mask, QtzAdtList **regions,
                     int32_t *cellOut) {
  PxlContext *ctx = state->ipwContext;
  int32_t dpi = wholeDpi(page->xResolution) > wholeDpi(page->yResolution)
                    ? wholeDpi(page->xResolution)
                    : wholeDpi(page->yResolution);
  if (dpi == 0) dpi = 300;
  const ResolutionClass rc = classOf(dpi);
  if (page->width < rc.minWidth || page->height < rc.minHeight) return 0;

  StdElements els(ctx);
  OwnedImage work(ctx);
  int32_t status = els.acquire();
  if (status == 0) status = pxlCopyToFramedImage(ctx, page, work.put());
  if (status == 0 && page->xResolution == 0 && page->yResolution == 0)
    status = pxlSetImageResolution(ctx, work.get(), 300 << 16, 300 << 16);
  bool dark = false;
  if (status == 0) status = isDarkPage(ctx, els, work.get(), rc, &dark);
  if (status == 0 && dark) status = pxlInvertImageInPlace(ctx, work.get());
  if (status != 0) return status;

  OwnedImage candidates(ctx), masked(ctx);
  bool none = false;
  if ((status = candidateMask(state, els, work.get(), rc.baseCell, candidates, &none)) != 0 || none)
    return status;
  if ((status = fitTo(ctx, candidates.get(), work->width, work->height, masked)) != 0 ||
      (status = pxlLogicOp(ctx, work.get(), PXL_LOGIC_AND, masked.get())) != 0)
    return status;
  const int32_t cell = screenShift(masked.get(), rc.shiftLimit) / 2;
  candidates.reset();
  masked.reset();
  if (cell == 0) return 0;

  OwnedImage grid(ctx), quarterGrid(ctx), reduced(ctx), g(ctx);
  if ((status = dotGrid(ctx, els, work.get(), rc.baseCell, cell, grid, &none)) != 0 || none)
    return status;
  if ((status = expandBy(ctx, grid.get(), rc.baseCell / 4, quarterGrid)) != 0 ||
      (status = pxlReduceRankCascade(ctx, work.get(), 1, 1, 0, 0, reduced.put())) != 0 ||
      (status = fitTo(ctx, quarterGrid.get(), reduced->width, reduced->height, g)) != 0)
    return status;
  if (rc.lineElement > 0 && (status = removeStrokes(ctx, reduced.get(), rc.lineElement)) != 0)
    return status;
  if ((status = cleanGrid(ctx, els, work.get(), reduced.get(), rc, g)) != 0 ||
      (status = eraseSmall(ctx, g.get(), rc)) != 0 ||
      (status = isEmpty(ctx, g.get(), &none)) != 0 || none)
    return status;

  OwnedImage big(ctx);
  if ((status = pxlExpandImage(ctx, g.get(), 4, big.put())) != 0 ||
      (status = fitTo(ctx, big.get(), page->width, page->height, mask)) != 0 ||
      (status = pxlSetImageResolution(ctx, mask.get(), page->xResolution, page->yResolution)) != 0)
    return status;
  if ((status = listRegions(state, g.get(), page, cell, regions)) != 0) return status;
  *cellOut = cell;
  return 0;
}

}  // namespace

extern "C" int32_t GetAllHalftoneInfo(QtzState *state, Pixr *page, Pixr **mask,
                                      QtzAdtList **regions, int32_t *cell) {
  if (state == nullptr || state->ipwContext == nullptr || page == nullptr || mask == nullptr ||
      regions == nullptr || cell == nullptr)
    return QTZ_ERR_ASSERT;
  *mask = nullptr;
  *regions = nullptr;
  *cell = 0;
  if (page->channelCount != 1 || page->depth != 1) return QTZ_ERR_ASSERT;
  OwnedImage found(state->ipwContext);
  QtzAdtList *list = nullptr;
  int32_t size = 0;
  const int32_t status = findHalftone(state, page, found, &list, &size);
  if (status != 0 || list == nullptr) return status;
  *mask = found.release();
  *regions = list;
  *cell = size;
  return 0;
}
