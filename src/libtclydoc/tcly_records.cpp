// Token records of the token document: taken from pool class 6 of the library state, zeroed
// with the self link set, and given back with the run list and bitmap they own; lists of
// symbol records freed with their bitmaps; the bottom row of an instance kept on its page.
#include <algorithm>
#include <cstring>

#include "qtz_internal.h"
#include "tcly_records_internal.h"

static_assert(sizeof(TclyToken) <= static_cast<size_t>(qtz::kPoolSize[6]),
              "the token record must fit pool class 6");

int32_t tclyPlacedBottomRow(int64_t bottom, int32_t height, int32_t pageHeight) {
  bottom = std::min<int64_t>(bottom, int64_t{pageHeight} - 1);
  return static_cast<int32_t>(std::max<int64_t>(bottom, int64_t{height} - 1));
}

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
  if (token->ownsBits != 0) qtz::release(state, token->bits);
  qtz::release(state, token->runs);
  qtz::poolGive<6>(state, token);
}

void tclyFreeTokenList(QtzState *state, QtzAdtList *list) {
  if (list == nullptr) return;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next)
    tclyReleaseToken(state, static_cast<TclyToken *>(node->data));
  QtzAdt_liFree(list);
}

void tclyFreeSymbolList(QtzState *state, QtzAdtList *list) {
  if (list == nullptr) return;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next) {
    auto *symbol = static_cast<TclySymbolRecord *>(node->data);
    qtz::release(state, symbol->bitmap);
    qtz::release(state, symbol);
  }
  QtzAdt_liFree(list);
}
