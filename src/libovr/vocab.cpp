// Compression bits, CodingMethods bits, colour and photometric kinds, and ColorMap palettes.
#include "ovr_vocab_internal.h"

#include "ovr_context.h"

namespace ovr {

int32_t compressionBitsFromValue(uint16_t compression, uint32_t codingOptions, uint32_t *t4Options,
                                 uint32_t *compressionBits) {
  switch (compression) {
    case kCompressionNone:
      *compressionBits = bits::kNone;
      return OVR_OK;
    case kCompressionMH:
      *t4Options |= kT4FillBits;
      *compressionBits = bits::kMH;
      return OVR_OK;
    case kCompressionT4:
      if (*t4Options & kT4Uncompressed) return OVR_ERR_NOT_ALLOWED;
      *compressionBits = bits::kMR;
      return OVR_OK;
    case kCompressionT6:
      *compressionBits = bits::kMMR;
      return OVR_OK;
    case kCompressionJpeg:
      *compressionBits = bits::kJpeg;
      return OVR_OK;
    case kCompressionJbig2:
    case kCompressionJbig2Private:
      *compressionBits = codingOptions & kOptionJbig2Variant ? bits::kJbig2Variant : bits::kJbig2;
      return OVR_OK;
    case kCompression34667:
      *compressionBits = bits::kPrivate34667;
      return OVR_OK;
    case kCompression34673:
      *compressionBits = bits::kPrivate34673;
      return OVR_OK;
    default:
      *compressionBits = bits::kOther;
      return OVR_OK;
  }
}

int32_t compressionValueFromBits(uint32_t compressionBits, uint16_t rawValue, uint16_t *compression,
                                 uint32_t *t4Options) {
  *t4Options = 0;
  switch (compressionBits) {
    case bits::kNone:
      *compression = kCompressionNone;
      return OVR_OK;
    case bits::kMH:
      *compression = kCompressionT4;
      *t4Options = kT4FillBits;
      return OVR_OK;
    case bits::kMR:
      *compression = kCompressionT4;
      *t4Options = kT4TwoDimensional;
      return OVR_OK;
    case bits::kMMR:
      *compression = kCompressionT6;
      return OVR_OK;
    case bits::kJpeg:
      *compression = kCompressionJpeg;
      return OVR_OK;
    case bits::kPrivate34667:
      *compression = kCompression34667;
      return OVR_OK;
    case bits::kPrivate34673:
      *compression = kCompression34673;
      return OVR_OK;
    case bits::kJbig2:
      *compression = kCompressionJbig2Private;
      return OVR_OK;
    case bits::kOther:
      if (rawValue == 0) return OVR_ERR_SEQUENCE;
      *compression = rawValue;
      return OVR_OK;
    default:
      return OVR_ERR_PARAM;
  }
}

uint32_t codingMethodsBit(uint32_t compressionBits) {
  switch (compressionBits) {
    case bits::kMH:
      return 2;
    case bits::kMR:
      return 4;
    case bits::kMMR:
      return 8;
    case bits::kJpeg:
      return 32;
    case bits::kProfileOnly:
      return 16;
    case bits::kJbig2:
    case bits::kJbig2Variant:
      return 128;
    default:
      return 1;
  }
}

int32_t colourKindFromSamples(uint32_t samplesPerPixel, uint32_t bitsPerSample, bool hasColorMap,
                              uint32_t *colourKind) {
  uint32_t kind = 0;
  if (samplesPerPixel == 1) {
    if (bitsPerSample == 1) kind = colour::kBilevel;
    if (bitsPerSample == 4) kind = hasColorMap ? colour::kPalette4 : colour::kGrey4;
    if (bitsPerSample == 8) kind = hasColorMap ? colour::kPalette8 : colour::kGrey8;
  } else if (samplesPerPixel == 3) {
    if (bitsPerSample == 4) kind = colour::kColour4;
    if (bitsPerSample == 8) kind = colour::kColour8;
  } else if (samplesPerPixel == 4) {
    if (bitsPerSample == 1) kind = colour::kFour1;
    if (bitsPerSample == 4) kind = colour::kFour4;
    if (bitsPerSample == 8) kind = colour::kFour8;
  }
  if (kind == 0) return OVR_ERR_NOT_ALLOWED;
  *colourKind = kind;
  return OVR_OK;
}

uint32_t photometricKind(uint32_t photometric) {
  switch (photometric) {
    case 0:
      return 1;
    case 1:
      return 2;
    case 2:
      return 3;
    case 5:
      return 4;
    case 6:
      return 5;
    case 8:
      return 6;
    case 9:
      return 7;
    case 10:
      return 8;
    default:
      return 0;
  }
}

int32_t paletteFromColorMap(const uint16_t *colorMap, uint64_t count, uint32_t bitsPerSample,
                            uint8_t *palette) {
  if (bitsPerSample != 4 && bitsPerSample != 8) return OVR_ERR_PARAM;
  const uint32_t entries = 1u << bitsPerSample;
  if (count < 3ull * entries) return OVR_ERR_CORRUPT;
  bool lowBytes = true;
  for (uint32_t i = 0; i < 3 * entries; ++i) lowBytes = lowBytes && colorMap[i] <= 255;
  for (uint32_t i = 0; i < entries; ++i) {
    for (uint32_t c = 0; c < 3; ++c) {
      const uint16_t v = colorMap[c * entries + i];
      palette[3 * i + c] = static_cast<uint8_t>(lowBytes ? v : v >> 8);
    }
  }
  return OVR_OK;
}

}  // namespace ovr
