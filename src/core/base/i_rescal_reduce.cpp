// Grey reduction kernels: a 1-bit page to 4-bit grey (15 white, 0 black) by 2, 4, 8 and
// 1.5, table-driven with one lookup per source byte (per six pixels at 1.5). The square
// reductions sum the entries of each byte position of a block's rows (an entry of 20 or 40
// carries the fields of several output pixels, which add without carries) and turn the sums
// into one output word of eight pixels.
//
// Tables (white = 0 bit):
// - 20: per byte, for its four pixel pairs, a nibble a in the high half (7 for two whites,
//   3 for one) and a nibble b in the low half (2 for two, 3 for one); over the block's two
//   rows a + (b >= 4) is floor(15 x whites / 4).
// - 40: per byte, 15 x the whites of the high nibble in bits 8-15 and of the low nibble in
//   bits 0-7; over four rows each field is 15 x whites, and field >> 4 is
//   floor(15 x whites / 16).
// - 80: per byte 60 x whites; over eight rows sum >> 8 is floor(15 x whites / 64).
// - 15: 64 entries for a row at full weight, 64 for the shared middle row, indexed by six
//   pixels (two blocks of three); four nibbles, one per output pixel, which add without
//   carries (7 + 3 + 3 + 2 = 15).
// Output rows are written whole (eight pixels a word), the last word of a row masked to the
// row's pixels. Pixels read past the content (frame, row tails) count as white; they only
// reach output pixels that are masked off. At 1.5 an odd output height leaves the last
// source row triple's second output row unwritten.
#include <bit>

#include "i_rescal.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"

namespace pxl::rescal {

namespace {

inline int32_t whites(uint32_t bits, int count) {
  return count - std::popcount(bits);
}

void fill20(uint32_t *t) {
  constexpr uint32_t kA[3] = {0, 3, 7}, kB[3] = {0, 3, 2};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t e = 0;
    for (int p = 0; p < 4; ++p) {
      const int32_t w = whites((b >> (6 - 2 * p)) & 3, 2);
      e |= kA[w] << (28 - 4 * p) | kB[w] << (12 - 4 * p);
    }
    t[b] = e;
  }
}

void fill40(uint32_t *t) {
  for (uint32_t b = 0; b < 256; ++b)
    t[b] = uint32_t(whites(b >> 4, 4)) * 3840 | uint32_t(whites(b & 15, 4)) * 15;
}

void fill80(uint32_t *t) {
  for (uint32_t b = 0; b < 256; ++b) t[b] = uint32_t(whites(b, 8)) * 60;
}

void fill15(uint32_t *t) {
  for (uint32_t i = 0; i < 64; ++i) {
    uint32_t full = 0, middle = 0;
    for (int g = 0; g < 2; ++g) {
      const uint32_t bits = i >> (3 - 3 * g);  // first group in bits 5-3
      const uint32_t a = whites(bits >> 2 & 1, 1), b = whites(bits >> 1 & 1, 1),
                     c = whites(bits & 1, 1);
      const int shift = 12 - 8 * g;
      full |= (7 * a + 3 * b) << shift | (3 * b + 7 * c) << (shift - 4);
      middle |= (3 * a + 2 * b) << shift | (2 * b + 3 * c) << (shift - 4);
    }
    t[i] = full;
    t[64 + i] = middle;
  }
}

inline const uint8_t *contentRow(const xfer::Plane &p, int64_t y) {
  return p.framed + (int64_t{p.frame} + y) * p.bytesPerRow + p.frame / 8;
}
inline uint8_t *outRow(const xfer::Plane &p, int64_t y) {
  return p.framed + (int64_t{p.frame} + y) * p.bytesPerRow + p.frame / 2;
}

// The output geometry shared by the kernels.
struct OutRows {
  int32_t width;
  int32_t height;
  int32_t words;  // per row
  uint32_t lastMask;
  OutRows(int32_t w, int32_t h)
      : width(w), height(h), words((w + 7) / 8), lastMask(~0u << (4 * ((8 - w % 8) % 8))) {}
};

// Writes the row's words from word(k) and masks the last.
template <typename Word>
void writeRow(uint8_t *out, const OutRows &g, Word word) {
  for (int32_t k = 0; k < g.words; ++k) storeWord(out + 4 * k, word(k));
  storeWord(out + 4 * (g.words - 1), loadWord(out + 4 * (g.words - 1)) & g.lastMask);
}

// Square blocks of kN x kN pixels: output word k (eight pixels) comes from the kN
// pixel-order source bytes kN k .. kN k + kN - 1 of kN rows; the table entries of each byte
// position are summed over the rows and finish() turns the kN sums into the word.
template <int kN, typename Finish>
void reduceSquare(const xfer::Plane &src, const xfer::Plane &dst, const OutRows &g,
                  const uint32_t *t, Finish finish) {
  for (int32_t y = 0; y < g.height; ++y) {
    const uint8_t *first = contentRow(src, int64_t{kN} * y);
    writeRow(outRow(dst, y), g, [&](int32_t k) {
      // The bytes start `skew` bytes into a word (0 unless kN is 2, where skew + b < 4 and
      // byte skew + b of the word, at (skew + b) ^ 3 = 3 - skew - b, is at b ^ 3 of base).
      const int64_t start = int64_t{kN} * k;
      const int skew = kN % 4 == 0 ? 0 : int(start & 3);
      const uint8_t *base = first + (start & ~int64_t{3}) - skew;
      uint32_t sums[kN] = {};
      for (int r = 0; r < kN; ++r, base += src.bytesPerRow)
        for (int b = 0; b < kN; ++b) sums[b] += t[base[b ^ 3]];
      return finish(sums);
    });
  }
}

void reduce20(const xfer::Plane &src, const xfer::Plane &dst, const OutRows &g, const uint32_t *t) {
  // Per byte: the a nibbles (high half) plus one where the b nibbles reach 4.
  reduceSquare<2>(src, dst, g, t, [](const uint32_t *e) {
    auto four = [](uint32_t v) { return (v >> 16) + ((v >> 2) & 0x1111u); };
    return four(e[0]) << 16 | four(e[1]);
  });
}

void reduce40(const xfer::Plane &src, const xfer::Plane &dst, const OutRows &g, const uint32_t *t) {
  // Per byte: two fields of 15 x whites (bits 8-15 and 0-7) whose top nibbles are the two
  // output pixels.
  reduceSquare<4>(src, dst, g, t, [](const uint32_t *e) {
    uint32_t out = 0;
    for (int b = 0; b < 4; ++b) out = out << 8 | ((e[b] >> 8) & 0xF0u) | ((e[b] >> 4) & 15u);
    return out;
  });
}

void reduce80(const xfer::Plane &src, const xfer::Plane &dst, const OutRows &g, const uint32_t *t) {
  // Per byte: 60 x whites summed over the rows; bits 8-11 are the output pixel.
  reduceSquare<8>(src, dst, g, t, [](const uint32_t *e) {
    uint32_t out = 0;
    for (int b = 0; b < 8; ++b) out = out << 4 | e[b] >> 8;
    return out;
  });
}

// Twelve pixels from bit position 12 k of a row (the source of output word k at 1.5).
inline uint32_t twelve(const uint8_t *row, int32_t k) {
  const int64_t bit = 12 * int64_t{k};
  const uint8_t *w = row + 4 * (bit >> 5);
  const uint64_t window = uint64_t{loadWord(w)} << 32 | loadWord(w + 4);
  return static_cast<uint32_t>(window >> (52 - (bit & 31))) & 0xFFFu;
}

void reduce15(const xfer::Plane &src, const xfer::Plane &dst, const OutRows &g, const uint32_t *t) {
  const uint32_t *full = t, *middle = t + 64;
  for (int32_t y = 0; y < g.height; y += 2) {
    const uint8_t *r0 = contentRow(src, 3 * (y / 2));
    const uint8_t *r1 = r0 + src.bytesPerRow, *r2 = r1 + src.bytesPerRow;
    // Output word k of the row pair's row from `outer` at full weight and the middle row.
    auto word = [&](const uint8_t *outer, int32_t k) {
      const uint32_t o = twelve(outer, k), m = twelve(r1, k);
      return (full[o >> 6] + middle[m >> 6]) << 16 | (full[o & 63] + middle[m & 63]);
    };
    writeRow(outRow(dst, y), g, [&](int32_t k) { return word(r0, k); });
    if (y + 1 < g.height) writeRow(outRow(dst, y + 1), g, [&](int32_t k) { return word(r2, k); });
  }
}

}  // namespace

int32_t reduceTableEntries(int32_t factor) {
  switch (factor) {
    case 15:
      return 128;
    case 20:
    case 40:
    case 80:
      return 256;
    default:
      return 0;
  }
}

void fillReduceTable(int32_t factor, uint32_t *table) {
  switch (factor) {
    case 15:
      fill15(table);
      break;
    case 20:
      fill20(table);
      break;
    case 40:
      fill40(table);
      break;
    default:
      fill80(table);
      break;
  }
}

int32_t reducePlane(PxlContext *ctx, const xfer::Plane &src, const xfer::Plane &dst, int32_t width,
                    int32_t height, int32_t factor, const uint32_t *table) {
  uint32_t *own = nullptr;
  if (table == nullptr) {
    own = static_cast<uint32_t *>(allocRecord(ctx, 4 * size_t(reduceTableEntries(factor))));
    if (own == nullptr) return PXL_ERR_NO_MEMORY;
    fillReduceTable(factor, own);
    table = own;
  }
  if (width > 0 && height > 0) {
    const OutRows g(width, height);
    switch (factor) {
      case 15:
        reduce15(src, dst, g, table);
        break;
      case 20:
        reduce20(src, dst, g, table);
        break;
      case 40:
        reduce40(src, dst, g, table);
        break;
      default:
        reduce80(src, dst, g, table);
        break;
    }
  }
  freeRecord(ctx, own);
  return PXL_OK;
}

}  // namespace pxl::rescal
