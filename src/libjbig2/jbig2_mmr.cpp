// MMR (ITU-T T.6) coded bitmaps inside JBIG2 segments, decoded by the image core's T.6 decoder
// straight into the caller's packed rows. The decoder stops after the last line and never reads
// an EOFB; one that follows the last line (as after each MMR gray-scale plane of a halftone
// region, ITU-T T.88 C.5) is counted as consumed, so that the next plane starts after it. The
// bytes not consumed are handed back.
//
// Failures: 2003 when the data ends before the last line, 107 for corrupt data or a bitmap too
// wide for the decoder, 1 out of memory.
#include <algorithm>
#include <cstring>

#include "jbig2_generic.h"
#include "jbig2_report.h"
#include "pxl_ccitt.h"

namespace {

// The bytes used once an EOFB (000000000001 twice) that starts where the last code ended is
// taken in. The decoder reports the bytes used rounded up, so the EOFB starts in the last 8 bits
// before that byte boundary or on it; the pattern matches at one shift at most.
size_t withEofb(const uint8_t *data, size_t length, size_t used) {
  const uint64_t bitLength = uint64_t{length} * 8;
  const uint64_t firstStart = used == 0 ? 0 : uint64_t{used} * 8 - 7;
  for (uint64_t start = firstStart; start <= uint64_t{used} * 8; ++start) {
    if (start + 24 > bitLength) break;
    uint32_t bits = 0;
    for (uint64_t b = start; b < start + 24; ++b)
      bits = bits << 1 | (data[b / 8] >> (7 - b % 8) & 1);
    if (bits == 0x001001u) return static_cast<size_t>((start + 24 + 7) / 8);
  }
  return used;
}

}  // namespace

int32_t decodeMmrBuffer(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                        const uint8_t *data, size_t length, size_t *left, QtzState *state) {
  *left = length;
  if (width <= 0 || height <= 0) return 0;
  if (length > INT32_MAX) return jbReport(state, kJbBadData, "MMR data too long");
  int32_t stateSize = 0;
  if (width > INT32_MAX - 64 || pxlGetCcittDecoderStateSize(nullptr, width + 64, &stateSize) != 0)
    return jbReport(state, kJbBadData, "MMR bitmap too wide");
  auto *decoder = jbAllocArray<uint8_t>(state, static_cast<size_t>(stateSize));
  if (decoder == nullptr) return qtz::report(state, kJbNoMemory);
  auto *ccitt = reinterpret_cast<PxlCcittDecoderState *>(decoder);
  const int32_t words = (width + 31) / 32;
  for (int32_t y = 0; y < height; ++y)
    std::memset(rows + static_cast<int64_t>(y) * wordsPerRow, 0, sizeof(uint32_t) * words);
  int32_t status =
      pxlInitCcittDecoderState(nullptr, ccitt, width + 64, 1, PXL_CCITT_ALIGN_NONE, stateSize);
  int32_t used = 0;
  if (status == 0)
    status = pxlDecodeMmrToWords(nullptr, ccitt, rows, wordsPerRow, height, data,
                                 static_cast<int32_t>(length), &used);
  if (status == 7) {
    status = qtz::report(state, kJbEndOfData);
  } else if (status != 0) {
    status = jbReport(state, kJbBadData, "corrupt MMR data");
  } else {
    // Pixels past the width in the last word of a row stay clear.
    if (width & 31) {
      const uint32_t lastMask = ~0u << (32 - (width & 31));
      for (int32_t y = 0; y < height; ++y)
        rows[static_cast<int64_t>(y) * wordsPerRow + words - 1] &= lastMask;
    }
    *left = length - withEofb(data, length, std::min(length, static_cast<size_t>(used)));
  }
  jbFree(state, decoder);
  return status;
}

int32_t decodeMmrFromStream(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                            int32_t x, int32_t clipRight, int32_t clipBottom, DataSource *source,
                            size_t byteCount, QtzState *state) {
  const size_t end = std::min(source->limit, source->size);
  if (source->pos > end || byteCount > end - source->pos) return qtz::report(state, kJbEndOfData);
  if (x != 0 || clipRight != width || clipBottom != height) return kJbAssert;
  size_t left = 0;
  const int32_t status = decodeMmrBuffer(rows, width, height, wordsPerRow,
                                         source->data + source->pos, byteCount, &left, state);
  source->pos += byteCount;
  return status;
}
