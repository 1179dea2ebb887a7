/* Installed API, qtz_lltok.h: tokens classified across a partial section end and a resume,
 * handed out finally, a class freed alone, and a classifier aborted. */
#include <stdlib.h>
#include <string.h>

#include "api_check.h"
#include "qtz_lltok.h"

static uint16_t *runsOf(QtzState *state, const uint16_t *runs, int count) {
  uint16_t *copy = (uint16_t *)state->alloc.allocate((size_t)count * 4);
  memcpy(copy, runs, (size_t)count * 4);
  return copy;
}

static int32_t add(QtzLlTokenizer *tok, QtzState *state, const uint16_t *runs, int count,
                   uint32_t user, int32_t newNumber) {
  QtzLlToken token = {runsOf(state, runs, count), count, -1, -1, user};
  int32_t number = -1;
  CHECK(QtzLlAddToken(tok, &token, newNumber, &number) == 0);
  CHECK(token.runs == NULL);
  return number;
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, NULL, NULL, 0, 0) == 0);
  QtzLlTokParams params;
  QtzLlTokSetDefaults(&params)->state = state;
  QtzLlTokenizer *tok = NULL;
  CHECK(QtzLlTokInit(&tok, &params) == 0);

  const uint16_t l[] = {0, 1, 0, 2}; /* an L: 2 x 2 */
  const uint16_t bar[] = {0, 3};     /* a bar: 3 x 1 */
  CHECK(add(tok, state, l, 2, 10, 0) == 0);
  CHECK(add(tok, state, bar, 1, 11, 1) == 1);
  CHECK(add(tok, state, l, 2, 12, 2) == 0);
  CHECK(QtzLlTokMemUsage(tok) == 28 + 2 * 1);

  QtzAdtList *classes = NULL;
  CHECK(QtzLlTokPartial(tok, &classes) == 0 && classes->count == 2);
  CHECK(QtzLlTokResume(tok, classes) == 0);
  CHECK(add(tok, state, bar, 1, 13, 2) == 1);

  CHECK(QtzLlTokFinal(tok, &classes) == 0 && classes->count == 2);
  /* Height 1 comes first: the bar with its two tokens. */
  const QtzLlClass *first = (const QtzLlClass *)classes->head->data;
  CHECK(first->number == 1 && first->memberCount == 2 && first->width == 3);
  for (QtzAdtListNode *n = classes->head; n != NULL; n = n->next)
    QtzAdt_liFree(((QtzLlClass *)n->data)->members);
  QtzLlClass *last = (QtzLlClass *)classes->tail->data;
  QtzAdt_liRem(classes->tail);
  QtzLlTokFreeClass(last, state);
  CHECK(QtzLlTokFreeOutput(classes, state) == 0);

  CHECK(QtzLlTokInit(&tok, &params) == 0);
  CHECK(add(tok, state, l, 2, 1, 0) == 0);
  CHECK(QtzLlTokAbort(tok) == 0);
  Qtz_cleanupQtzState(&state);
  return 0;
}
