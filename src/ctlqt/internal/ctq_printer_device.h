// QtPrinterDevice: a drawing device over a Qt printer (a QPrinter of the system or a QPdfWriter)
// with the print job's calls: StartDoc begins painting on the printer, each StartPage after the
// first starts a new sheet, EndDoc ends painting (and so the job); AbortDoc ends what was begun.
// Drawing goes through the painter device, so printed bitmaps keep the devices' one rule. A
// host registers it in the device handle table and passes the handle to PrintLayerFromTo.
//
// Over a memory bitmap (a QImage) the device is a printer of one sheet, the bitmap: a job's
// first page is drawn into it and a second StartPage fails.
//
// A container outside the module (the viewer) cannot reach the module's handle table itself: it
// asks the module, through registerPrinter or registerBitmap, for a device over its Qt printer
// or image and gets the handle, and gives it back with unregisterPrinter when the job is done.
#ifndef CTQ_PRINTER_DEVICE_H
#define CTQ_PRINTER_DEVICE_H

#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>

#include "gfx_device.h"

namespace ctq {

class QtPrinterDevice final : public gfx::Device {
 public:
  explicit QtPrinterDevice(QPagedPaintDevice &printer) : printer_(printer), paged_(&printer) {}
  explicit QtPrinterDevice(QImage &bitmap) : printer_(bitmap) {}
  ~QtPrinterDevice() override { abortDoc(); }

  gfx::Caps caps() const override;
  void fillRect(const gfx::Rect &rect, gfx::Rgb colour) override;
  int32_t startDoc(const char *documentName) override;
  int32_t startPage() override;
  int32_t endPage() override;
  int32_t endDoc() override;
  void abortDoc() override;

 protected:
  void drawDib(const gfx::DibBlit &blit, const gfx::Dib &dib) override;

 private:
  QPaintDevice &printer_;
  QPagedPaintDevice *paged_ = nullptr;  // null over a bitmap: one sheet only
  QPainter painter_;
  int32_t pages_ = 0;
};

// A new QtPrinterDevice over printer (a QPagedPaintDevice *: a QPrinter or QPdfWriter converted
// to its QPagedPaintDevice base before it became a void *) registered in the device handle
// table: its handle, or 0 for a null printer or when the device cannot be made or registered.
int32_t registerPrinter(void *printer);
// The same over a memory bitmap (a QImage *, of a format a painter can draw on); 0 for a null
// or empty image.
int32_t registerBitmap(void *bitmap);
// Unregisters and deletes a device registerPrinter or registerBitmap made (ending a job left
// open); handles they did not make are ignored.
void unregisterPrinter(int32_t handle);

}  // namespace ctq

#endif
