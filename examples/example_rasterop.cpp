// Rasterop example over the public C API: reads the bundled 1-bit text page
// (<data dir>/sample_text.pbm, raw PBM), places it in a framed core buffer, makes its strokes
// bolder by ORing a copy of the page shifted 2 pixels right and 1 down onto it, inverts a
// rectangle around the third text line, and writes the result as
// <output dir>/rasterop_bold_invert.pbm.
//
// PBM rows hold the leftmost pixel in the first byte; core rows hold 32-bit native words with
// the leftmost pixel in the most significant bit, so each word's bytes are reversed on the way
// in and out. Fails with a message on a missing, truncated or oversized file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_rasterop.h"

namespace {

constexpr int32_t kFrame = 32;
constexpr int64_t kMaxSide = 1 << 16;

// A 1-bit raster of 32-bit word rows with a frame of `frame` pixels on every side.
struct Raster {
  int32_t width = 0, height = 0, frame = 0, bytesPerRow = 0;
  std::vector<uint32_t> words;

  Raster(int32_t w, int32_t h, int32_t f) : width(w), height(h), frame(f) {
    bytesPerRow = ((w + 2 * f + 31) / 32) * 4;
    words.assign(static_cast<size_t>(bytesPerRow / 4) * static_cast<size_t>(h + 2 * f), 0);
  }
};

// Copy (or combine with op) the whole content of src into dst at (dx, dy); both are 1-bit.
int32_t rop(PxlContext *ctx, Raster &dst, int32_t dx, int32_t dy, int32_t op, const Raster &src) {
  return pxlRasterOpRaw(ctx, dst.words.data(), dst.width, dst.height, dst.frame, dst.frame, dx, dy,
                        src.width, src.height, 1, dst.bytesPerRow, op, src.words.data(), src.width,
                        src.height, 0, 0, src.frame, src.frame, 1, src.bytesPerRow);
}

bool readToken(const std::string &file, size_t &pos, int64_t &value) {
  while (pos < file.size()) {
    if (file[pos] == '#') {
      while (pos < file.size() && file[pos] != '\n') ++pos;
    } else if (file[pos] == ' ' || file[pos] == '\t' || file[pos] == '\r' || file[pos] == '\n') {
      ++pos;
    } else {
      break;
    }
  }
  value = 0;
  size_t digits = 0;
  for (; pos < file.size() && file[pos] >= '0' && file[pos] <= '9' && digits < 9; ++pos, ++digits)
    value = value * 10 + (file[pos] - '0');
  return digits > 0;
}

// Reads a raw PBM into an unframed raster; returns false with a message on failure.
bool readPbm(PxlContext *ctx, const std::string &path, Raster &out, std::string &error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return error = "cannot open " + path, false;
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 2 || file.compare(0, 2, "P4") != 0)
    return error = path + ": not a raw PBM", false;
  size_t pos = 2;
  int64_t w = 0, h = 0;
  if (!readToken(file, pos, w) || !readToken(file, pos, h) || pos >= file.size())
    return error = path + ": bad header", false;
  ++pos;  // the single whitespace byte before the raster
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return error = path + ": bad size", false;
  const int64_t fileRow = (w + 7) / 8;
  if (fileRow * h > static_cast<int64_t>(file.size() - pos))
    return error = path + ": truncated", false;

  out = Raster(static_cast<int32_t>(w), static_cast<int32_t>(h), 0);
  const int32_t rowWords = out.bytesPerRow / 4;
  std::vector<unsigned char> row(static_cast<size_t>(out.bytesPerRow));
  for (int64_t y = 0; y < h; ++y) {
    std::fill(row.begin(), row.end(), 0);
    file.copy(reinterpret_cast<char *>(row.data()), static_cast<size_t>(fileRow),
              pos + static_cast<size_t>(y * fileRow));
    uint32_t *dst = &out.words[static_cast<size_t>(y) * rowWords];
    std::copy_n(row.data(), row.size(), reinterpret_cast<unsigned char *>(dst));
    pxlReverseWordBytes(ctx, dst, dst, rowWords);
  }
  // Bits past the last pixel of a row are file padding: clear them, the whole strip at once.
  const int32_t tail = out.bytesPerRow * 8 - out.width;
  pxlRasterOpRaw(ctx, out.words.data(), out.width + tail, out.height, 0, 0, out.width, 0, tail,
                 out.height, 1, out.bytesPerRow, PXL_ROP_CLEAR, nullptr, 0, 0, 0, 0, 0, 0, 0, 0);
  return true;
}

bool writePbm(PxlContext *ctx, const std::string &path, const Raster &framed) {
  Raster plain(framed.width, framed.height, 0);
  if (rop(ctx, plain, 0, 0, PXL_ROP_COPY, framed) != 0) return false;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "P4\n%d %d\n", plain.width, plain.height);
  const int32_t rowWords = plain.bytesPerRow / 4;
  const size_t fileRow = static_cast<size_t>(plain.width + 7) / 8;
  std::vector<uint32_t> row(static_cast<size_t>(rowWords));
  bool ok = true;
  for (int32_t y = 0; y < plain.height && ok; ++y) {
    pxlReverseWordBytes(ctx, &plain.words[static_cast<size_t>(y) * rowWords], row.data(), rowWords);
    ok = std::fwrite(row.data(), 1, fileRow, f) == fileRow;
  }
  return std::fclose(f) == 0 && ok;
}

int64_t countSet(const Raster &r) {
  int64_t n = 0;
  for (uint32_t w : r.words) n += __builtin_popcount(w);
  return n;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <data dir> <output dir>\n", argv[0]);
    return 2;
  }
  const std::string input = std::string(argv[1]) + "/sample_text.pbm";
  const std::string output = std::string(argv[2]) + "/rasterop_bold_invert.pbm";

  PxlContext *ctx = nullptr;
  if (pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx) != 0) {
    std::fprintf(stderr, "cannot create a context\n");
    return 1;
  }
  Raster page(0, 0, 0);
  std::string error;
  int status = 0;
  if (!readPbm(ctx, input, page, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    status = 1;
  } else {
    // The page in a framed buffer, then a copy shifted right and down ORed onto it (the frame
    // is not written: clipping keeps to the content), then a rectangle inverted.
    Raster framed(page.width, page.height, kFrame);
    const int32_t boxX = 8, boxY = 86, boxW = 272, boxH = 28;
    int32_t rc = rop(ctx, framed, 0, 0, PXL_ROP_COPY, page);
    const int64_t before = countSet(framed);
    if (rc == 0) rc = rop(ctx, framed, 2, 1, PXL_ROP_OR, page);
    const int64_t bold = countSet(framed);
    if (rc == 0)
      rc = pxlRasterOpRaw(ctx, framed.words.data(), framed.width, framed.height, kFrame, kFrame,
                          boxX, boxY, boxW, boxH, 1, framed.bytesPerRow, PXL_ROP_NOT_D, nullptr, 0,
                          0, 0, 0, 0, 0, 0, 0);
    if (rc != 0 || !writePbm(ctx, output, framed)) {
      std::fprintf(stderr, "rasterop failed (status %d) or %s not written\n", rc, output.c_str());
      status = 1;
    } else {
      std::printf(
          "%s: %dx%d page, %lld black pixels; OR of a copy shifted by (2,1) makes %lld; "
          "inverted %dx%d at (%d,%d) -> %s\n",
          input.c_str(), page.width, page.height, static_cast<long long>(before),
          static_cast<long long>(bold), boxW, boxH, boxX, boxY, output.c_str());
    }
  }
  pxlDestroyContext(&ctx);
  return status;
}
