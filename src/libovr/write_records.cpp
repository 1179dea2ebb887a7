// The writer blocks hung on a document opened for writing, its pages and its IFDs: made from the
// document's allocator (before the record they belong to, so that a record never lacks one),
// released (and the record's pointer cleared) when the document is finished.

#include "ovr_writer_internal.h"

namespace ovr {
namespace {

template <typename T, typename... Args>
int32_t makeBlock(const Allocator &alloc, T **out, Args &&...args) {
  *out = alloc.make<T>(std::forward<Args>(args)...);
  return *out == nullptr ? OVR_ERR_NO_MEMORY : OVR_OK;
}

template <typename T>
void releaseBlock(const Allocator &alloc, T *&block) {
  if (block == nullptr) return;
  block->~T();
  alloc.release(block);
  block = nullptr;
}

}  // namespace

int32_t makeWriterDoc(OvrDocument &doc) {
  return makeBlock(doc.alloc, &doc.writer, doc.alloc);
}

int32_t makeWriterPage(const Allocator &alloc, OvrWritePage **page) {
  return makeBlock(alloc, page);
}

int32_t makeWriterIfd(const Allocator &alloc, OvrWriteIfd **ifd) {
  return makeBlock(alloc, ifd, alloc);
}

void releaseWriter(const Allocator &alloc, OvrWriteDoc *&block) {
  releaseBlock(alloc, block);
}

void releaseWriter(const Allocator &alloc, OvrWritePage *&block) {
  releaseBlock(alloc, block);
}

void releaseWriter(const Allocator &alloc, OvrWriteIfd *&block) {
  releaseBlock(alloc, block);
}

}  // namespace ovr
