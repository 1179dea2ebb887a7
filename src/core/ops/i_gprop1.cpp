// Nearest-value propagation over a city-block distance map, and fading by distance.
//
// A pixel P takes from a neighbour N whenever dist(N) < dist(P): dist(P) = dist(N) + 1 and
// value(P) = value(N). The forward pass walks rows downwards and pixels rightwards in groups
// of four (one value word), taking from the left neighbour and the pixel above in a fixed
// order per group; the backward pass mirrors it (rows upwards, leftwards, right neighbour and
// pixel below). Together they give every pixel the distance to its nearest source (cells of
// distance 0), up to the map's largest value, and that source's value; where two sources are
// equally near, the order of the steps decides. Groups whose distances are all 0 are skipped,
// and only content pixels take part (the frame is neither read nor written).
#include <cstring>

#include "pxl_fill.h"

namespace {

constexpr int32_t kFrame = 32;

// One content row pair (values, distances) with cell access in the core's word order.
template <int kDistanceBits>
struct Row {
  uint8_t *values;
  uint8_t *distances;
  uint32_t dist(int32_t x) const {
    if constexpr (kDistanceBits == 8) {
      return distances[x ^ 3];
    } else {
      uint16_t v;
      std::memcpy(&v, distances + ((2 * x) ^ 2), 2);
      return v;
    }
  }
  void setDist(int32_t x, uint32_t d) const {
    if constexpr (kDistanceBits == 8) {
      distances[x ^ 3] = static_cast<uint8_t>(d);
    } else {
      const auto v = static_cast<uint16_t>(d);
      std::memcpy(distances + ((2 * x) ^ 2), &v, 2);
    }
  }
  uint8_t &value(int32_t x) const { return values[x ^ 3]; }
};

// Pass state: the current row, the row the pass came from (above or below), the width.
template <int kDistanceBits>
struct Pass {
  Row<kDistanceBits> here, from;
  bool hasFrom;
  int32_t width;

  void take(const Row<kDistanceBits> &src, int32_t sx, int32_t x) const {
    if (x < 0 || x >= width || sx < 0 || sx >= width) return;
    const uint32_t n = src.dist(sx);
    if (n < here.dist(x)) {
      here.setDist(x, n + 1);
      here.value(x) = src.value(sx);
    }
  }
  void along(int32_t from, int32_t to) const { take(here, from, to); }
  void across(int32_t x) const {
    if (hasFrom) take(from, x, x);
  }
  bool allKnown(int32_t x0) const {
    for (int32_t x = x0; x < x0 + 4 && x < width; ++x)
      if (here.dist(x) != 0) return false;
    return true;
  }
};

// The steps of one group, x0 its first pixel in the pass's direction (dir +1 forward, -1
// backward: x1 = x0 + dir, ...), in the order of the map's cell width.
template <int kDistanceBits>
void group(const Pass<kDistanceBits> &p, int32_t x0, int32_t dir, bool first) {
  const int32_t x1 = x0 + dir, x2 = x0 + 2 * dir, x3 = x0 + 3 * dir;
  if constexpr (kDistanceBits == 8) {
    if (!first) p.along(x0 - dir, x0);
    p.across(x3);
    p.along(x0, x1);
    p.across(x0);
    p.along(x1, x2);
    p.across(x1);
    p.along(x2, x3);
    p.across(x2);
  } else {
    if (!first) p.along(x0 - dir, x0);
    p.across(x1);
    p.across(x0);
    p.along(x0, x1);
    p.along(x1, x2);
    p.across(x3);
    p.across(x2);
    p.along(x2, x3);
  }
}

template <int kDistanceBits>
void propagate(uint8_t *values, int32_t width, int32_t height, int32_t vBpr, uint8_t *distances,
               int32_t dBpr) {
  auto rowAt = [&](int32_t y) {
    return Row<kDistanceBits>{values + int64_t{kFrame + y} * vBpr + kFrame,
                              distances + int64_t{kFrame + y} * dBpr + kFrame * kDistanceBits / 8};
  };
  for (int32_t y = 0; y < height; ++y) {  // forward
    const Pass<kDistanceBits> p{rowAt(y), rowAt(y > 0 ? y - 1 : y), y > 0, width};
    for (int32_t x0 = 0; x0 < width; x0 += 4)
      if (!p.allKnown(x0)) group(p, x0, 1, x0 == 0);
  }
  const int32_t lastGroup = (width - 1) / 4 * 4;
  for (int32_t y = height - 1; y >= 0; --y) {  // backward
    const Pass<kDistanceBits> p{rowAt(y), rowAt(y + 1 < height ? y + 1 : y), y + 1 < height, width};
    for (int32_t g = lastGroup; g >= 0; g -= 4)
      if (!p.allKnown(g)) group(p, g + 3, -1, g == lastGroup);
  }
}

}  // namespace

extern "C" {

int32_t pxlPropagateNearest(PxlContext *, uint8_t *values, int32_t width, int32_t height,
                            int32_t valuesBytesPerRow, int32_t valuesDepth, uint8_t *distances,
                            int32_t distancesBytesPerRow, int32_t distanceDepth) {
  if (distanceDepth != 8 && distanceDepth != 16) return PXL_ERR_PARAM;
  if (valuesDepth != 8) return PXL_ERR_NOT_IMPLEMENTED;
  if (width <= 0 || height <= 0) return 0;
  if (distanceDepth == 8)
    propagate<8>(values, width, height, valuesBytesPerRow, distances, distancesBytesPerRow);
  else
    propagate<16>(values, width, height, valuesBytesPerRow, distances, distancesBytesPerRow);
  return 0;
}

int32_t pxlFadeByDistance(PxlContext *, uint8_t *values, int32_t width, int32_t height,
                          int32_t valuesBytesPerRow, const uint8_t *distances,
                          int32_t distancesBytesPerRow) {
  for (int32_t y = 0; y < height; ++y) {
    const Row<16> row{values + int64_t{y} * valuesBytesPerRow,
                      const_cast<uint8_t *>(distances) + int64_t{y} * distancesBytesPerRow};
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t g = row.dist(x);
      if (g <= 1) continue;
      uint8_t &h = row.value(x);
      h = static_cast<uint8_t>((h >> 1) < (g >> 1) ? h >> 1 : h - (g >> 1));
    }
  }
  return 0;
}

}  // extern "C"
