// Packing row workers (2-, 4- and 8-bit rows to 1-bit rows by a per-pixel decision, and
// 8-bit rows to 4-bit rows) and their spread tables.
//
// A worker walks its row from the last source word back to the first. Each source word
// yields its decision bits at the pixels' top-bit positions, computed for all pixels of the
// word at once; the words of a group (8, 4 or 2 words, one output word) are gathered into
// an accumulator, each earlier word one place to the left. The accumulator's four bytes are
// looked up in four spread tables whose results OR together into the output word.
//
// Comparisons on packed pixels: for 8-bit pixels each byte of ((w >> 1) & 0x7F..) | 0x80..
// holds 128 + (v >> 1); subtracting a 7-bit value cannot borrow into the next byte, and the
// byte's top bit then answers (v >> 1) >= b. 4-bit pixels do the same on nibbles (8 + (v >> 1))
// and subtract one more where the pixel's low bit must break a tie of the halves, which
// keeps the 4-bit tests exact.
#include <cstring>

#include "pxl_depth.h"
#include "pxl_internal.h"

namespace {

constexpr uint32_t kTop8 = 0x80808080u, kLow7 = 0x7F7F7F7Fu;
constexpr uint32_t kTop4 = 0x88888888u, kLow3 = 0x77777777u, kOnes4 = 0x11111111u;

// Packs one row. decide(i) gives the decision bits of source word i; finish(acc) turns an
// accumulator into an output word; each earlier word of a group sits `shift` places left.
template <int kGroupWords, int kShift, typename Decide, typename Finish>
void packRow(uint32_t *dst, int32_t dstLast, int32_t srcGroup, int32_t srcLast, Decide decide,
             Finish finish) {
  int32_t d = dstLast / 4;
  uint32_t acc = 0;
  for (int32_t i = srcLast / 4; i >= srcGroup / 4; --i) acc = (acc >> kShift) | decide(i);
  dst[d] = finish(acc);
  while (--d >= 0) {
    acc = 0;
    for (int32_t i = (d + 1) * kGroupWords - 1; i >= d * kGroupWords; --i)
      acc = (acc >> kShift) | decide(i);
    dst[d] = finish(acc);
  }
}

struct Spread {
  const uint32_t *const *t;
  uint32_t operator()(uint32_t acc) const {
    return t[0][acc >> 24] | t[1][(acc >> 16) & 255] | t[2][(acc >> 8) & 255] | t[3][acc & 255];
  }
};

template <int kGroupWords, typename Decide>
int32_t packDecisions(const uint32_t *const tables[4], uint32_t *dst, int32_t dstLast,
                      int32_t srcGroup, int32_t srcLast, Decide decide) {
  packRow<kGroupWords, 1>(dst, dstLast, srcGroup, srcLast, decide, Spread{tables});
  return PXL_OK;
}

// Top bit of each byte: (v >> 1) >= b for the packed bytes of halves - b.
inline uint32_t atLeast8(uint32_t halves, uint32_t b) {
  return ((halves | kTop8) - b) & kTop8;
}

// Spread tables of one source depth (group of g = depth words) and polarity.
int32_t buildSpread(PxlContext *ctx, int32_t depth, bool inverted, uint32_t *tables[4]) {
  bool allocated[4] = {};
  for (int k = 0; k < 4; ++k) {
    if (tables[k] != nullptr) {
      std::memset(tables[k], 0, 1024);
      continue;
    }
    tables[k] = static_cast<uint32_t *>(pxl::allocRecordZeroed(ctx, 256, 4));
    allocated[k] = true;
    if (tables[k] == nullptr) {
      for (int j = 0; j <= k; ++j)
        if (allocated[j]) {
          pxl::freeRecord(ctx, tables[j]);
          tables[j] = nullptr;
        }
      return PXL_ERR_NO_MEMORY;
    }
  }
  const int32_t g = depth, pixelsPerWord = 32 / depth;
  for (int k = 0; k < 4; ++k)
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t out = 0;
      for (int j = 0; j < 8; ++j) {
        if ((((b >> j) & 1) != 0) == inverted) continue;
        // Accumulator bit 8 (3 - k) + j holds pixel q / g of group word q % g.
        const int32_t q = 31 - (8 * (3 - k) + j);
        out |= 0x80000000u >> ((q % g) * pixelsPerWord + q / g);
      }
      tables[k][b] = out;
    }
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlBuildThresholdTables8(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 8, false, tables);
}
int32_t pxlBuildThresholdTables8Inv(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 8, true, tables);
}
int32_t pxlBuildThresholdTables4(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 4, false, tables);
}
int32_t pxlBuildThresholdTables4Inv(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 4, true, tables);
}
int32_t pxlBuildThresholdTables2(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 2, false, tables);
}
int32_t pxlBuildThresholdTables2Inv(PxlContext *ctx, uint32_t *tables[4]) {
  return buildSpread(ctx, 2, true, tables);
}

int32_t pxlPackTopBits8(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]) {
  return packDecisions<8>(tables, dst, dstLast, srcGroup, srcLast,
                          [&](int32_t i) { return src[i] & kTop8; });
}

int32_t pxlPackTopBits4(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]) {
  return packDecisions<4>(tables, dst, dstLast, srcGroup, srcLast,
                          [&](int32_t i) { return src[i] & kTop4; });
}

int32_t pxlPackTopBits2(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]) {
  return packDecisions<2>(tables, dst, dstLast, srcGroup, srcLast,
                          [&](int32_t i) { return src[i] & 0xAAAAAAAAu; });
}

int32_t pxlPackTopBitPairs8(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                            int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]) {
  // Each byte's second bit goes three places below its top bit: through the depth-4 tables
  // the two bits of pixel p of word j land on output bits 31 - 2 (4j + p) and the one below.
  return packDecisions<4>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    return (src[i] & kTop8) | ((src[i] & 0x40404040u) >> 3);
  });
}

int32_t pxlPackCompare8(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                        uint32_t halfThreshold) {
  return packDecisions<8>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    return atLeast8((src[i] >> 1) & kLow7, halfThreshold);
  });
}

int32_t pxlPackCompare4(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                        uint32_t half, uint32_t lowBit) {
  // 8 + (v >> 1) - (t >> 1), less one where t is odd and v even: >= 8 exactly when v >= t.
  return packDecisions<4>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    return ((((src[i] >> 1) & kLow3) | kTop4) - half - (lowBit & ~src[i])) & kTop4;
  });
}

int32_t pxlPackRange8(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                      int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                      uint32_t lowHalf, uint32_t spanHalf) {
  return packDecisions<8>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    const uint32_t offset = ((((src[i] >> 1) & kLow7) | kTop8) - lowHalf) & kLow7;
    return atLeast8(spanHalf, offset);
  });
}

int32_t pxlPackRange4(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                      int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                      uint32_t lowHalf, uint32_t highHalf, int32_t correction) {
  // v >= low as in pxlPackCompare4; high >= v likewise with the roles swapped: one less
  // where v is odd and high even.
  const uint32_t lowOdd = (correction & 1) ? kOnes4 : 0;
  const uint32_t highEven = (correction & 2) ? 0 : kOnes4;
  return packDecisions<4>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    const uint32_t v = src[i], halves = (v >> 1) & kLow3;
    const uint32_t atLeastLow = ((halves | kTop4) - lowHalf - (lowOdd & ~v)) & kTop4;
    const uint32_t atMostHigh = ((highHalf | kTop4) - halves - (highEven & v)) & kTop4;
    return atLeastLow & atMostHigh;
  });
}

int32_t pxlPackCompareMap8(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                           int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                           const uint32_t *map) {
  return packDecisions<8>(tables, dst, dstLast, srcGroup, srcLast, [&](int32_t i) {
    return atLeast8((src[i] >> 1) & kLow7, (map[i] >> 1) & kLow7);
  });
}

int32_t pxlPackHighNibbles(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                           int32_t srcGroup, int32_t srcLast) {
  // The four high nibbles of a word moved together into its top half.
  auto highNibbles = [&](int32_t i) {
    uint32_t x = src[i] & 0xF0F0F0F0u;
    x = (x | (x << 4)) & 0xFF00FF00u;
    return (x | (x << 8)) & 0xFFFF0000u;
  };
  packRow<2, 16>(dst, dstLast, srcGroup, srcLast, highNibbles, [](uint32_t acc) { return acc; });
  return PXL_OK;
}

}  // extern "C"
