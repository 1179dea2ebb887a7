// Test support of the output writers: JBIG2 data made at test time by the library's own JBIG2
// output (section dictionaries, page dictionaries, text regions of placed symbols and a generic
// region per page), the page each piece of data should decode to, and the writers fed section by
// section the way the encoder feeds them.
#ifndef NORV_WRITER_SUPPORT_H
#define NORV_WRITER_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "jbig2_output.h"
#include "output_writer.h"
#include "testkit_pnm.h"

namespace enctest {

// Packed rows, leftmost pixel in the top bit of each word.
struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> words;

  int32_t wordsPerRow() const { return (width + 31) / 32; }
  bool pixel(int32_t x, int32_t y) const {
    return (words[size_t(y) * wordsPerRow() + x / 32] >> (31 - x % 32)) & 1;
  }
  void set(int32_t x, int32_t y) {
    words[size_t(y) * wordsPerRow() + x / 32] |= 1u << (31 - x % 32);
  }
};

// The data of one page and the page it decodes to (P4, 1 = black).
struct PageData {
  int32_t width = 0;
  int32_t height = 0;
  int32_t xdpi = 0;
  int32_t ydpi = 0;
  std::vector<uint8_t> bytes;    // JBIG2 page segments
  std::vector<uint8_t> payload;  // colour-token payload written after them (TIFF-FX only)
  norvtest::Pnm model;
};

struct SectionData {
  std::vector<uint8_t> globals;  // section dictionary segments; empty: none
  std::vector<PageData> pages;
  bool final = true;  // the section's dictionaries are forgotten after it
};

// The geometry of the pages of a section.
struct PageShape {
  int32_t width = 200;
  int32_t height = 150;
  int32_t xdpi = 300;
  int32_t ydpi = 300;
};

// Writes sections through one JBIG2 output handle (mode as the encoder's output mode; single-page
// mode for PDF). Each page places symbols of its section's dictionary, of the dictionaries of
// earlier sections still carried (a non-final section carries its own into the next), and of
// its own page dictionary, and one generic region.
class DocumentMaker {
 public:
  DocumentMaker(QtzState *state, int32_t mode, bool singlePage, uint32_t seed = 5);
  ~DocumentMaker();
  DocumentMaker(const DocumentMaker &) = delete;
  DocumentMaker &operator=(const DocumentMaker &) = delete;

  // A section of `pages` pages; sharedSymbols: symbols of its own section dictionary (0: no
  // section dictionary, the pages use carried and page symbols only).
  SectionData section(int pages, const PageShape &shape, bool final, int sharedSymbols = 6);
  // From now on pages hold their generic region only (no page dictionary, no text region).
  void genericOnly() { genericOnly_ = true; }

 private:
  TclySymbolRecord newSymbol();
  PageData page(const PageShape &shape, const std::vector<TclySymbolRecord *> &sectionSymbols);
  void placeSymbols(PageData &p, const PageShape &shape,
                    const std::vector<TclySymbolRecord *> &sectionSymbols);
  std::vector<uint8_t> take();

  QtzState *state_;
  QtzJb2Output *out_ = nullptr;
  TclyOutOps ops_{};
  std::mt19937 random_;
  std::deque<Bitmap> bitmaps_;
  std::deque<std::vector<TclySymbolRecord>> sectionSymbols_;  // each section's, contiguous
  std::vector<TclySymbolRecord *> carried_;  // section symbols pages may still refer to
  int32_t pageNumber_ = 0;
  bool genericOnly_ = false;
};

// A copy of the bytes in a block of the state's hooks (none for no bytes).
uint8_t *ownedCopy(QtzState *state, const std::vector<uint8_t> &bytes);

// Feeds the sections to the writer as the encoder does (pages, globals, mask layers with their
// payload, writeSection with the section's final flag); the first failure.
int32_t writeSections(NorvOutputWriter *writer, const std::vector<SectionData> &sections);

// The pages of a document in order.
std::vector<const PageData *> pagesOf(const std::vector<SectionData> &sections);

// Opens a writer over a new file at path ("wb"); the I/O block gets the C library's functions.
NorvOutputIo fileIo(const std::string &path);

}  // namespace enctest

#endif
