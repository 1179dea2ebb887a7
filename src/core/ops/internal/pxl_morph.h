/*
 * Binary morphology of framed 1-bit images: dilation, erosion (hit-or-miss) and opening by a
 * structuring element, the compile step that turns an element into a word-parallel routine
 * object kept in the element's code slots, the runners that execute it (or, without one,
 * compose the result from shifted rasterops), and the standard elements.
 *
 * Semantics, with member offsets dx = c - originX, dy = r - originY of a cell in column c
 * and row r: dilation out(x, y) = 1 when some member (cell 1) has src(x - dx, y - dy) = 1;
 * erosion out(x, y) = 1 when every hit (cell 1) has src(x + dx, y + dy) = 1 and every miss
 * (cell 2) has it 0. Pixels outside the content are 0.
 *
 * Routine objects are compiled for elements that reach at most 31 pixels from their origin
 * in every direction; their length never reaches the size estimate of their compile.
 */
#ifndef PXL_MORPH_H
#define PXL_MORPH_H

#include "pxl_image.h"
#include "pxl_strel.h"

NORV_EXTERN_C_BEGIN

/* ---- Compile (cells: width x height bytes, row by row) ----
 * Statuses: 5 nothing to compile (reach beyond 31, no member / no hit or miss, a 1 x 1
 * element for the 64-bit form), 6 the 64-bit form when the processing unit is 4, 7 the
 * object would reach the estimated length, 1 no memory. *code: a buffer of the estimated
 * length or null (then one is allocated from the record set and freed again on failure). */
int32_t pxlSizeDilateCode32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                            int32_t *bytes);
int32_t pxlSizeErodeCode32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           int32_t *bytes);
int32_t pxlSizeDilateCode64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                            int32_t *bytes);
int32_t pxlSizeErodeCode64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           int32_t *bytes);
int32_t pxlCompileDilate32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length);
int32_t pxlCompileErode32(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                          const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length);
int32_t pxlCompileDilate64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                           const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length);
int32_t pxlCompileErode64(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                          const uint8_t *cells, int32_t *step, uint8_t **code, int32_t *length);

/* Appends length bytes of fragment at *position of a code buffer of capacity bytes: 7 (nothing
 * copied) when they would pass the capacity. */
int32_t pxlEmitTemplate(PxlContext *ctx, const uint8_t *fragment, int32_t length, uint8_t *code,
                        int32_t *position, int32_t capacity);

/* ---- Runners: framed buffers, the smaller full width and height of the two images ----
 * 2 element or row size below 1, 12 a processing unit neither 4 nor 8, 1 no memory. */
int32_t pxlRunDilateCode(PxlContext *ctx, uint8_t *dst, const uint8_t *src, const uint8_t *code32,
                         const uint8_t *code64, int32_t fullWidth, int32_t fullHeight,
                         int32_t srcBytesPerRow, int32_t dstBytesPerRow, int32_t step32,
                         int32_t step64, int32_t width, int32_t height, int32_t ox, int32_t oy,
                         const uint8_t *cells);
int32_t pxlRunErodeCode(PxlContext *ctx, uint8_t *dst, const uint8_t *src, const uint8_t *code32,
                        const uint8_t *code64, int32_t fullWidth, int32_t fullHeight,
                        int32_t srcBytesPerRow, int32_t dstBytesPerRow, int32_t step32,
                        int32_t step64, int32_t width, int32_t height, int32_t ox, int32_t oy,
                        const uint8_t *cells);

/* ---- Element compile and run (wmorph) ---- */
int32_t pxlCompileDilation(PxlContext *ctx, PxlStrel *strel, int32_t *length);
int32_t pxlCompileDilationMmx(PxlContext *ctx, PxlStrel *strel, int32_t *length);
int32_t pxlCompileErosion(PxlContext *ctx, PxlStrel *strel, int32_t *length);
int32_t pxlCompileErosionMmx(PxlContext *ctx, PxlStrel *strel, int32_t *length);
int32_t pxlDilateWithCode(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr *dst);
int32_t pxlErodeWithCode(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr *dst);

/* ---- Entry points (morph1): 1-bit framed sources; *dst made when null, may be src for
 * dilation and erosion (in place). 118 null argument. ---- */
int32_t pxlDilateImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst);
int32_t pxlErodeImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst);
int32_t pxlOpenImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst);

/* ---- Thinning (thin) ----
 * One pass of four sequential hit-or-miss tests (a 3 x 3 element and its three quarter
 * turns), each taking its matches out of the result. *result null: a framed copy of src is
 * made; src: in place; another image: validated and overwritten with src first.
 * pxlRotateStrel: a new element turned a quarter turn clockwise, cell (i, n) = old cell
 * (h - 1 - n, i), origin coordinates exchanged (right for centred 3 x 3 elements only). */
int32_t pxlThinImage(PxlContext *ctx, Pixr *src, Pixr **result);
int32_t pxlRotateStrel(PxlContext *ctx, const PxlStrel *element, PxlStrel **out);

/* ---- Standard elements (strlinit) ----
 * pxlInitStdStrel acquires standard element id 1..64 into the context's cache (built on the
 * first acquisition in the process; give it back with pxlReleaseStrel): 121 null context,
 * 4001 no cache, 2 bad id, 1 no memory. The builders make caller-owned elements; 2 when
 * *element is already set. */
int32_t pxlInitStdStrel(PxlContext *ctx, int32_t id);
int32_t pxlCreateBrickStrel(PxlContext *ctx, int32_t width, int32_t height, PxlStrel **element);
int32_t pxlCreateTripleStrelH(PxlContext *ctx, int32_t n, PxlStrel **element);
int32_t pxlCreateTripleStrelV(PxlContext *ctx, int32_t n, PxlStrel **element);

NORV_EXTERN_C_END

#endif
