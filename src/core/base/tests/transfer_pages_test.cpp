// Crop, extraction and inversion of real 300 dpi pages against netpbm: a PostScript page
// (tests/data/transfer_page.ps) is rendered by Ghostscript to a P4 (1-bit) and a P5 (8-bit)
// file, loaded into core images, cut and inverted here, and compared with what pamcut and
// pnminvert make of the same files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pxl_transfer.h"
#include "testkit_image.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;

using norvtest::Pnm;

class TransferPages : public ::testing::TestWithParam<int> {
 protected:
  // The test page rendered at 300 dpi by a Ghostscript device (pbmraw or pgmraw), once per
  // program run; "" when Ghostscript failed.
  static std::string rendered(const char *device) {
    return norvtest::renderPage(NORV_TEST_DATA "/transfer_page.ps", device, 300,
                                "-sPAPERSIZE=letter -dFIXEDMEDIA");
  }
  void SetUp() override {
    if (rendered("pbmraw").empty() || rendered("pgmraw").empty())
      GTEST_SKIP() << "Ghostscript could not render the test page";
  }

  Context c{GetParam()};

  Pixr *load(const Pnm &p) {
    Pixr *image = norvtest::imageFromPnm(c.ctx, p, 300);
    EXPECT_NE(image, nullptr);
    return image;
  }
  // The content rows as file rows; the bits after the last pixel of a 1-bit row are 0 in
  // the files, so the comparison checks the image's row tails as well.
  static Pnm save(Pixr *image) {
    return norvtest::pnmFromImage(image, image->depth == 1 ? '4' : '5');
  }
  static Pnm netpbm(const std::string &tool, const std::string &file) {
    const norvtest::ToolRun run = norvtest::runTool(tool + " " + norvtest::shellQuote(file));
    EXPECT_EQ(run.status, 0) << tool;
    return norvtest::parsePnm(run.output);
  }
};

INSTANTIATE_TEST_SUITE_P(Units, TransferPages, ::testing::Values(0, 1), norvtest::unitName);

struct Cut {
  int x, y, w, h;
};
// Interior, at the top-left corner, reaching the right and bottom edges, one pixel, a single
// column, and odd offsets that split bytes and words.
std::vector<Cut> cuts(int width, int height) {
  return {{101, 203, 777, 555},           {0, 0, 1000, 40},     {width - 333, height - 17, 333, 17},
          {width - 1, height - 1, 1, 1},  {1234, 0, 1, height}, {7, 1500, width - 7, 3},
          {0, 3000, width, height - 3000}};
}

TEST_P(TransferPages, CropAndExtractEqualPamcut) {
  for (const char *device : {"pbmraw", "pgmraw"}) {
    const std::string file = rendered(device);
    const Pnm page = norvtest::readPnm(file);
    ASSERT_EQ(page.width, 2550);
    ASSERT_EQ(page.height, 3300);
    Pixr *image = load(page);
    for (const Cut &k : cuts(page.width, page.height)) {
      const Pnm expected =
          netpbm("pamcut -left " + std::to_string(k.x) + " -top " + std::to_string(k.y) +
                     " -width " + std::to_string(k.w) + " -height " + std::to_string(k.h),
                 file);
      ASSERT_EQ(expected.width, k.w);
      PxlRect r{nullptr, nullptr, k.x, k.y, k.w, k.h, {0, 0, 0, 0}};
      Pixr *extracted = nullptr;
      ASSERT_EQ(pxlExtractRect(c.ctx, image, &r, &extracted), 0);
      EXPECT_TRUE(save(extracted) == expected) << file << " extract " << k.x << "," << k.y;
      pxlDestroyImage(c.ctx, &extracted);

      Pixr *cropped = load(page);
      ASSERT_EQ(pxlCropImage(c.ctx, k.x, k.y, k.w, k.h, cropped), 0);
      EXPECT_TRUE(save(cropped) == expected) << file << " crop " << k.x << "," << k.y;
      pxlDestroyImage(c.ctx, &cropped);
    }
    pxlDestroyImage(c.ctx, &image);
  }
}

TEST_P(TransferPages, InvertEqualsPnminvert) {
  for (const char *device : {"pbmraw", "pgmraw"}) {
    const std::string file = rendered(device);
    const Pnm page = norvtest::readPnm(file);
    const Pnm expected = netpbm("pnminvert", file);
    Pixr *image = load(page);
    Pixr *inverted = nullptr;
    ASSERT_EQ(pxlInvertImage(c.ctx, image, &inverted), 0);
    EXPECT_TRUE(save(inverted) == expected) << file;
    Pixr *same = image;
    ASSERT_EQ(pxlInvertImage(c.ctx, image, &same), 0);
    EXPECT_TRUE(save(image) == expected) << file << " in place";
    pxlDestroyImage(c.ctx, &inverted);
    pxlDestroyImage(c.ctx, &image);
  }
}

}  // namespace
