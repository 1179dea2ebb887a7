// Row run lists: the runs of set pixels of a packed 1-bit row, written into the nodes of a
// row list (taking nodes from the run pool when the list has no spare), closed by an end
// sentinel. The row is walked a word at a time: a word entirely clear outside a run or
// entirely set inside one is passed whole; inside a word the next transition is the
// leading-zero count of the word (inverted while inside a run) masked from the current bit.
#include <bit>

#include "pxl_components.h"

namespace {

// Writes one run into *node and steps to the successor, taking one from the pool if needed.
int32_t putRun(PxlContext *ctx, PxlItemPool *pool, PxlRunNode **node, int32_t start, int32_t end) {
  PxlRunNode *n = *node;
  n->start = static_cast<int16_t>(start);
  n->end = static_cast<int16_t>(end);
  n->component = nullptr;
  if (n->next == nullptr) {
    void *item = nullptr;
    if (const int32_t status = pxlGetPoolItem(ctx, pool, &item); status != 0) return status;
    auto *fresh = static_cast<PxlRunNode *>(item);
    fresh->next = nullptr;
    n->next = fresh;
  }
  *node = n->next;
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlRowToRunList(PxlContext *ctx, const uint32_t *row, int32_t endX, int32_t startX,
                        PxlRunNode *first, PxlItemPool *pool) {
  if (first == nullptr || pool == nullptr || startX < 0 || endX >= PXL_RUN_SENTINEL)
    return PXL_ERR_PARAM;
  PxlRunNode *node = first;
  int32_t x = startX, runStart = -1;
  while (x <= endX) {
    const int32_t wordIndex = x >> 5, bit = x & 31;
    const uint32_t word = row[wordIndex];
    const uint32_t probe = (runStart < 0 ? word : ~word) & (~0u >> bit);
    const int32_t found = probe == 0 ? 32 : std::countl_zero(probe);
    const int32_t at = (wordIndex << 5) + found;  // next transition, or the next word's start
    if (found == 32 || at > endX) {
      x = (wordIndex + 1) << 5;
      continue;
    }
    if (runStart < 0) {
      runStart = at;
    } else {
      if (const int32_t status = putRun(ctx, pool, &node, runStart, at - 1); status != 0)
        return status;
      runStart = -1;
    }
    x = at;
  }
  if (runStart >= 0)
    if (const int32_t status = putRun(ctx, pool, &node, runStart, endX); status != 0) return status;
  node->start = node->end = PXL_RUN_SENTINEL;
  node->component = nullptr;
  return 0;
}

int32_t pxlGetRowReaderSize(PxlContext *, int32_t *size) {
  if (size == nullptr) return PXL_ERR_PARAM;
  *size = static_cast<int32_t>(sizeof(PxlRowReader));
  return 0;
}

int32_t pxlInitRowReader(PxlContext *, PxlRowReader *reader, const uint8_t *row, int32_t startX,
                         int32_t endX, int32_t bytesPerRow) {
  if (reader == nullptr) return PXL_ERR_PARAM;
  reader->row = row;
  reader->bytesPerRow = bytesPerRow;
  reader->startX = startX;
  reader->endX = endX;
  return 0;
}

int32_t pxlReadRowRuns(PxlContext *ctx, void *reader, PxlRunNode *first, PxlItemPool *pool) {
  auto *r = static_cast<PxlRowReader *>(reader);
  if (r == nullptr || first == nullptr || pool == nullptr) return PXL_ERR_PARAM;
  const int32_t status = pxlRowToRunList(ctx, reinterpret_cast<const uint32_t *>(r->row), r->endX,
                                         r->startX, first, pool);
  r->row += r->bytesPerRow;
  return status;
}

}  // extern "C"
