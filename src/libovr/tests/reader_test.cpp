// The reading interface over small hand-laid files: the page chain (loops, the 16-bit page
// count), page structure (SubIFDs, stripe chains, layers, repeated stripe keys, stripes that
// fail), stripe geometry and layer merging, resolutions, strip lookup by row and reading strips,
// the read state, JBIG2 references with the global data table chain, value getters and handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reader_test_support.h"

namespace {

using ovr::ByteOrder;
using ovr_test::kBlockRef;
using ovr_test::kIfdRef;
using ovr_test::layerEntry;
using ovr_test::LinkedFile;
using ovr_test::longEntry;
using ovr_test::longsEntry;
using ovr_test::rationalEntry;
using ovr_test::shortEntry;
using ovr_test::TestEntry;

// An image IFD of one sample per pixel; its strip is block `block` of `bytes` bytes.
std::vector<TestEntry> image(uint32_t width, uint32_t height, uint16_t bits, uint64_t block,
                             uint32_t bytes) {
  return {longEntry(256, width),
          longEntry(257, height),
          shortEntry(258, bits),
          shortEntry(259, 1),
          longEntry(273, kBlockRef + block),
          longEntry(279, bytes)};
}

// A file opened as a document.
class Opened {
 public:
  Opened(OvrIoContext *ctx, std::vector<uint8_t> bytes)
      : file_(std::move(bytes)), doc_(ctx, &file_.hooked()) {}
  OvrDocHandle *doc() const { return doc_.get(); }
  int32_t status() const { return doc_.status(); }

 private:
  ovr_test::MemoryFile file_;
  ovr_test::OpenDocument doc_;
};

struct Page {
  int32_t status = -1;
  OvrPageHandle *handle = nullptr;
  std::vector<uint32_t> counts;
  uint16_t attribute = 0;
};
Page getPage(OvrDocHandle *doc, int32_t index) {
  Page p;
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  p.status = ovrGetPage(doc, index, &counts, &layers, &p.attribute, &p.handle);
  if (counts != nullptr) p.counts.assign(counts, counts + layers);
  return p;
}

struct Stripe {
  int32_t status = -1;
  uint32_t x = 0, y = 0, xRes = 0, yRes = 0, width = 0, height = 0, rows = 0, bits = 0, kind = 0;
  OvrIfdHandle *ifd = nullptr;
};
Stripe getStripe(OvrPageHandle *page, uint32_t layer, uint32_t stripe) {
  Stripe s;
  s.status = ovrGetStripeIfd(page, layer, stripe, &s.x, &s.y, &s.xRes, &s.yRes, &s.width, &s.height,
                             &s.rows, &s.bits, &s.kind, nullptr, &s.ifd);
  return s;
}
Stripe getLayer(OvrPageHandle *page, uint32_t layer) {
  Stripe s;
  s.status = ovrGetLayerInfo(page, layer, &s.x, &s.y, &s.xRes, &s.yRes, &s.width, &s.height,
                             &s.bits, &s.kind, nullptr, &s.ifd);
  return s;
}

uint16_t pageCount(OvrDocHandle *doc, int32_t *status) {
  uint8_t kind = 0, sub = 0;
  uint16_t pages = 0;
  *status = ovrGetDocumentInfo(doc, &kind, &sub, &pages);
  return pages;
}

class Reader : public testing::Test {
 protected:
  ovr_test::TestContext ctx_;
};

// ---- page chain ----

TEST_F(Reader, PageChainsThatLoopAreCorrupt) {
  const std::vector<std::vector<int>> loops = {{0}, {1, 0}, {1, 2, 3, 1}};
  for (const auto &next : loops) {
    LinkedFile f;
    for (size_t i = 0; i < next.size(); ++i) f.ifds.push_back(image(8, 8, 1, 0, 8));
    f.next = next;
    f.blocks = {std::vector<uint8_t>(8)};
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
    ASSERT_EQ(file.status(), OVR_OK);
    int32_t status = 0;
    EXPECT_EQ(pageCount(file.doc(), &status), 0);
    EXPECT_EQ(status, OVR_ERR_CORRUPT) << "loop of " << next.size();
    EXPECT_EQ(getPage(file.doc(), 0).status, OVR_ERR_CORRUPT);
  }
}

// A chain of empty IFDs, 8 bytes apart; the last one's next offset is `lastNext`.
std::vector<uint8_t> emptyChain(uint32_t pages, uint32_t lastNext) {
  ovr_test::Bytes b(ByteOrder::Little);
  b.raw({'I', 'I'});
  b.u16(42);
  b.u32(8);
  for (uint32_t i = 0; i < pages; ++i) {
    b.u16(0);
    b.u32(i + 1 < pages ? 8 + 8 * (i + 1) : lastNext);
    b.u16(0);
  }
  return b.data();
}

TEST_F(Reader, PageCountIsBoundedBySixteenBits) {
  struct Case {
    uint32_t pages;
    uint32_t lastNext;
    int32_t status;
    uint16_t count;
  };
  const Case cases[] = {
      {65535, 0, OVR_OK, 65535},                 // the largest count
      {65536, 0, OVR_ERR_UNSUPPORTED, 0},        // refused, not cut to 16 bits
      {65535, 8 + 8 * 100, OVR_ERR_CORRUPT, 0},  // a loop that starts late is still a loop
  };
  for (const Case &c : cases) {
    Opened file(ctx_.get(), emptyChain(c.pages, c.lastNext));
    int32_t status = 0;
    EXPECT_EQ(pageCount(file.doc(), &status), c.count) << c.pages;
    EXPECT_EQ(status, c.status) << c.pages;
  }
}

TEST_F(Reader, PagesByIndexAndLastPage) {
  LinkedFile f;
  for (uint32_t w : {10u, 20u, 30u}) f.ifds.push_back(image(w, 4, 1, 0, 4));
  f.next = {1, 2, -1};
  f.blocks = {std::vector<uint8_t>(4)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
  int32_t status = 0;
  EXPECT_EQ(pageCount(file.doc(), &status), 3);
  const Page last = getPage(file.doc(), -1);
  ASSERT_EQ(last.status, OVR_OK);
  EXPECT_EQ(getStripe(last.handle, 2, 0).width, 30u);
  EXPECT_EQ(getPage(file.doc(), 2).handle, last.handle) << "one handle per page";
  EXPECT_EQ(getStripe(getPage(file.doc(), 1).handle, 2, 0).width, 20u);
  EXPECT_EQ(getPage(file.doc(), 3).status, OVR_ERR_PARAM);
  EXPECT_EQ(getPage(file.doc(), -2).status, OVR_ERR_PARAM);
}

TEST_F(Reader, StreamsThatAreNotTiffGiveNoDocument) {
  for (const std::string text : {"", "P4\n8 2\n\377\000", "II\x2b\0\x08\0\0\0"}) {
    Opened file(ctx_.get(), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(file.status(), OVR_OK);
    EXPECT_EQ(file.doc(), nullptr);
  }
}

// ---- page structure ----

// An MRC page at 300 dpi: a grey background primary 2000 x 100 (IFD 0) with SubIFDs slot 0 the
// mask (IFD 1, layer 2) and slot 1 the first foreground stripe (IFD 2, layer 3, x 0, width
// 1000), whose next IFD is the second foreground stripe (IFD 3, x 1000, width 500).
LinkedFile mrcPage() {
  LinkedFile f;
  auto primary = image(2000, 100, 8, 0, 16);
  primary.push_back({330, ovr::kTypeIfd, 2, {kIfdRef + 1, kIfdRef + 2}});
  auto mask = image(2000, 100, 1, 1, 16);
  mask.push_back(layerEntry(2, 1));
  auto fg1 = image(1000, 40, 8, 2, 16);
  fg1.push_back(layerEntry(3, 1));
  auto fg2 = image(500, 40, 8, 3, 16);
  fg2.push_back(layerEntry(3, 2));
  fg2.push_back(rationalEntry(286, 1000, 300));
  fg2.push_back(rationalEntry(287, 30, 300));
  f.ifds = {primary, mask, fg1, fg2};
  f.next = {-1, -1, 3, -1};
  for (uint8_t i = 0; i < 4; ++i) f.blocks.push_back(std::vector<uint8_t>(16, i));
  return f;
}

TEST_F(Reader, MrcPageLayersStripesAndMerge) {
  // The primary's resolution as given, and as 0 (which reads as 300 before anything divides).
  for (const bool zeroResolution : {false, true}) {
    SCOPED_TRACE(zeroResolution ? "primary resolution 0" : "primary resolution 300");
    LinkedFile f = mrcPage();
    if (zeroResolution) {
      f.ifds[0].push_back(rationalEntry(282, 0, 1));
      f.ifds[0].push_back(rationalEntry(283, 300, 0));
    }
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Big, f));
    const Page page = getPage(file.doc(), 0);
    ASSERT_EQ(page.status, OVR_OK);
    EXPECT_EQ(page.counts, (std::vector<uint32_t>{1, 1, 2}));
    const Stripe mask = getStripe(page.handle, 2, 0);
    EXPECT_EQ(mask.kind, 1u);
    const Stripe second = getStripe(page.handle, 3, 1);
    ASSERT_EQ(second.status, OVR_OK);
    EXPECT_EQ(second.x, 1000u);
    EXPECT_EQ(second.y, 30u);
    EXPECT_EQ(getStripe(page.handle, 3, 2).status, OVR_ERR_PARAM);
    EXPECT_EQ(getStripe(page.handle, 4, 0).status, OVR_ERR_PARAM);
    EXPECT_EQ(getStripe(page.handle, 3, 1).ifd, second.ifd) << "one handle per IFD";
    const Stripe merged = getLayer(page.handle, 3);
    ASSERT_EQ(merged.status, OVR_OK);
    EXPECT_EQ(merged.x, 0u);
    EXPECT_EQ(merged.width, 1500u);
    EXPECT_EQ(merged.y, 0u);
    EXPECT_EQ(merged.height, 70u);
    EXPECT_EQ(merged.ifd, getStripe(page.handle, 3, 0).ifd);
  }
}

TEST_F(Reader, StripeIfdsThatFailAreLeftOut) {
  struct Case {
    const char *what;
    void (*spoil)(LinkedFile &);
    std::vector<uint32_t> counts;
  };
  const Case cases[] = {
      {"strip tables disagree",
       [](LinkedFile &f) {
         f.ifds[3].push_back(longsEntry(279, {8, 8}));
       },
       {1, 1, 1}},
      {"layer 4", [](LinkedFile &f) { f.ifds[3].push_back(layerEntry(4, 1)); }, {1, 1, 1}},
      {"colour on the mask layer",
       [](LinkedFile &f) { f.ifds[3].push_back(layerEntry(2, 2)); },
       {1, 1, 1}},
      {"a coding the library refuses",
       [](LinkedFile &f) {
         f.ifds[3].push_back({531, ovr::kTypeShort, 1, {2}});
       },
       {1, 1, 1}},
  };
  for (const Case &c : cases) {
    LinkedFile f = mrcPage();
    c.spoil(f);
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
    const Page page = getPage(file.doc(), 0);
    ASSERT_EQ(page.status, OVR_OK) << c.what;
    EXPECT_EQ(page.counts, c.counts) << c.what;
  }
  // A stripe chain leading out of the file ends there.
  LinkedFile f = mrcPage();
  std::vector<uint32_t> at;
  std::vector<uint8_t> bytes = ovr_test::buildLinked(ByteOrder::Little, f, &at);
  ovr_test::Bytes patched(ByteOrder::Little);
  patched.raw(bytes);
  patched.patch32(at[2] + 2 + 12 * f.ifds[2].size(), 0x7ffffff0);
  Opened file(ctx_.get(), patched.data());
  EXPECT_EQ(getPage(file.doc(), 0).counts, (std::vector<uint32_t>{1, 1, 1}));
}

TEST_F(Reader, CorruptPageStructures) {
  struct Case {
    const char *what;
    void (*spoil)(LinkedFile &);
  };
  const Case cases[] = {
      {"primary on layer 5", [](LinkedFile &f) { f.ifds[0].push_back(layerEntry(5, 1)); }},
      {"stripe chain loops", [](LinkedFile &f) { f.next[3] = 2; }},
      {"stripe loops to itself", [](LinkedFile &f) { f.next[3] = 3; }},
      {"slots share an IFD",
       [](LinkedFile &f) {
         f.ifds[0].back().units = {kIfdRef + 2, kIfdRef + 2};
       }},
      {"SubIFDs point at the primary", [](LinkedFile &f) { f.ifds[0].back().units[0] = kIfdRef; }},
  };
  for (const Case &c : cases) {
    LinkedFile f = mrcPage();
    c.spoil(f);
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
    EXPECT_EQ(getPage(file.doc(), 0).status, OVR_ERR_CORRUPT) << c.what;
  }
}

// Pages whose SubIFDs all lead into one long stripe chain: each page alone stays within the
// file's size, but the pages together would hold the chain once per page. The document-wide
// bound stops that after a few pages; a page it stops is corrupt.
TEST_F(Reader, PagesSharingOneStripeChainAreBoundedTogether) {
  constexpr int kPages = 12, kStripes = 300;
  LinkedFile f;
  for (int p = 0; p < kPages; ++p) {
    auto primary = image(2000, 100, 8, 0, 16);
    primary.push_back({330, ovr::kTypeIfd, 1, {kIfdRef + kPages}});
    f.ifds.push_back(primary);
    f.next.push_back(p + 1 < kPages ? p + 1 : -1);
  }
  for (int i = 0; i < kStripes; ++i) {
    auto mask = image(2000, 100, 1, 0, 16);
    mask.push_back(layerEntry(2, 1));
    f.ifds.push_back(mask);
    f.next.push_back(i + 1 < kStripes ? kPages + i + 1 : -1);
  }
  f.blocks = {std::vector<uint8_t>(16)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
  int32_t status = 0;
  ASSERT_EQ(pageCount(file.doc(), &status), kPages);
  int loaded = 0;
  for (int p = 0; p < kPages; ++p) {
    const Page page = getPage(file.doc(), p);
    if (page.status != OVR_OK) {
      EXPECT_EQ(page.status, OVR_ERR_CORRUPT) << "page " << p;
      continue;
    }
    EXPECT_EQ(page.counts, (std::vector<uint32_t>{1, kStripes})) << "page " << p;
    ++loaded;
  }
  EXPECT_GE(loaded, 2);
  EXPECT_LT(loaded, kPages);
}

TEST_F(Reader, StripesOfALayerAreOrderedAndRepeatsGoLast) {
  LinkedFile f;
  auto primary = image(1000, 100, 8, 0, 4);
  primary.push_back({330, ovr::kTypeLong, 2, {0, kIfdRef + 1}});
  f.ifds = {primary};
  const uint32_t widths[] = {100, 200, 300};
  const uint32_t orders[] = {2, 1, 1};
  for (int i = 0; i < 3; ++i) {
    auto fg = image(widths[i], 10, 8, 0, 4);
    fg.push_back(layerEntry(3, orders[i]));
    f.ifds.push_back(fg);
  }
  f.next = {-1, 2, 3, -1};
  f.blocks = {std::vector<uint8_t>(4)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
  const Page page = getPage(file.doc(), 0);
  ASSERT_EQ(page.counts, (std::vector<uint32_t>{1, 0, 3}));
  EXPECT_EQ(getStripe(page.handle, 3, 0).width, 200u);
  EXPECT_EQ(getStripe(page.handle, 3, 1).width, 100u);
  EXPECT_EQ(getStripe(page.handle, 3, 2).width, 300u);
  EXPECT_EQ(getLayer(page.handle, 2).status, OVR_ERR_PARAM) << "a layer without stripes";
}

TEST_F(Reader, StripesMustLieInsideThePrimary) {
  struct Case {
    uint32_t x;  // pixels of the primary's 300 dpi grid
    uint32_t res;
    uint32_t width;
    int32_t status;
  };
  const Case cases[] = {
      {50, 300, 50, OVR_OK},          {50, 300, 51, OVR_ERR_CORRUPT}, {50, 150, 25, OVR_OK},
      {50, 150, 26, OVR_ERR_CORRUPT}, {100, 300, 1, OVR_ERR_CORRUPT}, {0, 600, 200, OVR_OK},
  };
  for (const Case &c : cases) {
    LinkedFile f;
    auto primary = image(100, 100, 8, 0, 4);
    primary.push_back({330, ovr::kTypeLong, 2, {0, kIfdRef + 1}});
    auto fg = image(c.width, 10, 8, 0, 4);
    fg.push_back(layerEntry(3, 1));
    fg.push_back(rationalEntry(282, c.res, 1));
    fg.push_back(rationalEntry(283, c.res, 1));
    fg.push_back(rationalEntry(286, c.x, 300));
    f.ifds = {primary, fg};
    f.blocks = {std::vector<uint8_t>(4)};
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
    const Page page = getPage(file.doc(), 0);
    EXPECT_EQ(getStripe(page.handle, 3, 0).status, c.status)
        << "x " << c.x << " at " << c.res << " dpi, width " << c.width;
  }
}

TEST_F(Reader, ResolutionsInDotsPerInch) {
  struct Case {
    uint32_t num, den;
    uint16_t unit;
    uint32_t dpi;
  };
  const Case cases[] = {
      {200, 1, 2, 200}, {401, 2, 2, 201}, {0, 1, 2, 300},    {300, 0, 2, 300},
      {100, 1, 3, 254}, {118, 1, 3, 300}, {472, 10, 3, 120}, {1, 10, 3, 300},
  };
  for (const Case &c : cases) {
    LinkedFile f;
    auto ifd = image(8, 8, 1, 0, 4);
    ifd.push_back(rationalEntry(282, c.num, c.den));
    ifd.push_back(rationalEntry(283, c.num, c.den));
    ifd.push_back(shortEntry(296, c.unit));
    f.ifds = {ifd};
    f.blocks = {std::vector<uint8_t>(4)};
    Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
    const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
    EXPECT_EQ(s.xRes, c.dpi) << c.num << "/" << c.den << " unit " << c.unit;
    EXPECT_EQ(s.yRes, c.dpi);
  }
}

// ---- strips ----

// A bilevel IFD of height 32 with `extra` entries and three strips of 10, 4 and 12 bytes.
std::vector<uint8_t> threeStrips(std::vector<TestEntry> extra,
                                 std::vector<std::vector<uint8_t>> *data) {
  LinkedFile f;
  std::vector<TestEntry> ifd = {longEntry(256, 16),
                                longEntry(257, 32),
                                shortEntry(258, 1),
                                shortEntry(259, 1),
                                longsEntry(273, {kBlockRef, kBlockRef + 1, kBlockRef + 2}),
                                longsEntry(279, {10, 4, 12})};
  ifd.insert(ifd.end(), extra.begin(), extra.end());
  f.ifds = {ifd};
  for (uint8_t i = 0; i < 3; ++i) {
    std::vector<uint8_t> block(i == 0 ? 10 : i == 1 ? 4 : 12);
    for (size_t k = 0; k < block.size(); ++k) block[k] = static_cast<uint8_t>(16 * i + k);
    f.blocks.push_back(block);
  }
  *data = f.blocks;
  return ovr_test::buildLinked(ByteOrder::Little, f);
}

uint32_t byteCount(OvrIfdHandle *ifd, uint32_t row, int32_t *status) {
  uint32_t bytes = 99;
  *status = ovrGetStripByteCount(ifd, row, &bytes);
  return bytes;
}

TEST_F(Reader, StripLookupByRow) {
  std::vector<std::vector<uint8_t>> data;
  struct Row {
    uint32_t row;
    int32_t status;
    size_t strip = 0;  // when found
  };
  struct Case {
    const char *what;
    std::vector<TestEntry> extra;
    uint32_t rowsPerStrip;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      {"fixed heights",
       {longEntry(278, 11)},
       11,
       {{0, OVR_OK, 0}, {11, OVR_OK, 1}, {22, OVR_OK, 2}, {5, OVR_ERR_PARAM}, {32, OVR_ERR_PARAM}}},
      {"tables too short for the image",
       {longEntry(278, 8)},
       8,
       {{16, OVR_OK, 2}, {24, OVR_ERR_CORRUPT}, {4, OVR_ERR_PARAM}}},
      {"varying heights",
       {longsEntry(559, {5, 20, 7})},
       0,
       {{0, OVR_OK, 0}, {5, OVR_OK, 1}, {25, OVR_OK, 2}, {3, OVR_ERR_PARAM}, {30, OVR_ERR_PARAM}}},
      {"varying heights with a strip of no rows",
       {longsEntry(559, {5, 0, 27})},
       0,
       {{0, OVR_OK, 0}, {5, OVR_OK, 1}, {6, OVR_ERR_PARAM}}},
  };
  for (const Case &c : cases) {
    Opened file(ctx_.get(), threeStrips(c.extra, &data));
    const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
    ASSERT_EQ(s.status, OVR_OK) << c.what;
    EXPECT_EQ(s.rows, c.rowsPerStrip) << c.what;
    for (const Row &r : c.rows) {
      int32_t status = 0;
      const uint32_t bytes = byteCount(s.ifd, r.row, &status);
      EXPECT_EQ(status, r.status) << c.what << ", row " << r.row;
      if (r.status == OVR_OK) {
        EXPECT_EQ(bytes, data[r.strip].size()) << c.what << ", row " << r.row;
      }
    }
  }
}

TEST_F(Reader, RowsPerStripZeroWithoutRowCountsIsOneStrip) {
  LinkedFile f;
  auto ifd = image(16, 32, 1, 0, 20);
  ifd.push_back(longEntry(278, 0));
  f.ifds = {ifd};
  f.blocks = {std::vector<uint8_t>(20)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
  const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
  ASSERT_EQ(s.status, OVR_OK);
  EXPECT_EQ(s.rows, 32u);
  int32_t status = 0;
  EXPECT_EQ(byteCount(s.ifd, 0, &status), 20u);
  EXPECT_EQ(status, OVR_OK);
}

TEST_F(Reader, ReadStripBuffersAndRowCounts) {
  std::vector<std::vector<uint8_t>> data;
  Opened file(ctx_.get(), threeStrips({longsEntry(559, {5, 20, 7})}, &data));
  const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0, got = 0;
  EXPECT_EQ(ovrReadStrip(s.ifd, 0, 5, &buffer, &capacity, &got), OVR_ERR_SEQUENCE);
  ASSERT_EQ(ovrBeginRead(s.ifd, 0), OVR_OK);
  EXPECT_EQ(ovrBeginRead(s.ifd, 0), OVR_ERR_SEQUENCE);
  ASSERT_EQ(ovrReadStrip(s.ifd, 0, 5, &buffer, &capacity, &got), OVR_OK);
  EXPECT_EQ(capacity, 10u) << "exactly the strip's byte count";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + got), data[0]);
  uint8_t *const first = buffer;
  ASSERT_EQ(ovrReadStrip(s.ifd, 5, 20, &buffer, &capacity, &got), OVR_OK);
  EXPECT_EQ(buffer, first) << "a smaller strip keeps the buffer";
  EXPECT_EQ(capacity, 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + got), data[1]);
  ASSERT_EQ(ovrReadStrip(s.ifd, 25, 7, &buffer, &capacity, &got), OVR_OK);
  EXPECT_EQ(capacity, 12u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + got), data[2]);
  EXPECT_EQ(ovrReadStrip(s.ifd, 25, 6, &buffer, &capacity, &got), OVR_ERR_PARAM);
  EXPECT_EQ(ovrReadStrip(s.ifd, 3, 2, &buffer, &capacity, &got), OVR_ERR_PARAM);
  EXPECT_EQ(ovrEndRead(s.ifd), OVR_OK);
  EXPECT_EQ(ovrEndRead(s.ifd), OVR_ERR_SEQUENCE);
  void *block = buffer;
  EXPECT_EQ(ovrFreeData(ctx_.get(), &block), OVR_OK);
}

TEST_F(Reader, FillOrderTwoStripsAreNotRead) {
  std::vector<std::vector<uint8_t>> data;
  Opened file(ctx_.get(), threeStrips({longEntry(278, 11), shortEntry(266, 2)}, &data));
  const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
  ASSERT_EQ(ovrBeginRead(s.ifd, 0), OVR_OK);
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0, got = 0;
  EXPECT_EQ(ovrReadStrip(s.ifd, 0, 11, &buffer, &capacity, &got), OVR_ERR_UNSUPPORTED);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(ovrEndRead(s.ifd), OVR_OK);
}

// ---- JBIG2 references and global data ----

// A mask page coded with JBIG2 whose referring strip names global data indices 1 and 0, with a
// global parameters IFD and a chain of two global data tables of one entry each (EmptyBetween: with
// a table of no entries between them, which takes no index).
struct JbigFile {
  std::vector<uint8_t> bytes;
  uint32_t stripBytes = 0;
};
enum class TableCase { Chain, EmptyBetween, Loop, ZeroOffset, NoTable };

JbigFile jbigFile(TableCase tables) {
  ovr_test::Bytes strip(ByteOrder::Little);
  strip.u8(0);
  strip.u16(2);
  strip.u32(1);
  strip.u32(0);
  strip.u32(3);
  strip.raw({20, 21, 22, 30, 31});  // 3 bytes of coded data, 2 tail bytes
  LinkedFile f;
  auto mask = image(64, 32, 1, 0, static_cast<uint32_t>(strip.size()));
  mask[3] = shortEntry(259, 34715);
  mask.push_back(longEntry(34690, 0x40));
  mask.push_back({400, ovr::kTypeIfd, 1, {kIfdRef + 1}});
  std::vector<TestEntry> global = {longEntry(34687, 20)};
  if (tables != TableCase::NoTable)
    global.push_back(longEntry(34689, tables == TableCase::ZeroOffset ? 0 : kBlockRef + 1));
  f.ifds = {mask, global};
  f.blocks = {strip.data(),
              std::vector<uint8_t>(22),
              std::vector<uint8_t>(22),
              std::vector<uint8_t>(9),
              std::vector<uint8_t>(12),
              std::vector<uint8_t>(6)};
  std::vector<uint32_t> at;
  JbigFile out;
  out.bytes = ovr_test::buildLinked(ByteOrder::Little, f, nullptr, &at);
  out.stripBytes = static_cast<uint32_t>(strip.size());
  // Tables at blocks 1 and 2 (and the empty one at 5), data blocks 3 (L 2 of 4 bytes) and 4 (L 7
  // of 7 bytes).
  auto put = [&](uint32_t offset, const std::vector<uint8_t> &b) {
    std::memcpy(out.bytes.data() + offset, b.data(), b.size());
  };
  auto table = [&](uint32_t length, uint32_t block, uint16_t word, uint32_t extra, uint32_t next) {
    ovr_test::Bytes t(ByteOrder::Little);
    t.u16(1);
    t.u32(length);
    t.u32(block);
    t.u16(1);
    t.u16(word);
    t.u32(extra);
    t.u32(next);
    return t.data();
  };
  put(at[1], table(9, at[3], 5, 6, tables == TableCase::EmptyBetween ? at[5] : at[2]));
  put(at[5], {0, 0, 0, 0, 0, 0});  // no entries, then the next table's offset
  ovr::store32(out.bytes.data() + at[5] + 2, at[2], ByteOrder::Little);
  put(at[2], table(12, at[4], 0, 0, tables == TableCase::Loop ? at[1] : 0));
  put(at[3], {0, 2, 0, 0, 0, 0xa0, 0xa1, 0xee, 0xee});
  put(at[4], {0, 7, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7});
  return out;
}

void checkJbigReferences(OvrIoContext *ctx, const JbigFile &jf) {
  Opened file(ctx, jf.bytes);
  const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
  ASSERT_EQ(s.status, OVR_OK);
  EXPECT_EQ(s.bits, 1024u);
  EXPECT_EQ(s.rows, 32u);
  uint64_t total = 0;
  uint32_t count = 0;
  const uint32_t *indices = nullptr, *sizes = nullptr;
  ASSERT_EQ(ovrGetStripGlobalRefs(s.ifd, &total, &count, &indices, &sizes), OVR_OK);
  EXPECT_EQ(total, jf.stripBytes);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(std::vector<uint32_t>(indices, indices + 2), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(std::vector<uint32_t>(sizes, sizes + 2), (std::vector<uint32_t>{12, 9}));

  ASSERT_EQ(ovrBeginRead(s.ifd, 0), OVR_OK);
  uint8_t *strip = nullptr;
  uint32_t capacity = 0, got = 0;
  ASSERT_EQ(ovrReadStrip(s.ifd, 0, 32, &strip, &capacity, &got), OVR_OK);
  uint32_t n = 0, payloadSize = 0;
  uint32_t *named = nullptr;
  const uint8_t *payload = nullptr;
  ASSERT_EQ(ovrParseStripHeader(s.ifd, strip, got, &n, &named, &payload, &payloadSize), OVR_OK);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(named[0], 1u);
  EXPECT_EQ(named[1], 0u);
  EXPECT_EQ(std::vector<uint8_t>(payload, payload + payloadSize),
            (std::vector<uint8_t>{20, 21, 22}));
  void *block = named;
  EXPECT_EQ(ovrFreeData(ctx, &block), OVR_OK);
  block = strip;
  EXPECT_EQ(ovrFreeData(ctx, &block), OVR_OK);
  EXPECT_EQ(ovrEndRead(s.ifd), OVR_OK);

  struct Block {
    uint32_t index;
    std::vector<uint8_t> data;
    uint32_t length;
    uint16_t word;
    uint32_t extra;
  };
  const Block blocks[] = {{0, {0xa0, 0xa1, 0xee, 0xee}, 2, 5, 6},
                          {1, {1, 2, 3, 4, 5, 6, 7}, 7, 0, 0}};
  for (const Block &b : blocks) {
    uint8_t *data = nullptr;
    uint32_t length = 0, size = 0, extra = 0;
    uint16_t word = 0;
    ASSERT_EQ(ovrReadGlobalData(file.doc(), b.index, &data, &length, &size, &word, &extra), OVR_OK);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), b.data);
    EXPECT_EQ(length, b.length);
    EXPECT_EQ(word, b.word);
    EXPECT_EQ(extra, b.extra);
    block = data;
    EXPECT_EQ(ovrFreeData(ctx, &block), OVR_OK);
  }
  uint8_t *data = nullptr;
  uint32_t length = 0, size = 0, extra = 0;
  uint16_t word = 0;
  EXPECT_EQ(ovrReadGlobalData(file.doc(), 2, &data, &length, &size, &word, &extra),
            OVR_ERR_CORRUPT);
}

TEST_F(Reader, JbigStripReferencesAndGlobalData) {
  for (TableCase tables : {TableCase::Chain, TableCase::EmptyBetween}) {
    SCOPED_TRACE(static_cast<int>(tables));
    checkJbigReferences(ctx_.get(), jbigFile(tables));
  }
}

TEST_F(Reader, GlobalDataTableFaults) {
  const std::pair<TableCase, int32_t> cases[] = {{TableCase::Loop, OVR_ERR_CORRUPT},
                                                 {TableCase::ZeroOffset, OVR_ERR_SEQUENCE},
                                                 {TableCase::NoTable, OVR_ERR_CORRUPT}};
  for (const auto &[table, expected] : cases) {
    Opened file(ctx_.get(), jbigFile(table).bytes);
    uint8_t *data = nullptr;
    uint32_t length = 0, size = 0, extra = 0;
    uint16_t word = 0;
    EXPECT_EQ(ovrReadGlobalData(file.doc(), 0, &data, &length, &size, &word, &extra), expected);
    EXPECT_EQ(data, nullptr);
    const Stripe s = getStripe(getPage(file.doc(), 0).handle, 2, 0);
    uint64_t total = 0;
    uint32_t count = 0;
    const uint32_t *indices = nullptr, *sizes = nullptr;
    EXPECT_EQ(ovrGetStripGlobalRefs(s.ifd, &total, &count, &indices, &sizes), expected);
  }
}

// ---- values and handles ----

TEST_F(Reader, IfdValueGetters) {
  LinkedFile f;
  auto ifd = image(8, 8, 1, 0, 4);
  ifd.push_back(shortEntry(262, 1));
  ifd.push_back({433, ovr::kTypeSRational, 2, {0xffffffff, 1, 1, 1}});
  ifd.push_back(longEntry(34690, 0x44));
  f.ifds = {ifd, image(8, 8, 1, 0, 4)};
  f.next = {1, -1};
  f.blocks = {std::vector<uint8_t>(4)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Big, f));
  for (int page = 0; page < 2; ++page) {
    const Stripe s = getStripe(getPage(file.doc(), page).handle, 2, 0);
    const bool present = page == 0;
    uint16_t photometric = 9;
    int32_t has = -1;
    EXPECT_EQ(ovrGetPhotometric(s.ifd, &photometric, &has), OVR_OK);
    EXPECT_EQ(has, present ? 1 : 0);
    EXPECT_EQ(photometric, present ? 1 : 0);
    const int32_t *decode = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(ovrGetDecode(s.ifd, &decode, &count, &has), OVR_OK);
    ASSERT_EQ(count, present ? 2u : 0u);
    if (present) {
      EXPECT_EQ(std::vector<int32_t>(decode, decode + 4), (std::vector<int32_t>{-1, 1, 1, 1}));
    }
    uint32_t options = 9;
    EXPECT_EQ(ovrGetCodingOptions(s.ifd, &options, &has), OVR_OK);
    EXPECT_EQ(options, present ? 0x44u : 0u);
  }
}

TEST_F(Reader, HandlesAreValidated) {
  LinkedFile f;
  f.ifds = {image(8, 8, 1, 0, 4)};
  f.blocks = {std::vector<uint8_t>(4)};
  Opened file(ctx_.get(), ovr_test::buildLinked(ByteOrder::Little, f));
  const Page page = getPage(file.doc(), 0);
  const Stripe s = getStripe(page.handle, 2, 0);
  // An engine record where a handle belongs, and no handle at all.
  auto *engineDoc = reinterpret_cast<OvrDocHandle *>(file.doc()->doc);
  EXPECT_EQ(getPage(engineDoc, 0).status, OVR_ERR_MAGIC);
  EXPECT_EQ(getPage(nullptr, 0).status, OVR_ERR_PARAM);
  EXPECT_EQ(ovrBeginRead(reinterpret_cast<OvrIfdHandle *>(s.ifd->ifd), 0), OVR_ERR_MAGIC);
  EXPECT_EQ(ovrBeginRead(nullptr, 0), OVR_ERR_PARAM);
  // A document of a kind the engine does not handle: its values are absent, its calls refused.
  file.doc()->kind = 3;
  uint16_t photometric = 0;
  int32_t has = -1;
  EXPECT_EQ(ovrGetPhotometric(s.ifd, &photometric, &has), OVR_OK);
  EXPECT_EQ(has, 0);
  EXPECT_EQ(getStripe(page.handle, 2, 0).status, OVR_ERR_UNSUPPORTED);
  file.doc()->kind = 11;
}

}  // namespace
