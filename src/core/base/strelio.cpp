// Structuring-element records: creation with zero-filled cell rows, the row table, the
// compiled routines attached by morphology, and destruction.
//
// An element is a grid of 16-bit cells (1 = hit/member, 2 = miss, 0 = don't care) with an
// origin. Records, rows and derived routines all come from the record set of the context
// that allocates them; the process-wide standard elements use the process context
// (pxlProcessContext), so that no caller's allocator ever has to free them.
#include <cstring>

#include "pxl_internal.h"
#include "pxl_strel.h"

namespace {
constexpr const char *kUnit = "strelio";

void releaseRows(PxlContext *ctx, uint16_t **rows, int32_t height) {
  if (rows == nullptr) return;
  for (int32_t i = 0; i < height; ++i) pxl::freeRecord(ctx, rows[i]);
  pxl::freeRecord(ctx, rows);
}
}  // namespace

namespace pxl {

int32_t destroyStrelWith(PxlContext *pollCtx, PxlContext *allocCtx, PxlStrel **element) {
  if (element == nullptr || *element == nullptr) return PXL_OK;
  PxlStrel *el = *element;
  releaseRows(allocCtx, el->rows, el->height);
  el->rows = nullptr;
  // An abort answered here is passed on, but the element still goes: a destroy that stopped
  // half way would lose the routines and the record.
  const int32_t status = pxlPollProgress(pollCtx);
  pxlFreeStrelDerived(allocCtx, el);
  pxl::freeRecord(allocCtx, el);
  *element = nullptr;
  return status != 0 ? PXL_FAIL(pollCtx, kUnit, status) : PXL_OK;
}

}  // namespace pxl

extern "C" {

PxlContext *pxlProcessContext(void) {
  static PxlContext context = [] {
    PxlContext c{};
    pxlInitContext(&c, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                   static_cast<int32_t>(sizeof c));
    return c;
  }();
  return &context;
}

int32_t pxlAllocStrelRows(PxlContext *ctx, int32_t width, int32_t height, uint16_t ***out) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (out == nullptr) return PXL_ERR_NULL;
  if (width < 1 || height < 1) return PXL_ERR_PARAM;
  auto **rows = static_cast<uint16_t **>(
      pxl::allocRecordZeroed(ctx, static_cast<size_t>(height), sizeof(uint16_t *)));
  if (rows == nullptr) return PXL_ERR_NO_MEMORY;
  for (int32_t i = 0; i < height; ++i) {
    rows[i] = static_cast<uint16_t *>(
        pxl::allocRecordZeroed(ctx, static_cast<size_t>(width), sizeof(uint16_t)));
    if (rows[i] == nullptr) {
      releaseRows(ctx, rows, i);
      return PXL_ERR_NO_MEMORY;
    }
  }
  *out = rows;
  return PXL_OK;
}

int32_t pxlCreateStrel(PxlContext *ctx, int32_t width, int32_t height, PxlStrel **out) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *out = nullptr;
  if (width < 1 || height < 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  auto *el = pxl::newRecord<PxlStrel>(ctx);
  if (el == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  el->width = width;
  el->height = height;
  el->id = 65;
  int32_t status = pxlAllocStrelRows(ctx, width, height, &el->rows);
  if (status != PXL_OK) {
    pxl::freeRecord(ctx, el);
    return PXL_FAIL(ctx, kUnit, status);
  }
  el->built = 1;
  *out = el;
  return PXL_OK;
}

int32_t pxlDestroyStrel(PxlContext *ctx, PxlStrel **element) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  return pxl::destroyStrelWith(ctx, ctx, element);
}

int32_t pxlFreeStrelDerived(PxlContext *ctx, PxlStrel *element) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (element == nullptr) return PXL_ERR_NULL;
  for (void *&routine : element->derived) {
    pxl::freeRecord(ctx, routine);
    routine = nullptr;
  }
  return PXL_OK;
}

}  // extern "C"
