// Tiled access for the image primitives: the generic tile walker every operation runs its
// untiled kernels through, the tile-access list that serves one contiguous view per image for
// a block (the image itself, one tile, or a block gathered from several tiles and written back
// on release), and the row-access record that locates a channel's samples.
#ifndef IMP_TILES_H
#define IMP_TILES_H

#include <type_traits>

#include "imp_image.h"

// One image taking part in a walk: IMP_TILE_READ or IMP_TILE_WRITE.
struct ImpWalkImage {
  ImpImageHeader *image;
  int32_t mode;
};

// Walks a common region of width x height pixels (starting at each image's region offset, a
// negative offset counted as 0) in blocks that lie inside one tile of every tiled image, and
// runs `block` on untiled view headers of the block, in the order of `images`. Each view's
// roi is exactly the block (its coi kept) and its maskROI a view of the image's mask shifted
// with the block. An image listed twice is fetched once, for writing when either use writes.
// Tiles are fetched before and given back after each block. Returns 0, the first non-zero
// result of `block`, or IMP_STS_NO_TILE with *failed set to the index of the image whose
// call-back gave no data (tiles fetched for that block are given back).
// At most this many images take part in one walk (more: IMP_STS_BAD_STATE).
constexpr int32_t kImpMaxWalkImages = 8;

using ImpBlockFn = int32_t (*)(void *context, ImpImageHeader *const *views);

int32_t ownWalkTiles(const ImpWalkImage *images, int32_t n, int32_t width, int32_t height,
                     ImpBlockFn block, void *context, int32_t *failed);

// The same with any callable taking the views.
template <class Fn>
int32_t ownWalkTiles(const ImpWalkImage *images, int32_t n, int32_t width, int32_t height,
                     Fn &&block, int32_t *failed) {
  using F = std::remove_reference_t<Fn>;
  return ownWalkTiles(
      images, n, width, height,
      [](void *c, ImpImageHeader *const *v) -> int32_t { return (*static_cast<F *>(c))(v); },
      static_cast<void *>(&block), failed);
}

// True when any of the n images (nulls allowed) is tiled.
bool ownAnyTiled(const ImpImageHeader *const *images, int32_t n);

struct ImpTileAccessEntry {
  ImpImageHeader *image;  // null: free slot
  int32_t useCount;
  int32_t mode;          // IMP_TILE_READ or IMP_TILE_WRITE
  ImpImageHeader *view;  // untiled: the image's own size over its pixels; tiled: block image
  ImpRoiRecord *viewRoi;
  ImpImageHeader *tileHeader;  // one tile's layout; imageData set to the tile served
  ImpRoiRecord *tileRoi;
  ImpImageHeader *current;  // the view handed out
  int32_t tileWidth, tileHeight;
  uint8_t **tiles;      // tiles of the current block, row by row
  int32_t tileColumns;  // columns of that array
  int32_t firstColumn, lastColumn, firstRow, lastRow;
};

struct ImpTileAccessList {
  int32_t capacity;
  int32_t blockWidth, blockHeight;
  int32_t status;  // 0, -1 a copy failed, -2 a call-back gave no tile, -4 no memory
  int32_t x, y, width, height;
  ImpTileAccessEntry *entries;
};

ImpTileAccessList *ownCreateTileAccess(int32_t n, int32_t blockWidth, int32_t blockHeight);
int32_t ownAddTileAccessImage(ImpTileAccessList *list, ImpImageHeader *image, int32_t mode);
void ownSetTileAccessRect(ImpTileAccessList *list, int32_t x, int32_t y, int32_t width,
                          int32_t height);
ImpImageHeader *ownGetTileAccessView(ImpTileAccessList *list, int32_t index);
void ownReleaseTileAccessView(ImpTileAccessList *list, int32_t index);
void ownReleaseTileAccessViews(ImpTileAccessList *list);
void ownRemoveTileAccessImage(ImpTileAccessList *list, int32_t index);
void ownDestroyTileAccess(ImpTileAccessList *list);
int32_t ownGetTileAccessStatus(const ImpTileAccessList *list);

// Where a channel's samples lie: sample (row y, column x) of the channel is at
// data + (start + y * rowStep + x * pixelStep) samples (bits for 1-bit images).
struct ImpRowAccessRecord {
  uint8_t *data;
  uint32_t depth;
  int64_t start;
  int64_t planeStep;
  int64_t rowStep;
  int64_t pixelStep;
};

// Sets up the record for 1-based `channel` of the image from the offsets of `roi` (none: 0).
void ownInitRowAccess(ImpRowAccessRecord *access, const ImpImageHeader *image, int32_t channel,
                      const ImpRoiRecord *roi);

#endif
