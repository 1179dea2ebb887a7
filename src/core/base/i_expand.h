// Helpers shared by the expansion wrappers: output sizes and resolutions multiplied by a
// factor in 64 bits.
#ifndef PXL_I_EXPAND_H
#define PXL_I_EXPAND_H

#include <algorithm>
#include <climits>
#include <cstdint>

namespace pxl::expand {

// A 16.16 resolution times the factor, saturated at the largest 16.16 value.
inline int32_t scaledResolution(int32_t resolution, int32_t factor) {
  return int32_t(std::clamp<int64_t>(int64_t{resolution} * factor, INT32_MIN, INT32_MAX));
}

// Whether a size times the factor still fits a framed image (64 frame pixels included).
inline bool sizeFits(int32_t size, int32_t factor) {
  return int64_t{size} * factor <= INT32_MAX - 64;
}

}  // namespace pxl::expand

#endif
