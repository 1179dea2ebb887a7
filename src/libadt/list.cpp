// Doubly linked lists of untyped data pointers. The list record and every node are blocks of
// pool class 1 of the list's state; insertion and removal are constant time.
//
// Every operation checks the links it relies on before it changes anything, so a broken
// list, a node of another list or a null argument gives 10003 and leaves the lists as they
// were. Operations that walk the whole list (clear, free, append) first check that the chain
// from head holds exactly count nodes, all owned by the list. Pool failures are returned
// unchanged. Nothing here reports through the error sink.
#include "qtz_adt.h"
#include "qtz_internal.h"

namespace {

constexpr int kListClass = 1;

// True when the chain from head holds exactly list->count nodes, each owned by the list.
bool chainIsOwned(const QtzAdtList *list) {
  int32_t seen = 0;
  for (const QtzAdtListNode *node = list->head; node != nullptr; node = node->next) {
    if (node->owner != list || ++seen > list->count) return false;
  }
  return seen == list->count;
}

int32_t newNode(QtzAdtList *list, void *data, QtzAdtListNode **out) {
  QtzAdtListNode *node = nullptr;
  int32_t status = qtz::poolTake<kListClass>(list->state, &node);
  if (status != QTZ_OK) return status;
  *node = QtzAdtListNode{nullptr, nullptr, list, data};
  *out = node;
  return QTZ_OK;
}

void releaseNodes(QtzAdtList *list) {
  QtzAdtListNode *node = list->head;
  while (node != nullptr) {
    QtzAdtListNode *next = node->next;
    node->owner = nullptr;
    qtz::poolGive<kListClass>(list->state, node);
    node = next;
  }
  list->head = list->tail = nullptr;
  list->count = 0;
}

}  // namespace

extern "C" {

int32_t QtzAdt_liNew(QtzAdtList **out, QtzState *state) {
  if (out == nullptr || state == nullptr) return QTZ_ERR_ASSERT;
  QtzAdtList *list = nullptr;
  int32_t status = qtz::poolTake<kListClass>(state, &list);
  if (status != QTZ_OK) return status;
  *list = QtzAdtList{nullptr, nullptr, state, 0};
  *out = list;
  return QTZ_OK;
}

int32_t QtzAdt_liAdd(QtzAdtList *list, void *data, QtzAdtListNode **outNode) {
  if (list == nullptr) return QTZ_ERR_ASSERT;
  if (list->tail == nullptr ? list->head != nullptr : list->tail->next != nullptr)
    return QTZ_ERR_ASSERT;
  QtzAdtListNode *node = nullptr;
  int32_t status = newNode(list, data, &node);
  if (status != QTZ_OK) return status;
  node->prev = list->tail;
  if (list->tail != nullptr) {
    list->tail->next = node;
  } else {
    list->head = node;
  }
  list->tail = node;
  ++list->count;
  if (outNode != nullptr) *outNode = node;
  return QTZ_OK;
}

int32_t QtzAdt_liAddAfter(QtzAdtList *list, QtzAdtListNode *after, void *data,
                          QtzAdtListNode **outNode) {
  if (list == nullptr) return QTZ_ERR_ASSERT;
  if (after != nullptr) {
    if (after->owner != list || (after->next == nullptr) != (list->tail == after))
      return QTZ_ERR_ASSERT;
  } else if ((list->tail == nullptr) != (list->head == nullptr)) {
    return QTZ_ERR_ASSERT;
  }
  QtzAdtListNode *node = nullptr;
  int32_t status = newNode(list, data, &node);
  if (status != QTZ_OK) return status;
  node->prev = after;
  node->next = after != nullptr ? after->next : list->head;
  if (after != nullptr) {
    after->next = node;
  } else {
    list->head = node;
  }
  if (node->next != nullptr) {
    node->next->prev = node;
  } else {
    list->tail = node;
  }
  ++list->count;
  if (outNode != nullptr) *outNode = node;
  return QTZ_OK;
}

int32_t QtzAdt_liRem(QtzAdtListNode *node) {
  if (node == nullptr || node->owner == nullptr) return QTZ_ERR_ASSERT;
  QtzAdtList *list = node->owner;
  // A node is the head exactly when it has no prev, the tail exactly when it has no next.
  if ((list->head == node) != (node->prev == nullptr)) return QTZ_ERR_ASSERT;
  if ((list->tail == node) != (node->next == nullptr)) return QTZ_ERR_ASSERT;
  if (node->prev != nullptr) {
    node->prev->next = node->next;
  } else {
    list->head = node->next;
  }
  if (node->next != nullptr) {
    node->next->prev = node->prev;
  } else {
    list->tail = node->prev;
  }
  --list->count;
  node->owner = nullptr;
  qtz::poolGive<kListClass>(list->state, node);
  return QTZ_OK;
}

int32_t QtzAdt_liRemAndNext(QtzAdtListNode *node, QtzAdtListNode **outNext) {
  if (node == nullptr || outNext == nullptr) return QTZ_ERR_ASSERT;
  QtzAdtListNode *next = node->next;
  int32_t status = QtzAdt_liRem(node);
  if (status == QTZ_OK) *outNext = next;
  return status;
}

int32_t QtzAdt_liIsIn(QtzAdtList *list, const void *data, QtzAdtListNode **outNode) {
  if (list == nullptr || outNode == nullptr) return QTZ_ERR_ASSERT;
  *outNode = nullptr;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next)
    if (node->data == data) *outNode = node;
  return QTZ_OK;
}

int32_t QtzAdt_liApp(QtzAdtList *dst, QtzAdtList *src) {
  // Nodes go back to the pools of their list's state, so both lists must share one state.
  if (dst == nullptr || src == nullptr || dst == src || dst->state != src->state)
    return QTZ_ERR_ASSERT;
  if (!chainIsOwned(src) || (src->head == nullptr) != (src->tail == nullptr)) return QTZ_ERR_ASSERT;
  if (dst->tail == nullptr ? dst->head != nullptr : dst->tail->next != nullptr)
    return QTZ_ERR_ASSERT;
  if (src->head != nullptr && src->head->prev != nullptr) return QTZ_ERR_ASSERT;

  for (QtzAdtListNode *node = src->head; node != nullptr; node = node->next) node->owner = dst;
  if (src->head != nullptr) {
    src->head->prev = dst->tail;
    if (dst->tail != nullptr) {
      dst->tail->next = src->head;
    } else {
      dst->head = src->head;
    }
    dst->tail = src->tail;
  }
  dst->count += src->count;
  qtz::poolGive<kListClass>(dst->state, src);
  return QTZ_OK;
}

int32_t QtzAdt_liClear(QtzAdtList *list) {
  if (list == nullptr || !chainIsOwned(list)) return QTZ_ERR_ASSERT;
  releaseNodes(list);
  return QTZ_OK;
}

int32_t QtzAdt_liFree(QtzAdtList *list) {
  if (list == nullptr || !chainIsOwned(list)) return QTZ_ERR_ASSERT;
  releaseNodes(list);
  qtz::poolGive<kListClass>(list->state, list);
  return QTZ_OK;
}

}  // extern "C"
