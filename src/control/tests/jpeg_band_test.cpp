// The JPEG band decoder against libjpeg's own command-line decoder (djpeg): grey, YCbCr and
// unconverted three-component bands, baseline and progressive, whole and at 1/2, 1/4 and 1/8,
// whole images and cropped rectangles, into targets with row padding; then the call order,
// targets that are too small, and damaged bands.
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg_band.h"
#include "jpeg_encoder.h"
#include "testkit_files.h"
#include "testkit_tools.h"

namespace ctl {
namespace {

using ctl_test::JpegKind;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 203, kHeight = 131;
constexpr uint8_t kUnwritten = 0xCD;

// djpeg's decode of the band at 1/denominator (the unconverted kind through an Adobe marker,
// which makes djpeg pass the stored components on as they are).
norvtest::Pnm djpeg(const Bytes &jpeg, JpegKind kind, int denominator) {
  norvtest::TempFile file("band");
  norvtest::writeFile(file.name(), kind == JpegKind::Raw ? ctl_test::withAdobeMarker(jpeg) : jpeg);
  const norvtest::ToolRun run = norvtest::runTool("djpeg -scale 1/" + std::to_string(denominator) +
                                                  " -pnm " + norvtest::shellQuote(file.name()));
  EXPECT_EQ(run.status, 0);
  return norvtest::parsePnm(run.output);
}

JpegReadMode modeOf(int denominator) {
  switch (denominator) {
    case 1:
      return JpegReadMode::Whole;
    case 2:
      return JpegReadMode::Half;
    case 4:
      return JpegReadMode::Quarter;
    default:
      return JpegReadMode::Eighth;
  }
}

struct Target {
  int32_t width, height, pad;
  Bytes pixels;
  Target(int32_t w, int32_t h, int32_t p)
      : width(w), height(h), pad(p), pixels(static_cast<size_t>(3 * w + p) * h, kUnwritten) {}
  int64_t stride() const { return 3 * width + pad; }
  const uint8_t *at(int x, int y) const { return pixels.data() + y * stride() + 3 * x; }
};

int32_t decode(const Bytes &jpeg, JpegColour colour, JpegReadMode mode, const Rect *crop,
               Target *target) {
  JpegBandRecord record;
  EXPECT_EQ(jpegBandInit(&record), jpegBandOk);
  record.data = jpeg.data();
  record.size = jpeg.size();
  int32_t status = jpegBandRead(&record, JpegReadMode::Parameters);
  if (status == jpegBandOk) {
    record.colour = colour;
    record.pixels = target->pixels.data();
    record.width = target->width;
    record.height = target->height;
    record.padBytes = target->pad;
    if (crop != nullptr) {
      record.cropped = true;
      record.crop = *crop;
    }
    status = jpegBandRead(&record, mode);
  }
  EXPECT_EQ(jpegBandFree(&record), jpegBandOk);
  return status;
}

// The target holds the reference's rectangle at (left, top); padding and everything outside
// the rectangle's size stay unwritten.
void expectMatch(const Target &t, const norvtest::Pnm &ref, JpegKind kind, int left, int top,
                 int width, int height) {
  for (int y = 0; y < t.height; ++y) {
    for (int x = 0; x < t.width; ++x) {
      const uint8_t *got = t.at(x, y);
      if (x >= width || y >= height) {
        ASSERT_TRUE(got[0] == kUnwritten && got[1] == kUnwritten && got[2] == kUnwritten)
            << "written outside at " << x << "," << y;
        continue;
      }
      const uint8_t *want = ref.row(top + y) + (ref.kind == '5' ? left + x : 3 * (left + x));
      uint8_t expected[3];
      if (ref.kind == '5') {
        expected[0] = expected[1] = expected[2] = want[0];
      } else if (kind == JpegKind::YCbCr) {
        expected[0] = want[2], expected[1] = want[1], expected[2] = want[0];
      } else {
        std::memcpy(expected, want, 3);
      }
      ASSERT_TRUE(std::memcmp(got, expected, 3) == 0)
          << "pixel " << x << "," << y << ": " << int(got[0]) << " " << int(got[1]) << " "
          << int(got[2]) << " want " << int(expected[0]) << " " << int(expected[1]) << " "
          << int(expected[2]);
    }
    for (int p = 0; p < t.pad; ++p) ASSERT_EQ(t.at(t.width, y)[p], kUnwritten) << "row " << y;
  }
}

TEST(JpegBandTest, DecodesAsDjpegDoes) {
  if (!norvtest::toolAvailable("djpeg")) GTEST_SKIP() << "djpeg is not installed";
  for (JpegKind kind : {JpegKind::Grey, JpegKind::YCbCr, JpegKind::Raw}) {
    for (bool progressive : {false, true}) {
      const int components = kind == JpegKind::Grey ? 1 : 3;
      const Bytes jpeg = ctl_test::encodeJpeg(ctl_test::testPicture(kWidth, kHeight, components, 9),
                                              kWidth, kHeight, kind, progressive);
      ASSERT_FALSE(jpeg.empty());
      const JpegColour colour =
          kind == JpegKind::YCbCr ? JpegColour::YCbCrToBgr : JpegColour::Unconverted;
      for (int denominator : {1, 2, 4, 8}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " progressive " << progressive
                                        << " scale 1/" << denominator);
        const norvtest::Pnm ref = djpeg(jpeg, kind, denominator);
        ASSERT_TRUE(ref.valid());
        const int w = ref.width, h = ref.height;
        ASSERT_EQ(w, (kWidth + denominator - 1) / denominator);
        {
          Target whole(w, h, 5);
          ASSERT_EQ(decode(jpeg, colour, modeOf(denominator), nullptr, &whole), jpegBandOk);
          expectMatch(whole, ref, kind, 0, 0, w, h);
        }
        // Rectangles: off the edges, inside, one row, one column, reaching the far corner.
        const Rect crops[] = {{1, 1, w - 1, h - 1},
                              {w / 3, h / 4, w / 3 + 9, h / 4 + 5},
                              {0, h / 2, w, h / 2 + 1},
                              {w - 1, 0, w, h},
                              {w / 2, h / 2, w, h}};
        for (const Rect &c : crops) {
          SCOPED_TRACE(testing::Message()
                       << "crop " << c.left << "," << c.top << "," << c.right << "," << c.bottom);
          Target part(c.width() + 2, c.height() + 1, 3);
          ASSERT_EQ(decode(jpeg, colour, modeOf(denominator), &c, &part), jpegBandOk);
          expectMatch(part, ref, kind, c.left, c.top, c.width(), c.height());
        }
      }
    }
  }
}

TEST(JpegBandTest, ParametersAndCallOrder) {
  const Bytes jpeg =
      ctl_test::encodeJpeg(ctl_test::testPicture(40, 24, 3, 1), 40, 24, JpegKind::YCbCr, true);
  JpegBandRecord record;
  record.state = 0;
  EXPECT_EQ(jpegBandRead(&record, JpegReadMode::Parameters), jpegBandNotReady);
  EXPECT_EQ(jpegBandFree(&record), jpegBandNotReady);
  ASSERT_EQ(jpegBandInit(&record), jpegBandOk);
  Target t(40, 24, 0);
  record.pixels = t.pixels.data();
  record.width = 40;
  record.height = 24;
  record.data = jpeg.data();
  record.size = jpeg.size();
  // The image cannot be read before its parameters.
  EXPECT_EQ(jpegBandRead(&record, JpegReadMode::Whole), jpegBandNotReady);
  ASSERT_EQ(jpegBandRead(&record, JpegReadMode::Parameters), jpegBandOk);
  EXPECT_EQ(record.imageWidth, 40);
  EXPECT_EQ(record.imageHeight, 24);
  EXPECT_EQ(record.components, 3);
  EXPECT_TRUE(record.progressive);
  EXPECT_EQ(jpegBandRead(&record, static_cast<JpegReadMode>(16)), jpegBandBadRequest);
  record.channels = 4;
  EXPECT_EQ(jpegBandRead(&record, JpegReadMode::Whole), jpegBandBadRequest);
  record.channels = 3;
  EXPECT_EQ(jpegBandRead(&record, JpegReadMode::Whole), jpegBandOk);
  EXPECT_EQ(jpegBandFree(&record), jpegBandOk);
  EXPECT_EQ(jpegBandFree(&record), jpegBandNotReady);
  EXPECT_EQ(jpegBandInit(nullptr), jpegBandBadRequest);
}

// An image larger than its target is clipped to it; a crop larger than the target is refused
// before anything is written.
TEST(JpegBandTest, SmallTargets) {
  const Bytes jpeg =
      ctl_test::encodeJpeg(ctl_test::testPicture(64, 48, 1, 2), 64, 48, JpegKind::Grey, false);
  Target full(64, 48, 0);
  ASSERT_EQ(decode(jpeg, JpegColour::Unconverted, JpegReadMode::Whole, nullptr, &full), jpegBandOk);
  Target small(20, 10, 2);
  ASSERT_EQ(decode(jpeg, JpegColour::Unconverted, JpegReadMode::Whole, nullptr, &small),
            jpegBandOk);
  for (int y = 0; y < 10; ++y) {
    ASSERT_EQ(std::memcmp(small.at(0, y), full.at(0, y), 60), 0) << "row " << y;
    EXPECT_EQ(small.at(20, y)[0], kUnwritten);
  }
  const Rect crop{4, 4, 30, 20};
  Target tooSmall(25, 16, 0);
  EXPECT_EQ(decode(jpeg, JpegColour::Unconverted, JpegReadMode::Whole, &crop, &tooSmall),
            jpegBandBadRequest);
  EXPECT_EQ(std::count(tooSmall.pixels.begin(), tooSmall.pixels.end(), kUnwritten),
            static_cast<ptrdiff_t>(tooSmall.pixels.size()));
  // A crop outside the scaled image is empty.
  const Rect outside{10, 10, 20, 20};
  Target any(10, 10, 0);
  EXPECT_EQ(decode(jpeg, JpegColour::Unconverted, JpegReadMode::Eighth, &outside, &any),
            jpegBandBadRequest);
}

TEST(JpegBandTest, DamagedBands) {
  const Bytes jpeg =
      ctl_test::encodeJpeg(ctl_test::testPicture(64, 48, 3, 3), 64, 48, JpegKind::YCbCr, false);
  Target t(64, 48, 0);
  // Cut inside the entropy-coded data: an image comes out, with a warning.
  const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(jpeg.size() * 2 / 3));
  EXPECT_EQ(decode(cut, JpegColour::YCbCrToBgr, JpegReadMode::Whole, nullptr, &t),
            jpegBandWarnings);
  // Cut inside the headers, or no JPEG at all: nothing comes out.
  const Bytes header(jpeg.begin(), jpeg.begin() + 40);
  EXPECT_EQ(decode(header, JpegColour::YCbCrToBgr, JpegReadMode::Whole, nullptr, &t),
            jpegBandFailed);
  const Bytes garbage(300, 0x5A);
  EXPECT_EQ(decode(garbage, JpegColour::YCbCrToBgr, JpegReadMode::Whole, nullptr, &t),
            jpegBandFailed);
  EXPECT_EQ(decode(Bytes{}, JpegColour::YCbCrToBgr, JpegReadMode::Whole, nullptr, &t),
            jpegBandBadRequest);
  // A header claiming 60000 x 60000 pixels is refused before decoding.
  Bytes huge = jpeg;
  for (size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 7] = 0xEA;
      huge[i + 6] = huge[i + 8] = 0x60;
      break;
    }
  }
  EXPECT_EQ(decode(huge, JpegColour::YCbCrToBgr, JpegReadMode::Eighth, nullptr, &t),
            jpegBandUnsupported);
}

}  // namespace
}  // namespace ctl
