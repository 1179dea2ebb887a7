// The banded component walker: a page that arrives band by band (rows top to bottom) is turned
// into the same generic regions, small tokens and tokens as a whole page (tcly_boxes_internal.h),
// without the split row search, halftone detection or deskew. Each row is listed as runs a word
// at a time; runs of consecutive rows that overlap or meet diagonally join one component (the
// component with the smaller top row, then the smaller left column, absorbs the other and the
// boxes are united), also across band boundaries. A component that no run of the next row
// touches is complete: with width and height both at least componentSizeLimit it goes to the
// collector, else it is dropped. The last band completes every component.
//
// Bands: rows of native 32-bit words, pixel x of a row at bit frame + x from the most
// significant end of the row's first word (frame 0 or 32), rows bytesPerRow apart.
//
// Statuses: 2 a band whose width is not the page's, a frame other than 0 or 32, too few bytes
// per row, a negative row count or a band after the last; 10003 more rows than the page has or
// a page wider than 32700 pixels; 1 out of memory (reported); a collector failure stops the
// band with the collector's status. After a failure the context only takes tclyFreeBandedPage.
#ifndef TCLY_BANDED_INTERNAL_H
#define TCLY_BANDED_INTERNAL_H

#include <cstdint>

#include "tcly_boxes_internal.h"

// A banded page: page number, compressed-document page value, size and resolutions come from
// page (its pixel pointer is not read); the options and classifiers as for getBoxesLossy.
int32_t tclyStartBandedPage(QtzState *state, TokTokenizer *tokenizer, const TclyPageInput &page,
                            const TclyBoxesOptions &options, const TclyCompressedSide &compressed,
                            TclyBandedPage **out);
int32_t tclyAddBand(TclyBandedPage *banded, const uint8_t *rows, int32_t width, int32_t rowCount,
                    int32_t bytesPerRow, int32_t frame, int32_t last);
// After the last band: hands the page's tokens, boxes, generic regions, counts and estimates
// to out (split row 1, no halftones, no skew); 2 before the last band.
int32_t tclyEndBandedPage(TclyBandedPage *banded, TclyPageBoxes *out);
// Frees the context with whatever it still holds; null is ignored.
void tclyFreeBandedPage(TclyBandedPage **banded);

#endif
