// Rectangle counts over framed buffers: set bits of a rectangle's pixel fields (a population
// count over whole words, masks only at the two ends of each row's span) and 8- and 4-bit
// histograms. The histograms count whole words into four private tables of byte counts (one
// per byte lane, so that consecutive increments rarely hit the same counter) and fold them
// at the end; the 4-bit one splits the byte counts into nibbles then, and takes back the
// nibbles of the end bytes that lie outside the rectangle.
#include <bit>
#include <cstring>

#include "i_popcount.h"
#include "pxl_pixrows.h"

namespace {

using ByteCounts = uint32_t[256];

// Adds the n pixel-order bytes from byte `first` of a word-aligned row to the lane tables.
void addRowBytes(const uint8_t *row, int64_t first, int64_t n, ByteCounts *lanes) {
  int64_t k = first;
  const int64_t end = first + n;
  for (; k < end && (k & 3) != 0; ++k) ++lanes[0][row[k ^ 3]];
  for (; k + 4 <= end; k += 4) {
    uint32_t w;
    std::memcpy(&w, row + k, 4);
    ++lanes[0][w & 255];
    ++lanes[1][(w >> 8) & 255];
    ++lanes[2][(w >> 16) & 255];
    ++lanes[3][w >> 24];
  }
  for (; k < end; ++k) ++lanes[1][row[k ^ 3]];
}

// Byte counts of the pixel-order bytes [first, first + n) of `height` rows.
void countRectBytes(const uint8_t *framed, int32_t bytesPerRow, int32_t y, int32_t height,
                    int64_t first, int64_t n, uint32_t out[256]) {
  ByteCounts lanes[4];
  std::memset(lanes, 0, sizeof lanes);
  for (int32_t r = 0; r < height; ++r)
    addRowBytes(framed + int64_t{y + r} * bytesPerRow, first, n, lanes);
  for (int v = 0; v < 256; ++v) out[v] = lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v];
}

}  // namespace

extern "C" {

int32_t pxlCountRowBits(PxlContext *, const uint32_t *first, int32_t words, uint32_t startMask,
                        uint32_t endMask, const uint8_t *, int32_t *count) {
  const auto *p = reinterpret_cast<const uint8_t *>(first);
  uint32_t head, tail;
  std::memcpy(&head, p, 4);
  if (words <= 1) {
    *count = std::popcount(head & startMask & endMask);
    return 0;
  }
  std::memcpy(&tail, p + 4 * (int64_t{words} - 1), 4);
  const uint64_t middle = pxl::ops::countSetBits(p + 4, int64_t{words} - 2);
  *count = static_cast<int32_t>(middle) + std::popcount(head & startMask) +
           std::popcount(tail & endMask);
  return 0;
}

int32_t pxlCountBitsRaw(PxlContext *ctx, const uint8_t *framed, int32_t x, int32_t y, int32_t width,
                        int32_t rows, int32_t depth, int32_t bytesPerRow, int32_t *count) {
  *count = 0;
  if (width <= 0) return 0;
  const int64_t s = int64_t{x} * depth, e = (int64_t{x} + width) * depth - 1;
  const uint32_t startMask = ~0u >> (s % 32);
  const uint32_t endMask = ~0u << (31 - e % 32);
  const auto words = static_cast<int32_t>(e / 32 - s / 32 + 1);
  uint64_t total = 0;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t *span = framed + int64_t{y + r} * bytesPerRow + 4 * (s / 32);
    int32_t n = 0;
    pxlCountRowBits(ctx, reinterpret_cast<const uint32_t *>(span), words, startMask, endMask,
                    nullptr, &n);
    total += static_cast<uint32_t>(n);
  }
  *count = static_cast<int32_t>(total);
  return 0;
}

int32_t pxlHistogram8Raw(PxlContext *, const uint8_t *framed, int32_t bytesPerRow, int32_t x,
                         int32_t y, int32_t width, int32_t height, uint32_t *counts) {
  if (width <= 0 || height <= 0) return 0;
  uint32_t bytes[256];
  countRectBytes(framed, bytesPerRow, y, height, x, width, bytes);
  for (int v = 0; v < 256; ++v) counts[v] += bytes[v];
  return 0;
}

int32_t pxlHistogram4Raw(PxlContext *, const uint8_t *framed, int32_t bytesPerRow, int32_t x,
                         int32_t y, int32_t width, int32_t height, uint32_t *counts) {
  if (width <= 0 || height <= 0) return 0;
  const int64_t f = x / 2, l = (int64_t{x} + width - 1) / 2;
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t *row = framed + int64_t{y + r} * bytesPerRow;
    if ((x & 1) != 0) --counts[row[f ^ 3] >> 4];            // pixel left of the rectangle
    if (((x + width) & 1) != 0) --counts[row[l ^ 3] & 15];  // pixel right of it
  }
  uint32_t bytes[256];
  countRectBytes(framed, bytesPerRow, y, height, f, l - f + 1, bytes);
  for (int v = 0; v < 256; ++v) {
    counts[v >> 4] += bytes[v];
    counts[v & 15] += bytes[v];
  }
  return 0;
}

void pxlCountRowBytes(PxlContext *, const uint8_t *p, int32_t n, uint32_t *table) {
  const auto misalign = static_cast<int64_t>(reinterpret_cast<uintptr_t>(p) & 3);
  for (int64_t k = misalign; k < misalign + n; ++k) ++table[(p - misalign)[k ^ 3]];
}

}  // extern "C"
