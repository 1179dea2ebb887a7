/*
 * Analyses of scanned pages: binarisation of a grey or colour page with a threshold that
 * varies over the page, the very large, sparse and finely broken components that a halftone
 * screen leaves on a bilevel page, and the boxes of the page's text-like components.
 *
 * Every function takes the context first, polls progress before each call into the core,
 * reports a failure once under its source unit's name and returns the status. Images have a
 * 32-pixel frame; results are new images that the caller destroys.
 */
#ifndef PXL_PAGES_H
#define PXL_PAGES_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Options of pxlBinarizeImage: the size of the result (its own, 3/2 or twice the page's)
 * in the low bits, and a bit that keeps the grey page as it is on dark high-resolution
 * pages. */
enum { PXL_BINARIZE_SIZE_MASK = 0x3FFF, PXL_BINARIZE_NO_REFINEMENT = 0x4000 };

/* Bilevel page from an 8-bit page (one channel, or the main channel of a set of three): 1
 * where the grey value reaches the local threshold (bright), 0 on the ink. Thresholds are
 * chosen per high-contrast area on a copy of the page at about 100 dpi and spread over the
 * page at 50 dpi. darkLimit raises a very low contrast threshold up to that level (at most
 * 255) while fewer than 1/25 of the contrast pixels lie at or below it. *result must be
 * null (120; 118 for a null result pointer); 2 for a size option other than 0, 1 or 2. */
int32_t pxlBinarizeImage(PxlContext *ctx, Pixr *image, int32_t options, int32_t darkLimit,
                         Pixr **result);

/* The components of a 1-bit page, at least minWidth x minHeight (4-connected), that span
 * half the page or more both ways, are less than a quarter full, have short runs and few
 * rows with more than one run start past the middle, painted into a new 1-bit image of the
 * page's size; *result stays null when none qualifies. 118 null image, 120 *result not
 * null. */
int32_t pxlSelectHalftoneComponents(PxlContext *ctx, Pixr *page, int32_t minWidth,
                                    int32_t minHeight, Pixr **result);

/* The boxes of a 1-bit page's components that its size and shape rules keep (text lines
 * and words; long thin rules, big sparse and big solid components are dropped), merged
 * side by side into groups, set to 1 in *result: the given image (the page's size, else
 * 2), or a new one at the page's resolution when *result is null. 7003 for a page below
 * 10 dpi. flag is reserved (0). */
int32_t pxlComputeImageInfo(PxlContext *ctx, Pixr *page, Pixr **result, int32_t flag);

NORV_EXTERN_C_END

#endif
