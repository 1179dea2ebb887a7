// Grey from three framed 4-bit planes (the colour-to-grey weights on widened pixels).
#ifndef PXL_I_GREY4_H
#define PXL_I_GREY4_H

#include <cstdint>

#include "pxl_context.h"

namespace pxl::ops {

// out = (W0[17 a] + W1[17 b] + W2[17 c]) >> 4 per 4-bit pixel, W the 8-bit weight tables
// (floor(299 v / 1000), floor(587 v / 1000), floor(114 v / 1000)); the three planes share
// one stride; content starts 32 rows and 16 bytes into each buffer. Whole words are
// written, so pixels after a row's end come from the planes' row tails.
void rgbToGrayRows4(const uint8_t *planeA, const uint8_t *planeB, const uint8_t *planeC,
                    int32_t stride, uint8_t *out, int32_t outStride, int32_t fullWidth,
                    int32_t fullHeight);

}  // namespace pxl::ops

#endif
