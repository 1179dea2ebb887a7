// The Sun raster reader: files made by netpbm's pnmtorast (standard and byte-encoded, 1-bit,
// grey-mapped and colour-mapped 8-bit) against rasttopnm's colours through the file's map;
// hand-made 2- and 4-bit files, colour maps of every type, the byte encoding's escapes and
// runs across rows, refused and hostile headers, short data, and the allocation-failure and
// abort loops.
#include <cstdio>
#include <string>
#include <vector>

#include "io_support.h"
#include "pxl_imagefile.h"
#include "pxl_internal.h"

namespace {

using iotest::Context;
using norvtest::Pnm;

// Header step and, unless headerOnly, the body step of the image's depth.
int32_t readSun(PxlContext *ctx, const std::vector<uint8_t> &bytes, Pixr **image,
                bool headerOnly = false) {
  PxlImageFileInfo info{};
  const int32_t status = iotest::readMemory(bytes, [&](FILE *file) {
    int32_t s = pxlReadSunHeader(ctx, file, &info, image);
    if (s != 0 || headerOnly) return s;
    s = (*image)->depth == 1 ? pxlReadSunBits(ctx, file, &info, image)
                             : pxlReadSunPixels(ctx, file, &info, image);
    if (s != 0) pxlDestroyImage(ctx, image);
    return s;
  });
  pxl::freeRecord(ctx, info.header);
  return status;
}

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}
uint32_t be32(const std::vector<uint8_t> &b, size_t at) {
  return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// A file: header, map bytes, then data; the length field is the data's size unless given.
std::vector<uint8_t> sunFile(uint32_t width, uint32_t height, uint32_t depth, uint32_t type,
                             const std::vector<uint8_t> &data, uint32_t mapType = 0,
                             const std::vector<uint8_t> &map = {}, int64_t length = -1) {
  std::vector<uint8_t> b(32, 0);
  put32(b, 0, 0x59A66A95u);
  put32(b, 4, width);
  put32(b, 8, height);
  put32(b, 12, depth);
  put32(b, 16, static_cast<uint32_t>(length >= 0 ? length : static_cast<int64_t>(data.size())));
  put32(b, 20, type);
  put32(b, 24, mapType);
  put32(b, 28, static_cast<uint32_t>(map.size()));
  b.insert(b.end(), map.begin(), map.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(SunReader, NetpbmFilesStandardAndEncoded) {
  if (!iotest::haveTools({"gs", "pnmtorast", "rasttopnm", "ppmtoppm", "pnmquant"}))
    GTEST_SKIP() << "tools missing";
  const std::string page = std::string(NORV_TEST_DATA) + "/page.ps";
  const std::string pbm = norvtest::renderPage(page, "pbmraw", 31);
  const std::string pgm = norvtest::renderPage(page, "pgmraw", 17);
  const std::string ppm = norvtest::renderPage(page, "ppmraw", 13);
  ASSERT_FALSE(pbm.empty() || pgm.empty() || ppm.empty());
  struct Case {
    std::string source;
    int depth;
  };
  const Case cases[] = {
      {"cat " + pbm, 1}, {"cat " + pgm, 8}, {"pnmquant 200 " + ppm + " 2>/dev/null", 8}};
  iotest::TempDir dir;
  for (const Case &k : cases)
    for (const char *kind : {"-standard", "-rle"}) {
      SCOPED_TRACE(k.source + " " + kind);
      const norvtest::ToolRun made =
          norvtest::runTool(k.source + " | pnmtorast " + kind + " 2>/dev/null");
      ASSERT_EQ(0, made.status);
      ASSERT_EQ(kind[1] == 's' ? 1u : 2u, be32(made.output, 20));
      const std::string path = dir.file("page.ras");
      ASSERT_TRUE(iotest::writeFile(path, made.output));
      const Pnm ref = norvtest::parsePnm(
          norvtest::runTool("rasttopnm " + path + " 2>/dev/null | ppmtoppm").output);
      ASSERT_TRUE(ref.valid());
      // Colours through the map (all reds, then greens, then blues); 1-bit files have none
      // and 1 is black.
      const uint32_t mapLength = be32(made.output, 28), n = mapLength / 3;
      const uint8_t *map = made.output.data() + 32;
      auto colour = [&](uint32_t v) -> std::array<uint8_t, 3> {
        if (n == 0) return {uint8_t(v ? 0 : 255), uint8_t(v ? 0 : 255), uint8_t(v ? 0 : 255)};
        return {map[v], map[n + v], map[2 * n + v]};
      };
      for (int flag : {0, 1}) {
        norvtest::TrackedContext tracked(flag);
        iotest::OwnedImage image(tracked.get());
        ASSERT_EQ(0, readSun(tracked.get(), made.output, &image.pix));
        EXPECT_EQ(k.depth, image.pix->depth);
        EXPECT_EQ(0, iotest::colourDifferences(image.pix, ref, colour));
      }
    }
}

// A small image of any depth: pixel (x, y) = (3x + 5y + 1) mod 2^depth.
uint32_t model(int depth, int x, int y) {
  return static_cast<uint32_t>(3 * x + 5 * y + 1) & ((1u << depth) - 1);
}
std::vector<uint8_t> modelRows(int depth, int width, int height) {
  const int stored = (width * depth + 15) / 16 * 2;
  std::vector<uint8_t> rows(static_cast<size_t>(stored * height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int bit = x * depth;
      rows[y * stored + bit / 8] |=
          static_cast<uint8_t>(model(depth, x, y) << (8 - depth - bit % 8));
    }
  return rows;
}
// The byte encoding of data: runs of 3 or more (and every 0x80) as escapes.
std::vector<uint8_t> encode(const std::vector<uint8_t> &data) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < data.size();) {
    size_t n = 1;
    while (i + n < data.size() && data[i + n] == data[i] && n < 256) ++n;
    if (n >= 3 || data[i] == 0x80) {
      n = data[i] == 0x80 && n < 3 ? 1 : n;
      out.insert(out.end(), {0x80, static_cast<uint8_t>(n - 1)});
      if (n > 1) out.push_back(data[i]);
    } else {
      n = 1;
      out.push_back(data[i]);
    }
    i += n;
  }
  return out;
}

TEST(SunReader, DepthsMapsAndEncodings) {
  Context c;
  const std::vector<uint8_t> equalMap(6, 0x7F), rawMap(10, 0x33);
  for (int depth : {1, 2, 4, 8})
    for (int width : {1, 17, 40}) {
      const int height = 5;
      const std::vector<uint8_t> rows = modelRows(depth, width, height);
      const std::vector<std::vector<uint8_t>> files = {
          sunFile(width, height, depth, 1, rows),
          sunFile(width, height, depth, 1, rows, 1, equalMap),
          sunFile(width, height, depth, 1, rows, 2, rawMap),  // skipped too
          sunFile(width, height, depth, 2, encode(rows)),
          sunFile(width, height, depth, 2, encode(rows), 1, equalMap),
      };
      for (size_t f = 0; f < files.size(); ++f) {
        SCOPED_TRACE(std::to_string(depth) + " bits, width " + std::to_string(width) + ", file " +
                     std::to_string(f));
        iotest::OwnedImage image(c.ctx);
        ASSERT_EQ(0, readSun(c.ctx, files[f], &image.pix));
        ASSERT_EQ(depth, image.pix->depth);
        long bad = 0;
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x)
            bad += norvtest::pixel(image.pix, x, y) != model(depth, x, y);
        EXPECT_EQ(0, bad);
        // Bits after the last pixel of each row are clear.
        const int64_t bits = int64_t{width} * depth;
        for (int y = 0; y < height && bits % 32 != 0; ++y)
          EXPECT_EQ(0u, norvtest::getBits(norvtest::rowOf(image.pix, y), 32 * depth + bits,
                                          static_cast<int>(32 - bits % 32)));
      }
    }

  // The escapes: 0x80 0x00 is one 0x80, 0x80 0x03 0x55 four 0x55, 0x12 itself; a run carries
  // from one row into the next (width 2 at 8 bits: 2 bytes a row, one run of 16 for 8 rows).
  struct Coded {
    std::vector<uint8_t> data;
    std::vector<uint8_t> expected;
  };
  const std::vector<uint8_t> seven(7, 0x55);
  const Coded coded[] = {
      {{0x80, 0x00, 0x80, 0x03, 0x55, 0x12, 0x80, 0x00, 0x80, 0x00},
       {0x80, 0x55, 0x55, 0x55, 0x55, 0x12, 0x80, 0x80}},
      {{0x80, 0x0F, 0x21}, std::vector<uint8_t>(16, 0x21)},
  };
  {
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readSun(c.ctx, sunFile(4, 2, 8, 2, coded[0].data), &image.pix));
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(coded[0].expected[i], norvtest::pixel(image.pix, i % 4, i / 4)) << i;
  }
  {
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, readSun(c.ctx, sunFile(2, 8, 8, 2, coded[1].data), &image.pix));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0x21u, norvtest::pixel(image.pix, i % 2, i / 2)) << i;
  }
}

TEST(SunReader, RefusedHostileAndShortFiles) {
  Context c;
  const std::vector<uint8_t> rows = modelRows(8, 8, 4);  // 32 bytes
  std::vector<uint8_t> badMagic = sunFile(8, 4, 8, 1, rows);
  badMagic[0] = 0x58;
  std::vector<uint8_t> truncated = sunFile(8, 4, 8, 1, rows);
  truncated.pop_back();
  const std::vector<uint8_t> shortHeader(truncated.begin(), truncated.begin() + 31);
  struct Case {
    const char *what;
    std::vector<uint8_t> bytes;
    int32_t status;
  };
  const Case cases[] = {
      {"magic", badMagic, 102},
      {"type 3", sunFile(8, 4, 8, 3, rows), 102},
      {"type 0", sunFile(8, 4, 8, 0, rows), 102},
      {"standard 24-bit", sunFile(8, 4, 24, 1, rows), 8},
      {"encoded 24-bit", sunFile(8, 4, 24, 2, encode(rows)), 2},
      {"short header", shortHeader, 2000},
      {"width 0", sunFile(0, 4, 8, 1, rows), 2000},
      {"height 0", sunFile(8, 0, 8, 1, rows), 2000},
      {"negative width", sunFile(0x80000000u, 4, 8, 1, rows), 2000},
      {"negative height", sunFile(8, 0xFFFFFFFFu, 8, 2, rows), 2000},
      {"huge", sunFile(1u << 21, 1u << 21, 1, 1, rows), 1},
      {"beyond the block limit", sunFile(1u << 20, 1u << 20, 8, 1, rows), 1},
      {"short rows", truncated, 2000},
      {"map length beyond the file",
       [&] {
         std::vector<uint8_t> b = sunFile(8, 4, 8, 1, rows);
         put32(b, 28, 0xFFFFFFF0u);
         return b;
       }(),
       2002},
      {"encoded length 0", sunFile(8, 4, 8, 2, encode(rows), 0, {}, 0), 2005},
      {"encoded length short", sunFile(8, 4, 8, 2, encode(rows), 0, {}, 3), 2005},
      {"encoded length beyond the file", sunFile(8, 4, 8, 2, encode(rows), 0, {}, 1 << 20), 2005},
      {"encoded data ends", sunFile(8, 40, 8, 2, encode(rows)), 2005},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    Pixr *image = nullptr;
    c.tracked.tracker.lastRequest = 0;
    EXPECT_EQ(k.status, readSun(c.ctx, k.bytes, &image));
    EXPECT_EQ(nullptr, image);
    EXPECT_LT(c.tracked.tracker.lastRequest, size_t{1} << 16);
  }
  // The body steps refuse an image of the wrong depth, and null arguments.
  PxlImageFileInfo info{};
  iotest::OwnedImage header(c.ctx);
  const std::vector<uint8_t> file = sunFile(8, 4, 8, 1, rows);
  EXPECT_EQ(0, iotest::readMemory(file, [&](FILE *f) {
              const int32_t s = pxlReadSunHeader(c.ctx, f, &info, &header.pix);
              return s != 0 ? s : pxlReadSunBits(c.ctx, f, &info, &header.pix) == 1001 ? 0 : 1;
            }));
  EXPECT_EQ(118, pxlReadSunPixels(c.ctx, nullptr, &info, &header.pix));
  EXPECT_EQ(2, info.type);
  EXPECT_EQ(8, info.width);
  EXPECT_EQ(4, info.height);
  EXPECT_EQ(4, info.rowUnits);
  EXPECT_EQ(8, info.bytesPerRow);
  EXPECT_EQ(32, info.dataLength);
  pxl::freeRecord(c.ctx, info.header);
}

class SunReaderLoops : public norvtest::ContextTest {};
INSTANTIATE_TEST_SUITE_P(Units, SunReaderLoops, ::testing::Values(0, 1), norvtest::unitName);

TEST_P(SunReaderLoops, AllocationFailuresAndAborts) {
  for (int depth : {1, 8})
    for (uint32_t type : {1u, 2u}) {
      SCOPED_TRACE(std::to_string(depth) + " bits, type " + std::to_string(type));
      const std::vector<uint8_t> rows = modelRows(depth, 37, 6);
      const std::vector<uint8_t> bytes =
          sunFile(37, 6, depth, type, type == 1 ? rows : encode(rows), 1, {1, 2, 3});
      iotest::expectFailureLoops(
          tr, ctx, [&](PxlContext *cx, Pixr **image) { return readSun(cx, bytes, image); });
    }
}

}  // namespace
