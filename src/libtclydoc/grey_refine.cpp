// Rebuilding class templates from their accumulated grey patches after a section end.
//
// For each class with a statistics record: the accumulator is divided by the member count;
// the template, padded by 12 pixels, is dilated by the image core's 2 x 2 standard element
// (id 40), which bounds where ink may be, and the dilation is thinned, which marks sure ink.
// Over the central window of (smallest member width + 12) x (smallest member height + 12)
// pixels, a threshold is the mean of two means: of the averaged values on the thinned image
// (ink), and of the non-zero averaged values off it whose pixel and four neighbours lie
// outside the dilation (background). Each row has its own threshold from itself and the two
// rows above and below, or the window's when either group is empty there. A pixel is ink when
// its value exceeds its row's threshold and the dilation is set there. The result, cropped to
// its ink, replaces the template unless it is narrower or lower than 2 pixels, or no
// threshold exists; then the class keeps its template. The statistics record is freed and
// unhooked in every case.
#include <cstring>

#include "grey_stats.h"
#include "pxl_image.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_grey_internal.h"

namespace {

using namespace tcly::grey;

constexpr int32_t kDilationElement = 40;  // the 2 x 2 brick
constexpr int32_t kDpi300 = 300 << 16;

// The content bits of a framed 1-bit core image.
struct CoreBits {
  const uint8_t *content = nullptr;
  int32_t bytesPerRow = 0, width = 0, height = 0;
  bool at(int64_t x, int64_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    uint32_t word = 0;
    std::memcpy(&word, content + y * bytesPerRow + 4 * (x >> 5), sizeof word);
    return ((word << (x & 31)) & 0x80000000u) != 0;
  }
};

int32_t describe(PxlContext *ctx, Pixr *image, CoreBits *bits) {
  uint8_t *content = nullptr;
  int32_t status = pxlGetImageData(ctx, image, &content);
  if (status == 0) status = pxlGetImageBytesPerRow(ctx, image, &bits->bytesPerRow);
  if (status == 0) status = pxlGetImageWidth(ctx, image, &bits->width);
  if (status == 0) status = pxlGetImageHeight(ctx, image, &bits->height);
  bits->content = content;
  return status;
}

// The padded template as a framed 1-bit core image.
int32_t templateImage(PxlContext *ctx, const QtzImage *padded, Pixr **out) {
  pxl::OwnedImage image(ctx);
  int32_t status = pxlCreateImage(ctx, padded->hdr.width, padded->hdr.height, 1, kDpi300, kDpi300,
                                  32, image.put());
  uint8_t *content = nullptr;
  int32_t bytesPerRow = 0;
  if (status == 0) status = pxlGetImageData(ctx, image.get(), &content);
  if (status == 0) status = pxlGetImageBytesPerRow(ctx, image.get(), &bytesPerRow);
  if (status != 0) return status;
  for (int32_t y = 0; y < padded->hdr.height; ++y)
    std::memcpy(content + int64_t{y} * bytesPerRow, padded->rows[padded->hdr.yoff + y],
                static_cast<size_t>(padded->hdr.bytesPerLine));
  *out = image.release();
  return 0;
}

struct Averages {
  const QtzImage *acc;
  double at(int64_t x, int64_t y) const {
    double v = 0;
    std::memcpy(&v, acc->rows[acc->hdr.yoff + y] + 8 * (acc->hdr.xoff + x), sizeof v);
    return v;
  }
};

struct Box {
  int64_t left, top, right, bottom;  // right and bottom exclusive
};

struct Threshold {
  const Averages &avg;
  const CoreBits &dilated, &thinned;
  Box window;

  bool background(int64_t x, int64_t y) const {
    return !dilated.at(x, y) && !dilated.at(x - 1, y) && !dilated.at(x + 1, y) &&
           !dilated.at(x, y - 1) && !dilated.at(x, y + 1);
  }
  // The mean of the ink and background means over rows [top, bottom) of the window; false
  // when either group is empty.
  bool over(int64_t top, int64_t bottom, double *value) const {
    double ink = 0, other = 0;
    int64_t inkCount = 0, otherCount = 0;
    for (int64_t y = top; y < bottom; ++y)
      for (int64_t x = window.left; x < window.right; ++x) {
        const double v = avg.at(x, y);
        if (thinned.at(x, y)) {
          ink += v;
          ++inkCount;
        } else if (v != 0.0 && background(x, y)) {
          other += v;
          ++otherCount;
        }
      }
    if (inkCount == 0 || otherCount == 0) return false;
    *value = (ink / inkCount + other / otherCount) / 2;
    return true;
  }
};

void divide(QtzImage *acc, double divisor) {
  for (int32_t y = 0; y < acc->hdr.height; ++y) {
    uint8_t *row = acc->rows[acc->hdr.yoff + y] + 8 * int64_t{acc->hdr.xoff};
    for (int32_t x = 0; x < acc->hdr.width; ++x) {
      double v = 0;
      std::memcpy(&v, row + 8 * x, sizeof v);
      v /= divisor;
      std::memcpy(row + 8 * x, &v, sizeof v);
    }
  }
}

// Thresholds into ink (a cleared packed image of the accumulator's size) and gives its box;
// false when there is no threshold or no ink.
bool thresholdInk(const Threshold &t, QtzImage *ink, Box *box) {
  double global = 0;
  if (!t.over(t.window.top, t.window.bottom, &global)) return false;
  *box = Box{INT64_MAX, INT64_MAX, -1, -1};
  for (int64_t y = t.window.top; y < t.window.bottom; ++y) {
    double local = 0;
    const int64_t from = y - 2 > t.window.top ? y - 2 : t.window.top;
    const int64_t to = y + 3 < t.window.bottom ? y + 3 : t.window.bottom;
    if (!t.over(from, to, &local)) local = global;
    auto *row = reinterpret_cast<uint32_t *>(ink->rows[ink->hdr.yoff + y]);
    for (int64_t x = t.window.left; x < t.window.right; ++x) {
      if (!(t.avg.at(x, y) > local) || !t.dilated.at(x, y)) continue;
      row[x >> 5] |= 0x80000000u >> (x & 31);
      if (x < box->left) box->left = x;
      if (x >= box->right) box->right = x + 1;
      if (y < box->top) box->top = y;
      box->bottom = y + 1;
    }
  }
  return box->bottom >= 0;
}

// Replaces the class template by the box of ink.
int32_t replaceTemplate(QtzState *state, TokOutClass *cls, const QtzImage *ink, const Box &box) {
  const auto width = static_cast<int32_t>(box.right - box.left);
  const auto height = static_cast<int32_t>(box.bottom - box.top);
  const int32_t words = (width + 31) / 32;
  auto *rows = static_cast<uint32_t *>(
      qtz::allocateZeroed(state, static_cast<size_t>(words) * static_cast<size_t>(height), 4));
  if (rows == nullptr) return qtz::report(state, 1);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      if (packedBit(ink, box.left + x, box.top + y))
        rows[int64_t{y} * words + (x >> 5)] |= 0x80000000u >> (x & 31);
  qtz::release(state, cls->head.rows);
  cls->head.rows = rows;
  cls->head.width = static_cast<uint16_t>(width);
  cls->head.height = static_cast<uint16_t>(height);
  cls->head.wordsPerRow = static_cast<uint16_t>(words);
  return 0;
}

int32_t refineClass(QtzState *state, PxlContext *ctx, PxlStrel *element, TokOutClass *cls) {
  ClassStats *stats = statsOf(cls);
  if (cls->head.rows == nullptr) return 10003;
  if (stats->memberCount <= 0) return 0;
  divide(stats->accumulator, stats->memberCount);
  QtzImage *paddedRaw = nullptr;
  int32_t status = padBitmap(state, cls->head, kMargin, &paddedRaw);
  if (status != 0) return status;
  struct PaddedOwner {
    QtzImage *image;
    ~PaddedOwner() { QtzImage_free(image); }
  } padded{paddedRaw}, ink{nullptr};
  pxl::OwnedImage base(ctx), dilated(ctx), thinned(ctx);
  if ((status = templateImage(ctx, padded.image, base.put())) != 0) return status;
  if ((status = pxlDilateImage(ctx, base.get(), element, dilated.put())) != 0) return status;
  if ((status = pxlThinImage(ctx, dilated.get(), thinned.put())) != 0) return status;
  CoreBits dilatedBits, thinnedBits;
  if ((status = describe(ctx, dilated.get(), &dilatedBits)) != 0) return status;
  if ((status = describe(ctx, thinned.get(), &thinnedBits)) != 0) return status;
  const QtzImage *acc = stats->accumulator;
  const int64_t windowWidth = int64_t{stats->minWidth} + 12;
  const int64_t windowHeight = int64_t{stats->minHeight} + 12;
  const int64_t left =
      (acc->hdr.width - windowWidth) / 2 > 0 ? (acc->hdr.width - windowWidth) / 2 : 0;
  const int64_t top =
      (acc->hdr.height - windowHeight) / 2 > 0 ? (acc->hdr.height - windowHeight) / 2 : 0;
  const Box window{left, top,
                   left + windowWidth < acc->hdr.width ? left + windowWidth : acc->hdr.width,
                   top + windowHeight < acc->hdr.height ? top + windowHeight : acc->hdr.height};
  if ((status =
           QtzImage_new(state, QTZ_IMAGE_PACKED, acc->hdr.width, acc->hdr.height, &ink.image)) != 0)
    return status;
  const Averages averages{acc};
  const Threshold threshold{averages, dilatedBits, thinnedBits, window};
  Box box{};
  if (!thresholdInk(threshold, ink.image, &box)) return 0;
  if (box.right - box.left < 2 || box.bottom - box.top < 2) return 0;
  return replaceTemplate(state, cls, ink.image, box);
}

}  // namespace

int32_t refineClassTemplates(QtzState *state, QtzAdtList *classes) {
  if (state == nullptr) return 2;
  if (classes == nullptr) return qtz::report(state, 2);
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, 118);
  bool any = false;
  for (QtzAdtListNode *n = classes->head; n != nullptr && !any; n = n->next)
    any = n->data != nullptr && statsOf(static_cast<TokOutClass *>(n->data)) != nullptr;
  if (!any) return 0;
  int32_t status = pxlInitStdStrel(ctx, kDilationElement);
  if (status != 0) return status;
  PxlStrel *element = nullptr;
  status = pxlGetStrel(ctx, kDilationElement, &element);
  for (QtzAdtListNode *n = classes->head; status == 0 && n != nullptr; n = n->next) {
    auto *cls = static_cast<TokOutClass *>(n->data);
    if (cls == nullptr) {
      status = 10003;
      break;
    }
    if (statsOf(cls) == nullptr) continue;
    status = refineClass(state, ctx, element, cls);
    freeStats(state, cls);
  }
  pxlReleaseStrel(ctx, nullptr, kDilationElement);
  return status;
}

void dropGreySamples(QtzState *state, QtzAdtList *classes) {
  if (classes == nullptr) return;
  for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next)
    if (n->data != nullptr) freeStats(state, static_cast<TokOutClass *>(n->data));
}
