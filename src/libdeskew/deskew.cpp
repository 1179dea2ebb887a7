// Deskew of packed bitmaps (see deskew.h). The bounding box is found a word at a time: the
// first and last rows with a non-zero word, then the OR of each word column over those rows
// from the left and from the right, whose highest and lowest set bits give the columns.
#include "deskew.h"

#include <algorithm>
#include <cstring>

#include "pxl_owners_internal.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"
#include "qtz_internal.h"

namespace deskew {
namespace {

constexpr int32_t kFrame = 32;
constexpr int32_t kAlreadyHeld = 120;

// Mask of the bits of a row's last word that lie within the width.
uint32_t lastWordMask(int32_t width) {
  const int32_t used = width % 32;
  return used == 0 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> used);
}

struct Rows {
  uint8_t *first;
  int32_t bytesPerRow;
  int32_t words;
  uint32_t lastMask;
  uint32_t word(int32_t y, int32_t i) const {
    uint32_t w;
    std::memcpy(&w, first + int64_t{y} * bytesPerRow + 4 * i, 4);
    return i == words - 1 ? w & lastMask : w;
  }
  bool rowInked(int32_t y) const {
    for (int32_t i = 0; i < words; ++i)
      if (word(y, i) != 0) return true;
    return false;
  }
  uint32_t columnOr(int32_t i, int32_t top, int32_t bottom) const {
    uint32_t acc = 0;
    for (int32_t y = top; y <= bottom; ++y) acc |= word(y, i);
    return acc;
  }
};

int32_t lowestSetBit(uint32_t word) {
  return highestSetBit(word & (~word + 1));
}

}  // namespace

int32_t highestSetBit(uint32_t word) {
  int32_t bit = 0;
  for (int32_t step : {16, 8, 4, 2, 1}) {
    if ((word >> step) != 0) {
      word >>= step;
      bit += step;
    }
  }
  return bit;
}

bool findBlackBoundingBox(PxlContext *ctx, Pixr *image, int32_t *x, int32_t *y, int32_t *width,
                          int32_t *height) {
  *x = *y = *width = *height = 0;
  int32_t w = 0, h = 0, bpr = 0;
  uint8_t *data = nullptr;
  if (pxlGetImageWidth(ctx, image, &w) != 0 || pxlGetImageHeight(ctx, image, &h) != 0 ||
      pxlGetImageBytesPerRow(ctx, image, &bpr) != 0 || pxlGetImageData(ctx, image, &data) != 0 ||
      w < 1 || h < 1)
    return false;
  const Rows rows{data, bpr, (w + 31) / 32, lastWordMask(w)};
  int32_t top = 0;
  while (top < h && !rows.rowInked(top)) ++top;
  if (top == h) return false;
  int32_t bottom = h - 1;
  while (!rows.rowInked(bottom)) --bottom;
  int32_t left = 0;
  uint32_t leftOr = 0;
  while ((leftOr = rows.columnOr(left, top, bottom)) == 0) ++left;
  int32_t right = rows.words - 1;
  uint32_t rightOr = 0;
  while ((rightOr = rows.columnOr(right, top, bottom)) == 0) --right;
  *x = 32 * left + (31 - highestSetBit(leftOr));
  *y = top;
  *width = 32 * (right + 1) - lowestSetBit(rightOr) - *x;
  *height = bottom - top + 1;
  return true;
}

int32_t deskewBitmap(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                     uint32_t **newRows, int32_t *newWidth, int32_t *newHeight,
                     int32_t *newWordsPerRow, float angle, int32_t maxWidth, int32_t maxHeight,
                     QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (newRows == nullptr || newWidth == nullptr || newHeight == nullptr ||
      newWordsPerRow == nullptr || (rows == nullptr && width > 0 && height > 0))
    return qtz::report(state, QTZ_ERR_NULL);
  if (*newRows != nullptr) return qtz::report(state, kAlreadyHeld);
  if (width < 0 || height < 0 || int64_t{wordsPerRow} * 32 < width)
    return qtz::report(state, QTZ_ERR_PARAM);
  *newWidth = *newHeight = *newWordsPerRow = 0;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  if (width == 0 || height == 0) return QTZ_OK;

  pxl::OwnedImage source(ctx);
  int32_t status = pxlCreateImage(ctx, width, height, 1, 0, 0, kFrame, source.put());
  uint8_t *data = nullptr;
  int32_t bpr = 0;
  if (status == 0) status = pxlGetImageData(ctx, source.get(), &data);
  if (status == 0) status = pxlGetImageBytesPerRow(ctx, source.get(), &bpr);
  if (status != 0) return status;
  const int32_t words = (width + 31) / 32;
  const uint32_t mask = lastWordMask(width);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *to = data + int64_t{y} * bpr;
    std::memcpy(to, rows + int64_t{y} * wordsPerRow, 4 * static_cast<size_t>(words));
    uint32_t last;
    std::memcpy(&last, to + 4 * (words - 1), 4);
    last &= mask;
    std::memcpy(to + 4 * (words - 1), &last, 4);
  }
  pxl::OwnedImage turned(ctx);
  status = pxlRotateByShear(ctx, source.get(), angle, 0, 0, turned.put());
  if (status != 0) return status;
  source.reset();

  int32_t x = 0, y = 0, w = 0, h = 0;
  if (!findBlackBoundingBox(ctx, turned.get(), &x, &y, &w, &h)) return QTZ_OK;
  w = std::min(w, std::max(maxWidth, 0));
  h = std::min(h, std::max(maxHeight, 0));
  if (w == 0 || h == 0) return QTZ_OK;
  status = pxlCropImage(ctx, x, y, w, h, turned.get());
  if (status == 0) status = pxlGetImageData(ctx, turned.get(), &data);
  if (status == 0) status = pxlGetImageBytesPerRow(ctx, turned.get(), &bpr);
  if (status != 0) return status;
  const int32_t outWords = (w + 31) / 32;
  auto *out = static_cast<uint32_t *>(
      qtz::allocate(state, static_cast<size_t>(h) * static_cast<size_t>(outWords) * 4));
  if (out == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const uint32_t outMask = lastWordMask(w);
  for (int32_t r = 0; r < h; ++r) {
    uint32_t *to = out + int64_t{r} * outWords;
    std::memcpy(to, data + int64_t{r} * bpr, 4 * static_cast<size_t>(outWords));
    to[outWords - 1] &= outMask;  // a width cut by the maximum leaves ink past it
  }
  *newRows = out;
  *newWidth = w;
  *newHeight = h;
  *newWordsPerRow = outWords;
  return QTZ_OK;
}

}  // namespace deskew
