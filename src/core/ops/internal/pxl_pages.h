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
 * where the grey value reaches the local threshold (bright), 0 on the ink; the page's size
 * (option 0), 3/2 of it (1) or twice it (2). Thresholds are chosen per high-contrast area on
 * a copy of the page at about 100 dpi and spread over the page at 50 dpi. darkLimit raises a
 * very low contrast threshold up to that level (at most 255) while fewer than 1/25 of the
 * contrast pixels lie at or below it. *result must be null (120; 118 for a null result
 * pointer); 2 for a size option other than 0, 1 or 2 and for a page whose working copy
 * would be smaller than 2 x 2 pixels. */
int32_t pxlBinarizeImage(PxlContext *ctx, Pixr *image, int32_t options, int32_t darkLimit,
                         Pixr **result);

/* The components of a one-channel 1-bit page, at least minWidth x minHeight (4-connected),
 * that a halftone screen leaves: spanning half the page or more both ways, with a run per
 * row of their box or more, less than a quarter full, runs shorter than a quarter of the
 * page on average, and fewer than minHeight row changes that start in the box's right half
 * or end in its left half. They are painted into a new 1-bit image of the page's size and
 * resolution; *result stays null when none qualifies. 118 null page or result pointer, 120
 * *result not null. */
int32_t pxlSelectHalftoneComponents(PxlContext *ctx, Pixr *page, int32_t minWidth,
                                    int32_t minHeight, Pixr **result);

/* The boxes of a 1-bit page's text lines set to 1 in *result: the given image (the page's
 * width and height, else 2; its pixels are kept), or a new one at the page's resolution R
 * in whole dots per inch when *result is null. Components that the size and shape rules
 * take for rules, bars or pictures are dropped; the rest are merged side by side into line
 * groups, and where the page has a text line, groups that are not lines are dropped. 7003
 * for a page below 10 dpi (resolution fields below half a dot per inch are read as whole
 * dots per inch). flag is reserved (0). */
int32_t pxlComputeImageInfo(PxlContext *ctx, Pixr *page, Pixr **result, int32_t flag);

NORV_EXTERN_C_END

#endif
