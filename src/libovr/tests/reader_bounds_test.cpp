// Work and memory of the reader on hostile files, rebuilt here at the sizes they were found
// with: every page of a long chain is found by its index at once, a page or a chain that failed
// answers again without reading, records stay within a multiple of the file's size however the
// pages share their directories, and layouts the reader cannot give (separate sample planes)
// are refused as unsupported. Work is counted as the seeks the reader asks of its stream (every
// read of file structure seeks first), memory as the context's peak.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ovr_document.h"
#include "ovr_tags_internal.h"
#include "write_test_support.h"

namespace {

using ovr_test::MemoryStream;
using ovr_test::TestContext;

// A document being read from memory.
class ReadDocument {
 public:
  explicit ReadDocument(std::vector<uint8_t> bytes) {
    file.bytes = std::move(bytes);
    status = ovrOpenDocument(ctx.get(), &file, 0, MemoryStream::read, MemoryStream::write,
                             MemoryStream::seek, MemoryStream::seekEnd, MemoryStream::tell, &doc);
  }
  ~ReadDocument() {
    if (doc != nullptr) {
      EXPECT_EQ(ovrCloseDocument(doc), OVR_OK);
    }
  }
  ReadDocument(const ReadDocument &) = delete;
  ReadDocument &operator=(const ReadDocument &) = delete;

  int32_t info(uint16_t *pages) {
    uint8_t kind = 0, sub = 0;
    return ovrGetDocumentInfo(doc, &kind, &sub, pages);
  }
  int32_t page(int32_t index) {
    const uint32_t *counts = nullptr;
    uint32_t layers = 0;
    uint16_t attribute = 0;
    OvrPageHandle *handle = nullptr;
    return ovrGetPage(doc, index, &counts, &layers, &attribute, &handle);
  }
  int32_t globalData(uint32_t index) {
    uint8_t *data = nullptr;
    uint32_t length = 0, size = 0, entryLong = 0;
    uint16_t entryWord = 0;
    const int32_t status =
        ovrReadGlobalData(doc, index, &data, &length, &size, &entryWord, &entryLong);
    if (data != nullptr) {
      void *block = data;
      ovrFreeData(ctx.get(), &block);
    }
    return status;
  }
  uint64_t peak() { return ctx.get()->usage->peak; }

  TestContext ctx;
  MemoryStream file;
  OvrDocHandle *doc = nullptr;
  int32_t status = -1;
};

// Little-endian file bytes.
struct Writer {
  std::vector<uint8_t> b;
  void u16(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag);
    u16(type);
    u32(count);
    u32(value);
  }
  uint32_t at() const { return static_cast<uint32_t>(b.size()); }
  void header() {
    b = {'I', 'I'};
    u16(42);
    u32(8);
  }
};

// `pages` empty IFDs, 6 bytes each, chained; the last one's next offset is `lastNext`.
std::vector<uint8_t> emptyIfdChain(uint32_t pages, uint32_t lastNext = 0) {
  Writer w;
  w.header();
  for (uint32_t i = 0; i < pages; ++i) {
    w.u16(0);
    w.u32(i + 1 < pages ? w.at() + 4 : lastNext);
  }
  return w.b;
}

TEST(ReaderBounds, ListingAChainOfEmptyIfdsIsLinear) {
  constexpr uint32_t kPages = 65535;  // 393 KB
  ReadDocument d(emptyIfdChain(kPages));
  ASSERT_EQ(d.status, OVR_OK);
  uint16_t pages = 0;
  ASSERT_EQ(d.info(&pages), OVR_OK);
  ASSERT_EQ(pages, kPages);
  std::vector<int32_t> first(kPages);
  for (uint32_t i = 0; i < kPages; ++i) first[i] = d.page(static_cast<int32_t>(i));
  // A few reads per page, not a walk over the pages before it.
  EXPECT_LT(d.file.seeks, 16ull * kPages);
  // Pages are found again by index, loaded or failed, without reading.
  const uint64_t seeks = d.file.seeks;
  for (uint32_t i = 0; i < kPages; i += 7) EXPECT_EQ(d.page(static_cast<int32_t>(i)), first[i]);
  EXPECT_EQ(d.file.seeks, seeks);
  EXPECT_LT(d.peak(), 40ull * d.file.bytes.size() + (8u << 20));
}

// Pages whose SubIFDs all point at one shared chain of 1,023 stripes: the file is 1 MB, and
// every page that loads holds the whole chain in records.
std::vector<uint8_t> sharedStripeChain(uint32_t fileBytes, uint32_t *pagesOut) {
  constexpr uint32_t kStripes = 1023;
  Writer w;
  w.header();
  w.b.resize(8);
  const uint32_t chain = 8;
  for (uint32_t i = 0; i < kStripes; ++i) {
    w.u16(0);
    w.u32(i + 1 < kStripes ? w.at() + 4 : 0);
  }
  const uint32_t pages = (fileBytes - w.at()) / 18;
  const uint32_t first = w.at();
  for (uint32_t p = 0; p < pages; ++p) {
    w.u16(1);
    w.entry(330, 13, 1, chain);  // SubIFDs
    w.u32(p + 1 < pages ? w.at() + 4 : 0);
  }
  w.b[4] = static_cast<uint8_t>(first);
  w.b[5] = static_cast<uint8_t>(first >> 8);
  w.b[6] = static_cast<uint8_t>(first >> 16);
  w.b[7] = static_cast<uint8_t>(first >> 24);
  *pagesOut = pages;
  return w.b;
}

TEST(ReaderBounds, RecordsOfPagesSharingAChainStayNearTheFileSize) {
  uint32_t pages = 0;
  ReadDocument d(sharedStripeChain(1u << 20, &pages));
  ASSERT_EQ(d.status, OVR_OK);
  uint16_t count = 0;
  ASSERT_EQ(d.info(&count), OVR_OK);
  ASSERT_EQ(count, pages);
  int loaded = 0;
  for (uint32_t p = 0; p < pages; ++p) {
    const int32_t status = d.page(static_cast<int32_t>(p));
    EXPECT_TRUE(status == OVR_OK || status == OVR_ERR_CORRUPT) << status;
    loaded += status == OVR_OK;
  }
  EXPECT_GE(loaded, 2);
  // Memory within a small multiple of the file (it was 721 MB), work within a few reads per
  // stripe of the pages that loaded and per page.
  EXPECT_LT(d.peak(), 48ull << 20);
  EXPECT_LT(d.file.seeks, 4ull * (1024u * loaded + pages));
  // Failed pages answer again without reading.
  const uint64_t seeks = d.file.seeks;
  for (uint32_t p = 0; p < pages; p += 3) d.page(static_cast<int32_t>(p));
  EXPECT_EQ(d.file.seeks, seeks);
}

TEST(ReaderBounds, AFailedPageChainIsNotWalkedAgain) {
  ReadDocument d(emptyIfdChain(65536));  // one page too many
  ASSERT_EQ(d.status, OVR_OK);
  uint16_t pages = 0;
  EXPECT_EQ(d.info(&pages), OVR_ERR_UNSUPPORTED);
  const uint64_t seeks = d.file.seeks;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(d.info(&pages), OVR_ERR_UNSUPPORTED);
    EXPECT_EQ(d.globalData(0), OVR_ERR_UNSUPPORTED);
    EXPECT_EQ(d.page(0), OVR_ERR_UNSUPPORTED);
  }
  EXPECT_EQ(d.file.seeks, seeks);
}

// One page whose global data table chain is 100,000 empty tables ending in a loop.
TEST(ReaderBounds, AFailedGlobalTableChainIsNotWalkedAgain) {
  constexpr uint32_t kTables = 100000;
  Writer w;
  w.header();
  w.u16(1);
  const uint32_t tables = w.at() + 12 + 4;
  w.entry(34689, 4, 1, tables);
  w.u32(0);
  for (uint32_t i = 0; i < kTables; ++i) {
    w.u16(0);
    w.u32(i + 1 < kTables ? w.at() + 4 : tables + 6 * 500);  // the last loops back
  }
  ReadDocument d(w.b);
  ASSERT_EQ(d.status, OVR_OK);
  EXPECT_EQ(d.globalData(0), OVR_ERR_CORRUPT);
  const uint64_t seeks = d.file.seeks;
  for (int i = 0; i < 64; ++i) EXPECT_EQ(d.globalData(static_cast<uint32_t>(i)), OVR_ERR_CORRUPT);
  EXPECT_EQ(d.file.seeks, seeks);
}

// The format layer's entry reader on its own: 65,535 ImageDescription entries that each cover
// the whole 786 KB file are refused once their values pass the file's size, after one of them.
TEST(ReaderBounds, RepeatedValuesOfOneDirectoryAreBoundedByTheFile) {
  constexpr uint32_t kEntries = 65535;
  const uint32_t fileSize = 8 + 2 + 12 * kEntries + 4;
  Writer w;
  w.header();
  w.u16(kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) w.entry(270, 2, fileSize, 0);
  w.u32(0);
  ASSERT_EQ(w.b.size(), fileSize);
  MemoryStream memory;
  memory.bytes = w.b;
  OvrStream stream{&stream,
                   &memory,
                   MemoryStream::read,
                   MemoryStream::write,
                   MemoryStream::seek,
                   MemoryStream::seekEnd,
                   MemoryStream::tell,
                   0,
                   0,
                   nullptr};
  ovr::FileReader reader;
  reader.stream = &stream;
  reader.order = ovr::ByteOrder::Little;
  reader.size = fileSize;
  TestContext ctx;
  ovr::Directory dir(ctx.alloc());
  ovr::IfdLayout layout;
  EXPECT_EQ(ovr::readDirectory(reader, 8, dir, &layout), OVR_ERR_CORRUPT);
  EXPECT_LT(memory.seeks, 16u);
}

// tiffcp -c none -p separate of a 1000 x 700 RGB image with 2 rows per strip: 350 strips of
// each plane, 2,000 bytes each. Separate planes are not read as interleaved samples.
TEST(ReaderBounds, SeparateSamplePlanesAreUnsupported) {
  constexpr uint32_t kWidth = 1000, kHeight = 700, kRows = 2, kStrips = 3 * kHeight / kRows;
  Writer w;
  w.header();
  constexpr uint32_t kEntries = 9;
  const uint32_t values = 8 + 2 + 12 * kEntries + 4;
  const uint32_t bits = values, offsets = bits + 8, counts = offsets + 4 * kStrips;
  const uint32_t data = counts + 4 * kStrips;
  w.u16(kEntries);
  w.entry(256, 4, 1, kWidth);
  w.entry(257, 4, 1, kHeight);
  w.entry(258, 3, 3, bits);
  w.entry(259, 3, 1, 1);
  w.entry(262, 3, 1, 2);
  w.entry(273, 4, kStrips, offsets);
  w.entry(277, 3, 1, 3);
  w.entry(279, 4, kStrips, counts);
  w.entry(284, 3, 1, 2);
  w.u32(0);
  for (int i = 0; i < 4; ++i) w.u16(8);
  for (uint32_t s = 0; s < kStrips; ++s) w.u32(data + s * kWidth * kRows);
  for (uint32_t s = 0; s < kStrips; ++s) w.u32(kWidth * kRows);
  w.b.resize(data + kStrips * kWidth * kRows);
  ReadDocument d(w.b);
  ASSERT_EQ(d.status, OVR_OK);
  uint16_t pages = 0;
  ASSERT_EQ(d.info(&pages), OVR_OK);
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(d.page(0), OVR_ERR_UNSUPPORTED);
}

}  // namespace
