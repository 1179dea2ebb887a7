// Chained hash tables over a zero-filled sparse table: bucket b is row b, its entries fill the
// cells x = 0, 1, 2, ... and the first 0 cell (or the end of the row's window) ends it.
//
// Add, look-up and remove share one walk over the key's bucket that finds the equal entry and
// the bucket's end. An add writes the key at the end (a new row gets an 11-cell window, a full
// window grows by one cell). A remove moves the bucket's last entry into the freed cell, so a
// bucket never holds a hole that would hide the entries behind it. The iterator steps through
// the buckets in ascending order with QtzAdt_smGetNextY. Null tables and zero keys give 10003
// (unreported); memory and range failures of the sparse table are reported there and passed
// on.
#include "qtz_adt.h"
#include "qtz_internal.h"

namespace {

constexpr uint16_t kDefaultSize = 100;

uint8_t sameKey(void *, QtzAdtCell key, QtzAdtCell entry) {
  return key == entry;
}

uint16_t keyModuloSize(void *hashArg, QtzAdtCell key) {
  const auto *table = static_cast<const QtzAdtHashTable *>(hashArg);
  return static_cast<uint16_t>(static_cast<uintptr_t>(key) % table->size);
}

struct Probe {
  int32_t bucket;
  int32_t match;     // cell of the entry equal to the key, -1 when none
  QtzAdtCell entry;  // that entry
  int32_t end;       // first cell after the bucket's entries
};

int32_t probe(QtzAdtHashTable *t, QtzAdtCell key, Probe *p) {
  *p = Probe{t->hash(t->hashArg, key), -1, 0, 0};
  QtzAdtSparseMatrix *cells = t->table;
  for (; QtzAdt_smIsAllocated(cells, p->end, p->bucket); ++p->end) {
    QtzAdtCell cell = 0;
    int32_t status = QtzAdt_smGet(cells, p->end, p->bucket, &cell);
    if (status != QTZ_OK) return status;
    if (cell == 0) break;
    if (p->match < 0 && t->compare(t->user, key, cell) != 0) {
      p->match = p->end;
      p->entry = cell;
    }
  }
  return QTZ_OK;
}

// The shared start of add, look-up and remove: argument checks, out = 0, the walk.
int32_t start(QtzAdtHashTable *t, QtzAdtCell key, QtzAdtCell *out, Probe *p) {
  if (t == nullptr || key == 0 || out == nullptr) return QTZ_ERR_ASSERT;
  *out = 0;
  return probe(t, key, p);
}

}  // namespace

extern "C" {

int32_t QtzAdt_htNew(QtzAdtHashTable **out, void *user, QtzAdtHtCompareFn compare,
                     QtzAdtHtHashFn hash, QtzAdtHtReleaseFn release, uint16_t size,
                     QtzState *state) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (out == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *t = static_cast<QtzAdtHashTable *>(qtz::allocateZeroed(state, 1, sizeof(QtzAdtHashTable)));
  if (t == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  t->size = size != 0 ? size : kDefaultSize;
  int32_t status = QtzAdt_smNew(&t->table, 1, t->size, state);
  if (status != QTZ_OK) {
    qtz::release(state, t);
    return status;
  }
  t->compare = compare != nullptr ? compare : sameKey;
  t->hash = hash != nullptr ? hash : keyModuloSize;
  t->hashArg = hash != nullptr ? user : t;
  t->release = release;
  t->user = user;
  t->state = state;
  QtzAdt_htResetGetNextElement(t);
  *out = t;
  return QTZ_OK;
}

void QtzAdt_htFree(QtzAdtHashTable *t) {
  if (t == nullptr) return;
  QtzAdt_smFree(t->table);
  if (t->release != nullptr) t->release(t->user);
  qtz::release(t->state, t);
}

int32_t QtzAdt_htAddToTable(QtzAdtHashTable *t, QtzAdtCell key, QtzAdtCell *existing) {
  Probe p;
  int32_t status = start(t, key, existing, &p);
  if (status != QTZ_OK) return status;
  if (p.match >= 0) {
    *existing = p.entry;
    return QTZ_OK;
  }
  return QtzAdt_smSet(t->table, p.end, p.bucket, key);
}

int32_t QtzAdt_htIsInTable(QtzAdtHashTable *t, QtzAdtCell key, QtzAdtCell *found) {
  Probe p;
  int32_t status = start(t, key, found, &p);
  if (status == QTZ_OK && p.match >= 0) *found = p.entry;
  return status;
}

int32_t QtzAdt_htRemoveFromTable(QtzAdtHashTable *t, QtzAdtCell key, QtzAdtCell *removed) {
  Probe p;
  int32_t status = start(t, key, removed, &p);
  if (status != QTZ_OK || p.match < 0) return status;
  // Both cells exist already, so neither access can fail.
  const int32_t last = p.end - 1;
  QtzAdtCell moved = 0;
  QtzAdt_smGet(t->table, last, p.bucket, &moved);
  QtzAdt_smSet(t->table, p.match, p.bucket, moved);
  QtzAdt_smSet(t->table, last, p.bucket, 0);
  *removed = p.entry;
  return QTZ_OK;
}

void QtzAdt_htResetGetNextElement(QtzAdtHashTable *t) {
  if (t == nullptr) return;
  t->iterRow = 0;
  t->iterCol = 0;
}

int32_t QtzAdt_htGetNextElement(QtzAdtHashTable *t, QtzAdtCell *next) {
  if (t == nullptr || next == nullptr) return QTZ_ERR_ASSERT;
  *next = 0;
  QtzAdtSparseMatrix *cells = t->table;
  while (t->iterRow <= cells->maxYUsed) {
    if (QtzAdt_smIsAllocated(cells, t->iterCol, t->iterRow)) {
      QtzAdtCell cell = 0;
      int32_t status = QtzAdt_smGet(cells, t->iterCol, t->iterRow, &cell);
      if (status != QTZ_OK) return status;
      if (cell != 0) {
        *next = cell;
        ++t->iterCol;
        return QTZ_OK;
      }
    }
    t->iterRow = QtzAdt_smGetNextY(cells, t->iterRow);
    t->iterCol = 0;
  }
  return QTZ_OK;
}

}  // extern "C"
