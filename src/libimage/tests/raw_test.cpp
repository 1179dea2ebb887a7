// Raw files: the layout of every type (packed rows padded to a byte, elements back to back),
// the big-endian flag and its combination with the native flag, short data (2003) and
// exhausted memory (1) instead of a silent success, invalid types, and failed writes.
#include <cstdio>

#include "image_test_support.h"

namespace {

using namespace imagetest;

using RawTest = ImageTest;

constexpr char kInvalidType[] = "Error 12 -- Invalid image type\n";

std::string saveRaw(const QtzImage *image, int32_t flags, QtzState *state,
                    int32_t *status = nullptr) {
  norvtest::CapturedStream out;
  const int32_t s = QtzImage_saveRawF_(image, image->hdr.type, out.file(), flags, state);
  if (status != nullptr) *status = s;
  return out.text();
}

int32_t loadRaw(const std::string &bytes, int32_t type, int32_t width, int32_t height,
                QtzImage **out, QtzState *state) {
  InputStream in(bytes);
  return QtzImage_loadRawF(type, width, height, in.file(), out, state);
}

TEST_F(RawTest, LayoutOfEachType) {
  // Two i16 pixels 0x0102 and -2 in one row: native and big-endian files.
  QtzImage *image = make(8, 2, 1);
  const int16_t v[2] = {0x0102, -2};
  std::memcpy(image->rows[0], v, 4);
  EXPECT_EQ(saveRaw(image, 0, state_), std::string("\x02\x01\xfe\xff", 4));
  EXPECT_EQ(saveRaw(image, QTZ_RAW_BIG_ENDIAN, state_), std::string("\x01\x02\xff\xfe", 4));
  EXPECT_EQ(saveRaw(image, QTZ_RAW_NATIVE, state_), std::string("\x02\x01\xfe\xff", 4));
  EXPECT_EQ(saveRaw(image, QTZ_RAW_BIG_ENDIAN | QTZ_RAW_NATIVE, state_),
            std::string("\x02\x01\xfe\xff", 4));
  QtzImage_free(image);

  // Colour floats reverse each channel, colour bytes nothing.
  QtzImage *colour = make(9, 1, 1);
  const float rgb[3] = {1.0f, -2.0f, 0.5f};
  std::memcpy(colour->rows[0], rgb, 12);
  EXPECT_EQ(saveRaw(colour, QTZ_RAW_BIG_ENDIAN, state_),
            std::string("\x3f\x80\x00\x00\xc0\x00\x00\x00\x3f\x00\x00\x00", 12));
  QtzImage_free(colour);

  // Bilevel bytes and packed words both write rows of whole bytes.
  QtzImage *bytes = make(5, 10, 2);
  bytes->rows[0][0] = 1;
  bytes->rows[1][8] = 1;
  EXPECT_EQ(saveRaw(bytes, 0, state_), std::string("\x80\x00\x00\x80", 4));
  QtzImage *packed = nullptr;
  ASSERT_EQ(loadRaw(std::string("\x80\x00\x00\x80", 4), 100, 10, 2, &packed, state_), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t *>(packed->rows[1])[0], 0x00800000u);
  QtzImage_free(bytes);
  QtzImage_free(packed);
}

// Every raw type comes back from its own file, with and without the big-endian flag.
TEST_F(RawTest, EveryTypeRoundTrips) {
  for (int32_t type : {1, 2, 3, 4, 5, 6, 8, 9, 100}) {
    for (int32_t flags : {0, int32_t{QTZ_RAW_BIG_ENDIAN}}) {
      SCOPED_TRACE(testing::Message() << type << " flags " << flags);
      QtzImage *image = make(type, 13, 3);
      for (int64_t y = 0; y < 3; ++y)
        for (int64_t i = 0; i < image->hdr.bytesPerLine; ++i)
          image->rows[y][i] = static_cast<uint8_t>(type == 5 ? (i * y) % 2 : 29 * i + 3 * y + 1);
      if (type == 100)
        for (int64_t y = 0; y < 3; ++y)
          reinterpret_cast<uint32_t *>(image->rows[y])[0] &= 0xFFF80000u;
      QtzImage *back = nullptr;
      ASSERT_EQ(loadRaw(saveRaw(image, flags, state_), type | flags, 13, 3, &back, state_), 0);
      for (int64_t y = 0; y < 3; ++y)
        EXPECT_EQ(std::memcmp(back->rows[y], image->rows[y],
                              static_cast<size_t>(image->hdr.bytesPerLine)),
                  0);
      QtzImage_free(image);
      QtzImage_free(back);
    }
  }
  EXPECT_EQ(takeErrors(), "");
}

TEST_F(RawTest, ShortDataAndNoMemoryAreFailures) {
  QtzImage *image = nullptr;
  const struct {
    int32_t type, width, height;
    size_t bytes;
  } shorts[] = {{1, 4, 4, 15}, {100, 9, 3, 5}, {5, 9, 3, 5}, {9, 2, 1, 23}, {4, 1, 1, 0}};
  for (const auto &c : shorts) {
    EXPECT_EQ(loadRaw(std::string(c.bytes, '\x11'), c.type, c.width, c.height, &image, state_),
              QTZ_IMAGE_ERR_RAW_SHORT)
        << c.type;
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(takeErrors(), "Error 2003 -- Bad file length\n");
  }
  // A stream that cannot be measured runs short while reading.
  FILE *pipe = popen("printf abc", "r");
  ASSERT_NE(pipe, nullptr);
  EXPECT_EQ(QtzImage_loadRawF(1, 2, 2, pipe, &image, state_), QTZ_IMAGE_ERR_RAW_SHORT);
  pclose(pipe);
  takeErrors();

  for (int failAt = 1; failAt <= 3; ++failAt) {
    heap.failAt = heap.requests + failAt;
    EXPECT_EQ(loadRaw("abcd", 1, 2, 2, &image, state_), QTZ_ERR_NO_MEMORY) << failAt;
    heap.failAt = -1;
    const std::string errors = takeErrors();
    EXPECT_NE(errors.find("Error 1 -- Unable to allocate memory\n"), std::string::npos) << errors;
  }
  // The packed intermediate of a type-5 read is freed when unpacking runs out of memory.
  heap.failAt = heap.requests + 4;
  EXPECT_EQ(loadRaw("ab", 5, 9, 1, &image, state_), QTZ_ERR_NO_MEMORY);
  heap.failAt = -1;
  EXPECT_EQ(image, nullptr);
}

TEST_F(RawTest, InvalidTypesAndArguments) {
  QtzImage *image = nullptr;
  for (int32_t type : {7, 0, 10, 99, 101, 0x400 | 1}) {
    EXPECT_EQ(loadRaw("abcdefgh", type, 1, 1, &image, state_), QTZ_IMAGE_ERR_RAW_TYPE) << type;
    EXPECT_EQ(takeErrors(), kInvalidType);
  }
  EXPECT_EQ(loadRaw("abcd", 1, -1, 1, &image, state_), QTZ_ERR_ASSERT);
  takeErrors();
  QtzImage *grey = make(1, 2, 2);
  norvtest::CapturedStream out;
  EXPECT_EQ(QtzImage_saveRawF_(grey, 7, out.file(), 0, state_), QTZ_IMAGE_ERR_RAW_TYPE);
  EXPECT_EQ(takeErrors(), kInvalidType);
  // The layout type must be the image's own: a grey image is not written as doubles.
  EXPECT_EQ(QtzImage_saveRawF_(grey, 4, out.file(), 0, state_), QTZ_ERR_ASSERT);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(QtzImage_saveRaw_(grey, 1, nullptr, 0, state_), QTZ_ERR_ASSERT);
  takeErrors();

  FILE *full = std::fopen("/dev/full", "wb");
  QtzImage *big = make(4, 1000, 10);
  EXPECT_EQ(QtzImage_saveRawF_(big, 4, full, 0, state_), QTZ_IMAGE_ERR_RAW_WRITE);
  std::fclose(full);
  EXPECT_EQ(takeErrors(), "Error 2001 -- Error during write\n");
  EXPECT_EQ(QtzImage_saveRaw_(grey, 1, "/nonexistent/dir/r.raw", 0, state_), QTZ_IMAGE_ERR_FILE);
  EXPECT_EQ(QtzImage_loadRaw(1, 1, 1, "/nonexistent/dir/r.raw", &image, state_),
            QTZ_IMAGE_ERR_FILE);
  QtzImage_free(grey);
  QtzImage_free(big);
}

TEST_F(RawTest, ThroughPaths) {
  TempFile file("qtz_raw");
  ASSERT_TRUE(file.made());
  QtzImage *image = make(6, 3, 2), *back = nullptr;
  const int32_t v = -123456;
  std::memcpy(image->rows[1] + 8, &v, 4);
  ASSERT_EQ(QtzImage_saveRaw_(image, 6, file.path(), QTZ_RAW_BIG_ENDIAN, state_), 0);
  ASSERT_EQ(QtzImage_loadRaw(6 | QTZ_RAW_BIG_ENDIAN, 3, 2, file.path(), &back, state_), 0);
  EXPECT_EQ(element(back, 1, 2), -123456);
  QtzImage_free(image);
  QtzImage_free(back);
}

}  // namespace
