// Page binarisation: synthetic scans of a rendered text page (grey ramp, uneven light,
// noise) as grey and colour pages agree with the ink inside the text lines; 200 and 600 dpi
// scans of the same page give the same words in the same places; dark 600 dpi pages; the
// enlarged results; argument checks; a flat page; every allocation failing and every poll
// aborting.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ops_support.h"
#include "page_support.h"
#include "pxl_pages.h"
#include "scan_support.h"

namespace {

using norvtest::Pnm;
using scantest::Line;

// The text page rendered as ink at dpi over a page of 4 x 3.2 inches (or a part of it).
Pnm inkMask(int dpi, int width = 0, int height = 0) {
  return norvtest::readPnm(pagetest::renderedPage(
      "text_page.ps", "pbmraw", dpi, width ? width : 4 * dpi, height ? height : 16 * dpi / 5));
}

// Share of the pixels inside the text lines where the result is 0 exactly on the ink, with
// the mask sampled at (x * num / den, y * num / den).
double agreement(Pixr *result, const Pnm &mask, int num = 1, int den = 1) {
  int64_t same = 0, all = 0;
  for (const Line &l : scantest::textLines(mask))
    for (int y = l.top * den / num; y <= (l.bottom + 1) * den / num - 1; ++y)
      for (int x = l.left * den / num; x <= (l.right + 1) * den / num - 1; ++x) {
        const bool ink = scantest::inked(mask, x * num / den, y * num / den);
        same += (pagetest::pixel(result, x, y) == 0) == ink;
        ++all;
      }
  return all ? double(same) / double(all) : 0.0;
}

// Column spans of the words of a line: columns holding ink (inked(column)) joined across
// gaps narrower than `gap`.
template <typename Inked>
std::vector<std::pair<int, int>> words(int width, int gap, Inked inked) {
  std::vector<std::pair<int, int>> spans;
  for (int x = 0; x < width; ++x) {
    if (!inked(x)) continue;
    if (!spans.empty() && x - spans.back().second <= gap)
      spans.back().second = x;
    else
      spans.push_back({x, x});
  }
  return spans;
}

class BinarizeTest : public opstest::OpsTest {
 protected:
  Pixr *binarize(Pixr *page, int32_t options = 0, int32_t darkLimit = 0) {
    Pixr *out = nullptr;
    EXPECT_EQ(0, pxlBinarizeImage(ctx, page, options, darkLimit, &out));
    return out ? keep(out) : nullptr;
  }
  // Words of the mask: in each text line, the columns holding ink joined across gaps of up to
  // three columns; each word as (line, first column, last column).
  static std::vector<std::array<int, 3>> wordsOf(const Pnm &mask) {
    std::vector<std::array<int, 3>> all;
    const std::vector<Line> lines = scantest::textLines(mask);
    for (int i = 0; i < int(lines.size()); ++i)
      for (auto [first, last] : words(mask.width, 4, [&](int x) {
             for (int y = lines[i].top; y <= lines[i].bottom; ++y)
               if (scantest::inked(mask, x, y)) return true;
             return false;
           }))
        all.push_back({i, first, last});
    return all;
  }
};

TEST_P(BinarizeTest, GreyAndColourScansAgreeWithTheInk) {
  // At 300 dpi (worked at 100 dpi) and at 100 dpi (worked as it is).
  for (int dpi : {300, 100}) {
    const Pnm mask = inkMask(dpi);
    ASSERT_TRUE(mask.valid());
    ASSERT_GE(scantest::textLines(mask).size(), 10u);
    Pixr *grey = binarize(keep(scantest::scanOf(ctx, mask, dpi, 1)));
    Pixr *colour = binarize(keep(scantest::scanOf(ctx, mask, dpi, 3)));
    ASSERT_TRUE(grey && colour);
    EXPECT_EQ(mask.width, grey->width);
    EXPECT_EQ(mask.height, grey->height);
    EXPECT_EQ(1, grey->depth);
    EXPECT_EQ(dpi << 16, grey->xResolution);
    EXPECT_TRUE(opstest::outsideIsClear(grey));
    EXPECT_GE(agreement(grey, mask), 0.98) << dpi;
    // The colour page's main plane is the grey page.
    EXPECT_EQ(pagetest::toPnm(grey, '4', 1), pagetest::toPnm(colour, '4', 1));
  }
}

TEST_P(BinarizeTest, TwoHundredAndSixHundredDpiGiveTheSameWords) {
  const Pnm low = inkMask(200), high = inkMask(600);
  ASSERT_TRUE(low.valid() && high.valid());
  Pixr *a = binarize(keep(scantest::scanOf(ctx, low, 200, 1)));
  Pixr *b = binarize(keep(scantest::scanOf(ctx, high, 600, 1)));
  ASSERT_TRUE(a && b);
  EXPECT_GE(agreement(a, low), 0.98);
  EXPECT_GE(agreement(b, high), 0.98);
  // Every word of the page is found in place at both resolutions: inside its box (the 200
  // dpi mask's line rows and word columns, three times that at 600 dpi) each result is 0 on
  // its own mask's ink and 1 beside it, and both hold about the same share of ink.
  const std::vector<Line> lines = scantest::textLines(low);
  const auto words = wordsOf(low);
  ASSERT_GE(words.size(), 100u);
  const auto inBox = [](Pixr *result, const Pnm &mask, int scale, const Line &l, int first,
                        int last, double *inkShare) {
    int64_t same = 0, ink = 0, all = 0;
    for (int y = l.top * scale; y < (l.bottom + 1) * scale; ++y)
      for (int x = first * scale; x < (last + 1) * scale; ++x, ++all) {
        const bool dark = pagetest::pixel(result, x, y) == 0;
        same += dark == scantest::inked(mask, x, y);
        ink += dark;
      }
    *inkShare = double(ink) / all;
    return double(same) / all;
  };
  for (auto [line, first, last] : words) {
    double inkA = 0, inkB = 0;
    EXPECT_GE(inBox(a, low, 1, lines[line], first, last, &inkA), 0.9) << line << "/" << first;
    EXPECT_GE(inBox(b, high, 3, lines[line], first, last, &inkB), 0.9) << line << "/" << first;
    EXPECT_NEAR(inkA, inkB, 0.15) << line << "/" << first;
  }
}

TEST_P(BinarizeTest, DarkSixHundredDpiPages) {
  // Paper below 170 at 100 dpi: the grey outside the contrast areas is smoothed first, unless
  // the options keep it; both agree with the ink.
  const Pnm mask = inkMask(600, 1200, 960);
  ASSERT_TRUE(mask.valid());
  scantest::Scan dark;
  dark.paperLeft = 95;
  dark.paperRight = 150;
  dark.ink = 15;
  Pixr *page = keep(scantest::scanOf(ctx, mask, 600, 1, dark));
  Pixr *smoothed = binarize(page);
  Pixr *plain = binarize(page, PXL_BINARIZE_NO_REFINEMENT);
  ASSERT_TRUE(smoothed && plain);
  EXPECT_GE(agreement(smoothed, mask), 0.98);
  EXPECT_GE(agreement(plain, mask), 0.98);
  EXPECT_NE(pagetest::toPnm(smoothed, '4', 1), pagetest::toPnm(plain, '4', 1));
}

TEST_P(BinarizeTest, EnlargedResults) {
  // Options 1 and 2 threshold the page enlarged by 3/2 and 2 against the same map.
  const Pnm mask = inkMask(200, 400, 300);
  ASSERT_TRUE(mask.valid());
  Pixr *page = keep(scantest::scanOf(ctx, mask, 200, 1));
  for (int option : {1, 2}) {
    Pixr *out = binarize(page, option | PXL_BINARIZE_NO_REFINEMENT);
    ASSERT_NE(nullptr, out);
    const int num = 2, den = option == 1 ? 3 : 4;
    EXPECT_EQ(mask.width * den / num, out->width);
    EXPECT_EQ(mask.height * den / num, out->height);
    EXPECT_EQ((200 * den / num) << 16, out->xResolution);
    EXPECT_GE(agreement(out, mask, num, den), 0.93) << option;
  }
}

TEST_P(BinarizeTest, FlatPageIsAllBright) {
  // No contrast anywhere: the map is never painted and stays 0.
  for (int dpi : {100, 200, 300, 600}) {
    Pixr *page = image(256, 192, 8, 1, [](int, int, int) { return 90u; });
    page->xResolution = page->yResolution = dpi << 16;
    Pixr *out = binarize(page);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(int64_t{256} * 192, pagetest::countSet(out)) << dpi;
  }
}

TEST_P(BinarizeTest, ResolutionPairUsesTheLarger) {
  // 200 x 300 dpi works like 300 x 300 dpi; a dark limit past 255 is held at 255.
  const Pnm mask = inkMask(300, 600, 400);
  ASSERT_TRUE(mask.valid());
  Pixr *square = keep(scantest::scanOf(ctx, mask, 300, 1));
  Pixr *mixed = keep(scantest::scanOf(ctx, mask, 300, 1));
  mixed->xResolution = 200 << 16;
  const Pnm expected = pagetest::toPnm(binarize(square), '4', 1);
  EXPECT_EQ(expected, pagetest::toPnm(binarize(mixed), '4', 1));
  for (int32_t limit : {-5, 0, 255, 256, 100000})
    EXPECT_GE(agreement(binarize(square, 0, limit), mask), 0.98) << limit;
}

TEST_P(BinarizeTest, TinyPages) {
  // The working page (halved, a third, or halved twice by resolution) must be at least 2 x 2
  // pixels; smaller pages give 2.
  for (int dpi : {100, 200, 300, 600})
    for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {3, 7}, {8, 1}, {13, 11}, {40, 3}}) {
      Pixr *page = image(w, h, 8, 1, [](int, int x, int y) { return (x + y) % 3 ? 200u : 20u; });
      page->xResolution = page->yResolution = dpi << 16;
      const auto working = [&](int n) {
        return dpi < 150 ? n : dpi < 250 ? n / 2 : dpi <= 300 ? n / 3 : n / 4;
      };
      Pixr *out = nullptr;
      const int32_t status = pxlBinarizeImage(ctx, page, 0, 0, &out);
      EXPECT_EQ(working(w) >= 2 && working(h) >= 2 ? 0 : PXL_ERR_PARAM, status)
          << dpi << " " << w << "x" << h;
      if (out == nullptr) continue;
      EXPECT_EQ(w, out->width);
      EXPECT_EQ(h, out->height);
      pxlDestroyImage(ctx, &out);
    }
}

TEST_P(BinarizeTest, OnlyCompactAreasGetThresholds) {
  // A long thin rule makes a contrast area far wider than 100 pixels at 50 dpi (and more than
  // 8 times as wide as high): it gets no threshold of its own and, alone on the page, is lost
  // to the unpainted map. A compact blot gets one and is found.
  struct Case {
    int left, top, width, height;
    bool found;
  } cases[] = {{30, 200, 1140, 5, false}, {500, 200, 40, 40, true}, {30, 200, 500, 60, true}};
  for (const Case &c : cases) {
    Pixr *page = image(1200, 400, 8, 1, [&](int, int x, int y) {
      const bool ink = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
      return ink ? 30u : 200u;
    });
    Pixr *out = binarize(page);
    ASSERT_NE(nullptr, out);
    int64_t dark = 0;
    for (int y = c.top; y < c.top + c.height; ++y)
      for (int x = c.left; x < c.left + c.width; ++x) dark += pagetest::pixel(out, x, y) == 0;
    EXPECT_EQ(c.found ? int64_t{c.width} * c.height : 0, dark) << c.width << "x" << c.height;
    EXPECT_EQ(int64_t{1200} * 400 - dark, pagetest::countSet(out));
  }
}

TEST_P(BinarizeTest, Arguments) {
  Pixr *page = image(64, 48, 8);
  Pixr *held = image(64, 48, 1);
  Pixr *out = held;
  EXPECT_EQ(PXL_ERR_NOT_NULL, pxlBinarizeImage(ctx, page, 0, 0, &out));
  EXPECT_EQ(held, out);
  out = nullptr;
  struct Case {
    Pixr *image;
    int32_t options;
    Pixr **result;
    int32_t status;
  } cases[] = {
      {page, 0, nullptr, PXL_ERR_NULL},
      {page, 3, &out, PXL_ERR_PARAM},
      {page, 3 | PXL_BINARIZE_NO_REFINEMENT, &out, PXL_ERR_PARAM},
      {image(64, 48, 4), 0, &out, PXL_ERR_BAD_DEPTH},
      {nullptr, 0, &out, PXL_ERR_NULL_IMAGE},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.status, pxlBinarizeImage(ctx, c.image, c.options, 0, c.result));
    EXPECT_EQ(nullptr, out);
  }
}

TEST_P(BinarizeTest, FailuresLeaveNothing) {
  // A small page on each path: 300 dpi, 600 dpi dark (smoothed) and 200 dpi enlarged.
  scantest::Scan dark;
  dark.paperLeft = dark.paperRight = 110;
  dark.ink = 10;
  struct Case {
    int dpi;
    int32_t options;
    scantest::Scan scan;
  } cases[] = {{300, 0, {}}, {600, 0, dark}, {200, 2, {}}};
  for (const Case &c : cases) {
    const Pnm mask = inkMask(c.dpi, c.dpi, c.dpi / 3);
    ASSERT_TRUE(mask.valid());
    Pixr *page = keep(scantest::scanOf(ctx, mask, c.dpi, 1, c.scan));
    const auto attempt = [&] {
      Pixr *out = nullptr;
      const int32_t status = pxlBinarizeImage(ctx, page, c.options, 40, &out);
      if (status != 0) {
        EXPECT_EQ(nullptr, out);
      }
      pxlDestroyImage(ctx, &out);
      return status;
    };
    EXPECT_GT(norvtest::failAtEveryAllocation(tr, PXL_ERR_NO_MEMORY, attempt), 10) << c.dpi;
    // The resampling workers poll directly and stop with 14; so do the polls here.
    EXPECT_GT(norvtest::abortAtEveryPoll(tr, PXL_ERR_ABORT, attempt), 10) << c.dpi;
  }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Units, BinarizeTest, ::testing::Values(0, 1), norvtest::unitName);
