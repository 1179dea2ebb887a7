/*
 * TIFF pages as core images.
 *
 * pxlReadTiff reads one page (directory) of a TIFF file into a new image with a 32-pixel
 * frame: one sample of 1, 2, 4 or 8 bits gives a single-channel image of that depth, three
 * 8-bit RGB samples a three-channel image (colour code 1; channels red, green, blue, rows
 * upright). Resolutions are 16.16 dots per inch (ResolutionUnit 3 converted from
 * centimetres; a missing resolution gives 0 for both; values beyond the 16.16 range are
 * clamped). 1-bit images hold 1 for black: BlackIsZero data is inverted, except for the CCITT
 * and Lossy Dither schemes, which are always read as coded. Grey WhiteIsZero data is
 * inverted; palette pages get a colour map of 2^depth entries (the high bytes of the file's
 * 16-bit values). Strips or a single tile are read; bilevel schemes and PackBits are decoded
 * by the core's own coders straight into the image (row by row with scanlineMode set),
 * everything else by libtiff into the image's memory, turned into the core's word order in
 * place.
 *   page: 1-based (1 and below read the first directory); a page past the last gives 0 and
 *   leaves *image null. *image must be null (120); source and image must not be null (118).
 *   Statuses: 2000 the file cannot be opened or a read fails, 106 an unsupported sample
 *   layout (or three samples that are not RGB), 2006 more than one tile, 1 no memory or a
 *   page larger than the file readers' limits (pxl_imagefile.h), or the status of a failing core
 * operation or progress abort.
 * The same in steps, for reading many pages of one file: pxlOpenTiffForRead opens the file
 * (2000 when it cannot; 118 null arguments), pxlReadTiffPage reads a page of the open file as
 * pxlReadTiff does (118 a null record), and pxlAbandonTiff closes it. The open file remembers
 * its current directory: a later page is reached by reading on from there, so the pages of a
 * file read in order cost the length of its chain once (an earlier page starts again from the
 * first directory). Reading a page leaves its directory current.
 *
 * pxlWriteTiff writes a framed image (one channel of 1, 2, 4 or 8 bits, or an RGB set of
 * three 8-bit channels) as a new one-page TIFF file. Compression: 1, 2 (CCITT RLE), 3 (Group
 * 3, with group3Options as Group3Options), 4 (Group 4), 5 (LZW), 32773 (PackBits) or 34670
 * (Lossy Dither); RGB sets are always written uncompressed. oneStrip writes a single strip,
 * else RowsPerStrip is 8196 / bytes per row (at least 1). 1-bit images are WhiteIsZero, deeper
 * ones BlackIsZero, images with a colour map palette pages. Statuses: 118 null path, 2001
 * the file cannot be made or any write, the directory or the close fails, 108 another
 * compression, 106 another layout, 12 an RGB row size that is not width x 3, 1 no memory,
 * 1000 to 1004 a failed image validation (the image must be framed).
 * The inner steps: pxlOpenTiffForWrite opens (creates or truncates) the file,
 * pxlWriteTiffImage writes the page and its directory into an open file, pxlAbandonTiff
 * releases a file after a failure without writing more (what was written stays) or closes a
 * file opened for reading.
 */
#ifndef PXL_TIFFPAGE_H
#define PXL_TIFFPAGE_H

#include <tiffio.h>

#include "pxl_imagefile.h"

NORV_EXTERN_C_BEGIN

enum { PXL_ERR_MANY_TILES = 2006 };

int32_t pxlReadTiff(PxlContext *ctx, char **source, int32_t page, int32_t scanlineMode,
                    Pixr **image);
int32_t pxlOpenTiffForRead(PxlContext *ctx, const char *path, TIFF **record);
int32_t pxlReadTiffPage(PxlContext *ctx, TIFF *record, int32_t page, int32_t scanlineMode,
                        Pixr **image);

int32_t pxlWriteTiff(PxlContext *ctx, Pixr *image, const char *path, int32_t compression,
                     int32_t oneStrip, int32_t group3Options);
int32_t pxlOpenTiffForWrite(PxlContext *ctx, const char *path, TIFF **record);
int32_t pxlWriteTiffImage(PxlContext *ctx, Pixr *image, int32_t compression, int32_t oneStrip,
                          int32_t group3Options, TIFF *record);
void pxlAbandonTiff(TIFF *record);

NORV_EXTERN_C_END

#ifdef __cplusplus
#include "pxl_owners_internal.h"

namespace pxl {
inline void abandonTiff(PxlContext *, TIFF *record) {
  pxlAbandonTiff(record);
}
// An open TIFF file, closed at the end of the scope (nothing more written) unless released.
using OwnedTiff = Owner<TIFF, abandonTiff>;
}  // namespace pxl
#endif

#endif
