// The encoding driver: the section rule (flushes and section ends, counted through the pages the
// writer has written after each call), pages refused by the dictionary budget read again into
// the next section and never lost, documents of no pages, the resolution defaults, the
// background reduction of colour pages, the error stream and log file, null arguments, the
// banded mode and the conversion entry. Raw JBIG2 output is decoded by jbig2dec and compared
// with the source pages (lossless settings: pixel for pixel).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver_support.h"
#include "enc_assembly.h"
#include "enc_convert.h"
#include "jbig2_decoder.h"
#include "norv_enc.h"
#include "output_writer.h"
#include "page_source.h"
#include "pxl_image.h"
#include "pxl_tiffpage.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using enctest::SourcePage;
using norvtest::Pnm;

enum class Output { Tfx, RawJbig2, Pdf };

std::string dataFile(const std::string &name) {
  return std::string(NORV_TEST_DATA) + "/" + name;
}

// A packed bilevel caller image of a P4 raster (rows of whole words).
struct PackedImage {
  explicit PackedImage(const Pnm &p) : words(size_t((p.width + 31) / 32) * p.height, 0) {
    const int perRow = (p.width + 31) / 32;
    for (int y = 0; y < p.height; ++y)
      for (int b = 0; b < p.rowBytes(); ++b)
        words[size_t(y) * perRow + b / 4] |= uint32_t(p.row(y)[b]) << (24 - 8 * (b % 4));
    width = p.width;
    height = p.height;
  }
  // A library image over the words (unwrapped by the destructor).
  QtzImage *wrap(QtzState *state) {
    if (wrapped == nullptr)
      QtzImage_wrapAll(state, words.data(), QTZ_IMAGE_PACKED, width, height,
                       int32_t((width + 31) / 32 * 4), &wrapped);
    return wrapped;
  }
  ~PackedImage() {
    void *pixels = nullptr;
    if (wrapped != nullptr) QtzImage_unwrapAll(wrapped, &pixels);
  }
  std::vector<uint32_t> words;
  QtzImage *wrapped = nullptr;
  int width = 0, height = 0;
};

// Lossless settings: every component a token of the lossless classifier.
void lossless(NorvEncState *enc) {
  const uint8_t on = 1;
  ASSERT_EQ(norv_setGeneralEncOptions(enc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &on,
                                      nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
}

class DriverTest : public norvtest::TrackedStateTest {
 protected:
  DriverTest() { wantContexts_ = true; }

  void TearDown() override {
    if (enc_ != nullptr) {
      EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0) << errors_.text();
    }
    norvtest::TrackedStateTest::TearDown();
  }

  // A record with the given output kind (and options set by configure), started over a new
  // output file.
  template <typename Configure = void (*)(NorvEncState *)>
  void start(
      Output kind, Configure configure = [](NorvEncState *) {}) {
    ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
    enc_->writeRawJbig2 = kind != Output::Tfx;
    enc_->writePdf = kind == Output::Pdf;
    configure(enc_);
    FILE *file = std::fopen(output_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(norv_encStart(state_, enc_, file, nullptr), 0) << errors_.text();
  }
  int32_t finish() { return norv_cleanEncState(state_, &enc_); }
  int32_t written() const { return enc_->writer->pagesWritten; }

  std::string tiff(const std::string &name, const std::vector<SourcePage> &pages) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(enctest::writeTiff(path, pages));
    return path;
  }

  norvtest::TempDir dir_{"encdrv"};
  std::string output_ = dir_.file("out.bin");
  NorvEncState *enc_ = nullptr;
};

// Pages of glyphs small enough to be symbols (below a tenth of the page on both sides).
std::vector<SourcePage> glyphPages(int count, int width = 200, int height = 130) {
  std::vector<SourcePage> pages;
  for (int k = 0; k < count; ++k) pages.push_back({enctest::glyphPage(width, height, k)});
  return pages;
}

void expectPages(const std::vector<Pnm> &decoded, const std::vector<Pnm> &expected) {
  ASSERT_EQ(decoded.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k)
    EXPECT_EQ(norvtest::differingPixels(decoded[k], expected[k]), 0) << "page " << k + 1;
}

std::vector<Pnm> rastersOf(const std::vector<SourcePage> &pages) {
  std::vector<Pnm> out;
  for (const SourcePage &p : pages) out.push_back(p.raster);
  return out;
}

// Flush after 50 pages, section end after 100, and a one-page final section for page 101,
// page by page through norv_encPage.
TEST_F(DriverTest, PagesFlushAtFiftyEndAtHundredAndLastEndsTheRest) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  start(Output::RawJbig2, lossless);
  const std::vector<SourcePage> pages = glyphPages(101);
  for (int k = 1; k <= 101; ++k) {
    PackedImage image(pages[k - 1].raster);
    ASSERT_EQ(norv_encPage(state_, enc_, image.wrap(state_), k == 101 ? 1 : 0), 0)
        << "page " << k << errors_.text();
    const int expected = k < 50 ? 0 : k < 100 ? 50 : k;
    ASSERT_EQ(written(), expected) << "after page " << k;
    ASSERT_EQ(enc_->pendingPages->count, k - expected);
  }
  EXPECT_EQ(enc_->pageCount, 101);
  ASSERT_EQ(finish(), 0);
  expectPages(enctest::jbig2decPages(output_), rastersOf(pages));
}

// The same rule through norv_encDocument: a document of 101 pages with last = 0 writes the
// first hundred and keeps page 101 open; the next document's call with last = 1 ends it.
TEST_F(DriverTest, DocumentKeepsItsOpenSectionForTheNextCall) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  std::vector<SourcePage> pages = glyphPages(102);
  const std::string many = tiff("many.tif", {pages.begin(), pages.end() - 1});
  const std::string one = tiff("one.tif", {pages.back()});
  start(Output::RawJbig2, lossless);
  ASSERT_EQ(norv_encDocument(state_, enc_, many.c_str(), 0), 0) << errors_.text();
  EXPECT_EQ(written(), 100);
  EXPECT_EQ(enc_->pendingPages->count, 1);
  ASSERT_EQ(norv_encDocument(state_, enc_, one.c_str(), 1), 0) << errors_.text();
  EXPECT_EQ(written(), 102);
  EXPECT_EQ(enc_->pendingPages->count, 0);
  ASSERT_EQ(finish(), 0);
  expectPages(enctest::jbig2decPages(output_), rastersOf(pages));
}

// Real scan cuts: last = 0 writes nothing, the next call with last = 1 writes both documents'
// pages as one section; pages decode to the input exactly.
TEST_F(DriverTest, OpenSectionWaitsForLastAndDecodesToTheScans) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  const std::string scans = dataFile("scans3.tif");
  std::vector<Pnm> expected = enctest::readTiffPages(scans);
  ASSERT_EQ(expected.size(), 3u);
  start(Output::RawJbig2, lossless);
  ASSERT_EQ(norv_encDocument(state_, enc_, scans.c_str(), 0), 0) << errors_.text();
  EXPECT_EQ(written(), 0);
  EXPECT_EQ(enc_->pendingPages->count, 3);
  ASSERT_EQ(norv_encDocument(state_, enc_, scans.c_str(), 1), 0) << errors_.text();
  EXPECT_EQ(written(), 6);
  ASSERT_EQ(finish(), 0);
  const std::vector<Pnm> once = expected;
  expected.insert(expected.end(), once.begin(), once.end());
  expectPages(enctest::jbig2decPages(output_), expected);
}

// A TIFF file without a page cannot be opened: its status, nothing more written, and the
// output abandoned: the clean-up gives the status and leaves an empty file, not a document
// that passes for whole.
TEST_F(DriverTest, DocumentWithoutPagesFailsAndLeavesNoDocument) {
  const std::string none = dir_.file("none.tif");
  ASSERT_TRUE(enctest::writeEmptyTiff(none));
  const std::string one = tiff("one.tif", glyphPages(1));
  start(Output::RawJbig2, lossless);
  ASSERT_EQ(norv_encDocument(state_, enc_, one.c_str(), 0), 0) << errors_.text();
  EXPECT_EQ(norv_encDocument(state_, enc_, none.c_str(), 1), 2000);
  EXPECT_EQ(written(), 0);
  EXPECT_EQ(enc_->pageCount, 1);
  EXPECT_EQ(enc_->pendingPages->count, 1);
  EXPECT_EQ(finish(), 2000);
  EXPECT_EQ(norvtest::readFile(output_).size(), 0u);
}

// The dictionary budget refuses page 2 of a section in each of its three ways (E1 is page 1's
// estimate, E2 what page 2 adds to it); page 1 stays in the section, which is written alone,
// and page 2 starts the next section. Every page decodes.
struct BudgetCase {
  const char *name;
  int64_t (*limit)(int64_t e1, int64_t e2);
  int64_t (*running)(int64_t e1, int64_t e2);  // the estimate before page 2
};

TEST_F(DriverTest, RefusedPageStartsTheNextSectionAndNothingIsLost) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  const BudgetCase cases[] = {
      {"within a tenth of the limit: refused before it is added",
       [](int64_t e1, int64_t) { return e1 * 20 / 19; }, [](int64_t e1, int64_t) { return e1; }},
      {"the limit already reached: refused before it is added",
       [](int64_t e1, int64_t) { return e1 * 6 / 5; },
       [](int64_t e1, int64_t) { return e1 * 6 / 5; }},
      {"added and reaching the limit: rolled back", [](int64_t e1, int64_t e2) { return e1 + e2; },
       [](int64_t e1, int64_t) { return e1; }},
  };
  const std::vector<SourcePage> pages = {{enctest::glyphPage(200, 130, 1, 12, 0)},
                                         {enctest::glyphPage(200, 130, 2, 12, 12)}};
  PackedImage first(pages[0].raster), second(pages[1].raster);
  auto estimate = [this] {
    const TclySection *section = enc_->encoder->doc->section;
    return int64_t{section->runningEstimate} + section->compressedEstimate;
  };
  // The estimates, counted under a limit never reached.
  start(Output::RawJbig2, lossless);
  enc_->encoder->doc->memoryLimit = 1 << 30;
  ASSERT_EQ(norv_encPage(state_, enc_, first.wrap(state_), 0), 0);
  const int64_t e1 = estimate();
  ASSERT_EQ(norv_encPage(state_, enc_, second.wrap(state_), 0), 0);
  const int64_t e2 = estimate() - e1;
  ASSERT_EQ(finish(), 0);
  // Page 2 brings shapes of its own, enough to pass a limit from below its tenth.
  ASSERT_GT(e2 * 9, e1);

  for (const BudgetCase &c : cases) {
    SCOPED_TRACE(c.name);
    start(Output::RawJbig2, lossless);
    TclyDoc *doc = enc_->encoder->doc;
    doc->memoryLimit = 1 << 30;
    ASSERT_EQ(norv_encPage(state_, enc_, first.wrap(state_), 0), 0) << errors_.text();
    doc->memoryLimit = int32_t(c.limit(e1, e2));
    doc->section->runningEstimate = int32_t(c.running(e1, e2) - doc->section->compressedEstimate);
    ASSERT_EQ(norv_encPage(state_, enc_, second.wrap(state_), 0), 0) << errors_.text();
    // Page 1 went out in a section of its own; page 2 waits in the next one.
    EXPECT_EQ(written(), 1);
    EXPECT_EQ(enc_->pageCount, 2);
    EXPECT_EQ(enc_->pendingPages->count, 1);
    doc->memoryLimit = 0;
    ASSERT_EQ(norv_encPage(state_, enc_, first.wrap(state_), 1), 0) << errors_.text();
    EXPECT_EQ(written(), 3);
    ASSERT_EQ(finish(), 0);
    expectPages(enctest::jbig2decPages(output_),
                {pages[0].raster, pages[1].raster, pages[0].raster});
  }
}

// The same through the page loop, over a range of limits: whichever way pages are refused,
// every page arrives once and in order, or a page alone beyond the limit gives -1 ("Dicionary
// Memory limit is too small", reported by the encoder's own state).
TEST_F(DriverTest, BudgetLimitsNeverLoseAPage) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  // Each page brings shapes of its own besides some of the page before.
  std::vector<SourcePage> pages;
  for (int k = 0; k < 8; ++k) pages.push_back({enctest::glyphPage(200, 130, k, 16, 12 * k)});
  const std::string path = tiff("budget.tif", pages);
  int ended = 0;
  for (int32_t limit = 600; limit <= 12000; limit = limit * 3 / 2) {
    SCOPED_TRACE(limit);
    start(Output::RawJbig2, [limit](NorvEncState *enc) {
      lossless(enc);
      enc->dictionaryMemoryLimit = limit;
    });
    const int32_t status = norv_encDocument(state_, enc_, path.c_str(), 0);
    if (status == -1) {
      ASSERT_EQ(finish(), -1);
      EXPECT_EQ(norvtest::readFile(output_).size(), 0u);
      continue;
    }
    ASSERT_EQ(status, 0) << errors_.text();
    // Without the budget no section would have ended yet.
    ended += written() > 0;
    EXPECT_EQ(written() + enc_->pendingPages->count, 8);
    PackedImage last(pages.back().raster);
    ASSERT_EQ(norv_encPage(state_, enc_, last.wrap(state_), 1), 0) << errors_.text();
    EXPECT_EQ(enc_->pageCount, 9);
    ASSERT_EQ(finish(), 0);
    std::vector<Pnm> expected = rastersOf(pages);
    expected.push_back(pages.back().raster);
    expectPages(enctest::jbig2decPages(output_), expected);
  }
  EXPECT_GT(ended, 0);
}

struct ResolutionCase {
  int32_t x, y;  // of the core image, whole dpi (0: none)
  int32_t defaultDpi;
  int32_t xdpi, ydpi;
  bool warned;
};

// A missing axis takes the other's; neither gives the default on both, with the warning; a
// colour page's core image gets what was filled in (its split reads it there).
TEST_F(DriverTest, ResolutionsDefaultSymmetrically) {
  const ResolutionCase cases[] = {
      {200, 100, 300, 200, 100, false}, {0, 0, 300, 300, 300, true},    {0, 0, 200, 200, 200, true},
      {0, 150, 300, 150, 150, false},   {240, 0, 300, 240, 240, false},
  };
  const Pnm rgb = enctest::colourPage(40, 30);
  PackedImage packed(enctest::glyphPage(40, 30, 1));
  QtzImage *colour = nullptr;
  ASSERT_EQ(QtzImage_wrapAll(state_, const_cast<uint8_t *>(rgb.raster.data()), QTZ_IMAGE_RGB, 40,
                             30, 120, &colour),
            0);
  for (const ResolutionCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " x " << c.y);
    for (QtzImage *image : {packed.wrap(state_), colour}) {
      Pixr *core = nullptr;
      ASSERT_EQ(tc_convertToPixr(state_, image, &core), 0);
      ASSERT_EQ(pxlSetImageResolution(state_->ipwContext, core, c.x << 16, c.y << 16), 0);
      const size_t before = errors_.text().size();
      NorvPageSource source{};
      norvenc::describeSource(state_, core, c.defaultDpi, &source);
      EXPECT_EQ(source.xdpi, c.xdpi);
      EXPECT_EQ(source.ydpi, c.ydpi);
      EXPECT_EQ(source.width, 40);
      EXPECT_EQ(source.height, 30);
      const bool bilevel = image != colour;
      EXPECT_EQ(source.bytesPerRow != 0, bilevel);
      EXPECT_EQ(source.pixels != nullptr, bilevel);
      const std::string text = "Warning -- No resolution given in input file, assuming " +
                               std::to_string(c.defaultDpi) + " dpi.\n";
      EXPECT_EQ(errors_.text().substr(before), c.warned ? text : "");
      if (!bilevel) {
        int32_t x = 0, y = 0;
        pxlGetImageResolution(state_->ipwContext, core, &x, &y);
        EXPECT_EQ(norvenc::wholeDpi(x), c.xdpi);
        EXPECT_EQ(norvenc::wholeDpi(y), c.ydpi);
      }
      pxlDestroyImage(state_->ipwContext, &core);
    }
  }
  void *pixels = nullptr;
  QtzImage_unwrapAll(colour, &pixels);
  // Through the TIFF reader: tags on both axes, or none (the reader takes a file with one axis
  // for one with none).
  for (const ResolutionCase &c : {cases[0], cases[2]}) {
    const std::string path =
        tiff("res.tif", {SourcePage{enctest::glyphPage(40, 30, 1), float(c.x), float(c.y)}});
    pxl::OwnedTiff file(state_->ipwContext);
    ASSERT_EQ(pxlOpenTiffForRead(state_->ipwContext, path.c_str(), file.put()), 0);
    NorvPageSource source{};
    TcImage *image = nullptr;
    ASSERT_EQ(norvenc::readSourcePage(state_, file.get(), &source, 0, &image, 0, c.defaultDpi), 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(source.xdpi, c.xdpi);
    EXPECT_EQ(source.ydpi, c.ydpi);
    EXPECT_EQ(tc_freeImage(state_, image), 0);
    // Past the last page: no image, status 0.
    ASSERT_EQ(norvenc::readSourcePage(state_, file.get(), &source, 1, &image, 0, 300), 0);
    EXPECT_EQ(image, nullptr);
  }
  // Quarter turns outside 0 to 3.
  NorvPageSource source{};
  TcImage *image = nullptr;
  EXPECT_EQ(norvenc::readSourcePage(state_, nullptr, &source, 0, &image, 4, 300), 10003);
  EXPECT_EQ(image, nullptr);
}

// Caller images have no resolution: RGB pages take the default on both axes.
TEST_F(DriverTest, CallerColourImageTakesTheDefaultResolution) {
  start(Output::Pdf, [](NorvEncState *enc) { enc->defaultDpi = 150; });
  const Pnm rgb = enctest::colourPage(60, 40);
  QtzImage *image = nullptr;
  ASSERT_EQ(QtzImage_wrapAll(state_, const_cast<uint8_t *>(rgb.raster.data()), QTZ_IMAGE_RGB, 60,
                             40, 180, &image),
            0);
  ASSERT_EQ(norv_encPage(state_, enc_, image, 0), 0) << errors_.text();
  NorvWriterPage *page = nullptr;
  ASSERT_EQ(norvenc::getWriterPage(enc_->writer, 1, &page), 0);
  const auto *source = static_cast<NorvPageSource *>(enc_->pendingPages->head->data);
  EXPECT_EQ(source->xdpi, 150);
  EXPECT_EQ(source->ydpi, 150);
  EXPECT_EQ(source->bytesPerRow, 0);
  ASSERT_EQ(page->colourLayers->count, 1);
  const auto *layer = static_cast<NorvLayerRecord *>(page->colourLayers->head->data);
  EXPECT_EQ(layer->xdpi, 150);  // 150 / 100 = 1: no reduction
  EXPECT_EQ(layer->width, 60);
  void *pixels = nullptr;
  QtzImage_unwrapAll(image, &pixels);
  ASSERT_EQ(norv_encPage(state_, enc_, nullptr, 1), QTZ_ERR_NULL);
}

struct ReductionCase {
  int32_t dpi, backgroundDpi, factor;
};

TEST_F(DriverTest, BackgroundIsReducedByAWholeFactorOfItsResolution) {
  const ReductionCase cases[] = {{300, 100, 3}, {250, 100, 2}, {301, 100, 1}, {600, 100, 6},
                                 {100, 300, 1}, {200, 200, 1}, {400, 100, 4}};
  for (const ReductionCase &c : cases)
    EXPECT_EQ(norvenc::backgroundReduction(c.dpi, c.backgroundDpi), c.factor) << c.dpi;

  start(Output::Tfx);
  for (const ReductionCase &c : {cases[0], cases[1], cases[2]}) {
    SCOPED_TRACE(c.dpi);
    const std::string path =
        tiff("colour.tif", {SourcePage{enctest::colourPage(120, 90), float(c.dpi), float(c.dpi)}});
    pxl::OwnedTiff file(state_->ipwContext);
    ASSERT_EQ(pxlOpenTiffForRead(state_->ipwContext, path.c_str(), file.put()), 0);
    NorvPageSource source{};
    TcImage *image = nullptr;
    ASSERT_EQ(norvenc::readSourcePage(state_, file.get(), &source, 0, &image, 0, 300), 0);
    NorvWriterPage *page = nullptr;
    ASSERT_EQ(norvenc::newWriterPage(enc_->writer, 120, 90, &page), 0);
    QtzSCTextComponent *components = nullptr;
    int32_t count = 0;
    QtzImage *grey = nullptr;
    Pixr *core = image->image;
    image->image = nullptr;
    ASSERT_EQ(norvenc::splitColorPage(state_, core, page, 100, 80, 1, &components, &count, &grey),
              0)
        << errors_.text();
    ASSERT_NE(grey, nullptr);
    ASSERT_EQ(page->colourLayers->count, 1);
    const auto *layer = static_cast<NorvLayerRecord *>(page->colourLayers->head->data);
    EXPECT_EQ(layer->width, 120 / c.factor);
    EXPECT_EQ(layer->height, 90 / c.factor);
    EXPECT_EQ(layer->xdpi, c.dpi / c.factor);
    EXPECT_EQ(layer->ydpi, c.dpi / c.factor);
    EXPECT_EQ(layer->layer, 1);
    EXPECT_EQ(layer->quality, 80);
    ASSERT_GT(layer->length, 4u);
    EXPECT_EQ(layer->data[0], 0xFF);
    EXPECT_EQ(layer->data[1], 0xD8);
    EXPECT_EQ(layer->data[layer->length - 2], 0xFF);
    EXPECT_EQ(layer->data[layer->length - 1], 0xD9);
    norvenc::freeTextComponents(state_, &components, count);
    QtzImage_free(grey);
    norvenc::dropWriterPage(enc_->writer, &page);
    EXPECT_EQ(tc_freeImage(state_, image), 0);
  }
}

// Colour pages go through the whole loop into a PDF that pdftoppm renders at the page's size.
TEST_F(DriverTest, ColourPagesBecomePdfPages) {
  if (!norvtest::toolAvailable("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  const std::string path =
      tiff("colour.tif", {SourcePage{enctest::colourPage(150, 100), 150, 150},
                          SourcePage{enctest::glyphPage(150, 100, 3), 150, 150}});
  start(Output::Pdf);
  ASSERT_EQ(norv_encDocument(state_, enc_, path.c_str(), 1), 0) << errors_.text();
  EXPECT_EQ(written(), 2);
  ASSERT_EQ(finish(), 0);
  const norvtest::ToolRun run =
      norvtest::runTool("pdftoppm -r 150 -gray " + norvtest::shellQuote(output_) + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  // Two pages of 150 x 100 pixels at 150 dpi.
  std::vector<uint8_t> bytes = run.output;
  int pagesSeen = 0;
  for (size_t at = 0; at + 12 < bytes.size(); ++at)
    if (std::memcmp(bytes.data() + at, "P5\n150 100\n", 11) == 0) ++pagesSeen;
  EXPECT_EQ(pagesSeen, 2);
}

struct LogCase {
  const char *name;
  bool quiet;
  const char *logPath;  // "<file>": a file in the test directory
  bool toCapture;       // messages reach the state's own stream
};

// Messages go to the chosen stream while the record lives; the state's stream comes back at
// clean-up and a log file is closed then.
TEST_F(DriverTest, ErrorStreamFollowsQuietAndLogPath) {
  const LogCase cases[] = {{"unchanged", false, nullptr, true},
                           {"quiet", true, nullptr, false},
                           {"stderr", false, "stderr", false},
                           {"file", false, "<file>", false}};
  const std::string logFile = dir_.file("log.txt");
  FILE *own = errors_.file();
  for (const LogCase &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
    enc_->quiet = c.quiet;
    FILE *file = std::fopen(output_.c_str(), "wb");
    const std::string path = c.logPath != nullptr && std::string(c.logPath) == "<file>" ? logFile
                             : c.logPath != nullptr                                     ? c.logPath
                                                                                        : "";
    ASSERT_EQ(norv_encStart(state_, enc_, file, c.logPath != nullptr ? path.c_str() : nullptr), 0);
    const size_t before = errors_.text().size();
    EXPECT_EQ(norv_encDocument(state_, enc_, dir_.file("missing.tif").c_str(), 1), 2000);
    EXPECT_EQ(errors_.text().size() > before, c.toCapture);
    if (std::string(c.name) == "stderr") {
      EXPECT_EQ(state_->errSink->stream, stderr);
    }
    ASSERT_EQ(finish(), 2000);
    EXPECT_EQ(state_->errSink->stream, own);
    if (std::string(c.name) == "file") {
      // Closed and complete: the failure's line is in it.
      EXPECT_NE(norvtest::readFile(logFile).size(), 0u);
    }
  }
  // A log file that cannot be made: 10000 with the path, on the state's own stream.
  ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
  FILE *file = std::fopen(output_.c_str(), "wb");
  const std::string bad = dir_.file("no/such/dir/log.txt");
  EXPECT_EQ(norv_encStart(state_, enc_, file, bad.c_str()), 10000);
  EXPECT_NE(errors_.text().find("I can't open error log file \"" + bad + "\" for writing."),
            std::string::npos);
  EXPECT_EQ(enc_->writer, nullptr);
  std::fclose(file);
}

TEST_F(DriverTest, NullArgumentsAndRecordsNotStarted) {
  ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
  FILE *file = std::fopen(output_.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const uint8_t rows[8] = {};
  const uint8_t *data = nullptr;
  size_t length = 0;
  struct Case {
    const char *what;
    int32_t status, expected;
  };
  const Case cases[] = {
      {"start without record", norv_encStart(state_, nullptr, file, nullptr), 2},
      {"start without file", norv_encStart(state_, enc_, nullptr, nullptr), 118},
      {"document without record", norv_encDocument(state_, nullptr, "a.tif", 1), 2},
      {"document not started", norv_encDocument(state_, enc_, "a.tif", 1), 2},
      {"page not started", norv_encPage(state_, enc_, nullptr, 1), 2},
      {"band without record", norv_encMonoBufInPage(state_, nullptr, rows, 8, 2, 4, 2, 0, 1), 2},
      {"band without rows", norv_encMonoBufInPage(state_, enc_, nullptr, 8, 2, 4, 2, 0, 1), 2},
      {"page data without out",
       norv_encMonoBufGetPGData(state_, enc_, nullptr, &length, &data, &length), 118},
      {"page data not started",
       norv_encMonoBufGetPGData(state_, enc_, &data, &length, &data, &length), 2},
      {"convert without input", encodeTiffFileToTfx(nullptr, output_.c_str(), state_), 118},
      {"convert without output", encodeTiffFileToTfx("a.tif", nullptr, state_), 118},
  };
  for (const Case &c : cases) EXPECT_EQ(c.status, c.expected) << c.what;
  ASSERT_EQ(norv_encStart(state_, enc_, file, nullptr), 0);
  EXPECT_EQ(norv_encDocument(state_, enc_, nullptr, 1), 118);
  EXPECT_EQ(norv_encPage(state_, enc_, nullptr, 1), 118);
}

// Banded mode: a page fed in three bands comes back as dictionary and page bytes that decode
// (our decoder and jbig2dec) to the page; a second page after it likewise.
TEST_F(DriverTest, BandedPagesComeBackAsTheirOwnSections) {
  ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
  lossless(enc_);
  for (uint32_t seed : {4u, 9u}) {
    SCOPED_TRACE(seed);
    const Pnm page = enctest::glyphPage(200, 130, seed);
    PackedImage words(page);
    const int perRow = (page.width + 31) / 32;
    const int bands[] = {50, 45, 35};
    int top = 0;
    for (int b = 0; b < 3; ++b) {
      const auto *rows =
          reinterpret_cast<const uint8_t *>(words.words.data() + size_t(top) * perRow);
      ASSERT_EQ(norv_encMonoBufInPage(state_, enc_, rows, page.width, bands[b], perRow * 4,
                                      page.height, b != 0, b == 2),
                0)
          << errors_.text();
      top += bands[b];
    }
    const uint8_t *globals = nullptr, *data = nullptr;
    size_t globalsLength = 0, dataLength = 0;
    ASSERT_EQ(norv_encMonoBufGetPGData(state_, enc_, &globals, &globalsLength, &data, &dataLength),
              0);
    ASSERT_GT(dataLength, 0u);
    // Asked again without a new page: nothing has ended.
    EXPECT_EQ(norv_encMonoBufGetPGData(state_, enc_, &globals, &globalsLength, &data, &dataLength),
              10003);

    // The page's embedded stream: its dictionary, then its own segments.
    std::vector<uint8_t> stream(globals, globals + globalsLength);
    stream.insert(stream.end(), data, data + dataLength);
    Jbig2Decoder *decoder = nullptr;
    ASSERT_EQ(QtzJbig2_newDecoder(&decoder, 0, nullptr, nullptr, 1, 100000, 0, 1, nullptr, nullptr,
                                  state_),
              0);
    EXPECT_EQ(QtzJbig2_decodePage(decoder, stream.data(), stream.size(), nullptr), 0);
    const Pnm decoded = decoder->page != nullptr ? enctest::pnmOfDecodedPage(decoder->page) : Pnm{};
    QtzJbig2_freeDecoder(&decoder);
    EXPECT_EQ(norvtest::differingPixels(decoded, page), 0);
    if (norvtest::toolAvailable("jbig2dec")) {
      const std::string in = dir_.file("band.jb2"), out = dir_.file("band.pbm");
      ASSERT_TRUE(norvtest::writeFile(in, stream));
      const norvtest::ToolRun run =
          norvtest::runTool("jbig2dec -q -e -t pbm -o " + norvtest::shellQuote(out) + " " +
                            norvtest::shellQuote(in) + " 2>&1");
      EXPECT_EQ(run.status, 0) << run.text();
      EXPECT_EQ(norvtest::differingPixels(norvtest::readPnm(out), page), 0);
    }
  }
  // The messages of the banded mode are dropped.
  EXPECT_EQ(state_->errSink->stream, nullptr);
}

// The conversion entry writes a TIFF-FX file of every page; an output that cannot be made
// reports 12000 + errno with the C library's text.
TEST_F(DriverTest, ConversionEntryWritesTfxAndReportsOpenFailures) {
  const std::string tfx = dir_.file("scans.tif");
  ASSERT_EQ(encodeTiffFileToTfx(dataFile("scans3.tif").c_str(), tfx.c_str(), state_), 0)
      << errors_.text();
  if (norvtest::toolAvailable("tiffinfo")) {
    const norvtest::ToolRun run =
        norvtest::runTool("tiffinfo " + norvtest::shellQuote(tfx) + " 2>&1");
    size_t directories = 0;
    for (size_t at = run.text().find("TIFF Directory"); at != std::string::npos;
         at = run.text().find("TIFF Directory", at + 1))
      ++directories;
    EXPECT_GE(directories, 3u) << run.text();
  }
  const std::string bad = dir_.file("no/such/dir/out.tif");
  EXPECT_EQ(encodeTiffFileToTfx(dataFile("scans3.tif").c_str(), bad.c_str(), state_),
            12000 + ENOENT);
  EXPECT_NE(errors_.text().find(std::strerror(ENOENT)), std::string::npos) << errors_.text();
  // A missing input: the reader's status, the earlier output left as it was.
  const std::vector<uint8_t> before = norvtest::readFile(tfx);
  EXPECT_EQ(encodeTiffFileToTfx(dir_.file("missing.tif").c_str(), tfx.c_str(), state_), 2000);
  EXPECT_TRUE(norvtest::readFile(tfx) == before);
  // The entry with a state of its own.
  EXPECT_EQ(convertTiffFileToTfx(dataFile("scans3.tif").c_str(), tfx.c_str()), 0);
  // One page: no section dictionary, its strip refers to no global data.
  const std::string one = tiff("one.tif", glyphPages(1));
  EXPECT_EQ(encodeTiffFileToTfx(one.c_str(), tfx.c_str(), state_), 0) << errors_.text();
}

// A failed encoding abandons the output: whether a page in the middle cannot be read, the
// document has no pages or the disk fills up, the clean-up gives the failure and the caller's
// file is cut back to nothing, for every output kind.
TEST_F(DriverTest, FailedDocumentLeavesNoPartOfItInTheOutput) {
  std::vector<SourcePage> pages = glyphPages(4);
  const std::string bad = tiff("bad3of4.tif", pages);
  ASSERT_TRUE(enctest::spoilTiffPage(bad, 2));
  const std::string empty = dir_.file("none.tif");
  ASSERT_TRUE(enctest::writeEmptyTiff(empty));
  const std::string good = tiff("good.tif", pages);
  struct Case {
    const char *name;
    Output kind;
    std::string input;
    uint64_t diskBytes;  // 0: no limit
  };
  const Case cases[] = {
      {"pdf, page 3 of 4 bad", Output::Pdf, bad, 0},
      {"raw, page 3 of 4 bad", Output::RawJbig2, bad, 0},
      {"tiff-fx, page 3 of 4 bad", Output::Tfx, bad, 0},
      {"pdf, no pages", Output::Pdf, empty, 0},
      {"pdf, disk full", Output::Pdf, good, 700},
      {"raw, disk full", Output::RawJbig2, good, 300},
      {"tiff-fx, disk full", Output::Tfx, good, 900},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    start(c.kind, [](NorvEncState *enc) {
      lossless(enc);
      enc->flushPages = 1;  // every page written as soon as it is read
    });
    int32_t status = 0, cleaned = 0;
    {
      std::unique_ptr<norvtest::FileSizeLimit> disk;
      if (c.diskBytes != 0) disk = std::make_unique<norvtest::FileSizeLimit>(c.diskBytes);
      status = norv_encDocument(state_, enc_, c.input.c_str(), 1);
      cleaned = finish();
    }
    EXPECT_NE(status != 0 ? status : cleaned, 0);
    EXPECT_EQ(cleaned, status != 0 ? status : cleaned);
    EXPECT_EQ(norvtest::readFile(output_).size(), 0u);
  }
}

// The conversion entry after a failure leaves the output name as it was (absent, or the file
// that had it before) and nothing else in the directory: a disk that fills at several points
// (the first bytes, the middle, the last bytes), a bad page in the middle, a directory that
// does not exist, an output name that is a directory. Each failure is a status and one
// sentence naming both files.
TEST_F(DriverTest, FailedConversionLeavesTheOutputNameAsItWas) {
  const std::string scans = dataFile("scans3.tif");
  std::vector<SourcePage> pages = glyphPages(4);
  const std::string bad = tiff("bad3of4.tif", pages);
  ASSERT_TRUE(enctest::spoilTiffPage(bad, 2));
  norvtest::TempDir out("converted");
  const std::string tfx = out.file("doc.tfx");
  ASSERT_EQ(encodeTiffFileToTfx(scans.c_str(), tfx.c_str(), state_), 0) << errors_.text();
  const uint64_t whole = norvtest::readFile(tfx).size();
  ASSERT_GT(whole, 1000u);
  ASSERT_EQ(std::remove(tfx.c_str()), 0);
  const std::vector<uint8_t> earlier = {'o', 'l', 'd'};
  struct Case {
    const char *name;
    std::string input, output;
    uint64_t diskBytes;  // 0: no limit
  };
  const Case cases[] = {
      {"disk full at the start", scans, tfx, 1},
      {"disk full in the middle", scans, tfx, whole / 2},
      {"disk full at the end", scans, tfx, whole - 1},
      {"page 3 of 4 bad", bad, tfx, 0},
      {"no such directory", scans, out.file("none/doc.tfx"), 0},
      {"output name is a directory", scans, out.path(), 0},
  };
  for (bool existing : {false, true}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.name) + (existing ? ", earlier file" : ""));
      if (existing) ASSERT_TRUE(norvtest::writeFile(tfx, earlier));
      const std::vector<std::string> before = norvtest::listDirectory(out.path());
      int32_t status = 0;
      {
        std::unique_ptr<norvtest::FileSizeLimit> disk;
        if (c.diskBytes != 0) disk = std::make_unique<norvtest::FileSizeLimit>(c.diskBytes);
        status = encodeTiffFileToTfx(c.input.c_str(), c.output.c_str(), state_);
      }
      EXPECT_NE(status, 0);
      EXPECT_EQ(norvtest::listDirectory(out.path()), before);
      if (existing) EXPECT_TRUE(norvtest::readFile(tfx) == earlier);
      char message[kConversionMessageSize];
      describeConversionFailure(c.input.c_str(), c.output.c_str(), status, message, sizeof message);
      EXPECT_EQ(std::string(message), "Could not convert \"" + c.input + "\" to \"" + c.output +
                                          "\": " + Qtz_getErrStr(status) + " (status " +
                                          std::to_string(status) + ").");
      std::remove(tfx.c_str());
    }
  }
  char message[8] = "x";
  EXPECT_EQ(describeConversionFailure("a", "b", 0, message, sizeof message), 0);
  EXPECT_STREQ(message, "");
}

}  // namespace

namespace {

// Pool blocks booked one by one, so that a record not given back shows.
class DriverPoolTest : public DriverTest {
 protected:
  DriverPoolTest() { trackPools_ = true; }
};

// Every allocation of a run (start, a bilevel page, a colour page ending the section, clean-up)
// failing in turn: each failed run gives a status and, once cleaned up, leaves nothing behind.
TEST_F(DriverPoolTest, EveryAllocationFailureIsAStatusAndLeaksNothing) {
  const Pnm glyphs = enctest::glyphPage(64, 24, 2);
  const Pnm rgb = enctest::colourPage(48, 32);
  PackedImage packed(glyphs);
  QtzImage *bilevel = packed.wrap(state_);
  QtzImage *colour = nullptr;
  ASSERT_EQ(QtzImage_wrapAll(state_, const_cast<uint8_t *>(rgb.raster.data()), QTZ_IMAGE_RGB, 48,
                             32, 144, &colour),
            0);
  const long attempts = norvtest::failEachRequest([&](long) {
    NorvEncState *enc = nullptr;
    int32_t status = norv_initEncState(state_, &enc);
    if (status != 0) return false;
    enc->writeRawJbig2 = 1;
    FILE *file = std::fopen(output_.c_str(), "wb");
    status = norv_encStart(state_, enc, file, nullptr);
    if (enc->writer == nullptr) std::fclose(file);
    if (status == 0) status = norv_encPage(state_, enc, bilevel, 0);
    if (status == 0) status = norv_encPage(state_, enc, colour, 1);
    const int32_t cleaned = norv_cleanEncState(state_, &enc);
    EXPECT_EQ(enc, nullptr);
    return status == 0 && cleaned == 0;
  });
  EXPECT_GT(attempts, 20);
  void *pixels = nullptr;
  QtzImage_unwrapAll(colour, &pixels);
}

}  // namespace
