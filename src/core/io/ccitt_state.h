// State records of the CCITT row codecs, the bit reader and writer they share, and the line
// coders under the workers.
//
// A record is laid out in the caller's buffer: the fixed fields, then two line buffers of run
// lists (PxlRowRun, black runs in increasing x), each preceded by a guard run (-1, -1) and with
// room for `capacity` runs and two terminators (width, width - 1) and (width, 2147483647).
// The selector names the buffer that receives the line being coded; the other holds the
// reference line. Buffers are addressed by byte offsets, so the record may be moved.
//
// Bits: the reader and writer keep up to 64 bits in an accumulator whose most significant bit
// is the next bit of the stream; `bits` counts the valid ones. Whole bytes enter and leave,
// so `bits` modulo 8 gives the position inside the current byte. Codes are consumed whole, so
// a call that runs out of input or output stops between codes and resumes there.
#ifndef NORV_CCITT_STATE_H
#define NORV_CCITT_STATE_H

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "pxl_ccitt.h"

struct PxlCcittDecoderState {
  int32_t width;      // line width in pixels
  int32_t linesOpen;  // an image was started and may be continued
  int32_t linesDone;
  int32_t buffer0;  // byte offsets of the two line buffers (first run, after the guard)
  int32_t buffer1;
  int32_t selector;        // 0: buffer 0 receives the coding line, buffer 1 is the reference
  int32_t lastSelector;    // the buffer holding the last decoded line
  int32_t codingIndex;     // runs stored in the coding line so far
  int32_t referenceIndex;  // first reference run that ends at or after a0
  int32_t lineTag;         // T.4: 1 one-dimensional line follows, 2 two-dimensional
  int32_t alignment;
  int32_t twoDimensional;
  int32_t bitStateValid;
  int32_t step;  // 0 between lines; where a suspended line decoder resumes
  int32_t bits;
  int32_t a0;
  uint64_t accumulator;
  int32_t runStart;       // start of the black run being built
  int32_t runLength;      // run length read so far (make-up codes added up)
  int32_t horizontalEnd;  // end of the first run of a horizontal mode
  int32_t capacity;       // runs a line buffer holds besides its terminators
  int64_t bytesIn;        // bytes taken since the bit stream started
  int32_t pendingSkip;    // alignment bits still to drop before the next row
  int32_t size;           // bytes of the record as set up
};

struct PxlCcittEncoderState {
  int32_t width;
  int32_t linesOpen;
  int32_t linesDone;
  int32_t buffer0;
  int32_t buffer1;
  int32_t selector;
  int32_t codingIndex;
  int32_t referenceIndex;
  int32_t kCountdown;  // lines left in the current group of K lines
  int32_t k;
  int32_t alignment;
  int32_t twoDimensional;
  int32_t bitStateValid;
  int32_t step;  // 0 between steps; 1-2 inside a 1-D line, 10-12 inside a 2-D line,
                 // 16 before an EOL, 18 inside the final padding
  int32_t bits;
  int32_t a0;
  uint64_t accumulator;
  int32_t pending;        // run length still to be coded
  int32_t horizontalEnd;  // a2 of the horizontal mode being coded
  int32_t colour;         // colour of the run being coded (1-D) or of a0 (2-D): 0 white
  int32_t capacity;
  int32_t horizontalMid;  // a1 of the horizontal mode being coded
  int32_t size;
  int64_t bytesOut;  // bytes written since the bit stream started
};

namespace ccitt_detail {

constexpr int32_t kRunTerminatorEnd = 2147483647;
// Widest line the codecs accept: run lists and sizes stay far inside 32 bits.
constexpr int32_t kMaxWidth = 1 << 24;

inline PxlRowRun *lineBuffer(void *state, int32_t offset) {
  return reinterpret_cast<PxlRowRun *>(static_cast<uint8_t *>(state) + offset);
}

template <typename State>
PxlRowRun *codingLine(State *s) {
  return lineBuffer(s, s->selector ? s->buffer1 : s->buffer0);
}
template <typename State>
PxlRowRun *referenceLine(State *s) {
  return lineBuffer(s, s->selector ? s->buffer0 : s->buffer1);
}

// Appends the two terminators of a line of the given width at `end`.
inline void terminate(PxlRowRun *end, int32_t width) {
  end[0] = PxlRowRun{width, width - 1};
  end[1] = PxlRowRun{width, kRunTerminatorEnd};
}

// Bytes of a record with two line buffers for the line width.
inline int64_t recordSize(int64_t fixed, int32_t width) {
  const int64_t runs = (static_cast<int64_t>(width) + 1) / 2 + 3;  // guard + 2 terminators
  return fixed + 2 * runs * static_cast<int64_t>(sizeof(PxlRowRun));
}

// Lays out the two line buffers behind the fixed fields; each holds an all-white line.
template <typename State>
void layOutBuffers(State *s, int32_t width) {
  const int32_t capacity = (width + 1) / 2;
  const auto stride = static_cast<int32_t>((capacity + 3) * sizeof(PxlRowRun));
  s->capacity = capacity;
  s->buffer0 = static_cast<int32_t>(sizeof(State) + sizeof(PxlRowRun));
  s->buffer1 = s->buffer0 + stride;
  for (int32_t offset : {s->buffer0, s->buffer1}) {
    PxlRowRun *line = lineBuffer(s, offset);
    std::memset(line, 0, static_cast<size_t>(stride - sizeof(PxlRowRun)));
    line[-1] = PxlRowRun{-1, -1};
    terminate(line, width);
  }
}

// Reads the stream a whole number of bytes at a time.
struct BitReader {
  uint64_t acc;
  int32_t bits;
  const uint8_t *p;
  const uint8_t *end;

  void refill() {
    if (bits > 56) return;
    if (end - p >= 8) {
      uint64_t v;
      std::memcpy(&v, p, 8);
      acc |= __builtin_bswap64(v) >> bits;
      p += (63 - bits) >> 3;
      bits |= 56;
    } else {
      while (bits <= 56 && p < end) {
        acc |= static_cast<uint64_t>(*p++) << (56 - bits);
        bits += 8;
      }
    }
  }
  // Consumes n bits; bits past the end of final data read as zeros.
  void consume(int n) {
    acc <<= n;
    bits = bits > n ? bits - n : 0;
  }
  uint64_t validBits() const { return bits ? acc & (~uint64_t{0} << (64 - bits)) : 0; }
  // True when no 1 bit is left in the accumulator or the rest of the input.
  bool restIsZero() const {
    if (validBits() != 0) return false;
    for (const uint8_t *q = p; q < end; ++q)
      if (*q) return false;
    return true;
  }
};

enum class Lookup { kCode, kNeedMore, kBad };

// Looks the next code up in a table indexed by `width` bits. A code is taken when its bits
// are all held, or, with final data, when the zeros past the end complete it.
inline Lookup lookupCode(BitReader &r, const uint16_t *table, int width, bool final,
                         uint16_t *entry) {
  if (r.bits < width) r.refill();
  const uint16_t e = table[r.acc >> (64 - width)];
  const int length = e >> 12;
  if (length != 0 && length <= r.bits) {
    *entry = e;
    return Lookup::kCode;
  }
  if (r.bits >= width || (final && length == 0)) return Lookup::kBad;
  if (!final) return Lookup::kNeedMore;
  *entry = e;
  return Lookup::kCode;
}

// Status of a bad code: final data whose remaining bits are all zero simply ended (7).
inline int32_t badCodeStatus(const BitReader &r, bool final) {
  return final && r.restIsZero() ? PXL_ERR_OVERFLOW : PXL_ERR_DECODE;
}

template <typename State>
BitReader startReading(const State *s, const uint8_t *p, const uint8_t *end) {
  return BitReader{s->accumulator, s->bits, p, end};
}
template <typename State>
void stopReading(State *s, const BitReader &r, const uint8_t *chunkStart) {
  s->accumulator = r.validBits();
  s->bits = r.bits;
  s->bytesIn += r.p - chunkStart;
}

// Writes the stream a whole number of bytes at a time.
struct BitWriter {
  uint64_t acc;
  int32_t bits;
  uint8_t *p;
  uint8_t *end;

  // Bits held at most before a code is added; a code, fill bits and a tag add at most 20.
  static constexpr int32_t kRoom = 40;

  void put(uint32_t code, int length) {
    acc |= static_cast<uint64_t>(code) << (64 - bits - length);
    bits += length;
  }
  // Writes whole bytes until at most kRoom bits are held; false when the output is full
  // first.
  bool makeRoom() {
    if (bits <= kRoom) return true;
    if (end - p >= 8) {
      const uint64_t v = __builtin_bswap64(acc);
      std::memcpy(p, &v, 8);
      const int n = bits >> 3;
      p += n;
      acc <<= n * 8;
      bits -= n * 8;
      return true;
    }
    writeBytes();
    return bits <= kRoom;
  }
  void writeBytes() {
    while (bits >= 8 && p < end) {
      *p++ = static_cast<uint8_t>(acc >> 56);
      acc <<= 8;
      bits -= 8;
    }
  }
};

inline BitWriter startWriting(const PxlCcittEncoderState *s, uint8_t *p, uint8_t *end) {
  return BitWriter{s->accumulator, s->bits, p, end};
}
inline void stopWriting(PxlCcittEncoderState *s, const BitWriter &w, const uint8_t *start) {
  s->accumulator = w.acc;
  s->bits = w.bits;
  s->bytesOut += w.p - start;
}

// Percent of lines done, 0 for an empty image.
inline int32_t percentOf(int32_t linesDone, int32_t lineCount) {
  return lineCount > 0 ? static_cast<int32_t>(static_cast<uint32_t>(linesDone) * 100u /
                                              static_cast<uint32_t>(lineCount))
                       : 100;
}

}  // namespace ccitt_detail

// Line coders (resumable; they neither poll nor report).
int32_t pxlDecodeCcitt2DLine(PxlCcittDecoderState *state, int32_t final, const uint8_t **cursor,
                             const uint8_t *end, PxlRowRun **runEnd);
int32_t pxlDecodeCcitt1DLine(PxlCcittDecoderState *state, int32_t alignment, int32_t final,
                             const uint8_t **cursor, const uint8_t *end, PxlRowRun **runEnd);
int32_t pxlFindCcittEol(PxlCcittDecoderState *state, int32_t twoDimensional, int32_t final,
                        const uint8_t **cursor, const uint8_t *end, int32_t *lineTag);
int32_t pxlEncodeCcitt2DLine(PxlCcittEncoderState *state, uint8_t **cursor, uint8_t *end);
int32_t pxlEncodeCcitt1DLine(PxlCcittEncoderState *state, int32_t alignment, uint8_t **cursor,
                             uint8_t *end);
int32_t pxlPutCcittEol(PxlCcittEncoderState *state, int32_t alignment, int32_t tagKind,
                       uint8_t **cursor, uint8_t *end);
int32_t pxlPadCcittBits(PxlCcittEncoderState *state, uint8_t **cursor, uint8_t *end);

#endif
