// Colour-scan segmentation: the two-pass propagation against a brute-force nearest-source
// model, the default options, the stage rules, the background test and the joining of small
// components on hand-made component tables, and whole pages (Ghostscript text coloured per
// line over a photograph-like and a flat background; a grey page; a page without text)
// checked against the known text pixels and colours, with failing allocations throughout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "pxl_owners_internal.h"
#include "qtz_sc.h"
#include "sc_internal.h"
#include "testkit_image.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

// ---- Propagation ----

struct MapCase {
  int w, h;
  int sources;
  int32_t start;  // starting distance of the other cells
};

TEST(Propagation, EveryCellTakesANearestSourceWithinItsStartingDistance) {
  const MapCase cases[] = {{1, 1, 1, sc::kMarked},   {7, 1, 2, sc::kMarked}, {1, 9, 2, sc::kMarked},
                           {40, 30, 5, sc::kMarked}, {40, 30, 5, 6},         {33, 17, 0, 31},
                           {64, 48, 40, 4}};
  std::mt19937 random(7);
  for (const MapCase &m : cases) {
    std::vector<int32_t> dist(m.w * m.h, m.start), labels(m.w * m.h, -1);
    std::vector<std::pair<int, int>> where;
    for (int i = 0; i < m.sources; ++i) {
      const int x = static_cast<int>(random() % m.w), y = static_cast<int>(random() % m.h);
      dist[y * m.w + x] = 0;
      labels[y * m.w + x] = i;
      where.emplace_back(x, y);
    }
    // The last source placed in a cell is the one it holds.
    std::vector<int> holder(m.w * m.h, -1);
    for (int i = 0; i < m.sources; ++i) holder[where[i].second * m.w + where[i].first] = i;
    sc::propagateLabels(dist.data(), labels.data(), m.w, sc::Window{0, 0, m.w, m.h});
    for (int y = 0; y < m.h; ++y)
      for (int x = 0; x < m.w; ++x) {
        int best = INT32_MAX;
        for (int i = 0; i < m.sources; ++i)
          if (holder[where[i].second * m.w + where[i].first] == i)
            best = std::min(best, std::abs(where[i].first - x) + std::abs(where[i].second - y));
        const int32_t got = labels[y * m.w + x];
        if (best >= m.start) {
          EXPECT_EQ(got, -1) << x << "," << y;
          EXPECT_EQ(dist[y * m.w + x], m.start);
          continue;
        }
        ASSERT_GE(got, 0) << x << "," << y;
        EXPECT_EQ(dist[y * m.w + x], best);
        EXPECT_EQ(std::abs(where[got].first - x) + std::abs(where[got].second - y), best);
      }
  }
}

TEST(Propagation, ColoursSpreadIntoMarkedCellsAndAFullyMarkedImageStaysAsItIs) {
  // 5 x 3 colours, the middle column marked: it takes its left or right neighbour's colour.
  const int w = 5, h = 3;
  std::vector<uint8_t> rgb(3 * w * h);
  for (int i = 0; i < w * h; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = uint8_t(10 * i);
  std::vector<int32_t> dist(w * h, 0);
  for (int y = 0; y < h; ++y) dist[y * w + 2] = sc::kMarked;
  sc::propagateColours(dist.data(), rgb.data(), w, 3 * w, w, h);
  for (int y = 0; y < h; ++y) {
    const uint8_t v = rgb[3 * (y * w + 2)];
    EXPECT_TRUE(v == 10 * (y * w + 1) || v == 10 * (y * w + 3)) << y;
    EXPECT_EQ(dist[y * w + 2], 1);
  }
  std::vector<uint8_t> before = rgb;
  std::fill(dist.begin(), dist.end(), sc::kMarked);
  sc::propagateColours(dist.data(), rgb.data(), w, 3 * w, w, h);
  EXPECT_EQ(rgb, before);
}

// ---- Context fixture ----

class ScTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Qtz_initIPWState(state_), 0);
    ctx_ = state_->ipwContext;
  }
  PxlContext *ctx_ = nullptr;
};

TEST_F(ScTest, DefaultOptionsFollowTheResolution) {
  struct Row {
    int xres, yres;
    float scale;
    int radius, minSeed, maxSeed, minPixels, maxMean;
  };
  const Row rows[] = {{300, 300, 0.2f, 30, 9, 300, 60, 1800},
                      {199, 199, float(60.0 / 199), 29, 5, 199, 26, 792},
                      {201, 201, float(60.0 / 201), 29, 6, 201, 26, 808},
                      {600, 300, 0.2f, 30, 9, 300, 120, 3600}};
  for (const Row &r : rows) {
    QtzSCState *sc = nullptr;
    ASSERT_EQ(QtzSC_init(state_, &sc), 0);
    ASSERT_EQ(QtzSC_defaultOptions(sc, r.xres, r.yres), 0);
    EXPECT_EQ(sc->options.graphScale, r.scale);
    EXPECT_EQ(sc->options.joinScale, r.scale);
    EXPECT_EQ(sc->options.propagationRadius, r.radius) << r.xres;
    EXPECT_EQ(sc->options.minSeedSize, r.minSeed);
    EXPECT_EQ(sc->options.maxSeedSize, r.maxSeed);
    EXPECT_EQ(sc->options.minPixelCount, r.minPixels);
    EXPECT_EQ(sc->options.maxMeanPixelCount, r.maxMean);
    EXPECT_EQ(sc->options.graphColourTolerance, 100);
    EXPECT_EQ(sc->options.backgroundTolerance, 100);
    EXPECT_EQ(sc->options.binarizeParam, 32);
    QtzSC_done(sc);
  }
}

// ---- Hand-made component tables ----

// A context over a flat page of colour `paper` with the given components drawn as boxes.
class TableTest : public ScTest {
 protected:
  struct Box {
    int x, y, w, h;
    uint8_t r, g, b;
    int text;
  };
  void make(int width, int height, uint8_t paper, const std::vector<Box> &boxes) {
    ASSERT_EQ(QtzSC_init(state_, &sc_), 0);
    ASSERT_EQ(QtzSC_defaultOptions(sc_, 300, 300), 0);
    ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_RGB, width, height, &sc_->working), 0);
    ASSERT_EQ(
        QtzImage_newOffset(state_, QTZ_IMAGE_INT32, width + 2, height + 2, -1, -1, &sc_->labels),
        0);
    for (int y = -1; y <= height; ++y)
      for (int x = -1; x <= width; ++x) sc::labelRow(sc_->labels, y)[x] = -1;
    for (int y = 0; y < height; ++y) std::memset(sc_->working->rows[y], paper, 3 * width);
    const int n = static_cast<int>(boxes.size());
    sc_->components =
        static_cast<QtzSCComponent *>(qtz::allocateZeroed(state_, n, sizeof(QtzSCComponent)));
    sc_->componentCount = n;
    for (int k = 0; k < n; ++k) {
      const Box &b = boxes[k];
      for (int y = b.y; y < b.y + b.h; ++y)
        for (int x = b.x; x < b.x + b.w; ++x) {
          sc::labelRow(sc_->labels, y)[x] = k;
          uint8_t *p = sc_->working->rows[y] + 3 * x;
          p[0] = b.r, p[1] = b.g, p[2] = b.b;
        }
    }
    ASSERT_EQ(sc::computeComponentStats(sc_), 0);
    for (int k = 0; k < n; ++k) sc_->components[k].text = boxes[k].text;
  }
  void TearDown() override {
    QtzSC_done(sc_);
    ScTest::TearDown();
  }
  QtzSCState *sc_ = nullptr;
};

TEST_F(TableTest, MeasuresFavourTheInsideOfAStroke) {
  make(40, 30, 255, {{5, 5, 10, 6, 30, 60, 90, 0}});
  // Darken the box's rim: the interior (weight 2) pulls the colour toward 30.
  for (int x = 5; x < 15; ++x) sc_->working->rows[5][3 * x] = 130;
  ASSERT_EQ(sc::computeComponentStats(sc_), 0);
  const QtzSCComponent &c = sc_->components[0];
  EXPECT_EQ(c.pixelCount, 60);
  EXPECT_EQ(c.minX, 5);
  EXPECT_EQ(c.maxX, 14);
  EXPECT_EQ(c.minY, 5);
  EXPECT_EQ(c.maxY, 10);
  EXPECT_EQ(c.maxSide, 10);
  EXPECT_EQ(c.centreX, 10);
  EXPECT_EQ(c.centreY, 8);
  // Interior rows 6..9, columns 6..13: 8 x 4 pixels, inner 6 x 2 weigh 2; none is in row 5.
  EXPECT_EQ(c.r, 30);
  EXPECT_EQ(c.g, 60);
}

// Text of the paper's colour is dropped: within the background tolerance, or within a third of
// the page's contrast (the median over text pixels) where that is smaller.
TEST_F(TableTest, TextOfThePapersColourIsDropped) {
  // Black ink dominates (contrast 220, tolerance 73).
  make(120, 60, 240,
       {{10, 10, 20, 24, 20, 20, 20, 1},      // dark on light paper: stays text
        {40, 10, 8, 12, 200, 190, 230, 1},    // 50 from the paper: dropped
        {70, 10, 8, 12, 120, 120, 120, 1}});  // 120 from the paper in every channel: stays
  ASSERT_EQ(sc::dropBackgroundColoured(sc_), 0);
  EXPECT_EQ(sc_->components[0].text, 1);
  EXPECT_EQ(sc_->components[1].text, 0);
  EXPECT_EQ(sc_->components[2].text, 1);
}

// Ink on darkened paper lies within the tolerance of 100 but is three times further from the
// paper than a third of the page's contrast: it stays text, a paper-coloured speck does not.
TEST_F(TableTest, InkOnDarkenedPaperStaysText) {
  make(120, 60, 100,
       {{10, 10, 8, 12, 30, 25, 20, 1},   // 80 from the paper
        {30, 10, 8, 12, 35, 28, 22, 1},   // 78
        {50, 10, 8, 12, 28, 30, 26, 1},   // 74
        {70, 10, 3, 3, 95, 93, 97, 1}});  // a speck 7 from the paper
  ASSERT_EQ(sc::dropBackgroundColoured(sc_), 0);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(sc_->components[k].text, 1) << k;
  EXPECT_EQ(sc_->components[3].text, 0);
}

TEST_F(TableTest, DotsJoinTheirStemOnlyWhenCloseSimilarAndSmallEnough) {
  struct Case {
    Box dot;
    bool joins;
  };
  const Box stem{20, 30, 6, 20, 40, 50, 60, 1};  // max side 20, centre (23, 40)
  const Case cases[] = {
      {{21, 22, 4, 4, 60, 70, 80, 0}, true},    // a dot above, half size or less
      {{20, 20, 10, 10, 40, 50, 60, 0}, true},  // exactly half the stem's max side
      {{20, 20, 11, 7, 40, 50, 60, 0}, false},  // 11 / 20 > 0.5 (a truncated quotient gives 0)
      {{21, 22, 4, 4, 200, 50, 60, 0}, false},  // colour more than 100 away
      {{60, 22, 4, 4, 40, 50, 60, 0}, false},   // centre farther than the stem's max side
  };
  for (const Case &c : cases) {
    make(100, 60, 255, {stem, c.dot});
    ASSERT_EQ(sc::joinSmallComponents(sc_), 0);
    const QtzSCComponent &dot = sc_->components[1];
    EXPECT_EQ(dot.text, c.joins ? 1 : 0) << c.dot.x << "," << c.dot.w;
    if (c.joins) {
      EXPECT_TRUE(dot.r == 40 && dot.g == 50 && dot.b == 60);
    }
    QtzSC_done(sc_);
    sc_ = nullptr;
  }
}

// ---- Whole pages ----

struct Ink {
  uint8_t r, g, b;
};
// Line colours by row band of the rendered mask (bands between the five baselines).
const Ink kInk[] = {{20, 40, 160}, {150, 20, 20}, {10, 10, 10}, {20, 110, 40}, {90, 20, 120}};
int bandOf(int y) {
  return y < 170 ? 0 : y < 316 ? 1 : y < 483 ? 2 : y < 650 ? 3 : 4;
}

struct SyntheticPage {
  norvtest::Pnm rgb;           // the colour page
  std::vector<uint8_t> ink;    // 1 on text pixels
  std::vector<uint8_t> paper;  // the background without the text (3 bytes a pixel)
};

// Text of the test page coloured per line over a photograph-like left half and a flat right
// half, both with a little noise.
SyntheticPage makePage(bool flatOnly) {
  SyntheticPage page;
  const norvtest::Pnm mask =
      norvtest::renderPagePnm(NORV_TEST_DATA "/colour_text.ps", "pbmraw", 300, "-g1200x900");
  if (!mask.valid()) return page;
  const int w = mask.width, h = mask.height;
  page.rgb.kind = '6';
  page.rgb.width = w;
  page.rgb.height = h;
  page.rgb.raster.resize(3 * size_t(w) * h);
  page.ink.resize(size_t(w) * h);
  page.paper.resize(3 * size_t(w) * h);
  std::mt19937 random(11);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y) * w + x;
      const bool ink = (mask.raster[y * mask.rowBytes() + x / 8] >> (7 - x % 8)) & 1;
      page.ink[i] = ink;
      for (int c = 0; c < 3; ++c) {
        const int noise = int(random() % 9) - 4;
        int v = 0;
        if (flatOnly || x >= w / 2)
          v = (c == 0 ? 235 : c == 1 ? 225 : 190) + noise;
        else
          v = int(200 + 30 * std::sin(x / 90.0 + c) * std::cos(y / 70.0 - c)) + noise;
        page.paper[3 * i + c] = uint8_t(v);
        const Ink &k = kInk[bandOf(y)];
        const int t = (c == 0 ? k.r : c == 1 ? k.g : k.b) + noise;
        page.rgb.raster[3 * i + c] = uint8_t(ink ? std::clamp(t, 0, 255) : v);
      }
    }
  return page;
}

class PageTest : public ScTest {
 protected:
  // Runs the segmentation; the context is left in sc_.
  int32_t run(const norvtest::Pnm &pnm) {
    Pixr *page = norvtest::imageFromPnm(ctx_, pnm, 300);
    if (page == nullptr) return -1;
    if (int32_t status = QtzSC_init(state_, &sc_)) return status;
    if (int32_t status = QtzSC_defaultOptions(sc_, 300, 300)) return status;
    sc_->options.componentSizeLimit = 1;
    return QtzSC_process(sc_, page);
  }
  void TearDown() override {
    QtzSC_done(sc_);
    ScTest::TearDown();
  }
  QtzSCState *sc_ = nullptr;
};

TEST_F(PageTest, ColouredTextIsFoundWithItsColoursAndPaintedOver) {
  for (const bool flat : {false, true}) {
    SCOPED_TRACE(flat ? "flat background" : "photograph-like background");
    const SyntheticPage page = makePage(flat);
    if (!page.rgb.valid()) GTEST_SKIP() << "ghostscript";
    const int w = page.rgb.width, h = page.rgb.height;
    ASSERT_EQ(run(page.rgb), 0);
    EXPECT_EQ(sc_->stage, QTZ_SC_STAGE_FIND_TEXT);

    Pixr *mask = nullptr;
    ASSERT_EQ(QtzSC_getTextMask(sc_, &mask), 0);
    pxl::OwnedImage maskOwner(ctx_, mask);
    long text = 0, found = 0, paper = 0, falsePositive = 0;
    for (int y = 1; y < h; ++y)
      for (int x = 1; x < w; ++x) {
        const bool inMask = norvtest::pixel(mask, x, y) != 0;
        if (page.ink[size_t(y) * w + x]) {
          ++text;
          found += inMask;
        } else {
          ++paper;
          falsePositive += inMask;
        }
      }
    EXPECT_GE(found, text * 98 / 100) << found << " of " << text;
    EXPECT_LE(falsePositive, paper / 100) << falsePositive << " of " << paper;
    for (int y = 0; y < h; ++y) EXPECT_EQ(norvtest::pixel(mask, 0, y), 0u);
    for (int x = 0; x < w; ++x) EXPECT_EQ(norvtest::pixel(mask, x, 0), 0u);

    // Components: their bitmaps cover the mask, and each ink component has its line's colour.
    QtzSCTextComponent *array = nullptr;
    int32_t count = 0;
    ASSERT_EQ(QtzSC_getTextComponents(sc_, &array, &count), 0);
    EXPECT_GT(count, 150);
    std::vector<uint8_t> covered(size_t(w) * h);
    for (int32_t i = 0; i < count; ++i) {
      const QtzSCTextComponent &t = array[i];
      long ink = 0, all = 0;
      int band = -1;
      for (int y = 0; y < t.bitmap->hdr.height; ++y)
        for (int x = 0; x < t.bitmap->hdr.width; ++x) {
          const uint32_t word = reinterpret_cast<uint32_t *>(t.bitmap->rows[y])[x / 32];
          if (!((word >> (31 - x % 32)) & 1)) continue;
          const size_t at = size_t(t.y + y) * w + t.x + x;
          covered[at] = 1;
          ++all;
          if (page.ink[at]) ++ink, band = bandOf(t.y + y);
        }
      if (band >= 0 && ink * 2 > all) {
        EXPECT_LE(std::abs(t.R - kInk[band].r), 8) << i;
        EXPECT_LE(std::abs(t.G - kInk[band].g), 8) << i;
        EXPECT_LE(std::abs(t.B - kInk[band].b), 8) << i;
      }
      QtzImage_free(t.bitmap);
    }
    qtz::release(state_, array);
    for (int y = 1; y < h; ++y)
      for (int x = 1; x < w; ++x)
        ASSERT_EQ(covered[size_t(y) * w + x], norvtest::pixel(mask, x, y)) << x << "," << y;

    // Grey before painting: the page's green bytes.
    QtzImage *grey = nullptr;
    ASSERT_EQ(QtzSC_getGray(sc_, &grey), 0);
    EXPECT_EQ(grey->rows[300][500], page.rgb.raster[3 * (300 * size_t(w) + 500) + 1]);
    QtzImage_free(grey);

    // The painted background: no text pixel stays darker than the darkest paper around it
    // (12 pixels each way) by more than a JPEG coder's tolerance.
    Pixr *background = nullptr;
    ASSERT_EQ(QtzSC_getBackground(sc_, 300, &background), 0);
    pxl::OwnedImage backgroundOwner(ctx_, background);
    long dark = 0;
    for (int y = 1; y + 1 < h; ++y)
      for (int x = 1; x + 1 < w; ++x) {
        if (!page.ink[size_t(y) * w + x]) continue;
        for (int c = 0; c < 3; ++c) {
          int darkest = 255;
          for (int v = std::max(0, y - 12); v <= std::min(h - 1, y + 12); ++v)
            for (int u = std::max(0, x - 12); u <= std::min(w - 1, x + 12); ++u)
              darkest = std::min(darkest, int(page.paper[3 * (size_t(v) * w + u) + c]));
          if (int(norvtest::pixel(norvtest::channel(background, c), x, y)) < darkest - 16) ++dark;
        }
      }
    EXPECT_EQ(dark, 0);
    // Halving the resolution halves the size; other ratios are refused.
    Pixr *half = nullptr;
    ASSERT_EQ(QtzSC_getBackground(sc_, 150, &half), 0);
    EXPECT_EQ(half->channels[0]->width, w / 2);
    EXPECT_EQ(half->channels[0]->height, h / 2);
    pxlDestroyImage(ctx_, &half);
    Pixr *odd = nullptr;
    EXPECT_EQ(QtzSC_getBackground(sc_, 250, &odd), 2);
    EXPECT_EQ(odd, nullptr);
    QtzSC_done(sc_);
    sc_ = nullptr;
  }
}

TEST_F(PageTest, PagesWithoutTextAndGreyPagesGiveNoTextAndKeepThePaper) {
  // A page of paper only (photograph-like shading), as colour and as grey.
  norvtest::Pnm rgb;
  rgb.kind = '6';
  rgb.width = 400;
  rgb.height = 300;
  rgb.raster.resize(3 * 400 * 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x)
      for (int c = 0; c < 3; ++c)
        rgb.raster[3 * (y * 400 + x) + c] =
            uint8_t(200 + 30 * std::sin(x / 40.0 + c) * std::cos(y / 30.0));
  norvtest::Pnm grey;
  grey.kind = '5';
  grey.width = 400;
  grey.height = 300;
  for (size_t i = 0; i < rgb.raster.size(); i += 3) grey.raster.push_back(rgb.raster[i + 1]);
  for (const norvtest::Pnm *pnm : {&rgb, &grey}) {
    ASSERT_EQ(run(*pnm), 0);
    if (pnm == &grey) {
      EXPECT_EQ(sc_->options.backgroundTolerance, 33);
    }
    QtzSCTextComponent *array = nullptr;
    int32_t count = -1;
    ASSERT_EQ(QtzSC_getTextComponents(sc_, &array, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(array, nullptr);
    Pixr *background = nullptr;
    ASSERT_EQ(QtzSC_getBackground(sc_, 300, &background), 0);
    pxl::OwnedImage owner(ctx_, background);
    for (int y = 0; y < 300; y += 7)
      for (int x = 0; x < 400; x += 5)
        for (int c = 0; c < 3; ++c) {
          const uint8_t want =
              pnm == &rgb ? rgb.raster[3 * (y * 400 + x) + c] : grey.raster[y * 400 + x];
          ASSERT_EQ(norvtest::pixel(norvtest::channel(background, c), x, y), want);
        }
    QtzSC_done(sc_);
    sc_ = nullptr;
  }
}

TEST_F(PageTest, StagesRefuseCallsOutOfTurnAndTheContextServesTheNextPage) {
  ASSERT_EQ(QtzSC_init(state_, &sc_), 0);
  Pixr *mask = nullptr;
  EXPECT_EQ(QtzSC_getTextMask(sc_, &mask), QTZ_SC_ERR_NOT_FIND_STAGE);
  QtzImage *grey = nullptr;
  EXPECT_EQ(QtzSC_getGray(sc_, nullptr), QTZ_ERR_PARAM);
  EXPECT_EQ(QtzSC_getGray(sc_, &grey), QTZ_SC_ERR_NOT_FIND_STAGE);
  EXPECT_EQ(QtzSC_defaultOptions(sc_, 0, 300), QTZ_ERR_PARAM);  // no scale from 0 dpi
  QtzSC_done(sc_);
  sc_ = nullptr;

  norvtest::Pnm flat;
  flat.kind = '5';
  flat.width = 64;
  flat.height = 48;
  flat.raster.assign(64 * 48, 200);
  ASSERT_EQ(run(flat), 0);
  const QtzSCOptions before = sc_->options;
  EXPECT_EQ(QtzSC_defaultOptions(sc_, 600, 600), QTZ_SC_ERR_NOT_INIT_STAGE);
  EXPECT_EQ(std::memcmp(&before, &sc_->options, sizeof before), 0);
  // A refused page is still taken over (the tracked books would show a leak otherwise).
  EXPECT_EQ(QtzSC_process(sc_, norvtest::imageFromPnm(ctx_, flat, 300)), QTZ_SC_ERR_NOT_INIT_STAGE);
  ASSERT_EQ(QtzSC_endPage(sc_), 0);
  ASSERT_EQ(QtzSC_defaultOptions(sc_, 300, 300), 0);
  ASSERT_EQ(QtzSC_process(sc_, norvtest::imageFromPnm(ctx_, flat, 0)), 0);
  EXPECT_EQ(sc_->xres, 300);  // resolution 0 reads as 300 dpi
  EXPECT_EQ(sc_->working->rows[10][30], sc_->working->rows[10][31]);
  EXPECT_NE(errors_.text().find("RovoVivud:  Call outside of initialization stage."),
            std::string::npos);
}

TEST_F(PageTest, FailingAllocationsLeaveNothingBehind) {
  const SyntheticPage page = makePage(true);
  if (!page.rgb.valid()) GTEST_SKIP() << "ghostscript";
  // A corner of the page with two text lines keeps the loop short.
  norvtest::Pnm strip;
  strip.kind = '6';
  strip.width = 360;
  strip.height = 260;
  for (int y = 0; y < strip.height; ++y) {
    const auto row = page.rgb.raster.begin() + 3 * size_t(y) * page.rgb.width;
    strip.raster.insert(strip.raster.end(), row, row + 3 * strip.width);
  }
  for (long n = 1;; ++n) {
    Pixr *image = norvtest::imageFromPnm(ctx_, strip, 300);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(QtzSC_init(state_, &sc_), 0);
    ASSERT_EQ(QtzSC_defaultOptions(sc_, 300, 300), 0);
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t status = QtzSC_process(sc_, image);
    QtzSCTextComponent *array = nullptr;
    int32_t count = 0;
    if (status == 0) status = QtzSC_getTextComponents(sc_, &array, &count);
    for (int32_t i = 0; i < count; ++i) QtzImage_free(array[i].bitmap);
    qtz::release(state_, array);
    Pixr *background = nullptr;
    if (status == 0) status = QtzSC_getBackground(sc_, 150, &background);
    pxlDestroyImage(ctx_, &background);
    const bool failed = norvtest::heap.failAt <= norvtest::heap.requests;
    norvtest::heap.failAt = -1;
    QtzSC_done(sc_);
    sc_ = nullptr;
    if (!failed) {
      ASSERT_EQ(status, 0);
      EXPECT_GT(count, 20);  // the corner's text was found
      break;
    }
    ASSERT_NE(status, 0) << n;
    ASSERT_LT(n, 5000);
  }
}

}  // namespace
