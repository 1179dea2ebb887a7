// Status codes, failure reports and memory helpers of the JBIG2 library.
//
// Every failure is reported once through the state's error sink (printer(stream, code, text))
// and returned: jbReport with a message of its own, qtz::report with the error table's text.
// Log lines go out with QTZ_MSG_REPORT only when the caller asked for verbose output. Memory
// comes from the state's hooks; jbAllocArray checks count x size for overflow.
#ifndef NORV_JBIG2_REPORT_H
#define NORV_JBIG2_REPORT_H

#include <cstddef>
#include <cstdint>
#include <limits>

#include "qtz_internal.h"
#include "qtz_state.h"

enum Jbig2Status : int32_t {
  kJbOk = 0,
  kJbNoMemory = 1,
  kJbParam = 2,
  kJbDecode = 15,
  kJbBadData = 107,
  kJbNull = 118,
  kJbShortWrite = 2001,
  kJbEndOfData = 2003,
  kJbAssert = 10003
};

// Limits on sizes read from a stream: each side of a page or region, and the pixels of one.
inline constexpr int64_t kJbMaxSide = int64_t{1} << 24;
inline constexpr int64_t kJbMaxPixels = int64_t{1} << 31;

// Reports printf-style text with code through the state's sink; returns code.
int32_t jbReport(const QtzState *state, int32_t code, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// A log line (QTZ_MSG_REPORT) when verbose.
void jbLog(const QtzState *state, bool verbose, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// count elements of T, zeroed; null on overflow or when the hooks refuse.
template <typename T>
T *jbAllocArray(const QtzState *state, size_t count) {
  if (count > std::numeric_limits<size_t>::max() / sizeof(T)) return nullptr;
  return static_cast<T *>(qtz::allocateZeroed(state, count == 0 ? 1 : count, sizeof(T)));
}

inline void jbFree(const QtzState *state, void *block) {
  qtz::release(state, block);
}

// What coded data can describe. An MQ decision lowers the interval register by at least 1 (the
// least Qe) and the register is renormalised, one code bit, before it falls below 0x8000: a
// code byte holds at most 8 x 32768 = 2^18 decisions. With two bytes allowed for a missing
// marker or stripped final bytes, n bytes decode at most (n + 2) x 2^18 decisions. Every line
// of MMR data holds at least one mode code, so n bytes hold at most 8n lines.
inline constexpr int64_t kJbMqDecisionsPerByte = int64_t{1} << 18;
inline bool jbMqDataCovers(size_t bytes, int64_t decisions) {
  return decisions <= (static_cast<int64_t>(bytes) + 2) * kJbMqDecisionsPerByte;
}
inline bool jbMmrDataCovers(size_t bytes, int64_t lines) {
  return lines <= 8 * static_cast<int64_t>(bytes);
}

// The work one decode call may do, in pixels produced (regions, symbols, patterns, gray planes,
// drawn instances; a page counts a sixteenth of its pixels, as it is only cleared or filled): a
// base of 2^24 and 2^13 more per byte of input. Data that drives the arithmetic decoder past
// its end decodes some 30 million pixels a second, so a file of a few hundred bytes is done in
// well under a second; real pages carry far more than a byte per 8192 pixels they produce.
inline constexpr int64_t kJbWorkBase = int64_t{1} << 24;
inline constexpr int64_t kJbWorkPerByte = int64_t{1} << 13;
inline constexpr int64_t kJbPagePixelsPerWork = 16;
inline int64_t jbWorkBound(size_t inputBytes) {
  return kJbWorkBase + static_cast<int64_t>(inputBytes) * kJbWorkPerByte;
}

// True when width x height is a region size this library decodes: both sides positive and at
// most kJbMaxSide, the product at most kJbMaxPixels.
inline bool jbSizeOk(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kJbMaxSide && height <= kJbMaxSide &&
         width * height <= kJbMaxPixels;
}

#endif
