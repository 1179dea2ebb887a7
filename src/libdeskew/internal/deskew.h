// Deskew of packed bitmaps: rows (leftmost pixel in the most significant bit of 32-bit words,
// wordsPerRow apart) turned by an angle in radians through the image core's shear rotation
// (a larger image holding the whole turned bitmap), cut to the bounding box of its black
// pixels, no larger than maxWidth x maxHeight (the box keeps its top-left corner), and handed
// back as new packed rows of (new width + 31) / 32 words from the state's allocate hook.
//
// A bitmap without black pixels (before or after turning) gives status 0 with no rows and a
// size of 0. Bits of a source row past the width are ignored. Statuses: 118 a null
// out-pointer, 120 an out-pointer that already holds rows (both reported), 2 sizes below 0 or
// words per row too few for the width, 1 out of memory (reported), the core's statuses of
// creation, rotation (2 for |angle| above 0.78534) and cropping. Nothing is handed out on
// failure. The core calls run on the state's first image-core context.
#ifndef DESKEW_H
#define DESKEW_H

#include <cstdint>

#include "pxl_image.h"
#include "qtz_state.h"

namespace deskew {

int32_t deskewBitmap(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                     uint32_t **newRows, int32_t *newWidth, int32_t *newHeight,
                     int32_t *newWordsPerRow, float angle, int32_t maxWidth, int32_t maxHeight,
                     QtzState *state);

// The smallest rectangle holding every black pixel of a 1-bit core image; false (and an empty
// box at 0, 0) when there is none.
bool findBlackBoundingBox(PxlContext *ctx, Pixr *image, int32_t *x, int32_t *y, int32_t *width,
                          int32_t *height);

// Index (0 least significant) of the highest set bit of a non-zero word.
int32_t highestSetBit(uint32_t word);

}  // namespace deskew

#endif
