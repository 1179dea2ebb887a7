// Test support of the component finder: a plain bitmap with a breadth-first flood-fill model
// of its components, components as the finder delivers them (box, area, run count and the
// pixels recovered from the run list by the row rule), framed copies of bitmaps, and the
// real test pages read through libtiff.
#ifndef NORV_COMPONENTS_SUPPORT_H
#define NORV_COMPONENTS_SUPPORT_H

#include <tiffio.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "pxl_components.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace cctest {

struct Bitmap {
  int width = 0, height = 0;
  std::vector<uint8_t> bits;
  Bitmap(int w, int h) : width(w), height(h), bits(size_t(w) * h, 0) {}
  uint8_t &at(int x, int y) { return bits[size_t(y) * width + x]; }
  uint8_t at(int x, int y) const { return bits[size_t(y) * width + x]; }
};

inline Bitmap randomBitmap(int w, int h, double density, std::mt19937 &rng) {
  Bitmap b(w, h);
  std::bernoulli_distribution on(density);
  for (auto &v : b.bits) v = on(rng) ? 1 : 0;
  return b;
}

// (x, y, width, height, area) of a component.
using Box = std::tuple<int, int, int, int, int>;

// Labels (1, 2, ...) of the components of a bitmap by breadth-first flood fill.
struct Labels {
  std::vector<int> label;
  std::vector<Box> boxes;  // boxes[l - 1]
};

inline Labels floodFill(const Bitmap &b, int connectivity) {
  Labels out;
  out.label.assign(b.bits.size(), 0);
  std::deque<std::pair<int, int>> queue;
  for (int y0 = 0; y0 < b.height; ++y0)
    for (int x0 = 0; x0 < b.width; ++x0) {
      if (!b.at(x0, y0) || out.label[size_t(y0) * b.width + x0]) continue;
      const int l = static_cast<int>(out.boxes.size()) + 1;
      int x1 = x0, x2 = x0, y1 = y0, y2 = y0, area = 0;
      out.label[size_t(y0) * b.width + x0] = l;
      queue.emplace_back(x0, y0);
      while (!queue.empty()) {
        auto [x, y] = queue.front();
        queue.pop_front();
        ++area;
        x1 = std::min(x1, x), x2 = std::max(x2, x), y1 = std::min(y1, y), y2 = std::max(y2, y);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            if ((dx == 0 && dy == 0) || (connectivity == 0 && dx != 0 && dy != 0)) continue;
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= b.width || ny >= b.height || !b.at(nx, ny)) continue;
            int &lab = out.label[size_t(ny) * b.width + nx];
            if (lab == 0) {
              lab = l;
              queue.emplace_back(nx, ny);
            }
          }
      }
      out.boxes.emplace_back(x1, y1, x2 - x1 + 1, y2 - y1 + 1, area);
    }
  return out;
}

// A component as delivered, with the pixels its run list covers (decoded by the row rule).
struct Found {
  Box box;
  int runCount = 0;
  std::vector<std::pair<int, int>> pixels;
};

inline std::vector<std::pair<int, int>> decodeRuns(const PxlRunNode *runs, int bottomRow) {
  std::vector<std::pair<int, int>> pixels;
  int row = bottomRow;
  const PxlRunNode *previous = nullptr;
  for (const PxlRunNode *r = runs; r != nullptr; previous = r, r = r->next) {
    if (previous != nullptr && r->end >= previous->start - 1) --row;
    for (int x = r->start; x <= r->end; ++x) pixels.emplace_back(x, row);
  }
  return pixels;
}

inline int32_t collect(PxlContext *, void *user, int32_t xmin, int32_t ymin, int32_t width,
                       int32_t height, int32_t area, int32_t runCount, PxlRunNode *runs) {
  Found f;
  f.box = Box{xmin, ymin, width, height, area};
  f.runCount = runCount;
  f.pixels = decodeRuns(runs, ymin + height - 1);
  static_cast<std::vector<Found> *>(user)->push_back(std::move(f));
  return 0;
}

// Copies a bitmap into the content of a framed 1-bit buffer (frame 32) of the given stride.
inline std::vector<uint32_t> framedWords(const Bitmap &b, int32_t *bytesPerRow) {
  const int wordsPerRow = (b.width + 64 + 31) / 32 + 1;
  *bytesPerRow = 4 * wordsPerRow;
  std::vector<uint32_t> words(size_t(wordsPerRow) * (b.height + 64), 0);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      if (b.at(x, y)) {
        const int bit = x + 32;
        words[size_t(y + 32) * wordsPerRow + bit / 32] |= 0x80000000u >> (bit % 32);
      }
  return words;
}

// Checks found components (in framed coordinates) against the model: the same multiset of
// boxes and areas, and every run list covering exactly its component's pixels.
inline void expectSameComponents(const Bitmap &b, int connectivity, std::vector<Found> found,
                                 const std::string &what) {
  const Labels model = floodFill(b, connectivity);
  std::vector<Box> want = model.boxes, got;
  for (Found &f : found) {
    auto &[x, y, w, h, area] = f.box;
    x -= 32;
    y -= 32;
    got.push_back(f.box);
    ASSERT_EQ(static_cast<size_t>(area), f.pixels.size()) << what;
    int label = -1;
    for (auto [px, py] : f.pixels) {
      const int bx = px - 32, by = py - 32;
      ASSERT_TRUE(bx >= 0 && by >= 0 && bx < b.width && by < b.height) << what;
      const int l = model.label[size_t(by) * b.width + bx];
      ASSERT_NE(0, l) << what << ": run list covers a clear pixel";
      if (label < 0) label = l;
      ASSERT_EQ(label, l) << what << ": run list covers two components";
    }
    if (label > 0) {
      ASSERT_EQ(model.boxes[size_t(label) - 1], f.box) << what;
    }
  }
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  ASSERT_EQ(want, got) << what;
}

// A page of the test data as a bitmap (1 = black), through libtiff.
inline Bitmap readPage(const std::string &name) {
  TIFFSetWarningHandler(nullptr);
  TIFF *tif = TIFFOpen((std::string(NORV_TEST_DATA) + "/" + name).c_str(), "r");
  if (tif == nullptr) return Bitmap(0, 0);
  uint32_t w = 0, h = 0;
  uint16_t photometric = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  Bitmap b(static_cast<int>(w), static_cast<int>(h));
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tif)));
  for (uint32_t y = 0; y < h; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) break;
    for (uint32_t x = 0; x < w; ++x) {
      const int bit = (line[x / 8] >> (7 - x % 8)) & 1;
      b.at(int(x), int(y)) =
          static_cast<uint8_t>(photometric == PHOTOMETRIC_MINISWHITE ? bit : !bit);
    }
  }
  TIFFClose(tif);
  return b;
}

}  // namespace cctest

#endif
