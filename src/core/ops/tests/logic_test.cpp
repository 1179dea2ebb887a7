// Logic and pixel operations against per-pixel models on both processing units: logic
// operations at every depth and width 1 to 130 (and between images of different sizes),
// the emptiness test, grey images with a mask, the clamped difference and the sharpening
// filter, with the worked examples of each and the size checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "ops_support.h"
#include "pxl_pixops.h"
#include "pxl_transfer.h"

namespace {

using opstest::channelOf;
using opstest::get;
using opstest::outsideIsClear;
using opstest::set;

class LogicTest : public opstest::OpsTest {};

uint32_t logicModel(int op, uint32_t a, uint32_t b, uint32_t max) {
  switch (op) {
    case PXL_LOGIC_OR:
      return a | b;
    case PXL_LOGIC_AND:
      return a & b;
    case PXL_LOGIC_XOR:
      return a ^ b;
    case PXL_LOGIC_AND_NOT:
      return b & ~a & max;
    case PXL_LOGIC_COPY:
      return a;
    default:
      return ~a & max;
  }
}

TEST_P(LogicTest, EveryOpDepthAndWidthMatchesTheModel) {
  for (int depth : {1, 2, 4, 8})
    for (int w = 1; w <= 130; ++w)
      for (int op = PXL_LOGIC_OR; op <= PXL_LOGIC_NOT; ++op) {
        Pixr *a = image(w, 3, depth), *b = image(w, 3, depth);
        std::vector<uint32_t> before;
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < w; ++x) before.push_back(get(b, x, y));
        ASSERT_EQ(0, pxlLogicOp(ctx, a, op, b));
        const uint32_t max = (1u << depth) - 1;
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(logicModel(op, get(a, x, y), before[size_t(y * w + x)], max), get(b, x, y))
                << "depth " << depth << " width " << w << " op " << op << " at " << x << "," << y;
        ASSERT_TRUE(outsideIsClear(b)) << "depth " << depth << " width " << w << " op " << op;
      }
}

TEST_P(LogicTest, CopyClearsWhatLiesBeyondTheSourceAndOtherOpsClip) {
  struct Case {
    int aw, ah, bw, bh, op;
  };
  for (const Case c :
       {Case{100, 50, 120, 60, PXL_LOGIC_COPY}, Case{130, 20, 120, 60, PXL_LOGIC_COPY},
        Case{120, 60, 100, 50, PXL_LOGIC_XOR}, Case{33, 70, 90, 40, PXL_LOGIC_OR}}) {
    Pixr *a = image(c.aw, c.ah, 1), *b = image(c.bw, c.bh, 1);
    std::vector<uint32_t> before;
    for (int y = 0; y < c.bh; ++y)
      for (int x = 0; x < c.bw; ++x) before.push_back(get(b, x, y));
    ASSERT_EQ(0, pxlLogicOp(ctx, a, c.op, b));
    for (int y = 0; y < c.bh; ++y)
      for (int x = 0; x < c.bw; ++x) {
        const uint32_t old = before[size_t(y * c.bw + x)];
        const bool inA = x < c.aw && y < c.ah;
        const uint32_t want = c.op == PXL_LOGIC_COPY ? (inA ? get(a, x, y) : 0)
                              : inA                  ? logicModel(c.op, get(a, x, y), old, 1)
                                                     : old;
        ASSERT_EQ(want, get(b, x, y)) << c.aw << "x" << c.ah << " into " << c.bw << "x" << c.bh;
      }
    ASSERT_TRUE(outsideIsClear(b));
  }
}

TEST_P(LogicTest, LogicOpRefusals) {
  Pixr *a1 = image(10, 10, 1), *a8 = image(10, 10, 8), *c8 = image(10, 10, 8, 3);
  EXPECT_EQ(PXL_ERR_NULL, pxlLogicOp(ctx, nullptr, PXL_LOGIC_OR, a1));
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlLogicOp(ctx, a1, PXL_LOGIC_OR, a8));
  EXPECT_EQ(PXL_ERR_CHANNELS, pxlLogicOp(ctx, a8, PXL_LOGIC_OR, c8));
  EXPECT_EQ(PXL_ERR_PARAM, pxlLogicOp(ctx, a1, 7, a1));
  EXPECT_EQ(PXL_ERR_PARAM, pxlLogicOp(ctx, a1, 0, a1));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlLogicOp(ctx, image(4, 4, 16), PXL_LOGIC_OR, image(4, 4, 16)));
  // Three channels combine channel by channel.
  Pixr *d8 = image(10, 10, 8, 3);
  ASSERT_EQ(0, pxlLogicOp(ctx, c8, PXL_LOGIC_COPY, d8));
  for (int c = 0; c < 3; ++c) EXPECT_EQ(get(channelOf(c8, c), 9, 9), get(channelOf(d8, c), 9, 9));
}

TEST_P(LogicTest, EmptinessSeesTheLastPixelOfEveryWidthAndDepth) {
  for (int depth : {1, 2, 4, 8})
    for (int w : {1, 7, 31, 32, 33, 64, 65, 100, 130}) {
      Pixr *p = image(w, 5, depth, 1, [](int, int, int) { return 0u; });
      int32_t empty = -1;
      ASSERT_EQ(0, pxlIsImageEmpty(ctx, p, &empty));
      EXPECT_EQ(1, empty);
      set(p, w - 1, 4, 1);
      ASSERT_EQ(0, pxlIsImageEmpty(ctx, p, &empty));
      EXPECT_EQ(0, empty) << "depth " << depth << " width " << w;
      set(p, w - 1, 4, 0);
      set(p, 0, 0, 1u << (depth - 1));
      ASSERT_EQ(0, pxlIsImageEmpty(ctx, p, &empty));
      EXPECT_EQ(0, empty);
    }
  int32_t empty = 0;
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlIsImageEmpty(ctx, nullptr, &empty));
  EXPECT_EQ(PXL_ERR_BAD_CHANNELS, pxlIsImageEmpty(ctx, image(4, 4, 8, 3), &empty));
}

// ---- grey with mask ----

uint32_t greyMaskModel(int depth, PxlRopCode op, uint32_t g, uint32_t m) {
  const uint32_t white = depth == 1 ? 0 : (1u << depth) - 1, black = depth == 1 ? 1 : 0;
  if (op == PXL_ROP_OR) return m ? black : g;
  return m ? g : white;
}

TEST_P(LogicTest, GreyWithMaskMatchesTheModelAtEveryDepthAndWidth) {
  for (int depth : {1, 2, 4, 8})
    for (int w = 1; w <= 130; ++w)
      for (PxlRopCode op : {PXL_ROP_OR, PXL_ROP_AND}) {
        Pixr *g = image(w, 3, depth), *m = sparse(w, 3, 0.5), *r = nullptr;
        ASSERT_EQ(0, pxlGreyBinaryOp(ctx, g, m, op, &r));
        keep(r);
        ASSERT_EQ(depth, r->depth);
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(greyMaskModel(depth, op, get(g, x, y), get(m, x, y)), get(r, x, y))
                << "depth " << depth << " width " << w << " op " << op;
        ASSERT_TRUE(outsideIsClear(r)) << "depth " << depth << " width " << w << " op " << op;
      }
}

TEST_P(LogicTest, GreyWithMaskWorkedExamplesAndInPlace) {
  Pixr *g = image(10, 4, 8, 1, [](int, int x, int) { return 100u + x; });
  Pixr *m = image(10, 4, 1, 1, [](int, int x, int y) { return (x + y) % 2 ? 1u : 0u; });
  Pixr *r = nullptr;
  ASSERT_EQ(0, pxlGreyBinaryOp(ctx, g, m, PXL_ROP_OR, &r));
  keep(r);
  EXPECT_EQ(0u, get(r, 1, 0));
  EXPECT_EQ(100u, get(r, 0, 0));
  ASSERT_EQ(0, pxlGreyBinaryOp(ctx, g, m, PXL_ROP_AND, &r));
  EXPECT_EQ(255u, get(r, 0, 0));
  EXPECT_EQ(101u, get(r, 1, 0));
  // Into the grey image itself.
  ASSERT_EQ(0, pxlGreyBinaryOp(ctx, g, m, PXL_ROP_AND, &g));
  EXPECT_EQ(255u, get(g, 0, 0));
  EXPECT_EQ(101u, get(g, 1, 0));
}

TEST_P(LogicTest, GreyWithMaskRefusesMasksOfAnotherSizeAndFillsShortOutputs) {
  for (int depth : {1, 8}) {
    Pixr *g = image(70, 40, depth);
    Pixr *r = nullptr;
    for (auto [w, h] : {std::pair{69, 40}, {70, 39}, {71, 40}, {70, 72}}) {
      EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlGreyBinaryOp(ctx, g, sparse(w, h, 0.3), PXL_ROP_OR, &r));
      EXPECT_EQ(nullptr, r);
    }
    Pixr *m = sparse(70, 40, 0.3);
    m->xResolution += 2 * 65536;
    EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlGreyBinaryOp(ctx, g, m, PXL_ROP_OR, &r));
    EXPECT_EQ(PXL_ERR_PARAM, pxlGreyBinaryOp(ctx, g, sparse(70, 40, 0.3), PXL_ROP_XOR, &r));

    // An output 5 columns and 3 rows short: filled over its own size, frame and tails 0.
    m = sparse(70, 40, 0.3);
    Pixr *shortOut = image(65, 37, depth, 1, [](int, int, int) { return 0u; });
    for (PxlRopCode op : {PXL_ROP_OR, PXL_ROP_AND}) {
      ASSERT_EQ(0, pxlGreyBinaryOp(ctx, g, m, op, &shortOut));
      for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 65; ++x)
          ASSERT_EQ(greyMaskModel(depth, op, get(g, x, y), get(m, x, y)), get(shortOut, x, y));
      EXPECT_TRUE(outsideIsClear(shortOut)) << "depth " << depth << " op " << op;
    }
  }
}

// ---- clamped difference ----

TEST_P(LogicTest, ClampedDifferenceMatchesTheModel) {
  for (int depth : {4, 8})
    for (int w = 1; w <= 130; ++w) {
      Pixr *a = image(w, 3, depth), *b = image(w, 3, depth), *r = nullptr;
      ASSERT_EQ(0, pxlSubtractImagesClamped(ctx, a, b, &r));
      keep(r);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t va = get(a, x, y), vb = get(b, x, y);
          ASSERT_EQ(va >= vb ? va - vb : 0u, get(r, x, y)) << "depth " << depth << " width " << w;
        }
      ASSERT_TRUE(outsideIsClear(r));
    }
}

TEST_P(LogicTest, ClampedDifferenceWorkedValuesSizesAndRefusals) {
  struct Case {
    int depth;
    uint32_t a, b, want;
  };
  for (const Case c : {Case{8, 10, 200, 0}, Case{8, 200, 10, 190}, Case{8, 200, 50, 150},
                       Case{8, 77, 77, 0}, Case{8, 255, 0, 255}, Case{8, 128, 127, 1},
                       Case{8, 127, 128, 0}, Case{4, 15, 3, 12}, Case{4, 9, 3, 6}, Case{4, 3, 9, 0},
                       Case{4, 15, 0, 15}, Case{4, 8, 7, 1}, Case{4, 7, 8, 0}}) {
    Pixr *a = image(9, 2, c.depth, 1, [&](int, int, int) { return c.a; });
    Pixr *b = image(9, 2, c.depth, 1, [&](int, int, int) { return c.b; });
    Pixr *r = nullptr;
    ASSERT_EQ(0, pxlSubtractImagesClamped(ctx, a, b, &r));
    keep(r);
    EXPECT_EQ(c.want, get(r, 8, 1)) << c.depth << ": " << c.a << " - " << c.b;
  }
  // The result takes the smaller size; a short output limits it further.
  Pixr *a = image(100, 30, 8), *b = image(90, 40, 8), *r = nullptr;
  ASSERT_EQ(0, pxlSubtractImagesClamped(ctx, a, b, &r));
  keep(r);
  EXPECT_EQ(90, r->width);
  EXPECT_EQ(30, r->height);
  Pixr *shortOut = image(61, 20, 8);
  ASSERT_EQ(0, pxlSubtractImagesClamped(ctx, a, b, &shortOut));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 61; ++x) {
      const uint32_t va = get(a, x, y), vb = get(b, x, y);
      ASSERT_EQ(va >= vb ? va - vb : 0u, get(shortOut, x, y));
    }
  EXPECT_TRUE(outsideIsClear(shortOut));
  // In place into a.
  Pixr *a2 = image(20, 4, 4), *b2 = image(20, 4, 4);
  std::vector<uint32_t> want;
  for (int x = 0; x < 20; ++x)
    want.push_back(std::max(get(a2, x, 3), get(b2, x, 3)) - get(b2, x, 3));
  ASSERT_EQ(0, pxlSubtractImagesClamped(ctx, a2, b2, &a2));
  for (int x = 0; x < 20; ++x) EXPECT_EQ(want[size_t(x)], get(a2, x, 3));

  r = nullptr;
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH,
            pxlSubtractImagesClamped(ctx, image(8, 8, 4), image(8, 8, 8), &r));
  Pixr *far = image(8, 8, 8);
  far->yResolution += 65537;
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlSubtractImagesClamped(ctx, image(8, 8, 8), far, &r));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlSubtractImagesClamped(ctx, image(8, 8, 2), image(8, 8, 2), &r));
  EXPECT_EQ(nullptr, r);
}

// ---- sharpening ----

uint32_t sharpenModel(Pixr *ch, int x, int y, int strength) {
  static const int weight[4] = {56, 24, 8, 0}, shift[4] = {6, 5, 4, 3};
  auto at = [&](int i, int j) {
    return norvtest::pixel(opstest::framedRow(ch, 32 + j), 32 + i, 8);
  };
  uint32_t sum = 0;
  for (int j = -1; j <= 1; ++j)
    for (int i = -1; i <= 1; ++i)
      if (i != 0 || j != 0) sum += at(x + i, y + j);
  return (sum + weight[strength] * at(x, y)) >> shift[strength];
}

TEST_P(LogicTest, SharpenMatchesTheModelForEveryStrength) {
  for (int strength = 0; strength <= 3; ++strength)
    for (int w : {1, 2, 3, 4, 5, 17, 64, 99}) {
      Pixr *s = image(w, 6, 8, 3), *r = nullptr;
      ASSERT_EQ(0, pxlSharpenImage(ctx, s, strength, &r));
      keep(r);
      for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(sharpenModel(channelOf(s, c), x, y, strength), get(channelOf(r, c), x, y))
                << "strength " << strength << " width " << w;
      ASSERT_TRUE(outsideIsClear(r));
      // In place gives the same pixels.
      ASSERT_EQ(0, pxlSharpenImage(ctx, s, strength, &s));
      for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(get(channelOf(r, c), x, y), get(channelOf(s, c), x, y));
    }
}

TEST_P(LogicTest, SharpenWorkedExamples) {
  Pixr *flat = image(12, 12, 8, 1, [](int, int, int) { return 90u; }), *r = nullptr;
  ASSERT_EQ(0, pxlSharpenImage(ctx, flat, 3, &r));
  keep(r);
  EXPECT_EQ(90u, get(r, 5, 5));
  Pixr *spot = image(5, 5, 8, 1, [](int, int x, int y) { return x == 2 && y == 2 ? 255u : 0u; });
  r = nullptr;
  ASSERT_EQ(0, pxlSharpenImage(ctx, spot, 3, &r));
  keep(r);
  EXPECT_EQ(0u, get(r, 2, 2));
  ASSERT_EQ(0, pxlSharpenImage(ctx, spot, 0, &r));
  EXPECT_EQ(223u, get(r, 2, 2));
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlSharpenImage(ctx, nullptr, 3, &r));
  EXPECT_EQ(PXL_ERR_NULL, pxlSharpenImage(ctx, spot, 3, nullptr));
  EXPECT_EQ(PXL_ERR_PARAM, pxlSharpenImage(ctx, spot, 4, &r));
}

// An abort at every poll, or an allocation failure at every allocation, of each operation
// that makes an output: the status comes back, the output made by the call is gone.
TEST_P(LogicTest, AbortsAndAllocationFailuresLeaveNoOutput) {
  Pixr *g8 = image(40, 9, 8), *g4 = image(40, 9, 4), *m = sparse(40, 9, 0.4);
  Pixr *c8 = image(40, 9, 8, 3);
  const std::vector<std::function<int32_t(Pixr **)>> ops = {
      [&](Pixr **r) { return pxlGreyBinaryOp(ctx, g8, m, PXL_ROP_AND, r); },
      [&](Pixr **r) { return pxlSubtractImagesClamped(ctx, g4, g4, r); },
      [&](Pixr **r) { return pxlSharpenImage(ctx, c8, 1, r); },
  };
  for (size_t k = 0; k < ops.size(); ++k) {
    for (int n = 1;; ++n) {
      Pixr *r = nullptr;
      abortAtPoll(n, 77);
      const int32_t status = ops[k](&r);
      abortAtPoll(0, 0);
      if (status == 0) {
        keep(r);
        break;
      }
      ASSERT_EQ(77, status) << "op " << k << " poll " << n;
      ASSERT_EQ(nullptr, r);
    }
    for (int n = 1;; ++n) {
      Pixr *r = nullptr;
      failAllocation(n);
      const int32_t status = ops[k](&r);
      failAllocation(0);
      if (status == 0) {
        keep(r);
        break;
      }
      ASSERT_EQ(PXL_ERR_NO_MEMORY, status) << "op " << k << " allocation " << n;
      ASSERT_EQ(nullptr, r);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, LogicTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
