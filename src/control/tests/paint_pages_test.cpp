// Painting on the memory device: golden images composed from the pages' own whole-page renders
// by the layout rule (pages below each other with the gap, the drop shadow, BackColor around)
// at several zooms, orientations, scroll positions, gaps and both view modes, with whole-page
// and partial cache entries; a real plain TIFF document the same way; the cache's reuse and
// re-render rules, page pixels held above zoom 1, failed renders, the monochrome device, the
// metafile (flipped copies only) and the trim budget after each paint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "fake_document.h"
#include "gfx_memory_device.h"
#include "gfx_recording_device.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "tif_file.h"
#include "tiff_writer.h"

namespace ctl {
namespace {

using ctl_test::FakeDocument;
using ctl_test::FakePageShape;
using ctl_test::renderPixel;
using gfx::MemoryDevice;
using gfx::Rgb;

int64_t trunc64(double v) {
  return static_cast<int64_t>(v);
}

struct View {
  uint32_t page = 0;
  int32_t x = 0, y = 0;
  double zoom = 1;
  int32_t orientation = 0, mode = 0, gap = 10, layer = 0;
  uint32_t back = 0x00C08040;  // an OLE RGB colour: red 0x40, green 0x80, blue 0xC0
};

// The golden image: what the layout rule paints over a white device of w x h, with every page
// taken from its own whole-page render.
std::vector<Rgb> compose(TfxFile &doc, const View &v, int32_t w, int32_t h) {
  std::vector<Rgb> canvas(size_t(w) * h, 0xFFFFFF);
  const Rgb back = gfx::rgb(v.back & 0xFF, (v.back >> 8) & 0xFF, (v.back >> 16) & 0xFF);
  auto fill = [&](int64_t l, int64_t t, int64_t r, int64_t b, Rgb c) {
    for (int64_t yy = std::max<int64_t>(t, 0); yy < std::min<int64_t>(b, h); ++yy)
      for (int64_t xx = std::max<int64_t>(l, 0); xx < std::min<int64_t>(r, w); ++xx)
        canvas[yy * w + xx] = c;
  };
  const int32_t count = doc.GetPageCount();
  const double z = v.zoom;
  const int64_t G = v.gap, s = std::min<int64_t>(G / 3, 10);
  struct Box {
    int64_t l, t, r, b;
    bool empty() const { return r <= l || b <= t; }
  };
  auto paintPage = [&](Box B, int32_t n, int64_t x, int64_t y) -> Box {
    if (B.empty()) return {0, 0, 0, 0};
    const LongPair size = doc.GetPageSize(n);
    const bool turned = v.orientation % 180 != 0;
    const int64_t ow = turned ? size.y : size.x, oh = turned ? size.x : size.y;
    const int64_t l = trunc64(x * z), t = trunc64(y * z);
    int64_t sw = std::clamp<int64_t>(trunc64(ow * z) - l, 0, B.r - B.l);
    int64_t sh = std::clamp<int64_t>(trunc64(oh * z) - t, 0, B.b - B.t);
    if (sw == 0 || sh == 0) sw = sh = 0;
    int64_t shownL = l, shownT = t;
    // Oriented pixel (ox, oy) of a page pw x ph (unrotated) turned clockwise.
    auto unturned = [&](int64_t ox, int64_t oy, int64_t pw,
                        int64_t ph) -> std::pair<int64_t, int64_t> {
      switch (v.orientation) {
        case 90:
          return {oy, ph - 1 - ox};
        case 180:
          return {pw - 1 - ox, ph - 1 - oy};
        case 270:
          return {pw - 1 - oy, ox};
        default:
          return {ox, oy};
      }
    };
    if (sw > 0) {
      DibImgBuf whole;
      if (z <= 1) {
        const int64_t zw = trunc64(size.x * z), zh = trunc64(size.y * z);
        EXPECT_TRUE(
            doc.GetPage(n)->Render(&whole, Rect{0, 0, int32_t(zw), int32_t(zh)}, 1 / z, v.layer));
        for (int64_t j = 0; j < sh; ++j)
          for (int64_t i = 0; i < sw; ++i) {
            auto [X, Y] = unturned(l + i, t + j, zw, zh);
            canvas[(B.t + j) * w + B.l + i] = renderPixel(whole, X, Y);
          }
      } else {
        const int64_t l1 = trunc64(l * (1 / z)), t1 = trunc64(t * (1 / z));
        const int64_t r1 = trunc64((l + sw) * (1 / z)), b1 = trunc64((t + sh) * (1 / z));
        shownL = trunc64(l1 * z);
        shownT = trunc64(t1 * z);
        if (r1 > l1 && b1 > t1) {
          EXPECT_TRUE(doc.GetPage(n)->Render(&whole, Rect{0, 0, int32_t(size.x), int32_t(size.y)},
                                             1.0, v.layer));
          for (int64_t j = 0; j < sh; ++j)
            for (int64_t i = 0; i < sw; ++i) {
              auto [X, Y] =
                  unturned(l1 + i * (r1 - l1) / sw, t1 + j * (b1 - t1) / sh, size.x, size.y);
              canvas[(B.t + j) * w + B.l + i] = renderPixel(whole, X, Y);
            }
        }
      }
    }
    // Background right of and below the page; in continuous view the shadow strips, s + 1
    // pixels wide, against the right and bottom edges, starting s pixels in from the top and
    // left edges of the page.
    fill(B.l + sw, B.t, B.r, B.t + sh + 1, back);
    if (v.mode == 0)
      fill(B.l + sw, B.t + std::max<int64_t>(s - shownT, 0), std::min(B.r - 1, B.l + sw + s) + 1,
           B.t + sh + 1, 0x181818);
    fill(B.l, B.t + sh, B.r, std::min(B.b - 1, B.t + sh + G) + 1, back);
    if (v.mode == 0)
      fill(B.l + std::max<int64_t>(s - shownL, 0), B.t + sh, B.l + sw + s + 1,
           std::min(B.b - 1, B.t + sh + s) + 1, 0x181818);
    return {B.l, B.t + sh + G + 1, B.r, B.b};
  };
  Box rest = paintPage({0, 0, w, h}, int32_t(v.page), v.x, v.y);
  for (int32_t i = int32_t(v.page) + 1; v.mode == 0 && i < count && !rest.empty(); ++i)
    rest = paintPage(rest, i, v.x, 0);
  if (!rest.empty()) fill(rest.l, rest.t, rest.r, rest.b, back);
  return canvas;
}

class PaintTest : public ::testing::Test {
 protected:
  FakeDocument &open(const std::vector<FakePageShape> &pages) {
    auto doc = std::make_unique<FakeDocument>(pages);
    FakeDocument &ref = *doc;
    control_.AttachDocument(std::move(doc), "fake");
    return ref;
  }
  void apply(const View &v) {
    control_.SetZoomFactor(v.zoom);
    control_.SetOrientation(v.orientation);
    control_.SetViewMode(v.mode);
    control_.SetPageBreakSpace(v.gap);
    control_.SetLayer(v.layer);
    control_.SetBackColor(v.back);
    control_.SetCurrentPage(1);
    control_.SetCurrentPage(int32_t(v.page) + 1);
    // Offsets in page pixels through the modal position of the current page.
    control_.SetOrientationAndPagePosition(v.orientation, 0, 0);
    control_.Pan(0, 0);
    control_.Pan(int32_t(std::lround(v.x * v.zoom)), int32_t(std::lround(v.y * v.zoom)));
  }
  std::vector<Rgb> paint(int32_t w, int32_t h, gfx::Device *device = nullptr) {
    MemoryDevice memory(w, h);
    control_.OnDraw(device != nullptr ? device : &memory, gfx::Rect{0, 0, w, h},
                    gfx::Rect{0, 0, w, h});
    return memory.pixels();
  }
  // The pages outside first ... end hold no more than the extra budget, within half of one page
  // (a page before the painted ones stays while half of it fits).
  void expectWithinBudget(uint32_t first, uint32_t end) {
    uint64_t outside = 0, largest = 0;
    for (int32_t i = 0; i < control_.NumPages(); ++i) {
      if (!control_.IsPageCached(i)) continue;
      const uint64_t bytes = control_.pageList()[i]->GetBitmapBytes();
      largest = std::max(largest, bytes);
      if (uint32_t(i) < first || uint32_t(i) > end) outside += bytes;
    }
    EXPECT_LE(outside, uint64_t(control_.ExtraPageCacheSize()) * 1048576 + largest / 2);
  }

  NorvviewCtrl control_;
};

TEST_F(PaintTest, GoldenImagesOfTheLayout) {
  const std::vector<FakePageShape> pages = {{40, 30}, {25, 52, 1}, {61, 20}, {33, 33}};
  struct Case {
    View view;
    int32_t threshold;
  };
  std::vector<Case> cases;
  const std::pair<double, int32_t> zooms[] = {{1.0, 0}, {0.5, 20}, {0.37, 0}, {0.999, 20},
                                              {2.5, 0}, {3.0, 20}, {1.7, 20}};
  for (auto [zoom, threshold] : zooms)
    for (int32_t o : {0, 90, 180, 270})
      for (int32_t mode : {0, 1}) {
        View v;
        v.zoom = zoom;
        v.orientation = o;
        v.mode = mode;
        cases.push_back({v, threshold});
      }
  // Scroll positions, gaps and a mask layer.
  for (auto [page, x, y, gap] : {std::tuple{0u, 7, 11, 0},
                                 {1u, 3, 20, 4},
                                 {2u, 0, 19, 40},
                                 {3u, 30, 30, 10},
                                 {1u, 50, 24, 31}}) {
    for (double zoom : {0.8, 1.0, 2.0}) {
      View v;
      v.page = page;
      v.x = x;
      v.y = y;
      v.gap = gap;
      v.zoom = zoom;
      v.orientation = page % 2 ? 90 : 0;
      cases.push_back({v, int32_t(page % 2) * 20});
    }
  }
  View mask;
  mask.layer = 2;
  mask.zoom = 0.6;
  cases.push_back({mask, 20});
  for (const Case &c : cases) {
    const View &v = c.view;
    SCOPED_TRACE(testing::Message() << "page " << v.page << " (" << v.x << ", " << v.y << ") zoom "
                                    << v.zoom << " o " << v.orientation << " mode " << v.mode
                                    << " gap " << v.gap << " threshold " << c.threshold);
    FakeDocument &doc = open(pages);
    control_.SetFullPageCacheThreshold(c.threshold);
    apply(v);
    ASSERT_EQ(control_.currentIndex(), v.page);
    View reached = v;
    reached.x = control_.xOffset();
    reached.y = control_.yOffset();
    const std::vector<Rgb> golden = compose(doc, reached, 90, 140);
    EXPECT_EQ(paint(90, 140), golden);
    // A second paint reuses the cache and gives the same pixels.
    EXPECT_EQ(paint(90, 140), golden);
  }
}

// The layout's edge cases read off the picture: with no gap the pages are one shadow row apart;
// a gap of 30 or more gives strips 11 pixels wide; one-page view shows no shadow.
TEST_F(PaintTest, GapAndShadowEdgeCases) {
  FakeDocument &doc = open({{20, 10}, {20, 10}});
  control_.SetZoomFactor(1.0);
  control_.SetBackColor(0x00A0A0A0);
  control_.SetPageBreakSpace(0);
  std::vector<Rgb> p = paint(40, 40);
  auto at = [&](int32_t x, int32_t y) { return p[y * 40 + x]; };
  for (int32_t x = 0; x <= 20; ++x) EXPECT_EQ(at(x, 10), 0x181818u) << x;
  EXPECT_EQ(at(0, 11), doc.page(1).colourAt(0, 0, 1000, 0));  // the next page, 1 row below
  EXPECT_EQ(at(20, 0), 0x181818u);                            // right strip 1 pixel wide
  EXPECT_EQ(at(21, 0), 0xA0A0A0u);
  control_.SetPageBreakSpace(30);
  p = paint(40, 60);
  for (int32_t x = 20; x <= 30; ++x) EXPECT_EQ(p[15 * 40 + x], x < 20 ? 0u : 0x181818u) << x;
  EXPECT_EQ(p[15 * 40 + 31], 0xA0A0A0u);
  EXPECT_EQ(p[9 * 40 + 25], 0xA0A0A0u);  // the right strip starts 10 rows down the page
  EXPECT_EQ(p[10 * 40 + 25], 0x181818u);
  EXPECT_EQ(p[41 * 40 + 0], doc.page(1).colourAt(0, 0, 1000, 0));  // G + 1 rows below
  control_.SetViewMode(1);
  p = paint(40, 60);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 40; ++x)
      if (x >= 20 || y >= 10) {
        ASSERT_EQ(p[y * 40 + x], 0xA0A0A0u) << x << "," << y;
      }
}

TEST_F(PaintTest, RealTiffPagesComposeTheSameWay) {
  norvtest::TempDir dir("paint");
  ASSERT_TRUE(dir.made());
  const std::string path = dir.file("scan.tif");
  ctl_test::writeTiff(path,
                      {{37, 29, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                       {23, 41, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE}},
                      false);
  control_.SetFileName(path);
  ASSERT_EQ(control_.NumPages(), 2);
  TifFile reference(path.c_str());
  for (double zoom : {0.5, 1.0, 2.0})
    for (int32_t o : {0, 270}) {
      SCOPED_TRACE(testing::Message() << zoom << " " << o);
      View v;
      v.zoom = zoom;
      v.orientation = o;
      v.y = 5;
      apply(v);
      v.y = control_.yOffset();
      EXPECT_EQ(paint(60, 90), compose(reference, v, 60, 90));
    }
}

TEST_F(PaintTest, NoDocumentFillsBackColor) {
  control_.SetBackColor(0x80000005u);  // the window colour
  MemoryDevice device(9, 7);
  device.fillRect(gfx::Rect{0, 0, 9, 7}, 0x123456);
  control_.OnDraw(&device, gfx::Rect{1, 1, 8, 6}, gfx::Rect{});
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 9; ++x)
      EXPECT_EQ(device.pixel(x, y), x >= 1 && x < 8 && y >= 1 && y < 6 ? 0xFFFFFFu : 0x123456u);
  control_.OnDraw(nullptr, gfx::Rect{0, 0, 9, 7}, gfx::Rect{});  // no device: nothing
}

TEST_F(PaintTest, CacheReuseAndRerender) {
  FakeDocument &doc = open({{200, 300}});
  control_.SetZoomFactor(0.5);
  control_.SetFullPageCacheThreshold(20);
  paint(40, 40);
  const NorvviewCtrl::Page &entry = *control_.pageList()[0];
  EXPECT_EQ(doc.page(0).renders, 1);
  EXPECT_EQ(entry.held, (Rect{0, 0, 100, 150}));  // the whole zoomed page
  control_.Pan(30, 60);
  paint(40, 40);
  EXPECT_EQ(doc.page(0).renders, 1);  // scrolling inside a whole-page bitmap
  // Partial entries: only the visible part, rendered again when the view leaves it.
  control_.SetFullPageCacheThreshold(0);
  control_.SetZoomFactor(0.25);  // releases every bitmap
  EXPECT_EQ(entry.GetBitmapBytes(), 0u);
  paint(20, 20);
  EXPECT_EQ(doc.page(0).renders, 2);
  EXPECT_EQ(entry.held, (Rect{15, 30, 35, 50}));
  paint(20, 20);
  EXPECT_EQ(doc.page(0).renders, 2);
  control_.Pan(4, 0);
  paint(20, 20);
  EXPECT_EQ(doc.page(0).renders, 3);
  // Layer and orientation changes render again through the reuse test.
  control_.SetLayer(1);
  paint(20, 20);
  EXPECT_EQ(doc.page(0).renders, 4);
  // Above zoom 1 the entry holds page pixels at scale 1.
  control_.SetFullPageCacheThreshold(20);
  control_.SetZoomFactor(4.0);
  paint(40, 40);
  EXPECT_EQ(doc.page(0).lastScale, 1.0);
  EXPECT_EQ(entry.heldZoom, 1.0);
  EXPECT_EQ(entry.held, (Rect{0, 0, 200, 300}));
}

TEST_F(PaintTest, DepthRules) {
  FakeDocument &doc = open({{64, 48, 1}, {64, 48, 24}});
  control_.SetViewMode(1);
  struct Case {
    double zoom;
    int32_t layer, page;
    int32_t depth;
  };
  // A 1-bit page is 1 bit at exactly 1.0 and grey away from it; a mask layer is 1 bit.
  for (const Case &c : {Case{1.0, 0, 1, 1},
                        {0.999, 0, 1, 8},
                        {2.0, 0, 1, 1},
                        {0.5, 0, 2, 24},
                        {0.5, 2, 2, 1},
                        {0.5, 2, 1, 1}}) {
    SCOPED_TRACE(testing::Message() << c.zoom << " " << c.layer << " " << c.page);
    control_.SetZoomFactor(c.zoom);
    control_.SetLayer(c.layer);
    control_.SetCurrentPage(c.page);
    paint(30, 30);
    EXPECT_EQ(control_.pageList()[c.page - 1]->heldDepth, c.depth);
  }
  // The estimate counts a 1-bit page below zoom 1 at 8 bits, and saturates in 64 bits.
  const NorvviewCtrl::Page &one = *control_.pageList()[0];
  EXPECT_EQ(one.EstimateBitmapBytes(0.5, 8), 32u * 24u);
  EXPECT_EQ(one.EstimateBitmapBytes(1.0, 8), 64u * 48u / 8u);
  EXPECT_EQ(one.EstimateBitmapBytes(10.0, 24), 64u * 48u / 8u);
  NorvviewCtrl::Page huge(0, nullptr);
  EXPECT_EQ(huge.EstimateBitmapBytes(1.0, 24), 0u);
  FakeDocument big({{0xFFFFFFFFll, 0xFFFFFFFFll, 32}});
  NorvviewCtrl::Page bigPage(0, &big);
  EXPECT_EQ(bigPage.EstimateBitmapBytes(10.0, 32), UINT64_MAX);
  EXPECT_EQ(bigPage.EstimateBitmapBytes(10.0, 24), UINT64_MAX);
  EXPECT_EQ(bigPage.EstimateBitmapBytes(0.5, 8), UINT64_MAX);
  // A letter page at 1200 dpi: its bits pass 2^31, its bytes are exact.
  FakeDocument letter({{10200, 13200, 24}});
  EXPECT_EQ(NorvviewCtrl::Page(0, &letter).EstimateBitmapBytes(10.0, 24), 10200ull * 13200 * 3);
  (void)doc;
}

// A 600 dpi letter page at zoom 10: the cache holds the page's own pixels (never the zoomed
// page) and the painted pixels follow the rule.
TEST_F(PaintTest, ZoomTenOnA600DpiPage) {
  FakeDocument &doc = open({{5100, 6600}});
  control_.SetZoomFactor(10.0);
  control_.SetFullPageCacheThreshold(0);
  control_.SetBackColor(0x00112233);
  control_.SetPosition(25000, 33000);
  View v;
  v.zoom = 10;
  v.x = control_.xOffset();
  v.y = control_.yOffset();
  v.back = 0x00112233;
  EXPECT_EQ(paint(64, 48), compose(doc, v, 64, 48));
  const NorvviewCtrl::Page &entry = *control_.pageList()[0];
  EXPECT_LE(entry.GetBitmapBytes(), 8u * 6u * 4u);
  EXPECT_EQ(entry.held.left, 2500);
  EXPECT_EQ(doc.page(0).lastScale, 1.0);
}

// Whatever the threshold, a page whose whole bitmap would pass the 4 GB of one bitmap is
// rendered only for its visible part.
TEST_F(PaintTest, WholePageBitmapsStayWithinOneBitmap) {
  FakeDocument &doc = open({{40000, 40000}});  // 4.8 GB at 24 bits
  control_.SetFullPageCacheThreshold(INT32_MAX);
  control_.SetZoomFactor(1.0);
  control_.SetViewMode(1);
  control_.SetPosition(30000, 20000);
  const std::vector<Rgb> painted = paint(32, 24);
  const NorvviewCtrl::Page &entry = *control_.pageList()[0];
  EXPECT_EQ(entry.held, (Rect{30000, 20000, 30032, 20024}));
  EXPECT_EQ(doc.page(0).renders, 1);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 32; ++x)
      ASSERT_EQ(painted[y * 32 + x], doc.page(0).colourAt(30000 + x, 20000 + y, 1000, 0));
}

TEST_F(PaintTest, FailedRenderFillsBackColor) {
  FakeDocument &doc = open({{50, 40}});
  control_.SetZoomFactor(1.0);
  control_.SetViewMode(1);
  control_.SetBackColor(0x0000FF);  // red
  doc.page(0).failing = true;
  MemoryDevice device(30, 30);
  control_.OnDraw(&device, gfx::Rect{0, 0, 30, 30}, gfx::Rect{});
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(device.pixel(x, y), 0xFF0000u) << x << "," << y;
  const NorvviewCtrl::Page &entry = *control_.pageList()[0];
  EXPECT_EQ(entry.GetBitmapBytes(), 0u);
  EXPECT_EQ(entry.held, Rect{});
  // The next paint renders again instead of taking the failed bitmap.
  doc.page(0).failing = false;
  View v;
  v.mode = 1;
  v.back = 0x0000FF;
  const std::vector<Rgb> painted = paint(30, 30);
  EXPECT_EQ(doc.page(0).renders, 2);
  EXPECT_EQ(painted, compose(doc, v, 30, 30));
}

TEST_F(PaintTest, MonochromeDeviceRendersConverted) {
  FakeDocument &doc = open({{50, 40}});
  control_.SetZoomFactor(0.5);
  MemoryDevice mono(30, 30, 1, 2);
  control_.OnDraw(&mono, gfx::Rect{0, 0, 30, 30}, gfx::Rect{});
  EXPECT_EQ(doc.page(0).convertedRenders, 1);
  EXPECT_EQ(control_.pageList()[0]->heldDepth, 1);
  MemoryDevice colour(30, 30, 1, -1);  // 1 bit per pixel but no colour count: not monochrome
  control_.OnDraw(&colour, gfx::Rect{0, 0, 30, 30}, gfx::Rect{});
  EXPECT_EQ(doc.page(0).convertedRenders, 1);
  EXPECT_EQ(control_.pageList()[0]->heldDepth, 24);
}

TEST_F(PaintTest, MetafileDrawsFlippedCopies) {
  for (int32_t o : {0, 90}) {
    for (double zoom : {0.5, 2.0}) {
      SCOPED_TRACE(testing::Message() << o << " " << zoom);
      open({{50, 40}, {30, 20}});
      View v;
      v.zoom = zoom;
      v.orientation = o;
      apply(v);
      const std::vector<Rgb> direct = paint(60, 80);
      const NorvviewCtrl::Page &entry = *control_.pageList()[0];
      ASSERT_LT(entry.bitmap.headerHeight(), 0);
      const std::vector<uint8_t> before(entry.bitmap.GetData(),
                                        entry.bitmap.GetData() + entry.bitmap.length());
      gfx::RecordingDevice metafile(gfx::Caps{60, 80});
      control_.OnDraw(&metafile, gfx::Rect{0, 0, 60, 80}, gfx::Rect{});
      // The cache is unchanged: still top-down, the same bytes.
      EXPECT_LT(entry.bitmap.headerHeight(), 0);
      EXPECT_EQ(std::vector<uint8_t>(entry.bitmap.GetData(),
                                     entry.bitmap.GetData() + entry.bitmap.length()),
                before);
      // The metafile holds bottom-up bitmaps and replays to the same pixels.
      for (const auto &call : metafile.calls())
        if (call.kind == gfx::RecordingDevice::Call::Kind::Dib) {
          ASSERT_GE(call.info.size(), 12u);
          EXPECT_EQ(call.info[11] & 0x80, 0);
        }
      MemoryDevice replayed(60, 80);
      metafile.replay(replayed);
      EXPECT_EQ(replayed.pixels(), direct);
    }
  }
}

// The pages kept by the trim rule, written out: before the painted pages while half of a page
// fits, after them while the whole page fits, then before again with what is left.
std::vector<bool> keptByTrim(const std::vector<uint64_t> &bytes, uint32_t s, uint32_t e,
                             int32_t extraMegabytes) {
  const int64_t n = int64_t(bytes.size());
  const double half = extraMegabytes * 1048576.0 / 2;
  double b = half;
  int64_t lo = s, hi = e;
  for (; lo > 0 && b > 0 && bytes[lo - 1] * 0.5 < b; --lo) b -= double(bytes[lo - 1]);
  double f = half + b;
  for (; hi < n - 1 && f > 0 && double(bytes[hi + 1]) < f; ++hi) f -= double(bytes[hi + 1]);
  for (; lo > 0 && f > 0 && double(bytes[lo - 1]) < f; --lo) f -= double(bytes[lo - 1]);
  std::vector<bool> kept(bytes.size());
  for (int64_t i = 0; i < n; ++i) kept[i] = i >= lo && i <= hi;
  return kept;
}

TEST_F(PaintTest, TrimKeepsTheBudgetAfterEachPaint) {
  // Pages of 0.5 MB to 0.8 MB at zoom 1 and 24 bits.
  std::vector<FakePageShape> pages;
  for (int32_t i = 0; i < 9; ++i) pages.push_back({400 + 40 * (i % 4), 440 + 25 * (i % 3)});
  for (int32_t extra : {0, 1, 2, 3}) {
    SCOPED_TRACE(extra);
    open(pages);
    control_.SetZoomFactor(1.0);
    control_.SetExtraPageCacheSize(extra);
    control_.SetPageBreakSpace(5);
    // Scroll down the document and back up, painting a view of 120 x 300 each time.
    std::vector<int32_t> ys;
    for (int32_t y = 0; y < control_.GetTotalHeight(); y += 230) ys.push_back(y);
    for (int32_t k = int32_t(ys.size()) - 1; k >= 0; k -= 2) ys.push_back(ys[k]);
    for (int32_t y : ys) {
      control_.SetYPosition(y);
      paint(120, 300);
      // The pages painted: s, and each next one while the view has room below G + 1 rows.
      const uint32_t s = control_.currentIndex();
      uint32_t e = s + 1;
      for (int64_t room = 300 - std::max<int64_t>(pages[s].height - control_.yOffset(), 0) - 6;
           room > 0 && e < pages.size();)
        room -= pages[e++].height + 6;
      expectWithinBudget(s, e);
      for (uint32_t i = s; i < e; ++i) EXPECT_GT(control_.pageList()[i]->GetBitmapBytes(), 0u);
    }
  }
}

TEST_F(PaintTest, TrimRule) {
  std::vector<FakePageShape> pages;
  for (int32_t i = 0; i < 8; ++i) pages.push_back({300 + 90 * (i % 3), 400 + 60 * (i % 4)});
  for (int32_t extra : {0, 1, 2, 5}) {
    for (auto [s, e] : {std::pair{0u, 1u}, {3u, 4u}, {4u, 4u}, {7u, 8u}, {2u, 5u}, {6u, 7u}}) {
      SCOPED_TRACE(testing::Message() << extra << " " << s << " " << e);
      open(pages);
      control_.SetZoomFactor(1.0);
      control_.SetViewMode(1);
      control_.SetExtraPageCacheSize(100);
      std::vector<uint64_t> bytes;
      for (int32_t i = 0; i < 8; ++i) {
        control_.SetCurrentPage(i + 1);
        paint(10, 10);
      }
      for (int32_t i = 0; i < 8; ++i) bytes.push_back(control_.pageList()[i]->GetBitmapBytes());
      control_.SetExtraPageCacheSize(extra);
      control_.TrimPageCache(s, e);
      const std::vector<bool> kept = keptByTrim(bytes, s, e, extra);
      for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(control_.pageList()[i]->GetBitmapBytes(), kept[i] ? bytes[i] : 0u) << i;
        EXPECT_TRUE(control_.IsPageCached(i));  // entries are never deleted
      }
    }
  }
  control_.TrimPageCache(8, 9);  // past the page count: nothing
}

}  // namespace
}  // namespace ctl
