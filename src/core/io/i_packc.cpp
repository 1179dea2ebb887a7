// PackBits encoding of framed rows: each row is cut into literal and repeat stretches, which
// are written as pieces of at most 128 bytes, resumably byte by byte.
//
// Stretches, left to right: runs of three or more equal bytes are repeats; single bytes are
// literals; a run of two is merged into the literal around it when a literal byte precedes it
// and the byte after it is a single byte, else it is a repeat. A repeat longer than 128 whose
// last piece would be one byte gives that byte to the literal that follows (at the end of the
// row it becomes a literal of its own). Runs and the next equal pair are found eight bytes
// at a time.
#include "packbits_state.h"
#include "pxl_internal.h"

using packbits_detail::encoderRow;
using packbits_detail::encoderSegments;

namespace {

enum Step : int32_t {
  kBetweenRows = 0,
  kLiteralHeader = 1,
  kLiteralData = 2,
  kRepeatHeader = 3,
  kRepeatByte = 4,
  kSegmentStart = 5,
};

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

uint64_t load64(const uint8_t *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Length of the run of bytes equal to b[at] from at (at most n - at).
int32_t runLength(const uint8_t *b, int32_t at, int32_t n) {
  const uint64_t splat = b[at] * kOnes;
  int32_t i = at;
  for (;;) {
    const uint64_t x = load64(b + i) ^ splat;
    if (x != 0) {
      i += __builtin_ctzll(x) >> 3;
      break;
    }
    i += 8;
    if (i >= n) break;
  }
  return (i < n ? i : n) - at;
}

// First j >= at with b[j] == b[j + 1] and j + 1 < n, or n.
int32_t nextEqualPair(const uint8_t *b, int32_t at, int32_t n) {
  for (int32_t i = at; i + 1 < n; i += 8) {
    const uint64_t x = load64(b + i) ^ load64(b + i + 1);
    const uint64_t zero = (x - kOnes) & ~x & kHighs;
    if (zero != 0) {
      const int32_t j = i + (__builtin_ctzll(zero) >> 3);
      return j + 1 < n ? j : n;
    }
  }
  return n;
}

// Cuts the row into stretches; returns their count.
int32_t segmentRow(const uint8_t *b, int32_t n, PxlPackBitsSegment *out) {
  int32_t count = 0;
  int32_t literalStart = -1;
  auto closeLiteral = [&](int32_t end) {
    if (literalStart >= 0) out[count++] = PxlPackBitsSegment{literalStart, end - literalStart};
    literalStart = -1;
  };
  int32_t at = 0;
  while (at < n) {
    const int32_t length = runLength(b, at, n);
    if (length == 1) {
      const int32_t pair = nextEqualPair(b, at, n);
      if (literalStart < 0) literalStart = at;
      at = pair;
      continue;
    }
    if (length == 2 && literalStart >= 0 && at + 2 < n && runLength(b, at + 2, n) == 1) {
      at += 2;  // merged into the literal
      continue;
    }
    closeLiteral(at);
    if (length > 128 && length % 128 == 1) {
      out[count++] = PxlPackBitsSegment{at, -(length - 1)};
      literalStart = at + length - 1;
    } else {
      out[count++] = PxlPackBitsSegment{at, -length};
    }
    at += length;
  }
  closeLiteral(n);
  return count;
}

// Writes the stretches of the listed row; false when the output filled first.
bool writeRow(PxlPackBitsEncoderState *s, uint8_t **cursor, uint8_t *end) {
  const uint8_t *row = encoderRow(s);
  const PxlPackBitsSegment *segments = encoderSegments(s);
  uint8_t *p = *cursor;
  bool finished = false;
  for (;;) {
    if (s->step == kSegmentStart) {
      if (s->segment == s->segmentCount) {
        finished = true;
        break;
      }
      const PxlPackBitsSegment &g = segments[s->segment];
      s->position = g.start;
      s->remaining = g.length > 0 ? g.length : -g.length;
      s->step = g.length > 0 ? kLiteralHeader : kRepeatHeader;
    }
    if (s->step == kLiteralHeader || s->step == kRepeatHeader) {
      if (s->remaining == 0) {
        ++s->segment;
        s->step = kSegmentStart;
        continue;
      }
      if (p == end) break;
      const int32_t k = s->remaining < 128 ? s->remaining : 128;
      s->remaining -= k;
      if (s->step == kLiteralHeader) {
        *p++ = static_cast<uint8_t>(k - 1);
        s->pending = k;
        s->step = kLiteralData;
      } else {
        *p++ = static_cast<uint8_t>(1 - k);
        s->step = kRepeatByte;
      }
      continue;
    }
    if (p == end) break;
    if (s->step == kRepeatByte) {
      *p++ = row[s->position];
      s->step = kRepeatHeader;
      continue;
    }
    const int32_t room = static_cast<int32_t>(end - p);
    const int32_t c = s->pending < room ? s->pending : room;
    std::memcpy(p, row + s->position, static_cast<size_t>(c));
    p += c;
    s->position += c;
    s->pending -= c;
    if (s->pending == 0) s->step = kLiteralHeader;
  }
  *cursor = p;
  return finished;
}

}  // namespace

extern "C" {

int32_t pxlGetPackBitsEncoderStateSize(PxlContext *, int32_t fullWidth, int32_t depth,
                                       int32_t *size) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return PXL_ERR_DEPTH;
  const int64_t n = packbits_detail::rowBytesOf(int64_t{fullWidth} - 64, depth);
  if (size == nullptr || fullWidth < 64 || n > packbits_detail::kMaxRowBytes) return PXL_ERR_PARAM;
  *size = static_cast<int32_t>(sizeof(PxlPackBitsEncoderState) + packbits_detail::paddedRow(n) +
                               (n + 1) * sizeof(PxlPackBitsSegment));
  return PXL_OK;
}

int32_t pxlInitPackBitsEncoderState(PxlContext *ctx, PxlPackBitsEncoderState *state,
                                    int32_t fullWidth, int32_t depth, int32_t size) {
  int32_t need = 0;
  const int32_t status = pxlGetPackBitsEncoderStateSize(ctx, fullWidth, depth, &need);
  if (status != PXL_OK) return status;
  if (state == nullptr || size < need) return PXL_ERR_PARAM;
  std::memset(state, 0, static_cast<size_t>(need));
  state->rowBytes =
      static_cast<int32_t>(packbits_detail::rowBytesOf(int64_t{fullWidth} - 64, depth));
  state->depth = depth;
  state->width = fullWidth - 64;
  state->size = size;
  return PXL_OK;
}

int32_t pxlEncodePackBitsLines(PxlContext *, PxlPackBitsEncoderState *s, const uint8_t *framedData,
                               int32_t fullWidth, int32_t firstRow, int32_t rowCount, int32_t depth,
                               int32_t bytesPerRow, uint8_t *output, int32_t outputSize,
                               int32_t resumeLines, int32_t resumeBits, int32_t keepOffsets,
                               int32_t close, int32_t *done, int32_t *outputFull, int32_t *percent,
                               int32_t *written, int32_t *rowOffsets) {
  if (done == nullptr || outputFull == nullptr || percent == nullptr || written == nullptr)
    return PXL_ERR_PARAM;
  *done = 0, *outputFull = 0, *percent = 0, *written = 0;
  if (s == nullptr || output == nullptr || framedData == nullptr || outputSize <= 0 || rowCount < 0)
    return PXL_ERR_PARAM;
  if (fullWidth - 64 != s->width || depth != s->depth) return PXL_ERR_PARAM;
  if (s->rowBytes == 0) {
    *done = 1, *percent = 100;
    return PXL_OK;
  }
  if (resumeLines == 0) {
    s->linesDone = 0;
    s->linesOpen = 1;
    s->step = kBetweenRows;
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (resumeBits == 0) {
    s->step = kBetweenRows, s->pending = 0, s->remaining = 0, s->bytesOut = 0;
    s->bitStateValid = 1;
  } else if (!s->bitStateValid) {
    return PXL_ERR_PARAM;
  }
  if (keepOffsets == 0 && rowOffsets != nullptr) rowOffsets[0] = 0, s->offsetIndex = 0;

  uint8_t *cursor = output;
  uint8_t *end = output + outputSize;
  const int64_t rowWords = ((int64_t{s->rowBytes} + 3) & ~int64_t{3});
  while (s->linesDone < rowCount) {
    if (s->step == kBetweenRows) {
      const uint8_t *row =
          framedData + static_cast<int64_t>(firstRow + s->linesDone) * bytesPerRow + 4 * depth;
      packbits_detail::swapWords(encoderRow(s), row, rowWords);
      s->segmentCount = segmentRow(encoderRow(s), s->rowBytes, encoderSegments(s));
      s->segment = 0;
      s->step = kSegmentStart;
    }
    if (!writeRow(s, &cursor, end)) break;
    s->step = kBetweenRows;
    ++s->linesDone;
    if (rowOffsets != nullptr)
      rowOffsets[++s->offsetIndex] = static_cast<int32_t>(s->bytesOut + (cursor - output));
  }
  s->bytesOut += cursor - output;
  *written = static_cast<int32_t>(cursor - output);
  if (s->linesDone < rowCount) {
    *outputFull = 1;
    *percent = packbits_detail::percentOf(s->linesDone, rowCount);
    return PXL_OK;
  }
  *done = 1;
  *outputFull = cursor == end;
  *percent = 100;
  if (close) s->linesOpen = 0, s->bitStateValid = 0;
  return PXL_OK;
}

}  // extern "C"
