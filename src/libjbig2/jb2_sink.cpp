// Memory data sinks: a chain of 16384-byte blocks, positional writes at a mark, MQ encoders
// attached to a sink.
#include <cstring>

#include "jb2_stream.h"
#include "jbig2_report.h"

namespace {

struct MemSinkImpl {
  QtzAdtList *blocks;
  QtzAdtListNode *markAfter;  // the filed node after which the marked block lies (null: head)
  size_t markOffset;
  bool marked;
};

int32_t fileBlock(DataSink *sink, MemSinkImpl *impl) {
  auto *entry = jbAllocArray<SinkBlock>(sink->state, 1);
  if (entry == nullptr) return qtz::report(sink->state, kJbNoMemory);
  entry->data = sink->block;
  entry->used = sink->used;
  if (QtzAdt_liAdd(impl->blocks, entry, nullptr) != 0) {
    jbFree(sink->state, entry);
    return qtz::report(sink->state, kJbNoMemory);
  }
  sink->block = nullptr;
  return 0;
}

int32_t memSinkNextBlock(DataSink *sink) {
  auto *impl = static_cast<MemSinkImpl *>(sink->impl);
  auto *fresh = jbAllocArray<uint8_t>(sink->state, kSinkBlockSize);
  if (fresh == nullptr) return qtz::report(sink->state, kJbNoMemory);
  const int32_t status = fileBlock(sink, impl);
  if (status != 0) {
    jbFree(sink->state, fresh);
    return status;
  }
  sink->block = fresh;
  sink->capacity = kSinkBlockSize;
  sink->used = 0;
  return 0;
}

int32_t memSinkMark(DataSink *sink) {
  auto *impl = static_cast<MemSinkImpl *>(sink->impl);
  impl->markAfter = impl->blocks->tail;
  impl->markOffset = sink->used;
  impl->marked = true;
  return 0;
}

int32_t memSinkWriteAtMark(DataSink *sink, size_t n, const uint8_t *bytes) {
  auto *impl = static_cast<MemSinkImpl *>(sink->impl);
  if (!impl->marked) return kJbAssert;
  QtzAdtListNode *first = impl->markAfter != nullptr ? impl->markAfter->next : impl->blocks->head;
  // Bytes written from the mark on: a write beyond them is refused before anything changes.
  size_t room = 0;
  size_t offset = impl->markOffset;
  for (QtzAdtListNode *n2 = first; n2 != nullptr; n2 = n2->next, offset = 0) {
    const size_t used = static_cast<SinkBlock *>(n2->data)->used;
    room += used > offset ? used - offset : 0;
  }
  room += sink->used > offset ? sink->used - offset : 0;
  if (n > room) return kJbAssert;
  QtzAdtListNode *node = first;
  offset = impl->markOffset;
  while (n > 0) {
    if (node != nullptr) {
      auto *entry = static_cast<SinkBlock *>(node->data);
      const size_t take = offset < entry->used ? std::min(n, entry->used - offset) : 0;
      std::memcpy(entry->data + offset, bytes, take);
      bytes += take;
      n -= take;
      node = node->next;
      offset = 0;
    } else {
      std::memcpy(sink->block + offset, bytes, n);
      n = 0;
    }
  }
  return 0;
}

}  // namespace

int32_t memSinkNew(QtzState *state, DataSink **out) {
  auto *sink = jbAllocArray<DataSink>(state, 1);
  auto *impl = jbAllocArray<MemSinkImpl>(state, 1);
  auto *block = jbAllocArray<uint8_t>(state, kSinkBlockSize);
  QtzAdtList *list = nullptr;
  if (sink == nullptr || impl == nullptr || block == nullptr || QtzAdt_liNew(&list, state) != 0) {
    jbFree(state, sink);
    jbFree(state, impl);
    jbFree(state, block);
    return qtz::report(state, kJbNoMemory);
  }
  impl->blocks = list;
  sink->block = block;
  sink->capacity = kSinkBlockSize;
  sink->blockFull = memSinkNextBlock;
  sink->mark = memSinkMark;
  sink->writeAtMark = memSinkWriteAtMark;
  sink->impl = impl;
  sink->state = state;
  *out = sink;
  return 0;
}

int32_t memSinkClose(DataSink *sink, QtzAdtList **blocks) {
  if (sink->blockFull != memSinkNextBlock) return kJbAssert;
  auto *impl = static_cast<MemSinkImpl *>(sink->impl);
  QtzState *state = sink->state;
  const int32_t status = fileBlock(sink, impl);
  if (status != 0) jbFree(state, sink->block);
  *blocks = impl->blocks;
  jbFree(state, impl);
  jbFree(state, sink);
  return status;
}

void memSinkFreeBlocks(QtzState *state, QtzAdtList *blocks) {
  if (blocks == nullptr) return;
  for (QtzAdtListNode *node = blocks->head; node != nullptr; node = node->next) {
    auto *entry = static_cast<SinkBlock *>(node->data);
    jbFree(state, entry->data);
    jbFree(state, entry);
  }
  QtzAdt_liFree(blocks);
}

int32_t sinkPutByteSlow(DataSink *sink, uint8_t byte) {
  if (sink->blockFull == nullptr) return qtz::report(sink->state, kJbNull);
  const int32_t status = sink->blockFull(sink);
  if (status != 0) return status;
  if (sink->used >= sink->capacity) return qtz::report(sink->state, kJbEndOfData);
  sink->block[sink->used++] = byte;
  sink->count++;
  return 0;
}

int32_t sinkWrite(DataSink *sink, size_t n, const uint8_t *bytes, size_t *count) {
  size_t done = 0;
  int32_t status = 0;
  while (done < n) {
    if (sink->used == sink->capacity) {
      if (sink->blockFull == nullptr) {
        status = qtz::report(sink->state, kJbNull);
        break;
      }
      status = sink->blockFull(sink);
      if (status != 0 || sink->used == sink->capacity) break;
    }
    const size_t take = std::min(n - done, sink->capacity - sink->used);
    std::memcpy(sink->block + sink->used, bytes + done, take);
    sink->used += take;
    sink->count += take;
    done += take;
  }
  *count = done;
  return status;
}

int32_t sinkReserve(DataSink *sink, size_t n) {
  if (sink->mark == nullptr) return qtz::report(sink->state, kJbNull);
  int32_t status = sink->mark(sink);
  while (status == 0 && n > 0) {
    if (sink->used == sink->capacity) {
      status = sink->blockFull(sink);
      if (status != 0) break;
    }
    const size_t take = std::min(n, sink->capacity - sink->used);
    sink->used += take;
    n -= take;
  }
  return status;
}

int32_t sinkWriteAtMark(DataSink *sink, size_t n, const uint8_t *bytes) {
  if (sink->writeAtMark == nullptr) return qtz::report(sink->state, kJbNull);
  return sink->writeAtMark(sink, n, bytes);
}

void sinkResetCount(DataSink *sink) {
  sink->count = 0;
}
void sinkAddCount(DataSink *sink, size_t n) {
  sink->count += n;
}

namespace {
bool sinkMqByteOut(uint8_t byte, void *user) {
  return sinkPutByte(static_cast<DataSink *>(user), byte) == 0;
}
}  // namespace

void sinkStartMq(DataSink *sink, MqEncoder *encoder) {
  mqEncInit(encoder, sinkMqByteOut, sink, sink->state);
}

int32_t sinkEndMq(DataSink *sink, MqEncoder *encoder) {
  if (!mqFlush(encoder)) return qtz::report(sink->state, kJbShortWrite);
  return 0;
}
