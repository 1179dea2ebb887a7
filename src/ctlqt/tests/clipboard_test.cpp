// The clipboard on the offscreen platform: a selection and a whole page copied through the
// widget's control arrive as an image equal to the view's pixels and as a PDF whose page pdftoppm
// renders to the same pixels (one point per pixel); a page outside the document leaves the
// clipboard as it was.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <array>
#include <vector>

#include "ctq_clipboard.h"
#include "ctq_view_widget.h"
#include "gfx_memory_device.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"
#include "testkit_tools.h"

namespace ctq {
namespace {

using comp::Variant;

// Mismatching pixels between an image and a rectangle of the memory device.
int mismatches(const QImage &image, const gfx::MemoryDevice &view, int left, int top) {
  int bad = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      bad += (image.pixel(x, y) & 0xFFFFFF) != view.pixel(left + x, top + y);
  return bad;
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.made());
    norvtest::writeRgbTiff(dir_.file("page.tif"), {{90u, 60u}},
                           [](size_t i, uint32_t) { return i * 53 + i / 89; });
    control_.SetFileName(dir_.file("page.tif"));
    ASSERT_EQ(control_.NumPages(), 1);
    control_.SetZoomFactor(1.0);
  }
  int32_t call(int32_t id, std::vector<Variant> args) {
    Variant result;
    EXPECT_EQ(control_.invoke(id, comp::kMethod, args, &result), comp::S_OK);
    return result.asI4();
  }
  // The PDF on the clipboard rendered by pdftoppm at 72 dots per inch.
  QImage clipboardPdf() {
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasFormat(kPdfMimeType)) return QImage();
    const QByteArray pdf = data->data(kPdfMimeType);
    const std::string path = dir_.file("clip.pdf");
    norvtest::writeFile(path, std::vector<uint8_t>(pdf.begin(), pdf.end()));
    const norvtest::ToolRun run =
        norvtest::runTool("pdftoppm -r 288 " + norvtest::shellQuote(path));
    QImage fine;
    fine.loadFromData(reinterpret_cast<const uchar *>(run.output.data()),
                      static_cast<int>(run.output.size()), "PPM");
    // Each PDF point is 4 x 4 rendered pixels; their centre is the bitmap's pixel (at 72 dots
    // per inch the renderer smooths bitmaps, which would blur the comparison).
    QImage image(fine.width() / 4, fine.height() / 4, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, y, fine.pixel(4 * x + 2, 4 * y + 2));
    return image;
  }

  norvtest::TempDir dir_{"clip"};
  ctl::NorvviewCtrl control_;
};

TEST_F(ClipboardTest, SelectionAndPageAsImageAndPdf) {
  NorvviewWidget widget(control_);
  const bool pdftoppm = norvtest::toolAvailable("pdftoppm");
  gfx::MemoryDevice view(120, 100);
  control_.OnDraw(&view, gfx::Rect{0, 0, 120, 100}, gfx::Rect{0, 0, 120, 100});

  // A selection: top 3, left 4, bottom 40, right 60, inclusive.
  ASSERT_EQ(call(ctl::kIdCopyToClipboardTLBR,
                 {Variant::i4(3), Variant::i4(4), Variant::i4(40), Variant::i4(60)}),
            0);
  const QImage selection = QGuiApplication::clipboard()->image();
  ASSERT_EQ(selection.size(), QSize(57, 38));
  EXPECT_EQ(mismatches(selection.convertToFormat(QImage::Format_RGB32), view, 4, 3), 0);
  if (pdftoppm) {
    const QImage pdf = clipboardPdf();
    ASSERT_EQ(pdf.size(), QSize(57, 38));
    EXPECT_EQ(mismatches(pdf.convertToFormat(QImage::Format_RGB32), view, 4, 3), 0);
  }

  // The whole page: the page alone, no background.
  ASSERT_EQ(call(ctl::kIdCopyPageToClipboard, {Variant::i4(1)}), 0);
  const QImage page = QGuiApplication::clipboard()->image();
  ASSERT_EQ(page.size(), QSize(90, 60));
  EXPECT_EQ(mismatches(page.convertToFormat(QImage::Format_RGB32), view, 0, 0), 0);
  if (pdftoppm) {
    const QImage pdf = clipboardPdf();
    ASSERT_EQ(pdf.size(), QSize(90, 60));
    EXPECT_EQ(mismatches(pdf.convertToFormat(QImage::Format_RGB32), view, 0, 0), 0);
  }

  // A page outside the document leaves the clipboard as it was.
  QGuiApplication::clipboard()->setText("kept");
  EXPECT_EQ(call(ctl::kIdCopyPageToClipboard, {Variant::i4(0)}), 0);
  EXPECT_EQ(call(ctl::kIdCopyPageToClipboard, {Variant::i4(2)}), 0);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

}  // namespace
}  // namespace ctq
