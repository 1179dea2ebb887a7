// The component collector of the page-to-token step (see tcly_collect.h).
#include "tcly_collect.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_runs.h"

namespace tcly {
namespace {

constexpr int32_t kFirstBoxes = 5000;
constexpr int32_t kEstimateOverhead = 32;

int32_t bytesOf(int32_t wordsPerRow, int32_t height) {
  return wordsPerRow * height * 4 + kEstimateOverhead;
}

template <typename T>
bool growByHalf(const QtzState *state, T *&items, int32_t &capacity) {
  const int64_t grown = int64_t{capacity} + std::max(capacity / 2, 1);
  if (grown > INT32_MAX / static_cast<int64_t>(sizeof(T))) return false;
  auto *moved = static_cast<T *>(qtz::resize(state, items, static_cast<size_t>(grown) * sizeof(T)));
  if (moved == nullptr) return false;
  items = moved;
  capacity = static_cast<int32_t>(grown);
  return true;
}

// A generic region keeps its runs as (row, first, last) triples, in chain order.
int32_t collectGeneric(Collector &c, TclyToken *token, int32_t x, int32_t y, int32_t runCount,
                       const PxlRunNode *chain) {
  auto *runs = static_cast<uint16_t *>(qtz::allocate(c.state, 6 * static_cast<size_t>(runCount)));
  if (runs == nullptr) return qtz::report(c.state, QTZ_ERR_NO_MEMORY);
  token->runs = runs;
  int32_t i = 0;
  for (const PxlRunNode *run = chain; run != nullptr && i < runCount; run = run->next, ++i) {
    runs[3 * i] = static_cast<uint16_t>(run->row - y);
    runs[3 * i + 1] = static_cast<uint16_t>(run->start - x);
    runs[3 * i + 2] = static_cast<uint16_t>(run->end - x);
  }
  token->runCount = i;
  return QtzAdt_liAdd(c.generics, token, nullptr);
}

// A small token: a box, a position and a lossless class of the compressed document; its runs
// go top row first, left to right, as (first, length) pairs.
int32_t collectSmall(Collector &c, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t runCount, const PxlRunNode *chain) {
  QtzState *state = c.state;
  QtzCCPosBlock *positions = c.compressed->positions;
  if (c.boxCount == c.boxCapacity && !growByHalf(state, c.boxes, c.boxCapacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (positions->count == positions->capacity &&
      !growByHalf(state, positions->items, positions->capacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  qtz::OwnedBlock<uint16_t> runs(
      state, static_cast<uint16_t *>(qtz::allocate(state, 4 * static_cast<size_t>(runCount))));
  if (!runs) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t i = runCount;
  for (const PxlRunNode *run = chain; run != nullptr && i > 0; run = run->next) {
    --i;
    runs.get()[2 * i] = static_cast<uint16_t>(run->start - x);
    runs.get()[2 * i + 1] = static_cast<uint16_t>(run->end - run->start + 1);
  }
  QtzCCBox &box = c.boxes[c.boxCount];
  box = QtzCCBox{0, 0, static_cast<uint16_t>(x - kFrame),
                 static_cast<uint16_t>(y - kFrame + height - 1 + c.rowOffset)};
  positions->items[positions->count] = QtzCCPosition{c.boxCount, c.page->tdcPageCount};
  QtzCCComponent component{runs.get(), runCount, static_cast<uint16_t>(width),
                           static_cast<uint16_t>(height), static_cast<uint32_t>(positions->count)};
  const int32_t classesBefore = c.compressed->tokens->count;
  int32_t status = QtzCC_tokenAddCC(state, c.compressed->classifier, c.compressed->tokens,
                                    &component, &box.token);
  if (component.runs == nullptr) runs.release();
  if (status != QTZ_OK) return status;
  ++positions->count;
  ++c.boxCount;
  if (c.options->memoryLimit > 0 && c.compressed->tokens->count > classesBefore)
    c.compressedEstimate += bytesOf((width + 31) / 32, height);
  return QTZ_OK;
}

// A token: its bitmap drawn from the runs, then the lossy classifier.
int32_t collectToken(Collector &c, TclyToken *token, int32_t x, int32_t y, int32_t runCount,
                     const PxlRunNode *chain) {
  QtzState *state = c.state;
  auto *bits = static_cast<uint32_t *>(qtz::allocateZeroed(
      state, static_cast<size_t>(token->wordsPerRow) * token->height, sizeof(uint32_t)));
  if (bits == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t i = 0;
  for (const PxlRunNode *run = chain; run != nullptr && i < runCount; run = run->next, ++i)
    fillSpan(bits + int64_t{run->row - y} * token->wordsPerRow, run->start - x, run->end - x);
  token->bits = bits;
  token->ownsBits = 1;
  c.pageTokenMemory += int64_t{4} * token->wordsPerRow * token->height;
  if (int32_t status = QtzAdt_liAdd(c.tokens, token, nullptr); status != QTZ_OK) return status;
  int32_t classesBefore = 0;
  if (int32_t status = tokGetClassCount(c.tokenizer, &classesBefore); status != QTZ_OK)
    return status;
  const TokInputToken input{token->width, token->height, bits, token->wordsPerRow,
                            reinterpret_cast<uintptr_t>(token)};
  // From here on the classifier owns the rows unless it copies them.
  if (c.options->classifierCopiesRows == 0) {
    token->bits = nullptr;
    token->ownsBits = 0;
  }
  if (int32_t status = tokAddToken(c.tokenizer, &input); status != QTZ_OK) return status;
  ++c.tokenCount;
  int32_t classesAfter = 0;
  if (int32_t status = tokGetClassCount(c.tokenizer, &classesAfter); status != QTZ_OK)
    return status;
  if (c.options->memoryLimit > 0 && classesAfter > classesBefore)
    c.dictionaryEstimate += bytesOf(token->wordsPerRow, token->height);
  return QTZ_OK;
}

}  // namespace

int32_t collectComponent(PxlContext *, void *user, int32_t x, int32_t y, int32_t width,
                         int32_t height, int32_t, int32_t runCount, PxlRunNode *chain) {
  Collector &c = *static_cast<Collector *>(user);
  const int32_t small = c.options->smallTokenSize;
  if (width < small && height < small && width <= c.maxWidth && height <= c.maxHeight)
    return collectSmall(c, x, y, width, height, runCount, chain);
  TclyToken *token = nullptr;
  if (int32_t status = tclyTakeToken(c.state, &token); status != QTZ_OK) return status;
  token->width = static_cast<uint16_t>(width);
  token->height = static_cast<uint16_t>(height);
  token->wordsPerRow = static_cast<uint16_t>((width + 31) / 32);
  token->page = c.page->pageNumber;
  token->x = x - kFrame;
  token->y = y - kFrame + c.rowOffset;
  const bool generic = width > c.maxWidth || height > c.maxHeight;
  const int32_t status = generic ? collectGeneric(c, token, x, y, runCount, chain)
                                 : collectToken(c, token, x, y, runCount, chain);
  // A token that reached its list goes with the list.
  QtzAdtList *list = generic ? c.generics : c.tokens;
  if (status != QTZ_OK && (list->tail == nullptr || list->tail->data != token))
    tclyReleaseToken(c.state, token);
  return status;
}

Collector::~Collector() {
  tclyFreeTokenList(state, tokens);
  tclyFreeTokenList(state, generics);
  qtz::release(state, boxes);
}

int32_t startCollector(Collector &c) {
  c.boxCapacity = kFirstBoxes;
  c.boxes = static_cast<QtzCCBox *>(qtz::allocate(c.state, sizeof(QtzCCBox) * size_t(kFirstBoxes)));
  if (c.boxes == nullptr || QtzAdt_liNew(&c.tokens, c.state) != QTZ_OK ||
      QtzAdt_liNew(&c.generics, c.state) != QTZ_OK)
    return qtz::report(c.state, QTZ_ERR_NO_MEMORY);
  return QTZ_OK;
}

void finishCollector(Collector &c, TclyPageBoxes *out) {
  // A failed shrink keeps the buffer whole.
  if (c.boxCount == 0) {
    qtz::release(c.state, c.boxes);
    c.boxes = nullptr;
  } else if (void *shrunk = qtz::resize(c.state, c.boxes, sizeof(QtzCCBox) * size_t(c.boxCount));
             shrunk != nullptr) {
    c.boxes = static_cast<QtzCCBox *>(shrunk);
  }
  out->boxes = std::exchange(c.boxes, nullptr);
  out->tokens = std::exchange(c.tokens, nullptr);
  out->generics = std::exchange(c.generics, nullptr);
  out->tokenCount = c.tokenCount;
  out->boxCount = c.boxCount;
  out->dictionaryEstimate = c.dictionaryEstimate;
  out->compressedEstimate = c.compressedEstimate;
  out->pageTokenMemory = static_cast<int32_t>(std::min<int64_t>(c.pageTokenMemory, INT32_MAX));
  out->compressedPageEstimates[0] = c.boxCount * static_cast<int32_t>(sizeof(QtzCCBox));
  out->compressedPageEstimates[1] = c.boxCount * static_cast<int32_t>(sizeof(QtzCCPosition));
}

}  // namespace tcly
