// QtPainterDevice: fills as solid rectangles; bitmaps through an ARGB image of the part of the
// destination inside the device, filled by gfx::blitDib (opaque where the rule draws, clear
// elsewhere) and drawn at its place with the source-over mode.
#include <QImage>
#include <algorithm>

#include "ctq_painter_device.h"

namespace ctq {

gfx::Caps capsOf(const QPaintDevice &device) {
  gfx::Caps caps;
  caps.width = device.width();
  caps.height = device.height();
  caps.dpiX = device.logicalDpiX();
  caps.dpiY = device.logicalDpiY();
  caps.bitsPixel = device.depth();
  caps.numColors = device.depth() <= 8 ? (1 << device.depth()) : -1;
  return caps;
}

void QtPainterDevice::fillRect(const gfx::Rect &rect, gfx::Rgb colour) {
  if (rect.empty()) return;
  const int64_t width = int64_t{rect.right} - rect.left, height = int64_t{rect.bottom} - rect.top;
  painter_.fillRect(
      QRect(rect.left, rect.top, static_cast<int>(std::min<int64_t>(width, INT32_MAX)),
            static_cast<int>(std::min<int64_t>(height, INT32_MAX))),
      QColor::fromRgb(static_cast<QRgb>(colour | 0xFF000000u)));
}

void QtPainterDevice::drawDib(const gfx::DibBlit &blit, const gfx::Dib &dib) {
  if (blit.destWidth <= 0 || blit.destHeight <= 0) return;
  const int64_t left = std::max<int64_t>(blit.destX, 0);
  const int64_t top = std::max<int64_t>(blit.destY, 0);
  const int64_t right = std::min<int64_t>(int64_t{blit.destX} + blit.destWidth, caps_.width);
  const int64_t bottom = std::min<int64_t>(int64_t{blit.destY} + blit.destHeight, caps_.height);
  if (left >= right || top >= bottom) return;
  QImage part(static_cast<int>(right - left), static_cast<int>(bottom - top),
              QImage::Format_ARGB32_Premultiplied);
  if (part.isNull()) return;
  part.fill(Qt::transparent);
  gfx::blitDib(dib, blit,
               gfx::Raster{reinterpret_cast<uint32_t *>(part.bits()), part.width(), part.height(),
                           part.bytesPerLine() / 4},
               static_cast<int32_t>(left), static_cast<int32_t>(top));
  painter_.drawImage(QPoint(static_cast<int>(left), static_cast<int>(top)), part);
}

}  // namespace ctq
