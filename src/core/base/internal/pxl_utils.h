/*
 * Small services of the image core: string concatenation into a new buffer and the
 * fixed-point sine and arctangent of the core's angle unit.
 *
 * Angle unit: 0x8000 (32768) is a full turn, 0x2000 a quarter turn. Sines are Q15 fractions
 * (32768 = 1.0). Both functions stay within 2 units of the exact values.
 */
#ifndef PXL_UTILS_H
#define PXL_UTILS_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* New zero-filled buffer of strlen(a) + strlen(b) + 8 bytes from the record set holding a
 * followed by b; a null text counts as empty. 1 no memory, 118 null out. */
int32_t pxlConcatStrings(PxlContext *ctx, const char *a, const char *b, char **out);

/* Q15 sine of angle; 2 (not reported) when angle lies outside -0x8000..0x8000. */
int32_t pxlFixedSin(PxlContext *ctx, int32_t angle, int32_t *out);

/* Angle of the vector (x, y) in -0x4000..0x4000. x = y = 0 gives 0 with status 2; |x| or
 * |y| >= 0x8000 gives 32769 with status 2 (not reported). */
int32_t pxlFixedAtan2(PxlContext *ctx, int32_t x, int32_t y, int32_t *out);

NORV_EXTERN_C_END

#endif
