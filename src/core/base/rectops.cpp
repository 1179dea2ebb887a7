// Rectangle records: create, free one or a chain, copy, clip to a size or an image, and the
// containment test.
//
// Records come from the context's record set; the four user words are 0 at creation. Clipping
// always makes a new record: the corner is limited to the bounds, and a rectangle that
// misses them becomes an empty one (width = height = 0) at the limited corner. Edge
// arithmetic is done in 64 bits so that extreme coordinates cannot wrap.
#include <algorithm>

#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "rectops";

int64_t clampTo(int64_t value, int64_t low, int64_t high) {
  return std::min(std::max(value, low), high);
}
}  // namespace

extern "C" {

int32_t pxlCreateRect(PxlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height,
                      PxlRect **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (width < 0 || height < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  auto *rect = static_cast<PxlRect *>(pxl::allocRecord(ctx, sizeof(PxlRect)));
  if (rect == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  *rect = PxlRect{nullptr, nullptr, x, y, width, height, {0, 0, 0, 0}};
  *out = rect;
  return PXL_OK;
}

int32_t pxlFreeRect(PxlContext *ctx, PxlRect **rect) {
  if (rect == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxl::freeRecord(ctx, *rect);
  *rect = nullptr;
  return PXL_OK;
}

int32_t pxlFreeRectList(PxlContext *ctx, PxlRect **head) {
  if (head == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  for (PxlRect *rect = *head; rect != nullptr;) {
    PxlRect *next = rect->next;
    pxl::freeRecord(ctx, rect);
    rect = next;
  }
  *head = nullptr;
  return PXL_OK;
}

int32_t pxlCopyRect(PxlContext *ctx, const PxlRect *rect, PxlRect **out) {
  if (rect == nullptr || out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_STEP(ctx, kUnit, pxlCreateRect(ctx, rect->x, rect->y, rect->width, rect->height, out));
  return PXL_OK;
}

int32_t pxlClipRect(PxlContext *ctx, const PxlRect *rect, int32_t width, int32_t height,
                    PxlRect **out) {
  if (rect == nullptr || out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (width <= 0 || height <= 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_STEP(ctx, kUnit, pxlCopyRect(ctx, rect, out));
  const int64_t x = clampTo(rect->x, 0, width - 1), y = clampTo(rect->y, 0, height - 1);
  const int64_t right = int64_t{rect->x} + rect->width - 1;
  const int64_t bottom = int64_t{rect->y} + rect->height - 1;
  PxlRect *clipped = *out;
  clipped->x = static_cast<int32_t>(x);
  clipped->y = static_cast<int32_t>(y);
  if (right >= 0 && bottom >= 0 && rect->x < width && rect->y < height) {
    clipped->width = static_cast<int32_t>(clampTo(right, 0, width - 1) - x + 1);
    clipped->height = static_cast<int32_t>(clampTo(bottom, 0, height - 1) - y + 1);
  } else {
    clipped->width = clipped->height = 0;
  }
  return PXL_OK;
}

int32_t pxlClipRectToImage(PxlContext *ctx, Pixr *image, const PxlRect *rect, PxlRect **out) {
  if (rect == nullptr || out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  int32_t width = 0, height = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlClipRect(ctx, rect, width, height, out));
  return PXL_OK;
}

int32_t pxlIsRectInImage(PxlContext *ctx, Pixr *image, const PxlRect *rect, uint8_t *inside) {
  int32_t width = 0, height = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  if (rect == nullptr || inside == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *inside = rect->x >= 0 && rect->y >= 0 && rect->width >= 0 && rect->height >= 0 &&
            int64_t{rect->x} + rect->width <= width && int64_t{rect->y} + rect->height <= height;
  return PXL_OK;
}

}  // extern "C"
