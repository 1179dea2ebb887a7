// TfxJpegBand: a JPEG background or foreground band, read by the JPEG band decoder straight
// into the target's 24-bit pixels.
//
// The read is whole at reduction (1, 1) and scaled by t = max(sx, sy) otherwise (2 one half,
// 4 one quarter, 8 one eighth; any other t fails), cropped to the part when the part leaves
// some of the band out. YCbCr bands come out blue, green, red; every other colour kind passes
// its samples unconverted (an ITULab band keeps L, a, b for the page's later conversion).
// A read that ends with warnings (damaged data that still gave an image) succeeds.
#include "jpeg_band.h"
#include "tfx_band.h"

namespace ctl {
namespace {

bool readModeOf(Extent reduction, JpegReadMode *mode) {
  if (reduction.width == 1 && reduction.height == 1) {
    *mode = JpegReadMode::Whole;
    return true;
  }
  switch (std::max(reduction.width, reduction.height)) {
    case 2:
      *mode = JpegReadMode::Half;
      return true;
    case 4:
      *mode = JpegReadMode::Quarter;
      return true;
    case 8:
      *mode = JpegReadMode::Eighth;
      return true;
    default:
      return false;
  }
}

bool readOk(int32_t status) {
  return status == jpegBandOk || status == jpegBandWarnings;
}

// Frees the record once, on every path.
struct RecordScope {
  JpegBandRecord *record;
  ~RecordScope() { jpegBandFree(record); }
};

}  // namespace

bool TfxJpegBand::Render(ImageAdapter *target, Rect rectangle, Extent reduction) {
  ImpImgBuf *t = target != nullptr ? target->asImp() : nullptr;
  if (t == nullptr || !t->valid() || t->GetBitsPerPixel() != 24) return false;
  JpegReadMode mode;
  if (!partOk(rectangle, reduction) || !readModeOf(reduction, &mode)) return false;
  JpegBandRecord record;
  if (jpegBandInit(&record) != jpegBandOk) return false;
  RecordScope scope{&record};
  record.data = data_.data();
  record.size = data_.size();
  if (!readOk(jpegBandRead(&record, JpegReadMode::Parameters))) return false;
  record.colour = colour_ == ColourKind::YCbCr ? JpegColour::YCbCrToBgr : JpegColour::Unconverted;
  record.pixels = t->GetData();
  record.width = t->GetWidth();
  record.height = t->GetHeight();
  record.padBytes = t->GetStride() - t->GetWidth() * 3;
  record.channels = 3;
  if (cut(rectangle, reduction)) {
    record.cropped = true;
    record.crop = rectangle;
  }
  return readOk(jpegBandRead(&record, mode));
}

}  // namespace ctl
