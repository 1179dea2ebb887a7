/* Installed API, qtz_cc.h: the components of a small framed page as boxes and lossless
 * tokens, a large component, a component added by hand, the collector's record and the
 * blocks; colour components of a two-row colour page fed in two strips. */
#include <stdlib.h>
#include <string.h>

#include "api_check.h"
#include "qtz_cc.h"

enum { kWords = 4, kRows = 8 + 64 }; /* 8 x 8 content in a 32-pixel frame, 128 bits a row */

static void setPixel(uint32_t *rows, int x, int y) {
  rows[(y + 32) * kWords + (x + 32) / 32] |= 0x80000000u >> ((x + 32) % 32);
}

/* Rows of a 6 x 2 colour page: a red bar over a picture run of two pixels. */
static int32_t readColourRow(QtzCCRunItem *item, int32_t *endOfRow, void *user, QtzState *state) {
  static const uint8_t picture[6] = {1, 2, 3, 4, 5, 6};
  int *step = (int *)user;
  (void)state;
  switch ((*step)++) {
    case 0:
      item->colour = 0xFF0000;
      item->length = 4;
      return 0;
    case 2:
      item->pixels = picture;
      item->length = 2;
      item->picture = 1;
      return 0;
    default:
      *endOfRow = 1;
      return 0;
  }
}

static void colourComponents(QtzState *state) {
  CHECK(QtzCC_DefaultBgColor == 0xFFFFFF);
  QtzCCFinder *finder = NULL;
  CHECK(QtzCC_init(state, &finder) == 0);
  CHECK(QtzCC_initPage(finder, 6, 2, 0xFFFF, 1) == 0);
  QtzAdtList *tokens = NULL, *pictures = NULL;
  CHECK(QtzAdt_liNew(&tokens, state) == 0 && QtzAdt_liNew(&pictures, state) == 0);
  int step = 0;
  CHECK(QtzCC_doStrip(finder, readColourRow, &step, 1, tokens, pictures) == 0);
  CHECK(tokens->count == 0);
  CHECK(QtzCC_doStrip(finder, readColourRow, &step, 1, tokens, pictures) == 0);
  CHECK(tokens->count == 1 && pictures->count == 1);
  QtzCCColourComponent *bar = (QtzCCColourComponent *)tokens->head->data;
  CHECK(bar->rgb[0] == 0xFF && bar->right == 3 && bar->runCount == 1);
  QtzCCColourComponent *area = (QtzCCColourComponent *)pictures->head->data;
  CHECK(area->flags == QTZ_CC_PER_PIXEL && area->top == 1 && area->image->rows[0][5] == 6);
  QtzCCColourComponent *both[2] = {bar, area};
  for (int i = 0; i < 2; ++i) {
    state->alloc.release(both[i]->runs);
    QtzImage_free(both[i]->image);
    state->poolFree(state->poolObject, 3, both[i]);
  }
  QtzAdt_liFree(tokens);
  QtzAdt_liFree(pictures);
  QtzCC_cleanup(&finder);
  CHECK(finder == NULL);
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 1, 1) == 0);
  QtzLlTokParams params = {0, state};
  QtzLlTokenizer *tok = NULL;
  CHECK(QtzLlTokInit(&tok, &params) == 0);
  QtzCCTokBlock *tokens = NULL;
  QtzCCPosBlock *positions = NULL;
  CHECK(QtzCC_initTokBlock(state, &tokens, 50) == 0);
  CHECK(QtzCC_initPosBlock(state, &positions, 100) == 0);

  static uint32_t rows[kRows * kWords];
  setPixel(rows, 1, 1); /* two dots and a bar of 6 */
  setPixel(rows, 5, 1);
  for (int x = 0; x < 6; ++x) setPixel(rows, x, 5);
  int32_t count = 0;
  QtzCCBox *boxes = NULL;
  QtzAdtList *large = NULL;
  CHECK(QtzCC_getBoxes(state, tok, rows, 8, 8, 4, 4, kWords * 4, &count, &boxes, 1, &large, tokens,
                       positions, 3, 0) == 0);
  CHECK(count == 2 && tokens->count == 1 && positions->count == 2);
  CHECK(boxes[0].yBottom == 1 && positions->items[1].page == 3);
  CHECK(large->count == 1);
  QtzCCLarge *bar = (QtzCCLarge *)large->head->data;
  CHECK(bar->width == 6 && bar->y == 5 && bar->runCount == 1 && bar->runs[1] == 5);
  state->alloc.release(bar->runs);
  state->poolFree(state->poolObject, 5, bar);
  QtzAdt_liFree(large);
  state->alloc.release(boxes);

  /* The dot again, by hand: the token block's entry of its class. */
  tokens->items[0] = 77;
  QtzCCComponent dot = {(uint16_t *)state->alloc.allocate(4), 1, 1, 1, 0};
  dot.runs[0] = 0;
  dot.runs[1] = 1;
  uint32_t token = 0;
  CHECK(QtzCC_tokenAddCC(state, tok, tokens, &dot, &token) == 0 && token == 77);

  QtzLlCCData data;
  CHECK(QtzLlCCData_init(state, &data, 0, tok, NULL, 0, 0, NULL, 8, 8, tokens, positions, 1, 0,
                         0) == 0);
  CHECK(data.state == state && data.tokBlock == tokens);

  CHECK(QtzLlTokAbort(tok) == 0);
  CHECK(QtzCC_cleanupTokBlock(state, tokens) == 0);
  CHECK(QtzCC_cleanupPosBlock(state, positions) == 0);
  colourComponents(state);
  Qtz_cleanupQtzState(&state);
  return 0;
}
