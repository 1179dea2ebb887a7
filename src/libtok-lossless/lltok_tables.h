// The classifier record and the helpers its units share: run-list hashing and equality, the
// per-size cells of hash tables, and freeing classes.
#ifndef LLTOK_TABLES_H
#define LLTOK_TABLES_H

#include <cstdint>

#include "qtz_lltok.h"

struct QtzLlTokenizer {
  uint32_t flags;
  QtzAdtSparseMatrix *cells;  // (width, height) -> QtzAdtHashTable of that size's classes
  int32_t classCount;
  uint8_t handedOut;       // the classes belong to the caller: destroying frees no class
  QtzLlClass *cache;       // last class used with fewer than five runs, or &placeholder
  QtzLlClass placeholder;  // an empty class (no runs) that no token equals
  int32_t memoryWord;
  QtzState *state;
};

namespace lltok {

inline constexpr int32_t kSmallRuns = 5;

uint32_t hashRuns(const uint16_t *runs, int32_t runCount);
bool sameRuns(const QtzLlClass *a, const uint16_t *runs, int32_t runCount, uint32_t hash);

// The hash table of cell (width, height), made on first use.
int32_t cellTable(QtzLlTokenizer *tok, int32_t width, int32_t height, QtzAdtHashTable **table);

// Calls visit(cell table) for every cell holding a table, by height, then width.
template <typename Visit>
int32_t forEachCell(QtzLlTokenizer *tok, Visit visit) {
  QtzAdtSparseMatrix *cells = tok->cells;
  for (int32_t y = QtzAdt_smGetNextY(cells, -1); y <= cells->maxYUsed;
       y = QtzAdt_smGetNextY(cells, y)) {
    for (int32_t i = 0; i < cells->rowLen[y]; ++i) {
      QtzAdtCell &cell = cells->rows[y][i];
      if (cell == 0) continue;
      int32_t status = visit(cell);
      if (status != QTZ_OK) return status;
    }
  }
  return QTZ_OK;
}

// Calls visit(class) for every class of a hash table in its iteration order.
template <typename Visit>
int32_t forEachClass(QtzAdtHashTable *table, Visit visit) {
  QtzAdt_htResetGetNextElement(table);
  for (;;) {
    QtzAdtCell element = 0;
    int32_t status = QtzAdt_htGetNextElement(table, &element);
    if (status != QTZ_OK) return status;
    if (element == 0) return QTZ_OK;
    status = visit(reinterpret_cast<QtzLlClass *>(element));
    if (status != QTZ_OK) return status;
  }
}

// Frees a class with its runs and member list.
void freeClassWhole(QtzLlClass *cls, QtzState *state);
// Frees every hash table (and, unless handed out, every class), the table and the handle.
void destroy(QtzLlTokenizer *tok);

}  // namespace lltok

#endif
