// Handle-layer access to the engine records of a document open for reading, and the first
// document-info step shared by the calls that need the page chain and the global data table.
// Page 0 is loaded there for the global data table offset that it may give; a page 0 that
// cannot be loaded leaves the page count intact (ovrGetPage reports its failure).
#include "ovr_reader_internal.h"

namespace ovr {

int32_t takeDocumentInfo(OvrDocument *doc) {
  int32_t status = walkPageChain(doc);
  if (status != OVR_OK || (doc->state & kDocInfoTaken)) return status;
  if (doc->pageCount > 0) {
    OvrPageRecord *page = nullptr;
    status = loadPage(doc, 0, &page);
    if (status == OVR_ERR_NO_MEMORY) return status;
  }
  doc->state |= kDocInfoTaken;
  return OVR_OK;
}

int32_t readingDocument(const OvrDocHandle *handle, OvrDocument **doc) {
  int32_t status = checkDocHandle(handle);
  if (status == OVR_OK) status = engineDocument(handle, doc);
  if (status != OVR_OK) return status;
  return (*doc)->state & kDocWriting ? OVR_ERR_SEQUENCE : OVR_OK;
}

int32_t readingPage(const OvrPageHandle *handle, OvrPageRecord **page) {
  OvrDocument *doc = nullptr;
  int32_t status = checkPageHandle(handle);
  if (status == OVR_OK) status = readingDocument(handle->owner, &doc);
  if (status == OVR_OK) status = validateRecord(handle->page, kEngineMagic);
  if (status != OVR_OK) return status;
  *page = handle->page;
  return (*page)->state & kPageLoaded ? OVR_OK : OVR_ERR_SEQUENCE;
}

int32_t readingIfd(const OvrIfdHandle *handle, OvrIfdRecord **ifd) {
  OvrPageRecord *page = nullptr;
  int32_t status = checkIfdHandle(handle);
  if (status == OVR_OK) status = readingPage(handle->owner, &page);
  if (status == OVR_OK) status = validateRecord(handle->ifd, kEngineMagic);
  if (status == OVR_OK) *ifd = handle->ifd;
  return status;
}

}  // namespace ovr
