// Helpers shared by the wrapper units of the pixel operations.
#ifndef PXL_I_OPS_H
#define PXL_I_OPS_H

#include <cstdint>

#include "pxl_image.h"

namespace pxl::ops {

// Runs fill() (a status) on an output image; when it fails and the call created the output,
// the output is destroyed again and the caller's pointer becomes null.
template <typename Fill>
int32_t fillOutput(PxlContext *ctx, Pixr **out, int32_t created, Fill fill) {
  const int32_t status = fill();
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}

}  // namespace pxl::ops

#endif
