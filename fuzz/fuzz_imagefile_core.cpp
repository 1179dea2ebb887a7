// Fuzz entry of the image core's reader of any image file over an open stream (type
// detection, then the format reader and the frame clearing; TIFF files, which are reopened by
// name, are refused for want of one) through a memory stream (fuzz_capped_context.h): every
// input must end with a status, an image only with status 0, and no allocation beyond the
// readers' limit (blocks above 64 MiB are refused).
#include "fuzz_capped_context.h"
#include "pxl_imagefile.h"
#include "pxl_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::readStream<(size_t{64} << 20)>(
      data, size, [size](PxlContext *ctx, FILE *file, Pixr **image) {
        PxlImageFileInfo info{};
        const int32_t status =
            pxlReadImageStream(ctx, file, static_cast<int32_t>(size % 3), 0, &info, image);
        pxl::freeRecord(ctx, info.header);
        return status;
      });
  return 0;
}
