// Collecting component boxes as rectangles (pxlAppendComponentRect): the callback of the
// box finder over a framed image, pushing each box (frame removed) at the front of a list.
#include "pxl_components.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "fill6";
}  // namespace

extern "C" int32_t pxlAppendComponentRect(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin,
                                          int32_t width, int32_t height, int32_t area,
                                          int32_t runCount, int32_t seedX, int32_t seedY) {
  auto **head = static_cast<PxlRect **>(user);
  PxlRect *rect = nullptr;
  PXL_STEP(ctx, kUnit, pxlCreateRect(ctx, xmin - 32, ymin - 32, width, height, &rect));
  rect->user[0] = area;
  rect->user[1] = runCount;
  rect->user[2] = seedX - 32;
  rect->user[3] = seedY - 32;
  rect->next = *head;
  rect->prev = nullptr;
  if (*head != nullptr) (*head)->prev = rect;
  *head = rect;
  return 0;
}
