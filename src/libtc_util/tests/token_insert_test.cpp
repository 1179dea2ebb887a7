// Token bitmaps: run lists drawn into bitmaps (rows, markers, word boundaries, refusals);
// packed, grey and colour insertion against a per-pixel model on random tokens and pages
// (every shift, clipping, off-page positions, the framed page); a real page cut into tokens by
// run lists and inserted back at 1, 8 and 24 bits; Group 4 tokens decompressed and decoded into
// pages; framed bitmaps; failure at every allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "ccitt_internal.h"
#include "qtz_internal.h"
#include "tc_util.h"
#include "tc_util_internal.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using TokenTest = norvtest::TrackedStateTest;

// A token over test-owned words.
struct Token {
  std::vector<uint32_t> words;
  QtzTokenBitmap t{};
  Token(int width, int height) : words(size_t((width + 31) / 32) * height) {
    t = {words.data(), nullptr, 0, uint16_t(width), uint16_t(height), uint16_t((width + 31) / 32)};
  }
  int get(int x, int y) const {
    return (words[size_t(y) * t.wordsPerRow + x / 32] >> (31 - x % 32)) & 1;
  }
  void set(int x, int y) { words[size_t(y) * t.wordsPerRow + x / 32] |= 0x80000000u >> (x % 32); }
};

Token randomToken(std::mt19937 &random, int width, int height) {
  Token k(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (random() % 3 == 0) k.set(x, y);
  return k;
}

int packedPixel(const QtzImage *page, int64_t x, int64_t y) {
  const auto *row = reinterpret_cast<const uint32_t *>(page->rows[y]);
  return (row[x / 32] >> (31 - x % 32)) & 1;
}

TEST_F(TokenTest, RunListsDrawRowsAndWords) {
  struct Case {
    const char *name;
    std::vector<uint16_t> runs;
    int height, wordsPerRow, origin;
    std::vector<std::pair<int, int>> pixels;  // (row, column) of every set pixel
  };
  auto span = [](int row, int from, int to) {
    std::vector<std::pair<int, int>> p;
    for (int x = from; x <= to; ++x) p.push_back({row, x});
    return p;
  };
  auto join = [](std::vector<std::pair<int, int>> a, const std::vector<std::pair<int, int>> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"next row when not right of the last end",
       {0, 3, 5, 2, 2, 4},
       2,
       1,
       0,
       join(join(span(0, 0, 2), span(0, 5, 6)), span(1, 2, 5))},
      {"row marker", {1, 1, 33, 0, 4, 2}, 40, 1, 0, join(span(0, 1, 1), span(33, 4, 5))},
      {"across three words", {30, 40}, 1, 3, 0, span(0, 30, 69)},
      {"origin", {105, 3, 100, 0, 110, 1}, 101, 1, 100, join(span(0, 5, 7), span(100, 10, 10))},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QtzTokenBitmap t{};
    t.wordsPerRow = uint16_t(c.wordsPerRow);
    t.width = uint16_t(c.wordsPerRow * 32);
    t.height = uint16_t(c.height);
    ASSERT_EQ(RunsToUnframedBitmap(&t, c.runs.data(), int32_t(c.runs.size() / 2), c.height,
                                   c.wordsPerRow, c.origin, state_),
              0);
    std::vector<uint32_t> expected(size_t(c.height) * c.wordsPerRow);
    for (auto [y, x] : c.pixels)
      expected[size_t(y) * c.wordsPerRow + x / 32] |= 0x80000000u >> (x % 32);
    EXPECT_EQ(std::vector<uint32_t>(t.bits, t.bits + expected.size()), expected);
    qtz::release(state_, t.bits);
  }
  // Past the right edge, below the last row, left of the origin.
  const std::vector<std::vector<uint16_t>> outside = {{40, 3}, {12, 1, 11, 1, 10, 1}, {5, 1}};
  for (const auto &runs : outside) {
    QtzTokenBitmap t{};
    EXPECT_EQ(RunsToUnframedBitmap(&t, runs.data(), int32_t(runs.size() / 2), 2, 1, 10, state_),
              10003);
    EXPECT_EQ(t.bits, nullptr);
  }
}

class PageTest : public TokenTest {
 protected:
  void TearDown() override {
    for (QtzImage *p : pages_) QtzImage_free(p);
    TokenTest::TearDown();
  }
  QtzImage *page(int type, int width, int height, uint32_t seed) {
    QtzImage *p = nullptr;
    EXPECT_EQ(QtzImage_new(state_, type, width, height, &p), 0);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
      uint8_t *row = p->rows[y];
      const int bytes = type == QTZ_IMAGE_PACKED ? p->hdr.bytesPerLine
                        : type == QTZ_IMAGE_RGB  ? 3 * width
                                                 : width;
      for (int i = 0; i < bytes; ++i) row[i] = uint8_t(random());
    }
    pages_.push_back(p);
    return p;
  }
  std::vector<uint8_t> pixelsOf(const QtzImage *p) {
    std::vector<uint8_t> all;
    for (int y = 0; y < p->hdr.height; ++y)
      all.insert(all.end(), p->rows[y], p->rows[y] + p->hdr.bytesPerLine);
    return all;
  }
  std::vector<QtzImage *> pages_;
};

TEST_F(PageTest, PackedInsertionXorsEveryShift) {
  std::mt19937 random(5);
  for (const int framed : {0, 1}) {
    for (int x = 0; x < 70; x += 3) {
      SCOPED_TRACE("x " + std::to_string(x) + (framed ? " framed" : ""));
      QtzImage *p = page(QTZ_IMAGE_PACKED, 200 + 64 * framed, 40 + 64 * framed, uint32_t(x));
      const std::vector<uint8_t> before = pixelsOf(p);
      const Token k = randomToken(random, 1 + int(random() % 90), 1 + int(random() % 30));
      const QtzTokenPosition pos{0, 0, int16_t(x), 25};
      ASSERT_EQ(InsertBoxPacked(p, &pos, &k.t, framed), 0);
      const int frame = 32 * framed;
      for (int y = 0; y < p->hdr.height; ++y)
        for (int px = 0; px < p->hdr.width; ++px) {
          const int tx = px - x - frame, ty = y - 25 - frame;
          const int flip = tx >= 0 && ty >= 0 && tx < k.t.width && ty < k.t.height && k.get(tx, ty);
          const auto *old =
              reinterpret_cast<const uint32_t *>(before.data() + size_t(y) * p->hdr.bytesPerLine);
          ASSERT_EQ(packedPixel(p, px, y), ((old[px / 32] >> (31 - px % 32)) & 1) ^ flip)
              << px << "," << y;
        }
      ASSERT_EQ(InsertBoxPacked(p, &pos, &k.t, framed), 0);
      EXPECT_EQ(pixelsOf(p), before);
    }
  }
}

TEST_F(PageTest, OffPagePositionsChangeNothing) {
  QtzImage *p = page(QTZ_IMAGE_PACKED, 64, 20, 1);
  QtzImage *rgb = page(QTZ_IMAGE_RGB, 64, 20, 2);
  const std::vector<uint8_t> before = pixelsOf(p), beforeRgb = pixelsOf(rgb);
  std::mt19937 random(2);
  const Token k = randomToken(random, 40, 5);
  for (const QtzTokenPosition pos : {QtzTokenPosition{0, 0, -1, 0}, QtzTokenPosition{0, 0, 0, -3},
                                     QtzTokenPosition{0, 0, 40, 0}}) {
    EXPECT_EQ(InsertBoxPacked(p, &pos, &k.t, 0), 2);
    if (pos.x < 40) {
      EXPECT_EQ(InsertBoxRGB(rgb, &pos, &k.t, 0x123456), 2);
    }
  }
  const QtzTokenPosition right{0, 0, 64, 0};
  EXPECT_EQ(InsertBoxRGB(rgb, &right, &k.t, 0x123456), 2);
  EXPECT_EQ(pixelsOf(p), before);
  EXPECT_EQ(pixelsOf(rgb), beforeRgb);
}

// The per-pixel rule of each colour and grey insertion: the new page bytes of one pixel.
using Rule = std::function<void(uint8_t *pixel, int t, int m, const uint8_t *source)>;

TEST_F(PageTest, ColourAndGreyInsertionFollowTheirRules) {
  const uint32_t colour = 0x30A0F0;
  const uint8_t c[3] = {0xF0, 0xA0, 0x30};
  struct Case {
    const char *name;
    int type;
    bool mask, sampled;
    std::function<int32_t(QtzImage *, const QtzImage *, const QtzTokenPosition *,
                          const QtzTokenBitmap *, const QtzTokenBitmap *)>
        insert;
    Rule rule;
  };
  auto blend = [](uint8_t *p, const uint8_t *from, int t, int m) {
    for (int i = 0; i < 3; ++i)
      p[i] = uint8_t(t && m ? (2 * from[i] + p[i]) / 3 : t ? from[i] : (from[i] + 2 * p[i]) / 3);
  };
  const Case cases[] = {
      {"RGB", QTZ_IMAGE_RGB, false, false,
       [&](QtzImage *p, const QtzImage *, const QtzTokenPosition *pos, const QtzTokenBitmap *t,
           const QtzTokenBitmap *) { return InsertBoxRGB(p, pos, t, colour); },
       [&](uint8_t *p, int t, int, const uint8_t *) {
         if (t) p[0] = c[0], p[1] = c[1], p[2] = c[2];
       }},
      {"sampled", QTZ_IMAGE_RGB, false, true,
       [](QtzImage *p, const QtzImage *s, const QtzTokenPosition *pos, const QtzTokenBitmap *t,
          const QtzTokenBitmap *) { return InsertSampledBox(p, s, pos, t); },
       [](uint8_t *p, int t, int, const uint8_t *s) {
         if (t) p[0] = s[0], p[1] = s[1], p[2] = s[2];
       }},
      {"grey scaled", QTZ_IMAGE_GREY8, true, false,
       [](QtzImage *p, const QtzImage *, const QtzTokenPosition *pos, const QtzTokenBitmap *t,
          const QtzTokenBitmap *m) { return InsertBoxScaled(p, pos, t, m); },
       [](uint8_t *p, int t, int m, const uint8_t *) {
         if (t || m) *p = t && m ? 85 : t ? 0 : 170;
       }},
      {"RGB scaled", QTZ_IMAGE_RGB, true, false,
       [&](QtzImage *p, const QtzImage *, const QtzTokenPosition *pos, const QtzTokenBitmap *t,
           const QtzTokenBitmap *m) { return InsertBoxRGB_scaled(p, pos, t, m, colour); },
       [&](uint8_t *p, int t, int m, const uint8_t *) {
         if (t || m) blend(p, c, t, m);
       }},
      {"sampled scaled", QTZ_IMAGE_RGB, true, true,
       [](QtzImage *p, const QtzImage *s, const QtzTokenPosition *pos, const QtzTokenBitmap *t,
          const QtzTokenBitmap *m) { return InsertSampledBox_scaled(p, s, pos, t, m); },
       [&](uint8_t *p, int t, int m, const uint8_t *s) {
         if (t || m) blend(p, s, t, m);
       }},
  };
  std::mt19937 random(11);
  for (const Case &k : cases) {
    // Inside, and cut at the right and bottom edges.
    for (const QtzTokenPosition pos :
         {QtzTokenPosition{0, 0, 7, 3}, QtzTokenPosition{0, 0, 60, 25}}) {
      SCOPED_TRACE(std::string(k.name) + " at " + std::to_string(pos.x));
      const int bytes = k.type == QTZ_IMAGE_RGB ? 3 : 1;
      QtzImage *p = page(k.type, 80, 33, uint32_t(random()));
      const Token t = randomToken(random, 45, 20), m = randomToken(random, 45, 20);
      QtzImage *source = k.sampled ? page(QTZ_IMAGE_RGB, 50, 20, uint32_t(random())) : nullptr;
      std::vector<uint8_t> expected = pixelsOf(p);
      for (int y = 0; y < 20 && pos.y + y < 33; ++y)
        for (int x = 0; x < 45 && pos.x + x < 80; ++x) {
          const uint8_t *s = source != nullptr ? source->rows[y] + 3 * (50 - 45 + x) : nullptr;
          k.rule(&expected[size_t(pos.y + y) * p->hdr.bytesPerLine + size_t(pos.x + x) * bytes],
                 t.get(x, y), k.mask ? m.get(x, y) : 0, s);
        }
      ASSERT_EQ(k.insert(p, source, &pos, &t.t, k.mask ? &m.t : nullptr), 0);
      EXPECT_EQ(pixelsOf(p), expected);
    }
  }
}

// A page cut into 61 x 47 tiles, each made a token from its run list and inserted back.
TEST_F(PageTest, RealPageCutIntoTokensIsRebuiltAtEveryDepth) {
  const norvtest::Pnm pbm = norvtest::renderPagePnm(NORV_TEST_DATA "/page.ps", "pbmraw", 150);
  if (!pbm.valid()) GTEST_SKIP() << "Ghostscript could not render the page";
  auto black = [&](int x, int y) { return (pbm.row(y)[x / 8] >> (7 - x % 8)) & 1; };
  QtzImage *mono = nullptr, *grey = nullptr, *rgb = nullptr;
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_PACKED, pbm.width, pbm.height, &mono), 0);
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_GREY8, pbm.width, pbm.height, &grey), 0);
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_RGB, pbm.width, pbm.height, &rgb), 0);
  pages_ = {mono, grey, rgb};
  for (int y = 0; y < pbm.height; ++y) {
    std::fill(grey->rows[y], grey->rows[y] + pbm.width, 255);
    std::fill(rgb->rows[y], rgb->rows[y] + 3 * pbm.width, 255);
  }
  for (int ty = 0; ty < pbm.height; ty += 47)
    for (int tx = 0; tx < pbm.width; tx += 61) {
      const int w = std::min(61, pbm.width - tx), h = std::min(47, pbm.height - ty);
      std::vector<uint16_t> runs;
      for (int y = 0; y < h; ++y) {
        runs.insert(runs.end(), {uint16_t(y), 0});
        for (int x = 0; x < w;) {
          if (!black(tx + x, ty + y)) {
            ++x;
            continue;
          }
          int end = x;
          while (end < w && black(tx + end, ty + y)) ++end;
          runs.insert(runs.end(), {uint16_t(tx + x), uint16_t(end - x)});
          x = end;
        }
      }
      QtzTokenBitmap t{nullptr, nullptr, 0, uint16_t(w), uint16_t(h), uint16_t((w + 31) / 32)};
      ASSERT_EQ(RunsToUnframedBitmap(&t, runs.data(), int32_t(runs.size() / 2), h, t.wordsPerRow,
                                     tx, state_),
                0);
      const QtzTokenPosition pos{0, 0, int16_t(tx), int16_t(ty)};
      EXPECT_EQ(InsertBoxPacked(mono, &pos, &t, 0), 0);
      EXPECT_EQ(InsertBoxScaled(grey, &pos, &t, nullptr), 0);
      EXPECT_EQ(InsertBoxRGB(rgb, &pos, &t, 0), 0);
      qtz::release(state_, t.bits);
    }
  long wrong = 0;
  for (int y = 0; y < pbm.height; ++y)
    for (int x = 0; x < pbm.width; ++x) {
      const int b = black(x, y);
      wrong += packedPixel(mono, x, y) != b;
      wrong += grey->rows[y][x] != (b ? 0 : 255);
      wrong += rgb->rows[y][3 * x] != (b ? 0 : 255) || rgb->rows[y][3 * x + 2] != (b ? 0 : 255);
    }
  EXPECT_EQ(wrong, 0);
}

// T.6 data of a token, from the state's hooks (a compressed token's bits).
uint32_t *g4Of(const Token &k, int32_t *size, QtzState *state) {
  std::vector<uint8_t> out(4096);
  int32_t n = int32_t(out.size());
  EXPECT_EQ(ccittEncodeG4(k.words.data(), k.t.width, k.t.height, k.t.wordsPerRow, out.data(), &n, 0,
                          state),
            0);
  auto *data = static_cast<uint32_t *>(qtz::allocate(state, size_t(n) + 4));
  std::memcpy(data, out.data(), size_t(n));
  *size = n;
  return data;
}

TEST_F(PageTest, Group4TokensDecompressAndDecodeIntoPages) {
  std::mt19937 random(3);
  CcittDecoder *decoder = nullptr;
  ASSERT_EQ(ccittNewDecoder(&decoder, state_, nullptr), 0);
  for (const bool viaDecoder : {false, true}) {
    SCOPED_TRACE(viaDecoder ? "caller's decoder" : "own decoder");
    const Token k = randomToken(random, 77, 23);
    QtzTokenBitmap t = k.t;
    t.bits = g4Of(k, &t.compressedSize, state_);
    t.wordsPerRow = 0;
    void *old = nullptr;
    ASSERT_EQ(viaDecoder ? decompressSingleUseTokenC(&t, &old, decoder, state_)
                         : decompressSingleUseToken(&t, &old, state_),
              0);
    EXPECT_NE(old, nullptr);
    qtz::release(state_, old);
    EXPECT_EQ(t.wordsPerRow, 3);
    EXPECT_EQ(t.compressedSize, 0);
    EXPECT_EQ(std::vector<uint32_t>(t.bits, t.bits + k.words.size()), k.words);
    qtz::release(state_, t.bits);

    // Straight into a framed page, ORed into what is there.
    QtzImage *p = page(QTZ_IMAGE_PACKED, 100 + 64, 20 + 64, 9);
    const std::vector<uint8_t> before = pixelsOf(p);
    int32_t size = 0;
    uint32_t *data = g4Of(k, &size, state_);
    const auto *bytes = reinterpret_cast<const uint8_t *>(data);
    ASSERT_EQ(viaDecoder
                  ? InsertCompressedBoxPackedC(p, 40, 5, 77, 23, bytes, size, 1, decoder, state_)
                  : InsertCompressedBoxPacked(p, 40, 5, 77, 23, bytes, size, 1, state_),
              0);
    qtz::release(state_, data);
    for (int y = 0; y < p->hdr.height; ++y)
      for (int x = 0; x < p->hdr.width; ++x) {
        const int tx = x - 72, ty = y - 37;
        const int token = tx >= 0 && ty >= 0 && tx < 77 && ty < 23 ? k.get(tx, ty) : 0;
        const auto *old =
            reinterpret_cast<const uint32_t *>(before.data() + size_t(y) * p->hdr.bytesPerLine);
        ASSERT_EQ(packedPixel(p, x, y), ((old[x / 32] >> (31 - x % 32)) & 1) | token)
            << x << "," << y;
      }
  }
  ccittFreeDecoder(&decoder);
}

TEST_F(PageTest, CorruptAndMixedTokens) {
  const uint8_t junk[] = {0x01, 0x01, 0x01, 0x01};  // seven 0 bits and a 1: no T.6 code
  auto *data = static_cast<uint32_t *>(qtz::allocate(state_, sizeof junk));
  std::memcpy(data, junk, sizeof junk);
  QtzTokenBitmap t{data, nullptr, int32_t(sizeof junk), 20, 4, 0};
  void *old = reinterpret_cast<void *>(1);
  EXPECT_NE(decompressSingleUseToken(&t, &old, state_), 0);
  EXPECT_EQ(old, nullptr);
  EXPECT_EQ(t.bits, data);  // unchanged: still the caller's compressed data
  EXPECT_EQ(t.wordsPerRow, 0);

  std::mt19937 random(4);
  const Token plain = randomToken(random, 30, 3);
  Token source = randomToken(random, 40, 6);
  QtzTokenBitmap tokens[3] = {plain.t, {nullptr, nullptr, 0, 0, 0, 0}, source.t};
  tokens[2].bits = g4Of(source, &tokens[2].compressedSize, state_);
  tokens[2].wordsPerRow = 0;
  ASSERT_EQ(decompressAnyCompressedTokens(tokens, 3, state_), 0);
  EXPECT_EQ(tokens[0].bits, plain.t.bits);
  EXPECT_EQ(tokens[1].bits, nullptr);
  EXPECT_EQ(std::vector<uint32_t>(tokens[2].bits, tokens[2].bits + source.words.size()),
            source.words);
  qtz::release(state_, tokens[2].bits);
  qtz::release(state_, data);
  errors_.text();
}

TEST_F(PageTest, ResidualsTakeEitherForm) {
  std::mt19937 random(8);
  const Token k = randomToken(random, 50, 10);
  QtzImage *a = page(QTZ_IMAGE_PACKED, 128, 30, 1);
  QtzImage *b = page(QTZ_IMAGE_PACKED, 128, 30, 2);
  for (int y = 0; y < 30; ++y) {
    std::memset(a->rows[y], 0, a->hdr.bytesPerLine);
    std::memset(b->rows[y], 0, b->hdr.bytesPerLine);
  }
  ASSERT_EQ(InsertResidual(a, k.words.data(), 0, 70, 12, 50, 10, 0, state_), 0);
  int32_t size = 0;
  uint32_t *data = g4Of(k, &size, state_);
  ASSERT_EQ(InsertResidual(b, data, size, 70, 12, 50, 10, 0, state_), 0);
  qtz::release(state_, data);
  EXPECT_EQ(pixelsOf(a), pixelsOf(b));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 50; ++x) ASSERT_EQ(packedPixel(a, 70 + x, 12 + y), k.get(x, y));
}

class FramedTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    // A state with image-core contexts.
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Qtz_initIPWState(state_), 0);
  }
};

TEST_F(FramedTest, FramedBitmapsHoldTheContentInsideTheFrame) {
  for (const int width : {1, 31, 100, 2550}) {
    int32_t offset = -1;
    QtzImage *image = nullptr;
    ASSERT_EQ(newFramedBitmap(state_, width, 7, &offset, &image), 0);
    EXPECT_TRUE(offset == 0 || offset == 32) << offset;
    EXPECT_EQ(image->hdr.width, width + 64);
    EXPECT_EQ(image->hdr.height, 7 + 64);
    EXPECT_GE(image->hdr.bytesPerLine * 8, 32 + offset + width);  // the content fits its rows
    // Content pixel (width - 1, 6) can be set and the whole block is zero otherwise.
    const int64_t x = 32 + offset + width - 1;
    reinterpret_cast<uint32_t *>(image->rows[32 + 6])[x / 32] |= 0x80000000u >> (x % 32);
    long set = 0;
    for (int y = 0; y < image->hdr.height; ++y)
      for (int i = 0; i < image->hdr.bytesPerLine; ++i)
        set += __builtin_popcount(image->rows[y][i]);
    EXPECT_EQ(set, 1);
    freeFramedBitmap(state_, &image);
    EXPECT_EQ(image, nullptr);
  }
  for (long n = 1;; ++n) {
    int32_t offset = 0;
    QtzImage *image = nullptr;
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status = newFramedBitmap(state_, 300, 300, &offset, &image);
    norvtest::heap.failAt = -1;
    if (status == 0) {
      freeFramedBitmap(state_, &image);
      break;
    }
    EXPECT_EQ(image, nullptr);
  }
}

}  // namespace
