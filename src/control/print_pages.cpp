// PrintLayerFromTo: pages of one layer printed through a device the host registered in the
// device handle table, one device page per document page, drawn by DrawPages (the same cache
// and render path as the screen) at the printable area's top-left, keeping the page's
// proportions, ignoring the view's orientation, without gap, background or shadow. A scale
// within 2 % of 1 becomes exactly 1 so that a page of the printer's resolution prints unscaled.
//
// Before printing the driver is asked whether it supports the maker's private escape, which
// would hand it the document's path to print by itself; no device of ours does, so the pages
// are always drawn. A page whose size is unknown (a page that cannot be built) prints blank.
// A failing StartDoc, StartPage, EndPage or EndDoc aborts the job and its result is returned.
#include <algorithm>

#include "gfx_device_handles.h"
#include "norvview_ctrl.h"

namespace ctl {

int32_t NorvviewCtrl::PrintLayerFromTo(int32_t hdc, int32_t layer, int32_t fromPage,
                                       int32_t toPage) {
  const int32_t count = NumPages();
  gfx::Device *device = hdc == 0 ? nullptr : gfx::deviceFromHandle(hdc);
  if (count == 0 || device == nullptr) return -1;
  const int32_t from = std::min(std::max(fromPage, 1) - 1, count - 1);
  const int32_t to = std::min(std::max(toPage, 1) - 1, count - 1);

  if (device->escape(gfx::kEscapeQuerySupport) != 0) {
    // The maker's driver prints the file itself from its path.
    if (device->escape(gfx::kEscapeDocumentPath) != 1) return -1;
    int32_t result = device->startDoc(fileName_.c_str());
    if (result >= 0) result = device->endDoc();
    if (result < 0) {
      device->abortDoc();
      return result;
    }
    return 0;
  }

  int32_t result = device->startDoc(fileName_.c_str());
  if (result < 0) {
    device->abortDoc();
    return result;
  }
  const gfx::Caps caps = device->caps();
  const Rect area{0, 0, caps.width, caps.height};
  for (int32_t p = from; p <= to; ++p) {
    result = device->startPage();
    if (result < 0) {
      device->abortDoc();
      return result;
    }
    const LongPair size = GetCachedPage(p)->GetSize();
    if (size.x > 0 && size.y > 0) {
      double scale = std::min(static_cast<double>(area.width()) / static_cast<double>(size.x),
                              static_cast<double>(area.height()) / static_cast<double>(size.y));
      if (scale > 0.98 && scale < 1.02) scale = 1.0;
      if (scale > 0)
        DrawPages(device, area, area, static_cast<uint32_t>(p), 0, 0, scale, 0, false, layer, 1);
    }
    result = device->endPage();
    if (result < 0) {
      device->abortDoc();
      return result;
    }
  }
  result = device->endDoc();
  if (result < 0) {
    device->abortDoc();
    return result;
  }
  return 0;
}

}  // namespace ctl
