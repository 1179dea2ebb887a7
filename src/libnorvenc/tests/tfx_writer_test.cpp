// The TIFF-FX writer over JBIG2 data made by the library's own JBIG2 output: documents of many
// sections (twelve section dictionaries and more, carried or ended final) read back through the
// container reader (every page's mask strip refers to every block of global data written before
// it, the blocks hold the section dictionaries in order), pass tiffinfo and tiffdump, and decode
// page by page in jbig2dec from the global data and the strip; colour payloads get a tail
// directory and JPEG layers a directory of their own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output_writer.h"
#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "ovr_write.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "testkit_tools.h"
#include "writer_support.h"

namespace {

using enctest::PageShape;
using enctest::SectionData;

constexpr uint32_t kJbig2Bits = 1024;
constexpr uint32_t kJpegBits = 16;

// A JPEG background layer of a page: its record's fields and data.
struct Background {
  int32_t width = 50, height = 40, xdpi = 100, ydpi = 100, quality = 75;
  std::vector<uint8_t> jpeg;
};

class TfxWriterTest : public norvtest::TrackedStateTest {
 protected:
  void TearDown() override {
    if (ctx_ != nullptr) {
      EXPECT_EQ(ovrDestroyIoContext(ctx_), 0);
    }
    norvtest::TrackedStateTest::TearDown();
  }

  // Writes the sections, adding the background to the first page of the first section.
  void write(const std::vector<SectionData> &sections, const Background *background = nullptr) {
    NorvOutputIo io = enctest::fileIo(file_.name());
    ASSERT_NE(io.file, nullptr);
    NorvOutputWriter *writer = nullptr;
    ASSERT_EQ(norvenc::openTfxWriter(state_, &io, &writer), 0) << errors_.text();
    std::vector<SectionData> rest = sections;
    if (background != nullptr && !sections.empty()) {
      // The first section by hand, with the colour layer on its first page.
      rest.erase(rest.begin());
      NorvWriterPage *page = nullptr;
      ASSERT_EQ(norvenc::newWriterPage(writer, sections[0].pages[0].width,
                                       sections[0].pages[0].height, &page),
                0);
      auto *record = static_cast<NorvLayerRecord *>(qtz::allocate(state_, sizeof(NorvLayerRecord)));
      ASSERT_NE(record, nullptr);
      *record = NorvLayerRecord{background->width,
                                background->height,
                                0,
                                0,
                                background->xdpi,
                                background->ydpi,
                                enctest::ownedCopy(state_, background->jpeg),
                                background->jpeg.size(),
                                0,
                                1,
                                background->quality};
      ASSERT_EQ(norvenc::addColorLayer(page, record), 0);
      ASSERT_EQ(norvenc::addWriterPage(writer, page), 0);
      SectionData first = sections[0];
      first.pages.erase(first.pages.begin());
      // The mask of the first page, attached as the encoder does once the section is coded.
      const enctest::PageData &p = sections[0].pages[0];
      std::vector<uint8_t> data = p.bytes;
      data.insert(data.end(), p.payload.begin(), p.payload.end());
      auto *mask = static_cast<NorvLayerRecord *>(qtz::allocate(state_, sizeof(NorvLayerRecord)));
      ASSERT_NE(mask, nullptr);
      *mask = NorvLayerRecord{
          p.width,        p.height,         0, 0, p.xdpi, p.ydpi, enctest::ownedCopy(state_, data),
          p.bytes.size(), p.payload.size(), 2, 0};
      ASSERT_EQ(norvenc::attachMaskLayer(page, mask), 0);
      ASSERT_TRUE(first.pages.empty()) << "the background section has one page";
      ASSERT_EQ(norvenc::setSectionGlobals(writer, enctest::ownedCopy(state_, first.globals),
                                           first.globals.size()),
                0);
      ASSERT_EQ(norvenc::writeSection(writer, 1), 0) << errors_.text();
    }
    ASSERT_EQ(enctest::writeSections(writer, rest), 0) << errors_.text();
    ASSERT_EQ(norvenc::closeWriter(writer), 0) << errors_.text();
  }

  // Reads the document back and checks it against the sections; the background (if any) on the
  // first page.
  void checkDocument(const std::vector<SectionData> &sections, const Background *background) {
    ASSERT_EQ(ovrCreateIoContext(0, &ctx_), 0);
    FILE *file = std::fopen(file_.path(), "rb");
    ASSERT_NE(file, nullptr);
    OvrFileHooks hooks{
        [](void *b, size_t s, size_t c, FILE *f) { return std::fread(b, s, c, f); },
        [](const void *b, size_t s, size_t c, FILE *f) { return std::fwrite(b, s, c, f); },
        std::fseek, std::ftell};
    OvrHookedFile stream{file, 0, &hooks};
    OvrDocHandle *doc = nullptr;
    ASSERT_EQ(ovrOpenDocument(ctx_, &stream, 0, fileHookRead, fileHookWrite, fileHookSeek,
                              fileHookSeekEnd, fileHookTell, &doc),
              0);
    ASSERT_NE(doc, nullptr);
    uint8_t headerKind = 0, subKind = 0;
    uint16_t pageCount = 0;
    ASSERT_EQ(ovrGetDocumentInfo(doc, &headerKind, &subKind, &pageCount), 0);
    const std::vector<const enctest::PageData *> pages = enctest::pagesOf(sections);
    ASSERT_EQ(pageCount, pages.size());

    // The blocks of global data: the section dictionaries in writing order.
    std::vector<std::vector<uint8_t>> blocks;
    for (const SectionData &s : sections)
      if (!s.globals.empty()) blocks.push_back(s.globals);
    for (uint32_t i = 0; i < blocks.size(); ++i) {
      uint8_t *data = nullptr;
      uint32_t length = 0, size = 0, entryLong = 0;
      uint16_t entryWord = 0;
      ASSERT_EQ(ovrReadGlobalData(doc, i, &data, &length, &size, &entryWord, &entryLong), 0);
      EXPECT_TRUE(std::vector<uint8_t>(data, data + length) == blocks[i]) << "block " << i;
      ovrFreeData(ctx_, reinterpret_cast<void **>(&data));
    }

    size_t k = 0;
    uint32_t blocksBefore = 0;
    for (const SectionData &s : sections) {
      blocksBefore += s.globals.empty() ? 0 : 1;
      for (const enctest::PageData &expected : s.pages) {
        SCOPED_TRACE("page " + std::to_string(k + 1));
        checkPage(doc, static_cast<int32_t>(k), expected, blocks, blocksBefore,
                  k == 0 ? background : nullptr);
        ++k;
      }
    }
    EXPECT_EQ(ovrCloseDocument(doc), 0);
    std::fclose(file);
  }

  void checkPage(OvrDocHandle *doc, int32_t index, const enctest::PageData &expected,
                 const std::vector<std::vector<uint8_t>> &blocks, uint32_t blockCount,
                 const Background *background) {
    const uint32_t *counts = nullptr;
    uint32_t layers = 0;
    uint16_t attribute = 0;
    OvrPageHandle *page = nullptr;
    ASSERT_EQ(ovrGetPage(doc, index, &counts, &layers, &attribute, &page), 0);
    ASSERT_GE(layers, 2u);
    EXPECT_EQ(counts[0], background != nullptr ? 1u : 0u);
    ASSERT_EQ(counts[1], 1u);
    if (layers > 2) {
      EXPECT_EQ(counts[2], expected.payload.empty() ? 0u : 1u);
    } else {
      EXPECT_TRUE(expected.payload.empty());
    }
    uint32_t x, y, xRes, yRes, width, height, rowsPerStrip, bits, kind;
    OvrIfdHandle *ifd = nullptr;
    ASSERT_EQ(ovrGetStripeIfd(page, 2, 0, &x, &y, &xRes, &yRes, &width, &height, &rowsPerStrip,
                              &bits, &kind, nullptr, &ifd),
              0);
    EXPECT_EQ(width, uint32_t(expected.width));
    EXPECT_EQ(height, uint32_t(expected.height));
    EXPECT_EQ(xRes, uint32_t(expected.xdpi));
    EXPECT_EQ(yRes, uint32_t(expected.ydpi));
    EXPECT_EQ(bits, kJbig2Bits);
    const std::vector<uint8_t> strip = readStrip(ifd, height);
    uint32_t count = 0, codedSize = 0;
    uint32_t *indices = nullptr;
    const uint8_t *coded = nullptr;
    ASSERT_EQ(ovrParseStripHeader(ifd, strip.data(), static_cast<uint32_t>(strip.size()), &count,
                                  &indices, &coded, &codedSize),
              0);
    std::vector<uint32_t> want;
    for (uint32_t i = 0; i < blockCount; ++i) want.push_back(i);
    EXPECT_EQ(std::vector<uint32_t>(indices, indices + count), want);
    if (indices != nullptr) ovrFreeData(ctx_, reinterpret_cast<void **>(&indices));
    const std::vector<uint8_t> pageBytes(coded, coded + codedSize);
    EXPECT_TRUE(pageBytes == expected.bytes);
    // The payload after the coded page, described by a directory on the next layer.
    if (!expected.payload.empty()) {
      OvrIfdHandle *tail = nullptr;
      ASSERT_EQ(ovrGetStripeIfd(page, 3, 0, &x, &y, &xRes, &yRes, &width, &height, &rowsPerStrip,
                                &bits, &kind, nullptr, &tail),
                0);
      EXPECT_EQ(kind, 7u);
      // The tail directory's strip is the whole referring strip; the payload ends it.
      const std::vector<uint8_t> tailStrip = readStrip(tail, height);
      ASSERT_EQ(tailStrip.size(), strip.size() + expected.payload.size());
      EXPECT_TRUE(std::vector<uint8_t>(tailStrip.end() - long(expected.payload.size()),
                                       tailStrip.end()) == expected.payload);
    }
    if (background != nullptr) {
      ASSERT_EQ(ovrGetStripeIfd(page, 1, 0, &x, &y, &xRes, &yRes, &width, &height, &rowsPerStrip,
                                &bits, &kind, nullptr, &ifd),
                0);
      EXPECT_EQ(width, uint32_t(background->width));
      EXPECT_EQ(height, uint32_t(background->height));
      EXPECT_EQ(xRes, uint32_t(background->xdpi));
      EXPECT_EQ(bits, kJpegBits);
      EXPECT_TRUE(readStrip(ifd, height) == background->jpeg);
    }
    if (!norvtest::toolAvailable("jbig2dec")) return;
    // jbig2dec: the global data the strip names, then the page.
    std::vector<uint8_t> globals;
    for (uint32_t i = 0; i < blockCount; ++i)
      globals.insert(globals.end(), blocks[i].begin(), blocks[i].end());
    norvtest::TempDir dir("tfx_page");
    ASSERT_TRUE(norvtest::writeFile(dir.file("g.jb2"), globals));
    ASSERT_TRUE(norvtest::writeFile(dir.file("p.jb2"), pageBytes));
    const norvtest::ToolRun run = norvtest::runTool(
        "jbig2dec -q -e -t pbm -o " + norvtest::shellQuote(dir.file("out.pbm")) + " " +
        norvtest::shellQuote(dir.file(globals.empty() ? "p.jb2" : "g.jb2")) +
        (globals.empty() ? "" : " " + norvtest::shellQuote(dir.file("p.jb2"))) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.text();
    EXPECT_TRUE(norvtest::readPnm(dir.file("out.pbm")) == expected.model);
  }

  std::vector<uint8_t> readStrip(OvrIfdHandle *ifd, uint32_t height) {
    EXPECT_EQ(ovrBeginRead(ifd, 0), 0);
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0, got = 0;
    EXPECT_EQ(ovrReadStrip(ifd, 0, height, &buffer, &capacity, &got), 0);
    std::vector<uint8_t> bytes(buffer, buffer + got);
    ovrFreeData(ctx_, reinterpret_cast<void **>(&buffer));
    EXPECT_EQ(ovrEndRead(ifd), 0);
    return bytes;
  }

  // tiffinfo and tiffdump read the file without an error; tiffinfo lists `directories` (the
  // global parameters and one primary per page when the first page names global data; without
  // that, the global parameters directory is reached from a page only).
  void checkWithTiffTools(size_t directories) {
    if (!norvtest::toolAvailable("tiffinfo") || !norvtest::toolAvailable("tiffdump")) return;
    const norvtest::ToolRun info =
        norvtest::runTool("tiffinfo " + norvtest::shellQuote(file_.name()) + " 2>&1");
    EXPECT_EQ(info.status, 0) << info.text();
    EXPECT_EQ(info.text().find("rror"), std::string::npos) << info.text();
    size_t listed = 0;
    for (size_t at = 0;
         (at = info.text().find("TIFF Directory at offset", at)) != std::string::npos; ++at)
      ++listed;
    EXPECT_EQ(listed, directories);
    const norvtest::ToolRun dump =
        norvtest::runTool("tiffdump " + norvtest::shellQuote(file_.name()) + " 2>&1");
    EXPECT_EQ(dump.status, 0) << dump.text();
    EXPECT_EQ(dump.text().find("rror"), std::string::npos) << dump.text();
  }

  norvtest::TempFile file_{"tfx"};
  OvrIoContext *ctx_ = nullptr;
};

// Fourteen sections: twelve with a dictionary of their own (more than the container ever
// needed to limit), carried into the next section or ended final, one without a dictionary, one
// of three pages; one page with a colour payload.
TEST_F(TfxWriterTest, ManySectionDictionariesAllPagesReadBackAndDecode) {
  enctest::DocumentMaker maker(state_, 2, false);
  std::vector<SectionData> sections;
  for (int k = 0; k < 12; ++k) sections.push_back(maker.section(1, PageShape{}, k % 3 == 2));
  sections.push_back(maker.section(1, PageShape{}, true, 0));
  sections.push_back(maker.section(3, PageShape{96, 120, 72, 144}, true));
  sections[4].pages[0].payload = {9, 8, 7, 6, 5, 4, 3};
  write(sections);
  checkDocument(sections, nullptr);
  checkWithTiffTools(enctest::pagesOf(sections).size() + 1);
}

// Pages before the first section dictionary (a one-page section has none: its symbols are the
// page's own) refer to no global data; a later section's dictionary is still named by the pages
// after it.
TEST_F(TfxWriterTest, PagesBeforeAnyDictionaryReferToNoGlobalData) {
  enctest::DocumentMaker maker(state_, 2, false);
  std::vector<SectionData> sections = {maker.section(1, PageShape{}, true, 0),
                                       maker.section(2, PageShape{}, true),
                                       maker.section(1, PageShape{}, true, 0)};
  write(sections);
  checkDocument(sections, nullptr);
  checkWithTiffTools(4);  // one primary per page
}

TEST_F(TfxWriterTest, JpegBackgroundLayerGetsItsOwnDirectory) {
  if (!norvtest::toolAvailable("pnmtojpeg")) GTEST_SKIP() << "pnmtojpeg missing";
  Background background;
  norvtest::Pnm grey;
  grey.kind = '5';
  grey.width = background.width;
  grey.height = background.height;
  for (int i = 0; i < grey.width * grey.height; ++i) grey.raster.push_back(uint8_t(i * 7));
  norvtest::TempDir dir("jpeg");
  ASSERT_TRUE(norvtest::writePnm(dir.file("bg.pgm"), grey));
  background.jpeg =
      norvtest::runTool("pnmtojpeg " + norvtest::shellQuote(dir.file("bg.pgm")) + " 2>/dev/null")
          .output;
  ASSERT_FALSE(background.jpeg.empty());
  enctest::DocumentMaker maker(state_, 3, false);
  std::vector<SectionData> sections = {maker.section(1, PageShape{}, false),
                                       maker.section(2, PageShape{}, true, 0)};
  write(sections, &background);
  checkDocument(sections, &background);
  checkWithTiffTools(4);
}

}  // namespace
