// Test support of the JBIG2 decoder: files, a small independent reader of the T.88 Annex D
// file format (sequential and random-access organisation) that also lists every segment
// header, PBM oracles, and whole-stream decoding through the driver.
#ifndef NORV_JBIG2_TEST_SUPPORT_H
#define NORV_JBIG2_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jbig2_decoder.h"
#include "qtz_test_support.h"

namespace jbtest {

inline std::vector<uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string dataPath(const std::string &name) {
  return std::string(NORV_TEST_DATA) + "/" + name;
}

struct FileSegment {
  uint32_t number = 0;
  int type = 0;
  uint32_t page = 0;
  std::vector<uint32_t> refs;
  uint32_t dataLength = 0;
  size_t headerStart = 0;
  size_t headerEnd = 0;
  size_t dataStart = 0;
  size_t streamDataStart = 0;  // where the data lies in the embedded stream
};

inline uint32_t be32(const std::vector<uint8_t> &b, size_t at) {
  return (uint32_t{b.at(at)} << 24) | (uint32_t{b.at(at + 1)} << 16) | (uint32_t{b.at(at + 2)} << 8) |
         b.at(at + 3);
}

// Reads one header at pos (throws std::out_of_range on truncated input).
inline FileSegment readHeader(const std::vector<uint8_t> &b, size_t pos) {
  FileSegment s;
  s.headerStart = pos;
  s.number = be32(b, pos);
  const uint8_t flags = b.at(pos + 4);
  s.type = flags & 0x3F;
  pos += 5;
  uint32_t count = b.at(pos) >> 5;
  if (count == 7) {
    count = be32(b, pos) & 0x1FFFFFFF;
    pos += 4 + (count + 8) / 8;
  } else {
    pos += 1;
  }
  const int size = s.number <= 256 ? 1 : s.number <= 65536 ? 2 : 4;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t r = 0;
    for (int k = 0; k < size; ++k) r = (r << 8) | b.at(pos++);
    s.refs.push_back(r);
  }
  if (flags & 0x40) {
    s.page = be32(b, pos);
    pos += 4;
  } else {
    s.page = b.at(pos++);
  }
  s.dataLength = be32(b, pos);
  pos += 4;
  s.headerEnd = pos;
  return s;
}

// The embedded stream (headers and data interleaved) of a file with the Annex D header, and
// the list of its segments. Unknown data lengths are only followed in sequential files.
struct ParsedFile {
  std::vector<uint8_t> stream;
  std::vector<FileSegment> segments;
};

inline ParsedFile parseJbig2File(const std::vector<uint8_t> &b) {
  ParsedFile out;
  const uint8_t flags = b.at(8);
  size_t pos = 9 + ((flags & 2) ? 0 : 4);
  const bool sequential = flags & 1;
  if (sequential) {
    while (pos < b.size()) {
      FileSegment s = readHeader(b, pos);
      s.dataStart = s.headerEnd;
      size_t length = s.dataLength;
      if (length == 0xFFFFFFFFu) {
        // Immediate generic region of unknown length: the end sequence and row count.
        const bool mmr = b.at(s.dataStart + 17) & 1;
        size_t i = s.dataStart + 18 + (mmr ? 0 : 8);
        while (!(b.at(i) == (mmr ? 0 : 0xFF) && b.at(i + 1) == (mmr ? 0 : 0xAC))) ++i;
        length = i + 6 - s.dataStart;
      }
      s.streamDataStart = out.stream.size() + (s.headerEnd - s.headerStart);
      out.stream.insert(out.stream.end(), b.begin() + s.headerStart,
                        b.begin() + s.dataStart + length);
      pos = s.dataStart + length;
      out.segments.push_back(s);
      if (s.type == 51) break;
    }
  } else {
    for (;;) {
      FileSegment s = readHeader(b, pos);
      pos = s.headerEnd;
      out.segments.push_back(s);
      if (s.type == 51 || pos >= b.size()) break;
    }
    for (FileSegment &s : out.segments) {
      s.dataStart = pos;
      out.stream.insert(out.stream.end(), b.begin() + s.headerStart, b.begin() + s.headerEnd);
      s.streamDataStart = out.stream.size();
      out.stream.insert(out.stream.end(), b.begin() + pos, b.begin() + pos + s.dataLength);
      pos += s.dataLength;
    }
  }
  return out;
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

// A library state over the tracking hooks (leaks show in qtztest::heap.live), reporting into
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
    qtztest::resetHeap();
    messages.clear();
    ASSERT_EQ(Qtz_initQtzState(&state, &qtztest::kTrackingHooks, nullptr, nullptr, capture, 0, 0),
              0);
  }
  void TearDown() override {
    Qtz_cleanupQtzState(&state);
    EXPECT_TRUE(qtztest::heap.live.empty()) << qtztest::heap.live.size() << " blocks leaked";
  }

  // Decodes a whole embedded stream as one page; *page is a copy the caller frees.
  int32_t decode(const std::vector<uint8_t> &stream, QtzImage **page) {
    Jbig2Decoder *d = nullptr;
    int32_t status = QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr,
                                         nullptr, state);
    if (status != 0) return status;
    status = QtzJbig2_decodePage(d, stream.data(), stream.size(), nullptr);
    *page = nullptr;
    if (status == 0 && d->page != nullptr) QtzImage_dup(d->page, 0, page);
    QtzJbig2_freeDecoder(&d);
    return status;
  }
};

}  // namespace jbtest

#endif
