// The raw JBIG2 file writer: a stand-alone file in the sequential organisation of ITU-T T.88
// Annex D. The 9-byte file header (identification string, flags 03: sequential, number of pages
// unknown, so no page count follows) is written when the writer opens; each section adds its
// dictionary segments, then every page's segments in page order, as the JBIG2 output made them.
// Only the JBIG2 page data of the mask layers is written: colour-token payloads and background
// layers are dropped. No end-of-file segment is written.
//
// Failures: those of the shared writer (output_writer.h); a failed header byte, data write or
// close gives 2001.
#include <cstdio>

#include "output_writer.h"
#include "qtz_internal.h"

namespace norvenc {

namespace {

constexpr uint8_t kFileHeader[9] = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A, 0x03};

}  // namespace

int32_t openJbig2FileWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer) {
  if (writer == nullptr) return qtz::report(state, QTZ_ERR_ASSERT);
  NorvOutputWriter *made = nullptr;
  const int32_t status = makeWriter(state, io, WriterKind::Jbig2File, &made);
  if (status != QTZ_OK) return status;
  for (uint8_t byte : kFileHeader) {
    if (std::fputc(byte, made->io.file) == EOF) {
      writeFailed(made);
      break;
    }
  }
  if (made->failure != 0) {
    // The file stays the caller's when the open fails.
    const int32_t failure = made->failure;
    freeWriter(made);
    return failure;
  }
  *writer = made;
  return QTZ_OK;
}

int32_t writeJbig2FileSection(NorvOutputWriter *writer) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  NorvSectionRecord *section = writer->section;
  int32_t status = writeBytes(writer, section->globals, section->globalsLength);
  for (QtzAdtListNode *n = section->pages->head; n != nullptr && status == QTZ_OK; n = n->next) {
    const NorvWriterPage *page = static_cast<const NorvWriterPage *>(n->data);
    if (page->mask != nullptr) status = writeBytes(writer, page->mask->data, page->mask->length);
  }
  endSection(writer);
  return status;
}

int32_t closeJbig2FileWriter(NorvOutputWriter *writer) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  const int32_t status = closeFile(writer);
  freeWriter(writer);
  return status;
}

}  // namespace norvenc
