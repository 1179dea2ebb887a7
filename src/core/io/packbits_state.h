// State records of the PackBits row codec and the row byte helpers both sides share.
//
// Rows of the core are 32-bit little-endian words with the leftmost pixel in the most
// significant bits, so pixel-order byte i of a row is the byte at (i XOR 3). The encoder copies
// a row into pixel order (a byte swap per word) before finding its stretches; the decoder
// writes a row in pixel order and swaps its words once the row is complete.
#ifndef NORV_PACKBITS_STATE_H
#define NORV_PACKBITS_STATE_H

#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "pxl_packbits.h"

// One coded stretch of a row: `length` literal bytes (> 0) or a repeat of -length bytes.
struct PxlPackBitsSegment {
  int32_t start;
  int32_t length;
};

struct PxlPackBitsEncoderState {
  int32_t linesOpen;
  int32_t linesDone;
  int32_t rowBytes;  // n = ceil(width * depth / 8)
  int32_t depth;
  int32_t width;
  int32_t bitStateValid;
  int32_t step;       // 0 between rows, else where the row coder resumes
  int32_t pending;    // bytes of the current literal piece still to write
  int32_t remaining;  // bytes of the current stretch not yet split into pieces
  int32_t segment;    // stretch being written
  int32_t segmentCount;
  int32_t position;     // row byte of the next literal byte
  int32_t offsetIndex;  // next entry of the caller's row-offset table
  int32_t size;
  int64_t bytesOut;  // bytes written since the stream started
  // Then the row in pixel order (rowBytes rounded up to 4, and 16 bytes of padding for word
  // loads) and the stretches (rowBytes + 1 entries).
};

struct PxlPackBitsDecoderState {
  int32_t linesOpen;
  int32_t linesDone;
  int32_t rowOffset;  // bytes of the current row stored
  int32_t bitStateValid;
  int32_t mode;   // 0 a header comes next, 1 literal bytes owed, 2 a repeat's byte owed
  int32_t count;  // literal bytes still owed, or the repeat's length
  int32_t size;
  int32_t spare;
};

namespace packbits_detail {

constexpr int32_t kMaxRowBytes = 1 << 26;

inline int64_t rowBytesOf(int64_t width, int32_t depth) {
  return (width * depth + 7) / 8;
}
inline int64_t paddedRow(int64_t rowBytes) {
  return ((rowBytes + 3) & ~int64_t{3}) + 16;
}

inline uint8_t *encoderRow(PxlPackBitsEncoderState *s) {
  return reinterpret_cast<uint8_t *>(s + 1);
}
inline PxlPackBitsSegment *encoderSegments(PxlPackBitsEncoderState *s) {
  return reinterpret_cast<PxlPackBitsSegment *>(encoderRow(s) + paddedRow(s->rowBytes));
}

// Reverses the bytes of each 32-bit word: core word order <-> pixel order. Sixteen bytes at a
// time: bytes swapped within 16-bit lanes, then the lanes swapped within each word.
inline void swapWords(uint8_t *dst, const uint8_t *src, int64_t bytes) {
  int64_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
    x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), x);
  }
  for (; i < bytes; i += 4) {
    uint32_t w;
    std::memcpy(&w, src + i, 4);
    w = __builtin_bswap32(w);
    std::memcpy(dst + i, &w, 4);
  }
}

inline int32_t percentOf(int64_t done, int64_t total) {
  return total > 0 ? static_cast<int32_t>(done * 100 / total) : 100;
}

}  // namespace packbits_detail

#endif
