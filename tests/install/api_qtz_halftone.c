/* Installed API, qtz_halftone.h: a 300 dpi page with a screened grey ramp has one halftone
 * region of cell 4, which is copied out and reduced to grey; coding needs an encoder stream,
 * which the installed API does not hand out, so a missing one is refused. Core images go into
 * token-image records so that tc_freeImage destroys them (the state's hooks are the C
 * library's, so the region records are freed with free). */
#include <stdlib.h>

#include "api_check.h"
#include "qtz_halftone.h"
#include "tc_util.h"

enum { kWidth = 640, kHeight = 400, kPeriod = 8 };

static void destroy(QtzState *state, struct Pixr *image) {
  TcImage *holder = calloc(1, sizeof *holder);
  holder->image = image;
  CHECK(tc_freeImage(state, holder) == 0);
}

static void destroyAll(QtzState *state, QtzAdtList *images) {
  for (QtzAdtListNode *n = images->head; n != NULL; n = n->next) destroy(state, n->data);
  CHECK(QtzAdt_liFree(images) == 0);
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 1, 0) == 0);

  /* A clustered-dot ramp of period 8 from 40, 50 to 600, 380, darker to the right. */
  QtzImage *mono = NULL;
  CHECK(QtzImage_new(state, QTZ_IMAGE_PACKED, kWidth, kHeight, &mono) == 0);
  for (int y = 50; y < 380; ++y) {
    uint32_t *row = (uint32_t *)mono->rows[y];
    for (int x = 40; x < 600; ++x) {
      const int dx = 2 * (x % kPeriod) + 1 - kPeriod, dy = 2 * (y % kPeriod) + 1 - kPeriod;
      /* grey g = 0.1 .. 0.9; black where (dx^2 + dy^2) / (2 period^2) < g */
      const int g1000 = 100 + 800 * (x - 40) / 560;
      if ((dx * dx + dy * dy) * 1000 < g1000 * 2 * kPeriod * kPeriod)
        row[x / 32] |= 0x80000000u >> (x % 32);
    }
  }
  struct Pixr *page = NULL;
  CHECK(tc_convertToPixr(state, mono, &page) == 0);

  struct Pixr *mask = NULL;
  QtzAdtList *regions = NULL;
  int32_t cell = 0;
  CHECK(GetAllHalftoneInfo(state, page, &mask, &regions, &cell) == 0);
  CHECK(mask != NULL && regions != NULL && regions->count == 1 && cell == 4);
  const QtzHalftoneRegion *region = regions->head->data;
  CHECK(region->cellSize == 4 && region->width % 4 == 0 && region->x <= 48 && region->y <= 56);

  QtzAdtList *images = NULL;
  CHECK(makeListofHalftoneRegions(state, page, regions, &images) == 0);
  CHECK(images != NULL && images->count == 1);
  QtzAdtList *greys = NULL;
  CHECK(compressHalftoneToGray(state, page, regions, cell, &greys) == 0);
  CHECK(greys != NULL && greys->count == 1 && region->greyLevels == 16);
  CHECK(encodeHalftoneJBig2(&regions, greys, NULL, 0, 1, state) == 10003);

  destroyAll(state, greys);
  destroyAll(state, images);
  for (QtzAdtListNode *n = regions->head; n != NULL; n = n->next) free(n->data);
  CHECK(QtzAdt_liFree(regions) == 0);
  destroy(state, mask);
  destroy(state, page);
  QtzImage_free(mono);
  Qtz_cleanupQtzState(&state);
  return 0;
}
