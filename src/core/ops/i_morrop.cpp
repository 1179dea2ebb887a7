// The rasterop path of the morphology runners, for elements without a compiled routine.
//
// Cells are visited row by row, left to right. A cell (c, r) with dx = c - ox, dy = r - oy
// moves a (W - |dx|) x (H - |dy|) rectangle of the source; the band of |dx| columns and |dy|
// rows it leaves uncovered has no source pixel (source 0). Dilation (members): the
// rectangle goes from (max(-dx, 0), max(-dy, 0)) to (max(dx, 0), max(dy, 0)); the first
// member copies it (op 25) and clears its bands (columns at the left when dx >= 1, else at
// the right; rows at the top when dy >= 1, else at the bottom), later members OR it (op 29).
// Erosion: the rectangle goes from (max(dx, 0), max(dy, 0)) to (max(-dx, 0), max(-dy, 0));
// the first hit copies (25) and clears its bands (columns at the right when dx >= 0, else at
// the left; rows at the bottom when dy >= 0, else at the top), later hits AND (17) and clear
// their bands alike; the first miss copies the complement (7) and sets its bands (31), later
// misses AND the complement (5) and leave their bands. A shift as large as the content
// leaves only the band. Without a cell to act on the content is cleared (dilation) or set
// (erosion). All rasterops are unclipped, on the content origins; their statuses are
// ignored, as every rectangle lies inside the content. The bits after each row's last pixel
// are cleared at the end, as the compiled path leaves them.
#include <algorithm>
#include <cstdlib>

#include "i_morrop.h"
#include "pxl_image.h"
#include "pxl_rasterop.h"

namespace pxl::morph {
namespace {

constexpr int32_t kNoClip = PXL_ROP_NOCLIP;

struct Target {
  PxlContext *ctx;
  uint8_t *dst;
  const uint8_t *src;
  int32_t width, height, srcBpr, dstBpr;

  void apply(PxlRopCode op, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
             int32_t sy) const {
    if (w <= 0 || h <= 0) return;
    pxlRasterOpRaw(ctx, dst, width, height, 0, 0, dx, dy, w, h, 1, dstBpr, op | kNoClip, src, width,
                   height, sx, sy, 0, 0, 1, srcBpr);
  }
  void fill(PxlRopCode op, int32_t x, int32_t y, int32_t w, int32_t h) const {
    if (w <= 0 || h <= 0) return;
    pxlRasterOpRaw(ctx, dst, width, height, 0, 0, x, y, w, h, 1, dstBpr, op | kNoClip, nullptr, 0,
                   0, 0, 0, 0, 0, 1, 0);
  }
  // The column band (at the left or right) and the row band (top or bottom) of a shift.
  void bands(PxlRopCode op, int32_t ax, bool left, int32_t ay, bool top) const {
    fill(op, left ? 0 : width - ax, 0, ax, height);
    fill(op, 0, top ? 0 : height - ay, width, ay);
  }
};

}  // namespace

int32_t runRasterops(PxlContext *ctx, bool erode, uint8_t *dst, const uint8_t *src, int32_t width,
                     int32_t height, int32_t srcBpr, int32_t dstBpr, int32_t elementWidth,
                     int32_t elementHeight, int32_t ox, int32_t oy, const uint8_t *cells) {
  const Target t{ctx, dst, src, width, height, srcBpr, dstBpr};
  bool first = true;
  for (int32_t r = 0; r < elementHeight; ++r)
    for (int32_t c = 0; c < elementWidth; ++c) {
      const uint8_t cell = cells[int64_t{r} * elementWidth + c];
      if (cell != 1 && !(erode && cell == 2)) continue;
      const int64_t dx = int64_t{c} - ox, dy = int64_t{r} - oy;
      const auto ax = static_cast<int32_t>(std::min<int64_t>(std::abs(dx), width));
      const auto ay = static_cast<int32_t>(std::min<int64_t>(std::abs(dy), height));
      const int32_t w = width - ax, h = height - ay;
      // Source and destination corners of the moved rectangle.
      const int32_t lowX = dx > 0 ? ax : 0, lowY = dy > 0 ? ay : 0;
      const int32_t highX = dx < 0 ? ax : 0, highY = dy < 0 ? ay : 0;
      if (!erode) {
        t.apply(first ? PXL_ROP_COPY : PXL_ROP_OR, lowX, lowY, w, h, highX, highY);
        if (first) t.bands(PXL_ROP_CLEAR, ax, dx >= 1, ay, dy >= 1);
      } else if (cell == 1) {
        t.apply(first ? PXL_ROP_COPY : PXL_ROP_AND, highX, highY, w, h, lowX, lowY);
        t.bands(PXL_ROP_CLEAR, ax, dx < 0, ay, dy < 0);
      } else {
        t.apply(first ? PXL_ROP_NOT_S : PXL_ROP_D_AND_NOT_S, highX, highY, w, h, lowX, lowY);
        if (first) t.bands(PXL_ROP_SET, ax, dx < 0, ay, dy < 0);
      }
      first = false;
    }
  if (first) t.fill(erode ? PXL_ROP_SET : PXL_ROP_CLEAR, 0, 0, width, height);
  return pxlClearRowTails(ctx, dst, width, height, dstBpr, 1);
}

}  // namespace pxl::morph
