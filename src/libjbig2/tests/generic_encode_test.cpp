// Generic region encoding: the word-level coder gives byte for byte the code of the plain
// pixel-by-pixel reference coder (every template, TPGDON, nominal, moved and far AT pixels,
// widths around the word size, junk past the width); whole segments of a real 300 dpi page
// decode back pixel-exact in our decoder and in jbig2dec, arithmetic and MMR; the segment
// layout, refusals, the MMR buffer growth, and failure at every allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "encode_support.h"
#include "jbig2_generic_encode.h"
#include "jbig2_reference_encoder.h"
#include "jbig2_test_support.h"
#include "testkit_tools.h"

namespace {

using jbtest::Bits;

Jbig2GenericTemplate nominal(int tmpl, bool tpgdon) {
  Jbig2GenericTemplate t{};
  t.tmpl = static_cast<uint8_t>(tmpl);
  t.tpgdon = tpgdon;
  if (tmpl == 0) {
    const int8_t x[4] = {3, -3, 2, -2}, y[4] = {-1, -1, -2, -2};
    for (int i = 0; i < 4; ++i) t.atx[i] = x[i], t.aty[i] = y[i];
  } else {
    t.atx[0] = tmpl == 1 ? 3 : 2;
    t.aty[0] = -1;
  }
  return t;
}

std::vector<uint8_t> encodeWords(const Bits &b, const Jbig2GenericTemplate &t) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> cx(65536, 0);
  MqEncoder enc;
  mqEncInit(&enc, jbtest::collectByte, &out, nullptr);
  Bits copy = b;
  EXPECT_TRUE(encodeGenericWords(copy.view(), t, cx.data(), &enc));
  mqFlush(&enc);
  return out;
}

TEST(GenericEncodeWords, EqualsThePixelByPixelCoder) {
  std::mt19937 random(114);
  struct AtCase {
    const char *name;
    int8_t atx[4], aty[4];
  };
  const AtCase moved[] = {
      {"moved", {-1, 4, -5, 1}, {-1, -2, -1, -3}},
      {"far", {-128, 127, -20, 33}, {-1, -7, -128, -1}},
      {"same row", {-1, -2, -40, -3}, {0, 0, 0, -1}},
  };
  for (const int width : {1, 5, 31, 32, 33, 64, 100, 257}) {
    const Bits page = jbtest::randomBits(random, width, 1 + int(random() % 70));
    for (int tmpl = 0; tmpl < 4; ++tmpl) {
      for (const bool tpgdon : {false, true}) {
        SCOPED_TRACE("width " + std::to_string(width) + " template " + std::to_string(tmpl) +
                     (tpgdon ? " TPGDON" : ""));
        Jbig2GenericTemplate t = nominal(tmpl, tpgdon);
        EXPECT_EQ(encodeWords(page, t), jbtest::encodeGeneric(page, t)) << "nominal";
        for (const AtCase &m : moved) {
          for (int i = 0; i < 4; ++i) t.atx[i] = m.atx[i], t.aty[i] = m.aty[i];
          EXPECT_EQ(encodeWords(page, t), jbtest::encodeGeneric(page, t)) << m.name;
        }
      }
    }
  }
}

TEST(GenericEncodeWords, PixelsPastTheWidthAreIgnored) {
  std::mt19937 random(9);
  const Bits page = jbtest::randomBits(random, 45, 40);
  Bits junk = page;
  for (int y = 0; y < junk.height; ++y) junk.words[size_t(y) * junk.wpr + 1] |= 0x0007FFFFu;
  for (int tmpl = 0; tmpl < 4; ++tmpl) {
    const Jbig2GenericTemplate t = nominal(tmpl, true);
    EXPECT_EQ(encodeWords(junk, t), jbtest::encodeGeneric(page, t)) << tmpl;
  }
}

class GenericRegionTest : public jbtest::SinkStreamTest {
 protected:
  void TearDown() override {
    QtzImage_free(image_);
    jbtest::SinkStreamTest::TearDown();
  }

  // image_ holds the bits.
  void useImage(const Bits &b) {
    QtzImage_free(image_);
    image_ = nullptr;
    ASSERT_EQ(QtzImage_new(state_, 100, b.width, b.height, &image_), 0);
    for (int y = 0; y < b.height; ++y)
      std::memcpy(image_->rows[y + image_->hdr.yoff], &b.words[size_t(y) * b.wpr],
                  size_t(b.wpr) * 4);
  }

  Jbig2GenericRegionRecord record(uint8_t type, bool mmr, const Jbig2GenericTemplate &t) {
    Jbig2GenericRegionRecord r{};
    r.header.type = type;
    r.header.page = 1;
    r.region = {image_->hdr.width, image_->hdr.height, 0, 0, 0};
    r.hasImage = 1;
    r.image = image_;
    r.mmr = mmr;
    r.params = t;
    return r;
  }

  // Page information for the image's size, the region, end of page.
  std::vector<uint8_t> pageStream(Jbig2GenericRegionRecord r) {
    return writtenBy([&](Jb2File *stream) {
      Jbig2PageRecord page{};
      page.header.page = 1;
      page.info.width = static_cast<uint32_t>(image_->hdr.width);
      page.info.height = static_cast<uint32_t>(image_->hdr.height);
      EXPECT_EQ(writePageInfo(stream, &page), 0);
      EXPECT_EQ(encodeGenericRegion(stream, &r), 0);
      Jbig2SegHeader end{};
      end.page = 1;
      EXPECT_EQ(writeEndOfPage(stream, &end), 0);
    });
  }

  QtzImage *image_ = nullptr;
};

// The bits of a PBM raster.
Bits bitsOf(const norvtest::Pnm &pbm) {
  Bits b(pbm.width, pbm.height);
  for (int y = 0; y < pbm.height; ++y)
    for (int x = 0; x < pbm.width; ++x) b.set(x, y, (pbm.row(y)[x / 8] >> (7 - x % 8)) & 1);
  return b;
}

TEST_F(GenericRegionTest, RealPageRoundTripsInBothDecoders) {
  const norvtest::Pnm rendered =
      norvtest::renderPagePnm(jbtest::dataPath("page.ps"), "pbmraw", 300);
  if (!rendered.valid()) GTEST_SKIP() << "Ghostscript could not render the page";
  // The top third of the page: text of every size and the rules.
  norvtest::Pnm band = rendered;
  band.height = rendered.height / 3;
  band.raster.resize(size_t(band.rowBytes()) * band.height);
  useImage(bitsOf(band));
  const bool outside = norvtest::toolAvailable("jbig2dec");
  struct Coding {
    const char *name;
    bool mmr;
    Jbig2GenericTemplate t;
  };
  std::vector<Coding> codings = {{"MMR", true, {}}};
  for (int tmpl = 0; tmpl < 4; ++tmpl)
    for (const bool tpgdon : {false, true})
      codings.push_back({"arithmetic", false, nominal(tmpl, tpgdon)});
  Jbig2GenericTemplate moved = nominal(0, true);
  moved.atx[0] = -5, moved.aty[0] = -2, moved.atx[3] = 7, moved.aty[3] = -1;
  codings.push_back({"moved AT", false, moved});
  for (const Coding &c : codings) {
    SCOPED_TRACE(std::string(c.name) + " template " + std::to_string(c.t.tmpl) +
                 (c.t.tpgdon ? " TPGDON" : ""));
    const std::vector<uint8_t> stream = pageStream(record(38, c.mmr, c.t));
    QtzImage *page = nullptr;
    ASSERT_EQ(jbtest::decodeStream(state_, stream, &page), 0) << errors_.text();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(jbtest::differingPixels(page, {band.width, band.height, band.raster}), 0);
    QtzImage_free(page);
    if (!outside) continue;
    const jbtest::OutsideDecode d = jbtest::decodeWithJbig2dec(stream, true);
    EXPECT_EQ(d.run.text().find("WARNING"), std::string::npos) << d.run.text();
    EXPECT_TRUE(d.page == band);
  }
}

TEST_F(GenericRegionTest, SegmentLayoutAndRefusals) {
  useImage(Bits(40, 30));
  // An all-white page with TPGDON: only SLTP decisions, a few bytes ending 0xFF 0xAC.
  std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
    Jbig2GenericRegionRecord r = record(39, false, nominal(0, true));
    EXPECT_EQ(encodeGenericRegion(stream, &r), 0);
  });
  ASSERT_GE(bytes.size(), 11u + 17 + 1 + 8 + 2);
  EXPECT_EQ(bytes[4], 39);
  EXPECT_EQ(bytes[11 + 17], 0x08);  // template 0, TPGDON
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 29, bytes.begin() + 37),
            (std::vector<uint8_t>{3, 0xFF, 0xFD, 0xFF, 2, 0xFE, 0xFE, 0xFE}));
  EXPECT_LE(bytes.size() - 37, 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 2, bytes.end()), (std::vector<uint8_t>{0xFF, 0xAC}));
  // Template 2: one AT pair, (2, -1).
  bytes = writtenBy([&](Jb2File *stream) {
    Jbig2GenericRegionRecord r = record(36, false, nominal(2, false));
    EXPECT_EQ(encodeGenericRegion(stream, &r), 0);
  });
  EXPECT_EQ(bytes[11 + 17], 2 << 1);
  EXPECT_EQ(bytes[29], 2);
  EXPECT_EQ(bytes[30], 0xFF);
  EXPECT_EQ(parseAll(bytes)[0].dataLength, bytes.size() - 11);

  Jbig2GenericTemplate forward = nominal(1, false);
  forward.atx[0] = 0, forward.aty[0] = 0;  // the pixel itself
  struct Refusal {
    const char *name;
    uint8_t type;
    Jbig2GenericTemplate t;
    bool noImage;
    uint8_t op;
  };
  const Refusal refusals[] = {{"type 37", 37, nominal(0, false), false, 0},
                              {"no image", 38, nominal(0, false), true, 0},
                              {"AT pixel not causal", 38, forward, false, 0},
                              {"operator 5", 38, nominal(0, false), false, 5}};
  for (const Refusal &f : refusals) {
    SCOPED_TRACE(f.name);
    writtenBy([&](Jb2File *stream) {
      Jbig2GenericRegionRecord r = record(f.type, false, f.t);
      r.hasImage = !f.noImage;
      r.region.op = f.op;
      EXPECT_EQ(encodeGenericRegion(stream, &r), 10003);
    });
  }
}

TEST_F(GenericRegionTest, MmrBufferGrowsForCodesLargerThanTheBitmap) {
  Bits checkers(64, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) checkers.set(x, y, (x + y) & 1);
  const std::vector<uint8_t> coded = writtenBy([&](Jb2File *stream) {
    EXPECT_EQ(encodeGenericMmr(stream, stream->sink, checkers.words.data(), 64, 16, 2, false), 0);
  });
  EXPECT_GT(coded.size(), 64u * 16 / 8);
  Bits back(64, 16);
  size_t left = 1;
  ASSERT_EQ(
      decodeMmrBuffer(back.words.data(), 64, 16, 2, coded.data(), coded.size(), &left, state_), 0);
  EXPECT_TRUE(back == checkers);
}

TEST_F(GenericRegionTest, FailureAtEveryAllocationLeavesNothing) {
  std::mt19937 random(1);
  useImage(jbtest::randomBits(random, 300, 200));
  for (const bool mmr : {false, true}) {
    for (long n = 1;; ++n) {
      SCOPED_TRACE(n);
      int32_t status = 0;
      writtenBy([&](Jb2File *stream) {
        Jbig2GenericRegionRecord r = record(38, mmr, nominal(0, true));
        norvtest::heap.failAt = norvtest::heap.requests + n;
        status = encodeGenericRegion(stream, &r);
        norvtest::heap.failAt = -1;
      });
      if (status == 0) break;
      EXPECT_EQ(status, 1);
    }
  }
}

}  // namespace
