// Threshold row kernel against a per-pixel 8-bit threshold map.
//
// Output bit = (v >> 1) >= (m >> 1) (or < with inverted tables), four pixels per word
// operation. A map larger than the source is used over the source's size. A map of the
// source's size is compared row for row; a smaller one is resampled by nearest neighbour
// through a plan: a map row is expanded to the source width into a work row whenever the
// source row maps to a different map row than the one before. The bits after each output
// row's last pixel are cleared. Failures: 2 for a map with empty content, 1 when the
// tables, plan or work row cannot be allocated (nothing written then).
#include "i_rescal.h"
#include "i_thresh.h"
#include "pxl_depth.h"
#include "pxl_internal.h"

extern "C" {

int32_t pxlThresholdRowsByMap8(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                               int32_t srcFullHeight, int32_t srcBytesPerRow, const uint8_t *map,
                               int32_t mapFullWidth, int32_t mapFullHeight, int32_t mapBytesPerRow,
                               int32_t inverted, uint8_t *dst, int32_t dstBytesPerRow,
                               PxlGatherTables tables) {
  const int32_t width = srcFullWidth - 64, height = srcFullHeight - 64;
  if (width < 1) return PXL_OK;
  const int32_t mapWidth = (mapFullWidth < srcFullWidth ? mapFullWidth : srcFullWidth) - 64;
  const int32_t mapHeight = (mapFullHeight < srcFullHeight ? mapFullHeight : srcFullHeight) - 64;
  if (mapWidth < 1 || mapHeight < 1) return PXL_ERR_PARAM;
  pxl::thresh::GatherTables gather(
      ctx, tables, inverted != 0 ? pxlBuildThresholdTables8Inv : pxlBuildThresholdTables8);
  if (gather.status() != 0) return gather.status();
  const pxl::thresh::RowShape shape(width, 8, 1);
  auto compare = [&](const uint32_t *s, uint32_t *d, const uint8_t *m) {
    pxlPackCompareMap8(ctx, s, d, shape.dstLast, shape.srcGroup, shape.srcLast, gather.get(),
                       reinterpret_cast<const uint32_t *>(m));
  };
  const uint8_t *mapOrigin = map + int64_t{32} * mapBytesPerRow + 32;

  if (mapWidth == width && mapHeight == height) {
    pxl::thresh::packRows(shape, src, srcBytesPerRow, dst, dstBytesPerRow, height,
                          [&](const uint32_t *s, uint32_t *d, int32_t r) {
                            compare(s, d, mapOrigin + int64_t{r} * mapBytesPerRow);
                          });
    return PXL_OK;
  }
  const pxl::rescal::OwnedPlan owned(ctx, mapWidth, mapHeight, mapBytesPerRow, 8, width, height);
  if (owned.status() != 0) return owned.status();
  const pxl::rescal::Plan plan = owned.view();
  auto *row = static_cast<uint8_t *>(pxl::allocRecord(ctx, 4 * ((size_t(width) + 3) / 4)));
  if (row == nullptr) return PXL_ERR_NO_MEMORY;
  int64_t expanded = -1;  // map row offset held in the work row
  pxl::thresh::packRows(shape, src, srcBytesPerRow, dst, dstBytesPerRow, height,
                        [&](const uint32_t *s, uint32_t *d, int32_t r) {
                          if (plan.rowOffsets[r] != expanded) {
                            expanded = plan.rowOffsets[r];
                            pxl::rescal::sampleRow8(mapOrigin + expanded, row, plan);
                          }
                          compare(s, d, row);
                        });
  pxl::freeRecord(ctx, row);
  return PXL_OK;
}

}  // extern "C"
