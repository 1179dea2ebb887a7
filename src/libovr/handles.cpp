// Handle records of documents, pages and IFDs: the kind dispatch, validation of a handle and of
// the handles that own it, creation of a document handle with its stream record, the cache that
// gives one handle per engine record, and freeing in the order IFDs, pages, stream, document.

#include "ovr_engine_internal.h"
#include "ovr_records_internal.h"

namespace ovr {
namespace {

template <typename T>
void freeRecord(const Allocator &alloc, T *record) {
  *record = T{};  // a stale pointer to it no longer validates
  alloc.release(record);
}

Allocator docAllocator(const OvrDocHandle *doc) {
  return contextAllocator(doc->stream->ctx);
}

}  // namespace

int32_t kindStatus(uint32_t kind, int32_t unsupported) {
  if (kind == 0 || kind > kKindMax) return OVR_ERR_PARAM;
  if (kind <= 5) return unsupported;
  if (kind == 8 || kind == 10 || kind == 14) return OVR_ERR_PARAM;
  return OVR_OK;
}

int32_t checkDocHandle(const OvrDocHandle *doc, int32_t unsupported) {
  int32_t status = validateRecord(doc, kHandleMagic);
  return status != OVR_OK ? status : kindStatus(doc->kind, unsupported);
}

int32_t checkPageHandle(const OvrPageHandle *page, int32_t unsupported) {
  int32_t status = validateRecord(page, kHandleMagic);
  return status != OVR_OK ? status : checkDocHandle(page->owner, unsupported);
}

int32_t checkIfdHandle(const OvrIfdHandle *ifd, int32_t unsupported) {
  int32_t status = validateRecord(ifd, kHandleMagic);
  return status != OVR_OK ? status : checkPageHandle(ifd->owner, unsupported);
}

int32_t createDocHandle(OvrIoContext *ctx, uint32_t kind, const StreamHooks &hooks,
                        OvrDocHandle **out) {
  *out = nullptr;
  int32_t status = checkContext(ctx);
  if (status != OVR_OK) return status;
  const Allocator alloc = contextAllocator(ctx);
  auto *stream = alloc.make<OvrStream>();
  auto *doc = alloc.make<OvrDocHandle>();
  if (stream == nullptr || doc == nullptr) {
    if (stream != nullptr) freeRecord(alloc, stream);
    if (doc != nullptr) freeRecord(alloc, doc);
    return OVR_ERR_NO_MEMORY;
  }
  *stream = OvrStream{stream,        hooks.client, hooks.read, hooks.write, hooks.seek,
                      hooks.seekEnd, hooks.tell,   0,          0,           ctx};
  *doc = OvrDocHandle{doc, kHandleMagic, kind, nullptr, stream, nullptr, nullptr};
  *out = doc;
  return OVR_OK;
}

int32_t pageHandleFor(OvrDocHandle *doc, OvrPageRecord *page, OvrPageHandle **out) {
  if (page->handle != nullptr) {
    *out = page->handle;
    return OVR_OK;
  }
  auto *handle = docAllocator(doc).make<OvrPageHandle>();
  if (handle == nullptr) return OVR_ERR_NO_MEMORY;
  *handle = OvrPageHandle{handle, kHandleMagic, page, nullptr, nullptr, doc, nullptr};
  (doc->lastPage != nullptr ? doc->lastPage->next : doc->pages) = handle;
  doc->lastPage = handle;
  page->handle = handle;
  *out = handle;
  return OVR_OK;
}

int32_t ifdHandleFor(OvrPageHandle *page, OvrIfdRecord *ifd, OvrIfdHandle **out) {
  if (ifd->handle != nullptr) {
    *out = ifd->handle;
    return OVR_OK;
  }
  auto *handle = docAllocator(page->owner).make<OvrIfdHandle>();
  if (handle == nullptr) return OVR_ERR_NO_MEMORY;
  *handle = OvrIfdHandle{handle, kHandleMagic, ifd, nullptr, page};
  (page->lastIfd != nullptr ? page->lastIfd->next : page->ifds) = handle;
  page->lastIfd = handle;
  ifd->handle = handle;
  *out = handle;
  return OVR_OK;
}

void freeDocHandle(OvrDocHandle *doc) {
  const Allocator alloc = docAllocator(doc);
  for (OvrPageHandle *page = doc->pages; page != nullptr; page = page->next) {
    for (OvrIfdHandle *ifd = page->ifds; ifd != nullptr;) {
      OvrIfdHandle *next = ifd->next;
      freeRecord(alloc, ifd);
      ifd = next;
    }
    page->ifds = nullptr;
  }
  for (OvrPageHandle *page = doc->pages; page != nullptr;) {
    OvrPageHandle *next = page->next;
    freeRecord(alloc, page);
    page = next;
  }
  freeRecord(alloc, doc->stream);
  freeRecord(alloc, doc);
}

}  // namespace ovr
