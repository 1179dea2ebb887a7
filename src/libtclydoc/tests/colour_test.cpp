// Colour pages: text components become tokens with a copy of their rows (whatever the
// bitmap's offsets), their position, colour and page number; every component bitmap is
// freed, and a failure at any allocation leaves no token and no bitmap behind.
#include <gtest/gtest.h>

#include <vector>

#include "qtz_image.h"
#include "tcly_boxes_internal.h"
#include "tclydoc_test_pages.h"
#include "testkit_state.h"

namespace {

using tclytest::BitRows;

class ColourTest : public norvtest::TrackedStateTest {
 protected:
  ColourTest() { trackPools_ = true; }

  // A packed image (x offset xoff, its first column at bit 0 of each row) holding the
  // pattern's pixels.
  QtzImage *bitmap(const BitRows &pattern, int32_t xoff) {
    QtzImage *image = nullptr;
    EXPECT_EQ(QtzImage_newOffset(state_, 100, pattern.width, pattern.height, xoff, 3, &image), 0);
    for (int y = 0; y < pattern.height; ++y)
      for (int x = 0; x < pattern.width; ++x)
        if (pattern.get(x, y)) {
          const int bit = x;
          image->rows[3 + y][bit / 32 * 4 + (3 - bit % 32 / 8)] |= uint8_t(0x80 >> (bit % 8));
        }
    return image;
  }
  static BitRows pattern(int w, int h, int seed) {
    BitRows p(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((x * 7 + y * 13 + seed) % 5 < 2) p.set(x, y);
    return p;
  }
};

TEST_F(ColourTest, ComponentsBecomeTokensWithTheirRowsAndColours) {
  const BitRows patterns[] = {pattern(5, 4, 0), pattern(40, 3, 1), pattern(33, 7, 2)};
  const int32_t offsets[] = {0, 5, 32};
  QtzSCTextComponent components[3];
  for (int i = 0; i < 3; ++i)
    components[i] = QtzSCTextComponent{bitmap(patterns[i], offsets[i]),
                                       10 * i,
                                       100 + i,
                                       uint8_t(i),
                                       uint8_t(100 + i),
                                       uint8_t(200 + i)};
  QtzAdtList *tokens = nullptr;
  ASSERT_EQ(colourComponentsToTokens(state_, components, 3, 7, &tokens), 0);
  ASSERT_EQ(tokens->count, 3);
  int i = 0;
  for (QtzAdtListNode *n = tokens->head; n != nullptr; n = n->next, ++i) {
    const auto *t = static_cast<const TclyToken *>(n->data);
    EXPECT_EQ(components[i].bitmap, nullptr);
    EXPECT_EQ(t->width, patterns[i].width);
    EXPECT_EQ(t->height, patterns[i].height);
    EXPECT_EQ(t->wordsPerRow, patterns[i].wordsPerRow);
    EXPECT_EQ(t->x, 10 * i);
    EXPECT_EQ(t->y, 100 + i);
    EXPECT_EQ(t->page, 7);
    const auto *colour = reinterpret_cast<const uint8_t *>(t->colour);
    EXPECT_EQ(colour[0], i);
    EXPECT_EQ(colour[1], 100 + i);
    EXPECT_EQ(colour[2], 200 + i);
    const std::vector<uint32_t> words(t->bits, t->bits + t->wordsPerRow * t->height);
    EXPECT_EQ(words, patterns[i].words) << i;
  }
  tclyFreeTokenList(state_, tokens);
}

TEST_F(ColourTest, FailuresFreeEveryBitmapAndHandOutNothing) {
  const size_t live = norvtest::heap.live.size();
  for (long n = 1;; ++n) {
    ASSERT_LT(n, 100);
    QtzSCTextComponent components[2] = {{bitmap(pattern(9, 9, 3), 0), 0, 0, 1, 2, 3},
                                        {bitmap(pattern(70, 2, 4), 0), 5, 5, 4, 5, 6}};
    norvtest::heap.failAt = norvtest::heap.requests + n;
    QtzAdtList *tokens = nullptr;
    const int32_t status = colourComponentsToTokens(state_, components, 2, 0, &tokens);
    norvtest::heap.failAt = -1;
    EXPECT_EQ(components[0].bitmap, nullptr);
    EXPECT_EQ(components[1].bitmap, nullptr);
    if (status == 0) {
      EXPECT_EQ(tokens->count, 2);
      tclyFreeTokenList(state_, tokens);
      break;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(tokens, nullptr);
    EXPECT_EQ(norvtest::heap.live.size(), live) << "attempt " << n;
  }
  QtzSCTextComponent wrong{nullptr, 0, 0, 0, 0, 0};
  QtzAdtList *tokens = nullptr;
  EXPECT_EQ(colourComponentsToTokens(state_, &wrong, 1, 0, &tokens), 10003);
  EXPECT_EQ(tokens, nullptr);
}

}  // namespace
