/*
 * Halftone regions of a bilevel page: finding the screened pictures of a page, cutting them
 * into regions, and coding each either as a plain bilevel image or as a grey image of one
 * value per screen cell, written as a JBIG2 pattern dictionary plus halftone region (ITU-T
 * T.88 6.6 and 6.7).
 *
 * Calls per page: GetAllHalftoneInfo finds the areas and the screen's cell size; the caller
 * cuts the areas out of the page and sets each region's key; then either
 * makeListofHalftoneRegions (bilevel copies, coded later as generic regions) or
 * compressHalftoneToGray followed by encodeHalftoneJBig2.
 *
 * Statuses: 0 success; 1 out of memory (reported); 115 an unsupported candidate reduction
 * (reported); 10003 a missing argument or impossible parameters (returned without a report);
 * image-core statuses pass through. Every image, list and record handed out belongs to the
 * caller: images are destroyed with the core's image destroyer, records and lists are freed
 * with the state's hooks (QtzAdt_liFree frees a list, not its records).
 */
#ifndef QTZ_HALFTONE_H
#define QTZ_HALFTONE_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_adt.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

struct Pixr;
struct Jb2File;

/* One halftone area of a page (records of the region lists below). */
typedef struct QtzHalftoneRegion {
  int32_t x; /* top-left corner in page pixels */
  int32_t y;
  int32_t width; /* whole cells: rounded up, or down where up would leave the page */
  int32_t height;
  int32_t spare0;     /* not set here */
  int32_t spare1;     /* not set here */
  int32_t cellSize;   /* the screen's half period found by the detection */
  int32_t greyLevels; /* set by compressHalftoneToGray: cell^2 for cells 4 and 16, else cell^2+1 */
  int32_t key;        /* set by the caller: encodeHalftoneJBig2 codes only its key's regions */
} QtzHalftoneRegion;

/* Finds the halftone areas of a one-channel 1-bit page. On success either all three outputs
 * are empty (NULL, NULL, 0: no halftone) or *mask is a new 1-bit image of the page's size
 * marking the areas, *regions a new list of QtzHalftoneRegion records (one per area, cell size
 * set) and *cell the screen's cell size (2 to 8). The page is not changed. 10003 for a missing
 * page, mask, regions or cell pointer or a page that is not one channel of depth 1. */
NORV_API int32_t GetAllHalftoneInfo(QtzState *state, struct Pixr *page, struct Pixr **mask,
                                    QtzAdtList **regions, int32_t *cell);

/* Merges overlapping regions of the list (each pair becomes one region of their union box),
 * then appends to *images one new image per region, in list order: the region's size, the
 * page's depth and resolution, a 32-pixel frame and a copy of the page's pixels there (0
 * beyond the page). *images NULL: a new list is made (only when there is a region). An empty
 * region list gives 0 and leaves *images alone. 10003 for a missing page, region list or
 * images pointer. */
NORV_API int32_t makeListofHalftoneRegions(QtzState *state, struct Pixr *page, QtzAdtList *regions,
                                           QtzAdtList **images);

/* Merges overlapping regions as above, sets each region's grey level count for the cell size
 * (0 means 4; 1 to 16) and returns in *greys a new list of grey images, one per region in list
 * order: width / cell x height / cell pixels, 4 bits deep for cells up to 4 and 8 bits above,
 * the page's resolution and a 32-pixel frame; each pixel is the grey value of the number of
 * white pixels of its cell (partial cells at the right and bottom are not coded). An empty
 * region list gives *greys NULL and 0. 10003 for a missing page, region list or out-pointer,
 * or a cell outside 0 to 16. On failure nothing is handed out. */
NORV_API int32_t compressHalftoneToGray(QtzState *state, struct Pixr *page, QtzAdtList *regions,
                                        int32_t cell, QtzAdtList **greys);

/* Writes, for every region whose cell size is above 0 and whose key equals key, a pattern
 * dictionary of the region's grey level count of dot patterns of its cell size and an
 * immediate lossless halftone region (type 23) referring to it, with the given page
 * association, onto the encoder stream. The regions and grey images are walked in step (the
 * lists compressHalftoneToGray took and made). 10003 for a missing region or grey list, a
 * missing stream, lists of different lengths, or a region whose grey level count does not fit
 * its cell size. */
NORV_API int32_t encodeHalftoneJBig2(QtzAdtList **regions, QtzAdtList *greys,
                                     struct Jb2File *stream, int32_t key, int32_t page,
                                     QtzState *state);

NORV_EXTERN_C_END

#endif
