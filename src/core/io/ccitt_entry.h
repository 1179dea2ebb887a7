// Checks shared by the public CCITT entries: the image must be a framed 1-bit single-channel
// image in the core's byte order, as wide as the record was set up for, and tall enough for
// the rows asked.
#ifndef NORV_CCITT_ENTRY_H
#define NORV_CCITT_ENTRY_H

#include "ccitt_state.h"
#include "pxl_internal.h"

namespace ccitt_detail {

struct ImageRows {
  uint8_t *framed = nullptr;
  int32_t fullWidth = 0;
  int32_t bytesPerRow = 0;
};

// 0 with the image's geometry, or the status to return (already reported).
inline int32_t readImage(PxlContext *ctx, const char *unit, Pixr *image, int32_t stateWidth,
                         int32_t firstRow, int32_t rowCount, ImageRows *out) {
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, unit, status);
  PXL_POLL_OR_RETURN(ctx, unit);
  pxlGetImageFramedData(ctx, image, &out->framed);
  PXL_POLL_OR_RETURN(ctx, unit);
  pxlGetImageFullWidth(ctx, image, &out->fullWidth);
  PXL_POLL_OR_RETURN(ctx, unit);
  pxlGetImageBytesPerRow(ctx, image, &out->bytesPerRow);
  int32_t height = 0;
  pxlGetImageHeight(ctx, image, &height);
  if (out->fullWidth - 64 != stateWidth || firstRow < 0 || rowCount < 0 ||
      static_cast<int64_t>(firstRow) + rowCount > height)
    return PXL_FAIL(ctx, unit, PXL_ERR_PARAM);
  return PXL_OK;
}

}  // namespace ccitt_detail

// Public decoder entry over a worker with the decoder workers' signature.
#define PXL_CCITT_DECODER_ENTRY(unit, worker)                                                   \
  if (state == nullptr || input == nullptr || done == nullptr || usedUp == nullptr ||           \
      percent == nullptr || consumed == nullptr)                                                \
    return PXL_FAIL(ctx, unit, PXL_ERR_NULL);                                                   \
  PXL_POLL_OR_RETURN(ctx, unit);                                                                \
  ccitt_detail::ImageRows rows;                                                                 \
  if (image != nullptr) {                                                                       \
    const int32_t checked =                                                                     \
        ccitt_detail::readImage(ctx, unit, image, state->width, firstRow, rowCount, &rows);     \
    if (checked != 0) return checked;                                                           \
  }                                                                                             \
  PXL_POLL_OR_RETURN(ctx, unit);                                                                \
  const int32_t status =                                                                        \
      worker(ctx, state, rows.framed, firstRow + 32, rowCount, rows.bytesPerRow, orFlag, input, \
             inputLength, resumeLines, resumeBits, final, done, usedUp, percent, consumed);     \
  if (status != 0 && (status != PXL_ERR_OVERFLOW || final)) return PXL_FAIL(ctx, unit, status); \
  return status

// Public encoder entry over a worker with the encoder workers' signature (extra arguments
// before the out-parameters are passed through).
#define PXL_CCITT_ENCODER_ENTRY(unit, worker, ...)                                               \
  if (state == nullptr || image == nullptr || output == nullptr || done == nullptr ||            \
      outputFull == nullptr || percent == nullptr || written == nullptr)                         \
    return PXL_FAIL(ctx, unit, PXL_ERR_NULL);                                                    \
  PXL_POLL_OR_RETURN(ctx, unit);                                                                 \
  ccitt_detail::ImageRows rows;                                                                  \
  const int32_t checked =                                                                        \
      ccitt_detail::readImage(ctx, unit, image, state->width, firstRow, rowCount, &rows);        \
  if (checked != 0) return checked;                                                              \
  PXL_POLL_OR_RETURN(ctx, unit);                                                                 \
  const int32_t status =                                                                         \
      worker(ctx, state, rows.framed, rows.fullWidth, firstRow + 32, rowCount, rows.bytesPerRow, \
             output, outputSize, resumeLines, resumeBits, __VA_ARGS__);                          \
  if (status != 0) return PXL_FAIL(ctx, unit, status);                                           \
  return status

#endif
