/* Installed API, norv_enc.h: an encoder state with its defaults, each setter taking good values
 * and refusing a bad one without changing anything, and clean-up (twice). */
#include <stddef.h>
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
  return 0;
}
