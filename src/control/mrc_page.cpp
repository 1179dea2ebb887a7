// MrcPage: size, depth and layer count of a TIFF-FX page from its document's layers.
#include "mrc_page.h"

#include "mrc_file.h"

namespace ctl {

LongPair MrcPage::GetSize() {
  MrcIo *io = file_->io();
  if (io == nullptr) return kUnknownPair;
  if (io->GetBandCount(page_, 2) > 0) return io->GetLayerSize(page_, 2);
  if (io->GetBandCount(page_, 1) > 0) return io->GetLayerSize(page_, 1);
  return kUnknownPair;
}

int32_t MrcPage::GetBitsPerPixel() {
  MrcIo *io = file_->io();
  if (io == nullptr) return 1;
  if (io->GetBandCount(page_, 1) > 0) return 24;
  const uint32_t layers = io->GetLayerCount(page_);
  for (uint32_t foreground = 3; foreground <= layers; foreground += 2) {
    if (io->GetBandCount(page_, foreground) > 0 && io->GetLayerSize(page_, foreground).x > 0)
      return 24;
  }
  return 1;
}

int32_t MrcPage::GetLayerCount() {
  MrcIo *io = file_->io();
  const uint32_t layers = io != nullptr ? io->GetLayerCount(page_) : 0;
  return static_cast<int32_t>(2 * (layers / 2) + 1);
}

}  // namespace ctl
