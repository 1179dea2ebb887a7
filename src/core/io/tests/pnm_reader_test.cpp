// The raw PNM reader of the image core: Ghostscript pages rewritten by netpbm (P4, P5 at
// maximum 3, 10, 15 and 255, P6) load to exactly the stored samples; the packing of 2- and
// 4-bit samples; headers with comments read as netpbm reads them; refused and hostile headers
// (status codes, no allocation beyond the header's data); truncated data; and the
// allocation-failure and abort loops.
#include <cstdio>
#include <string>
#include <vector>

#include "io_support.h"
#include "pxl_imagefile.h"
#include "testkit_image.h"
#include "testkit_pnm.h"

namespace {

using iotest::Context;
using norvtest::Pnm;

// Reads a file's bytes with pxlReadPnm through a memory stream.
int32_t readBytes(PxlContext *ctx, const std::string &bytes, Pixr **image) {
  FILE *file = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
  if (file == nullptr) return -1;
  const int32_t status = pxlReadPnm(ctx, file, image);
  std::fclose(file);
  return status;
}

std::string text(const std::vector<uint8_t> &bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Samples of the image that differ from the PNM's (raw values, no scaling).
long differences(Pixr *image, const Pnm &p) {
  const Pixr *main = norvtest::channel(image, 0);
  if (main->width != p.width || main->height != p.height) return -1;
  long bad = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      if (p.kind == '6') {
        for (int c = 0; c < 3; ++c)
          bad += norvtest::pixel(image->channels[c], x, y) != p.row(y)[3 * x + c];
      } else if (p.kind == '4') {
        bad += norvtest::pixel(image, x, y) != ((p.row(y)[x / 8] >> (7 - x % 8)) & 1u);
      } else {
        bad += norvtest::pixel(image, x, y) != p.row(y)[x];
      }
    }
  return bad;
}

TEST(PnmReader, FilesOfEveryKind) {
  if (!iotest::haveTools({"gs", "pamdepth", "pamtopnm"})) GTEST_SKIP() << "tools missing";
  const std::string page = std::string(NORV_TEST_DATA) + "/page.ps";
  const std::string pbm = norvtest::renderPage(page, "pbmraw", 50);
  const std::string pgm = norvtest::renderPage(page, "pgmraw", 30);
  const std::string ppm = norvtest::renderPage(page, "ppmraw", 20);
  ASSERT_FALSE(pbm.empty() || pgm.empty() || ppm.empty());
  struct Case {
    std::string command;
    int depth;
  };
  const std::vector<Case> cases = {
      {"pamtopnm " + pbm, 1},    {"pamdepth 3 " + pgm, 2}, {"pamdepth 10 " + pgm, 4},
      {"pamdepth 15 " + pgm, 4}, {"pamtopnm " + pgm, 8},   {"pamdepth 100 " + pgm, 8},
      {"pamtopnm " + ppm, 8},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.command);
    const norvtest::ToolRun run = norvtest::runTool(k.command);
    ASSERT_EQ(0, run.status);
    const Pnm expected = norvtest::parsePnm(run.output);
    ASSERT_TRUE(expected.valid());
    for (int flag : {0, 1}) {
      norvtest::TrackedContext tracked(flag);
      iotest::OwnedImage image(tracked.get());
      ASSERT_EQ(0, readBytes(tracked.get(), text(run.output), &image.pix));
      ASSERT_NE(nullptr, image.pix);
      EXPECT_EQ(k.depth, norvtest::channel(image.pix, 0)->depth);
      EXPECT_EQ(0, differences(image.pix, expected));
      if (expected.kind != '6') {  // the bits after each row's last pixel are clear
        const Pixr *p = image.pix;
        const int64_t bits = int64_t{p->width} * p->depth;
        for (int y = 0; y < p->height && bits % 32 != 0; ++y) {
          EXPECT_EQ(0u, norvtest::getBits(norvtest::rowOf(p, y), 32 * p->depth + bits,
                                          static_cast<int>(32 - bits % 32)));
        }
      }
    }
  }
}

TEST(PnmReader, PackingAndStoredBytes) {
  Context c;
  iotest::OwnedImage two(c.ctx), four(c.ctx), ten(c.ctx), bits(c.ctx);
  ASSERT_EQ(0, readBytes(c.ctx, std::string("P5\n4 2\n3\n") + std::string("\0\1\2\3\3\2\1\0", 8),
                         &two.pix));
  EXPECT_EQ(2, two.pix->depth);
  EXPECT_EQ(0x1B, norvtest::pixelOrderByte(norvtest::rowOf(two.pix, 0) + 4 * 2, 0));
  EXPECT_EQ(0xE4, norvtest::pixelOrderByte(norvtest::rowOf(two.pix, 1) + 4 * 2, 0));
  ASSERT_EQ(0,
            readBytes(c.ctx, std::string("P5 3 1 15 ") + std::string("\x1\x2\x3", 3), &four.pix));
  EXPECT_EQ(4, four.pix->depth);
  EXPECT_EQ(0x12, norvtest::pixelOrderByte(norvtest::rowOf(four.pix, 0) + 16, 0));
  EXPECT_EQ(0x30, norvtest::pixelOrderByte(norvtest::rowOf(four.pix, 0) + 16, 1));
  ASSERT_EQ(0, readBytes(c.ctx, std::string("P5 2 1 10\n") + std::string("\x9\xA", 2), &ten.pix));
  EXPECT_EQ(4, ten.pix->depth);
  EXPECT_EQ(9u, norvtest::pixel(ten.pix, 0, 0));
  EXPECT_EQ(10u, norvtest::pixel(ten.pix, 1, 0));
  ASSERT_EQ(0, readBytes(c.ctx, std::string("P4\n8 1\n\x0A", 8), &bits.pix));
  EXPECT_EQ(0x0A, norvtest::pixelOrderByte(norvtest::rowOf(bits.pix, 0) + 4, 0));
  EXPECT_EQ(0, bits.pix->xResolution);
}

// Comments wherever the header allows white space (a scanner front end writes one after the
// magic number): the samples are those netpbm reads from the same bytes.
TEST(PnmReader, HeaderCommentsReadAsNetpbmReadsThem) {
  if (!iotest::haveTools({"pamtopnm"})) GTEST_SKIP() << "tools missing";
  const std::string gray("\x00\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0", 12);
  const std::string rgb = gray + gray + gray;
  struct Case {
    std::string bytes;
    int depth;
  };
  const Case cases[] = {
      {"P5\n# SANE data follows\n4 3\n255\n" + gray, 8},
      {"P5# at once\n4# between\n# and alone\n3\n255\n" + gray, 8},
      {"P5\n4 3\r\n# CR LF line\r\n255#ends the header\n" + gray, 8},
      {"P5\n4 3\n#\n#\n15\n" + std::string(12, '\x0F'), 4},
      {"P6\n# x\n4 3 # y\n255\n" + rgb, 8},
      {"P4\n# bits\n12 3\n" + std::string("\xA5\x50\x0F\x30\xFF\xF0", 6), 1},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.bytes.substr(0, 32));
    norvtest::TempFile file("comment");
    ASSERT_TRUE(norvtest::writeFile(file.name(), k.bytes));
    const norvtest::ToolRun run = norvtest::runTool("pamtopnm " + file.name());
    ASSERT_EQ(0, run.status);
    const Pnm expected = norvtest::parsePnm(run.output);
    ASSERT_TRUE(expected.valid());
    Context c;
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readBytes(c.ctx, k.bytes, &image.pix));
    ASSERT_NE(nullptr, image.pix);
    EXPECT_EQ(k.depth, norvtest::channel(image.pix, 0)->depth);
    EXPECT_EQ(0, differences(image.pix, expected));
  }
}

TEST(PnmReader, RefusedAndHostileHeaders) {
  Context c;
  struct Case {
    std::string bytes;
    int32_t status;
  };
  const std::string pixels(64, '\x55');
  const Case cases[] = {
      {"P6\n2 2\n65535\n" + pixels, 8},
      {"P5\n2 2\n300\n" + pixels, 102},
      {"P5\n2 2\n255# a comment that never ends", 2000},
      {"Q5\n2 2\n255\n" + pixels, 2000},
      {"P5\n2 2\n", 2000},
      {"P5\n0 2 255\n" + pixels, 2000},
      {"P4\n-8 2\n" + pixels, 2000},
      {"P5\n-2147483648 2 255\n" + pixels, 2000},
      {"P6\n4 -2147483648 255\n" + pixels, 2000},
      {"P5\n99999999999 99999999999 255\n" + pixels, 1},
      {"P4\n1048577 1 " + pixels, 1},
      {"P5\n100000 1000 255\n" + pixels, 2000},  // allowed size, but the data is short
      {"P6\n4 4 255\n" + pixels.substr(0, 47), 2000},
      {"P5\n4 4 255\n" + pixels.substr(0, 15), 2000},
      {"P5\n4 4 15\n" + pixels.substr(0, 15), 2000},
      {"P4\n9 4\n" + pixels.substr(0, 7), 2000},
  };
  for (const Case &k : cases) {
    Pixr *image = nullptr;
    c.tracked.tracker.lastRequest = 0;
    EXPECT_EQ(k.status, readBytes(c.ctx, k.bytes, &image)) << k.bytes.substr(0, 24);
    EXPECT_EQ(nullptr, image);
    EXPECT_LT(c.tracked.tracker.lastRequest, size_t{1} << 16) << k.bytes.substr(0, 24);
  }
  // Variants without a reader give no image; arguments.
  Pixr *image = nullptr;
  EXPECT_EQ(0, readBytes(c.ctx, "P2\n2 2\n255\n1 2 3 4\n", &image));
  EXPECT_EQ(nullptr, image);
  EXPECT_EQ(118, pxlReadPnm(c.ctx, nullptr, &image));
  FILE *file = fmemopen(const_cast<char *>("P5 1 1 255 x"), 12, "rb");
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(118, pxlReadPnm(c.ctx, file, nullptr));
  iotest::OwnedImage held(c.ctx);
  ASSERT_EQ(0, pxlReadPnm(c.ctx, file, &held.pix));
  EXPECT_EQ(120, pxlReadPnm(c.ctx, file, &held.pix));
  std::fclose(file);
}

class PnmReaderLoops : public norvtest::ContextTest {};
INSTANTIATE_TEST_SUITE_P(Units, PnmReaderLoops, ::testing::Values(0, 1), norvtest::unitName);

TEST_P(PnmReaderLoops, AllocationFailuresAndAborts) {
  const std::string samples(3 * 37 * 5, '\x7C');
  for (const std::string header :
       {"P4\n37 5\n", "P5\n37 5\n15\n", "P5\n37 5\n255\n", "P6\n37 5\n255\n"}) {
    SCOPED_TRACE(header);
    const std::string bytes = header + samples;
    iotest::expectFailureLoops(
        tr, ctx, [&](PxlContext *c, Pixr **image) { return readBytes(c, bytes, image); });
  }
}

}  // namespace
