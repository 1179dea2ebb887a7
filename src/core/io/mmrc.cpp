// T.6 (MMR) encoding: every row a two-dimensional line against the row before it (all white
// before the first), the bits of consecutive rows following one another. The caller ends the
// data with two EOLs (pxlWriteCcittEol) and pads it (pxlFlushCcittEncoder).
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mmrc";
}

extern "C" {

int32_t pxlEncodeMmrLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                          int32_t fullWidth, int32_t firstRow, int32_t rowCount,
                          int32_t bytesPerRow, uint8_t *output, int32_t outputSize,
                          int32_t resumeLines, int32_t resumeBits, int32_t *done,
                          int32_t *outputFull, int32_t *percent, int32_t *written) {
  const ccitt_detail::EncodeCall call{data,       fullWidth,  firstRow,    rowCount,   bytesPerRow,
                                      output,     outputSize, resumeLines, resumeBits, done,
                                      outputFull, percent,    written};
  return ccitt_detail::encodeRows(ctx, state, call,
                                  [](PxlCcittEncoderState *s, uint8_t **cursor, uint8_t *end) {
                                    const int32_t status = pxlEncodeCcitt2DLine(s, cursor, end);
                                    if (status == PXL_OK) ++s->linesDone, s->selector ^= 1;
                                    return status;
                                  });
}

int32_t pxlEncodeMmr(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                     int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                     int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                     int32_t *written) {
  PXL_CCITT_ENCODER_ENTRY(kUnit, pxlEncodeMmrLines, done, outputFull, percent, written);
}

}  // extern "C"
