// Conversions: every converter pair against a per-pixel model of the conversion rules (over
// values that reach truncation, wrap-around, saturation and NaN), grey colour pixels keeping
// their value, packing and unpacking of type 100, the documented cases and failures that
// free every temporary.
#include <cmath>
#include <limits>
#include <vector>

#include "image_test_support.h"

namespace {

using imagetest::element;
using imagetest::heap;
using imagetest::ImageTest;

using ConvertTest = ImageTest;

const int32_t kTypes[] = {1, 2, 3, 4, 5, 6, 8, 9};

int channels(int32_t type) {
  return type == 3 || type == 9 ? 3 : 1;
}

bool isFloating(int32_t type) {
  return type == 2 || type == 4 || type == 9;
}

void setElement(QtzImage *image, int64_t y, int64_t x, int c, double v) {
  const int32_t type = image->hdr.type;
  const int64_t channel = type == 4                               ? 8
                          : type == 8                             ? 2
                          : (type == 2 || type == 6 || type == 9) ? 4
                                                                  : 1;
  uint8_t *p = image->rows[image->hdr.yoff + y] + (image->hdr.xoff + x) * channel * channels(type) +
               c * channel;
  if (type == 2 || type == 9) {
    const auto f = static_cast<float>(v);
    std::memcpy(p, &f, 4);
  } else if (type == 4) {
    std::memcpy(p, &v, 8);
  } else if (type == 6) {
    const auto i = static_cast<int32_t>(v);
    std::memcpy(p, &i, 4);
  } else if (type == 8) {
    const auto i = static_cast<int16_t>(v);
    std::memcpy(p, &i, 2);
  } else {
    *p = static_cast<uint8_t>(v);
  }
}

// Sample pixels of each type (one value per channel).
std::vector<std::vector<double>> samples(int32_t type) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  switch (type) {
    case 1:
      return {{0}, {1}, {127}, {128}, {254}, {255}};
    case 2:
      return {{0},        {-1.5},     {1.5},  {255.75}, {256}, {300.5}, {-0.0},
              {70000.25}, {-40000.5}, {1e10}, {-3e9},   {nan}, {0.25}};
    case 3:
      return {{0, 0, 0}, {255, 255, 255}, {100, 150, 200}, {1, 0, 0},
              {0, 0, 1}, {255, 0, 0},     {17, 17, 17},    {3, 200, 90}};
    case 4:
      return {{0},      {-1.5}, {255.999},          {-256.5}, {65536.5}, {1e300},
              {-1e300}, {nan},  {4294967296.0 + 7}, {1e-300}, {-9.5e18}};
    case 5:
      return {{0}, {1}, {7}, {255}};
    case 6:
      return {{0},     {1},     {-1},     {255},        {256},          {300},
              {65535}, {65536}, {-32769}, {2147483647}, {-2147483648.0}};
    case 8:
      return {{0}, {1}, {-1}, {255}, {256}, {-300}, {32767}, {-32768}};
    case 9:
      return {{0, 0, 0},     {1.5, 2.5, 3.5}, {-1.25, 300.75, 0.5}, {255, 255, 255},
              {0, 0, 1e-30}, {100, 150, 200}, {nan, 0, 0},          {-0.0, 0, 0}};
  }
  return {};
}

// A value truncated toward zero and wrapped into a bits-wide integer; NaN gives 0 and values
// beyond the 64-bit range saturate first.
double wrapped(double v, int bits, bool isSigned) {
  if (std::isnan(v)) return 0;
  long double t = std::trunc(static_cast<long double>(v));
  const long double limit = std::ldexp(1.0L, 63);
  if (t >= limit) t = limit - 1;
  if (t < -limit) t = -limit;
  const long double modulus = std::ldexp(1.0L, bits);
  long double r = std::fmod(t, modulus);
  if (r < 0) r += modulus;
  if (isSigned && r >= modulus / 2) r -= modulus;
  return static_cast<double>(r);
}

// A source value cast to the element of a target type.
double castModel(double v, int32_t to) {
  switch (to) {
    case 2:
    case 9:
      return static_cast<float>(v);
    case 4:
      return v;
    case 6:
      return wrapped(v, 32, true);
    case 8:
      return wrapped(v, 16, true);
    default:
      return wrapped(v, 8, false);
  }
}

// The expected channels of a target pixel for a source pixel.
std::vector<double> model(int32_t from, int32_t to, const std::vector<double> &in) {
  const int n = channels(to);
  if (from == 5) {
    const bool black = in[0] != 0;
    const double v = isFloating(to) && to != 9 ? (black ? 1 : 0) : (black ? 0 : 255);
    return std::vector<double>(n, v);
  }
  if (to == 5) {
    bool black;
    if (channels(from) == 3) {
      black = in[0] == 0 && in[1] == 0 && in[2] == 0;
    } else {
      black = isFloating(from) ? in[0] != 0 : in[0] == 0;
    }
    return {black ? 1.0 : 0.0};
  }
  if (channels(from) == 3 && n == 1) {
    const double luma = from == 3 ? (299 * in[0] + 587 * in[1] + 114 * in[2]) / 1000
                                  : (299.0 * in[0] + 587.0 * in[1] + 114.0 * in[2]) / 1000.0;
    if (from == 3 && !isFloating(to)) return {std::floor(luma)};
    return {castModel(luma, to)};
  }
  std::vector<double> out(n);
  for (int c = 0; c < n; ++c) out[c] = castModel(in[channels(from) == 3 ? c : 0], to);
  return out;
}

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Two rows of samples with offsets, so that row and pixel addressing both count.
QtzImage *sampleImage(QtzState *state, int32_t type) {
  const auto values = samples(type);
  QtzImage *image = nullptr;
  EXPECT_EQ(QtzImage_newOffset(state, type, static_cast<int32_t>(values.size()), 2, 3, -2, &image),
            0);
  for (int64_t y = 0; y < 2; ++y)
    for (size_t x = 0; x < values.size(); ++x)
      for (int c = 0; c < channels(type); ++c)
        setElement(image, y, static_cast<int64_t>(x), c, values[(x + y) % values.size()][c]);
  return image;
}

TEST_F(ConvertTest, EveryPairFollowsThePerPixelModel) {
  for (int32_t from : kTypes) {
    QtzImage *source = sampleImage(state_, from);
    const auto values = samples(from);
    for (int32_t to : kTypes) {
      if (to == from) continue;
      SCOPED_TRACE(testing::Message() << from << " -> " << to);
      QtzImage *result = nullptr;
      ASSERT_EQ(QtzImage_convert(source, static_cast<uint16_t>(to), &result), 0);
      EXPECT_EQ(result->hdr.type, to);
      EXPECT_EQ(result->hdr.xoff, 3);
      EXPECT_EQ(result->hdr.yoff, -2);
      EXPECT_EQ(result->hdr.width, source->hdr.width);
      for (int64_t y = 0; y < 2; ++y)
        for (size_t x = 0; x < values.size(); ++x) {
          std::vector<double> in(channels(from));
          for (int c = 0; c < channels(from); ++c)
            in[c] = element(source, y, static_cast<int64_t>(x), c);
          const auto expected = model(from, to, in);
          for (int c = 0; c < channels(to); ++c) {
            const double got = element(result, y, static_cast<int64_t>(x), c);
            EXPECT_TRUE(same(got, expected[c]))
                << "pixel " << x << " row " << y << " channel " << c << ": got " << got
                << ", expected " << expected[c] << " from " << in[0];
          }
        }
      EXPECT_EQ(QtzImage_free(result), 0);
    }
    EXPECT_EQ(QtzImage_free(source), 0);
  }
  EXPECT_EQ(takeErrors(), "");
}

// Grey colour pixels keep their value through every colour-to-grey converter.
TEST_F(ConvertTest, GreyColourPixelsKeepTheirValue) {
  for (int32_t from : {3, 9}) {
    QtzImage *source = nullptr;
    ASSERT_EQ(QtzImage_new(state_, from, 256, 1, &source), 0);
    for (int v = 0; v < 256; ++v)
      for (int c = 0; c < 3; ++c) setElement(source, 0, v, c, v);
    for (int32_t to : {1, 2, 4, 6, 8}) {
      QtzImage *grey = nullptr;
      ASSERT_EQ(QtzImage_convert(source, static_cast<uint16_t>(to), &grey), 0);
      for (int v = 0; v < 256; ++v)
        ASSERT_EQ(element(grey, 0, v), v) << from << " -> " << to << " value " << v;
      QtzImage_free(grey);
    }
    QtzImage_free(source);
  }
}

TEST_F(ConvertTest, DocumentedCases) {
  auto convertOne = [&](int32_t from, std::vector<double> in, int32_t to) {
    QtzImage *source = make(from, 1, 1), *result = nullptr;
    for (int c = 0; c < channels(from); ++c) setElement(source, 0, 0, c, in[c]);
    EXPECT_EQ(QtzImage_convert(source, static_cast<uint16_t>(to), &result), 0);
    const double v = element(result, 0, 0);
    QtzImage_free(source);
    QtzImage_free(result);
    return v;
  };
  EXPECT_EQ(convertOne(3, {100, 150, 200}, 1), 140);
  EXPECT_EQ(convertOne(6, {300}, 1), 44);
  EXPECT_EQ(convertOne(2, {-1.5}, 6), -1);
  EXPECT_EQ(convertOne(5, {0}, 1), 255);
  EXPECT_EQ(convertOne(5, {1}, 1), 0);
  EXPECT_EQ(convertOne(5, {7}, 1), 0);
  EXPECT_EQ(convertOne(5, {7}, 4), 1.0);
}

TEST_F(ConvertTest, OwnTypeGivesAnExactCopyWithoutComment) {
  for (int32_t type : {1, 3, 7, 9, 100}) {
    QtzImage *source = make(type, 37, 3), *copy = nullptr;
    for (int64_t y = 0; y < 3; ++y)
      for (int64_t i = 0; i < source->hdr.bytesPerLine; ++i)
        source->rows[y][i] = static_cast<uint8_t>(31 * y + i);
    ASSERT_EQ(QtzImage_setComment(source, "note"), 0);
    ASSERT_EQ(QtzImage_convert(source, static_cast<uint16_t>(type), &copy), 0);
    EXPECT_EQ(copy->comment, nullptr);
    for (int64_t y = 0; y < 3; ++y)
      EXPECT_EQ(std::memcmp(copy->rows[y], source->rows[y], source->hdr.bytesPerLine), 0);
    QtzImage_free(source);
    QtzImage_free(copy);
  }
}

TEST_F(ConvertTest, TypeSevenAndUnknownTargetsHaveNoConverter) {
  QtzImage *quad = make(7, 2, 2), *grey = make(1, 2, 2), *packed = make(100, 2, 2);
  QtzImage *out = nullptr;
  for (int32_t to : {1, 2, 3, 5, 9, 100})
    EXPECT_EQ(QtzImage_convert(quad, static_cast<uint16_t>(to), &out), QTZ_ERR_ASSERT);
  for (int32_t to : {0, 7, 10, 99, 101})
    EXPECT_EQ(QtzImage_convert(grey, static_cast<uint16_t>(to), &out), QTZ_ERR_ASSERT) << to;
  EXPECT_EQ(QtzImage_convert(packed, 7, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzImage_convert(nullptr, 1, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(out, nullptr);
  for (QtzImage *image : {quad, grey, packed}) QtzImage_free(image);
  EXPECT_EQ(takeErrors(), "");
}

// Packing keeps the bits past the width clear; unpacking ignores them.
TEST_F(ConvertTest, PackedBilevelRoundTrips) {
  for (int32_t width : {1, 31, 32, 33, 70}) {
    SCOPED_TRACE(width);
    QtzImage *bytes = nullptr;
    ASSERT_EQ(QtzImage_newOffset(state_, 5, width, 3, 2, 1, &bytes), 0);
    for (int64_t y = 0; y < 3; ++y)
      for (int64_t x = 0; x < width; ++x)
        setElement(bytes, y, x, 0, (x * 7 + y * 3) % 5 == 0 ? 9 : 0);
    QtzImage *packed = nullptr, *back = nullptr, *grey = nullptr;
    ASSERT_EQ(QtzImage_convert(bytes, 100, &packed), 0);
    EXPECT_EQ(packed->hdr.xoff, 2);
    for (int64_t y = 0; y < 3; ++y) {
      for (int64_t x = 0; x < width; ++x)
        EXPECT_EQ(imagetest::bit(packed, y, x), element(bytes, y, x) != 0 ? 1 : 0);
      const auto *row = reinterpret_cast<const uint32_t *>(packed->rows[packed->hdr.yoff + y]);
      const int64_t words = (width + 31) / 32;
      if (width % 32 != 0) {
        EXPECT_EQ(row[words - 1] & (~0u >> (width % 32)), 0u);
      }
      // Stray bits past the width must not come back as pixels.
      const_cast<uint32_t *>(row)[words - 1] |= width % 32 != 0 ? ~0u >> (width % 32) : 0;
    }
    ASSERT_EQ(QtzImage_convert(packed, 5, &back), 0);
    ASSERT_EQ(QtzImage_convert(packed, 1, &grey), 0);
    for (int64_t y = 0; y < 3; ++y)
      for (int64_t x = 0; x < width; ++x) {
        EXPECT_EQ(element(back, y, x), element(bytes, y, x) != 0 ? 1 : 0);
        EXPECT_EQ(element(grey, y, x), element(bytes, y, x) != 0 ? 0 : 255);
      }
    for (QtzImage *image : {bytes, packed, back, grey}) QtzImage_free(image);
  }
  // From another type to 100 through type 5: grey 0 is black.
  QtzImage *grey = make(1, 3, 1), *packed = nullptr;
  setElement(grey, 0, 1, 0, 0);
  setElement(grey, 0, 0, 0, 200);
  setElement(grey, 0, 2, 0, 1);
  ASSERT_EQ(QtzImage_convert(grey, 100, &packed), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t *>(packed->rows[0])[0], 0x40000000u);
  QtzImage_free(grey);
  QtzImage_free(packed);
}

// A result or temporary that cannot be made is reported as 118 after the constructor's own
// report; every temporary is freed.
TEST_F(ConvertTest, FailuresFreeTemporaries) {
  QtzImage *packed = make(100, 40, 2), *grey = make(1, 40, 2), *out = nullptr;
  takeErrors();
  struct Case {
    QtzImage *source;
    uint16_t to;
    int failAt;
  };
  const Case cases[] = {{grey, 2, 1},   {grey, 2, 2},   {packed, 1, 1}, {packed, 1, 4},
                        {grey, 100, 1}, {grey, 100, 5}, {packed, 5, 3}};
  for (const Case &c : cases) {
    const size_t live = heap.live.size();
    heap.failAt = heap.requests + c.failAt;
    EXPECT_EQ(QtzImage_convert(c.source, c.to, &out), QTZ_ERR_NULL) << c.to << " " << c.failAt;
    heap.failAt = -1;
    EXPECT_EQ(heap.live.size(), live);
    const std::string errors = takeErrors();
    EXPECT_NE(errors.find("Error 118 -- Unexpected NULL pointer\n"), std::string::npos) << errors;
  }
  EXPECT_EQ(out, nullptr);
  QtzImage_free(packed);
  QtzImage_free(grey);
}

}  // namespace
