// Number helpers of the view geometry and the painter: nearest(v) = floor(v + 0.5) and
// truncation toward zero on doubles held within 64-bit range (a NaN gives 0), and 64-bit
// values held within the 32-bit range of the control's positions and rectangles.
#ifndef CTL_VIEW_MATH_H
#define CTL_VIEW_MATH_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ctl {

constexpr uint64_t kMegabyte = 1048576;

inline int64_t nearest(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int64_t>(std::floor(std::clamp(v, -4.0e18, 4.0e18) + 0.5));
}

inline int64_t truncated(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int64_t>(std::clamp(v, -4.0e18, 4.0e18));
}

inline int32_t held32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace ctl

#endif
