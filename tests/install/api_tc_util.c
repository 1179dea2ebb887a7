/* Installed API, tc_util.h: a token drawn from runs and inserted into packed, grey and colour
 * pages by every insertion call; a Group 4 token decoded into a page, decompressed alone and
 * in a list, and as a residual; a one-page TIFF file read upright and turned, the end of the
 * document, and caller images converted. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "api_check.h"
#include "tc_util.h"

/* T.6 of an 8 x 1 line: horizontal mode, white 4 and black 4, then EOFB. */
static const uint8_t kG4[] = {0x36, 0xC0, 0x04, 0x00, 0x40};

/* A classic little-endian TIFF of 8 x 1 WhiteIsZero pixels, uncompressed, the first four
 * black: nine directory entries (tag, type, count, value) and the strip byte after them. */
static const uint16_t kEntries[9][4] = {{256, 3, 1, 8}, {257, 3, 1, 1}, {258, 3, 1, 1},
                                        {259, 3, 1, 1}, {262, 3, 1, 0}, {273, 4, 1, 122},
                                        {277, 3, 1, 1}, {278, 3, 1, 1}, {279, 4, 1, 1}};

static int writeTiff(const char *path) {
  uint8_t bytes[123] = {'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
  for (int i = 0; i < 9; ++i) {
    uint8_t *entry = bytes + 10 + 12 * i;
    for (int k = 0; k < 3; ++k)
      entry[2 * k] = (uint8_t)kEntries[i][k], entry[2 * k + 1] = (uint8_t)(kEntries[i][k] >> 8);
    entry[8] = (uint8_t)kEntries[i][3];
  }
  bytes[122] = 0xF0;
  FILE *file = fopen(path, "wb");
  if (file == NULL) return 0;
  const int ok = fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
  return fclose(file) == 0 && ok;
}

static uint32_t packedWord(QtzImage *page, int y) {
  return ((uint32_t *)page->rows[y])[0];
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, stderr, Qtz_fileErrPrinter, 1, 1) == 0);

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

  /* A TIFF page upright and turned; page 2 is past the end. */
  char path[] = "/tmp/api_tc_util_XXXXXX";
  const int fd = mkstemp(path);
  CHECK(fd >= 0);
  close(fd);
  CHECK(writeTiff(path));
  TcImage *page = NULL;
  CHECK(tc_readTiff(state, path, 0, &page) == 0);
  CHECK(page->width == 8 && page->height == 1 && page->depth == 1 && page->channels == 1);
  CHECK(page->pixels != NULL && page->image != NULL);
  CHECK(tc_freeImage(state, page) == 0);
  CHECK(tc_readTiffEx(state, path, -1, 1, &page) == 0);
  CHECK(page->width == 1 && page->height == 8);
  CHECK(tc_freeImage(state, page) == 0);
  CHECK(tc_readTiffEx(state, path, 0, 2, &page) == 0 && page == NULL);
  CHECK(tc_freeImage(state, NULL) == 0);
  remove(path);

  /* Caller images; the core image goes into a record so that tc_freeImage destroys it (the
   * state's hooks are the C library's). */
  struct Pixr *converted = NULL;
  CHECK(tc_convertToPixr(state, mono, &converted) == 0 && converted != NULL);
  TcImage *holder = calloc(1, sizeof *holder);
  holder->image = converted;
  CHECK(tc_freeImage(state, holder) == 0);
  converted = NULL;
  CHECK(tc_convertToPixr(state, rgb, &converted) == 0 && converted != NULL);
  holder = calloc(1, sizeof *holder);
  holder->image = converted;
  CHECK(tc_freeImage(state, holder) == 0);
  CHECK(tc_convertToPixr(state, grey, &converted) == 2);

  ccittFreeDecoder(&decoder);
  QtzImage_free(mono);
  QtzImage_free(grey);
  QtzImage_free(rgb);
  QtzImage_free(source);
  Qtz_cleanupQtzState(&state);
  return 0;
}
