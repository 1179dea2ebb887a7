// BMP reader (pxlReadBmp): an uncompressed Windows bitmap (14-byte file header, 40-byte
// information header, rows padded to 4 bytes, bottom-up unless the height is negative) into
// a new framed core image. 1-bit files give 1-bit images with every bit inverted (a 0 bit is a
// set pixel; the palette is never read), 4- and 8-bit files their palette indices, 24-bit
// files three 8-bit channels red, green, blue. Resolution: pixels per metre x 0.0254 + 0.5,
// truncated, in whole dots per inch (0 to 32767).
//
// Sizes from the header are checked in 64 bits: a width or height of 0 or less (the height's
// magnitude; INT_MIN has none) gives 2000, sizes beyond the readers' limits 1, a failed seek
// to the pixel data or data shorter than the rows need (when the stream can tell) 2000 before
// the image is made. Statuses otherwise: 102 compressed, 106 another bit count, 118 null
// file or out-parameter, 120 *image already set, 2000 a header or row read short.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pxl_imagefile.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"

namespace {

constexpr const char *kUnit = "bmp";
constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr int64_t kBatchBytes = 64 * 1024;

int32_t resolution(int32_t pixelsPerMetre) {
  const double dpi = std::floor(pixelsPerMetre * 0.0254 + 0.5);
  if (!(dpi > 0)) return 0;
  return static_cast<int32_t>(dpi < 32767 ? dpi : 32767) << 16;
}

// The content of row y of a framed single-channel image.
uint8_t *contentRow(Pixr *image, int64_t y) {
  return image->framedData + (32 + y) * image->bytesPerRow + 4 * image->depth;
}

int32_t readIndexed(PxlContext *ctx, FILE *file, int32_t width, int32_t height, bool topDown,
                    int32_t depth, int32_t xres, int32_t yres, int64_t stored,
                    pxl::OwnedImage &out) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlCreateImageNoClear(ctx, width, height, depth, xres, yres, 32, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Pixr *image = out.get();
  const int64_t content = int64_t{image->bytesPerRow} - 8 * int64_t{depth};
  // Rows are read in batches of about 64 KiB (one read each) and turned into the core's word
  // order (and, at 1 bit, inverted) on their way into the image.
  const int64_t batch = stored >= kBatchBytes ? 1 : kBatchBytes / stored;
  pxl::OwnedRecord<uint8_t> buffer(
      ctx, static_cast<uint8_t *>(pxl::allocRecord(ctx, static_cast<size_t>(batch * stored))));
  if (!buffer) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  const int64_t words = stored / 4;
  for (int64_t first = 0; first < height; first += batch) {
    const int64_t count = first + batch <= height ? batch : height - first;
    const auto bytes = static_cast<size_t>(count * stored);
    if (std::fread(buffer.get(), 1, bytes, file) != bytes)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    for (int64_t i = 0; i < count; ++i) {
      const int64_t r = first + i;
      uint8_t *row = contentRow(image, topDown ? r : height - 1 - r);
      const auto *in = reinterpret_cast<const uint32_t *>(buffer.get() + i * stored);
      auto *out = reinterpret_cast<uint32_t *>(row);
      if (depth == 1)
        pxlReverseWordBytesInvert(ctx, in, out, static_cast<int32_t>(words));
      else
        pxlReverseWordBytes(ctx, in, out, static_cast<int32_t>(words));
      std::memset(row + stored, 0, static_cast<size_t>(content - stored));
    }
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlClearRowTails(ctx, contentRow(image, 0), width, height, image->bytesPerRow, depth);
  return PXL_OK;
}

int32_t readColour(PxlContext *ctx, FILE *file, int32_t width, int32_t height, bool topDown,
                   int32_t xres, int32_t yres, int64_t stored, pxl::OwnedImage &out) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlCreateMultiChannelImageNoClear(ctx, width, height, 8, xres, yres, 32, 3, 1,
                                                     nullptr, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::OwnedRecord<uint8_t> line(
      ctx, static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, static_cast<size_t>(stored), 1)));
  if (!line) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  Pixr *planes[3] = {};
  for (int32_t c = 0; c < 3; ++c) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    if ((status = pxlGetImageChannel(ctx, out.get(), c, &planes[c])) != 0)
      return PXL_FAIL(ctx, kUnit, status);
  }
  const int64_t content = int64_t{planes[0]->bytesPerRow} - 64;
  for (int64_t r = 0; r < height; ++r) {
    if (std::fread(line.get(), 1, static_cast<size_t>(stored), file) != static_cast<size_t>(stored))
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    const int64_t y = topDown ? r : height - 1 - r;
    for (int32_t c = 0; c < 3; ++c) {
      uint8_t *row = contentRow(planes[c], y);
      std::memset(row, 0, static_cast<size_t>(content));
      const uint8_t *in = line.get() + 2 - c;  // stored blue, green, red
      for (int32_t j = 0; j < width; ++j, in += 3) row[j ^ 3] = *in;
    }
  }
  return PXL_OK;
}

}  // namespace

extern "C" int32_t pxlReadBmp(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image) {
  if (file == nullptr || image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  uint8_t header[kFileHeader + kInfoHeader];
  if (std::fread(header, kFileHeader, 1, file) != 1 ||
      std::fread(header + kFileHeader, kInfoHeader, 1, file) != 1)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  const uint8_t *h = header + kFileHeader;
  uint32_t fileSize = 0, offset = 0, compression = 0, imageSize = 0, u = 0;
  uint16_t bits = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlCopyLe32(ctx, h + 16, &compression);
  if (compression != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_ILLEGAL_TYPE);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlCopyLe32(ctx, header + 2, &fileSize);
  pxlCopyLe32(ctx, header + 10, &offset);
  pxlCopyLe32(ctx, h + 4, &u);
  const auto width = static_cast<int32_t>(u);
  pxlCopyLe32(ctx, h + 8, &u);
  const auto height = static_cast<int32_t>(u);
  pxlCopyLe16(ctx, h + 14, &bits);
  pxlCopyLe32(ctx, h + 24, &u);
  const int32_t xres = resolution(static_cast<int32_t>(u));
  pxlCopyLe32(ctx, h + 28, &u);
  const int32_t yres = resolution(static_cast<int32_t>(u));
  pxlCopyLe32(ctx, h + 20, &imageSize);
  if (imageSize == 0) imageSize = fileSize - offset;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return PXL_FAIL(ctx, kUnit, PXL_ERR_TYPE);
  const int64_t rows = height < 0 ? -int64_t{height} : height;
  if (width <= 0 || rows <= 0 || height == INT32_MIN)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  if (pxlCheckFileImageSize(ctx, width, rows, bits == 24 ? 8 : bits) != PXL_OK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  const int64_t stored = (int64_t{bits} * width + 31) / 32 * 4;
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0 ||
      !pxlStreamHolds(file, stored * rows))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);

  pxl::OwnedImage out(ctx);
  const bool topDown = height < 0;
  const int32_t status = bits == 24 ? readColour(ctx, file, width, static_cast<int32_t>(rows),
                                                 topDown, xres, yres, stored, out)
                                    : readIndexed(ctx, file, width, static_cast<int32_t>(rows),
                                                  topDown, bits, xres, yres, stored, out);
  if (status != PXL_OK) return status;
  if (info != nullptr) {
    info->width = width;
    info->height = static_cast<int32_t>(rows);
    info->dataLength = static_cast<int32_t>(imageSize);
    info->rowUnits = 0;
    info->bytesPerRow = 0;
  }
  *image = out.release();
  return PXL_OK;
}
