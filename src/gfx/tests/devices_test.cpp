// The drawing devices: the bitmap rule (unscaled and stretched parts, rows counted from the
// bottom, top-down and bottom-up storage, every depth, clipping) checked on the memory device
// against a model that works on the picture's colours directly; fills; refused headers; the
// recording device's replay; the escape.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "gfx_memory_device.h"
#include "gfx_recording_device.h"

namespace gfx {
namespace {

// A picture of w x h colours and its bitmap at bpp bits, stored top-down or bottom-up. 1- and
// 8-bit pictures use colours of a table of their own.
struct Picture {
  int32_t width, height, bpp;
  bool topDown;
  std::vector<Rgb> colours;  // row-major, top row first
  std::vector<uint8_t> info, bits;

  Dib dib() const { return Dib{info.data(), info.size(), bits.data(), bits.size()}; }
};

Rgb tableEntry(int32_t bpp, uint32_t i) {
  return bpp == 1 ? (i ? 0x102030u : 0xF0E0D0u) : rgb(i, 255 - i, (i * 7) & 0xFF);
}

Picture makePicture(int32_t width, int32_t height, int32_t bpp, bool topDown, uint32_t seed) {
  Picture p{width, height, bpp, topDown, {}, {}, {}};
  std::mt19937 rng(seed);
  const uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
  p.bits.assign(stride * height, 0);
  const uint32_t entries = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
  p.info.assign(40 + 4 * entries, 0);
  auto put32 = [&](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) p.info[at + i] = static_cast<uint8_t>(uint32_t(v) >> (8 * i));
  };
  put32(0, 40);
  put32(4, width);
  put32(8, topDown ? -height : height);
  p.info[12] = 1;
  p.info[14] = static_cast<uint8_t>(bpp);
  for (uint32_t i = 0; i < entries; ++i) {
    const Rgb c = tableEntry(bpp, i);
    p.info[40 + 4 * i] = c & 0xFF;
    p.info[41 + 4 * i] = (c >> 8) & 0xFF;
    p.info[42 + 4 * i] = (c >> 16) & 0xFF;
  }
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *row = p.bits.data() + stride * (topDown ? y : height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t v = rng();
      if (bpp == 1) {
        if (v & 1) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        p.colours.push_back(tableEntry(1, v & 1));
      } else if (bpp == 8) {
        row[x] = v & 0xFF;
        p.colours.push_back(tableEntry(8, v & 0xFF));
      } else {
        uint8_t *px = row + x * (bpp / 8);
        px[0] = v & 0xFF;
        px[1] = (v >> 8) & 0xFF;
        px[2] = (v >> 16) & 0xFF;
        p.colours.push_back(v & 0xFFFFFF);
      }
    }
  }
  return p;
}

// The rule, on the picture's colours: what a device of w x h, white at first, shows.
std::vector<Rgb> model(const Picture &p, const DibBlit &b, int32_t w, int32_t h) {
  std::vector<Rgb> out(size_t(w) * h, 0xFFFFFF);
  if (b.destWidth <= 0 || b.destHeight <= 0 || b.srcWidth <= 0 || b.srcHeight <= 0) return out;
  const int64_t top = int64_t(p.height) - b.srcY - b.srcHeight;
  for (int64_t j = 0; j < b.destHeight; ++j) {
    for (int64_t i = 0; i < b.destWidth; ++i) {
      const int64_t dx = b.destX + i, dy = b.destY + j;
      const int64_t sx = b.srcX + i * b.srcWidth / b.destWidth;
      const int64_t sy = top + j * b.srcHeight / b.destHeight;
      if (dx < 0 || dy < 0 || dx >= w || dy >= h) continue;
      if (sx < 0 || sy < 0 || sx >= p.width || sy >= p.height) continue;
      out[dy * w + dx] = p.colours[sy * p.width + sx];
    }
  }
  return out;
}

TEST(DeviceTest, BitmapRuleAtEveryDepthAndStorage) {
  struct Case {
    const char *what;
    DibBlit blit;
  };
  const Case cases[] = {
      {"whole, unscaled", {0, 0, 13, 9, 0, 0, 13, 9}},
      {"part from the bottom row count", {3, 2, 5, 4, 4, 2, 5, 4}},
      {"stretched up", {1, 1, 29, 17, 2, 1, 7, 5}},
      {"shrunk", {0, 0, 5, 3, 0, 0, 13, 9}},
      {"clipped by the device", {-4, -3, 40, 30, 0, 0, 13, 9}},
      {"source partly outside the picture", {2, 2, 10, 8, 8, -3, 10, 8}},
      {"empty destination", {0, 0, 0, 5, 0, 0, 13, 9}},
  };
  for (int32_t bpp : {1, 8, 24, 32}) {
    for (bool topDown : {true, false}) {
      const Picture p = makePicture(13, 9, bpp, topDown, static_cast<uint32_t>(bpp * 2 + topDown));
      for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << bpp << " bits, top-down " << topDown << ", " << c.what);
        MemoryDevice device(24, 16);
        device.stretchDIBits(c.blit, p.dib());
        EXPECT_EQ(device.pixels(), model(p, c.blit, 24, 16));
      }
    }
  }
}

TEST(DeviceTest, UnscaledDrawingIsTheStretchOfTheSameSize) {
  const Picture p = makePicture(11, 7, 24, true, 5);
  MemoryDevice a(20, 12), b(20, 12);
  a.setDIBitsToDevice(2, 3, 6, 4, 1, 2, p.dib());
  b.stretchDIBits(DibBlit{2, 3, 6, 4, 1, 2, 6, 4}, p.dib());
  EXPECT_EQ(a.pixels(), b.pixels());
  // Source row 2 from the bottom of 7 rows, 4 high: picture rows 1 to 4.
  EXPECT_EQ(a.pixel(2, 3), p.colours[1 * 11 + 1]);
  EXPECT_EQ(a.pixel(7, 6), p.colours[4 * 11 + 6]);
}

TEST(DeviceTest, RefusedHeadersDrawNothing) {
  const Picture good = makePicture(8, 4, 8, true, 9);
  auto broken = [&](auto edit) {
    Picture p = good;
    edit(p);
    MemoryDevice device(8, 4);
    device.setDIBitsToDevice(0, 0, 8, 4, 0, 0, p.dib());
    return device.pixels() == std::vector<Rgb>(32, 0xFFFFFF);
  };
  EXPECT_FALSE(broken([](Picture &) {}));
  EXPECT_TRUE(broken([](Picture &p) { p.info.resize(39); }));
  EXPECT_TRUE(broken([](Picture &p) { p.info[14] = 4; }));
  EXPECT_TRUE(broken([](Picture &p) { p.info[16] = 1; }));  // compressed
  EXPECT_TRUE(broken([](Picture &p) { p.bits.resize(p.bits.size() - 1); }));
  EXPECT_TRUE(broken([](Picture &p) { std::memset(p.info.data() + 4, 0, 4); }));
  // A colour table shorter than the depth needs gives black for the missing entries.
  Picture shortTable = good;
  shortTable.info.resize(40 + 4 * 16);
  MemoryDevice device(8, 4);
  device.setDIBitsToDevice(0, 0, 8, 4, 0, 0, shortTable.dib());
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const uint8_t index = shortTable.bits[y * 8 + x];
      EXPECT_EQ(device.pixel(x, y), index < 16 ? tableEntry(8, index) : 0u);
    }
}

TEST(DeviceTest, FillsAreClippedAndCapsAnswer) {
  MemoryDevice device(6, 5, 1, 2);
  device.fillRect(Rect{-2, 3, 3, 9}, 0x123456);
  device.fillRect(Rect{4, 1, 4, 3}, 0);  // empty
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x)
      EXPECT_EQ(device.pixel(x, y), x < 3 && y >= 3 ? 0x123456u : 0xFFFFFFu) << x << "," << y;
  const Caps caps = device.caps();
  EXPECT_EQ(caps.width, 6);
  EXPECT_EQ(caps.height, 5);
  EXPECT_EQ(caps.bitsPixel, 1);
  EXPECT_EQ(caps.numColors, 2);
  EXPECT_FALSE(device.isMetafile());
  EXPECT_EQ(device.escape(kEscapeDocumentPath), 0);
}

TEST(DeviceTest, RecordingReplaysEveryCallInOrder) {
  Picture p = makePicture(9, 6, 1, false, 3);
  RecordingDevice recording(Caps{30, 20});
  MemoryDevice direct(30, 20);
  for (Device *d : {static_cast<Device *>(&recording), static_cast<Device *>(&direct)}) {
    d->fillRect(Rect{0, 0, 30, 20}, 0x00FF00);
    d->setDIBitsToDevice(1, 2, 9, 6, 0, 0, p.dib());
    d->stretchDIBits(DibBlit{12, 1, 17, 15, 2, 1, 5, 4}, p.dib());
    d->fillRect(Rect{5, 5, 15, 8}, 0x0000FF);
  }
  EXPECT_TRUE(recording.isMetafile());
  EXPECT_EQ(recording.escape(kEscapeDocumentPath), 0);
  ASSERT_EQ(recording.calls().size(), 4u);
  // The recording holds its own copy: changing the caller's bitmap afterwards changes nothing.
  std::fill(p.bits.begin(), p.bits.end(), 0);
  MemoryDevice replayed(30, 20);
  recording.replay(replayed);
  EXPECT_EQ(replayed.pixels(), direct.pixels());
}

}  // namespace
}  // namespace gfx
