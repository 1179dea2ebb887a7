// The vector row kernels (SSE2, the 8-byte unit's kernels widened) and their scalar twins,
// which give the same bytes and serve the differential tests.
#ifndef IMP_SIMD_INTERNAL_H
#define IMP_SIMD_INTERNAL_H

#include <cstdint>

// Three 16-bit colour rows to one 8-bit grey row with the weights 109, 366 and 37 of 512. Rows
// are given in R, G, B order when letter is 'R' (else rows 0 and 2 swap). Samples go in blocks
// of four (while five or more remain, then a last block of four), then a block of two, then a
// single sample: a block sample is (hi(r 109) + hi(g 366) + hi(b 37)) >> 1 limited to 255, with
// hi the high half of the 32-bit product; a single sample is (r 109 + g 366 + b 37) >> 17.
// kind >= 3 writes nothing and returns kind - 3; otherwise returns the width.
int32_t ownRgb16ToGray8Mmx(const uint16_t *row0, const uint16_t *row1, const uint16_t *row2,
                           uint8_t *dst, int64_t width, int32_t kind, char letter);
int32_t ownRgb16ToGray8(const uint16_t *row0, const uint16_t *row1, const uint16_t *row2,
                        uint8_t *dst, int64_t width, int32_t kind, char letter);

int32_t ownColorToGray(const struct ImpImageHeader *src, const struct ImpImageHeader *dst,
                       const uint8_t *srcData, uint8_t *dstData, int64_t srcStep, int64_t rows,
                       int64_t width, int64_t dstStep, int64_t planeHeight);

#endif
