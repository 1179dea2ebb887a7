// Components of a framed 1-bit image as a list of packed records (pxlGetConnectedComponents),
// painting a record back (pxlPaintComponent) and freeing a list (pxlFreeComponentList).
#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "ccs";

void freeRecords(PxlContext *ctx, PxlCCRecord *list) {
  while (list != nullptr) {
    PxlCCRecord *next = list->next;
    pxl::freeRecord(ctx, list);
    list = next;
  }
}

// Framed rows of the record's box shifted by (dx, dy), which must lie inside the buffer.
bool boxFits(const PxlCCRecord *r, int32_t dx, int32_t dy, const pxl::xfer::Plane &p) {
  const int64_t x = int64_t{r->x} + dx, y = int64_t{r->y} + dy;
  return r->runCount <= 0 || (x >= 0 && y >= 0 && x + r->width <= int64_t{p.width} + 64 &&
                              y + r->height <= int64_t{p.height} + 64);
}
}  // namespace

extern "C" {

int32_t pxlGetConnectedComponents(PxlContext *ctx, Pixr *image, int32_t minWidth, int32_t minHeight,
                                  int32_t connectivity, PxlCCRecord **list) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  if (list == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, image, 0, nullptr, &p));
  PxlCCRecord *found = nullptr;
  int32_t stop = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status =
      pxlFindConnectedComponents(ctx, p.framed, p.bytesPerRow, 32, 32, p.width, p.height, minWidth,
                                 minHeight, connectivity, &found, pxlCollectComponent, &stop);
  if (status != 0) {
    freeRecords(ctx, found);
    // The collecting callback is ours: its failure (no memory, an abort) is the status.
    return PXL_FAIL(ctx, kUnit, status == PXL_ERR_CALLBACK && stop != 0 ? stop : status);
  }
  *list = found;
  return 0;
}

int32_t pxlPaintComponent(PxlContext *ctx, PxlCCRecord *record, int32_t dx, int32_t dy,
                          Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if (record == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, image, 0, nullptr, &p));
  if (!boxFits(record, dx, dy, p)) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
  return pxlPaintComponentRuns(ctx, p.framed, p.bytesPerRow, dx, dy, record);
}

int32_t pxlFreeComponentList(PxlContext *ctx, PxlCCRecord **list) {
  if (list == nullptr) return 0;
  freeRecords(ctx, *list);
  *list = nullptr;
  return 0;
}

}  // extern "C"
