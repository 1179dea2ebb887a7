// Making and freeing the engine's document, page and IFD records in blocks of the context's
// allocator. A freed record is cleared first, so that a stale pointer to it no longer validates.
#include <algorithm>
#include <cstring>

#include "ovr_engine_internal.h"

namespace ovr {
namespace {

template <typename T>
T *newEngineRecord(const Allocator &alloc) {
  T *record = alloc.make<T>(alloc);
  if (record == nullptr) return nullptr;
  record->self = record;
  record->magic = kEngineMagic;
  return record;
}

template <typename T>
void releaseEngineRecord(T *record, Allocator alloc) {
  record->~T();
  std::memset(static_cast<void *>(record), 0, sizeof(T));
  alloc.release(record);
}

void freePage(OvrPageRecord *page) {
  for (OvrIfdRecord *ifd : page->ifds.span()) destroyIfd(ifd);
  page->ifds.clear();
  if (page->primary != nullptr) destroyIfd(page->primary);
  releaseEngineRecord(page, page->doc->alloc);
}

}  // namespace

int32_t engineDocument(const OvrDocHandle *handle, OvrDocument **doc) {
  int32_t status = validateRecord(handle->doc, kEngineMagic);
  if (status == OVR_OK) *doc = handle->doc;
  return status;
}

int32_t createDocument(OvrIoContext *ctx, OvrStream *stream, uint32_t kind, OvrDocument **out) {
  *out = nullptr;
  OvrTiffObject *engine = nullptr;
  int32_t status = contextEngine(ctx, &engine);
  if (status != OVR_OK) return status;
  OvrDocument *doc = newEngineRecord<OvrDocument>(contextAllocator(ctx));
  if (doc == nullptr) return OVR_ERR_NO_MEMORY;
  doc->serial = nextDocumentSerial(engine);
  doc->stream = stream;
  doc->kind = kind;
  *out = doc;
  return OVR_OK;
}

void destroyDocument(OvrDocument *doc) {
  for (OvrPageRecord *page : doc->pages.span()) freePage(page);
  doc->pages.clear();
  releaseEngineRecord(doc, doc->alloc);
}

int32_t createPage(OvrDocument *doc, uint32_t index, OvrPageRecord **out) {
  *out = nullptr;
  OvrPageRecord *page = newEngineRecord<OvrPageRecord>(doc->alloc);
  if (page == nullptr) return OVR_ERR_NO_MEMORY;
  page->doc = doc;
  page->index = index;
  const std::span<OvrPageRecord *> pages = doc->pages.span();
  const auto before =
      std::lower_bound(pages.begin(), pages.end(), index,
                       [](const OvrPageRecord *p, uint32_t wanted) { return p->index < wanted; });
  const auto at = static_cast<uint64_t>(before - pages.begin());
  if (doc->pages.insert(at, page) != OVR_OK) {
    freePage(page);
    return OVR_ERR_NO_MEMORY;
  }
  *out = page;
  return OVR_OK;
}

void destroyPage(OvrPageRecord *page) {
  RecordList<OvrPageRecord *> &pages = page->doc->pages;
  for (uint64_t i = 0; i < pages.size(); ++i) {
    if (pages[i] == page) {
      pages.erase(i);
      break;
    }
  }
  freePage(page);
}

int32_t createIfd(OvrPageRecord *page, uint32_t role, OvrIfdRecord **out) {
  *out = nullptr;
  OvrIfdRecord *ifd = newEngineRecord<OvrIfdRecord>(page->doc->alloc);
  if (ifd == nullptr) return OVR_ERR_NO_MEMORY;
  ifd->page = page;
  ifd->role = role;
  *out = ifd;
  return OVR_OK;
}

void destroyIfd(OvrIfdRecord *ifd) {
  releaseEngineRecord(ifd, ifd->page->doc->alloc);
}

int32_t insertStripe(OvrPageRecord *page, uint64_t at, OvrIfdRecord *ifd) {
  return page->ifds.insert(at, ifd);
}

}  // namespace ovr
