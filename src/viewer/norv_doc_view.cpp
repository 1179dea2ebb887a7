// The document window's view procedures: zoom about the view's centre and to a dragged box,
// rotation that keeps the visible region, dragging the page, stretching the selection
// rectangle, and printing a page range of one layer through a Qt printer.
//
// Positions are the control's pixel positions at the current zoom. In continuous mode the pages
// are stacked with PageBreakSpace pixels between them, and those gaps do not scale with the
// zoom, so a zoom about a point on page p scales everything above it except its p - 1 gaps.
#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <cmath>

#include "norv_doc.h"
#include "util.h"

namespace viewer {
namespace {

constexpr double kMinZoom = 0.01;
constexpr double kMaxZoom = 10.0;

double clampZoom(double zoom) {
  return Round(Larger(Smaller(zoom, kMaxZoom), kMinZoom), 4);
}

// A position after a zoom by r, the page's gaps above it unscaled.
double zoomedPosition(double position, double r, double gap, int32_t page) {
  const double gaps = gap * (page - 1);
  return (position - gaps) * r + gaps;
}

// Qt's print dialog: page numbers allowed, no selection choice; a page range when the user
// picked one.
PrintChoice showPrintDialog(QWidget *parent, QPrinter &printer, int minPage, int maxPage) {
  QPrintDialog dialog(&printer, parent);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  dialog.setMinMax(minPage, maxPage);
  dialog.setFromTo(minPage, maxPage);
  PrintChoice choice;
  choice.accepted = dialog.exec() == QDialog::Accepted;
  choice.pageRange = dialog.printRange() == QAbstractPrintDialog::PageRange;
  choice.fromPage = dialog.fromPage();
  choice.toPage = dialog.toPage();
  return choice;
}

}  // namespace

void NorvDoc::ApplyTypedZoom() {
  double z = ZoomFromText(ZoomFactor->text().toStdString());
  if (z <= 0) {
    UpdateInfo();
    return;
  }
  CenteredZoom(z);
}

void NorvDoc::CenteredZoom(double &newZoom) {
  newZoom = clampZoom(newZoom);
  const double r = newZoom / ctl_.ZoomFactor();
  if (r == 1 || r == 0) return;
  const double gap = ctl_.PageBreakSpace();
  const double x = ctl_.GetModalXPosition();
  const double y = ctl_.GetModalYPosition();
  const double vw = ViewableWidthPix();
  const double vh = ViewableHeightPix();
  const double mw = ctl_.GetModalWidth();
  const double mh = ctl_.GetModalHeight();
  const double cx = (x + Smaller(mw, x + vw)) / 2;
  const double cy = (y + Smaller(mh, y + vh)) / 2;
  int32_t page = 1;
  if (ctl_.ViewMode() == 0) page = ctl_.GetPageForPosition(CLng(cx), CLng(cy));
  double nx = cx * r - vw / 2;
  double ny = zoomedPosition(cy, r, gap, page) - vh / 2;
  if (mw * r - nx < vw) nx = Larger(mw * r - vw, 0);
  if (mh * r - ny < vh) ny = Larger(mh * r - vh, 0);
  ctl_.SetZoomAndModalPosition(newZoom, CLng(nx), CLng(ny));
  UpdateAll();
}

void NorvDoc::ZoomBox(double x1, double y1, double x2, double y2) {
  const double w = toPixelsX(std::fabs(x2 - x1));
  const double h = toPixelsY(std::fabs(y2 - y1));
  if (!(w > 1 && h > 1)) return;
  const double gap = ctl_.PageBreakSpace();
  const double zoom = ctl_.ZoomFactor();
  const double f = Smaller(ViewableWidthPix() / w, ViewableHeightPix() / h);
  const double z = clampZoom(zoom * f);
  const double r = z / zoom;
  double left = toPixelsX(Smaller(x2, x1)) + ctl_.GetModalXPosition();
  double top = toPixelsY(Smaller(y2, y1)) + ctl_.GetModalYPosition();
  int32_t page = 1;
  if (ctl_.ViewMode() == 0) page = ctl_.GetPageForPosition(CLng(left), CLng(top));
  top = zoomedPosition(top, r, gap, page);
  left *= r;
  ctl_.SetZoomAndModalPosition(z, CLng(left), CLng(top));
  UpdateAll();
}

void NorvDoc::RotateTo(int16_t &angle) {
  const int32_t cur = ctl_.Orientation();
  int32_t turn = angle;
  if (turn < cur) turn += 360;
  turn -= cur;
  angle = CInt(turn);
  switch (angle) {
    case 90:
      Rotate90Relative();
      break;
    case 180:
      Rotate180Relative();
      break;
    case 270:
      Rotate270Relative();
      break;
    default:
      break;
  }
}

namespace {

// The current page's position and size at the current zoom, as the turns read them.
struct PageView {
  double x, y, w, h;
};

PageView pageView(ControlCalls &ctl) {
  return {double(ctl.GetPageX()), double(ctl.GetPageY()), double(ctl.GetCurrentPageWidth()),
          double(ctl.GetCurrentPageHeight())};
}

}  // namespace

// Each turn puts the view's top-left corner at the top-left corner of the old visible
// rectangle's image under the turn. The orientation is passed unreduced; the control reduces it.
void NorvDoc::Rotate90Relative() {
  const PageView v = pageView(ctl_);
  ctl_.SetOrientationAndPagePosition(CInt(ctl_.Orientation() + 90.0),
                                     CLng(v.h - (v.y + ViewableHeightPix())), CLng(v.x));
  UpdateAll();
}

void NorvDoc::Rotate180Relative() {
  const PageView v = pageView(ctl_);
  ctl_.SetOrientationAndPagePosition(CInt(ctl_.Orientation() + 180.0),
                                     CLng(v.w - (v.x + ViewableWidthPix())),
                                     CLng(v.h - (v.y + ViewableHeightPix())));
  UpdateAll();
}

void NorvDoc::Rotate270Relative() {
  const PageView v = pageView(ctl_);
  ctl_.SetOrientationAndPagePosition(CInt(ctl_.Orientation() + 270.0), CLng(v.y),
                                     CLng(v.w - (v.x + ViewableWidthPix())));
  UpdateAll();
}

void NorvDoc::PanMouseMove(float &x, float &y) {
  double dx = toPixelsX(lastX - x);
  double dy = toPixelsY(lastY - y);
  const double step = Larger(ctl_.ZoomFactor(), 1.0);
  if (std::fabs(dx) >= step) {
    lastX = x;
  } else {
    dx = 0;
  }
  if (std::fabs(dy) >= step) {
    lastY = y;
  } else {
    dy = 0;
  }
  const double x0 = ctl_.GetModalXPosition();
  const double y0 = ctl_.GetModalYPosition();
  const double maxX = ctl_.GetModalWidth() - toPixelsX(NorvCtlWindow->width());
  const double maxY = ctl_.GetModalHeight() - toPixelsY(NorvCtlWindow->height());
  dx = Larger(Smaller(dx, maxX - x0), -x0);
  dy = Larger(Smaller(dy, maxY - y0), -y0);
  ctl_.Pan(CLng(dx), CLng(dy));
  UpdateAll();
}

void NorvDoc::SelectionMouseMove(float &x, float &y) {
  const double px = NorvCtlWindow->x() + double(x);
  const double py = NorvCtlWindow->y() + double(y);
  const double left = Smaller(pressX, px);
  const double top = Smaller(pressY, py);
  SelectBox->setGeometry(CLng(left), CLng(top), CLng(Larger(pressX, px) - left),
                         CLng(Larger(pressY, py) - top));
}

void NorvDoc::PrintLayer(int16_t &layer) {
  int32_t first = 1;
  int32_t last = ctl_.NumPages();
  QPrinter printer(QPrinter::HighResolution);
  if (last >= 1) printer.setFromTo(1, last);  // (a printer refuses an empty range)
  const PrintDialogFn &dialog = printDialog_ ? printDialog_ : PrintDialogFn(showPrintDialog);
  const PrintChoice choice = dialog(this, printer, 1, last);
  if (!choice.accepted) return;
  if (choice.pageRange) {
    first = choice.fromPage;
    last = choice.toPage;
  }
  const QString saved = windowTitle();
  setWindowTitle("Printing... Please wait");
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  // The printer is a drawing device of the control's module for the length of the job.
  ViewControl *control = ctl_.control();
  const int32_t hdc = control != nullptr ? control->registerPrinter(printer) : 0;
  if (hdc != 0) {
    ctl_.PrintLayerFromTo(hdc, layer, first, last);
    control->unregisterPrinter(hdc);
  }
  setWindowTitle(saved);
}

}  // namespace viewer
