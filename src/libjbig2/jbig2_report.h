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

// True when width x height is a region size this library decodes: both sides positive and at
// most kJbMaxSide, the product at most kJbMaxPixels.
inline bool jbSizeOk(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kJbMaxSide && height <= kJbMaxSide &&
         width * height <= kJbMaxPixels;
}

#endif
