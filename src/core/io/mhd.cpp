// Modified Huffman decoding (TIFF Compression 2 with byte alignment, 32771 with 16-bit
// alignment): one-dimensional rows without EOLs, each decoded into line buffer 0.
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mhd";
}

extern "C" {

int32_t pxlDecodeMhLines(PxlContext *, PxlCcittDecoderState *state, uint8_t *data, int32_t firstRow,
                         int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                         const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                         int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                         int32_t *percent, int32_t *consumed) {
  if (state != nullptr && state->alignment == PXL_CCITT_ALIGN_NONE) {
    if (done && usedUp && percent && consumed) *done = *usedUp = *percent = *consumed = 0;
    return PXL_ERR_PARAM;
  }
  const ccitt_detail::DecodeCall call{data,  firstRow,    lineCount,   bytesPerRow, orFlag,
                                      input, inputLength, resumeLines, resumeBits,  final,
                                      done,  usedUp,      percent,     consumed};
  return ccitt_detail::decodeRows(state, call, false,
                                  [final](PxlCcittDecoderState *s, const uint8_t **cursor,
                                          const uint8_t *end, PxlRowRun **runEnd) {
                                    return pxlDecodeCcitt1DLine(s, s->alignment, final, cursor, end,
                                                                runEnd);
                                  });
}

int32_t pxlDecodeMh(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                    int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                    int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                    int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  PXL_CCITT_DECODER_ENTRY(kUnit, pxlDecodeMhLines);
}

}  // extern "C"
