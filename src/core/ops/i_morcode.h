// The compiled morphology routine: a portable byte object that the runners execute with
// word-parallel C++ (see i_morgen.cpp for how it is built, i_morrun.cpp for how it runs).
//
// Output row y is the combination (OR for dilation, AND for erosion) of row terms: each
// names a source row offset and a row pattern. A pattern combines the source row, shifted
// right by each of its terms' shifts (negative: left), the same way; a miss term takes the
// shifted row's complement. Patterns are shared by element rows with the same cells, so
// every distinct shifted combination of a source row is computed once when the row enters
// and reused by every output row that needs it.
//
// Layout: header of 8 bytes (magic 'M', operation 1 dilation / 2 erosion, unit 4 or 8,
// pattern count, row-term count, lowest and highest row offset (signed), 0), then each
// pattern as a count byte followed by one byte per term (shift + 32 in bits 0-5, 0x40 for
// a miss), then each row term as two bytes (offset, signed; pattern index).
#ifndef PXL_I_MORCODE_H
#define PXL_I_MORCODE_H

#include <cstdint>

namespace pxl::morph {

constexpr uint8_t kMagic = 'M';
constexpr uint8_t kDilate = 1, kErode = 2;
constexpr int kHeaderBytes = 8;
constexpr uint8_t kMissFlag = 0x40;
constexpr int kMaxReach = 31;

struct Header {
  uint8_t operation, unit, patterns, rows;
  int8_t lowOffset, highOffset;
};

inline bool readHeader(const uint8_t *code, Header *h) {
  if (code == nullptr || code[0] != kMagic) return false;
  *h = {code[1],
        code[2],
        code[3],
        code[4],
        static_cast<int8_t>(code[5]),
        static_cast<int8_t>(code[6])};
  return true;
}

inline int termShift(uint8_t term) {
  return (term & 0x3F) - 32;
}
inline bool termMiss(uint8_t term) {
  return (term & kMissFlag) != 0;
}

}  // namespace pxl::morph

#endif
