// Helpers shared by the units of the image library (and the blits): type geometry, row
// addressing without out-of-object pointer arithmetic, reports with a text of their own, the
// shared constructor, the conversion table queries, and the packed and element row I/O of
// the file readers and writers.
#ifndef QTZ_IMAGE_INTERNAL_H
#define QTZ_IMAGE_INTERNAL_H

#include <cstdint>
#include <cstdio>

#include "qtz_image.h"
#include "qtz_internal.h"

namespace qtz {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "element byte swapping assumes it");

inline constexpr int32_t kUnreadable = -1;  // elementBytes of an unknown type

// Bytes of one pixel of types 1 to 9; 0 for type 100 (bits); kUnreadable otherwise.
constexpr int32_t elementBytes(int32_t type) {
  switch (type) {
    case 1:
    case 5:
      return 1;
    case 8:
      return 2;
    case 3:
      return 3;
    case 2:
    case 6:
    case 7:
      return 4;
    case 4:
      return 8;
    case 9:
      return 12;
    case 100:
      return 0;
    default:
      return kUnreadable;
  }
}

constexpr bool isImageType(int32_t type) {
  return elementBytes(type) != kUnreadable;
}

// A constructor's type that leaves the pixels unset.
constexpr int32_t unzeroed(int32_t type) {
  return type | QTZ_IMAGE_NO_ZERO;
}

// Bytes of one row of width pixels; aligned rows are padded to a multiple of 4 bytes (packed
// rows always are whole words).
constexpr int64_t rowBytes(int32_t type, int64_t width, bool aligned) {
  if (type == QTZ_IMAGE_PACKED) return 4 * ((width + 31) / 32);
  const int64_t bytes = width * elementBytes(type);
  return aligned ? (bytes + 3) / 4 * 4 : bytes;
}

// p moved by a byte count that may leave its object (biased row pointers and tables); done on
// the address so that no out-of-object pointer arithmetic takes place.
template <typename T>
T *displaced(T *p, int64_t bytes) {
  return reinterpret_cast<T *>(reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(bytes));
}

// First pixel (types 1 to 9) or first word (type 100) of row i, 0 <= i < height.
inline uint8_t *rowStart(const QtzImage *image, int64_t i) {
  uint8_t *row = image->rows[image->hdr.yoff + i];
  return displaced(row, int64_t{image->hdr.xoff} * elementBytes(image->hdr.type));
}

inline uint32_t *packedRow(const QtzImage *image, int64_t i) {
  return reinterpret_cast<uint32_t *>(image->rows[image->hdr.yoff + i]);
}

// The constructor behind QtzImage_new, QtzImage_newOffset and QtzImage_newAligned.
int32_t makeImage(QtzState *state, int32_t type, int32_t width, int32_t height, int32_t xoff,
                  int32_t yoff, bool aligned, QtzImage **out);

// A copy of text from the state's hooks, or null when memory runs out.
char *copyText(const QtzState *state, const char *text, size_t length);

// True when the conversion table marks (from, to) as a promotion.
bool isPromotion(int32_t from, int32_t to);

// The converter path for promotion pairs and for the pairs between types 5 and 100.
int32_t imPromote(const QtzImage *image, int32_t to, QtzImage **out);

// Type 100 to a new zeroed type 5, and type 5 to a new type 100 with clear bits past the
// width. Status of the constructor on failure.
int32_t unpackBilevel(const QtzImage *image, QtzImage **out);
int32_t packBilevel(const QtzImage *image, QtzImage **out);

// One packed word from 32 bilevel bytes (non-zero = 1), the first in the top bit; count < 32
// bytes leave the low bits clear.
uint32_t packWord(const uint8_t *pixels, int32_t count);

// Outcome of the row readers; each caller maps it to its own status.
enum class ReadResult { kOk, kShort, kNoMemory };

// False when the stream is known to hold fewer than bytes more bytes (a seekable stream is
// measured and put back where it was); true when it holds enough or cannot be measured.
bool streamHolds(FILE *stream, uint64_t bytes);

// height rows of ceil(width / 8) bytes, most significant bit first, into a new type-100
// image with bits past the width clear.
ReadResult readPackedRows(QtzState *state, FILE *stream, int32_t width, int32_t height,
                          QtzImage **out);
// width x height elements of a type 1 to 9 into a new image, in one read; swap: reverse the
// bytes of each element (of each channel of the colour types).
ReadResult readElements(QtzState *state, FILE *stream, int32_t type, int32_t width, int32_t height,
                        bool swap, QtzImage **out);

// Writes a type-5 or type-100 image as rows of ceil(width / 8) bytes, most significant bit
// first, pad bits 0; false when a write fails. The image is not touched.
bool writePackedRows(const QtzImage *image, FILE *stream);
// Writes the rows of a type 1 to 9 image, elements byte-reversed when swap; false when a
// write fails.
bool writeElements(const QtzImage *image, FILE *stream, bool swap);

}  // namespace qtz

#endif
