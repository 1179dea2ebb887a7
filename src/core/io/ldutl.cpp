// Lossy Dither coder states: size queries and set-up, and the closing codes of an encoded
// stream (EOL, final padding), with their public entries.
#include "ld_state.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "ldutl";

enum Step : int32_t { kIdle = 0, kEol = 6, kPadding = 7 };

int64_t rowBytesOf(int32_t fullWidth) {
  return (int64_t{fullWidth} - 64 + 7) / 8;
}

template <typename State>
int32_t stateSize(int32_t fullWidth, int32_t *size) {
  const int64_t n = rowBytesOf(fullWidth);
  if (size == nullptr || fullWidth < 64 || n > lossy_dither::kMaxRowBytes) return PXL_ERR_PARAM;
  *size = static_cast<int32_t>(lossy_dither::recordSize<State>(n));
  return PXL_OK;
}

template <typename State>
int32_t setUp(State *s, int32_t fullWidth, int32_t size) {
  int32_t need = 0;
  if (s == nullptr || stateSize<State>(fullWidth, &need) != PXL_OK || size < need)
    return PXL_ERR_PARAM;
  std::memset(s, 0, sizeof(State));
  s->rowBytes = static_cast<int32_t>(rowBytesOf(fullWidth));
  s->width = fullWidth - 64;
  s->size = size;
  lossy_dither::layOut(s, s->rowBytes);
  return PXL_OK;
}

ccitt_detail::BitWriter startWriting(const PxlLossyDitherEncoderState *s, uint8_t *p,
                                     uint8_t *end) {
  return ccitt_detail::BitWriter{s->accumulator, s->bits, p, end};
}
void stopWriting(PxlLossyDitherEncoderState *s, const ccitt_detail::BitWriter &w) {
  s->accumulator = w.acc;
  s->bits = w.bits;
}

}  // namespace

extern "C" {

int32_t pxlGetLossyDitherEncoderStateSize(PxlContext *, int32_t fullWidth, int32_t *size) {
  return stateSize<PxlLossyDitherEncoderState>(fullWidth, size);
}

int32_t pxlGetLossyDitherDecoderStateSize(PxlContext *, int32_t fullWidth, int32_t *size) {
  return stateSize<PxlLossyDitherDecoderState>(fullWidth, size);
}

int32_t pxlInitLossyDitherEncoderState(PxlContext *, PxlLossyDitherEncoderState *state,
                                       int32_t fullWidth, int32_t size) {
  return setUp(state, fullWidth, size);
}

int32_t pxlInitLossyDitherDecoderState(PxlContext *, PxlLossyDitherDecoderState *state,
                                       int32_t fullWidth, int32_t size) {
  return setUp(state, fullWidth, size);
}

int32_t pxlWriteLossyDitherEolRaw(PxlContext *, PxlLossyDitherEncoderState *s, uint8_t *output,
                                  int32_t outputSize, int32_t *written) {
  if (s == nullptr || output == nullptr || written == nullptr || outputSize < 0)
    return PXL_ERR_PARAM;
  *written = 0;
  if (s->step != kIdle && s->step != kEol) return PXL_OK;
  ccitt_detail::BitWriter w = startWriting(s, output, output + outputSize);
  int32_t status = PXL_OK;
  if (!w.makeRoom()) {
    s->step = kEol;
    status = PXL_ERR_OVERFLOW;
  } else {
    w.put(ccitt::kEol.bits, ccitt::kEol.length);
    s->step = kIdle;
  }
  stopWriting(s, w);
  *written = static_cast<int32_t>(w.p - output);
  return status;
}

int32_t pxlFlushLossyDitherEncoderRaw(PxlContext *, PxlLossyDitherEncoderState *s, uint8_t *output,
                                      int32_t outputSize, int32_t *written) {
  if (s == nullptr || output == nullptr || written == nullptr || outputSize < 0)
    return PXL_ERR_PARAM;
  *written = 0;
  if (s->step != kIdle && s->step != kPadding) return PXL_OK;
  ccitt_detail::BitWriter w = startWriting(s, output, output + outputSize);
  w.bits = (w.bits + 7) & ~7;
  w.writeBytes();
  s->step = w.bits > 0 ? kPadding : kIdle;
  stopWriting(s, w);
  *written = static_cast<int32_t>(w.p - output);
  return w.bits > 0 ? PXL_ERR_OVERFLOW : PXL_OK;
}

int32_t pxlGetLossyDitherEncoderSize(PxlContext *ctx, int32_t width, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlGetLossyDitherEncoderStateSize(ctx, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlGetLossyDitherDecoderSize(PxlContext *ctx, int32_t width, int32_t *size) {
  if (size == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlGetLossyDitherDecoderStateSize(ctx, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlInitLossyDitherEncoder(PxlContext *ctx, PxlLossyDitherEncoderState *state, int32_t width,
                                  int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlInitLossyDitherEncoderState(ctx, state, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlInitLossyDitherDecoder(PxlContext *ctx, PxlLossyDitherDecoderState *state, int32_t width,
                                  int32_t size) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlInitLossyDitherDecoderState(ctx, state, width + 64, size);
  return status ? PXL_FAIL(ctx, kUnit, status) : status;
}

int32_t pxlWriteLossyDitherEol(PxlContext *ctx, PxlLossyDitherEncoderState *state, uint8_t *output,
                               int32_t outputSize, int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  return pxlWriteLossyDitherEolRaw(ctx, state, output, outputSize, written);
}

int32_t pxlFlushLossyDitherEncoder(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                   uint8_t *output, int32_t outputSize, int32_t *written) {
  if (state == nullptr || output == nullptr || written == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  return pxlFlushLossyDitherEncoderRaw(ctx, state, output, outputSize, written);
}

}  // extern "C"
