// The tag table: widths kept per tag, single-tag checks, count-0 arrays, shared slots, repeated
// tags and values that do not lie in the file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ovr_tags_internal.h"
#include "ovr_test_support.h"

namespace {

using ovr::ByteOrder;
using ovr::Directory;
using ovr::Field;
using ovr_test::buildTiff;
using ovr_test::MemoryFile;
using ovr_test::TestEntry;
namespace tag = ovr::tag;

constexpr uint16_t BYTE = ovr::kTypeByte, ASCII = ovr::kTypeAscii, SHORT = ovr::kTypeShort,
                   LONG = ovr::kTypeLong, RATIONAL = ovr::kTypeRational,
                   SRATIONAL = ovr::kTypeSRational, UNDEF = ovr::kTypeUndefined,
                   IFD = ovr::kTypeIfd, SSHORT = ovr::kTypeSShort;

// A minimal JPEG table stream: SOI, one DQT-like segment of 4 bytes, EOI.
std::vector<uint64_t> tableUnits(bool withEoi) {
  std::vector<uint64_t> t = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0xAA, 0xBB};
  if (withEoi) t.insert(t.end(), {0xFF, 0xD9});
  return t;
}

std::vector<uint64_t> textUnits(const std::string &s) {
  return {s.begin(), s.end()};
}

struct TagCase {
  const char *name;
  std::vector<TestEntry> entries;
  int32_t status;
  std::function<void(const Directory &)> check;
};

void runCases(const std::vector<TagCase> &cases) {
  for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
    for (const TagCase &c : cases) {
      SCOPED_TRACE(std::string(c.name) + (order == ByteOrder::Big ? " (MM)" : " (II)"));
      ovr_test::TestContext ctx;
      MemoryFile mf(buildTiff(order, {c.entries}), order);
      Directory dir(ctx.alloc());
      ovr::IfdLayout layout;
      const int32_t status = ovr::readDirectory(mf.reader(), 8, dir, &layout);
      EXPECT_EQ(status, c.status);
      if (status == OVR_OK && c.check) c.check(dir);
    }
  }
}

TEST(OvrTagTable, ScalarsAndTheirWidths) {
  runCases({
      {"SHORT and LONG dimensions",
       {{tag::kImageWidth, SHORT, 1, {1728}},
        {tag::kImageLength, LONG, 1, {70000}},
        {tag::kCompression, SHORT, 1, {4}},
        {tag::kRowsPerStrip, SHORT, 1, {8}},
        {tag::kNewSubfileType, LONG, 1, {2}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.width, 1728u);
         EXPECT_EQ(d.height, 70000u);
         EXPECT_EQ(d.compression, 4);
         EXPECT_EQ(d.rowsPerStrip, 8u);
         EXPECT_EQ(d.newSubfileType, 2u);
         EXPECT_TRUE(d.has(Field::RowsPerStrip));
         EXPECT_FALSE(d.has(Field::Photometric));
       }},
      {"defaults of absent tags",
       {{tag::kImageWidth, SHORT, 1, {1}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.xResolution.num, 300u);
         EXPECT_EQ(d.yResolution.den, 1u);
         EXPECT_EQ(d.samplesPerPixel, 1);
         EXPECT_EQ(d.fillOrder, 1);
         EXPECT_EQ(d.firstBitsPerSample(), 1u);
       }},
      {"a 16-bit tag given as LONG is refused", {{tag::kCompression, LONG, 1, {4}}}, 6, {}},
      {"a signed SHORT widens",
       {{tag::kImageWidth, SSHORT, 1, {0xFFFF}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.width, 0xFFFFFFFFu); }},
      {"FillOrder 2 is kept",
       {{tag::kFillOrder, SHORT, 1, {2}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.fillOrder, 2); }},
      {"FillOrder 3", {{tag::kFillOrder, SHORT, 1, {3}}}, OVR_ERR_UNSUPPORTED, {}},
      {"YCbCrPositioning 2", {{tag::kYCbCrPositioning, SHORT, 1, {2}}}, OVR_ERR_NOT_ALLOWED, {}},
      {"a scalar with count 0 stays absent",
       {{tag::kImageWidth, SHORT, 0, {}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_FALSE(d.has(Field::ImageWidth)); }},
      {"resolution as RATIONAL",
       {{tag::kXResolution, RATIONAL, 1, {150, 1}}, {tag::kYResolution, RATIONAL, 1, {75, 2}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.xResolution.num, 150u);
         EXPECT_EQ(d.yResolution.num, 75u);
         EXPECT_EQ(d.yResolution.den, 2u);
       }},
      {"resolution as SHORT", {{tag::kXResolution, SHORT, 1, {300}}}, OVR_ERR_UNSUPPORTED, {}},
      {"profile bytes",
       {{tag::kFaxProfile, BYTE, 1, {255}},
        {tag::kVersionYear, BYTE, 4, {1, 9, 9, 7}},
        {tag::kModeNumber, BYTE, 1, {3}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.faxProfile, 255);
         EXPECT_EQ(std::vector<uint8_t>(d.versionYear, d.versionYear + 4),
                   (std::vector<uint8_t>{1, 9, 9, 7}));
         EXPECT_EQ(d.modeNumber, 3);
       }},
      {"FaxProfile as SHORT", {{tag::kFaxProfile, SHORT, 1, {2}}}, OVR_ERR_UNSUPPORTED, {}},
  });
}

TEST(OvrTagTable, SharedSlotsAndRepeatedTags) {
  runCases({
      {"old and new numbers of the private words",
       {{tag::kGlobalWord406, LONG, 1, {1600}},
        {tag::kCodingOptions436, LONG, 1, {0x44}},
        {tag::kGlobalTable437, LONG, 1, {512}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.globalWord34688, 1600u);
         EXPECT_EQ(d.codingOptions, 0x44u);
         EXPECT_EQ(d.globalTableOffset, 512u);
       }},
      {"the later of two numbers wins",
       {{tag::kCodingOptions436, LONG, 1, {1}}, {tag::kCodingOptions, LONG, 1, {0x40}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.codingOptions, 0x40u); }},
      {"Artist shares HostComputer's slot",
       {{tag::kArtist, ASCII, 4, textUnits("ann")},
        {tag::kHostComputer, ASCII, 3, textUnits("pc")}},
       OVR_OK,
       [](const Directory &d) { EXPECT_STREQ(d.hostComputer.data(), "pc"); }},
      {"a repeated array keeps its last value",
       {{tag::kBitsPerSample, SHORT, 1, {1}}, {tag::kBitsPerSample, SHORT, 3, {8, 8, 8}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.bitsPerSample.size(), 3u);
         EXPECT_EQ(d.firstBitsPerSample(), 8u);
       }},
  });
}

TEST(OvrTagTable, ArraysTextAndTables) {
  runCases({
      {"ASCII gets a terminating zero",
       {{tag::kDocumentName, ASCII, 2, textUnits("ab")},
        {tag::kImageDescription, ASCII, 8, textUnits("scanned\n")},
        {tag::kSoftware, UNDEF, 3, textUnits("xyz")}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.documentName.size(), 3u);
         EXPECT_STREQ(d.documentName.data(), "ab");
         EXPECT_STREQ(d.imageDescription.data(), "scanned\n");
         EXPECT_STREQ(d.software.data(), "xyz");
       }},
      {"ASCII as SHORT", {{tag::kDateTime, SHORT, 1, {7}}}, OVR_ERR_UNSUPPORTED, {}},
      {"StripOffsets count 0", {{tag::kStripOffsets, LONG, 0, {}}}, OVR_ERR_CORRUPT, {}},
      {"StripRowCounts count 0", {{tag::kStripRowCounts, LONG, 0, {}}}, OVR_ERR_CORRUPT, {}},
      {"BitsPerSample count 0 keeps the default",
       {{tag::kBitsPerSample, SHORT, 0, {}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_FALSE(d.has(Field::BitsPerSample));
         EXPECT_EQ(d.firstBitsPerSample(), 1u);
       }},
      {"strip tables of SHORT and LONG",
       {{tag::kStripOffsets, LONG, 3, {8, 100, 200}}, {tag::kStripByteCounts, SHORT, 3, {1, 2, 3}}},
       OVR_OK,
       [](const Directory &d) {
         ASSERT_EQ(d.stripOffsets.size(), 3u);
         EXPECT_EQ(d.stripOffsets[2], 200u);
         EXPECT_EQ(d.stripByteCounts[1], 2u);
       }},
      {"SubIFDs of type IFD",
       {{tag::kSubIfds, IFD, 2, {64, 128}}},
       OVR_OK,
       [](const Directory &d) {
         ASSERT_EQ(d.subIfds.size(), 2u);
         EXPECT_EQ(d.subIfds[1], 128u);
       }},
      {"ColorMap of SHORTs",
       {{tag::kColorMap, SHORT, 6, {1, 2, 3, 4, 5, 6}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.colorMap.size(), 6u); }},
      {"ColorMap of LONGs", {{tag::kColorMap, LONG, 3, {1, 2, 3}}}, OVR_ERR_CORRUPT, {}},
      {"ColorMap count 0", {{tag::kColorMap, SHORT, 0, {}}}, OVR_ERR_CORRUPT, {}},
      {"JPEGTables",
       {{tag::kJpegTables, UNDEF, 10, tableUnits(true)}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.jpegTables.size(), 10u); }},
      {"JPEGTables without EOI",
       {{tag::kJpegTables, UNDEF, 8, tableUnits(false)}},
       OVR_ERR_CORRUPT,
       {}},
      {"YCbCrCoefficients as rationals",
       {{tag::kYCbCrCoefficients, RATIONAL, 3, {299, 1000, 587, 1000, 114, 1000}}},
       OVR_OK,
       [](const Directory &d) {
         ASSERT_EQ(d.ycbcrCoefficients.size(), 6u);
         EXPECT_EQ(d.ycbcrCoefficients[2], 587u);
       }},
  });
}

TEST(OvrTagTable, CountChecksOfTiffFxTags) {
  runCases({
      {"Decode with 2 rationals",
       {{tag::kDecode, SRATIONAL, 2, {0xFFFFFFFF, 1, 1, 1}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.decodeCount, 2u);
         EXPECT_EQ(d.decode[0], -1);
         EXPECT_EQ(d.decode[2], 1);
       }},
      {"Decode with 4 rationals",
       {{tag::kDecode, SRATIONAL, 4, std::vector<uint64_t>(8, 1)}},
       OVR_ERR_CORRUPT,
       {}},
      {"Decode as SHORT", {{tag::kDecode, SHORT, 2, {0, 1}}}, OVR_ERR_UNSUPPORTED, {}},
      {"DefaultImageColor with 3 values",
       {{tag::kDefaultImageColor, SHORT, 3, {1, 2, 3}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.defaultImageColorCount, 3u);
         EXPECT_EQ(d.defaultImageColor[2], 3);
       }},
      {"DefaultImageColor with 2 values",
       {{tag::kDefaultImageColor, SHORT, 2, {1, 2}}},
       OVR_ERR_CORRUPT,
       {}},
      {"ImageLayer (3, 2)",
       {{tag::kImageLayer, LONG, 2, {3, 2}}},
       OVR_OK,
       [](const Directory &d) {
         EXPECT_EQ(d.imageLayer[0], 3u);
         EXPECT_EQ(d.imageLayer[1], 2u);
       }},
      {"ImageLayer with order 0", {{tag::kImageLayer, LONG, 2, {3, 0}}}, OVR_ERR_CORRUPT, {}},
      {"ImageLayer with 3 values", {{tag::kImageLayer, LONG, 3, {1, 1, 1}}}, OVR_ERR_CORRUPT, {}},
      {"per-sample bytes, one per sample",
       {{tag::kSamplesPerPixel, SHORT, 1, {3}}, {tag::kPerSampleBytes, BYTE, 3, {1, 2, 3}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.perSampleBytes[2], 3); }},
      {"per-sample bytes, too few",
       {{tag::kSamplesPerPixel, SHORT, 1, {3}}, {tag::kPerSampleBytes, SHORT, 2, {1, 2}}},
       OVR_ERR_CORRUPT,
       {}},
      {"per-sample bytes as LONG", {{tag::kPerSampleBytes, LONG, 1, {1}}}, OVR_ERR_UNSUPPORTED, {}},
      {"page attribute offset count 0", {{tag::kPageAttributes, LONG, 0, {}}}, OVR_ERR_CORRUPT, {}},
  });
}

TEST(OvrTagTable, ValuesOutsideTheFile) {
  runCases({
      {"an unknown tag pointing nowhere is skipped",
       {{40000, LONG, 1000, {}, 0xFFFFFF00u}, {tag::kImageWidth, SHORT, 1, {9}}},
       OVR_OK,
       [](const Directory &d) { EXPECT_EQ(d.width, 9u); }},
      {"strip offsets past the end",
       {{tag::kStripOffsets, LONG, 2, {}, 0xFFFFFFF0u}},
       OVR_ERR_CORRUPT,
       {}},
      {"a count that would need gigabytes",
       {{tag::kStripOffsets, LONG, 0x3FFFFFFF, {}, 8}},
       OVR_ERR_CORRUPT,
       {}},
      {"a DOUBLE count whose bytes pass 32 bits",
       {{tag::kTileOffsets, ovr::kTypeDouble, 0x20000001, {}, 8}},
       OVR_ERR_UNSUPPORTED,
       {}},
      {"a text value past the end",
       {{tag::kSoftware, ASCII, 64, {}, 0x7FFFFFFFu}},
       OVR_ERR_CORRUPT,
       {}},
      {"a scalar array past the end",
       {{tag::kImageWidth, LONG, 3, {}, 0x7FFFFFFFu}},
       OVR_ERR_CORRUPT,
       {}},
  });
}

}  // namespace
