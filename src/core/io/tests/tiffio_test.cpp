// TIFF library binding: message lines through the opening context, modes, the client
// procedures, closing with a status and the close that keeps the handle.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include <filesystem>

#include "io_support.h"
#include "pxl_tiff.h"

namespace {

using iotest::Context;
using iotest::MemoryFile;

// Writes one uncompressed 1-bit page of width x height in one strip with the given rows.
bool writePage(TIFF *tif, uint32_t width, uint32_t height, std::vector<uint8_t> &rows) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  return TIFFWriteEncodedStrip(tif, 0, rows.data(), static_cast<tmsize_t>(rows.size())) >= 0;
}

std::vector<uint8_t> patternRows(uint32_t width, uint32_t height) {
  std::vector<uint8_t> rows(((width + 7) / 8) * height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 37 + 11);
  return rows;
}

TEST(TiffBinding, MissingFileGivesOneCannotOpenLine) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("missing.tif");
  EXPECT_EQ(nullptr, pxlTiffOpen(c.ctx, path.c_str(), "r"));
  ASSERT_EQ(1u, c.lines.size());
  EXPECT_EQ("Disaster in TIFFOpen: " + path + ": Cannot open.\n", c.lines[0]);
}

TEST(TiffBinding, BadModeIsRefusedWithoutTouchingTheFileSystem) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("new.tif");
  EXPECT_EQ(nullptr, pxlTiffOpen(c.ctx, path.c_str(), "x"));
  ASSERT_EQ(1u, c.lines.size());
  EXPECT_EQ("Disaster in TIFFOpen: \"x\": Bad mode.\n", c.lines[0]);
  EXPECT_FALSE(std::filesystem::exists(path));

  MemoryFile memory;
  EXPECT_EQ(nullptr, memory.open(c.ctx, "q"));
  ASSERT_EQ(2u, c.lines.size());
  EXPECT_EQ("Disaster in TIFFClientOpen: \"q\": Bad mode.\n", c.lines[1]);
}

TEST(TiffBinding, ContextWithoutCallbackBehavesTheSame) {
  Context c(false);
  EXPECT_EQ(nullptr, pxlTiffOpen(c.ctx, "/nonexistent/dir/file.tif", "r"));
  EXPECT_EQ(nullptr, pxlTiffOpen(c.ctx, "/tmp/x.tif", "x"));
}

TEST(TiffBinding, NoContextClosesTheHandle) {
  MemoryFile memory;
  EXPECT_EQ(nullptr, memory.open(nullptr, "w"));
  EXPECT_EQ(1, memory.closes);
}

TEST(TiffBinding, LinesWithoutModuleAndLongTexts) {
  Context c;
  pxlTiffReportError(c.ctx, nullptr, "code %d", 5);
  pxlTiffReportWarning(c.ctx, nullptr, "code %d", 6);
  pxlTiffReportWarning(c.ctx, "Mod", "w");
  const std::string longText(2000, 'a');
  pxlTiffReportError(c.ctx, "Mod", "%s", longText.c_str());
  ASSERT_EQ(4u, c.lines.size());
  EXPECT_EQ("Disaster: code 5.\n", c.lines[0]);
  EXPECT_EQ("Minor Problem: code 6.\n", c.lines[1]);
  EXPECT_EQ("Minor Problem in Mod: w.\n", c.lines[2]);
  EXPECT_EQ(511u, c.lines[3].size());
  EXPECT_EQ(0u, c.lines[3].find("Disaster in Mod: aaa"));
  EXPECT_EQ(".\n", c.lines[3].substr(509));
}

TEST(TiffBinding, WritesFilesThatReadBackAndPassTiffinfo) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("page.tif");
  std::vector<uint8_t> rows = patternRows(37, 9);
  TIFF *tif = pxlTiffOpen(c.ctx, path.c_str(), "w");
  ASSERT_NE(nullptr, tif);
  EXPECT_EQ(c.ctx, pxlTiffGetContext(tif));
  ASSERT_TRUE(writePage(tif, 37, 9, rows));
  EXPECT_EQ(0, pxlTiffClose(tif));

  tif = pxlTiffOpen(c.ctx, path.c_str(), "r");
  ASSERT_NE(nullptr, tif);
  EXPECT_EQ(O_RDONLY, TIFFGetMode(tif));
  std::vector<uint8_t> back(rows.size());
  EXPECT_EQ(static_cast<tmsize_t>(rows.size()),
            TIFFReadEncodedStrip(tif, 0, back.data(), static_cast<tmsize_t>(back.size())));
  EXPECT_EQ(rows, back);
  EXPECT_EQ(0, pxlTiffClose(tif));

  tif = pxlTiffOpen(c.ctx, path.c_str(), "r+");
  ASSERT_NE(nullptr, tif);
  EXPECT_EQ(O_RDWR, TIFFGetMode(tif));
  EXPECT_EQ(0, pxlTiffClose(tif));
  EXPECT_TRUE(c.lines.empty());

  if (!iotest::haveTools({"tiffinfo"})) GTEST_SKIP() << "tiffinfo not installed";
  const norvtest::ToolRun info = norvtest::runTool("tiffinfo -D " + path);
  EXPECT_EQ(0, info.status) << info.errors;
  EXPECT_EQ(std::string::npos, (info.text() + info.errors).find("rror")) << info.errors;
}

// A little-endian file whose directory holds a tag libtiff does not know: libtiff warns.
std::vector<uint8_t> fileWithUnknownTag() {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) { f.push_back(v & 0xFF), f.push_back(v >> 8 & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    u16(tag), u16(type), u32(1), type == 3 ? (u16(value), u16(0)) : u32(value);
  };
  const uint32_t dataOffset = 8 + 2 + 9 * 12 + 4;
  u16(9);
  entry(256, 3, 8);  // width
  entry(257, 3, 2);  // height
  entry(258, 3, 1);
  entry(259, 3, 1);
  entry(262, 3, 0);
  entry(273, 4, dataOffset);
  entry(278, 3, 2);
  entry(279, 4, 2);
  entry(65000, 3, 7);
  u32(0);
  f.push_back(0xF0), f.push_back(0x0F);
  return f;
}

TEST(TiffBinding, WarningsArriveAsWarningsAndNothingReachesStderr) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("unknown_tag.tif");
  iotest::writeFile(path, fileWithUnknownTag());
  testing::internal::CaptureStderr();
  TIFF *tif = pxlTiffOpen(c.ctx, path.c_str(), "r");
  ASSERT_NE(nullptr, tif);
  uint8_t strip[2] = {0, 0};
  EXPECT_EQ(2, TIFFReadEncodedStrip(tif, 0, strip, 2));
  EXPECT_EQ(nullptr, TIFFReadRawStrip(tif, 5, strip, 2) >= 0 ? tif : nullptr);  // no strip 5
  EXPECT_EQ(0, pxlTiffClose(tif));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  ASSERT_GE(c.lines.size(), 2u);
  EXPECT_EQ(0u, c.lines[0].find("Minor Problem in TIFFReadDirectory: ")) << c.lines[0];
  EXPECT_NE(std::string::npos, c.lines[0].find("65000")) << c.lines[0];
  EXPECT_EQ(0u, c.lines.back().find("Disaster in ")) << c.lines.back();
  EXPECT_EQ(".\n", c.lines.back().substr(c.lines.back().size() - 2));
}

TEST(TiffBinding, CorruptHeaderIsReportedAndTheHandleClosed) {
  Context c;
  MemoryFile memory;
  memory.bytes = {'I', 'I', 43, 0, 1, 2, 3, 4};
  EXPECT_EQ(nullptr, memory.open(c.ctx, "r"));
  EXPECT_EQ(1, memory.closes);
  ASSERT_FALSE(c.lines.empty());
  EXPECT_EQ(0u, c.lines[0].find("Disaster in ")) << c.lines[0];
}

TEST(TiffBinding, FailedWriteMakesTheCloseFail) {
  Context c;
  std::vector<uint8_t> rows = patternRows(64, 64);
  {
    MemoryFile full;  // the header cannot be written: the open fails
    full.limit = 0;
    EXPECT_EQ(nullptr, full.open(c.ctx, "w"));
    EXPECT_EQ(1, full.closes);
    ASSERT_FALSE(c.lines.empty());
    EXPECT_EQ(0u, c.lines[0].find("Disaster in "));
  }
  for (size_t limit : {size_t{16}, size_t{200}, size_t{600}}) {
    MemoryFile memory;
    memory.limit = limit;
    TIFF *tif = memory.open(c.ctx, "w");
    ASSERT_NE(nullptr, tif);
    writePage(tif, 64, 64, rows);
    EXPECT_EQ(PXL_ERR_FILE_WRITE, pxlTiffClose(tif)) << limit;
    EXPECT_EQ(1, memory.closes);
  }
  MemoryFile memory;
  TIFF *tif = memory.open(c.ctx, "w");
  ASSERT_NE(nullptr, tif);
  ASSERT_TRUE(writePage(tif, 64, 64, rows));
  EXPECT_EQ(0, pxlTiffClose(tif));
}

TEST(TiffBinding, CloseContentsKeepsTheDescriptorOpen) {
  Context c;
  iotest::TempDir dir;
  const std::string path = dir.file("keep.tif");
  std::vector<uint8_t> rows = patternRows(16, 4);
  TIFF *tif = pxlTiffOpen(c.ctx, path.c_str(), "w");
  ASSERT_NE(nullptr, tif);
  const int fd = TIFFFileno(tif);
  ASSERT_TRUE(writePage(tif, 16, 4, rows));
  PxlTiffClient *client = nullptr;
  EXPECT_EQ(0, pxlTiffCloseContents(tif, &client));
  ASSERT_NE(nullptr, client);
  EXPECT_EQ(fd, static_cast<int>(reinterpret_cast<intptr_t>(pxlTiffClientHandle(client))));
  EXPECT_NE(-1, fcntl(fd, F_GETFD));
  EXPECT_GT(lseek(fd, 0, SEEK_END), 8);
  EXPECT_EQ(0, pxlTiffReleaseClient(client));
  EXPECT_EQ(-1, fcntl(fd, F_GETFD));
}

TEST(TiffBinding, DescriptorProcedures) {
  EXPECT_EQ(0u, pxlTiffSizeProc(reinterpret_cast<thandle_t>(intptr_t{-1})));
  void *base = nullptr;
  toff_t size = 0;
  EXPECT_EQ(0, pxlTiffMapProc(nullptr, &base, &size));
  EXPECT_EQ(nullptr, pxlTiffMalloc(nullptr, 16));
  pxlTiffFree(nullptr, &size);  // nothing happens without a context
}

TEST(TiffBinding, MemoryOperations) {
  const uint8_t ab[] = {0x61, 0x62}, ac[] = {0x61, 0x63}, hi[] = {0x61, 0xF0};
  EXPECT_EQ(0, pxlTiffMemcmp(ab, ab, 2));
  EXPECT_EQ(-1, pxlTiffMemcmp(ab, ac, 2));
  EXPECT_EQ(1, pxlTiffMemcmp(ac, ab, 2));
  EXPECT_EQ(1, pxlTiffMemcmp(hi, ab, 2));  // bytes compare unsigned
  EXPECT_EQ(0, pxlTiffMemcmp(ab, ac, 1));
  uint8_t buffer[4] = {1, 2, 3, 4};
  pxlTiffMemset(buffer, 9, 3);
  EXPECT_EQ((std::vector<uint8_t>{9, 9, 9, 4}), std::vector<uint8_t>(buffer, buffer + 4));
  pxlTiffMemcpy(buffer, ab, 2);
  EXPECT_EQ(0x62, buffer[1]);
}

TEST(TiffBinding, FileMemoryComesFromTheContext) {
  Context c;
  MemoryFile memory;
  TIFF *tif = memory.open(c.ctx, "w");
  ASSERT_NE(nullptr, tif);
  void *block = pxlTiffMalloc(tif, 100);
  ASSERT_NE(nullptr, block);
  block = pxlTiffRealloc(tif, block, 1000);
  ASSERT_NE(nullptr, block);
  std::memset(block, 1, 1000);
  pxlTiffFree(tif, block);
  EXPECT_EQ(0, pxlTiffClose(tif));
}

}  // namespace
