// Text region segments (types 4, 6, 7; ITU-T T.88 7.4.3): parsing with the symbol-ID Huffman
// table, decoding the instances, and drawing into the region image or onto the page.
//
// Instance counts are bounded by the segment's data (jbCountBound); symbol ID run codes that
// repeat a length before any was given, or that describe more symbols than there are, give
// 107. The arithmetic data must end at a marker that the decoder reached (118).
#include "jbig2_text.h"
#include "jbig2_report.h"
#include "qtz_blat.h"

namespace {

// Gathers the exported symbols of the referred dictionaries; 107 for other referred types.
int32_t gatherSymbols(Jbig2Segment **referred, int32_t count, const Jbig2Symbol ***out,
                      uint32_t *numOut, QtzState *state) {
  int64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (referred[i]->type == kSegSymbolDict)
      total += referred[i]->u.dict.numExported;
    else if (referred[i]->type != kSegTable)
      return jbReport(state, kJbBadData, "bad referenced segment type");
  }
  if (total > (int64_t{1} << 24)) return jbReport(state, kJbBadData, "too many symbols");
  auto **symbols = jbAllocArray<const Jbig2Symbol *>(state, static_cast<size_t>(total));
  if (symbols == nullptr) return qtz::report(state, kJbNoMemory);
  uint32_t n = 0;
  for (int32_t i = 0; i < count; ++i)
    if (referred[i]->type == kSegSymbolDict)
      for (int32_t k = 0; k < referred[i]->u.dict.numExported; ++k)
        symbols[n++] = &referred[i]->u.dict.exported[k];
  *out = symbols;
  *numOut = n;
  return 0;
}

// The symbol ID Huffman table (T.88 7.4.3.1.7).
int32_t readSymbolIdTable(JbitFile *bits, uint32_t numSymbols, Jbig2CodeTable *table,
                          QtzState *state) {
  Jbig2CodeLine runLines[35];
  for (int i = 0; i < 35; ++i) {
    uint32_t len = 0;
    const int32_t status = jbitGetBits(bits, 4, &len);
    if (status != 0) return status;
    runLines[i] = {0, i, static_cast<uint8_t>(len), 0, kLineNormal};
  }
  Jbig2CodeTable runTable;
  int32_t status = buildCodeTable(&runTable, runLines, 35, false, state);
  if (status != 0) return status;
  auto *lines = jbAllocArray<Jbig2CodeLine>(state, numSymbols);
  if (lines == nullptr) {
    freeCodeTable(&runTable, state);
    return qtz::report(state, kJbNoMemory);
  }
  uint32_t n = 0;
  int previous = -1;
  while (status == 0 && n < numSymbols) {
    int32_t code = -1;
    if ((status = findCodeLine(&runTable, bits, &code)) != 0) break;
    if (code < 0) {
      status = jbReport(state, kJbBadData, "bad run code");
      break;
    }
    uint32_t repeat = 1, extra = 0;
    int length = code;
    if (code == 32) {
      if (previous < 0) {
        status = jbReport(state, kJbBadData, "run code 32 without a previous length");
        break;
      }
      status = jbitGetBits(bits, 2, &extra);
      repeat = 3 + extra;
      length = previous;
    } else if (code == 33) {
      status = jbitGetBits(bits, 3, &extra);
      repeat = 3 + extra;
      length = 0;
    } else if (code == 34) {
      status = jbitGetBits(bits, 7, &extra);
      repeat = 11 + extra;
      length = 0;
    }
    if (status != 0) break;
    if (n + repeat > numSymbols) {
      status = jbReport(state, kJbBadData, "too many runcodes");
      break;
    }
    for (uint32_t k = 0; k < repeat; ++k, ++n)
      lines[n] = {0, static_cast<int32_t>(n), static_cast<uint8_t>(length), 0, kLineNormal};
    previous = length;
  }
  freeCodeTable(&runTable, state);
  if (status == 0) status = jbitAlign(bits);
  if (status == 0)
    status = buildCodeTable(table, lines, static_cast<int32_t>(numSymbols), true, state);
  if (status != 0) {
    if (table->ownLines != lines) jbFree(state, lines);
    freeCodeTable(table, state);
  }
  return status;
}

struct TextCoding {
  bool huffman;
  uint16_t huffFlags;
  const Jbig2CodeTable *tables[8];  // FS, DS, DT, RDW, RDH, RDX, RDY, RSIZE
};

int32_t selectTables(TextCoding *c, Jbig2Segment **referred, int32_t refCount, QtzState *state) {
  const uint16_t f = c->huffFlags;
  const int fs = f & 3, ds = (f >> 2) & 3, dt = (f >> 4) & 3;
  const int rd[4] = {(f >> 6) & 3, (f >> 8) & 3, (f >> 10) & 3, (f >> 12) & 3};
  const int rsize = (f >> 14) & 1;
  if (fs == 2) return jbReport(state, kJbBadData, "bad SBHUFFFS table selection");
  static const char *kRdNames[4] = {"RDW", "RDH", "RDX", "RDY"};
  for (int i = 0; i < 4; ++i)
    if (rd[i] == 2) return jbReport(state, kJbBadData, "bad SBHUFF%s table selection", kRdNames[i]);
  c->tables[0] = standardTable(fs == 0 ? 6 : 7);
  c->tables[1] = standardTable(8 + ds);
  c->tables[2] = standardTable(11 + dt);
  for (int i = 0; i < 4; ++i) c->tables[3 + i] = standardTable(rd[i] == 0 ? 14 : 15);
  c->tables[7] = standardTable(1);
  const bool user[8] = {fs == 3,    ds == 3,    dt == 3,    rd[0] == 3,
                        rd[1] == 3, rd[2] == 3, rd[3] == 3, rsize == 1};
  int32_t status = pickTableSegments(c->tables, user, 8, referred, refCount, state);
  if (status != 0) return status;
  for (int i = 0; i < 8; ++i)
    if ((i == 1) != (c->tables[i]->hasOob != 0))
      return jbReport(state, kJbBadData, "wrong OOB capabilities");
  return 0;
}

}  // namespace

int32_t parseTextRegion(Jb2File *stream, DataSource *src, Jbig2Segment *seg,
                        Jbig2Segment **referred) {
  QtzState *state = stream->state;
  const size_t start = src->pos;
  int32_t status = parseRegionInfo(stream, src, &seg->region);
  uint16_t flags = 0;
  if (status == 0) status = srcReadU16(src, &flags);
  if (status != 0) return status;
  TextCoding coding{};
  coding.huffman = flags & 1;
  Jbig2TextParams p{};
  p.huffman = coding.huffman;
  p.refine = (flags >> 1) & 1;
  p.logStrips = (flags >> 2) & 3;
  p.refCorner = (flags >> 4) & 3;
  p.transposed = (flags >> 6) & 1;
  const uint8_t combop = (flags >> 7) & 3;
  const uint8_t defpixel = (flags >> 9) & 1;
  p.dsOffset = ((flags >> 10) & 0x1F) >= 16 ? ((flags >> 10) & 0x1F) - 32 : (flags >> 10) & 0x1F;
  p.rt.tmpl = (flags >> 15) & 1;
  if (p.rt.tmpl && !p.refine)
    return jbReport(state, kJbBadData, "bad template flag for non-refining symbol region");
  if (coding.huffman && (status = srcReadU16(src, &coding.huffFlags)) != 0) return status;
  if (coding.huffman && (status = selectTables(&coding, referred, seg->refCount, state)) != 0)
    return status;
  if (p.refine && (status = readRatPixels(src, &p.rt, nullptr, state)) != 0) return status;
  uint32_t numInstances = 0;
  if ((status = srcReadU32(src, &numInstances)) != 0) return status;
  const size_t header = src->pos - start;
  if (numInstances > jbCountBound(seg->dataLength - header))
    return jbReport(state, kJbBadData, "instance count %u beyond the data", numInstances);
  const Jbig2Symbol **symbols = nullptr;
  if ((status = gatherSymbols(referred, seg->refCount, &symbols, &p.numSymbols, state)) != 0)
    return status;
  p.symbols = symbols;
  p.source = src;
  auto *instances = jbAllocArray<Jbig2SymbolInstance>(state, numInstances);
  uint8_t *cx = jbAllocArray<uint8_t>(state, 512 * 9);
  uint8_t *refineCx =
      p.refine ? jbAllocArray<uint8_t>(state, refinementContextCount(p.rt.tmpl)) : nullptr;
  p.refineCx = refineCx;
  p.idCodeLength = ceilLog2(p.numSymbols);
  uint8_t *idCx =
      !coding.huffman ? jbAllocArray<uint8_t>(state, size_t{2} << p.idCodeLength) : nullptr;
  p.idCx = idCx;
  Jbig2CodeTable idTable{};
  JbitFile *bits = nullptr;
  MqDecoder mq;
  Jbig2IntDecoder ints[9];
  if (instances == nullptr || cx == nullptr || (p.refine && refineCx == nullptr) ||
      (!coding.huffman && idCx == nullptr)) {
    status = qtz::report(state, kJbNoMemory);
  } else if (coding.huffman) {
    status = jbitReaderOnSource(src, &bits);
    if (status == 0) status = readSymbolIdTable(bits, p.numSymbols, &idTable, state);
    p.idTable = &idTable;
  } else {
    srcStartMq(src, &mq);
  }
  if (status == 0) {
    p.bits = bits;
    p.mq = &mq;
    // Huffman: FS, DS, DT, RDW, RDH, RDX, RDY; arithmetic: IAFS, IADS, IADT, IARDW, IARDH,
    // IARDX, IARDY, IAIT, IARI.
    Jbig2IntDecoder **slots[9] = {&p.fs,  &p.ds,  &p.dt, &p.rdw, &p.rdh,
                                  &p.rdx, &p.rdy, &p.it, &p.ri};
    for (int i = 0; i < 9; ++i) {
      newIntDecoder(&ints[i], coding.huffman, i < 7 && coding.huffman ? coding.tables[i] : nullptr,
                    bits, &mq, cx + 512 * i);
      *slots[i] = &ints[i];
    }
    p.rsize = coding.tables[7];
    status = decodeTextInstances(p, static_cast<int32_t>(numInstances), instances, state);
  }
  if (bits != nullptr) {
    const int32_t closeStatus = jbitCloseReader(bits);
    if (status == 0) status = closeStatus;
  } else if (status == 0) {
    status = srcEndMq(src, &mq);
  }
  freeCodeTable(&idTable, state);
  jbFree(state, cx);
  jbFree(state, refineCx);
  jbFree(state, idCx);
  jbFree(state, symbols);
  if (status != 0) {
    freeInstances(instances, static_cast<int32_t>(numInstances), state);
    return status;
  }
  seg->u.text = {static_cast<int32_t>(numInstances), instances, combop, defpixel};
  return 0;
}

void releaseTextRegion(Jbig2Segment *seg, QtzState *state) {
  freeInstances(seg->u.text.instances, seg->u.text.count, state);
  seg->u.text.instances = nullptr;
  seg->u.text.count = 0;
}

namespace {

// The region and every instance, each at most the region's area, against the work budget.
int32_t chargeInstances(Jb2File *stream, const Jbig2Segment *seg) {
  const int64_t area = int64_t{seg->region.width} * seg->region.height;
  int64_t total = area;
  for (int32_t i = 0; i < seg->u.text.count && total <= kJbMaxPixels * 4; ++i) {
    const Jbig2SymbolInstance &in = seg->u.text.instances[i];
    const int64_t w = in.refined ? in.refined->width : in.symbol->width;
    const int64_t h = in.refined ? in.refined->height : in.symbol->height;
    total += std::min(area, w * h);
  }
  return jb2Charge(stream, total);
}

}  // namespace

int32_t decodeTextRegionImage(Jb2File *stream, Jbig2Segment *seg) {
  if (seg->image != nullptr) return 0;
  QtzState *state = stream->state;
  if (!jbSizeOk(seg->region.width, seg->region.height))
    return jbReport(state, kJbBadData, "text region size %dx%d out of range", seg->region.width,
                    seg->region.height);
  int32_t status = chargeInstances(stream, seg);
  if (status != 0) return status;
  QtzImage *image = nullptr;
  status = QtzImage_new(state, QTZ_IMAGE_PACKED, seg->region.width, seg->region.height, &image);
  if (status != 0) return status;
  if (seg->u.text.defpixel) QtzBlat_setImageBits(image);
  const Jbig2Bitmap b = bitmapOf(image);
  drawInstancesIntoBitmap(b.words, b.width, b.height, b.wordsPerRow, seg->u.text.instances,
                          seg->u.text.count, blitOpOf(seg->u.text.combop), state);
  seg->image = image;
  seg->imageOwned = 1;
  return 0;
}

int32_t decodeTextRegionOntoPage(Jb2File *stream, Jbig2Segment *seg, QtzImage *page) {
  if (seg->type == 4) return kJbAssert;
  int32_t status = regionInsidePage(seg, page, stream->state);
  if (status != 0) return status;
  const Jbig2TextData &t = seg->u.text;
  if (seg->region.op == kOpOr && t.combop == kOpOr && !t.defpixel) {
    if ((status = chargeInstances(stream, seg)) != 0) return status;
    // Straight onto the page, each instance clipped to the region's rectangle.
    const Jbig2Bitmap b = bitmapOf(page);
    const int32_t x0 = seg->region.x, y0 = seg->region.y;
    for (int32_t i = 0; i < t.count; ++i) {
      const Jbig2SymbolInstance &in = t.instances[i];
      const uint32_t *bits = in.refined ? in.refined->bitmap : in.symbol->bitmap;
      const int32_t w = in.refined ? in.refined->width : in.symbol->width;
      const int32_t h = in.refined ? in.refined->height : in.symbol->height;
      const int32_t wpr = in.refined ? in.refined->wordsPerRow : in.symbol->wordsPerRow;
      const int64_t x = int64_t{x0} + in.x, y = int64_t{y0} + in.y;
      if (w <= 0 || h <= 0 || x > INT32_MAX || y > INT32_MAX) continue;
      QtzBlat_blitBitsOrClip(b.words, b.wordsPerRow, x0, y0, x0 + seg->region.width,
                             y0 + seg->region.height, bits, wpr, w, h, static_cast<int32_t>(x),
                             static_cast<int32_t>(y), stream->state);
    }
    return 0;
  }
  if ((status = decodeTextRegionImage(stream, seg)) != 0) return status;
  return QtzBlat_blitImage(page, seg->image, seg->region.x, seg->region.y,
                           blitOpOf(seg->region.op));
}
