// Quarter and half turns against netpbm's pamflip on real pages: the text page rendered by
// Ghostscript at an odd size as PBM and as PGM reduced to maxval 3, 15 and 255 (depths 2,
// 4 and 8), turned by both, equal byte for byte, on both processing units. pamflip's -r90
// turns counter-clockwise, so pxlRotate90 (clockwise) matches -r270 and pxlRotate270 -r90.
#include <gtest/gtest.h>

#include "page_support.h"
#include "pxl_rotate.h"
#include "scale_support.h"

namespace {

using pagetest::Pnm;

struct Case {
  const char *device;
  int maxval;
};

class TurnLikePamflip : public ::testing::TestWithParam<int> {};

TEST_P(TurnLikePamflip, EveryDepthAndDirection) {
  scaletest::Context c(GetParam());
  const Case cases[] = {{"pbmraw", 1}, {"pgmraw", 3}, {"pgmraw", 15}, {"pgmraw", 255}};
  for (const Case &k : cases) {
    const std::string depthFilter =
        k.maxval == 1 || k.maxval == 255 ? "" : "pamdepth " + std::to_string(k.maxval);
    const std::string source = pagetest::pageCommand("text_page.ps", k.device, 50, 333, 211) +
                               (depthFilter.empty() ? "" : " | " + depthFilter);
    const Pnm page = pagetest::parsePnm(pagetest::runCommand(source));
    ASSERT_EQ(333, page.width) << source;
    ASSERT_EQ(k.maxval, page.maxval);
    scaletest::Image image(c.ctx, pagetest::toImage(c.ctx, page));
    struct Turn {
      int32_t (*ours)(PxlContext *, Pixr *, Pixr **);
      const char *theirs;
    } turns[] = {{pxlRotate90, "-r270"}, {pxlRotate270, "-r90"}, {pxlRotate180, "-r180"}};
    for (const Turn &t : turns) {
      SCOPED_TRACE(testing::Message() << "maxval " << k.maxval << " pamflip " << t.theirs);
      scaletest::Image ours(c.ctx);
      ASSERT_EQ(0, t.ours(c.ctx, image.pix, &ours.pix));
      const Pnm expected =
          pagetest::parsePnm(pagetest::runCommand(source + " | pamflip " + t.theirs));
      ASSERT_GT(expected.width, 0);
      EXPECT_TRUE(pagetest::toPnm(ours.pix, page.kind, page.maxval) == expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, TurnLikePamflip, ::testing::Values(0, 1), pxltest::unitName);

}  // namespace
