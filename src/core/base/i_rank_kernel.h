// The one row kernel behind every binary rank reduction, written once over the word type:
// uint32_t for the integer kernels, uint64_t for the 8-byte-unit kernels.
//
// A "pixel word" holds the row's pixels first-pixel-in-the-top-bit. For 32-bit words that
// is the native word; an 8-byte unit is two native words, so its 64-bit load is rotated by
// 32 to bring the first word on top (and rotated back on store).
//
// One destination word comes from f consecutive source words of each of the f band rows.
// A column rule combines the f rows of one source word and leaves one flag per f-pixel group
// in the group's top bit; compaction squeezes those flags into bits/f contiguous result
// bits with a shift-and-mask ladder, first group highest. The f compacted pieces of a block,
// first source word highest, make the destination word. The last block reads only the
// words up to the one that holds the last used pixel (the rest count as 0) and masks the
// last word it reads.
#ifndef PXL_I_RANK_KERNEL_H
#define PXL_I_RANK_KERNEL_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "pxl_reduce.h"

namespace pxl::rank {

template <typename Word>
inline Word loadPixels(const uint8_t *p) {
  Word w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (sizeof(Word) == 8) w = std::rotl(w, 32);
  return w;
}

template <typename Word>
inline void storePixels(uint8_t *p, Word w) {
  if constexpr (sizeof(Word) == 8) w = std::rotl(w, 32);
  std::memcpy(p, &w, sizeof w);
}

// `pattern` (of `width` bits) repeated over the whole word.
template <typename Word>
constexpr Word repeat(Word pattern, int width) {
  Word w = 0;
  for (int i = 0; i < int(8 * sizeof(Word)); i += width) w |= pattern << i;
  return w;
}

// Flags in the top bit of each F-bit group -> bits/F result bits, first group highest.
template <typename Word, int F>
inline Word compact(Word flags) {
  constexpr int kBits = 8 * sizeof(Word);
  Word x = (flags >> (F - 1)) & repeat<Word>(1, F);
  if constexpr (F < kBits) {
    // Merge neighbouring fields of `width` bits holding `k` results each.
    [&]<int... I>(std::integer_sequence<int, I...>) {
      ((x = (x | (x >> ((F << I) - (1 << I)))) &
            repeat<Word>((Word(1) << (2 << I)) - 1, 2 * (F << I))),
       ...);
    }(std::make_integer_sequence<int, std::countr_zero(unsigned(kBits / F))>{});
  }
  return x;
}

// Group flags: the top bit of each F-bit group becomes the OR (AND) of the group.
template <typename Word, int F, bool kAnd>
inline Word groupFlags(Word x) {
  for (int g = 1; g < F; g <<= 1) x = kAnd ? (x & (x << g)) : (x | (x << g));
  return x & repeat<Word>(Word(1) << (F - 1), F);
}

// Column rule of the 2x2 threshold `Level`: O = A OR B, N = A AND B of the two rows; the
// pair (left, right) is at least Level set when, in the left pixel's bit:
// 1: O_l | O_r   2: (O_l & O_r) | N_l | N_r   3: (O_l & O_r) & (N_l | N_r)   4: N_l & N_r.
template <int Level>
struct PairRule {
  static constexpr int kFactor = 2;
  template <typename Word>
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    Word a = loadPixels<Word>(p), b = loadPixels<Word>(p + stride);
    Word o = a | b, n = a & b, r;
    if constexpr (Level == 1) r = o | (o << 1);
    else if constexpr (Level == 2) r = (o & (o << 1)) | n | (n << 1);
    else if constexpr (Level == 3) r = (o & (o << 1)) & (n | (n << 1));
    else r = n & (n << 1);
    return r & repeat<Word>(2, 2);
  }
};

// Column rule of an F x F OR (kAnd false) or AND block.
template <int F, bool kAnd>
struct BlockRule {
  static constexpr int kFactor = F;
  template <typename Word>
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    Word x = loadPixels<Word>(p);
    for (int r = 1; r < F; ++r) {
      Word y = loadPixels<Word>(p + r * stride);
      x = kAnd ? (x & y) : (x | y);
    }
    return groupFlags<Word, F, kAnd>(x);
  }
};

// One destination row. Offsets are in bytes; see pxl_reduce.h for their definitions.
// `column(p, stride)` gives the flags of the source word at p.
template <typename Word, int F, typename Column>
inline void reduceRow(const uint8_t *band, ptrdiff_t stride, uint8_t *dst, ptrdiff_t lastDst,
                      ptrdiff_t firstSrcOfLast, ptrdiff_t lastSrc, Word lastMask,
                      Column column) {
  constexpr ptrdiff_t kBytes = sizeof(Word);
  constexpr int kBits = 8 * kBytes, kPiece = kBits / F;
  auto piece = [&](const uint8_t *p, int i) -> Word {
    return compact<Word, F>(column(p, stride)) << (kBits - (i + 1) * kPiece);
  };
  const uint8_t *src = band;
  for (ptrdiff_t d = 0; d < lastDst; d += kBytes, src += F * kBytes) {
    Word w = 0;
    for (int i = 0; i < F; ++i) w |= piece(src + i * kBytes, i);
    storePixels(dst + d, w);
  }
  const int n = int((lastSrc - firstSrcOfLast) / kBytes) + 1;
  src = band + firstSrcOfLast;
  Word w = 0;
  for (int i = 0; i < n - 1; ++i) w |= piece(src + i * kBytes, i);
  w |= compact<Word, F>(column(src + (n - 1) * kBytes, stride) & lastMask)
       << (kBits - n * kPiece);
  storePixels(dst + lastDst, w);
}

// Adapts a column rule to the word type of one instantiation.
template <typename Word, typename Rule>
struct ColumnOf {
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    return Rule{}.template operator()<Word>(p, stride);
  }
};

// The 8-byte-unit kernel of a rule: the last unit read is masked to the bytes that hold
// used pixels (pxlLeadingByteMasks entry ((W + 8 - f) / 8) mod 8).
template <typename Rule>
inline void reduceUnitRow(const void *band, int32_t srcWidth, int32_t srcStride, void *dst,
                          int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  constexpr int f = Rule::kFactor;
  const int k = ((srcWidth + 8 - f) / 8) % 8;
  const auto mask = loadPixels<uint64_t>(reinterpret_cast<const uint8_t *>(pxlLeadingByteMasks[k]));
  reduceRow<uint64_t, f>(static_cast<const uint8_t *>(band), srcStride,
                         static_cast<uint8_t *>(dst), lastDst, firstSrcOfLast, lastSrc, mask,
                         ColumnOf<uint64_t, Rule>{});
}

// The integer kernel of a rule (no mask: bits past the used width may reach destination
// pixels past the row's width, which the drivers clear).
template <typename Rule>
inline void reduceWordRow(const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                          int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceRow<uint32_t, Rule::kFactor>(static_cast<const uint8_t *>(band), srcStride,
                                     static_cast<uint8_t *>(dst), lastDst, firstSrcOfLast,
                                     lastSrc, ~uint32_t{0}, ColumnOf<uint32_t, Rule>{});
}

}  // namespace pxl::rank

#endif
