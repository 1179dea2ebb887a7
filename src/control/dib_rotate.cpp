// Rotation of a rectangle of a bitmap by 90, 180 or 270 degrees clockwise into another bitmap,
// for 1-bit (bit 7 of each byte the leftmost pixel), 8-bit and 24-bit pixels. With W and H the
// rectangle's width and height, source pixel (x, y) goes to
//   180: (W - 1 - (x - left), H - 1 - (y - top)),  90: (bottom - 1 - y, x - left),
//   270: (y - top, right - 1 - x).
// Only the part of the rectangle inside the source is read; the rest of the target is 0.
#include <algorithm>
#include <cstring>

#include "image_buf.h"

namespace ctl {
namespace {

template <int32_t Bpp>
void movePixel(const uint8_t *src, uint64_t srcStride, int64_t x, int64_t y, uint8_t *dst,
               uint64_t dstStride, int64_t tx, int64_t ty) {
  if constexpr (Bpp == 1) {
    const bool on = src[y * srcStride + x / 8] & (0x80 >> (x % 8));
    uint8_t &byte = dst[ty * dstStride + tx / 8];
    const auto bit = static_cast<uint8_t>(0x80 >> (tx % 8));
    byte = on ? byte | bit : byte & static_cast<uint8_t>(~bit);
  } else {
    constexpr int64_t n = Bpp / 8;
    std::memcpy(dst + ty * dstStride + tx * n, src + y * srcStride + x * n, n);
  }
}

template <int32_t Bpp>
void rotate(int32_t angle, const DibImgBuf &source, DibImgBuf *target, Rect r, Rect inside) {
  const uint8_t *src = source.GetData();
  const uint64_t srcStride = source.GetStride();
  uint8_t *dst = target->GetData();
  const uint64_t dstStride = target->GetStride();
  if (src == nullptr || dst == nullptr) return;
  const int64_t w = r.width(), h = r.height();
  for (int64_t y = inside.top; y < inside.bottom; ++y) {
    for (int64_t x = inside.left; x < inside.right; ++x) {
      int64_t tx = 0, ty = 0;
      if (angle == 180) {
        tx = w - 1 - (x - r.left);
        ty = h - 1 - (y - r.top);
      } else if (angle == 90) {
        tx = r.bottom - 1 - y;
        ty = x - r.left;
      } else {
        tx = y - r.top;
        ty = r.right - 1 - x;
      }
      movePixel<Bpp>(src, srcStride, x, y, dst, dstStride, tx, ty);
    }
  }
}

}  // namespace

void DibImgBuf::Rotate(int32_t angle, DibImgBuf *target, Rect rectangle) const {
  const int32_t bpp = GetBitsPerPixel();
  if (target == nullptr || target == this || (angle != 90 && angle != 180 && angle != 270) ||
      (bpp != 1 && bpp != 8 && bpp != 24))
    return;
  const Extent size = angle == 180 ? Extent{rectangle.width(), rectangle.height()}
                                   : Extent{rectangle.height(), rectangle.width()};
  if (!target->Create(size, bpp, rowAlignment_)) return;
  if (target->GetData() != nullptr) std::memset(target->GetData(), 0, target->length());
  const Rect inside{std::max(rectangle.left, 0), std::max(rectangle.top, 0),
                    std::min(rectangle.right, GetWidth()), std::min(rectangle.bottom, GetHeight())};
  if (inside.width() == 0 || inside.height() == 0) return;
  switch (bpp) {
    case 1:
      rotate<1>(angle, *this, target, rectangle, inside);
      break;
    case 8:
      rotate<8>(angle, *this, target, rectangle, inside);
      break;
    default:
      rotate<24>(angle, *this, target, rectangle, inside);
      break;
  }
}

}  // namespace ctl
