// Records of the token document: the per-page record of the open section, the symbol record
// from which section and page symbol dictionaries are coded, and the token record that the
// page-to-token step makes for every component it keeps.
//
// Fields that hold a list, a bitmap or another record are pointers (LP64); the rest keep the
// widths of the coded formats. Token records come from pool class 6 of the library state
// (tclyTakeToken), which must hold sizeof(TclyToken); tclyReleaseToken gives one back with
// its bitmap and run list.
#ifndef TCLY_RECORDS_INTERNAL_H
#define TCLY_RECORDS_INTERNAL_H

#include <cstdint>

#include "qtz_adt.h"
#include "qtz_state.h"

struct TclySymbolRecord;
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

// One symbol of a section or page dictionary.
struct TclySymbolRecord {
  uint32_t *bits;             // packed rows
  TclySymbolRecord *earlier;  // the same symbol in an earlier dictionary, or null
  uint8_t pageDictionary;     // 1 for a page-private symbol (page dictionaries on)
  uint16_t width;
  uint16_t height;
  uint16_t wordsPerRow;
  uint8_t emitted;  // 0 until the symbol has been coded into a dictionary
};

// A token record from pool class 6, zeroed, with its self link set. 1 when the pool fails
// (reported).
int32_t tclyTakeToken(QtzState *state, TclyToken **out);
// Gives the record back to its pool with its bitmap and run list; a null token is ignored.
void tclyReleaseToken(QtzState *state, TclyToken *token);
// Releases every token of a list, then the list; a null list is ignored.
void tclyFreeTokenList(QtzState *state, QtzAdtList *list);

#endif
