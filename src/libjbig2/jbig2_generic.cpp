// Generic region segments (types 36, 38, 39; ITU-T T.88 7.4.6): parsing, including immediate
// regions of unknown data length, and decoding into the region's own image or onto the page.
//
// A region of unknown length (data length 0xFFFFFFFF, T.88 7.2.7) ends with 0xFF 0xAC (arithmetic)
// or 0x00 0x00 (MMR) and a 4-byte row count that replaces the height. The arithmetic data keeps its
// marker; the MMR data ends before the end sequence.
#include <bit>
#include <cstring>

#include "jbig2_generic.h"
#include "jbig2_report.h"

int32_t checkAtPixels(const Jbig2GenericTemplate &t, QtzState *state) {
  const int n = t.tmpl == 0 ? 4 : 1;
  for (int i = 0; i < n; ++i) {
    if (!(t.aty[i] < 0 || (t.aty[i] == 0 && t.atx[i] < 0)))
      return jbReport(state, kJbParam, "bad AT params");
  }
  for (int i = n; i < 4; ++i) {
    if (t.atx[i] != 0 || t.aty[i] != 0) return jbReport(state, kJbParam, "bad AT params");
  }
  return 0;
}

namespace {

int32_t readAtPixels(DataSource *src, Jbig2GenericTemplate *t, QtzState *state) {
  const int n = t->tmpl == 0 ? 4 : 1;
  for (int i = 0; i < n; ++i) {
    uint8_t x = 0, y = 0;
    int32_t status = srcReadU8(src, &x);
    if (status == 0) status = srcReadU8(src, &y);
    if (status != 0) return status;
    t->atx[i] = static_cast<int8_t>(x);
    t->aty[i] = static_cast<int8_t>(y);
  }
  return checkAtPixels(*t, state);
}

// Refuses a region larger than its coded data can describe (before anything of its size is
// made): an arithmetic region codes a decision per pixel (per line with TPGDON), MMR data
// a mode code per line at least.
int32_t checkGenericDataCovers(const Jbig2Segment *seg, QtzState *state) {
  const Jbig2GenericData &g = seg->u.generic;
  const int64_t height = seg->region.height;
  const bool covered = g.mmr        ? jbMmrDataCovers(g.length, height)
                       : g.t.tpgdon ? jbMqDataCovers(g.length, height)
                                    : jbMqDataCovers(g.length, height * seg->region.width);
  if (!covered)
    return jbReport(state, kJbBadData, "generic region %dx%d too large for its %zu data bytes",
                    seg->region.width, seg->region.height, g.length);
  return 0;
}

// Finds the end sequence of a region of unknown length in the unread bytes.
int32_t readUnknownLength(Jb2File *stream, DataSource *src, Jbig2Segment *seg, size_t headerBytes) {
  QtzState *state = stream->state;
  Jbig2GenericData &g = seg->u.generic;
  const uint8_t *start = src->data + src->pos;
  const size_t left = srcLeft(src);
  const uint8_t first = g.mmr ? 0x00 : 0xFF;
  const uint8_t second = g.mmr ? 0x00 : 0xAC;
  size_t i = 0;
  for (; i + 6 <= left; ++i)
    if (start[i] == first && start[i + 1] == second) break;
  if (i + 6 > left) {
    src->pos = src->size;
    return qtz::report(state, kJbEndOfData);
  }
  const uint8_t *count = start + i + 2;
  const uint32_t rows = (static_cast<uint32_t>(count[0]) << 24) |
                        (static_cast<uint32_t>(count[1]) << 16) |
                        (static_cast<uint32_t>(count[2]) << 8) | count[3];
  if (rows >= 0x80000000u ||
      (seg->region.height >= 0 && rows > static_cast<uint32_t>(seg->region.height)))
    return jbReport(state, kJbBadData, "bad row count %u in generic region", rows);
  g.length = g.mmr ? i : i + 2;
  seg->region.height = static_cast<int32_t>(rows);
  const int32_t status = checkGenericDataCovers(seg, state);
  if (status != 0) return status;
  g.data = jbAllocArray<uint8_t>(state, g.length);
  if (g.data == nullptr) return qtz::report(state, kJbNoMemory);
  std::memcpy(g.data, start, g.length);
  src->pos += i + 6;
  seg->dataLength = static_cast<uint32_t>(headerBytes + i + 6);
  return 0;
}

}  // namespace

int32_t parseGenericRegion(Jb2File *stream, DataSource *src, Jbig2Segment *seg, Jbig2Segment **) {
  QtzState *state = stream->state;
  if (seg->refCount != 0)
    return jbReport(state, kJbBadData, "generic region segment can't refer to anything");
  const size_t start = src->pos;
  const bool unknown = seg->dataLength == 0xFFFFFFFFu;
  int32_t status = parseRegionInfo(stream, src, &seg->region, unknown);
  if (status != 0) return status;
  Jbig2GenericData &g = seg->u.generic;
  uint8_t flags = 0;
  if ((status = srcReadU8(src, &flags)) != 0) return status;
  g.mmr = flags & 1;
  g.t.tmpl = (flags >> 1) & 3;
  g.t.tpgdon = (flags >> 3) & 1;
  if (!g.mmr && (status = readAtPixels(src, &g.t, state)) != 0) return status;
  const size_t header = src->pos - start;
  if (unknown) {
    if (seg->type == 36)
      return jbReport(state, kJbBadData, "non-immediate streaming generic region");
    return readUnknownLength(stream, src, seg, header);
  }
  if (seg->region.height < 0) return jbReport(state, kJbBadData, "bad region height");
  if (header > seg->dataLength) return qtz::report(state, kJbEndOfData);
  g.length = seg->dataLength - header;
  if ((status = checkGenericDataCovers(seg, state)) != 0) return status;
  g.data = jbAllocArray<uint8_t>(state, g.length);
  if (g.data == nullptr) return qtz::report(state, kJbNoMemory);
  size_t got = 0;
  srcRead(src, g.length, g.data, &got);
  if (got != g.length) return qtz::report(state, kJbEndOfData);
  return 0;
}

void releaseGenericRegion(Jbig2Segment *seg, QtzState *state) {
  jbFree(state, seg->u.generic.data);
  seg->u.generic.data = nullptr;
}

void decodeGenericTemplate(QtzImage *image, const Jbig2GenericTemplate *t, uint8_t *cx,
                           MqDecoder *dec, const QtzImage *skip) {
  const Jbig2Bitmap bitmap = bitmapOf(image);
  if (skip != nullptr) {
    const Jbig2Bitmap skipMap = bitmapOf(const_cast<QtzImage *>(skip));
    decodeGenericWords(bitmap, *t, cx, dec, &skipMap);
  } else {
    decodeGenericWords(bitmap, *t, cx, dec, nullptr);
  }
}

int32_t decodeGenericBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                            const Jbig2GenericTemplate *t, uint8_t *cx, MqDecoder *dec,
                            QtzState *state) {
  uint8_t *own = nullptr;
  if (cx == nullptr) {
    own = jbAllocArray<uint8_t>(state, genericContextCount(t->tmpl));
    if (own == nullptr) return qtz::report(state, kJbNoMemory);
    cx = own;
  }
  decodeGenericWords({rows, width, height, wordsPerRow}, *t, cx, dec, nullptr);
  jbFree(state, own);
  return 0;
}

namespace {

// The bytes an MMR decoder left: nothing, or the rest of an EOFB (two EOLs, 000000000001
// twice) and its padding: at most 3 bytes holding at most two 1-bits.
bool onlyEofbLeft(const uint8_t *bytes, size_t n) {
  if (n > 3) return false;
  int ones = 0;
  for (size_t i = 0; i < n; ++i) ones += std::popcount(bytes[i]);
  return ones <= 2;
}

}  // namespace

int32_t decodeGenericRegionImage(Jb2File *stream, Jbig2Segment *seg) {
  if (seg->image != nullptr) return 0;
  QtzState *state = stream->state;
  const Jbig2GenericData &g = seg->u.generic;
  if (!jbSizeOk(seg->region.width, seg->region.height))
    return jbReport(state, kJbBadData, "generic region size %dx%d out of range", seg->region.width,
                    seg->region.height);
  int32_t status = jb2Charge(stream, int64_t{seg->region.width} * seg->region.height);
  if (status != 0) return status;
  QtzImage *image = nullptr;
  status = QtzImage_new(state, QTZ_IMAGE_PACKED, seg->region.width, seg->region.height, &image);
  if (status != 0) return status;
  const Jbig2Bitmap bitmap = bitmapOf(image);
  if (g.mmr) {
    size_t left = 0;
    status = decodeMmrBuffer(bitmap.words, bitmap.width, bitmap.height, bitmap.wordsPerRow, g.data,
                             g.length, &left, state);
    if (status == 0 && !onlyEofbLeft(g.data + (g.length - left), left))
      status = jbReport(state, kJbBadData, "not all MMR-encoded data consumed");
  } else {
    uint8_t *cx = jbAllocArray<uint8_t>(state, genericContextCount(g.t.tmpl));
    if (cx == nullptr) {
      status = qtz::report(state, kJbNoMemory);
    } else {
      MqDecoder dec;
      mqDecInit(&dec, g.data, g.length, nullptr, nullptr, state);
      decodeGenericWords(bitmap, g.t, cx, &dec, nullptr);
      jbFree(state, cx);
    }
  }
  if (status != 0) {
    QtzImage_free(image);
    return status;
  }
  seg->image = image;
  seg->imageOwned = 1;
  return 0;
}

int32_t regionInsidePage(const Jbig2Segment *seg, const QtzImage *page, QtzState *state) {
  if (int64_t{seg->region.x} + seg->region.width > page->hdr.width ||
      int64_t{seg->region.y} + seg->region.height > page->hdr.height)
    return jbReport(state, kJbBadData, "region extends off page");
  return 0;
}

namespace {

// On a page that is still all 0, OR, XOR and REPLACE all leave the region's own pixels, so an
// arithmetic region starting at a word boundary whose last word ends at a word boundary or at
// the page's right edge (whose padding bits are 0) is decoded straight into the page rows:
// the decoder then reads exactly the pixels it would read in its own image.
bool decodesInPlace(const Jb2File *stream, const Jbig2Segment *seg, const QtzImage *page) {
  const Jbig2RegionInfo &r = seg->region;
  return stream->pageBlank && !seg->u.generic.mmr && seg->image == nullptr &&
         (r.op == kOpOr || r.op == kOpXor || r.op == kOpReplace) && r.x % 32 == 0 &&
         (r.width % 32 == 0 || r.x + r.width == page->hdr.width) && page->hdr.height > 0 &&
         jbSizeOk(r.width, r.height);
}

}  // namespace

int32_t decodeGenericRegionOntoPage(Jb2File *stream, Jbig2Segment *seg, QtzImage *page) {
  int32_t status = regionInsidePage(seg, page, stream->state);
  if (status != 0) return status;
  if (seg->type == 36) return kJbAssert;
  if (decodesInPlace(stream, seg, page)) {
    const Jbig2GenericData &g = seg->u.generic;
    if ((status = jb2Charge(stream, int64_t{seg->region.width} * seg->region.height)) != 0)
      return status;
    uint8_t *cx = jbAllocArray<uint8_t>(stream->state, genericContextCount(g.t.tmpl));
    if (cx == nullptr) return qtz::report(stream->state, kJbNoMemory);
    const Jbig2Bitmap p = bitmapOf(page);
    MqDecoder dec;
    mqDecInit(&dec, g.data, g.length, nullptr, nullptr, stream->state);
    decodeGenericWords({p.words + int64_t{seg->region.y} * p.wordsPerRow + seg->region.x / 32,
                        seg->region.width, seg->region.height, p.wordsPerRow},
                       g.t, cx, &dec, nullptr);
    jbFree(stream->state, cx);
    return 0;
  }
  if ((status = decodeGenericRegionImage(stream, seg)) != 0) return status;
  return QtzBlat_blitImage(page, seg->image, seg->region.x, seg->region.y,
                           blitOpOf(seg->region.op));
}
