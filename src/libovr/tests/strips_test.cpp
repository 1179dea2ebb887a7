// Strip tables (strips, tiles as strips, empty stripes) and the JPEGTables check and merge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ovr_strips_internal.h"
#include "ovr_test_support.h"

namespace {

using ovr::ByteOrder;
using ovr_test::buildTiff;
using ovr_test::MemoryFile;
using ovr_test::TestEntry;
namespace tag = ovr::tag;

constexpr uint16_t SHORT = ovr::kTypeShort, LONG = ovr::kTypeLong;

struct StripCase {
  const char *name;
  std::vector<TestEntry> entries;
  bool emptyAllowed;
  int32_t status;
  uint32_t count;
  bool fromTiles;
};

TEST(OvrStrips, ResolveStripTables) {
  // Every case's file is padded to 1000 bytes so that offsets up to there are inside it.
  const StripCase cases[] = {
      {"three strips",
       {{tag::kImageLength, SHORT, 1, {20}},
        {tag::kStripOffsets, LONG, 3, {100, 200, 300}},
        {tag::kRowsPerStrip, SHORT, 1, {8}},
        {tag::kStripByteCounts, LONG, 3, {10, 10, 10}}},
       false,
       OVR_OK,
       3,
       false},
      {"counts disagree",
       {{tag::kStripOffsets, LONG, 3, {100, 200, 300}}, {tag::kStripByteCounts, LONG, 2, {10, 10}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"offsets without byte counts",
       {{tag::kStripOffsets, LONG, 1, {100}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"a strip reaching past the end",
       {{tag::kStripOffsets, LONG, 2, {100, 990}}, {tag::kStripByteCounts, LONG, 2, {10, 11}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"a strip whose offset plus count wraps 32 bits",
       {{tag::kStripOffsets, LONG, 1, {0xFFFFFFF0u}}, {tag::kStripByteCounts, LONG, 1, {0x20}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"a strip ending exactly at the end",
       {{tag::kStripOffsets, LONG, 1, {990}}, {tag::kStripByteCounts, LONG, 1, {10}}},
       false,
       OVR_OK,
       1,
       false},
      {"row counts, one per strip",
       {{tag::kStripOffsets, LONG, 2, {100, 200}},
        {tag::kStripByteCounts, LONG, 2, {5, 5}},
        {tag::kStripRowCounts, LONG, 2, {7, 9}}},
       false,
       OVR_OK,
       2,
       false},
      {"row counts, one too few",
       {{tag::kStripOffsets, LONG, 2, {100, 200}},
        {tag::kStripByteCounts, LONG, 2, {5, 5}},
        {tag::kStripRowCounts, LONG, 1, {16}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"separate sample planes",
       {{tag::kImageLength, SHORT, 1, {2}},
        {tag::kSamplesPerPixel, SHORT, 1, {3}},
        {tag::kPlanarConfiguration, SHORT, 1, {2}},
        {tag::kStripOffsets, LONG, 3, {100, 200, 300}},
        {tag::kStripByteCounts, LONG, 3, {5, 5, 5}}},
       false,
       OVR_ERR_UNSUPPORTED,
       0,
       false},
      {"planar configuration 2 of one sample is contiguous",
       {{tag::kImageLength, SHORT, 1, {2}},
        {tag::kPlanarConfiguration, SHORT, 1, {2}},
        {tag::kStripOffsets, LONG, 1, {100}},
        {tag::kStripByteCounts, LONG, 1, {5}}},
       false,
       OVR_OK,
       1,
       false},
      {"full-width tiles serve as strips",
       {{tag::kImageWidth, SHORT, 1, {100}},
        {tag::kImageLength, SHORT, 1, {40}},
        {tag::kTileWidth, SHORT, 1, {112}},
        {tag::kTileLength, SHORT, 1, {16}},
        {tag::kTileOffsets, LONG, 3, {100, 200, 300}},
        {tag::kTileByteCounts, LONG, 3, {50, 50, 50}}},
       false,
       OVR_OK,
       3,
       true},
      {"two tiles across a tile row",
       {{tag::kImageWidth, SHORT, 1, {100}},
        {tag::kImageLength, SHORT, 1, {16}},
        {tag::kTileWidth, SHORT, 1, {64}},
        {tag::kTileLength, SHORT, 1, {16}},
        {tag::kTileOffsets, LONG, 2, {100, 200}},
        {tag::kTileByteCounts, LONG, 2, {50, 50}}},
       false,
       OVR_ERR_UNSUPPORTED,
       0,
       false},
      {"tiles with a TileLength of 0",
       {{tag::kImageLength, SHORT, 1, {16}},
        {tag::kTileLength, SHORT, 1, {0}},
        {tag::kTileOffsets, LONG, 1, {100}},
        {tag::kTileByteCounts, LONG, 1, {50}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
      {"no tables where the profile allows an empty stripe",
       {{tag::kImageWidth, SHORT, 1, {8}}},
       true,
       OVR_OK,
       0,
       false},
      {"no tables elsewhere",
       {{tag::kImageWidth, SHORT, 1, {8}}},
       false,
       OVR_ERR_CORRUPT,
       0,
       false},
  };
  for (const StripCase &c : cases) {
    SCOPED_TRACE(c.name);
    ovr_test::TestContext ctx;
    std::vector<uint8_t> file = buildTiff(ByteOrder::Little, {c.entries});
    ASSERT_LE(file.size(), 1000u);
    file.resize(1000);
    MemoryFile mf(file);
    ovr::Directory dir(ctx.alloc());
    ovr::IfdLayout layout;
    ASSERT_EQ(ovr::readDirectory(mf.reader(), 8, dir, &layout), OVR_OK);
    ovr::StripLayout strips;
    ASSERT_EQ(ovr::resolveStrips(dir, file.size(), c.emptyAllowed, &strips), c.status);
    EXPECT_EQ(strips.count, c.count);
    EXPECT_EQ(strips.fromTiles, c.fromTiles);
  }
}

std::vector<uint8_t> bytesOf(std::initializer_list<int> v) {
  return {v.begin(), v.end()};
}

TEST(OvrJpegTables, CheckFindsTheBody) {
  struct Case {
    const char *name;
    std::vector<uint8_t> tables;
    int32_t status;
    uint64_t bodyLength;
  } cases[] = {
      {"one segment", bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 9, 0xFF, 0xD9}), OVR_OK, 5},
      {"two segments and trailing bytes",
       bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 2, 0xFF, 0xC4, 0, 3, 1, 0xFF, 0xD9, 7}), OVR_OK, 9},
      {"nothing but SOI and EOI", bytesOf({0xFF, 0xD8, 0xFF, 0xD9, 0}), OVR_OK, 0},
      {"four bytes", bytesOf({0xFF, 0xD8, 0xFF, 0xD9}), OVR_ERR_CORRUPT, 0},
      {"no SOI", bytesOf({0xFF, 0xD9, 0xFF, 0xDB, 0, 2, 0xFF, 0xD9}), OVR_ERR_CORRUPT, 0},
      {"segment length 1", bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 1, 0xFF, 0xD9}), OVR_ERR_CORRUPT, 0},
      {"segment past the end", bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 9, 1, 2, 0xFF, 0xD9}),
       OVR_ERR_CORRUPT, 0},
      {"no EOI", bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 2, 0xFF, 0xDB, 0, 2}), OVR_ERR_CORRUPT, 0},
      {"not a marker", bytesOf({0xFF, 0xD8, 0x00, 0xDB, 0, 2, 0xFF, 0xD9}), OVR_ERR_CORRUPT, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ovr::JpegTablesBody body;
    ASSERT_EQ(ovr::checkJpegTables(c.tables.data(), c.tables.size(), &body), c.status);
    if (c.status == OVR_OK) {
      EXPECT_EQ(body.offset, 2u);
      EXPECT_EQ(body.length, c.bodyLength);
    }
  }
}

TEST(OvrJpegTables, MergeKeepsAppAndComInFront) {
  const std::vector<uint8_t> tables = bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 0x77, 0xFF, 0xD9});
  ovr::JpegTablesBody body;
  ASSERT_EQ(ovr::checkJpegTables(tables.data(), tables.size(), &body), OVR_OK);
  struct Case {
    const char *name;
    std::vector<uint8_t> strip;
    int32_t status;
    std::vector<uint8_t> merged;
  } cases[] = {
      {"after SOI", bytesOf({0xFF, 0xD8, 0xFF, 0xC0, 0, 2, 0xFF, 0xD9}), OVR_OK,
       bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 0x77, 0xFF, 0xC0, 0, 2, 0xFF, 0xD9})},
      {"after APP0 and COM",
       bytesOf({0xFF, 0xD8, 0xFF, 0xE0, 0, 3, 1, 0xFF, 0xFE, 0, 2, 0xFF, 0xDA, 0, 2}), OVR_OK,
       bytesOf({0xFF, 0xD8, 0xFF, 0xE0, 0, 3,    1,    0xFF, 0xFE, 0,
                2,    0xFF, 0xDB, 0,    3, 0x77, 0xFF, 0xDA, 0,    2})},
      {"a strip that is only SOI", bytesOf({0xFF, 0xD8}), OVR_OK,
       bytesOf({0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 0x77})},
      {"no SOI", bytesOf({0xFF, 0xC0, 0, 2}), OVR_ERR_CORRUPT, {}},
      {"APP segment past the end", bytesOf({0xFF, 0xD8, 0xFF, 0xE1, 0, 9, 1}), OVR_ERR_CORRUPT, {}},
      {"APP segment length 0",
       bytesOf({0xFF, 0xD8, 0xFF, 0xE1, 0, 0, 0xFF, 0xD9}),
       OVR_ERR_CORRUPT,
       {}},
      {"empty strip", {}, OVR_ERR_CORRUPT, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ovr::JpegMerge plan;
    ASSERT_EQ(ovr::planJpegMerge(c.strip.data(), c.strip.size(), body, &plan), c.status);
    if (c.status != OVR_OK) continue;
    ASSERT_EQ(plan.mergedSize, c.merged.size());
    std::vector<uint8_t> out(plan.mergedSize);
    ovr::applyJpegMerge(plan, c.strip.data(), c.strip.size(), tables.data(), body, out.data());
    EXPECT_EQ(out, c.merged);
  }
}

}  // namespace
