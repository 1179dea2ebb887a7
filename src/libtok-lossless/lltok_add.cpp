// Making the lossless classifier and adding tokens to it.
//
// A token is first compared with the cached class (the last class used that has fewer than
// five runs: letters and dots repeat). Otherwise a candidate class is made from it and added
// to the hash table of the cell of its size, keyed by a 32-bit hash of the whole run list:
// when an equal class is there the candidate is dropped and the token joins that class, else
// the candidate is the new class with the caller's number. Equality is the run count, the
// hash and every u16 of the runs. Runs per the token run-list convention of qtz_lltok.h.
#include <algorithm>
#include <cstring>

#include "lltok_tables.h"
#include "qtz_internal.h"
#include "tc_util_internal.h"

namespace lltok {
namespace {

// Buckets of each cell's hash table (a prime near the tables' default size).
constexpr uint16_t kBuckets = 101;

static_assert(sizeof(QtzLlClass) <= static_cast<size_t>(qtz::kPoolSize[4]));

uint8_t classesEqual(void *, QtzAdtCell key, QtzAdtCell entry) {
  const auto *k = reinterpret_cast<const QtzLlClass *>(key);
  return sameRuns(reinterpret_cast<const QtzLlClass *>(entry), k->runs, k->runCount, k->runHash)
             ? 1
             : 0;
}

uint16_t classBucket(void *, QtzAdtCell key) {
  return static_cast<uint16_t>(reinterpret_cast<const QtzLlClass *>(key)->runHash % kBuckets);
}

// Width (the largest first + second) and height (the last row + 1) of a run list; false when
// either does not fit a token's 16-bit size.
bool measureRuns(const uint16_t *runs, int32_t runCount, int16_t *width, int16_t *height) {
  int64_t lastRow = -1, right = 0;
  forEachTokenRun(runs, runCount, [&](int64_t row, int64_t first, int64_t length) {
    right = std::max(right, first + length);
    lastRow = std::max(lastRow, row);
    return true;
  });
  if (right > INT16_MAX || lastRow + 1 > INT16_MAX) return false;
  *width = static_cast<int16_t>(right);
  *height = static_cast<int16_t>(lastRow + 1);
  return true;
}

bool cacheHolds(const QtzLlClass *cached, const QtzLlToken *token) {
  if (cached->runs == nullptr || token->runs == nullptr || cached->runCount != token->runCount)
    return false;
  if ((token->width >= 0 && token->width != cached->width) ||
      (token->height >= 0 && token->height != cached->height))
    return false;
  return std::memcmp(cached->runs, token->runs, 4 * static_cast<size_t>(token->runCount)) == 0;
}

// The token joins an existing class.
int32_t join(QtzLlTokenizer *tok, QtzLlClass *cls, QtzLlToken *token, int32_t *number) {
  int32_t status =
      QtzAdt_liAdd(cls->members, reinterpret_cast<void *>(uintptr_t{token->user}), nullptr);
  if (status != QTZ_OK) return status;
  ++cls->memberCount;
  if (cls->runCount < kSmallRuns) tok->cache = cls;
  *number = cls->number;
  return QTZ_OK;
}

// Takes over (frees) the token's run list unless the classifier copies runs.
void dropTokenRuns(QtzLlTokenizer *tok, QtzLlToken *token) {
  if ((tok->flags & QTZ_LLTOK_COPY_RUNS) != 0) return;
  qtz::release(tok->state, token->runs);
  token->runs = nullptr;
}

// A candidate class of the token; its runs are the token's (or a copy).
int32_t makeCandidate(QtzLlTokenizer *tok, const QtzLlToken *token, int32_t newNumber,
                      QtzLlClass **out) {
  QtzState *state = tok->state;
  QtzLlClass *cls = nullptr;
  int32_t status = qtz::poolTake<4>(state, &cls);
  if (status != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const size_t bytes = 4 * static_cast<size_t>(token->runCount);
  uint16_t *runs = token->runs;
  if ((tok->flags & QTZ_LLTOK_COPY_RUNS) != 0) {
    runs = static_cast<uint16_t *>(qtz::allocate(state, bytes == 0 ? 4 : bytes));
    if (runs == nullptr) {
      qtz::poolGive<4>(state, cls);
      return qtz::report(state, QTZ_ERR_NO_MEMORY);
    }
    std::memcpy(runs, token->runs, bytes);
  }
  *cls = QtzLlClass{runs,
                    token->runCount,
                    token->width,
                    token->height,
                    newNumber,
                    nullptr,
                    1,
                    hashRuns(token->runs, token->runCount)};
  *out = cls;
  return QTZ_OK;
}

// Frees a candidate that did not become a class (its runs only when they are a copy).
void dropCandidate(QtzLlTokenizer *tok, QtzLlClass *cls) {
  if ((tok->flags & QTZ_LLTOK_COPY_RUNS) != 0) qtz::release(tok->state, cls->runs);
  qtz::poolGive<4>(tok->state, cls);
}

int32_t addToken(QtzLlTokenizer *tok, QtzLlToken *token, int32_t newNumber, int32_t *number) {
  QtzState *state = tok->state;
  if (cacheHolds(tok->cache, token)) {
    token->width = static_cast<int16_t>(tok->cache->width);  // the same runs, the same size
    token->height = static_cast<int16_t>(tok->cache->height);
    int32_t status = join(tok, tok->cache, token, number);
    if (status == QTZ_OK) dropTokenRuns(tok, token);
    return status;
  }
  if (token->runs == nullptr || token->runCount < 0) return QTZ_ERR_ASSERT;
  if (token->width == -1 || token->height == -1) {
    if (!measureRuns(token->runs, token->runCount, &token->width, &token->height))
      return QTZ_ERR_ASSERT;
  }
  if (token->width < 0 || token->height < 0) return QTZ_ERR_ASSERT;
  QtzAdtHashTable *table = nullptr;
  int32_t status = cellTable(tok, token->width, token->height, &table);
  if (status != QTZ_OK) return status;
  QtzLlClass *cls = nullptr;
  status = makeCandidate(tok, token, newNumber, &cls);
  if (status != QTZ_OK) return status;
  QtzAdtCell existing = 0;
  status = QtzAdt_htAddToTable(table, reinterpret_cast<QtzAdtCell>(cls), &existing);
  if (status == QTZ_OK && existing != 0) {
    dropCandidate(tok, cls);
    status = join(tok, reinterpret_cast<QtzLlClass *>(existing), token, number);
    if (status == QTZ_OK) dropTokenRuns(tok, token);
    return status;
  }
  if (status == QTZ_OK) status = QtzAdt_liNew(&cls->members, state);
  if (status == QTZ_OK) {
    status = QtzAdt_liAdd(cls->members, reinterpret_cast<void *>(uintptr_t{token->user}), nullptr);
    if (status != QTZ_OK) QtzAdt_liFree(cls->members);
  }
  if (status != QTZ_OK) {
    QtzAdtCell removed = 0;
    QtzAdt_htRemoveFromTable(table, reinterpret_cast<QtzAdtCell>(cls), &removed);
    dropCandidate(tok, cls);
    return status;
  }
  if ((tok->flags & QTZ_LLTOK_COPY_RUNS) == 0) token->runs = nullptr;
  tok->memoryWord = 28 + 2 * token->runCount;
  if (token->runCount < kSmallRuns) tok->cache = cls;
  ++tok->classCount;
  *number = newNumber;
  return QTZ_OK;
}

}  // namespace

uint32_t hashRuns(const uint16_t *runs, int32_t runCount) {
  uint32_t h = 0x811C9DC5u ^ static_cast<uint32_t>(runCount);
  for (int32_t i = 0; i < 2 * runCount; ++i) h = (h ^ runs[i]) * 0x01000193u;
  return h ^ (h >> 16);
}

bool sameRuns(const QtzLlClass *a, const uint16_t *runs, int32_t runCount, uint32_t hash) {
  return a->runHash == hash && a->runCount == runCount &&
         std::memcmp(a->runs, runs, 4 * static_cast<size_t>(runCount)) == 0;
}

int32_t cellTable(QtzLlTokenizer *tok, int32_t width, int32_t height, QtzAdtHashTable **table) {
  QtzAdtCell cell = 0;
  int32_t status = QtzAdt_smGet(tok->cells, width, height, &cell);
  if (status != QTZ_OK) return status;
  if (cell != 0) {
    *table = reinterpret_cast<QtzAdtHashTable *>(cell);
    return QTZ_OK;
  }
  QtzAdtHashTable *made = nullptr;
  status = QtzAdt_htNew(&made, nullptr, classesEqual, classBucket, nullptr, kBuckets, tok->state);
  if (status != QTZ_OK) return status;
  // The cell exists now, so storing into it cannot fail.
  QtzAdt_smSet(tok->cells, width, height, reinterpret_cast<QtzAdtCell>(made));
  *table = made;
  return QTZ_OK;
}

}  // namespace lltok

extern "C" {

QtzLlTokParams *QtzLlTokSetDefaults(QtzLlTokParams *params) {
  if (params != nullptr) *params = QtzLlTokParams{0, nullptr};
  return params;
}

int32_t QtzLlTokInit(QtzLlTokenizer **tok, const QtzLlTokParams *params) {
  if (params == nullptr) return QTZ_ERR_NULL;
  QtzState *state = params->state;
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (tok == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *made = static_cast<QtzLlTokenizer *>(qtz::allocateZeroed(state, 1, sizeof(QtzLlTokenizer)));
  if (made == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t status = QtzAdt_smNew(&made->cells, 1, 0, state);
  if (status != QTZ_OK) {
    qtz::release(state, made);
    return status;
  }
  made->flags = params->flags;
  made->cache = &made->placeholder;
  made->state = state;
  *tok = made;
  return QTZ_OK;
}

int32_t QtzLlAddToken(QtzLlTokenizer *tok, QtzLlToken *token, int32_t newNumber, int32_t *number) {
  if (tok == nullptr) return QTZ_ERR_NULL;
  if (token == nullptr || number == nullptr) return qtz::report(tok->state, QTZ_ERR_NULL);
  return lltok::addToken(tok, token, newNumber, number);
}

int32_t QtzLlTokMemUsage(const QtzLlTokenizer *tok) {
  return tok != nullptr ? tok->memoryWord : 0;
}

}  // extern "C"
