// Fuzz entry of the image core's PCX reader and codec over whole files read through a memory
// stream (fuzz_capped_context.h): every input must end with a status, an image only with
// status 0, and no allocation beyond the readers' limit (blocks above 64 MiB are refused).
#include "fuzz_capped_context.h"
#include "pxl_imagefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::readStream<(size_t{64} << 20)>(
      data, size,
      [](PxlContext *ctx, FILE *file, Pixr **image) { return pxlReadPcx(ctx, file, image); });
  return 0;
}
