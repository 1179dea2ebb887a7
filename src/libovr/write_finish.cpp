// Finishing a document opened for writing, at close:
// 1. When page 0's primary IFD is written but the global parameters IFD is not (in the profiles
//    whose first primary IFD refers to one), that primary IFD is written again as a new
//    directory at the end of the file, which writes the global parameters IFD, and the reference
//    to it is patched.
// 2. Every written page's PageNumber is patched to the page's final index where pages inserted
//    before it have moved it up since its directory was written.
// 3. When more codings were written since the global parameters IFD, its CodingMethods value is
//    patched in place.
// 4. The stream is sought to its end, which makes a buffered stream hand over its pending bytes,
//    so that a failure to store them is seen here and not first in the caller's fclose.
// A document whose stream failed at any time, or whose pending bytes could not be stored, is
// finished with 2001 even when the failing call reported it already: a close never reports an
// incomplete file as success. The writer blocks of the document, its pages and IFDs are released
// in every case.
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

int32_t finishFile(OvrDocument &doc) {
  OvrWriteDoc &w = *doc.writer;
  OvrStream &stream = *doc.stream;
  int32_t status = OVR_OK;
  const bool globalProfile = isMrcProfile(doc.profileCode) || doc.profileCode == 7;
  OvrIfdRecord *first = doc.pageCount > 0 ? doc.pages[0]->primary : nullptr;
  if (globalProfile && first != nullptr && first->offset != 0 && w.globalIfd == 0) {
    const uint32_t old = static_cast<uint32_t>(first->offset);
    first->offset = 0;
    status = ovrWriteDirectory(*first);
    if (status == OVR_OK) status = ovrPatchIfdReference(*first, old);
  }
  // Pages inserted before written pages moved them up: their PageNumber takes the page's final
  // index (the two SHORTs index, 0 lie inline in the entry, little-endian).
  for (OvrPageRecord *page : doc.pages.span()) {
    if (status != OVR_OK || page->index >= doc.pageCount || page->primary == nullptr) continue;
    const OvrWriteIfd *pw = page->primary->writer;
    if (pw != nullptr && pw->pageNumber.present() && pw->pageNumberWritten != page->index)
      status = patch32(stream, pw->pageNumber.value, page->index);
  }
  if (status == OVR_OK && w.codingMethodsPatch.present() &&
      w.codingMethods != w.codingMethodsWritten) {
    status = patch32(stream, w.codingMethodsPatch.value, w.codingMethods);
    if (status == OVR_OK) w.codingMethodsWritten = w.codingMethods;
  }
  uint64_t end = 0;
  if (status == OVR_OK && streamSeekEnd(stream, &end) != OVR_OK) status = OVR_ERR_WRITE;
  return stream.failed ? OVR_ERR_WRITE : status;
}

void releaseWriters(OvrDocument &doc) {
  const Allocator &alloc = doc.alloc;
  for (OvrPageRecord *page : doc.pages.span()) {
    for (OvrIfdRecord *ifd : page->ifds.span()) releaseWriter(alloc, ifd->writer);
    if (page->primary != nullptr) releaseWriter(alloc, page->primary->writer);
    releaseWriter(alloc, page->writer);
  }
  releaseWriter(alloc, doc.writer);
}

}  // namespace

}  // namespace ovr

int32_t ovrFinishWrite(OvrDocHandle *handle) {
  OvrDocument *doc = nullptr;
  int32_t status = ovr::checkDocHandle(handle);
  if (status == OVR_OK) status = ovr::engineDocument(handle, &doc);
  if (status != OVR_OK || doc->writer == nullptr) return status;
  status = ovr::finishFile(*doc);
  ovr::releaseWriters(*doc);
  return status;
}
