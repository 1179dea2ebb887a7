// Page binarisation (pxlBinarizeImage): a threshold that varies over the page.
//
// The grey page G is brought to about 100 dpi (K: halved twice above 300 dpi, a third at 250
// to 300, halved at 150 to 249, as it is below). The local contrast of K (the 2x2 maximum
// less the 2x2 minimum, inverted so that 0 is the strongest) is thresholded at the level the
// run counts select (at most 228; a low level is raised towards the dark limit while fewer
// than 1/25 of the pixels lie at or below it), giving the high-contrast areas C at about 50
// dpi. Each area of at most 100 x 100 pixels of C and of an aspect ratio within 8 gets a
// threshold from its strongest edges in K: the low one, or the high one where the two are
// close or where the high one does not break the ink into more dark runs in G and leaves
// less than half the area at or below the low one. These are painted into the 50 dpi map
// T over the areas' own boxes (T has C's scale), spread over the rest of the map from the
// nearest painted pixel (fading with the distance), and areas whose threshold was too bright
// (206 or more) get their low threshold painted over the spread map. G (or G enlarged by 3/2
// or 2 when asked) is then compared with the map: 1 where the grey value reaches it.
//
// On a dark page above 300 dpi (median of K below 170, unless the options say otherwise)
// the grey outside the contrast areas is first replaced by the mean of its eight neighbours.
// A page whose working copy would be under 2 x 2 pixels has no contrast image: status 2.
#include <emmintrin.h>

#include <algorithm>

#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_expand.h"
#include "pxl_fill.h"
#include "pxl_owners_internal.h"
#include "pxl_pages.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_pixrows.h"
#include "pxl_reduce_gray.h"
#include "pxl_rescale.h"
#include "pxl_resconv.h"
#include "pxl_threshold.h"
#include "pxl_thresholds.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "binarize";
constexpr int32_t kLevels = 256;
constexpr int32_t kLevelLimit = 206;  // thresholds from here up are deferred
constexpr int32_t kMaxArea = 100;     // largest area side in contrast pixels

void freeRects(PxlContext *ctx, PxlRect *list) {
  pxlFreeRectList(ctx, &list);
}
using OwnedRects = pxl::Owner<PxlRect, freeRects>;

// Whole dots per inch of a 16.16 resolution, rounded.
int32_t wholeDpi(int32_t resolution) {
  return int32_t((int64_t{resolution} + 32768) >> 16);
}

// The working page K: G at about 100 dpi (null when G itself serves).
int32_t workingPage(PxlContext *ctx, Pixr *g, int32_t dpi, pxl::OwnedImage *k) {
  if (dpi < 150) return 0;
  if (dpi >= 250 && dpi <= 300) return pxlConvertResolution(ctx, g, 300, 100, k->put());
  if (int32_t s = pxlConvertResolution(ctx, g, 200, 100, k->put()); s != 0 || dpi < 250) return s;
  pxl::OwnedImage half(ctx, k->release());
  return pxlPollProgress(ctx) != 0 ? PXL_ERR_ABORT
                                   : pxlConvertResolution(ctx, half.get(), 200, 100, k->put());
}

// Counts of a rectangle of an 8-bit plane (framed coordinates): the pixels at or below the
// low level and, row by row, the dark runs at the low and at the high level (a run starts at
// a row's first pixel below the level or at a pixel below it whose left neighbour is not).
struct RectCounts {
  int64_t atOrBelowLow;
  int64_t runsLow;
  int64_t runsHigh;
};

// Sixteen pixels at a time: 0xFF bytes where a valid pixel lies below the level.
inline __m128i belowLevel(__m128i pixels, __m128i level, __m128i valid) {
  const __m128i atOrAbove = _mm_cmpeq_epi8(_mm_subs_epu8(level, pixels), _mm_setzero_si128());
  return _mm_andnot_si128(atOrAbove, valid);
}

// 0xFF bytes where `below` holds a pixel whose left neighbour in pixel order is not below.
// Pixel order runs from byte 3 down to byte 0 of each word, so a byte's left neighbour is the
// next byte up in its word, or byte 0 of the word before (carried over from the previous
// block for word 0).
inline __m128i runStarts(__m128i below, __m128i *carry) {
  const __m128i lowBytesUp = _mm_slli_epi32(below, 24);
  const __m128i left =
      _mm_or_si128(_mm_or_si128(_mm_srli_epi32(below, 8), _mm_slli_si128(lowBytesUp, 4)), *carry);
  *carry = _mm_srli_si128(lowBytesUp, 12);
  return _mm_andnot_si128(left, below);
}

// Byte counters of 0xFF marks, added up into 64 bits before any byte can overflow.
struct MarkCounter {
  __m128i bytes = _mm_setzero_si128();
  int32_t pending = 0;
  int64_t total = 0;
  void add(__m128i marks) {
    bytes = _mm_sub_epi8(bytes, marks);
    if (++pending == 255) flush();
  }
  void flush() {
    const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
    total += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    bytes = _mm_setzero_si128();
    pending = 0;
  }
};

// low must be below 255 (the caller's levels differ by more than 8).
void countRect(const pxl::xfer::Plane &p, int32_t x, int32_t y, int32_t width, int32_t height,
               int32_t low, int32_t high, RectCounts *out) {
  // Pixel of each byte of a block within the block, and the three levels.
  const __m128i order = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  const __m128i lowLevel = _mm_set1_epi8(char(low)), highLevel = _mm_set1_epi8(char(high));
  const __m128i lowAndOne = _mm_set1_epi8(char(low + 1));
  const int32_t first = x & ~3;
  MarkCounter atOrBelowLow, runsLow, runsHigh;
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t *row = p.framed + int64_t{y + r} * p.bytesPerRow;
    __m128i carryLow = _mm_setzero_si128(), carryHigh = _mm_setzero_si128();
    // The last block may read up to 15 bytes past the rectangle: they lie in the frame.
    for (int32_t block = first; block < x + width; block += 16) {
      const int32_t from = std::clamp(x - block, 0, 16), to = std::clamp(x + width - block, 0, 16);
      const __m128i valid = _mm_and_si128(_mm_cmpgt_epi8(order, _mm_set1_epi8(char(from - 1))),
                                          _mm_cmplt_epi8(order, _mm_set1_epi8(char(to))));
      const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + block));
      runsLow.add(runStarts(belowLevel(pixels, lowLevel, valid), &carryLow));
      runsHigh.add(runStarts(belowLevel(pixels, highLevel, valid), &carryHigh));
      atOrBelowLow.add(belowLevel(pixels, lowAndOne, valid));
    }
  }
  atOrBelowLow.flush();
  runsLow.flush();
  runsHigh.flush();
  *out = {atOrBelowLow.total, runsLow.total, runsHigh.total};
}

// The contrast level: t from the run counts, lowered to 228 or raised towards the dark limit.
int32_t contrastLevel(PxlContext *ctx, Pixr *d, int32_t darkLimit, int32_t *level) {
  int32_t t = 0;
  if (int32_t s = pxlSelectComponentThreshold(ctx, d, 20, 0, &t); s != 0) return s;
  const int32_t limit = std::min(darkLimit, kLevels - 1);
  if (t > kLevels - 28) {
    t = kLevels - 28;
  } else if (t < kLevels - darkLimit && t < limit) {
    uint32_t *counts = nullptr;
    if (int32_t s = pxlPollProgress(ctx); s != 0) return s;
    if (int32_t s = pxlGetGrayHistogram(ctx, d, nullptr, &counts); s != 0) return s;
    pxl::OwnedRecord<uint32_t> held(ctx, counts);
    int64_t total = 0, below = 0;
    for (int32_t v = 0; v < kLevels; ++v) total += counts[v];
    for (int32_t v = 0; v <= t; ++v) below += counts[v];
    while (below < total / 25 && t < limit) below += counts[++t];
  }
  *level = t;
  return 0;
}

// Median of an 8-bit image's pixels: the first level whose running count reaches half.
int32_t medianLevel(PxlContext *ctx, Pixr *k, int32_t *median) {
  uint32_t *counts = nullptr;
  if (int32_t s = pxlGetGrayHistogram(ctx, k, nullptr, &counts); s != 0) return s;
  pxl::OwnedRecord<uint32_t> held(ctx, counts);
  const int64_t half = int64_t{k->width} * k->height / 2;
  int64_t sum = 0;
  int32_t v = 0;
  for (; v < kLevels; ++v) {
    sum += counts[v];
    if (sum >= half) break;
  }
  *median = v;
  return 0;
}

// What the binarisation keeps between its stages.
struct Page {
  PxlContext *ctx;
  Pixr *g;  // the grey page (main channel of the input)
  pxl::xfer::Plane gp;
  Pixr *k;                 // the working page (g or a reduction)
  const int32_t *columns;  // column of K -> column of G (K's width + 1 entries)
  const int32_t *rows;     // row of K -> row of G
};

// The threshold of one contrast area (C's pixels), or -1 when it gets none of its own. Sets
// *deferred to the low threshold when the area's threshold is too bright to paint now.
int32_t areaThreshold(Page &page, const PxlRect &area, int32_t *threshold, int32_t *deferred) {
  *threshold = -1;
  *deferred = 0;
  if (area.width > kMaxArea || area.height > kMaxArea || area.width > 8 * area.height ||
      area.height > 8 * area.width)
    return 0;
  const int32_t kw = page.k->width, kh = page.k->height;
  PxlRect r{};
  r.x = std::clamp(2 * area.x, 0, kw - 1);
  r.y = std::clamp(2 * area.y, 0, kh - 1);
  r.width = std::min(2 * area.width, kw - r.x);
  r.height = std::min(2 * area.height, kh - r.y);
  int32_t low = 0, high = 0;
  if (int32_t s = pxlPollProgress(page.ctx); s != 0) return s;
  if (int32_t s = pxlFindEdgeThresholds(page.ctx, page.k, &r, 1, &low, &high); s != 0) return s;
  int32_t t = high;
  if (high - low > 8) {
    // Decide in G over the area grown by two pixels up and left.
    const int32_t gx = std::max(page.columns[r.x] - 2, 0);
    const int32_t gy = std::max(page.rows[r.y] - 2, 0);
    const int32_t gw =
        std::min(page.columns[r.x + r.width] - page.columns[r.x] + 2, page.gp.width - gx);
    const int32_t gh =
        std::min(page.rows[r.y + r.height] - page.rows[r.y] + 2, page.gp.height - gy);
    RectCounts counts;
    countRect(page.gp, gx + 32, gy + 32, gw, gh, low, high, &counts);
    const int64_t allowed = std::max<int64_t>(counts.runsLow / 8, 2);
    const bool keepHigh =
        counts.runsHigh - counts.runsLow <= allowed && counts.atOrBelowLow < int64_t{gw} * gh / 2;
    t = keepHigh ? high : low;
  }
  if (t >= kLevelLimit)
    *deferred = low;
  else
    *threshold = t;
  return 0;
}

// Scale table: entry i = i * to / from for i = 0 .. from.
int32_t scaleTable(PxlContext *ctx, int32_t from, int32_t to, pxl::OwnedRecord<int32_t> *table) {
  table->reset(static_cast<int32_t *>(pxl::allocRecord(ctx, (size_t(from) + 1) * sizeof(int32_t))));
  if (!*table) return PXL_ERR_NO_MEMORY;
  for (int32_t i = 0; i <= from; ++i) table->get()[i] = int32_t(int64_t{i} * to / from);
  return 0;
}

// The threshold map T (50 dpi) from the contrast areas of C: painted areas, then spread,
// then the deferred areas.
int32_t thresholdMap(Page &page, Pixr *contrast, pxl::OwnedImage *map) {
  PxlContext *ctx = page.ctx;
  OwnedRects areas(ctx);
  PXL_STEP(ctx, kUnit, pxlGetComponentBoxes(ctx, contrast, 2, 2, areas.put()));
  const int32_t kw = page.k->width, kh = page.k->height;
  pxl::OwnedRecord<int32_t> columns(ctx), rows(ctx);
  if (int32_t s = scaleTable(ctx, kw, page.gp.width, &columns); s != 0)
    return PXL_FAIL(ctx, kUnit, s);
  if (int32_t s = scaleTable(ctx, kh, page.gp.height, &rows); s != 0)
    return PXL_FAIL(ctx, kUnit, s);
  page.columns = columns.get();
  page.rows = rows.get();
  pxl::OwnedImage painted(ctx);
  PXL_STEP(ctx, kUnit, pxlCreateImage(ctx, kw / 2, kh / 2, 8, 50 << 16, 50 << 16, 32, map->put()));
  PXL_STEP(ctx, kUnit,
           pxlCreateImage(ctx, kw / 2, kh / 2, 1, 50 << 16, 50 << 16, 32, painted.put()));
  for (PxlRect *a = areas.get(); a != nullptr; a = a->next) {
    a->user[0] = 0;
    int32_t t = -1;
    if (int32_t s = areaThreshold(page, *a, &t, &a->user[0]); s != 0)
      return PXL_FAIL(ctx, kUnit, s);
    if (t < 0) continue;
    const uint8_t value = uint8_t(t), one = 1;
    PXL_STEP(ctx, kUnit, pxlFillRect(ctx, map->get(), a, &value));
    PXL_STEP(ctx, kUnit, pxlFillRect(ctx, painted.get(), a, &one));
  }
  PXL_STEP(ctx, kUnit, pxlFillFromNearest(ctx, painted.get(), 1, map->get()));
  for (PxlRect *a = areas.get(); a != nullptr; a = a->next) {
    if (a->user[0] == 0) continue;
    const uint8_t value = uint8_t(a->user[0]);
    PXL_STEP(ctx, kUnit, pxlFillRect(ctx, map->get(), a, &value));
  }
  return 0;
}

// The grey source of a dark high-resolution page: G inside the contrast areas (E, C
// enlarged four times), the mean of the eight neighbours outside them.
int32_t filteredSource(PxlContext *ctx, Pixr *g, Pixr *enlarged, pxl::OwnedImage *source) {
  pxl::OwnedImage inside(ctx), outside(ctx), sharp(ctx), x(ctx);
  PXL_STEP(ctx, kUnit, pxlRescaleImage(ctx, enlarged, g->width, g->height, inside.put()));
  PXL_STEP(ctx, kUnit, pxlSetImageResolution(ctx, inside.get(), g->xResolution, g->yResolution));
  PXL_STEP(ctx, kUnit, pxlInvertImage(ctx, inside.get(), outside.put()));
  PXL_STEP(ctx, kUnit, pxlSharpenImage(ctx, g, 3, sharp.put()));
  PXL_STEP(ctx, kUnit, pxlGreyBinaryOp(ctx, sharp.get(), inside.get(), PXL_ROP_OR, x.put()));
  PXL_STEP(ctx, kUnit, pxlGreyBinaryOp(ctx, g, outside.get(), PXL_ROP_OR, source->put()));
  PXL_STEP(ctx, kUnit, pxlLogicOp(ctx, x.get(), PXL_LOGIC_OR, source->get()));
  return 0;
}

}  // namespace

extern "C" int32_t pxlBinarizeImage(PxlContext *ctx, Pixr *image, int32_t options,
                                    int32_t darkLimit, Pixr **result) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*result != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  const int32_t size = options & PXL_BINARIZE_SIZE_MASK;
  const bool refine = (options & PXL_BINARIZE_NO_REFINEMENT) == 0;
  if (size > 2) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  Page page{ctx, nullptr, {}, nullptr, nullptr, nullptr};
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, image, &page.g));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, page.g, 0, nullptr, &page.gp));
  const int32_t dpi = std::max(wholeDpi(page.g->xResolution), wholeDpi(page.g->yResolution));

  pxl::OwnedImage reduced(ctx);
  PXL_STEP(ctx, kUnit, workingPage(ctx, page.g, dpi, &reduced));
  page.k = reduced ? reduced.get() : page.g;
  // The contrast image and the map are half the working page: it needs two pixels each way.
  if (page.k->width < 2 || page.k->height < 2) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  // Local contrast, 0 where strongest, and the high-contrast areas.
  pxl::OwnedImage low(ctx), high(ctx), contrast(ctx), areas(ctx), enlarged(ctx);
  PXL_STEP(ctx, kUnit, pxlReduceGrayCascade(ctx, page.k, 1, PXL_GRAY_MIN, 0, 0, 0, low.put()));
  PXL_STEP(ctx, kUnit, pxlReduceGrayCascade(ctx, page.k, 1, PXL_GRAY_MAX, 0, 0, 0, high.put()));
  PXL_STEP(ctx, kUnit, pxlSubtractImagesClamped(ctx, high.get(), low.get(), contrast.put()));
  low.reset();
  high.reset();
  Pixr *inverted = contrast.get();
  PXL_STEP(ctx, kUnit, pxlInvertImage(ctx, contrast.get(), &inverted));
  int32_t level = 0;
  PXL_STEP(ctx, kUnit, contrastLevel(ctx, contrast.get(), darkLimit, &level));
  PXL_STEP(ctx, kUnit,
           pxlThresholdImage(ctx, contrast.get(), 0, level, PXL_RANGE_INSIDE, areas.put()));
  contrast.reset();

  bool dark = false;
  if (dpi > 300 && refine) {
    int32_t median = 0;
    PXL_STEP(ctx, kUnit, medianLevel(ctx, page.k, &median));
    dark = median < 170;
    if (dark) PXL_STEP(ctx, kUnit, pxlExpandImage(ctx, areas.get(), 4, enlarged.put()));
  }

  pxl::OwnedImage map(ctx);
  if (int32_t s = thresholdMap(page, areas.get(), &map); s != 0) return s;
  areas.reset();
  reduced.reset();

  pxl::OwnedImage source(ctx), out(ctx);
  Pixr *grey = page.g;
  if (size != 0) {
    PXL_STEP(
        ctx, kUnit,
        pxlConvertResolution(ctx, page.g, size == 1 ? 200 : 1, size == 1 ? 300 : 2, source.put()));
    grey = source.get();
  } else if (dark) {
    if (int32_t s = filteredSource(ctx, page.g, enlarged.get(), &source); s != 0) return s;
    grey = source.get();
  }
  PXL_STEP(ctx, kUnit, pxlThresholdImageByMap(ctx, grey, map.get(), PXL_RANGE_INSIDE, out.put()));
  *result = out.release();
  return 0;
}
