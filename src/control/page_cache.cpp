// The page cache: one entry per document page with its last rendering (the bitmap, and the
// zoom, rectangle, layer and depth it holds), the estimate of a whole-page bitmap that decides
// between whole-page and partial renderings, and the trim after each paint.
//
// Trim (first page painted s, end of the paint loop e): half of ExtraPageCacheSize megabytes is
// the budget before s and half the budget after e. Walking back from s a page keeps its bitmap
// while half of it fits what is left (the rest may go below 0); what is left then passes to the
// pages after e, which keep theirs while they fit whole, and what those leave passes back to
// the pages before. Every other bitmap outside s ... e is released; the entries stay.
// Sizes are 64-bit and the estimate saturates, so a zoom of 10 on any page cannot overflow.
#include <algorithm>
#include <limits>

#include "norvview_ctrl.h"
#include "view_math.h"

namespace ctl {

TfxPage *NorvviewCtrl::Page::GetTfxPage() const {
  return document == nullptr ? nullptr : document->GetPage(index);
}

LongPair NorvviewCtrl::Page::GetSize() const {
  if (document == nullptr) return LongPair{0, 0};
  const LongPair size = document->GetPageSize(index);
  return LongPair{std::max<int64_t>(size.x, 0), std::max<int64_t>(size.y, 0)};
}

void NorvviewCtrl::Page::ReleaseBitmap() {
  bitmap.Clear();
  held = Rect{};
}

uint64_t NorvviewCtrl::Page::EstimateBitmapBytes(double zoom, int32_t depth) const {
  if (document == nullptr) return 0;
  TfxPage *page = GetTfxPage();
  int32_t d = std::min(page == nullptr ? 0 : page->GetBitsPerPixel(), depth);
  if (d == 1 && zoom < 1.0) d = 8;
  if (d <= 0) return 0;
  const LongPair size = GetSize();
  double w = static_cast<double>(size.x), h = static_cast<double>(size.y);
  if (zoom < 1.0) {
    w = static_cast<double>(truncated(w * zoom));
    h = static_cast<double>(truncated(h * zoom));
  }
  if (w <= 0 || h <= 0) return 0;
  // Page sides come from 32-bit fields, so the pixel count fits 64 bits; the bytes saturate.
  const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  const auto bits = static_cast<uint64_t>(d);
  if (pixels > std::numeric_limits<uint64_t>::max() / bits)
    return std::numeric_limits<uint64_t>::max();
  return pixels * bits / 8;
}

NorvviewCtrl::Page *NorvviewCtrl::GetCachedPage(int32_t index) {
  if (index < 0 || index >= NumPages()) return nullptr;
  std::unique_ptr<Page> &entry = pageList_[static_cast<size_t>(index)];
  if (entry == nullptr) entry = std::make_unique<Page>(index, document_.get());
  return entry.get();
}

bool NorvviewCtrl::IsPageCached(int32_t index) const {
  return index >= 0 && index < NumPages() && pageList_[static_cast<size_t>(index)] != nullptr;
}

void NorvviewCtrl::ReleasePageBitmap(int32_t index) {
  if (IsPageCached(index)) pageList_[static_cast<size_t>(index)]->ReleaseBitmap();
}

void NorvviewCtrl::releasePageBitmaps() {
  for (int32_t i = 0; i < NumPages(); ++i) ReleasePageBitmap(i);
}

void NorvviewCtrl::TrimPageCache(uint32_t first, uint32_t end) {
  const int64_t count = NumPages();
  if (first >= count) return;
  auto bytes = [&](int64_t i) {
    return IsPageCached(static_cast<int32_t>(i))
               ? static_cast<double>(pageList_[static_cast<size_t>(i)]->GetBitmapBytes())
               : 0.0;
  };
  const double half = static_cast<double>(extraPageCacheSize_) * kMegabyte * 0.5;
  double before = half;
  int64_t lo = first;
  while (lo > 0 && before > 0) {
    const double k = bytes(lo - 1);
    if (!(k * 0.5 < before)) break;
    before -= k;
    --lo;
  }
  double after = half + before;
  int64_t hi = end;
  while (hi < count - 1 && after > 0) {
    const double k = bytes(hi + 1);
    if (!(k < after)) break;
    after -= k;
    ++hi;
  }
  while (lo > 0 && after > 0) {
    const double k = bytes(lo - 1);
    if (!(k < after)) break;
    after -= k;
    --lo;
  }
  for (int64_t i = 0; i < lo; ++i) ReleasePageBitmap(static_cast<int32_t>(i));
  for (int64_t i = hi + 1; i < count; ++i) ReleasePageBitmap(static_cast<int32_t>(i));
}

}  // namespace ctl
