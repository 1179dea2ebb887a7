// Row kernels of the grey reductions by 2 and by 3 (4- and 8-bit pixels).
//
// Each output word comes from two (halving) or three (thirds) consecutive source words of
// every source row, with the rounding fixed by the packed arithmetic:
//   halving, 8-bit: every pixel halved before adding, so the sums of a word's four pixels
//     never carry into their neighbours: ((a>>1) + (c>>1) + (b>>1) + (d>>1)) >> 1;
//   halving, 4-bit: the pixel pairs of a byte are split into separate bytes, which hold
//     a + b + c + d + 2 (at most 62), then >> 2;
//   thirds, 8-bit: weights 1/4, 1/2, 1/4 applied by shifting before adding, first down the
//     columns, then along the row; 4-bit: (a + 2b + c + 2) >> 2 on split bytes, both ways.
// The 8-bit rules hold over whole groups of 4 (halving) or 12 (thirds) output pixels; the
// rest of a row is made pixel by pixel with the exact rule of its own block (halving:
// (a + b + c + d) >> 2; thirds: the nine pixels shifted by 4, 3 or 2 before adding). Four
// output words are made at once in SSE2 lanes where the row has them; the last word is
// written whole with 0 after the last pixel.
#include "i_greyword.h"
#include "pxl_resconv.h"

namespace {

using namespace pxl::grey;

inline const uint32_t *rowBelow(const uint32_t *row, int32_t stride, int n = 1) {
  return reinterpret_cast<const uint32_t *>(reinterpret_cast<const uint8_t *>(row) +
                                            static_cast<ptrdiff_t>(n) * stride);
}

// Per 4-bit pixel (a + 2b + c + 2) >> 2, on the two nibbles of every byte separately.
template <typename W>
inline W weigh121Nibbles(W a, W b, W c) {
  auto part = [](W x, W y, W z) { return (((x + (y << 1) + z + 0x02020202u) >> 2) & 0x0F0F0F0Fu); };
  return (part(highNibbles(a), highNibbles(b), highNibbles(c)) << 4) |
         part(lowNibbles(a), lowNibbles(b), lowNibbles(c));
}

// Per 8-bit pixel (a >> 2) + (b >> 1) + (c >> 2) (at most 253).
template <typename W>
inline W weigh121Bytes(W a, W b, W c) {
  return quarter8(a) + half8(b) + quarter8(c);
}

// One destination word of the 3x reduction: a 1-2-1 weighing down the three source rows,
// then the same weighing across each 3-pixel group (word k of dst, words 3k..3k+2 of each row).
template <int D, typename W>
inline W thirdWord(W, const uint32_t *top, const uint32_t *mid, const uint32_t *low, int k) {
  auto weigh = [](W a, W b, W c) {
    if constexpr (D == 8)
      return weigh121Bytes(a, b, c);
    else
      return weigh121Nibbles(a, b, c);
  };
  W a[3], b[3], c[3];
  loadStride3(top + 3 * k, a[0], a[1], a[2]);
  loadStride3(mid + 3 * k, b[0], b[1], b[2]);
  loadStride3(low + 3 * k, c[0], c[1], c[2]);
  W v0 = weigh(a[0], b[0], c[0]), v1 = weigh(a[1], b[1], c[1]), v2 = weigh(a[2], b[2], c[2]);
  return weigh(gatherStride3<D, 0>(v0, v1, v2), gatherStride3<D, 1>(v0, v1, v2),
               gatherStride3<D, 2>(v0, v1, v2));
}

// The four bytes of x (values below 16) packed into the top (or bottom) 16 bits as nibbles.
template <typename W>
inline W packByteNibbles(W x) {
  W pairs = (x | (x >> 4)) & 0x00FF00FFu;
  return (pairs | (pairs >> 8)) & 0xFFFFu;
}

// Writes the last `count` pixels of an 8-bit row (from pixel `first`, a multiple of 4) with
// values from pixel(x), whole words, 0 after them.
template <typename Pixel>
void writeTail8(uint32_t *dst, int first, int count, Pixel pixel) {
  for (int w = 0; w < (count + 3) / 4; ++w) {
    uint32_t word = 0;
    for (int i = 0; i < 4 && 4 * w + i < count; ++i)
      word |= static_cast<uint32_t>(pixel(first + 4 * w + i)) << (24 - 8 * i);
    dst[first / 4 + w] = word;
  }
}

}  // namespace

extern "C" {

void pxlRowHalf8(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                 int32_t srcStride) {
  const uint32_t *lower = rowBelow(src, srcStride);
  forEachWord(dst, width / 4, [&](auto w, int k) {
    using W = decltype(w);
    W u0, u1, l0, l1;
    loadStride2(src + 2 * k, u0, u1);
    loadStride2(lower + 2 * k, l0, l1);
    // Columns first: pixel-wise (a >> 1) + (c >> 1), then pair the columns 2x and 2x + 1
    // (E and F as in the 2x2 minimum) and halve their sum without a carry.
    W v0 = half8(u0) + half8(l0), v1 = half8(u1) + half8(l1);
    W e = (v0 & 0xFF000000u) | ((v0 & 0xFFu) << 16) | ((v1 >> 16) & 0xFF00u) | (v1 & 0xFFu);
    W f = ((v0 << 8) & 0xFFFF0000u) | ((v1 >> 8) & 0xFFFFu);
    return (e & f) + half8(e ^ f);
  });
  const int rest = width % 4;
  if (rest == 0) return;
  writeTail8(dst, width - rest, rest, [&](int x) {
    return (getPixel(src, 2 * x, 8) + getPixel(src, 2 * x + 1, 8) + getPixel(lower, 2 * x, 8) +
            getPixel(lower, 2 * x + 1, 8)) >>
           2;
  });
}

void pxlRowHalf4(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                 int32_t srcStride) {
  const uint32_t *lower = rowBelow(src, srcStride);
  const int words = (width + 7) / 8;
  forEachWord(dst, words, [&](auto w, int k) {
    using W = decltype(w);
    W u0, u1, l0, l1;
    loadStride2(src + 2 * k, u0, u1);
    loadStride2(lower + 2 * k, l0, l1);
    // A byte holds a horizontal pair, so each byte of a source word yields one output pixel.
    auto blocks = [](W upper, W low) {
      W sum = highNibbles(upper) + lowNibbles(upper) + highNibbles(low) + lowNibbles(low);
      return ((sum + 0x02020202u) >> 2) & 0x0F0F0F0Fu;
    };
    return (packByteNibbles(blocks(u0, l0)) << 16) | packByteNibbles(blocks(u1, l1));
  });
  if (width % 8 != 0) dst[words - 1] &= keepMask(width % 8, 4);
}

void pxlRowThird8(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                  int32_t srcStride) {
  const uint32_t *mid = rowBelow(src, srcStride), *low = rowBelow(src, srcStride, 2);
  const int rest = width % 12;
  forEachWord(dst, (width - rest) / 4,
              [&](auto w, int k) { return thirdWord<8>(w, src, mid, low, k); });
  if (rest == 0) return;
  const uint32_t *rows[3] = {src, mid, low};
  writeTail8(dst, width - rest, rest, [&](int x) {
    static constexpr int kShift[3][3] = {{4, 3, 4}, {3, 2, 3}, {4, 3, 4}};
    int sum = 0;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) sum += getPixel(rows[r], 3 * x + c, 8) >> kShift[r][c];
    return sum;
  });
}

void pxlRowThird4(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                  int32_t srcStride) {
  const uint32_t *mid = rowBelow(src, srcStride), *low = rowBelow(src, srcStride, 2);
  const int words = (width + 7) / 8;
  forEachWord(dst, words, [&](auto w, int k) { return thirdWord<4>(w, src, mid, low, k); });
  if (width % 8 != 0) dst[words - 1] &= keepMask(width % 8, 4);
}

}  // extern "C"
