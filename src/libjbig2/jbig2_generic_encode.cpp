// Generic region segments (T.88 7.4.6): header, region information, the flags byte (MMR, or
// GBTEMPLATE and TPGDON), the AT bytes, and the data: precoded bytes, a T.6 code without EOFB,
// or the arithmetic code ending with the marker 0xFF 0xAC. Also the bitmap coders the other
// encoders call.
#include "jbig2_generic_encode.h"
#include "ccitt_internal.h"
#include "jbig2_report.h"
#include "qtz_owners_internal.h"

namespace {

int32_t inconsistent(QtzState *state, const char *what) {
  return jbReport(state, kJbAssert, "generic region: %s", what);
}

int32_t encodeArith(const Jbig2Bitmap &bitmap, const Jbig2GenericTemplate &params, uint8_t *cx,
                    MqEncoder *encoder, QtzState *state) {
  qtz::OwnedBlock<uint8_t> own(state, nullptr);
  if (cx == nullptr) {
    own.reset(jbAllocArray<uint8_t>(state, static_cast<size_t>(genericContextCount(params.tmpl))));
    if (!own) return qtz::report(state, kJbNoMemory);
    cx = own.get();
  }
  if (!encodeGenericWords(bitmap, params, cx, encoder)) return qtz::report(state, kJbShortWrite);
  return 0;
}

}  // namespace

bool atPixelsCausal(const Jbig2GenericTemplate &params) {
  const int n = params.tmpl == 0 ? 4 : 1;
  for (int i = 0; i < n; ++i)
    if (!(params.aty[i] < 0 || (params.aty[i] == 0 && params.atx[i] < 0))) return false;
  return true;
}

int32_t encodeBitmapArith(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                          const Jbig2GenericTemplate *params, uint8_t *cx, Jb2File *stream,
                          MqEncoder *encoder) {
  return encodeArith({const_cast<uint32_t *>(rows), width, height, wordsPerRow}, *params, cx,
                     encoder, stream->state);
}

int32_t encodeGenericTemplate(const QtzImage *image, const Jbig2GenericTemplate *params,
                              uint8_t *cx, MqEncoder *encoder, QtzState *state) {
  if (params->tmpl > 3) return 0;
  return encodeArith(bitmapOf(const_cast<QtzImage *>(image)), *params, cx, encoder, state);
}

int32_t encodeGenericMmr(Jb2File *stream, DataSink *sink, const uint32_t *rows, int32_t width,
                         int32_t height, int32_t wordsPerRow, bool endOfBlock) {
  QtzState *state = stream->state;
  qtz::OwnedBlock<uint8_t> code(state, nullptr);
  int32_t size = 0;
  const int32_t status =
      mmrCodeBitmap(state, rows, width, height, wordsPerRow, endOfBlock, &code, &size);
  if (status != 0) return status;
  size_t written = 0;
  const int32_t put = sinkWrite(sink, static_cast<size_t>(size), code.get(), &written);
  if (put != 0) return put;
  return written == static_cast<size_t>(size) ? 0 : qtz::report(state, kJbShortWrite);
}

int32_t writeAtPixels(Jb2File *stream, DataSink *sink, const Jbig2GenericTemplate *params) {
  const int n = params->tmpl == 0 ? 4 : 1;
  int32_t status = 0;
  for (int i = 0; i < n && status == 0; ++i) {
    status = sinkPutBigEndian(sink, static_cast<uint8_t>(params->atx[i]), 1);
    if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint8_t>(params->aty[i]), 1);
  }
  return status;
}

int32_t encodeGenericRegion(Jb2File *stream, Jbig2GenericRegionRecord *r) {
  QtzState *state = stream->state;
  Jbig2SegHeader &h = r->header;
  if (h.type != 36 && h.type != 38 && h.type != 39) return inconsistent(state, "segment type");
  if (r->precoded == nullptr && (!r->hasImage || r->image == nullptr))
    return inconsistent(state, "no image and no precoded data");
  if (!r->mmr && (r->params.tmpl > 3 || !atPixelsCausal(r->params)))
    return inconsistent(state, "template or AT pixels");
  const bool coding = r->precoded == nullptr;
  if (coding &&
      (r->image->hdr.width != r->region.width || r->image->hdr.height != r->region.height))
    return inconsistent(state, "image size differs from the region");
  h.refCount = 0;
  int32_t status = beginSegment(stream, &h, 0);
  if (status != 0) return status;
  DataSink *sink = stream->sink;
  status = writeRegionInfo(stream, sink, &r->region);
  const uint8_t flags =
      r->mmr ? 0x01 : static_cast<uint8_t>((r->params.tmpl << 1) | (r->params.tpgdon ? 0x08 : 0));
  if (status == 0) status = sinkPutBigEndian(sink, flags, 1);
  if (status == 0 && !r->mmr) status = writeAtPixels(stream, sink, &r->params);
  if (status != 0) return status;
  if (!coding) {
    size_t written = 0;
    status = sinkWrite(sink, r->precodedLength, r->precoded, &written);
    if (status == 0 && written != r->precodedLength) status = qtz::report(state, kJbShortWrite);
  } else {
    const Jbig2Bitmap bitmap = bitmapOf(const_cast<QtzImage *>(r->image));
    if (r->mmr) {
      status = encodeGenericMmr(stream, sink, bitmap.words, bitmap.width, bitmap.height,
                                bitmap.wordsPerRow, false);
    } else {
      MqEncoder encoder;
      sinkStartMq(sink, &encoder);
      status = encodeArith(bitmap, r->params, nullptr, &encoder, state);
      if (status == 0) status = sinkEndMq(sink, &encoder);
    }
  }
  if (status == 0) status = endSegmentData(stream, &h);
  return status;
}

int32_t mmrCodeBitmap(QtzState *state, const uint32_t *rows, int32_t width, int32_t height,
                      int32_t wordsPerRow, bool endOfBlock, qtz::OwnedBlock<uint8_t> *code,
                      int32_t *bytes) {
  int64_t capacity = int64_t{width} * height / 8;
  for (;;) {
    if (capacity > INT32_MAX) return jbReport(state, kJbAssert, "T.6 code above 2 GiB");
    code->reset(jbAllocArray<uint8_t>(state, static_cast<size_t>(capacity)));
    if (!*code) return qtz::report(state, kJbNoMemory);
    *bytes = static_cast<int32_t>(capacity);
    const int32_t status = ccittEncodeG4(rows, width, height, wordsPerRow, code->get(), bytes,
                                         endOfBlock ? 1 : 0, state);
    if (status != 7) return status;  // a failure is reported by the T.6 encoder
    capacity += capacity / 4 + 1;    // the code did not fit: a quarter more room
  }
}
