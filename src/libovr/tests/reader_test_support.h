// Test support for the reading interface: a document opened over a hooked file (closed at the
// end, which a leak check of the context then covers), and a builder of TIFF files whose IFDs
// are linked freely (page chains, SubIFDs, stripe chains, loops) and whose entries may refer to
// IFDs and to data blocks appended after the IFDs.
#ifndef OVR_READER_TEST_SUPPORT_H
#define OVR_READER_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ovr_document.h"
#include "ovr_test_support.h"

namespace ovr_test {

class OpenDocument {
 public:
  OpenDocument(OvrIoContext *ctx, OvrHookedFile *file) {
    status_ = ovrOpenDocument(ctx, file, 0, fileHookRead, fileHookWrite, fileHookSeek,
                              fileHookSeekEnd, fileHookTell, &doc_);
  }
  ~OpenDocument() {
    if (doc_ != nullptr) {
      EXPECT_EQ(ovrCloseDocument(doc_), OVR_OK);
    }
  }
  OpenDocument(const OpenDocument &) = delete;
  OpenDocument &operator=(const OpenDocument &) = delete;
  OvrDocHandle *get() const { return doc_; }
  int32_t status() const { return status_; }

 private:
  OvrDocHandle *doc_ = nullptr;
  int32_t status_ = -1;
};

// Entry values that stand for the offset of IFD i or of block j of a LinkedFile.
constexpr uint64_t kIfdRef = 0xF0000000;
constexpr uint64_t kBlockRef = 0xE0000000;

struct LinkedFile {
  std::vector<std::vector<TestEntry>> ifds;  // IFD 0 is the header's first IFD
  std::vector<int> next;                     // next IFD of each IFD, -1 for none
  std::vector<std::vector<uint8_t>> blocks;  // appended after the IFDs, each at a multiple of 4
};

namespace detail {
inline std::vector<std::vector<TestEntry>> resolve(const LinkedFile &f,
                                                   const std::vector<uint32_t> &ifdAt,
                                                   const std::vector<uint32_t> &blockAt) {
  std::vector<std::vector<TestEntry>> ifds = f.ifds;
  for (auto &entries : ifds) {
    for (auto &e : entries) {
      for (uint64_t &u : e.units) {
        if (u >= kIfdRef && u < kIfdRef + f.ifds.size()) {
          u = ifdAt.empty() ? 0 : ifdAt[u - kIfdRef];
        } else if (u >= kBlockRef && u < kBlockRef + f.blocks.size()) {
          u = blockAt.empty() ? 0 : blockAt[u - kBlockRef];
        }
      }
    }
  }
  return ifds;
}
}  // namespace detail

// Lays the file out twice: once to learn where IFDs and blocks go, once with the references
// resolved (the layout does not change), then links the IFDs as `next` says and appends the
// blocks.
inline std::vector<uint8_t> buildLinked(ovr::ByteOrder order, const LinkedFile &f,
                                        std::vector<uint32_t> *ifdOffsets = nullptr,
                                        std::vector<uint32_t> *blockOffsets = nullptr) {
  std::vector<uint32_t> ifdAt;
  const size_t size = buildTiff(order, detail::resolve(f, {}, {}), &ifdAt).size();
  std::vector<uint32_t> blockAt;
  uint64_t end = size;
  for (const auto &block : f.blocks) {
    end = (end + 3) / 4 * 4;
    blockAt.push_back(static_cast<uint32_t>(end));
    end += block.size();
  }
  Bytes out(order);
  out.raw(buildTiff(order, detail::resolve(f, ifdAt, blockAt)));
  for (size_t i = 0; i < f.ifds.size(); ++i) {
    const int n = i < f.next.size() ? f.next[i] : -1;
    out.patch32(ifdAt[i] + 2 + 12 * f.ifds[i].size(), n < 0 ? 0 : ifdAt[n]);
  }
  for (const auto &block : f.blocks) {
    out.alignTo4();
    out.raw(block);
  }
  if (ifdOffsets) *ifdOffsets = ifdAt;
  if (blockOffsets) *blockOffsets = blockAt;
  return out.data();
}

// Entries.
inline TestEntry shortEntry(uint16_t tag, uint64_t v) {
  return {tag, ovr::kTypeShort, 1, {v}};
}
inline TestEntry longEntry(uint16_t tag, uint64_t v) {
  return {tag, ovr::kTypeLong, 1, {v}};
}
inline TestEntry longsEntry(uint16_t tag, std::vector<uint64_t> v) {
  return {tag, ovr::kTypeLong, static_cast<uint32_t>(v.size()), v};
}
inline TestEntry rationalEntry(uint16_t tag, uint64_t num, uint64_t den) {
  return {tag, ovr::kTypeRational, 1, {num, den}};
}
// ImageLayer (layer, order from 1).
inline TestEntry layerEntry(uint64_t layer, uint64_t order) {
  return {34732, ovr::kTypeLong, 2, {layer, order}};
}

}  // namespace ovr_test

#endif
