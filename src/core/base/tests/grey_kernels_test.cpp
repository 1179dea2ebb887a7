// Packed grey kernels against the per-pixel models: resolution conversion workers (3/2, 2,
// 1/2, 1/3) and the 2x2 minimum/maximum row drivers and kernels, at 4 and 8 bits, on random
// images of every width residue, with the worked values of each rule.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "grey_reference.h"
#include "pxl_reduce_gray.h"
#include "pxl_resconv.h"

namespace {

using greyref::Framed;
using greyref::Plain;

enum class Op { ThreeHalves, Double, Half, Third, Min, Max };

const char *opName(Op op) {
  static const char *names[] = {"3/2", "2", "1/2", "1/3", "min", "max"};
  return names[static_cast<int>(op)];
}

Plain model(Op op, const Plain &s) {
  switch (op) {
    case Op::ThreeHalves:
      return greyref::threeHalves(s);
    case Op::Double:
      return greyref::doubled(s);
    case Op::Half:
      return greyref::halved(s);
    case Op::Third:
      return greyref::thirded(s);
    case Op::Min:
      return greyref::minMax2x2(s, false);
    case Op::Max:
      return greyref::minMax2x2(s, true);
  }
  return {};
}

// A context with the C runtime's allocators for the workers' tables.
PxlContext *context() {
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

// Runs the packed implementation of op from src into dst (whose size the caller chose).
int32_t runPacked(Op op, Framed &src, Framed &dst) {
  PxlContext *ctx = context();
  const int d = src.depth();
  auto args =
      std::make_tuple(src.data(), src.fullWidth(), src.fullHeight(), src.stride(), d, dst.data(),
                      dst.fullWidth(), dst.fullHeight(), dst.stride(), dst.depth());
  auto call = [&](auto fn, auto... extra) {
    return std::apply([&](auto... a) { return fn(ctx, a..., extra...); }, args);
  };
  switch (op) {
    case Op::ThreeHalves:
      return call(pxlEnlargeThreeHalvesRaw, nullptr);
    case Op::Double:
      return call(pxlEnlargeDoubleRaw, nullptr);
    case Op::Half:
      return call(pxlReduceHalfRaw);
    case Op::Third:
      return call(pxlReduceThirdRaw);
    case Op::Min:
    case Op::Max: {
      auto driver = op == Op::Min ? (d == 8 ? pxlReduceGrayMinRaw8 : pxlReduceGrayMinRaw4)
                                  : (d == 8 ? pxlReduceGrayMaxRaw8 : pxlReduceGrayMaxRaw4);
      return driver(ctx, dst.data(), dst.fullWidth(), dst.fullHeight(), dst.stride(), src.data(),
                    src.stride());
    }
  }
  return -1;
}

// Output content and its row tails full of ones, as an image made without clearing may be.
void fillContentWords(Framed &f, int width, int height) {
  const int words = (width * f.depth() + 31) / 32;
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < words; ++i) f.contentRow(y)[i] = 0xFFFFFFFFu;
}

std::string describe(Op op, const Plain &s) {
  return std::string(opName(op)) + " depth " + std::to_string(s.depth) + " source " +
         std::to_string(s.width) + "x" + std::to_string(s.height);
}

// The packed result equals the model; the output's frame and row tails are 0; the source's
// frame and tails (made dirty) do not matter.
void expectMatchesModel(Op op, const Plain &s, int extraWords) {
  SCOPED_TRACE(describe(op, s));
  const Plain want = model(op, s);
  Framed src(s, extraWords);
  src.dirtyOutside();
  Framed dst(want.width, want.height, s.depth, extraWords);
  fillContentWords(dst, want.width, want.height);
  ASSERT_EQ(runPacked(op, src, dst), 0);
  EXPECT_TRUE(dst.content() == want);
  EXPECT_TRUE(dst.cleanOutside());
}

constexpr Op kAllOps[] = {Op::ThreeHalves, Op::Double, Op::Half, Op::Third, Op::Min, Op::Max};

TEST(GreyKernels, RandomImagesMatchTheModelAtEveryWidthResidue) {
  std::mt19937 rng(8);
  for (Op op : kAllOps)
    for (int depth : {4, 8})
      for (int width = 1; width <= 80; ++width) {
        const int height = 1 + static_cast<int>(rng() % 7);
        expectMatchesModel(op, greyref::randomPlain(rng, width, height, depth), width % 3);
      }
}

TEST(GreyKernels, WideRowsUseTheFourWordPathAlike) {
  std::mt19937 rng(88);
  for (Op op : kAllOps)
    for (int depth : {4, 8})
      for (int width : {191, 200, 287, 300, 433})
        expectMatchesModel(op, greyref::randomPlain(rng, width, 6, depth), width % 2);
}

Plain crop(const Plain &p, int width, int height) {
  Plain c(width, height, p.depth);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) c.at(x, y) = p.at(x, y);
  return c;
}

// Outputs shorter than the converted size by a few pixels and rows. An enlargement gives the
// converted image cut to the output; a reduction converts the source part that the output
// covers, its row-end rule following the output's width. The frame stays clean.
TEST(GreyKernels, ShorterOutputGetsTheCoveredPart) {
  std::mt19937 rng(5);
  for (Op op : {Op::ThreeHalves, Op::Double, Op::Half, Op::Third})
    for (int depth : {4, 8})
      for (int cut = 1; cut <= 3; ++cut) {
        const Plain s = greyref::randomPlain(rng, 73, 13, depth);
        SCOPED_TRACE(describe(op, s) + " cut " + std::to_string(cut));
        const Plain full = model(op, s);
        const int w = full.width - cut, h = full.height - cut;
        const int factor = op == Op::Half ? 2 : 3;
        const Plain want = op == Op::ThreeHalves || op == Op::Double
                               ? crop(full, w, h)
                               : model(op, crop(s, factor * w, factor * h));
        Framed src(s), dst(w, h, depth);
        ASSERT_EQ(runPacked(op, src, dst), 0);
        EXPECT_TRUE(dst.content() == want);
        EXPECT_TRUE(dst.cleanOutside());
      }
}

// An output larger than the converted size: only what the source covers is converted, the
// rest of the content is 0, and nothing past the source's buffer is read (the buffers are
// exactly their framed rows, so the sanitizer sees any such read).
TEST(GreyKernels, LargerOutputIsFilledAsFarAsTheSourceReaches) {
  std::mt19937 rng(6);
  for (Op op : {Op::ThreeHalves, Op::Double, Op::Half, Op::Third})
    for (int depth : {4, 8}) {
      const Plain s = greyref::randomPlain(rng, 23, 9, depth);
      SCOPED_TRACE(describe(op, s));
      const Plain want = model(op, s);
      Framed src(s), dst(want.width + 32, want.height + 32, depth);
      fillContentWords(dst, want.width + 32, want.height + 32);
      ASSERT_EQ(runPacked(op, src, dst), 0);
      const Plain got = dst.content();
      for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
          const int expected = x < want.width && y < want.height ? want.at(x, y) : 0;
          ASSERT_EQ(got.at(x, y), expected) << "at " << x << "," << y;
        }
      EXPECT_TRUE(dst.cleanOutside());
    }
}

TEST(GreyKernels, WorkersRefuseOtherDepths) {
  Framed a(8, 8, 8), b(4, 4, 8), c(4, 4, 4), two(8, 8, 2);
  for (Op op : {Op::ThreeHalves, Op::Double, Op::Half, Op::Third}) {
    EXPECT_EQ(runPacked(op, a, c), 8) << opName(op);
    EXPECT_EQ(runPacked(op, two, two), 8) << opName(op);
  }
}

}  // namespace

namespace {

Plain rows(int depth, std::initializer_list<std::initializer_list<int>> values) {
  Plain p(static_cast<int>(values.begin()->size()), static_cast<int>(values.size()), depth);
  int y = 0;
  for (auto &row : values) {
    int x = 0;
    for (int v : row) p.at(x++, y) = v;
    ++y;
  }
  return p;
}

Plain uniform(int w, int h, int depth, int value) {
  Plain p(w, h, depth);
  std::fill(p.px.begin(), p.px.end(), value);
  return p;
}

Plain convert(Op op, const Plain &s, int width, int height) {
  Framed src(s), dst(width, height, s.depth);
  EXPECT_EQ(runPacked(op, src, dst), 0);
  return dst.content();
}

struct Example {
  const char *what;
  Op op;
  Plain source;
  Plain expected;
};

TEST(GreyKernels, WorkedExamples) {
  const Example examples[] = {
      {"8-bit pair 255, 255 at position 1 widens to 255, 254, 254", Op::ThreeHalves,
       rows(8, {{0, 0, 255, 255, 0, 0, 0, 0}}),
       rows(8, {{0, 0, 0, 255, 254, 254, 0, 0, 0, 0, 0, 0}})},
      {"8-bit halving of 1, 1, 1, 1: 0 in a whole word, 1 at the row's end", Op::Half,
       uniform(10, 2, 8, 1), rows(8, {{0, 0, 0, 0, 1}})},
      {"8-bit third of 255: 252 by the packed rule, 247 at the row's end", Op::Third,
       uniform(39, 3, 8, 255),
       rows(8, {{252, 252, 252, 252, 252, 252, 252, 252, 252, 252, 252, 252, 247}})},
      {"4-bit halving of 15, 15, 15, 14 gives 15 and of 0, 0, 0, 2 gives 1", Op::Half,
       rows(4, {{15, 15, 0, 0}, {15, 14, 0, 2}}), rows(4, {{15, 1}})},
      {"doubling a single row gives two equal rows", Op::Double, rows(8, {{9, 200, 31}}),
       rows(8, {{8, 104, 200, 115, 31, 31}, {8, 104, 200, 115, 31, 31}})},
      {"4-bit doubling: odd means round up only before a 15; none past the row", Op::Double,
       rows(4, {{1, 2, 3, 15, 4, 0, 15}}),
       rows(4, {{1, 2, 2, 3, 3, 9, 15, 9, 4, 2, 0, 7, 15, 15},
                {1, 2, 2, 3, 3, 9, 15, 9, 4, 2, 0, 7, 15, 15}})},
      {"minimum of the block 10, 20 / 15, 5", Op::Min, rows(8, {{10, 20}, {15, 5}}),
       rows(8, {{5}})},
      {"maximum of the block 10, 20 / 15, 5", Op::Max, rows(8, {{10, 20}, {15, 5}}),
       rows(8, {{20}})},
      {"0 and 255 in one block: no wrap-around", Op::Min, rows(8, {{0, 255}, {255, 255}}),
       rows(8, {{0}})},
      {"0 and 255 in one block: maximum", Op::Max, rows(8, {{0, 0}, {255, 0}}), rows(8, {{255}})},
      {"4-bit 0 and 15 in one block", Op::Max, rows(4, {{0, 15}, {0, 0}}), rows(4, {{15}})},
  };
  for (const Example &e : examples) {
    SCOPED_TRACE(e.what);
    EXPECT_TRUE(convert(e.op, e.source, e.expected.width, e.expected.height) == e.expected);
  }
}

// A 5 x 3 8-bit source enlarged by 3/2 gives 7 x 4: output row 3 is source row 2 widened,
// and the last pixel of each widened row is source pixel 4 with its lowest bit cleared.
TEST(GreyKernels, ThreeHalvesOfFiveByThree) {
  const Plain s = rows(8, {{11, 22, 33, 44, 201}, {55, 66, 77, 88, 99}, {7, 8, 9, 10, 155}});
  const Plain out = convert(Op::ThreeHalves, s, 7, 4);
  const Plain lastRow = convert(Op::ThreeHalves, rows(8, {{7, 8, 9, 10, 155}}), 7, 1);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(out.at(x, 3), lastRow.at(x, 0)) << x;
  EXPECT_EQ(out.at(6, 0), 200);
  EXPECT_EQ(out.at(6, 2), 98);
  EXPECT_EQ(out.at(6, 3), 154);
}

// Row kernels of the 2x2 minimum and maximum, on bare word rows.
TEST(GreyKernels, MinMaxRowKernelsWriteWholeWordsUpToTheLastPixel) {
  constexpr uint32_t kSentinel = 0xA5A5A5A5u;
  // Two 8-bit source rows of 16 pixels (4 words each), stride 16 bytes.
  uint32_t src8[8] = {0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10,
                      0x11121314, 0x15161718, 0x191A1B1C, 0x1D1E1F20};
  uint32_t dst[3] = {kSentinel, kSentinel, kSentinel};
  // D = 1: one word, its first pixel the minimum of pixels 0 and 1 of both rows.
  EXPECT_EQ(pxlReduceGray8Min2x2(nullptr, dst, 1, src8, 16), 0);
  EXPECT_EQ(dst[0], 0x01000000u);
  EXPECT_EQ(dst[1], kSentinel);
  // D = 4 (a multiple of 4): exactly one word; the next is not touched.
  EXPECT_EQ(pxlReduceGray8Max2x2(nullptr, dst, 4, src8, 16), 0);
  EXPECT_EQ(dst[0], 0x12141618u);
  EXPECT_EQ(dst[1], kSentinel);

  // D = 5, 8-bit maximum: word 1 holds pixel 4 in its top byte.
  uint32_t wide[12] = {0x01020304, 0x05060708, 0x0900FF0C, 0, 0, 0,
                       0x11121314, 0x15161718, 0x191A1B1C, 0, 0, 0};
  EXPECT_EQ(pxlReduceGray8Max2x2(nullptr, dst, 5, wide, 24), 0);
  EXPECT_EQ(dst[0], 0x12141618u);
  EXPECT_EQ(dst[1], 0x1A000000u);
  EXPECT_EQ(dst[2], kSentinel);

  // D = 9, 4-bit minimum: two words, the second holding pixel 8 in its top nibble.
  uint32_t nib[8] = {0x12345678, 0x9ABCDEF1, 0x2F3E4D5C, 0x00000000,
                     0xFFFFFFFF, 0xFFFFFFFF, 0x11FFFFFF, 0xFFFFFFFF};
  dst[2] = kSentinel;
  EXPECT_EQ(pxlReduceGray4Min2x2(nullptr, dst, 9, nib, 16), 0);
  EXPECT_EQ(dst[0], 0x13579BD1u);
  EXPECT_EQ(dst[1], 0x10000000u);
  EXPECT_EQ(dst[2], kSentinel);
}

}  // namespace
