// Tables of the Lossy Dither codec: byte classes, class patterns, and the class, position
// (skip) and length codes with the lookup tables the decoder reads them by.
#include "ld_codes.h"

#include <cstring>

namespace lossy_dither {
namespace {

constexpr uint8_t kClassOf[256] = {
    4,  5,  5,  11, 5,  6,  10, 15, 5,  6,  6,  19, 10, 18, 14, 22,  // 0x
    5,  6,  6,  19, 6,  7,  18, 26, 9,  17, 17, 31, 14, 25, 22, 35,  // 1x
    5,  6,  6,  19, 6,  7,  18, 26, 6,  7,  7,  30, 18, 29, 25, 39,  // 2x
    9,  17, 17, 31, 17, 28, 32, 39, 13, 24, 24, 39, 21, 39, 39, 43,  // 3x
    5,  6,  6,  19, 6,  7,  18, 26, 6,  7,  7,  30, 18, 29, 25, 40,  // 4x
    6,  7,  7,  30, 7,  34, 29, 0,  17, 28, 28, 0,  25, 0,  0,  1,   // 5x
    9,  17, 17, 31, 17, 28, 32, 40, 17, 28, 28, 0,  32, 0,  0,  1,   // 6x
    13, 24, 24, 41, 24, 0,  0,  1,  21, 41, 0,  1,  42, 1,  1,  2,   // 7x
    5,  6,  6,  19, 6,  7,  18, 26, 6,  7,  7,  30, 18, 29, 25, 36,  // 8x
    6,  7,  7,  30, 7,  34, 29, 40, 17, 28, 28, 40, 25, 40, 40, 44,  // 9x
    6,  7,  7,  30, 7,  34, 29, 40, 7,  34, 34, 0,  29, 0,  0,  1,   // Ax
    17, 28, 28, 41, 28, 0,  0,  1,  24, 41, 0,  1,  42, 1,  1,  2,   // Bx
    8,  16, 16, 33, 16, 27, 31, 36, 16, 27, 27, 40, 31, 40, 40, 44,  // Cx
    16, 27, 27, 41, 27, 0,  0,  1,  31, 41, 0,  1,  42, 1,  1,  2,   // Dx
    12, 23, 23, 37, 23, 40, 40, 44, 23, 41, 0,  1,  42, 1,  1,  2,   // Ex
    20, 37, 41, 45, 42, 1,  1,  2,  38, 45, 1,  2,  46, 2,  2,  3,   // Fx
};

constexpr uint8_t kPatterns[kClasses][8] = {
    {0x57, 0xEA, 0xAD, 0xD6, 0x6B, 0xD5, 0xAE, 0xD5},
    {0x5F, 0xEB, 0xBE, 0xD7, 0x7E, 0xF5, 0xBB, 0xEE},
    {0xEF, 0xF7, 0xBF, 0xFD, 0x7F, 0xFB, 0xFE, 0xDF},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x10, 0x08, 0x40, 0x02, 0x80, 0x04, 0x01, 0x20},
    {0xA0, 0x14, 0x41, 0x28, 0x81, 0x0A, 0x44, 0x11},
    {0xA8, 0x15, 0x52, 0x29, 0x94, 0x2A, 0x51, 0x2A},
    {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0},
    {0x60, 0x60, 0x18, 0x18, 0x60, 0x60, 0x18, 0x18},
    {0x06, 0x06, 0x0C, 0x0C, 0x06, 0x06, 0x0C, 0x0C},
    {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03},
    {0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0},
    {0x70, 0x70, 0x38, 0x38, 0x70, 0x70, 0x38, 0x38},
    {0x1C, 0x1C, 0x0E, 0x0E, 0x1C, 0x1C, 0x0E, 0x0E},
    {0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07},
    {0xC4, 0xD0, 0xC2, 0xC8, 0xC1, 0xC4, 0xD0, 0xC1},
    {0x68, 0x62, 0x98, 0x19, 0x34, 0xB0, 0x1A, 0x31},
    {0x8C, 0x0D, 0x46, 0x16, 0x2C, 0x8C, 0x26, 0x16},
    {0x83, 0x0B, 0x43, 0x13, 0x83, 0x0B, 0x43, 0x13},
    {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0},
    {0x78, 0x78, 0x3C, 0x3C, 0x78, 0x78, 0x3C, 0x3C},
    {0x1E, 0x1E, 0x0F, 0x0F, 0x1E, 0x1E, 0x0F, 0x0F},
    {0xE8, 0xE2, 0xE4, 0xE1, 0xE8, 0xE2, 0xE4, 0xE1},
    {0x74, 0x71, 0xB8, 0x3A, 0x72, 0x74, 0x3A, 0xB8},
    {0x9C, 0x1D, 0x8E, 0x2E, 0x5C, 0x9C, 0x4E, 0x8E},
    {0x87, 0x17, 0x47, 0x27, 0x87, 0x17, 0x47, 0x27},
    {0xD4, 0xC9, 0xD1, 0xCA, 0xD2, 0xC5, 0xD1, 0xCA},
    {0x6A, 0x65, 0x5A, 0x99, 0x35, 0xB2, 0x59, 0x9A},
    {0xAC, 0x2D, 0xA6, 0x56, 0x4D, 0xAC, 0x56, 0x96},
    {0xA3, 0x53, 0x8B, 0x2B, 0xA3, 0x53, 0x93, 0x4B},
    {0xCC, 0xCC, 0x33, 0x33, 0xCC, 0xCC, 0x33, 0x33},
    {0x6C, 0x6C, 0x36, 0x36, 0x66, 0x6C, 0x36, 0x36},
    {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3},
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F},
    {0x8F, 0xC7, 0x8F, 0xC7, 0x8F, 0xC7, 0x8F, 0xC7},
    {0xE3, 0xF1, 0xE3, 0xF1, 0xE3, 0xF1, 0xE3, 0xF1},
    {0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8},
    {0x3B, 0x2F, 0x3D, 0x37, 0x3E, 0x3B, 0x2F, 0x3E},
    {0x97, 0x9D, 0x67, 0xE6, 0xCB, 0x4F, 0xE5, 0xCE},
    {0x73, 0xF2, 0xD9, 0xE9, 0xD3, 0x73, 0xD9, 0xE9},
    {0x7C, 0xF4, 0xBC, 0xEC, 0x7C, 0xF4, 0xBC, 0xEC},
    {0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F},
    {0x60, 0x60, 0x18, 0x18, 0x60, 0x60, 0x18, 0x18},
    {0xF3, 0xF3, 0xF9, 0xF9, 0xF3, 0xF3, 0xF9, 0xF9},
    {0xFC, 0xFC, 0xFC, 0xFC, 0xFC, 0xFC, 0xFC, 0xFC},
};

constexpr const char *kClassCodes[kClasses] = {
    "01001",     "0110",     "100",      "101",      "110",      "0111",      "111",
    "01010",     "0000110",  "0000111",  "00000001", "0001000",  "0001001",   "00000010",
    "00000011",  "0001010",  "0001011",  "001101",   "001110",   "00000100",  "00000101",
    "000000000", "0001100",  "00000110", "00000111", "00001000", "00001001",  "0001101",
    "001111",    "0001110",  "0001111",  "01011",    "0010000",  "000000001", "0010001",
    "0010010",   "00001010", "00001011", "0010011",  "0010100",  "010000",    "0010101",
    "0010110",   "0010111",  "010001",   "0011000",  "0011001"};

constexpr const char *kSkipCodes[64] = {
    "000111",       "10",           "0011",         "00101",        "001000",       "001001",
    "0001000",      "0001001",      "0001010",      "0001011",      "0001100",      "00001011",
    "00001100",     "00001101",     "00001110",     "000001011",    "000001100",    "000001101",
    "000001110",    "000001111",    "000010000",    "000010001",    "000010010",    "000010011",
    "000010100",    "0000001011",   "0000001100",   "0000001101",   "0000001110",   "0000001111",
    "0000010000",   "0000010001",   "0000010010",   "0000010011",   "0000010100",   "0000010101",
    "00000000110",  "00000000111",  "00000001000",  "00000001001",  "00000001010",  "00000001011",
    "00000001100",  "00000001101",  "00000001110",  "00000001111",  "00000010000",  "00000010001",
    "00000010010",  "00000010011",  "00000010100",  "00000010101",  "000000000001", "000000000010",
    "000000000011", "000000000100", "000000000101", "000000000110", "000000000111", "000000001000",
    "000000001001", "000000001010", "000000001011", "0000000000000"};

constexpr const char *kLengthCodes[64] = {"1",
                                          "010",
                                          "011",
                                          "0010",
                                          "0011",
                                          "00011",
                                          "000100",
                                          "000101",
                                          "0000100",
                                          "0000101",
                                          "0000110",
                                          "00000101",
                                          "00000110",
                                          "00000111",
                                          "000000110",
                                          "000000111",
                                          "000001000",
                                          "0000000111",
                                          "0000001000",
                                          "0000001001",
                                          "0000001010",
                                          "00000001001",
                                          "00000001010",
                                          "00000001011",
                                          "00000001100",
                                          "00000001101",
                                          "000000001001",
                                          "000000001010",
                                          "000000001011",
                                          "000000001100",
                                          "000000001101",
                                          "000000001110",
                                          "000000001111",
                                          "000000010000",
                                          "000000010001",
                                          "0000000001001",
                                          "0000000001010",
                                          "0000000001011",
                                          "0000000001100",
                                          "0000000001101",
                                          "0000000001110",
                                          "0000000001111",
                                          "0000000010000",
                                          "0000000010001",
                                          "00000000000011",
                                          "00000000000100",
                                          "00000000000101",
                                          "00000000000110",
                                          "00000000000111",
                                          "00000000001000",
                                          "00000000001001",
                                          "00000000001010",
                                          "00000000001011",
                                          "00000000001100",
                                          "00000000001101",
                                          "00000000001110",
                                          "00000000001111",
                                          "00000000010000",
                                          "000000000000000",
                                          "000000000000001",
                                          "000000000000010",
                                          "000000000000011",
                                          "000000000000100",
                                          "000000000000101"};

// Position codes other than skips, indexed by value - kPosAtChange.
constexpr const char *kPositionCodes[8] = {"011",      "11",      "0100",      "0101",
                                           "00001111", "0001101", "000010101", "0000000000001"};
// Length codes other than 1..64, indexed by value - kLenToEnd.
constexpr const char *kLengthSpecials[4] = {"0000111", "0000001011", "000001001", "00000000010001"};

ccitt::Code parse(const char *bits) {
  ccitt::Code c{0, 0};
  for (; *bits; ++bits) c.bits = static_cast<uint16_t>(c.bits << 1 | (*bits - '0')), ++c.length;
  return c;
}

void place(uint16_t *table, int width, const char *bits, int32_t value) {
  const ccitt::Code c = parse(bits);
  const int free = width - c.length;
  const uint32_t first = static_cast<uint32_t>(c.bits) << free;
  for (uint32_t i = 0; i < (1u << free); ++i)
    table[first + i] = static_cast<uint16_t>(c.length << 12 | value);
}

struct Tables {
  uint16_t classes[1 << kClassBits];
  uint16_t positions[1 << kPositionBits];
  uint16_t lengths[1 << kLengthBits];
  Codes codes;
  Tables() {
    std::memset(this, 0, sizeof *this);
    for (int32_t k = 0; k < kClasses; ++k) {
      place(classes, kClassBits, kClassCodes[k], k);
      codes.classes[k] = parse(kClassCodes[k]);
    }
    for (int32_t d = 0; d < 64; ++d) {
      place(positions, kPositionBits, kSkipCodes[d], d);
      codes.skips[d] = parse(kSkipCodes[d]);
      place(lengths, kLengthBits, kLengthCodes[d], d + 1);
      codes.lengths[d + 1] = parse(kLengthCodes[d]);
    }
    for (int32_t i = 0; i < 8; ++i) {
      place(positions, kPositionBits, kPositionCodes[i], kPosAtChange + i);
      codes.positions[i] = parse(kPositionCodes[i]);
    }
    for (int32_t i = 0; i < 4; ++i) {
      place(lengths, kLengthBits, kLengthSpecials[i], kLenToEnd + i);
      codes.lengthSpecials[i] = parse(kLengthSpecials[i]);
    }
  }
};

const Tables &tables() {
  static const Tables t;
  return t;
}

}  // namespace

const uint16_t *classLookup() {
  return tables().classes;
}
const uint16_t *positionLookup() {
  return tables().positions;
}
const uint16_t *lengthLookup() {
  return tables().lengths;
}
const Codes &codes() {
  return tables().codes;
}
uint8_t classOf(uint8_t byte) {
  return kClassOf[byte];
}
const uint8_t (*patterns())[8] {
  return kPatterns;
}

}  // namespace lossy_dither

extern "C" uint8_t pxlLossyDitherClass(uint8_t byte) {
  return lossy_dither::classOf(byte);
}

extern "C" uint8_t pxlLossyDitherPattern(int32_t cls, int32_t phase) {
  return lossy_dither::patterns()[cls % lossy_dither::kClasses][phase & 7];
}
