// The control's drawings on the Qt clipboard: replayed through the painter device onto an image
// and onto a PDF page, then handed to the clipboard as one MIME data object.
#include "ctq_clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "ctq_painter_device.h"

namespace ctq {
namespace {

bool empty(const gfx::Caps &caps) {
  return caps.width <= 0 || caps.height <= 0;
}

}  // namespace

QImage drawingImage(const gfx::RecordingDevice &drawing) {
  const gfx::Caps caps = drawing.caps();
  if (empty(caps)) return QImage();
  QImage image(caps.width, caps.height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QtPainterDevice device(painter, caps);
  drawing.replay(device);
  return image;
}

QByteArray drawingPdf(const gfx::RecordingDevice &drawing) {
  const gfx::Caps caps = drawing.caps();
  QByteArray bytes;
  if (empty(caps)) return bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QSizeF(caps.width, caps.height), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    // Bitmaps go into the PDF without lossy compression, pixel for pixel.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    QtPainterDevice device(painter, caps);
    drawing.replay(device);
  }
  return bytes;
}

void putOnClipboard(const gfx::RecordingDevice &drawing) {
  QClipboard *clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return;
  clipboard->clear();
  const QImage image = drawingImage(drawing);
  if (image.isNull()) return;
  auto *data = new QMimeData;  // the clipboard owns it
  data->setImageData(image);
  data->setData(kPdfMimeType, drawingPdf(drawing));
  clipboard->setMimeData(data);
}

}  // namespace ctq
