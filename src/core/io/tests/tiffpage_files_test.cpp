// The TIFF page reader against netpbm's tifftopnm on a matrix of files made at test time: a
// Ghostscript page (bilevel and grey) and generated colour pictures, turned into TIFF by
// pnmtotiff (1-, 2-, 4- and 8-bit grey, both photometric senses, 2- to 8-bit palettes, RGB)
// and converted by tiffcp into every compression (none, LZW, Deflate, PackBits, Group 3 1-D
// and 2-D, Group 4, JPEG) in strips and as one tile, in both byte orders, and into a
// multi-page file; Ghostscript's own fax devices add CCITT RLE and its Group 3 and 4
// variants. Every page must hold tifftopnm's pixels (JPEG within a small tolerance) and the
// file's resolution; pages coded by the core's own coders read the same row by row.
#include <string>
#include <vector>

#include "testkit_tools.h"
#include "tiffpage_support.h"

namespace {

using iotest::Context;
using norvtest::Pnm;
using norvtest::shellQuote;
using tiffpagetest::readPage;
using tiffpagetest::reference;

const std::string kPage = std::string(NORV_TEST_DATA) + "/page.ps";

// A colour picture of `colours` colours (0: a smooth gradient of thousands of colours).
Pnm picture(int width, int height, int colours) {
  Pnm p;
  p.kind = '6', p.width = width, p.height = height;
  p.raster.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t *px = p.row(y) + 3 * x;
      if (colours == 0) {
        px[0] = static_cast<uint8_t>(x * 255 / width);
        px[1] = static_cast<uint8_t>(y * 255 / height);
        px[2] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
      } else {
        const int i = ((x / 3) * 7 + (y / 2) * 3 + x * y / 11) % colours;
        px[0] = static_cast<uint8_t>(i * 37 + 5), px[1] = static_cast<uint8_t>(i * 91 + 11);
        px[2] = static_cast<uint8_t>(i * 53 + 17);
      }
    }
  return p;
}

struct Base {
  std::string name;                       // file in the directory
  std::vector<std::string> compressions;  // tiffcp -c values
  int xdpi, ydpi;
};

class TiffPageFiles : public ::testing::Test {
 protected:
  static iotest::TempDir *dir;
  static std::vector<Base> bases;
  static bool ready;

  static bool run(const std::string &command) {
    return norvtest::runTool(command + " >/dev/null 2>&1").status == 0;
  }
  static std::string at(const std::string &name) { return dir->file(name); }

  static void SetUpTestSuite() {
    dir = new iotest::TempDir("tiffpages");
    ready = false;
    if (!iotest::haveTools({"gs", "tiffcp", "tifftopnm", "pnmtotiff", "pamdepth"})) return;
    const std::string bw = norvtest::renderPage(kPage, "pbmraw", 72);
    const std::string grey = norvtest::renderPage(kPage, "pgmraw", 40);
    if (bw.empty() || grey.empty()) return;
    const std::vector<std::string> plain = {"none", "lzw", "zip", "packbits"};
    std::vector<std::string> fax = plain;
    fax.insert(fax.end(), {"g3", "g3:2d", "g3:2d:fill", "g4"});
    std::vector<std::string> jpeg = plain;
    jpeg.push_back("jpeg");
    std::vector<std::string> jpegRgb = plain;
    jpegRgb.push_back("jpeg:r");
    struct Make {
      const char *name;
      std::string command;
      std::vector<std::string> compressions;
      int xdpi, ydpi;
    };
    const std::string res = " -xresolution 150 -yresolution 75 ";
    const std::vector<Make> makes = {
        {"bw_white.tif", "pnmtotiff -miniswhite -xresolution 72 -yresolution 72 " + shellQuote(bw),
         fax, 72, 72},
        {"bw_black.tif", "pnmtotiff -minisblack -xresolution 72 -yresolution 72 " + shellQuote(bw),
         fax, 72, 72},
        {"grey8.tif", "pnmtotiff" + res + shellQuote(grey), jpeg, 150, 75},
        {"grey8_white.tif", "pnmtotiff -miniswhite" + res + shellQuote(grey), plain, 150, 75},
        {"grey4.tif", "pamdepth 15 " + shellQuote(grey) + " | pnmtotiff" + res, plain, 150, 75},
        {"grey2.tif", "pamdepth 3 " + shellQuote(grey) + " | pnmtotiff" + res, plain, 150, 75},
        {"palette2.tif", "pnmtotiff -indexbits=2" + res + shellQuote(at("c4.ppm")), plain, 150, 75},
        {"palette4.tif", "pnmtotiff -indexbits=4" + res + shellQuote(at("c16.ppm")), plain, 150,
         75},
        {"palette8.tif", "pnmtotiff -indexbits=8" + res + shellQuote(at("c200.ppm")), plain, 150,
         75},
        {"rgb.tif", "pnmtotiff" + res + shellQuote(at("rgb.ppm")), jpegRgb, 150, 75},
    };
    norvtest::writePnm(at("c4.ppm"), picture(77, 45, 4));
    norvtest::writePnm(at("c16.ppm"), picture(130, 90, 16));
    norvtest::writePnm(at("c200.ppm"), picture(201, 99, 200));
    norvtest::writePnm(at("rgb.ppm"), picture(203, 151, 0));
    for (const Make &m : makes) {
      if (!iotest::makeFile(m.command, at(m.name))) return;
      bases.push_back({m.name, m.compressions, m.xdpi, m.ydpi});
    }
    ready = true;
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
    bases.clear();
  }
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "Ghostscript, libtiff tools or netpbm missing";
  }

  // Reads every page of a file and checks it against tifftopnm and the resolution; pages of
  // the core's own coders are read row by row as well. `inverted`: the page holds BlackIsZero
  // CCITT data, which the reader keeps as coded (1 = black) where tifftopnm inverts it.
  void expectPages(const std::string &path, int pages, int tolerance, int xdpi, int ydpi,
                   bool inverted = false) {
    for (int page = 1; page <= pages; ++page) {
      SCOPED_TRACE(path + " page " + std::to_string(page));
      Context c;
      iotest::OwnedImage image(c.ctx), rows(c.ctx);
      ASSERT_EQ(0, readPage(c.ctx, path, page, &image.pix));
      ASSERT_NE(nullptr, image.pix);
      Pnm ref = reference(path, page);
      if (inverted)
        for (int y = 0; y < ref.height; ++y)
          for (int x = 0; x < ref.width; ++x)
            ref.row(y)[x / 8] ^= static_cast<uint8_t>(0x80 >> x % 8);
      EXPECT_EQ(0, tiffpagetest::differences(image.pix, ref, tolerance));
      EXPECT_EQ(xdpi << 16, norvtest::channel(image.pix, 0)->xResolution);
      EXPECT_EQ(ydpi << 16, norvtest::channel(image.pix, 0)->yResolution);
      ASSERT_EQ(0, readPage(c.ctx, path, page, &rows.pix, 1));
      EXPECT_EQ(0, tiffpagetest::differences(rows.pix, ref, tolerance));
    }
  }
};

iotest::TempDir *TiffPageFiles::dir = nullptr;
std::vector<Base> TiffPageFiles::bases;
bool TiffPageFiles::ready = false;

TEST_F(TiffPageFiles, EveryCompressionLayoutAndByteOrderEqualsTifftopnm) {
  int files = 0;
  for (const Base &base : bases) {
    for (const std::string &compression : base.compressions) {
      for (const char *layout : {"-r 16", "-t -w 1024 -l 1280"}) {
        for (const char *order : {"-B", "-L"}) {
          const std::string out = at("out.tif");
          ASSERT_TRUE(run("tiffcp -c " + compression + " " + layout + " " + order + " " +
                          shellQuote(at(base.name)) + " " + shellQuote(out)))
              << base.name << " " << compression << " " << layout;
          SCOPED_TRACE(base.name + " -c " + compression + " " + layout + " " + order);
          const bool ccittBlackIsZero = base.name == "bw_black.tif" && compression[0] == 'g';
          expectPages(out, 1, compression.rfind("jpeg", 0) == 0 ? 2 : 0, base.xdpi, base.ydpi,
                      ccittBlackIsZero);
          ++files;
        }
      }
    }
  }
  EXPECT_GT(files, 150);
}

TEST_F(TiffPageFiles, GhostscriptFaxDevicesAndMultiPageFiles) {
  // Ghostscript's devices write CCITT RLE, Group 3 with EOL fill and Group 4 (FillOrder 2
  // through tiffcp) at 204 x 196 dpi; three pages each.
  const std::string threePages = at("three.ps");
  const std::vector<uint8_t> page = norvtest::readFile(kPage);
  std::vector<uint8_t> three;
  for (int i = 0; i < 3; ++i) three.insert(three.end(), page.begin(), page.end());
  ASSERT_TRUE(norvtest::writeFile(threePages, three));
  for (const char *device : {"tiffcrle", "tiffg3", "tiffg32d", "tiffg4"}) {
    const std::string out = at(std::string(device) + ".tif");
    ASSERT_TRUE(run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + std::string(device) +
                    " -r204x196 -sOutputFile=" + shellQuote(out) + " " + shellQuote(threePages)));
    expectPages(out, 3, 0, 204, 196);
  }
  const std::string lsb = at("lsb.tif");
  ASSERT_TRUE(
      run("tiffcp -f lsb2msb -c g4 " + shellQuote(at("tiffg4.tif")) + " " + shellQuote(lsb)));
  expectPages(lsb, 3, 0, 204, 196);

  // A file of four different pages; the page past the last gives no image.
  const std::string multi = at("multi.tif");
  ASSERT_TRUE(
      run("tiffcp -c g4 " + shellQuote(at("bw_white.tif")) + " " + shellQuote(at("m1.tif"))));
  ASSERT_TRUE(run("tiffcp -c lzw " + shellQuote(at("grey4.tif")) + " " + shellQuote(at("m2.tif"))));
  ASSERT_TRUE(
      run("tiffcp -c packbits " + shellQuote(at("palette4.tif")) + " " + shellQuote(at("m3.tif"))));
  ASSERT_TRUE(run("tiffcp -c none " + shellQuote(at("m1.tif")) + " " + shellQuote(at("m2.tif")) +
                  " " + shellQuote(at("m3.tif")) + " " + shellQuote(at("rgb.tif")) + " " +
                  shellQuote(multi)));
  for (int page = 1; page <= 4; ++page) {
    SCOPED_TRACE("multi page " + std::to_string(page));
    Context c;
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readPage(c.ctx, multi, page, &image.pix));
    EXPECT_EQ(0, tiffpagetest::differences(image.pix, reference(multi, page)));
  }
  Context c;
  iotest::OwnedImage past(c.ctx), first(c.ctx);
  EXPECT_EQ(0, readPage(c.ctx, multi, 5, &past.pix));
  EXPECT_EQ(nullptr, past.pix);
  ASSERT_EQ(0, readPage(c.ctx, multi, 0, &first.pix));
  EXPECT_EQ(0, tiffpagetest::differences(first.pix, reference(multi, 1)));
}

}  // namespace
