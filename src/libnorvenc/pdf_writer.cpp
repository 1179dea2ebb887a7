// The PDF writer: a PDF 1.4 file in which every page is one bilevel image XObject coded with the
// JBIG2Decode filter (the JBIG2 output in its single-page mode: page association 1, no end of
// page), drawn by a content stream over the whole page.
//
// Objects are numbered in writing order. The first section reserves the ProcSet array (written
// at once), the Catalog and the Pages object (both written at close, when every page is known);
// then, per section, a JBIG2Globals stream when the section brings dictionary bytes, and per page
// its image, content stream and Page object (/Parent the one Pages object). Close writes the
// Catalog, the page tree with every page of the document in order (an empty document gets an
// empty tree), the cross-reference table sorted by object number and the trailer. An offset table
// records each object's first byte, counted from the bytes each formatted write and each data
// write put out, so the output must be a binary stream from its start.
//
// Dictionaries across sections: a page may refer to the dictionary segments of every section
// since the last one that ended final (the JBIG2 output keeps them until then), but an image has
// one JBIG2Globals stream. So the writer keeps the dictionary bytes of the open chain of sections
// and each section that brings new ones writes a globals stream holding the whole chain; a section
// that ended final closes the chain. The page size in points is W x 72 / x resolution by
// H x 72 / y resolution, a whole number of points exactly, else six decimals just below the
// exact size (see pointsOf): a reader that renders at the scan's resolution gets the scan's
// pixel size.
//
// Failures: those of the shared writer (output_writer.h); 2 for a page resolution below 1.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "output_writer.h"
#include "qtz_internal.h"

namespace norvenc {

struct PdfEntry {
  int32_t object;
  int64_t offset;
};

struct PdfObjects {
  int64_t bytesWritten;
  int32_t nextObject;  // from 1
  int32_t catalog;     // reserved with the first section or at close; 0 before
  int32_t procSet;
  int32_t pages;
  int32_t globals;  // the last JBIG2Globals stream; 0 none
  PdfEntry *entries;
  uint32_t entryCount;
  uint32_t entryCapacity;
  int32_t *pageObjects;  // the Page objects in page order
  uint32_t pageCount;
  uint32_t pageCapacity;
  uint8_t *dictionaries;  // dictionary bytes of the open chain of sections
  size_t dictionariesLength;
};

namespace {

constexpr uint32_t kFirstEntries = 20;
constexpr int32_t kPointsPerInch = 72;
constexpr int64_t kPointDecimals = 1000000;

// Makes room for one more element, doubling the capacity (first capacity kFirstEntries).
template <typename T>
int32_t roomForOne(QtzState *state, T *&array, uint32_t count, uint32_t &capacity) {
  if (count < capacity) return QTZ_OK;
  const uint32_t grown = capacity == 0 ? kFirstEntries : capacity * 2;
  if (grown <= capacity) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  void *block = qtz::resize(state, array, size_t{grown} * sizeof(T));
  if (block == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  array = static_cast<T *>(block);
  capacity = grown;
  return QTZ_OK;
}

__attribute__((format(printf, 2, 3))) int32_t emit(NorvOutputWriter *writer, const char *format,
                                                   ...) {
  if (writer->failure != 0) return writer->failure;
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(writer->io.file, format, args);
  va_end(args);
  if (written < 0) return writeFailed(writer);
  writer->pdf->bytesWritten += written;
  return QTZ_OK;
}

int32_t emitData(NorvOutputWriter *writer, const void *data, size_t length) {
  const int32_t status = writeBytes(writer, data, length);
  if (status == QTZ_OK) writer->pdf->bytesWritten += static_cast<int64_t>(length);
  return status;
}

// Records that object begins at the current offset.
int32_t beginObject(NorvOutputWriter *writer, int32_t object) {
  PdfObjects *pdf = writer->pdf;
  const int32_t status =
      roomForOne(writer->state, pdf->entries, pdf->entryCount, pdf->entryCapacity);
  if (status != QTZ_OK) return status;
  pdf->entries[pdf->entryCount++] = PdfEntry{object, pdf->bytesWritten};
  return QTZ_OK;
}

// A stream object of length bytes: its dictionary (the entries before /Length), the data.
int32_t emitStream(NorvOutputWriter *writer, int32_t object, const void *data, size_t length) {
  if (length > INT32_MAX) return qtz::report(writer->state, QTZ_ERR_PARAM);
  int32_t status = beginObject(writer, object);
  if (status == QTZ_OK)
    status =
        emit(writer, "%d 0 obj\n<< /Length %d\n>>\nstream\n", object, static_cast<int32_t>(length));
  if (status == QTZ_OK) status = emitData(writer, data, length);
  if (status == QTZ_OK) status = emit(writer, "\nendstream\nendobj\n\n");
  return status;
}

// The ProcSet array now; the numbers of the Catalog and the Pages object, written at close.
int32_t reserveDocumentObjects(NorvOutputWriter *writer) {
  PdfObjects *pdf = writer->pdf;
  if (pdf->procSet != 0) return QTZ_OK;
  pdf->procSet = pdf->nextObject++;
  pdf->catalog = pdf->nextObject++;
  pdf->pages = pdf->nextObject++;
  int32_t status = beginObject(writer, pdf->procSet);
  if (status == QTZ_OK)
    status = emit(writer, "%d 0 obj\n[\n/PDF /ImageB\n]\nendobj\n\n", pdf->procSet);
  return status;
}

// Adds the section's dictionary bytes to the chain and writes the chain as the globals stream.
int32_t writeGlobals(NorvOutputWriter *writer) {
  PdfObjects *pdf = writer->pdf;
  NorvSectionRecord *section = writer->section;
  const size_t total = pdf->dictionariesLength + section->globalsLength;
  if (total < section->globalsLength) return qtz::report(writer->state, QTZ_ERR_NO_MEMORY);
  void *block = qtz::resize(writer->state, pdf->dictionaries, total);
  if (block == nullptr) return qtz::report(writer->state, QTZ_ERR_NO_MEMORY);
  pdf->dictionaries = static_cast<uint8_t *>(block);
  std::memcpy(pdf->dictionaries + pdf->dictionariesLength, section->globals,
              section->globalsLength);
  pdf->dictionariesLength = total;
  pdf->globals = pdf->nextObject++;
  return emitStream(writer, pdf->globals, pdf->dictionaries, pdf->dictionariesLength);
}

int32_t writePage(NorvOutputWriter *writer, const NorvLayerRecord *mask) {
  PdfObjects *pdf = writer->pdf;
  if (mask->xdpi < 1 || mask->ydpi < 1 || mask->length > INT32_MAX)
    return qtz::report(writer->state, QTZ_ERR_PARAM);
  const Points w = pointsOf(mask->width, mask->xdpi);
  const Points h = pointsOf(mask->height, mask->ydpi);
  int32_t status = roomForOne(writer->state, pdf->pageObjects, pdf->pageCount, pdf->pageCapacity);
  if (status != QTZ_OK) return status;
  const int32_t image = pdf->nextObject;
  pdf->nextObject += 3;
  char name[24];
  std::snprintf(name, sizeof name, "IID%d", image);
  status = beginObject(writer, image);
  if (status == QTZ_OK)
    status = emit(writer,
                  "%d 0 obj\n<<\n/Type /XObject\n/Subtype /Image\n/Width %d\n/Height %d\n"
                  "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n/Name /%s\n/Filter /JBIG2Decode\n",
                  image, mask->width, mask->height, name);
  if (status == QTZ_OK && pdf->globals != 0)
    status = emit(writer, "/DecodeParms << /JBIG2Globals %d 0 R >>\n", pdf->globals);
  if (status == QTZ_OK)
    status = emit(writer, "/Length %d\n>>\nstream\n", static_cast<int32_t>(mask->length));
  if (status == QTZ_OK) status = emitData(writer, mask->data, mask->length);
  if (status == QTZ_OK) status = emit(writer, "\nendstream\nendobj\n\n");

  char content[128];
  const int contentLength =
      std::snprintf(content, sizeof content, "q %s 0 0 %s 0 0 cm /%s Do Q", w.text, h.text, name);
  if (status == QTZ_OK) status = beginObject(writer, image + 1);
  if (status == QTZ_OK)
    status = emit(writer, "%d 0 obj\n<<\n/Length %d\n>>\nstream\n%s\nendstream\nendobj\n\n",
                  image + 1, contentLength, content);
  if (status == QTZ_OK) status = beginObject(writer, image + 2);
  if (status == QTZ_OK)
    status = emit(writer,
                  "%d 0 obj <<\n/Type /Page\n/Resources <<\n/XObject <<\n/%s %d 0 R\n>>\n"
                  "/ProcSet %d 0 R\n>>\n/Parent %d 0 R\n/Contents %d 0 R\n"
                  "/MediaBox [ 0 0 %s %s ]\n>>\nendobj\n\n",
                  image + 2, name, image, pdf->procSet, pdf->pages, image + 1, w.text, h.text);
  if (status == QTZ_OK) pdf->pageObjects[pdf->pageCount++] = image + 2;
  return status;
}

// The Catalog and the page tree of every page, the cross-reference table and the trailer.
int32_t finishDocument(NorvOutputWriter *writer) {
  PdfObjects *pdf = writer->pdf;
  int32_t status = reserveDocumentObjects(writer);
  if (status == QTZ_OK) status = beginObject(writer, pdf->catalog);
  if (status == QTZ_OK)
    status = emit(writer, "%d 0 obj\n<<\n/Type /Catalog\n/Pages %d 0 R\n>>\nendobj\n\n",
                  pdf->catalog, pdf->pages);
  if (status == QTZ_OK) status = beginObject(writer, pdf->pages);
  if (status == QTZ_OK)
    status =
        emit(writer, "%d 0 obj\n<<\n/Type /Pages\n/Count %u\n/Kids [ ", pdf->pages, pdf->pageCount);
  for (uint32_t k = 0; k < pdf->pageCount && status == QTZ_OK; ++k)
    status = emit(writer, "%d 0 R ", pdf->pageObjects[k]);
  if (status == QTZ_OK) status = emit(writer, "]\n>>\nendobj\n\n");
  if (status != QTZ_OK) return status;

  const int64_t xref = pdf->bytesWritten;
  std::sort(pdf->entries, pdf->entries + pdf->entryCount,
            [](const PdfEntry &a, const PdfEntry &b) { return a.object < b.object; });
  status = emit(writer, "xref\n0 %u\n0000000000 65535 f \n", pdf->entryCount + 1);
  for (uint32_t k = 0; k < pdf->entryCount && status == QTZ_OK; ++k)
    status = emit(writer, "%010" PRId64 " 00000 n \n", pdf->entries[k].offset);
  if (status == QTZ_OK)
    status =
        emit(writer, "trailer\n<<\n/Size %u\n/Root %d 0 R\n>>\nstartxref\n%" PRId64 "\n%%%%EOF\n",
             pdf->entryCount + 1, pdf->catalog, xref);
  return status;
}

void freeObjects(NorvOutputWriter *writer) {
  PdfObjects *pdf = writer->pdf;
  if (pdf == nullptr) return;
  qtz::release(writer->state, pdf->entries);
  qtz::release(writer->state, pdf->pageObjects);
  qtz::release(writer->state, pdf->dictionaries);
  qtz::release(writer->state, pdf);
  writer->pdf = nullptr;
}

}  // namespace

Points pointsOf(int32_t pixels, int32_t dpi) {
  const int64_t scaled = int64_t{pixels} * kPointsPerInch;
  Points p{};
  if (scaled % dpi == 0) {
    std::snprintf(p.text, sizeof p.text, "%" PRId64, scaled / dpi);
    return p;
  }
  // The decimal in millionths: the exact value cut, and a millionth less where the cut is exact.
  int64_t millionths = scaled * kPointDecimals / dpi;
  if (scaled * kPointDecimals % dpi == 0) --millionths;
  const int length = std::snprintf(p.text, sizeof p.text, "%" PRId64, millionths / kPointDecimals);
  int64_t fraction = millionths % kPointDecimals;
  if (fraction == 0) return p;
  int digits = 6;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  std::snprintf(p.text + length, sizeof p.text - static_cast<size_t>(length), ".%0*" PRId64, digits,
                fraction);
  return p;
}

int32_t openPdfWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer) {
  if (writer == nullptr) return qtz::report(state, QTZ_ERR_ASSERT);
  NorvOutputWriter *made = nullptr;
  int32_t status = makeWriter(state, io, WriterKind::Pdf, &made);
  if (status != QTZ_OK) return status;
  made->pdf = static_cast<PdfObjects *>(qtz::allocateZeroed(state, 1, sizeof(PdfObjects)));
  if (made->pdf == nullptr) {
    status = qtz::report(state, QTZ_ERR_NO_MEMORY);
  } else {
    made->pdf->nextObject = 1;
    status = roomForOne(state, made->pdf->entries, 0, made->pdf->entryCapacity);
  }
  if (status == QTZ_OK) status = emit(made, "%%PDF-1.4\n");
  if (status != QTZ_OK) {
    // The file stays the caller's when the open fails.
    freeObjects(made);
    freeWriter(made);
    return status;
  }
  *writer = made;
  return QTZ_OK;
}

int32_t writePdfSection(NorvOutputWriter *writer, uint8_t final) {
  if (writer == nullptr || writer->pdf == nullptr) return QTZ_ERR_ASSERT;
  NorvSectionRecord *section = writer->section;
  int32_t status = writer->failure;
  if (status == QTZ_OK && section->globalsLength > 0) status = writeGlobals(writer);
  if (status == QTZ_OK) status = reserveDocumentObjects(writer);
  for (QtzAdtListNode *n = section->pages->head; n != nullptr && status == QTZ_OK; n = n->next) {
    const NorvWriterPage *page = static_cast<const NorvWriterPage *>(n->data);
    if (page->mask != nullptr) status = writePage(writer, page->mask);
  }
  if (final != 0) {
    // No later page refers to these dictionaries: the next section starts a new chain.
    qtz::release(writer->state, writer->pdf->dictionaries);
    writer->pdf->dictionaries = nullptr;
    writer->pdf->dictionariesLength = 0;
  }
  // Objects reserved but not written would break the cross-reference table: a failed section
  // leaves the document unfinished.
  if (writer->failure == 0) writer->failure = status;
  endSection(writer);
  return status;
}

int32_t closePdfWriter(NorvOutputWriter *writer) {
  if (writer == nullptr || writer->pdf == nullptr) return QTZ_ERR_ASSERT;
  int32_t status = writer->failure == 0 ? finishDocument(writer) : writer->failure;
  const int32_t closed = closeFile(writer);
  if (status == QTZ_OK) status = closed;
  freeObjects(writer);
  freeWriter(writer);
  return status;
}

}  // namespace norvenc
