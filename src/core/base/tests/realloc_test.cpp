// Re-allocating an image's block through an allocator whose blocks are 4 bytes off 8-byte
// alignment every other time: with 8-byte units the content start depends on the block's
// address, so the pixels must follow it when a resize moves the block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "pxl_context.h"
#include "pxl_image.h"

namespace {

int gCalls = 0;

// Each block is preceded by 16 bytes that remember the underlying allocation.
void *misalignedAlloc(size_t size, int32_t, void *) {
  const size_t shift = (gCalls++ % 2) ? 4 : 0;
  auto *raw = static_cast<uint8_t *>(std::malloc(size + 16 + shift));
  if (raw == nullptr) return nullptr;
  uint8_t *user = raw + 16 + shift;
  std::memcpy(user - sizeof raw, &raw, sizeof raw);
  return user;
}
void misalignedFree(void *block, int32_t, void *) {
  if (block == nullptr) return;
  uint8_t *raw;
  std::memcpy(&raw, static_cast<uint8_t *>(block) - sizeof raw, sizeof raw);
  std::free(raw);
}
void *misalignedCalloc(size_t count, size_t size, int32_t spare, void *user) {
  void *p = misalignedAlloc(count * size, spare, user);
  if (p) std::memset(p, 0, count * size);
  return p;
}
// A resize always moves the block (as a real allocator may), alternating its alignment.
void *misalignedResize(void *block, size_t size, int32_t spare, void *user) {
  void *p = misalignedAlloc(size, spare, user);
  if (p == nullptr) return nullptr;
  std::memcpy(p, block, size);  // every block of one image has the same size here
  misalignedFree(block, spare, user);
  return p;
}

TEST(ReallocImageBlock, PixelsFollowAShiftedContentStart) {
  for (int32_t unitFlag : {0, 1}) {
    PxlContext *ctx = nullptr;
    ASSERT_EQ(0, pxlCreateContext(misalignedAlloc, misalignedCalloc, misalignedResize,
                                  misalignedFree, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx));
    ctx->processorFlag = unitFlag;
    for (int round = 0; round < 2; ++round) {
      gCalls = round;
      Pixr *img = nullptr;
      ASSERT_EQ(0, pxlCreateImage(ctx, 37, 5, 8, 300 << 16, 300 << 16, 32, &img));
      uint8_t *data = nullptr;
      ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x) data[y * img->bytesPerRow + (x ^ 3)] = uint8_t(7 * y + x);
      ASSERT_EQ(0, pxlReallocImageBlock(ctx, img));
      ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
          ASSERT_EQ(uint8_t(7 * y + x), data[y * img->bytesPerRow + (x ^ 3)])
              << "unit flag " << unitFlag << " round " << round << " at " << x << "," << y;
      ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
    }
    ASSERT_EQ(0, pxlDestroyContext(&ctx));
  }
}

}  // namespace
