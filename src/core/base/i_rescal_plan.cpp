// Nearest-neighbour plans: the table of source columns and source row offsets that the
// nearest-neighbour rescale and the threshold map resampling walk.
//
// Layout (i32 unless noted): new width, 4 x new width, new height, 4 x new height, and the
// number of nibble selectors twice (new width at depth 4, else 0); then one source column
// per output column (at depth 4 its byte index, column >> 1), one source row byte offset
// per output row, and at depth 4 one selector byte per output column (4 for the high
// nibble of an even column, 0 for an odd one). Output column i takes source column
// floor(i * sx / 65536) with sx = floor(W * 65536 / W'), rows alike; the products are
// 64-bit, so any width or height that fits an i32 maps correctly. Row offsets must fit in
// an i32.
#include <climits>
#include <cstring>

#include "i_rescal.h"
#include "pxl_internal.h"
#include "pxl_rescale.h"

namespace pxl::rescal {

namespace {
constexpr int32_t kHeaderWords = 6;

inline int32_t selectorCount(int32_t depth, int32_t newWidth) {
  return depth == 4 ? newWidth : 0;
}
}  // namespace

Plan::Plan(const void *plan) {
  const auto *h = static_cast<const int32_t *>(plan);
  width = h[0];
  height = h[2];
  columns = h + kHeaderWords;
  rowOffsets = columns + width;
  selectors = h[4] != 0 ? reinterpret_cast<const uint8_t *>(rowOffsets + height) : nullptr;
}

OwnedPlan::OwnedPlan(PxlContext *ctx, int32_t srcWidth, int32_t srcHeight, int32_t srcBytesPerRow,
                     int32_t depth, int32_t newWidth, int32_t newHeight)
    : ctx_(ctx) {
  int64_t size = 0;
  status_ = pxlGetRescalePlanSize(ctx, depth, newWidth, newHeight, &size);
  if (status_ != 0) return;
  block_ = allocRecord(ctx, static_cast<size_t>(size));
  if (block_ == nullptr) {
    status_ = PXL_ERR_NO_MEMORY;
    return;
  }
  status_ = pxlBuildRescalePlan(ctx, srcWidth, srcHeight, srcBytesPerRow, depth, newWidth,
                                newHeight, size, block_);
}

OwnedPlan::~OwnedPlan() {
  freeRecord(ctx_, block_);
}

}  // namespace pxl::rescal

extern "C" {

int32_t pxlGetRescalePlanSize(PxlContext *, int32_t depth, int32_t newWidth, int32_t newHeight,
                              int64_t *size) {
  // The header holds 4 x new width and 4 x new height as i32.
  if (size == nullptr || newWidth < 1 || newHeight < 1 || newWidth > INT32_MAX / 4 ||
      newHeight > INT32_MAX / 4)
    return PXL_ERR_PARAM;
  if (depth != 1 && depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  *size = 4 * int64_t{newWidth} + 4 * int64_t{newHeight} +
          pxl::rescal::selectorCount(depth, newWidth) + 4 * pxl::rescal::kHeaderWords;
  return PXL_OK;
}

int32_t pxlBuildRescalePlan(PxlContext *ctx, int32_t srcWidth, int32_t srcHeight,
                            int32_t srcBytesPerRow, int32_t depth, int32_t newWidth,
                            int32_t newHeight, int64_t bytesAvailable, void *plan) {
  int64_t size = 0;
  if (plan == nullptr || pxlGetRescalePlanSize(ctx, depth, newWidth, newHeight, &size) != 0 ||
      size > bytesAvailable)
    return PXL_ERR_PARAM;
  auto *h = static_cast<int32_t *>(plan);
  const int32_t selectors = pxl::rescal::selectorCount(depth, newWidth);
  const int32_t header[pxl::rescal::kHeaderWords] = {newWidth,      4 * newWidth, newHeight,
                                                     4 * newHeight, selectors,    selectors};
  std::memcpy(h, header, sizeof header);
  int32_t *columns = h + pxl::rescal::kHeaderWords;
  int32_t *rows = columns + newWidth;
  auto *selector = reinterpret_cast<uint8_t *>(rows + newHeight);

  const int64_t sx = int64_t{srcWidth} * 65536 / newWidth;
  for (int64_t i = 0; i < newWidth; ++i) {
    const auto column = static_cast<int32_t>(i * sx >> 16);
    columns[i] = depth == 4 ? column >> 1 : column;
    if (depth == 4) selector[i] = (column & 1) != 0 ? 0 : 4;
  }
  const int64_t sy = int64_t{srcHeight} * 65536 / newHeight;
  for (int64_t j = 0; j < newHeight; ++j) {
    const int64_t offset = (j * sy >> 16) * srcBytesPerRow;
    if (offset < INT32_MIN || offset > INT32_MAX) return PXL_ERR_PARAM;
    rows[j] = static_cast<int32_t>(offset);
  }
  return PXL_OK;
}

}  // extern "C"
