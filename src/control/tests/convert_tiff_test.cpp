// ConvertTiff2Tfx through the dispatch interface: a scan converted by the document encoder opens
// in the control as a TIFF-FX document whose page renders to the scan's pixels; the member
// answers the conversion's status when it fails, leaving no output, and leaves the open
// document alone.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "fake_document.h"
#include "norvview_ctrl.h"
#include "testkit_files.h"

namespace ctl {
namespace {

using ctl_test::renderPixel;

const std::string kScan = std::string(NORV_TEST_DATA) + "/scan_text300.tif";

// The scan's pixels as libtiff decodes them: true for black.
std::vector<std::vector<bool>> scanPixels(const std::string &path) {
  std::vector<std::vector<bool>> rows;
  TIFF *tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return rows;
  uint32_t width = 0, height = 0;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
  for (uint32_t y = 0; y < height && TIFFReadScanline(tif, line.data(), y, 0) == 1; ++y) {
    std::vector<bool> row(width);
    for (uint32_t x = 0; x < width; ++x)
      row[x] = ((line[x / 8] >> (7 - x % 8) & 1) != 0) == (photometric == PHOTOMETRIC_MINISWHITE);
    rows.push_back(std::move(row));
  }
  TIFFClose(tif);
  return rows;
}

int32_t convert(NorvviewCtrl &control, const std::string &in, const std::string &out) {
  comp::Variant result;
  const std::array args{comp::Variant::bstr(in), comp::Variant::bstr(out)};
  EXPECT_EQ(control.invoke(kIdConvertTiff2Tfx, comp::kMethod, args, &result), comp::S_OK);
  return result.asI4();
}

TEST(ConvertTiffTest, ConvertedScanOpensAndRendersAsTheScan) {
  norvtest::TempDir dir("convert");
  const std::string tfx = dir.file("scan.tfx");  // the control opens .tif files as plain TIFF
  NorvviewCtrl control;
  ASSERT_EQ(convert(control, kScan, tfx), 0);
  EXPECT_EQ(control.NumPages(), 0);  // the open document is not changed

  const std::vector<std::vector<bool>> scan = scanPixels(kScan);
  ASSERT_FALSE(scan.empty());
  const int32_t width = static_cast<int32_t>(scan[0].size());
  const int32_t height = static_cast<int32_t>(scan.size());
  control.SetFileName(tfx);
  ASSERT_EQ(control.NumPages(), 1);
  NorvviewCtrl::Page *page = control.GetCachedPage(0);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetSize().x, width);
  EXPECT_EQ(page->GetSize().y, height);
  DibImgBuf bitmap;
  ASSERT_TRUE(page->GetTfxPage()->Render(&bitmap, Rect{0, 0, width, height}, 1.0, 0));
  int64_t black = 0, differing = 0;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const bool ink = renderPixel(bitmap, x, y) == 0x000000;
      black += ink;
      differing += ink != scan[y][x];
    }
  EXPECT_GT(black, 1000);
  // The default settings code matching glyphs with one shape: at most a sliver of pixels moves.
  EXPECT_LE(differing, black / 50) << differing << " of " << black;
}

// A failed conversion answers its status and leaves the output name as it was: absent, or the
// file that had it before (a missing scan, a directory that does not exist, a full disk).
TEST(ConvertTiffTest, FailedConversionAnswersItsStatusAndLeavesNoFile) {
  norvtest::TempDir dir("convert");
  NorvviewCtrl control;
  const std::string out = dir.file("out.tfx");
  EXPECT_EQ(convert(control, dir.file("missing.tif"), out), 2000);
  EXPECT_EQ(convert(control, kScan, dir.file("no/dir/out.tfx")), 12000 + ENOENT);
  EXPECT_TRUE(norvtest::listDirectory(dir.path()).empty());
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "earlier file" : "no earlier file");
    if (existing) ASSERT_TRUE(norvtest::writeFile(out, std::string("old")));
    int32_t status = 0;
    {
      norvtest::FileSizeLimit disk(2000);
      status = convert(control, kScan, out);
    }
    EXPECT_NE(status, 0);
    EXPECT_EQ(norvtest::listDirectory(dir.path()),
              existing ? std::vector<std::string>{"out.tfx"} : std::vector<std::string>{});
    if (existing) EXPECT_EQ(norvtest::readFile(out), std::vector<uint8_t>({'o', 'l', 'd'}));
  }
  EXPECT_EQ(control.NumPages(), 0);
}

}  // namespace
}  // namespace ctl
