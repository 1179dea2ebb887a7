// Logic operations and copy as the other operations call them: the same work as impAnd, impOr,
// impXorS and impCopy, returning the status of the call (0 or the status reported) instead of
// clearing and leaving it in the error context; and the mask and whole-image helpers they share.
#ifndef IMP_LOGIC_INTERNAL_H
#define IMP_LOGIC_INTERNAL_H

#include <cstdint>

#include "imp_ops.h"

int32_t ownAndImages(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst);
int32_t ownOrImages(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst);
int32_t ownXorSImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t value);
int32_t ownCopyImage(ImpImageHeader *src, ImpImageHeader *dst);
// An untiled image holding all pixels of an image (tiled or not; its region and mask are not
// copied, nor given to the copy), allocated from the C heap also for float images; null when
// memory or a tile is missing.
ImpImageHeader *ownUntiledCopy(ImpImageHeader *image);

// No mask: null, kind 0; one: that mask, kind 0; two or three: a new 1-bit "GRAY"/"G" image of
// their common region size holding the AND of their bits (kind 1, the caller releases it with
// header and data); kind 2 when it cannot be allocated; kind 3 when the common area is empty.
ImpImageHeader *ownCombineMasks(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *c,
                                int32_t *kind);

// 1 when flag is 0 and the untiled images (c may be null) have the same data size, width,
// height, alignment and row step, data size = rows x row step (x planes), and every roi starts
// at 0,0, covers the image and has a non-zero coi on a one-channel image: their data blocks
// can be combined word by word.
int32_t ownIsWholeImageOp(const ImpImageHeader *a, const ImpImageHeader *b, const ImpImageHeader *c,
                          int32_t flag);

#endif
