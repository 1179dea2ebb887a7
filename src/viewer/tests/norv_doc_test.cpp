// The document window over a loaded view control, shown offscreen: layout of toolbar, control
// and scroll bars; the toolbar's controls side by side at any width; the indicators refreshed from
// the control; zoom about the centre and to a box; four quarter turns; the vertical scroll bar over
// a 300-page document (scaled into its 16-bit range); printing a page range to a PDF file; and
// screenshots of the window compared with golden images.
//
// Golden images: src/viewer/tests/data/norv_doc_*.png. After a deliberate change of the
// window's look, run the suite with NORVVIEW_UPDATE_GOLDEN=1 (the images are rewritten in the
// source tree) and review the new images before committing them.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QStyleFactory>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control_fixture.h"
#include "control_ids.h"
#include "norv_doc.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"
#include "testkit_tools.h"
#include "util.h"

namespace viewer {
namespace {

using comp::Variant;

// Page p's pixel (x, y) of the RGB test documents.
QRgb samplePixel(uint32_t x, uint32_t y, uint32_t page) {
  const bool cell = ((x / 16) + (y / 16)) % 2 == 0;
  return qRgb(static_cast<int>((x * 255) / 600), cell ? 40 + 60 * (page % 4) : 230,
              static_cast<int>((y * 255) / 700));
}

// A TIFF of samplePixel pages of the given sizes, each written as one strip.
void writeRgbTiff(const std::string &path,
                  const std::vector<std::pair<uint32_t, uint32_t>> &sizes) {
  norvtest::writeRgbTiff(path, sizes, [&sizes](size_t i, uint32_t page) {
    const size_t pixel = i / 3;
    const uint32_t w = sizes[page].first;
    const QRgb c =
        samplePixel(static_cast<uint32_t>(pixel % w), static_cast<uint32_t>(pixel / w), page);
    const int channel = static_cast<int>(i % 3);
    return channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
  });
}

// A TIFF of count bilevel pages of w x h, page p black in its top p % h rows, written page by
// page.
void writeBilevelTiff(const std::string &path, uint32_t count, uint32_t w, uint32_t h) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  const uint32_t stride = (w + 7) / 8;
  std::vector<uint8_t> rows(size_t{stride} * h);
  for (uint32_t p = 0; p < count; ++p) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
    for (uint32_t y = 0; y < h; ++y)
      std::fill_n(&rows[size_t{y} * stride], stride, y < p % h ? 0xFF : 0x00);
    ASSERT_GE(TIFFWriteEncodedStrip(tiff, 0, rows.data(), static_cast<tmsize_t>(rows.size())), 0);
    ASSERT_TRUE(TIFFWriteDirectory(tiff));
  }
  TIFFClose(tiff);
}

class NorvDocTest : public ControlTest {
 protected:
  static void SetUpTestSuite() {
    ControlTest::SetUpTestSuite();
    // One look on every machine: the Fusion style and one font of the test's own choice.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    QApplication::setFont(font);
  }

  void SetUp() override {
    ControlTest::SetUp();
    ASSERT_TRUE(dir_.made());
  }

  // The window over a new control showing the document, 420 x 360, shown and laid out.
  void open(const std::string &path, int width = 420, int height = 360) {
    doc_.reset();
    control_ = newControl();
    ASSERT_NE(control_, nullptr);
    doc_ = std::make_unique<NorvDoc>(*control_);
    doc_->resize(width, height);
    doc_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(doc_.get()));
    ASSERT_EQ(control_->put(dispid::FileName, Variant::bstr(path)), comp::S_OK);
    ASSERT_GT(ctl().NumPages(), 0);
    doc_->UpdateAll();
  }

  ControlCalls &ctl() { return doc_->control(); }

  norvtest::TempDir dir_{"norv_doc"};
  std::unique_ptr<ViewControl> control_;
  std::unique_ptr<NorvDoc> doc_;
};

// The document pixel at the centre of the visible part of the view, in page pixels at zoom 1 (in
// continuous mode the gaps above the page are taken out first).
struct CentrePoint {
  int32_t page;
  double x, y;
};

CentrePoint centreOf(NorvDoc &doc) {
  ControlCalls &c = doc.control();
  const double x = c.GetModalXPosition(), y = c.GetModalYPosition();
  const double cx = (x + Smaller(c.GetModalWidth(), x + doc.ViewableWidthPix())) / 2;
  const double cy = (y + Smaller(c.GetModalHeight(), y + doc.ViewableHeightPix())) / 2;
  const int32_t page = c.ViewMode() == 0 ? c.GetPageForPosition(CLng(cx), CLng(cy)) : 1;
  const double gaps = double(c.PageBreakSpace()) * (page - 1);
  const double zoom = c.ZoomFactor();
  return {page, cx / zoom, (cy - gaps) / zoom + gaps};
}

TEST_F(NorvDocTest, LayoutPlacesToolbarControlAndScrollBars) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {600, 700}, {600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  const int tb = d.ToolBar->height();
  // The toolbar spans the window, or its controls' width where the window is narrower.
  EXPECT_EQ(d.ToolBar->geometry(),
            QRect(0, 0, std::max(420, d.ToolBar->minimumSizeHint().width()), tb));
  EXPECT_EQ(d.VScroll->geometry(), QRect(420 - d.VScroll->width(), tb, d.VScroll->width(),
                                         360 - tb - d.HScroll->height()));
  EXPECT_EQ(d.HScroll->geometry(),
            QRect(0, 360 - d.HScroll->height(), 420 - d.VScroll->width(), d.HScroll->height()));
  EXPECT_EQ(d.ViewableWidth(), 420 - d.VScroll->width());
  EXPECT_EQ(d.ViewableHeight(), 360 - tb - d.HScroll->height());

  // At the start zoom (0.25) the page is narrower than the view: the control's window is the
  // page's width, centred.
  const int32_t pageWidth = ctl().GetModalWidth();
  ASSERT_LT(pageWidth, d.ViewableWidth());
  const QRect window = d.NorvCtlWindow->geometry();
  EXPECT_EQ(window.width(), pageWidth);
  EXPECT_EQ(window.top(), tb);
  EXPECT_EQ(window.height(), d.ViewableHeight());
  EXPECT_NEAR(window.left(), (d.ViewableWidth() - pageWidth) / 2, 0.5);
  EXPECT_EQ(d.HScroll->maximum(), 0);

  // At zoom 1 the page is wider: the window fills the view and the bars cover the rest.
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  EXPECT_EQ(d.NorvCtlWindow->geometry(),
            QRect(0, tb, int(d.ViewableWidth()), int(d.ViewableHeight())));
  // In continuous mode the document is the page's width and one page gap wide.
  EXPECT_EQ(ctl().GetModalWidth(), 600 + 10);
  EXPECT_EQ(d.HScroll->maximum(), 610 - d.NorvCtlWindow->width());
  EXPECT_EQ(d.VScroll->maximum(), ctl().GetModalHeight() - d.NorvCtlWindow->height());
  EXPECT_EQ(d.VScroll->singleStep(), 1);
  EXPECT_EQ(d.VScroll->pageStep(), CInt(d.NorvCtlWindow->height() * 0.95));
  EXPECT_EQ(d.VScroll->value(), ctl().GetModalYPosition());
  EXPECT_EQ(d.vScrollScale, 1.0);
  EXPECT_EQ(d.scrollUpdating, 0);
  zoom = 3.0;
  d.CenteredZoom(zoom);
  EXPECT_EQ(d.HScroll->singleStep(), 3);
}

// At any window width, from narrow to the default and wide, the toolbar's controls lie side by
// side, each at least as wide as it needs: no field covers its label or a button.
TEST_F(NorvDocTest, ToolbarControlsNeverOverlap) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  for (const int width : {200, 420, 480, 600, 900}) {
    SCOPED_TRACE(width);
    d.resize(width, 360);
    QApplication::processEvents();
    std::vector<QWidget *> shown;
    for (QWidget *child : d.ToolBar->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
      if (child->isVisible()) shown.push_back(child);
    ASSERT_GT(shown.size(), 10u);
    for (size_t i = 0; i < shown.size(); ++i) {
      const QString name = shown[i]->objectName();
      EXPECT_GE(shown[i]->width(), shown[i]->minimumSizeHint().width()) << name.toStdString();
      for (size_t j = i + 1; j < shown.size(); ++j)
        EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
            << name.toStdString() << " and " << shown[j]->objectName().toStdString();
    }
  }
}

TEST_F(NorvDocTest, IndicatorsFollowTheControl) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {300, 200}, {600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  struct Case {
    const char *name;
    int32_t page;
    bool firstEnabled, lastEnabled;
  };
  for (const Case &c : {Case{"first", 1, false, true}, Case{"middle", 2, true, true},
                        Case{"last", 3, true, false}}) {
    SCOPED_TRACE(c.name);
    control_->put(dispid::CurrentPage, Variant::i4(c.page));
    d.UpdateInfo();
    EXPECT_EQ(d.PageNum->text(), QString::number(c.page));
    EXPECT_EQ(d.NumPages->text(), "of  3");
    EXPECT_EQ(d.windowTitle(), QString::fromStdString(path));
    EXPECT_EQ(d.FirstPage->isEnabled(), c.firstEnabled);
    EXPECT_EQ(d.PreviousPage->isEnabled(), c.firstEnabled);
    EXPECT_EQ(d.menuViewFirstpage->isEnabled(), c.firstEnabled);
    EXPECT_EQ(d.menuViewPreviouspage->isEnabled(), c.firstEnabled);
    EXPECT_EQ(d.NextPage->isEnabled(), c.lastEnabled);
    EXPECT_EQ(d.LastPage->isEnabled(), c.lastEnabled);
    EXPECT_EQ(d.menuViewNextpage->isEnabled(), c.lastEnabled);
    EXPECT_EQ(d.menuViewLastpage->isEnabled(), c.lastEnabled);
  }
  EXPECT_EQ(d.ZoomFactor->text(), " 25%");
  EXPECT_TRUE(d.menuViewContinuous->isChecked());
  EXPECT_FALSE(d.menuViewOnepage->isChecked());
  // A plain TIFF has no layers: the layer list and menu are hidden.
  EXPECT_FALSE(d.Layer->isVisible());
  EXPECT_FALSE(d.menuViewLayer->menuAction()->isVisible());

  control_->put(dispid::ViewMode, Variant::i4(1));
  control_->put(dispid::Orientation, Variant::i4(180));
  double zoom = 1.5;
  d.CenteredZoom(zoom);
  EXPECT_EQ(d.ZoomFactor->text(), " 150%");
  EXPECT_FALSE(d.menuViewContinuous->isChecked());
  EXPECT_TRUE(d.menuViewOnepage->isChecked());
  EXPECT_FALSE(d.menuViewOrientation0->isChecked());
  EXPECT_TRUE(d.menuViewOrientation180->isChecked());

  // A typed zoom that is no number restores the field; a number zooms about the centre.
  d.ZoomFactor->clear();
  QTest::keyClicks(d.ZoomFactor, "abc");
  d.ApplyTypedZoom();
  EXPECT_EQ(d.ZoomFactor->text(), " 150%");
  d.ZoomFactor->clear();
  QTest::keyClicks(d.ZoomFactor, "50%");
  d.ApplyTypedZoom();
  EXPECT_EQ(ctl().ZoomFactor(), 0.5);
  EXPECT_EQ(d.ZoomFactor->text(), " 50%");
}

TEST_F(NorvDocTest, OnePageDisablesEveryPageButton) {
  const std::string path = dir_.file("one.tif");
  writeRgbTiff(path, {{100, 100}});
  open(path);
  EXPECT_EQ(doc_->NumPages->text(), "of  1");
  for (QWidget *w :
       {static_cast<QWidget *>(doc_->FirstPage), static_cast<QWidget *>(doc_->PreviousPage),
        static_cast<QWidget *>(doc_->NextPage), static_cast<QWidget *>(doc_->LastPage)})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  for (QAction *a : {doc_->menuViewFirstpage, doc_->menuViewPreviouspage, doc_->menuViewNextpage,
                     doc_->menuViewLastpage})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

// Zoom in and out as the toolbar does (twice and half the zoom) and by typed zooms: the page
// point at the view's centre stays. The control keeps its position in whole page pixels and
// truncates zoomed sizes, so at another zoom the point may be off by up to one page pixel and
// one device pixel; back at the first zoom it is within one device pixel of where it was. (Below
// the zoom at which the page is as wide as the view the page is centred instead, so the steps stay
// above it.)
TEST_F(NorvDocTest, ZoomAboutTheCentreKeepsTheCentrePoint) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {600, 700}, {600, 700}, {600, 700}});
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode == 0 ? "continuous" : "one page");
    open(path);
    NorvDoc &d = *doc_;
    control_->put(dispid::ViewMode, Variant::i4(mode));
    // A view in the middle of page 2 (or of the one page) at zoom 1.
    const int32_t top = mode == 0 ? 710 + 200 : 200;
    control_->call(dispid::SetZoomAndModalPosition,
                   {Variant::r8(1.0), Variant::i4(100), Variant::i4(top)});
    d.UpdateAll();
    const CentrePoint start = centreOf(d);
    EXPECT_EQ(start.page, mode == 0 ? 2 : 1);
    const auto zoomBy = [&](double factor) {
      double zoom = ctl().ZoomFactor() * factor;
      d.CenteredZoom(zoom);
    };
    const auto typeZoom = [&](const char *text) {
      d.ZoomFactor->selectAll();
      QTest::keyClicks(d.ZoomFactor, text);
      d.ApplyTypedZoom();
    };
    const std::vector<std::pair<const char *, std::function<void()>>> steps = {
        {"in", [&] { zoomBy(2); }},          {"in", [&] { zoomBy(2); }},
        {"out", [&] { zoomBy(0.5); }},       {"out", [&] { zoomBy(0.5); }},
        {"125%", [&] { typeZoom("125%"); }}, {"100%", [&] { typeZoom("100%"); }},
        {"350%", [&] { typeZoom("350%"); }}, {"100%", [&] { typeZoom("100%"); }},
    };
    for (const auto &[name, step] : steps) {
      SCOPED_TRACE(name);
      step();
      const double z = ctl().ZoomFactor();
      const CentrePoint now = centreOf(d);
      EXPECT_EQ(now.page, start.page);
      // Device pixels: one back at the first zoom; at another, one page pixel more.
      const double slack = z == 1.0 ? 1.0 : 1.0 + z;
      EXPECT_LE(std::fabs(now.x - start.x) * z, slack) << "zoom " << z;
      EXPECT_LE(std::fabs(now.y - start.y) * z, slack) << "zoom " << z;
    }
  }
}

TEST_F(NorvDocTest, ZoomIsClampedAndWrittenBack) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}});
  open(path);
  struct Case {
    double asked, set;
  };
  for (const Case &c : {Case{25, 10}, Case{0.001, 0.01}, Case{1.23456, 1.2346}}) {
    double zoom = c.asked;
    doc_->CenteredZoom(zoom);
    EXPECT_EQ(zoom, c.set);
    EXPECT_EQ(ctl().ZoomFactor(), c.set);
  }
}

TEST_F(NorvDocTest, ZoomBoxShowsTheBox) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {600, 700}, {600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  control_->call(dispid::SetZoomAndModalPosition,
                 {Variant::r8(1.0), Variant::i4(0), Variant::i4(710 + 100)});
  d.UpdateAll();
  // A click or a line is no box.
  d.ZoomBox(50, 50, 51, 120);
  EXPECT_EQ(ctl().ZoomFactor(), 1.0);

  const QRectF box(QPointF(40, 30), QPointF(140, 80));  // control coordinates, on page 2
  const double x0 = ctl().GetModalXPosition(), y0 = ctl().GetModalYPosition();
  d.ZoomBox(box.right(), box.bottom(), box.left(), box.top());  // dragged up and to the left
  const double f =
      Smaller(d.ViewableWidthPix() / box.width(), d.ViewableHeightPix() / box.height());
  const double z = Round(Smaller(f, 10.0), 4);
  ASSERT_EQ(ctl().ZoomFactor(), z);
  // The box's top-left corner is the view's top-left corner, page gaps unscaled.
  // (Within one page pixel: the control keeps its position in whole page pixels.)
  EXPECT_NEAR(ctl().GetModalXPosition(), (x0 + box.left()) * z, z);
  EXPECT_NEAR(ctl().GetModalYPosition(), (y0 + box.top() - 10) * z + 10, z);
  // The whole box is in view, and it fills the view in one direction.
  EXPECT_LE(box.width() * z, d.ViewableWidthPix() + 1);
  EXPECT_LE(box.height() * z, d.ViewableHeightPix() + 1);
  EXPECT_TRUE(std::fabs(box.width() * z - d.ViewableWidthPix()) <= 1 ||
              std::fabs(box.height() * z - d.ViewableHeightPix()) <= 1);
  EXPECT_EQ(d.ZoomFactor->text(), QString::fromStdString(Str(z * 100) + "%"));
}

TEST_F(NorvDocTest, FourQuarterTurnsReturnToTheSameView) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  control_->put(dispid::ViewMode, Variant::i4(1));
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  control_->call(dispid::SetZoomAndModalPosition,
                 {Variant::r8(1.0), Variant::i4(30), Variant::i4(70)});
  d.UpdateAll();
  const int32_t x = ctl().GetModalXPosition(), y = ctl().GetModalYPosition();
  const QImage before = d.grab().toImage();
  for (int turn = 1; turn <= 4; ++turn) {
    SCOPED_TRACE(turn);
    d.Rotate90Relative();
    EXPECT_EQ(ctl().Orientation(), (turn * 90) % 360);
    EXPECT_EQ(d.menuViewOrientation90->isChecked(), turn == 1);
  }
  EXPECT_EQ(ctl().GetModalXPosition(), x);
  EXPECT_EQ(ctl().GetModalYPosition(), y);
  EXPECT_EQ(d.grab().toImage(), before);

  // Absolute turns: to 0 from 270 turns by 90, to the current orientation does nothing.
  int16_t angle = 270;
  d.RotateTo(angle);
  EXPECT_EQ(angle, 270);
  EXPECT_EQ(ctl().Orientation(), 270);
  angle = 0;
  d.RotateTo(angle);
  EXPECT_EQ(angle, 90);
  EXPECT_EQ(ctl().Orientation(), 0);
  angle = 0;
  d.RotateTo(angle);
  EXPECT_EQ(angle, 0);
  EXPECT_EQ(ctl().Orientation(), 0);
}

TEST_F(NorvDocTest, ScrollBarReachesEveryPageOfALongDocument) {
  const std::string path = dir_.file("long.tif");
  constexpr int32_t kPages = 300;
  writeBilevelTiff(path, kPages, 96, 240);
  open(path);
  NorvDoc &d = *doc_;
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  const int32_t height = ctl().GetModalHeight();
  ASSERT_EQ(height, kPages * (240 + 10));  // every page with the gap below it
  const double visible = d.NorvCtlWindow->height();
  const double scale = (height - visible) / 32767;
  ASSERT_GT(scale, 1.0);
  EXPECT_EQ(d.VScroll->maximum(), 32767);
  EXPECT_DOUBLE_EQ(d.vScrollScale, scale);
  EXPECT_EQ(d.VScroll->pageStep(), CInt(visible / scale * 0.95));
  // One bar unit moves less than the view's height, so no part of the document is skipped;
  // the bar's end shows the document's end.
  EXPECT_LT(scale, visible);
  EXPECT_GE(CLng(32767 * d.vScrollScale) + visible, height - 1);

  // A view in the middle of each page maps onto the bar and back (as the bar's handler moves the
  // view: value times scale) within half a bar unit of where it was, the same page in view; the
  // bar's values rise with the pages.
  int previous = -1;
  for (int32_t page = 1; page <= kPages; ++page) {
    const int32_t y = (page - 1) * 250 + 120;
    control_->call(dispid::SetModalYPosition, {Variant::i4(y)});
    d.UpdateAll();
    ASSERT_EQ(ctl().CurrentPage(), page);
    const int value = d.VScroll->value();
    ASSERT_GT(value, previous);
    previous = value;
    control_->call(dispid::SetModalYPosition, {Variant::i4(0)});
    control_->call(dispid::SetModalYPosition, {Variant::i4(CLng(value * d.vScrollScale))});
    // Past the bar's end (the last view) the page is still in view, lower down.
    const int32_t back = ctl().GetModalYPosition();
    const int32_t want = std::min(y, height - CLng(visible));
    ASSERT_LE(std::abs(back - want), scale / 2 + 1) << "bar value " << value;
    ASSERT_EQ(ctl().GetPageForPosition(0, back + (y - want)), page) << "bar value " << value;
  }
  // The bar's last value shows the last page.
  control_->call(dispid::SetModalYPosition, {Variant::i4(CLng(32767 * d.vScrollScale))});
  d.UpdateAll();
  EXPECT_EQ(d.VScroll->value(), 32767);
  EXPECT_EQ(ctl().GetPageForPosition(0, CLng(32767 * d.vScrollScale + visible - 1)), kPages);
}

TEST_F(NorvDocTest, PanMovesInWholePagePixelsAndStaysInside) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  control_->put(dispid::ViewMode, Variant::i4(1));
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  control_->call(dispid::SetZoomAndModalPosition,
                 {Variant::r8(1.0), Variant::i4(20), Variant::i4(30)});
  d.UpdateAll();
  d.lastX = 100;
  d.lastY = 100;
  float x = 100.5f, y = 100;
  d.PanMouseMove(x, y);  // half a pixel: nothing yet
  EXPECT_EQ(ctl().GetModalXPosition(), 20);
  EXPECT_EQ(d.lastX, 100);
  x = 101.1f;
  d.PanMouseMove(x, y);  // 1.1 pixels in all: the page follows the pointer
  EXPECT_EQ(ctl().GetModalXPosition(), 19);
  EXPECT_EQ(d.lastX, 101.1f);
  x = 400;
  y = 400;
  d.PanMouseMove(x, y);  // far right and down: stops at the document's left and top edges
  EXPECT_EQ(ctl().GetModalXPosition(), 0);
  EXPECT_EQ(ctl().GetModalYPosition(), 0);
  EXPECT_EQ(d.HScroll->value(), 0);
}

TEST_F(NorvDocTest, SelectionRectangleFollowsThePointer) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}});
  open(path);
  NorvDoc &d = *doc_;
  const QPoint origin = d.NorvCtlWindow->pos();
  d.pressX = origin.x() + 50;
  d.pressY = origin.y() + 60;
  float x = 20, y = 90;  // left of and below the press point
  d.SelectionMouseMove(x, y);
  EXPECT_EQ(d.SelectBox->geometry(), QRect(origin.x() + 20, origin.y() + 60, 30, 30));
}

TEST_F(NorvDocTest, PrintsAPageRangeOfOneLayer) {
  if (!norvtest::toolAvailable("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{120, 90}, {120, 90}, {120, 90}, {120, 90}});
  open(path);
  NorvDoc &d = *doc_;
  const std::string pdf = dir_.file("out.pdf");
  QString captionDuringDialog;
  int offeredMax = 0;
  d.setPrintDialog([&](QWidget *, QPrinter &printer, int minPage, int maxPage) {
    offeredMax = maxPage;
    EXPECT_EQ(minPage, 1);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setResolution(72);
    printer.setPageSize(QPageSize(QSizeF(120, 90), QPageSize::Point));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    captionDuringDialog = d.windowTitle();
    return PrintChoice{true, true, 2, 3};
  });
  int16_t layer = 0;
  d.PrintLayer(layer);
  EXPECT_EQ(offeredMax, 4);
  EXPECT_EQ(d.windowTitle(), captionDuringDialog);  // restored after printing
  ASSERT_TRUE(QFile::exists(QString::fromStdString(pdf)));
  // At 288 dots per inch each point is 4 x 4 pixels, whose centre is the page's pixel.
  ASSERT_EQ(norvtest::runTool("pdftoppm -r 288 " + norvtest::shellQuote(pdf) + " " +
                              norvtest::shellQuote(dir_.file("page")))
                .status,
            0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(dir_.file("page-3.ppm"))));
  for (int32_t sheet = 1; sheet <= 2; ++sheet) {
    SCOPED_TRACE(sheet);
    const int32_t page = sheet + 1;
    // The control's own render of the page at zoom 1.
    const std::string bmp = dir_.file("render" + std::to_string(page) + ".bmp");
    const Variant saved =
        control_->call(dispid::SavePageAsBmp,
                       {Variant::bstr(bmp), Variant::i4(page), Variant::i4(0), Variant::r8(1.0)});
    ASSERT_EQ(saved.asI4(), 0);
    const QImage render(QString::fromStdString(bmp));
    ASSERT_EQ(render.size(), QSize(120, 90));
    const QImage printed(
        QString::fromStdString(dir_.file("page-" + std::to_string(sheet) + ".ppm")));
    ASSERT_EQ(printed.size(), QSize(480, 360));
    int bad = 0;
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 120; ++x)
        bad += (printed.pixel(4 * x + 2, 4 * y + 2) & 0xFFFFFF) != (render.pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(bad, 0);
  }

  // A cancelled dialog prints nothing and leaves the caption alone.
  QFile::remove(QString::fromStdString(pdf));
  d.setPrintDialog([](QWidget *, QPrinter &, int, int) { return PrintChoice{}; });
  const QString caption = d.windowTitle();
  d.PrintLayer(layer);
  EXPECT_EQ(d.windowTitle(), caption);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
}

// The window at a few states against its golden images.
TEST_F(NorvDocTest, ScreenshotsEqualGoldenImages) {
  const std::string path = dir_.file("doc.tif");
  writeRgbTiff(path, {{600, 700}, {300, 200}, {600, 700}});
  open(path, 600, 400);
  NorvDoc &d = *doc_;
  EXPECT_LE(d.ToolBar->sizeHint().width(), 600);  // the whole toolbar shows
  // The view has the keyboard focus (no text cursor blinks in the shots).
  d.NorvCtlWindow->setFocus();
  const bool update = std::getenv("NORVVIEW_UPDATE_GOLDEN") != nullptr;
  const auto check = [&](const char *name) {
    SCOPED_TRACE(name);
    // No button shows a hover frame, wherever the platform left the pointer.
    for (QWidget *w : d.findChildren<QWidget *>()) w->setAttribute(Qt::WA_UnderMouse, false);
    QApplication::processEvents();
    const QImage shot = d.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString golden =
        QString(NORV_TEST_DATA) + "/norv_doc_" + QString::fromLatin1(name) + ".png";
    if (update) {
      ASSERT_TRUE(shot.save(golden));
      return;
    }
    const QImage want = QImage(golden).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(want.isNull()) << golden.toStdString();
    EXPECT_EQ(shot, want) << "regenerate with NORVVIEW_UPDATE_GOLDEN=1 after a deliberate change";
  };
  check("start");  // zoom 25 %, continuous, page 1
  double zoom = 1.0;
  d.CenteredZoom(zoom);
  check("zoom100");
  d.Rotate90Relative();
  check("turned90");
  control_->put(dispid::ViewMode, Variant::i4(1));
  control_->call(dispid::LastPage);
  d.UpdateAll();
  check("lastpage");
}

}  // namespace
}  // namespace viewer
