// The device handle table: handles find their device until unregistered, are never 0 and are
// not handed out again at once; a full table refuses; null devices and unknown handles.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "gfx_device_handles.h"
#include "gfx_memory_device.h"

namespace gfx {
namespace {

TEST(DeviceHandlesTest, RegisterFindUnregister) {
  MemoryDevice a(4, 4), b(4, 4);
  const int32_t ha = registerDevice(&a);
  const int32_t hb = registerDevice(&b);
  EXPECT_GT(ha, 0);
  EXPECT_GT(hb, 0);
  EXPECT_NE(ha, hb);
  EXPECT_EQ(deviceFromHandle(ha), &a);
  EXPECT_EQ(deviceFromHandle(hb), &b);
  unregisterDevice(ha);
  EXPECT_EQ(deviceFromHandle(ha), nullptr);
  EXPECT_EQ(deviceFromHandle(hb), &b);
  // The freed slot gets a new number: the stale handle still finds nothing.
  const int32_t hc = registerDevice(&a);
  EXPECT_NE(hc, ha);
  EXPECT_EQ(deviceFromHandle(ha), nullptr);
  unregisterDevice(hb);
  unregisterDevice(hc);

  EXPECT_EQ(registerDevice(nullptr), 0);
  EXPECT_EQ(deviceFromHandle(0), nullptr);
  EXPECT_EQ(deviceFromHandle(-7), nullptr);
  unregisterDevice(12345);  // unknown: ignored
}

TEST(DeviceHandlesTest, FullTableRefusesAndScopedHandlesFree) {
  MemoryDevice device(2, 2);
  {
    std::vector<std::unique_ptr<DeviceHandle>> held;
    for (int i = 0; i < kMaxDeviceHandles; ++i) {
      held.push_back(std::make_unique<DeviceHandle>(&device));
      ASSERT_GT(held.back()->get(), 0) << i;
    }
    EXPECT_EQ(registerDevice(&device), 0);
  }
  DeviceHandle again(&device);
  EXPECT_GT(again.get(), 0);
  EXPECT_EQ(deviceFromHandle(again.get()), &device);
}

}  // namespace
}  // namespace gfx
