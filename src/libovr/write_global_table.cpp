// The global data table chain of a document being written: each block of global data gets an
// entry {block length, block offset, kind 1, 0, 0}. A free entry (block length 0) of a table
// already written is used first; otherwise a table of one entry is appended at the padded end
// (u16 1, the zeroed entry, u32 next 0) and linked into the previous table's next field or, for
// the first table, into the global parameters IFD's 34689 value (12 when that value was never
// written). An entry's index is its position over the whole chain.
#include "ovr_shared_data_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

// Appends an empty one-entry table and links it to the end of the chain.
int32_t appendTable(OvrDocument &doc, uint32_t *offset) {
  OvrWriteDoc &w = *doc.writer;
  OvrStream &stream = *doc.stream;
  if (doc.globalTables.empty() && !w.globalTablePatch.present()) return OVR_ERR_INTERNAL;
  uint8_t bytes[2 + kGlobalEntrySize + 4] = {};
  store16(bytes, 1, kWriteOrder);
  if (doc.globalTables.push(GlobalTable{0, 1, 0}) != OVR_OK) return OVR_ERR_NO_MEMORY;
  if (w.tableBlockLengths.push(0) != OVR_OK) {
    doc.globalTables.erase(doc.globalTables.size() - 1);
    return OVR_ERR_NO_MEMORY;
  }
  const uint64_t last = doc.globalTables.size() - 1;
  const ByteRange piece{bytes, sizeof bytes};
  int32_t status = appendAligned(stream, std::span(&piece, 1), offset);
  if (status == OVR_OK && last == 0) {
    status = patch32(stream, w.globalTablePatch.value, *offset);
  } else if (status == OVR_OK) {
    GlobalTable &previous = doc.globalTables[last - 1];
    status = patch32(stream, globalEntryPos(previous.offset, previous.count), *offset);
    if (status == OVR_OK) previous.next = *offset;
  }
  if (status != OVR_OK) {
    doc.globalTables.erase(last);
    w.tableBlockLengths.erase(last);
    return status;
  }
  doc.globalTables[last].offset = *offset;
  if (last == 0) {
    doc.hasGlobalTable = true;
    doc.globalTableOffset = *offset;
  }
  return OVR_OK;
}

}  // namespace

int32_t ovrAddGlobalTableEntry(OvrDocument &doc, uint32_t blockLength, uint32_t blockOffset,
                               uint32_t *index) {
  if (!(doc.state & kDocWriting)) return OVR_ERR_SEQUENCE;
  if (doc.writer == nullptr) return OVR_ERR_INTERNAL;
  OvrWriteDoc &w = *doc.writer;
  uint64_t at = 0;
  while (at < w.tableBlockLengths.size() && w.tableBlockLengths[at] != 0) ++at;
  if (at > UINT32_MAX) return OVR_ERR_INTERNAL;
  if (at == w.tableBlockLengths.size()) {
    uint32_t offset = 0;
    int32_t status = appendTable(doc, &offset);
    if (status != OVR_OK) return status;
  }
  uint8_t bytes[kGlobalEntrySize];
  encodeGlobalEntry(kWriteOrder, GlobalEntry{blockLength, blockOffset, kGlobalBlockKind, 0, 0},
                    bytes);
  OvrStream &stream = *doc.stream;
  int32_t status =
      writeAt(stream, globalEntryPos(doc.globalTables[at].offset, 0), bytes, sizeof bytes);
  if (status != OVR_OK) return status;
  w.tableBlockLengths[at] = blockLength;
  *index = static_cast<uint32_t>(at);
  return OVR_OK;
}

}  // namespace ovr
