// The statistics record that grey-image class templates hang on a class (through its class
// word), the padded template both steps work on, and the Lagrange interpolation of the
// alignment step.
#ifndef GREY_STATS_H
#define GREY_STATS_H

#include <cstdint>

#include "qtz_image.h"
#include "qtz_state.h"
#include "tok_lossy_internal.h"

namespace tcly::grey {

// Pixels of margin around the template in the padded template and the accumulator.
inline constexpr int32_t kMargin = 12;

struct ClassStats {
  QtzImage *accumulator;  // doubles, (template width + 24) x (template height + 24)
  int32_t memberCount;    // members accumulated
  int32_t minWidth;       // smallest member width and height, from 65535
  int32_t minHeight;
};

inline ClassStats *statsOf(const TokOutClass *cls) {
  return reinterpret_cast<ClassStats *>(cls->classWord);
}

// Frees the class's statistics record and its accumulator and clears the class word.
void freeStats(QtzState *state, TokOutClass *cls);

// The class template in a zeroed packed bilevel image (type 100) with margin pixels on every
// side; QtzImage_new's statuses.
int32_t padBitmap(QtzState *state, const TokInputToken &bitmap, int32_t margin, QtzImage **padded);
// Pixel (x, y) of a packed image; false outside it.
bool packedBit(const QtzImage *image, int64_t x, int64_t y);

// The Lagrange polynomial through (xs[j], ys[j]), j < n, at x.
double lagrangeAt(const double *xs, const double *ys, int32_t n, double x);
// Through values[i * ny + j] at (xs[i], ys[j]) (nx <= 8): first along y for each x, then along
// x.
double lagrange2d(const double *xs, const double *ys, const double *values, int32_t nx, int32_t ny,
                  double x, double y);

}  // namespace tcly::grey

#endif
