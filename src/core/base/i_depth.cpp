// Depth widening row workers, replication tables and the interpolation tables of the 4-bit
// expansions.
//
// Widening is table-driven, one lookup per source byte: 4 -> 8 bits through the depth-4
// factor-2 replication table (a byte of two pixels gives one 16-bit unit), 1 -> 8 and
// 1 -> 16 bits through constant tables that give two or four output words per source byte.
// Whole output words are stored; the row's last word is masked so that pixels past the
// row's end come out 0 in either polarity, and no word past it is written.
#include <array>
#include <cstring>

#include "pxl_depth.h"
#include "pxl_internal.h"

namespace {

constexpr int32_t kFrame = 32;

constexpr uint32_t leftMask(int32_t n) {
  return n >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> n);
}

// Mask of the bits of a row's last word that belong to a row of `bits` bits.
constexpr uint32_t lastWordMask(int64_t bits) {
  return leftMask(static_cast<int32_t>((bits - 1) % 32) + 1);
}

// Byte b with each of its pixels repeated `factor` times (8 * factor bits, first pixel in
// the most significant bits) as four 32-bit words, word 0 holding the lowest bits. Each
// pixel's block of depth * factor bits is its value times a 1 every depth bits.
constexpr std::array<uint32_t, 4> replicateByte(uint32_t b, int32_t depth, int32_t factor) {
  unsigned __int128 unit = 0;
  for (int32_t r = 0; r < factor; ++r) unit = (unit << depth) | 1u;
  const int32_t pixels = 8 / depth, block = depth * factor;
  const uint32_t max = (1u << depth) - 1u;
  unsigned __int128 bits = 0;
  for (int32_t p = pixels - 1; p >= 0; --p) {
    const unsigned __int128 chunk = unit * ((b >> (p * depth)) & max);
    bits = pixels == 1 ? chunk : (bits << block) | chunk;  // a 128-bit block is the whole byte
  }
  return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32),
          static_cast<uint32_t>(bits >> 64), static_cast<uint32_t>(bits >> 96)};
}

// The replication tables of one factor for depths 1, 2, 4 and 8, made at compile time:
// block k of a table holds word k of every byte's replication.
template <typename Entry, int kFactor, int kBlocks>
constexpr auto replicateTables() {
  std::array<std::array<Entry, 256 * kBlocks>, 4> t{};
  for (int32_t shift = 0; shift < 4; ++shift)
    for (uint32_t b = 0; b < 256; ++b) {
      const auto words = replicateByte(b, 1 << shift, kFactor);
      for (int32_t k = 0; k < kBlocks; ++k) t[shift][256 * k + b] = static_cast<Entry>(words[k]);
    }
  return t;
}
constexpr auto kReplicate2 = replicateTables<uint16_t, 2, 1>();
constexpr auto kReplicate4 = replicateTables<uint32_t, 4, 1>();
constexpr auto kReplicate8 = replicateTables<uint32_t, 8, 2>();
constexpr auto kReplicate16 = replicateTables<uint32_t, 16, 4>();

// Allocates (zero-filled) or clears a table and fills it from the constant tables for the
// depth, so that a build costs a block copy.
template <typename Entry, size_t kEntries>
int32_t buildReplicate(PxlContext *ctx, int32_t depth,
                       const std::array<std::array<Entry, kEntries>, 4> &tables, Entry **table) {
  const int32_t shift = depth == 1 ? 0 : depth == 2 ? 1 : depth == 4 ? 2 : depth == 8 ? 3 : -1;
  if (shift < 0) {
    pxl::freeRecord(ctx, *table);
    *table = nullptr;
    return PXL_ERR_DEPTH;
  }
  if (*table != nullptr)
    std::memset(*table, 0, kEntries * sizeof(Entry));
  else if ((*table = static_cast<Entry *>(pxl::allocRecordZeroed(ctx, kEntries, sizeof(Entry)))) ==
           nullptr)
    return PXL_ERR_NO_MEMORY;
  std::memcpy(*table, tables[shift].data(), kEntries * sizeof(Entry));
  return PXL_OK;
}

// Constant 1-bit widening tables, [polarity][byte]: the eight pixels of the source byte as
// 8-bit (two words) or 16-bit (four words) pixels, the first in the high bits of word 0.
template <int kWords>
constexpr std::array<std::array<std::array<uint32_t, kWords>, 256>, 2> widenTables() {
  constexpr int kPixelBits = 32 * kWords / 8;
  constexpr uint32_t kOn = kPixelBits == 8 ? 0xFFu : 0xFFFFu;
  std::array<std::array<std::array<uint32_t, kWords>, 256>, 2> t{};
  for (int inverted = 0; inverted < 2; ++inverted)
    for (int b = 0; b < 256; ++b)
      for (int p = 0; p < 8; ++p) {
        const bool set = ((b >> (7 - p)) & 1) != inverted;
        const int bit = p * kPixelBits;
        if (set) t[inverted][b][bit / 32] |= kOn << (32 - kPixelBits - bit % 32);
      }
  return t;
}
constexpr auto kWiden8 = widenTables<2>();
constexpr auto kWiden16 = widenTables<4>();

// Rows of a 1-bit content widened to 8 or 16 bits: kWords output words per source byte.
template <int kWords>
void widenRows1(const uint8_t *src, int32_t fullWidth, int32_t fullHeight, int32_t srcStride,
                uint8_t *dst, int32_t dstStride, int32_t polarity,
                const std::array<std::array<std::array<uint32_t, kWords>, 256>, 2> &table) {
  const int32_t n = fullWidth - 2 * kFrame;
  const int32_t pixelBits = 32 * kWords / 8;
  const int64_t outWords = (int64_t{n} * pixelBits + 31) / 32;
  const uint32_t keep = lastWordMask(int64_t{n} * pixelBits);
  const auto &t = table[polarity == 1 ? 1 : 0];
  for (int32_t r = 0; r < fullHeight - 2 * kFrame; ++r) {
    const auto *in = reinterpret_cast<const uint32_t *>(src + int64_t{kFrame + r} * srcStride + 4);
    auto *out = reinterpret_cast<uint32_t *>(dst + int64_t{kFrame + r} * dstStride +
                                             int64_t{kFrame} * pixelBits / 8);
    for (int64_t o = 0; o < outWords; o += kWords) {
      const int64_t byte = o / kWords;
      const uint32_t b = (in[byte >> 2] >> (24 - 8 * (byte & 3))) & 255;
      for (int k = 0; k < kWords && o + k < outWords; ++k)
        out[o + k] = o + k == outWords - 1 ? t[b][k] & keep : t[b][k];
    }
  }
}

// Fills a missing interpolation table; entry(hi, lo) gives each entry.
template <typename Entry>
int32_t buildInterp(PxlContext *ctx, uint32_t **table, int32_t depth, Entry entry) {
  if (depth == 8 || *table != nullptr) return PXL_OK;
  *table = static_cast<uint32_t *>(pxl::allocRecordZeroed(ctx, 256, 4));
  if (*table == nullptr) return PXL_ERR_NO_MEMORY;
  for (uint32_t b = 0; b < 256; ++b) (*table)[b] = entry(b >> 4, b & 15);
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlConvertRows4To8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                           int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                           int32_t dstBytesPerRow, const uint16_t *table) {
  const int32_t n = fullWidth - 2 * kFrame;
  if (n <= 0) return PXL_OK;
  uint16_t *own = nullptr;
  if (table == nullptr) {
    const int32_t status = pxlBuildReplicate2Table(ctx, 4, &own);
    if (status != 0) return status;
    table = own;
  }
  const int64_t outWords = (int64_t{n} + 3) / 4;
  const uint32_t keep = lastWordMask(int64_t{n} * 8);
  for (int32_t r = 0; r < fullHeight - 2 * kFrame; ++r) {
    const auto *in =
        reinterpret_cast<const uint32_t *>(src + int64_t{kFrame + r} * srcBytesPerRow + 16);
    auto *out = reinterpret_cast<uint32_t *>(dst + int64_t{kFrame + r} * dstBytesPerRow + 32);
    for (int64_t o = 0; o < outWords; ++o) {
      // Output word o holds source bytes 2o and 2o + 1, the halves of source word o / 2.
      const uint32_t w = in[o >> 1] >> ((o & 1) ? 0 : 16);
      const uint32_t v = uint32_t{table[(w >> 8) & 255]} << 16 | table[w & 255];
      out[o] = o == outWords - 1 ? v & keep : v;
    }
  }
  pxl::freeRecord(ctx, own);
  return PXL_OK;
}

int32_t pxlConvertRows1To8(PxlContext *, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                           int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow,
                           int32_t polarity) {
  if (fullWidth - 2 * kFrame <= 0) return PXL_OK;
  widenRows1<2>(src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, polarity, kWiden8);
  return PXL_OK;
}

int32_t pxlConvertRows1To16(PxlContext *, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                            int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow,
                            int32_t polarity) {
  if (fullWidth - 2 * kFrame <= 0) return PXL_OK;
  widenRows1<4>(src, fullWidth, fullHeight, srcBytesPerRow, dst, dstBytesPerRow, polarity,
                kWiden16);
  return PXL_OK;
}

int32_t pxlBuildReplicate2Table(PxlContext *ctx, int32_t depth, uint16_t **table) {
  return buildReplicate(ctx, depth, kReplicate2, table);
}
int32_t pxlBuildReplicate4Table(PxlContext *ctx, int32_t depth, uint32_t **table) {
  return buildReplicate(ctx, depth, kReplicate4, table);
}
int32_t pxlBuildReplicate8Table(PxlContext *ctx, int32_t depth, uint32_t **table) {
  return buildReplicate(ctx, depth, kReplicate8, table);
}
int32_t pxlBuildReplicate16Table(PxlContext *ctx, int32_t depth, uint32_t **table) {
  return buildReplicate(ctx, depth, kReplicate16, table);
}

int32_t pxlBuildInterp12Table(PxlContext *ctx, uint32_t **table, int32_t depth) {
  return buildInterp(ctx, table, depth, [](uint32_t hi, uint32_t lo) {
    return hi << 12 | ((hi + lo + 1) >> 1) << 8 | lo << 4;
  });
}
int32_t pxlBuildInterp23Table(PxlContext *ctx, uint32_t **table, int32_t depth) {
  return buildInterp(ctx, table, depth,
                     [](uint32_t hi, uint32_t lo) { return hi << 8 | ((hi + lo) >> 1) << 4 | lo; });
}

}  // extern "C"
