// Fuzz entry of the image core's Sun raster reader (header step, then the body step of the
// image's depth) over whole files read through a memory stream (fuzz_capped_context.h): every
// input must end with a status, an image only with status 0, and no allocation beyond the
// readers' limit (blocks above 64 MiB are refused).
#include "fuzz_capped_context.h"
#include "pxl_imagefile.h"
#include "pxl_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::readStream<(size_t{64} << 20)>(
      data, size, [](PxlContext *ctx, FILE *file, Pixr **image) {
        PxlImageFileInfo info{};
        int32_t status = pxlReadSunHeader(ctx, file, &info, image);
        if (status == 0) {
          status = (*image)->depth == 1 ? pxlReadSunBits(ctx, file, &info, image)
                                        : pxlReadSunPixels(ctx, file, &info, image);
          if (status != 0) pxlDestroyImage(ctx, image);
        }
        pxl::freeRecord(ctx, info.header);
        return status;
      });
  return 0;
}
