// Writing a block of global data (data shared by the referring strips of several pages): u8 0,
// u32 length, then the size stored bytes (size >= length), at the padded end of the file, and
// its entry in the global data table chain, whose index names the block in referring strips.
// The table is reached through the global parameters IFD, so a document whose global parameters
// IFD has no table offset (it is written with the first page's primary IFD) cannot take a block
// (12); that is checked before the block is written.
#include "ovr_shared_data_internal.h"
#include "ovr_write.h"
#include "ovr_writer_internal.h"

int32_t ovrAddGlobalData(OvrDocHandle *doc, const void *data, size_t length, size_t size,
                         uint32_t *index) {
  using namespace ovr;
  if (index == nullptr) return OVR_ERR_PARAM;
  *index = 0;
  OvrDocument *d = nullptr;
  int32_t status = writingDocument(doc, &d);
  if (status != OVR_OK) return status;
  uint32_t blockLength = 0;
  if (size < length || length > UINT32_MAX || (data == nullptr && size != 0) ||
      globalBlockLength(size, &blockLength) != OVR_OK) {
    return OVR_ERR_PARAM;
  }
  if (d->globalTables.empty() && !d->writer->globalTablePatch.present()) return OVR_ERR_INTERNAL;
  uint8_t header[kGlobalBlockHeaderSize];
  encodeGlobalBlockHeader(kWriteOrder, static_cast<uint32_t>(length), header);
  const ByteRange pieces[2] = {{header, sizeof header}, {data, size}};
  uint32_t offset = 0;
  status = appendAligned(*d->stream, pieces, &offset);
  if (status == OVR_OK) status = ovrAddGlobalTableEntry(*d, blockLength, offset, index);
  return status;
}
