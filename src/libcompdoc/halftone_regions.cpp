// Halftone regions as images: overlapping regions merged into their union boxes, bilevel copies
// of the regions for generic-region coding (makeListofHalftoneRegions), and the grey reduction
// that gives one value per screen cell for pattern coding (compressHalftoneToGray).
//
// Merging walks the list in order; for each region it scans the whole list for another region
// whose box overlaps it strictly on both axes, replaces the first by the union box, frees the
// second and scans again until nothing overlaps. The grey reduction copies each region from the
// page (pixels beyond the page count as white), counts the black pixels of every whole cell x
// cell block a row of cells at a time, and stores the grey table's value of the block's white
// count in an image of width / cell x height / cell pixels, 4 bits deep for cells up to 4 and
// 8 bits above, in the core's packed row layout. Partial cells at the right and bottom are not
// coded.
//
// Failures: 10003 (not reported) for missing arguments, a page that is not one 1-bit channel
// (grey reduction), a cell outside 0 .. 16, or a region smaller than one cell; 1 (reported)
// without memory; core statuses pass on. Nothing is handed out on failure.
#include <bit>
#include <cstring>

#include "halftone_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_transfer.h"
#include "qtz_err.h"
#include "qtz_internal.h"

namespace htr {

namespace {

QtzHalftoneRegion *regionOf(QtzAdtListNode *node) {
  return static_cast<QtzHalftoneRegion *>(node->data);
}

bool overlaps(const QtzHalftoneRegion &a, const QtzHalftoneRegion &b) {
  return int64_t{a.x} < int64_t{b.x} + b.width && int64_t{b.x} < int64_t{a.x} + a.width &&
         int64_t{a.y} < int64_t{b.y} + b.height && int64_t{b.y} < int64_t{a.y} + a.height;
}

void unite(QtzHalftoneRegion &a, const QtzHalftoneRegion &b) {
  const int64_t x0 = a.x < b.x ? a.x : b.x, y0 = a.y < b.y ? a.y : b.y;
  const int64_t x1 = int64_t{a.x} + a.width, bx1 = int64_t{b.x} + b.width;
  const int64_t y1 = int64_t{a.y} + a.height, by1 = int64_t{b.y} + b.height;
  a.x = static_cast<int32_t>(x0);
  a.y = static_cast<int32_t>(y0);
  a.width = static_cast<int32_t>((x1 > bx1 ? x1 : bx1) - x0);
  a.height = static_cast<int32_t>((y1 > by1 ? y1 : by1) - y0);
}

uint32_t loadWord(const uint8_t *row, int32_t index) {
  uint32_t w;
  std::memcpy(&w, row + 4 * static_cast<size_t>(index), 4);
  return w;
}

// The `count` pixels (1 .. 32) of a packed 1-bit row from pixel `first` on, right-aligned.
uint32_t pixelsAt(const uint8_t *row, int32_t first, int32_t count) {
  const int32_t word = first >> 5, offset = first & 31;
  uint64_t pair = uint64_t{loadWord(row, word)} << 32;
  if (offset + count > 32) pair |= loadWord(row, word + 1);
  return static_cast<uint32_t>((pair << offset) >> (64 - count));
}

// Grey values of the whole cells of a framed 1-bit region image into the grey image.
int32_t reduceCells(PxlContext *ctx, Pixr *bits, int32_t cell, Pixr *grey) {
  uint8_t *src = nullptr, *dst = nullptr;
  int32_t status = pxlGetImageData(ctx, bits, &src);
  if (status == 0) status = pxlGetImageData(ctx, grey, &dst);
  if (status != 0) return status;
  const int32_t depth = grey->depth, perWord = 32 / depth, area = cell * cell;
  const size_t srcStride = static_cast<size_t>(bits->bytesPerRow);
  for (int32_t gy = 0; gy < grey->height; ++gy) {
    const uint8_t *band = src + static_cast<size_t>(gy) * cell * srcStride;
    uint8_t *out = dst + static_cast<size_t>(gy) * static_cast<size_t>(grey->bytesPerRow);
    uint32_t word = 0;
    for (int32_t gx = 0; gx < grey->width; ++gx) {
      int32_t black = 0;
      for (int32_t r = 0; r < cell; ++r)
        black += std::popcount(pixelsAt(band + r * srcStride, gx * cell, cell));
      const int32_t slot = gx % perWord;
      word |= static_cast<uint32_t>(greyValue(cell, area - black)) << (32 - depth * (slot + 1));
      if (slot == perWord - 1 || gx == grey->width - 1) {
        std::memcpy(out + 4 * static_cast<size_t>(gx / perWord), &word, 4);
        word = 0;
      }
    }
  }
  return 0;
}

// The grey image of one region.
int32_t greyOfRegion(QtzState *state, Pixr *page, QtzHalftoneRegion *region, int32_t cell,
                     Pixr **out) {
  PxlContext *ctx = state->ipwContext;
  if (region->width < cell || region->height < cell) return QTZ_ERR_ASSERT;
  pxl::OwnedImage bits(ctx), grey(ctx);
  int32_t status = copyRegion(state, page, region, bits.put());
  if (status != 0) return status;
  status = pxlCreateImage(ctx, region->width / cell, region->height / cell, cell <= 4 ? 4 : 8,
                          page->xResolution, page->yResolution, 32, grey.put());
  if (status == 0) status = reduceCells(ctx, bits.get(), cell, grey.get());
  if (status != 0) return status;
  region->greyLevels = greyLevelCount(cell);
  *out = grey.release();
  return 0;
}

// Destroys the images of a list and the list.
void destroyImageList(QtzState *state, QtzAdtList *images) {
  if (images == nullptr) return;
  for (QtzAdtListNode *n = images->head; n != nullptr; n = n->next) {
    Pixr *image = static_cast<Pixr *>(n->data);
    pxlDestroyImage(state->ipwContext, &image);
  }
  QtzAdt_liFree(images);
}

// A list of images destroyed with its images at the end of the scope unless released.
class OwnedImageList {
 public:
  explicit OwnedImageList(QtzState *state) : state_(state) {}
  ~OwnedImageList() { destroyImageList(state_, list_); }
  OwnedImageList(const OwnedImageList &) = delete;
  OwnedImageList &operator=(const OwnedImageList &) = delete;
  QtzAdtList **put() { return &list_; }
  QtzAdtList *get() const { return list_; }
  QtzAdtList *release() { return std::exchange(list_, nullptr); }

 private:
  QtzState *state_;
  QtzAdtList *list_ = nullptr;
};

// Appends the image to the list, destroying it when that fails.
int32_t appendImage(QtzState *state, QtzAdtList *list, Pixr *image) {
  const int32_t status = appendOrReport(state, list, image);
  if (status != 0) pxlDestroyImage(state->ipwContext, &image);
  return status;
}

// Merges the regions, then makes one image per region, in list order, with make(region,
// &image) into a new list.
template <typename Make>
int32_t imagePerRegion(QtzState *state, QtzAdtList *regions, Make make, QtzAdtList **out) {
  mergeOverlapping(regions, state);
  OwnedImageList made(state);
  int32_t status = QtzAdt_liNew(made.put(), state);
  if (status != 0) return status == QTZ_ERR_NO_MEMORY ? qtz::report(state, status) : status;
  for (QtzAdtListNode *n = regions->head; n != nullptr; n = n->next) {
    Pixr *image = nullptr;
    if ((status = make(regionOf(n), &image)) != 0) return status;
    if ((status = appendImage(state, made.get(), image)) != 0) return status;
  }
  *out = made.release();
  return 0;
}

bool usable(QtzState *state, Pixr *page) {
  return state != nullptr && state->ipwContext != nullptr && page != nullptr &&
         page->channelCount == 1;
}

}  // namespace

void mergeOverlapping(QtzAdtList *regions, QtzState *state) {
  for (QtzAdtListNode *a = regions->head; a != nullptr; a = a->next) {
    for (bool merged = true; merged;) {
      merged = false;
      for (QtzAdtListNode *b = regions->head; b != nullptr; b = b->next) {
        if (b == a || !overlaps(*regionOf(a), *regionOf(b))) continue;
        unite(*regionOf(a), *regionOf(b));
        qtz::release(state, b->data);
        QtzAdt_liRem(b);
        merged = true;
        break;
      }
    }
  }
}

int32_t copyRegion(QtzState *state, Pixr *page, const QtzHalftoneRegion *region, Pixr **out) {
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage copy(ctx);
  int32_t status = pxlCreateImage(ctx, region->width, region->height, page->depth,
                                  page->xResolution, page->yResolution, 32, copy.put());
  if (status == 0)
    status = pxlRasterOp(ctx, region->x, region->y, page, PXL_ROP_COPY, 0, 0, region->width,
                         region->height, copy.get());
  if (status != 0) return status;
  *out = copy.release();
  return 0;
}

int32_t appendOrReport(QtzState *state, QtzAdtList *list, void *data) {
  const int32_t status = QtzAdt_liAdd(list, data, nullptr);
  if (status == QTZ_ERR_NO_MEMORY) return qtz::report(state, status);
  return status;
}

}  // namespace htr

extern "C" {

int32_t makeListofHalftoneRegions(QtzState *state, Pixr *page, QtzAdtList *regions,
                                  QtzAdtList **images) {
  if (!htr::usable(state, page) || regions == nullptr || images == nullptr) return QTZ_ERR_ASSERT;
  if (regions->count == 0) return 0;
  QtzAdtList *made = nullptr;
  const int32_t status = htr::imagePerRegion(
      state, regions,
      [&](QtzHalftoneRegion *region, Pixr **image) {
        return htr::copyRegion(state, page, region, image);
      },
      &made);
  if (status != 0) return status;
  if (*images == nullptr) {
    *images = made;
    return 0;
  }
  return QtzAdt_liApp(*images, made);
}

int32_t compressHalftoneToGray(QtzState *state, Pixr *page, QtzAdtList *regions, int32_t cell,
                               QtzAdtList **greys) {
  if (!htr::usable(state, page) || page->depth != 1 || regions == nullptr || greys == nullptr)
    return QTZ_ERR_ASSERT;
  if (cell == 0) cell = 4;
  if (cell < 1 || cell > htr::kMaxCell) return QTZ_ERR_ASSERT;
  *greys = nullptr;
  if (regions->count == 0) return 0;
  return htr::imagePerRegion(
      state, regions,
      [&](QtzHalftoneRegion *region, Pixr **image) {
        return htr::greyOfRegion(state, page, region, cell, image);
      },
      greys);
}

}  // extern "C"
