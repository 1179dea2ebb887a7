// Lossy Dither decoding: the row's classes are the row above's, except for the coded
// stretches; each byte is painted as its class's pattern for the row number modulo 8. Codes
// are read whole; out of input inside a row, the decoder keeps its step (1 position code,
// 2 its extension, 3 length code, 4 its extension, 5 class codes) and resumes there. Positions
// past the row end it; a stretch past the row, a code that matches nothing and 7-bit group
// values of more than four groups are corrupt (15).
#include "ccitt_entry.h"
#include "ld_state.h"
#include "pxl_internal.h"

using ccitt_detail::BitReader;
using ccitt_detail::Lookup;
using lossy_dither::changeList;
using lossy_dither::classRow;

namespace {

constexpr const char *kUnit = "ldd";
constexpr int32_t kMaxGroupShift = 21;  // four groups: values below 2^28

enum Step : int32_t {
  kBetweenRows = 0,
  kPosition = 1,
  kPositionExtension = 2,
  kLength = 3,
  kLengthExtension = 4,
  kClasses = 5,
};

enum class Read { kDone, kNeedMore, kBad };

// Reads `width` bits most significant first; with final data, zeros follow the end.
Read readBits(BitReader &r, int width, bool final, int32_t *value) {
  if (r.bits < width) r.refill();
  if (r.bits < width && !final) return Read::kNeedMore;
  *value = static_cast<int32_t>(r.acc >> (64 - width));
  r.consume(width);
  return Read::kDone;
}

// Reads the extension of a position or length value: a fixed field or 7-bit groups.
Read readExtension(PxlLossyDitherDecoderState *s, BitReader &r, bool final, int32_t *result) {
  int32_t bits = 0;
  switch (s->field) {
    case lossy_dither::kPosSkip64:
    case lossy_dither::kLen65: {
      const Read got = readBits(r, 6, final, &bits);
      if (got == Read::kDone) *result = bits + (s->field == lossy_dither::kLen65 ? 65 : 64);
      return got;
    }
    case lossy_dither::kPosSkip128:
    case lossy_dither::kLen129: {
      const Read got = readBits(r, 7, final, &bits);
      if (got == Read::kDone) *result = bits + (s->field == lossy_dither::kLen129 ? 129 : 128);
      return got;
    }
    default:
      for (;;) {
        const Read got = readBits(r, 8, final, &bits);
        if (got != Read::kDone) return got;
        if (s->shift > kMaxGroupShift) return Read::kBad;
        s->value |= (bits & 0x7F) << s->shift;
        s->shift += 7;
        if (!(bits & 0x80)) break;
      }
      *result = s->value + (s->field == lossy_dither::kLen257 ? 257 : 256);
      return Read::kDone;
  }
}

// Decodes the classes of one row into the current class row; 0, 7 or 15.
int32_t decodeLine(PxlLossyDitherDecoderState *s, BitReader &r, bool final) {
  const int32_t n = s->rowBytes;
  const uint8_t *ref = classRow(s, s->selector);
  uint8_t *cur = classRow(s, s->selector ^ 1);
  const int32_t *f = changeList(s);
  uint16_t e = 0;
  for (;;) {
    if (s->step == kPosition) {
      if (s->offset >= n) return PXL_OK;
      const Lookup found = ccitt_detail::lookupCode(r, lossy_dither::positionLookup(),
                                                    lossy_dither::kPositionBits, final, &e);
      if (found == Lookup::kNeedMore) return PXL_ERR_OVERFLOW;
      if (found == Lookup::kBad) return ccitt_detail::badCodeStatus(r, final);
      r.consume(ccitt::entryLength(e));
      while (f[s->changeIndex] <= s->offset) ++s->changeIndex;
      const int32_t i = s->changeIndex;
      const int32_t v = ccitt::entryValue(e);
      int64_t pos = 0;
      switch (v) {
        case lossy_dither::kPosAtChange:
          pos = f[i];
          break;
        case lossy_dither::kPosAfterChange:
          pos = f[i] + 1;
          break;
        case lossy_dither::kPosTwoAfterChange:
          pos = f[i] + 2;
          break;
        case lossy_dither::kPosAfterNextChange:
          pos = f[i + 1] + 1;
          break;
        case lossy_dither::kPosEndOfRow:
          pos = n;
          break;
        default:
          if (v < 64) {
            pos = int64_t{s->offset} + v;
          } else {
            s->field = v, s->value = 0, s->shift = 0;
            s->step = kPositionExtension;
            continue;
          }
      }
      s->position = static_cast<int32_t>(pos < n ? pos : n);
    } else if (s->step == kPositionExtension) {
      int32_t skip = 0;
      const Read got = readExtension(s, r, final, &skip);
      if (got == Read::kNeedMore) return PXL_ERR_OVERFLOW;
      if (got == Read::kBad) return PXL_ERR_DECODE;
      const int64_t pos = int64_t{s->offset} + skip;
      s->position = static_cast<int32_t>(pos < n ? pos : n);
    }
    if (s->step == kPosition || s->step == kPositionExtension) {
      if (s->position < s->offset) return PXL_ERR_DECODE;
      std::memcpy(cur + s->offset, ref + s->offset, static_cast<size_t>(s->position - s->offset));
      s->offset = s->position;
      if (s->position >= n) return PXL_OK;
      s->step = kLength;
    }
    if (s->step == kLength) {
      const Lookup found = ccitt_detail::lookupCode(r, lossy_dither::lengthLookup(),
                                                    lossy_dither::kLengthBits, final, &e);
      if (found == Lookup::kNeedMore) return PXL_ERR_OVERFLOW;
      if (found == Lookup::kBad) return ccitt_detail::badCodeStatus(r, final);
      r.consume(ccitt::entryLength(e));
      const int32_t v = ccitt::entryValue(e);
      if (v <= 64) {
        s->length = v;
      } else if (v == lossy_dither::kLenToEnd) {
        s->length = n - s->position;
      } else {
        s->field = v, s->value = 0, s->shift = 0;
        s->step = kLengthExtension;
      }
      if (s->step == kLength) s->step = kClasses;
    }
    if (s->step == kLengthExtension) {
      const Read got = readExtension(s, r, final, &s->length);
      if (got == Read::kNeedMore) return PXL_ERR_OVERFLOW;
      if (got == Read::kBad) return PXL_ERR_DECODE;
      s->step = kClasses;
    }
    if (int64_t{s->position} + s->length > n) return PXL_ERR_DECODE;
    const int32_t end = s->position + s->length;
    while (s->offset < end) {
      const Lookup found = ccitt_detail::lookupCode(r, lossy_dither::classLookup(),
                                                    lossy_dither::kClassBits, final, &e);
      if (found == Lookup::kNeedMore) return PXL_ERR_OVERFLOW;
      if (found == Lookup::kBad) return ccitt_detail::badCodeStatus(r, final);
      r.consume(ccitt::entryLength(e));
      cur[s->offset++] = static_cast<uint8_t>(ccitt::entryValue(e));
    }
    s->step = kPosition;
  }
}

// Paints the classes of the current class row as their patterns for the row's phase.
void paintRow(const uint8_t *classes, int32_t n, int32_t phase, uint8_t *row) {
  const uint8_t(*patterns)[8] = lossy_dither::patterns();
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint32_t word = static_cast<uint32_t>(patterns[classes[i]][phase]) << 24 |
                          static_cast<uint32_t>(patterns[classes[i + 1]][phase]) << 16 |
                          static_cast<uint32_t>(patterns[classes[i + 2]][phase]) << 8 |
                          patterns[classes[i + 3]][phase];
    std::memcpy(row + i, &word, 4);
  }
  for (; i < n; ++i) row[i ^ 3] = patterns[classes[i]][phase];
}

}  // namespace

extern "C" {

int32_t pxlDecodeLossyDitherLines(PxlContext *ctx, PxlLossyDitherDecoderState *s,
                                  uint8_t *framedData, int32_t firstRow, int32_t rowCount,
                                  int32_t bytesPerRow, const uint8_t *input, int32_t inputLength,
                                  int32_t resumeLines, int32_t resumeBits, int32_t finalFlag,
                                  int32_t *done, int32_t *usedUp, int32_t *percent,
                                  int32_t *consumed) {
  if (done == nullptr || usedUp == nullptr || percent == nullptr || consumed == nullptr)
    return PXL_ERR_PARAM;
  *done = 0, *usedUp = 0, *percent = 0, *consumed = 0;
  if (s == nullptr || input == nullptr || inputLength < 0 || rowCount < 0) return PXL_ERR_PARAM;
  if (resumeLines == 0) {
    s->linesDone = 0, s->linesOpen = 1;
    s->phase = firstRow & 7;
    lossy_dither::whiteRows(s);
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (resumeBits == 0) {
    s->step = kBetweenRows, s->selector = 0, s->accumulator = 0, s->bits = 0, s->bytesIn = 0;
    s->bitStateValid = 1;
  } else if (!s->bitStateValid) {
    return PXL_ERR_PARAM;
  }
  const bool final = finalFlag != 0;
  const int32_t n = s->rowBytes;
  BitReader r = ccitt_detail::startReading(s, input, input + inputLength);
  int32_t status = PXL_OK;
  while (s->linesDone < rowCount) {
    if (s->step == kBetweenRows) {
      lossy_dither::buildChanges(classRow(s, s->selector ^ 1), classRow(s, s->selector), n,
                                 changeList(s));
      s->offset = 0, s->changeIndex = 0;
      s->step = kPosition;
    }
    status = decodeLine(s, r, final);
    if (status != PXL_OK) break;
    if (framedData != nullptr)
      paintRow(classRow(s, s->selector ^ 1), n, s->phase,
               framedData + static_cast<int64_t>(firstRow + 32 + s->linesDone) * bytesPerRow + 4);
    s->phase = (s->phase + 1) & 7;
    s->selector ^= 1;
    s->step = kBetweenRows;
    ++s->linesDone;
  }
  ccitt_detail::stopReading(s, r, input);
  *consumed = static_cast<int32_t>(r.p - input);
  *percent = ccitt_detail::percentOf(s->linesDone, rowCount);
  if (status == PXL_OK) {
    if (framedData != nullptr && rowCount > 0)
      pxlClearRowTails(ctx, framedData + static_cast<int64_t>(firstRow + 32) * bytesPerRow + 4,
                       s->width, rowCount, bytesPerRow, 1);
    *done = 1;
    *usedUp = r.p == input + inputLength;
    return PXL_OK;
  }
  if (status == PXL_ERR_OVERFLOW) {
    *usedUp = 1;
    if (final) s->linesOpen = 0, s->bitStateValid = 0;
    return status;
  }
  s->bitStateValid = 0;
  return status;
}

int32_t pxlDecodeLossyDither(PxlContext *ctx, PxlLossyDitherDecoderState *state, int32_t firstRow,
                             int32_t rowCount, const uint8_t *input, int32_t inputLength,
                             int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                             int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  if (state == nullptr || input == nullptr || done == nullptr || usedUp == nullptr ||
      percent == nullptr || consumed == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  ccitt_detail::ImageRows rows;
  if (image != nullptr) {
    const int32_t checked =
        ccitt_detail::readImage(ctx, kUnit, image, state->width, firstRow, rowCount, &rows);
    if (checked != 0) return checked;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlDecodeLossyDitherLines(
      ctx, state, rows.framed, firstRow, rowCount, rows.bytesPerRow, input, inputLength,
      resumeLines, resumeBits, final, done, usedUp, percent, consumed);
  if (status != 0 && (status != PXL_ERR_OVERFLOW || final)) return PXL_FAIL(ctx, kUnit, status);
  return status;
}

}  // extern "C"
