// Word kernels of the general rasterop: for each of the sixteen Boolean functions f(S, D) a
// constant-source, a shifted-source and an aligned-source loop, each walking a row plan
// (rows top down, words left to right).
//
// Every row writes the first destination word through the first mask, the whole words, and
// the last partial word through the last mask; nothing outside the rectangle changes. Whole
// words are processed four at a time as 128-bit vectors of 32-bit lanes (SSE2 on x86-64):
// lanes are the buffer's own native words, so the vector loops compute exactly what the word
// loop would, and a row's source words are read before any of its destination words that
// follow them are written, which keeps moves to lower addresses safe in place.
//
// The shifted loop never reads a source word beyond the last one that holds bits of the row.
// The aligned copy moves a row's whole words as one block move (overlap-safe within the row)
// and has four fixed kernels for rows of at most three words. When both buffers have the same
// stride, the rows are nearly contiguous (at most four words between them) and the two
// blocks do not overlap, it moves bands of 64 rows in one piece instead and puts back the
// destination words outside the rectangle.
#include <algorithm>
#include <cstring>

#include "pxl_internal.h"
#include "rast_plan.h"

namespace {

using Word = uint32_t;
using Vec = Word __attribute__((vector_size(16)));  // four native words
constexpr int64_t kLanes = 4;

inline Vec loadVec(const Word *p) {
  Vec v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void storeVec(Word *p, Vec v) {
  std::memcpy(p, &v, sizeof v);
}

// f(S, D) of function code kFn (twice the truth table over S = 1100b, D = 1010b), for single
// words and for vectors alike.
template <int kFn, class W>
inline W combine(W s, W d) {
  if constexpr (kFn == 0)
    return W{};
  else if constexpr (kFn == 2)
    return ~(s | d);
  else if constexpr (kFn == 4)
    return d & ~s;
  else if constexpr (kFn == 6)
    return ~s;
  else if constexpr (kFn == 8)
    return s & ~d;
  else if constexpr (kFn == 10)
    return ~d;
  else if constexpr (kFn == 12)
    return s ^ d;
  else if constexpr (kFn == 14)
    return ~(s & d);
  else if constexpr (kFn == 16)
    return s & d;
  else if constexpr (kFn == 18)
    return ~(s ^ d);
  else if constexpr (kFn == 22)
    return ~s | d;
  else if constexpr (kFn == 24)
    return s;
  else if constexpr (kFn == 26)
    return s | ~d;
  else if constexpr (kFn == 28)
    return s | d;
  else {
    static_assert(kFn == 30);
    return ~W{};
  }
}

// d with the bits of mask replaced by those of r.
inline Word merge(Word d, Word r, Word mask) {
  return d ^ ((d ^ r) & mask);
}

// Source word providers for one row. first(): S for the first destination word; word(k) and
// vec(k): S for whole word k (0-based, after the first word) and for whole words k..k+3;
// last(): S for the last partial word.
struct ConstantSource {
  Word c;
  void nextRow(ptrdiff_t) {}
  Word first() const { return c; }
  Word word(int64_t) const { return c; }
  Vec vec(int64_t) const { return Vec{} + c; }
  Word last() const { return c; }
};

struct AlignedSource {
  const Word *s;
  int64_t full;
  void nextRow(ptrdiff_t stride) {
    s = reinterpret_cast<const Word *>(reinterpret_cast<const char *>(s) + stride);
  }
  Word first() const { return s[0]; }
  Word word(int64_t k) const { return s[1 + k]; }
  Vec vec(int64_t k) const { return loadVec(s + 1 + k); }
  Word last() const { return s[1 + full]; }
};

// Destination words assembled from pairs of source words. When the destination starts
// further left in its word than the source (d > e) the first word already takes two source
// words and the position moves on by one; otherwise (d < e) the first word is the first source
// word shifted right and the position stays. base points at the current source word for
// whole word 0; whole word k is (base[k] << left) | (base[k + 1] >> right).
struct ShiftedSource {
  const Word *s;
  int left;        // 1..31
  int right;       // 1..31 (32 - left)
  bool firstPair;  // d > e
  bool firstNext;  // d > e and the row has a second source word
  bool lastNext;   // the last partial word still has a next source word in the row
  int64_t full;
  void nextRow(ptrdiff_t stride) {
    s = reinterpret_cast<const Word *>(reinterpret_cast<const char *>(s) + stride);
  }
  const Word *base() const { return s + (firstPair ? 1 : 0); }
  Word first() const {
    if (!firstPair) return s[0] >> right;
    return firstNext ? (s[0] << left) | (s[1] >> right) : s[0] << left;
  }
  Word word(int64_t k) const {
    const Word *b = base();
    return (b[k] << left) | (b[k + 1] >> right);
  }
  Vec vec(int64_t k) const {
    const Word *b = base() + k;
    return (loadVec(b) << left) | (loadVec(b + 1) >> right);
  }
  Word last() const {
    const Word *b = base();
    return lastNext ? (b[full] << left) | (b[full + 1] >> right) : b[full] << left;
  }
};

template <int kFn, class Source>
void runRows(const PxlRopPlan &p, Source src) {
  char *row = reinterpret_cast<char *>(p.dst);
  const int64_t n = p.dstFullWords;
  for (int64_t y = 0; y < p.height; ++y, row += p.dstStride, src.nextRow(p.srcStride)) {
    Word *d = reinterpret_cast<Word *>(row);
    d[0] = merge(d[0], combine<kFn>(src.first(), d[0]), p.firstMask);
    Word *w = d + 1;
    int64_t k = 0;
    for (; k + 2 * kLanes <= n; k += 2 * kLanes) {
      const Vec s0 = src.vec(k), s1 = src.vec(k + kLanes);
      const Vec d0 = loadVec(w + k), d1 = loadVec(w + k + kLanes);
      storeVec(w + k, combine<kFn>(s0, d0));
      storeVec(w + k + kLanes, combine<kFn>(s1, d1));
    }
    for (; k + kLanes <= n; k += kLanes) storeVec(w + k, combine<kFn>(src.vec(k), loadVec(w + k)));
    for (; k < n; ++k) w[k] = combine<kFn>(src.word(k), w[k]);
    if (p.dstLastBits != 0) w[n] = merge(w[n], combine<kFn>(src.last(), w[n]), p.lastMask);
  }
}

template <int kFn>
void constantKernel(PxlContext *, const PxlRopPlan *p) {
  runRows<kFn>(*p, ConstantSource{p->constant});
}

template <int kFn>
void alignedKernel(PxlContext *, const PxlRopPlan *p) {
  runRows<kFn>(*p, AlignedSource{p->src, p->dstFullWords});
}

template <int kFn>
void shiftedKernel(PxlContext *, const PxlRopPlan *p) {
  const bool firstPair = p->dstFirstBits > p->srcFirstBits;
  // Source word index (from the row's first source word) that the last partial word would
  // take as its next word; it exists when it is at most srcExtraWords.
  const int64_t lastNextIndex = (firstPair ? 1 : 0) + p->dstFullWords + 1;
  runRows<kFn>(*p, ShiftedSource{p->src, p->leftShift, p->rightShift, firstPair,
                                 firstPair && p->srcExtraWords > 0,
                                 lastNextIndex <= p->srcExtraWords, p->dstFullWords});
}

// Aligned copy of rows of at most three words: kWhole (0 or 1) whole words between the first
// masked word and, when kLast, a last masked word.
template <int kWhole, bool kLast>
void copySmallRows(const PxlRopPlan &p) {
  char *drow = reinterpret_cast<char *>(p.dst);
  const char *srow = reinterpret_cast<const char *>(p.src);
  for (int64_t y = 0; y < p.height; ++y, drow += p.dstStride, srow += p.srcStride) {
    Word *d = reinterpret_cast<Word *>(drow);
    const Word *s = reinterpret_cast<const Word *>(srow);
    const Word first = s[0];
    if constexpr (kWhole == 1) d[1] = s[1];
    if constexpr (kLast) d[1 + kWhole] = merge(d[1 + kWhole], s[1 + kWhole], p.lastMask);
    d[0] = merge(d[0], first, p.firstMask);
  }
}

// Aligned copy of whole bands of rows as single block moves, for rows that lie at the same
// stride in both buffers with at most kMaxGap words between one row's last word and the next
// row's first: each band's destination words outside the rectangle (the first and last words'
// outer bits and the gap words) are saved, the band is moved in one piece, and they are put
// back. Only when the source and destination blocks do not overlap, so that the result is
// the row-by-row result. Returns false when these conditions do not hold.
bool copyBands(const PxlRopPlan &p) {
  constexpr int64_t kBand = 64, kMaxGap = 4;
  const int64_t rowWords = 1 + p.dstFullWords + (p.dstLastBits != 0 ? 1 : 0);
  if (p.srcStride != p.dstStride || p.dstStride <= 0 || p.dstStride % 4 != 0 || p.height < 2)
    return false;
  const int64_t strideWords = p.dstStride / 4, gap = strideWords - rowWords;
  if (gap < 0 || gap > kMaxGap) return false;
  const int64_t spanBytes = ((p.height - 1) * strideWords + rowWords) * 4;
  const auto s0 = reinterpret_cast<uintptr_t>(p.src), d0 = reinterpret_cast<uintptr_t>(p.dst);
  if (s0 < d0 + uintptr_t(spanBytes) && d0 < s0 + uintptr_t(spanBytes)) return false;
  const int64_t lastIndex = rowWords - 1;
  const bool masked = p.dstLastBits != 0, partialFirst = p.firstMask != ~Word{0};
  if (!partialFirst && !masked && gap == 0) {  // one solid block: nothing to put back
    std::memcpy(p.dst, p.src, size_t(spanBytes));
    return true;
  }
  Word keep[kBand][2 + kMaxGap];
  for (int64_t top = 0; top < p.height; top += kBand) {
    const int64_t rows = std::min(kBand, p.height - top);
    Word *d = p.dst + top * strideWords;
    const Word *s = p.src + top * strideWords;
    for (int64_t r = 0; r < rows; ++r) {
      const Word *row = d + r * strideWords;
      if (partialFirst) keep[r][0] = row[0];
      if (masked) keep[r][1] = row[lastIndex];
      if (r + 1 < rows)  // the gap after a band's last row is not moved (nor maybe there)
        for (int64_t g = 0; g < gap; ++g) keep[r][2 + g] = row[rowWords + g];
    }
    std::memcpy(d, s, size_t(((rows - 1) * strideWords + rowWords) * 4));
    for (int64_t r = 0; r < rows; ++r) {
      Word *row = d + r * strideWords;
      const Word *from = s + r * strideWords;
      if (partialFirst) row[0] = merge(keep[r][0], from[0], p.firstMask);
      if (masked) row[lastIndex] = merge(keep[r][1], from[lastIndex], p.lastMask);
      if (r + 1 < rows)
        for (int64_t g = 0; g < gap; ++g) row[rowWords + g] = keep[r][2 + g];
    }
  }
  return true;
}

void copyAligned(PxlContext *, const PxlRopPlan *p) {
  const int64_t n = p->dstFullWords;
  const bool last = p->dstLastBits != 0;
  if (n == 0) {
    last ? copySmallRows<0, true>(*p) : copySmallRows<0, false>(*p);
    return;
  }
  if (n == 1) {
    last ? copySmallRows<1, true>(*p) : copySmallRows<1, false>(*p);
    return;
  }
  if (copyBands(*p)) return;
  char *drow = reinterpret_cast<char *>(p->dst);
  const char *srow = reinterpret_cast<const char *>(p->src);
  const size_t bytes = static_cast<size_t>(n) * sizeof(Word);
  for (int64_t y = 0; y < p->height; ++y, drow += p->dstStride, srow += p->srcStride) {
    Word *d = reinterpret_cast<Word *>(drow);
    const Word *s = reinterpret_cast<const Word *>(srow);
    const Word first = s[0];
    const Word lastWord = last ? s[1 + n] : 0;
    std::memmove(d + 1, s + 1, bytes);
    d[0] = merge(d[0], first, p->firstMask);
    if (last) d[1 + n] = merge(d[1 + n], lastWord, p->lastMask);
  }
}

template <int kFn>
constexpr pxl::rop::Kernels kernelsOf() {
  if constexpr (kFn == 20)
    return {nullptr, nullptr, nullptr};
  else if constexpr (kFn == 0 || kFn == 10 || kFn == 30)
    return {constantKernel<kFn>, constantKernel<kFn>, constantKernel<kFn>};
  else if constexpr (kFn == 24)
    return {constantKernel<kFn>, shiftedKernel<kFn>, copyAligned};
  else
    return {constantKernel<kFn>, shiftedKernel<kFn>, alignedKernel<kFn>};
}

constexpr pxl::rop::Kernels kTable[16] = {
    kernelsOf<0>(),  kernelsOf<2>(),  kernelsOf<4>(),  kernelsOf<6>(),
    kernelsOf<8>(),  kernelsOf<10>(), kernelsOf<12>(), kernelsOf<14>(),
    kernelsOf<16>(), kernelsOf<18>(), kernelsOf<20>(), kernelsOf<22>(),
    kernelsOf<24>(), kernelsOf<26>(), kernelsOf<28>(), kernelsOf<30>()};

}  // namespace

namespace pxl::rop {

const Kernels &kernelsFor(int32_t fn) {
  return kTable[(fn & 30) >> 1];
}

}  // namespace pxl::rop
