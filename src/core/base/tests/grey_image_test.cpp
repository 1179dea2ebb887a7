// Image-level grey resolution conversion and min/max cascades: ratio selection, output
// images (made, given, shorter, refused), channel sets, failures and their reports, and
// pages rendered by ghostscript, against the per-pixel models, on both processing units.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "grey_reference.h"
#include "pxl_image.h"
#include "pxl_reduce_gray.h"
#include "pxl_resconv.h"
#include "testkit_context.h"
#include "testkit_tools.h"

namespace {

using greyref::Plain;

constexpr int32_t kDpi = 65536;

class GreyImages : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_NE(ctx_, nullptr); }
  void TearDown() override {
    for (Pixr *&image : images_) pxlDestroyImage(ctx_, &image);
  }

  // A framed image of the given planes (one or three), owned by the fixture.
  Pixr *make(const std::vector<Plain> &planes, int32_t dpi = 300) {
    const Plain &p = planes[0];
    Pixr *image = nullptr;
    const int channels = static_cast<int>(planes.size());
    EXPECT_EQ(pxlCreateMultiChannelImage(ctx_, p.width, p.height, p.depth, dpi * kDpi, dpi * kDpi,
                                         32, channels, channels == 1 ? 5 : 1, nullptr, &image),
              0);
    for (int c = 0; c < channels; ++c) write(channel(image, c), planes[c]);
    return own(image);
  }
  Pixr *own(Pixr *image) {
    images_.push_back(image);
    return image;
  }
  Pixr *channel(Pixr *image, int c) {
    Pixr *ch = nullptr;
    EXPECT_EQ(pxlGetImageChannel(ctx_, image, c, &ch), 0);
    return ch;
  }

  static uint8_t *row(Pixr *ch, int y) {
    return ch->framedData + int64_t(y + 32) * ch->bytesPerRow + 4 * ch->depth;
  }
  static void write(Pixr *ch, const Plain &p) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        uint8_t *b = row(ch, y) + ((x * p.depth / 8) ^ 3);
        if (p.depth == 8)
          *b = static_cast<uint8_t>(p.at(x, y));
        else
          *b = static_cast<uint8_t>(x % 2 ? (*b & 0xF0) | p.at(x, y)
                                          : (*b & 0x0F) | p.at(x, y) << 4);
      }
  }
  // The content of one channel; fails the test when a frame pixel (row tails included) is
  // set.
  static Plain read(Pixr *ch) {
    Plain p(ch->width, ch->height, ch->depth);
    for (int y = -32; y < ch->height + 32; ++y) {
      const uint8_t *r = ch->framedData + int64_t(y + 32) * ch->bytesPerRow;
      for (int x = -32; x < ch->width + 32; ++x) {
        const uint8_t b = r[((x + 32) * ch->depth / 8) ^ 3];
        const int v = ch->depth == 8 ? b : (x % 2 ? b & 0xF : b >> 4);
        if (x >= 0 && y >= 0 && x < ch->width && y < ch->height)
          p.at(x, y) = v;
        else if (v != 0)
          ADD_FAILURE() << "bit set outside the content at " << x << "," << y;
      }
    }
    return p;
  }

  // A tracked context on the parameter's processing unit; its report lines and progress polls
  // (an abort with status 77 can be armed at the n-th poll from now).
  norvtest::TrackedContext context_{GetParam() == 8 ? 1 : 0};
  PxlContext *ctx_ = context_.ctx;
  std::vector<std::string> &reports_ = context_.reports;
  std::vector<Pixr *> images_;
};

INSTANTIATE_TEST_SUITE_P(Units, GreyImages, ::testing::Values(4, 8),
                         [](const auto &info) { return "unit" + std::to_string(info.param); });

struct RatioCase {
  int32_t from, to;
  int32_t status;
  Plain (*model)(const Plain &);
  int32_t num, den;
};

TEST_P(GreyImages, RatioIsChosenFromTheTwoResolutions) {
  const RatioCase cases[] = {
      {200, 100, 0, greyref::halved, 1, 2},
      {300, 100, 0, greyref::thirded, 1, 3},
      {200, 300, 0, greyref::threeHalves, 3, 2},
      {100, 200, 0, greyref::doubled, 2, 1},
      {0, 0, 0, greyref::threeHalves, 3, 2},
      {300, 200, 2, nullptr, 0, 1},
      {100, 100, 2, nullptr, 0, 1},
  };
  std::mt19937 rng(1);
  for (int depth : {4, 8})
    for (const RatioCase &c : cases) {
      SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " depth " +
                   std::to_string(depth));
      const Plain s = greyref::randomPlain(rng, 41, 17, depth);
      Pixr *src = make({s}, 300), *out = nullptr;
      ASSERT_EQ(pxlConvertResolution(ctx_, src, c.from, c.to, &out), c.status);
      if (c.status != 0) {
        EXPECT_EQ(out, nullptr);
        continue;
      }
      own(out);
      const Plain want = c.model(s);
      EXPECT_TRUE(read(out) == want);
      // Resolutions scale like the size: 300 dpi times the ratio, truncated.
      EXPECT_EQ(out->xResolution, 300 * kDpi * c.num / c.den);
      EXPECT_EQ(out->yResolution, 300 * kDpi * c.num / c.den);
    }
}

TEST_P(GreyImages, ThreeChannelsAreConvertedChannelByChannel) {
  std::mt19937 rng(2);
  for (int depth : {4, 8}) {
    std::vector<Plain> planes;
    for (int c = 0; c < 3; ++c) planes.push_back(greyref::randomPlain(rng, 50, 31, depth));
    Pixr *src = make(planes), *conv = nullptr, *cascade = nullptr;
    ASSERT_EQ(pxlConvertResolution(ctx_, src, 300, 100, &conv), 0);
    ASSERT_EQ(pxlReduceGrayCascade(ctx_, src, 2, PXL_GRAY_MAX, PXL_GRAY_MIN, 0, 0, &cascade), 0);
    own(conv);
    own(cascade);
    EXPECT_EQ(conv->channelCount, 3);
    EXPECT_EQ(cascade->channelCount, 3);
    for (int c = 0; c < 3; ++c) {
      EXPECT_TRUE(read(channel(conv, c)) == greyref::thirded(planes[c])) << c;
      EXPECT_TRUE(read(channel(cascade, c)) ==
                  greyref::minMax2x2(greyref::minMax2x2(planes[c], true), false))
          << c;
    }
  }
}

// A given output of the right size is filled; one shorter by up to the frame width gets the
// part it covers and a clean frame; a larger one is refused (the operations never convert
// more than the source covers).
TEST_P(GreyImages, GivenOutputs) {
  std::mt19937 rng(3);
  const Plain s = greyref::randomPlain(rng, 64, 40, 8);
  Pixr *src = make({s});
  for (int extra : {0, -3, 1, 32}) {
    SCOPED_TRACE("size difference " + std::to_string(extra));
    const Plain halvedWant = greyref::halved(s), maxWant = greyref::minMax2x2(s, true);
    Pixr *conv = make({Plain(halvedWant.width + extra, halvedWant.height + extra, 8)}, 150);
    Pixr *step = make({Plain(maxWant.width + extra, maxWant.height + extra, 8)}, 150);
    const int32_t want = extra > 0 ? 2 : 0;
    EXPECT_EQ(pxlConvertResolution(ctx_, src, 200, 100, &conv), want);
    EXPECT_EQ(pxlReduceGrayBy2(ctx_, src, PXL_GRAY_MAX, &step), want);
    if (extra == 0) {
      EXPECT_TRUE(read(conv) == halvedWant);
      EXPECT_TRUE(read(step) == maxWant);
    } else if (extra < 0) {
      const Plain got = read(step);
      for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) ASSERT_EQ(got.at(x, y), maxWant.at(x, y));
    }
  }
}

// Sources of one and two pixels: the reductions give empty images, the enlargements one or
// two pixels a side.
TEST_P(GreyImages, TinySources) {
  for (int depth : {4, 8})
    for (int size : {1, 2}) {
      Plain s(size, size, depth);
      std::fill(s.px.begin(), s.px.end(), depth == 8 ? 201 : 13);
      Pixr *src = make({s});
      const RatioCase cases[] = {{200, 100, 0, greyref::halved, 1, 2},
                                 {300, 100, 0, greyref::thirded, 1, 3},
                                 {200, 300, 0, greyref::threeHalves, 3, 2},
                                 {100, 200, 0, greyref::doubled, 2, 1}};
      for (const RatioCase &c : cases) {
        Pixr *out = nullptr;
        ASSERT_EQ(pxlConvertResolution(ctx_, src, c.from, c.to, &out), 0);
        EXPECT_TRUE(read(own(out)) == c.model(s)) << c.from << " to " << c.to;
      }
      Pixr *step = nullptr;
      ASSERT_EQ(pxlReduceGrayCascade(ctx_, src, 2, 0, 1, 0, 0, &step), 0);
      EXPECT_EQ(own(step)->width, 0);
    }
}

TEST_P(GreyImages, RefusedSourcesAndArguments) {
  Pixr *one = make({Plain(8, 8, 8)}), *bits = nullptr, *unframed = nullptr, *out = nullptr;
  ASSERT_EQ(pxlCreateImage(ctx_, 8, 8, 1, kDpi, kDpi, 32, &bits), 0);
  ASSERT_EQ(pxlCreateImage(ctx_, 8, 8, 8, kDpi, kDpi, 0, &unframed), 0);
  own(bits);
  own(unframed);
  EXPECT_EQ(pxlConvertResolution(ctx_, one, 200, 100, nullptr), 118);
  EXPECT_EQ(pxlConvertResolution(ctx_, bits, 200, 100, &out), 1001);
  EXPECT_EQ(pxlConvertResolution(ctx_, unframed, 200, 100, &out), 1004);
  EXPECT_EQ(pxlReduceGrayBy2(ctx_, one, PXL_GRAY_MIN, nullptr), 118);
  EXPECT_EQ(pxlReduceGrayBy2(ctx_, bits, PXL_GRAY_MIN, &out), 1001);
  EXPECT_EQ(pxlReduceGrayBy2(ctx_, one, 2, &out), 2);
  EXPECT_EQ(pxlReduceGrayCascade(ctx_, unframed, 1, 0, 0, 0, 0, &out), 1004);
  // A given output of another depth.
  Pixr *four = make({Plain(4, 4, 4)});
  EXPECT_EQ(pxlReduceGrayBy2(ctx_, one, PXL_GRAY_MIN, &four), 2);
  EXPECT_EQ(out, nullptr);
}

TEST_P(GreyImages, CascadeCountsAndModes) {
  std::mt19937 rng(4);
  const Plain s = greyref::randomPlain(rng, 9, 9, 8);
  Pixr *src = make({s});
  for (int count : {0, 5}) {
    Pixr *out = nullptr;
    EXPECT_EQ(pxlReduceGrayCascade(ctx_, src, count, 0, 0, 0, 0, &out), 2);
  }
  // count 1 ignores mode2.
  Pixr *one = nullptr;
  ASSERT_EQ(pxlReduceGrayCascade(ctx_, src, 1, PXL_GRAY_MAX, 7, 0, 0, &one), 0);
  EXPECT_TRUE(read(own(one)) == greyref::minMax2x2(s, true));
  // A 9 x 9 source reduced twice gives 2 x 2; resolutions are halved each step.
  Pixr *two = nullptr;
  ASSERT_EQ(pxlReduceGrayCascade(ctx_, src, 2, PXL_GRAY_MIN, PXL_GRAY_MAX, 7, 7, &two), 0);
  EXPECT_TRUE(read(own(two)) == greyref::minMax2x2(greyref::minMax2x2(s, false), true));
  EXPECT_EQ(two->width, 2);
  EXPECT_EQ(two->xResolution, 300 * kDpi / 4);
  // The bad second mode is found after the first step has run; the output address ends
  // null, also when the caller passed an image in.
  Pixr *given = nullptr;
  ASSERT_EQ(pxlCreateImage(ctx_, 2, 2, 8, 75 * kDpi, 75 * kDpi, 32, &given), 0);
  EXPECT_EQ(pxlReduceGrayCascade(ctx_, src, 2, PXL_GRAY_MIN, 7, 0, 0, &given), 2);
  EXPECT_EQ(given, nullptr);
}

TEST_P(GreyImages, FourStepCascadesMatchTheModel) {
  std::mt19937 rng(5);
  for (int depth : {4, 8}) {
    const Plain s = greyref::randomPlain(rng, 133, 71, depth);
    Pixr *src = make({s}), *out = nullptr;
    const int modes[4] = {0, 1, 1, 0};
    ASSERT_EQ(pxlReduceGrayCascade(ctx_, src, 4, modes[0], modes[1], modes[2], modes[3], &out), 0);
    Plain want = s;
    for (int m : modes) want = greyref::minMax2x2(want, m == 1);
    EXPECT_TRUE(read(own(out)) == want);
  }
}

// Each failure is reported once at this level, and an output made by a failing call is
// destroyed.
TEST_P(GreyImages, FailuresAreReportedOnceAndMadeOutputsDestroyed) {
  Pixr *src = make({Plain(40, 40, 8)}), *out = nullptr;
  reports_.clear();
  EXPECT_EQ(pxlConvertResolution(ctx_, src, 300, 200, &out), 2);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("File:resconv"), std::string::npos);
  EXPECT_NE(reports_[0].find("Error: 2\n"), std::string::npos);

  // Aborts at every poll position in turn: the status comes back, and no output is left.
  for (int at = 1; at < 40; ++at) {
    context_.tracker.abortAt(at, 77);
    Pixr *conv = nullptr, *cascade = nullptr;
    const int32_t a = pxlConvertResolution(ctx_, src, 200, 100, &conv);
    context_.tracker.abortAt(at, 77);
    const int32_t b = pxlReduceGrayCascade(ctx_, src, 3, 0, 1, 0, 0, &cascade);
    context_.tracker.abortAt(0, 0);
    EXPECT_TRUE(a == 0 || (a == 77 && conv == nullptr)) << at;
    EXPECT_TRUE(b == 0 || (b == 77 && cascade == nullptr)) << at;
    own(conv);
    own(cascade);
  }
}

// ---- pages rendered by ghostscript ----

// The page at `dpi` (tests/data/grey_page.ps, 200 x 144 points) as an 8-bit plain image;
// empty when Ghostscript cannot render it.
Plain renderPage(int dpi) {
  const norvtest::Pnm page = norvtest::renderPagePnm(
      NORV_TEST_DATA "/grey_page.ps", "pgmraw", dpi,
      "-dTextAlphaBits=4 -dGraphicsAlphaBits=4 -dDEVICEWIDTHPOINTS=200 -dDEVICEHEIGHTPOINTS=144 "
      "-dFIXEDMEDIA");
  if (page.kind != '5') return {};
  Plain p(page.width, page.height, 8);
  for (size_t i = 0; i < page.raster.size(); ++i) p.px[i] = page.raster[i];
  return p;
}

TEST_P(GreyImages, RenderedPagesMatchTheModel) {
  const Plain page300 = renderPage(300), page200 = renderPage(200);
  if (page300.width == 0 || page200.width == 0) GTEST_SKIP() << "ghostscript not available";
  for (int depth : {8, 4}) {
    Plain p300 = page300, p200 = page200;
    if (depth == 4) {
      for (int &v : p300.px) v >>= 4;
      for (int &v : p200.px) v >>= 4;
    }
    p300.depth = p200.depth = depth;
    SCOPED_TRACE("depth " + std::to_string(depth));
    Pixr *src300 = make({p300}, 300), *src200 = make({p200}, 200);
    struct Run {
      Pixr *src;
      int32_t from, to;
      Plain want;
    } runs[] = {{src300, 300, 100, greyref::thirded(p300)},
                {src200, 200, 100, greyref::halved(p200)},
                {src200, 200, 300, greyref::threeHalves(p200)},
                {src200, 100, 200, greyref::doubled(p200)}};
    for (Run &r : runs) {
      Pixr *out = nullptr;
      ASSERT_EQ(pxlConvertResolution(ctx_, r.src, r.from, r.to, &out), 0);
      EXPECT_TRUE(read(own(out)) == r.want) << r.from << " to " << r.to;
    }
    Pixr *dark = nullptr, *light = nullptr;
    ASSERT_EQ(pxlReduceGrayCascade(ctx_, src300, 3, 0, 0, 0, 0, &dark), 0);
    ASSERT_EQ(pxlReduceGrayCascade(ctx_, src300, 3, 1, 1, 1, 0, &light), 0);
    Plain wantDark = p300, wantLight = p300;
    for (int i = 0; i < 3; ++i) {
      wantDark = greyref::minMax2x2(wantDark, false);
      wantLight = greyref::minMax2x2(wantLight, true);
    }
    EXPECT_TRUE(read(own(dark)) == wantDark);
    EXPECT_TRUE(read(own(light)) == wantLight);
  }
}

}  // namespace
