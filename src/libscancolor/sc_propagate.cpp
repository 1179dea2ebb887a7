// Two-pass city-block propagation of labels or colours from source cells (distance 0) over a
// distance map. A step from neighbour N to a cell takes N's distance + 1 and N's value when
// that is smaller than the cell's distance. The forward pass runs row 0 from the left, then
// each later row: column 0 from above, every other column from the left and then from above;
// the backward pass mirrors it from the bottom right. Afterwards each cell holds the value of
// a nearest source by city-block distance (ties settled by that order), unless no source is
// nearer than the cell's starting distance: cells start at a large mark, or at a radius + 1
// that bounds the spreading. Linear in the cells; nothing fails.
#include <cstring>

#include "sc_internal.h"

namespace sc {
namespace {

struct LabelValues {
  int32_t *base;
  int64_t stride;
  void copy(int64_t to, int64_t from) const { base[to] = base[from]; }
  int64_t at(int32_t x, int32_t y) const { return y * stride + x; }
};

struct ColourValues {
  uint8_t *base;
  int64_t stride;
  void copy(int64_t to, int64_t from) const { std::memcpy(base + to, base + from, 3); }
  int64_t at(int32_t x, int32_t y) const { return y * stride + 3 * int64_t{x}; }
};

template <typename Values>
inline void step(int32_t *cell, const int32_t *from, const Values &v, int64_t to, int64_t src) {
  if (*from + 1 < *cell) {
    *cell = *from + 1;
    v.copy(to, src);
  }
}

template <typename Values>
void twoPass(int32_t *dist, int64_t ds, int32_t w, int32_t h, const Values &v) {
  if (w <= 0 || h <= 0) return;
  for (int32_t x = 1; x < w; ++x) step(dist + x, dist + x - 1, v, v.at(x, 0), v.at(x - 1, 0));
  for (int32_t y = 1; y < h; ++y) {
    int32_t *row = dist + y * ds;
    const int32_t *up = row - ds;
    step(row, up, v, v.at(0, y), v.at(0, y - 1));
    for (int32_t x = 1; x < w; ++x) {
      if (row[x] == 0) continue;  // a source: no step can lower it
      const int64_t here = v.at(x, y);
      step(row + x, row + x - 1, v, here, v.at(x - 1, y));
      step(row + x, up + x, v, here, v.at(x, y - 1));
    }
  }
  int32_t *last = dist + (h - 1) * ds;
  for (int32_t x = w - 2; x >= 0; --x)
    step(last + x, last + x + 1, v, v.at(x, h - 1), v.at(x + 1, h - 1));
  for (int32_t y = h - 2; y >= 0; --y) {
    int32_t *row = dist + y * ds;
    const int32_t *down = row + ds;
    step(row + w - 1, down + w - 1, v, v.at(w - 1, y), v.at(w - 1, y + 1));
    for (int32_t x = w - 2; x >= 0; --x) {
      if (row[x] == 0) continue;
      const int64_t here = v.at(x, y);
      step(row + x, row + x + 1, v, here, v.at(x + 1, y));
      step(row + x, down + x, v, here, v.at(x, y + 1));
    }
  }
}

}  // namespace

void propagateLabels(int32_t *distance, int32_t *labels, int64_t stride, const Window &w) {
  const int64_t origin = w.y0 * stride + w.x0;
  twoPass(distance + origin, stride, w.x1 - w.x0, w.y1 - w.y0,
          LabelValues{labels + origin, stride});
}

void propagateColours(int32_t *distance, uint8_t *rgb, int64_t distanceStride, int64_t rgbStride,
                      int32_t width, int32_t height) {
  twoPass(distance, distanceStride, width, height, ColourValues{rgb, rgbStride});
}

}  // namespace sc
