/*
 * Depth conversion machinery of the image core: row workers that widen 1-bit and 4-bit rows
 * to 8 or 16 bits, replication and interpolation tables, the packing workers that turn 2-,
 * 4- and 8-bit rows into 1-bit rows by a per-pixel decision, their spread tables, and the
 * stretch table of the scaling walkers.
 *
 * Rows are framed word rows: 32-bit native words, first pixel in the most significant bits.
 * The widening workers take a framed buffer's first byte, the full width and height (a
 * 32-pixel frame on every side) and the strides; content width = full width - 64.
 * Tables come from the context's record set (set 0) and are released through it.
 */
#ifndef PXL_DEPTH_H
#define PXL_DEPTH_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* ---- Widening (the destination has the same full width and height) ---- */

/* 4-bit pixel v -> 8-bit v * 17 through the depth-4 factor-2 replication table; a null
 * table is built and released by the call (its build status is returned on failure).
 * Pixels past the row's end in its last output word come out 0. */
int32_t pxlConvertRows4To8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                           int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                           int32_t dstBytesPerRow, const uint16_t *table);
/* 1-bit pixel -> 255 / 0 (polarity 1: set -> 0, clear -> 255). Pixels past the row's end in
 * its last output word come out 0. */
int32_t pxlConvertRows1To8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                           int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                           int32_t dstBytesPerRow, int32_t polarity);
/* 1-bit pixel -> 0xFFFF / 0, polarity as above. */
int32_t pxlConvertRows1To16(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                            int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                            int32_t dstBytesPerRow, int32_t polarity);

/* ---- Replication tables (depth 1, 2, 4 or 8; another depth frees *table, sets it null
 * and gives 8). A table passed in is cleared and refilled; 1 when allocation fails. ----
 * Entry i is byte i with each pixel repeated factor times, first pixel in the most
 * significant bits. Factor 8: entries 0-255 hold the low word, 256-511 the high (first)
 * word. Factor 16: block k (entries 256k..256k+255) holds the k-th word counted from the
 * low end (block 3 is the first word of the row). */
int32_t pxlBuildReplicate2Table(PxlContext *ctx, int32_t depth, uint16_t **table);
int32_t pxlBuildReplicate4Table(PxlContext *ctx, int32_t depth, uint32_t **table);
int32_t pxlBuildReplicate8Table(PxlContext *ctx, int32_t depth, uint32_t **table);
int32_t pxlBuildReplicate16Table(PxlContext *ctx, int32_t depth, uint32_t **table);

/* ---- Interpolation tables of the 4-bit expansions: 256 entries indexed by a byte of two
 * 4-bit pixels hi, lo. 1:2 gives hi, (hi + lo + 1) >> 1, lo, 0 as four nibbles (bits 15-0),
 * 2:3 gives hi, (hi + lo) >> 1, lo as three nibbles (bits 11-0). Depth 8: 0, no table. A
 * missing table is allocated and filled (1 when that fails); an existing one is kept. ---- */
int32_t pxlBuildInterp12Table(PxlContext *ctx, uint32_t **table, int32_t depth);
int32_t pxlBuildInterp23Table(PxlContext *ctx, uint32_t **table, int32_t depth);

/* ---- Spread tables of the packing workers: four tables of 256 words per source depth and
 * polarity. A packing worker gathers one decision bit per pixel of a group of g source words
 * (g = 8, 4, 2 at depth 8, 4, 2) into an accumulator, word j of the group shifted right by
 * j places, so that pixel p of word j sits at bit 31 - p * g - j; tables[k] turns byte
 * 3 - k of the accumulator into the output bits of those pixels (pixel p of word j is
 * output pixel j * 32 / g + p, at bit 31 - that). tables[3] serves the low byte unshifted;
 * tables[k] is tables[3] shifted left by (3 - k) * 8 / g. The inverted tables place the
 * complement of each decision. Tables passed in are cleared and refilled, missing ones are
 * allocated; 1 when an allocation fails (what this call allocated is released and set null
 * again). ---- */
int32_t pxlBuildThresholdTables8(PxlContext *ctx, uint32_t *tables[4]);
int32_t pxlBuildThresholdTables8Inv(PxlContext *ctx, uint32_t *tables[4]);
int32_t pxlBuildThresholdTables4(PxlContext *ctx, uint32_t *tables[4]);
int32_t pxlBuildThresholdTables4Inv(PxlContext *ctx, uint32_t *tables[4]);
int32_t pxlBuildThresholdTables2(PxlContext *ctx, uint32_t *tables[4]);
int32_t pxlBuildThresholdTables2Inv(PxlContext *ctx, uint32_t *tables[4]);

/* ---- Packing workers: one row per call, walked from its last source word back to its
 * first; one output word (32 pixels) takes 8, 4 or 2 source words at depth 8, 4 or 2.
 * dstLast: byte offset of the output row's last word ((n - 1) / 32 * 4 for n pixels);
 * srcGroup: byte offset at which the last group of source words begins (dstLast times the
 * group's word count); srcLast: byte offset of the source row's last word. Decisions of
 * pixels in words past srcLast are 0 (with inverted tables: 1). Always 0. ---- */
int32_t pxlPackTopBits8(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]);
int32_t pxlPackTopBits4(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]);
int32_t pxlPackTopBits2(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]);
/* The two top bits of every 8-bit pixel as a 2-bit output pixel (16 per output word, four
 * source words per group), spread through the depth-4 tables. */
int32_t pxlPackTopBitPairs8(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                            int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4]);
/* (v >> 1) >= b; halfThreshold = b (0..127) replicated in every byte. */
int32_t pxlPackCompare8(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                        uint32_t halfThreshold);
/* v >= t exactly: half = (t >> 1) * 0x11111111 & 0x77777777, lowBit = (t & 1) * 0x11111111. */
int32_t pxlPackCompare4(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                        int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                        uint32_t half, uint32_t lowBit);
/* ((v >> 1) - (low >> 1)) mod 128 <= (high - low) >> 1: lowHalf = (low >> 1) * 0x01010101,
 * spanHalf = ((high - low) >> 1) * 0x01010101. */
int32_t pxlPackRange8(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                      int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                      uint32_t lowHalf, uint32_t spanHalf);
/* low <= v <= high exactly: lowHalf = (low >> 1) * 0x11111111, highHalf = (high >> 1) *
 * 0x11111111 (both within 0x77777777), correction = (low & 1) | (high & 1) << 1. */
int32_t pxlPackRange4(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                      int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                      uint32_t lowHalf, uint32_t highHalf, int32_t correction);
/* (v >> 1) >= (m >> 1), m the pixel at the same place of the 8-bit threshold row. */
int32_t pxlPackCompareMap8(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                           int32_t srcGroup, int32_t srcLast, const uint32_t *const tables[4],
                           const uint32_t *map);
/* The high nibble of every 8-bit pixel, packed to a 4-bit row (two source words per output
 * word; dstLast is the 4-bit row's last word, srcGroup = 2 * dstLast). No tables. */
int32_t pxlPackHighNibbles(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t dstLast,
                           int32_t srcGroup, int32_t srcLast);

/* ---- Stretch table: for a row of `width` pixels of `depth` bits, scaled by the 16.16
 * factor (0x10000 = 1.0), runs of floor(0x10000000 / factor / 4096) pixels (one more
 * whenever a 12-bit fraction accumulator is negative) are cut from bit 0; for each 32-bit
 * word of the row one left-aligned mask per run piece inside the word, then a step entry:
 * 0 when the word ends on a run boundary, else `step` (times 4 when the low byte of flags is
 * non-zero). The walk ends after (width * depth >> 5) + 1 words or width runs. *table
 * receives a new zero-filled table (set 0; it is overwritten, not released). 8 another
 * depth, 2 a factor <= 0 or above 0x10000000, a negative width or a null table pointer, 1
 * no memory (*table null). ---- */
int32_t pxlBuildStretchTable(PxlContext *ctx, int32_t factor, uint32_t **table, int32_t width,
                             int32_t step, int32_t depth, int32_t flags);

NORV_EXTERN_C_END

#endif
