// Huffman code tables (ITU-T T.88 Annex B): the standard tables B.1 to B.15, user tables from
// code table segments (type 53), prefix-code decoding, and the integer and symbol-ID decoders,
// Huffman (B.4) or arithmetic (Annex A: IAx and IAID).
//
// Codes are assigned as B.3 says (first code per length from the counts of the shorter ones,
// line order within a length); the standard tables are built once, on first use, from their
// line lists as T.88 Tables B.1 to B.15 give them. A table is decoded canonically: for each length
// the codes form one run starting at the first code, so a code of length n selects entry code -
// first code of the run. Tables with prefix lengths above 32 or range lengths above 31 (special
// lines excepted), with no codes at all, or whose codes do not fit their lengths are refused.
#ifndef NORV_JBIG2_HUFFMAN_H
#define NORV_JBIG2_HUFFMAN_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_segment.h"
#include "mq_coder.h"

enum : uint8_t { kLineNormal = 0, kLineLower = 1, kLineUpper = 2, kLineOob = 3 };

struct Jbig2CodeLine {
  uint32_t code;
  int32_t rangeLow;
  uint8_t prefLen;   // 0: the line has no code
  uint8_t rangeLen;  // 32 for the range lines
  uint8_t kind;
};

inline constexpr int kMaxPrefLen = 32;

struct Jbig2CodeTable {
  uint8_t hasLower;
  uint8_t hasUpper;
  uint8_t hasOob;
  int32_t numLines;
  const Jbig2CodeLine *lines;
  int32_t minPrefLen;
  uint32_t firstCode[kMaxPrefLen + 1];
  uint32_t count[kMaxPrefLen + 1];
  uint32_t start[kMaxPrefLen + 1];  // first entry of each length in order
  const uint16_t *order;            // line indices by length, then code
  // Owned storage of a user table (null for the standard tables).
  Jbig2CodeLine *ownLines;
  uint16_t *ownOrder;
};

// Standard table B.n, n from 1 to 15.
const Jbig2CodeTable *standardTable(int n);

// Assigns codes to lines (T.88 B.3) into the caller's order array (count entries), without
// allocating or reporting: 2 when codes do not fit their lengths, 107 for a prefix length above
// 32 or a table without codes.
int32_t assignPrefixCodes(Jbig2CodeTable *table, Jbig2CodeLine *lines, int32_t count,
                          uint16_t *order);
// The same with the order allocated and failures reported; 2 when codes do not fit their
// lengths, 107 for a table without codes. The table takes the lines (and owns them when
// own is set).
int32_t buildCodeTable(Jbig2CodeTable *table, Jbig2CodeLine *lines, int32_t count, bool own,
                       QtzState *state);
void freeCodeTable(Jbig2CodeTable *table, QtzState *state);
// Reads one prefix code; *line receives the line index, or -1 when no line matches within 32
// bits (the callers report it as 107).
int32_t findCodeLine(const Jbig2CodeTable *table, JbitFile *bits, int32_t *line);

struct Jbig2IntDecoder {
  uint8_t arith;
  const Jbig2CodeTable *table;
  JbitFile *bits;
  MqDecoder *mq;
  uint8_t *cx;  // 512 bytes, caller-owned
};

void newIntDecoder(Jbig2IntDecoder *d, bool huffman, const Jbig2CodeTable *table, JbitFile *bits,
                   MqDecoder *mq, uint8_t *cx512);
// *oob is set for the out-of-band value; 107 for a code that matches no line or a value
// outside 32 bits.
int32_t decodeInt(Jbig2IntDecoder *d, bool *oob, int32_t *value);

// The IAx context that follows prev after a decision (T.88 A.2): PREV is kept to 9 bits, its
// top bit set once it has reached 256.
inline uint32_t iaxNextPrev(uint32_t prev, int bit) {
  return prev < 256 ? (prev << 1) | static_cast<uint32_t>(bit)
                    : (((prev << 1) | static_cast<uint32_t>(bit)) & 511) | 256;
}

// IAID (T.88 A.3): codeLength bits, 2^(codeLength + 1) contexts.
uint32_t decodeIaid(MqDecoder *mq, uint8_t *cx, int32_t codeLength);

// The plain transcriptions of A.2 (cx: 512 contexts) and A.3, kept for differential tests.
int32_t decodeArithIntReference(MqDecoder *mq, uint8_t *cx, bool *oob, int32_t *value);
uint32_t decodeIaidReference(MqDecoder *mq, uint8_t *cx, int32_t codeLength);

#endif
