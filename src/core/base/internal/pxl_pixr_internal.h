// Helpers shared by the image descriptor, its accessors and the row and frame kernels.
//
// A packed row is a run of 32-bit native words; read as a number, a word holds its pixels
// from the most significant bit down, so bit b of a row (counted in pixel order) is bit
// 31 - b % 32 of word b / 32. Pixel-order byte k of a row is the byte at (row + k) XOR 3.
// Words are loaded and stored through memcpy so that byte buffers may be addressed freely.
#ifndef PXL_PIXR_H
#define PXL_PIXR_H

#include <cstdint>
#include <cstring>

#include "pxl_image.h"
#include "pxl_internal.h"

// Polls progress and runs one call into the core; an abort or a failing call is reported at
// this line and returned from the calling function.
#define PXL_STEP(ctx, unit, call)                                                \
  do {                                                                           \
    PXL_POLL_OR_RETURN(ctx, unit);                                               \
    int32_t pxl_step_status_ = (call);                                           \
    if (pxl_step_status_ != 0) return PXL_FAIL((ctx), (unit), pxl_step_status_); \
  } while (0)

namespace pxl {

inline uint32_t loadWord(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void storeWord(uint8_t *p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

// Bits [from, 32) of a word in pixel order (from 0..32).
inline uint32_t maskFrom(int32_t from) {
  return from >= 32 ? 0u : ~0u >> from;
}
// Bits [0, to) of a word in pixel order (to 0..32): the keep mask of a row ending at bit to.
inline uint32_t maskUpTo(int32_t to) {
  return to <= 0 ? 0u : ~0u << (32 - to);
}

// Clears pixel-order bits [from, to) of one row, whole words where it can.
void clearBitSpan(uint8_t *row, int64_t from, int64_t to);

// Clears a rectangle of pixels (x, y, width, height) of a framed buffer in full-buffer
// coordinates, at any depth.
void clearPixelRect(uint8_t *framed, int32_t bytesPerRow, int32_t depth, int32_t x, int32_t y,
                    int32_t width, int32_t height);

// Colour maps are shared by reference count: every descriptor that holds a map counts once.
inline void retainColorMap(PxlColorMap *map) {
  if (map != nullptr) ++map->references;
}
void releaseColorMap(PxlContext *ctx, PxlColorMap *map);

}  // namespace pxl

#endif
