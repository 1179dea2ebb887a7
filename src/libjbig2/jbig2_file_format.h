// Reading the JBIG2 file format of ITU-T T.88 Annex D (file header, sequential or
// random-access organisation) into the embedded stream this decoder takes, with the list of
// segment headers. A small reader independent of the decoder, for tests and benchmarks: it is
// not part of the library and throws std::out_of_range on a file cut short.
#ifndef NORV_JBIG2_FILE_FORMAT_H
#define NORV_JBIG2_FILE_FORMAT_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace jbtest {

inline std::vector<uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
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
  return (uint32_t{b.at(at)} << 24) | (uint32_t{b.at(at + 1)} << 16) |
         (uint32_t{b.at(at + 2)} << 8) | b.at(at + 3);
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

}  // namespace jbtest

#endif
