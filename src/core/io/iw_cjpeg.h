// Row feeders of the JPEG encoder, one per pixel layout. Each fills the first row buffer set
// of the compressor with the next strip (jcx_strip_rows rows) from the caller's channels.
#ifndef IW_CJPEG_H
#define IW_CJPEG_H

#include "jcxapi.h"

NORV_EXTERN_C_BEGIN

int32_t pxlFeedJpegRowsDirect(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels);
int32_t pxlFeedJpegRowsPlanar(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels);
int32_t pxlFeedJpegRowsPlanarSwapped(PxlContext *ctx, PxlJpegCompressor *c,
                                     PxlJpegRowSet *channels);
int32_t pxlFeedJpegRowsSwapped(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels);
int32_t pxlFeedJpegRowsNibble(PxlContext *ctx, PxlJpegCompressor *c, PxlJpegRowSet *channels);
int32_t pxlFeedJpegRowsNibbleSwapped(PxlContext *ctx, PxlJpegCompressor *c,
                                     PxlJpegRowSet *channels);

NORV_EXTERN_C_END

#endif
