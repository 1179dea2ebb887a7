// Reading interface, strip level: the read state of an IFD, strip byte counts, reading a strip
// into a buffer of the library's allocator (JPEG strips with the IFD's JPEGTables merged in),
// the global data references of a JBIG2-coded IFD (read from its first strip once and kept by the
// IFD record with the byte count of its strips), splitting a referring strip, and reading a
// global data block.
#include "ovr_document.h"
#include "ovr_reader_internal.h"
#include "ovr_vocab_internal.h"

namespace {

using namespace ovr;

// Replaces *buffer by a block of `size` bytes unless it already has that room.
int32_t ensureCapacity(const Allocator &alloc, uint8_t **buffer, uint32_t *capacity,
                       uint32_t size) {
  if (*buffer != nullptr && *capacity >= size) return OVR_OK;
  alloc.release(*buffer);
  *buffer = nullptr;
  *capacity = 0;
  if (size == 0) return OVR_OK;
  *buffer = static_cast<uint8_t *>(alloc.allocate(size));
  if (*buffer == nullptr) return OVR_ERR_NO_MEMORY;
  *capacity = size;
  return OVR_OK;
}

// Moves a JPEG strip of `size` bytes to a new block with the IFD's tables merged in.
int32_t mergeTables(const OvrIfdRecord *ifd, uint8_t **buffer, uint32_t *capacity, uint32_t size,
                    uint32_t *merged) {
  const Directory &dir = ifd->dir;
  JpegTablesBody body;
  JpegMerge plan;
  int32_t status = checkJpegTables(dir.jpegTables.data(), dir.jpegTables.size(), &body);
  if (status == OVR_OK) status = planJpegMerge(*buffer, size, body, &plan);
  if (status != OVR_OK) return status;
  if (plan.mergedSize > UINT32_MAX) return OVR_ERR_CORRUPT;
  const Allocator &alloc = ifd->page->doc->alloc;
  auto *out = static_cast<uint8_t *>(alloc.allocate(plan.mergedSize));
  if (out == nullptr) return OVR_ERR_NO_MEMORY;
  applyJpegMerge(plan, *buffer, size, dir.jpegTables.data(), body, out);
  alloc.release(*buffer);
  *buffer = out;
  *capacity = *merged = static_cast<uint32_t>(plan.mergedSize);
  return OVR_OK;
}

// The indices of the IFD's first strip and each block's length, into the IFD's arrays.
int32_t readReferences(OvrIfdRecord *ifd) {
  OvrDocument *doc = ifd->page->doc;
  StripSpan span;
  int32_t status = locateStrip(ifd, 0, &span);
  OwnedArray<uint8_t> strip;
  if (status == OVR_OK) status = strip.allocate(doc->alloc, span.byteCount);
  if (status == OVR_OK) status = doc->reader.readAt(span.offset, strip.data(), span.byteCount);
  ReferringStrip refs;
  if (status == OVR_OK)
    status = parseReferringStrip(strip.data(), strip.size(), doc->reader.order,
                                 ifd->dir.codingOptions, &refs);
  if (status == OVR_OK) status = ifd->dir.allocate(ifd->refIndices, refs.count);
  if (status == OVR_OK) status = ifd->dir.allocate(ifd->refSizes, refs.count);
  for (uint32_t i = 0; status == OVR_OK && i < refs.count; ++i) {
    GlobalEntry entry;
    ifd->refIndices[i] = referringIndex(refs, doc->reader.order, i);
    status = findGlobalEntry(doc, ifd->refIndices[i], &entry);
    ifd->refSizes[i] = entry.blockLength;
  }
  return status;
}

// The IFD's references and the byte count of its strips, row by row in steps of rows per strip.
int32_t readAllReferences(OvrIfdRecord *ifd) {
  const LayerRecord &rec = ifd->layer;
  if (ifd->strips.count == 0 || rec.rowsPerStrip == 0) return OVR_ERR_INTERNAL;
  int32_t status = takeDocumentInfo(ifd->page->doc);  // the global data table offset
  if (status == OVR_OK) status = readReferences(ifd);
  uint64_t total = 0;
  for (uint64_t row = 0; status == OVR_OK && row < rec.height; row += rec.rowsPerStrip) {
    StripSpan span;
    status = locateStrip(ifd, static_cast<uint32_t>(row), &span);
    total += span.byteCount;
  }
  ifd->stripBytes = total;
  return status;
}

// Reads the references once: they are kept, and a failure other than memory is given again at
// once by later calls, so that the first strip is read once however often a caller asks.
int32_t readReferencesOnce(OvrIfdRecord *ifd) {
  const int32_t status = readAllReferences(ifd);
  if (status == OVR_OK) {
    ifd->refsRead = true;
  } else {
    ifd->dir.clear(ifd->refIndices);
    ifd->dir.clear(ifd->refSizes);
    if (status != OVR_ERR_NO_MEMORY) ifd->refsFailure = status;
  }
  return status;
}

}  // namespace

extern "C" {

int32_t ovrGetStripGlobalRefs(OvrIfdHandle *handle, uint64_t *totalSize, uint32_t *count,
                              const uint32_t **indices, const uint32_t **sizes) {
  if (totalSize == nullptr || count == nullptr || indices == nullptr || sizes == nullptr)
    return OVR_ERR_PARAM;
  *totalSize = 0;
  *count = 0;
  *indices = *sizes = nullptr;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  if (status != OVR_OK || !isJbig2Class(ifd->layer.compressionBits)) return status;
  if (ifd->refsFailure != OVR_OK) return ifd->refsFailure;
  if (!ifd->refsRead) {
    status = readReferencesOnce(ifd);
    if (status != OVR_OK) return status;
  }
  *totalSize = ifd->stripBytes;
  *count = static_cast<uint32_t>(ifd->refIndices.size());
  *indices = ifd->refIndices.data();
  *sizes = ifd->refSizes.data();
  return OVR_OK;
}

int32_t ovrBeginRead(OvrIfdHandle *handle, uint32_t mode) {
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  if (status != OVR_OK) return status;
  if (ifd->readState & kIfdReading) return OVR_ERR_SEQUENCE;
  ifd->readState |= kIfdReading;
  ifd->readMode = mode;
  return OVR_OK;
}

int32_t ovrEndRead(OvrIfdHandle *handle) {
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  if (status != OVR_OK) return status;
  if (!(ifd->readState & kIfdReading)) return OVR_ERR_SEQUENCE;
  ifd->readState &= ~kIfdReading;
  return OVR_OK;
}

int32_t ovrGetStripByteCount(OvrIfdHandle *handle, uint32_t row, uint32_t *bytes) {
  if (bytes == nullptr) return OVR_ERR_PARAM;
  *bytes = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  StripSpan span;
  if (status == OVR_OK) status = locateStrip(ifd, row, &span);
  if (status == OVR_OK) *bytes = span.byteCount;
  return status;
}

int32_t ovrReadStrip(OvrIfdHandle *handle, uint32_t row, uint32_t rows, uint8_t **buffer,
                     uint32_t *capacity, uint32_t *bytesRead) {
  if (buffer == nullptr || capacity == nullptr || bytesRead == nullptr) return OVR_ERR_PARAM;
  *bytesRead = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  if (status != OVR_OK) return status;
  if (!(ifd->readState & kIfdReading)) return OVR_ERR_SEQUENCE;
  StripSpan span;
  status = locateStrip(ifd, row, &span);
  if (status != OVR_OK) return status;
  if (rows != span.rows) return OVR_ERR_PARAM;
  if (ifd->dir.fillOrder != 1) return OVR_ERR_UNSUPPORTED;
  const FileReader &reader = ifd->page->doc->reader;
  status = ensureCapacity(ifd->page->doc->alloc, buffer, capacity, span.byteCount);
  if (status == OVR_OK) status = reader.readAt(span.offset, *buffer, span.byteCount);
  if (status != OVR_OK) return status;
  uint32_t size = span.byteCount;
  if (ifd->layer.compressionBits == bits::kJpeg && ifd->dir.has(Field::JpegTables)) {
    status = mergeTables(ifd, buffer, capacity, size, &size);
    if (status != OVR_OK) return status;
  }
  *bytesRead = size;
  return OVR_OK;
}

int32_t ovrParseStripHeader(OvrIfdHandle *handle, const uint8_t *data, uint32_t size,
                            uint32_t *count, uint32_t **indices, const uint8_t **payload,
                            uint32_t *payloadSize) {
  if (data == nullptr || count == nullptr || indices == nullptr || payload == nullptr ||
      payloadSize == nullptr)
    return OVR_ERR_PARAM;
  *count = 0;
  *indices = nullptr;
  *payload = nullptr;
  *payloadSize = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = readingIfd(handle, &ifd);
  if (status != OVR_OK) return status;
  const ByteOrder order = ifd->page->doc->reader.order;
  ReferringStrip refs;
  OwnedArray<uint32_t> values;
  status = parseReferringStrip(data, size, order, ifd->dir.codingOptions, &refs);
  if (status == OVR_OK) status = values.allocate(ifd->page->doc->alloc, refs.count);
  if (status != OVR_OK) return status;
  for (uint32_t i = 0; i < refs.count; ++i) values[i] = referringIndex(refs, order, i);
  *count = refs.count;
  *indices = values.release();
  *payload = refs.payload;
  *payloadSize = static_cast<uint32_t>(refs.payloadSize);  // inside the caller's size
  return OVR_OK;
}

int32_t ovrReadGlobalData(OvrDocHandle *handle, uint32_t index, uint8_t **data, uint32_t *length,
                          uint32_t *size, uint16_t *entryWord, uint32_t *entryLong) {
  if (data == nullptr || length == nullptr || size == nullptr || entryWord == nullptr ||
      entryLong == nullptr)
    return OVR_ERR_PARAM;
  *data = nullptr;
  *length = *size = *entryLong = 0;
  *entryWord = 0;
  OvrDocument *doc = nullptr;
  int32_t status = readingDocument(handle, &doc);
  if (status == OVR_OK) status = takeDocumentInfo(doc);
  GlobalEntry entry;
  GlobalBlock block;
  OwnedArray<uint8_t> bytes;
  if (status == OVR_OK) status = findGlobalEntry(doc, index, &entry);
  if (status == OVR_OK) status = locateGlobalBlock(doc->reader, entry, &block);
  if (status == OVR_OK) status = bytes.allocate(doc->alloc, block.storedSize);
  if (status == OVR_OK)
    status = doc->reader.readAt(block.dataOffset, bytes.data(), block.storedSize);
  if (status != OVR_OK) return status;
  *data = bytes.release();
  *length = block.length;
  *size = block.storedSize;
  *entryWord = entry.word;
  *entryLong = entry.extra;
  return OVR_OK;
}

}  // extern "C"
