/* Installed API, qtz_adt.h: a list, a sparse table and a hash table through their whole life. */
#include "api_check.h"
#include "qtz_adt.h"

static int released = 0;
static void onRelease(void *user) {
  released += user != NULL;
}

int main(void) {
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, NULL, NULL, stderr, Qtz_fileErrPrinter, 0, 0) == QTZ_OK);

  int a = 1, b = 2, c = 3;
  QtzAdtList *list = NULL, *more = NULL;
  QtzAdtListNode *node = NULL, *next = NULL;
  CHECK(QtzAdt_liNew(&list, state) == QTZ_OK && QtzAdt_liNew(&more, state) == QTZ_OK);
  CHECK(QtzAdt_liAdd(list, &a, &node) == QTZ_OK);
  CHECK(QtzAdt_liAddAfter(list, node, &c, NULL) == QTZ_OK);
  CHECK(QtzAdt_liAdd(more, &b, NULL) == QTZ_OK);
  CHECK(QtzAdt_liApp(list, more) == QTZ_OK && list->count == 3); /* frees more */
  CHECK(QtzAdt_liIsIn(list, &c, &node) == QTZ_OK && node != NULL && node->data == &c);
  CHECK(QtzAdt_liRemAndNext(node, &next) == QTZ_OK && next != NULL && next->data == &b);
  CHECK(QtzAdt_liRem(next) == QTZ_OK && list->count == 1);
  CHECK(QtzAdt_liClear(list) == QTZ_OK && list->count == 0 && list->head == NULL);
  CHECK(QtzAdt_liFree(list) == QTZ_OK);

  QtzAdtSparseMatrix *table = NULL;
  QtzAdtCell cell = -1;
  CHECK(QtzAdt_smNew(&table, 1, 0, state) == QTZ_OK);
  CHECK(QtzAdt_smSet(table, 40, 7, 99) == QTZ_OK);
  CHECK(QtzAdt_smGet(table, 41, 7, &cell) == QTZ_OK && cell == 0);
  CHECK(QtzAdt_smGet(table, 40, 7, &cell) == QTZ_OK && cell == 99);
  CHECK(QtzAdt_smIsAllocated(table, 40, 7) && !QtzAdt_smIsAllocated(table, 40, 8));
  CHECK(QtzAdt_smGetNextY(table, 0) == 7);
  QtzAdt_smFree(table);

  QtzAdtHashTable *hash = NULL;
  QtzAdtCell existing = -1, found = -1, removed = -1, entry = -1;
  CHECK(QtzAdt_htNew(&hash, &a, NULL, NULL, onRelease, 0, state) == QTZ_OK);
  CHECK(QtzAdt_htAddToTable(hash, 1234, &existing) == QTZ_OK && existing == 0);
  CHECK(QtzAdt_htAddToTable(hash, 1234, &existing) == QTZ_OK && existing == 1234);
  CHECK(QtzAdt_htIsInTable(hash, 1234, &found) == QTZ_OK && found == 1234);
  QtzAdt_htResetGetNextElement(hash);
  CHECK(QtzAdt_htGetNextElement(hash, &entry) == QTZ_OK && entry == 1234);
  CHECK(QtzAdt_htGetNextElement(hash, &entry) == QTZ_OK && entry == 0);
  CHECK(QtzAdt_htRemoveFromTable(hash, 1234, &removed) == QTZ_OK && removed == 1234);
  CHECK(QtzAdt_htIsInTable(hash, 1234, &found) == QTZ_OK && found == 0);
  QtzAdt_htFree(hash);
  CHECK(released == 1);

  CHECK(Qtz_cleanupQtzState(&state) == QTZ_OK);
  return 0;
}
