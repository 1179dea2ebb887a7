// Fuzz entry of the Lossy Dither decoder. Bytes 0-1 and 2-3 give the width (1 to 4096) and the
// row count (1 to 256), byte 4 the chunk size (0: all at once; the top bit decodes without an
// image); the rest is the coded data. Every input must end with 0, 7 or 15 and write nothing
// outside the image; coding a decoded image again and decoding it must give the rendering of
// its bytes' classes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pxl_lossydither.h"

namespace {

PxlContext *context() {
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

int32_t decode(const uint8_t *data, size_t size, size_t chunk, int32_t width, int32_t rows,
               Pixr *image) {
  PxlContext *ctx = context();
  int32_t stateSize = 0;
  if (pxlGetLossyDitherDecoderSize(ctx, width, &stateSize) != 0) std::abort();
  std::vector<uint64_t> buffer((static_cast<size_t>(stateSize) + 7) / 8);
  auto *state = reinterpret_cast<PxlLossyDitherDecoderState *>(buffer.data());
  if (pxlInitLossyDitherDecoder(ctx, state, width, stateSize) != 0) std::abort();
  static const uint8_t kNothing[1] = {0};
  if (chunk == 0 || chunk > size) chunk = size ? size : 1;
  for (size_t offset = 0, resume = 0;; offset += chunk, resume = 1) {
    const size_t n = size - offset < chunk ? size - offset : chunk;
    const int32_t final = offset + n >= size;
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    const int32_t status = pxlDecodeLossyDither(
        ctx, state, 0, rows, size ? data + offset : kNothing, static_cast<int32_t>(n), resume,
        resume, final, image, &done, &usedUp, &percent, &consumed);
    if (done < 0 || usedUp < 0 || percent < 0 || consumed < 0 || consumed > static_cast<int32_t>(n))
      std::abort();
    if (status != 0 && status != 7 && status != 15) std::abort();
    if (status != 7 || final) return status;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 5) return 0;
  PxlContext *ctx = context();
  const int32_t width = (data[0] << 8 | data[1]) % 4096 + 1;
  const int32_t rows = (data[2] << 8 | data[3]) % 256 + 1;
  const bool paint = (data[4] & 0x80) == 0;
  Pixr *image = nullptr;
  if (paint && pxlCreateImage(ctx, width, rows, 1, 0, 0, 32, &image) != 0) std::abort();
  if (decode(data + 5, size - 5, data[4] & 0x7F, width, rows, image) == 0 && image != nullptr) {
    // A decoded image is made of class patterns: coding and decoding it again keeps it.
    int32_t encoderSize = 0;
    pxlGetLossyDitherEncoderSize(ctx, width, &encoderSize);
    std::vector<uint64_t> buffer((static_cast<size_t>(encoderSize) + 7) / 8);
    auto *state = reinterpret_cast<PxlLossyDitherEncoderState *>(buffer.data());
    if (pxlInitLossyDitherEncoder(ctx, state, width, encoderSize) != 0) std::abort();
    std::vector<uint8_t> out(static_cast<size_t>(rows) * ((width + 7) / 8 * 2 + 8) + 64);
    int32_t done = 0, full = 0, percent = 0, written = 0, flushed = 0;
    if (pxlEncodeLossyDither(ctx, state, image, 0, rows, out.data(),
                             static_cast<int32_t>(out.size()), 0, 0, &done, &full, &percent,
                             &written) != 0 ||
        !done)
      std::abort();
    pxlFlushLossyDitherEncoder(ctx, state, out.data() + written,
                               static_cast<int32_t>(out.size()) - written, &flushed);
    Pixr *again = nullptr;
    pxlCreateImage(ctx, width, rows, 1, 0, 0, 32, &again);
    if (decode(out.data(), static_cast<size_t>(written + flushed), 0, width, rows, again) != 0)
      std::abort();
    // The second decode renders each byte of the first as its class's pattern for the row.
    const int32_t last = (width + 7) / 8 - 1;
    const auto keep = static_cast<uint8_t>(0xFF << ((last + 1) * 8 - width));
    for (int32_t y = 0; y < rows; ++y) {
      const uint8_t *a = image->framedData + static_cast<size_t>(y + 32) * image->bytesPerRow + 4;
      const uint8_t *b = again->framedData + static_cast<size_t>(y + 32) * again->bytesPerRow + 4;
      for (int32_t i = 0; i <= last; ++i) {
        const uint8_t mask = i == last ? keep : 0xFF;
        if ((pxlLossyDitherPattern(pxlLossyDitherClass(a[i ^ 3]), y & 7) ^ b[i ^ 3]) & mask)
          std::abort();
      }
    }
    pxlDestroyImage(ctx, &again);
  }
  pxlDestroyImage(ctx, &image);
  return 0;
}
