// Line encoders of ITU-T T.4 (one-dimensional) and T.6 (two-dimensional) over run lists, the
// EOL writer and the final padding.
//
// The two-dimensional coder follows T.6: with a1, a2 the next changing elements of the coding
// line after a0 and b1, b2 those of the reference line (read off the run lists as the decoder
// does), pass mode when b2 < a1, vertical mode when |a1 - b1| <= 3, else horizontal mode with
// the runs a0a1 and a1a2. Runs of 64 or more are sent as make-up codes (extended codes of
// 2560 while 2560 or more is left, then one multiple of 64) and a terminating code.
//
// Output is written whole bytes at a time whenever more than BitWriter::kRoom bits are held.
// When the output fills, the coder stops before the code it could not add (steps 1-2 inside a
// one-dimensional line, 10-12 inside a two-dimensional line, 16 before an EOL, 18 inside the
// padding) and resumes there with the next buffer.
#include "ccitt_state.h"
#include "pxl_ccitt_codes.h"

using ccitt_detail::BitWriter;

namespace {

enum Step : int32_t {
  kStepIdle = 0,
  kStep1DWhite = 1,
  kStep1DBlack = 2,
  kStep2DDecide = 10,
  kStep2DFirstRun = 11,
  kStep2DSecondRun = 12,
  kStepEol = 16,
  kStepPadding = 18,
};

// Codes the rest of a run; *pending becomes -1 once the terminating code is added. False
// when the output filled first.
bool putRun(BitWriter &w, const ccitt::EncodeTable &t, int colour, int32_t *pending) {
  while (*pending >= 64) {
    if (!w.makeRoom()) return false;
    const int32_t m = *pending >= ccitt::kMaxMakeUp ? ccitt::kMaxMakeUp : (*pending & ~63);
    const ccitt::Code c = t.makeUp[colour][m >> 6];
    w.put(c.bits, c.length);
    *pending -= m;
  }
  if (!w.makeRoom()) return false;
  const ccitt::Code c = t.terminating[colour][*pending];
  w.put(c.bits, c.length);
  *pending = -1;
  return true;
}

int32_t stopFull(PxlCcittEncoderState *s, BitWriter &w, uint8_t *start, uint8_t **cursor) {
  w.writeBytes();
  ccitt_detail::stopWriting(s, w, start);
  *cursor = w.p;
  return PXL_ERR_OVERFLOW;
}

}  // namespace

int32_t pxlEncodeCcitt2DLine(PxlCcittEncoderState *s, uint8_t **cursor, uint8_t *end) {
  const ccitt::EncodeTable &t = ccitt::encodeTable();
  const int32_t width = s->width;
  const PxlRowRun *cur = ccitt_detail::codingLine(s);
  const PxlRowRun *ref = ccitt_detail::referenceLine(s);
  uint8_t *start = *cursor;
  BitWriter w = ccitt_detail::startWriting(s, *cursor, end);
  int32_t ci = s->codingIndex, ri = s->referenceIndex, a0 = s->a0, colour = s->colour;

  if (s->step == kStepIdle) {
    a0 = -1, ci = 0, ri = 0, colour = 0;
    s->step = kStep2DDecide;
  }
  auto save = [&] { s->codingIndex = ci, s->referenceIndex = ri, s->a0 = a0, s->colour = colour; };

  while (a0 < width) {
    if (s->step == kStep2DDecide) {
      while (cur[ci].end < a0) ++ci;
      while (ref[ri].end < a0) ++ri;
      int32_t a1, a2, b1, b2;
      if (colour == 0) {
        a1 = cur[ci].start, a2 = cur[ci].end + 1;
        const PxlRowRun &b = ref[ri].start > a0 ? ref[ri] : ref[ri + 1];
        b1 = b.start, b2 = b.end + 1;
      } else {
        a1 = cur[ci].end + 1, a2 = cur[ci + 1].start;
        b1 = ref[ri].end + 1, b2 = ref[ri + 1].start;
      }
      if (!w.makeRoom()) {
        save();
        return stopFull(s, w, start, cursor);
      }
      if (b2 < a1) {
        const ccitt::Code c = t.mode[ccitt::kModePass];
        w.put(c.bits, c.length);
        a0 = b2;
        continue;
      }
      const int32_t d = a1 - b1;
      if (d >= -3 && d <= 3) {
        static constexpr ccitt::Mode kVertical[7] = {
            ccitt::kModeVL3, ccitt::kModeVL2, ccitt::kModeVL1, ccitt::kModeV0,
            ccitt::kModeVR1, ccitt::kModeVR2, ccitt::kModeVR3};
        const ccitt::Code c = t.mode[kVertical[d + 3]];
        w.put(c.bits, c.length);
        a0 = a1;
        colour ^= 1;
        continue;
      }
      const ccitt::Code c = t.mode[ccitt::kModeHorizontal];
      w.put(c.bits, c.length);
      s->pending = a1 - (a0 < 0 ? 0 : a0);
      s->horizontalMid = a1;
      s->horizontalEnd = a2;
      s->step = kStep2DFirstRun;
    }
    if (s->step == kStep2DFirstRun) {
      if (!putRun(w, t, colour, &s->pending)) {
        save();
        return stopFull(s, w, start, cursor);
      }
      s->pending = s->horizontalEnd - s->horizontalMid;
      s->step = kStep2DSecondRun;
    }
    if (!putRun(w, t, colour ^ 1, &s->pending)) {
      save();
      return stopFull(s, w, start, cursor);
    }
    a0 = s->horizontalEnd;
    s->step = kStep2DDecide;
  }
  s->step = kStepIdle;
  save();
  ccitt_detail::stopWriting(s, w, start);
  *cursor = w.p;
  return PXL_OK;
}

int32_t pxlEncodeCcitt1DLine(PxlCcittEncoderState *s, int32_t alignment, uint8_t **cursor,
                             uint8_t *end) {
  const ccitt::EncodeTable &t = ccitt::encodeTable();
  const int32_t width = s->width;
  const PxlRowRun *cur = ccitt_detail::codingLine(s);
  uint8_t *start = *cursor;
  BitWriter w = ccitt_detail::startWriting(s, *cursor, end);
  int32_t ci = s->codingIndex, a0 = s->a0;

  if (s->step == kStepIdle) {
    a0 = 0, ci = 0;
    s->pending = -1;
    s->step = kStep1DWhite;
  }
  while (a0 < width) {
    const bool white = s->step == kStep1DWhite;
    if (s->pending < 0) s->pending = white ? cur[ci].start - a0 : cur[ci].end - cur[ci].start + 1;
    if (!putRun(w, t, white ? 0 : 1, &s->pending)) {
      s->codingIndex = ci, s->a0 = a0;
      return stopFull(s, w, start, cursor);
    }
    if (white) {
      a0 = cur[ci].start;
      s->step = kStep1DBlack;
    } else {
      a0 = cur[ci].end + 1;
      ++ci;
      s->step = kStep1DWhite;
    }
  }
  if (!w.makeRoom()) {  // rare: the last code filled the room; align in the next buffer
    s->codingIndex = ci, s->a0 = a0;
    return stopFull(s, w, start, cursor);
  }
  if (alignment == PXL_CCITT_ALIGN_BYTE) {
    w.bits = (w.bits + 7) & ~7;
  } else if (alignment == PXL_CCITT_ALIGN_WORD) {
    const int64_t position = (s->bytesOut + (w.p - start)) * 8 + w.bits;
    w.bits += static_cast<int32_t>((16 - position % 16) % 16);
  }
  s->step = kStepIdle;
  s->codingIndex = ci, s->a0 = a0;
  ccitt_detail::stopWriting(s, w, start);
  *cursor = w.p;
  return PXL_OK;
}

int32_t pxlPutCcittEol(PxlCcittEncoderState *s, int32_t alignment, int32_t tagKind,
                       uint8_t **cursor, uint8_t *end) {
  if (s->step != kStepIdle && s->step != kStepEol) return PXL_OK;
  if (tagKind < 0 || tagKind > 2) return PXL_ERR_PARAM;
  uint8_t *start = *cursor;
  BitWriter w = ccitt_detail::startWriting(s, *cursor, end);
  if (!w.makeRoom()) {
    s->step = kStepEol;
    return stopFull(s, w, start, cursor);
  }
  if (alignment == PXL_CCITT_ALIGN_BYTE) w.bits += (12 - w.bits % 8) % 8;  // EOL ends a byte
  w.put(ccitt::kEol.bits, ccitt::kEol.length);
  if (tagKind != 0) w.put(tagKind == 1 ? 1 : 0, 1);
  s->step = kStepIdle;
  ccitt_detail::stopWriting(s, w, start);
  *cursor = w.p;
  return PXL_OK;
}

int32_t pxlPadCcittBits(PxlCcittEncoderState *s, uint8_t **cursor, uint8_t *end) {
  if (s->step != kStepIdle && s->step != kStepPadding) return PXL_OK;
  uint8_t *start = *cursor;
  BitWriter w = ccitt_detail::startWriting(s, *cursor, end);
  w.bits = (w.bits + 7) & ~7;
  w.writeBytes();
  s->step = w.bits > 0 ? kStepPadding : kStepIdle;
  ccitt_detail::stopWriting(s, w, start);
  *cursor = w.p;
  return w.bits > 0 ? PXL_ERR_OVERFLOW : PXL_OK;
}
