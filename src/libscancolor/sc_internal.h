// The colour-scan segmentation's records and the steps of its find-text pipeline, shared by
// the units of the library: labelling and component measures, the neighbour graph and text
// lines, the two-pass propagation, the background test, joining and background painting.
#ifndef SC_INTERNAL_H
#define SC_INTERNAL_H

#include <cstdint>

#include "pxl_image.h"
#include "qtz_adt.h"
#include "qtz_internal.h"
#include "qtz_sc.h"

// One connected component of the binarised page or of its inverse.
struct QtzSCComponent {
  int32_t pixelCount;
  uint8_t r, g, b;
  int32_t maxX, maxY, minX, minY;
  int32_t centreX, centreY;
  int32_t width, height, maxSide;
  QtzAdtList *neighbours;  // of ScLink, ascending by distance; only while the graph is built
  int32_t complexity;
  int32_t index;
  int32_t text;
  int32_t seedMark;            // placed on a seed's map
  int32_t lineStamp;           // 1 + index of the seed of the line it last joined
  QtzSCTextComponent *output;  // its record while the text components are handed out
};

namespace sc {

// A neighbour link (pool class 0).
struct Link {
  QtzSCComponent *linked;
  float distance;
};

// A marked cell of a distance image: one below the largest int32, so that adding 1 is safe.
inline constexpr int32_t kMarked = 2147483646;

// A rectangle of cells of a map: columns x0 .. x1 - 1, rows y0 .. y1 - 1.
struct Window {
  int32_t x0, y0, x1, y1;
};

// Two-pass city-block propagation over a window of a distance map and a value map with the
// same cell stride: every cell takes the value of the source (distance 0) nearest to it when
// that is nearer than its starting distance. Values are int32 labels or 3-byte colours.
void propagateLabels(int32_t *distance, int32_t *labels, int64_t stride, const Window &w);
void propagateColours(int32_t *distance, uint8_t *rgb, int64_t distanceStride, int64_t rgbStride,
                      int32_t width, int32_t height);

// The label of page pixel (x, y), -1 <= x <= width, -1 <= y <= height.
inline int32_t *labelRow(const QtzImage *labels, int32_t y) {
  return reinterpret_cast<int32_t *>(labels->rows[y]);
}

// Labels the binarised page and its inverse into a new label map; the component count.
int32_t labelComponents(QtzSCState *sc, Pixr *page, QtzImage **labels, int32_t *count);
// Box, centre, size and colour of every component from the label map and working image.
int32_t computeComponentStats(QtzSCState *sc);
// Neighbour lists of similar components (freed by growTextLines or freeNeighbourLists).
int32_t buildNeighbourGraph(QtzSCState *sc);
void freeNeighbourLists(QtzSCState *sc);
// Text flags of the members of accepted text lines.
int32_t growTextLines(QtzSCState *sc);
// Text components of the colour of the background under them stop being text.
int32_t dropBackgroundColoured(QtzSCState *sc);
// Small components next to a text component of its colour become text.
int32_t joinSmallComponents(QtzSCState *sc);
// Paints the text over in the working image with the nearest unmarked colours.
int32_t paintBackground(QtzSCState *sc);

// A distance image of the page: 0, and kMarked on text pixels and their 8 neighbours.
int32_t markText(QtzSCState *sc, int32_t **distance);

// A library image freed at the end of the scope unless released.
class OwnedQtzImage {
 public:
  OwnedQtzImage() = default;
  ~OwnedQtzImage() { QtzImage_free(held_); }
  OwnedQtzImage(const OwnedQtzImage &) = delete;
  OwnedQtzImage &operator=(const OwnedQtzImage &) = delete;
  QtzImage *get() const { return held_; }
  QtzImage **put() {
    QtzImage_free(held_);
    held_ = nullptr;
    return &held_;
  }
  QtzImage *release() {
    QtzImage *held = held_;
    held_ = nullptr;
    return held;
  }

 private:
  QtzImage *held_ = nullptr;
};

inline bool isText(const QtzSCState *sc, int32_t label) {
  return label >= 0 && sc->components[label].text != 0;
}

}  // namespace sc

#endif
