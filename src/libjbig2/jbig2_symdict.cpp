// Symbol dictionary segments (type 0; ITU-T T.88 6.5 and 7.4.2): height classes of new
// symbols (generic, refined, aggregate or collective-bitmap coded), export flags, imported
// symbols of referred dictionaries, and retained coding contexts.
//
// Counts from the file are bounded: new symbols by the segment's data (jbCountBound), imported
// symbols to 2^24, exported ones by imported + new; symbol sizes by jbSizeOk (107 for widths or
// heights of 0 or less). Contexts are inherited only from a dictionary coded with the same
// SDHUFF, SDREFAGG, SDTEMPLATE and SDRTEMPLATE (107). Export runs are read only until
// SDNUMEXSYMS symbols are exported. The arithmetic data must end at a marker (118).
#include <cstring>

#include "jbig2_report.h"
#include "jbig2_text.h"

namespace {

struct DictCoding {
  bool huffman;
  bool refagg;
  uint8_t tmpl;
  uint8_t rtmpl;
  Jbig2GenericTemplate at;
  Jbig2RefineTemplate rat;
  const Jbig2CodeTable *dh, *dw, *bmsize, *agginst;
};

struct DictState {
  Jb2File *stream;
  QtzState *state;
  DataSource *src;
  DictCoding c;
  JbitFile *bits = nullptr;
  MqDecoder mq;
  uint8_t *intCx = nullptr;  // 512 per integer decoder
  Jbig2IntDecoder dh, dw, ex, ai, rdx, rdy;
  // Text procedure decoders for aggregates: DT, FS, DS, IT, RI, RDW, RDH.
  Jbig2IntDecoder tdt, tfs, tds, tit, tri, trdw, trdh;
  uint8_t *genericCx = nullptr;
  uint8_t *refineCx = nullptr;
  uint8_t *idCx = nullptr;
  int32_t codeLength = 0;
  // All symbols: imported, then new.
  Jbig2Symbol *newSymbols = nullptr;
  const Jbig2Symbol **all = nullptr;
  uint32_t numIn = 0;
  uint32_t numNew = 0;
};

int32_t readInt(Jbig2IntDecoder *d, bool *oob, int32_t *value, QtzState *state) {
  const int32_t status = decodeInt(d, oob, value);
  return status == kJbBadData ? jbReport(state, kJbBadData, "bad integer code") : status;
}

int32_t allocSymbol(Jb2File *stream, Jbig2Symbol *s, int64_t width, int64_t height,
                    QtzState *state) {
  if (!jbSizeOk(width, height))
    return jbReport(state, kJbBadData, "symbol size %lldx%lld out of range",
                    static_cast<long long>(width), static_cast<long long>(height));
  const int32_t status = jb2Charge(stream, width * height);
  if (status != 0) return status;
  s->width = static_cast<int32_t>(width);
  s->height = static_cast<int32_t>(height);
  s->wordsPerRow = static_cast<int32_t>((width + 31) / 32);
  s->bitmap = jbAllocArray<uint32_t>(state, static_cast<size_t>(s->wordsPerRow) * height);
  return s->bitmap == nullptr ? qtz::report(state, kJbNoMemory) : 0;
}

// One symbol refined from another, or aggregated from several (T.88 6.5.8.2).
int32_t decodeRefAggSymbol(DictState &d, Jbig2Symbol *symbol, uint32_t decodedSoFar) {
  QtzState *state = d.state;
  bool oob = false;
  int32_t count = 0;
  int32_t status = readInt(&d.ai, &oob, &count, state);
  if (status != 0) return status;
  if (oob || count <= 0) return jbReport(state, kJbBadData, "bad OOB");
  const uint32_t numSymbols = d.numIn + decodedSoFar;
  if (count == 1) {
    uint32_t id = 0;
    if (d.c.huffman)
      status = jbitGetBits(d.bits, d.codeLength, &id);
    else
      id = decodeIaid(&d.mq, d.idCx, d.codeLength);
    int32_t rdx = 0, rdy = 0;
    if (status == 0) status = readInt(&d.rdx, &oob, &rdx, state);
    if (status == 0 && oob) status = jbReport(state, kJbBadData, "bad OOB");
    if (status == 0) status = readInt(&d.rdy, &oob, &rdy, state);
    if (status == 0 && oob) status = jbReport(state, kJbBadData, "bad OOB");
    if (status != 0) return status;
    if (id >= numSymbols) return jbReport(state, kJbBadData, "bad symbol ID");
    const Jbig2Symbol *ref = d.all[id];
    const Jbig2Bitmap target{symbol->bitmap, symbol->width, symbol->height, symbol->wordsPerRow};
    const Jbig2Bitmap reference{ref->bitmap, ref->width, ref->height, ref->wordsPerRow};
    Jbig2RefineTemplate rt = d.c.rat;
    rt.tpgron = 0;
    if (!d.c.huffman) {
      decodeRefinementWords(target, reference, rdx, rdy, rt, d.refineCx, &d.mq);
      return 0;
    }
    int32_t size = 0;
    Jbig2IntDecoder sizeDecoder;
    newIntDecoder(&sizeDecoder, true, standardTable(1), d.bits, nullptr, nullptr);
    if ((status = readInt(&sizeDecoder, &oob, &size, state)) != 0) return status;
    if ((status = jbitSync(d.bits)) != 0) return status;
    const size_t end = std::min(d.src->limit, d.src->size);
    if (size < 0 || static_cast<size_t>(size) > end - d.src->pos)
      return qtz::report(state, kJbEndOfData);
    MqDecoder mq;
    mqDecInit(&mq, d.src->data + d.src->pos, static_cast<size_t>(size), nullptr, nullptr, state);
    decodeRefinementWords(target, reference, rdx, rdy, rt, d.refineCx, &mq);
    d.src->pos += static_cast<size_t>(size);
    return jbitResync(d.bits);
  }
  // An aggregate: the text region procedure with one strip into the symbol's bitmap.
  Jbig2TextParams p{};
  p.huffman = d.c.huffman;
  p.refine = true;
  p.refCorner = 1;
  p.rt = d.c.rat;
  p.dt = &d.tdt, p.fs = &d.tfs, p.ds = &d.tds, p.it = &d.tit, p.ri = &d.tri;
  p.rdw = &d.trdw, p.rdh = &d.trdh, p.rdx = &d.rdx, p.rdy = &d.rdy;
  p.rsize = standardTable(1);
  p.idFixed = true;
  p.idCx = d.idCx;
  p.idCodeLength = d.codeLength;
  p.symbols = d.all;
  p.numSymbols = numSymbols;
  p.bits = d.bits;
  p.mq = &d.mq;
  p.source = d.src;
  p.refineCx = d.refineCx;
  if (count > jbCountBound(std::min(d.src->limit, d.src->size) - d.src->pos))
    return jbReport(state, kJbBadData, "aggregate instance count %d beyond the data", count);
  if ((status = jb2Charge(d.stream, int64_t{count} * symbol->width * symbol->height)) != 0)
    return status;
  auto *instances = jbAllocArray<Jbig2SymbolInstance>(state, static_cast<size_t>(count));
  if (instances == nullptr) return qtz::report(state, kJbNoMemory);
  status = decodeTextInstances(p, count, instances, state);
  if (status == 0)
    drawInstancesIntoBitmap(symbol->bitmap, symbol->width, symbol->height, symbol->wordsPerRow,
                            instances, count, QTZ_BLIT_OR, state);
  freeInstances(instances, count, state);
  return status;
}

// Copies a symbol's columns out of a collective bitmap (T.88 6.5.9).
void splitCollectiveBitmap(const uint32_t *collective, int32_t firstColumn, int32_t totalWidth,
                           int32_t height, uint32_t *rows, int32_t width) {
  const int32_t cwpr = (totalWidth + 31) / 32;
  const int32_t wpr = (width + 31) / 32;
  const uint32_t lastMask = (width & 31) ? ~0u << (32 - (width & 31)) : ~0u;
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t *src = collective + static_cast<int64_t>(y) * cwpr;
    uint32_t *dst = rows + static_cast<int64_t>(y) * wpr;
    for (int32_t w = 0; w < wpr; ++w) {
      const int64_t col = int64_t{firstColumn} + 32 * int64_t{w};
      const int64_t k = col >> 5;
      const int sh = static_cast<int>(col & 31);
      const uint32_t a = k < cwpr ? src[k] : 0;
      const uint32_t b = k + 1 < cwpr ? src[k + 1] : 0;
      dst[w] = sh ? (a << sh) | (b >> (32 - sh)) : a;
    }
    dst[wpr - 1] &= lastMask;
  }
}

// A Huffman height class without refinement: one collective bitmap cut into the symbols.
int32_t decodeCollective(DictState &d, uint32_t first, uint32_t count, int64_t totalWidth,
                         int32_t height) {
  QtzState *state = d.state;
  bool oob = false;
  int32_t bmsize = 0;
  Jbig2IntDecoder sizeDecoder;
  newIntDecoder(&sizeDecoder, true, d.c.bmsize, d.bits, nullptr, nullptr);
  int32_t status = readInt(&sizeDecoder, &oob, &bmsize, state);
  if (status == 0 && (oob || bmsize < 0)) status = jbReport(state, kJbBadData, "bad BMSIZE");
  if (status == 0) status = jbitSync(d.bits);
  if (status != 0) return status;
  if (!jbSizeOk(totalWidth, height))
    return jbReport(state, kJbBadData, "collective bitmap size out of range");
  const int32_t width = static_cast<int32_t>(totalWidth);
  const int32_t wpr = (width + 31) / 32;
  auto *collective = jbAllocArray<uint32_t>(state, static_cast<size_t>(wpr) * height);
  if (collective == nullptr) return qtz::report(state, kJbNoMemory);
  const size_t end = std::min(d.src->limit, d.src->size);
  if (bmsize == 0) {
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    if (rowBytes * height > end - d.src->pos) {
      status = qtz::report(state, kJbEndOfData);
    } else {
      for (int32_t y = 0; y < height; ++y)
        for (size_t i = 0; i < rowBytes; ++i)
          collective[static_cast<size_t>(y) * wpr + i / 4] |=
              static_cast<uint32_t>(d.src->data[d.src->pos++]) << (24 - 8 * (i % 4));
    }
  } else if (static_cast<size_t>(bmsize) > end - d.src->pos) {
    status = qtz::report(state, kJbEndOfData);
  } else {
    status = decodeMmrFromStream(collective, width, height, wpr, 0, width, height, d.src,
                                 static_cast<size_t>(bmsize), state);
  }
  if (status == 0) status = jbitResync(d.bits);
  int64_t column = 0;
  for (uint32_t i = 0; status == 0 && i < count; ++i) {
    Jbig2Symbol &s = d.newSymbols[first + i];
    splitCollectiveBitmap(collective, static_cast<int32_t>(column), width, height, s.bitmap,
                          s.width);
    column += s.width;
  }
  if (status == 0 && column != totalWidth) status = kJbAssert;
  jbFree(state, collective);
  return status;
}

// The height class loop (T.88 6.5.5).
constexpr int64_t kJbHeightClassWork = 64;

int32_t decodeSymbolsOfDict(DictState &d) {
  QtzState *state = d.state;
  int64_t classHeight = 0;
  uint32_t decoded = 0;
  while (decoded < d.numNew) {
    bool oob = false;
    int32_t dh = 0;
    int32_t status = readInt(&d.dh, &oob, &dh, state);
    if (status != 0) return status;
    if (oob) return jbReport(state, kJbBadData, "bad OOB");
    classHeight += dh;
    if (classHeight <= 0 || classHeight > kJbMaxSide)
      return jbReport(state, kJbBadData, "bad height class height");
    // Height classes without symbols cost decoding but no pixels: each is charged as a few.
    if ((status = jb2Charge(d.stream, kJbHeightClassWork)) != 0) return status;
    int64_t width = 0, totalWidth = 0;
    const uint32_t classFirst = decoded;
    for (;;) {
      int32_t dw = 0;
      if ((status = readInt(&d.dw, &oob, &dw, state)) != 0) return status;
      if (oob) break;
      if (decoded >= d.numNew) return jbReport(state, kJbBadData, "too many symbols");
      width += dw;
      totalWidth += width;
      Jbig2Symbol &s = d.newSymbols[decoded];
      if ((status = allocSymbol(d.stream, &s, width, classHeight, state)) != 0) return status;
      if (!d.c.huffman || d.c.refagg) {
        if (!d.c.refagg) {
          decodeGenericWords({s.bitmap, s.width, s.height, s.wordsPerRow}, d.c.at, d.genericCx,
                             &d.mq, nullptr);
        } else if ((status = decodeRefAggSymbol(d, &s, decoded)) != 0) {
          return status;
        }
      }
      d.all[d.numIn + decoded] = &s;
      ++decoded;
    }
    if (d.c.huffman && !d.c.refagg && decoded > classFirst &&
        (status = decodeCollective(d, classFirst, decoded - classFirst, totalWidth,
                                   static_cast<int32_t>(classHeight))) != 0)
      return status;
  }
  return 0;
}

// Export flags (T.88 6.5.10): runs alternate not exported / exported, read until
// SDNUMEXSYMS symbols are exported.
int32_t readExports(DictState &d, uint32_t numExported, uint8_t *flags) {
  const uint64_t total = uint64_t{d.numIn} + d.numNew;
  uint64_t index = 0, exported = 0;
  bool exporting = false;
  Jbig2IntDecoder b1;
  newIntDecoder(&b1, true, standardTable(1), d.bits, nullptr, nullptr);
  uint64_t runs = 0;
  while (exported < numExported) {
    // Runs of 0 make no progress: more runs than two per symbol cannot be a valid list.
    if (++runs > 2 * total + 2) return jbReport(d.state, kJbBadData, "too many symbols exported");
    bool oob = false;
    int32_t run = 0;
    const int32_t status = readInt(d.c.huffman ? &b1 : &d.ex, &oob, &run, d.state);
    if (status != 0) return status;
    if (oob || run < 0 || index + run > total || (exporting && exported + run > numExported))
      return jbReport(d.state, kJbBadData, "too many symbols exported");
    for (int32_t i = 0; i < run; ++i) flags[index++] = exporting;
    if (exporting) exported += run;
    exporting = !exporting;
  }
  return 0;
}

int32_t selectDictTables(DictCoding *c, uint16_t flags, Jbig2Segment **referred, int32_t refCount,
                         QtzState *state) {
  const int dh = (flags >> 2) & 3, dw = (flags >> 4) & 3;
  const int bm = (flags >> 6) & 1, agg = (flags >> 7) & 1;
  if (dh == 2) return jbReport(state, kJbBadData, "bad SDHUFFDH table selection");
  if (dw == 2) return jbReport(state, kJbBadData, "bad SDHUFFDW table selection");
  const Jbig2CodeTable *slots[4] = {standardTable(dh == 0 ? 4 : 5), standardTable(dw == 0 ? 2 : 3),
                                    standardTable(1), standardTable(1)};
  const bool user[4] = {dh == 3, dw == 3, bm == 1, agg == 1};
  const int32_t status = pickTableSegments(slots, user, 4, referred, refCount, state);
  if (status != 0) return status;
  c->dh = slots[0], c->dw = slots[1], c->bmsize = slots[2], c->agginst = slots[3];
  if (c->agginst->hasOob || c->bmsize->hasOob || c->dh->hasOob || !c->dw->hasOob)
    return jbReport(state, kJbBadData, "wrong OOB capabilities");
  return 0;
}

void freeDictState(DictState &d, bool keepNew) {
  QtzState *state = d.state;
  if (d.newSymbols != nullptr && !keepNew)
    for (uint32_t i = 0; i < d.numNew; ++i) jbFree(state, d.newSymbols[i].bitmap);
  jbFree(state, d.newSymbols);
  jbFree(state, d.all);
  jbFree(state, d.intCx);
  jbFree(state, d.idCx);
  jbFree(state, d.genericCx);
  jbFree(state, d.refineCx);
}

}  // namespace

int32_t parseSymbolDict(Jb2File *stream, DataSource *src, Jbig2Segment *seg,
                        Jbig2Segment **referred) {
  QtzState *state = stream->state;
  const size_t start = src->pos;
  uint16_t flags = 0;
  int32_t status = srcReadU16(src, &flags);
  if (status != 0) return status;
  DictState d{};
  d.stream = stream;
  d.state = state;
  d.src = src;
  d.c.huffman = flags & 1;
  d.c.refagg = (flags >> 1) & 1;
  d.c.tmpl = (flags >> 10) & 3;
  d.c.rtmpl = (flags >> 12) & 1;
  const bool contextUsed = (flags >> 8) & 1, contextRetained = (flags >> 9) & 1;
  if (!d.c.huffman && (flags & 0xFC) != 0)
    return jbReport(state, kJbBadData,
                    "non-zero Huffman table specifier in non-Huffman symbol dictionary");
  // ITU-T T.88 7.4.2.1.1: a Huffman dictionary may keep arithmetic contexts only for the
  // refinement/aggregate coding it uses when SDREFAGG is 1.
  if (d.c.huffman && !d.c.refagg && (contextUsed || contextRetained))
    return jbReport(state, kJbBadData, "context used or retained in Huffman symbol dictionary");
  d.c.at.tmpl = d.c.tmpl;
  if (!d.c.huffman) {
    const int n = d.c.tmpl == 0 ? 4 : 1;
    for (int i = 0; i < n && status == 0; ++i) {
      uint8_t x = 0, y = 0;
      status = srcReadU8(src, &x);
      if (status == 0) status = srcReadU8(src, &y);
      d.c.at.atx[i] = static_cast<int8_t>(x);
      d.c.at.aty[i] = static_cast<int8_t>(y);
    }
    if (status == 0) status = checkAtPixels(d.c.at, state);
    if (status != 0) return status;
  }
  d.c.rat.tmpl = d.c.rtmpl;
  if (d.c.refagg && (status = readRatPixels(src, &d.c.rat, nullptr, state)) != 0) return status;
  uint32_t numExported = 0, numNew = 0;
  if ((status = srcReadU32(src, &numExported)) != 0 || (status = srcReadU32(src, &numNew)) != 0)
    return status;
  if (d.c.huffman && (status = selectDictTables(&d.c, flags, referred, seg->refCount, state)) != 0)
    return status;
  // Imported symbols.
  int64_t numIn = 0;
  Jbig2Segment *lastDict = nullptr;
  for (int32_t i = 0; i < seg->refCount; ++i) {
    if (referred[i]->type == kSegSymbolDict) {
      numIn += referred[i]->u.dict.numExported;
      lastDict = referred[i];
    } else if (referred[i]->type != kSegTable) {
      return jbReport(state, kJbBadData, "bad referenced segment type");
    }
  }
  const size_t header = src->pos - start;
  if (numIn > (int64_t{1} << 24) || numNew > jbCountBound(seg->dataLength - header) ||
      numExported > numIn + int64_t{numNew})
    return jbReport(state, kJbBadData, "symbol counts out of range");
  d.numIn = static_cast<uint32_t>(numIn);
  d.numNew = numNew;
  d.newSymbols = jbAllocArray<Jbig2Symbol>(state, numNew);
  d.all = jbAllocArray<const Jbig2Symbol *>(state, size_t{d.numIn} + numNew);
  d.intCx = jbAllocArray<uint8_t>(state, 512 * 13);
  d.codeLength = ceilLog2(d.numIn + numNew);
  d.idCx = jbAllocArray<uint8_t>(state, size_t{2} << d.codeLength);
  d.genericCx = jbAllocArray<uint8_t>(state, genericContextCount(d.c.tmpl));
  d.refineCx = jbAllocArray<uint8_t>(state, refinementContextCount(d.c.rtmpl));
  if (d.newSymbols == nullptr || d.all == nullptr || d.intCx == nullptr || d.idCx == nullptr ||
      d.genericCx == nullptr || d.refineCx == nullptr) {
    freeDictState(d, false);
    return qtz::report(state, kJbNoMemory);
  }
  uint32_t n = 0;
  for (int32_t i = 0; i < seg->refCount; ++i)
    if (referred[i]->type == kSegSymbolDict)
      for (int32_t k = 0; k < referred[i]->u.dict.numExported; ++k)
        d.all[n++] = &referred[i]->u.dict.exported[k];
  if (contextUsed) {
    if (lastDict == nullptr) {
      status = jbReport(state, kJbBadData, "contexts used, but no symbol dictionary referenced");
    } else if (referred[seg->refCount - 1] != lastDict) {
      status = jbReport(state, kJbBadData,
                        "non-Huffman symbol dictionary referencing non-symbol dictionary segment");
    } else {
      const Jbig2SymbolDictData &from = lastDict->u.dict;
      if (from.genericCx == nullptr || (d.c.refagg && from.refineCx == nullptr))
        status = jbReport(state, kJbBadData,
                          "symbol dictionary attempting to use non-retained contexts");
      else if (from.huff != d.c.huffman || from.refagg != d.c.refagg || from.tmpl != d.c.tmpl ||
               from.rtmpl != d.c.rtmpl)
        status = jbReport(state, kJbBadData, "inherited contexts were coded differently");
      if (status == 0) {
        std::memcpy(d.genericCx, from.genericCx, genericContextCount(d.c.tmpl));
        if (d.c.refagg) std::memcpy(d.refineCx, from.refineCx, refinementContextCount(d.c.rtmpl));
      }
    }
    if (status != 0) {
      freeDictState(d, false);
      return status;
    }
  }
  if (d.c.huffman)
    status = jbitReaderOnSource(src, &d.bits);
  else
    srcStartMq(src, &d.mq);
  Jbig2IntDecoder *ints[13] = {&d.dh,  &d.dw,  &d.ex,  &d.ai,  &d.rdx,  &d.rdy, &d.tdt,
                               &d.tfs, &d.tds, &d.tit, &d.tri, &d.trdw, &d.trdh};
  const Jbig2CodeTable *tables[13] = {d.c.dh,
                                      d.c.dw,
                                      standardTable(1),
                                      d.c.agginst,
                                      standardTable(15),
                                      standardTable(15),
                                      standardTable(11),
                                      standardTable(6),
                                      standardTable(8),
                                      nullptr,
                                      nullptr,
                                      standardTable(15),
                                      standardTable(15)};
  for (int i = 0; i < 13; ++i)
    newIntDecoder(ints[i], d.c.huffman, tables[i], d.bits, &d.mq, d.intCx + 512 * i);
  uint8_t *exportFlags = jbAllocArray<uint8_t>(state, size_t{d.numIn} + numNew);
  if (status == 0 && exportFlags == nullptr) status = qtz::report(state, kJbNoMemory);
  if (status == 0) status = decodeSymbolsOfDict(d);
  if (status == 0) status = readExports(d, numExported, exportFlags);
  if (d.bits != nullptr) {
    const int32_t closeStatus = jbitCloseReader(d.bits);
    if (status == 0) status = closeStatus;
  } else if (status == 0) {
    status = srcEndMq(src, &d.mq);
  }
  Jbig2Symbol *exported = nullptr;
  if (status == 0) {
    exported = jbAllocArray<Jbig2Symbol>(state, numExported);
    if (exported == nullptr) status = qtz::report(state, kJbNoMemory);
  }
  uint32_t e = 0;
  for (uint32_t i = 0; status == 0 && i < d.numIn + numNew; ++i) {
    if (!exportFlags[i]) continue;
    Jbig2Symbol &out = exported[e++];
    if (i < d.numIn) {
      // Imported symbols are copied with their bitmaps.
      out = *d.all[i];
      const size_t words = static_cast<size_t>(out.wordsPerRow) * out.height;
      out.bitmap = jbAllocArray<uint32_t>(state, words);
      if (out.bitmap == nullptr) {
        status = qtz::report(state, kJbNoMemory);
        break;
      }
      std::memcpy(out.bitmap, d.all[i]->bitmap, words * sizeof(uint32_t));
    } else {
      // New symbols move into the exported array.
      out = d.newSymbols[i - d.numIn];
      d.newSymbols[i - d.numIn].bitmap = nullptr;
    }
  }
  jbFree(state, exportFlags);
  if (status != 0) {
    for (uint32_t i = 0; exported != nullptr && i < e; ++i) jbFree(state, exported[i].bitmap);
    jbFree(state, exported);
    freeDictState(d, false);
    return status;
  }
  Jbig2SymbolDictData &out = seg->u.dict;
  out.numExported = static_cast<int32_t>(numExported);
  out.exported = exported;
  out.huff = d.c.huffman, out.refagg = d.c.refagg, out.tmpl = d.c.tmpl, out.rtmpl = d.c.rtmpl;
  if (contextRetained) {
    out.genericCx = d.genericCx;
    out.refineCx = d.refineCx;
    d.genericCx = d.refineCx = nullptr;
  }
  freeDictState(d, false);
  return 0;
}

void releaseSymbolDict(Jbig2Segment *seg, QtzState *state) {
  Jbig2SymbolDictData &dict = seg->u.dict;
  for (int32_t i = 0; dict.exported != nullptr && i < dict.numExported; ++i)
    jbFree(state, dict.exported[i].bitmap);
  jbFree(state, dict.exported);
  jbFree(state, dict.genericCx);
  jbFree(state, dict.refineCx);
  dict = Jbig2SymbolDictData{};
}
