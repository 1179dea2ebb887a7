// Writing calls on strips: appending a strip of coded data, writing an IFD's single referring
// strip (a header naming global data indices, then the coded data), and adding a tail-strip IFD
// on the next layer that shares a referring strip.
//
// Referring strip (form A): u8 0, u16 n, n u32 indices, u32 L, L bytes of data. n is a 16-bit
// field, so more than 65,535 indices are refused (2). The strip covers all the IFD's rows; the
// header's length is kept for the tail-strip IFD.
//
// Tail-strip IFD: the bytes of a referring strip after the first `offset` bytes of its coded data
// (a colour payload after a coded mask) are described by a new IFD on the next layer, with this
// IFD's geometry, one strip of all rows and this IFD's compression bits. Its strip tables point
// at the whole strip (its coding options allow tail bytes on the odd layer it lies on), and this
// IFD's strip is cut: its byte count becomes header + offset and the header's L becomes offset,
// so that offset may not exceed the coded data (byte count - header; 2). The coding options of
// this IFD get bit 0x20 in the file.
#include "ovr_shared_data_internal.h"
#include "ovr_vocab_internal.h"
#include "ovr_write.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

// The strip that a tail IFD may share: its offset and byte count. 21 when the IFD has no
// referring strip, no coding options entry or has its tail IFD already; 6 for more than one
// strip; 12 for an empty strip; 2 when offset lies beyond the coded data.
int32_t checkTailSource(const OvrIfdRecord &ifd, uint32_t offset) {
  const OvrWriteIfd &w = *ifd.writer;
  if (!isJbig2Class(ifd.layer.compressionBits)) return OVR_ERR_PARAM;
  if (w.state != IfdState::Coded || w.stripsWritten == 0 || w.referringHeader == 0 ||
      !w.codingOptions.present() || w.tailAdded) {
    return OVR_ERR_SEQUENCE;
  }
  if (ifd.dir.stripOffsets.size() != 1) return OVR_ERR_UNSUPPORTED;
  const uint32_t bytes = ifd.dir.stripByteCounts[0];
  if (ifd.dir.stripOffsets[0] == 0 || bytes == 0) return OVR_ERR_INTERNAL;
  if (bytes < w.referringHeader || offset > bytes - w.referringHeader) return OVR_ERR_PARAM;
  return OVR_OK;
}

// Writes the tail IFD's directory over the shared strip and links it.
int32_t writeTailIfd(OvrIfdRecord &tail, const OvrIfdRecord &source) {
  tail.layer.compressionBits = source.layer.compressionBits;
  int32_t status = prepareDirectoryTables(tail);
  if (status != OVR_OK) return status;
  if (tail.dir.stripOffsets.size() != 1) return OVR_ERR_INTERNAL;
  tail.dir.stripOffsets[0] = source.dir.stripOffsets[0];
  tail.dir.stripByteCounts[0] = source.dir.stripByteCounts[0];
  status = ovrWriteDirectory(tail);
  if (status == OVR_OK) status = ovrLinkStripeIfd(tail);
  if (status != OVR_OK) return status;
  OvrWriteIfd &w = *tail.writer;
  w.state = IfdState::Coded;
  w.stripsWritten = 1;
  w.referringHeader = source.writer->referringHeader;
  return OVR_OK;
}

// Cuts the source strip at offset bytes of coded data and marks the strip as shared.
int32_t cutSourceStrip(OvrIfdRecord &ifd, uint32_t offset) {
  OvrWriteIfd &w = *ifd.writer;
  OvrStream &stream = *ifd.page->doc->stream;
  const uint32_t strip = ifd.dir.stripOffsets[0];
  int32_t status = ovrPatchStripTables(ifd, 0, strip, w.referringHeader + offset);
  if (status == OVR_OK) status = patch32(stream, uint64_t{strip} + w.referringHeader - 4, offset);
  const uint32_t options = ifd.dir.codingOptions | kOptionSharedTailStrip;
  if (status == OVR_OK) status = patch32(stream, w.codingOptions.value, options);
  if (status != OVR_OK) return status;
  ifd.dir.codingOptions = options;
  w.tailAdded = true;
  return OVR_OK;
}

}  // namespace
}  // namespace ovr

int32_t ovrWriteStrip(OvrIfdHandle *ifd, uint32_t firstRow, uint32_t rows, const void *data,
                      size_t size, size_t *written) {
  using namespace ovr;
  if (written == nullptr) return OVR_ERR_PARAM;
  *written = 0;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record);
  if (status != OVR_OK) return status;
  if (record->writer->state != IfdState::Coded) return OVR_ERR_SEQUENCE;
  const ByteRange piece{data, size};
  status = appendStrip(*record, firstRow, rows, std::span(&piece, 1));
  if (status == OVR_OK) *written = size;
  return status;
}

int32_t ovrWriteReferringStrip(OvrIfdHandle *ifd, const void *data, size_t size,
                               const uint32_t *globalIndices, uint32_t count) {
  using namespace ovr;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record);
  if (status != OVR_OK) return status;
  OvrWriteIfd &w = *record->writer;
  if (globalIndices == nullptr || count > UINT16_MAX || size > UINT32_MAX) return OVR_ERR_PARAM;
  if (w.state == IfdState::Added) return OVR_ERR_INTERNAL;
  if (w.state == IfdState::Ended) return OVR_ERR_SEQUENCE;
  OwnedArray<uint8_t> header;
  const uint64_t headerSize = referringHeaderSize(count);
  if (header.allocate(record->dir.alloc, headerSize) != OVR_OK) return OVR_ERR_NO_MEMORY;
  status = encodeReferringHeader(kWriteOrder, globalIndices, count, static_cast<uint32_t>(size),
                                 header.data());
  if (status != OVR_OK) return status;
  const ByteRange pieces[2] = {{header.data(), headerSize}, {data, size}};
  status = appendStrip(*record, 0, record->layer.height, pieces);
  if (status == OVR_OK) w.referringHeader = static_cast<uint32_t>(headerSize);
  return status;
}

int32_t ovrAddTailStripIfd(OvrIfdHandle *ifd, uint32_t offset, uint32_t colourKind,
                           OvrIfdHandle **newIfd) {
  using namespace ovr;
  if (newIfd == nullptr) return OVR_ERR_PARAM;
  *newIfd = nullptr;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record);
  if (status == OVR_OK) status = checkTailSource(*record, offset);
  SampleLayout samples;  // the one check of the tail's directory that its values can fail
  if (status == OVR_OK) status = sampleLayout(colourKind, &samples);
  if (status != OVR_OK) return status;
  const LayerRecord &l = record->layer;
  ProfileValues v;
  v.layer = l.key.layer + 1;
  v.colourKind = colourKind;
  copyPlacement(l, v);
  v.rowsPerStrip = l.height;
  OvrIfdRecord *tail = nullptr;
  status = addIfdRecord(*record->page, v, &tail);
  if (status != OVR_OK) return status;
  OvrIfdHandle *handle = nullptr;
  status = ifdHandleFor(ifd->owner, tail, &handle);
  if (status != OVR_OK) {
    removeIfdRecord(tail);
    return status;
  }
  status = writeTailIfd(*tail, *record);
  if (status == OVR_OK) status = cutSourceStrip(*record, offset);
  if (status == OVR_OK) *newIfd = handle;
  return status;
}
