// Global data blocks and the global data table: entry coding, reading a table from the file and
// locating a block's data with every length and offset checked against the file.
#include "ovr_shared_data_internal.h"

#include "ovr_context.h"

namespace ovr {

int32_t globalBlockLength(uint64_t size, uint32_t *blockLength) {
  if (size > UINT32_MAX - kGlobalBlockHeaderSize) return OVR_ERR_PARAM;
  *blockLength = static_cast<uint32_t>(size + kGlobalBlockHeaderSize);
  return OVR_OK;
}

void encodeGlobalBlockHeader(ByteOrder order, uint32_t length, uint8_t *out) {
  out[0] = 0;
  store32(out + 1, length, order);
}

void decodeGlobalEntry(ByteOrder order, const uint8_t *bytes, GlobalEntry *entry) {
  entry->blockLength = load32(bytes, order);
  entry->blockOffset = load32(bytes + 4, order);
  entry->kind = load16(bytes + 8, order);
  entry->word = load16(bytes + 10, order);
  entry->extra = load32(bytes + 12, order);
}

void encodeGlobalEntry(ByteOrder order, const GlobalEntry &entry, uint8_t *bytes) {
  store32(bytes, entry.blockLength, order);
  store32(bytes + 4, entry.blockOffset, order);
  store16(bytes + 8, entry.kind, order);
  store16(bytes + 10, entry.word, order);
  store32(bytes + 12, entry.extra, order);
}

int32_t readGlobalTable(const FileReader &reader, uint64_t offset, GlobalTable *table) {
  uint16_t count = 0;
  uint32_t next = 0;
  const int32_t status = reader.readCountedTable(offset, kGlobalEntrySize, &count, &next);
  if (status == OVR_OK) *table = GlobalTable{offset, count, next};
  return status;
}

int32_t readGlobalEntry(const FileReader &reader, const GlobalTable &table, uint32_t index,
                        GlobalEntry *entry) {
  if (index >= table.count) return OVR_ERR_PARAM;
  uint8_t bytes[kGlobalEntrySize];
  int32_t status = reader.readAt(globalEntryPos(table.offset, index), bytes, kGlobalEntrySize);
  if (status == OVR_OK) decodeGlobalEntry(reader.order, bytes, entry);
  return status;
}

int32_t locateGlobalBlock(const FileReader &reader, const GlobalEntry &entry, GlobalBlock *block) {
  if (entry.kind != kGlobalBlockKind || entry.blockLength < kGlobalBlockHeaderSize)
    return OVR_ERR_CORRUPT;
  int32_t status = reader.checkExtent(entry.blockOffset, entry.blockLength);
  if (status != OVR_OK) return status;
  uint8_t header[kGlobalBlockHeaderSize];
  status = reader.readAt(entry.blockOffset, header, kGlobalBlockHeaderSize);
  if (status != OVR_OK) return status;
  const uint32_t stored = entry.blockLength - kGlobalBlockHeaderSize;
  const uint32_t length = load32(header + 1, reader.order);
  if (length > stored) return OVR_ERR_CORRUPT;
  if (header[0] != 0) return OVR_ERR_UNSUPPORTED;
  *block = GlobalBlock{uint64_t{entry.blockOffset} + kGlobalBlockHeaderSize, stored, length};
  return OVR_OK;
}

}  // namespace ovr
