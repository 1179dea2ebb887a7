// Test support of the image library: a fixture with a state over the test kit's tracking
// hooks whose reports are captured, loads and saves through in-memory streams, and pixel
// access by type.
#ifndef IMAGE_TEST_SUPPORT_H
#define IMAGE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qtz_image.h"
#include "testkit_files.h"
#include "testkit_pixels.h"
#include "testkit_state.h"

namespace imagetest {

using norvtest::heap;
using norvtest::InputStream;
using norvtest::TempFile;

class ImageTest : public norvtest::TrackedStateTest {
 protected:
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
    norvtest::CapturedStream out;
    int32_t s = QtzImage_pSaveF(image, out.file());
    if (status != nullptr) *status = s;
    return out.text();
  }

  size_t seen_ = 0;
};

// The element of type T stored at p, as a double.
template <typename T>
double elementAt(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

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
    case 9:
      return elementAt<float>(p);
    case 4:
      return elementAt<double>(p);
    case 6:
      return elementAt<int32_t>(p);
    case 8:
      return elementAt<int16_t>(p);
    default:
      return *p;
  }
}

// Bit x of row y of a type-100 image.
inline int bit(const QtzImage *image, int64_t y, int64_t x) {
  return static_cast<int>(norvtest::pixel(image->rows[image->hdr.yoff + y], x, 1));
}

}  // namespace imagetest

#endif
