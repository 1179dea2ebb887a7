// Transcription of ITU-T T.4 Tables 1 to 4 and the lookup tables built from it once.
#include "pxl_ccitt_codes.h"

#include <cstring>

namespace ccitt {
namespace {

struct Entry {
  int16_t run;  // run length, or the Mode for mode codes
  const char *bits;
};

// T.4 Table 1: white and black terminating codes.
constexpr const char *kWhiteTerminating[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};
constexpr const char *kBlackTerminating[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};
// T.4 Table 2: make-up codes 64..1728, index run / 64 - 1.
constexpr const char *kWhiteMakeUp[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};
constexpr const char *kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};
// T.4 Table 3: extended make-up codes 1792..2560 of both colours, index run / 64 - 28.
constexpr const char *kExtendedMakeUp[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};
// T.4 Table 4: two-dimensional mode codes, indexed by Mode.
constexpr const char *kModeCodes[10] = {"",       "0001",    "001", "1",      "011",
                                        "000011", "0000011", "010", "000010", "0000010"};

Code parse(const char *bits) {
  Code c{0, 0};
  for (; *bits; ++bits) c.bits = static_cast<uint16_t>(c.bits << 1 | (*bits - '0')), ++c.length;
  return c;
}

// Fills every index of a (1 << width)-entry table that begins with the code.
void place(uint16_t *table, int width, const char *bits, int32_t value) {
  const Code c = parse(bits);
  const int free = width - c.length;
  const uint32_t first = static_cast<uint32_t>(c.bits) << free;
  const auto entry = static_cast<uint16_t>(c.length << 12 | value);
  for (uint32_t i = 0; i < (1u << free); ++i) table[first + i] = entry;
}

struct RunTables {
  uint16_t white[1 << kWhiteBits];
  uint16_t black[1 << kBlackBits];
  uint16_t mode[1 << kModeBits];
  RunTables() {
    std::memset(this, 0, sizeof *this);
    for (int32_t r = 0; r < 64; ++r) {
      place(white, kWhiteBits, kWhiteTerminating[r], r);
      place(black, kBlackBits, kBlackTerminating[r], r);
    }
    for (int32_t i = 0; i < 27; ++i) {
      place(white, kWhiteBits, kWhiteMakeUp[i], (i + 1) * 64);
      place(black, kBlackBits, kBlackMakeUp[i], (i + 1) * 64);
    }
    for (int32_t i = 0; i < 13; ++i) {
      place(white, kWhiteBits, kExtendedMakeUp[i], (i + 28) * 64);
      place(black, kBlackBits, kExtendedMakeUp[i], (i + 28) * 64);
    }
    for (int m = kModePass; m <= kModeVL3; ++m) place(mode, kModeBits, kModeCodes[m], m);
  }
};

const RunTables &tables() {
  static const RunTables t;
  return t;
}

EncodeTable buildEncodeTable() {
  EncodeTable t{};
  for (int colour = 0; colour < 2; ++colour) {
    for (int32_t r = 0; r < 64; ++r)
      t.terminating[colour][r] = parse(colour ? kBlackTerminating[r] : kWhiteTerminating[r]);
    for (int32_t i = 1; i <= 27; ++i)
      t.makeUp[colour][i] = parse(colour ? kBlackMakeUp[i - 1] : kWhiteMakeUp[i - 1]);
    for (int32_t i = 28; i <= 40; ++i) t.makeUp[colour][i] = parse(kExtendedMakeUp[i - 28]);
  }
  for (int m = kModePass; m <= kModeVL3; ++m) t.mode[m] = parse(kModeCodes[m]);
  return t;
}

}  // namespace

const EncodeTable &encodeTable() {
  static const EncodeTable t = buildEncodeTable();
  return t;
}

const uint16_t *modeLookup() {
  return tables().mode;
}
const uint16_t *whiteLookup() {
  return tables().white;
}
const uint16_t *blackLookup() {
  return tables().black;
}

}  // namespace ccitt
