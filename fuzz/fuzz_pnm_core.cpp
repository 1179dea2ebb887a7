// Fuzz entry of the image core's raw PNM reader over whole files read through a memory
// stream. Every input must end with a status and an image only with status 0; the context's
// allocators refuse blocks above 64 MiB and abort on any request beyond the readers' limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "pxl_imagefile.h"

namespace {

constexpr size_t kCap = size_t{64} << 20;
constexpr size_t kLimit = (size_t{1} << 30) + (size_t{1} << 24);

void *capped(size_t size, int32_t, void *) {
  if (size > kLimit) std::abort();
  return size > kCap ? nullptr : std::malloc(size);
}
void *cappedZeroed(size_t count, size_t size, int32_t, void *) {
  if (size != 0 && count > kLimit / size) std::abort();
  return count * size > kCap ? nullptr : std::calloc(count, size);
}
void *cappedResize(void *block, size_t size, int32_t, void *) {
  if (size > kLimit) std::abort();
  return size > kCap ? nullptr : std::realloc(block, size);
}
void release(void *block, int32_t, void *) {
  std::free(block);
}

PxlContext *context() {
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(capped, cappedZeroed, cappedResize, release, nullptr, capped, cappedZeroed,
                     cappedResize, release, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (file == nullptr) return 0;
  Pixr *image = nullptr;
  const int32_t status = pxlReadPnm(context(), file, &image);
  if (status != 0 && image != nullptr) std::abort();
  pxlDestroyImage(context(), &image);
  std::fclose(file);
  return 0;
}
