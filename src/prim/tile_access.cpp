// Tile-access list and row access.
//
// For the current block the list serves one contiguous header per image: an untiled image's
// own pixels with a region of the block; for a tiled image the tile itself when the block lies
// in one tile, else a temporary block image gathered from the covering tiles. Views of images
// added for writing are copied back into their tiles when released (only while the list's
// status is 0), so exactly the blocks written reach the tiles. Every channel is moved,
// the alpha channel included. Failures are kept in the list's status, never reported.
#include <algorithm>
#include <cstring>

#include "imp_internal.h"
#include "imp_tiles.h"

namespace {

inline bool getBit(const uint8_t *row, int64_t x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Copies a w x h pixel rectangle between two buffers of one image layout, replacing the
// destination's pixels (bits for 1-bit images).
void copyRect(const uint8_t *src, int64_t sx, int64_t sy, int64_t srcStep, int64_t srcPlane,
              uint8_t *dst, int64_t dx, int64_t dy, int64_t dstStep, int64_t dstPlane, int64_t w,
              int64_t h, int32_t bpp, int32_t planes) {
  for (int32_t p = 0; p < (bpp == 0 ? 1 : planes); ++p)
    for (int64_t r = 0; r < h; ++r) {
      const uint8_t *s = src + p * srcPlane + (sy + r) * srcStep;
      uint8_t *d = dst + p * dstPlane + (dy + r) * dstStep;
      if (bpp != 0) {
        std::memcpy(d + dx * bpp, s + sx * bpp, size_t(w * bpp));
        continue;
      }
      for (int64_t c = 0; c < w; ++c) {
        const uint8_t bit = uint8_t(0x80u >> ((dx + c) & 7));
        uint8_t &byte = d[(dx + c) >> 3];
        byte = getBit(s, sx + c) ? (byte | bit) : (byte & ~bit);
      }
    }
}

ImpImageHeader *copyHeader(const ImpImageHeader &im) {
  auto *h = static_cast<ImpImageHeader *>(ownMallocAligned(sizeof(ImpImageHeader)));
  if (h != nullptr) {
    *h = im;
    h->ownedData = nullptr;  // a view over the image's pixels, never their owner
  }
  return h;
}

ImpTileAccessEntry *entryOf(ImpTileAccessList *list, int32_t index) {
  if (list == nullptr || index < 1 || index > list->capacity) return nullptr;
  ImpTileAccessEntry *e = &list->entries[index - 1];
  return e->image != nullptr ? e : nullptr;
}

// Block position of the entry's image: the list's block plus the image's region offset.
void blockOrigin(const ImpTileAccessList &list, const ImpImageHeader &im, int64_t *x, int64_t *y,
                 int32_t *coi) {
  *x = list.x, *y = list.y, *coi = 0;
  if (im.roi != nullptr) {
    *x += im.roi->xOffset > 0 ? im.roi->xOffset : 0;
    *y += im.roi->yOffset > 0 ? im.roi->yOffset : 0;
    *coi = im.roi->coi;
  }
}

void giveBack(ImpImageHeader *image, uint8_t *tile, int32_t column, int32_t row) {
  image->tileInfo->tileData = tile;
  image->tileInfo->callBack(image, column, row, IMP_TILE_RELEASE);
}

// Gathers (toBlock) or scatters one tile's part of the block between the tile and the block
// image whose top-left pixel is image pixel (bx, by).
void moveTilePart(ImpTileAccessEntry &e, const ImpTileAccessList &list, uint8_t *tile,
                  int32_t column, int32_t row, int64_t bx, int64_t by, bool toBlock) {
  const ImpImageHeader &im = *e.image;
  const int64_t tw = e.tileWidth, th = e.tileHeight;
  const int64_t x0 = std::max<int64_t>(bx, column * tw),
                x1 = std::min<int64_t>(bx + list.width, (column + 1) * tw);
  const int64_t y0 = std::max<int64_t>(by, row * th),
                y1 = std::min<int64_t>(by + list.height, (row + 1) * th);
  const int64_t tileStep = e.tileHeader->widthStep, tilePlane = tileStep * th;
  const ImpImageHeader &v = *e.view;
  const int64_t viewPlane = int64_t{v.widthStep} * v.height;
  const int32_t bpp = imp::rectPixelBytes(im), planes = imp::rectPlanes(im);
  if (toBlock)
    copyRect(tile, x0 - column * tw, y0 - row * th, tileStep, tilePlane, v.imageData, x0 - bx,
             y0 - by, v.widthStep, viewPlane, x1 - x0, y1 - y0, bpp, planes);
  else
    copyRect(v.imageData, x0 - bx, y0 - by, v.widthStep, viewPlane, tile, x0 - column * tw,
             y0 - row * th, tileStep, tilePlane, x1 - x0, y1 - y0, bpp, planes);
}

}  // namespace

ImpTileAccessList *ownCreateTileAccess(int32_t n, int32_t blockWidth, int32_t blockHeight) {
  if (n <= 0) return nullptr;
  auto *list = static_cast<ImpTileAccessList *>(ownMallocAligned(sizeof(ImpTileAccessList)));
  if (list == nullptr) return nullptr;
  auto *entries =
      static_cast<ImpTileAccessEntry *>(ownMallocAligned(int64_t{n} * sizeof(ImpTileAccessEntry)));
  if (entries == nullptr) {
    ownFreeAligned(list);
    return nullptr;
  }
  std::memset(entries, 0, size_t(n) * sizeof(ImpTileAccessEntry));
  *list = ImpTileAccessList{n, blockWidth, blockHeight, 0, 0, 0, 0, 0, entries};
  return list;
}

int32_t ownAddTileAccessImage(ImpTileAccessList *list, ImpImageHeader *image, int32_t mode) {
  if (list == nullptr || list->capacity <= 0 || list->status != 0) return -1;
  if (image == nullptr) return 0;
  int32_t free = 0;
  for (int32_t i = 0; i < list->capacity; ++i) {
    if (list->entries[i].image == image) return i + 1;
    if (free == 0 && list->entries[i].image == nullptr) free = i + 1;
  }
  if (free == 0) return -1;  // a full list refuses further images
  ImpTileAccessEntry &e = list->entries[free - 1];
  e = ImpTileAccessEntry{};
  e.image = image;
  e.mode = mode;
  if (image->tileInfo != nullptr) {
    e.tileWidth = image->tileInfo->width;
    e.tileHeight = image->tileInfo->height;
    e.tileRoi = ownNewRoi(0, 0, 0, 0, 0);
    e.viewRoi = ownNewRoi(0, 0, 0, 0, 0);
    if (e.tileRoi != nullptr)
      e.tileHeader = impCreateImageHeader(image->nChannels, image->alphaChannel, image->depth,
                                          image->colorModel, image->channelSeq, image->dataOrder,
                                          image->origin, image->alignment, e.tileWidth,
                                          e.tileHeight, e.tileRoi, nullptr, nullptr, nullptr);
    if (e.tileHeader == nullptr || e.viewRoi == nullptr) list->status = IMP_STS_NO_MEMORY;
  } else {
    e.viewRoi = ownNewRoi(0, 0, 0, 0, 0);
    e.view = copyHeader(*image);
    if (e.view == nullptr || e.viewRoi == nullptr) {
      list->status = IMP_STS_NO_MEMORY;
    } else {
      e.view->roi = e.viewRoi;
      e.view->maskROI = nullptr;
    }
  }
  return free;
}

void ownSetTileAccessRect(ImpTileAccessList *list, int32_t x, int32_t y, int32_t width,
                          int32_t height) {
  if (list == nullptr) return;
  list->x = x, list->y = y, list->width = width, list->height = height;
}

ImpImageHeader *ownGetTileAccessView(ImpTileAccessList *list, int32_t index) {
  ImpTileAccessEntry *e = entryOf(list, index);
  if (e == nullptr || list->status != 0) return nullptr;
  if (e->useCount++ > 0) return e->current;
  int64_t bx, by;
  int32_t coi;
  blockOrigin(*list, *e->image, &bx, &by, &coi);
  const int32_t bw = list->width, bh = list->height;
  if (e->image->tileInfo == nullptr) {
    ownSetRoiRect(e->viewRoi, coi, int32_t(bx), int32_t(by), bw, bh);
    return e->current = e->view;
  }
  ImpImageHeader *image = e->image;
  const int64_t tw = e->tileWidth, th = e->tileHeight;
  e->firstColumn = int32_t(bx / tw), e->lastColumn = int32_t((bx + bw - 1) / tw);
  e->firstRow = int32_t(by / th), e->lastRow = int32_t((by + bh - 1) / th);
  if (e->firstColumn == e->lastColumn && e->firstRow == e->lastRow) {
    image->tileInfo->tileData = nullptr;
    image->tileInfo->callBack(image, e->firstColumn, e->firstRow, e->mode);
    e->tileHeader->imageData = image->tileInfo->tileData;
    if (e->tileHeader->imageData == nullptr) {
      list->status = IMP_STS_NO_TILE;
      return nullptr;
    }
    ownSetRoiRect(e->tileRoi, coi, int32_t(bx % tw), int32_t(by % th), bw, bh);
    return e->current = e->tileHeader;
  }
  if (e->view == nullptr) {
    e->view = impCreateImageHeader(image->nChannels, image->alphaChannel, image->depth,
                                   image->colorModel, image->channelSeq, image->dataOrder,
                                   image->origin, image->alignment, list->blockWidth,
                                   list->blockHeight, e->viewRoi, nullptr, nullptr, nullptr);
    if (e->view != nullptr) impAllocateImage(e->view, 0, 0);
    e->tileColumns = int32_t((list->blockWidth + tw - 1) / tw + 1);
    const int64_t tileRows = (list->blockHeight + th - 1) / th + 1;
    e->tiles = static_cast<uint8_t **>(
        ownMallocAligned(e->tileColumns * tileRows * int64_t(sizeof(uint8_t *))));
    if (e->view == nullptr || e->view->imageData == nullptr || e->tiles == nullptr) {
      list->status = IMP_STS_NO_MEMORY;
      return nullptr;
    }
  }
  const int32_t columns = e->lastColumn - e->firstColumn + 1, rows = e->lastRow - e->firstRow + 1;
  std::memset(e->tiles, 0, size_t(e->tileColumns) * size_t(rows) * sizeof(uint8_t *));
  e->current = e->view;  // release gives back whatever was fetched, also after a failure
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t c = 0; c < columns; ++c) {
      image->tileInfo->tileData = nullptr;
      image->tileInfo->callBack(image, e->firstColumn + c, e->firstRow + r, e->mode);
      uint8_t *tile = image->tileInfo->tileData;
      if (tile == nullptr) {
        list->status = IMP_STS_NO_TILE;
        return nullptr;
      }
      e->tiles[r * e->tileColumns + c] = tile;
      moveTilePart(*e, *list, tile, e->firstColumn + c, e->firstRow + r, bx, by, true);
    }
  ownSetRoiRect(e->viewRoi, coi, 0, 0, bw, bh);
  return e->view;
}

void ownReleaseTileAccessView(ImpTileAccessList *list, int32_t index) {
  ImpTileAccessEntry *e = entryOf(list, index);
  if (e == nullptr || e->useCount == 0) return;
  e->useCount = 0;
  ImpImageHeader *image = e->image;
  if (image->tileInfo == nullptr || e->current == nullptr) return;
  if (e->current == e->tileHeader) {
    if (e->tileHeader->imageData != nullptr)
      giveBack(image, e->tileHeader->imageData, e->firstColumn, e->firstRow);
    e->tileHeader->imageData = nullptr;
    e->current = nullptr;
    return;
  }
  int64_t bx, by;
  int32_t coi;
  blockOrigin(*list, *image, &bx, &by, &coi);
  const int32_t columns = e->lastColumn - e->firstColumn + 1, rows = e->lastRow - e->firstRow + 1;
  e->current = nullptr;
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t c = 0; c < columns; ++c) {
      uint8_t *tile = e->tiles[r * e->tileColumns + c];
      if (tile == nullptr) return;
      if (e->mode == IMP_TILE_WRITE && list->status == 0)
        moveTilePart(*e, *list, tile, e->firstColumn + c, e->firstRow + r, bx, by, false);
      giveBack(image, tile, e->firstColumn + c, e->firstRow + r);
    }
}

void ownReleaseTileAccessViews(ImpTileAccessList *list) {
  if (list == nullptr) return;
  for (int32_t i = 1; i <= list->capacity; ++i) ownReleaseTileAccessView(list, i);
}

void ownRemoveTileAccessImage(ImpTileAccessList *list, int32_t index) {
  ImpTileAccessEntry *e = entryOf(list, index);
  if (e == nullptr) return;
  ownReleaseTileAccessView(list, index);
  if (e->image->tileInfo != nullptr)
    ownReleaseImage(e->view, IMP_RELEASE_HEADER | IMP_RELEASE_DATA);
  else
    ownReleaseImage(e->view, IMP_RELEASE_HEADER);
  ownReleaseImage(e->tileHeader, IMP_RELEASE_HEADER);
  ownFreeAligned(e->viewRoi);
  ownFreeAligned(e->tileRoi);
  ownFreeAligned(e->tiles);
  *e = ImpTileAccessEntry{};
}

void ownDestroyTileAccess(ImpTileAccessList *list) {
  if (list == nullptr) return;
  for (int32_t i = 1; i <= list->capacity; ++i) ownRemoveTileAccessImage(list, i);
  ownFreeAligned(list->entries);
  ownFreeAligned(list);
}

int32_t ownGetTileAccessStatus(const ImpTileAccessList *list) {
  return list != nullptr ? list->status : IMP_STS_BAD_STATE;
}

void ownInitRowAccess(ImpRowAccessRecord *access, const ImpImageHeader *image, int32_t channel,
                      const ImpRoiRecord *roi) {
  const int32_t bits = imp::bitsOf(image->depth);
  const int64_t rowStep = bits == 1 ? int64_t{image->widthStep} * 8 : image->widthStep / (bits / 8);
  const bool planar = image->dataOrder == IMP_DATA_ORDER_PLANE;
  const int64_t planeStep = planar ? image->height * rowStep : 1;
  const int64_t pixelStep = planar ? 1 : image->nChannels;
  const int64_t x = roi != nullptr ? roi->xOffset : 0, y = roi != nullptr ? roi->yOffset : 0;
  *access = ImpRowAccessRecord{
      image->imageData, image->depth, planeStep * (channel - 1) + y * rowStep + x * pixelStep,
      planeStep,        rowStep,      pixelStep};
}
