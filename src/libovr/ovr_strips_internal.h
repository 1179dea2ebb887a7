// Strips of an IFD and JPEG strips with shared tables.
//
// Strip tables: StripOffsets and StripByteCounts, whose counts must agree; without them the tile
// tables TileOffsets and TileByteCounts serve as strips, and since a strip spans the whole width
// their count must also equal the number of tile rows, ceil(ImageLength / TileLength). Tiles
// narrower than the image (several across) and separate sample planes (PlanarConfiguration 2
// with more than one sample) are layouts the library does not read: 6. StripRowCounts, when
// present, gives one row count per strip. Every strip must lie inside the file. An IFD with
// neither table is an empty stripe where the document's profile allows one (the MRC profiles),
// else corrupt. Other failures: 23.
//
// JPEGTables: SOI, marker segments with 16-bit big-endian lengths of at least 2 that stay inside,
// then EOI, at least 5 bytes in all. Merging them into a strip keeps the strip's SOI and its
// APP0-APP15 and COM segments and inserts the tables without their SOI and EOI in front of the
// first other segment; a strip not starting with SOI or with a bad segment length is corrupt.
#ifndef OVR_STRIPS_H
#define OVR_STRIPS_H

#include <cstdint>

#include "ovr_tags_internal.h"

namespace ovr {

struct StripLayout {
  uint32_t count = 0;  // strips (0 for an empty stripe)
  const uint32_t *offsets = nullptr;
  const uint32_t *byteCounts = nullptr;
  bool fromTiles = false;
};
int32_t resolveStrips(const Directory &dir, uint64_t fileSize, bool emptyAllowed,
                      StripLayout *layout);

// The part of a JPEGTables value that goes into strips: [offset, offset + length).
struct JpegTablesBody {
  uint64_t offset = 0;
  uint64_t length = 0;
};
int32_t checkJpegTables(const uint8_t *tables, uint64_t size, JpegTablesBody *body);

struct JpegMerge {
  uint64_t insertAt = 0;    // strip bytes before the tables
  uint64_t mergedSize = 0;  // strip size + table body length
};
// Plans the merge of the checked tables body into a strip of `size` bytes.
int32_t planJpegMerge(const uint8_t *strip, uint64_t size, const JpegTablesBody &body,
                      JpegMerge *plan);
// Writes the merged strip (plan.mergedSize bytes) to out, which must not overlap the inputs.
void applyJpegMerge(const JpegMerge &plan, const uint8_t *strip, uint64_t size,
                    const uint8_t *tables, const JpegTablesBody &body, uint8_t *out);

}  // namespace ovr

#endif
