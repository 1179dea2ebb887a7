// Writing JBIG2 segments (ITU-T T.88 7.2 and 7.4): segment headers, the region segment
// information field, and the segments without a coder of their own: page information (48),
// end of page (49), end of stripe (50) and end of file (51).
//
// Every segment writer follows one order: take the number from jb2NextSegmentNumber, write the
// header (the 4 data-length bytes are set aside at the sink's one mark), zero the sink's running
// count, write the data, then fill in the data length from the count (endSegmentData). Segments
// are therefore written one after another, never nested.
//
// Fields are checked before anything is written: a value that does not fit its field (a
// negative number or size, a type above 63, a referred-to number not below the segment's own,
// a combination operator above 4, a stripe size above 15 bits, a page association below 1
// where one is required, referred-to arrays missing while the count is not 0) gives 10003.
// A sink that takes bytes short gives 2001. Nothing is taken back on failure: the segment
// number stays used and bytes already written stay in the sink.
#ifndef NORV_JBIG2_SEG_WRITE_H
#define NORV_JBIG2_SEG_WRITE_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_segment.h"

struct Jbig2SegHeader {
  int32_t number;
  uint32_t dataLength;
  int32_t page;      // page association, 0 for none
  int32_t refCount;  // referred-to segments
  int32_t *refs;     // their numbers, owned (state's hooks)
  uint8_t *retain;   // their retention flags, owned
  uint8_t type;
  uint8_t retainThis;
  uint8_t deferred;
};

struct Jbig2PageRecord {
  Jbig2SegHeader header;
  Jbig2PageInfo info;
};

struct Jbig2EndOfStripeRecord {
  Jbig2SegHeader header;
  int32_t endRow;
};

// Writes the header through the page association and reserves the 4 data-length bytes.
int32_t writeSegmentHeader(Jb2File *stream, const Jbig2SegHeader *header);
// Starts a segment: gives it the stream's next number, the retention flag `retain` and no
// deferred flag, writes its header and starts counting its data bytes.
int32_t beginSegment(Jb2File *stream, Jbig2SegHeader *header, uint8_t retain);
// Fills the reserved bytes with header->dataLength, big-endian.
int32_t writeSegmentLength(Jb2File *stream, const Jbig2SegHeader *header);
// Sets the data length from the sink's running count and writes it.
int32_t endSegmentData(Jb2File *stream, Jbig2SegHeader *header);
// Appends the numbers of n written segments to the referred-to list (retention flag 0).
int32_t segAddReferences(Jb2File *stream, Jbig2SegHeader *header,
                         const Jbig2SegHeader *const *segments, int32_t n);
// Frees the referred-to arrays.
void freeSegReferences(Jb2File *stream, Jbig2SegHeader *header);

// Region segment information: width, height, x, y (4 bytes each) and the operator (1 byte).
int32_t writeRegionInfo(Jb2File *stream, DataSink *sink, const Jbig2RegionInfo *region);

int32_t writePageInfo(Jb2File *stream, Jbig2PageRecord *page);
int32_t writeEndOfPage(Jb2File *stream, Jbig2SegHeader *header);
int32_t writeEndOfStripe(Jb2File *stream, Jbig2EndOfStripeRecord *record);
int32_t writeEndOfFile(Jb2File *stream, Jbig2SegHeader *header);

// Writes the low n bytes of value, most significant first; 2001 when the sink takes them short.
int32_t sinkPutBigEndian(DataSink *sink, uint32_t value, int n);

#endif
