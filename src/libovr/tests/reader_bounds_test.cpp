// Work and memory of the reader on hostile files, rebuilt here at the sizes they were found
// with: every page of a long chain is found by its index at once, a page or a chain that failed
// answers again without reading, records stay within a multiple of the file's size however the
// pages share their directories, and layouts the reader cannot give (separate sample planes)
// are refused as unsupported. Work is counted as the seeks the reader asks of its stream (every
// read of file structure seeks first), memory as the context's peak.
#include <gtest/gtest.h>

#include <algorithm>
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

  // Every page, stripe and strip as a viewer reads them, with each stripe's global references;
  // returns the strip bytes handed out. refsFailures counts the stripes whose references fail.
  uint64_t walk() {
    uint16_t pages = 0;
    if (info(&pages) != OVR_OK) return 0;
    uint64_t handed = 0;
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0;
    for (int32_t p = 0; p < pages; ++p) {
      const uint32_t *counts = nullptr;
      uint32_t layers = 0;
      uint16_t attribute = 0;
      OvrPageHandle *page = nullptr;
      if (ovrGetPage(doc, p, &counts, &layers, &attribute, &page) != OVR_OK) continue;
      const std::vector<uint32_t> stripes(counts, counts + layers);
      for (uint32_t layer = 1; layer <= layers; ++layer) {
        for (uint32_t s = 0; s < stripes[layer - 1]; ++s) {
          uint32_t x, y, xRes, yRes, width, height, rows, bits, colour;
          OvrIfdHandle *ifd = nullptr;
          if (ovrGetStripeIfd(page, layer, s, &x, &y, &xRes, &yRes, &width, &height, &rows, &bits,
                              &colour, nullptr, &ifd) != OVR_OK)
            continue;
          ifds.push_back(ifd);
          uint64_t total = 0;
          uint32_t count = 0;
          const uint32_t *indices = nullptr, *sizes = nullptr;
          if (ovrGetStripGlobalRefs(ifd, &total, &count, &indices, &sizes) != OVR_OK)
            ++refsFailures;
          EXPECT_EQ(ovrBeginRead(ifd, 0), OVR_OK);
          for (uint32_t row = 0; row < height; row += rows) {
            uint32_t got = 0;
            if (ovrReadStrip(ifd, row, std::min(rows, height - row), &buffer, &capacity, &got) ==
                OVR_OK)
              handed += got;
          }
          EXPECT_EQ(ovrEndRead(ifd), OVR_OK);
        }
      }
    }
    if (buffer != nullptr) {
      void *block = buffer;
      ovrFreeData(ctx.get(), &block);
    }
    return handed;
  }
  uint64_t refsFailures = 0;
  std::vector<OvrIfdHandle *> ifds;  // every stripe walked

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
  void patch32(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
  };
  static uint32_t ifdSize(uint32_t entries) { return 2 + 12 * entries + 4; }
  // An IFD of entries (in ascending tag order) at the end of the file; returns its offset.
  uint32_t ifd(const std::vector<Entry> &entries, uint32_t next) {
    const uint32_t offset = at();
    u16(static_cast<uint32_t>(entries.size()));
    for (const Entry &e : entries) entry(e.tag, e.type, e.count, e.value);
    u32(next);
    return offset;
  }
};

// The entries of a one-pixel bilevel IFD with one strip of `bytes` bytes at `strip`, coded with
// `compression`, followed by `more`.
std::vector<Writer::Entry> onePixel(uint32_t compression, uint32_t strip, uint32_t bytes,
                                    std::vector<Writer::Entry> more = {}) {
  std::vector<Writer::Entry> e = {{256, 4, 1, 1},     {257, 4, 1, 1}, {259, 3, 1, compression},
                                  {273, 4, 1, strip}, {278, 4, 1, 1}, {279, 4, 1, bytes}};
  e.insert(e.end(), more.begin(), more.end());
  return e;
}

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

// An honest document of one-strip bilevel pages: walking it keeps every page loaded with its
// handles until the close, in about 1.2 KB a page (it took 2.4 KB while every IFD record held
// a 768-byte palette and an allocator in each of its twenty arrays).
TEST(ReaderBounds, LoadedPagesTakeLittleMemoryEach) {
  constexpr uint32_t kPages = 4000;
  Writer w;
  w.header();
  const uint32_t strip = w.at();
  w.u32(0);
  w.patch32(4, w.at());
  for (uint32_t p = 0; p < kPages; ++p) {
    const uint32_t next = p + 1 < kPages ? w.at() + Writer::ifdSize(7) : 0;
    w.ifd(onePixel(4, strip, 4, {{297, 3, 2, p}}), next);
  }
  ReadDocument d(w.b);
  ASSERT_EQ(d.status, OVR_OK);
  EXPECT_EQ(d.walk(), 4ull * kPages);
  EXPECT_EQ(d.ifds.size(), kPages);
  EXPECT_LT(d.peak(), 1300ull * kPages);
}

// 30 pages whose SubIFDs all lead to one chain of 1,023 stripes, and every strip of every IFD
// the same 940 KB at the end of a 1 MB file: walked in full, the reader handed out 19.5 GB.
TEST(ReaderBounds, StripBytesHandedOutStayNearTheFileSize) {
  constexpr uint32_t kFile = 1u << 20, kPages = 30, kStripes = 1023;
  const uint32_t chain = 8;
  const uint32_t data = chain + kStripes * Writer::ifdSize(6) + kPages * Writer::ifdSize(7);
  const uint32_t bytes = kFile - data;
  Writer w;
  w.header();
  for (uint32_t i = 0; i < kStripes; ++i)
    w.ifd(onePixel(1, data, bytes), i + 1 < kStripes ? w.at() + Writer::ifdSize(6) : 0);
  w.patch32(4, w.at());
  for (uint32_t p = 0; p < kPages; ++p)
    w.ifd(onePixel(1, data, bytes, {{330, 13, 1, chain}}),
          p + 1 < kPages ? w.at() + Writer::ifdSize(7) : 0);
  ASSERT_EQ(w.at(), data);
  w.b.resize(kFile);
  ReadDocument d(w.b);
  ASSERT_EQ(d.status, OVR_OK);
  const uint64_t handed = d.walk();
  EXPECT_GE(handed, bytes);  // strips were read
  EXPECT_LE(handed, 10ull * kFile);
  EXPECT_LE(d.file.readBytes, 16ull * kFile);
  EXPECT_LT(d.peak(), 40ull * kFile + (8u << 20));
}

// One page of 1,023 JBIG2 stripes (the primary and a chain of 1,022) that share one referring
// strip naming global data block 0, with 8 KB of coded data (more than the reader keeps of the
// file for small reads, so that each read of it shows as a seek). The global data table chain
// is 100,000 empty tables ending in a loop, or one table that locates block 0. The file is
// padded to 1 MB, whose strip budget lets every stripe hand out the shared strip.
constexpr uint32_t kCodedBytes = 8192;
std::vector<uint8_t> jbig2Stripes(bool loopingTables) {
  constexpr uint32_t kStripes = 1023, kTables = 100000;
  constexpr uint32_t kJbig2 = 34715, kStripBytes = 11 + kCodedBytes;
  Writer w;
  w.header();
  const uint32_t strip = w.at();
  w.b.insert(w.b.end(), {0, 1, 0, 0, 0, 0, 0});  // 1 index: 0
  w.u32(kCodedBytes);
  w.b.resize(strip + kStripBytes + 1);
  const uint32_t block = w.at();
  w.b.insert(w.b.end(), {0, 4, 0, 0, 0, 'j', 'b', '2', 'g', 0});
  const uint32_t tables = w.at();
  if (loopingTables) {
    for (uint32_t i = 0; i < kTables; ++i) {
      w.u16(0);
      w.u32(i + 1 < kTables ? w.at() + 4 : tables + 6 * 500);  // the last loops back
    }
  } else {
    w.u16(1);
    w.u32(9);  // block length, with its 5-byte header
    w.u32(block);
    w.u16(1);  // a global data block
    w.u16(0);
    w.u32(0);
    w.u32(0);
  }
  const uint32_t chain = w.at();
  for (uint32_t i = 1; i < kStripes; ++i)
    w.ifd(onePixel(kJbig2, strip, kStripBytes), i + 1 < kStripes ? w.at() + Writer::ifdSize(6) : 0);
  w.patch32(4, w.at());
  w.ifd(onePixel(kJbig2, strip, kStripBytes, {{330, 13, 1, chain}, {34689, 4, 1, tables}}), 0);
  w.b.resize(std::max<size_t>(w.b.size(), 1u << 20));
  return w.b;
}

// Each stripe's references are read from its first strip once and kept, or their failure
// given again at once: asking again reads nothing.
TEST(ReaderBounds, GlobalReferencesOfEachStripeAreReadOnce) {
  for (const bool looping : {false, true}) {
    SCOPED_TRACE(looping ? "looping table chain" : "one table");
    ReadDocument d(jbig2Stripes(looping));
    ASSERT_EQ(d.status, OVR_OK);
    d.walk();
    ASSERT_EQ(d.ifds.size(), 1023u);
    EXPECT_EQ(d.refsFailures, looping ? 1023u : 0u);
    // The looping chain is walked once: a few reads per stripe besides.
    EXPECT_LT(d.file.seeks, 1000u + 8u * 1023);
    const uint64_t seeks = d.file.seeks;
    for (OvrIfdHandle *ifd : d.ifds) {
      uint64_t total = 0;
      uint32_t count = 0;
      const uint32_t *indices = nullptr, *sizes = nullptr;
      const int32_t status = ovrGetStripGlobalRefs(ifd, &total, &count, &indices, &sizes);
      if (looping) {
        EXPECT_EQ(status, OVR_ERR_CORRUPT);
        continue;
      }
      ASSERT_EQ(status, OVR_OK);
      EXPECT_EQ(total, 11u + kCodedBytes);
      ASSERT_EQ(count, 1u);
      EXPECT_EQ(indices[0], 0u);
      EXPECT_EQ(sizes[0], 9u);
    }
    EXPECT_EQ(d.file.seeks, seeks);
  }
}

// 40,000 pages whose SubIFDs name one stripe with a value over half of the 1 MB file: it was
// read for every page (20 GB). Now the pages together read a small multiple of the file (each
// small read of structure fetches a block of up to 4 KB), and pages that fail answer again
// without reading.
TEST(ReaderBounds, PagesSharingALargeStripeReadTheFileAFewTimes) {
  constexpr uint32_t kFile = 1u << 20, kPages = 40000;
  Writer w;
  w.header();
  const uint32_t stripe = w.ifd({{270, 2, kFile / 2, 0}}, 0);
  w.patch32(4, w.at());
  for (uint32_t p = 0; p < kPages; ++p)
    w.ifd({{330, 13, 1, stripe}}, p + 1 < kPages ? w.at() + Writer::ifdSize(1) : 0);
  w.b.resize(kFile);
  ReadDocument d(w.b);
  ASSERT_EQ(d.status, OVR_OK);
  uint16_t pages = 0;
  ASSERT_EQ(d.info(&pages), OVR_OK);
  ASSERT_EQ(pages, kPages);
  std::vector<int32_t> first(kPages);
  for (uint32_t p = 0; p < kPages; ++p) first[p] = d.page(static_cast<int32_t>(p));
  EXPECT_LE(d.file.readBytes, 32ull * kFile);
  const uint64_t seeks = d.file.seeks;
  for (uint32_t p = 0; p < kPages; p += 5) EXPECT_EQ(d.page(static_cast<int32_t>(p)), first[p]);
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
