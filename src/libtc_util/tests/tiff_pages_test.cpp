// TIFF pages and caller images as token images: pages of bilevel, grey, palette and RGB files
// made at test time from the test page (Ghostscript, pnmtotiff, tiffcp) read at every quarter
// turn (negative counts too) and compared with tifftopnm's pixels turned by pamflip, palettes
// expanded to their RGB values; the record's fields; the end of a multi-page file; refusals
// (missing files, unreadable layouts, pages over 32,767 pixels) and failure at every
// allocation; RGB and packed caller images converted, with their stride and type checks.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <random>
#include <string>
#include <vector>

#include "pxl_image.h"
#include "tc_util.h"
#include "tc_util_internal.h"
#include "testkit_files.h"
#include "testkit_image.h"
#include "testkit_pnm.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using norvtest::Pnm;
using norvtest::shellQuote;

class TiffPagesTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Qtz_initIPWState(state_), 0);
  }
};

// A picture of `colours` colours (0: a gradient of thousands).
Pnm picture(int width, int height, int colours) {
  Pnm p;
  p.kind = '6', p.width = width, p.height = height;
  p.raster.resize(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t *px = p.row(y) + 3 * x;
      const int i = colours == 0 ? x * 5 + y * 3 : ((x / 3) * 7 + (y / 2) * 3) % colours;
      px[0] = uint8_t(i * 37 + 5), px[1] = uint8_t(i * 91 + 11),
      px[2] = uint8_t(colours == 0 ? y * 7 : i * 53 + 17);
    }
  return p;
}

Pnm pnmOf(const std::string &command) {
  const norvtest::ToolRun run = norvtest::runTool(command + " 2>/dev/null");
  return run.status == 0 ? norvtest::parsePnm(run.output) : Pnm{};
}

// Samples of the record's image that differ from the PNM (P4: 1 = black; P5: the sample
// value; P6: the three channels); -1 when the shapes do not fit.
long differences(const TcImage *record, const Pnm &ref) {
  if (record == nullptr || !ref.valid() || record->width != ref.width ||
      record->height != ref.height)
    return -1;
  Pixr *image = record->image;
  long bad = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      if (ref.kind == '6') {
        if (record->channels != 3) return -1;
        for (int c = 0; c < 3; ++c)
          bad += norvtest::pixel(image->channels[c], x, y) != ref.row(y)[3 * x + c];
      } else if (ref.kind == '4') {
        if (record->depth != 1) return -1;
        bad += norvtest::pixel(image, x, y) != ((ref.row(y)[x / 8] >> (7 - x % 8)) & 1u);
      } else {
        if (ref.maxval != (1 << record->depth) - 1) return -1;
        bad += norvtest::pixel(image, x, y) != ref.row(y)[x];
      }
    }
  return bad;
}

struct PageFile {
  std::string name;
  int pages;
  int depth, channels;  // of the token image
  int indexDepth;       // palette pages: depth of the index image; else 0
};

class TiffPageFiles : public TiffPagesTest {
 protected:
  static norvtest::TempDir *dir;
  static std::vector<PageFile> files;

  static void SetUpTestSuite() {
    dir = new norvtest::TempDir("tctiff");
    files.clear();
    for (const char *tool : {"gs", "tiffcp", "tifftopnm", "pnmtotiff", "pamdepth", "pamflip"})
      if (!norvtest::toolAvailable(tool)) return;
    const std::string bw = norvtest::renderPage(NORV_TEST_DATA "/page.ps", "pbmraw", 30);
    const std::string grey = norvtest::renderPage(NORV_TEST_DATA "/page.ps", "pgmraw", 20);
    if (bw.empty() || grey.empty()) return;
    norvtest::writePnm(dir->file("c2.ppm"), picture(77, 23, 2));
    norvtest::writePnm(dir->file("c4.ppm"), picture(131, 19, 4));
    norvtest::writePnm(dir->file("c16.ppm"), picture(301, 37, 16));
    norvtest::writePnm(dir->file("c200.ppm"), picture(45, 29, 200));
    norvtest::writePnm(dir->file("rgb.ppm"), picture(53, 33, 0));
    const std::string res = " -xresolution 150 -yresolution 75 ";
    const std::vector<std::pair<PageFile, std::string>> makes = {
        {{"bw.tif", 1, 1, 1, 0}, "pnmtotiff -g4 -miniswhite" + res + shellQuote(bw)},
        {{"grey8.tif", 1, 8, 1, 0}, "pnmtotiff -lzw" + res + shellQuote(grey)},
        {{"grey4.tif", 1, 4, 1, 0}, "pamdepth 15 " + shellQuote(grey) + " | pnmtotiff" + res},
        {{"palette1.tif", 1, 8, 3, 1},
         "pnmtotiff -indexbits=1" + res + shellQuote(dir->file("c2.ppm"))},
        {{"palette2.tif", 1, 8, 3, 2},
         "pnmtotiff -indexbits=2" + res + shellQuote(dir->file("c4.ppm"))},
        {{"palette4.tif", 1, 8, 3, 4},
         "pnmtotiff -indexbits=4" + res + shellQuote(dir->file("c16.ppm"))},
        {{"palette8.tif", 1, 8, 3, 8},
         "pnmtotiff -indexbits=8" + res + shellQuote(dir->file("c200.ppm"))},
        {{"rgb.tif", 1, 8, 3, 0}, "pnmtotiff" + res + shellQuote(dir->file("rgb.ppm"))},
    };
    std::string all;
    for (const auto &[file, command] : makes) {
      const std::string path = dir->file(file.name);
      if (norvtest::runTool("{ " + command + " ; } > " + shellQuote(path) + " 2>/dev/null")
              .status != 0)
        return;
      // The palette pictures have few enough colours to be written as palettes.
      TIFF *tif = TIFFOpen(path.c_str(), "r");
      uint16_t photometric = 0;
      const bool read = tif != nullptr && TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
      if (tif != nullptr) TIFFClose(tif);
      if (!read || (photometric == PHOTOMETRIC_PALETTE) != (file.indexDepth != 0)) return;
      files.push_back(file);
      all += " " + shellQuote(path);
    }
    // Every page above in one file, in the same order.
    if (norvtest::runTool("tiffcp" + all + " " + shellQuote(dir->file("all.tif"))).status != 0)
      files.clear();
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  void SetUp() override {
    if (files.empty()) GTEST_SKIP() << "Ghostscript, libtiff tools or netpbm missing";
    TiffPagesTest::SetUp();
  }

  // tifftopnm's page turned by pamflip as `turns` quarter turns clockwise do.
  static Pnm expected(const std::string &path, int page, int turns) {
    const char *flips[] = {"", " | pamflip -r270", " | pamflip -r180", " | pamflip -r90"};
    return pnmOf("tmp=$(mktemp) && tiffcp -c none " +
                 shellQuote(path + "," + std::to_string(page - 1)) +
                 " \"$tmp\" && tifftopnm \"$tmp\"" + flips[((turns % 4) + 4) % 4] +
                 "; status=$?; rm -f \"$tmp\"; exit $status");
  }
};

norvtest::TempDir *TiffPageFiles::dir = nullptr;
std::vector<PageFile> TiffPageFiles::files;

TEST_F(TiffPageFiles, EveryPageAtEveryQuarterTurnIsTheTurnedPage) {
  const std::string all = dir->file("all.tif");
  for (size_t i = 0; i < files.size(); ++i) {
    const PageFile &f = files[i];
    const int page = int(i) + 1;
    for (const int turns : {0, 1, 2, 3, 4, -1, -2, -3, -6, 7}) {
      SCOPED_TRACE(f.name + " turns " + std::to_string(turns));
      const Pnm want = expected(all, page, turns);
      ASSERT_TRUE(want.valid());
      TcImage *record = nullptr;
      ASSERT_EQ(tc_readTiffEx(state_, all.c_str(), turns, page, &record), 0);
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(differences(record, want), 0);
      EXPECT_EQ(record->depth, f.depth);
      EXPECT_EQ(record->channels, f.channels);
      const bool across = ((turns % 4) + 4) % 2 == 1;
      EXPECT_EQ(record->xResolution, across ? 75 : 150);
      EXPECT_EQ(record->yResolution, across ? 150 : 75);
      Pixr *main = nullptr;
      ASSERT_EQ(pxlGetImageMainChannel(state_->ipwContext, record->image, &main), 0);
      EXPECT_EQ(record->pixels, main->framedData);
      // The index image's stride for palettes, the final image's otherwise.
      const int strideDepth = f.indexDepth != 0 ? f.indexDepth : f.depth;
      EXPECT_GE(int64_t{record->bytesPerRow} * 8, int64_t{record->width + 64} * strideDepth);
      EXPECT_EQ(record->bytesPerRow == norvtest::channel(record->image, 0)->bytesPerRow,
                f.indexDepth == 0 || f.indexDepth == 8);
      // The single-page file's first page through tc_readTiff, from the final image.
      TcImage *first = nullptr;
      ASSERT_EQ(tc_readTiff(state_, dir->file(f.name).c_str(), turns, &first), 0);
      EXPECT_EQ(differences(first, want), 0);
      EXPECT_EQ(first->bytesPerRow, norvtest::channel(first->image, 0)->bytesPerRow);
      EXPECT_EQ(tc_freeImage(state_, first), 0);
      EXPECT_EQ(tc_freeImage(state_, record), 0);
    }
  }
  // One past the last page ends the document: 0 and no record.
  TcImage *record = reinterpret_cast<TcImage *>(&record);
  EXPECT_EQ(tc_readTiffEx(state_, all.c_str(), 0, int(files.size()) + 1, &record), 0);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(tc_freeImage(state_, nullptr), 0);
}

TEST_F(TiffPageFiles, EveryFailedAllocationLeavesNoRecord) {
  const std::string palette = dir->file("palette4.tif");
  for (const bool first : {false, true}) {
    for (long n = 1;; ++n) {
      TcImage *record = nullptr;
      norvtest::heap.failAt = norvtest::heap.requests + n;
      const int32_t status = first ? tc_readTiff(state_, palette.c_str(), 1, &record)
                                   : tc_readTiffEx(state_, palette.c_str(), 1, 1, &record);
      norvtest::heap.failAt = -1;
      if (status == 0) {
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(tc_freeImage(state_, record), 0);
        break;
      }
      EXPECT_EQ(record, nullptr) << n;
      ASSERT_LT(n, 1000);
    }
  }
}

// A one-page file written by libtiff: width x height zero samples of the given layout.
bool writeTiff(const std::string &path, uint32_t width, uint32_t height, uint16_t bits,
               uint16_t samples, double xres) {
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, xres);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 200.0);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  std::vector<uint8_t> strip(size_t(TIFFStripSize64(tif)), 0);
  const bool ok = TIFFWriteEncodedStrip(tif, 0, strip.data(), tmsize_t(strip.size())) >= 0;
  TIFFClose(tif);
  return ok;
}

TEST_F(TiffPagesTest, RefusalsAndRecordEdges) {
  norvtest::TempDir dir("tctiff_edges");
  struct Case {
    const char *name;
    uint32_t width, height;
    uint16_t bits, samples;
    int32_t status;  // of both readers
  } cases[] = {
      {"fits.tif", 32767, 3, 1, 1, 0},  {"tall.tif", 5, 32767, 8, 1, 0},
      {"wide.tif", 32768, 1, 1, 1, 2},  {"high.tif", 1, 32768, 1, 1, 2},
      {"grey16.tif", 8, 2, 16, 1, 106}, {"two.tif", 8, 2, 8, 2, 106},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file(k.name);
    ASSERT_TRUE(writeTiff(path, k.width, k.height, k.bits, k.samples, 300.5));
    for (const int turns : {0, 1}) {
      TcImage *a = nullptr, *b = nullptr;
      EXPECT_EQ(tc_readTiff(state_, path.c_str(), turns, &a), k.status);
      EXPECT_EQ(tc_readTiffEx(state_, path.c_str(), turns, 1, &b), k.status);
      EXPECT_EQ(a == nullptr, k.status != 0);
      EXPECT_EQ(b == nullptr, k.status != 0);
      if (a != nullptr) {
        EXPECT_EQ(a->width, turns == 0 ? int32_t(k.width) : int32_t(k.height));
        EXPECT_EQ(a->xResolution, turns == 0 ? 300 : 200);  // 300.5 dpi drops its fraction
        EXPECT_EQ(a->yResolution, turns == 0 ? 200 : 300);
      }
      tc_freeImage(state_, a);
      tc_freeImage(state_, b);
    }
  }
  TcImage *record = nullptr;
  EXPECT_EQ(tc_readTiff(state_, dir.file("missing.tif").c_str(), 0, &record), 2000);
  EXPECT_EQ(tc_readTiffEx(state_, dir.file("missing.tif").c_str(), 0, 1, &record), 2000);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(tc_readTiff(state_, dir.file("fits.tif").c_str(), 0, nullptr), 118);
  EXPECT_EQ(tc_readTiffEx(state_, nullptr, 0, 1, &record), 118);
  EXPECT_NE(errors_.text().find("118"), std::string::npos) << errors_.text();
}

// The first image of each file type the image core reads, made by netpbm from one picture,
// against the PNM it was made from: tc_readTiff reads them all, tc_readTiffEx TIFF only.
TEST_F(TiffPagesTest, FirstImageOfEveryFileTypeConverts) {
  for (const char *tool : {"ppmtopgm", "pgmtopbm", "ppmtobmp", "pnmtorast", "rasttopnm", "ppmtopcx",
                           "pnmtotiff", "pamflip"})
    if (!norvtest::toolAvailable(tool)) GTEST_SKIP() << tool << " missing";
  norvtest::TempDir dir("tcfiles");
  const std::string ppm = dir.file("p.ppm"), pgm = dir.file("p.pgm"), pbm = dir.file("p.pbm");
  ASSERT_TRUE(norvtest::writePnm(ppm, picture(45, 23, 0)));
  ASSERT_EQ(norvtest::runTool("ppmtopgm " + shellQuote(ppm) + " > " + shellQuote(pgm)).status, 0);
  ASSERT_EQ(
      norvtest::runTool("pgmtopbm -threshold " + shellQuote(pgm) + " > " + shellQuote(pbm)).status,
      0);
  // pnmtorast drops the last pixels of 1-bit rows that do not end on a byte boundary, so the
  // Sun raster files are compared with rasttopnm's reading of them.
  struct Case {
    const char *name;
    std::string made, reference;  // commands making the file and the PNM it must read as
  } cases[] = {
      {"bilevel.pbm", "cat " + shellQuote(pbm), "cat " + shellQuote(pbm)},
      {"grey.pgm", "cat " + shellQuote(pgm), "cat " + shellQuote(pgm)},
      {"colour.ppm", "cat " + shellQuote(ppm), "cat " + shellQuote(ppm)},
      {"bilevel.bmp", "ppmtobmp " + shellQuote(pbm), "cat " + shellQuote(pbm)},
      {"colour.bmp", "ppmtobmp -bpp=24 " + shellQuote(ppm), "cat " + shellQuote(ppm)},
      {"bilevel.ras", "pnmtorast -standard " + shellQuote(pbm), "rasttopnm"},
      {"bilevel-rle.ras", "pnmtorast -rle " + shellQuote(pbm), "rasttopnm"},
      {"bilevel.pcx", "ppmtopcx " + shellQuote(pbm), "cat " + shellQuote(pbm)},
      {"colour.tif", "pnmtotiff " + shellQuote(ppm), "cat " + shellQuote(ppm)},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file(k.name);
    ASSERT_EQ(norvtest::runTool(k.made + " > " + shellQuote(path) + " 2>/dev/null").status, 0);
    const std::string reference =
        k.reference == "rasttopnm" ? "rasttopnm " + shellQuote(path) : k.reference;
    const Pnm unturned = pnmOf(reference);
    ASSERT_TRUE(unturned.valid());
    ASSERT_EQ(unturned.width, 45);
    for (const int turns : {0, 1}) {
      TcImage *record = nullptr;
      ASSERT_EQ(tc_readTiff(state_, path.c_str(), turns, &record), 0);
      const Pnm want = turns == 0 ? unturned : pnmOf(reference + " | pamflip -r270");
      EXPECT_EQ(differences(record, want), 0);
      EXPECT_EQ(record->bytesPerRow, norvtest::channel(record->image, 0)->bytesPerRow);
      EXPECT_EQ(tc_freeImage(state_, record), 0);
    }
    TcImage *page = nullptr;
    const bool tiff = std::string(k.name).ends_with(".tif");
    EXPECT_EQ(tc_readTiffEx(state_, path.c_str(), 0, 1, &page) == 0, tiff);
    tc_freeImage(state_, page);
  }
  // A file of no known type, and an allocation failure at every step of a BMP read.
  const std::string text = dir.file("text.txt");
  ASSERT_TRUE(norvtest::writeFile(text, std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
  TcImage *record = nullptr;
  EXPECT_EQ(tc_readTiff(state_, text.c_str(), 0, &record), 2);
  EXPECT_EQ(record, nullptr);
  const std::string bmp = dir.file("colour.bmp");
  for (long n = 1;; ++n) {
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status = tc_readTiff(state_, bmp.c_str(), 3, &record);
    norvtest::heap.failAt = -1;
    if (status == 0) {
      EXPECT_EQ(tc_freeImage(state_, record), 0);
      break;
    }
    EXPECT_EQ(record, nullptr) << n;
    ASSERT_LT(n, 1000);
  }
}

// Caller images: RGB (with offsets) and packed pages against their source pixels.
TEST_F(TiffPagesTest, CallerImagesConvertPixelForPixel) {
  std::mt19937 random(43);
  for (const int width : {1, 31, 32, 33, 100}) {
    SCOPED_TRACE(width);
    QtzImage *rgb = nullptr, *packed = nullptr;
    ASSERT_EQ(QtzImage_newOffset(state_, QTZ_IMAGE_RGB, width, 5, 3, 7, &rgb), 0);
    ASSERT_EQ(QtzImage_newAligned(state_, QTZ_IMAGE_PACKED, width, 5, &packed), 0);
    for (int y = 7; y < 12; ++y)
      for (int x = 3; x < 3 + width; ++x)
        for (int c = 0; c < 3; ++c) rgb->rows[y][3 * x + c] = uint8_t(random());
    // Bits past the width are set too: they must not reach the image.
    for (int y = 0; y < 5; ++y)
      for (int i = 0; i < packed->hdr.bytesPerLine; ++i) packed->rows[y][i] = uint8_t(random());
    Pixr *fromRgb = nullptr, *fromPacked = nullptr;
    ASSERT_EQ(tc_convertToPixr(state_, rgb, &fromRgb), 0);
    ASSERT_EQ(tc_convertToPixr(state_, packed, &fromPacked), 0);
    ASSERT_EQ(fromRgb->channelCount, 3);
    EXPECT_EQ(fromPacked->depth, 1);
    EXPECT_EQ(fromPacked->xResolution, 300 << 16);
    EXPECT_EQ(fromPacked->frame, 32);
    for (int y = 0; y < 5; ++y) {
      const auto *words = reinterpret_cast<const uint32_t *>(packed->rows[y]);
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(norvtest::pixel(fromRgb->channels[c], x, y), rgb->rows[7 + y][3 * (3 + x) + c]);
        ASSERT_EQ(norvtest::pixel(fromPacked, x, y), (words[x / 32] >> (31 - x % 32)) & 1u);
      }
      for (int x = width; x < 32; ++x) ASSERT_EQ(norvtest::pixel(fromPacked, x, y), 0u);
    }
    // Every channel's frame (and whatever lies past the content) holds 0, never what the
    // allocator left there.
    for (int c = 0; c < 3; ++c) {
      const Pixr *ch = fromRgb->channels[c];
      for (int fy = 0; fy < ch->height + 64; ++fy)
        for (int fx = 0; fx < ch->bytesPerRow; ++fx) {
          const bool content = fy >= 32 && fy < ch->height + 32 && fx >= 32 && fx < ch->width + 32;
          if (!content)
            ASSERT_EQ(norvtest::pixel(ch->framedData + int64_t{fy} * ch->bytesPerRow, fx, 8), 0u)
                << "channel " << c << " framed (" << fx << ", " << fy << ")";
        }
    }
    pxlDestroyImage(state_->ipwContext, &fromRgb);
    pxlDestroyImage(state_->ipwContext, &fromPacked);
    // Strides that do not hold whole words of the row.
    const int32_t stride = packed->hdr.bytesPerLine;
    for (const int32_t bad : {stride - 4, stride + 2, 0}) {
      packed->hdr.bytesPerLine = bad;
      Pixr *out = nullptr;
      EXPECT_EQ(tc_convertToPixr(state_, packed, &out), 2) << bad;
      EXPECT_EQ(out, nullptr);
    }
    packed->hdr.bytesPerLine = stride;
    QtzImage_free(rgb);
    QtzImage_free(packed);
  }
  QtzImage *grey = nullptr, *wide = nullptr;
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_GREY8, 4, 4, &grey), 0);
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_PACKED, 32768, 1, &wide), 0);
  Pixr *out = nullptr;
  EXPECT_EQ(tc_convertToPixr(state_, grey, &out), 2);
  EXPECT_EQ(tc_convertToPixr(state_, wide, &out), 2);
  EXPECT_EQ(tc_convertToPixr(state_, nullptr, &out), 2);
  EXPECT_EQ(tc_convertToPixr(state_, grey, nullptr), 2);
  EXPECT_EQ(out, nullptr);
  QtzImage_free(grey);
  QtzImage_free(wide);
}

TEST_F(TiffPagesTest, ConversionFailsCleanlyAtEveryAllocation) {
  QtzImage *rgb = nullptr;
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_RGB, 40, 6, &rgb), 0);
  for (long n = 1;; ++n) {
    Pixr *out = nullptr;
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status = tc_convertToPixr(state_, rgb, &out);
    norvtest::heap.failAt = -1;
    if (status == 0) {
      pxlDestroyImage(state_->ipwContext, &out);
      break;
    }
    EXPECT_EQ(out, nullptr);
    ASSERT_LT(n, 100);
  }
  QtzImage_free(rgb);
}

}  // namespace
