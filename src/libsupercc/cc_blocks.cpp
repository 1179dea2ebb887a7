// The token and position blocks of a section, the collector's record, and classifying one
// component into the token block.
#include <type_traits>

#include "cc_grow.h"
#include "qtz_cc.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace {

template <typename Block>
int32_t initBlock(QtzState *state, Block **block, int32_t capacity) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (block == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *block = nullptr;
  if (capacity < 1) capacity = 1;
  qtz::OwnedBlock<Block> made(state,
                              static_cast<Block *>(qtz::allocateZeroed(state, 1, sizeof(Block))));
  if (!made) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  using Item = std::remove_pointer_t<decltype(made->items)>;
  made->items =
      static_cast<Item *>(qtz::allocate(state, static_cast<size_t>(capacity) * sizeof(Item)));
  if (made->items == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->capacity = capacity;
  *block = made.release();
  return QTZ_OK;
}

template <typename Block>
int32_t cleanupBlock(QtzState *state, Block *block) {
  if (block == nullptr) return QTZ_OK;
  if (state == nullptr) return QTZ_ERR_PARAM;
  qtz::release(state, block->items);
  qtz::release(state, block);
  return QTZ_OK;
}

}  // namespace

extern "C" {

int32_t QtzCC_initPosBlock(QtzState *state, QtzCCPosBlock **block, int32_t capacity) {
  return initBlock(state, block, capacity);
}

int32_t QtzCC_initTokBlock(QtzState *state, QtzCCTokBlock **block, int32_t capacity) {
  return initBlock(state, block, capacity);
}

int32_t QtzCC_cleanupPosBlock(QtzState *state, QtzCCPosBlock *block) {
  return cleanupBlock(state, block);
}

int32_t QtzCC_cleanupTokBlock(QtzState *state, QtzCCTokBlock *block) {
  return cleanupBlock(state, block);
}

int32_t QtzLlCCData_init(QtzState *state, QtzLlCCData *record, int32_t componentCount,
                         QtzLlTokenizer *tokenizer, QtzCCBox *boxes, int32_t boxCount,
                         int32_t boxCapacity, QtzAdtList *large, int32_t maxWidth,
                         int32_t maxHeight, QtzCCTokBlock *tokBlock, QtzCCPosBlock *posBlock,
                         int32_t page, uintptr_t spare0, uintptr_t spare1) {
  if (record == nullptr) return QTZ_ERR_NULL;
  *record = QtzLlCCData{componentCount, tokenizer, boxes,           boxCount, boxCapacity,
                        large,          maxWidth,  maxHeight,       state,    tokBlock,
                        posBlock,       page,      {spare0, spare1}};
  return QTZ_OK;
}

int32_t QtzCC_tokenAddCC(QtzState *state, QtzLlTokenizer *tokenizer, QtzCCTokBlock *tokBlock,
                         QtzCCComponent *component, uint32_t *token) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (tokenizer == nullptr || tokBlock == nullptr || component == nullptr || token == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  *token = 0;
  if (component->width > INT16_MAX || component->height > INT16_MAX) return QTZ_ERR_ASSERT;
  if (tokBlock->count == tokBlock->capacity &&
      !supercc::growByHalf(state, tokBlock->items, tokBlock->capacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  tokBlock->items[tokBlock->count] = 0;
  QtzLlToken t{component->runs, component->runCount, static_cast<int16_t>(component->width),
               static_cast<int16_t>(component->height), component->position};
  int32_t index = 0;
  int32_t status = QtzLlAddToken(tokenizer, &t, tokBlock->count, &index);
  if (status != QTZ_OK) return status;
  component->runs = t.runs;
  if (index < 0 || index > tokBlock->count) return QTZ_ERR_ASSERT;
  if (index == tokBlock->count) ++tokBlock->count;
  *token = tokBlock->items[index];
  return QTZ_OK;
}

}  // extern "C"
