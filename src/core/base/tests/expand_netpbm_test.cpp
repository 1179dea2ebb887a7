// pxlExpandImage against netpbm's pamenlarge on a real page: tests/data/expand_page.ps is
// rendered by Ghostscript as a 1-bit PBM, an 8-bit PGM and a 24-bit PPM (three channels),
// each is enlarged by both for every factor from 2 to 32, and the rasters must be equal
// byte for byte. Factors other than 2, 4, 8, 16 and 32 are refused by pxlExpandImage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pxl_expand.h"
#include "scale_support.h"

namespace {

using scaletest::Context;
using scaletest::Image;

struct Pnm {
  char kind = 0;  // '4' PBM, '5' PGM, '6' PPM
  int width = 0, height = 0;
  std::vector<uint8_t> raster;
  int rowBytes() const { return kind == '4' ? (width + 7) / 8 : kind == '5' ? width : 3 * width; }
};

// Parses a raw PNM (comments allowed in the header); false when it is not one.
bool parsePnm(const std::vector<uint8_t> &bytes, Pnm *out) {
  size_t i = 0;
  auto skip = [&] {
    while (i < bytes.size() && (std::isspace(bytes[i]) || bytes[i] == '#')) {
      if (bytes[i] == '#')
        while (i < bytes.size() && bytes[i] != '\n') ++i;
      else
        ++i;
    }
  };
  auto number = [&] {
    skip();
    int v = 0;
    while (i < bytes.size() && std::isdigit(bytes[i])) v = v * 10 + (bytes[i++] - '0');
    return v;
  };
  if (bytes.size() < 3 || bytes[0] != 'P') return false;
  out->kind = char(bytes[1]);
  i = 2;
  out->width = number();
  out->height = number();
  if (out->kind != '4' && number() != 255) return false;
  ++i;  // the single whitespace before the raster
  const size_t size = size_t(out->rowBytes()) * out->height;
  if (bytes.size() < i + size) return false;
  out->raster.assign(bytes.begin() + long(i), bytes.begin() + long(i + size));
  return true;
}

std::vector<uint8_t> runCommand(const std::string &command) {
  std::vector<uint8_t> out;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  uint8_t buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.insert(out.end(), buffer, buffer + n);
  pclose(pipe);
  return out;
}

// Pixel-order byte k of a content row.
uint8_t &contentByte(Pixr *p, int y, int k) {
  return scaletest::rowOf(p, y)[4 * p->depth + (k ^ 3)];
}

Pixr *toImage(PxlContext *ctx, const Pnm &pnm) {
  Pixr *image = nullptr;
  const int depth = pnm.kind == '4' ? 1 : 8, channels = pnm.kind == '6' ? 3 : 1;
  if (channels == 1)
    EXPECT_EQ(0, pxlCreateImage(ctx, pnm.width, pnm.height, depth, 20 << 16, 20 << 16, 32, &image));
  else
    EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, pnm.width, pnm.height, 8, 20 << 16, 20 << 16, 32,
                                            3, 1, nullptr, &image));
  const int rowBytes = pnm.rowBytes();
  for (int y = 0; y < pnm.height; ++y) {
    const uint8_t *row = pnm.raster.data() + size_t(y) * rowBytes;
    if (pnm.kind == '6') {
      for (int c = 0; c < 3; ++c)
        for (int x = 0; x < pnm.width; ++x) contentByte(image->channels[c], y, x) = row[3 * x + c];
      continue;
    }
    for (int k = 0; k < rowBytes; ++k) contentByte(image, y, k) = row[k];
    if (depth == 1 && pnm.width % 8)  // no pixels past the width
      contentByte(image, y, rowBytes - 1) &= uint8_t(0xFF00 >> (pnm.width % 8));
  }
  return image;
}

// The image's rows in the PNM's byte layout.
std::vector<uint8_t> toRaster(Pixr *image, char kind) {
  Pixr *first = scaletest::channel(image, 0);
  Pnm shape{kind, first->width, first->height, {}};
  std::vector<uint8_t> raster(size_t(shape.rowBytes()) * shape.height);
  for (int y = 0; y < shape.height; ++y) {
    uint8_t *row = raster.data() + size_t(y) * shape.rowBytes();
    if (kind == '6') {
      for (int c = 0; c < 3; ++c)
        for (int x = 0; x < shape.width; ++x)
          row[3 * x + c] = contentByte(image->channels[c], y, x);
    } else {
      for (int k = 0; k < shape.rowBytes(); ++k) row[k] = contentByte(image, y, k);
    }
  }
  return raster;
}

class ExpandLikePamenlarge : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    char pattern[] = "/tmp/norv_expand_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  // Renders the test page with a Ghostscript device at a resolution.
  Pnm render(const char *device, int dpi) {
    const std::string file = dir + "/page." + device;
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + std::string(device) +
                                " -r" + std::to_string(dpi) + " -sOutputFile='" + file + "' '" +
                                NORV_TEST_DATA + "/expand_page.ps'";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
    Pnm pnm;
    EXPECT_TRUE(parsePnm(runCommand("cat '" + file + "'"), &pnm)) << "no page from " << device;
    return pnm;
  }

  void compareAllFactors(const char *device, int dpi) {
    Context c;
    const Pnm page = render(device, dpi);
    ASSERT_GT(page.width, 0);
    Image source(c.ctx, toImage(c.ctx, page));
    const std::string file = dir + "/page." + device;
    for (int factor = 2; factor <= 32; ++factor) {
      SCOPED_TRACE(testing::Message() << device << " factor " << factor);
      Image ours(c.ctx);
      const bool power = (factor & (factor - 1)) == 0;
      ASSERT_EQ(power ? 0 : PXL_ERR_PARAM, pxlExpandImage(c.ctx, source.pix, factor, &ours.pix));
      if (!power) {
        EXPECT_EQ(nullptr, ours.pix);
        continue;
      }
      Pnm theirs;
      ASSERT_TRUE(parsePnm(runCommand("pamenlarge " + std::to_string(factor) + " '" + file + "'"),
                           &theirs));
      Pixr *first = scaletest::channel(ours.pix, 0);
      ASSERT_EQ(theirs.width, first->width);
      ASSERT_EQ(theirs.height, first->height);
      ASSERT_TRUE(toRaster(ours.pix, page.kind) == theirs.raster);
    }
  }
};

TEST_F(ExpandLikePamenlarge, BilevelPage) {
  compareAllFactors("pbmraw", 40);
}
TEST_F(ExpandLikePamenlarge, GreyPage) {
  compareAllFactors("pgmraw", 20);
}
TEST_F(ExpandLikePamenlarge, ColourPageInThreeChannels) {
  compareAllFactors("ppmraw", 10);
}

}  // namespace
