// NorvviewWidget: the Qt window that hosts a view control. It paints the control through a
// QtPainterDevice, forwards mouse, key and wheel input to the control's event handlers, and is
// the control's site: redraw requests update the widget, cursor requests set its cursor (hand,
// grab, zoom tool drawn in code, arrow), and renders run under the wait cursor.
//
// Event values follow the control's conventions: mouse buttons 1 left, 2 right, 4 middle;
// shift state 1 Shift, 2 Ctrl, 4 Alt; key codes are virtual-key codes (letters and digits as
// their upper-case characters, the navigation and function keys by their codes); the wheel
// gives its key-state flags (1 left, 2 right, 4 Shift, 8 Ctrl, 16 middle), its delta in
// 120ths of a notch and the pointer's screen position.
#ifndef CTQ_VIEW_WIDGET_H
#define CTQ_VIEW_WIDGET_H

#include <QWidget>
#include <functional>
#include <vector>

#include "ctl_host.h"

namespace ctq {

class NorvviewWidget final : public QWidget, public ctl::ControlSite {
 public:
  // The widget hosts control, which must outlive it.
  explicit NorvviewWidget(ctl::HostedControl &control, QWidget *parent = nullptr);
  ~NorvviewWidget() override;

  ctl::HostedControl &control() { return control_; }
  // What showAboutBox runs (the module's about box); nothing until set.
  void setAboutBoxHandler(std::function<void()> handler) { aboutBox_ = std::move(handler); }

  // ctl::ControlSite.
  void invalidate() override { update(); }
  void setCursor(int32_t cursor) override;
  void showAboutBox() override;
  void beginWaitCursor() override;
  void endWaitCursor() override;
  // Puts the drawing on the clipboard as an image and a PDF.
  void setClipboard(const gfx::RecordingDevice &drawing) override;
  // Keeps the area of the widget's own paint, where the paint then says the page cannot be
  // shown (areas of printing and clipboard drawings are not the widget's).
  void pageNotShown(const gfx::Rect &area) override;

  // The virtual-key code of a Qt key; 0 for a key without one.
  static int16_t virtualKey(int key);

 protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;

 private:
  ctl::HostedControl &control_;
  std::function<void()> aboutBox_;
  bool afterDoubleClick_ = false;
  bool painting_ = false;
  std::vector<QRect> notShown_;  // areas of pages not rendered in the paint in progress
};

}  // namespace ctq

#endif
