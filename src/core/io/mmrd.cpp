// T.6 (MMR) decoding: every line is a two-dimensional line against the line before it (all
// white before the first); the decoder stops after the line count and never reads the EOFB.
// The document view control decodes Group 4 mask bands through pxlDecodeMmrLines directly.
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mmrd";
}

extern "C" {

int32_t pxlDecodeMmrLines(PxlContext *, PxlCcittDecoderState *state, uint8_t *data,
                          int32_t firstRow, int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                          const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                          int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                          int32_t *percent, int32_t *consumed) {
  const ccitt_detail::DecodeCall call{data,  firstRow,    lineCount,   bytesPerRow, orFlag,
                                      input, inputLength, resumeLines, resumeBits,  final,
                                      done,  usedUp,      percent,     consumed};
  return ccitt_detail::decodeRows(
      state, call, true,
      [final](PxlCcittDecoderState *s, const uint8_t **cursor, const uint8_t *end,
              PxlRowRun **runEnd) { return pxlDecodeCcitt2DLine(s, final, cursor, end, runEnd); });
}

int32_t pxlDecodeMmrToWords(PxlContext *, PxlCcittDecoderState *state, uint32_t *rows,
                            int32_t wordsPerRow, int32_t lineCount, const uint8_t *input,
                            int32_t inputLength, int32_t *used) {
  if (used == nullptr || wordsPerRow < 0 ||
      (state != nullptr && int64_t{wordsPerRow} * 32 < state->width))
    return PXL_ERR_PARAM;
  *used = 0;
  int32_t done = 0, usedUp = 0, percent = 0, consumed = 0;
  ccitt_detail::DecodeCall call{reinterpret_cast<uint8_t *>(rows),
                                0,
                                lineCount,
                                wordsPerRow * 4,
                                0,
                                input,
                                inputLength,
                                0,
                                0,
                                1,
                                &done,
                                &usedUp,
                                &percent,
                                &consumed};
  call.leftFrameBytes = 0;
  const int32_t status = ccitt_detail::decodeRows(
      state, call, true,
      [](PxlCcittDecoderState *s, const uint8_t **cursor, const uint8_t *end, PxlRowRun **runEnd) {
        return pxlDecodeCcitt2DLine(s, 1, cursor, end, runEnd);
      });
  if (state != nullptr) *used = static_cast<int32_t>((int64_t{consumed} * 8 - state->bits + 7) / 8);
  return status;
}

int32_t pxlDecodeMmr(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                     int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                     int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                     int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  PXL_CCITT_DECODER_ENTRY(kUnit, pxlDecodeMmrLines);
}

}  // extern "C"
