// Test support for the raw rasterop: word buffers addressed bit by bit, the 22 call arguments
// as one record, and a per-bit reference model that applies the truth table to every bit of
// the clipped rectangle independently of the word kernels.
//
// Bit b of a row is bit (31 - b mod 32) of native word b / 32; a pixel x of depth d is the d
// bits from x * d. The model works on pixels and derives clipping as the intersection of the
// rectangle with the destination (and source) content, not by the step-wise adjustments of the
// implementation.
#ifndef NORV_TEST_ROP_MODEL_H
#define NORV_TEST_ROP_MODEL_H

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pxl_rasterop.h"

namespace roptest {

// A block of rows of 32-bit words; the vector is its own heap block, so reading or writing
// past the last row is caught by the address sanitizer.
struct WordBuffer {
  int32_t bytesPerRow = 0;
  int32_t rows = 0;
  std::vector<uint32_t> words;

  WordBuffer() = default;
  WordBuffer(int32_t bpr, int32_t nrows)
      : bytesPerRow(bpr), rows(nrows), words(static_cast<size_t>(bpr / 4) * nrows) {}

  int32_t rowWords() const { return bytesPerRow / 4; }
  int64_t rowBits() const { return int64_t{bytesPerRow} * 8; }
  uint32_t *data() { return words.data(); }
  const uint32_t *data() const { return words.data(); }

  int bit(int64_t row, int64_t b) const {
    const uint32_t w = words[static_cast<size_t>(row * rowWords() + b / 32)];
    return static_cast<int>((w >> (31 - b % 32)) & 1u);
  }
  void setBit(int64_t row, int64_t b, int v) {
    uint32_t &w = words[static_cast<size_t>(row * rowWords() + b / 32)];
    const uint32_t m = 0x80000000u >> (b % 32);
    w = v ? (w | m) : (w & ~m);
  }
  void fillRandom(std::mt19937 &rng) {
    for (uint32_t &w : words) w = static_cast<uint32_t>(rng());
  }
};

// The arguments of pxlRasterOpRaw after the context and the two buffer pointers.
struct RopCall {
  int32_t dstWidth = 0, dstHeight = 0, dstFrameX = 0, dstFrameY = 0;
  int32_t dx = 0, dy = 0, width = 0, height = 0, depth = 1, op = 0;
  bool hasSource = false;
  int32_t srcWidth = 0, srcHeight = 0, sx = 0, sy = 0, srcFrameX = 0, srcFrameY = 0;
  int32_t srcDepth = 1;
};

inline std::string describe(const RopCall &c, const WordBuffer &dst, const WordBuffer *src) {
  std::ostringstream o;
  o << "op " << c.op << " depth " << c.depth << " dst " << c.dstWidth << "x" << c.dstHeight
    << " frame " << c.dstFrameX << "," << c.dstFrameY << " bpr " << dst.bytesPerRow << " rows "
    << dst.rows << " rect " << c.dx << "," << c.dy << " " << c.width << "x" << c.height;
  if (c.hasSource && src != nullptr)
    o << " src " << c.srcWidth << "x" << c.srcHeight << " frame " << c.srcFrameX << ","
      << c.srcFrameY << " at " << c.sx << "," << c.sy << " bpr " << src->bytesPerRow << " rows "
      << src->rows;
  else
    o << " constant " << ((static_cast<uint32_t>(c.op) >> 5) != 0 ? 1 : 0);
  return o.str();
}

inline int32_t callRasterOp(PxlContext *ctx, const RopCall &c, WordBuffer &dst,
                            const WordBuffer *src) {
  return pxlRasterOpRaw(ctx, dst.data(), c.dstWidth, c.dstHeight, c.dstFrameX, c.dstFrameY, c.dx,
                        c.dy, c.width, c.height, c.depth, dst.bytesPerRow, c.op,
                        c.hasSource ? src->data() : nullptr, c.srcWidth, c.srcHeight, c.sx, c.sy,
                        c.srcFrameX, c.srcFrameY, c.srcDepth, c.hasSource ? src->bytesPerRow : 0);
}

// Reference result of the call on dst (a separate buffer from src). Returns the status.
inline int32_t modelRasterOp(const RopCall &c, WordBuffer &dst, const WordBuffer *src) {
  const int32_t depth = c.depth;
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return 8;
  if (c.hasSource && c.srcDepth != depth) return 8;
  const bool clip = (c.op & 1) == 0;

  // Pixels cut off at the left and top before the size check.
  int64_t cutX, cutY;
  if (clip) {
    cutX = std::max<int64_t>({0, -int64_t{c.dx}, c.hasSource ? -int64_t{c.sx} : 0});
    cutY = std::max<int64_t>({0, -int64_t{c.dy}, c.hasSource ? -int64_t{c.sy} : 0});
  } else {
    cutX = std::max<int64_t>(0, -(int64_t{c.dstFrameX} + c.dx));
    cutY = std::max<int64_t>(0, -(int64_t{c.dstFrameY} + c.dy));
  }
  const int64_t w = c.width - cutX, h = c.height - cutY;
  if (w == 0 || h == 0) return 0;
  if (w < 0 || h < 0) return 2;

  int64_t iEnd = c.width, jEnd = c.height;
  if (clip) {
    iEnd = std::min<int64_t>(iEnd, int64_t{c.dstWidth} - c.dx);
    jEnd = std::min<int64_t>(jEnd, int64_t{c.dstHeight} - c.dy);
    if (c.hasSource) {
      iEnd = std::min<int64_t>(iEnd, int64_t{c.srcWidth} - c.sx);
      jEnd = std::min<int64_t>(jEnd, int64_t{c.srcHeight} - c.sy);
    }
  }
  const int truth = (c.op >> 1) & 15;
  const int constant = (static_cast<uint32_t>(c.op) >> 5) != 0 ? 1 : 0;
  for (int64_t j = cutY; j < jEnd; ++j) {
    const int64_t drow = int64_t{c.dstFrameY} + c.dy + j;
    const int64_t srow = int64_t{c.srcFrameY} + c.sy + j;
    for (int64_t i = cutX; i < iEnd; ++i) {
      for (int32_t k = 0; k < depth; ++k) {
        const int64_t db = (int64_t{c.dstFrameX} + c.dx + i) * depth + k;
        const int s =
            c.hasSource ? src->bit(srow, (int64_t{c.srcFrameX} + c.sx + i) * depth + k) : constant;
        const int d = dst.bit(drow, db);
        dst.setBit(drow, db, (truth >> (2 * s + d)) & 1);
      }
    }
  }
  return 0;
}

}  // namespace roptest

#endif
