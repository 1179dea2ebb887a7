// Test support of the JBIG2 encoders: a stream over a memory sink on a tracked library state,
// the bytes it collected, and segment headers read back with the decoder's parser.
#ifndef NORV_JBIG2_ENCODE_SUPPORT_H
#define NORV_JBIG2_ENCODE_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "jb2_stream.h"
#include "jbig2_segment.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_pnm.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace jbtest {

// Closes the sink and joins its blocks; usedCounts (when given) receives each block's fill.
inline std::vector<uint8_t> closeAndJoin(DataSink *sink, QtzState *state,
                                         std::vector<size_t> *usedCounts = nullptr) {
  QtzAdtList *blocks = nullptr;
  EXPECT_EQ(memSinkClose(sink, &blocks), 0);
  std::vector<uint8_t> all;
  if (blocks == nullptr) return all;
  for (QtzAdtListNode *n = blocks->head; n != nullptr; n = n->next) {
    auto *b = static_cast<SinkBlock *>(n->data);
    if (usedCounts != nullptr) usedCounts->push_back(b->used);
    all.insert(all.end(), b->data, b->data + b->used);
  }
  memSinkFreeBlocks(state, blocks);
  return all;
}

// A segment header as the decoder's parser reads it.
struct ParsedHeader {
  uint32_t number, page, dataLength;
  uint8_t type, retain, deferred;
  std::vector<int32_t> refs;
  std::vector<uint8_t> refRetain;
  size_t headerBytes;
};

// A fixture with a stream writing into a memory sink; bytes() ends the stream.
class SinkStreamTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(memSinkNew(state_, &sink_), 0);
    ASSERT_EQ(jb2NewStream(nullptr, sink_, state_, &stream_), 0);
  }
  void TearDown() override {
    if (sink_ != nullptr) bytes();
    norvtest::TrackedStateTest::TearDown();
  }

  std::vector<uint8_t> bytes() {
    std::vector<uint8_t> all = closeAndJoin(sink_, state_);
    sink_ = nullptr;
    jb2FreeStream(stream_);
    stream_ = nullptr;
    return all;
  }

  // The bytes that write(stream) puts into a fresh stream of its own.
  template <typename Write>
  std::vector<uint8_t> writtenBy(Write write) {
    DataSink *sink = nullptr;
    Jb2File *stream = nullptr;
    EXPECT_EQ(memSinkNew(state_, &sink), 0);
    EXPECT_EQ(jb2NewStream(nullptr, sink, state_, &stream), 0);
    write(stream);
    jb2FreeStream(stream);
    return closeAndJoin(sink, state_);
  }

  // Every segment of an embedded stream, headers parsed and data skipped.
  std::vector<ParsedHeader> parseAll(const std::vector<uint8_t> &bytes) {
    std::vector<ParsedHeader> out;
    DataSource *source = nullptr;
    Jb2File *reader = nullptr;
    EXPECT_EQ(memSourceNew(bytes.data(), bytes.size(), state_, &source), 0);
    EXPECT_EQ(jb2NewStream(source, nullptr, state_, &reader), 0);
    while (source->pos < source->size) {
      const size_t start = source->pos;
      Jbig2Segment seg{};
      const int32_t status = parseSegmentHeader(reader, source, &seg);
      EXPECT_EQ(status, 0) << "segment at byte " << start;
      if (status != 0) break;
      ParsedHeader h{seg.number,
                     seg.page,
                     seg.dataLength,
                     seg.type,
                     seg.retain,
                     seg.flag7,
                     std::vector<int32_t>(seg.refs, seg.refs + seg.refCount),
                     std::vector<uint8_t>(seg.refRetain, seg.refRetain + seg.refCount),
                     source->pos - start};
      qtz::release(state_, seg.refs);
      qtz::release(state_, seg.refRetain);
      out.push_back(h);
      if (srcSkip(source, seg.dataLength) != 0) break;
    }
    jb2FreeStream(reader);
    memSourceFree(source);
    return out;
  }

  DataSink *sink_ = nullptr;
  Jb2File *stream_ = nullptr;
};

// What jbig2dec makes of a stream: its exit status, its messages and the page as a PBM.
struct OutsideDecode {
  norvtest::ToolRun run;
  norvtest::Pnm page;
};

// Decodes bytes with jbig2dec (embedded: a stream without the T.88 file header).
inline OutsideDecode decodeWithJbig2dec(const std::vector<uint8_t> &bytes, bool embedded) {
  norvtest::TempDir dir;
  const std::string in = dir.file("in.jb2"), out = dir.file("out.pbm");
  OutsideDecode result;
  if (!norvtest::writeFile(in, bytes)) return result;
  result.run =
      norvtest::runTool("jbig2dec -v 2 " + std::string(embedded ? "-e " : "") + "-t pbm -o " +
                        norvtest::shellQuote(out) + " " + norvtest::shellQuote(in) + " 2>&1");
  result.page = norvtest::readPnm(out);
  return result;
}

// The T.88 file header (D.4) for a sequential file of one page.
inline std::vector<uint8_t> withFileHeader(const std::vector<uint8_t> &segments) {
  std::vector<uint8_t> file = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A, 0x01, 0, 0, 0, 1};
  file.insert(file.end(), segments.begin(), segments.end());
  return file;
}

}  // namespace jbtest

#endif
