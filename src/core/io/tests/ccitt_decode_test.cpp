// CCITT decoders against reference pixels: the conformance files (libtiff's decodes or the
// images they were made from), fed in chunks of 1, 3 and 4096 bytes and all at once.
#include "ccitt_support.h"
#include "testkit_fax_code.h"

namespace {

using ccitttest::Bitmap;
using iotest::Context;

const std::string kData = std::string(NORV_TEST_DATA) + "/ccitt/";

struct CorpusCase {
  const char *file;
  const char *reference;
};

const CorpusCase kCorpus[] = {
    {"ccitt3.tiff", "ccitt3.ref.pbm"},
    {"ccitt3_2d.tiff", "ccitt3_2d.ref.pbm"},
    {"ccitt3_2d_fill.tiff", "ccitt3_2d_fill.ref.pbm"},
    {"ccitt3_1d_fill.tiff", "ccitt3_1d_fill.ref.pbm"},
    {"ccitt4.tiff", "ccitt4.ref.pbm"},
    {"ccitt_rle.tiff", "ccitt_rle.ref.pbm"},
    {"ccitt_group3_1d.tif", "ccitt_group3_1d.ref.pbm"},
    {"ccitt_group3_2d.tif", "ccitt_group3_2d.ref.pbm"},
    {"ccitt_group3_2d_fill.tif", "ccitt_group3_2d_fill.ref.pbm"},
    {"ccitt_group3_2d_lsb2msb.tif", "ccitt_group3_2d_lsb2msb.ref.pbm"},
    {"ccitt_group4.tif", "ccitt_group4.ref.pbm"},
    {"ccitt-too-many-changes.tif", "ccitt-too-many-changes.ref.pbm"},
    {"contrib_multipage.tif", "contrib_multipage.ref.pbm"},
    {"hopper_g4.tif", "hopper_g4.ref.pbm"},
    {"hopper_g4_500.tif", "hopper_g4_500.oracle.pbm"},
    {"g4-fillorder-test.tif", "g4-fillorder-test.oracle.pbm"},
    {"g4_orientation_1.tif", "g4_orientation_1.ref.pbm"},
    {"testfax3_bug_513.tiff", "testfax3_bug_513.oracle.pbm"},
};

TEST(CcittDecode, ConformanceFilesInChunks) {
  Context c;
  for (const CorpusCase &k : kCorpus) {
    const std::vector<ccitttest::TiffPage> pages = ccitttest::readTiffPages(c.ctx, kData + k.file);
    const std::vector<Bitmap> refs = ccitttest::readPbm(kData + k.reference);
    ASSERT_FALSE(pages.empty()) << k.file;
    ASSERT_EQ(refs.size(), pages.size()) << k.file;
    for (size_t p = 0; p < pages.size(); ++p) {
      for (size_t chunk : {size_t{0}, size_t{1}, size_t{3}, size_t{4096}}) {
        iotest::OwnedImage image(c.ctx);
        ASSERT_EQ(0, ccitttest::decodePage(c.ctx, pages[p], chunk, &image.pix))
            << k.file << " page " << p << " chunk " << chunk;
        const Bitmap got = ccitttest::toBitmap(image.pix, pages[p].photometric == 1);
        EXPECT_EQ(0, ccitttest::differences(got, refs[p]))
            << k.file << " page " << p << " chunk " << chunk;
      }
    }
  }
}

TEST(CcittDecode, RawGroup3WithEolsAndReturnToControl) {
  Context c;
  const std::vector<uint8_t> data = iotest::readFile(kData + "miniswhite-1c-1b.g3");
  const Bitmap oracle = ccitttest::readPbm(kData + "miniswhite-1c-1b.g3.oracle.pbm").at(0);
  for (size_t chunk : {size_t{0}, size_t{7}}) {
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 1728, 1728, 1, 0, 0, 32, &image.pix));
    ASSERT_EQ(0, ccitttest::decodeStrip(c.ctx, ccitttest::Coding::Mr, data, chunk, image.pix, 1728,
                                        0, 1728));
    EXPECT_EQ(0, ccitttest::differences(ccitttest::toBitmap(image.pix), oracle)) << chunk;
  }
}

// Row y of a decoded bitmap, '#' for black.
std::string rowText(const Bitmap &b, int32_t y) {
  std::string row;
  for (int32_t x = 0; x < b.width; ++x) row += b.pixel(x, y) ? '#' : '.';
  return row;
}

// Empty runs stay in a line's run list: the next line's pass and vertical codes land where
// libtiff puts them, whether the data comes at once or a byte at a time.
TEST(CcittDecode, EmptyRunsCountForTheNextLine) {
  Context c;
  for (const norvtest::EmptyRunCode &k : norvtest::kEmptyRunCodes) {
    SCOPED_TRACE(k.name);
    const std::vector<uint8_t> code = norvtest::bits(k.code);
    const std::vector<std::string> expected =
        norvtest::libtiffFaxRows(code, 8, 3, COMPRESSION_CCITTFAX4);
    ASSERT_EQ(3u, expected.size());
    for (size_t chunk : {size_t{0}, size_t{1}}) {
      iotest::OwnedImage image(c.ctx);
      ASSERT_EQ(0, pxlCreateImage(c.ctx, 8, 3, 1, 0, 0, 32, &image.pix));
      ASSERT_EQ(0, ccitttest::decodeStrip(c.ctx, ccitttest::Coding::Mmr, code, chunk, image.pix, 8,
                                          0, 3));
      const Bitmap got = ccitttest::toBitmap(image.pix);
      for (int32_t y = 0; y < 3; ++y)
        EXPECT_EQ(expected[y], rowText(got, y)) << "line " << y << " chunk " << chunk;
    }
  }
}

// T.4 lines without an EOL before them are decoded where they begin (fill zeros before an EOL
// are skipped), whether the data come at once or a byte at a time; the last line is shorter
// than an EOL.
TEST(CcittDecode, T4LinesWithoutEols) {
  Context c;
  for (const norvtest::LinesWithoutEolsCode &k : norvtest::kLinesWithoutEols) {
    SCOPED_TRACE(k.name);
    const std::vector<uint8_t> code = norvtest::bits(k.code);
    const ccitttest::Coding coding = k.t4Options ? ccitttest::Coding::Mr2D : ccitttest::Coding::Mr;
    for (size_t chunk : {size_t{0}, size_t{1}}) {
      iotest::OwnedImage image(c.ctx);
      ASSERT_EQ(0, pxlCreateImage(c.ctx, 8, 3, 1, 0, 0, 32, &image.pix));
      ASSERT_EQ(0, ccitttest::decodeStrip(c.ctx, coding, code, chunk, image.pix, 8, 0, 3));
      const Bitmap got = ccitttest::toBitmap(image.pix);
      for (int32_t y = 0; y < 3; ++y)
        EXPECT_EQ(k.rows[y], rowText(got, y)) << "line " << y << " chunk " << chunk;
    }
  }
}

}  // namespace

namespace {

// Renders the test page with Ghostscript to a fax device; the reference pixels are tifftopnm's.
struct RenderedPage {
  std::vector<ccitttest::TiffPage> pages;
  Bitmap reference;
};

bool render(Context &c, const iotest::TempDir &dir, const std::string &device, int dpi,
            RenderedPage *out) {
  const std::string tif = dir.file(device + ".tif"), pbm = dir.file(device + ".pbm");
  if (!iotest::makeFile("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + device + " -r" +
                            std::to_string(dpi) + " -sOutputFile=- " + NORV_TEST_DATA + "/page.ps",
                        tif) ||
      !iotest::makeFile("tifftopnm " + tif, pbm))
    return false;
  out->pages = ccitttest::readTiffPages(c.ctx, tif);
  std::vector<Bitmap> refs = ccitttest::readPbm(pbm);
  if (out->pages.size() != 1 || refs.size() != 1) return false;
  out->reference = std::move(refs[0]);
  return true;
}

TEST(CcittDecode, GhostscriptPagesEqualLibtiffPixels) {
  if (!iotest::haveTools({"gs", "tifftopnm"})) GTEST_SKIP() << "ghostscript or netpbm missing";
  Context c;
  iotest::TempDir dir;
  for (const char *device : {"tiffg4", "tiffg3", "tiffg32d", "tiffcrle"}) {
    RenderedPage page;
    ASSERT_TRUE(render(c, dir, device, 150, &page)) << device;
    for (size_t chunk : {size_t{0}, size_t{1}, size_t{3}, size_t{4096}}) {
      iotest::OwnedImage image(c.ctx);
      ASSERT_EQ(0, ccitttest::decodePage(c.ctx, page.pages[0], chunk, &image.pix))
          << device << " chunk " << chunk;
      EXPECT_EQ(0, ccitttest::differences(ccitttest::toBitmap(image.pix), page.reference))
          << device << " chunk " << chunk;
    }
  }
}

}  // namespace
