// Tables of the Lossy Dither codec (see pxl_lossydither.h): the class of each byte value, the
// eight pattern bytes of each class, and the class, position and length codes. Decoding looks
// codes up by the next 9 (class), 13 (position) or 15 (length) bits, most significant first;
// an entry packs the code length (bits 12-15, 0: no code) and the value (bits 0-11).
// Position values: 0-63 a skip of that many bytes, then kPosAtChange.. for the codes that
// point at the change list, the end of the row and the prefixes of longer skips. Length
// values: 1-64, then kLenToEnd and the prefixes of longer lengths.
#ifndef NORV_LD_CODES_H
#define NORV_LD_CODES_H

#include <cstdint>

#include "pxl_ccitt_codes.h"
#include "pxl_lossydither.h"

namespace lossy_dither {

constexpr int32_t kClasses = 47;
constexpr int kClassBits = 9;
constexpr int kPositionBits = 13;
constexpr int kLengthBits = 15;

enum PositionValue : int32_t {
  kPosAtChange = 64,    // 011: the change-list entry itself
  kPosAfterChange,      // 11: one past it (where the stretch above started)
  kPosTwoAfterChange,   // 0100
  kPosAfterNextChange,  // 0101: where the next stretch above started
  kPosEndOfRow,         // 00001111
  kPosSkip64,           // 0001101 and 6 bits: skips 64-127
  kPosSkip128,          // 000010101 and 7 bits: skips 128-255
  kPosSkip256,          // 0000000000001 and 7-bit groups: skips from 256
};
enum LengthValue : int32_t {
  kLenToEnd = 65,  // 0000111: to the end of the row
  kLen65,          // 0000001011 and 6 bits: 65-128
  kLen129,         // 000001001 and 7 bits: 129-256
  kLen257,         // 00000000010001 and 7-bit groups: from 257
};

struct Codes {
  ccitt::Code classes[kClasses];
  ccitt::Code skips[64];
  ccitt::Code lengths[65];        // index 1-64
  ccitt::Code positions[8];       // kPosAtChange.. kPosSkip256
  ccitt::Code lengthSpecials[4];  // kLenToEnd.. kLen257
};

const uint16_t *classLookup();
const uint16_t *positionLookup();
const uint16_t *lengthLookup();
const Codes &codes();
uint8_t classOf(uint8_t byte);
const uint8_t (*patterns())[8];

}  // namespace lossy_dither

#endif
