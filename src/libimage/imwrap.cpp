// Records over the caller's pixels, and taking them apart again.
//
// A wrapped record owns only its row table: rows[i] = pixels + i x stride (type 100: i x
// wordsPerRow words), bytesPerLine = the stride, offsets 0. The stride may be any value the
// caller's buffer allows, negative for bottom-up rows. A record of height 0 still gets a table
// of one entry, so that unwrapping can hand the pointer back. Unwrapping gives back the first
// pixel of the first row (the pointer that was wrapped, also after QtzImage_setOffset) and
// frees the table and the record, never the pixels. The three wrap entries differ only in
// their statuses: a null pointer is 10003 for QtzImage_wrap and QtzImage_wrapRGB and 118
// (reported) for QtzImage_wrapAll; a table that cannot be allocated is 118, 1 and 10005.
#include <limits>

#include "qtz_image_internal.h"

namespace {

int32_t wrapRows(QtzState *state, void *pixels, int32_t type, int32_t width, int32_t height,
                 int32_t stride, int32_t tableFailure, QtzImage **out) {
  if (width < 0 || height < 0) return QTZ_ERR_ASSERT;
  auto *image = static_cast<QtzImage *>(qtz::allocate(state, sizeof(QtzImage)));
  if (image == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const int64_t entries = height > 0 ? height : 1;
  auto *table = static_cast<uint8_t **>(
      qtz::allocate(state, static_cast<size_t>(entries) * sizeof(uint8_t *)));
  if (table == nullptr) {
    qtz::release(state, image);
    return qtz::report(state, tableFailure);
  }
  for (int64_t i = 0; i < entries; ++i)
    table[i] = qtz::displaced(static_cast<uint8_t *>(pixels), i * stride);
  *image =
      QtzImage{table, {width, height, stride, 0, 0, static_cast<uint16_t>(type)}, nullptr, state};
  *out = image;
  return QTZ_OK;
}

int32_t unwrapRows(QtzImage *image, void **pixels) {
  *pixels = qtz::rowStart(image, 0);
  QtzState *state = image->state;
  qtz::release(state, image->rows + image->hdr.yoff);
  qtz::release(state, image);
  return QTZ_OK;
}

}  // namespace

extern "C" {

int32_t QtzImage_wrap(QtzState *state, uint32_t *words, int32_t width, int32_t height,
                      int32_t wordsPerRow, QtzImage **out) {
  if (state == nullptr || words == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  if (width < 0 || wordsPerRow < (int64_t{width} + 31) / 32 ||
      wordsPerRow > std::numeric_limits<int32_t>::max() / 4)
    return QTZ_ERR_ASSERT;
  return wrapRows(state, words, QTZ_IMAGE_PACKED, width, height, wordsPerRow * 4, QTZ_ERR_NULL,
                  out);
}

int32_t QtzImage_wrapRGB(QtzState *state, uint8_t *pixels, int32_t width, int32_t height,
                         int32_t strideBytes, QtzImage **out) {
  if (state == nullptr || pixels == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  return wrapRows(state, pixels, QTZ_IMAGE_RGB, width, height, strideBytes, QTZ_ERR_NO_MEMORY, out);
}

int32_t QtzImage_wrapAll(QtzState *state, void *pixels, int32_t type, int32_t width, int32_t height,
                         int32_t strideBytes, QtzImage **out) {
  if (state == nullptr) return QTZ_ERR_ASSERT;
  if (pixels == nullptr || out == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  if (!qtz::isImageType(type)) return qtz::report(state, QTZ_IMAGE_ERR_TYPE);
  if (type == QTZ_IMAGE_PACKED)
    return QtzImage_wrap(state, static_cast<uint32_t *>(pixels), width, height, strideBytes / 4,
                         out);
  return wrapRows(state, pixels, type, width, height, strideBytes, QTZ_IMAGE_ERR_MEMORY, out);
}

int32_t QtzImage_unwrap(QtzImage *image, void **pixels) {
  if (image == nullptr || image->rows == nullptr || pixels == nullptr) return QTZ_ERR_ASSERT;
  return unwrapRows(image, pixels);
}

int32_t QtzImage_unwrapRGB(QtzImage *image, void **pixels) {
  return QtzImage_unwrap(image, pixels);
}

int32_t QtzImage_unwrapAll(QtzImage *image, void **pixels) {
  if (image == nullptr || image->rows == nullptr || pixels == nullptr)
    return qtz::report(image != nullptr ? image->state : nullptr, QTZ_ERR_NULL);
  return unwrapRows(image, pixels);
}

}  // extern "C"
