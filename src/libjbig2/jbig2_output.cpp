// The output handle of the document encoder's JBIG2 data: opening and closing it, the coding
// options of its mode, page information, end of stripe, end of page, immediate generic
// regions, and the hand-over of the bytes written so far with a fresh sink whose segment
// numbers run on.
//
// Resolutions become pixels per metre (dpi x 39.37007874015748 + 0.5, truncated); a value that
// does not fit 32 bits gives 2. A page whose colour flag is 0 is declared striped with the
// maximum stripe size height - 1, capped at the 15 bits the field holds. MMR-coded generic
// regions are written band by band, leaving out white rows at their ends and cutting them where
// a white row follows a row of two or more black runs, which a common reader's MMR decoder
// draws with that row's runs. A hand-over makes the
// new sink and stream before it takes the old one apart, so a failure leaves a handle that can
// still be closed.
#include <cstring>

#include "jbig2_generic.h"
#include "jbig2_generic_encode.h"
#include "jbig2_output_handle.h"
#include "jbig2_report.h"
#include "jbig2_seg_write.h"
#include "pxl_image.h"
#include "qtz_owners_internal.h"

namespace {

// Defaults of the stream, then the bytes the mode sets (see the header of jbig2_output.h).
void applyMode(Jb2Options *o, int32_t mode) {
  uint8_t *b = o->bytes;
  if (mode == 3) {
    b[0] = 1, b[13] = 1;
    b[1] = 1, b[2] = 0, b[14] = 1, b[15] = 0;
    b[16] = 1, b[17] = 1;
    b[3] = 2;
    b[4] = 2, b[8] = 0xFF;  // AT pixel 1 = (2, -1)
    b[12] = 0;
    return;
  }
  b[0] = 0, b[13] = 0;
  if (mode == 1) {
    b[1] = 0, b[2] = 1, b[14] = 0, b[15] = 1;
    b[16] = 1, b[17] = 1;
  } else {
    b[1] = 1, b[2] = 0, b[14] = 1, b[15] = 0;
    b[16] = 0, b[17] = 0;
  }
}

// A new memory sink and a stream over it with the mode's options.
int32_t newStream(QtzState *state, int32_t mode, Jb2File **out) {
  DataSink *sink = nullptr;
  int32_t status = memSinkNew(state, &sink);
  if (status != 0) return status;
  Jb2File *stream = nullptr;
  if ((status = jb2NewStream(nullptr, sink, state, &stream)) != 0) {
    QtzAdtList *blocks = nullptr;
    memSinkClose(sink, &blocks);
    memSinkFreeBlocks(state, blocks);
    return status;
  }
  setModeOptions(stream, mode);
  *out = stream;
  return 0;
}

// Closes the stream's sink and frees the stream; *blocks (when given) receives the sink's
// blocks, else they are freed unread.
int32_t endStream(Jb2File *stream, QtzAdtList **blocks) {
  QtzState *state = stream->state;
  QtzAdtList *list = nullptr;
  const int32_t status = memSinkClose(stream->sink, &list);
  jb2FreeStream(stream);
  if (blocks != nullptr && status == 0) {
    *blocks = list;
  } else {
    memSinkFreeBlocks(state, list);
  }
  return status;
}

int32_t pixelsPerMetre(QtzState *state, int32_t dpi, uint32_t *out) {
  const double ppm = static_cast<double>(dpi) * 39.37007874015748 + 0.5;
  if (ppm < 0.0 || ppm >= 4294967296.0)
    return jbReport(state, kJbParam, "page information: resolution %d dpi", dpi);
  *out = static_cast<uint32_t>(ppm);
  return 0;
}

}  // namespace

void setModeOptions(Jb2File *stream, int32_t mode) {
  applyMode(jb2GetOptions(stream), mode);
}

void freeDictList(QtzState *state, QtzAdtList **list) {
  if (*list == nullptr) return;
  for (QtzAdtListNode *node = (*list)->head; node != nullptr; node = node->next) {
    auto *dict = static_cast<Jbig2SymbolDictRecord *>(node->data);
    jbFree(state, dict->header.refs);
    jbFree(state, dict->header.retain);
    jbFree(state, dict->symbols);
    jbFree(state, dict);
  }
  QtzAdt_liFree(*list);
  *list = nullptr;
}

void freeSectionDicts(QtzJb2Output *handle) {
  freeDictList(handle->state, &handle->globalDicts);
  jbFree(handle->state, handle->globalIndex);
  handle->globalIndex = nullptr;
  handle->globalSymbols = 0;
}

int32_t QtzJb2_outOpen(const void *optionBlock, QtzState *state, int32_t mode, int32_t,
                       uint8_t singlePage, QtzJb2Output **handle, void **user) {
  if (handle == nullptr) return qtz::report(state, kJbNull);
  qtz::OwnedBlock<QtzJb2Output> out(state, jbAllocArray<QtzJb2Output>(state, 1));
  if (!out) return qtz::report(state, kJbNoMemory);
  const int32_t status = newStream(state, mode, &out->stream);
  if (status != 0) return status;
  out->optionBlock = optionBlock;
  out->state = state;
  out->mode = mode;
  out->singlePage = singlePage;
  if (user != nullptr) *user = nullptr;
  *handle = out.release();
  return 0;
}

int32_t QtzJb2_outClose(QtzJb2Output *handle, void *) {
  if (handle == nullptr) return 0;
  QtzState *state = handle->state;
  Jbig2SegHeader end{};
  int32_t status = writeEndOfFile(handle->stream, &end);
  const int32_t closed = endStream(handle->stream, nullptr);
  if (status == 0) status = closed;
  freeSectionDicts(handle);
  freeDictList(state, &handle->pageDicts);
  jbFree(state, handle);
  return status;
}

int32_t QtzJb2_outEndOfPage(QtzJb2Output *handle, void *) {
  if (handle->singlePage) return 0;
  Jbig2SegHeader end{};
  end.page = handle->pageNumber;
  return writeEndOfPage(handle->stream, &end);
}

int32_t QtzJb2_outFree(void *dictionary, QtzJb2Output *handle, void *) {
  freeSectionDicts(handle);
  jbFree(handle->state, dictionary);
  return 0;
}

void jbig2FillOutOps(TclyOutOps *ops) {
  ops->open = QtzJb2_outOpen;
  ops->close = QtzJb2_outClose;
  ops->endOfPage = QtzJb2_outEndOfPage;
  ops->unused = nullptr;
  ops->textRegion = QtzJb2_outTextRegion;
  ops->sectionDict = QtzJb2_outSymbolDict;
  ops->pageDict = QtzJb2_outPageSymbolDict;
  ops->genericRegion = QtzJb2_outGenericRegion;
  ops->freeDict = QtzJb2_outFree;
  ops->user = nullptr;
}

int32_t QtzJbig2_encodePageInfo(int32_t width, int32_t height, int32_t xdpi, int32_t ydpi,
                                QtzJb2Output *handle, const uint8_t *colour) {
  QtzState *state = handle->state;
  if (width < 1 || height < 1)
    return jbReport(state, kJbParam, "page information: page of %d x %d", width, height);
  Jbig2PageRecord page{};
  page.header.page = pageAssociation(handle, int32_t{handle->pageNumber} + 1);
  page.info.width = static_cast<uint32_t>(width);
  page.info.height = static_cast<uint32_t>(height);
  int32_t status = pixelsPerMetre(state, xdpi, &page.info.xres);
  if (status == 0) status = pixelsPerMetre(state, ydpi, &page.info.yres);
  if (status != 0) return status;
  if (colour != nullptr && *colour == 0) {
    page.info.striped = 1;
    page.info.maxStripe = static_cast<uint16_t>(height - 1 > 0x7FFF ? 0x7FFF : height - 1);
  }
  if ((status = writePageInfo(handle->stream, &page)) != 0) return status;
  handle->pageNumber++;
  return 0;
}

int32_t QtzJbig2_encodeEndOfStripe(int32_t endRow, int32_t pageNumber, QtzJb2Output *handle) {
  Jbig2EndOfStripeRecord record{};
  record.header.page = pageAssociation(handle, pageNumber);
  record.endRow = endRow;
  return writeEndOfStripe(handle->stream, &record);
}

namespace {

// One immediate generic region of the image at (x, y), coded as the stream's options say.
int32_t writeGenericSegment(QtzJb2Output *handle, const QtzImage *image, int32_t x, int32_t y) {
  Jbig2GenericRegionRecord record{};
  record.header.type = 38;
  record.header.page = pageAssociation(handle, handle->pageNumber);
  record.region = {image->hdr.width, image->hdr.height, x, y, kOpOr};
  record.hasImage = 1;
  record.image = image;
  const uint8_t *b = jb2GetOptions(handle->stream)->bytes;
  record.mmr = b[0] == 0;
  if (!record.mmr) {
    record.params.tmpl = b[3];
    for (int i = 0; i < 4; ++i) {
      record.params.atx[i] = static_cast<int8_t>(b[4 + i]);
      record.params.aty[i] = static_cast<int8_t>(b[8 + i]);
    }
    record.params.tpgdon = b[12];
  }
  return encodeGenericRegion(handle->stream, &record);
}

// The image at (x, y): one arithmetic-coded region, or, MMR coded, one region per band of
// forEachMmrBand (no white rows at either end, none that a common reader draws wrong); an
// all-white image then writes nothing.
int32_t writeGenericRegion(QtzJb2Output *handle, const QtzImage *image, int32_t x, int32_t y) {
  if (jb2GetOptions(handle->stream)->bytes[0] != 0 || image->hdr.height <= 0)
    return writeGenericSegment(handle, image, x, y);
  const Jbig2Bitmap bitmap = bitmapOf(const_cast<QtzImage *>(image));
  int32_t status = 0;
  forEachMmrBand(bitmap.words, bitmap.width, bitmap.height, bitmap.wordsPerRow,
                 [&](int32_t first, int32_t end) {
                   if (status != 0) return;
                   // The band: the image's own row table from row `first` on.
                   QtzImage band = *image;
                   band.rows = image->rows + first;
                   band.hdr.height = end - first;
                   status = writeGenericSegment(handle, &band, x, y + first);
                 });
  return status;
}

}  // namespace

int32_t QtzJbig2_mmrBytes(QtzJb2Output *handle, const uint32_t *rows, int32_t width, int32_t height,
                          int32_t wordsPerRow, bool asRegion, int64_t *bytes) {
  *bytes = 0;
  QtzState *state = handle->state;
  qtz::OwnedBlock<uint8_t> code(state, nullptr);
  int32_t size = 0;
  if (!asRegion) {
    const int32_t status =
        mmrCodeBitmap(state, rows, width, height, wordsPerRow, false, &code, &size);
    *bytes = size;
    return status;
  }
  // A generic region segment beside its code: the segment header with one-byte page
  // association and no referred-to segments (number 4, flags 1, count 1, page 1, length 4),
  // the region information field (17) and the region's flags (1).
  constexpr int32_t kSegmentBytes = 11 + 17 + 1;
  int32_t status = 0;
  forEachMmrBand(rows, width, height, wordsPerRow, [&](int32_t first, int32_t end) {
    if (status != 0) return;
    status = mmrCodeBitmap(state, rows + int64_t{first} * wordsPerRow, width, end - first,
                           wordsPerRow, false, &code, &size);
    *bytes += kSegmentBytes + size;
  });
  return status;
}

int32_t QtzJbig2_encodeGenericRegion(const QtzImage *image, int32_t, int32_t x, int32_t y,
                                     QtzJb2Output *handle, void *) {
  if (image == nullptr) return qtz::report(handle->state, kJbNoMemory);
  return writeGenericRegion(handle, image, x, y);
}

int32_t QtzJb2_outGenericRegion(QtzAdtList *regions, int32_t, int32_t key, QtzAdtList *images,
                                QtzJb2Output *handle, void *) {
  if (regions == nullptr || images == nullptr) return 0;
  QtzState *state = handle->state;
  QtzAdtListNode *r = regions->head, *i = images->head;
  while (r != nullptr && i != nullptr) {
    auto *entry = static_cast<TclyGenericEntry *>(r->data);
    if (entry->key != key) {
      r = r->next, i = i->next;
      continue;
    }
    auto *image = static_cast<Pixr *>(i->data);
    uint8_t *pixels = nullptr;
    int32_t status = pxlGetImageData(state->ipContext, image, &pixels);
    if (status != 0) return status;
    uint8_t *options = jb2GetOptions(handle->stream)->bytes;
    // AT pixel 1 two periods to the left, where a signed byte still reaches it.
    if (options[0] != 0 && entry->period > 0 && entry->period <= 64) {
      options[4] = static_cast<uint8_t>(-2 * entry->period);
      options[8] = 0;
    }
    QtzImage *wrapped = nullptr;
    status = QtzImage_wrapAll(state, pixels, QTZ_IMAGE_PACKED, entry->width, entry->height,
                              image->bytesPerRow, &wrapped);
    if (status != 0) return status;
    status = writeGenericRegion(handle, wrapped, entry->x, entry->y);
    void *unwrapped = nullptr;
    QtzImage_unwrapAll(wrapped, &unwrapped);
    if (status != 0) return status;
    pxlDestroyImage(state->ipContext, &image);
    jbFree(state, entry);
    QtzAdtListNode *nextRegion = nullptr, *nextImage = nullptr;
    QtzAdt_liRemAndNext(r, &nextRegion);
    QtzAdt_liRemAndNext(i, &nextImage);
    r = nextRegion, i = nextImage;
  }
  return 0;
}

Jb2File *QtzJbig2_outputStream(QtzJb2Output *handle) {
  return handle != nullptr ? handle->stream : nullptr;
}

int32_t QtzJbig2_takeEncodedData(QtzJb2Output *handle, uint8_t **buffer, size_t *length) {
  QtzState *state = handle->state;
  Jb2File *fresh = nullptr;
  int32_t status = newStream(state, handle->mode, &fresh);
  if (status != 0) return status;
  jb2SetNextSegmentNumber(fresh, handle->stream->nextSegment);
  QtzAdtList *blocks = nullptr;
  status = endStream(handle->stream, &blocks);
  handle->stream = fresh;
  if (status != 0) return status;
  size_t total = 0;
  for (QtzAdtListNode *n = blocks != nullptr ? blocks->head : nullptr; n != nullptr; n = n->next)
    total += static_cast<SinkBlock *>(n->data)->used;
  uint8_t *out = nullptr;
  if (total > 0) {
    out = static_cast<uint8_t *>(qtz::allocate(state, total));
    if (out == nullptr) {
      memSinkFreeBlocks(state, blocks);
      return qtz::report(state, kJbNoMemory);
    }
    size_t at = 0;
    for (QtzAdtListNode *n = blocks->head; n != nullptr; n = n->next) {
      const auto *block = static_cast<const SinkBlock *>(n->data);
      std::memcpy(out + at, block->data, block->used);
      at += block->used;
    }
  }
  memSinkFreeBlocks(state, blocks);
  *buffer = out;
  *length = total;
  return 0;
}
