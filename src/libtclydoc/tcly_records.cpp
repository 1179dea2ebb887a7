// Token records of the token document: taken from pool class 6 of the library state, zeroed
// with the self link set, and given back with the bitmap and run list they own.
#include <cstring>

#include "qtz_internal.h"
#include "tcly_records_internal.h"

static_assert(sizeof(TclyToken) <= static_cast<size_t>(qtz::kPoolSize[6]),
              "the token record must fit pool class 6");

int32_t tclyTakeToken(QtzState *state, TclyToken **out) {
  TclyToken *token = nullptr;
  int32_t status = qtz::poolTake<6>(state, &token);
  if (status != 0) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  std::memset(static_cast<void *>(token), 0, sizeof(TclyToken));
  token->self = token;
  *out = token;
  return 0;
}

void tclyReleaseToken(QtzState *state, TclyToken *token) {
  if (token == nullptr) return;
  qtz::release(state, token->bits);
  qtz::release(state, token->runs);
  qtz::poolGive<6>(state, token);
}

void tclyFreeTokenList(QtzState *state, QtzAdtList *list) {
  if (list == nullptr) return;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next)
    tclyReleaseToken(state, static_cast<TclyToken *>(node->data));
  QtzAdt_liFree(list);
}
