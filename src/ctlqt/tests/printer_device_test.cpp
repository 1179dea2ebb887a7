// Printing to a Qt PDF printer on the offscreen platform: PrintLayerFromTo through the device
// handle table writes one PDF page per document page, which pdftoppm renders to the pages' own
// pixels (pages of the printer's size and 1.7 % smaller print at scale 1, white beside them);
// the private escape is not supported, so the normal path runs; calls outside a job fail; a
// container's memory bitmap takes one page pixel for pixel.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <array>
#include <vector>

#include "ctq_printer_device.h"
#include "gfx_device_handles.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"
#include "testkit_tools.h"

namespace ctq {
namespace {

using comp::Variant;

uint8_t sample(size_t i, uint32_t page) {
  return static_cast<uint8_t>(i * 29 + i / 83 + page * 71);
}

TEST(PrinterDeviceTest, PdfPagesAreThePagesPixels) {
  if (!norvtest::toolAvailable("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  norvtest::TempDir dir("print");
  ASSERT_TRUE(dir.made());
  const std::vector<std::pair<uint32_t, uint32_t>> sizes{{90, 60}, {89, 59}, {90, 60}};
  norvtest::writeRgbTiff(dir.file("doc.tif"), sizes, sample);
  ctl::NorvviewCtrl control;
  control.SetFileName(dir.file("doc.tif"));
  ASSERT_EQ(control.NumPages(), 3);

  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QSizeF(90, 60), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QtPrinterDevice printer(writer);
    EXPECT_EQ(printer.startPage(), -1);  // no job begun
    EXPECT_EQ(printer.escape(gfx::kEscapeDocumentPath), 0);
    gfx::DeviceHandle handle(&printer);
    Variant result;
    const std::array args{Variant::i4(handle.get()), Variant::i4(0), Variant::i4(1),
                          Variant::i4(3)};
    ASSERT_EQ(control.invoke(ctl::kIdPrintLayerFromTo, comp::kMethod, args, &result), comp::S_OK);
    EXPECT_EQ(result.asI4(), 0);
  }
  const std::string path = dir.file("out.pdf");
  ASSERT_TRUE(norvtest::writeFile(path, std::vector<uint8_t>(pdf.begin(), pdf.end())));
  // At 288 dots per inch each point is 4 x 4 pixels; their centre is the page's pixel (at 72
  // the renderer smooths bitmaps).
  ASSERT_EQ(norvtest::runTool("pdftoppm -r 288 " + norvtest::shellQuote(path) + " " +
                              norvtest::shellQuote(dir.file("page")))
                .status,
            0);
  for (uint32_t p = 0; p < 3; ++p) {
    SCOPED_TRACE(p + 1);
    QImage fine(QString::fromStdString(dir.file("page-" + std::to_string(p + 1) + ".ppm")));
    ASSERT_EQ(fine.size(), QSize(360, 240));
    const auto [w, h] = sizes[p];
    int bad = 0;
    for (uint32_t y = 0; y < 60; ++y)
      for (uint32_t x = 0; x < 90; ++x) {
        const size_t i = (size_t{y} * w + x) * 3;
        const QRgb want = x < w && y < h ? qRgb(sample(i, p), sample(i + 1, p), sample(i + 2, p))
                                         : qRgb(255, 255, 255);
        bad += (fine.pixel(4 * x + 2, 4 * y + 2) & 0xFFFFFF) != (want & 0xFFFFFF);
      }
    EXPECT_EQ(bad, 0);
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("page-4.ppm"))));
}

// A container's memory bitmap: a page of the bitmap's size is drawn into it pixel for pixel,
// one 1.7 % smaller at 1:1 with the rest left as the container painted it; the bitmap holds one
// page, so a job of two pages fails at the second; null and empty images give no device.
TEST(PrinterDeviceTest, BitmapsTakeOnePagePixelForPixel) {
  norvtest::TempDir dir("bitmap");
  ASSERT_TRUE(dir.made());
  const std::vector<std::pair<uint32_t, uint32_t>> sizes{{90, 60}, {89, 59}};
  norvtest::writeRgbTiff(dir.file("doc.tif"), sizes, sample);
  ctl::NorvviewCtrl control;
  control.SetFileName(dir.file("doc.tif"));
  ASSERT_EQ(control.NumPages(), 2);
  const auto print = [&](int32_t handle, int32_t from, int32_t to) {
    Variant result;
    const std::array args{Variant::i4(handle), Variant::i4(0), Variant::i4(from), Variant::i4(to)};
    EXPECT_EQ(control.invoke(ctl::kIdPrintLayerFromTo, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  };
  for (uint32_t p = 0; p < 2; ++p) {
    SCOPED_TRACE(p + 1);
    QImage bitmap(90, 60, QImage::Format_RGB32);
    bitmap.fill(qRgb(1, 2, 3));
    const int32_t handle = registerBitmap(&bitmap);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(gfx::deviceFromHandle(handle)->caps().width, 90);
    EXPECT_EQ(print(handle, static_cast<int32_t>(p + 1), static_cast<int32_t>(p + 1)), 0);
    unregisterPrinter(handle);
    EXPECT_EQ(gfx::deviceFromHandle(handle), nullptr);
    const auto [w, h] = sizes[p];
    int bad = 0;
    for (uint32_t y = 0; y < 60; ++y)
      for (uint32_t x = 0; x < 90; ++x) {
        const size_t i = (size_t{y} * w + x) * 3;
        const QRgb want =
            x < w && y < h ? qRgb(sample(i, p), sample(i + 1, p), sample(i + 2, p)) : qRgb(1, 2, 3);
        bad += (bitmap.pixel(static_cast<int>(x), static_cast<int>(y)) & 0xFFFFFF) !=
               (want & 0xFFFFFF);
      }
    EXPECT_EQ(bad, 0);
  }
  QImage bitmap(90, 60, QImage::Format_RGB32);
  const int32_t handle = registerBitmap(&bitmap);
  EXPECT_LT(print(handle, 1, 2), 0);
  unregisterPrinter(handle);
  QImage empty;
  EXPECT_EQ(registerBitmap(&empty), 0);
  EXPECT_EQ(registerBitmap(nullptr), 0);
}

// Printers made for a container: each a device of the handle table with the printer's size until
// given back; a null printer, a stale handle or a full table give 0 or are ignored.
TEST(PrinterDeviceTest, ContainerPrintersComeAndGo) {
  QByteArray pdf;
  QBuffer buffer(&pdf);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(72);
  writer.setPageSize(QPageSize(QSizeF(90, 60), QPageSize::Point));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  // The pointer is the printer's QPagedPaintDevice, converted before it loses its type.
  QPagedPaintDevice *paged = &writer;
  EXPECT_EQ(registerPrinter(nullptr), 0);
  const int32_t handle = registerPrinter(paged);
  ASSERT_NE(handle, 0);
  gfx::Device *device = gfx::deviceFromHandle(handle);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->caps().width, 90);
  EXPECT_EQ(device->caps().height, 60);
  unregisterPrinter(handle);
  EXPECT_EQ(gfx::deviceFromHandle(handle), nullptr);
  unregisterPrinter(handle);  // stale: ignored

  std::vector<int32_t> handles;
  for (int32_t i = 0; i <= gfx::kMaxDeviceHandles; ++i) handles.push_back(registerPrinter(paged));
  EXPECT_EQ(handles.back(), 0);
  for (int32_t h : handles) unregisterPrinter(h);
  for (int32_t h : handles) EXPECT_EQ(gfx::deviceFromHandle(h), nullptr);
}

}  // namespace
}  // namespace ctq
