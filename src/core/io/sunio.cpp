// Sun raster reader: a 32-byte big-endian header (magic 0x59A66A95, width, height, depth, data
// length, type, map type, map length), an optional colour map, then rows padded to 16 bits,
// stored plainly (type 1) or byte-encoded (type 2, 0x80 as the escape).
//
// pxlReadSunHeader reads the header into the file-info record (which then owns the raw
// block) and creates an image of the header's size and depth without reading pixels;
// pxlReadSunBits (depth 1) and pxlReadSunPixels (depths 2, 4, 8) read the rows into it,
// pixel values as stored. A colour map of any type is skipped whenever its length is above 0
// (colour-mapped files give their raw indices). Byte-encoded data is taken in blocks of
// 32768 bytes and never beyond the header's data length; a run may continue from one row into
// the next.
//
// Statuses: 1 no context or memory, or a size beyond the readers' limits; 2 a depth no image
// can have (byte-encoded files); 8 a standard file of a depth other than 1, 2, 4, 8; 102 wrong
// magic or type; 118 null arguments; 2000 a short header or row, a size of 0, or stored rows
// wider than the image's; 2002 the colour map cannot be skipped; 2005 byte-encoded data
// needing more bytes than the header's length or the file holds. The body steps leave the
// image to their caller, which destroys it on failure.
#include <cstdio>
#include <cstring>

#include "pxl_imagefile.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"

namespace {

constexpr const char *kUnit = "sunio";
constexpr uint32_t kMagic = 0x59A66A95u;
constexpr size_t kHeaderSize = 32;
constexpr size_t kBlockSize = 32768;
constexpr uint8_t kEscape = 0x80;

uint32_t bigEndian32(const uint8_t *b) {
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
         static_cast<uint32_t>(b[2]) << 8 | b[3];
}

// Bytes of a stored row: width x depth bits padded to 16 bits.
int64_t storedRowBytes(int64_t width, int64_t depth) {
  return (width * depth + 15) / 16 * 2;
}

// State of one byte-encoded body: the block of loaded bytes and the run being written.
struct SunDecoder {
  uint8_t *block = nullptr;
  size_t position = 0;
  size_t loaded = 0;
  int64_t unloaded = 0;  // encoded bytes the header's length still allows
  uint8_t value = 0;     // the run value
  int64_t pending = 0;   // run bytes still to be written
};

// Loads the next block of encoded bytes: 2005 when the header's length is used up or the
// file holds fewer bytes than the block asks for.
int32_t pxlSunRefill(PxlContext *ctx, FILE *file, SunDecoder &d) {
  if (d.unloaded <= 0) return PXL_TRACE(ctx, kUnit, PXL_ERR_EARLY_END);
  const auto want = static_cast<size_t>(d.unloaded < int64_t{kBlockSize} ? d.unloaded : kBlockSize);
  d.unloaded -= static_cast<int64_t>(want);
  if (std::fread(d.block, 1, want, file) != want) return PXL_TRACE(ctx, kUnit, PXL_ERR_EARLY_END);
  d.position = 0;
  d.loaded = want;
  return PXL_OK;
}

int32_t takeByte(PxlContext *ctx, FILE *file, SunDecoder &d, uint8_t *byte) {
  if (d.position == d.loaded) {
    if (const int32_t poll = pxlPollProgress(ctx); poll != 0) return poll;
    if (const int32_t status = pxlSunRefill(ctx, file, d); status != 0) return status;
  }
  *byte = d.block[d.position++];
  return PXL_OK;
}

// Produces count bytes of byte-encoded data; the rest of a run carries into the next call.
int32_t pxlSunDecodeBytes(PxlContext *ctx, FILE *file, SunDecoder &d, uint8_t *destination,
                          int64_t count) {
  int64_t produced = 0;
  for (;;) {
    const int64_t run = d.pending < count - produced ? d.pending : count - produced;
    std::memset(destination + produced, d.value, static_cast<size_t>(run));
    produced += run;
    d.pending -= run;
    if (produced == count) return PXL_OK;
    uint8_t b = 0;
    if (const int32_t status = takeByte(ctx, file, d, &b); status != 0) return status;
    d.value = b;
    if (b != kEscape) {
      destination[produced++] = b;
      if (produced == count) return PXL_OK;
      continue;
    }
    uint8_t c = 0;
    if (const int32_t status = takeByte(ctx, file, d, &c); status != 0) return status;
    d.pending = int64_t{c} + 1;
    if (c != 0) {
      if (const int32_t status = takeByte(ctx, file, d, &d.value); status != 0) return status;
    }
  }
}

// Reads the colour map's bytes past; 2002 when the file ends first.
int32_t skipColourMap(PxlContext *ctx, FILE *file, int64_t length) {
  uint8_t scratch[4096];
  while (length > 0) {
    const auto part =
        static_cast<size_t>(length < int64_t{sizeof scratch} ? length : sizeof scratch);
    if (std::fread(scratch, 1, part, file) != part) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_SEEK);
    length -= static_cast<int64_t>(part);
  }
  return PXL_OK;
}

// The body step of every depth: the rows of the image made by the header step, in the core's
// word order, the bits after each row's last pixel clear.
int32_t readBody(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **slot,
                 int32_t depthFlags) {
  if (file == nullptr || info == nullptr || slot == nullptr || info->header == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  Pixr *image = *slot;
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, depthFlags,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  const int32_t depth = image->depth, width = image->width, height = image->height;
  const int64_t frame = image->frame;
  uint8_t *origin = image->framedData + frame * image->bytesPerRow + frame * depth / 8;
  const int64_t content = int64_t{image->bytesPerRow} - 2 * frame * depth / 8;
  if (const uint32_t mapLength = bigEndian32(info->header + 28); mapLength > 0) {
    if ((status = skipColourMap(ctx, file, mapLength)) != 0) return status;
  }
  const bool encoded = info->type == PXL_FILE_SUN_ENCODED;
  const int64_t stored = encoded ? storedRowBytes(width, depth) : info->bytesPerRow;
  if (stored <= 0 || stored > content) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);

  SunDecoder decoder;
  pxl::OwnedRecord<uint8_t> block(ctx);
  if (encoded) {
    block.reset(static_cast<uint8_t *>(pxl::allocRecord(ctx, kBlockSize)));
    if (!block) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
    decoder.block = block.get();
    decoder.unloaded = bigEndian32(info->header + 16);
  }
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *row = origin + int64_t{y} * image->bytesPerRow;
    if (encoded) {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      if ((status = pxlSunDecodeBytes(ctx, file, decoder, row, stored)) != 0)
        return PXL_FAIL(ctx, kUnit, status);
    } else if (std::fread(row, 1, static_cast<size_t>(stored), file) !=
               static_cast<size_t>(stored)) {
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    }
    std::memset(row + stored, 0, static_cast<size_t>(content - stored));
    pxlReverseWordBytes(ctx, reinterpret_cast<const uint32_t *>(row),
                        reinterpret_cast<uint32_t *>(row), static_cast<int32_t>(content / 4));
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxlClearRowTails(ctx, origin, width, height, image->bytesPerRow, depth);
  return PXL_OK;
}

bool creatableDepth(uint32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 32;
}

}  // namespace

extern "C" {

int32_t pxlReadSunHeader(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image) {
  if (file == nullptr || info == nullptr || image == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  pxl::OwnedRecord<uint8_t> header(ctx, static_cast<uint8_t *>(pxl::allocRecord(ctx, kHeaderSize)));
  if (!header) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  if (std::fread(header.get(), 1, kHeaderSize, file) != kHeaderSize)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  const uint8_t *h = header.get();
  const uint32_t kind = bigEndian32(h + 20);
  if (bigEndian32(h) != kMagic || (kind != 1 && kind != 2))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_ILLEGAL_TYPE);
  // An earlier header block goes now; the new one is handed over on success only.
  pxl::freeRecord(ctx, info->header);
  info->header = nullptr;
  const int64_t width = bigEndian32(h + 4), height = bigEndian32(h + 8);
  const uint32_t depth = bigEndian32(h + 12);
  const bool encoded = kind == 2;
  if (!encoded && depth != 1 && depth != 2 && depth != 4 && depth != 8)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  if (creatableDepth(depth) &&
      pxlCheckFileImageSize(ctx, width, height, static_cast<int32_t>(depth)) != PXL_OK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxl::OwnedImage out(ctx);
  // A depth no image can have is passed as 0, which the creator refuses (2).
  const int32_t status = pxlCreateImageNoClear(
      ctx, static_cast<int32_t>(width), static_cast<int32_t>(height),
      creatableDepth(depth) ? static_cast<int32_t>(depth) : 0, 0, 0, 32, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  const int64_t stored = encoded ? 0 : storedRowBytes(width, depth);
  info->type = encoded ? PXL_FILE_SUN_ENCODED : PXL_FILE_SUN;
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->rowUnits = static_cast<int32_t>(stored / 2);
  info->bytesPerRow = static_cast<int32_t>(stored);
  info->dataLength = static_cast<int32_t>(bigEndian32(h + 16));
  info->header = header.release();
  *image = out.release();
  return PXL_OK;
}

int32_t pxlReadSunBits(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image) {
  return readBody(ctx, file, info, image, PXL_ACCEPT_DEPTH_1);
}

int32_t pxlReadSunPixels(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image) {
  return readBody(ctx, file, info, image,
                  PXL_ACCEPT_DEPTH_2 | PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8);
}

}  // extern "C"
