// End-to-end checks of the document encoder: source documents made from the bundled test pages
// (converted through e2e_encode.h), and the outside readers that take the results apart again, each
// giving the pages as P4 rasters:
// - TIFF-FX: the container reader (page count, mask layer geometry, the global data blocks each
//   mask strip names), tiffinfo and tiffdump, and jbig2dec on each page's global data and strip;
// - raw JBIG2: jbig2dec on the whole file;
// - PDF: qpdf --check, pdfimages -list (one JBIG2 image per page, of the page's size), and the
//   pages rendered by poppler (pdftocairo; pdftoppm) and by mutool draw, each at its own
//   resolution. pdftoppm's rasteriser does not draw a 1-bit image at 1:1 pixel for pixel: its
//   monochrome output is dithered differently from run to run, its grey output smooths edges
//   (both also for a page holding the plain, uncompressed input image). So pdftoppm renders
//   grey, and its pages are compared with its grey rendering of the input page
//   (splashReference), sample for sample.
// Structural findings are gtest failures; the rasters are compared by the tests.
#ifndef NORV_E2E_DOCUMENTS_H
#define NORV_E2E_DOCUMENTS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_encode.h"
#include "testkit_files.h"
#include "testkit_pnm.h"

namespace e2e {

// The bundled test pages (file names, in page order) and their paths.
const std::vector<std::string> &testPages();
std::string pagePath(const std::string &page);
// The resolution a test page is rendered at (from its name: p01_t300_..., 300).
int pageDpi(const std::string &page);
// The page's pixels as its TIFF holds them (through tifftopnm), read once per program run.
const norvtest::Pnm &sourcePage(const std::string &page);
// `count` pages taken from the test pages in turn, starting at `first`.
std::vector<std::string> cyclePages(size_t first, size_t count);
// A multi-page TIFF of the pages in order (tiffcp) at dir/name; "" when it cannot be made.
std::string makeDocument(const norvtest::TempDir &dir, const std::string &name,
                         const std::vector<std::string> &pages);

// The pages of an output file as each reader shows them; for TIFF-FX also the number of
// global data blocks the pages refer to.
std::vector<norvtest::Pnm> readTfx(const std::string &path, size_t *globalBlocks = nullptr);
std::vector<norvtest::Pnm> readRawJbig2(const std::string &path);
// qpdf's check and pdfimages' list against the expected page sizes.
void checkPdfStructure(const std::string &path, const std::vector<std::string> &pages);
enum class Renderer { PopplerCairo, PopplerSplash, Mutool };
// Every page rendered at the resolution of the source page in the same place.
std::vector<norvtest::Pnm> renderPdf(const std::string &path, Renderer renderer,
                                     const std::vector<std::string> &pages);

// The source page as pdftoppm renders it in grey at its resolution from a PDF page of the page's
// size that holds the page as an uncompressed 1-bit image; made once per program run.
const norvtest::Pnm &splashReference(const std::string &page);

// For every image of the PDF in order (one per page): whether its JBIG2 data holds a generic
// region coded with MMR (T.6). Poppler's JBIG2 decoder does not decode every T.6 bitmap exactly
// (the test PlainT6RegionDecodesExactlyExceptInPoppler shows it on a page whose T.6 data
// no code of ours made).
std::vector<bool> pdfImagesWithMmrRegions(const std::string &path);

// A one-page PDF at dir/t6.pdf whose image is a JBIG2 stream of the test page as one MMR generic
// region holding the page's own Group 4 strip (T.6 data made by Ghostscript); "" on failure.
std::string plainT6Pdf(const norvtest::TempDir &dir, const std::string &page);

// Samples that differ between two P5 pages; -1 when they differ in kind or size.
int64_t differingSamples(const norvtest::Pnm &a, const norvtest::Pnm &b);

}  // namespace e2e

#endif
