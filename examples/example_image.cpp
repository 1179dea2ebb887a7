// Image descriptor example over the public C API: loads the bundled 1-bit text page
// (<data dir>/sample_text.pbm, raw PBM) into an unframed core image, gives it a 32-pixel
// frame, and writes three Windows bitmaps into <output dir>:
//   image_page.bmp           the page as a 1-bit bitmap (bottom-up rows, white/black palette);
//   image_band_inverted.bmp  the rows of a rectangle (clipped to the page) inverted;
//   image_colour.bmp         a 24-bit bitmap from a red-green-blue channel set: the text in
//                            dark blue over a horizontal warm-to-cool gradient.
// It prints the descriptor's properties on the way. Fails with a message on a missing,
// truncated or oversized file, or on any failing core call.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_dib.h"
#include "pxl_image.h"

namespace {

constexpr int64_t kMaxSide = 1 << 16;
constexpr int32_t kDpi = 300 << 16;

struct Failure {
  std::string what;
};

void check(int32_t status, const char *call) {
  if (status != 0) throw Failure{std::string(call) + " failed: " + pxlStatusText(status)};
}

// Images and contexts released on every path.
struct Images {
  PxlContext *ctx;
  std::vector<Pixr *> owned;
  Pixr *&add() { return owned.emplace_back(nullptr); }
  ~Images() {
    for (Pixr *&img : owned) pxlDestroyImage(ctx, &img);
  }
};

bool readNumber(const std::string &file, size_t &pos, int64_t &value) {
  while (pos < file.size() &&
         (file[pos] == '#' || std::isspace(static_cast<unsigned char>(file[pos])))) {
    if (file[pos] == '#')
      while (pos < file.size() && file[pos] != '\n') ++pos;
    else
      ++pos;
  }
  value = 0;
  size_t digits = 0;
  for (; pos < file.size() && std::isdigit(static_cast<unsigned char>(file[pos])) && digits < 9;
       ++pos, ++digits)
    value = value * 10 + (file[pos] - '0');
  return digits > 0;
}

// Reads a raw PBM into a new unframed 1-bit image: file rows go into the image rows as bytes,
// then every word's bytes are reversed into the core's order and the row tails cleared.
Pixr *readPbm(PxlContext *ctx, const std::string &path, Pixr *&out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{"cannot open " + path};
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t pos = 2;
  int64_t w = 0, h = 0;
  if (file.compare(0, 2, "P4") != 0 || !readNumber(file, pos, w) || !readNumber(file, pos, h) ||
      pos >= file.size())
    throw Failure{path + ": not a raw PBM"};
  ++pos;
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) throw Failure{path + ": bad size"};
  const int64_t fileRow = (w + 7) / 8;
  if (fileRow * h > static_cast<int64_t>(file.size() - pos)) throw Failure{path + ": truncated"};

  check(
      pxlCreateImage(ctx, static_cast<int32_t>(w), static_cast<int32_t>(h), 1, kDpi, kDpi, 0, &out),
      "pxlCreateImage");
  uint8_t *data = nullptr;
  int32_t stride = 0;
  check(pxlGetImageData(ctx, out, &data), "pxlGetImageData");
  check(pxlGetImageBytesPerRow(ctx, out, &stride), "pxlGetImageBytesPerRow");
  for (int64_t y = 0; y < h; ++y)
    file.copy(reinterpret_cast<char *>(data + y * stride), static_cast<size_t>(fileRow),
              pos + static_cast<size_t>(y * fileRow));
  check(pxlSwapRowBytes(ctx, data, stride, static_cast<int32_t>(h)), "pxlSwapRowBytes");
  check(pxlClearRowTails(ctx, data, static_cast<int32_t>(w), static_cast<int32_t>(h), stride, 1),
        "pxlClearRowTails");
  return out;
}

void put(std::string &s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

// Writes bottom-up bitmap rows behind a BMP file header, an info header and the palette.
void writeBmp(const std::string &path, int32_t w, int32_t h, int bits,
              const std::vector<uint8_t> &rows, const std::vector<uint32_t> &palette) {
  const auto offset = static_cast<uint32_t>(54 + 4 * palette.size());
  std::string s = "BM";
  put(s, offset + static_cast<uint32_t>(rows.size()), 4);
  put(s, 0, 4);
  put(s, offset, 4);
  for (uint32_t v : {40u, static_cast<uint32_t>(w), static_cast<uint32_t>(h)}) put(s, v, 4);
  put(s, 1, 2);
  put(s, static_cast<uint32_t>(bits), 2);
  for (uint32_t v : {0u, static_cast<uint32_t>(rows.size()), 11811u, 11811u,
                     static_cast<uint32_t>(palette.size()), 0u})
    put(s, v, 4);
  for (uint32_t bgr : palette) put(s, bgr, 4);
  s.append(rows.begin(), rows.end());
  std::ofstream f(path, std::ios::binary);
  if (!(f << s)) throw Failure{"cannot write " + path};
}

size_t dibSize(int32_t w, int32_t rows, int bits) {
  return static_cast<size_t>((static_cast<int64_t>(w) * bits + 31) / 32 * 4) * rows;
}

int run(const std::string &dataDir, const std::string &outDir) {
  PxlContext *ctx = nullptr;
  check(pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx),
        "pxlCreateContext");
  struct ContextGuard {
    PxlContext *&ctx;
    ~ContextGuard() { pxlDestroyContext(&ctx); }
  } guard{ctx};
  Images images{ctx, {}};
  images.owned.reserve(3);

  Pixr *plain = readPbm(ctx, dataDir + "/sample_text.pbm", images.add());
  int32_t w = 0, h = 0, plainStride = 0;
  check(pxlGetImageWidth(ctx, plain, &w), "pxlGetImageWidth");
  check(pxlGetImageHeight(ctx, plain, &h), "pxlGetImageHeight");
  check(pxlGetImageBytesPerRow(ctx, plain, &plainStride), "pxlGetImageBytesPerRow");
  uint8_t *plainData = nullptr;
  check(pxlGetImageData(ctx, plain, &plainData), "pxlGetImageData");

  // The same page with a 32-pixel frame, as the bitmap copies require.
  Pixr *&page = images.add();
  check(pxlCreateImageNoClear(ctx, w, h, 1, kDpi, kDpi, 32, &page), "pxlCreateImageNoClear");
  uint8_t *framed = nullptr;
  int32_t stride = 0, unit = 0;
  int64_t framedSize = 0;
  check(pxlGetImageFramedData(ctx, page, &framed), "pxlGetImageFramedData");
  check(pxlGetImageBytesPerRow(ctx, page, &stride), "pxlGetImageBytesPerRow");
  check(pxlComputeImageFramedSize(ctx, page, &framedSize), "pxlComputeImageFramedSize");
  check(pxlCopyRowsIntoFrame(ctx, plainData, w, h, 1, plainStride, framed, stride),
        "pxlCopyRowsIntoFrame");
  pxlGetProcessingUnit(ctx, &unit);
  std::printf(
      "page %dx%d, 1 bit: unframed stride %d; framed stride %d, framed size %lld "
      "(%d-byte units)\n",
      w, h, plainStride, stride, static_cast<long long>(framedSize), unit);

  std::vector<uint8_t> rows(dibSize(w, h, 1));
  check(pxlCopyImageToDib(ctx, page, 0, 0, 0, rows.data()), "pxlCopyImageToDib");
  writeBmp(outDir + "/image_page.bmp", w, h, 1, rows, {0xFFFFFF, 0x000000});

  // The rows of a band around the middle text line, clipped to the page, inverted.
  PxlRect band{nullptr, nullptr, 0, h / 2 - 20, w, 40, {}};
  PxlRect *clipped = nullptr;
  check(pxlClipRectToImage(ctx, page, &band, &clipped), "pxlClipRectToImage");
  const int32_t first = clipped->y, count = clipped->height;
  pxlFreeRect(ctx, &clipped);
  std::vector<uint8_t> bandRows(dibSize(w, count, 1));
  check(pxlCopyImageToDib(ctx, page, 1, first, count, bandRows.data()), "pxlCopyImageToDib");
  writeBmp(outDir + "/image_band_inverted.bmp", w, count, 1, bandRows, {0xFFFFFF, 0x000000});

  // A red-green-blue set: dark blue ink on a gradient from warm (left) to cool (right).
  Pixr *&colour = images.add();
  check(pxlCreateMultiChannelImage(ctx, w, h, 8, kDpi, kDpi, 32, 3, 1, nullptr, &colour),
        "pxlCreateMultiChannelImage");
  uint8_t *plane[3];
  int32_t planeStride = 0;
  for (int c = 0; c < 3; ++c) {
    Pixr *channel = nullptr;
    check(pxlGetImageChannel(ctx, colour, c, &channel), "pxlGetImageChannel");
    check(pxlGetImageData(ctx, channel, &plane[c]), "pxlGetImageData");
  }
  check(pxlGetImageBytesPerRow(ctx, colour, &planeStride), "pxlGetImageBytesPerRow");
  const uint8_t ink[3] = {20, 30, 110};
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t *textRow = plainData + static_cast<int64_t>(y) * plainStride;
    for (int32_t x = 0; x < w; ++x) {
      const bool black = (textRow[(x / 8) ^ 3] >> (7 - x % 8)) & 1;  // word order: byte ^ 3
      const int t = 255 * x / (w > 1 ? w - 1 : 1);
      const uint8_t paper[3] = {static_cast<uint8_t>(255 - t / 3), 235,
                                static_cast<uint8_t>(170 + t / 3)};
      for (int c = 0; c < 3; ++c)
        plane[c][(static_cast<int64_t>(y) * planeStride + x) ^ 3] = black ? ink[c] : paper[c];
    }
  }
  std::vector<uint8_t> colourRows(dibSize(w, h, 24));
  check(pxlCopyColorImageToDib(ctx, colour, 0, 0, colourRows.data()), "pxlCopyColorImageToDib");
  writeBmp(outDir + "/image_colour.bmp", w, h, 24, colourRows, {});

  std::printf("wrote %s/image_page.bmp, image_band_inverted.bmp (rows %d..%d), image_colour.bmp\n",
              outDir.c_str(), first, first + count - 1);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <data dir> <output dir>\n", argv[0]);
    return 2;
  }
  try {
    return run(argv[1], argv[2]);
  } catch (const Failure &f) {
    std::fprintf(stderr, "%s\n", f.what.c_str());
    return 1;
  }
}
