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

#include "i_nirfl.h"
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

template <bool Inside>
inline uint32_t assembleWord(const Plan &p, const Rows &src, const RowPlace &r, int64_t i) {
  uint32_t acc = 0;
  const Piece *piece = p.pieces.data() + p.first[i];
  const Piece *end = p.pieces.data() + p.first[i + 1];
  for (; piece != end; ++piece) {
    const int64_t row = r.topRow - piece->run;
    uint32_t v = p.fill;
    if (static_cast<uint64_t>(row) < static_cast<uint64_t>(p.height)) {
      const uint32_t *s = src.row(row);
      v = Inside ? fetchInside(s, i + r.q0, r.off) : fetchChecked(p, s, i * 32 + r.shiftBits);
    }
    acc |= v & piece->mask;
  }
  return acc;
}

}  // namespace

int32_t makePlan(int32_t fullWidth, int32_t fullHeight, int32_t units, int32_t depth,
                 int32_t xDpi, int32_t yDpi, Plan *plan, bool *negative) {
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
  p.i0 = static_cast<int32_t>(((int64_t{p.width / 2} * p.vRate) + 0x8000) >> 16);
  p.b0 = static_cast<int32_t>(((int64_t{p.height / 2} * p.hRate) + 0x8000) >> 16);

  // Cut the destination row's words into run pieces.
  const int64_t inverse = 0x10000000 / p.vRate;
  const int64_t rowEnd = p.words * 32;  // bits
  try {
    p.first.assign(static_cast<size_t>(p.words) + 1, 0);
    p.pieces.clear();
    p.pieces.reserve(static_cast<size_t>(p.words + rowEnd / depth / (inverse >> 12) + 2));
    int64_t acc = 0, bit = 0;
    int32_t run = 0;
    while (bit < rowEnd) {
      const bool longer = acc < 0;
      const int64_t runEnd = std::min(rowEnd, bit + depth * ((inverse >> 12) + (longer ? 1 : 0)));
      while (bit < runEnd) {
        const int64_t word = bit / 32;
        const int64_t pieceEnd = std::min(runEnd, (word + 1) * 32);
        const uint32_t mask = (~0u >> (bit - word * 32)) &
                              (pieceEnd - word * 32 >= 32 ? ~0u : ~(~0u >> (pieceEnd - word * 32)));
        p.pieces.push_back({mask, run});
        p.first[static_cast<size_t>(word) + 1] = static_cast<int32_t>(p.pieces.size());
        bit = pieceEnd;
      }
      acc -= inverse & 0xFFF;
      if (longer) acc += 4096;
      ++run;
    }
    p.runs = run;
  } catch (const std::bad_alloc &) {
    return PXL_ERR_NO_MEMORY;
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

void pxlShearGatherRow(const Plan &plan, const Rows &src, int64_t y, uint32_t *out) {
  const RowPlace r = placeRow(plan, y);
  int64_t i = 0;
  for (; i < r.insideFrom; ++i) out[i] = assembleWord<false>(plan, src, r, i);
  for (; i < r.insideTo; ++i) out[i] = assembleWord<true>(plan, src, r, i);
  for (; i < plan.words; ++i) out[i] = assembleWord<false>(plan, src, r, i);
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
        const uint32_t next =
            row >= 1 ? fetchChecked(plan, src.row(row - 1), bit) : plan.fill;
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
