// TfxG4Band: a CCITT Group 4 (ITU-T T.6) mask band.
//
// The band's data is decoded by the fax decoder into the content rows of a framed 1-bit image
// of the band's size, made in the target's core context; then the shared mask steps cut,
// reduce and copy it. Data that ends before the band's last row leaves the rows after it
// white; corrupt data fails the band.
#include <climits>

#include "ccitt_internal.h"
#include "pxl_image.h"
#include "pxl_owners_internal.h"
#include "tfx_band.h"

namespace ctl {

bool TfxG4Band::Render(ImageAdapter *target, Rect rectangle, Extent reduction) {
  if (!partOk(rectangle, reduction) || !clearTarget(target)) return false;
  PixlabImgBuf *t = target->asPixlab();
  if (state_ == nullptr || data_.size() > INT32_MAX) return false;
  PxlContext *ctx = t->context();
  pxl::OwnedImage image(ctx);
  if (pxlCreateImage(ctx, box_.width, box_.height, 1, 100, 100, 32, image.put()) != 0) return false;
  auto *rows =
      reinterpret_cast<uint32_t *>(image->framedData + int64_t{32} * image->bytesPerRow + 4);
  if (g4DecodeIntoBitmap(rows, box_.width, box_.height, image->bytesPerRow / 4, 0, box_.width - 1,
                         box_.height - 1, data_.data(), static_cast<int32_t>(data_.size()), 0,
                         nullptr, state_) != 0)
    return false;
  return finish(ctx, image.get(), target, rectangle, reduction);
}

}  // namespace ctl
