// Pages of image files as core images and token images: one page of a TIFF file (by name, or
// of a file kept open so that pages read in order are each reached from the one before), or the
// first image of a file of any type the image core reads (TIFF, BMP, PNM, Sun raster, PCX), read
// by the image core, turned by a number of quarter turns, palettes expanded into three 8-bit
// channels, and the result described in a TcImage record for the encoder's page loop.
//
// Token coordinates and sizes are 16-bit, so pages wider or taller than 32,767 pixels are
// refused (2) rather than handed on to wrap. Quarter turns are taken modulo 4 with negative
// counts turning the other way (-1 is three quarter turns).
#include <cstdint>

#include "pxl_image.h"
#include "pxl_imagefile.h"
#include "pxl_owners_internal.h"
#include "pxl_pixops.h"
#include "pxl_rotate.h"
#include "pxl_tiffpage.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util_internal.h"

namespace {

constexpr int32_t kMaxTokenSide = 32767;

// Replaces the image with its turn by quarterTurns (any sign) quarter turns clockwise.
int32_t turn(PxlContext *ctx, pxl::OwnedImage &image, int32_t quarterTurns) {
  pxl::OwnedImage turned(ctx);
  int32_t status = 0;
  switch (((quarterTurns % 4) + 4) % 4) {
    case 0:
      return 0;
    case 1:
      status = pxlRotate90(ctx, image.get(), turned.put());
      break;
    case 2:
      status = pxlRotate180(ctx, image.get(), turned.put());
      break;
    default:
      status = pxlRotate270(ctx, image.get(), turned.put());
      break;
  }
  if (status != 0) return status;
  image.reset(turned.release());
  return 0;
}

// Replaces an image that has a colour map with its three-channel RGB expansion.
int32_t expandPalette(PxlContext *ctx, pxl::OwnedImage &image) {
  PxlColorMap *map = nullptr;
  if (int32_t status = pxlGetImageColormap(ctx, image.get(), &map); status != 0) return status;
  if (map == nullptr) return 0;
  pxl::OwnedImage expanded(ctx);
  if (int32_t status = pxlPaletteToPlanes(ctx, image.get(), nullptr, map, expanded.put());
      status != 0)
    return status;
  image.reset(expanded.release());
  return 0;
}

// Fills a record from the image (which it then owns).
void describe(PxlContext *ctx, Pixr *image, int32_t width, int32_t height, int32_t bytesPerRow,
              TcImage *record) {
  int32_t xResolution = 0, yResolution = 0;
  pxlGetImageResolution(ctx, image, &xResolution, &yResolution);
  record->width = width;
  record->height = height;
  record->xResolution = xResolution >> 16;
  record->yResolution = yResolution >> 16;
  record->bytesPerRow = bytesPerRow;
  pxlGetImageDepth(ctx, image, &record->depth);
  pxlGetImageChannelCount(ctx, image, &record->channels);
  pxlGetImageFramedData(ctx, image, &record->pixels);
  record->image = image;
}

// Refuses pages too large for token coordinates, then turns the image read.
int32_t checkAndTurn(QtzState *state, pxl::OwnedImage &read, int32_t quarterTurns) {
  PxlContext *ctx = state->ipwContext;
  int32_t w = 0, h = 0;
  pxlGetImageWidth(ctx, read.get(), &w);
  pxlGetImageHeight(ctx, read.get(), &h);
  if (w > kMaxTokenSide || h > kMaxTokenSide) return qtz::report(state, 2);
  return turn(ctx, read, quarterTurns);
}

// Hands out the image with its width, height and the given bytes per row.
void handOut(PxlContext *ctx, pxl::OwnedImage &read, int32_t stride, int32_t *width,
             int32_t *height, int32_t *bytesPerRow, Pixr **image) {
  pxlGetImageWidth(ctx, read.get(), width);
  pxlGetImageHeight(ctx, read.get(), height);
  *bytesPerRow = stride;
  *image = read.release();
}

bool outputsGiven(const char *path, int32_t *width, int32_t *height, int32_t *bytesPerRow,
                  Pixr **image) {
  return image != nullptr && path != nullptr && width != nullptr && height != nullptr &&
         bytesPerRow != nullptr;
}

}  // namespace

int32_t ipReadOpenTiffPage(QtzState *state, TIFF *file, int32_t quarterTurns, int32_t page,
                           TcImage **image) {
  *image = nullptr;
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage read(ctx);
  if (int32_t status = pxlReadTiffPage(ctx, file, page, 0, read.put()); status != 0) return status;
  if (!read) return 0;
  if (int32_t status = checkAndTurn(state, read, quarterTurns); status != 0) return status;
  int32_t stride = 0;
  pxlGetImageBytesPerRow(ctx, read.get(), &stride);
  if (int32_t status = expandPalette(ctx, read); status != 0) return status;
  qtz::OwnedBlock<TcImage> record(state,
                                  static_cast<TcImage *>(qtz::allocate(state, sizeof(TcImage))));
  if (!record) return qtz::report(state, 1);
  int32_t width = 0, height = 0, bytesPerRow = 0;
  Pixr *kept = nullptr;
  handOut(ctx, read, stride, &width, &height, &bytesPerRow, &kept);
  describe(ctx, kept, width, height, bytesPerRow, record.get());
  *image = record.release();
  return 0;
}

int32_t ipReadImageFile(const char *path, int32_t quarterTurns, int32_t *width, int32_t *height,
                        int32_t *bytesPerRow, Pixr **image, QtzState *state) {
  if (!outputsGiven(path, width, height, bytesPerRow, image)) return qtz::report(state, 118);
  *image = nullptr;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, 118);
  pxl::OwnedImage read(ctx);
  if (int32_t status = pxlReadImageFile(ctx, path, 1, read.put()); status != 0) return status;
  // Every reader that succeeds hands out an image; a file without one is unreadable.
  if (!read) return qtz::report(state, PXL_ERR_FILE_READ);
  if (int32_t status = checkAndTurn(state, read, quarterTurns); status != 0) return status;
  if (int32_t status = expandPalette(ctx, read); status != 0) return status;
  int32_t stride = 0;
  pxlGetImageBytesPerRow(ctx, read.get(), &stride);
  handOut(ctx, read, stride, width, height, bytesPerRow, image);
  return 0;
}

extern "C" int32_t tc_readTiffEx(QtzState *state, const char *path, int32_t quarterTurns,
                                 int32_t page, TcImage **image) {
  if (state == nullptr) return 118;
  if (image == nullptr) return qtz::report(state, 118);
  *image = nullptr;
  PxlContext *ctx = state->ipwContext;
  if (path == nullptr || ctx == nullptr) return qtz::report(state, 118);
  pxl::OwnedTiff file(ctx);
  if (int32_t status = pxlOpenTiffForRead(ctx, path, file.put()); status != 0) return status;
  return ipReadOpenTiffPage(state, file.get(), quarterTurns, page, image);
}

extern "C" int32_t tc_readTiff(QtzState *state, const char *path, int32_t quarterTurns,
                               TcImage **image) {
  if (state == nullptr) return 118;
  if (image == nullptr) return qtz::report(state, 118);
  *image = nullptr;
  qtz::OwnedBlock<TcImage> record(state,
                                  static_cast<TcImage *>(qtz::allocate(state, sizeof(TcImage))));
  if (!record) return qtz::report(state, 1);
  int32_t width = 0, height = 0, bytesPerRow = 0;
  Pixr *read = nullptr;
  int32_t status = ipReadImageFile(path, quarterTurns, &width, &height, &bytesPerRow, &read, state);
  if (status != 0) return status;
  describe(state->ipwContext, read, width, height, bytesPerRow, record.get());
  *image = record.release();
  return 0;
}

extern "C" int32_t tc_freeImage(QtzState *state, TcImage *image) {
  if (image == nullptr) return 0;
  if (state == nullptr) return 118;
  if (image->image != nullptr) {
    if (int32_t status = pxlDestroyImage(state->ipwContext, &image->image); status != 0)
      return status;
  }
  qtz::release(state, image);
  return 0;
}
