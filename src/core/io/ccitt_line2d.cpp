// Two-dimensional line decoder of ITU-T T.6 (identical to the two-dimensional lines of T.4):
// pass, horizontal and vertical modes against the reference line, into a run list.
//
// a0 is the current position on the coding line (-1 before the first pixel); the decoder is
// in the white phase (a0's colour is white) or the black phase (a black run started at
// runStart is open). The reference index names the first reference run that ends at or after
// a0, so b1 and b2 are read off that run or the next one:
//   white phase: b1 = the first run start > a0, b2 = that run's end + 1;
//   black phase: b1 = that run's end + 1, b2 = the next run's start.
// The terminators (width, width - 1), (width, max) make b1 = b2 = width past the last run.
//
// Steps (where a suspended call resumes): 0 line start, 3 mode code in the white phase,
// 4 and 5 the white then black run of a horizontal mode there, 6 mode code in the black
// phase, 7 and 8 the black then white run of a horizontal mode there.
//
// Corrupt data cannot overrun or loop: every step consumes bits; a changing element left of
// a0 (a1 < a0, or < 0 at the line start), a run past the width, and more runs than a line of
// the width can hold give 15. After a failure the state's coding index counts the runs of the
// line stored before it (0 between lines). An empty black run (a horizontal mode with a black run
// of 0, a vertical mode onto a0) is stored as (start, start - 1): it paints nothing, but the next
// line's b1 and b2 count its two changing elements, as the coders that write such codes do.
// A line whose list is full drops further empty runs (its capacity is that of a line without
// them).
#include "ccitt_state.h"
#include "pxl_ccitt_codes.h"

using ccitt_detail::BitReader;
using ccitt_detail::Lookup;

int32_t pxlDecodeCcitt2DLine(PxlCcittDecoderState *s, int32_t finalFlag, const uint8_t **cursor,
                             const uint8_t *end, PxlRowRun **runEnd) {
  const bool final = finalFlag != 0;
  const int32_t width = s->width;
  const uint16_t *modes = ccitt::modeLookup();
  const uint16_t *white = ccitt::whiteLookup();
  const uint16_t *black = ccitt::blackLookup();
  PxlRowRun *cur = ccitt_detail::codingLine(s);
  const PxlRowRun *ref = ccitt_detail::referenceLine(s);
  const uint8_t *chunkStart = *cursor;
  BitReader r = ccitt_detail::startReading(s, *cursor, end);

  int32_t step = s->step;
  int32_t ci = s->codingIndex, ri = s->referenceIndex;
  int32_t a0 = s->a0, runStart = s->runStart, runLength = s->runLength;
  int32_t hEnd = s->horizontalEnd;
  const int32_t capacity = s->capacity;
  int32_t status = PXL_OK;
  uint16_t e = 0;
  Lookup found = Lookup::kCode;

  auto store = [&](int32_t first, int32_t last) -> bool {
    if (ci >= capacity) return last < first;  // a full list drops empty runs
    cur[ci++] = PxlRowRun{first, last};
    return true;
  };
  auto advanceReference = [&] {
    while (ref[ri].end < a0) ++ri;
  };

  if (step == 0) {
    if (width <= 0) {
      *runEnd = cur;
      return PXL_OK;
    }
    a0 = -1, ci = 0, ri = 0, runStart = 0, runLength = 0;
    step = 3;
  }

  for (;;) {
    switch (step) {
      case 3: {  // mode code, white phase
        found = ccitt_detail::lookupCode(r, modes, ccitt::kModeBits, final, &e);
        if (found != Lookup::kCode) goto stopped_on_lookup;
        r.consume(ccitt::entryLength(e));
        const auto mode = static_cast<ccitt::Mode>(ccitt::entryValue(e));
        advanceReference();
        const PxlRowRun &b = ref[ri].start > a0 ? ref[ri] : ref[ri + 1];
        if (mode == ccitt::kModeHorizontal) {
          runLength = 0;
          step = 4;
          continue;
        }
        if (mode == ccitt::kModePass) {
          a0 = b.end + 1;
          if (a0 >= width) goto line_done;
          continue;
        }
        const int32_t a1 = b.start + ccitt::verticalOffset(mode);
        if (a1 < (a0 < 0 ? 0 : a0) || a1 > width) goto corrupt;
        a0 = a1;
        if (a0 >= width) goto line_done;
        runStart = a1;
        step = 6;
        continue;
      }
      case 6: {  // mode code, black phase
        found = ccitt_detail::lookupCode(r, modes, ccitt::kModeBits, final, &e);
        if (found != Lookup::kCode) goto stopped_on_lookup;
        r.consume(ccitt::entryLength(e));
        const auto mode = static_cast<ccitt::Mode>(ccitt::entryValue(e));
        advanceReference();
        if (mode == ccitt::kModeHorizontal) {
          runLength = 0;
          step = 7;
          continue;
        }
        if (mode == ccitt::kModePass) {
          a0 = ref[ri + 1].start;
          if (a0 >= width) {
            if (!store(runStart, width - 1)) goto corrupt;
            goto line_done;
          }
          continue;
        }
        const int32_t a1 = ref[ri].end + 1 + ccitt::verticalOffset(mode);
        if (a1 < a0 || a1 > width) goto corrupt;
        if (!store(runStart, a1 - 1)) goto corrupt;
        a0 = a1;
        if (a0 >= width) goto line_done;
        step = 3;
        continue;
      }
      case 4:    // horizontal, white phase: white run
      case 8: {  // horizontal, black phase: white run
        found = ccitt_detail::lookupCode(r, white, ccitt::kWhiteBits, final, &e);
        if (found != Lookup::kCode) goto stopped_on_lookup;
        r.consume(ccitt::entryLength(e));
        runLength += ccitt::entryValue(e);
        const int32_t from = step == 4 ? (a0 < 0 ? 0 : a0) : hEnd;
        if (from + runLength > width) goto corrupt;
        if (ccitt::entryValue(e) >= 64) continue;  // make-up code: the run goes on
        if (step == 4) {
          hEnd = from + runLength;
          runLength = 0;
          step = 5;
          continue;
        }
        a0 = runStart = hEnd + runLength;
        if (a0 >= width) goto line_done;
        step = 6;
        continue;
      }
      case 5:    // horizontal, white phase: black run
      case 7: {  // horizontal, black phase: black run
        found = ccitt_detail::lookupCode(r, black, ccitt::kBlackBits, final, &e);
        if (found != Lookup::kCode) goto stopped_on_lookup;
        r.consume(ccitt::entryLength(e));
        runLength += ccitt::entryValue(e);
        const int32_t from = step == 5 ? hEnd : a0;
        if (from + runLength > width) goto corrupt;
        if (ccitt::entryValue(e) >= 64) continue;
        if (step == 5) {
          if (!store(hEnd, hEnd + runLength - 1)) goto corrupt;
          a0 = hEnd + runLength;
          if (a0 >= width) goto line_done;
          step = 3;
          continue;
        }
        if (!store(runStart, a0 + runLength - 1)) goto corrupt;
        hEnd = a0 + runLength;
        runLength = 0;
        step = 8;
        continue;
      }
      default:
        goto corrupt;
    }
  }

stopped_on_lookup:
  if (found == Lookup::kBad) {
    status = ccitt_detail::badCodeStatus(r, final);
    s->codingIndex = ci;
    goto leave;
  }
  // Out of input inside the line: keep everything needed to resume at this code.
  s->step = step, s->codingIndex = ci, s->referenceIndex = ri;
  s->a0 = a0, s->runStart = runStart, s->runLength = runLength, s->horizontalEnd = hEnd;
  status = PXL_ERR_OVERFLOW;
  goto leave;

corrupt:
  status = PXL_ERR_DECODE;
  s->codingIndex = ci;
  goto leave;

line_done:
  s->step = 0;
  s->codingIndex = 0;
  s->a0 = a0;
  *runEnd = cur + ci;
  status = PXL_OK;

leave:
  ccitt_detail::stopReading(s, r, chunkStart);
  *cursor = r.p;
  return status;
}
