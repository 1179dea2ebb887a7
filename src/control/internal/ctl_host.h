// What a window hosting a view control and the control ask of each other. The control calls
// its site (ControlSite) to be redrawn, to set the cursor and to show its about box; the host
// (HostedControl) has the control paint itself on a drawing device and passes it the user's
// input as the control's stock events.
//
// Event arguments: mouse buttons 1 left, 2 right, 4 middle; shift state 1 Shift, 2 Ctrl, 4 Alt;
// positions in pixels of the control's window; key codes are virtual-key codes and may be
// changed by the event's handlers through the pointer. The wheel takes the message's key-state
// flags, its delta in 120ths of a notch and the pointer's screen position.
#ifndef CTL_HOST_H
#define CTL_HOST_H

#include <cstdint>

#include "gfx_device.h"

namespace gfx {
class RecordingDevice;
}

namespace ctl {

// Cursor resources of the control module; 0 is the system arrow.
enum CursorId : int32_t {
  kCursorArrow = 0,
  kCursorHand = 207,
  kCursorGrab = 208,
  kCursorZoomTool = 209
};

// The window hosting the control.
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  virtual void invalidate() = 0;
  virtual void setCursor(int32_t cursor) = 0;
  virtual void showAboutBox() = 0;
  // The wait cursor shown while a page renders.
  virtual void beginWaitCursor() {}
  virtual void endWaitCursor() {}
  // Empties the platform clipboard and puts the recorded drawing on it (its size is the
  // recording's caps), as an image and as a PDF; nothing is reported.
  virtual void setClipboard(const gfx::RecordingDevice & /*drawing*/) {}
  // A page that cannot be rendered was painted as BackColor over area (device pixels of the
  // drawing in progress), so that a window can say so there.
  virtual void pageNotShown(const gfx::Rect & /*area*/) {}
};

// The control as its window sees it.
class HostedControl {
 public:
  virtual ~HostedControl() = default;
  virtual void setSite(ControlSite *site) = 0;
  // Paints the whole bounds; invalid is the part the window needs.
  virtual void OnDraw(gfx::Device *device, const gfx::Rect &bounds, const gfx::Rect &invalid) = 0;
  virtual void FireClick() = 0;
  virtual void FireDblClick() = 0;
  virtual void FireKeyDown(int16_t *keyCode, int16_t shift) = 0;
  virtual void FireKeyPress(int16_t *keyAscii) = 0;
  virtual void FireKeyUp(int16_t *keyCode, int16_t shift) = 0;
  virtual void FireMouseDown(int16_t button, int16_t shift, int32_t x, int32_t y) = 0;
  virtual void FireMouseMove(int16_t button, int16_t shift, int32_t x, int32_t y) = 0;
  virtual void FireMouseUp(int16_t button, int16_t shift, int32_t x, int32_t y) = 0;
  virtual void OnMouseWheel(int32_t keyFlags, int16_t delta, int32_t x, int32_t y) = 0;
};

}  // namespace ctl

#endif
