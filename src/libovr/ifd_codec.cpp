// File header and IFD codec: header decoding and encoding, 12-byte entries, the location of an
// entry's value and reading IFDs and values from a file with every extent checked against the
// file's size before anything is read.
#include "ovr_format_internal.h"

namespace ovr {

int32_t decodeHeader(const uint8_t *bytes, FileHeader *header) {
  ByteOrder order;
  if (bytes[0] == 'I' && bytes[1] == 'I') {
    order = ByteOrder::Little;
  } else if (bytes[0] == 'M' && bytes[1] == 'M') {
    order = ByteOrder::Big;
  } else {
    return OVR_ERR_NOT_TIFF;
  }
  if (load16(bytes + 2, order) != kTiffMagic) return OVR_ERR_NOT_TIFF;
  header->order = order;
  header->firstIfd = load32(bytes + 4, order);
  return OVR_OK;
}

void encodeHeader(const FileHeader &header, uint8_t *bytes) {
  const uint8_t mark = header.order == ByteOrder::Little ? 'I' : 'M';
  bytes[0] = bytes[1] = mark;
  store16(bytes + 2, kTiffMagic, header.order);
  store32(bytes + 4, header.firstIfd, header.order);
}

void decodeEntry(ByteOrder order, const uint8_t *bytes, uint64_t entryPos, IfdEntry *entry) {
  entry->tag = load16(bytes, order);
  entry->type = load16(bytes + 2, order);
  entry->count = load32(bytes + 4, order);
  for (int i = 0; i < 4; ++i) entry->field[i] = bytes[8 + i];
  entry->fieldPos = entryPos + 8;
}

void encodeEntry(ByteOrder order, const IfdEntry &entry, uint8_t *bytes) {
  store16(bytes, entry.tag, order);
  store16(bytes + 2, entry.type, order);
  store32(bytes + 4, entry.count, order);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = entry.field[i];
}

ValueSpan entryValueSpan(ByteOrder order, const IfdEntry &entry) {
  ValueSpan span;
  span.bytes = fieldByteCount(entry.type, entry.count);
  span.inlined = span.bytes <= kInlineValueSize;
  span.position = span.inlined ? entry.fieldPos : load32(entry.field, order);
  return span;
}

int32_t readIfdLayout(const FileReader &reader, uint64_t offset, IfdLayout *layout) {
  uint16_t count = 0;
  uint32_t next = 0;
  const int32_t status = reader.readCountedTable(offset, kEntrySize, &count, &next);
  if (status != OVR_OK) return status;
  layout->offset = offset;
  layout->count = count;
  layout->next = next;
  return OVR_OK;
}

int32_t readIfdEntry(const FileReader &reader, const IfdLayout &layout, uint32_t index,
                     IfdEntry *entry) {
  if (index >= layout.count) return OVR_ERR_PARAM;
  uint8_t bytes[kEntrySize];
  const uint64_t position = ifdEntryPos(layout.offset, index);
  int32_t status = reader.readAt(position, bytes, kEntrySize);
  if (status == OVR_OK) decodeEntry(reader.order, bytes, position, entry);
  return status;
}

int32_t loadEntryValues(const FileReader &reader, const IfdEntry &entry, Width width,
                        uint64_t units, void *dst) {
  if (!widenAllowed(entry.type, width)) return OVR_ERR_UNSUPPORTED;
  if (units > fieldUnitCount(entry.type, entry.count)) return OVR_ERR_PARAM;
  const ValueSpan span = entryValueSpan(reader.order, entry);
  int32_t status = reader.checkExtent(span.position, span.bytes);
  if (status != OVR_OK || units == 0) return status;
  auto *raw = static_cast<uint8_t *>(dst);
  const uint64_t rawBytes = units * fieldUnitSize(entry.type);
  if (span.inlined) {
    for (uint64_t i = 0; i < rawBytes; ++i) raw[i] = entry.field[i];
  } else {
    status = reader.readAt(span.position, raw, static_cast<size_t>(rawBytes));
    if (status != OVR_OK) return status;
  }
  return widenValues(reader.order, entry.type, units, raw, width, dst);
}

}  // namespace ovr
