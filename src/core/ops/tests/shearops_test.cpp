// Rotation by shears at the image level: band shears keep every pixel and fill uncovered
// areas white; the entry point's angle range, sizes, margins, resolutions and channel sets;
// and the round trip +a, -a on a real 300 dpi text page (in place and into another image).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "page_support.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"
#include "rotation_marks.h"
#include "testkit_context.h"

namespace {

using pagetest::countSet;
using pagetest::pixel;
using pagetest::setPixel;

// Intersection over union of the set pixels of two 1-bit images of one size.
double overlap(Pixr *a, Pixr *b) {
  int64_t both = 0, either = 0;
  const int words = (a->width + 31) / 32;
  for (int y = 0; y < a->height; ++y) {
    const auto *ra = reinterpret_cast<const uint32_t *>(pagetest::contentRow(a, y));
    const auto *rb = reinterpret_cast<const uint32_t *>(pagetest::contentRow(b, y));
    for (int i = 0; i < words; ++i) {
      both += std::popcount(ra[i] & rb[i]);
      either += std::popcount(ra[i] | rb[i]);
    }
  }
  return either == 0 ? 1.0 : double(both) / double(either);
}

// Fraction of the set pixels of a, within `radius` of the centre, that have a set pixel of b
// at most one pixel away (a round trip through two nearest-pixel rotations moves strokes
// by a pixel here and there).
double restoredNearCentre(Pixr *a, Pixr *b, int radius) {
  int64_t set = 0, found = 0;
  const int cx = a->width / 2, cy = a->height / 2;
  for (int y = std::max(1, cy - radius); y < std::min(a->height - 1, cy + radius); ++y)
    for (int x = std::max(1, cx - radius); x < std::min(a->width - 1, cx + radius); ++x) {
      if (pixel(a, x, y) == 0) continue;
      ++set;
      uint32_t near = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) near |= pixel(b, x + dx, y + dy);
      found += near;
    }
  return set == 0 ? 1.0 : double(found) / double(set);
}

class ShearOps : public norvtest::ContextTest {
 protected:
  Pixr *make(int w, int h, int depth, int xdpi = 300, int ydpi = 300) {
    return pagetest::blankImage(ctx, w, h, depth, xdpi, ydpi);
  }
  Pixr *patterned(int w, int h, int depth) { return pagetest::patternedImage(ctx, w, h, depth); }
};

TEST_P(ShearOps, ShearsKeepEverySetPixelInBothDirections) {
  Pixr *src = patterned(101, 67, 1);
  const int64_t set = countSet(src);
  for (int direction : {1, 2})
    for (float factor : {0.05f, -0.05f, 0.3f, -0.3f, 0.7f, -0.7f, 1.5f, -1.5f}) {
      SCOPED_TRACE(testing::Message() << "direction " << direction << " factor " << factor);
      Pixr *out = nullptr;
      ASSERT_EQ(0, pxlShearImage(ctx, src, direction, factor, 1, &out));
      EXPECT_EQ(set, countSet(out));
      const int grown = int(std::fabs(factor) * (direction == 1 ? 67 : 101) + 0.9999f);
      EXPECT_EQ(direction == 1 ? 101 + grown : 101, out->width);
      EXPECT_EQ(direction == 2 ? 67 + grown : 67, out->height);
      pxlDestroyImage(ctx, &out);
    }
  Pixr *wide = make(100, 10, 1), *out = nullptr;
  ASSERT_EQ(0, pxlShearImage(ctx, wide, 1, 0.5f, 1, &out));
  EXPECT_EQ(105, out->width);
  for (Pixr *p : {src, wide, out}) pxlDestroyImage(ctx, &p);
}

TEST_P(ShearOps, GreyShearsAndRotationsFillUncoveredAreasWhite) {
  Pixr *src = make(80, 60, 8);  // all black
  Pixr *sheared = nullptr, *turned = nullptr;
  ASSERT_EQ(0, pxlShearImage(ctx, src, 1, -0.4f, 1, &sheared));
  int64_t white = 0;
  for (int y = 0; y < sheared->height; ++y)
    for (int x = 0; x < sheared->width; ++x) white += pixel(sheared, x, y) == 255;
  EXPECT_EQ(int64_t(sheared->width - 80) * 60, white);
  ASSERT_EQ(0, pxlRotateByShear(ctx, src, 0.3f, 0, 0, &turned));
  EXPECT_EQ(255u, pixel(turned, 0, 0));
  EXPECT_EQ(0u, pixel(turned, turned->width / 2, turned->height / 2));
  for (Pixr *p : {src, sheared, turned}) pxlDestroyImage(ctx, &p);
}

TEST_P(ShearOps, EntryPointAnglesSizesAndResolutions) {
  Pixr *src = patterned(90, 70, 1);
  Pixr *out = nullptr;
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotateByShear(ctx, src, 0.8f, 1, 0, &out));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotateByShear(ctx, src, std::nanf(""), 1, 0, &out));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotateByShear(ctx, src, -INFINITY, 1, 0, &out));
  EXPECT_EQ(nullptr, out);
  Pixr *self = src;
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotateByShear(ctx, src, 0.1f, 0, 0, &self));
  EXPECT_EQ(PXL_ERR_NULL, pxlRotateByShear(ctx, nullptr, 0.1f, 0, 0, &out));
  ASSERT_EQ(0, pxlRotateByShear(ctx, src, 0.7853f, 1, 0, &out));
  pxlDestroyImage(ctx, &out);
  // Angle 0 copies, growing or not.
  for (int keep : {0, 1}) {
    ASSERT_EQ(0, pxlRotateByShear(ctx, src, 0.0f, keep, 0, &out));
    EXPECT_EQ(1.0, overlap(src, out));
    pxlDestroyImage(ctx, &out);
  }
  // Two shears at 0.05, three at 0.3: larger, with white (0) corners.
  for (float angle : {0.05f, 0.3f}) {
    ASSERT_EQ(0, pxlRotateByShear(ctx, src, angle, 0, 0, &out));
    EXPECT_GT(out->width, 90);
    EXPECT_GT(out->height, 70);
    EXPECT_EQ(0u, pixel(out, 0, 0));
    EXPECT_EQ(0u, pixel(out, out->width - 1, out->height - 1));
    pxlDestroyImage(ctx, &out);
  }
  // A tiny angle in place leaves the image as it was.
  Pixr *before = nullptr;
  ASSERT_EQ(0, pxlCopyToFramedImage(ctx, src, &before));
  self = src;
  ASSERT_EQ(0, pxlRotateByShear(ctx, src, 0.001f, 1, 0, &self));
  EXPECT_EQ(1.0, overlap(src, before));
  Pixr *stretched = make(50, 40, 1, 200, 400);
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotateByShear(ctx, stretched, 0.05f, 0, 0, &out));
  Pixr *wrongSize = make(10, 10, 1);
  EXPECT_EQ(PXL_ERR_DIMENSIONS, pxlRotateByShear(ctx, src, 0.05f, 0, 0, &wrongSize));
  for (Pixr *p : {src, before, stretched, wrongSize}) pxlDestroyImage(ctx, &p);
}

// Every mark lands within a pixel of its true place, at angles across the accepted range
// (the one-pass route below 0.12 radian, three shears above), both signs, in place and
// into another image.
TEST_P(ShearOps, MarksLandWithinAPixelOfTheTrueRotation) {
  struct Case {
    int w, h, depth;
  } images[] = {{1000, 700, 1}, {330, 250, 8}};
  const double angles[] = {0.0003, 0.001,  0.0019, 0.005, 0.02, 0.05,
                           0.0873, 0.1199, 0.12,   0.2,   0.4,  0.7853};
  for (const Case &k : images) {
    std::vector<pagetest::Mark> marks;
    Pixr *src = pagetest::markedImage(ctx, k.w, k.h, k.depth, k.depth == 1 ? 37 : 23, &marks);
    ASSERT_GT(marks.size(), 50u);
    for (double magnitude : angles)
      for (double angle : {magnitude, -magnitude}) {
        SCOPED_TRACE(testing::Message() << k.depth << "-bit, angle " << angle);
        Pixr *copied = nullptr, *inPlace = nullptr;
        ASSERT_EQ(0, pxlRotateByShear(ctx, src, float(angle), 1, 0, &copied));
        EXPECT_LE(pagetest::worstLanding(copied, marks, float(angle)), 1.0) << "copying";
        ASSERT_EQ(0, pxlCopyToFramedImage(ctx, src, &inPlace));
        Pixr *self = inPlace;
        ASSERT_EQ(0, pxlRotateByShear(ctx, inPlace, float(angle), 1, 0, &self));
        EXPECT_LE(pagetest::worstLanding(inPlace, marks, float(angle)), 1.0) << "in place";
        for (Pixr *p : {copied, inPlace}) pxlDestroyImage(ctx, &p);
      }
    pxlDestroyImage(ctx, &src);
  }
}

// The growing result below 0.12 radian (two shears, vertical then horizontal) turns by the
// angle itself: its only departure from a true rotation is the missing cosine, a point at
// distance r from the centre landing up to (1 - cos a) r away, plus a pixel of rounding.
// Amounts of tan(a) would turn by more than a and miss by (tan a - sin a) r besides.
TEST_P(ShearOps, GrowingTwoShearsTurnByTheAngleUpToTheMissingCosine) {
  struct Case {
    int w, h, depth;
  } images[] = {{1400, 1000, 1}, {330, 250, 8}};
  const double angles[] = {0.001, 0.005, 0.02, 0.05, 0.0873, 0.1199};
  for (const Case &k : images) {
    std::vector<pagetest::Mark> marks;
    Pixr *src = pagetest::markedImage(ctx, k.w, k.h, k.depth, k.depth == 1 ? 37 : 23, &marks);
    const double radius = std::min(k.w, k.h) / 2 - 8;
    for (double magnitude : angles)
      for (double angle : {magnitude, -magnitude}) {
        SCOPED_TRACE(testing::Message() << k.depth << "-bit, angle " << angle);
        Pixr *grown = nullptr;
        ASSERT_EQ(0, pxlRotateByShear(ctx, src, float(angle), 0, 0, &grown));
        EXPECT_GT(grown->width, k.w);
        // The source's centre lands on the grown image's centre.
        std::vector<pagetest::Mark> moved = marks;
        for (pagetest::Mark &m : moved) {
          m.x += grown->width / 2 - k.w / 2;
          m.y += grown->height / 2 - k.h / 2;
        }
        const double allowed = 1.0 + (1 - std::cos(angle)) * radius;
        EXPECT_LE(pagetest::worstLanding(grown, moved, float(angle)), allowed);
        pxlDestroyImage(ctx, &grown);
      }
    pxlDestroyImage(ctx, &src);
  }
}

TEST_P(ShearOps, ChannelSetsTurnChannelByChannel) {
  Pixr *set = nullptr, *out = nullptr;
  ASSERT_EQ(
      0, pxlCreateMultiChannelImage(ctx, 60, 50, 8, 300 << 16, 300 << 16, 32, 3, 1, nullptr, &set));
  for (int c = 0; c < 3; ++c)
    for (int y = 20; y < 30; ++y)
      for (int x = 0; x < 60; ++x) setPixel(set->channels[c], x, y, 255);
  for (int keep : {1, 0}) {
    ASSERT_EQ(0, pxlRotateByShear(ctx, set, 0.3f, keep, 0, &out));
    EXPECT_EQ(3, out->channelCount);
    int32_t a = 0, b = 0;
    pxlGetImageColorCode(ctx, set, &a);
    pxlGetImageColorCode(ctx, out, &b);
    EXPECT_EQ(a, b);
    pxlDestroyImage(ctx, &out);
  }
  pxlDestroyImage(ctx, &set);
}

// The round trip on a real page, rendered once for all cases: +a then -a restores the page
// up to the rounding of two nearest-pixel rotations (the set pixels of both overlap by at
// least the given share; near the centre every stroke is back within a pixel).
class ShearOpsPage : public ShearOps {
 protected:
  static pagetest::Pnm page() {
    return norvtest::readPnm(pagetest::renderedPage("text_page.ps", "pbmraw", 300, 1500, 1100));
  }
};

TEST_P(ShearOpsPage, RoundTripRestoresTheTextInPlaceAndCopying) {
  Pixr *src = pagetest::toImage(ctx, page());
  ASSERT_NE(nullptr, src);
  ASSERT_GT(countSet(src), 10000);
  const struct {
    double degrees, overlap;
  } cases[] = {{0.5, 0.96}, {2.0, 0.70}, {5.0, 0.96}, {9.0, 0.9}};
  for (const auto &[degrees, leastOverlap] : cases) {
    SCOPED_TRACE(testing::Message() << degrees << " degrees");
    const auto a = float(degrees * M_PI / 180);
    Pixr *turned = nullptr, *back = nullptr, *inPlace = nullptr;
    ASSERT_EQ(0, pxlRotateByShear(ctx, src, a, 1, 0, &turned));
    EXPECT_LT(overlap(src, turned), 0.9);
    ASSERT_EQ(0, pxlRotateByShear(ctx, turned, -a, 1, 0, &back));
    EXPECT_GE(overlap(src, back), leastOverlap);
    const double least = degrees <= 2 ? 0.9 : 0.8;
    EXPECT_GE(restoredNearCentre(src, back, 300), least);
    EXPECT_GE(restoredNearCentre(back, src, 300), least);
    ASSERT_EQ(0, pxlCopyToFramedImage(ctx, src, &inPlace));
    Pixr *self = inPlace;
    ASSERT_EQ(0, pxlRotateByShear(ctx, inPlace, a, 1, 0, &self));
    EXPECT_EQ(1.0, overlap(inPlace, turned));
    for (Pixr *p : {turned, back, inPlace}) pxlDestroyImage(ctx, &p);
  }
  // Three shears within the image's size: a coarser round trip.
  Pixr *copy = nullptr;
  ASSERT_EQ(0, pxlCopyToFramedImage(ctx, src, &copy));
  ASSERT_EQ(0, pxlRotateInPlace(ctx, 0.3f, copy));
  ASSERT_EQ(0, pxlRotateInPlace(ctx, -0.3f, copy));
  EXPECT_GE(restoredNearCentre(src, copy, 300), 0.8);
  EXPECT_GE(restoredNearCentre(copy, src, 300), 0.8);
  for (Pixr *p : {src, copy}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, ShearOps, ::testing::Values(0, 1), norvtest::unitName);
INSTANTIATE_TEST_SUITE_P(Units, ShearOpsPage, ::testing::Values(1), norvtest::unitName);

}  // namespace
