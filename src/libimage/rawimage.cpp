// Headerless raw image files: height rows of width pixels whose size and type the caller gives.
//
// Layout: types 5 and 100 are packed bits, most significant bit first, each row padded to a
// whole byte (type 5 is read through a packed image, which is freed); the other types are
// their elements back to back. The flag QTZ_RAW_BIG_ENDIAN alone (added to the type when
// reading, a separate argument when writing) reverses the bytes of each element (each channel
// of the colour types); QTZ_RAW_NATIVE has no effect, and with both set nothing is reversed.
// Reading checks a measurable stream for the bytes the image needs before allocating: short
// data gives 2003, exhausted memory 1, both reported. Type 7 and types outside the list give
// 12 ("Invalid image type").
#include "qtz_image_internal.h"

namespace {

constexpr char kInvalidType[] = "Invalid image type";
constexpr int32_t kFlags = QTZ_RAW_BIG_ENDIAN | QTZ_RAW_NATIVE;

bool isRawType(int32_t type) {
  return qtz::isImageType(type) && type != QTZ_IMAGE_QUAD;
}

bool isPackedLayout(int32_t type) {
  return type == QTZ_IMAGE_BILEVEL || type == QTZ_IMAGE_PACKED;
}

// Bytes of the file; saturates where no stream could hold that many.
uint64_t fileBytes(int32_t type, int32_t width, int32_t height) {
  const uint64_t row = isPackedLayout(type) ? (uint64_t(width) + 7) / 8
                                            : uint64_t(width) * uint64_t(qtz::elementBytes(type));
  uint64_t total = 0;
  return __builtin_mul_overflow(row, uint64_t(height), &total) ? UINT64_MAX : total;
}

qtz::ReadResult readRaw(QtzState *state, FILE *stream, int32_t type, int32_t width, int32_t height,
                        bool swap, QtzImage **out) {
  if (!isPackedLayout(type))
    return qtz::readElements(state, stream, type, width, height, swap, out);
  QtzImage *packed = nullptr;
  const qtz::ReadResult result = qtz::readPackedRows(state, stream, width, height, &packed);
  if (result != qtz::ReadResult::kOk || type == QTZ_IMAGE_PACKED) {
    *out = packed;
    return result;
  }
  const int32_t status = qtz::unpackBilevel(packed, out);
  QtzImage_free(packed);
  return status == QTZ_OK ? qtz::ReadResult::kOk : qtz::ReadResult::kNoMemory;
}

}  // namespace

extern "C" {

int32_t QtzImage_loadRawF(int32_t type, int32_t width, int32_t height, FILE *stream, QtzImage **out,
                          QtzState *state) {
  if (state == nullptr || stream == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  const bool swap = (type & kFlags) == QTZ_RAW_BIG_ENDIAN;
  type &= ~kFlags;
  if (!isRawType(type)) return qtz::reportText(state, QTZ_IMAGE_ERR_RAW_TYPE, kInvalidType);
  if (width < 0 || height < 0) return qtz::report(state, QTZ_ERR_ASSERT);
  if (!qtz::streamHolds(stream, fileBytes(type, width, height)))
    return qtz::report(state, QTZ_IMAGE_ERR_RAW_SHORT);
  QtzImage *image = nullptr;
  switch (readRaw(state, stream, type, width, height, swap, &image)) {
    case qtz::ReadResult::kOk:
      *out = image;
      return QTZ_OK;
    case qtz::ReadResult::kShort:
      return qtz::report(state, QTZ_IMAGE_ERR_RAW_SHORT);
    case qtz::ReadResult::kNoMemory:
      break;
  }
  return qtz::report(state, QTZ_ERR_NO_MEMORY);
}

int32_t QtzImage_loadRaw(int32_t type, int32_t width, int32_t height, const char *path,
                         QtzImage **out, QtzState *state) {
  if (state == nullptr || path == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  FILE *stream = std::fopen(path, "rb");
  if (stream == nullptr) return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  QtzImage *image = nullptr;
  const int32_t status = QtzImage_loadRawF(type, width, height, stream, &image, state);
  if (std::fclose(stream) != 0) {
    QtzImage_free(image);
    return qtz::report(state, QTZ_IMAGE_ERR_RAW_READ);
  }
  if (status == QTZ_OK) *out = image;
  return status;
}

int32_t QtzImage_saveRawF_(const QtzImage *image, int32_t type, FILE *stream, int32_t flags,
                           QtzState *state) {
  if (image == nullptr || stream == nullptr) return QTZ_ERR_ASSERT;
  if (!isRawType(type)) return qtz::reportText(state, QTZ_IMAGE_ERR_RAW_TYPE, kInvalidType);
  if (type != image->hdr.type) return qtz::report(state, QTZ_ERR_ASSERT);
  const bool swap = (flags & kFlags) == QTZ_RAW_BIG_ENDIAN;
  const bool ok = isPackedLayout(type) ? qtz::writePackedRows(image, stream)
                                       : qtz::writeElements(image, stream, swap);
  return ok ? QTZ_OK : qtz::report(state, QTZ_IMAGE_ERR_RAW_WRITE);
}

int32_t QtzImage_saveRaw_(const QtzImage *image, int32_t type, const char *path, int32_t flags,
                          QtzState *state) {
  if (image == nullptr || path == nullptr) return QTZ_ERR_ASSERT;
  FILE *stream = std::fopen(path, "wb");
  if (stream == nullptr) return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  const int32_t status = QtzImage_saveRawF_(image, type, stream, flags, state);
  if (std::fclose(stream) != 0) return qtz::report(state, QTZ_IMAGE_ERR_RAW_WRITE);
  return status;
}

}  // extern "C"
