// Packed-pixel access for tests: the one model of the core's row layout that the kernels are
// checked against. Pixel x of a packed row is `depth` bits (1, 2, 4, 8, 16 or 32) counted from
// the most significant end of its native 32-bit word, so on this little-endian machine the
// pixel-order byte k of a row is stored at byte k ^ 3. Reads and writes go through memcpy, so
// rows need no alignment.
#ifndef NORV_TESTKIT_PIXELS_H
#define NORV_TESTKIT_PIXELS_H

#include <cstdint>
#include <cstring>

namespace norvtest {

// Bits [bit, bit + n) of a row of 32-bit words, n <= 32 and within one word.
inline uint32_t getBits(const uint8_t *row, int64_t bit, int n) {
  uint32_t word;
  std::memcpy(&word, row + 4 * (bit >> 5), 4);
  const uint32_t mask = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
  return (word >> (32 - n - (bit & 31))) & mask;
}
inline void setBits(uint8_t *row, int64_t bit, int n, uint32_t value) {
  uint32_t word;
  std::memcpy(&word, row + 4 * (bit >> 5), 4);
  const uint32_t mask = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
  const int shift = 32 - n - static_cast<int>(bit & 31);
  word = (word & ~(mask << shift)) | ((value & mask) << shift);
  std::memcpy(row + 4 * (bit >> 5), &word, 4);
}

// Pixel x of a packed row.
inline uint32_t pixel(const uint8_t *row, int64_t x, int depth) {
  return getBits(row, x * depth, depth);
}
inline void setPixel(uint8_t *row, int64_t x, int depth, uint32_t value) {
  setBits(row, x * depth, depth, value);
}

// Byte k of a packed row in pixel order (the order of a PNM raster row).
inline uint8_t &pixelOrderByte(uint8_t *row, int64_t k) {
  return row[k ^ 3];
}
inline uint8_t pixelOrderByte(const uint8_t *row, int64_t k) {
  return row[k ^ 3];
}

// A deterministic pixel value for (x, y) at a depth: a hash, so neighbouring pixels differ.
inline uint32_t pattern(int64_t x, int64_t y, int depth) {
  const uint32_t h = static_cast<uint32_t>(x * 2654435761u) ^ static_cast<uint32_t>(y * 40503u + 7);
  const uint32_t v = h ^ (h >> 13);
  return depth == 32 ? v : v & ((1u << depth) - 1);
}

}  // namespace norvtest

#endif
