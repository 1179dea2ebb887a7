// Shared plan and row gatherers of the one-pass small-angle rotation by simultaneous
// shears (the copying front end i_nirfl1 and the in-place one i_nirfl2).
//
// Destination (x, y) = source (x + hs(y), y + i0 - k(x)): hs(y) = floor(y * hRate / 65536)
// - b0 is the horizontal shift of row y and k(x) the number of whole runs of the vertical
// rate left of column x (runs cut by the stretch-table rule from column 0). For each
// destination word the plan lists one mask per run piece inside it and the run's index, so
// a word is assembled from a few masked, shifted source words; the middle of each row,
// where every source word read lies inside the row, skips the column range tests. Rows and
// columns outside the source read as white (0 at depth 1, all ones deeper; the bits after
// a grey row's last pixel read as white too).
//
// Negative angles are the mirror image: the rows are walked from the bottom up (base at
// the last content row, negated strides) with the angle's magnitude.
#ifndef PXL_I_NIRFL_H
#define PXL_I_NIRFL_H

#include <cstdint>

#include "pxl_context.h"

namespace pxl::shear {

// One run piece inside a destination word.
struct Piece {
  uint32_t mask;
  int32_t run;
};

// Consecutive destination words that one run covers whole (pieces 1), or one word made of
// two runs (pieces 2: run under mask, run + 1 under ~mask) or of more (pieces 0).
struct Segment {
  int64_t begin, end;
  int32_t run;
  int32_t pieces;
  uint32_t mask;
};

// The plan's tables live in one block from the context's record set, released with the plan.
struct Plan {
  explicit Plan(PxlContext *context) : ctx(context) {}
  ~Plan();
  Plan(const Plan &) = delete;
  Plan &operator=(const Plan &) = delete;

  PxlContext *ctx;
  void *block = nullptr;
  int32_t width = 0, height = 0, depth = 0;
  int64_t words = 0;             // words of a row's content
  int32_t hRate = 0, vRate = 0;  // Q16
  int32_t i0 = 0, b0 = 0;
  int32_t runs = 0;         // runs that touch the row (k reaches runs - 1)
  uint32_t fill = 0;        // white word
  uint32_t tailMask = 0;    // white bits after the last pixel of a grey row
  bool identity = false;    // the smaller rate is too small to move anything
  Piece *pieces = nullptr;  // pieces of word i: [first[i], first[i + 1])
  int32_t *first = nullptr;
  Segment *segments = nullptr;  // the words in order
  int64_t segmentCount = 0;
  uint32_t *whiteRow = nullptr;        // words + 2 white words
  const uint32_t **runRows = nullptr;  // scratch: the source row of each run
};

// A framed buffer walked from its first or (negated stride) its last content row.
struct Rows {
  uint32_t *base = nullptr;
  int64_t stride = 0;  // words, signed
  uint32_t *row(int64_t y) const { return base + y * stride; }
};

// Checks the arguments and makes the plan: 8 depth, 9 |units| > 910, 2 bad resolutions or a
// resolution-scaled rate beyond twice the rate of 910 units (or sizes), 1 no memory.
// *negative tells that the rows are to be walked from the bottom.
int32_t makePlan(int32_t fullWidth, int32_t fullHeight, int32_t units, int32_t depth, int32_t xDpi,
                 int32_t yDpi, Plan *plan, bool *negative);

// The framed buffer's content rows in the walking order.
Rows contentRows(uint8_t *framed, int32_t bytesPerRow, int32_t depth, int32_t height,
                 bool negative);

// Destination row y (walking order) from the source rows into out (plan.words words).
// previous is the destination row assembled just before (smoothing), or null.
// rows is scratch for plan.runs row pointers.
void pxlShearGatherRow(const Plan &plan, const Rows &src, int64_t y, const uint32_t **rows,
                       uint32_t *out);
void pxlShearGatherRowSmooth(const Plan &plan, const Rows &src, int64_t y, const uint32_t *previous,
                             uint32_t *out);

}  // namespace pxl::shear

#endif
