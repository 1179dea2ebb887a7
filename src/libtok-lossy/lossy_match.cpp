// The two bitmap tests of the classifier. hausMatch is a two-way test in the manner of a
// Hausdorff distance: at one of a few small relative shifts, almost every black pixel of each
// bitmap lies inside the other's dilation; the pixels allowed outside grow with the outline
// length (border count) of the bitmap, and must not cluster in a 3 x 3 window. hausBestShift
// picks, among the same shifts, the one at which the bitmaps differ in the fewest pixels.
//
// The two-way test alone lets different characters through: a shape lies inside the one-pixel
// dilation of any shape whose strokes are one pixel thicker, so a small 't' matches a '1', and
// a bold letter its regular form. A match therefore also needs the bitmaps, aligned at the
// trial shift around the accepted one where they differ least, to differ only by edge noise
// (shapesAgree): in under a tenth of the smaller black count (or, for shapes of 60 pixels or
// more, in up to 22 % of the smaller border count less two: see agreementLimit), with no two
// adjacent differing
// pixels that are not beside a stroke at least two pixels deep of the shape lacking them. An
// outline moved by a pixel passes; a one-pixel stem doubled (a 't' against a '1'), a new stroke or
// a closed gap does not. Every use of the test (a token joining a class, member verification, class
// merges) goes through it, so no member ends up far from its representative.
//
// Both counts run over packed words: one AND (outside the complemented dilation) or XOR
// (differences) and a popcount per word that is not 0, reading the other bitmap at any bit offset,
// so any shift is handled (columns outside a bitmap read as white, outside a dilation as
// uncovered). Counting stops as soon as the count exceeds its limit, and tests on black counts
// reject hopeless pairs before any row is read. Shift (dx, dy) places bitmap B's top-left corner at
// (dx, dy) from A's; B's pixel (x, y) lies on A's dilation pixel (x + dx, y + dy + passes).
#include <algorithm>
#include <bit>

#include "lossy_records.h"

namespace tok {

const int32_t kTrialShifts[kMaxShiftTrials + 1][2] = {
    {0, 0},  {-1, 0}, {1, 0},  {0, -1}, {0, 1},   {-1, -1}, {1, 1},  {1, -1}, {-1, 1},
    {-2, 0}, {2, 0},  {0, -2}, {0, 2},  {-2, -2}, {2, 2},   {2, -2}, {-2, 2}, {-2, -1},
    {2, 1},  {1, -2}, {-1, 2}, {-2, 1}, {2, -1},  {-1, -2}, {1, 2}};

namespace {

// Word i of a row of `words` words; fill outside the row.
inline uint32_t wordOr(const uint32_t *row, int32_t words, int64_t i, uint32_t fill) {
  return static_cast<uint64_t>(i) < static_cast<uint64_t>(words) ? row[i] : fill;
}

// 32 bits of a row of `words` words starting at column s; columns outside read as fill. The two
// words the bits come from are joined into one 64-bit value, so no shift needs its own case.
inline uint32_t bitsAt(const uint32_t *row, int32_t words, int64_t s, uint32_t fill) {
  const int64_t q = s >> 5;  // floor division
  const uint64_t pair =
      (uint64_t{wordOr(row, words, q, fill)} << 32) | wordOr(row, words, q + 1, fill);
  return static_cast<uint32_t>((pair << (s & 31)) >> 32);
}

inline int32_t usedWords(const Bitmap &b) {
  return (b.width + 31) / 32;
}

// The first two words of a row of `words` words (1 or 2) as one value, column 0 at bit 63; a
// missing second word reads as `missing`.
inline uint64_t rowPair(const uint32_t *row, int32_t words, uint32_t missing) {
  return (uint64_t{row[0]} << 32) | (words > 1 ? row[1] : missing);
}

inline int32_t bitCount64(uint64_t w) {
  return bitCount(static_cast<uint32_t>(w >> 32)) + bitCount(static_cast<uint32_t>(w));
}

// Black pixels of row y of B, whose rows use `words` words.
inline int64_t rowBlack(const Bitmap &b, int64_t y, int32_t words) {
  const uint32_t *row = b.rows + y * b.wordsPerRow;
  int64_t c = 0;
  for (int32_t k = 0; k < words; ++k) {
    if (row[k] != 0) c += bitCount(row[k]);
  }
  return c;
}

// Rows and word columns (on A's word grid) covering A and B with B at (dx, dy) from A.
struct UnionBox {
  int64_t k0, k1, top, bottom;
};

inline UnionBox unionBox(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy) {
  const int64_t left = std::min<int64_t>(0, dx);
  const int64_t right = std::max<int64_t>(a.width, int64_t{dx} + b.width);
  return {left >> 5, (right + 31) >> 5, std::min<int64_t>(0, dy),
          std::max<int64_t>(a.height, int64_t{dy} + b.height)};
}

inline int32_t shiftTrials(const TokTokenizer *tok) {
  return std::min(tok->opt.shiftTrials, kMaxShiftTrials);
}

// Word k of B's error row y: B's pixels outside A's dilation.
inline uint32_t errorWord(const Dilation &aDil, const Bitmap &b, int32_t dx, int64_t dilRow,
                          int64_t y, int32_t k) {
  const int32_t words = usedWords(b);
  if (y < 0 || y >= b.height || k < 0 || k >= words) return 0;
  const uint32_t bw = b.rows[y * b.wordsPerRow + k];
  if (dilRow + y < 0 || dilRow + y >= aDil.height) return bw;
  const uint32_t *d = aDil.rows + (dilRow + y) * aDil.wordsPerRow;
  return bw & bitsAt(d, aDil.wordsPerRow, int64_t{32} * k + dx, 0xFFFFFFFFU);
}

// Densest 3 x 3 window over the set pixels that word(y, k) yields, for a bitmap of width
// columns and height rows (centres on rows 1 to height - 2, every column).
template <typename WordFn>
int32_t densestWindow(WordFn word, int32_t width, int32_t height) {
  const int32_t words = (width + 31) / 32;
  int32_t best = 0;
  for (int32_t y = 1; y + 1 < height; ++y) {
    for (int32_t k = 0; k < words; ++k) {
      uint32_t planes[4] = {0, 0, 0, 0};  // bit-sliced per-column count, 0 to 9
      auto add = [&](uint32_t v) {
        for (uint32_t &p : planes) {
          const uint32_t carry = p & v;
          p ^= v;
          v = carry;
        }
      };
      for (int32_t r = y - 1; r <= y + 1; ++r) {
        const uint32_t m = word(r, k);
        add(m);
        add((m >> 1) | (word(r, k - 1) << 31));
        add((m << 1) | (word(r, k + 1) >> 31));
      }
      uint32_t any = planes[0] | planes[1] | planes[2] | planes[3];
      const int32_t rest = width - 32 * k;
      if (rest < 32) any &= ~(0xFFFFFFFFU >> rest);
      while (any != 0) {
        const int bit = std::countr_zero(any);
        any &= any - 1;
        int32_t count = 0;
        for (int i = 0; i < 4; ++i) count |= static_cast<int32_t>((planes[i] >> bit) & 1U) << i;
        best = std::max(best, count);
      }
    }
  }
  return best;
}

}  // namespace

int32_t errorBudget(int32_t border, const TokTokenizer *tok) {
  const float complement = 1.0f - tok->opt.matchFraction;
  const auto e = static_cast<int64_t>(static_cast<double>(complement) * border);
  const int64_t offset = tok->opt.errorOffset;
  const int64_t knee = tok->opt.errorKnee;
  if (e - offset < 0) return 0;
  if (e < knee) return static_cast<int32_t>(e - offset);
  const double slope = static_cast<double>(e - knee) * static_cast<double>(tok->opt.errorSlope);
  const auto sloped = static_cast<int64_t>(slope + static_cast<double>(knee - offset));
  return static_cast<int32_t>(std::clamp<int64_t>(std::min(e, sloped), 0, INT32_MAX));
}

int32_t densestErrorWindow(const uint32_t *rows, int32_t wordsPerRow, int32_t width,
                           int32_t height) {
  const int32_t words = (width + 31) / 32;
  return densestWindow(
      [&](int64_t y, int32_t k) -> uint32_t {
        if (y < 0 || y >= height || k < 0 || k >= words) return 0;
        return rows[y * wordsPerRow + k];
      },
      width, height);
}

namespace {

// A count above a limit as the count tests return it.
inline int32_t clampCount(int64_t c) {
  return static_cast<int32_t>(std::min<int64_t>(c, INT32_MAX));
}

// Whether B's pixels outside A's dilation (B at dx from A, B's row 0 on the dilation's row
// dilRow) cluster: more than the allowed errors in one 3 x 3 window. Kept out of line, away from
// the counting loop of every shift trial.
[[gnu::noinline]] bool errorsCluster(const Dilation &aDil, const Bitmap &b, int32_t dx,
                                     int64_t dilRow, const TokTokenizer *tok) {
  const int32_t densest =
      densestWindow([&](int64_t y, int32_t k) { return errorWord(aDil, b, dx, dilRow, y, k); },
                    b.width, b.height);
  return densest > tok->opt.maxClusterErrors;
}

// countOutside, inlined into the shift trials. B's rows beyond the dilation's rows count whole
// and read no dilation words, so they are counted first: they often pass the limit alone.
[[gnu::always_inline]] inline int32_t outsideCount(const Dilation &aDil, const Bitmap &b,
                                                   int32_t dx, int32_t dy, int32_t limit,
                                                   const TokTokenizer *tok) {
  if (int64_t{b.black} - aDil.black > limit) return b.black;
  const int64_t dilRow = int64_t{dy} + tok->passes;
  const int32_t words = usedWords(b);
  // B's rows y0 to y1 - 1 lie on the dilation's rows.
  const int64_t y0 = std::clamp<int64_t>(-dilRow, 0, b.height);
  const int64_t y1 = std::clamp<int64_t>(aDil.height - dilRow, y0, b.height);
  int64_t c = 0;
  for (int64_t y = 0; y < y0; ++y) {
    c += rowBlack(b, y, words);
    if (c > limit) return clampCount(c);
  }
  for (int64_t y = y1; y < b.height; ++y) {
    c += rowBlack(b, y, words);
    if (c > limit) return clampCount(c);
  }
  // Rows of two words at most on a dilation of two words at most (most glyphs): one 64-bit
  // window of the dilation per row, its columns outside the dilation shifted in as uncovered.
  const bool narrow = words <= 2 && aDil.wordsPerRow <= 2 && dx > -64 && dx < 64;
  const int32_t left = std::max(dx, 0), right = std::max(-dx, 0);
  const uint64_t uncovered = ((uint64_t{1} << left) - 1) | ~(~uint64_t{0} >> right);
  for (int64_t y = y0; y < y1; ++y) {
    const uint32_t *brow = b.rows + y * b.wordsPerRow;
    const uint32_t *d = aDil.rows + (dilRow + y) * aDil.wordsPerRow;
    if (narrow) {
      const uint64_t open =
          ((rowPair(d, aDil.wordsPerRow, 0xFFFFFFFFU) << left) >> right) | uncovered;
      const uint64_t outside = rowPair(brow, words, 0) & open;
      if (outside == 0) continue;
      c += bitCount64(outside);
    } else {
      for (int32_t k = 0; k < words; ++k) {
        if (brow[k] == 0) continue;
        const uint32_t outside =
            brow[k] & bitsAt(d, aDil.wordsPerRow, int64_t{32} * k + dx, 0xFFFFFFFFU);
        if (outside != 0) c += bitCount(outside);
      }
    }
    if (c > limit) return clampCount(c);
  }
  if (c > tok->opt.maxClusterErrors && b.width > 2 && errorsCluster(aDil, b, dx, dilRow, tok)) {
    return b.black;
  }
  return static_cast<int32_t>(c);
}

}  // namespace

int32_t countOutside(const Dilation &aDil, const Bitmap &b, int32_t dx, int32_t dy, int32_t limit,
                     const TokTokenizer *tok) {
  return outsideCount(aDil, b, dx, dy, limit, tok);
}

namespace {

// Whether the processor counts bits with one instruction (checked once). The counting loops are
// compiled twice, the second time for that instruction (the compilers turn bitCount's
// shifts-and-adds into it), and the first kind is chosen where it runs.
bool hasPopcount() {
  static const bool has = __builtin_cpu_supports("popcnt");
  return has;
}

// countDifferences, compiled into both kinds of counting.
[[gnu::always_inline]] inline int32_t differenceCount(const Bitmap &a, const Bitmap &b, int32_t dx,
                                                      int32_t dy, int32_t limit) {
  const int64_t gap = int64_t{a.black} - b.black;
  if (gap > limit || -gap > limit) return std::max(a.black, b.black);
  const int32_t aWords = usedWords(a);
  const int32_t bWords = usedWords(b);
  const UnionBox box = unionBox(a, b, dx, dy);
  const int64_t k0 = box.k0, k1 = box.k1, top = box.top, bottom = box.bottom;
  // Rows of two words at most within a union of two words (most glyph pairs): one 64-bit XOR per
  // row, A's word 0 at word 0 - k0 of the union, B's column 0 at bit dx - 32 k0 from the left.
  const int64_t bShift = dx - 32 * k0;
  const bool narrow = aWords <= 2 && bWords <= 2 && k0 >= -1 && k1 - k0 <= 2 && bShift < 64;
  const uint64_t unionMask = k1 - k0 == 2 ? ~uint64_t{0} : ~uint64_t{0} << 32;
  int64_t c = 0;
  for (int64_t y = top; y < bottom; ++y) {
    const bool inA = y >= 0 && y < a.height;
    const int64_t by = y - dy;
    const bool inB = by >= 0 && by < b.height;
    if (inA && !inB) {
      c += rowBlack(a, y, aWords);
    } else if (inB && !inA) {
      c += rowBlack(b, by, bWords);
    } else if (inA && inB) {
      const uint32_t *arow = a.rows + y * a.wordsPerRow;
      const uint32_t *brow = b.rows + by * b.wordsPerRow;
      if (narrow) {
        const uint64_t aw = rowPair(arow, aWords, 0) >> (-32 * k0);
        const uint64_t bw = rowPair(brow, bWords, 0) >> bShift;
        const uint64_t differ = (aw ^ bw) & unionMask;
        if (differ != 0) c += bitCount64(differ);
        if (c > limit) return clampCount(c);
        continue;
      }
      for (int64_t k = k0; k < k1; ++k) {
        const uint32_t aw = k >= 0 && k < aWords ? arow[k] : 0;
        const uint32_t differ = aw ^ bitsAt(brow, bWords, 32 * k - dx, 0);
        if (differ != 0) c += bitCount(differ);
      }
    }
    if (c > limit) return clampCount(c);
  }
  return static_cast<int32_t>(c);
}

[[gnu::target("popcnt")]] int32_t differenceCountCounted(const Bitmap &a, const Bitmap &b,
                                                         int32_t dx, int32_t dy, int32_t limit) {
  return differenceCount(a, b, dx, dy, limit);
}

int32_t differenceCountPortable(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy,
                                int32_t limit) {
  return differenceCount(a, b, dx, dy, limit);
}

}  // namespace

int32_t countDifferences(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy, int32_t limit) {
  return hasPopcount() ? differenceCountCounted(a, b, dx, dy, limit)
                       : differenceCountPortable(a, b, dx, dy, limit);
}

namespace {

// Differences allowed between two shapes in all: below a tenth of the smaller black count; for
// shapes of at least 60 black pixels, up to 22 % of the smaller border count less two where
// that is more. Edge noise moves outline pixels, so it grows with the outline rather than the
// area: a glyph of strokes two or three pixels wide (text scanned at 100 to 200 dpi) has about
// as many border pixels as black ones, and its outline moved by a pixel along a fifth of its
// length already differs in more than a tenth of its pixels. Small glyphs (points, commas, a
// 7-point digit, a rendered '1' or '0' rasterised a row apart) keep the tenth, and so do thick
// glyphs, whose black count is well above their border count.
constexpr int32_t kOutlineRuleMinBlack = 60;

inline int32_t agreementLimit(const Bitmap &a, const Bitmap &b) {
  const int32_t fewer = std::min(a.black, b.black);
  const int32_t byArea = (fewer - 1) / 10;
  if (fewer < kOutlineRuleMinBlack) return byArea;
  const auto byOutline = static_cast<int32_t>(int64_t{std::min(a.border, b.border)} * 22 / 100);
  return std::max(byArea, byOutline - 2);
}

// Words of a grid of differing pixels (rows of the two shapes' union box).
constexpr int32_t kGridWords = 1024;

// Word k of row y of a grid of `words` words per row and `height` rows; 0 outside it.
inline uint32_t gridWord(const uint32_t *grid, int32_t words, int32_t height, int32_t y,
                         int32_t k) {
  return (y < 0 || y >= height || k < 0 || k >= words) ? 0 : grid[int64_t{y} * words + k];
}

// Whether a grid of `words` words per row and `height` rows holds two 8-adjacent set pixels.
bool hasAdjacentPair(const uint32_t *d, int32_t words, int32_t height) {
  auto at = [&](int32_t y, int32_t k) { return gridWord(d, words, height, y, k); };
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t k = 0; k < words; ++k) {
      const uint32_t m = at(y, k);
      if (m == 0) continue;
      uint32_t near = (m >> 1) | (at(y, k - 1) << 31) | (m << 1) | (at(y, k + 1) >> 31);
      for (int32_t r : {y - 1, y + 1}) {
        const uint32_t v = at(r, k);
        near |= v | (v >> 1) | (at(r, k - 1) << 31) | (v << 1) | (at(r, k + 1) >> 31);
      }
      if ((m & near) != 0) return true;
    }
  }
  return false;
}

// Pixels of `only` (a grid of one shape's pixels missing from the other) that are not edge
// noise beside `other` (the grid of the shape that lacks them).
void keepOffEdge(uint32_t *only, const uint32_t *other, int32_t words, int32_t height) {
  auto at = [&](int32_t y, int32_t k) { return gridWord(other, words, height, y, k); };
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t k = 0; k < words; ++k) {
      const int64_t i = int64_t{y} * words + k;
      if (only[i] == 0) continue;
      const uint32_t m = at(y, k), before = at(y, k - 1), after = at(y, k + 1);
      // Column x + 1, x + 2 (to the right) and x - 1, x - 2 (to the left); bit 31 is the left.
      const uint32_t r1 = (m << 1) | (after >> 31), r2 = (m << 2) | (after >> 30);
      const uint32_t l1 = (m >> 1) | (before << 31), l2 = (m >> 2) | (before << 30);
      const uint32_t deep =
          (r1 & r2) | (l1 & l2) | (at(y - 1, k) & at(y - 2, k)) | (at(y + 1, k) & at(y + 2, k));
      only[i] &= ~deep;
    }
  }
}

// Whether, with B at (dx, dy) from A, the pixels in which they differ are edge noise: no two
// adjacent pixels of one shape missing from the other lie away from the other's outline (a
// differing pixel is edge noise where the shape lacking it has a stroke at least two pixels deep
// beside it: the outline moved by a pixel; elsewhere it marks a stroke thickened from one pixel,
// a new stroke or a closed gap). Pairs too large for the grids are not passed.
bool onlyEdgeNoise(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy) {
  const UnionBox box = unionBox(a, b, dx, dy);
  const int64_t k0 = box.k0, k1 = box.k1, top = box.top, bottom = box.bottom;
  const int64_t words = k1 - k0;
  const int64_t height = bottom - top;
  if (words * height > kGridWords) return false;
  uint32_t gridA[kGridWords];
  uint32_t gridB[kGridWords];
  uint32_t onlyA[kGridWords];
  uint32_t onlyB[kGridWords];
  const int32_t aWords = usedWords(a);
  const int32_t bWords = usedWords(b);
  for (int64_t y = top; y < bottom; ++y) {
    const bool inA = y >= 0 && y < a.height;
    const int64_t by = y - dy;
    const bool inB = by >= 0 && by < b.height;
    for (int64_t k = k0; k < k1; ++k) {
      const uint32_t aw = inA ? bitsAt(a.rows + y * a.wordsPerRow, aWords, 32 * k, 0) : 0;
      const uint32_t bw = inB ? bitsAt(b.rows + by * b.wordsPerRow, bWords, 32 * k - dx, 0) : 0;
      const int64_t i = (y - top) * words + (k - k0);
      gridA[i] = aw;
      gridB[i] = bw;
      onlyA[i] = aw & ~bw;
      onlyB[i] = bw & ~aw;
    }
  }
  const auto w = static_cast<int32_t>(words);
  const auto h = static_cast<int32_t>(height);
  keepOffEdge(onlyA, gridB, w, h);
  keepOffEdge(onlyB, gridA, w, h);
  return !hasAdjacentPair(onlyA, w, h) && !hasAdjacentPair(onlyB, w, h);
}

}  // namespace

bool shapesAgree(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy,
                 const TokTokenizer *tok) {
  // The trial shift at which the shapes differ least (the first of equals) is the alignment:
  // after one is taken, a later shift counts only up to one difference fewer.
  int32_t limit = agreementLimit(a, b);
  int32_t best = -1;
  const int32_t trials = shiftTrials(tok);
  for (int32_t i = 0; i <= trials; ++i) {
    const int32_t d =
        countDifferences(a, b, dx + kTrialShifts[i][0], dy + kTrialShifts[i][1], limit);
    if (d > limit) continue;
    best = i;
    if (d == 0) return true;
    limit = d - 1;
  }
  if (best < 0) return false;
  return onlyEdgeNoise(a, b, dx + kTrialShifts[best][0], dy + kTrialShifts[best][1]);
}

namespace {

// The shift trials of hausMatch around (dx0, dy0): the first trial at which each bitmap lies
// in the other's dilation within its error budget, with the smallest larger error of the two;
// -1 when none does. Once a shift is taken, a later one is taken only when both its errors are
// smaller: the counts stop at that bound, and after an error of 0 no shift can be better.
[[gnu::always_inline]] inline int32_t bestTrial(const Token &a, const Token &b, int32_t dx0,
                                                int32_t dy0, int32_t budgetA, int32_t budgetB,
                                                const TokTokenizer *tok) {
  const int32_t trials = shiftTrials(tok);
  int32_t limitA = budgetA;
  int32_t limitB = budgetB;
  int32_t best = -1;
  for (int32_t i = 0; i <= trials; ++i) {
    const int32_t sx = dx0 + kTrialShifts[i][0];
    const int32_t sy = dy0 + kTrialShifts[i][1];
    const int32_t f = outsideCount(*a.dilation, *b.bitmap, sx, sy, limitB, tok);
    if (f > limitB) continue;
    const int32_t g = outsideCount(*b.dilation, *a.bitmap, -sx, -sy, limitA, tok);
    if (g > limitA) continue;
    best = i;
    const int32_t bestError = std::max(f, g);
    if (bestError == 0) break;
    limitA = std::min(limitA, bestError - 1);
    limitB = std::min(limitB, bestError - 1);
  }
  return best;
}

[[gnu::target("popcnt")]] int32_t bestTrialCounted(const Token &a, const Token &b, int32_t dx0,
                                                   int32_t dy0, int32_t budgetA, int32_t budgetB,
                                                   const TokTokenizer *tok) {
  return bestTrial(a, b, dx0, dy0, budgetA, budgetB, tok);
}

int32_t bestTrialPortable(const Token &a, const Token &b, int32_t dx0, int32_t dy0, int32_t budgetA,
                          int32_t budgetB, const TokTokenizer *tok) {
  return bestTrial(a, b, dx0, dy0, budgetA, budgetB, tok);
}

}  // namespace

bool hausMatch(const Token &a, const Token &b, int32_t *dx, int32_t *dy, TokTokenizer *tok) {
  ++tok->matchCalls;
  // At any shift the shapes differ in at least the difference of their black counts: a pair
  // that cannot agree is turned away before any row is read.
  const int64_t gap = int64_t{a.bitmap->black} - b.bitmap->black;
  if (std::max(gap, -gap) > agreementLimit(*a.bitmap, *b.bitmap)) return false;
  const int32_t budgetA = errorBudget(a.bitmap->border, tok);
  const int32_t budgetB = errorBudget(b.bitmap->border, tok);
  const int32_t dx0 = *dx, dy0 = *dy;
  const int32_t best = hasPopcount() ? bestTrialCounted(a, b, dx0, dy0, budgetA, budgetB, tok)
                                     : bestTrialPortable(a, b, dx0, dy0, budgetA, budgetB, tok);
  if (best < 0) return false;
  const int32_t sx = dx0 + kTrialShifts[best][0];
  const int32_t sy = dy0 + kTrialShifts[best][1];
  if (!shapesAgree(*a.bitmap, *b.bitmap, sx, sy, tok)) return false;
  *dx = sx;
  *dy = sy;
  return true;
}

void hausBestShift(const Token &a, const Token &b, int32_t *dx, int32_t *dy,
                   const TokTokenizer *tok) {
  // A shift is taken when it differs in fewer pixels than the best so far: the count stops
  // one below that.
  int32_t limit = a.bitmap->black - 1;
  int32_t best = 0;
  const int32_t trials = shiftTrials(tok);
  for (int32_t i = 0; i <= trials && limit >= 0; ++i) {
    const int32_t d = countDifferences(*a.bitmap, *b.bitmap, *dx + kTrialShifts[i][0],
                                       *dy + kTrialShifts[i][1], limit);
    if (d <= limit) {
      best = i;
      limit = d - 1;
    }
  }
  *dx += kTrialShifts[best][0];
  *dy += kTrialShifts[best][1];
}

}  // namespace tok
