// Word-parallel morphology layer: compiling an element's routines into its code slots and
// running the runners with them.
//
// A compile (integer or 64-bit, dilation or erosion) empties its slot, takes the element's
// cells as a flat byte list (the low byte of each cell), asks the size query and, when the
// element suits the form (the query answers neither 5 nor 6), takes a zeroed buffer of that
// size and compiles into it. Answers 5 and 6 leave the slot empty and count as success;
// any other failure is reported (unit "wmorph") and the slot stays empty. The buffers of a
// standard element held by the process-wide cache come from the process's own allocator,
// as the element does; all others from the context's record set.
//
// Running reads the smaller framed width and height of the two images, clears the output's
// content first when the context's options word is non-zero, and calls the runner with the
// element's routines of the operation, its geometry and cells.
#include <algorithm>

#include "pxl_internal.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "wmorph";
constexpr int kErodeInt = 0, kErodeWide = 1, kDilateInt = 2, kDilateWide = 3;

using SizeFn = int32_t (*)(PxlContext *, int32_t, int32_t, int32_t, int32_t, int32_t *);
using CompileFn = int32_t (*)(PxlContext *, int32_t, int32_t, int32_t, int32_t, const uint8_t *,
                              int32_t *, uint8_t **, int32_t *);
using RunFn = int32_t (*)(PxlContext *, uint8_t *, const uint8_t *, const uint8_t *,
                          const uint8_t *, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t, int32_t, int32_t, int32_t, const uint8_t *);

// The allocator that releases the element (and so its routines).
PxlContext *ownerOf(PxlContext *ctx, const PxlStrel *strel) {
  const pxl::StrelGuard guard(pxl::strelLock());
  const PxlStrelCache *master = pxlGetMasterStrelCache();
  const bool cached = master != nullptr && strel->id >= 1 && strel->id < PXL_STREL_ENTRIES &&
                      master->entries[strel->id].element == strel;
  return cached ? pxlProcessContext() : ctx;
}

// The element's cells as width x height bytes (record set).
uint8_t *cellList(PxlContext *ctx, const PxlStrel *strel) {
  auto *cells = static_cast<uint8_t *>(
      pxl::allocRecord(ctx, static_cast<size_t>(int64_t{strel->width} * strel->height)));
  if (cells == nullptr) return nullptr;
  for (int32_t r = 0; r < strel->height; ++r)
    for (int32_t c = 0; c < strel->width; ++c)
      cells[int64_t{r} * strel->width + c] = static_cast<uint8_t>(strel->rows[r][c]);
  return cells;
}

int32_t compileSlot(PxlContext *ctx, PxlStrel *strel, int32_t *length, int slot, SizeFn size,
                    CompileFn compile, int32_t *unitField) {
  if (strel == nullptr || length == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  PxlContext *owner = ownerOf(ctx, strel);
  pxl::freeRecord(owner, strel->derived[slot]);
  strel->derived[slot] = nullptr;
  *length = 0;
  pxl::OwnedRecord<uint8_t> cells(ctx, cellList(ctx, strel));
  if (!cells) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  int32_t bytes = 0;
  int32_t status = size(ctx, strel->width, strel->height, strel->originX, strel->originY, &bytes);
  if (status == PXL_ERR_NO_MEMBER || status == PXL_ERR_NOT_IMPLEMENTED) return PXL_OK;
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::OwnedRecord<uint8_t> code(
      owner, static_cast<uint8_t *>(pxl::allocRecordZeroed(owner, 1, static_cast<size_t>(bytes))));
  if (!code) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  uint8_t *buffer = code.get();
  int32_t step = 0;
  status = compile(ctx, strel->width, strel->height, strel->originX, strel->originY, cells.get(),
                   &step, &buffer, length);
  if (status == PXL_ERR_NO_MEMBER || status == PXL_ERR_NOT_IMPLEMENTED) {
    *length = 0;
    return PXL_OK;
  }
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  strel->derived[slot] = code.release();
  *unitField = step;
  return PXL_OK;
}

int32_t runWithCode(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr *dst, int intSlot,
                    int wideSlot, RunFn run) {
  if (src == nullptr || strel == nullptr || dst == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const int32_t fullWidth = std::min(src->width, dst->width) + 64;
  const int32_t fullHeight = std::min(src->height, dst->height) + 64;
  pxl::OwnedRecord<uint8_t> cells(ctx, cellList(ctx, strel));
  if (!cells) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  int32_t options = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlGetContextFlags(ctx, &options);
  if (status == 0 && options != 0) status = pxlClearImage(ctx, dst);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = run(ctx, dst->framedData, src->framedData,
               static_cast<const uint8_t *>(strel->derived[intSlot]),
               static_cast<const uint8_t *>(strel->derived[wideSlot]), fullWidth, fullHeight,
               src->bytesPerRow, dst->bytesPerRow, strel->codeUnit, strel->codeUnitMmx,
               strel->width, strel->height, strel->originX, strel->originY, cells.get());
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlCompileDilation(PxlContext *ctx, PxlStrel *strel, int32_t *length) {
  return compileSlot(ctx, strel, length, kDilateInt, pxlSizeDilateCode32, pxlCompileDilate32,
                     strel != nullptr ? &strel->codeUnit : nullptr);
}
int32_t pxlCompileDilationMmx(PxlContext *ctx, PxlStrel *strel, int32_t *length) {
  return compileSlot(ctx, strel, length, kDilateWide, pxlSizeDilateCode64, pxlCompileDilate64,
                     strel != nullptr ? &strel->codeUnitMmx : nullptr);
}
int32_t pxlCompileErosion(PxlContext *ctx, PxlStrel *strel, int32_t *length) {
  return compileSlot(ctx, strel, length, kErodeInt, pxlSizeErodeCode32, pxlCompileErode32,
                     strel != nullptr ? &strel->codeUnit : nullptr);
}
int32_t pxlCompileErosionMmx(PxlContext *ctx, PxlStrel *strel, int32_t *length) {
  return compileSlot(ctx, strel, length, kErodeWide, pxlSizeErodeCode64, pxlCompileErode64,
                     strel != nullptr ? &strel->codeUnitMmx : nullptr);
}

int32_t pxlDilateWithCode(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr *dst) {
  return runWithCode(ctx, src, strel, dst, kDilateInt, kDilateWide, pxlRunDilateCode);
}
int32_t pxlErodeWithCode(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr *dst) {
  return runWithCode(ctx, src, strel, dst, kErodeInt, kErodeWide, pxlRunErodeCode);
}

}  // extern "C"
