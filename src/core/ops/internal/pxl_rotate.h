/*
 * Rotation of framed images: quarter and half turns, small-angle rotation by simultaneous
 * shears in one pass, and rotation by two or three band-move shears.
 *
 * Directions are as displayed (row 0 at the top). Where a turned or sheared image has no
 * source pixel, 1-bit images hold 0 and deeper images all ones (white in both cases).
 * Angles are radians at this boundary; positive angles turn clockwise as displayed.
 *
 * Raw workers take framed buffers: framed data (the first byte of the 32-pixel frame), the
 * source's full width and height (content + 64) and bytes per row. They report nothing;
 * they call the progress callback directly every strip or block of rows and stop with 14
 * when it answers non-zero.
 */
#ifndef PXL_ROTATE_H
#define PXL_ROTATE_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* ---- Quarter and half turns (depths 1, 2, 4, 8; else 8) ---- */

/* Clockwise quarter turn: destination (row x, column y) = source (row h-1-y, column x). The
 * destination is framed with content width h and height w. 1 no memory, 14 abort. */
int32_t pxlRotate90Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                       int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                       int32_t depth);
/* Counter-clockwise quarter turn: destination (row w-1-x, column y) = source (row y, column x). */
int32_t pxlRotate270Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                        int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                        int32_t depth);
/* Half turn; in place when dst == src (one temporary row: 1 when it cannot be had). */
int32_t pxlRotate180Raw(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t srcFullWidth,
                        int32_t srcFullHeight, int32_t srcBytesPerRow, int32_t dstBytesPerRow,
                        int32_t depth);

/* Wrapper level: framed sources (byte order 0, depth 1/2/4/8, one or three channels). The
 * output is made when *dst is null, else checked (output-image convention). The quarter
 * turns swap the resolutions with the axes and refuse *dst == src (2); a null argument gives
 * 118 (pxlRotate270: 1003 for a null source). pxlRotate180 works in place when *dst == src. */
int32_t pxlRotate90(PxlContext *ctx, Pixr *src, Pixr **dst);
int32_t pxlRotate270(PxlContext *ctx, Pixr *src, Pixr **dst);
int32_t pxlRotate180(PxlContext *ctx, Pixr *src, Pixr **dst);

/* ---- Small-angle rotation by simultaneous shears (depths 1, 2, 4, 8) ----
 * Angles in units of 1/32768 of a turn, at most 910 either way (else 9); x and y dpi whole.
 * The three shears of a rotation (horizontal by -tan(a/2), vertical by sin a, horizontal by
 * -tan(a/2), whole pixels about (w / 2, h / 2)) done in one pass from the destination: a
 * point lands within about a pixel of its true rotation, and -a undoes a. smooth
 * non-zero shifts a run by one pixel where that keeps a horizontal stroke from breaking at
 * a run seam. 2 when the resolutions differ by more than 1 and one of them is 0 (or either
 * is negative), or when a rate scaled by their ratio exceeds twice the rate of 910 units;
 * 1 no memory; 14 abort. */
int32_t pxlShearRotateCopy(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                           int32_t fullHeight, int32_t srcBytesPerRow, int32_t units, uint8_t *dst,
                           int32_t dstBytesPerRow, int32_t depth, int32_t smooth, int32_t xDpi,
                           int32_t yDpi);
int32_t pxlShearRotateInPlace(PxlContext *ctx, uint8_t *data, int32_t fullWidth, int32_t fullHeight,
                              int32_t bytesPerRow, int32_t units, int32_t depth, int32_t smooth,
                              int32_t xDpi, int32_t yDpi);
/* The same with the angle in radians (9 when its units, truncated, exceed 910 either way or
 * it is not finite); the rotation uses the angle as given. */
int32_t pxlShearRotateCopyRadians(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                  int32_t fullHeight, int32_t srcBytesPerRow, double angle,
                                  uint8_t *dst, int32_t dstBytesPerRow, int32_t depth,
                                  int32_t smooth, int32_t xDpi, int32_t yDpi);
int32_t pxlShearRotateInPlaceRadians(PxlContext *ctx, uint8_t *data, int32_t fullWidth,
                                     int32_t fullHeight, int32_t bytesPerRow, double angle,
                                     int32_t depth, int32_t smooth, int32_t xDpi, int32_t yDpi);

/* ---- Rotation by shears (wrapper level, unit shearops) ---- */

/* Turns src by angle (|angle| <= 0.78534, finite; else 2). keepSize non-zero: a result of
 * src's size (in place when *dst == src; small angles through the one-pass rotation, larger
 * ones by three shears); keepSize 0: a larger result holding the whole turned image (two
 * shears below 0.12 radian, three above; equal resolutions required). */
int32_t pxlRotateByShear(PxlContext *ctx, Pixr *src, float angle, int32_t keepSize, uint8_t mode,
                         Pixr **dst);
/* New image: vertical shear by sin(angle), then horizontal shear by -sin(angle) (a turn
 * by angle without the cosine: see shearimg.cpp). */
int32_t pxlRotateByTwoShears(PxlContext *ctx, Pixr *src, float angle, int32_t spare, Pixr **dst);
/* New image: horizontal by -tan(angle/2), vertical by sin(angle), horizontal by -tan(angle/2). */
int32_t pxlRotateByThreeShears(PxlContext *ctx, Pixr *src, float angle, int32_t spare, Pixr **dst);
/* New, larger image holding src sheared (direction 1 horizontal: row y moves by about
 * factor x (y - h/2); 2 vertical: column x moves by about factor x (x - w/2)). */
int32_t pxlShearImage(PxlContext *ctx, Pixr *src, int32_t direction, float factor, int32_t spare,
                      Pixr **dst);
/* Three-shear rotation of an image within its own size. */
int32_t pxlRotateInPlace(PxlContext *ctx, float angle, Pixr *image);
/* One-pass rotation of an image within its own size; |angle| > 0.12 gives 2, below 0.002
 * nothing is done. */
int32_t pxlRotateSmallInPlace(PxlContext *ctx, float angle, uint8_t mode, Pixr *image);

NORV_EXTERN_C_END

#endif
