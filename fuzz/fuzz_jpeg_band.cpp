// Runs the view control's JPEG band decoder over arbitrary bytes: the first byte picks the
// scale, the colour handling and whether a crop is read; the rest is the band. The parameters
// are read, then the image into a target of the scaled size (bounded, so that huge headers are
// clipped rather than allocated), and the record is freed. Damaged data must end in a status.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "jpeg_band.h"

namespace {

constexpr int64_t kMaxTargetSide = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  const ctl::JpegReadMode modes[] = {ctl::JpegReadMode::Whole, ctl::JpegReadMode::Half,
                                     ctl::JpegReadMode::Quarter, ctl::JpegReadMode::Eighth};
  const int denominators[] = {1, 2, 4, 8};
  const int pick = choice & 3;
  ctl::JpegBandRecord record;
  if (ctl::jpegBandInit(&record) != ctl::jpegBandOk) abort();
  record.data = data + 1;
  record.size = size - 1;
  if (ctl::jpegBandRead(&record, ctl::JpegReadMode::Parameters) == ctl::jpegBandOk) {
    const int64_t d = denominators[pick];
    const int64_t width = std::clamp<int64_t>((record.imageWidth + d - 1) / d, 1, kMaxTargetSide);
    const int64_t height = std::clamp<int64_t>((record.imageHeight + d - 1) / d, 1, kMaxTargetSide);
    const int32_t pad = choice >> 5;
    std::vector<uint8_t> pixels(static_cast<size_t>((3 * width + pad) * height));
    record.colour = choice & 4 ? ctl::JpegColour::YCbCrToBgr : ctl::JpegColour::Unconverted;
    record.pixels = pixels.data();
    record.width = static_cast<int32_t>(width);
    record.height = static_cast<int32_t>(height);
    record.padBytes = pad;
    if (choice & 8) {
      record.cropped = true;
      record.crop = ctl::Rect{static_cast<int32_t>(width / 3), static_cast<int32_t>(height / 4),
                              static_cast<int32_t>(width - width / 5),
                              static_cast<int32_t>(height - height / 6)};
    }
    const int32_t status = ctl::jpegBandRead(&record, modes[pick]);
    if (status < 0 || status > ctl::jpegBandNotReady) abort();
  }
  if (ctl::jpegBandFree(&record) != ctl::jpegBandOk) abort();
  return 0;
}
