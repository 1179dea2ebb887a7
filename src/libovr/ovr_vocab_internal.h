// The library's vocabularies for a layer's coding and pixel layout: compression bits (one bit per
// coding) and their Compression values, coding options, CodingMethods bits, colour kinds from
// the sample layout, photometric kinds, and the palette of a ColorMap.
#ifndef OVR_VOCAB_H
#define OVR_VOCAB_H

#include <cstdint>

namespace ovr {

namespace bits {
constexpr uint32_t kNone = 1;
constexpr uint32_t kMH = 2;
constexpr uint32_t kMR = 4;
constexpr uint32_t kMMR = 8;
constexpr uint32_t kJpeg = 16;
constexpr uint32_t kPrivate34667 = 64;
constexpr uint32_t kPrivate34673 = 128;
constexpr uint32_t kProfileOnly = 512;  // known to profile rules; no Compression value gives it
constexpr uint32_t kJbig2 = 1024;
constexpr uint32_t kJbig2Variant = 2048;
constexpr uint32_t kOther = 0x8000;
}  // namespace bits

// Compression values.
constexpr uint16_t kCompressionNone = 1;
constexpr uint16_t kCompressionMH = 2;
constexpr uint16_t kCompressionT4 = 3;
constexpr uint16_t kCompressionT6 = 4;
constexpr uint16_t kCompressionJpeg = 7;
constexpr uint16_t kCompressionJbig2 = 12;
constexpr uint16_t kCompressionJbig2Private = 34715;
constexpr uint16_t kCompression34667 = 34667;
constexpr uint16_t kCompression34673 = 34673;

// T4Options bits.
constexpr uint32_t kT4TwoDimensional = 1;
constexpr uint32_t kT4Uncompressed = 2;
constexpr uint32_t kT4FillBits = 4;

// Coding options (tag 34690 or 436).
constexpr uint32_t kOptionJbig2Variant = 0x04;
constexpr uint32_t kOptionSharedTailStrip = 0x20;
constexpr uint32_t kOptionTailBytes = 0x40;

// Codings whose strips are referring strips.
inline bool isJbig2Class(uint32_t compressionBits) {
  return compressionBits == bits::kPrivate34667 || compressionBits == bits::kPrivate34673 ||
         compressionBits == bits::kJbig2 || compressionBits == bits::kJbig2Variant;
}

// Compression bits of a Compression value. Compression 2 sets T4Options bit 2 (fill bits);
// Compression 3 with T4Options bit 1 (uncompressed mode) is not supported (10000); Compression 12
// and 34715 give the JBIG2 variant when the coding options have bit 0x04.
int32_t compressionBitsFromValue(uint16_t compression, uint32_t codingOptions, uint32_t *t4Options,
                                 uint32_t *compressionBits);
// The Compression value (and T4Options, 0 when none is written) of compression bits. 0x8000
// writes the raw value (21 when none was set); bits without a Compression value give 2.
int32_t compressionValueFromBits(uint32_t compressionBits, uint16_t rawValue, uint16_t *compression,
                                 uint32_t *t4Options);
// The CodingMethods bit of an IFD's compression bits.
uint32_t codingMethodsBit(uint32_t compressionBits);

// Colour kinds.
namespace colour {
constexpr uint32_t kBilevel = 1;
constexpr uint32_t kGrey4 = 2;
constexpr uint32_t kGrey8 = 3;
constexpr uint32_t kPalette4 = 4;
constexpr uint32_t kPalette8 = 5;
constexpr uint32_t kColour4 = 6;
constexpr uint32_t kColour8 = 7;
constexpr uint32_t kFour1 = 8;
constexpr uint32_t kFour4 = 9;
constexpr uint32_t kFour8 = 10;
constexpr uint32_t kCallerSamples = 11;  // writing only
}  // namespace colour

// Colour kind from SamplesPerPixel, the first BitsPerSample and the presence of a ColorMap;
// 10000 for any other combination.
int32_t colourKindFromSamples(uint32_t samplesPerPixel, uint32_t bitsPerSample, bool hasColorMap,
                              uint32_t *colourKind);
// Photometric kind (1-8) of a PhotometricInterpretation value, 0 for any other.
uint32_t photometricKind(uint32_t photometric);

// The palette of a palette kind: 2^bits entries of (red, green, blue) from a ColorMap of all reds,
// then greens, then blues. When every value used is at most 255 the entries' low bytes are taken,
// otherwise their high bytes. A ColorMap shorter than 3 x 2^bits values is corrupt (23); bits
// other than 4 or 8 give 2.
int32_t paletteFromColorMap(const uint16_t *colorMap, uint64_t count, uint32_t bitsPerSample,
                            uint8_t *palette);

}  // namespace ovr

#endif
