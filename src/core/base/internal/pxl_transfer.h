/*
 * Image-level raster transfer: the rasterop between two images (channel by channel), one
 * pixel, inversion, rectangle extraction, filling and clearing, cropping in place, giving
 * an image a 32-pixel frame, and the output-image convention that every operation which
 * produces an image follows.
 *
 * Output-image convention. An operation that produces an image takes the address of the
 * caller's Pixr pointer. When it holds null the operation creates the output; when it holds
 * an image, pxlCheckOutputImage decides whether that image may serve: channel count, colour
 * code, colour map (same pointer), depth and frame equal, resolutions within one dot per
 * inch (65536 in 16.16), and width and height at most the required size and short of it by
 * no more than the frame width. shortX / shortY report the shortfall in columns and rows, so
 * that the operation can clear what it spilled into the frame (pxlClearFrameSpill). An
 * image larger than the required size is refused (status 2): an operation never has to
 * produce more than its source covers. An output created by a failing call is destroyed.
 *
 * Every function takes the context first, returns a status and reports each failure once.
 */
#ifndef PXL_TRANSFER_H
#define PXL_TRANSFER_H

#include "pxl_image.h"
#include "pxl_rasterop.h"

NORV_EXTERN_C_BEGIN

/* Combines the rectangle (sx, sy, width, height) of src (or the constant of op when src is
 * null) into dst at (dx, dy), channel by channel. In clipping mode the rectangle is cut to
 * the contents of both images. 111 when the channel counts differ. */
int32_t pxlRasterOp(PxlContext *ctx, int32_t sx, int32_t sy, Pixr *src, PxlRopCode op, int32_t dx,
                    int32_t dy, int32_t width, int32_t height, Pixr *dst);

/* One pixel of a framed single-channel 1-, 2-, 4- or 8-bit image; 100 outside the content. */
int32_t pxlGetPixel(PxlContext *ctx, Pixr *image, int32_t x, int32_t y, int32_t *value);

/* *dst = NOT src (framed, depths 1-8, one or three channels); in place when *dst == src. */
int32_t pxlInvertImage(PxlContext *ctx, Pixr *src, Pixr **dst);
/* Inverts the content of a single-channel image; padding bits after each row stay. */
int32_t pxlInvertImageInPlace(PxlContext *ctx, Pixr *image);

/* New framed image holding the rectangle (clipped to the content; null = whole image).
 * *out must be null (120). */
int32_t pxlExtractRect(PxlContext *ctx, Pixr *image, const PxlRect *rect, Pixr **out);

/* Sets every pixel of the rectangle (clipped to the content; null = whole content) of a
 * framed 1-, 2-, 4- or 8-bit image to values[channel] (masked to the depth; at depth 1 any
 * non-zero value sets the pixel). */
int32_t pxlFillRect(PxlContext *ctx, Pixr *image, const PxlRect *rect, const uint8_t *values);

/* Sets every content pixel of a framed image to 0. */
int32_t pxlClearImage(PxlContext *ctx, Pixr *image);

/* Crops a framed image in place to the rectangle clipped to the content, keeping the frame.
 * 2 (not reported, image unchanged) for a negative size or a rectangle that misses the
 * content: x + width < 0, y + height < 0, x >= width or y >= height of the image. A rectangle
 * that ends exactly at the left or top edge (x + width = 0, y + height = 0) is not refused: it
 * gives 0 and leaves an image 0 pixels wide (or high). */
int32_t pxlCropImage(PxlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height,
                     Pixr *image);

/* New image with a 32-pixel frame holding an unframed single-channel source; *out must be
 * null. A framed source gives 2. */
int32_t pxlCreateFramedCopy(PxlContext *ctx, Pixr *src, Pixr **out);
/* Gives an unframed single-channel 1-, 2-, 4- or 8-bit image a 32-pixel frame, growing its
 * pixel block to the framed layout first. */
int32_t pxlFrameImageInPlace(PxlContext *ctx, Pixr *image);
/* Copies a 1-, 2-, 4- or 8-bit image (frame 0 or 32, one or three channels) into an image
 * with a 32-pixel frame, made or checked by pxlEnsureOutputImageSet. */
int32_t pxlCopyToFramedImage(PxlContext *ctx, Pixr *src, Pixr **dst);

/* Output images. created may be null; shortX and shortY may not (2). *created = 1 when the
 * call made the image (the caller destroys it again if it fails later). */
int32_t pxlEnsureOutputImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                             int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **image,
                             int32_t *shortX, int32_t *shortY, int32_t *created);
int32_t pxlEnsureOutputImageSet(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                int32_t xResolution, int32_t yResolution, int32_t frame,
                                int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                Pixr **image, int32_t *shortX, int32_t *shortY, int32_t *created);
int32_t pxlEnsureOutputImageLike(PxlContext *ctx, Pixr *templ, Pixr **image, int32_t *shortX,
                                 int32_t *shortY, int32_t *created);
int32_t pxlCheckOutputImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                            int32_t xResolution, int32_t yResolution, int32_t frame,
                            int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                            Pixr *image, int32_t *shortX, int32_t *shortY);

/* Clears `columns` frame columns right of the content and `rows` frame rows below it in
 * every channel of a framed image; 2 when either exceeds 32. */
int32_t pxlClearFrameSpill(PxlContext *ctx, Pixr *image, int32_t columns, int32_t rows);

NORV_EXTERN_C_END

#endif
