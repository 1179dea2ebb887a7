// Colour components over strips: a synthetic colour page fed in strips of 1, 7, 64 rows and
// whole gives exactly the components of a per-pixel 8-connected labelling of the page
// (exact colour; picture pixels all alike); the edge cases of the row loop and the wash;
// refusals; failure at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "cc_colour_internal.h"
#include "qtz_cc.h"
#include "testkit_state.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kPictureBit = 0x80000000u;  // page pixel: a picture pixel, colour below

// A colour page: per pixel 0x00RRGGBB, or kPictureBit | RGB for a picture pixel.
struct ColourPage {
  int width, height;
  std::vector<uint32_t> pixels;
  ColourPage(int w, int h) : width(w), height(h), pixels(size_t(w) * h, kWhite) {}
  uint32_t &at(int x, int y) { return pixels[size_t(y) * width + x]; }
  uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
  void fill(int x0, int y0, int x1, int y1, uint32_t v) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) at(x, y) = v;
  }
};

ColourPage syntheticPage(int width, int height, unsigned seed) {
  ColourPage page(width, height);
  std::mt19937 rng(seed);
  const uint32_t palette[] = {0x000000, 0xC01010, 0x10A010, 0x1010C0, 0xCACA00, 0x202020};
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  for (int i = 0; i < 60; ++i) {  // blocks, bars and glyph-like strokes
    const int x = pick(width), y = pick(height);
    page.fill(x, y, x + 1 + pick(40), y + 1 + pick(12), palette[pick(6)]);
  }
  for (int i = 0; i < 400; ++i) {  // diagonal strokes: corner contacts
    int x = pick(width), y = pick(height);
    const uint32_t c = palette[pick(6)];
    const int dx = pick(2) != 0 ? 1 : -1;
    for (int k = 0; k < 1 + pick(12); ++k, x += dx, ++y)
      if (x >= 0 && x < width && y < height) page.at(x, y) = c;
  }
  for (int x = 0; x < width; x += 3)  // a band of many narrow columns: a large touch table
    page.fill(x, height / 2, x + 1, height / 2 + 20, palette[(x / 3) % 6]);
  for (int i = 0; i < 3; ++i) {  // picture areas with per-pixel colours
    const int x0 = pick(width), y0 = pick(height), w = 5 + pick(60), h = 5 + pick(40);
    for (int y = y0; y < std::min(y0 + h, height); ++y)
      for (int x = x0 + pick(3); x < std::min(x0 + w - pick(3), width); ++x)
        page.at(x, y) = kPictureBit | (rng() & 0xFFFFFF);
  }
  return page;
}

// A component as a sorted pixel list with its colour (kPictureBit for picture components;
// their pixels' colours are checked separately).
struct Model {
  uint32_t colour;
  std::vector<std::pair<int, int>> pixels;  // (y, x)
  bool operator<(const Model &o) const {
    return std::tie(pixels, colour) < std::tie(o.pixels, o.colour);
  }
  bool operator==(const Model &o) const { return colour == o.colour && pixels == o.pixels; }
};

bool sameKind(uint32_t a, uint32_t b) {
  if ((a & kPictureBit) != 0 || (b & kPictureBit) != 0) return (a & b & kPictureBit) != 0;
  return a == b;
}

// The per-pixel 8-connected labelling.
std::vector<Model> labelPage(const ColourPage &page) {
  std::vector<int> seen(page.pixels.size(), 0);
  std::vector<Model> out;
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) {
      const uint32_t v = page.at(x, y);
      if (v == kWhite || seen[size_t(y) * page.width + x] != 0) continue;
      Model m{(v & kPictureBit) != 0 ? kPictureBit : v, {}};
      std::vector<std::pair<int, int>> stack{{x, y}};
      seen[size_t(y) * page.width + x] = 1;
      while (!stack.empty()) {
        auto [px, py] = stack.back();
        stack.pop_back();
        m.pixels.push_back({py, px});
        for (int ny = py - 1; ny <= py + 1; ++ny)
          for (int nx = px - 1; nx <= px + 1; ++nx) {
            if (nx < 0 || ny < 0 || nx >= page.width || ny >= page.height) continue;
            const size_t i = size_t(ny) * page.width + nx;
            if (seen[i] != 0 || page.at(nx, ny) == kWhite || !sameKind(page.at(nx, ny), v))
              continue;
            seen[i] = 1;
            stack.push_back({nx, ny});
          }
      }
      std::sort(m.pixels.begin(), m.pixels.end());
      out.push_back(std::move(m));
    }
  std::sort(out.begin(), out.end());
  return out;
}

// The reader over a page: each row's pixels as runs, long runs cut at random places (the
// finder joins them again), picture runs with their colour bytes.
struct PageReader {
  explicit PageReader(const ColourPage *p) : page(p) {}
  const ColourPage *page;
  int row = 0, x = 0;
  std::mt19937 rng{7};
  std::vector<uint8_t> bytes;

  static int32_t read(QtzCCRunItem *item, int32_t *end, void *user, QtzState *) {
    auto *self = static_cast<PageReader *>(user);
    const ColourPage &page = *self->page;
    if (self->x == page.width) {
      *end = 1;
      self->x = 0;
      ++self->row;
      return 0;
    }
    const uint32_t v = page.at(self->x, self->row);
    int n = 1;
    while (self->x + n < page.width && sameKind(page.at(self->x + n, self->row), v) &&
           (v & kPictureBit) == (page.at(self->x + n, self->row) & kPictureBit))
      ++n;
    if (n > 1 && self->rng() % 3 == 0) n = 1 + int(self->rng() % unsigned(n - 1));
    item->length = uint16_t(n);
    item->picture = (v & kPictureBit) != 0;
    item->colour = v | 0x5A000000u;  // the top byte is not part of the colour
    if (item->picture) {
      self->bytes.clear();
      for (int i = 0; i < n; ++i) {
        const uint32_t p = page.at(self->x + i, self->row);
        self->bytes.insert(self->bytes.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
      }
      item->pixels = self->bytes.data();
    }
    self->x += n;
    return 0;
  }
};

// A handed-out component back to pixels; checks its box, its colour bytes and its image.
Model modelOf(const QtzCCColourComponent &c, const ColourPage &page) {
  Model m{
      c.flags != 0 ? kPictureBit : (uint32_t(c.rgb[0]) << 16 | uint32_t(c.rgb[1]) << 8 | c.rgb[2]),
      {}};
  int row = c.top, lastEnd = 1 << 30;
  int minX = 1 << 30, maxX = -1;
  for (int i = 0; i < c.runCount; ++i) {
    const int start = c.runs[2 * i], length = c.runs[2 * i + 1];
    EXPECT_GT(length, 0);
    if (i > 0 && start <= lastEnd) ++row;
    lastEnd = start + length;
    for (int x = c.left + start; x < c.left + start + length; ++x) {
      m.pixels.push_back({row, x});
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      if (c.flags == 0) continue;
      const uint8_t *rgb = c.image->rows[row - c.top] + 3 * (x - c.left);
      EXPECT_EQ(uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2],
                page.at(x, row) & 0xFFFFFF);
    }
  }
  EXPECT_EQ(row, c.bottom);
  EXPECT_EQ(minX, c.left);
  EXPECT_EQ(maxX, c.right);
  if (c.flags != 0) {
    EXPECT_EQ(c.image->hdr.width, c.right - c.left + 1);
    EXPECT_EQ(c.image->hdr.height, c.bottom - c.top + 1);
  } else {
    EXPECT_EQ(c.image, nullptr);
  }
  std::sort(m.pixels.begin(), m.pixels.end());
  return m;
}

class ColourStripsTest : public norvtest::TrackedStateTest {
 protected:
  ColourStripsTest() { trackPools_ = true; }
  void TearDown() override {
    QtzCC_cleanup(&finder_);
    TrackedStateTest::TearDown();
  }

  struct Lists {
    QtzAdtList *tokens = nullptr;
    QtzAdtList *pictures = nullptr;
  };
  Lists newLists() {
    Lists l;
    EXPECT_EQ(QtzAdt_liNew(&l.tokens, state_), 0);
    EXPECT_EQ(QtzAdt_liNew(&l.pictures, state_), 0);
    return l;
  }
  void freeLists(Lists &l) {
    for (QtzAdtList *list : {l.tokens, l.pictures}) {
      if (list == nullptr) continue;
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next)
        supercc::freeColourComponent(state_, static_cast<QtzCCColourComponent *>(n->data));
      QtzAdt_liFree(list);
    }
    l = Lists{};
  }
  // Feeds the page in strips of the given height; the status of the first failing strip.
  int32_t feed(const ColourPage &page, int strip, Lists &lists, int32_t threshold = 0xFFFF) {
    int32_t status = QtzCC_initPage(finder_, page.width, page.height, threshold, 1);
    PageReader reader(&page);
    for (int y = 0; status == 0 && y < page.height; y += strip)
      status = QtzCC_doStrip(finder_, PageReader::read, &reader, std::min(strip, page.height - y),
                             lists.tokens, lists.pictures);
    return status;
  }
  std::vector<Model> models(const Lists &lists, const ColourPage &page) {
    std::vector<Model> out;
    for (QtzAdtList *list : {lists.tokens, lists.pictures})
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
        const auto &c = *static_cast<const QtzCCColourComponent *>(n->data);
        EXPECT_EQ(c.flags != 0, list == lists.pictures);
        out.push_back(modelOf(c, page));
      }
    std::sort(out.begin(), out.end());
    return out;
  }

  QtzCCFinder *finder_ = nullptr;
};

TEST_F(ColourStripsTest, StripsGiveTheComponentsOfTheWholePage) {
  ASSERT_EQ(QtzCC_init(state_, &finder_), 0);
  for (unsigned seed : {1u, 2u}) {
    const ColourPage page = syntheticPage(420, 150, seed);
    const std::vector<Model> expected = labelPage(page);
    ASSERT_GT(expected.size(), 200u);
    for (int strip : {1, 7, 64, 150}) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", strips of " << strip);
      Lists lists = newLists();
      ASSERT_EQ(feed(page, strip, lists), 0);
      const std::vector<Model> got = models(lists, page);
      EXPECT_EQ(got.size(), expected.size());
      EXPECT_TRUE(got == expected);
      freeLists(lists);
    }
  }
}

// Small pages drawn as text: '.' white, letters one-colour (a, b, ...), 'P' picture.
ColourPage pageOf(const std::vector<const char *> &rows, const std::vector<uint32_t> &colours) {
  ColourPage page(int(strlen(rows[0])), int(rows.size()));
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) {
      const char c = rows[size_t(y)][x];
      if (c == 'P') page.at(x, y) = kPictureBit | uint32_t(0x102030 + 7 * x + 1000 * y);
      if (c >= 'a' && c <= 'z') page.at(x, y) = colours[size_t(c - 'a')];
    }
  return page;
}

TEST_F(ColourStripsTest, EdgeCasesOfRowsAndWash) {
  struct Case {
    const char *name;
    std::vector<const char *> rows;
    std::vector<uint32_t> colours;
    int32_t threshold;
    int tokens, pictures;
    uint8_t pictureFlags;
  } cases[] = {
      {"a white page hands out nothing", {"....", "...."}, {}, 400, 0, 0, 0},
      {"corner touch joins", {"aa....", "..aa..", "....a."}, {0x112233}, 0xFFFF, 1, 0, 0},
      {"white never handed out", {"aaa", "a.a", "aaa"}, {kWhite}, 0xFFFF, 0, 0, 0},
      {"contact 300 under 400 washes",
       {"aaabbb", "aaabbb"},
       {0x101010, 0x1A1A1A},
       400,
       0,
       1,
       QTZ_CC_WASHED},
      {"contact 300 at 300 stays apart", {"aaabbb", "aaabbb"}, {0x101010, 0x1A1A1A}, 300, 2, 0, 0},
      {"no wash at 0xFFFF", {"aaabbb", "aaabbb"}, {0x101010, 0x1A1A1A}, 0xFFFF, 2, 0, 0},
      {"a saturated contact stays apart",
       {"aaabbb", "aaabbb"},
       {0x000000, 0xFFFF00},
       0xFFFE,
       2,
       0,
       0},
      {"a chain washes into one",
       {"aabbcc", "aabbcc"},
       {0x101010, 0x141414, 0x181818},
       400,
       0,
       1,
       QTZ_CC_WASHED},
      {"picture runs join whatever their colours",
       {"PP..PP", "..PP.."},
       {},
       0xFFFF,
       0,
       1,
       QTZ_CC_PER_PIXEL},
      {"picture and colour touch without joining",
       {"PPaa", "PPaa"},
       {0x101010},
       0xFFFF,
       1,
       1,
       QTZ_CC_PER_PIXEL},
      {"a U merges two components", {"a..a", "a..a", "aaaa"}, {0x445566}, 0xFFFF, 1, 0, 0},
  };
  ASSERT_EQ(QtzCC_init(state_, &finder_), 0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const ColourPage page = pageOf(c.rows, c.colours);
    Lists lists = newLists();
    ASSERT_EQ(feed(page, 1, lists, c.threshold), 0);
    EXPECT_EQ(lists.tokens->count, c.tokens);
    ASSERT_EQ(lists.pictures->count, c.pictures);
    if (c.pictures == 1 && c.tokens == 0) {
      const auto &p = *static_cast<const QtzCCColourComponent *>(lists.pictures->head->data);
      EXPECT_EQ(p.flags, c.pictureFlags);
      Model m = modelOf(p, page);  // checks every pixel's colour in the image
      int inked = 0;
      for (uint32_t v : page.pixels) inked += v != kWhite;
      EXPECT_EQ(int(m.pixels.size()), inked);
    }
    if (c.threshold == 0xFFFF) {
      std::vector<Model> expected = labelPage(page);
      EXPECT_TRUE(models(lists, page) == expected);
    }
    freeLists(lists);
  }
}

TEST_F(ColourStripsTest, AComponentOnTheStripsLastRowWaitsForTheNextStrip) {
  ASSERT_EQ(QtzCC_init(state_, &finder_), 0);
  const ColourPage page = pageOf({"aa..", "aa.b", "...b", "...."}, {0x102030, 0x405060});
  Lists lists = newLists();
  ASSERT_EQ(QtzCC_initPage(finder_, page.width, page.height, 0xFFFF, 1), 0);
  PageReader reader(&page);
  const int expectedAfter[] = {0, 0, 1, 2};  // handed out by the end of each one-row strip
  for (int y = 0; y < page.height; ++y) {
    ASSERT_EQ(QtzCC_doStrip(finder_, PageReader::read, &reader, 1, lists.tokens, lists.pictures),
              0);
    EXPECT_EQ(lists.tokens->count, expectedAfter[y]) << "after row " << y;
  }
  EXPECT_EQ(QtzCC_doStrip(finder_, PageReader::read, &reader, 1, lists.tokens, lists.pictures), 2)
      << "no rows past the page's end";
  const auto &first = *static_cast<const QtzCCColourComponent *>(lists.tokens->head->data);
  EXPECT_EQ(first.rgb[0], 0x10);
  EXPECT_EQ(first.rgb[2], 0x30);
  EXPECT_EQ(first.bottom, 1);
  freeLists(lists);
}

int32_t failingReader(QtzCCRunItem *, int32_t *, void *, QtzState *) {
  return 4321;
}

struct ItemReader {  // hands out one item per row, then the end of the row
  QtzCCRunItem item;
  bool sent = false;
  static int32_t read(QtzCCRunItem *item, int32_t *end, void *user, QtzState *) {
    auto *self = static_cast<ItemReader *>(user);
    if (self->sent)
      *end = 1;
    else
      *item = self->item;
    self->sent = !self->sent;
    return 0;
  }
};

TEST_F(ColourStripsTest, Refusals) {
  QtzCCFinder *finder = nullptr;
  EXPECT_EQ(QtzCC_init(nullptr, &finder), 2);
  EXPECT_EQ(QtzCC_init(state_, nullptr), 118);
  QtzCC_cleanup(nullptr);
  QtzCC_cleanup(&finder);
  ASSERT_EQ(QtzCC_init(state_, &finder_), 0);
  EXPECT_EQ(QtzCC_initPage(nullptr, 4, 4, 0, 0), 118);
  EXPECT_EQ(QtzCC_initPage(finder_, -1, 4, 0, 0), 2);
  EXPECT_EQ(QtzCC_initPage(finder_, 4, 65536, 0, 0), 2);
  ASSERT_EQ(QtzCC_initPage(finder_, 4, 4, 0, 0), 0);
  Lists lists = newLists();
  EXPECT_EQ(QtzCC_doStrip(nullptr, failingReader, nullptr, 1, lists.tokens, lists.pictures), 118);
  EXPECT_EQ(QtzCC_doStrip(finder_, nullptr, nullptr, 1, lists.tokens, lists.pictures), 118);
  EXPECT_EQ(QtzCC_doStrip(finder_, failingReader, nullptr, 1, nullptr, lists.pictures), 118);
  EXPECT_EQ(QtzCC_doStrip(finder_, failingReader, nullptr, 0, lists.tokens, lists.pictures), 0);
  EXPECT_EQ(QtzCC_doStrip(finder_, failingReader, nullptr, 5, lists.tokens, lists.pictures), 2);
  EXPECT_EQ(QtzCC_doStrip(finder_, failingReader, nullptr, 1, lists.tokens, lists.pictures), 4321);
  struct {
    const char *name;
    QtzCCRunItem item;
    int32_t status;
  } items[] = {
      {"a run longer than the row", {0x123456, nullptr, 5, 0}, 2},
      {"a picture run without colours", {0, nullptr, 2, 1}, 118},
  };
  for (auto &c : items) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(QtzCC_initPage(finder_, 4, 4, 0xFFFF, 0), 0);
    ItemReader reader{c.item};
    EXPECT_EQ(QtzCC_doStrip(finder_, ItemReader::read, &reader, 2, lists.tokens, lists.pictures),
              c.status);
  }
  EXPECT_EQ(lists.tokens->count + lists.pictures->count, 0);
  freeLists(lists);
}

// A crafted row of one-pixel runs in two alternating colours makes a component per pixel,
// all under way at once: the touch table (its cells grow with the square of the components)
// stops at its limit (4096 components) with "out of memory" instead of growing with the square
// of the row (a 60000-pixel row would ask for 7 GB), and nothing is handed out or left behind.
TEST_F(ColourStripsTest, ARowOfTooManyComponentsIsRefused) {
  ASSERT_EQ(QtzCC_init(state_, &finder_), 0);
  ColourPage page(4200, 2);
  for (int x = 0; x < page.width; ++x) page.at(x, 0) = x % 2 == 0 ? 0x000000 : 0xC01010;
  Lists lists = newLists();
  EXPECT_EQ(feed(page, 2, lists), 1);
  EXPECT_EQ(lists.tokens->count + lists.pictures->count, 0);
  freeLists(lists);
}

TEST_F(ColourStripsTest, FailureAtEveryAllocationLeavesNothing) {
  const ColourPage page = syntheticPage(200, 60, 3);
  const size_t expected = labelPage(page).size();
  norvtest::failEachRequest([&](long n) {
    QtzCCFinder *finder = nullptr;
    int32_t status = QtzCC_init(state_, &finder);
    Lists lists;
    if (status == 0) status = QtzAdt_liNew(&lists.tokens, state_);
    if (status == 0) status = QtzAdt_liNew(&lists.pictures, state_);
    if (status == 0) {
      std::swap(finder, finder_);
      status = feed(page, 7, lists, 400);
      std::swap(finder, finder_);
    }
    if (status != 0) {
      EXPECT_TRUE(status == 1 || status == 10005) << n << ": " << status;
    } else {
      EXPECT_GE(lists.tokens->count + lists.pictures->count, 1);
      EXPECT_LE(size_t(lists.tokens->count + lists.pictures->count), expected);
    }
    freeLists(lists);
    QtzCC_cleanup(&finder);
    EXPECT_EQ(finder, nullptr);
    return status == 0;
  });
}

}  // namespace
