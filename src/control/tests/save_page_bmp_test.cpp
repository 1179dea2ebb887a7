// SavePageAsBmp: the written files, read back by an outside BMP reader, equal the page's own
// render at the export zoom and layer for 1-, 8- and 24-bit bitmaps and odd widths; the header
// fields and pixel offsets; zooms clamped to at most 1:1; pages outside the document, files
// that cannot be created, pages of unknown size and failed renders.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>

#include "fake_document.h"
#include "gfx_device.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "testkit_tools.h"

namespace ctl {
namespace {

using ctl_test::FakeDocument;
using ctl_test::pnmPixel;
using ctl_test::renderPixel;
using norvtest::Pnm;

uint32_t le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

class SaveBmpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!norvtest::toolAvailable("bmptopnm")) GTEST_SKIP() << "bmptopnm is not installed";
    ASSERT_TRUE(dir_.made());
  }
  FakeDocument &open(const std::vector<ctl_test::FakePageShape> &pages) {
    auto doc = std::make_unique<FakeDocument>(pages);
    FakeDocument &ref = *doc;
    control_.AttachDocument(std::move(doc), "fake");
    return ref;
  }
  // Calls the member through the dispatch interface, as the viewer does.
  int32_t save(const std::string &path, int32_t page, int32_t layer, double zoom) {
    comp::Variant result;
    const std::array args{comp::Variant::bstr(path), comp::Variant::i4(page),
                          comp::Variant::i4(layer), comp::Variant::r8(zoom)};
    EXPECT_EQ(control_.invoke(kIdSavePageAsBmp, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  }

  norvtest::TempDir dir_{"bmp"};
  NorvviewCtrl control_;
};

TEST_F(SaveBmpTest, FilesReadBackAsThePageRender) {
  struct Case {
    int64_t width, height;
    int32_t pageBpp, layer;
    double zoom;
    int32_t fileBpp;  // depth of the render, and so of the file
    double used;      // the zoom the export uses
  };
  const Case cases[] = {
      {37, 21, 1, 0, 1.0, 1, 1.0},    // 1 bit, width not a multiple of 8 or 32
      {64, 9, 1, 0, 4.0, 1, 1.0},     // zoom above 1 exports at 1:1
      {50, 30, 1, 0, -0.5, 8, 0.5},   // negative zoom: its magnitude; a reduced 1-bit page is grey
      {33, 17, 24, 0, 1.0, 24, 1.0},  // 24-bit rows padded (99 bytes to 100)
      {41, 23, 24, 3, 0.75, 24, 0.75},    // another layer at a reduced zoom
      {40, 24, 24, 2, 1.0, 1, 1.0},       // a mask layer renders 1 bit
      {500, 300, 24, 0, 0.001, 24, 0.01}  // zoom clamped to 0.01
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bpp " << c.pageBpp
                                    << " layer " << c.layer << " zoom " << c.zoom);
    FakeDocument &doc = open({{8, 8}, {c.width, c.height, c.pageBpp}});
    const std::string path = dir_.file("page.bmp");
    ASSERT_EQ(save(path, 2, c.layer, c.zoom), 0);

    const Rect r{0, 0, static_cast<int32_t>(c.width * c.used),
                 static_cast<int32_t>(c.height * c.used)};
    DibImgBuf expected;
    ASSERT_TRUE(doc.page(1).Render(&expected, r, 1.0 / c.used, c.layer));
    ASSERT_EQ(expected.GetBitsPerPixel(), c.fileBpp);

    const std::vector<uint8_t> bytes = norvtest::readFile(path);
    ASSERT_GE(bytes.size(), 54u);
    const uint32_t q = c.fileBpp == 1 ? 8 : c.fileBpp == 8 ? 1024 : 0;
    const uint32_t stride = (static_cast<uint32_t>(r.width()) * c.fileBpp + 31) / 32 * 4;
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(le32(bytes, 2), bytes.size());
    EXPECT_EQ(le32(bytes, 10), 54 + q);  // 62, 1078 or 54
    EXPECT_EQ(bytes.size(), 54 + q + uint64_t{stride} * r.height());
    EXPECT_EQ(le32(bytes, 14), 40u);
    EXPECT_EQ(static_cast<int32_t>(le32(bytes, 18)), r.width());
    EXPECT_EQ(static_cast<int32_t>(le32(bytes, 22)), r.height());  // positive: bottom-up
    EXPECT_EQ(le32(bytes, 38), 3937u);
    EXPECT_EQ(le32(bytes, 42), 3937u);

    const norvtest::ToolRun run = norvtest::runTool("bmptopnm " + norvtest::shellQuote(path));
    ASSERT_EQ(run.status, 0) << run.errors;
    const Pnm pnm = norvtest::parsePnm(run.output);
    ASSERT_TRUE(pnm.valid());
    ASSERT_EQ(pnm.width, r.width());
    ASSERT_EQ(pnm.height, r.height());
    int mismatches = 0;
    for (int32_t y = 0; y < r.height(); ++y)
      for (int32_t x = 0; x < r.width(); ++x)
        mismatches += pnmPixel(pnm, x, y) != renderPixel(expected, x, y);
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(SaveBmpTest, NothingWrittenAndFailures) {
  // No document: every page is outside.
  const std::string path = dir_.file("none.bmp");
  EXPECT_EQ(save(path, 1, 0, 1.0), 0);
  EXPECT_FALSE(std::ifstream(path).good());

  FakeDocument &doc = open({{20, 10}, {0, 0}, {5, 0}});
  for (int32_t page : {0, -1, 4}) {
    EXPECT_EQ(save(path, page, 0, 1.0), 0);
    EXPECT_FALSE(std::ifstream(path).good()) << page;
  }
  // A file that cannot be created.
  EXPECT_EQ(save(dir_.file("missing/dir/page.bmp"), 1, 0, 1.0), -1);
  EXPECT_EQ(save("", 1, 0, 1.0), -1);

  // Pages of no size, or too small for the zoom, leave the created file empty.
  bool ok = false;
  for (auto [page, zoom] : {std::pair{2, 1.0}, {3, 1.0}, {1, 0.01}}) {
    ASSERT_EQ(save(path, page, 0, zoom), 0);
    EXPECT_TRUE(norvtest::readFile(path, &ok).empty()) << page;
    EXPECT_TRUE(ok);
  }

  // A failed render writes an empty bitmap's header, not what the render left in its buffer.
  doc.page(0).failing = true;
  ASSERT_EQ(save(path, 1, 0, 1.0), 0);
  const std::vector<uint8_t> bytes = norvtest::readFile(path);
  ASSERT_EQ(bytes.size(), 54u);
  EXPECT_EQ(le32(bytes, 2), 54u);
  EXPECT_EQ(le32(bytes, 10), 54u);
  EXPECT_EQ(le32(bytes, 18), 0u);
}

}  // namespace
}  // namespace ctl
