// The token utilities as the other libraries of the module call them: framed page bitmaps to
// insert tokens into, and packed insertion at 32-bit page coordinates.
#ifndef TC_UTIL_INTERNAL_H
#define TC_UTIL_INTERNAL_H

#include <cstdint>

#include "qtz_image.h"
#include "qtz_state.h"
#include "tc_util.h"

// A zeroed 1-bit pixel block laid out as a core image of width x height with the 32-pixel
// frame (from the state's hooks), wrapped whole as a packed image of (width + 64) x
// (height + 64) pixels. Content goes at x = 32 + *bitOffset, y = 32: *bitOffset is 0, or 32
// when the core pads the content to an 8-byte boundary. 1 out of memory (reported), 118 a
// state without an image-core context, else the core's or the wrapper's status; on failure
// nothing is left allocated. Freed with freeFramedBitmap.
int32_t newFramedBitmap(QtzState *state, int32_t width, int32_t height, int32_t *bitOffset,
                        QtzImage **image);
void freeFramedBitmap(QtzState *state, QtzImage **image);

// InsertBoxPacked at page coordinates that need not fit 16 bits.
int32_t insertPackedAt(QtzImage *page, int64_t x, int64_t y, const QtzTokenBitmap *token,
                       bool framed);

#endif
