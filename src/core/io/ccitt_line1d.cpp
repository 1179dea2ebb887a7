// One-dimensional line decoder of ITU-T T.4 (modified Huffman runs, alternating white and
// black from a white run) and the EOL search used before every line of T.4 data: zeros
// before an EOL are fill and dropped; a line whose code follows the previous line without an
// EOL (as some fax software writes T.4 data) is decoded where it begins, keeping the coding
// the last tag bit named.
//
// Before each code, zeros beyond the eleven of an EOL are dropped (fill bits). An EOL met
// where a code is expected ends the row: inside a white run the rest is white, inside a
// black run that run reaches the end of the row. The EOL stays in the stream for the next
// search. Runs add up their make-up codes; a run past the width gives 15, and so does a row
// with more runs than a line of its width holds. At the end of a row the bits up to the
// alignment boundary are dropped (a byte for alignment 0, 16 bits of the stream for 1);
// what cannot be dropped yet is dropped when the next row starts. After a failure the state's
// coding index counts the runs of the row stored before it (0 between rows).
#include "ccitt_state.h"
#include "pxl_ccitt_codes.h"

using ccitt_detail::BitReader;
using ccitt_detail::Lookup;

namespace {

constexpr int32_t kEolBits = 12;

enum class Zeros { kCode, kEol, kNeedMore };

// Drops zeros so that at most eleven precede the next 1 bit, and says whether an EOL
// (eleven zeros and a one) comes next.
Zeros skipFill(BitReader &r, bool final) {
  for (;;) {
    r.refill();
    if (r.bits < kEolBits) return final ? Zeros::kCode : Zeros::kNeedMore;
    const uint64_t v = r.validBits();
    if ((v >> (64 - kEolBits)) == 1) return Zeros::kEol;
    if ((v >> (64 - kEolBits)) != 0) return Zeros::kCode;
    const int zeros = v ? __builtin_clzll(v) : r.bits;
    r.consume((zeros < r.bits ? zeros : r.bits) - (kEolBits - 1));
  }
}

// Bit position in the stream of the next bit to read.
int64_t streamPosition(const PxlCcittDecoderState *s, const BitReader &r,
                       const uint8_t *chunkStart) {
  return (s->bytesIn + (r.p - chunkStart)) * 8 - r.bits;
}

// Drops up to `*skip` bits; true when none is left to drop.
bool dropPending(BitReader &r, int32_t *skip, bool final) {
  while (*skip > 0) {
    r.refill();
    if (r.bits == 0) {
      if (!final) return false;
      *skip = 0;
      break;
    }
    const int32_t n = *skip < r.bits ? *skip : r.bits;
    r.consume(n);
    *skip -= n;
  }
  return true;
}

}  // namespace

int32_t pxlDecodeCcitt1DLine(PxlCcittDecoderState *s, int32_t alignment, int32_t finalFlag,
                             const uint8_t **cursor, const uint8_t *end, PxlRowRun **runEnd) {
  const bool final = finalFlag != 0;
  const int32_t width = s->width;
  PxlRowRun *cur = ccitt_detail::codingLine(s);
  const uint8_t *chunkStart = *cursor;
  BitReader r = ccitt_detail::startReading(s, *cursor, end);
  int32_t step = s->step, ci = s->codingIndex, a0 = s->a0, runLength = s->runLength;
  int32_t skip = s->pendingSkip;
  int32_t status = PXL_OK;

  auto suspend = [&] {
    s->step = step, s->codingIndex = ci, s->a0 = a0, s->runLength = runLength;
    s->pendingSkip = skip;
    status = PXL_ERR_OVERFLOW;
  };

  if (step == 0) {
    if (!dropPending(r, &skip, final)) {
      suspend();
      goto leave;
    }
    a0 = 0, ci = 0, runLength = 0;
    step = 1;
    if (width <= 0) goto row_done;
  }

  for (;;) {
    const bool isWhite = step == 1;
    const Zeros z = skipFill(r, final);
    if (z == Zeros::kNeedMore) {
      suspend();
      goto leave;
    }
    if (z == Zeros::kEol) {
      if (!isWhite) {
        if (ci >= s->capacity) goto corrupt;
        cur[ci++] = PxlRowRun{a0, width - 1};
      }
      goto row_done;
    }
    uint16_t e = 0;
    const Lookup found =
        isWhite ? ccitt_detail::lookupCode(r, ccitt::whiteLookup(), ccitt::kWhiteBits, final, &e)
                : ccitt_detail::lookupCode(r, ccitt::blackLookup(), ccitt::kBlackBits, final, &e);
    if (found == Lookup::kNeedMore) {
      suspend();
      goto leave;
    }
    if (found == Lookup::kBad) {
      status = ccitt_detail::badCodeStatus(r, final);
      s->codingIndex = ci;
      goto leave;
    }
    r.consume(ccitt::entryLength(e));
    runLength += ccitt::entryValue(e);
    if (a0 + runLength > width) goto corrupt;
    if (ccitt::entryValue(e) >= 64) continue;
    if (!isWhite && (runLength > 0 || ci < s->capacity)) {  // empty runs: see ccitt_line2d.cpp
      if (ci >= s->capacity) goto corrupt;
      cur[ci++] = PxlRowRun{a0, a0 + runLength - 1};
    }
    a0 += runLength;
    runLength = 0;
    step = isWhite ? 2 : 1;
    if (a0 >= width) goto row_done;
  }

corrupt:
  status = PXL_ERR_DECODE;
  s->codingIndex = ci;
  goto leave;

row_done : {
  const int64_t position = streamPosition(s, r, chunkStart);
  skip = alignment == PXL_CCITT_ALIGN_BYTE   ? static_cast<int32_t>((8 - position % 8) % 8)
         : alignment == PXL_CCITT_ALIGN_WORD ? static_cast<int32_t>((16 - position % 16) % 16)
                                             : 0;
  dropPending(r, &skip, false);
  s->pendingSkip = skip;
  s->step = 0;
  s->codingIndex = 0;
  s->a0 = a0;
  *runEnd = cur + ci;
  status = PXL_OK;
}

leave:
  ccitt_detail::stopReading(s, r, chunkStart);
  *cursor = r.p;
  return status;
}

int32_t pxlFindCcittEol(PxlCcittDecoderState *s, int32_t twoDimensional, int32_t finalFlag,
                        const uint8_t **cursor, const uint8_t *end, int32_t *lineTag) {
  const bool final = finalFlag != 0;
  if (s->step != 0 && s->step != 9) return PXL_OK;  // resuming inside a line

  const uint8_t *chunkStart = *cursor;
  BitReader r = ccitt_detail::startReading(s, *cursor, end);
  const int need = twoDimensional ? kEolBits + 1 : kEolBits;
  int32_t status = PXL_OK;
  for (;;) {
    r.refill();
    const uint64_t v = r.validBits();
    if (v != 0 && __builtin_clzll(v) < kEolBits - 1) {  // a line coded without an EOL begins
      s->step = 0;
      break;
    }
    if (r.bits < need) {
      s->step = final ? 0 : 9;
      status = PXL_ERR_OVERFLOW;
      break;
    }
    if ((v >> (64 - kEolBits)) == 1) {
      r.consume(kEolBits);
      if (twoDimensional) {
        *lineTag = (r.acc >> 63) ? 1 : 2;
        r.consume(1);
      }
      s->step = 0;
      break;
    }
    const int zeros = v ? __builtin_clzll(v) : r.bits;
    r.consume(zeros - (kEolBits - 1));  // fill zeros before an EOL, keeping its eleven
  }
  ccitt_detail::stopReading(s, r, chunkStart);
  *cursor = r.p;
  return status;
}
