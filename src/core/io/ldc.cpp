// Lossy Dither encoding: each row's bytes become classes; the stretches whose classes differ
// from the row above are coded as a position code, a length code and the class codes, until a
// position code reaches the end of the row. Codes are added whole; when the output fills the
// coder stops before the next code (steps 1-5) and resumes there.
#include "ccitt_entry.h"
#include "ld_state.h"
#include "pxl_internal.h"

using ccitt_detail::BitWriter;
using lossy_dither::changeList;
using lossy_dither::classRow;

namespace {

constexpr const char *kUnit = "ldc";

enum Step : int32_t {
  kBetweenRows = 0,
  kPosition = 1,
  kPositionGroups = 2,
  kLength = 3,
  kLengthGroups = 4,
  kClasses = 5,
};

BitWriter startWriting(const PxlLossyDitherEncoderState *s, uint8_t *p, uint8_t *end) {
  return BitWriter{s->accumulator, s->bits, p, end};
}

void put(BitWriter &w, ccitt::Code c) {
  w.put(c.bits, c.length);
}

// Adds owed 7-bit groups (lowest first, top bit set when another follows); false when full.
bool putGroups(BitWriter &w, int32_t *value) {
  do {
    if (!w.makeRoom()) return false;
    const int32_t rest = *value >> 7;
    w.put(static_cast<uint32_t>((rest ? 0x80 : 0) | (*value & 0x7F)), 8);
    *value = rest;
  } while (*value != 0);
  return true;
}

// Codes the row in the current class row against the row above; 0 done, 7 output full.
int32_t encodeLine(PxlLossyDitherEncoderState *s, uint8_t **cursor, uint8_t *end) {
  const lossy_dither::Codes &codes = lossy_dither::codes();
  const int32_t n = s->rowBytes;
  const uint8_t *ref = classRow(s, s->selector);
  const uint8_t *cur = classRow(s, s->selector ^ 1);
  const int32_t *f = changeList(s);
  BitWriter w = startWriting(s, *cursor, end);
  int32_t status = PXL_OK;
  for (;;) {
    if (s->step == kPosition) {
      if (s->offset >= n) break;
      while (f[s->changeIndex] <= s->offset) ++s->changeIndex;
      const int32_t i = s->changeIndex;
      const int32_t pos = lossy_dither::firstDifference(cur, ref, s->offset);
      if (!w.makeRoom()) {
        status = PXL_ERR_OVERFLOW;
        break;
      }
      const int32_t d = pos - s->offset;
      s->step = kLength;
      if (pos == f[i])
        put(w, codes.positions[0]);
      else if (pos == f[i] + 1)
        put(w, codes.positions[1]);
      else if (pos == f[i] + 2)
        put(w, codes.positions[2]);
      else if (pos == f[i + 1] + 1)
        put(w, codes.positions[3]);
      else if (pos >= n)
        put(w, codes.positions[4]);
      else if (d < 64)
        put(w, codes.skips[d]);
      else if (d < 128)
        put(w, codes.positions[5]), w.put(static_cast<uint32_t>(d - 64), 6);
      else if (d < 256)
        put(w, codes.positions[6]), w.put(static_cast<uint32_t>(d - 128), 7);
      else
        put(w, codes.positions[7]), s->pending = d - 256, s->step = kPositionGroups;
      if (pos >= n) {
        s->offset = n;
        break;
      }
      s->position = pos;
      s->end = lossy_dither::firstAgreement(cur, ref, pos, n);
    }
    if (s->step == kPositionGroups) {
      if (!putGroups(w, &s->pending)) {
        status = PXL_ERR_OVERFLOW;
        break;
      }
      s->step = kLength;
    }
    if (s->step == kLength) {
      if (!w.makeRoom()) {
        status = PXL_ERR_OVERFLOW;
        break;
      }
      const int32_t length = s->end - s->position;
      s->step = kClasses;
      s->pending = s->position;
      if (s->end == n)
        put(w, codes.lengthSpecials[0]);
      else if (length <= 64)
        put(w, codes.lengths[length]);
      else if (length <= 128)
        put(w, codes.lengthSpecials[1]), w.put(static_cast<uint32_t>(length - 65), 6);
      else if (length <= 256)
        put(w, codes.lengthSpecials[2]), w.put(static_cast<uint32_t>(length - 129), 7);
      else
        put(w, codes.lengthSpecials[3]), s->pending = length - 257, s->step = kLengthGroups;
    }
    if (s->step == kLengthGroups) {
      if (!putGroups(w, &s->pending)) {
        status = PXL_ERR_OVERFLOW;
        break;
      }
      s->step = kClasses;
      s->pending = s->position;
    }
    while (s->pending < s->end) {
      if (!w.makeRoom()) break;
      put(w, codes.classes[cur[s->pending]]);
      ++s->pending;
    }
    if (s->pending < s->end) {
      status = PXL_ERR_OVERFLOW;
      break;
    }
    s->offset = s->end;
    s->step = kPosition;
  }
  if (status == PXL_ERR_OVERFLOW) w.writeBytes();
  s->accumulator = w.acc;
  s->bits = w.bits;
  *cursor = w.p;
  return status;
}

}  // namespace

extern "C" {

int32_t pxlEncodeLossyDitherLines(PxlContext *, PxlLossyDitherEncoderState *s,
                                  const uint8_t *framedData, int32_t fullWidth, int32_t firstRow,
                                  int32_t rowCount, int32_t bytesPerRow, uint8_t *output,
                                  int32_t outputSize, int32_t resumeLines, int32_t resumeBits,
                                  int32_t *done, int32_t *outputFull, int32_t *percent,
                                  int32_t *written) {
  if (done == nullptr || outputFull == nullptr || percent == nullptr || written == nullptr)
    return PXL_ERR_PARAM;
  *done = 0, *outputFull = 0, *percent = 0, *written = 0;
  if (s == nullptr || output == nullptr || framedData == nullptr || outputSize <= 0 || rowCount < 0)
    return PXL_ERR_PARAM;
  if (fullWidth - 64 < 1) {
    *done = 1, *percent = 100;
    return PXL_OK;
  }
  if (fullWidth - 64 != s->width) return PXL_ERR_PARAM;
  if (resumeLines == 0) {
    s->linesDone = 0, s->selector = 0, s->step = kBetweenRows;
    s->linesOpen = 1;
    lossy_dither::whiteRows(s);
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (resumeBits == 0) {
    s->step = kBetweenRows, s->accumulator = 0, s->bits = 0;
    s->bitStateValid = 1;
  } else if (!s->bitStateValid) {
    return PXL_ERR_PARAM;
  }
  const int32_t n = s->rowBytes;
  uint8_t *cursor = output;
  uint8_t *end = output + outputSize;
  while (s->linesDone < rowCount) {
    if (s->step == kBetweenRows) {
      uint8_t *cur = classRow(s, s->selector ^ 1);  // held the row two above
      lossy_dither::buildChanges(cur, classRow(s, s->selector), n, changeList(s));
      const uint8_t *row =
          framedData + static_cast<int64_t>(firstRow + s->linesDone) * bytesPerRow + 4;
      for (int32_t i = 0; i < n; ++i) cur[i] = lossy_dither::classOf(row[i ^ 3]);
      s->offset = 0, s->changeIndex = 0, s->pending = 0;
      s->step = kPosition;
    }
    if (encodeLine(s, &cursor, end) != PXL_OK) break;
    s->step = kBetweenRows;
    s->selector ^= 1;
    ++s->linesDone;
  }
  *written = static_cast<int32_t>(cursor - output);
  if (s->linesDone < rowCount) {
    *outputFull = 1;
    *percent = ccitt_detail::percentOf(s->linesDone, rowCount);
    return PXL_OK;
  }
  *done = 1;
  *outputFull = cursor == end;
  *percent = 100;
  return PXL_OK;
}

int32_t pxlEncodeLossyDither(PxlContext *ctx, PxlLossyDitherEncoderState *state, Pixr *image,
                             int32_t firstRow, int32_t rowCount, uint8_t *output,
                             int32_t outputSize, int32_t resumeLines, int32_t resumeBits,
                             int32_t *done, int32_t *outputFull, int32_t *percent,
                             int32_t *written) {
  if (state == nullptr || image == nullptr || output == nullptr || done == nullptr ||
      outputFull == nullptr || percent == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  ccitt_detail::ImageRows rows;
  const int32_t checked =
      ccitt_detail::readImage(ctx, kUnit, image, state->width, firstRow, rowCount, &rows);
  if (checked != 0) return checked;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlEncodeLossyDitherLines(
      ctx, state, rows.framed, rows.fullWidth, firstRow + 32, rowCount, rows.bytesPerRow, output,
      outputSize, resumeLines, resumeBits, done, outputFull, percent, written);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

}  // extern "C"
