// Helpers of the JPEG encoder tests: a write callback that collects the stream and the size
// of every call; the library's own encoding of the same samples; a libjpeg decoder of the written
// streams (header fields, quantisation tables and samples, either converted to RGB/grey or as the
// raw coded components).
#ifndef JPEG_FIXTURE_H
#define JPEG_FIXTURE_H

#include <cstdint>
#include <vector>

#include "pxl_jpeg.h"

namespace jpegtest {

// Collects the stream; `answer` decides what each call reports.
struct Sink {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> calls;
  int32_t status = 0;       // returned by every call
  int32_t shortCount = -1;  // when >= 0, reported as the count taken
  static int32_t write(PxlContext *ctx, void *user, const uint8_t *bytes, int32_t count,
                       int32_t *written);
};

struct Decoded {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  int densityUnit = 0, xDensity = 0, yDensity = 0;
  bool jfif = false, progressive = false;
  int componentIds[4] = {}, hSamp[4] = {}, vSamp[4] = {}, quantSlot[4] = {};
  int jpegColorSpace = 0;
  uint16_t quant[2][64] = {};   // natural order
  std::vector<uint8_t> pixels;  // interleaved
};

// raw: the coded components as they are (no colour conversion).
Decoded decode(const std::vector<uint8_t> &stream, bool raw);

// The library's own encoding of interleaved samples (grey or RGB) with its defaults, the
// quality, a density in dots per inch (0: the default) and optionally no subsampling.
std::vector<uint8_t> referenceEncode(const std::vector<uint8_t> &samples, int width, int height,
                                     int components, int quality, int density, bool noSubsampling);

// A framed core image of the given depth with pixel(x, y, channel) set for every content
// pixel (three channels: an RGB channel set).
Pixr *makeImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth, int32_t channels,
                uint8_t (*pixel)(int32_t x, int32_t y, int32_t channel));

}  // namespace jpegtest

#endif
