/*
 * The document encoder's state and options: the one record a user of the encoder holds.
 *
 * norv_initEncState makes a NorvEncState with every default; the three setters change options
 * (every argument is a pointer, a null pointer keeps the option); norv_cleanEncState frees the
 * record with everything hung on it (pending pages, the output writer, which finishes and
 * closes the output file). The record is allocated with the library state's hooks; the state
 * must outlive it.
 *
 * The setters check every given value before they change anything: a value the encoder cannot
 * work with (see each setter) refuses the whole call with 2, reported once through the state's
 * error sink, and leaves every option as it was. A null record gives 2 unreported.
 *
 * The option groups the encoder hands on are contiguous: the token-document group
 * (componentSizeLimit to writePdf), the lossy classifier group (matchFraction to hookUserData,
 * laid out as the classifier's options), the compressed-document group (docFirstWord to quiet)
 * and the JPEG group (jpegScale to noSymbolMatching).
 */
#ifndef NORV_ENC_H
#define NORV_ENC_H

#include <stdint.h>
#include <stdio.h>

#include "norv_export.h"
#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

struct NorvEncoder;      /* the encoder assembly */
struct NorvOutputWriter; /* the output writer (TIFF-FX, raw JBIG2 file or PDF) */

/* The output file and the C library functions the writers reach it through. */
typedef struct NorvOutputIo {
  FILE *file;
  int (*seek)(FILE *file, long offset, int origin);
  long (*tell)(FILE *file);
  size_t (*read)(void *buffer, size_t size, size_t count, FILE *file);
  size_t (*write)(const void *buffer, size_t size, size_t count, FILE *file);
  int (*eof)(FILE *file);
} NorvOutputIo;

typedef struct NorvEncState {
  struct NorvEncoder *encoder; /* made by the encoding start; null until then */
  /* Token-document options. */
  int32_t componentSizeLimit;    /* smallest kept component on banded pages (1) */
  int32_t tokenOption1;          /* kept by the JBIG2 output (10) */
  int32_t deskewPrecision;       /* 0 to 5 (3) */
  int32_t orientation;           /* 0 down, 1 up, 2 left, 3 right (0) */
  int32_t quarterTurns;          /* 0 to 3 (0) */
  uint8_t jbig2Halftones;        /* halftones as pattern dictionaries (0) */
  int32_t resolutionOverride;    /* -1: none, else dpi of every bilevel page (-1) */
  uint8_t spare[2];              /* the first goes to the JBIG2 output (0, 0) */
  uint8_t deskewTokens;          /* per-page skew measurement (0) */
  uint8_t pageDictFlagOff;       /* (0) */
  int32_t outputMode;            /* JBIG2 output mode (2) */
  uint8_t tenthLimit;            /* large components beyond a tenth of the page (1) */
  int32_t dictionaryMemoryLimit; /* bytes; negative: no limit (-1) */
  uint8_t verbose;               /* progress lines (0) */
  uint8_t writePdf;              /* with writeRawJbig2: PDF output (0) */
  /* Lossy classifier options. */
  float matchFraction;          /* 0.97 */
  int32_t maxClusterErrors;     /* 3 */
  int32_t widthRadius;          /* 1 */
  int32_t heightRadius;         /* 1 */
  int32_t freezeCount;          /* 10000 */
  int32_t accumulateLimit;      /* 10000 */
  int32_t countTemplateMinimum; /* 10 */
  int32_t countImageMinimum;    /* 0 */
  int32_t shiftTrials;          /* 0 to 24 (8) */
  int32_t errorOffset;          /* 3 */
  int32_t errorKnee;            /* 6 */
  int32_t smallTokenSize;       /* 6; 0xFFFFFF with noSymbolMatching */
  float errorSlope;             /* 2.0 */
  int32_t dilationRadius;       /* 0 or more (1) */
  int32_t dilationCode;         /* filled by the classifier */
  uint32_t tokFlags;            /* 0x18 */
  QtzState *lossyState;         /* the library state */
  void *hook;                   /* none */
  void *hookUserData;           /* none */
  /* Compressed-document options. */
  int32_t docFirstWord;          /* 0 */
  QtzState *docState;            /* the library state */
  int32_t docComponentSizeLimit; /* copy of componentSizeLimit (1) */
  int32_t docWords[2];           /* -1, -1 */
  int32_t docOption;             /* 301 */
  int32_t docOption2;            /* 1 */
  uint8_t docFlags[4];           /* 0, 0, 0, 1 */
  uint8_t docJbig2Halftones;     /* copy of jbig2Halftones (0) */
  uint8_t docVerbose;            /* copy of verbose (0) */
  int32_t docTrailingWords[2];   /* 0, 0 */
  uint8_t quiet;                 /* drop every message (0) */
  /* JPEG options. */
  float jpegScale;          /* above 0 (1.0) */
  int32_t jpegQualityCopy;  /* 90 */
  int32_t jpegQuality;      /* quality of background layers (90) */
  int32_t backgroundDpi;    /* above 0 (100) */
  uint8_t noSymbolMatching; /* every component a small token (0) */
  /* Output. */
  NorvOutputIo output;             /* file set by the encoding start; the C library's functions */
  int32_t flushPages;              /* pages between flushes, above 0 (50) */
  int32_t defaultDpi;              /* resolution of pages without one (300) */
  int32_t sectionPages;            /* pages per section, above 0 (100) */
  uint8_t greyTemplates;           /* class templates from grey images (0) */
  uint8_t writeRawJbig2;           /* 0 TIFF-FX; 1 raw JBIG2 file, or PDF with writePdf (0) */
  struct NorvOutputWriter *writer; /* made by the encoding start */
  QtzAdtList *pendingPages;        /* page sources of the open section */
  int32_t pageCount;               /* pages accepted since the encoding start */
  /* Error stream: a log file opened by the encoding start, and the stream the library state
   * had before the encoder changed it (given back at clean-up). */
  FILE *logFile;
  void *savedErrStream;
  uint8_t errStreamSaved;
  /* Banded mode: the dictionary and page bytes last handed out (freed at the next call). */
  uint8_t *bandedGlobals;
  uint8_t *bandedPage;
} NorvEncState;

/* Makes a record with every default in *enc. 1 when memory runs out (reported), 118 for a null
 * state or out-pointer (reported when the state is given). */
NORV_API int32_t norv_initEncState(QtzState *state, NorvEncState **enc);

/*
 * General options, set in this order: g18 writePdf, g12 quiet, g13 noSymbolMatching (when set,
 * smallTokenSize becomes 0xFFFFFF), g1 jbig2Halftones (and its copy), g2 deskewTokens, g4
 * resolutionOverride (-1 or above 0; a positive value is also defaultDpi), g5 orientation (the
 * first letter of *g5: D, U, L, R in either case; other letters keep it), g3 deskewPrecision
 * (clamped to 0 to 5), g6 quarterTurns (taken modulo 4), g7 outputMode, g8 pageDictFlagOff,
 * g9 tenthLimit (stored inverted: 0 sets 1), g10 verbose (and its copy), g11 dictionary memory
 * code (-1 keeps the limit, 1 1024000 bytes, 2 2048000, else 32768000; a positive limit is then
 * lowered by 8192 with output mode 2, else 9216, and by 1024 more with halftones), g14
 * flushPages (above 0), g15 sectionPages (above 0), g16 greyTemplates, g17 writeRawJbig2.
 * Returns 0, or 2 for a refused value (nothing changed).
 */
NORV_API int32_t norv_setGeneralEncOptions(
    NorvEncState *enc, const uint8_t *g1, const uint8_t *g2, const int32_t *g3, const int32_t *g4,
    const char *const *g5, const int32_t *g6, const int32_t *g7, const uint8_t *g8,
    const uint8_t *g9, const uint8_t *g10, const int32_t *g11, const uint8_t *g12,
    const uint8_t *g13, const int32_t *g14, const int32_t *g15, const uint8_t *g16,
    const uint8_t *g17, const uint8_t *g18);

/* JPEG options: j1 quality (both fields), j2 backgroundDpi (above 0), j3 jpegScale (finite,
 * above 0). Returns 0, or 2 for a refused value (nothing changed). */
NORV_API int32_t norv_setJpegOptions(NorvEncState *enc, const int32_t *j1, const int32_t *j2,
                                     const float *j3);

/*
 * Token options, t16 first (componentSizeLimit and its copy), then t1 tokenOption1, t2
 * matchFraction, t3 maxClusterErrors, t4 widthRadius, t5 heightRadius, t6 freezeCount, t7
 * accumulateLimit, t8 countTemplateMinimum, t9 countImageMinimum, t10 shiftTrials (0 to 24),
 * t11 errorOffset, t12 errorKnee, t13 errorSlope, t14 dilationRadius (0 or more), and t15
 * smallTokenSize last (kept at 0xFFFFFF while noSymbolMatching is set). Returns 0, or 2 for a
 * refused value (nothing changed).
 */
NORV_API int32_t norv_setTokenOptions(NorvEncState *enc, const int32_t *t1, const float *t2,
                                      const int32_t *t3, const int32_t *t4, const int32_t *t5,
                                      const int32_t *t6, const int32_t *t7, const int32_t *t8,
                                      const int32_t *t9, const int32_t *t10, const int32_t *t11,
                                      const int32_t *t12, const float *t13, const int32_t *t14,
                                      const int32_t *t15, const int32_t *t16);

/*
 * Frees the record: the pending page sources and their list, the encoder assembly (a part that
 * fails to close is reported as the warning "Problem cleaning up; continuing anyway."), then
 * the output writer by its kind (which finishes and closes the output file), then the record; a
 * log file opened by norv_encStart is closed and the state's error stream given back. *enc
 * becomes null. A null record gives 0, a null address 2 (reported). The writer's failure (2001
 * for a failed write or close), or the status of a failed encoding call, is returned after
 * everything is freed; after either the output file is cut back to where the output began.
 */
NORV_API int32_t norv_cleanEncState(QtzState *state, NorvEncState **enc);

/*
 * Encoding. norv_encStart readies a record for a run into outFile (an open, writable file that
 * the output writer takes over and closes at clean-up): it chooses the error stream (quiet: no
 * messages; logPath "stderr": the standard error stream; another path: a new log file, closed at
 * clean-up; null: the state's stream unchanged), opens the writer by the options (TIFF-FX;
 * writeRawJbig2: raw JBIG2 file, or PDF with writePdf), and builds the encoder with its first
 * section open. 2 for a null record, 118 for a null file, 10000 when the log file cannot be
 * opened ("I can't open error log file "<path>" for writing."), else the failing layer's status.
 *
 * norv_encDocument encodes every page of a TIFF file and norv_encPage one caller image (packed
 * bilevel, type 100, or RGB, type 3). Pages are grouped into sections that share one symbol
 * dictionary: a flush every flushPages pages (non-final without a memory limit: later sections
 * refer to its symbols), a section end every sectionPages pages, when the dictionary budget
 * refuses a page (the page then starts the next section) and, with last = 1, after the last
 * page; each ended section goes to the writer. With last = 0 the open section waits for the
 * next call. Pages without a resolution take the other axis's, or defaultDpi (with a warning).
 * 2 for a null record or a record not started, 118 for a null path or image, else the failing
 * layer's status; a failed call abandons the output (nothing more is written to it, and
 * clean-up cuts it back and returns the failure).
 *
 * Banded mode (no writer): norv_encMonoBufInPage feeds one band of a packed bilevel page
 * (continuing 0 starts a page of pageHeight rows; lastBand ends it, and the page forms a
 * section of its own), building the encoder and silencing the state's messages on first use;
 * norv_encMonoBufGetPGData then hands out the page's dictionary and page bytes, which stay the
 * record's until the next call or clean-up. 2 for a null record or rows, 118 for a null
 * out-pointer, 10003 when no page has ended.
 */
NORV_API int32_t norv_encStart(QtzState *state, NorvEncState *enc, FILE *outFile,
                               const char *logPath);
NORV_API int32_t norv_encDocument(QtzState *state, NorvEncState *enc, const char *tiffPath,
                                  int32_t last);
NORV_API int32_t norv_encPage(QtzState *state, NorvEncState *enc, const QtzImage *image,
                              int32_t last);
NORV_API int32_t norv_encMonoBufInPage(QtzState *state, NorvEncState *enc, const uint8_t *rows,
                                       int32_t width, int32_t rowCount, int32_t bytesPerLine,
                                       int32_t pageHeight, int32_t continuing, int32_t lastBand);
NORV_API int32_t norv_encMonoBufGetPGData(QtzState *state, NorvEncState *enc,
                                          const uint8_t **globalData, size_t *globalLength,
                                          const uint8_t **pageData, size_t *pageLength);

NORV_EXTERN_C_END

#endif
