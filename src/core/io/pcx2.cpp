// PCX reader (pxlReadPcx): a 1-bit, 4-bit (planes) or 8-bit PCX file read through the PCX
// codec into a new framed core image of that depth, at the header's dpi (16.16; 96 when the
// header gives none). 1-bit pixels are inverted (a 0 bit in the file is a set pixel), 8-bit
// pixels are palette indices as stored, 4-bit pixels the index gathered from the planes; the
// palette is never attached. Also the codec's image record (pxlCreatePcxInfo,
// pxlFreePcxInfo) and the host order of the header's 16-bit fields.
//
// Before the image is made the header is checked in 64 bits: a width or height of 0 or less
// gives 2000, sizes beyond the readers' limits 1, a line (planes x bytes per line) longer than
// an image row and its right frame 2000, and a file that cannot hold the rows (when the stream
// can tell) 2000. Statuses otherwise: 8 total bits other than 1, 4, 8; 118 null file or
// out-parameter; 120 *image already set; 2000 the header or a line cannot be read (a file
// ending inside a line); 2002 the stream cannot be positioned at its start; 1 no memory (for
// the codec's records as well).
#include <cstdio>
#include <cstring>

#include "pcx.h"
#include "pxl_imagefile.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"

namespace {

constexpr const char *kUnit = "pcx2";

void freeInfo(PxlContext *ctx, PcxImageInfo *info) {
  pxlFreePcxInfo(ctx, &info);
}
using OwnedInfo = pxl::Owner<PcxImageInfo, freeInfo>;

void closeStream(PxlContext *, PcxStream *stream) {
  pcxStreamFree(stream);
}
using OwnedStream = pxl::Owner<PcxStream, closeStream>;

// The codec's open stream, closed at the end.
struct OpenCodec {
  PcxImageInfo *info = nullptr;
  ~OpenCodec() { pcxClose(info); }
};

int32_t readRows(PxlContext *ctx, PcxImageInfo *info, Pixr *image) {
  const int32_t depth = image->depth;
  const int64_t content = int64_t{image->bytesPerRow} - 8 * int64_t{depth};
  uint8_t *origin = image->framedData + 32 * int64_t{image->bytesPerRow} + 4 * depth;
  for (int32_t y = 0; y < image->height; ++y) {
    uint8_t *row = origin + int64_t{y} * image->bytesPerRow;
    std::memset(row, 0, static_cast<size_t>(content));
    if (pcxReadLine(info, row) != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    pxlReverseWordBytes(ctx, reinterpret_cast<const uint32_t *>(row),
                        reinterpret_cast<uint32_t *>(row), static_cast<int32_t>(content / 4));
  }
  pxlClearRowTails(ctx, origin, image->width, image->height, image->bytesPerRow, depth);
  return PXL_OK;
}

}  // namespace

void pxlPcxFixHeaderOrder(uint8_t *header) {
  for (const size_t offset : {4, 6, 8, 10, 12, 14, 66, 68}) {
    uint16_t v = 0;
    pxlCopyLe16(nullptr, header + offset, &v);
    std::memcpy(header + offset, &v, 2);
  }
}

int32_t pxlCreatePcxInfo(PxlContext *ctx, PcxImageInfo **info) {
  if (info == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  OwnedInfo made(ctx, pxl::newRecord<PcxImageInfo>(ctx));
  if (!made) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  made->palette = static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, kPcxPaletteSize, 1));
  if (made->palette == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  made->xDpi = 96;
  made->yDpi = 96;
  *info = made.release();
  return PXL_OK;
}

int32_t pxlFreePcxInfo(PxlContext *ctx, PcxImageInfo **info) {
  if (info == nullptr || *info == nullptr) return PXL_OK;
  pxl::freeRecord(ctx, (*info)->palette);
  pxl::freeRecord(ctx, *info);
  *info = nullptr;
  return PXL_OK;
}

extern "C" int32_t pxlReadPcx(PxlContext *ctx, FILE *file, Pixr **image) {
  if (file == nullptr || image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  OwnedInfo info(ctx);
  if (const int32_t status = pxlCreatePcxInfo(ctx, info.put()); status != 0) return status;
  // The stream object's name is fixed, so only memory can be missing for it.
  OwnedStream stream(ctx, pcxStreamNew(ctx, "tempinfile", file));
  if (!stream) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  if (pcxStreamSeek(stream.get(), 0) != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_SEEK);
  info->flag = 1;
  if (const int opened = pcxOpen(info.get(), stream.get(), PCX_READ); opened != 0)
    return PXL_FAIL(
        ctx, kUnit,
        opened == PCX_NO_MEMORY ? int32_t{PXL_ERR_NO_MEMORY} : int32_t{PXL_ERR_FILE_READ});
  OpenCodec open{info.get()};
  const int32_t depth = info->totalBits;
  if (depth != 1 && depth != 4 && depth != 8) return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  const int64_t width = info->width, height = info->height;
  if (width <= 0 || height <= 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  if (pxlCheckFileImageSize(ctx, width, height, depth) != PXL_OK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  // A line is written from the row's first content byte: it must end within the row's right
  // frame. Every coded byte gives at most 63 line bytes.
  int32_t bytesPerRow = 0;
  int64_t block = 0;
  pxlComputeFramedLayout(ctx, static_cast<int32_t>(width), static_cast<int32_t>(height), depth, 32,
                         &bytesPerRow, &block);
  const int64_t line = int64_t{info->planes} * info->bytesPerLine;
  if (line > bytesPerRow - 4 * int64_t{depth} || !pxlStreamHolds(file, height * ((line + 62) / 63)))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxl::OwnedImage out(ctx);
  int32_t status =
      pxlCreateImageNoClear(ctx, static_cast<int32_t>(width), static_cast<int32_t>(height), depth,
                            info->xDpi << 16, info->yDpi << 16, 32, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if ((status = readRows(ctx, info.get(), out.get())) != 0) return status;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  *image = out.release();
  return PXL_OK;
}
