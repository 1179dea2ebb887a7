// The PCX codec, write side: the 128-byte header built from an image record, the palette
// trailer, and writing through the stream object. The codec has no scan-line encoder: between
// pcxOpen (PCX_WRITE), which writes the header, and pcxClose, which writes the trailer, the
// caller writes its run-length coded lines with pcxWriteBytes.
//
// Layouts by total bits (bytes per line per plane, rows padded to 32-bit words for 1 and 4
// bits, to 4 bytes otherwise):
//   1: one 1-bit plane, palette info 1 (the record's kind becomes colour), header palette mono;
//   4: four 1-bit planes, palette info the record's kind, header palette the 16 standard
//      colours (colour kind) or 16 greys (grey kind);
//   8: one 8-bit plane, palette info the record's kind, 48 zero bytes in the header;
//  24: three 8-bit planes (red, green, blue), palette info 0, 48 zero bytes.
// The trailer (4 and 8 bits) is the marker 12 and 48 or 768 palette bytes. Other total bit
// counts have no layout: the header is refused.
#include <cstdio>
#include <cstring>

#include "pcx.h"

namespace {

void put16(uint8_t *header, size_t offset, int32_t value) {
  const auto v = static_cast<uint16_t>(value);
  std::memcpy(header + offset, &v, 2);
}

}  // namespace

int64_t pcxStreamWrite(PcxStream *stream, const void *data, int64_t length) {
  if (stream == nullptr || stream->file == nullptr || data == nullptr || length < 0) return -1;
  const size_t put = std::fwrite(data, 1, static_cast<size_t>(length), stream->file);
  if (std::fflush(stream->file) != 0 || put != static_cast<size_t>(length)) return -1;
  return length;
}

int64_t pcxWriteBytes(PcxStream *stream, const void *data, int64_t length) {
  return pcxStreamWrite(stream, data, length);
}

bool pcxBuildHeader(PcxImageInfo *info, uint8_t *header) {
  uint8_t bitsPerPlane = 0, planes = 0;
  int32_t paletteInfo = info->paletteKind;
  int64_t bytesPerLine = 0;
  const int64_t width = info->width;
  switch (info->totalBits) {
    case 1:
      bitsPerPlane = 1, planes = 1, paletteInfo = 1, bytesPerLine = (width + 31) / 32 * 4;
      info->paletteKind = PCX_PALETTE_COLOUR;
      break;
    case 4:
      bitsPerPlane = 1, planes = 4, bytesPerLine = (width + 31) / 32 * 4;
      break;
    case 8:
      bitsPerPlane = 8, planes = 1, bytesPerLine = (width + 3) / 4 * 4;
      break;
    case 24:
      bitsPerPlane = 8, planes = 3, paletteInfo = 0, bytesPerLine = (width + 3) / 4 * 4;
      break;
    default:
      return false;
  }
  // The window's and the line's 16-bit fields must hold the sizes.
  if (info->width <= 0 || info->height <= 0 || info->width > 32768 || info->height > 32768 ||
      bytesPerLine > 32767)
    return false;
  std::memset(header, 0, kPcxHeaderSize);
  header[0] = 10;
  header[1] = 5;
  header[2] = 1;
  header[3] = bitsPerPlane;
  put16(header, 8, info->width - 1);
  put16(header, 10, info->height - 1);
  put16(header, 12, info->xDpi);
  put16(header, 14, info->yDpi);
  if (info->planes == 4) {
    if (paletteInfo == 1)
      std::memcpy(header + 16, kPcxColour16, sizeof kPcxColour16);
    else
      pcxFillGrey16(header + 16);
  } else if (info->totalBits == 1) {
    pcxFillMono(header + 16);
  } else if (info->totalBits == 4) {
    if (info->paletteKind == PCX_PALETTE_GREY)
      pcxFillGrey16(header + 16);
    else
      std::memcpy(header + 16, kPcxColour16, sizeof kPcxColour16);
  }
  header[65] = planes;
  put16(header, 66, static_cast<int32_t>(bytesPerLine));
  put16(header, 68, paletteInfo);
  info->bytesPerLine = static_cast<int32_t>(bytesPerLine);
  return true;
}

int pcxWriteHeader(PcxImageInfo *info, PcxStream *stream) {
  uint8_t header[kPcxHeaderSize];
  if (!pcxBuildHeader(info, header)) return 0;
  pxlPcxFixHeaderOrder(header);
  return pcxStreamWrite(stream, header, kPcxHeaderSize) == int64_t{kPcxHeaderSize} ? 1 : 0;
}

int pcxWritePalette(PcxImageInfo *info, PcxStream *stream) {
  const int bits = info->totalBits;
  if (bits != 1 && bits != 4 && bits != 8) return 0;
  uint8_t trailer[1 + kPcxPaletteSize] = {12};
  uint8_t *palette = trailer + 1;
  if (info->paletteKind == PCX_PALETTE_GREY) {
    if (bits == 8)
      for (int i = 0; i < 256; ++i) std::memset(palette + 3 * i, i, 3);
    else
      pcxFillGrey16(palette);
  } else if (bits == 8) {
    std::memcpy(palette, info->palette, kPcxPaletteSize);
  } else if (bits == 4) {
    std::memcpy(palette, kPcxColour16, sizeof kPcxColour16);
  } else {
    pcxFillMono(palette);
  }
  const int64_t length = 1 + (bits == 8 ? int64_t{kPcxPaletteSize} : 48);
  return pcxStreamWrite(stream, trailer, length) == length ? 0 : PCX_ERROR;
}
