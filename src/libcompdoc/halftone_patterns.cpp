// The grey table and the dot patterns of a halftone screen cell.
//
// A cell of c x c pixels with w white pixels gets grey value w, except for cells 4 and 16,
// whose c^2 + 1 white counts are folded into c^2 values: (floor((c^2 + 1) / 2) + w c^2) /
// (c^2 + 1). Its pattern dictionary holds one pattern per grey value: a dot that grows from the
// cell's centre one pixel at a time, ring by ring (odd cells start with the centre pixel, even
// cells with the central 2 x 2 block; each further ring is two pixels wider). A ring is filled
// four pixels at a time, one on each side (top, right, bottom, left, each the quarter turn of
// the one before), starting in the middle of the sides and alternating outwards to the
// corners, so that the dot keeps its quarter-turn symmetry. The empty cell is the first
// pattern, and each added pixel makes the next one, except where the set-pixel count hits the
// next entry of a skip list of c^2 + 1 - count evenly spread counts (round(j c^2 / (s + 1)) in
// single precision). The list is then reversed: pattern 0 is the full cell, so that a cell of
// w white pixels is drawn with about c^2 - w black ones.
//
// Failures: 10003 for a cell outside 1 .. 16 or a count outside 2 .. c^2 + 1; 1 (reported)
// when the block cannot be allocated.
#include <cmath>
#include <cstdlib>
#include <utility>

#include "halftone_internal.h"
#include "qtz_err.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace htr {

namespace {

// The dot as it grows, and the patterns made so far.
struct DotBuilder {
  int32_t cell;
  int32_t count;
  uint32_t *bits;
  const int32_t *skips;
  int32_t skipCount;
  uint32_t current[kMaxCell] = {};
  int32_t made = 1;  // the empty cell, already in the zeroed block
  int32_t set = 0;
  int32_t nextSkip = 0;

  void add(int32_t x, int32_t y) {
    current[y] |= 0x80000000u >> x;
    ++set;
    if (nextSkip < skipCount && set == skips[nextSkip]) {
      ++nextSkip;
      return;
    }
    if (made >= count) return;  // more pixels than patterns: caught by the final count
    for (int32_t r = 0; r < cell; ++r) bits[made * cell + r] = current[r];
    ++made;
  }

  // The ring of side `side` whose top-left pixel is (corner, corner).
  void ring(int32_t corner, int32_t side) {
    if (side == 1) {
      add(corner, corner);
      return;
    }
    // Offsets along a side, middle first, alternating outwards (ties: left of the middle).
    int32_t order[kMaxCell];
    const int32_t n = side - 1;
    for (int32_t u = 0; u < n; ++u) order[u] = u;
    auto distance = [side](int32_t u) { return std::abs(2 * u - (side - 1)); };
    for (int32_t i = 1; i < n; ++i)
      for (int32_t j = i; j > 0 && distance(order[j]) < distance(order[j - 1]); --j)
        std::swap(order[j], order[j - 1]);
    const int32_t far = corner + side - 1;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t u = order[i];
      add(corner + u, corner);  // top
      add(far, corner + u);     // right
      add(far - u, far);        // bottom
      add(corner, far - u);     // left
    }
  }
};

}  // namespace

int32_t greyLevelCount(int32_t cell) {
  return cell == 4 || cell == 16 ? cell * cell : cell * cell + 1;
}

int32_t greyValue(int32_t cell, int32_t whites) {
  if (cell != 4 && cell != 16) return whites;
  const int32_t area = cell * cell;
  return ((area + 1) / 2 + whites * area) / (area + 1);
}

int32_t buildPatterns(QtzState *state, int32_t cell, int32_t count, uint32_t **bits) {
  if (cell < 1 || cell > kMaxCell || count < 2 || count > cell * cell + 1 || bits == nullptr)
    return QTZ_ERR_ASSERT;
  const int32_t area = cell * cell;
  const int32_t skipCount = area - count + 1;
  int32_t skips[kMaxCell * kMaxCell];
  for (int32_t j = 1; j <= skipCount; ++j)
    skips[j - 1] = static_cast<int32_t>(
        std::floor(static_cast<float>(j * area) / static_cast<float>(skipCount + 1) + 0.5f));

  qtz::OwnedBlock<uint32_t> block(
      state, static_cast<uint32_t *>(qtz::allocateZeroed(
                 state, static_cast<size_t>(count) * static_cast<size_t>(cell), sizeof(uint32_t))));
  if (!block) return qtz::report(state, QTZ_ERR_NO_MEMORY);

  DotBuilder dot{cell, count, block.get(), skips, skipCount};
  if (cell % 2 == 1) {
    const int32_t centre = (cell + 1) / 2 - 1;
    for (int32_t side = 1; side <= cell; side += 2) dot.ring(centre - (side - 1) / 2, side);
  } else {
    for (int32_t side = 2; side <= cell; side += 2) dot.ring(cell / 2 - side / 2, side);
  }
  if (dot.made != count) return QTZ_ERR_ASSERT;

  // Full cell first.
  uint32_t *b = block.get();
  for (int32_t lo = 0, hi = count - 1; lo < hi; ++lo, --hi)
    for (int32_t r = 0; r < cell; ++r) std::swap(b[lo * cell + r], b[hi * cell + r]);
  *bits = block.release();
  return 0;
}

}  // namespace htr
