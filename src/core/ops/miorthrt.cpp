// Quarter and half turns of framed 1-, 2-, 4- and 8-bit buffers.
//
// Quarter turns work in square blocks: n = 32 / depth source rows of one 32-bit word each
// hold an n x n matrix of pixels, which is transposed in registers by the recursive
// exchange of halves, quarters, ... down to single pixels (log2 n masked exchange steps
// over the n words); each transposed word is one destination word, written once. Strips of
// n source rows are taken from the bottom (clockwise) or from the top (counter-clockwise),
// so that destination words start on word boundaries; the last strip reads up to n - 1
// rows of the source's frame and the last word column up to n - 1 pixels beyond the width,
// which land in the destination's frame (frames are 0, so row tails stay clear).
//
// The half turn reverses each row word by word (byte swap, then nibble, pair and bit
// exchanges down to the depth) and realigns it by the tail bits T = (w mod n) x depth, so
// that the destination's row tail is clear; blank and solid words skip the reversal. In
// place, rows are exchanged in pairs from the outside in through one temporary row.
//
// The progress callback is called directly after every strip (quarter turns) or row pair
// (half turn); a non-zero answer stops with 14, the destination partly written.
#include <cstring>

#include "i_direct_poll.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_rotate.h"

namespace {

bool supportedDepth(int32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8;
}

// Content row y of a framed buffer as words (y may reach into the frame: -32 <= y).
inline uint32_t *contentRow(uint8_t *framed, int32_t bytesPerRow, int32_t depth, int64_t y) {
  return reinterpret_cast<uint32_t *>(framed + (32 + y) * bytesPerRow + 4 * depth);
}
inline const uint32_t *contentRow(const uint8_t *framed, int32_t bytesPerRow, int32_t depth,
                                  int64_t y) {
  return reinterpret_cast<const uint32_t *>(framed + (32 + y) * bytesPerRow + 4 * depth);
}

// Transposes the n x n matrix of depth-bit pixels held in a[0..n-1] (row k, pixel c at
// bits 31 - c * depth down): afterwards a[c] holds the former column c.
template <int Depth>
inline void transposeBlock(uint32_t *a) {
  constexpr int n = 32 / Depth;
  uint32_t m = 0x0000FFFFu;
  for (int j = 16; j >= Depth; j >>= 1, m ^= m << j) {
    const int rows = j / Depth;
    for (int k = 0; k < n; k = (k + rows + 1) & ~rows) {
      const uint32_t t = (a[k] ^ (a[k + rows] >> j)) & m;
      a[k] ^= t;
      a[k + rows] ^= t << j;
    }
  }
}

template <int Depth, bool Clockwise>
int32_t quarterTurn(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t w, int32_t h,
                    int32_t srcBpr, int32_t dstBpr) {
  constexpr int n = 32 / Depth;
  const int64_t words = (int64_t{w} * Depth + 31) / 32;
  const int64_t strips = (int64_t{h} + n - 1) / n;
  const int64_t dstStride = dstBpr / 4;
  uint32_t block[n];
  for (int64_t s = 0; s < strips; ++s) {
    // Clockwise: strip s holds source rows h - n(s+1) .. h - ns - 1, bottom row first, and
    // becomes destination word column s. Counter-clockwise: rows ns .. ns + n - 1, top
    // first, likewise.
    const int64_t top = Clockwise ? int64_t{h} - n * (s + 1) : n * s;
    const uint32_t *rows[n];
    for (int j = 0; j < n; ++j)
      rows[j] = contentRow(src, srcBpr, Depth, Clockwise ? top + n - 1 - j : top + j);
    for (int64_t c = 0; c < words; ++c) {
      for (int j = 0; j < n; ++j) block[j] = rows[j][c];
      transposeBlock<Depth>(block);
      // Source column x = nc + i goes to destination row x (clockwise) or w - 1 - x.
      if (Clockwise) {
        uint32_t *out = contentRow(dst, dstBpr, Depth, n * c) + s;
        for (int i = 0; i < n; ++i, out += dstStride) *out = block[i];
      } else {
        uint32_t *out = contentRow(dst, dstBpr, Depth, int64_t{w} - 1 - n * c) + s;
        for (int i = 0; i < n; ++i, out -= dstStride) *out = block[i];
      }
    }
    if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  }
  return PXL_OK;
}

template <bool Clockwise>
int32_t quarterTurnAnyDepth(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t fullWidth,
                            int32_t fullHeight, int32_t srcBpr, int32_t dstBpr, int32_t depth) {
  if (!supportedDepth(depth)) return PXL_ERR_DEPTH;
  if (dst == nullptr || src == nullptr || fullWidth < 64 || fullHeight < 64) return PXL_ERR_PARAM;
  const int32_t w = fullWidth - 64, h = fullHeight - 64;
  switch (depth) {
    case 1:
      return quarterTurn<1, Clockwise>(ctx, dst, src, w, h, srcBpr, dstBpr);
    case 2:
      return quarterTurn<2, Clockwise>(ctx, dst, src, w, h, srcBpr, dstBpr);
    case 4:
      return quarterTurn<4, Clockwise>(ctx, dst, src, w, h, srcBpr, dstBpr);
    default:
      return quarterTurn<8, Clockwise>(ctx, dst, src, w, h, srcBpr, dstBpr);
  }
}

// The pixels of a word in reverse order.
inline uint32_t reversePixels(uint32_t v, int32_t depth) {
  if (v == 0 || v == ~0u) return v;
  v = __builtin_bswap32(v);
  if (depth < 8) v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  if (depth < 4) v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  if (depth < 2) v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  return v;
}

// One row of `words` words with `tail` content bits in its last word (0: the whole word)
// reversed into out (a different row).
void reverseRow(const uint32_t *in, uint32_t *out, int64_t words, int32_t tail, int32_t depth) {
  if (tail == 0) {
    for (int64_t i = 0; i < words; ++i) out[words - 1 - i] = reversePixels(in[i], depth);
    return;
  }
  uint32_t previous = 0;
  for (int64_t i = 0; i < words; ++i) {
    const uint32_t r = reversePixels(in[i], depth);
    out[words - 1 - i] = (r << (32 - tail)) | (previous >> tail);
    previous = r;
  }
}

}  // namespace

extern "C" {

int32_t pxlRotate90Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                       int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                       int32_t depth) {
  return quarterTurnAnyDepth<true>(ctx, dst, src, srcFullWidth, srcFullHeight, srcBytesPerRow,
                                   dstBytesPerRow, depth);
}

int32_t pxlRotate270Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                        int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                        int32_t depth) {
  return quarterTurnAnyDepth<false>(ctx, dst, src, srcFullWidth, srcFullHeight, srcBytesPerRow,
                                    dstBytesPerRow, depth);
}

int32_t pxlRotate180Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                        int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                        int32_t depth) {
  if (!supportedDepth(depth)) return PXL_ERR_DEPTH;
  if (dst == nullptr || src == nullptr || srcFullWidth < 64 || srcFullHeight < 64)
    return PXL_ERR_PARAM;
  const int32_t w = srcFullWidth - 64, h = srcFullHeight - 64;
  const int64_t words = (int64_t{w} * depth + 31) / 32;
  const int32_t tail = static_cast<int32_t>(int64_t{w} * depth % 32);
  if (dst != src) {
    for (int64_t y = 0; y < h; ++y) {
      reverseRow(contentRow(src, srcBytesPerRow, depth, y),
                 contentRow(dst, dstBytesPerRow, depth, h - 1 - y), words, tail, depth);
      if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
    }
    return PXL_OK;
  }
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  const size_t rowBytes = static_cast<size_t>(words) * 4;
  pxl::OwnedPixels<uint32_t> temp(
      ctx, static_cast<uint32_t *>(pxl::allocPixelsZeroed(ctx, rowBytes + 4 * depth)));
  if (!temp) return PXL_ERR_NO_MEMORY;
  uint32_t *spare = temp.get() + depth;  // behind a margin of 4 x depth bytes
  for (int64_t t = 0, b = h - 1; t <= b; ++t, --b) {
    uint32_t *top = contentRow(dst, dstBytesPerRow, depth, t);
    uint32_t *bottom = contentRow(dst, dstBytesPerRow, depth, b);
    reverseRow(top, spare, words, tail, depth);
    if (t != b) reverseRow(bottom, top, words, tail, depth);
    std::memcpy(bottom, spare, rowBytes);
    if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  }
  return PXL_OK;
}

}  // extern "C"
