// Row kernels of the binary rank reduction: the integer and the 8-byte-unit kernels against
// a per-block model, for every source width from 1 to 600 (and some wider) and every rank
// rule: destination pixels, the pixels past the width, and no write past the last word.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pxl_reduce.h"

namespace {

// Rows of 1-bit pixels in the core's layout (32-bit little-endian words, first pixel in
// the top bit), 8-byte aligned, with a given stride.
struct BitRows {
  int stride;  // bytes, a multiple of 8
  std::vector<uint64_t> store;
  BitRows(int rows, int strideBytes) : stride(strideBytes), store(size_t(rows) * strideBytes / 8) {}
  uint8_t *row(int y) { return reinterpret_cast<uint8_t *>(store.data()) + size_t(y) * stride; }
  uint32_t *word(int y, int x) { return reinterpret_cast<uint32_t *>(row(y)) + x / 32; }
  int get(int x, int y) { return (*word(y, x) >> (31 - x % 32)) & 1; }
  void set(int x, int y, int v) {
    uint32_t bit = 0x80000000u >> (x % 32);
    *word(y, x) = v ? (*word(y, x) | bit) : (*word(y, x) & ~bit);
  }
};

// Source content that makes every rule produce both answers: tiles of 16 x 16 pixels that
// are all set, all clear, dense or sparse, with single flipped pixels.
void fillBlocks(BitRows &rows, int width, int height, std::mt19937 &rng) {
  for (int ty = 0; ty < height; ty += 16)
    for (int tx = 0; tx < width; tx += 16) {
      int kind = int(rng() % 5);
      for (int y = ty; y < std::min(ty + 16, height); ++y)
        for (int x = tx; x < std::min(tx + 16, width); ++x) {
          int v = kind == 0 ? 1 : kind == 1 ? 0 : kind == 2 ? (rng() % 8 != 0) : (rng() % 3 == 0);
          rows.set(x, y, v);
        }
    }
}

enum class Rule { AtLeast1, AtLeast2, AtLeast3, AtLeast4, Or, And };

int modelPixel(BitRows &src, int f, int x, Rule rule, int limit) {
  int count = 0;
  for (int y = 0; y < f; ++y)
    for (int c = f * x; c < f * x + f; ++c) count += c < limit ? src.get(c, y) : 0;
  switch (rule) {
    case Rule::AtLeast1:
      return count >= 1;
    case Rule::AtLeast2:
      return count >= 2;
    case Rule::AtLeast3:
      return count >= 3;
    case Rule::AtLeast4:
      return count >= 4;
    case Rule::Or:
      return count > 0;
    case Rule::And:
      return count == f * f;
  }
  return -1;
}

using WordKernel = void (*)(PxlContext *, const void *, int32_t, void *, int32_t, int32_t, int32_t);

struct KernelCase {
  int f;
  Rule rule;
  WordKernel word;           // integer kernel (null when it takes a column function)
  PxlRankColumnFn column;    // column function of pxlRankRow8 / pxlRankRow16
  PxlReduceUnitKernel unit;  // 8-byte-unit twin, null for 16x
};

const KernelCase kKernels[] = {
    {2, Rule::AtLeast1, pxlRankRow2Level1, nullptr, pxlReduce2xRank1Mmx},
    {2, Rule::AtLeast2, pxlRankRow2Level2, nullptr, pxlReduce2xRank2Mmx},
    {2, Rule::AtLeast3, pxlRankRow2Level3, nullptr, pxlReduce2xRank3Mmx},
    {2, Rule::AtLeast4, pxlRankRow2Level4, nullptr, pxlReduce2xRank4Mmx},
    {4, Rule::Or, pxlRankRow4Or, nullptr, pxlReduce4xOrMmx},
    {4, Rule::And, pxlRankRow4And, nullptr, pxlReduce4xAndMmx},
    {8, Rule::Or, nullptr, pxlRankColumn8Or, pxlReduce8xOrMmx},
    {8, Rule::And, nullptr, pxlRankColumn8And, pxlReduce8xAndMmx},
    {16, Rule::Or, nullptr, pxlRankColumn16Or, nullptr},
    {16, Rule::And, nullptr, pxlRankColumn16And, nullptr},
};

constexpr uint8_t kGuard = 0xA5;

TEST(ReduceKernels, IntegerAndUnitKernelsEqualTheBlockModel) {
  std::mt19937 rng(7);
  for (const KernelCase &k : kKernels) {
    // Every width to 600, and a few wide enough for several pairs of 8x destination units.
    std::vector<int> widths;
    for (int w = k.f; w <= 600; ++w) widths.push_back(w);
    for (int w : {1031, 1100, 1543, 2113, 2175}) widths.push_back(w);
    for (int width : widths) {
      SCOPED_TRACE(testing::Message()
                   << "f " << k.f << " rule " << int(k.rule) << " width " << width);
      const int used = width - width % k.f, dstW = width / k.f;
      // Room for the whole source row plus garbage past the width, up to one unit after
      // the unit that holds the last used pixel.
      const int stride = ((width + 63) / 64 + 2) * 8;
      BitRows src(k.f, stride);
      for (auto &w : src.store) w = (uint64_t(rng()) << 32) | rng();  // garbage everywhere
      fillBlocks(src, width, k.f, rng);

      const int dstBytes = ((dstW + 63) / 64 + 1) * 8;
      auto check = [&](std::vector<uint8_t> &dst, int lastByte, bool unit) {
        for (int x = 0; x < dstW; ++x) {
          int got = (reinterpret_cast<uint32_t *>(dst.data())[x / 32] >> (31 - x % 32)) & 1;
          ASSERT_EQ(modelPixel(src, k.f, x, k.rule, used), got) << "pixel " << x;
        }
        if (unit) {
          // Past the width the unit kernel only sets pixels whose block shares a byte with
          // used pixels; bytes past the last kept one count as 0.
          const int kept = (used + 7) / 8 * 8;
          for (int x = dstW; x < lastByte * 8; ++x) {
            int got = (reinterpret_cast<uint32_t *>(dst.data())[x / 32] >> (31 - x % 32)) & 1;
            ASSERT_EQ(modelPixel(src, k.f, x, k.rule, kept), got) << "tail pixel " << x;
          }
        }
        for (size_t i = size_t(lastByte); i < dst.size(); ++i)
          ASSERT_EQ(kGuard, dst[i]) << "write past the last word at byte " << i;
      };

      const int lastWord = (dstW - 1) / 32 * 4, lastSrcWord = (used - 1) / 32 * 4;
      std::vector<uint8_t> dst(size_t(dstBytes), kGuard);
      if (k.word)
        k.word(nullptr, src.row(0), stride, dst.data(), lastWord, k.f * lastWord, lastSrcWord);
      else if (k.f == 8)
        pxlRankRow8(nullptr, src.row(0), stride, dst.data(), lastWord, k.f * lastWord, lastSrcWord,
                    k.column);
      else
        pxlRankRow16(nullptr, src.row(0), stride, dst.data(), lastWord, k.f * lastWord, lastSrcWord,
                     k.column);
      check(dst, lastWord + 4, false);

      if (k.unit) {
        const int lastUnit = (dstW - 1) / 64 * 8, lastSrcUnit = (used - 1) / 64 * 8;
        std::vector<uint64_t> aligned(size_t(dstBytes) / 8);
        std::memset(aligned.data(), kGuard, size_t(dstBytes));
        k.unit(nullptr, src.row(0), width, stride, aligned.data(), lastUnit, k.f * lastUnit,
               lastSrcUnit, 0);
        std::vector<uint8_t> bytes(static_cast<size_t>(dstBytes));
        std::memcpy(bytes.data(), aligned.data(), size_t(dstBytes));
        check(bytes, lastUnit + 8, true);
      }
    }
  }
}

TEST(ReduceKernels, LeadingByteMasksKeepTheFirstBytesInPixelOrder) {
  const uint8_t one[8] = {0, 0, 0, 0xFF, 0, 0, 0, 0};
  const uint8_t five[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF};
  EXPECT_EQ(0, std::memcmp(one, pxlLeadingByteMasks[1], 8));
  EXPECT_EQ(0, std::memcmp(five, pxlLeadingByteMasks[5], 8));
  for (int k = 0; k < 8; ++k) {
    int kept = k == 0 ? 8 : k;
    for (int b = 0; b < 8; ++b) {
      // Byte b in pixel order lies at address (b XOR 3) within its word pair.
      const uint8_t *bytes = reinterpret_cast<const uint8_t *>(pxlLeadingByteMasks[k]);
      EXPECT_EQ(b < kept ? 0xFF : 0x00, bytes[b ^ 3]) << "entry " << k << " byte " << b;
    }
  }
  EXPECT_EQ(1, pxlMmxReduceAvailable(nullptr));
}

}  // namespace
