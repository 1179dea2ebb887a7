// The rasterop path of the morphology runners: the result composed from one shifted copy of
// the source per element cell (see i_morrop.cpp).
#ifndef PXL_I_MORROP_H
#define PXL_I_MORROP_H

#include <cstdint>

#include "pxl_context.h"

namespace pxl::morph {

// dst and src are content origins of framed 1-bit buffers; width x height content.
int32_t runRasterops(PxlContext *ctx, bool erode, uint8_t *dst, const uint8_t *src, int32_t width,
                     int32_t height, int32_t srcBpr, int32_t dstBpr, int32_t elementWidth,
                     int32_t elementHeight, int32_t ox, int32_t oy, const uint8_t *cells);

}  // namespace pxl::morph

#endif
