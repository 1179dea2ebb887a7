// Test support: JPEG bands made with libjpeg's encoder (baseline or progressive; grey, YCbCr
// from RGB, or three components stored without colour transform as an ITULab layer is), and
// an Adobe marker that makes an outside decoder pass the stored components unconverted.
#ifndef CTL_TEST_JPEG_ENCODER_H
#define CTL_TEST_JPEG_ENCODER_H

#include <cstdint>
#include <vector>

namespace ctl_test {

enum class JpegKind { Grey, YCbCr, Raw };

// pixels: width x height samples of 1 (Grey) or 3 components. Empty when libjpeg fails.
std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &pixels, int width, int height,
                                JpegKind kind, bool progressive, int quality = 85);

// The stream with an Adobe APP14 marker (transform 0) after its SOI marker.
std::vector<uint8_t> withAdobeMarker(const std::vector<uint8_t> &jpeg);

// A smooth picture with some noise, 1 or 3 samples per pixel.
std::vector<uint8_t> testPicture(int width, int height, int components, uint32_t seed);

}  // namespace ctl_test

#endif
