// Fixed-size item pools: a chain of blocks, each a header followed by its items; one free
// list (the first block's) links free items through their first word. Taking the last free
// item grows the pool by a block first, so a pool always keeps one free item and a failed
// growth leaves it as it was. Blocks can sit in a ring of movable blocks, whose relocation
// operations fix the pointers they own after a move.
#include <cstring>

#include "pxl_components.h"
#include "pxl_internal.h"

namespace {

constexpr size_t kHeaderSize = (sizeof(PxlItemPool) + 15) / 16 * 16;

uint8_t *itemsOf(PxlItemPool *block) {
  return reinterpret_cast<uint8_t *>(block) + kHeaderSize;
}

// Links the items of a block into a chain in address order and returns its first item.
void *chainItems(PxlItemPool *block) {
  uint8_t *items = itemsOf(block);
  for (uint32_t i = 0; i < block->itemsPerBlock; ++i) {
    void *next = i + 1 < block->itemsPerBlock ? items + size_t(i + 1) * block->itemSize : nullptr;
    std::memcpy(items + size_t(i) * block->itemSize, &next, sizeof next);
  }
  return items;
}

int32_t newBlock(PxlContext *ctx, uint32_t itemSize, uint32_t itemsPerBlock, int32_t movable,
                 PxlBlockHeader *ring, PxlRelocateFn relocate, PxlBlockAllocFn allocate,
                 PxlBlockFreeFn release, PxlItemPool **out) {
  if (itemSize < sizeof(void *) || itemsPerBlock == 0) return PXL_ERR_PARAM;
  const size_t size = kHeaderSize + size_t(itemSize) * itemsPerBlock;
  if (size > UINT32_MAX) return PXL_ERR_PARAM;
  auto *block = static_cast<PxlItemPool *>(allocate(ctx, size, movable));
  if (block == nullptr) return PXL_ERR_NO_MEMORY;
  std::memset(block, 0, size);
  pxlLinkPoolBlock(ctx, &block->header, movable ? static_cast<uint32_t>(size) : 0, ring, relocate);
  block->itemSize = itemSize;
  block->itemsPerBlock = itemsPerBlock;
  block->allocate = allocate;
  block->release = release;
  *out = block;
  return 0;
}

size_t blockSize(const PxlItemPool *block) {
  return kHeaderSize + size_t(block->itemSize) * block->itemsPerBlock;
}

// Moves p by (newAddress - oldAddress) when it pointed into the old block.
template <typename T>
void relocate(T *&p, uintptr_t oldAddress, uintptr_t newAddress, uint32_t size) {
  const auto v = reinterpret_cast<uintptr_t>(p);
  if (v - oldAddress < size) p = reinterpret_cast<T *>(v + (newAddress - oldAddress));
}

template <typename Fix>
void relocateItems(void *block, uintptr_t oldAddress, uintptr_t newAddress, uint32_t size,
                   Fix fix) {
  auto *b = static_cast<PxlItemPool *>(block);
  relocate(b->nextBlock, oldAddress, newAddress, size);
  relocate(b->freeList, oldAddress, newAddress, size);
  for (uint32_t i = 0; i < b->itemsPerBlock; ++i) fix(itemsOf(b) + size_t(i) * b->itemSize);
}

}  // namespace

extern "C" {

void *pxlAllocCCBlock(PxlContext *ctx, size_t size, int32_t) {
  return ctx != nullptr ? pxl::allocRecord(ctx, size) : nullptr;
}

void pxlFreeCCBlock(PxlContext *ctx, void *block, size_t) {
  if (ctx != nullptr) pxl::freeRecord(ctx, block);
}

int32_t pxlLinkPoolBlock(PxlContext *, PxlBlockHeader *block, uint32_t recordedSize,
                         PxlBlockHeader *ring, PxlRelocateFn relocate) {
  block->recordedSize = recordedSize;
  block->relocate = relocate;
  if (ring == nullptr) {
    block->ringNext = block->ringPrev = block;
    return 0;
  }
  block->ringNext = ring->ringNext;
  block->ringPrev = ring;
  ring->ringNext->ringPrev = block;
  ring->ringNext = block;
  return 0;
}

int32_t pxlUnlinkPoolBlock(PxlContext *, PxlBlockHeader *block) {
  if (block->ringNext != block) {
    block->ringPrev->ringNext = block->ringNext;
    block->ringNext->ringPrev = block->ringPrev;
    block->ringNext = block->ringPrev = block;
  }
  return 0;
}

int32_t pxlCreateItemPool(PxlContext *ctx, PxlItemPool **pool, uint32_t itemSize,
                          uint32_t itemsPerBlock, int32_t movable, PxlBlockHeader *ring,
                          PxlRelocateFn relocate, PxlBlockAllocFn allocate,
                          PxlBlockFreeFn release) {
  if (pool == nullptr || allocate == nullptr || release == nullptr) return PXL_ERR_PARAM;
  PxlItemPool *block = nullptr;
  const int32_t status =
      newBlock(ctx, itemSize, itemsPerBlock, movable, ring, relocate, allocate, release, &block);
  if (status != 0) return status;
  block->freeList = chainItems(block);
  *pool = block;
  return 0;
}

int32_t pxlDestroyItemPool(PxlContext *ctx, PxlItemPool **pool) {
  if (pool == nullptr || *pool == nullptr) return 0;
  const PxlBlockFreeFn release = (*pool)->release;
  for (PxlItemPool *b = *pool; b != nullptr;) {
    PxlItemPool *next = b->nextBlock;
    pxlUnlinkPoolBlock(ctx, &b->header);
    release(ctx, b, blockSize(b));
    b = next;
  }
  *pool = nullptr;
  return 0;
}

int32_t pxlGetPoolItem(PxlContext *ctx, PxlItemPool *pool, void **item) {
  void *head = pool->freeList;
  void *next;
  std::memcpy(&next, head, sizeof next);
  if (next == nullptr) {
    PxlItemPool *grown = nullptr;
    const int32_t status =
        newBlock(ctx, pool->itemSize, pool->itemsPerBlock, pool->header.recordedSize != 0 ? 1 : 0,
                 pool->header.ringNext != &pool->header ? &pool->header : nullptr,
                 pool->header.relocate, pool->allocate, pool->release, &grown);
    if (status != 0) {
      *item = nullptr;
      return status;
    }
    grown->nextBlock = pool->nextBlock;
    pool->nextBlock = grown;
    next = chainItems(grown);
  }
  pool->freeList = next;
  *item = head;
  return 0;
}

int32_t pxlReleasePoolItem(PxlContext *, PxlItemPool *pool, void **item) {
  std::memcpy(*item, &pool->freeList, sizeof(void *));
  pool->freeList = *item;
  *item = nullptr;
  return 0;
}

void pxlRelocateRunBlock(uintptr_t, void *block, uintptr_t oldAddress, uintptr_t newAddress,
                         uint32_t size) {
  relocateItems(block, oldAddress, newAddress, size, [&](uint8_t *item) {
    auto *n = reinterpret_cast<PxlRunNode *>(item);
    relocate(n->next, oldAddress, newAddress, size);
    relocate(n->component, oldAddress, newAddress, size);
  });
}

void pxlRelocateComponentBlock(uintptr_t, void *block, uintptr_t oldAddress, uintptr_t newAddress,
                               uint32_t size) {
  relocateItems(block, oldAddress, newAddress, size, [&](uint8_t *item) {
    auto *n = reinterpret_cast<PxlCCNode *>(item);
    relocate(n->parent, oldAddress, newAddress, size);
    relocate(n->firstRun, oldAddress, newAddress, size);
    relocate(n->lastRun, oldAddress, newAddress, size);
  });
}

void pxlRelocateCCExtractor(uintptr_t, void *block, uintptr_t oldAddress, uintptr_t newAddress,
                            uint32_t size) {
  auto *s = static_cast<PxlCCExtractor *>(block);
  relocate(s->componentPool, oldAddress, newAddress, size);
  relocate(s->runPool, oldAddress, newAddress, size);
  relocate(s->rowA, oldAddress, newAddress, size);
  relocate(s->rowB, oldAddress, newAddress, size);
}

}  // extern "C"
