// Synthetic scans for the page analysis tests: a page rendered by Ghostscript as a 1-bit ink
// mask, laid as dark ink on paper that runs as a grey ramp across the page, under an uneven
// illumination (darker towards one corner) and with noise, as an 8-bit grey page or as a
// three-plane colour page whose main plane is that grey page. Text lines are found on the
// mask as bands of rows holding ink.
#ifndef NORV_OPS_SCAN_SUPPORT_H
#define NORV_OPS_SCAN_SUPPORT_H

#include <algorithm>
#include <random>
#include <vector>

#include "page_support.h"
#include "pxl_image.h"

namespace scantest {

using norvtest::Pnm;

struct Scan {
  int paperLeft = 150;  // paper grey at the left and the right edge
  int paperRight = 235;
  int ink = 35;
  double shade = 0.3;  // illumination loss at the far corner
  int noise = 12;      // noise amplitude (uniform, both ways)
};

inline bool inked(const Pnm &mask, int x, int y) {
  return pagetest::pnmSample(mask, x, y) != 0;
}

// Grey value of the scan at (x, y) of a w x h page.
inline int scanValue(const Scan &s, bool ink, int x, int y, int w, int h, std::mt19937 &rng) {
  const double u = double(x) / w, v = double(y) / h;
  const double light = 1.0 - s.shade * ((1 - u) * (1 - u) + v * v) / 2;
  const double base = ink ? s.ink : s.paperLeft + (s.paperRight - s.paperLeft) * u;
  const int noise = int(rng() % (2 * s.noise + 1)) - s.noise;
  return std::clamp(int(base * light) + noise, 0, 255);
}

// The scan of the mask as a framed 8-bit page (channels 1) or a colour page of three 8-bit
// planes (channels 3, colour code 1: plane 1 is the grey page, the others tint it).
inline Pixr *scanOf(PxlContext *ctx, const Pnm &mask, int dpi, int channels, const Scan &s = {},
                    unsigned seed = 7) {
  Pixr *page = nullptr;
  EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, mask.width, mask.height, 8, dpi << 16, dpi << 16, 32,
                                          channels, channels > 1 ? 1 : 5, nullptr, &page));
  if (page == nullptr) return nullptr;
  std::mt19937 rng(seed);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      const int g = scanValue(s, inked(mask, x, y), x, y, mask.width, mask.height, rng);
      if (channels == 1) {
        pagetest::setPixel(page, x, y, uint32_t(g));
        continue;
      }
      pagetest::setPixel(page->channels[0], x, y, uint32_t(std::min(255, g + 18)));
      pagetest::setPixel(page->channels[1], x, y, uint32_t(g));
      pagetest::setPixel(page->channels[2], x, y, uint32_t(g * 4 / 5));
    }
  return page;
}

// A text line: rows top .. bottom (inclusive) holding ink, columns left .. right.
struct Line {
  int top, bottom, left, right;
};

inline std::vector<Line> textLines(const Pnm &mask) {
  std::vector<Line> lines;
  bool open = false;
  for (int y = 0; y <= mask.height; ++y) {
    int left = mask.width, right = -1;
    if (y < mask.height)
      for (int x = 0; x < mask.width; ++x)
        if (inked(mask, x, y)) {
          left = std::min(left, x);
          right = x;
        }
    if (right >= 0 && !open) lines.push_back({y, y, left, right});
    if (right >= 0) {
      Line &l = lines.back();
      l.bottom = y;
      l.left = std::min(l.left, left);
      l.right = std::max(l.right, right);
    }
    open = right >= 0;
  }
  return lines;
}

}  // namespace scantest

#endif
