// The token utilities as the other libraries of the module call them: framed page bitmaps to
// insert tokens into, and packed insertion at 32-bit page coordinates.
#ifndef TC_UTIL_INTERNAL_H
#define TC_UTIL_INTERNAL_H

#include <cstdint>

#include "pxl_image.h"
#include "qtz_image.h"
#include "qtz_state.h"
#include "tc_util.h"

typedef struct tiff TIFF;  // libtiff's file record

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

// The one reader of token run lists (the convention is written down in qtz_lltok.h): calls
// run(row, first, length) for every run in order, rows counted from 0; a pair of length 0
// moves to row first, a run with first <= the previous run's first + length begins the next
// row. Stops and gives false as soon as run gives false.
template <typename Run>
bool forEachTokenRun(const uint16_t *runs, int32_t count, Run run) {
  int64_t row = 0, previousEnd = -1;  // column after the previous run; -1 after a marker
  for (int32_t i = 0; i < count; ++i) {
    const int64_t first = runs[2 * i], length = runs[2 * i + 1];
    if (length == 0) {
      row = first;
      previousEnd = -1;
      continue;
    }
    if (previousEnd >= 0 && first <= previousEnd) ++row;
    previousEnd = first + length;
    if (!run(row, first, length)) return false;
  }
  return true;
}

// Page `page` (from 1) of a TIFF file opened with pxlOpenTiffForRead, as tc_readTiffEx reads
// it; a page past the last gives 0 and a null *image. Pages read in order cost the length of
// the file's directory chain once (pxl_tiffpage.h). Statuses as tc_readTiffEx.
int32_t ipReadOpenTiffPage(QtzState *state, TIFF *file, int32_t quarterTurns, int32_t page,
                           TcImage **image);
// The first image of a file of any type the image core reads, turned and palette-expanded;
// width, height and bytes per row are those of the final image. Statuses as tc_readTiff.
int32_t ipReadImageFile(const char *path, int32_t quarterTurns, int32_t *width, int32_t *height,
                        int32_t *bytesPerRow, Pixr **image, QtzState *state);
// The RGB half of tc_convertToPixr, without its argument checks.
int32_t rgbToPixr(QtzState *state, const QtzImage *image, Pixr **pixr);

#endif
