// T.4 decoding with EOLs (TIFF Compression 3): an EOL search before every row (its tag bit
// says one- or two-dimensional when the state is two-dimensional), then the row. Every row
// is the reference of the next, whatever the spacing of one-dimensional rows.
#include "ccitt_entry.h"
#include "ccitt_workers.h"

namespace {
constexpr const char *kUnit = "mrd";
}

extern "C" {

int32_t pxlDecodeMrLines(PxlContext *, PxlCcittDecoderState *state, uint8_t *data, int32_t firstRow,
                         int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                         const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                         int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                         int32_t *percent, int32_t *consumed) {
  const ccitt_detail::DecodeCall call{data,  firstRow,    lineCount,   bytesPerRow, orFlag,
                                      input, inputLength, resumeLines, resumeBits,  final,
                                      done,  usedUp,      percent,     consumed};
  return ccitt_detail::decodeRows(
      state, call, true,
      [final](PxlCcittDecoderState *s, const uint8_t **cursor, const uint8_t *end,
              PxlRowRun **runEnd) {
        int32_t status = pxlFindCcittEol(s, s->twoDimensional, final, cursor, end, &s->lineTag);
        if (status != PXL_OK) return status;
        if (s->twoDimensional && s->lineTag == 2)
          return pxlDecodeCcitt2DLine(s, final, cursor, end, runEnd);
        return pxlDecodeCcitt1DLine(s, PXL_CCITT_ALIGN_NONE, final, cursor, end, runEnd);
      });
}

int32_t pxlDecodeMr(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                    int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                    int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                    int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed) {
  PXL_CCITT_DECODER_ENTRY(kUnit, pxlDecodeMrLines);
}

}  // extern "C"
