// Packed component records: the box and the (start, end) pairs of a component's run list in
// one allocation, and painting a record back into a framed 1-bit buffer. Rows are recovered
// from the pairs by the run-list rule: the first pair lies in the bottom row, and a pair
// whose end is at or right of (previous start - 1) begins the next row up.
#include <cstring>

#include "pxl_components.h"
#include "pxl_internal.h"

namespace {

int64_t listLength(const PxlRunNode *runs) {
  int64_t n = 0;
  for (; runs != nullptr; runs = runs->next) ++n;
  return n;
}

// Sets pixels start..end of a packed row (OR into its words).
void setSpan(uint8_t *row, int64_t start, int64_t end) {
  auto word = [&](int64_t i) { return row + 4 * i; };
  auto orWord = [&](int64_t i, uint32_t bits) {
    uint32_t v;
    std::memcpy(&v, word(i), 4);
    v |= bits;
    std::memcpy(word(i), &v, 4);
  };
  const int64_t first = start >> 5, last = end >> 5;
  const uint32_t head = ~0u >> (start & 31), tail = ~0u << (31 - (end & 31));
  if (first == last) {
    orWord(first, head & tail);
    return;
  }
  orWord(first, head);
  for (int64_t i = first + 1; i < last; ++i) std::memset(word(i), 0xFF, 4);
  orWord(last, tail);
}

}  // namespace

extern "C" {

int32_t pxlGetPackedComponentSize(PxlContext *, const PxlRunNode *runs, int32_t runCount,
                                  size_t *size) {
  const int64_t pairs = runCount < 0 ? listLength(runs) : runCount;
  *size = sizeof(PxlCCRecord) + size_t(pairs) * 2 * sizeof(int16_t);
  return 0;
}

int32_t pxlPackComponentRuns(PxlContext *ctx, const PxlRunNode *runs, int32_t x, int32_t y,
                             int32_t width, int32_t height, int32_t runCount,
                             PxlCCRecord **record) {
  if (ctx == nullptr || record == nullptr) return PXL_ERR_NO_MEMORY;
  if (runCount >= 0 && runCount < listLength(runs)) return PXL_ERR_INTERNAL;
  size_t size = 0;
  pxlGetPackedComponentSize(ctx, runs, runCount, &size);
  auto *r = static_cast<PxlCCRecord *>(pxl::allocRecord(ctx, size));
  if (r == nullptr) return PXL_ERR_NO_MEMORY;
  r->next = nullptr;
  r->x = x;
  r->y = y;
  r->width = width;
  r->height = height;
  int16_t *pairs = pxlRecordRuns(r);
  int32_t n = 0;
  for (; runs != nullptr; runs = runs->next, ++n) {
    pairs[2 * n] = runs->start;
    pairs[2 * n + 1] = runs->end;
  }
  r->runCount = n;
  *record = r;
  return 0;
}

int32_t pxlMakeComponentRecord(PxlContext *ctx, const PxlRunNode *runs, int32_t x, int32_t y,
                               int32_t width, int32_t height, int32_t runCount,
                               PxlCCRecord **record) {
  if (const int32_t status = pxlPollProgress(ctx); status != 0) return status;
  *record = nullptr;
  const int32_t status = pxlPackComponentRuns(ctx, runs, x, y, width, height, runCount, record);
  if (status != 0) return status;
  return *record == nullptr ? PXL_ERR_NO_MEMORY : 0;
}

int32_t pxlCollectComponent(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin, int32_t width,
                            int32_t height, int32_t, int32_t runCount, PxlRunNode *runs) {
  auto **head = static_cast<PxlCCRecord **>(user);
  PxlCCRecord *record = nullptr;
  const int32_t status =
      pxlMakeComponentRecord(ctx, runs, xmin, ymin, width, height, runCount, &record);
  if (status != 0) return status;
  record->next = *head;
  *head = record;
  return 0;
}

int32_t pxlPaintComponentRuns(PxlContext *, uint8_t *framed, int32_t bytesPerRow, int32_t dx,
                              int32_t dy, PxlCCRecord *record) {
  if (record->runCount <= 0) return 0;
  const int16_t *pairs = pxlRecordRuns(record);
  int64_t row = int64_t{record->y} + record->height - 1 + dy;
  for (int32_t i = 0; i < record->runCount; ++i) {
    const int64_t start = int64_t{pairs[2 * i]} + dx, end = int64_t{pairs[2 * i + 1]} + dx;
    if (i > 0 && end >= int64_t{pairs[2 * i - 2]} + dx - 1) --row;
    setSpan(framed + row * bytesPerRow, start, end);
  }
  return 0;
}

}  // extern "C"
