// Refining the text set and painting the background. Text pixels are marked with their
// one-pixel rim on a distance image; the colours of the unmarked pixels are spread over the
// marked ones by the two-pass propagation, so each text pixel takes the colour of the
// nearest pixel that is not text. The background test compares each text component's colour
// with the mean of that spread colour under it and drops the text that has the background's
// colour: within the background tolerance, or within a third of the page's contrast (the median
// over the text pixels of their component's largest channel difference from the background)
// where that is smaller, so that ink on darkened paper stays text. Joining places the text
// components' centres on a map of 60 cells per inch, spreads them, and makes a small non-text
// component text (with its neighbour's colour) when it lies within the neighbour's max side, has
// its colour, and is at most the join size ratio of its size (an exact comparison, not a truncated
// quotient). Failures: 1 without memory (reported).
#include <cmath>
#include <cstring>

#include "qtz_owners_internal.h"
#include "sc_internal.h"

namespace sc {
namespace {

// The background test's tolerance is at most this share of the page's contrast.
constexpr int32_t kContrastShare = 3;

bool near(int32_t a, int32_t b, int32_t tolerance) {
  return std::abs(a - b) <= tolerance;
}

}  // namespace

int32_t markText(QtzSCState *sc, int32_t **distance) {
  QtzState *state = sc->state;
  const int32_t width = sc->working->hdr.width, height = sc->working->hdr.height;
  auto *d = static_cast<int32_t *>(qtz::allocateZeroed(
      state, static_cast<size_t>(width) * static_cast<size_t>(height), sizeof(int32_t)));
  if (d == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t y = 1; y + 1 < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    for (int32_t x = 1; x + 1 < width; ++x) {
      if (!isText(sc, labels[x])) continue;
      for (int32_t dy = -1; dy <= 1; ++dy) {
        int32_t *row = d + int64_t{y + dy} * width;
        row[x - 1] = row[x] = row[x + 1] = kMarked;
      }
    }
  }
  *distance = d;
  return 0;
}

int32_t dropBackgroundColoured(QtzSCState *sc) {
  QtzState *state = sc->state;
  const int32_t n = sc->componentCount;
  if (n == 0) return 0;
  const QtzImage *working = sc->working;
  const int32_t width = working->hdr.width, height = working->hdr.height;
  const int64_t stride = working->hdr.bytesPerLine;
  qtz::OwnedBlock<uint8_t> copy(
      state, static_cast<uint8_t *>(qtz::allocate(state, static_cast<size_t>(stride * height))));
  if (!copy) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(copy.get() + y * stride, working->rows[y], static_cast<size_t>(3) * width);
  {
    int32_t *marked = nullptr;
    if (int32_t status = markText(sc, &marked)) return status;
    qtz::OwnedBlock<int32_t> distance(state, marked);
    propagateColours(distance.get(), copy.get(), width, stride, width, height);
  }
  qtz::OwnedBlock<float> sums(state, static_cast<float *>(qtz::allocateZeroed(
                                         state, 3 * static_cast<size_t>(n), sizeof(float))));
  if (!sums) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  float *sum = sums.get();
  for (int32_t y = 0; y < height; ++y) {
    const int32_t *labels = labelRow(sc->labels, y);
    const uint8_t *rgb = copy.get() + y * stride;
    for (int32_t x = 0; x < width; ++x) {
      const int32_t k = labels[x];
      if (!isText(sc, k)) continue;
      float *s = sum + 3 * int64_t{k};
      s[0] += rgb[3 * x];
      s[1] += rgb[3 * x + 1];
      s[2] += rgb[3 * x + 2];
    }
  }
  // Each text component's distance from the background under it: the largest channel
  // difference. The page's contrast is the median of that distance over the text pixels.
  uint64_t pixelsAt[256] = {};
  uint64_t textPixels = 0;
  for (int32_t k = 0; k < n; ++k) {
    QtzSCComponent &c = sc->components[k];
    if (c.text == 0 || c.pixelCount == 0) continue;
    const float count = static_cast<float>(c.pixelCount);
    float *s = sum + 3 * int64_t{k};
    int32_t distance = 0;
    const uint8_t colour[3] = {c.r, c.g, c.b};
    for (int channel = 0; channel < 3; ++channel) {
      s[channel] = static_cast<float>(static_cast<int32_t>(s[channel] / count));  // the mean
      const int32_t d = std::abs(static_cast<int32_t>(s[channel]) - colour[channel]);
      distance = d > distance ? d : distance;
    }
    pixelsAt[distance > 255 ? 255 : distance] += static_cast<uint64_t>(c.pixelCount);
    textPixels += static_cast<uint64_t>(c.pixelCount);
  }
  int32_t contrast = 0;
  for (uint64_t below = 0; contrast < 255 && (below += pixelsAt[contrast]) * 2 < textPixels;)
    ++contrast;
  // Ink on darkened paper lies closer to it than the tolerance: the test then judges by a third
  // of the page's own contrast, which still drops paper-coloured specks inside letters.
  const int32_t option = sc->options.backgroundTolerance;
  const int32_t tol = contrast / kContrastShare < option ? contrast / kContrastShare : option;
  for (int32_t k = 0; k < n; ++k) {
    QtzSCComponent &c = sc->components[k];
    if (c.text == 0 || c.pixelCount == 0) continue;
    const float *s = sum + 3 * int64_t{k};
    if (near(static_cast<int32_t>(s[0]), c.r, tol) && near(static_cast<int32_t>(s[1]), c.g, tol) &&
        near(static_cast<int32_t>(s[2]), c.b, tol))
      c.text = 0;
  }
  return 0;
}

int32_t joinSmallComponents(QtzSCState *sc) {
  QtzState *state = sc->state;
  const QtzSCOptions &o = sc->options;
  const double s = o.joinScale;
  const int32_t mw = static_cast<int32_t>((sc->working->hdr.width - 1) * s) + 1;
  const int32_t mh = static_cast<int32_t>((sc->working->hdr.height - 1) * s) + 1;
  const size_t cells = static_cast<size_t>(mw) * static_cast<size_t>(mh);
  qtz::OwnedBlock<int32_t> labels(
      state, static_cast<int32_t *>(qtz::allocate(state, cells * sizeof(int32_t))));
  qtz::OwnedBlock<int32_t> distance(
      state, static_cast<int32_t *>(qtz::allocate(state, cells * sizeof(int32_t))));
  if (!labels || !distance) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (size_t i = 0; i < cells; ++i) {
    labels.get()[i] = -1;
    distance.get()[i] = kMarked;
  }
  auto cellOf = [&](const QtzSCComponent &c) {
    return int64_t{static_cast<int32_t>(c.centreY * s)} * mw + static_cast<int32_t>(c.centreX * s);
  };
  bool anyText = false;
  for (int32_t i = 0; i < sc->componentCount; ++i) {
    const QtzSCComponent &c = sc->components[i];
    if (c.text == 0) continue;
    labels.get()[cellOf(c)] = i;
    distance.get()[cellOf(c)] = 0;
    anyText = true;
  }
  if (!anyText) return 0;
  propagateLabels(distance.get(), labels.get(), mw, Window{0, 0, mw, mh});
  distance.reset();
  // The map holds only the text set it was made from: new text is never looked up.
  const int32_t tol = o.backgroundTolerance;
  for (int32_t q = 0; q < sc->componentCount; ++q) {
    QtzSCComponent &c = sc->components[q];
    if (c.text != 0 || c.maxSide <= 0) continue;
    const int32_t label = labels.get()[cellOf(c)];
    if (label < 0) continue;
    const QtzSCComponent &t = sc->components[label];
    if (t.maxSide <= 0) continue;
    const double dx = c.centreX - t.centreX, dy = c.centreY - t.centreY;
    if (std::sqrt(dx * dx + dy * dy) > static_cast<double>(t.maxSide) * o.joinDistanceFactor)
      continue;
    if (!near(c.r, t.r, tol) || !near(c.g, t.g, tol) || !near(c.b, t.b, tol)) continue;
    if (static_cast<double>(c.maxSide) > double{o.joinSizeRatio} * t.maxSide) continue;
    c.text = 1;
    c.r = t.r;
    c.g = t.g;
    c.b = t.b;
  }
  return 0;
}

int32_t paintBackground(QtzSCState *sc) {
  int32_t *marked = nullptr;
  if (int32_t status = markText(sc, &marked)) return status;
  qtz::OwnedBlock<int32_t> distance(sc->state, marked);
  QtzImage *working = sc->working;
  propagateColours(distance.get(), working->rows[0], working->hdr.width, working->hdr.bytesPerLine,
                   working->hdr.width, working->hdr.height);
  return 0;
}

}  // namespace sc
