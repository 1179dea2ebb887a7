// The run-based component finder against a breadth-first flood-fill model: random pages of
// every density and widths 1 to 700, both connectivities, and a real 300 dpi page; every run
// list repaints exactly its component. Also the worked cases (corners, a U shape, single
// pixels, size limits, stops), bands fed through the strip interface (pieces joined across
// band edges give the whole page's components), allocation failures and the refusals.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <numeric>

#include "components_support.h"
#include "ops_support.h"
#include "pxl_components.h"

namespace {

using cctest::Bitmap;
using cctest::Found;

class ComponentsTest : public opstest::OpsTest {
 protected:
  std::vector<Found> find(const Bitmap &b, int connectivity, int32_t *status = nullptr,
                          int32_t minWidth = 0, int32_t minHeight = 0) {
    int32_t bpr = 0;
    const std::vector<uint32_t> words = cctest::framedWords(b, &bpr);
    std::vector<Found> found;
    int32_t stop = 0;
    const int32_t s = pxlFindConnectedComponents(
        ctx, reinterpret_cast<const uint8_t *>(words.data()), bpr, 32, 32, b.width, b.height,
        minWidth, minHeight, connectivity, &found, cctest::collect, &stop);
    if (status != nullptr)
      *status = s;
    else
      EXPECT_EQ(0, s);
    return found;
  }
  Pixr *imageOf(const Bitmap &b) {
    return image(b.width, b.height, 1, 1, [&](int, int x, int y) { return uint32_t{b.at(x, y)}; });
  }
};

TEST_P(ComponentsTest, RandomPagesMatchTheFloodFillModel) {
  for (double density : {0.05, 0.2, 0.4, 0.6})
    for (int w : {1, 2, 3, 17, 31, 32, 33, 63, 64, 65, 100, 257, 700})
      for (int g : {0, 1}) {
        const int h = 1 + static_cast<int>(rng() % 40);
        const Bitmap b = cctest::randomBitmap(w, h, density, rng);
        cctest::expectSameComponents(b, g, find(b, g),
                                     "density " + std::to_string(density) + " width " +
                                         std::to_string(w) + " connectivity " + std::to_string(g));
      }
}

TEST_P(ComponentsTest, RealPageMatchesTheFloodFillModel) {
  const Bitmap page = cctest::readPage("p01_t300_bash-1.tif");
  ASSERT_EQ(2550, page.width);
  for (int g : {0, 1}) cctest::expectSameComponents(page, g, find(page, g), "page p01");
}

TEST_P(ComponentsTest, WorkedShapes) {
  Bitmap corner(4, 4);
  corner.at(1, 1) = corner.at(2, 2) = 1;
  EXPECT_EQ(1u, find(corner, 1).size());
  EXPECT_EQ(2u, find(corner, 0).size());

  // U: two columns joined by a bottom bar; the bar comes first in the run list.
  Bitmap u(7, 5);
  for (int y = 0; y < 5; ++y) u.at(0, y) = u.at(6, y) = 1;
  for (int x = 0; x < 7; ++x) u.at(x, 4) = 1;
  std::vector<Found> found = find(u, 0);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(cctest::Box(32, 32, 7, 5, 15), found[0].box);
  EXPECT_EQ(9, found[0].runCount);
  ASSERT_EQ(15u, found[0].pixels.size());
  EXPECT_EQ(std::make_pair(32, 36), found[0].pixels[0]);  // the whole bar, one run
  EXPECT_EQ(std::make_pair(38, 36), found[0].pixels[6]);
  cctest::expectSameComponents(u, 0, found, "U");

  Bitmap dot(3, 3);
  dot.at(2, 2) = 1;  // touching the last row and column
  found = find(dot, 1);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(cctest::Box(34, 34, 1, 1, 1), found[0].box);
  EXPECT_EQ(1, found[0].runCount);
}

TEST_P(ComponentsTest, SizeLimitsAndStops) {
  Bitmap b(40, 10);
  for (int w = 1; w <= 5; ++w)  // bars 1 .. 5 wide, 2 high
    for (int x = 0; x < w; ++x) b.at(7 * w + x, 3) = b.at(7 * w + x, 4) = 1;
  EXPECT_EQ(5u, find(b, 1, nullptr, 0, 0).size());
  EXPECT_EQ(3u, find(b, 1, nullptr, 3, 0).size());
  EXPECT_EQ(5u, find(b, 1, nullptr, 0, 2).size());
  EXPECT_EQ(0u, find(b, 1, nullptr, 0, 3).size());

  int32_t bpr = 0;
  const std::vector<uint32_t> words = cctest::framedWords(b, &bpr);
  const auto *rows = reinterpret_cast<const uint8_t *>(words.data());
  int calls = 0, stop = 0;
  auto stopAtFirst = [](PxlContext *, void *user, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, PxlRunNode *) -> int32_t {
    ++*static_cast<int *>(user);
    return 5;
  };
  EXPECT_EQ(PXL_ERR_CALLBACK, pxlFindConnectedComponents(ctx, rows, bpr, 32, 32, 40, 10, 0, 0, 1,
                                                         &calls, stopAtFirst, &stop));
  EXPECT_EQ(5, stop);
  EXPECT_EQ(1, calls);
  EXPECT_EQ(PXL_ERR_PARAM, pxlFindConnectedComponents(ctx, rows, bpr, 32, 32, 40, 10, 0, 0, 2,
                                                      &calls, stopAtFirst, &stop));
  EXPECT_EQ(PXL_ERR_PARAM, pxlFindConnectedComponents(ctx, rows, bpr, 32, 32, 32752 - 32, 10, 0, 0,
                                                      1, &calls, stopAtFirst, &stop));
  EXPECT_EQ(1, calls);
  EXPECT_EQ(0, pxlFindConnectedComponents(ctx, rows, bpr, 32, 32, 40, 0, 0, 0, 1, &calls,
                                          stopAtFirst, &stop));
}

TEST_P(ComponentsTest, BoxesCarrySeedsInsideTheirComponent) {
  const Bitmap b = cctest::randomBitmap(150, 60, 0.3, rng);
  const cctest::Labels model = cctest::floodFill(b, 1);
  int32_t bpr = 0;
  const std::vector<uint32_t> words = cctest::framedWords(b, &bpr);
  struct Seen {
    std::vector<cctest::Box> boxes;
    std::vector<std::pair<int, int>> seeds;
  } seen;
  auto box = [](PxlContext *, void *user, int32_t x, int32_t y, int32_t w, int32_t h, int32_t area,
                int32_t, int32_t sx, int32_t sy) -> int32_t {
    auto *s = static_cast<Seen *>(user);
    s->boxes.emplace_back(x - 32, y - 32, w, h, area);
    s->seeds.emplace_back(sx - 32, sy - 32);
    return 0;
  };
  int32_t stop = 0;
  ASSERT_EQ(0, pxlFindComponentBoxes(ctx, reinterpret_cast<const uint8_t *>(words.data()), bpr, 32,
                                     32, 150, 60, 0, 0, 1, &seen, box, &stop));
  ASSERT_EQ(model.boxes.size(), seen.boxes.size());
  for (size_t i = 0; i < seen.boxes.size(); ++i) {
    auto [sx, sy] = seen.seeds[i];
    const int l = model.label[size_t(sy) * b.width + sx];
    ASSERT_NE(0, l);
    EXPECT_EQ(model.boxes[size_t(l) - 1], seen.boxes[i]);
  }
}

// Pieces delivered band by band, joined where they touch across a band edge, form the whole
// page's components.
TEST_P(ComponentsTest, BandsJoinedAcrossTheirEdgesGiveTheWholePage) {
  const Bitmap b = cctest::randomBitmap(230, 150, 0.35, rng);
  Pixr *img = imageOf(b);
  for (int g : {0, 1}) {
    const std::vector<Found> whole = find(b, g);
    for (int band : {1, 7, 64}) {
      PxlCCExtractor *state = nullptr;
      ASSERT_EQ(0, pxlBeginStripComponents(ctx, &state));
      std::vector<Found> pieces;
      int32_t callbackStatus = 0;
      for (int y = 0; y < b.height; y += band) {
        PxlStripArgs a{};
        a.ctx = ctx;
        a.image = img;
        a.state = state;
        a.connectivity = g;
        a.x = 0;
        a.y = y;
        a.width = b.width;
        a.rows = std::min(band, b.height - y);
        a.callbackUser = &pieces;
        a.callback = cctest::collect;
        a.callbackStatus = &callbackStatus;
        ASSERT_EQ(0, pxlAddStripComponents(&a));
      }
      ASSERT_EQ(0, pxlEndStripComponents(ctx, &state));
      EXPECT_EQ(nullptr, state);
      // Union of pieces whose pixels touch (by the connectivity); pieces of one band never do.
      std::map<std::pair<int, int>, int> owner;
      for (size_t i = 0; i < pieces.size(); ++i)
        for (auto p : pieces[i].pixels) owner[p] = static_cast<int>(i);
      std::vector<int> parent(pieces.size());
      std::iota(parent.begin(), parent.end(), 0);
      std::function<int(int)> root = [&](int i) {
        return parent[i] == i ? i : parent[i] = root(parent[i]);
      };
      for (size_t i = 0; i < pieces.size(); ++i)
        for (auto [x, y] : pieces[i].pixels)
          for (int dx = -g; dx <= g; ++dx)
            if (auto it = owner.find({x + dx, y + 1}); it != owner.end())
              parent[root(static_cast<int>(i))] = root(it->second);
      std::map<int, Found> joined;
      for (size_t i = 0; i < pieces.size(); ++i) {
        Found &f = joined[root(static_cast<int>(i))];
        f.pixels.insert(f.pixels.end(), pieces[i].pixels.begin(), pieces[i].pixels.end());
      }
      std::vector<Found> merged;
      for (auto &[r, f] : joined) {
        int x1 = 1 << 30, y1 = 1 << 30, x2 = -1, y2 = -1;
        for (auto [x, y] : f.pixels)
          x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
        f.box = cctest::Box(x1, y1, x2 - x1 + 1, y2 - y1 + 1, static_cast<int>(f.pixels.size()));
        merged.push_back(f);
      }
      cctest::expectSameComponents(b, g, merged, "band " + std::to_string(band));
      if (band == 1) {
        EXPECT_GT(pieces.size(), whole.size());
      }
    }
  }
}

TEST_P(ComponentsTest, RecordsRepaintTheirComponentsExactly) {
  for (int g : {0, 1}) {
    const Bitmap b = cctest::randomBitmap(97, 41, 0.45, rng);
    Pixr *img = imageOf(b);
    PxlCCRecord *list = nullptr;
    ASSERT_EQ(0, pxlGetConnectedComponents(ctx, img, 0, 0, g, &list));
    Pixr *painted = image(97, 41, 1, 1, [](int, int, int) { return 0u; });
    size_t n = 0;
    for (PxlCCRecord *r = list; r != nullptr; r = r->next, ++n)
      ASSERT_EQ(0, pxlPaintComponent(ctx, r, 0, 0, painted));
    EXPECT_EQ(cctest::floodFill(b, g).boxes.size(), n);
    for (int y = 0; y < 41; ++y)
      for (int x = 0; x < 97; ++x) ASSERT_EQ(uint32_t{b.at(x, y)}, opstest::get(painted, x, y));
    EXPECT_TRUE(opstest::outsideIsClear(painted));
    // Shifted painting stays inside the buffer or is refused.
    EXPECT_EQ(PXL_ERR_BOUNDS, pxlPaintComponent(ctx, list, 200, 0, painted));
    EXPECT_EQ(PXL_ERR_BOUNDS, pxlPaintComponent(ctx, list, 0, -200, painted));
    ASSERT_EQ(0, pxlFreeComponentList(ctx, &list));
    EXPECT_EQ(nullptr, list);
  }
  PxlCCRecord *none = nullptr;
  ASSERT_EQ(0, pxlGetConnectedComponents(ctx, image(20, 20, 1, 1, [](int, int, int) { return 0u; }),
                                         0, 0, 1, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(0, pxlFreeComponentList(ctx, &none));

  // A diagonal: one run per row, each a pixel left of the one below.
  Bitmap diag(6, 6);
  for (int i = 0; i < 6; ++i) diag.at(5 - i, i) = 1;
  Pixr *d = imageOf(diag), *out = image(6, 6, 1, 1, [](int, int, int) { return 0u; });
  PxlCCRecord *list = nullptr;
  ASSERT_EQ(0, pxlGetConnectedComponents(ctx, d, 0, 0, 1, &list));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(nullptr, list->next);
  EXPECT_EQ(6, list->runCount);
  ASSERT_EQ(0, pxlPaintComponent(ctx, list, 0, 0, out));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(1u, opstest::get(out, 5 - i, i));
  pxlFreeComponentList(ctx, &list);
}

TEST_P(ComponentsTest, AllocationFailureAtEveryPointLeavesNothing) {
  const Bitmap b = cctest::randomBitmap(300, 40, 0.3, rng);
  Pixr *img = imageOf(b);
  for (int n = 1;; ++n) {
    PxlCCRecord *list = nullptr;
    failAllocation(n);
    const int32_t status = pxlGetConnectedComponents(ctx, img, 0, 0, 1, &list);
    failAllocation(0);
    if (status == 0) {
      pxlFreeComponentList(ctx, &list);
      break;
    }
    ASSERT_EQ(PXL_ERR_NO_MEMORY, status) << "allocation " << n;
    ASSERT_EQ(nullptr, list);
  }
  for (int n = 1;; ++n) {
    PxlRect *boxes = nullptr;
    failAllocation(n);
    const int32_t status = pxlGetComponentBoxes(ctx, img, 0, 0, &boxes);
    failAllocation(0);
    if (status == 0) {
      pxlFreeRectList(ctx, &boxes);
      break;
    }
    ASSERT_TRUE(status == PXL_ERR_NO_MEMORY || status == PXL_ERR_CALLBACK) << n;
    ASSERT_EQ(nullptr, boxes);
  }
}

TEST_P(ComponentsTest, ComponentBoxesOfSquares) {
  Bitmap b(20, 12);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) b.at(2 + i, 2 + j) = b.at(10 + i, 6 + j) = 1;
  Pixr *img = imageOf(b);
  PxlRect *boxes = nullptr;
  ASSERT_EQ(0, pxlGetComponentBoxes(ctx, img, 0, 0, &boxes));
  int n = 0;
  for (PxlRect *r = boxes; r != nullptr; r = r->next, ++n) {
    EXPECT_EQ(3, r->width);
    EXPECT_EQ(3, r->height);
    EXPECT_EQ(9, r->user[0]);
    EXPECT_TRUE((r->x == 2 && r->y == 2) || (r->x == 10 && r->y == 6));
  }
  EXPECT_EQ(2, n);
  pxlFreeRectList(ctx, &boxes);
  ASSERT_EQ(0, pxlGetComponentBoxes(ctx, img, 4, 0, &boxes));
  EXPECT_EQ(nullptr, boxes);
  b.at(5, 5) = 1;  // joins the squares' corners diagonally
  b.at(6, 6) = b.at(7, 7) = b.at(8, 8) = b.at(9, 9) = 1;
  ASSERT_EQ(0, pxlGetComponentBoxes(ctx, imageOf(b), 0, 0, &boxes));
  ASSERT_NE(nullptr, boxes);
  EXPECT_EQ(nullptr, boxes->next);
  pxlFreeRectList(ctx, &boxes);
}

TEST_P(ComponentsTest, StripRefusals) {
  Pixr *img = image(50, 20, 1);
  PxlCCExtractor *state = nullptr;
  ASSERT_EQ(0, pxlBeginStripComponents(ctx, &state));
  PxlStripArgs a{};
  a.ctx = ctx;
  a.image = img;
  a.state = state;
  a.connectivity = 1;
  a.width = 50;
  a.rows = 20;
  a.callback = cctest::collect;
  std::vector<Found> found;
  a.callbackUser = &found;
  EXPECT_EQ(0, pxlAddStripComponents(&a));
  for (auto change : std::vector<std::function<void(PxlStripArgs &)>>{
           [](PxlStripArgs &s) { s.connectivity = 2; }, [](PxlStripArgs &s) { s.state = nullptr; },
           [](PxlStripArgs &s) { s.image = nullptr; }, [](PxlStripArgs &s) { s.x = 1; },
           [](PxlStripArgs &s) { s.y = -1; }, [](PxlStripArgs &s) { s.rows = 21; },
           [](PxlStripArgs &s) { s.callback = nullptr; }}) {
    PxlStripArgs bad = a;
    change(bad);
    EXPECT_EQ(PXL_ERR_PARAM, pxlAddStripComponents(&bad));
  }
  EXPECT_EQ(PXL_ERR_PARAM, pxlBeginStripComponents(ctx, nullptr));
  ASSERT_EQ(0, pxlEndStripComponents(ctx, &state));
  EXPECT_EQ(nullptr, state);
}

INSTANTIATE_TEST_SUITE_P(Units, ComponentsTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
