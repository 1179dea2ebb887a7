// A libjpeg decoder of the strips' JPEG streams for the tests: size, density and the luma
// quantisation table, and the samples either as the coded components (raw) or converted to
// RGB by the library.
#ifndef COMPDOC_TEST_JPEG_DECODE_H
#define COMPDOC_TEST_JPEG_DECODE_H

#include <cstdint>
#include <vector>

namespace striptest {

struct Decoded {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  int xDensity = 0, yDensity = 0;
  uint16_t lumaQuant0 = 0;      // first entry of the luma quantisation table
  std::vector<uint8_t> pixels;  // interleaved
};

Decoded decodeJpeg(const uint8_t *bytes, int32_t size, bool raw);

}  // namespace striptest

#endif
