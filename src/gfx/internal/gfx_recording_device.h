// RecordingDevice: the metafile. It draws nothing; it keeps every fill and every bitmap drawing
// (with its own copy of the header, colour table and the rows it was given) in call order, and
// replays them onto any device. Its size and resolution are the ones it is made with.
#ifndef GFX_RECORDING_DEVICE_H
#define GFX_RECORDING_DEVICE_H

#include <vector>

#include "gfx_device.h"

namespace gfx {

class RecordingDevice final : public Device {
 public:
  struct Call {
    enum class Kind { Fill, Dib } kind = Kind::Fill;
    Rect rect;                        // Fill
    Rgb colour = 0;                   // Fill
    DibBlit blit;                     // Dib
    std::vector<uint8_t> info, bits;  // Dib
  };

  explicit RecordingDevice(const Caps &caps) : caps_(caps) {}

  Caps caps() const override { return caps_; }
  bool isMetafile() const override { return true; }
  void fillRect(const Rect &rect, Rgb colour) override;

  const std::vector<Call> &calls() const { return calls_; }
  // Draws every recorded call onto target, in order.
  void replay(Device &target) const;

 protected:
  void drawDib(const DibBlit &blit, const Dib &dib) override;

 private:
  Caps caps_;
  std::vector<Call> calls_;
};

}  // namespace gfx

#endif
