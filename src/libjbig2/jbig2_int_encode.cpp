// Integer and symbol-ID encoding: Huffman integers by the lines of a code table (T.88 B.4),
// arithmetic integers by IAx (A.2), symbol IDs by a prefix code or IAID (A.3). The IAx context
// update is the decoder's own (iaxNextPrev), so the two sides cannot drift apart.
#include <algorithm>

#include "jbig2_report.h"
#include "jbig2_value_encode.h"
#include "qtz_owners_internal.h"

namespace {

int32_t badTable(QtzState *state, const char *what) {
  return jbReport(state, kJbAssert, "integer coding: %s", what);
}

// The line that codes a value, with the bits that follow its prefix.
struct LineChoice {
  int32_t line = -1;
  uint32_t extra = 0;
  int extraBits = 0;
};

int32_t chooseLine(const Jbig2IntEncoder *e, int32_t value, bool oob, LineChoice *c) {
  if (oob) {
    if (e->oobLine < 0) return badTable(e->state, "no out-of-band line");
    c->line = e->oobLine;
    return 0;
  }
  const int64_t v = value;
  if (v < e->lowest || v > e->highest) {
    const bool below = v < e->lowest;
    c->line = below ? e->lowerLine : e->upperLine;
    if (c->line < 0) return badTable(e->state, "value outside the table's range");
    const int64_t offset = below ? e->lowest - 1 - v : v - (e->highest + 1);
    if (offset > int64_t{UINT32_MAX}) return badTable(e->state, "range line offset above 32 bits");
    c->extra = static_cast<uint32_t>(offset);
    c->extraBits = 32;
    return 0;
  }
  // The last regular line whose range starts at or below the value.
  const Jbig2CodeLine *first = e->table->lines + e->firstRegular;
  const Jbig2CodeLine *end = first + e->numRegular;
  const Jbig2CodeLine *hit =
      std::upper_bound(first, end, v,
                       [](int64_t x, const Jbig2CodeLine &line) { return x < line.rangeLow; }) -
      1;
  c->line = static_cast<int32_t>(hit - e->table->lines);
  c->extra = static_cast<uint32_t>(v - hit->rangeLow);
  c->extraBits = hit->rangeLen;
  return 0;
}

int32_t putArithBits(Jbig2IntEncoder *e, uint32_t *prev, uint64_t bits, int n) {
  for (int i = n - 1; i >= 0; --i) {
    const int bit = static_cast<int>((bits >> i) & 1);
    if (!mqEncode(e->mq, &e->cx[*prev], bit)) return qtz::report(e->state, kJbShortWrite);
    *prev = iaxNextPrev(*prev, bit);
  }
  return 0;
}

// IAx: sign, a prefix of up to five 1s choosing the magnitude class, then the value bits.
int32_t encodeArithInt(Jbig2IntEncoder *e, int32_t value, bool oob) {
  struct Class {
    int64_t offset;
    int bits;
  };
  static constexpr Class kClasses[] = {{0, 2}, {4, 4}, {20, 6}, {84, 8}, {340, 12}, {4436, 32}};
  uint32_t prev = 1;
  const int64_t magnitude = oob ? 0 : value < 0 ? -int64_t{value} : int64_t{value};
  int32_t status = putArithBits(e, &prev, oob || value < 0 ? 1 : 0, 1);
  int k = 0;
  while (k < 5 && magnitude >= kClasses[k + 1].offset) ++k;
  // k ones, then a 0 unless the class is the last.
  const uint64_t prefix = ((uint64_t{1} << k) - 1) << (k < 5 ? 1 : 0);
  if (status == 0) status = putArithBits(e, &prev, prefix, k < 5 ? k + 1 : k);
  if (status == 0)
    status = putArithBits(e, &prev, static_cast<uint64_t>(magnitude - kClasses[k].offset),
                          kClasses[k].bits);
  return status;
}

int32_t putCode(JbitFile *bits, const Jbig2CodeLine &line, QtzState *state) {
  if (line.prefLen == 0) return jbReport(state, kJbAssert, "coding a line without a code");
  return jbitPutBits(bits, line.code, line.prefLen);
}

}  // namespace

int32_t newIntEncoder(Jbig2IntEncoder *e, bool huffman, const Jbig2CodeTable *table, JbitFile *bits,
                      MqEncoder *mq, uint8_t *cx512, QtzState *state) {
  *e = Jbig2IntEncoder{};
  e->state = state;
  e->lowerLine = e->upperLine = e->oobLine = e->firstRegular = -1;
  if (!huffman) {
    e->arith = 1;
    e->mq = mq;
    e->cx = cx512;
    std::fill(cx512, cx512 + 512, uint8_t{0});
    return 0;
  }
  e->table = table;
  e->bits = bits;
  int64_t next = 0;
  for (int32_t i = 0; i < table->numLines; ++i) {
    const Jbig2CodeLine &line = table->lines[i];
    if (line.kind == kLineLower) e->lowerLine = i;
    if (line.kind == kLineUpper) e->upperLine = i;
    if (line.kind == kLineOob) e->oobLine = i;
    if (line.kind != kLineNormal) continue;
    if (e->firstRegular < 0) {
      e->firstRegular = i;
      e->lowest = line.rangeLow;
    } else if (e->firstRegular + e->numRegular != i || line.rangeLow != next) {
      return badTable(state, "regular lines not one unbroken span");
    }
    if (line.rangeLen > 31) return badTable(state, "range length above 31");
    next = int64_t{line.rangeLow} + (int64_t{1} << line.rangeLen);
    e->numRegular++;
  }
  if (e->numRegular == 0) return badTable(state, "no regular lines");
  e->highest = next - 1;
  if (e->lowerLine >= 0 && table->lines[e->lowerLine].rangeLow != e->lowest - 1)
    return badTable(state, "lower range line does not border the regular lines");
  if (e->upperLine >= 0 && table->lines[e->upperLine].rangeLow != next)
    return badTable(state, "upper range line does not border the regular lines");
  return 0;
}

int32_t encodeInt(Jbig2IntEncoder *e, int32_t value, bool oob) {
  if (e->arith) return encodeArithInt(e, value, oob);
  LineChoice c;
  int32_t status = chooseLine(e, value, oob, &c);
  if (status == 0) status = putCode(e->bits, e->table->lines[c.line], e->state);
  if (status == 0 && c.extraBits > 0) status = jbitPutBits(e->bits, c.extra, c.extraBits);
  return status;
}

int32_t countIntValue(const Jbig2IntEncoder *e, int32_t value, bool oob, uint32_t *counts) {
  LineChoice c;
  const int32_t status = chooseLine(e, value, oob, &c);
  if (status == 0) counts[c.line]++;
  return status;
}

int32_t newSymbolIdEncoder(uint32_t numSymbols, MqEncoder *mq, QtzState *state,
                           Jbig2SymbolIdEncoder **out) {
  *out = nullptr;
  qtz::OwnedBlock<Jbig2SymbolIdEncoder> e(state, jbAllocArray<Jbig2SymbolIdEncoder>(state, 1));
  if (!e) return qtz::report(state, kJbNoMemory);
  e->arith = 1;
  e->numSymbols = numSymbols;
  e->codeLength = ceilLog2(numSymbols);
  e->mq = mq;
  e->state = state;
  e->cx = jbAllocArray<uint8_t>(state, size_t{1} << (e->codeLength + 1));
  if (e->cx == nullptr) return qtz::report(state, kJbNoMemory);
  *out = e.release();
  return 0;
}

int32_t newSymbolIdHuffCode(uint32_t numSymbols, JbitFile *bits, const uint8_t *lengths,
                            QtzState *state, Jbig2SymbolIdEncoder **out) {
  *out = nullptr;
  for (uint32_t i = 0; i < numSymbols; ++i)
    if (lengths[i] > kMaxPrefLen) return badTable(state, "symbol code length above 32");
  qtz::OwnedBlock<Jbig2SymbolIdEncoder> e(state, jbAllocArray<Jbig2SymbolIdEncoder>(state, 1));
  auto *lines = jbAllocArray<Jbig2CodeLine>(state, numSymbols);
  if (!e || lines == nullptr) {
    jbFree(state, lines);
    return qtz::report(state, kJbNoMemory);
  }
  for (uint32_t i = 0; i < numSymbols; ++i)
    lines[i] = {0, static_cast<int32_t>(i), lengths[i], 0, kLineNormal};
  e->numSymbols = numSymbols;
  e->bits = bits;
  e->state = state;
  const int32_t status =
      buildCodeTable(&e->table, lines, static_cast<int32_t>(numSymbols), true, state);
  if (status != 0) {
    freeCodeTable(&e->table, state);
    return status;
  }
  *out = e.release();
  return 0;
}

int32_t encodeSymbolId(Jbig2SymbolIdEncoder *e, uint32_t id) {
  if (id >= e->numSymbols) return jbReport(e->state, kJbAssert, "symbol ID %u out of range", id);
  if (!e->arith) return putCode(e->bits, e->table.lines[id], e->state);
  uint32_t prev = 1;
  for (int32_t i = e->codeLength - 1; i >= 0; --i) {
    const int bit = static_cast<int>((id >> i) & 1);
    if (!mqEncode(e->mq, &e->cx[prev], bit)) return qtz::report(e->state, kJbShortWrite);
    prev = (prev << 1) | static_cast<uint32_t>(bit);
  }
  return 0;
}

void freeSymbolIdEncoder(Jbig2SymbolIdEncoder **e) {
  if (*e == nullptr) return;
  QtzState *state = (*e)->state;
  jbFree(state, (*e)->cx);
  freeCodeTable(&(*e)->table, state);
  jbFree(state, *e);
  *e = nullptr;
}
