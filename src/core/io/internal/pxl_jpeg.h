/*
 * JPEG encoding of core images over the IJG JPEG library (release-6 interface).
 *
 * A compress object (JcxCompressObject) is the library's compress object followed by the six
 * L*a*b* range fields and the binding's own state; a compressor record (PxlJpegCompressor)
 * adds the encoder's row feeding. Every call returns a status: 0 success, an image-core code
 * (2 bad argument, 8 depth, 118 null argument, 120 handle in use, 1 no memory), or a message
 * code of the JPEG layer (the library's messages numbered with one text inserted at 5, see
 * jcxMessageText), or the write callback's own non-zero status.
 *
 * All output leaves through the caller's write callback (PxlJpegWriteFn) in blocks of 4096
 * bytes, the last block short. After a failure the compress object is destroyed; the caller
 * releases the record with pxlAbandonJpegCompress.
 */
#ifndef PXL_JPEG_H
#define PXL_JPEG_H

#include <stdint.h>
#include <stdio.h> /* jpeglib.h needs FILE and size_t */

#include <jpeglib.h>

#include "pxl_context.h"
#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Receives count bytes; sets *written to the number taken (it must take them all). A
 * non-zero status ends the compression with that status. */
typedef int32_t (*PxlJpegWriteFn)(PxlContext *ctx, void *user, const uint8_t *bytes, int32_t count,
                                  int32_t *written);

/* JPEG colour spaces beyond the library's own numbering: L*a*b* with fixed ranges, and the
 * ITULAB encoding of TIFF-FX (ranges from the object, defaults when they are not set). */
enum { JCX_CS_CIELAB = 6, JCX_CS_ITULAB = 8 };

struct JcxLabConverter;

/* The library's compress object with the L*a*b* range fields (all 0 at creation) and the
 * binding's state: the L*a*b* colour space selected (0 none) and the row converter that
 * the start step chose (null when the library takes the caller's rows as they are). */
typedef struct JcxCompressObject {
  struct jpeg_compress_struct cinfo;
  float lab_l_min, lab_l_max, lab_a_min, lab_a_max, lab_b_min, lab_b_max;
  int32_t labColorSpace;
  const struct JcxLabConverter *converter;
  JSAMPARRAY converted; /* rows converted for the library, from its image pool */
  int32_t convertedRows;
} JcxCompressObject;

/* Flags of pxlStartJpegCompress and pxlCompressImageJpeg. */
enum {
  PXL_JPEG_PROGRESSIVE = 0x1,
  PXL_JPEG_BUILTIN_QUANT = 0x2,
  PXL_JPEG_CUSTOM_QUANT = 0x4,
  PXL_JPEG_CIELAB = 0x8,
  PXL_JPEG_ITULAB = 0x10,
  PXL_JPEG_NO_SUBSAMPLING = 0x100
};

/* Pixel layouts of the strip entries: 1, 4 rows already interleaved for the library;
 * 2 three 8-bit channels in plain byte order, 3 the same in the core's word order; 5 one
 * 8-bit channel in word order; 6 one 4-bit channel in plain order, 7 in word order. */
enum {
  PXL_JPEG_LAYOUT_DIRECT = 1,
  PXL_JPEG_LAYOUT_PLANAR = 2,
  PXL_JPEG_LAYOUT_PLANAR_SWAPPED = 3,
  PXL_JPEG_LAYOUT_DIRECT_ALT = 4,
  PXL_JPEG_LAYOUT_SWAPPED = 5,
  PXL_JPEG_LAYOUT_NIBBLE = 6,
  PXL_JPEG_LAYOUT_NIBBLE_SWAPPED = 7
};

/* Row pointers of one strip: one array of row pointers per channel. */
typedef uint8_t **PxlJpegRowSet;

struct PxlJpegCompressor;
typedef int32_t (*PxlJpegFeeder)(PxlContext *ctx, struct PxlJpegCompressor *compressor,
                                 PxlJpegRowSet *channels);

typedef struct PxlJpegCompressor {
  JcxCompressObject jcx;
  PxlWordByteReverser wordReverse; /* layouts 3 and 5 */
  PxlJpegFeeder feeder;
  int32_t layout;
  uint16_t *nibbleTable;  /* layouts 6 and 7: 256 entries, owned */
  PxlJpegRowSet *rowSets; /* owned */
  int32_t copyFlag;       /* 1: rowSets hold pixel copies */
} PxlJpegCompressor;

int32_t pxlStartJpegCompress(PxlContext *ctx, PxlJpegCompressor *compressor, int32_t width,
                             int32_t height, int32_t components, int32_t quality, int32_t flags,
                             int32_t xDensity, int32_t yDensity, PxlJpegWriteFn write, void *user,
                             const uint16_t *quantTables, int32_t layout);
int32_t pxlGetJpegStripRows(PxlContext *ctx, PxlJpegCompressor *compressor, int32_t *rows);
int32_t pxlWriteJpegRows(PxlContext *ctx, PxlJpegCompressor *compressor, PxlJpegRowSet *channels);
int32_t pxlFinishJpegCompress(PxlContext *ctx, PxlJpegCompressor *compressor);
/* After a failure of a strip entry: frees the record's row buffers and nibble table,
 * destroys the compress object and frees its error manager. */
int32_t pxlAbandonJpegCompress(PxlContext *ctx, PxlJpegCompressor *compressor);

int32_t pxlCompressImageJpeg(PxlContext *ctx, Pixr *image, PxlJpegWriteFn write, void *user,
                             int32_t quality, int32_t flags);

int32_t pxlAllocJpegRowBuffers(PxlContext *ctx, PxlJpegCompressor *compressor, int32_t copyFlag,
                               PxlJpegRowSet **sets);
int32_t pxlFreeJpegRowBuffers(PxlContext *ctx, PxlJpegCompressor *compressor, int32_t copyFlag,
                              PxlJpegRowSet *sets);
int32_t pxlSetJpegQuantTables(PxlContext *ctx, PxlJpegCompressor *compressor, int32_t quality,
                              int32_t flags, const uint16_t *luma, const uint16_t *chroma);
int32_t pxlBuildNibbleExpandTable(PxlContext *ctx, uint16_t **table);
int32_t pxlFreeJpegErrorMgr(PxlContext *ctx, struct jpeg_error_mgr **errorMgr);

/* Text of a status of the JPEG layer (its message table, 0 to 120); null outside it. */
const char *jcxMessageText(int32_t code);

NORV_EXTERN_C_END

#endif
