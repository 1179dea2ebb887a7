// Plan and row gatherers of the one-pass small-angle rotation (see i_nirfl.h).
//
// Rates (Q16): s = 2 x the Q15 sine of the angle's magnitude; with resolutions that differ
// by more than 1 dpi the horizontal rate is s x xDpi / yDpi and the vertical one
// s x yDpi / xDpi, else both are s. A rate beyond twice the rate of 910 units is refused:
// it would cut runs of no pixels and overflow the offsets. i0 = ((w / 2) x vRate + 0x8000)
// >> 16 centres the vertical shear, b0 = ((h / 2) x hRate + 0x8000) >> 16 the horizontal
// one. Runs: A = 0x10000000 / vRate; a run is floor(A / 4096) pixels, one more when a
// fraction accumulator (from 0, losing A mod 4096 per run, gaining 4096 after a run that
// found it negative) is negative.
//
// Seam smoothing: for a run piece whose source row r and the row above it (r - 1, where
// the next run comes from) both hold ink in horizontally adjacent pairs of pixels that the
// previous destination row does not have inked, the piece is taken one pixel further
// left. Ink is a set bit at depth 1 and a pixel whose most significant bit is 0 deeper.
#include <algorithm>
#include <cstdlib>
#include <type_traits>

#include "i_nirfl.h"
#include "pxl_internal.h"
#include "pxl_utils.h"

namespace pxl::shear {
namespace {

constexpr int32_t kMaxUnits = 910;

// Source word q of a row, white outside the row; the grey tail reads as white.
inline uint32_t wordAt(const Plan &p, const uint32_t *row, int64_t q) {
  if (q < 0 || q >= p.words) return p.fill;
  return q == p.words - 1 ? row[q] | p.tailMask : row[q];
}

// 32 source bits from bit position `bit` of a row, with the range tests.
inline uint32_t fetchChecked(const Plan &p, const uint32_t *row, int64_t bit) {
  const int64_t q = bit >> 5;  // floor
  const int32_t off = static_cast<int32_t>(bit & 31);
  const uint32_t high = wordAt(p, row, q) << off;
  return off == 0 ? high : high | (wordAt(p, row, q + 1) >> (32 - off));
}

// The same where words q and q + 1 lie inside the row (off 0 reads nothing of q + 1).
inline uint32_t fetchInside(const uint32_t *row, int64_t q, int32_t off) {
  return (row[q] << off) | ((row[q + 1] >> 1) >> (31 - off));
}

// Where row y reads: first source row index, bit shift and the word span of the
// destination row whose source words all lie inside the row.
struct RowPlace {
  int64_t topRow;
  int64_t shiftBits;
  int64_t q0;  // word offset: destination word i reads source words i + q0, i + q0 + 1
  int32_t off;
  int64_t insideFrom, insideTo;
};

RowPlace placeRow(const Plan &p, int64_t y) {
  RowPlace r;
  r.topRow = y + p.i0;
  const int64_t hs = ((y * p.hRate) >> 16) - p.b0;
  r.shiftBits = hs * p.depth;
  r.q0 = r.shiftBits >> 5;
  r.off = static_cast<int32_t>(r.shiftBits & 31);
  const int64_t safeLast = p.tailMask != 0 ? p.words - 2 : p.words - 1;
  r.insideFrom = std::clamp<int64_t>(-r.q0, 0, p.words);
  r.insideTo = std::clamp<int64_t>(safeLast - r.q0, r.insideFrom, p.words);
  return r;
}

// Source row of each run for one destination row; rows outside the image point to the
// white row, so the words inside the row span need no tests at all.
void runRows(const Plan &p, const Rows &src, int64_t topRow, const uint32_t **rows) {
  for (int32_t k = 0; k < p.runs; ++k) {
    const int64_t row = topRow - k;
    rows[k] =
        static_cast<uint64_t>(row) < static_cast<uint64_t>(p.height) ? src.row(row) : p.whiteRow;
  }
}

inline uint32_t assembleChecked(const Plan &p, const uint32_t *const *rows, const RowPlace &r,
                                int64_t i) {
  uint32_t acc = 0;
  for (int32_t k = p.first[i]; k < p.first[i + 1]; ++k) {
    const Piece &piece = p.pieces[k];
    acc |= fetchChecked(p, rows[piece.run], i * 32 + r.shiftBits) & piece.mask;
  }
  return acc;
}

// Calls visit(word, mask, run) for every run piece of a destination row, in order, and
// returns the number of runs. Runs follow the stretch-table rule.
template <typename Visit>
int32_t walkPieces(const Plan &p, int64_t inverse, Visit visit) {
  const int64_t rowEnd = p.words * 32;  // bits
  int64_t acc = 0, bit = 0;
  int32_t run = 0;
  while (bit < rowEnd) {
    const bool longer = acc < 0;
    const int64_t runEnd = std::min(rowEnd, bit + p.depth * ((inverse >> 12) + (longer ? 1 : 0)));
    while (bit < runEnd) {
      const int64_t word = bit / 32;
      const int64_t from = bit - word * 32, to = std::min(runEnd, (word + 1) * 32) - word * 32;
      visit(word, (~0u >> from) & (to >= 32 ? ~0u : ~(~0u >> to)), run);
      bit = word * 32 + to;
    }
    acc -= inverse & 0xFFF;
    if (longer) acc += 4096;
    ++run;
  }
  return run;
}

}  // namespace

Plan::~Plan() {
  if (block != nullptr) pxl::freeRecord(ctx, block);
}

int32_t makePlan(int32_t fullWidth, int32_t fullHeight, int32_t units, int32_t depth, int32_t xDpi,
                 int32_t yDpi, Plan *plan, bool *negative) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  if (units > kMaxUnits || units < -kMaxUnits) return PXL_ERR_ANGLE;
  if (fullWidth < 64 || fullHeight < 64) return PXL_ERR_PARAM;
  const auto x16 = static_cast<int16_t>(xDpi), y16 = static_cast<int16_t>(yDpi);
  const bool unequal = std::abs(int32_t{x16} - int32_t{y16}) > 1;
  if (unequal && (x16 <= 0 || y16 <= 0)) return PXL_ERR_PARAM;
  Plan &p = *plan;
  p.width = fullWidth - 64;
  p.height = fullHeight - 64;
  p.depth = depth;
  p.words = (int64_t{p.width} * depth + 31) / 32;
  *negative = units < 0;
  int32_t sine = 0, limit = 0;
  pxlFixedSin(nullptr, std::abs(units), &sine);
  pxlFixedSin(nullptr, kMaxUnits, &limit);
  const int64_t s = 2 * int64_t{sine};
  const int64_t h = unequal ? s * x16 / y16 : s;
  const int64_t v = unequal ? s * y16 / x16 : s;
  if (h > 4 * int64_t{limit} || v > 4 * int64_t{limit}) return PXL_ERR_PARAM;
  p.hRate = static_cast<int32_t>(h);
  p.vRate = static_cast<int32_t>(v);
  p.identity = std::min(p.hRate, p.vRate) <= 2;
  p.fill = depth == 1 ? 0u : ~0u;
  const int32_t rowBits = static_cast<int32_t>(int64_t{p.width} * depth % 32);
  p.tailMask = depth == 1 || rowBits == 0 ? 0u : p.fill >> rowBits;
  if (p.identity) return PXL_OK;
  if (p.ctx == nullptr) return PXL_ERR_NO_MEMORY;
  p.i0 = static_cast<int32_t>(((int64_t{p.width / 2} * p.vRate) + 0x8000) >> 16);
  p.b0 = static_cast<int32_t>(((int64_t{p.height / 2} * p.hRate) + 0x8000) >> 16);

  // Cut the destination row's words into run pieces: count them, then lay out the tables.
  const int64_t inverse = 0x10000000 / p.vRate;
  int64_t pieceCount = 0;
  p.runs = walkPieces(p, inverse, [&](int64_t, uint32_t, int32_t) { ++pieceCount; });
  const int64_t words = p.words;
  const int64_t bytes = words * int64_t{sizeof(Segment)} + pieceCount * int64_t{sizeof(Piece)} +
                        int64_t{p.runs} * int64_t{sizeof(uint32_t *)} + (words + 2) * 4 +
                        (words + 1) * 4;
  p.block = pxl::allocRecord(p.ctx, static_cast<size_t>(bytes));
  if (p.block == nullptr) return PXL_ERR_NO_MEMORY;
  auto *at = static_cast<uint8_t *>(p.block);
  auto carve = [&](auto *&array, int64_t count) {
    array = reinterpret_cast<std::remove_reference_t<decltype(array)>>(at);
    at += count * int64_t{sizeof(*array)};
  };
  carve(p.segments, words);
  carve(p.pieces, pieceCount);
  carve(p.runRows, p.runs);
  carve(p.whiteRow, words + 2);
  carve(p.first, words + 1);
  std::fill(p.whiteRow, p.whiteRow + words + 2, p.fill);
  std::fill(p.first, p.first + words + 1, 0);
  int32_t n = 0;
  walkPieces(p, inverse, [&](int64_t word, uint32_t mask, int32_t run) {
    p.pieces[n++] = {mask, run};
    p.first[word + 1] = n;
  });
  for (int64_t i = 0; i < words; ++i) {
    const Piece &head = p.pieces[p.first[i]];
    const int32_t count = p.first[i + 1] - p.first[i];
    Segment *last = p.segmentCount > 0 ? &p.segments[p.segmentCount - 1] : nullptr;
    if (count == 1 && head.mask == ~0u && last != nullptr && last->pieces == 1 &&
        last->run == head.run)
      last->end = i + 1;
    else
      p.segments[p.segmentCount++] = {i, i + 1, head.run,
                                      count == 1 && head.mask == ~0u ? 1
                                      : count == 2                   ? 2
                                                                     : 0,
                                      head.mask};
  }
  return PXL_OK;
}

Rows contentRows(uint8_t *framed, int32_t bytesPerRow, int32_t depth, int32_t height,
                 bool negative) {
  Rows r;
  uint8_t *origin = framed + int64_t{32} * bytesPerRow + 4 * depth;
  r.stride = bytesPerRow / 4;
  r.base = reinterpret_cast<uint32_t *>(origin);
  if (negative) {
    r.base += (int64_t{height} - 1) * r.stride;
    r.stride = -r.stride;
  }
  return r;
}

void pxlShearGatherRow(const Plan &plan, const Rows &src, int64_t y, const uint32_t **rows,
                       uint32_t *out) {
  const RowPlace r = placeRow(plan, y);
  runRows(plan, src, r.topRow, rows);
  int64_t i = 0;
  for (; i < r.insideFrom; ++i) out[i] = assembleChecked(plan, rows, r, i);
  // The inside span by segments: whole words of one run are a shifted copy of its row.
  const Piece *pieces = plan.pieces;
  const int32_t *first = plan.first;
  const int32_t off = r.off;
  const Segment *segment =
      std::lower_bound(plan.segments, plan.segments + plan.segmentCount, i,
                       [](const Segment &s, int64_t word) { return s.end <= word; });
  for (; i < r.insideTo; ++segment) {
    const int64_t end = std::min(segment->end, r.insideTo);
    if (segment->pieces == 1) {
      const uint32_t *from = rows[segment->run] + r.q0;
      for (; i < end; ++i) out[i] = (from[i] << off) | ((from[i + 1] >> 1) >> (31 - off));
      continue;
    }
    if (segment->pieces == 2) {
      const uint32_t m = segment->mask;
      out[i] = (fetchInside(rows[segment->run], i + r.q0, off) & m) |
               (fetchInside(rows[segment->run + 1], i + r.q0, off) & ~m);
      ++i;
      continue;
    }
    uint32_t acc = 0;
    for (const Piece *piece = pieces + first[i], *last = pieces + first[i + 1]; piece != last;
         ++piece)
      acc |= fetchInside(rows[piece->run], i + r.q0, off) & piece->mask;
    out[i++] = acc;
  }
  for (; i < plan.words; ++i) out[i] = assembleChecked(plan, rows, r, i);
}

void pxlShearGatherRowSmooth(const Plan &plan, const Rows &src, int64_t y, const uint32_t *previous,
                             uint32_t *out) {
  const RowPlace r = placeRow(plan, y);
  const int32_t d = plan.depth;
  const uint32_t msb = d == 1 ? ~0u : d == 2 ? 0xAAAAAAAAu : d == 4 ? 0x88888888u : 0x80808080u;
  auto ink = [&](uint32_t v) { return d == 1 ? v : ~v & msb; };
  for (int64_t i = 0; i < plan.words; ++i) {
    const uint32_t blankAbove = d == 1 ? ~previous[i] : previous[i] & msb;
    uint32_t acc = 0;
    for (int32_t k = plan.first[i]; k < plan.first[i + 1]; ++k) {
      const Piece &piece = plan.pieces[k];
      const int64_t row = r.topRow - piece.run;
      uint32_t v = plan.fill;
      if (static_cast<uint64_t>(row) < static_cast<uint64_t>(plan.height)) {
        const int64_t bit = i * 32 + r.shiftBits;
        v = fetchChecked(plan, src.row(row), bit);
        const uint32_t next = row >= 1 ? fetchChecked(plan, src.row(row - 1), bit) : plan.fill;
        const uint32_t both = ink(v) & ink(next);
        const uint32_t pairs = both & ((both << d) | (both >> d));
        if ((pairs & piece.mask & blankAbove) != 0) v = fetchChecked(plan, src.row(row), bit - d);
      }
      acc |= v & piece.mask;
    }
    out[i] = acc;
  }
}

}  // namespace pxl::shear
