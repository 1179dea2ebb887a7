/* Installed API, tc_util.h: a token drawn from runs and inserted into packed, grey and colour
 * pages by every insertion call; a Group 4 token decoded into a page, decompressed alone and
 * in a list, and as a residual. */
#include <stdlib.h>
#include <string.h>

#include "api_check.h"
#include "tc_util.h"

/* T.6 of an 8 x 1 line: horizontal mode, white 4 and black 4, then EOFB. */
static const uint8_t kG4[] = {0x36, 0xC0, 0x04, 0x00, 0x40};

static uint32_t packedWord(QtzImage *page, int y) {
  return ((uint32_t *)page->rows[y])[0];
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 0, 0) == 0);

  /* Columns 2-4 of row 0 of an 8 x 1 token. */
  const uint16_t runs[] = {2, 3};
  QtzTokenBitmap token = {NULL, NULL, 0, 8, 1, 1};
  CHECK(RunsToUnframedBitmap(&token, runs, 1, 1, 1, 0, state) == 0);
  CHECK(token.bits[0] == 0x38000000u);

  QtzImage *mono = NULL, *grey = NULL, *rgb = NULL, *source = NULL;
  CHECK(QtzImage_new(state, QTZ_IMAGE_PACKED, 64, 4, &mono) == 0);
  CHECK(QtzImage_new(state, QTZ_IMAGE_GREY8, 16, 4, &grey) == 0);
  CHECK(QtzImage_new(state, QTZ_IMAGE_RGB, 16, 4, &rgb) == 0);
  CHECK(QtzImage_new(state, QTZ_IMAGE_RGB, 8, 1, &source) == 0);
  memset(source->rows[0], 0x44, 24);
  const QtzTokenPosition at = {0, 0, 1, 2};
  CHECK(InsertBoxPacked(mono, &at, &token, 0) == 0);
  CHECK(packedWord(mono, 2) == 0x1C000000u);
  memset(grey->rows[2], 255, 16);
  CHECK(InsertBoxScaled(grey, &at, &token, NULL) == 0);
  CHECK(grey->rows[2][2] == 255 && grey->rows[2][3] == 0 && grey->rows[2][5] == 0);
  CHECK(grey->rows[2][6] == 255);
  CHECK(InsertBoxRGB(rgb, &at, &token, 0x0000FFu) == 0);
  CHECK(rgb->rows[2][9] == 0xFF && rgb->rows[2][10] == 0);
  CHECK(InsertBoxRGB_scaled(rgb, &at, &token, &token, 0x0000FFu) == 0);
  CHECK(InsertSampledBox(rgb, source, &at, &token) == 0);
  CHECK(rgb->rows[2][9] == 0x44);
  CHECK(InsertSampledBox_scaled(rgb, source, &at, &token, NULL) == 0);
  free(token.bits);

  /* Group 4: into the page at row 0, then a residual of either form at row 1. */
  CHECK(InsertCompressedBoxPacked(mono, 0, 0, 8, 1, kG4, sizeof kG4, 0, state) == 0);
  CHECK(packedWord(mono, 0) == 0x0F000000u);
  CcittDecoder *decoder = NULL;
  CHECK(ccittNewDecoder(&decoder, state, NULL) == 0);
  CHECK(InsertCompressedBoxPackedC(mono, 8, 0, 8, 1, kG4, sizeof kG4, 0, decoder, state) == 0);
  CHECK(packedWord(mono, 0) == 0x0F0F0000u);
  CHECK(InsertResidual(mono, kG4, sizeof kG4, 0, 1, 8, 1, 0, state) == 0);
  const uint32_t row = 0x0F000000u;
  CHECK(InsertResidual(mono, &row, 0, 0, 1, 8, 1, 0, state) == 0);
  CHECK(packedWord(mono, 1) == 0);

  /* Decompression: the token takes a new bitmap, the caller frees the old data. */
  QtzTokenBitmap compressed = {NULL, NULL, sizeof kG4, 8, 1, 0};
  compressed.bits = malloc(sizeof kG4);
  memcpy(compressed.bits, kG4, sizeof kG4);
  void *old = NULL;
  CHECK(decompressSingleUseToken(&compressed, &old, state) == 0);
  CHECK(old != NULL && compressed.wordsPerRow == 1 && compressed.bits[0] == 0x0F000000u);
  free(old);
  free(compressed.bits);
  QtzTokenBitmap again = {NULL, NULL, sizeof kG4, 8, 1, 0};
  again.bits = malloc(sizeof kG4);
  memcpy(again.bits, kG4, sizeof kG4);
  CHECK(decompressSingleUseTokenC(&again, &old, decoder, state) == 0);
  free(old);
  free(again.bits);
  again.wordsPerRow = 0;
  again.compressedSize = sizeof kG4;
  again.bits = malloc(sizeof kG4);
  memcpy(again.bits, kG4, sizeof kG4);
  CHECK(decompressAnyCompressedTokens(&again, 1, state) == 0);
  CHECK(again.wordsPerRow == 1 && again.bits[0] == 0x0F000000u);
  free(again.bits);

  ccittFreeDecoder(&decoder);
  QtzImage_free(mono);
  QtzImage_free(grey);
  QtzImage_free(rgb);
  QtzImage_free(source);
  Qtz_cleanupQtzState(&state);
  return 0;
}
