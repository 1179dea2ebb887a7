// PackBits decoding into framed or unframed rows. A row is written in pixel order (literals
// copied, repeats filled with memset) and its words are byte-swapped into the core's order
// once it is complete, with zeros after its last byte. A header, a literal or a repeat may be
// cut by the end of a chunk; the record keeps what is owed. A run that crosses the end of a
// row is corrupt: nothing is written past the row and the decode stops with 7.
#include "packbits_state.h"
#include "pxl_internal.h"

namespace {

enum Mode : int32_t { kHeader = 0, kLiteral = 1, kRepeat = 2 };

}  // namespace

extern "C" {

int32_t pxlGetPackBitsDecoderStateSize(PxlContext *, int32_t *size) {
  if (size == nullptr) return PXL_ERR_PARAM;
  *size = static_cast<int32_t>(sizeof(PxlPackBitsDecoderState));
  return PXL_OK;
}

int32_t pxlInitPackBitsDecoderState(PxlContext *, PxlPackBitsDecoderState *state, int32_t size) {
  if (state == nullptr || size < static_cast<int32_t>(sizeof(PxlPackBitsDecoderState)))
    return PXL_ERR_PARAM;
  std::memset(state, 0, sizeof *state);
  state->size = size;
  return PXL_OK;
}

int32_t pxlDecodePackBitsLines(PxlContext *, PxlPackBitsDecoderState *s, uint8_t *framedData,
                               int32_t fullWidth, int32_t frame, int32_t firstRow, int32_t rowCount,
                               int32_t depth, int32_t bytesPerRow, const uint8_t *input,
                               int32_t inputLength, int32_t resumeLines, int32_t resumeBits,
                               int32_t final, int32_t *done, int32_t *usedUp, int32_t *percent,
                               int32_t *consumed) {
  if (done == nullptr || usedUp == nullptr || percent == nullptr || consumed == nullptr)
    return PXL_ERR_PARAM;
  *done = 0, *usedUp = 0, *percent = 0, *consumed = 0;
  if (s == nullptr || framedData == nullptr || input == nullptr || inputLength <= 0 || rowCount < 0)
    return PXL_ERR_PARAM;
  if (resumeLines == 0) {
    s->linesDone = 0, s->rowOffset = 0;
    s->linesOpen = 1;
  } else if (!s->linesOpen) {
    return PXL_ERR_PARAM;
  }
  if (resumeBits == 0) {
    s->mode = kHeader, s->count = 0;
    s->bitStateValid = 1;
  } else if (!s->bitStateValid) {
    return PXL_ERR_PARAM;
  }
  const int64_t n = packbits_detail::rowBytesOf(int64_t{fullWidth} - 2 * frame, depth);
  const int64_t rowWords = (n + 3) & ~int64_t{3};
  const int64_t left = frame ? 4 * depth : 0;
  const uint8_t *p = input;
  const uint8_t *end = input + inputLength;
  bool corrupt = false;

  int32_t mode = s->mode, count = s->count;
  int64_t offset = s->rowOffset;
  while (s->linesDone < rowCount && !corrupt) {
    uint8_t *row =
        framedData + static_cast<int64_t>(firstRow + frame + s->linesDone) * bytesPerRow + left;
    while (offset < n || mode != kHeader) {
      if (mode == kHeader) {
        if (p == end) break;
        const uint8_t h = *p++;
        if (h < 128) {
          mode = kLiteral, count = h + 1;
        } else if (h > 128) {
          mode = kRepeat, count = 257 - h;
        }
        continue;
      }
      const int64_t room = n - offset;
      if (room == 0 || (mode == kRepeat && count > room)) {  // a run past the end of the row
        corrupt = true;
        break;
      }
      if (p == end) break;
      if (mode == kRepeat) {
        std::memset(row + offset, *p++, static_cast<size_t>(count));
        offset += count;
        mode = kHeader;
        continue;
      }
      int64_t c = count < room ? count : room;
      if (c > end - p) c = end - p;
      std::memcpy(row + offset, p, static_cast<size_t>(c));
      p += c;
      offset += c;
      count -= static_cast<int32_t>(c);
      if (count == 0) mode = kHeader;
    }
    if (corrupt || offset < n || mode != kHeader) break;
    std::memset(row + n, 0, static_cast<size_t>(rowWords - n));
    packbits_detail::swapWords(row, row, rowWords);
    offset = 0;
    ++s->linesDone;
  }
  s->mode = mode, s->count = count, s->rowOffset = static_cast<int32_t>(offset);
  *consumed = static_cast<int32_t>(p - input);
  *percent = packbits_detail::percentOf(s->linesDone * n + s->rowOffset, n * rowCount);
  if (!corrupt && s->linesDone == rowCount) {
    *done = 1;
    *usedUp = p == end;
    if (final) s->linesOpen = 0, s->bitStateValid = 0;
    return PXL_OK;
  }
  *usedUp = 1;
  if (corrupt || final) {
    s->linesOpen = 0, s->bitStateValid = 0;
    return PXL_ERR_OVERFLOW;
  }
  return PXL_OK;
}

}  // extern "C"
