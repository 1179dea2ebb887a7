// Code tables of ITU-T T.4 (Tables 1 to 4) shared by every CCITT coder of the code base:
// white and black terminating codes (runs 0-63), make-up codes (64-1728), the extended
// make-up codes shared by both colours (1792-2560) and the two-dimensional mode codes. The
// module holds no image types; it serves the image core's row codecs and the fax library.
//
// Decoding looks a code up by the next 7 (mode), 12 (white) or 13 (black) bits of the stream,
// most significant bit first. A lookup entry packs the code length (bits 12-15, 0 when the
// bits begin no valid code) and the run length (bits 0-11); for the mode table the low bits
// hold the Mode. Encoding gives the code bits (right-aligned) and length of a run length or
// mode.
#ifndef NORV_PXL_CCITT_CODES_H
#define NORV_PXL_CCITT_CODES_H

#include <cstdint>

namespace ccitt {

enum class Colour : uint8_t { White = 0, Black = 1 };

enum Mode : uint8_t {
  kModeInvalid = 0,
  kModePass,
  kModeHorizontal,
  kModeV0,
  kModeVR1,
  kModeVR2,
  kModeVR3,
  kModeVL1,
  kModeVL2,
  kModeVL3,
};

// Vertical offset a1 - b1 of a vertical mode (kModeV0 .. kModeVL3).
constexpr int32_t verticalOffset(Mode m) {
  constexpr int8_t kOffsets[] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3};
  return kOffsets[m];
}

constexpr int kModeBits = 7;
constexpr int kWhiteBits = 12;
constexpr int kBlackBits = 13;
constexpr int32_t kMaxMakeUp = 2560;

inline int entryLength(uint16_t entry) {
  return entry >> 12;
}
inline int32_t entryValue(uint16_t entry) {
  return entry & 0xFFF;
}

// Lookup tables, 1 << kModeBits, 1 << kWhiteBits and 1 << kBlackBits entries.
const uint16_t *modeLookup();
const uint16_t *whiteLookup();
const uint16_t *blackLookup();

struct Code {
  uint16_t bits;  // right-aligned, first bit most significant
  uint8_t length;
};

// Codes by value: terminating[colour][run 0-63], makeUp[colour][run / 64] for multiples of 64
// from 64 to 2560 (index 0 unused), mode[Mode].
struct EncodeTable {
  Code terminating[2][64];
  Code makeUp[2][41];
  Code mode[10];
};
const EncodeTable &encodeTable();

// EOL: eleven zeros and a one.
constexpr Code kEol{1, 12};

}  // namespace ccitt

#endif
