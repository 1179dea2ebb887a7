// The control's mouse, key and wheel events on a document window's view: the pan, zoom-box and
// selection tools of the Mouse Action menu (the middle button cycles them, the right button
// pops the menu up), paging keys (the vertical scroll bar in continuous view, whole pages in
// one-page view), digit keys choosing a layer, and the wheel scrolling 4 units a notch (times
// the zoom above 1; a positive delta pans down).
#include <QCursor>
#include <QMenu>
#include <cmath>

#include "control_ids.h"
#include "dispatch_calls.h"
#include "norv_doc.h"
#include "norv_doc_commands.h"
#include "util.h"

namespace viewer {
namespace {

enum : int16_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum : int16_t { kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35, kKeyHome = 36 };

// An event argument as a number (0 when it is none).
double numberArg(std::span<const comp::Variant> args, size_t i) {
  if (i >= args.size()) return 0;
  comp::Variant value;
  if (comp::coerce(args[i], comp::VarType::R8, &value) != comp::S_OK) return 0;
  return value.asR8();
}

}  // namespace

void NorvDocCommands::fire(int32_t id, std::span<const comp::Variant> args) {
  const auto i2 = [&](size_t i) { return CInt(numberArg(args, i)); };
  const auto mouse = [&](void (NorvDocCommands::*handler)(int16_t, int16_t, float, double)) {
    (this->*handler)(i2(0), i2(1), static_cast<float>(numberArg(args, 2)), numberArg(args, 3));
  };
  switch (id) {
    case eventid::MouseDown:
      mouse(&NorvDocCommands::NorvCtl_MouseDown);
      break;
    case eventid::MouseMove:
      mouse(&NorvDocCommands::NorvCtl_MouseMove);
      break;
    case eventid::MouseUp:
      mouse(&NorvDocCommands::NorvCtl_MouseUp);
      break;
    case eventid::KeyDown:
      if (args.size() == 2 && args[0].type() == comp::VarType::I2Ref &&
          args[0].asI2Ref() != nullptr)
        NorvCtl_KeyDown(*args[0].asI2Ref(), i2(1));
      break;
    case eventid::KeyPress:
      if (args.size() == 1 && args[0].type() == comp::VarType::I2Ref &&
          args[0].asI2Ref() != nullptr)
        NorvCtl_KeyPress(*args[0].asI2Ref());
      break;
    case eventid::MouseWheel:
      NorvCtl_MouseWheel(CLng(numberArg(args, 0)), i2(1), CLng(numberArg(args, 2)),
                         CLng(numberArg(args, 3)));
      break;
    default:
      break;
  }
}

void NorvDocCommands::NorvCtl_MouseDown(int16_t button, int16_t /*shift*/, float x, double y) {
  NorvDoc &d = doc_;
  d.lastX = x;
  d.lastY = y;
  if (button & kLeftButton) {
    d.leftDragging = true;
    d.pressX = static_cast<float>(d.NorvCtlWindow->x() + x);
    d.pressY = d.NorvCtlWindow->y() + y;
    if (currentTool() == Tool::Pan) {
      ctlCall(control(), dispid::SetGrabCursor);
      d.SelectBox->hide();
    } else {
      d.SelectBox->setGeometry(CLng(d.pressX), CLng(d.pressY), 0, 0);
      d.SelectBox->show();
      d.SelectBox->raise();
    }
  }
  if (button & kMiddleButton) {
    d.middleDown = true;
    switch (currentTool()) {
      case Tool::Pan:
        menuToolsMouseactionZoom_Click();
        break;
      case Tool::Zoom:
        menuToolsMouseactionSelect_Click();
        break;
      case Tool::Selection:
        menuToolsMounseactionPan_Click();
        break;
    }
  }
  if (button & kRightButton) d.rightDown = true;
}

void NorvDocCommands::NorvCtl_MouseMove(int16_t button, int16_t /*shift*/, float x, double y) {
  NorvDoc &d = doc_;
  switch (currentTool()) {
    case Tool::Pan:
      ctlCall(control(), d.leftDragging ? dispid::SetGrabCursor : dispid::SetHandCursor);
      break;
    case Tool::Zoom:
      ctlCall(control(), dispid::SetZoomToolCursor);
      break;
    case Tool::Selection:
      ctlCall(control(), dispid::SetDefaultCursor);
      break;
  }
  if (!d.leftDragging || !(button & kLeftButton)) return;
  float fy = static_cast<float>(y);
  if (currentTool() == Tool::Pan) {
    d.PanMouseMove(x, fy);
  } else {
    d.SelectionMouseMove(x, fy);
  }
}

void NorvDocCommands::NorvCtl_MouseUp(int16_t button, int16_t /*shift*/, float x, double y) {
  NorvDoc &d = doc_;
  if (button & kLeftButton) {
    d.leftDragging = false;
    switch (currentTool()) {
      case Tool::Pan:
        ctlCall(control(), dispid::SetHandCursor);
        break;
      case Tool::Zoom:
        d.SelectBox->hide();
        d.ZoomBox(d.pressX - d.NorvCtlWindow->x(), d.pressY - d.NorvCtlWindow->y(), x, y);
        break;
      case Tool::Selection: {
        const double w = NorvDoc::toPixelsX(d.SelectBox->width());
        const double h = NorvDoc::toPixelsY(d.SelectBox->height());
        if (Smaller(w, h) < 8) d.SelectBox->hide();
        break;
      }
    }
  }
  if (button & kRightButton) {
    d.rightDown = false;
    menuToolsMouseaction->popup(QCursor::pos());
  }
  if (button & kMiddleButton) d.middleDown = false;
}

void NorvDocCommands::NorvCtl_KeyDown(int16_t &keyCode, int16_t /*shift*/) {
  QScrollBar *bar = doc_.VScroll;
  if (ctlGetI4(control(), dispid::ViewMode) != 1) {
    switch (keyCode) {
      case kKeyHome:
        bar->setValue(bar->minimum());
        break;
      case kKeyEnd:
        bar->setValue(bar->maximum());
        break;
      case kKeyPageDown:
        bar->setValue(CInt(Smaller(int32_t{bar->value()} + bar->pageStep(), bar->maximum())));
        break;
      case kKeyPageUp:
        bar->setValue(CInt(Larger(int32_t{bar->value()} - bar->pageStep(), bar->minimum())));
        break;
      default:
        return;
    }
    keyCode = 0;
    return;
  }
  switch (keyCode) {
    case kKeyHome:
      FirstPage_Click();
      break;
    case kKeyEnd:
      LastPage_Click();
      break;
    case kKeyPageDown:
      NextPage_Click();
      keyCode = 0;
      break;
    case kKeyPageUp:
      PreviousPage_Click();
      keyCode = 0;
      break;
    default:
      break;
  }
}

void NorvDocCommands::NorvCtl_KeyPress(int16_t &keyAscii) {
  if (keyAscii < '0' || keyAscii > '9') return;
  const int32_t d = keyAscii - '0';
  if (d > ctlCallI4(control(), dispid::LayersOnCurrentPage)) return;
  ctlPut(control(), dispid::Layer, comp::Variant::i4(d));
  refresh();
}

void NorvDocCommands::NorvCtl_MouseWheel(int32_t /*flags*/, int16_t zDelta, int32_t /*x*/,
                                         int32_t /*y*/) {
  double d = zDelta / 120.0 * 4;
  const double zoom = ctlGetR8(control(), dispid::ZoomFactor);
  if (zoom > 1.0) d = Round(zoom * d, 0);
  // A positive delta is a turn away from the user, which scrolls toward the document's top:
  // the pan goes the other way.
  ctlCall(control(), dispid::Pan, {comp::Variant::i4(0), comp::Variant::i4(-CLng(d))});
  refresh();
}

}  // namespace viewer
