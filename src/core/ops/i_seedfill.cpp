// Word-level seed-fill passes. A pass copies the seed into the destination (and masks it on
// the first pass), then sweeps the content rows downwards and afterwards upwards. Each row
// takes as seeds its own set pixels and the mask pixels next to a set pixel of the row
// before it in the sweep (the pixel straight across for 4-connectivity, also the two
// diagonal ones for 8-connectivity, across word edges), and spreads them along the mask's
// runs over the whole row: a left-to-right walk carries fills rightwards from word to word,
// a right-to-left walk leftwards. Inside a word the spread is a five-step prefix fill
// (shifts by 1, 2, 4, 8 and 16 under the mask's run bits). Words without seeds and without
// a carry cost one test each. Pixels a sweep cannot reach are reached by the next pass.
#include <cstring>

#include "pxl_fill.h"
#include "pxl_rasterop.h"

namespace {

constexpr int32_t kFrame = 32;

inline uint32_t load(const uint8_t *p, int32_t i) {
  uint32_t v;
  std::memcpy(&v, p + 4 * int64_t{i}, 4);
  return v;
}
inline void store(uint8_t *p, int32_t i, uint32_t v) {
  std::memcpy(p + 4 * int64_t{i}, &v, 4);
}

// Seeds spread towards the word's low bits (rightwards) along the runs of m.
inline uint32_t spreadRight(uint32_t g, uint32_t m) {
  uint32_t p = m;
  g |= p & (g >> 1);
  p &= p >> 1;
  g |= p & (g >> 2);
  p &= p >> 2;
  g |= p & (g >> 4);
  p &= p >> 4;
  g |= p & (g >> 8);
  p &= p >> 8;
  return g | (p & (g >> 16));
}
// Seeds spread towards the word's high bits (leftwards) along the runs of m.
inline uint32_t spreadLeft(uint32_t g, uint32_t m) {
  uint32_t p = m;
  g |= p & (g << 1);
  p &= p << 1;
  g |= p & (g << 2);
  p &= p << 2;
  g |= p & (g << 4);
  p &= p << 4;
  g |= p & (g << 8);
  p &= p << 8;
  return g | (p & (g << 16));
}

// One row of a sweep. Counts a word each time a walk changes it (a word that both walks
// change counts twice), which is 0 exactly when the row stayed as it was.
template <bool kEight>
int32_t fillRow(uint8_t *row, int32_t stride, const uint8_t *maskRow, int32_t words) {
  const uint8_t *prev = row - stride;
  int32_t changed = 0;
  // Left to right: the word's seeds, spread rightwards, the last pixel carried on.
  uint32_t carry = 0;
  for (int32_t i = 0; i < words; ++i) {
    const uint32_t m = load(maskRow, i), d = load(row, i);
    if ((d & m) == m) {  // nothing left to fill in this word
      carry = m & 1u;
      continue;
    }
    uint32_t a = load(prev, i);
    if (kEight) {
      const uint32_t left = i > 0 ? load(prev, i - 1) << 31 : 0;
      const uint32_t right = i + 1 < words ? load(prev, i + 1) >> 31 : 0;
      a |= (a >> 1) | (a << 1) | left | right;
    }
    uint32_t g = (d | a | (carry << 31)) & m;  // the word's seeds inside the mask
    if (g != 0 && g != m) g = spreadRight(g, m);
    const uint32_t s = d | g;
    carry = g & 1u;
    if (s != d) {
      store(row, i, s);
      ++changed;
    }
  }
  // Right to left: spread leftwards, the first pixel carried on.
  carry = 0;
  for (int32_t i = words - 1; i >= 0; --i) {
    const uint32_t m = load(maskRow, i), d = load(row, i);
    if ((carry == 0 && (d & m) == 0) || (d & m) == m) {
      carry = (d & m) >> 31;
      continue;
    }
    const uint32_t seeds = (d & m) | (carry & m);
    const uint32_t s = d | (seeds == m ? m : spreadLeft(seeds, m));
    carry = (s & m) >> 31;
    if (s != d) {
      store(row, i, s);
      ++changed;
    }
  }
  return changed;
}

template <bool kEight>
int32_t pass(PxlContext *ctx, uint8_t *dst, const uint8_t *seed, const uint8_t *mask,
             int32_t dstBpr, int32_t seedBpr, int32_t maskBpr, int32_t fullWidth,
             int32_t fullHeight, int32_t maskFirst, int32_t *changed) {
  const int32_t w = fullWidth - 2 * kFrame, h = fullHeight - 2 * kFrame;
  *changed = 0;
  if (w <= 0 || h <= 0) return 0;
  if (dst != seed)
    pxlRasterOpRaw(ctx, dst, fullWidth, fullHeight, 0, 0, kFrame, kFrame, w, h, 1, dstBpr,
                   PXL_ROP_COPY | PXL_ROP_NOCLIP, seed, fullWidth, fullHeight, kFrame, kFrame, 0, 0,
                   1, seedBpr);
  if (maskFirst != 0)
    pxlRasterOpRaw(ctx, dst, fullWidth, fullHeight, 0, 0, kFrame, kFrame, w, h, 1, dstBpr,
                   PXL_ROP_AND | PXL_ROP_NOCLIP, mask, fullWidth, fullHeight, kFrame, kFrame, 0, 0,
                   1, maskBpr);
  const int32_t words = (w + 31) / 32;
  auto rowAt = [&](uint8_t *base, int32_t bpr, int32_t r) {
    return base + int64_t{kFrame + r} * bpr + 4;
  };
  auto maskAt = [&](int32_t r) { return mask + int64_t{kFrame + r} * maskBpr + 4; };
  int32_t count = 0;
  for (int32_t r = 0; r < h; ++r)
    count += kEight ? pxlSeedFillRow8(ctx, rowAt(dst, dstBpr, r), dstBpr, maskAt(r), words)
                    : pxlSeedFillRow4(ctx, rowAt(dst, dstBpr, r), dstBpr, maskAt(r), words);
  for (int32_t r = h - 1; r >= 0; --r)
    count += kEight ? pxlSeedFillRow8(ctx, rowAt(dst, dstBpr, r), -dstBpr, maskAt(r), words)
                    : pxlSeedFillRow4(ctx, rowAt(dst, dstBpr, r), -dstBpr, maskAt(r), words);
  *changed = count;
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlSeedFillRow4(PxlContext *, uint8_t *row, int32_t stride, const uint8_t *maskRow,
                        int32_t words) {
  return fillRow<false>(row, stride, maskRow, words);
}

int32_t pxlSeedFillRow8(PxlContext *, uint8_t *row, int32_t stride, const uint8_t *maskRow,
                        int32_t words) {
  return fillRow<true>(row, stride, maskRow, words);
}

int32_t pxlSeedFillPass4(PxlContext *ctx, uint8_t *dst, const uint8_t *seed, const uint8_t *mask,
                         int32_t dstBytesPerRow, int32_t seedBytesPerRow, int32_t maskBytesPerRow,
                         int32_t fullWidth, int32_t fullHeight, int32_t maskFirst,
                         int32_t *changed) {
  return pass<false>(ctx, dst, seed, mask, dstBytesPerRow, seedBytesPerRow, maskBytesPerRow,
                     fullWidth, fullHeight, maskFirst, changed);
}

int32_t pxlSeedFillPass8(PxlContext *ctx, uint8_t *dst, const uint8_t *seed, const uint8_t *mask,
                         int32_t dstBytesPerRow, int32_t seedBytesPerRow, int32_t maskBytesPerRow,
                         int32_t fullWidth, int32_t fullHeight, int32_t maskFirst,
                         int32_t *changed) {
  return pass<true>(ctx, dst, seed, mask, dstBytesPerRow, seedBytesPerRow, maskBytesPerRow,
                    fullWidth, fullHeight, maskFirst, changed);
}

}  // extern "C"
