// Image strips of colour pages: picture areas and large coloured shapes that are not coded as
// tokens become JPEG-coded colour rectangles, each with an optional one-bit mask that says
// which of its pixels belong to the component.
//
// Components come as StripComponent records (the colour component finder's fields: run list,
// box, RGB image of the box, flags). Run lists follow the token run-list convention of
// qtz_lltok.h, columns counted from the box's left column, rows from its top row.
//
// Ownership: the coding calls take over the runs and images of the components they are given
// and release them on every path (success or failure), leaving runs and image null; the
// records themselves stay the caller's. A coded strip (QtzTdcImageStrip, from pool class 6)
// is appended to the page's strip list and owns its mask and JPEG data; imgFreeStrips frees a
// list of them. The cached JPEG compressor belongs to the section (imgFreeJpegCompressor).
//
// Statuses: 1 out of memory, 2 bad arguments, 12 an image compression type other than JPEG,
// 118 a missing pointer or image-core context, 10003 runs outside their box or a component
// image smaller than its box; statuses of the image core and the JPEG layer pass up
// unchanged. Every failure is reported once through the state's sink.
#ifndef COMPDOC_STRIPS_H
#define COMPDOC_STRIPS_H

#include <cstdint>

#include "pxl_jpeg.h"
#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"

// Flags of a colour component.
enum : uint8_t {
  kStripLargeShape = 0x1,  // a large coloured shape (trimmed to its non-white part first)
  kStripPicture = 0x2      // a picture area (coded at reduced quality)
};

struct StripComponent {
  uint16_t *runs;  // runCount pairs, from the state's allocate hook
  int32_t runCount;
  uint16_t left, top, right, bottom;  // box, page coordinates, inclusive
  QtzImage *image;                    // RGB (type 3) image of at least the box's size
  uint8_t flags;
};

// One component as the page hands it to the strip coder.
struct StripSource {
  StripComponent *component;
  int32_t top, bottom;  // the component's rows (merged strips are grouped by them)
  uint8_t rectangle;    // 1: the component fills its box and needs no mask
};

struct QtzTdcImageStrip {
  uint16_t x;       // left column on the page
  uint16_t bottom;  // bottom row on the page
  uint32_t zero;
  QtzImage *mask;         // framed one-bit bitmap of the strip's size, or null
  int32_t maskBitOffset;  // bit of column 0 within the mask's content words
  uint8_t *data;          // JPEG stream, from the state's allocate hook
  int32_t dataSize;
  int32_t width, height;
};

// What the strip coder needs of the document, its current section and page.
struct StripPage {
  QtzState *state;
  int32_t compressionType;  // the document's image compression type: 0 JPEG
  float jpegScale;          // reduction of large strips before coding
  int32_t jpegQuality;
  int32_t pageWidth, pageHeight;
  int32_t xResolution, yResolution;  // dots per inch
  PxlJpegCompressor **compressor;    // the section's cached compressor, made on first use
  QtzAdtList **strips;               // the page's strip list, made on first use
};

// The JPEG coder's output: a buffer from the state's hooks that grows on demand.
struct StripMemorySink {
  QtzState *state;
  uint8_t *buffer;
  int64_t used;
  int64_t capacity;
};

// Cuts a large coloured shape down to the box of its non-white pixels; a component without
// any leaves with the empty box (left 1, right 0, top 1, bottom 0).
int32_t imgTrimComponent(StripComponent *component, QtzState *state);

// Gives every pixel outside the mask (content bit offset maskBitOffset) a colour from the
// nearest mask pixels; see strip_fill.cpp.
int32_t imgFillOutsideMask(QtzState *state, QtzImage *rgb, const QtzImage *mask,
                           int32_t maskBitOffset);

// JPEG-codes an RGB image into a new buffer (*data, *size bytes): reduced by scale and coded
// whole when scale is not 1, else through the cached compressor as ITULAB.
int32_t imgJpegStrip(QtzState *state, const QtzImage *rgb, int32_t xResolution, int32_t yResolution,
                     float scale, int32_t quality, PxlJpegCompressor **compressor, uint8_t **data,
                     int32_t *size);

// The JPEG coder's write callback over a StripMemorySink.
int32_t writeToMemorySink(PxlContext *ctx, void *sink, const uint8_t *bytes, int32_t length,
                          int32_t *written);

// One component into one strip of its box.
int32_t imgCodeComponentStrip(const StripPage *page, StripSource *source);
// Components first .. last of sources into one strip of their union box.
int32_t imgCodeMergedStrip(const StripPage *page, StripSource *sources, int32_t first,
                           int32_t last);

void imgFreeStrip(QtzState *state, QtzTdcImageStrip *strip);
// Frees every strip of the list and the list; *strips becomes null.
void imgFreeStrips(QtzState *state, QtzAdtList **strips);
void imgFreeJpegCompressor(QtzState *state, PxlJpegCompressor **compressor);

#endif
