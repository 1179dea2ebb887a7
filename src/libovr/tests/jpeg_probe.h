// Decodes a complete JPEG stream with libjpeg, as an outside check that a strip with merged
// tables is a JPEG image of the expected size.
#ifndef OVR_JPEG_PROBE_H
#define OVR_JPEG_PROBE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovr_test {

// True when libjpeg decodes every scanline of the stream; width and height are the image's.
// pixels, when given, receives the decoded rows (libjpeg's default output colour space).
bool jpegDecodes(const uint8_t *data, size_t size, unsigned *width, unsigned *height,
                 std::vector<uint8_t> *pixels = nullptr);

}  // namespace ovr_test

#endif
