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

int32_t pxlDecodeMmr(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                     int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                     int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                     int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  PXL_CCITT_DECODER_ENTRY(kUnit, pxlDecodeMmrLines);
}

}  // extern "C"
