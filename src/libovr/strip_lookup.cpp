// The strip of an IFD that starts at a given row.
//
// Fixed-height strips (rows per strip m > 0): the strip is row / m, and row must be a multiple of
// m inside the image; its index must lie inside the strip tables (a table too short for the image
// is corrupt). Strips of varying height (StripRowCounts): the row counts are added up strip by
// strip, at most once over the table, until the row is reached; it must be a strip's first row.
// The strip's rows are clamped to the end of the image. Offset and byte count come from the strip
// tables (or the tile tables serving as strips); an IFD without either is an empty stripe of 0
// bytes in the MRC profiles and corrupt elsewhere.
#include <algorithm>

#include "ovr_reader.h"

namespace ovr {

int32_t locateStrip(const OvrIfdRecord *ifd, uint32_t row, StripSpan *span) {
  *span = StripSpan{};
  const LayerRecord &rec = ifd->layer;
  if (row >= rec.height) return OVR_ERR_PARAM;
  const uint32_t m = rec.rowsPerStrip;
  const StripLayout &strips = ifd->strips;
  uint64_t index = 0;
  uint64_t rows = m;
  if (m != 0) {
    if (row % m != 0) return OVR_ERR_PARAM;
    index = row / m;
  } else {
    const OwnedArray<uint32_t> &counts = ifd->dir.stripRowCounts;
    uint64_t start = 0;
    while (index < counts.size() && start < row) start += counts[index++];
    if (start != row || index >= counts.size()) return OVR_ERR_PARAM;
    rows = counts[index];
  }
  span->rows = static_cast<uint32_t>(std::min<uint64_t>(rows, rec.height - row));
  span->index = static_cast<uint32_t>(index);
  if (strips.count == 0) {
    return isMrcProfile(ifd->page->doc->profileCode) ? OVR_OK : OVR_ERR_CORRUPT;
  }
  if (index >= strips.count) return OVR_ERR_CORRUPT;
  span->offset = strips.offsets[index];
  span->byteCount = strips.byteCounts[index];
  return OVR_OK;
}

}  // namespace ovr
