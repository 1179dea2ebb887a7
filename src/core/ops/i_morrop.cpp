// The rasterop path of the morphology runners, for elements without a compiled routine.
//
// Cells are visited row by row, left to right. A cell (c, r) with dx = c - ox, dy = r - oy
// moves a (W - |dx|) x (H - |dy|) rectangle of the source; the band of |dx| columns and |dy|
// rows it leaves uncovered has no source pixel (source 0). Dilation (members): the
// rectangle goes from (max(-dx, 0), max(-dy, 0)) to (max(dx, 0), max(dy, 0)); the first
// member copies it (op 25) and clears its bands (columns at the left when dx >= 1, else at
// the right; rows at the top when dy >= 1, else at the bottom), later members OR it (op 29).
// Erosion: the rectangle goes from (max(dx, 0), max(dy, 0)) to (max(-dx, 0), max(-dy, 0));
// the first hit copies (25) and clears its bands (columns at the right when dx >= 0, else at
// the left; rows at the bottom when dy >= 0, else at the top), later hits AND (17) and clear
// their bands alike; the first miss copies the complement (7) and sets its bands (31), later
// misses AND the complement (5) and leave their bands. A shift as large as the content
// leaves only the band. Without a cell to act on the content is cleared (dilation) or set
// (erosion). All rasterops are unclipped, on the content origins; their statuses are
// ignored, as every rectangle lies inside the content. The bits after each row's last pixel
// are cleared at the end, as the compiled path leaves them.
//
// A brick (every cell a hit, the origin inside) gives the same result separably and in a
// number of passes that grows with the logarithm of its size: each row, with zero margins
// on both sides, is widened in place to runs of 1, 2, 4, ... pixels (OR for dilation, AND
// for erosion; R_2m(x) = R_m(x) op R_m(x + m)), and the window of W pixels starting at
// offset a (ox - (W - 1) for dilation, -ox for erosion) is R_p(x + a) op R_p(x + a + W - p),
// p the largest power of two not above W; then the rows alike, with zero margin rows. The
// margins stand for the pixels outside the content (source 0). When its buffer cannot be
// had, the brick takes the cell-by-cell path.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "i_morrop.h"
#include "pxl_image.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_rasterop.h"

namespace pxl::morph {
namespace {

constexpr int32_t kNoClip = PXL_ROP_NOCLIP;

struct Target {
  PxlContext *ctx;
  uint8_t *dst;
  const uint8_t *src;
  int32_t width, height, srcBpr, dstBpr;

  void apply(PxlRopCode op, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
             int32_t sy) const {
    if (w <= 0 || h <= 0) return;
    pxlRasterOpRaw(ctx, dst, width, height, 0, 0, dx, dy, w, h, 1, dstBpr, op | kNoClip, src, width,
                   height, sx, sy, 0, 0, 1, srcBpr);
  }
  void fill(PxlRopCode op, int32_t x, int32_t y, int32_t w, int32_t h) const {
    if (w <= 0 || h <= 0) return;
    pxlRasterOpRaw(ctx, dst, width, height, 0, 0, x, y, w, h, 1, dstBpr, op | kNoClip, nullptr, 0,
                   0, 0, 0, 0, 0, 1, 0);
  }
  // The column band (at the left or right) and the row band (top or bottom) of a shift.
  void bands(PxlRopCode op, int32_t ax, bool left, int32_t ay, bool top) const {
    fill(op, left ? 0 : width - ax, 0, ax, height);
    fill(op, 0, top ? 0 : height - ay, width, ay);
  }
};

// 32 bits from bit position p of a word array of n words (bits past the end read as 0).
inline uint32_t bitsAt(const uint32_t *words, int64_t n, int64_t p) {
  const int64_t q = p >> 5;
  const int32_t r = static_cast<int32_t>(p & 31);
  const uint32_t high = q < n ? words[q] << r : 0;
  return r == 0 || q + 1 >= n ? high : high | (words[q + 1] >> (32 - r));
}

// The largest power of two not above n (n >= 1).
inline int64_t powerBelow(int64_t n) {
  int64_t p = 1;
  while (2 * p <= n) p *= 2;
  return p;
}

template <bool Erode>
inline uint32_t combine(uint32_t x, uint32_t y) {
  return Erode ? x & y : x | y;
}

// A word row widened in place to runs of `size` pixels' largest power of two: R_2m(x) =
// R_m(x) op R_m(x + m), left to right (each word reads only words not yet widened).
template <bool Erode>
void widenRow(uint32_t *row, int64_t n, int64_t size) {
  for (int64_t m = 1; 2 * m <= size; m *= 2)
    for (int64_t j = 0; j < n; ++j) row[j] = combine<Erode>(row[j], bitsAt(row, n, 32 * j + m));
}

template <bool Erode>
int32_t runBrick(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t width, int32_t height,
                 int32_t srcBpr, int32_t dstBpr, int32_t bw, int32_t bh, int32_t ox, int32_t oy) {
  const int64_t n = (int64_t{width} + 31) / 32, margin = (int64_t{bw} + 31) / 32 + 2;
  const int64_t rowWords = n + 2 * margin, rowsAbove = bh, total = int64_t{height} + 2 * bh;
  pxl::OwnedPixels<uint32_t> buffer(
      ctx, static_cast<uint32_t *>(pxl::allocPixelsZeroed(
               ctx, static_cast<size_t>(rowWords * (total + 1)) * sizeof(uint32_t))));
  if (!buffer) return PXL_ERR_NO_MEMORY;
  uint32_t *scratch = buffer.get() + rowWords * total;
  auto bufferRow = [&](int64_t r) { return buffer.get() + r * rowWords; };
  const uint32_t tail = width % 32 == 0 ? ~0u : ~(~0u >> (width % 32));
  const int64_t p = powerBelow(bw), a = Erode ? -int64_t{ox} : int64_t{ox} - (bw - 1);
  for (int64_t y = 0; y < height; ++y) {
    uint32_t *row = bufferRow(rowsAbove + y);
    std::memcpy(row + margin, src + y * srcBpr, static_cast<size_t>(n) * sizeof(uint32_t));
    row[margin + n - 1] &= tail;
    widenRow<Erode>(row, rowWords, bw);
    for (int64_t i = 0; i < n; ++i) {
      const int64_t x = 32 * (margin + i) + a;
      scratch[i] = combine<Erode>(bitsAt(row, rowWords, x), bitsAt(row, rowWords, x + bw - p));
    }
    std::memcpy(row + margin, scratch, static_cast<size_t>(n) * sizeof(uint32_t));
  }
  // The rows: R_2m(r) = R_m(r) op R_m(r + m), top to bottom in place (rows past the end: 0).
  const int64_t q = powerBelow(bh), b = Erode ? -int64_t{oy} : int64_t{oy} - (bh - 1);
  for (int64_t m = 1; 2 * m <= bh; m *= 2)
    for (int64_t r = 0; r < total; ++r) {
      uint32_t *row = bufferRow(r) + margin;
      const uint32_t *below = r + m < total ? bufferRow(r + m) + margin : nullptr;
      for (int64_t i = 0; i < n; ++i) row[i] = combine<Erode>(row[i], below ? below[i] : 0);
    }
  for (int64_t y = 0; y < height; ++y) {
    const uint32_t *first = bufferRow(rowsAbove + y + b) + margin;
    const uint32_t *second = bufferRow(rowsAbove + y + b + bh - q) + margin;
    uint32_t *out = reinterpret_cast<uint32_t *>(dst + y * dstBpr);
    for (int64_t i = 0; i < n; ++i) out[i] = combine<Erode>(first[i], second[i]);
  }
  return pxlClearRowTails(ctx, dst, width, height, dstBpr, 1);
}

bool isBrick(int32_t w, int32_t h, int32_t ox, int32_t oy, const uint8_t *cells) {
  if (int64_t{w} * h < 2 || ox < 0 || ox >= w || oy < 0 || oy >= h) return false;
  for (int64_t i = 0; i < int64_t{w} * h; ++i)
    if (cells[i] != 1) return false;
  return true;
}

}  // namespace

int32_t runRasterops(PxlContext *ctx, bool erode, uint8_t *dst, const uint8_t *src, int32_t width,
                     int32_t height, int32_t srcBpr, int32_t dstBpr, int32_t elementWidth,
                     int32_t elementHeight, int32_t ox, int32_t oy, const uint8_t *cells) {
  if (isBrick(elementWidth, elementHeight, ox, oy, cells)) {
    const int32_t status = erode ? runBrick<true>(ctx, dst, src, width, height, srcBpr, dstBpr,
                                                  elementWidth, elementHeight, ox, oy)
                                 : runBrick<false>(ctx, dst, src, width, height, srcBpr, dstBpr,
                                                   elementWidth, elementHeight, ox, oy);
    if (status != PXL_ERR_NO_MEMORY) return status;
  }
  const Target t{ctx, dst, src, width, height, srcBpr, dstBpr};
  bool first = true;
  for (int32_t r = 0; r < elementHeight; ++r)
    for (int32_t c = 0; c < elementWidth; ++c) {
      const uint8_t cell = cells[int64_t{r} * elementWidth + c];
      if (cell != 1 && !(erode && cell == 2)) continue;
      const int64_t dx = int64_t{c} - ox, dy = int64_t{r} - oy;
      const auto ax = static_cast<int32_t>(std::min<int64_t>(std::abs(dx), width));
      const auto ay = static_cast<int32_t>(std::min<int64_t>(std::abs(dy), height));
      const int32_t w = width - ax, h = height - ay;
      // Source and destination corners of the moved rectangle.
      const int32_t lowX = dx > 0 ? ax : 0, lowY = dy > 0 ? ay : 0;
      const int32_t highX = dx < 0 ? ax : 0, highY = dy < 0 ? ay : 0;
      if (!erode) {
        t.apply(first ? PXL_ROP_COPY : PXL_ROP_OR, lowX, lowY, w, h, highX, highY);
        if (first) t.bands(PXL_ROP_CLEAR, ax, dx >= 1, ay, dy >= 1);
      } else if (cell == 1) {
        t.apply(first ? PXL_ROP_COPY : PXL_ROP_AND, highX, highY, w, h, lowX, lowY);
        t.bands(PXL_ROP_CLEAR, ax, dx < 0, ay, dy < 0);
      } else {
        t.apply(first ? PXL_ROP_NOT_S : PXL_ROP_D_AND_NOT_S, highX, highY, w, h, lowX, lowY);
        if (first) t.bands(PXL_ROP_SET, ax, dx < 0, ay, dy < 0);
      }
      first = false;
    }
  if (first) t.fill(erode ? PXL_ROP_SET : PXL_ROP_CLEAR, 0, 0, width, height);
  return pxlClearRowTails(ctx, dst, width, height, dstBpr, 1);
}

}  // namespace pxl::morph
