// The JPEG band decoder of the page renderer, over libjpeg: a properties record is initialised,
// given the band's coded bytes, asked to read the parameters, given a target and read whole
// or scaled by 1/2, 1/4 or 1/8 (optionally cropped), and freed, once, on every path.
//
// The target takes 3-byte pixels, rows of width x 3 bytes plus padBytes. YCbCr data can be
// converted to blue, green, red; otherwise samples pass unconverted (an ITULab band keeps its
// L, a, b codes for a later conversion); a grey band fills all three bytes of each pixel. A
// read succeeds with jpegBandOk or jpegBandWarnings (the data was damaged, but an image came
// out); an image larger than the target is clipped to it, a crop larger than the target is
// refused without reading.
#ifndef CTL_JPEG_BAND_H
#define CTL_JPEG_BAND_H

#include <cstddef>
#include <cstdint>

#include "geometry.h"

namespace ctl {

enum JpegBandStatus : int32_t {
  jpegBandOk = 0,
  jpegBandFailed = 1,
  jpegBandWarnings = 2,
  jpegBandBadRequest = 3,
  jpegBandUnsupported = 4,  // not 1 or 3 components, or more than 2^27 pixels
  jpegBandNotReady = 5      // out of order: no parameters read, or a record not initialised
};

enum class JpegReadMode : int32_t {
  Parameters = 1,  // read the parameters from the data
  Whole = 7,
  Half = 15,
  Quarter = 17,
  Eighth = 19
};

// How the band's samples are handed out.
enum class JpegColour : int32_t {
  Unconverted = 0,  // the coded samples as they are
  YCbCrToBgr = 1    // YCbCr data converted, written blue, green, red
};

struct JpegBandRecord {
  // Source.
  const uint8_t *data = nullptr;
  size_t size = 0;
  // Parameters, filled by the parameter read.
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  int32_t components = 0;
  bool progressive = false;
  // Output.
  JpegColour colour = JpegColour::Unconverted;
  uint8_t *pixels = nullptr;
  int32_t width = 0;   // target pixels per row
  int32_t height = 0;  // target rows
  int32_t padBytes = 0;
  int32_t channels = 3;
  // Crop in pixels of the scaled image, or the whole image.
  bool cropped = false;
  Rect crop;
  // State: set by initialisation, then by the parameter read.
  int32_t state = 0;
};

// Clears the record for a new band.
int32_t jpegBandInit(JpegBandRecord *record);
// Reads the parameters (mode Parameters) or the image at the mode's scale into the target.
int32_t jpegBandRead(JpegBandRecord *record, JpegReadMode mode);
// Ends the record's use; jpegBandNotReady when it was not initialised or is freed already.
int32_t jpegBandFree(JpegBandRecord *record);

}  // namespace ctl

#endif
