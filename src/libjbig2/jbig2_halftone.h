// Placing the patterns of a halftone region (ITU-T T.88 6.6.5.2) into the region's bitmap, whose
// gray values are all below the dictionary's pattern count.
//
// drawHalftoneCells blits the pattern of each grid cell with the region's combination operator,
// cell by cell: the plain procedure, for every grid, and the differential twin of the row
// placement. drawHalftoneRowsOr serves the usual case (halftoneRowsApply): OR, a grid without
// rotation (HRY 0, so every cell of a grid row starts on the same bitmap row) and patterns at
// most 32 pixels wide. For each bitmap row that a grid row covers it ORs one pattern row word
// per cell into one or two bitmap words, with no blit call per cell; bits past the width are
// cleared once per row.
#ifndef NORV_JBIG2_HALFTONE_H
#define NORV_JBIG2_HALFTONE_H

#include "jbig2_generic.h"

void drawHalftoneCells(const Jbig2Bitmap &image, const Jbig2HalftoneData &h,
                       const Jbig2PatternDictData &dict, QtzBlitOp op);
bool halftoneRowsApply(const Jbig2HalftoneData &h, const Jbig2PatternDictData &dict);
void drawHalftoneRowsOr(const Jbig2Bitmap &image, const Jbig2HalftoneData &h,
                        const Jbig2PatternDictData &dict);

#endif
