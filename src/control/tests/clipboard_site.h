// Test support: a control site that keeps what the control puts on the clipboard, the recorded
// drawing's size and its pixels replayed onto a memory device, and counts the calls.
#ifndef CTL_TEST_CLIPBOARD_SITE_H
#define CTL_TEST_CLIPBOARD_SITE_H

#include <algorithm>
#include <vector>

#include "ctl_host.h"
#include "gfx_memory_device.h"
#include "gfx_recording_device.h"

namespace ctl_test {

struct ClipboardSite final : ctl::ControlSite {
  void invalidate() override {}
  void setCursor(int32_t) override {}
  void showAboutBox() override {}
  void setClipboard(const gfx::RecordingDevice &drawing) override {
    ++calls;
    const gfx::Caps caps = drawing.caps();
    width = caps.width;
    height = caps.height;
    gfx::MemoryDevice device(std::max(width, 1), std::max(height, 1));
    drawing.replay(device);
    pixels = device.pixels();
  }
  int calls = 0;
  int32_t width = 0, height = 0;
  std::vector<gfx::Rgb> pixels;
};

}  // namespace ctl_test

#endif
