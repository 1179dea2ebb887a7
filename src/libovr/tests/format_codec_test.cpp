// Field types and widening in both byte orders, header and entry coding, value placement, IFD
// layouts and the classification of a stream.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ovr_format_internal.h"
#include "ovr_tags_internal.h"
#include "ovr_test_support.h"

namespace {

using ovr::ByteOrder;
using ovr::Width;
using ovr_test::buildTiff;
using ovr_test::MemoryFile;
using ovr_test::TestEntry;

constexpr ByteOrder LE = ByteOrder::Little;
constexpr ByteOrder BE = ByteOrder::Big;

TEST(OvrFieldTypes, SizesAndUnits) {
  const uint32_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0};
  for (uint16_t t = 0; t <= 14; ++t) EXPECT_EQ(ovr::fieldTypeSize(t), sizes[t]) << t;
  EXPECT_EQ(ovr::fieldTypeSize(0xFFFF), 0u);
  EXPECT_EQ(ovr::fieldUnitCount(ovr::kTypeRational, 3), 6u);
  EXPECT_EQ(ovr::fieldUnitCount(ovr::kTypeSRational, 3), 6u);
  EXPECT_EQ(ovr::fieldUnitCount(ovr::kTypeDouble, 3), 3u);
  EXPECT_EQ(ovr::fieldByteCount(ovr::kTypeDouble, 0xFFFFFFFF), 0xFFFFFFFFull * 8);
}

// One unit of each type, widened to each width: the expected 64-bit pattern, or nothing when the
// pairing is refused.
struct WidenCase {
  const char *name;
  uint16_t type;
  ByteOrder order;
  std::vector<uint8_t> bytes;
  Width width;
  bool allowed;
  uint64_t bits;  // integer result (zero-extended from the width), or a double's value below
  double real;
};

uint64_t readWidth(const uint8_t *p, Width w) {
  switch (w) {
    case Width::W8:
      return p[0];
    case Width::W16: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case Width::W32: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default: {
      uint64_t v;
      std::memcpy(&v, p, 8);
      return v;
    }
  }
}

TEST(OvrFieldTypes, WideningRules) {
  const WidenCase cases[] = {
      {"BYTE to 8", ovr::kTypeByte, LE, {0xFE}, Width::W8, true, 0xFE, 0},
      {"BYTE to 16", ovr::kTypeByte, LE, {0xFE}, Width::W16, true, 0xFE, 0},
      {"BYTE to 32", ovr::kTypeByte, BE, {0xFE}, Width::W32, true, 0xFE, 0},
      {"BYTE to double", ovr::kTypeByte, LE, {0xFE}, Width::Double, true, 0, 254.0},
      {"BYTE to 64 refused", ovr::kTypeByte, LE, {0xFE}, Width::W64, false, 0, 0},
      {"ASCII to 32", ovr::kTypeAscii, LE, {'A'}, Width::W32, true, 65, 0},
      {"UNDEFINED to 16", ovr::kTypeUndefined, BE, {0x80}, Width::W16, true, 0x80, 0},
      {"SBYTE to 16", ovr::kTypeSByte, LE, {0xFE}, Width::W16, true, 0xFFFE, 0},
      {"SBYTE to 32", ovr::kTypeSByte, BE, {0xFE}, Width::W32, true, 0xFFFFFFFE, 0},
      {"SBYTE to double", ovr::kTypeSByte, LE, {0xFE}, Width::Double, true, 0, -2.0},
      {"SHORT LE to 16", ovr::kTypeShort, LE, {0x34, 0x12}, Width::W16, true, 0x1234, 0},
      {"SHORT BE to 32", ovr::kTypeShort, BE, {0x12, 0x34}, Width::W32, true, 0x1234, 0},
      {"SHORT high bit to 32", ovr::kTypeShort, BE, {0xFF, 0xFE}, Width::W32, true, 0xFFFE, 0},
      {"SHORT to 8 refused", ovr::kTypeShort, LE, {1, 0}, Width::W8, false, 0, 0},
      {"SHORT to 64 refused", ovr::kTypeShort, LE, {1, 0}, Width::W64, false, 0, 0},
      {"SHORT to double refused", ovr::kTypeShort, LE, {1, 0}, Width::Double, false, 0, 0},
      {"SSHORT BE to 32", ovr::kTypeSShort, BE, {0xFF, 0xFE}, Width::W32, true, 0xFFFFFFFE, 0},
      {"SSHORT LE to 16", ovr::kTypeSShort, LE, {0xFE, 0xFF}, Width::W16, true, 0xFFFE, 0},
      {"LONG LE to 32",
       ovr::kTypeLong,
       LE,
       {0x78, 0x56, 0x34, 0x12},
       Width::W32,
       true,
       0x12345678,
       0},
      {"LONG BE to 64",
       ovr::kTypeLong,
       BE,
       {0xFF, 0x56, 0x34, 0x12},
       Width::W64,
       true,
       0xFF563412,
       0},
      {"LONG to 16 refused", ovr::kTypeLong, LE, {1, 0, 0, 0}, Width::W16, false, 0, 0},
      {"IFD BE to 32", ovr::kTypeIfd, BE, {0, 0, 1, 0}, Width::W32, true, 0x100, 0},
      {"SLONG BE to 64",
       ovr::kTypeSLong,
       BE,
       {0xFF, 0xFF, 0xFF, 0xFE},
       Width::W64,
       true,
       0xFFFFFFFFFFFFFFFEull,
       0},
      {"FLOAT BE to double", ovr::kTypeFloat, BE, {0x3F, 0xC0, 0, 0}, Width::Double, true, 0, 1.5},
      {"FLOAT LE to 32 bits",
       ovr::kTypeFloat,
       LE,
       {0, 0, 0xC0, 0x3F},
       Width::W32,
       true,
       0x3FC00000,
       0},
      {"FLOAT to 64 refused", ovr::kTypeFloat, LE, {0, 0, 0, 0}, Width::W64, false, 0, 0},
      {"RATIONAL half BE to 32", ovr::kTypeRational, BE, {0, 0, 1, 0x2C}, Width::W32, true, 300, 0},
      {"RATIONAL to double refused",
       ovr::kTypeRational,
       LE,
       {1, 0, 0, 0},
       Width::Double,
       false,
       0,
       0},
      {"SRATIONAL half LE to 32",
       ovr::kTypeSRational,
       LE,
       {0xFF, 0xFF, 0xFF, 0xFF},
       Width::W32,
       true,
       0xFFFFFFFF,
       0},
      {"DOUBLE LE to double",
       ovr::kTypeDouble,
       LE,
       {0, 0, 0, 0, 0, 0, 0xD0, 0x3F},
       Width::Double,
       true,
       0,
       0.25},
      {"DOUBLE BE to 64 bits",
       ovr::kTypeDouble,
       BE,
       {0x3F, 0xD0, 0, 0, 0, 0, 0, 0},
       Width::W64,
       true,
       0x3FD0000000000000ull,
       0},
      {"DOUBLE to 32 refused",
       ovr::kTypeDouble,
       LE,
       {0, 0, 0, 0, 0, 0, 0, 0},
       Width::W32,
       false,
       0,
       0},
      {"type 0 refused", 0, LE, {0}, Width::W32, false, 0, 0},
      {"type 14 refused", 14, LE, {0}, Width::W32, false, 0, 0},
  };
  for (const WidenCase &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ovr::widenAllowed(c.type, c.width), c.allowed);
    uint8_t out[8] = {};
    int32_t status = ovr::widenValues(c.order, c.type, 1, c.bytes.data(), c.width, out);
    if (!c.allowed) {
      EXPECT_EQ(status, OVR_ERR_UNSUPPORTED);
      continue;
    }
    ASSERT_EQ(status, OVR_OK);
    if (c.width == Width::Double) {
      double d;
      std::memcpy(&d, out, 8);
      EXPECT_EQ(d, c.real);
    } else {
      EXPECT_EQ(readWidth(out, c.width), c.bits);
    }
  }
}

TEST(OvrFieldTypes, WideningInPlaceKeepsEveryValue) {
  // Five BYTEs widened to 32 bits in the buffer that holds them.
  uint32_t buffer[5] = {};
  const uint8_t raw[5] = {1, 2, 0xFF, 4, 5};
  std::memcpy(buffer, raw, 5);
  ASSERT_EQ(ovr::widenValues(LE, ovr::kTypeByte, 5, reinterpret_cast<uint8_t *>(buffer), Width::W32,
                             buffer),
            OVR_OK);
  EXPECT_EQ(buffer[0], 1u);
  EXPECT_EQ(buffer[2], 255u);
  EXPECT_EQ(buffer[4], 5u);
  // Three big-endian SHORTs widened to 32 bits in place.
  uint32_t shorts[3] = {};
  const uint8_t be[6] = {0, 1, 0x12, 0x34, 0xFF, 0xFF};
  std::memcpy(shorts, be, 6);
  ASSERT_EQ(ovr::widenValues(BE, ovr::kTypeShort, 3, reinterpret_cast<uint8_t *>(shorts),
                             Width::W32, shorts),
            OVR_OK);
  EXPECT_EQ(shorts[0], 1u);
  EXPECT_EQ(shorts[1], 0x1234u);
  EXPECT_EQ(shorts[2], 0xFFFFu);
}

TEST(OvrFieldTypes, StoreUnits) {
  const uint32_t units[2] = {0x1234, 0xAB};
  uint8_t out[8] = {};
  ASSERT_EQ(ovr::storeUnits(BE, ovr::kTypeShort, units, 2, out), OVR_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0x12, 0x34, 0, 0xAB}));
  ASSERT_EQ(ovr::storeUnits(LE, ovr::kTypeRational, units, 2, out), OVR_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
            (std::vector<uint8_t>{0x34, 0x12, 0, 0, 0xAB, 0, 0, 0}));
  EXPECT_EQ(ovr::storeUnits(LE, ovr::kTypeByte, units, 2, out), OVR_ERR_PARAM);  // 0x1234
  EXPECT_EQ(ovr::storeUnits(LE, ovr::kTypeDouble, units, 1, out), OVR_ERR_UNSUPPORTED);
  EXPECT_EQ(ovr::storeUnits(LE, 0, units, 1, out), OVR_ERR_UNSUPPORTED);
}

TEST(OvrHeader, DecodeAndEncode) {
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t status;
    ByteOrder order;
    uint32_t first;
  } cases[] = {
      {{'I', 'I', 42, 0, 8, 0, 0, 0}, OVR_OK, LE, 8},
      {{'M', 'M', 0, 42, 0, 0, 1, 0}, OVR_OK, BE, 256},
      {{'M', 'M', 42, 0, 0, 0, 0, 8}, OVR_ERR_NOT_TIFF, LE, 0},
      {{'I', 'I', 43, 0, 8, 0, 0, 0}, OVR_ERR_NOT_TIFF, LE, 0},
      {{'I', 'M', 42, 0, 8, 0, 0, 0}, OVR_ERR_NOT_TIFF, LE, 0},
      {{'P', '4', '\n', '1', ' ', '1', '\n', 0}, OVR_ERR_NOT_TIFF, LE, 0},
  };
  for (const auto &c : cases) {
    ovr::FileHeader h;
    ASSERT_EQ(ovr::decodeHeader(c.bytes.data(), &h), c.status);
    if (c.status != OVR_OK) continue;
    EXPECT_EQ(h.order, c.order);
    EXPECT_EQ(h.firstIfd, c.first);
    uint8_t again[8];
    ovr::encodeHeader(h, again);
    EXPECT_EQ(std::vector<uint8_t>(again, again + 8), c.bytes);
  }
}

TEST(OvrHeader, ClassifyStream) {
  MemoryFile tiff({'M', 'M', 0, 42, 0, 0, 0, 8});
  uint32_t kind = 99;
  ovr::FileHeader h;
  ASSERT_EQ(ovr::classifyStream(tiff.stream(), &kind, &h), OVR_OK);
  EXPECT_EQ(kind, 11u);
  EXPECT_EQ(tiff.stream().swap, 1u);
  MemoryFile text({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
  EXPECT_EQ(ovr::classifyStream(text.stream(), &kind, &h), OVR_ERR_NOT_TIFF);
  EXPECT_EQ(kind, 0u);
  MemoryFile shortFile({'I', 'I', 42, 0});
  EXPECT_EQ(ovr::classifyStream(shortFile.stream(), &kind, &h), OVR_ERR_READ);
}

TEST(OvrEntries, DecodeEncodeAndValuePlacement) {
  const std::vector<uint8_t> le = {0x00, 0x01, 3, 0, 3, 0, 0, 0, 0x40, 0, 0, 0};
  const std::vector<uint8_t> be = {0x01, 0x00, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0x40};
  for (auto [order, bytes] : {std::pair{LE, le}, std::pair{BE, be}}) {
    ovr::IfdEntry e;
    ovr::decodeEntry(order, bytes.data(), 100, &e);
    EXPECT_EQ(e.tag, 256);
    EXPECT_EQ(e.type, ovr::kTypeShort);
    EXPECT_EQ(e.count, 3u);
    EXPECT_EQ(e.fieldPos, 108u);
    // Three SHORTs are 6 bytes: out of line at the offset in the field.
    ovr::ValueSpan span = ovr::entryValueSpan(order, e);
    EXPECT_FALSE(span.inlined);
    EXPECT_EQ(span.bytes, 6u);
    EXPECT_EQ(span.position, 0x40u);
    uint8_t again[12];
    ovr::encodeEntry(order, e, again);
    EXPECT_EQ(std::vector<uint8_t>(again, again + 12), bytes);
    // Two SHORTs (4 bytes) lie in the entry.
    e.count = 2;
    span = ovr::entryValueSpan(order, e);
    EXPECT_TRUE(span.inlined);
    EXPECT_EQ(span.position, 108u);
    // Five BYTEs do not.
    e.type = ovr::kTypeByte;
    e.count = 5;
    EXPECT_FALSE(ovr::entryValueSpan(order, e).inlined);
  }
}

// Two SHORTs packed in one entry come out in file order in either byte order.
TEST(OvrEntries, ShortPairsInFileOrder) {
  for (ByteOrder order : {LE, BE}) {
    std::vector<uint8_t> file =
        buildTiff(order, {{{ovr::tag::kPageNumber, ovr::kTypeShort, 2, {3, 7}},
                           {ovr::tag::kYCbCrSubSampling, ovr::kTypeShort, 2, {2, 1}},
                           {ovr::tag::kBitsPerSample, ovr::kTypeShort, 3, {8, 16, 4}}}});
    MemoryFile mf(file, order);
    ovr::IfdLayout layout;
    ASSERT_EQ(ovr::readIfdLayout(mf.reader(), 8, &layout), OVR_OK);
    ASSERT_EQ(layout.count, 3u);
    ovr::IfdEntry e;
    ASSERT_EQ(ovr::readIfdEntry(mf.reader(), layout, 0, &e), OVR_OK);
    uint16_t pair[2];
    ASSERT_EQ(ovr::loadEntryValues(mf.reader(), e, Width::W16, 2, pair), OVR_OK);
    EXPECT_EQ(pair[0], 3);
    EXPECT_EQ(pair[1], 7);
    ASSERT_EQ(ovr::readIfdEntry(mf.reader(), layout, 2, &e), OVR_OK);
    uint32_t three[3];
    ASSERT_EQ(ovr::loadEntryValues(mf.reader(), e, Width::W32, 3, three), OVR_OK);
    EXPECT_EQ(three[1], 16u);
    EXPECT_EQ(three[2], 4u);

    ovr_test::TestContext ctx;
    ovr::Directory dir{ctx.alloc()};
    ASSERT_EQ(ovr::readDirectory(mf.reader(), 8, dir, &layout), OVR_OK);
    EXPECT_EQ(dir.pageNumber[0], 3);
    EXPECT_EQ(dir.pageNumber[1], 7);
    EXPECT_EQ(dir.ycbcrSubSampling[0], 2);
    EXPECT_EQ(dir.ycbcrSubSampling[1], 1);
  }
}

TEST(OvrIfdLayout, ChecksExtentAgainstFile) {
  std::vector<uint32_t> offsets;
  std::vector<uint8_t> file =
      buildTiff(LE, {{{256, ovr::kTypeShort, 1, {5}}}, {{257, ovr::kTypeLong, 1, {9}}}}, &offsets);
  {
    MemoryFile mf(file);
    ovr::IfdLayout layout;
    ASSERT_EQ(ovr::readIfdLayout(mf.reader(), offsets[0], &layout), OVR_OK);
    EXPECT_EQ(layout.count, 1u);
    EXPECT_EQ(layout.next, offsets[1]);
    EXPECT_EQ(ovr::readIfdLayout(mf.reader(), file.size() - 1, &layout), OVR_ERR_CORRUPT);
    EXPECT_EQ(ovr::readIfdLayout(mf.reader(), 0xFFFFFFF0u, &layout), OVR_ERR_CORRUPT);
    ovr::IfdEntry e;
    EXPECT_EQ(ovr::readIfdEntry(mf.reader(), layout, 1, &e), OVR_ERR_PARAM);
  }
  // An entry count that runs past the end of the file.
  std::vector<uint8_t> bad = file;
  bad[offsets[1]] = 0xFF;
  bad[offsets[1] + 1] = 0xFF;
  MemoryFile mf(bad);
  ovr::IfdLayout layout;
  EXPECT_EQ(ovr::readIfdLayout(mf.reader(), offsets[1], &layout), OVR_ERR_CORRUPT);
}

TEST(OvrIfdLayout, ValuesOutsideTheFileAreCorrupt) {
  // A LONG array whose offset points past the end, and one whose count x 4 wraps 32 bits.
  std::vector<uint8_t> file = buildTiff(
      LE, {{{273, ovr::kTypeLong, 4, {}, 0xFFFFFFF8u}, {279, ovr::kTypeLong, 0x40000001, {}, 8}}});
  MemoryFile mf(file);
  ovr::IfdLayout layout;
  ASSERT_EQ(ovr::readIfdLayout(mf.reader(), 8, &layout), OVR_OK);
  uint32_t values[4];
  for (uint32_t i = 0; i < 2; ++i) {
    ovr::IfdEntry e;
    ASSERT_EQ(ovr::readIfdEntry(mf.reader(), layout, i, &e), OVR_OK);
    EXPECT_EQ(ovr::loadEntryValues(mf.reader(), e, Width::W32, 1, values), OVR_ERR_CORRUPT);
  }
}

}  // namespace
