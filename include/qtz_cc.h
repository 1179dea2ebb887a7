/*
 * Connected components of a bilevel page into token boxes: each 8-connected component that
 * fits the caller's maximum size becomes a token of the lossless classifier (qtz_lltok.h) and
 * leaves a box that says where it lies and which token class it belongs to; larger
 * components are handed back as run lists.
 *
 * The page is packed rows (leftmost pixel in the most significant bit of 32-bit words) with
 * the 32-pixel frame: content (0, 0) lies 32 rows and 32 columns into the rows handed over,
 * and each row holds at least width + 64 pixels. Components narrower or lower than the size
 * limit are dropped. Boxes come in the order the finder completes components.
 *
 * Run lists: a token component's runs follow the token run-list convention of qtz_lltok.h
 * (top row first, left to right; pairs (offset from the left column, length)). A large
 * component's runs are pairs (offset of the first pixel, offset of the last pixel), top row
 * first, left to right; a pair whose first offset is at most the previous pair's last + 1
 * begins the next row.
 *
 * Ownership: QtzCC_getBoxes hands out the box array (state's hooks) and, when asked, the list
 * of large components (QtzCCLarge records from pool class 5, their runs from the allocate
 * hook). QtzCC_tokenAddCC passes the component's runs to the classifier: on success
 * component->runs is cleared (the classifier owns or freed them), on failure they stay.
 *
 * Statuses: 2 no state or bytes per row too few for the framed width; 118 null pointers or a
 * state without its second image-core context (reported); 1 out of memory (reported); 13
 * when the collector failed inside the finder (its failure reported by it); the
 * classifier's statuses from QtzCC_tokenAddCC. A failed QtzCC_getBoxes hands out nothing.
 *
 * Colour components over strips (QtzCC_init, QtzCC_initPage, QtzCC_doStrip, QtzCC_cleanup):
 * a colour page arrives as rows of coloured runs from the caller's reader, a strip of rows at
 * a time, and is split into 8-connected components of one exact colour; runs that carry
 * per-pixel colours (picture runs) all match each other. White (QtzCC_DefaultBgColor) is
 * background and never handed out. A component is finished at the first row without it (or
 * at the page's last row); at the end of each strip the finished ones are handed out as
 * QtzCCColourComponent records: one-colour components to the token list, picture components
 * to the picture list. With a wash threshold below 0xFFFF, finished one-colour components
 * that touch one another with a squared colour distance (dr^2 + dg^2 + db^2, saturated at
 * 0xFFFF) below the threshold are washed together into one picture component. Run lists
 * follow the token run-list convention of qtz_lltok.h (no row markers). Records come from
 * pool class 3, runs from the allocate hook, images from QtzImage_new; the caller frees them
 * all. Statuses: 2 bad page size, rows past the page's end, a row longer than the page,
 * missing state; 118 null arguments; 1 out of memory (also for a row of more than 4096
 * components under way at once, which no scan gives); 10003 pool classes too small or an
 * inconsistent component; the reader's own status. After a failure the finder can only be
 * given a new page or cleaned up.
 */
#ifndef QTZ_CC_H
#define QTZ_CC_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_lltok.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

/* One value per token class: entry i is the token of every box of class i (0 for a new
 * class until the caller sets it). */
typedef struct QtzCCTokBlock {
  int32_t count;
  int32_t capacity;
  uint32_t *items;
} QtzCCTokBlock;

typedef struct QtzCCPosition {
  int32_t box;  /* index within its page's box array */
  int32_t page; /* the caller's page value */
} QtzCCPosition;

typedef struct QtzCCPosBlock {
  int32_t count;
  int32_t capacity;
  QtzCCPosition *items;
} QtzCCPosBlock;

typedef struct QtzCCBox {
  uint32_t token;   /* the token block's entry of the component's class */
  uint32_t flags;   /* 0 */
  uint16_t x;       /* leftmost column, page coordinates */
  uint16_t yBottom; /* last row, page coordinates */
} QtzCCBox;

typedef struct QtzCCLarge {
  uint16_t width;
  uint16_t height;
  uint32_t zero;
  uint16_t wordsPerRow; /* (width + 31) / 32 */
  struct QtzCCLarge *self;
  int32_t x; /* top-left corner, page coordinates */
  int32_t y;
  uint16_t *runs; /* runCount pairs (first, last), owned */
  uint32_t runCount;
} QtzCCLarge;

typedef struct QtzCCComponent {
  uint16_t *runs; /* token run list, from the state's allocate hook */
  int32_t runCount;
  uint16_t width;
  uint16_t height;
  uint32_t position; /* index of the component's position */
} QtzCCComponent;

/* The collector's record. */
typedef struct QtzLlCCData {
  int32_t componentCount;
  QtzLlTokenizer *tokenizer;
  QtzCCBox *boxes;
  int32_t boxCount;
  int32_t boxCapacity;
  QtzAdtList *large;
  int32_t maxWidth;
  int32_t maxHeight;
  QtzState *state;
  QtzCCTokBlock *tokBlock;
  QtzCCPosBlock *posBlock;
  int32_t page;
  uintptr_t spare[2];
} QtzLlCCData;

NORV_API int32_t QtzCC_getBoxes(QtzState *state, QtzLlTokenizer *tokenizer, const uint32_t *rows,
                                int32_t width, int32_t height, int32_t maxWidth, int32_t maxHeight,
                                int32_t bytesPerRow, int32_t *count, QtzCCBox **boxes,
                                int32_t sizeLimit, QtzAdtList **large, QtzCCTokBlock *tokBlock,
                                QtzCCPosBlock *posBlock, int32_t page, int32_t verbose);
/* Classifies one component; *token = the token block's entry of its class. */
NORV_API int32_t QtzCC_tokenAddCC(QtzState *state, QtzLlTokenizer *tokenizer,
                                  QtzCCTokBlock *tokBlock, QtzCCComponent *component,
                                  uint32_t *token);
NORV_API int32_t QtzCC_initPosBlock(QtzState *state, QtzCCPosBlock **block, int32_t capacity);
NORV_API int32_t QtzCC_initTokBlock(QtzState *state, QtzCCTokBlock **block, int32_t capacity);
NORV_API int32_t QtzCC_cleanupPosBlock(QtzState *state, QtzCCPosBlock *block);
NORV_API int32_t QtzCC_cleanupTokBlock(QtzState *state, QtzCCTokBlock *block);
NORV_API int32_t QtzLlCCData_init(QtzState *state, QtzLlCCData *record, int32_t componentCount,
                                  QtzLlTokenizer *tokenizer, QtzCCBox *boxes, int32_t boxCount,
                                  int32_t boxCapacity, QtzAdtList *large, int32_t maxWidth,
                                  int32_t maxHeight, QtzCCTokBlock *tokBlock,
                                  QtzCCPosBlock *posBlock, int32_t page, uintptr_t spare0,
                                  uintptr_t spare1);

/* ---- Colour components over strips ---- */

/* The background colour: a one-colour component of this colour is never handed out. */
NORV_API extern const uint32_t QtzCC_DefaultBgColor;

/* One run of a row, filled by the caller's reader. */
typedef struct QtzCCRunItem {
  uint32_t colour;       /* one-colour run: 0x00RRGGBB (the top byte is ignored) */
  const uint8_t *pixels; /* picture run: length x 3 bytes R, G, B; copied before the next call */
  uint16_t length;       /* pixels; 0 is skipped */
  uint8_t picture;       /* non-zero: a picture run */
} QtzCCRunItem;

/* Fills *item with the row's next run, or sets *endOfRow non-zero when the row has no more
 * runs; a non-zero status ends the strip with that status. */
typedef int32_t (*QtzCCRunReader)(QtzCCRunItem *item, int32_t *endOfRow, void *user,
                                  QtzState *state);

enum {
  QTZ_CC_PER_PIXEL = 1, /* flags: the component carries per-pixel colours */
  QTZ_CC_WASHED = 2     /* flags: one-colour components washed into a picture */
};

/* A finished colour component. */
typedef struct QtzCCColourComponent {
  uint16_t *runs; /* runCount pairs (start - left, length), top row first; allocate hook */
  int32_t runCount;
  uint16_t left;   /* leftmost column */
  uint16_t top;    /* first row */
  uint16_t right;  /* rightmost column */
  uint16_t bottom; /* last row */
  uint8_t rgb[3];  /* one-colour component: red, green, blue */
  QtzImage *image; /* picture component: RGB image of the box, white outside the runs */
  uint8_t flags;   /* QTZ_CC_PER_PIXEL, QTZ_CC_WASHED; 0 for a one-colour component */
} QtzCCColourComponent;

typedef struct QtzCCFinder QtzCCFinder;

NORV_API int32_t QtzCC_init(QtzState *state, QtzCCFinder **finder);
/* Frees the finder and everything it holds; nulls *finder. A null pointer does nothing. */
NORV_API void QtzCC_cleanup(QtzCCFinder **finder);
/* Starts a page (width and height up to 65535); components left from a previous page are
 * dropped. washThreshold 0xFFFF (or more) washes nothing; pageFlag is kept for the caller. */
NORV_API int32_t QtzCC_initPage(QtzCCFinder *finder, int32_t width, int32_t height,
                                int32_t washThreshold, int32_t pageFlag);
/* Reads the next rows of the page through reader and appends the components finished by the
 * end of the strip (every one at the page's last row) to the two lists. */
NORV_API int32_t QtzCC_doStrip(QtzCCFinder *finder, QtzCCRunReader reader, void *user, int32_t rows,
                               QtzAdtList *tokens, QtzAdtList *pictures);

NORV_EXTERN_C_END

#endif
