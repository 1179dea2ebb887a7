// Token readers of PNM-style headers and plain data.
//
// Both readers skip whitespace and "#" comment lines (end of file inside a comment is an
// error) and gather the comment text into the caller's buffer: every character after the "#",
// newline included, up to QTZ_IMAGE_COMMENT_CAPACITY - 1 characters in all; further comment
// characters are read and dropped. A number is accumulated in 64-bit arithmetic and refused as
// soon as it passes INT32_MAX, so no header value can overflow; the character that ends it is
// consumed and must be whitespace or the end of the file. A failure sets the error flag and
// gives 0.
#include "qtz_image_internal.h"

namespace {

bool isWhite(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void gather(char *comment, int32_t *length, int c) {
  if (comment == nullptr || length == nullptr) return;
  if (*length < 0 || *length >= QTZ_IMAGE_COMMENT_CAPACITY - 1) return;
  comment[(*length)++] = static_cast<char>(c);
  comment[*length] = '\0';
}

// The first character that is neither whitespace nor part of a comment, or EOF.
int skipToToken(FILE *stream, char *comment, int32_t *length) {
  for (;;) {
    int c = std::getc(stream);
    if (c == '#') {
      do {
        c = std::getc(stream);
        if (c == EOF) return EOF;
        gather(comment, length, c);
      } while (c != '\n');
      continue;
    }
    if (c == EOF || !isWhite(c)) return c;
  }
}

int32_t fail(uint8_t *error) {
  *error = 1;
  return 0;
}

}  // namespace

extern "C" {

int32_t QtzImage_pbmGetToken(FILE *stream, uint8_t *error, char *comment, int32_t *commentLength,
                             QtzState *state) {
  if (error == nullptr) return QTZ_ERR_ASSERT;
  *error = 0;
  if (stream == nullptr) return fail(error);
  int c = skipToToken(stream, comment, commentLength);
  if (c < '0' || c > '9') return fail(error);
  int64_t value = 0;
  for (; c >= '0' && c <= '9'; c = std::getc(stream)) {
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return fail(error);
  }
  if (c != EOF && !isWhite(c)) return fail(error);
  return static_cast<int32_t>(value);
}

int32_t QtzImage_pbmGetPBMToken(FILE *stream, uint8_t *error, char *comment, int32_t *commentLength,
                                QtzState *state) {
  if (error == nullptr) return QTZ_ERR_ASSERT;
  *error = 0;
  if (stream == nullptr) return fail(error);
  const int c = skipToToken(stream, comment, commentLength);
  if (c != '0' && c != '1') return fail(error);
  return c - '0';
}

}  // extern "C"
