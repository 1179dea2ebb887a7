// Test support of the image library: a fixture with a state over the tracking hooks whose
// reports are captured, streams over strings in both directions, and pixel access by type.
#ifndef IMAGE_TEST_SUPPORT_H
#define IMAGE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qtz_image.h"
#include "qtz_test_support.h"

namespace imagetest {

using qtztest::heap;

// A read stream over a copy of bytes (closed by the destructor); empty bytes read as /dev/null.
class InputStream {
 public:
  explicit InputStream(const std::string &bytes) : bytes_(bytes) {
    file_ = bytes_.empty() ? std::fopen("/dev/null", "rb")
                           : fmemopen(bytes_.data(), bytes_.size(), "rb");
  }
  ~InputStream() {
    if (file_ != nullptr) std::fclose(file_);
  }
  InputStream(const InputStream &) = delete;
  InputStream &operator=(const InputStream &) = delete;
  FILE *file() { return file_; }

 private:
  std::string bytes_;
  FILE *file_ = nullptr;
};

class ImageTest : public testing::Test {
 protected:
  void SetUp() override {
    qtztest::resetHeap();
    state_ = qtztest::trackedState(errors_);
    ASSERT_NE(state_, nullptr);
  }
  void TearDown() override {
    Qtz_cleanupQtzState(&state_);
    EXPECT_TRUE(heap.live.empty()) << heap.live.size() << " blocks leaked";
    EXPECT_EQ(heap.foreign, 0);
  }

  // The report lines written since the last call.
  std::string takeErrors() {
    const std::string text = errors_.text();
    const std::string fresh = text.substr(seen_);
    seen_ = text.size();
    return fresh;
  }

  QtzImage *make(int32_t type, int32_t width, int32_t height) {
    QtzImage *image = nullptr;
    EXPECT_EQ(QtzImage_new(state_, type, width, height, &image), 0);
    return image;
  }

  // Reads bytes as a PNM-style file; the status, and the image in *out.
  int32_t load(const std::string &bytes, int32_t want, QtzImage **out) {
    InputStream in(bytes);
    return QtzImage_pLoadF(state_, want, in.file(), out);
  }

  // The bytes QtzImage_pSaveF writes.
  std::string save(const QtzImage *image, int32_t *status = nullptr) {
    qtztest::CapturedStream out;
    int32_t s = QtzImage_pSaveF(image, out.file());
    if (status != nullptr) *status = s;
    return out.text();
  }

  qtztest::CapturedStream errors_;
  QtzState *state_ = nullptr;
  size_t seen_ = 0;
};

// Channel c of pixel x of row y (both counted from the first pixel and row) as a double, for
// any type 1 to 9 but 7.
inline double element(const QtzImage *image, int64_t y, int64_t x, int c = 0) {
  const int32_t type = image->hdr.type;
  const int64_t channel = type == 4                               ? 8
                          : type == 8                             ? 2
                          : (type == 2 || type == 6 || type == 9) ? 4
                                                                  : 1;
  const int64_t pixel = (type == 3 || type == 9) ? 3 * channel : channel;
  const uint8_t *p = image->rows[image->hdr.yoff + y] + (image->hdr.xoff + x) * pixel + c * channel;
  switch (type) {
    case 2:
    case 9: {
      float v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case 4: {
      double v;
      std::memcpy(&v, p, 8);
      return v;
    }
    case 6: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case 8: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    default:
      return *p;
  }
}

// Bit x of row y of a type-100 image.
inline int bit(const QtzImage *image, int64_t y, int64_t x) {
  const auto *row = reinterpret_cast<const uint32_t *>(image->rows[image->hdr.yoff + y]);
  return (row[x / 32] >> (31 - x % 32)) & 1;
}

}  // namespace imagetest

#endif
