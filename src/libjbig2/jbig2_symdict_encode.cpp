// Symbol dictionary segments (type 0; ITU-T T.88 6.5 and 7.4.2) of new symbols, all exported:
// height classes in order of height, symbols of a class in order of width (then their place in
// the array), coded with IADH/IADW and generic-template bitmaps (arithmetic) or with DH/DW
// Huffman tables and one collective bitmap per class (Huffman), always MMR coded: plain rows
// (BMSIZE 0) are valid T.88 but misread by common readers. Export flags are two runs: the input
// dictionaries' symbols, not exported, then the new ones; or, for a dictionary that exports its
// inputs (a chain of dictionaries where each stands for all before it), none, then all.
//
// DH and DW tables: B.4 and B.2 when the options fix them, else the cheaper of B.4/B.5 and of
// B.2/B.3 for the values a dry run counts, or custom tables when allowed and cheaper with their
// segments. A height class is split into classes of the same height (DH 0) where its MMR
// collective bitmap would hold a white row after a row of two or more black runs, which a
// common reader's MMR decoder draws wrong. Symbols must be 1 to 2^24 pixels a side and a class's
// collective bitmap within the sizes a decoder takes (2 otherwise).
#include <algorithm>
#include <cstring>
#include <functional>

#include "ccitt_internal.h"
#include "jbig2_generic_encode.h"
#include "jbig2_huffman.h"
#include "jbig2_report.h"
#include "jbig2_symbol_encode.h"
#include "jbig2_value_encode.h"
#include "qtz_owners_internal.h"

namespace {

enum DictEvent { kDh, kDw, kSymbol, kClassEnd };

// Calls visit(event, value, oob, first, count) in coding order: DH at each new height class,
// DW per symbol (then kSymbol with its index), OOB on DW and kClassEnd (first index, count)
// after each class. A class holds the symbols of one height; where breaks (when given) marks a
// symbol, it starts a class of its own height (DH 0).
template <typename Visit>
int32_t walkClasses(const Jbig2Symbol *const *sorted, int32_t count, const uint8_t *breaks,
                    Visit &&visit) {
  int32_t status = 0;
  int64_t height = 0;
  for (int32_t k = 0; k < count && status == 0;) {
    const int32_t first = k;
    status = visit(kDh, sorted[k]->height - height, false, k, 0);
    height = sorted[k]->height;
    int64_t width = 0;
    for (; k < count && sorted[k]->height == height &&
           (k == first || breaks == nullptr || breaks[k] == 0) && status == 0;
         ++k) {
      status = visit(kDw, sorted[k]->width - width, false, k, 0);
      if (status == 0) status = visit(kSymbol, 0, false, k, 1);
      width = sorted[k]->width;
    }
    if (status == 0) status = visit(kDw, 0, true, first, 0);
    if (status == 0) status = visit(kClassEnd, 0, false, first, k - first);
  }
  return status;
}

// ORs a symbol's rows into the collective rows at column x (bits past the symbol's width are
// not taken).
void orSymbolIntoRows(const Jbig2Symbol &s, uint32_t *rows, int32_t wordsPerRow, int64_t x) {
  const int32_t wpr = (s.width + 31) / 32;
  const uint32_t lastMask = (s.width & 31) ? ~0u << (32 - (s.width & 31)) : ~0u;
  const int64_t firstWord = x >> 5;
  const int shift = static_cast<int>(x & 31);
  for (int32_t y = 0; y < s.height; ++y) {
    const uint32_t *src = s.bitmap + static_cast<int64_t>(y) * s.wordsPerRow;
    uint32_t *dst = rows + static_cast<int64_t>(y) * wordsPerRow + firstWord;
    for (int32_t w = 0; w < wpr; ++w) {
      const uint32_t word = w == wpr - 1 ? src[w] & lastMask : src[w];
      dst[w] |= word >> shift;
      if (shift != 0 && word << (32 - shift) != 0) dst[w + 1] |= word << (32 - shift);
    }
  }
}

// Where the symbols of a height class (coding order) must start a class of their own so that
// no MMR-coded collective bitmap holds a white row after a row of two or more black runs (a
// common reader's MMR decoder draws such a row with that row's runs; forEachMmrBand). A class
// takes symbols while the rows of their union stay clear of that; a row's runs in the union are
// taken as the sum over its symbols (at most too many, when neighbours touch), so a split may
// come early but never too late. breaks[k] = 1 where symbol k starts a class at a height
// already coded. A single symbol with such a row (two parts one above the other) stays as it is.
int32_t findClassBreaks(QtzState *state, const Jbig2Symbol *const *sorted, int32_t count,
                        uint8_t *breaks) {
  int32_t maxHeight = 0;
  for (int32_t k = 0; k < count; ++k) maxHeight = std::max(maxHeight, sorted[k]->height);
  qtz::OwnedBlock<uint8_t> rows(state,
                                jbAllocArray<uint8_t>(state, 2 * static_cast<size_t>(maxHeight)));
  if (!rows) return qtz::report(state, kJbNoMemory);
  uint8_t *group = rows.get(), *trial = rows.get() + maxHeight;
  auto clear = [](const uint8_t *classes, int32_t height) {
    bool many = false;
    for (int32_t y = 0; y < height; ++y) {
      if (classes[y] == 0 && many) return false;
      if (classes[y] != 0) many = classes[y] == 2;
    }
    return true;
  };
  for (int32_t k = 0; k < count; ++k) {
    const Jbig2Symbol &s = *sorted[k];
    const bool newHeight = k == 0 || sorted[k - 1]->height != s.height;
    for (int32_t y = 0; y < s.height; ++y) {
      const int32_t runs = blackRunClass(s.bitmap + int64_t{y} * s.wordsPerRow, s.width);
      trial[y] = static_cast<uint8_t>(std::min(2, (newHeight ? 0 : group[y]) + runs));
    }
    breaks[k] = 0;
    if (!newHeight && !clear(trial, s.height)) {
      breaks[k] = 1;
      for (int32_t y = 0; y < s.height; ++y)
        trial[y] =
            static_cast<uint8_t>(blackRunClass(s.bitmap + int64_t{y} * s.wordsPerRow, s.width));
    }
    std::swap(group, trial);
  }
  return 0;
}

// The coding order: height, then width, then place in the array.
bool compareSymbolsBySize(const Jbig2Symbol *a, const Jbig2Symbol *b) {
  if (a->height != b->height) return a->height < b->height;
  if (a->width != b->width) return a->width < b->width;
  return std::less<const Jbig2Symbol *>()(a, b);
}

struct DictCoders {
  QtzState *state = nullptr;
  bool huffman = true;
  JbitFile *bits = nullptr;
  MqEncoder mq{};
  uint8_t *intCx = nullptr;      // IADH, IADW, IAEX
  uint8_t *genericCx = nullptr;  // arithmetic symbol bitmaps
  Jbig2IntEncoder dh{}, dw{}, bmsize{}, ex{};
  ~DictCoders() {
    if (bits != nullptr) jbFree(state, bits);
    jbFree(state, intCx);
    jbFree(state, genericCx);
  }
};

// The collective bitmap of one height class, after its BMSIZE.
int32_t encodeHeightClassBitmap(Jb2File *stream, DictCoders *c, const Jbig2Symbol *const *symbols,
                                int32_t count) {
  QtzState *state = stream->state;
  if (count < 1) return jbReport(state, kJbAssert, "symbol dictionary: empty height class");
  const int32_t height = symbols[0]->height;
  int64_t total = 0;
  for (int32_t k = 0; k < count; ++k) {
    if (symbols[k]->height != height)
      return jbReport(state, kJbAssert, "symbol dictionary: height class of mixed heights");
    total += symbols[k]->width;
  }
  const auto width = static_cast<int32_t>(total);
  const int32_t wordsPerRow = (width + 31) / 32;
  qtz::OwnedBlock<uint32_t> rows(
      state, jbAllocArray<uint32_t>(state, static_cast<size_t>(wordsPerRow) * height));
  if (!rows) return qtz::report(state, kJbNoMemory);
  int64_t x = 0;
  for (int32_t k = 0; k < count; ++k) {
    orSymbolIntoRows(*symbols[k], rows.get(), wordsPerRow, x);
    x += symbols[k]->width;
  }
  // Always MMR (BMSIZE above 0): T.88 6.5.9 also allows plain rows (BMSIZE 0), but common
  // readers misread them, so they are never written.
  int32_t codeBytes = 0;
  qtz::OwnedBlock<uint8_t> code(state, nullptr);
  int32_t status =
      mmrCodeBitmap(state, rows.get(), width, height, wordsPerRow, false, &code, &codeBytes);
  if (status != 0) return status;
  status = encodeInt(&c->bmsize, codeBytes, false);
  if (status == 0) status = jbitSync(c->bits);
  if (status == 0) {
    size_t written = 0;
    status = sinkWrite(stream->sink, static_cast<size_t>(codeBytes), code.get(), &written);
    if (status == 0 && written != static_cast<size_t>(codeBytes))
      status = qtz::report(state, kJbShortWrite);
  }
  if (status == 0) status = jbitResync(c->bits);
  return status;
}

// Sizes a decoder takes: every symbol, and (Huffman) every collective bitmap.
int32_t checkSymbols(QtzState *state, const Jbig2Symbol *const *sorted, int32_t count,
                     bool huffman) {
  for (int32_t k = 0; k < count; ++k) {
    const Jbig2Symbol &s = *sorted[k];
    if (!jbSizeOk(s.width, s.height) || s.bitmap == nullptr || s.wordsPerRow < (s.width + 31) / 32)
      return jbReport(state, kJbParam, "symbol dictionary: symbol of size %dx%d", s.width,
                      s.height);
  }
  if (!huffman) return 0;
  return walkClasses(
      sorted, count, nullptr, [&](DictEvent event, int64_t, bool, int32_t first, int32_t n) {
        if (event != kClassEnd) return 0;
        int64_t total = 0;
        for (int32_t k = first; k < first + n; ++k) total += sorted[k]->width;
        if (jbSizeOk(total, sorted[first]->height)) return 0;
        return jbReport(state, kJbParam, "symbol dictionary: collective bitmap of %lld x %d pixels",
                        static_cast<long long>(total), sorted[first]->height);
      });
}

struct DictTables {
  const Jbig2CodeTable *dh = nullptr, *dw = nullptr;
  Jbig2CodeTable *custom[2] = {};  // DH, DW
  QtzState *state = nullptr;
  ~DictTables() {
    for (Jbig2CodeTable *t : custom) freeHuffTable(t, state);
  }
};

int32_t chooseSymbolDictTables(Jb2File *stream, const Jbig2Symbol *const *sorted, int32_t count,
                               const uint8_t *breaks, DictTables *t) {
  QtzState *state = stream->state;
  const uint8_t *options = stream->options.bytes;
  if (options[2]) {
    t->dh = standardTable(4);
    t->dw = standardTable(2);
    return 0;
  }
  const Jbig2CodeTable *candidates[4] = {standardTable(4), standardTable(5), standardTable(2),
                                         standardTable(3)};
  Jbig2ValueCollector *c = nullptr;
  int32_t status = newValueCollectors(candidates, 4, state, &c);
  if (status != 0) return status;
  status = walkClasses(sorted, count, breaks,
                       [c](DictEvent event, int64_t value, bool oob, int32_t, int32_t) {
                         if (event == kDh)
                           return collectValue(c, 2, static_cast<int32_t>(value), oob);
                         if (event == kDw)
                           return collectValue(c + 2, 2, static_cast<int32_t>(value), oob);
                         return 0;
                       });
  const bool customAllowed = options[1] != 0;
  if (status == 0) status = chooseHuffTable(c, 2, customAllowed, state, &t->dh, &t->custom[0]);
  if (status == 0) status = chooseHuffTable(c + 2, 2, customAllowed, state, &t->dw, &t->custom[1]);
  freeValueCollectors(&c, 4, state);
  return status;
}

int32_t writeCustomTables(Jb2File *stream, Jbig2SymbolDictRecord *dict, const DictTables &t) {
  for (Jbig2CodeTable *table : t.custom) {
    if (table == nullptr) continue;
    Jbig2TableSegment segment{};
    segment.header.page = dict->header.page;
    segment.table = table;
    int32_t status = writeHuffTableSegment(stream, &segment);
    const Jbig2SegHeader *written = &segment.header;
    if (status == 0) status = segAddReferences(stream, &dict->header, &written, 1);
    if (status != 0) return status;
  }
  return 0;
}

uint16_t dictFlags(const Jb2Options &options, const DictTables &t, bool huffman) {
  if (!huffman) return static_cast<uint16_t>((options.bytes[3] & 3) << 10);
  const int dh = t.dh == standardTable(4) ? 0 : t.dh == standardTable(5) ? 1 : 3;
  const int dw = t.dw == standardTable(2) ? 0 : t.dw == standardTable(3) ? 1 : 3;
  return static_cast<uint16_t>(1 | (dh << 2) | (dw << 4));
}

int32_t startCoders(Jb2File *stream, const DictTables &t, const Jbig2GenericTemplate &params,
                    DictCoders *c) {
  QtzState *state = stream->state;
  c->state = state;
  if (!c->huffman) {
    c->genericCx =
        jbAllocArray<uint8_t>(state, static_cast<size_t>(genericContextCount(params.tmpl)));
    c->intCx = jbAllocArray<uint8_t>(state, 512 * 3);
    if (c->genericCx == nullptr || c->intCx == nullptr) return qtz::report(state, kJbNoMemory);
    sinkStartMq(stream->sink, &c->mq);
    newIntEncoder(&c->dh, false, nullptr, nullptr, &c->mq, c->intCx, state);
    newIntEncoder(&c->dw, false, nullptr, nullptr, &c->mq, c->intCx + 512, state);
    newIntEncoder(&c->ex, false, nullptr, nullptr, &c->mq, c->intCx + 1024, state);
    return 0;
  }
  int32_t status = jbitWriterOnSink(stream->sink, &c->bits);
  if (status == 0) status = newIntEncoder(&c->dh, true, t.dh, c->bits, nullptr, nullptr, state);
  if (status == 0) status = newIntEncoder(&c->dw, true, t.dw, c->bits, nullptr, nullptr, state);
  if (status == 0)
    status = newIntEncoder(&c->bmsize, true, standardTable(1), c->bits, nullptr, nullptr, state);
  if (status == 0)
    status = newIntEncoder(&c->ex, true, standardTable(1), c->bits, nullptr, nullptr, state);
  return status;
}

// The generic template of arithmetic symbol bitmaps: options bytes 3 to 12.
Jbig2GenericTemplate bitmapTemplate(const Jb2Options &options) {
  Jbig2GenericTemplate t{};
  t.tmpl = options.bytes[3];
  for (int i = 0; i < 4; ++i) {
    t.atx[i] = static_cast<int8_t>(options.bytes[4 + i]);
    t.aty[i] = static_cast<int8_t>(options.bytes[8 + i]);
  }
  t.tpgdon = options.bytes[12];
  return t;
}

int32_t finishCoders(Jb2File *stream, DictCoders *c) {
  if (!c->huffman) return sinkEndMq(stream->sink, &c->mq);
  const int32_t status = jbitCloseWriter(c->bits);
  c->bits = nullptr;
  return status;
}

// Checks the input dictionaries against the referred-to list; their symbol count.
int32_t countInputSymbols(Jb2File *stream, const Jbig2SymbolDictRecord *dict,
                          const Jbig2SymbolDictRecord *const *inputs, int32_t numInputs,
                          int64_t *numIn) {
  QtzState *state = stream->state;
  const Jbig2SegHeader &h = dict->header;
  if (h.type != kSegSymbolDict)
    return jbReport(state, kJbAssert, "symbol dictionary: segment type %d", h.type);
  if (numInputs < 0 || h.refCount != numInputs || (numInputs > 0 && inputs == nullptr) ||
      dict->numSymbols < 0 || (dict->numSymbols > 0 && dict->symbols == nullptr))
    return jbReport(state, kJbAssert, "symbol dictionary: referred-to segments not as given");
  *numIn = 0;
  for (int32_t i = 0; i < numInputs; ++i) {
    if (inputs[i] == nullptr || inputs[i]->header.number != h.refs[i] || inputs[i]->numSymbols < 0)
      return jbReport(state, kJbAssert, "symbol dictionary: input %d is not the one referred to",
                      i);
    *numIn += inputs[i]->numSymbols;
  }
  if (*numIn + dict->numSymbols > (int64_t{1} << 24))
    return jbReport(state, kJbParam, "symbol dictionary: more than 2^24 symbols");
  return 0;
}

}  // namespace

int32_t encodeSymbolDict(Jb2File *stream, Jbig2SymbolDictRecord *dict,
                         const Jbig2SymbolDictRecord *const *inputs, int32_t numInputs,
                         Jbig2SymbolOrderFn order, void *user, bool keepOrder) {
  QtzState *state = stream->state;
  int64_t numIn = 0;
  int32_t status = countInputSymbols(stream, dict, inputs, numInputs, &numIn);
  if (status != 0) return status;
  const int32_t count = dict->numSymbols;
  const bool huffman = stream->options.bytes[0] == 0;
  qtz::OwnedBlock<const Jbig2Symbol *> sorted(
      state, jbAllocArray<const Jbig2Symbol *>(state, static_cast<size_t>(count)));
  if (!sorted) return qtz::report(state, kJbNoMemory);
  for (int32_t k = 0; k < count; ++k) sorted.get()[k] = &dict->symbols[k];
  std::sort(sorted.get(), sorted.get() + count, compareSymbolsBySize);
  if ((status = checkSymbols(state, sorted.get(), count, huffman)) != 0) return status;
  const Jbig2GenericTemplate params = bitmapTemplate(stream->options);
  if (!huffman && (params.tmpl > 3 || !atPixelsCausal(params)))
    return jbReport(state, kJbAssert, "symbol dictionary: template or AT pixels");
  if (order != nullptr && (status = order(sorted.get(), count, user)) != 0) return status;
  // The array in coding order, made before anything is written.
  qtz::OwnedBlock<Jbig2Symbol> inOrder(state, nullptr);
  if (keepOrder) {
    inOrder.reset(jbAllocArray<Jbig2Symbol>(state, static_cast<size_t>(count)));
    if (!inOrder) return qtz::report(state, kJbNoMemory);
    for (int32_t k = 0; k < count; ++k) inOrder.get()[k] = *sorted.get()[k];
  }

  // Huffman height classes split where an MMR collective bitmap would hold a row a common reader
  // draws wrong (not with the fixed tables, whose DH table has no 0).
  qtz::OwnedBlock<uint8_t> breaks(state, nullptr);
  if (huffman && stream->options.bytes[2] == 0) {
    breaks.reset(jbAllocArray<uint8_t>(state, static_cast<size_t>(count)));
    if (!breaks) return qtz::report(state, kJbNoMemory);
    if ((status = findClassBreaks(state, sorted.get(), count, breaks.get())) != 0) return status;
  }
  DictTables tables;
  tables.state = state;
  if (huffman) {
    if ((status = chooseSymbolDictTables(stream, sorted.get(), count, breaks.get(), &tables)) != 0)
      return status;
    if ((status = writeCustomTables(stream, dict, tables)) != 0) return status;
  }
  Jbig2SegHeader &h = dict->header;
  if ((status = beginSegment(stream, &h, 1)) != 0) return status;
  DataSink *sink = stream->sink;
  status = sinkPutBigEndian(sink, dictFlags(stream->options, tables, huffman), 2);

  if (!huffman && status == 0) status = writeAtPixels(stream, sink, &params);
  const int64_t exported = dict->exportInputs ? numIn + count : count;
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(exported), 4);
  if (status == 0) status = sinkPutBigEndian(sink, static_cast<uint32_t>(count), 4);
  if (status != 0) return status;
  if (!huffman && params.tpgdon) return jbReport(state, kJbBadData, "symdict can't have TPD on");

  DictCoders coders;
  coders.huffman = huffman;
  status = startCoders(stream, tables, params, &coders);
  if (status == 0)
    status = walkClasses(
        sorted.get(), count, breaks.get(),
        [&](DictEvent event, int64_t value, bool oob, int32_t first, int32_t n) {
          const auto v = static_cast<int32_t>(value);
          if (event == kDh) return encodeInt(&coders.dh, v, oob);
          if (event == kDw) return encodeInt(&coders.dw, v, oob);
          const Jbig2Symbol &s = *sorted.get()[first];
          if (event == kSymbol)
            return huffman ? 0
                           : encodeBitmapArith(s.bitmap, s.width, s.height, s.wordsPerRow, &params,
                                               coders.genericCx, stream, &coders.mq);
          return huffman ? encodeHeightClassBitmap(stream, &coders, sorted.get() + first, n) : 0;
        });
  // Export flags: a run not exported, then one exported (the input symbols join the second
  // when the dictionary exports them).
  const int64_t hidden = dict->exportInputs ? 0 : numIn;
  if (status == 0) status = encodeInt(&coders.ex, static_cast<int32_t>(hidden), false);
  if (status == 0) status = encodeInt(&coders.ex, static_cast<int32_t>(exported), false);
  if (status == 0) status = finishCoders(stream, &coders);
  if (status != 0) return status;
  if (keepOrder)
    std::memcpy(dict->symbols, inOrder.get(), sizeof(Jbig2Symbol) * static_cast<size_t>(count));
  return endSegmentData(stream, &h);
}
