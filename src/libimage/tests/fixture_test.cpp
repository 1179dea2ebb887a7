// Files made by other programs (tests/data/make_fixtures.sh): netpbm's binary files load and
// save again byte for byte, their plain forms load and save as the binary files, a maxval-15
// file is rescaled, and the wide-pixel fixtures of make_q_fixtures.py read back the values of
// its formulas exactly and save as the same bytes.
#include <cmath>
#include <fstream>
#include <iterator>

#include "image_test_support.h"

namespace {

using imagetest::element;
using imagetest::ImageTest;

using FixtureTest = ImageTest;

std::string readFile(const std::string &name) {
  std::ifstream in(std::string(NORV_TEST_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The value formula of make_q_fixtures.py.
double value(int x, int y) {
  return (x - 3) * 1000.25 + y * 7.5;
}

TEST_F(FixtureTest, NetpbmFilesRoundTripByteForByte) {
  const struct {
    const char *file;
    int32_t type;
  } cases[] = {{"gray37x9.pbm", 5},     {"gray37x9.pbm", 100}, {"black64x2.pbm", 5},
               {"black64x2.pbm", 100},  {"ramp61x7.pgm", 1},   {"ellipse33x20.pgm", 1},
               {"gingham29x11.ppm", 3}, {"madras17x13.ppm", 3}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " as type " << c.type);
    const std::string bytes = readFile(c.file);
    QtzImage *image = nullptr;
    ASSERT_EQ(load(bytes, c.type, &image), 0);
    EXPECT_EQ(image->hdr.type, c.type);
    EXPECT_EQ(save(image), bytes);
    QtzImage_free(image);
  }
  EXPECT_EQ(takeErrors(), "");
}

TEST_F(FixtureTest, PlainFilesSaveAsTheBinaryFiles) {
  const struct {
    const char *binary;
    int32_t type;
  } cases[] = {
      {"gray37x9.pbm", 5}, {"gray37x9.pbm", 100}, {"ramp61x7.pgm", 1}, {"gingham29x11.ppm", 3}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.binary);
    QtzImage *image = nullptr;
    ASSERT_EQ(load(readFile(std::string(c.binary) + ".plain"), c.type, &image), 0);
    EXPECT_EQ(save(image), readFile(c.binary));
    QtzImage_free(image);
  }
}

// pgmramp -maxval 15 -lr 16 2: sample s becomes s x 255 / 15 = 17 s.
TEST_F(FixtureTest, SmallMaxvalIsRescaled) {
  QtzImage *image = nullptr;
  ASSERT_EQ(load(readFile("ramp16x2max15.pgm"), 1, &image), 0);
  const std::string bytes = readFile("ramp16x2max15.pgm");
  const size_t data = bytes.size() - 32;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_EQ(element(image, y, x), 17 * static_cast<uint8_t>(bytes[data + 16 * y + x]));
  QtzImage_free(image);
}

TEST_F(FixtureTest, WidePixelFilesReadBackExactly) {
  const struct {
    const char *file;
    int32_t type;
  } cases[] = {{"q1.pnm", 2}, {"q2.pnm", 4}, {"q3.pnm", 6}, {"q4.pnm", 8}, {"q5.pnm", 9}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    const std::string bytes = readFile(c.file);
    QtzImage *image = nullptr;
    ASSERT_EQ(load(bytes, c.type, &image), 0);
    ASSERT_EQ(image->hdr.width, 7);
    ASSERT_EQ(image->hdr.height, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) {
        const double v = value(x, y);
        switch (c.type) {
          case 2:
            EXPECT_EQ(element(image, y, x), static_cast<float>(v));
            break;
          case 4:
            EXPECT_EQ(element(image, y, x), v / 3);
            break;
          case 6:
            EXPECT_EQ(element(image, y, x), std::trunc(v * 1000));
            break;
          case 8:
            EXPECT_EQ(element(image, y, x), std::trunc(v * 10));
            break;
          default:
            EXPECT_EQ(element(image, y, x, 0), static_cast<float>(v));
            EXPECT_EQ(element(image, y, x, 1), static_cast<float>(v + 0.5));
            EXPECT_EQ(element(image, y, x, 2), static_cast<float>(v * -2));
        }
      }
    EXPECT_EQ(save(image), bytes);
    QtzImage_free(image);
  }
}

}  // namespace
