// Documents: MrcFile over documents written by the container library and TifFile over plain
// TIFFs written by libtiff (a matrix of depths and several pages): page counts, page sizes,
// bits per pixel, the page table's lifecycle, and files that cannot be read.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "mrc_file.h"
#include "mrc_writer.h"
#include "testkit_files.h"
#include "tif_file.h"
#include "tiff_writer.h"

namespace ctl {
namespace {

using ctl_test::TiffPage;
using ctl_test::writeTiff;

using ctl_test::Bytes;
using ctl_test::IfdPlan;
using ctl_test::pattern;
using norvtest::TempFile;

IfdPlan mask(uint32_t width, uint32_t height) {
  IfdPlan p;
  p.layer = 2;
  p.colourKind = 1;
  p.width = width;
  p.height = height;
  p.bits = ctl_test::kJbig2Bits;
  p.globals = pattern(8, width);
  p.refs = {0};
  p.coded = pattern(30, height);
  return p;
}

IfdPlan colour(uint32_t layer, uint32_t res, uint32_t width, uint32_t height) {
  IfdPlan p;
  p.layer = layer;
  p.res = res;
  p.width = width;
  p.height = height;
  p.strips = {pattern(40, layer)};
  return p;
}

TEST(MrcFileTest, MissingOrForeignFileHasNoPages) {
  TempFile text("text");
  norvtest::writeFile(text.name(), std::string("not a TIFF file\n"));
  for (const char *path :
       {"/nonexistent/dir/file.tif", text.path(), static_cast<const char *>(nullptr)}) {
    MrcFile file(path);
    EXPECT_EQ(file.io(), nullptr);
    EXPECT_EQ(file.GetPageCount(), 0);
    EXPECT_EQ(file.GetPageSize(0), kUnknownPair);
    EXPECT_EQ(file.GetPage(0), nullptr);
    file.LoadPage(0);
    file.ReleasePage(0);
  }
}

TEST(MrcFileTest, PageSizesAndPages) {
  TempFile path("doc");
  // Page 0: a 300 dpi mask over a 100 dpi background; page 1: a mask alone; page 2: a colour
  // layer alone; page 3: a mask with a foreground.
  ctl_test::writeMrc(path.name(), 13,
                     {{mask(600, 300), colour(1, 100, 200, 100)},
                      {mask(500, 250)},
                      {colour(1, 300, 320, 160)},
                      {mask(400, 200), colour(3, 150, 200, 100)}});
  MrcFile file(path.path());
  ASSERT_NE(file.io(), nullptr);
  ASSERT_EQ(file.GetPageCount(), 4);
  // Several layers: the mask's size, whatever the background's resolution; one layer: its own.
  EXPECT_EQ(file.GetPageSize(0), (LongPair{600, 300}));
  EXPECT_EQ(file.GetPageSize(1), (LongPair{500, 250}));
  EXPECT_EQ(file.GetPageSize(2), (LongPair{320, 160}));
  EXPECT_EQ(file.GetPageSize(4), kUnknownPair);
  EXPECT_EQ(file.GetPageSize(-1), kUnknownPair);

  struct Row {
    int32_t page;
    LongPair size;
    int32_t bitsPerPixel, layers;
  };
  const Row rows[] = {{0, {600, 300}, 24, 3},
                      {1, {500, 250}, 1, 3},
                      {2, {320, 160}, 24, 1},
                      {3, {400, 200}, 24, 3}};
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << "page " << r.page);
    TfxPage *page = file.GetPage(r.page);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetSize(), r.size);
    EXPECT_EQ(page->GetBitsPerPixel(), r.bitsPerPixel);
    EXPECT_EQ(page->GetLayerCount(), r.layers);
    EXPECT_EQ(file.GetPage(r.page), page) << "a page is built once";
  }
  EXPECT_EQ(file.GetPage(4), nullptr);
  EXPECT_EQ(file.GetPage(-1), nullptr);
  file.LoadPage(7);  // beyond the document: ignored

  // Released pages are built again on their next use.
  file.ReleasePage(1);
  ASSERT_NE(file.GetPage(1), nullptr);
  EXPECT_EQ(file.GetPage(1)->GetSize(), (LongPair{500, 250}));
  file.ReleaseAllPages();
  ASSERT_NE(file.GetPage(3), nullptr);
  EXPECT_EQ(file.GetPage(3)->GetBitsPerPixel(), 24);
}

TEST(TifFileTest, PagesOfEveryDepth) {
  TempFile path("matrix");
  struct Case {
    TiffPage page;
    int32_t bitsPerPixel;
  };
  const Case cases[] = {
      {{99, 51, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4}, 1},
      {{33, 17, 2, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}, 0},
      {{31, 15, 4, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}, 4},
      {{21, 11, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_NONE}, 4},
      {{45, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW}, 8},
      {{45, 23, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS}, 8},
      {{17, 9, 16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}, 0},
      {{37, 19, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE}, 24},
      {{37, 19, 8, 4, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE}, 32},
      {{13, 7, 16, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE}, 0},
  };
  std::vector<TiffPage> pages;
  for (const Case &c : cases) pages.push_back(c.page);
  writeTiff(path.name(), pages, false);

  TifFile file(path.path());
  ASSERT_EQ(file.GetPageCount(), static_cast<int32_t>(std::size(cases)));
  for (int32_t i = 0; i < file.GetPageCount(); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(testing::Message() << "directory " << i);
    const LongPair size{c.page.width, c.page.height};
    EXPECT_EQ(file.GetPageSize(i), size);
    EXPECT_EQ(file.GetBitsPerPixel(i), c.bitsPerPixel);
    TfxPage *page = file.GetPage(i);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetSize(), size);
    EXPECT_EQ(page->GetBitsPerPixel(), c.bitsPerPixel);
    EXPECT_EQ(page->GetLayerCount(), 1);
  }
  // Asking out of order selects the right directory again.
  EXPECT_EQ(file.GetPageSize(0), (LongPair{99, 51}));
  EXPECT_EQ(file.GetBitsPerPixel(7), 24);
  const int32_t count = file.GetPageCount();
  EXPECT_EQ(file.GetPageSize(count), (LongPair{0, 0}));
  EXPECT_EQ(file.GetPageSize(-1), (LongPair{0, 0}));
  EXPECT_EQ(file.GetBitsPerPixel(count), 0);
  EXPECT_EQ(file.GetPage(count), nullptr);

  // A released page is not made again.
  file.ReleasePage(2);
  file.LoadPage(2);
  EXPECT_EQ(file.GetPage(2), nullptr);
  EXPECT_NE(file.GetPage(3), nullptr);
  EXPECT_EQ(file.GetPageCount(), count);
}

// Without BitsPerSample and SamplesPerPixel a page is bilevel (the TIFF defaults).
TEST(TifFileTest, AbsentDepthTagsMeanOneBit) {
  TempFile path("defaults");
  writeTiff(path.name(), {{64, 8, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE}}, true);
  TifFile file(path.path());
  ASSERT_EQ(file.GetPageCount(), 1);
  EXPECT_EQ(file.GetBitsPerPixel(0), 1);
}

TEST(TifFileTest, UnreadableFileHasNoPages) {
  TempFile text("text");
  norvtest::writeFile(text.name(), std::string("II*\\0 but nothing more"));
  testing::internal::CaptureStderr();
  for (const char *path : {"/nonexistent/dir/file.tif", text.path()}) {
    TifFile file(path);
    EXPECT_EQ(file.GetPageCount(), 0);
    EXPECT_EQ(file.GetPageSize(0), (LongPair{0, 0}));
    EXPECT_EQ(file.GetBitsPerPixel(0), 0);
    EXPECT_EQ(file.GetPage(0), nullptr);
  }
  // libtiff's complaints come through the file's error sink, as lines of its printer.
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Error 10002 -- "), std::string::npos) << errors;
}

}  // namespace
}  // namespace ctl
