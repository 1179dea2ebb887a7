// Threshold row kernels: framed 2-, 4- and 8-bit rows to framed 1-bit rows against the top
// bit, one bound or a range, and 8-bit rows narrowed to 4-bit rows.
//
// Each kernel runs one packing worker per content row: the worker decides four 8-bit or
// eight 4-bit pixels per word operation and spreads the decisions to output bits through
// four gather tables, plain for the kernels that mark the matching pixels and inverted for
// their complements (NotMsb, Below, OutOfRange). 8-bit comparisons work on the pixels' top
// seven bits ((v >> 1) against (t >> 1)); 4-bit ones are exact. A packing worker also
// decides the pixels after the row's last one in its last word (frame and padding, value
// 0), which an inverted table or a bound of 0 would mark; every kernel therefore clears the
// bits after each output row's last pixel. A kernel without tables builds the set it needs
// before writing anything and releases it before returning (1 when that fails).
#include "i_thresh.h"
#include "pxl_depth.h"
#include "pxl_internal.h"

namespace pxl::thresh {

GatherTables::GatherTables(PxlContext *ctx, PxlGatherTables given, TableBuilder build)
    : ctx_(ctx), given_(given) {
  if (given_ == nullptr) status_ = build(ctx, own_);
}

GatherTables::~GatherTables() {
  for (uint32_t *t : own_) freeRecord(ctx_, t);
}

}  // namespace pxl::thresh

namespace {

using pxl::thresh::GatherTables;
using pxl::thresh::RowShape;
using pxl::thresh::TableBuilder;

constexpr uint32_t kBytes = 0x01010101u;
constexpr uint32_t kNibbles = 0x11111111u;

// The packing worker of a kernel, called as worker(ctx, src, dst, dstLast, srcGroup,
// srcLast, tables) with the kernel's constants bound.
template <typename Worker>
int32_t runKernel(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                  int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow,
                  PxlGatherTables given, int32_t depth, TableBuilder build, Worker worker) {
  const int32_t n = fullWidth - 64;
  if (n < 1) return PXL_OK;
  GatherTables tables(ctx, given, build);
  if (tables.status() != 0) return tables.status();
  const RowShape shape(n, depth, 1);
  pxl::thresh::packRows(shape, src, srcBytesPerRow, dst, dstBytesPerRow, fullHeight - 64,
                        [&](const uint32_t *s, uint32_t *d, int32_t) {
                          worker(ctx, s, d, shape.dstLast, shape.srcGroup, shape.srcLast,
                                 tables.get());
                        });
  return PXL_OK;
}

// Binds the comparison constants of pxlPackCompare4 for v >= t.
auto compare4(int32_t t) {
  const uint32_t half = (static_cast<uint32_t>(t) >> 1) * kNibbles & 0x77777777u;
  const uint32_t lowBit = (static_cast<uint32_t>(t) & 1) * kNibbles;
  return [=](PxlContext *c, const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl,
             const uint32_t *const *tb) {
    return pxlPackCompare4(c, s, d, dl, sg, sl, tb, half, lowBit);
  };
}

auto compare8(int32_t t) {
  const uint32_t half = (static_cast<uint32_t>(t) >> 1) * kBytes;
  return [=](PxlContext *c, const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl,
             const uint32_t *const *tb) { return pxlPackCompare8(c, s, d, dl, sg, sl, tb, half); };
}

auto range8(int32_t low, int32_t high) {
  const uint32_t lowHalf = (static_cast<uint32_t>(low) >> 1) * kBytes;
  const uint32_t spanHalf = (static_cast<uint32_t>(high - low) >> 1) * kBytes;
  return [=](PxlContext *c, const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl,
             const uint32_t *const *tb) {
    return pxlPackRange8(c, s, d, dl, sg, sl, tb, lowHalf, spanHalf);
  };
}

auto range4(int32_t low, int32_t high) {
  const uint32_t lowHalf = (static_cast<uint32_t>(low) >> 1) * kNibbles;
  const uint32_t highHalf = (static_cast<uint32_t>(high) >> 1) * kNibbles;
  const int32_t correction = (low & 1) | (high & 1) << 1;
  return [=](PxlContext *c, const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl,
             const uint32_t *const *tb) {
    return pxlPackRange4(c, s, d, dl, sg, sl, tb, lowHalf, highHalf, correction);
  };
}

}  // namespace

extern "C" {

int32_t pxlThresholdRowsMsb8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8, pxlPackTopBits8);
}

int32_t pxlThresholdRowsNotMsb8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8Inv, pxlPackTopBits8);
}

int32_t pxlThresholdRowsMsb2(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 2,
                   pxlBuildThresholdTables2, pxlPackTopBits2);
}

int32_t pxlThresholdRowsNotMsb2(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 2,
                   pxlBuildThresholdTables2Inv, pxlPackTopBits2);
}

int32_t pxlThresholdRowsMsb4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4, pxlPackTopBits4);
}

int32_t pxlThresholdRowsNotMsb4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4Inv, pxlPackTopBits4);
}

int32_t pxlThresholdRowsAtLeast8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t t,
                                 uint8_t *dst, int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8, compare8(t));
}

int32_t pxlThresholdRowsBelow8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                               int32_t fullHeight, int32_t srcBytesPerRow, int32_t t, uint8_t *dst,
                               int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8Inv, compare8(t));
}

int32_t pxlThresholdRowsAtLeast4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t t,
                                 uint8_t *dst, int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4, compare4(t));
}

int32_t pxlThresholdRowsBelow4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                               int32_t fullHeight, int32_t srcBytesPerRow, int32_t t, uint8_t *dst,
                               int32_t dstBytesPerRow, PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4Inv, compare4(t));
}

int32_t pxlThresholdRowsInRange8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                 int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                 PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8, range8(low, high));
}

int32_t pxlThresholdRowsOutOfRange8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                    int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                    int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                    PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 8,
                   pxlBuildThresholdTables8Inv, range8(low, high));
}

int32_t pxlThresholdRowsInRange4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                 int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                 PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4, range4(low, high));
}

int32_t pxlThresholdRowsOutOfRange4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                    int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                    int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                    PxlGatherTables tables) {
  return runKernel(ctx, src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, tables, 4,
                   pxlBuildThresholdTables4Inv, range4(low, high));
}

int32_t pxlPackRows8To4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                        int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow) {
  const int32_t n = fullWidth - 64;
  if (n < 1) return PXL_OK;
  const RowShape shape(n, 8, 4);
  pxl::thresh::packRows(shape, src, srcBytesPerRow, dst, dstBytesPerRow, fullHeight - 64,
                        [&](const uint32_t *s, uint32_t *d, int32_t) {
                          pxlPackHighNibbles(ctx, s, d, shape.dstLast, shape.srcGroup,
                                             shape.srcLast);
                        });
  return PXL_OK;
}

}  // extern "C"
