// Test support: in-memory files read through the library's own stream adapters (fmemopen under
// the stdio hook table), and a small builder of TIFF byte images in either byte order, written
// independently of the library's encoders so that tests check the decoders against it.
#ifndef OVR_TEST_SUPPORT_H
#define OVR_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "ovr_file_hooks.h"
#include "ovr_format_internal.h"
#include "ovr_records_internal.h"

namespace ovr_test {

inline const OvrFileHooks kStdioHooks = {fread, fwrite, fseek, ftell};

// A read-only file over a copy of some bytes, with a stream record and a file reader on it.
class MemoryFile {
 public:
  explicit MemoryFile(std::vector<uint8_t> bytes, ovr::ByteOrder order = ovr::ByteOrder::Little)
      : bytes_(std::move(bytes)) {
    const size_t size = bytes_.size();
    if (bytes_.empty()) bytes_.push_back(0);  // fmemopen needs a buffer; the reader's size is 0
    file_.file = fmemopen(bytes_.data(), bytes_.size(), "rb");
    file_.hooks = &kStdioHooks;
    stream_ = OvrStream{&stream_,
                        &file_,
                        fileHookRead,
                        fileHookWrite,
                        fileHookSeek,
                        fileHookSeekEnd,
                        fileHookTell,
                        order == ovr::ByteOrder::Big,
                        0,
                        nullptr};
    reader_.stream = &stream_;
    reader_.order = order;
    reader_.size = size;
  }
  ~MemoryFile() {
    if (file_.file) fclose(file_.file);
  }
  MemoryFile(const MemoryFile &) = delete;
  MemoryFile &operator=(const MemoryFile &) = delete;

  OvrStream &stream() { return stream_; }
  const ovr::FileReader &reader() const { return reader_; }
  OvrHookedFile &hooked() { return file_; }

 private:
  std::vector<uint8_t> bytes_;
  OvrHookedFile file_{};
  OvrStream stream_{};
  ovr::FileReader reader_;
};

// A context for one test, whose allocator serves the records under test; destroying it at the
// end checks that every block came back.
class TestContext {
 public:
  TestContext() { EXPECT_EQ(ovrCreateIoContext(0, &ctx_), OVR_OK); }
  ~TestContext() { EXPECT_EQ(ovrDestroyIoContext(ctx_), OVR_OK) << "blocks still in use"; }
  TestContext(const TestContext &) = delete;
  TestContext &operator=(const TestContext &) = delete;
  OvrIoContext *get() { return ctx_; }
  ovr::Allocator alloc() const { return ovr::contextAllocator(ctx_); }
  uint64_t inUse() const { return ctx_->usage->inUse; }

 private:
  OvrIoContext *ctx_ = nullptr;
};

// Byte-image builder.
class Bytes {
 public:
  explicit Bytes(ovr::ByteOrder order) : order_(order) {}
  size_t size() const { return data_.size(); }
  std::vector<uint8_t> &data() { return data_; }

  void put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) {
      int shift = order_ == ovr::ByteOrder::Little ? 8 * i : 8 * (n - 1 - i);
      data_.push_back(static_cast<uint8_t>(v >> shift));
    }
  }
  void u8(uint8_t v) { put(v, 1); }
  void u16(uint16_t v) { put(v, 2); }
  void u32(uint32_t v) { put(v, 4); }
  void raw(const std::vector<uint8_t> &b) { data_.insert(data_.end(), b.begin(), b.end()); }
  void alignTo4() {
    while (data_.size() % 4) data_.push_back(0);
  }
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      int shift = order_ == ovr::ByteOrder::Little ? 8 * i : 8 * (3 - i);
      data_[at + i] = static_cast<uint8_t>(v >> shift);
    }
  }

 private:
  ovr::ByteOrder order_;
  std::vector<uint8_t> data_;
};

// Bytes of one unit of each TIFF field type 1-13 (a rational is two 4-byte units).
inline int unitBytes(uint16_t type) {
  static const int kUnit[14] = {0, 1, 1, 2, 4, 4, 1, 1, 2, 4, 4, 4, 8, 4};
  return type < 14 ? kUnit[type] : 0;
}

struct TestEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::vector<uint64_t> units;         // the value, unit by unit
  std::optional<uint32_t> field = {};  // a raw value field instead of the placed value
};

// A file with one IFD per element of `ifds`, chained in order; values that do not fit in an
// entry follow their IFD. Returns the bytes; ifdOffsets receives each IFD's offset.
inline std::vector<uint8_t> buildTiff(ovr::ByteOrder order,
                                      const std::vector<std::vector<TestEntry>> &ifds,
                                      std::vector<uint32_t> *ifdOffsets = nullptr) {
  Bytes b(order);
  b.raw(order == ovr::ByteOrder::Little ? std::vector<uint8_t>{'I', 'I'}
                                        : std::vector<uint8_t>{'M', 'M'});
  b.u16(42);
  b.u32(0);
  size_t nextLink = 4;
  for (const auto &entries : ifds) {
    b.alignTo4();
    const uint32_t at = static_cast<uint32_t>(b.size());
    if (ifdOffsets) ifdOffsets->push_back(at);
    b.patch32(nextLink, at);
    b.u16(static_cast<uint16_t>(entries.size()));
    std::vector<size_t> fieldAt;
    for (const auto &e : entries) {
      b.u16(e.tag);
      b.u16(e.type);
      b.u32(e.count);
      fieldAt.push_back(b.size());
      b.u32(0);
    }
    nextLink = b.size();
    b.u32(0);
    for (size_t i = 0; i < entries.size(); ++i) {
      const TestEntry &e = entries[i];
      const size_t bytes = e.units.size() * unitBytes(e.type);
      Bytes value(order);
      for (uint64_t u : e.units) value.put(u, unitBytes(e.type));
      if (e.field) {
        b.patch32(fieldAt[i], *e.field);
      } else if (bytes <= 4) {
        auto &d = b.data();
        for (size_t k = 0; k < bytes; ++k) d[fieldAt[i] + k] = value.data()[k];
      } else {
        b.alignTo4();
        b.patch32(fieldAt[i], static_cast<uint32_t>(b.size()));
        b.raw(value.data());
      }
    }
  }
  return b.data();
}

}  // namespace ovr_test

#endif
