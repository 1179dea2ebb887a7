// pxlExpandImage against netpbm's pamenlarge on a real page: tests/data/expand_page.ps is
// rendered by Ghostscript as a 1-bit PBM, an 8-bit PGM and a 24-bit PPM (three channels),
// each is enlarged by both for every factor from 2 to 32, and the rasters must be equal
// byte for byte. Factors other than 2, 4, 8, 16 and 32 are refused by pxlExpandImage.
#include <gtest/gtest.h>

#include <string>

#include "pxl_expand.h"
#include "scale_support.h"
#include "testkit_image.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"

namespace {

using scaletest::Context;
using scaletest::Image;

using norvtest::Pnm;

class ExpandLikePamenlarge : public ::testing::Test {
 protected:
  void compareAllFactors(const char *device, int dpi) {
    Context c;
    const std::string file = norvtest::renderPage(NORV_TEST_DATA "/expand_page.ps", device, dpi);
    ASSERT_FALSE(file.empty()) << "no page from " << device;
    const Pnm page = norvtest::readPnm(file);
    ASSERT_GT(page.width, 0);
    Image source(c.ctx, norvtest::imageFromPnm(c.ctx, page, 20));
    for (int factor = 2; factor <= 32; ++factor) {
      SCOPED_TRACE(testing::Message() << device << " factor " << factor);
      Image ours(c.ctx);
      const bool power = (factor & (factor - 1)) == 0;
      ASSERT_EQ(power ? 0 : PXL_ERR_PARAM, pxlExpandImage(c.ctx, source.pix, factor, &ours.pix));
      if (!power) {
        EXPECT_EQ(nullptr, ours.pix);
        continue;
      }
      const Pnm theirs =
          norvtest::parsePnm(norvtest::runTool("pamenlarge " + std::to_string(factor) + " " +
                                               norvtest::shellQuote(file))
                                 .output);
      ASSERT_TRUE(theirs.valid());
      Pixr *first = scaletest::channel(ours.pix, 0);
      ASSERT_EQ(theirs.width, first->width);
      ASSERT_EQ(theirs.height, first->height);
      ASSERT_TRUE(norvtest::pnmFromImage(ours.pix, page.kind).raster == theirs.raster);
    }
  }
};

TEST_F(ExpandLikePamenlarge, BilevelPage) {
  compareAllFactors("pbmraw", 40);
}
TEST_F(ExpandLikePamenlarge, GreyPage) {
  compareAllFactors("pgmraw", 20);
}
TEST_F(ExpandLikePamenlarge, ColourPageInThreeChannels) {
  compareAllFactors("ppmraw", 10);
}

}  // namespace
