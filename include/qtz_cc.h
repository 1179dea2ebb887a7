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
 */
#ifndef QTZ_CC_H
#define QTZ_CC_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_adt.h"
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

NORV_EXTERN_C_END

#endif
