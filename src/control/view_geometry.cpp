// NorvviewCtrl: the position members, the arithmetic between the view state (current page P,
// offsets (x, y) in unzoomed pixels of the page as oriented, zoom z) and modal coordinates,
// the device pixels of the zoomed document.
//
// With (w_i, h_i) page i's size as oriented, G the page gap in device pixels and
// Gz = nearest(G / z) the gap in page pixels: device to page conversions use
// nearest(v) = floor(v + 0.5), page to device sizes truncate; in continuous view page i takes a
// slot of S_i = trunc(h_i z + G) device pixels below the slot of page i - 1. Arithmetic is done
// in doubles and 64-bit integers; every result is held within the 32-bit range (a zoom of 10 on
// many large pages would otherwise overflow the total height).
#include <algorithm>

#include "norvview_ctrl.h"
#include "view_math.h"

namespace ctl {

LongPair NorvviewCtrl::GetOrientedPageSize(int32_t index, int32_t orientation) const {
  if (document_ == nullptr || index < 0 || index >= NumPages()) return LongPair{0, 0};
  const LongPair size = document_->GetPageSize(index);
  const int64_t w = std::max<int64_t>(size.x, 0), h = std::max<int64_t>(size.y, 0);
  return orientation == 90 || orientation == 270 ? LongPair{h, w} : LongPair{w, h};
}

int64_t NorvviewCtrl::gapInPagePixels(double zoom) const {
  return nearest(pageBreakSpace_ / zoom);
}

NorvviewCtrl::PagePosition NorvviewCtrl::walkToModalY(int32_t y, double zoom) const {
  const int32_t count = NumPages();
  double rest = std::max(y, 0);
  int32_t i = 0;
  while (i < count) {
    const double slot = static_cast<double>(
        truncated(GetOrientedPageSize(i, orientation_).y * zoom + pageBreakSpace_));
    if (rest < slot) break;
    rest -= slot;
    ++i;
  }
  if (i == count) i = count - 1;
  const int64_t limit = GetOrientedPageSize(i, orientation_).y + gapInPagePixels(zoom);
  return {static_cast<uint32_t>(i), held32(std::min(nearest(rest / zoom), limit))};
}

NorvviewCtrl::PagePosition NorvviewCtrl::PageFromModalY(int32_t y) const {
  if (pageList_.empty()) return {0, 0};
  if (viewMode_ == 0) return walkToModalY(y, zoom_);
  if (viewMode_ != 1) return {0, 0};
  const int64_t limit = GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).y +
                        gapInPagePixels(zoom_);
  return {currentPage_, held32(std::max<int64_t>(std::min(nearest(y / zoom_), limit), 0))};
}

void NorvviewCtrl::storePosition(uint32_t page, int32_t x, int32_t y) {
  if (page == currentPage_ && x == xOffset_ && y == yOffset_) return;
  currentPage_ = page;
  xOffset_ = x;
  yOffset_ = y;
  changed();
}

void NorvviewCtrl::SetXPosition(int32_t x) {
  if (pageList_.empty()) return;
  const int64_t w = GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).x;
  storePosition(currentPage_, held32(std::min(nearest(std::max(x, 0) / zoom_), w)), yOffset_);
}

void NorvviewCtrl::SetYPosition(int32_t y) {
  if (pageList_.empty()) return;
  const PagePosition at = walkToModalY(y, zoom_);
  storePosition(at.page, xOffset_, at.offset);
}

void NorvviewCtrl::SetPosition(int32_t x, int32_t y) {
  if (pageList_.empty()) return;
  const PagePosition at = walkToModalY(y, zoom_);
  const int64_t w = GetOrientedPageSize(static_cast<int32_t>(at.page), orientation_).x;
  storePosition(at.page, held32(std::min(nearest(std::max(x, 0) / zoom_), w)), at.offset);
}

void NorvviewCtrl::SetModalYPosition(int32_t y) {
  if (pageList_.empty()) return;
  if (viewMode_ == 0) {
    SetYPosition(y);
    return;
  }
  const int64_t limit = GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).y +
                        gapInPagePixels(zoom_);
  storePosition(currentPage_, xOffset_,
                held32(std::min(std::max<int64_t>(nearest(y / zoom_), 0), limit)));
}

int32_t NorvviewCtrl::GetPageForPosition(int32_t /*x*/, int32_t y) const {
  if (pageList_.empty()) return 0;
  if (viewMode_ == 0) return static_cast<int32_t>(PageFromModalY(y).page) + 1;
  return static_cast<int32_t>(currentPage_) + 1;
}

void NorvviewCtrl::SetZoomAndModalPosition(double zoom, int32_t x, int32_t y) {
  if (pageList_.empty()) return;
  const double clamped = ClampZoom(zoom);
  const bool zoomChanged = clamped != zoom_;
  if (zoomChanged) {
    zoom_ = clamped;
    releasePageBitmaps();
  }
  const PagePosition at = PageFromModalY(y);
  const int64_t limit =
      GetOrientedPageSize(static_cast<int32_t>(at.page), orientation_).x + gapInPagePixels(zoom_);
  const int32_t xo = held32(std::min(std::max<int64_t>(nearest(x / zoom_), 0), limit));
  if (zoomChanged && at.page == currentPage_ && xo == xOffset_ && at.offset == yOffset_) {
    changed();
    return;
  }
  storePosition(at.page, xo, at.offset);
}

void NorvviewCtrl::SetOrientationAndPagePosition(int32_t orientation, int32_t x, int32_t y) {
  if (pageList_.empty()) return;
  int32_t normal = orientation % 360;
  if (normal < 0) normal += 360;
  if (normal % 90 != 0) return;
  const LongPair size = GetOrientedPageSize(static_cast<int32_t>(currentPage_), normal);
  const int32_t xo =
      held32(std::max<int64_t>(std::min(nearest(x / zoom_), size.x + pageBreakSpace_), 0));
  const int32_t yo =
      held32(std::max<int64_t>(std::min(nearest(y / zoom_), size.y + pageBreakSpace_), 0));
  if (normal != orientation_) {
    orientation_ = normal;
    xOffset_ = xo;
    yOffset_ = yo;
    changed();
    return;
  }
  storePosition(currentPage_, xo, yo);
}

void NorvviewCtrl::Pan(int32_t dx, int32_t dy) {
  if (pageList_.empty()) return;
  const int32_t last = NumPages() - 1;
  const int64_t gz = gapInPagePixels(zoom_);
  auto span = [&](int32_t i) { return GetOrientedPageSize(i, orientation_).y + gz; };
  int32_t i = static_cast<int32_t>(currentPage_);
  int64_t y = int64_t{yOffset_} + nearest(dy / zoom_);
  while (y < 0 && i > 0) {
    --i;
    y += span(i);
  }
  if (viewMode_ == 1 && i != static_cast<int32_t>(currentPage_)) {
    i = static_cast<int32_t>(currentPage_);
    y = 0;
  }
  y = std::max<int64_t>(y, 0);
  while (y > span(i) && i < last) {
    y -= span(i);
    ++i;
  }
  y = std::min(y, span(i));
  const int64_t x = std::min(std::max<int64_t>(int64_t{xOffset_} + nearest(dx / zoom_), 0),
                             GetOrientedPageSize(i, orientation_).x);
  storePosition(static_cast<uint32_t>(i), held32(x), held32(y));
}

int32_t NorvviewCtrl::GetXPosition() const {
  return pageList_.empty() ? 0 : held32(nearest(xOffset_ * zoom_));
}

int32_t NorvviewCtrl::GetPageY() const {
  return pageList_.empty() ? 0 : held32(nearest(yOffset_ * zoom_));
}

int32_t NorvviewCtrl::GetYPosition() const {
  double above = 0;
  for (uint32_t i = 0; i < currentPage_; ++i)
    above = static_cast<double>(
        truncated(GetOrientedPageSize(static_cast<int32_t>(i), orientation_).y * zoom_ + above));
  return held32(truncated(yOffset_ * zoom_ + above) + int64_t{pageBreakSpace_} * currentPage_);
}

int32_t NorvviewCtrl::GetModalYPosition() const {
  if (viewMode_ == 0) return GetYPosition();
  if (viewMode_ == 1 && !pageList_.empty()) return GetPageY();
  return 0;
}

int32_t NorvviewCtrl::GetTotalHeight() const {
  if (pageList_.empty()) return 0;
  double total = 0;
  for (int32_t i = 0; i < NumPages(); ++i)
    total = static_cast<double>(truncated(GetOrientedPageSize(i, orientation_).y * zoom_ + total));
  return held32(truncated(total) + int64_t{NumPages()} * pageBreakSpace_);
}

int32_t NorvviewCtrl::GetTotalWidth() const {
  if (pageList_.empty()) return 0;
  return held32(
      truncated(GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).x * zoom_) +
      pageBreakSpace_);
}

int32_t NorvviewCtrl::GetCurrentPageWidth() const {
  if (pageList_.empty()) return 0;
  return held32(
      truncated(GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).x * zoom_));
}

int32_t NorvviewCtrl::GetCurrentPageHeight() const {
  if (pageList_.empty()) return 0;
  return held32(
      truncated(GetOrientedPageSize(static_cast<int32_t>(currentPage_), orientation_).y * zoom_));
}

int32_t NorvviewCtrl::GetModalHeight() const {
  if (viewMode_ == 0) return GetTotalHeight();
  return viewMode_ == 1 ? GetCurrentPageHeight() : 0;
}

int32_t NorvviewCtrl::GetModalWidth() const {
  if (viewMode_ == 0) return GetTotalWidth();
  return viewMode_ == 1 ? GetCurrentPageWidth() : 0;
}

}  // namespace ctl
