// MrcPage: size, depth and layer count of a TIFF-FX page from its layers.
#include "mrc_page.h"

namespace ctl {

LongPair MrcPage::GetSize() {
  if (!selectors_.empty() && selectors_[0])
    return LongPair{selectors_[0]->width(), selectors_[0]->height()};
  if (background_) return LongPair{background_->width(), background_->height()};
  return kUnknownPair;
}

int32_t MrcPage::GetBitsPerPixel() {
  if (background_) return 24;
  for (const auto &selector : selectors_)
    if (selector && selector->foregroundWidth() > 0) return 24;
  return 1;
}

int32_t MrcPage::GetLayerCount() {
  return static_cast<int32_t>(2 * selectors_.size() + 1);
}

}  // namespace ctl
