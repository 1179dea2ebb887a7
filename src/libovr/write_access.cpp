// The engine records behind the handles that the writing calls take: each handle is validated
// with its owners and its document kind is dispatched, its engine record must carry the engine
// magic, and the document must be open for writing (21 otherwise).
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

int32_t checkWriting(const OvrDocument *doc) {
  return (doc->state & kDocWriting) && doc->writer != nullptr ? OVR_OK : OVR_ERR_SEQUENCE;
}

}  // namespace

int32_t writingDocument(OvrDocHandle *handle, OvrDocument **doc) {
  int32_t status = checkDocHandle(handle);
  if (status == OVR_OK) status = engineDocument(handle, doc);
  return status == OVR_OK ? checkWriting(*doc) : status;
}

int32_t writingPage(OvrPageHandle *handle, OvrPageRecord **page) {
  int32_t status = checkPageHandle(handle);
  if (status == OVR_OK) status = validateRecord(handle->page, kEngineMagic);
  if (status != OVR_OK) return status;
  *page = handle->page;
  status = checkWriting((*page)->doc);
  return status == OVR_OK && (*page)->writer == nullptr ? OVR_ERR_SEQUENCE : status;
}

int32_t writingIfd(OvrIfdHandle *handle, OvrIfdRecord **ifd, int32_t unsupported) {
  int32_t status = checkIfdHandle(handle, unsupported);
  if (status == OVR_OK) status = validateRecord(handle->ifd, kEngineMagic);
  if (status != OVR_OK) return status;
  *ifd = handle->ifd;
  status = checkWriting((*ifd)->page->doc);
  return status == OVR_OK && (*ifd)->writer == nullptr ? OVR_ERR_SEQUENCE : status;
}

}  // namespace ovr
