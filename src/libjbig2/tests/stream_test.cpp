// Byte sources, block-chained memory sinks and bit files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "encode_support.h"
#include "jb2_stream.h"
#include "testkit_state.h"

namespace {

using StreamFixture = norvtest::TrackedStateTest;

TEST_F(StreamFixture, SinkBlocksSplitAtTheirSizeAndMarksSpanThem) {
  DataSink *sink = nullptr;
  ASSERT_EQ(memSinkNew(state_, &sink), 0);
  // A 4-byte length set aside as the last 2 bytes of one block and the first 2 of the next.
  std::vector<uint8_t> filler(kSinkBlockSize - 2, 7);
  size_t count = 0;
  ASSERT_EQ(sinkWrite(sink, filler.size(), filler.data(), &count), 0);
  ASSERT_EQ(sinkReserve(sink, 4), 0);
  ASSERT_EQ(sinkPutByte(sink, 9), 0);
  const uint8_t length[4] = {1, 2, 3, 4};
  ASSERT_EQ(sinkWriteAtMark(sink, 4, length), 0);
  // Writing beyond the bytes written is refused.
  const uint8_t six[6] = {};
  EXPECT_EQ(sinkWriteAtMark(sink, 6, six), 10003);
  EXPECT_EQ(sink->count, filler.size() + 1);  // reserved bytes are not counted
  std::vector<size_t> used;
  const std::vector<uint8_t> all = jbtest::closeAndJoin(sink, state_, &used);
  EXPECT_EQ(used, (std::vector<size_t>{kSinkBlockSize, 3}));
  ASSERT_EQ(all.size(), kSinkBlockSize + 3);
  EXPECT_EQ(std::memcmp(&all[kSinkBlockSize - 2], length, 4), 0);
  EXPECT_EQ(all.back(), 9);
}

TEST_F(StreamFixture, ExactlyOneBlockThenASecond) {
  DataSink *sink = nullptr;
  ASSERT_EQ(memSinkNew(state_, &sink), 0);
  for (size_t i = 0; i <= kSinkBlockSize; ++i) ASSERT_EQ(sinkPutByte(sink, uint8_t(i)), 0);
  std::vector<size_t> used;
  jbtest::closeAndJoin(sink, state_, &used);
  EXPECT_EQ(used, (std::vector<size_t>{kSinkBlockSize, 1}));
}

TEST_F(StreamFixture, BitsWrittenAndReadMostSignificantFirst) {
  DataSink *sink = nullptr;
  ASSERT_EQ(memSinkNew(state_, &sink), 0);
  JbitFile *w = nullptr;
  ASSERT_EQ(jbitWriterOnSink(sink, &w), 0);
  jbitPutBits(w, 0x15, 5);  // 10101
  jbitPutBits(w, 0x3, 3);   // 011: one byte 0xAB
  jbitPutBits(w, 0x1FFF, 13);
  jbitAlign(w);  // 13 bits: two bytes, the last 3 bits 0
  jbitPutBits(w, 0xDEADBEEF, 32);
  ASSERT_EQ(jbitCloseWriter(w), 0);
  std::vector<size_t> used;
  const std::vector<uint8_t> bytes = jbtest::closeAndJoin(sink, state_, &used);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAB, 0xFF, 0xF8, 0xDE, 0xAD, 0xBE, 0xEF}));

  DataSource *src = nullptr;
  ASSERT_EQ(memSourceNew(bytes.data(), bytes.size(), state_, &src), 0);
  JbitFile *r = nullptr;
  ASSERT_EQ(jbitReaderOnSource(src, &r), 0);
  uint32_t v = 0;
  ASSERT_EQ(jbitGetBits(r, 4, &v), 0);
  EXPECT_EQ(v, 0xAu);
  EXPECT_EQ(jbitPeekByte(r), 0xBF);
  jbitAlign(r);
  ASSERT_EQ(jbitGetBits(r, 16, &v), 0);
  EXPECT_EQ(v, 0xFFF8u);
  ASSERT_EQ(jbitGetBits(r, 32, &v), 0);
  EXPECT_EQ(v, 0xDEADBEEFu);
  EXPECT_EQ(jbitGetBits(r, 1, &v), 2003);  // past the end
  jbitCloseReader(r);
  // Reading past the end of a memory source without refill.
  uint8_t byte = 0;
  EXPECT_EQ(srcNextByte(src, &byte), 118);
  memSourceFree(src);
}

TEST_F(StreamFixture, ANewStreamNumbersFromZero) {
  Jb2File *stream = nullptr;
  ASSERT_EQ(jb2NewStream(nullptr, nullptr, state_, &stream), 0);
  EXPECT_EQ(jb2NextSegmentNumber(stream), 0);
  EXPECT_EQ(jb2NextSegmentNumber(stream), 1);
  EXPECT_EQ(jb2GetOptions(stream)->bytes[3], 2);  // generic template 2 by default
  jb2FreeStream(stream);
}

}  // namespace
