// Referring strips (both forms, the form test, truncation and mutation), global data blocks and
// the global data table.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ovr_shared_data_internal.h"
#include "ovr_test_support.h"
#include "ovr_vocab_internal.h"

namespace {

using ovr::ByteOrder;
using ovr_test::Bytes;
using ovr_test::MemoryFile;

constexpr ByteOrder LE = ByteOrder::Little;
constexpr ByteOrder BE = ByteOrder::Big;

// Form A: 0, n, indices, L, L bytes of data, then tail bytes.
std::vector<uint8_t> formA(ByteOrder order, const std::vector<uint32_t> &indices,
                           const std::vector<uint8_t> &data, const std::vector<uint8_t> &tail) {
  Bytes b(order);
  b.u8(0);
  b.u16(static_cast<uint16_t>(indices.size()));
  for (uint32_t i : indices) b.u32(i);
  b.u32(static_cast<uint32_t>(data.size()));
  b.raw(data);
  b.raw(tail);
  return b.data();
}

// Form B: 0, L, n, indices, data.
std::vector<uint8_t> formB(ByteOrder order, uint32_t length, const std::vector<uint32_t> &indices,
                           const std::vector<uint8_t> &data) {
  Bytes b(order);
  b.u8(0);
  b.u32(length);
  b.u16(static_cast<uint16_t>(indices.size()));
  for (uint32_t i : indices) b.u32(i);
  b.raw(data);
  return b.data();
}

// Parses from an exactly sized heap copy, so that any read outside the strip is caught.
int32_t parse(const std::vector<uint8_t> &strip, ByteOrder order, uint32_t options,
              ovr::ReferringStrip *out, std::unique_ptr<uint8_t[]> &holder) {
  holder = std::make_unique<uint8_t[]>(strip.size() + 1);
  std::copy(strip.begin(), strip.end(), holder.get());
  return ovr::parseReferringStrip(holder.get(), strip.size(), order, options, out);
}

std::vector<uint8_t> payloadOf(const ovr::ReferringStrip &s) {
  return {s.payload, s.payload + s.payloadSize};
}

TEST(OvrReferringStrip, TailBytesNeedTheTailOption) {
  for (ByteOrder order : {LE, BE}) {
    const auto strip = formA(order, {5, 9}, {0xA, 0xB, 0xC, 0xD}, {1, 2, 3});
    std::unique_ptr<uint8_t[]> holder;
    ovr::ReferringStrip s;
    ASSERT_EQ(parse(strip, order, ovr::kOptionTailBytes, &s, holder), OVR_OK);
    EXPECT_TRUE(s.formA);
    ASSERT_EQ(s.count, 2u);
    EXPECT_EQ(ovr::referringIndex(s, order, 0), 5u);
    EXPECT_EQ(ovr::referringIndex(s, order, 1), 9u);
    EXPECT_EQ(payloadOf(s), (std::vector<uint8_t>{0xA, 0xB, 0xC, 0xD}));
    EXPECT_EQ(s.headerSize, 15u);
    // Without the option the same bytes are taken as form B, whose length field (bytes 1-4)
    // then far exceeds the strip.
    EXPECT_EQ(parse(strip, order, 0, &s, holder), OVR_ERR_CORRUPT);
  }
}

TEST(OvrReferringStrip, FormsAndTheirChecks) {
  struct Case {
    const char *name;
    std::vector<uint8_t> strip;
    uint32_t options;
    int32_t status;
    bool formA;
    std::vector<uint32_t> indices;
    std::vector<uint8_t> payload;
  } cases[] = {
      {"form A exact", formA(LE, {7}, {1, 2, 3}, {}), 0, OVR_OK, true, {7}, {1, 2, 3}},
      {"form A without indices", formA(LE, {}, {4, 5}, {}), 0, OVR_OK, true, {}, {4, 5}},
      {"form A, no data", formA(LE, {}, {}, {}), 0, OVR_OK, true, {}, {}},
      {"form B", formB(LE, 4, {3}, {9, 8, 7, 6}), 0, OVR_OK, false, {3}, {9, 8, 7, 6}},
      {"form B with a length beyond its data",
       formB(LE, 6, {3}, {9, 8, 7, 6}),
       0,
       OVR_OK,
       false,
       {3},
       {9, 8, 7, 6}},
      {"form B with a length short of its data",
       formB(LE, 3, {3}, {9, 8, 7, 6}),
       0,
       OVR_ERR_CORRUPT,
       false,
       {},
       {}},
      {"form B with a length beyond the strip",
       formB(LE, 16, {3}, {9, 8, 7, 6}),
       0,
       OVR_ERR_CORRUPT,
       false,
       {},
       {}},
      {"below 7 bytes", {0, 0, 0, 0, 0, 0}, ovr::kOptionTailBytes, OVR_ERR_PARAM, false, {}, {}},
      // n = 1 needs 11 bytes for form A; with 8 the length field would lie past the end.
      {"form A header cut inside L",
       {0, 1, 0, 5, 0, 0, 0, 0},
       ovr::kOptionTailBytes,
       OVR_ERR_CORRUPT,
       false,
       {},
       {}},
      // With the tail option a length larger than the room left is not form A.
      {"tail option with a length past the end",
       {0, 0, 0, 0xFF, 0xFF, 0, 0, 1, 2, 3},
       ovr::kOptionTailBytes,
       OVR_ERR_CORRUPT,
       false,
       {},
       {}},
      {"many indices, few bytes",
       {0, 0xFF, 0xFF, 0, 0, 0, 0, 0},
       0,
       OVR_ERR_CORRUPT,
       false,
       {},
       {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<uint8_t[]> holder;
    ovr::ReferringStrip s;
    ASSERT_EQ(parse(c.strip, LE, c.options, &s, holder), c.status);
    if (c.status != OVR_OK) continue;
    EXPECT_EQ(s.formA, c.formA);
    ASSERT_EQ(s.count, c.indices.size());
    for (uint32_t i = 0; i < s.count; ++i) EXPECT_EQ(ovr::referringIndex(s, LE, i), c.indices[i]);
    EXPECT_EQ(payloadOf(s), c.payload);
  }
}

// Every truncation and single-byte mutation of both forms gives a status, and a strip that
// parses has its indices and payload inside it.
TEST(OvrReferringStrip, TruncatedAndMutatedStripsStayInside) {
  const std::vector<std::vector<uint8_t>> seeds = {formA(LE, {1, 2, 3}, {9, 9, 9, 9, 9}, {7, 7}),
                                                   formB(BE, 5, {4, 4}, {1, 2, 3, 4, 5})};
  const uint8_t values[] = {0, 1, 2, 7, 0x40, 0x80, 0xFF};
  for (const auto &seed : seeds) {
    std::vector<std::vector<uint8_t>> variants;
    for (size_t n = 0; n <= seed.size(); ++n) variants.emplace_back(seed.begin(), seed.begin() + n);
    for (size_t at = 0; at < seed.size(); ++at) {
      for (uint8_t v : values) {
        variants.push_back(seed);
        variants.back()[at] = v;
      }
    }
    for (const auto &strip : variants) {
      for (ByteOrder order : {LE, BE}) {
        for (uint32_t options : {0u, ovr::kOptionTailBytes}) {
          std::unique_ptr<uint8_t[]> holder;
          ovr::ReferringStrip s;
          const int32_t status = parse(strip, order, options, &s, holder);
          if (status != OVR_OK) {
            EXPECT_TRUE(status == OVR_ERR_PARAM || status == OVR_ERR_CORRUPT);
            continue;
          }
          const uint8_t *begin = holder.get();
          const uint8_t *end = begin + strip.size();
          EXPECT_GE(s.indices, begin);
          EXPECT_LE(s.indices + 4ull * s.count, end);
          EXPECT_GE(s.payload, s.indices + 4ull * s.count);
          EXPECT_LE(s.payloadSize, static_cast<uint64_t>(end - s.payload));
        }
      }
    }
  }
}

TEST(OvrReferringStrip, EncodedHeaderParsesBack) {
  const uint32_t indices[3] = {0, 1, 0x01020304};
  std::vector<uint8_t> strip(ovr::referringHeaderSize(3));
  ASSERT_EQ(ovr::encodeReferringHeader(BE, indices, 3, 4, strip.data()), OVR_OK);
  const auto whole = formA(BE, {0, 1, 0x01020304}, {1, 2, 3, 4}, {});
  EXPECT_EQ(strip, std::vector<uint8_t>(whole.begin(), whole.begin() + 19));
  strip.insert(strip.end(), {1, 2, 3, 4});
  std::unique_ptr<uint8_t[]> holder;
  ovr::ReferringStrip s;
  ASSERT_EQ(parse(strip, BE, 0, &s, holder), OVR_OK);
  EXPECT_EQ(s.count, 3u);
  EXPECT_EQ(ovr::referringIndex(s, BE, 2), 0x01020304u);
  EXPECT_EQ(s.payloadSize, 4u);
  std::vector<uint32_t> many(65536, 0);
  std::vector<uint8_t> big(ovr::referringHeaderSize(many.size()));
  EXPECT_EQ(ovr::encodeReferringHeader(LE, many.data(), many.size(), 0, big.data()), OVR_ERR_PARAM);
}

// A file with a global data table of two entries (a block and a free entry) and one block.
struct GlobalFile {
  std::vector<uint8_t> bytes;
  uint32_t table = 8;
  uint32_t block = 48;
};

GlobalFile globalFile(ByteOrder order, uint32_t blockLength = 11, uint16_t kind = 1,
                      uint8_t flag = 0, uint32_t length = 4) {
  Bytes b(order);
  b.raw(order == LE ? std::vector<uint8_t>{'I', 'I'} : std::vector<uint8_t>{'M', 'M'});
  b.u16(42);
  b.u32(0);
  b.u16(2);  // table at 8
  b.u32(blockLength);
  b.u32(48);
  b.u16(kind);
  b.u16(0);
  b.u32(0);
  b.u32(0);  // a free entry
  b.u32(0);
  b.u16(0);
  b.u16(0);
  b.u32(0);
  b.u32(0);  // next table
  b.alignTo4();
  b.u8(flag);  // block at 48
  b.u32(length);
  b.raw({'a', 'b', 'c', 'd', 'e', 'f'});
  return GlobalFile{b.data()};
}

TEST(OvrGlobalData, TableAndBlock) {
  for (ByteOrder order : {LE, BE}) {
    GlobalFile gf = globalFile(order);
    MemoryFile mf(gf.bytes, order);
    ovr::GlobalTable table;
    ASSERT_EQ(ovr::readGlobalTable(mf.reader(), gf.table, &table), OVR_OK);
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(table.next, 0u);
    ovr::GlobalEntry entry;
    ASSERT_EQ(ovr::readGlobalEntry(mf.reader(), table, 0, &entry), OVR_OK);
    EXPECT_EQ(entry.blockLength, 11u);
    EXPECT_EQ(entry.blockOffset, gf.block);
    EXPECT_EQ(entry.kind, 1);
    ovr::GlobalBlock block;
    ASSERT_EQ(ovr::locateGlobalBlock(mf.reader(), entry, &block), OVR_OK);
    EXPECT_EQ(block.dataOffset, gf.block + 5u);
    EXPECT_EQ(block.storedSize, 6u);
    EXPECT_EQ(block.length, 4u);
    ASSERT_EQ(ovr::readGlobalEntry(mf.reader(), table, 1, &entry), OVR_OK);
    EXPECT_EQ(entry.blockLength, 0u);  // free
    EXPECT_EQ(ovr::readGlobalEntry(mf.reader(), table, 2, &entry), OVR_ERR_PARAM);

    uint8_t raw[16];
    ovr::GlobalEntry sample{17, 0x01020304, 1, 0xBEEF, 0xCAFE};
    ovr::encodeGlobalEntry(order, sample, raw);
    ovr::GlobalEntry back;
    ovr::decodeGlobalEntry(order, raw, &back);
    EXPECT_EQ(back.blockOffset, sample.blockOffset);
    EXPECT_EQ(back.word, sample.word);
    EXPECT_EQ(back.extra, sample.extra);
    EXPECT_EQ(raw[4], order == LE ? 0x04 : 0x01);
  }
}

TEST(OvrGlobalData, DamagedEntriesAndBlocks) {
  struct Case {
    const char *name;
    GlobalFile file;
    int32_t status;
  } cases[] = {
      {"kind 2", globalFile(LE, 11, 2), OVR_ERR_CORRUPT},
      {"block length 4", globalFile(LE, 4), OVR_ERR_CORRUPT},
      {"block length 5 with L 4", globalFile(LE, 5), OVR_ERR_CORRUPT},
      {"block length 5 with L 0", globalFile(LE, 5, 1, 0, 0), OVR_OK},
      {"L beyond the stored bytes", globalFile(LE, 11, 1, 0, 7), OVR_ERR_CORRUPT},
      {"flag byte set", globalFile(LE, 11, 1, 1), OVR_ERR_UNSUPPORTED},
      {"block past the end of the file", globalFile(LE, 12), OVR_ERR_CORRUPT},
      {"block length near 4 GB", globalFile(LE, 0xFFFFFFFF), OVR_ERR_CORRUPT},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile mf(c.file.bytes);
    ovr::GlobalTable table;
    ovr::GlobalEntry entry;
    ASSERT_EQ(ovr::readGlobalTable(mf.reader(), c.file.table, &table), OVR_OK);
    ASSERT_EQ(ovr::readGlobalEntry(mf.reader(), table, 0, &entry), OVR_OK);
    ovr::GlobalBlock block;
    EXPECT_EQ(ovr::locateGlobalBlock(mf.reader(), entry, &block), c.status);
  }
  // A table whose entry count runs past the end of the file, and one beyond it.
  GlobalFile gf = globalFile(LE);
  gf.bytes[8] = 0xFF;
  MemoryFile mf(gf.bytes);
  ovr::GlobalTable table;
  EXPECT_EQ(ovr::readGlobalTable(mf.reader(), 8, &table), OVR_ERR_CORRUPT);
  EXPECT_EQ(ovr::readGlobalTable(mf.reader(), 0xFFFFFFFF, &table), OVR_ERR_CORRUPT);
}

TEST(OvrGlobalData, BlockLengthAndHeader) {
  uint32_t length = 0;
  EXPECT_EQ(ovr::globalBlockLength(10, &length), OVR_OK);
  EXPECT_EQ(length, 15u);
  EXPECT_EQ(ovr::globalBlockLength(UINT32_MAX - 5, &length), OVR_OK);
  EXPECT_EQ(length, UINT32_MAX);
  EXPECT_EQ(ovr::globalBlockLength(UINT32_MAX - 4, &length), OVR_ERR_PARAM);
  EXPECT_EQ(ovr::globalBlockLength(uint64_t{1} << 40, &length), OVR_ERR_PARAM);
  uint8_t header[5];
  ovr::encodeGlobalBlockHeader(BE, 0x0A0B0C0D, header);
  EXPECT_EQ(std::vector<uint8_t>(header, header + 5),
            (std::vector<uint8_t>{0, 0x0A, 0x0B, 0x0C, 0x0D}));
}

}  // namespace
