// Shared plan and row gatherers of the one-pass small-angle rotation by simultaneous
// shears (the copying front end i_nirfl1 and the in-place one i_nirfl2).
//
// The rotation by a is the three shears horizontal by -t, vertical by u, horizontal by -t
// (t = tan(a / 2), u = sin a; the horizontal factor scaled by xDpi / yDpi, the vertical one
// by yDpi / xDpi), each moving line l (a row or a column) by round(factor x (l - centre))
// whole pixels about the centre (cx, cy) = (w / 2, h / 2), with halves rounded away from 0.
// They are done at once, from the destination: destination row y reads, after the row's
// own shift h(y) = round(t (y - cy) + 1/4), the source row y1 = y - k(x + h(y)) with the
// run index k(x2) = round(u (x2 - cx)) (the stretch of the vertical shear), and within
// that row the columns moved by h(y) + g(y1), g(l) = round(t (l - cy) - 1/4). The
// quarters keep the rounding of the two horizontal shears from adding up where y1 is near
// y; as they are opposite, h for -a is -g for a. So a destination row is a few runs, each a
// shifted copy of one source row, assembled a word at a time. Each shear is a one-to-one
// map of the pixel grid, so turning by -a undoes a turn by a exactly (but for what left the
// image); a point lands within about a pixel of its true rotation. Rows and columns outside
// the source read as white (0 at depth 1, all ones deeper; the bits after a grey row's last
// pixel read as white too). Positive angles turn clockwise as displayed.
#ifndef PXL_I_NIRFL_H
#define PXL_I_NIRFL_H

#include <cstdint>

#include "pxl_context.h"

namespace pxl::shear {

// The plan's tables live in one block from the context's record set, released with the plan.
struct Plan {
  explicit Plan(PxlContext *context) : ctx(context) {}
  ~Plan();
  Plan(const Plan &) = delete;
  Plan &operator=(const Plan &) = delete;

  PxlContext *ctx;
  void *block = nullptr;
  int32_t width = 0, height = 0, depth = 0;
  int64_t words = 0;  // words of a row's content
  double hFactor = 0, vFactor = 0;
  int32_t cx = 0, cy = 0;
  uint32_t fill = 0;               // white word
  uint32_t tailMask = 0;           // white bits after the last pixel of a grey row
  bool identity = false;           // no pixel moves
  int32_t *rowShift = nullptr;     // h(y) for y = 0 .. height - 1
  int32_t *sourceShift = nullptr;  // g(y)
  int64_t runLow = 0;              // runOf[i] = k(runLow + i)
  int32_t *runOf = nullptr;
  int32_t *seams = nullptr;  // the columns x2 where k(x2) differs from k(x2 - 1), ascending
  int64_t seamCount = 0;
  uint32_t *whiteRow = nullptr;  // words + 2 white words
};

// A framed buffer's content rows.
struct Rows {
  uint32_t *base = nullptr;
  int64_t stride = 0;  // words
  uint32_t *row(int64_t y) const { return base + y * stride; }
};

// Checks the arguments and makes the plan for the angle in radians: 8 depth, 2 bad
// resolutions or a resolution-scaled sine beyond twice the sine of 910 units (or sizes),
// 1 no memory.
int32_t makePlan(int32_t fullWidth, int32_t fullHeight, double angle, int32_t depth, int32_t xDpi,
                 int32_t yDpi, Plan *plan);

// The angle in radians of a whole number of units (1/32768 of a turn); 9 for units beyond
// 910 either way, or an angle in radians whose units (truncated) are, or not finite.
double radiansOfUnits(int32_t units);
int32_t checkUnits(int32_t units);
int32_t checkAngle(double angle);

// The framed buffer's content rows.
Rows contentRows(uint8_t *framed, int32_t bytesPerRow, int32_t depth);

// Destination row y from the source rows into out (plan.words words). With smoothing,
// previous is the destination row assembled just before (null for none).
void pxlShearGatherRow(const Plan &plan, const Rows &src, int64_t y, const uint32_t *previous,
                       uint32_t *out);

// The lowest source row that destination row y (and, with smoothing, its seam test) reads.
int64_t lowestSourceRow(const Plan &plan, int64_t y, bool smooth);

}  // namespace pxl::shear

#endif
