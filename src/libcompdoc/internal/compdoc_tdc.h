// The compressed document's step for the encoder: the classes of a section's output turned
// into symbol bitmaps.
#ifndef COMPDOC_TDC_H
#define COMPDOC_TDC_H

#include <cstdint>

#include "qtz_tdc.h"

// Makes a symbol bitmap (QtzTokenBitmap, words per row (width + 31) / 32, colour null) for
// every class of output that has members on stored pages. A class whose members all lie on
// one page is page-local: its bitmap (kind 1 in compressedSize) goes to that page's symbol
// array (capacity: its page-local count plus pageExtras[page]; symbolCount counts what was
// filled) and the class leaves the output and is freed. Every other class with members is
// shared: its bitmap (kind 0) goes to *shared (room for *sharedCount + extraShared records)
// and the token block's entry of its class becomes its index there. Each member's box gets
// token = the bitmap's index in its array and flags 1 for a page-local bitmap, 0 for a
// shared one; member lists are emptied. With freeAll every class is freed and the output
// left empty; otherwise the classes left are renumbered 0, 1, ... in output order (their
// token block entries move with them) and the section's carried token count becomes their
// number, ready for the classifier to be resumed from the output. pageExtras may be null.
// 1 out of memory, 10003 a member whose position or box is out of range; on failure nothing
// has changed.
int32_t tdcMakeSectionBitmaps(QtzState *state, QtzAdtList *output, QtzTdcSection *section,
                              QtzTokenBitmap **shared, int32_t *sharedCount, int32_t freeAll,
                              int32_t extraShared, const int32_t *pageExtras);

#endif
