// Plan and row gatherers of the one-pass small-angle rotation (see i_nirfl.h).
//
// The plan holds the shifts h(l) and g(l) of every line, the run index k(x2) of every column a
// shifted destination row can reach and the seams where k changes. A destination row is
// cut at the seams (shifted by the row's h) into runs; each run is copied from its source
// row with a bit offset, words wholly inside the source without range tests. The
// resolution-scaled sines may reach twice the sine of 910 units, no more: beyond that the
// runs become too short for the word copies to pay.
//
// Seam smoothing: a run whose source row r and the row the next run comes from (r - 1 for
// a positive vertical factor, r + 1 for a negative one) both hold ink in horizontally
// adjacent pairs of pixels that the previous destination row does not have inked is taken
// one pixel further left. Ink is a set bit at depth 1 and a pixel whose most significant
// bit is 0 deeper.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "i_nirfl.h"
#include "pxl_internal.h"

namespace pxl::shear {
namespace {

constexpr int32_t kMaxUnits = 910;
constexpr int64_t kAhead = 6;  // destination rows a run's source is fetched ahead
constexpr double kUnitsPerRadian = 0.15915494580678602 * 32768;

// Source word q of a row, white outside the row; the grey tail reads as white.
inline uint32_t wordAt(const Plan &p, const uint32_t *row, int64_t q) {
  if (q < 0 || q >= p.words) return p.fill;
  return q == p.words - 1 ? row[q] | p.tailMask : row[q];
}

// The last source word that a fetch may read without the range tests.
inline int64_t safeLast(const Plan &p) {
  return p.tailMask != 0 ? p.words - 2 : p.words - 1;
}

// 32 source bits from bit position `bit` of a row.
inline uint32_t fetch(const Plan &p, const uint32_t *row, int64_t bit) {
  const int64_t q = bit >> 5;  // floor
  const int32_t off = static_cast<int32_t>(bit & 31);
  if (q >= 0 && q + 1 <= safeLast(p)) return (row[q] << off) | ((row[q + 1] >> 1) >> (31 - off));
  const uint32_t high = wordAt(p, row, q) << off;
  return off == 0 ? high : high | (wordAt(p, row, q + 1) >> (32 - off));
}

// Rounds halves away from 0, so that a shear by -f undoes a shear by f.
inline int64_t roundOf(double v) {
  return static_cast<int64_t>(std::round(v));
}

// Puts bits [from, to) of the destination row from the row's bits [from + delta, to +
// delta). The spans of a row come in order and cover it: a word a span leaves unfinished is
// held in acc (the pieces so far, ORed) until the span that ends it; whole words between are
// a shifted copy, tested against the row's ends only where they reach them.
inline void putSpan(const Plan &p, const uint32_t *row, int64_t from, int64_t to, int64_t delta,
                    uint32_t *out, uint32_t &acc) {
  const int64_t first = from >> 5, last = (to - 1) >> 5;
  const uint32_t head = ~0u >> (from & 31);
  const uint32_t tail = (to & 31) == 0 ? ~0u : ~(~0u >> (to & 31));
  if (first == last) {
    acc |= fetch(p, row, first * 32 + delta) & head & tail;
    if ((to & 31) == 0) out[first] = acc, acc = 0;
    return;
  }
  out[first] = acc | (fetch(p, row, first * 32 + delta) & head);
  const int64_t q0 = delta >> 5;
  const int32_t off = static_cast<int32_t>(delta & 31);
  const int64_t insideFrom = std::clamp(-q0, first + 1, last);
  const int64_t insideTo = std::clamp(safeLast(p) - q0, insideFrom, last);
  int64_t i = first + 1;
  for (; i < insideFrom; ++i) out[i] = fetch(p, row, i * 32 + delta);
  const uint32_t *from32 = row + q0;
  for (; i < insideTo; ++i) out[i] = (from32[i] << off) | ((from32[i + 1] >> 1) >> (31 - off));
  for (; i < last; ++i) out[i] = fetch(p, row, i * 32 + delta);
  acc = fetch(p, row, last * 32 + delta) & tail;
  if ((to & 31) == 0) out[last] = acc, acc = 0;
}

// Whether the run over bits [from, to) of source row r (read with delta) breaks a stroke
// at its seam: see the file comment.
bool breaksStroke(const Plan &p, const Rows &src, int64_t r, int64_t from, int64_t to,
                  int64_t delta, const uint32_t *previous) {
  const int32_t d = p.depth;
  const int64_t next = r + (p.vFactor > 0 ? -1 : 1);
  if (static_cast<uint64_t>(next) >= static_cast<uint64_t>(p.height)) return false;
  const uint32_t msb = d == 1 ? ~0u : d == 2 ? 0xAAAAAAAAu : d == 4 ? 0x88888888u : 0x80808080u;
  auto ink = [&](uint32_t v) { return d == 1 ? v : ~v & msb; };
  for (int64_t i = from >> 5; i <= (to - 1) >> 5; ++i) {
    const uint32_t head = i == from >> 5 ? ~0u >> (from & 31) : ~0u;
    const uint32_t tail = i == (to - 1) >> 5 && (to & 31) != 0 ? ~(~0u >> (to & 31)) : ~0u;
    const uint32_t blankAbove = d == 1 ? ~previous[i] : previous[i] & msb;
    const uint32_t both =
        ink(fetch(p, src.row(r), i * 32 + delta)) & ink(fetch(p, src.row(next), i * 32 + delta));
    const uint32_t pairs = both & ((both << d) | (both >> d));
    if ((pairs & head & tail & blankAbove) != 0) return true;
  }
  return false;
}

}  // namespace

Plan::~Plan() {
  if (block != nullptr) pxl::freeRecord(ctx, block);
}

double radiansOfUnits(int32_t units) {
  return units / kUnitsPerRadian;
}

int32_t checkUnits(int32_t units) {
  return units >= -kMaxUnits && units <= kMaxUnits ? PXL_OK : PXL_ERR_ANGLE;
}

int32_t checkAngle(double angle) {
  const double units = angle * kUnitsPerRadian;
  return std::fabs(units) < kMaxUnits + 1 ? PXL_OK : PXL_ERR_ANGLE;
}

int32_t makePlan(int32_t fullWidth, int32_t fullHeight, double angle, int32_t depth, int32_t xDpi,
                 int32_t yDpi, Plan *plan) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  if (fullWidth < 64 || fullHeight < 64) return PXL_ERR_PARAM;
  const auto x16 = static_cast<int16_t>(xDpi), y16 = static_cast<int16_t>(yDpi);
  const bool unequal = std::abs(int32_t{x16} - int32_t{y16}) > 1;
  if (unequal && (x16 <= 0 || y16 <= 0)) return PXL_ERR_PARAM;
  Plan &p = *plan;
  const double ratio = unequal ? double(x16) / double(y16) : 1.0;
  const double sine = std::sin(angle), limit = 2 * std::sin(radiansOfUnits(kMaxUnits));
  if (std::fabs(sine * ratio) > limit || std::fabs(sine / ratio) > limit) return PXL_ERR_PARAM;
  p.hFactor = -std::tan(angle / 2) * ratio;
  p.vFactor = sine / ratio;
  p.width = fullWidth - 64;
  p.height = fullHeight - 64;
  p.depth = depth;
  p.cx = p.width / 2;
  p.cy = p.height / 2;
  p.words = (int64_t{p.width} * depth + 31) / 32;
  p.fill = depth == 1 ? 0u : ~0u;
  const int32_t rowBits = static_cast<int32_t>(int64_t{p.width} * depth % 32);
  p.tailMask = depth == 1 || rowBits == 0 ? 0u : p.fill >> rowBits;
  auto shiftOf = [&](int64_t line, double quarter) {
    return roundOf(-p.hFactor * double(line - p.cy) + quarter);
  };
  auto runAt = [&](int64_t x2) { return roundOf(p.vFactor * double(x2 - p.cx)); };
  const int64_t shiftLow = std::min(shiftOf(0, 0.25), shiftOf(p.height - 1, 0.25));
  const int64_t shiftHigh = std::max(shiftOf(0, 0.25), shiftOf(p.height - 1, 0.25));
  p.identity = shiftLow == 0 && shiftHigh == 0 && shiftOf(0, -0.25) == 0 &&
               shiftOf(p.height - 1, -0.25) == 0 && runAt(0) == 0 && runAt(p.width - 1) == 0;
  if (p.identity) return PXL_OK;
  if (p.ctx == nullptr) return PXL_ERR_NO_MEMORY;

  // The columns a shifted row reaches, x2 = x + h(y): shiftLow .. width - 1 + shiftHigh.
  p.runLow = shiftLow;
  const int64_t columns = p.width + shiftHigh - shiftLow;
  const int64_t bytes = (2 * int64_t{p.height} + 2 * columns) * 4 + (p.words + 2) * 4;
  p.block = pxl::allocRecord(p.ctx, static_cast<size_t>(bytes));
  if (p.block == nullptr) return PXL_ERR_NO_MEMORY;
  auto *at = static_cast<uint32_t *>(p.block);
  p.whiteRow = at;
  std::fill(p.whiteRow, p.whiteRow + p.words + 2, p.fill);
  p.rowShift = reinterpret_cast<int32_t *>(at + p.words + 2);
  p.sourceShift = p.rowShift + p.height;
  p.runOf = p.sourceShift + p.height;
  p.seams = p.runOf + columns;
  for (int64_t y = 0; y < p.height; ++y) {
    p.rowShift[y] = static_cast<int32_t>(shiftOf(y, 0.25));
    p.sourceShift[y] = static_cast<int32_t>(shiftOf(y, -0.25));
  }
  for (int64_t i = 0; i < columns; ++i) {
    p.runOf[i] = static_cast<int32_t>(runAt(p.runLow + i));
    if (i > 0 && p.runOf[i] != p.runOf[i - 1])
      p.seams[p.seamCount++] = static_cast<int32_t>(p.runLow + i);
  }
  return PXL_OK;
}

int64_t lowestSourceRow(const Plan &p, int64_t y, bool smooth) {
  const int64_t h = p.rowShift[y];
  const int64_t k = std::max(p.runOf[h - p.runLow], p.runOf[h + p.width - 1 - p.runLow]);
  return y - k - (smooth ? 1 : 0);
}

Rows contentRows(uint8_t *framed, int32_t bytesPerRow, int32_t depth) {
  Rows r;
  r.base = reinterpret_cast<uint32_t *>(framed + int64_t{32} * bytesPerRow + 4 * depth);
  r.stride = bytesPerRow / 4;
  return r;
}

void pxlShearGatherRow(const Plan &p, const Rows &src, int64_t y, const uint32_t *previous,
                       uint32_t *out) {
  const int64_t h = p.rowShift[y], rowEnd = p.words * 32;
  const int32_t d = p.depth;
  const int32_t *seam = std::upper_bound(p.seams, p.seams + p.seamCount, static_cast<int32_t>(h));
  const int32_t *seamsEnd = p.seams + p.seamCount;
  int64_t x = 0;
  uint32_t acc = 0;
  while (x < p.width) {
    const int64_t end = seam != seamsEnd ? std::min<int64_t>(p.width, *seam++ - h) : p.width;
    const int64_t r = y - p.runOf[x + h - p.runLow];
    const int64_t from = x * d, to = end == p.width ? rowEnd : end * d;
    if (static_cast<uint64_t>(r) < static_cast<uint64_t>(p.height)) {
      int64_t delta = (h + p.sourceShift[r]) * d;
      if (previous != nullptr && breaksStroke(p, src, r, from, to, delta, previous)) delta -= d;
      // The run's source bits for a later destination row come from a row kAhead further
      // down at the same place; each run reads a new stretch of a row that nothing read
      // before, which the hardware does not foresee, so it is asked for ahead of need.
      if (r + kAhead < p.height) {
        const int64_t word = std::clamp<int64_t>((from + delta) >> 5, 0, p.words - 1);
        __builtin_prefetch(src.row(r + kAhead) + word);
      }
      putSpan(p, src.row(r), from, to, delta, out, acc);
    } else {
      putSpan(p, p.whiteRow, from, to, 0, out, acc);
    }
    x = end;
  }
}

}  // namespace pxl::shear
