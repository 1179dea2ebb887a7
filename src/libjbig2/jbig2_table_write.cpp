// Code table segments (type 53, ITU-T T.88 7.4.13 and B.2) for a Huffman table: a flags byte
// with HTOOB and the bit widths of the prefix and range lengths, HTLOW and HTHIGH, then each
// regular line's prefix and range length, the lower and upper range lines' prefix lengths (0
// for a line the table lacks) and, with HTOOB, the out-of-band line's prefix length.
//
// When the line bits end exactly on a byte boundary one zero byte follows them inside the
// segment data: some decoders in the field refuse such a table as "segment too short" (they
// want a byte beyond the last line), while every T.88 reader stops after the lines it counts
// from HTLOW and HTHIGH and skips the rest of the segment by its data length.
#include "jbig2_report.h"
#include "jbig2_value_encode.h"

namespace {

// Bits needed to write values up to largest: floor(log2(largest)) + 1, and 1 below 2.
int fieldWidth(int largest) {
  int width = 1;
  while ((largest >> width) != 0) ++width;
  return width;
}

}  // namespace

int32_t writeHuffTableSegment(Jb2File *stream, Jbig2TableSegment *segment) {
  QtzState *state = stream->state;
  const Jbig2CodeTable *table = segment->table;
  // The lines are checked as the integer encoder checks them: one unbroken regular span that
  // the range lines border.
  Jbig2IntEncoder shape;
  int32_t status = newIntEncoder(&shape, true, table, nullptr, nullptr, nullptr, state);
  if (status != 0) return status;
  if (shape.highest + 1 > INT32_MAX)
    return jbReport(state, kJbAssert, "table range does not fit HTHIGH");
  int largestPrefix = 0, largestRange = 0;
  for (int32_t i = 0; i < table->numLines; ++i) {
    largestPrefix = std::max<int>(largestPrefix, table->lines[i].prefLen);
    if (table->lines[i].kind == kLineNormal)
      largestRange = std::max<int>(largestRange, table->lines[i].rangeLen);
  }
  const int prefixBits = fieldWidth(largestPrefix), rangeBits = fieldWidth(largestRange);
  const bool oob = shape.oobLine >= 0;

  Jbig2SegHeader &h = segment->header;
  h.type = kSegTable;
  h.refCount = 0;
  if ((status = beginSegment(stream, &h, 1)) != 0) return status;
  DataSink *sink = stream->sink;
  const uint8_t flags =
      static_cast<uint8_t>((oob ? 1 : 0) | ((prefixBits - 1) << 1) | ((rangeBits - 1) << 4));
  status = sinkPutBigEndian(sink, flags, 1);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(shape.lowest), 4);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(shape.highest + 1), 4);
  if (status != 0) return status;
  JbitFile *bits = nullptr;
  if ((status = jbitWriterOnSink(sink, &bits)) != 0) return status;
  for (int32_t i = 0; i < shape.numRegular && status == 0; ++i) {
    const Jbig2CodeLine &line = table->lines[shape.firstRegular + i];
    status = jbitPutBits(bits, line.prefLen, prefixBits);
    if (status == 0) status = jbitPutBits(bits, line.rangeLen, rangeBits);
  }
  for (const int32_t special : {shape.lowerLine, shape.upperLine})
    if (status == 0)
      status = jbitPutBits(bits, special < 0 ? 0u : table->lines[special].prefLen, prefixBits);
  if (status == 0 && oob)
    status = jbitPutBits(bits, table->lines[shape.oobLine].prefLen, prefixBits);
  const int32_t closed = jbitCloseWriter(bits);
  if (status == 0) status = closed;
  const int64_t lineBits =
      int64_t{shape.numRegular} * (prefixBits + rangeBits) + int64_t{prefixBits} * (oob ? 3 : 2);
  if (status == 0 && lineBits % 8 == 0) status = sinkPutBigEndian(sink, 0, 1);
  if (status == 0) status = endSegmentData(stream, &h);
  return status;
}
