// Image strips: the fill outside the mask against a per-pixel model and on masks whose rows
// and columns leave pixels without a mask neighbour; trimming against the shape cut to its
// non-white box; strips JPEG-coded and decoded by libjpeg (ITULAB samples against a CIE L*a*b*
// model inside the mask, the reduced size and density of scaled strips, the quality of
// picture areas); merged strips; the memory sink's growth; refusals; and failures at every
// allocation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "compdoc_strips.h"
#include "jpeg_decode.h"
#include "tc_util.h"
#include "tc_util_internal.h"
#include "testkit_state.h"

namespace {

using RGB = std::array<uint8_t, 3>;

// A shape: which pixels of a width x height box belong to a component.
struct Shape {
  int width = 0, height = 0;
  std::vector<uint8_t> in;
  Shape(int w, int h) : width(w), height(h), in(size_t(w) * h) {}
  bool at(int x, int y) const { return in[size_t(y) * width + x] != 0; }
  void set(int x, int y, bool v = true) { in[size_t(y) * width + x] = v ? 1 : 0; }
};

// The token run list of a shape, a row marker before every row that has runs.
std::vector<uint16_t> runsOf(const Shape &s) {
  std::vector<uint16_t> runs;
  for (int y = 0; y < s.height; ++y) {
    bool marked = false;
    for (int x = 0; x < s.width;) {
      if (!s.at(x, y)) {
        ++x;
        continue;
      }
      int end = x;
      while (end < s.width && s.at(end, y)) ++end;
      if (!marked) runs.insert(runs.end(), {uint16_t(y), 0});
      marked = true;
      runs.insert(runs.end(), {uint16_t(x), uint16_t(end - x)});
      x = end;
    }
  }
  return runs;
}

// Deterministic pseudo-random numbers.
struct Lcg {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u; }
  int below(int n) { return int((next() >> 8) % uint32_t(n)); }
};

// A smooth picture in page coordinates, every channel in 40 .. 220.
RGB smooth(int x, int y) {
  return {uint8_t(130 + 80 * std::sin(x / 11.0)), uint8_t(130 + 70 * std::cos(y / 9.0)),
          uint8_t(60 + (x + 2 * y) % 150 / 2 + 40)};
}

// CIE L*a*b* (D65 white) of an sRGB pixel as ITULAB bytes.
std::array<double, 3> ituLab(const RGB &p) {
  double lin[3];
  for (int c = 0; c < 3; ++c) {
    const double v = p[c] / 255.0;
    lin[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  }
  const double x = (0.4124 * lin[0] + 0.3576 * lin[1] + 0.1805 * lin[2]) / 0.9505;
  const double y = 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2];
  const double z = (0.0193 * lin[0] + 0.1192 * lin[1] + 0.9505 * lin[2]) / 1.089;
  const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
  const double L = 116 * f(y) - 16, a = 500 * (f(x) - f(y)), b = 200 * (f(y) - f(z));
  return {L * 255 / 100, (a + 85.333336) * 255 / 170, (b + 75.29412) * 255 / 200};
}

// The first entry of libjpeg's standard luma table at a quality (IJG scaling).
int lumaQuant0(int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  const int v = (16 * scale + 50) / 100;
  return v < 1 ? 1 : v > 255 ? 255 : v;
}

class StripTest : public norvtest::TrackedStateTest {
 protected:
  StripTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void TearDown() override {
    imgFreeStrips(state_, &strips_);
    imgFreeJpegCompressor(state_, &compressor_);
    for (QtzImage *&mask : masks_) freeFramedBitmap(state_, &mask);
    for (StripComponent &c : components_) {
      state_->alloc.release(c.runs);
      if (c.image != nullptr) QtzImage_free(c.image);
    }
    TrackedStateTest::TearDown();
  }

  // A framed mask bitmap holding the shape.
  QtzImage *maskOf(const Shape &s, int32_t *offset) {
    QtzImage *mask = nullptr;
    EXPECT_EQ(newFramedBitmap(state_, s.width, s.height, offset, &mask), 0);
    if (mask == nullptr) return nullptr;
    masks_.push_back(mask);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        if (s.at(x, y)) {
          auto *row = reinterpret_cast<uint32_t *>(mask->rows[32 + y]);
          const int bit = 32 + *offset + x;
          row[bit / 32] |= 0x80000000u >> (bit % 32);
        }
    return mask;
  }

  QtzImage *rgbImage(int w, int h, RGB (*colour)(int x, int y), int dx = 0, int dy = 0) {
    QtzImage *image = nullptr;
    if (QtzImage_new(state_, QTZ_IMAGE_RGB, w, h, &image) != 0) return nullptr;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) std::memcpy(pixel(image, x, y), colour(x + dx, y + dy).data(), 3);
    return image;
  }

  static uint8_t *pixel(QtzImage *image, int x, int y) {
    return image->rows[image->hdr.yoff + y] + 3 * (image->hdr.xoff + x);
  }

  // A component of the shape at (left, top) with the page's smooth picture; false when an
  // allocation failed (nothing is left then).
  bool makeComponent(StripComponent *c, const Shape &s, int left, int top, uint8_t flags,
                     RGB (*colour)(int, int) = smooth) {
    const std::vector<uint16_t> runs = runsOf(s);
    *c = StripComponent{nullptr,
                        int32_t(runs.size() / 2),
                        uint16_t(left),
                        uint16_t(top),
                        uint16_t(left + s.width - 1),
                        uint16_t(top + s.height - 1),
                        nullptr,
                        flags};
    c->runs = static_cast<uint16_t *>(state_->alloc.allocate(runs.size() * 2 + 2));
    if (c->runs == nullptr) return false;
    if (!runs.empty()) std::memcpy(c->runs, runs.data(), runs.size() * 2);
    c->image = rgbImage(s.width, s.height, colour, left, top);
    if (c->image == nullptr) {
      state_->alloc.release(c->runs);
      c->runs = nullptr;
      return false;
    }
    return true;
  }

  StripComponent &addComponent(const Shape &s, int left, int top, uint8_t flags) {
    components_.push_back({});
    EXPECT_TRUE(makeComponent(&components_.back(), s, left, top, flags));
    return components_.back();
  }

  StripPage page(int width = 1000, int height = 1000, float scale = 1.0f, int quality = 90) {
    return StripPage{state_, 0, scale, quality, width, height, 300, 300, &compressor_, &strips_};
  }

  QtzTdcImageStrip *onlyStrip() {
    if (strips_ == nullptr || strips_->count != 1) return nullptr;
    return static_cast<QtzTdcImageStrip *>(strips_->head->data);
  }

  static bool maskBit(const QtzTdcImageStrip *strip, int x, int y) {
    const auto *row = reinterpret_cast<const uint32_t *>(strip->mask->rows[32 + y]);
    const int bit = 32 + strip->maskBitOffset + x;
    return (row[bit / 32] & (0x80000000u >> (bit % 32))) != 0;
  }

  // Decoded ITULAB samples of the strip against the model inside the mask (the shape at its
  // offset): mean and largest error per sample.
  void expectCloseInside(const QtzTdcImageStrip *strip, const Shape &in, double meanLimit,
                         double maxLimit) {
    const striptest::Decoded d = striptest::decodeJpeg(strip->data, strip->dataSize, true);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.width, strip->width);
    ASSERT_EQ(d.height, strip->height);
    ASSERT_EQ(d.components, 3);
    double sum = 0, worst = 0;
    long samples = 0;
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        if (!in.at(x, y)) continue;
        const auto want = ituLab(smooth(strip->x + x, strip->bottom - strip->height + 1 + y));
        for (int c = 0; c < 3; ++c) {
          const double e = std::fabs(d.pixels[(size_t(y) * d.width + x) * 3 + c] - want[c]);
          sum += e;
          worst = std::max(worst, e);
          ++samples;
        }
      }
    ASSERT_GT(samples, 0);
    EXPECT_LT(sum / samples, meanLimit);
    EXPECT_LT(worst, maxLimit);
  }

  QtzAdtList *strips_ = nullptr;
  PxlJpegCompressor *compressor_ = nullptr;
  std::vector<QtzImage *> masks_;
  std::deque<StripComponent> components_;
};

// ---- Filling outside the mask ----

// The fill written out pixel by pixel: the four nearest mask pixels in row and column with
// weights K / distance; pixels with none from the nearest rows above and below that hold mask
// pixels, in the filled image.
std::vector<RGB> modelFill(const std::vector<RGB> &in, const Shape &m) {
  const int w = m.width, h = m.height;
  const long k = w + h + 2;
  std::vector<RGB> out = in;
  std::vector<bool> rowHas(h), colHas(w), hole(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (m.at(x, y)) rowHas[y] = colHas[x] = true;
  const auto mean = [](const std::vector<std::pair<long, RGB>> &terms) {
    long sw = 0, s[3] = {};
    for (const auto &[wt, c] : terms) {
      sw += wt;
      for (int i = 0; i < 3; ++i) s[i] += wt * c[i];
    }
    if (sw == 0) return RGB{0, 0, 0};
    return RGB{uint8_t(s[0] / sw), uint8_t(s[1] / sw), uint8_t(s[2] / sw)};
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (m.at(x, y)) continue;
      std::vector<std::pair<long, RGB>> terms;
      for (int d = 1; x - d >= 0; ++d)
        if (m.at(x - d, y)) {
          terms.push_back({k / d, in[size_t(y) * w + x - d]});
          break;
        }
      for (int d = 1; x + d < w; ++d)
        if (m.at(x + d, y)) {
          terms.push_back({k / d, in[size_t(y) * w + x + d]});
          break;
        }
      for (int d = 1; y - d >= 0; ++d)
        if (m.at(x, y - d)) {
          terms.push_back({k / d, in[size_t(y - d) * w + x]});
          break;
        }
      for (int d = 1; y + d < h; ++d)
        if (m.at(x, y + d)) {
          terms.push_back({k / d, in[size_t(y + d) * w + x]});
          break;
        }
      out[size_t(y) * w + x] = mean(terms);
      hole[size_t(y) * w + x] = terms.empty();
    }
  const std::vector<RGB> first = out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!hole[size_t(y) * w + x]) continue;
      std::vector<std::pair<long, RGB>> terms;
      for (int d = 1; y - d >= 0; ++d)
        if (rowHas[y - d]) {
          terms.push_back({k / d, first[size_t(y - d) * w + x]});
          break;
        }
      for (int d = 1; y + d < h; ++d)
        if (rowHas[y + d]) {
          terms.push_back({k / d, first[size_t(y + d) * w + x]});
          break;
        }
      out[size_t(y) * w + x] = mean(terms);
    }
  return out;
}

using FillTest = StripTest;

TEST_F(FillTest, WorkedRowWeights) {
  // K = 5 + 1 + 2 = 8: x = 1 weighs the left pixel 8 / 1 and the right one 8 / 3.
  Shape m(5, 1);
  m.set(0, 0);
  m.set(4, 0);
  QtzImage *image = rgbImage(5, 1, [](int x, int) {
    return x == 0 ? RGB{200, 0, 0} : RGB{0, 0, 100};
  });
  ASSERT_NE(image, nullptr);
  int32_t offset = 0;
  QtzImage *mask = maskOf(m, &offset);
  ASSERT_EQ(imgFillOutsideMask(state_, image, mask, offset), 0);
  const RGB want[5] = {{200, 0, 0}, {160, 0, 20}, {100, 0, 50}, {40, 0, 80}, {0, 0, 100}};
  for (int x = 0; x < 5; ++x)
    EXPECT_EQ((RGB{pixel(image, x, 0)[0], pixel(image, x, 0)[1], pixel(image, x, 0)[2]}), want[x])
        << x;
  QtzImage_free(image);
}

// Masks of one colour: every pixel outside must take exactly that colour, including pixels
// whose row and column hold no mask pixel (a single pass along the rows leaves them black).
TEST_F(FillTest, EveryPixelIsReached) {
  struct Case {
    const char *name;
    int w, h;
    std::vector<std::pair<int, int>> points;
  };
  const Case cases[] = {
      {"centre dot", 3, 3, {{1, 1}}},
      {"corner dot", 40, 30, {{0, 0}}},
      {"last column", 33, 9, {{32, 8}}},
      {"diagonal", 70, 20, {{5, 2}, {40, 10}, {69, 19}}},
      {"two dots", 64, 64, {{31, 5}, {32, 60}}},
      {"single pixel", 1, 1, {{0, 0}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Shape m(c.w, c.h);
    for (auto [x, y] : c.points) m.set(x, y);
    QtzImage *image = rgbImage(c.w, c.h, [](int, int) { return RGB{1, 2, 3}; });
    ASSERT_NE(image, nullptr);
    for (auto [x, y] : c.points) std::memcpy(pixel(image, x, y), RGB{90, 180, 45}.data(), 3);
    int32_t offset = 0;
    QtzImage *mask = maskOf(m, &offset);
    ASSERT_EQ(imgFillOutsideMask(state_, image, mask, offset), 0);
    int wrong = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        wrong += std::memcmp(pixel(image, x, y), RGB{90, 180, 45}.data(), 3) != 0;
    EXPECT_EQ(wrong, 0);
    QtzImage_free(image);
  }
}

TEST_F(FillTest, MatchesPixelModel) {
  struct Case {
    int w, h, density;  // mask pixels per 1000
  };
  const Case cases[] = {{1, 1, 500},   {37, 5, 100}, {70, 40, 8}, {33, 64, 30},
                        {96, 17, 400}, {5, 90, 3},   {64, 64, 0}, {40, 40, 1000}};
  Lcg rng{7};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " density " << c.density);
    Shape m(c.w, c.h);
    std::vector<RGB> in(size_t(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        m.set(x, y, rng.below(1000) < c.density);
        in[size_t(y) * c.w + x] = {uint8_t(rng.next() >> 24), uint8_t(rng.next() >> 24),
                                   uint8_t(rng.next() >> 24)};
      }
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_RGB, c.w, c.h, &image), 0);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        std::memcpy(pixel(image, x, y), in[size_t(y) * c.w + x].data(), 3);
    int32_t offset = 0;
    QtzImage *mask = maskOf(m, &offset);
    ASSERT_EQ(imgFillOutsideMask(state_, image, mask, offset), 0);
    const std::vector<RGB> want = modelFill(in, m);
    int wrong = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        wrong += std::memcmp(pixel(image, x, y), want[size_t(y) * c.w + x].data(), 3) != 0;
    EXPECT_EQ(wrong, 0);
    QtzImage_free(image);
  }
}

TEST_F(FillTest, RefusesBadArguments) {
  QtzImage *image = rgbImage(8, 8, smooth);
  ASSERT_NE(image, nullptr);
  int32_t offset = 0;
  QtzImage *small = maskOf(Shape(4, 8), &offset);
  EXPECT_EQ(imgFillOutsideMask(state_, image, small, offset), 2);
  EXPECT_EQ(imgFillOutsideMask(state_, image, nullptr, 0), 118);
  EXPECT_EQ(imgFillOutsideMask(state_, small, small, offset), 2);
  QtzImage_free(image);
}

// ---- Trimming ----

using TrimTest = StripTest;

TEST_F(TrimTest, AllWhiteGivesTheEmptyBox) {
  Shape s(6, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) s.set(x, y);
  StripComponent &c = addComponent(s, 10, 20, kStripLargeShape);
  for (int y = 0; y < 4; ++y) std::memset(pixel(c.image, 0, y), 255, 18);
  const QtzImage *image = c.image;
  ASSERT_EQ(imgTrimComponent(&c, state_), 0);
  EXPECT_EQ((std::array<int, 4>{c.left, c.top, c.right, c.bottom}),
            (std::array<int, 4>{1, 1, 0, 0}));
  EXPECT_EQ(c.image, image);
}

// Shapes with white pixels: the trimmed box is the box of the non-white pixels under the runs,
// the image its pixels and the runs the shape cut to it.
TEST_F(TrimTest, CutsShapeImageAndRunsToTheNonWhiteBox) {
  struct Case {
    const char *name;
    int w, h;
    std::vector<uint16_t> runs;              // as the finder may write them (implicit rows allowed)
    std::vector<std::pair<int, int>> white;  // white pixels
    bool whiteOutsideRuns;                   // every pixel outside the runs is white
  };
  const Case cases[] = {
      // Row 1's first run is cut away; its second, clipped, must stay on row 1.
      {"implicit rows", 10, 2, {6, 2, 0, 2, 9, 1}, {{0, 1}, {1, 1}}, true},
      {"no change", 5, 3, {0, 0, 0, 5, 1, 0, 0, 5, 2, 0, 0, 5}, {}, false},
      {"white border", 8, 6, {}, {}, true},
  };
  for (const Case &cs : cases) {
    SCOPED_TRACE(cs.name);
    components_.push_back({});
    StripComponent &c = components_.back();
    Shape full(cs.w, cs.h);
    std::vector<uint16_t> runs = cs.runs;
    if (runs.empty()) {  // a ring of white pixels around a filled rectangle 2..5 x 1..3
      for (int y = 0; y < cs.h; ++y)
        for (int x = 0; x < cs.w; ++x) full.set(x, y);
      runs = runsOf(full);
    }
    ASSERT_TRUE(makeComponent(&c, full, 100, 50, kStripLargeShape));
    state_->alloc.release(c.runs);
    c.runs = static_cast<uint16_t *>(state_->alloc.allocate(runs.size() * 2));
    std::memcpy(c.runs, runs.data(), runs.size() * 2);
    c.runCount = int32_t(runs.size() / 2);
    // The shape the runs describe.
    QtzTokenBitmap drawn{nullptr,        nullptr,        0,
                         uint16_t(cs.w), uint16_t(cs.h), uint16_t((cs.w + 31) / 32)};
    ASSERT_EQ(RunsToUnframedBitmap(&drawn, c.runs, c.runCount, cs.h, drawn.wordsPerRow, 0, state_),
              0);
    Shape shape(cs.w, cs.h);
    for (int y = 0; y < cs.h; ++y)
      for (int x = 0; x < cs.w; ++x)
        shape.set(x, y,
                  (drawn.bits[y * drawn.wordsPerRow + x / 32] & (0x80000000u >> (x % 32))) != 0);
    state_->alloc.release(drawn.bits);
    std::vector<std::vector<RGB>> before(cs.h, std::vector<RGB>(cs.w));
    for (int y = 0; y < cs.h; ++y)
      for (int x = 0; x < cs.w; ++x) {
        bool white = cs.whiteOutsideRuns && !shape.at(x, y);
        if (cs.runs.empty()) white = x < 2 || x > 5 || y < 1 || y > 3;
        for (auto [wx, wy] : cs.white) white = white || (wx == x && wy == y);
        if (white) std::memset(pixel(c.image, x, y), 255, 3);
        std::memcpy(before[y][x].data(), pixel(c.image, x, y), 3);
      }
    // Model: the non-white box of the pixels under the runs.
    int l = cs.w, t = -1, r = -1, b = -1;
    for (int y = 0; y < cs.h; ++y)
      for (int x = 0; x < cs.w; ++x)
        if (shape.at(x, y) && before[y][x] != RGB{255, 255, 255}) {
          l = std::min(l, x);
          r = std::max(r, x);
          if (t < 0) t = y;
          b = y;
        }
    ASSERT_GE(t, 0);
    const QtzImage *oldImage = c.image;
    ASSERT_EQ(imgTrimComponent(&c, state_), 0);
    EXPECT_EQ((std::array<int, 4>{c.left, c.top, c.right, c.bottom}),
              (std::array<int, 4>{100 + l, 50 + t, 100 + r, 50 + b}));
    const int kw = r - l + 1, kh = b - t + 1;
    if (kw == cs.w && kh == cs.h) {
      EXPECT_EQ(c.image, oldImage);
      continue;
    }
    ASSERT_EQ(c.image->hdr.width, kw);
    ASSERT_EQ(c.image->hdr.height, kh);
    QtzTokenBitmap kept{nullptr, nullptr, 0, uint16_t(kw), uint16_t(kh), uint16_t((kw + 31) / 32)};
    ASSERT_EQ(RunsToUnframedBitmap(&kept, c.runs, c.runCount, kh, kept.wordsPerRow, 0, state_), 0);
    for (int y = 0; y < kh; ++y)
      for (int x = 0; x < kw; ++x) {
        EXPECT_EQ((kept.bits[y * kept.wordsPerRow + x / 32] & (0x80000000u >> (x % 32))) != 0,
                  shape.at(l + x, t + y))
            << x << "," << y;
        EXPECT_EQ(std::memcmp(pixel(c.image, x, y), before[t + y][l + x].data(), 3), 0);
      }
    state_->alloc.release(kept.bits);
  }
}

TEST_F(TrimTest, FailedAllocationLeavesTheComponent) {
  Shape s(12, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) s.set(x, y, (x + y) % 3 != 0);
  norvtest::failEachRequest([&](long) {
    StripComponent c{};
    if (!makeComponent(&c, s, 3, 4, kStripLargeShape)) return false;
    for (int x = 0; x < 12; ++x) std::memset(pixel(c.image, x, 0), 255, 3);
    const StripComponent before = c;
    const int32_t status = imgTrimComponent(&c, state_);
    if (status != 0) {
      EXPECT_TRUE(status == 1 || status == QTZ_IMAGE_ERR_MEMORY) << status;
      EXPECT_EQ(std::memcmp(&c, &before, sizeof c), 0);
    } else {
      EXPECT_EQ(c.top, 5);
    }
    state_->alloc.release(c.runs);
    QtzImage_free(c.image);
    return status == 0;
  });
}

// ---- Coding strips ----

Shape disc(int w, int h) {
  Shape s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
      s.set(x, y, dx * dx + dy * dy < 0.24);
    }
  return s;
}

Shape filled(int w, int h) {
  Shape s(w, h);
  std::fill(s.in.begin(), s.in.end(), 1);
  return s;
}

using CodeTest = StripTest;

TEST_F(CodeTest, MaskedPictureDecodesToItsPixelsInsideTheMask) {
  const Shape shape = disc(61, 47);
  StripComponent &c = addComponent(shape, 120, 80, kStripLargeShape);
  const StripPage p = page();
  StripSource source{&c, 80, 126, 0};
  ASSERT_EQ(imgCodeComponentStrip(&p, &source), 0);
  EXPECT_EQ(c.runs, nullptr);
  EXPECT_EQ(c.image, nullptr);
  const QtzTdcImageStrip *strip = onlyStrip();
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->x, 120);
  EXPECT_EQ(strip->bottom, 126);
  EXPECT_EQ(strip->width, 61);
  EXPECT_EQ(strip->height, 47);
  ASSERT_NE(strip->mask, nullptr);
  for (int y = 0; y < 47; ++y)
    for (int x = 0; x < 61; ++x) ASSERT_EQ(maskBit(strip, x, y), shape.at(x, y)) << x << "," << y;
  expectCloseInside(strip, shape, 2.5, 20);
  // Outside the mask the colours continue the picture's: no black (L* 0) hole is left.
  const striptest::Decoded d = striptest::decodeJpeg(strip->data, strip->dataSize, true);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.xDensity, 300);
  int dark = 0;
  for (size_t i = 0; i < d.pixels.size(); i += 3) dark += d.pixels[i] < 60;
  EXPECT_EQ(dark, 0);
}

TEST_F(CodeTest, RectangleHasNoMask) {
  StripComponent &c = addComponent(filled(40, 24), 8, 300, kStripPicture);
  const StripPage p = page();
  StripSource source{&c, 300, 323, 1};
  ASSERT_EQ(imgCodeComponentStrip(&p, &source), 0);
  const QtzTdcImageStrip *strip = onlyStrip();
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->mask, nullptr);
  // Picture areas are coded at 0.4 of the quality (90 -> 36).
  EXPECT_EQ(striptest::decodeJpeg(strip->data, strip->dataSize, true).lumaQuant0, lumaQuant0(36));
  expectCloseInside(strip, filled(40, 24), 4, 40);
}

// Strips wider and taller than a tenth of the page are coded at the document's scale: the
// decoded size is (side / scale + 0.5) and the density the resolution over the scale.
TEST_F(CodeTest, LargeStripsAreReduced) {
  struct Case {
    int w, h;
    bool scaled;
  };
  const Case cases[] = {{11, 11, true}, {10, 30, false}, {30, 10, false}, {31, 23, true}};
  for (const Case &cs : cases) {
    SCOPED_TRACE(testing::Message() << cs.w << "x" << cs.h);
    StripComponent &c = addComponent(filled(cs.w, cs.h), 20, 20, kStripLargeShape);
    const StripPage p = page(100, 100, 2.0f, 90);
    StripSource source{&c, 20, 20 + cs.h - 1, 1};
    ASSERT_EQ(imgCodeComponentStrip(&p, &source), 0);
    const QtzTdcImageStrip *strip = onlyStrip();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->width, cs.w);
    const striptest::Decoded d = striptest::decodeJpeg(strip->data, strip->dataSize, false);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, cs.scaled ? int(cs.w / 2.0 + 0.5) : cs.w);
    EXPECT_EQ(d.height, cs.scaled ? int(cs.h / 2.0 + 0.5) : cs.h);
    EXPECT_EQ(d.xDensity, cs.scaled ? 150 : 300);
    if (cs.scaled) {
      // Reduced pixels lie near the picture at the matching place (RGB: coded as YCbCr).
      double sum = 0;
      for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
          const RGB want = smooth(20 + std::min(2 * x, cs.w - 1), 20 + std::min(2 * y, cs.h - 1));
          for (int k = 0; k < 3; ++k)
            sum += std::fabs(d.pixels[(size_t(y) * d.width + x) * 3 + k] - want[k]);
        }
      EXPECT_LT(sum / (3.0 * d.width * d.height), 12);
    }
    imgFreeStrips(state_, &strips_);
  }
}

TEST_F(CodeTest, OverlappingComponentsBecomeOneStrip) {
  const Shape a = disc(20, 20), b = disc(20, 20);
  StripSource sources[3] = {};
  StripComponent &first = addComponent(a, 10, 5, kStripPicture);
  StripComponent &second = addComponent(b, 28, 15, kStripPicture);
  sources[1] = {&first, 5, 24, 0};
  sources[2] = {&second, 15, 34, 0};
  const StripPage p = page();
  ASSERT_EQ(imgCodeMergedStrip(&p, sources, 1, 2), 0);
  const QtzTdcImageStrip *strip = onlyStrip();
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->x, 10);
  EXPECT_EQ(strip->bottom, 34);
  EXPECT_EQ(strip->width, 38);
  EXPECT_EQ(strip->height, 30);
  Shape both(38, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 38; ++x)
      both.set(x, y,
               (x < 20 && y < 20 && a.at(x, y)) || (x >= 18 && y >= 10 && b.at(x - 18, y - 10)));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 38; ++x) ASSERT_EQ(maskBit(strip, x, y), both.at(x, y)) << x << "," << y;
  // No picture reduction for merged strips.
  EXPECT_EQ(striptest::decodeJpeg(strip->data, strip->dataSize, true).lumaQuant0, lumaQuant0(90));
  expectCloseInside(strip, both, 2.5, 24);
  for (const StripComponent &c : components_) {
    EXPECT_EQ(c.runs, nullptr);
    EXPECT_EQ(c.image, nullptr);
  }
}

TEST_F(CodeTest, RefusalsReleaseTheComponents) {
  struct Case {
    const char *name;
    int32_t status;
    const char *message;
  };
  const Case cases[] = {{"compression type", 12, "Invalid image compression type"},
                        {"image smaller than box", 10003, nullptr},
                        {"runs outside the box", 10003, nullptr}};
  for (const Case &cs : cases) {
    SCOPED_TRACE(cs.name);
    StripComponent &c = addComponent(disc(16, 16), 0, 0, kStripPicture);
    StripPage p = page();
    if (cs.status == 12) p.compressionType = 1;
    if (std::strcmp(cs.name, "image smaller than box") == 0) c.right = 16;
    if (std::strcmp(cs.name, "runs outside the box") == 0) c.right = c.bottom = 3;
    StripSource source{&c, 0, c.bottom, 0};
    EXPECT_EQ(imgCodeComponentStrip(&p, &source), cs.status);
    EXPECT_EQ(c.runs, nullptr);
    EXPECT_EQ(c.image, nullptr);
    EXPECT_EQ(strips_, nullptr);
    if (cs.message != nullptr) {
      EXPECT_NE(errors_.text().find(cs.message), std::string::npos);
    }
  }
}

TEST_F(CodeTest, FailureAtEveryAllocationLeavesNothing) {
  struct Case {
    const char *name;
    bool merged, rectangle;
    float scale;
  };
  const Case cases[] = {{"masked", false, false, 1.0f},
                        {"rectangle scaled", false, true, 2.0f},
                        {"merged", true, false, 1.0f}};
  for (const Case &cs : cases) {
    SCOPED_TRACE(cs.name);
    norvtest::failEachRequest([&](long) {
      StripComponent one{}, two{};
      if (!makeComponent(&one, disc(24, 18), 30, 40, kStripPicture)) return false;
      if (!makeComponent(&two, disc(12, 30), 50, 45, kStripPicture)) {
        state_->alloc.release(one.runs);
        QtzImage_free(one.image);
        return false;
      }
      StripSource sources[2] = {{&one, 40, 57, cs.rectangle ? uint8_t(1) : uint8_t(0)},
                                {&two, 45, 74, 0}};
      const StripPage p = page(100, 100, cs.scale, 80);
      const int32_t status = cs.merged ? imgCodeMergedStrip(&p, sources, 0, 1)
                                       : imgCodeComponentStrip(&p, &sources[0]);
      EXPECT_EQ(one.runs, nullptr);
      EXPECT_EQ(one.image, nullptr);
      if (!cs.merged) {
        state_->alloc.release(two.runs);
        QtzImage_free(two.image);
      }
      if (status != 0) {
        EXPECT_EQ(strips_ == nullptr ? 0 : strips_->count, 0);
      }
      imgFreeStrips(state_, &strips_);
      imgFreeJpegCompressor(state_, &compressor_);
      return status == 0;
    });
  }
}

// ---- The memory sink ----

TEST_F(StripTest, SinkGrowsByHalfOfTheNeededSize) {
  StripMemorySink sink{state_, static_cast<uint8_t *>(state_->alloc.allocate(10)), 0, 10};
  ASSERT_NE(sink.buffer, nullptr);
  std::vector<uint8_t> all;
  const struct {
    int length;
    int64_t capacity;
  } steps[] = {{8, 10}, {2, 10}, {6, 24}, {8, 24}, {1, 37}};
  for (const auto &s : steps) {
    std::vector<uint8_t> bytes(s.length);
    for (auto &v : bytes) v = uint8_t(all.size() + (&v - bytes.data()));
    int32_t written = -1;
    ASSERT_EQ(writeToMemorySink(nullptr, &sink, bytes.data(), s.length, &written), 0);
    all.insert(all.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(written, s.length);
    EXPECT_EQ(sink.used, int64_t(all.size()));
    EXPECT_EQ(sink.capacity, s.capacity);
  }
  EXPECT_EQ(std::memcmp(sink.buffer, all.data(), all.size()), 0);
  // A growth that fails leaves the sink as it was.
  const StripMemorySink before = sink;
  norvtest::heap.failAt = norvtest::heap.requests + 1;
  int32_t written = 0;
  std::vector<uint8_t> more(40, 7);
  EXPECT_EQ(writeToMemorySink(nullptr, &sink, more.data(), 40, &written), 1);
  norvtest::heap.failAt = -1;
  EXPECT_EQ(std::memcmp(&sink, &before, sizeof sink), 0);
  state_->alloc.release(sink.buffer);
}

}  // namespace
