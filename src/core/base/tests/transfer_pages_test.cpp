// Crop, extraction and inversion of real 300 dpi pages against netpbm: a PostScript page
// (tests/data/transfer_page.ps) is rendered by Ghostscript to a P4 (1-bit) and a P5 (8-bit)
// file, loaded into core images, cut and inverted here, and compared with what pamcut and
// pnminvert make of the same files.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pxl_transfer.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;

struct Pnm {
  char kind = 0;  // '4' or '5'
  int width = 0, height = 0, rowBytes = 0;
  std::vector<uint8_t> pixels;  // rows of rowBytes, pixel order
  bool operator==(const Pnm &o) const {
    return kind == o.kind && width == o.width && height == o.height && pixels == o.pixels;
  }
};

// Reads a raw PBM or PGM (maxval 255) file, comments included.
Pnm readPnm(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Pnm p;
  size_t pos = 0;
  auto token = [&] {
    std::string t;
    while (pos < data.size()) {
      if (data[pos] == '#')
        while (pos < data.size() && data[pos] != '\n') ++pos;
      else if (std::isspace(data[pos]))
        ++pos;
      else
        break;
    }
    while (pos < data.size() && !std::isspace(data[pos])) t += static_cast<char>(data[pos++]);
    return t;
  };
  const std::string magic = token();
  if (magic != "P4" && magic != "P5") return p;
  p.kind = magic[1];
  p.width = std::stoi(token());
  p.height = std::stoi(token());
  if (p.kind == '5' && token() != "255") return Pnm{};
  ++pos;  // the single whitespace after the header
  p.rowBytes = p.kind == '4' ? (p.width + 7) / 8 : p.width;
  p.pixels.assign(data.begin() + static_cast<long>(pos), data.end());
  if (p.pixels.size() != static_cast<size_t>(p.rowBytes) * p.height) return Pnm{};
  return p;
}

bool run(const std::string &command) {
  return std::system(command.c_str()) == 0;
}

class TransferPages : public ::testing::TestWithParam<int> {
 protected:
  static inline std::string dir;
  static inline bool ready = false;

  static void SetUpTestSuite() {
    char pattern[] = "/tmp/norv_pagesXXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir = pattern;
    const std::string ps = std::string(NORV_TEST_DATA) + "/transfer_page.ps";
    const std::string gs = "gs -q -dNOPAUSE -dBATCH -dSAFER -sPAPERSIZE=letter -dFIXEDMEDIA -r300 ";
    ready = run(gs + "-sDEVICE=pbmraw -sOutputFile=" + dir + "/page.pbm " + ps) &&
            run(gs + "-sDEVICE=pgmraw -sOutputFile=" + dir + "/page.pgm " + ps);
  }
  static void TearDownTestSuite() {
    if (!dir.empty()) run("rm -rf " + dir);
  }
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "Ghostscript could not render the test page";
  }

  Context c{GetParam()};

  Pixr *load(const Pnm &p) {
    const int depth = p.kind == '4' ? 1 : 8;
    Pixr *image = nullptr;
    EXPECT_EQ(pxlCreateImage(c.ctx, p.width, p.height, depth, 300 << 16, 300 << 16, 32, &image), 0);
    for (int y = 0; y < p.height; ++y) {
      uint8_t *row = image->framedData + int64_t{32 + y} * image->bytesPerRow + 4 * depth;
      const uint8_t *in = &p.pixels[static_cast<size_t>(y) * p.rowBytes];
      for (int i = 0; i < p.rowBytes; ++i) row[i ^ 3] = in[i];
    }
    return image;
  }
  // The content rows as file rows; the bits after the last pixel of a 1-bit row are 0 in
  // the files, so the comparison checks the image's row tails as well.
  static Pnm save(Pixr *image) {
    Pnm p;
    p.kind = image->depth == 1 ? '4' : '5';
    p.width = image->width;
    p.height = image->height;
    p.rowBytes = image->depth == 1 ? (p.width + 7) / 8 : p.width;
    for (int y = 0; y < p.height; ++y) {
      const uint8_t *row =
          image->framedData + int64_t{32 + y} * image->bytesPerRow + 4 * image->depth;
      for (int i = 0; i < p.rowBytes; ++i) p.pixels.push_back(row[i ^ 3]);
    }
    return p;
  }
  static Pnm netpbm(const std::string &tool, const std::string &file) {
    const std::string out = dir + "/out.pnm";
    EXPECT_TRUE(run(tool + " " + dir + "/" + file + " > " + out));
    return readPnm(out);
  }
};

INSTANTIATE_TEST_SUITE_P(Units, TransferPages, ::testing::Values(0, 1),
                         [](const auto &info) { return info.param ? "Unit8" : "Unit4"; });

struct Cut {
  int x, y, w, h;
};
// Interior, at the top-left corner, reaching the right and bottom edges, one pixel, a single
// column, and odd offsets that split bytes and words.
std::vector<Cut> cuts(int width, int height) {
  return {{101, 203, 777, 555},           {0, 0, 1000, 40},     {width - 333, height - 17, 333, 17},
          {width - 1, height - 1, 1, 1},  {1234, 0, 1, height}, {7, 1500, width - 7, 3},
          {0, 3000, width, height - 3000}};
}

TEST_P(TransferPages, CropAndExtractEqualPamcut) {
  for (const char *file : {"page.pbm", "page.pgm"}) {
    const Pnm page = readPnm(dir + "/" + file);
    ASSERT_EQ(page.width, 2550);
    ASSERT_EQ(page.height, 3300);
    Pixr *image = load(page);
    for (const Cut &k : cuts(page.width, page.height)) {
      const Pnm expected =
          netpbm("pamcut -left " + std::to_string(k.x) + " -top " + std::to_string(k.y) +
                     " -width " + std::to_string(k.w) + " -height " + std::to_string(k.h),
                 file);
      ASSERT_EQ(expected.width, k.w);
      PxlRect r{nullptr, nullptr, k.x, k.y, k.w, k.h, {0, 0, 0, 0}};
      Pixr *extracted = nullptr;
      ASSERT_EQ(pxlExtractRect(c.ctx, image, &r, &extracted), 0);
      EXPECT_TRUE(save(extracted) == expected) << file << " extract " << k.x << "," << k.y;
      pxlDestroyImage(c.ctx, &extracted);

      Pixr *cropped = load(page);
      ASSERT_EQ(pxlCropImage(c.ctx, k.x, k.y, k.w, k.h, cropped), 0);
      EXPECT_TRUE(save(cropped) == expected) << file << " crop " << k.x << "," << k.y;
      pxlDestroyImage(c.ctx, &cropped);
    }
    pxlDestroyImage(c.ctx, &image);
  }
}

TEST_P(TransferPages, InvertEqualsPnminvert) {
  for (const char *file : {"page.pbm", "page.pgm"}) {
    const Pnm page = readPnm(dir + "/" + file);
    const Pnm expected = netpbm("pnminvert", file);
    Pixr *image = load(page);
    Pixr *inverted = nullptr;
    ASSERT_EQ(pxlInvertImage(c.ctx, image, &inverted), 0);
    EXPECT_TRUE(save(inverted) == expected) << file;
    Pixr *same = image;
    ASSERT_EQ(pxlInvertImage(c.ctx, image, &same), 0);
    EXPECT_TRUE(save(image) == expected) << file << " in place";
    pxlDestroyImage(c.ctx, &inverted);
    pxlDestroyImage(c.ctx, &image);
  }
}

}  // namespace
