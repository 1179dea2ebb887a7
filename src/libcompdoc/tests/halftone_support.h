// Test support of the halftone units: a fixture with a tracked state and its core contexts,
// pages made at test time (a clustered-dot screened grey ramp beside blocks of text-like
// strokes) or read from the TIFF fixtures, region lists built and released, and a plain model
// of the cell counting and the re-screening.
#ifndef NORV_HALFTONE_SUPPORT_H
#define NORV_HALFTONE_SUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "halftone_internal.h"
#include "pxl_image.h"
#include "qtz_halftone.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_image.h"
#include "testkit_pnm.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace httest {

// A bilevel picture, 1 = black.
struct Bits {
  int width = 0, height = 0;
  std::vector<uint8_t> px;
  Bits() = default;
  Bits(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h) {}
  int get(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : px[static_cast<size_t>(y) * width + x];
  }
  void set(int x, int y, int v) {
    px[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(v);
  }
  void fill(int x0, int y0, int w, int h, int v) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) set(x, y, v);
  }
};

inline norvtest::Pnm toPnm(const Bits &b) {
  norvtest::Pnm p;
  p.kind = '4';
  p.width = b.width;
  p.height = b.height;
  p.raster.assign(static_cast<size_t>(p.rowBytes()) * b.height, 0);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      if (b.get(x, y)) p.row(y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return p;
}

inline Bits fromPnm(const norvtest::Pnm &p) {
  Bits b(p.width, p.height);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) b.set(x, y, (p.row(y)[x / 8] >> (7 - x % 8)) & 1);
  return b;
}

inline Bits fromImage(Pixr *image) {
  Bits b(image->width, image->height);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) b.set(x, y, static_cast<int>(norvtest::pixel(image, x, y)));
  return b;
}

// Clustered-dot screen of period 2 * cell: the grey level g (0 white .. 1 black) blackens the
// pixels of each period x period tile nearest its centre.
inline int screened(double g, int x, int y, int period) {
  const double dx = (x % period) + 0.5 - period / 2.0, dy = (y % period) + 0.5 - period / 2.0;
  const double r = std::sqrt(dx * dx + dy * dy) / (period / std::sqrt(2.0));
  return r < std::sqrt(g) ? 1 : 0;
}

// Blocks of text-like strokes (letters of 3-pixel strokes) in the rectangle.
inline void paintText(Bits &page, int x0, int y0, int w, int h, unsigned seed, int size = 24) {
  std::mt19937 rng(seed);
  for (int y = y0; y + size <= y0 + h; y += size + size / 2)
    for (int x = x0; x + size <= x0 + w; x += size * 3 / 4 + 4) {
      if (rng() % 7 == 0) continue;  // word gaps
      const int w2 = size * 3 / 4;
      switch (rng() % 4) {
        case 0:  // "l"
          page.fill(x + w2 / 2, y, 3, size, 1);
          break;
        case 1:  // "o"
          page.fill(x, y + size / 3, w2, 3, 1);
          page.fill(x, y + size - 3, w2, 3, 1);
          page.fill(x, y + size / 3, 3, size * 2 / 3, 1);
          page.fill(x + w2 - 3, y + size / 3, 3, size * 2 / 3, 1);
          break;
        case 2:  // "n"
          page.fill(x, y + size / 3, w2, 3, 1);
          page.fill(x, y + size / 3, 3, size * 2 / 3, 1);
          page.fill(x + w2 - 3, y + size / 3, 3, size * 2 / 3, 1);
          break;
        default:  // "e"
          page.fill(x, y + size / 3, w2, 3, 1);
          page.fill(x, y + size * 2 / 3, w2, 3, 1);
          page.fill(x, y + size - 3, w2, 3, 1);
          page.fill(x, y + size / 3, 3, size * 2 / 3, 1);
          break;
      }
    }
}

// A grey ramp (light at the left, dark at the right) screened with the period into the box.
inline void paintRamp(Bits &page, int x0, int y0, int w, int h, int period, double from = 0.15,
                      double to = 0.85) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      page.set(x, y, screened(from + (to - from) * (x - x0) / w, x, y, period));
}

// Runs set-up work inside a failure loop's attempt without letting it fail: the armed failure
// moves past the requests it makes.
template <typename Work>
void unfailing(Work work) {
  const long before = norvtest::heap.requests, failAt = norvtest::heap.failAt;
  norvtest::heap.failAt = -1;
  work();
  if (failAt >= 0) norvtest::heap.failAt = failAt + (norvtest::heap.requests - before);
}

struct Box {
  int x, y, width, height;
};

// The region records of a list, in order.
inline std::vector<QtzHalftoneRegion> regionsOf(const QtzAdtList *list) {
  std::vector<QtzHalftoneRegion> out;
  if (list == nullptr) return out;
  for (const QtzAdtListNode *n = list->head; n != nullptr; n = n->next)
    out.push_back(*static_cast<const QtzHalftoneRegion *>(n->data));
  return out;
}

class HalftoneTest : public norvtest::TrackedStateTest {
 protected:
  HalftoneTest() { wantContexts_ = true; }
  void TearDown() override {
    for (Pixr *image : images_) pxlDestroyImage(ctx(), &image);
    images_.clear();
    norvtest::TrackedStateTest::TearDown();
  }
  PxlContext *ctx() const { return state_->ipwContext; }

  // A page image owned by the fixture.
  Pixr *page(const Bits &bits, int dpi) {
    Pixr *image = norvtest::imageFromPnm(ctx(), toPnm(bits), dpi);
    EXPECT_NE(image, nullptr);
    if (image != nullptr) images_.push_back(image);
    return image;
  }
  Pixr *own(Pixr *image) {
    if (image != nullptr) images_.push_back(image);
    return image;
  }

  // A list of region records (freed by freeRegions).
  QtzAdtList *regionList(const std::vector<QtzHalftoneRegion> &records) {
    QtzAdtList *list = nullptr;
    EXPECT_EQ(QtzAdt_liNew(&list, state_), 0);
    for (const QtzHalftoneRegion &r : records) {
      auto *copy = static_cast<QtzHalftoneRegion *>(qtz::allocate(state_, sizeof r));
      *copy = r;
      EXPECT_EQ(QtzAdt_liAdd(list, copy, nullptr), 0);
    }
    return list;
  }
  void freeRegions(QtzAdtList *list) {
    if (list == nullptr) return;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) qtz::release(state_, n->data);
    QtzAdt_liFree(list);
  }
  void freeImages(QtzAdtList *list) {
    if (list == nullptr) return;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
      Pixr *image = static_cast<Pixr *>(n->data);
      pxlDestroyImage(ctx(), &image);
    }
    QtzAdt_liFree(list);
  }

  std::vector<Pixr *> images_;
};

// A page of the TIFF fixtures as bits (tifftopnm); empty when the tool is missing.
inline Bits fixturePage(const std::string &name) {
  norvtest::TempDir dir;
  const std::string out = dir.file("page.pbm");
  norvtest::runTool("tifftopnm " + norvtest::shellQuote(std::string(NORV_TEST_DATA) + "/" + name) +
                    " > " + norvtest::shellQuote(out) + " 2>/dev/null");
  return fromPnm(norvtest::readPnm(out));
}

}  // namespace httest

#endif
