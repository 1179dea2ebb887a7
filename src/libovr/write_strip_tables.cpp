// Strips and strip tables of an IFD being written.
//
// Fixed heights (rows per strip m > 0): the directory holds zero-filled StripOffsets and
// StripByteCounts of ceil(height / m) elements; strip i = firstRow / m is appended at the padded
// end and its two elements patched (inside the entries when there is one strip), and the tables
// in the IFD record follow. A strip must start at a multiple of m and hold min(m, height -
// firstRow) rows, so that it fills exactly one element of the tables.
//
// Varying heights (m = 0): strips must come in order (each starts where the last one ended); the
// strips are listed with their rows, and once they cover the height, or when the IFD ends with
// at least one strip, StripOffsets, StripByteCounts and StripRowCounts are written (inside their
// entries for one strip, else each at the padded end) and their entries' counts and values are
// patched.
//
// A strip must lie inside the image: firstRow < height and firstRow + rows <= height (2);
// its byte count must fit the 32-bit tables (2). A strip that fails to be written leaves the
// IFD's tables and strip list as they were.
#include "ovr_format_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

int32_t writeTable(OvrStream &stream, EntryPatch &patch, const OwnedArray<uint32_t> &values) {
  if (!patch.present()) return OVR_ERR_INTERNAL;
  const uint32_t count = static_cast<uint32_t>(values.size());
  uint64_t valuePos = patch.entry + 8;
  int32_t status = OVR_OK;
  if (count == 1) {
    status = patch32(stream, valuePos, values[0]);
  } else {
    uint32_t at = 0;
    status = appendUnits(stream, kTypeLong, values.data(), count, &at);
    if (status == OVR_OK) status = patch32(stream, valuePos, at);
    valuePos = at;
  }
  if (status == OVR_OK) status = patch32(stream, patch.entry + 4, count);
  if (status == OVR_OK) patch.value = valuePos;
  return status;
}

}  // namespace

int32_t prepareDirectoryTables(OvrIfdRecord &ifd) {
  const Allocator &alloc = ifd.dir.alloc;
  if (ifd.role == kRolePrimary && isMrcProfile(ifd.page->doc->profileCode) &&
      ifd.dir.subIfds.empty() && ifd.dir.allocate(ifd.dir.subIfds, 1) != OVR_OK) {
    return OVR_ERR_NO_MEMORY;
  }
  const uint64_t strips = fixedStripCount(ifd.layer);
  if (strips == 0 || !ifd.dir.stripOffsets.empty()) return OVR_OK;
  if (strips > UINT32_MAX / 4) return OVR_ERR_PARAM;
  OwnedArray<uint32_t> offsets;
  OwnedArray<uint32_t> counts;
  if (offsets.allocate(alloc, strips) != OVR_OK || counts.allocate(alloc, strips) != OVR_OK) {
    return OVR_ERR_NO_MEMORY;
  }
  ifd.dir.set(ifd.dir.stripOffsets, std::move(offsets));
  ifd.dir.set(ifd.dir.stripByteCounts, std::move(counts));
  return OVR_OK;
}

int32_t appendStrip(OvrIfdRecord &ifd, uint32_t firstRow, uint32_t rows,
                    std::span<const ByteRange> pieces) {
  const LayerRecord &layer = ifd.layer;
  OvrWriteIfd &w = *ifd.writer;
  if (rows == 0 || firstRow >= layer.height || uint64_t{firstRow} + rows > layer.height) {
    return OVR_ERR_PARAM;
  }
  uint64_t size = 0;
  for (const ByteRange &piece : pieces) {
    if (piece.data == nullptr && piece.size != 0) return OVR_ERR_PARAM;
    size += piece.size;
  }
  if (size > UINT32_MAX) return OVR_ERR_PARAM;
  const uint32_t m = layer.rowsPerStrip;
  if (m > 0) {
    const uint32_t expected = layer.height - firstRow < m ? layer.height - firstRow : m;
    if (firstRow % m != 0 || rows != expected) return OVR_ERR_PARAM;
  } else {
    if (w.runTablesWritten || firstRow != w.runRows) return OVR_ERR_PARAM;
    if (w.runs.push(StripRun{}) != OVR_OK) return OVR_ERR_NO_MEMORY;
  }
  uint32_t offset = 0;
  int32_t status = appendAligned(*ifd.page->doc->stream, pieces, &offset);
  const uint32_t bytes = static_cast<uint32_t>(size);
  if (status == OVR_OK && m > 0) status = ovrPatchStripTables(ifd, firstRow / m, offset, bytes);
  if (m == 0 && status != OVR_OK) w.runs.erase(w.runs.size() - 1);
  if (status != OVR_OK) return status;
  ++w.stripsWritten;
  if (m > 0) return OVR_OK;
  w.runs[w.runs.size() - 1] = StripRun{offset, bytes, rows};
  w.runRows += rows;
  return w.runRows == layer.height ? ovrWriteStripTables(ifd) : OVR_OK;
}

int32_t ovrPatchStripTables(OvrIfdRecord &ifd, uint32_t index, uint32_t offset, uint32_t bytes) {
  OvrWriteIfd &w = *ifd.writer;
  if (!w.stripOffsets.present() || !w.stripByteCounts.present() ||
      index >= ifd.dir.stripOffsets.size()) {
    return OVR_ERR_INTERNAL;
  }
  OvrStream &stream = *ifd.page->doc->stream;
  int32_t status = patch32(stream, w.stripOffsets.value + 4ull * index, offset);
  if (status == OVR_OK) status = patch32(stream, w.stripByteCounts.value + 4ull * index, bytes);
  if (status != OVR_OK) return status;
  ifd.dir.stripOffsets[index] = offset;
  ifd.dir.stripByteCounts[index] = bytes;
  return OVR_OK;
}

int32_t ovrWriteStripTables(OvrIfdRecord &ifd) {
  OvrWriteIfd &w = *ifd.writer;
  const uint64_t n = w.runs.size();
  if (n == 0 || w.runTablesWritten) return OVR_ERR_INTERNAL;
  const Allocator &alloc = ifd.dir.alloc;
  OwnedArray<uint32_t> offsets;
  OwnedArray<uint32_t> counts;
  OwnedArray<uint32_t> rows;
  if (offsets.allocate(alloc, n) != OVR_OK || counts.allocate(alloc, n) != OVR_OK ||
      rows.allocate(alloc, n) != OVR_OK) {
    return OVR_ERR_NO_MEMORY;
  }
  for (uint64_t i = 0; i < n; ++i) {
    offsets[i] = w.runs[i].offset;
    counts[i] = w.runs[i].bytes;
    rows[i] = w.runs[i].rows;
  }
  OvrStream &stream = *ifd.page->doc->stream;
  int32_t status = writeTable(stream, w.stripOffsets, offsets);
  if (status == OVR_OK) status = writeTable(stream, w.stripByteCounts, counts);
  if (status == OVR_OK) status = writeTable(stream, w.stripRowCounts, rows);
  if (status != OVR_OK) return status;
  ifd.dir.set(ifd.dir.stripOffsets, std::move(offsets));
  ifd.dir.set(ifd.dir.stripByteCounts, std::move(counts));
  ifd.dir.set(ifd.dir.stripRowCounts, std::move(rows));
  w.runTablesWritten = true;
  return OVR_OK;
}

}  // namespace ovr
