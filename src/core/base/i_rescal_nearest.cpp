// Nearest-neighbour rescale of one framed plane through a plan.
//
// Each output word is assembled from the plan's source positions (32 bits gathered MSB
// first at depth 1, eight selected nibbles at depth 4, four bytes at depth 8); the last
// word of a row is left-aligned with zeros after the last pixel. An output row whose source
// row repeats the previous one is a copy of the previous output row. At depths 4 and 8 the
// progress callback is called after every row; a non-zero answer stops with 14.
// Failures: 8 for differing or unsupported depths, 1 when the plan cannot be allocated, 2
// when the plan reaches outside the source or does not match the output.
#include <cstring>

#include "i_rescal.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"

namespace pxl::rescal {

namespace {

inline uint8_t *contentRow(const xfer::Plane &p, int64_t y) {
  return p.framed + (int64_t{p.frame} + y) * p.bytesPerRow + int64_t{p.frame} * p.depth / 8;
}

// Output pixel i of a row taken from the source row `row` (content start).
template <int kDepth>
inline uint32_t sample(const uint8_t *row, const Plan &plan, int32_t i) {
  const int32_t c = plan.columns[i];
  if constexpr (kDepth == 8) {
    return row[c ^ 3];
  } else if constexpr (kDepth == 4) {
    return (row[c ^ 3] >> plan.selectors[i]) & 15u;
  } else {
    return (loadWord(row + 4 * (c >> 5)) >> (31 - (c & 31))) & 1u;
  }
}

template <int kDepth>
void buildRow(const uint8_t *srcRow, uint8_t *dstRow, const Plan &plan) {
  constexpr int32_t kPerWord = 32 / kDepth;
  for (int32_t i0 = 0; i0 < plan.width; i0 += kPerWord) {
    const int32_t n = plan.width - i0 < kPerWord ? plan.width - i0 : kPerWord;
    uint32_t word = 0;
    for (int32_t k = 0; k < n; ++k) word = (word << kDepth) | sample<kDepth>(srcRow, plan, i0 + k);
    storeWord(dstRow + 4 * (i0 / kPerWord), word << ((kPerWord - n) * kDepth));
  }
}

// The plan covers the output (short of it by at most the frame) and stays inside the
// source content.
bool planFits(const Plan &plan, const xfer::Plane &src, const xfer::Plane &dst, int32_t depth) {
  if (plan.width < dst.width || plan.width > dst.width + dst.frame || plan.height < dst.height ||
      plan.height > dst.height + dst.frame)
    return false;
  const int32_t c = plan.columns[plan.width - 1];
  const int64_t lastColumn =
      depth == 4 ? 2 * int64_t{c} + (plan.selectors[plan.width - 1] == 0) : int64_t{c};
  const int64_t lastRow = plan.rowOffsets[plan.height - 1];
  return c >= 0 && lastColumn < src.width && plan.rowOffsets[0] >= 0 &&
         lastRow <= (int64_t{src.height} - 1) * src.bytesPerRow;
}

template <int kDepth>
int32_t runRows(PxlContext *ctx, const Plan &plan, const xfer::Plane &src, const xfer::Plane &dst) {
  const size_t rowBytes = 4 * ((size_t{static_cast<uint32_t>(plan.width)} * kDepth + 31) / 32);
  const uint8_t *srcOrigin = contentRow(src, 0);
  for (int32_t j = 0; j < plan.height; ++j) {
    uint8_t *out = contentRow(dst, j);
    if (j > 0 && plan.rowOffsets[j] == plan.rowOffsets[j - 1])
      std::memcpy(out, out - dst.bytesPerRow, rowBytes);
    else
      buildRow<kDepth>(srcOrigin + plan.rowOffsets[j], out, plan);
    if (kDepth != 1 && stopRequested(ctx)) return PXL_ERR_ABORT;
  }
  return PXL_OK;
}

}  // namespace

void sampleRow8(const uint8_t *row, uint8_t *out, const Plan &plan) {
  buildRow<8>(row, out, plan);
}

int32_t nearestPlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst,
                     int32_t newWidth, int32_t newHeight) {
  const int32_t depth = src.depth;
  if (depth != dst.depth || (depth != 1 && depth != 4 && depth != 8)) return PXL_ERR_DEPTH;
  OwnedPlan owned(ctx, src.width, src.height, src.bytesPerRow, depth, newWidth, newHeight);
  if (owned.status() != 0) return owned.status();
  const Plan plan = owned.view();
  if (!planFits(plan, src, dst, depth)) return PXL_ERR_PARAM;
  switch (depth) {
    case 1:
      return runRows<1>(ctx, plan, src, dst);
    case 4:
      return runRows<4>(ctx, plan, src, dst);
    default:
      return runRows<8>(ctx, plan, src, dst);
  }
}

}  // namespace pxl::rescal
