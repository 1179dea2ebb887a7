/*
 * Image file utilities shared by the image core's file readers: little-endian field copies,
 * the whole-image word byte swap, row addressing, the header facts of a file being read, the
 * detection of a file's type from its first bytes, the format readers (PNM, BMP, Sun raster,
 * PCX) and the reader of any supported file.
 *
 * Detection (pxlSniffImageFile), first match wins: standard input is Sun raster (2) without
 * reading; 32 bytes starting with the Sun raster magic 0x59A66A95 give 2 (type field 1), 1
 * (type field 2) or 0 (anything else); then "%!" PostScript (4), "BM" BMP (5), "II"/"MM"
 * TIFF (30), PCX bytes 10 and 0/2/3/5 (7; version 4 is refused), 'P' and a digit PNM (6);
 * else 0. The stream is left at its start.
 */
#ifndef PXL_IMAGEFILE_H
#define PXL_IMAGEFILE_H

#include <stdio.h>

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Statuses of the file readers. */
enum { PXL_ERR_FILE_READ = 2000, PXL_ERR_FILE_SEEK = 2002, PXL_ERR_EARLY_END = 2005 };

/* The readers' limits on an image made from file data: each side 1 to 2^20 pixels and the
 * framed pixel block at most 1 GiB. */
enum { PXL_MAX_FILE_IMAGE_SIDE = 1 << 20 };
#define PXL_MAX_FILE_IMAGE_BLOCK (INT64_C(1) << 30)

enum PxlFileType {
  PXL_FILE_UNKNOWN = 0,
  PXL_FILE_SUN_ENCODED = 1,
  PXL_FILE_SUN = 2,
  PXL_FILE_POSTSCRIPT = 4,
  PXL_FILE_BMP = 5,
  PXL_FILE_PNM = 6,
  PXL_FILE_PCX = 7,
  PXL_FILE_TIFF = 30
};

/* Header facts of one file being read; zeroed before use. path comes first: the TIFF page
 * reader is given the record as its path reference. */
typedef struct PxlImageFileInfo {
  char *path;      /* copy of the file name (record allocator) */
  int32_t type;    /* PxlFileType */
  uint8_t *header; /* Sun raster: the raw 32-byte header (record allocator) */
  int32_t width;
  int32_t height;
  int32_t rowUnits; /* Sun standard files: 16-bit units per stored row */
  int32_t bytesPerRow;
  int32_t dataLength; /* Sun raster: image data length; BMP: image size */
  int32_t spare[2];
} PxlImageFileInfo;

int32_t pxlCopyLe16(PxlContext *ctx, const void *source, uint16_t *destination);
int32_t pxlCopyLe32(PxlContext *ctx, const void *source, uint32_t *destination);
/* Reverses the byte order of every 32-bit word of every framed row (frame rows included);
 * 104 when bytes per row is not a multiple of 4. */
int32_t pxlSwapImageBytes(PxlContext *ctx, Pixr *image);
/* Address of the first content byte of a row; 100 for a row outside the image. */
int32_t pxlGetRowPointer(PxlContext *ctx, Pixr *image, int32_t row, uint8_t **address);
int32_t pxlSniffImageFile(PxlContext *ctx, FILE *file, int32_t *type);
/* 0 when an image of this size and depth fits the readers' limits, else 1 (not reported). */
int32_t pxlCheckFileImageSize(PxlContext *ctx, int64_t width, int64_t height, int32_t depth);
/* 0 when the stream can tell that fewer than `bytes` bytes follow its position, else 1 (a
 * stream that cannot seek is given the benefit of the doubt); the position is kept. */
int32_t pxlStreamHolds(FILE *file, int64_t bytes);
/* Uncompressed BMP of 1, 4, 8 or 24 bits into a new framed image; see bmp.cpp. info may be
 * null. */
int32_t pxlReadBmp(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image);
/* Raw PNM (P4, P5, P6) from an open stream into a new framed image; see readfile.cpp. */
int32_t pxlReadPnm(PxlContext *ctx, FILE *file, Pixr **image);
/* Sun raster in two steps (see sunio.cpp): the header step fills info (which then owns the
 * raw header block) and creates the image; the body step of its depth (1: Bits; 2, 4, 8:
 * Pixels) reads the rows into that image, which stays the caller's on failure. */
int32_t pxlReadSunHeader(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image);
int32_t pxlReadSunBits(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image);
int32_t pxlReadSunPixels(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image);
/* PCX of 1 bit, 4 bits (planes) or 8 bits into a new framed image; see pcx2.cpp. */
int32_t pxlReadPcx(PxlContext *ctx, FILE *file, Pixr **image);
/* Any supported image file by name ("-": standard input) into a new framed image with a
 * clear frame; page is 1-based for TIFF, 0 asks Sun raster and PostScript for the header
 * alone. See readfile.cpp. */
int32_t pxlReadImageFile(PxlContext *ctx, const char *path, int32_t page, Pixr **image);
int32_t pxlReadImageFileEx(PxlContext *ctx, const char *path, int32_t page, int32_t scanlineMode,
                           Pixr **image);
int32_t pxlReadImageStream(PxlContext *ctx, FILE *file, int32_t page, int32_t scanlineMode,
                           PxlImageFileInfo *info, Pixr **image);
/* Width and height of a PostScript image header into info; the stream is at its start. */
int32_t pxlScanPostScriptHeader(PxlContext *ctx, FILE *file, PxlImageFileInfo *info);

NORV_EXTERN_C_END

#endif
