// Encodes pixels as JPEG with libjpeg, as an outside source of the JPEG strips that the writer's
// tests store.
#ifndef OVR_JPEG_MAKER_H
#define OVR_JPEG_MAKER_H

#include <cstdint>
#include <vector>

namespace ovr_test {

// A baseline JPEG of width x height pixels of three 8-bit components (rows of triples), stored
// without colour transform or subsampling, as the components of an L*a*b* layer are. Empty when
// libjpeg fails.
std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &pixels, unsigned width, unsigned height,
                                int quality);

}  // namespace ovr_test

#endif
