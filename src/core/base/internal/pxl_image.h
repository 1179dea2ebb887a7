/*
 * Image descriptor of the image core (Pixr), its property accessors, rectangle records and
 * the raw row and frame kernels underneath them.
 *
 * A Pixr names a pixel block and says how to read it: content width and height, depth,
 * stride, a frame of 0 or 32 pixels on every side (kept at 0), resolution (16.16 dpi),
 * colour code and colour map. Rows are 32-bit little-endian words with the leftmost pixel
 * in the most significant bits; the pixel byte of x (depths 2, 4, 8) is at
 * (row + x * depth / 8) XOR 3. A channel set (channelCount > 1) owns up to four
 * single-channel descriptors; its getters answer with its main channel (channel 1 when
 * channel 0's colorCode is 1 or 2, else channel 0).
 *
 * Layout (processing unit U = 4 or 8 bytes, pxlGetProcessingUnit):
 *   bytesPerRow = 2 * F * D / 8 + ceil(W * D / (8U)) * U
 *   rows        = H rounded up so that rows * D is a multiple of 8U bits
 *   blockSize   = bytesPerRow * (rows + 2F) + 4   (64-bit; overflow gives status 2)
 * With U = 8 the content start is moved by 4 bytes where needed so that content rows start
 * on 8-byte boundaries; framedData is then pixelBlock or pixelBlock + 4.
 *
 * Colour maps are reference counted: every descriptor that holds a map counts once in
 * map->references; destroying the last holder frees the map. A map fresh from its maker has
 * references 0 and passes to the first image it is attached to.
 */
#ifndef PXL_IMAGE_H
#define PXL_IMAGE_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* Palette: count entries of 4 bytes (red, green, blue, 0), from the record set. */
typedef struct PxlColorMap {
  uint16_t count;
  int32_t kind;       /* 1 */
  uint8_t *entries;   /* count * 4 bytes */
  int32_t references; /* descriptors holding the map: its maker sets 0 */
} PxlColorMap;

enum { PXL_MAX_CHANNELS = 4 };

typedef struct Pixr {
  uint16_t channelCount;
  int32_t width;       /* content width, frame excluded */
  int32_t height;      /* content height, frame excluded */
  int32_t depth;       /* bits per pixel */
  int32_t bytesPerRow; /* stride of framed rows */
  int32_t frame;       /* 0 or 32 */
  int32_t byteOrder;   /* 0: the core's word layout */
  int32_t xResolution; /* 16.16 dots per inch */
  int32_t yResolution;
  int32_t colorCode; /* 5 for single-channel creates; 1-6 for channel sets */
  PxlColorMap *colorMap;
  void *pixelBlock;      /* block as allocated; released on destruction */
  uint8_t *framedData;   /* top-left pixel of the frame */
  struct Pixr *ringPrev; /* ring of descriptors sharing pixelBlock */
  struct Pixr *ringNext;
  struct Pixr *channels[PXL_MAX_CHANNELS]; /* channel set only; other fields 0 */
} Pixr;

/* Validation flags: each names one accepted value; all are distinct bits. */
enum {
  PXL_ACCEPT_DEPTH_1 = 0x1,
  PXL_ACCEPT_DEPTH_2 = 0x2,
  PXL_ACCEPT_DEPTH_4 = 0x4,
  PXL_ACCEPT_DEPTH_8 = 0x8,
  PXL_ACCEPT_DEPTH_10 = 0x10,
  PXL_ACCEPT_DEPTH_12 = 0x20,
  PXL_ACCEPT_DEPTH_16 = 0x40,
  PXL_ACCEPT_CHANNELS_1 = 0x80,
  PXL_ACCEPT_CHANNELS_3 = 0x100,
  PXL_ACCEPT_ORDER_0 = 0x200,
  PXL_ACCEPT_ORDER_1 = 0x400,
  PXL_ACCEPT_FRAME_0 = 0x800,
  PXL_ACCEPT_FRAME_32 = 0x1000,

  PXL_ACCEPT_DEPTH_1_TO_8 = 0xF,
  PXL_ACCEPT_DEPTH_ANY = 0x7F,
  PXL_ACCEPT_CHANNELS_ANY = 0x180,
  PXL_ACCEPT_ORDER_ANY = 0x600,
  PXL_ACCEPT_FRAME_ANY = 0x1800
};

/* Modes of pxlAllocImageBlock. */
enum { PXL_BLOCK_ALLOCATE = 0, PXL_BLOCK_ZEROED = 1, PXL_BLOCK_RESIZE = 2 };

/* ---- Descriptor: creation, destruction, channels, validation ---- */

int32_t pxlCreateImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                       int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **out);
int32_t pxlCreateImageNoClear(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                              int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **out);
int32_t pxlCreateImageHeader(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                             int32_t xResolution, int32_t yResolution, int32_t frame,
                             void *pixelBlock, Pixr **out);
int32_t pxlCreateMultiChannelImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                   int32_t xResolution, int32_t yResolution, int32_t frame,
                                   int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                   Pixr **out);
int32_t pxlCreateMultiChannelImageNoClear(PxlContext *ctx, int32_t width, int32_t height,
                                          int32_t depth, int32_t xResolution, int32_t yResolution,
                                          int32_t frame, int32_t channelCount, int32_t colorCode,
                                          PxlColorMap *colorMap, Pixr **out);
int32_t pxlCreateMultiChannelHeader(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                    int32_t xResolution, int32_t yResolution, int32_t frame,
                                    int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                    void **pixelBlocks, Pixr **out);
int32_t pxlJoinChannels(PxlContext *ctx, Pixr **channels, int32_t count, int32_t colorCode,
                        Pixr **out);
int32_t pxlCreateImageLike(PxlContext *ctx, Pixr *templ, Pixr **out);
int32_t pxlDestroyImage(PxlContext *ctx, Pixr **image);

int32_t pxlAllocImageBlock(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                           int32_t frame, int32_t mode, void **block);
int32_t pxlReallocImageBlock(PxlContext *ctx, Pixr *image);
int32_t pxlComputeImageLayout(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                              int32_t frame, int32_t *bytesPerRow, int64_t *blockSize);
int32_t pxlComputeContentOffset(PxlContext *ctx, const void *block, int32_t bytesPerRow,
                                int32_t depth, int32_t frame, int64_t *offset);

int32_t pxlGetImageChannelCount(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageChannel(PxlContext *ctx, Pixr *image, int32_t index, Pixr **out);
int32_t pxlSetImageChannel(PxlContext *ctx, Pixr *set, int32_t index, Pixr *channel);
int32_t pxlGetImageMainChannel(PxlContext *ctx, Pixr *image, Pixr **out);
int32_t pxlSelectMainChannel(PxlContext *ctx, Pixr *set, Pixr **out);
int32_t pxlValidateImage(PxlContext *ctx, Pixr *image, int32_t byteOrderFlags, int32_t depthFlags,
                         int32_t channelFlags, int32_t frameFlags);

/* ---- Properties (a channel set answers with its main channel; setters change all) ---- */

int32_t pxlGetImageWidth(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageHeight(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageDepth(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageFrame(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageResolution(PxlContext *ctx, Pixr *image, int32_t *xResolution,
                              int32_t *yResolution);
int32_t pxlGetImageColorCode(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageColormap(PxlContext *ctx, Pixr *image, PxlColorMap **out);
int32_t pxlGetImageFramedData(PxlContext *ctx, Pixr *image, uint8_t **out);
int32_t pxlGetImagePixelBlock(PxlContext *ctx, Pixr *image, void **out);
int32_t pxlGetImageData(PxlContext *ctx, Pixr *image, uint8_t **out);
int32_t pxlComputeImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageFullWidth(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlGetImageFullHeight(PxlContext *ctx, Pixr *image, int32_t *out);
int32_t pxlComputeImageFramedSize(PxlContext *ctx, Pixr *image, int64_t *out);

int32_t pxlSetImageWidth(PxlContext *ctx, Pixr *image, int32_t width);
int32_t pxlSetImageHeight(PxlContext *ctx, Pixr *image, int32_t height);
int32_t pxlSetImageDepth(PxlContext *ctx, Pixr *image, int32_t depth);
int32_t pxlSetImageFrame(PxlContext *ctx, Pixr *image, int32_t frame);
int32_t pxlSetImageBytesPerRow(PxlContext *ctx, Pixr *image, int32_t bytesPerRow);
int32_t pxlSetImageResolution(PxlContext *ctx, Pixr *image, int32_t xResolution,
                              int32_t yResolution);
int32_t pxlSetImageColormap(PxlContext *ctx, Pixr *image, PxlColorMap *colorMap);
int32_t pxlSetImageFramedData(PxlContext *ctx, Pixr *image, uint8_t *framedData);
int32_t pxlSetImagePixelBlock(PxlContext *ctx, Pixr *image, void *pixelBlock);

/* ---- Rectangles ---- */

typedef struct PxlRect {
  struct PxlRect *next;
  struct PxlRect *prev;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t user[4]; /* user[0] is 0 at creation; the others are left unset */
} PxlRect;

int32_t pxlCreateRect(PxlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height,
                      PxlRect **out);
int32_t pxlFreeRect(PxlContext *ctx, PxlRect **rect);
int32_t pxlFreeRectList(PxlContext *ctx, PxlRect **head);
int32_t pxlCopyRect(PxlContext *ctx, const PxlRect *rect, PxlRect **out);
int32_t pxlClipRect(PxlContext *ctx, const PxlRect *rect, int32_t width, int32_t height,
                    PxlRect **out);
int32_t pxlClipRectToImage(PxlContext *ctx, Pixr *image, const PxlRect *rect, PxlRect **out);
int32_t pxlIsRectInImage(PxlContext *ctx, Pixr *image, const PxlRect *rect, uint8_t *inside);

/* ---- Raw row and frame kernels ("full" sizes include a 32-pixel frame on each side) ---- */

/* Band row routine: pixels are 3-byte interleaved; bands are 8-bit rows in word order. */
typedef void (*PxlBandRowFn)(PxlContext *ctx, uint8_t *pixels, uint8_t *bandA, uint8_t *bandB,
                             uint8_t *bandC, int32_t count);

void pxlCopyRowBytes(PxlContext *ctx, uint8_t *dst, const uint8_t *src, int32_t n);
void pxlCopyRowWithFrame(PxlContext *ctx, uint8_t *dstRow, const uint8_t *src, int32_t n,
                         int32_t frameBytes, uint32_t keepMask);
void pxlMaskRowTails(PxlContext *ctx, uint32_t *lastWord, int32_t bytesPerRow, int32_t rows,
                     uint32_t keepMask, uint32_t clearMask);
int32_t pxlClearRowTails(PxlContext *ctx, uint8_t *data, int32_t width, int32_t rows,
                         int32_t bytesPerRow, int32_t depth);
int32_t pxlClearFrameRaw(PxlContext *ctx, uint8_t *framedData, int32_t fullWidth,
                         int32_t fullHeight, int32_t bytesPerRow, int32_t depth);
int32_t pxlClearSpillRaw(PxlContext *ctx, uint8_t *framedData, int32_t fullWidth,
                         int32_t fullHeight, int32_t bytesPerRow, int32_t depth, int32_t columns,
                         int32_t rows);
int32_t pxlCopyFramedRowsOut(PxlContext *ctx, const uint8_t *framedData, int32_t fullWidth,
                             int32_t fullHeight, int32_t depth, int32_t bytesPerRow, uint8_t *out,
                             int32_t outBytesPerRow);
int32_t pxlCopyFramedContent(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t depth, int32_t srcBytesPerRow,
                             uint8_t *dst, int32_t dstBytesPerRow);
int32_t pxlCopyRowsIntoFrame(PxlContext *ctx, const uint8_t *src, int32_t width, int32_t rows,
                             int32_t depth, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow);
int32_t pxlFrameRowsInPlace(PxlContext *ctx, uint8_t *data, int32_t width, int32_t rows,
                            int32_t depth, int32_t oldBytesPerRow);
int32_t pxlComputeFramedLayout(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                               int32_t frame, int32_t *bytesPerRow, int64_t *blockSize);
int32_t pxlComputeContentOffsetRaw(PxlContext *ctx, const void *block, int32_t bytesPerRow,
                                   int32_t depth, int32_t frame, int64_t *offset);
int32_t pxlSelectRowConverter(PxlContext *ctx, int32_t invert, int32_t kind, int32_t band,
                              PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                              PxlWordByteReverser *slotOther, PxlBandRowFn *bandSlot);
int32_t pxlConvertRowsFlipped(PxlContext *ctx, uint8_t *first, uint8_t *second, int32_t rows,
                              int32_t invert, int32_t firstBytesPerRow, int32_t secondBytesPerRow,
                              int32_t kind);
int32_t pxlMergeBandsFlipped(PxlContext *ctx, uint8_t *dst, uint8_t *bandA, uint8_t *bandB,
                             uint8_t *bandC, int32_t rows, int32_t width, int32_t dstBytesPerRow,
                             int32_t srcBytesPerRow, int32_t kind);

NORV_EXTERN_C_END

#endif
