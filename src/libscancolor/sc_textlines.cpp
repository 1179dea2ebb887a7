// The neighbour graph of similar components and the text lines grown on it.
//
// Graph: for each seed (a component of moderate size not yet placed on a seed's map), every
// component within the seed's colour tolerance and size window is placed at its centre on a
// map of 60 cells per inch; the labels spread on the map by the two-pass propagation up to
// the propagation radius, and components whose areas touch become neighbours (a link each
// way, lists ascending by centre distance). The spreading is done only over the placed
// components' bounding cells widened by the radius: beyond that no label reaches, so every
// seed costs its own neighbourhood, not the page.
//
// Text lines: from each component of enough pixels not yet text, a line starts with its
// nearest neighbour and grows through neighbour links to components of similar size and
// colour whose top-left corners lie near one fitted line and bottom-right corners near
// another. A line of at least the minimum members with a mean pixel count in range is
// accepted and its members become text. Failures: 1 without memory (reported), 10003 for
// pool classes too small for the records (not reported), list statuses (reported).
#include <cmath>
#include <cstdlib>

#include "qtz_owners_internal.h"
#include "sc_internal.h"

namespace sc {
namespace {

constexpr int kLinkClass = 0;
constexpr int kLineClass = 7;

// A growing text line (pool class 7).
struct TextLine {
  int32_t rLow, rHigh, gLow, gHigh, bLow, bHigh;
  int32_t sizeLow, sizeHigh;
  QtzAdtList *members;
  float lineLimit, fitLimit;
  double maxMeanX, maxMeanY, minMeanX, minMeanY;
  double maxDirX, maxDirY, minDirX, minDirY;
  QtzAdtList *minCorners;
  QtzAdtList *maxCorners;
  uint8_t horizontal;
  QtzState *state;
};
static_assert(sizeof(TextLine) <= static_cast<size_t>(qtz::kPoolSize[kLineClass]));

int32_t listFailure(QtzState *state, int32_t status) {
  return qtz::report(state, status == QTZ_ERR_ASSERT ? status : QTZ_ERR_NO_MEMORY);
}

float centreDistance(const QtzSCComponent &a, const QtzSCComponent &b) {
  const float dx = static_cast<float>(a.centreX - b.centreX);
  const float dy = static_cast<float>(a.centreY - b.centreY);
  return std::sqrt(dx * dx + dy * dy);
}

// Inserts a link to q into p's list before the first link whose distance is not smaller.
int32_t insertLinkSorted(QtzState *state, QtzSCComponent *p, QtzSCComponent *q, float distance) {
  Link *link = nullptr;
  int32_t status = qtz::poolTake<kLinkClass>(state, &link);
  if (status != 0) return qtz::report(state, status);
  link->linked = q;
  link->distance = distance;
  QtzAdtListNode *after = nullptr;
  for (QtzAdtListNode *n = p->neighbours->head; n != nullptr; n = n->next) {
    if (static_cast<Link *>(n->data)->distance >= distance) break;
    after = n;
  }
  if ((status = QtzAdt_liAddAfter(p->neighbours, after, link, nullptr)) != 0) {
    qtz::poolGive<kLinkClass>(state, link);
    return listFailure(state, status);
  }
  return 0;
}

bool linked(const QtzSCComponent *p, const QtzSCComponent *q) {
  for (QtzAdtListNode *n = p->neighbours->head; n != nullptr; n = n->next)
    if (static_cast<Link *>(n->data)->linked == q) return true;
  return false;
}

int32_t linkPair(QtzSCState *sc, int32_t a, int32_t b) {
  if (a < 0 || b < 0 || a == b) return 0;
  QtzSCComponent *p = &sc->components[a < b ? a : b];
  QtzSCComponent *q = &sc->components[a < b ? b : a];
  if (linked(p, q)) return 0;
  return insertLinkSorted(sc->state, p, q, centreDistance(*p, *q));
}

bool within(int32_t v, int32_t centre, int32_t tolerance) {
  return v >= centre - tolerance && v <= centre + tolerance;
}

// The reduced maps of the graph, allocated once and cleared per seed over its window.
struct GraphMaps {
  int32_t width, height;
  int32_t *labels;
  int32_t *distance;
};

int32_t linkSeed(QtzSCState *sc, const GraphMaps &maps, const QtzSCComponent &seed) {
  const QtzSCOptions &o = sc->options;
  const double s = o.graphScale;
  const int32_t d = seed.maxSide;
  const int32_t lower = std::max(o.minSeedSize, static_cast<int32_t>(d / o.sizeFactor));
  const int32_t upper = std::min(o.maxSeedSize, static_cast<int32_t>(d * o.sizeFactor));
  const int32_t tol = o.graphColourTolerance;
  auto similar = [&](const QtzSCComponent &c) {
    return within(c.r, seed.r, tol) && within(c.g, seed.g, tol) && within(c.b, seed.b, tol) &&
           c.maxSide >= lower && c.maxSide <= upper;
  };
  // The bounding cells of the placed components.
  Window box{maps.width, maps.height, -1, -1};
  for (int32_t j = 0; j < sc->componentCount; ++j) {
    const QtzSCComponent &c = sc->components[j];
    if (!similar(c)) continue;
    const int32_t cx = static_cast<int32_t>(c.centreX * s),
                  cy = static_cast<int32_t>(c.centreY * s);
    box = Window{std::min(box.x0, cx), std::min(box.y0, cy), std::max(box.x1, cx),
                 std::max(box.y1, cy)};
  }
  if (box.x1 < 0) return 0;
  const int32_t r = std::max(o.propagationRadius, 0);
  const Window w{std::max(0, box.x0 - r), std::max(0, box.y0 - r),
                 static_cast<int32_t>(std::min<int64_t>(maps.width, int64_t{box.x1} + r + 1)),
                 static_cast<int32_t>(std::min<int64_t>(maps.height, int64_t{box.y1} + r + 1))};
  const int64_t stride = maps.width;
  for (int32_t y = w.y0; y < w.y1; ++y)
    for (int32_t x = w.x0; x < w.x1; ++x) {
      maps.labels[y * stride + x] = -1;
      maps.distance[y * stride + x] = r + 1;
    }
  for (int32_t j = 0; j < sc->componentCount; ++j) {
    QtzSCComponent &c = sc->components[j];
    if (!similar(c)) continue;
    const int64_t cell =
        static_cast<int32_t>(c.centreY * s) * stride + static_cast<int32_t>(c.centreX * s);
    maps.labels[cell] = j;
    maps.distance[cell] = 0;
    c.seedMark = 1;
  }
  propagateLabels(maps.distance, maps.labels, stride, w);
  // Pairs across right and lower edges; cells of the map's last row and column start none.
  const int32_t yEnd = std::min(w.y1, maps.height - 1), xEnd = std::min(w.x1, maps.width - 1);
  for (int32_t y = w.y0; y < yEnd; ++y) {
    const int32_t *row = maps.labels + y * stride;
    for (int32_t x = w.x0; x < xEnd; ++x) {
      if (row[x] < 0) continue;
      int32_t status = 0;
      if (x + 1 < w.x1 && (status = linkPair(sc, row[x], row[x + 1])) != 0) return status;
      if (y + 1 < w.y1 && (status = linkPair(sc, row[x], row[x + stride])) != 0) return status;
    }
  }
  return 0;
}

int32_t mirrorLinks(QtzSCState *sc) {
  for (int32_t p = 0; p < sc->componentCount; ++p) {
    QtzSCComponent *cp = &sc->components[p];
    for (QtzAdtListNode *n = cp->neighbours->head; n != nullptr; n = n->next) {
      const Link *link = static_cast<Link *>(n->data);
      if (link->linked->index <= p) continue;
      if (int32_t status = insertLinkSorted(sc->state, link->linked, cp, link->distance))
        return status;
    }
  }
  return 0;
}

// Least-squares direction and mean of the given corners of a list of components.
void fitLine(const QtzAdtList *list, bool maxCorner, double *meanX, double *meanY, double *dirX,
             double *dirY) {
  double mx = 0, my = 0;
  for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
    const auto *c = static_cast<const QtzSCComponent *>(n->data);
    mx += maxCorner ? c->maxX : c->minX;
    my += maxCorner ? c->maxY : c->minY;
  }
  mx /= list->count;
  my /= list->count;
  double sxx = 0, syy = 0, sxy = 0;
  for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
    const auto *c = static_cast<const QtzSCComponent *>(n->data);
    const double dx = (maxCorner ? c->maxX : c->minX) - mx;
    const double dy = (maxCorner ? c->maxY : c->minY) - my;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  const double lambda = (sxx + syy + std::sqrt(4 * sxy * sxy + (syy - sxx) * (syy - sxx))) / 2;
  *meanX = mx;
  *meanY = my;
  if (sxx != lambda || sxy != 0) {
    *dirX = sxy / std::sqrt((sxx - lambda) * (sxx - lambda) + sxy * sxy);
    *dirY = std::sqrt(1 - *dirX * *dirX);
  } else {
    *dirX = 1;
    *dirY = 0;
  }
}

void refitMax(TextLine *line) {
  fitLine(line->maxCorners, true, &line->maxMeanX, &line->maxMeanY, &line->maxDirX, &line->maxDirY);
}
void refitMin(TextLine *line) {
  fitLine(line->minCorners, false, &line->minMeanX, &line->minMeanY, &line->minDirX,
          &line->minDirY);
}

float lineDistance(double px, double py, double mx, double my, double dx, double dy) {
  return static_cast<float>(std::fabs((py - my) * dx - (px - mx) * dy));
}

bool fitsWindows(const TextLine *line, const QtzSCComponent &c) {
  return c.maxSide >= line->sizeLow && c.maxSide <= line->sizeHigh && c.r >= line->rLow &&
         c.r <= line->rHigh && c.g >= line->gLow && c.g <= line->gHigh && c.b >= line->bLow &&
         c.b <= line->bHigh;
}

void freeLine(TextLine *line) {
  if (line->members != nullptr) QtzAdt_liFree(line->members);
  if (line->minCorners != nullptr) QtzAdt_liFree(line->minCorners);
  if (line->maxCorners != nullptr) QtzAdt_liFree(line->maxCorners);
  qtz::poolGive<kLineClass>(line->state, line);
}

struct LineOwner {
  TextLine *line;
  ~LineOwner() {
    if (line != nullptr) freeLine(line);
  }
};

int32_t addMember(TextLine *line, QtzAdtList *list, QtzSCComponent *c) {
  const int32_t status = QtzAdt_liAdd(list, c, nullptr);
  return status == 0 ? 0 : listFailure(line->state, status);
}

int32_t extendLine(TextLine *line, int32_t stamp) {
  for (QtzAdtListNode *m = line->members->head; m != nullptr; m = m->next) {
    const auto *member = static_cast<const QtzSCComponent *>(m->data);
    for (QtzAdtListNode *n = member->neighbours->head; n != nullptr; n = n->next) {
      QtzSCComponent *c = static_cast<Link *>(n->data)->linked;
      if (c->lineStamp == stamp || !fitsWindows(line, *c)) continue;
      const float e = lineDistance(c->maxX, c->maxY, line->maxMeanX, line->maxMeanY, line->maxDirX,
                                   line->maxDirY);
      const float h = lineDistance(c->minX, c->minY, line->minMeanX, line->minMeanY, line->minDirX,
                                   line->minDirY);
      if (std::max(e, h) > line->lineLimit) continue;
      c->lineStamp = stamp;
      int32_t status = addMember(line, line->members, c);
      if (status == 0 && e <= line->fitLimit) {
        status = addMember(line, line->maxCorners, c);
        refitMax(line);
      }
      if (status == 0 && h <= line->fitLimit) {
        status = addMember(line, line->minCorners, c);
        refitMin(line);
      }
      if (status != 0) return status;
    }
  }
  return 0;
}

// Grows a line from the seed; *accepted when its members became text.
int32_t growLine(QtzSCState *sc, QtzSCComponent *seed) {
  QtzState *state = sc->state;
  const QtzSCOptions &o = sc->options;
  if (seed->neighbours->head == nullptr) return 0;
  TextLine *taken = nullptr;
  if (int32_t status = qtz::poolTake<kLineClass>(state, &taken)) return qtz::report(state, status);
  *taken = TextLine{};
  taken->state = state;
  LineOwner owner{taken};
  TextLine *line = taken;
  int32_t status = QtzAdt_liNew(&line->members, state);
  if (status == 0) status = QtzAdt_liNew(&line->minCorners, state);
  if (status == 0) status = QtzAdt_liNew(&line->maxCorners, state);
  if (status != 0) return listFailure(state, status);
  QtzSCComponent *next = static_cast<Link *>(seed->neighbours->head->data)->linked;
  for (QtzSCComponent *c : {seed, next}) {
    if ((status = addMember(line, line->members, c)) != 0 ||
        (status = addMember(line, line->minCorners, c)) != 0 ||
        (status = addMember(line, line->maxCorners, c)) != 0)
      return status;
  }
  refitMax(line);
  refitMin(line);
  if (std::fabs(line->maxDirX * line->minDirX + line->maxDirY * line->minDirY) < o.parallelism)
    return 0;
  line->horizontal = std::fabs(line->maxDirX) > std::fabs(line->maxDirY) ? 1 : 0;
  const int32_t reference = line->horizontal ? seed->height : seed->width;
  line->lineLimit = static_cast<float>(reference) * o.lineDistanceFactor;
  line->fitLimit = static_cast<float>(reference) * o.fitDistanceFactor;
  line->sizeLow = static_cast<int32_t>(static_cast<float>(seed->maxSide) / o.sizeRatio);
  line->sizeHigh = static_cast<int32_t>(static_cast<float>(seed->maxSide) * o.sizeRatio);
  const int32_t tol = o.lineColourTolerance;
  line->rLow = seed->r - tol;
  line->rHigh = seed->r + tol;
  line->gLow = seed->g - tol;
  line->gHigh = seed->g + tol;
  line->bLow = seed->b - tol;
  line->bHigh = seed->b + tol;
  if (!fitsWindows(line, *next)) return 0;
  const int32_t stamp = seed->index + 1;
  seed->lineStamp = next->lineStamp = stamp;
  if ((status = extendLine(line, stamp)) != 0) return status;
  const int32_t members = line->members->count;
  if (members < o.minMembers) return 0;
  int64_t pixels = 0;
  for (QtzAdtListNode *m = line->members->head; m != nullptr; m = m->next)
    pixels += static_cast<const QtzSCComponent *>(m->data)->pixelCount;
  const int64_t mean = pixels / members;
  if (mean < o.minPixelCount || mean > o.maxMeanPixelCount) return 0;
  for (QtzAdtListNode *m = line->members->head; m != nullptr; m = m->next)
    static_cast<QtzSCComponent *>(m->data)->text = 1;
  return 0;
}

}  // namespace

void freeNeighbourLists(QtzSCState *sc) {
  for (int32_t k = 0; k < sc->componentCount; ++k) {
    QtzAdtList *list = sc->components[k].neighbours;
    if (list == nullptr) continue;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next)
      qtz::poolGive<kLinkClass>(sc->state, static_cast<Link *>(n->data));
    QtzAdt_liFree(list);
    sc->components[k].neighbours = nullptr;
  }
}

int32_t buildNeighbourGraph(QtzSCState *sc) {
  QtzState *state = sc->state;
  if (Qtz_getPoolSize(kLinkClass) < static_cast<int32_t>(sizeof(Link))) return QTZ_ERR_ASSERT;
  for (int32_t k = 0; k < sc->componentCount; ++k) {
    sc->components[k].seedMark = 0;
    if (int32_t status = QtzAdt_liNew(&sc->components[k].neighbours, state))
      return listFailure(state, status);
  }
  const double s = sc->options.graphScale;
  GraphMaps maps{static_cast<int32_t>((sc->working->hdr.width - 1) * s) + 1,
                 static_cast<int32_t>((sc->working->hdr.height - 1) * s) + 1, nullptr, nullptr};
  const size_t cells = static_cast<size_t>(maps.width) * static_cast<size_t>(maps.height);
  qtz::OwnedBlock<int32_t> labels(
      state, static_cast<int32_t *>(qtz::allocate(state, cells * sizeof(int32_t))));
  qtz::OwnedBlock<int32_t> distance(
      state, static_cast<int32_t *>(qtz::allocate(state, cells * sizeof(int32_t))));
  if (!labels || !distance) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  maps.labels = labels.get();
  maps.distance = distance.get();
  const QtzSCOptions &o = sc->options;
  for (int32_t i = 0; i < sc->componentCount; ++i) {
    const QtzSCComponent &seed = sc->components[i];
    if (seed.seedMark != 0 || seed.maxSide < o.minSeedSize || seed.maxSide > o.maxSeedSize)
      continue;
    if (int32_t status = linkSeed(sc, maps, seed)) return status;
  }
  return mirrorLinks(sc);
}

int32_t growTextLines(QtzSCState *sc) {
  if (Qtz_getPoolSize(kLineClass) < static_cast<int32_t>(sizeof(TextLine))) {
    freeNeighbourLists(sc);
    return QTZ_ERR_ASSERT;
  }
  for (int32_t k = 0; k < sc->componentCount; ++k) {
    sc->components[k].text = 0;
    sc->components[k].lineStamp = 0;
  }
  int32_t status = 0;
  for (int32_t k = 0; k < sc->componentCount && status == 0; ++k) {
    QtzSCComponent *c = &sc->components[k];
    if (c->text == 0 && c->pixelCount >= sc->options.minPixelCount) status = growLine(sc, c);
  }
  freeNeighbourLists(sc);
  return status;
}

}  // namespace sc
