// Test support: a document of synthetic pages of chosen sizes and depths whose renders are a
// pattern of the zoomed pixel position (the same pixel of the same zoomed page always gets the
// same colour, whatever rectangle is asked for), with counts of the renders and a switch that
// makes renders fail after scribbling into the buffer; the pixels of rendered bitmaps and of PNM
// images read back by outside tools.
#ifndef CTL_TEST_FAKE_DOCUMENT_H
#define CTL_TEST_FAKE_DOCUMENT_H

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "testkit_pnm.h"
#include "tfx_file.h"

namespace ctl_test {

using ctl::DibImgBuf;
using ctl::Extent;
using ctl::LongPair;
using ctl::Rect;

// Colour of pixel (x, y) of a rendered bitmap as 0xRRGGBB, read by the bitmap conventions
// (1 bit: set is black; 8 bits: grey; 24 bits: blue, green, red), rows top-down as rendered.
inline uint32_t renderPixel(const DibImgBuf &b, int64_t x, int64_t y) {
  const uint8_t *row = b.GetData() + uint64_t{b.GetStride()} * y;
  switch (b.GetBitsPerPixel()) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1 ? 0x000000 : 0xFFFFFF;
    case 8:
      return row[x] * 0x010101u;
    default:
      return uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x];
  }
}

// Pixel (x, y) of a PNM image read back by an outside tool, as 0xRRGGBB.
inline uint32_t pnmPixel(const norvtest::Pnm &p, int32_t x, int32_t y) {
  const uint8_t *row = p.row(y);
  const auto scale = [&](uint32_t v) { return v * 255 / static_cast<uint32_t>(p.maxval); };
  switch (p.kind) {
    case '4':
      return (row[x / 8] >> (7 - x % 8)) & 1 ? 0x000000 : 0xFFFFFF;
    case '5':
      return scale(row[x]) * 0x010101u;
    default:
      return scale(row[3 * x]) << 16 | scale(row[3 * x + 1]) << 8 | scale(row[3 * x + 2]);
  }
}

class FakePage final : public ctl::TfxPage {
 public:
  FakePage(int32_t index, int64_t width, int64_t height, int32_t bpp)
      : index_(index), width_(width), height_(height), bpp_(bpp) {}

  LongPair GetSize() override { return LongPair{width_, height_}; }
  int32_t GetBitsPerPixel() override { return bpp_; }
  int32_t GetLayerCount() override { return 3; }

  // 24-bit pages draw 24-bit pixels; 1-bit pages draw 1 bit at scale 1 and grey otherwise; a
  // mask selector (even, not 0) draws 1 bit.
  bool Render(DibImgBuf *buffer, Rect r, double scale, int32_t selector) override {
    ++renders;
    lastRect = r;
    lastScale = scale;
    if (failing) {
      buffer->Create(Extent{r.width(), r.height()}, 24, 4);
      std::memset(buffer->GetData(), 0x33, buffer->length());
      return false;
    }
    int32_t bpp = bpp_;
    if (selector % 2 == 0 && selector != 0) bpp = 1;
    if (bpp == 1 && scale != 1.0 && !(selector % 2 == 0 && selector != 0)) bpp = 8;
    if (!buffer->Create(Extent{r.width(), r.height()}, bpp, 4)) return false;
    // Create keeps the pixels of a buffer of the same size: start from clear bits.
    if (buffer->length() != 0) std::memset(buffer->GetData(), 0, buffer->length());
    const uint32_t stride = buffer->GetStride();
    const auto zoomKey = static_cast<uint32_t>(std::lround(1000.0 / scale));
    for (int32_t y = 0; y < r.height(); ++y) {
      uint8_t *row = buffer->GetData() + uint64_t{stride} * y;
      for (int32_t x = 0; x < r.width(); ++x) {
        const uint32_t v = colourAt(r.left + x, r.top + y, zoomKey, selector);
        if (bpp == 1) {
          if (v & 0x100) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else if (bpp == 8) {
          row[x] = static_cast<uint8_t>(v);
        } else {
          row[3 * x] = static_cast<uint8_t>(v);
          row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
          row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        }
      }
    }
    return true;
  }
  bool RenderConverted(DibImgBuf *buffer, Rect r, double scale, int32_t selector) override {
    ++convertedRenders;
    return Render(buffer, r, scale, 2);
  }

  uint32_t colourAt(int64_t x, int64_t y, uint32_t zoomKey, int32_t selector) const {
    uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^
                 zoomKey * 0xC2B2AE3Du ^ static_cast<uint32_t>(index_ * 131 + selector * 7);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h & 0xFFFFFF;
  }

  int renders = 0, convertedRenders = 0;
  bool failing = false;
  Rect lastRect;
  double lastScale = 0;

 private:
  int32_t index_;
  int64_t width_, height_;
  int32_t bpp_;
};

struct FakePageShape {
  int64_t width, height;
  int32_t bpp = 24;
};

class FakeDocument final : public ctl::TfxFile {
 public:
  explicit FakeDocument(const std::vector<FakePageShape> &pages) {
    for (size_t i = 0; i < pages.size(); ++i)
      pages_.push_back(std::make_unique<FakePage>(static_cast<int32_t>(i), pages[i].width,
                                                  pages[i].height, pages[i].bpp));
  }
  int32_t GetPageCount() override { return static_cast<int32_t>(pages_.size()); }
  ctl::TfxPage *GetPage(int32_t index) override { return entry(index); }
  void LoadPage(int32_t) override {}
  void ReleasePage(int32_t) override {}
  void ReleaseAllPages() override {}
  LongPair GetPageSize(int32_t index) override {
    ctl::TfxPage *page = entry(index);
    return page == nullptr ? LongPair{0, 0} : page->GetSize();
  }
  FakePage &page(int32_t index) { return static_cast<FakePage &>(*entry(index)); }
};

}  // namespace ctl_test

#endif
