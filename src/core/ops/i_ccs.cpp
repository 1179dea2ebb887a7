// Entries of the component finder: the whole-rectangle passes (with run lists or with seed
// pixels), which own two pools for one call, and the band variant, whose pools and row lists
// live in a reusable extraction state (a movable block in a ring with its two pools).
#include "i_ccfind.h"
#include "pxl_components.h"

namespace {

constexpr uint32_t kComponentsPerBlock = 128;
constexpr uint32_t kRunsPerBlock = 256;

bool spanFits(int32_t x0, int32_t width) {
  return x0 >= 0 && width >= 0 && int64_t{x0} + width < PXL_RUN_SENTINEL;
}

// Whole-rectangle pass with pools of its own.
int32_t findWhole(PxlContext *ctx, const uint8_t *rows, int32_t bytesPerRow, int32_t x0, int32_t y0,
                  int32_t width, int32_t height, int32_t connectivity,
                  const pxl::cc::Delivery &delivery) {
  if (connectivity < 0 || connectivity > 1 || !spanFits(x0, width)) return PXL_ERR_PARAM;
  if (width == 0 || height <= 0 || int64_t{y0} + height > INT32_MAX) return 0;
  PxlItemPool *components = nullptr, *runs = nullptr;
  int32_t status = pxlCreateItemPool(ctx, &components, sizeof(PxlCCNode), kComponentsPerBlock, 0,
                                     nullptr, nullptr, pxlAllocCCBlock, pxlFreeCCBlock);
  if (status == 0)
    status = pxlCreateItemPool(ctx, &runs, sizeof(PxlRunNode), kRunsPerBlock, 0, nullptr, nullptr,
                               pxlAllocCCBlock, pxlFreeCCBlock);
  PxlRunNode *a = nullptr, *b = nullptr;
  if (status == 0) status = pxl::cc::makeRowList(ctx, runs, &a);
  if (status == 0) status = pxl::cc::makeRowList(ctx, runs, &b);
  if (status == 0) {
    pxl::cc::Source source;
    source.rows = rows;
    source.bytesPerRow = bytesPerRow;
    source.x0 = x0;
    source.width = width;
    status = pxl::cc::findComponents(ctx, components, runs, &a, &b, y0, height, connectivity,
                                     source, delivery);
  }
  pxlDestroyItemPool(ctx, &runs);
  pxlDestroyItemPool(ctx, &components);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlFindConnectedComponents(PxlContext *ctx, const uint8_t *rows, int32_t bytesPerRow,
                                   int32_t x0, int32_t y0, int32_t width, int32_t height,
                                   int32_t minWidth, int32_t minHeight, int32_t connectivity,
                                   void *user, PxlComponentFn callback, int32_t *stop) {
  if (callback == nullptr) return PXL_ERR_PARAM;
  pxl::cc::Delivery d;
  d.minWidth = minWidth;
  d.minHeight = minHeight;
  d.user = user;
  d.runs = callback;
  d.stop = stop;
  return findWhole(ctx, rows, bytesPerRow, x0, y0, width, height, connectivity, d);
}

int32_t pxlFindComponentBoxes(PxlContext *ctx, const uint8_t *rows, int32_t bytesPerRow, int32_t x0,
                              int32_t y0, int32_t width, int32_t height, int32_t minWidth,
                              int32_t minHeight, int32_t connectivity, void *user,
                              PxlComponentBoxFn callback, int32_t *stop) {
  if (callback == nullptr) return PXL_ERR_PARAM;
  pxl::cc::Delivery d;
  d.minWidth = minWidth;
  d.minHeight = minHeight;
  d.user = user;
  d.boxes = callback;
  d.stop = stop;
  return findWhole(ctx, rows, bytesPerRow, x0, y0, width, height, connectivity, d);
}

int32_t pxlCreateCCExtractor(PxlContext *ctx, PxlCCExtractor **state, PxlBlockAllocFn allocate,
                             PxlBlockFreeFn release) {
  if (state == nullptr || allocate == nullptr || release == nullptr) return PXL_ERR_PARAM;
  auto *s = static_cast<PxlCCExtractor *>(allocate(ctx, sizeof(PxlCCExtractor), 1));
  if (s == nullptr) return PXL_ERR_NO_MEMORY;
  *s = PxlCCExtractor{};
  s->allocate = allocate;
  s->release = release;
  pxlLinkPoolBlock(ctx, &s->header, sizeof(PxlCCExtractor), nullptr, pxlRelocateCCExtractor);
  int32_t status = pxlCreateItemPool(ctx, &s->componentPool, sizeof(PxlCCNode), kComponentsPerBlock,
                                     1, &s->header, pxlRelocateComponentBlock, allocate, release);
  if (status == 0)
    status = pxlCreateItemPool(ctx, &s->runPool, sizeof(PxlRunNode), kRunsPerBlock, 1, &s->header,
                               pxlRelocateRunBlock, allocate, release);
  if (status == 0) status = pxl::cc::makeRowList(ctx, s->runPool, &s->rowA);
  if (status == 0) status = pxl::cc::makeRowList(ctx, s->runPool, &s->rowB);
  if (status != 0) {
    pxlDestroyCCExtractor(ctx, &s);
    return status;
  }
  *state = s;
  return 0;
}

int32_t pxlDestroyCCExtractor(PxlContext *ctx, PxlCCExtractor **state) {
  if (state == nullptr || *state == nullptr) return 0;
  PxlCCExtractor *s = *state;
  pxlDestroyItemPool(ctx, &s->runPool);
  pxlDestroyItemPool(ctx, &s->componentPool);
  pxlUnlinkPoolBlock(ctx, &s->header);
  s->release(ctx, s, sizeof(PxlCCExtractor));
  *state = nullptr;
  return 0;
}

int32_t pxlExtractBandComponents(PxlContext *ctx, PxlCCExtractor *state, int32_t firstRow,
                                 int32_t rows, int32_t minWidth, int32_t minHeight,
                                 int32_t connectivity, void *reader, PxlRowReaderFn readRow,
                                 int32_t *readerStop, void *user, PxlComponentFn callback,
                                 int32_t *stop) {
  if (connectivity < 0 || connectivity > 1 || state == nullptr || state->componentPool == nullptr ||
      state->runPool == nullptr || readRow == nullptr || callback == nullptr)
    return PXL_ERR_PARAM;
  if (rows <= 0 || int64_t{firstRow} + rows > INT32_MAX) return 0;
  pxl::cc::Source source;
  source.reader = reader;
  source.readRow = readRow;
  source.readerStop = readerStop;
  pxl::cc::Delivery d;
  d.minWidth = minWidth;
  d.minHeight = minHeight;
  d.user = user;
  d.runs = callback;
  d.stop = stop;
  return pxl::cc::findComponents(ctx, state->componentPool, state->runPool, &state->rowA,
                                 &state->rowB, firstRow, rows, connectivity, source, d);
}

}  // extern "C"
