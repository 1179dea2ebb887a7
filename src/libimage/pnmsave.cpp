// Writing PNM-style files.
//
// The magic follows the type (1 "P5", 2 "Q1", 3 "P6", 4 "Q2", 5 and 100 "P4", 6 "Q3", 8 "Q4",
// 9 "Q5"; type 7 has none: 10004). Except for type 100 the comment follows as "#" lines: it is
// cut at each newline, and a piece longer than 69 characters is broken after its last
// whitespace among its first 70 characters (that whitespace is dropped), or after 69
// characters when there is none. Then the dimensions: "width height" and, for "P5" and "P6",
// maxval 255 on a line of its own (on the same line in the header-only form). The data
// follows in the layout of the magic, elements big-endian, bilevel bytes packed to bits. A
// failed write is reported as 10000.
#include <cstring>

#include "qtz_image_internal.h"

namespace {

constexpr size_t kCommentWidth = 69;

const char *magicOf(int32_t type) {
  switch (type) {
    case QTZ_IMAGE_GREY8:
      return "P5";
    case QTZ_IMAGE_FLOAT:
      return "Q1";
    case QTZ_IMAGE_RGB:
      return "P6";
    case QTZ_IMAGE_DOUBLE:
      return "Q2";
    case QTZ_IMAGE_BILEVEL:
    case QTZ_IMAGE_PACKED:
      return "P4";
    case QTZ_IMAGE_INT32:
      return "Q3";
    case QTZ_IMAGE_INT16:
      return "Q4";
    case QTZ_IMAGE_RGB_FLOAT:
      return "Q5";
    default:
      return nullptr;
  }
}

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool writeCommentLine(FILE *stream, const char *text, size_t length) {
  return std::fprintf(stream, "#%.*s\n", static_cast<int>(length), text) >= 0;
}

// One line of the comment, broken into pieces of at most kCommentWidth characters.
bool writeCommentPiece(FILE *stream, const char *text, size_t length) {
  while (length > kCommentWidth) {
    size_t cut = kCommentWidth, skip = 0;
    for (size_t i = 0; i <= kCommentWidth; ++i) {
      if (isWhite(text[i])) {
        cut = i;
        skip = 1;
      }
    }
    if (!writeCommentLine(stream, text, cut)) return false;
    text += cut + skip;
    length -= cut + skip;
    if (length == 0) return true;
  }
  return writeCommentLine(stream, text, length);
}

bool writeComment(FILE *stream, const char *comment) {
  for (const char *p = comment; *p != '\0';) {
    const char *newline = std::strchr(p, '\n');
    const size_t length = newline != nullptr ? static_cast<size_t>(newline - p) : std::strlen(p);
    if (!writeCommentPiece(stream, p, length)) return false;
    p += length + (newline != nullptr ? 1 : 0);
  }
  return true;
}

// Magic, comment lines and dimensions; maxval on the size line when oneLine.
int32_t writeHeader(const QtzImage *image, FILE *stream, bool oneLine) {
  const QtzImageHeader &h = image->hdr;
  const char *magic = magicOf(h.type);
  if (magic == nullptr) return qtz::report(image->state, QTZ_IMAGE_ERR_TYPE);
  bool ok = std::fprintf(stream, "%s\n", magic) >= 0;
  if (ok && h.type != QTZ_IMAGE_PACKED && image->comment != nullptr)
    ok = writeComment(stream, image->comment);
  const bool withMaxval = h.type == QTZ_IMAGE_GREY8 || h.type == QTZ_IMAGE_RGB;
  if (ok && !withMaxval) {
    ok = std::fprintf(stream, "%d %d\n", h.width, h.height) >= 0;
  } else if (ok) {
    ok = std::fprintf(stream, oneLine ? "%d %d %d\n" : "%d %d\n%d\n", h.width, h.height, 255) >= 0;
  }
  return ok ? QTZ_OK : qtz::report(image->state, QTZ_IMAGE_ERR_FILE);
}

}  // namespace

extern "C" {

int32_t QtzImage_pSaveHeaderF(const QtzImage *image, FILE *stream) {
  if (image == nullptr || stream == nullptr) return QTZ_ERR_ASSERT;
  return writeHeader(image, stream, true);
}

int32_t QtzImage_pSaveF(const QtzImage *image, FILE *stream) {
  if (image == nullptr || stream == nullptr) return QTZ_ERR_ASSERT;
  int32_t status = writeHeader(image, stream, false);
  if (status != QTZ_OK) return status;
  const int32_t type = image->hdr.type;
  bool ok = false;
  if (type == QTZ_IMAGE_BILEVEL || type == QTZ_IMAGE_PACKED) {
    ok = qtz::writePackedRows(image, stream);
  } else {
    ok = qtz::writeElements(image, stream, true);
  }
  return ok ? QTZ_OK : qtz::report(image->state, QTZ_IMAGE_ERR_FILE);
}

int32_t QtzImage_save(const QtzImage *image, const char *path) {
  if (image == nullptr || path == nullptr) return QTZ_ERR_ASSERT;
  FILE *stream = std::fopen(path, "wb");
  if (stream == nullptr) return qtz::report(image->state, QTZ_ERR_NULL);
  const int32_t status = QtzImage_pSaveF(image, stream);
  if (std::fclose(stream) != 0) return qtz::report(image->state, QTZ_IMAGE_ERR_FILE);
  return status;
}

}  // extern "C"
