// Test support of the JBIG2 decoder: test data paths, PBM oracles, and whole-stream decoding
// through the driver over a tracked library state.
#ifndef NORV_JBIG2_TEST_SUPPORT_H
#define NORV_JBIG2_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jbig2_decoder.h"
#include "jbig2_file_format.h"
#include "testkit_state.h"

namespace jbtest {

inline std::string dataPath(const std::string &name) {
  return std::string(NORV_TEST_DATA) + "/" + name;
}

struct Pbm {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bytes;  // rows of (width + 7) / 8 bytes
};

inline Pbm readPbm(const std::string &path) {
  Pbm p;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return p;
  if (std::fscanf(f, "P4 %d %d", &p.width, &p.height) == 2) {
    std::fgetc(f);
    p.bytes.resize(static_cast<size_t>((p.width + 7) / 8) * p.height);
    if (std::fread(p.bytes.data(), 1, p.bytes.size(), f) != p.bytes.size()) p.bytes.clear();
  }
  std::fclose(f);
  return p;
}

inline int pixelOf(const QtzImage *page, int x, int y) {
  const auto *row = reinterpret_cast<const uint32_t *>(page->rows[y + page->hdr.yoff]);
  return (row[x >> 5] >> (31 - (x & 31))) & 1;
}

// Pixels of the page that differ from the oracle; -1 for a size mismatch.
inline long differingPixels(const QtzImage *page, const Pbm &oracle) {
  if (page == nullptr || page->hdr.width != oracle.width || page->hdr.height != oracle.height)
    return -1;
  const int rowBytes = (oracle.width + 7) / 8;
  long diff = 0;
  for (int y = 0; y < oracle.height; ++y)
    for (int x = 0; x < oracle.width; ++x)
      diff += pixelOf(page, x, y) != ((oracle.bytes[y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
  return diff;
}

// Decodes a whole embedded stream as one page; *page is a copy the caller frees.
inline int32_t decodeStream(QtzState *state, const std::vector<uint8_t> &stream, QtzImage **page) {
  *page = nullptr;
  Jbig2Decoder *d = nullptr;
  int32_t status =
      QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state);
  if (status != 0) return status;
  status = QtzJbig2_decodePage(d, stream.data(), stream.size(), nullptr);
  if (status == 0 && d->page != nullptr) QtzImage_dup(d->page, 0, page);
  QtzJbig2_freeDecoder(&d);
  return status;
}

// A library state over the tracking hooks (leaks show in norvtest::heap.live), reporting into
// a string.
struct DecoderFixture : ::testing::Test {
  QtzState *state = nullptr;
  static inline std::string messages;

  static void capture(void *, int32_t code, const char *format, ...) {
    va_list args;
    va_start(args, format);
    char text[600];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    messages += std::to_string(code) + ": " + text + "\n";
  }

  void SetUp() override {
    norvtest::resetHeap();
    messages.clear();
    ASSERT_EQ(Qtz_initQtzState(&state, &norvtest::kTrackingHooks, nullptr, nullptr, capture, 0, 0),
              0);
  }
  void TearDown() override {
    Qtz_cleanupQtzState(&state);
    EXPECT_TRUE(norvtest::heap.live.empty()) << norvtest::heap.live.size() << " blocks leaked";
  }

  int32_t decode(const std::vector<uint8_t> &stream, QtzImage **page) {
    return decodeStream(state, stream, page);
  }
};

}  // namespace jbtest

#endif
