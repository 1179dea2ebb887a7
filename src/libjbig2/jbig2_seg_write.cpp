// Segment headers, region information and the page, end-of-page, end-of-stripe and end-of-file
// segments, written in the layouts of ITU-T T.88 7.2, 7.4.1 and 7.4.8 to 7.4.11.
#include "jbig2_seg_write.h"

#include "jbig2_report.h"

namespace {

int32_t refused(Jb2File *stream, const char *what) {
  return jbReport(stream->state, kJbAssert, "segment field out of range: %s", what);
}

// Size in bytes of each referred-to number (T.88 7.2.5).
int refNumberSize(int32_t number) {
  return number <= 256 ? 1 : number <= 65536 ? 2 : 4;
}

int32_t checkHeader(Jb2File *stream, const Jbig2SegHeader *h) {
  if (h->number < 0) return refused(stream, "segment number");
  if (h->type > 63) return refused(stream, "segment type");
  if (h->page < 0) return refused(stream, "page association");
  if (h->refCount < 0 || h->refCount > 0x1FFFFFFF) return refused(stream, "referred-to count");
  if (h->refCount > 0 && (h->refs == nullptr || h->retain == nullptr))
    return refused(stream, "referred-to list missing");
  for (int32_t i = 0; i < h->refCount; ++i)
    if (h->refs[i] < 0 || h->refs[i] >= h->number)
      return refused(stream, "referred-to number not below the segment's own");
  return 0;
}

// Retention byte k of the long form: byte 0 holds the segment's own flag in bit 0 and
// referred-to flags 0 to 6 in bits 1 to 7; byte k > 0 holds flags 8k - 1 to 8k + 6.
uint8_t retentionByte(const Jbig2SegHeader *h, int32_t k) {
  uint8_t byte = 0;
  for (int bit = 0; bit < 8; ++bit) {
    const int64_t index = int64_t{k} * 8 + bit - 1;
    if (index < 0)
      byte |= h->retainThis ? 1 : 0;
    else if (index < h->refCount && h->retain[index] != 0)
      byte |= static_cast<uint8_t>(1u << bit);
  }
  return byte;
}

int32_t writeCountAndRetention(DataSink *sink, const Jbig2SegHeader *h) {
  if (h->refCount <= 4) {
    uint8_t byte = static_cast<uint8_t>((h->refCount << 5) | (h->retainThis ? 1 : 0));
    for (int32_t i = 0; i < h->refCount; ++i)
      if (h->retain[i] != 0) byte |= static_cast<uint8_t>(1u << (i + 1));
    return sinkPutBigEndian(sink, byte, 1);
  }
  int32_t status = sinkPutBigEndian(sink, 0xE0000000u | static_cast<uint32_t>(h->refCount), 4);
  const int32_t bytes = static_cast<int32_t>((int64_t{h->refCount} + 1 + 7) / 8);
  for (int32_t k = 0; k < bytes && status == 0; ++k)
    status = sinkPutBigEndian(sink, retentionByte(h, k), 1);
  return status;
}

// The common start of the four segments written here: number and flags of a segment without
// referred-to segments.
int32_t beginFixedSegment(Jb2File *stream, Jbig2SegHeader *h, uint8_t type) {
  h->type = type;
  h->refCount = 0;
  return beginSegment(stream, h, 0);
}

int32_t writeHeaderOnly(Jb2File *stream, Jbig2SegHeader *h, uint8_t type) {
  const int32_t status = beginFixedSegment(stream, h, type);
  return status != 0 ? status : endSegmentData(stream, h);
}

}  // namespace

int32_t sinkPutBigEndian(DataSink *sink, uint32_t value, int n) {
  uint8_t bytes[4];
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (n - 1 - i)));
  size_t written = 0;
  const int32_t status = sinkWrite(sink, static_cast<size_t>(n), bytes, &written);
  if (status != 0) return status;
  return written == static_cast<size_t>(n) ? 0 : qtz::report(sink->state, kJbShortWrite);
}

int32_t writeSegmentHeader(Jb2File *stream, const Jbig2SegHeader *h) {
  int32_t status = checkHeader(stream, h);
  if (status != 0) return status;
  DataSink *sink = stream->sink;
  const uint8_t flags =
      static_cast<uint8_t>(h->type | (h->page > 255 ? 0x40 : 0) | (h->deferred ? 0x80 : 0));
  status = sinkPutBigEndian(sink, static_cast<uint32_t>(h->number), 4);
  if (status == 0) status = sinkPutBigEndian(sink, flags, 1);
  if (status == 0) status = writeCountAndRetention(sink, h);
  const int refSize = refNumberSize(h->number);
  for (int32_t i = 0; i < h->refCount && status == 0; ++i)
    status = sinkPutBigEndian(sink, static_cast<uint32_t>(h->refs[i]), refSize);
  if (status == 0)
    status = sinkPutBigEndian(sink, static_cast<uint32_t>(h->page), h->page > 255 ? 4 : 1);
  if (status == 0) status = sinkReserve(sink, 4);
  return status;
}

int32_t beginSegment(Jb2File *stream, Jbig2SegHeader *h, uint8_t retain) {
  h->number = jb2NextSegmentNumber(stream);
  h->retainThis = retain;
  h->deferred = 0;
  const int32_t status = writeSegmentHeader(stream, h);
  if (status == 0) sinkResetCount(stream->sink);
  return status;
}

int32_t writeSegmentLength(Jb2File *stream, const Jbig2SegHeader *h) {
  const uint32_t n = h->dataLength;
  const uint8_t bytes[4] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                            static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  return sinkWriteAtMark(stream->sink, 4, bytes);
}

int32_t endSegmentData(Jb2File *stream, Jbig2SegHeader *h) {
  if (stream->sink->count > UINT32_MAX) return refused(stream, "segment data length");
  h->dataLength = static_cast<uint32_t>(stream->sink->count);
  return writeSegmentLength(stream, h);
}

int32_t segAddReferences(Jb2File *stream, Jbig2SegHeader *h, const Jbig2SegHeader *const *segments,
                         int32_t n) {
  if (n < 0 || h->refCount < 0 || (h->refCount > 0 && (h->refs == nullptr || h->retain == nullptr)))
    return refused(stream, "referred-to list");
  if (n == 0) return 0;
  const int64_t total = int64_t{h->refCount} + n;
  if (total > 0x1FFFFFFF) return refused(stream, "referred-to count");
  QtzState *state = stream->state;
  auto *refs = static_cast<int32_t *>(
      qtz::resize(state, h->refs, static_cast<size_t>(total) * sizeof(int32_t)));
  if (refs == nullptr) return qtz::report(state, kJbNoMemory);
  h->refs = refs;
  auto *retain = static_cast<uint8_t *>(qtz::resize(state, h->retain, static_cast<size_t>(total)));
  if (retain == nullptr) return qtz::report(state, kJbNoMemory);
  h->retain = retain;
  for (int32_t i = 0; i < n; ++i) {
    refs[h->refCount + i] = segments[i]->number;
    retain[h->refCount + i] = 0;
  }
  h->refCount = static_cast<int32_t>(total);
  return 0;
}

void freeSegReferences(Jb2File *stream, Jbig2SegHeader *h) {
  jbFree(stream->state, h->refs);
  jbFree(stream->state, h->retain);
  h->refs = nullptr;
  h->retain = nullptr;
  h->refCount = 0;
}

int32_t writeRegionInfo(Jb2File *stream, DataSink *sink, const Jbig2RegionInfo *r) {
  if (r->width < 0 || r->height < 0 || r->x < 0 || r->y < 0)
    return refused(stream, "region size or position");
  if (r->op > 4) return refused(stream, "combination operator");
  int32_t status = 0;
  for (const int32_t field : {r->width, r->height, r->x, r->y})
    if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(field), 4);
  if (status == 0) status = sinkPutBigEndian(sink, r->op, 1);
  return status;
}

int32_t writePageInfo(Jb2File *stream, Jbig2PageRecord *page) {
  const Jbig2PageInfo &info = page->info;
  if (page->header.page < 1) return refused(stream, "page association of page information");
  if (info.defaultOp > 3) return refused(stream, "default combination operator");
  if (info.maxStripe > 0x7FFF) return refused(stream, "maximum stripe size");
  int32_t status = beginFixedSegment(stream, &page->header, kSegPageInfo);
  if (status != 0) return status;
  DataSink *sink = stream->sink;
  for (const uint32_t field : {info.width, info.height, info.xres, info.yres})
    if (status == 0) status = sinkPutBigEndian(sink, field, 4);
  const uint8_t flags = static_cast<uint8_t>(
      (info.lossless ? 1 : 0) | (info.refinements ? 2 : 0) | (info.defaultPixel ? 4 : 0) |
      (info.defaultOp << 3) | (info.auxBuffers ? 0x20 : 0) | (info.opOverride ? 0x40 : 0));
  if (status == 0) status = sinkPutBigEndian(sink, flags, 1);
  const uint32_t striping = info.striped ? 0x8000u | info.maxStripe : 0;
  if (status == 0) status = sinkPutBigEndian(sink, striping, 2);
  if (status == 0) status = endSegmentData(stream, &page->header);
  return status;
}

int32_t writeEndOfPage(Jb2File *stream, Jbig2SegHeader *h) {
  return writeHeaderOnly(stream, h, kSegEndOfPage);
}

int32_t writeEndOfFile(Jb2File *stream, Jbig2SegHeader *h) {
  return writeHeaderOnly(stream, h, kSegEndOfFile);
}

int32_t writeEndOfStripe(Jb2File *stream, Jbig2EndOfStripeRecord *record) {
  if (record->header.page < 1) return refused(stream, "page association of end of stripe");
  if (record->endRow < 0) return refused(stream, "end row");
  int32_t status = beginFixedSegment(stream, &record->header, kSegEndOfStripe);
  if (status != 0) return status;
  status = sinkPutBigEndian(stream->sink, static_cast<uint32_t>(record->endRow), 4);
  if (status == 0) status = endSegmentData(stream, &record->header);
  return status;
}
