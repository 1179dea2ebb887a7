// CCITT coder states: size queries and set-up of the encoder and decoder records, and the
// closing codes of an encoded stream (EOL, final padding), with their public entries, which
// take the line width (the inner functions take the full width, line width + 64).
#include "ccitt_state.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "ccittutl";

bool widthOk(int32_t fullWidth) {
  return fullWidth >= 64 && fullWidth - 64 <= ccitt_detail::kMaxWidth;
}

template <typename State>
int32_t stateSize(int32_t fullWidth, int32_t *size) {
  if (size == nullptr || !widthOk(fullWidth)) return PXL_ERR_PARAM;
  *size = static_cast<int32_t>(ccitt_detail::recordSize(sizeof(State), fullWidth - 64));
  return PXL_OK;
}

template <typename State>
State *prepare(void *buffer, int32_t fullWidth, int32_t bufferSize) {
  if (buffer == nullptr || !widthOk(fullWidth) ||
      bufferSize < ccitt_detail::recordSize(sizeof(State), fullWidth - 64))
    return nullptr;
  auto *s = static_cast<State *>(buffer);
  std::memset(s, 0, sizeof(State));
  s->width = fullWidth - 64;
  s->size = bufferSize;
  ccitt_detail::layOutBuffers(s, s->width);
  return s;
}

bool alignmentOk(int32_t alignment) {
  return alignment >= 0 && alignment <= 2;
}

}  // namespace

extern "C" {

int32_t pxlGetCcittEncoderStateSize(PxlContext *, int32_t fullWidth, int32_t *size) {
  return stateSize<PxlCcittEncoderState>(fullWidth, size);
}

int32_t pxlGetCcittDecoderStateSize(PxlContext *, int32_t fullWidth, int32_t *size) {
  return stateSize<PxlCcittDecoderState>(fullWidth, size);
}

int32_t pxlInitCcittEncoderState(PxlContext *, PxlCcittEncoderState *state, int32_t fullWidth,
                                 int32_t twoDimensional, int32_t k, int32_t alignment,
                                 int32_t bufferSize) {
  if ((twoDimensional && k != 2 && k != 4) || !alignmentOk(alignment)) return PXL_ERR_PARAM;
  PxlCcittEncoderState *s = prepare<PxlCcittEncoderState>(state, fullWidth, bufferSize);
  if (s == nullptr) return PXL_ERR_PARAM;
  s->k = k;
  s->kCountdown = k;
  s->alignment = alignment;
  s->twoDimensional = twoDimensional != 0;
  return PXL_OK;
}

int32_t pxlInitCcittDecoderState(PxlContext *, PxlCcittDecoderState *state, int32_t fullWidth,
                                 int32_t twoDimensional, int32_t alignment, int32_t bufferSize) {
  if (!alignmentOk(alignment)) return PXL_ERR_PARAM;
  PxlCcittDecoderState *s = prepare<PxlCcittDecoderState>(state, fullWidth, bufferSize);
  if (s == nullptr) return PXL_ERR_PARAM;
  s->lineTag = 1;
  s->alignment = alignment;
  s->twoDimensional = twoDimensional != 0;
  return PXL_OK;
}

int32_t pxlFlushCcittEncoderRaw(PxlContext *, PxlCcittEncoderState *state, uint8_t *output,
                                int32_t outputSize, int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr || outputSize < 0)
    return PXL_ERR_PARAM;
  uint8_t *cursor = output;
  const int32_t status = pxlPadCcittBits(state, &cursor, output + outputSize);
  *written = static_cast<int32_t>(cursor - output);
  return status;
}

int32_t pxlWriteCcittEolRaw(PxlContext *, PxlCcittEncoderState *state, int32_t alignment,
                            int32_t tagKind, uint8_t *output, int32_t outputSize,
                            int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr || outputSize < 0)
    return PXL_ERR_PARAM;
  uint8_t *cursor = output;
  const int32_t status = pxlPutCcittEol(state, alignment, tagKind, &cursor, output + outputSize);
  *written = static_cast<int32_t>(cursor - output);
  return status;
}

int32_t pxlGetCcittEncoderSize(PxlContext *ctx, int32_t width, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlGetCcittEncoderStateSize(ctx, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlGetCcittDecoderSize(PxlContext *ctx, int32_t width, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlGetCcittDecoderStateSize(ctx, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlInitCcittEncoder(PxlContext *ctx, PxlCcittEncoderState *state, int32_t width,
                            int32_t twoDimensional, int32_t k, int32_t alignment, int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status =
      pxlInitCcittEncoderState(ctx, state, width + 64, twoDimensional, k, alignment, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlInitCcittDecoder(PxlContext *ctx, PxlCcittDecoderState *state, int32_t width,
                            int32_t twoDimensional, int32_t alignment, int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status =
      pxlInitCcittDecoderState(ctx, state, width + 64, twoDimensional, alignment, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlFlushCcittEncoder(PxlContext *ctx, PxlCcittEncoderState *state, uint8_t *output,
                             int32_t outputSize, int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  return pxlFlushCcittEncoderRaw(ctx, state, output, outputSize, written);
}

int32_t pxlWriteCcittEol(PxlContext *ctx, PxlCcittEncoderState *state, int32_t alignment,
                         int32_t tagKind, uint8_t *output, int32_t outputSize, int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if ((alignment != 0 && alignment != 2) || tagKind < 0 || tagKind > 2)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  return pxlWriteCcittEolRaw(ctx, state, alignment, tagKind, output, outputSize, written);
}

}  // extern "C"
