// Coding halftone regions: pages with a screened ramp beside text (and the corpus picture page)
// found, reduced to grey and coded as pattern dictionary plus halftone region, decoded by our
// decoder and by jbig2dec and compared pixel by pixel with the re-screening model (each whole
// cell drawn with the dot pattern of its grey value); the key and cell selection; refusals and
// allocation failures.
#include <cstring>

#include "halftone_support.h"
#include "jb2_stream.h"
#include "jbig2_decoder.h"
#include "jbig2_seg_write.h"
#include "qtz_image.h"

namespace {

using httest::Bits;

class CodeTest : public httest::HalftoneTest {
 protected:
  // A page stream: page information, what `write` codes, end of page and end of file.
  template <typename Write>
  std::vector<uint8_t> pageStream(int width, int height, Write write) {
    DataSink *sink = nullptr;
    Jb2File *stream = nullptr;
    EXPECT_EQ(memSinkNew(state_, &sink), 0);
    EXPECT_EQ(jb2NewStream(nullptr, sink, state_, &stream), 0);
    Jbig2PageRecord page{};
    page.header.page = 1;
    page.info.width = static_cast<uint32_t>(width);
    page.info.height = static_cast<uint32_t>(height);
    EXPECT_EQ(writePageInfo(stream, &page), 0);
    write(stream);
    Jbig2SegHeader end{};
    end.page = 1;
    EXPECT_EQ(writeEndOfPage(stream, &end), 0);
    Jbig2SegHeader eof{};
    EXPECT_EQ(writeEndOfFile(stream, &eof), 0);
    jb2FreeStream(stream);
    QtzAdtList *blocks = nullptr;
    EXPECT_EQ(memSinkClose(sink, &blocks), 0);
    std::vector<uint8_t> bytes;
    for (QtzAdtListNode *n = blocks->head; n != nullptr; n = n->next) {
      const auto *b = static_cast<const SinkBlock *>(n->data);
      bytes.insert(bytes.end(), b->data, b->data + b->used);
    }
    memSinkFreeBlocks(state_, blocks);
    return bytes;
  }

  Bits decodeOurs(const std::vector<uint8_t> &bytes) {
    Jbig2Decoder *d = nullptr;
    EXPECT_EQ(QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state_),
              0);
    Bits out;
    EXPECT_EQ(QtzJbig2_decodePage(d, bytes.data(), bytes.size(), nullptr), 0) << errors_.text();
    if (d->page != nullptr) {
      const QtzImage *p = d->page;
      out = Bits(p->hdr.width, p->hdr.height);
      for (int y = 0; y < out.height; ++y) {
        const uint8_t *row = p->rows[y + p->hdr.yoff];
        for (int x = 0; x < out.width; ++x) {
          uint32_t w;
          std::memcpy(&w, row + 4 * (x >> 5), 4);
          out.set(x, y, (w >> (31 - (x & 31))) & 1);
        }
      }
    }
    QtzJbig2_freeDecoder(&d);
    return out;
  }

  static Bits decodeJbig2dec(const std::vector<uint8_t> &bytes) {
    norvtest::TempDir dir;
    const std::string in = dir.file("in.jb2"), out = dir.file("out.pbm");
    EXPECT_TRUE(norvtest::writeFile(in, bytes));
    const norvtest::ToolRun run =
        norvtest::runTool("jbig2dec -e -t pbm -o " + norvtest::shellQuote(out) + " " +
                          norvtest::shellQuote(in) + " 2>&1");
    EXPECT_EQ(run.text().find("WARNING"), std::string::npos) << run.text();
    return httest::fromPnm(norvtest::readPnm(out));
  }

  // The page as the coded regions draw it: every whole cell of each region with the pattern of
  // its white count's grey value, all else white.
  Bits rescreened(const Bits &page, const std::vector<QtzHalftoneRegion> &regions, int32_t key) {
    Bits out(page.width, page.height);
    for (const QtzHalftoneRegion &r : regions) {
      if (r.key != key || r.cellSize <= 0) continue;
      const int c = r.cellSize, area = c * c;
      uint32_t *bits = nullptr;
      EXPECT_EQ(htr::buildPatterns(state_, c, r.greyLevels, &bits), 0);
      if (bits == nullptr) continue;
      for (int gy = 0; gy < r.height / c; ++gy)
        for (int gx = 0; gx < r.width / c; ++gx) {
          int whites = 0;
          for (int y = 0; y < c; ++y)
            for (int x = 0; x < c; ++x) whites += 1 - page.get(r.x + gx * c + x, r.y + gy * c + y);
          const int v = c == 4 || c == 16 ? ((area + 1) / 2 + whites * area) / (area + 1) : whites;
          for (int y = 0; y < c; ++y)
            for (int x = 0; x < c; ++x) {
              const int px = r.x + gx * c + x, py = r.y + gy * c + y;
              if (px < page.width && py < page.height)
                out.set(px, py, (bits[v * c + y] >> (31 - x)) & 1);
            }
        }
      qtz::release(state_, bits);
    }
    return out;
  }

  static long differing(const Bits &a, const Bits &b) {
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (size_t i = 0; i < a.px.size(); ++i) n += a.px[i] != b.px[i];
    return n;
  }

  // Finds, reduces, codes and decodes a page; the decoded pages must equal the model.
  void roundTrip(const Bits &bits, int dpi, int expectedCell) {
    Pixr *p = page(bits, dpi);
    Pixr *mask = nullptr;
    QtzAdtList *regions = nullptr;
    int32_t cell = 0;
    ASSERT_EQ(GetAllHalftoneInfo(state_, p, &mask, &regions, &cell), 0) << errors_.text();
    own(mask);
    ASSERT_EQ(cell, expectedCell);
    ASSERT_NE(regions, nullptr);
    QtzAdtList *greys = nullptr;
    ASSERT_EQ(compressHalftoneToGray(state_, p, regions, cell, &greys), 0);
    const std::vector<uint8_t> bytes = pageStream(bits.width, bits.height, [&](Jb2File *stream) {
      EXPECT_EQ(encodeHalftoneJBig2(&regions, greys, stream, 0, 1, state_), 0);
    });
    const Bits model = rescreened(bits, httest::regionsOf(regions), 0);
    freeImages(greys);
    freeRegions(regions);
    long inked = 0;
    for (uint8_t v : model.px) inked += v;
    EXPECT_GT(inked, 1000);
    EXPECT_EQ(differing(decodeOurs(bytes), model), 0) << "our decoder";
    if (norvtest::toolAvailable("jbig2dec")) {
      EXPECT_EQ(differing(decodeJbig2dec(bytes), model), 0) << "jbig2dec";
    }
  }
};

TEST_F(CodeTest, FoundRegionsDecodeToTheRescreenedGreyPicture) {
  struct Case {
    int dpi, period, width, height;
    int margin;  // right and bottom of the ramp
  };
  // The last case's ramp runs to the page's corner over sides that are not whole cells: its
  // region stops at the page's edge, where the decoders want it.
  for (const Case c : {Case{300, 8, 1200, 700, 30}, Case{200, 6, 900, 600, 30},
                       Case{100, 4, 600, 450, 30}, Case{200, 6, 900, 600, 0}}) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi, margin " << c.margin);
    Bits bits(c.width, c.height);
    httest::paintText(bits, 20, 20, c.width / 2 - 40, c.height - 40, 3, c.dpi / 12);
    httest::paintRamp(bits, c.width / 2, c.height / 6, c.width / 2 - c.margin,
                      c.height * 5 / 6 - c.margin, c.period, 0.05, 0.95);
    roundTrip(bits, c.dpi, c.period / 2);
  }
}

TEST_F(CodeTest, CorpusPictureDecodesToTheRescreenedGreyPicture) {
  if (!norvtest::toolAvailable("tifftopnm")) GTEST_SKIP() << "tifftopnm missing";
  roundTrip(httest::fixturePage("p21_h300_ps2pdf-screen.tif"), 300, 4);
}

QtzHalftoneRegion region(int x, int y, int w, int h, int cell, int key) {
  QtzHalftoneRegion r{};
  r.x = x, r.y = y, r.width = w, r.height = h, r.cellSize = cell, r.key = key;
  return r;
}

// Only regions of the key with a cell size are coded; the regions and grey images are walked in
// step, so the coded region takes its own grey image; cells other than the found ones (3, 5,
// 16) code as well.
TEST_F(CodeTest, OnlyTheKeysRegionsWithACellAreCoded) {
  Bits bits(200, 120);
  httest::paintRamp(bits, 0, 0, 200, 120, 6, 0.0, 1.0);
  Pixr *p = page(bits, 300);
  for (int cell : {3, 5, 16}) {
    SCOPED_TRACE(cell);
    QtzAdtList *regions = regionList({region(0, 0, 64, 48, cell, 1), region(80, 0, 96, 96, cell, 2),
                                      region(0, 64, 48, 48, cell, 2)});
    QtzAdtList *greys = nullptr;
    ASSERT_EQ(compressHalftoneToGray(state_, p, regions, cell, &greys), 0);
    // The third region loses its cell: it is skipped although its key matches.
    static_cast<QtzHalftoneRegion *>(regions->tail->data)->cellSize = 0;
    const std::vector<uint8_t> bytes = pageStream(200, 120, [&](Jb2File *stream) {
      EXPECT_EQ(encodeHalftoneJBig2(&regions, greys, stream, 2, 1, state_), 0);
    });
    const Bits model = rescreened(bits, httest::regionsOf(regions), 2);
    EXPECT_EQ(differing(decodeOurs(bytes), model), 0);
    if (norvtest::toolAvailable("jbig2dec")) {
      EXPECT_EQ(differing(decodeJbig2dec(bytes), model), 0) << "jbig2dec";
    }
    freeImages(greys);
    freeRegions(regions);
  }
}

TEST_F(CodeTest, InconsistentArgumentsAreRefused) {
  Bits bits(64, 64);
  Pixr *p = page(bits, 300);
  QtzAdtList *regions = regionList({region(0, 0, 32, 32, 4, 0), region(32, 32, 32, 32, 4, 0)});
  QtzAdtList *greys = nullptr;
  ASSERT_EQ(compressHalftoneToGray(state_, p, regions, 4, &greys), 0);
  QtzAdtList *none = nullptr;
  const auto status = [&](auto &&change) {
    int32_t result = -1;
    pageStream(64, 64, [&](Jb2File *stream) { result = change(stream); });
    return result;
  };
  EXPECT_EQ(
      status([&](Jb2File *s) { return encodeHalftoneJBig2(nullptr, greys, s, 0, 1, state_); }),
      10003);
  EXPECT_EQ(status([&](Jb2File *s) { return encodeHalftoneJBig2(&none, greys, s, 0, 1, state_); }),
            10003);
  EXPECT_EQ(
      status([&](Jb2File *s) { return encodeHalftoneJBig2(&regions, nullptr, s, 0, 1, state_); }),
      10003);
  EXPECT_EQ(encodeHalftoneJBig2(&regions, greys, nullptr, 0, 1, state_), 10003);
  // Lists of different lengths.
  QtzAdtList *longer = regionList(
      {region(0, 0, 32, 32, 4, 0), region(32, 32, 32, 32, 4, 0), region(0, 40, 8, 8, 4, 0)});
  EXPECT_EQ(
      status([&](Jb2File *s) { return encodeHalftoneJBig2(&longer, greys, s, 0, 1, state_); }),
      10003);
  // A grey level count that does not fit the cell, a grey image of another cell's size.
  auto *first = static_cast<QtzHalftoneRegion *>(regions->head->data);
  first->greyLevels = 18;
  EXPECT_EQ(
      status([&](Jb2File *s) { return encodeHalftoneJBig2(&regions, greys, s, 0, 1, state_); }),
      10003);
  first->greyLevels = 16;
  first->cellSize = 8;
  EXPECT_EQ(
      status([&](Jb2File *s) { return encodeHalftoneJBig2(&regions, greys, s, 0, 1, state_); }),
      10003);
  EXPECT_EQ(errors_.text(), "");
  freeRegions(longer);
  freeImages(greys);
  freeRegions(regions);
}

TEST_F(CodeTest, AllocationFailuresAreReported) {
  Bits bits(96, 64);
  httest::paintRamp(bits, 0, 0, 96, 64, 8);
  Pixr *p = page(bits, 300);
  QtzAdtList *regions = regionList({region(0, 0, 48, 48, 4, 0), region(48, 0, 48, 64, 4, 0)});
  QtzAdtList *greys = nullptr;
  ASSERT_EQ(compressHalftoneToGray(state_, p, regions, 4, &greys), 0);
  DataSink *sink = nullptr;
  Jb2File *stream = nullptr;
  norvtest::failEachRequest([&](long) {
    httest::unfailing([&] {
      memSinkNew(state_, &sink);
      jb2NewStream(nullptr, sink, state_, &stream);
    });
    const int32_t status = encodeHalftoneJBig2(&regions, greys, stream, 0, 1, state_);
    httest::unfailing([&] {
      jb2FreeStream(stream);
      QtzAdtList *blocks = nullptr;
      memSinkClose(sink, &blocks);
      memSinkFreeBlocks(state_, blocks);
    });
    if (status != 0) {
      EXPECT_EQ(status, 1);
      return false;
    }
    return true;
  });
  freeImages(greys);
  freeRegions(regions);
}

}  // namespace
