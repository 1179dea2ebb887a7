// The token document: the lossy-symbol side of a section. It owns the lossy classifier, keeps
// one TclyPageRecord per page of the open section (and stores the compressed document's page
// record beside it), adds bilevel pages whole or band by band and the text components of
// colour pages, keeps the section's dictionary memory estimate against the limit, and ends,
// rolls back or restarts sections.
//
// Sections: tcly_doc_startSection without a previous record makes the classifier and a new
// section record; with one, tcly_doc_cleanSection readies that record for the next section
// (after a final end the classifier starts anew; after a partial end or a roll-back the classes
// coded so far are carried over as templates). A section ends final or partial
// (tcly_doc_endSection, the classes go to section->classes) or by rolling its last page back
// (tcly_doc_endSectionRollBack: the last stored page's members leave every class, classes
// left without members are freed, the page's data is freed).
//
// Class lists are the lossy classifier's output (TokOutClass, members whose user value is the
// member's TclyToken). The encoder marks a class it has coded by pointing head.user at its
// symbol record; a class with head.user 0 has not been coded.
//
// Budget (only with a positive memory limit L): a page stored in a section is weighed as
// E = the page's dictionary estimate + its compressed-document estimate + the section's two
// running estimates. E >= L sets the section's overflow flag (the page stays stored: the
// encoder refuses it and rolls it back); when the page is then the section's only page (a
// bilevel page also needs the section's final flag), "Dicionary Memory limit is too small" is
// reported with code -1 and -1 returned. E < L adds the page's estimates to the running ones
// and clears the flag.
//
// Failures leave the document consistent: every step of a section end, a roll-back or a
// restart that can fail runs before anything changes. A page whose tokens reached the
// classifier but which failed before it was stored leaves members without a page behind; the
// document then refuses section ends, roll-backs and restarts (10003, reported) and only
// tcly_doc_end remains.
//
// The entry points have C linkage for the encoder assembly; they are not part of the installed
// interface.
//
// Statuses: 1 out of memory (reported); 2 a null state in tcly_doc_init; 12 "Need a previous
// section to restart the tokenizer."; 118 a missing document, section or classifier
// (reported); 10003 a token count that disagrees with the token list, a class to drop with
// more than one member, the roll-back of a section with fewer than two pages, a page after a
// failed page; -1 the memory limit is smaller than one page.
#ifndef TCLY_DOC_INTERNAL_H
#define TCLY_DOC_INTERNAL_H

#include <cstdint>

#include "qtz_tdc.h"
#include "tcly_banded_internal.h"
#include "tcly_boxes_internal.h"
#include "tcly_deskew_internal.h"
#include "tcly_records_internal.h"
#include "tok_lossy_internal.h"

// One coded section dictionary kept for the document: symbol records (an array from the
// state's allocate hook, each bitmap from the same hook) and their number.
struct TclySectionOutput {
  TclySymbolRecord *symbols;
  int32_t count;
};

struct TclySection {
  uint8_t final;  // of the last end; 1 after a roll-back and in a new section
  int32_t pageCount;
  int32_t capacity;            // of pages
  TclyPageRecord *pages;       // the section's pages in order, 15 at first
  int32_t dictionaryEstimate;  // bytes of the section's dictionary at its last end
  QtzAdtList *classes;         // TokOutClass records of the last end
  int32_t codedSymbols;        // section symbols coded so far
  int32_t firstPage;           // page number of the section's first page
  int32_t runningEstimate;     // dictionary bytes of the stored pages
  int32_t compressedEstimate;  // compressed-document bytes of the stored pages
  uint8_t overflow;            // 1: the last stored page passed the memory limit
};

struct TclyDoc {
  QtzState *state;
  TokOptions lossy;         // the caller's options with the state filled in
  TokTokenizer *tokenizer;  // none until the first section
  uint8_t one;
  int32_t jbig2Halftones;
  int32_t tenthLimit;
  int32_t componentSizeLimit;
  int32_t resolutionOverride;  // -1: none
  int32_t deskewTokens;
  TclyPageRecord page;  // the page being added, then a copy of the last stored record
  TclySection *section;
  TclyDeskewContext *deskew;  // only with deskewTokens
  QtzAdtList *outputs;        // TclySectionOutput records
  int32_t memoryLimit;        // bytes; 0 or less: none
  int32_t runningTotal;       // grows by each stored page's addCount
  uint8_t pagePending;        // 1 while a page's tokens are in the classifier but not stored
  int32_t pageFirstPosition;  // the banded page's first position in the compressed document
  // The compressed document's current page before the page being added: put back when that
  // page fails before it is stored, so that a roll-back there finds the last stored page.
  QtzTdcPageRecord tdcLastPage;
};

extern "C" {

int32_t tcly_doc_init(QtzState *state, TclyDoc **doc, uint8_t one, int32_t jbig2Halftones,
                      int32_t componentSizeLimit, int32_t resolutionOverride, int32_t tenthLimit,
                      const TokOptions *lossyOptions, int32_t deskewTokens, int32_t deskewPrecision,
                      int32_t orientation, int32_t memoryLimit, int32_t verbose);
int32_t tcly_doc_startSection(TclyDoc *doc, TclySection *previous, int32_t firstPageNumber,
                              int32_t verbose);
// pixels: a framed 1-bit page block of the image core (bytesPerRow x (height + 64) bytes).
int32_t tcly_doc_addMonoPage(const uint8_t *pixels, TclyDoc *doc, QtzTdcDoc *tdc, int32_t width,
                             int32_t height, int32_t bytesPerRow, int32_t xdpi, int32_t ydpi,
                             int32_t pageNumber, int32_t zero);
// The components' bitmaps are taken (freed and cleared), also on failure.
int32_t tcly_doc_addColorTokens(QtzSCTextComponent *components, int32_t count, TclyDoc *doc,
                                QtzTdcDoc *tdc, int32_t width, int32_t height, int32_t bytesPerRow,
                                int32_t xdpi, int32_t ydpi, int32_t pageNumber, int32_t zero);
int32_t tcly_doc_cleanSection(TclyDoc *doc, TclySection *section);
int32_t tcly_doc_endSection(TclyDoc *doc, TclySection **section, uint8_t final, int32_t verbose);
int32_t tcly_doc_endSectionRollBack(TclyDoc *doc, TclySection **section, int32_t verbose);
// Frees the document with everything it holds; section (when not null) is the document's
// section record as handed out by an end.
int32_t tcly_doc_end(TclyDoc *doc, TclySection *section);

// A bilevel page that arrives band by band (bands as tclyAddBand takes them).
int32_t tcly_startPage(TclyDoc *doc, QtzTdcDoc *tdc, int32_t pageNumber, int32_t width,
                       int32_t height, int32_t xdpi, int32_t ydpi);
int32_t tcly_encBufferInPage(TclyDoc *doc, const uint8_t *rows, int32_t width, int32_t rowCount,
                             int32_t bytesPerRow, int32_t frame, int32_t last, int32_t zero);
int32_t tcly_endPage(TclyDoc *doc, QtzTdcDoc *tdc);

}  // extern "C"

// Frees everything a page record owns (token lists, halftones, a banded context) and zeroes it.
void tclyFreePageData(QtzState *state, TclyPageRecord *page);

#endif
