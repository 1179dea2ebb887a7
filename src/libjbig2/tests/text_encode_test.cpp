// Text regions and the symbol dictionaries they place: the connected components of a rendered
// page coded as a dictionary and placed back by a text region in every coding (arithmetic,
// Huffman with standard, chosen or custom tables), in rows and transposed, read back pixel-
// exact by the library's decoder and by jbig2dec; the planner's choices (transposition,
// SBDSOFFSET, strip size, order); caller-ordered regions; pages taller than 16-bit positions;
// refusals and failure at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "glyph_support.h"
#include "jbig2_symbol_encode.h"

namespace {

using jbtest::GlyphPage;
using jbtest::Pbm;

// Options by name: arithmetic symbol dictionaries (byte 0; template from byte 3), arithmetic
// text (13), fixed tables (2, 15), custom tables allowed (1, 14), never transposed (17).
struct Coding {
  const char *name;
  bool arithmeticDict;
  uint8_t tmpl;
  bool arithmeticText;
  bool fixedTables;
  bool customTables;
  bool neverTransposed;
};

Jb2Options optionsFor(Jb2File *stream, const Coding &c) {
  Jb2Options o = *jb2GetOptions(stream);
  o.bytes[0] = c.arithmeticDict;
  o.bytes[3] = c.tmpl;
  o.bytes[13] = c.arithmeticText;
  o.bytes[1] = o.bytes[14] = c.customTables;
  o.bytes[2] = o.bytes[15] = c.fixedTables;
  o.bytes[17] = c.neverTransposed;
  return o;
}

// What the written region declares.
struct RegionFlags {
  bool huffman;
  int logStrips;
  int refCorner;
  bool transposed;
  int dsOffset;
  int tableSelection;
};

RegionFlags flagsOf(const std::vector<uint8_t> &data) {
  const int f = data.at(17) << 8 | data.at(18);
  const int ds = (f >> 10) & 0x1F;
  return {(f & 1) != 0,
          (f >> 2) & 3,
          (f >> 4) & 3,
          ((f >> 6) & 1) != 0,
          ds >= 16 ? ds - 32 : ds,
          (f & 1) ? data.at(19) << 8 | data.at(20) : -1};
}

class TextEncodeTest : public jbtest::GlyphPageTest {
 protected:
  // The page round trip; what its text region declares.
  RegionFlags roundTrip(GlyphPage &page, const Jb2Options &options, bool keepOrder = false) {
    const jbtest::PageSegments written = roundTripPage(page, options, keepOrder);
    if (HasFatalFailure()) return {};
    return flagsOf(dataOf(written, written.region));
  }
};

const norvtest::Pnm &textPage() {
  static const norvtest::Pnm page =
      norvtest::renderPagePnm(NORV_TEST_DATA "/text_page.ps", "pbmraw", 300, "-g1400x420");
  return page;
}

const Coding kCodings[] = {
    {"arithmetic, template 0", true, 0, true, false, false, false},
    {"arithmetic, template 1", true, 1, true, false, false, false},
    {"arithmetic, template 2, never transposed", true, 2, true, false, false, true},
    {"arithmetic dictionary (template 3), Huffman text", true, 3, false, false, true, false},
    {"Huffman, standard tables by cost", false, 0, false, false, false, false},
    {"Huffman, custom tables allowed", false, 0, false, false, true, false},
    {"Huffman, fixed tables", false, 0, false, true, false, false},
};

TEST_F(TextEncodeTest, ComponentsOfARenderedPageComeBackPixelExact) {
  const norvtest::Pnm &rendered = textPage();
  ASSERT_EQ(rendered.kind, '4') << "Ghostscript rendering failed";
  for (const bool columns : {false, true}) {
    GlyphPage page = jbtest::componentsOf(columns ? jbtest::transposed(rendered) : rendered);
    ASSERT_GT(page.placements.size(), 2 * page.glyphs.size());  // glyphs repeat
    for (const Coding &c : kCodings) {
      SCOPED_TRACE(std::string(c.name) + (columns ? ", page in columns" : ", page in rows"));
      const RegionFlags f = roundTrip(page, optionsFor(stream_, c));
      const bool transposed = columns && !c.neverTransposed;
      EXPECT_EQ(f.transposed, transposed);
      EXPECT_EQ(f.refCorner, transposed ? 1 : 0);
      EXPECT_EQ(f.huffman, !c.arithmeticText);
      if (c.fixedTables) {
        EXPECT_EQ(f.tableSelection, 0);
      }
    }
  }
}

// One instance per strip, strips 10 rows apart, starting alternately at 0 and 700: the same
// strip and first-S steps over and over: first-S steps of +-700 cost 13 bits each in B.6 and
// B.7, 10 in a custom table.
GlyphPage zigzagPage(std::mt19937 &random) {
  GlyphPage page;
  page.width = 720;
  page.height = 2000;
  page.glyphs.push_back(jbtest::randomGlyph(9, 9, random));
  for (int r = 0; r < 200; ++r) page.placements.push_back({0, (r % 2) * 700, 10 * r});
  return page;
}

TEST_F(TextEncodeTest, CustomTablesAreWrittenBeforeTheRegionAndReferredTo) {
  std::mt19937 random(17);
  GlyphPage page = zigzagPage(random);
  const Coding custom{"custom", false, 0, false, false, true, true};
  EXPECT_EQ(roundTrip(page, optionsFor(stream_, custom)).tableSelection & 3, 3);
  const jbtest::PageSegments written = encodePage(page, optionsFor(stream_, custom));
  const uint32_t number = written.region;
  const std::vector<jbtest::ParsedHeader> headers = parseAll(written.bytes);
  const auto region = std::find_if(headers.begin(), headers.end(),
                                   [&](const auto &h) { return h.number == number; });
  ASSERT_NE(region, headers.end());
  const RegionFlags f = flagsOf(dataOf(written, number));
  // Every custom selection (3) names one table segment after the dictionary, in FS, DS, DT
  // order.
  std::vector<int32_t> tables;
  for (const auto &h : headers)
    if (h.type == 53 && h.number < number) tables.push_back(static_cast<int32_t>(h.number));
  int customs = 0;
  for (int shift = 0; shift < 6; shift += 2) customs += ((f.tableSelection >> shift) & 3) == 3;
  EXPECT_GE(customs, 1);
  ASSERT_EQ(region->refs.size(), 1u + customs);
  EXPECT_EQ(std::vector<int32_t>(region->refs.begin() + 1, region->refs.end()),
            std::vector<int32_t>(tables.end() - customs, tables.end()));
  EXPECT_EQ(region->refRetain, std::vector<uint8_t>(1 + customs, 0));
}

// A row of instances whose bottom rows step through `period` values: strips of that many rows
// hold every instance of a band.
GlyphPage steppedRow(int period, int count, std::mt19937 &random) {
  GlyphPage page;
  page.width = 12 * count + 20;
  page.height = 120;
  for (int h = 5; h < 9; ++h) page.glyphs.push_back(jbtest::randomGlyph(9, h, random));
  for (int k = 0; k < count; ++k) {
    const int g = static_cast<int>(random() % page.glyphs.size());
    const int bottom = 40 + (k % period) + 32 * (k / 40);
    page.placements.push_back({g, 12 * (k % 40) + 3, bottom - page.glyphs[g].height + 1});
  }
  return page;
}

TEST_F(TextEncodeTest, EachStripSizeIsChosenWhereItPaysAndRoundTrips) {
  std::mt19937 random(11);
  for (const int period : {1, 2, 4, 8}) {
    GlyphPage page = steppedRow(period, 120, random);
    for (const bool arithmetic : {true, false}) {
      SCOPED_TRACE("period " + std::to_string(period) +
                   (arithmetic ? ", arithmetic" : ", Huffman"));
      const RegionFlags f =
          roundTrip(page, optionsFor(stream_, {"", arithmetic, 0, arithmetic, false, true, false}));
      EXPECT_EQ(1 << f.logStrips, period);
      EXPECT_FALSE(f.transposed);
    }
  }
}

// A dictionary of 500 glyphs of which the region uses a few: runs of unused symbols longer
// than one run code holds (138), runs of equal code lengths longer than one repeat code (6),
// and lone lengths.
TEST_F(TextEncodeTest, SymbolIdCodesOfSparselyUsedDictionaries) {
  std::mt19937 random(19);
  GlyphPage page;
  page.width = 400;
  page.height = 300;
  // Sizes grow with the index, so that the coding order (the IDs) is the index order.
  for (int k = 0; k < 500; ++k)
    page.glyphs.push_back(jbtest::randomGlyph(4 + k % 100 / 10, 5 + k / 100, random));
  std::vector<int32_t> used;
  for (int k = 0; k < 20; ++k) used.push_back(k);     // equal use: one length, repeated
  for (int k = 0; k < 40; ++k) used.push_back(150);   // frequent: a short code
  for (int k = 300; k < 304; ++k) used.push_back(k);  // a short run after 145 unused
  used.push_back(499);                                // the last, after 195 unused
  for (size_t k = 0; k < used.size(); ++k)
    page.placements.push_back(
        {used[k], static_cast<int32_t>(k % 30) * 13, static_cast<int32_t>(k / 30) * 14});
  for (const bool custom : {false, true}) {
    SCOPED_TRACE(custom ? "custom tables allowed" : "standard tables");
    roundTrip(page, optionsFor(stream_, {"", false, 0, false, false, custom, false}));
  }
}

TEST_F(TextEncodeTest, PlannerChoices) {
  std::mt19937 random(3);
  GlyphPage g;
  g.glyphs.push_back(jbtest::randomGlyph(10, 12, random));
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(g.glyphs);
  const Jbig2Symbol *s = &symbols[0];
  auto layoutOf = [&](std::vector<Jbig2SymbolInstance> in) {
    Jbig2TextLayout layout{};
    EXPECT_EQ(chooseStripsAndOffset(in.data(), int32_t(in.size()), &layout, state_), 0);
    return layout;
  };
  // A single instance has no neighbour: SBDSOFFSET -16.
  EXPECT_EQ(layoutOf({{5, 5, s, nullptr, 0}}).dsOffset, -16);
  // Width 10 at x = 0, then x = 13: the gap value 4.
  EXPECT_EQ(layoutOf({{0, 0, s, nullptr, 0}, {13, 0, s, nullptr, 0}}).dsOffset, 4);
  // Non-negative coordinates: the strip above row 0 starts the region.
  const Jbig2TextLayout l = layoutOf({{0, 0, s, nullptr, 0}});
  EXPECT_EQ(l.stripT, -(int64_t{1} << l.logStrips));

  // A column: one left column, no shared bottom rows.
  std::vector<Jbig2SymbolInstance> column;
  for (int k = 0; k < 6; ++k) column.push_back({7, 15 * k, s, nullptr, 0});
  bool transposed = false;
  ASSERT_EQ(chooseTransposed(column.data(), 6, 100, 100, state_, &transposed), 0);
  EXPECT_TRUE(transposed);
  // Positions outside the region are not counted.
  ASSERT_EQ(chooseTransposed(column.data(), 6, 7, 100, state_, &transposed), 0);
  EXPECT_FALSE(transposed);

  // Equal T and S keep their array order.
  std::vector<Jbig2SymbolInstance> same(5, {4, 4, s, nullptr, 0});
  same.push_back({0, 4, s, nullptr, 0});
  std::vector<const Jbig2SymbolInstance *> order;
  for (const auto &in : same) order.push_back(&in);
  std::reverse(order.begin(), order.end());
  sortTextInstances(Jbig2TextLayout{}, order.data(), int32_t(order.size()));
  EXPECT_EQ(order[0], &same[5]);
  for (int k = 1; k < 6; ++k) EXPECT_EQ(order[k], &same[k - 1]);
}

TEST_F(TextEncodeTest, CostEstimates) {
  struct Case {
    int32_t (*cost)(int64_t);
    int64_t value;
    int32_t bits;
  };
  const Case cases[] = {{dsCostBits, -5, 12}, {dsCostBits, -4, 8},   {dsCostBits, -1, 8},
                        {dsCostBits, 0, 4},   {dsCostBits, 3, 4},    {dsCostBits, 4, 8},
                        {dsCostBits, 127, 8}, {dsCostBits, 128, 12}, {dtCostBits, 1, 1},
                        {dtCostBits, 0, 3},   {dtCostBits, 4, 3},    {dtCostBits, 5, 5},
                        {dtCostBits, 8, 5},   {dtCostBits, 9, 8},    {fsCostBits, -32, 8},
                        {fsCostBits, 32, 8},  {fsCostBits, 33, 12},  {fsCostBits, -33, 12}};
  for (const Case &c : cases) EXPECT_EQ(c.cost(c.value), c.bits) << c.value;
}

// Placements in an order that climbs back up the page: strip steps below 1.
GlyphPage climbingPage(std::mt19937 &random) {
  GlyphPage page;
  page.width = 300;
  page.height = 200;
  for (int k = 0; k < 6; ++k) page.glyphs.push_back(jbtest::randomGlyph(5 + k, 7 + k, random));
  for (int k = 0; k < 60; ++k)
    page.placements.push_back({k % 6, static_cast<int32_t>(random() % 280),
                               static_cast<int32_t>(150 - 2 * k + random() % 5)});
  return page;
}

// Placements from row 1 down the page: in the caller's order only the first strip step,
// from the strip above row 1, is 0.
GlyphPage fallingPage(std::mt19937 &random) {
  GlyphPage page = climbingPage(random);
  for (size_t k = 0; k < page.placements.size(); ++k)
    page.placements[k].y = 1 + 3 * static_cast<int32_t>(k);
  return page;
}

TEST_F(TextEncodeTest, CallerOrderedRegionsCodeStepsBelowOne) {
  std::mt19937 random(5);
  for (GlyphPage page : {climbingPage(random), fallingPage(random)}) {
    for (const Coding &c : {Coding{"arithmetic", true, 0, true, false, false, true},
                            Coding{"Huffman", false, 0, false, false, false, true}}) {
      SCOPED_TRACE(std::string(c.name) + (page.placements[1].y > 3 ? ", climbing" : ", falling"));
      const RegionFlags f = roundTrip(page, optionsFor(stream_, c), true);
      EXPECT_EQ(f.refCorner, 1);
      EXPECT_EQ(f.logStrips, 0);
      EXPECT_FALSE(f.transposed);
      if (!c.arithmeticText) {
        EXPECT_EQ((f.tableSelection >> 4) & 3, 3);  // custom DT
      }
    }
  }
}

TEST_F(TextEncodeTest, InstancesReachTheCallbackInCodingOrder) {
  std::mt19937 random(9);
  GlyphPage page = steppedRow(4, 50, random);
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(page.glyphs);
  std::vector<Jbig2SymbolInstance> instances = jbtest::instancesOf(page, symbols);
  Jbig2SymbolDictRecord dict{};
  dict.header.number = 0;
  dict.numSymbols = static_cast<int32_t>(symbols.size());
  dict.symbols = symbols.data();
  jb2SetNextSegmentNumber(stream_, 1);
  int32_t ref = 0;
  uint8_t retain = 0;
  Jbig2TextRegionRecord region{};
  region.header = {0, 0, 1, 1, &ref, &retain, 6, 0, 0};
  region.region = {page.width, page.height, 0, 0, 0};
  region.numInstances = static_cast<int32_t>(instances.size());
  region.instances = instances.data();
  const Jbig2SymbolDictRecord *dicts[] = {&dict};
  struct Seen {
    std::vector<const Jbig2SymbolInstance *> order;
    int32_t answer;
  } seen{{}, 0};
  auto record = [](const Jbig2SymbolInstance *const *in, int32_t n, void *user) {
    auto *s = static_cast<Seen *>(user);
    s->order.assign(in, in + n);
    return s->answer;
  };
  seen.answer = 77;
  EXPECT_EQ(encodeTextRegion(stream_, &region, dicts, record, &seen, false), 77);
  EXPECT_EQ(bytes().size(), 0u) << "nothing is written before the callback agrees";
  ASSERT_EQ(seen.order.size(), instances.size());
  // Strips of 4 rows (the layout of steppedRow), then S.
  for (size_t k = 1; k < seen.order.size(); ++k) {
    const auto *a = seen.order[k - 1], *b = seen.order[k];
    const int64_t ta = (a->y + a->symbol->height - 1) >> 2,
                  tb = (b->y + b->symbol->height - 1) >> 2;
    EXPECT_TRUE(ta < tb || (ta == tb && a->x <= b->x)) << k;
  }
}

TEST_F(TextEncodeTest, PagesBeyondSixteenBitPositions) {
  std::mt19937 random(13);
  GlyphPage page;
  page.width = 70;
  page.height = 40000;
  page.glyphs.push_back(jbtest::randomGlyph(12, 17, random));
  page.glyphs.push_back(jbtest::randomGlyph(33, 9, random));
  for (int k = 0; k < 40; ++k)
    page.placements.push_back(
        {k % 2, static_cast<int32_t>(k % 5) * 8, static_cast<int32_t>(32700 + 180 * k)});
  for (const Coding &c : kCodings) {
    SCOPED_TRACE(c.name);
    roundTrip(page, optionsFor(stream_, c));
  }
}

TEST_F(TextEncodeTest, InconsistentRecordsAreRefused) {
  std::mt19937 random(1);
  std::vector<jbtest::Glyph> glyphs = {jbtest::randomGlyph(4, 4, random)};
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(glyphs);
  Jbig2Symbol stray = symbols[0], empty = symbols[0];
  empty.width = 0;
  Jbig2SymbolDictRecord dict{};
  dict.header.number = 0;
  dict.numSymbols = 1;
  dict.symbols = symbols.data();
  const Jbig2SymbolDictRecord *dicts[] = {&dict};
  struct Case {
    const char *name;
    uint8_t type;
    int32_t refNumber;
    Jbig2SymbolInstance instance;
    uint8_t option16;
    bool keepOrder;
    int32_t status;
  };
  const Case cases[] = {
      {"generic region type", 38, 0, {0, 0, &symbols[0], nullptr, 0}, 0, false, 10003},
      {"referred-to number of another segment",
       6,
       3,
       {0, 0, &symbols[0], nullptr, 0},
       0,
       false,
       10003},
      {"symbol of no dictionary", 6, 0, {0, 0, &stray, nullptr, 0}, 0, false, 10003},
      {"symbol of width 0", 6, 0, {0, 0, &empty, nullptr, 0}, 0, false, 2},
      {"position beyond 2^24", 6, 0, {0, (1 << 24) + 1, &symbols[0], nullptr, 0}, 0, false, 2},
      {"caller's order with BOTTOMLEFT fixed", 6, 0, {0, 0, &symbols[0], nullptr, 0}, 1, true, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> written = writtenBy([&](Jb2File *stream) {
      jb2SetNextSegmentNumber(stream, 5);
      stream->options.bytes[16] = c.option16;
      int32_t ref = c.refNumber;
      uint8_t retain = 0;
      Jbig2SymbolInstance instance = c.instance;
      Jbig2TextRegionRecord region{};
      region.header = {0, 0, 1, 1, &ref, &retain, c.type, 0, 0};
      region.region = {10, 10, 0, 0, 0};
      region.numInstances = 1;
      region.instances = &instance;
      EXPECT_EQ(encodeTextRegion(stream, &region, dicts, nullptr, nullptr, c.keepOrder), c.status);
    });
    EXPECT_TRUE(written.empty());
  }
}

TEST_F(TextEncodeTest, FixedTablesRefuseStepsBelowOne) {
  std::mt19937 random(5);
  for (GlyphPage page : {climbingPage(random), fallingPage(random)}) {
    std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(page.glyphs);
    std::vector<Jbig2SymbolInstance> instances = jbtest::instancesOf(page, symbols);
    Jbig2SymbolDictRecord dict{};
    dict.numSymbols = static_cast<int32_t>(symbols.size());
    dict.symbols = symbols.data();
    const Jbig2SymbolDictRecord *dicts[] = {&dict};
    const std::vector<uint8_t> written = writtenBy([&](Jb2File *stream) {
      jb2SetNextSegmentNumber(stream, 1);
      stream->options.bytes[15] = 1;
      int32_t ref = 0;
      uint8_t retain = 0;
      Jbig2TextRegionRecord region{};
      region.header = {0, 0, 1, 1, &ref, &retain, 6, 0, 0};
      region.region = {page.width, page.height, 0, 0, 0};
      region.numInstances = static_cast<int32_t>(instances.size());
      region.instances = instances.data();
      EXPECT_EQ(encodeTextRegion(stream, &region, dicts, nullptr, nullptr, true), 2);
    });
    EXPECT_TRUE(written.empty());
  }
}

TEST_F(TextEncodeTest, AColumnWithTheCornerFixedToBottomLeft) {
  std::mt19937 random(23);
  GlyphPage page;
  page.width = 30;
  page.height = 200;
  page.glyphs.push_back(jbtest::randomGlyph(8, 11, random));
  for (int k = 0; k < 10; ++k) page.placements.push_back({0, 4, 2 + 19 * k});
  Coding fixedCorner{"", true, 0, true, false, false, false};
  Jb2Options options = optionsFor(stream_, fixedCorner);
  options.bytes[16] = 1;
  // Transposition is wanted but not allowed with BOTTOMLEFT: an inconsistent plan.
  std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(page.glyphs);
  std::vector<Jbig2SymbolInstance> instances = jbtest::instancesOf(page, symbols);
  Jbig2SymbolDictRecord dict{};
  dict.numSymbols = 1;
  dict.symbols = symbols.data();
  const Jbig2SymbolDictRecord *dicts[] = {&dict};
  const std::vector<uint8_t> written = writtenBy([&](Jb2File *stream) {
    jb2SetOptions(stream, &options);
    jb2SetNextSegmentNumber(stream, 1);
    int32_t ref = 0;
    uint8_t retain = 0;
    Jbig2TextRegionRecord region{};
    region.header = {0, 0, 1, 1, &ref, &retain, 6, 0, 0};
    region.region = {page.width, page.height, 0, 0, 0};
    region.numInstances = 10;
    region.instances = instances.data();
    EXPECT_EQ(encodeTextRegion(stream, &region, dicts, nullptr, nullptr, false), 10003);
  });
  EXPECT_TRUE(written.empty());
  // Never transposed as well: the column is coded in rows.
  options.bytes[17] = 1;
  EXPECT_FALSE(roundTripPage(page, options).bytes.empty());
}

TEST_F(TextEncodeTest, FailureAtEveryAllocationLeavesNothing) {
  std::mt19937 random(21);
  GlyphPage page = steppedRow(2, 30, random);
  for (const Coding &c : {kCodings[0], kCodings[5]}) {
    SCOPED_TRACE(c.name);
    for (long n = 1;; ++n) {
      SCOPED_TRACE(n);
      std::vector<Jbig2Symbol> symbols = jbtest::symbolsOf(page.glyphs);
      std::vector<Jbig2SymbolInstance> instances = jbtest::instancesOf(page, symbols);
      DataSink *sink = nullptr;
      Jb2File *stream = nullptr;
      ASSERT_EQ(memSinkNew(state_, &sink), 0);
      ASSERT_EQ(jb2NewStream(nullptr, sink, state_, &stream), 0);
      const Jb2Options options = optionsFor(stream, c);
      jb2SetOptions(stream, &options);
      Jbig2SymbolDictRecord dict{};
      dict.header.page = 1;
      dict.numSymbols = static_cast<int32_t>(symbols.size());
      dict.symbols = symbols.data();
      Jbig2TextRegionRecord region{};
      region.header.type = 6;
      region.header.page = 1;
      region.region = {page.width, page.height, 0, 0, 0};
      region.numInstances = static_cast<int32_t>(instances.size());
      region.instances = instances.data();
      const Jbig2SymbolDictRecord *dicts[] = {&dict};
      const Jbig2SegHeader *refs[] = {&dict.header};
      norvtest::heap.failAt = norvtest::heap.requests + n;
      int32_t status = encodeSymbolDict(stream, &dict, nullptr, 0, nullptr, nullptr, true);
      if (status == 0) status = segAddReferences(stream, &region.header, refs, 1);
      if (status == 0) status = encodeTextRegion(stream, &region, dicts, nullptr, nullptr, false);
      norvtest::heap.failAt = -1;
      freeSegReferences(stream, &dict.header);
      freeSegReferences(stream, &region.header);
      jb2FreeStream(stream);
      jbtest::closeAndJoin(sink, state_);
      if (status == 0) break;
      ASSERT_EQ(status, 1);
    }
  }
}

}  // namespace

// A page made of a dictionary and a text region, put in a PDF and rendered by pdftoppm: every
// pixel as drawn, with nothing reported. Rendered at four times the page's resolution and read
// at the centre of each page pixel (the renderer's one-to-one image scaling moves edges).
TEST_F(TextEncodeTest, PdfRendererDrawsTheEmbeddedPageExactly) {
  if (!norvtest::toolAvailable("pdftoppm")) GTEST_SKIP() << "pdftoppm not installed";
  std::mt19937 random(5);
  GlyphPage page;
  page.width = 64;
  page.height = 32;
  page.glyphs.push_back(jbtest::randomGlyph(7, 9, random));   // noise: plain rows are shorter
  page.glyphs.push_back(jbtest::randomGlyph(5, 12, random));  // than their MMR code
  page.glyphs.push_back(jbtest::blankGlyph(8, 9));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 8; ++x) page.glyphs[2].set(x, y);
  page.placements = {{0, 2, 3}, {1, 12, 5}, {0, 30, 4}, {1, 45, 15}, {2, 20, 20}};
  const Pbm model = jbtest::drawPage(page);
  for (const Coding &c : kCodings) {
    SCOPED_TRACE(c.name);
    const jbtest::PageSegments written = roundTripPage(page, optionsFor(stream_, c));
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(jbtest::popplerDifferingPixels(written.bytes, parseAll(written.bytes), model), 0);
  }
}

// Two symbols of one height whose rows, side by side, give a row of two black runs followed by a
// white row: in one MMR collective bitmap a common reader draws that white row with the second
// run. The dictionary codes them as two classes of the same height, and poppler draws the page
// exactly (the fixed tables have no DH 0 to split with, so they are left out).
TEST_F(TextEncodeTest, CollectiveBitmapsHoldNoWhiteRowAfterARowOfTwoRuns) {
  if (!norvtest::toolAvailable("pdftoppm")) GTEST_SKIP() << "pdftoppm not installed";
  GlyphPage page;
  page.width = 40;
  page.height = 12;
  for (const int32_t width : {3, 4}) {
    jbtest::Glyph g = jbtest::blankGlyph(width, 4);
    g.set(0, 0);
    for (int x = 0; x < width; ++x) g.set(x, 2);
    g.set(width - 1, 3);
    page.glyphs.push_back(g);
  }
  page.placements = {{0, 2, 2}, {1, 10, 3}, {0, 20, 6}, {1, 30, 7}};
  const Pbm model = jbtest::drawPage(page);
  for (const Coding &c : kCodings) {
    if (c.arithmeticDict || c.fixedTables) continue;
    SCOPED_TRACE(c.name);
    const jbtest::PageSegments written = roundTripPage(page, optionsFor(stream_, c));
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(jbtest::popplerDifferingPixels(written.bytes, parseAll(written.bytes), model), 0);
  }
}
