// The PCX codec, read side and open stream: the stream object over a C stream, the built-in
// palettes, header parsing, the scan-line decoder, and opening and closing a stream for
// reading or writing (the write side's header and trailer are in pcxw.cpp).
//
// Header (128 bytes, 16-bit fields little-endian): version (0 and 3 select the default colour
// palette), bits per plane, window Xmin, Ymin, Xmax, Ymax (signed; width = Xmax - Xmin + 1),
// dpi (used when positive), the 16-entry palette, planes, bytes per line (per plane) and the
// palette info (2: grey, else colour). Files of more than 4 total bits carry a 256-colour
// palette in their last 768 bytes, which is read into the record when the file holds it.
//
// Scan lines of L = planes x bytes per line bytes: a byte below 0xC0 stands for itself, any
// other repeats the byte after it (its low six bits) times. Runs are cut at the end of the
// line (none carries into the next); a line of L <= 0 is refused at open, and a file that ends
// inside a line gives PCX_ERROR. Lines of 4 total bits are turned into packed 4-bit pixels:
// four or three 1-bit planes (bit k of a pixel from plane k), one 4-bit plane (as stored) or
// two 2-bit planes (plane k gives bits 2k and 2k + 1).
#include "pcx.h"

#include <cstring>

#include "pxl_imagefile.h"
#include "pxl_internal.h"

const uint8_t kPcxColour16[48] = {0,   0,   0,   128, 0, 0,   0, 128, 0,   128, 128, 0,
                                  0,   0,   128, 128, 0, 128, 0, 128, 128, 192, 192, 192,
                                  128, 128, 128, 255, 0, 0,   0, 255, 0,   255, 255, 0,
                                  0,   0,   255, 255, 0, 255, 0, 255, 255, 255, 255, 255};

void pcxFillMono(uint8_t *palette) {
  std::memset(palette, 0, 3);
  std::memset(palette + 3, 255, 45);
}

void pcxFillGrey16(uint8_t *palette) {
  for (int i = 0; i < 16; ++i) std::memset(palette + 3 * i, 17 * i, 3);
}

struct PcxReader {
  PcxStream *stream;
  uint8_t input[512];
  int32_t position; /* -1: empty */
  int32_t loaded;
  uint8_t *planeLine; /* L bytes */
  int64_t lineLength; /* L */
};

namespace {

int16_t field16(const uint8_t *header, size_t offset) {
  int16_t v = 0;
  std::memcpy(&v, header + offset, 2);
  return v;
}

void pcxResetReader(PcxReader *reader) {
  reader->position = -1;
  reader->loaded = 0;
}

// The next byte through the input buffer, or -1 at the end of the file.
int pcxNextByte(PcxReader *reader) {
  if (reader->position < 0 || reader->position == reader->loaded) {
    const size_t got = std::fread(reader->input, 1, sizeof reader->input, reader->stream->file);
    if (got == 0) return -1;
    reader->loaded = static_cast<int32_t>(got);
    reader->position = 0;
  }
  return reader->input[reader->position++];
}

// Decodes one line of `length` bytes; the count written, 0 when the file ends first.
int64_t pcxDecodeRle(PcxReader *reader, uint8_t *buffer, int64_t length) {
  int64_t written = 0;
  while (written < length) {
    const int a = pcxNextByte(reader);
    if (a < 0) return 0;
    if (a < 0xC0) {
      buffer[written++] = static_cast<uint8_t>(a);
      continue;
    }
    const int v = pcxNextByte(reader);
    if (v < 0) return 0;
    const int64_t count = a & 0x3F;
    const int64_t n = count < length - written ? count : length - written;
    std::memset(buffer + written, v, static_cast<size_t>(n));
    written += n;
  }
  return written;
}

// Eight 1-bit pixels of a plane byte spread to the low bits of eight nibbles, the first pixel
// in the top nibble.
struct SpreadTable {
  uint32_t nibbles[256];
  SpreadTable() {
    for (uint32_t b = 0; b < 256; ++b) {
      nibbles[b] = 0;
      for (int i = 0; i < 8; ++i)
        if (b & (0x80u >> i)) nibbles[b] |= 1u << (28 - 4 * i);
    }
  }
};

// Gathers the planes of a decoded line into packed 4-bit pixels in file byte order; false
// for a layout without a decoder.
bool pcxUnpackPlanes(const PcxImageInfo *info, const uint8_t *line, uint8_t *row) {
  const int64_t perPlane = info->bytesPerLine, width = info->width;
  const int64_t rowBytes = (width + 1) / 2;
  if (info->planes == 1 && info->bitsPerPlane == 4) {
    std::memcpy(row, line, static_cast<size_t>(perPlane < rowBytes ? perPlane : rowBytes));
    return true;
  }
  if (info->bitsPerPlane == 1) {
    static const SpreadTable spread;
    const int64_t columns = (width + 7) / 8 < perPlane ? (width + 7) / 8 : perPlane;
    for (int64_t j = 0; j < columns; ++j) {
      uint32_t word = 0;
      for (int k = 0; k < info->planes; ++k) word |= spread.nibbles[line[k * perPlane + j]] << k;
      const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
      std::memcpy(row + 4 * j, bytes, 4);
    }
    return true;
  }
  if (info->planes == 2 && info->bitsPerPlane == 2) {
    const int64_t pixels = width < 4 * perPlane ? width : 4 * perPlane;
    std::memset(row, 0, static_cast<size_t>(rowBytes));
    for (int64_t x = 0; x < pixels; ++x) {
      const int shift = 6 - 2 * static_cast<int>(x % 4);
      const int v = ((line[x / 4] >> shift) & 3) | ((line[perPlane + x / 4] >> shift) & 3) << 2;
      row[x / 2] = static_cast<uint8_t>(row[x / 2] | v << (x % 2 ? 0 : 4));
    }
    return true;
  }
  return false;
}

// Reads the 256-colour palette at the end of the file when there is one, and puts the stream
// back after the header.
int pcxReadPalette256(PcxImageInfo *info, PcxStream *stream) {
  const int64_t size = pcxStreamSize(stream);
  if (size >= int64_t{kPcxHeaderSize + kPcxPaletteSize} &&
      pcxStreamSeek(stream, size - int64_t{kPcxPaletteSize}) >= 0)
    pcxStreamRead(stream, info->palette, kPcxPaletteSize);
  return pcxStreamSeek(stream, kPcxHeaderSize) == int64_t{kPcxHeaderSize} ? 0 : PCX_ERROR;
}

int pcxParseHeader(PcxImageInfo *info, PcxStream *stream) {
  pcxResetReader(info->holder);
  uint8_t h[kPcxHeaderSize];
  if (pcxStreamRead(stream, h, kPcxHeaderSize) != int64_t{kPcxHeaderSize}) return PCX_ERROR;
  pxlPcxFixHeaderOrder(h);
  const uint8_t version = h[1];
  info->bitsPerPlane = h[3];
  info->planes = h[65];
  info->bytesPerLine = field16(h, 66);
  info->width = field16(h, 8) - field16(h, 4) + 1;
  info->height = field16(h, 10) - field16(h, 6) + 1;
  if (field16(h, 12) > 0) info->xDpi = field16(h, 12);
  if (field16(h, 14) > 0) info->yDpi = field16(h, 14);
  const int32_t total =
      info->planes == 3 && info->bitsPerPlane == 1 ? 4 : int32_t{info->bitsPerPlane} * info->planes;
  info->totalBits = static_cast<uint8_t>(total < 255 ? total : 255);
  info->paletteKind = field16(h, 68) == 2 ? PCX_PALETTE_GREY : PCX_PALETTE_COLOUR;
  if (info->totalBits == 1) {
    pcxFillMono(info->palette);
    info->paletteKind = PCX_PALETTE_GREY;
  } else if (info->paletteKind == PCX_PALETTE_GREY) {
    if (info->totalBits <= 4)
      pcxFillGrey16(info->palette);
    else
      return pcxReadPalette256(info, stream);
  } else if (version == 0 || version == 3) {
    std::memcpy(info->palette, kPcxColour16, sizeof kPcxColour16);
  } else if (info->totalBits <= 4) {
    std::memcpy(info->palette, h + 16, 48);
  } else {
    return pcxReadPalette256(info, stream);
  }
  return 0;
}

}  // namespace

PcxStream *pcxStreamNew(PxlContext *ctx, const char *name, FILE *file) {
  if (name == nullptr || name[0] == '\0' || ctx == nullptr) return nullptr;
  auto *stream = pxl::newRecord<PcxStream>(ctx);
  if (stream == nullptr) return nullptr;
  const size_t length = std::strlen(name);
  stream->name = static_cast<char *>(pxl::allocRecord(ctx, length + 1));
  if (stream->name == nullptr) {
    pxl::freeRecord(ctx, stream);
    return nullptr;
  }
  std::memcpy(stream->name, name, length + 1);
  stream->ctx = ctx;
  stream->file = file;
  stream->given = file != nullptr;
  return stream;
}

void pcxStreamFree(PcxStream *stream) {
  if (stream == nullptr) return;
  pxl::freeRecord(stream->ctx, stream->name);
  pxl::freeRecord(stream->ctx, stream);
}

int64_t pcxStreamRead(PcxStream *stream, void *buffer, int64_t length) {
  if (stream == nullptr || stream->file == nullptr || buffer == nullptr || length < 0) return -1;
  const size_t got = std::fread(buffer, 1, static_cast<size_t>(length), stream->file);
  if (got == 0 && length > 0) return std::feof(stream->file) ? -2 : -1;
  return static_cast<int64_t>(got);
}

int64_t pcxStreamSeek(PcxStream *stream, int64_t offset) {
  if (stream == nullptr || stream->file == nullptr || offset < 0 ||
      std::fseek(stream->file, static_cast<long>(offset), SEEK_SET) != 0)
    return -1;
  return std::ftell(stream->file);
}

int64_t pcxStreamSize(PcxStream *stream) {
  if (stream == nullptr || stream->file == nullptr) return -1;
  const long here = std::ftell(stream->file);
  if (here < 0 || std::fseek(stream->file, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(stream->file);
  if (std::fseek(stream->file, here, SEEK_SET) != 0) return -1;
  return size;
}

int pcxOpen(PcxImageInfo *info, PcxStream *stream, int32_t mode) {
  if (info == nullptr || stream == nullptr || (mode != PCX_READ && mode != PCX_WRITE))
    return PCX_ERROR;
  PxlContext *ctx = stream->ctx;
  auto *reader = pxl::newRecord<PcxReader>(ctx);
  if (reader == nullptr) return PCX_NO_MEMORY;
  reader->stream = stream;
  info->holder = reader;
  if (mode == PCX_WRITE) {
    if (pcxWriteHeader(info, stream) != 1) {
      pxl::freeRecord(ctx, reader);
      info->holder = nullptr;
      return PCX_ERROR;
    }
    info->mode = PCX_WRITE;
    return 0;
  }
  if (pcxParseHeader(info, stream) != 0 || info->planes == 0 || info->bytesPerLine <= 0) {
    pxl::freeRecord(ctx, reader);
    info->holder = nullptr;
    return PCX_ERROR;
  }
  reader->lineLength = int64_t{info->planes} * info->bytesPerLine;
  reader->planeLine = static_cast<uint8_t *>(
      pxl::allocRecordZeroed(ctx, static_cast<size_t>(reader->lineLength), 1));
  if (reader->planeLine == nullptr) {
    pxl::freeRecord(ctx, reader);
    info->holder = nullptr;
    return PCX_NO_MEMORY;
  }
  info->mode = PCX_READ;
  return 0;
}

int pcxReadLine(PcxImageInfo *info, uint8_t *row) {
  if (info == nullptr || row == nullptr || info->holder == nullptr || info->mode != PCX_READ)
    return PCX_ERROR;
  PcxReader *reader = info->holder;
  const int64_t length = reader->lineLength;
  if (info->totalBits == 4) {
    if (pcxDecodeRle(reader, reader->planeLine, length) == 0) return PCX_ERROR;
    return pcxUnpackPlanes(info, reader->planeLine, row) ? 0 : PCX_ERROR;
  }
  if (pcxDecodeRle(reader, row, length) == 0) return PCX_ERROR;
  if (info->totalBits < 4)
    for (int64_t i = 0; i < length; ++i) row[i] = static_cast<uint8_t>(~row[i]);
  return 0;
}

int pcxClose(PcxImageInfo *info) {
  if (info == nullptr || info->holder == nullptr) return 0;
  PcxStream *stream = info->holder->stream;
  const int trailer = info->mode == PCX_WRITE && info->totalBits != 1 && info->totalBits != 24
                          ? pcxWritePalette(info, stream)
                          : 0;
  pxl::freeRecord(stream->ctx, info->holder->planeLine);
  pxl::freeRecord(stream->ctx, info->holder);
  info->holder = nullptr;
  info->mode = 0;
  return trailer;
}
