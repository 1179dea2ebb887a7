// The JPEG band decoder's record interface: the order of the calls (initialise, parameters,
// read, free), the read modes and their scales, and the job handed to the libjpeg shim.
#include "jpeg_band.h"

#include "jpeg_shim.h"

namespace ctl {
namespace {

constexpr int32_t kInitialised = 0x4A424E44;  // record states
constexpr int32_t kParametersRead = kInitialised + 1;

int32_t scaleOf(JpegReadMode mode) {
  switch (mode) {
    case JpegReadMode::Whole:
      return 1;
    case JpegReadMode::Half:
      return 2;
    case JpegReadMode::Quarter:
      return 4;
    case JpegReadMode::Eighth:
      return 8;
    default:
      return 0;
  }
}

JpegShimJob jobOf(const JpegBandRecord &r, int32_t denominator) {
  JpegShimJob job{};
  job.data = r.data;
  job.size = r.size;
  job.scaleDenominator = denominator;
  job.toBgr = r.colour == JpegColour::YCbCrToBgr;
  job.cropped = r.cropped;
  job.cropLeft = r.crop.left;
  job.cropTop = r.crop.top;
  job.cropRight = r.crop.right;
  job.cropBottom = r.crop.bottom;
  job.pixels = r.pixels;
  job.targetWidth = r.width;
  job.targetHeight = r.height;
  job.stride = int64_t{r.width} * 3 + r.padBytes;
  return job;
}

}  // namespace

int32_t jpegBandInit(JpegBandRecord *record) {
  if (record == nullptr) return jpegBandBadRequest;
  *record = JpegBandRecord{};
  record->state = kInitialised;
  return jpegBandOk;
}

int32_t jpegBandRead(JpegBandRecord *record, JpegReadMode mode) {
  if (record == nullptr) return jpegBandBadRequest;
  if (record->state != kInitialised && record->state != kParametersRead) return jpegBandNotReady;
  if (mode == JpegReadMode::Parameters) {
    JpegShimJob job = jobOf(*record, 1);
    const int32_t status = jpegShimReadHeader(&job);
    if (status != kJpegShimOk) return status;
    record->imageWidth = job.imageWidth;
    record->imageHeight = job.imageHeight;
    record->components = job.components;
    record->progressive = job.progressive;
    record->state = kParametersRead;
    return jpegBandOk;
  }
  const int32_t denominator = scaleOf(mode);
  if (denominator == 0 || record->channels != 3 || record->padBytes < 0) return jpegBandBadRequest;
  if (record->state != kParametersRead) return jpegBandNotReady;
  JpegShimJob job = jobOf(*record, denominator);
  return jpegShimDecode(&job);
}

int32_t jpegBandFree(JpegBandRecord *record) {
  if (record == nullptr) return jpegBandBadRequest;
  if (record->state != kInitialised && record->state != kParametersRead) return jpegBandNotReady;
  record->state = 0;
  return jpegBandOk;
}

}  // namespace ctl
