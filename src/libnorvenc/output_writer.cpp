// What the three output writers share: the writer record and its section, writer pages with
// their layer records, section dictionary bytes, the checked writes and the one close of the
// output file, and the choice of the writer's kind for writing and closing.
//
// A failed write is reported once (2001) and remembered: the writer writes nothing more, every
// later section gives 2001, and the close cuts the file back to where the output began, closes
// it exactly once and frees everything.
#include <unistd.h>

#include <cstdio>

#include "output_writer.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace norvenc {

namespace {

constexpr int32_t kWriteFailed = 2001;

int32_t argumentFault(const QtzState *state) {
  return qtz::report(state, QTZ_ERR_ASSERT);
}

}  // namespace

void freeLayer(QtzState *state, NorvLayerRecord *record) {
  if (record == nullptr) return;
  qtz::release(state, record->data);
  qtz::release(state, record);
}

int32_t makeWriter(QtzState *state, const NorvOutputIo *io, WriterKind kind,
                   NorvOutputWriter **writer) {
  if (state == nullptr) return QTZ_ERR_ASSERT;
  if (io == nullptr || io->file == nullptr || io->write == nullptr || writer == nullptr)
    return argumentFault(state);
  qtz::OwnedBlock<NorvOutputWriter> made(state, static_cast<NorvOutputWriter *>(qtz::allocateZeroed(
                                                    state, 1, sizeof(NorvOutputWriter))));
  qtz::OwnedBlock<NorvSectionRecord> section(
      state,
      static_cast<NorvSectionRecord *>(qtz::allocateZeroed(state, 1, sizeof(NorvSectionRecord))));
  if (!made || !section) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (QtzAdt_liNew(&section->pages, state) != 0) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  NorvOutputWriter *w = made.get();
  w->state = state;
  w->io = *io;
  w->hooks = OvrFileHooks{io->read, io->write, io->seek, io->tell};
  w->stream = OvrHookedFile{io->file, 0, &w->hooks};
  w->kind = kind;
  w->start = std::ftell(io->file);
  w->section = section.release();
  *writer = made.release();
  return QTZ_OK;
}

void freeWriter(NorvOutputWriter *writer) {
  QtzState *state = writer->state;
  if (NorvSectionRecord *section = writer->section; section != nullptr) {
    if (section->pages != nullptr) {
      for (QtzAdtListNode *n = section->pages->head; n != nullptr; n = n->next) {
        auto *page = static_cast<NorvWriterPage *>(n->data);
        dropWriterPage(writer, &page);
      }
      QtzAdt_liFree(section->pages);
    }
    qtz::release(state, section->globals);
    qtz::release(state, section);
  }
  qtz::release(state, writer->globalIds);
  qtz::release(state, writer);
}

int32_t writeFailed(NorvOutputWriter *writer) {
  if (writer->failure == 0) {
    writer->failure = kWriteFailed;
    qtz::report(writer->state, kWriteFailed);
  }
  return kWriteFailed;
}

int32_t writeBytes(NorvOutputWriter *writer, const void *data, size_t length) {
  if (writer->failure != 0) return writer->failure;
  if (length == 0) return QTZ_OK;
  if (writer->io.write(data, 1, length, writer->io.file) != length) return writeFailed(writer);
  return QTZ_OK;
}

int32_t closeFile(NorvOutputWriter *writer) {
  FILE *file = writer->io.file;
  writer->io.file = nullptr;
  writer->stream.file = nullptr;
  if (file == nullptr) return QTZ_OK;
  // Nothing of a failed output stays, also when the close's own flush is what fails: once the
  // stream has put out what it still holds, the file is cut back through a descriptor of its
  // own (a file that cannot be cut, such as a pipe, keeps what it got; the status says it
  // failed).
  const int descriptor = writer->start >= 0 ? dup(fileno(file)) : -1;
  if (std::fclose(file) != 0) writeFailed(writer);
  if (descriptor >= 0) {
    if (writer->failure != 0 && ftruncate(descriptor, writer->start) != 0) {
      // Nothing more can be done: the failure is already the result.
    }
    close(descriptor);
  }
  return writer->failure;
}

void abandonOutput(NorvOutputWriter *writer, int32_t status) {
  if (writer != nullptr && writer->failure == 0 && status != 0) writer->failure = status;
}

void endSection(NorvOutputWriter *writer) {
  NorvSectionRecord *section = writer->section;
  writer->pagesWritten += section->pages->count;
  for (QtzAdtListNode *n = section->pages->head; n != nullptr; n = n->next) {
    auto *page = static_cast<NorvWriterPage *>(n->data);
    dropWriterPage(writer, &page);
  }
  QtzAdt_liClear(section->pages);
  qtz::release(writer->state, section->globals);
  section->globals = nullptr;
  section->globalsLength = 0;
}

int32_t writeSection(NorvOutputWriter *writer, uint8_t final) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  switch (writer->kind) {
    case WriterKind::Tfx:
      return writeTfxSection(writer);
    case WriterKind::Jbig2File:
      return writeJbig2FileSection(writer);
    case WriterKind::Pdf:
      return writePdfSection(writer, final);
  }
  return argumentFault(writer->state);
}

int32_t closeWriter(NorvOutputWriter *writer) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  switch (writer->kind) {
    case WriterKind::Tfx:
      return closeTfxWriter(writer);
    case WriterKind::Jbig2File:
      return closeJbig2FileWriter(writer);
    case WriterKind::Pdf:
      return closePdfWriter(writer);
  }
  return argumentFault(writer->state);
}

int32_t newWriterPage(NorvOutputWriter *writer, int32_t width, int32_t height,
                      NorvWriterPage **page) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  if (page == nullptr) return argumentFault(writer->state);
  QtzState *state = writer->state;
  qtz::OwnedBlock<NorvWriterPage> made(
      state, static_cast<NorvWriterPage *>(qtz::allocateZeroed(state, 1, sizeof(NorvWriterPage))));
  if (!made) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (QtzAdt_liNew(&made->colourLayers, state) != 0) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->state = state;
  made->width = width;
  made->height = height;
  *page = made.release();
  return QTZ_OK;
}

void dropWriterPage(NorvOutputWriter *writer, NorvWriterPage **page) {
  if (writer == nullptr || page == nullptr || *page == nullptr) return;
  NorvWriterPage *p = *page;
  freeLayer(p->state, p->mask);
  if (p->colourLayers != nullptr) {
    for (QtzAdtListNode *n = p->colourLayers->head; n != nullptr; n = n->next)
      freeLayer(p->state, static_cast<NorvLayerRecord *>(n->data));
    QtzAdt_liFree(p->colourLayers);
  }
  qtz::release(p->state, p);
  *page = nullptr;
}

int32_t addWriterPage(NorvOutputWriter *writer, NorvWriterPage *page) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  if (page == nullptr) return argumentFault(writer->state);
  if (QtzAdt_liAdd(writer->section->pages, page, nullptr) != 0)
    return qtz::report(writer->state, QTZ_ERR_NO_MEMORY);
  return QTZ_OK;
}

int32_t getWriterPage(NorvOutputWriter *writer, int32_t k, NorvWriterPage **page) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  if (page == nullptr || k < 1 || k > writer->section->pages->count)
    return argumentFault(writer->state);
  QtzAdtListNode *n = writer->section->pages->head;
  for (int32_t i = 1; i < k; ++i) n = n->next;
  *page = static_cast<NorvWriterPage *>(n->data);
  return QTZ_OK;
}

int32_t attachMaskLayer(NorvWriterPage *page, NorvLayerRecord *record) {
  if (page == nullptr) return QTZ_ERR_ASSERT;
  if (record == nullptr || page->mask != nullptr) return argumentFault(page->state);
  page->mask = record;
  return QTZ_OK;
}

int32_t addColorLayer(NorvWriterPage *page, NorvLayerRecord *record) {
  if (page == nullptr) return QTZ_ERR_ASSERT;
  if (record == nullptr) return argumentFault(page->state);
  if (QtzAdt_liAdd(page->colourLayers, record, nullptr) != 0)
    return qtz::report(page->state, QTZ_ERR_NO_MEMORY);
  return QTZ_OK;
}

int32_t setSectionGlobals(NorvOutputWriter *writer, uint8_t *data, size_t length) {
  if (writer == nullptr) return QTZ_ERR_ASSERT;
  if (length == 0) {
    qtz::release(writer->state, data);
    return QTZ_OK;
  }
  // A second set of bytes for one section would replace the first unwritten.
  if (data == nullptr || writer->section->globals != nullptr) return argumentFault(writer->state);
  writer->section->globals = data;
  writer->section->globalsLength = length;
  return QTZ_OK;
}

}  // namespace norvenc
