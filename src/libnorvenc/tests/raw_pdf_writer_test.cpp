// The raw JBIG2 file writer and the PDF writer over JBIG2 data made by the library's own JBIG2
// output: raw files decode page by page in jbig2dec and hold exactly the header, each section's
// dictionaries and its pages' segments; PDFs pass qpdf's check, list one JBIG2 image per page
// and render in poppler and mutool to the pages, pixel for pixel at the source resolution,
// across sections that carry dictionaries and sections that end final.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "output_writer.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "testkit_tools.h"
#include "writer_support.h"

namespace {

using enctest::PageShape;
using enctest::SectionData;

class WriterTest : public norvtest::TrackedStateTest {
 protected:
  // Writes the sections into a new file with the writer opened by open; the whole file.
  std::vector<uint8_t> writeFile(int32_t (*open)(QtzState *, const NorvOutputIo *,
                                                 NorvOutputWriter **),
                                 const std::vector<SectionData> &sections) {
    const NorvOutputIo io = enctest::fileIo(file_.name());
    EXPECT_NE(io.file, nullptr);
    NorvOutputWriter *writer = nullptr;
    EXPECT_EQ(open(state_, &io, &writer), 0) << errors_.text();
    if (writer == nullptr) return {};
    EXPECT_EQ(enctest::writeSections(writer, sections), 0) << errors_.text();
    EXPECT_EQ(norvenc::closeWriter(writer), 0) << errors_.text();
    return norvtest::readFile(file_.name());
  }

  norvtest::TempFile file_{"writer"};
};

// Three sections: one that carries its dictionary into the next, one whose pages use both, one
// without a dictionary of its own; the second page of the first section has a colour payload.
std::vector<SectionData> threeSections(enctest::DocumentMaker &maker, const PageShape &shape) {
  std::vector<SectionData> s;
  s.push_back(maker.section(2, shape, false));
  s[0].pages[1].payload = {1, 2, 3, 4, 5};
  s.push_back(maker.section(2, shape, true));
  s.push_back(maker.section(1, shape, true, 0));
  return s;
}

TEST_F(WriterTest, RawFileHoldsHeaderDictionariesAndPagesAndDecodesPageByPage) {
  if (!norvtest::toolAvailable("jbig2dec")) GTEST_SKIP() << "jbig2dec missing";
  enctest::DocumentMaker maker(state_, 2, false);
  const std::vector<SectionData> sections = threeSections(maker, PageShape{});
  const std::vector<uint8_t> file = writeFile(norvenc::openJbig2FileWriter, sections);

  std::vector<uint8_t> expected = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A, 0x03};
  for (const SectionData &s : sections) {
    expected.insert(expected.end(), s.globals.begin(), s.globals.end());
    for (const enctest::PageData &p : s.pages)
      expected.insert(expected.end(), p.bytes.begin(), p.bytes.end());  // no payload
  }
  EXPECT_TRUE(file == expected);

  const norvtest::ToolRun run = norvtest::runTool(
      "jbig2dec -q -t pbm -o - " + norvtest::shellQuote(file_.name()) + " 2>/dev/null");
  EXPECT_EQ(run.status, 0);
  const std::vector<norvtest::Pnm> decoded = norvtest::parsePnms(run.output);
  const std::vector<const enctest::PageData *> pages = enctest::pagesOf(sections);
  ASSERT_EQ(decoded.size(), pages.size());
  for (size_t k = 0; k < pages.size(); ++k)
    EXPECT_TRUE(decoded[k] == pages[k]->model) << "page " << k + 1;
}

TEST_F(WriterTest, EmptyRawFileIsItsHeader) {
  const std::vector<uint8_t> file = writeFile(norvenc::openJbig2FileWriter, {});
  const std::vector<uint8_t> header = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A, 0x03};
  EXPECT_TRUE(file == header);
}

std::string textOf(const std::vector<uint8_t> &bytes) {
  return std::string(bytes.begin(), bytes.end());
}

enum class Renderer { Cairo, Mutool, Splash };

// Renders every page of the PDF at the resolutions: poppler's cairo back end as grey PNGs (read
// through pngtopnm), mutool as PBMs (one resolution), poppler's splash back end as PBMs.
std::vector<norvtest::Pnm> renderPdf(const std::string &path, Renderer renderer, int xdpi,
                                     int ydpi) {
  norvtest::TempDir dir("render");
  const std::string res = " -rx " + std::to_string(xdpi) + " -ry " + std::to_string(ydpi) + " ";
  const std::string in = norvtest::shellQuote(path), out = norvtest::shellQuote(dir.file("p"));
  std::string command;
  switch (renderer) {
    case Renderer::Cairo:
      command = "pdftocairo -png -gray" + res + in + " " + out;
      break;
    case Renderer::Mutool:
      command = "mutool draw -q -A 0 -c mono -r " + std::to_string(xdpi) + " -o " +
                norvtest::shellQuote(dir.file("p-%04d.pbm")) + " " + in;
      break;
    case Renderer::Splash:
      command = "pdftoppm -mono" + res + in + " " + out;
      break;
  }
  const norvtest::ToolRun run = norvtest::runTool(command + " 2>&1");
  EXPECT_EQ(run.status, 0) << run.text();
  const norvtest::ToolRun list =
      norvtest::runTool("ls " + norvtest::shellQuote(dir.path()) + " | sort");
  std::vector<norvtest::Pnm> pages;
  std::string name;
  for (char c : list.text()) {
    if (c != '\n') {
      name += c;
      continue;
    }
    if (renderer == Renderer::Cairo)
      pages.push_back(norvtest::parsePnm(
          norvtest::runTool("pngtopnm " + norvtest::shellQuote(dir.file(name))).output));
    else
      pages.push_back(norvtest::readPnm(dir.file(name)));
    name.clear();
  }
  return pages;
}

bool blackAt(const norvtest::Pnm &p, int x, int y) {
  if (p.kind == '4') return (p.row(y)[x / 8] >> (7 - x % 8)) & 1;
  return p.row(y)[x] < 128;
}

// Pixels that differ; -1 for another size.
long differences(const norvtest::Pnm &shown, const norvtest::Pnm &model) {
  if (shown.width != model.width || shown.height != model.height) {
    ADD_FAILURE() << shown.width << "x" << shown.height << " against " << model.width << "x"
                  << model.height;
    return -1;
  }
  long count = 0;
  for (int y = 0; y < model.height; ++y)
    for (int x = 0; x < model.width; ++x) count += blackAt(shown, x, y) != blackAt(model, x, y);
  return count;
}

// How the pages are checked in poppler's renderers: pixel for pixel in the cairo back end (for
// pages of generic regions only: poppler's JBIG2 decoder does not read the back end's symbol
// dictionaries the way jbig2dec and the library's decoder do); their size in the splash back end,
// whose monochrome rendering of 1-bit images is not exact (it differs from run to run on an
// uncompressed image too); or not at all.
enum class Poppler { Exact, Size, None };

// qpdf's check, one JBIG2 image per page in pdfimages, and the pages as each renderer shows
// them: pixel for pixel in mutool (one resolution only), in poppler as asked.
void expectPdfShowsPages(const std::string &path,
                         const std::vector<const enctest::PageData *> &pages,
                         Poppler poppler = Poppler::Size) {
  std::vector<std::pair<int, int>> sizes;
  for (const enctest::PageData *p : pages) sizes.emplace_back(p->width, p->height);
  norvtest::expectPdfJbig2Images(path, sizes);
  const int xdpi = pages.empty() ? 300 : pages[0]->xdpi,
            ydpi = pages.empty() ? 300 : pages[0]->ydpi;
  for (Renderer r : {Renderer::Cairo, Renderer::Mutool, Renderer::Splash}) {
    if ((r == Renderer::Mutool && xdpi != ydpi) ||
        (r == Renderer::Cairo && poppler != Poppler::Exact) ||
        (r == Renderer::Splash && poppler == Poppler::None))
      continue;
    SCOPED_TRACE(r == Renderer::Cairo    ? "pdftocairo"
                 : r == Renderer::Mutool ? "mutool"
                                         : "pdftoppm");
    const std::vector<norvtest::Pnm> shown = renderPdf(path, r, xdpi, ydpi);
    ASSERT_EQ(shown.size(), pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
      if (r == Renderer::Splash) {
        EXPECT_EQ(shown[k].width, pages[k]->width);
        EXPECT_EQ(shown[k].height, pages[k]->height);
      } else {
        EXPECT_EQ(differences(shown[k], pages[k]->model), 0) << "page " << k + 1;
      }
    }
  }
}

bool pdfToolsAvailable() {
  for (const char *tool : {"qpdf", "pdftoppm", "pdftocairo", "pdfimages", "mutool", "pngtopnm"})
    if (!norvtest::toolAvailable(tool)) return false;
  return true;
}

struct PdfCase {
  const char *name;
  int32_t mode;
  PageShape shape;
};

class PdfDocumentTest : public WriterTest, public ::testing::WithParamInterface<PdfCase> {};

// Every section in one page tree, in order; every image's globals hold the dictionaries its page
// uses, whether they came with its own section or with an earlier one that did not end final.
TEST_P(PdfDocumentTest, EverySectionShowsEveryPagePixelExact) {
  if (!pdfToolsAvailable()) GTEST_SKIP() << "PDF tools missing";
  const PdfCase c = GetParam();
  enctest::DocumentMaker maker(state_, c.mode, true);
  std::vector<SectionData> sections = threeSections(maker, c.shape);
  sections.push_back(maker.section(1, c.shape, false));
  sections.push_back(maker.section(1, c.shape, false, 0));
  sections.push_back(maker.section(2, c.shape, true));
  const std::vector<uint8_t> file = writeFile(norvenc::openPdfWriter, sections);
  const std::string text = textOf(file);
  EXPECT_EQ(text.rfind("%PDF-1.4\n", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 6), "%%EOF\n");
  // One catalog and one page tree.
  EXPECT_EQ(std::regex_search(text, std::regex("/Type /Catalog[^]*/Type /Catalog")), false);
  EXPECT_EQ(std::regex_search(text, std::regex("/Type /Pages\n[^]*/Type /Pages\n")), false);
  EXPECT_NE(text.find("/Count 9\n"), std::string::npos);
  expectPdfShowsPages(file_.name(), enctest::pagesOf(sections));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PdfDocumentTest,
    ::testing::Values(PdfCase{"Huffman300", 2, PageShape{200, 150, 300, 300}},
                      PdfCase{"Arithmetic72", 3, PageShape{96, 120, 72, 72}},
                      PdfCase{"HeightFromYResolution", 2, PageShape{200, 150, 300, 150}},
                      // Sizes that are no whole number of points: 60.72 x 79.44, 60.72 x 119.16
                      // (poppler shows the exact decimals a pixel larger).
                      PdfCase{"FractionalPoints", 2, PageShape{253, 331, 300, 300}},
                      PdfCase{"FractionalPointsUnequalResolutions", 3,
                              PageShape{253, 331, 300, 200}},
                      // 1028.571428... x 771.428571... points: cut to six decimals.
                      PdfCase{"NonTerminatingPoints", 2, PageShape{100, 75, 7, 7}}),
    [](const ::testing::TestParamInfo<PdfCase> &info) { return std::string(info.param.name); });

TEST_F(WriterTest, PdfObjectsOfOneSectionAreNumberedInWritingOrder) {
  enctest::DocumentMaker maker(state_, 2, true);
  const std::vector<SectionData> sections = {maker.section(1, PageShape{200, 150, 300, 150}, true)};
  const std::string text = textOf(writeFile(norvenc::openPdfWriter, sections));
  // 1 globals, 2 ProcSet, 3 Catalog, 4 Pages, 5 image, 6 content, 7 page.
  EXPECT_NE(text.find("1 0 obj\n<< /Length "), std::string::npos);
  EXPECT_NE(text.find("2 0 obj\n[\n/PDF /ImageB\n]\nendobj\n"), std::string::npos);
  EXPECT_NE(text.find("3 0 obj\n<<\n/Type /Catalog\n/Pages 4 0 R\n>>"), std::string::npos);
  EXPECT_NE(text.find("4 0 obj\n<<\n/Type /Pages\n/Count 1\n/Kids [ 7 0 R ]\n>>"),
            std::string::npos);
  EXPECT_NE(text.find("/Name /IID5\n/Filter /JBIG2Decode\n/DecodeParms << /JBIG2Globals 1 0 R >>"),
            std::string::npos);
  EXPECT_NE(text.find("stream\nq 48 0 0 72 0 0 cm /IID5 Do Q\nendstream"), std::string::npos);
  EXPECT_NE(text.find("7 0 obj <<\n/Type /Page\n"), std::string::npos);
  EXPECT_NE(text.find("/Parent 4 0 R\n/Contents 6 0 R\n/MediaBox [ 0 0 48 72 ]"),
            std::string::npos);
  EXPECT_NE(text.find("xref\n0 8\n0000000000 65535 f \n"), std::string::npos);
  EXPECT_NE(text.find("trailer\n<<\n/Size 8\n/Root 3 0 R\n>>\nstartxref\n"), std::string::npos);
}

// The page size and the image's matrix: a whole number of points exactly, else a millionth
// below the exact size (cut where the decimal does not end), never above it.
TEST_F(WriterTest, PdfPageSizeIsTheExactSizeInPoints) {
  struct SizeCase {
    PageShape shape;
    const char *content;
    const char *mediaBox;
  };
  for (const SizeCase &c : {
           SizeCase{
               {2528, 3300, 300, 300}, "q 606.719999 0 0 792 0 0 cm", "[ 0 0 606.719999 792 ]"},
           SizeCase{
               {2550, 3302, 300, 300}, "q 612 0 0 792.479999 0 0 cm", "[ 0 0 612 792.479999 ]"},
           SizeCase{{1700, 1100, 200, 100}, "q 612 0 0 792 0 0 cm", "[ 0 0 612 792 ]"},
           SizeCase{{100, 75, 7, 7},
                    "q 1028.571428 0 0 771.428571 0 0 cm",
                    "[ 0 0 1028.571428 771.428571 ]"},
       }) {
    SCOPED_TRACE(c.mediaBox);
    enctest::DocumentMaker maker(state_, 2, true);
    const std::string text =
        textOf(writeFile(norvenc::openPdfWriter, {maker.section(1, c.shape, true, 0)}));
    EXPECT_NE(text.find(std::string("stream\n") + c.content + " /IID4 Do Q\nendstream"),
              std::string::npos);
    EXPECT_NE(text.find(std::string("/MediaBox ") + c.mediaBox), std::string::npos);
  }
}

TEST_F(WriterTest, PdfFirstSectionWithoutDictionaryHasNoDecodeParms) {
  enctest::DocumentMaker maker(state_, 2, true);
  const std::vector<SectionData> sections = {maker.section(1, PageShape{}, true, 0)};
  const std::string text = textOf(writeFile(norvenc::openPdfWriter, sections));
  EXPECT_NE(text.find("1 0 obj\n[\n/PDF /ImageB\n]"), std::string::npos);
  EXPECT_NE(text.find("/Name /IID4\n"), std::string::npos);
  EXPECT_EQ(text.find("/DecodeParms"), std::string::npos);
  if (pdfToolsAvailable()) expectPdfShowsPages(file_.name(), enctest::pagesOf(sections));
}

// Pages of generic regions only, in sections with and without dictionaries: poppler shows them
// pixel for pixel too.
TEST_F(WriterTest, PdfOfGenericRegionsShowsInPoppler) {
  if (!pdfToolsAvailable()) GTEST_SKIP() << "PDF tools missing";
  enctest::DocumentMaker maker(state_, 2, true);
  maker.genericOnly();
  std::vector<SectionData> sections;
  sections.push_back(maker.section(2, PageShape{}, false, 0));
  sections.push_back(maker.section(1, PageShape{}, true, 0));
  writeFile(norvenc::openPdfWriter, sections);
  expectPdfShowsPages(file_.name(), enctest::pagesOf(sections), Poppler::Exact);
}

TEST_F(WriterTest, EmptyPdfHasCatalogAndEmptyPageTree) {
  const std::string text = textOf(writeFile(norvenc::openPdfWriter, {}));
  EXPECT_NE(text.find("/Type /Catalog\n/Pages 3 0 R"), std::string::npos);
  EXPECT_NE(text.find("3 0 obj\n<<\n/Type /Pages\n/Count 0\n/Kids [ ]"), std::string::npos);
  EXPECT_NE(text.find("/Root 2 0 R"), std::string::npos);
  if (!norvtest::toolAvailable("qpdf")) return;
  const norvtest::ToolRun check =
      norvtest::runTool("qpdf --check " + norvtest::shellQuote(file_.name()) + " 2>&1");
  EXPECT_EQ(check.status, 0) << check.text();
}

// Twelve sections, each with a dictionary of its own, alternately carried and final.
TEST_F(WriterTest, TwelveSectionDictionariesInOnePdf) {
  if (!pdfToolsAvailable()) GTEST_SKIP() << "PDF tools missing";
  enctest::DocumentMaker maker(state_, 2, true);
  std::vector<SectionData> sections;
  for (int k = 0; k < 12; ++k) sections.push_back(maker.section(1, PageShape{}, k % 3 == 2));
  writeFile(norvenc::openPdfWriter, sections);
  expectPdfShowsPages(file_.name(), enctest::pagesOf(sections), Poppler::None);
}

}  // namespace
