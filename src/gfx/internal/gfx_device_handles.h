// The handle table of drawing devices: a host registers a device it owns and passes the handle
// (a positive 32-bit number) where the control's dispatch interface takes a device-context
// handle, as for printing. A handle is never 0, is not reused while the table has unused
// numbers, and finds nothing once its device is unregistered. The table holds a fixed number of
// devices; registering more fails with 0.
#ifndef GFX_DEVICE_HANDLES_H
#define GFX_DEVICE_HANDLES_H

#include <cstdint>

#include "gfx_device.h"

namespace gfx {

constexpr int32_t kMaxDeviceHandles = 64;

// The device's new handle, or 0 when the table is full or device is null.
int32_t registerDevice(Device *device);
// Forgets the handle; unknown handles are ignored.
void unregisterDevice(int32_t handle);
// The registered device, or null.
Device *deviceFromHandle(int32_t handle);

// Registers a device for the lifetime of this object.
class DeviceHandle {
 public:
  explicit DeviceHandle(Device *device) : handle_(registerDevice(device)) {}
  ~DeviceHandle() { unregisterDevice(handle_); }
  DeviceHandle(const DeviceHandle &) = delete;
  DeviceHandle &operator=(const DeviceHandle &) = delete;
  int32_t get() const { return handle_; }

 private:
  int32_t handle_;
};

}  // namespace gfx

#endif
