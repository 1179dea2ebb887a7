// Trimming a large coloured shape to the box of its non-white pixels (white: all three bytes
// 255) before it is coded as an image strip.
//
// The kept box runs from the first to the last row holding a non-white pixel of the component
// (a pixel under its runs: the finder leaves the others unwritten) and, over those rows, from
// the smallest first to the largest last non-white column. Without any non-white
// pixel the component gets the empty box (left 1, right 0, top 1, bottom 0) and keeps its
// runs and image: the caller drops it. When the box is the whole image nothing changes.
// Otherwise the box is copied into a new RGB image that replaces the old one, the run list is
// cut to the box (runs on other rows or wholly outside the kept columns go, the others are
// clipped and re-based on the new left column, row markers re-based on the new top row, and
// every kept row starts with a marker) and shrunk to what remains, and the component's box
// moves with the kept part. Statuses: 118 null arguments, 10003 runs or an image that do not
// match the box, 1 out of memory (reported; the image library's own 10005 for the new
// image); on failure the component is unchanged.
#include <cstring>

#include "compdoc_strips.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util_internal.h"

namespace {

struct Box {
  int32_t left, top, right, bottom;  // inclusive
};

const uint8_t *pixelRow(const QtzImage *image, int32_t y) {
  return image->rows[image->hdr.yoff + y] + 3 * int64_t{image->hdr.xoff};
}

bool isWhite(const uint8_t *p) {
  return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// The box of the non-white pixels under the runs (the finder leaves the image's pixels
// outside the runs unwritten); false when there is none. 10003 in *bad for a run outside the
// width x height box.
bool nonWhiteBox(const StripComponent &c, int32_t width, int32_t height, Box *box, bool *bad) {
  *box = Box{width, -1, -1, -1};
  *bad = !forEachTokenRun(c.runs, c.runCount, [&](int64_t row, int64_t first, int64_t length) {
    if (row >= height || first + length > width) return false;
    const uint8_t *pixels = pixelRow(c.image, static_cast<int32_t>(row));
    int64_t from = first, to = first + length - 1;
    while (from <= to && isWhite(pixels + 3 * from)) ++from;
    if (from > to) return true;
    while (isWhite(pixels + 3 * to)) --to;
    if (box->top < 0) box->top = static_cast<int32_t>(row);
    box->bottom = static_cast<int32_t>(row);
    if (from < box->left) box->left = static_cast<int32_t>(from);
    if (to > box->right) box->right = static_cast<int32_t>(to);
    return true;
  });
  return !*bad && box->top >= 0;
}

// The runs of the kept box, written into out (at most 2 x count pairs: one marker and one run
// for each run kept); the number of pairs.
int32_t cutRuns(const uint16_t *runs, int32_t count, const Box &box, uint16_t *out) {
  int32_t made = 0;
  int64_t markedRow = -1;
  forEachTokenRun(runs, count, [&](int64_t row, int64_t first, int64_t length) {
    const int64_t last = first + length - 1;
    if (row < box.top || row > box.bottom || last < box.left || first > box.right) return true;
    const int64_t from = first > box.left ? first : box.left;
    const int64_t to = last < box.right ? last : box.right;
    if (row != markedRow) {
      out[2 * made] = static_cast<uint16_t>(row - box.top);
      out[2 * made + 1] = 0;
      ++made;
      markedRow = row;
    }
    out[2 * made] = static_cast<uint16_t>(from - box.left);
    out[2 * made + 1] = static_cast<uint16_t>(to - from + 1);
    ++made;
    return true;
  });
  return made;
}

}  // namespace

int32_t imgTrimComponent(StripComponent *component, QtzState *state) {
  if (state == nullptr) return 118;
  if (component == nullptr || component->image == nullptr ||
      (component->runs == nullptr && component->runCount > 0))
    return qtz::report(state, 118);
  const int32_t width = int32_t{component->right} - component->left + 1;
  const int32_t height = int32_t{component->bottom} - component->top + 1;
  QtzImage *image = component->image;
  if (width <= 0 || height <= 0 || image->hdr.type != QTZ_IMAGE_RGB || image->rows == nullptr ||
      image->hdr.width < width || image->hdr.height < height)
    return qtz::report(state, 10003);
  Box box{};
  bool bad = false;
  const bool found = nonWhiteBox(*component, width, height, &box, &bad);
  if (bad) return qtz::report(state, 10003);
  if (!found) {
    component->left = component->top = 1;
    component->right = component->bottom = 0;
    return 0;
  }
  if (box.left == 0 && box.top == 0 && box.right == width - 1 && box.bottom == height - 1) return 0;

  const int32_t keptWidth = box.right - box.left + 1, keptHeight = box.bottom - box.top + 1;
  QtzImage *kept = nullptr;
  int32_t status =
      QtzImage_new(state, int32_t{QTZ_IMAGE_RGB} | QTZ_IMAGE_NO_ZERO, keptWidth, keptHeight, &kept);
  if (status != 0) return status;
  for (int32_t y = 0; y < keptHeight; ++y)
    std::memcpy(kept->rows[kept->hdr.yoff + y] + 3 * int64_t{kept->hdr.xoff},
                pixelRow(image, box.top + y) + 3 * int64_t{box.left},
                static_cast<size_t>(3 * int64_t{keptWidth}));

  const int64_t capacity = 2 * int64_t{component->runCount > 0 ? component->runCount : 0};
  qtz::OwnedBlock<uint16_t> runs(
      state, static_cast<uint16_t *>(qtz::allocate(state, 4 * (capacity > 0 ? capacity : 1))));
  if (!runs) {
    QtzImage_free(kept);
    return qtz::report(state, 1);
  }
  const int32_t made = cutRuns(component->runs, component->runCount, box, runs.get());
  auto *shrunk = static_cast<uint16_t *>(qtz::resize(state, runs.get(), 4 * (made > 0 ? made : 1)));
  if (shrunk == nullptr) {
    QtzImage_free(kept);
    return qtz::report(state, 1);
  }
  runs.release();
  qtz::release(state, component->runs);
  component->runs = shrunk;
  component->runCount = made;
  QtzImage_free(image);
  component->image = kept;
  const int32_t left = component->left, top = component->top;
  component->left = static_cast<uint16_t>(left + box.left);
  component->top = static_cast<uint16_t>(top + box.top);
  component->right = static_cast<uint16_t>(left + box.right);
  component->bottom = static_cast<uint16_t>(top + box.bottom);
  return 0;
}
