// The frame shared by the CCITT row workers: argument and resume checks, the loop over rows,
// painting decoded rows and listing rows to encode, and the progress out-parameters, which
// every return path writes.
#ifndef NORV_CCITT_WORKERS_H
#define NORV_CCITT_WORKERS_H

#include "ccitt_state.h"

namespace ccitt_detail {

struct DecodeCall {
  uint8_t *data;
  int32_t firstRow, lineCount, bytesPerRow, orFlag;
  const uint8_t *input;
  int32_t inputLength, resumeLines, resumeBits, final;
  int32_t *done, *usedUp, *percent, *consumed;
  int32_t leftFrameBytes = 4;  // bytes before pixel 0 of a row: the 32-pixel frame, or 0
};

// Resets the bit stream of a decoder: no bits held, nothing suspended, an all-white reference.
inline void restartDecoderBits(PxlCcittDecoderState *s) {
  s->step = 0, s->selector = 0, s->codingIndex = 0, s->referenceIndex = 0;
  s->accumulator = 0, s->bits = 0, s->a0 = 0, s->bytesIn = 0, s->pendingSkip = 0;
  s->lineTag = 1;
  s->bitStateValid = 1;
  terminate(referenceLine(s), s->width);
}

// Paints a decoded line into a row. Its empty runs (start - 1 = end) stay in the line, whose
// next use is as a reference, and are left out of the painting: when there are any, the other
// runs are copied to the reference line first, which no later row reads (the next row takes
// this line as its reference, or none).
inline int32_t paintLine(PxlCcittDecoderState *s, uint8_t *row, const PxlRowRun *line,
                         const PxlRowRun *end, int32_t orFlag) {
  const PxlRowRun *r = line;
  while (r < end && r->start <= r->end) ++r;
  if (r < end) {
    PxlRowRun *out = referenceLine(s);
    for (r = line; r < end; ++r)
      if (r->start <= r->end) *out++ = *r;
    line = referenceLine(s);
    end = out;
  }
  return pxlRunsToRow(0, reinterpret_cast<uint32_t *>(row), s->width, line, end, orFlag);
}

// Decodes rows with decodeRow(state, &cursor, end, &runEnd) -> status; `flips` says whether
// each decoded row becomes the reference of the next.
template <typename DecodeRow>
int32_t decodeRows(PxlCcittDecoderState *s, const DecodeCall &c, bool flips, DecodeRow decodeRow) {
  if (c.done == nullptr || c.usedUp == nullptr || c.percent == nullptr || c.consumed == nullptr)
    return PXL_ERR_PARAM;
  *c.done = 0, *c.usedUp = 0, *c.consumed = 0, *c.percent = 0;
  if (s == nullptr || c.input == nullptr || c.inputLength < 0 || c.lineCount < 0)
    return PXL_ERR_PARAM;
  if (c.resumeLines == 0) {
    s->linesDone = 0;
    s->linesOpen = 1;
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (c.resumeBits == 0)
    restartDecoderBits(s);
  else if (!s->bitStateValid)
    return PXL_ERR_PARAM;

  const uint8_t *cursor = c.input;
  const uint8_t *end = c.input + c.inputLength;
  int32_t status = PXL_OK;
  while (s->linesDone < c.lineCount) {
    PxlRowRun *runEnd = nullptr;
    status = decodeRow(s, &cursor, end, &runEnd);
    if (status == PXL_OK) {
      PxlRowRun *line = codingLine(s);
      terminate(runEnd, s->width);
      if (c.data != nullptr) {
        uint8_t *row = c.data + static_cast<int64_t>(c.firstRow + s->linesDone) * c.bytesPerRow +
                       c.leftFrameBytes;
        status = paintLine(s, row, line, runEnd, c.orFlag);
        if (status != PXL_OK) break;
      }
      ++s->linesDone;
      if (flips) s->selector ^= 1;
      continue;
    }
    break;
  }
  *c.consumed = static_cast<int32_t>(cursor - c.input);
  *c.percent = percentOf(s->linesDone, c.lineCount);
  if (status == PXL_OK) {
    s->lastSelector = flips ? s->selector ^ 1 : 0;
    *c.done = 1;
    *c.usedUp = cursor == end;
    return PXL_OK;
  }
  if (status == PXL_ERR_OVERFLOW) {
    *c.usedUp = 1;
    if (c.final) s->linesOpen = 0, s->bitStateValid = 0;
    return status;
  }
  s->bitStateValid = 0;  // corrupt data: the stream cannot be continued
  return status;
}

struct EncodeCall {
  const uint8_t *data;
  int32_t fullWidth, firstRow, rowCount, bytesPerRow;
  uint8_t *output;
  int32_t outputSize, resumeLines, resumeBits;
  int32_t *done, *outputFull, *percent, *written;
};

// Encodes rows with encodeRow(state, &cursor, end) -> 0 (row done, bookkeeping included) or 7
// (output full); each row's runs are listed into the coding line when no row is in progress.
template <typename EncodeRow>
int32_t encodeRows(PxlContext *ctx, PxlCcittEncoderState *s, const EncodeCall &c,
                   EncodeRow encodeRow) {
  if (c.done == nullptr || c.outputFull == nullptr || c.percent == nullptr || c.written == nullptr)
    return PXL_ERR_PARAM;
  *c.done = 0, *c.outputFull = 0, *c.percent = 0, *c.written = 0;
  if (s == nullptr || c.output == nullptr || c.data == nullptr || c.outputSize <= 0 ||
      c.rowCount < 0)
    return PXL_ERR_PARAM;
  if (c.fullWidth - 64 < 1) {
    *c.done = 1, *c.percent = 100;
    return PXL_OK;
  }
  if (c.fullWidth - 64 != s->width) return PXL_ERR_PARAM;
  if (c.resumeLines == 0) {
    s->linesDone = 0, s->selector = 0, s->codingIndex = 0, s->referenceIndex = 0;
    s->linesOpen = 1;
    s->kCountdown = s->k;
    terminate(referenceLine(s), s->width);
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (c.resumeBits == 0) {
    s->step = 0, s->accumulator = 0, s->bits = 0, s->a0 = 0, s->bytesOut = 0;
    s->bitStateValid = 1;
  } else if (!s->bitStateValid) {
    return PXL_ERR_PARAM;
  }

  uint8_t *cursor = c.output;
  uint8_t *end = c.output + c.outputSize;
  while (s->linesDone < c.rowCount) {
    if (s->step == 0) {
      const uint8_t *row =
          c.data + static_cast<int64_t>(c.firstRow + s->linesDone) * c.bytesPerRow + 4;
      PxlRowRun *line = codingLine(s);
      PxlRowRun *runEnd = nullptr;
      const int32_t status = pxlRowToRuns(ctx, reinterpret_cast<const uint32_t *>(row),
                                          s->width - 1, 0, line, s->capacity, 0, &runEnd);
      if (status != PXL_OK) return status;
      terminate(runEnd, s->width);
    }
    if (encodeRow(s, &cursor, end) != PXL_OK) {
      *c.outputFull = 1;
      *c.percent = percentOf(s->linesDone, c.rowCount);
      *c.written = static_cast<int32_t>(cursor - c.output);
      return PXL_OK;
    }
  }
  *c.done = 1;
  *c.outputFull = cursor == end;
  *c.percent = 100;
  *c.written = static_cast<int32_t>(cursor - c.output);
  return PXL_OK;
}

}  // namespace ccitt_detail

#endif
