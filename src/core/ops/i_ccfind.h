// The run-based component finder shared by the whole-rectangle and band entries: two row
// lists in hand, a merge pass that joins the components of the previous row's runs where
// one run of the current row touches two of them, and a close pass that hands each
// previous-row run's component on to the current row or finishes it.
#ifndef PXL_I_CCFIND_H
#define PXL_I_CCFIND_H

#include <cstdint>

#include "pxl_components.h"

namespace pxl::cc {

// Where finished components go.
struct Delivery {
  int32_t minWidth = 0;
  int32_t minHeight = 0;
  void *user = nullptr;
  PxlComponentFn runs = nullptr;      // run-list variants
  PxlComponentBoxFn boxes = nullptr;  // the box variant (runs stay in the row lists)
  int32_t *stop = nullptr;
};

// Where the rows come from: rows y0 .. y0 + rowCount - 1 are read into a row list's first
// node; a non-zero status stops the pass (13 with *readerStop set, other codes as they are).
struct Source {
  const uint8_t *rows = nullptr;  // packed rows, or null for the reader below
  int32_t bytesPerRow = 0;
  int32_t x0 = 0;
  int32_t width = 0;
  void *reader = nullptr;
  PxlRowReaderFn readRow = nullptr;
  int32_t *readerStop = nullptr;
};

// A row list: head sentinel, end sentinel, both from the run pool.
int32_t makeRowList(PxlContext *ctx, PxlItemPool *runPool, PxlRunNode **head);

// Runs the finder over rows y0 .. y0 + rowCount of the source (the last one empty), with
// connectivity g, lists *a and *b (both empty on entry; left empty after a complete pass).
int32_t findComponents(PxlContext *ctx, PxlItemPool *componentPool, PxlItemPool *runPool,
                       PxlRunNode **a, PxlRunNode **b, int32_t y0, int32_t rowCount, int32_t g,
                       const Source &source, const Delivery &delivery);

}  // namespace pxl::cc

#endif
