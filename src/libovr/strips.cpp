// Strip tables of an IFD (strips, or tiles serving as strips) and the merging of JPEGTables into
// JPEG strips.
#include <cstring>

#include "ovr_strips_internal.h"

namespace ovr {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;

bool isAppOrCom(uint8_t marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// The 16-bit big-endian length of the segment whose marker is at pos; 23 when it is below 2 or
// the segment does not end inside size.
int32_t segmentEnd(const uint8_t *bytes, uint64_t size, uint64_t pos, uint64_t *end) {
  if (size - pos < 4) return OVR_ERR_CORRUPT;
  const uint32_t length = static_cast<uint32_t>(bytes[pos + 2]) << 8 | bytes[pos + 3];
  if (length < 2 || length > size - pos - 2) return OVR_ERR_CORRUPT;
  *end = pos + 2 + length;
  return OVR_OK;
}

bool startsWithSoi(const uint8_t *bytes, uint64_t size) {
  return size >= 2 && bytes[0] == kMarker && bytes[1] == kSoi;
}

int32_t checkTables(const uint32_t *offsets, const uint32_t *counts, uint32_t n,
                    uint64_t fileSize) {
  for (uint32_t i = 0; i < n; ++i) {
    if (offsets[i] > fileSize || counts[i] > fileSize - offsets[i]) return OVR_ERR_CORRUPT;
  }
  return OVR_OK;
}

}  // namespace

int32_t resolveStrips(const Directory &dir, uint64_t fileSize, bool emptyAllowed,
                      StripLayout *layout) {
  *layout = StripLayout{};
  const bool strips = dir.has(Field::StripOffsets) || dir.has(Field::StripByteCounts);
  const bool tiles = dir.has(Field::TileOffsets) || dir.has(Field::TileByteCounts);
  const ValueArray<uint32_t> &offsets = strips ? dir.stripOffsets : dir.tileOffsets;
  const ValueArray<uint32_t> &counts = strips ? dir.stripByteCounts : dir.tileByteCounts;
  if (!strips && !tiles) return emptyAllowed ? OVR_OK : OVR_ERR_CORRUPT;
  // Separate sample planes, and tiles several across, are layouts the library does not read:
  // their strips would be taken for whole rows of interleaved samples.
  if (dir.planarConfiguration == 2 && dir.samplesPerPixel > 1) return OVR_ERR_UNSUPPORTED;
  if (!strips && dir.has(Field::TileWidth) && dir.tileWidth < dir.width) return OVR_ERR_UNSUPPORTED;
  if (offsets.empty() || offsets.size() != counts.size()) return OVR_ERR_CORRUPT;
  const uint64_t n = offsets.size();
  if (n > UINT32_MAX) return OVR_ERR_CORRUPT;
  if (!strips) {
    // Tiles serve as strips only when each tile row is one tile spanning the width.
    const uint32_t rows = dir.has(Field::RowsPerStrip) ? dir.rowsPerStrip : dir.tileLength;
    if (rows == 0 || n != (uint64_t{dir.height} + rows - 1) / rows) return OVR_ERR_CORRUPT;
  }
  if (dir.has(Field::StripRowCounts) && dir.stripRowCounts.size() != n) return OVR_ERR_CORRUPT;
  int32_t status = checkTables(offsets.data(), counts.data(), static_cast<uint32_t>(n), fileSize);
  if (status != OVR_OK) return status;
  *layout = StripLayout{static_cast<uint32_t>(n), offsets.data(), counts.data(), !strips};
  return OVR_OK;
}

int32_t checkJpegTables(const uint8_t *tables, uint64_t size, JpegTablesBody *body) {
  if (size < 5 || !startsWithSoi(tables, size)) return OVR_ERR_CORRUPT;
  uint64_t pos = 2;
  while (size - pos >= 2) {
    if (tables[pos] != kMarker) return OVR_ERR_CORRUPT;
    if (tables[pos + 1] == kEoi) {
      *body = JpegTablesBody{2, pos - 2};
      return OVR_OK;
    }
    int32_t status = segmentEnd(tables, size, pos, &pos);
    if (status != OVR_OK) return status;
  }
  return OVR_ERR_CORRUPT;
}

int32_t planJpegMerge(const uint8_t *strip, uint64_t size, const JpegTablesBody &body,
                      JpegMerge *plan) {
  if (!startsWithSoi(strip, size)) return OVR_ERR_CORRUPT;
  uint64_t pos = 2;
  while (size - pos >= 2 && strip[pos] == kMarker && isAppOrCom(strip[pos + 1])) {
    int32_t status = segmentEnd(strip, size, pos, &pos);
    if (status != OVR_OK) return status;
  }
  if (body.length > UINT64_MAX - size) return OVR_ERR_CORRUPT;
  *plan = JpegMerge{pos, size + body.length};
  return OVR_OK;
}

void applyJpegMerge(const JpegMerge &plan, const uint8_t *strip, uint64_t size,
                    const uint8_t *tables, const JpegTablesBody &body, uint8_t *out) {
  std::memcpy(out, strip, plan.insertAt);
  std::memcpy(out + plan.insertAt, tables + body.offset, body.length);
  std::memcpy(out + plan.insertAt + body.length, strip + plan.insertAt, size - plan.insertAt);
}

}  // namespace ovr
