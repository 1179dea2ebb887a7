// The PCX codec's write side: files written through the codec (header at open, the test's
// run-length coded lines, trailer at close) at 1, 4, 8 and 24 total bits, colour and grey
// kinds, read by netpbm's pcxtoppm and by our reader against the pixel model and the palettes
// the header and trailer carry; netpbm's ppmtopcx files read and written again keep
// pcxtoppm's colours (the 4-bit header palette becomes the standard one); header fields and
// trailer sizes; refused layouts, streams that cannot be written, and memory failures.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "io_support.h"
#include "pcx.h"
#include "pxl_imagefile.h"

namespace {

using iotest::Context;
using norvtest::Pnm;

// Pixel values of the model: palette indices (1, 4, 8 bits) or packed RGB (24 bits).
struct Picture {
  int width = 0, height = 0, bits = 0;
  std::vector<uint32_t> values;
  uint32_t at(int x, int y) const { return values[size_t(y) * width + x]; }
};

Picture pattern(int width, int height, int bits) {
  Picture p{width, height, bits, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t v = uint32_t(x * 7 + y * 13 + (x * y) / 5);
      p.values.push_back(bits == 24 ? (v * 0x9E3779B1u) >> 8 : v & ((1u << bits) - 1));
    }
  return p;
}

// One row in the file's plane layout for bytesPerLine bytes per plane.
std::vector<uint8_t> fileLine(const Picture &p, int y, int bytesPerLine) {
  const int planes = p.bits == 4 ? 4 : p.bits == 24 ? 3 : 1;
  std::vector<uint8_t> line(size_t(planes) * bytesPerLine, 0);
  for (int x = 0; x < p.width; ++x) {
    const uint32_t v = p.at(x, y);
    if (p.bits == 8) {
      line[x] = uint8_t(v);
    } else if (p.bits == 24) {
      for (int c = 0; c < 3; ++c) line[size_t(c) * bytesPerLine + x] = uint8_t(v >> (16 - 8 * c));
    } else {
      for (int k = 0; k < planes; ++k)
        if ((v >> k) & 1) line[size_t(k) * bytesPerLine + x / 8] |= uint8_t(0x80 >> (x % 8));
    }
  }
  return line;
}

// Run-length coding of a line: runs of up to 63 equal bytes, single bytes below 0xC0 as
// themselves.
std::vector<uint8_t> encodeLine(const std::vector<uint8_t> &line) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < line.size();) {
    size_t n = 1;
    while (i + n < line.size() && n < 63 && line[i + n] == line[i]) ++n;
    if (n > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | n));
    out.push_back(line[i]);
    i += n;
  }
  return out;
}

struct Target {
  int kind = PCX_PALETTE_COLOUR;
  int dpi = 96;
  const uint8_t *palette = nullptr;  // 768 bytes for the colour kind at 8 bits
};

// Writes the picture through the codec into path; the codec's statuses of open and close.
std::pair<int, int> writeThroughCodec(PxlContext *ctx, const std::string &path, const Picture &p,
                                      const Target &t) {
  PcxImageInfo *info = nullptr;
  EXPECT_EQ(0, pxlCreatePcxInfo(ctx, &info));
  info->width = p.width, info->height = p.height, info->totalBits = uint8_t(p.bits);
  info->paletteKind = uint8_t(t.kind), info->xDpi = t.dpi, info->yDpi = t.dpi;
  if (t.palette != nullptr) std::memcpy(info->palette, t.palette, kPcxPaletteSize);
  FILE *file = std::fopen(path.c_str(), "w+b");
  PcxStream *stream = pcxStreamNew(ctx, "out", file);
  const int opened = pcxOpen(info, stream, PCX_WRITE);
  int closed = -1;
  if (opened == 0) {
    for (int y = 0; y < p.height; ++y) {
      const std::vector<uint8_t> coded = encodeLine(fileLine(p, y, info->bytesPerLine));
      EXPECT_EQ(int64_t(coded.size()), pcxWriteBytes(stream, coded.data(), int64_t(coded.size())));
    }
    closed = pcxClose(info);
  }
  pcxStreamFree(stream);
  std::fclose(file);
  pxlFreePcxInfo(ctx, &info);
  return {opened, closed};
}

std::array<uint8_t, 3> rgb(const uint8_t *palette, uint32_t i) {
  return {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
}

Pnm pcxtoppm(const std::string &path) {
  return norvtest::parsePnm(
      norvtest::runTool("pcxtoppm " + norvtest::shellQuote(path) + " 2>/dev/null | ppmtoppm")
          .output);
}

int le16(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | b[at + 1] << 8;
}

TEST(PcxWriter, EveryDepthReadsBackThroughPcxtoppmAndOurReader) {
  if (!iotest::haveTools({"pcxtoppm", "ppmtoppm"})) GTEST_SKIP() << "netpbm missing";
  std::vector<uint8_t> colours(kPcxPaletteSize);
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = uint8_t(i * 89 + i / 3);
  uint8_t grey256[kPcxPaletteSize], grey16[48], mono[48];
  for (int i = 0; i < 256; ++i) std::memset(grey256 + 3 * i, i, 3);
  pcxFillGrey16(grey16);
  pcxFillMono(mono);
  struct Case {
    const char *what;
    int bits, kind;
    int planes, bytesPerLine, paletteInfo;  // header fields expected
    const uint8_t *headerPalette;           // 48 bytes; null: zeros
    const uint8_t *colours;                 // what pcxtoppm shows for an index (null: RGB)
    size_t trailer;                         // bytes after the lines
  };
  const Case cases[] = {
      {"1 bit", 1, PCX_PALETTE_GREY, 1, 8, 1, mono, mono, 0},
      {"4 bits, colour", 4, PCX_PALETTE_COLOUR, 4, 8, 1, kPcxColour16, kPcxColour16, 49},
      {"4 bits, grey", 4, PCX_PALETTE_GREY, 4, 8, 2, grey16, grey16, 49},
      {"8 bits, colour", 8, PCX_PALETTE_COLOUR, 1, 40, 1, nullptr, colours.data(), 769},
      {"8 bits, grey", 8, PCX_PALETTE_GREY, 1, 40, 2, nullptr, grey256, 769},
      {"24 bits", 24, PCX_PALETTE_COLOUR, 3, 40, 0, nullptr, nullptr, 0},
  };
  iotest::TempDir dir;
  const uint8_t zeros[48] = {};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.what);
    Context c;
    const Picture p = pattern(37, 11, k.bits);
    const std::string path = dir.file("out.pcx");
    const auto [opened, closed] = writeThroughCodec(c.ctx, path, p, {k.kind, 150, colours.data()});
    ASSERT_EQ(0, opened);
    ASSERT_EQ(0, closed);
    const std::vector<uint8_t> file = iotest::readFile(path);
    ASSERT_GE(file.size(), 128u + k.trailer);
    EXPECT_EQ(10, file[0]);
    EXPECT_EQ(5, file[1]);
    EXPECT_EQ(1, file[2]);
    EXPECT_EQ(k.bits == 1 || k.bits == 4 ? 1 : 8, file[3]);
    EXPECT_EQ(36, le16(file, 8));
    EXPECT_EQ(10, le16(file, 10));
    EXPECT_EQ(150, le16(file, 12));
    EXPECT_EQ(k.planes, file[65]);
    EXPECT_EQ(k.bytesPerLine, le16(file, 66));
    EXPECT_EQ(k.paletteInfo, le16(file, 68));
    EXPECT_EQ(0, std::memcmp(file.data() + 16, k.headerPalette ? k.headerPalette : zeros, 48));
    if (k.trailer != 0) {
      EXPECT_EQ(12, file[file.size() - k.trailer]);
      EXPECT_EQ(0,
                std::memcmp(file.data() + file.size() - k.trailer + 1, k.colours, k.trailer - 1));
    }
    const Pnm shown = pcxtoppm(path);
    ASSERT_TRUE(shown.valid());
    ASSERT_EQ(p.width, shown.width);
    ASSERT_EQ(p.height, shown.height);
    long bad = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const uint32_t v = p.at(x, y);
        const std::array<uint8_t, 3> want =
            k.colours ? rgb(k.colours, v)
                      : std::array<uint8_t, 3>{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        bad += std::memcmp(want.data(), shown.row(y) + 3 * x, 3) != 0;
      }
    EXPECT_EQ(0, bad);
    // Our reader: 1-bit pixels inverted (index 0, black, is a set pixel), indices otherwise;
    // 24-bit files are refused.
    iotest::OwnedImage image(c.ctx);
    FILE *in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, in);
    const int32_t status = pxlReadPcx(c.ctx, in, &image.pix);
    std::fclose(in);
    ASSERT_EQ(k.bits == 24 ? 8 : 0, status);
    if (k.bits == 24) continue;
    EXPECT_EQ(150 << 16, image.pix->xResolution);
    long wrong = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        wrong += norvtest::pixel(image.pix, x, y) != (k.bits == 1 ? 1 - p.at(x, y) : p.at(x, y));
    EXPECT_EQ(0, wrong);
  }
}

// Pixel values of a line the codec decoded (1 bit: inverted bytes; 4 bits: packed nibbles,
// first pixel high; 8 bits: indices; 24 bits: three planes of bytesPerLine bytes).
uint32_t decodedValue(const std::vector<uint8_t> &row, int bits, int x, int bytesPerLine) {
  switch (bits) {
    case 1:
      return ((~row[x / 8]) >> (7 - x % 8)) & 1u;
    case 4:
      return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15u;
    case 8:
      return row[x];
    default:
      return uint32_t(row[x]) << 16 | uint32_t(row[bytesPerLine + x]) << 8 |
             row[2 * bytesPerLine + x];
  }
}

TEST(PcxWriter, NetpbmFilesWrittenAgainKeepTheirColours) {
  if (!iotest::haveTools({"gs", "ppmtopcx", "pcxtoppm", "pnmquant", "ppmtoppm"}))
    GTEST_SKIP() << "tools missing";
  const std::string page = std::string(NORV_TEST_DATA) + "/page.ps";
  const std::string pbm = norvtest::renderPage(page, "pbmraw", 29);
  const std::string ppm = norvtest::renderPage(page, "ppmraw", 11);
  ASSERT_FALSE(pbm.empty() || ppm.empty());
  struct Case {
    std::string command;
    int bits;
  };
  const Case cases[] = {
      {"ppmtopcx " + pbm, 1},
      {"pnmquant 16 " + ppm + " 2>/dev/null | ppmtopcx -planes=4", 4},
      {"pnmquant 200 " + ppm + " 2>/dev/null | ppmtopcx -8bit", 8},
      {"ppmtopcx -24bit " + ppm, 24},
  };
  iotest::TempDir dir;
  for (const Case &k : cases) {
    SCOPED_TRACE(k.command);
    const std::string original = dir.file("in.pcx"), again = dir.file("again.pcx");
    ASSERT_TRUE(iotest::makeFile(k.command, original));
    Context c;
    PcxImageInfo *info = nullptr;
    ASSERT_EQ(0, pxlCreatePcxInfo(c.ctx, &info));
    FILE *file = std::fopen(original.c_str(), "rb");
    PcxStream *stream = pcxStreamNew(c.ctx, "in", file);
    ASSERT_EQ(0, pcxOpen(info, stream, PCX_READ));
    ASSERT_EQ(k.bits, info->totalBits);
    Picture p{info->width, info->height, k.bits, {}};
    std::vector<uint8_t> row(size_t(info->planes) * info->bytesPerLine + 64);
    for (int y = 0; y < p.height; ++y) {
      ASSERT_EQ(0, pcxReadLine(info, row.data()));
      for (int x = 0; x < p.width; ++x)
        p.values.push_back(decodedValue(row, k.bits, x, info->bytesPerLine));
    }
    EXPECT_EQ(0, pcxClose(info));
    pcxStreamFree(stream);
    std::fclose(file);
    const auto [opened, closed] =
        writeThroughCodec(c.ctx, again, p, {info->paletteKind, info->xDpi, info->palette});
    pxlFreePcxInfo(c.ctx, &info);
    ASSERT_EQ(0, opened);
    ASSERT_EQ(0, closed);
    const Pnm before = pcxtoppm(original), after = pcxtoppm(again);
    ASSERT_TRUE(before.valid() && after.valid());
    ASSERT_EQ(before.width, after.width);
    ASSERT_EQ(before.height, after.height);
    if (k.bits != 4) {
      EXPECT_EQ(before.raster, after.raster);
      continue;
    }
    long bad = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        bad += std::memcmp(rgb(kPcxColour16, p.at(x, y)).data(), after.row(y) + 3 * x, 3) != 0;
    EXPECT_EQ(0, bad);
  }
}

TEST(PcxWriter, RefusedLayoutsStreamsAndMemory) {
  iotest::TempDir dir;
  const std::string path = dir.file("out.pcx");
  struct Case {
    const char *what;
    int bits, width, height;
  };
  const Case refused[] = {
      {"2 bits", 2, 8, 8},
      {"16 bits", 16, 8, 8},
      {"32 bits", 32, 8, 8},
      {"width 0", 8, 0, 8},
      {"height 0", 8, 8, 0},
      {"too wide", 8, 32769, 1},
      {"too wide a line", 24, 32766, 1},
  };
  for (const Case &k : refused) {
    SCOPED_TRACE(k.what);
    Context c;
    Picture p{k.width, k.height, k.bits, {}};
    EXPECT_EQ(PCX_ERROR, writeThroughCodec(c.ctx, path, p, {}).first);
    EXPECT_TRUE(iotest::readFile(path).empty());
  }
  // A stream open for reading only: the header cannot be written.
  Context c;
  PcxImageInfo *info = nullptr;
  ASSERT_EQ(0, pxlCreatePcxInfo(c.ctx, &info));
  info->width = 8, info->height = 2, info->totalBits = 8;
  FILE *readOnly = std::fopen(path.c_str(), "rb");
  ASSERT_NE(nullptr, readOnly);
  PcxStream *stream = pcxStreamNew(c.ctx, "ro", readOnly);
  EXPECT_EQ(PCX_ERROR, pcxOpen(info, stream, PCX_WRITE));
  EXPECT_EQ(nullptr, info->holder);
  // A stream whose trailer does not fit: open succeeds, close reports the lost palette.
  uint8_t small[128 + 20];
  FILE *memory = fmemopen(small, sizeof small, "wb");
  setvbuf(memory, nullptr, _IONBF, 0);
  PcxStream *full = pcxStreamNew(c.ctx, "full", memory);
  ASSERT_EQ(0, pcxOpen(info, full, PCX_WRITE));
  uint8_t row[8] = {};
  EXPECT_EQ(PCX_ERROR, pcxReadLine(info, row));
  EXPECT_EQ(PCX_ERROR, pcxClose(info));
  EXPECT_EQ(nullptr, info->holder);
  pcxStreamFree(full);
  std::fclose(memory);
  // Memory for the open stream's record.
  FILE *out = std::fopen(path.c_str(), "wb");
  PcxStream *writable = pcxStreamNew(c.ctx, "out", out);
  c.tracked.tracker.failAllocation(1);
  EXPECT_EQ(PCX_NO_MEMORY, pcxOpen(info, writable, PCX_WRITE));
  c.tracked.tracker.failAllocation(0);
  EXPECT_EQ(0, pcxOpen(info, writable, PCX_WRITE));
  EXPECT_EQ(0, pcxClose(info));
  pcxStreamFree(writable);
  std::fclose(out);
  EXPECT_EQ(128u + 769u, iotest::readFile(path).size());
  pcxStreamFree(stream);
  std::fclose(readOnly);
  pxlFreePcxInfo(c.ctx, &info);
}

}  // namespace
