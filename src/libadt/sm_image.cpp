// Sparse tables: pointer-sized cells addressed by (x, y), stored per row as one dense window
// of columns.
//
// Reading or writing a cell first makes it exist: the row arrays grow to hold row y (the first
// time to max(initialRows, y) + 1 rows, afterwards exactly to y + 1); a row's first window
// covers x - 10 to x + 10 clamped to the valid columns; an x left of the window re-allocates
// it to start at x, an x right of it resizes it to end at x. New cells are 0 in a zero-filled
// table and unset otherwise. Coordinates outside 0..QTZ_ADT_SM_MAX_X and 0..QTZ_ADT_SM_MAX_Y
// give 100; exhausted memory gives 1; both are reported, and the table keeps its previous
// arrays and windows, so the same access can be retried.
#include <algorithm>
#include <cstring>

#include "qtz_adt.h"
#include "qtz_internal.h"

namespace {

constexpr int32_t kFirstWindowReach = 10;
constexpr uint32_t kDefaultRows = 100;

bool inRange(int32_t x, int32_t y) {
  return x >= 0 && x <= QTZ_ADT_SM_MAX_X && y >= 0 && y <= QTZ_ADT_SM_MAX_Y;
}

QtzAdtCell *newCells(const QtzAdtSparseMatrix *t, size_t count) {
  void *block = t->zeroFill != 0 ? qtz::allocateZeroed(t->state, count, sizeof(QtzAdtCell))
                                 : qtz::allocate(t->state, count * sizeof(QtzAdtCell));
  return static_cast<QtzAdtCell *>(block);
}

// Makes the three row arrays hold row y.
int32_t growRows(QtzAdtSparseMatrix *t, int32_t y) {
  const QtzState *state = t->state;
  if (t->maxRow < 0) {
    auto n = static_cast<size_t>(std::min<uint32_t>(
        std::max<uint32_t>(t->initialRows, static_cast<uint32_t>(y)), QTZ_ADT_SM_MAX_Y));
    auto *rows =
        static_cast<QtzAdtCell **>(qtz::allocateZeroed(state, n + 1, sizeof(QtzAdtCell *)));
    auto *starts = static_cast<uint16_t *>(qtz::allocateZeroed(state, n + 1, sizeof(uint16_t)));
    auto *lens = static_cast<uint16_t *>(qtz::allocateZeroed(state, n + 1, sizeof(uint16_t)));
    if (rows == nullptr || starts == nullptr || lens == nullptr) {
      qtz::release(state, rows);
      qtz::release(state, starts);
      qtz::release(state, lens);
      return qtz::report(state, QTZ_ERR_NO_MEMORY);
    }
    t->rows = rows;
    t->rowStart = starts;
    t->rowLen = lens;
    t->maxRow = static_cast<int32_t>(n);
    return QTZ_OK;
  }

  // Each array is kept as soon as it has grown; the new rows count only when all three have.
  const auto count = static_cast<size_t>(y) + 1;
  void *rows = qtz::resize(state, t->rows, count * sizeof(QtzAdtCell *));
  if (rows != nullptr) t->rows = static_cast<QtzAdtCell **>(rows);
  void *starts = rows ? qtz::resize(state, t->rowStart, count * sizeof(uint16_t)) : nullptr;
  if (starts != nullptr) t->rowStart = static_cast<uint16_t *>(starts);
  void *lens = starts ? qtz::resize(state, t->rowLen, count * sizeof(uint16_t)) : nullptr;
  if (lens == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  t->rowLen = static_cast<uint16_t *>(lens);
  for (int32_t r = t->maxRow + 1; r <= y; ++r) {
    t->rows[r] = nullptr;
    t->rowStart[r] = 0;
    t->rowLen[r] = 0;
  }
  t->maxRow = y;
  return QTZ_OK;
}

// Makes cell (x, y) exist; the coordinates are in range.
int32_t makeCell(QtzAdtSparseMatrix *t, int32_t x, int32_t y) {
  if (y > t->maxRow) {
    int32_t status = growRows(t, y);
    if (status != QTZ_OK) return status;
  }
  t->maxYUsed = std::max(t->maxYUsed, y);

  const int32_t start = t->rowStart[y];
  const int32_t len = t->rowLen[y];
  const int32_t end = start + len - 1;
  if (len == 0) {
    int32_t first = std::max(0, x - kFirstWindowReach);
    int32_t last = std::min<int32_t>(QTZ_ADT_SM_MAX_X, x + kFirstWindowReach);
    QtzAdtCell *window = newCells(t, static_cast<size_t>(last - first + 1));
    if (window == nullptr) return qtz::report(t->state, QTZ_ERR_NO_MEMORY);
    t->rows[y] = window;
    t->rowStart[y] = static_cast<uint16_t>(first);
    t->rowLen[y] = static_cast<uint16_t>(last - first + 1);
  } else if (x < start) {
    QtzAdtCell *window = newCells(t, static_cast<size_t>(end - x + 1));
    if (window == nullptr) return qtz::report(t->state, QTZ_ERR_NO_MEMORY);
    std::memcpy(window + (start - x), t->rows[y], static_cast<size_t>(len) * sizeof(QtzAdtCell));
    qtz::release(t->state, t->rows[y]);
    t->rows[y] = window;
    t->rowStart[y] = static_cast<uint16_t>(x);
    t->rowLen[y] = static_cast<uint16_t>(end - x + 1);
  } else if (x > end) {
    const int32_t newLen = x - start + 1;
    void *window =
        qtz::resize(t->state, t->rows[y], static_cast<size_t>(newLen) * sizeof(QtzAdtCell));
    if (window == nullptr) return qtz::report(t->state, QTZ_ERR_NO_MEMORY);
    t->rows[y] = static_cast<QtzAdtCell *>(window);
    if (t->zeroFill != 0) std::fill(t->rows[y] + len, t->rows[y] + newLen, QtzAdtCell{0});
    t->rowLen[y] = static_cast<uint16_t>(newLen);
  }
  return QTZ_OK;
}

// The checks that get and set share; 0 when the cell may be made.
int32_t checkAccess(const QtzAdtSparseMatrix *t, int32_t x, int32_t y) {
  if (t == nullptr) return QTZ_ERR_ASSERT;
  if (!inRange(x, y)) return qtz::report(t->state, QTZ_ERR_OUT_OF_BOUNDS);
  return QTZ_OK;
}

}  // namespace

extern "C" {

int32_t QtzAdt_smNew(QtzAdtSparseMatrix **out, uint8_t zeroFill, uint32_t initialRows,
                     QtzState *state) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (out == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *t = static_cast<QtzAdtSparseMatrix *>(qtz::allocate(state, sizeof(QtzAdtSparseMatrix)));
  if (t == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *t = QtzAdtSparseMatrix{nullptr,  nullptr, nullptr,
                          -1,       -1,      initialRows != 0 ? initialRows : kDefaultRows,
                          zeroFill, state};
  *out = t;
  return QTZ_OK;
}

void QtzAdt_smFree(QtzAdtSparseMatrix *t) {
  if (t == nullptr) return;
  if (t->maxRow >= 0) {
    for (int32_t y = 0; y <= t->maxYUsed; ++y) qtz::release(t->state, t->rows[y]);
    qtz::release(t->state, t->rows);
    qtz::release(t->state, t->rowStart);
    qtz::release(t->state, t->rowLen);
  }
  qtz::release(t->state, t);
}

int32_t QtzAdt_smGet(QtzAdtSparseMatrix *t, int32_t x, int32_t y, QtzAdtCell *out) {
  int32_t status = checkAccess(t, x, y);
  if (status != QTZ_OK) return status;
  if (out == nullptr) return qtz::report(t->state, QTZ_ERR_NULL);
  status = makeCell(t, x, y);
  if (status == QTZ_OK) *out = t->rows[y][x - t->rowStart[y]];
  return status;
}

int32_t QtzAdt_smSet(QtzAdtSparseMatrix *t, int32_t x, int32_t y, QtzAdtCell value) {
  int32_t status = checkAccess(t, x, y);
  if (status != QTZ_OK) return status;
  status = makeCell(t, x, y);
  if (status == QTZ_OK) t->rows[y][x - t->rowStart[y]] = value;
  return status;
}

uint8_t QtzAdt_smIsAllocated(const QtzAdtSparseMatrix *t, int32_t x, int32_t y) {
  if (t == nullptr || !inRange(x, y) || y > t->maxRow) return 0;
  return x >= t->rowStart[y] && x < t->rowStart[y] + t->rowLen[y];
}

int32_t QtzAdt_smGetNextY(const QtzAdtSparseMatrix *t, int32_t y) {
  if (t == nullptr) return 0;
  const int32_t none = t->maxYUsed + 1;
  for (int32_t r = y < 0 ? 0 : std::min(y, t->maxYUsed) + 1; r < none; ++r)
    if (t->rowLen[r] != 0) return r;
  return none;
}

}  // extern "C"
