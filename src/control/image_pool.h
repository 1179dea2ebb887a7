// ImagePool: owns the image adapters made for one render, in the order they were made, and
// destroys them all with itself. Adapters never free the buffers they view.
#ifndef CTL_IMAGE_POOL_H
#define CTL_IMAGE_POOL_H

#include <memory>
#include <vector>

#include "image_adapter.h"

namespace ctl {

class ImagePool {
 public:
  ImagePool() = default;
  ImagePool(const ImagePool &) = delete;
  ImagePool &operator=(const ImagePool &) = delete;

  // An adapter of the rectangle's size over buffer: a PixlabImgBuf for 1 or 8 bits, an
  // ImpImgBuf otherwise; null when it cannot be made.
  ImageAdapter *MakeAdapter(int32_t bpp, Rect rectangle, DibImgBuf *buffer);
  // A view of a rectangle of parent, of the parent's kind; null for any other parent.
  ImageAdapter *MakeView(Rect rectangle, ImageAdapter *parent);
  size_t size() const { return adapters_.size(); }

 private:
  ImageAdapter *keep(std::unique_ptr<ImageAdapter> adapter, bool valid);

  std::vector<std::unique_ptr<ImageAdapter>> adapters_;
};

}  // namespace ctl

#endif
