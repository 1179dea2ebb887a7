// JBIG2 decoder driver: a segment stream (ITU-T T.88, the embedded form: segments back to
// back, no file header) held in memory becomes a bilevel page image.
//
// A globals decoder (keep-all 1, compose 0) decodes the shared global segments of a document
// once; a page decoder borrows its segments (QtzJbig2_attachGlobals) and decodes one strip of
// page segments onto a page that the caller allocates through a callback. Every segment stays
// on the active list until the end of its page (global segments, of page 0, and everything with
// keep-all, until the decoder is freed): retention flags are not trusted, as encoders in use
// clear them on segments that later segments still refer to. After any failure a decoder is
// fit only for QtzJbig2_freeDecoder.
//
// Deliberate choices, each with its status:
// - an MQ end marker is 0xFF followed by a byte of 0xA0 or more (0x90 to 0x9F are data);
// - symbol dictionaries and text regions whose arithmetic data does not end at a marker that
//   the decoder reached, a referred-to segment that is not there, a segment type without a
//   handler: 107 (corrupt data);
// - intermediate or refinement regions on a page whose flags deny them: decoded, counted in
//   one warning (QTZ_MSG_WARNING) at the end of the decode call;
// - an extension of a type this decoder does not know fails (107), whatever its necessary bit;
// - a refinement region on a striped page: 2;
// - the globals decoder stops after the first symbol dictionary of each call;
// - page sides above 2^24, pages or regions of more than 2^31 pixels, and sizes of 0: 107;
//   a data length shorter than its type's fixed part: 107, longer than the bytes left: 2003;
// - a generic or refinement region larger than its coded data can describe (jbMqDataCovers,
//   jbMmrDataCovers): 107 before anything of its size is allocated;
// - a decode call that would produce more pixels (pages, regions, symbols, patterns, gray
//   planes and drawn instances together) than the lesser of pixelLimit and the work bound of
//   its input (jbWorkBound: a base and so much per byte): 107 before the allocation;
// - a second page-information segment replaces the page (the old one goes to the release
//   callback first).
#ifndef NORV_JBIG2_DECODER_H
#define NORV_JBIG2_DECODER_H

#include <cstdint>

#include "jbig2_segment.h"
#include "qtz_adt.h"
#include "qtz_image.h"
#include "qtz_state.h"

typedef int32_t (*Jbig2PageAllocFn)(QtzState *state, int32_t width, int32_t height, QtzImage **page,
                                    void **cookie);
typedef int32_t (*Jbig2PageFreeFn)(QtzState *state, QtzImage **page);

struct Jbig2DeferredRegion {
  int32_t width;
  int32_t height;
  int32_t x;
  int32_t y;
  uint8_t op;
  QtzImage *image;
};

struct Jbig2Decoder {
  Jb2File *stream;
  QtzAdtList *active;
  QtzAdtList *seen;
  QtzImage *page;
  Jbig2PageInfo info;
  uint8_t deferRegions;
  QtzAdtList *deferred;
  int32_t lastStripeEnd;
  int32_t lowestRow;
  uint32_t currentPage;
  int32_t highestPage;
  DataSource *source;
  uint8_t verbose;
  QtzState *state;
  char *dumpName;
  uint8_t noDump;
  char *dumpFormat;
  uint8_t keepAll;
  uint8_t composePage;
  Jbig2PageAllocFn allocPage;
  Jbig2PageFreeFn freePage;
  void *cookie;
  // Pixels one decode call may produce (pages, regions, symbols, patterns, gray planes,
  // instances) beside the work bound of its input; -1 for no bound at all. QtzJbig2_newDecoder
  // sets kJbig2DefaultPixelLimit.
  int64_t pixelLimit;
  // Regions of the current page that its page-information flags deny (intermediate regions
  // without the auxiliary-buffer flag, refinements without the refinement flag): decoded, and
  // counted in one warning at the end of the decode call.
  int32_t deniedRegions;
};

inline constexpr int64_t kJbig2DefaultPixelLimit = int64_t{1} << 32;

int32_t QtzJbig2_newDecoder(Jbig2Decoder **out, uint8_t verbose, const char *dumpName,
                            const char *dumpFormat, uint8_t noDump, int32_t highestPage,
                            uint8_t keepAll, uint8_t composePage, Jbig2PageAllocFn allocPage,
                            Jbig2PageFreeFn freePage, QtzState *state);
void QtzJbig2_freeDecoder(Jbig2Decoder **decoder);
int32_t QtzJbig2_decodeGlobals(Jbig2Decoder *decoder, const uint8_t *data, size_t length);
int32_t QtzJbig2_decodePage(Jbig2Decoder *decoder, const uint8_t *data, size_t length,
                            void **cookie);
int32_t QtzJbig2_attachGlobals(Jbig2Decoder *decoder, Jbig2Decoder *globals);

int32_t defaultAllocPage(QtzState *state, int32_t width, int32_t height, QtzImage **page,
                         void **cookie);
int32_t defaultFreePage(QtzState *state, QtzImage **page);

#endif
