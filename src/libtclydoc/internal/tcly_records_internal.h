// Records of the token document: the per-page record of the open section and the token record
// that the page-to-token step makes for every component it keeps. The symbol record from which
// section and page symbol dictionaries are coded (TclySymbolRecord) is the JBIG2 output's.
//
// Fields that hold a list, a bitmap or another record are pointers (LP64); the rest keep the
// widths of the coded formats. Token records come from pool class 6 of the library state
// (tclyTakeToken), which must hold sizeof(TclyToken); tclyReleaseToken gives one back with
// its run list and, when the token owns it, its bitmap. A token's bitmap is its own while it
// is drawn or deskewed for it alone; once the token is handed to the lossy classifier (which
// takes the rows over) or takes its class's bitmap, the pointer is borrowed.
//
// Run list of a generic region: runCount triples (row from the region's top, first column,
// last column), columns relative to the region's left column, inclusive, rows in any order.
//
// Classes of a section are the lossy classifier's output classes (TokOutClass) with member
// records whose user value is the member's TclyToken. A class that has been coded points to
// its symbol record through head.user (0 until then), so that later pages refer to the same
// symbol.
#ifndef TCLY_RECORDS_INTERNAL_H
#define TCLY_RECORDS_INTERNAL_H

#include <cstdint>

#include "jbig2_output.h"  // TclySymbolRecord, shared with the JBIG2 output
#include "qtz_adt.h"
#include "qtz_state.h"

struct TclyBandedPage;

// One token of a page: a component kept as a bitmap (a symbol instance), or a generic region
// kept as a run list until it is coded.
struct TclyToken {
  uint16_t width;
  uint16_t height;
  uint32_t *bits;        // packed rows, most significant bit leftmost; null until drawn
  uint16_t wordsPerRow;  // (width + 31) / 32
  TclyToken *self;
  int32_t x;                 // left column
  int32_t y;                 // top row while collecting; bottom row (top + height - 1) once placed
  void *classLink;           // the class the token joined, or null
  int32_t page;              // document-wide page number
  uint16_t *runs;            // generic regions: (start, end) column pairs, last row first
  int32_t runCount;          // pairs in runs
  uint16_t colour[2];        // colour tokens: two 16-bit colour words
  TclySymbolRecord *symbol;  // the symbol record the token is coded with, or null
  uint8_t ownsBits;          // 1: bits belongs to the token and goes with it
  uint8_t notCoded;          // generic regions: 1 once deskewing has replaced the bitmap that
                             // was to be coded (the region is coded afresh); not read yet
};

// The per-page record of the open section.
struct TclyPageRecord {
  int32_t pageNumber;       // document-wide, from 0
  int32_t sectionIndex;     // index of the page within its section
  int32_t colour;           // 1 for a colour page
  QtzAdtList *tokens;       // TclyToken records handed to the classifier
  int32_t tokenCount;       // must equal tokens->count
  QtzAdtList *smallTokens;  // colour pages: TclyToken records kept by position
  int32_t addCount;         // added to the document's running total (colour: small tokens)
  QtzAdtList *generics;     // TclyToken records with run lists (generic regions)
  int32_t width;
  int32_t height;
  int32_t splitRow;  // the page is coded as rows [0, splitRow) and [splitRow, height)
  int32_t xdpi;
  int32_t ydpi;
  float skewAngle;             // radians; 0 when the page is not deskewed
  int32_t deskewCount;         // tokens that need a deskewed bitmap of their own
  int32_t dictionaryEstimate;  // bytes the page adds to the symbol dictionary
  int32_t compressedEstimate;  // bytes the page adds to the compressed document
  int32_t privateSymbolCount;  // symbols of the page's own dictionary
  QtzAdtList *halftones;       // halftone region records
  QtzAdtList *halftoneData;    // one image per halftone region, in list order
  TclyBandedPage *banded;      // the banded-page context while a banded page is open
};

// The bottom row of a symbol instance or region of `height` rows kept on a page of pageHeight
// rows. Text regions place an instance by its reference corner, the bottom-left pixel, so the
// stored row is the bottom row: at most the page's last row (pageHeight - 1), then at least
// height - 1 so that the top does not lie above row 0 (a symbol taller than the page keeps its
// top on row 0). A symbol touching the last row keeps its place.
int32_t tclyPlacedBottomRow(int64_t bottom, int32_t height, int32_t pageHeight);

// A token record from pool class 6, zeroed, with its self link set. 1 when the pool fails
// (reported).
int32_t tclyTakeToken(QtzState *state, TclyToken **out);
// Gives the record back to its pool with its run list and owned bitmap; null is ignored.
void tclyReleaseToken(QtzState *state, TclyToken *token);
// Releases every token of a list, then the list; a null list is ignored.
void tclyFreeTokenList(QtzState *state, QtzAdtList *list);
// Releases every symbol record of a list (records and bitmaps from the state's allocate hook),
// then the list; a null list is ignored.
void tclyFreeSymbolList(QtzState *state, QtzAdtList *list);

#endif
