// The operations of the image primitives that the view control's image buffers call. They
// return nothing: a refused call reports through the error layer (imp_image.h) and leaves its
// destination untouched; read the outcome with ownGetErrorStatus().
#ifndef IMP_OPS_H
#define IMP_OPS_H

#include <cstdint>

#include "imp_image.h"

// dst = A AND B, A OR B over the common region (channels of interest, alpha channels, masks and
// tiles honoured); the destination may be one of the sources.
void impAnd(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage);
void impOr(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage);
// dst = src XOR the value replicated to the depth (1-bit: bit 0 of the value for every bit).
void impXorS(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t value);
// dst = NOT src (impXorS with all bits set).
void ownBitwiseNot(ImpImageHeader *srcImage, ImpImageHeader *dstImage);

// Copies the source region into the destination region; with masks only where the mask bit is
// 1 (the source's and destination's masks are ANDed when both are set).
void impCopy(ImpImageHeader *srcImage, ImpImageHeader *dstImage);
// Fills the region (through the mask) with a value limited to the depth's range.
void impSet(ImpImageHeader *image, int32_t fillValue);

#endif
