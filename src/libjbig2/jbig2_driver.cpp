// The decoder driver: reading segments, the active list with retention, the decode step with
// its consumed-length check, composition of regions onto the page, and the page, stripe and
// extension handlers. Segments follow one another as in the embedded organisation of
// ITU-T T.88 (header of 7.2, data of 7.4); pages are composed as 8.2 describes.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "jbig2_decoder.h"
#include "jbig2_report.h"
#include "qtz_blat.h"
#include "qtz_err.h"

namespace {

// The segment types of T.88 7.3.
const char *segmentName(uint8_t type) {
  switch (type) {
    case 0:
      return "Symbol dictionary";
    case 4:
      return "Intermediate symbol region";
    case 6:
      return "Immediate symbol region";
    case 7:
      return "Immediate lossless symbol region";
    case 16:
      return "Halftone dictionary";
    case 20:
      return "Intermediate halftone region";
    case 22:
      return "Immediate halftone region";
    case 23:
      return "Immediate lossless halftone region";
    case 36:
      return "Intermediate generic region";
    case 38:
      return "Immediate generic region";
    case 39:
      return "Immediate lossless generic region";
    case 40:
      return "Intermediate generic refinement region";
    case 42:
      return "Immediate generic refinement region";
    case 43:
      return "Immediate lossless generic refinement region";
    case 48:
      return "Page information";
    case 49:
      return "End of page";
    case 50:
      return "End of stripe";
    case 51:
      return "End of file";
    case 52:
      return "Profiles";
    case 53:
      return "Table";
    case 62:
      return "Extension";
    default:
      return "INVALID";
  }
}

// Bytes every segment of a type carries before anything of variable length: its data header
// of T.88 7.4 (the region segment information field of 7.4.1 is 17 bytes).
uint32_t fixedDataPart(uint8_t type) {
  switch (type) {
    case 0:
      return 10;
    case 4:
    case 6:
    case 7:
      return 17 + 2 + 4;
    case 16:
      return 7;
    case 20:
    case 22:
    case 23:
      return 17 + 1 + 16 + 4;
    case 36:
    case 38:
    case 39:
      return 17 + 1;
    case 40:
    case 42:
    case 43:
      return 17 + 1;
    case 48:
      return 19;
    case 50:
      return 4;
    case 53:
      return 9;
    case 62:
      return 4;
    default:
      return 0;
  }
}

void releaseSegment(Jbig2Segment *seg, QtzState *state) {
  releaseSegmentData(seg, state);
  jbFree(state, seg);
}

// Drops one reference; the segment goes when it was the last.
void dropSegment(Jbig2Segment *seg, QtzState *state) {
  if (seg->references <= 1)
    releaseSegment(seg, state);
  else
    seg->references--;
}

void printSegmentHeader(const Jbig2Segment *seg) {
  std::fprintf(stderr, "segnum %2ld:\tdata length %4d\tpagenum %2ld\tnrefsegs %2ld (",
               static_cast<long>(seg->number), static_cast<int>(seg->dataLength),
               static_cast<long>(seg->page), static_cast<long>(seg->refCount));
  for (int32_t i = 0; i < seg->refCount; ++i)
    std::fprintf(stderr, "%s%ld%c", i ? " " : "", static_cast<long>(seg->refs[i]),
                 seg->refRetain[i] ? 'T' : 'F');
  std::fprintf(stderr, ")\tsegtype %2d (%s)\t%c%c\n", seg->type, segmentName(seg->type),
               seg->retain ? 'T' : 'F', seg->flag7 ? 'T' : 'F');
}

int32_t readSegment(Jbig2Decoder *d, Jbig2Segment **out) {
  auto *seg = jbAllocArray<Jbig2Segment>(d->state, 1);
  if (seg == nullptr) return qtz::report(d->state, kJbNoMemory);
  seg->references = 1;
  const int32_t status = parseSegmentHeader(d->stream, d->source, seg);
  if (status != 0) {
    jbFree(d->state, seg);
    return status;
  }
  if (seg->page > static_cast<uint32_t>(d->highestPage))
    std::fprintf(stderr, "segment has pagenum %d > %d\n", static_cast<int>(seg->page),
                 d->highestPage);
  if (d->verbose) printSegmentHeader(seg);
  *out = seg;
  return 0;
}

int32_t decodeSegmentData(Jbig2Decoder *d, Jbig2Segment *seg) {
  jbLog(d->state, d->verbose, "decoding segment %d\n", static_cast<int>(seg->number));
  DataSource *src = d->source;
  // An unknown data length (0xFFFFFFFF, T.88 7.2.7): the type's parser finds the end itself.
  const bool unknownLength = seg->dataLength == 0xFFFFFFFFu;
  if (!unknownLength) {
    if (seg->dataLength < fixedDataPart(seg->type))
      return jbReport(d->state, kJbBadData, "segment data length %u too short for type %d",
                      seg->dataLength, seg->type);
    if (seg->dataLength > srcLeft(src)) return qtz::report(d->state, kJbEndOfData);
  }
  Jbig2Segment **referred = nullptr;
  int32_t status = resolveReferredSegments(d->stream, seg, d->active, &referred);
  if (status != 0) return status;
  const size_t start = src->pos;
  src->limit = unknownLength ? src->size : start + seg->dataLength;
  status = parseSegmentData(d->stream, src, seg, referred);
  src->limit = src->size;
  jbFree(d->state, referred);
  if (status != 0) return status;
  const size_t consumed = src->pos - start;
  if (consumed != seg->dataLength)
    return jbReport(d->state, kJbDecode, "segment claimed %d bytes but consumed %d\n",
                    static_cast<int>(seg->dataLength), static_cast<int>(consumed));
  return 0;
}

int32_t pageOp(uint8_t op) {
  return blitOpOf(op);
}

int32_t composeRegion(Jbig2Decoder *d, Jbig2Segment *seg) {
  const uint8_t type = seg->type;
  if (!isRegionType(type)) return kJbAssert;
  // Page flags (T.88 7.4.8.5) that deny intermediate or refinement regions the page then holds are
  // common in files other readers show: such regions are decoded and counted for one warning.
  if ((!isImmediateRegion(type) && !d->info.auxBuffers) ||
      (isRefinementType(type) && !d->info.refinements))
    d->deniedRegions++;
  // Combination operators: the region's (7.4.1.5) must be the page's default unless the page
  // flags allow an override (7.4.8.5).
  if (!d->info.opOverride && seg->region.op != d->info.defaultOp)
    return jbReport(d->state, kJbDecode,
                    "region combination operator doesn't match page combination operator\n"
                    "on a page where they must match\n");
  if (d->info.striped) {  // page striping information, T.88 7.4.8.6
    const int64_t top = seg->region.y;
    const int64_t bottom = top + seg->region.height - 1;
    if (top < d->lastStripeEnd)
      return jbReport(d->state, kJbDecode, "region goes into previous stripe\n");
    if (bottom > int64_t{d->lastStripeEnd} + d->info.maxStripe + 1)
      return jbReport(d->state, kJbDecode, "region makes stripe too high\n");
    if (bottom > d->lowestRow) d->lowestRow = static_cast<int32_t>(bottom);
  }
  if (!isImmediateRegion(type)) return decodeRegionImage(d->stream, seg);
  if (d->deferRegions) {
    int32_t status = decodeRegionImage(d->stream, seg);
    if (status != 0) return status;
    auto *entry = jbAllocArray<Jbig2DeferredRegion>(d->state, 1);
    if (entry == nullptr) return qtz::report(d->state, kJbNoMemory);
    entry->width = seg->region.width;
    entry->height = seg->image->hdr.height;
    entry->x = seg->region.x;
    entry->y = seg->region.y;
    entry->op = seg->region.op;
    // The entry takes the region's image over: an immediate region is never referred to.
    entry->image = seg->image;
    seg->image = nullptr;
    seg->imageOwned = 0;
    if ((d->deferred == nullptr && QtzAdt_liNew(&d->deferred, d->state) != 0) ||
        QtzAdt_liAdd(d->deferred, entry, nullptr) != 0) {
      QtzImage_free(entry->image);
      jbFree(d->state, entry);
      return qtz::report(d->state, kJbNoMemory);
    }
    return 0;
  }
  if (d->page == nullptr) return qtz::report(d->state, kJbDecode);
  const int32_t status = decodeRegionOntoPage(d->stream, seg, d->page);
  d->stream->pageBlank = 0;
  return status;
}

// Charges a page of width x height to the decode call's work before it is allocated.
int32_t chargePage(Jbig2Decoder *d, int64_t width, int64_t height) {
  return jb2Charge(d->stream, width * height / kJbPagePixelsPerWork);
}

void releasePage(Jbig2Decoder *d) {
  if (d->page != nullptr) d->freePage(d->state, &d->page);
  d->page = nullptr;
}

// Page information (T.88 7.4.8): allocates the page, or defers its regions when a striped page
// leaves its height unknown (0xFFFFFFFF, 7.4.8.2) until its end-of-stripe segments say it.
int32_t handlePageInfo(Jbig2Decoder *d, Jbig2Segment *seg) {
  int32_t status = decodeSegmentData(d, seg);
  if (status != 0) {
    releasePage(d);
    return status;
  }
  const Jbig2PageInfo &info = seg->u.pageInfo;
  if (d->composePage) {
    // A further page-information segment starts a new page: the old one is given back.
    releasePage(d);
    if (info.striped && info.height == 0xFFFFFFFFu) {
      d->deferRegions = 1;
      if (d->deferred == nullptr && QtzAdt_liNew(&d->deferred, d->state) != 0)
        return qtz::report(d->state, kJbNoMemory);
    } else {
      if (!jbSizeOk(info.width, info.height))
        return jbReport(d->state, kJbBadData, "page size %ux%u out of range", info.width,
                        info.height);
      d->deferRegions = 0;
      if ((status = chargePage(d, info.width, info.height)) != 0) return status;
      d->allocPage(d->state, static_cast<int32_t>(info.width), static_cast<int32_t>(info.height),
                   &d->page, &d->cookie);
      if (d->page == nullptr) return qtz::report(d->state, kJbNoMemory);
      if (info.defaultPixel) QtzBlat_setImageBits(d->page);
      d->stream->pageBlank = !info.defaultPixel;
    }
  } else if (info.width > kJbMaxSide ||
             (info.height > kJbMaxSide && !(info.striped && info.height == 0xFFFFFFFFu))) {
    return jbReport(d->state, kJbBadData, "page size %ux%u out of range", info.width, info.height);
  }
  d->currentPage = seg->page;
  d->info = info;
  d->deniedRegions = 0;
  d->lastStripeEnd = -1;
  d->lowestRow = -1;
  return 0;
}

// End of stripe (T.88 7.4.10): the row the stripe ends on.
int32_t handleEndOfStripe(Jbig2Decoder *d, Jbig2Segment *seg) {
  if (!d->info.striped)
    return jbReport(d->state, kJbDecode, "non-striped page has EOStripe segment\n");
  int32_t status = decodeSegmentData(d, seg);
  if (status != 0) return status;
  const int64_t r = seg->u.endRow;
  const int64_t l = d->lastStripeEnd;
  if (r < l) return jbReport(d->state, kJbDecode, "stripe goes backwards\n");
  // As for regions, a stripe may hold maximum stripe size + 1 rows: counted from the row after
  // the previous end (-1 at the top of the page), a stripe of m + 1 rows ends m + 1 rows on.
  if (r - l > int64_t{d->info.maxStripe} + 1)
    return jbReport(d->state, kJbDecode, "stripe size is too large\n");
  if (r < d->lowestRow)
    return jbReport(d->state, kJbDecode, "stripe doesn't include all regions within stripe\n");
  d->lastStripeEnd = static_cast<int32_t>(r);
  return 0;
}

void freeDeferred(Jbig2Decoder *d) {
  if (d->deferred == nullptr) return;
  for (QtzAdtListNode *n = d->deferred->head; n != nullptr; n = n->next) {
    auto *entry = static_cast<Jbig2DeferredRegion *>(n->data);
    QtzImage_free(entry->image);
    jbFree(d->state, entry);
  }
  QtzAdt_liFree(d->deferred);
  d->deferred = nullptr;
}

int32_t composeDeferred(Jbig2Decoder *d) {
  int64_t width = d->info.width;
  int64_t height = 0;
  if (d->info.striped) {
    height = int64_t{d->lastStripeEnd} + 1;
  } else {
    for (QtzAdtListNode *n = d->deferred ? d->deferred->head : nullptr; n; n = n->next) {
      auto *entry = static_cast<Jbig2DeferredRegion *>(n->data);
      if (entry->image == nullptr) return qtz::report(d->state, kJbDecode);
      width = entry->image->hdr.width;
      height += entry->image->hdr.height;
    }
  }
  if (!jbSizeOk(width, height))
    return jbReport(d->state, kJbBadData, "page size %lldx%lld out of range",
                    static_cast<long long>(width), static_cast<long long>(height));
  releasePage(d);
  const int32_t charged = chargePage(d, width, height);
  if (charged != 0) return charged;
  d->allocPage(d->state, static_cast<int32_t>(width), static_cast<int32_t>(height), &d->page,
               &d->cookie);
  if (d->page == nullptr) return qtz::report(d->state, kJbNoMemory);
  if (d->info.defaultPixel) QtzBlat_setImageBits(d->page);
  int32_t status = 0;
  for (QtzAdtListNode *n = d->deferred ? d->deferred->head : nullptr; n && status == 0;
       n = n->next) {
    auto *entry = static_cast<Jbig2DeferredRegion *>(n->data);
    status = QtzBlat_blitImage(d->page, entry->image, entry->x, entry->y,
                               static_cast<QtzBlitOp>(pageOp(entry->op)));
  }
  freeDeferred(d);
  d->deferRegions = 0;
  return status;
}

// End of page (T.88 7.4.9).
int32_t handleEndOfPage(Jbig2Decoder *d, Jbig2Segment *seg) {
  int32_t status = decodeSegmentData(d, seg);
  if (status != 0 || !d->composePage) return status;
  if (d->deferRegions && (status = composeDeferred(d)) != 0) return status;
  if (!d->noDump && d->page != nullptr) {
    char name[1024];
    std::snprintf(name, sizeof name, d->dumpFormat, static_cast<int>(d->currentPage) - 1);
    status = QtzImage_save(d->page, name);
    if (status != 0) return status;
    releasePage(d);
  }
  return 0;
}

// Extension segments (T.88 7.4.14); comments (type 0x20000000) are printed when verbose.
int32_t handleExtension(Jbig2Decoder *d, Jbig2Segment *seg) {
  const int32_t status = decodeSegmentData(d, seg);
  if (status != 0) return status;
  const Jbig2ExtensionData &ext = seg->u.extension;
  if (ext.type == 0x20000000u && d->verbose) {
    std::printf("ASCII comment in segment %d\n", static_cast<int>(seg->number));
    for (int32_t i = 0; i < ext.pairs; ++i) std::printf("%s\t|%s\n", ext.names[i], ext.values[i]);
  }
  return 0;
}

// Dictionaries (T.88 7.4.2, 7.4.4), end of file (7.4.11), profiles (7.4.12) and code tables
// (7.4.13) are only decoded; regions (7.4.3, 7.4.5 to 7.4.7) are composed onto the page too.
int32_t runHandler(Jbig2Decoder *d, Jbig2Segment *seg) {
  const uint8_t type = seg->type;
  switch (type) {
    case 0:
    case 16:
    case 51:
    case 52:
    case 53:
      return decodeSegmentData(d, seg);
    case 4:
    case 6:
    case 7:
    case 20:
    case 22:
    case 23:
    case 36:
    case 38:
    case 39: {
      const int32_t status = decodeSegmentData(d, seg);
      if (status != 0 || !d->composePage) return status;
      return composeRegion(d, seg);
    }
    case 40:
    case 42:
    case 43: {
      const int32_t status = decodeSegmentData(d, seg);
      if (status != 0) return status;
      if (d->info.striped)
        return jbReport(d->state, kJbParam, "unimplemented combo of refinement and striping\n");
      return d->composePage ? composeRegion(d, seg) : 0;
    }
    case 48:
      return handlePageInfo(d, seg);
    case 49:
      return handleEndOfPage(d, seg);
    case 50:
      return handleEndOfStripe(d, seg);
    case 62:
      return handleExtension(d, seg);
    default:
      return jbReport(d->state, kJbBadData, "bad segment type %d\n", type);
  }
}

// Drops the segments of pages (page association other than 0, T.88 7.2.6) from the active list:
// what the next page may refer to are the global segments alone.
void dropPageSegments(Jbig2Decoder *d) {
  QtzAdtListNode *node = d->active->head;
  while (node != nullptr) {
    QtzAdtListNode *next = node->next;
    auto *seg = static_cast<Jbig2Segment *>(node->data);
    if (seg->page != 0) {
      jbLog(d->state, d->verbose, "deleting segment %d from active list\n",
            static_cast<int>(seg->number));
      QtzAdt_liRem(node);
      dropSegment(seg, d->state);
    }
    node = next;
  }
}

// Runs the handler and keeps the segment on the active list. Retention flags (T.88 7.2.4) are not
// trusted (encoders in use clear them on segments that later segments still refer to): every
// segment stays until its page ends (with keep-all, until the decoder is freed). The segment is
// owned by this call from here on.
int32_t dispatchSegment(Jbig2Decoder *d, Jbig2Segment *seg) {
  int32_t status = runHandler(d, seg);
  if (status != 0) {
    releaseSegment(seg, d->state);
    return status;
  }
  jbLog(d->state, d->verbose, "adding segment %d to active list\n", static_cast<int>(seg->number));
  if (QtzAdt_liAdd(d->active, seg, nullptr) != 0) {
    releaseSegment(seg, d->state);
    return qtz::report(d->state, kJbNoMemory);
  }
  if (!d->keepAll && seg->type == kSegEndOfPage) dropPageSegments(d);
  return 0;
}

int32_t beginCall(Jbig2Decoder *d, const uint8_t *data, size_t length) {
  memSourceFree(d->source);
  d->source = nullptr;
  jb2FreeStream(d->stream);
  d->stream = nullptr;
  int32_t status = memSourceNew(data, length, d->state, &d->source);
  if (status == 0) status = jb2NewStream(nullptr, nullptr, d->state, &d->stream);
  if (status == 0)
    d->stream->pixelBudget = d->pixelLimit < 0 ? -1 : std::min(d->pixelLimit, jbWorkBound(length));
  return status;
}

void endCall(Jbig2Decoder *d) {
  memSourceFree(d->source);
  d->source = nullptr;
}

void *seenKey(uint32_t number) {
  return reinterpret_cast<void *>(static_cast<uintptr_t>(number) + 1);
}

}  // namespace

int32_t defaultAllocPage(QtzState *state, int32_t width, int32_t height, QtzImage **page, void **) {
  if (state == nullptr || page == nullptr) return qtz::report(state, kJbNull);
  return QtzImage_newAligned(state, QTZ_IMAGE_PACKED, width, height, page);
}

int32_t defaultFreePage(QtzState *, QtzImage **page) {
  if (page != nullptr) {
    QtzImage_free(*page);
    *page = nullptr;
  }
  return 0;
}

namespace {
char *copyString(QtzState *state, const char *text) {
  const size_t n = std::strlen(text) + 1;
  char *copy = jbAllocArray<char>(state, n);
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}
}  // namespace

int32_t QtzJbig2_newDecoder(Jbig2Decoder **out, uint8_t verbose, const char *dumpName,
                            const char *dumpFormat, uint8_t noDump, int32_t highestPage,
                            uint8_t keepAll, uint8_t composePage, Jbig2PageAllocFn allocPage,
                            Jbig2PageFreeFn freePage, QtzState *state) {
  if (out == nullptr || state == nullptr ||
      (!noDump && (dumpName == nullptr || dumpFormat == nullptr)))
    return qtz::report(state, kJbNull);
  auto *d = jbAllocArray<Jbig2Decoder>(state, 1);
  if (d == nullptr) return qtz::report(state, kJbNoMemory);
  d->state = state;
  d->verbose = verbose;
  d->noDump = noDump;
  d->highestPage = highestPage;
  d->keepAll = keepAll;
  d->composePage = composePage;
  d->allocPage = allocPage != nullptr ? allocPage : defaultAllocPage;
  d->freePage = freePage != nullptr ? freePage : defaultFreePage;
  d->deferRegions = 1;
  d->pixelLimit = kJbig2DefaultPixelLimit;
  d->lastStripeEnd = -1;
  d->lowestRow = -1;
  bool ok = QtzAdt_liNew(&d->active, state) == 0 && QtzAdt_liNew(&d->seen, state) == 0;
  if (ok && !noDump) {
    d->dumpName = copyString(state, dumpName);
    d->dumpFormat = copyString(state, dumpFormat);
    ok = d->dumpName != nullptr && d->dumpFormat != nullptr;
  }
  if (!ok) {
    if (d->active) QtzAdt_liFree(d->active);
    if (d->seen) QtzAdt_liFree(d->seen);
    jbFree(state, d->dumpName);
    jbFree(state, d->dumpFormat);
    jbFree(state, d);
    return qtz::report(state, kJbNoMemory);
  }
  *out = d;
  return 0;
}

void QtzJbig2_freeDecoder(Jbig2Decoder **handle) {
  if (handle == nullptr || *handle == nullptr) return;
  Jbig2Decoder *d = *handle;
  jb2FreeStream(d->stream);
  memSourceFree(d->source);
  for (QtzAdtListNode *n = d->active->head; n != nullptr; n = n->next)
    dropSegment(static_cast<Jbig2Segment *>(n->data), d->state);
  QtzAdt_liFree(d->active);
  QtzAdt_liFree(d->seen);
  freeDeferred(d);
  releasePage(d);
  jbFree(d->state, d->dumpName);
  jbFree(d->state, d->dumpFormat);
  jbFree(d->state, d);
  *handle = nullptr;
}

int32_t QtzJbig2_attachGlobals(Jbig2Decoder *d, Jbig2Decoder *globals) {
  if (d == nullptr || globals == nullptr) return kJbNull;
  for (QtzAdtListNode *n = globals->active->head; n != nullptr; n = n->next) {
    const int32_t status = QtzAdt_liAdd(d->active, n->data, nullptr);
    if (status != 0) return status;
    static_cast<Jbig2Segment *>(n->data)->references++;
  }
  return 0;
}

int32_t QtzJbig2_decodeGlobals(Jbig2Decoder *d, const uint8_t *data, size_t length) {
  if (d == nullptr || (data == nullptr && length != 0)) return kJbNull;
  int32_t status = beginCall(d, data, length);
  bool repeat = false;
  while (status == 0) {
    int32_t peek = 0;
    if (srcPeekByte(d->source, &peek) != 0) break;
    Jbig2Segment *seg = nullptr;
    if ((status = readSegment(d, &seg)) != 0) break;
    const uint8_t type = seg->type;
    QtzAdtListNode *found = nullptr;
    QtzAdt_liIsIn(d->seen, seenKey(seg->number), &found);
    if (found != nullptr) repeat = true;
    if (repeat) {
      status = seg->dataLength == 0xFFFFFFFFu ? jbReport(d->state, kJbBadData, "unknown length")
                                              : srcSkip(d->source, seg->dataLength);
      releaseSegment(seg, d->state);
    } else if (QtzAdt_liAdd(d->seen, seenKey(seg->number), nullptr) != 0) {
      releaseSegment(seg, d->state);
      status = qtz::report(d->state, kJbNoMemory);
    } else {
      status = dispatchSegment(d, seg);
    }
    if (type == kSegSymbolDict) break;
  }
  endCall(d);
  return status;
}

int32_t QtzJbig2_decodePage(Jbig2Decoder *d, const uint8_t *data, size_t length, void **cookie) {
  if (d == nullptr || (data == nullptr && length != 0)) return kJbNull;
  int32_t status = beginCall(d, data, length);
  while (status == 0) {
    int32_t peek = 0;
    if (srcPeekByte(d->source, &peek) != 0) break;
    Jbig2Segment *seg = nullptr;
    if ((status = readSegment(d, &seg)) != 0) break;
    const uint8_t type = seg->type;
    if (type == kSegEndOfFile) {
      releaseSegment(seg, d->state);
      break;
    }
    status = dispatchSegment(d, seg);
    if (type == kSegEndOfPage) break;
  }
  endCall(d);
  if (d->deniedRegions != 0)
    jbReport(d->state, QTZ_MSG_WARNING,
             "%d intermediate or refinement regions decoded on a page whose flags deny them\n",
             static_cast<int>(d->deniedRegions));
  d->deniedRegions = 0;
  if (status == 0 && cookie != nullptr) *cookie = d->cookie;
  return status;
}
