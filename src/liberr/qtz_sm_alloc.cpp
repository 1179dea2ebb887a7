// The default small-block pools of a library state: eight size classes, each with a pool that
// hands out fixed-size blocks from chunks carved through the state's allocate hook.
//
// A chunk is QTZ_POOL_CHUNK_HEADER bytes (whose first word links the list of all chunks)
// followed by 1000 blocks (100 for class 7) of the serving pool's block size. Free blocks form
// a singly linked list through their first word; taking and giving back a block is a pop or a
// push. A selection mask decides which pool serves each class: an unselected class is served
// by the nearest larger selected class, and a pool that has carved a chunk always keeps
// serving its own class, so a block goes back to its own pool or to one of blocks at least as
// large. Blocks never go back to the hooks one by one: the chunks are freed together when the
// pools are destroyed. Failures: 1 (reported) when a chunk cannot be allocated, 10003
// (unreported) for bad arguments.
#include <cstring>

#include "qtz_internal.h"

namespace {

struct Pool {
  void *freeList;
  int32_t blockSize;
};

static_assert(qtz::kPoolSize[0] >= static_cast<int32_t>(sizeof(void *)),
              "a free block holds the link to the next one");

void *linkOf(const void *block) {
  void *next;
  std::memcpy(&next, block, sizeof next);
  return next;
}
void setLink(void *block, void *next) {
  std::memcpy(block, &next, sizeof next);
}

bool validClass(int32_t classIndex) {
  return classIndex >= 0 && classIndex < QTZ_POOL_CLASSES;
}

size_t blocksPerChunk(int32_t classIndex) {
  return classIndex == QTZ_POOL_CLASSES - 1 ? QTZ_POOL_BLOCKS_PER_CHUNK_7
                                            : QTZ_POOL_BLOCKS_PER_CHUNK;
}

}  // namespace

struct QtzSmallPools {
  Pool *server[QTZ_POOL_CLASSES];
  Pool pool[QTZ_POOL_CLASSES];
  void *chunks;
  uint32_t usedMask;
  QtzState *owner;
};

extern "C" {

int32_t Qtz_getPoolSize(int32_t classIndex) {
  return validClass(classIndex) ? qtz::kPoolSize[classIndex] : -1;
}

int32_t smallPoolsCreate(QtzState *state, void **out) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (out == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *pools = static_cast<QtzSmallPools *>(qtz::allocateZeroed(state, 1, sizeof(QtzSmallPools)));
  if (pools == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  pools->owner = state;
  for (int32_t i = 0; i < QTZ_POOL_CLASSES; ++i) pools->pool[i].blockSize = Qtz_getPoolSize(i);
  smallPoolsSelect(pools, QTZ_POOL_DEFAULT_MASK);
  *out = pools;
  return QTZ_OK;
}

void smallPoolsSelect(void *object, int32_t mask) {
  auto *pools = static_cast<QtzSmallPools *>(object);
  if (pools == nullptr) return;
  Pool *current = &pools->pool[QTZ_POOL_CLASSES - 1];
  for (int32_t i = QTZ_POOL_CLASSES - 1; i >= 0; --i) {
    uint32_t bit = 1u << i;
    if ((static_cast<uint32_t>(mask) & bit) != 0 || (pools->usedMask & bit) != 0)
      current = &pools->pool[i];
    pools->server[i] = current;
  }
}

int32_t smallPoolAlloc(void *object, int32_t classIndex, void **out) {
  auto *pools = static_cast<QtzSmallPools *>(object);
  if (pools == nullptr || !validClass(classIndex) || out == nullptr ||
      pools->server[classIndex] == nullptr)
    return QTZ_ERR_ASSERT;
  Pool *p = pools->server[classIndex];
  if (p->freeList != nullptr) {
    *out = p->freeList;
    p->freeList = linkOf(p->freeList);
    return QTZ_OK;
  }

  size_t count = blocksPerChunk(classIndex);
  size_t size = static_cast<size_t>(p->blockSize);
  auto *chunk = static_cast<unsigned char *>(
      qtz::allocate(pools->owner, QTZ_POOL_CHUNK_HEADER + count * size));
  if (chunk == nullptr) return qtz::report(pools->owner, QTZ_ERR_NO_MEMORY);
  setLink(chunk, pools->chunks);
  pools->chunks = chunk;
  pools->usedMask |= 1u << (p - pools->pool);

  unsigned char *first = chunk + QTZ_POOL_CHUNK_HEADER;
  for (size_t i = 1; i < count; ++i)
    setLink(first + i * size, i + 1 < count ? first + (i + 1) * size : nullptr);
  p->freeList = count > 1 ? first + size : nullptr;
  *out = first;
  return QTZ_OK;
}

void smallPoolFree(void *object, int32_t classIndex, void *block) {
  auto *pools = static_cast<QtzSmallPools *>(object);
  // A bad class index would write outside the pools record: such a call is ignored.
  if (pools == nullptr || block == nullptr || !validClass(classIndex)) return;
  Pool *p = pools->server[classIndex];
  setLink(block, p->freeList);
  p->freeList = block;
}

void smallPoolsDestroy(void **object) {
  if (object == nullptr) return;
  auto *pools = static_cast<QtzSmallPools *>(*object);
  *object = nullptr;
  if (pools == nullptr) return;
  void *chunk = pools->chunks;
  while (chunk != nullptr) {
    void *next = linkOf(chunk);
    qtz::release(pools->owner, chunk);
    chunk = next;
  }
  qtz::release(pools->owner, pools);
}

}  // extern "C"
