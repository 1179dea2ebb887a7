/* Installed API, tok_dilate.h: one pass of a caller's plus-shaped table over a single pixel. */
#include <stdint.h>
#include <string.h>

#include "api_check.h"
#include "tok_dilate.h"

int main(void) {
  /* Bit 0: the OR of the pixel (index bit 6) and its direct neighbours (bits 2, 5, 7, 10). */
  static uint8_t table[8192];
  for (uint32_t i = 0; i < 8192; ++i)
    table[i] = (i & ((1u << 2) | (1u << 5) | (1u << 6) | (1u << 7) | (1u << 10))) != 0;
  const uint32_t src[1] = {0x40000000u}; /* width 3: .#. */
  uint32_t dst[3];
  memset(dst, 0xFF, sizeof dst);
  int32_t border = -1;
  TableCrossDilate(src, 1, 3, 1, &border, dst, 1, table, NULL);
  CHECK(dst[0] == 0x40000000u && dst[1] == 0xE0000000u && dst[2] == 0x40000000u);
  CHECK(border == 0); /* this table sets no border flags */
  return 0;
}
