// Morphology runners (pxlRunDilateCode, pxlRunErodeCode): the 1 x 1 shortcut, the choice of
// path, and the compiled path that executes a routine object (i_morcode.h).
//
// The compiled path works in strips of 64 output rows (unit 4, 32-bit words) or 42 (unit 8,
// 64-bit words, taken only when pxlGetUnitForBuffers answers 8). For a strip, every source
// row that its output rows reach enters once: it is loaded with one neighbour word on each
// side and each pattern of the routine is computed from it, whole words at a time (shifted
// words combined by OR for dilation, AND with complements for misses for erosion), into the
// temp strip. Each output row then combines the patterns of its row terms from the temp
// strip and is stored with the bits after the content cleared, so its row tail and the
// frame next to it stay 0. Pixels outside the content read as 0: the routine reaches at
// most 31 pixels and the 32-pixel frame is clear; what a neighbour word brings from beyond
// the frame only lands after the content.
//
// The 1 x 1 element at origin (0, 0) is one rasterop: a member copies the source; for
// erosion a miss copies its complement; a cell that does not act gives an all-clear
// dilation or an all-set erosion, as the general paths do.
#include <cstring>

#include "i_morcode.h"
#include "i_morrop.h"
#include "pxl_internal.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "pxl_rasterop.h"

namespace {

using namespace pxl::morph;

constexpr int32_t kNoClip = PXL_ROP_NOCLIP;

template <typename Word>
Word loadWord(const uint8_t *p) {
  if constexpr (sizeof(Word) == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    uint64_t v;  // two native words, the first one low in memory: swap into pixel order
    std::memcpy(&v, p, 8);
    return (v << 32) | (v >> 32);
  }
}

template <typename Word>
void storeWord(uint8_t *p, Word v) {
  if constexpr (sizeof(Word) == 8) v = (v << 32) | (v >> 32);
  std::memcpy(p, &v, sizeof(Word));
}

// Words -1 .. words of a content row into row[-1 .. words], in pixel order.
template <typename Word>
void loadRow(const uint8_t *line, Word *row, int64_t words) {
  if constexpr (sizeof(Word) == 4) {
    std::memcpy(row - 1, line - 4, static_cast<size_t>(words + 2) * 4);
  } else {
    for (int64_t i = -1; i <= words; ++i) row[i] = loadWord<Word>(line + i * 8);
  }
}

template <typename Word>
void storeRow(uint8_t *line, const Word *row, int64_t words) {
  if constexpr (sizeof(Word) == 4) {
    std::memcpy(line, row, static_cast<size_t>(words) * 4);
  } else {
    for (int64_t i = 0; i < words; ++i) storeWord<Word>(line + i * 8, row[i]);
  }
}

// The routine object read into tables.
struct Routine {
  Header header;
  const uint8_t *terms[256];
  int termCount[256];
  int rowOffset[64];
  int rowPattern[64];
};

bool parse(const uint8_t *code, int unit, Routine *r) {
  if (!readHeader(code, &r->header) || r->header.unit != unit || r->header.rows < 1 ||
      r->header.rows > 64)
    return false;
  const uint8_t *at = code + kHeaderBytes;
  for (int p = 0; p < r->header.patterns; ++p) {
    r->termCount[p] = *at++;
    r->terms[p] = at;
    at += r->termCount[p];
  }
  for (int j = 0; j < r->header.rows; ++j) {
    r->rowOffset[j] = static_cast<int8_t>(at[0]);
    r->rowPattern[j] = at[1];
    at += 2;
  }
  return true;
}

// One pattern of a source row held in row[-1 .. words] into out[0 .. words - 1].
template <typename Word, bool Erode>
void computePattern(const Word *row, const uint8_t *terms, int count, int64_t words, Word *out) {
  constexpr int kBits = 8 * sizeof(Word);
  for (int t = 0; t < count; ++t) {
    const int shift = termShift(terms[t]);
    const Word flip = termMiss(terms[t]) ? ~Word{0} : Word{0};
    const bool first = t == 0;
    auto put = [&](int64_t i, Word v) {
      v ^= flip;
      out[i] = first ? v : Erode ? out[i] & v : out[i] | v;
    };
    if (shift == 0) {
      for (int64_t i = 0; i < words; ++i) put(i, row[i]);
    } else if (shift > 0) {
      for (int64_t i = 0; i < words; ++i)
        put(i, (row[i] >> shift) | (row[i - 1] << (kBits - shift)));
    } else {
      const int s = -shift;
      for (int64_t i = 0; i < words; ++i) put(i, (row[i] << s) | (row[i + 1] >> (kBits - s)));
    }
  }
}

template <typename Word>
int32_t runCompiled(PxlContext *ctx, const Routine &r, uint8_t *dst, const uint8_t *src,
                    int32_t width, int32_t height, int32_t srcBpr, int32_t dstBpr) {
  constexpr int kBits = 8 * sizeof(Word);
  const int32_t strip = sizeof(Word) == 4 ? 64 : 42;
  const bool erode = r.header.operation == kErode;
  const int64_t words = (int64_t{width} + kBits - 1) / kBits;
  const int32_t low = r.header.lowOffset, span = r.header.highOffset - low;
  const int64_t tempRows = strip + span;
  const int64_t patternWords = tempRows * words;
  const int64_t total = r.header.patterns * patternWords + words + 2;
  pxl::OwnedRecord<Word> temp(ctx, static_cast<Word *>(pxl::allocRecordZeroed(
                                       ctx, static_cast<size_t>(total), sizeof(Word))));
  if (!temp) return PXL_ERR_NO_MEMORY;
  Word *row = temp.get() + r.header.patterns * patternWords + 1;  // row[-1 .. words]
  const int tail = static_cast<int>(int64_t{width} - (words - 1) * kBits);
  const Word keep = tail >= kBits ? ~Word{0} : ~(~Word{0} >> tail);
  for (int32_t y0 = 0; y0 < height; y0 += strip) {
    const int32_t rows = height - y0 < strip ? height - y0 : strip;
    for (int64_t j = 0; j < rows + span; ++j) {
      loadRow(src + (int64_t{y0} + low + j) * srcBpr, row, words);
      for (int p = 0; p < r.header.patterns; ++p) {
        Word *out = temp.get() + p * patternWords + j * words;
        if (erode)
          computePattern<Word, true>(row, r.terms[p], r.termCount[p], words, out);
        else
          computePattern<Word, false>(row, r.terms[p], r.termCount[p], words, out);
      }
    }
    for (int32_t y = 0; y < rows; ++y) {
      // Row by row over the terms, whole rows at a time, into the row buffer.
      for (int k = 0; k < r.header.rows; ++k) {
        const Word *term = temp.get() + r.rowPattern[k] * patternWords +
                           (int64_t{y} + r.rowOffset[k] - low) * words;
        if (k == 0)
          std::memcpy(row, term, static_cast<size_t>(words) * sizeof(Word));
        else if (erode)
          for (int64_t i = 0; i < words; ++i) row[i] &= term[i];
        else
          for (int64_t i = 0; i < words; ++i) row[i] |= term[i];
      }
      row[words - 1] &= keep;
      storeRow(dst + (int64_t{y0} + y) * dstBpr, row, words);
    }
  }
  return PXL_OK;
}

int32_t run(PxlContext *ctx, uint8_t operation, uint8_t *dst, const uint8_t *src,
            const uint8_t *code32, const uint8_t *code64, int32_t fullWidth, int32_t fullHeight,
            int32_t srcBpr, int32_t dstBpr, int32_t width, int32_t height, int32_t ox, int32_t oy,
            const uint8_t *cells) {
  if (dst == nullptr || src == nullptr) return PXL_ERR_PARAM;
  uint8_t *to = dst + int64_t{32} * dstBpr + 4;
  const uint8_t *from = src + int64_t{32} * srcBpr + 4;
  const int32_t w = fullWidth - 64, h = fullHeight - 64;
  if (w < 1 || h < 1) return PXL_OK;
  if (width == 1 && height == 1 && ox == 0 && oy == 0 && cells != nullptr) {
    const uint8_t cell = cells[0];
    PxlRopCode op = operation == kDilate ? (cell == 1 ? PXL_ROP_COPY : PXL_ROP_CLEAR)
                                         : (cell == 1   ? PXL_ROP_COPY
                                            : cell == 2 ? PXL_ROP_NOT_S
                                                        : PXL_ROP_SET);
    const bool withSource = op == PXL_ROP_COPY || op == PXL_ROP_NOT_S;
    return pxlRasterOpRaw(ctx, to, w, h, 0, 0, 0, 0, w, h, 1, dstBpr, op | kNoClip,
                          withSource ? from : nullptr, w, h, 0, 0, 0, 0, 1, srcBpr);
  }
  if (width < 1 || height < 1 || srcBpr < 1 || dstBpr < 1) return PXL_ERR_PARAM;
  int32_t unit = 0;
  pxlGetUnitForBuffers(ctx, reinterpret_cast<intptr_t>(from), srcBpr,
                       reinterpret_cast<intptr_t>(to), dstBpr, &unit);
  if (unit != 4 && unit != 8) return PXL_ERR_INTERNAL;
  Routine routine;
  if (unit == 8 && parse(code64, 8, &routine))
    return runCompiled<uint64_t>(ctx, routine, to, from, w, h, srcBpr, dstBpr);
  if (parse(code32, 4, &routine))
    return runCompiled<uint32_t>(ctx, routine, to, from, w, h, srcBpr, dstBpr);
  if (cells == nullptr) return PXL_ERR_PARAM;
  return pxl::morph::runRasterops(ctx, operation == kErode, to, from, w, h, srcBpr, dstBpr, width,
                                  height, ox, oy, cells);
}

}  // namespace

extern "C" {

int32_t pxlRunDilateCode(PxlContext *ctx, uint8_t *dst, const uint8_t *src, const uint8_t *code32,
                         const uint8_t *code64, int32_t fullWidth, int32_t fullHeight,
                         int32_t srcBytesPerRow, int32_t dstBytesPerRow, int32_t, int32_t,
                         int32_t width, int32_t height, int32_t ox, int32_t oy,
                         const uint8_t *cells) {
  return run(ctx, kDilate, dst, src, code32, code64, fullWidth, fullHeight, srcBytesPerRow,
             dstBytesPerRow, width, height, ox, oy, cells);
}

int32_t pxlRunErodeCode(PxlContext *ctx, uint8_t *dst, const uint8_t *src, const uint8_t *code32,
                        const uint8_t *code64, int32_t fullWidth, int32_t fullHeight,
                        int32_t srcBytesPerRow, int32_t dstBytesPerRow, int32_t, int32_t,
                        int32_t width, int32_t height, int32_t ox, int32_t oy,
                        const uint8_t *cells) {
  return run(ctx, kErode, dst, src, code32, code64, fullWidth, fullHeight, srcBytesPerRow,
             dstBytesPerRow, width, height, ox, oy, cells);
}

}  // extern "C"
