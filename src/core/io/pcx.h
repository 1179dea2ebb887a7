// The PCX codec and the records it shares with the PCX reader: the image record filled from a
// file's 128-byte header (or describing the file to write), the stream object over a C stream,
// the scan-line decoder (run-length coding: a byte with its two top bits set repeats the next
// byte by its low six bits) and the write side (header at open, palette trailer at close; the
// caller writes the coded scan lines between them with pcxWriteBytes). Every block comes from the
// record allocator of the stream's context; the input buffer (512 bytes) and the plane line of a
// stream open for reading belong to that stream, so streams may be read side by side.
#ifndef NORV_CORE_IO_PCX_H
#define NORV_CORE_IO_PCX_H

#include <cstdint>
#include <cstdio>

#include "pxl_context.h"

enum { PCX_ERROR = 20482, PCX_NO_MEMORY = 20483, PCX_READ = 1, PCX_WRITE = 2 };
enum { PCX_PALETTE_COLOUR = 1, PCX_PALETTE_GREY = 2 };
constexpr size_t kPcxHeaderSize = 128;
constexpr size_t kPcxPaletteSize = 768;

// A C stream (not owned: freeing the object leaves it open) and a copy of its name.
struct PcxStream {
  PxlContext *ctx;
  char *name;
  FILE *file;
  int32_t given; /* 1 when a stream was given */
};

struct PcxReader;

struct PcxImageInfo {
  uint8_t totalBits; /* bits per plane x planes; 3 planes of 1 bit count as 4 */
  int32_t width;
  int32_t height;
  int32_t xDpi; /* 96 unless the header gives a positive value */
  int32_t yDpi;
  uint8_t bitsPerPlane;
  uint8_t planes;
  uint8_t paletteKind;  /* PCX_PALETTE_COLOUR or PCX_PALETTE_GREY */
  uint8_t *palette;     /* 768 bytes, owned by the record */
  int32_t bytesPerLine; /* per plane */
  uint8_t flag;
  int32_t mode;      /* PCX_READ or PCX_WRITE while open */
  PcxReader *holder; /* the open stream's state (its stream; when reading, its buffers) */
};

// Stream objects: null for an empty name or when memory runs out.
PcxStream *pcxStreamNew(PxlContext *ctx, const char *name, FILE *file);
void pcxStreamFree(PcxStream *stream);
// Bytes read; when nothing is read, -2 at the end of the file and -1 otherwise.
int64_t pcxStreamRead(PcxStream *stream, void *buffer, int64_t length);
// The new position after seeking from the start, or the stream's length (position kept);
// -1 on failure.
int64_t pcxStreamSeek(PcxStream *stream, int64_t offset);
int64_t pcxStreamSize(PcxStream *stream);

// Bytes written (all of them, flushed), else -1. pcxWriteBytes is the same call.
int64_t pcxStreamWrite(PcxStream *stream, const void *data, int64_t length);
int64_t pcxWriteBytes(PcxStream *stream, const void *data, int64_t length);

// Opens a stream for reading (PCX_READ): parses the header into info and allocates the plane
// line; or for writing (PCX_WRITE): writes the header built from info (pcxWriteHeader). 0,
// PCX_NO_MEMORY, or PCX_ERROR (any other mode, a total bit count the write side has no layout
// for, a header not written).
int pcxOpen(PcxImageInfo *info, PcxStream *stream, int32_t mode);
// Decodes the next scan line into row: the line of planes x bytes per line bytes (1 bit: each
// byte inverted), or at 4 bits the planes' bits gathered into packed 4-bit pixels of the
// width, first pixel in the high nibble; bytes in file order. 0, or PCX_ERROR at the end of
// the file or for a layout without a decoder.
int pcxReadLine(PcxImageInfo *info, uint8_t *row);
// Ends the open stream: when writing, the palette trailer of 4- and 8-bit files
// (pcxWritePalette); then frees what pcxOpen allocated. 0, or PCX_ERROR when the trailer could
// not be written (the stream is closed all the same).
int pcxClose(PcxImageInfo *info);

// Write side. The header for info's width, height, dpi, total bits (1, 4, 8 or 24) and
// palette kind: version 5, run-length coding, the window from (0, 0), planes, bits per plane
// and bytes per line (stored back into info) by the total bits, the 16-entry palette from the
// built-in ones; false for another total bit count.
bool pcxBuildHeader(PcxImageInfo *info, uint8_t *header);
// Builds the header, brings it to file order and writes its 128 bytes; 1 when all were
// written, else 0.
int pcxWriteHeader(PcxImageInfo *info, PcxStream *stream);
// The trailer: the marker byte 12 and a palette (grey kind: 256 or 16 greys; colour kind:
// info's palette at 8 bits, the 16 standard colours at 4, black and white at 1), 768 bytes at 8
// total bits and 48 at 1 and 4; nothing for other counts. 0, or PCX_ERROR when not all was
// written.
int pcxWritePalette(PcxImageInfo *info, PcxStream *stream);

// The built-in palettes (RGB triples): the 16 standard colours; black then 15 whites; 16 greys
// (17 i).
extern const uint8_t kPcxColour16[48];
void pcxFillMono(uint8_t *palette);
void pcxFillGrey16(uint8_t *palette);

// Host order of the header's 16-bit fields.
void pxlPcxFixHeaderOrder(uint8_t *header);
// A zeroed record with its zeroed 768-byte palette, 96 x 96 dpi; 1 when memory runs out.
int32_t pxlCreatePcxInfo(PxlContext *ctx, PcxImageInfo **info);
// Frees the palette and the record and nulls the handle (a null handle is accepted); 0.
int32_t pxlFreePcxInfo(PxlContext *ctx, PcxImageInfo **info);

#endif
