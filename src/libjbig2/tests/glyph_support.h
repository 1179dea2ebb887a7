// Test support of the symbol dictionary and text region encoders: glyphs (symbol bitmaps the
// test owns), pages made of placed glyphs (from the connected components of a rendered page,
// or laid out by a test), the page model they draw, and whole-page streams around the
// segments a test writes, decoded by the library's decoder and by jbig2dec.
#ifndef NORV_JBIG2_GLYPH_SUPPORT_H
#define NORV_JBIG2_GLYPH_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "encode_support.h"
#include "jbig2_seg_write.h"
#include "jbig2_symbol_encode.h"
#include "jbig2_test_support.h"

namespace jbtest {

// A symbol bitmap: rows of (width + 31) / 32 words, leftmost pixel in the top bit.
struct Glyph {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> words;
  int32_t wordsPerRow() const { return (width + 31) / 32; }
  int pixel(int x, int y) const {
    return (words[static_cast<size_t>(y) * wordsPerRow() + x / 32] >> (31 - x % 32)) & 1;
  }
  void set(int x, int y) {
    words[static_cast<size_t>(y) * wordsPerRow() + x / 32] |= 0x80000000u >> (x % 32);
  }
};

inline Glyph blankGlyph(int32_t width, int32_t height) {
  Glyph g;
  g.width = width;
  g.height = height;
  g.words.assign(static_cast<size_t>(g.wordsPerRow()) * height, 0);
  return g;
}

// A glyph of random pixels; the bits past the width in each row's last word are set too
// (encoders must not take them).
inline Glyph randomGlyph(int32_t width, int32_t height, std::mt19937 &random) {
  Glyph g = blankGlyph(width, height);
  for (uint32_t &w : g.words) w = static_cast<uint32_t>(random());
  for (int y = 0; y < height; ++y)
    if (width % 32 != 0) g.words[(y + 1) * static_cast<size_t>(g.wordsPerRow()) - 1] |= 1;
  return g;
}

struct Placement {
  int32_t glyph;
  int32_t x;
  int32_t y;
};

struct GlyphPage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<Glyph> glyphs;
  std::vector<Placement> placements;
};

inline int pnmPixel(const norvtest::Pnm &p, int x, int y) {
  return (p.row(y)[x / 8] >> (7 - x % 8)) & 1;
}

// The 8-connected components of a bilevel page, each placed at its bounding box; components
// with equal bitmaps share one glyph.
inline GlyphPage componentsOf(const norvtest::Pnm &page) {
  GlyphPage out;
  out.width = page.width;
  out.height = page.height;
  std::vector<uint8_t> seen(static_cast<size_t>(page.width) * page.height);
  std::map<std::tuple<int32_t, int32_t, std::vector<uint32_t>>, int32_t> known;
  std::vector<std::pair<int, int>> stack, pixels;
  for (int y0 = 0; y0 < page.height; ++y0)
    for (int x0 = 0; x0 < page.width; ++x0) {
      if (seen[size_t(y0) * page.width + x0] || !pnmPixel(page, x0, y0)) continue;
      pixels.clear();
      stack.assign(1, {x0, y0});
      seen[size_t(y0) * page.width + x0] = 1;
      int left = x0, right = x0, top = y0, bottom = y0;
      while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        pixels.push_back({x, y});
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= page.width || ny >= page.height) continue;
            uint8_t &s = seen[size_t(ny) * page.width + nx];
            if (s || !pnmPixel(page, nx, ny)) continue;
            s = 1;
            stack.push_back({nx, ny});
          }
      }
      Glyph g = blankGlyph(right - left + 1, bottom - top + 1);
      for (const auto &[x, y] : pixels) g.set(x - left, y - top);
      auto [it, added] =
          known.try_emplace({g.width, g.height, g.words}, static_cast<int32_t>(out.glyphs.size()));
      if (added) out.glyphs.push_back(std::move(g));
      out.placements.push_back({it->second, left, top});
    }
  return out;
}

// The page rotated into columns: pixel (x, y) moves to (y, x).
inline norvtest::Pnm transposed(const norvtest::Pnm &page) {
  norvtest::Pnm out;
  out.kind = '4';
  out.width = page.height;
  out.height = page.width;
  out.raster.assign(static_cast<size_t>(out.rowBytes()) * out.height, 0);
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x)
      if (pnmPixel(page, x, y)) out.row(x)[y / 8] |= static_cast<uint8_t>(0x80 >> (y % 8));
  return out;
}

// The page the placements draw (OR), clipped to the page.
inline Pbm drawPage(const GlyphPage &p) {
  Pbm out;
  out.width = p.width;
  out.height = p.height;
  const int rowBytes = (p.width + 7) / 8;
  out.bytes.assign(static_cast<size_t>(rowBytes) * p.height, 0);
  for (const Placement &pl : p.placements) {
    const Glyph &g = p.glyphs[pl.glyph];
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        const int64_t px = int64_t{pl.x} + x, py = int64_t{pl.y} + y;
        if (px < 0 || py < 0 || px >= p.width || py >= p.height || !g.pixel(x, y)) continue;
        out.bytes[py * rowBytes + px / 8] |= static_cast<uint8_t>(0x80 >> (px % 8));
      }
  }
  return out;
}

// Symbol records over the glyphs' bitmaps (the glyphs stay the owners).
inline std::vector<Jbig2Symbol> symbolsOf(std::vector<Glyph> &glyphs) {
  std::vector<Jbig2Symbol> symbols;
  for (Glyph &g : glyphs)
    symbols.push_back({g.width, g.height, g.words.data(), g.wordsPerRow(), 0, 0, 0});
  return symbols;
}

// Instances of the placements, each pointing at the symbol record whose bitmap is its glyph's
// (dictionaries written with keepOrder reorder their records).
inline std::vector<Jbig2SymbolInstance> instancesOf(const GlyphPage &p,
                                                    const std::vector<Jbig2Symbol> &symbols) {
  std::map<const uint32_t *, const Jbig2Symbol *> byBitmap;
  for (const Jbig2Symbol &s : symbols) byBitmap[s.bitmap] = &s;
  std::vector<Jbig2SymbolInstance> out;
  for (const Placement &pl : p.placements)
    out.push_back({pl.x, pl.y, byBitmap.at(p.glyphs[pl.glyph].words.data()), nullptr, 0});
  return out;
}

// The segments of one page around what body writes: page information, body, end of page.
template <typename Body>
void writePage(Jb2File *stream, int32_t width, int32_t height, Body &&body) {
  Jbig2PageRecord info{};
  info.header.page = 1;
  info.info = {
      static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(writePageInfo(stream, &info), 0);
  body();
  if (::testing::Test::HasFatalFailure()) return;
  Jbig2SegHeader end{};
  end.page = 1;
  ASSERT_EQ(writeEndOfPage(stream, &end), 0);
}

// Checks a page stream against the model with the library's decoder and with jbig2dec.
inline void expectPageDecodes(QtzState *state, const std::vector<uint8_t> &bytes,
                              const Pbm &model) {
  QtzImage *page = nullptr;
  EXPECT_EQ(decodeStream(state, bytes, &page), 0);
  EXPECT_EQ(differingPixels(page, model), 0) << "the library's decoder";
  if (page != nullptr) QtzImage_free(page);
  if (!norvtest::toolAvailable("jbig2dec")) return;
  const OutsideDecode d = decodeWithJbig2dec(bytes, true);
  EXPECT_EQ(d.run.status, 0) << d.run.text();
  EXPECT_EQ(d.run.text().find("WARNING"), std::string::npos) << d.run.text();
  ASSERT_EQ(d.page.kind, '4') << d.run.text();
  EXPECT_EQ(d.page.width, model.width);
  EXPECT_EQ(d.page.height, model.height);
  EXPECT_TRUE(d.page.raster == model.bytes) << "jbig2dec";
}

// A one-page PDF 1.4 file showing the embedded stream as a width x height image on a page of
// width x height points. The end-of-page segment is left out, as PDF asks of embedded streams.
inline std::string pdfOfPage(const std::vector<uint8_t> &stream,
                             const std::vector<ParsedHeader> &headers, int width, int height) {
  std::string data;
  size_t offset = 0;
  for (const ParsedHeader &h : headers) {
    const size_t size = h.headerBytes + h.dataLength;
    if (h.type != 49) data.append(stream.begin() + offset, stream.begin() + offset + size);
    offset += size;
  }
  const std::string w = std::to_string(width), h = std::to_string(height);
  const std::string content = "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q";
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h +
          "] /Resources << /XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /XObject /Subtype /Image /Width " + w + " /Height " + h +
          " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode /Length " +
          std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t k = 0; k < std::size(objects); ++k) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 6\n0000000000 65535 f \n";
  for (const size_t o : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
    pdf += line;
  }
  pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// A page stream (page association 1, its headers parsed) put in a PDF and rendered by poppler's
// pdftoppm: the pixels that differ from the model, -1 (with a failure) when the render fails or
// reports anything. Rendered at four times the page's resolution and read at the centre of each
// page pixel (the renderer's one-to-one image scaling moves edges). The caller skips without
// pdftoppm.
inline int64_t popplerDifferingPixels(const std::vector<uint8_t> &stream,
                                      const std::vector<ParsedHeader> &headers, const Pbm &model) {
  norvtest::TempDir dir;
  const std::string pdf = dir.file("page.pdf");
  if (!dir.made() ||
      !norvtest::writeFile(pdf, pdfOfPage(stream, headers, model.width, model.height))) {
    ADD_FAILURE() << "cannot write " << pdf;
    return -1;
  }
  const norvtest::ToolRun run =
      norvtest::runTool("pdftoppm -mono -aa no -aaVector no -r 288 " + norvtest::shellQuote(pdf) +
                        " " + norvtest::shellQuote(dir.file("out")) + " 2>&1");
  const norvtest::Pnm out = norvtest::readPnm(dir.file("out-1.pbm"));
  if (run.status != 0 || !run.text().empty() || out.kind != '4' || out.width != 4 * model.width ||
      out.height != 4 * model.height) {
    ADD_FAILURE() << "pdftoppm: " << run.text();
    return -1;
  }
  int64_t differing = 0;
  for (int y = 0; y < model.height; ++y)
    for (int x = 0; x < model.width; ++x)
      differing += pnmPixel(out, 4 * x + 2, 4 * y + 2) !=
                   ((model.bytes[size_t(y) * ((model.width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1);
  return differing;
}

// The bytes of a page stream and the numbers of its dictionary and text region.
struct PageSegments {
  std::vector<uint8_t> bytes;
  uint32_t dict = 0;
  uint32_t region = 0;
};

class GlyphPageTest : public SinkStreamTest {
 protected:
  // One page: a dictionary of the page's glyphs (kept in coding order) and one text region of
  // its placements, coded with the options.
  PageSegments encodePage(GlyphPage &page, const Jb2Options &options, bool keepOrder = false) {
    std::vector<Jbig2Symbol> symbols = symbolsOf(page.glyphs);
    PageSegments out;
    out.bytes = writtenBy([&](Jb2File *stream) {
      jb2SetOptions(stream, &options);
      writePage(stream, page.width, page.height, [&] {
        Jbig2SymbolDictRecord dict{};
        dict.header.page = 1;
        dict.numSymbols = static_cast<int32_t>(symbols.size());
        dict.symbols = symbols.data();
        int32_t status = encodeSymbolDict(stream, &dict, nullptr, 0, nullptr, nullptr, true);
        freeSegReferences(stream, &dict.header);
        ASSERT_EQ(status, 0) << errors_.text();
        std::vector<Jbig2SymbolInstance> instances = instancesOf(page, symbols);
        Jbig2TextRegionRecord region{};
        region.header.type = 6;
        region.header.page = 1;
        region.region = {page.width, page.height, 0, 0, 0};
        region.numInstances = static_cast<int32_t>(instances.size());
        region.instances = instances.data();
        const Jbig2SegHeader *refs[] = {&dict.header};
        ASSERT_EQ(segAddReferences(stream, &region.header, refs, 1), 0);
        const Jbig2SymbolDictRecord *dicts[] = {&dict};
        status = encodeTextRegion(stream, &region, dicts, nullptr, nullptr, keepOrder);
        freeSegReferences(stream, &region.header);
        ASSERT_EQ(status, 0) << errors_.text();
        out.dict = static_cast<uint32_t>(dict.header.number);
        out.region = static_cast<uint32_t>(region.header.number);
      });
    });
    return out;
  }

  // encodePage, with the page read back by both decoders.
  PageSegments roundTripPage(GlyphPage &page, const Jb2Options &options, bool keepOrder = false) {
    PageSegments out = encodePage(page, options, keepOrder);
    if (!HasFatalFailure()) expectPageDecodes(state_, out.bytes, drawPage(page));
    return out;
  }

  // The data of segment `number`.
  std::vector<uint8_t> dataOf(const PageSegments &page, uint32_t number) {
    size_t offset = 0;
    for (const ParsedHeader &h : parseAll(page.bytes)) {
      offset += h.headerBytes;
      if (h.number == number)
        return std::vector<uint8_t>(page.bytes.begin() + offset,
                                    page.bytes.begin() + offset + h.dataLength);
      offset += h.dataLength;
    }
    return {};
  }
};

}  // namespace jbtest

#endif
