// Coding halftone regions as JBIG2 (encodeHalftoneJBig2): for each selected region a pattern
// dictionary of its cell's dot patterns (ITU-T T.88 7.4.4) and an immediate lossless halftone
// region (type 23, T.88 7.4.5) that refers to it alone.
//
// The region's grey image (one 4- or 8-bit value per cell, from compressHalftoneToGray) becomes
// the grid of pattern indices, 16 bits per value; the grid is placed at the region's corner
// (HGX = HGY = 0) with vector HRX = cell x 256, HRY = 0, so that grid cell (m, n) is drawn at
// (n x cell, m x cell) of the region; combination OR, default pixel 0.
//
// Failures: 10003 (not reported) for a missing list, stream or state, lists of different
// lengths, a region whose grey image is not width / cell x height / cell or whose grey level
// count does not fit its cell; 1 (reported) without memory; the segment writers' statuses
// otherwise. Bytes written before a failure stay in the stream's sink.
#include <cstring>

#include "halftone_internal.h"
#include "jbig2_halftone_encode.h"
#include "jbig2_seg_write.h"
#include "qtz_err.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace {

// The grey image's values, one 16-bit index per cell, row by row.
int32_t gridOf(QtzState *state, Pixr *grey, uint16_t **out) {
  const size_t count = static_cast<size_t>(grey->width) * static_cast<size_t>(grey->height);
  qtz::OwnedBlock<uint16_t> grid(
      state, static_cast<uint16_t *>(qtz::allocate(state, count * sizeof(uint16_t))));
  if (!grid) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const uint8_t *base = grey->framedData + static_cast<size_t>(grey->frame) * grey->bytesPerRow +
                        grey->frame * grey->depth / 8;
  const int32_t depth = grey->depth, perWord = 32 / depth;
  const uint32_t mask = (1u << depth) - 1;
  uint16_t *to = grid.get();
  for (int32_t y = 0; y < grey->height; ++y) {
    const uint8_t *row = base + static_cast<size_t>(y) * grey->bytesPerRow;
    for (int32_t x = 0; x < grey->width; ++x) {
      uint32_t w;
      std::memcpy(&w, row + 4 * static_cast<size_t>(x / perWord), 4);
      *to++ = static_cast<uint16_t>((w >> (32 - depth * (x % perWord + 1))) & mask);
    }
  }
  *out = grid.release();
  return 0;
}

// The dictionary and the region of one halftone region.
int32_t codeRegion(Jb2File *stream, const QtzHalftoneRegion &region, Pixr *grey, int32_t page,
                   QtzState *state) {
  const int32_t cell = region.cellSize, count = region.greyLevels;
  if (cell > htr::kMaxCell || grey == nullptr || grey->width != region.width / cell ||
      grey->height != region.height / cell || (grey->depth != 4 && grey->depth != 8))
    return QTZ_ERR_ASSERT;
  uint16_t *gridBlock = nullptr;
  int32_t status = gridOf(state, grey, &gridBlock);
  if (status != 0) return status;
  qtz::OwnedBlock<uint16_t> grid(state, gridBlock);

  uint32_t *bits = nullptr;
  if ((status = htr::buildPatterns(state, cell, count, &bits)) != 0) return status;
  qtz::OwnedBlock<uint32_t> patternBits(state, bits);
  Jbig2Pattern patterns[htr::kMaxCell * htr::kMaxCell + 1];
  for (int32_t k = 0; k < count; ++k) patterns[k] = {bits + k * cell, 1};

  Jbig2PatternDictRecord dict{};
  dict.header.page = page;
  dict.count = count;
  dict.width = static_cast<uint16_t>(cell);
  dict.height = static_cast<uint16_t>(cell);
  dict.patterns = patterns;
  if ((status = encodePatternDict(stream, &dict)) != 0) return status;
  patternBits.reset();

  Jbig2HalftoneRecord record{};
  record.header.type = 23;
  record.header.page = page;
  record.region = {region.width, region.height, region.x, region.y, kOpOr};
  record.grid = grid.get();
  record.gridWidth = static_cast<uint32_t>(grey->width);
  record.gridHeight = static_cast<uint32_t>(grey->height);
  record.hrx = cell * 256;
  const Jbig2SegHeader *refs[] = {&dict.header};
  status = segAddReferences(stream, &record.header, refs, 1);
  if (status == 0) status = encodeHalftoneRegion(stream, &record, &dict);
  freeSegReferences(stream, &record.header);
  return status;
}

}  // namespace

extern "C" int32_t encodeHalftoneJBig2(QtzAdtList **regions, QtzAdtList *greys, Jb2File *stream,
                                       int32_t key, int32_t page, QtzState *state) {
  if (regions == nullptr || *regions == nullptr || greys == nullptr || stream == nullptr ||
      state == nullptr || (*regions)->count != greys->count)
    return QTZ_ERR_ASSERT;
  QtzAdtListNode *g = greys->head;
  for (QtzAdtListNode *r = (*regions)->head; r != nullptr; r = r->next, g = g->next) {
    const auto &region = *static_cast<const QtzHalftoneRegion *>(r->data);
    if (region.cellSize <= 0 || region.key != key) continue;
    const int32_t status = codeRegion(stream, region, static_cast<Pixr *>(g->data), page, state);
    if (status != 0) return status;
  }
  return 0;
}
