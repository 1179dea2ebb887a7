// The BMP reader: files made by netpbm's ppmtobmp at 1, 4, 8 and 24 bits, bottom-up and
// turned top-down here, against bmptopnm's colours through the file's palette (1-bit files
// inverted: a 0 bit is a set pixel); resolution, the info record, refusals, hostile headers,
// truncated data, and the allocation-failure and abort loops.
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

int32_t readBytes(PxlContext *ctx, const std::vector<uint8_t> &bytes, Pixr **image,
                  PxlImageFileInfo *info = nullptr) {
  FILE *file = fmemopen(const_cast<uint8_t *>(bytes.data()), bytes.size(), "rb");
  if (file == nullptr) return -1;
  const int32_t status = pxlReadBmp(ctx, file, info, image);
  std::fclose(file);
  return status;
}

uint32_t le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// The same file with its rows stored top-down (negative height).
std::vector<uint8_t> topDown(const std::vector<uint8_t> &bmp) {
  const uint32_t offset = le32(bmp, 10), width = le32(bmp, 18), height = le32(bmp, 22);
  const uint32_t bits = bmp[28];
  const size_t stored = (bits * width + 31) / 32 * 4;
  std::vector<uint8_t> out(bmp.begin(), bmp.begin() + offset);
  for (uint32_t r = height; r-- > 0;)
    out.insert(out.end(), bmp.begin() + offset + r * stored,
               bmp.begin() + offset + (r + 1) * stored);
  put32(out, 22, static_cast<uint32_t>(-static_cast<int32_t>(height)));
  return out;
}

// Pixels whose colour (through the file's palette; channels for 24 bits) differs from the
// reference.
long differences(Pixr *image, const std::vector<uint8_t> &bmp, const Pnm &ref) {
  const Pixr *main = norvtest::channel(image, 0);
  if (ref.kind != '6' || main->width != ref.width || main->height != ref.height) return -1;
  const int bits = bmp[28];
  long bad = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const uint8_t *want = ref.row(y) + 3 * x;
      uint8_t got[3];
      if (bits == 24) {
        for (int c = 0; c < 3; ++c)
          got[c] = static_cast<uint8_t>(norvtest::pixel(image->channels[c], x, y));
      } else {
        uint32_t index = norvtest::pixel(image, x, y);
        if (bits == 1) index ^= 1;
        const uint8_t *entry = bmp.data() + 54 + 4 * index;  // blue, green, red, 0
        got[0] = entry[2], got[1] = entry[1], got[2] = entry[0];
      }
      bad += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
    }
  return bad;
}

TEST(BmpReader, NetpbmFilesAtEveryDepthBothRowOrders) {
  if (!iotest::haveTools({"gs", "ppmtobmp", "bmptopnm", "ppmtoppm", "pnmquant"}))
    GTEST_SKIP() << "tools missing";
  const std::string page = std::string(NORV_TEST_DATA) + "/page.ps";
  const std::string pbm = norvtest::renderPage(page, "pbmraw", 31);
  const std::string ppm = norvtest::renderPage(page, "ppmraw", 13);
  ASSERT_FALSE(pbm.empty() || ppm.empty());
  iotest::TempDir dir;
  struct Case {
    std::string command;
    int bits;
  };
  const std::vector<Case> cases = {
      {"ppmtobmp -bpp 1 " + pbm, 1},
      {"pnmquant 16 " + ppm + " | ppmtobmp -bpp 4", 4},
      {"pnmquant 200 " + ppm + " | ppmtobmp -bpp 8", 8},
      {"ppmtobmp -bpp 24 " + ppm, 24},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.command);
    const norvtest::ToolRun made = norvtest::runTool(k.command + " 2>/dev/null");
    ASSERT_EQ(0, made.status);
    ASSERT_EQ(k.bits, made.output[28]);
    const std::string path = dir.file("page.bmp");
    ASSERT_TRUE(iotest::writeFile(path, made.output));
    const norvtest::ToolRun decoded =
        norvtest::runTool("bmptopnm " + path + " 2>/dev/null | ppmtoppm");
    const Pnm ref = norvtest::parsePnm(decoded.output);
    ASSERT_TRUE(ref.valid());
    for (const std::vector<uint8_t> &bytes : {made.output, topDown(made.output)}) {
      for (int flag : {0, 1}) {
        norvtest::TrackedContext tracked(flag);
        iotest::OwnedImage image(tracked.get());
        PxlImageFileInfo info{};
        ASSERT_EQ(0, readBytes(tracked.get(), bytes, &image.pix, &info));
        EXPECT_EQ(0, differences(image.pix, bytes, ref));
        EXPECT_EQ(ref.width, info.width);
        EXPECT_EQ(ref.height, info.height);
        EXPECT_EQ(static_cast<int32_t>(le32(bytes, 34) ? le32(bytes, 34)
                                                       : le32(bytes, 2) - le32(bytes, 10)),
                  info.dataLength);
      }
    }
  }
}

// A hand-made file: `bits` per pixel, width x height, zero pixel bytes (none when they would
// pass 1 MiB).
std::vector<uint8_t> makeBmp(int bits, int32_t width, int32_t height, uint32_t compression = 0,
                             int32_t ppm = 3780) {
  const int64_t rows = height < 0 ? -int64_t{height} : height;
  const int64_t stored = (int64_t{bits} * (width > 0 ? width : 0) + 31) / 32 * 4;
  const uint32_t palette = bits <= 8 ? 4u << bits : 0;
  std::vector<uint8_t> b(54 + palette + (stored * rows < (1 << 20) ? stored * rows : 0), 0);
  b[0] = 'B', b[1] = 'M';
  put32(b, 2, static_cast<uint32_t>(b.size()));
  put32(b, 10, 54 + palette);
  put32(b, 14, 40);
  put32(b, 18, static_cast<uint32_t>(width));
  put32(b, 22, static_cast<uint32_t>(height));
  b[26] = 1, b[28] = static_cast<uint8_t>(bits);
  put32(b, 30, compression);
  put32(b, 38, static_cast<uint32_t>(ppm));
  put32(b, 42, static_cast<uint32_t>(ppm));
  return b;
}

TEST(BmpReader, PixelsResolutionAndRefusals) {
  Context c;
  // A 1-bit file of zero bits gives set pixels; 3780 pixels per metre is 96 dpi.
  iotest::OwnedImage ones(c.ctx), colour(c.ctx);
  ASSERT_EQ(0, readBytes(c.ctx, makeBmp(1, 37, 3), &ones.pix));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 37; ++x) EXPECT_EQ(1u, norvtest::pixel(ones.pix, x, y));
  EXPECT_EQ(96 << 16, ones.pix->xResolution);
  std::vector<uint8_t> rgb = makeBmp(24, 1, 1);
  rgb[54] = 0x10, rgb[55] = 0x20, rgb[56] = 0x30;
  ASSERT_EQ(0, readBytes(c.ctx, rgb, &colour.pix));
  EXPECT_EQ(0x30u, norvtest::pixel(colour.pix->channels[0], 0, 0));
  EXPECT_EQ(0x20u, norvtest::pixel(colour.pix->channels[1], 0, 0));
  EXPECT_EQ(0x10u, norvtest::pixel(colour.pix->channels[2], 0, 0));

  struct Case {
    std::vector<uint8_t> bytes;
    int32_t status;
  };
  std::vector<uint8_t> truncated = makeBmp(8, 10, 10);
  truncated.resize(truncated.size() - 1);
  std::vector<uint8_t> badOffset = makeBmp(8, 4, 4);
  put32(badOffset, 10, 0x7FFFFFF0u);
  const Case cases[] = {
      {makeBmp(16, 4, 4), 106},
      {makeBmp(32, 4, 4), 106},
      {makeBmp(8, 4, 4, 1), 102},
      {makeBmp(8, 0, 4), 2000},
      {makeBmp(8, -4, 4), 2000},
      {makeBmp(8, 4, INT32_MIN), 2000},
      {makeBmp(24, INT32_MAX, 2), 1},
      {makeBmp(1, 1 << 20, 1 << 20), 1},
      {makeBmp(8, 20000, 20000), 2000},  // allowed size, but the data is missing
      {truncated, 2000},
      {badOffset, 2000},
      {std::vector<uint8_t>(53, 0), 2000},
  };
  for (const Case &k : cases) {
    Pixr *image = nullptr;
    c.tracked.tracker.lastRequest = 0;
    EXPECT_EQ(k.status, readBytes(c.ctx, k.bytes, &image)) << k.bytes.size();
    EXPECT_EQ(nullptr, image);
    EXPECT_LT(c.tracked.tracker.lastRequest, size_t{1} << 16);
  }
  Pixr *image = nullptr;
  EXPECT_EQ(118, pxlReadBmp(c.ctx, nullptr, nullptr, &image));
}

class BmpReaderLoops : public norvtest::ContextTest {};
INSTANTIATE_TEST_SUITE_P(Units, BmpReaderLoops, ::testing::Values(0, 1), norvtest::unitName);

TEST_P(BmpReaderLoops, AllocationFailuresAndAborts) {
  for (int bits : {1, 4, 8, 24}) {
    SCOPED_TRACE(bits);
    const std::vector<uint8_t> bytes = makeBmp(bits, 29, -7);
    iotest::expectFailureLoops(
        tr, ctx, [&](PxlContext *c, Pixr **image) { return readBytes(c, bytes, image); });
  }
}

}  // namespace
