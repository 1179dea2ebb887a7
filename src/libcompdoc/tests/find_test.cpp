// Finding halftone areas.
#include "halftone_support.h"

namespace {

using httest::Bits;

class FindTest : public httest::HalftoneTest {};

TEST_F(FindTest, Explore) {
  struct Case {
    std::string name;
    int dpi;
  };
  for (const Case &c : {Case{"p21_h300_ps2pdf-screen.tif", 300}, Case{"p10_t300_tbl-2.tif", 300}}) {
    const Bits bits = httest::fixturePage(c.name);
    ASSERT_GT(bits.width, 0);
    Pixr *p = page(bits, c.dpi);
    Pixr *mask = nullptr;
    QtzAdtList *regions = nullptr;
    int32_t cell = 0;
    ASSERT_EQ(GetAllHalftoneInfo(state_, p, &mask, &regions, &cell), 0) << errors_.text();
    own(mask);
    printf("%s: cell %d\n", c.name.c_str(), cell);
    for (auto r : httest::regionsOf(regions))
      printf("  %d %d %d %d\n", r.x, r.y, r.width, r.height);
    freeRegions(regions);
  }
  Bits syn(1700, 1400);
  httest::paintText(syn, 40, 40, 700, 1300, 1);
  httest::paintRamp(syn, 850, 200, 800, 800, 8);
  Pixr *p = page(syn, 300);
  Pixr *mask = nullptr;
  QtzAdtList *regions = nullptr;
  int32_t cell = 0;
  ASSERT_EQ(GetAllHalftoneInfo(state_, p, &mask, &regions, &cell), 0) << errors_.text();
  own(mask);
  printf("syn: cell %d\n", cell);
  for (auto r : httest::regionsOf(regions)) printf("  %d %d %d %d\n", r.x, r.y, r.width, r.height);
  freeRegions(regions);
}

}  // namespace
