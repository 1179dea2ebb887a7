// Segment headers (ITU-T T.88 7.2), region segment information (7.4.1) and the per-type
// dispatch of segment data (types of 7.3).
#include "jbig2_segment.h"

#include "jbig2_report.h"

namespace {

// A referred-to segment number of 1, 2 or 4 bytes (T.88 7.2.5).
int32_t readRefNumber(DataSource *source, int size, uint32_t *value) {
  if (size == 4) return srcReadU32(source, value);
  if (size == 2) {
    uint16_t v = 0;
    const int32_t status = srcReadU16(source, &v);
    *value = v;
    return status;
  }
  uint8_t v = 0;
  const int32_t status = srcReadU8(source, &v);
  *value = v;
  return status;
}

// Segment number (T.88 7.2.2), header flags (7.2.3: type in bits 0-5, a 4-byte page
// association in bit 6, deferred non-retain in bit 7), referred-to segment count and retention
// flags (7.2.4: the short form of 3 count bits and 5 flag bits, or the long form when the
// count is 7), referred-to segment numbers (7.2.5), page association (7.2.6) and data length
// (7.2.7).
int32_t parseHeaderBody(DataSource *source, Jbig2Segment *seg, QtzState *state) {
  int32_t status = srcReadU32(source, &seg->number);
  uint8_t flags = 0;
  if (status == 0) status = srcReadU8(source, &flags);
  if (status != 0) return status;
  seg->type = flags & 0x3F;
  seg->flag7 = flags >> 7;
  uint8_t first = 0;
  if ((status = srcReadU8(source, &first)) != 0) return status;
  uint64_t count = first >> 5;
  size_t retentionBytes = 0;
  if (count == 7) {
    uint8_t more[3];
    size_t got = 0;
    srcRead(source, 3, more, &got);
    if (got != 3) return qtz::report(state, kJbEndOfData);
    count = (static_cast<uint64_t>(first & 0x1F) << 24) | (static_cast<uint64_t>(more[0]) << 16) |
            (static_cast<uint64_t>(more[1]) << 8) | more[2];
    retentionBytes = static_cast<size_t>((count + 1 + 7) / 8);
  }
  const int refSize = seg->number <= 256 ? 1 : seg->number <= 65536 ? 2 : 4;  // T.88 7.2.5
  // The count may claim 2^29 entries: the flag bytes and numbers must be present first.
  if (retentionBytes + count * refSize > srcLeft(source)) {
    source->pos = source->size;
    return qtz::report(state, kJbEndOfData);
  }
  seg->refCount = static_cast<int32_t>(count);
  seg->refs = jbAllocArray<int32_t>(state, count);
  seg->refRetain = jbAllocArray<uint8_t>(state, count);
  if (seg->refs == nullptr || seg->refRetain == nullptr) return qtz::report(state, kJbNoMemory);
  if (retentionBytes == 0) {
    seg->retain = first & 1;
    for (uint64_t i = 0; i < count; ++i) seg->refRetain[i] = (first >> (i + 1)) & 1;
  } else {
    const uint8_t *flagsAt = source->data + source->pos;
    seg->retain = flagsAt[0] & 1;
    for (uint64_t i = 0; i < count; ++i)
      seg->refRetain[i] = (flagsAt[(i + 1) / 8] >> ((i + 1) % 8)) & 1;
    source->pos += retentionBytes;
  }
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t ref = 0;
    if ((status = readRefNumber(source, refSize, &ref)) != 0) return status;
    if (ref >= seg->number)
      return jbReport(state, kJbBadData, "bad referenced segment number %u", ref);
    seg->refs[i] = static_cast<int32_t>(ref);
  }
  if (flags & 0x40) {
    status = srcReadU32(source, &seg->page);
  } else {
    uint8_t page = 0;
    status = srcReadU8(source, &page);
    seg->page = page;
  }
  if (status == 0) status = srcReadU32(source, &seg->dataLength);
  return status;
}

}  // namespace

int32_t parseSegmentHeader(Jb2File *stream, DataSource *source, Jbig2Segment *seg) {
  QtzState *state = stream->state;
  seg->refs = nullptr;
  seg->refRetain = nullptr;
  seg->refCount = 0;
  seg->image = nullptr;
  seg->imageOwned = 0;
  const int32_t status = parseHeaderBody(source, seg, state);
  if (status != 0) {
    jbFree(state, seg->refs);
    jbFree(state, seg->refRetain);
    seg->refs = nullptr;
    seg->refRetain = nullptr;
    seg->refCount = 0;
  }
  return status;
}

// Region segment information (T.88 7.4.1): width, height, x and y (7.4.1.1 to 7.4.1.4) and
// the flags whose bits 0-2 are the combination operator (7.4.1.5).
int32_t parseRegionInfo(Jb2File *stream, DataSource *source, Jbig2RegionInfo *region,
                        bool unknownHeight) {
  uint32_t v[4];
  uint8_t flags = 0;
  for (uint32_t &value : v) {
    const int32_t status = srcReadU32(source, &value);
    if (status != 0) return status;
  }
  const int32_t status = srcReadU8(source, &flags);
  if (status != 0) return status;
  const bool heightUnknown = unknownHeight && v[1] == 0xFFFFFFFFu;
  if (v[0] >= 0x80000000u || (v[1] >= 0x80000000u && !heightUnknown) || v[2] >= 0x80000000u ||
      v[3] >= 0x80000000u)
    return jbReport(stream->state, kJbBadData, "region size or position out of range");
  if ((flags & 7) > 4) return jbReport(stream->state, kJbBadData, "bad combination operator");
  if (flags & 0xF8) return jbReport(stream->state, kJbBadData, "bad region flags");
  region->width = static_cast<int32_t>(v[0]);
  region->height = heightUnknown ? -1 : static_cast<int32_t>(v[1]);
  region->x = static_cast<int32_t>(v[2]);
  region->y = static_cast<int32_t>(v[3]);
  region->op = flags & 7;
  return 0;
}

namespace {

int32_t parseProfiles(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **) {
  return 0;  // the data decoder reads nothing; the driver's length check does the rest
}

using ParseFn = int32_t (*)(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
using ImageFn = int32_t (*)(Jb2File *, Jbig2Segment *);
using PageFn = int32_t (*)(Jb2File *, Jbig2Segment *, QtzImage *);
using ReleaseFn = void (*)(Jbig2Segment *, QtzState *);

struct TypeEntry {
  ParseFn parse;
  ImageFn image;
  PageFn page;
  ReleaseFn release;
};

// The segment types of T.88 7.3 and the data syntax of each (7.4).
TypeEntry entryOf(uint8_t type) {
  switch (type) {
    case 0:
      return {parseSymbolDict, nullptr, nullptr, releaseSymbolDict};
    case 4:
    case 6:
    case 7:
      return {parseTextRegion, decodeTextRegionImage, decodeTextRegionOntoPage, releaseTextRegion};
    case 16:
      return {parsePatternDict, nullptr, nullptr, releasePatternDict};
    case 20:
    case 22:
    case 23:
      return {parseHalftoneRegion, decodeHalftoneRegionImage, decodeHalftoneRegionOntoPage,
              releaseHalftoneRegion};
    case 36:
    case 38:
    case 39:
      return {parseGenericRegion, decodeGenericRegionImage, decodeGenericRegionOntoPage,
              releaseGenericRegion};
    case 40:
    case 42:
    case 43:
      return {parseRefinementRegion, decodeRefinementRegionImage, decodeRefinementRegionOntoPage,
              releaseRefinementRegion};
    case 48:
      return {parsePageInfo, nullptr, nullptr, nullptr};
    case 49:
      return {parseEndOfPage, nullptr, nullptr, nullptr};
    case 50:
      return {parseEndOfStripe, nullptr, nullptr, nullptr};
    case 51:
      return {parseEndOfFile, nullptr, nullptr, nullptr};
    case 52:
      return {parseProfiles, nullptr, nullptr, nullptr};
    case 53:
      return {parseCodeTableSegment, nullptr, nullptr, releaseCodeTableSegment};
    case 62:
      return {parseExtension, nullptr, nullptr, releaseExtension};
    default:
      return {nullptr, nullptr, nullptr, nullptr};
  }
}

}  // namespace

int32_t parseSegmentData(Jb2File *stream, DataSource *source, Jbig2Segment *segment,
                         Jbig2Segment **referred) {
  const TypeEntry entry = entryOf(segment->type);
  if (entry.parse == nullptr) return jbReport(stream->state, kJbBadData, "bad segment type");
  return entry.parse(stream, source, segment, referred);
}

int32_t decodeRegionImage(Jb2File *stream, Jbig2Segment *segment) {
  const TypeEntry entry = entryOf(segment->type);
  if (entry.image == nullptr) return kJbAssert;
  return entry.image(stream, segment);
}

int32_t decodeRegionOntoPage(Jb2File *stream, Jbig2Segment *segment, QtzImage *page) {
  const TypeEntry entry = entryOf(segment->type);
  if (entry.page == nullptr) return kJbAssert;
  return entry.page(stream, segment, page);
}

void releaseSegmentData(Jbig2Segment *segment, QtzState *state) {
  jbFree(state, segment->refs);
  jbFree(state, segment->refRetain);
  segment->refs = nullptr;
  segment->refRetain = nullptr;
  if (isRegionType(segment->type) && segment->imageOwned && segment->image != nullptr) {
    QtzImage_free(segment->image);
  }
  segment->image = nullptr;
  const TypeEntry entry = entryOf(segment->type);
  if (entry.release != nullptr) entry.release(segment, state);
}

int32_t resolveReferredSegments(Jb2File *stream, Jbig2Segment *segment, QtzAdtList *active,
                                Jbig2Segment ***out) {
  *out = nullptr;
  if (segment->refCount == 0) return 0;
  auto **array = jbAllocArray<Jbig2Segment *>(stream->state, segment->refCount);
  if (array == nullptr) return qtz::report(stream->state, kJbNoMemory);
  QtzAdtListNode *from = active != nullptr ? active->head : nullptr;
  int32_t previous = -1;
  for (int32_t i = 0; i < segment->refCount; ++i) {
    const int32_t wanted = segment->refs[i];
    if (wanted < previous) from = active->head;
    QtzAdtListNode *node = from;
    while (node != nullptr &&
           static_cast<Jbig2Segment *>(node->data)->number != static_cast<uint32_t>(wanted))
      node = node->next;
    if (node == nullptr) {
      jbFree(stream->state, array);
      return jbReport(stream->state, kJbBadData, "referred-to segment %d not found", wanted);
    }
    array[i] = static_cast<Jbig2Segment *>(node->data);
    from = node;
    previous = wanted;
  }
  *out = array;
  return 0;
}

int32_t pickTableSegments(const Jbig2CodeTable **slots, const bool *wantUser, int32_t slotCount,
                          Jbig2Segment **referred, int32_t referredCount, QtzState *state) {
  int32_t next = 0;
  for (int32_t i = 0; i < referredCount; ++i) {
    if (referred[i]->type != kSegTable) continue;
    while (next < slotCount && !wantUser[next]) ++next;
    if (next == slotCount) return qtz::report(state, kJbParam);
    slots[next++] = referred[i]->u.table;
  }
  while (next < slotCount && !wantUser[next]) ++next;
  if (next != slotCount) return qtz::report(state, kJbParam);
  return 0;
}

// Contexts of a generic template: 16, 13 or 10 template pixels (T.88 6.2.5.3).
int32_t genericContextCount(int32_t tmpl) {
  return tmpl == 0 ? 65536 : tmpl == 1 ? 8192 : 1024;
}

int32_t ceilLog2(uint32_t n) {
  int32_t k = 0;
  while (k < 32 && (uint64_t{1} << k) < n) ++k;
  return k;
}

QtzBlitOp blitOpOf(uint8_t op) {
  static constexpr QtzBlitOp kOps[5] = {QTZ_BLIT_OR, QTZ_BLIT_AND, QTZ_BLIT_XOR, QTZ_BLIT_XNOR,
                                        QTZ_BLIT_REPLACE};
  return op < 5 ? kOps[op] : QTZ_BLIT_OR;
}
