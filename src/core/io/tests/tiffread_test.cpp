// The TIFF page reader's rules beyond what tifftopnm shows: resolutions (units, missing
// values, clamping), palette entries from the high bytes of the file's map, the sample
// layouts and tilings it refuses, Compression values it cannot read, corrupt and hostile
// strips (short data, byte counts past the end of the file), pages of one open file read in
// any order, and its argument checks.
#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "testkit_fax_code.h"
#include "tiffpage_support.h"

namespace {

using iotest::Context;
using tiffpagetest::readPage;

struct Fields {
  uint32_t width = 16, height = 4;
  uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t compression = COMPRESSION_NONE;
  float xres = -1, yres = -1;  // written when not negative
  uint16_t unit = 0;           // written when not 0
  uint32_t tileWidth = 0, tileLength = 0;
  std::vector<uint16_t> map;  // red, green, blue tables
};

// A one-page file written by libtiff with the fields and zero pixels (a value pattern).
bool makeFile(const std::string &path, const Fields &f) {
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, f.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, f.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, f.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, f.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, f.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, f.compression);
  if (f.xres >= 0) TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(f.xres));
  if (f.yres >= 0) TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(f.yres));
  if (f.unit != 0) TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, f.unit);
  if (!f.map.empty()) {
    const size_t n = f.map.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, f.map.data(), f.map.data() + n, f.map.data() + 2 * n);
  }
  bool ok = true;
  if (f.tileWidth != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, f.tileWidth);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, f.tileLength);
    std::vector<uint8_t> tile(TIFFTileSize64(tif), 0x5A);
    for (uint32_t t = 0; t < TIFFNumberOfTiles(tif) && ok; ++t)
      ok = TIFFWriteEncodedTile(tif, t, tile.data(), static_cast<tmsize_t>(tile.size())) >= 0;
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, f.height);
    std::vector<uint8_t> strip(TIFFStripSize64(tif));
    for (size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<uint8_t>(i * 29 + 3);
    ok = TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size())) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

// Sets the value of a one-value SHORT or LONG entry of the first directory of a classic
// little-endian TIFF file; with `renamed`, gives the entry that tag number instead.
bool patchEntry(std::vector<uint8_t> &bytes, uint16_t tag, uint32_t value, uint16_t renamed = 0) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  if (bytes.size() < 8 || bytes[0] != 'I') return false;
  const size_t ifd = u32(4);
  for (uint32_t i = 0; i < u16(ifd); ++i) {
    const size_t entry = ifd + 2 + 12 * i;
    if (u16(entry) != tag) continue;
    if (renamed != 0) {
      bytes[entry] = static_cast<uint8_t>(renamed), bytes[entry + 1] = renamed >> 8;
      return true;
    }
    const bool isShort = u16(entry + 2) == TIFF_SHORT;
    for (int k = 0; k < (isShort ? 2 : 4); ++k)
      bytes[entry + 8 + k] = static_cast<uint8_t>(value >> (8 * k));
    return true;
  }
  return false;
}

TEST(TiffRead, Resolution) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("res.tif");
  struct Case {
    float xres, yres;  // -1: the field is missing
    uint16_t unit;
    int32_t x, y;
  };
  const Case cases[] = {
      {100, 100, RESUNIT_CENTIMETER, 16646144, 16646144},  // 254 dpi
      {118.11f, 118.11f, RESUNIT_CENTIMETER, 19660760, 19660760},
      {300, 150, RESUNIT_INCH, 300 << 16, 150 << 16},
      {72, 96, RESUNIT_NONE, 72 << 16, 96 << 16},
      {300, -1, RESUNIT_INCH, 0, 0},  // no YResolution
      {-1, 300, 0, 0, 0},             // no XResolution
      {1e6f, 40000, RESUNIT_INCH, INT32_MAX, INT32_MAX},
      {20000, 20000, RESUNIT_CENTIMETER, INT32_MAX, INT32_MAX},
  };
  for (const Case &k : cases) {
    Fields f;
    f.xres = k.xres < 0 ? 1 : k.xres, f.yres = k.yres < 0 ? 1 : k.yres, f.unit = k.unit;
    ASSERT_TRUE(makeFile(path, f));
    // libtiff writes both resolutions or neither: a missing one is renamed to a private tag.
    std::vector<uint8_t> bytes = iotest::readFile(path);
    if (k.xres < 0) {
      ASSERT_TRUE(patchEntry(bytes, TIFFTAG_XRESOLUTION, 0, 65000));
    }
    if (k.yres < 0) {
      ASSERT_TRUE(patchEntry(bytes, TIFFTAG_YRESOLUTION, 0, 65001));
    }
    ASSERT_TRUE(iotest::writeFile(path, bytes));
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readPage(c.ctx, path, 1, &image.pix));
    EXPECT_EQ(k.x, image.pix->xResolution) << k.xres << " " << k.yres << " unit " << k.unit;
    EXPECT_EQ(k.y, image.pix->yResolution) << k.xres << " " << k.yres << " unit " << k.unit;
  }
}

TEST(TiffRead, PaletteTakesTheHighBytesOfTheMap) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("palette.tif");
  for (uint16_t bits : {2, 4, 8}) {
    Fields f;
    f.bits = bits, f.photometric = PHOTOMETRIC_PALETTE;
    const size_t n = size_t{1} << bits;
    for (size_t i = 0; i < 3 * n; ++i) f.map.push_back(static_cast<uint16_t>(i * 2311 + 0xFF));
    ASSERT_TRUE(makeFile(path, f));
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readPage(c.ctx, path, 1, &image.pix));
    ASSERT_NE(nullptr, image.pix->colorMap);
    ASSERT_EQ(n, image.pix->colorMap->count);
    for (size_t i = 0; i < n; ++i)
      for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(f.map[k * n + i] >> 8, image.pix->colorMap->entries[4 * i + k]) << bits;
  }
}

TEST(TiffRead, RefusedLayouts) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("layout.tif");
  struct Case {
    const char *what;
    Fields fields;
    int32_t status;
  };
  auto with = [](auto change) {
    Fields f;
    change(f);
    return f;
  };
  const Case cases[] = {
      {"16-bit grey", with([](Fields &f) { f.bits = 16, f.photometric = 1; }), 106},
      {"CMYK", with([](Fields &f) { f.bits = 8, f.samples = 4, f.photometric = 5; }), 106},
      {"YCbCr", with([](Fields &f) { f.bits = 8, f.samples = 3, f.photometric = 6; }), 106},
      {"16-bit RGB", with([](Fields &f) { f.bits = 16, f.samples = 3, f.photometric = 2; }), 106},
      {"two samples", with([](Fields &f) { f.bits = 8, f.samples = 2, f.photometric = 1; }), 106},
      {"two tiles", with([](Fields &f) { f.width = 40, f.tileWidth = f.tileLength = 32; }), 2006},
  };
  for (const Case &k : cases) {
    ASSERT_TRUE(makeFile(path, k.fields)) << k.what;
    iotest::OwnedImage image(c.ctx);
    EXPECT_EQ(k.status, readPage(c.ctx, path, 1, &image.pix)) << k.what;
    EXPECT_EQ(nullptr, image.pix) << k.what;
  }
  // One tile larger than the image in both directions reads as the image.
  Fields tiled;
  tiled.width = 20, tiled.height = 9, tiled.tileWidth = 32, tiled.tileLength = 16;
  ASSERT_TRUE(makeFile(path, tiled));
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, readPage(c.ctx, path, 1, &image.pix));
  EXPECT_EQ(20, image.pix->width);
  EXPECT_EQ(9, image.pix->height);
}

TEST(TiffRead, UnreadableCompressionsAndCorruptStrips) {
  Context c;
  iotest::TempDir dir;
  const std::string base = dir.file("base.tif"), path = dir.file("patched.tif");
  ASSERT_TRUE(makeFile(base, Fields{}));
  struct Case {
    uint32_t compression;
    const char *message;
  };
  for (const Case &k : {Case{6, "JPEG strip decoding is not implemented"},
                        Case{12345, "Unknown data compression algorithm 12345 (0x3039)"}}) {
    std::vector<uint8_t> bytes = iotest::readFile(base);
    ASSERT_TRUE(patchEntry(bytes, TIFFTAG_COMPRESSION, k.compression));
    ASSERT_TRUE(iotest::writeFile(path, bytes));
    c.lines.clear();
    iotest::OwnedImage image(c.ctx);
    EXPECT_EQ(2000, readPage(c.ctx, path, 1, &image.pix));
    bool said = false;
    for (const std::string &line : c.lines) said |= line.find(k.message) != std::string::npos;
    EXPECT_TRUE(said) << k.message;
  }

  // A Group 4 page whose byte count lies past the end of the file.
  iotest::OwnedImage page(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 200, 100, 1, 0, 0, 32, &page.pix));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) norvtest::setPixel(page.pix, x, y, (x * x + y * 3) % 7 == 0);
  ASSERT_EQ(0, pxlWriteTiff(c.ctx, page.pix, base.c_str(), 4, 1, 0));
  for (uint32_t patched : {0x7FFFFFF0u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> bytes = iotest::readFile(base);
    ASSERT_TRUE(patchEntry(bytes, TIFFTAG_STRIPBYTECOUNTS, patched));
    ASSERT_TRUE(iotest::writeFile(path, bytes));
    for (int32_t scanline : {0, 1}) {
      iotest::OwnedImage image(c.ctx);
      c.tracked.tracker.lastRequest = 0;
      EXPECT_EQ(2000, readPage(c.ctx, path, 1, &image.pix, scanline)) << patched;
      EXPECT_EQ(nullptr, image.pix);
      EXPECT_LT(c.tracked.tracker.lastRequest, size_t{1} << 20) << patched;
    }
  }
}

// Fax pages whose data breaks off inside a strip (cut short, an end of block after the first
// rows, rows that do not decode) show the rows before the break and white after it, as libtiff
// reads them, in both reading modes, with a warning.
TEST(TiffRead, FaxDataThatBreaksOffShowsWhatDecodes) {
  Context c;
  iotest::TempDir dir;
  struct Case {
    const char *name;
    std::string path;
  };
  std::vector<Case> cases = {
      {"fewer rows than the page", std::string(NORV_TEST_DATA) + "/ccitt/ccitt_tolessrows.tif"}};
  // A written Group 4 page cut to half its strip's bytes.
  iotest::OwnedImage page(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 200, 100, 1, 0, 0, 32, &page.pix));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) norvtest::setPixel(page.pix, x, y, (x * x + y * 3) % 7 == 0);
  const std::string base = dir.file("base.tif"), cut = dir.file("cut.tif");
  ASSERT_EQ(0, pxlWriteTiff(c.ctx, page.pix, base.c_str(), 4, 1, 0));
  TIFF *tif = TIFFOpen(base.c_str(), "r");
  ASSERT_NE(nullptr, tif);
  const uint64_t count = TIFFGetStrileByteCount(tif, 0);
  TIFFClose(tif);
  std::vector<uint8_t> bytes = iotest::readFile(base);
  ASSERT_TRUE(patchEntry(bytes, TIFFTAG_STRIPBYTECOUNTS, static_cast<uint32_t>(count / 2)));
  ASSERT_TRUE(iotest::writeFile(cut, bytes));
  cases.push_back({"strip cut short", cut});
  // Hand-made code: an end of block after two rows of four; a row of no code after one.
  const std::string eofb = dir.file("eofb.tif"), bad = dir.file("bad.tif");
  ASSERT_TRUE(norvtest::writeFaxTiff(eofb,
                                     norvtest::bits("001 0111 11 1  1 1 000000000001 000000000001"),
                                     8, 4, COMPRESSION_CCITTFAX4));
  cases.push_back({"end of block", eofb});
  ASSERT_TRUE(norvtest::writeFaxTiff(bad, norvtest::bits("001 0111 11 1  0000001 0000000 1"), 8, 3,
                                     COMPRESSION_CCITTFAX4));
  cases.push_back({"bad code", bad});
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const std::vector<std::string> expected = norvtest::libtiffPageRows(k.path);
    ASSERT_FALSE(expected.empty());
    for (int32_t scanline : {0, 1}) {
      c.lines.clear();
      iotest::OwnedImage image(c.ctx);
      ASSERT_EQ(0, readPage(c.ctx, k.path, 1, &image.pix, scanline));
      ASSERT_EQ(expected.size(), static_cast<size_t>(image.pix->height));
      for (int32_t y = 0; y < image.pix->height; ++y) {
        std::string row;
        for (int32_t x = 0; x < image.pix->width; ++x)
          row += norvtest::pixel(image.pix, x, y) ? '#' : '.';
        ASSERT_EQ(expected[y], row) << "row " << y << " scanline " << scanline;
      }
      bool warned = false;
      for (const std::string &line : c.lines)
        warned |= line.find("breaks off") != std::string::npos;
      EXPECT_TRUE(warned);
    }
  }
}

// Pages of one open file: forward from the page before, the same page again, past the last
// (no image, and the file stays usable), back to an earlier page; each read equals the page
// read from a file opened for it alone. A chain that loops back ends where it loops.
TEST(TiffRead, PagesOfAnOpenFileInAnyOrder) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("pages.tif");
  constexpr int kPages = 5;
  {
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (uint32_t i = 0; i < kPages; ++i) {
      // Page n is 8 x n pixels wide and holds the byte n in every position.
      TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 8 * (i + 1));
      TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3u);
      TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
      TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3u);
      std::vector<uint8_t> strip(size_t{24} * (i + 1), static_cast<uint8_t>(i + 1));
      ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size())),
                0);
      ASSERT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
  }
  TIFF *file = nullptr;
  ASSERT_EQ(0, pxlOpenTiffForRead(c.ctx, path.c_str(), &file));
  for (const int32_t page : {0, 1, 2, 3, 3, 5, 6, 9, 5, 4, 2, 6, 1}) {
    SCOPED_TRACE(page);
    iotest::OwnedImage read(c.ctx), alone(c.ctx);
    ASSERT_EQ(0, pxlReadTiffPage(c.ctx, file, page, 0, &read.pix));
    ASSERT_EQ(0, readPage(c.ctx, path, page, &alone.pix));
    if (page > kPages) {
      EXPECT_EQ(read.pix, nullptr);
      EXPECT_EQ(alone.pix, nullptr);
      continue;
    }
    ASSERT_NE(read.pix, nullptr);
    ASSERT_NE(alone.pix, nullptr);
    const int32_t n = std::max(page, 1);
    int32_t width = 0;
    ASSERT_EQ(0, pxlGetImageWidth(c.ctx, read.pix, &width));
    EXPECT_EQ(width, 8 * n);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < width; ++x) {
        ASSERT_EQ(norvtest::pixel(read.pix, x, y), uint32_t(n)) << x << "," << y;
        ASSERT_EQ(norvtest::pixel(alone.pix, x, y), uint32_t(n)) << x << "," << y;
      }
  }
  pxlAbandonTiff(file);

  // The last directory pointing back to the first: three pages, then the end.
  std::vector<uint8_t> bytes = iotest::readFile(path);
  const auto u32 = [&](size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  };
  size_t ifd = u32(4);
  for (int i = 0; i < 2; ++i) ifd = u32(ifd + 2 + 12 * (bytes[ifd] | bytes[ifd + 1] << 8));
  const size_t next = ifd + 2 + 12 * (bytes[ifd] | bytes[ifd + 1] << 8);
  for (int k = 0; k < 4; ++k) bytes[next + k] = bytes[4 + k];
  const std::string looped = dir.file("looped.tif");
  iotest::writeFile(looped, bytes);
  ASSERT_EQ(0, pxlOpenTiffForRead(c.ctx, looped.c_str(), &file));
  for (const int32_t page : {1, 2, 3, 4, 3}) {
    SCOPED_TRACE(page);
    iotest::OwnedImage read(c.ctx);
    ASSERT_EQ(0, pxlReadTiffPage(c.ctx, file, page, 0, &read.pix));
    EXPECT_EQ(read.pix == nullptr, page == 4);
  }
  pxlAbandonTiff(file);

  Pixr *image = nullptr;
  EXPECT_EQ(118, pxlOpenTiffForRead(c.ctx, nullptr, &file));
  EXPECT_EQ(118, pxlOpenTiffForRead(c.ctx, path.c_str(), nullptr));
  EXPECT_EQ(2000, pxlOpenTiffForRead(c.ctx, dir.file("missing.tif").c_str(), &file));
  EXPECT_EQ(118, pxlReadTiffPage(c.ctx, nullptr, 1, 0, &image));
}

TEST(TiffRead, Arguments) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("args.tif");
  ASSERT_TRUE(makeFile(path, Fields{}));
  Pixr *image = nullptr;
  EXPECT_EQ(118, pxlReadTiff(c.ctx, nullptr, 1, 0, &image));
  char *none = nullptr;
  EXPECT_EQ(118, pxlReadTiff(c.ctx, &none, 1, 0, &image));
  std::string copy = path;
  char *name = copy.data();
  EXPECT_EQ(118, pxlReadTiff(c.ctx, &name, 1, 0, nullptr));
  iotest::OwnedImage held(c.ctx);
  ASSERT_EQ(0, pxlReadTiff(c.ctx, &name, 1, 0, &held.pix));
  Pixr *before = held.pix;
  EXPECT_EQ(120, pxlReadTiff(c.ctx, &name, 1, 0, &held.pix));
  EXPECT_EQ(before, held.pix);
  c.lines.clear();
  EXPECT_EQ(2000, readPage(c.ctx, dir.file("missing.tif"), 1, &image));
  EXPECT_EQ(nullptr, image);
  ASSERT_FALSE(c.lines.empty());
  EXPECT_NE(std::string::npos, c.lines.back().find("File:tiffio"));
}

}  // namespace
