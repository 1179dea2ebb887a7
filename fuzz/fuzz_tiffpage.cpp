// Fuzz entry of the TIFF page reader over whole files: the input is written to an anonymous
// in-memory file and its first two pages are read strip by strip and row by row, each from a
// file opened for it; then pages 1, 2, 3, 3 and 1 are read from one open file (forward from the
// page before, the same page again, back to the first). Every input
// must end with a status (an image only with status 0, never with a leak); the context's
// pixel allocator refuses blocks above 256 MiB, and the reader must stay within its own
// limits, so no single request may exceed 1 GiB plus a frame's worth of rows.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_capped_context.h"
#include "pxl_tiffpage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const int fd = memfd_create("tiffpage", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  char *name = path.data();
  PxlContext *ctx = fuzzing::cappedContext<(size_t{256} << 20)>();
  for (int32_t page = 1; page <= 2; ++page)
    for (int32_t scanline = 0; scanline <= 1; ++scanline) {
      Pixr *image = nullptr;
      const int32_t status = pxlReadTiff(ctx, &name, page, scanline, &image);
      if (status != 0 && image != nullptr) std::abort();
      pxlDestroyImage(ctx, &image);
    }
  TIFF *file = nullptr;
  if (pxlOpenTiffForRead(ctx, path.c_str(), &file) == 0) {
    for (const int32_t page : {1, 2, 3, 3, 1}) {
      Pixr *image = nullptr;
      const int32_t status = pxlReadTiffPage(ctx, file, page, 0, &image);
      if (status != 0 && image != nullptr) std::abort();
      pxlDestroyImage(ctx, &image);
    }
    pxlAbandonTiff(file);
  }
  close(fd);
  return 0;
}
