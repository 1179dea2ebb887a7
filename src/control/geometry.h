// Sizes and rectangles of the view control's pixel buffers: a rectangle is {left, top, right,
// bottom} with right and bottom exclusive; its width and height are never negative.
#ifndef CTL_GEOMETRY_H
#define CTL_GEOMETRY_H

#include <algorithm>
#include <cstdint>

namespace ctl {

struct Extent {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Extent &) const = default;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t width() const { return std::max(right - left, 0); }
  int32_t height() const { return std::max(bottom - top, 0); }
  bool operator==(const Rect &) const = default;
};

}  // namespace ctl

#endif
