#include "driver_support.h"

#include <tiffio.h>

#include <cstdio>

#include "testkit_files.h"
#include "testkit_tools.h"
#include "writer_support.h"

namespace enctest {
namespace {

constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 12;

void setBlack(norvtest::Pnm &p, int x, int y) {
  if (x >= 0 && y >= 0 && x < p.width && y < p.height)
    p.row(y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

// Glyph k: a left stem, bars chosen by the bits of k + 1, a right stem for half of them; every
// part touches the stem, so a glyph is one connected component.
void drawGlyph(norvtest::Pnm &p, int left, int top, int k) {
  const int bits = k + 1;
  for (int y = 0; y < kGlyphHeight; ++y) {
    setBlack(p, left, top + y);
    setBlack(p, left + 1, top + y);
  }
  const int rows[3] = {0, kGlyphHeight / 2, kGlyphHeight - 2};
  for (int b = 0; b < 3; ++b) {
    if ((bits >> b & 1) == 0) continue;
    for (int x = 2; x < kGlyphWidth; ++x) {
      setBlack(p, left + x, top + rows[b]);
      setBlack(p, left + x, top + rows[b] + 1);
    }
  }
  if ((bits & 8) != 0) {
    for (int y = 0; y < kGlyphHeight; ++y) setBlack(p, left + kGlyphWidth - 1, top + y);
  }
  // Higher bits: 2 x 2 blocks beside the stem, rows 3, 8 and 10 down.
  const int blocks[3] = {3, 8, 10};
  for (int b = 0; b < 3; ++b) {
    if ((bits >> (4 + b) & 1) == 0) continue;
    for (int y = 0; y < 2; ++y)
      for (int x = 2; x < 4; ++x) setBlack(p, left + x, top + blocks[b] - 1 + y);
  }
}

}  // namespace

norvtest::Pnm glyphPage(int width, int height, uint32_t seed, int alphabet, int firstShape) {
  norvtest::Pnm p;
  p.kind = '4';
  p.width = width;
  p.height = height;
  p.raster.assign(static_cast<size_t>(p.rowBytes()) * height, 0);
  uint32_t x = seed * 2654435761u + 12345u;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 16;
  };
  for (int top = 4; top + kGlyphHeight + 2 <= height; top += kGlyphHeight + 6) {
    int left = 4;
    while (true) {
      const int letters = 2 + static_cast<int>(next() % 5);
      if (left + letters * (kGlyphWidth + 2) + 4 > width) break;
      for (int i = 0; i < letters; ++i) {
        drawGlyph(p, left, top, firstShape + static_cast<int>(next() % alphabet));
        left += kGlyphWidth + 2;
      }
      left += 6;
    }
  }
  return p;
}

norvtest::Pnm colourPage(int width, int height) {
  norvtest::Pnm p;
  p.kind = '6';
  p.width = width;
  p.height = height;
  p.raster.assign(static_cast<size_t>(p.rowBytes()) * height, 0);
  const norvtest::Pnm text = glyphPage(width, height, 7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t *px = p.row(y) + 3 * x;
      const bool ink = (text.row(y)[x / 8] >> (7 - x % 8) & 1) != 0;
      const bool block = x >= width * 3 / 4 && y >= height * 2 / 3;
      px[0] = ink ? 20 : block ? 200 : static_cast<uint8_t>(230 + x * 20 / width);
      px[1] = ink ? 30 : block ? 30 : static_cast<uint8_t>(230 + y * 20 / height);
      px[2] = ink ? 120 : block ? 40 : 225;
    }
  }
  return p;
}

bool writeTiff(const std::string &path, const std::vector<SourcePage> &pages) {
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  bool ok = true;
  for (const SourcePage &page : pages) {
    const norvtest::Pnm &r = page.raster;
    const bool bilevel = r.kind == '4';
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(r.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(r.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bilevel ? 1 : 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(r.height));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    if (page.xdpi > 0) TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.xdpi);
    if (page.ydpi > 0) TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.ydpi);
    if (page.xdpi > 0 || page.ydpi > 0) TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint8_t> row(static_cast<size_t>(r.rowBytes()));
    for (int y = 0; y < r.height && ok; ++y) {
      std::copy(r.row(y), r.row(y) + r.rowBytes(), row.begin());
      ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
  }
  TIFFClose(tif);
  return ok;
}

bool spoilTiffPage(const std::string &path, int index) {
  std::vector<uint8_t> bytes = norvtest::readFile(path);
  auto load = [&bytes](size_t at, int size) {
    uint32_t value = 0;
    for (int k = size - 1; k >= 0; --k) value = value << 8 | bytes[at + size_t(k)];
    return value;
  };
  if (bytes.size() < 8 || bytes[0] != 'I') return false;
  size_t ifd = load(4, 4);
  for (int k = 0; k < index && ifd != 0 && ifd + 2 <= bytes.size(); ++k) {
    const size_t next = ifd + 2 + size_t(load(ifd, 2)) * 12;
    ifd = next + 4 <= bytes.size() ? load(next, 4) : 0;
  }
  if (ifd == 0 || ifd + 2 > bytes.size()) return false;
  const uint32_t entries = load(ifd, 2);
  for (uint32_t e = 0; e < entries && ifd + 2 + (e + 1) * 12 <= bytes.size(); ++e) {
    const size_t entry = ifd + 2 + e * 12;
    if (load(entry, 2) != TIFFTAG_COMPRESSION) continue;
    bytes[entry + 8] = COMPRESSION_ADOBE_DEFLATE;
    bytes[entry + 9] = 0;
    return norvtest::writeFile(path, bytes);
  }
  return false;
}

bool writeEmptyTiff(const std::string &path) {
  return norvtest::writeFile(path, std::vector<uint8_t>{'I', 'I', 42, 0, 0, 0, 0, 0});
}

std::vector<norvtest::Pnm> readTiffPages(const std::string &path) {
  std::vector<norvtest::Pnm> pages;
  TIFF *tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return pages;
  do {
    uint32_t width = 0, height = 0;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    norvtest::Pnm p;
    p.kind = '4';
    p.width = int(width);
    p.height = int(height);
    p.raster.assign(static_cast<size_t>(p.rowBytes()) * height, 0);
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif, row.data(), y, 0) != 1) return {};
      for (int b = 0; b < p.rowBytes(); ++b)
        p.row(int(y))[b] = photometric == PHOTOMETRIC_MINISWHITE ? row[b] : uint8_t(~row[b]);
      // Bits past the last column are not part of the page.
      if (width % 8 != 0) p.row(int(y))[p.rowBytes() - 1] &= uint8_t(0xFF00 >> (width % 8));
    }
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(tif) == 1);
  TIFFClose(tif);
  return pages;
}

std::vector<norvtest::Pnm> jbig2decPages(const std::string &path) {
  const norvtest::ToolRun run =
      norvtest::runTool("jbig2dec -q -t pbm -o - " + norvtest::shellQuote(path) + " 2>/dev/null");
  if (run.status != 0) return {};
  return norvtest::parsePnms(run.output);
}

norvtest::Pnm pnmOfDecodedPage(const QtzImage *page) {
  norvtest::Pnm p;
  p.kind = '4';
  p.width = page->hdr.width;
  p.height = page->hdr.height;
  p.raster.assign(size_t(p.rowBytes()) * p.height, 0);
  for (int y = 0; y < p.height; ++y) {
    const auto *row = reinterpret_cast<const uint32_t *>(page->rows[y + page->hdr.yoff]);
    for (int x = 0; x < p.width; ++x)
      if ((row[x >> 5] >> (31 - (x & 31))) & 1) p.row(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return p;
}

}  // namespace enctest
