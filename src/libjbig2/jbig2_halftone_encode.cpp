// Pattern dictionary and halftone region segments: the collective bitmap of the patterns, the
// Gray-coded bit planes of the grid, and their coding with the generic region coders.
#include "jbig2_halftone_encode.h"

#include <bit>
#include <cstring>

#include "jbig2_generic_encode.h"
#include "jbig2_report.h"
#include "qtz_blat.h"
#include "qtz_owners_internal.h"

namespace {

int32_t refused(Jb2File *stream, const char *what) {
  return jbReport(stream->state, kJbAssert, "halftone segment field out of range: %s", what);
}

// A 32-bit template option (bytes at, little-endian as the option block stores them).
int32_t templateOption(Jb2File *stream, int at) {
  int32_t value = 0;
  std::memcpy(&value, stream->options.bytes + at, sizeof value);
  return value;
}

int32_t checkPatternDict(Jb2File *stream, const Jbig2PatternDictRecord *d) {
  if (d->width < 1 || d->width > 255) return refused(stream, "HDPW");
  if (d->height < 1 || d->height > 255) return refused(stream, "HDPH");
  if (d->count < 1 || d->patterns == nullptr) return refused(stream, "number of patterns");
  if (!jbSizeOk(int64_t{d->count} * d->width, d->height))
    return refused(stream, "collective bitmap size");
  const int32_t words = (d->width + 31) / 32;
  for (int32_t i = 0; i < d->count; ++i)
    if (d->patterns[i].bitmap == nullptr || d->patterns[i].wordsPerRow < words)
      return refused(stream, "pattern bitmap");
  return 0;
}

// Pattern i ORed into its cell of the zeroed collective bitmap, columns i HDPW to (i + 1) HDPW.
void fillCollective(const Jbig2PatternDictRecord *d, uint32_t *rows, int32_t wordsPerRow,
                    QtzState *state) {
  for (int32_t i = 0; i < d->count; ++i) {
    const int32_t x = i * d->width;
    QtzBlat_blitBitsOrClip(rows, wordsPerRow, x, 0, x + d->width, d->height, d->patterns[i].bitmap,
                           d->patterns[i].wordsPerRow, d->width, d->height, x, 0, state);
  }
}

int32_t checkHalftone(Jb2File *stream, const Jbig2HalftoneRecord *r,
                      const Jbig2PatternDictRecord *d) {
  const Jbig2SegHeader &h = r->header;
  if (h.type != 20 && h.type != 22 && h.type != 23) return refused(stream, "region segment type");
  if (d == nullptr || d->header.type != kSegPatternDict || h.refCount != 1 || h.refs == nullptr ||
      h.refs[0] != d->header.number)
    return refused(stream, "referred-to pattern dictionary");
  if (d->count < 1) return refused(stream, "number of patterns");
  if (r->hrx < 0 || r->hrx > 0xFFFF) return refused(stream, "HRX");
  if (r->hry < 0 || r->hry > 0xFFFF) return refused(stream, "HRY");
  if (r->combop > 4) return refused(stream, "HCOMBOP");
  if ((r->gridWidth != 0 || r->gridHeight != 0) && !jbSizeOk(r->gridWidth, r->gridHeight))
    return refused(stream, "grid size");
  const uint64_t cells = uint64_t{r->gridWidth} * r->gridHeight;
  if (cells != 0 && r->grid == nullptr) return refused(stream, "grid");
  for (uint64_t i = 0; i < cells; ++i)
    if (r->grid[i] >= d->count) return refused(stream, "grid value not below the pattern count");
  return 0;
}

// Plane j (planeWords words from planes + j planeWords) receives bit j of each cell's Gray code
// v XOR (v >> 1); the planes are zeroed.
void grayPlanes(const Jbig2HalftoneRecord *r, uint32_t *planes, int32_t wordsPerRow,
                size_t planeWords) {
  for (uint32_t mg = 0; mg < r->gridHeight; ++mg) {
    const uint16_t *row = r->grid + size_t{mg} * r->gridWidth;
    uint32_t *out = planes + size_t{mg} * wordsPerRow;
    for (uint32_t ng = 0; ng < r->gridWidth; ++ng) {
      uint32_t gray = row[ng] ^ (row[ng] >> 1);
      const uint32_t bit = 0x80000000u >> (ng & 31);
      while (gray != 0) {
        const int j = std::countr_zero(gray);
        out[planeWords * j + ng / 32] |= bit;
        gray &= gray - 1;
      }
    }
  }
}

// Generic parameters with the first AT pixel given and, for template 0, the other three at
// (-3, -1), (2, -2), (-2, -2) (T.88 6.6.5.1 and 6.7.5); TPGDON off.
Jbig2GenericTemplate fixedTemplate(uint8_t tmpl, int8_t atx, int8_t aty) {
  Jbig2GenericTemplate t{};
  t.tmpl = tmpl;
  t.atx[0] = atx;
  t.aty[0] = aty;
  if (tmpl == 0)
    t.atx[1] = -3, t.aty[1] = -1, t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
  return t;
}

}  // namespace

int32_t encodePatternDict(Jb2File *stream, Jbig2PatternDictRecord *record) {
  QtzState *state = stream->state;
  int32_t status = checkPatternDict(stream, record);
  if (status != 0) return status;
  const int32_t tmplOption = templateOption(stream, 20);
  // An AT offset of -HDPW fits its signed byte only up to 128: wider patterns take MMR.
  const bool arith = stream->options.bytes[18] != 0 && record->width <= 128;
  if (arith && (tmplOption < 0 || tmplOption > 3)) return refused(stream, "HDTEMPLATE");
  const int32_t width = record->count * record->width;
  const int32_t height = record->height;
  const int32_t wordsPerRow = (width + 31) / 32;
  qtz::OwnedBlock<uint32_t> collective(
      state, jbAllocArray<uint32_t>(state, static_cast<size_t>(wordsPerRow) * height));
  if (!collective) return qtz::report(state, kJbNoMemory);
  fillCollective(record, collective.get(), wordsPerRow, state);

  Jbig2SegHeader &h = record->header;
  h.type = kSegPatternDict;
  h.refCount = 0;
  if ((status = beginSegment(stream, &h, 1)) != 0) return status;
  DataSink *sink = stream->sink;
  const uint8_t flags = arith ? static_cast<uint8_t>(tmplOption << 1) : 0x01;
  status = sinkPutBigEndian(sink, flags, 1);
  if (status == 0) status = sinkPutBigEndian(sink, record->width, 1);
  if (status == 0) status = sinkPutBigEndian(sink, record->height, 1);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(record->count - 1), 4);
  if (status != 0) return status;
  if (arith) {
    const Jbig2GenericTemplate t =
        fixedTemplate(static_cast<uint8_t>(tmplOption), static_cast<int8_t>(-record->width), 0);
    MqEncoder mq;
    sinkStartMq(sink, &mq);
    status =
        encodeBitmapArith(collective.get(), width, height, wordsPerRow, &t, nullptr, stream, &mq);
    if (status == 0) status = sinkEndMq(sink, &mq);
  } else {
    status = encodeGenericMmr(stream, sink, collective.get(), width, height, wordsPerRow, false);
  }
  if (status != 0) return status;
  return endSegmentData(stream, &h);
}

int32_t encodeHalftoneRegion(Jb2File *stream, Jbig2HalftoneRecord *record,
                             const Jbig2PatternDictRecord *dict) {
  QtzState *state = stream->state;
  int32_t status = checkHalftone(stream, record, dict);
  if (status != 0) return status;
  const bool arith = stream->options.bytes[13] != 0;
  const int32_t tmplOption = templateOption(stream, 28);
  if (arith && (tmplOption < 0 || tmplOption > 3)) return refused(stream, "HTEMPLATE");
  const uint8_t tmpl = arith ? static_cast<uint8_t>(tmplOption) : 0;
  const int32_t planes = ceilLog2(static_cast<uint32_t>(dict->count));
  const int32_t gw = static_cast<int32_t>(record->gridWidth);
  const int32_t gh = static_cast<int32_t>(record->gridHeight);
  const bool coded = planes > 0 && gw > 0 && gh > 0;
  const int32_t wordsPerRow = (gw + 31) / 32;
  const size_t planeWords = static_cast<size_t>(wordsPerRow) * gh;
  qtz::OwnedBlock<uint32_t> bits(state);
  qtz::OwnedBlock<uint8_t> cx(state);
  if (coded) {
    bits.reset(jbAllocArray<uint32_t>(state, planeWords * planes));
    if (!bits) return qtz::report(state, kJbNoMemory);
    grayPlanes(record, bits.get(), wordsPerRow, planeWords);
    if (arith) {
      cx.reset(jbAllocArray<uint8_t>(state, genericContextCount(tmpl)));
      if (!cx) return qtz::report(state, kJbNoMemory);
    }
  }

  Jbig2SegHeader &h = record->header;
  if ((status = beginSegment(stream, &h, 0)) != 0) return status;
  DataSink *sink = stream->sink;
  if ((status = writeRegionInfo(stream, sink, &record->region)) != 0) return status;
  const uint8_t flags = static_cast<uint8_t>((arith ? 0 : 1) | (tmpl << 1) | (record->combop << 4) |
                                             (record->defpixel ? 0x80 : 0));
  status = sinkPutBigEndian(sink, flags, 1);
  for (const uint32_t field :
       {record->gridWidth, record->gridHeight, static_cast<uint32_t>(record->hgx),
        static_cast<uint32_t>(record->hgy)})
    if (status == 0) status = sinkPutBigEndian(sink, field, 4);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(record->hrx), 2);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(record->hry), 2);
  if (status != 0) return status;
  if (arith) {
    // Without planes the code stream is empty but still flushed: decoders in the field start
    // an MQ decoder on the data whatever the number of planes, and fail on no bytes.
    const Jbig2GenericTemplate t = fixedTemplate(tmpl, tmpl <= 1 ? 3 : 2, -1);
    MqEncoder mq;
    sinkStartMq(sink, &mq);
    for (int32_t j = coded ? planes - 1 : -1; j >= 0 && status == 0; --j)
      status = encodeBitmapArith(bits.get() + planeWords * j, gw, gh, wordsPerRow, &t, cx.get(),
                                 stream, &mq);
    if (status == 0) status = sinkEndMq(sink, &mq);
  } else if (coded) {
    for (int32_t j = planes - 1; j >= 0 && status == 0; --j)
      status =
          encodeGenericMmr(stream, sink, bits.get() + planeWords * j, gw, gh, wordsPerRow, true);
  }
  if (status != 0) return status;
  return endSegmentData(stream, &h);
}
