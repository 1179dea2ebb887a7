// Source pages of the encoding driver: one page of a TIFF file read into a page source record
// (with the resolution defaults), and a colour page split into its text components and a
// JPEG-coded background layer on its writer page.
#ifndef NORV_PAGE_SOURCE_H
#define NORV_PAGE_SOURCE_H

#include <cstdint>

#include "enc_assembly.h"
#include "output_writer.h"
#include "qtz_image.h"
#include "qtz_sc.h"
#include "qtz_state.h"
#include "tc_util_internal.h"

struct Pixr;

namespace norvenc {

// The page source of a core image of the state's ipw context: size, resolutions and, for a
// packed bilevel page, its framed rows (bytesPerRow 0 marks a colour page). An axis without a
// resolution (below 1 dpi) takes the other's; with neither, both become defaultDpi and the
// warning "No resolution given in input file, assuming <dpi> dpi." is reported. A colour page
// whose resolution was filled in gets it on its core image too (the split reads it there).
void describeSource(QtzState *state, Pixr *image, int32_t defaultDpi, NorvPageSource *source);

// Page `index` (from 0) of the TIFF file opened with pxlOpenTiffForRead, turned by quarterTurns
// (0 to 3, else 10003), into *image (null at the end of the file, status 0) and the page source
// (describeSource). Pages read in order (or the same page again) read each directory once.
int32_t readSourcePage(QtzState *state, TIFF *file, NorvPageSource *source, int32_t index,
                       TcImage **image, int32_t quarterTurns, int32_t defaultDpi);

// The page's resolution in whole dots per inch (16.16 values rounded; 0 becomes 300).
int32_t wholeDpi(int32_t fixed);

// Background reduction factor: the largest n <= xdpi / backgroundDpi (at least 1) dividing xdpi.
int32_t backgroundReduction(int32_t xdpi, int32_t backgroundDpi);

// Frees the bitmaps of the components and the array; *components becomes null.
void freeTextComponents(QtzState *state, QtzSCTextComponent **components, int32_t count);

// Splits a colour page (a core image of the state's ipw context, taken over and destroyed on
// every path) into its text components (*components, *count) and, when grey is given, a grey
// image; the background, reduced by backgroundReduction and JPEG-coded at jpegQuality, becomes
// a colour layer of the writer page. On failure nothing is handed out.
int32_t splitColorPage(QtzState *state, Pixr *coreImage, NorvWriterPage *page,
                       int32_t backgroundDpi, int32_t jpegQuality, int32_t componentSizeLimit,
                       QtzSCTextComponent **components, int32_t *count, QtzImage **grey);

}  // namespace norvenc

#endif
