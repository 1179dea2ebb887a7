// T.4 encoding with EOLs (TIFF Compression 3): an EOL before every row (filled to end on a
// byte boundary in alignment mode 0). Without the two-dimensional flag every row is
// one-dimensional and the EOL has no tag; with it the first row of each group of K rows is
// one-dimensional (tag 1) and the others two-dimensional (tag 0 after the EOL: tag kind 2).
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mrc";
}

extern "C" {

int32_t pxlEncodeMrLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                         int32_t fullWidth, int32_t firstRow, int32_t rowCount, int32_t bytesPerRow,
                         uint8_t *output, int32_t outputSize, int32_t resumeLines,
                         int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                         int32_t *written) {
  if (state != nullptr && state->alignment == PXL_CCITT_ALIGN_WORD) {
    if (done && outputFull && percent && written) *done = *outputFull = *percent = *written = 0;
    return PXL_ERR_PARAM;
  }
  const ccitt_detail::EncodeCall call{data,       fullWidth,  firstRow,    rowCount,   bytesPerRow,
                                      output,     outputSize, resumeLines, resumeBits, done,
                                      outputFull, percent,    written};
  return ccitt_detail::encodeRows(
      ctx, state, call, [](PxlCcittEncoderState *s, uint8_t **cursor, uint8_t *end) {
        const bool oneDimensional = !s->twoDimensional || s->kCountdown == s->k;
        const int32_t tag = !s->twoDimensional ? 0 : oneDimensional ? 1 : 2;
        int32_t status = pxlPutCcittEol(s, s->alignment, tag, cursor, end);
        if (status != PXL_OK) return status;
        status = oneDimensional ? pxlEncodeCcitt1DLine(s, PXL_CCITT_ALIGN_NONE, cursor, end)
                                : pxlEncodeCcitt2DLine(s, cursor, end);
        if (status != PXL_OK) return status;
        ++s->linesDone;
        if (s->twoDimensional) {
          if (--s->kCountdown == 0) {
            s->kCountdown = s->k;
            s->selector = 0;
          } else {
            s->selector ^= 1;
          }
        }
        return status;
      });
}

int32_t pxlEncodeMr(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                    int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                    int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                    int32_t *written) {
  PXL_CCITT_ENCODER_ENTRY(kUnit, pxlEncodeMrLines, done, outputFull, percent, written);
}

}  // extern "C"
