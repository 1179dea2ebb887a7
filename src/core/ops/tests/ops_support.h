// Test support of the pixel operations: the tracked context fixture of the test kit with
// images made from random or given pixels, per-pixel access to content, and a check that
// every bit of a framed buffer outside the content (frame strips and row tails) is 0.
#ifndef NORV_OPS_SUPPORT_H
#define NORV_OPS_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "pxl_image.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace opstest {

inline Pixr *channelOf(Pixr *image, int i) {
  return image->channelCount > 1 ? image->channels[i] : image;
}
inline uint8_t *framedRow(Pixr *ch, int64_t framedY) {
  return ch->framedData + framedY * ch->bytesPerRow;
}
inline uint32_t get(Pixr *ch, int x, int y) {
  return norvtest::pixel(framedRow(ch, 32 + y), 32 + x, ch->depth);
}
inline void set(Pixr *ch, int x, int y, uint32_t v) {
  norvtest::setPixel(framedRow(ch, 32 + y), 32 + x, ch->depth, v);
}

// True when every pixel of the framed buffer outside the content is 0.
inline bool outsideIsClear(Pixr *image) {
  for (int i = 0; i < (image->channelCount > 1 ? image->channelCount : 1); ++i) {
    Pixr *ch = channelOf(image, i);
    for (int y = 0; y < ch->height + 64; ++y)
      for (int x = 0; x < ch->width + 64; ++x) {
        const bool content = y >= 32 && y < ch->height + 32 && x >= 32 && x < ch->width + 32;
        if (!content && norvtest::pixel(framedRow(ch, y), x, ch->depth) != 0) return false;
      }
  }
  return true;
}

class OpsTest : public norvtest::ContextTest {
 protected:
  std::mt19937 rng{1234u + static_cast<unsigned>(GetParam())};
  std::vector<Pixr *> made;

  void TearDown() override {
    for (Pixr *&p : made) pxlDestroyImage(ctx, &p);
    ContextTest::TearDown();
  }
  Pixr *keep(Pixr *p) {
    made.push_back(p);
    return p;
  }
  // A framed image whose pixels come from value(channel, x, y) (random when not given).
  Pixr *image(int w, int h, int depth, int channels = 1,
              std::function<uint32_t(int, int, int)> value = nullptr) {
    Pixr *p = nullptr;
    EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, w, h, depth, 300 << 16, 300 << 16, 32, channels,
                                            channels > 1 ? 1 : 5, nullptr, &p));
    for (int c = 0; c < channels; ++c)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          set(channelOf(p, c), x, y, value ? value(c, x, y) : static_cast<uint32_t>(rng()));
    return keep(p);
  }
  // A random image whose pixels are set with probability `density` (depth 1).
  Pixr *sparse(int w, int h, double density) {
    std::bernoulli_distribution on(density);
    return image(w, h, 1, 1, [&](int, int, int) { return on(rng) ? 1u : 0u; });
  }
};

}  // namespace opstest

#endif
