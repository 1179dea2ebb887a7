// The device handle table: fixed slots under one lock. Handles count up from 1 and wrap before
// INT32_MAX; a slot keeps its handle beside the device, so a stale handle never finds the
// device that took its slot later.
#include <mutex>

#include "gfx_device_handles.h"

namespace gfx {
namespace {

struct Slot {
  int32_t handle = 0;
  Device *device = nullptr;
};

std::mutex tableLock;
Slot table[kMaxDeviceHandles];
int32_t lastHandle = 0;

bool inUse(int32_t handle) {
  for (const Slot &slot : table)
    if (slot.device != nullptr && slot.handle == handle) return true;
  return false;
}

}  // namespace

int32_t registerDevice(Device *device) {
  if (device == nullptr) return 0;
  std::lock_guard<std::mutex> lock(tableLock);
  for (Slot &slot : table) {
    if (slot.device != nullptr) continue;
    do {
      lastHandle = lastHandle == INT32_MAX - 1 ? 1 : lastHandle + 1;
    } while (inUse(lastHandle));
    slot = Slot{lastHandle, device};
    return lastHandle;
  }
  return 0;
}

void unregisterDevice(int32_t handle) {
  if (handle == 0) return;
  std::lock_guard<std::mutex> lock(tableLock);
  for (Slot &slot : table)
    if (slot.device != nullptr && slot.handle == handle) slot = Slot{};
}

Device *deviceFromHandle(int32_t handle) {
  if (handle == 0) return nullptr;
  std::lock_guard<std::mutex> lock(tableLock);
  for (const Slot &slot : table)
    if (slot.device != nullptr && slot.handle == handle) return slot.device;
  return nullptr;
}

}  // namespace gfx
