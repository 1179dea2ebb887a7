// NorvviewWidget: painting the control over the whole widget (with a notice over pages that
// cannot be rendered), the translation of Qt's input events into the control's events, and the
// site calls (update, cursors, wait cursor).
//
// Clicks: a left-button release inside the widget fires Click, except the release that ends a
// double click, which fires DblClick at the second press instead (after its MouseDown).
#include <QApplication>
#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include "ctq_clipboard.h"
#include "ctq_painter_device.h"
#include "ctq_view_widget.h"

namespace ctq {
namespace {

// What the view says over a page that cannot be rendered (an unsupported coding or depth, a
// damaged file), instead of showing an empty page.
constexpr char kPageNotShown[] = "This page cannot be shown.";

int16_t buttonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

int16_t buttonsCode(Qt::MouseButtons buttons) {
  return static_cast<int16_t>((buttons & Qt::LeftButton ? 1 : 0) |
                              (buttons & Qt::RightButton ? 2 : 0) |
                              (buttons & Qt::MiddleButton ? 4 : 0));
}

int16_t shiftCode(Qt::KeyboardModifiers modifiers) {
  return static_cast<int16_t>((modifiers & Qt::ShiftModifier ? 1 : 0) |
                              (modifiers & Qt::ControlModifier ? 2 : 0) |
                              (modifiers & Qt::AltModifier ? 4 : 0));
}

// A magnifying glass, 32 x 32, hot spot at the lens centre.
QCursor zoomToolCursor() {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setPen(QPen(Qt::white, 4));
  p.drawEllipse(3, 3, 16, 16);
  p.drawLine(17, 17, 28, 28);
  p.setPen(QPen(Qt::black, 2));
  p.drawEllipse(3, 3, 16, 16);
  p.drawLine(17, 17, 28, 28);
  p.end();
  return QCursor(picture, 11, 11);
}

}  // namespace

NorvviewWidget::NorvviewWidget(ctl::HostedControl &control, QWidget *parent)
    : QWidget(parent), control_(control) {
  // The control paints every pixel of its bounds.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  control_.setSite(this);
}

NorvviewWidget::~NorvviewWidget() {
  control_.setSite(nullptr);
}

void NorvviewWidget::setCursor(int32_t cursor) {
  switch (cursor) {
    case ctl::kCursorHand:
      QWidget::setCursor(Qt::OpenHandCursor);
      break;
    case ctl::kCursorGrab:
      QWidget::setCursor(Qt::ClosedHandCursor);
      break;
    case ctl::kCursorZoomTool:
      QWidget::setCursor(zoomToolCursor());
      break;
    default:
      QWidget::setCursor(Qt::ArrowCursor);
      break;
  }
}

void NorvviewWidget::showAboutBox() {
  if (aboutBox_) aboutBox_();
}

void NorvviewWidget::beginWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void NorvviewWidget::endWaitCursor() {
  QApplication::restoreOverrideCursor();
}

void NorvviewWidget::setClipboard(const gfx::RecordingDevice &drawing) {
  putOnClipboard(drawing);
}

void NorvviewWidget::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  QtPainterDevice device(painter, capsOf(*this));
  const QRect r = event->rect();
  notShown_.clear();
  painting_ = true;
  control_.OnDraw(&device, gfx::Rect{0, 0, width(), height()},
                  gfx::Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
  painting_ = false;
  painter.setPen(palette().color(QPalette::WindowText));
  for (const QRect &area : notShown_)
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, kPageNotShown);
}

void NorvviewWidget::pageNotShown(const gfx::Rect &area) {
  if (painting_)
    notShown_.emplace_back(QPoint(area.left, area.top), QPoint(area.right - 1, area.bottom - 1));
}

void NorvviewWidget::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  update();
}

void NorvviewWidget::mousePressEvent(QMouseEvent *event) {
  const QPoint at = event->position().toPoint();
  control_.FireMouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(),
                         at.y());
}

void NorvviewWidget::mouseDoubleClickEvent(QMouseEvent *event) {
  mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  afterDoubleClick_ = true;
  control_.FireDblClick();
}

void NorvviewWidget::mouseReleaseEvent(QMouseEvent *event) {
  const QPoint at = event->position().toPoint();
  control_.FireMouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
  if (event->button() != Qt::LeftButton) return;
  if (afterDoubleClick_) {
    afterDoubleClick_ = false;
  } else if (rect().contains(at)) {
    control_.FireClick();
  }
}

void NorvviewWidget::mouseMoveEvent(QMouseEvent *event) {
  const QPoint at = event->position().toPoint();
  control_.FireMouseMove(buttonsCode(event->buttons()), shiftCode(event->modifiers()), at.x(),
                         at.y());
}

int16_t NorvviewWidget::virtualKey(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
    return static_cast<int16_t>(key);  // Qt's codes are the characters, as the virtual keys
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<int16_t>(0x70 + key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Shift:
      return 0x10;
    case Qt::Key_Control:
      return 0x11;
    case Qt::Key_Alt:
      return 0x12;
    case Qt::Key_Pause:
      return 0x13;
    case Qt::Key_CapsLock:
      return 0x14;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    case Qt::Key_Asterisk:
      return 0x6A;
    case Qt::Key_Plus:
      return 0xBB;
    case Qt::Key_Comma:
      return 0xBC;
    case Qt::Key_Minus:
      return 0xBD;
    case Qt::Key_Period:
      return 0xBE;
    case Qt::Key_Slash:
      return 0xBF;
    default:
      return 0;
  }
}

void NorvviewWidget::keyPressEvent(QKeyEvent *event) {
  int16_t code = virtualKey(event->key());
  if (code == 0) {
    QWidget::keyPressEvent(event);
    return;
  }
  control_.FireKeyDown(&code, shiftCode(event->modifiers()));
  const QString text = event->text();
  if (text.size() == 1 && text[0].unicode() < 128) {
    int16_t ascii = static_cast<int16_t>(text[0].unicode());
    control_.FireKeyPress(&ascii);
  }
}

void NorvviewWidget::keyReleaseEvent(QKeyEvent *event) {
  int16_t code = virtualKey(event->key());
  if (code == 0) {
    QWidget::keyReleaseEvent(event);
    return;
  }
  control_.FireKeyUp(&code, shiftCode(event->modifiers()));
}

void NorvviewWidget::wheelEvent(QWheelEvent *event) {
  const Qt::MouseButtons b = event->buttons();
  const Qt::KeyboardModifiers m = event->modifiers();
  const int32_t flags = (b & Qt::LeftButton ? 0x01 : 0) | (b & Qt::RightButton ? 0x02 : 0) |
                        (m & Qt::ShiftModifier ? 0x04 : 0) | (m & Qt::ControlModifier ? 0x08 : 0) |
                        (b & Qt::MiddleButton ? 0x10 : 0);
  const QPoint screen = event->globalPosition().toPoint();
  control_.OnMouseWheel(flags, static_cast<int16_t>(event->angleDelta().y()), screen.x(),
                        screen.y());
  event->accept();
}

}  // namespace ctq
