// The strip of an IFD that starts at a given row.
//
// Fixed-height strips (rows per strip m > 0): the strip is row / m, and row must be a multiple of
// m inside the image; its index must lie inside the strip tables (a table too short for the image
// is corrupt). Strips of varying height (StripRowCounts): the first row of each strip, added up
// from the row counts when the IFD was loaded, is searched for the row; it must be a strip's
// first row.
// The strip's rows are clamped to the end of the image. Offset and byte count come from the strip
// tables (or the tile tables serving as strips); an IFD without either is an empty stripe of 0
// bytes in the MRC profiles and corrupt elsewhere.
#include <algorithm>

#include "ovr_reader_internal.h"

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
    // The first strip that starts at or after row (the first-row sums never decrease).
    const ValueArray<uint32_t> &counts = ifd->dir.stripRowCounts;
    const std::span<const uint64_t> starts(ifd->stripStarts.data(), ifd->stripStarts.size());
    index = static_cast<uint64_t>(std::lower_bound(starts.begin(), starts.end(), uint64_t{row}) -
                                  starts.begin());
    if (index >= counts.size() || index >= starts.size() || starts[index] != row)
      return OVR_ERR_PARAM;
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
