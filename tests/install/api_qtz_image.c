/* Installed API, qtz_image.h: records, wrapped records, conversion, PNM and raw files (written
 * to and read back from the directory given as the first argument), header token readers. */
#include <stdint.h>
#include <string.h>

#include "api_check.h"
#include "qtz_image.h"

static char path[4096];
static const char *inDir(const char *dir, const char *name) {
  snprintf(path, sizeof path, "%s/%s", dir, name);
  return path;
}

int main(int argc, char **argv) {
  CHECK(argc == 2);
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, stderr, Qtz_fileErrPrinter, 0, 0) == QTZ_OK);

  /* Records. */
  QtzImage *grey = NULL, *offset = NULL, *aligned = NULL, *copy = NULL, *rgb = NULL;
  CHECK(QtzImage_new(state, QTZ_IMAGE_GREY8, 5, 3, &grey) == QTZ_OK);
  grey->rows[1][2] = 200;
  CHECK(QtzImage_newOffset(state, QTZ_IMAGE_GREY8, 4, 4, 10, 20, &offset) == QTZ_OK);
  CHECK(offset->rows[20][10] == 0 && offset->rows[23][13] == 0);
  CHECK(QtzImage_newAligned(state, QTZ_IMAGE_GREY8, 5, 3, &aligned) == QTZ_OK);
  QtzImageHeader *header = NULL;
  CHECK(QtzImage_getHeader(aligned, &header) == QTZ_OK && header->bytesPerLine == 8);
  CHECK(QtzImage_setOffset(grey, 1, 1) == QTZ_OK && grey->rows[2][3] == 200);
  CHECK(QtzImage_setComment(grey, "made by the API check") == QTZ_OK);
  CHECK(QtzImage_dup(grey, 1, &copy) == QTZ_OK && copy->rows[2][3] == 200);
  CHECK(strcmp(copy->comment, "made by the API check") == 0);
  CHECK(QtzImage_convert(grey, QTZ_IMAGE_RGB, &rgb) == QTZ_OK);
  CHECK(rgb->rows[2][3 * 3] == 200 && rgb->rows[2][3 * 3 + 2] == 200);

  /* PNM files: save, load, header alone. */
  CHECK(QtzImage_save(rgb, inDir(argv[1], "rgb.ppm")) == QTZ_OK);
  QtzImage *loaded = NULL;
  CHECK(QtzImage_load(state, QTZ_IMAGE_RGB, path, &loaded) == QTZ_OK);
  CHECK(loaded->hdr.width == 5 && loaded->hdr.height == 3);
  CHECK(loaded->rows[loaded->hdr.yoff + 1][(loaded->hdr.xoff + 2) * 3 + 1] == 200);
  char text[256] = {0};
  FILE *stream = fmemopen(text, sizeof text - 1, "w");
  CHECK(QtzImage_pSaveHeaderF(grey, stream) == QTZ_OK);
  fclose(stream);
  CHECK(strncmp(text, "P5", 2) == 0);
  char pgm[] = "P5\n2 1\n255\n\x07\x09";
  stream = fmemopen(pgm, sizeof pgm - 1, "rb");
  QtzImage *small = NULL;
  CHECK(QtzImage_pLoadF(state, QTZ_IMAGE_GREY8, stream, &small) == QTZ_OK);
  fclose(stream);
  CHECK(small->rows[0][1] == 9);
  stream = fopen(inDir(argv[1], "small.pgm"), "wb");
  CHECK(stream != NULL && QtzImage_pSaveF(small, stream) == QTZ_OK);
  fclose(stream);

  /* Header tokens. */
  char tokens[] = "# note\n 42 1";
  char comment[QTZ_IMAGE_COMMENT_CAPACITY] = {0};
  int32_t commentLength = 0;
  uint8_t error = 0;
  stream = fmemopen(tokens, sizeof tokens - 1, "rb");
  CHECK(QtzImage_pbmGetToken(stream, &error, comment, &commentLength, state) == 42 && !error);
  CHECK(strstr(comment, "note") != NULL);
  CHECK(QtzImage_pbmGetPBMToken(stream, &error, NULL, NULL, state) == 1 && !error);
  fclose(stream);

  /* Raw files. */
  CHECK(QtzImage_saveRaw_(grey, QTZ_IMAGE_GREY8, inDir(argv[1], "grey.raw"), 0, state) == 0);
  QtzImage *raw = NULL, *rawF = NULL;
  CHECK(QtzImage_loadRaw(QTZ_IMAGE_GREY8, 5, 3, path, &raw, state) == QTZ_OK);
  CHECK(raw->rows[1][2] == 200);
  stream = fopen(inDir(argv[1], "grey2.raw"), "w+b");
  CHECK(stream != NULL && QtzImage_saveRawF_(raw, QTZ_IMAGE_GREY8, stream, 0, state) == 0);
  rewind(stream);
  CHECK(QtzImage_loadRawF(QTZ_IMAGE_GREY8, 5, 3, stream, &rawF, state) == QTZ_OK);
  fclose(stream);
  CHECK(rawF->rows[1][2] == 200);

  /* Records over the caller's pixels. */
  uint32_t words[2 * 3] = {0x80000000u, 0, 0, 0, 0, 1};
  uint8_t pixels[3 * 4 * 2] = {0};
  uint16_t wide[4] = {0};
  QtzImage *wrapped = NULL, *wrappedRgb = NULL, *wrappedAll = NULL;
  void *back = NULL;
  CHECK(QtzImage_wrap(state, words, 64, 3, 2, &wrapped) == QTZ_OK);
  CHECK(wrapped->rows[2] == (uint8_t *)&words[4]);
  CHECK(QtzImage_unwrap(wrapped, &back) == QTZ_OK && back == words);
  CHECK(QtzImage_wrapRGB(state, pixels, 4, 2, 12, &wrappedRgb) == QTZ_OK);
  CHECK(QtzImage_unwrapRGB(wrappedRgb, &back) == QTZ_OK && back == pixels);
  CHECK(QtzImage_wrapAll(state, wide, QTZ_IMAGE_INT16, 2, 2, 4, &wrappedAll) == QTZ_OK);
  CHECK(QtzImage_unwrapAll(wrappedAll, &back) == QTZ_OK && back == wide);

  QtzImage *all[] = {grey, offset, aligned, copy, rgb, loaded, small, raw, rawF};
  for (size_t i = 0; i < sizeof all / sizeof all[0]; ++i) CHECK(QtzImage_free(all[i]) == QTZ_OK);
  CHECK(Qtz_cleanupQtzState(&state) == QTZ_OK);
  return 0;
}
