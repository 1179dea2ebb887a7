// Bringing a reduced 1-bit image back to the size of a 1-bit reference and ANDing it into a
// copy of the reference: out(x, y) = reference(x, y) AND src(x / fx, y / fy).
//
// The factor per axis comes from the source size s and the output size r: 1 when r = s,
// else the first f of 2, 4, 8, 16, 32 with f x s <= r < f x s + f (112 otherwise). Unequal
// factors first enlarge the source along one axis (pxlExpandHeight or pxlExpandWidth) by
// their ratio; the common factor c then decides the pass: c = 1 a rasterop AND, c = 2, 4, 8
// the AND kernel straight into the output, c = 16 and 32 a 2x or 4x enlargement followed by
// the 8x AND kernel. Rows at and below fy x source height keep the reference's pixels; in the
// rows ANDed, columns past fx x source width inside the last word written meet the source's
// zero bits after its last pixel. The output may be the reference itself (ANDed in place);
// otherwise it is made (or checked) and the reference copied into it. Every failure is
// reported once; work images are destroyed, and so is an output this call made.
#include <cstdint>

#include "i_xfer.h"
#include "pxl_expand.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "expand2";

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                          PXL_ACCEPT_FRAME_32);
}

// The factor that takes source size s to size r, or 0 when there is none.
int32_t factorFor(int32_t s, int32_t r) {
  if (r == s) return 1;
  for (int64_t f = 2; f <= 32; f *= 2)
    if (f * s <= r && r < f * s + f) return int32_t(f);
  return 0;
}

// Images this call makes on the way; destroyed whatever happens.
struct WorkImages {
  PxlContext *ctx;
  Pixr *src;
  Pixr *oneAxis = nullptr;   // the source enlarged along one axis
  Pixr *enlarged = nullptr;  // 2x or 4x enlargement for c = 16, 32
  ~WorkImages() {
    if (oneAxis != nullptr) pxlDestroyImage(ctx, &oneAxis);
    if (enlarged != nullptr) pxlDestroyImage(ctx, &enlarged);
  }
  Pixr *common() const { return oneAxis != nullptr ? oneAxis : src; }
};

int32_t andInto(PxlContext *ctx, Pixr *src, Pixr *out, int32_t shortX, int32_t shortY) {
  pxl::xfer::Attrs s, o;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &s));
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, out, &o));
  const int32_t fx = factorFor(s.width, o.width);
  if (fx == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_DIMENSIONS);
  const int32_t fy = factorFor(s.height, o.height);
  if (fy == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_DIMENSIONS);

  WorkImages work{ctx, src};
  if (fy > fx) PXL_STEP(ctx, kUnit, pxlExpandHeight(ctx, src, fy / fx, &work.oneAxis));
  if (fx > fy) PXL_STEP(ctx, kUnit, pxlExpandWidth(ctx, src, fx / fy, &work.oneAxis));
  const int32_t common = fx < fy ? fx : fy;

  pxl::xfer::Plane w, d;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, 0, nullptr, &d));
  if (common == 1) {
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, work.common(), 0, nullptr, &w));
    PXL_STEP(ctx, kUnit,
             pxlRasterOp(ctx, 0, 0, work.common(), PXL_ROP_AND, 0, 0, w.width, w.height, out));
  } else {
    Pixr *from = work.common();
    if (common >= 16) {
      PXL_STEP(ctx, kUnit, pxlExpandImage(ctx, from, common / 8, &work.enlarged));
      from = work.enlarged;
    }
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, from, 0, nullptr, &w));
    const int32_t fw = w.width + 64, fh = w.height + 64;
    if (common == 2)
      PXL_STEP(
          ctx, kUnit,
          pxlExpandAndChannel2x(ctx, d.framed, d.bytesPerRow, w.framed, fw, fh, w.bytesPerRow));
    else if (common == 4)
      PXL_STEP(
          ctx, kUnit,
          pxlExpandAndChannel4x(ctx, d.framed, d.bytesPerRow, w.framed, fw, fh, w.bytesPerRow));
    else
      PXL_STEP(
          ctx, kUnit,
          pxlExpandAndChannel8x(ctx, d.framed, d.bytesPerRow, w.framed, fw, fh, w.bytesPerRow));
  }
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

}  // namespace

extern "C" int32_t pxlExpandBinaryToSize(PxlContext *ctx, Pixr *reference, Pixr *src, Pixr **out) {
  PXL_STEP(ctx, kUnit, validate(ctx, reference));
  PXL_STEP(ctx, kUnit, validate(ctx, src));
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *out));
  pxl::xfer::Attrs r;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, reference, &r));
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, r.width, r.height, 1, r.xResolution, r.yResolution, 32, out,
                                &shortX, &shortY, &created));
  int32_t status = 0;
  if (*out != reference) {
    status = pxlPollProgress(ctx);
    if (status == 0) status = pxlCopyToFramedImage(ctx, reference, out);
    if (status != 0) PXL_FAIL(ctx, kUnit, status);
  }
  if (status == 0) status = andInto(ctx, src, *out, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}
