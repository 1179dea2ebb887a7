/* Installed API, ccitt_decode.h: a decoder made and freed, and one small stream for each of
 * the three decoders. */
#include <string.h>

#include "api_check.h"
#include "ccitt_decode.h"

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 0, 0) == 0);
  CcittDecoder *decoder = NULL;
  CHECK(ccittNewDecoder(&decoder, state, NULL) == 0 && decoder != NULL);

  uint32_t rows[2] = {0, 0};
  int32_t left = -1;
  /* T.6: horizontal mode, white 4 (1011) and black 4 (011), then EOFB. */
  const uint8_t g4[] = {0x36, 0xC0, 0x04, 0x00, 0x40};
  CHECK(g4DecodeC(decoder, rows, 8, 1, 1, 0, 7, 0, g4, sizeof g4, 1, &left) == 0);
  CHECK(rows[0] == 0x0F000000u && left == 0);

  /* T.4 one-dimensional: white 4 (1011), black 4 (011). */
  const uint8_t g3[] = {0xB6};
  memset(rows, 0, sizeof rows);
  CHECK(g3_1DDecodeC(decoder, rows, 8, 1, 1, 0, 7, 0, g3, sizeof g3, 0, NULL) == 0);
  CHECK(rows[0] == 0x0F000000u);

  /* T.4 two-dimensional: an EOL with the tag 1, then the same one-dimensional line. */
  const uint8_t g32d[] = {0x00, 0x1D, 0xB0};
  memset(rows, 0, sizeof rows);
  CHECK(g3_2DDecodeC(decoder, rows, 8, 1, 1, 0, 7, 0, g32d, sizeof g32d, 0, NULL) == 0);
  CHECK(rows[0] == 0x0F000000u);

  ccittFreeDecoder(&decoder);
  CHECK(decoder == NULL);
  Qtz_cleanupQtzState(&state);
  return 0;
}
