// Components of a colour page and their measures. Labelling binarises the page's grey image,
// finds the 8-connected components of its ink and then of its paper (ink first) and writes
// each component's running index into a label map with a one-pixel border (-2; -1 where no
// component reaches the size limit). The measures are box, centre, size and colour; the
// colour is a mean over the component's pixels in which pixels whose four neighbours belong
// to it too count twice, so that the inside of a stroke outweighs its blurred edge. Failures:
// 118 without a core context or page, 1 without memory, core and image statuses as returned.
#include <climits>

#include "pxl_components.h"
#include "pxl_owners_internal.h"
#include "pxl_pages.h"
#include "pxl_pixops.h"
#include "pxl_transfer.h"
#include "qtz_owners_internal.h"
#include "sc_internal.h"

namespace sc {
namespace {

struct LabelSink {
  QtzImage *labels;
  int32_t next;
};

int32_t writeComponent(PxlContext *, void *user, int32_t, int32_t, int32_t, int32_t, int32_t,
                       int32_t runCount, PxlRunNode *runs) {
  auto *sink = static_cast<LabelSink *>(user);
  if (sink->next == INT32_MAX) return 1;
  const int32_t index = sink->next++;
  for (int32_t i = 0; i < runCount && runs != nullptr; ++i, runs = runs->next) {
    int32_t *row = labelRow(sink->labels, runs->row - 32);
    for (int32_t x = runs->start - 32; x <= runs->end - 32; ++x) row[x] = index;
  }
  return 0;
}

// Fills the map with -1 and its border with -2.
void clearLabels(QtzImage *labels, int32_t width, int32_t height) {
  for (int32_t y = -1; y <= height; ++y) {
    int32_t *row = labelRow(labels, y);
    const bool border = y < 0 || y == height;
    for (int32_t x = -1; x <= width; ++x) row[x] = border ? -2 : -1;
    row[-1] = row[width] = -2;
  }
}

}  // namespace

int32_t labelComponents(QtzSCState *sc, Pixr *page, QtzImage **labels, int32_t *count) {
  QtzState *state = sc->state;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr || page == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  int32_t channels = 0, width = 0, height = 0;
  int32_t status = pxlGetImageChannelCount(ctx, page, &channels);
  if (status == 0) status = pxlGetImageWidth(ctx, page, &width);
  if (status == 0) status = pxlGetImageHeight(ctx, page, &height);
  if (status != 0) return status;
  pxl::OwnedImage grey(ctx);
  if (channels == 3 && (status = pxlRgbToGray(ctx, page, grey.put())) != 0) return status;
  pxl::OwnedImage bilevel(ctx);
  status = pxlBinarizeImage(ctx, channels == 3 ? grey.get() : page, 0, sc->options.binarizeParam,
                            bilevel.put());
  if (status != 0) return status;
  grey.reset();
  OwnedQtzImage map;
  status = QtzImage_newOffset(state, int32_t{QTZ_IMAGE_INT32} | QTZ_IMAGE_NO_ZERO, width + 2,
                              height + 2, -1, -1, map.put());
  if (status != 0) return status;
  clearLabels(map.get(), width, height);
  // The binarised page is 1 on the paper: ink components first, then the paper's.
  LabelSink sink{map.get(), 0};
  const int32_t limit = sc->options.componentSizeLimit;
  for (int pass = 0; pass < 2; ++pass) {
    if ((status = pxlInvertImageInPlace(ctx, bilevel.get())) != 0) return status;
    int32_t stop = 0;
    status =
        pxlFindConnectedComponents(ctx, bilevel->framedData, bilevel->bytesPerRow, 32, 32, width,
                                   height, limit, limit, 1, &sink, writeComponent, &stop);
    if (status == PXL_ERR_CALLBACK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    if (status != 0) return status;
  }
  *labels = map.release();
  *count = sink.next;
  return 0;
}

int32_t computeComponentStats(QtzSCState *sc) {
  QtzState *state = sc->state;
  const int32_t n = sc->componentCount;
  if (n == 0) return 0;
  QtzSCComponent *table = sc->components;
  for (int32_t k = 0; k < n; ++k) {
    table[k] = QtzSCComponent{};
    table[k].minX = table[k].minY = INT32_MAX;
    table[k].index = k;
  }
  // Per component: R, G, B sums and, for the weighted pass, the total weight.
  qtz::OwnedBlock<float> sums(state, static_cast<float *>(qtz::allocateZeroed(
                                         state, 4 * static_cast<size_t>(n), sizeof(float))));
  if (!sums) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  float *sum = sums.get();
  const int32_t width = sc->working->hdr.width, height = sc->working->hdr.height;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    const uint8_t *rgb = sc->working->rows[y];
    for (int32_t x = 0; x < width; ++x) {
      const int32_t k = labels[x];
      if (k < 0) continue;
      QtzSCComponent &c = table[k];
      if (x < c.minX) c.minX = x;
      if (x > c.maxX) c.maxX = x;
      if (y < c.minY) c.minY = y;
      if (y > c.maxY) c.maxY = y;
      ++c.pixelCount;
      float *s = sum + 4 * int64_t{k};
      s[0] += rgb[3 * x];
      s[1] += rgb[3 * x + 1];
      s[2] += rgb[3 * x + 2];
    }
  }
  for (int32_t k = 0; k < n; ++k) {
    QtzSCComponent &c = table[k];
    float *s = sum + 4 * int64_t{k};
    if (c.pixelCount == 0) {  // no pixel on the page: an empty box
      c.minX = c.minY = 0;
    } else {
      c.r = static_cast<uint8_t>(s[0] / static_cast<float>(c.pixelCount));
      c.g = static_cast<uint8_t>(s[1] / static_cast<float>(c.pixelCount));
      c.b = static_cast<uint8_t>(s[2] / static_cast<float>(c.pixelCount));
    }
    c.width = c.maxX - c.minX + 1;
    c.height = c.maxY - c.minY + 1;
    c.maxSide = c.width > c.height ? c.width : c.height;
    c.centreX = c.minX + c.width / 2;
    c.centreY = c.minY + c.height / 2;
    s[0] = s[1] = s[2] = s[3] = 0;
  }
  // Weighted colour over the interior of each box wider and higher than 2: one page pass.
  for (int32_t y = 1; y + 1 < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    const int32_t *above = labelRow(sc->labels, y - 1);
    const int32_t *below = labelRow(sc->labels, y + 1);
    const uint8_t *rgb = sc->working->rows[y];
    for (int32_t x = 1; x + 1 < width; ++x) {
      const int32_t k = labels[x];
      if (k < 0) continue;
      const QtzSCComponent &c = table[k];
      if (c.width <= 2 || c.height <= 2 || x <= c.minX || x >= c.maxX || y <= c.minY || y >= c.maxY)
        continue;
      const bool inside =
          labels[x - 1] == k && labels[x + 1] == k && above[x] == k && below[x] == k;
      const float weight = inside ? 2.0f : 1.0f;
      float *s = sum + 4 * int64_t{k};
      s[0] += weight * rgb[3 * x];
      s[1] += weight * rgb[3 * x + 1];
      s[2] += weight * rgb[3 * x + 2];
      s[3] += weight;
    }
  }
  for (int32_t k = 0; k < n; ++k) {
    const float *s = sum + 4 * int64_t{k};
    if (s[3] <= 0) continue;
    table[k].r = static_cast<uint8_t>(s[0] / s[3]);
    table[k].g = static_cast<uint8_t>(s[1] / s[3]);
    table[k].b = static_cast<uint8_t>(s[2] / s[3]);
  }
  for (int32_t k = 0; k < n; ++k) {
    table[k].complexity = 0;
    if (table[k].complexity > sc->options.complexityLimit) table[k].maxSide = 0;
  }
  return 0;
}

}  // namespace sc
