// The reading interface over TIFF files made by libtiff's tools (make_fixtures.sh), checked
// against outside references: the page count against tiffinfo's, every strip that ovrReadStrip
// returns against libtiff's raw strip (or raw tile, for tiles that span the width), and JPEG
// strips, which come with their JPEGTables merged in, against the pixels libtiff decodes.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "jpeg_probe.h"
#include "reader_test_support.h"
#include "testkit_tools.h"
#include "tiff_fixtures.h"

namespace {

class ReaderFixtures : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
  }
  void SetUp() override { ovr_test::requireTiffFixtures(); }
  static std::string path(const std::string &name) { return ovr_test::fixturePath(name); }

  ovr_test::TestContext ctx_;
};

// Every fixture. Two have strips the reader does not hand out: rgb_narrow_tiles.tif has tiles
// narrower than the image, which are no strips, and bilevel_g4_fill2.tif has FillOrder 2.
const char *const kFiles[] = {
    "bilevel_none.tif", "bilevel_g4.tif",       "bilevel_g4_be_r8.tif", "bilevel_g3_be.tif",
    "grey_lzw_r7.tif",  "grey_jpeg.tif",        "grey_tiles_be.tif",    "rgb_jpeg.tif",
    "rgb_jpeg_be.tif",  "rgb_lzw_be.tif",       "palette_none.tif",     "multipage.tif",
    "tagged_be.tif",    "bilevel_g4_fill2.tif", "rgb_narrow_tiles.tif",
};
bool stripsReadable(const std::string &name) {
  return name != "bilevel_g4_fill2.tif" && name != "rgb_narrow_tiles.tif";
}

// A fixture file opened as a document through the stdio adapters (closed before the file).
class FileDocument {
 public:
  FileDocument(OvrIoContext *ctx, const std::string &name)
      : file_(name), doc_(ctx, &file_.hooked) {}
  OvrDocHandle *get() const { return doc_.get(); }

 private:
  struct File {
    explicit File(const std::string &name)
        : hooked{std::fopen(name.c_str(), "rb"), 0, &ovr_test::kStdioHooks} {}
    ~File() {
      if (hooked.file != nullptr) std::fclose(hooked.file);
    }
    OvrHookedFile hooked;
  } file_;
  ovr_test::OpenDocument doc_;
};

int tiffinfoPages(const std::string &file) {
  const norvtest::ToolRun run = norvtest::runTool("tiffinfo " + norvtest::shellQuote(file));
  if (run.status < 0) return -1;
  int pages = 0;
  std::istringstream out(run.text());
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("TIFF Directory at offset", 0) == 0) ++pages;
  }
  return pages;
}

struct TiffCloser {
  void operator()(TIFF *tif) const { TIFFClose(tif); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

// The only layer of a plain TIFF page (the mask layer for bilevel pages, else the background).
uint32_t onlyLayer(const std::vector<uint32_t> &counts) {
  for (uint32_t l = 0; l < counts.size(); ++l) {
    if (counts[l] == 1) return l + 1;
  }
  return 0;
}

struct PageStripe {
  OvrIfdHandle *ifd = nullptr;
  uint32_t width = 0, height = 0, rowsPerStrip = 0, bits = 0;
};

// Loads page p and its one stripe; fails the test when either is missing.
void loadStripe(OvrDocHandle *doc, int32_t p, PageStripe *s) {
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  uint16_t attribute = 0;
  OvrPageHandle *page = nullptr;
  ASSERT_EQ(ovrGetPage(doc, p, &counts, &layers, &attribute, &page), OVR_OK) << "page " << p;
  const uint32_t layer = onlyLayer(std::vector<uint32_t>(counts, counts + layers));
  ASSERT_NE(layer, 0u);
  uint32_t x, y, xRes, yRes, kind;
  ASSERT_EQ(ovrGetStripeIfd(page, layer, 0, &x, &y, &xRes, &yRes, &s->width, &s->height,
                            &s->rowsPerStrip, &s->bits, &kind, nullptr, &s->ifd),
            OVR_OK);
}

// What libtiff gives for strip s: its raw bytes, or for JPEG its decoded pixels (RGB for YCbCr).
std::vector<uint8_t> libtiffStrip(TIFF *tif, uint32_t s, bool jpeg) {
  std::vector<uint8_t> bytes;
  if (jpeg) {
    uint16_t photometric = 0;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (photometric == PHOTOMETRIC_YCBCR)
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    bytes.resize(TIFFStripSize(tif));
    const tmsize_t got = TIFFReadEncodedStrip(tif, s, bytes.data(), bytes.size());
    bytes.resize(got < 0 ? 0 : got);
  } else if (TIFFIsTiled(tif)) {
    bytes.resize(TIFFGetStrileByteCount(tif, s));
    TIFFReadRawTile(tif, s, bytes.data(), bytes.size());
  } else {
    bytes.resize(TIFFGetStrileByteCount(tif, s));
    TIFFReadRawStrip(tif, s, bytes.data(), bytes.size());
  }
  return bytes;
}

TEST_F(ReaderFixtures, PageCountsMatchTiffinfo) {
  for (const char *name : kFiles) {
    FileDocument doc(ctx_.get(), path(name));
    ASSERT_NE(doc.get(), nullptr) << name;
    uint8_t kind = 0, sub = 0;
    uint16_t pages = 0;
    ASSERT_EQ(ovrGetDocumentInfo(doc.get(), &kind, &sub, &pages), OVR_OK) << name;
    EXPECT_EQ(kind, 7);
    EXPECT_EQ(pages, tiffinfoPages(path(name))) << name;
  }
}

TEST_F(ReaderFixtures, StripsMatchLibtiff) {
  for (const char *name : kFiles) {
    if (!stripsReadable(name)) continue;  // below
    SCOPED_TRACE(name);
    FileDocument doc(ctx_.get(), path(name));
    TiffFile tif(TIFFOpen(path(name).c_str(), "r"));
    ASSERT_TRUE(tif);
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0;
    for (int32_t p = 0; p == 0 || TIFFReadDirectory(tif.get()); ++p) {
      PageStripe s;
      loadStripe(doc.get(), p, &s);
      uint32_t width = 0, height = 0, rows = 0;
      TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
      TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
      if (!TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &rows))
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &rows);
      EXPECT_EQ(s.width, width);
      EXPECT_EQ(s.height, height);
      EXPECT_EQ(s.rowsPerStrip, std::min(rows, height));
      const bool jpeg = s.bits == 16;
      const uint32_t strips =
          TIFFIsTiled(tif.get()) ? TIFFNumberOfTiles(tif.get()) : TIFFNumberOfStrips(tif.get());
      ASSERT_EQ(strips, (height + s.rowsPerStrip - 1) / s.rowsPerStrip);
      ASSERT_EQ(ovrBeginRead(s.ifd, 0), OVR_OK);
      for (uint32_t i = 0; i < strips; ++i) {
        const uint32_t row = i * s.rowsPerStrip;
        const uint32_t stripRows = std::min(s.rowsPerStrip, height - row);
        uint32_t bytes = 0, got = 0;
        ASSERT_EQ(ovrGetStripByteCount(s.ifd, row, &bytes), OVR_OK);
        EXPECT_EQ(bytes, TIFFGetStrileByteCount(tif.get(), i));
        ASSERT_EQ(ovrReadStrip(s.ifd, row, stripRows, &buffer, &capacity, &got), OVR_OK);
        const std::vector<uint8_t> expected = libtiffStrip(tif.get(), i, jpeg);
        std::vector<uint8_t> ours(buffer, buffer + got);
        if (jpeg) {
          EXPECT_GT(got, bytes) << "tables merged into strip " << i;
          unsigned w = 0, h = 0;
          ours.clear();
          ASSERT_TRUE(ovr_test::jpegDecodes(buffer, got, &w, &h, &ours)) << "strip " << i;
          ASSERT_GE(ours.size(), expected.size());
          ours.resize(expected.size());
          ASSERT_FALSE(expected.empty());
        }
        EXPECT_EQ(ours, expected) << "page " << p << ", strip " << i;
      }
      EXPECT_EQ(ovrEndRead(s.ifd), OVR_OK);
    }
    void *block = buffer;
    if (block != nullptr) {
      EXPECT_EQ(ovrFreeData(ctx_.get(), &block), OVR_OK);
    }
  }
}

TEST_F(ReaderFixtures, FillOrderTwoIsRefused) {
  FileDocument doc(ctx_.get(), path("bilevel_g4_fill2.tif"));
  PageStripe s;
  loadStripe(doc.get(), 0, &s);
  ASSERT_EQ(ovrBeginRead(s.ifd, 0), OVR_OK);
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0, got = 0;
  EXPECT_EQ(ovrReadStrip(s.ifd, 0, s.rowsPerStrip, &buffer, &capacity, &got), OVR_ERR_UNSUPPORTED);
  EXPECT_EQ(ovrEndRead(s.ifd), OVR_OK);
}

TEST_F(ReaderFixtures, TilesNarrowerThanTheImageAreNoStrips) {
  FileDocument doc(ctx_.get(), path("rgb_narrow_tiles.tif"));
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  uint16_t attribute = 0;
  OvrPageHandle *page = nullptr;
  EXPECT_EQ(ovrGetPage(doc.get(), 0, &counts, &layers, &attribute, &page), OVR_ERR_UNSUPPORTED);
  EXPECT_EQ(page, nullptr);
}

TEST_F(ReaderFixtures, ImageLayerAndDecodeOfATaggedFile) {
  FileDocument doc(ctx_.get(), path("tagged_be.tif"));
  PageStripe s;
  loadStripe(doc.get(), -1, &s);  // the page's one IFD, on layer 2 by its ImageLayer (2, 1)
  const int32_t *decode = nullptr;
  uint32_t count = 0;
  int32_t present = 0;
  ASSERT_EQ(ovrGetDecode(s.ifd, &decode, &count, &present), OVR_OK);
  ASSERT_EQ(present, 1);
  ASSERT_EQ(count, 2u);  // tiffdump: SRATIONAL 2<-1 1>
  EXPECT_EQ(std::vector<int32_t>(decode, decode + 4), (std::vector<int32_t>{-1, 1, 1, 1}));
}

}  // namespace
