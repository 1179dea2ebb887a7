// Row kernels of the replicating expansion: every source byte is looked up in a replication
// table built for the image's depth (each pixel of the byte repeated f times, first pixel in
// the top bits) and the resulting words are written in pixel order.
//
// Block kernels (factor 2, 4, 8, 16 in both directions, any depth, width in bits): each
// source row gives f destination rows of ceil(f x bits / 32) words. The store kernels make
// the f words of each source word once and store them into all f rows (factor 2: the first
// row, then one copy of it); the AND kernels AND
// each word into all f rows (factors 2, 4, 8, depth 1). Widening kernels (factor 2, 4, 8, 16 in the
// horizontal direction only, width in pixels of depth 1) write one destination row of
// ceil(f x width / 32) words per source row. Later words of a destination row are not
// touched; source rows are read in whole words, never past the word that holds the last bit.
//
// Table layouts: factor 2, 256 u16 (two lookups per word, first byte in the upper half);
// factor 4, 256 u32; factor 8, two blocks of 256 u32 (block 1, the first half of the byte,
// written first); factor 16, four blocks (written in the order 3, 2, 1, 0). The kernels
// check nothing; rows <= 0 or a width <= 0 write nothing.
#include <cstring>
#include <type_traits>

#include "pxl_expand.h"

namespace {

template <int F>
using Table = std::conditional_t<F == 2, uint16_t, uint32_t>;

// The f destination words of the source word `s` (pixels first in the top bits).
template <int F>
inline void expandWord(uint32_t s, const Table<F> *t, uint32_t *out) {
  const uint32_t b[4] = {s >> 24, (s >> 16) & 0xFF, (s >> 8) & 0xFF, s & 0xFF};
  if constexpr (F == 2) {
    out[0] = (uint32_t{t[b[0]]} << 16) | t[b[1]];
    out[1] = (uint32_t{t[b[2]]} << 16) | t[b[3]];
  } else {
    constexpr int kPerByte = F / 4;
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < kPerByte; ++k) out[j * kPerByte + k] = t[(kPerByte - 1 - k) * 256 + b[j]];
  }
}

// Expands one source row into `limit` destination words, handing each word with its index
// to put(index, word).
template <int F, typename Put>
inline void expandRow(const uint8_t *src, const Table<F> *table, int64_t limit, Put put) {
  const int64_t full = limit / F;
  uint32_t words[F];
  int64_t i = 0;
  for (; i < full; ++i) {
    uint32_t s;
    std::memcpy(&s, src + 4 * i, 4);
    expandWord<F>(s, table, words);
    for (int k = 0; k < F; ++k) put(i * F + k, words[k]);
  }
  if (const int rest = int(limit - full * F); rest > 0) {
    uint32_t s;
    std::memcpy(&s, src + 4 * i, 4);
    expandWord<F>(s, table, words);
    for (int k = 0; k < rest; ++k) put(i * F + k, words[k]);
  }
}

inline void storeWord(uint8_t *row, int64_t index, uint32_t w) {
  std::memcpy(row + 4 * index, &w, 4);
}

// The first n (< 16) of words at out, in fixed-size moves that need no library call.
inline void storeFewWords(uint8_t *out, const uint32_t *words, int64_t n) {
  int64_t k = 0;
  if (n & 8) std::memcpy(out, words, 32), k += 8;
  if (n & 4) std::memcpy(out + 4 * k, words + k, 16), k += 4;
  if (n & 2) std::memcpy(out + 4 * k, words + k, 8), k += 2;
  if (n & 1) std::memcpy(out + 4 * k, words + k, 4);
}

// Factors 4 to 16: each 64-byte chunk of destination words (16 / f source words) is made
// once and stored as one block into all f rows, so no row is read back. Factor 2 (eight bytes per
// source word) makes the first row and copies it, which takes fewer, longer moves.
template <int F>
void expandStore(const void *src, int32_t srcStride, void *dst, int32_t dstStride, int32_t bits,
                 int32_t rows, const Table<F> *table) {
  if (bits <= 0) return;
  const int64_t limit = (int64_t{F} * bits + 31) / 32;
  auto *s = static_cast<const uint8_t *>(src);
  auto *d = static_cast<uint8_t *>(dst);
  if constexpr (F == 2) {
    for (int32_t y = 0; y < rows; ++y, s += srcStride, d += int64_t{F} * dstStride) {
      expandRow<F>(s, table, limit, [d](int64_t i, uint32_t w) { storeWord(d, i, w); });
      std::memcpy(d + dstStride, d, size_t(limit) * 4);
    }
    return;
  }
  // Chunks of 16 destination words (64 bytes) from 16 / f source words.
  constexpr int kChunk = 16, kPerChunk = kChunk / F;
  const int64_t chunks = limit / kChunk;
  uint32_t words[kChunk];
  for (int32_t y = 0; y < rows; ++y, s += srcStride, d += int64_t{F} * dstStride) {
    for (int64_t c = 0; c < chunks; ++c) {
      for (int k = 0; k < kPerChunk; ++k) {
        uint32_t w;
        std::memcpy(&w, s + 4 * (c * kPerChunk + k), 4);
        expandWord<F>(w, table, words + k * F);
      }
      uint8_t *out = d + 4 * kChunk * c;
      for (int r = 0; r < F; ++r, out += dstStride) std::memcpy(out, words, sizeof words);
    }
    const int64_t done = chunks * kChunk;
    if (done < limit) {
      const int64_t n = limit - done;
      for (int64_t k = 0; k * F < n; ++k) {
        uint32_t w;
        std::memcpy(&w, s + 4 * (chunks * kPerChunk + k), 4);
        expandWord<F>(w, table, words + k * F);
      }
      uint8_t *out = d + 4 * done;
      for (int r = 0; r < F; ++r, out += dstStride) storeFewWords(out, words, n);
    }
  }
}

template <int F>
void expandAnd(const void *src, int32_t srcStride, void *dst, int32_t dstStride, int32_t bits,
               int32_t rows, const Table<F> *table) {
  if (bits <= 0) return;
  const int64_t limit = (int64_t{F} * bits + 31) / 32;
  auto *s = static_cast<const uint8_t *>(src);
  auto *d = static_cast<uint8_t *>(dst);
  for (int32_t y = 0; y < rows; ++y, s += srcStride, d += int64_t{F} * dstStride)
    expandRow<F>(s, table, limit, [d, dstStride](int64_t i, uint32_t w) {
      for (int r = 0; r < F; ++r) {
        uint8_t *p = d + int64_t{r} * dstStride + 4 * i;
        uint32_t old;
        std::memcpy(&old, p, 4);
        storeWord(p, 0, old & w);
      }
    });
}

template <int F>
int32_t widen(const void *src, int32_t srcStride, void *dst, int32_t dstStride, int32_t width,
              int32_t rows, const Table<F> *table) {
  if (width <= 0) return 0;
  const int64_t limit = (int64_t{F} * width + 31) / 32;
  auto *s = static_cast<const uint8_t *>(src);
  auto *d = static_cast<uint8_t *>(dst);
  for (int32_t y = 0; y < rows; ++y, s += srcStride, d += dstStride)
    expandRow<F>(s, table, limit, [d](int64_t i, uint32_t w) { storeWord(d, i, w); });
  return 0;
}

}  // namespace

extern "C" {

void pxlExpandRows2x(PxlContext *, const void *src, int32_t srcStride, void *dst, int32_t dstStride,
                     int32_t bits, int32_t rows, const uint16_t *table) {
  expandStore<2>(src, srcStride, dst, dstStride, bits, rows, table);
}
void pxlExpandRows4x(PxlContext *, const void *src, int32_t srcStride, void *dst, int32_t dstStride,
                     int32_t bits, int32_t rows, const uint32_t *table) {
  expandStore<4>(src, srcStride, dst, dstStride, bits, rows, table);
}
void pxlExpandRows8x(PxlContext *, const void *src, int32_t srcStride, void *dst, int32_t dstStride,
                     int32_t bits, int32_t rows, const uint32_t *table) {
  expandStore<8>(src, srcStride, dst, dstStride, bits, rows, table);
}
void pxlExpandRows16x(PxlContext *, const void *src, int32_t srcStride, void *dst,
                      int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table) {
  expandStore<16>(src, srcStride, dst, dstStride, bits, rows, table);
}

void pxlExpandRows2xAnd(PxlContext *, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint16_t *table) {
  expandAnd<2>(src, srcStride, dst, dstStride, bits, rows, table);
}
void pxlExpandRows4xAnd(PxlContext *, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table) {
  expandAnd<4>(src, srcStride, dst, dstStride, bits, rows, table);
}
void pxlExpandRows8xAnd(PxlContext *, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table) {
  expandAnd<8>(src, srcStride, dst, dstStride, bits, rows, table);
}

int32_t pxlWidenRows2x(PxlContext *, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint16_t *table) {
  return widen<2>(src, srcStride, dst, dstStride, width, rows, table);
}
int32_t pxlWidenRows4x(PxlContext *, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table) {
  return widen<4>(src, srcStride, dst, dstStride, width, rows, table);
}
int32_t pxlWidenRows8x(PxlContext *, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table) {
  return widen<8>(src, srcStride, dst, dstStride, width, rows, table);
}
int32_t pxlWidenRows16x(PxlContext *, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table) {
  return widen<16>(src, srcStride, dst, dstStride, width, rows, table);
}

}  // extern "C"
