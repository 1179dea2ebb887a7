// Pattern dictionary (type 16) and halftone region (types 20, 22, 23) segments: ITU-T T.88
// 6.6, 6.7, 7.4.4 and 7.4.5 in the encoding direction.
//
// A pattern dictionary codes its patterns side by side as one collective bitmap, arithmetically
// with HDTEMPLATE (options bytes 18 and 20-23) or with MMR. Arithmetic coding puts the first AT
// pixel at (-HDPW, 0), which a signed byte holds only up to HDPW 128: wider patterns are coded
// with MMR whatever the options say.
//
// A halftone region codes its grid of pattern indices as ceilLog2(number of patterns) bit
// planes of the indices' Gray codes (T.88 C.5), most significant plane first: arithmetically on
// one MQ code stream and one context array with HTEMPLATE (options bytes 13 and 28-31) and the
// template's fixed AT pixels, or each plane with MMR ending with the end-of-block code. A
// dictionary of one pattern needs no planes (arithmetic coding then still writes the flush of
// an empty MQ code stream, which decoders in the field read).
//
// Records are checked before anything is written; 10003 for a value that does not fit its
// field (HDPW or HDPH outside 1 to 255, HRX or HRY outside 0 to 65535, a template above 3, an
// operator above 4), for a pattern without a bitmap, a grid index not below the number of
// patterns, a collective bitmap or grid beyond the decoder's size limits, a region type other
// than 20, 22 or 23, or a referred-to list other than the one pattern dictionary given.
// 1 out of memory; 2001 a sink that takes bytes short; the generic coders' statuses otherwise.
// Nothing is taken back on failure: the segment number stays used, the bytes written stay in
// the sink.
#ifndef NORV_JBIG2_HALFTONE_ENCODE_H
#define NORV_JBIG2_HALFTONE_ENCODE_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_seg_write.h"
#include "jbig2_segment.h"

struct Jbig2PatternDictRecord {
  Jbig2SegHeader header;  // page association set by the caller
  int32_t count;          // number of patterns, GRAYMAX + 1
  uint16_t width;         // HDPW
  uint16_t height;        // HDPH
  const Jbig2Pattern *patterns;
};

struct Jbig2HalftoneRecord {
  Jbig2SegHeader header;  // type, page association and the referred-to dictionary set by the caller
  Jbig2RegionInfo region;
  const uint16_t *grid;  // gridHeight rows of gridWidth pattern indices
  uint32_t gridWidth;    // HGW
  uint32_t gridHeight;   // HGH
  int32_t hgx;
  int32_t hgy;
  int32_t hrx;
  int32_t hry;
  uint8_t combop;    // HCOMBOP
  uint8_t defpixel;  // HDEFPIXEL
};

int32_t encodePatternDict(Jb2File *stream, Jbig2PatternDictRecord *record);
int32_t encodeHalftoneRegion(Jb2File *stream, Jbig2HalftoneRecord *record,
                             const Jbig2PatternDictRecord *dict);

#endif
