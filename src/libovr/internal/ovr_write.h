/*
 * TIFF-FX container library: writing a document.
 *
 * A writer creates a document over the caller's stream hooks, adds pages, and adds to each page
 * its IFDs (layer stripes: 1 background, 2 mask, 3 foreground), codes each IFD, which writes its
 * directory and links it into the file, writes the IFD's strips and ends it; global data blocks
 * (shared by the strips of several pages) are added to the document. ovrCloseDocument (see
 * ovr_document.h) finishes the file. The order a mixed raster content writer uses:
 *   ovrCreateDocument (kind 13); per page ovrAddPage (-1);
 *   mask: ovrAddIfd (colour kind 1, rows per strip = height), ovrSetCompressionTag (34715),
 *     ovrSetCoding (compression bits 1024), ovrAddGlobalData once per set of pages that share it,
 *     ovrWriteReferringStrip (the coded mask followed by a colour payload), ovrAddTailStripIfd
 *     (colour kind 7, at the length of the coded mask) when there is a payload, ovrEndIfd;
 *   each colour layer: ovrAddIfd (colour kind 7), ovrSetCoding (compression bits 16),
 *     ovrWriteStrip (all rows in one strip), ovrEndIfd;
 *   ovrEndPage; finally ovrCloseDocument.
 *
 * Every call validates its handle (2 for a null or foreign pointer, 10000 for a record of another
 * kind); document kinds 1-5 give 6 (ovrSetCompressionTag: 10000), kinds 8, 10, 14 and invalid
 * kinds 2. A call out of sequence gives 21. A write that fails gives 2001, a seek 2002, a seek to
 * the end 2003; after a failed write every later write gives 12 and the close gives 2001. A
 * failing call leaves what was written before in the file; the document must still be closed.
 * Positions are pixels of the page's primary IFD grid, sizes pixels of the IFD's own resolution,
 * resolutions dots per inch. Every offset of the file is 32-bit: a file cannot grow past 4 GiB.
 */
#ifndef OVR_WRITE_H
#define OVR_WRITE_H

#include <stddef.h>
#include <stdint.h>

#include "norv_export.h"
#include "ovr_context.h"

NORV_EXTERN_C_BEGIN

/*
 * Creates a document of kind (TIFF-FX profile code kind - 5; 13 is the mixed raster content
 * profile with JBIG2 masks) for writing over the stream and its hooks, and writes the file
 * header. spare and flags are not used. 1 no memory, 2002 / 2001 when the header cannot
 * be written (no document is made).
 */
int32_t ovrCreateDocument(OvrIoContext *ctx, uint32_t kind, void *stream, uint32_t spare,
                          uint32_t flags, OvrReadHook read, OvrWriteHook write, OvrSeekHook seek,
                          OvrSeekEndHook seekEnd, OvrTellHook tell, OvrDocHandle **doc);

/*
 * Adds a page at index (0-based; -1 appends); later pages move up by one. 2 for an index above
 * the page count or a document of 65,535 pages; 21 when the document is not open for writing.
 */
int32_t ovrAddPage(OvrDocHandle *doc, int32_t index, OvrPageHandle **page);

/*
 * Adds an IFD (a stripe of layer 1-3) to an open page after the profile rules. The page's first
 * IFD is its primary IFD and must be on layer 1 or 2 (21); later IFDs take the next order of
 * their layer. Only the mixed raster content profiles (kinds 11, 13, 17, 18) allow more than one
 * IFD per page (2). palette (R, G, B per entry; 48 bytes for colour kind 4, 768 for kind 5) is
 * required for palette kinds (2). 2 for a layer outside 1-3 or a width or height of 0; the
 * profile rules' errors (2, 6, 12, 23) fail the call, their warnings (10000 and above) do not.
 */
int32_t ovrAddIfd(OvrPageHandle *page, uint32_t layer, uint32_t colourKind, uint32_t x, uint32_t y,
                  uint32_t xRes, uint32_t yRes, uint32_t width, uint32_t height,
                  uint32_t rowsPerStrip, const uint8_t *palette, OvrIfdHandle **ifd);

/*
 * Sets the raw Compression value written for compression bits 0x8000 (a writer of JBIG2 masks
 * gives 34715). 2 for a value that is not a SHORT, 21 once the IFD is coded.
 */
int32_t ovrSetCompressionTag(OvrIfdHandle *ifd, uint32_t value);

/*
 * Fixes the IFD's coding (compression bits, JPEG quality, colour space numbered like the
 * photometric kinds: 6 CIELab, 7 ICCLab, 8 ITULab), completes it by the profile rules, writes its
 * directory with zero-filled strip tables and links it into the file. Writes back the compression
 * bits and quality taken: JPEG quality 0 becomes 75 and above 100 becomes 100, other codings have
 * quality 0. mode is kept; its bit 0x200 (JPEGTables) has no tables to write. 21 when the IFD is
 * coded already, or when it is a page's primary IFD and the previous page's is not coded yet.
 */
int32_t ovrSetCoding(OvrIfdHandle *ifd, uint32_t mode, uint32_t *compressionBits, uint32_t *quality,
                     const uint32_t *colourSpace);

/*
 * Writes a block of global data: length data bytes stored in size bytes (size >= length, 2
 * otherwise; the bytes beyond length are the caller's filler) and its entry in the global data
 * table. index is the block's global data index. 12 before a global parameters IFD with a table
 * offset was written (the first page's primary IFD writes it in kinds 12, 13 and 18).
 */
int32_t ovrAddGlobalData(OvrDocHandle *doc, const void *data, size_t length, size_t size,
                         uint32_t *index);

/*
 * Appends one strip of coded data covering rows [firstRow, firstRow + rows). With fixed strip
 * heights firstRow must start a strip and rows be that strip's rows; strips of varying height
 * must come in order. 2 otherwise, or when the rows leave the image or the strip exceeds 4 GiB;
 * 21 when the IFD is not coded or has ended. written is size.
 */
int32_t ovrWriteStrip(OvrIfdHandle *ifd, uint32_t firstRow, uint32_t rows, const void *data,
                      size_t size, size_t *written);

/*
 * Writes the IFD's only strip as a referring strip: a header naming count global data indices
 * (at most 65,535) and the size bytes of data. 2 for null indices or too many; 12 when the IFD
 * is not coded; 21 when it has ended.
 */
int32_t ovrWriteReferringStrip(OvrIfdHandle *ifd, const void *data, size_t size,
                               const uint32_t *globalIndices, uint32_t count);

/*
 * Adds an IFD on the next layer whose strip is this IFD's referring strip from its coded data's
 * byte offset on (a colour payload after the coded mask), and cuts this IFD's strip at offset.
 * Only for JBIG2-class codings (2 otherwise); the strip must be written (21) and be the IFD's only
 * one (6); offset must not exceed the coded data (2); 21 when the IFD has no coding options entry
 * or a tail IFD was added already.
 */
int32_t ovrAddTailStripIfd(OvrIfdHandle *ifd, uint32_t offset, uint32_t colourKind,
                           OvrIfdHandle **newIfd);

/*
 * Ends the IFD: writes the strip tables of strips of varying height collected so far and frees
 * the IFD's buffers. 21 when the IFD is not coded.
 */
int32_t ovrEndIfd(OvrIfdHandle *ifd);

/* Closes the page for further IFDs. 21 when it is not open. */
int32_t ovrEndPage(OvrPageHandle *page);

NORV_EXTERN_C_END

#endif
