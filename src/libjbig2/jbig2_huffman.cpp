// Code assignment (ITU-T T.88 B.3), canonical prefix decoding and the integer decoders:
// Huffman (B.4) and arithmetic (A.2, IAx; A.3, IAID).
#include "jbig2_huffman.h"

#include "jbig2_report.h"

// T.88 B.3: lines of prefix length 0 get no code; FIRSTCODE of each length is (FIRSTCODE +
// LENCOUNT of the length below) shifted left by 1, and lines take the codes in order.
int32_t assignPrefixCodes(Jbig2CodeTable *t, Jbig2CodeLine *lines, int32_t count, uint16_t *order) {
  t->lines = lines;
  t->numLines = count;
  t->order = order;
  uint32_t lenCount[kMaxPrefLen + 1] = {};
  for (int32_t i = 0; i < count; ++i) {
    if (lines[i].prefLen > kMaxPrefLen) return kJbBadData;
    if (lines[i].prefLen > 0) lenCount[lines[i].prefLen]++;
    t->hasLower |= lines[i].kind == kLineLower;
    t->hasUpper |= lines[i].kind == kLineUpper;
    t->hasOob |= lines[i].kind == kLineOob;
  }
  uint64_t first = 0;
  uint32_t total = 0;
  t->minPrefLen = kMaxPrefLen + 1;
  for (int n = 1; n <= kMaxPrefLen; ++n) {
    first = (first + lenCount[n - 1]) << 1;  // lenCount[0] is 0: lines without codes
    if (lenCount[n] > 0) {
      if (first + lenCount[n] > (uint64_t{1} << n)) return kJbParam;
      if (t->minPrefLen > kMaxPrefLen) t->minPrefLen = n;
    }
    t->firstCode[n] = static_cast<uint32_t>(first);
    t->count[n] = lenCount[n];
    t->start[n] = total;
    total += lenCount[n];
  }
  if (total == 0) return kJbBadData;
  uint32_t next[kMaxPrefLen + 1] = {};
  for (int32_t i = 0; i < count; ++i) {
    const int n = lines[i].prefLen;
    lines[i].code = n == 0 ? 0 : t->firstCode[n] + next[n];
    if (n > 0) order[t->start[n] + next[n]++] = static_cast<uint16_t>(i);
  }
  return 0;
}

int32_t buildCodeTable(Jbig2CodeTable *t, Jbig2CodeLine *lines, int32_t count, bool own,
                       QtzState *state) {
  *t = Jbig2CodeTable{};
  if (own) t->ownLines = lines;
  if (count > 65535) return jbReport(state, kJbBadData, "code table too long");
  t->ownOrder = jbAllocArray<uint16_t>(state, count);
  if (t->ownOrder == nullptr) return qtz::report(state, kJbNoMemory);
  const int32_t status = assignPrefixCodes(t, lines, count, t->ownOrder);
  if (status == 0) return 0;
  // A refused table gives its order back here, so callers that build a table of their own
  // lines (the symbol-ID run table) leak nothing; lines handed over stay with the table.
  jbFree(state, t->ownOrder);
  t->ownOrder = nullptr;
  if (status == kJbParam) return qtz::report(state, kJbParam);
  return jbReport(state, status, "code table without codes or with a prefix above 32");
}

void freeCodeTable(Jbig2CodeTable *t, QtzState *state) {
  jbFree(state, t->ownLines);
  jbFree(state, t->ownOrder);
  t->ownLines = nullptr;
  t->ownOrder = nullptr;
}

int32_t findCodeLine(const Jbig2CodeTable *t, JbitFile *bits, int32_t *line) {
  *line = -1;
  int n = t->minPrefLen;
  uint32_t code = 0;
  int32_t status = jbitGetBits(bits, n, &code);
  for (;;) {
    if (status != 0) return status;
    const uint32_t offset = code - t->firstCode[n];
    if (code >= t->firstCode[n] && offset < t->count[n]) {
      *line = t->order[t->start[n] + offset];
      return 0;
    }
    if (++n > kMaxPrefLen) return 0;
    uint32_t bit = 0;
    status = jbitGetBits(bits, 1, &bit);
    code = (code << 1) | bit;
  }
}

void newIntDecoder(Jbig2IntDecoder *d, bool huffman, const Jbig2CodeTable *table, JbitFile *bits,
                   MqDecoder *mq, uint8_t *cx512) {
  d->arith = huffman ? 0 : 1;
  d->table = table;
  d->bits = bits;
  d->mq = mq;
  d->cx = cx512;
  if (!huffman)
    for (int i = 0; i < 512; ++i) cx512[i] = 0;
}

namespace {

// Table A.1 by the number of 1-bits in the prefix after the sign: value bits and offset.
constexpr int kIaxBits[6] = {2, 4, 6, 8, 12, 32};
constexpr int64_t kIaxOffset[6] = {0, 4, 20, 84, 340, 4436};

// The IAx procedure of T.88 A.2 on a local copy of the decoder, so that its registers stay in
// machine registers while context bytes are stored (a byte store may alias any field of a
// decoder reached through a pointer). PREV stays below 256 through the sign and the prefix (at
// most 7 decisions), so only the value bits need the 9-bit rule.
int32_t decodeArithInt(Jbig2IntDecoder *d, bool *oob, int32_t *value) {
  MqDecoder mq = *d->mq;
  uint8_t *const cx = d->cx;
  const int sign = mqDecode(mq, &cx[1]);
  uint32_t prev = 2u | static_cast<uint32_t>(sign);
  int range = 0;
  while (range < 5) {
    const int b = mqDecode(mq, &cx[prev]);
    prev = (prev << 1) | static_cast<uint32_t>(b);
    if (b == 0) break;
    ++range;
  }
  uint64_t v = 0;
  for (int i = 0; i < kIaxBits[range]; ++i) {
    const int b = mqDecode(mq, &cx[prev]);
    prev = iaxNextPrev(prev, b);
    v = (v << 1) | static_cast<uint64_t>(b);
  }
  *d->mq = mq;
  const int64_t magnitude = kIaxOffset[range] + static_cast<int64_t>(v);
  *oob = sign && magnitude == 0;
  const int64_t result = sign ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return kJbBadData;
  *value = *oob ? 0 : static_cast<int32_t>(result);
  return 0;
}

}  // namespace

// Huffman integers as T.88 B.4 reads them: the lower-range line subtracts a 32-bit offset from
// its range low, the upper-range line adds one, other lines add RANGELEN bits.
int32_t decodeInt(Jbig2IntDecoder *d, bool *oob, int32_t *value) {
  *oob = false;
  *value = 0;
  if (d->arith) return decodeArithInt(d, oob, value);
  int32_t index = -1;
  int32_t status = findCodeLine(d->table, d->bits, &index);
  if (status != 0) return status;
  if (index < 0) return kJbBadData;
  const Jbig2CodeLine &line = d->table->lines[index];
  if (line.kind == kLineOob) {
    *oob = true;
    return 0;
  }
  uint32_t raw = 0;
  const int n = line.kind == kLineNormal ? line.rangeLen : 32;
  if ((status = jbitGetBits(d->bits, n, &raw)) != 0) return status;
  const int64_t result =
      line.kind == kLineLower ? int64_t{line.rangeLow} - raw : int64_t{line.rangeLow} + raw;
  if (result > INT32_MAX || result < INT32_MIN) return kJbBadData;
  *value = static_cast<int32_t>(result);
  return 0;
}

// The IAID procedure of T.88 A.3 on a local copy of the decoder (see decodeArithInt).
uint32_t decodeIaid(MqDecoder *mq, uint8_t *cx, int32_t codeLength) {
  MqDecoder local = *mq;
  uint32_t prev = 1;
  for (int32_t i = 0; i < codeLength; ++i) prev = (prev << 1) | mqDecode(local, &cx[prev]);
  *mq = local;
  return prev - (uint32_t{1} << codeLength);
}
