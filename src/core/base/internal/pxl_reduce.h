/*
 * Binary rank reduction of 1-bit images by 2, 4, 8 or 16.
 *
 * One reduction step maps every 2x2 source block to one destination pixel that is 1 when
 * at least `level` (1 to 4) of the block's pixels are 1: level 1 is OR, level 4 is AND.
 * A cascade of n steps reduces by 2^n; a cascade whose levels are all 1 (or all 4) is one
 * pass of OR (AND) over 2^n x 2^n blocks.
 *
 * Layers: the wrapper operations take images, check them and report; the raw drivers and
 * row workers take framed buffers; the row kernels make one destination row from a band of
 * f source rows, check nothing and report nothing. Each kernel exists twice with identical
 * destination pixels: on 32-bit words (the integer kernels) and on 8-byte units of 64
 * pixels (the "Mmx" kernels, used when every buffer address and stride is a multiple of 8).
 *
 * Rows are 32-bit little-endian words with the first pixel in the most significant bit; an
 * 8-byte unit is two consecutive words.
 */
#ifndef PXL_REDUCE_H
#define PXL_REDUCE_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* ---- Wrapper operations -----------------------------------------------------------------
 * Source and output: 1-bit, one channel, byte order 0, 32-pixel frame. level1 is 1 to 4,
 * the others 0 to 4 (else 2). The cascade runs as many 2x steps as there are levels before
 * the first 0 (all four are checked). The output of n steps is width / 2^n x height / 2^n
 * with both resolutions divided alike; *out null: it is made; else it is checked
 * (pxlEnsureOutputImage) and filled. The output made by a failing call is destroyed. */
int32_t pxlReduceRankCascade(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2,
                             int32_t level3, int32_t level4, Pixr **out);
int32_t pxlReduceRankBy2(PxlContext *ctx, Pixr *src, int32_t level1, Pixr **out);
int32_t pxlReduceRankBy4(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2, Pixr **out);
int32_t pxlReduceRankBy8(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2, int32_t level3,
                         Pixr **out);
int32_t pxlReduceRankBy16(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2,
                          int32_t level3, int32_t level4, Pixr **out);

/* ---- Raw drivers and row workers ------------------------------------------------------
 * The drivers take framed 1-bit buffers (32-pixel frame; "full" sizes include it) and
 * reduce the source content into the output content. They process only what the source
 * covers: min(output width, source width / f) columns and the same for rows; any output
 * content beyond that is cleared. The row workers take content addresses and sizes and
 * need srcW >= f * dstW and f * dstH readable source rows; a cascade whose levels are all
 * 1 or all 4 is one pass, any other goes through work buffers (1 when the context is null
 * or a buffer cannot be allocated). 12 when the processing unit is neither 4 nor 8. */
int32_t pxlReduceRankBy2Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level);
int32_t pxlReduceRankBy4Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level1, int32_t level2);
int32_t pxlReduceRankBy8Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level1, int32_t level2, int32_t level3);
int32_t pxlReduceRankBy16Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                             int32_t level1, int32_t level2, int32_t level3, int32_t level4);

int32_t pxlRankRows2(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t srcW, int32_t srcStride, int32_t level);
int32_t pxlRankRows4(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t srcW, int32_t srcH, int32_t srcStride,
                     int32_t level1, int32_t level2);
int32_t pxlRankRows8(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t srcW, int32_t srcH, int32_t srcStride,
                     int32_t level1, int32_t level2, int32_t level3);
int32_t pxlRankRows16(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                      const uint8_t *src, int32_t srcW, int32_t srcH, int32_t srcStride,
                      int32_t level1, int32_t level2, int32_t level3, int32_t level4);

/* ---- Integer row kernels (32-bit words) ----------------------------------------------
 * band: first of the f source rows; srcStride: bytes between them; dst: destination row;
 * lastDst = ((dstW - 1) / 32) * 4, the byte offset of the last destination word;
 * firstSrcOfLast = f * lastDst; lastSrc = (((srcW & ~(f - 1)) - 1) / 32) * 4, the byte
 * offset of the source word holding the last used source pixel. Destination pixels
 * 0..dstW-1 follow the block rule; later bits of the last word are unspecified. */
void pxlRankRow2Level1(PxlContext *ctx, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc);
void pxlRankRow2Level2(PxlContext *ctx, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc);
void pxlRankRow2Level3(PxlContext *ctx, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc);
void pxlRankRow2Level4(PxlContext *ctx, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc);
void pxlRankRow4Or(PxlContext *ctx, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                   int32_t firstSrcOfLast, int32_t lastSrc);
void pxlRankRow4And(PxlContext *ctx, const void *band, int32_t srcStride, void *dst,
                    int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc);

/* Column functions of the 8x and 16x kernels: combine the 8 (16) rows of one source word
 * starting at `word` (OR or AND) and reduce each 8-pixel (16-pixel) group to one flag, left
 * in the group's most significant bit; the other bits are 0. */
typedef uint32_t (*PxlRankColumnFn)(const void *word, int32_t srcStride);
uint32_t pxlRankColumn8Or(const void *word, int32_t srcStride);
uint32_t pxlRankColumn8And(const void *word, int32_t srcStride);
uint32_t pxlRankColumn16Or(const void *word, int32_t srcStride);
uint32_t pxlRankColumn16And(const void *word, int32_t srcStride);

void pxlRankRow8(PxlContext *ctx, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                 int32_t firstSrcOfLast, int32_t lastSrc, PxlRankColumnFn column);
void pxlRankRow16(PxlContext *ctx, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                  int32_t firstSrcOfLast, int32_t lastSrc, PxlRankColumnFn column);

/* ---- 8-byte-unit row kernels ------------------------------------------------------------
 * Same rules on units of 64 pixels. srcWidth W is the source width in pixels (the used
 * width is P = W - W mod f); lastDst = ((D - 1) / 64) * 8 with D = W / f >= 1;
 * firstSrcOfLast = f * lastDst; lastSrc = ((P - 1) / 64) * 8. The last unit read from each
 * band row is masked with pxlLeadingByteMasks[((W + 8 - f) / 8) % 8], so whole bytes past
 * P count as 0 and no destination pixel past the last word holding pixel D - 1 is set.
 * band, dst and srcStride must be multiples of 8. `unused` is ignored (callers pass 0). */
typedef void (*PxlReduceUnitKernel)(PxlContext *ctx, const void *band, int32_t srcWidth,
                                    int32_t srcStride, void *dst, int32_t lastDst,
                                    int32_t firstSrcOfLast, int32_t lastSrc, int32_t unused);
void pxlReduce2xRank1Mmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t unused);
void pxlReduce2xRank2Mmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t unused);
void pxlReduce2xRank3Mmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t unused);
void pxlReduce2xRank4Mmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t unused);
void pxlReduce4xOrMmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                      void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                      int32_t unused);
void pxlReduce4xAndMmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                       void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                       int32_t unused);
void pxlReduce8xOrMmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                      void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                      int32_t unused);
void pxlReduce8xAndMmx(PxlContext *ctx, const void *band, int32_t srcWidth, int32_t srcStride,
                       void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                       int32_t unused);

/* 1: the 8-byte-unit kernels may be used (always, on this platform). */
int32_t pxlMmxReduceAvailable(PxlContext *ctx);

/* Entry k (1 to 7) keeps the first k bytes of a unit in pixel order, entry 0 all eight;
 * each entry is {first word, second word}. */
extern const uint32_t pxlLeadingByteMasks[8][2];

NORV_EXTERN_C_END

#endif
