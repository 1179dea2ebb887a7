// Compression bits both ways, CodingMethods bits, colour kinds, photometric kinds and palettes.
#include <gtest/gtest.h>

#include <vector>

#include "ovr_context.h"
#include "ovr_vocab_internal.h"

namespace {

namespace bits = ovr::bits;

TEST(OvrVocabulary, CompressionBitsFromValues) {
  struct Case {
    uint16_t compression;
    uint32_t options;
    uint32_t t4In;
    int32_t status;
    uint32_t bits;
    uint32_t t4Out;
  } cases[] = {
      {1, 0, 0, OVR_OK, bits::kNone, 0},
      {2, 0, 0, OVR_OK, bits::kMH, 4},
      {3, 0, 1, OVR_OK, bits::kMR, 1},
      {3, 0, 0, OVR_OK, bits::kMR, 0},
      {3, 0, 2, OVR_ERR_NOT_ALLOWED, 0, 2},
      {4, 0, 0, OVR_OK, bits::kMMR, 0},
      {7, 0, 0, OVR_OK, bits::kJpeg, 0},
      {12, 0, 0, OVR_OK, bits::kJbig2, 0},
      {34715, 0, 0, OVR_OK, bits::kJbig2, 0},
      {34715, 0x44, 0, OVR_OK, bits::kJbig2Variant, 0},
      {12, 0x04, 0, OVR_OK, bits::kJbig2Variant, 0},
      {34667, 0, 0, OVR_OK, bits::kPrivate34667, 0},
      {34673, 0x04, 0, OVR_OK, bits::kPrivate34673, 0},
      {5, 0, 0, OVR_OK, bits::kOther, 0},
      {32773, 0, 0, OVR_OK, bits::kOther, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.compression);
    uint32_t t4 = c.t4In, got = 0;
    EXPECT_EQ(ovr::compressionBitsFromValue(c.compression, c.options, &t4, &got), c.status);
    if (c.status == OVR_OK) {
      EXPECT_EQ(got, c.bits);
    }
    EXPECT_EQ(t4, c.t4Out);
  }
}

TEST(OvrVocabulary, CompressionValuesFromBits) {
  struct Case {
    uint32_t bits;
    uint16_t raw;
    int32_t status;
    uint16_t compression;
    uint32_t t4;
  } cases[] = {
      {bits::kNone, 0, OVR_OK, 1, 0},
      {bits::kMH, 0, OVR_OK, 3, 4},
      {bits::kMR, 0, OVR_OK, 3, 1},
      {bits::kMMR, 0, OVR_OK, 4, 0},
      {bits::kJpeg, 0, OVR_OK, 7, 0},
      {bits::kPrivate34667, 0, OVR_OK, 34667, 0},
      {bits::kPrivate34673, 0, OVR_OK, 34673, 0},
      {bits::kJbig2, 0, OVR_OK, 34715, 0},
      {bits::kOther, 32773, OVR_OK, 32773, 0},
      {bits::kOther, 0, OVR_ERR_SEQUENCE, 0, 0},
      {bits::kJbig2Variant, 0, OVR_ERR_PARAM, 0, 0},
      {bits::kProfileOnly, 0, OVR_ERR_PARAM, 0, 0},
      {0, 0, OVR_ERR_PARAM, 0, 0},
      {3, 0, OVR_ERR_PARAM, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bits);
    uint16_t compression = 0;
    uint32_t t4 = 99;
    EXPECT_EQ(ovr::compressionValueFromBits(c.bits, c.raw, &compression, &t4), c.status);
    if (c.status != OVR_OK) continue;
    EXPECT_EQ(compression, c.compression);
    EXPECT_EQ(t4, c.t4);
  }
}

TEST(OvrVocabulary, CodingMethodsBits) {
  const std::pair<uint32_t, uint32_t> cases[] = {{bits::kMH, 2},
                                                 {bits::kMR, 4},
                                                 {bits::kMMR, 8},
                                                 {bits::kJpeg, 32},
                                                 {bits::kProfileOnly, 16},
                                                 {bits::kJbig2, 128},
                                                 {bits::kJbig2Variant, 128},
                                                 {bits::kNone, 1},
                                                 {bits::kPrivate34667, 1},
                                                 {bits::kOther, 1}};
  for (auto [in, out] : cases) EXPECT_EQ(ovr::codingMethodsBit(in), out) << in;
}

TEST(OvrVocabulary, ColourKinds) {
  struct Case {
    uint32_t samples, bits;
    bool map;
    uint32_t kind;  // 0: unsupported
  } cases[] = {
      {1, 1, false, 1},  {1, 1, true, 1},  {1, 4, false, 2},  {1, 8, false, 3},  {1, 4, true, 4},
      {1, 8, true, 5},   {3, 4, false, 6}, {3, 8, false, 7},  {4, 1, false, 8},  {4, 4, false, 9},
      {4, 8, false, 10}, {1, 2, false, 0}, {1, 16, false, 0}, {3, 16, false, 0}, {2, 8, false, 0},
      {3, 1, false, 0},  {0, 8, false, 0},
  };
  for (const auto &c : cases) {
    uint32_t kind = 99;
    const int32_t status = ovr::colourKindFromSamples(c.samples, c.bits, c.map, &kind);
    if (c.kind == 0) {
      EXPECT_EQ(status, OVR_ERR_NOT_ALLOWED) << c.samples << "x" << c.bits;
    } else {
      EXPECT_EQ(status, OVR_OK);
      EXPECT_EQ(kind, c.kind) << c.samples << "x" << c.bits;
    }
  }
  const uint32_t photometric[12] = {1, 2, 3, 0, 0, 4, 5, 0, 6, 7, 8, 0};
  for (uint32_t p = 0; p < 12; ++p) EXPECT_EQ(ovr::photometricKind(p), photometric[p]) << p;
  EXPECT_EQ(ovr::photometricKind(32844), 0u);
}

TEST(OvrVocabulary, PaletteFromColorMap) {
  // 4-bit palette: 16 reds, 16 greens, 16 blues.
  std::vector<uint16_t> map(48);
  for (int i = 0; i < 16; ++i) {
    map[i] = static_cast<uint16_t>(i * 257);
    map[16 + i] = static_cast<uint16_t>(0xFF00 - i * 256);
    map[32 + i] = 0x1234;
  }
  uint8_t palette[768] = {};
  ASSERT_EQ(ovr::paletteFromColorMap(map.data(), map.size(), 4, palette), OVR_OK);
  EXPECT_EQ(palette[3 * 5 + 0], 5);  // high byte of 5 * 257
  EXPECT_EQ(palette[3 * 5 + 1], 0xFA);
  EXPECT_EQ(palette[3 * 5 + 2], 0x12);

  // All values at most 255: the low bytes.
  std::vector<uint16_t> small(48, 0);
  small[15] = 200;
  small[16 + 15] = 100;
  small[32 + 15] = 255;
  ASSERT_EQ(ovr::paletteFromColorMap(small.data(), small.size(), 4, palette), OVR_OK);
  EXPECT_EQ(palette[45], 200);
  EXPECT_EQ(palette[46], 100);
  EXPECT_EQ(palette[47], 255);

  // A ColorMap one value short, an 8-bit palette with a 4-bit map, unsupported bits.
  EXPECT_EQ(ovr::paletteFromColorMap(map.data(), 47, 4, palette), OVR_ERR_CORRUPT);
  EXPECT_EQ(ovr::paletteFromColorMap(map.data(), map.size(), 8, palette), OVR_ERR_CORRUPT);
  EXPECT_EQ(ovr::paletteFromColorMap(map.data(), map.size(), 2, palette), OVR_ERR_PARAM);
}

}  // namespace
