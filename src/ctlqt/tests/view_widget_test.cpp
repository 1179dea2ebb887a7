// The Qt host of the view control on the offscreen platform: the widget paints the same pixels
// as the memory device at several zooms, orientations and view modes, the painter device keeps
// the bitmap rule (pixels outside the source untouched), a page that cannot be rendered carries
// a notice, and mouse, key and wheel input reach the control's events with the control's codes;
// cursors follow the control's requests.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <memory>
#include <vector>

#include "ctq_painter_device.h"
#include "ctq_view_widget.h"
#include "gfx_memory_device.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"

namespace ctq {
namespace {

using comp::Variant;

// The application lives from before the first test to after the last, and ends before the
// process's static objects do.
class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[11] = "test_ctlqt";
  char *argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment *const kQt =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

struct RecordingSink : comp::EventSink {
  std::vector<std::pair<int32_t, std::vector<int32_t>>> events;
  void fire(int32_t id, std::span<const Variant> args) override {
    std::vector<int32_t> values;
    for (const Variant &v : args)
      values.push_back(v.type() == comp::VarType::I2Ref ? *v.asI2Ref() : v.asI4());
    events.emplace_back(id, values);
  }
};

class WidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.made());
    norvtest::writeRgbTiff(dir_.file("doc.tif"), {{70u, 50u}, {40u, 90u}},
                           [](size_t i, uint32_t) { return i * 37 + i / 97; });
    control_.SetFileName(dir_.file("doc.tif"));
    ASSERT_EQ(control_.NumPages(), 2);
    control_.setEventSink(&sink_);
  }

  norvtest::TempDir dir_{"ctlqt"};
  ctl::NorvviewCtrl control_;
  RecordingSink sink_;
};

TEST_F(WidgetTest, PaintsTheMemoryDevicePixels) {
  NorvviewWidget widget(control_);
  widget.resize(83, 131);
  control_.SetBackColor(0x00336699);
  struct Case {
    double zoom;
    int32_t orientation, mode, gap, dy;
  };
  for (const Case &c : {Case{1.0, 0, 0, 10, 0},
                        {0.6, 90, 0, 4, 17},
                        {2.5, 180, 1, 10, 40},
                        {0.35, 270, 0, 33, 3},
                        {1.3, 0, 0, 0, 60}}) {
    SCOPED_TRACE(testing::Message() << c.zoom << " " << c.orientation << " " << c.mode);
    control_.SetZoomFactor(c.zoom);
    control_.SetOrientation(c.orientation);
    control_.SetViewMode(c.mode);
    control_.SetPageBreakSpace(c.gap);
    control_.SetYPosition(0);
    control_.Pan(5, c.dy);
    const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.width(), 83);
    ASSERT_EQ(shown.height(), 131);
    gfx::MemoryDevice memory(83, 131);
    control_.OnDraw(&memory, gfx::Rect{0, 0, 83, 131}, gfx::Rect{0, 0, 83, 131});
    int differing = 0, pagePixels = 0;
    for (int y = 0; y < 131; ++y)
      for (int x = 0; x < 83; ++x) {
        const gfx::Rgb p = memory.pixel(x, y);
        differing += (shown.pixel(x, y) & 0xFFFFFF) != p;
        pagePixels += p != 0x996633 && p != 0x181818 && p != 0xFFFFFF;
      }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(pagePixels, 200);  // the view shows page pixels, not only background
  }
}

// A page that cannot be rendered (too large to read: its size alone is checked) is painted as
// background by the control, and the widget says over it that it cannot be shown; a rendered
// page carries no notice.
TEST_F(WidgetTest, PagesThatCannotBeRenderedSaySo) {
  const std::string path = dir_.file("huge.tif");
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  constexpr uint32_t kPage = 16400;  // 16400 x 16400 pixels: more than one bitmap may hold
  // A bilevel Group 4 page of one strip (the strip is never decoded).
  const std::pair<uint32_t, uint32_t> tags[] = {{TIFFTAG_IMAGEWIDTH, kPage},
                                                {TIFFTAG_IMAGELENGTH, kPage},
                                                {TIFFTAG_BITSPERSAMPLE, 1},
                                                {TIFFTAG_SAMPLESPERPIXEL, 1},
                                                {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE},
                                                {TIFFTAG_ROWSPERSTRIP, kPage},
                                                {TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4}};
  for (const auto &[tag, value] : tags) ASSERT_EQ(TIFFSetField(tiff, tag, value), 1) << tag;
  std::vector<uint8_t> coded(64, 0);
  ASSERT_GT(TIFFWriteRawStrip(tiff, 0, coded.data(), static_cast<tmsize_t>(coded.size())), 0);
  TIFFClose(tiff);
  ctl::NorvviewCtrl control;
  control.SetFileName(path);
  ASSERT_EQ(control.NumPages(), 1);
  control.SetZoomFactor(0.01);  // the page is 164 x 164 pixels on the screen
  control.SetViewMode(1);
  control.SetBackColor(0x00336699);
  constexpr int32_t kShown = 164;
  NorvviewWidget widget(control);
  widget.resize(kShown + 20, kShown + 20);
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  gfx::MemoryDevice memory(kShown + 20, kShown + 20);
  control.setSite(nullptr);
  control.OnDraw(&memory, gfx::Rect{0, 0, kShown + 20, kShown + 20},
                 gfx::Rect{0, 0, kShown + 20, kShown + 20});
  int written = 0, background = 0;
  for (int32_t y = 0; y < kShown; ++y)
    for (int32_t x = 0; x < kShown; ++x) {
      background += memory.pixel(x, y) == 0x996633;
      written += (shown.pixel(x, y) & 0xFFFFFF) != 0x996633;
    }
  EXPECT_EQ(background, kShown * kShown);  // the control alone: background
  EXPECT_GT(written, 50);                  // the widget: the notice's text
  // A page that renders carries no notice: the widget shows the control's own pixels.
  NorvviewWidget good(control_);
  good.resize(70, 50);
  control_.SetZoomFactor(1.0);
  const QImage page = good.grab().toImage().convertToFormat(QImage::Format_RGB32);
  gfx::MemoryDevice pixels(70, 50);
  control_.OnDraw(&pixels, gfx::Rect{0, 0, 70, 50}, gfx::Rect{0, 0, 70, 50});
  int differing = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 70; ++x) differing += (page.pixel(x, y) & 0xFFFFFF) != pixels.pixel(x, y);
  EXPECT_EQ(differing, 0);
}

// Pixels the bitmap rule does not reach keep what the painter's target held.
TEST_F(WidgetTest, PainterDeviceKeepsUntouchedPixels) {
  QImage target(20, 10, QImage::Format_RGB32);
  target.fill(QColor(10, 20, 30));
  const uint8_t info[48] = {40, 0, 0, 0, 4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 24};
  const uint8_t bits[24] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                            13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  const gfx::Dib dib{info, sizeof info, bits, sizeof bits};
  {
    QPainter painter(&target);
    QtPainterDevice device(painter, capsOf(target));
    EXPECT_EQ(device.caps().width, 20);
    // Source columns 2 .. 5 of a 4-wide picture: only the first two are inside it.
    device.setDIBitsToDevice(18, 8, 4, 2, 2, 0, dib);
    device.fillRect(gfx::Rect{0, 0, 2, 1}, 0xABCDEF);
  }
  gfx::MemoryDevice memory(20, 10);
  memory.fillRect(gfx::Rect{0, 0, 20, 10}, 0x0A141E);
  memory.setDIBitsToDevice(18, 8, 4, 2, 2, 0, dib);
  memory.fillRect(gfx::Rect{0, 0, 2, 1}, 0xABCDEF);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      EXPECT_EQ(target.pixel(x, y) & 0xFFFFFF, memory.pixel(x, y)) << x << "," << y;
  EXPECT_EQ(memory.pixel(18, 8), 0x090807u);  // top row of a top-down picture, third pixel
}

TEST_F(WidgetTest, InputReachesTheControlEvents) {
  NorvviewWidget widget(control_);
  widget.resize(50, 40);
  auto send = [&](QEvent &&event) { QApplication::sendEvent(&widget, &event); };
  const QPointF at(12, 7), global(112, 207);
  send(QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                   Qt::ShiftModifier));
  send(QMouseEvent(QEvent::MouseMove, QPointF(13, 8), global, Qt::NoButton, Qt::LeftButton,
                   Qt::ControlModifier));
  send(QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier));
  send(QMouseEvent(QEvent::MouseButtonDblClick, at, global, Qt::LeftButton, Qt::LeftButton,
                   Qt::NoModifier));
  send(QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier));
  send(QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                   Qt::AltModifier));
  send(QKeyEvent(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier));
  send(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, "A"));
  send(QKeyEvent(QEvent::KeyRelease, Qt::Key_Left, Qt::ControlModifier));
  send(QKeyEvent(QEvent::KeyPress, Qt::Key_VolumeUp, Qt::NoModifier));  // no virtual key
  send(QWheelEvent(at, global, QPoint(), QPoint(0, -240), Qt::MiddleButton, Qt::ControlModifier,
                   Qt::NoScrollPhase, false));
  using V = std::vector<int32_t>;
  const std::vector<std::pair<int32_t, V>> expected = {
      {ctl::kEventMouseDown, V{1, 1, 12, 7}},
      {ctl::kEventMouseMove, V{1, 2, 13, 8}},
      {ctl::kEventMouseUp, V{1, 0, 12, 7}},
      {ctl::kEventClick, V{}},
      {ctl::kEventMouseDown, V{1, 0, 12, 7}},
      {ctl::kEventDblClick, V{}},
      {ctl::kEventMouseUp, V{1, 0, 12, 7}},
      {ctl::kEventMouseDown, V{2, 4, 12, 7}},
      {ctl::kEventKeyDown, V{0x22, 0}},
      {ctl::kEventKeyDown, V{'A', 1}},
      {ctl::kEventKeyPress, V{'A'}},
      {ctl::kEventKeyUp, V{0x25, 2}},
      {ctl::kEventMouseWheel, V{0x18, -240, 112, 207}},
  };
  EXPECT_EQ(sink_.events, expected);
}

TEST_F(WidgetTest, CursorsAndSite) {
  NorvviewWidget widget(control_);
  control_.SetCursor(ctl::kCursorHand);
  EXPECT_EQ(widget.cursor().shape(), Qt::OpenHandCursor);
  control_.SetCursor(ctl::kCursorGrab);
  EXPECT_EQ(widget.cursor().shape(), Qt::ClosedHandCursor);
  control_.SetCursor(ctl::kCursorZoomTool);
  EXPECT_EQ(widget.cursor().shape(), Qt::BitmapCursor);
  EXPECT_FALSE(widget.cursor().pixmap().isNull());
  control_.SetCursor(ctl::kCursorArrow);
  EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
  int aboutBoxes = 0;
  widget.setAboutBoxHandler([&] { ++aboutBoxes; });
  control_.AboutBox();
  EXPECT_EQ(aboutBoxes, 1);
  // The wait cursor is shown only while a page renders.
  widget.resize(30, 30);
  (void)widget.grab();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(NorvviewWidget::virtualKey(Qt::Key_F5), 0x74);
  EXPECT_EQ(NorvviewWidget::virtualKey(Qt::Key_7), '7');
}

}  // namespace
}  // namespace ctq
