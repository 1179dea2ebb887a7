// Property accessors of image descriptors.
//
// Getters validate the image (any valid image), follow a channel set to its main channel
// and store one value; on failure the out-value is left unchanged. Setters validate, check
// the value (2 when out of range) and apply it to the image or to every channel of a set in
// order (channels before a failing one stay changed). The colour-map setter refuses an image
// that already has a map (1006) and counts one reference per descriptor it attaches to; the
// two pointer setters accept single-channel images only. Derived values (content address,
// computed stride, full sizes, framed size) are computed in 64 bits.
#include <climits>

#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "props2";

int32_t validateAny(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_ANY,
                          PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
}

// The descriptor that holds an image's properties: the image itself or its main channel.
int32_t mainForGet(PxlContext *ctx, Pixr *image, const void *out, Pixr **main) {
  PXL_STEP(ctx, kUnit, validateAny(ctx, image));
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, image, main));
  return PXL_OK;
}

// Runs a getter: read(main) stores the value and answers a status.
template <typename Read>
int32_t get(PxlContext *ctx, Pixr *image, const void *out, Read read) {
  Pixr *main = nullptr;
  const int32_t status = mainForGet(ctx, image, out, &main);
  return status != 0 ? status : read(main);
}

// Runs a setter: apply(single-channel image) changes it and answers a status.
template <typename Apply>
int32_t setAll(PxlContext *ctx, Pixr *image, bool valueOk, Apply apply) {
  PXL_STEP(ctx, kUnit, validateAny(ctx, image));
  if (!valueOk) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (image->channelCount == 1) {
    const int32_t status = apply(image);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
  }
  for (int32_t i = 0; i < image->channelCount; ++i) {
    Pixr *channel = nullptr;
    PXL_STEP(ctx, kUnit, pxlGetImageChannel(ctx, image, i, &channel));
    PXL_STEP(ctx, kUnit, setAll(ctx, channel, true, apply));
  }
  return PXL_OK;
}

int32_t setPointer(PxlContext *ctx, Pixr *image, void (*store)(Pixr *, void *), void *value) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_ANY));
  store(image, value);
  return PXL_OK;
}

int32_t fitI32(int64_t value, int32_t *out) {
  if (value < INT32_MIN || value > INT32_MAX) return PXL_ERR_PARAM;
  *out = static_cast<int32_t>(value);
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlGetImageWidth(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->width, PXL_OK; });
}
int32_t pxlGetImageHeight(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->height, PXL_OK; });
}
int32_t pxlGetImageDepth(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->depth, PXL_OK; });
}
int32_t pxlGetImageFrame(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->frame, PXL_OK; });
}
int32_t pxlGetImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->bytesPerRow, PXL_OK; });
}
int32_t pxlGetImageColorCode(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->colorCode, PXL_OK; });
}
int32_t pxlGetImageColormap(PxlContext *ctx, Pixr *image, PxlColorMap **out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->colorMap, PXL_OK; });
}
int32_t pxlGetImageFramedData(PxlContext *ctx, Pixr *image, uint8_t **out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->framedData, PXL_OK; });
}
int32_t pxlGetImagePixelBlock(PxlContext *ctx, Pixr *image, void **out) {
  return get(ctx, image, out, [&](Pixr *m) { return *out = m->pixelBlock, PXL_OK; });
}

int32_t pxlGetImageResolution(PxlContext *ctx, Pixr *image, int32_t *xResolution,
                              int32_t *yResolution) {
  const void *out = xResolution != nullptr && yResolution != nullptr ? xResolution : nullptr;
  return get(ctx, image, out, [&](Pixr *m) {
    *xResolution = m->xResolution;
    *yResolution = m->yResolution;
    return PXL_OK;
  });
}

int32_t pxlGetImageData(PxlContext *ctx, Pixr *image, uint8_t **out) {
  return get(ctx, image, out, [&](Pixr *m) {
    *out = m->framedData + static_cast<int64_t>(m->frame) * m->bytesPerRow +
           static_cast<int64_t>(m->frame) * m->depth / 8;
    return PXL_OK;
  });
}

int32_t pxlComputeImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) -> int32_t {
    int32_t stride = 0;
    int64_t size = 0;
    PXL_STEP(ctx, kUnit,
             pxlComputeImageLayout(ctx, m->width, m->height, m->depth, m->frame, &stride, &size));
    *out = stride;
    return PXL_OK;
  });
}

int32_t pxlGetImageFullWidth(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) {
    const int32_t status = fitI32(static_cast<int64_t>(m->width) + 2 * int64_t{m->frame}, out);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
  });
}

int32_t pxlGetImageFullHeight(PxlContext *ctx, Pixr *image, int32_t *out) {
  return get(ctx, image, out, [&](Pixr *m) {
    const int32_t status = fitI32(static_cast<int64_t>(m->height) + 2 * int64_t{m->frame}, out);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
  });
}

int32_t pxlComputeImageFramedSize(PxlContext *ctx, Pixr *image, int64_t *out) {
  return get(ctx, image, out, [&](Pixr *m) -> int32_t {
    int32_t stride = 0, fullHeight = 0;
    PXL_STEP(ctx, kUnit, pxlComputeImageBytesPerRow(ctx, m, &stride));
    PXL_STEP(ctx, kUnit, pxlGetImageFullHeight(ctx, m, &fullHeight));
    *out = static_cast<int64_t>(stride) * fullHeight;
    return PXL_OK;
  });
}

int32_t pxlSetImageWidth(PxlContext *ctx, Pixr *image, int32_t width) {
  return setAll(ctx, image, width >= 0, [&](Pixr *p) { return p->width = width, PXL_OK; });
}
int32_t pxlSetImageHeight(PxlContext *ctx, Pixr *image, int32_t height) {
  return setAll(ctx, image, height >= 0, [&](Pixr *p) { return p->height = height, PXL_OK; });
}
int32_t pxlSetImageDepth(PxlContext *ctx, Pixr *image, int32_t depth) {
  return setAll(ctx, image, depth > 0, [&](Pixr *p) { return p->depth = depth, PXL_OK; });
}
int32_t pxlSetImageFrame(PxlContext *ctx, Pixr *image, int32_t frame) {
  return setAll(ctx, image, frame >= 0, [&](Pixr *p) { return p->frame = frame, PXL_OK; });
}
int32_t pxlSetImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t bytesPerRow) {
  return setAll(ctx, image, true, [&](Pixr *p) { return p->bytesPerRow = bytesPerRow, PXL_OK; });
}
int32_t pxlSetImageResolution(PxlContext *ctx, Pixr *image, int32_t xResolution,
                              int32_t yResolution) {
  return setAll(ctx, image, true, [&](Pixr *p) {
    p->xResolution = xResolution;
    p->yResolution = yResolution;
    return PXL_OK;
  });
}

int32_t pxlSetImageColormap(PxlContext *ctx, Pixr *image, PxlColorMap *colorMap) {
  return setAll(ctx, image, true, [&](Pixr *p) -> int32_t {
    if (p->colorMap != nullptr) return PXL_ERR_BAD_COLORMAP;
    p->colorMap = colorMap;
    pxl::retainColorMap(colorMap);
    return PXL_OK;
  });
}

int32_t pxlSetImageFramedData(PxlContext *ctx, Pixr *image, uint8_t *framedData) {
  return setPointer(
      ctx, image, [](Pixr *p, void *v) { p->framedData = static_cast<uint8_t *>(v); }, framedData);
}

int32_t pxlSetImagePixelBlock(PxlContext *ctx, Pixr *image, void *pixelBlock) {
  return setPointer(
      ctx, image, [](Pixr *p, void *v) { p->pixelBlock = v; }, pixelBlock);
}

}  // extern "C"
