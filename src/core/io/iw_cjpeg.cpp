// JPEG encoding of core images: the strip entries (start, strip rows, write, finish) over the
// compressor binding, the built-in and caller's quantisation tables, and the whole-image
// entry that codes a framed single-channel image or a three-channel set strip by strip.
// Public entries check their arguments, poll progress before each step of the start and
// report every failure once with this unit's name; library and callback statuses pass
// through unchanged.
#include "iw_cjpeg.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "iw_cjpeg";
constexpr int32_t kMaxSide = 0x8000;

// Built-in quantisation tables, natural (row-major) order, before quality scaling.
constexpr uint16_t kLuma[64] = {16,  24,  28,  32,  36, 40, 52,  72,  24,  24,  28,  32,  36,
                                40,  60,  68,  28,  28, 32, 36,  40,  58,  68,  56,  32,  36,
                                40,  48,  52,  68,  80, 62, 36,  46,  52,  56,  68,  110, 104,
                                78,  40,  52,  56,  68, 82, 104, 114, 92,  52,  64,  68,  88,
                                104, 122, 120, 102, 72, 68, 96,  98,  112, 100, 104, 100};
constexpr uint16_t kChroma[64] = {36,  38,  40,  48,  100, 100, 100, 100, 38,  38,  40,  66,  100,
                                  100, 100, 100, 40,  38,  56,  100, 100, 100, 100, 100, 48,  66,
                                  100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                  100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                  100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100};

bool copiesPixels(int32_t layout) {
  return layout != PXL_JPEG_LAYOUT_DIRECT && layout != PXL_JPEG_LAYOUT_DIRECT_ALT;
}

PxlJpegFeeder feederOf(int32_t layout) {
  switch (layout) {
    case PXL_JPEG_LAYOUT_PLANAR:
      return pxlFeedJpegRowsPlanar;
    case PXL_JPEG_LAYOUT_PLANAR_SWAPPED:
      return pxlFeedJpegRowsPlanarSwapped;
    case PXL_JPEG_LAYOUT_SWAPPED:
      return pxlFeedJpegRowsSwapped;
    case PXL_JPEG_LAYOUT_NIBBLE:
      return pxlFeedJpegRowsNibble;
    case PXL_JPEG_LAYOUT_NIBBLE_SWAPPED:
      return pxlFeedJpegRowsNibbleSwapped;
    default:
      return pxlFeedJpegRowsDirect;
  }
}

// A 16.16 resolution in whole dots per inch, 0 when it is not usable.
int32_t densityOf(int32_t resolution) {
  if (resolution < 0x8000 || resolution > 0x7fff7fff) return 0;
  return (resolution + 0x8000) >> 16;
}

#define JPEG_STEP(ctx, call)                                            \
  do {                                                                  \
    const int32_t step_status_ = (call);                                \
    if (step_status_ != 0) return PXL_FAIL((ctx), kUnit, step_status_); \
  } while (0)

// Steps 3 to 10 of the start, on a compressor whose handles are clear.
int32_t startSteps(PxlContext *ctx, PxlJpegCompressor *c, int32_t width, int32_t height,
                   int32_t components, int32_t quality, int32_t flags, int32_t xDensity,
                   int32_t yDensity, PxlJpegWriteFn write, void *user,
                   const uint16_t *quantTables) {
  JcxCompressObject *o = &c->jcx;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  JPEG_STEP(ctx, jcx_create(ctx, o, width, height, components, quality,
                            flags & PXL_JPEG_PROGRESSIVE, xDensity, yDensity, write, user));
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if ((flags & PXL_JPEG_BUILTIN_QUANT) != 0 ||
      ((flags & PXL_JPEG_CUSTOM_QUANT) != 0 && quantTables != nullptr)) {
    const uint16_t *chroma = quantTables != nullptr ? quantTables + 64 : nullptr;
    JPEG_STEP(ctx, pxlSetJpegQuantTables(ctx, c, quality, flags, quantTables, chroma));
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if ((flags & PXL_JPEG_CIELAB) != 0)
    JPEG_STEP(ctx, jcx_select_cielab(ctx, o));
  else if ((flags & PXL_JPEG_ITULAB) != 0)
    JPEG_STEP(ctx, jcx_select_itulab(ctx, o));
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if ((flags & PXL_JPEG_NO_SUBSAMPLING) != 0)
    JPEG_STEP(ctx, jcx_set_sampling(ctx, o, 1, 1, 1, 1, 1, 1));
  PXL_POLL_OR_RETURN(ctx, kUnit);
  JPEG_STEP(ctx, jcx_start(ctx, o));
  if (c->layout < PXL_JPEG_LAYOUT_DIRECT || c->layout > PXL_JPEG_LAYOUT_NIBBLE_SWAPPED)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  c->copyFlag = copiesPixels(c->layout) ? 1 : 0;
  JPEG_STEP(ctx, pxlAllocJpegRowBuffers(ctx, c, c->copyFlag, &c->rowSets));
  if (c->layout == PXL_JPEG_LAYOUT_PLANAR_SWAPPED || c->layout == PXL_JPEG_LAYOUT_SWAPPED)
    pxlSelectRowConverter(ctx, 0, 2, 0, nullptr, nullptr, &c->wordReverse, nullptr);
  if (c->layout == PXL_JPEG_LAYOUT_NIBBLE || c->layout == PXL_JPEG_LAYOUT_NIBBLE_SWAPPED) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    JPEG_STEP(ctx, pxlBuildNibbleExpandTable(ctx, &c->nibbleTable));
  }
  c->feeder = feederOf(c->layout);
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlStartJpegCompress(PxlContext *ctx, PxlJpegCompressor *c, int32_t width, int32_t height,
                             int32_t components, int32_t quality, int32_t flags, int32_t xDensity,
                             int32_t yDensity, PxlJpegWriteFn write, void *user,
                             const uint16_t *quantTables, int32_t layout) {
  if (width < 1 || width > kMaxSide) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (height < 1 || height > kMaxSide) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (components < 1 || components > 3 || quality < 0 || quality > 100)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (write == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (c == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  c->layout = layout;
  c->nibbleTable = nullptr;
  c->rowSets = nullptr;
  c->copyFlag = 0;
  c->wordReverse = nullptr;
  c->feeder = nullptr;
  return startSteps(ctx, c, width, height, components, quality, flags, xDensity, yDensity, write,
                    user, quantTables);
}

int32_t pxlGetJpegStripRows(PxlContext *, PxlJpegCompressor *c, int32_t *rows) {
  if (rows != nullptr) *rows = c != nullptr ? 8 * c->jcx.cinfo.max_v_samp_factor : 0;
  return PXL_OK;
}

int32_t pxlWriteJpegRows(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels) {
  if (c == nullptr || channels == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (c->feeder == nullptr || c->rowSets == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (const int32_t s = c->feeder(ctx, c, channels); s != 0) return s;  // reported by the feeder
  int32_t rows = 0;
  jcx_strip_rows(ctx, &c->jcx, &rows);
  JPEG_STEP(ctx, jcx_write_rows(ctx, &c->jcx, c->rowSets[0], rows));
  return PXL_OK;
}

int32_t pxlFinishJpegCompress(PxlContext *ctx, PxlJpegCompressor *c) {
  if (c == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (c->rowSets != nullptr) pxlFreeJpegRowBuffers(ctx, c, c->copyFlag, c->rowSets);
  c->rowSets = nullptr;
  pxl::freeRecord(ctx, c->nibbleTable);
  c->nibbleTable = nullptr;
  JPEG_STEP(ctx, jcx_finish(ctx, &c->jcx));
  return PXL_OK;
}

int32_t pxlAbandonJpegCompress(PxlContext *ctx, PxlJpegCompressor *c) {
  if (c == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (c->rowSets != nullptr) pxlFreeJpegRowBuffers(ctx, c, c->copyFlag, c->rowSets);
  c->rowSets = nullptr;
  pxl::freeRecord(ctx, c->nibbleTable);
  c->nibbleTable = nullptr;
  jpeg_destroy_compress(&c->jcx.cinfo);
  pxlFreeJpegErrorMgr(ctx, &c->jcx.cinfo.err);
  return PXL_OK;
}

int32_t pxlSetJpegQuantTables(PxlContext *ctx, PxlJpegCompressor *c, int32_t quality, int32_t flags,
                              const uint16_t *luma, const uint16_t *chroma) {
  if (c == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if ((flags & PXL_JPEG_BUILTIN_QUANT) != 0) {
    luma = kLuma;
    chroma = kChroma;
  } else if ((flags & PXL_JPEG_CUSTOM_QUANT) == 0 || luma == nullptr || chroma == nullptr) {
    return PXL_OK;
  }
  JPEG_STEP(ctx, jcx_set_luma_quant(ctx, &c->jcx, quality, luma));
  JPEG_STEP(ctx, jcx_set_chroma_quant(ctx, &c->jcx, quality, chroma));
  return PXL_OK;
}

int32_t pxlFreeJpegErrorMgr(PxlContext *ctx, struct jpeg_error_mgr **errorMgr) {
  return jcx_free_error_mgr(ctx, errorMgr);
}

}  // extern "C"

namespace {

struct ImageRows {
  int32_t channels = 0;
  uint8_t *next[3] = {};
  int32_t width = 0, height = 0, depth = 0, bytesPerRow = 0, xDensity = 0, yDensity = 0;
};

int32_t describe(PxlContext *ctx, Pixr *image, ImageRows *r) {
  JPEG_STEP(
      ctx, pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  JPEG_STEP(ctx, pxlGetImageChannelCount(ctx, image, &r->channels));
  if (r->channels != 1 && r->channels != 3) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  for (int32_t k = 0; k < r->channels; ++k) {
    Pixr *channel = nullptr;
    JPEG_STEP(ctx, pxlGetImageChannel(ctx, image, k, &channel));
    if (channel == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
    JPEG_STEP(ctx, pxlGetImageData(ctx, channel, &r->next[k]));
  }
  int32_t xRes = 0, yRes = 0;
  JPEG_STEP(ctx, pxlGetImageWidth(ctx, image, &r->width));
  JPEG_STEP(ctx, pxlGetImageHeight(ctx, image, &r->height));
  JPEG_STEP(ctx, pxlGetImageBytesPerRow(ctx, image, &r->bytesPerRow));
  JPEG_STEP(ctx, pxlGetImageResolution(ctx, image, &xRes, &yRes));
  JPEG_STEP(ctx, pxlGetImageDepth(ctx, image, &r->depth));
  r->xDensity = densityOf(xRes);
  r->yDensity = densityOf(yRes);
  if (r->depth != 8 && r->depth != 4) return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  // Channel sets are coded as 8-bit planes; 4-bit planes would be read past their rows.
  if (r->channels == 3 && r->depth != 8) return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  return PXL_OK;
}

int32_t writeStrips(PxlContext *ctx, PxlJpegCompressor *c, ImageRows *r, PxlJpegRowSet *args) {
  int32_t rows = 0;
  pxlGetJpegStripRows(ctx, c, &rows);
  for (int32_t done = 0; done < r->height;) {
    if (r->height - done < rows) rows = r->height - done;
    for (int32_t k = 0; k < r->channels; ++k)
      for (int32_t y = 0; y < rows; ++y) {
        args[k][y] = r->next[k];
        r->next[k] += r->bytesPerRow;
      }
    JPEG_STEP(ctx, pxlWriteJpegRows(ctx, c, args));
    done += rows;
  }
  return PXL_OK;
}

}  // namespace

extern "C" int32_t pxlCompressImageJpeg(PxlContext *ctx, Pixr *image, PxlJpegWriteFn write,
                                        void *user, int32_t quality, int32_t flags) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  ImageRows r;
  if (const int32_t s = describe(ctx, image, &r); s != 0) return s;
  const int32_t layout = r.channels >= 2 ? PXL_JPEG_LAYOUT_PLANAR_SWAPPED
                         : r.depth == 8  ? PXL_JPEG_LAYOUT_SWAPPED
                                         : PXL_JPEG_LAYOUT_NIBBLE_SWAPPED;
  PxlJpegCompressor c{};
  PxlJpegRowSet *args = nullptr;
  int32_t status = pxlStartJpegCompress(ctx, &c, r.width, r.height, r.channels, quality, flags,
                                        r.xDensity, r.yDensity, write, user, nullptr, layout);
  if (status == 0) status = pxlAllocJpegRowBuffers(ctx, &c, 0, &args);
  if (status == 0) status = writeStrips(ctx, &c, &r, args);
  if (args != nullptr) pxlFreeJpegRowBuffers(ctx, &c, 0, args);
  if (status == 0) status = pxlFinishJpegCompress(ctx, &c);
  if (status != 0) {
    pxlAbandonJpegCompress(ctx, &c);
    return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}
