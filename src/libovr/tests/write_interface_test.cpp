// The writing calls: their order and argument rules, what the directories they write hold, how
// IFDs are linked (page chain, layer chains, SubIFDs), strip tables, global data, referring
// strips and tail-strip IFDs, checked on the written bytes through the format layer's decoders.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "ovr_shared_data_internal.h"
#include "ovr_vocab_internal.h"
#include "ovr_writer_internal.h"
#include "write_test_support.h"

namespace {

using ovr_test::FileView;
using ovr_test::WrittenDocument;
namespace tag = ovr::tag;

constexpr uint32_t kWidth = 2592;  // a page width of the 300 dpi row of the profiles' tables

class WriteInterface : public testing::Test {
 protected:
  explicit WriteInterface(uint32_t kind = 13) : w_(kind) {}
  void SetUp() override { ASSERT_EQ(w_.status, OVR_OK); }

  OvrPageHandle *addPage(int32_t index = -1) {
    OvrPageHandle *page = nullptr;
    EXPECT_EQ(ovrAddPage(w_.doc, index, &page), OVR_OK);
    return page;
  }
  OvrIfdHandle *addIfd(OvrPageHandle *page, uint32_t layer, uint32_t kind, uint32_t height,
                       uint32_t rowsPerStrip = 0, uint32_t x = 0, uint32_t y = 0,
                       uint32_t width = kWidth, const uint8_t *palette = nullptr) {
    OvrIfdHandle *ifd = nullptr;
    EXPECT_EQ(ovrAddIfd(page, layer, kind, x, y, 300, 300, width, height,
                        rowsPerStrip == 0 ? height : rowsPerStrip, palette, &ifd),
              OVR_OK);
    return ifd;
  }
  int32_t code(OvrIfdHandle *ifd, uint32_t bits, uint32_t quality = 0, uint32_t space = 8) {
    return ovrSetCoding(ifd, 0, &bits, &quality, &space);
  }
  int32_t strip(OvrIfdHandle *ifd, uint32_t first, uint32_t rows, const std::vector<uint8_t> &d) {
    size_t written = 0;
    const int32_t status = ovrWriteStrip(ifd, first, rows, d.data(), d.size(), &written);
    EXPECT_EQ(written, status == OVR_OK ? d.size() : 0);
    return status;
  }
  // A page with a one-strip MMR mask of the given height written; returns the mask.
  OvrIfdHandle *maskPage(uint32_t height, const std::vector<uint8_t> &data = {1, 2, 3, 4}) {
    OvrIfdHandle *mask = addIfd(addPage(), 2, 1, height);
    EXPECT_EQ(code(mask, ovr::bits::kMMR), OVR_OK);
    EXPECT_EQ(strip(mask, 0, height, data), OVR_OK);
    return mask;
  }
  // The IFD's offset in the file (handles go with the close: take offsets before it).
  static uint32_t offsetOf(OvrIfdHandle *ifd) { return static_cast<uint32_t>(ifd->ifd->offset); }

  WrittenDocument w_;
};

TEST_F(WriteInterface, AddPageIndices) {
  addPage();
  addPage();
  OvrPageHandle *page = nullptr;
  for (int32_t bad : {5, 3, -2}) EXPECT_EQ(ovrAddPage(w_.doc, bad, &page), OVR_ERR_PARAM) << bad;
  EXPECT_EQ(page, nullptr);
  EXPECT_EQ(ovrAddPage(w_.doc, 2, &page), OVR_OK);
  EXPECT_EQ(ovrAddPage(w_.doc, 0, &page), OVR_OK);
  EXPECT_EQ(w_.engine()->pageCount, 4u);
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(w_.engine()->pages[i]->index, i);
  EXPECT_EQ(w_.engine()->pages[0], page->page);
}

// A page inserted before pages already written is linked between them: the previous page's
// primary IFD points at it and it points at the page that moved up.
TEST_F(WriteInterface, InsertedPageJoinsTheChain) {
  maskPage(10);
  maskPage(30);
  OvrIfdHandle *inserted = addIfd(addPage(1), 2, 1, 20);
  ASSERT_EQ(code(inserted, ovr::bits::kMMR), OVR_OK);
  ASSERT_EQ(strip(inserted, 0, 20, {5}), OVR_OK);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  std::vector<uint32_t> heights;
  std::vector<uint32_t> pageNumbers;
  for (uint32_t at = view.firstIfd(); at != 0 && heights.size() < 4;) {
    ovr::IfdLayout layout;
    auto d = view.dir(at, &layout);
    heights.push_back(d->height);
    pageNumbers.push_back(d->pageNumber[0]);
    at = layout.next;
  }
  EXPECT_EQ(heights, (std::vector<uint32_t>{10, 20, 30}));
  EXPECT_EQ(pageNumbers[1], 1u);
}

// Pages inserted before pages already written move them up: at close every page carries its
// final index as PageNumber, in the order of the page chain.
TEST_F(WriteInterface, PageNumbersFollowTheFinalOrder) {
  std::vector<uint32_t> expected;  // heights in final page order
  for (const auto &[index, height] :
       std::vector<std::pair<int32_t, uint32_t>>{{0, 10}, {0, 20}, {2, 30}, {2, 40}}) {
    OvrIfdHandle *mask = addIfd(addPage(index), 2, 1, height);
    ASSERT_EQ(code(mask, ovr::bits::kMMR), OVR_OK);
    ASSERT_EQ(strip(mask, 0, height, {7}), OVR_OK);
    expected.insert(expected.begin() + index, height);
  }
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  std::vector<uint32_t> heights, pageNumbers;
  for (uint32_t at = view.firstIfd(); at != 0 && heights.size() < 5;) {
    ovr::IfdLayout layout;
    auto d = view.dir(at, &layout);
    heights.push_back(d->height);
    pageNumbers.push_back(d->pageNumber[0]);
    EXPECT_EQ(d->pageNumber[1], 0u);
    at = layout.next;
  }
  EXPECT_EQ(heights, expected);
  EXPECT_EQ(pageNumbers, (std::vector<uint32_t>{0, 1, 2, 3}));
}

TEST_F(WriteInterface, OrderRules) {
  OvrPageHandle *page = addPage();
  OvrIfdHandle *ifd = nullptr;
  EXPECT_EQ(ovrAddIfd(page, 3, 7, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &ifd),
            OVR_ERR_SEQUENCE);  // a first IFD on layer 3
  EXPECT_EQ(ovrAddIfd(page, 2, 1, 0, 0, 300, 300, 0, 10, 10, nullptr, &ifd), OVR_ERR_PARAM);
  OvrIfdHandle *mask = addIfd(page, 2, 1, 10);
  for (uint32_t layer : {0u, 4u}) {
    EXPECT_EQ(ovrAddIfd(page, layer, 7, 0, 0, 300, 300, 100, 10, 10, nullptr, &ifd), OVR_ERR_PARAM);
  }
  const uint32_t indices[1] = {0};
  EXPECT_EQ(strip(mask, 0, 10, {1}), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrWriteReferringStrip(mask, "x", 1, indices, 1), OVR_ERR_INTERNAL);
  EXPECT_EQ(ovrEndIfd(mask), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrSetCompressionTag(mask, 70000), OVR_ERR_PARAM);
  EXPECT_EQ(ovrSetCompressionTag(mask, 34715), OVR_OK);
  ASSERT_EQ(code(mask, ovr::bits::kJbig2), OVR_OK);
  EXPECT_EQ(code(mask, ovr::bits::kJbig2), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrSetCompressionTag(mask, 34715), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrWriteReferringStrip(mask, "x", 1, nullptr, 1), OVR_ERR_PARAM);
  ASSERT_EQ(ovrWriteReferringStrip(mask, "x", 1, indices, 0), OVR_OK);
  ASSERT_EQ(ovrEndIfd(mask), OVR_OK);
  EXPECT_EQ(ovrEndIfd(mask), OVR_ERR_SEQUENCE);
  EXPECT_EQ(strip(mask, 0, 10, {1}), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrWriteReferringStrip(mask, "x", 1, indices, 1), OVR_ERR_SEQUENCE);
  ASSERT_EQ(ovrEndPage(page), OVR_OK);
  EXPECT_EQ(ovrEndPage(page), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrAddIfd(page, 3, 7, 0, 0, 300, 300, 100, 10, 10, nullptr, &ifd), OVR_ERR_SEQUENCE);

  // The primary IFD of a page after one whose primary IFD is not coded: refused before anything
  // is written.
  OvrIfdHandle *uncoded = addIfd(addPage(), 2, 1, 10);
  OvrIfdHandle *third = addIfd(addPage(), 2, 1, 10);
  const std::vector<uint8_t> before = w_.file.bytes;
  EXPECT_EQ(code(third, ovr::bits::kMMR), OVR_ERR_SEQUENCE);
  EXPECT_EQ(w_.file.bytes, before);
  EXPECT_EQ(code(uncoded, ovr::bits::kMMR), OVR_OK);
  EXPECT_EQ(code(third, ovr::bits::kMMR), OVR_OK);
}

TEST(WriteDocument, KindsAndArguments) {
  ovr_test::TestContext ctx;
  ovr_test::MemoryStream file;
  using M = ovr_test::MemoryStream;
  const std::pair<uint32_t, int32_t> kinds[] = {{0, OVR_ERR_PARAM},
                                                {3, OVR_ERR_UNSUPPORTED},
                                                {8, OVR_ERR_PARAM},
                                                {14, OVR_ERR_PARAM},
                                                {19, OVR_ERR_PARAM}};
  for (auto [kind, expected] : kinds) {
    OvrDocHandle *doc = reinterpret_cast<OvrDocHandle *>(&file);
    EXPECT_EQ(ovrCreateDocument(ctx.get(), kind, &file, 0, 0, M::read, M::write, M::seek,
                                M::seekEnd, M::tell, &doc),
              expected)
        << kind;
    EXPECT_EQ(doc, nullptr);
  }
  EXPECT_TRUE(file.bytes.empty());
  // A header that cannot be written makes no document.
  file.writeBudget = 5;
  OvrDocHandle *doc = nullptr;
  EXPECT_EQ(ovrCreateDocument(ctx.get(), 13, &file, 0, 0, M::read, M::write, M::seek, M::seekEnd,
                              M::tell, &doc),
            OVR_ERR_WRITE);
  EXPECT_EQ(doc, nullptr);
  EXPECT_EQ(ovrAddPage(nullptr, -1, nullptr), OVR_ERR_PARAM);
}

// A document opened for reading takes no writing call.
TEST(WriteDocument, ReadingDocumentRefusesWrites) {
  WrittenDocument w;
  OvrPageHandle *page = nullptr;
  ASSERT_EQ(ovrAddPage(w.doc, -1, &page), OVR_OK);
  ASSERT_EQ(w.close(), OVR_OK);
  ovr_test::MemoryFile file(w.file.bytes);
  ovr_test::TestContext ctx;
  OvrDocHandle *doc = nullptr;
  ASSERT_EQ(ovrOpenDocument(ctx.get(), &file.hooked(), 0, fileHookRead, fileHookWrite, fileHookSeek,
                            fileHookSeekEnd, fileHookTell, &doc),
            OVR_OK);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(ovrAddPage(doc, -1, &page), OVR_ERR_SEQUENCE);
  uint32_t index = 0;
  EXPECT_EQ(ovrAddGlobalData(doc, "x", 1, 1, &index), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrCloseDocument(doc), OVR_OK);
}

// Profile code 7 (kind 12) has one IFD per page.
TEST(WriteDocument, OneIfdPerPageOutsideTheMrcProfiles) {
  WrittenDocument w(12);
  ASSERT_EQ(w.status, OVR_OK);
  OvrPageHandle *page = nullptr;
  OvrIfdHandle *ifd = nullptr;
  ASSERT_EQ(ovrAddPage(w.doc, -1, &page), OVR_OK);
  ASSERT_EQ(ovrAddIfd(page, 2, 1, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &ifd), OVR_OK);
  EXPECT_EQ(ovrAddIfd(page, 3, 1, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &ifd), OVR_ERR_PARAM);
}

struct QualityCase {
  uint32_t colourKind;
  uint32_t bits;
  uint32_t quality;
  uint32_t bitsTaken;
  uint32_t qualityTaken;
};

TEST_F(WriteInterface, CodingTakesTheProfilesCompressionAndQualityDefaults) {
  const QualityCase cases[] = {
      {7, ovr::bits::kJpeg, 0, ovr::bits::kJpeg, 75},
      {7, ovr::bits::kJpeg, 250, ovr::bits::kJpeg, 100},
      {7, ovr::bits::kJpeg, 100, ovr::bits::kJpeg, 100},
      {7, ovr::bits::kJpeg, 1, ovr::bits::kJpeg, 1},
      {7, ovr::bits::kMMR, 0, ovr::bits::kJpeg, 75},
      {1, ovr::bits::kJpeg, 50, ovr::bits::kMMR, 0},
      {1, ovr::bits::kJbig2, 50, ovr::bits::kJbig2, 0},
  };
  maskPage(100);
  OvrPageHandle *page = w_.doc->pages;
  for (const QualityCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.colourKind << " " << c.bits << " " << c.quality);
    OvrIfdHandle *ifd = addIfd(page, c.colourKind == 1 ? 2 : 3, c.colourKind, 100, 0, 0, 0, 500);
    uint32_t bits = c.bits;
    uint32_t quality = c.quality;
    const uint32_t space = 8;
    ASSERT_EQ(ovrSetCoding(ifd, 0, &bits, &quality, &space), OVR_OK);
    EXPECT_EQ(bits, c.bitsTaken);
    EXPECT_EQ(quality, c.qualityTaken);
  }
}

struct RowCase {
  uint32_t first;
  uint32_t rows;
  int32_t status;
};

// Fixed strip heights (64 rows of 200): a strip must start at a multiple of 64 and hold
// min(64, 200 - first) rows inside the image; strips past the tables' end are refused rather than
// patched past them. Each written strip's offset and byte count land in its element.
TEST_F(WriteInterface, FixedStripRowsAndTables) {
  OvrIfdHandle *ifd = addIfd(addPage(), 2, 1, 200, 64);
  ASSERT_EQ(code(ifd, ovr::bits::kMMR), OVR_OK);
  const RowCase cases[] = {
      {0, 50, OVR_ERR_PARAM},    {0, 64, OVR_OK},          {64, 64, OVR_OK},
      {192, 8, OVR_OK},          {200, 1, OVR_ERR_PARAM},  {192, 16, OVR_ERR_PARAM},
      {32, 64, OVR_ERR_PARAM},   {128, 72, OVR_ERR_PARAM}, {256, 8, OVR_ERR_PARAM},
      {1024, 64, OVR_ERR_PARAM}, {64, 0, OVR_ERR_PARAM},   {UINT32_MAX - 63, 64, OVR_ERR_PARAM},
  };
  for (const RowCase &c : cases) {
    const std::vector<uint8_t> data(c.first % 7 + 1, static_cast<uint8_t>(c.first + 1));
    EXPECT_EQ(strip(ifd, c.first, c.rows, data), c.status) << c.first << " " << c.rows;
  }
  ASSERT_EQ(ovrEndIfd(ifd), OVR_OK);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  auto d = view.dir(view.firstIfd());
  ASSERT_EQ(d->stripOffsets.size(), 4u);
  ASSERT_EQ(d->stripByteCounts.size(), 4u);
  EXPECT_EQ(d->rowsPerStrip, 64u);
  for (uint32_t i : {0u, 1u, 3u}) {
    const uint32_t first = 64 * i;
    EXPECT_EQ(d->stripByteCounts[i], first % 7 + 1);
    EXPECT_EQ(d->stripOffsets[i] % 4, 0u);
    EXPECT_EQ(w_.file.bytes[d->stripOffsets[i]], static_cast<uint8_t>(first + 1));
  }
  EXPECT_EQ(d->stripOffsets[2], 0u);
  EXPECT_EQ(d->stripByteCounts[2], 0u);
}

// A one-strip IFD keeps its strip's offset and byte count inside the table entries.
TEST_F(WriteInterface, OneStripLiesInsideTheEntries) {
  const uint32_t mask = offsetOf(maskPage(40, {1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  const ovr::IfdEntry offsets = view.find(mask, tag::kStripOffsets);
  const ovr::IfdEntry counts = view.find(mask, tag::kStripByteCounts);
  ASSERT_EQ(offsets.count, 1u);
  const uint32_t at = ovr::load32(offsets.field, ovr::ByteOrder::Little);
  EXPECT_EQ(ovr::load32(counts.field, ovr::ByteOrder::Little), 6u);
  EXPECT_EQ(view.bytes(at, 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

// After an odd-length strip the next directory, strip and global data block each start at the
// next multiple of 4, the gap filled with zero bytes.
TEST_F(WriteInterface, OddLengthsArePaddedToFour) {
  const std::vector<uint8_t> odd = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  OvrIfdHandle *mask = maskPage(40, odd);
  const uint32_t stripAt = mask->ifd->dir.stripOffsets[0];
  OvrIfdHandle *colour = addIfd(w_.doc->pages, 3, 7, 40, 0, 0, 0, 100);
  ASSERT_EQ(code(colour, ovr::bits::kJpeg), OVR_OK);
  ASSERT_EQ(strip(colour, 0, 40, {0xB1, 0xB2, 0xB3}), OVR_OK);
  const uint32_t colourStripAt = colour->ifd->dir.stripOffsets[0];
  const uint32_t colourDir = offsetOf(colour);
  uint32_t index = 0;
  ASSERT_EQ(ovrAddGlobalData(w_.doc, "abcdefg", 7, 7, &index), OVR_OK);
  const uint64_t entryAt = ovr::globalEntryPos(w_.engine()->globalTables[0].offset, 0);
  ASSERT_EQ(w_.close(), OVR_OK);
  const auto &bytes = w_.file.bytes;
  const uint32_t blockAt = FileView(bytes).u32(entryAt + 4);
  // The colour IFD's directory follows the mask strip (the mask's own directory and values come
  // before it).
  EXPECT_EQ(colourDir, stripAt + 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + stripAt, bytes.begin() + colourDir),
            (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0, 0}));
  for (uint32_t at : {colourDir, colourStripAt, blockAt}) EXPECT_EQ(at % 4, 0u) << at;
  EXPECT_EQ(bytes[colourStripAt + 3], 0);  // the strip after an odd strip's padding
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + blockAt, bytes.begin() + blockAt + 12),
            (std::vector<uint8_t>{0, 7, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g'}));
}

// A mask on layer 2 with two colour stripes on layer 3: the primary's SubIFDs grows to two slots,
// slot 1 points at the first colour stripe, whose next-IFD offset points at the second.
TEST_F(WriteInterface, SubIfdsGrowToTwoSlots) {
  const uint32_t mask = offsetOf(maskPage(100));
  OvrIfdHandle *topIfd = addIfd(w_.doc->pages, 3, 7, 50, 0, 0, 0, 400);
  OvrIfdHandle *bottomIfd = addIfd(w_.doc->pages, 3, 7, 50, 0, 0, 50, 400);
  ASSERT_EQ(code(topIfd, ovr::bits::kJpeg), OVR_OK);
  ASSERT_EQ(code(bottomIfd, ovr::bits::kJpeg), OVR_OK);
  const uint32_t top = offsetOf(topIfd), bottom = offsetOf(bottomIfd);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  auto primary = view.dir(mask);
  ASSERT_EQ(primary->subIfds.size(), 2u);
  EXPECT_EQ(primary->subIfds[0], 0u);
  EXPECT_EQ(primary->subIfds[1], top);
  ovr::IfdLayout layout;
  auto first = view.dir(top, &layout);
  EXPECT_EQ(layout.next, bottom);
  auto second = view.dir(bottom, &layout);
  EXPECT_EQ(layout.next, 0u);
  EXPECT_EQ(first->imageLayer[0], 3u);
  EXPECT_EQ(first->imageLayer[1], 1u);
  EXPECT_EQ(second->imageLayer[1], 2u);
  EXPECT_EQ(second->yPosition.num, 50u);
  EXPECT_EQ(second->yPosition.den, 300u);
}

// Layers 1 and 2 share SubIFDs slot 0. With a background primary IFD, the mask takes the slot;
// a second background stripe is appended to the chain that starts there instead of replacing it.
TEST_F(WriteInterface, SharedSlotKeepsEveryStripeReachable) {
  OvrPageHandle *page = addPage();
  OvrIfdHandle *background = addIfd(page, 1, 7, 100, 0, 0, 0, kWidth);
  ASSERT_EQ(code(background, ovr::bits::kJpeg), OVR_OK);
  OvrIfdHandle *mask = addIfd(page, 2, 1, 100, 0, 0, 0, kWidth);
  ASSERT_EQ(code(mask, ovr::bits::kMMR), OVR_OK);
  OvrIfdHandle *more = addIfd(page, 1, 7, 50, 0, 0, 50, 600);
  ASSERT_EQ(code(more, ovr::bits::kJpeg), OVR_OK);
  OvrIfdHandle *mask2 = addIfd(page, 2, 1, 50, 0, 0, 50, 600);
  ASSERT_EQ(code(mask2, ovr::bits::kMMR), OVR_OK);
  const std::vector<uint32_t> expected = {offsetOf(mask), offsetOf(more), offsetOf(mask2)};
  const uint32_t backgroundAt = offsetOf(background);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  auto primary = view.dir(backgroundAt);
  ASSERT_EQ(primary->subIfds.size(), 1u);
  std::vector<uint32_t> chain;
  for (uint32_t at = primary->subIfds[0]; at != 0 && chain.size() < 4;) {
    chain.push_back(at);
    ovr::IfdLayout layout;
    view.dir(at, &layout);
    at = layout.next;
  }
  EXPECT_EQ(chain, expected);
}

// Global data blocks: {0, length, the stored bytes} at 4-aligned offsets, each with a one-entry
// table chained from the global parameters IFD's 34689 value; indices count over the chain.
TEST_F(WriteInterface, GlobalDataBlocksAndTheirTableChain) {
  uint32_t index = 99;
  EXPECT_EQ(ovrAddGlobalData(w_.doc, "x", 1, 1, &index), OVR_ERR_INTERNAL);  // no table offset yet
  const uint32_t mask = offsetOf(maskPage(10));
  EXPECT_EQ(ovrAddGlobalData(w_.doc, "0123456789", 10, 8, &index), OVR_ERR_PARAM);
  EXPECT_EQ(ovrAddGlobalData(w_.doc, nullptr, 0, 4, &index), OVR_ERR_PARAM);
  const std::vector<std::string> blocks = {"first", "second block", ""};
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::string stored = blocks[i] + "~~~";  // filler beyond the length
    ASSERT_EQ(ovrAddGlobalData(w_.doc, stored.data(), blocks[i].size(), stored.size(), &index),
              OVR_OK);
    EXPECT_EQ(index, i);
  }
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  auto primary = view.dir(mask);
  auto global = view.dir(primary->globalParametersIfd);
  uint64_t table = global->globalTableOffset;
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    ovr::GlobalTable t;
    ASSERT_EQ(ovr::readGlobalTable(view.reader(), table, &t), OVR_OK);
    EXPECT_EQ(table % 4, 0u);
    EXPECT_EQ(t.count, 1u);
    ovr::GlobalEntry e;
    ASSERT_EQ(ovr::readGlobalEntry(view.reader(), t, 0, &e), OVR_OK);
    EXPECT_EQ(e.blockLength, blocks[i].size() + 3 + 5);
    EXPECT_EQ(e.kind, 1u);
    EXPECT_EQ(e.word, 0u);
    EXPECT_EQ(e.extra, 0u);
    EXPECT_EQ(e.blockOffset % 4, 0u);
    ovr::GlobalBlock b;
    ASSERT_EQ(ovr::locateGlobalBlock(view.reader(), e, &b), OVR_OK);
    EXPECT_EQ(b.length, blocks[i].size());
    const std::vector<uint8_t> stored = view.bytes(b.dataOffset, b.storedSize);
    EXPECT_EQ(std::string(stored.begin(), stored.end()), blocks[i] + "~~~");
    table = t.next;
  }
  EXPECT_EQ(table, 0u);
}

// The MRC profile without a global data table (code 6, kind 11) has nowhere to put a block.
TEST(WriteDocument, NoGlobalDataWithoutTableOffset) {
  WrittenDocument w(11);
  OvrPageHandle *page = nullptr;
  OvrIfdHandle *ifd = nullptr;
  ASSERT_EQ(ovrAddPage(w.doc, -1, &page), OVR_OK);
  ASSERT_EQ(ovrAddIfd(page, 2, 1, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &ifd), OVR_OK);
  uint32_t bits = ovr::bits::kMMR, quality = 0;
  const uint32_t space = 0;
  ASSERT_EQ(ovrSetCoding(ifd, 0, &bits, &quality, &space), OVR_OK);
  const std::vector<uint8_t> before = w.file.bytes;
  uint32_t index = 0;
  EXPECT_EQ(ovrAddGlobalData(w.doc, "x", 1, 1, &index), OVR_ERR_INTERNAL);
  EXPECT_EQ(w.file.bytes, before);
}

// Referring strips: u8 0, u16 count, the indices, u32 length, the data; at most 65,535 indices.
TEST_F(WriteInterface, ReferringStripHeader) {
  OvrIfdHandle *mask = addIfd(addPage(), 2, 1, 10);
  ASSERT_EQ(code(mask, ovr::bits::kJbig2), OVR_OK);
  std::vector<uint32_t> indices(65536);
  std::iota(indices.begin(), indices.end(), 0x01020304);
  EXPECT_EQ(ovrWriteReferringStrip(mask, "data", 4, indices.data(), 65536), OVR_ERR_PARAM);
  ASSERT_EQ(ovrWriteReferringStrip(mask, "data", 4, indices.data(), 65535), OVR_OK);
  const uint32_t maskAt = offsetOf(mask);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  auto d = view.dir(maskAt);
  ASSERT_EQ(d->stripByteCounts[0], 7u + 4 * 65535 + 4);
  const std::vector<uint8_t> s = view.bytes(d->stripOffsets[0], d->stripByteCounts[0]);
  ovr::ReferringStrip r;
  ASSERT_EQ(ovr::parseReferringStrip(s.data(), s.size(), ovr::ByteOrder::Little, 0, &r), OVR_OK);
  EXPECT_TRUE(r.formA);
  EXPECT_EQ(r.count, 65535u);
  EXPECT_EQ(ovr::referringIndex(r, ovr::ByteOrder::Little, 65534), indices[65534]);
  EXPECT_EQ(std::string(r.payload, r.payload + r.payloadSize), "data");
}

// A tail-strip IFD shares a referring strip: the new IFD on the next layer points at the whole
// strip, the source's strip is cut to its header and the first `offset` coded bytes (which may
// not run past the coded data), the header's length follows, and the source's coding options
// get 0x20 while the tail's (an odd layer) allow tail bytes.
TEST_F(WriteInterface, TailStripIfdSharesTheReferringStrip) {
  OvrIfdHandle *mask = addIfd(addPage(), 2, 1, 10);
  ASSERT_EQ(ovrSetCompressionTag(mask, 34715), OVR_OK);
  ASSERT_EQ(code(mask, ovr::bits::kJbig2), OVR_OK);
  const uint32_t indices[2] = {0, 1};
  const std::string data = "MASKDATA+colour";
  OvrIfdHandle *tail = nullptr;
  EXPECT_EQ(ovrAddTailStripIfd(mask, 8, 7, &tail), OVR_ERR_SEQUENCE);  // no strip yet
  ASSERT_EQ(ovrWriteReferringStrip(mask, data.data(), data.size(), indices, 2), OVR_OK);
  EXPECT_EQ(ovrAddTailStripIfd(mask, 16, 7, &tail), OVR_ERR_PARAM);     // past the coded data
  EXPECT_EQ(ovrAddTailStripIfd(mask, 8, 11, &tail), OVR_ERR_SEQUENCE);  // no such samples
  ASSERT_EQ(ovrAddTailStripIfd(mask, 8, 7, &tail), OVR_OK);
  OvrIfdHandle *second = nullptr;
  EXPECT_EQ(ovrAddTailStripIfd(mask, 8, 7, &second), OVR_ERR_SEQUENCE);  // already shared
  ASSERT_EQ(ovrEndIfd(mask), OVR_OK);
  const uint32_t maskAt = offsetOf(mask), tailAt = offsetOf(tail);
  ASSERT_EQ(w_.close(), OVR_OK);

  FileView view(w_.file.bytes);
  auto source = view.dir(maskAt);
  auto shared = view.dir(tailAt);
  const uint32_t header = 7 + 4 * 2;
  EXPECT_EQ(source->stripByteCounts[0], header + 8);
  EXPECT_EQ(shared->stripOffsets[0], source->stripOffsets[0]);
  EXPECT_EQ(shared->stripByteCounts[0], header + data.size());
  EXPECT_EQ(source->codingOptions, ovr::kOptionSharedTailStrip);
  EXPECT_EQ(shared->codingOptions, ovr::kOptionTailBytes);
  EXPECT_EQ(shared->compression, ovr::kCompressionJbig2Private);
  EXPECT_EQ(shared->imageLayer[0], 3u);
  EXPECT_EQ(shared->imageLayer[1], 1u);
  EXPECT_EQ(shared->samplesPerPixel, 3u);
  EXPECT_EQ(source->subIfds.size(), 2u);
  EXPECT_EQ(source->subIfds[1], tailAt);
  // Both IFDs' strips parse to the mask data; the tail's leaves the colour bytes after it.
  const std::vector<uint8_t> whole =
      view.bytes(shared->stripOffsets[0], shared->stripByteCounts[0]);
  for (auto [size, options] :
       {std::pair<uint64_t, uint32_t>{source->stripByteCounts[0], 0x20}, {whole.size(), 0x40}}) {
    ovr::ReferringStrip r;
    ASSERT_EQ(ovr::parseReferringStrip(whole.data(), size, ovr::ByteOrder::Little, options, &r),
              OVR_OK);
    EXPECT_TRUE(r.formA);
    EXPECT_EQ(std::string(r.payload, r.payload + r.payloadSize), "MASKDATA");
    EXPECT_EQ(std::string(r.payload + r.payloadSize, whole.data() + size),
              size == whole.size() ? "+colour" : "");
  }
}

TEST_F(WriteInterface, TailStripIfdNeedsAReferringStrip) {
  OvrIfdHandle *colour = addIfd(maskPage(10)->owner, 3, 7, 10, 0, 0, 0, 100);
  ASSERT_EQ(code(colour, ovr::bits::kJpeg), OVR_OK);
  ASSERT_EQ(strip(colour, 0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9}), OVR_OK);
  OvrIfdHandle *tail = nullptr;
  EXPECT_EQ(ovrAddTailStripIfd(colour, 1, 7, &tail), OVR_ERR_PARAM);  // not a JBIG2 coding
  OvrIfdHandle *plain = addIfd(addPage(), 2, 1, 10);
  ASSERT_EQ(code(plain, ovr::bits::kJbig2), OVR_OK);
  ASSERT_EQ(strip(plain, 0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9}), OVR_OK);
  EXPECT_EQ(ovrAddTailStripIfd(plain, 1, 7, &tail), OVR_ERR_SEQUENCE);  // no referring header
}

// The entries of a mask and a colour IFD and of the global parameters IFD in profile code 8.
TEST_F(WriteInterface, DirectoryEntries) {
  OvrIfdHandle *mask = addIfd(addPage(), 2, 1, 64);
  ASSERT_EQ(ovrSetCompressionTag(mask, 34715), OVR_OK);
  ASSERT_EQ(code(mask, ovr::bits::kJbig2), OVR_OK);
  OvrIfdHandle *colour = addIfd(mask->owner, 3, 7, 20, 0, 30, 12, 200);
  ASSERT_EQ(code(colour, ovr::bits::kJpeg), OVR_OK);
  const uint32_t maskAt = offsetOf(mask), colourAt = offsetOf(colour);
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  for (uint32_t at : {maskAt, colourAt}) {
    ovr::IfdLayout layout;
    ASSERT_EQ(ovr::readIfdLayout(view.reader(), at, &layout), OVR_OK);
    uint16_t previous = 0;
    for (uint32_t i = 0; i < layout.count; ++i) {
      const ovr::IfdEntry e = view.entry(at, i);
      EXPECT_LT(previous, e.tag);
      previous = e.tag;
    }
  }
  auto m = view.dir(maskAt);
  EXPECT_EQ(m->newSubfileType, 18u);
  EXPECT_EQ(m->photometric, 0u);
  EXPECT_EQ(m->compression, 34715u);
  EXPECT_EQ(m->rowsPerStrip, 64u);
  EXPECT_EQ(m->pageNumber[0], 0u);
  EXPECT_EQ(m->xResolution.num, 300u);
  EXPECT_EQ(m->xResolution.den, 1u);
  EXPECT_EQ(m->resolutionUnit, 2u);
  EXPECT_TRUE(m->has(ovr::Field::CodingOptions));
  EXPECT_EQ(m->codingOptions, 0u);
  EXPECT_FALSE(m->has(ovr::Field::XPosition));
  EXPECT_FALSE(m->has(ovr::Field::SamplesPerPixel));
  EXPECT_EQ(m->imageLayer[0], 2u);
  EXPECT_EQ(m->imageLayer[1], 1u);
  auto c = view.dir(colourAt);
  EXPECT_EQ(c->newSubfileType, 16u);
  EXPECT_EQ(c->photometric, 10u);  // ITULab
  EXPECT_EQ(c->compression, 7u);
  EXPECT_EQ(c->planarConfiguration, 1u);
  EXPECT_TRUE(c->has(ovr::Field::PlanarConfiguration));
  EXPECT_EQ(c->samplesPerPixel, 3u);
  EXPECT_EQ(std::vector<uint16_t>(c->bitsPerSample.data(), c->bitsPerSample.data() + 3),
            (std::vector<uint16_t>{8, 8, 8}));
  EXPECT_EQ(c->xPosition.num, 30u);
  EXPECT_EQ(c->yPosition.num, 12u);
  EXPECT_EQ(c->xPosition.den, 300u);
  EXPECT_FALSE(c->has(ovr::Field::CodingOptions));
  EXPECT_FALSE(c->has(ovr::Field::PageNumber));
  EXPECT_FALSE(c->has(ovr::Field::GlobalParametersIfd));
  auto g = view.dir(m->globalParametersIfd);
  EXPECT_EQ(g->profileType, 0u);
  EXPECT_EQ(g->faxProfile, 255u);
  EXPECT_EQ(g->modeNumber, 2u);
  EXPECT_EQ(g->globalWord34687, 20u);
  EXPECT_EQ(g->globalWord34688, 1952u);
  EXPECT_TRUE(g->has(ovr::Field::GlobalTableOffset));
  EXPECT_FALSE(g->has(ovr::Field::CodingMethods));
}

// A palette IFD writes its ColorMap: all reds, then greens, then blues, each byte x 257 (profile
// code 11, kind 16).
TEST(WriteDocument, PaletteColorMap) {
  WrittenDocument w(16);
  OvrPageHandle *page = nullptr;
  OvrIfdHandle *ifd = nullptr;
  uint8_t palette[768];
  for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(ovrAddPage(w.doc, -1, &page), OVR_OK);
  EXPECT_EQ(ovrAddIfd(page, 1, 5, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &ifd), OVR_ERR_PARAM);
  ASSERT_EQ(ovrAddIfd(page, 1, 5, 0, 0, 300, 300, kWidth, 10, 10, palette, &ifd), OVR_OK);
  uint32_t bits = ovr::bits::kNone, quality = 0;
  const uint32_t space = 0;
  ASSERT_EQ(ovrSetCoding(ifd, 0, &bits, &quality, &space), OVR_OK);
  ASSERT_EQ(w.close(), OVR_OK);
  FileView view(w.file.bytes);
  auto d = view.dir(view.firstIfd());
  EXPECT_EQ(d->photometric, 3u);
  ASSERT_EQ(d->colorMap.size(), 768u);
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(d->colorMap[c * 256 + i], palette[3 * i + c] * 257);
  }
}

struct PhotometricCase {
  uint32_t colourKind;
  uint32_t bits;
  uint32_t space;
  uint32_t photometric;
};

TEST(WriteRules, PhotometricInterpretation) {
  using namespace ovr::bits;
  const PhotometricCase cases[] = {
      {4, kNone, 8, 3},  {5, kJpeg, 8, 3}, {1, kMMR, 8, 0},  {8, kNone, 3, 0},
      {7, kJpeg, 3, 2},  {7, kJpeg, 4, 5}, {7, kNone, 6, 8}, {7, kJpeg, 7, 9},
      {7, kJpeg, 8, 10}, {7, kJpeg, 5, 6}, {7, kJpeg, 1, 6}, {7, kJbig2, 8, 2},
      {3, kJpeg, 8, 10}, {3, kJpeg, 6, 8}, {2, kNone, 3, 1}, {10, kNone, 7, 9},
  };
  for (const PhotometricCase &c : cases) {
    EXPECT_EQ(ovr::photometricValue(c.colourKind, c.bits, c.space), c.photometric)
        << c.colourKind << " " << c.bits << " " << c.space;
  }
}

// CodingMethods (profile code 6, kind 11) is written with the page 0 primary IFD, before any
// coding was counted, and patched at close with the codings of every IFD written.
TEST(WriteDocument, CodingMethodsPatchedAtClose) {
  WrittenDocument w(11);
  OvrPageHandle *page = nullptr;
  OvrIfdHandle *mask = nullptr, *colour = nullptr;
  ASSERT_EQ(ovrAddPage(w.doc, -1, &page), OVR_OK);
  ASSERT_EQ(ovrAddIfd(page, 2, 1, 0, 0, 300, 300, kWidth, 10, 10, nullptr, &mask), OVR_OK);
  ASSERT_EQ(ovrAddIfd(page, 3, 7, 0, 0, 300, 300, 100, 10, 10, nullptr, &colour), OVR_OK);
  uint32_t bits = ovr::bits::kMR, quality = 0;
  const uint32_t space = 8;
  ASSERT_EQ(ovrSetCoding(mask, 0, &bits, &quality, &space), OVR_OK);
  bits = ovr::bits::kJpeg;
  ASSERT_EQ(ovrSetCoding(colour, 0, &bits, &quality, &space), OVR_OK);
  const uint32_t globalAt = w.engine()->writer->globalIfd;
  EXPECT_EQ(FileView(w.file.bytes).dir(globalAt)->codingMethods, 0u);
  ASSERT_EQ(w.close(), OVR_OK);
  FileView view(w.file.bytes);
  auto g = view.dir(globalAt);
  EXPECT_EQ(g->codingMethods, 4u | 32u);
  EXPECT_EQ(g->modeNumber, 2u);
  auto primary = view.dir(view.firstIfd());
  EXPECT_EQ(primary->t4Options, ovr::kT4TwoDimensional);
  EXPECT_EQ(primary->compression, ovr::kCompressionT4);
}

// When page 0's primary IFD was written without its global parameters IFD (simulated here by
// forgetting it), the close writes that primary IFD again at the end with one, points the header
// at it, and keeps its strips and SubIFDs.
TEST_F(WriteInterface, CloseWritesTheFirstPrimaryAgainWithGlobalParameters) {
  OvrIfdHandle *mask = maskPage(20, {4, 3, 2, 1});
  OvrIfdHandle *colour = addIfd(w_.doc->pages, 3, 7, 20, 0, 0, 0, 100);
  ASSERT_EQ(code(colour, ovr::bits::kJpeg), OVR_OK);
  const uint32_t next = offsetOf(maskPage(10));
  const uint32_t old = offsetOf(mask), colourAt = offsetOf(colour);
  w_.engine()->writer->globalIfd = 0;
  w_.engine()->writer->globalTablePatch = {};
  ASSERT_EQ(w_.close(), OVR_OK);
  FileView view(w_.file.bytes);
  const uint32_t moved = view.firstIfd();
  EXPECT_GT(moved, old);
  ovr::IfdLayout layout;
  auto primary = view.dir(moved, &layout);
  EXPECT_NE(primary->globalParametersIfd, 0u);
  EXPECT_GT(primary->globalParametersIfd, old);
  EXPECT_EQ(view.bytes(primary->stripOffsets[0], 4), (std::vector<uint8_t>{4, 3, 2, 1}));
  ASSERT_EQ(primary->subIfds.size(), 2u);
  EXPECT_EQ(primary->subIfds[1], colourAt);
  EXPECT_EQ(layout.next, next);
}

}  // namespace
