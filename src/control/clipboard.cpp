// The clipboard members: the selection or a whole page drawn by DrawPages into a recording
// device (the metafile) whose size is the picture's, handed to the site, which puts it on the
// platform clipboard. The recording starts at the picture's top-left: the selection is drawn at
// (0, 0) rather than at its place in the view.
//
// The selection's first page is the page under its top edge (GetPageForPosition), so that a
// selection that starts below the current page in continuous view shows the pages under it;
// within the current page the offset is the view's offset plus the selection's, in page pixels.
#include "gfx_recording_device.h"
#include "norvview_ctrl.h"
#include "view_math.h"

namespace ctl {
namespace {

gfx::Caps recordingCaps(const Rect &r) {
  gfx::Caps caps;
  caps.width = r.width();
  caps.height = r.height();
  return caps;
}

}  // namespace

int32_t NorvviewCtrl::CopyToClipboardTLBR(int32_t top, int32_t left, int32_t bottom,
                                          int32_t right) {
  if (pageList_.empty()) return 0;
  const Rect r{0, 0, held32(int64_t{right} + 1 - left), held32(int64_t{bottom} + 1 - top)};
  const double z = zoom_;
  uint32_t page = currentPage_;
  int32_t x = held32(xOffset_ + truncated(left / z));
  int32_t y = held32(yOffset_ + truncated(top / z));
  if (viewMode_ == 0) {
    const int64_t modalY = int64_t{GetModalYPosition()} + top;
    const auto found = static_cast<uint32_t>(GetPageForPosition(left, held32(modalY)) - 1);
    if (found != currentPage_) {
      page = found;
      y = PageFromModalY(held32(modalY)).offset;
    }
  }
  gfx::RecordingDevice drawing(recordingCaps(r));
  DrawPages(&drawing, r, r, page, x, y, z, orientation_, true, GetLayer(), viewMode_);
  if (site_ != nullptr) site_->setClipboard(drawing);
  return 0;
}

int32_t NorvviewCtrl::CopyPageToClipboard(int32_t page) {
  if (pageList_.empty()) return -1;
  if (page < 1 || page > NumPages()) return 0;
  const LongPair size = GetOrientedPageSize(page - 1, orientation_);
  const Rect r{0, 0, held32(truncated(zoom_ * static_cast<double>(size.x))),
               held32(truncated(zoom_ * static_cast<double>(size.y)))};
  gfx::RecordingDevice drawing(recordingCaps(r));
  DrawPages(&drawing, r, r, static_cast<uint32_t>(page - 1), 0, 0, zoom_, orientation_, false,
            GetLayer(), 1);
  if (site_ != nullptr) site_->setClipboard(drawing);
  return 0;
}

}  // namespace ctl
