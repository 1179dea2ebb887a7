// Page structure and bands: documents written the way the encoder lays them out (Group 4 mask
// strips; a JBIG2 mask of one MMR region; text-region masks sharing a global symbol
// dictionary across pages, with colour payloads; JPEG backgrounds and foregrounds cut into
// stripes) are built into pages, and each band is rendered on its own: masks must give back the
// coded pixels exactly (whole, cut, and as grey coverage when reduced), colour tokens their
// colours exactly, JPEG bands the picture within the codec's tolerance.
#include <gtest/gtest.h>

#include "page_fixtures.h"
#include "token_colours.h"

namespace ctl {
namespace {

using ctl_test::Bits;
using ctl_test::Bytes;
using ctl_test::ColourPagesTest;
using ctl_test::Colours;
using ctl_test::g4Strip;
using ctl_test::IfdPlan;
using ctl_test::jbig2Mask;
using ctl_test::jpegLayer;
using ctl_test::jpegRows;
using ctl_test::Placement;
using ctl_test::randomBits;
using ctl_test::renderColour;
using ctl_test::renderMask;
using ctl_test::rowsOf;
using norvtest::TempFile;

// --- Bilevel pages: Group 4 strips and JBIG2 stripes --------------------------------------

TEST(PageBandsTest, MaskBandsDecodeToTheCodedPixels) {
  const Bits page = randomBits(7, 203, 150);
  TempFile g4Path("g4"), jbig2Path("jbig2");
  {
    IfdPlan p;
    p.layer = 2;
    p.colourKind = 1;
    p.width = page.width;
    p.height = page.height;
    p.rowsPerStrip = 64;
    p.bits = ctl_test::kG4Bits;
    for (int top = 0; top < page.height; top += 64)
      p.strips.push_back(g4Strip(rowsOf(page, top, std::min(64, page.height - top))));
    ctl_test::writeMrc(g4Path.name(), 7, {{p}});
  }
  // A JBIG2 mask of one MMR region.
  ctl_test::writeMrc(jbig2Path.name(), 13,
                     {{jbig2Mask(0, 203, 150, {}, {}, ctl_test::jbig2MmrPage(page, 1))}});
  struct Case {
    const char *name;
    const TempFile &path;
    std::vector<int> tops;
  };
  for (const Case &c : {Case{"g4 strips", g4Path, {0, 64, 128}}, Case{"jbig2", jbig2Path, {0}}}) {
    SCOPED_TRACE(c.name);
    MrcFile file(c.path.path());
    auto *mrc = dynamic_cast<MrcPage *>(file.GetPage(0));
    ASSERT_NE(mrc, nullptr);
    EXPECT_EQ(mrc->GetBitsPerPixel(), 1);
    EXPECT_EQ(mrc->GetSize(), (LongPair{203, 150}));
    ASSERT_EQ(mrc->selectorCount(), 1u);
    TfxSelLayer *layer = mrc->selector(0);
    ASSERT_EQ(layer->bands().size(), c.tops.size());
    for (size_t b = 0; b < c.tops.size(); ++b) {
      SCOPED_TRACE(testing::Message() << "band " << b);
      TfxBand *band = layer->bands()[b].get();
      ASSERT_NE(band, nullptr);
      const BandBox box = band->box();
      EXPECT_EQ(box.y, c.tops[b]);
      const Bits expected = rowsOf(page, box.y, box.height);
      Bits got;
      ASSERT_TRUE(renderMask(band, Rect{0, 0, box.width, box.height}, &got));
      EXPECT_TRUE(got == expected);
      // A part of the band: the pixels of that part.
      const Rect part{37, 5, 150, box.height - 3};
      ASSERT_TRUE(renderMask(band, part, &got));
      for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
          ASSERT_EQ(got.get(x, y), expected.get(part.left + x, part.top + y)) << x << "," << y;
      // Reduced by 2: grey coverage, white where no pixel of the 2 x 2 block is set, black
      // where all four are, between otherwise.
      DibImgBuf buffer;
      const Rect half{0, 0, box.width / 2, box.height / 2};
      PixlabImgBuf grey(half.width(), half.height(), 8, &buffer);
      ASSERT_TRUE(band->Render(&grey, half, Extent{2, 2}));
      for (int y = 0; y < half.height(); ++y) {
        const uint8_t *row = grey.GetData() + int64_t{y} * grey.GetStride();
        for (int x = 0; x < half.width(); ++x) {
          const int set = expected.get(2 * x, 2 * y) + expected.get(2 * x + 1, 2 * y) +
                          expected.get(2 * x, 2 * y + 1) + expected.get(2 * x + 1, 2 * y + 1);
          const uint8_t v = row[x ^ 3];
          const bool ok = set == 0 ? v == 255 : set == 4 ? v == 0 : v > 0 && v < 255;
          ASSERT_TRUE(ok) << x << "," << y << ": " << set << " set, grey " << int(v);
        }
      }
      // The grey reduction takes factors 2, 4 and 8 only; a 1-bit target at a reduction, or a
      // part outside the band, fails.
      PixlabImgBuf third(box.width / 3, box.height / 3, 8, &buffer);
      EXPECT_FALSE(band->Render(&third, Rect{0, 0, box.width / 3, box.height / 3}, Extent{3, 3}));
      EXPECT_FALSE(renderMask(band, Rect{0, 0, box.width + 1, box.height}, &got));
      EXPECT_FALSE(band->Render(&grey, half, Extent{0, 2}));
    }
  }
}

// A mask band clears its target before decoding: a band that cannot be decoded leaves no
// stale pixels.
TEST(PageBandsTest, FailedMaskBandLeavesAClearTarget) {
  TempFile path("bad");
  IfdPlan p;
  p.layer = 2;
  p.colourKind = 1;
  p.width = 64;
  p.height = 16;
  p.bits = ctl_test::kG4Bits;
  p.strips = {Bytes{0x02, 0x00, 0x02, 0x00, 0x02, 0x00}};  // an extension code of no mode
  ctl_test::writeMrc(path.name(), 7, {{p}});
  ctl_test::writeMrc(path.name() + "j", 13, {{jbig2Mask(0, 64, 16, {}, {}, Bytes(40, 0x5A))}});
  for (const std::string &name : {path.name(), path.name() + "j"}) {
    MrcFile file(name.c_str());
    auto *mrc = dynamic_cast<MrcPage *>(file.GetPage(0));
    ASSERT_NE(mrc, nullptr);
    TfxBand *band = mrc->selector(0)->bands().at(0).get();
    ASSERT_NE(band, nullptr);
    DibImgBuf buffer;
    PixlabImgBuf target(64, 16, 1, &buffer);
    std::memset(buffer.GetData(), 0xFF, buffer.length());
    EXPECT_FALSE(band->Render(&target, Rect{0, 0, 64, 16}, Extent{1, 1}));
    for (int y = 0; y < 16; ++y)
      for (int i = 0; i < 8; ++i)
        ASSERT_EQ(target.GetData()[int64_t{y} * target.GetStride() + i], 0) << y;
  }
  std::remove((path.name() + "j").c_str());
}

TEST_F(ColourPagesTest, LayersAndGeometry) {
  MrcFile file(path.path());
  ASSERT_EQ(file.GetPageCount(), 2);
  auto *first = dynamic_cast<MrcPage *>(file.GetPage(0));
  auto *second = dynamic_cast<MrcPage *>(file.GetPage(1));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(file.store(), nullptr);

  // Page 0: the background at a third of the mask's resolution.
  ASSERT_NE(first->background(), nullptr);
  EXPECT_EQ(first->background()->scale(), (Extent{3, 3}));
  EXPECT_EQ(first->background()->width(), kWidth / 3);
  EXPECT_EQ(first->background()->height(), kHeight / 3);
  EXPECT_EQ(first->background()->colourKind(), ColourKind::ItuLab);
  EXPECT_EQ(first->GetBitsPerPixel(), 24);
  EXPECT_EQ(first->GetLayerCount(), 3);
  EXPECT_EQ(first->GetSize(), (LongPair{kWidth, kHeight}));
  TfxSelLayer *tokens = first->selector(0);
  EXPECT_EQ(tokens->maskKind(), BandKind::Jbig2);
  ASSERT_EQ(tokens->foregroundBands().size(), 1u);
  auto *tokenBand = dynamic_cast<TfxColorTokenBand *>(tokens->foregroundBands()[0].get());
  ASSERT_NE(tokenBand, nullptr);
  EXPECT_EQ(tokenBand->mask(), tokens->maskBand(0));
  EXPECT_EQ(tokens->maskBand(0)->foregrounds(), std::vector<TfxBand *>{tokenBand});

  // Page 1: no background; a foreground at half the mask's resolution in two stripes.
  EXPECT_EQ(second->background(), nullptr);
  EXPECT_EQ(second->GetBitsPerPixel(), 24);
  TfxSelLayer *pair = second->selector(0);
  EXPECT_EQ(pair->foregroundScale(), (Extent{2, 2}));
  ASSERT_EQ(pair->foregroundBands().size(), 2u);
  EXPECT_EQ(pair->foregroundBands()[1]->box().y, 64);
  EXPECT_EQ(pair->foregroundWidth(), kWidth / 2);
  EXPECT_EQ(pair->foregroundHeight(), kHeight / 2);
  // Both stripes go with the one mask band they overlap.
  EXPECT_EQ(pair->maskBand(0)->foregrounds().size(), 2u);
}

// The tokens of both pages, the second through the dictionary the first page's strip brought
// in, painted in their colours on black.
TEST_F(ColourPagesTest, ColourTokensPaintTheirColoursExactly) {
  MrcFile file(path.path());
  auto *first = dynamic_cast<MrcPage *>(file.GetPage(0));
  ASSERT_NE(first, nullptr);
  TfxBand *tokenBand = first->selector(0)->foregroundBands().at(0).get();
  TfxBand *maskBand = first->selector(0)->bands().at(0).get();

  // The mask composes the placed symbols.
  Bits mask;
  ASSERT_TRUE(renderMask(maskBand, Rect{0, 0, kWidth, kHeight}, &mask));
  EXPECT_TRUE(mask == ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[0]));

  Colours got;
  for (const Rect part : {Rect{0, 0, kWidth, kHeight}, Rect{13, 21, 200, 77}}) {
    ASSERT_TRUE(renderColour(tokenBand, part, Extent{1, 1}, &got));
    std::vector<uint32_t> expected(static_cast<size_t>(kWidth) * kHeight, 0);
    for (size_t i = 0; i < placements[0].size(); ++i) {
      const Placement &p = placements[0][i];
      const Bits &s = symbols[p.symbol];
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
          if (s.get(x, y) && p.x + x < kWidth && p.y + y < kHeight)
            expected[static_cast<size_t>(p.y + y) * kWidth + p.x + x] = colours[0][i];
    }
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x)
        ASSERT_EQ(got.at(x, y),
                  expected[static_cast<size_t>(part.top + y) * kWidth + part.left + x])
            << x << "," << y;
  }
  // Reduced: the tokens' colours resampled; black far from every token.
  ASSERT_TRUE(renderColour(tokenBand, Rect{0, 0, kWidth / 2, kHeight / 2}, Extent{2, 2}, &got));
  EXPECT_EQ(got.at(kWidth / 2 - 1, kHeight / 2 - 1), 0u);

  // The second page's tokens come from the shared dictionary.
  auto *second = dynamic_cast<MrcPage *>(file.GetPage(1));
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(
      renderMask(second->selector(0)->bands().at(0).get(), Rect{0, 0, kWidth, kHeight}, &mask));
  EXPECT_TRUE(mask == ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[1]));
  // Rendering again decodes the same pixels (the shared decoder skips what it has seen).
  ASSERT_TRUE(
      renderMask(first->selector(0)->bands().at(0).get(), Rect{0, 0, kWidth, kHeight}, &mask));
  EXPECT_TRUE(mask == ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[0]));
}

// JPEG backgrounds and foregrounds decode to the picture within the codec's tolerance, whole,
// cut, and at a half.
TEST_F(ColourPagesTest, JpegBandsDecodeWithinTolerance) {
  MrcFile file(path.path());
  auto *first = dynamic_cast<MrcPage *>(file.GetPage(0));
  auto *second = dynamic_cast<MrcPage *>(file.GetPage(1));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  struct Case {
    TfxBand *band;
    const Bytes &picture;
    int width, top;
  };
  const Case cases[] = {
      {first->background()->bands().at(0).get(), background, kWidth / 3, 0},
      {second->selector(0)->foregroundBands().at(0).get(), foreground, kWidth / 2, 0},
      {second->selector(0)->foregroundBands().at(1).get(), foreground, kWidth / 2, 32}};
  for (const Case &c : cases) {
    ASSERT_NE(c.band, nullptr);
    const BandBox box = c.band->box();
    for (const Extent reduction : {Extent{1, 1}, Extent{2, 2}}) {
      for (const bool whole : {true, false}) {
        SCOPED_TRACE(testing::Message() << "band at " << box.y << " reduction " << reduction.width
                                        << (whole ? " whole" : " cut"));
        const int w = box.width / reduction.width, h = box.height / reduction.height;
        const Rect part = whole ? Rect{0, 0, w, h} : Rect{3, 2, w - 4, h - 1};
        Colours got;
        ASSERT_TRUE(renderColour(c.band, part, reduction, &got));
        int64_t total = 0;
        for (int y = 0; y < part.height(); ++y)
          for (int x = 0; x < part.width(); ++x) {
            // The mean of the block of picture pixels the reduced pixel covers, per channel
            // (stored in the order blue, green, red after the read: byte 0 first).
            for (int ch = 0; ch < 3; ++ch) {
              int sum = 0;
              for (int dy = 0; dy < reduction.height; ++dy)
                for (int dx = 0; dx < reduction.width; ++dx) {
                  const int px = (part.left + x) * reduction.width + dx;
                  const int py = c.top + (part.top + y) * reduction.height + dy;
                  sum += c.picture[(static_cast<size_t>(py) * c.width + px) * 3 + ch];
                }
              const int want = sum / (reduction.width * reduction.height);
              const int have = static_cast<int>((got.at(x, y) >> (8 * ch)) & 0xFF);
              total += std::abs(want - have);
            }
          }
        EXPECT_LT(static_cast<double>(total) / (3.0 * part.width() * part.height()), 6.0);
      }
    }
    // Reads are at 1/2, 1/4, 1/8 only.
    Colours got;
    EXPECT_FALSE(renderColour(c.band, Rect{0, 0, 2, 2}, Extent{16, 16}, &got));
    EXPECT_FALSE(renderColour(c.band, Rect{0, 0, 2, 2}, Extent{3, 3}, &got));
  }
}

// A colour payload whose count differs from the mask's tokens fails the band; so does a
// payload that is not a colour list.
TEST_F(ColourPagesTest, PayloadThatDoesNotMatchTheTokensFails) {
  TempFile other("mismatch");
  std::vector<uint32_t> fewer(colours[0].begin(), colours[0].end() - 1);
  ctl_test::writeMrc(other.name(), 13,
                     {{jbig2Mask(0, kWidth, kHeight, dictionary, {0},
                                 ctl_test::jbig2TextPage(kWidth, kHeight, 1, 5, placements[0], 10),
                                 ctl_test::colourPayload(fewer))},
                      {jbig2Mask(0, kWidth, kHeight, {}, {0},
                                 ctl_test::jbig2TextPage(kWidth, kHeight, 1, 5, placements[1], 20),
                                 Bytes{3, 1, 0, 0, 0, 7, 200})}});
  MrcFile file(other.path());
  for (int32_t p = 0; p < 2; ++p) {
    auto *page = dynamic_cast<MrcPage *>(file.GetPage(p));
    ASSERT_NE(page, nullptr);
    Colours got;
    EXPECT_FALSE(renderColour(page->selector(0)->foregroundBands().at(0).get(),
                              Rect{0, 0, kWidth, kHeight}, Extent{1, 1}, &got));
  }
}

// The band's colours from its payload: runs, long runs, and the payloads that are corrupt.
TEST(ColourPayloadTest, RunsAndCorruptPayloads) {
  QtzState *state = nullptr;
  ASSERT_EQ(Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  std::vector<uint32_t> colours(300, 0xABCDEF);
  colours.push_back(0x010203);
  colours.insert(colours.end(), 5, 0x0);
  const Bytes payload = ctl_test::colourPayload(colours);
  std::vector<uint32_t> got;
  ASSERT_TRUE(tokenColours(state, payload.data(), payload.size(), &got));
  EXPECT_EQ(got, colours);

  struct Case {
    const char *name;
    Bytes bytes;
    bool ok;
    size_t count;
  };
  const Case cases[] = {
      {"not a colour list", {4, 1, 0, 0, 0, 1, 1, 9, 9, 9}, true, 0},
      {"one run", {3, 1, 0, 0, 0, 2, 2, 1, 2, 3}, true, 2},
      {"trailing bytes", {3, 1, 0, 0, 0, 1, 1, 1, 2, 3, 0}, true, 1},
      {"run past the count", {3, 1, 0, 0, 0, 1, 2, 1, 2, 3}, false, 0},
      {"run of 255", {3, 1, 0, 0, 0, 1, 255, 1, 2, 3}, false, 0},
      {"long run of 0", {3, 1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3}, false, 0},
      {"cut in a colour", {3, 1, 0, 0, 0, 1, 1, 1, 2}, false, 0},
      {"too few runs", {3, 1, 0, 0, 0, 3, 1, 1, 2, 3}, false, 0},
      {"count beyond the bytes", {3, 1, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 2, 3}, false, 0},
      {"header only: no colours", {3, 1, 0}, true, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tokenColours(state, c.bytes.data(), c.bytes.size(), &got), c.ok);
    EXPECT_EQ(got.size(), c.count);
  }
  Qtz_cleanupQtzState(&state);
}

// Layer scales are whole ratios from 1 to the limit: a layer of a higher resolution than the
// reference, a missing resolution or an absurd ratio gives none (the page builder then leaves
// the layer out).
TEST(PageBandsTest, LayerScales) {
  struct Case {
    LongPair reference, own;
    bool ok;
    Extent scale;
  };
  const Case cases[] = {
      {{300, 300}, {100, 100}, true, {3, 3}}, {{300, 300}, {150, 150}, true, {2, 2}},
      {{300, 600}, {300, 300}, true, {1, 2}}, {{300, 300}, {200, 200}, true, {1, 1}},
      {{300, 300}, {600, 600}, false, {}},    {{300, 300}, {100, 0}, false, {}},
      {{-1, -1}, {100, 100}, false, {}},      {{300, 300}, {-1, -1}, false, {}},
      {{6500, 6500}, {100, 100}, false, {}},  {{6400, 6400}, {100, 100}, true, {64, 64}},
  };
  for (const Case &c : cases) {
    Extent scale{7, 7};
    EXPECT_EQ(layerScaleOf(c.reference, c.own, &scale), c.ok);
    EXPECT_EQ(scale, c.ok ? c.scale : (Extent{7, 7}));
  }

  // A background alone has scale (1, 1).
  TempFile path("alone");
  const Bytes picture = ctl_test::testPicture(64, 32, 3, 9);
  ctl_test::writeMrc(path.name(), 13,
                     {{jpegLayer(1, 0, 200, 64, 32, {jpegRows(picture, 64, 0, 32)})}});
  MrcFile file(path.path());
  auto *alone = dynamic_cast<MrcPage *>(file.GetPage(0));
  ASSERT_NE(alone, nullptr);
  ASSERT_NE(alone->background(), nullptr);
  EXPECT_EQ(alone->background()->scale(), (Extent{1, 1}));
  EXPECT_EQ(alone->selectorCount(), 0u);
  EXPECT_EQ(alone->GetLayerCount(), 1);
  EXPECT_EQ(alone->GetSize(), (LongPair{64, 32}));
}

}  // namespace
}  // namespace ctl

namespace ctl {
namespace {

// A foreground band goes with every mask band whose rows it overlaps (rows of a foreground
// band: its y plus its height times the foreground scale), and one that overlaps none is kept
// out of the layer's geometry; the geometry follows the rules of the layer header.
TEST(PageBandsTest, ForegroundBandsGoWithEveryMaskBandTheyOverlap) {
  BandList masks;
  masks.push_back(std::make_unique<TfxG4Band>(Block{}, BandBox{0, 0, 300, 100}, nullptr));
  masks.push_back(nullptr);  // an empty entry
  masks.push_back(std::make_unique<TfxG4Band>(Block{}, BandBox{0, 100, 320, 100}, nullptr));
  BandList foregrounds;
  for (const BandBox box :
       {BandBox{30, 40, 50, 40}, BandBox{10, 130, 20, 10}, BandBox{0, 300, 5, 5}})
    foregrounds.push_back(std::make_unique<TfxJpegBand>(Block{}, box, ColourKind::ItuLab));
  std::vector<TfxBand *> fg;
  for (const auto &band : foregrounds) fg.push_back(band.get());
  TfxSelLayer layer(std::move(masks), std::move(foregrounds), Extent{2, 2}, BandKind::G4,
                    ColourKind::WhiteIsZero, ColourKind::ItuLab);
  // The first foreground covers mask rows 40 to 120: both mask bands; the last lies below.
  EXPECT_EQ(layer.maskBand(0)->foregrounds(), (std::vector<TfxBand *>{fg[0]}));
  EXPECT_EQ(layer.maskBand(1), nullptr);
  EXPECT_EQ(layer.maskBand(2)->foregrounds(), (std::vector<TfxBand *>{fg[0], fg[1]}));
  EXPECT_EQ(layer.x(), 0);
  EXPECT_EQ(layer.y(), 0);
  EXPECT_EQ(layer.width(), 320);
  EXPECT_EQ(layer.height(), 200);
  EXPECT_EQ(layer.foregroundX(), 10);
  EXPECT_EQ(layer.foregroundY(), 40);
  EXPECT_EQ(layer.foregroundWidth(), (30 + 50 * 2 - 10) / 2);
  EXPECT_EQ(layer.foregroundHeight(), (130 + 10 * 2 - 40) / 2);
}

}  // namespace
}  // namespace ctl
