// Symbol dictionaries: the coding order and the values coded (read back with the decoder's
// Huffman readers), plain and MMR collective bitmaps, fixed, standard and custom DH/DW tables,
// input dictionaries whose symbols come first and are not exported, TPGDON refused after the
// fixed fields, and records refused before anything is written. Every dictionary that is
// written is also placed on a page and read back by the library's decoder and by jbig2dec.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "glyph_support.h"
#include "jbig2_huffman.h"
#include "jbig2_symbol_encode.h"

namespace {

using jbtest::Glyph;
using jbtest::GlyphPage;

// A page that places each glyph once, side by side on one baseline.
GlyphPage pageOf(std::vector<Glyph> glyphs) {
  GlyphPage page;
  page.glyphs = std::move(glyphs);
  int32_t x = 2, tallest = 0;
  for (const Glyph &g : page.glyphs) tallest = std::max(tallest, g.height);
  for (size_t i = 0; i < page.glyphs.size(); ++i) {
    page.placements.push_back({int32_t(i), x, 2 + tallest - page.glyphs[i].height});
    x += page.glyphs[i].width + 3;
  }
  page.width = x;
  page.height = tallest + 4;
  return page;
}

Jb2Options huffmanOptions(Jb2File *stream, bool fixedTables, bool customTables) {
  Jb2Options o = *jb2GetOptions(stream);
  o.bytes[0] = 0;
  o.bytes[1] = customTables;
  o.bytes[2] = fixedTables;
  return o;
}

class SymbolDictEncodeTest : public jbtest::GlyphPageTest {
 protected:
  // The values of a Huffman dictionary's data: "DH n", "DW n", "OOB", "BMSIZE n" (the bitmap
  // bytes skipped) and "EX n", with the tables the flags name (standard tables only).
  std::vector<std::string> huffmanValues(const std::vector<uint8_t> &data, uint32_t numSymbols) {
    std::vector<std::string> out;
    const int flags = data.at(0) << 8 | data.at(1);
    EXPECT_EQ(flags & 1, 1);
    const int dh = (flags >> 2) & 3, dw = (flags >> 4) & 3;
    if (dh == 3 || dw == 3) return out;
    DataSource *source = nullptr;
    JbitFile *bits = nullptr;
    EXPECT_EQ(memSourceNew(data.data(), data.size(), state_, &source), 0);
    source->pos = 10;
    EXPECT_EQ(jbitReaderOnSource(source, &bits), 0);
    Jbig2IntDecoder dhd, dwd, b1;
    newIntDecoder(&dhd, true, standardTable(4 + dh), bits, nullptr, nullptr);
    newIntDecoder(&dwd, true, standardTable(2 + dw), bits, nullptr, nullptr);
    newIntDecoder(&b1, true, standardTable(1), bits, nullptr, nullptr);
    bool oob = false;
    int32_t v = 0, height = 0;
    for (uint32_t decoded = 0; decoded < numSymbols;) {
      if (decodeInt(&dhd, &oob, &v) != 0) break;
      out.push_back("DH " + std::to_string(v));
      height += v;
      int32_t width = 0, total = 0;
      while (decodeInt(&dwd, &oob, &v) == 0 && !oob) {
        out.push_back("DW " + std::to_string(v));
        width += v;
        total += width;
        ++decoded;
      }
      out.push_back("OOB");
      if (decodeInt(&b1, &oob, &v) != 0) break;
      out.push_back("BMSIZE " + std::to_string(v));
      jbitSync(bits);
      source->pos += v > 0 ? size_t(v) : size_t(height) * ((total + 7) / 8);
      jbitResync(bits);
    }
    for (int run = 0; run < 2 && decodeInt(&b1, &oob, &v) == 0; ++run)
      out.push_back("EX " + std::to_string(v));
    jbitCloseReader(bits);
    memSourceFree(source);
    return out;
  }
};

TEST_F(SymbolDictEncodeTest, SymbolsAreCodedByHeightThenWidthThenPlace) {
  std::mt19937 random(2);
  // 5x10, 3x10, 4x8 and a second 3x10: order 4x8, 3x10 (first), 3x10 (second), 5x10.
  std::vector<Glyph> glyphs = {
      jbtest::randomGlyph(5, 10, random), jbtest::randomGlyph(3, 10, random),
      jbtest::randomGlyph(4, 8, random), jbtest::randomGlyph(3, 10, random)};
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(glyphs);
  const std::vector<Jbig2Symbol> given = symbols;
  std::vector<const Jbig2Symbol *> seen;
  const Jb2Options options = huffmanOptions(stream_, true, false);
  jb2SetOptions(stream_, &options);
  Jbig2SymbolDictRecord dict{};
  dict.numSymbols = 4;
  dict.symbols = symbols.data();
  auto record = [](const Jbig2Symbol *const *s, int32_t n, void *user) {
    auto *out = static_cast<std::vector<const Jbig2Symbol *> *>(user);
    out->assign(s, s + n);
    return 0;
  };
  ASSERT_EQ(encodeSymbolDict(stream_, &dict, nullptr, 0, record, &seen, true), 0);
  ASSERT_EQ(seen.size(), 4u);
  // The callback saw the records before they were put in order.
  EXPECT_EQ(seen[0], &symbols[2]);
  EXPECT_EQ(seen[1], &symbols[1]);
  EXPECT_EQ(seen[2], &symbols[3]);
  EXPECT_EQ(seen[3], &symbols[0]);
  // keepOrder: the array now holds them in coding order.
  for (const auto &[index, original] : {std::pair{0, 2}, {1, 1}, {2, 3}, {3, 0}})
    EXPECT_EQ(symbols[index].bitmap, given[original].bitmap) << index;

  const std::vector<uint8_t> all = bytes();
  const std::vector<jbtest::ParsedHeader> headers = parseAll(all);
  ASSERT_EQ(headers.size(), 1u) << "fixed tables: no table segment";
  EXPECT_EQ(headers[0].retain, 1);
  const std::vector<uint8_t> data(all.begin() + headers[0].headerBytes, all.end());
  EXPECT_EQ(data[0] << 8 | data[1], 0x0001);  // SDHUFF, B.4 and B.2, nothing else
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 2, data.begin() + 10),
            (std::vector<uint8_t>{0, 0, 0, 4, 0, 0, 0, 4}));
  std::vector<std::string> values = huffmanValues(data, 4);
  for (std::string &v : values)
    if (v.rfind("BMSIZE", 0) == 0) v = "BMSIZE";
  EXPECT_EQ(values, (std::vector<std::string>{"DH 8", "DW 4", "OOB", "BMSIZE", "DH 2", "DW 3",
                                              "DW 0", "DW 2", "OOB", "BMSIZE", "EX 0", "EX 4"}));

  GlyphPage page = pageOf(glyphs);
  roundTripPage(page, options);
}

// Plain collective bitmaps (BMSIZE 0) are valid T.88 but common readers misread them: every
// class is MMR coded, even noise whose MMR code is longer than its rows.
TEST_F(SymbolDictEncodeTest, CollectiveBitmapsAreAlwaysMmrCoded) {
  std::mt19937 random(4);
  std::vector<Glyph> noise, shapes;
  for (int k = 0; k < 6; ++k) noise.push_back(jbtest::randomGlyph(7 + 3 * k, 12, random));
  for (int k = 0; k < 6; ++k) {
    // Rings: solid rows above and below, two columns between.
    Glyph g = jbtest::blankGlyph(30 + 5 * k, 40);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < g.width; ++x)
        if (y < 6 || y >= 34 || x < 6 || x >= g.width - 6) g.set(x, y);
    shapes.push_back(g);
  }
  for (const bool noisy : {true, false}) {
    SCOPED_TRACE(noisy ? "noise" : "shapes");
    GlyphPage page = pageOf(noisy ? noise : shapes);
    const jbtest::PageSegments written = roundTripPage(page, huffmanOptions(stream_, true, false));
    const std::vector<std::string> values = huffmanValues(dataOf(written, written.dict), 6);
    ASSERT_EQ(values.size(), 11u);
    ASSERT_EQ(values[8].rfind("BMSIZE ", 0), 0u) << values[8];
    EXPECT_GT(std::stoi(values[8].substr(7)), 0) << values[8];
  }
}

TEST_F(SymbolDictEncodeTest, CustomTablesPrecedeTheDictionaryThatRefersToThem) {
  std::mt19937 random(6);
  // One class of widths 80, 160, ...: every width step takes B.2's upper range line, whose
  // 6-bit prefix a custom copy shortens to 1 bit.
  std::vector<Glyph> glyphs;
  for (int k = 1; k <= 100; ++k) glyphs.push_back(jbtest::randomGlyph(80 * k, 2, random));
  GlyphPage page = pageOf(glyphs);
  page.width = 800;  // the page shows the first few; the dictionary holds them all
  for (const bool custom : {false, true}) {
    SCOPED_TRACE(custom ? "custom tables allowed" : "standard tables");
    const jbtest::PageSegments written =
        roundTripPage(page, huffmanOptions(stream_, false, custom));
    const std::vector<jbtest::ParsedHeader> headers = parseAll(written.bytes);
    const std::vector<uint8_t> data = dataOf(written, written.dict);
    const int flags = data.at(0) << 8 | data.at(1);
    EXPECT_EQ((flags >> 4) & 3, custom ? 3 : 0);  // DW
    EXPECT_EQ((flags >> 2) & 3, 0);               // DH: one value, B.4 is cheapest
    std::vector<int32_t> tables;
    for (const auto &h : headers)
      if (h.type == 53) tables.push_back(int32_t(h.number));
    ASSERT_EQ(tables.size(), custom ? 1u : 0u);
    for (const auto &h : headers) {
      if (h.number == written.dict) {
        EXPECT_EQ(h.refs, tables);
      }
    }
  }
}

TEST_F(SymbolDictEncodeTest, InputDictionariesComeFirstAndAreNotExported) {
  std::mt19937 random(8);
  std::vector<Glyph> first = {jbtest::randomGlyph(6, 9, random), jbtest::randomGlyph(8, 9, random),
                              jbtest::randomGlyph(5, 4, random)};
  std::vector<Glyph> second = {jbtest::randomGlyph(7, 7, random),
                               jbtest::randomGlyph(9, 3, random)};
  for (const bool arithmetic : {false, true}) {
    SCOPED_TRACE(arithmetic ? "arithmetic" : "Huffman");
    std::vector<Jbig2Symbol> a = jbtest::symbolsOf(first), b = jbtest::symbolsOf(second);
    GlyphPage page;
    page.width = 120;
    page.height = 40;
    const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
      stream->options.bytes[0] = arithmetic;
      stream->options.bytes[13] = arithmetic;
      jbtest::writePage(stream, page.width, page.height, [&] {
        Jbig2SymbolDictRecord da{}, db{};
        da.header.page = db.header.page = 1;
        da.numSymbols = 3, da.symbols = a.data();
        db.numSymbols = 2, db.symbols = b.data();
        ASSERT_EQ(encodeSymbolDict(stream, &da, nullptr, 0, nullptr, nullptr, true), 0);
        freeSegReferences(stream, &da.header);
        const Jbig2SegHeader *inputRefs[] = {&da.header};
        const Jbig2SymbolDictRecord *inputs[] = {&da};
        ASSERT_EQ(segAddReferences(stream, &db.header, inputRefs, 1), 0);
        db.header.retain[0] = 1;  // the region below still needs it
        const int32_t status = encodeSymbolDict(stream, &db, inputs, 1, nullptr, nullptr, true);
        freeSegReferences(stream, &db.header);
        ASSERT_EQ(status, 0);
        // A region over both: IDs 0-2 name the first dictionary's symbols, 3-4 the second's.
        std::vector<Jbig2SymbolInstance> instances;
        for (int k = 0; k < 10; ++k) {
          const Jbig2Symbol *s = k % 2 ? &b[k % 2] : &a[k % 3];
          instances.push_back({12 * k, 5 + k, s, nullptr, 0});
          const std::vector<Glyph> &glyphs = k % 2 ? second : first;
          for (size_t g = 0; g < glyphs.size(); ++g)
            if (glyphs[g].words.data() == s->bitmap) {
              page.glyphs.push_back(glyphs[g]);
              page.placements.push_back({int32_t(page.glyphs.size() - 1), 12 * k, 5 + k});
            }
        }
        Jbig2TextRegionRecord region{};
        region.header.type = 6;
        region.header.page = 1;
        region.region = {page.width, page.height, 0, 0, 0};
        region.numInstances = 10;
        region.instances = instances.data();
        const Jbig2SegHeader *refs[] = {&da.header, &db.header};
        const Jbig2SymbolDictRecord *dicts[] = {&da, &db};
        ASSERT_EQ(segAddReferences(stream, &region.header, refs, 2), 0);
        ASSERT_EQ(encodeTextRegion(stream, &region, dicts, nullptr, nullptr, false), 0);
        freeSegReferences(stream, &region.header);
      });
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(page.placements.size(), 10u);
    jbtest::expectPageDecodes(state_, bytes, jbtest::drawPage(page));
  }
}

TEST_F(SymbolDictEncodeTest, TpgdonStopsAnArithmeticDictionaryAfterItsFixedFields) {
  std::mt19937 random(10);
  std::vector<Glyph> glyphs = {jbtest::randomGlyph(5, 5, random)};
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(glyphs);
  stream_->options.bytes[0] = 1;
  stream_->options.bytes[3] = 2;
  stream_->options.bytes[12] = 1;
  Jbig2SymbolDictRecord dict{};
  dict.numSymbols = 1;
  dict.symbols = symbols.data();
  EXPECT_EQ(encodeSymbolDict(stream_, &dict, nullptr, 0, nullptr, nullptr, false), 107);
  EXPECT_NE(errors_.text().find("symdict can't have TPD on"), std::string::npos) << errors_.text();
  // Header (11 bytes), flags with SDTEMPLATE 2, one AT pair, the two symbol counts.
  const std::vector<uint8_t> all = bytes();
  ASSERT_EQ(all.size(), 11u + 2 + 2 + 8);
  EXPECT_EQ(std::vector<uint8_t>(all.begin() + 11, all.end()),
            (std::vector<uint8_t>{0x08, 0x00, 2, 0xFF, 0, 0, 0, 1, 0, 0, 0, 1}));
}

TEST_F(SymbolDictEncodeTest, InconsistentRecordsAreRefusedBeforeWriting) {
  std::mt19937 random(12);
  std::vector<Glyph> glyphs = {jbtest::randomGlyph(5, 5, random),
                               jbtest::blankGlyph((1 << 23) + 1, 1),
                               jbtest::blankGlyph((1 << 23) + 1, 1)};
  struct Case {
    const char *name;
    uint8_t type;
    int32_t refCount;  // referred-to segments, no input dictionaries given
    int32_t width;     // of the first symbol
    int32_t symbols;   // how many of the glyphs
    bool arithmetic;
    int8_t atx;  // AT pixel 1
    int32_t status;
  };
  const Case cases[] = {
      {"text region type", 6, 0, 5, 1, false, 2, 10003},
      {"referred-to segments but no input dictionaries", 0, 1, 5, 1, false, 2, 10003},
      {"symbol of width 0", 0, 0, 0, 1, false, 2, 2},
      {"collective bitmap wider than 2^24", 0, 0, 5, 3, false, 2, 2},
      {"AT pixel on the current pixel's right", 0, 0, 5, 1, true, 1, 10003},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(glyphs);
    symbols[0].width = c.width;
    const std::vector<uint8_t> written = writtenBy([&](Jb2File *stream) {
      jb2SetNextSegmentNumber(stream, 3);
      stream->options.bytes[0] = c.arithmetic;
      stream->options.bytes[3] = 2;
      stream->options.bytes[4] = static_cast<uint8_t>(c.atx);
      stream->options.bytes[8] = 0;
      int32_t ref = 1;
      uint8_t retain = 0;
      Jbig2SymbolDictRecord dict{};
      dict.header = {0, 0, 1, c.refCount, &ref, &retain, c.type, 0, 0};
      dict.numSymbols = c.symbols;
      dict.symbols = c.symbols == 1 ? symbols.data() : symbols.data() + 1;
      if (c.symbols == 3) dict.numSymbols = 2;
      EXPECT_EQ(encodeSymbolDict(stream, &dict, nullptr, 0, nullptr, nullptr, false), c.status);
    });
    EXPECT_TRUE(written.empty());
  }
}

}  // namespace
