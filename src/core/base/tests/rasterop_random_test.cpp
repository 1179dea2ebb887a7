// Randomised agreement of pxlRasterOpRaw with the per-bit model: every Boolean function at
// every depth, clipped and unclipped, with a constant and a real source, over random
// rectangles (negative positions, frames of 0, 32 and odd sizes, rectangles past the content,
// negative sizes). Whole destination buffers are compared, so a bit written outside the
// rectangle, in the frame or in the row padding fails the case. Also: the same call laid out
// for either processing unit gives the same pixels, in-place moves towards lower addresses
// (as crop does) equal a copy through a temporary, and negative strides address rows upwards.
#include <gtest/gtest.h>

#include <cstring>

#include "rop_model.h"

namespace {

using roptest::callRasterOp;
using roptest::describe;
using roptest::modelRasterOp;
using roptest::RopCall;
using roptest::WordBuffer;

constexpr int32_t kDepths[] = {1, 2, 4, 8, 16};

class CaseMaker {
 public:
  explicit CaseMaker(uint32_t seed) : rng_(seed) {}
  int32_t in(int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng_);
  }
  bool chance(int percent) { return in(0, 99) < percent; }
  std::mt19937 &rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

struct RandomCase {
  RopCall call;
  WordBuffer dst;
  WordBuffer src;
};

// A buffer of contentW x contentH pixels with the frame on every side and 0-2 words of row
// padding; rows of an even number of words for unit 8, of an odd number when oddWords is set.
WordBuffer makeBuffer(CaseMaker &m, int32_t depth, int32_t frameX, int32_t frameY, int32_t contentW,
                      int32_t contentH, int unit, bool oddWords = false) {
  int32_t words = ((2 * frameX + contentW) * depth + 31) / 32 + m.in(0, 2);
  if (unit == 8 && words % 2 != 0) ++words;
  if (oddWords && words % 2 == 0) ++words;
  WordBuffer b(words * 4, contentH + 2 * frameY);
  b.fillRandom(m.rng());
  return b;
}

// Moves a source start pixel by less than one word so that source and destination start at
// the same bit of their words (the aligned kernels), keeping it inside [0, limit - width].
int32_t alignedStart(int32_t srcStart, int32_t dstStart, int32_t depth, int32_t width,
                     int32_t limit) {
  const int32_t perWord = 32 / depth;
  int32_t aligned = srcStart - ((srcStart - dstStart) % perWord + perWord) % perWord;
  if (aligned < 0) aligned += perWord;
  return aligned + width <= limit ? aligned : srcStart;
}

RandomCase makeCase(CaseMaker &m, int32_t depth, int32_t fn, bool clip, bool source, int unit,
                    bool oddWords = false) {
  RandomCase rc;
  RopCall &c = rc.call;
  const int32_t maxPixels = std::max(1, (m.chance(50) ? 64 : 448) / depth);
  auto frame = [&] {
    const int32_t r = m.in(0, 9);
    return r < 4 ? 0 : r < 8 ? 32 : m.in(1, 40);
  };
  c.depth = depth;
  // Bits 5 and up: the constant source without a source buffer, ignored with one.
  c.op = fn | (clip ? 0 : PXL_ROP_NOCLIP) | (m.chance(50) ? m.in(1, 0x3FF) << 5 : 0);
  c.hasSource = source;
  const int32_t otherDepths[] = {1, 2, 3, 4, 8, 16, 32};
  c.srcDepth = source ? depth : otherDepths[m.in(0, 6)];

  c.dstFrameX = frame();
  c.dstFrameY = m.in(0, 3);
  const int32_t cw = m.in(1, maxPixels), ch = m.in(1, 6);
  rc.dst = makeBuffer(m, depth, c.dstFrameX, c.dstFrameY, cw, ch, unit, oddWords);
  c.dstWidth = cw;
  c.dstHeight = ch;
  int32_t scw = 1, sch = 1;
  if (source) {
    c.srcFrameX = frame();
    c.srcFrameY = m.in(0, 3);
    scw = m.in(1, maxPixels);
    sch = m.in(1, 6);
    rc.src = makeBuffer(m, depth, c.srcFrameX, c.srcFrameY, scw, sch, unit, oddWords);
    c.srcWidth = scw;
    c.srcHeight = sch;
  } else {
    // Without a source its coordinates mean nothing and must not clip anything.
    c.sx = m.in(-50, 50);
    c.sy = m.in(-5, 5);
  }

  if (clip) {
    // Mostly rectangles that start inside the content; some start before it (clipped on the
    // left or top, down to a negative size) and some have no size at all.
    c.dx = m.chance(30) ? m.in(-cw / 2 - 2, -1) : m.in(0, cw);
    c.dy = m.chance(25) ? m.in(-2, -1) : m.in(0, ch);
    c.width = m.chance(5) ? m.in(-2, 0) : m.in(1, cw + 4);
    c.height = m.chance(5) ? m.in(-1, 0) : m.in(1, ch + 2);
    if (source) {
      c.sx = m.chance(30) ? m.in(-scw / 2 - 2, -1) : m.in(0, scw);
      c.sy = m.chance(25) ? m.in(-2, -1) : m.in(0, sch);
      if (m.chance(25))
        c.sx =
            alignedStart(c.srcFrameX + c.sx, c.dstFrameX + c.dx, depth, 0, 1 << 30) - c.srcFrameX;
    }
    return rc;
  }

  // No clipping: the caller keeps the rectangle inside both buffers; only a start before the
  // destination buffer's top-left corner is cut off (by exX, exY pixels).
  const int32_t bufW = static_cast<int32_t>(rc.dst.rowBits() / depth), bufH = rc.dst.rows;
  const int32_t srcBufW = source ? static_cast<int32_t>(rc.src.rowBits() / depth) : bufW;
  const int32_t srcBufH = source ? rc.src.rows : bufH;
  const int32_t aw = m.chance(5) ? 0 : m.in(1, std::min(bufW, srcBufW));
  const int32_t ah = m.chance(5) ? 0 : m.in(1, std::min(bufH, srcBufH));
  const int32_t bx = m.in(0, bufW - aw), by = m.in(0, bufH - ah);
  const int32_t exX = (bx == 0 && m.chance(30)) ? m.in(1, 6) : 0;
  const int32_t exY = (by == 0 && m.chance(30)) ? m.in(1, 3) : 0;
  c.dx = bx - c.dstFrameX - exX;
  c.dy = by - c.dstFrameY - exY;
  c.width = m.chance(3) ? -m.in(1, 4) : aw + exX;
  c.height = ah + exY;
  if (source) {
    int32_t sbx = m.in(0, srcBufW - aw);
    if (m.chance(25)) sbx = alignedStart(sbx, bx, depth, aw, srcBufW);
    const int32_t sby = m.in(0, srcBufH - ah);
    c.sx = sbx - c.srcFrameX - exX;
    c.sy = sby - c.srcFrameY - exY;
  }
  return rc;
}

PxlContext makeContext(int unit) {
  PxlContext ctx{};
  pxlInitContext(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, sizeof ctx);
  pxlSetProcessorFlag(&ctx, unit == 8 ? 1 : 0);
  return ctx;
}

TEST(RasterOpRawRandom, AgreesWithPerBitModelOnWholeBuffers) {
  CaseMaker m(0x5EED0110u);
  PxlContext ctx4 = makeContext(4), ctx8 = makeContext(8);
  int64_t cases = 0, changed = 0, rejected = 0, failures = 0;
  for (int32_t depth : kDepths) {
    for (int32_t fn = 0; fn <= 30; fn += 2) {
      for (bool clip : {true, false}) {
        for (bool source : {true, false}) {
          for (int rep = 0; rep < 320; ++rep) {
            const int unit = (rep & 1) ? 8 : 4;
            RandomCase rc = makeCase(m, depth, fn, clip, source, unit);
            WordBuffer expected = rc.dst;
            const int32_t want = modelRasterOp(rc.call, expected, &rc.src);
            const std::vector<uint32_t> before = rc.dst.words;
            const int32_t got = callRasterOp(unit == 8 ? &ctx8 : &ctx4, rc.call, rc.dst, &rc.src);
            ++cases;
            changed += expected.words != before;
            rejected += want != 0;
            if (got != want || rc.dst.words != expected.words) {
              ADD_FAILURE() << describe(rc.call, rc.dst, &rc.src) << ": status " << got
                            << ", expected " << want;
              if (++failures >= 10) return;
            }
          }
        }
      }
    }
  }
  EXPECT_GE(cases, 100000);
  // The generator must mostly produce rectangles that change something, and some that fail.
  EXPECT_GT(changed, cases * 2 / 5);
  EXPECT_GT(rejected, 1000);
}

// The same call with rows laid out for unit 4 (odd word counts) and for unit 8 (rows padded to
// 8 bytes), through contexts of either processor flag, gives the same pixels.
TEST(RasterOpRawRandom, BothProcessingUnitsGiveTheSamePixels) {
  CaseMaker m(0x0B07C0DEu);
  PxlContext ctx4 = makeContext(4), ctx8 = makeContext(8);
  int32_t unit = 0;
  pxlGetProcessingUnit(&ctx8, &unit);
  ASSERT_EQ(unit, 8);
  pxlGetProcessingUnit(&ctx4, &unit);
  ASSERT_EQ(unit, 4);
  for (int rep = 0; rep < 4000; ++rep) {
    const int32_t depth = kDepths[m.in(0, 4)];
    RandomCase rc = makeCase(m, depth, 2 * m.in(0, 15), m.chance(50), m.chance(75), 4, true);
    // The unit 8 layout: each row's words followed by one more word of padding.
    auto widen = [&](const WordBuffer &b) {
      WordBuffer w(b.bytesPerRow + 4, b.rows);
      w.fillRandom(m.rng());
      for (int32_t r = 0; r < b.rows; ++r)
        std::memcpy(&w.words[static_cast<size_t>(r) * w.rowWords()],
                    &b.words[static_cast<size_t>(r) * b.rowWords()],
                    static_cast<size_t>(b.bytesPerRow));
      return w;
    };
    WordBuffer dst8 = widen(rc.dst), src8 = rc.call.hasSource ? widen(rc.src) : WordBuffer();
    const WordBuffer dst8Before = dst8;
    const int32_t s4 = callRasterOp(&ctx4, rc.call, rc.dst, &rc.src);
    const int32_t s8 = callRasterOp(&ctx8, rc.call, dst8, &src8);
    ASSERT_EQ(s4, s8) << describe(rc.call, rc.dst, &rc.src);
    for (int32_t r = 0; r < rc.dst.rows; ++r) {
      const uint32_t *row4 = &rc.dst.words[static_cast<size_t>(r) * rc.dst.rowWords()];
      const uint32_t *row8 = &dst8.words[static_cast<size_t>(r) * dst8.rowWords()];
      ASSERT_EQ(0, std::memcmp(row4, row8, static_cast<size_t>(rc.dst.bytesPerRow)))
          << describe(rc.call, rc.dst, &rc.src) << " row " << r;
      ASSERT_EQ(row8[rc.dst.rowWords()],
                dst8Before.words[static_cast<size_t>(r) * dst8.rowWords() + rc.dst.rowWords()])
          << "padding word written, row " << r;
    }
  }
}

// Crop moves a rectangle towards the buffer's start inside one block, possibly with a smaller
// stride (op 25, buffer coordinates): the destination never lies after the source, so the
// top-down, left-to-right order gives the same result as a copy through a temporary.
TEST(RasterOpRawRandom, InPlaceMoveTowardsTheStartEqualsCopy) {
  CaseMaker m(0xC809u);
  PxlContext ctx = makeContext(8);
  for (int rep = 0; rep < 2000; ++rep) {
    const int32_t depth = kDepths[m.in(0, 4)];
    const int32_t fullW = m.in(1, 480 / depth) + 64, rows = m.in(3, 10);
    const int32_t oldBpr = ((fullW * depth + 31) / 32) * 4;
    WordBuffer block(oldBpr, rows);
    block.fillRandom(m.rng());
    RopCall c;
    c.depth = c.srcDepth = depth;
    c.op = PXL_ROP_COPY | PXL_ROP_NOCLIP;
    c.hasSource = true;
    c.sx = m.in(0, 40);
    c.sy = m.in(0, 2);
    c.width = m.in(0, fullW - c.sx);
    c.height = m.in(0, rows - c.sy);
    const int32_t newBpr = std::min(oldBpr, ((c.width * depth + 31) / 32 + m.in(0, 1)) * 4 + 4);
    const int32_t newRows = static_cast<int32_t>(block.words.size() * 4 / newBpr);
    c.dstWidth = c.srcWidth = fullW;
    c.dstHeight = c.srcHeight = rows;
    ASSERT_LE(c.height, newRows);

    const WordBuffer snapshot = block;
    WordBuffer expected(newBpr, newRows);
    std::copy_n(snapshot.words.begin(), expected.words.size(), expected.words.begin());
    modelRasterOp(c, expected, &snapshot);

    ASSERT_EQ(0, pxlRasterOpRaw(&ctx, block.data(), fullW, rows, 0, 0, 0, 0, c.width, c.height,
                                depth, newBpr, c.op, block.data(), fullW, rows, c.sx, c.sy, 0, 0,
                                depth, oldBpr));
    ASSERT_TRUE(std::equal(expected.words.begin(), expected.words.end(), block.words.begin()))
        << "depth " << depth << " from " << c.sx << "," << c.sy << " size " << c.width << "x"
        << c.height << " bpr " << oldBpr << " -> " << newBpr;
    ASSERT_TRUE(std::equal(block.words.begin() + static_cast<ptrdiff_t>(expected.words.size()),
                           block.words.end(),
                           snapshot.words.begin() + static_cast<ptrdiff_t>(expected.words.size())));
  }
}

// A buffer stored bottom-up, addressed from its last row with a negative stride, takes the
// same rectangle as its top-down twin.
TEST(RasterOpRawRandom, NegativeStrideAddressesRowsUpwards) {
  CaseMaker m(0xF11Bu);
  PxlContext ctx = makeContext(4);
  auto flip = [](const WordBuffer &b) {
    WordBuffer f = b;
    for (int32_t r = 0; r < b.rows; ++r)
      std::copy_n(b.words.begin() + static_cast<ptrdiff_t>(r) * b.rowWords(), b.rowWords(),
                  f.words.begin() + static_cast<ptrdiff_t>(b.rows - 1 - r) * b.rowWords());
    return f;
  };
  for (int rep = 0; rep < 1000; ++rep) {
    RandomCase rc =
        makeCase(m, kDepths[m.in(0, 4)], 2 * m.in(0, 15), m.chance(50), m.chance(75), 4);
    const RopCall &c = rc.call;
    WordBuffer expected = rc.dst;
    const int32_t want = modelRasterOp(c, expected, &rc.src);
    WordBuffer dstUp = flip(rc.dst);
    const WordBuffer srcUp = c.hasSource ? flip(rc.src) : WordBuffer();
    auto lastRow = [](auto &b) {
      return b.data() + static_cast<ptrdiff_t>(b.rows - 1) * b.rowWords();
    };
    const int32_t got =
        pxlRasterOpRaw(&ctx, lastRow(dstUp), c.dstWidth, c.dstHeight, c.dstFrameX, c.dstFrameY,
                       c.dx, c.dy, c.width, c.height, c.depth, -rc.dst.bytesPerRow, c.op,
                       c.hasSource ? lastRow(srcUp) : nullptr, c.srcWidth, c.srcHeight, c.sx, c.sy,
                       c.srcFrameX, c.srcFrameY, c.srcDepth, c.hasSource ? -rc.src.bytesPerRow : 0);
    ASSERT_EQ(got, want) << describe(c, rc.dst, &rc.src);
    ASSERT_EQ(flip(dstUp).words, expected.words) << describe(c, rc.dst, &rc.src);
  }
}

}  // namespace

// Aligned copies between buffers of the same stride move bands of rows in one piece and put
// back what lies outside the rectangle: the first and last words' outer bits, the frame and
// padding words between rows, and everything past the band edges. Tall rectangles cross the
// band boundaries (64 rows); gaps of 0 to 4 words between rows take the band path, wider ones
// the row-by-row path, and each must equal the per-bit model over the whole buffer.
TEST(RasterOpRawBands, SameStrideCopiesKeepEverythingOutsideTheRectangle) {
  struct Case {
    const char *name;
    int32_t depth, frameX, contentW, padWords, rows, dx, dy, width, height, op;
  };
  const Case cases[] = {
      {"solid rows: whole words, no frame", 1, 0, 256, 0, 130, 0, 0, 256, 130, PXL_ROP_COPY},
      {"row tail: last word masked", 1, 0, 70, 0, 130, 0, 0, 70, 130, PXL_ROP_COPY},
      {"first word masked", 1, 0, 200, 0, 129, 5, 0, 190, 129, PXL_ROP_COPY},
      {"one 1-bit frame word each side", 1, 32, 100, 0, 70, 0, 0, 100, 70, PXL_ROP_COPY},
      {"gap of four words", 1, 32, 96, 2, 65, 0, 0, 96, 65, PXL_ROP_COPY},
      {"gap of five words: row by row", 1, 32, 96, 3, 65, 0, 0, 96, 65, PXL_ROP_COPY},
      {"8-bit frame of eight words: row by row", 8, 32, 40, 0, 66, 0, 0, 40, 66, PXL_ROP_COPY},
      {"exactly one band", 2, 0, 100, 1, 64, 3, 0, 90, 64, PXL_ROP_COPY},
      {"band plus one row", 4, 0, 50, 1, 65, 0, 0, 50, 65, PXL_ROP_COPY},
      {"clipped at the top and bottom", 1, 32, 100, 0, 150, 0, -7, 100, 200, PXL_ROP_COPY},
      {"unclipped, into the frame", 1, 32, 100, 0, 100, -32, -3, 164, 103,
       PXL_ROP_COPY | PXL_ROP_NOCLIP},
      {"two rows", 16, 0, 20, 0, 2, 0, 0, 20, 2, PXL_ROP_COPY},
  };
  CaseMaker m(0xBA4D5u);
  PxlContext ctx = makeContext(4);
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const int32_t bytesPerRow =
        (((2 * k.frameX + k.contentW) * k.depth + 31) / 32 + k.padWords) * 4;
    const int32_t frameY = k.frameX != 0 ? 3 : 0;
    RandomCase rc;
    rc.dst = WordBuffer(bytesPerRow, k.rows + 2 * frameY);
    rc.src = WordBuffer(bytesPerRow, k.rows + 2 * frameY);
    rc.dst.fillRandom(m.rng());
    rc.src.fillRandom(m.rng());
    RopCall &c = rc.call;
    c.depth = c.srcDepth = k.depth;
    c.op = k.op;
    c.hasSource = true;
    c.dstWidth = c.srcWidth = k.contentW;
    c.dstHeight = c.srcHeight = k.rows;
    c.dstFrameX = c.srcFrameX = k.frameX;
    c.dstFrameY = c.srcFrameY = frameY;
    c.dx = c.sx = k.dx;
    c.dy = c.sy = k.dy;
    c.width = k.width;
    c.height = k.height;
    WordBuffer expected = rc.dst;
    ASSERT_EQ(0, modelRasterOp(c, expected, &rc.src));
    ASSERT_NE(expected.words, rc.dst.words);
    ASSERT_EQ(0, callRasterOp(&ctx, c, rc.dst, &rc.src));
    EXPECT_EQ(rc.dst.words, expected.words) << describe(c, rc.dst, &rc.src);
  }
}

// Within one buffer, a copy one row down at the same stride overlaps its source: each row must
// take the row above as already written (the top-down order a fill relies on), so the first
// row spreads through the rectangle; a copy one row up takes each row's old successor.
TEST(RasterOpRawBands, OverlappingCopiesInOneBufferKeepTheTopDownOrder) {
  CaseMaker m(0x0F11u);
  PxlContext ctx = makeContext(4);
  for (int32_t step : {1, -1}) {
    SCOPED_TRACE(step);
    const int32_t frame = 32, width = 100, rows = 140, bytesPerRow = 4 * (2 + 4);
    WordBuffer block(bytesPerRow, rows + 2);
    block.fillRandom(m.rng());
    // Expected: the model applied row by row, each row reading the buffer as it is by then.
    WordBuffer expected = block;
    const int32_t firstDst = step > 0 ? 1 : 0, height = rows - 1;
    for (int32_t j = 0; j < height; ++j) {
      const WordBuffer now = expected;
      RopCall row;
      row.depth = row.srcDepth = 1;
      row.op = PXL_ROP_COPY;
      row.hasSource = true;
      row.dstWidth = row.srcWidth = width;
      row.dstHeight = row.srcHeight = rows;
      row.dstFrameX = row.srcFrameX = frame;
      row.dstFrameY = row.srcFrameY = 1;
      row.dy = firstDst + j;
      row.sy = firstDst + j - step;
      row.width = width;
      row.height = 1;
      ASSERT_EQ(0, modelRasterOp(row, expected, &now));
    }
    ASSERT_EQ(0, pxlRasterOpRaw(&ctx, block.data(), width, rows, frame, 1, 0, firstDst, width,
                                height, 1, bytesPerRow, PXL_ROP_COPY, block.data(), width, rows, 0,
                                firstDst - step, frame, 1, 1, bytesPerRow));
    EXPECT_EQ(block.words, expected.words);
  }
}
