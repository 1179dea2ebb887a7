// The colour-scan segmentation's exported calls: the context and its stages, the default
// options, the find-text pipeline (labelling, working image, measures, neighbour graph, text
// lines, background test, joining) and the getters of the text mask, the text components,
// the grey image and the painted background. QtzSC_process takes the page over on every
// path: it is destroyed exactly once here, also when the call is refused or fails. Images a
// failed QtzSC_process stored stay with the context until QtzSC_endPage, QtzSC_done or the
// next QtzSC_process frees them.
#include <cstring>

#include "pxl_owners_internal.h"
#include "pxl_resconv.h"
#include "qtz_owners_internal.h"
#include "sc_internal.h"

namespace {

using sc::labelRow;

// Pixels of one 8-bit channel row in pixel order, four to a word (most significant first).
void readChannelRow(const Pixr *channel, int32_t y, int32_t width, uint8_t *rgb, int c) {
  const auto *words = reinterpret_cast<const uint32_t *>(
      channel->framedData + int64_t{channel->frame + y} * channel->bytesPerRow + channel->frame);
  for (int32_t x = 0; x < width; x += 4) {
    const uint32_t w = words[x / 4];
    const int32_t n = width - x < 4 ? width - x : 4;
    for (int32_t k = 0; k < n; ++k) rgb[3 * (x + k) + c] = static_cast<uint8_t>(w >> (24 - 8 * k));
  }
}

void writeChannelRow(Pixr *channel, int32_t y, int32_t width, const uint8_t *rgb, int c) {
  auto *words = reinterpret_cast<uint32_t *>(
      channel->framedData + int64_t{channel->frame + y} * channel->bytesPerRow + channel->frame);
  for (int32_t x = 0; x < width; x += 4) {
    uint32_t w = 0;
    const int32_t n = width - x < 4 ? width - x : 4;
    for (int32_t k = 0; k < n; ++k) w |= uint32_t{rgb[3 * (x + k) + c]} << (24 - 8 * k);
    words[x / 4] = w;
  }
}

int32_t buildWorking(QtzSCState *sc, Pixr *page, int32_t channels, QtzImage **out) {
  PxlContext *ctx = sc->state->ipwContext;
  int32_t width = 0, height = 0;
  int32_t status = pxlGetImageWidth(ctx, page, &width);
  if (status == 0) status = pxlGetImageHeight(ctx, page, &height);
  if (status != 0) return status;
  sc::OwnedQtzImage working;
  status = QtzImage_new(sc->state, int32_t{QTZ_IMAGE_RGB} | QTZ_IMAGE_NO_ZERO, width, height,
                        working.put());
  if (status != 0) return status;
  for (int c = 0; c < 3; ++c) {
    Pixr *channel = nullptr;
    if ((status = pxlGetImageChannel(ctx, page, channels == 3 ? c : 0, &channel)) != 0)
      return status;
    for (int32_t y = 0; y < height; ++y)
      readChannelRow(channel, y, width, working.get()->rows[y], c);
  }
  *out = working.release();
  return 0;
}

int32_t roundDpi(int32_t fixed) {
  const int32_t dpi = static_cast<int32_t>((int64_t{fixed} + 0x8000) >> 16);
  return dpi == 0 ? 300 : dpi;
}

void freePage(QtzSCState *sc) {
  qtz::release(sc->state, sc->components);
  sc->components = nullptr;
  sc->componentCount = 0;
  QtzImage_free(sc->working);
  QtzImage_free(sc->labels);
  sc->working = sc->labels = nullptr;
}

int32_t findText(QtzSCState *sc) {
  int32_t status = sc::computeComponentStats(sc);
  if (status != 0) return status;
  if ((status = sc::buildNeighbourGraph(sc)) != 0) {
    sc::freeNeighbourLists(sc);
    return status;
  }
  if ((status = sc::growTextLines(sc)) != 0) return status;
  if ((status = sc::dropBackgroundColoured(sc)) != 0) return status;
  return sc::joinSmallComponents(sc);
}

int32_t refuseOutsideFindText(QtzSCState *sc) {
  if (sc == nullptr) return QTZ_ERR_NULL;
  return sc->stage == QTZ_SC_STAGE_FIND_TEXT ? 0
                                             : qtz::report(sc->state, QTZ_SC_ERR_NOT_FIND_STAGE);
}

}  // namespace

extern "C" {

int32_t QtzSC_init(QtzState *state, QtzSCState **out) {
  if (state == nullptr || out == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *sc = static_cast<QtzSCState *>(qtz::allocateZeroed(state, 1, sizeof(QtzSCState)));
  if (sc == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  sc->state = state;
  *out = sc;
  return 0;
}

int32_t QtzSC_defaultOptions(QtzSCState *sc, int32_t xres, int32_t yres) {
  if (sc == nullptr) return QTZ_ERR_NULL;
  if (sc->stage != QTZ_SC_STAGE_INIT) return qtz::report(sc->state, QTZ_SC_ERR_NOT_INIT_STAGE);
  if (xres <= 0 || yres <= 0) return qtz::report(sc->state, QTZ_ERR_PARAM);
  const int32_t m = xres < yres ? xres : yres;
  const double scale = 60.0 / m;
  QtzSCOptions &o = sc->options;
  o.binarizeParam = 32;
  o.graphScale = static_cast<float>(scale);
  o.sizeFactor = 3.0f;
  o.graphColourTolerance = 100;
  o.propagationRadius = static_cast<int32_t>(scale * m * 0.5);
  o.minSeedSize = static_cast<int32_t>(0.03 * m);
  o.maxSeedSize = m;
  o.lineDistanceFactor = 1.0f;
  o.fitDistanceFactor = 0.5f;
  o.minMembers = 5;
  o.parallelism = 0.99f;
  o.minPixelCount = static_cast<int32_t>(int64_t{xres} * yres / 1500);
  o.maxMeanPixelCount = static_cast<int32_t>(int64_t{xres} * yres / 50);
  o.sizeRatio = 5.0f;
  o.lineColourTolerance = 100;
  o.complexityLimit = 10;
  o.joinScale = static_cast<float>(scale);
  o.backgroundTolerance = 100;
  o.joinSizeRatio = 0.5f;
  o.joinDistanceFactor = 1.0f;
  return 0;
}

int32_t QtzSC_process(QtzSCState *sc, Pixr *page) {
  if (sc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = sc->state;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  pxl::OwnedImage owned(ctx, page);
  if (sc->stage != QTZ_SC_STAGE_INIT) return qtz::report(state, QTZ_SC_ERR_NOT_INIT_STAGE);
  if (page == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  freePage(sc);  // what a failed call before left behind
  int32_t status = pxlValidateImage(ctx, page, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
  int32_t channels = 0, xres = 0, yres = 0;
  if (status == 0) status = pxlGetImageChannelCount(ctx, page, &channels);
  if (status == 0) status = pxlGetImageResolution(ctx, page, &xres, &yres);
  if (status != 0) return status;
  int32_t count = 0;
  if ((status = sc::labelComponents(sc, page, &sc->labels, &count)) != 0) return status;
  if ((status = buildWorking(sc, page, channels, &sc->working)) != 0) return status;
  if (channels == 1) {
    sc->options.graphColourTolerance /= 3;
    sc->options.lineColourTolerance /= 3;
    sc->options.backgroundTolerance /= 3;
  }
  owned.reset();
  sc->xres = roundDpi(xres);
  sc->yres = roundDpi(yres);
  if (count > 0) {
    sc->components = static_cast<QtzSCComponent *>(
        qtz::allocateZeroed(state, static_cast<size_t>(count), sizeof(QtzSCComponent)));
    if (sc->components == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  sc->componentCount = count;
  if ((status = findText(sc)) != 0) return status;
  sc->stage = QTZ_SC_STAGE_FIND_TEXT;
  return 0;
}

int32_t QtzSC_getTextMask(QtzSCState *sc, Pixr **mask) {
  if (int32_t status = refuseOutsideFindText(sc)) return status;
  if (mask == nullptr) return qtz::report(sc->state, QTZ_ERR_PARAM);
  PxlContext *ctx = sc->state->ipwContext;
  const int32_t width = sc->working->hdr.width, height = sc->working->hdr.height;
  pxl::OwnedImage out(ctx);
  int32_t status =
      pxlCreateImage(ctx, width, height, 1, sc->xres << 16, sc->yres << 16, 32, out.put());
  if (status != 0) return status;
  for (int32_t y = 1; y < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    // The frame is one word of a 1-bit row: content word i is word i + 1.
    auto *words =
        reinterpret_cast<uint32_t *>(out->framedData + int64_t{32 + y} * out->bytesPerRow) + 1;
    for (int32_t x0 = 0; x0 < width; x0 += 32) {
      uint32_t word = 0;
      const int32_t end = width - x0 < 32 ? width : x0 + 32;
      for (int32_t x = x0 == 0 ? 1 : x0; x < end; ++x)
        if (sc::isText(sc, labels[x])) word |= 0x80000000u >> (x - x0);
      words[x0 / 32] = word;
    }
  }
  *mask = out.release();
  return 0;
}

int32_t QtzSC_getTextComponents(QtzSCState *sc, QtzSCTextComponent **array, int32_t *count) {
  if (int32_t status = refuseOutsideFindText(sc)) return status;
  QtzState *state = sc->state;
  if (array == nullptr || count == nullptr) return qtz::report(state, QTZ_ERR_PARAM);
  *array = nullptr;
  *count = 0;
  int32_t texts = 0;
  for (int32_t k = 0; k < sc->componentCount; ++k) {
    sc->components[k].output = nullptr;
    texts += sc->components[k].text != 0 ? 1 : 0;
  }
  if (texts == 0) return 0;
  auto *records = static_cast<QtzSCTextComponent *>(
      qtz::allocateZeroed(state, static_cast<size_t>(texts), sizeof(QtzSCTextComponent)));
  if (records == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t made = 0, status = 0;
  for (int32_t k = 0; k < sc->componentCount && status == 0; ++k) {
    QtzSCComponent &c = sc->components[k];
    if (c.text == 0) continue;
    QtzSCTextComponent &r = records[made];
    if ((status = QtzImage_new(state, QTZ_IMAGE_PACKED, c.width, c.height, &r.bitmap)) != 0) break;
    r.x = c.minX;
    r.y = c.minY;
    r.R = c.r;
    r.G = c.g;
    r.B = c.b;
    c.output = &r;
    ++made;
  }
  const int32_t width = sc->working->hdr.width, height = sc->working->hdr.height;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    for (int32_t x = 0; x < width; ++x) {
      const int32_t k = labels[x];
      if (k < 0 || sc->components[k].output == nullptr) continue;
      const QtzSCComponent &c = sc->components[k];
      auto *row = reinterpret_cast<uint32_t *>(c.output->bitmap->rows[y - c.minY]);
      row[(x - c.minX) >> 5] |= 0x80000000u >> ((x - c.minX) & 31);
    }
  }
  *array = records;
  *count = made;
  return status;
}

int32_t QtzSC_getGray(QtzSCState *sc, QtzImage **grey) {
  if (sc == nullptr) return QTZ_ERR_NULL;
  if (grey == nullptr) return qtz::report(sc->state, QTZ_ERR_PARAM);
  *grey = nullptr;
  if (int32_t status = refuseOutsideFindText(sc)) return status;
  const QtzImage *working = sc->working;
  sc::OwnedQtzImage out;
  int32_t status = QtzImage_new(sc->state, int32_t{QTZ_IMAGE_GREY8} | QTZ_IMAGE_NO_ZERO,
                                working->hdr.width, working->hdr.height, out.put());
  if (status != 0) return status;
  for (int32_t y = 0; y < working->hdr.height; ++y)
    for (int32_t x = 0; x < working->hdr.width; ++x)
      out.get()->rows[y][x] = working->rows[y][3 * x + 1];
  *grey = out.release();
  return 0;
}

int32_t QtzSC_getBackground(QtzSCState *sc, int32_t resolution, Pixr **background) {
  if (int32_t status = refuseOutsideFindText(sc)) return status;
  if (background == nullptr) return qtz::report(sc->state, QTZ_ERR_PARAM);
  *background = nullptr;
  PxlContext *ctx = sc->state->ipwContext;
  int32_t status = sc::paintBackground(sc);
  if (status != 0) return status;
  const QtzImage *working = sc->working;
  const int32_t width = working->hdr.width, height = working->hdr.height;
  pxl::OwnedImage full(ctx);
  status = pxlCreateMultiChannelImage(ctx, width, height, 8, sc->xres << 16, sc->yres << 16, 32, 3,
                                      1, nullptr, full.put());
  if (status != 0) return status;
  for (int c = 0; c < 3; ++c)
    for (int32_t y = 0; y < height; ++y)
      writeChannelRow(full->channels[c], y, width, working->rows[y], c);
  if (resolution == sc->xres) {
    *background = full.release();
    return 0;
  }
  Pixr *converted = nullptr;
  if ((status = pxlConvertResolution(ctx, full.get(), sc->xres, resolution, &converted)) != 0)
    return status;
  *background = converted;
  return 0;
}

int32_t QtzSC_endPage(QtzSCState *sc) {
  if (sc == nullptr) return QTZ_ERR_NULL;
  freePage(sc);
  sc->stage = QTZ_SC_STAGE_INIT;
  return 0;
}

int32_t QtzSC_done(QtzSCState *sc) {
  if (sc == nullptr) return 0;
  freePage(sc);
  qtz::release(sc->state, sc);
  return 0;
}

}  // extern "C"
