// The clipboard members on a site that keeps what it is given: a selection's drawing equals the
// view scrolled to the selection's top-left, in both view modes and for a selection that starts
// on a page below the current one (found by its position); a whole page's drawing is the page alone
// at the view's zoom; no pages, pages outside the document and the results.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "clipboard_site.h"
#include "fake_document.h"
#include "gfx_memory_device.h"
#include "gfx_recording_device.h"
#include "norvview_ctrl.h"

namespace ctl {
namespace {

using ctl_test::ClipboardSite;
using ctl_test::FakeDocument;
using gfx::Rgb;

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override { control_.setSite(&site_); }
  FakeDocument &open(const std::vector<ctl_test::FakePageShape> &pages) {
    auto doc = std::make_unique<FakeDocument>(pages);
    FakeDocument &ref = *doc;
    control_.AttachDocument(std::move(doc), "fake");
    return ref;
  }
  int32_t call(int32_t id, std::vector<comp::Variant> args) {
    comp::Variant result;
    EXPECT_EQ(control_.invoke(id, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  }

  ClipboardSite site_;
  NorvviewCtrl control_;
};

TEST_F(ClipboardTest, SelectionIsThePaintedRectangle) {
  const std::vector<ctl_test::FakePageShape> shapes{{120, 60}, {90, 80}, {100, 50}};
  open(shapes);
  struct Case {
    int32_t mode;
    double zoom;
    int32_t scrollY;  // modal position of the view's top
    int32_t top, left, bottom, right;
  };
  const Case cases[] = {
      {0, 1.0, 0, 5, 7, 40, 60},      // within the current page
      {0, 1.0, 20, 30, 10, 120, 80},  // reaching over the gap onto the next page
      {0, 1.0, 0, 75, 0, 140, 99},    // starting on the second page: found by position
      {0, 0.5, 0, 45, 3, 70, 40},     // the same at half size
      {1, 1.0, 10, 2, 4, 30, 50},     // single page
  };
  const int32_t W = 150, H = 200;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " zoom " << c.zoom << " top " << c.top);
    control_.SetViewMode(c.mode);
    control_.SetZoomFactor(c.zoom);
    control_.SetCurrentPage(1);
    control_.SetPosition(0, c.scrollY);
    const uint32_t page = control_.currentIndex();
    // The view scrolled so that the selection's top-left is the view's: its first page is the
    // one under that position.
    const int32_t below = control_.GetPageForPosition(c.left, c.scrollY + c.top);
    NorvviewCtrl scrolled;
    scrolled.AttachDocument(std::make_unique<FakeDocument>(shapes), "fake");
    scrolled.SetViewMode(c.mode);
    scrolled.SetZoomFactor(c.zoom);
    scrolled.SetPosition(c.left, c.scrollY + c.top);
    if (c.mode == 0) {
      EXPECT_EQ(int32_t(scrolled.currentIndex()) + 1, below);
    }
    gfx::MemoryDevice screen(W, H);
    scrolled.OnDraw(&screen, gfx::Rect{0, 0, W, H}, gfx::Rect{0, 0, W, H});
    EXPECT_EQ(control_.currentIndex(), page);
    site_.calls = 0;
    EXPECT_EQ(
        call(kIdCopyToClipboardTLBR, {comp::Variant::i4(c.top), comp::Variant::i4(c.left),
                                      comp::Variant::i4(c.bottom), comp::Variant::i4(c.right)}),
        0);
    ASSERT_EQ(site_.calls, 1);
    ASSERT_EQ(site_.width, c.right - c.left + 1);
    ASSERT_EQ(site_.height, c.bottom - c.top + 1);
    int mismatches = 0;
    for (int32_t y = 0; y < site_.height; ++y)
      for (int32_t x = 0; x < site_.width; ++x)
        mismatches += site_.pixels[size_t(y) * site_.width + x] != screen.pixel(x, y);
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(ClipboardTest, WholePageAndNothingToCopy) {
  EXPECT_EQ(call(kIdCopyPageToClipboard, {comp::Variant::i4(1)}), -1);
  EXPECT_EQ(call(kIdCopyToClipboardTLBR, {comp::Variant::i4(0), comp::Variant::i4(0),
                                          comp::Variant::i4(9), comp::Variant::i4(9)}),
            0);
  EXPECT_EQ(site_.calls, 0);

  FakeDocument &doc = open({{40, 30}, {50, 20}});
  for (int32_t page : {0, 3, -1})
    EXPECT_EQ(call(kIdCopyPageToClipboard, {comp::Variant::i4(page)}), 0);
  EXPECT_EQ(site_.calls, 0);

  control_.SetZoomFactor(0.5);
  control_.SetOrientation(90);
  EXPECT_EQ(call(kIdCopyPageToClipboard, {comp::Variant::i4(2)}), 0);
  ASSERT_EQ(site_.calls, 1);
  EXPECT_EQ(site_.width, 10);  // turned: 20 x 50 at half size
  EXPECT_EQ(site_.height, 25);
  // The page alone: its zoomed render turned clockwise, no background.
  DibImgBuf render;
  ASSERT_TRUE(doc.page(1).Render(&render, Rect{0, 0, 25, 10}, 2.0, 0));
  int mismatches = 0;
  for (int32_t y = 0; y < 25; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      // Clockwise: picture (x, y) shows page (y, h - 1 - x).
      const uint8_t *row = render.GetData() + uint64_t{render.GetStride()} * (9 - x);
      const Rgb want = gfx::rgb(row[3 * y + 2], row[3 * y + 1], row[3 * y]);
      mismatches += site_.pixels[size_t(y) * 10 + x] != want;
    }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace ctl
