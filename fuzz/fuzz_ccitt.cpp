// Fuzz entry of the image core's CCITT decoders. Byte 0 chooses the coding (MH, MH with
// 16-bit rows, T.4 one-dimensional, T.4 two-dimensional, T.6) and whether to paint; bytes 1-2
// and 3-4 the line width (1 to 4096) and the row count (1 to 512), byte 5 the chunk size
// (0: all at once); the rest is the coded data. Every input must end with 0, 7 or 15, with
// nothing written outside the image; a decoded image is re-encoded with the same coding and
// must decode to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pxl_ccitt.h"

namespace {

struct Coding {
  int32_t twoDimensional, alignment;
  decltype(&pxlDecodeMmr) decode;
};
constexpr Coding kCodings[] = {
    {0, PXL_CCITT_ALIGN_BYTE, pxlDecodeMh},  {0, PXL_CCITT_ALIGN_WORD, pxlDecodeMh},
    {0, PXL_CCITT_ALIGN_NONE, pxlDecodeMr},  {1, PXL_CCITT_ALIGN_NONE, pxlDecodeMr},
    {1, PXL_CCITT_ALIGN_NONE, pxlDecodeMmr},
};

PxlContext *context() {
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

int32_t decode(const Coding &coding, const uint8_t *data, size_t size, int32_t width, int32_t rows,
               size_t chunk, Pixr *image) {
  PxlContext *ctx = context();
  int32_t stateSize = 0;
  if (pxlGetCcittDecoderSize(ctx, width, &stateSize) != 0) std::abort();
  std::vector<uint64_t> buffer((static_cast<size_t>(stateSize) + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittDecoderState *>(buffer.data());
  if (pxlInitCcittDecoder(ctx, state, width, coding.twoDimensional, coding.alignment, stateSize) !=
      0)
    std::abort();
  static const uint8_t kNothing[1] = {0};
  if (chunk == 0 || chunk > size) chunk = size ? size : 1;
  size_t offset = 0;
  int32_t resume = 0;
  for (;;) {
    const size_t n = size - offset < chunk ? size - offset : chunk;
    const bool final = offset + n >= size;
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    const int32_t status = coding.decode(ctx, state, 0, rows, 0, size ? data + offset : kNothing,
                                         static_cast<int32_t>(n), resume, resume, final, image,
                                         &done, &usedUp, &percent, &consumed);
    if (done < 0 || usedUp < 0 || percent < 0 || consumed < 0 || consumed > static_cast<int32_t>(n))
      std::abort();
    if (status != 0 && status != 7 && status != 15) std::abort();
    if (status != 7 || final) return status;
    offset += n;
    resume = 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6) return 0;
  const Coding &coding = kCodings[data[0] % 5];
  const bool paint = (data[0] & 0x80) == 0;
  const int32_t width = (data[1] << 8 | data[2]) % 4096 + 1;
  const int32_t rows = (data[3] << 8 | data[4]) % 512 + 1;
  const size_t chunk = data[5];
  PxlContext *ctx = context();
  Pixr *image = nullptr;
  if (paint && pxlCreateImage(ctx, width, rows, 1, 0, 0, 32, &image) != 0) std::abort();
  const int32_t status = decode(coding, data + 6, size - 6, width, rows, chunk, image);
  if (status == 0 && image != nullptr) {
    // Every decoded image codes and decodes again to itself.
    int32_t encoderSize = 0;
    pxlGetCcittEncoderSize(ctx, width, &encoderSize);
    std::vector<uint64_t> buffer((static_cast<size_t>(encoderSize) + 7) / 8);
    auto *state = reinterpret_cast<PxlCcittEncoderState *>(buffer.data());
    pxlInitCcittEncoder(ctx, state, width, 0, 0, coding.alignment == 2 ? 0 : coding.alignment,
                        encoderSize);
    std::vector<uint8_t> out(static_cast<size_t>(rows) * (2 * width + 4) + 64);
    int32_t done = 0, full = 0, percent = 0, written = 0, flushed = 0;
    if (pxlEncodeMh(ctx, state, image, 0, rows, out.data(), static_cast<int32_t>(out.size()), 0, 0,
                    0, &done, &full, &percent, &written) != 0 ||
        !done)
      std::abort();
    pxlFlushCcittEncoder(ctx, state, out.data() + written,
                         static_cast<int32_t>(out.size()) - written, &flushed);
    Pixr *again = nullptr;
    pxlCreateImage(ctx, width, rows, 1, 0, 0, 32, &again);
    const Coding mh{0, coding.alignment == 2 ? 0 : coding.alignment, pxlDecodeMh};
    if (decode(mh, out.data(), static_cast<size_t>(written + flushed), width, rows, 0, again) != 0)
      std::abort();
    for (int32_t y = 0; y < rows + 64; ++y)
      for (int32_t b = 0; b < image->bytesPerRow; ++b)
        if (image->framedData[y * image->bytesPerRow + b] !=
            again->framedData[y * again->bytesPerRow + b])
          std::abort();
    pxlDestroyImage(ctx, &again);
  }
  pxlDestroyImage(ctx, &image);
  return 0;
}
