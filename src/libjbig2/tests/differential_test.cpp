// Optimised against plain decoding: random bitmaps coded by the test encoder decode to the
// same bitmap through both procedures, for every generic template (TPGDON on and off, AT
// pixels nominal and moved, skip bitmaps) and both refinement templates (TPGRON, RAT pixels,
// reference offsets), the arithmetic integer and symbol-ID procedures on arbitrary data, and the
// row-wise halftone pattern placement against cell-by-cell blits.
#include <gtest/gtest.h>

#include "jbig2_halftone.h"
#include "jbig2_huffman.h"
#include "jbig2_reference_encoder.h"
#include "jbig2_refine.h"
#include "testkit_state.h"

namespace {

using jbtest::Bits;

Jbig2GenericTemplate nominal(int tmpl) {
  Jbig2GenericTemplate t{};
  t.tmpl = uint8_t(tmpl);
  t.atx[0] = tmpl <= 1 ? 3 : 2;
  t.aty[0] = -1;
  if (tmpl == 0)
    t.atx[1] = -3, t.aty[1] = -1, t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
  return t;
}

// Causal AT offsets: above (any x) or left in the same row.
void moveAt(std::mt19937 &rng, Jbig2GenericTemplate &t) {
  const int n = t.tmpl == 0 ? 4 : 1;
  for (int i = 0; i < n; ++i) {
    t.aty[i] = int8_t(-int(rng() % 5));
    t.atx[i] = int8_t(int(rng() % 81) - 40);
    if (t.aty[i] == 0 && t.atx[i] >= 0) t.atx[i] = int8_t(-1 - int(rng() % 40));
  }
}

TEST(GenericDifferential, EveryTemplateDecodesAlikeThroughBothProcedures) {
  std::mt19937 rng(11);
  for (int round = 0; round < 96; ++round) {
    Jbig2GenericTemplate t = nominal(round % 4);
    t.tpgdon = (round / 4) % 2;
    if ((round / 8) % 2) moveAt(rng, t);
    const int w = 1 + int(rng() % 150), h = 1 + int(rng() % 60);
    const Bits original = jbtest::randomBits(rng, w, h);
    const std::vector<uint8_t> coded = jbtest::encodeGeneric(original, t);
    Bits fast(w, h), plain(w, h);
    std::vector<uint8_t> cx1(65536, 0), cx2(65536, 0);
    MqDecoder d1, d2;
    mqDecInit(&d1, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    mqDecInit(&d2, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    decodeGenericWords(fast.view(), t, cx1.data(), &d1, nullptr);
    decodeGenericReference(plain.view(), t, cx2.data(), &d2, nullptr);
    ASSERT_TRUE(fast == original) << "round " << round << " template " << int(t.tmpl);
    ASSERT_TRUE(plain == original) << "round " << round;
    ASSERT_EQ(cx1, cx2);
  }
}

TEST(GenericDifferential, SkippedPixelsStayWhiteInBothProcedures) {
  std::mt19937 rng(5);
  for (int tmpl = 0; tmpl < 4; ++tmpl) {
    const Jbig2GenericTemplate t = nominal(tmpl);
    const Bits source = jbtest::randomBits(rng, 77, 31);
    Bits skip = jbtest::randomBits(rng, 77, 31);
    // Data that was not coded for this skip map: both procedures must still agree.
    const std::vector<uint8_t> coded = jbtest::encodeGeneric(source, t);
    Bits fast(77, 31), plain(77, 31);
    std::vector<uint8_t> cx1(65536, 0), cx2(65536, 0);
    MqDecoder d1, d2;
    mqDecInit(&d1, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    mqDecInit(&d2, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    const Jbig2Bitmap skipView = skip.view();
    decodeGenericWords(fast.view(), t, cx1.data(), &d1, &skipView);
    decodeGenericReference(plain.view(), t, cx2.data(), &d2, &skipView);
    EXPECT_TRUE(fast == plain);
    for (int y = 0; y < 31; ++y)
      for (int x = 0; x < 77; ++x)
        if (skip.get(x, y)) {
          ASSERT_EQ(fast.get(x, y), 0);
        }
  }
}

TEST(RefinementDifferential, BothTemplatesDecodeAlikeThroughBothProcedures) {
  std::mt19937 rng(21);
  for (int round = 0; round < 64; ++round) {
    Jbig2RefineTemplate t{};
    t.tmpl = uint8_t(round % 2);
    t.tpgron = (round / 2) % 2;
    if (t.tmpl == 0) {
      t.ratx[0] = -1, t.raty[0] = -1, t.ratx[1] = -1, t.raty[1] = -1;
      if ((round / 4) % 2) {
        t.raty[0] = int8_t(-int(rng() % 3));
        t.ratx[0] = int8_t(t.raty[0] == 0 ? -1 - int(rng() % 40) : int(rng() % 9) - 4);
        t.ratx[1] = int8_t(int(rng() % 9) - 4), t.raty[1] = int8_t(int(rng() % 9) - 4);
      }
    }
    const int w = 1 + int(rng() % 90), h = 1 + int(rng() % 40);
    const Bits ref = jbtest::randomBits(rng, w + int(rng() % 5), h + int(rng() % 5));
    Bits original(w, h);  // the reference, cut and a little changed
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) original.set(x, y, ref.get(x, y) ^ (rng() % 40 == 0));
    const int dx = int(rng() % 7) - 3, dy = int(rng() % 7) - 3;
    const std::vector<uint8_t> coded = jbtest::encodeRefinement(original, ref, dx, dy, t);
    Bits fast(w, h), plain(w, h);
    std::vector<uint8_t> cx1(8192, 0), cx2(8192, 0);
    MqDecoder d1, d2;
    mqDecInit(&d1, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    mqDecInit(&d2, coded.data(), coded.size(), nullptr, nullptr, nullptr);
    Bits refCopy = ref;
    decodeRefinementWords(fast.view(), refCopy.view(), dx, dy, t, cx1.data(), &d1);
    decodeRefinementReference(plain.view(), refCopy.view(), dx, dy, t, cx2.data(), &d2);
    ASSERT_TRUE(fast == original) << "round " << round;
    ASSERT_TRUE(plain == original) << "round " << round;
  }
}

bool sameDecoderState(const MqDecoder &a, const MqDecoder &b) {
  return a.c == b.c && a.a == b.a && a.b == b.b && a.ct == b.ct && a.cursor == b.cursor &&
         a.input == b.input;
}

// Arbitrary bytes (with 0xFF pairs and end markers among them) read as a mixed sequence of
// IAx integers and IAID symbol IDs: values, OOB, refusals, every context byte and the decoder's
// registers and position agree after each value.
TEST(IntegerDifferential, IaxAndIaidDecodeAlikeThroughBothProcedures) {
  std::mt19937 rng(31);
  for (int round = 0; round < 60; ++round) {
    std::vector<uint8_t> data(1 + rng() % 300);
    for (uint8_t &byte : data) byte = rng() % 6 == 0 ? 0xFF : uint8_t(rng() >> (rng() % 8));
    MqDecoder d1, d2;
    mqDecInit(&d1, data.data(), data.size(), nullptr, nullptr, nullptr);
    mqDecInit(&d2, data.data(), data.size(), nullptr, nullptr, nullptr);
    std::vector<uint8_t> cx1(512, 0), cx2(512, 0);
    const int32_t idLength = int32_t(rng() % 17);
    std::vector<uint8_t> id1(size_t{2} << idLength, 0), id2(size_t{2} << idLength, 0);
    Jbig2IntDecoder fast;
    newIntDecoder(&fast, false, nullptr, nullptr, &d1, cx1.data());
    // Contexts already trained in half the rounds (states and MPS at random).
    if (round % 2)
      for (size_t i = 0; i < cx1.size(); ++i)
        cx1[i] = cx2[i] = uint8_t(rng() % 46 | (rng() % 2) << 7);
    for (int i = 0; i < 400; ++i) {
      if (rng() % 3 == 0) {
        ASSERT_EQ(decodeIaid(&d1, id1.data(), idLength),
                  decodeIaidReference(&d2, id2.data(), idLength))
            << "round " << round << " value " << i;
      } else {
        bool oob1 = false, oob2 = false;
        int32_t v1 = -7, v2 = -7;
        const int32_t s1 = decodeInt(&fast, &oob1, &v1);
        const int32_t s2 = decodeArithIntReference(&d2, cx2.data(), &oob2, &v2);
        ASSERT_EQ(s1, s2) << "round " << round << " value " << i;
        ASSERT_EQ(oob1, oob2);
        ASSERT_EQ(v1, v2);
      }
      ASSERT_TRUE(sameDecoderState(d1, d2)) << "round " << round << " value " << i;
    }
    ASSERT_EQ(cx1, cx2);
    ASSERT_EQ(id1, id2);
  }
}

class HalftoneDifferential : public norvtest::TrackedStateTest {};

// OR grids without rotation: cells spaced closer than, as wide as and wider than the patterns
// (1 to 32 pixels), origins left of and above the region, grids running past its right and
// bottom edges, regions cleared or set first. The row placement sets the bits the cell-by-cell
// blits set, and the bits past the region's width stay 0.
TEST_F(HalftoneDifferential, RowPlacementMatchesCellByCellBlits) {
  std::mt19937 rng(41);
  for (int round = 0; round < 300; ++round) {
    const int pw = 1 + int(rng() % 32), ph = 1 + int(rng() % 9), count = 1 + int(rng() % 20);
    std::vector<Bits> patternBits;
    for (int i = 0; i < count; ++i) patternBits.push_back(jbtest::randomBits(rng, pw, ph));
    std::vector<Jbig2Pattern> patterns;
    for (Bits &p : patternBits) patterns.push_back({p.words.data(), p.wpr});
    const Jbig2PatternDictData dict{count, uint16_t(pw), uint16_t(ph), patterns.data()};
    const int gw = 1 + int(rng() % 40), gh = 1 + int(rng() % 30);
    QtzImage *gray = nullptr;
    ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_INT16, gw, gh, &gray), 0);
    for (int mg = 0; mg < gh; ++mg)
      for (int ng = 0; ng < gw; ++ng)
        reinterpret_cast<int16_t *>(gray->rows[mg])[ng] = int16_t(rng() % count);
    Jbig2HalftoneData h{};
    h.gray = gray;
    h.hgx = (int(rng() % 300) - 100) * 256 + int(rng() % 256);
    h.hgy = (int(rng() % 100) - 30) * 256 + int(rng() % 256);
    h.hrx = uint16_t(round % 4 == 0 ? pw * 256 : rng() % (3 * pw * 256 + 1));
    h.combop = kOpOr;
    ASSERT_TRUE(halftoneRowsApply(h, dict));
    const int w = 1 + int(rng() % 150), height = 1 + int(rng() % 80);
    Bits fast(w, height);
    if (round % 3 == 0)
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < w; ++x) fast.set(x, y, 1);
    Bits plain = fast;
    drawHalftoneRowsOr(fast.view(), h, dict);
    drawHalftoneCells(plain.view(), h, dict, QTZ_BLIT_OR);
    QtzImage_free(gray);
    ASSERT_TRUE(fast == plain) << "round " << round;
  }
}

}  // namespace
