// Integer, symbol-ID and table coding, checked by round trips through the decoder's own
// readers: every standard table over its whole range, custom tables written as table segments
// and parsed back, IAx and IAID over the MQ coder; code lengths from counts (ties, the 32-bit
// limit), the choice of table by cost, and the table segment's exact bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "encode_support.h"
#include "jbig2_huffman.h"
#include "jbig2_value_encode.h"

namespace {

struct Value {
  int32_t v;
  bool oob;
  bool operator==(const Value &) const = default;
};

class ValueEncodeTest : public jbtest::SinkStreamTest {
 protected:
  // Huffman-codes the values with table into a fresh sink; the bytes.
  std::vector<uint8_t> huffman(const Jbig2CodeTable *table, const std::vector<Value> &values) {
    DataSink *sink = nullptr;
    JbitFile *bits = nullptr;
    EXPECT_EQ(memSinkNew(state_, &sink), 0);
    EXPECT_EQ(jbitWriterOnSink(sink, &bits), 0);
    Jbig2IntEncoder e;
    EXPECT_EQ(newIntEncoder(&e, true, table, bits, nullptr, nullptr, state_), 0);
    for (const Value &x : values) EXPECT_EQ(encodeInt(&e, x.v, x.oob), 0) << x.v;
    EXPECT_EQ(jbitCloseWriter(bits), 0);
    return jbtest::closeAndJoin(sink, state_);
  }

  // Reads n values back with the decoder's Huffman integer reader.
  std::vector<Value> readHuffman(const Jbig2CodeTable *table, const std::vector<uint8_t> &bytes,
                                 size_t n) {
    DataSource *source = nullptr;
    JbitFile *bits = nullptr;
    EXPECT_EQ(memSourceNew(bytes.data(), bytes.size(), state_, &source), 0);
    EXPECT_EQ(jbitReaderOnSource(source, &bits), 0);
    Jbig2IntDecoder d;
    newIntDecoder(&d, true, table, bits, nullptr, nullptr);
    std::vector<Value> out;
    for (size_t i = 0; i < n; ++i) {
      Value x{};
      if (decodeInt(&d, &x.oob, &x.v) != 0) break;
      out.push_back(x);
    }
    jbitCloseReader(bits);
    memSourceFree(source);
    return out;
  }
};

// Every value of the table's regular span when it is small, else each line's ends; values
// taken by the range lines; OOB when the table has it.
std::vector<Value> valuesOf(const Jbig2CodeTable *t) {
  std::vector<Value> values;
  for (int32_t i = 0; i < t->numLines; ++i) {
    const Jbig2CodeLine &l = t->lines[i];
    if (l.kind == kLineOob) values.push_back({0, true});
    if (l.kind == kLineLower)
      for (const int64_t d : {0, 1, 1000, 1 << 20})
        values.push_back({int32_t(l.rangeLow - d), false});
    if (l.kind == kLineUpper)
      for (const int64_t d : {0, 1, 1000, 1 << 20})
        values.push_back({int32_t(l.rangeLow + d), false});
    if (l.kind != kLineNormal) continue;
    const int64_t size = int64_t{1} << l.rangeLen;
    if (size <= 4096) {
      for (int64_t v = l.rangeLow; v < l.rangeLow + size; ++v)
        values.push_back({int32_t(v), false});
    } else {
      for (const int64_t v : {int64_t{l.rangeLow}, l.rangeLow + int64_t{1}, l.rangeLow + size / 2,
                              l.rangeLow + size - 1})
        values.push_back({int32_t(v), false});
    }
  }
  return values;
}

TEST_F(ValueEncodeTest, EveryStandardTableRoundTripsItsWholeRange) {
  for (int n = 1; n <= 15; ++n) {
    SCOPED_TRACE("table B." + std::to_string(n));
    const Jbig2CodeTable *t = standardTable(n);
    const std::vector<Value> values = valuesOf(t);
    EXPECT_EQ(readHuffman(t, huffman(t, values), values.size()), values);
  }
}

TEST_F(ValueEncodeTest, ValuesATableCannotCodeAreRefused) {
  struct Case {
    int table;
    int32_t value;
    bool oob;
  };
  for (const Case c : {Case{1, -1, false}, Case{1, 0, true}, Case{4, 0, false}, Case{6, 0, true}}) {
    SCOPED_TRACE(c.table);
    Jbig2IntEncoder e;
    ASSERT_EQ(newIntEncoder(&e, true, standardTable(c.table), nullptr, nullptr, nullptr, state_),
              0);
    uint32_t counts[32] = {};
    EXPECT_EQ(countIntValue(&e, c.value, c.oob, counts), 10003);
  }
}

TEST_F(ValueEncodeTest, OneBelowTheLowestValueTakesTheLowerLineAndThirtyTwoZeroBits) {
  const Jbig2CodeTable *b3 = standardTable(3);
  const Jbig2CodeLine &lower = b3->lines[6];
  ASSERT_EQ(lower.kind, kLineLower);
  ASSERT_EQ(lower.prefLen, 8);
  EXPECT_EQ(huffman(b3, {{-257, false}}),
            (std::vector<uint8_t>{static_cast<uint8_t>(lower.code), 0, 0, 0, 0}));
}

TEST_F(ValueEncodeTest, BrokenTablesAreRefused) {
  Jbig2CodeLine gap[] = {{0, 0, 1, 2, kLineNormal}, {0, 5, 2, 2, kLineNormal}};
  Jbig2CodeLine lowerAway[] = {{0, 0, 1, 2, kLineNormal}, {0, -5, 1, 32, kLineLower}};
  Jbig2CodeLine upperAway[] = {{0, 0, 1, 2, kLineNormal}, {0, 5, 1, 32, kLineUpper}};
  for (Jbig2CodeLine *lines : {gap, lowerAway, upperAway}) {
    Jbig2CodeTable t{};
    t.lines = lines;
    t.numLines = 2;
    Jbig2IntEncoder e;
    EXPECT_EQ(newIntEncoder(&e, true, &t, nullptr, nullptr, nullptr, state_), 10003);
  }
}

// Counts per line of a table: skewed (halving from the first), flat, or one line only.
std::vector<uint32_t> countsOf(const Jbig2CodeTable *t, char shape) {
  std::vector<uint32_t> counts(t->numLines);
  for (int32_t i = 0; i < t->numLines; ++i)
    counts[i] = shape == 'f' ? 1 : shape == 's' ? (1u << 20) >> std::min(i, 20) : i == 2;
  return counts;
}

TEST_F(ValueEncodeTest, CustomTablesRoundTripThroughTheirTableSegment) {
  for (const int base : {2, 6, 8, 15}) {
    for (const char shape : {'s', 'f', '1'}) {
      SCOPED_TRACE("B." + std::to_string(base) + " shape " + shape);
      const Jbig2CodeTable *t = standardTable(base);
      const std::vector<uint32_t> counts = countsOf(t, shape);
      Jbig2CodeTable *custom = nullptr;
      ASSERT_EQ(newCustomHuffTable(t, counts.data(), nullptr, state_, &custom), 0);
      const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
        Jbig2TableSegment segment{{}, custom};
        EXPECT_EQ(writeHuffTableSegment(stream, &segment), 0);
      });
      // The table as the decoder reads it from the segment.
      DataSource *source = nullptr;
      Jb2File *reader = nullptr;
      ASSERT_EQ(memSourceNew(bytes.data(), bytes.size(), state_, &source), 0);
      ASSERT_EQ(jb2NewStream(source, nullptr, state_, &reader), 0);
      Jbig2Segment seg{};
      ASSERT_EQ(parseSegmentHeader(reader, source, &seg), 0);
      EXPECT_EQ(seg.type, 53);
      EXPECT_EQ(seg.retain, 1);
      EXPECT_EQ(seg.dataLength, bytes.size() - source->pos);
      ASSERT_EQ(parseCodeTableSegment(reader, source, &seg, nullptr), 0);

      std::vector<Value> values;
      for (const Value &x : valuesOf(custom)) {
        Jbig2IntEncoder e;
        uint32_t lineCounts[32] = {};
        ASSERT_EQ(newIntEncoder(&e, true, custom, nullptr, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(countIntValue(&e, x.v, x.oob, lineCounts), 0);
        const auto line = std::max_element(lineCounts, lineCounts + 32) - lineCounts;
        if (custom->lines[line].prefLen > 0) values.push_back(x);  // lines with a code only
      }
      ASSERT_FALSE(values.empty());
      EXPECT_EQ(readHuffman(seg.u.table, huffman(custom, values), values.size()), values);
      releaseCodeTableSegment(&seg, state_);
      qtz::release(state_, seg.refs);
      qtz::release(state_, seg.refRetain);
      jb2FreeStream(reader);
      memSourceFree(source);
      freeHuffTable(custom, state_);
    }
  }
}

TEST_F(ValueEncodeTest, TableSegmentOfACopyOfB1) {
  const uint8_t lengths[] = {1, 0, 2, 2};
  Jbig2CodeTable *custom = nullptr;
  ASSERT_EQ(newCustomHuffTable(standardTable(1), nullptr, lengths, state_, &custom), 0);
  Jbig2TableSegment segment{{}, custom};
  ASSERT_EQ(writeHuffTableSegment(stream_, &segment), 0);
  freeHuffTable(custom, state_);
  // Header: segment 0, type 53 retained, no references, page 0, 13 data bytes. Data: HTOOB 0,
  // HTPS 2, HTRS 5; HTLOW 0, HTHIGH 65808; lines (1,4) (0,8) (2,16), lower 0, upper 2.
  const std::vector<uint8_t> expected = {0, 0, 0, 0, 53, 0x01, 0,    0,    0,    0,    13,   0x42,
                                         0, 0, 0, 0, 0,  1,    0x01, 0x10, 0x48, 0x22, 0x81, 0x00};
  EXPECT_EQ(bytes(), expected);
}

// The MQ round trip: values coded with IAx and symbol IDs with IAID, read back by the
// decoder's procedures.
TEST_F(ValueEncodeTest, ArithmeticIntegersAndSymbolIdsRoundTrip) {
  std::mt19937 random(41);
  std::vector<Value> values = {
      {0, false},     {-1, false},  {3, false},         {4, false},
      {19, false},    {20, false},  {83, false},        {84, false},
      {339, false},   {340, false}, {4435, false},      {4436, false},
      {-4436, false}, {0, true},    {INT32_MAX, false}, {INT32_MIN, false}};
  for (int i = 0; i < 3000; ++i) {
    const int32_t magnitude = static_cast<int32_t>(random() >> (random() % 32));
    values.push_back({random() % 2 ? magnitude : -magnitude, random() % 17 == 0});
    if (values.back().oob) values.back().v = 0;
  }
  const uint32_t symbolCounts[] = {1, 2, 3, 1000, 70000};
  std::vector<uint32_t> ids;
  for (int i = 0; i < 3000; ++i) ids.push_back(static_cast<uint32_t>(random()));

  MqEncoder mq;
  sinkStartMq(stream_->sink, &mq);
  uint8_t cx[512];
  Jbig2IntEncoder e;
  ASSERT_EQ(newIntEncoder(&e, false, nullptr, nullptr, &mq, cx, state_), 0);
  for (const Value &x : values) ASSERT_EQ(encodeInt(&e, x.v, x.oob), 0);
  for (const uint32_t n : symbolCounts) {
    Jbig2SymbolIdEncoder *ide = nullptr;
    ASSERT_EQ(newSymbolIdEncoder(n, &mq, state_, &ide), 0);
    for (const uint32_t id : ids) ASSERT_EQ(encodeSymbolId(ide, id % n), 0);
    EXPECT_EQ(encodeSymbolId(ide, n), 10003);
    freeSymbolIdEncoder(&ide);
  }
  ASSERT_EQ(sinkEndMq(stream_->sink, &mq), 0);
  const std::vector<uint8_t> bytes = this->bytes();

  MqDecoder dec;
  mqDecInit(&dec, bytes.data(), bytes.size(), nullptr, nullptr, state_);
  uint8_t dcx[512];
  Jbig2IntDecoder d;
  newIntDecoder(&d, false, nullptr, nullptr, &dec, dcx);
  std::vector<Value> decoded;
  for (size_t i = 0; i < values.size(); ++i) {
    Value x{};
    ASSERT_EQ(decodeInt(&d, &x.oob, &x.v), 0);
    decoded.push_back(x);
  }
  EXPECT_EQ(decoded, values);
  for (const uint32_t n : symbolCounts) {
    SCOPED_TRACE(n);
    const int32_t length = ceilLog2(n);
    std::vector<uint8_t> idcx(size_t{1} << (length + 1));
    std::vector<uint32_t> got;
    for (size_t i = 0; i < ids.size(); ++i) got.push_back(decodeIaid(&dec, idcx.data(), length));
    std::vector<uint32_t> want;
    for (const uint32_t id : ids) want.push_back(id % n);
    EXPECT_EQ(got, want);
  }
}

TEST_F(ValueEncodeTest, OneSymbolCostsNothingPerInstance) {
  auto codedBytes = [&](int instances) {
    DataSink *sink = nullptr;
    EXPECT_EQ(memSinkNew(state_, &sink), 0);
    MqEncoder mq;
    sinkStartMq(sink, &mq);
    Jbig2SymbolIdEncoder *e = nullptr;
    EXPECT_EQ(newSymbolIdEncoder(1, &mq, state_, &e), 0);
    for (int i = 0; i < instances; ++i) EXPECT_EQ(encodeSymbolId(e, 0), 0);
    freeSymbolIdEncoder(&e);
    EXPECT_EQ(sinkEndMq(sink, &mq), 0);
    return jbtest::closeAndJoin(sink, state_);
  };
  EXPECT_EQ(codedBytes(500), codedBytes(0));
}

TEST_F(ValueEncodeTest, PrefixCodedSymbolIdsRoundTrip) {
  std::mt19937 random(7);
  std::vector<uint32_t> counts(300);
  for (uint32_t &c : counts) c = 1 + random() % 1000;
  std::vector<uint8_t> lengths(counts.size());
  ASSERT_EQ(huffCodeLengths(counts.data(), lengths.data(), 300, 32, state_), 0);
  std::vector<uint32_t> ids;
  for (int i = 0; i < 2000; ++i) ids.push_back(random() % 300);

  JbitFile *bits = nullptr;
  ASSERT_EQ(jbitWriterOnSink(stream_->sink, &bits), 0);
  Jbig2SymbolIdEncoder *e = nullptr;
  ASSERT_EQ(newSymbolIdHuffCode(300, bits, lengths.data(), state_, &e), 0);
  for (const uint32_t id : ids) ASSERT_EQ(encodeSymbolId(e, id), 0);
  freeSymbolIdEncoder(&e);
  ASSERT_EQ(jbitCloseWriter(bits), 0);
  const std::vector<uint8_t> bytes = this->bytes();

  // The decoder's table over the same lengths.
  std::vector<Jbig2CodeLine> lines(300);
  for (uint32_t i = 0; i < 300; ++i)
    lines[i] = {0, static_cast<int32_t>(i), lengths[i], 0, kLineNormal};
  Jbig2CodeTable table{};
  ASSERT_EQ(buildCodeTable(&table, lines.data(), 300, false, state_), 0);
  const std::vector<Value> got = readHuffman(&table, bytes, ids.size());
  freeCodeTable(&table, state_);
  ASSERT_EQ(got.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(got[i].v, static_cast<int32_t>(ids[i]));
}

// Kraft sum of the lengths, scaled by 2^32.
uint64_t kraft(const std::vector<uint8_t> &lengths) {
  uint64_t sum = 0;
  for (const uint8_t l : lengths)
    if (l > 0) sum += uint64_t{1} << (32 - l);
  return sum;
}

TEST_F(ValueEncodeTest, CodeLengthsFromCounts) {
  struct Case {
    std::vector<uint32_t> counts;
    std::vector<uint8_t> lengths;
  };
  const Case cases[] = {
      {{5, 0, 5}, {1, 0, 1}},
      {{0, 7, 0}, {0, 1, 0}},
      {{1, 1, 2}, {2, 2, 1}},
      {{2, 1, 1}, {1, 2, 2}},
      {{0, 0}, {0, 0}},
      {{1, 1, 1, 1}, {2, 2, 2, 2}},
      {{8, 4, 2, 1, 1}, {1, 2, 3, 4, 4}},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> lengths(c.counts.size(), 99);
    ASSERT_EQ(
        huffCodeLengths(c.counts.data(), lengths.data(), int32_t(c.counts.size()), 32, state_), 0);
    EXPECT_EQ(lengths, c.lengths);
  }
}

TEST_F(ValueEncodeTest, CodeLengthsStayWithinTheLimit) {
  // Fibonacci weights make a tree one level deeper per leaf: 45 leaves would need 44 bits.
  std::vector<uint32_t> counts = {1, 1};
  while (counts.size() < 45)
    counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
  std::shuffle(counts.begin(), counts.end(), std::mt19937(3));
  for (const int32_t limit : {32, 15, 6}) {
    SCOPED_TRACE(limit);
    std::vector<uint8_t> lengths(counts.size());
    ASSERT_EQ(huffCodeLengths(counts.data(), lengths.data(), 45, limit, state_), 0);
    EXPECT_LE(*std::max_element(lengths.begin(), lengths.end()), limit);
    EXPECT_EQ(kraft(lengths), uint64_t{1} << 32);  // a complete code
    for (size_t i = 0; i < counts.size(); ++i)
      for (size_t j = 0; j < counts.size(); ++j)
        if (counts[i] > counts[j]) {
          EXPECT_LE(lengths[i], lengths[j]);
        }
  }
  std::vector<uint8_t> lengths(counts.size());
  EXPECT_EQ(huffCodeLengths(counts.data(), lengths.data(), 45, 5, state_), 10003);
}

class TableChoiceTest : public ValueEncodeTest {
 protected:
  // Runs the chooser over the candidates for the values.
  int32_t choose(std::vector<const Jbig2CodeTable *> candidates, const std::vector<int32_t> &values,
                 bool custom, const Jbig2CodeTable **chosen, Jbig2CodeTable **owned) {
    Jbig2ValueCollector *c = nullptr;
    const auto n = static_cast<int32_t>(candidates.size());
    EXPECT_EQ(newValueCollectors(candidates.data(), n, state_, &c), 0);
    for (const int32_t v : values) EXPECT_EQ(collectValue(c, n, v, false), 0);
    const int32_t status = chooseHuffTable(c, n, custom, state_, chosen, owned);
    freeValueCollectors(&c, n, state_);
    return status;
  }
};

TEST_F(TableChoiceTest, CheapestStandardTableWinsTheEarlierOnEqualCost) {
  const Jbig2CodeTable *b2 = standardTable(2), *b3 = standardTable(3), *chosen = nullptr;
  Jbig2CodeTable *owned = nullptr;
  const std::vector<int32_t> small = {0, 1, 2, 0, 0, 1};  // B.2 and B.3 cost the same
  ASSERT_EQ(choose({b3, b2}, small, false, &chosen, &owned), 0);
  EXPECT_EQ(chosen, b3);
  ASSERT_EQ(choose({b2, b3}, small, false, &chosen, &owned), 0);
  EXPECT_EQ(chosen, b2);
  // B.2 has no lower range line: a negative value leaves only B.3.
  ASSERT_EQ(choose({b2, b3}, {0, 1, -5}, false, &chosen, &owned), 0);
  EXPECT_EQ(chosen, b3);
  EXPECT_EQ(choose({b2, standardTable(1)}, {-5}, false, &chosen, &owned), 10003);
  EXPECT_EQ(owned, nullptr);
}

TEST_F(TableChoiceTest, CustomTableOnlyWhenStrictlyCheaperWithItsSegment) {
  // Value 10 costs 7 bits in B.2 (prefix 4, range 3) and 4 bits in a custom copy (prefix 1);
  // the copy pays 8 x 7 lines + 160 = 216 bits = 72 x 3 saved bits.
  const Jbig2CodeTable *b2 = standardTable(2), *chosen = nullptr;
  for (const auto &[count, custom] : {std::pair{72, false}, std::pair{73, true}}) {
    SCOPED_TRACE(count);
    Jbig2CodeTable *owned = nullptr;
    ASSERT_EQ(choose({b2}, std::vector<int32_t>(count, 10), true, &chosen, &owned), 0);
    EXPECT_EQ(owned != nullptr, custom);
    EXPECT_EQ(chosen, custom ? owned : b2);
    freeHuffTable(owned, state_);
  }
}

TEST_F(TableChoiceTest, ACustomTableForSkewedValuesCodesThemInFewerBits) {
  std::mt19937 random(5);
  std::vector<int32_t> values;
  for (int i = 0; i < 5000; ++i) {
    const uint32_t r = random() % 100;
    values.push_back(r < 70 ? 700 + int32_t(random() % 8) : r < 95 ? -3 : int32_t(random() % 3000));
  }
  const std::vector<const Jbig2CodeTable *> candidates = {standardTable(6), standardTable(7)};
  const Jbig2CodeTable *best = nullptr, *chosen = nullptr;
  Jbig2CodeTable *none = nullptr, *custom = nullptr;
  ASSERT_EQ(choose(candidates, values, false, &best, &none), 0);
  ASSERT_EQ(choose(candidates, values, true, &chosen, &custom), 0);
  ASSERT_NE(custom, nullptr);
  std::vector<Value> coded;
  for (const int32_t v : values) coded.push_back({v, false});
  const size_t standardBytes = huffman(best, coded).size();
  const size_t customBytes = huffman(custom, coded).size();
  const size_t segmentBytes = writtenBy([&](Jb2File *stream) {
                                Jbig2TableSegment segment{{}, custom};
                                EXPECT_EQ(writeHuffTableSegment(stream, &segment), 0);
                              }).size();
  EXPECT_LT(customBytes + segmentBytes, standardBytes);
  // The coded values read back through the custom table.
  EXPECT_EQ(readHuffman(custom, huffman(custom, coded), coded.size()), coded);
  freeHuffTable(custom, state_);
}

TEST_F(TableChoiceTest, FailureAtEveryAllocationLeavesNothing) {
  const std::vector<const Jbig2CodeTable *> candidates = {standardTable(6), standardTable(7)};
  for (long n = 1;; ++n) {
    SCOPED_TRACE(n);
    Jbig2ValueCollector *c = nullptr;
    const Jbig2CodeTable *chosen = nullptr;
    Jbig2CodeTable *custom = nullptr;
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t status = newValueCollectors(candidates.data(), 2, state_, &c);
    for (int i = 0; status == 0 && i < 500; ++i) status = collectValue(c, 2, 700, false);
    if (status == 0) status = chooseHuffTable(c, 2, true, state_, &chosen, &custom);
    norvtest::heap.failAt = -1;
    freeValueCollectors(&c, 2, state_);
    if (status == 0) {
      EXPECT_NE(custom, nullptr);
      freeHuffTable(custom, state_);
      break;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(custom, nullptr);
  }
}

}  // namespace
