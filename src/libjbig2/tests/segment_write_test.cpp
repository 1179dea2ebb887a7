// Segment headers, region information and the page, end and stripe segments: exact bytes for
// the field-width rules of T.88 7.2, every form read back by the decoder's parser and by
// jbig2dec, refusals of values that do not fit their fields, and failure at every allocation.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "encode_support.h"
#include "jbig2_seg_write.h"
#include "jbig2_value_encode.h"

namespace {

using jbtest::ParsedHeader;
using SegmentWriteTest = jbtest::SinkStreamTest;

struct HeaderCase {
  const char *name;
  int32_t number;
  int32_t page;
  int32_t refCount;
  size_t headerBytes;          // through the data length
  std::vector<uint8_t> start;  // expected leading bytes after the segment number
};

// Referred-to numbers 3, 4, 5, ...
std::vector<int32_t> refNumbers(int32_t n) {
  std::vector<int32_t> refs(static_cast<size_t>(n));
  std::iota(refs.begin(), refs.end(), 3);
  return refs;
}

TEST_F(SegmentWriteTest, HeaderFieldWidthsFollowTheSegmentNumberAndPage) {
  const HeaderCase cases[] = {
      {"one-byte refs", 256, 1, 1, 4 + 1 + 1 + 1 + 1 + 4, {62, 0x20 | 0x02 | 0x01, 3, 1}},
      {"two-byte refs", 257, 1, 1, 4 + 1 + 1 + 2 + 1 + 4, {62, 0x23, 0, 3, 1}},
      {"four-byte refs", 65537, 1, 1, 4 + 1 + 1 + 4 + 1 + 4, {62, 0x23, 0, 0, 0, 3, 1}},
      {"page 255", 9, 255, 0, 4 + 1 + 1 + 1 + 4, {62, 0x01, 255}},
      {"page 256", 9, 256, 0, 4 + 1 + 1 + 4 + 4, {62 | 0x40, 0x01, 0, 0, 1, 0}},
      {"four refs short form", 9, 0, 4, 4 + 1 + 1 + 4 + 1 + 4, {62, 0x80 | 0x10 | 0x02 | 0x01}},
      {"five refs long form", 9, 0, 5, 4 + 1 + 4 + 1 + 5 + 1 + 4, {62, 0xE0, 0, 0, 5, 0x13}},
      {"seven refs one flag byte", 12, 0, 7, 4 + 1 + 4 + 1 + 7 + 1 + 4, {62, 0xE0, 0, 0, 7}},
      {"eight refs two flag bytes", 12, 0, 8, 4 + 1 + 4 + 2 + 8 + 1 + 4, {62, 0xE0, 0, 0, 8}},
  };
  for (const HeaderCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int32_t> refs = refNumbers(c.refCount);
    std::vector<uint8_t> retain(refs.size());
    for (size_t i = 0; i < retain.size(); ++i) retain[i] = i % 3 == 0;
    const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
      Jbig2SegHeader h{c.number, 0, c.page, c.refCount, refs.data(), retain.data(), 62, 1, 0};
      EXPECT_EQ(writeSegmentHeader(stream, &h), 0);
      sinkResetCount(stream->sink);
      EXPECT_EQ(sinkPutBigEndian(stream->sink, 0xABCD, 2), 0);
      EXPECT_EQ(endSegmentData(stream, &h), 0);
    });
    ASSERT_EQ(bytes.size(), c.headerBytes + 2);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 4 + c.start.size()), c.start);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 6, bytes.end()),
              (std::vector<uint8_t>{0, 0, 0, 2, 0xAB, 0xCD}));
    const std::vector<ParsedHeader> parsed = parseAll(bytes);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].number, static_cast<uint32_t>(c.number));
    EXPECT_EQ(parsed[0].page, static_cast<uint32_t>(c.page));
    EXPECT_EQ(parsed[0].type, 62);
    EXPECT_EQ(parsed[0].retain, 1);
    EXPECT_EQ(parsed[0].dataLength, 2u);
    EXPECT_EQ(parsed[0].headerBytes, c.headerBytes);
    EXPECT_EQ(parsed[0].refs, refs);
    EXPECT_EQ(parsed[0].refRetain, retain);
  }
}

TEST_F(SegmentWriteTest, PageAndEndSegmentsHaveTheirFixedLayouts) {
  Jbig2PageRecord striped{};
  striped.header.page = 1;
  striped.info = {640, 0xFFFFFFFF, 11811, 11811, 1, 0, 1, 2, 0, 1, 1, 2199};
  ASSERT_EQ(writePageInfo(stream_, &striped), 0);
  Jbig2EndOfStripeRecord stripe{};
  stripe.header.page = 1;
  stripe.endRow = 2198;
  ASSERT_EQ(writeEndOfStripe(stream_, &stripe), 0);
  Jbig2PageRecord plain{};
  plain.header.page = 2;
  plain.info = {8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(writePageInfo(stream_, &plain), 0);
  Jbig2SegHeader endOfPage{};
  endOfPage.page = 2;
  ASSERT_EQ(writeEndOfPage(stream_, &endOfPage), 0);
  Jbig2SegHeader endOfFile{};
  ASSERT_EQ(writeEndOfFile(stream_, &endOfFile), 0);

  const std::vector<uint8_t> bytes = this->bytes();
  const std::vector<uint8_t> expected = {
      // page information, segment 0, page 1: 640 x unknown, 11811 ppm, flags, stripes of 2199
      0, 0, 0, 0, 48, 0, 1, 0, 0, 0, 19, 0, 0, 2, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x2E, 0x23, 0,
      0, 0x2E, 0x23, 0x01 | 0x04 | 0x10 | 0x40, 0x88, 0x97,
      // end of stripe, segment 1: row 2198
      0, 0, 0, 1, 50, 0, 1, 0, 0, 0, 4, 0, 0, 0x08, 0x96,
      // page information, segment 2, page 2, unstriped
      0, 0, 0, 2, 48, 0, 2, 0, 0, 0, 19, 0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      // end of page (11 bytes) and end of file
      0, 0, 0, 3, 49, 0, 2, 0, 0, 0, 0, 0, 0, 0, 4, 51, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(parseAll(bytes).size(), 5u);
}

TEST_F(SegmentWriteTest, ValuesThatDoNotFitTheirFieldsAreRefusedBeforeWriting) {
  int32_t refs[] = {7};
  uint8_t retain[] = {0};
  struct Refusal {
    const char *name;
    int32_t (*write)(Jb2File *, int32_t *, uint8_t *);
  };
  const Refusal refusals[] = {
      {"referred-to number not below own",
       [](Jb2File *s, int32_t *r, uint8_t *k) {
         Jbig2SegHeader h{7, 0, 1, 1, r, k, 62, 0, 0};
         return writeSegmentHeader(s, &h);
       }},
      {"referred-to list missing",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2SegHeader h{8, 0, 1, 2, nullptr, nullptr, 62, 0, 0};
         return writeSegmentHeader(s, &h);
       }},
      {"type above 63",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2SegHeader h{8, 0, 1, 0, nullptr, nullptr, 64, 0, 0};
         return writeSegmentHeader(s, &h);
       }},
      {"negative page association",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2SegHeader h{8, 0, -1, 0, nullptr, nullptr, 62, 0, 0};
         return writeSegmentHeader(s, &h);
       }},
      {"combination operator 5",
       [](Jb2File *s, int32_t *, uint8_t *) {
         const Jbig2RegionInfo r{4, 4, 0, 0, 5};
         return writeRegionInfo(s, s->sink, &r);
       }},
      {"negative region position",
       [](Jb2File *s, int32_t *, uint8_t *) {
         const Jbig2RegionInfo r{4, 4, -1, 0, 0};
         return writeRegionInfo(s, s->sink, &r);
       }},
      {"page information without a page",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2PageRecord p{};
         return writePageInfo(s, &p);
       }},
      {"stripe size above 15 bits",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2PageRecord p{};
         p.header.page = 1;
         p.info.striped = 1;
         p.info.maxStripe = 0x8000;
         return writePageInfo(s, &p);
       }},
      {"default operator 4",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2PageRecord p{};
         p.header.page = 1;
         p.info.defaultOp = 4;
         return writePageInfo(s, &p);
       }},
      {"end of stripe without a page",
       [](Jb2File *s, int32_t *, uint8_t *) {
         Jbig2EndOfStripeRecord e{};
         return writeEndOfStripe(s, &e);
       }},
  };
  for (const Refusal &r : refusals) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.write(stream_, refs, retain), 10003);
  }
  EXPECT_TRUE(bytes().empty());
}

TEST_F(SegmentWriteTest, ReferencesGrowAndAreFreed) {
  Jbig2SegHeader tables[6]{};
  const Jbig2SegHeader *pointers[6];
  for (int i = 0; i < 6; ++i) tables[i].number = 10 + i, pointers[i] = &tables[i];
  Jbig2SegHeader h{20, 0, 1, 0, nullptr, nullptr, 62, 0, 0};
  ASSERT_EQ(segAddReferences(stream_, &h, pointers, 2), 0);
  ASSERT_EQ(segAddReferences(stream_, &h, pointers + 2, 4), 0);
  ASSERT_EQ(h.refCount, 6);
  EXPECT_EQ(std::vector<int32_t>(h.refs, h.refs + 6),
            (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(std::vector<uint8_t>(h.retain, h.retain + 6), std::vector<uint8_t>(6, 0));
  freeSegReferences(stream_, &h);
  EXPECT_EQ(h.refCount, 0);
}

// A blank 37 x 23 page with every header form around it: the fifteen standard tables as table
// segments, referred to by the page's end of stripe (a long referred-to list), and a page
// association that may need four bytes.
void writeBlankPage(Jb2File *stream, int32_t page) {
  Jbig2SegHeader tables[15]{};
  const Jbig2SegHeader *pointers[15];
  for (int i = 0; i < 15; ++i) {
    Jbig2TableSegment t{{}, standardTable(1 + i)};
    ASSERT_EQ(writeHuffTableSegment(stream, &t), 0);
    tables[i] = t.header;
    pointers[i] = &tables[i];
  }
  Jbig2PageRecord info{};
  info.header.page = page;
  info.info = {37, 23, 0, 0, 1, 0, 0, 0, 0, 0, 1, 23};
  ASSERT_EQ(writePageInfo(stream, &info), 0);
  Jbig2EndOfStripeRecord stripe{};
  stripe.header.page = page;
  stripe.endRow = 22;
  ASSERT_EQ(segAddReferences(stream, &stripe.header, pointers, 15), 0);
  const int32_t status = writeEndOfStripe(stream, &stripe);
  freeSegReferences(stream, &stripe.header);
  ASSERT_EQ(status, 0);
  Jbig2SegHeader end{};
  end.page = page;
  ASSERT_EQ(writeEndOfPage(stream, &end), 0);
  Jbig2SegHeader eof{};
  ASSERT_EQ(writeEndOfFile(stream, &eof), 0);
}

TEST_F(SegmentWriteTest, OutsideDecoderReadsABlankPageInEveryForm) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec not installed";
  for (const int32_t page : {1, 256}) {
    const std::vector<uint8_t> segments =
        writtenBy([&](Jb2File *stream) { writeBlankPage(stream, page); });
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(parseAll(segments).size(), 19u);
    for (const bool embedded : {true, false}) {
      SCOPED_TRACE(std::string(embedded ? "embedded" : "file") + ", page " + std::to_string(page));
      const jbtest::OutsideDecode d = jbtest::decodeWithJbig2dec(
          embedded ? segments : jbtest::withFileHeader(segments), embedded);
      EXPECT_EQ(d.run.status, 0) << d.run.text();
      EXPECT_EQ(d.run.text().find("WARNING"), std::string::npos) << d.run.text();
      ASSERT_EQ(d.page.kind, '4') << d.run.text();
      EXPECT_EQ(d.page.width, 37);
      EXPECT_EQ(d.page.height, 23);
      EXPECT_EQ(d.page.raster, std::vector<uint8_t>(d.page.raster.size(), 0));
    }
  }
}

TEST_F(SegmentWriteTest, AFailedGrowthKeepsTheReferencesThereWere) {
  Jbig2SegHeader tables[5]{};
  const Jbig2SegHeader *pointers[5];
  for (int i = 0; i < 5; ++i) tables[i].number = 10 + i, pointers[i] = &tables[i];
  Jbig2SegHeader h{20, 0, 1, 0, nullptr, nullptr, 62, 0, 0};
  ASSERT_EQ(segAddReferences(stream_, &h, pointers, 2), 0);
  for (long n = 1;; ++n) {
    SCOPED_TRACE(n);
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status = segAddReferences(stream_, &h, pointers + 2, 3);
    norvtest::heap.failAt = -1;
    if (status == 0) break;
    EXPECT_EQ(status, 1);
    ASSERT_EQ(h.refCount, 2);
    EXPECT_EQ(std::vector<int32_t>(h.refs, h.refs + 2), (std::vector<int32_t>{10, 11}));
  }
  EXPECT_EQ(std::vector<int32_t>(h.refs, h.refs + h.refCount),
            (std::vector<int32_t>{10, 11, 12, 13, 14}));
  freeSegReferences(stream_, &h);
}

}  // namespace
