/*
 * Connected components of packed 1-bit images: fixed-size item pools, row run lists, the
 * run-based component finder (whole rectangle with run lists or with seed pixels, and band
 * by band through a reusable state and a row reader), packed component records and lists,
 * component boxes as rectangle lists, and strip-wise extraction over a framed image.
 *
 * Runs are found a word at a time; components are joined as the rows pass, two rows of runs
 * in hand, and handed to the caller's callback as soon as the row below their last row has
 * been read. A component's run list (valid during the callback only) goes from the bottom row
 * up, right to left within a row; a run whose end is at or right of (previous run's start -
 * 1) begins the next row up. Buffer x coordinates (frame included) must stay below 32752.
 */
#ifndef PXL_COMPONENTS_H
#define PXL_COMPONENTS_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

enum { PXL_RUN_SENTINEL = 32752 };

typedef struct PxlCCNode PxlCCNode;

/* One run of set pixels of one row. Row lists run from a head sentinel (start = end =
 * -32752) through runs in ascending x to an end sentinel (32752); spare nodes may follow. */
typedef struct PxlRunNode {
  struct PxlRunNode *next;
  int16_t start;
  int16_t end;
  int32_t row;          /* row of a run kept in a component's run list */
  PxlCCNode *component; /* null while unassigned */
} PxlRunNode;

/* One node of the union of components; the component of a run is the root of its chain. */
struct PxlCCNode {
  PxlCCNode *parent;
  int32_t xmin;
  int32_t ymin;
  int32_t xmax;
  int32_t openCount; /* runs of the two rows in hand whose chain passes through the node */
  int32_t area;
  int32_t runCount;
  int32_t seedX; /* boxes only: start and row of the run that made the node */
  int32_t seedY;
  PxlRunNode *firstRun; /* oldest and newest run of the node's run list */
  PxlRunNode *lastRun;
};

/* ---- Item pools ---- */

typedef void *(*PxlBlockAllocFn)(PxlContext *ctx, size_t size, int32_t movable);
typedef void (*PxlBlockFreeFn)(PxlContext *ctx, void *block, size_t size);
/* Fixes the pointers a movable block owns after the block moved from oldAddress to
 * newAddress: a value p with p - oldAddress < size (unsigned) becomes p + (new - old). */
typedef void (*PxlRelocateFn)(uintptr_t ignored, void *block, uintptr_t oldAddress,
                              uintptr_t newAddress, uint32_t size);

/* Header of a block that can sit in a ring of movable blocks. */
typedef struct PxlBlockHeader {
  struct PxlBlockHeader *ringNext;
  struct PxlBlockHeader *ringPrev;
  uint32_t recordedSize; /* 0 for a block that may not move */
  PxlRelocateFn relocate;
} PxlBlockHeader;

/* A pool is addressed by its first block; the items follow each block's header. */
typedef struct PxlItemPool {
  PxlBlockHeader header;
  struct PxlItemPool *nextBlock;
  void *freeList; /* the first block's is the pool's */
  uint32_t itemSize;
  uint32_t itemsPerBlock;
  PxlBlockAllocFn allocate;
  PxlBlockFreeFn release;
} PxlItemPool;

int32_t pxlCreateItemPool(PxlContext *ctx, PxlItemPool **pool, uint32_t itemSize,
                          uint32_t itemsPerBlock, int32_t movable, PxlBlockHeader *ring,
                          PxlRelocateFn relocate, PxlBlockAllocFn allocate, PxlBlockFreeFn release);
int32_t pxlDestroyItemPool(PxlContext *ctx, PxlItemPool **pool);
/* The head of the free list; a pool whose last free item is taken grows first (1 when it
 * cannot: *item null, the pool unchanged). */
int32_t pxlGetPoolItem(PxlContext *ctx, PxlItemPool *pool, void **item);
int32_t pxlReleasePoolItem(PxlContext *ctx, PxlItemPool *pool, void **item);
void *pxlAllocCCBlock(PxlContext *ctx, size_t size, int32_t movable);
void pxlFreeCCBlock(PxlContext *ctx, void *block, size_t size);
int32_t pxlLinkPoolBlock(PxlContext *ctx, PxlBlockHeader *block, uint32_t recordedSize,
                         PxlBlockHeader *ring, PxlRelocateFn relocate);
int32_t pxlUnlinkPoolBlock(PxlContext *ctx, PxlBlockHeader *block);
void pxlRelocateRunBlock(uintptr_t ignored, void *block, uintptr_t oldAddress, uintptr_t newAddress,
                         uint32_t size);
void pxlRelocateComponentBlock(uintptr_t ignored, void *block, uintptr_t oldAddress,
                               uintptr_t newAddress, uint32_t size);
void pxlRelocateCCExtractor(uintptr_t ignored, void *block, uintptr_t oldAddress,
                            uintptr_t newAddress, uint32_t size);

/* ---- Row run lists ---- */

/* Lists the runs of pixels startX..endX (inclusive) of a packed row (row = its x = 0 word)
 * into first (the node after a head sentinel) and its successors, taking nodes from the pool
 * when they run out, and closes the list with an end sentinel. Runs are cut at both ends.
 * 2 null node or pool, or startX < 0, or endX >= 32752; 1 no memory. */
int32_t pxlRowToRunList(PxlContext *ctx, const uint32_t *row, int32_t endX, int32_t startX,
                        PxlRunNode *first, PxlItemPool *pool);

/* Row reader over a packed image: the row to read next, stride and column span. */
typedef struct PxlRowReader {
  const uint8_t *row;
  int32_t bytesPerRow;
  int32_t startX;
  int32_t endX;
} PxlRowReader;

typedef int32_t (*PxlRowReaderFn)(PxlContext *ctx, void *reader, PxlRunNode *first,
                                  PxlItemPool *pool);

int32_t pxlGetRowReaderSize(PxlContext *ctx, int32_t *size);
int32_t pxlInitRowReader(PxlContext *ctx, PxlRowReader *reader, const uint8_t *row, int32_t startX,
                         int32_t endX, int32_t bytesPerRow);
/* The row reader of packed images: lists the reader's row, then steps to the next one. */
int32_t pxlReadRowRuns(PxlContext *ctx, void *reader, PxlRunNode *first, PxlItemPool *pool);

/* ---- Component finder ---- */

/* Non-zero answers stop the pass: the entry stores them in the stop word and returns 13. */
typedef int32_t (*PxlComponentFn)(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin,
                                  int32_t width, int32_t height, int32_t area, int32_t runCount,
                                  PxlRunNode *runs);
typedef int32_t (*PxlComponentBoxFn)(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin,
                                     int32_t width, int32_t height, int32_t area, int32_t runCount,
                                     int32_t seedX, int32_t seedY);

/* Components of the rectangle x0..x0 + width - 1, y0..y0 + height - 1 of a packed buffer
 * (rows = buffer row 0) whose box is at least minWidth x minHeight; connectivity 0 (4) or 1
 * (8), 2 otherwise; 2 also when x0 < 0 or x0 + width >= 32752. Buffer coordinates. */
int32_t pxlFindConnectedComponents(PxlContext *ctx, const uint8_t *rows, int32_t bytesPerRow,
                                   int32_t x0, int32_t y0, int32_t width, int32_t height,
                                   int32_t minWidth, int32_t minHeight, int32_t connectivity,
                                   void *user, PxlComponentFn callback, int32_t *stop);
int32_t pxlFindComponentBoxes(PxlContext *ctx, const uint8_t *rows, int32_t bytesPerRow, int32_t x0,
                              int32_t y0, int32_t width, int32_t height, int32_t minWidth,
                              int32_t minHeight, int32_t connectivity, void *user,
                              PxlComponentBoxFn callback, int32_t *stop);

/* Reusable state of the band variant: its pools and two row lists. */
typedef struct PxlCCExtractor {
  PxlBlockHeader header;
  PxlItemPool *componentPool;
  PxlItemPool *runPool;
  PxlRunNode *rowA;
  PxlRunNode *rowB;
  PxlBlockAllocFn allocate;
  PxlBlockFreeFn release;
} PxlCCExtractor;

int32_t pxlCreateCCExtractor(PxlContext *ctx, PxlCCExtractor **state, PxlBlockAllocFn allocate,
                             PxlBlockFreeFn release);
int32_t pxlDestroyCCExtractor(PxlContext *ctx, PxlCCExtractor **state);
/* Rows firstRow .. firstRow + rows - 1 through the reader; every component still open at the
 * band's end is delivered there. A reader's non-zero answer goes to *readerStop (13). */
int32_t pxlExtractBandComponents(PxlContext *ctx, PxlCCExtractor *state, int32_t firstRow,
                                 int32_t rows, int32_t minWidth, int32_t minHeight,
                                 int32_t connectivity, void *reader, PxlRowReaderFn readRow,
                                 int32_t *readerStop, void *user, PxlComponentFn callback,
                                 int32_t *stop);

/* ---- Component records ---- */

/* A component with its runs: the record's pairs (int16 start, end) follow it in the same
 * allocation, in run-list order. */
typedef struct PxlCCRecord {
  struct PxlCCRecord *next;
  int32_t runCount;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
} PxlCCRecord;

static inline int16_t *pxlRecordRuns(PxlCCRecord *record) {
  return (int16_t *)(record + 1);
}

int32_t pxlGetPackedComponentSize(PxlContext *ctx, const PxlRunNode *runs, int32_t runCount,
                                  size_t *size);
/* runCount < 0: the list is counted. 12 when a runCount >= 0 is below the list's length. */
int32_t pxlPackComponentRuns(PxlContext *ctx, const PxlRunNode *runs, int32_t x, int32_t y,
                             int32_t width, int32_t height, int32_t runCount, PxlCCRecord **record);
int32_t pxlMakeComponentRecord(PxlContext *ctx, const PxlRunNode *runs, int32_t x, int32_t y,
                               int32_t width, int32_t height, int32_t runCount,
                               PxlCCRecord **record);
/* Callback of pxlGetConnectedComponents: user is the address of the list head. */
int32_t pxlCollectComponent(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin, int32_t width,
                            int32_t height, int32_t area, int32_t runCount, PxlRunNode *runs);
/* Sets the record's pixels, shifted by (dx, dy), in a framed 1-bit buffer. */
int32_t pxlPaintComponentRuns(PxlContext *ctx, uint8_t *framed, int32_t bytesPerRow, int32_t dx,
                              int32_t dy, PxlCCRecord *record);

/* The components of a framed 1-bit image at least minWidth x minHeight as records (framed
 * coordinates), newest first; *list is set on success only. */
int32_t pxlGetConnectedComponents(PxlContext *ctx, Pixr *image, int32_t minWidth, int32_t minHeight,
                                  int32_t connectivity, PxlCCRecord **list);
/* 100 when the shifted box does not lie inside the framed buffer. */
int32_t pxlPaintComponent(PxlContext *ctx, PxlCCRecord *record, int32_t dx, int32_t dy,
                          Pixr *image);
int32_t pxlFreeComponentList(PxlContext *ctx, PxlCCRecord **list);

/* ---- Component boxes and strip-wise extraction ---- */

/* Callback of pxlFindComponentBoxes over a framed image: pushes a PxlRect in content
 * coordinates (user[] = area, run count, seed x, seed y) at the front of *(PxlRect **)user. */
int32_t pxlAppendComponentRect(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin,
                               int32_t width, int32_t height, int32_t area, int32_t runCount,
                               int32_t seedX, int32_t seedY);

/* One rectangle per 8-connected component of a 1-bit image (one channel or a set of three:
 * its main channel) at least minWidth x minHeight; *list set on success only. */
int32_t pxlGetComponentBoxes(PxlContext *ctx, Pixr *image, int32_t minWidth, int32_t minHeight,
                             PxlRect **list);

int32_t pxlBeginStripComponents(PxlContext *ctx, PxlCCExtractor **state);
int32_t pxlEndStripComponents(PxlContext *ctx, PxlCCExtractor **state);

typedef struct PxlStripArgs {
  PxlContext *ctx;
  Pixr *image; /* read when readerFn is null */
  PxlCCExtractor *state;
  int32_t connectivity;
  int32_t x; /* strip columns x .. x + width - 1 of the content (with an image) */
  int32_t y; /* first row: content row with an image, the reader's numbering otherwise */
  int32_t width;
  int32_t rows;
  int32_t minWidth;
  int32_t minHeight;
  void *readerData;
  PxlRowReaderFn readerFn;
  void *callbackUser;
  PxlComponentFn callback;
  int32_t *readerStatus;
  int32_t *callbackStatus;
} PxlStripArgs;

/* Feeds rows to the band finder; with an image the strip must lie inside the content (2
 * otherwise) and the reported coordinates include the frame. */
int32_t pxlAddStripComponents(const PxlStripArgs *args);

NORV_EXTERN_C_END

#endif
