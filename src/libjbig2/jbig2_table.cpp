// Code table segments (type 53; ITU-T T.88 7.4.13 and B.2): a user Huffman table. Prefix lengths
// above 32, range lengths above 31, HTLOW above HTHIGH, range lows that leave 32 bits and tables
// without codes are refused with 107; the line count is bounded by the bits the segment holds.
// Bytes after the last line are skipped with the segment.
#include "jbig2_huffman.h"
#include "jbig2_report.h"

int32_t parseCodeTableSegment(Jb2File *stream, DataSource *src, Jbig2Segment *seg,
                              Jbig2Segment **) {
  QtzState *state = stream->state;
  if (seg->refCount != 0)
    return jbReport(state, kJbBadData, "tables segment referencing another segment");
  uint8_t flags = 0;
  int32_t low = 0, high = 0;
  int32_t status = srcReadU8(src, &flags);
  if (status == 0) status = srcReadI32(src, &low);
  if (status == 0) status = srcReadI32(src, &high);
  if (status != 0) return status;
  // Code table flags (T.88 B.2): HTOOB in bit 0, HTPS - 1 in bits 1-3, HTRS - 1 in bits 4-6.
  const bool oob = flags & 1;
  const int ps = ((flags >> 1) & 7) + 1;
  const int rs = ((flags >> 4) & 7) + 1;
  if (low > high) return jbReport(state, kJbBadData, "code table HTLOW above HTHIGH");
  if (low == INT32_MIN) return jbReport(state, kJbBadData, "code table HTLOW out of range");
  const size_t bitsLeft = (std::min(src->limit, src->size) - src->pos) * 8;
  const size_t maxLines = bitsLeft / static_cast<size_t>(ps + rs) + 3;
  auto *lines = jbAllocArray<Jbig2CodeLine>(state, maxLines);
  auto *table = jbAllocArray<Jbig2CodeTable>(state, 1);
  JbitFile *bits = nullptr;
  if (lines == nullptr || table == nullptr || (status = jbitReaderOnSource(src, &bits)) != 0) {
    jbFree(state, lines);
    jbFree(state, table);
    return status != 0 ? status : qtz::report(state, kJbNoMemory);
  }
  int32_t n = 0;
  int64_t current = low;
  uint32_t pref = 0, range = 0;
  while (status == 0 && current < high) {
    if (static_cast<size_t>(n) + 3 >= maxLines) {
      status = qtz::report(state, kJbEndOfData);
      break;
    }
    status = jbitGetBits(bits, ps, &pref);
    if (status == 0) status = jbitGetBits(bits, rs, &range);
    if (status != 0) break;
    if (pref > kMaxPrefLen || range > 31) {
      status =
          jbReport(state, kJbBadData, "bad code table line (prefix %u, range %u)", pref, range);
      break;
    }
    lines[n++] = {0, static_cast<int32_t>(current), static_cast<uint8_t>(pref),
                  static_cast<uint8_t>(range), kLineNormal};
    current += int64_t{1} << range;
  }
  // Then the lower-range, upper-range and (with HTOOB) out-of-band lines' prefix lengths.
  if (status == 0 && (status = jbitGetBits(bits, ps, &pref)) == 0 && pref > 0)
    lines[n++] = {0, low - 1, static_cast<uint8_t>(pref), 32, kLineLower};
  if (status == 0 && (status = jbitGetBits(bits, ps, &pref)) == 0 && pref > 0)
    lines[n++] = {0, high, static_cast<uint8_t>(pref), 32, kLineUpper};
  if (status == 0 && oob && (status = jbitGetBits(bits, ps, &pref)) == 0)
    lines[n++] = {0, 0, static_cast<uint8_t>(pref), 0, kLineOob};
  if (status == 0 && pref > kMaxPrefLen)
    status = jbReport(state, kJbBadData, "bad code table prefix length %u", pref);
  const int32_t closeStatus = jbitCloseReader(bits);
  if (status == 0) status = closeStatus;
  // Bytes after the lines (writers may pad the data) belong to the segment: skip them.
  if (status == 0) src->pos = std::max(src->pos, std::min(src->limit, src->size));
  if (status == 0) status = buildCodeTable(table, lines, n, true, state);
  if (status != 0) {
    const bool tableOwnsLines = table->ownLines == lines;
    freeCodeTable(table, state);
    if (!tableOwnsLines) jbFree(state, lines);
    jbFree(state, table);
    return status;
  }
  seg->u.table = table;
  return 0;
}

void releaseCodeTableSegment(Jbig2Segment *seg, QtzState *state) {
  if (seg->u.table == nullptr) return;
  freeCodeTable(seg->u.table, state);
  jbFree(state, seg->u.table);
  seg->u.table = nullptr;
}
