// Independent instances on separate threads. The control registers as apartment-threaded,
// which tells every host that instances on different threads may run at once, and the
// conversion entry makes a state of its own per call; what they share in the process (the
// standard structuring elements and their master cache, tables built on first use) must stand
// that. Eight conversions run at once, then eight controls each open and export pages of a
// TIFF-FX document and of a plain TIFF: every result equals the result of one thread alone.
// The test command runs this program under ThreadSanitizer, which reports any unguarded
// access to shared state.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <thread>
#include <vector>

#include "enc_convert.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"
#include "testkit_rgb_tiff.h"

namespace {

constexpr int kThreads = 8;

// A colour page of dark strokes in rows of glyph-sized blocks over a light, slightly varying
// background: it goes through segmentation, token classification and the JPEG layers.
uint8_t colourSample(size_t i, uint32_t width) {
  const size_t pixel = i / 3;
  const auto x = static_cast<uint32_t>(pixel % width), y = static_cast<uint32_t>(pixel / width);
  const bool glyph = (y % 24) >= 4 && (y % 24) < 18 && (x % 14) < 9 &&
                     ((x * 7 + y * 3 + (x / 14) * 5) % 11) < 6 && x >= 16 && x < width - 16;
  if (glyph) return i % 3 == 2 ? 120 : 20;
  return static_cast<uint8_t>(225 + (x + y) % 17);
}

// A bilevel page (one uncompressed strip) of glyph-sized blocks.
void writeBilevelTiff(const std::string &path, uint32_t width, uint32_t height) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const uint32_t rowBytes = (width + 7) / 8;
  std::vector<uint8_t> rows(size_t{rowBytes} * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool ink = (y % 30) >= 6 && (y % 30) < 24 && (x % 16) < 11 &&
                       ((x / 16 * 3 + y / 30) % 5) != 0 && ((x + 2 * y) % 7) != 0;
      if (ink) rows[size_t{y} * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  ASSERT_GE(TIFFWriteEncodedStrip(tiff, 0, rows.data(), static_cast<tmsize_t>(rows.size())), 0);
  TIFFClose(tiff);
}

// Runs work(t) on kThreads threads at once.
template <typename Work>
void onThreads(Work work) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&work, t] { work(t); });
  for (std::thread &thread : threads) thread.join();
}

class Threads : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.made());
    colour = dir.file("colour.tif");
    bilevel = dir.file("bilevel.tif");
    norvtest::writeRgbTiff(colour, {{360, 240}},
                           [](size_t i, uint32_t) { return colourSample(i, 360); });
    writeBilevelTiff(bilevel, 480, 320);
  }
  // The input of thread t: colour pages on even threads, bilevel on odd ones.
  const std::string &input(int t) const { return t % 2 == 0 ? colour : bilevel; }

  norvtest::TempDir dir{"threads"};
  std::string colour, bilevel;
};

TEST_F(Threads, ConversionsAtOnceEqualOneAlone) {
  const std::string alone[2] = {dir.file("alone0.tfx"), dir.file("alone1.tfx")};
  for (int k = 0; k < 2; ++k)
    ASSERT_EQ(convertTiffFileToTfx(input(k).c_str(), alone[k].c_str()), 0);
  std::vector<int32_t> statuses(kThreads, -1);
  onThreads([&](int t) {
    const std::string out = dir.file("out" + std::to_string(t) + ".tfx");
    statuses[t] = convertTiffFileToTfx(input(t).c_str(), out.c_str());
  });
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(statuses[t], 0);
    EXPECT_EQ(norvtest::readFile(dir.file("out" + std::to_string(t) + ".tfx")),
              norvtest::readFile(alone[t % 2]));
  }
}

TEST_F(Threads, ControlsRenderingAtOnceEqualOneAlone) {
  const std::string tfx = dir.file("doc.tfx");
  ASSERT_EQ(convertTiffFileToTfx(colour.c_str(), tfx.c_str()), 0);
  // The documents of thread t: the TIFF-FX file on even threads, the plain TIFF on odd ones.
  auto exportPages = [&](int t, const std::string &stem) {
    ctl::NorvviewCtrl control;
    control.SetFileName(t % 2 == 0 ? tfx : bilevel);
    EXPECT_EQ(control.NumPages(), 1);
    for (const auto &[layer, zoom] : {std::pair{0, 1.0}, {0, 0.5}, {2, 1.0}, {1, 0.75}}) {
      const std::string bmp = stem + "_" + std::to_string(layer) + "_" + std::to_string(zoom);
      EXPECT_EQ(control.SavePageAsBmp(bmp, 1, layer, zoom), 0);
    }
  };
  exportPages(0, dir.file("alone0"));
  exportPages(1, dir.file("alone1"));
  onThreads([&](int t) { exportPages(t, dir.file("t" + std::to_string(t))); });
  for (int t = 0; t < kThreads; ++t)
    for (const auto &[layer, zoom] : {std::pair{0, 1.0}, {0, 0.5}, {2, 1.0}, {1, 0.75}}) {
      const std::string tail = "_" + std::to_string(layer) + "_" + std::to_string(zoom);
      SCOPED_TRACE(testing::Message() << "thread " << t << " layer " << layer << " zoom " << zoom);
      const std::vector<uint8_t> mine =
          norvtest::readFile(dir.file("t" + std::to_string(t) + tail));
      EXPECT_GT(mine.size(), 54u);
      EXPECT_EQ(mine, norvtest::readFile(dir.file("alone" + std::to_string(t % 2) + tail)));
    }
}

}  // namespace
