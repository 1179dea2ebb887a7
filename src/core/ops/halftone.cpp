// Halftone components of a bilevel page (pxlSelectHalftoneComponents): a halftone screen
// leaves one or a few very large connected components that are sparse (less than a quarter
// of their box is set), made of short runs (on average under a quarter of the page width)
// and broken finely everywhere. A component is taken when its box spans at least half the
// page both ways, it has at least one run per row of its box, and those three hold; the
// taken components are painted into a new image of the page's size.
//
// The breakage test walks the component's runs in their list order (bottom row up, right to
// left): a run whose end reaches the previous run's start begins another row, and such a
// row change counts once when the previous run started in the right half of the box and once
// more when the last row-starting run ended in its left half. The component is broken finely
// when that count stays below the minimum height.
#include <climits>

#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_owners_internal.h"
#include "pxl_pages.h"
#include "pxl_pixr_internal.h"

namespace {

constexpr const char *kUnit = "halftone";

void freeComponents(PxlContext *ctx, PxlCCRecord *list) {
  pxlFreeComponentList(ctx, &list);
}
using OwnedComponents = pxl::Owner<PxlCCRecord, freeComponents>;

bool isHalftone(PxlCCRecord *c, int32_t pageWidth, int32_t pageHeight, int32_t minHeight) {
  const int64_t w = c->width, h = c->height, runs = c->runCount;
  if (w < pageWidth / 2 || h < pageHeight / 2 || runs < h || runs == 0) return false;
  const int16_t *pairs = pxlRecordRuns(c);
  int64_t covered = 0, changes = 0;
  int64_t previousStart = INT64_MAX, lastEnd = int64_t{pairs[1]} - c->x;
  for (int64_t i = 0; i < runs; ++i) {
    const int64_t start = int64_t{pairs[2 * i]} - c->x, end = int64_t{pairs[2 * i + 1]} - c->x;
    covered += end - start;
    if (end >= previousStart) {
      changes += previousStart > w / 2;
      changes += lastEnd < w / 2;
      lastEnd = end;
    }
    previousStart = start;
  }
  return 4 * covered < w * h && covered / runs < pageWidth / 4 && changes < minHeight;
}

}  // namespace

extern "C" int32_t pxlSelectHalftoneComponents(PxlContext *ctx, Pixr *page, int32_t minWidth,
                                               int32_t minHeight, Pixr **result) {
  if (page == nullptr || result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*result != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, page, &a));
  OwnedComponents components(ctx);
  PXL_STEP(ctx, kUnit,
           pxlGetConnectedComponents(ctx, page, minWidth, minHeight, 0, components.put()));
  pxl::OwnedImage selected(ctx);
  for (PxlCCRecord *c = components.get(); c != nullptr; c = c->next) {
    if (!isHalftone(c, a.width, a.height, minHeight)) continue;
    if (!selected)
      PXL_STEP(ctx, kUnit,
               pxlCreateImage(ctx, a.width, a.height, 1, a.xResolution, a.yResolution, 32,
                              selected.put()));
    PXL_STEP(ctx, kUnit, pxlPaintComponent(ctx, c, 0, 0, selected.get()));
  }
  *result = selected.release();
  return 0;
}
