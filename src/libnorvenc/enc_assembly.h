// The encoder assembly: the three layers that turn accepted pages into JBIG2 data, joined.
//
// The token document (tcly_doc_*) classifies a page's tokens into the lossy classes and keeps
// one page record per page; the compressed document (QtzTdc_*) keeps the lossless side of the
// same pages; the JBIG2 output (tcly_out_*) drives the JBIG2 back end through its TclyOutOps
// table. The assembly builds them from the option groups of NorvEncState, opens and ends
// sections, tests the section's dictionary budget before each page, and produces for each
// ended section first the dictionary bytes (encodeSectionGlobals), then each page's bytes
// (encodeSectionPages, one call per page in page order).
//
// Life cycle of a section:
//   startEncoderSection -> addBilevelPage / addColorTokensPage / addMonoBand ... ->
//   closeSection (final, flush, or a roll-back when the overflow byte is set) ->
//   encodeSectionGlobals -> encodeSectionPages once per page -> startEncoderSection.
// Every section end leaves the restart flag set: the next section resumes from the ended
// section's records (after a final end the classifiers start anew there; after a flush that
// ends the section non-final they keep their classes, so later pages refer to the same
// symbols).
//
// Page data: the bytes of encodeSectionGlobals are the section's symbol dictionary segment
// (none when no symbol is shared by two pages); each page's bytes are its page information,
// page dictionary, regions, end of stripe and end of page segments. One segment numbering runs
// through the whole document, so a page's bytes follow the dictionary bytes of its own section
// (and of earlier sections whose dictionaries it still refers to when a flush carried classes).
//
// Statuses: 10003 an encoder record that does not point to itself, per-section lists not
// empty at the end of a section, an instance whose token has no symbol record; 118 a budget
// test on a document without its section records; 1 out of memory (reported); the statuses
// of the layers below pass up unchanged. After a failure the encoder only takes
// destroyEncoder.
#ifndef NORV_ENC_ASSEMBLY_H
#define NORV_ENC_ASSEMBLY_H

#include <cstddef>
#include <cstdint>

#include "norv_enc.h"
#include "qtz_image.h"
#include "qtz_sc.h"
#include "qtz_state.h"
#include "qtz_tdc.h"
#include "tcly_doc_internal.h"
#include "tcly_out_internal.h"
#include "tok_lossy_internal.h"

// One accepted page as the driver hands it on: a bilevel page's framed packed rows (the image
// core's page block, 32-pixel frame) or none for a colour page.
struct NorvPageSource {
  const uint8_t *pixels;  // none for a colour page
  int32_t width;
  int32_t height;
  int32_t bytesPerRow;  // 0 marks a colour page
  int32_t xdpi;
  int32_t ydpi;
};

// The token-document option group of NorvEncState (componentSizeLimit to writePdf).
struct NorvTokenGroup {
  int32_t componentSizeLimit;
  int32_t tokenOption1;
  int32_t deskewPrecision;
  int32_t orientation;
  int32_t quarterTurns;
  uint8_t jbig2Halftones;
  int32_t resolutionOverride;
  uint8_t spare[2];
  uint8_t deskewTokens;
  uint8_t pageDictFlagOff;
  int32_t outputMode;
  uint8_t tenthLimit;
  int32_t dictionaryMemoryLimit;  // bytes, as the general setter stored it; <= 0: no limit
  uint8_t verbose;
  uint8_t writePdf;
};

// The compressed-document option group (docFirstWord to quiet). Its first two fields are the
// lossless classifier's parameters (flags, state), which the compressed document links to.
struct NorvDocGroup {
  QtzLlTokParams classifier;  // docFirstWord, docState
  int32_t componentSizeLimit;
  int32_t words[2];
  int32_t option;  // 301: the colour finder's wash threshold, passed as 16 bits
  int32_t option2;
  uint8_t flags[4];  // the first two go to QtzTdc_initDoc
  uint8_t jbig2Halftones;
  uint8_t verbose;
  int32_t trailingWords[2];
  uint8_t quiet;
};

// The JPEG option group (jpegScale to noSymbolMatching).
struct NorvJpegGroup {
  float scale;
  int32_t qualityCopy;
  int32_t quality;
  int32_t backgroundDpi;
  uint8_t noSymbolMatching;
};

// The groups as NorvEncState holds them. The lossy group is laid out as the classifier's
// options (fields 0 to 13 copied, dilation code 0, flags, state and hook as stored).
NorvTokenGroup norvTokenGroupOf(const NorvEncState &enc);
TokOptions norvLossyGroupOf(const NorvEncState &enc);
NorvDocGroup norvDocGroupOf(const NorvEncState &enc);
NorvJpegGroup norvJpegGroupOf(const NorvEncState &enc);

// Where a page's own symbol records lie in NorvEncoder::symbols: its lossy classes used on it
// alone, then its compressed-document page-local bitmaps, then its colour small tokens.
struct NorvPageSymbols {
  int32_t first;
  int32_t count;
  int32_t tdcFirst;    // the first compressed-document page-local record
  int32_t smallFirst;  // the first colour small-token record
};

struct NorvEncoder {
  NorvEncoder *self;  // validity check: every operation gives 10003 unless self == this
  QtzState *state;    // the encoder's own library state; every record below comes from it
  TclyOutput *out;    // the JBIG2 output
  TclyDoc *doc;       // the token document
  QtzTdcDoc *tdc;     // the compressed document
  int32_t pageCount;  // pages added to the open section
  uint8_t verbose;
  uint8_t sectionOpen;
  uint8_t restart;             // the next section resumes from the ended one's records
  uint16_t pageIndex;          // the page being written, from 0 within the section
  uint8_t overflow;            // the token document reported the budget exhausted
  uint8_t sectionFinal;        // how the last section ended (1 final, 0 flush)
  TclySection *section;        // the token document's record handed out by the last end
  QtzTdcSection *tdcSection;   // the compressed document's record of the last end
  TclyOutOps *ops;             // the back end's table (TclyOutput keeps a copy)
  TokOptions *lossy;           // the lossy option copy
  NorvDocGroup *docOptions;    // the compressed-document option copy
  QtzTdcJpegParams jpeg;       // scale and quality of image strips and the output
  TclySymbolRecord *symbols;   // the section's symbol records (section ones first)
  int32_t symbolCount;         // records in symbols
  int32_t sectionSymbolCount;  // the shared (section dictionary) records among them
  int32_t tdcSharedFirst;      // the compressed document's shared records among them
  int32_t tdcSharedCount;
  NorvPageSymbols *pageSymbols;  // per page of the ended section: its own records
  uint8_t colourFlag;            // the page being written carries colour tokens
  uint8_t bandRefused;           // the banded page being fed was refused by the budget
  uint8_t *colourPayload;        // the colour payload of the page being written
  size_t colourPayloadLength;
};

// Makes the encoder: its own library state (allocTable and pools: the caller's hooks, null for
// the defaults; the standard error stream with the file printer), the TclyOutOps table of the
// JBIG2 back end, the lossy and compressed-document option copies (defaults when a group is
// null), the token document, the compressed document and the JBIG2 output. No section is open
// yet. On failure nothing is left and *encoder is unchanged; 1 out of memory (reported), 118 a
// null encoder pointer or token group, else the failing layer's status.
int32_t buildEncoder(NorvEncoder **encoder, const QtzAllocTable *allocTable,
                     const QtzPoolCallbacks *poolCallbacks, const NorvTokenGroup *tokenGroup,
                     const TokOptions *lossyGroup, const NorvDocGroup *docGroup,
                     const NorvJpegGroup *jpegGroup);

// Frees everything the encoder holds, its library state last; a layer that fails to close is
// reported as the warning "Problem cleaning up; continuing anyway." (code -2) and the rest goes
// on. 0 for null; 10003 for a record that does not point to itself (left alone).
int32_t destroyEncoder(NorvEncoder *encoder);

// Opens a section (nothing when one is open). With the restart flag (set by every section end)
// both documents resume from their ended section records; the first section starts anew.
int32_t startEncoderSection(NorvEncoder *encoder);

// The dictionary budget before a page: with the token document's memory limit L > 0 and the
// section's estimate M (running dictionary estimate + compressed-document estimate), M >= L
// sets the overflow byte and *refuse; 0.9 x L <= M < L sets only *refuse. Both are cleared
// first. 118 when a document or its section record is missing.
int32_t checkSectionBudget(NorvEncoder *encoder, uint8_t *refuse);

// Adds a bilevel page (framed packed rows of the image core, NorvPageSource fields 1 to 6).
// A page the budget refuses is not added: 0 with *overflow = the overflow byte. Otherwise the
// page goes to both documents, the page count grows by one, and *overflow and the overflow byte
// take the token document's overflow flag (1: the page is stored but the section must end with
// a roll-back, which takes it out again).
int32_t addBilevelPage(NorvEncoder *encoder, const NorvPageSource *page, uint8_t *overflow);

// Adds the text components of a colour page (their bitmaps are taken, also on failure; page
// holds size and resolutions, bytes per row 0). With greyImage (8-bit), the grey patches of
// the page's tokens are gathered into their classes for refineClassTemplates.
int32_t addColorTokensPage(NorvEncoder *encoder, QtzSCTextComponent *components,
                           int32_t componentCount, const NorvPageSource *page,
                           const QtzImage *greyImage, uint8_t *overflow);
// The same without a grey image, with the token document's colour-statistics link cleared.
int32_t addColorTokensPagePlain(NorvEncoder *encoder, QtzSCTextComponent *components,
                                int32_t componentCount, const NorvPageSource *page,
                                uint8_t *overflow);

// One band of a bilevel page given band by band: newPage starts a page of pageHeight rows at
// the given resolutions (budget tested first; a refused page sets *overflow as addBilevelPage
// and adds nothing); rows are framed packed rows (frame 32); lastBand ends the page and sets
// *overflow from the token document.
int32_t addMonoBand(NorvEncoder *encoder, const uint8_t *framedRows, int32_t width,
                    int32_t rowCount, int32_t bytesPerRow, int32_t pageHeight, int32_t xdpi,
                    int32_t ydpi, uint8_t newPage, uint8_t lastBand, uint8_t *overflow);

enum { NORV_CLOSE_FINAL = 0, NORV_CLOSE_FLUSH = 1 };

// Ends the open section: mode NORV_CLOSE_FINAL ends it final; NORV_CLOSE_FLUSH ends it
// non-final (classes carried) when the memory limit is negative, final when it is positive.
// With the overflow byte set the last page is rolled back instead (the page count drops by
// one, the byte is cleared). Sets the restart flag.
int32_t closeSection(NorvEncoder *encoder, int32_t mode);

// The ended section's dictionary: the symbols used on two or more of its pages coded as a
// section symbol dictionary, its bytes in *data (from the encoder's state; the caller frees
// them with qtz::release(encoder->state, ...)) and *length (0 and null when there are none).
// Must run once after closeSection and before the section's pages. `final` is the driver's
// final flag (kept for the writer; the output's own flag decides what is released).
int32_t encodeSectionGlobals(NorvEncoder *encoder, uint8_t final, uint8_t **data, size_t *length);

// The next page of the ended section: its segments in *data / *length (owned as for
// encodeSectionGlobals). With colour tokens the colour payload follows the JBIG2 bytes inside
// *data and its length is *payloadLength (included in *length); else *payloadLength is 0.
// After the section's last page the per-section records are released.
int32_t encodeSectionPages(NorvEncoder *encoder, uint8_t **data, size_t *length,
                           size_t *payloadLength);

// Rebuilds the templates of the ended section's classes from the grey patches gathered by
// addColorTokensPage (call after closeSection, before encodeSectionGlobals).
int32_t refineClassTemplates(NorvEncoder *encoder);

namespace norvenc {
// Frees what the assembly keeps for the ended section's page output (page-private bitmaps, the
// page table, a page's instances and colour payload); the records of the section dictionary
// stay with the token document. Nothing happens when nothing is kept.
void dropSectionOutput(NorvEncoder *encoder);
}  // namespace norvenc

#endif
