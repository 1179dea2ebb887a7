/* Installed API, qtz_tdc.h: a compressed document with two bilevel pages rolled back to one,
 * an annotation, then a colour page fed in one strip in the next section, ended final. */
#include <stdlib.h>
#include <string.h>

#include "api_check.h"
#include "qtz_tdc.h"

enum { kWords = 4, kRows = 8 + 64 }; /* 8 x 8 content in a 32-pixel frame, 128 bits a row */

static void setPixel(uint32_t *rows, int x, int y) {
  rows[(y + 32) * kWords + (x + 32) / 32] |= 0x80000000u >> ((x + 32) % 32);
}

/* One row of a 4 x 1 colour page: a blue run of three pixels. */
static int32_t readRow(QtzCCRunItem *item, int32_t *endOfRow, void *user, QtzState *state) {
  int *step = (int *)user;
  (void)state;
  if ((*step)++ == 0) {
    item->colour = 0x0000FF;
    item->length = 3;
  } else {
    *endOfRow = 1;
  }
  return 0;
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 1, 1) == 0);
  QtzTdcJpegParams jpeg = {1.0f, 75};
  QtzLlTokParams options = {0, NULL};
  QtzTdcDoc *doc = NULL;
  CHECK(QtzTdc_initDoc(state, &doc, 0, 1, 0, 1, 0xFFFF, 0, &jpeg, &options, 0, 0) == 0);
  CHECK(QtzTdc_startSection(doc, NULL, 0) == 0 && options.state == state);

  static uint32_t first[kRows * kWords], second[kRows * kWords];
  setPixel(first, 1, 1);
  setPixel(second, 2, 2);
  setPixel(second, 3, 2);
  CHECK(QtzTdc_addMonoPage(doc, 1, first, 8, 8, kWords * 4, 300, 300, 0) == 0);
  CHECK(QtzTdc_addMonoPage(doc, 2, second, 8, 8, kWords * 4, 300, 300, 0) == 0);
  CHECK(QtzTdc_addAnnotation(doc, 2, 10, 20, 3, 0) == 0);
  QtzTdcSection *section = NULL;
  CHECK(QtzTdc_endSectionRollBack(doc, &section, 0) == 0);
  CHECK(section->pageCount == 1 && section->output->count == 1 && section->final == 1);

  CHECK(QtzTdc_startSection(doc, section, 0) == 0 && section->output == NULL);
  CHECK(QtzTdc_startColorPage(doc, 7, 4, 1, 300, 300, 0, 0, 0) == 0);
  int step = 0;
  CHECK(QtzTdc_addColorStrip(doc, 7, 1, readRow, &step, 0) == 0);
  CHECK(QtzTdc_endColorPage(doc, 7) == 0);
  CHECK(section->pages[0].boxCount == 1 && section->pages[0].colours[0].blue == 0xFF);
  QtzTdcSection *ended = NULL;
  CHECK(QtzTdc_endSection(doc, &ended, 1, 0) == 0 && ended == section);
  CHECK(ended->output->count == 1);
  CHECK(tdcFreeDoc(&doc, ended) == 0 && doc == NULL);
  Qtz_cleanupQtzState(&state);
  return 0;
}
