// The one row kernel behind every binary rank reduction, written once over the word type:
// uint32_t for the integer kernels; uint64_t and Quad (four 32-bit words in an SSE2 register)
// for the 8-byte-unit kernels.
//
// A "pixel word" holds the row's pixels first-pixel-in-the-top-bit. For 32-bit words that
// is the native word; an 8-byte unit is two native words, so its 64-bit load is rotated by
// 32 to bring the first word on top (and rotated back on store). The 8-byte-unit kernels
// make two destination units (four destination words) per step in the lanes of a Quad:
// the rows of 4f contiguous source words are combined, then the words are dealt out so that
// lane j of piece i holds source word f x j + i, the i-th word of destination word j's block.
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

#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "pxl_reduce.h"

namespace pxl::rank {

// Four 32-bit pixel words in the lanes of an SSE2 register.
struct Quad {
  __m128i v;
  Quad() = default;
  explicit Quad(__m128i x) : v(x) {}
  explicit Quad(uint32_t c) : v(_mm_set1_epi32(static_cast<int>(c))) {}
  friend Quad operator|(Quad a, Quad b) { return Quad(_mm_or_si128(a.v, b.v)); }
  friend Quad operator&(Quad a, Quad b) { return Quad(_mm_and_si128(a.v, b.v)); }
  friend Quad operator<<(Quad a, int n) { return Quad(_mm_slli_epi32(a.v, n)); }
  friend Quad operator>>(Quad a, int n) { return Quad(_mm_srli_epi32(a.v, n)); }
};

template <typename Word>
struct LaneOf {
  using type = Word;
};
template <>
struct LaneOf<Quad> {
  using type = uint32_t;
};
template <typename Word>
using Lane = typename LaneOf<Word>::type;

// A word as it lies in memory: native 32-bit words, so an 8-byte unit has its first word in
// the low half. Rows are combined (OR, AND) in this order, then brought to pixel order.
template <typename Word>
inline Word loadRaw(const uint8_t *p) {
  if constexpr (std::is_integral_v<Word>) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
  } else {
    return Word(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
  }
}

// First pixel in the top bit: an 8-byte unit swaps its two words.
template <typename Word>
inline Word pixelOrder(Word w) {
  if constexpr (sizeof(Word) == 8)
    return std::rotl(w, 32);
  else
    return w;
}

template <typename Word>
inline Word loadPixels(const uint8_t *p) {
  return pixelOrder(loadRaw<Word>(p));
}

template <typename Word>
inline void storePixels(uint8_t *p, Word w) {
  w = pixelOrder(w);  // the swap is its own inverse
  if constexpr (std::is_integral_v<Word>)
    std::memcpy(p, &w, sizeof w);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), w.v);
}

// 4 x 4 transpose of 32-bit lanes: a[k] lane j -> a[j] lane k.
inline void transpose(Quad &a0, Quad &a1, Quad &a2, Quad &a3) {
  const __m128i t0 = _mm_unpacklo_epi32(a0.v, a1.v), t1 = _mm_unpacklo_epi32(a2.v, a3.v);
  const __m128i t2 = _mm_unpackhi_epi32(a0.v, a1.v), t3 = _mm_unpackhi_epi32(a2.v, a3.v);
  a0 = Quad(_mm_unpacklo_epi64(t0, t1));
  a1 = Quad(_mm_unpackhi_epi64(t0, t1));
  a2 = Quad(_mm_unpacklo_epi64(t2, t3));
  a3 = Quad(_mm_unpackhi_epi64(t2, t3));
}

// v[k] holds source words 4k..4k+3 of 4F contiguous words; afterwards v[i] holds words
// i, F + i, 2F + i, 3F + i.
template <int F>
inline void dealOut(Quad (&v)[F]) {
  if constexpr (F == 2) {
    const __m128 a = _mm_castsi128_ps(v[0].v), b = _mm_castsi128_ps(v[1].v);
    v[0] = Quad(_mm_castps_si128(_mm_shuffle_ps(a, b, 0x88)));
    v[1] = Quad(_mm_castps_si128(_mm_shuffle_ps(a, b, 0xDD)));
  } else if constexpr (F == 4) {
    transpose(v[0], v[1], v[2], v[3]);
  } else {
    static_assert(F == 8);
    Quad even[4] = {v[0], v[2], v[4], v[6]}, odd[4] = {v[1], v[3], v[5], v[7]};
    transpose(even[0], even[1], even[2], even[3]);
    transpose(odd[0], odd[1], odd[2], odd[3]);
    for (int i = 0; i < 4; ++i) {
      v[i] = even[i];
      v[4 + i] = odd[i];
    }
  }
}

// `pattern` (of `width` bits) repeated over the whole lane.
template <typename L>
constexpr L repeat(L pattern, int width) {
  L w = 0;
  for (int i = 0; i < int(8 * sizeof(L)); i += width) w |= pattern << i;
  return w;
}

// Flags in the top bit of each F-bit group -> laneBits/F result bits, first group highest.
template <typename Word, int F>
inline Word compact(Word flags) {
  using L = Lane<Word>;
  constexpr int kBits = 8 * sizeof(L);
  Word x = (flags >> (F - 1)) & Word(repeat<L>(1, F));
  if constexpr (F < kBits) {
    // Merge neighbouring fields of `width` bits holding `k` results each.
    [&]<int... I>(std::integer_sequence<int, I...>) {
      ((x = (x | (x >> ((F << I) - (1 << I)))) &
            Word(repeat<L>((L(1) << (2 << I)) - 1, 2 * (F << I)))),
       ...);
    }
    (std::make_integer_sequence<int, std::countr_zero(unsigned(kBits / F))>{});
  }
  return x;
}

// Group flags: the top bit of each F-bit group becomes the OR (AND) of the group.
template <typename Word, int F, bool kAnd>
inline Word groupFlags(Word x) {
  for (int g = 1; g < F; g <<= 1) x = kAnd ? (x & (x << g)) : (x | (x << g));
  return x & Word(repeat<Lane<Word>>(Lane<Word>(1) << (F - 1), F));
}

// Column rule of the 2x2 threshold `Level`: O = A OR B, N = A AND B of the two rows; the
// pair (left, right) is at least Level set when, in the left pixel's bit:
// 1: O_l | O_r   2: (O_l & O_r) | N_l | N_r   3: (O_l & O_r) & (N_l | N_r)   4: N_l & N_r.
// A rule combines the rows of one raw word into kParts words, then makes the flags from
// those parts in pixel order.
template <int Level>
struct PairRule {
  static constexpr int kFactor = 2, kParts = 2;
  template <typename Word>
  std::array<Word, kParts> combine(const uint8_t *p, ptrdiff_t stride) const {
    const Word a = loadRaw<Word>(p), b = loadRaw<Word>(p + stride);
    return {a | b, a & b};
  }
  template <typename Word>
  Word flags(const std::array<Word, kParts> &part) const {
    const Word o = part[0], n = part[1];
    Word r;
    if constexpr (Level == 1)
      r = o | (o << 1);
    else if constexpr (Level == 2)
      r = (o & (o << 1)) | n | (n << 1);
    else if constexpr (Level == 3)
      r = (o & (o << 1)) & (n | (n << 1));
    else
      r = n & (n << 1);
    return r & Word(repeat<Lane<Word>>(2, 2));
  }
  template <typename Word>
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    auto part = combine<Word>(p, stride);
    for (Word &w : part) w = pixelOrder(w);
    return flags<Word>(part);
  }
};

// Column rule of an F x F OR (kAnd false) or AND block.
template <int F, bool kAnd>
struct BlockRule {
  static constexpr int kFactor = F, kParts = 1;
  template <typename Word>
  std::array<Word, kParts> combine(const uint8_t *p, ptrdiff_t stride) const {
    Word x = loadRaw<Word>(p);
    for (int r = 1; r < F; ++r) {
      const Word y = loadRaw<Word>(p + r * stride);
      x = kAnd ? (x & y) : (x | y);
    }
    return {x};
  }
  template <typename Word>
  Word flags(const std::array<Word, kParts> &part) const {
    return groupFlags<Word, F, kAnd>(part[0]);
  }
  template <typename Word>
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    return flags<Word>({pixelOrder(combine<Word>(p, stride)[0])});
  }
};

// A column function of the integer 8x and 16x kernels, as a rule of 32-bit words.
struct ColumnFunction {
  PxlRankColumnFn fn;
  template <typename Word>
  Word operator()(const uint8_t *p, ptrdiff_t stride) const {
    static_assert(std::is_same_v<Word, uint32_t>);
    return fn(p, static_cast<int32_t>(stride));
  }
};

// The destination word of the full block at `src`, its f pieces unrolled into independent
// chains.
template <typename Word, int F, typename Rule>
inline Word fullBlock(const uint8_t *src, ptrdiff_t stride, const Rule &rule) {
  constexpr int kBytes = sizeof(Word), kBits = 8 * kBytes, kPiece = kBits / F;
  return [&]<int... I>(std::integer_sequence<int, I...>) {
    return (... | (compact<Word, F>(rule.template operator()<Word>(src + I * kBytes, stride))
                   << (kBits - (I + 1) * kPiece)));
  }
  (std::make_integer_sequence<int, F>{});
}

// The parts of piece I.
template <int I, int kParts, int F>
inline auto pieceOf(const Quad (&part)[kParts][F]) {
  return [&]<int... J>(std::integer_sequence<int, J...>) {
    return std::array<Quad, kParts>{part[J][I]...};
  }
  (std::make_integer_sequence<int, kParts>{});
}

// Four destination words (two units) from the 4F source words at `src`.
template <int F, typename Rule>
inline Quad fourBlocks(const uint8_t *src, ptrdiff_t stride, const Rule &rule) {
  constexpr int kPiece = 32 / F;
  Quad part[Rule::kParts][F];
  for (int k = 0; k < F; ++k) {
    const auto combined = rule.template combine<Quad>(src + 16 * k, stride);
    for (int j = 0; j < Rule::kParts; ++j) part[j][k] = combined[j];
  }
  for (auto &p : part) dealOut<F>(p);
  return [&]<int... I>(std::integer_sequence<int, I...>) {
    return (... | (compact<Quad, F>(rule.template flags<Quad>(pieceOf<I>(part)))
                   << (32 - (I + 1) * kPiece)));
  }
  (std::make_integer_sequence<int, F>{});
}

// One destination row. Offsets are in bytes; see pxl_reduce.h for their definitions.
template <typename Word, int F, typename Rule>
inline void reduceRow(const uint8_t *band, ptrdiff_t stride, uint8_t *dst, ptrdiff_t lastDst,
                      ptrdiff_t firstSrcOfLast, ptrdiff_t lastSrc, Word lastMask,
                      const Rule &rule) {
  constexpr ptrdiff_t kBytes = sizeof(Word);
  constexpr int kBits = 8 * kBytes, kPiece = kBits / F;
  const uint8_t *src = band;
  ptrdiff_t d = 0;
  if constexpr (sizeof(Word) == 8)
    for (; d + 8 < lastDst; d += 16, src += 16 * F)
      storePixels(dst + d, fourBlocks<F>(src, stride, rule));
  for (; d < lastDst; d += kBytes, src += F * kBytes)
    storePixels(dst + d, fullBlock<Word, F>(src, stride, rule));
  const int n = int((lastSrc - firstSrcOfLast) / kBytes) + 1;
  src = band + firstSrcOfLast;
  Word w = 0;
  for (int i = 0; i < n; ++i) {
    Word flags = rule.template operator()<Word>(src + i * kBytes, stride);
    if (i == n - 1) flags &= lastMask;
    w |= compact<Word, F>(flags) << (kBits - (i + 1) * kPiece);
  }
  storePixels(dst + lastDst, w);
}

// The 8-byte-unit kernel of a rule: the last unit read is masked to the bytes that hold
// used pixels (pxlLeadingByteMasks entry ((W + 8 - f) / 8) mod 8).
template <typename Rule>
inline void reduceUnitRow(const void *band, int32_t srcWidth, int32_t srcStride, void *dst,
                          int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  constexpr int f = Rule::kFactor;
  const int k = ((srcWidth + 8 - f) / 8) % 8;
  const auto mask = loadPixels<uint64_t>(reinterpret_cast<const uint8_t *>(pxlLeadingByteMasks[k]));
  reduceRow<uint64_t, f>(static_cast<const uint8_t *>(band), srcStride, static_cast<uint8_t *>(dst),
                         lastDst, firstSrcOfLast, lastSrc, mask, Rule{});
}

// The integer kernel of a rule (no mask: bits past the used width may reach destination
// pixels past the row's width, which the drivers clear).
template <int F, typename Rule>
inline void reduceWordRow(const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                          int32_t firstSrcOfLast, int32_t lastSrc, const Rule &rule) {
  reduceRow<uint32_t, F>(static_cast<const uint8_t *>(band), srcStride, static_cast<uint8_t *>(dst),
                         lastDst, firstSrcOfLast, lastSrc, ~uint32_t{0}, rule);
}

}  // namespace pxl::rank

#endif
