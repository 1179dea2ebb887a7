// Fuzz entry of the PackBits decoder. Byte 0 chooses the depth (1, 2, 4, 8) and the frame (0
// or 32), bytes 1-2 and 3-4 the width (1 to 4096) and row count (1 to 256), byte 5 the chunk
// size (0: all at once); the rest is the coded data. Every input must end with a status and
// write nothing outside the rows; a decoded image, coded again, must decode to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pxl_packbits.h"

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

int32_t decode(const uint8_t *data, size_t size, size_t chunk, Pixr *image) {
  PxlContext *ctx = context();
  int32_t stateSize = 0;
  pxlGetPackBitsDecoderSize(ctx, &stateSize);
  std::vector<uint64_t> buffer((static_cast<size_t>(stateSize) + 7) / 8);
  auto *state = reinterpret_cast<PxlPackBitsDecoderState *>(buffer.data());
  if (pxlInitPackBitsDecoder(ctx, state, stateSize) != 0) std::abort();
  if (size == 0) return -1;
  if (chunk == 0 || chunk > size) chunk = size;
  for (size_t offset = 0, resume = 0;; offset += chunk, resume = 1) {
    const size_t n = size - offset < chunk ? size - offset : chunk;
    const int32_t final = offset + n >= size;
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    const int32_t status =
        pxlDecodePackBits(ctx, state, 0, image->height, data + offset, static_cast<int32_t>(n),
                          resume, resume, final, image, &done, &usedUp, &percent, &consumed);
    if (done < 0 || usedUp < 0 || percent < 0 || percent > 100 || consumed < 0 ||
        consumed > static_cast<int32_t>(n))
      std::abort();
    if (status != 0 && status != 7) std::abort();
    if (status != 0 || done || final) return status != 0 ? status : (done ? 0 : -1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6) return 0;
  PxlContext *ctx = context();
  const int32_t depth = 1 << (data[0] & 3);
  const int32_t frame = (data[0] & 4) ? 32 : 0;
  const int32_t width = (data[1] << 8 | data[2]) % 4096 + 1;
  const int32_t rows = (data[3] << 8 | data[4]) % 256 + 1;
  Pixr *image = nullptr;
  if (pxlCreateImage(ctx, width, rows, depth, 0, 0, frame, &image) != 0) std::abort();
  if (decode(data + 6, size - 6, data[5], image) == 0 && frame == 32) {
    int32_t encoderSize = 0;
    pxlGetPackBitsEncoderSize(ctx, width, depth, &encoderSize);
    std::vector<uint64_t> buffer((static_cast<size_t>(encoderSize) + 7) / 8);
    auto *state = reinterpret_cast<PxlPackBitsEncoderState *>(buffer.data());
    if (pxlInitPackBitsEncoder(ctx, state, width, depth, encoderSize) != 0) std::abort();
    std::vector<uint8_t> out(static_cast<size_t>(rows) * ((width * depth + 7) / 8 + 2) * 2 + 16);
    int32_t done = 0, full = 0, percent = 0, written = 0;
    if (pxlEncodePackBits(ctx, state, image, 0, rows, out.data(), static_cast<int32_t>(out.size()),
                          0, 0, 0, 1, &done, &full, &percent, &written, nullptr) != 0 ||
        !done)
      std::abort();
    Pixr *again = nullptr;
    pxlCreateImage(ctx, width, rows, depth, 0, 0, 32, &again);
    if (decode(out.data(), static_cast<size_t>(written), 0, again) != 0) std::abort();
    if (std::memcmp(image->framedData, again->framedData,
                    static_cast<size_t>(image->bytesPerRow) * (rows + 64)) != 0)
      std::abort();
    pxlDestroyImage(ctx, &again);
  }
  pxlDestroyImage(ctx, &image);
  return 0;
}
