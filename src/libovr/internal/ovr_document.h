/*
 * TIFF-FX container library: reading a document.
 *
 * A reader opens a stream over the caller's hooks, asks for the page count, loads a page to
 * learn its layers (1 background, 2 mask, 3 foreground) and the number of stripe IFDs of each,
 * asks for each layer's geometry merged over its stripes, walks each stripe's IFD and reads its
 * strips, splits referring strips into global data indices and coded data, and reads the shared
 * global data blocks. The usual order: ovrOpenDocument, ovrGetDocumentInfo, then per page
 * ovrGetPage, per layer ovrGetLayerInfo, per stripe ovrGetStripeIfd with the IFD getters,
 * ovrGetStripByteCount / ovrGetStripGlobalRefs, ovrBeginRead, ovrReadStrip, ovrParseStripHeader,
 * ovrEndRead; ovrReadGlobalData per global index; ovrCloseDocument at the end.
 *
 * Every call validates its handle (2 for a null or foreign pointer, 10000 for a record of another
 * kind) and clears its outputs first. Warnings (10000 and above) of the profile and compression
 * checks never fail a call that produced its result: it returns 0. Blocks handed to the caller
 * (strip buffers, global data, index arrays of ovrParseStripHeader) come from the context's
 * allocator and are freed with ovrFreeData; arrays returned as const pointers stay the library's
 * and are valid until the next call that replaces them or until the document is closed.
 * Geometry: positions are pixels of the page's primary IFD grid, sizes pixels of the layer's own
 * resolution, resolutions dots per inch.
 */
#ifndef OVR_DOCUMENT_H
#define OVR_DOCUMENT_H

#include <stddef.h>
#include <stdint.h>

#include "norv_export.h"
#include "ovr_context.h"

NORV_EXTERN_C_BEGIN

/*
 * Classifies the stream (a TIFF header gives document kind 11) and opens it for reading. flags
 * are ignored. A stream that is not a TIFF file (or cannot be read) gives 0 and a null document;
 * 1 no memory, 2003 when the end of the stream cannot be found.
 */
int32_t ovrOpenDocument(OvrIoContext *ctx, void *stream, uint32_t flags, OvrReadHook read,
                        OvrWriteHook write, OvrSeekHook seek, OvrSeekEndHook seekEnd,
                        OvrTellHook tell, OvrDocHandle **doc);

/*
 * Header kind 7 (TIFF), sub-kind 0 and the page count. The first call walks the page chain (a
 * chain that loops is 23, more than 65,535 pages is 6) and loads page 0, whose failure is left
 * for ovrGetPage to report.
 */
int32_t ovrGetDocumentInfo(OvrDocHandle *doc, uint8_t *headerKind, uint8_t *subKind,
                           uint16_t *pageCount);

/*
 * Loads page (0-based; -1 the last page). layerIfdCounts[l - 1] is the number of stripe IFDs of
 * layer l, for layerCount layers (the library's array). pageAttribute is the first word of the
 * page attribute record (0 without one). 2 for a page past the end, 23 for a corrupt page.
 */
int32_t ovrGetPage(OvrDocHandle *doc, int32_t page, const uint32_t **layerIfdCounts,
                   uint32_t *layerCount, uint16_t *pageAttribute, OvrPageHandle **pageHandle);

/*
 * A layer (1-based) merged over its stripes, and the IFD of its first stripe. palette (768 bytes)
 * is required for palette colour kinds (4: 48 bytes copied, 5: 768). 2 for a layer without
 * stripes or a missing palette; 6 when stripes differ in resolution or colour kind, 2 in palette.
 */
int32_t ovrGetLayerInfo(OvrPageHandle *page, uint32_t layer, uint32_t *x, uint32_t *y,
                        uint32_t *xRes, uint32_t *yRes, uint32_t *width, uint32_t *height,
                        uint32_t *compressionBits, uint32_t *colourKind, uint8_t *palette,
                        OvrIfdHandle **ifd);

/*
 * One stripe (0-based) of a layer with its IFD. rowsPerStrip 0 means strips of varying height.
 * palette (768 bytes, zeroed first) may be null. 2 for a stripe past the layer's count, 23 for a
 * stripe outside the primary IFD's area or without width, strips or coding.
 */
int32_t ovrGetStripeIfd(OvrPageHandle *page, uint32_t layer, uint32_t stripe, uint32_t *x,
                        uint32_t *y, uint32_t *xRes, uint32_t *yRes, uint32_t *width,
                        uint32_t *height, uint32_t *rowsPerStrip, uint32_t *compressionBits,
                        uint32_t *colourKind, uint8_t *palette, OvrIfdHandle **ifd);

/* PhotometricInterpretation, present 1 when the IFD has it. */
int32_t ovrGetPhotometric(OvrIfdHandle *ifd, uint16_t *value, int32_t *present);
/* Decode: count rationals as (numerator, denominator) pairs (the library's array). */
int32_t ovrGetDecode(OvrIfdHandle *ifd, const int32_t **values, uint32_t *count, int32_t *present);
/* The coding options word (tag 34690 or 436). */
int32_t ovrGetCodingOptions(OvrIfdHandle *ifd, uint32_t *options, int32_t *present);

/*
 * For a JBIG2-coded IFD: the global data indices that its first strip refers to, the block length
 * of each (the library's arrays, replaced by the next call) and the sum of the byte counts of its
 * strips. Other codings give zeros; 12 for a JBIG2-coded IFD without fixed-height strips.
 */
int32_t ovrGetStripGlobalRefs(OvrIfdHandle *ifd, uint64_t *totalSize, uint32_t *count,
                              const uint32_t **indices, const uint32_t **sizes);

/* Enters the IFD's reading state (21 when already reading). */
int32_t ovrBeginRead(OvrIfdHandle *ifd, uint32_t mode);

/* Byte count of the strip that starts at row; 2 when row starts no strip. */
int32_t ovrGetStripByteCount(OvrIfdHandle *ifd, uint32_t row, uint32_t *bytes);

/*
 * Reads the strip that starts at row (rows must be its row count: 2 otherwise) into *buffer, a
 * block of the library's allocator of *capacity bytes: a null or short buffer is freed and
 * replaced by one of the strip's size. A JPEG strip of an IFD with JPEGTables comes with the
 * tables merged in (in a new block). 21 when not reading, 6 for FillOrder 2.
 */
int32_t ovrReadStrip(OvrIfdHandle *ifd, uint32_t row, uint32_t rows, uint8_t **buffer,
                     uint32_t *capacity, uint32_t *bytesRead);

/*
 * Splits a referring strip into its global data indices (a new block of count values, freed with
 * ovrFreeData; null when count is 0) and its coded data (inside data).
 */
int32_t ovrParseStripHeader(OvrIfdHandle *ifd, const uint8_t *data, uint32_t size, uint32_t *count,
                            uint32_t **indices, const uint8_t **payload, uint32_t *payloadSize);

/* Leaves the reading state (21 when not reading). */
int32_t ovrEndRead(OvrIfdHandle *ifd);

/*
 * Reads global data block index into a new block (freed with ovrFreeData; null when the block
 * stores no bytes): length is the block's data length, size the bytes stored; entryWord and
 * entryLong are the table entry's last two fields. 23 for an index beyond the table chain or a
 * document without a table, 21 when the table offset is 0.
 */
int32_t ovrReadGlobalData(OvrDocHandle *doc, uint32_t index, uint8_t **data, uint32_t *length,
                          uint32_t *size, uint16_t *entryWord, uint32_t *entryLong);

/* Closes the document: frees its engine records, IFD and page handles, stream record and handle. */
int32_t ovrCloseDocument(OvrDocHandle *doc);

NORV_EXTERN_C_END

#endif
