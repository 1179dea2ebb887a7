// RecordingDevice: fills and bitmap drawings kept in call order with copies of their bytes, and
// their replay, which draws a bitmap unscaled or stretched exactly as it was recorded.
#include "gfx_recording_device.h"

namespace gfx {

void RecordingDevice::fillRect(const Rect &rect, Rgb colour) {
  Call call;
  call.kind = Call::Kind::Fill;
  call.rect = rect;
  call.colour = colour;
  calls_.push_back(std::move(call));
}

void RecordingDevice::drawDib(const DibBlit &blit, const Dib &dib) {
  Call call;
  call.kind = Call::Kind::Dib;
  call.blit = blit;
  if (dib.info != nullptr) call.info.assign(dib.info, dib.info + dib.infoSize);
  if (dib.bits != nullptr) call.bits.assign(dib.bits, dib.bits + dib.bitsSize);
  calls_.push_back(std::move(call));
}

void RecordingDevice::replay(Device &target) const {
  for (const Call &call : calls_) {
    if (call.kind == Call::Kind::Fill) {
      target.fillRect(call.rect, call.colour);
    } else {
      const Dib dib{call.info.data(), call.info.size(), call.bits.data(), call.bits.size()};
      target.stretchDIBits(call.blit, dib);
    }
  }
}

}  // namespace gfx
