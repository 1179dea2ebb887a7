// Test support for the rotation tests: an image of small square marks on a grid, and how far
// the marks of a turned image land from the true rotation of their centres about the
// image's centre pixel (w / 2, h / 2).
#ifndef NORV_OPS_ROTATION_MARKS_H
#define NORV_OPS_ROTATION_MARKS_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "page_support.h"

namespace pagetest {

struct Mark {
  int x, y;
};

// A white image (0 at depth 1, the largest value deeper) with 3 x 3 ink squares centred on
// a grid of the given spacing, kept within a circle about the centre that every rotation
// leaves inside the image.
inline Pixr *markedImage(PxlContext *ctx, int w, int h, int depth, int spacing,
                         std::vector<Mark> *marks) {
  Pixr *p = blankImage(ctx, w, h, depth);
  const uint32_t white = depth == 1 ? 0 : (1u << depth) - 1, ink = depth == 1 ? 1 : 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) setPixel(p, x, y, white);
  const int cx = w / 2, cy = h / 2, radius = std::min(w, h) / 2 - 8;
  for (int y = cy % spacing + 2; y < h - 2; y += spacing)
    for (int x = cx % spacing + 2; x < w - 2; x += spacing) {
      if (std::hypot(x - cx, y - cy) > radius) continue;
      marks->push_back({x, y});
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) setPixel(p, x + dx, y + dy, ink);
    }
  return p;
}

// The largest distance between the ink centroid near a mark's true place after a turn by
// angle (positive: clockwise as displayed) and that place; 99 when a mark has no ink there.
inline double worstLanding(Pixr *turned, const std::vector<Mark> &marks, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  const int cx = turned->width / 2, cy = turned->height / 2;
  const bool bilevel = turned->depth == 1;
  const uint32_t half = (1u << turned->depth) / 2;
  double worst = 0;
  for (const Mark &m : marks) {
    const double qx = cx + c * (m.x - cx) - s * (m.y - cy);
    const double qy = cy + s * (m.x - cx) + c * (m.y - cy);
    double sumX = 0, sumY = 0, count = 0;
    for (int y = int(std::lround(qy)) - 4; y <= int(std::lround(qy)) + 4; ++y)
      for (int x = int(std::lround(qx)) - 4; x <= int(std::lround(qx)) + 4; ++x) {
        if (x < 0 || y < 0 || x >= turned->width || y >= turned->height) continue;
        const uint32_t v = pixel(turned, x, y);
        if (bilevel ? v == 0 : v >= half) continue;
        sumX += x;
        sumY += y;
        count += 1;
      }
    worst = std::max(worst, count == 0 ? 99.0 : std::hypot(sumX / count - qx, sumY / count - qy));
  }
  return worst;
}

}  // namespace pagetest

#endif
