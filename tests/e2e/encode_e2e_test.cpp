// The document encoder end to end: TIFF documents made of the bundled test pages are converted
// through the exported encoding calls into TIFF-FX, raw JBIG2 and PDF, and every output is read
// back by outside readers (the container reader with jbig2dec, jbig2dec, poppler and mutool;
// see e2e_documents.h). Lossless settings must give the input pages exactly, in every reader;
// the default lossy settings every page, at its size, without a substituted glyph on the
// digit-dense pages. A full disk gives 2001 for each output. Lossless symbol coding is the
// lossy classifier without tolerance: match fraction 1, no error pixels, no dilation.
//
// EncodeQuick runs in the sanitizer suite (small pages, short documents); EncodeCorpus and
// EncodeCorpusDocument convert documents of 10 to 60 full pages and are labelled slow (run in a
// release build).
#include <gtest/gtest.h>

#include "e2e_documents.h"
#include "glyph_count.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using e2e::EncodeOptions;
using e2e::Mode;
using e2e::Output;

constexpr int32_t kWriteFailed = 2001;

bool toolsPresent() {
  for (const char *tool : {"tiffcp", "tifftopnm", "tiffinfo", "tiffdump", "jbig2dec", "qpdf",
                           "pdfimages", "pdftoppm", "pdftocairo", "pngtopnm", "mutool"})
    if (!norvtest::toolAvailable(tool)) return false;
  return true;
}

class EncodeTest : public norvtest::TrackedStateTest {
 protected:
  EncodeTest() { wantContexts_ = true; }

  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (!toolsPresent())
      GTEST_SKIP() << "a libtiff, jbig2dec, qpdf, poppler or mutool tool missing";
  }

  // The source document of the pages, converted with the options; the output's path.
  std::string convert(const std::vector<std::string> &pages, const EncodeOptions &options) {
    const std::string tiff = e2e::makeDocument(dir_, "in.tif", pages);
    const std::string out = dir_.file(std::string("out.") + extension(options.output));
    EXPECT_EQ(e2e::encodeTiff(state_, tiff, out, options), 0) << errors_.text();
    return out;
  }

  static const char *extension(Output output) {
    return output == Output::Tfx ? "tif" : output == Output::Jbig2 ? "jb2" : "pdf";
  }

  // Every reader of the output kind shows every page: exactly the source page when exact is
  // set (pdftoppm: exactly its grey rendering of the source page), else at the source page's
  // size; the pages as the first reader showed them. Poppler is held to the exact page too: the
  // encoder writes no MMR bitmap with a row poppler draws wrong (see
  // PlainT6RegionDecodesExactlyExceptInPoppler).
  std::vector<norvtest::Pnm> expectPages(const std::string &path, Output output,
                                         const std::vector<std::string> &pages, bool exact,
                                         size_t *globalBlocks = nullptr) {
    std::vector<std::vector<norvtest::Pnm>> shown;
    std::vector<std::string> readers;
    switch (output) {
      case Output::Tfx:
        shown.push_back(e2e::readTfx(path, globalBlocks));
        readers.push_back("container reader + jbig2dec");
        break;
      case Output::Jbig2:
        shown.push_back(e2e::readRawJbig2(path));
        readers.push_back("jbig2dec");
        break;
      case Output::Pdf:
        e2e::checkPdfStructure(path, pages);
        shown.push_back(e2e::renderPdf(path, e2e::Renderer::Mutool, pages));
        readers.push_back("mutool draw");
        shown.push_back(e2e::renderPdf(path, e2e::Renderer::PopplerCairo, pages));
        readers.push_back("pdftocairo");
        shown.push_back(e2e::renderPdf(path, e2e::Renderer::PopplerSplash, pages));
        readers.push_back("pdftoppm");
        break;
    }
    for (size_t r = 0; r < shown.size(); ++r) {
      SCOPED_TRACE(readers[r]);
      const bool splash = readers[r] == "pdftoppm";
      EXPECT_EQ(shown[r].size(), pages.size());
      for (size_t k = 0; k < std::min(shown[r].size(), pages.size()); ++k) {
        const norvtest::Pnm &source =
            splash ? e2e::splashReference(pages[k]) : e2e::sourcePage(pages[k]);
        const int64_t differing = splash ? e2e::differingSamples(shown[r][k], source)
                                         : norvtest::differingPixels(shown[r][k], source);
        EXPECT_GE(differing, 0) << "page " << k + 1 << " (" << pages[k] << ") is "
                                << shown[r][k].width << "x" << shown[r][k].height;
        if (exact) {
          EXPECT_EQ(differing, 0) << "page " << k + 1 << " (" << pages[k] << ")";
        }
      }
    }
    return shown.empty() ? std::vector<norvtest::Pnm>{} : shown[0];
  }

  norvtest::TempDir dir_{"e2e"};
};

const Output kOutputs[] = {Output::Tfx, Output::Jbig2, Output::Pdf};

// Small pages (200 dpi) in turn: text, formulae, a picture, the two digit tables.
std::vector<std::string> smallPages(size_t count) {
  const std::vector<std::string> small = {
      "p11_t200_bash-56.tif", "p13_t200_eqn-2.tif",   "p19_d200_digits-times8.tif",
      "p14_t200_pic-2.tif",   "p12_t200_bash-64.tif", "p20_d200_digits-helv7.tif"};
  std::vector<std::string> pages;
  for (size_t k = 0; k < count; ++k) pages.push_back(small[k % small.size()]);
  return pages;
}

using EncodeQuick = EncodeTest;

// One page in both JBIG2 output modes (2: MMR and Huffman coding; 3: arithmetic coding).
TEST_F(EncodeQuick, OnePageLosslessInEveryOutput) {
  const std::vector<std::string> pages = {"p13_t200_eqn-2.tif"};
  for (int32_t outputMode : {2, 3})
    for (Output output : kOutputs) {
      SCOPED_TRACE(std::string(e2e::nameOf(output)) + ", output mode " +
                   std::to_string(outputMode));
      EncodeOptions options{output, Mode::Lossless};
      options.outputMode = outputMode;
      expectPages(convert(pages, options), output, pages, true);
    }
}

// Sections of two small pages in every output: each section's pages share its dictionary and
// the dictionaries of earlier sections, every page is kept and exact.
TEST_F(EncodeQuick, SectionsOfTwoPagesInEveryOutput) {
  const std::vector<std::string> pages = smallPages(6);
  for (Output output : kOutputs) {
    SCOPED_TRACE(e2e::nameOf(output));
    EncodeOptions options{output, Mode::Lossless};
    options.sectionPages = 2;
    expectPages(convert(pages, options), output, pages, true);
  }
}

// A full disk: a buffered memory file that refuses every write past its limit with ENOSPC (a
// stdio seek writes the pending bytes first and fails with them, as on a full tmpfs). A disk full
// from the start, and one that fills up halfway through the document: every output kind reports
// 2001 and leaks nothing.
TEST_F(EncodeQuick, FullDiskGives2001ForEveryOutput) {
  const std::vector<std::string> pages = smallPages(3);
  const std::string tiff = e2e::makeDocument(dir_, "in.tif", pages);
  for (Output output : kOutputs) {
    SCOPED_TRACE(e2e::nameOf(output));
    EncodeOptions options{output, Mode::Lossy};
    options.sectionPages = 1;
    const std::string whole = dir_.file("whole");
    ASSERT_EQ(e2e::encodeTiff(state_, tiff, whole, options), 0) << errors_.text();
    for (size_t room : {size_t{0}, norvtest::readFile(whole).size() / 2}) {
      SCOPED_TRACE(std::to_string(room) + " bytes free");
      norvtest::MemoryFile disk;
      disk.limit = long(room);
      FILE *file = norvtest::openMemoryFile(&disk, true);
      ASSERT_NE(file, nullptr);
      EXPECT_EQ(e2e::encodeTiff(state_, tiff, "", options, file), kWriteFailed) << errors_.text();
    }
  }
}

// Why the encoder cuts its MMR bitmaps: a page whose T.6 data Ghostscript made (the test page's
// own Group 4 strip), placed as the one MMR generic region of a JBIG2 image in a PDF, decodes
// exactly in libtiff (the TIFF itself), jbig2dec and mutool, but not in poppler, which draws a
// white row after a row of two or more black runs with that row's runs but the first.
TEST_F(EncodeQuick, PlainT6RegionDecodesExactlyExceptInPoppler) {
  const std::string page = "p13_t200_eqn-2.tif";
  const std::string pdf = e2e::plainT6Pdf(dir_, page);
  ASSERT_FALSE(pdf.empty());
  const std::vector<bool> mmr = e2e::pdfImagesWithMmrRegions(pdf);
  EXPECT_EQ(mmr, std::vector<bool>{true});
  const std::vector<norvtest::Pnm> mutool = e2e::renderPdf(pdf, e2e::Renderer::Mutool, {page});
  ASSERT_EQ(mutool.size(), 1u);
  EXPECT_EQ(norvtest::differingPixels(mutool[0], e2e::sourcePage(page)), 0);
  const std::vector<norvtest::Pnm> poppler =
      e2e::renderPdf(pdf, e2e::Renderer::PopplerCairo, {page});
  ASSERT_EQ(poppler.size(), 1u);
  EXPECT_GT(norvtest::differingPixels(poppler[0], e2e::sourcePage(page)), 0)
      << "poppler now decodes this T.6 region exactly";
}

using EncodeCorpus = EncodeTest;

// A document converted losslessly into every output; every reader shows its pages exactly.
struct DocumentCase {
  size_t first, count;   // pages of the test set in turn
  int32_t sectionPages;  // 0: the default (100, with a flush every 50 pages)
  Mode mode;
  int32_t outputMode = 0;  // 0: the default
  int32_t flushPages = 0;  // 0: the default
};

// Segment headers of a raw JBIG2 file (sequential, T.88 D.1) that write the referred-to count in
// its long form (more than four segments); -1 when the file cannot be walked.
int longFormHeaders(const std::vector<uint8_t> &bytes) {
  auto byte = [&](size_t at) { return at < bytes.size() ? uint32_t{bytes[at]} : 0u; };
  auto be32 = [&](size_t at) {
    return byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
  };
  size_t at = (byte(8) & 2) != 0 ? 9 : 13;
  int longForm = 0;
  while (at < bytes.size()) {
    const uint32_t number = be32(at);
    const uint32_t flags = byte(at + 4);
    at += 5;
    uint64_t refs = byte(at) >> 5;
    if (refs == 7) {
      ++longForm;
      refs = be32(at) & 0x1FFFFFFF;
      at += 4 + (refs + 8) / 8;
    } else {
      at += 1;
    }
    at += refs * (number <= 256 ? 1 : number <= 65536 ? 2 : 4);
    at += (flags & 0x40) != 0 ? 4 : 1;
    const uint32_t length = be32(at);
    at += 4 + length;
    if ((flags & 0x3F) == 51) break;
  }
  return at <= bytes.size() ? longForm : -1;
}

class EncodeCorpusDocument : public EncodeTest {
 protected:
  void convertInEveryOutput(const DocumentCase &c) {
    const std::vector<std::string> pages = e2e::cyclePages(c.first, c.count);
    for (Output output : kOutputs) {
      SCOPED_TRACE(std::to_string(c.count) + " pages, " + e2e::nameOf(c.mode) + ", " +
                   e2e::nameOf(output));
      EncodeOptions options{output, c.mode};
      options.sectionPages = c.sectionPages;
      options.outputMode = c.outputMode;
      options.flushPages = c.flushPages;
      const std::string out = convert(pages, options);
      expectPages(out, output, pages, true);
      if (output == Output::Jbig2) {
        EXPECT_EQ(longFormHeaders(norvtest::readFile(out)), 0);
      }
    }
  }
};

// Lossless symbol coding of one 600 dpi page, and of ten pages in sections of four.
TEST_F(EncodeCorpusDocument, LosslessOneAndTenPages) {
  convertInEveryOutput({14, 1, 0, Mode::Lossless});
  convertInEveryOutput({0, 10, 4, Mode::Lossless});
}

// Sixty pages cycling through every test page (resolutions change within the document), with
// the flush after 50 pages that carries the dictionary into the next section.
TEST_F(EncodeCorpusDocument, LosslessSixtyPages) {
  convertInEveryOutput({0, 60, 0, Mode::Lossless});
}

// The 22 pages with arithmetic coding (generic regions with their AT pixels, symbol
// dictionaries, text regions, halftone patterns) in sections of eight.
TEST_F(EncodeCorpusDocument, ArithmeticAllPages) {
  convertInEveryOutput({0, 22, 8, Mode::Lossless, 3});
}

// The 22 pages with a flush every five pages, in both output modes: five section dictionaries,
// each referring to the one before and exporting all its symbols, so that no text region refers
// to more than four segments (readers disagree on the long form of the referred-to count:
// jbig2dec and mutool lost pages, poppler one).
TEST_F(EncodeCorpusDocument, FlushEveryFivePages) {
  for (int32_t outputMode : {2, 3}) convertInEveryOutput({0, 22, 0, Mode::Lossless, outputMode, 5});
}

// Generic coding (no symbol matching) of the 22 pages.
TEST_F(EncodeCorpusDocument, GenericAllPages) {
  convertInEveryOutput({0, 22, 0, Mode::Generic});
}

// The readers' table: a rendered page of formulae and two scans whose sizes are no whole number
// of points (at 100 and 150 dpi), converted with lossless settings into every output,
// in both JBIG2 output modes, flushing after every page and with the default flush; every reader
// shows every page at the scan's resolution with the scan's pixel size, exactly (poppler as
// expectPages says).
TEST_F(EncodeCorpus, EveryReaderShowsEveryCellOfTheTable) {
  // Seven pages, so that a flush after every page or after five leaves several section
  // dictionaries before the last pages (each text region still refers to one of them only): two
  // real scans, text at 200 and 300 dpi, the digit table and the halftone page.
  const std::vector<std::string> pages = {
      "s01_s100_cavalerie-29.tif", "p13_t200_eqn-2.tif",         "s02_s150_table-27.tif",
      "p09_t300_grops-3.tif",      "p19_d200_digits-times8.tif", "p21_h300_ps2pdf-screen.tif",
      "p11_t200_bash-56.tif"};
  // flushPages 0 keeps the default (50).
  const int32_t flushes[] = {1, 5, 0};
  for (Output output : kOutputs) {
    for (int32_t outputMode : {2, 3}) {
      for (int32_t flushPages : flushes) {
        SCOPED_TRACE(std::string(e2e::nameOf(output)) + ", output mode " +
                     std::to_string(outputMode) + ", flushPages " + std::to_string(flushPages));
        EncodeOptions options{output, Mode::Lossless};
        options.outputMode = outputMode;
        options.flushPages = flushPages;
        expectPages(convert(pages, options), output, pages, true);
      }
    }
  }
}

// Twelve sections of two different pages each: a section dictionary each (the symbols the two
// pages share that no earlier dictionary holds), and every page kept and exact (a TIFF-FX
// document once stopped after five dictionaries).
TEST_F(EncodeCorpus, TwelveSectionDictionariesKeepEveryPage) {
  const std::vector<std::string> pages = e2e::cyclePages(0, 24);
  EncodeOptions options{Output::Tfx, Mode::Lossless};
  options.sectionPages = 2;
  size_t blocks = 0;
  expectPages(convert(pages, options), Output::Tfx, pages, true, &blocks);
  EXPECT_GE(blocks, 12u);
}

// The default lossy settings over all test pages: every page present at its size, and no glyph
// of the two digit tables replaced by another.
TEST_F(EncodeCorpus, LossyDefaultsKeepEveryPageAndSubstituteNoGlyph) {
  const std::vector<std::string> pages = e2e::testPages();
  for (Output output : kOutputs) {
    SCOPED_TRACE(e2e::nameOf(output));
    const std::vector<norvtest::Pnm> shown =
        expectPages(convert(pages, EncodeOptions{output, Mode::Lossy}), output, pages, false);
    ASSERT_EQ(shown.size(), pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
      const e2e::GlyphCount count =
          e2e::countSubstitutedGlyphs(e2e::sourcePage(pages[k]), shown[k]);
      if (pages[k].find("digits") != std::string::npos) {
        EXPECT_GT(count.glyphs, 1000) << pages[k];
      }
      EXPECT_EQ(count.substituted, 0) << pages[k] << ": " << count.differing << " pixels differ";
    }
  }
}

}  // namespace
