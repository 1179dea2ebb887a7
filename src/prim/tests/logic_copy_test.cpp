// AND, OR, XOR with a constant, NOT, copy and set against per-pixel models: every depth,
// random layouts (channels, alpha channels, data orders, alignments, views with a longer row
// step), regions at odd bit offsets and widths 1 to 130, channels of interest, masks, tiled
// and untiled; plus the refusals with their texts, the documented cases, and spans that end at
// the last byte of an exactly sized buffer; tall 1-bit copies at one phase and at different
// phases keep every bit outside the span.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "imp_ops.h"
#include "region_model.h"

namespace {

using namespace primtest;

enum class Kind { And, Or, Xor, Copy, Set };

const uint32_t kDepths[] = {IMP_DEPTH_1U,  IMP_DEPTH_8U,  IMP_DEPTH_8S,
                            IMP_DEPTH_16U, IMP_DEPTH_16S, IMP_DEPTH_32S};

// A random image of nc processed channels (plus an alpha channel or not).
Shape randomShape(std::mt19937 &rng, uint32_t depth, int32_t nc, int32_t order) {
  Shape s;
  s.depth = depth;
  s.alpha = depth != IMP_DEPTH_1U && pick(rng, 0, 3) == 0 ? 1 : 0;
  s.nChannels = nc + s.alpha;
  if (s.alpha) s.alpha = s.nChannels;
  s.order = order;
  s.alignment = 4 << pick(rng, 0, 3);
  s.extraStep = pick(rng, 0, 2) == 0 ? 4 * pick(rng, 1, 3) : 0;
  s.width = depth == IMP_DEPTH_1U ? pick(rng, 1, 130) : pick(rng, 1, 40);
  s.height = pick(rng, 1, 6);
  return s;
}

uint32_t clampSet(uint32_t depth, int32_t v) {
  switch (depth) {
    case IMP_DEPTH_1U:
      return uint32_t(std::clamp(v, 0, 1));
    case IMP_DEPTH_8U:
      return uint32_t(std::clamp(v, 0, 255));
    case IMP_DEPTH_8S:
      return uint32_t(std::clamp(v, -128, 127)) & 0xFF;
    case IMP_DEPTH_16U:
      return uint32_t(std::clamp(v, 0, 65535));
    case IMP_DEPTH_16S:
      return uint32_t(std::clamp(v, -32768, 32767)) & 0xFFFF;
    default:
      return uint32_t(v);
  }
}

uint32_t xorPattern(uint32_t depth, int32_t v) {
  if (depth == IMP_DEPTH_1U) return (v & 1) ? 1 : 0;
  return uint32_t(v);
}

// Runs one operation on the images (b and value as the kind needs).
void run(Kind k, ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst, int32_t value) {
  switch (k) {
    case Kind::And:
      return impAnd(a, b, dst);
    case Kind::Or:
      return impOr(a, b, dst);
    case Kind::Xor:
      return impXorS(a, dst, value);
    case Kind::Copy:
      return impCopy(a, dst);
    case Kind::Set:
      return impSet(dst, value);
  }
}

class LogicCopy : public PrimTest {};

TEST_F(LogicCopy, EveryOperationEqualsThePerPixelModel) {
  std::mt19937 rng(35);
  for (int trial = 0; trial < 3000; ++trial) {
    const Kind kind = Kind(pick(rng, 0, 4));
    const uint32_t depth = kDepths[pick(rng, 0, 5)];
    const int32_t order = depth == IMP_DEPTH_1U ? 0 : pick(rng, 0, 1);
    const int32_t nc = depth == IMP_DEPTH_1U ? 1 : pick(rng, 1, 3);
    const bool useCoi = depth != IMP_DEPTH_1U && pick(rng, 0, 3) == 0;
    const bool plain = pick(rng, 0, 3) == 0;  // equal layouts without regions: whole-image forms
    const Shape base = randomShape(rng, depth, nc, order);
    auto make = [&](bool used) -> std::unique_ptr<Subject> {
      if (!used) return nullptr;
      auto s = std::make_unique<Subject>(plain ? base : randomShape(rng, depth, nc, order));
      randomise(*s->h(), rng);
      if (!plain) randomRegion(*s, rng, false, kind != Kind::Xor || pick(rng, 0, 1));
      if (useCoi) {
        if (!s->h()->roi)
          s->roi = ImpRoiRecord{0, 0, 0, s->h()->width, s->h()->height}, s->h()->roi = &s->roi;
        s->roi.coi = pick(rng, 1, s->h()->nChannels - (s->h()->alphaChannel ? 1 : 0));
      }
      return s;
    };
    const bool twoSources = kind == Kind::And || kind == Kind::Or;
    auto a = make(kind != Kind::Set), b = make(twoSources), d = make(true);
    const int32_t value = pick(rng, 0, 3) == 0 ? pick(rng, -70000, 70000) : int32_t(rng());
    ImpImageHeader *A = a ? a->h() : nullptr, *B = b ? b->h() : nullptr, *D = d->h();

    // The model.
    Image expect(
        D->nChannels, depth, D->width, D->height, order, D->alignment, D->alphaChannel,
        D->widthStep - ownCalcWidthStep(order, depth, D->alignment, D->nChannels, D->width));
    copyPixels(*D, *expect.h);
    const std::vector<const ImpImageHeader *> all = {A, B, D};
    const Rect c = commonSize(all);
    const Rect ra = A ? regionOf(*A) : Rect{}, rb = B ? regionOf(*B) : Rect{}, rd = regionOf(*D);
    const uint32_t m = sampleMask(*D);
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        if (!maskBit(all, x, y)) continue;
        for (int32_t k = 0; k < nc && k < processed(*D); ++k) {
          const uint32_t av = A ? get(*A, ra.x + x, ra.y + y, channelOf(*A, k)) : 0;
          const uint32_t bv = B ? get(*B, rb.x + x, rb.y + y, channelOf(*B, k)) : 0;
          uint32_t r = 0;
          switch (kind) {
            case Kind::And:
              r = av & bv;
              break;
            case Kind::Or:
              r = av | bv;
              break;
            case Kind::Xor:
              r = av ^ xorPattern(depth, value);
              break;
            case Kind::Copy:
              r = av;
              break;
            case Kind::Set:
              r = clampSet(depth, value);
              break;
          }
          set(*expect.h, rd.x + x, rd.y + y, channelOf(*D, k), r & m);
        }
      }

    // Untiled.
    Image before(
        D->nChannels, depth, D->width, D->height, order, D->alignment, D->alphaChannel,
        D->widthStep - ownCalcWidthStep(order, depth, D->alignment, D->nChannels, D->width));
    copyPixels(*D, *before.h);
    run(kind, A, B, D, value);
    ASSERT_EQ(ownGetErrorStatus(), 0) << "trial " << trial << ": " << lastContext();
    ASSERT_TRUE(samePixels(*D, *expect.h))
        << "trial " << trial << " kind " << int(kind) << " depth " << depth;
    // Tiled: every image served by tiles of its own size.
    copyPixels(*before.h, *D);
    std::unique_ptr<TiledImage> ta, tb;
    TiledImage td(*D, 8 * pick(rng, 1, 2), 8 * pick(rng, 1, 2));
    if (A) ta = std::make_unique<TiledImage>(*A, 8 * pick(rng, 1, 2), 8);
    if (B) tb = std::make_unique<TiledImage>(*B, 8, 8 * pick(rng, 1, 2));
    run(kind, ta ? ta->header() : nullptr, tb ? tb->header() : nullptr, td.header(), value);
    ASSERT_EQ(ownGetErrorStatus(), 0) << "tiled trial " << trial << ": " << lastContext();
    td.copyTo(*D);
    ASSERT_TRUE(samePixels(*D, *expect.h)) << "tiled trial " << trial << " kind " << int(kind);
    ASSERT_TRUE(td.balanced());
  }
}

TEST_F(LogicCopy, InPlaceOrAndNot) {
  Image a(1, IMP_DEPTH_1U, 20, 3), b(1, IMP_DEPTH_1U, 20, 3);
  for (int32_t i = 0; i < a->dataSize; ++i) a->imageData[i] = 0x0F, b->imageData[i] = 0x30;
  impOr(a, b, a);
  EXPECT_EQ(a->imageData[0], 0x3F);
  ownBitwiseNot(a, a);
  EXPECT_EQ(a->imageData[0], 0xC0);
  EXPECT_EQ(a->imageData[a->dataSize - 1], 0xC0);  // padding complemented with the rest
  ownBitwiseNot(a, a);
  EXPECT_EQ(a->imageData[1], 0x3F);
  impXorS(a, a, 0);
  EXPECT_EQ(a->imageData[2], 0x3F);  // value 0 copies
}

TEST_F(LogicCopy, DocumentedBitCases) {
  // A starts at bit 3, B at bit 0, the destination at bit 5, width 12.
  Image a(1, IMP_DEPTH_1U, 24, 1), b(1, IMP_DEPTH_1U, 24, 1), d(1, IMP_DEPTH_1U, 24, 1);
  ImpRoiRecord ra{0, 3, 0, 12, 1}, rb{0, 0, 0, 12, 1}, rd{0, 5, 0, 12, 1};
  a->roi = &ra, b->roi = &rb, d->roi = &rd;
  a->imageData[0] = 0x1F, a->imageData[1] = 0xFF, a->imageData[2] = 0x00;  // bits 3..14 set
  d->imageData[0] = 0xA8, d->imageData[1] = 0x00, d->imageData[2] = 0x55;
  impOr(a, b, d);
  EXPECT_EQ(d->imageData[0], 0xAF);  // bits 0..4 kept, 5..7 set
  EXPECT_EQ(d->imageData[1], 0xFF);
  EXPECT_EQ(d->imageData[2], 0xD5);  // bit 16 set, 17..23 kept
  a->roi = b->roi = d->roi = nullptr;

  // Masked 1-bit copy: destination 1111, source 0000, mask 0101 gives 1010.
  Image src(1, IMP_DEPTH_1U, 4, 1), dst(1, IMP_DEPTH_1U, 4, 1), mask(1, IMP_DEPTH_1U, 4, 1);
  dst->imageData[0] = 0xF0, src->imageData[0] = 0x00, mask->imageData[0] = 0x50;
  dst->maskROI = mask;
  impCopy(src, dst);
  EXPECT_EQ(dst->imageData[0] & 0xF0, 0xA0);
  // impSet 0 through a mask clears exactly the mask's bits and leaves the mask alone.
  dst->imageData[0] = 0xF0;
  impSet(dst, 0);
  EXPECT_EQ(dst->imageData[0] & 0xF0, 0xA0);
  EXPECT_EQ(mask->imageData[0], 0x50);
  dst->maskROI = nullptr;
}

TEST_F(LogicCopy, Refusals) {
  Image g8(1, IMP_DEPTH_8U, 4, 4), g16(1, IMP_DEPTH_16U, 4, 4), rgb(3, IMP_DEPTH_8U, 4, 4),
      f32(1, IMP_DEPTH_32F, 4, 4), f32b(1, IMP_DEPTH_32F, 4, 4);
  struct Case {
    const char *what;
    void (*call)(ImpImageHeader *, ImpImageHeader *, ImpImageHeader *, ImpImageHeader *,
                 ImpImageHeader *);
    int32_t status;
    const char *text;
  } cases[] = {
      {"or depths", [](auto g8, auto g16, auto, auto, auto) { impOr(g8, g8, g16); }, -5,
       "(srcImageA->depth != dstImage->depth)"},
      {"and depths", [](auto g8, auto g16, auto, auto, auto) { impAnd(g16, g8, g16); }, -5,
       "(srcImageB->depth != dstImage->depth)"},
      {"or channels", [](auto g8, auto, auto rgb, auto, auto) { impOr(rgb, g8, g8); }, -5,
       "(nChSrcA != nChDst)"},
      {"xor 32F", [](auto, auto, auto, auto f, auto) { impXorS(f, f, 1); }, -5,
       "This function does not support depth 32F"},
      {"or 32F", [](auto, auto, auto, auto f, auto f2) { impOr(f, f2, f); }, -5,
       "This function does not support depth 32F"},
      {"copy depths", [](auto g8, auto g16, auto, auto, auto) { impCopy(g8, g16); }, -5,
       "srcImage->depth != dstImage->depth"},
      {"copy channels", [](auto g8, auto, auto rgb, auto, auto) { impCopy(rgb, g8); }, -5,
       "Number of processed channels of srcImage != Number of processed channels of dstImage"},
      {"set float", [](auto, auto, auto, auto f, auto) { impSet(f, 1); }, -17,
       "You should use impSetFP for this image"},
      {"bad header", [](auto g8, auto, auto, auto, auto) { impOr(nullptr, g8, g8); }, -9,
       "Incorrect Image"},
  };
  for (const Case &c : cases) {
    reports().clear();
    c.call(g8, g16, rgb, f32, f32b);
    ASSERT_EQ(seen().size(), 1u) << c.what;
    EXPECT_EQ(seen()[0].status, c.status) << c.what;
    EXPECT_EQ(seen()[0].context, c.text) << c.what;
    EXPECT_EQ(ownGetErrorStatus(), c.status) << c.what;
  }
  // A following valid call clears the status.
  impCopy(g8, g8);
  EXPECT_EQ(ownGetErrorStatus(), 0);
}

TEST_F(LogicCopy, ValuesAndChannelsOfInterest) {
  Image g8(1, IMP_DEPTH_8U, 3, 1), g16(1, IMP_DEPTH_16U, 3, 1), rgb(3, IMP_DEPTH_8U, 3, 1);
  impSet(g8, 300);
  EXPECT_EQ(get(*g8.h, 2, 0), 255u);
  impSet(g16, -5);
  EXPECT_EQ(get(*g16.h, 1, 0), 0u);
  for (int x = 0; x < 3; ++x)
    for (int c = 0; c < 3; ++c) set(*rgb.h, x, 0, c, uint32_t(10 * c + x));
  ImpRoiRecord roi{2, 0, 0, 3, 1};
  rgb->roi = &roi;
  impCopy(rgb, g8);
  EXPECT_EQ(get(*g8.h, 0, 0), 10u);
  EXPECT_EQ(get(*g8.h, 2, 0), 12u);
}

// A 1-bit header of w x rows pixels over the caller's bytes, step bytes a row, with a region.
ImpImageHeader *bitHeaderOver(uint8_t *bytes, int32_t w, int32_t rows, int32_t step,
                              ImpRoiRecord *roi) {
  ImpImageHeader *h = impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GRAY", "G", 0, 0, 4, w, rows,
                                           nullptr, nullptr, nullptr, nullptr);
  h->imageData = bytes;
  h->widthStep = step;
  h->dataSize = step * rows;
  h->roi = roi;
  return h;
}

// 1-bit and 8-bit spans that end at the last byte of a buffer of exactly the image's size:
// AddressSanitizer reports any read past it.
TEST_F(LogicCopy, SpansEndingAtTheBufferEndReadNothingPastIt) {
  for (int32_t width = 1; width <= 70; ++width)
    for (int32_t offset = 0; offset < 8; ++offset) {
      const int32_t w = width + offset, step = (w + 7) / 8, rows = 2;
      auto bytes = [&] { return std::make_unique<uint8_t[]>(size_t(step * rows)); };
      auto pa = bytes(), pb = bytes(), pd = bytes();
      ImpImageHeader *hs[3];
      uint8_t *ps[3] = {pa.get(), pb.get(), pd.get()};
      ImpRoiRecord roi[3];
      for (int i = 0; i < 3; ++i) {
        std::fill(ps[i], ps[i] + step * rows, uint8_t(0x5A + i));
        roi[i] = ImpRoiRecord{0, (offset + i) % (offset + 1), 0, width, rows};
        hs[i] = bitHeaderOver(ps[i], w, rows, step, &roi[i]);
      }
      impOr(hs[0], hs[1], hs[2]);
      impCopy(hs[0], hs[2]);
      hs[2]->maskROI = hs[1];
      impCopy(hs[0], hs[2]);
      impSet(hs[2], 1);
      hs[2]->maskROI = nullptr;
      ASSERT_EQ(ownGetErrorStatus(), 0);
      for (ImpImageHeader *h : hs) ownReleaseImage(h, IMP_RELEASE_HEADER);
    }
}

// Unmasked 1-bit copies of tall regions at one bit phase (several runs of block-copied rows)
// and at different phases (shifted vectors of bytes): every bit of the span comes from the
// source, every other bit of the destination buffer (the rows' ends, the padding, the bits
// before the span) keeps its value. Region widths leave 1 to 16 bytes and more past the span.
TEST_F(LogicCopy, TallBitCopiesKeepEveryBitOutsideTheSpan) {
  std::mt19937 rng(64);
  const int32_t offsets[][2] = {{0, 0}, {8, 8}, {16, 16}, {3, 0}, {0, 5}, {13, 6}, {7, 1}};
  for (int32_t width : {121, 128, 130, 203, 255, 300})
    for (const auto &[srcOffset, dstOffset] : offsets)
      for (int32_t extra : {0, 1, 9, 20}) {
        const int32_t w = width + std::max(srcOffset, dstOffset), rows = 150;
        const int32_t step = (w + 7) / 8 + extra;
        std::vector<uint8_t> src(size_t(step) * rows), dst(size_t(step) * rows);
        for (uint8_t &b : src) b = uint8_t(rng());
        for (uint8_t &b : dst) b = uint8_t(rng());
        const std::vector<uint8_t> before = dst;
        ImpImageHeader *hs[2];
        uint8_t *ps[2] = {src.data(), dst.data()};
        ImpRoiRecord roi[2] = {{0, srcOffset, 0, width, rows}, {0, dstOffset, 0, width, rows}};
        for (int i = 0; i < 2; ++i) hs[i] = bitHeaderOver(ps[i], w, rows, step, &roi[i]);
        impCopy(hs[0], hs[1]);
        ASSERT_EQ(ownGetErrorStatus(), 0);
        auto bitOf = [&](const std::vector<uint8_t> &v, int64_t row, int64_t x) {
          const int64_t bit = row * 8 * step + x;
          return (v[size_t(bit >> 3)] >> (7 - (bit & 7))) & 1;
        };
        for (int64_t row = 0; row < rows; ++row)
          for (int64_t x = 0; x < 8 * step; ++x) {
            const bool inside = x >= dstOffset && x < dstOffset + width;
            ASSERT_EQ(bitOf(dst, row, x),
                      inside ? bitOf(src, row, x - dstOffset + srcOffset) : bitOf(before, row, x))
                << "width " << width << " offsets " << srcOffset << " -> " << dstOffset << " step "
                << step << " row " << row << " x " << x;
          }
        for (ImpImageHeader *h : hs) ownReleaseImage(h, IMP_RELEASE_HEADER);
      }
}

}  // namespace
