// The image record: constructors, free, duplicate, origin, header and comment.
//
// A constructed record owns one pixel block of height x bytesPerLine bytes (zero-filled unless
// the type carries QTZ_IMAGE_NO_ZERO) and a table of height row pointers, biased so that
// rows[yoff] is the first row; for types 1 to 9 each row pointer is also biased by xoff
// element bytes. Sizes are checked in 64-bit arithmetic: a row longer than 2^31 - 1 bytes or a
// block that cannot be addressed fails like an allocation (10005). A failed constructor leaves
// nothing allocated. Duplicates copy row by row through the source's row table, so aligned and
// wrapped sources (rows farther apart than their pixels) are copied with their own geometry.
#include <cstring>
#include <limits>

#include "qtz_image_internal.h"

namespace {

constexpr char kBadTag[] = "bad image tag";

// The pixel block of a record with rows: where its first row's first pixel lies.
uint8_t *pixelBlock(const QtzImage *image) {
  return qtz::rowStart(image, 0);
}

uint8_t **rowTable(const QtzImage *image) {
  return image->rows + image->hdr.yoff;
}

// Points the row table at rows of stride bytes starting at first, biased for the offsets.
void fillRows(QtzImage *image, uint8_t **table, uint8_t *first, int64_t stride) {
  const int64_t bias = -int64_t{image->hdr.xoff} * qtz::elementBytes(image->hdr.type);
  for (int64_t i = 0; i < image->hdr.height; ++i)
    table[i] = qtz::displaced(first, i * stride + bias);
  image->rows = qtz::displaced(table, -int64_t{image->hdr.yoff} * int64_t{sizeof(uint8_t *)});
}

}  // namespace

namespace qtz {

char *copyText(const QtzState *state, const char *text, size_t length) {
  auto *copy = static_cast<char *>(allocate(state, length + 1));
  if (copy != nullptr) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

int32_t makeImage(QtzState *state, int32_t type, int32_t width, int32_t height, int32_t xoff,
                  int32_t yoff, bool aligned, QtzImage **out) {
  if (state == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  const bool zeroed = (type & QTZ_IMAGE_NO_ZERO) == 0;
  type &= ~QTZ_IMAGE_NO_ZERO;
  if (!isImageType(type)) return report(state, QTZ_IMAGE_ERR_TYPE);
  if (width < 0 || height < 0) return report(state, QTZ_ERR_ASSERT);
  const int64_t stride = rowBytes(type, width, aligned);
  if (stride > std::numeric_limits<int32_t>::max() ||
      static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) >
          static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max()))
    return report(state, QTZ_IMAGE_ERR_MEMORY);

  auto *image = static_cast<QtzImage *>(allocate(state, sizeof(QtzImage)));
  if (image == nullptr) return report(state, QTZ_ERR_NO_MEMORY);
  *image = QtzImage{
      nullptr,
      {width, height, static_cast<int32_t>(stride), xoff, yoff, static_cast<uint16_t>(type)},
      nullptr,
      state};
  if (width != 0 && height != 0) {
    const size_t blockBytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    void *block = zeroed ? allocateZeroed(state, 1, blockBytes) : allocate(state, blockBytes);
    auto *table = block == nullptr ? nullptr
                                   : static_cast<uint8_t **>(allocate(
                                         state, static_cast<size_t>(height) * sizeof(uint8_t *)));
    if (table == nullptr) {
      release(state, block);
      release(state, image);
      return report(state, QTZ_IMAGE_ERR_MEMORY);
    }
    fillRows(image, table, static_cast<uint8_t *>(block), stride);
  }
  *out = image;
  return QTZ_OK;
}

}  // namespace qtz

extern "C" {

int32_t QtzImage_new(QtzState *state, int32_t type, int32_t width, int32_t height, QtzImage **out) {
  return qtz::makeImage(state, type, width, height, 0, 0, false, out);
}

int32_t QtzImage_newOffset(QtzState *state, int32_t type, int32_t width, int32_t height,
                           int32_t xoff, int32_t yoff, QtzImage **out) {
  return qtz::makeImage(state, type, width, height, xoff, yoff, false, out);
}

int32_t QtzImage_newAligned(QtzState *state, int32_t type, int32_t width, int32_t height,
                            QtzImage **out) {
  return qtz::makeImage(state, type, width, height, 0, 0, true, out);
}

int32_t QtzImage_free(QtzImage *image) {
  if (image == nullptr) return QTZ_OK;
  const QtzState *state = image->state;
  if (!qtz::isImageType(image->hdr.type))
    return qtz::reportText(state, QTZ_IMAGE_ERR_CORRUPT, kBadTag);
  qtz::release(state, image->comment);
  if (image->rows != nullptr) {
    qtz::release(state, pixelBlock(image));
    qtz::release(state, rowTable(image));
  }
  qtz::release(state, image);
  return QTZ_OK;
}

int32_t QtzImage_dup(const QtzImage *image, uint8_t copyComment, QtzImage **out) {
  if (image == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  const QtzImageHeader &h = image->hdr;
  if (!qtz::isImageType(h.type)) return qtz::report(image->state, QTZ_IMAGE_ERR_TYPE);
  QtzImage *copy = nullptr;
  int32_t status = qtz::makeImage(image->state, qtz::unzeroed(h.type), h.width, h.height, h.xoff,
                                  h.yoff, false, &copy);
  if (status != QTZ_OK) return status;
  // Only the pixels of each row are copied: rows of packed records are ceil(width / 32) words.
  if (image->rows != nullptr) {
    const auto bytes = static_cast<size_t>(copy->hdr.bytesPerLine);
    for (int64_t i = 0; i < h.height; ++i)
      std::memcpy(qtz::rowStart(copy, i), qtz::rowStart(image, i), bytes);
  }
  if (copyComment != 0 && h.type != QTZ_IMAGE_PACKED && image->comment != nullptr) {
    copy->comment = qtz::copyText(image->state, image->comment, std::strlen(image->comment));
    if (copy->comment == nullptr) {
      QtzImage_free(copy);
      return qtz::report(image->state, QTZ_IMAGE_ERR_MEMORY);
    }
  }
  *out = copy;
  return QTZ_OK;
}

int32_t QtzImage_setOffset(QtzImage *image, int32_t xoff, int32_t yoff) {
  if (image == nullptr) return QTZ_ERR_ASSERT;
  QtzImageHeader &h = image->hdr;
  if (!qtz::isImageType(h.type)) return qtz::report(image->state, QTZ_IMAGE_ERR_TYPE);
  if (h.type == QTZ_IMAGE_PACKED && image->rows == nullptr) return QTZ_ERR_ASSERT;
  if (image->rows != nullptr) {
    uint8_t **table = rowTable(image);
    const int64_t shift = (int64_t{h.xoff} - xoff) * qtz::elementBytes(h.type);
    // A wrapped record of height 0 keeps one entry, the caller's pointer, in its table.
    const int64_t entries = h.height > 0 ? h.height : 1;
    for (int64_t i = 0; i < entries; ++i) table[i] = qtz::displaced(table[i], shift);
    image->rows = qtz::displaced(table, -int64_t{yoff} * int64_t{sizeof(uint8_t *)});
  }
  h.xoff = xoff;
  h.yoff = yoff;
  return QTZ_OK;
}

int32_t QtzImage_getHeader(QtzImage *image, QtzImageHeader **out) {
  if (image == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  *out = &image->hdr;
  return QTZ_OK;
}

int32_t QtzImage_setComment(QtzImage *image, const char *text) {
  if (image == nullptr) return QTZ_ERR_ASSERT;
  char *copy = nullptr;
  if (text != nullptr) {
    copy = qtz::copyText(image->state, text, std::strlen(text));
    if (copy == nullptr) return qtz::report(image->state, QTZ_IMAGE_ERR_MEMORY);
  }
  qtz::release(image->state, image->comment);
  image->comment = copy;
  return QTZ_OK;
}

}  // extern "C"
