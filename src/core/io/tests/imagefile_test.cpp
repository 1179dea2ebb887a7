// Image file utilities: type detection on files made by netpbm and libtiff tools at test time
// and on crafted headers, the whole-image word swap and row addressing.
#include <cstring>

#include "io_support.h"
#include "pxl_imagefile.h"

namespace {

using iotest::Context;

int32_t sniff(Context &c, const std::string &path, int32_t *type) {
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  int32_t status = pxlSniffImageFile(c.ctx, f, type);
  EXPECT_EQ(0, ftell(f)) << path;  // always back at the start
  fclose(f);
  return status;
}

int32_t sniffBytes(Context &c, const iotest::TempDir &dir, const std::vector<uint8_t> &bytes) {
  const std::string path = dir.file("bytes.bin");
  iotest::writeFile(path, bytes);
  int32_t type = -1;
  EXPECT_EQ(0, sniff(c, path, &type));
  return type;
}

std::vector<uint8_t> sunHeader(uint32_t typeField) {
  std::vector<uint8_t> h(32, 0);
  const uint8_t magic[4] = {0x59, 0xA6, 0x6A, 0x95};
  std::memcpy(h.data(), magic, 4);
  h[23] = static_cast<uint8_t>(typeField);
  return h;
}

TEST(ImageFileType, FilesMadeByTheTools) {
  if (!iotest::haveTools({"pbmmake", "ppmtobmp", "pnmtorast", "ppmtopcx", "pnmtops", "pnmtotiff",
                          "tiffcp", "pnmtoplainpnm", "pgmramp", "ppmpat"}))
    GTEST_SKIP() << "netpbm or libtiff tools not installed";
  Context c;
  iotest::TempDir dir;
  const std::string pbm = dir.file("a.pbm"), pgm = dir.file("a.pgm"), ppm = dir.file("a.ppm");
  ASSERT_TRUE(iotest::makeFile("pbmmake -gray 40 30", pbm));
  ASSERT_TRUE(iotest::makeFile("pgmramp -lr 40 30", pgm));
  ASSERT_TRUE(iotest::makeFile("ppmpat -g2 40 30", ppm));
  struct Case {
    const char *name;
    std::string command;
    int32_t type;
  } cases[] = {
      {"p4.pnm", "cat " + pbm, PXL_FILE_PNM},
      {"p5.pnm", "cat " + pgm, PXL_FILE_PNM},
      {"p6.pnm", "cat " + ppm, PXL_FILE_PNM},
      {"p1.pnm", "pnmtoplainpnm " + pbm, PXL_FILE_PNM},
      {"p2.pnm", "pnmtoplainpnm " + pgm, PXL_FILE_PNM},
      {"p3.pnm", "pnmtoplainpnm " + ppm, PXL_FILE_PNM},
      {"a.bmp", "ppmtobmp " + ppm, PXL_FILE_BMP},
      {"a.ras", "pnmtorast -standard " + pgm, PXL_FILE_SUN},
      {"rle.ras", "pnmtorast -rle " + pgm, PXL_FILE_SUN_ENCODED},
      {"a.pcx", "ppmtopcx " + ppm, PXL_FILE_PCX},
      {"bw.pcx", "ppmtopcx " + pbm, PXL_FILE_PCX},
      {"a.ps", "pnmtops " + pgm, PXL_FILE_POSTSCRIPT},
      {"le.tif",
       "pnmtotiff " + pgm + " > " + dir.file("t.tif") + " && tiffcp -L " + dir.file("t.tif") + " " +
           dir.file("le2.tif") + " && cat " + dir.file("le2.tif"),
       PXL_FILE_TIFF},
      {"be.tif",
       "tiffcp -B " + dir.file("t.tif") + " " + dir.file("be2.tif") + " && cat " +
           dir.file("be2.tif"),
       PXL_FILE_TIFF},
  };
  for (const Case &k : cases) {
    const std::string path = dir.file(k.name);
    ASSERT_TRUE(iotest::makeFile(k.command, path)) << k.name;
    int32_t type = -1;
    EXPECT_EQ(0, sniff(c, path, &type)) << k.name;
    EXPECT_EQ(k.type, type) << k.name;
  }
  EXPECT_TRUE(c.lines.empty());
}

TEST(ImageFileType, CraftedHeaders) {
  Context c;
  iotest::TempDir dir;
  std::vector<uint8_t> bm20(20, 0);
  bm20[0] = 'B', bm20[1] = 'M';
  std::vector<uint8_t> sunThenBm = sunHeader(3);
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t type;
  } cases[] = {
      {sunHeader(1), PXL_FILE_SUN},
      {sunHeader(2), PXL_FILE_SUN_ENCODED},
      {sunHeader(0), PXL_FILE_UNKNOWN},
      {sunHeader(3), PXL_FILE_UNKNOWN},
      {bm20, PXL_FILE_BMP},               // too short for the Sun test: detection goes on
      {{10, 4, 1, 1}, PXL_FILE_UNKNOWN},  // PCX version 4 is not accepted
      {{10, 5, 1, 1}, PXL_FILE_PCX},
      {{10, 0}, PXL_FILE_PCX},
      {{'P', '7', '\n'}, PXL_FILE_PNM},
      {{'P', '0'}, PXL_FILE_PNM},
      {{'P', 'x'}, PXL_FILE_UNKNOWN},
      {{'%', '!', 'P', 'S'}, PXL_FILE_POSTSCRIPT},
      {{'M', 'M', 0, 42}, PXL_FILE_TIFF},
      {{'I', 'I'}, PXL_FILE_TIFF},
      {{'I', 'M'}, PXL_FILE_UNKNOWN},
      {{'B'}, PXL_FILE_UNKNOWN},
      {{}, PXL_FILE_UNKNOWN},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].type, sniffBytes(c, dir, cases[i].bytes)) << "case " << i;
}

TEST(ImageFileType, ArgumentsAndStandardInput) {
  Context c;
  int32_t type = -1;
  EXPECT_EQ(0, pxlSniffImageFile(c.ctx, stdin, &type));
  EXPECT_EQ(PXL_FILE_SUN, type);
  EXPECT_EQ(PXL_ERR_NULL, pxlSniffImageFile(c.ctx, nullptr, &type));
  EXPECT_EQ(PXL_ERR_NULL, pxlSniffImageFile(c.ctx, stdin, nullptr));
  ASSERT_EQ(2u, c.lines.size());
  EXPECT_NE(std::string::npos, c.lines[0].find("File:readfile"));

  FILE *f = tmpfile();
  ASSERT_NE(nullptr, f);
  type = -1;
  EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlSniffImageFile(nullptr, f, &type));
  EXPECT_EQ(-1, type);  // unchanged on failure
  fclose(f);
}

TEST(ImageFileUtils, LittleEndianCopies) {
  Context c;
  const uint8_t bytes[4] = {0x42, 0x4D, 0x01, 0x80};
  uint16_t v16 = 0;
  uint32_t v32 = 0;
  EXPECT_EQ(0, pxlCopyLe16(c.ctx, bytes, &v16));
  EXPECT_EQ(0x4D42, v16);
  EXPECT_EQ(0, pxlCopyLe32(c.ctx, bytes, &v32));
  EXPECT_EQ(0x80014D42u, v32);
  EXPECT_EQ(PXL_ERR_NULL, pxlCopyLe16(nullptr, nullptr, &v16));
  EXPECT_EQ(PXL_ERR_NULL, pxlCopyLe32(c.ctx, bytes, nullptr));
  EXPECT_EQ(1u, c.lines.size());
}

TEST(ImageFileUtils, SwapReversesEveryWordOfEveryFramedRow) {
  Context c;
  for (int32_t frame : {0, 32}) {
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 5, 8, 0, 0, frame, image.out()));
    Pixr *p = image.get();
    const int32_t rows = p->height + 2 * frame;
    const size_t bytes = static_cast<size_t>(p->bytesPerRow) * rows;
    for (size_t i = 0; i < bytes; ++i) p->framedData[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<uint8_t> before(p->framedData, p->framedData + bytes);
    ASSERT_EQ(0, pxlSwapImageBytes(c.ctx, p));
    for (size_t i = 0; i < bytes; ++i)
      ASSERT_EQ(before[(i & ~size_t{3}) + (3 - (i & 3))], p->framedData[i]) << i;
  }

  iotest::OwnedImage set(c.ctx);
  ASSERT_EQ(0, pxlCreateMultiChannelImage(c.ctx, 8, 2, 8, 0, 0, 0, 3, 1, nullptr, set.out()));
  for (int ch = 0; ch < 3; ++ch)
    set.get()->channels[ch]->framedData[0] = static_cast<uint8_t>(ch + 1);
  ASSERT_EQ(0, pxlSwapImageBytes(c.ctx, set.get()));
  for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(ch + 1, set.get()->channels[ch]->framedData[3]);

  iotest::OwnedImage odd(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 18, 2, 8, 0, 0, 0, odd.out()));
  const int32_t saved = odd.get()->bytesPerRow;
  odd.get()->bytesPerRow = 18;
  odd.get()->framedData[0] = 7;
  EXPECT_EQ(PXL_ERR_BPL_NOT_4, pxlSwapImageBytes(c.ctx, odd.get()));
  EXPECT_EQ(7, odd.get()->framedData[0]);
  odd.get()->bytesPerRow = saved;
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlSwapImageBytes(c.ctx, nullptr));
}

TEST(ImageFileUtils, RowPointer) {
  Context c;
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 100, 7, 1, 0, 0, 32, image.out()));
  uint8_t *origin = nullptr, *row = nullptr;
  ASSERT_EQ(0, pxlGetImageData(c.ctx, image.get(), &origin));
  EXPECT_EQ(0, pxlGetRowPointer(c.ctx, image.get(), 6, &row));
  EXPECT_EQ(origin + 6 * image.get()->bytesPerRow, row);
  EXPECT_EQ(0, pxlGetRowPointer(c.ctx, image.get(), 0, &row));
  EXPECT_EQ(origin, row);
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlGetRowPointer(c.ctx, image.get(), 7, &row));
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlGetRowPointer(c.ctx, image.get(), -1, &row));
  EXPECT_EQ(PXL_ERR_NULL, pxlGetRowPointer(c.ctx, nullptr, 0, &row));
  EXPECT_EQ(PXL_ERR_NULL, pxlGetRowPointer(c.ctx, image.get(), 0, nullptr));
}

}  // namespace
