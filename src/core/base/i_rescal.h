// Inner layer of rescaling and grey reduction: the nearest-neighbour plan reader and row
// kernel, the bilinear worker and the grey reduction kernels with their tables. They take
// framed planes (32-pixel frame), report nothing and return a status for their wrapper to
// report.
#ifndef PXL_I_RESCAL_H
#define PXL_I_RESCAL_H

#include <cstdint>

#include "i_xfer.h"
#include "pxl_context.h"

namespace pxl::rescal {

// Read access to a plan made by pxlBuildRescalePlan.
struct Plan {
  int32_t width = 0;                    // output columns
  int32_t height = 0;                   // output rows
  const int32_t *columns = nullptr;     // source column (depth 4: byte index) per column
  const int32_t *rowOffsets = nullptr;  // source row byte offset per output row
  const uint8_t *selectors = nullptr;   // depth 4: nibble shift per column (4 or 0)

  explicit Plan(const void *plan);
};

// A plan allocated from the record set and built; released with the object.
class OwnedPlan {
 public:
  OwnedPlan(PxlContext *ctx, int32_t srcWidth, int32_t srcHeight, int32_t srcBytesPerRow,
            int32_t depth, int32_t newWidth, int32_t newHeight);
  ~OwnedPlan();
  OwnedPlan(const OwnedPlan &) = delete;
  OwnedPlan &operator=(const OwnedPlan &) = delete;
  int32_t status() const { return status_; }  // 1 no memory, or the size or build status
  Plan view() const { return Plan(block_); }

 private:
  PxlContext *ctx_;
  void *block_ = nullptr;
  int32_t status_ = 0;
};

// The progress callback, called directly (not through the countdown): true when it asks to
// stop.
inline bool stopRequested(PxlContext *ctx) {
  return ctx->progress != nullptr && ctx->progress(ctx->progressUser) != 0;
}

// One 8-bit output row of a plan sampled from the source row `row` (content start): whole
// words, zeros after the last pixel.
void sampleRow8(const uint8_t *row, uint8_t *out, const Plan &plan);

// Nearest-neighbour rescale of one plane into newWidth x newHeight pixels of dst (which may
// fall short of that by up to its frame): 8 for differing or unsupported depths, 1 no
// memory, 2 when the plan does not fit the buffers, 14 on an abort (depths 4 and 8).
int32_t nearestPlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst,
                     int32_t newWidth, int32_t newHeight);

// Bilinear rescale of one plane (depths 4 and 8, equal, else 8): 1 no memory, 14 abort.
int32_t bilinearPlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst,
                      int32_t newWidth, int32_t newHeight);

// Grey reduction tables: entry count of the table of a factor (0 for an unknown factor)
// and its contents.
int32_t reduceTableEntries(int32_t factor);
void fillReduceTable(int32_t factor, uint32_t *table);

// Reduces a 1-bit plane into width x height 4-bit pixels of dst by factor 15, 20, 40 or
// 80, through table or (null) a table of its own: 1 when that cannot be allocated.
int32_t reducePlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst, int32_t width,
                    int32_t height, int32_t factor, const uint32_t *table);

}  // namespace pxl::rescal

#endif
