// Huffman tables: every standard table decodes every kind of value (ordinary lines at both
// ends of their range, the lower and upper range lines, out-of-band) from codes written by a
// tiny encoder whose code assignment is computed here from T.88's line lists; the arithmetic
// integer and symbol-ID procedures; hostile code table segments.
#include <gtest/gtest.h>

#include <vector>

#include "jbig2_huffman.h"
#include "jbig2_reference_encoder.h"
#include "jbig2_test_support.h"

namespace {

// T.88 Tables B.1 to B.15 as (prefix length, range length, range low, kind), kind 'N' ordinary,
// 'L' lower range, 'U' upper range, 'O' out-of-band.
struct Line {
  int pref, range;
  int64_t low;
  char kind;
};
const std::vector<std::vector<Line>> kTables = {
    {{1, 4, 0, 'N'}, {2, 8, 16, 'N'}, {3, 16, 272, 'N'}, {3, 32, 65808, 'U'}},
    {{1, 0, 0, 'N'},
     {2, 0, 1, 'N'},
     {3, 0, 2, 'N'},
     {4, 3, 3, 'N'},
     {5, 6, 11, 'N'},
     {6, 32, 75, 'U'},
     {6, 0, 0, 'O'}},
    {{8, 8, -256, 'N'},
     {1, 0, 0, 'N'},
     {2, 0, 1, 'N'},
     {3, 0, 2, 'N'},
     {4, 3, 3, 'N'},
     {5, 6, 11, 'N'},
     {8, 32, -257, 'L'},
     {7, 32, 75, 'U'},
     {6, 0, 0, 'O'}},
    {{1, 0, 1, 'N'},
     {2, 0, 2, 'N'},
     {3, 0, 3, 'N'},
     {4, 3, 4, 'N'},
     {5, 6, 12, 'N'},
     {5, 32, 76, 'U'}},
    {{7, 8, -255, 'N'},
     {1, 0, 1, 'N'},
     {2, 0, 2, 'N'},
     {3, 0, 3, 'N'},
     {4, 3, 4, 'N'},
     {5, 6, 12, 'N'},
     {7, 32, -256, 'L'},
     {6, 32, 76, 'U'}},
    {{5, 10, -2048, 'N'},
     {4, 9, -1024, 'N'},
     {4, 8, -512, 'N'},
     {4, 7, -256, 'N'},
     {5, 6, -128, 'N'},
     {5, 5, -64, 'N'},
     {4, 5, -32, 'N'},
     {2, 7, 0, 'N'},
     {3, 7, 128, 'N'},
     {3, 8, 256, 'N'},
     {4, 9, 512, 'N'},
     {4, 10, 1024, 'N'},
     {6, 32, -2049, 'L'},
     {6, 32, 2048, 'U'}},
    {{4, 9, -1024, 'N'},
     {3, 8, -512, 'N'},
     {4, 7, -256, 'N'},
     {5, 6, -128, 'N'},
     {5, 5, -64, 'N'},
     {4, 5, -32, 'N'},
     {4, 5, 0, 'N'},
     {5, 5, 32, 'N'},
     {5, 6, 64, 'N'},
     {4, 7, 128, 'N'},
     {3, 8, 256, 'N'},
     {3, 9, 512, 'N'},
     {3, 10, 1024, 'N'},
     {5, 32, -1025, 'L'},
     {5, 32, 2048, 'U'}},
    {{8, 3, -15, 'N'}, {9, 1, -7, 'N'},  {8, 1, -5, 'N'},   {9, 0, -3, 'N'},   {7, 0, -2, 'N'},
     {4, 0, -1, 'N'},  {2, 1, 0, 'N'},   {5, 0, 2, 'N'},    {6, 0, 3, 'N'},    {3, 4, 4, 'N'},
     {6, 1, 20, 'N'},  {4, 4, 22, 'N'},  {4, 5, 38, 'N'},   {5, 6, 70, 'N'},   {5, 7, 134, 'N'},
     {6, 7, 262, 'N'}, {7, 8, 390, 'N'}, {6, 10, 646, 'N'}, {9, 32, -16, 'L'}, {9, 32, 1670, 'U'},
     {2, 0, 0, 'O'}},
    {{8, 4, -31, 'N'},   {9, 2, -15, 'N'}, {8, 2, -11, 'N'}, {9, 1, -7, 'N'},    {7, 1, -5, 'N'},
     {4, 1, -3, 'N'},    {3, 1, -1, 'N'},  {3, 1, 1, 'N'},   {5, 1, 3, 'N'},     {6, 1, 5, 'N'},
     {3, 5, 7, 'N'},     {6, 2, 39, 'N'},  {4, 5, 43, 'N'},  {4, 6, 75, 'N'},    {5, 7, 139, 'N'},
     {5, 8, 267, 'N'},   {6, 8, 523, 'N'}, {7, 9, 779, 'N'}, {6, 11, 1291, 'N'}, {9, 32, -32, 'L'},
     {9, 32, 3339, 'U'}, {2, 0, 0, 'O'}},
    {{7, 4, -21, 'N'},   {8, 0, -5, 'N'},    {7, 0, -4, 'N'},   {5, 0, -3, 'N'},
     {2, 2, -2, 'N'},    {5, 0, 2, 'N'},     {6, 0, 3, 'N'},    {7, 0, 4, 'N'},
     {8, 0, 5, 'N'},     {2, 6, 6, 'N'},     {5, 5, 70, 'N'},   {6, 5, 102, 'N'},
     {6, 6, 134, 'N'},   {6, 7, 198, 'N'},   {6, 8, 326, 'N'},  {6, 9, 582, 'N'},
     {6, 10, 1094, 'N'}, {7, 11, 2118, 'N'}, {8, 32, -22, 'L'}, {8, 32, 4166, 'U'},
     {2, 0, 0, 'O'}},
    {{1, 0, 1, 'N'},
     {2, 1, 2, 'N'},
     {4, 0, 4, 'N'},
     {4, 1, 5, 'N'},
     {5, 1, 7, 'N'},
     {5, 2, 9, 'N'},
     {6, 2, 13, 'N'},
     {7, 2, 17, 'N'},
     {7, 3, 21, 'N'},
     {7, 4, 29, 'N'},
     {7, 5, 45, 'N'},
     {7, 6, 77, 'N'},
     {7, 32, 141, 'U'}},
    {{1, 0, 1, 'N'},
     {2, 0, 2, 'N'},
     {3, 1, 3, 'N'},
     {5, 0, 5, 'N'},
     {5, 1, 6, 'N'},
     {6, 1, 8, 'N'},
     {7, 0, 10, 'N'},
     {7, 1, 11, 'N'},
     {7, 2, 13, 'N'},
     {7, 3, 17, 'N'},
     {7, 4, 25, 'N'},
     {8, 5, 41, 'N'},
     {8, 32, 73, 'U'}},
    {{1, 0, 1, 'N'},
     {3, 0, 2, 'N'},
     {4, 0, 3, 'N'},
     {5, 0, 4, 'N'},
     {4, 1, 5, 'N'},
     {3, 3, 7, 'N'},
     {6, 1, 15, 'N'},
     {6, 2, 17, 'N'},
     {6, 3, 21, 'N'},
     {6, 4, 29, 'N'},
     {6, 5, 45, 'N'},
     {7, 6, 77, 'N'},
     {7, 32, 141, 'U'}},
    {{3, 0, -2, 'N'}, {3, 0, -1, 'N'}, {1, 0, 0, 'N'}, {3, 0, 1, 'N'}, {3, 0, 2, 'N'}},
    {{7, 4, -24, 'N'},
     {6, 2, -8, 'N'},
     {5, 1, -4, 'N'},
     {4, 0, -2, 'N'},
     {3, 0, -1, 'N'},
     {1, 0, 0, 'N'},
     {3, 0, 1, 'N'},
     {4, 0, 2, 'N'},
     {5, 1, 3, 'N'},
     {6, 2, 5, 'N'},
     {7, 4, 9, 'N'},
     {7, 32, -25, 'L'},
     {7, 32, 25, 'U'}},
};

// Codes of T.88 B.3, computed independently of the library.
std::vector<uint32_t> codesOf(const std::vector<Line> &lines) {
  std::vector<uint32_t> count(40, 0), first(40, 0), next(40, 0), codes;
  for (const Line &l : lines) count[l.pref]++;
  count[0] = 0;
  for (int n = 1; n < 40; ++n) first[n] = (first[n - 1] + count[n - 1]) << 1;
  for (const Line &l : lines) codes.push_back(first[l.pref] + next[l.pref]++);
  return codes;
}

struct BitWriter {
  std::vector<uint8_t> bytes;
  int used = 8;
  void put(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used == 8) bytes.push_back(0), used = 0;
      bytes.back() |= ((value >> i) & 1) << (7 - used++);
    }
  }
};

struct HuffmanFixture : jbtest::DecoderFixture {};

TEST_F(HuffmanFixture, EveryStandardTableDecodesEveryKindOfValue) {
  for (size_t t = 0; t < kTables.size(); ++t) {
    SCOPED_TRACE("table B." + std::to_string(t + 1));
    const std::vector<Line> &lines = kTables[t];
    const std::vector<uint32_t> codes = codesOf(lines);
    const Jbig2CodeTable *table = standardTable(int(t) + 1);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->numLines, int32_t(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(table->lines[i].code, codes[i]) << "line " << i;
      EXPECT_EQ(table->lines[i].prefLen, lines[i].pref);
      EXPECT_EQ(table->lines[i].rangeLow, lines[i].low);
    }
    // Values: both ends of every ordinary range, far values of the range lines, OOB.
    BitWriter w;
    std::vector<std::pair<int64_t, bool>> expected;
    for (size_t i = 0; i < lines.size(); ++i) {
      const Line &l = lines[i];
      auto emit = [&](int64_t value, uint64_t raw, int bits) {
        w.put(codes[i], l.pref);
        w.put(raw, bits);
        expected.push_back({value, false});
      };
      if (l.kind == 'N') {
        emit(l.low, 0, l.range);
        emit(l.low + (int64_t{1} << l.range) - 1, (uint64_t{1} << l.range) - 1, l.range);
      } else if (l.kind == 'L') {
        emit(l.low - 1000, 1000, 32);
      } else if (l.kind == 'U') {
        emit(l.low + 123456, 123456, 32);
      } else {
        w.put(codes[i], l.pref);
        expected.push_back({0, true});
      }
    }
    DataSource *src = nullptr;
    ASSERT_EQ(memSourceNew(w.bytes.data(), w.bytes.size(), state, &src), 0);
    JbitFile *bits = nullptr;
    ASSERT_EQ(jbitReaderOnSource(src, &bits), 0);
    Jbig2IntDecoder d;
    newIntDecoder(&d, true, table, bits, nullptr, nullptr);
    for (const auto &[value, oob] : expected) {
      bool gotOob = false;
      int32_t got = 0;
      ASSERT_EQ(decodeInt(&d, &gotOob, &got), 0);
      EXPECT_EQ(gotOob, oob);
      if (!oob) {
        EXPECT_EQ(got, value);
      }
    }
    jbitCloseReader(bits);
    memSourceFree(src);
  }
}

TEST_F(HuffmanFixture, ExamplesOfTheStandard) {
  struct Case {
    int table;
    std::vector<uint8_t> bytes;
    bool oob;
    int32_t value;
  };
  // B.1: 110 + 16 bits 0x0001 = 273; 111 + 32 bits 0 = 65808. B.2: 111111 = OOB.
  // B.3: 11111110 (lower range, prefix 8) + 32 bits 1 = -258.
  const Case cases[] = {
      {1, {0xC0, 0x00, 0x20}, false, 273},
      {1, {0xE0, 0x00, 0x00, 0x00, 0x00}, false, 65808},
      {2, {0xFC}, true, 0},
      {3, {0xFF, 0x00, 0x00, 0x00, 0x01}, false, -258},
  };
  for (const Case &c : cases) {
    DataSource *src = nullptr;
    ASSERT_EQ(memSourceNew(c.bytes.data(), c.bytes.size(), state, &src), 0);
    JbitFile *bits = nullptr;
    ASSERT_EQ(jbitReaderOnSource(src, &bits), 0);
    Jbig2IntDecoder d;
    newIntDecoder(&d, true, standardTable(c.table), bits, nullptr, nullptr);
    bool oob = false;
    int32_t v = 0;
    EXPECT_EQ(decodeInt(&d, &oob, &v), 0);
    EXPECT_EQ(oob, c.oob);
    EXPECT_EQ(v, c.value) << "B." << c.table;
    jbitCloseReader(bits);
    memSourceFree(src);
  }
}

TEST(ArithmeticIntegers, RoundTripWithOobAndNegatives) {
  // Encode with the T.88 A.2 procedure written out here; decode with decodeInt.
  const std::vector<int64_t> values = {0,     1,  3,   4,     19,         20,
                                       83,    84, 339, 340,   4435,       4436,
                                       70000, -1, -3,  -4436, 2147483647, -2147483647};
  std::vector<uint8_t> out;
  std::vector<uint8_t> cx(512, 0);
  MqEncoder enc;
  mqEncInit(&enc, jbtest::collectByte, &out, nullptr);
  auto encodeInt = [&](int64_t v, bool oob) {
    uint32_t prev = 1;
    auto bit = [&](int b) {
      mqEncode(&enc, &cx[prev], b);
      prev = prev < 256 ? (prev << 1) | b : (((prev << 1) | b) & 511) | 256;
    };
    const int64_t m = oob ? 0 : (v < 0 ? -v : v);
    bit(oob || v < 0);
    static const int64_t offsets[] = {0, 4, 20, 84, 340, 4436};
    static const int widths[] = {2, 4, 6, 8, 12, 32};
    int k = 0;
    while (k < 5 && m >= offsets[k + 1]) ++k;
    for (int i = 0; i < k; ++i) bit(1);
    if (k < 5) bit(0);
    for (int i = widths[k] - 1; i >= 0; --i) bit(int(((m - offsets[k]) >> i) & 1));
  };
  for (int64_t v : values) encodeInt(v, false);
  encodeInt(0, true);
  mqFlush(&enc);
  MqDecoder mq;
  mqDecInit(&mq, out.data(), out.size(), nullptr, nullptr, nullptr);
  std::vector<uint8_t> dcx(512);
  Jbig2IntDecoder d;
  newIntDecoder(&d, false, nullptr, nullptr, &mq, dcx.data());
  for (int64_t v : values) {
    bool oob = true;
    int32_t got = 0;
    ASSERT_EQ(decodeInt(&d, &oob, &got), 0);
    EXPECT_FALSE(oob);
    EXPECT_EQ(got, v);
  }
  bool oob = false;
  int32_t got = 5;
  ASSERT_EQ(decodeInt(&d, &oob, &got), 0);
  EXPECT_TRUE(oob);
}

TEST_F(HuffmanFixture, TablesWithoutCodesOrWithOversizedPrefixesAreRefused) {
  Jbig2CodeLine none[3] = {
      {0, 0, 0, 4, kLineNormal}, {0, 16, 0, 4, kLineNormal}, {0, 0, 0, 0, kLineOob}};
  Jbig2CodeTable t;
  EXPECT_EQ(buildCodeTable(&t, none, 3, false, state), 107);
  freeCodeTable(&t, state);
  Jbig2CodeLine tooLong[1] = {{0, 0, 33, 0, kLineNormal}};
  EXPECT_EQ(buildCodeTable(&t, tooLong, 1, false, state), 107);
  freeCodeTable(&t, state);
  // Three codes of length 1 do not fit.
  Jbig2CodeLine crowded[3] = {
      {0, 0, 1, 0, kLineNormal}, {0, 1, 1, 0, kLineNormal}, {0, 2, 1, 0, kLineNormal}};
  EXPECT_EQ(buildCodeTable(&t, crowded, 3, false, state), 2);
  freeCodeTable(&t, state);
}

}  // namespace
