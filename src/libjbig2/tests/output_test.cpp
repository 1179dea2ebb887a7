// The document encoder's JBIG2 output: whole documents written through the output table (a
// section dictionary, page dictionaries, two stripes per page with text and generic regions,
// hand-overs between pages) read back by the library's decoder and by jbig2dec, the segment
// headers and fields each entry writes, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "glyph_support.h"
#include "jbig2_output.h"
#include "jbig2_report.h"
#include "pxl_image.h"

namespace {

using jbtest::Glyph;
using jbtest::GlyphPage;
using jbtest::ParsedHeader;

const norvtest::Pnm &textPage() {
  static const norvtest::Pnm page =
      norvtest::renderPagePnm(NORV_TEST_DATA "/text_page.ps", "pbmraw", 300, "-g1400x420");
  return page;
}

// A block of random pixels a page places as a generic region.
struct Block {
  int32_t x, y;
  Glyph bits;
};

// A page as the layers above hand it over: its glyph instances (each glyph a token record)
// and generic blocks.
struct PageModel {
  GlyphPage glyphs;
  std::vector<TclySymbolRecord *> tokenOf;  // per glyph
  std::vector<Block> blocks;
  int32_t split = 0;  // first row of the second stripe

  jbtest::Pbm draw() const {
    jbtest::Pbm out = jbtest::drawPage(glyphs);
    const int rowBytes = (out.width + 7) / 8;
    for (const Block &b : blocks)
      for (int y = 0; y < b.bits.height; ++y)
        for (int x = 0; x < b.bits.width; ++x)
          if (b.bits.pixel(x, y))
            out.bytes[size_t(b.y + y) * rowBytes + (b.x + x) / 8] |=
                static_cast<uint8_t>(0x80 >> ((b.x + x) % 8));
    return out;
  }
};

// A token record over a glyph's bitmap.
TclySymbolRecord tokenFor(Glyph &g) {
  return {g.words.data(),
          nullptr,
          0,
          static_cast<uint16_t>(g.width),
          static_cast<uint16_t>(g.height),
          static_cast<uint16_t>(g.wordsPerRow()),
          0,
          0};
}

// Sizes of random glyphs: glyph i is (width + i % widths) x (height + i % heights).
struct GlyphSizes {
  int32_t width, widths, height, heights;
};

// A page (size and placements left to the caller) of `count` random glyphs.
GlyphPage randomGlyphs(uint32_t seed, int count, GlyphSizes sizes) {
  std::mt19937 random(seed);
  GlyphPage page;
  for (int i = 0; i < count; ++i)
    page.glyphs.push_back(jbtest::randomGlyph(sizes.width + i % sizes.widths,
                                              sizes.height + i % sizes.heights, random));
  return page;
}

// One token record per glyph of the page.
std::vector<TclySymbolRecord> tokensFor(GlyphPage &page) {
  std::vector<TclySymbolRecord> tokens;
  for (Glyph &g : page.glyphs) tokens.push_back(tokenFor(g));
  return tokens;
}

// The first row at or below `from` that no placement spans.
int32_t freeRow(const GlyphPage &p, int32_t from) {
  for (int32_t r = from; r < p.height; ++r) {
    bool spanned = false;
    for (const jbtest::Placement &pl : p.placements)
      spanned |= pl.y < r && pl.y + p.glyphs[pl.glyph].height > r;
    if (!spanned) return r;
  }
  return p.height;
}

// The data of every segment, in order.
std::vector<std::vector<uint8_t>> segmentData(const std::vector<uint8_t> &bytes,
                                              const std::vector<ParsedHeader> &headers) {
  std::vector<std::vector<uint8_t>> out;
  size_t offset = 0;
  for (const ParsedHeader &h : headers) {
    offset += h.headerBytes;
    out.emplace_back(bytes.begin() + offset, bytes.begin() + offset + h.dataLength);
    offset += h.dataLength;
  }
  return out;
}

uint32_t be32(const std::vector<uint8_t> &d, size_t at) {
  return uint32_t{d.at(at)} << 24 | uint32_t{d.at(at + 1)} << 16 | uint32_t{d.at(at + 2)} << 8 |
         d.at(at + 3);
}

class OutputTest : public jbtest::SinkStreamTest {
 protected:
  void TearDown() override {
    if (out_ != nullptr) {
      EXPECT_EQ(ops_.close(out_, ops_.user), 0);
    }
    out_ = nullptr;
    jbtest::SinkStreamTest::TearDown();
  }

  void open(int32_t mode, bool singlePage) {
    jbig2FillOutOps(&ops_);
    ASSERT_EQ(ops_.open(nullptr, state_, mode, 1, singlePage, &out_, &ops_.user), 0);
  }

  std::vector<uint8_t> take() {
    uint8_t *buffer = nullptr;
    size_t length = 99;
    EXPECT_EQ(QtzJbig2_takeEncodedData(out_, &buffer, &length), 0);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    EXPECT_EQ(buffer == nullptr, length == 0);
    jbFree(state_, buffer);
    return bytes;
  }

  // Writes one page of two stripes through the table and the direct entries.
  int32_t writePage(PageModel &page, int32_t pageNumber, std::vector<TclySymbolRecord> &pageTokens,
                    const uint8_t colour = 0) {
    const GlyphPage &g = page.glyphs;
    int32_t status = QtzJbig2_encodePageInfo(g.width, g.height, 300, 300, out_, &colour);
    void *fresh = &fresh;
    if (status == 0)
      status = ops_.pageDict(pageTokens.data(), static_cast<int32_t>(pageTokens.size()), g.width,
                             g.height, 300, 300, 0, nullptr, &fresh, 0, 0, out_, ops_.user);
    if (status != 0) return status;
    EXPECT_EQ(fresh, nullptr);
    std::vector<TclyTextInstance> stripes[2];
    for (const jbtest::Placement &pl : g.placements) {
      const int32_t bottom = pl.y + g.glyphs[pl.glyph].height - 1;
      const int s = bottom < page.split ? 0 : 1;
      stripes[s].push_back({page.tokenOf[pl.glyph], nullptr, pl.x, bottom - s * page.split});
    }
    for (int s = 0; s < 2; ++s) {
      const int32_t top = s * page.split;
      status = ops_.textRegion(stripes[s].data(), static_cast<int32_t>(stripes[s].size()), g.width,
                               s == 0 ? page.split : g.height - page.split, 300, 300, nullptr,
                               pageNumber, nullptr, static_cast<uint8_t>(s), out_, &top);
      for (Block &b : page.blocks) {
        if (status != 0 || (b.y + b.bits.height - 1 < page.split) != (s == 0)) continue;
        QtzImage *image = nullptr;
        status = QtzImage_wrap(state_, b.bits.words.data(), b.bits.width, b.bits.height,
                               b.bits.wordsPerRow(), &image);
        if (status == 0) status = QtzJbig2_encodeGenericRegion(image, 2, b.x, b.y, out_, nullptr);
        void *pixels = nullptr;
        if (image != nullptr) QtzImage_unwrap(image, &pixels);
      }
      if (status == 0 && s == 0)
        status = QtzJbig2_encodeEndOfStripe(page.split - 1, pageNumber, out_);
      if (status != 0) return status;
    }
    return ops_.endOfPage(out_, ops_.user);
  }

  // A new output (not single-page) for tokens none of which is emitted yet.
  void openForTokens(int32_t mode, std::vector<TclySymbolRecord> &tokens) {
    open(mode, false);
    for (TclySymbolRecord &t : tokens) t.emitted = 0;
  }

  // A page of glyphs begun: page information (a colour page, not striped), a page dictionary of
  // the first `count` tokens not yet emitted; the instances of the page's placements.
  std::vector<TclyTextInstance> startGlyphPage(const GlyphPage &page,
                                               std::vector<TclySymbolRecord> &tokens,
                                               int32_t count) {
    const uint8_t colour = 1;
    void *fresh = nullptr;
    EXPECT_EQ(QtzJbig2_encodePageInfo(page.width, page.height, 300, 300, out_, &colour), 0);
    EXPECT_EQ(
        ops_.pageDict(tokens.data(), count, 0, 0, 0, 0, 0, nullptr, &fresh, 0, 0, out_, ops_.user),
        0);
    std::vector<TclyTextInstance> instances;
    for (const jbtest::Placement &pl : page.placements)
      instances.push_back(
          {&tokens[pl.glyph], nullptr, pl.x, pl.y + page.glyphs[pl.glyph].height - 1});
    return instances;
  }

  TclyOutOps ops_{};
  QtzJb2Output *out_ = nullptr;
};

// Two pages: the rendered page (its even glyphs in the section dictionary, the others in its
// page dictionary, two generic blocks) and the page in columns (its own page dictionary, and
// section glyphs placed below the text).
struct Document {
  PageModel pages[2];
  std::vector<TclySymbolRecord> sectionTokens, pageTokens[2];

  explicit Document(const norvtest::Pnm &rendered) {
    std::mt19937 random(46);
    pages[0].glyphs = jbtest::componentsOf(rendered);
    pages[1].glyphs = jbtest::componentsOf(jbtest::transposed(rendered));
    GlyphPage &first = pages[0].glyphs;
    GlyphPage &second = pages[1].glyphs;
    first.height += 100;
    second.height += 60;
    const size_t shared = std::min<size_t>((first.glyphs.size() + 1) / 2, 10);
    for (size_t i = 0; i < shared; ++i) {
      second.placements.push_back({static_cast<int32_t>(second.glyphs.size()),
                                   static_cast<int32_t>(10 + 30 * i), second.height - 50});
      second.glyphs.push_back(first.glyphs[2 * i]);
    }
    pageTokens[0].reserve(first.glyphs.size());
    for (Glyph &g : first.glyphs) pageTokens[0].push_back(tokenFor(g));
    for (size_t i = 0; i < first.glyphs.size(); i += 2) sectionTokens.push_back(pageTokens[0][i]);
    for (size_t i = 0; i < first.glyphs.size(); ++i)
      pages[0].tokenOf.push_back(i % 2 == 0 ? &sectionTokens[i / 2] : &pageTokens[0][i]);
    for (size_t i = 0; i < second.glyphs.size() - shared; ++i)
      pageTokens[1].push_back(tokenFor(second.glyphs[i]));
    for (size_t i = 0; i < second.glyphs.size(); ++i)
      pages[1].tokenOf.push_back(
          i < pageTokens[1].size() ? &pageTokens[1][i] : &sectionTokens[i - pageTokens[1].size()]);
    // Odd glyphs of the first page are emitted through its page dictionary only.
    for (size_t i = 0; i < first.glyphs.size(); i += 2) pageTokens[0][i].emitted = 1;
    pages[0].blocks.push_back({1200, 5, jbtest::randomGlyph(150, 40, random)});
    pages[0].blocks.push_back({100, first.height - 80, jbtest::randomGlyph(200, 60, random)});
    pages[1].blocks.push_back({20, 30, jbtest::randomGlyph(70, 33, random)});
    for (PageModel &p : pages) p.split = freeRow(p.glyphs, p.glyphs.height / 2);
  }
};

struct Setting {
  const char *name;
  int32_t mode;
  bool singlePage;
};

class OutputDocumentTest : public OutputTest, public ::testing::WithParamInterface<Setting> {};

TEST_P(OutputDocumentTest, PagesComeBackPixelExactWithTheirSegmentsInPlace) {
  const norvtest::Pnm &rendered = textPage();
  ASSERT_EQ(rendered.kind, '4') << "Ghostscript rendering failed";
  const Setting setting = GetParam();
  Document doc(rendered);
  open(setting.mode, setting.singlePage);

  void *fresh = &fresh;
  ASSERT_EQ(
      ops_.sectionDict(doc.sectionTokens.data(), static_cast<int32_t>(doc.sectionTokens.size()),
                       nullptr, &fresh, 0, 0, out_, ops_.user),
      0)
      << errors_.text();
  EXPECT_EQ(fresh, nullptr);
  const std::vector<uint8_t> globals = take();
  std::vector<uint8_t> pageBytes[2];
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(writePage(doc.pages[k], k + 1, doc.pageTokens[k]), 0) << errors_.text();
    pageBytes[k] = take();
  }
  for (const auto &tokens : {doc.sectionTokens, doc.pageTokens[0], doc.pageTokens[1]})
    for (const TclySymbolRecord &t : tokens) EXPECT_EQ(t.emitted, 1);

  // Segment numbers run on across the hand-overs; page associations and end-of-page segments.
  uint32_t next = 0;
  for (int part = 0; part < 3; ++part) {
    const std::vector<uint8_t> &bytes = part == 0 ? globals : pageBytes[part - 1];
    const std::vector<ParsedHeader> headers = parseAll(bytes);
    const std::vector<std::vector<uint8_t>> data = segmentData(bytes, headers);
    ASSERT_FALSE(headers.empty());
    int endsOfPage = 0, stripes = 0, regions = 0;
    for (const ParsedHeader &h : headers) {
      EXPECT_EQ(h.number, next++);
      // Page dictionaries belong to page 1 of a single-page stream, to no page otherwise.
      const bool dictionary = h.type == 0 || h.type == 53;
      const uint32_t page = setting.singlePage ? (part == 0 ? 0 : 1)
                            : dictionary       ? 0
                                               : static_cast<uint32_t>(part);
      EXPECT_EQ(h.page, page) << "segment " << h.number << " of type " << int{h.type};
      if (part == 0) {
        EXPECT_TRUE(dictionary);
      }
      // The coding of each kind of segment follows the mode (the same before and after every
      // hand-over); mode 1 uses the standard tables only and never transposes.
      const std::vector<uint8_t> &d = data[&h - headers.data()];
      const int huffman = setting.mode == 3 ? 0 : 1;
      const int coded = h.type == 0    ? d.at(1)
                        : h.type == 6  ? d.at(18)
                        : h.type == 38 ? d.at(17)
                                       : -1;
      if (coded >= 0) {
        EXPECT_EQ(coded & 1, huffman) << "segment " << h.number << " of type " << int{h.type};
      }
      if (setting.mode == 1) {
        EXPECT_TRUE(h.type != 53 && (h.type != 6 || (d.at(18) & 0x40) == 0));
      }
      endsOfPage += h.type == 49;
      stripes += h.type == 50;
      regions += h.type == 6 || h.type == 38;
    }
    if (part == 0) continue;
    EXPECT_EQ(endsOfPage, setting.singlePage ? 0 : 1);
    EXPECT_EQ(stripes, 1);
    EXPECT_EQ(regions, 2 + static_cast<int>(doc.pages[part - 1].blocks.size()));
  }

  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE("page " + std::to_string(k + 1));
    std::vector<uint8_t> stream = globals;
    stream.insert(stream.end(), pageBytes[k].begin(), pageBytes[k].end());
    const jbtest::Pbm model = doc.pages[k].draw();
    jbtest::expectPageDecodes(state_, stream, model);
    if (k != 0 || !norvtest::toolAvailable("jbig2dec")) continue;
    const jbtest::OutsideDecode file =
        jbtest::decodeWithJbig2dec(jbtest::withFileHeader(stream), false);
    EXPECT_EQ(file.run.status, 0) << file.run.text();
    EXPECT_TRUE(file.page.raster == model.bytes) << "jbig2dec, file with the T.88 header";
  }
}

// A page-information segment's fields, read back from the bytes written.
struct PageInfoCase {
  int32_t dpi;
  int32_t height;
  uint8_t colour;
  uint32_t pixelsPerMetre;
  uint32_t striping;
};

TEST_F(OutputTest, PageInformationCarriesResolutionsAndStriping) {
  const PageInfoCase cases[] = {
      {300, 3300, 0, 11811, 0x8000 | 3299},
      {200, 100, 1, 7874, 0},
      {0, 1, 0, 0, 0x8000},
      {72, 40000, 0, 2835, 0xFFFF},  // above 32768 rows: the largest stripe the field holds
  };
  open(0, false);
  uint32_t page = 0;
  for (const PageInfoCase &c : cases) {
    SCOPED_TRACE(c.dpi);
    ASSERT_EQ(QtzJbig2_encodePageInfo(17, c.height, c.dpi, c.dpi, out_, &c.colour), 0);
    const std::vector<uint8_t> bytes = take();
    const std::vector<ParsedHeader> headers = parseAll(bytes);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].type, 48);
    EXPECT_EQ(headers[0].page, ++page);
    const std::vector<uint8_t> d = segmentData(bytes, headers)[0];
    ASSERT_EQ(d.size(), 19u);
    EXPECT_EQ(be32(d, 0), 17u);
    EXPECT_EQ(be32(d, 4), static_cast<uint32_t>(c.height));
    EXPECT_EQ(be32(d, 8), c.pixelsPerMetre);
    EXPECT_EQ(be32(d, 12), c.pixelsPerMetre);
    EXPECT_EQ(d[16], 0);
    EXPECT_EQ(uint32_t{d[17]} << 8 | d[18], c.striping);
  }
}

TEST_F(OutputTest, SinglePageModeWritesPageOneAndNoEndOfPage) {
  open(0, true);
  const uint8_t colour = 1;
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(QtzJbig2_encodePageInfo(8, 8, 300, 300, out_, &colour), 0);
    ASSERT_EQ(QtzJbig2_encodeEndOfStripe(3, 7, out_), 0);
    ASSERT_EQ(ops_.endOfPage(out_, ops_.user), 0);
  }
  const std::vector<ParsedHeader> headers = parseAll(take());
  ASSERT_EQ(headers.size(), 4u);
  for (const ParsedHeader &h : headers) {
    EXPECT_NE(h.type, 49);
    EXPECT_EQ(h.page, 1u);
  }
}

TEST_F(OutputTest, HandOverWithNothingWrittenGivesNoBufferAndNumberingRunsOn) {
  open(1, false);
  const uint8_t colour = 0;
  ASSERT_EQ(QtzJbig2_encodePageInfo(8, 8, 300, 300, out_, &colour), 0);
  EXPECT_EQ(take().size(), 30u);  // 11 bytes of header, 19 of data
  EXPECT_TRUE(take().empty());
  EXPECT_TRUE(take().empty());
  ASSERT_EQ(ops_.endOfPage(out_, ops_.user), 0);
  const std::vector<ParsedHeader> headers = parseAll(take());
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0].number, 1u);
  EXPECT_EQ(headers[0].page, 1u);
  EXPECT_EQ(headers[0].type, 49);
}

// Dictionaries of 10 and 5 symbols and a page dictionary of 3: every symbol placed once comes
// back in its place, so the IDs run over the section dictionaries first, then the page ones. The
// second section dictionary refers to the first and exports all 15 symbols, so the regions
// refer to it and the page dictionary only.
TEST_F(OutputTest, SymbolIdsRunOverSectionThenPageDictionaries) {
  GlyphPage page = randomGlyphs(7, 18, {5, 7, 6, 5});
  page.width = 18 * 20;
  page.height = 24;
  for (int i = 0; i < 18; ++i) page.placements.push_back({i, 20 * i, 2});
  std::vector<TclySymbolRecord> tokens = tokensFor(page);
  for (const int32_t mode : {0, 3}) {
    SCOPED_TRACE(mode);
    openForTokens(mode, tokens);
    void *fresh = nullptr;
    ASSERT_EQ(ops_.sectionDict(tokens.data(), 10, nullptr, &fresh, 0, 0, out_, ops_.user), 0);
    // Already emitted: nothing is written.
    ASSERT_EQ(ops_.sectionDict(tokens.data(), 10, nullptr, &fresh, 0, 0, out_, ops_.user), 0);
    ASSERT_EQ(ops_.sectionDict(tokens.data(), 15, nullptr, &fresh, 0, 0, out_, ops_.user), 0);
    std::vector<uint8_t> stream = take();
    const std::vector<ParsedHeader> dicts = parseAll(stream);
    ASSERT_EQ(dicts.size(), 2u);
    EXPECT_TRUE(dicts[0].refs.empty());
    EXPECT_EQ(dicts[1].refs, (std::vector<int32_t>{0}));
    EXPECT_EQ(dicts[1].refRetain, (std::vector<uint8_t>{1}));
    // SDNUMEXSYMS and SDNUMNEWSYMS follow the flags (and the AT bytes when arithmetic).
    const std::vector<uint8_t> second = segmentData(stream, dicts)[1];
    const size_t counts = mode == 3 ? 2 + 2 : 2;
    EXPECT_EQ(be32(second, counts), 15u);
    EXPECT_EQ(be32(second, counts + 4), 5u);
    const std::vector<TclyTextInstance> instances = startGlyphPage(page, tokens, 18);
    ASSERT_FALSE(HasFailure());
    // A first region keeps the page dictionary; the last stripe releases it.
    for (const uint8_t last : {0, 1})
      ASSERT_EQ(ops_.textRegion(instances.data(), 18, page.width, page.height, 300, 300, nullptr, 1,
                                nullptr, last, out_, nullptr),
                0)
          << errors_.text();
    EXPECT_EQ(ops_.textRegion(instances.data(), 18, page.width, page.height, 300, 300, nullptr, 1,
                              nullptr, 1, out_, nullptr),
              kJbAssert)
        << "the page dictionary is gone";
    const std::vector<uint8_t> pageBytes = take();
    std::vector<ParsedHeader> regions;
    for (const ParsedHeader &h : parseAll(pageBytes))
      if (h.type == 6) regions.push_back(h);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].refs, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(regions[0].refRetain, (std::vector<uint8_t>{1, 1}));
    EXPECT_EQ(regions[1].refRetain, (std::vector<uint8_t>{1, 0}));
    stream.insert(stream.end(), pageBytes.begin(), pageBytes.end());
    jbtest::expectPageDecodes(state_, stream, jbtest::drawPage(page));
    ASSERT_EQ(ops_.close(out_, ops_.user), 0);
    out_ = nullptr;
  }
}

// Seven section dictionaries (one per flush), a page dictionary and a region that chooses custom
// tables: every segment header keeps the short form of the referred-to count (four at most;
// readers disagree on the long form's retention bytes), and the page decodes exactly here and in
// jbig2dec, in both codings.
TEST_F(OutputTest, ManyFlushesKeepEveryHeaderShort) {
  GlyphPage page = randomGlyphs(11, 40, {6, 1, 5, 6});
  page.width = 40 * 47 + 1300;
  page.height = 120 * 37 + 20;
  // A grid whose steps no standard table codes well (gaps of 41 columns, rows 37 apart, rows
  // starting 1200 columns apart in turn), so that Huffman regions take custom tables.
  for (int r = 0; r < 120; ++r)
    for (int i = 0; i < 40; ++i)
      page.placements.push_back({(i * 7 + r) % 40, 1200 * (r % 2) + 47 * i, 10 + 37 * r});
  std::vector<TclySymbolRecord> tokens = tokensFor(page);
  for (const int32_t mode : {0, 3}) {
    SCOPED_TRACE(mode);
    openForTokens(mode, tokens);
    void *fresh = nullptr;
    std::vector<uint8_t> stream;
    for (int32_t upTo = 5; upTo <= 35; upTo += 5) {
      ASSERT_EQ(ops_.sectionDict(tokens.data(), upTo, nullptr, &fresh, 0, 0, out_, ops_.user), 0);
      const std::vector<uint8_t> part = take();
      stream.insert(stream.end(), part.begin(), part.end());
    }
    const std::vector<TclyTextInstance> instances = startGlyphPage(page, tokens, 40);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(ops_.textRegion(instances.data(), static_cast<int32_t>(instances.size()), page.width,
                              page.height, 300, 300, nullptr, 1, nullptr, 1, out_, nullptr),
              0)
        << errors_.text();
    const std::vector<uint8_t> pageBytes = take();
    stream.insert(stream.end(), pageBytes.begin(), pageBytes.end());
    int dictionaries = 0;
    size_t regionRefs = 0;
    for (const ParsedHeader &h : parseAll(stream)) {
      EXPECT_LE(h.refs.size(), 4u) << "segment " << h.number << " of type " << int{h.type};
      dictionaries += h.type == 0;
      if (h.type == 6) regionRefs = h.refs.size();
    }
    EXPECT_EQ(dictionaries, 8);
    // Huffman: the two dictionaries and the custom DS and DT tables; arithmetic: no tables.
    EXPECT_EQ(regionRefs, mode == 3 ? 2u : 4u);
    jbtest::expectPageDecodes(state_, stream, jbtest::drawPage(page));
    ASSERT_EQ(ops_.close(out_, ops_.user), 0);
    out_ = nullptr;
  }
}

// A 64 x 16 generic region: a row of two black runs followed by white rows, then a band of
// one-run rows holding a white row, then white rows to the bottom. MMR coded, it becomes one
// region per band without white rows at its ends, cut after the two-run row (a common reader's
// MMR decoder draws the white rows after it with that row's second run) but not after a one-run
// row; poppler then draws it exactly. Arithmetic coded, it stays one region of the image's size.
// The bytes QtzJbig2_mmrBytes weighs for the image as MMR regions are the bytes those segments
// take (none for a white image).
TEST_F(OutputTest, MmrGenericRegionsHoldNoWhiteRowAfterARowOfTwoRuns) {
  jbtest::Glyph block = jbtest::blankGlyph(64, 16);
  for (int x : {3, 4, 5, 40, 41}) block.set(x, 2);
  for (int y : {6, 8, 9})
    for (int x = 10; x < 30; ++x) block.set(x, y);
  struct Expected {
    int32_t mode;
    std::vector<std::pair<uint32_t, uint32_t>> regions;  // top row and height of each
  };
  const Expected cases[] = {{0, {{2 + 7, 1}, {6 + 7, 4}}}, {3, {{7, 16}}}};
  for (const Expected &c : cases) {
    SCOPED_TRACE(c.mode);
    open(c.mode, true);
    const uint8_t colour = 1;
    ASSERT_EQ(QtzJbig2_encodePageInfo(80, 30, 300, 300, out_, &colour), 0);
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_wrap(state_, block.words.data(), block.width, block.height,
                            block.wordsPerRow(), &image),
              0);
    int64_t weighed = -1, white = -1;
    const jbtest::Glyph blank = jbtest::blankGlyph(64, 16);
    ASSERT_EQ(
        QtzJbig2_mmrBytes(out_, block.words.data(), 64, 16, block.wordsPerRow(), true, &weighed),
        0);
    ASSERT_EQ(
        QtzJbig2_mmrBytes(out_, blank.words.data(), 64, 16, blank.wordsPerRow(), true, &white), 0);
    EXPECT_EQ(white, 0);
    EXPECT_EQ(QtzJbig2_encodeGenericRegion(image, 2, 5, 7, out_, nullptr), 0) << errors_.text();
    void *pixels = nullptr;
    QtzImage_unwrap(image, &pixels);
    ASSERT_EQ(ops_.endOfPage(out_, ops_.user), 0);
    const std::vector<uint8_t> stream = take();
    const std::vector<ParsedHeader> headers = parseAll(stream);
    const std::vector<std::vector<uint8_t>> data = segmentData(stream, headers);
    std::vector<std::pair<uint32_t, uint32_t>> regions;
    int64_t written = 0;
    for (size_t k = 0; k < headers.size(); ++k)
      if (headers[k].type == 38) {
        EXPECT_EQ(be32(data[k], 0), 64u);
        EXPECT_EQ(be32(data[k], 8), 5u);
        regions.push_back({be32(data[k], 12), be32(data[k], 4)});
        written += int64_t(headers[k].headerBytes + headers[k].dataLength);
      }
    EXPECT_EQ(regions, c.regions);
    if (c.mode == 0) {
      EXPECT_EQ(weighed, written);
    }
    GlyphPage page;
    page.width = 80;
    page.height = 30;
    page.glyphs.push_back(block);
    page.placements.push_back({0, 5, 7});
    const jbtest::Pbm model = jbtest::drawPage(page);
    jbtest::expectPageDecodes(state_, stream, model);
    if (norvtest::toolAvailable("pdftoppm")) {
      EXPECT_EQ(jbtest::popplerDifferingPixels(stream, headers, model), 0);
    }
    ASSERT_EQ(ops_.close(out_, ops_.user), 0);
    out_ = nullptr;
  }
}

TEST_F(OutputTest, RefusalsLeaveNothingHalfMade) {
  QtzJb2Output *none = nullptr;
  EXPECT_EQ(QtzJb2_outOpen(nullptr, state_, 0, 1, 0, nullptr, nullptr), kJbNull);
  EXPECT_EQ(none, nullptr);
  open(0, false);
  const uint8_t colour = 0;
  EXPECT_EQ(QtzJbig2_encodePageInfo(0, 5, 300, 300, out_, &colour), kJbParam);
  EXPECT_EQ(QtzJbig2_encodePageInfo(5, 0, 300, 300, out_, &colour), kJbParam);
  EXPECT_EQ(QtzJbig2_encodePageInfo(5, 5, INT32_MAX, 300, out_, &colour), kJbParam);
  EXPECT_EQ(QtzJbig2_encodePageInfo(5, 5, 300, -1, out_, &colour), kJbParam);
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(QtzJbig2_encodeGenericRegion(nullptr, 2, 0, 0, out_, nullptr), kJbNoMemory);
  Glyph g = jbtest::blankGlyph(4, 4);
  TclySymbolRecord stranger = tokenFor(g);
  const TclyTextInstance instance{&stranger, nullptr, 0, 3};
  EXPECT_EQ(ops_.textRegion(&instance, 1, 8, 8, 300, 300, nullptr, 1, nullptr, 0, out_, nullptr),
            kJbAssert);
}

// Every allocation of a document made to fail in turn: the failing call returns 1 and closing
// the handle frees everything (the fixture checks the books).
TEST_F(OutputTest, FailedAllocationsAreReportedAndUnwound) {
  std::mt19937 random(3);
  std::vector<Glyph> glyphs;
  for (int i = 0; i < 4; ++i) glyphs.push_back(jbtest::randomGlyph(9, 9, random));
  jbig2FillOutOps(&ops_);
  // Arithmetic coding, and MMR with Huffman codes (generic regions written band by band); two
  // section dictionaries, the second chained to the first.
  for (long n = 1, mode = 3;; ++n) {
    std::vector<TclySymbolRecord> tokens;
    for (Glyph &g : glyphs) tokens.push_back(tokenFor(g));
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_wrap(state_, glyphs[1].words.data(), 9, 9, 1, &image), 0);
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t status = QtzJb2_outOpen(nullptr, state_, int32_t(mode), 1, 0, &out_, nullptr);
    const uint8_t colour = 0;
    void *fresh = nullptr;
    if (status == 0)
      status = ops_.sectionDict(tokens.data(), 1, nullptr, &fresh, 0, 0, out_, nullptr);
    if (status == 0)
      status = ops_.sectionDict(tokens.data(), 2, nullptr, &fresh, 0, 0, out_, nullptr);
    uint8_t *buffer = nullptr;
    size_t length = 0;
    if (status == 0) status = QtzJbig2_takeEncodedData(out_, &buffer, &length);
    jbFree(state_, buffer);
    buffer = nullptr;
    if (status == 0) status = QtzJbig2_encodePageInfo(40, 20, 300, 300, out_, &colour);
    if (status == 0)
      status = ops_.pageDict(tokens.data(), 4, 0, 0, 0, 0, 0, nullptr, &fresh, 0, 0, out_, nullptr);
    const TclyTextInstance instances[] = {{&tokens[0], nullptr, 0, 8},
                                          {&tokens[3], nullptr, 20, 18}};
    if (status == 0)
      status =
          ops_.textRegion(instances, 2, 40, 20, 300, 300, nullptr, 1, nullptr, 1, out_, nullptr);
    if (status == 0) status = QtzJbig2_encodeGenericRegion(image, 2, 30, 0, out_, nullptr);
    if (status == 0) status = QtzJbig2_takeEncodedData(out_, &buffer, &length);
    jbFree(state_, buffer);
    norvtest::heap.failAt = -1;
    void *pixels = nullptr;
    QtzImage_unwrap(image, &pixels);
    if (out_ != nullptr) {
      EXPECT_EQ(QtzJb2_outClose(out_, nullptr), 0);
      out_ = nullptr;
    }
    if (status == 0 && mode == 0) break;
    if (status == 0) {
      mode = 0, n = 0;
      continue;
    }
    EXPECT_EQ(status, kJbNoMemory) << "allocation " << n << ", mode " << mode;
  }
}

// The colour collector receives the instances' tokens in the order the region codes them:
// one line of instances given right to left comes back left to right.
TEST_F(OutputTest, ColourCollectorGetsTokensInCodingOrder) {
  static std::vector<const QtzTokenBitmap *> seen;
  static int32_t answer = 0;
  struct Collector {
    static int32_t collect(const QtzTokenBitmap *const *tokens, uint32_t count, QtzColorState *,
                           uint8_t **payload, size_t *size, QtzState *) {
      seen.assign(tokens, tokens + count);
      *payload = nullptr;
      *size = count;
      return answer;
    }
  };
  std::mt19937 random(5);
  Glyph g = jbtest::randomGlyph(6, 7, random);
  std::vector<TclySymbolRecord> symbol = {tokenFor(g)};
  QtzTokenBitmap pageTokens[4] = {};
  std::vector<TclyTextInstance> instances;
  for (int i = 0; i < 4; ++i) instances.push_back({&symbol[0], &pageTokens[i], 30 - 10 * i, 6});
  open(1, false);
  void *fresh = nullptr;
  ASSERT_EQ(ops_.sectionDict(symbol.data(), 1, nullptr, &fresh, 0, 0, out_, ops_.user), 0);
  uint8_t *payload = nullptr;
  for (const int32_t status : {0, 12}) {
    answer = status;
    seen.clear();
    TclyColourOrder order{Collector::collect, &payload, 0, nullptr};
    EXPECT_EQ(
        ops_.textRegion(instances.data(), 4, 40, 8, 300, 300, &order, 0, nullptr, 1, out_, nullptr),
        status);
    EXPECT_EQ(order.size, 4u);
    EXPECT_EQ(seen, (std::vector<const QtzTokenBitmap *>{&pageTokens[3], &pageTokens[2],
                                                         &pageTokens[1], &pageTokens[0]}));
  }
}

// Rows and columns beyond the 16-bit range: glyphs near the bottom of a page of 40000 rows and
// right of column 32767 come back in place.
TEST_F(OutputTest, PositionsBeyondSixteenBitsComeBackInPlace) {
  struct Case {
    int32_t width, height;
    jbtest::Placement at;
  };
  const Case cases[] = {{64, 40000, {0, 40, 39990}}, {33000, 16, {0, 32990, 3}}};
  open(0, false);
  std::mt19937 random(11);
  for (const Case &c : cases) {
    GlyphPage page;
    page.width = c.width;
    page.height = c.height;
    page.glyphs.push_back(jbtest::randomGlyph(12, 9, random));
    page.placements = {c.at, {0, 5, 2}};
    std::vector<TclySymbolRecord> tokens = {tokenFor(page.glyphs[0])};
    std::vector<TclyTextInstance> instances;
    for (const jbtest::Placement &pl : page.placements)
      instances.push_back({&tokens[0], nullptr, pl.x, pl.y + 8});
    const uint8_t colour = 1;
    void *fresh = nullptr;
    ASSERT_EQ(QtzJbig2_encodePageInfo(page.width, page.height, 300, 300, out_, &colour), 0);
    ASSERT_EQ(ops_.pageDict(tokens.data(), 1, 0, 0, 0, 0, 0, nullptr, &fresh, 0, 0, out_, nullptr),
              0);
    ASSERT_EQ(ops_.textRegion(instances.data(), 2, page.width, page.height, 300, 300, nullptr, 1,
                              nullptr, 1, out_, nullptr),
              0);
    ASSERT_EQ(ops_.endOfPage(out_, nullptr), 0);
    jbtest::expectPageDecodes(state_, take(), jbtest::drawPage(page));
  }
}

// The generic-region slot: entries of the stripe asked for are written (arithmetic ones with
// the AT pixel two screen periods to the left while a signed byte reaches it) and leave both
// lists with their images; the others stay.
TEST_F(OutputTest, GenericRegionSlotWritesTheEntriesOfItsStripe) {
  QtzState *state = norvtest::trackedState(errors_, true);
  ASSERT_NE(state, nullptr);
  std::mt19937 random(9);
  struct Case {
    int32_t period;
    int32_t key;
    int8_t atx;  // AT pixel 1 of the written region (template 2)
  };
  const Case cases[] = {{10, 1, -20}, {0, 2, 0}, {64, 1, -128}, {65, 1, -128}, {200, 1, -128}};
  jbig2FillOutOps(&ops_);
  ASSERT_EQ(ops_.open(nullptr, state, 3, 1, 0, &out_, &ops_.user), 0);
  const uint8_t colour = 0;
  ASSERT_EQ(QtzJbig2_encodePageInfo(300, 40, 300, 300, out_, &colour), 0);
  QtzAdtList *regions = nullptr, *images = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&regions, state), 0);
  ASSERT_EQ(QtzAdt_liNew(&images, state), 0);
  std::vector<Glyph> bits;
  for (size_t i = 0; i < std::size(cases); ++i) {
    bits.push_back(jbtest::randomGlyph(50, 30, random));
    Pixr *image = nullptr;
    ASSERT_EQ(pxlCreateImage(state->ipContext, 50, 30, 1, 300 << 16, 300 << 16, 32, &image), 0);
    uint8_t *pixels = nullptr;
    ASSERT_EQ(pxlGetImageData(state->ipContext, image, &pixels), 0);
    for (int y = 0; y < 30; ++y)
      std::memcpy(pixels + size_t(y) * image->bytesPerRow, &bits[i].words[size_t(y) * 2], 8);
    auto *entry =
        static_cast<TclyGenericEntry *>(qtz::allocateZeroed(state, 1, sizeof(TclyGenericEntry)));
    *entry = {static_cast<int32_t>(60 * i), 5, 50, 30, 0, 0, cases[i].period, 0, cases[i].key};
    ASSERT_EQ(QtzAdt_liAdd(regions, entry, nullptr), 0);
    ASSERT_EQ(QtzAdt_liAdd(images, image, nullptr), 0);
  }
  ASSERT_EQ(ops_.genericRegion(regions, 2, 1, images, out_, ops_.user), 0) << errors_.text();
  ASSERT_EQ(ops_.endOfPage(out_, ops_.user), 0);
  uint8_t *buffer = nullptr;
  size_t length = 0;
  ASSERT_EQ(QtzJbig2_takeEncodedData(out_, &buffer, &length), 0);
  const std::vector<uint8_t> bytes(buffer, buffer + length);
  jbFree(state, buffer);

  // One entry of stripe 2 is left in both lists.
  ASSERT_NE(regions->head, nullptr);
  EXPECT_EQ(regions->head, regions->tail);
  EXPECT_EQ(static_cast<TclyGenericEntry *>(regions->head->data)->key, 2);
  EXPECT_EQ(images->head, images->tail);
  std::vector<ParsedHeader> headers = parseAll(bytes);
  std::vector<std::vector<uint8_t>> data = segmentData(bytes, headers);
  std::vector<int8_t> atx;
  for (size_t i = 0; i < headers.size(); ++i)
    if (headers[i].type == 38) atx.push_back(static_cast<int8_t>(data[i].at(18)));
  EXPECT_EQ(atx, (std::vector<int8_t>{-20, -128, -128, -128}));

  jbtest::Pbm model{300, 40, std::vector<uint8_t>(38 * 40)};
  for (size_t i = 0; i < std::size(cases); ++i)
    for (int y = 0; y < 30 && cases[i].key == 1; ++y)
      for (int x = 0; x < 50; ++x)
        if (bits[i].pixel(x, y))
          model.bytes[size_t(5 + y) * 38 + (60 * i + x) / 8] |=
              static_cast<uint8_t>(0x80 >> ((60 * i + x) % 8));
  jbtest::expectPageDecodes(state_, bytes, model);

  Pixr *left = static_cast<Pixr *>(images->head->data);
  pxlDestroyImage(state->ipContext, &left);
  qtz::release(state, regions->head->data);
  QtzAdt_liFree(regions);
  QtzAdt_liFree(images);
  EXPECT_EQ(ops_.close(out_, ops_.user), 0);
  out_ = nullptr;
  Qtz_cleanupQtzState(&state);
}

INSTANTIATE_TEST_SUITE_P(Modes, OutputDocumentTest,
                         ::testing::Values(Setting{"Huffman_tables_by_cost", 0, false},
                                           Setting{"Huffman_standard_tables", 1, false},
                                           Setting{"arithmetic", 3, false},
                                           Setting{"single_page_Huffman", 0, true},
                                           Setting{"single_page_arithmetic", 3, true}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
