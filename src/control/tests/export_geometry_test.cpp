// TIFF-FX pages through the control's outputs: the BMP file, the clipboard's drawing and the
// printed page carry exactly the page's pixels at the zoom asked: the size trunc(W x z) by
// trunc(H x z) and, pixel for pixel, the page's own render. A TIFF-FX render buffer is padded
// (image-core rows are whole 32-bit words with rows added below, 24-bit rows are 8 bytes), and
// none of that padding may reach an output.
#include <gtest/gtest.h>

#include <array>

#include "clipboard_site.h"
#include "fake_document.h"
#include "gfx_device_handles.h"
#include "gfx_memory_device.h"
#include "gfx_recording_device.h"
#include "mrc_file.h"
#include "norvview_ctrl.h"
#include "page_fixtures.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"

namespace ctl {
namespace {

using ctl_test::pnmPixel;
using ctl_test::renderPixel;

class ExportGeometryTest : public ctl_test::ColourPagesTest {
 protected:
  void SetUp() override {
    ctl_test::ColourPagesTest::SetUp();
    control_.setSite(&site_);
    comp::Variant result;
    const std::array name{comp::Variant::bstr(path.path())};
    ASSERT_EQ(control_.invoke(kIdFileName, comp::kPropPut, name, &result), comp::S_OK);
    ASSERT_EQ(control_.NumPages(), 2);
  }
  int32_t call(int32_t id, std::vector<comp::Variant> args) {
    comp::Variant result;
    EXPECT_EQ(control_.invoke(id, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  }
  // The page's own render of the whole page at zoom z, and its size.
  Extent expected(int32_t page, int32_t layer, double z, DibImgBuf *render) {
    MrcFile file(path.path());
    const Extent size{static_cast<int32_t>(kWidth * z), static_cast<int32_t>(kHeight * z)};
    EXPECT_TRUE(
        file.GetPage(page)->Render(render, Rect{0, 0, size.width, size.height}, 1.0 / z, layer));
    return size;
  }

  ctl_test::ClipboardSite site_;
  NorvviewCtrl control_;
};

struct Case {
  int32_t page, layer;
  double zoom;
};
// Whole colour pages (24 bits; at 0.75 the 540-byte rows are padded to 544), a mask at 1:1
// (1 bit, 240 pixels in 256-pixel rows) and reduced (8-bit grey), the background and the
// foreground at odd zooms.
constexpr Case kCases[] = {{0, 0, 1.0}, {1, 0, 0.75}, {1, 2, 1.0}, {1, 2, 0.7},
                           {0, 1, 0.3}, {1, 3, 0.55}, {0, 0, 0.45}};

std::string describe(const Case &c) {
  return testing::PrintToString(c.page) + " layer " + testing::PrintToString(c.layer) + " zoom " +
         testing::PrintToString(c.zoom);
}

TEST_F(ExportGeometryTest, BmpFilesHoldThePagesPixelsAlone) {
  if (!norvtest::toolAvailable("bmptopnm")) GTEST_SKIP() << "bmptopnm is not installed";
  norvtest::TempDir dir("geometry");
  ASSERT_TRUE(dir.made());
  for (const Case &c : kCases) {
    SCOPED_TRACE(describe(c));
    DibImgBuf render;
    const Extent size = expected(c.page, c.layer, c.zoom, &render);
    const std::string file = dir.file("page.bmp");
    ASSERT_EQ(call(kIdSavePageAsBmp, {comp::Variant::bstr(file), comp::Variant::i4(c.page + 1),
                                      comp::Variant::i4(c.layer), comp::Variant::r8(c.zoom)}),
              0);
    const norvtest::ToolRun run = norvtest::runTool("bmptopnm " + norvtest::shellQuote(file));
    ASSERT_EQ(run.status, 0) << run.errors;
    const norvtest::Pnm pnm = norvtest::parsePnm(run.output);
    ASSERT_TRUE(pnm.valid());
    ASSERT_EQ(pnm.width, size.width);
    ASSERT_EQ(pnm.height, size.height);
    int mismatches = 0;
    for (int32_t y = 0; y < size.height; ++y)
      for (int32_t x = 0; x < size.width; ++x)
        mismatches += pnmPixel(pnm, x, y) != renderPixel(render, x, y);
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(ExportGeometryTest, ClipboardPagesHoldThePagesPixelsAlone) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(describe(c));
    DibImgBuf render;
    const Extent size = expected(c.page, c.layer, c.zoom, &render);
    comp::Variant result;
    control_.SetZoomFactor(c.zoom);
    control_.SetLayer(c.layer);
    ASSERT_EQ(call(kIdCopyPageToClipboard, {comp::Variant::i4(c.page + 1)}), 0);
    ASSERT_EQ((Extent{site_.width, site_.height}), size);
    int mismatches = 0;
    for (int32_t y = 0; y < size.height; ++y)
      for (int32_t x = 0; x < size.width; ++x)
        mismatches +=
            site_.pixels[static_cast<size_t>(y) * size.width + x] != renderPixel(render, x, y);
    EXPECT_EQ(mismatches, 0);
  }
}

// A printer two pixels larger than the page each way prints it at 1:1 (within 2 %): the page's
// pixels, and white beside and below them.
TEST_F(ExportGeometryTest, PrintedPagesHoldThePagesPixelsAlone) {
  constexpr int32_t kMargin = 2;
  for (int32_t page : {0, 1}) {
    for (int32_t layer : {0, 2}) {
      SCOPED_TRACE(describe(Case{page, layer, 1.0}));
      DibImgBuf render;
      const Extent size = expected(page, layer, 1.0, &render);
      gfx::MemoryDevice printer(size.width + kMargin, size.height + kMargin);
      gfx::DeviceHandle handle(&printer);
      ASSERT_EQ(
          call(kIdPrintLayerFromTo, {comp::Variant::i4(handle.get()), comp::Variant::i4(layer),
                                     comp::Variant::i4(page + 1), comp::Variant::i4(page + 1)}),
          0);
      int mismatches = 0;
      for (int32_t y = 0; y < printer.height(); ++y)
        for (int32_t x = 0; x < printer.width(); ++x) {
          const bool inside = x < size.width && y < size.height;
          mismatches += printer.pixel(x, y) != (inside ? renderPixel(render, x, y) : 0xFFFFFFu);
        }
      EXPECT_EQ(mismatches, 0);
    }
  }
}

// A black bilevel page whose sides are no multiples of the reduction blocks, exported and
// copied at reduced zooms: the size trunc(W x z) by trunc(H x z), every pixel black up to the
// last row and column (a block reaching past the page's edge must not average the white
// outside into it), and the window painting the same pixels.
TEST(ReducedExportTest, OddSizedBlackPagesStayBlackToTheirEdges) {
  if (!norvtest::toolAvailable("bmptopnm")) GTEST_SKIP() << "bmptopnm is not installed";
  struct Case {
    int32_t width, height;
    double zoom;
  };
  // Reductions by 2 with a half block left over at the bottom or the right, and by 8 with a
  // few columns over.
  constexpr Case kReduced[] = {{801, 401, 0.4692}, {801, 401, 0.7705}, {203, 97, 0.0893},
                               {203, 97, 0.2858},  {130, 61, 0.1024},  {130, 61, 0.1155}};
  norvtest::TempDir dir("reduced");
  ASSERT_TRUE(dir.made());
  for (const Case &c : kReduced) {
    SCOPED_TRACE(testing::PrintToString(c.width) + " x " + testing::PrintToString(c.height) +
                 " zoom " + testing::PrintToString(c.zoom));
    ctl_test::Bits ink(c.width, c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) ink.set(x, y, 1);
    ctl_test::IfdPlan mask;
    mask.layer = 2;
    mask.colourKind = 1;
    mask.width = static_cast<uint32_t>(c.width);
    mask.height = static_cast<uint32_t>(c.height);
    mask.bits = ctl_test::kG4Bits;
    mask.strips.push_back(ctl_test::g4Strip(ink));
    const std::string tfx = dir.file("black.tfx");
    ctl_test::writeMrc(tfx, 7, {{mask}});
    ctl_test::ClipboardSite site;
    NorvviewCtrl control;
    control.setSite(&site);
    control.SetFileName(tfx);
    ASSERT_EQ(control.NumPages(), 1);
    control.SetZoomFactor(c.zoom);
    const Extent size{static_cast<int32_t>(c.width * c.zoom),
                      static_cast<int32_t>(c.height * c.zoom)};

    const std::string file = dir.file("page.bmp");
    comp::Variant result;
    const std::array save{comp::Variant::bstr(file), comp::Variant::i4(1), comp::Variant::i4(0),
                          comp::Variant::r8(c.zoom)};
    ASSERT_EQ(control.invoke(kIdSavePageAsBmp, comp::kMethod, save, &result), comp::S_OK);
    const norvtest::ToolRun run = norvtest::runTool("bmptopnm " + norvtest::shellQuote(file));
    ASSERT_EQ(run.status, 0) << run.errors;
    const norvtest::Pnm pnm = norvtest::parsePnm(run.output);
    ASSERT_TRUE(pnm.valid());
    ASSERT_EQ((Extent{pnm.width, pnm.height}), size);
    const std::array copy{comp::Variant::i4(1)};
    ASSERT_EQ(control.invoke(kIdCopyPageToClipboard, comp::kMethod, copy, &result), comp::S_OK);
    ASSERT_EQ((Extent{site.width, site.height}), size);
    gfx::MemoryDevice window(size.width + 4, size.height + 4);
    control.OnDraw(&window, gfx::Rect{0, 0, window.width(), window.height()},
                   gfx::Rect{0, 0, window.width(), window.height()});

    int notBlack = 0, differing = 0;
    for (int32_t y = 0; y < size.height; ++y)
      for (int32_t x = 0; x < size.width; ++x) {
        const uint32_t exported = pnmPixel(pnm, x, y);
        notBlack += exported != 0;
        differing += site.pixels[static_cast<size_t>(y) * size.width + x] != exported ||
                     window.pixel(x, y) != exported;
      }
    EXPECT_EQ(notBlack, 0);
    EXPECT_EQ(differing, 0);
  }
}

}  // namespace
}  // namespace ctl
