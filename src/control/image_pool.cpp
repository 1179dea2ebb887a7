// ImagePool: making adapters and views and keeping them for the length of one render.
#include "image_pool.h"

namespace ctl {

ImageAdapter *ImagePool::keep(std::unique_ptr<ImageAdapter> adapter, bool valid) {
  if (!valid) return nullptr;  // freed again: construction failed
  adapters_.push_back(std::move(adapter));
  return adapters_.back().get();
}

ImageAdapter *ImagePool::MakeAdapter(int32_t bpp, Rect rectangle, DibImgBuf *buffer) {
  if (buffer == nullptr) return nullptr;
  const int32_t w = rectangle.width(), h = rectangle.height();
  if (bpp == 1 || bpp == 8) {
    auto adapter = std::make_unique<PixlabImgBuf>(w, h, bpp, buffer);
    const bool valid = adapter->valid();
    return keep(std::move(adapter), valid);
  }
  auto adapter = std::make_unique<ImpImgBuf>(w, h, bpp, buffer);
  const bool valid = adapter->valid();
  return keep(std::move(adapter), valid);
}

ImageAdapter *ImagePool::MakeView(Rect rectangle, ImageAdapter *parent) {
  if (parent == nullptr) return nullptr;
  if (ImpImgBuf *imp = parent->asImp()) {
    auto view = std::make_unique<ImpImgBuf>(rectangle, imp);
    const bool valid = view->valid();
    return keep(std::move(view), valid);
  }
  if (PixlabImgBuf *pixlab = parent->asPixlab()) {
    auto view = std::make_unique<PixlabImgBuf>(rectangle, pixlab);
    const bool valid = view->valid();
    return keep(std::move(view), valid);
  }
  return nullptr;
}

}  // namespace ctl
