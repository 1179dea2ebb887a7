// Byte-order helpers: 16-, 32- and 64-bit integers loaded from and stored to byte arrays one byte
// at a time in the order of a file's header, so that file structures (whose 32-bit fields are
// often unaligned) are never cast to records.
#ifndef OVR_BYTES_H
#define OVR_BYTES_H

#include <cstdint>

namespace ovr {

enum class ByteOrder : uint8_t { Little, Big };

inline uint16_t load16(const uint8_t *p, ByteOrder order) {
  return order == ByteOrder::Little ? static_cast<uint16_t>(p[0] | p[1] << 8)
                                    : static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Loads the sizeof(T) bytes at p as an unsigned integer.
template <typename T>
inline T loadN(const uint8_t *p, ByteOrder order) {
  T v = 0;
  for (unsigned i = 0; i < sizeof(T); ++i) {
    const unsigned at = order == ByteOrder::Little ? sizeof(T) - 1 - i : i;
    v = static_cast<T>(v << 8 | p[at]);
  }
  return v;
}
inline uint32_t load32(const uint8_t *p, ByteOrder order) {
  return loadN<uint32_t>(p, order);
}
inline uint64_t load64(const uint8_t *p, ByteOrder order) {
  return loadN<uint64_t>(p, order);
}

// Stores the low `bytes` bytes of v (1, 2, 4 or 8).
inline void storeN(uint8_t *p, uint64_t v, int bytes, ByteOrder order) {
  for (int i = 0; i < bytes; ++i) {
    const int at = order == ByteOrder::Little ? i : bytes - 1 - i;
    p[at] = static_cast<uint8_t>(v >> (8 * i));
  }
}
inline void store16(uint8_t *p, uint16_t v, ByteOrder order) {
  storeN(p, v, 2, order);
}
inline void store32(uint8_t *p, uint32_t v, ByteOrder order) {
  storeN(p, v, 4, order);
}

}  // namespace ovr

#endif
