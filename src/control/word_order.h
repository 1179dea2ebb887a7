// The image core's word order, read from the bytes of a row on this little-endian machine:
// rows are 32-bit words whose most significant end holds the leftmost pixel, so pixel-order
// byte k of a row is stored at byte k ^ 3, and 1-bit pixel x is bit 31 - x % 32 of word x / 32.
#ifndef CTL_WORD_ORDER_H
#define CTL_WORD_ORDER_H

#include <cstdint>
#include <cstring>

namespace ctl {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "core word order assumes little-endian");

// 8-bit pixel x of a core row.
inline uint8_t coreByte(const uint8_t *row, int64_t x) {
  return row[x ^ 3];
}

// Word i of a core row, as the core holds it.
inline uint32_t coreWord(const uint8_t *row, int64_t i) {
  uint32_t w;
  std::memcpy(&w, row + 4 * i, 4);
  return w;
}

}  // namespace ctl

#endif
