// The PCX reader and codec: files made by netpbm's ppmtopcx (1 bit, four and three 1-bit
// planes, one packed 4-bit plane of a grey ramp, 8 bits with the palette at the end) against
// pcxtoppm's colours through the file's palette (1-bit files inverted); the run coding, every 4-bit
// plane layout, window and dpi, refused and hostile headers (line lengths, sizes), runs cut at the
// end of the line, files ending inside a line, and the allocation-failure and abort loops.
#include <cstdio>
#include <string>
#include <vector>

#include "io_support.h"
#include "pxl_imagefile.h"

namespace {

using iotest::Context;
using norvtest::Pnm;

int32_t readPcx(PxlContext *ctx, const std::vector<uint8_t> &bytes, Pixr **image) {
  return iotest::readMemory(bytes, [&](FILE *file) { return pxlReadPcx(ctx, file, image); });
}

void put16(std::vector<uint8_t> &b, size_t at, int v) {
  b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
}

struct Header {
  int bits = 8, planes = 1, width = 4, height = 1, bytesPerLine = 4;
  int xmin = 0, ymin = 0, dpi = 0;
};

// A file of the header and the coded lines.
std::vector<uint8_t> pcxFile(const Header &h, const std::vector<uint8_t> &data) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 10, b[1] = 5, b[2] = 1, b[3] = static_cast<uint8_t>(h.bits);
  put16(b, 4, h.xmin);
  put16(b, 6, h.ymin);
  put16(b, 8, h.xmin + h.width - 1);
  put16(b, 10, h.ymin + h.height - 1);
  put16(b, 12, h.dpi);
  put16(b, 14, h.dpi);
  b[65] = static_cast<uint8_t>(h.planes);
  put16(b, 66, h.bytesPerLine);
  put16(b, 68, 1);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(PcxReader, NetpbmFilesAtEveryDepth) {
  if (!iotest::haveTools({"gs", "ppmtopcx", "pcxtoppm", "pnmquant", "ppmtoppm"}))
    GTEST_SKIP() << "tools missing";
  const std::string page = std::string(NORV_TEST_DATA) + "/page.ps";
  const std::string pbm = norvtest::renderPage(page, "pbmraw", 31);
  const std::string ppm = norvtest::renderPage(page, "ppmraw", 13);
  ASSERT_FALSE(pbm.empty() || ppm.empty());
  struct Case {
    std::string command;
    int bits, planes, depth;
  };
  const std::string q16 = "pnmquant 16 " + ppm + " 2>/dev/null | ";
  const Case cases[] = {
      {"ppmtopcx " + pbm, 1, 1, 1},
      {q16 + "ppmtopcx -planes=4", 1, 4, 4},
      {"pnmquant 8 " + ppm + " 2>/dev/null | ppmtopcx -planes=3", 1, 3, 4},
      {"pgmramp -lr 67 9 | pnmquant 12 2>/dev/null | ppmtopcx -packed", 4, 1, 4},
      {"pnmquant 200 " + ppm + " 2>/dev/null | ppmtopcx -8bit", 8, 1, 8},
  };
  iotest::TempDir dir;
  for (const Case &k : cases) {
    SCOPED_TRACE(k.command);
    const norvtest::ToolRun made = norvtest::runTool(k.command + " 2>/dev/null");
    ASSERT_EQ(0, made.status);
    const std::vector<uint8_t> &file = made.output;
    ASSERT_EQ(k.bits, file[3]);
    ASSERT_EQ(k.planes, file[65]);
    const std::string path = dir.file("page.pcx");
    ASSERT_TRUE(iotest::writeFile(path, file));
    const Pnm ref = norvtest::parsePnm(
        norvtest::runTool("pcxtoppm " + path + " 2>/dev/null | ppmtoppm").output);
    ASSERT_TRUE(ref.valid());
    // 8 bits: the palette at the end of the file; otherwise the header's 16 entries.
    const uint8_t *palette = k.depth == 8 ? file.data() + file.size() - 768 : file.data() + 16;
    auto colour = [&](uint32_t v) -> std::array<uint8_t, 3> {
      const uint8_t *e = palette + 3 * (k.depth == 1 ? v ^ 1 : v);
      return {e[0], e[1], e[2]};
    };
    for (int flag : {0, 1}) {
      norvtest::TrackedContext tracked(flag);
      iotest::OwnedImage image(tracked.get());
      ASSERT_EQ(0, readPcx(tracked.get(), file, &image.pix));
      EXPECT_EQ(k.depth, image.pix->depth);
      EXPECT_EQ(0, iotest::colourDifferences(image.pix, ref, colour));
      const int64_t bits = int64_t{image.pix->width} * k.depth;
      for (int y = 0; y < image.pix->height && bits % 32 != 0; ++y)
        ASSERT_EQ(0u, norvtest::getBits(norvtest::rowOf(image.pix, y), 32 * k.depth + bits,
                                        static_cast<int>(32 - bits % 32)));
    }
  }
}

TEST(PcxReader, RunsPlaneLayoutsWindowAndDpi) {
  Context c;
  struct Case {
    const char *what;
    Header header;
    std::vector<uint8_t> data;
    std::vector<std::vector<uint32_t>> pixels;  // rows of expected values
  };
  const Case cases[] = {
      {"runs", {}, {0xC3, 0x0F, 0xC0, 0x55, 0x7F}, {{0x0F, 0x0F, 0x0F, 0x7F}}},
      {"run cut at the line's end (lines shorter than the width)",
       {.width = 8, .height = 2},
       {0xFF, 0x11, 0x01, 0x02, 0x03, 0x04},
       {{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0}, {1, 2, 3, 4, 0, 0, 0, 0}}},
      {"1 bit inverted",
       {.bits = 1, .width = 12, .height = 2, .bytesPerLine = 2},
       {0xC2, 0xFF, 0x0F, 0xC1, 0xF0},
       {std::vector<uint32_t>(12, 0), {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}}},
      {"four planes",
       {.bits = 1, .planes = 4, .width = 8, .bytesPerLine = 1},
       {0x80, 0x00, 0x80, 0x00},
       {{5, 0, 0, 0, 0, 0, 0, 0}}},
      {"three planes",
       {.bits = 1, .planes = 3, .width = 3, .bytesPerLine = 1},
       {0xA0, 0x60, 0x20},
       {{1, 2, 7}}},
      {"one 4-bit plane", {.bits = 4, .width = 3, .bytesPerLine = 2}, {0x12, 0x30}, {{1, 2, 3}}},
      {"two 2-bit planes",
       {.bits = 2, .planes = 2, .width = 4, .bytesPerLine = 1},
       {0x1B, 0xC1, 0xE4},
       {{12, 9, 6, 3}}},
      {"window from 10 to 19",
       {.width = 10, .bytesPerLine = 10, .xmin = 10, .ymin = -3},
       {0xCA, 0x09},
       {std::vector<uint32_t>(10, 9)}},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readPcx(c.ctx, pcxFile(k.header, k.data), &image.pix));
    ASSERT_EQ(k.header.width, image.pix->width);
    ASSERT_EQ(static_cast<int>(k.pixels.size()), image.pix->height);
    for (size_t y = 0; y < k.pixels.size(); ++y)
      for (size_t x = 0; x < k.pixels[y].size(); ++x)
        EXPECT_EQ(k.pixels[y][x], norvtest::pixel(image.pix, x, y)) << x << "," << y;
    EXPECT_EQ(96 << 16, image.pix->xResolution);
  }
  iotest::OwnedImage dpi(c.ctx);
  ASSERT_EQ(0, readPcx(c.ctx, pcxFile({.dpi = 300}, {1, 2, 3, 4}), &dpi.pix));
  EXPECT_EQ(300 << 16, dpi.pix->xResolution);
  EXPECT_EQ(300 << 16, dpi.pix->yResolution);
}

TEST(PcxReader, RefusedHostileAndTruncatedFiles) {
  Context c;
  std::vector<uint8_t> page;  // 200 lines of 63-byte runs, cut in the middle of line 100
  for (int y = 0; y < 200; ++y) page.insert(page.end(), {0xFF, 0x00, 0xC1, 0x00});
  std::vector<uint8_t> truncated = pcxFile({.width = 64, .height = 200, .bytesPerLine = 64}, page);
  truncated.resize(128 + 4 * 100 + 2);
  struct Case {
    const char *what;
    std::vector<uint8_t> bytes;
    int32_t status;
  };
  const Case cases[] = {
      {"24 bits", pcxFile({.planes = 3}, std::vector<uint8_t>(12, 1)), 8},
      {"2 bits", pcxFile({.bits = 2}, {1, 2}), 8},
      {"short header", std::vector<uint8_t>(127, 10), 2000},
      {"truncated", truncated, 2000},
      {"ends in a run", pcxFile({}, {0xC4}), 2000},
      {"no lines", pcxFile({.height = 3}, {1, 2, 3, 4}), 2000},
      {"line length 0", pcxFile({.bytesPerLine = 0}, {1, 2, 3, 4}), 2000},
      {"negative line length", pcxFile({.bytesPerLine = -4}, {1, 2, 3, 4}), 2000},
      {"no planes", pcxFile({.planes = 0}, {1, 2, 3, 4}), 2000},
      {"line longer than the row", pcxFile({.bytesPerLine = 30000}, {1, 2, 3, 4}), 2000},
      {"width 0", pcxFile({.width = 0}, {1, 2, 3, 4}), 2000},
      {"negative height", pcxFile({.height = -5}, {1, 2, 3, 4}), 2000},
      {"largest window",
       pcxFile({.width = 65535, .height = 65535, .xmin = -32768, .ymin = -32768}, {1, 2, 3, 4}), 1},
      {"allowed size, data missing",
       pcxFile({.width = 1000, .height = 30000, .bytesPerLine = 1000}, {1, 2, 3, 4}), 2000},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    Pixr *image = nullptr;
    c.tracked.tracker.lastRequest = 0;
    EXPECT_EQ(k.status, readPcx(c.ctx, k.bytes, &image));
    EXPECT_EQ(nullptr, image);
    EXPECT_LT(c.tracked.tracker.lastRequest, size_t{1} << 17);
  }
  Pixr *image = nullptr;
  EXPECT_EQ(118, pxlReadPcx(c.ctx, nullptr, &image));
  iotest::OwnedImage held(c.ctx);
  const std::vector<uint8_t> good = pcxFile({}, {1, 2, 3, 4});
  ASSERT_EQ(0, readPcx(c.ctx, good, &held.pix));
  EXPECT_EQ(120, readPcx(c.ctx, good, &held.pix));
}

class PcxReaderLoops : public norvtest::ContextTest {};
INSTANTIATE_TEST_SUITE_P(Units, PcxReaderLoops, ::testing::Values(0, 1), norvtest::unitName);

TEST_P(PcxReaderLoops, AllocationFailuresAndAborts) {
  const std::vector<uint8_t> lines(400, 0x3C);
  for (const Header &h :
       {Header{.bits = 1, .width = 37, .height = 5, .bytesPerLine = 6},
        Header{.bits = 1, .planes = 4, .width = 37, .height = 5, .bytesPerLine = 6},
        Header{.width = 37, .height = 5, .bytesPerLine = 38}}) {
    SCOPED_TRACE(h.planes * h.bits);
    const std::vector<uint8_t> bytes = pcxFile(h, lines);
    iotest::expectFailureLoops(
        tr, ctx, [&](PxlContext *cx, Pixr **image) { return readPcx(cx, bytes, image); });
  }
}

}  // namespace
