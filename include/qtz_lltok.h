/*
 * The lossless token classifier: every token (a connected component written as a run list)
 * gets the number of its class, a class being one exact shape. Two tokens share a class
 * exactly when their sizes and run lists are equal.
 *
 * Token run lists (the convention of the whole token side: the component collector writes
 * them, this classifier and RunsToUnframedBitmap read them): pairs of u16 (first, second),
 * top row first, left to right within a row. A pair with second 0 is a row marker: the
 * current row becomes first. Any other pair is a run of `second` pixels from column `first`
 * (counted from the token's left column); a run with first <= previous first + previous
 * second (it starts at or left of the column after the previous run's end) begins the next
 * row, a run further right stays on the current row. The first run after a marker stays on
 * the marker's row. For an 8-connected component the rule is exact: a row's first run never
 * starts right of the column after the previous row's last run, and runs of one row are
 * apart by at least one column.
 *
 * Classes live in a sparse table by (width, height); each cell holds a hash table of the
 * classes of that size keyed by a hash of the whole run list, so a token is compared only
 * with classes whose run lists hash alike. The last class used that has fewer than five runs
 * is tried first without hashing.
 *
 * Ownership: a successful QtzLlAddToken takes over the token's run list (it becomes the new
 * class's runs or is freed, and token->runs is cleared); on failure the token keeps it. With
 * QTZ_LLTOK_COPY_RUNS the token always keeps its runs. QtzLlTokPartial and QtzLlTokFinal hand out a
 * list of QtzLlClass records that belong to the caller: QtzLlTokFreeOutput frees them (runs and
 * records) and the list; each class's member list (the user values of its tokens, stored as
 * pointer-sized data) is the caller's to free with QtzAdt_liFree. QtzLlTokResume takes such a list
 * back, records and member lists included; a class equal to one already held is freed whole (its
 * tokens keep the number of the class held). A failed resume leaves the classes not yet put back on
 * the list, which stays the caller's. QtzLlTokAbort frees every class held, member lists included.
 *
 * Statuses: 118 null arguments (reported when a state is known), 2 no state, 10003 a null run
 * list, a negative run count, runs that give a size beyond the table or a null record in a
 * resume list, 1 out of memory (reported); the containers' statuses are passed on.
 */
#ifndef QTZ_LLTOK_H
#define QTZ_LLTOK_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_adt.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

enum {
  QTZ_LLTOK_COPY_RUNS = 1 /* flags: a new class keeps a copy of the runs (token keeps its own) */
};

typedef struct QtzLlTokParams {
  uint32_t flags;
  QtzState *state;
} QtzLlTokParams;

typedef struct QtzLlToken {
  uint16_t *runs; /* runCount pairs, from the state's allocate hook */
  int32_t runCount;
  int16_t width;  /* -1: worked out from the runs and written back */
  int16_t height; /* -1: likewise */
  uint32_t user;  /* the caller's value for this token (its position index) */
} QtzLlToken;

typedef struct QtzLlClass {
  uint16_t *runs; /* owned by the class */
  int32_t runCount;
  int32_t width;
  int32_t height;
  int32_t number;      /* given when the class was made */
  QtzAdtList *members; /* user values of the class's tokens in arrival order */
  int32_t memberCount; /* tokens of this class */
  uint32_t runHash;    /* hash of the run list */
} QtzLlClass;

typedef struct QtzLlTokenizer QtzLlTokenizer;

/* Sets both words to 0 and returns params. */
NORV_API QtzLlTokParams *QtzLlTokSetDefaults(QtzLlTokParams *params);
NORV_API int32_t QtzLlTokInit(QtzLlTokenizer **tok, const QtzLlTokParams *params);
/* *number = the token's class number; a token that makes a class gets newNumber. */
NORV_API int32_t QtzLlAddToken(QtzLlTokenizer *tok, QtzLlToken *token, int32_t newNumber,
                               int32_t *number);
/* Hands out every class held (by height, then width); the classifier stays usable and keeps
 * its class count. */
NORV_API int32_t QtzLlTokPartial(QtzLlTokenizer *tok, QtzAdtList **classes);
/* Puts the classes of an earlier output back and frees the list; a null list does nothing. */
NORV_API int32_t QtzLlTokResume(QtzLlTokenizer *tok, QtzAdtList *classes);
/* Hands out every class held, then destroys the classifier. */
NORV_API int32_t QtzLlTokFinal(QtzLlTokenizer *tok, QtzAdtList **classes);
/* Destroys the classifier and every class it holds; a null handle gives 0. */
NORV_API int32_t QtzLlTokAbort(QtzLlTokenizer *tok);
/* Frees every class's runs and record, then the list (not the member lists). */
NORV_API int32_t QtzLlTokFreeOutput(QtzAdtList *classes, QtzState *state);
NORV_API void QtzLlTokFreeClass(QtzLlClass *cls, QtzState *state);
/* 0 at creation; 28 plus twice the run count of the class made last. */
NORV_API int32_t QtzLlTokMemUsage(const QtzLlTokenizer *tok);

NORV_EXTERN_C_END

#endif
