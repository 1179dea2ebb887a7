// The TIFF-FX writer: each written section becomes pages of a mixed raster content document
// (container document kind 13) through the container library. Per page: one JBIG2 mask IFD
// (Compression 34715) whose single referring strip holds the JBIG2 page data followed by the
// colour-token payload (a tail-strip IFD of colour kind 7 describes the payload), then one IFD
// per JPEG colour layer with all its rows in one strip. A section's dictionary bytes become one
// block of global data, written with the section's first mask; every strip refers to every block
// written before it, in writing order, so a page may use the dictionaries of earlier sections.
// The number of blocks is not limited (the reader finds blocks by index).
//
// Failures: those of the shared writer (output_writer.h) and the container's statuses unchanged
// (2001 for a write it could not make). The first failing container call ends the section and
// leaves the document unfinished: later sections give the same status without writing, and the
// close still closes the container document and the file, each exactly once.
#include <initializer_list>

#include "output_writer.h"
#include "ovr_document.h"
#include "ovr_write.h"
#include "qtz_internal.h"

namespace norvenc {

namespace {

constexpr uint32_t kMixedRasterJbig2 = 13;  // container document kind
constexpr uint32_t kMaskLayer = 2;
constexpr uint32_t kBilevelKind = 1;
constexpr uint32_t kColourKind = 7;  // tail strips and JPEG layers
constexpr uint32_t kJbig2CompressionTag = 34715;
constexpr uint32_t kJbig2Bits = 1024;
constexpr uint32_t kJpegBits = 16;
constexpr uint32_t kColourSpace = 8;
constexpr uint32_t kFirstIdSlots = 8;

int32_t keepGlobalId(NorvOutputWriter *writer, uint32_t id) {
  if (writer->globalCount == writer->globalCapacity) {
    const uint32_t grown = writer->globalCapacity == 0 ? kFirstIdSlots : writer->globalCapacity * 2;
    void *block = qtz::resize(writer->state, writer->globalIds, size_t{grown} * sizeof(uint32_t));
    if (block == nullptr) return qtz::report(writer->state, QTZ_ERR_NO_MEMORY);
    writer->globalIds = static_cast<uint32_t *>(block);
    writer->globalCapacity = grown;
  }
  writer->globalIds[writer->globalCount++] = id;
  return QTZ_OK;
}

// The section's dictionary bytes as a block of global data, once.
int32_t writeSectionGlobals(NorvOutputWriter *writer) {
  NorvSectionRecord *section = writer->section;
  if (section->globals == nullptr) return QTZ_OK;
  // Room for the index first, so that a block written is always referred to.
  int32_t status = keepGlobalId(writer, 0);
  if (status != QTZ_OK) return status;
  --writer->globalCount;
  uint32_t id = 0;
  status = ovrAddGlobalData(writer->document, section->globals, section->globalsLength,
                            section->globalsLength, &id);
  if (status != QTZ_OK) return status;
  writer->globalIds[writer->globalCount++] = id;
  qtz::release(writer->state, section->globals);
  section->globals = nullptr;
  section->globalsLength = 0;
  return QTZ_OK;
}

int32_t writeMask(NorvOutputWriter *writer, OvrPageHandle *page, const NorvLayerRecord *m) {
  OvrIfdHandle *ifd = nullptr;
  int32_t status = ovrAddIfd(page, m->layer, kBilevelKind, m->x, m->y, m->xdpi, m->ydpi, m->width,
                             m->height, m->height, nullptr, &ifd);
  if (status == QTZ_OK) status = ovrSetCompressionTag(ifd, kJbig2CompressionTag);
  uint32_t bits = kJbig2Bits;
  uint32_t quality = static_cast<uint32_t>(m->quality);
  if (status == QTZ_OK) status = ovrSetCoding(ifd, 0, &bits, &quality, &kColourSpace);
  if (status == QTZ_OK) status = writeSectionGlobals(writer);
  // Before the first block of global data the strip refers to none (the index list must still
  // be given).
  const uint32_t noIds[1] = {0};
  const uint32_t *ids = writer->globalIds != nullptr ? writer->globalIds : noIds;
  if (status == QTZ_OK)
    status = ovrWriteReferringStrip(ifd, m->data, m->length + m->payloadLength, ids,
                                    writer->globalCount);
  if (status == QTZ_OK && m->payloadLength > 0) {
    OvrIfdHandle *tail = nullptr;
    status = ovrAddTailStripIfd(ifd, static_cast<uint32_t>(m->length), kColourKind, &tail);
  }
  if (status == QTZ_OK) status = ovrEndIfd(ifd);
  return status;
}

int32_t writeColourLayer(OvrPageHandle *page, const NorvLayerRecord *c) {
  OvrIfdHandle *ifd = nullptr;
  int32_t status = ovrAddIfd(page, c->layer, kColourKind, c->x, c->y, c->xdpi, c->ydpi, c->width,
                             c->height, c->height, nullptr, &ifd);
  uint32_t bits = kJpegBits;
  uint32_t quality = static_cast<uint32_t>(c->quality);
  if (status == QTZ_OK) status = ovrSetCoding(ifd, 0, &bits, &quality, &kColourSpace);
  size_t written = 0;
  if (status == QTZ_OK)
    status = ovrWriteStrip(ifd, 0, static_cast<uint32_t>(c->height), c->data, c->length, &written);
  if (status == QTZ_OK) status = ovrEndIfd(ifd);
  return status;
}

int32_t writePage(NorvOutputWriter *writer, const NorvWriterPage *p) {
  OvrPageHandle *page = nullptr;
  int32_t status = ovrAddPage(writer->document, -1, &page);
  if (status == QTZ_OK && p->mask != nullptr) status = writeMask(writer, page, p->mask);
  for (QtzAdtListNode *n = p->colourLayers->head; n != nullptr && status == QTZ_OK; n = n->next)
    status = writeColourLayer(page, static_cast<const NorvLayerRecord *>(n->data));
  if (status == QTZ_OK) status = ovrEndPage(page);
  return status;
}

}  // namespace

int32_t openTfxWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer) {
  if (writer == nullptr) return qtz::report(state, QTZ_ERR_ASSERT);
  NorvOutputWriter *made = nullptr;
  int32_t status = makeWriter(state, io, WriterKind::Tfx, &made);
  if (status != QTZ_OK) return status;
  status = ovrCreateIoContext(0, &made->ioContext);
  if (status == QTZ_OK)
    status = ovrCreateDocument(made->ioContext, kMixedRasterJbig2, &made->stream, 0, 0,
                               fileHookRead, fileHookWrite, fileHookSeek, fileHookSeekEnd,
                               fileHookTell, &made->document);
  if (status != QTZ_OK) {
    // The file stays the caller's when the open fails.
    if (made->ioContext != nullptr) ovrDestroyIoContext(made->ioContext);
    freeWriter(made);
    return qtz::report(state, status);
  }
  *writer = made;
  return QTZ_OK;
}

int32_t writeTfxSection(NorvOutputWriter *writer) {
  if (writer == nullptr || writer->document == nullptr) return QTZ_ERR_ASSERT;
  int32_t status = writer->failure;
  for (QtzAdtListNode *n = writer->section->pages->head; n != nullptr && status == QTZ_OK;
       n = n->next)
    status = writePage(writer, static_cast<const NorvWriterPage *>(n->data));
  if (status != QTZ_OK && writer->failure == 0)
    writer->failure = qtz::report(writer->state, status);
  endSection(writer);
  return status;
}

int32_t closeTfxWriter(NorvOutputWriter *writer) {
  if (writer == nullptr || writer->document == nullptr) return QTZ_ERR_ASSERT;
  // Both container calls run whatever the other gives; the first failure is the result.
  const int32_t finished = ovrCloseDocument(writer->document);
  const int32_t destroyed = ovrDestroyIoContext(writer->ioContext);
  writer->document = nullptr;
  writer->ioContext = nullptr;
  for (int32_t status : {finished, destroyed}) {
    if (status != QTZ_OK && writer->failure == 0)
      writer->failure = qtz::report(writer->state, status);
  }
  const int32_t status = closeFile(writer);
  freeWriter(writer);
  return status;
}

}  // namespace norvenc
