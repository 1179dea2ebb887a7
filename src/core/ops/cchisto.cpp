// Runs by grey level (pxlCountComponentsByLevel). Each row is followed with one reference
// level A and a phase: while the values keep moving the same way A follows them; at a turn
// the run that A bounds is counted at the level just past A (polarity 0: bin A - 1 for dark
// runs, polarity 1: bin A + 1 for bright ones), and A keeps the extreme just counted, so a
// one-pixel reversal that returns past A counts once each way and cancels out. The per-level
// changes are then summed into counts (downwards for polarity 0, upwards for 1).
#include "i_xfer.h"
#include "pxl_histogram.h"
#include "pxl_pixr_internal.h"
#include "pxl_thresholds.h"

namespace {

constexpr const char *kUnit = "cchisto";

// Adds the changes of one row of levels (read through level(x)) to the bins (by level).
template <typename Level>
void countRow(int32_t width, Level level, int32_t polarity, int32_t *bin) {
  const int32_t step = polarity == 1 ? 1 : -1;  // the bin just past A
  int32_t a = level(0);
  bool startPhase = true;  // rising for polarity 1, falling for 0
  for (int32_t x = 1; x < width; ++x) {
    const int32_t v = level(x);
    if (v == a) continue;
    const bool along = polarity == 1 ? v > a : v < a;  // the start phase's direction
    if (along == startPhase) {
      a = v;  // the direction continues: A follows
    } else {
      bin[a + step] += startPhase ? -1 : 1;  // a turn: the run bounded by A is counted
      startPhase = !startPhase;
    }
  }
  if (startPhase) bin[a + step] -= 1;
}

}  // namespace

extern "C" int32_t pxlCountComponentsByLevel(PxlContext *ctx, Pixr *grey, int32_t polarity,
                                             int32_t keepRaw, PxlHistogram **histogram) {
  if (histogram == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, grey, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (*histogram != nullptr && ((*histogram)->min != 0 || (*histogram)->max != 255))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  Pixr *main = nullptr;
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, grey, &main));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, main, 0, nullptr, &p));
  PxlHistogram *h = *histogram;
  if (h == nullptr)
    PXL_STEP(ctx, kUnit, pxlCreateHistogramCleared(ctx, 0, 255, 1, &h));
  else
    PXL_STEP(ctx, kUnit, pxlClearHistogram(ctx, h));
  int32_t *bin = h->origin;
  bin[polarity == 1 ? 0 : 255] = p.height;
  for (int32_t y = 0; y < p.height && p.width > 0; ++y) {
    const uint8_t *row = p.framed + int64_t{32 + y} * p.bytesPerRow + 4 * p.depth;
    if (p.depth == 8)
      countRow(
          p.width, [&](int32_t x) { return int32_t{row[x ^ 3]}; }, polarity, bin);
    else
      countRow(
          p.width, [&](int32_t x) { return 16 * ((row[(x >> 1) ^ 3] >> (x & 1 ? 0 : 4)) & 15); },
          polarity, bin);
  }
  if (keepRaw == 0) {
    if (polarity == 1)
      for (int32_t k = 1; k <= 255; ++k) bin[k] += bin[k - 1];
    else
      for (int32_t k = 254; k >= 0; --k) bin[k] += bin[k + 1];
  }
  *histogram = h;
  return 0;
}
