// The JBIG2 output of the document encoder: one output handle writes every segment of a
// document (symbol dictionaries, text regions, generic regions, page information, end of
// stripe, end of page and end of file, ITU-T T.88 7.4) into one growing memory sink, and hands
// the bytes written so far to the caller in one buffer whenever asked, so that a section's
// dictionaries and each of its pages become separate byte strings with one running segment
// numbering.
//
// The document encoder reaches the handle through the TclyOutOps table (slots filled by
// jbig2FillOutOps) and through the four direct entries below. The handle's mode chooses the
// coding: 1 MMR and Huffman with the standard tables only, never transposed, reference corner
// BOTTOMLEFT; 3 arithmetic coding everywhere, generic template 2 with AT pixel (2, -1); any
// other MMR and Huffman with custom tables and layouts chosen per region. In single-page mode
// (embedded streams of PDF) every page segment carries page association 1, dictionaries 0, and
// no end-of-page segment is written.
//
// Symbol IDs of a text region run over the section dictionaries first, then the page
// dictionaries, each in the order they were written and within a dictionary in coding order.
//
// Failures: 1 out of memory (reported); 118 a missing handle pointer; 2 input the stream cannot
// carry (positions or sizes beyond 2^31, resolutions beyond 32 bits, pages of no rows); 10003
// an instance whose symbol is in none of the dictionaries; the segment writers' statuses
// otherwise. Bytes already written stay in the sink after a failure: the caller abandons the
// output.
#ifndef NORV_JBIG2_OUTPUT_H
#define NORV_JBIG2_OUTPUT_H

#include <cstddef>
#include <cstdint>

#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"
#include "tc_util.h"

struct QtzJb2Output;
struct Jb2File;
struct QtzColorState;
struct Pixr;

// One symbol of a section or page dictionary: the one record the token document makes its
// dictionaries of and the output codes them from.
struct TclySymbolRecord {
  uint32_t *bitmap;  // packed rows, leftmost pixel in the top bit; owned by the token document
  TclySymbolRecord *link;  // the same symbol in an earlier dictionary, or null; not read here
  uint8_t pageFlag;        // 1 for a page-private symbol (page dictionaries on); not read here
  uint16_t width;
  uint16_t height;
  uint16_t wordsPerRow;
  uint8_t emitted;      // 0 until the symbol has been coded into a written dictionary
  int32_t memberCount;  // a page's deskewed variant of a shared symbol: the members of that
                        // page that use it (0 otherwise); not read here
};

// One symbol instance of a text region: the symbol, the page token it was found as (whose
// colour goes to the colour payload) and its left column and bottom row in the region.
struct TclyTextInstance {
  const TclySymbolRecord *symbol;
  const QtzTokenBitmap *token;
  int32_t x;
  int32_t y;
};

// Hands the instances' tokens, in the order a decoder meets them, to the colour payload
// coder (encodeColors has this form).
typedef int32_t (*TclyColourFn)(const QtzTokenBitmap *const *tokens, uint32_t count,
                                QtzColorState *colours, uint8_t **payload, size_t *size,
                                QtzState *state);
struct TclyColourOrder {
  TclyColourFn collect;  // none: nothing is collected
  uint8_t **payload;     // where the coder puts its buffer
  size_t size;           // its length
  QtzColorState *colours;
};

// A generic region to write: its place and size on the page, the period of a halftone screen
// (0: none) and the stripe it belongs to.
struct TclyGenericEntry {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t spare0;
  int32_t spare1;
  int32_t period;
  int32_t spare2;
  int32_t key;
};

// The table through which the document encoder writes JBIG2 data. user is the table's own word
// (the page output points it at the page's colour flag); it is passed through, never read.
struct TclyOutOps {
  int32_t (*open)(const void *optionBlock, QtzState *state, int32_t mode, int32_t one,
                  uint8_t singlePage, QtzJb2Output **handle, void **user);
  int32_t (*close)(QtzJb2Output *handle, void *user);
  int32_t (*endOfPage)(QtzJb2Output *handle, void *user);
  void *unused;
  int32_t (*textRegion)(const TclyTextInstance *instances, int32_t count, int32_t width,
                        int32_t height, int32_t xdpi, int32_t ydpi, TclyColourOrder *colours,
                        int32_t pageNumber, const void *dictionary, uint8_t lastStripe,
                        QtzJb2Output *handle, const int32_t *topRow);
  int32_t (*sectionDict)(TclySymbolRecord *symbols, int32_t count, const void *dictionary,
                         void **newDictionary, int32_t spare0, int32_t spare1, QtzJb2Output *handle,
                         void *user);
  int32_t (*pageDict)(TclySymbolRecord *symbols, int32_t count, int32_t width, int32_t height,
                      int32_t xdpi, int32_t ydpi, int32_t zero, const void *dictionary,
                      void **newDictionary, int32_t spare0, int32_t spare1, QtzJb2Output *handle,
                      void *user);
  int32_t (*genericRegion)(QtzAdtList *regions, int32_t two, int32_t key, QtzAdtList *images,
                           QtzJb2Output *handle, void *user);
  int32_t (*freeDict)(void *dictionary, QtzJb2Output *handle, void *user);
  void *user;
};

// Fills the nine slots with the functions below; the user word is set to none.
void jbig2FillOutOps(TclyOutOps *ops);

// Slot 0: a new handle; *user (when given) is set to none.
int32_t QtzJb2_outOpen(const void *optionBlock, QtzState *state, int32_t mode, int32_t one,
                       uint8_t singlePage, QtzJb2Output **handle, void **user);
// Slot 1: writes end of file, frees everything; bytes not taken are dropped.
int32_t QtzJb2_outClose(QtzJb2Output *handle, void *user);
// Slot 2: end of page of the page last begun (nothing in single-page mode).
int32_t QtzJb2_outEndOfPage(QtzJb2Output *handle, void *user);
// Slot 4: one immediate text region of the instances; lastStripe releases the page
// dictionaries after it.
int32_t QtzJb2_outTextRegion(const TclyTextInstance *instances, int32_t count, int32_t width,
                             int32_t height, int32_t xdpi, int32_t ydpi, TclyColourOrder *colours,
                             int32_t pageNumber, const void *dictionary, uint8_t lastStripe,
                             QtzJb2Output *handle, const int32_t *topRow);
// Slot 5: a section dictionary (page association 0) of the symbols not yet emitted.
int32_t QtzJb2_outSymbolDict(TclySymbolRecord *symbols, int32_t count, const void *dictionary,
                             void **newDictionary, int32_t spare0, int32_t spare1,
                             QtzJb2Output *handle, void *user);
// Slot 6: a page dictionary of the symbols not yet emitted.
int32_t QtzJb2_outPageSymbolDict(TclySymbolRecord *symbols, int32_t count, int32_t width,
                                 int32_t height, int32_t xdpi, int32_t ydpi, int32_t zero,
                                 const void *dictionary, void **newDictionary, int32_t spare0,
                                 int32_t spare1, QtzJb2Output *handle, void *user);
// Slot 7: the entries of regions (TclyGenericEntry, each taken over with its image, a Pixr, at
// the same place of images) whose key equals key become generic regions and leave both lists.
int32_t QtzJb2_outGenericRegion(QtzAdtList *regions, int32_t two, int32_t key, QtzAdtList *images,
                                QtzJb2Output *handle, void *user);
// Slot 8: forgets the section dictionaries; a given block is freed with the state's hook.
int32_t QtzJb2_outFree(void *dictionary, QtzJb2Output *handle, void *user);

// Page information of a new page; *colour 0 declares the page striped.
int32_t QtzJbig2_encodePageInfo(int32_t width, int32_t height, int32_t xdpi, int32_t ydpi,
                                QtzJb2Output *handle, const uint8_t *colour);
int32_t QtzJbig2_encodeEndOfStripe(int32_t endRow, int32_t pageNumber, QtzJb2Output *handle);
// One immediate generic region of a packed image (type 100) at (x, y).
int32_t QtzJbig2_encodeGenericRegion(const QtzImage *image, int32_t spare0, int32_t x, int32_t y,
                                     QtzJb2Output *handle, void *spare1);
// The bytes T.6 takes for packed rows: as the MMR-coded generic regions
// QtzJbig2_encodeGenericRegion writes of them (asRegion: their code and segment headers, one
// region per band a common reader decodes right; none for white rows), or as one bitmap.
int32_t QtzJbig2_mmrBytes(QtzJb2Output *handle, const uint32_t *rows, int32_t width, int32_t height,
                          int32_t wordsPerRow, bool asRegion, int64_t *bytes);
// The stream the handle writes into, for segment writers outside the handle (pattern
// dictionaries and halftone regions); it changes at every hand-over of the bytes.
Jb2File *QtzJbig2_outputStream(QtzJb2Output *handle);
// The bytes written since the last call in one buffer from the state's hooks (none and length
// 0 when nothing was written); the numbering runs on.
int32_t QtzJbig2_takeEncodedData(QtzJb2Output *handle, uint8_t **buffer, size_t *length);

#endif
