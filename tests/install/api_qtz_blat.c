/* Installed API, qtz_blat.h: the word blits, the image blits and the colour blit on small
 * bitmaps whose every result bit is checked. */
#include <stdint.h>
#include <string.h>

#include "api_check.h"
#include "qtz_blat.h"

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, stderr, Qtz_fileErrPrinter, 0, 0) == QTZ_OK);

  const uint32_t source[2] = {0xF0000000u, 0xF0000000u}; /* 2 rows, 4 set pixels each */
  uint32_t page[4 * 2];                                  /* 4 rows of 2 words */
  memset(page, 0, sizeof page);
  QtzBlat_blitBitsClipLR(page, 2, source, 1, 0, 4, 2, 30, 1, state);
  CHECK(page[2] == 0x3u && page[3] == 0xC0000000u && page[4] == 0x3u && page[5] == 0xC0000000u);
  memset(page, 0, sizeof page);
  QtzBlat_blitBitsOr(page, 2, source, 1, 4, 2, 0, 0, state);
  CHECK(page[0] == 0xF0000000u && page[2] == 0xF0000000u);
  QtzBlat_blitBitsOrClip(page, 2, 0, 0, 64, 4, source, 1, 4, 2, -2, 3, state);
  CHECK(page[6] == 0xC0000000u && page[0] == 0xF0000000u);
  QtzBlat_blitBitsOpClip(page, 2, 0, 0, 64, 4, source, 1, 4, 2, 0, 0, QTZ_BLIT_XOR, state);
  CHECK(page[0] == 0 && page[2] == 0 && page[6] == 0xC0000000u);

  QtzImage *dst = NULL, *src = NULL;
  CHECK(QtzImage_new(state, QTZ_IMAGE_PACKED, 40, 4, &dst) == QTZ_OK);
  CHECK(QtzImage_new(state, QTZ_IMAGE_PACKED, 8, 2, &src) == QTZ_OK);
  QtzBlat_setImageBits(src);
  CHECK(((uint32_t *)src->rows[1])[0] == 0xFF000000u);
  QtzBlat_blitImageOr(dst, src, 36, 3); /* clipped to 4 x 1 pixels */
  CHECK(((uint32_t *)dst->rows[3])[1] == 0x0F000000u);
  CHECK(QtzBlat_blitImage(dst, src, 36, 3, QTZ_BLIT_XOR) == QTZ_OK);
  CHECK(((uint32_t *)dst->rows[3])[1] == 0);
  CHECK(QtzBlat_blitImage(dst, src, 0, 0, (QtzBlitOp)3) == QTZ_BLAT_ERR_BAD_OP);

  const uint32_t mask[1] = {0xA0000000u}; /* pixels 0 and 2 */
  uint8_t rgb[3 * 4];
  memset(rgb, 0xEE, sizeof rgb);
  QtzBlat_colorBlitBinaryRGB(mask, 4, 0, 0, rgb, 12, 0, 0, 0, 0, 4, 1, 0x123456u);
  CHECK(rgb[0] == 0x56 && rgb[1] == 0x34 && rgb[2] == 0x12);
  CHECK(rgb[3] == 0xEE && rgb[6] == 0x56 && rgb[9] == 0xEE);

  CHECK(QtzImage_free(dst) == QTZ_OK && QtzImage_free(src) == QTZ_OK);
  CHECK(Qtz_cleanupQtzState(&state) == QTZ_OK);
  return 0;
}
