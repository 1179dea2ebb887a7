// The generic tile walker. Block edges are the union of the tile grids of every tiled image
// (each grid taken at that image's region offset), so each block lies in one tile of every
// tiled image and its view header can point straight into the tile: no pixel is copied.
// Untiled images take part through a header copy whose region is moved to the block.
#include <algorithm>

#include "imp_internal.h"
#include "imp_tiles.h"

namespace {

struct Walker {
  ImpImageHeader *image = nullptr;
  int32_t mode = IMP_TILE_READ;
  int32_t owner = 0;  // index of the first listing of the same image
  int64_t x0 = 0, y0 = 0;
  int32_t coi = 0;
  int32_t tileStep = 0;
  ImpImageHeader view{};
  ImpRoiRecord roi{};
  ImpImageHeader maskView{};
  ImpRoiRecord maskRoi{};
  int64_t mx0 = 0, my0 = 0;
  uint8_t *tile = nullptr;
  int32_t tileColumn = 0, tileRow = 0;
};

int64_t offsetOf(int32_t v) {
  return v > 0 ? v : 0;
}

// Distance from position p to the next multiple of `size`.
int64_t toEdge(int64_t p, int64_t size) {
  return size - p % size;
}

}  // namespace

bool ownAnyTiled(const ImpImageHeader *const *images, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (images[i] != nullptr && images[i]->tileInfo != nullptr) return true;
  return false;
}

int32_t ownWalkTiles(const ImpWalkImage *images, int32_t n, int32_t width, int32_t height,
                     ImpBlockFn block, void *context, int32_t *failed) {
  if (n <= 0 || n > kImpMaxWalkImages) return IMP_STS_BAD_STATE;
  Walker w[kImpMaxWalkImages];
  ImpImageHeader *views[kImpMaxWalkImages] = {};
  for (int32_t i = 0; i < n; ++i) {
    Walker &e = w[i];
    e.image = images[i].image;
    e.mode = images[i].mode;
    e.owner = i;
    for (int32_t j = 0; j < i; ++j)
      if (images[j].image == e.image) {
        e.owner = j;
        w[j].mode = std::max(w[j].mode, e.mode);
        break;
      }
    if (e.image->roi != nullptr) {
      e.x0 = offsetOf(e.image->roi->xOffset);
      e.y0 = offsetOf(e.image->roi->yOffset);
      e.coi = e.image->roi->coi;
    }
    if (const ImpImageHeader *m = e.image->maskROI; m != nullptr && m->roi != nullptr) {
      e.mx0 = offsetOf(m->roi->xOffset);
      e.my0 = offsetOf(m->roi->yOffset);
    }
    if (e.image->tileInfo != nullptr) e.tileStep = ownGetTileWidthStep(e.image);
  }
  auto release = [&](int32_t upTo) {
    for (int32_t i = upTo - 1; i >= 0; --i) {
      Walker &e = w[i];
      if (e.owner != i || e.tile == nullptr) continue;
      e.image->tileInfo->tileData = e.tile;
      e.image->tileInfo->callBack(e.image, e.tileColumn, e.tileRow, IMP_TILE_RELEASE);
      e.tile = nullptr;
    }
  };

  for (int64_t cy = 0; cy < height;) {
    int64_t bh = height - cy;
    for (int32_t i = 0; i < n; ++i)
      if (w[i].image->tileInfo != nullptr)
        bh = std::min(bh, toEdge(w[i].y0 + cy, w[i].image->tileInfo->height));
    for (int64_t cx = 0; cx < width;) {
      int64_t bw = width - cx;
      for (int32_t i = 0; i < n; ++i)
        if (w[i].image->tileInfo != nullptr)
          bw = std::min(bw, toEdge(w[i].x0 + cx, w[i].image->tileInfo->width));
      for (int32_t i = 0; i < n; ++i) {
        Walker &e = w[i];
        if (e.owner != i) {  // the same image listed again shares the first listing's view
          views[i] = views[e.owner];
          continue;
        }
        const int64_t x = e.x0 + cx, y = e.y0 + cy;
        ImpImageHeader &v = e.view;
        v = *e.image;
        if (e.image->tileInfo != nullptr) {
          const ImpTileInfoRecord &t = *e.image->tileInfo;
          e.tileColumn = static_cast<int32_t>(x / t.width);
          e.tileRow = static_cast<int32_t>(y / t.height);
          e.image->tileInfo->tileData = nullptr;
          t.callBack(e.image, e.tileColumn, e.tileRow, e.mode);
          e.tile = e.image->tileInfo->tileData;
          if (e.tile == nullptr) {
            release(i);
            if (failed != nullptr) *failed = i;
            return IMP_STS_NO_TILE;
          }
          v.tileInfo = nullptr;
          v.imageData = e.tile;
          v.dataOrigin = nullptr;
          v.width = t.width;
          v.height = t.height;
          v.widthStep = e.tileStep;
          v.dataSize = static_cast<int32_t>(int64_t{e.tileStep} * t.height * imp::rectPlanes(v));
          e.roi = ImpRoiRecord{e.coi, static_cast<int32_t>(x % t.width),
                               static_cast<int32_t>(y % t.height), static_cast<int32_t>(bw),
                               static_cast<int32_t>(bh)};
        } else {
          e.roi = ImpRoiRecord{e.coi, static_cast<int32_t>(x), static_cast<int32_t>(y),
                               static_cast<int32_t>(bw), static_cast<int32_t>(bh)};
        }
        v.roi = &e.roi;
        if (e.image->maskROI != nullptr) {
          e.maskView = *e.image->maskROI;
          e.maskRoi =
              ImpRoiRecord{0, static_cast<int32_t>(e.mx0 + cx), static_cast<int32_t>(e.my0 + cy),
                           static_cast<int32_t>(bw), static_cast<int32_t>(bh)};
          e.maskView.roi = &e.maskRoi;
          e.maskView.maskROI = nullptr;
          v.maskROI = &e.maskView;
        }
        views[i] = &v;
      }
      const int32_t st = block(context, views);
      release(n);
      if (st != 0) return st;
      cx += bw;
    }
    cy += bh;
  }
  return 0;
}
