// The stretch table of the scaling walkers.
//
// A row of `width` pixels of `depth` bits is cut, from bit 0, into runs: with
// A = 0x10000000 / factor (pixels per run in 12-bit fixed point) a run has floor(A / 4096)
// pixels, one more whenever a fraction accumulator (starting at 0, losing A mod 4096 after
// each run and gaining 4096 after a run that found it negative) is negative. For every
// 32-bit word of the row the table holds one left-aligned mask per run piece inside the
// word, then a step entry: 0 when the word ends on a run boundary, else the caller's step
// (times 4 when the flags' low byte is set) for a run that goes on into the next word.
//
// The walk stops after (width * depth >> 5) + 1 words or after `width` runs, whichever
// comes first, so that it ends for every factor; factors of 0 or less and factors above
// 0x10000000 (runs of no pixels at all) are refused. The table has room for one entry per
// run plus two per word, which bounds every walk.
#include <algorithm>

#include "pxl_depth.h"
#include "pxl_internal.h"

namespace {
constexpr uint32_t leftMask(int64_t n) {
  return n >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> n);
}
}  // namespace

extern "C" {

int32_t pxlBuildStretchTable(PxlContext *ctx, int32_t factor, uint32_t **table, int32_t width,
                             int32_t step, int32_t depth, int32_t flags) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  if (table == nullptr || factor <= 0 || factor > 0x10000000 || width < 0) return PXL_ERR_PARAM;
  const int64_t words = (int64_t{width} * depth >> 5) + 1;
  const int64_t entries =
      std::max((int64_t{width} * (int64_t{factor} + 0x8000) >> 16), int64_t{width}) + 2 * words + 1;
  *table = static_cast<uint32_t *>(pxl::allocRecordZeroed(ctx, static_cast<size_t>(entries), 4));
  if (*table == nullptr) return PXL_ERR_NO_MEMORY;
  uint32_t *t = *table;
  const int64_t inverse = 0x10000000 / factor;
  const uint32_t stepEntry =
      (flags & 0xFF) != 0 ? static_cast<uint32_t>(step) * 4u : static_cast<uint32_t>(step);
  int64_t acc = 0, closed = 0;
  int32_t position = 0;
  for (int32_t run = 0; run < width && closed < words; ++run) {
    const bool negative = acc < 0;
    int64_t bits = depth * ((inverse >> 12) + (negative ? 1 : 0));
    while (bits > 0 && closed < words) {
      *t++ = leftMask(bits) >> position;
      const int64_t end = position + bits;
      if (end < 32) {
        position = static_cast<int32_t>(end);
        break;
      }
      *t++ = end == 32 ? 0u : stepEntry;
      ++closed;
      position = 0;
      bits = end - 32;
    }
    acc -= inverse & 0xFFF;
    if (negative) acc += 4096;
  }
  return PXL_OK;
}

}  // extern "C"
