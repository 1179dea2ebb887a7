// Reading interface, document level: opening a stream (classification, then the engine's
// document record and a file reader that knows the byte order and file size), the document
// info (page chain and page 0), loading pages, and closing a document of either engine.
#include "ovr_document.h"
#include "ovr_reader_internal.h"

extern "C" {

int32_t ovrOpenDocument(OvrIoContext *ctx, void *stream, uint32_t /*flags*/, OvrReadHook read,
                        OvrWriteHook write, OvrSeekHook seek, OvrSeekEndHook seekEnd,
                        OvrTellHook tell, OvrDocHandle **out) {
  using namespace ovr;
  if (out == nullptr) return OVR_ERR_PARAM;
  *out = nullptr;
  OvrDocHandle *handle = nullptr;
  int32_t status = createDocHandle(ctx, kKindTiff,
                                   StreamHooks{stream, read, write, seek, seekEnd, tell}, &handle);
  if (status != OVR_OK) return status;
  uint32_t kind = 0;
  FileHeader header;
  if (classifyStream(*handle->stream, &kind, &header) != OVR_OK) {
    freeDocHandle(handle);  // no kind recognised: no document
    return OVR_OK;
  }
  handle->kind = kind;
  OvrDocument *doc = nullptr;
  status = createDocument(ctx, handle->stream, kind, &doc);
  if (status == OVR_OK) {
    doc->firstIfd = header.firstIfd;
    status = openFileReader(*handle->stream, &doc->reader);
    if (status == OVR_OK) {
      doc->pageBytesLeft = documentPageBudget(doc->reader.size);
      doc->recordBytesLeft = documentRecordBudget(doc->reader.size);
      doc->stripBytesLeft = documentStripBudget(doc->reader.size);
    }
    if (status != OVR_OK) destroyDocument(doc);
  }
  if (status != OVR_OK) {
    freeDocHandle(handle);
    return status;
  }
  handle->doc = doc;
  *out = handle;
  return OVR_OK;
}

int32_t ovrGetDocumentInfo(OvrDocHandle *handle, uint8_t *headerKind, uint8_t *subKind,
                           uint16_t *pageCount) {
  using namespace ovr;
  if (headerKind == nullptr || subKind == nullptr || pageCount == nullptr) return OVR_ERR_PARAM;
  *headerKind = *subKind = 0;
  *pageCount = 0;
  OvrDocument *doc = nullptr;
  int32_t status = readingDocument(handle, &doc);
  if (status == OVR_OK) status = takeDocumentInfo(doc);
  if (status != OVR_OK) return status;
  *headerKind = doc->headerKind;
  *subKind = doc->subKind;
  *pageCount = static_cast<uint16_t>(doc->pageCount);  // at most 65,535
  return OVR_OK;
}

int32_t ovrGetPage(OvrDocHandle *handle, int32_t index, const uint32_t **layerIfdCounts,
                   uint32_t *layerCount, uint16_t *pageAttribute, OvrPageHandle **pageHandle) {
  using namespace ovr;
  if (layerIfdCounts == nullptr || layerCount == nullptr || pageAttribute == nullptr ||
      pageHandle == nullptr)
    return OVR_ERR_PARAM;
  *layerIfdCounts = nullptr;
  *layerCount = 0;
  *pageAttribute = 0;
  *pageHandle = nullptr;
  OvrDocument *doc = nullptr;
  int32_t status = readingDocument(handle, &doc);
  if (status == OVR_OK) status = walkPageChain(doc);
  if (status != OVR_OK) return status;
  if (index < -1 || (index == -1 && doc->pageCount == 0)) return OVR_ERR_PARAM;
  const uint32_t page = index == -1 ? doc->pageCount - 1 : static_cast<uint32_t>(index);
  OvrPageRecord *record = nullptr;
  status = loadPage(doc, page, &record);
  if (status != OVR_OK) return status;
  OwnedArray<uint32_t> counts;
  status = counts.allocate(doc->alloc, record->layerCount);
  if (status == OVR_OK) status = pageHandleFor(handle, record, pageHandle);
  if (status != OVR_OK) return status;
  for (uint32_t l = 0; l < record->layerCount; ++l) counts[l] = record->layerCounts[l];
  doc->handedLayerCounts = std::move(counts);
  *layerIfdCounts = doc->handedLayerCounts.data();
  *layerCount = record->layerCount;
  *pageAttribute = record->attributes.attribute;
  return OVR_OK;
}

int32_t ovrCloseDocument(OvrDocHandle *handle) {
  using namespace ovr;
  OvrDocument *doc = nullptr;
  int32_t status = checkDocHandle(handle);
  if (status == OVR_OK) status = engineDocument(handle, &doc);
  if (status != OVR_OK) return status;
  // A document open for writing is finished by its writer here, before its records go.
  const int32_t finished = doc->writer != nullptr ? ovrFinishWrite(handle) : OVR_OK;
  destroyDocument(doc);
  freeDocHandle(handle);
  return finished;
}

}  // extern "C"
