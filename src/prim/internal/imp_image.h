// Image primitives: the image header with its region-of-interest and tiling records, the
// 32-byte aligned allocator, header creation, allocation and release, the error layer (one
// error context per thread, the header validator with its fixed negative statuses, the
// report entry and the status texts), per-side border modes, reading any rectangle of an
// image with its borders, and the generic tile walker every operation uses for tiled images.
//
// Operations return nothing: a refused call reports once through the error context (status,
// operation name, failed condition, source unit, line) and leaves its destination untouched;
// the caller reads the outcome with ownGetErrorStatus(). Every public operation clears the
// status when it starts, so a status left by an earlier call never decides a later one.
//
// Images are never created tiled by the system; tiled images are served tile by tile by the
// image's call-back (modes IMP_TILE_READ, IMP_TILE_WRITE, IMP_TILE_RELEASE).
#ifndef IMP_IMAGE_H
#define IMP_IMAGE_H

#include <cstdint>

// Packed multi-byte samples are stored in the processor's byte order.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "image primitives assume little-endian");

enum : uint32_t {
  IMP_DEPTH_SIGN = 0x80000000u,
  IMP_DEPTH_MASK = 0x7FFFFFFFu,
  IMP_DEPTH_1U = 1,
  IMP_DEPTH_8U = 8,
  IMP_DEPTH_16U = 16,
  IMP_DEPTH_32F = 32,
  IMP_DEPTH_8S = IMP_DEPTH_SIGN | 8,
  IMP_DEPTH_16S = IMP_DEPTH_SIGN | 16,
  IMP_DEPTH_32S = IMP_DEPTH_SIGN | 32,
};

enum { IMP_DATA_ORDER_PIXEL = 0, IMP_DATA_ORDER_PLANE = 1 };

// Border modes (low two bits of a side's mode) and the side bits of ownSetBorder.
enum {
  IMP_BORDER_CONSTANT = 0,
  IMP_BORDER_REPLICATE = 1,
  IMP_BORDER_REFLECT = 2,
  IMP_BORDER_WRAP = 3
};
enum {
  IMP_SIDE_TOP = 1,
  IMP_SIDE_BOTTOM = 2,
  IMP_SIDE_LEFT = 4,
  IMP_SIDE_RIGHT = 8,
  IMP_SIDE_ALL = 15
};

// Tile call-back modes.
enum { IMP_TILE_READ = 1, IMP_TILE_WRITE = 2, IMP_TILE_RELEASE = 4 };

// ownReleaseImage flags.
enum {
  IMP_RELEASE_HEADER = 1,
  IMP_RELEASE_DATA = 2,
  IMP_RELEASE_ROI = 4,
  IMP_RELEASE_TILE = 8,
  IMP_RELEASE_MASK = 16,
  IMP_RELEASE_ALL = 31
};

// Statuses. -2 has no text of its own (tile call-back gave no data, channel-of-interest
// mismatch); -32 is the row-step check that the header validator adds.
enum : int32_t {
  IMP_STS_OK = 0,
  IMP_STS_BACKTRACE = -1,
  IMP_STS_NO_TILE = -2,
  IMP_STS_BAD_STATE = -3,
  IMP_STS_NO_MEMORY = -4,
  IMP_STS_BAD_ARG = -5,
  IMP_STS_UNSUPPORTED = -6,
  IMP_STS_AUTOTRACE = -8,
  IMP_STS_NULL_HEADER = -9,
  IMP_STS_BAD_SIZE = -10,
  IMP_STS_BAD_ROI_OFFSET = -11,
  IMP_STS_NO_DATA = -12,
  IMP_STS_BAD_STEP = -13,
  IMP_STS_BAD_MODEL = -14,
  IMP_STS_BAD_CHANNELS = -15,
  IMP_STS_BAD_1U_CHANNELS = -16,
  IMP_STS_BAD_DEPTH = -17,
  IMP_STS_BAD_ALPHA = -18,
  IMP_STS_BAD_ORDER = -19,
  IMP_STS_BAD_ORIGIN = -20,
  IMP_STS_BAD_ALIGNMENT = -21,
  IMP_STS_NO_CALLBACK = -22,
  IMP_STS_BAD_TILE_SIZE = -23,
  IMP_STS_BAD_COI = -24,
  IMP_STS_BAD_ROI_SIZE = -25,
  IMP_STS_TILED_MASK = -26,
  IMP_STS_SHORT_STEP = -32,
  IMP_STS_MASK = -100,  // a mask header's own status, less 100
};

enum { IMP_INTER_NN = 0, IMP_INTER_LINEAR = 1, IMP_INTER_CUBIC = 2, IMP_INTER_SUPER = 3 };

struct ImpImageHeader;

struct ImpRoiRecord {
  int32_t coi;  // 0 = all channels, else the 1-based channel of interest
  int32_t xOffset, yOffset, width, height;
};

// Called with the image, tile column, tile row and mode; for modes 1 and 2 it stores the
// tile's pixels in tileData (or null when it has none); before mode 4 tileData is set again
// to what the fetch delivered.
using ImpTileCallBack = void (*)(ImpImageHeader *image, int32_t xIndex, int32_t yIndex,
                                 int32_t mode);

struct ImpTileInfoRecord {
  ImpTileCallBack callBack;
  void *id;
  uint8_t *tileData;
  int32_t width, height;
};

struct ImpImageHeader {
  int32_t headerSize;
  int32_t version;
  int32_t nChannels;
  int32_t alphaChannel;  // 0, or the 1-based alpha channel (always the last)
  uint32_t depth;
  char colorModel[4];
  char channelSeq[4];
  int32_t dataOrder;
  int32_t origin;
  int32_t alignment;
  int32_t width, height;
  ImpRoiRecord *roi;
  ImpImageHeader *maskROI;
  void *ownerId;
  ImpTileInfoRecord *tileInfo;
  int32_t dataSize;
  uint8_t *imageData;
  int32_t widthStep;
  int32_t borderModes[4];  // top, bottom, left, right
  int32_t borderConsts[4];
  uint8_t *dataOrigin;
  // The pixel block the primitives allocated for this header (impAllocateImage), the only
  // block a data release frees: pixels a caller hangs on the header through imageData and
  // dataOrigin stay the caller's. Null until data is allocated.
  uint8_t *ownedData;
};

// ---- Allocation and headers ---------------------------------------------------------------

void *ownMallocAligned(int64_t size);
void ownFreeAligned(void *block);

ImpImageHeader *impCreateImageHeader(int32_t nChannels, int32_t alphaChannel, uint32_t depth,
                                     const char *colorModel, const char *channelSeq,
                                     int32_t dataOrder, int32_t origin, int32_t alignment,
                                     int32_t width, int32_t height, ImpRoiRecord *roi,
                                     ImpImageHeader *maskROI, void *ownerId,
                                     ImpTileInfoRecord *tileInfo);
void impAllocateImage(ImpImageHeader *image, int32_t fillFlag, int32_t fillValue);
void ownReleaseImage(ImpImageHeader *image, int32_t flags);
void ownReleaseImageHeader(ImpImageHeader *image);
void ownReleaseImageData(ImpImageHeader *image);
ImpRoiRecord *ownNewRoi(int32_t coi, int32_t xOffset, int32_t yOffset, int32_t width,
                        int32_t height);
ImpRoiRecord *ownSetRoiRect(ImpRoiRecord *roi, int32_t coi, int32_t xOffset, int32_t yOffset,
                            int32_t width, int32_t height);
void ownSetBorder(ImpImageHeader *image, int32_t mode, int32_t sides, int32_t constant);

// ---- Error layer --------------------------------------------------------------------------

using ImpErrorHandler = int32_t (*)(int32_t status, const char *funcName, const char *context,
                                    const char *file, int32_t line);

struct ImpErrorContext {
  int32_t status;
  int32_t mode;
  ImpErrorHandler handler;
};

ImpErrorContext *ownGetErrorContext();
int32_t ownGetErrorStatus();
void ownSetErrorStatus(int32_t status);
int32_t ownGetErrorMode();
int32_t ownValidateImageHeader(const ImpImageHeader *image);
int32_t ownReportError(int32_t status, const char *funcName, const char *context, const char *file,
                       int32_t line);
int32_t ownDefaultErrorHandler(int32_t status, const char *funcName, const char *context,
                               const char *file, int32_t line);
const char *ownGetStatusText(int32_t status);

// ---- Rectangles, tiles and borders --------------------------------------------------------

int32_t ownCalcWidthStep(int32_t dataOrder, uint32_t depth, int32_t alignment, int32_t nChannels,
                         int32_t width);
int32_t ownGetTileWidthStep(const ImpImageHeader *image);
int32_t ownGetTileRow(ImpImageHeader *image, uint8_t **tiles, int32_t n, int32_t firstColumn,
                      int32_t tileRow, int32_t columnStep);
void ownReleaseTileRow(ImpImageHeader *image, uint8_t **tiles, int32_t n, int32_t firstColumn,
                       int32_t tileRow, int32_t columnStep);
void ownCopyRectBlock(const uint8_t *src, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                      int64_t srcStep, int64_t srcPlane, uint8_t *dst, int64_t dstCol,
                      int64_t dstRow, int64_t dstStep, int64_t dstPlane, int32_t bytesPerPixel,
                      int32_t planes);
int32_t ownReadImageRect(ImpImageHeader *image, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                         uint8_t *dst, int64_t dstCol, int64_t dstRow, int64_t dstStep,
                         int64_t dstPlane, int32_t bytesPerPixel, int32_t planes);
void ownFillFromPixel(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                      int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes);
void ownFillFromColumn(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                       int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes);
void ownFillFromRow(uint8_t *buf, int64_t col, int64_t row, int64_t cols, int64_t rows,
                    int64_t step, int64_t plane, int32_t bytesPerPixel, int32_t planes);
uint8_t *ownGetRectWithBorder(ImpImageHeader *image, int32_t x, int32_t y, int32_t width,
                              int32_t height, int32_t *rowStep);
void ownFreeRect(void *buffer);

#endif
