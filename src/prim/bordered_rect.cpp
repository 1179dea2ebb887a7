// Tiled image access and bordered rectangles (source unit "ownrect").
//
// ownGetRectWithBorder copies any rectangle of an image, also one reaching past any side, into
// a new 32-byte aligned buffer whose row step is the row payload rounded up to the image's
// alignment. Parts outside the image follow the per-side border modes: the top and bottom
// bands (corners included) follow the top and bottom modes on both axes; the left and right
// parts of inner rows follow the left and right modes along the row. Constant fills a side's
// constant; replicate repeats the edge; reflect repeats the edge pixel (..., 1, 0 | 0, 1, ...)
// and the pattern repeats every two image sizes; wrap takes the index modulo the size.
//
// Each output row and column is mapped to an image row and column (or to a constant); runs of
// consecutive indices (stepping +1, -1 or staying) are read with one ownReadImageRect call
// (reversed corners for mirrored runs) and standing runs are widened with the replicate
// fills, so contiguous rows move as blocks and tiles are fetched per run, not per pixel.
// None of these routines reports: failures give a null buffer or a result of 1.
#include <algorithm>
#include <cstring>

#include "imp_internal.h"

namespace {

using imp::bitsOf;

inline bool getBit(const uint8_t *row, int64_t x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}
inline void setBit(uint8_t *row, int64_t x) {
  row[x >> 3] |= uint8_t(0x80u >> (x & 7));
}

// Maps index i of an axis of `size` pixels by a border mode (i may lie inside).
int64_t mapIndex(int32_t mode, int64_t i, int64_t size) {
  if (i >= 0 && i < size) return i;
  switch (mode & 3) {
    case IMP_BORDER_REPLICATE:
      return i < 0 ? 0 : size - 1;
    case IMP_BORDER_REFLECT: {
      const int64_t k = i < 0 ? -i - 1 : i - size;
      const int64_t p = k / size, r = k % size;
      const bool even = (p & 1) == 0;
      return (i < 0) == even ? r : size - 1 - r;
    }
    default:  // wrap
      return ((i % size) + size) % size;
  }
}

// One axis position: an image index, or a constant (index -1 with its side's constant).
struct Pos {
  int64_t index;
  int32_t constant;
};

// Positions of n output indices from `start` along an axis of `size`, with the modes of the
// low and high sides.
void axisMap(Pos *m, int64_t start, int64_t n, int64_t size, int32_t lowMode, int32_t lowConst,
             int32_t highMode, int32_t highConst) {
  for (int64_t j = 0; j < n; ++j) {
    const int64_t i = start + j;
    const bool low = i < 0, high = i >= size;
    const int32_t mode = low ? lowMode : highMode;
    if ((low || high) && (mode & 3) == IMP_BORDER_CONSTANT)
      m[j] = Pos{-1, low ? lowConst : highConst};
    else
      m[j] = Pos{mapIndex(mode, i, size), 0};
  }
}

// A run of positions: first output index, length, first image index and step (+1, -1, 0),
// or a constant run (index -1).
struct Run {
  int64_t first, length, index, step;
  int32_t constant;
};

// The run of positions that starts at output index i (runs end at `to`).
Run runAt(const Pos *m, int64_t i, int64_t to) {
  Run r{i, 1, m[i].index, 0, m[i].constant};
  if (r.index < 0) {
    while (i + r.length < to && m[i + r.length].index < 0 && m[i + r.length].constant == r.constant)
      ++r.length;
  } else if (i + 1 < to && m[i + 1].index >= 0) {
    const int64_t step = m[i + 1].index - r.index;
    if (step >= -1 && step <= 1) {
      r.step = step;
      while (i + r.length < to && m[i + r.length].index >= 0 &&
             m[i + r.length].index - m[i + r.length - 1].index == step)
        ++r.length;
    }
  }
  return r;
}

// Fills a block of every plane with a constant, made into the depth's pattern.
void fillConstant(uint8_t *buf, const ImpImageHeader &im, int64_t col, int64_t row, int64_t cols,
                  int64_t rows, int64_t step, int64_t plane, int32_t constant) {
  const int32_t bits = bitsOf(im.depth);
  if (bits == 1) {
    if ((constant & 1) == 0) return;  // the buffer is cleared
    for (int64_t y = 0; y < rows; ++y)
      for (int64_t x = 0; x < cols; ++x) setBit(buf + (row + y) * step, col + x);
    return;
  }
  uint8_t sample[4];
  if (im.depth == IMP_DEPTH_32F) {
    const float f = static_cast<float>(constant);
    std::memcpy(sample, &f, 4);
  } else {
    const uint32_t p = imp::fillPattern(im.depth, constant);
    std::memcpy(sample, &p, 4);
  }
  const int32_t sb = bits / 8, pb = imp::rectPixelBytes(im);
  for (int32_t p = 0; p < imp::rectPlanes(im); ++p)
    for (int64_t y = 0; y < rows; ++y) {
      uint8_t *d = buf + p * plane + (row + y) * step + col * pb;
      for (int64_t k = 0; k < cols * pb; k += sb) std::memcpy(d + k, sample, size_t(sb));
    }
}

}  // namespace

int32_t ownCalcWidthStep(int32_t dataOrder, uint32_t depth, int32_t alignment, int32_t nChannels,
                         int32_t width) {
  const int64_t unit = 8 * int64_t{alignment};
  if (unit <= 0) return 0;
  const int64_t perRow = dataOrder == IMP_DATA_ORDER_PLANE ? 1 : nChannels;
  const int64_t bits = int64_t{width} * perRow * bitsOf(depth);
  const int64_t step = (bits + unit - 1) / unit * unit / 8;
  return step > 0 && step <= INT32_MAX ? static_cast<int32_t>(step) : 0;
}

int32_t ownGetTileWidthStep(const ImpImageHeader *image) {
  if (image == nullptr || ownValidateImageHeader(image) != 0 || image->tileInfo == nullptr)
    return 0;
  return ownCalcWidthStep(image->dataOrder, image->depth, image->alignment, image->nChannels,
                          image->tileInfo->width);
}

int32_t ownGetTileRow(ImpImageHeader *image, uint8_t **tiles, int32_t n, int32_t firstColumn,
                      int32_t tileRow, int32_t columnStep) {
  int32_t missing = 0;
  for (int32_t i = 0; i < n; ++i) {
    image->tileInfo->tileData = nullptr;
    image->tileInfo->callBack(image, firstColumn + i * columnStep, tileRow, IMP_TILE_READ);
    tiles[i] = image->tileInfo->tileData;
    if (tiles[i] == nullptr) missing = 1;
  }
  return missing;
}

void ownReleaseTileRow(ImpImageHeader *image, uint8_t **tiles, int32_t n, int32_t firstColumn,
                       int32_t tileRow, int32_t columnStep) {
  for (int32_t i = n - 1; i >= 0; --i) {
    image->tileInfo->tileData = tiles[i];
    image->tileInfo->callBack(image, firstColumn + i * columnStep, tileRow, IMP_TILE_RELEASE);
  }
}

void ownCopyRectBlock(const uint8_t *src, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                      int64_t srcStep, int64_t srcPlane, uint8_t *dst, int64_t dstCol,
                      int64_t dstRow, int64_t dstStep, int64_t dstPlane, int32_t bytesPerPixel,
                      int32_t planes) {
  const int64_t dx = x2 >= x1 ? 1 : -1, dy = y2 >= y1 ? 1 : -1;
  const int64_t cols = (x2 - x1) * dx + 1, rows = (y2 - y1) * dy + 1;
  const int32_t nPlanes = bytesPerPixel == 0 ? 1 : planes;
  for (int32_t p = 0; p < nPlanes; ++p)
    for (int64_t r = 0; r < rows; ++r) {
      const uint8_t *s = src + p * srcPlane + (y1 + r * dy) * srcStep;
      uint8_t *d = dst + p * dstPlane + (dstRow + r) * dstStep;
      if (bytesPerPixel == 0) {
        for (int64_t c = 0; c < cols; ++c)
          if (getBit(s, x1 + c * dx)) setBit(d, dstCol + c);
      } else if (dx > 0) {
        std::memcpy(d + dstCol * bytesPerPixel, s + x1 * bytesPerPixel,
                    size_t(cols * bytesPerPixel));
      } else {
        for (int64_t c = 0; c < cols; ++c)
          std::memcpy(d + (dstCol + c) * bytesPerPixel, s + (x1 - c) * bytesPerPixel,
                      size_t(bytesPerPixel));
      }
    }
}

int32_t ownReadImageRect(ImpImageHeader *image, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                         uint8_t *dst, int64_t dstCol, int64_t dstRow, int64_t dstStep,
                         int64_t dstPlane, int32_t bytesPerPixel, int32_t planes) {
  if (image->imageData != nullptr) {
    ownCopyRectBlock(image->imageData, x1, y1, x2, y2, image->widthStep,
                     int64_t{image->widthStep} * image->height, dst, dstCol, dstRow, dstStep,
                     dstPlane, bytesPerPixel, planes);
    return 0;
  }
  const int64_t tw = image->tileInfo->width, th = image->tileInfo->height;
  const int64_t tileStep = ownGetTileWidthStep(image);
  if (tileStep == 0) return 1;
  const int64_t dx = x2 >= x1 ? 1 : -1, dy = y2 >= y1 ? 1 : -1;
  const int64_t tx1 = x1 / tw, tx2 = x2 / tw, ty1 = y1 / th, ty2 = y2 / th;
  const int32_t n = static_cast<int32_t>((tx2 - tx1) * dx + 1);
  imp::AlignedBlock<uint8_t *> tiles(n);
  if (tiles.get() == nullptr) return 1;
  int64_t rowsDone = 0;
  for (int64_t ty = ty1;; ty += dy) {
    if (ownGetTileRow(image, tiles.get(), n, static_cast<int32_t>(tx1), static_cast<int32_t>(ty),
                      static_cast<int32_t>(dx)) != 0) {
      // Give back the tiles that were handed out before failing.
      for (int32_t i = n - 1; i >= 0; --i)
        if (tiles[i] != nullptr) {
          image->tileInfo->tileData = tiles[i];
          image->tileInfo->callBack(image, static_cast<int32_t>(tx1 + i * dx),
                                    static_cast<int32_t>(ty), IMP_TILE_RELEASE);
        }
      return 1;
    }
    const int64_t ra = ty == ty1 ? y1 % th : (dy > 0 ? 0 : th - 1);
    const int64_t rb = ty == ty2 ? y2 % th : (dy > 0 ? th - 1 : 0);
    int64_t colsDone = 0;
    for (int32_t i = 0; i < n; ++i) {
      const int64_t tx = tx1 + i * dx;
      const int64_t ca = tx == tx1 ? x1 % tw : (dx > 0 ? 0 : tw - 1);
      const int64_t cb = tx == tx2 ? x2 % tw : (dx > 0 ? tw - 1 : 0);
      ownCopyRectBlock(tiles[i], ca, ra, cb, rb, tileStep, tileStep * th, dst, dstCol + colsDone,
                       dstRow + rowsDone, dstStep, dstPlane, bytesPerPixel, planes);
      colsDone += (cb - ca) * dx + 1;
    }
    rowsDone += (rb - ra) * dy + 1;
    ownReleaseTileRow(image, tiles.get(), n, static_cast<int32_t>(tx1), static_cast<int32_t>(ty),
                      static_cast<int32_t>(dx));
    if (ty == ty2) break;
  }
  return 0;
}

void ownFillFromPixel(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                      int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes) {
  ownFillFromColumn(buf, col, row, cols, 1, step, plane, bytesPerPixel, planes);
  ownFillFromRow(buf, col, row, cols, rows, step, plane, bytesPerPixel, planes);
}

void ownFillFromColumn(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                       int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes) {
  const int32_t nPlanes = bytesPerPixel == 0 ? 1 : planes;
  for (int32_t p = 0; p < nPlanes; ++p)
    for (int64_t y = 0; y < rows; ++y) {
      uint8_t *r = buf + p * plane + (row + y) * step;
      if (bytesPerPixel == 0) {
        if (getBit(r, col))
          for (int64_t x = 1; x < cols; ++x) setBit(r, col + x);
      } else {
        for (int64_t x = 1; x < cols; ++x)
          std::memcpy(r + (col + x) * bytesPerPixel, r + col * bytesPerPixel,
                      size_t(bytesPerPixel));
      }
    }
}

void ownFillFromRow(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                    int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes) {
  const int32_t nPlanes = bytesPerPixel == 0 ? 1 : planes;
  for (int32_t p = 0; p < nPlanes; ++p) {
    const uint8_t *first = buf + p * plane + row * step;
    for (int64_t y = 1; y < rows; ++y) {
      uint8_t *r = buf + p * plane + (row + y) * step;
      if (bytesPerPixel == 0) {
        for (int64_t x = 0; x < cols; ++x)
          if (getBit(first, col + x)) setBit(r, col + x);
      } else {
        std::memcpy(r + col * bytesPerPixel, first + col * bytesPerPixel,
                    size_t(cols * bytesPerPixel));
      }
    }
  }
}

uint8_t *ownGetRectWithBorder(ImpImageHeader *image, int32_t x, int32_t y, int32_t width,
                              int32_t height, int32_t *rowStep) {
  if (image == nullptr || width <= 0 || height <= 0) return nullptr;
  const ImpImageHeader &im = *image;
  if ((im.dataOrder != 0 && im.dataOrder != 1) || !imp::isKnownDepth(im.depth)) return nullptr;
  const int64_t a = im.alignment;
  if (a != 4 && a != 8 && a != 16 && a != 32) return nullptr;
  const int64_t step = (imp::rowPayloadBytes(im, width) + a - 1) / a * a;
  if (step > INT32_MAX) return nullptr;
  const int32_t planes = imp::rectPlanes(im), bpp = imp::rectPixelBytes(im);
  const int64_t plane = step * height;
  *rowStep = static_cast<int32_t>(step);
  const int64_t bytes = planes * plane + 16;
  auto *buf = static_cast<uint8_t *>(ownMallocAligned(bytes));
  if (buf == nullptr) return nullptr;
  std::memset(buf, 0, size_t(bytes));

  const int64_t W = im.width, H = im.height;
  const int32_t *mode = im.borderModes, *cst = im.borderConsts;
  enum { kTop, kBottom, kLeft, kRight };
  // Positions of the rows, and of the columns of the top band, inner rows and bottom band.
  imp::AlignedBlock<Pos> rows(height), topCols(width), innerCols(width), bottomCols(width);
  if (rows.get() == nullptr || topCols.get() == nullptr || innerCols.get() == nullptr ||
      bottomCols.get() == nullptr) {
    ownFreeAligned(buf);
    return nullptr;
  }
  axisMap(rows.get(), y, height, H, mode[kTop], cst[kTop], mode[kBottom], cst[kBottom]);
  axisMap(topCols.get(), x, width, W, mode[kTop], cst[kTop], mode[kTop], cst[kTop]);
  axisMap(innerCols.get(), x, width, W, mode[kLeft], cst[kLeft], mode[kRight], cst[kRight]);
  axisMap(bottomCols.get(), x, width, W, mode[kBottom], cst[kBottom], mode[kBottom], cst[kBottom]);

  const int64_t topRows = std::min<int64_t>(height, std::max<int64_t>(0, -int64_t{y}));
  const int64_t bottomStart = std::max<int64_t>(topRows, std::min<int64_t>(height, H - y));
  struct Band {
    int64_t from, to;
    const Pos *cols;
  } bands[3] = {{0, topRows, topCols.get()},
                {topRows, bottomStart, innerCols.get()},
                {bottomStart, height, bottomCols.get()}};
  for (const Band &band : bands) {
    for (int64_t r0 = band.from; r0 < band.to;) {
      const Run rr = runAt(rows.get(), r0, band.to);
      r0 += rr.length;
      if (rr.index < 0) {
        fillConstant(buf, im, 0, rr.first, width, rr.length, step, plane, rr.constant);
        continue;
      }
      const int64_t readRowEnd = rr.step == 0 ? rr.index : rr.index + rr.step * (rr.length - 1);
      for (int64_t c0 = 0; c0 < width;) {
        const Run cr = runAt(band.cols, c0, width);
        c0 += cr.length;
        if (cr.index < 0) {
          fillConstant(buf, im, cr.first, rr.first, cr.length, rr.length, step, plane, cr.constant);
          continue;
        }
        const int64_t readColEnd = cr.step == 0 ? cr.index : cr.index + cr.step * (cr.length - 1);
        if (ownReadImageRect(image, cr.index, rr.index, readColEnd, readRowEnd, buf, cr.first,
                             rr.first, step, plane, bpp, planes) != 0) {
          ownFreeAligned(buf);
          return nullptr;
        }
        if (cr.step == 0 && rr.step == 0)
          ownFillFromPixel(buf, cr.first, rr.first, cr.length, rr.length, step, plane, bpp, planes);
        else if (cr.step == 0)
          ownFillFromColumn(buf, cr.first, rr.first, cr.length, rr.length, step, plane, bpp,
                            planes);
        else if (rr.step == 0)
          ownFillFromRow(buf, cr.first, rr.first, cr.length, rr.length, step, plane, bpp, planes);
      }
    }
  }
  return buf;
}

void ownFreeRect(void *buffer) {
  ownFreeAligned(buffer);
}
