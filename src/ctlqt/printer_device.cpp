// QtPrinterDevice: the print job on a Qt paged paint device or a memory bitmap, drawing through
// the painter device. Calls outside a begun job draw nothing and fail.
#include "ctq_printer_device.h"

#include <mutex>
#include <new>

#include "ctq_painter_device.h"
#include "gfx_device_handles.h"

namespace ctq {
namespace {

// The printer devices made for containers, by handle.
struct MadePrinter {
  int32_t handle = 0;
  QtPrinterDevice *device = nullptr;
};

std::mutex madeLock;
MadePrinter made[gfx::kMaxDeviceHandles];

// A new device over target registered in the handle table and kept among the made ones: its
// handle, or 0 when no slot is free or it cannot be made or registered.
template <class Target>
int32_t registerMade(Target &target) {
  std::lock_guard<std::mutex> lock(madeLock);
  for (MadePrinter &slot : made) {
    if (slot.device != nullptr) continue;
    auto *device = new (std::nothrow) QtPrinterDevice(target);
    if (device == nullptr) return 0;
    const int32_t handle = gfx::registerDevice(device);
    if (handle == 0) {
      delete device;
      return 0;
    }
    slot = MadePrinter{handle, device};
    return handle;
  }
  return 0;
}

}  // namespace

int32_t registerPrinter(void *printer) {
  return printer != nullptr ? registerMade(*static_cast<QPagedPaintDevice *>(printer)) : 0;
}

int32_t registerBitmap(void *bitmap) {
  auto *image = static_cast<QImage *>(bitmap);
  return image != nullptr && !image->isNull() ? registerMade(*image) : 0;
}

void unregisterPrinter(int32_t handle) {
  if (handle == 0) return;
  std::lock_guard<std::mutex> lock(madeLock);
  for (MadePrinter &slot : made) {
    if (slot.device == nullptr || slot.handle != handle) continue;
    gfx::unregisterDevice(handle);
    delete slot.device;
    slot = MadePrinter{};
  }
}

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
  if (pages_++ > 0 && (paged_ == nullptr || !paged_->newPage())) return -1;
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
