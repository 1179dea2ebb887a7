// Modified Huffman encoding (TIFF Compression 2 with byte alignment, 32771 with 16-bit
// alignment): one-dimensional rows without EOLs. The close flag ends the record once the
// last row is coded.
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mhc";
}

extern "C" {

int32_t pxlEncodeMhLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                         int32_t fullWidth, int32_t firstRow, int32_t rowCount, int32_t bytesPerRow,
                         uint8_t *output, int32_t outputSize, int32_t resumeLines,
                         int32_t resumeBits, int32_t close, int32_t *done, int32_t *outputFull,
                         int32_t *percent, int32_t *written) {
  if (state != nullptr && state->alignment == PXL_CCITT_ALIGN_NONE) {
    if (done && outputFull && percent && written) *done = *outputFull = *percent = *written = 0;
    return PXL_ERR_PARAM;
  }
  const ccitt_detail::EncodeCall call{data,       fullWidth,  firstRow,    rowCount,   bytesPerRow,
                                      output,     outputSize, resumeLines, resumeBits, done,
                                      outputFull, percent,    written};
  const int32_t status = ccitt_detail::encodeRows(
      ctx, state, call, [](PxlCcittEncoderState *s, uint8_t **cursor, uint8_t *end) {
        const int32_t coded = pxlEncodeCcitt1DLine(s, s->alignment, cursor, end);
        if (coded == PXL_OK) ++s->linesDone;
        return coded;
      });
  if (status == PXL_OK && close && *done) state->linesOpen = 0, state->bitStateValid = 0;
  return status;
}

int32_t pxlEncodeMh(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                    int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                    int32_t resumeBits, int32_t close, int32_t *done, int32_t *outputFull,
                    int32_t *percent, int32_t *written) {
  PXL_CCITT_ENCODER_ENTRY(kUnit, pxlEncodeMhLines, close, done, outputFull, percent, written);
}

}  // extern "C"
