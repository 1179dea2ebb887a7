/*
 * Containers of the base libraries: doubly linked lists, sparse tables and hash tables.
 *
 * Lists (QtzAdt_li*) hold untyped data pointers; the list record and its nodes are blocks of
 * pool class 1 of the state; the caller owns the data. Failures are returned, never reported:
 * 10003 (QTZ_ERR_ASSERT) for null arguments and broken or foreign links.
 *
 * Sparse tables (QtzAdt_sm*) hold pointer-sized cells addressed by (x, y) with 0 <= x <=
 * QTZ_ADT_SM_MAX_X and 0 <= y <= QTZ_ADT_SM_MAX_Y; each row stores one window of columns that
 * grows to cover every x used. Hash tables (QtzAdt_ht*) are chained tables whose buckets are
 * rows of a sparse table; entries are non-zero cells, as a rule pointers to the caller's
 * records. Both take their memory from the state's allocation hooks. Out-of-memory (1), a
 * null out-pointer of QtzAdt_smNew, QtzAdt_htNew or QtzAdt_smGet (118) and coordinates out
 * of range (100) are reported through the state's sink; a null table or hash-table argument
 * and a zero key give 10003 unreported. A failed growth leaves the table as it was.
 */
#ifndef QTZ_ADT_H
#define QTZ_ADT_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

/* ---- Lists ---- */

struct QtzAdtList;

typedef struct QtzAdtListNode {
  struct QtzAdtListNode *next; /* null at the tail */
  struct QtzAdtListNode *prev; /* null at the head */
  struct QtzAdtList *owner;
  void *data;
} QtzAdtListNode;

typedef struct QtzAdtList {
  QtzAdtListNode *head;
  QtzAdtListNode *tail;
  QtzState *state; /* whose pools hold the record and the nodes */
  int32_t count;
} QtzAdtList;

NORV_API int32_t QtzAdt_liNew(QtzAdtList **out, QtzState *state);
/* Appends data at the tail; *outNode (when given) receives the node. */
NORV_API int32_t QtzAdt_liAdd(QtzAdtList *list, void *data, QtzAdtListNode **outNode);
/* Inserts data after a node of this list, or at the front when after is null. */
NORV_API int32_t QtzAdt_liAddAfter(QtzAdtList *list, QtzAdtListNode *after, void *data,
                                   QtzAdtListNode **outNode);
/* Unlinks the node and gives it back to the pool. */
NORV_API int32_t QtzAdt_liRem(QtzAdtListNode *node);
/* Removes the node and stores its former next (null at the end): delete while walking. */
NORV_API int32_t QtzAdt_liRemAndNext(QtzAdtListNode *node, QtzAdtListNode **outNext);
/* *outNode = the last node whose data equals data, or null. */
NORV_API int32_t QtzAdt_liIsIn(QtzAdtList *list, const void *data, QtzAdtListNode **outNode);
/* Moves every node of src, in order, to the end of dst and frees the src record. Both lists
 * must belong to the same state. */
NORV_API int32_t QtzAdt_liApp(QtzAdtList *dst, QtzAdtList *src);
/* Gives every node back and empties the list (the record stays). */
NORV_API int32_t QtzAdt_liClear(QtzAdtList *list);
/* Gives every node and the record back. */
NORV_API int32_t QtzAdt_liFree(QtzAdtList *list);

/* ---- Sparse tables ---- */

typedef intptr_t QtzAdtCell;

enum { QTZ_ADT_SM_MAX_X = 32767, QTZ_ADT_SM_MAX_Y = 65535 };

typedef struct QtzAdtSparseMatrix {
  uint16_t *rowStart;   /* per row: x of the first cell of its window */
  uint16_t *rowLen;     /* per row: cells in its window, 0 for none */
  QtzAdtCell **rows;    /* per row: its window, or null */
  int32_t maxRow;       /* highest row the three arrays hold; -1 before the first access */
  int32_t maxYUsed;     /* highest row any get or set has touched; -1 at first */
  uint32_t initialRows; /* row capacity of the first array allocation */
  uint8_t zeroFill;     /* non-zero: new cells are 0; zero: new cells are left unset */
  QtzState *state;
} QtzAdtSparseMatrix;

/* initialRows 0 means 100. */
NORV_API int32_t QtzAdt_smNew(QtzAdtSparseMatrix **out, uint8_t zeroFill, uint32_t initialRows,
                              QtzState *state);
NORV_API void QtzAdt_smFree(QtzAdtSparseMatrix *table);
/* Makes cell (x, y) exist and reads it; a cell never set reads 0 in a zero-filled table. */
NORV_API int32_t QtzAdt_smGet(QtzAdtSparseMatrix *table, int32_t x, int32_t y, QtzAdtCell *out);
/* Makes cell (x, y) exist and stores value. */
NORV_API int32_t QtzAdt_smSet(QtzAdtSparseMatrix *table, int32_t x, int32_t y, QtzAdtCell value);
/* Non-zero when cell (x, y) exists; never allocates. */
NORV_API uint8_t QtzAdt_smIsAllocated(const QtzAdtSparseMatrix *table, int32_t x, int32_t y);
/* The first row after y that has a window; a result above table->maxYUsed (maxYUsed + 1)
 * means there is none. */
NORV_API int32_t QtzAdt_smGetNextY(const QtzAdtSparseMatrix *table, int32_t y);

/* ---- Hash tables ---- */

/* Non-zero when key and entry are equal. */
typedef uint8_t (*QtzAdtHtCompareFn)(void *user, QtzAdtCell key, QtzAdtCell entry);
/* Bucket of a key. */
typedef uint16_t (*QtzAdtHtHashFn)(void *hashArg, QtzAdtCell key);
typedef void (*QtzAdtHtReleaseFn)(void *user);

typedef struct QtzAdtHashTable {
  QtzAdtSparseMatrix *table; /* bucket b is row b; its entries fill x = 0, 1, ... up to a 0 */
  QtzAdtHtCompareFn compare;
  QtzAdtHtHashFn hash;
  QtzAdtHtReleaseFn release; /* called once with user when the table is freed; may be null */
  void *hashArg;             /* user for a caller's hash, the table for the default hash */
  void *user;
  int32_t iterRow;
  int32_t iterCol;
  uint16_t size; /* bucket count of the default hash */
  QtzState *state;
} QtzAdtHashTable;

/* compare null: key equals entry; hash null: key modulo size; size 0 means 100. */
NORV_API int32_t QtzAdt_htNew(QtzAdtHashTable **out, void *user, QtzAdtHtCompareFn compare,
                              QtzAdtHtHashFn hash, QtzAdtHtReleaseFn release, uint16_t size,
                              QtzState *state);
NORV_API void QtzAdt_htFree(QtzAdtHashTable *table);
/* An entry equal to key goes through *existing and nothing is added; else *existing = 0 and
 * key is added. */
NORV_API int32_t QtzAdt_htAddToTable(QtzAdtHashTable *table, QtzAdtCell key, QtzAdtCell *existing);
/* *found = the entry equal to key, or 0. */
NORV_API int32_t QtzAdt_htIsInTable(QtzAdtHashTable *table, QtzAdtCell key, QtzAdtCell *found);
/* *removed = the entry equal to key (0 when none), which leaves the table; the bucket's last
 * entry takes its cell. */
NORV_API int32_t QtzAdt_htRemoveFromTable(QtzAdtHashTable *table, QtzAdtCell key,
                                          QtzAdtCell *removed);
/* Iteration, bucket by bucket and in cell order; valid until the next add or remove. */
NORV_API void QtzAdt_htResetGetNextElement(QtzAdtHashTable *table);
/* *next = the next entry, or 0 at the end. */
NORV_API int32_t QtzAdt_htGetNextElement(QtzAdtHashTable *table, QtzAdtCell *next);

NORV_EXTERN_C_END

#endif
