// Thinning: one pass of four hit-or-miss tests that remove boundary pixels.
//
// The element E0 (3 x 3, origin (1, 1)) has misses on its left column and hits on the top
// and middle cells of its right column; E1, E2, E3 are successive clockwise quarter turns
// (pxlRotateStrel). The tests run one after another on the result: T = hit-or-miss of the
// current result (the source for the first) with Ek, then result = result AND NOT T.
//
// pxlRotateStrel exchanges width and height and takes new cell (row i, column n) from old
// cell (row h - 1 - n, column i); it also exchanges the two origin coordinates, which is the
// turned origin only for elements whose origin is their centre, like the 3 x 3 elements of
// thinning; other elements need their origin set by the caller after the turn.
//
// Failures are reported once (unit "thin"); the elements and the temporary image are
// destroyed on every path; a result the call made stays in the caller's pointer.
#include "pxl_internal.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "pxl_pixops.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "thin";

constexpr uint16_t kFirst[3][3] = {{2, 0, 1}, {2, 0, 1}, {2, 0, 0}};

void destroyStrel(PxlContext *ctx, PxlStrel *element) {
  pxlDestroyStrel(ctx, &element);
}
using OwnedStrel = pxl::Owner<PxlStrel, destroyStrel>;

}  // namespace

extern "C" {

int32_t pxlRotateStrel(PxlContext *ctx, const PxlStrel *element, PxlStrel **out) {
  if (element == nullptr || out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlCreateStrel(ctx, element->height, element->width, out);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  PxlStrel *turned = *out;
  turned->originX = element->originY;
  turned->originY = element->originX;
  for (int32_t i = 0; i < turned->height; ++i)
    for (int32_t n = 0; n < turned->width; ++n)
      turned->rows[i][n] = element->rows[element->height - 1 - n][i];
  return PXL_OK;
}

int32_t pxlThinImage(PxlContext *ctx, Pixr *src, Pixr **result) {
  if (src == nullptr || result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  auto validate = [&](Pixr *image) {
    return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
  };
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t created = *result == nullptr ? 1 : 0;
  if (created) {
    status = pxlCopyToFramedImage(ctx, src, result);
  } else if (*result != src) {
    status = validate(*result);
    if (status == 0) status = pxlPollProgress(ctx);
    if (status == 0) status = pxlLogicOp(ctx, src, PXL_LOGIC_COPY, *result);
  }
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::MadeOutput made(ctx, result, created);

  OwnedStrel elements[4] = {OwnedStrel(ctx), OwnedStrel(ctx), OwnedStrel(ctx), OwnedStrel(ctx)};
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlCreateStrel(ctx, 3, 3, elements[0].put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  elements[0]->originX = elements[0]->originY = 1;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) elements[0]->rows[r][c] = kFirst[r][c];
  for (int k = 1; k < 4; ++k) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlRotateStrel(ctx, elements[k - 1].get(), elements[k].put());
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  pxl::OwnedImage matches(ctx);
  for (int k = 0; k < 4; ++k) {
    Pixr *t = matches.get();
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlErodeImage(ctx, k == 0 ? src : *result, elements[k].get(), &t);
    if (k == 0 && status == 0) matches.reset(t);
    if (status == 0) status = pxlPollProgress(ctx);
    if (status == 0) status = pxlLogicOp(ctx, matches.get(), PXL_LOGIC_AND_NOT, *result);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  made.keep();
  return PXL_OK;
}

}  // extern "C"
