// Token deskew: instead of turning a skewed page as a whole, its skew is measured, its token
// positions are turned about the page centre, and only the symbols, classes and generic
// regions large enough for the skew to move their far edge by more than two pixels get
// bitmaps of their own, turned by the page's angle.
//
// Size threshold of a page with skew angle a: T = trunc(|2 / sin a|); an object W x H needs
// deskewing on that page when T != 0 and (W > T or H > T). T is 0 (nothing deskewed) for
// a = 0 and for every angle so small that 2 / |sin a| reaches the largest side a token can
// have (65535): there no object moves two pixels, and the quotient would not fit a word.
//
// Statuses: 1 out of memory (reported), 10003 inconsistent member lists, pages or row widths
// after deskewing; the statuses of the skew measurement, the turns and deskewBitmap pass up
// unchanged.
#ifndef TCLY_DESKEW_INTERNAL_H
#define TCLY_DESKEW_INTERNAL_H

#include <cstdint>

#include "pxl_image.h"
#include "qtz_adt.h"
#include "qtz_state.h"
#include "tcly_records_internal.h"

struct TclyDeskewContext {
  int32_t orientation;        // 0 to 3: how the page is turned before its skew is measured
  int32_t rowStep;            // row step of the skew search: 2 to the power (5 - precision)
  int32_t *thresholds;        // one per page of the section, from counting to deskewing
  int32_t thresholdCount;     // entries of thresholds
  int32_t smallestThreshold;  // smallest non-zero threshold; 2147483647 when none
  QtzState *state;
};

// A context from the encoder's deskewPrecision (clamped to 0 to 5) and orientation. 1 out of
// memory (reported), 2 a null state.
int32_t tclyCreateDeskewContext(QtzState *state, int32_t deskewPrecision, int32_t orientation,
                                TclyDeskewContext **out);
// Frees the context and its thresholds and nulls the pointer; null is ignored.
void tclyFreeDeskewContext(TclyDeskewContext **context);

// The size threshold T of a page with skew angle `angle` (radians).
int32_t tclySkewThreshold(float angle);

// The skew of a framed 1-bit page (turned by the context's orientation first): the measured
// angle when its score is at least 6 and it lies within pi / 6 either way, else 0.
int32_t measurePageSkew(TclyDeskewContext *context, Pixr *page, float *angle);

// Counts, for the pages of a section (its page records, in order) and its classes, the
// tokens that will need a deskewed bitmap of their own: per class with members on two or
// more pages and a side above the smallest page threshold, the members are regrouped page by
// page (pages in the order of their first member) and each page group whose page threshold
// the class exceeds adds one to that page's deskewCount. The thresholds stay in the context.
int32_t countTokensToBeDeskewed(TclyDeskewContext *context, TclyPageRecord *pages,
                                int32_t pageCount, QtzAdtList *classes);

// Deskews the section's large classes page by page (after countTokensToBeDeskewed): a class
// with a symbol record gets a new symbol record per deskewed page (appended to `variants`,
// which owns it and its bitmap) and that page's members take it; a class without one (all
// its members on one page) has its bitmap replaced and goes to `privateList`. Members move
// left by (W' - W) / 2 and down by (H' - H) / 2. The thresholds are freed at the end.
int32_t deskewSectionClasses(TclyDeskewContext *context, QtzAdtList *privateList,
                             TclyPageRecord *pages, int32_t pageCount, QtzAdtList *classes,
                             QtzAdtList *variants);

// Deskews the page's generic regions whose side exceeds the page threshold: a run list is
// drawn into an owned bitmap first (the stored row becomes the bottom row), the bitmap is
// turned (both sides at least 2), and the region is moved by half its growth and kept on the
// page: left column at least 0 with left + W' <= page width, bottom row at most the page's
// last row and at least H' - 1 (the text-region reference corner is the bottom-left pixel).
int32_t deskewPageGenericRegions(QtzState *state, TclyPageRecord *page);

// Turns the positions (left column, bottom row) of `count` tokens about the page centre by
// angle: with integer halves, fx = left + W / 2 - pageWidth / 2 and m = bottom - H / 2 -
// pageHeight / 2 move to floor(cos a fx - sin a m + 0.5) and floor(cos a m + sin a fx + 0.5)
// (extended precision). Rounding to the nearest pixel on both sides of the centre matters:
// truncating v + 0.5 would push every token left of or above the centre by up to a pixel.
// Nothing moves for angle 0.
void rotateTokenPositions(TclyToken *const *tokens, int32_t count, int32_t pageWidth,
                          int32_t pageHeight, float angle);

// Every member of every class takes its class's template (the classes of a section end, whose
// members are TokOutMember records and whose coded classes point to their symbol record
// through head.user; classes without a record are passed over): bitmap (borrowed), size, words
// per row and symbol record. The member's offset is its top-left corner relative to the
// template's, so the template's left column is x - offset x and its top row the member's top
// row - offset y; the member then keeps the template's bottom row, top + template height - 1
// (members hold their top row until now). 10003 for a member without its token.
int32_t applyClassTemplates(QtzState *state, QtzAdtList *classes);

// Sets the pixels of runCount run triples (row, first, last) in packed rows: run row r goes to
// row firstRow + r, its columns shifted by xOffset; whole words are filled at once.
void drawRuns(uint32_t *rows, int32_t wordsPerRow, const uint16_t *runs, int32_t runCount,
              int32_t xOffset, int32_t firstRow);

#endif
