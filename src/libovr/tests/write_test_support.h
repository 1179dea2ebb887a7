// Test support for the writer: a growable in-memory file behind the library's stream hooks that
// fails on demand (a write budget in bytes, a seek budget in calls), a document written into one,
// and a view of the written bytes through the format layer's decoders.
#ifndef OVR_WRITE_TEST_SUPPORT_H
#define OVR_WRITE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ovr_document.h"
#include "ovr_engine_internal.h"
#include "ovr_format_internal.h"
#include "ovr_tags_internal.h"
#include "ovr_test_support.h"
#include "ovr_write.h"

namespace ovr_test {

class MemoryStream {
 public:
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
  int64_t writeBudget = -1;  // bytes that may still be written; -1: no limit
  int64_t seekBudget = -1;   // seeks (to a position or the end) that may still succeed
  uint64_t written = 0;      // bytes written so far
  uint64_t seeks = 0;        // seeks asked for so far
  uint64_t readBytes = 0;    // bytes read so far

  static int64_t read(void *s, void *buffer, size_t count) {
    auto &m = *static_cast<MemoryStream *>(s);
    const uint64_t n =
        m.position >= m.bytes.size() ? 0 : std::min<uint64_t>(count, m.bytes.size() - m.position);
    if (n != 0) std::memcpy(buffer, m.bytes.data() + m.position, n);
    m.position += n;
    m.readBytes += n;
    return static_cast<int64_t>(n);
  }
  static int64_t write(void *s, const void *buffer, size_t count) {
    auto &m = *static_cast<MemoryStream *>(s);
    uint64_t n = count;
    if (m.writeBudget >= 0 && n > static_cast<uint64_t>(m.writeBudget)) n = m.writeBudget;
    if (m.writeBudget >= 0) m.writeBudget -= static_cast<int64_t>(n);
    m.written += n;
    if (m.bytes.size() < m.position + n) m.bytes.resize(m.position + n);
    if (n != 0) std::memcpy(m.bytes.data() + m.position, buffer, n);
    m.position += n;
    return static_cast<int64_t>(n);
  }
  static int64_t seek(void *s, int64_t to) {
    auto &m = *static_cast<MemoryStream *>(s);
    if (!m.takeSeek() || to < 0) return -1;
    m.position = static_cast<uint64_t>(to);
    return to;
  }
  static int64_t seekEnd(void *s) {
    auto &m = *static_cast<MemoryStream *>(s);
    if (!m.takeSeek()) return -1;
    m.position = m.bytes.size();
    return static_cast<int64_t>(m.position);
  }
  static int64_t tell(void *s) {
    return static_cast<int64_t>(static_cast<MemoryStream *>(s)->position);
  }

 private:
  bool takeSeek() {
    ++seeks;
    if (seekBudget == 0) return false;
    if (seekBudget > 0) --seekBudget;
    return true;
  }
};

// A document being written into a MemoryStream; closed at the end unless the test closed it.
class WrittenDocument {
 public:
  explicit WrittenDocument(uint32_t kind = 13) {
    status =
        ovrCreateDocument(ctx.get(), kind, &file, 0, 0, MemoryStream::read, MemoryStream::write,
                          MemoryStream::seek, MemoryStream::seekEnd, MemoryStream::tell, &doc);
  }
  ~WrittenDocument() {
    if (doc != nullptr) ovrCloseDocument(doc);
  }
  WrittenDocument(const WrittenDocument &) = delete;
  WrittenDocument &operator=(const WrittenDocument &) = delete;

  int32_t close() {
    const int32_t result = ovrCloseDocument(doc);
    doc = nullptr;
    return result;
  }
  OvrDocument *engine() const { return doc->doc; }

  TestContext ctx;
  MemoryStream file;
  OvrDocHandle *doc = nullptr;
  int32_t status = -1;
};

// The written bytes seen through the format layer's decoders.
class FileView {
 public:
  explicit FileView(const std::vector<uint8_t> &bytes) : file_(bytes) {}

  const ovr::FileReader &reader() const { return file_.reader(); }
  uint32_t firstIfd() { return u32(4); }
  uint32_t u32(uint64_t at) {
    uint8_t b[4] = {};
    EXPECT_EQ(reader().readAt(at, b, 4), OVR_OK) << "at " << at;
    return ovr::load32(b, ovr::ByteOrder::Little);
  }
  // The directory at offset, decoded by the tag table.
  std::unique_ptr<ovr::Directory> dir(uint64_t offset, ovr::IfdLayout *layout = nullptr) {
    auto d = std::make_unique<ovr::Directory>(alloc_);
    ovr::IfdLayout l;
    EXPECT_EQ(ovr::readDirectory(reader(), offset, *d, &l), OVR_OK) << "IFD at " << offset;
    if (layout != nullptr) *layout = l;
    return d;
  }
  // Entry i of the IFD at offset, undecoded.
  ovr::IfdEntry entry(uint64_t offset, uint32_t i) {
    ovr::IfdLayout l;
    EXPECT_EQ(ovr::readIfdLayout(reader(), offset, &l), OVR_OK);
    ovr::IfdEntry e;
    EXPECT_EQ(ovr::readIfdEntry(reader(), l, i, &e), OVR_OK);
    return e;
  }
  // The entry of tag in the IFD at offset (tag 0 when absent).
  ovr::IfdEntry find(uint64_t offset, uint16_t tag) {
    ovr::IfdLayout l;
    EXPECT_EQ(ovr::readIfdLayout(reader(), offset, &l), OVR_OK);
    for (uint32_t i = 0; i < l.count; ++i) {
      ovr::IfdEntry e;
      EXPECT_EQ(ovr::readIfdEntry(reader(), l, i, &e), OVR_OK);
      if (e.tag == tag) return e;
    }
    return ovr::IfdEntry{};
  }
  std::vector<uint8_t> bytes(uint64_t at, uint64_t n) {
    std::vector<uint8_t> out(n);
    EXPECT_EQ(reader().readAt(at, out.data(), n), OVR_OK);
    return out;
  }

 private:
  MemoryFile file_;
  ovr::Usage usage_;
  ovr::Allocator alloc_{ovr::defaultAlloc, ovr::defaultFree, &usage_};
};

}  // namespace ovr_test

#endif
