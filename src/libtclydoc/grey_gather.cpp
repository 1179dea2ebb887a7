// Gathering the grey patches of a colour page's tokens into their classes' accumulators.
//
// A member at (x, top y) of w x h pixels is read through a window: the member's box, grown
// by 6 pixels on every side when the grown window lies wholly inside the grey image (a token
// near an edge is read without the margin). The class template, padded by 12 pixels, is
// centred on the window:
// - polarity: the mean grey under the template's ink against the mean of the other window
//   pixels (both counts start at 1); values are used as 255 - v unless the background is the
//   darker, so that ink always has the higher values;
// - alignment: the sum of the values under the template's ink for the nine shifts of -1, 0, 1
//   pixel in x and y, interpolated (Lagrange, first along y, then along x) at the half-pixel
//   positions; the largest of the 25 (strictly larger replaces, starting from the centre with
//   value 0) gives the member's offset (dx, dy) from the template;
// - accumulation: with m the window's mean value, each window pixel adds
//   (value - m + 255) / 4 to four accumulator cells: the window centred in the accumulator and
//   moved back by the whole part of the offset, and the cells one further against a remaining
//   half pixel (the same cell when there is none). Cells outside the accumulator are skipped.
// A class gets its statistics record (accumulator of the padded template's size, zeroed) when
// it first has a member on the page being gathered.
#include <cmath>
#include <cstring>

#include "grey_stats.h"
#include "qtz_internal.h"
#include "tcly_grey_internal.h"
#include "tcly_records_internal.h"

namespace tcly::grey {

void freeStats(QtzState *state, TokOutClass *cls) {
  ClassStats *stats = statsOf(cls);
  if (stats == nullptr) return;
  QtzImage_free(stats->accumulator);
  qtz::release(state, stats);
  cls->classWord = 0;
}

int32_t padBitmap(QtzState *state, const TokInputToken &bitmap, int32_t margin, QtzImage **padded) {
  QtzImage *image = nullptr;
  int32_t status = QtzImage_new(state, QTZ_IMAGE_PACKED, bitmap.width + 2 * margin,
                                bitmap.height + 2 * margin, &image);
  if (status != 0) return status;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    const uint32_t *from = bitmap.rows + int64_t{y} * bitmap.wordsPerRow;
    auto *to = reinterpret_cast<uint32_t *>(image->rows[image->hdr.yoff + margin + y]);
    for (int32_t x = 0; x < bitmap.width; ++x) {
      if (((from[x >> 5] << (x & 31)) & 0x80000000u) == 0) continue;
      const int32_t bit = margin + x;
      to[bit >> 5] |= 0x80000000u >> (bit & 31);
    }
  }
  *padded = image;
  return 0;
}

bool packedBit(const QtzImage *image, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= image->hdr.width || y >= image->hdr.height) return false;
  const auto *row = reinterpret_cast<const uint32_t *>(image->rows[image->hdr.yoff + y]);
  return ((row[x >> 5] << (x & 31)) & 0x80000000u) != 0;
}

double lagrangeAt(const double *xs, const double *ys, int32_t n, double x) {
  double sum = 0;
  for (int32_t j = 0; j < n; ++j) {
    double term = ys[j];
    for (int32_t k = 0; k < n; ++k)
      if (k != j) term *= (x - xs[k]) / (xs[j] - xs[k]);
    sum += term;
  }
  return sum;
}

double lagrange2d(const double *xs, const double *ys, const double *values, int32_t nx, int32_t ny,
                  double x, double y) {
  double alongY[8];
  for (int32_t i = 0; i < nx && i < 8; ++i) alongY[i] = lagrangeAt(ys, values + i * ny, ny, y);
  return lagrangeAt(xs, alongY, nx < 8 ? nx : 8, x);
}

}  // namespace tcly::grey

namespace {

using namespace tcly::grey;

// The window of one member over the grey image, polarity-corrected.
struct Window {
  const QtzImage *grey;
  int64_t x, y, width, height;
  bool inverted = false;
  int32_t at(int64_t i, int64_t j) const {
    const int32_t g =
        grey->rows[grey->hdr.yoff + y + j][grey->hdr.xoff + x + i];  // rows are biased by xoff
    return inverted ? 255 - g : g;
  }
};

// The padded template centred on the window: its pixel over window pixel (i, j).
struct Placement {
  const QtzImage *padded;
  int64_t ox, oy;
  bool ink(int64_t i, int64_t j) const { return packedBit(padded, i + ox, j + oy); }
};

void choosePolarity(Window &w, const Placement &p) {
  double ink = 0, other = 0;
  int64_t inkCount = 1, otherCount = 1;
  for (int64_t j = 0; j < w.height; ++j)
    for (int64_t i = 0; i < w.width; ++i) {
      if (p.ink(i, j)) {
        ink += w.at(i, j);
        ++inkCount;
      } else {
        other += w.at(i, j);
        ++otherCount;
      }
    }
  w.inverted = !(other / otherCount < ink / inkCount);
}

// The offset (dx, dy) of the member from the template, in half pixels.
void align(const Window &w, const Placement &p, double *dx, double *dy) {
  const double shifts[3] = {-1, 0, 1};
  double sums[9] = {};  // [sx][sy]
  for (int64_t ty = 0; ty < p.padded->hdr.height; ++ty)
    for (int64_t tx = 0; tx < p.padded->hdr.width; ++tx) {
      if (!packedBit(p.padded, tx, ty)) continue;
      for (int32_t sx = -1; sx <= 1; ++sx)
        for (int32_t sy = -1; sy <= 1; ++sy) {
          const int64_t i = tx - p.ox + sx, j = ty - p.oy + sy;
          if (i >= 0 && j >= 0 && i < w.width && j < w.height)
            sums[(sx + 1) * 3 + sy + 1] += w.at(i, j);
        }
    }
  double best = 0;
  *dx = *dy = 0;
  for (int32_t hx = -2; hx <= 2; ++hx)
    for (int32_t hy = -2; hy <= 2; ++hy) {
      const double value = lagrange2d(shifts, shifts, sums, 3, 3, hx / 2.0, hy / 2.0);
      if (value > best) {
        best = value;
        *dx = hx / 2.0;
        *dy = hy / 2.0;
      }
    }
}

void accumulate(const Window &w, const Placement &p, double dx, double dy, QtzImage *acc) {
  double total = 0;
  for (int64_t j = 0; j < w.height; ++j)
    for (int64_t i = 0; i < w.width; ++i) total += w.at(i, j);
  const double mean = total / static_cast<double>(w.width * w.height);
  const int64_t wholeX = static_cast<int64_t>(dx), wholeY = static_cast<int64_t>(dy);
  const int64_t nextX = dx - wholeX > 0 ? -1 : dx - wholeX < 0 ? 1 : 0;
  const int64_t nextY = dy - wholeY > 0 ? -1 : dy - wholeY < 0 ? 1 : 0;
  const auto add = [acc](int64_t x, int64_t y, double v) {
    if (x < 0 || y < 0 || x >= acc->hdr.width || y >= acc->hdr.height) return;
    double cell = 0;
    uint8_t *at = acc->rows[acc->hdr.yoff + y] + 8 * (acc->hdr.xoff + x);
    std::memcpy(&cell, at, sizeof cell);
    cell += v;
    std::memcpy(at, &cell, sizeof cell);
  };
  for (int64_t j = 0; j < w.height; ++j)
    for (int64_t i = 0; i < w.width; ++i) {
      const double v = (w.at(i, j) - mean + 255.0) * 0.25;
      const int64_t cx = i + p.ox - wholeX, cy = j + p.oy - wholeY;
      add(cx, cy, v);
      add(cx + nextX, cy, v);
      add(cx, cy + nextY, v);
      add(cx + nextX, cy + nextY, v);
    }
}

int32_t gatherMember(QtzState *state, const QtzImage *grey, const QtzImage *padded,
                     const TclyToken &token, ClassStats *stats) {
  const int64_t pageWidth = grey->hdr.width, pageHeight = grey->hdr.height;
  Window w{grey, token.x, token.y, token.width, token.height};
  if (w.x < 0 || w.y < 0 || w.width < 1 || w.height < 1 || w.x + w.width > pageWidth ||
      w.y + w.height > pageHeight)
    return 10003;
  if (w.x >= 6 && w.y >= 6 && w.x + w.width + 6 <= pageWidth && w.y + w.height + 6 <= pageHeight)
    w = Window{grey, w.x - 6, w.y - 6, w.width + 12, w.height + 12};
  const Placement p{padded, (padded->hdr.width - w.width) / 2, (padded->hdr.height - w.height) / 2};
  choosePolarity(w, p);
  double dx = 0, dy = 0;
  align(w, p, &dx, &dy);
  accumulate(w, p, dx, dy, stats->accumulator);
  if (token.width < stats->minWidth) stats->minWidth = token.width;
  if (token.height < stats->minHeight) stats->minHeight = token.height;
  ++stats->memberCount;
  return 0;
}

bool onPage(const QtzAdtList *members, int32_t pageNumber) {
  for (const QtzAdtListNode *n = members->head; n != nullptr; n = n->next) {
    const auto *member = static_cast<const TokOutMember *>(n->data);
    const auto *token =
        member != nullptr ? reinterpret_cast<const TclyToken *>(member->user) : nullptr;
    if (token == nullptr || token->page == pageNumber)
      return true;  // a missing one is refused later
  }
  return false;
}

int32_t newStats(QtzState *state, const TokOutClass &cls, ClassStats **out) {
  auto *stats = static_cast<ClassStats *>(qtz::allocate(state, sizeof(ClassStats)));
  if (stats == nullptr) return qtz::report(state, 1);
  *stats = ClassStats{nullptr, 0, 65535, 65535};
  const int32_t status = QtzImage_new(state, QTZ_IMAGE_DOUBLE, cls.head.width + 2 * kMargin,
                                      cls.head.height + 2 * kMargin, &stats->accumulator);
  if (status != 0) {
    qtz::release(state, stats);
    return status;
  }
  *out = stats;
  return 0;
}

int32_t gatherClass(QtzState *state, const QtzImage *grey, TokOutClass *cls, int32_t pageNumber) {
  if (cls->members == nullptr || cls->members->count == 0) return 0;
  if (cls->head.rows == nullptr || cls->head.width == 0 || cls->head.height == 0) return 10003;
  if (!onPage(cls->members, pageNumber)) return 0;
  ClassStats *stats = statsOf(cls);
  if (stats == nullptr) {
    const int32_t status = newStats(state, *cls, &stats);
    if (status != 0) return status;
    cls->classWord = reinterpret_cast<uintptr_t>(stats);
  }
  QtzImage *padded = nullptr;
  int32_t status = padBitmap(state, cls->head, kMargin, &padded);
  for (const QtzAdtListNode *n = cls->members->head; status == 0 && n != nullptr; n = n->next) {
    const auto *member = static_cast<const TokOutMember *>(n->data);
    const auto *token =
        member != nullptr ? reinterpret_cast<const TclyToken *>(member->user) : nullptr;
    if (token == nullptr) {
      status = 10003;
    } else if (token->page == pageNumber) {
      status = gatherMember(state, grey, padded, *token, stats);
    }
  }
  QtzImage_free(padded);
  return status;
}

}  // namespace

int32_t gatherGreySamples(QtzState *state, const QtzImage *greyImage, QtzAdtList *classes,
                          const QtzAdtList *tokenList, int32_t pageNumber) {
  if (state == nullptr) return 2;
  if (greyImage == nullptr || classes == nullptr || tokenList == nullptr)
    return qtz::report(state, 2);
  if (greyImage->hdr.type != QTZ_IMAGE_GREY8 || greyImage->rows == nullptr)
    return qtz::report(state, 2);
  for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next) {
    auto *cls = static_cast<TokOutClass *>(n->data);
    if (cls == nullptr) return 10003;
    if (const int32_t status = gatherClass(state, greyImage, cls, pageNumber); status != 0)
      return status;
  }
  return 0;
}
