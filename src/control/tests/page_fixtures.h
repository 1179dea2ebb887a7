// Test support: TIFF-FX pages the way the encoder lays them out, for the page and band tests
// and the page render tests: bilevel pages, Group 4 strips, JBIG2 masks (MMR regions, text
// regions over a global dictionary shared across pages) with colour payloads, JPEG layers; and
// bands rendered on their own into 1-bit and 24-bit targets.
#ifndef CTL_TEST_PAGE_FIXTURES_H
#define CTL_TEST_PAGE_FIXTURES_H

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ccitt_internal.h"
#include "jbig2_writer.h"
#include "jpeg_encoder.h"
#include "mrc_file.h"
#include "mrc_page.h"
#include "mrc_writer.h"
#include "qtz_state.h"
#include "testkit_files.h"

namespace ctl_test {

using ctl::BandBox;
using ctl::DibImgBuf;
using ctl::Extent;
using ctl::ImpImgBuf;
using ctl::PixlabImgBuf;
using ctl::Rect;
using ctl::TfxBand;
using norvtest::TempFile;

inline Bits randomBits(uint32_t seed, int width, int height) {
  std::mt19937 rng(seed);
  return jbtest::randomBits(rng, width, height);
}

inline Bits rowsOf(const Bits &bits, int top, int rows) {
  Bits out(bits.width, rows);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < bits.width; ++x) out.set(x, y, bits.get(x, top + y));
  return out;
}

inline Bytes g4Strip(const Bits &bits) {
  QtzState *state = nullptr;
  EXPECT_EQ(Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  Bytes code(static_cast<size_t>(bits.width) * bits.height + 64);
  int32_t size = static_cast<int32_t>(code.size());
  EXPECT_EQ(ccittEncodeG4(bits.words.data(), bits.width, bits.height, bits.wpr, code.data(), &size,
                          0, state),
            0);
  Qtz_cleanupQtzState(&state);
  code.resize(static_cast<size_t>(size));
  return code;
}

inline IfdPlan jbig2Mask(uint32_t y, uint32_t width, uint32_t height, Bytes globals,
                         std::vector<uint32_t> refs, Bytes coded, Bytes payload = {}) {
  IfdPlan p;
  p.layer = 2;
  p.colourKind = 1;
  p.y = y;
  p.width = width;
  p.height = height;
  p.bits = kJbig2Bits;
  p.globals = std::move(globals);
  p.refs = std::move(refs);
  p.coded = std::move(coded);
  p.payload = std::move(payload);
  return p;
}

inline IfdPlan jpegLayer(uint32_t layer, uint32_t y, uint32_t res, uint32_t width, uint32_t height,
                         std::vector<Bytes> strips) {
  IfdPlan p;
  p.layer = layer;
  p.y = y;
  p.res = res;
  p.width = width;
  p.height = height;
  p.strips = std::move(strips);
  return p;
}

// The picture's rows [top, top + rows) as a JPEG stored unconverted (as ITULab layers are).
inline Bytes jpegRows(const Bytes &picture, int width, int top, int rows) {
  const Bytes part(picture.begin() + int64_t{top} * width * 3,
                   picture.begin() + int64_t{top + rows} * width * 3);
  return encodeJpeg(part, width, rows, JpegKind::Raw, false, 95);
}

// A mask band rendered at reduction (1, 1) into a 1-bit target of the part's size.
inline bool renderMask(TfxBand *band, Rect part, Bits *out) {
  DibImgBuf buffer;
  PixlabImgBuf target(part.width(), part.height(), 1, &buffer);
  EXPECT_TRUE(target.valid());
  const bool ok = band->Render(&target, part, Extent{1, 1});
  *out = Bits(part.width(), part.height());
  for (int y = 0; y < part.height(); ++y) {
    const uint8_t *row = target.GetData() + int64_t{y} * target.GetStride();
    for (int x = 0; x < part.width(); ++x) {
      uint32_t word;
      std::memcpy(&word, row + 4 * (x / 32), 4);
      out->set(x, y, (word >> (31 - x % 32)) & 1);
    }
  }
  return ok;
}

// 24-bit pixels of a rendered colour band, as 0xRRGGBB.
struct Colours {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline bool renderColour(TfxBand *band, Rect part, Extent reduction, Colours *out) {
  DibImgBuf buffer;
  ImpImgBuf target(part.width(), part.height(), 24, &buffer);
  EXPECT_TRUE(target.valid());
  const bool ok = band->Render(&target, part, reduction);
  out->width = part.width();
  out->height = part.height();
  out->pixels.clear();
  for (int y = 0; y < part.height(); ++y) {
    const uint8_t *row = target.GetData() + int64_t{y} * target.GetStride();
    for (int x = 0; x < part.width(); ++x)
      out->pixels.push_back(uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 |
                            row[3 * x]);
  }
  return ok;
}

// --- Colour pages ----------------------------------------------------------------------------

inline std::vector<Bits> testSymbols() {
  std::vector<Bits> symbols;
  for (uint32_t s = 0; s < 5; ++s) symbols.push_back(randomBits(100 + s, 7 + 3 * s, 9 + 2 * s));
  return symbols;
}

// Two pages of 300 dpi text masks sharing one global dictionary, each with a colour payload;
// the first over a 100 dpi ITULab background and with nothing else, the second with a 150 dpi
// JPEG foreground in two stripes.
class ColourPagesTest : public testing::Test {
 protected:
  static constexpr int kWidth = 240, kHeight = 120;

  void SetUp() override {
    dictionary = jbig2SymbolDictionary(symbols, 1);
    for (uint32_t i = 0; i < 12; ++i)
      placements[0].push_back(
          Placement{i % 5, static_cast<int32_t>(17 * i + 3), static_cast<int32_t>((37 * i) % 100)});
    for (uint32_t i = 0; i < 7; ++i)
      placements[1].push_back(Placement{(i * 3) % 5, static_cast<int32_t>(200 - 25 * i),
                                        static_cast<int32_t>(10 + 13 * i)});
    for (int p = 0; p < 2; ++p)
      for (size_t i = 0; i < placements[p].size(); ++i)
        colours[p].push_back(i % 3 == 2 ? colours[p].back() : 0x102030u * (i + 1) + 0x0F0000u * p);
    background = testPicture(kWidth / 3, kHeight / 3, 3, 5);
    foreground = testPicture(kWidth / 2, kHeight / 2, 3, 6);
    IfdPlan bg = jpegLayer(1, 0, 100, kWidth / 3, kHeight / 3,
                           {jpegRows(background, kWidth / 3, 0, kHeight / 3)});
    // Two stripes; the second starts 32 foreground rows (64 mask rows) down.
    IfdPlan fgTop = jpegLayer(3, 0, 150, kWidth / 2, 32, {jpegRows(foreground, kWidth / 2, 0, 32)});
    IfdPlan fgBottom = jpegLayer(3, 64, 150, kWidth / 2, kHeight / 2 - 32,
                                 {jpegRows(foreground, kWidth / 2, 32, kHeight / 2 - 32)});
    writeMrc(path.name(), 13,
             {{jbig2Mask(0, kWidth, kHeight, dictionary, {0},
                         jbig2TextPage(kWidth, kHeight, 1, 5, placements[0], 10),
                         colourPayload(colours[0])),
               bg},
              {jbig2Mask(0, kWidth, kHeight, {}, {0},
                         jbig2TextPage(kWidth, kHeight, 1, 5, placements[1], 20)),
               fgTop, fgBottom}});
  }

  const std::vector<Bits> symbols = testSymbols();
  Bytes dictionary;
  std::vector<Placement> placements[2];
  std::vector<uint32_t> colours[2];
  Bytes background, foreground;
  TempFile path{"colour"};
};

}  // namespace ctl_test

#endif
