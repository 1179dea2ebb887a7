// Compiling a structuring element into a morphology routine object (see i_morcode.h).
//
// Every compile checks, in order: the cells and sizes (2 when absent or below 1); the reach
// limits (origin at most 31 columns and rows from every cell: ox <= 31, oy <= 31,
// width - ox - 1 <= 31, height - oy - 1 <= 31; else 5); for the 64-bit forms a 1 x 1
// element (5) and a processing unit other than 8 (6); an element with no cell to act on
// (dilation: no 1; erosion: no 1 or 2; 5). Then the step is set (4 or 8) and the length
// estimated with the size formulas. Their row-adjustment terms count rows, so they are taken
// as magnitudes: 3|r1 - oy| for dilation (r1 the last member row; the size query, which sees
// no cells, takes r1 = height - 1) and 3|oy| for erosion, else an origin below (dilation)
// or above (erosion) the element would make the estimate too small or negative; without a buffer
// from the caller one of that length is taken zeroed from the record set (1 when it cannot be had).
// The object is appended piece by piece with pxlEmitTemplate; passing the estimate gives 7,
// and so does a finished object that does not stay below it. A buffer the compile took
// itself is released again on any failure.
//
// Dilation reflects the element: member (c, r) contributes the source row r - oy rows up
// (row offset oy - r), shifted right by c - ox. Erosion reads row offset r - oy, shifted
// left by c - ox, complemented for a miss. Element rows with equal terms share a pattern.
#include <cstdlib>
#include <cstring>

#include "i_morcode.h"
#include "pxl_internal.h"
#include "pxl_morph.h"

namespace {

using namespace pxl::morph;

bool withinReach(int32_t width, int32_t height, int32_t ox, int32_t oy) {
  return ox <= kMaxReach && oy <= kMaxReach && int64_t{width} - ox - 1 <= kMaxReach &&
         int64_t{height} - oy - 1 <= kMaxReach;
}

bool acts(uint8_t operation, uint8_t cell) {
  return cell == 1 || (operation == kErode && cell == 2);
}

int32_t estimate(uint8_t operation, int32_t unit, int32_t w, int32_t h, int32_t oy,
                 int32_t lastMemberRow) {
  const int64_t wh = int64_t{w} * h;
  int64_t bytes;
  if (unit == 8)
    bytes =
        operation == kDilate ? 42 * int64_t{w} + 56 * wh + 216 : 74 * int64_t{w} + 56 * wh + 210;
  else if (operation == kDilate)
    bytes =
        19 * wh - 4 * int64_t{w} + 3 * int64_t{h} + 3 * std::abs(int64_t{lastMemberRow} - oy) + 44;
  else
    bytes = 23 * wh - 6 * int64_t{w} + 3 * int64_t{h} + 3 * std::abs(int64_t{oy}) + 44;
  return static_cast<int32_t>(bytes);
}

int32_t sizeQuery(PxlContext *ctx, uint8_t operation, int32_t unit, int32_t w, int32_t h,
                  int32_t oy, int32_t *bytes) {
  if (bytes == nullptr) return PXL_ERR_NULL;
  if (unit == 8) {
    int32_t processing = 4;
    pxlGetProcessingUnit(ctx, &processing);
    if (processing != 8) return PXL_ERR_NOT_IMPLEMENTED;
  }
  *bytes = estimate(operation, unit, w, h, oy, h - 1);
  return PXL_OK;
}

// The terms of element row r as bytes; returns their count.
int rowTerms(uint8_t operation, int32_t width, int32_t ox, const uint8_t *row, uint8_t *terms) {
  int n = 0;
  for (int32_t c = 0; c < width; ++c) {
    if (!acts(operation, row[c])) continue;
    const int32_t dx = c - ox;
    const int32_t shift = operation == kDilate ? dx : -dx;
    terms[n++] = static_cast<uint8_t>((shift + 32) | (row[c] == 2 ? kMissFlag : 0));
  }
  return n;
}

// Writes the object into code (capacity bytes); 7 when it would not stay below capacity.
int32_t emitObject(PxlContext *ctx, uint8_t operation, int32_t unit, int32_t width, int32_t height,
                   int32_t ox, int32_t oy, const uint8_t *cells, uint8_t *code, int32_t capacity,
                   int32_t *length) {
  // Patterns: the first element row with a given term list defines it.
  int32_t patternOf[64];
  int32_t patternRow[64];
  int32_t patterns = 0, rows = 0, low = 0, high = 0;
  uint8_t terms[64], other[64];
  for (int32_t r = 0; r < height; ++r) {
    patternOf[r] = -1;
    const int n = rowTerms(operation, width, ox, cells + int64_t{r} * width, terms);
    if (n == 0) continue;
    for (int32_t p = 0; p < patterns && patternOf[r] < 0; ++p) {
      const int m = rowTerms(operation, width, ox, cells + int64_t{patternRow[p]} * width, other);
      if (m == n && std::memcmp(terms, other, static_cast<size_t>(n)) == 0) patternOf[r] = p;
    }
    if (patternOf[r] < 0) {
      patternRow[patterns] = r;
      patternOf[r] = patterns++;
    }
    const int32_t offset = operation == kDilate ? oy - r : r - oy;
    if (rows == 0 || offset < low) low = offset;
    if (rows == 0 || offset > high) high = offset;
    ++rows;
  }
  int32_t position = 0;
  const uint8_t header[kHeaderBytes] = {kMagic,
                                        operation,
                                        static_cast<uint8_t>(unit),
                                        static_cast<uint8_t>(patterns),
                                        static_cast<uint8_t>(rows),
                                        static_cast<uint8_t>(static_cast<int8_t>(low)),
                                        static_cast<uint8_t>(static_cast<int8_t>(high)),
                                        0};
  int32_t status = pxlEmitTemplate(ctx, header, kHeaderBytes, code, &position, capacity);
  for (int32_t p = 0; p < patterns && status == 0; ++p) {
    const uint8_t n = static_cast<uint8_t>(
        rowTerms(operation, width, ox, cells + int64_t{patternRow[p]} * width, terms));
    status = pxlEmitTemplate(ctx, &n, 1, code, &position, capacity);
    if (status == 0) status = pxlEmitTemplate(ctx, terms, n, code, &position, capacity);
  }
  for (int32_t r = 0; r < height && status == 0; ++r) {
    if (patternOf[r] < 0) continue;
    const int32_t offset = operation == kDilate ? oy - r : r - oy;
    const uint8_t term[2] = {static_cast<uint8_t>(static_cast<int8_t>(offset)),
                             static_cast<uint8_t>(patternOf[r])};
    status = pxlEmitTemplate(ctx, term, 2, code, &position, capacity);
  }
  if (status != 0) return status;
  if (position >= capacity) return PXL_ERR_OVERFLOW;
  *length = position;
  return PXL_OK;
}

int32_t compile(PxlContext *ctx, uint8_t operation, int32_t unit, int32_t width, int32_t height,
                int32_t ox, int32_t oy, const uint8_t *cells, int32_t *step, uint8_t **code,
                int32_t *length) {
  if (cells == nullptr || width < 1 || height < 1 || step == nullptr || code == nullptr ||
      length == nullptr)
    return PXL_ERR_PARAM;
  if (!withinReach(width, height, ox, oy)) return PXL_ERR_NO_MEMBER;
  if (unit == 8) {
    if (width == 1 && height == 1) return PXL_ERR_NO_MEMBER;
    int32_t processing = 4;
    pxlGetProcessingUnit(ctx, &processing);
    if (processing != 8) return PXL_ERR_NOT_IMPLEMENTED;
  }
  int32_t lastMemberRow = -1;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c)
      if (acts(operation, cells[int64_t{r} * width + c])) lastMemberRow = r;
  if (lastMemberRow < 0) return PXL_ERR_NO_MEMBER;
  *step = unit;
  const int32_t capacity = estimate(operation, unit, width, height, oy, lastMemberRow);
  const bool own = *code == nullptr;
  if (own) {
    if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
    *code = static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, 1, static_cast<size_t>(capacity)));
    if (*code == nullptr) return PXL_ERR_NO_MEMORY;
  }
  const int32_t status =
      emitObject(ctx, operation, unit, width, height, ox, oy, cells, *code, capacity, length);
  if (status != 0 && own) {
    pxl::freeRecord(ctx, *code);
    *code = nullptr;
  }
  return status;
}

}  // namespace

extern "C" {

int32_t pxlEmitTemplate(PxlContext *, const uint8_t *fragment, int32_t length, uint8_t *code,
                        int32_t *position, int32_t capacity) {
  if (int64_t{*position} + length > capacity) return PXL_ERR_OVERFLOW;
  std::memcpy(code + *position, fragment, static_cast<size_t>(length));
  *position += length;
  return PXL_OK;
}

int32_t pxlSizeDilateCode32(PxlContext *ctx, int32_t width, int32_t height, int32_t, int32_t oy,
                            int32_t *bytes) {
  return sizeQuery(ctx, kDilate, 4, width, height, oy, bytes);
}
int32_t pxlSizeErodeCode32(PxlContext *ctx, int32_t width, int32_t height, int32_t, int32_t oy,
                           int32_t *bytes) {
  return sizeQuery(ctx, kErode, 4, width, height, oy, bytes);
}
int32_t pxlSizeDilateCode64(PxlContext *ctx, int32_t width, int32_t height, int32_t, int32_t oy,
                            int32_t *bytes) {
  return sizeQuery(ctx, kDilate, 8, width, height, oy, bytes);
}
int32_t pxlSizeErodeCode64(PxlContext *ctx, int32_t width, int32_t height, int32_t, int32_t oy,
                           int32_t *bytes) {
  return sizeQuery(ctx, kErode, 8, width, height, oy, bytes);
}

int32_t pxlCompileDilate32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length) {
  return compile(ctx, kDilate, 4, width, height, ox, oy, cells, step, code, length);
}
int32_t pxlCompileErode32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                          const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length) {
  return compile(ctx, kErode, 4, width, height, ox, oy, cells, step, code, length);
}
int32_t pxlCompileDilate64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length) {
  return compile(ctx, kDilate, 8, width, height, ox, oy, cells, step, code, length);
}
int32_t pxlCompileErode64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                          const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length) {
  return compile(ctx, kErode, 8, width, height, ox, oy, cells, step, code, length);
}

}  // extern "C"
