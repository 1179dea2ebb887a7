// Writing calls on documents and pages: creating a document for writing (its handle, engine
// record and writer block, then the file header), adding a page at an index (later pages move
// up by one) and ending a page.
//
// A page record joins the document's sorted page list as it is made; the engine frees page
// records only with their document. A page whose handle cannot be made is therefore moved out of
// the document's pages (to the end of the list, with an index beyond every page) and freed with
// the document.
#include "ovr_write.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

void parkPage(OvrDocument &doc, uint64_t at) {
  OvrPageRecord *page = doc.pages[at];
  doc.pages.erase(at);
  page->index = UINT32_MAX;
  doc.pages.push(page);  // cannot fail: erase left room
  doc.pageOffsets.erase(at);
  releaseWriter(doc.alloc, page->writer);
}

}  // namespace
}  // namespace ovr

int32_t ovrCreateDocument(OvrIoContext *ctx, uint32_t kind, void *stream, uint32_t spare,
                          uint32_t flags, OvrReadHook read, OvrWriteHook write, OvrSeekHook seek,
                          OvrSeekEndHook seekEnd, OvrTellHook tell, OvrDocHandle **doc) {
  using namespace ovr;
  (void)spare;
  (void)flags;
  if (doc == nullptr) return OVR_ERR_PARAM;
  *doc = nullptr;
  int32_t status = checkContext(ctx);
  if (status == OVR_OK) status = kindStatus(kind);
  if (status != OVR_OK) return status;
  OvrDocHandle *handle = nullptr;
  status =
      createDocHandle(ctx, kind, StreamHooks{stream, read, write, seek, seekEnd, tell}, &handle);
  if (status != OVR_OK) return status;
  OvrDocument *engine = nullptr;
  status = createDocument(ctx, handle->stream, kind, &engine);
  if (status == OVR_OK) {
    handle->doc = engine;
    engine->state = kDocWriting;
    engine->profileCode = profileCodeOfKind(kind);
    status = makeWriterDoc(*engine);
  }
  if (status == OVR_OK) status = ovrWriteHeader(*handle->stream, 0);
  if (status != OVR_OK) {
    if (engine != nullptr) {
      releaseWriter(engine->alloc, engine->writer);
      destroyDocument(engine);
    }
    freeDocHandle(handle);
    return status;
  }
  *doc = handle;
  return OVR_OK;
}

int32_t ovrAddPage(OvrDocHandle *doc, int32_t index, OvrPageHandle **page) {
  using namespace ovr;
  if (page == nullptr) return OVR_ERR_PARAM;
  *page = nullptr;
  OvrDocument *d = nullptr;
  int32_t status = writingDocument(doc, &d);
  if (status != OVR_OK) return status;
  if (index < -1 || d->pageCount >= kMaxPages) return OVR_ERR_PARAM;
  const uint32_t at = index == -1 ? d->pageCount : static_cast<uint32_t>(index);
  if (at > d->pageCount) return OVR_ERR_PARAM;
  OvrWritePage *writer = nullptr;
  if (makeWriterPage(d->alloc, &writer) != OVR_OK) return OVR_ERR_NO_MEMORY;
  OvrPageRecord *record = nullptr;
  status = d->pageOffsets.insert(at, 0);
  if (status == OVR_OK) {
    status = createPage(d, at, &record);
    if (status != OVR_OK) d->pageOffsets.erase(at);
  }
  if (status != OVR_OK) {
    releaseWriter(d->alloc, writer);
    return status;
  }
  record->writer = writer;
  status = pageHandleFor(doc, record, page);
  if (status != OVR_OK) {
    parkPage(*d, at);
    return status;
  }
  for (uint64_t i = uint64_t{at} + 1; i <= d->pageCount; ++i) ++d->pages[i]->index;
  ++d->pageCount;
  return OVR_OK;
}

int32_t ovrEndPage(OvrPageHandle *page) {
  OvrPageRecord *record = nullptr;
  int32_t status = ovr::writingPage(page, &record);
  if (status != OVR_OK) return status;
  if (!record->writer->open) return OVR_ERR_SEQUENCE;
  record->writer->open = false;
  return OVR_OK;
}
