// Generic region encoding (ITU-T T.88 7.4.6 and 6.2 in the encoding direction): generic region
// segments, and the bitmap coders the dictionary and halftone encoders share: MMR through the
// T.6 encoder, or the MQ coder with templates 0 to 3, TPGDON and the AT pixels.
//
// The arithmetic coder forms each pixel's context exactly as the decoder does (the template
// layout of jbig2_generic_context.h): rows above as 64-bit windows over the row words, the
// pixels left of it in the current row from the same kind of window, moved AT pixels as one
// 32-pixel word per AT pixel and word of the row. Pixels outside the bitmap read as 0, and
// pixels past the width in a row's last word are ignored. White runs whose context stays 0
// are coded in a tight loop while the MQ coder needs no renormalisation.
//
// Failures: 1 out of memory; 2001 a sink or MQ byte-out that fails; 10003 an inconsistent
// record (a type other than 36, 38 or 39, no image and no precoded data, an operator above 4,
// AT pixels that are not causal); the T.6 encoder's status otherwise.
#ifndef NORV_JBIG2_GENERIC_ENCODE_H
#define NORV_JBIG2_GENERIC_ENCODE_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "jb2_stream.h"
#include "jbig2_generic.h"
#include "jbig2_seg_write.h"
#include "mq_coder.h"
#include "qtz_owners_internal.h"

struct Jbig2GenericRegionRecord {
  Jbig2SegHeader header;  // type (36, 38 or 39) and page association set by the caller
  Jbig2RegionInfo region;
  uint8_t hasImage;
  const QtzImage *image;  // type 100, packed bilevel rows
  uint8_t mmr;
  Jbig2GenericTemplate params;
  const uint8_t *precoded;  // coded data used instead of the image when not null
  size_t precodedLength;
};

int32_t encodeGenericRegion(Jb2File *stream, Jbig2GenericRegionRecord *record);

// Codes a bitmap on an MQ encoder the caller started and will flush; cx null: a zeroed array
// of the template's size is made and freed here.
int32_t encodeBitmapArith(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                          const Jbig2GenericTemplate *params, uint8_t *cx, Jb2File *stream,
                          MqEncoder *encoder);
// The template coder over a type-100 image (a template above 3 codes nothing).
int32_t encodeGenericTemplate(const QtzImage *image, const Jbig2GenericTemplate *params,
                              uint8_t *cx, MqEncoder *encoder, QtzState *state);
// T.6 codes a bitmap into the sink (endOfBlock: append EOFB).
int32_t encodeGenericMmr(Jb2File *stream, DataSink *sink, const uint32_t *rows, int32_t width,
                         int32_t height, int32_t wordsPerRow, bool endOfBlock);
// T.6 codes a bitmap (endOfBlock: append EOFB) into *code, a buffer from the state that grows
// until it holds the code; *bytes its length.
int32_t mmrCodeBitmap(QtzState *state, const uint32_t *rows, int32_t width, int32_t height,
                      int32_t wordsPerRow, bool endOfBlock, qtz::OwnedBlock<uint8_t> *code,
                      int32_t *bytes);
// The AT bytes of a region's flags field: four pairs for template 0, one for the others.
int32_t writeAtPixels(Jb2File *stream, DataSink *sink, const Jbig2GenericTemplate *params);

// Black runs of a packed row of the width: 0, 1, or 2 for two or more.
int32_t blackRunClass(const uint32_t *row, int32_t width);
// Calls band(first, end) for the row bands [first, end) that are each to be MMR coded on their
// own, top to bottom: no band starts or ends with a white row or holds a white row that follows
// a row of two or more black runs (a common reader draws such a row wrong). None for a white
// bitmap.
void forEachMmrBand(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                    const std::function<void(int32_t first, int32_t end)> &band);

// True when every AT pixel the template uses lies above the pixel or left of it in its row.
bool atPixelsCausal(const Jbig2GenericTemplate &params);

// The word-level coder: false when the MQ byte-out failed (not reported).
bool encodeGenericWords(const Jbig2Bitmap &image, const Jbig2GenericTemplate &params, uint8_t *cx,
                        MqEncoder *encoder);

#endif
