// The value coders of the JBIG2 encoders: integers with a Huffman table (T.88 B.4 in the
// encoding direction) or the arithmetic integer procedure IAx (A.2), symbol IDs with a prefix
// code or IAID (A.3), and the choice, per kind of value, of the cheapest candidate standard
// table or a custom table built from the value counts, written as a table segment (type 53).
//
// Huffman integers: a value below the lowest regular value takes the lower range line and
// (lowest - 1 - V) in 32 bits, a value above the highest takes the upper range line and
// V - (highest + 1) in 32 bits, OOB takes the OOB line; anything else the regular line whose
// range holds it and V - low in range-length bits. A table without the line a value needs, a
// line without a code, or range lines that do not border the regular span give 10003.
//
// Code lengths from counts are Huffman's, ties broken by weight and then by the smallest leaf
// index, and limited to a maximum length (T.88 tables allow 32; a longer tree is rebalanced by
// moving leaves up, as JPEG K.3 does for its 16-bit limit). Candidate costs count bits exactly:
// count x (prefix length + range length) per line; a custom table also pays 8 bits per line and
// 160 for its segment and is taken only when strictly cheaper than the best standard table.
#ifndef NORV_JBIG2_VALUE_ENCODE_H
#define NORV_JBIG2_VALUE_ENCODE_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_huffman.h"
#include "jbig2_seg_write.h"
#include "mq_coder.h"

struct Jbig2IntEncoder {
  uint8_t arith;
  // Huffman: the table (not owned), the bit writer (null: the encoder only counts) and the
  // lines and values derived from the table.
  const Jbig2CodeTable *table;
  JbitFile *bits;
  int32_t lowerLine;  // line indices, -1 when absent
  int32_t upperLine;
  int32_t oobLine;
  int32_t firstRegular;  // regular lines are lines [firstRegular, firstRegular + numRegular)
  int32_t numRegular;
  int64_t lowest;   // lowest value of the regular lines
  int64_t highest;  // highest value of the regular lines
  // Arithmetic: the running MQ encoder and 512 context bytes of the caller's.
  MqEncoder *mq;
  uint8_t *cx;
  QtzState *state;
};

// Huffman when huffman is set (cx512 unused), else IAx over mq with cx512 zeroed. 10003 for a
// table whose lines break the invariants above.
int32_t newIntEncoder(Jbig2IntEncoder *e, bool huffman, const Jbig2CodeTable *table, JbitFile *bits,
                      MqEncoder *mq, uint8_t *cx512, QtzState *state);
int32_t encodeInt(Jbig2IntEncoder *e, int32_t value, bool oob);
// Adds 1 to counts[line] for the line that would code the value; 10003 when none can.
int32_t countIntValue(const Jbig2IntEncoder *e, int32_t value, bool oob, uint32_t *counts);

struct Jbig2SymbolIdEncoder {
  uint8_t arith;
  uint32_t numSymbols;
  int32_t codeLength;  // SBSYMCODELEN (IAID)
  MqEncoder *mq;
  uint8_t *cx;           // 2^(codeLength + 1) bytes, owned
  Jbig2CodeTable table;  // prefix code: line i codes ID i (owned lines)
  JbitFile *bits;
  QtzState *state;
};

// IAID over mq with ceilLog2(numSymbols) bits.
int32_t newSymbolIdEncoder(uint32_t numSymbols, MqEncoder *mq, QtzState *state,
                           Jbig2SymbolIdEncoder **out);
// A prefix code with lengths[i] the code length of ID i (0: the ID is never coded).
int32_t newSymbolIdHuffCode(uint32_t numSymbols, JbitFile *bits, const uint8_t *lengths,
                            QtzState *state, Jbig2SymbolIdEncoder **out);
int32_t encodeSymbolId(Jbig2SymbolIdEncoder *e, uint32_t id);
void freeSymbolIdEncoder(Jbig2SymbolIdEncoder **e);

// Code lengths for n counts (0 for a count of 0; a lone leaf gets 1), none above maxLength.
int32_t huffCodeLengths(const uint32_t *counts, uint8_t *lengths, int32_t n, int32_t maxLength,
                        QtzState *state);

// A copy of table with new prefix lengths: from lengths, or computed from counts (limited to
// 32) when lengths is null; codes assigned anew. Freed with freeHuffTable.
int32_t newCustomHuffTable(const Jbig2CodeTable *table, const uint32_t *counts,
                           const uint8_t *lengths, QtzState *state, Jbig2CodeTable **out);
void freeHuffTable(Jbig2CodeTable *table, QtzState *state);

// Bits to code the counted values with table as it is (*standardCost) and with prefix lengths
// from the counts (*customCost, lengths into lengths; the table segment not included).
int32_t huffTableCosts(const Jbig2CodeTable *table, const uint32_t *counts, uint8_t *lengths,
                       uint64_t *standardCost, uint64_t *customCost, QtzState *state);

// One candidate table and the counts of the values seen so far; unusable once a value came
// that the table cannot code.
struct Jbig2ValueCollector {
  Jbig2IntEncoder counter;
  uint32_t *counts;  // per line
  uint8_t *lengths;  // per line, filled by chooseHuffTable
  uint8_t unusable;
};

int32_t newValueCollectors(const Jbig2CodeTable *const *candidates, int32_t n, QtzState *state,
                           Jbig2ValueCollector **out);
void freeValueCollectors(Jbig2ValueCollector **collectors, int32_t n, QtzState *state);
// Counts one value on every candidate.
int32_t collectValue(Jbig2ValueCollector *collectors, int32_t n, int32_t value, bool oob);

// The cheapest candidate (the earlier on equal cost) in *table with *custom null, or, when
// customAllowed and a custom table is strictly cheaper with its segment, that table in *custom
// (owned by the caller) and in *table. 10003 when no candidate can code the values.
int32_t chooseHuffTable(Jbig2ValueCollector *collectors, int32_t n, bool customAllowed,
                        QtzState *state, const Jbig2CodeTable **table, Jbig2CodeTable **custom);

struct Jbig2TableSegment {
  Jbig2SegHeader header;  // page association set by the caller
  const Jbig2CodeTable *table;
};

// Writes the table as a code table segment (retained, no referred-to segments).
int32_t writeHuffTableSegment(Jb2File *stream, Jbig2TableSegment *segment);

#endif
