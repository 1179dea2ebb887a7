// Text region segments (types 4, 6 and 7; ITU-T T.88 6.4 and 7.4.3) written from planned
// instances: the instance loop of 6.4.5 in the encoding direction (strip steps DT, first S of
// each strip FS, S steps DS ending each strip with OOB, T within the strip, symbol ID), with
// the arithmetic coders IADT, IAFS, IADS, IAIT and IAID, or Huffman tables and the symbol-ID
// code of 7.4.3.1.7 (code lengths from the use counts, run coded with 35 run codes whose own
// lengths are limited to the 4 bits they are written in).
//
// Huffman tables: a dry run over the instances counts the DT, DS and FS values on the
// candidates (FS: B.6, B.7; DS: B.8 to B.10; DT: B.11 to B.13 and a table of this program with
// a lower range line for the steps below 1 that only caller-ordered regions take); the
// cheapest wins, or a custom table when allowed and cheaper with its segment, or, when a step
// below 1 occurred, a custom table over that fourth candidate. Custom tables are made only while
// the region's referred-to segments stay at four or fewer, so that its header never takes the
// long form of the referred-to count (readers disagree on that form's retention bytes). Symbol IDs
// run over the referred-to dictionaries in order; a symbol is found by its address inside one of
// their arrays. Positions are limited to 2^24 from the region's origin so that every coded value
// fits 32 bits; sizes and positions are held in 32 bits throughout (pages of any height).
#include <algorithm>
#include <functional>

#include "jbig2_huffman.h"
#include "jbig2_report.h"
#include "jbig2_symbol_encode.h"
#include "jbig2_value_encode.h"
#include "qtz_owners_internal.h"

namespace {

constexpr uint8_t N = kLineNormal;
// The fourth DT candidate: steps 1 to 140 in ranges of their own, a lower range line for steps
// below 1 and an upper one above 140. Its prefix lengths always come from the counts.
const Jbig2CodeLine kDtLines[] = {{0, 1, 0, 0, N},           {0, 2, 0, 0, N},
                                  {0, 3, 0, 0, N},           {0, 4, 0, 0, N},
                                  {0, 5, 0, 1, N},           {0, 7, 0, 3, N},
                                  {0, 15, 0, 1, N},          {0, 17, 0, 2, N},
                                  {0, 21, 0, 3, N},          {0, 29, 0, 4, N},
                                  {0, 45, 0, 5, N},          {0, 77, 0, 6, N},
                                  {0, 0, 0, 32, kLineLower}, {0, 141, 0, 32, kLineUpper}};

const Jbig2CodeTable *lowStepDtCandidate() {
  static const Jbig2CodeTable kTable = [] {
    Jbig2CodeTable t{};
    t.hasLower = 1;
    t.hasUpper = 1;
    t.numLines = static_cast<int32_t>(std::size(kDtLines));
    t.lines = kDtLines;
    return t;
  }();
  return &kTable;
}

enum ValueKind { kDt, kFs, kDs, kIt, kId };

// Where each symbol of the referred-to dictionaries lies: the dictionaries by address.
struct DictSpan {
  const Jbig2Symbol *first;
  const Jbig2Symbol *end;
  uint32_t firstId;
};

struct TextPlan {
  Jbig2TextLayout layout{};
  const Jbig2SymbolInstance *base = nullptr;  // the record's instances
  const Jbig2SymbolInstance **order = nullptr;
  uint32_t *ids = nullptr;  // per instance of the record
  uint32_t numSymbols = 0;
  int32_t count = 0;
};

// Calls visit(kind, value, oob) for every value the region codes, in coding order.
template <typename Visit>
int32_t walkInstances(const TextPlan &p, Visit &&visit) {
  const int32_t shift = p.layout.logStrips;
  int64_t stripT = p.layout.stripT, firstS = 0, predicted = 0;
  int32_t status = visit(kDt, -(stripT >> shift), false);
  for (int32_t k = 0; k < p.count && status == 0; ++k) {
    const Jbig2SymbolInstance &in = *p.order[k];
    const Jbig2InstanceKey key = instanceKey(p.layout, in);
    if (k > 0 && (key.t >> shift) == (stripT >> shift)) {
      status = visit(kDs, key.s - predicted, false);
    } else {
      if (k > 0) status = visit(kDs, 0, true);
      if (status == 0) status = visit(kDt, (key.t - stripT) >> shift, false);
      if (status == 0) status = visit(kFs, key.s - firstS, false);
      firstS = key.s;
      stripT = (key.t >> shift) * (int64_t{1} << shift);
    }
    if (status == 0 && shift > 0) status = visit(kIt, key.t - stripT, false);
    if (status == 0) status = visit(kId, p.ids[&in - p.base], false);
    predicted = key.s + key.size - 1 + p.layout.dsOffset;
  }
  if (status == 0 && p.count > 0) status = visit(kDs, 0, true);
  return status;
}

// Symbol IDs of the instances and their use counts; 10003 for a symbol of no dictionary.
int32_t assignSymbolIds(Jb2File *stream, const Jbig2TextRegionRecord *r,
                        const Jbig2SymbolDictRecord *const *dicts, TextPlan *p,
                        qtz::OwnedBlock<uint32_t> *useCounts) {
  QtzState *state = stream->state;
  const int32_t numDicts = r->header.refCount;
  qtz::OwnedBlock<DictSpan> spans(state,
                                  jbAllocArray<DictSpan>(state, static_cast<size_t>(numDicts)));
  if (!spans) return qtz::report(state, kJbNoMemory);
  int64_t total = 0;
  for (int32_t i = 0; i < numDicts; ++i) {
    const Jbig2SymbolDictRecord *d = dicts[i];
    if (d == nullptr || d->header.type != kSegSymbolDict || d->header.number != r->header.refs[i] ||
        d->numSymbols < 0 || (d->numSymbols > 0 && d->symbols == nullptr))
      return jbReport(state, kJbAssert,
                      "text region: referred-to segment %d is not the dictionary given", i);
    spans.get()[i] = {d->symbols, d->symbols + d->numSymbols, static_cast<uint32_t>(total)};
    total += d->numSymbols;
    if (total > (int64_t{1} << 24))
      return jbReport(state, kJbParam, "text region: more than 2^24 symbols");
  }
  const std::less<const Jbig2Symbol *> before;
  std::sort(spans.get(), spans.get() + numDicts,
            [&before](const DictSpan &a, const DictSpan &b) { return before(a.first, b.first); });
  p->numSymbols = static_cast<uint32_t>(total);
  p->ids = jbAllocArray<uint32_t>(state, static_cast<size_t>(r->numInstances));
  useCounts->reset(jbAllocArray<uint32_t>(state, p->numSymbols));
  if (p->ids == nullptr || !*useCounts) return qtz::report(state, kJbNoMemory);
  for (int32_t k = 0; k < r->numInstances; ++k) {
    const Jbig2Symbol *symbol = r->instances[k].symbol;
    // The last dictionary starting at or before the symbol.
    const DictSpan *span = std::upper_bound(
        spans.get(), spans.get() + numDicts, symbol,
        [&before](const Jbig2Symbol *s, const DictSpan &d) { return before(s, d.first); });
    if (span == spans.get() || !before(symbol, (span - 1)->end))
      return jbReport(state, kJbAssert, "text region: instance %d names a symbol of no dictionary",
                      k);
    --span;
    p->ids[k] = span->firstId + static_cast<uint32_t>(symbol - span->first);
    useCounts->get()[p->ids[k]]++;
  }
  return 0;
}

// Positions and sizes every coded value of which fits 32 bits.
int32_t checkInstances(QtzState *state, const Jbig2TextRegionRecord *r) {
  for (int32_t k = 0; k < r->numInstances; ++k) {
    const Jbig2SymbolInstance &in = r->instances[k];
    if (in.symbol == nullptr || !jbSizeOk(in.symbol->width, in.symbol->height))
      return jbReport(state, kJbParam, "text region: instance %d has no symbol of a coded size", k);
    if (in.x < -kJbMaxSide || in.x > kJbMaxSide || in.y < -kJbMaxSide || in.y > kJbMaxSide)
      return jbReport(state, kJbParam, "text region: instance %d at (%d, %d) out of range", k, in.x,
                      in.y);
  }
  return 0;
}

int32_t planTextRegion(Jb2File *stream, const Jbig2TextRegionRecord *r, bool keepOrder,
                       TextPlan *p) {
  QtzState *state = stream->state;
  const uint8_t *options = stream->options.bytes;
  Jbig2TextLayout &layout = p->layout;
  int32_t status = 0;
  if (keepOrder) {
    if (options[16]) return jbReport(state, kJbParam, "text region: caller's order needs TOPLEFT");
    layout.refCorner = 1;
  } else if (!options[17]) {
    status = chooseTransposed(r->instances, r->numInstances, r->region.width, r->region.height,
                              state, &layout.transposed);
    if (status != 0) return status;
    if (layout.transposed && options[16])
      return jbReport(state, kJbAssert, "text region: transposed with reference corner fixed");
    layout.refCorner = layout.transposed ? 1 : 0;
  }
  if ((status = chooseStripsAndOffset(r->instances, r->numInstances, &layout, state)) != 0)
    return status;
  p->order = jbAllocArray<const Jbig2SymbolInstance *>(state, static_cast<size_t>(r->numInstances));
  if (p->order == nullptr) return qtz::report(state, kJbNoMemory);
  for (int32_t k = 0; k < r->numInstances; ++k) p->order[k] = &r->instances[k];
  if (!keepOrder) {
    sortTextInstances(layout, p->order, r->numInstances);
    return 0;
  }
  // One strip starting just above the first row.
  int64_t lowest = r->numInstances > 0 ? INT64_MAX : 0;
  for (int32_t k = 0; k < r->numInstances; ++k)
    lowest = std::min(lowest, instanceKey(layout, r->instances[k]).t);
  layout.logStrips = 0;
  layout.stripT = lowest - 1;
  return 0;
}

// The Huffman tables of a region: FS, DS and DT, standard or custom (owned in custom[]).
struct TextTables {
  const Jbig2CodeTable *fs = nullptr, *ds = nullptr, *dt = nullptr;
  Jbig2CodeTable *custom[3] = {};  // FS, DS, DT
  QtzState *state = nullptr;
  ~TextTables() {
    for (Jbig2CodeTable *t : custom) freeHuffTable(t, state);
  }
};

// At most `slots` custom tables are made (a segment header carries four referred-to segments in
// its short form, and the region already refers to its dictionaries): the step-below-1 DT table
// first, then FS, DS and DT in that order while slots remain.
int32_t chooseTextRegionTables(Jb2File *stream, const TextPlan &p, int32_t slots, TextTables *t) {
  QtzState *state = stream->state;
  const uint8_t *options = stream->options.bytes;
  // Candidates: FS 0-1, DS 2-4, DT 5-8.
  const Jbig2CodeTable *candidates[9] = {
      standardTable(6),  standardTable(7),  standardTable(8),
      standardTable(9),  standardTable(10), standardTable(11),
      standardTable(12), standardTable(13), lowStepDtCandidate()};
  Jbig2ValueCollector *c = nullptr;
  int32_t status = newValueCollectors(candidates, 9, state, &c);
  if (status != 0) return status;
  bool stepBelowOne = false;
  status = walkInstances(p, [&](ValueKind kind, int64_t value, bool oob) {
    const auto v = static_cast<int32_t>(value);
    if (kind == kFs) return collectValue(c, 2, v, oob);
    if (kind == kDs) return collectValue(c + 2, 3, v, oob);
    if (kind != kDt) return 0;
    stepBelowOne = stepBelowOne || value < 1;
    return collectValue(c + 5, 4, v, oob);
  });
  const bool fixed = options[15] != 0;
  if (status == 0 && fixed) {
    t->fs = candidates[0], t->ds = candidates[2], t->dt = candidates[5];
    if (stepBelowOne)
      status = jbReport(state, kJbParam, "text region: strip step below 1 with fixed tables");
  } else if (status == 0) {
    if (stepBelowOne) --slots;
    auto choose = [&](int32_t first, int32_t n, const Jbig2CodeTable **table,
                      Jbig2CodeTable **custom) {
      const int32_t chosen =
          chooseHuffTable(c + first, n, options[14] != 0 && slots > 0, state, table, custom);
      slots -= *custom != nullptr ? 1 : 0;
      return chosen;
    };
    if (stepBelowOne && slots < 0)
      status = jbReport(state, kJbAssert, "text region: no referred-to slot for its DT table");
    if (status == 0) status = choose(0, 2, &t->fs, &t->custom[0]);
    if (status == 0) status = choose(2, 3, &t->ds, &t->custom[1]);
    if (status == 0 && stepBelowOne) {
      status = newCustomHuffTable(candidates[8], c[8].counts, nullptr, state, &t->custom[2]);
      t->dt = t->custom[2];
    } else if (status == 0) {
      status = choose(5, 3, &t->dt, &t->custom[2]);
    }
  }
  freeValueCollectors(&c, 9, state);
  return status;
}

// Calls emit(code, extra, extraBits) for the run codes of the length sequence (T.88 Table 29).
template <typename Emit>
int32_t runCodeLengths(const uint8_t *lengths, uint32_t n, Emit &&emit) {
  int32_t status = 0;
  for (uint32_t i = 0; i < n && status == 0;) {
    const uint8_t length = lengths[i];
    uint32_t run = 1;
    while (i + run < n && lengths[i + run] == length) ++run;
    i += run;
    if (length == 0) {
      for (; run > 137 && status == 0; run -= 138) status = emit(34, 127, 7);
      if (status != 0) break;
      if (run >= 11)
        status = emit(34, run - 11, 7);
      else if (run >= 3)
        status = emit(33, run - 3, 3);
      else
        for (uint32_t k = 0; k < run && status == 0; ++k) status = emit(0, 0, 0);
      continue;
    }
    status = emit(length, 0, 0);
    uint32_t rest = run - 1;
    for (; rest >= 6 && status == 0; rest -= 6) status = emit(32, 3, 2);
    if (status != 0) break;
    if (rest >= 3)
      status = emit(32, rest - 3, 2);
    else
      for (uint32_t k = 0; k < rest && status == 0; ++k) status = emit(length, 0, 0);
  }
  return status;
}

// The symbol-ID code: lengths from the use counts (at most 31, the longest a run code names),
// written as the run-code lengths in 4 bits each and the run-coded length sequence; the
// writer is then aligned to a byte.
int32_t writeSymbolIdTable(JbitFile *bits, const uint32_t *useCounts, uint32_t numSymbols,
                           uint8_t *lengths, QtzState *state) {
  int32_t status = huffCodeLengths(useCounts, lengths, static_cast<int32_t>(numSymbols), 31, state);
  if (status != 0) return status;
  // A region without instances still carries the table, and a table needs a code: the first
  // symbol gets one (decoders refuse a symbol-ID table in which no symbol has a code).
  if (numSymbols > 0 &&
      std::all_of(lengths, lengths + numSymbols, [](uint8_t n) { return n == 0; }))
    lengths[0] = 1;
  uint32_t runCounts[35] = {};
  runCodeLengths(lengths, numSymbols, [&](uint32_t code, uint32_t, int) {
    runCounts[code]++;
    return 0;
  });
  // A table without any code is not a table: with no symbols, run code 0 gets a code.
  if (numSymbols == 0) runCounts[0] = 1;
  uint8_t runLengths[35];
  if ((status = huffCodeLengths(runCounts, runLengths, 35, 15, state)) != 0) return status;
  Jbig2CodeLine lines[35];
  uint16_t order[35];
  for (int i = 0; i < 35; ++i) lines[i] = {0, i, runLengths[i], 0, kLineNormal};
  Jbig2CodeTable table{};
  if (assignPrefixCodes(&table, lines, 35, order) != 0)
    return jbReport(state, kJbAssert, "text region: run codes do not form a prefix code");
  for (int i = 0; i < 35 && status == 0; ++i) status = jbitPutBits(bits, runLengths[i], 4);
  if (status == 0)
    status = runCodeLengths(lengths, numSymbols, [&](uint32_t code, uint32_t extra, int n) {
      int32_t s = jbitPutBits(bits, lines[code].code, lines[code].prefLen);
      if (s == 0 && n > 0) s = jbitPutBits(bits, extra, n);
      return s;
    });
  if (status == 0) status = jbitAlign(bits);
  return status;
}

// The coders of the region's data: arithmetic or Huffman.
struct TextCoders {
  QtzState *state = nullptr;
  bool huffman = false;
  int32_t logStrips = 0;
  MqEncoder mq{};
  JbitFile *bits = nullptr;
  uint8_t *cx = nullptr;  // IADT, IAFS, IADS, IAIT
  Jbig2IntEncoder ints[4]{};
  Jbig2SymbolIdEncoder *ids = nullptr;
  ~TextCoders() {
    if (bits != nullptr) jbFree(state, bits);
    jbFree(state, cx);
    freeSymbolIdEncoder(&ids);
  }
  int32_t code(ValueKind kind, int64_t value, bool oob) {
    const auto v = static_cast<int32_t>(value);
    if (kind == kId) return encodeSymbolId(ids, static_cast<uint32_t>(value));
    if (kind == kIt && huffman) return jbitPutBits(bits, static_cast<uint32_t>(v), logStrips);
    return encodeInt(&ints[kind], v, oob);
  }
};

int32_t startCoders(Jb2File *stream, const TextPlan &p, const TextTables &tables,
                    const uint32_t *useCounts, TextCoders *c) {
  QtzState *state = stream->state;
  c->state = state;
  c->logStrips = p.layout.logStrips;
  if (!c->huffman) {
    c->cx = jbAllocArray<uint8_t>(state, 512 * 4);
    if (c->cx == nullptr) return qtz::report(state, kJbNoMemory);
    sinkStartMq(stream->sink, &c->mq);
    for (int i = 0; i < 4; ++i)
      newIntEncoder(&c->ints[i], false, nullptr, nullptr, &c->mq, c->cx + 512 * i, state);
    return newSymbolIdEncoder(p.numSymbols, &c->mq, state, &c->ids);
  }
  int32_t status = jbitWriterOnSink(stream->sink, &c->bits);
  const Jbig2CodeTable *kinds[3] = {tables.dt, tables.fs, tables.ds};
  for (int i = 0; i < 3 && status == 0; ++i)
    status = newIntEncoder(&c->ints[i], true, kinds[i], c->bits, nullptr, nullptr, state);
  if (status != 0) return status;
  qtz::OwnedBlock<uint8_t> lengths(state, jbAllocArray<uint8_t>(state, p.numSymbols));
  if (!lengths) return qtz::report(state, kJbNoMemory);
  status = writeSymbolIdTable(c->bits, useCounts, p.numSymbols, lengths.get(), state);
  if (status == 0)
    status = newSymbolIdHuffCode(p.numSymbols, c->bits, lengths.get(), state, &c->ids);
  return status;
}

int32_t finishCoders(Jb2File *stream, TextCoders *c) {
  if (!c->huffman) return sinkEndMq(stream->sink, &c->mq);
  const int32_t status = jbitCloseWriter(c->bits);
  c->bits = nullptr;
  return status;
}

// Writes the custom tables as table segments and refers to them.
int32_t writeCustomTables(Jb2File *stream, Jbig2TextRegionRecord *r, const TextTables &t) {
  for (Jbig2CodeTable *table : t.custom) {
    if (table == nullptr) continue;
    Jbig2TableSegment segment{};
    segment.header.page = r->header.page;
    segment.table = table;
    int32_t status = writeHuffTableSegment(stream, &segment);
    const Jbig2SegHeader *written = &segment.header;
    if (status == 0) status = segAddReferences(stream, &r->header, &written, 1);
    if (status != 0) return status;
  }
  return 0;
}

uint16_t regionFlags(const Jbig2TextLayout &layout, bool huffman) {
  return static_cast<uint16_t>((huffman ? 1 : 0) | (layout.logStrips << 2) |
                               (layout.refCorner << 4) | ((layout.transposed ? 1 : 0) << 6) |
                               ((layout.dsOffset & 0x1F) << 10));
}

// Huffman table selection: B.6/B.7/custom for FS, B.8 to B.10/custom for DS, B.11 to
// B.13/custom for DT; refinement tables 0.
uint16_t tableFlags(const TextTables &t) {
  auto select = [](const Jbig2CodeTable *table, int firstStandard, int count) {
    for (int i = 0; i < count; ++i)
      if (table == standardTable(firstStandard + i)) return i;
    return 3;
  };
  return static_cast<uint16_t>(select(t.fs, 6, 2) | (select(t.ds, 8, 3) << 2) |
                               (select(t.dt, 11, 3) << 4));
}

}  // namespace

int32_t encodeTextRegion(Jb2File *stream, Jbig2TextRegionRecord *r,
                         const Jbig2SymbolDictRecord *const *dicts, Jbig2InstanceOrderFn order,
                         void *user, bool keepOrder) {
  QtzState *state = stream->state;
  if (!isTextType(r->header.type))
    return jbReport(state, kJbAssert, "text region: segment type %d", r->header.type);
  if (r->numInstances < 0 || (r->numInstances > 0 && r->instances == nullptr) ||
      r->header.refCount < 0 ||
      (r->header.refCount > 0 && (dicts == nullptr || r->header.refs == nullptr)))
    return jbReport(state, kJbAssert, "text region: inconsistent record");
  int32_t status = checkInstances(state, r);
  if (status != 0) return status;
  TextPlan p;
  p.base = r->instances;
  p.count = r->numInstances;
  qtz::OwnedBlock<uint32_t> useCounts(state, nullptr);
  status = assignSymbolIds(stream, r, dicts, &p, &useCounts);
  qtz::OwnedBlock<uint32_t> ids(state, p.ids);
  if (status == 0) status = planTextRegion(stream, r, keepOrder, &p);
  qtz::OwnedBlock<const Jbig2SymbolInstance *> sorted(state, p.order);
  if (status == 0 && order != nullptr) status = order(p.order, p.count, user);
  if (status != 0) return status;

  const bool huffman = stream->options.bytes[13] == 0;
  TextTables tables;
  tables.state = state;
  if (huffman) {
    const int32_t slots = 4 - r->header.refCount;
    if ((status = chooseTextRegionTables(stream, p, slots, &tables)) != 0) return status;
    if ((status = writeCustomTables(stream, r, tables)) != 0) return status;
  }
  Jbig2SegHeader &h = r->header;
  if ((status = beginSegment(stream, &h, 0)) != 0) return status;
  DataSink *sink = stream->sink;
  status = writeRegionInfo(stream, sink, &r->region);
  if (status == 0) status = sinkPutBigEndian(sink, regionFlags(p.layout, huffman), 2);
  if (status == 0 && huffman) status = sinkPutBigEndian(sink, tableFlags(tables), 2);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(p.count), 4);
  if (status != 0) return status;
  TextCoders coders;
  coders.huffman = huffman;
  status = startCoders(stream, p, tables, useCounts.get(), &coders);
  if (status == 0)
    status = walkInstances(p, [&coders](ValueKind kind, int64_t value, bool oob) {
      return coders.code(kind, value, oob);
    });
  if (status == 0) status = finishCoders(stream, &coders);
  if (status == 0) status = endSegmentData(stream, &h);
  return status;
}
