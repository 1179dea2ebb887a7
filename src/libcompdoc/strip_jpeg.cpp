// JPEG coding of an image strip's RGB pixels into a memory buffer that grows on demand.
//
// The buffer starts at width x height / 4 bytes (at least one) from the state's allocate hook;
// when a write would pass its capacity, the capacity becomes (used + length) x 3 / 2 and the
// buffer is resized. At the end it is shrunk to the bytes written and handed out.
//
// Scale 1: the rows are fed as they are (interleaved R, G, B) through the section's cached
// compressor (allocated on first use, started and finished for each strip) in blocks of its
// strip height, coded as ITULAB with the resolutions as density. Any other scale: the strip
// becomes a three-channel core image, is rescaled bilinearly to (width / scale + 0.5,
// height / scale + 0.5) pixels (at least one each way) with resolutions divided by the scale,
// and coded whole as YCbCr. Statuses: 118 null arguments or no image-core context, 2 a bad
// image or scale, 1 out of memory (reported); core and JPEG statuses pass up. Nothing is
// handed out on failure.
#include <cmath>
#include <cstring>

#include "compdoc_strips.h"
#include "pxl_image.h"
#include "pxl_owners_internal.h"
#include "pxl_rescale.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util_internal.h"

namespace {

int32_t codeScaled(QtzState *state, const QtzImage *rgb, int32_t xResolution, int32_t yResolution,
                   float scale, int32_t quality, StripMemorySink *sink) {
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage planes(ctx);
  int32_t status = rgbToPixr(state, rgb, planes.put());
  if (status != 0) return status;
  const double width = std::trunc(rgb->hdr.width / double{scale} + 0.5);
  const double height = std::trunc(rgb->hdr.height / double{scale} + 0.5);
  if (!(width < 32768.0 && height < 32768.0)) return qtz::report(state, 2);
  pxl::OwnedImage scaled(ctx);
  status =
      pxlRescaleImageBilinear(ctx, planes.get(), width >= 1.0 ? static_cast<int32_t>(width) : 1,
                              height >= 1.0 ? static_cast<int32_t>(height) : 1, scaled.put());
  if (status != 0) return status;
  const double xDpi = std::trunc(xResolution / double{scale});
  const double yDpi = std::trunc(yResolution / double{scale});
  // 16.16 resolutions; values that do not fit leave the image without one.
  const auto fixed = [](double dpi) {
    return dpi > 0.0 && dpi < 32768.0 ? static_cast<int32_t>(dpi) << 16 : 0;
  };
  if ((status = pxlSetImageResolution(ctx, scaled.get(), fixed(xDpi), fixed(yDpi))) != 0)
    return status;
  return pxlCompressImageJpeg(ctx, scaled.get(), writeToMemorySink, sink, quality, 0);
}

int32_t feedRows(PxlContext *ctx, PxlJpegCompressor *c, const QtzImage *rgb, PxlJpegRowSet *args) {
  int32_t rows = 0;
  for (int32_t done = 0; done < rgb->hdr.height; done += rows) {
    pxlGetJpegStripRows(ctx, c, &rows);
    if (rows > rgb->hdr.height - done) rows = rgb->hdr.height - done;
    for (int32_t y = 0; y < rows; ++y)
      args[0][y] = rgb->rows[rgb->hdr.yoff + done + y] + 3 * int64_t{rgb->hdr.xoff};
    if (const int32_t status = pxlWriteJpegRows(ctx, c, args); status != 0) return status;
  }
  return 0;
}

int32_t codeDirect(QtzState *state, const QtzImage *rgb, int32_t xResolution, int32_t yResolution,
                   int32_t quality, PxlJpegCompressor **cached, StripMemorySink *sink) {
  PxlContext *ctx = state->ipwContext;
  if (*cached == nullptr) {
    *cached =
        static_cast<PxlJpegCompressor *>(qtz::allocateZeroed(state, 1, sizeof(PxlJpegCompressor)));
    if (*cached == nullptr) return qtz::report(state, 1);
  }
  PxlJpegCompressor *c = *cached;
  int32_t status = pxlStartJpegCompress(ctx, c, rgb->hdr.width, rgb->hdr.height, 3, quality,
                                        PXL_JPEG_ITULAB, xResolution, yResolution,
                                        writeToMemorySink, sink, nullptr, PXL_JPEG_LAYOUT_DIRECT);
  PxlJpegRowSet *args = nullptr;
  if (status == 0) status = pxlAllocJpegRowBuffers(ctx, c, 0, &args);
  if (status == 0) status = feedRows(ctx, c, rgb, args);
  if (args != nullptr) pxlFreeJpegRowBuffers(ctx, c, 0, args);
  if (status == 0) status = pxlFinishJpegCompress(ctx, c);
  if (status != 0) pxlAbandonJpegCompress(ctx, c);
  return status;
}

}  // namespace

int32_t writeToMemorySink(PxlContext *, void *user, const uint8_t *bytes, int32_t length,
                          int32_t *written) {
  auto *sink = static_cast<StripMemorySink *>(user);
  if (sink == nullptr || written == nullptr || length < 0) return 118;
  const int64_t needed = sink->used + length;
  if (needed > sink->capacity) {
    const int64_t capacity = needed * 3 / 2;
    if (capacity > INT32_MAX) return qtz::report(sink->state, 1);
    auto *grown = static_cast<uint8_t *>(
        qtz::resize(sink->state, sink->buffer, static_cast<size_t>(capacity)));
    if (grown == nullptr) return qtz::report(sink->state, 1);
    sink->buffer = grown;
    sink->capacity = capacity;
  }
  if (length > 0) std::memcpy(sink->buffer + sink->used, bytes, static_cast<size_t>(length));
  sink->used = needed;
  *written = length;
  return 0;
}

int32_t imgJpegStrip(QtzState *state, const QtzImage *rgb, int32_t xResolution, int32_t yResolution,
                     float scale, int32_t quality, PxlJpegCompressor **compressor, uint8_t **data,
                     int32_t *size) {
  if (state == nullptr) return 118;
  if (rgb == nullptr || compressor == nullptr || data == nullptr || size == nullptr)
    return qtz::report(state, 118);
  if (state->ipwContext == nullptr) return qtz::report(state, 118);
  if (rgb->hdr.type != QTZ_IMAGE_RGB || rgb->rows == nullptr || rgb->hdr.width <= 0 ||
      rgb->hdr.height <= 0 || !(scale > 0.0f) || std::isinf(scale))
    return qtz::report(state, 2);
  const int64_t capacity = int64_t{rgb->hdr.width} * rgb->hdr.height / 4;
  StripMemorySink sink{state, nullptr, 0, capacity > 0 ? capacity : 1};
  qtz::OwnedBlock<uint8_t> buffer(
      state, static_cast<uint8_t *>(qtz::allocate(state, static_cast<size_t>(sink.capacity))));
  if (!buffer) return qtz::report(state, 1);
  sink.buffer = buffer.release();
  const int32_t status =
      scale != 1.0f ? codeScaled(state, rgb, xResolution, yResolution, scale, quality, &sink)
                    : codeDirect(state, rgb, xResolution, yResolution, quality, compressor, &sink);
  buffer.reset(sink.buffer);  // the sink may have moved it
  if (status != 0) return status;
  auto *shrunk = static_cast<uint8_t *>(
      qtz::resize(state, buffer.get(), static_cast<size_t>(sink.used > 0 ? sink.used : 1)));
  if (shrunk == nullptr) return qtz::report(state, 1);
  buffer.release();
  *data = shrunk;
  *size = static_cast<int32_t>(sink.used);
  return 0;
}

void imgFreeJpegCompressor(QtzState *state, PxlJpegCompressor **compressor) {
  if (compressor == nullptr || *compressor == nullptr) return;
  qtz::release(state, *compressor);
  *compressor = nullptr;
}
