// What the halftone units share: the grey table and the dot patterns of a screen cell, the
// merging of overlapping regions, and the copy of a region out of a page.
#ifndef HALFTONE_INTERNAL_H
#define HALFTONE_INTERNAL_H

#include <cstdint>

#include "pxl_image.h"
#include "qtz_adt.h"
#include "qtz_halftone.h"
#include "qtz_state.h"

namespace htr {

// The largest cell the grey reduction and the patterns take: a cell's white counts 0 .. c^2
// must fit an 8-bit grey value (cell 16 is folded into 0 .. 255).
inline constexpr int32_t kMaxCell = 16;

// Grey levels of a cell: c^2 for cells 4 and 16 (the c^2 + 1 white counts folded into c^2
// values), c^2 + 1 otherwise.
int32_t greyLevelCount(int32_t cell);

// The grey value of a cell with `whites` white pixels (0 .. c^2).
int32_t greyValue(int32_t cell, int32_t whites);

// The `count` dot patterns of a cell, full cell first and empty cell last: pattern k is rows
// k * cell .. k * cell + cell - 1 of *bits, one word per row, leftmost pixel in the top bit. A
// new block from the state's hooks. 10003 for a cell outside 1 .. 16 or a count outside
// 2 .. c^2 + 1; 1 (reported) without memory.
int32_t buildPatterns(QtzState *state, int32_t cell, int32_t count, uint32_t **bits);

// Merges the regions of the list whose boxes overlap into their union boxes (the surviving
// record keeps the first one's cell size and key; the other is freed). Cannot fail.
void mergeOverlapping(QtzAdtList *regions, QtzState *state);

// A new framed image of the region's size with the page's depth and resolution holding the
// page's pixels there (0 beyond the page). Core statuses pass on.
int32_t copyRegion(QtzState *state, Pixr *page, const QtzHalftoneRegion *region, Pixr **out);

// Appends data to the list; 1 reported when the node cannot be made.
int32_t appendOrReport(QtzState *state, QtzAdtList *list, void *data);

}  // namespace htr

#endif
