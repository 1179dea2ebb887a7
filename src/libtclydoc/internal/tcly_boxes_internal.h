// Page to token boxes: one bilevel page becomes what the token document keeps for it: the
// split row at which the page is coded as two stripes, the halftone regions cut out of the
// page, and the connected components sorted into three kinds:
//   - generic regions: wider than the width limit or taller than the height limit (a tenth of
//     the page with tenthLimit set, else the page itself); kept as run lists;
//   - small tokens: both sides below smallTokenSize; kept as boxes, positions and lossless
//     classes of the compressed document;
//   - tokens: everything else; drawn as bitmaps and handed to the lossy classifier.
// Components narrower or lower than componentSizeLimit are dropped by the finder.
//
// Coordinates are page pixels. Token and generic-region records keep their top row in y (the
// bottom row is set when they are placed); boxes keep the bottom row. Generic regions keep run
// triples (row from the top, first and last column from the left, inclusive), see
// tcly_records_internal.h.
//
// Memory estimates (only with a positive memoryLimit): a token that opens a new lossy class
// adds wordsPerRow x height x 4 + 32 bytes to the dictionary estimate, a small token that
// opens a new lossless class the same to the compressed-document estimate.
//
// Statuses: 10003 missing outputs, pool class 5 under 32 bytes, bytes per row that disagree
// with the page width (reported); 1 out of memory (reported); the statuses of the image core,
// of the halftone functions, of the classifiers and of the skew measurement pass up. On
// failure nothing is handed out.
#ifndef TCLY_BOXES_INTERNAL_H
#define TCLY_BOXES_INTERNAL_H

#include <cstdint>

#include "pxl_components.h"
#include "qtz_adt.h"
#include "qtz_cc.h"
#include "qtz_sc.h"
#include "qtz_state.h"
#include "tcly_deskew_internal.h"
#include "tcly_records_internal.h"
#include "tok_lossy_internal.h"

// The page as the token document hands it over.
struct TclyPageInput {
  // A framed 1-bit core image block: content (0, 0) where the core's layout puts it in this
  // block (pxlComputeContentOffset), rows bytesPerRow apart. Only the content is read.
  const uint8_t *framedPixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerRow;  // must be the core's framed row stride for the width
  int32_t xdpi;
  int32_t ydpi;
  int32_t pageNumber;    // document-wide: the tokens' page number
  int32_t tdcPageCount;  // the compressed document's page value of the position entries
};

// The encoder options of the same names (the token document passes them on).
struct TclyBoxesOptions {
  int32_t smallTokenSize;
  int32_t componentSizeLimit;
  int32_t jbig2Halftones;  // 1: halftone regions are reduced to grey, else copied bilevel
  int32_t tenthLimit;
  int32_t memoryLimit;           // bytes; 0 or less: no estimates
  int32_t classifierCopiesRows;  // 1 when the lossy classifier was made with
                                 // TOK_FLAG_KEEP_INPUT: tokens then keep their bitmaps
  // Replaces the collector: every component the finder completes goes to this callback (with
  // componentUser, in the finder's framed coordinates of its stripe: the bottom stripe's rows
  // count from the split row) instead, and the page yields no tokens, boxes or generic
  // regions. The encoder never gives one.
  PxlComponentFn componentCallback = nullptr;
  void *componentUser = nullptr;
};

// The compressed document's side: the lossless classifier of the small tokens and its
// position and token blocks.
struct TclyCompressedSide {
  QtzLlTokenizer *classifier;
  QtzCCPosBlock *positions;
  QtzCCTokBlock *tokens;
};

// What the page yields; all lists and the box buffer belong to the caller.
struct TclyPageBoxes {
  QtzAdtList *tokens;    // TclyToken records handed to the lossy classifier
  QtzCCBox *boxes;       // small-token boxes, shrunk to boxCount; null when there is none
  QtzAdtList *generics;  // TclyToken records with run lists
  int32_t tokenCount;
  int32_t boxCount;
  float skewAngle;              // with a deskew context: the measured skew, else 0
  QtzAdtList *halftoneImages;   // one image per region (grey or bilevel), or null
  QtzAdtList *halftoneRegions;  // QtzHalftoneRegion records (key: stripe 1 or 2), or null
  int32_t dictionaryEstimate;   // bytes
  int32_t compressedEstimate;   // bytes
  int32_t splitRow;             // rows [0, splitRow) and [splitRow, height)
  int32_t pageTokenMemory;      // bytes of the bitmaps drawn for the tokens; not read yet
  // The compressed document's page record: bytes of its box array and of its entries in the
  // position block (boxCount records each), which the section keeps while it is open.
  int32_t compressedPageEstimates[2];
};

// The split row of a framed 1-bit page image (height of at least 501 rows): searched on the
// page reduced by 8, then refined to the emptiest of the eight rows it stands for.
int32_t findSplitRow(QtzState *state, Pixr *page, int32_t *splitRow);

int32_t getBoxesLossy(QtzState *state, TokTokenizer *tokenizer, const TclyPageInput &page,
                      const TclyBoxesOptions &options, const TclyCompressedSide &compressed,
                      TclyDeskewContext *deskew, TclyPageBoxes *out);

// Colour pages: one token per text component of the colour-scan segmentation (size, a copy of
// its packed rows, position, colour and page number), in a new list. The colour words hold the
// bytes R, G, B, 0 in memory order. Every component's bitmap is freed and cleared, also on
// failure. 1 out of memory (reported); 10003 a missing argument or a bitmap that is not a
// packed image of 1 to 65535 pixels a side; nothing is handed out on failure.
int32_t colourComponentsToTokens(QtzState *state, QtzSCTextComponent *components, int32_t count,
                                 int32_t pageNumber, QtzAdtList **tokens);

// Frees everything a TclyPageBoxes holds (halftone images through the core) and zeroes it.
void tclyFreePageBoxes(QtzState *state, TclyPageBoxes *boxes);

#endif
