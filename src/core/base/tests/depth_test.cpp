// Depth conversion: widening workers, replication and interpolation tables, the packing
// workers with their spread tables (against per-pixel decisions) and the stretch table.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "pxl_depth.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;
using xfertest::Framed;
using xfertest::getBits;
using xfertest::releaseRecord;
using xfertest::setBits;

// ---- Widening ----

TEST(DepthWiden, FourToEightWorkedValues) {
  Context c;
  Framed src(3, 1, 4), dst(3, 1, 8, 0xFFFFFFFF);
  src.set(0, 0, 0x0);
  src.set(1, 0, 0x7);
  src.set(2, 0, 0xF);
  ASSERT_EQ(
      pxlConvertRows4To8(c.ctx, src.data(), 67, 65, src.stride, dst.data(), dst.stride, nullptr),
      0);
  EXPECT_EQ(dst.get(0, 0), 0x00u);
  EXPECT_EQ(dst.get(1, 0), 0x77u);
  EXPECT_EQ(dst.get(2, 0), 0xFFu);
  EXPECT_EQ(dst.get(3, 0), 0x00u);  // row tail cleared
  EXPECT_EQ(dst.get(4, 0), 0xFFu);  // nothing written past the row's last word
}

// Each widening worker against v -> f(v) per pixel for widths around word edges; the pixels
// of the last output word past the row are 0 and the word after it is untouched.
void checkWidening(int srcDepth, int dstDepth,
                   const std::function<int32_t(PxlContext *, Framed &, Framed &)> &run,
                   const std::function<uint32_t(uint32_t)> &f) {
  std::mt19937 rng(srcDepth * 100 + dstDepth);
  for (int w : {1, 2, 3, 4, 5, 7, 8, 9, 10, 15, 16, 17, 31, 32, 33, 63, 100}) {
    Context c;
    Framed src(w, 3, srcDepth), dst(w, 3, dstDepth, 0xFFFFFFFF, 2);
    src.randomize(rng);  // frame and tails hold garbage too
    ASSERT_EQ(run(c.ctx, src, dst), 0);
    const int outBits = w * dstDepth;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(dst.get(x, y), f(src.get(x, y))) << "w " << w << " x " << x;
      for (int x = w; (x * dstDepth) % 32 != 0; ++x) ASSERT_EQ(dst.get(x, y), 0u) << "tail";
      const int nextWord = (outBits + 31) / 32 * 32 / dstDepth;
      ASSERT_EQ(dst.get(nextWord, y), (1u << dstDepth) - 1) << "past the row, w " << w;
    }
    ASSERT_EQ(dst.get(0, -1), (1u << dstDepth) - 1) << "frame row above";
  }
}

TEST(DepthWiden, FourToEightWithAndWithoutATable) {
  Context c;
  uint16_t *table = nullptr;
  ASSERT_EQ(pxlBuildReplicate2Table(c.ctx, 4, &table), 0);
  for (const uint16_t *t :
       {static_cast<const uint16_t *>(nullptr), static_cast<const uint16_t *>(table)})
    checkWidening(
        4, 8,
        [t](PxlContext *ctx, Framed &s, Framed &d) {
          return pxlConvertRows4To8(ctx, s.data(), s.fullWidth(), s.fullHeight(), s.stride,
                                    d.data(), d.stride, t);
        },
        [](uint32_t v) { return v * 17; });
  releaseRecord(c.ctx, table);
}

TEST(DepthWiden, OneToEightAndSixteenInBothPolarities) {
  for (int polarity : {0, 1})
    for (int depth : {8, 16}) {
      const uint32_t on = (1u << depth) - 1;
      checkWidening(
          1, depth,
          [&](PxlContext *ctx, Framed &s, Framed &d) {
            auto worker = depth == 8 ? pxlConvertRows1To8 : pxlConvertRows1To16;
            return worker(ctx, s.data(), s.fullWidth(), s.fullHeight(), s.stride, d.data(),
                          d.stride, polarity);
          },
          [&](uint32_t v) { return (v != 0) != (polarity == 1) ? on : 0u; });
    }
}

TEST(DepthWiden, EmptyContentWritesNothing) {
  Context c;
  Framed src(0, 2, 1, 0xFFFFFFFF), dst(0, 2, 8, 0x12345678);
  EXPECT_EQ(pxlConvertRows1To8(c.ctx, src.data(), 64, 66, src.stride, dst.data(), dst.stride, 0),
            0);
  EXPECT_EQ(
      pxlConvertRows4To8(c.ctx, src.data(), 64, 66, src.stride, dst.data(), dst.stride, nullptr),
      0);
  for (uint32_t w : dst.words) ASSERT_EQ(w, 0x12345678u);
}

// ---- Replication and interpolation tables ----

// Byte b with each pixel repeated `factor` times, as a string of 8 * factor bits.
std::vector<int> replicatedBits(uint32_t b, int depth, int factor) {
  std::vector<int> bits;
  for (int p = 0; p < 8 / depth; ++p)
    for (int r = 0; r < factor; ++r)
      for (int k = 0; k < depth; ++k) bits.push_back((b >> (7 - p * depth - k)) & 1);
  return bits;
}

TEST(DepthTables, ReplicationOfEveryByteAtEveryDepthAndFactor) {
  Context c;
  for (int depth : {1, 2, 4, 8}) {
    uint16_t *t2 = nullptr;
    uint32_t *t4 = nullptr, *t8 = nullptr, *t16 = nullptr;
    ASSERT_EQ(pxlBuildReplicate2Table(c.ctx, depth, &t2), 0);
    ASSERT_EQ(pxlBuildReplicate4Table(c.ctx, depth, &t4), 0);
    ASSERT_EQ(pxlBuildReplicate8Table(c.ctx, depth, &t8), 0);
    ASSERT_EQ(pxlBuildReplicate16Table(c.ctx, depth, &t16), 0);
    for (uint32_t b = 0; b < 256; ++b) {
      // Words in the order a row receives them: first word first.
      const std::vector<std::vector<uint32_t>> rows = {
          {t2[b]},
          {t4[b]},
          {t8[256 + b], t8[b]},
          {t16[768 + b], t16[512 + b], t16[256 + b], t16[b]}};
      const int factors[] = {2, 4, 8, 16};
      for (int f = 0; f < 4; ++f) {
        const auto expected = replicatedBits(b, depth, factors[f]);
        const int wordBits = f == 0 ? 16 : 32;
        for (size_t i = 0; i < expected.size(); ++i) {
          const uint32_t word = rows[f][i / 32];
          ASSERT_EQ((word >> (wordBits - 1 - i % 32)) & 1, static_cast<uint32_t>(expected[i]))
              << "depth " << depth << " factor " << factors[f] << " byte " << b;
        }
      }
    }
    releaseRecord(c.ctx, t2);
    releaseRecord(c.ctx, t4);
    releaseRecord(c.ctx, t8);
    releaseRecord(c.ctx, t16);
  }
}

TEST(DepthTables, ReplicationWorkedValuesRefillAndBadDepth) {
  Context c;
  uint16_t *t2 = nullptr;
  ASSERT_EQ(pxlBuildReplicate2Table(c.ctx, 1, &t2), 0);
  EXPECT_EQ(t2[0x01], 0x0003);
  EXPECT_EQ(t2[0x80], 0xC000);
  uint16_t *const kept = t2;
  ASSERT_EQ(pxlBuildReplicate2Table(c.ctx, 4, &t2), 0);  // refilled in place
  EXPECT_EQ(t2, kept);
  EXPECT_EQ(t2[0xAB], 0xAABB);
  EXPECT_EQ(t2[0x01], 0x0011);
  EXPECT_EQ(pxlBuildReplicate2Table(c.ctx, 3, &t2), 8);  // frees the table (leak check)
  EXPECT_EQ(t2, nullptr);
  uint32_t *t16 = nullptr;
  ASSERT_EQ(pxlBuildReplicate16Table(c.ctx, 1, &t16), 0);
  // Bits 7..6 of the byte form block 3, bits 1..0 block 0.
  EXPECT_EQ(t16[768 + 0x40], 0x0000FFFFu);
  EXPECT_EQ(t16[768 + 0x80], 0xFFFF0000u);
  EXPECT_EQ(t16[0x03], 0xFFFFFFFFu);
  ASSERT_EQ(pxlBuildReplicate16Table(c.ctx, 2, &t16), 0);
  EXPECT_EQ(t16[0x02], 0xAAAAAAAAu);
  EXPECT_EQ(t16[0x01], 0x55555555u);
  ASSERT_EQ(pxlBuildReplicate16Table(c.ctx, 8, &t16), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(t16[256 * k + 0x9C], 0x9C9C9C9Cu);
  EXPECT_EQ(pxlBuildReplicate16Table(c.ctx, 16, &t16), 8);
  EXPECT_EQ(t16, nullptr);
}

TEST(DepthTables, InterpolationTables) {
  Context c;
  uint32_t *t12 = nullptr, *t23 = nullptr;
  EXPECT_EQ(pxlBuildInterp12Table(c.ctx, &t12, 8), 0);
  EXPECT_EQ(t12, nullptr);
  ASSERT_EQ(pxlBuildInterp12Table(c.ctx, &t12, 4), 0);
  ASSERT_EQ(pxlBuildInterp23Table(c.ctx, &t23, 4), 0);
  for (uint32_t hi = 0; hi < 16; ++hi)
    for (uint32_t lo = 0; lo < 16; ++lo) {
      const uint32_t b = hi << 4 | lo;
      ASSERT_EQ(t12[b], hi << 12 | ((hi + lo + 1) / 2) << 8 | lo << 4);
      ASSERT_EQ(t23[b], hi << 8 | ((hi + lo) / 2) << 4 | lo);
    }
  EXPECT_EQ(t12[0x1F], 0x1800u + 0xF0u);
  uint32_t *const kept = t23;
  ASSERT_EQ(pxlBuildInterp23Table(c.ctx, &t23, 4), 0);
  EXPECT_EQ(t23, kept);
  releaseRecord(c.ctx, t12);
  releaseRecord(c.ctx, t23);
}

// ---- Packing workers ----

struct Tables {
  PxlContext *ctx;
  uint32_t *t[4] = {};
  Tables(PxlContext *c, int32_t (*build)(PxlContext *, uint32_t **)) : ctx(c) {
    EXPECT_EQ(build(c, t), 0);
  }
  ~Tables() {
    for (auto *p : t) releaseRecord(ctx, p);
  }
};

// Runs a packing worker over one row of n pixels of srcDepth bits (random, garbage past the
// row too) and checks every output pixel against decide(pixel index, value); outDepth is 1
// (or 2 for the top-bit pairs, 4 for the high nibbles).
void checkPacking(
    int srcDepth, int outDepth, int n,
    const std::function<void(const uint32_t *, uint32_t *, int32_t, int32_t, int32_t)> &worker,
    const std::function<uint32_t(int, uint32_t)> &decide, std::mt19937 &rng) {
  const int srcWords = (n * srcDepth + 31) / 32;
  std::vector<uint32_t> src(static_cast<size_t>(srcWords + 8));
  for (auto &w : src) w = static_cast<uint32_t>(rng());
  const int outWords = (n * outDepth + 31) / 32;
  std::vector<uint32_t> dst(static_cast<size_t>(outWords + 1), 0x5A5A5A5Au);
  const int32_t dstLast = (outWords - 1) * 4;
  // The last group of source words starts srcDepth / outDepth words per output word in.
  worker(src.data(), dst.data(), dstLast, dstLast * (srcDepth / outDepth), (srcWords - 1) * 4);
  const auto *s = reinterpret_cast<const uint8_t *>(src.data());
  const auto *d = reinterpret_cast<const uint8_t *>(dst.data());
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(getBits(d, int64_t{i} * outDepth, outDepth),
              decide(i, getBits(s, int64_t{i} * srcDepth, srcDepth)))
        << "n " << n << " pixel " << i;
  ASSERT_EQ(dst[static_cast<size_t>(outWords)], 0x5A5A5A5Au) << "written past the row";
}

const int kWidths[] = {1, 2, 3, 7, 8, 15, 16, 17, 31, 32, 33, 40, 63, 64, 65, 100, 127, 255};

using TableBuilder = int32_t (*)(PxlContext *, uint32_t **);

// Packs rows of every width at depths 8, 4 and 2 with tables from build8/4/2: each output bit
// is the pixel's top bit, or its complement when `inverted`.
void checkTopBits(uint32_t seed, TableBuilder build8, TableBuilder build4, TableBuilder build2,
                  bool inverted) {
  Context c;
  std::mt19937 rng(seed);
  const struct {
    int depth;
    TableBuilder build;
    decltype(&pxlPackTopBits8) worker;
  } cases[] = {
      {8, build8, pxlPackTopBits8}, {4, build4, pxlPackTopBits4}, {2, build2, pxlPackTopBits2}};
  for (const auto &k : cases) {
    Tables t(c.ctx, k.build);
    for (int n : kWidths)
      checkPacking(
          k.depth, 1, n,
          [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
            k.worker(c.ctx, s, d, dl, sg, sl, t.t);
          },
          [&](int, uint32_t v) {
            const uint32_t top = v >> (k.depth - 1);
            return inverted ? 1u - top : top;
          },
          rng);
  }
}

TEST(DepthPacking, TopBitsAtEveryDepth) {
  checkTopBits(1, pxlBuildThresholdTables8, pxlBuildThresholdTables4, pxlBuildThresholdTables2,
               false);
}

TEST(DepthPacking, InvertedTablesGiveTheComplement) {
  checkTopBits(2, pxlBuildThresholdTables8Inv, pxlBuildThresholdTables4Inv,
               pxlBuildThresholdTables2Inv, true);
}

TEST(DepthPacking, PixelsOfMissingSourceWordsAreZeroPlainAndOneInverted) {
  Context c;
  Tables plain(c.ctx, pxlBuildThresholdTables8), inverted(c.ctx, pxlBuildThresholdTables8Inv);
  // 40 pixels: ten source words, the last group has words 8 and 9 of eight.
  std::vector<uint32_t> src(10, 0xFFFFFFFFu);
  uint32_t dst[2];
  pxlPackTopBits8(c.ctx, src.data(), dst, 4, 32, 36, plain.t);
  EXPECT_EQ(dst[0], 0xFFFFFFFFu);
  EXPECT_EQ(dst[1], 0xFF000000u);
  pxlPackTopBits8(c.ctx, src.data(), dst, 4, 32, 36, inverted.t);
  EXPECT_EQ(dst[0], 0u);
  EXPECT_EQ(dst[1], 0x00FFFFFFu);
}

TEST(DepthPacking, FourthTwoBitTableGathersOddAndEvenBits) {
  Context c;
  Tables t(c.ctx, pxlBuildThresholdTables2);
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t expected = 0;
    for (int k = 0; k < 4; ++k) {
      expected |= ((b >> (7 - 2 * k)) & 1) << (19 - k);
      expected |= ((b >> (6 - 2 * k)) & 1) << (3 - k);
    }
    ASSERT_EQ(t.t[3][b], expected) << b;
  }
}

TEST(DepthPacking, TopBitPairsThroughTheFourBitTables) {
  Context c;
  std::mt19937 rng(3);
  Tables t(c.ctx, pxlBuildThresholdTables4);
  for (int n : kWidths)
    checkPacking(
        8, 2, n,
        [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
          pxlPackTopBitPairs8(c.ctx, s, d, dl, sg, sl, t.t);
        },
        [](int, uint32_t v) { return v >> 6; }, rng);
}

TEST(DepthPacking, CompareEightBitsUsesTheTopSevenBits) {
  Context c;
  std::mt19937 rng(4);
  Tables t(c.ctx, pxlBuildThresholdTables8);
  for (uint32_t b = 0; b < 128; b += 9)
    for (int n : {33, 100})
      checkPacking(
          8, 1, n,
          [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
            pxlPackCompare8(c.ctx, s, d, dl, sg, sl, t.t, b * 0x01010101u);
          },
          [&](int, uint32_t v) { return (v >> 1) >= b ? 1u : 0u; }, rng);
  // b = 64: 128 and 129 alike, 127 below.
  uint32_t src[8] = {0x80817F00u}, dst[1];
  pxlPackCompare8(c.ctx, src, dst, 0, 0, 0, t.t, 64 * 0x01010101u);
  EXPECT_EQ(dst[0], 0xC0000000u);
}

TEST(DepthPacking, CompareFourBitsIsExactForEveryThreshold) {
  Context c;
  std::mt19937 rng(5);
  Tables t(c.ctx, pxlBuildThresholdTables4);
  for (uint32_t th = 0; th < 16; ++th)
    for (int n : {1, 40, 100})
      checkPacking(
          4, 1, n,
          [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
            pxlPackCompare4(c.ctx, s, d, dl, sg, sl, t.t, ((th >> 1) * 0x11111111u) & 0x77777777u,
                            (th & 1) * 0x11111111u);
          },
          [&](int, uint32_t v) { return v >= th ? 1u : 0u; }, rng);
}

TEST(DepthPacking, RangeEightBitsWrapsOnTheHalvedValues) {
  Context c;
  std::mt19937 rng(6);
  Tables t(c.ctx, pxlBuildThresholdTables8);
  for (int trial = 0; trial < 40; ++trial) {
    const uint32_t low = rng() & 255, high = low + rng() % (256 - low);
    checkPacking(
        8, 1, 77,
        [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
          pxlPackRange8(c.ctx, s, d, dl, sg, sl, t.t, (low >> 1) * 0x01010101u,
                        ((high - low) >> 1) * 0x01010101u);
        },
        [&](int, uint32_t v) { return ((v >> 1) - (low >> 1)) % 128 <= (high - low) >> 1; }, rng);
  }
}

TEST(DepthPacking, RangeFourBitsIsExactForEveryPairOfBounds) {
  Context c;
  std::mt19937 rng(7);
  Tables t(c.ctx, pxlBuildThresholdTables4);
  for (uint32_t low = 0; low < 16; ++low)
    for (uint32_t high = low; high < 16; ++high)
      checkPacking(
          4, 1, 72,
          [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
            pxlPackRange4(c.ctx, s, d, dl, sg, sl, t.t, (low >> 1) * 0x11111111u,
                          (high >> 1) * 0x11111111u,
                          static_cast<int32_t>((low & 1) | (high & 1) << 1));
          },
          [&](int, uint32_t v) { return low <= v && v <= high ? 1u : 0u; }, rng);
}

TEST(DepthPacking, CompareAgainstAThresholdRow) {
  Context c;
  std::mt19937 rng(8);
  Tables t(c.ctx, pxlBuildThresholdTables8Inv);
  for (int n : kWidths) {
    std::vector<uint32_t> map(static_cast<size_t>(n / 4 + 9));
    for (auto &w : map) w = static_cast<uint32_t>(rng());
    const auto *m = reinterpret_cast<const uint8_t *>(map.data());
    checkPacking(
        8, 1, n,
        [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
          pxlPackCompareMap8(c.ctx, s, d, dl, sg, sl, t.t, map.data());
        },
        [&](int i, uint32_t v) {
          return (v >> 1) < (getBits(m, int64_t{i} * 8, 8) >> 1) ? 1u : 0u;
        },
        rng);
  }
}

TEST(DepthPacking, HighNibbles) {
  Context c;
  std::mt19937 rng(9);
  for (int n : kWidths)
    checkPacking(
        8, 4, n,
        [&](const uint32_t *s, uint32_t *d, int32_t dl, int32_t sg, int32_t sl) {
          pxlPackHighNibbles(c.ctx, s, d, dl, sg, sl);
        },
        [](int, uint32_t v) { return v >> 4; }, rng);
}

TEST(DepthPacking, TableBuildersRefillGivenTables) {
  Context c;
  Tables fresh(c.ctx, pxlBuildThresholdTables4);
  uint32_t *given[4];
  for (auto &p : given) {
    p = static_cast<uint32_t *>(norvtest::trackerAllocate(1024, 0, &c.tracker));
    std::memset(p, 0xFF, 1024);
  }
  uint32_t *const first = given[0];
  ASSERT_EQ(pxlBuildThresholdTables4(c.ctx, given), 0);
  EXPECT_EQ(given[0], first);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(std::memcmp(given[k], fresh.t[k], 1024), 0) << k;
    releaseRecord(c.ctx, given[k]);
  }
}

// ---- Stretch table ----

TEST(DepthStretch, RefusesBadFactorsDepthsAndWidths) {
  Context c;
  uint32_t *t = nullptr;
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, 0, &t, 100, 1, 1, 0), 2);
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, -5, &t, 100, 1, 1, 0), 2);
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, 0x10000001, &t, 100, 1, 1, 0), 2);
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, 0x10000, &t, -1, 1, 1, 0), 2);
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, 0x10000, nullptr, 100, 1, 1, 0), 2);
  EXPECT_EQ(pxlBuildStretchTable(c.ctx, 0x10000, &t, 100, 1, 3, 0), 8);
  EXPECT_EQ(t, nullptr);
}

TEST(DepthStretch, RunsOfTwoPixels) {
  Context c;
  uint32_t *t = nullptr;
  ASSERT_EQ(pxlBuildStretchTable(c.ctx, 0x8000, &t, 32, 7, 1, 0), 0);
  // Two words (32 >> 5, plus one), each cut into sixteen 2-pixel runs ending on its edge.
  std::vector<uint32_t> expected;
  for (int word = 0; word < 2; ++word) {
    for (int k = 0; k < 16; ++k) expected.push_back(0xC0000000u >> (2 * k));
    expected.push_back(0);
  }
  EXPECT_EQ(std::vector<uint32_t>(t, t + expected.size()), expected);
  releaseRecord(c.ctx, t);
  // Runs of 3 pixels cross word edges: the step (times 4 with the flag) follows the word.
  ASSERT_EQ(pxlBuildStretchTable(c.ctx, 0x5555, &t, 40, 7, 1, 1), 0);
  EXPECT_EQ(t[10], 0x00000003u);  // the 11th run's first two pixels end word 0
  EXPECT_EQ(t[11], 28u);
  EXPECT_EQ(t[12], 0x80000000u);  // and its third pixel opens word 1
  releaseRecord(c.ctx, t);
}

// Decodes a table into words of run pieces and checks the cut against the run rule: every
// word's masks are contiguous from bit 31 to bit 0, a word ends with 0 exactly where a run
// ends, and the run lengths follow the fraction accumulator.
TEST(DepthStretch, TablesFollowTheRunRuleAndStayInsideTheirBlock) {
  Context c;
  std::mt19937 rng(10);
  const int32_t factors[] = {0x10000, 0x8000,  0x5556,  0x3000,   0x1234,    0x800,
                             0x123,   0x18000, 0x30000, 0x123456, 0x10000000};
  for (int32_t factor : factors)
    for (int depth : {1, 2, 4, 8})
      for (int32_t width : {1, 2, 5, 31, 32, 33, 100, 1000}) {
        uint32_t *t = nullptr;
        ASSERT_EQ(pxlBuildStretchTable(c.ctx, factor, &t, width, 5, depth, 0), 0);
        const int64_t inverse = 0x10000000 / factor;
        const int64_t words = (int64_t{width} * depth >> 5) + 1;
        // Expected run lengths in bits, by the rule.
        std::vector<int64_t> runs;
        int64_t acc = 0;
        for (int32_t r = 0; r < width; ++r) {
          const bool neg = acc < 0;
          runs.push_back(depth * ((inverse >> 12) + (neg ? 1 : 0)));
          acc -= inverse & 0xFFF;
          if (neg) acc += 4096;
        }
        // Walk the table.
        size_t e = 0, run = 0;
        int64_t inRun = 0;  // bits of the current run seen so far
        int64_t closed = 0;
        while (closed < words && run < runs.size()) {
          if (runs[run] == 0) {
            ++run;
            continue;
          }
          int position = 0;
          bool wordDone = false;
          while (!wordDone && run < runs.size()) {
            const uint32_t mask = t[e++];
            ASSERT_NE(mask, 0u) << "factor " << factor << " width " << width;
            const int lead = __builtin_clz(mask), pieces = __builtin_popcount(mask);
            ASSERT_EQ(lead, position);
            ASSERT_EQ(mask, (pieces == 32 ? ~0u : ((1u << pieces) - 1u) << (32 - lead - pieces)));
            position += pieces;
            inRun += pieces;
            ASSERT_LE(inRun, runs[run]);
            if (position == 32) {
              const uint32_t step = t[e++];
              ASSERT_EQ(step, inRun == runs[run] ? 0u : 5u);
              wordDone = true;
              ++closed;
            }
            if (inRun == runs[run]) {
              inRun = 0;
              ++run;
              while (run < runs.size() && runs[run] == 0) ++run;
            }
          }
        }
        if (closed == words) {
          EXPECT_EQ(t[e], 0u) << "the walk ends after the last word";
        }
        releaseRecord(c.ctx, t);
      }
}

}  // namespace
