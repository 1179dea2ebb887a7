// Threshold measures: the window-minimum sums of a histogram (a left and a right pass, each
// following links to the nearest bin on its side that is not higher, so that every bin costs
// amortised constant time) and the threshold of the strongest local contrast of an 8-bit
// rectangle (every pixel paired with its right and three lower neighbours inside it).
#include <algorithm>
#include <cstdlib>

#include "pxl_curves.h"
#include "pxl_internal.h"

namespace {

// One side's sums over bins 0 .. n - 1, walking by `step` (+1 from bin 0, -1 from bin n - 1);
// the bin before the first is the sentinel (height 0, sum 0). Links hold bin indices.
void sideSums(const int32_t *h, int32_t n, int32_t step, bool weighted, int64_t *sums,
              int32_t *links) {
  const int32_t first = step > 0 ? 0 : n - 1, sentinel = first - step;
  auto H = [&](int32_t i) { return i == sentinel ? 0 : h[i]; };
  auto S = [&](int32_t i) { return i == sentinel ? int64_t{0} : sums[i]; };
  auto link = [&](int32_t i) { return i == sentinel ? sentinel : links[i]; };
  for (int32_t i = first; i >= 0 && i < n; i += step) {
    const int32_t before = i - step;
    if (H(before) < h[i]) {
      sums[i] = S(before) + h[i];
      links[i] = before;
    } else if (H(before) == h[i]) {
      links[i] = link(before);
      sums[i] = S(before) + (weighted && links[i] == sentinel ? 2 * int64_t{h[i]} : h[i]);
    } else {
      int32_t q = link(before);
      while (q != sentinel && h[q] > h[i]) q = links[q];
      links[i] = q;
      const int64_t span = int64_t{h[i]} * ((i - q) * step);
      sums[i] = q == sentinel ? span * (weighted ? 4 : 1) : span + sums[q];
    }
  }
}

}  // namespace

extern "C" {

int32_t pxlHistogramWindowSums(PxlContext *ctx, int32_t *histogram, int32_t bins, int32_t mode,
                               int32_t *out) {
  const auto n = static_cast<int16_t>(bins), m = static_cast<int16_t>(mode);
  if (n <= 0 || (m != 0 && m != 1) || out == histogram || histogram == nullptr || out == nullptr)
    return PXL_ERR_PARAM;
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  histogram[-1] = histogram[n] = 0;
  out[-1] = 0;
  auto *left = static_cast<int64_t *>(pxl::allocRecord(ctx, 2 * size_t(n) * sizeof(int64_t)));
  auto *links = static_cast<int32_t *>(pxl::allocRecord(ctx, size_t(n) * sizeof(int32_t)));
  if (left == nullptr || links == nullptr) {
    pxl::freeRecord(ctx, left);
    pxl::freeRecord(ctx, links);
    return PXL_ERR_NO_MEMORY;
  }
  int64_t *right = left + n;
  sideSums(histogram, n, 1, m == 0, left, links);
  sideSums(histogram, n, -1, m == 0, right, links);
  for (int32_t i = 0; i < n; ++i) out[i] = static_cast<int32_t>(left[i] + right[i] - histogram[i]);
  pxl::freeRecord(ctx, left);
  pxl::freeRecord(ctx, links);
  return 0;
}

int32_t pxlContrastThreshold(PxlContext *, const uint8_t *data, int32_t bytesPerRow, int32_t x,
                             int32_t y, int32_t width, int32_t rows, int32_t minContrast,
                             int32_t *threshold, int32_t *adjusted) {
  *threshold = *adjusted = 0;
  if (width <= 0 || rows < 2) return 0;
  auto px = [&](int32_t c, int32_t r) { return int32_t{data[int64_t{r} * bytesPerRow + (c ^ 3)]}; };
  int32_t best = 0;
  int64_t sum = 0, count = 0, total = 0;
  auto pair = [&](int32_t a, int32_t b) {
    if (a == b) return;
    const int32_t c = std::abs(a - b);
    if (c > best) {
      best = c;
      sum = a + b;
      count = 1;
    } else if (c == best) {
      sum += a + b;
      ++count;
    }
  };
  const int32_t last = x + width - 1;
  for (int32_t r = y; r < y + rows - 1; ++r)
    for (int32_t c = x; c <= last; ++c) {
      const int32_t p = px(c, r);
      total += p;
      if (c < last) pair(p, px(c + 1, r));
      if (c > x) pair(p, px(c - 1, r + 1));
      pair(p, px(c, r + 1));
      if (c < last) pair(p, px(c + 1, r + 1));
    }
  if (count == 0 || best < minContrast) return 0;
  const auto t = static_cast<int32_t>(sum / (2 * count));
  const auto mean = static_cast<int32_t>(total / (int64_t{width} * (rows - 1)));
  *threshold = t;
  *adjusted = t < mean ? std::min(t + best / 6, mean) : t;
  return 0;
}

}  // extern "C"
