// Row feeding of the JPEG encoder: the row buffer sets of a compressor, the nibble expansion
// table and the feeders that turn one strip of the caller's channels into the interleaved
// rows the library reads (layouts in pxl_jpeg.h). The channel interleavers take sixteen
// pixels of each channel per byte shuffle where the processor has them, else four per 32-bit
// word; only the last width mod 4 pixels go one by one.
#include <immintrin.h>

#include <cstring>

#include "iw_cjpeg.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "iw_cjpeg";

int32_t setCount(int32_t layout) {
  return layout == PXL_JPEG_LAYOUT_PLANAR || layout == PXL_JPEG_LAYOUT_PLANAR_SWAPPED ? 3 : 1;
}

int64_t copyBytes(const PxlJpegCompressor *c) {
  return (int64_t{3} * c->jcx.cinfo.image_width + 3) & ~int64_t{3};
}

uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void store32(uint8_t *p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

// Interleaves three channels into R G B triplets from pixel `first` (a multiple of 4) on.
// Each channel word holds four pixels with the first in its most significant byte: the
// core's word order read as a little-endian word, or plain byte order once its bytes are
// reversed.
template <bool kPlain>
void interleaveWords(const uint8_t *c0, const uint8_t *c1, const uint8_t *c2, uint8_t *out,
                     int32_t first, int32_t width) {
  const int32_t words = width / 4;
  for (int32_t i = first / 4; i < words; ++i) {
    uint32_t r = load32(c0 + 4 * i), g = load32(c1 + 4 * i), b = load32(c2 + 4 * i);
    if (kPlain) {
      r = __builtin_bswap32(r);
      g = __builtin_bswap32(g);
      b = __builtin_bswap32(b);
    }
    uint8_t *o = out + 12 * i;
    store32(o, (r >> 24) | ((g >> 24) << 8) | ((b >> 24) << 16) | (((r >> 16) & 0xFF) << 24));
    store32(o + 4, ((g >> 16) & 0xFF) | (((b >> 16) & 0xFF) << 8) | (((r >> 8) & 0xFF) << 16) |
                       (((g >> 8) & 0xFF) << 24));
    store32(o + 8, ((b >> 8) & 0xFF) | ((r & 0xFF) << 8) | ((g & 0xFF) << 16) | ((b & 0xFF) << 24));
  }
  for (int32_t x = words * 4 > first ? words * 4 : first; x < width; ++x) {
    const int32_t at = kPlain ? x : x ^ 3;
    out[3 * x] = c0[at];
    out[3 * x + 1] = c1[at];
    out[3 * x + 2] = c2[at];
  }
}

// Byte-shuffle masks of 16 pixels: output block j (bytes 16 j to 16 j + 15 of the 48) takes
// from channel k the byte of pixel (16 j + i) / 3 where (16 j + i) mod 3 is k; the other lanes
// are zero. In the core's word order pixel p of the 16 loaded bytes is byte p XOR 3.
struct ShuffleMasks {
  alignas(16) uint8_t bytes[3][3][16];
};
constexpr ShuffleMasks makeMasks(bool plain) {
  ShuffleMasks m{};
  for (int j = 0; j < 3; ++j)
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 16; ++i) {
        const int at = 16 * j + i, pixel = at / 3;
        m.bytes[j][k][i] = at % 3 == k ? static_cast<uint8_t>(plain ? pixel : pixel ^ 3) : 0x80;
      }
  return m;
}
constexpr ShuffleMasks kPlainMasks = makeMasks(true);
constexpr ShuffleMasks kSwappedMasks = makeMasks(false);

// Sixteen pixels per step with byte shuffles; the rest word by word.
template <bool kPlain>
__attribute__((target("ssse3"))) void interleaveShuffled(const uint8_t *c0, const uint8_t *c1,
                                                         const uint8_t *c2, uint8_t *out,
                                                         int32_t width) {
  const ShuffleMasks &m = kPlain ? kPlainMasks : kSwappedMasks;
  __m128i mask[3][3];
  for (int j = 0; j < 3; ++j)
    for (int k = 0; k < 3; ++k)
      mask[j][k] = _mm_load_si128(reinterpret_cast<const __m128i *>(m.bytes[j][k]));
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c0 + x));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c1 + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c2 + x));
    for (int j = 0; j < 3; ++j) {
      const __m128i v = _mm_or_si128(
          _mm_or_si128(_mm_shuffle_epi8(r, mask[j][0]), _mm_shuffle_epi8(g, mask[j][1])),
          _mm_shuffle_epi8(b, mask[j][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * x + 16 * j), v);
    }
  }
  interleaveWords<kPlain>(c0, c1, c2, out, x, width);
}

template <bool kPlain>
void interleave(const uint8_t *c0, const uint8_t *c1, const uint8_t *c2, uint8_t *out,
                int32_t width) {
  static const bool shuffles = __builtin_cpu_supports("ssse3");
  if (shuffles)
    interleaveShuffled<kPlain>(c0, c1, c2, out, width);
  else
    interleaveWords<kPlain>(c0, c1, c2, out, 0, width);
}

int32_t stripRows(PxlJpegCompressor *c) {
  int32_t rows = 0;
  jcx_strip_rows(nullptr, &c->jcx, &rows);
  return rows;
}

int32_t pollStrip(PxlContext *ctx) {
  const int32_t answer = pxlPollProgress(ctx);
  return answer != 0 ? PXL_FAIL(ctx, kUnit, answer) : 0;
}

template <bool kPlain>
int32_t feedPlanar(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  if (const int32_t s = pollStrip(ctx); s != 0) return s;
  const int32_t n = stripRows(c);
  const auto width = static_cast<int32_t>(c->jcx.cinfo.image_width);
  for (int32_t y = 0; y < n; ++y)
    interleave<kPlain>(channels[0][y], channels[1][y], channels[2][y], c->rowSets[0][y], width);
  return PXL_OK;
}

template <bool kSwapped>
int32_t feedNibbles(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  const int32_t n = stripRows(c);
  const int32_t bytes = static_cast<int32_t>((int64_t{c->jcx.cinfo.image_width} + 1) / 2);
  for (int32_t y = 0; y < n; ++y) {
    if (const int32_t s = pollStrip(ctx); s != 0) return s;
    const uint8_t *src = channels[0][y];
    uint8_t *dst = c->rowSets[0][y];
    for (int32_t i = 0; i < bytes; ++i)
      std::memcpy(dst + 2 * i, &c->nibbleTable[src[kSwapped ? i ^ 3 : i]], 2);
  }
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlFeedJpegRowsDirect(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  if (const int32_t s = pollStrip(ctx); s != 0) return s;
  const int32_t n = stripRows(c);
  for (int32_t y = 0; y < n; ++y) c->rowSets[0][y] = channels[0][y];
  return PXL_OK;
}

int32_t pxlFeedJpegRowsPlanar(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  return feedPlanar<true>(ctx, c, channels);
}

int32_t pxlFeedJpegRowsPlanarSwapped(PxlContext *ctx, PxlJpegCompressor *c,
                                     PxlJpegRowSet *channels) {
  return feedPlanar<false>(ctx, c, channels);
}

int32_t pxlFeedJpegRowsSwapped(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  if (const int32_t s = pollStrip(ctx); s != 0) return s;
  const int32_t n = stripRows(c);
  const auto width = static_cast<int32_t>(c->jcx.cinfo.image_width);
  const int32_t words = width / 4;
  for (int32_t y = 0; y < n; ++y) {
    const uint8_t *src = channels[0][y];
    uint8_t *dst = c->rowSets[0][y];
    c->wordReverse(ctx, reinterpret_cast<const uint32_t *>(src), reinterpret_cast<uint32_t *>(dst),
                   words);
    for (int32_t x = words * 4; x < width; ++x) dst[x] = src[x ^ 3];
  }
  return PXL_OK;
}

int32_t pxlFeedJpegRowsNibble(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  return feedNibbles<false>(ctx, c, channels);
}

int32_t pxlFeedJpegRowsNibbleSwapped(PxlContext *ctx, PxlJpegCompressor *c,
                                     PxlJpegRowSet *channels) {
  return feedNibbles<true>(ctx, c, channels);
}

int32_t pxlBuildNibbleExpandTable(PxlContext *ctx, uint16_t **table) {
  if (table == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*table == nullptr) {
    *table = static_cast<uint16_t *>(pxl::allocRecordZeroed(ctx, 256, sizeof(uint16_t)));
    if (*table == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  for (int n = 0; n < 256; ++n) {
    const uint8_t pair[2] = {static_cast<uint8_t>((n >> 4) * 17),
                             static_cast<uint8_t>((n & 15) * 17)};
    std::memcpy(&(*table)[n], pair, 2);
  }
  return PXL_OK;
}

int32_t pxlAllocJpegRowBuffers(PxlContext *ctx, PxlJpegCompressor *c, int32_t copyFlag,
                               PxlJpegRowSet **sets) {
  if (c == nullptr || sets == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*sets != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  int32_t rows = 0;
  pxlGetJpegStripRows(ctx, c, &rows);
  const int32_t count = setCount(c->layout);
  const int64_t bytes = copyBytes(c);
  auto *made =
      static_cast<PxlJpegRowSet *>(pxl::allocRecordZeroed(ctx, count, sizeof(PxlJpegRowSet)));
  bool failed = made == nullptr || rows <= 0;
  for (int32_t s = 0; !failed && s < count; ++s) {
    made[s] = static_cast<PxlJpegRowSet>(pxl::allocRecordZeroed(ctx, rows, sizeof(uint8_t *)));
    failed = made[s] == nullptr;
    for (int32_t y = 0; !failed && copyFlag != 0 && y < rows; ++y) {
      made[s][y] =
          static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, 1, static_cast<size_t>(bytes)));
      failed = made[s][y] == nullptr;
    }
  }
  if (failed) {
    // Whatever was obtained before the failure goes back (the arrays are zeroed, so the
    // release stops at the first missing block).
    if (made != nullptr) pxlFreeJpegRowBuffers(ctx, c, copyFlag, made);
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  *sets = made;
  return PXL_OK;
}

int32_t pxlFreeJpegRowBuffers(PxlContext *ctx, PxlJpegCompressor *c, int32_t copyFlag,
                              PxlJpegRowSet *sets) {
  if (c == nullptr || sets == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  int32_t rows = 0;
  pxlGetJpegStripRows(ctx, c, &rows);
  for (int32_t s = 0; s < setCount(c->layout); ++s) {
    if (sets[s] == nullptr) continue;
    if (copyFlag != 0)
      for (int32_t y = 0; y < rows; ++y) pxl::freeRecord(ctx, sets[s][y]);
    pxl::freeRecord(ctx, sets[s]);
  }
  pxl::freeRecord(ctx, sets);
  return PXL_OK;
}

}  // extern "C"
