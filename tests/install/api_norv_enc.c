/* Installed API, norv_enc.h: an encoder state with its defaults, each setter taking good values
 * and refusing a bad one without changing anything, an encoding run of one caller page into a
 * raw JBIG2 file, a missing TIFF document refused (the output abandoned), a banded page handed
 * back, and clean-up (twice). */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "api_check.h"
#include "norv_enc.h"

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 0, 0) == 0);
  NorvEncState *enc = NULL;
  CHECK(norv_initEncState(state, &enc) == 0 && enc != NULL);
  CHECK(enc->flushPages == 50 && enc->sectionPages == 100 && enc->defaultDpi == 300);
  CHECK(enc->jpegQuality == 90 && enc->backgroundDpi == 100 && enc->shiftTrials == 8);

  const uint8_t yes = 1;
  const int32_t code = 1, flush = 10, zero = 0;
  const char *orientation = "Right";
  CHECK(norv_setGeneralEncOptions(enc, NULL, NULL, NULL, NULL, &orientation, NULL, NULL, NULL, NULL,
                                  NULL, &code, NULL, NULL, &flush, NULL, NULL, &yes, &yes) == 0);
  CHECK(enc->orientation == 3 && enc->dictionaryMemoryLimit == 1015808);
  CHECK(enc->flushPages == 10 && enc->writeRawJbig2 == 1 && enc->writePdf == 1);
  CHECK(norv_setGeneralEncOptions(enc, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                                  NULL, NULL, NULL, NULL, &zero, NULL, NULL, NULL) == 2);
  CHECK(enc->sectionPages == 100);

  const int32_t quality = 70, dpi = 150;
  const float scale = 0.5f, badScale = 0.0f;
  CHECK(norv_setJpegOptions(enc, &quality, &dpi, &scale) == 0);
  CHECK(enc->jpegQuality == 70 && enc->backgroundDpi == 150 && enc->jpegScale == 0.5f);
  CHECK(norv_setJpegOptions(enc, &dpi, NULL, &badScale) == 2 && enc->jpegQuality == 70);

  const int32_t trials = 12, tooMany = 25;
  const float fraction = 0.9f;
  CHECK(norv_setTokenOptions(enc, NULL, &fraction, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                             &trials, NULL, NULL, NULL, NULL, NULL, NULL) == 0);
  CHECK(enc->matchFraction == 0.9f && enc->shiftTrials == 12);
  CHECK(norv_setTokenOptions(enc, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &tooMany,
                             NULL, NULL, NULL, NULL, NULL, NULL) == 2);
  CHECK(enc->shiftTrials == 12);

  CHECK(norv_cleanEncState(state, &enc) == 0 && enc == NULL);
  CHECK(norv_cleanEncState(state, &enc) == 0);
  Qtz_cleanupQtzState(&state);

  /* One 64 x 16 page with a black bar, from the caller's memory, into a raw JBIG2 file. */
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 1, 1) == 0);
  CHECK(norv_initEncState(state, &enc) == 0);
  enc->writeRawJbig2 = 1;
  uint32_t words[16 * 2];
  memset(words, 0, sizeof words);
  for (int y = 4; y < 12; ++y) words[y * 2] = 0x00FFFF00u;
  QtzImage *page = NULL;
  CHECK(QtzImage_wrapAll(state, words, QTZ_IMAGE_PACKED, 64, 16, 8, &page) == 0);
  FILE *out = tmpfile();
  CHECK(out != NULL);
  CHECK(norv_encStart(state, enc, out, NULL) == 0);
  CHECK(norv_encPage(state, enc, page, 1) == 0 && enc->pageCount == 1);
  CHECK(norv_encDocument(state, enc, "no-such-file.tif", 1) != 0);
  void *pixels = NULL;
  CHECK(QtzImage_unwrapAll(page, &pixels) == 0 && pixels == words);
  /* The failed call abandoned the output: clean-up cuts it back, reports it and frees the state. */
  CHECK(norv_cleanEncState(state, &enc) != 0 && enc == NULL);

  /* The same page in two bands, handed back as dictionary and page bytes. */
  CHECK(norv_initEncState(state, &enc) == 0);
  const uint8_t *rows = (const uint8_t *)words;
  CHECK(norv_encMonoBufInPage(state, enc, rows, 64, 10, 8, 16, 0, 0) == 0);
  CHECK(norv_encMonoBufInPage(state, enc, rows + 80, 64, 6, 8, 16, 1, 1) == 0);
  const uint8_t *globals = NULL, *data = NULL;
  size_t globalsLength = 0, dataLength = 0;
  CHECK(norv_encMonoBufGetPGData(state, enc, &globals, &globalsLength, &data, &dataLength) == 0);
  CHECK(data != NULL && dataLength > 0);
  CHECK(norv_cleanEncState(state, &enc) == 0);
  Qtz_cleanupQtzState(&state);
  return 0;
}
