// Section ends of the lossless classifier: handing its classes out (partial or final),
// putting an earlier output back, and destroying it.
//
// Hand-out walks the cells by height, then width, and each cell's hash table in its order;
// the whole list is built before anything is cleared, so a failed hand-out leaves the
// classifier as it was. A resumed class equal to one already held is freed with its member
// list (its tokens keep the number of the class held). A failed resume leaves the classes not
// yet put back on the caller's list.
#include "lltok_tables.h"
#include "qtz_internal.h"

namespace lltok {
namespace {

int32_t collect(QtzLlTokenizer *tok, QtzAdtList **out) {
  QtzAdtList *list = nullptr;
  int32_t status = QtzAdt_liNew(&list, tok->state);
  if (status != QTZ_OK) return status;
  status = forEachCell(tok, [&](QtzAdtCell &cell) {
    return forEachClass(reinterpret_cast<QtzAdtHashTable *>(cell),
                        [&](QtzLlClass *cls) { return QtzAdt_liAdd(list, cls, nullptr); });
  });
  if (status != QTZ_OK) {
    QtzAdt_liFree(list);
    return status;
  }
  *out = list;
  return QTZ_OK;
}

int32_t handOut(QtzLlTokenizer *tok, QtzAdtList **classes) {
  if (tok == nullptr) return QTZ_ERR_NULL;
  if (classes == nullptr) return qtz::report(tok->state, QTZ_ERR_NULL);
  return collect(tok, classes);
}

}  // namespace

void freeClassWhole(QtzLlClass *cls, QtzState *state) {
  if (cls->members != nullptr) QtzAdt_liFree(cls->members);
  QtzLlTokFreeClass(cls, state);
}

void destroy(QtzLlTokenizer *tok) {
  QtzState *state = tok->state;
  forEachCell(tok, [&](QtzAdtCell &cell) {
    auto *table = reinterpret_cast<QtzAdtHashTable *>(cell);
    if (tok->handedOut == 0) {
      forEachClass(table, [&](QtzLlClass *cls) {
        freeClassWhole(cls, state);
        return QTZ_OK;
      });
    }
    QtzAdt_htFree(table);
    return QTZ_OK;
  });
  QtzAdt_smFree(tok->cells);
  qtz::release(state, tok);
}

}  // namespace lltok

extern "C" {

int32_t QtzLlTokPartial(QtzLlTokenizer *tok, QtzAdtList **classes) {
  int32_t status = lltok::handOut(tok, classes);
  if (status != QTZ_OK) return status;
  lltok::forEachCell(tok, [](QtzAdtCell &cell) {
    QtzAdt_htFree(reinterpret_cast<QtzAdtHashTable *>(cell));
    cell = 0;
    return QTZ_OK;
  });
  // The cached class now belongs to the caller.
  tok->cache = &tok->placeholder;
  return QTZ_OK;
}

int32_t QtzLlTokFinal(QtzLlTokenizer *tok, QtzAdtList **classes) {
  int32_t status = lltok::handOut(tok, classes);
  if (status != QTZ_OK) return status;
  tok->handedOut = 1;
  lltok::destroy(tok);
  return QTZ_OK;
}

int32_t QtzLlTokResume(QtzLlTokenizer *tok, QtzAdtList *classes) {
  if (tok == nullptr) return QTZ_ERR_NULL;
  if (classes == nullptr) return QTZ_OK;
  tok->cache = &tok->placeholder;
  QtzAdtListNode *node = classes->head;
  while (node != nullptr) {
    auto *cls = static_cast<QtzLlClass *>(node->data);
    if (cls == nullptr) return QTZ_ERR_ASSERT;
    QtzAdtHashTable *table = nullptr;
    int32_t status = lltok::cellTable(tok, cls->width, cls->height, &table);
    QtzAdtCell existing = 0;
    if (status == QTZ_OK)
      status = QtzAdt_htAddToTable(table, reinterpret_cast<QtzAdtCell>(cls), &existing);
    if (status != QTZ_OK) return status;
    if (existing != 0) lltok::freeClassWhole(cls, tok->state);
    QtzAdt_liRemAndNext(node, &node);
  }
  return QtzAdt_liFree(classes);
}

int32_t QtzLlTokAbort(QtzLlTokenizer *tok) {
  if (tok != nullptr) lltok::destroy(tok);
  return QTZ_OK;
}

int32_t QtzLlTokFreeOutput(QtzAdtList *classes, QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (classes == nullptr) return QTZ_OK;
  for (QtzAdtListNode *node = classes->head; node != nullptr; node = node->next)
    QtzLlTokFreeClass(static_cast<QtzLlClass *>(node->data), state);
  return QtzAdt_liFree(classes);
}

void QtzLlTokFreeClass(QtzLlClass *cls, QtzState *state) {
  if (cls == nullptr || state == nullptr) return;
  qtz::release(state, cls->runs);
  qtz::poolGive<4>(state, cls);
}

}  // extern "C"
