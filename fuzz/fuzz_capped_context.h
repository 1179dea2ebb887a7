// An image-core context for the file-reader fuzz targets: its allocators refuse blocks above
// `cap` bytes (the reader then fails with a status) and abort on any request beyond the
// readers' limit on one image (1 GiB plus a frame's worth of rows), which no input may cause.
// readStream runs a stream reader over the input through a memory stream and checks that an
// image comes back only with status 0.
#ifndef FUZZ_CAPPED_CONTEXT_H
#define FUZZ_CAPPED_CONTEXT_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "pxl_image.h"

namespace fuzzing {

constexpr size_t kReaderLimit = (size_t{1} << 30) + (size_t{1} << 24);

template <size_t Cap>
PxlContext *cappedContext() {
  struct Hooks {
    static void *allocate(size_t size, int32_t, void *) {
      if (size > kReaderLimit) std::abort();
      return size > Cap ? nullptr : std::malloc(size);
    }
    static void *zeroed(size_t count, size_t size, int32_t, void *) {
      if (size != 0 && count > kReaderLimit / size) std::abort();
      return count * size > Cap ? nullptr : std::calloc(count, size);
    }
    static void *resize(void *block, size_t size, int32_t, void *) {
      if (size > kReaderLimit) std::abort();
      return size > Cap ? nullptr : std::realloc(block, size);
    }
    static void release(void *block, int32_t, void *) { std::free(block); }
  };
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(Hooks::allocate, Hooks::zeroed, Hooks::resize, Hooks::release, nullptr,
                     Hooks::allocate, Hooks::zeroed, Hooks::resize, Hooks::release, nullptr,
                     nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

// read(ctx, file, &image) -> status.
template <size_t Cap, typename Read>
void readStream(const uint8_t *data, size_t size, Read read) {
  if (size == 0) return;
  FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (file == nullptr) return;
  PxlContext *ctx = cappedContext<Cap>();
  Pixr *image = nullptr;
  if (read(ctx, file, &image) != 0 && image != nullptr) std::abort();
  pxlDestroyImage(ctx, &image);
  std::fclose(file);
}

}  // namespace fuzzing

#endif
