// Generic refinement region segments (types 40, 42, 43; ITU-T T.88 7.4.7): parsing, refining
// an intermediate region or the page under the region, and the procedure over caller bitmaps.
#include <cstring>

#include "jbig2_refine.h"
#include "jbig2_report.h"
#include "qtz_blat.h"

int32_t refinementContextCount(int32_t tmpl) {
  return tmpl == 0 ? 8192 : 1024;
}

int32_t checkRatPixels(const Jbig2RefineTemplate &t, QtzState *state) {
  if (t.tmpl > 1) return jbReport(state, kJbParam, "bad RAT params");
  if (t.tmpl == 0) {
    if (!(t.raty[0] < 0 || (t.raty[0] == 0 && t.ratx[0] < 0)))
      return jbReport(state, kJbParam, "bad RAT params");
  } else if (t.ratx[0] != 0 || t.ratx[1] != 0 || t.raty[0] != 0 || t.raty[1] != 0) {
    return jbReport(state, kJbParam, "bad RAT params");
  }
  return 0;
}

int32_t readRatPixels(DataSource *src, Jbig2RefineTemplate *t, size_t *bytes, QtzState *state) {
  if (t->tmpl == 0) {
    uint8_t v[4];
    size_t got = 0;
    srcRead(src, 4, v, &got);
    if (got != 4) return qtz::report(state, kJbEndOfData);
    t->ratx[0] = static_cast<int8_t>(v[0]);
    t->raty[0] = static_cast<int8_t>(v[1]);
    t->ratx[1] = static_cast<int8_t>(v[2]);
    t->raty[1] = static_cast<int8_t>(v[3]);
    if (bytes != nullptr) *bytes += 4;
  }
  return checkRatPixels(*t, state);
}

int32_t decodeRefinementBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                               const uint32_t *refRows, int32_t refWidth, int32_t refHeight,
                               int32_t refWordsPerRow, int32_t dx, int32_t dy,
                               const Jbig2RefineTemplate *t, uint8_t *cx, MqDecoder *dec,
                               QtzState *state) {
  uint8_t *own = nullptr;
  if (cx == nullptr) {
    own = jbAllocArray<uint8_t>(state, refinementContextCount(t->tmpl));
    if (own == nullptr) return qtz::report(state, kJbNoMemory);
    cx = own;
  }
  decodeRefinementWords({rows, width, height, wordsPerRow},
                        {const_cast<uint32_t *>(refRows), refWidth, refHeight, refWordsPerRow}, dx,
                        dy, *t, cx, dec);
  jbFree(state, own);
  return 0;
}

int32_t parseRefinementRegion(Jb2File *stream, DataSource *src, Jbig2Segment *seg,
                              Jbig2Segment **referred) {
  QtzState *state = stream->state;
  Jbig2RefineData &r = seg->u.refine;
  if (seg->type == 40 && seg->refCount != 1)
    return jbReport(state, kJbBadData, "intermediate refinement refers to != 1 segments");
  if (seg->type != 40 && seg->refCount > 1)
    return jbReport(state, kJbBadData, "immediate refinement refers to != (0,1) segments");
  const size_t start = src->pos;
  int32_t status = parseRegionInfo(stream, src, &seg->region);
  if (status != 0) return status;
  if (seg->refCount == 1) {
    Jbig2Segment *refined = referred[0];
    if (!isRegionType(refined->type) || isImmediateRegion(refined->type))
      return jbReport(state, kJbBadData, "refinement refers to non-intermediate region segment");
    const Jbig2RegionInfo &a = refined->region, &b = seg->region;
    if (a.width != b.width || a.height != b.height || a.x != b.x || a.y != b.y || a.op != b.op)
      return jbReport(state, kJbBadData, "refinement segment doesn't match segment it's refining");
    r.refined = refined;
  }
  uint8_t flags = 0;
  if ((status = srcReadU8(src, &flags)) != 0) return status;
  r.t.tmpl = flags & 1;
  r.t.tpgron = (flags >> 1) & 1;
  if ((status = readRatPixels(src, &r.t, nullptr, state)) != 0) return status;
  const size_t header = src->pos - start;
  if (seg->dataLength == 0xFFFFFFFFu || header > seg->dataLength)
    return qtz::report(state, kJbEndOfData);
  r.length = seg->dataLength - header;
  const int64_t height = seg->region.height;
  if (!jbMqDataCovers(r.length, r.t.tpgron ? height : height * seg->region.width))
    return jbReport(state, kJbBadData, "refinement region %dx%d too large for its %zu data bytes",
                    seg->region.width, seg->region.height, r.length);
  r.data = jbAllocArray<uint8_t>(state, r.length);
  if (r.data == nullptr) return qtz::report(state, kJbNoMemory);
  size_t got = 0;
  srcRead(src, r.length, r.data, &got);
  if (got != r.length) return qtz::report(state, kJbEndOfData);
  return 0;
}

void releaseRefinementRegion(Jbig2Segment *seg, QtzState *state) {
  jbFree(state, seg->u.refine.data);
  seg->u.refine.data = nullptr;
}

namespace {

// Refines reference into a new image of the region's size.
int32_t refineInto(Jb2File *stream, Jbig2Segment *seg, QtzImage *reference, QtzImage **out) {
  QtzState *state = stream->state;
  const Jbig2RefineData &r = seg->u.refine;
  if (!jbSizeOk(seg->region.width, seg->region.height))
    return jbReport(state, kJbBadData, "refinement region size %dx%d out of range",
                    seg->region.width, seg->region.height);
  int32_t status = jb2Charge(stream, int64_t{seg->region.width} * seg->region.height);
  if (status != 0) return status;
  QtzImage *image = nullptr;
  status = QtzImage_new(state, QTZ_IMAGE_PACKED, seg->region.width, seg->region.height, &image);
  if (status != 0) return status;
  uint8_t *cx = jbAllocArray<uint8_t>(state, refinementContextCount(r.t.tmpl));
  if (cx == nullptr) {
    QtzImage_free(image);
    return qtz::report(state, kJbNoMemory);
  }
  MqDecoder dec;
  mqDecInit(&dec, r.data, r.length, nullptr, nullptr, state);
  decodeRefinementWords(bitmapOf(image), bitmapOf(reference), 0, 0, r.t, cx, &dec);
  jbFree(state, cx);
  *out = image;
  return 0;
}

}  // namespace

int32_t decodeRefinementRegionImage(Jb2File *stream, Jbig2Segment *seg) {
  if (seg->image != nullptr) return 0;
  Jbig2Segment *refined = seg->u.refine.refined;
  if (refined == nullptr || !isRegionType(refined->type) || isImmediateRegion(refined->type))
    return kJbAssert;
  int32_t status = decodeRegionImage(stream, refined);
  if (status != 0) return status;
  QtzImage *image = nullptr;
  if ((status = refineInto(stream, seg, refined->image, &image)) != 0) return status;
  seg->image = image;
  seg->imageOwned = 1;
  return 0;
}

int32_t decodeRefinementRegionOntoPage(Jb2File *stream, Jbig2Segment *seg, QtzImage *page) {
  QtzState *state = stream->state;
  int32_t status = regionInsidePage(seg, page, state);
  if (status != 0) return status;
  if (seg->type == 40) return kJbAssert;
  if (seg->u.refine.refined != nullptr) {
    if ((status = decodeRefinementRegionImage(stream, seg)) != 0) return status;
    return QtzBlat_blitImage(page, seg->image, seg->region.x, seg->region.y,
                             blitOpOf(seg->region.op));
  }
  if (seg->region.op != kOpReplace)
    return jbReport(state, kJbBadData, "refinement segment applying to page needs REPLACE");
  if (!jbSizeOk(seg->region.width, seg->region.height))
    return jbReport(state, kJbBadData, "refinement region size out of range");
  QtzImage *reference = nullptr;
  if ((status = QtzImage_new(state, QTZ_IMAGE_PACKED, seg->region.width, seg->region.height,
                             &reference)) != 0)
    return status;
  QtzBlat_blitImageOr(reference, page, -seg->region.x, -seg->region.y);
  QtzImage *image = nullptr;
  status = refineInto(stream, seg, reference, &image);
  QtzImage_free(reference);
  if (status != 0) return status;
  status = QtzBlat_blitImage(page, image, seg->region.x, seg->region.y, QTZ_BLIT_REPLACE);
  QtzImage_free(image);
  return status;
}
