// QtPainterDevice: a drawing device over a QPainter (a widget, an image, a printer). Bitmaps
// are drawn by the devices' one rule (gfx::blitDib) into an image of the destination's visible
// part, whose untouched pixels stay transparent, and that image is drawn unscaled, so the
// painter shows the same pixels as the memory device.
#ifndef CTQ_PAINTER_DEVICE_H
#define CTQ_PAINTER_DEVICE_H

#include <QPainter>

#include "gfx_device.h"

namespace ctq {

class QtPainterDevice final : public gfx::Device {
 public:
  // caps gives the size, resolution and colours of the painter's target.
  QtPainterDevice(QPainter &painter, const gfx::Caps &caps) : painter_(painter), caps_(caps) {}

  gfx::Caps caps() const override { return caps_; }
  void fillRect(const gfx::Rect &rect, gfx::Rgb colour) override;

 protected:
  void drawDib(const gfx::DibBlit &blit, const gfx::Dib &dib) override;

 private:
  QPainter &painter_;
  gfx::Caps caps_;
};

// The caps of a paint device: its size, logical resolution and depth.
gfx::Caps capsOf(const QPaintDevice &device);

}  // namespace ctq

#endif
