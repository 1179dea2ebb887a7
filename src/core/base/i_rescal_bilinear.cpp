// Bilinear rescale of one framed plane on a grid of eighths of a pixel.
//
// Positions: output column i lies at i * xstep in source columns with 14 fraction bits,
// output row j at j * ystep with 11 (xstep = trunc(W / W' * 16384), ystep = trunc(H / H' *
// 2048)); the top three fraction bits are the fractions s and t. A weight table holds, for
// every (t, s), four corner tables of 256 bytes indexed by the source value: the part of
// the value (lowest bit dropped) that goes to an output pixel from its top-left, top-right,
// bottom-left and bottom-right source pixel; the four parts of one value add up to it, so
// the sum of four parts is at most 254. A column table holds, for every output column, the
// byte positions of its left and right source pixels (the right one repeats the last
// column at the right edge) and the offset of its s within a t block. Output pixels are
// formed four to a word with four lookups each; when four consecutive output rows lie
// between the same two source rows, one pass over the columns writes all four. The row
// below the last source row repeats it. The source is only read.
//
// Depth 4: the two source rows are widened to 8 bits (v * 17) into scratch rows, the output
// row is interpolated at 8 bits into a third scratch row and narrowed to its high nibbles.
// The progress callback is called after every row at depth 4 and once at the end at depth
// 8; a non-zero answer gives 14. 1 when a table or scratch row cannot be allocated.
#include <cstring>

#include "i_rescal.h"
#include "pxl_depth.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_threshold.h"

namespace pxl::rescal {

namespace {

constexpr int32_t kCornerBytes = 256;
constexpr int32_t kFractionBlock = 4 * kCornerBytes;  // the four corner tables of one (t, s)
constexpr int32_t kRowBlock = 8 * kFractionBlock;     // one t: all eight s
constexpr size_t kWeightBytes = 8 * kRowBlock;

struct Column {
  uint32_t left;    // byte position of the source pixel in its row (pixel-order byte ^ 3)
  uint32_t right;   // the same for its right neighbour
  uint32_t weight;  // s * kFractionBlock
};

void fillWeights(uint8_t *table) {
  for (int32_t t = 0; t < 8; ++t)
    for (int32_t s = 0; s < 8; ++s) {
      uint8_t *block = table + t * kRowBlock + s * kFractionBlock;
      for (int32_t v = 0; v < 256; ++v) {
        const int32_t even = v & 0xFE;
        const int32_t left = even * (8 - s) / 8, right = even - left;
        const int32_t topLeft = left * (8 - t) / 8, topRight = right * (8 - t) / 8;
        block[v] = static_cast<uint8_t>(topLeft);
        block[kCornerBytes + v] = static_cast<uint8_t>(topRight);
        block[2 * kCornerBytes + v] = static_cast<uint8_t>(left - topLeft);
        block[3 * kCornerBytes + v] = static_cast<uint8_t>(right - topRight);
      }
    }
}

void fillColumns(Column *columns, int32_t newWidth, int64_t xstep, int32_t srcWidth) {
  for (int64_t i = 0; i < newWidth; ++i) {
    const int64_t x = i * xstep;
    const auto c = static_cast<uint32_t>(x >> 14);
    const uint32_t r = c + 1 < static_cast<uint32_t>(srcWidth) ? c + 1 : c;
    columns[i] = {c ^ 3u, r ^ 3u, static_cast<uint32_t>((x >> 11) & 7) * kFractionBlock};
  }
}

// Interpolates kRows output rows between the source rows top and bottom (content starts);
// weights[r] is the t block of output row r.
template <int kRows>
void interpolateRows(const uint8_t *top, const uint8_t *bottom, const uint8_t *const *weights,
                     uint8_t *const *out, const Column *columns, int32_t width) {
  for (int32_t i0 = 0; i0 < width; i0 += 4) {
    const int32_t n = width - i0 < 4 ? width - i0 : 4;
    uint32_t words[kRows] = {};
    for (int32_t k = 0; k < n; ++k) {
      const Column &c = columns[i0 + k];
      const uint32_t a = top[c.left], b = top[c.right];
      const uint32_t d = bottom[c.left], e = bottom[c.right];
      for (int r = 0; r < kRows; ++r) {
        const uint8_t *w = weights[r] + c.weight;
        const uint32_t v =
            w[a] + w[kCornerBytes + b] + w[2 * kCornerBytes + d] + w[3 * kCornerBytes + e];
        words[r] |= v << (24 - 8 * k);
      }
    }
    for (int r = 0; r < kRows; ++r) storeWord(out[r] + i0, words[r]);
  }
}

inline uint8_t *contentRow(const xfer::Plane &p, int64_t y) {
  return p.framed + (int64_t{p.frame} + y) * p.bytesPerRow + int64_t{p.frame} * p.depth / 8;
}

// The vertical place of an output row: its two source rows and its t block.
struct RowPlace {
  int32_t top;
  int32_t bottom;
  const uint8_t *weights;
};

inline RowPlace placeRow(int64_t y, int32_t srcHeight, const uint8_t *table) {
  const auto top = static_cast<int32_t>(y >> 11);
  return {top, top + 1 < srcHeight ? top + 1 : top, table + ((y >> 8) & 7) * kRowBlock};
}

// The tables of one call, from the record set, released together.
class Work {
 public:
  explicit Work(PxlContext *ctx) : ctx_(ctx) {}
  ~Work() {
    for (void *b : blocks_) freeRecord(ctx_, b);
    freeRecord(ctx_, replicate);
  }
  Work(const Work &) = delete;
  Work &operator=(const Work &) = delete;
  template <typename T>
  T *take(size_t bytes) {
    void *b = allocRecord(ctx_, bytes);
    blocks_[count_++] = b;
    return static_cast<T *>(b);
  }
  uint16_t *replicate = nullptr;  // depth 4: the widening table

 private:
  PxlContext *ctx_;
  void *blocks_[5] = {};  // weights, columns and three scratch rows
  int count_ = 0;
};

int32_t rows8(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst, int32_t newWidth,
              int32_t newHeight, int64_t ystep, const uint8_t *table, const Column *columns) {
  for (int32_t j = 0; j < newHeight;) {
    const int64_t y = j * ystep;
    const RowPlace first = placeRow(y, src.height, table);
    const bool four = j + 3 < newHeight && ((y + 3 * ystep) >> 11) == first.top;
    const int count = four ? 4 : 1;
    const uint8_t *weights[4];
    uint8_t *out[4];
    for (int r = 0; r < count; ++r) {
      weights[r] = placeRow(y + r * ystep, src.height, table).weights;
      out[r] = contentRow(dst, j + r);
    }
    const uint8_t *top = contentRow(src, first.top), *bottom = contentRow(src, first.bottom);
    if (four)
      interpolateRows<4>(top, bottom, weights, out, columns, newWidth);
    else
      interpolateRows<1>(top, bottom, weights, out, columns, newWidth);
    j += count;
  }
  return stopRequested(ctx) ? PXL_ERR_ABORT : PXL_OK;
}

// Depth 4 through 8-bit scratch rows: two widened source rows (each remembers which row it
// holds) and one output row, each with 32 bytes before it so that the framed row workers
// can address it as the first content row of a buffer with stride 0.
int32_t rows4(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst, int32_t newWidth,
              int32_t newHeight, int64_t ystep, const uint8_t *table, const Column *columns,
              Work &work) {
  const size_t srcBytes = 32 + 4 * ((size_t(src.width) + 3) / 4);
  const size_t outBytes = 32 + 4 * ((size_t(newWidth) + 3) / 4);
  uint8_t *scratch[2] = {work.take<uint8_t>(srcBytes), work.take<uint8_t>(srcBytes)};
  uint8_t *wide = work.take<uint8_t>(outBytes);
  if (scratch[0] == nullptr || scratch[1] == nullptr || wide == nullptr) return PXL_ERR_NO_MEMORY;
  if (int32_t s = pxlBuildReplicate2Table(ctx, 4, &work.replicate); s != 0) return s;
  int32_t held[2] = {-1, -1};
  // The scratch row holding source row y, widened into the slot not holding `keep`.
  auto widened = [&](int32_t y, int32_t keep) -> const uint8_t * {
    for (int i = 0; i < 2; ++i)
      if (held[i] == y) return scratch[i] + 32;
    const int i = held[0] == keep ? 1 : 0;
    pxlConvertRows4To8(ctx, src.framed + int64_t{y} * src.bytesPerRow, src.width + 64, 65,
                       src.bytesPerRow, scratch[i], 0, work.replicate);
    held[i] = y;
    return scratch[i] + 32;
  };
  for (int32_t j = 0; j < newHeight; ++j) {
    const RowPlace place = placeRow(j * ystep, src.height, table);
    const uint8_t *top = widened(place.top, place.bottom);
    const uint8_t *bottom = widened(place.bottom, place.top);
    uint8_t *out = wide + 32;
    interpolateRows<1>(top, bottom, &place.weights, &out, columns, newWidth);
    pxlPackRows8To4(ctx, wide, newWidth + 64, 65, 0, dst.framed + int64_t{j} * dst.bytesPerRow,
                    dst.bytesPerRow);
    if (stopRequested(ctx)) return PXL_ERR_ABORT;
  }
  return PXL_OK;
}

}  // namespace

int32_t bilinearPlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst,
                      int32_t newWidth, int32_t newHeight) {
  if (src.depth != dst.depth || (src.depth != 4 && src.depth != 8)) return PXL_ERR_DEPTH;
  const auto xstep = static_cast<int64_t>(double(src.width) / newWidth * 16384);
  const auto ystep = static_cast<int64_t>(double(src.height) / newHeight * 2048);
  Work work(ctx);
  auto *table = work.take<uint8_t>(kWeightBytes);
  auto *columns = work.take<Column>(sizeof(Column) * size_t(newWidth));
  if (table == nullptr || columns == nullptr) return PXL_ERR_NO_MEMORY;
  fillWeights(table);
  fillColumns(columns, newWidth, xstep, src.width);
  if (src.depth == 8) return rows8(ctx, src, dst, newWidth, newHeight, ystep, table, columns);
  return rows4(ctx, src, dst, newWidth, newHeight, ystep, table, columns, work);
}

}  // namespace pxl::rescal
