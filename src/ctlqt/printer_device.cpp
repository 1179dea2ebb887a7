// QtPrinterDevice: the print job on a Qt paged paint device, drawing through the painter
// device. Calls outside a begun job draw nothing and fail.
#include "ctq_printer_device.h"

#include "ctq_painter_device.h"

namespace ctq {

gfx::Caps QtPrinterDevice::caps() const {
  return capsOf(printer_);
}

void QtPrinterDevice::fillRect(const gfx::Rect &rect, gfx::Rgb colour) {
  if (!painter_.isActive()) return;
  QtPainterDevice device(painter_, caps());
  device.fillRect(rect, colour);
}

void QtPrinterDevice::drawDib(const gfx::DibBlit &blit, const gfx::Dib &dib) {
  if (!painter_.isActive()) return;
  QtPainterDevice device(painter_, caps());
  device.stretchDIBits(blit, dib);
}

int32_t QtPrinterDevice::startDoc(const char * /*documentName*/) {
  if (painter_.isActive() || !painter_.begin(&printer_)) return -1;
  // Bitmaps go to PDF output without lossy compression.
  painter_.setRenderHint(QPainter::LosslessImageRendering);
  pages_ = 0;
  return 1;
}

int32_t QtPrinterDevice::startPage() {
  if (!painter_.isActive()) return -1;
  if (pages_++ > 0 && !printer_.newPage()) return -1;
  return 1;
}

int32_t QtPrinterDevice::endPage() {
  return painter_.isActive() ? 1 : -1;
}

int32_t QtPrinterDevice::endDoc() {
  if (!painter_.isActive()) return -1;
  return painter_.end() ? 1 : -1;
}

void QtPrinterDevice::abortDoc() {
  if (painter_.isActive()) painter_.end();
}

}  // namespace ctq
