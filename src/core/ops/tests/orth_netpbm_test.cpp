// Quarter and half turns against netpbm's pamflip on real pages: the text page rendered by
// Ghostscript at an odd size as PBM and as PGM reduced to maxval 3, 15 and 255 (depths 2,
// 4 and 8), turned by both, equal byte for byte, on both processing units. pamflip's -r90
// turns counter-clockwise, so pxlRotate90 (clockwise) matches -r270 and pxlRotate270 -r90.
#include <gtest/gtest.h>

#include "page_support.h"
#include "pxl_rotate.h"
#include "testkit_context.h"

namespace {

using pagetest::Pnm;

struct Case {
  const char *device;
  int maxval;
};

class TurnLikePamflip : public ::testing::TestWithParam<int> {};

TEST_P(TurnLikePamflip, EveryDepthAndDirection) {
  norvtest::TrackedContext c(GetParam());
  PxlContext *ctx = c.get();
  const Case cases[] = {{"pbmraw", 1}, {"pgmraw", 3}, {"pgmraw", 15}, {"pgmraw", 255}};
  for (const Case &k : cases) {
    const std::string depthFilter =
        k.maxval == 1 || k.maxval == 255 ? "" : "pamdepth " + std::to_string(k.maxval);
    const std::string file = pagetest::renderedPage("text_page.ps", k.device, 50, 333, 211);
    ASSERT_FALSE(file.empty());
    const std::string source =
        (depthFilter.empty() ? "cat " : depthFilter + " ") + norvtest::shellQuote(file);
    const Pnm page = pagetest::pnmFrom(source);
    ASSERT_EQ(333, page.width) << source;
    if (page.kind == '5') {
      ASSERT_EQ(k.maxval, page.maxval);
    }
    norvtest::OwnedImage image(ctx, pagetest::toImage(ctx, page));
    struct Turn {
      int32_t (*ours)(PxlContext *, Pixr *, Pixr **);
      const char *theirs;
    } turns[] = {{pxlRotate90, "-r270"}, {pxlRotate270, "-r90"}, {pxlRotate180, "-r180"}};
    for (const Turn &t : turns) {
      SCOPED_TRACE(testing::Message() << "maxval " << k.maxval << " pamflip " << t.theirs);
      norvtest::OwnedImage ours(ctx);
      ASSERT_EQ(0, t.ours(ctx, image.pix, &ours.pix));
      const Pnm expected = pagetest::pnmFrom(source + " | pamflip " + t.theirs);
      ASSERT_GT(expected.width, 0);
      EXPECT_TRUE(pagetest::samePnm(pagetest::toPnm(ours.pix, page.kind, page.maxval), expected));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, TurnLikePamflip, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
