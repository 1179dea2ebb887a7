/*
 * The compressed document: the lossless side of a token document. One document holds the
 * lossless token classifier (qtz_lltok.h), a current page and a current section; a section
 * holds its pages, the token and position blocks of its tokens (qtz_cc.h) and, after it ends,
 * the classifier's output.
 *
 * Pages: QtzTdc_addMonoPage adds a bilevel page whole (its 8-connected components become
 * tokens and boxes). A colour page is started (QtzTdc_startColorPage), fed strips of coloured
 * runs (QtzTdc_addColorStrip: one-colour components become coloured tokens, picture areas
 * and large shapes JPEG-coded image strips) and ended (QtzTdc_endColorPage), which stores it.
 * Annotations attach to the current page (to its stored copy once it is stored).
 *
 * Sections: QtzTdc_startSection starts one, new or reusing the previous section record; a
 * section ends final (the classifier hands out every class and is dropped), partial (the
 * classes so far are handed out and the classifier kept: the next start must pass the
 * section back so that they are resumed), or by rolling back its last stored page (every
 * class instance of that page leaves the output; classes seen only there disappear; a
 * current page that was started but never stored is rolled back instead, and no stored page
 * is touched). Class members are position indices into the section's position block; each
 * position names its box and its page's index within the section.
 *
 * Ownership: the document owns the current section until it is handed out by a section end;
 * the caller hands it back to QtzTdc_startSection or to tdcFreeDoc. A page record stored in
 * a section owns its boxes, colours, image strips, annotations and page symbols; the
 * document's current page is a copy of it (same arrays) once stored. The JPEG parameters and
 * the classifier options stay the caller's and must outlive the document. The section's
 * output list is the caller's to read; tdcFreeDoc frees it with the section.
 *
 * Statuses: a null document 118, a document without state 2 (neither reported); otherwise
 * reported: 1 out of memory, 2 a colour page with an image compression type other than 0
 * (JPEG), 12 out of step ("Need a previous section to restart the tokenizer.", "Previous
 * section block isn't in sync with cookie", "Can't add a strip to a non-current page",
 * "Can't end non-current page", "Can't add an annotation to a non-current page"), 118 a
 * missing pointer, section, image-core context or JPEG parameters, 10003 unexpected
 * component flags, large components on a bilevel page, or the roll-back of a section's only
 * page; the statuses of the component finders, the classifier and the strip coder pass up.
 * A failed call leaves the section's pages and the classifier's classes as they were.
 */
#ifndef QTZ_TDC_H
#define QTZ_TDC_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_adt.h"
#include "qtz_cc.h"
#include "qtz_lltok.h"
#include "qtz_state.h"
#include "tc_util.h"

NORV_EXTERN_C_BEGIN

/* The caller's JPEG parameters of image strips. */
typedef struct QtzTdcJpegParams {
  float scale; /* reduction of strips larger than a tenth of the page both ways */
  int32_t quality;
} QtzTdcJpegParams;

typedef struct QtzTdcAnnotation {
  int32_t kind;
  int32_t first;
  int32_t second;
} QtzTdcAnnotation;

/* Colour of a coloured token box. */
typedef struct QtzTdcColour {
  uint16_t redGreen; /* red in the high byte, green in the low byte */
  uint8_t blue;
  int32_t one; /* 1 */
} QtzTdcColour;

enum { QTZ_TDC_MONO_PAGE = 0, QTZ_TDC_COLOUR_PAGE = 1 };

typedef struct QtzTdcPageRecord {
  int32_t pageNumber;
  int32_t index; /* within the section; -1 until the page is stored */
  int32_t boxCount;
  QtzCCBox *boxes;
  int32_t width;
  int32_t height;
  int32_t xResolution;
  int32_t yResolution;
  int32_t kind;            /* QTZ_TDC_MONO_PAGE or QTZ_TDC_COLOUR_PAGE */
  QtzTdcColour *colours;   /* colour pages: one per box */
  QtzAdtList *imageStrips; /* colour pages: JPEG-coded image strips */
  uintptr_t word0;
  int32_t halftoneBoxCount; /* 0 */
  QtzAdtList *large;        /* temporary */
  uintptr_t word1;
  int32_t annotationCount;
  QtzTdcAnnotation *annotations;
  QtzTokenBitmap *symbols; /* page-local symbols made by the section's bitmaps */
  int32_t symbolCount;
  int32_t symbolCapacity;
  int32_t estimates[2]; /* bytes of the page's box array and of its position entries, for the
                          token document's memory budget */
  uintptr_t spare[2];
} QtzTdcPageRecord;

typedef struct QtzTdcSection {
  int32_t pageCount;
  int32_t pageCapacity;
  QtzTdcPageRecord *pages;
  QtzCCPosBlock *positions;
  QtzCCTokBlock *tokens;
  int32_t carriedTokens;
  QtzAdtList *output; /* QtzLlClass records of the last section end */
  QtzAdtList *list;
  int32_t compressionType;
  const QtzTdcJpegParams *jpeg;
  struct PxlJpegCompressor *compressor; /* the image strips' cached JPEG compressor */
  int32_t check; /* 0; with the halftone flag a reused section must keep it 0 */
  int32_t counter;
  uint8_t final; /* 1 after a final end or a roll-back, 0 after a partial end */
} QtzTdcSection;

typedef struct QtzTdcDoc {
  QtzState *state;
  uint8_t optionA;
  uint8_t colour; /* colour pages allowed: the colour component finder exists */
  uint8_t colourOption1;
  uint8_t colourOption2;
  int32_t halftone;
  int32_t sizeLimit; /* the component finder's size limit */
  int32_t optionWord;
  QtzLlTokenizer *classifier; /* null after a final section end */
  int32_t compressionType;    /* image strips: 0 JPEG */
  const QtzTdcJpegParams *jpeg;
  QtzTdcPageRecord page; /* the current page */
  QtzCCFinder *finder;
  uint16_t tileParameter; /* the colour finder's wash threshold */
  QtzTdcSection *section;
  QtzLlTokParams *classifierOptions; /* the caller's; null: defaults */
  int32_t pageFirstPosition;         /* the current page's first position */
} QtzTdcDoc;

NORV_API int32_t QtzTdc_initDoc(QtzState *state, QtzTdcDoc **doc, uint8_t optionA, uint8_t colour,
                                int32_t halftone, int32_t sizeLimit, uint16_t tileParameter,
                                int32_t compressionType, const QtzTdcJpegParams *jpeg,
                                QtzLlTokParams *classifierOptions, int32_t optionWord,
                                int32_t verbose);
/* Frees the document (its classifier, colour finder and current section) and, when given, a
 * section handed out earlier; nulls *doc. A null pointer does nothing. */
NORV_API int32_t tdcFreeDoc(QtzTdcDoc **doc, QtzTdcSection *section);
NORV_API int32_t QtzTdc_startSection(QtzTdcDoc *doc, QtzTdcSection *previous, int32_t verbose);
/* rows: packed rows with the 32-pixel frame (qtz_cc.h). */
NORV_API int32_t QtzTdc_addMonoPage(QtzTdcDoc *doc, int32_t pageNumber, const uint32_t *rows,
                                    int32_t width, int32_t height, int32_t bytesPerRow,
                                    int32_t xResolution, int32_t yResolution, int32_t verbose);
NORV_API int32_t QtzTdc_startColorPage(QtzTdcDoc *doc, int32_t pageNumber, int32_t width,
                                       int32_t height, int32_t xResolution, int32_t yResolution,
                                       uint8_t option1, uint8_t option2, int32_t verbose);
NORV_API int32_t QtzTdc_addColorStrip(QtzTdcDoc *doc, int32_t pageNumber, int32_t rows,
                                      QtzCCRunReader reader, void *readerArg, int32_t verbose);
NORV_API int32_t QtzTdc_endColorPage(QtzTdcDoc *doc, int32_t pageNumber);
NORV_API int32_t QtzTdc_addAnnotation(QtzTdcDoc *doc, int32_t pageNumber, int32_t first,
                                      int32_t second, int32_t kind, int32_t verbose);
NORV_API int32_t QtzTdc_endSection(QtzTdcDoc *doc, QtzTdcSection **section, uint8_t final,
                                   int32_t verbose);
NORV_API int32_t QtzTdc_endSectionRollBack(QtzTdcDoc *doc, QtzTdcSection **section,
                                           int32_t verbose);

NORV_EXTERN_C_END

#endif
