// The TIFF page writer: every compression it offers at every depth it takes, in strips and as
// one strip, checked by tiffinfo -D and by libtiff's own decoding (Lossy Dither, which libtiff
// cannot decode, by the page reader against the codec's pattern model); the directory it
// writes (photometric, colour map, resolution, RowsPerStrip); the end codes and parameters of
// the CCITT strips; refusals; writes that fail on a full device or in a client procedure; and
// the allocation-failure and abort loops of the writer and the reader.
#include <tiffio.h>

#include <string>
#include <vector>

#include "pxl_lossydither.h"
#include "pxl_pixops.h"
#include "tiffcodec.h"
#include "tiffpage_support.h"

namespace {

using iotest::Context;
using iotest::MemoryFile;
using tiffpagetest::readPage;

// A framed image of a depth whose pixels come from the test kit's pattern in runs of four
// columns and two rows, so that every coder sees runs as well as changes.
Pixr *patternImage(PxlContext *ctx, int width, int height, int depth, int dpi) {
  Pixr *image = nullptr;
  if (pxlCreateImage(ctx, width, height, depth, dpi << 16, dpi << 16, 32, &image) != 0)
    return nullptr;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      norvtest::setPixel(image, x, y, norvtest::pattern(x / 4, y / 2, depth));
  return image;
}

// A file's first page as libtiff sees it; rows decoded by libtiff when asked.
struct FilePage {
  bool open = false;
  uint32_t width = 0, height = 0, rowsPerStrip = 0, group3 = 0;
  uint16_t bits = 0, samples = 0, photometric = 0, compression = 0, unit = 0;
  bool hasResolution = false;
  float xres = 0, yres = 0;
  std::vector<uint16_t> map;  // red, green, blue tables
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> strip0;  // raw bytes of the first strip
};

FilePage inspect(const std::string &path, bool decode) {
  FilePage f;
  // "c": one uncompressed strip is not cut into pieces of 8 KiB.
  TIFF *tif = TIFFOpen(path.c_str(), "rc");
  if (tif == nullptr) return f;
  f.open = true;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &f.unit);
  if (f.compression == COMPRESSION_CCITTFAX3) TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &f.group3);
  f.hasResolution = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &f.xres) &&
                    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &f.yres);
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) {
    const size_t n = size_t{1} << f.bits;
    f.map.insert(f.map.end(), r, r + n);
    f.map.insert(f.map.end(), g, g + n);
    f.map.insert(f.map.end(), b, b + n);
  }
  f.strip0.resize(TIFFGetStrileByteCount(tif, 0));
  TIFFReadRawStrip(tif, 0, f.strip0.data(), static_cast<tmsize_t>(f.strip0.size()));
  if (decode) {
    for (uint32_t y = 0; y < f.height; ++y) {
      std::vector<uint8_t> row(TIFFScanlineSize64(tif));
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0) {
        f.rows.clear();
        break;
      }
      f.rows.push_back(std::move(row));
    }
  }
  TIFFClose(tif);
  return f;
}

// Pixels of the image that differ from libtiff's rows (-1 when the sizes differ).
long differences(Pixr *image, const FilePage &f) {
  const Pixr *main = norvtest::channel(image, 0);
  if (f.rows.size() != static_cast<size_t>(main->height) ||
      f.width != static_cast<uint32_t>(main->width))
    return -1;
  long bad = 0;
  for (int y = 0; y < main->height; ++y)
    for (int x = 0; x < main->width; ++x) {
      if (image->channelCount == 3) {
        for (int c = 0; c < 3; ++c)
          bad += norvtest::pixel(image->channels[c], x, y) != f.rows[y][3 * x + c];
      } else {
        const int d = main->depth;
        const uint32_t v = (f.rows[y][x * d / 8] >> (8 - d - x * d % 8)) & ((1u << d) - 1);
        bad += norvtest::pixel(image, x, y) != v;
      }
    }
  return bad;
}

// Pixels that differ between two single-channel images of the same size (-1 otherwise).
long pixelDifferences(Pixr *a, Pixr *b) {
  if (a->width != b->width || a->height != b->height || a->depth != b->depth) return -1;
  long bad = 0;
  for (int y = 0; y < a->height; ++y)
    for (int x = 0; x < a->width; ++x) bad += norvtest::pixel(a, x, y) != norvtest::pixel(b, x, y);
  return bad;
}

// The bits of a byte string, first bit most significant.
std::string bitString(const std::vector<uint8_t> &bytes) {
  std::string s;
  for (uint8_t b : bytes)
    for (int i = 7; i >= 0; --i) s += (b >> i & 1) ? '1' : '0';
  return s;
}

// For each EOL (eleven or more zeros, then a one) of coded T.4 data: the bit after it (the
// tag bit of two-dimensional data) and whether the EOL ends on a byte boundary.
struct Eol {
  char tag;
  bool aligned;
};
std::vector<Eol> eols(const std::vector<uint8_t> &bytes) {
  const std::string bits = bitString(bytes);
  std::vector<Eol> out;
  size_t zeros = 0;
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] == '0') {
      ++zeros;
      continue;
    }
    if (zeros >= 11) out.push_back({i + 1 < bits.size() ? bits[i + 1] : '-', (i + 1) % 8 == 0});
    zeros = 0;
  }
  return out;
}

bool tiffinfoAccepts(const std::string &path, bool readData) {
  const norvtest::ToolRun run = norvtest::runTool(
      std::string("tiffinfo ") + (readData ? "-D " : "") + norvtest::shellQuote(path) + " 2>&1");
  return run.status == 0 && run.text().find("rror") == std::string::npos;
}

TEST(TiffWrite, EveryCompressionAndDepthPassesTiffinfoAndDecodesToTheImage) {
  if (!iotest::haveTools({"tiffinfo"})) GTEST_SKIP() << "tiffinfo not installed";
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("out.tif");
  struct Case {
    int32_t compression, depth, group3;
  };
  std::vector<Case> cases;
  for (int32_t compression : {1, 5, 32773})
    for (int32_t depth : {1, 2, 4, 8}) cases.push_back({compression, depth, 0});
  for (int32_t compression : {2, 4, 34670}) cases.push_back({compression, 1, 0});
  for (int32_t group3 : {0, 1, 4, 5}) cases.push_back({3, 1, group3});
  for (const Case &k : cases) {
    for (int32_t oneStrip : {0, 1}) {
      SCOPED_TRACE("compression " + std::to_string(k.compression) + " depth " +
                   std::to_string(k.depth) + " group3 " + std::to_string(k.group3) + " one strip " +
                   std::to_string(oneStrip));
      iotest::OwnedImage image(c.ctx, patternImage(c.ctx, 301, 97, k.depth, 200));
      ASSERT_EQ(0, pxlWriteTiff(c.ctx, image.pix, path.c_str(), k.compression, oneStrip, k.group3));
      const bool dither = k.compression == 34670;
      EXPECT_TRUE(tiffinfoAccepts(path, !dither));
      const FilePage f = inspect(path, !dither);
      ASSERT_TRUE(f.open);
      EXPECT_EQ(k.compression, f.compression);
      EXPECT_EQ(k.depth, f.bits);
      EXPECT_EQ(k.depth == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK, f.photometric);
      const uint32_t rowBytes = (301 * k.depth + 7) / 8;
      EXPECT_EQ(oneStrip ? 97u : 8196u / rowBytes, f.rowsPerStrip);
      if (k.compression == 3) {
        EXPECT_EQ(static_cast<uint32_t>(k.group3), f.group3);
      }
      if (!dither) {
        EXPECT_EQ(0, differences(image.pix, f));
      }

      iotest::OwnedImage back(c.ctx);
      ASSERT_EQ(0, readPage(c.ctx, path, 1, &back.pix));
      if (!dither) {
        EXPECT_EQ(0, pixelDifferences(back.pix, image.pix));
        continue;
      }
      // Lossy Dither: every byte comes back as its class's pattern for the row.
      long bad = 0;
      for (int y = 0; y < 97; ++y)
        for (int b = 0; b < 38; ++b) {
          uint8_t in = 0, out = 0;
          for (int i = 0; i < 8; ++i) {
            const int x = 8 * b + i;
            in = static_cast<uint8_t>(in << 1 | (x < 301 ? norvtest::pixel(image.pix, x, y) : 0));
            out = static_cast<uint8_t>(out << 1 | (x < 301 ? norvtest::pixel(back.pix, x, y) : 0));
          }
          const uint8_t keep = b == 37 ? 0xF8 : 0xFF;
          bad += out != (pxlLossyDitherPattern(pxlLossyDitherClass(in), y & 7) & keep);
        }
      EXPECT_EQ(0, bad);
    }
  }
}

TEST(TiffWrite, DirectoryFields) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("fields.tif");
  // Resolution rounded to whole dots per inch; none written when either rounds to 0.
  struct Resolution {
    int32_t x, y;
    bool written;
    float dpiX, dpiY;
  };
  for (const Resolution &r : {Resolution{300 << 16, 300 << 16, true, 300, 300},
                              Resolution{(200 << 16) + 0x8000, 0x7FFF, false, 0, 0},
                              Resolution{(200 << 16) + 0x8000, 0x8000, true, 201, 1},
                              Resolution{0, 300 << 16, false, 0, 0}}) {
    iotest::OwnedImage image(c.ctx, patternImage(c.ctx, 40, 9, 1, 1));
    image.pix->xResolution = r.x, image.pix->yResolution = r.y;
    ASSERT_EQ(0, pxlWriteTiff(c.ctx, image.pix, path.c_str(), 4, 1, 0));
    const FilePage f = inspect(path, false);
    EXPECT_EQ(r.written, f.hasResolution) << r.x << " " << r.y;
    if (r.written) {
      EXPECT_EQ(RESUNIT_INCH, f.unit);
      EXPECT_EQ(r.dpiX, f.xres);
      EXPECT_EQ(r.dpiY, f.yres);
    }
  }
  // RowsPerStrip: 8196 / bytes per row, at least 1.
  for (auto [width, depth, rows] :
       {std::tuple{1000, 8, 8u}, std::tuple{1728, 1, 37u}, std::tuple{9000, 8, 1u}}) {
    iotest::OwnedImage image(c.ctx, patternImage(c.ctx, width, 3, depth, 100));
    ASSERT_EQ(0, pxlWriteTiff(c.ctx, image.pix, path.c_str(), 1, 0, 0));
    EXPECT_EQ(rows, inspect(path, false).rowsPerStrip) << width;
  }
  // A 4-bit image with a colour map: a palette page whose map holds each byte twice.
  iotest::OwnedImage palette(c.ctx, patternImage(c.ctx, 33, 5, 4, 100));
  PxlColorMap *map = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(c.ctx, 16, &map));
  for (int i = 0; i < 64; ++i) map->entries[i] = static_cast<uint8_t>(i * 19 + 3);
  ASSERT_EQ(0, pxlSetImageColormap(c.ctx, palette.pix, map));
  ASSERT_EQ(0, pxlWriteTiff(c.ctx, palette.pix, path.c_str(), 5, 0, 0));
  FilePage f = inspect(path, true);
  EXPECT_EQ(PHOTOMETRIC_PALETTE, f.photometric);
  ASSERT_EQ(48u, f.map.size());
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(map->entries[4 * i + k] * 257, f.map[16 * k + i]);
  EXPECT_EQ(0, differences(palette.pix, f));
  // An RGB set: photometric RGB, no compression whatever is asked, interleaved rows.
  Pixr *rgb = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(c.ctx, 57, 13, 8, 0, 0, 32, 3, 1, nullptr, &rgb));
  iotest::OwnedImage owned(c.ctx, rgb);
  for (int ch = 0; ch < 3; ++ch)
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 57; ++x)
        norvtest::setPixel(rgb->channels[ch], x, y, norvtest::pattern(x + 100 * ch, y, 8));
  ASSERT_EQ(0, pxlWriteTiff(c.ctx, rgb, path.c_str(), 4, 0, 0));
  f = inspect(path, true);
  EXPECT_EQ(PHOTOMETRIC_RGB, f.photometric);
  EXPECT_EQ(COMPRESSION_NONE, f.compression);
  EXPECT_EQ(3, f.samples);
  EXPECT_EQ(0, differences(rgb, f));
}

TEST(TiffWrite, CcittStripEndsAndParameters) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("fax.tif");
  iotest::OwnedImage image(c.ctx, patternImage(c.ctx, 200, 40, 1, 196));
  // Group 4: one strip ending with two EOLs and zero padding to a byte.
  ASSERT_EQ(0, pxlWriteTiff(c.ctx, image.pix, path.c_str(), 4, 1, 0));
  std::string bits = bitString(inspect(path, false).strip0);
  const size_t end = bits.find_last_of('1') + 1;
  EXPECT_LT(bits.size() - end, 8u);
  EXPECT_EQ("000000000001000000000001", bits.substr(end - 24, 24));
  // Group 3: an EOL before every row and none after the last; K from the resolution.
  struct Case {
    int32_t dpi, group3;
    int k;
    bool aligned;
  };
  for (const Case &k : {Case{196, 1, 4, false}, Case{98, 1, 2, false}, Case{150, 1, 2, false},
                        Case{196, 5, 4, true}, Case{196, 0, 1, false}}) {
    image.pix->yResolution = k.dpi << 16;
    ASSERT_EQ(0, pxlWriteTiff(c.ctx, image.pix, path.c_str(), 3, 1, k.group3));
    const std::vector<Eol> found = eols(inspect(path, false).strip0);
    ASSERT_EQ(40u, found.size()) << k.dpi << " " << k.group3;
    size_t aligned = 0, twoDimensional = 0;
    for (size_t i = 0; i < found.size(); ++i) {
      aligned += found[i].aligned;
      twoDimensional += found[i].tag == '0';
      if (k.group3 & 1) {
        EXPECT_EQ(i % k.k == 0 ? '1' : '0', found[i].tag) << i;
      }
    }
    EXPECT_EQ(k.aligned, aligned == found.size());
    if (!(k.group3 & 1)) {
      EXPECT_LT(twoDimensional, found.size());  // one-dimensional rows have no tag bit
    }
  }
}

// Writes an image with the codec hooks directly: any core-coder Compression, Group3Options,
// the resolution in any unit and a raw buffer of a chosen size.
bool writeWithCoder(PxlContext *ctx, Pixr *image, const std::string &path, uint16_t compression,
                    uint32_t group3, float yres, uint16_t unit, int64_t rawSize) {
  TIFF *tif = pxlTiffOpen(ctx, path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image->width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image->height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  if (compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, group3);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, unit);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 100.0);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(yres));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(image->height));
  bool ok = false;
  {
    pxl::tiffcodec::Coder coder;
    coder.rawSize = rawSize;
    if (pxl::tiffcodec::setUp(&coder, ctx, tif)) {
      coder.flags |= pxl::tiffcodec::kDirectImage;
      ok = pxl::tiffcodec::encodeStrip(&coder, 0, image, 0, image->height) == 1;
    }
  }
  ok = ok && TIFFWriteDirectory(tif);
  return pxlTiffClose(tif) == 0 && ok;
}

TEST(TiffWrite, CoderHooksSplitStripsAcrossFlushesAndKeepTheirParameters) {
  Context c;
  iotest::TempDir dir;
  const std::string small = dir.file("small.tif"), large = dir.file("large.tif");
  iotest::OwnedImage image(c.ctx, patternImage(c.ctx, 333, 61, 1, 100));
  const norvtest::Pnm expected = norvtest::pnmFromImage(image.pix, '4');
  // A raw buffer of 16 bytes gives the same strip as one large enough for all of it.
  for (uint16_t compression : {2, 3, 4, 32771, 32773, 34670}) {
    ASSERT_TRUE(writeWithCoder(c.ctx, image.pix, small, compression, 1, 100, 2, 16));
    ASSERT_TRUE(writeWithCoder(c.ctx, image.pix, large, compression, 1, 100, 2, 0));
    const FilePage a = inspect(small, false), b = inspect(large, false);
    EXPECT_GT(a.strip0.size(), 64u) << compression;
    EXPECT_EQ(a.strip0, b.strip0) << compression;
    if (compression == 34670) continue;
    // CCITT RLE/W rows end on 16-bit words; every scheme reads back to the image.
    iotest::OwnedImage back(c.ctx);
    ASSERT_EQ(0, readPage(c.ctx, small, 1, &back.pix)) << compression;
    EXPECT_EQ(0, tiffpagetest::differences(back.pix, expected)) << compression;
  }
  // K from YResolution in centimetres: 77.17 per centimetre is 196 dpi.
  for (auto [yres, unit, k] :
       {std::tuple{77.17f, uint16_t{3}, 4}, std::tuple{59.0f, uint16_t{3}, 2},
        std::tuple{196.0f, uint16_t{2}, 4}}) {
    ASSERT_TRUE(writeWithCoder(c.ctx, image.pix, small, 3, 1, yres, unit, 0));
    const std::vector<Eol> found = eols(inspect(small, false).strip0);
    ASSERT_EQ(61u, found.size());
    for (size_t i = 0; i < found.size(); ++i)
      EXPECT_EQ(i % k == 0 ? '1' : '0', found[i].tag) << yres << " row " << i;
  }
}

TEST(TiffWrite, Refusals) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("refused.tif");
  iotest::OwnedImage bilevel(c.ctx, patternImage(c.ctx, 20, 4, 1, 100));
  for (int32_t compression : {32771, 6, 0, 7, -1})
    EXPECT_EQ(108, pxlWriteTiff(c.ctx, bilevel.pix, path.c_str(), compression, 0, 0))
        << compression;
  EXPECT_EQ(118, pxlWriteTiff(c.ctx, bilevel.pix, nullptr, 4, 0, 0));
  Pixr *unframed = nullptr;
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 20, 4, 1, 0, 0, 0, &unframed));
  iotest::OwnedImage a(c.ctx, unframed);
  EXPECT_EQ(1004, pxlWriteTiff(c.ctx, unframed, path.c_str(), 4, 0, 0));
  iotest::OwnedImage deep(c.ctx, patternImage(c.ctx, 20, 4, 16, 100));
  EXPECT_EQ(106, pxlWriteTiff(c.ctx, deep.pix, path.c_str(), 1, 0, 0));
  EXPECT_EQ(1003, pxlWriteTiff(c.ctx, nullptr, path.c_str(), 1, 0, 0));
}

TEST(TiffWrite, FailedWritesGive2001) {
  Context c;
  iotest::OwnedImage bilevel(c.ctx, patternImage(c.ctx, 120, 50, 1, 100));
  iotest::OwnedImage grey(c.ctx, patternImage(c.ctx, 60, 50, 8, 100));
  // A full device.
  EXPECT_EQ(2001, pxlWriteTiff(c.ctx, bilevel.pix, "/dev/full", 4, 0, 0));
  // A client whose writes stop after `limit` bytes: the open, the image, the directory or
  // the close must fail, never report a good file; the full size succeeds.
  for (auto [image, compression] :
       {std::pair{bilevel.pix, 4}, std::pair{grey.pix, 5}, std::pair{grey.pix, 32773}}) {
    MemoryFile whole;
    TIFF *tif = whole.open(c.ctx, "w");
    ASSERT_NE(nullptr, tif);
    ASSERT_EQ(0, pxlWriteTiffImage(c.ctx, image, compression, 0, 0, tif));
    ASSERT_EQ(0, pxlTiffClose(tif));
    for (size_t limit = 0; limit < whole.bytes.size(); limit += 7) {
      MemoryFile file;
      file.limit = limit;
      tif = file.open(c.ctx, "w");
      if (tif == nullptr) continue;
      const int32_t status = pxlWriteTiffImage(c.ctx, image, compression, 0, 0, tif);
      if (status != 0) {
        EXPECT_EQ(2001, status) << limit;
        pxlAbandonTiff(tif);
        EXPECT_EQ(1, file.closes);
        continue;
      }
      EXPECT_EQ(2001, pxlTiffClose(tif)) << "compression " << compression << " limit " << limit;
    }
  }
  // A close procedure that fails.
  MemoryFile failing;
  failing.closeFails = true;
  TIFF *tif = failing.open(c.ctx, "w");
  ASSERT_NE(nullptr, tif);
  ASSERT_EQ(0, pxlWriteTiffImage(c.ctx, bilevel.pix, 4, 0, 0, tif));
  EXPECT_EQ(2001, pxlTiffClose(tif));
}

class TiffPageLoops : public norvtest::ContextTest {};
INSTANTIATE_TEST_SUITE_P(Units, TiffPageLoops, ::testing::Values(0, 1), norvtest::unitName);

// Every allocation failing in turn and every poll aborting in turn: the writer gives 1 (its
// own blocks) or 2001 (the file could not be opened), the reader 1 or 2000 (file or coder
// state), an abort gives its code; no image is handed out and nothing leaks.
TEST_P(TiffPageLoops, AllocationFailuresAndAborts) {
  iotest::TempDir dir;
  Pixr *rgb = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 23, 7, 8, 0, 0, 32, 3, 1, nullptr, &rgb));
  iotest::OwnedImage owned(ctx, rgb);
  iotest::OwnedImage bilevel(ctx, patternImage(ctx, 70, 30, 1, 100));
  iotest::OwnedImage grey(ctx, patternImage(ctx, 30, 20, 4, 100));
  PxlColorMap *map = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(ctx, 16, &map));
  ASSERT_EQ(0, pxlSetImageColormap(ctx, grey.pix, map));
  struct Case {
    Pixr *image;
    int32_t compression;
    int32_t scanline;
  };
  for (const Case &k : {Case{bilevel.pix, 4, 0}, Case{bilevel.pix, 3, 1}, Case{grey.pix, 5, 0},
                        Case{grey.pix, 32773, 1}, Case{rgb, 1, 0}}) {
    SCOPED_TRACE(k.compression);
    const std::string path = dir.file("loop.tif");
    for (int n = 1;; ++n) {
      failAllocation(n);
      const int32_t status = pxlWriteTiff(ctx, k.image, path.c_str(), k.compression, 0, 0);
      failAllocation(0);
      if (status == 0) break;
      ASSERT_TRUE(status == 1 || status == 2001) << status << " at " << n;
    }
    for (int n = 1;; ++n) {
      abortAtPoll(n, 77);
      const int32_t status = pxlWriteTiff(ctx, k.image, path.c_str(), k.compression, 0, 0);
      abortAtPoll(0, 0);
      if (status == 0) break;
      ASSERT_EQ(77, status) << n;
    }
    for (int n = 1;; ++n) {
      Pixr *image = nullptr;
      failAllocation(n);
      const int32_t status = readPage(ctx, path, 1, &image, k.scanline);
      failAllocation(0);
      if (status == 0) {
        pxlDestroyImage(ctx, &image);
        break;
      }
      ASSERT_TRUE(status == 1 || status == 2000) << status << " at " << n;
      ASSERT_EQ(nullptr, image);
    }
    for (int n = 1;; ++n) {
      Pixr *image = nullptr;
      abortAtPoll(n, 77);
      const int32_t status = readPage(ctx, path, 1, &image, k.scanline);
      abortAtPoll(0, 0);
      if (status == 0) {
        pxlDestroyImage(ctx, &image);
        break;
      }
      ASSERT_EQ(77, status) << n;
      ASSERT_EQ(nullptr, image);
    }
  }
}

}  // namespace
