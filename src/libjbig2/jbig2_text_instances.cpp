// The instance loop of T.88 6.4.5 with the reference corners and transposition, refinement of
// instances, and drawing instances.
#include "jbig2_report.h"
#include "jbig2_text.h"

namespace {

int32_t readInt(Jbig2IntDecoder *d, int32_t *value, QtzState *state) {
  bool oob = false;
  const int32_t status = decodeInt(d, &oob, value);
  if (status == kJbBadData) return jbReport(state, kJbBadData, "bad integer code");
  if (status != 0) return status;
  if (oob) return jbReport(state, kJbBadData, "bad OOB");
  return 0;
}

int32_t decodeSymbolId(const Jbig2TextParams &p, uint32_t *id, QtzState *state) {
  if (!p.huffman) {
    *id = decodeIaid(p.mq, p.idCx, p.idCodeLength);
    return 0;
  }
  if (p.idFixed) return jbitGetBits(p.bits, p.idCodeLength, id);
  int32_t line = -1;
  const int32_t status = findCodeLine(p.idTable, p.bits, &line);
  if (status != 0) return status;
  if (line < 0) return jbReport(state, kJbBadData, "bad symbol ID");
  *id = static_cast<uint32_t>(line);
  return 0;
}

// Refines the instance's symbol (T.88 6.4.11.3): width + RDW by height + RDH against the
// symbol at floor(RDW / 2) + RDX, floor(RDH / 2) + RDY.
int32_t refineInstance(const Jbig2TextParams &p, const Jbig2Symbol *symbol,
                       Jbig2RefinedSymbol **out, QtzState *state) {
  int32_t rdw, rdh, rdx, rdy;
  int32_t status = readInt(p.rdw, &rdw, state);
  if (status == 0) status = readInt(p.rdh, &rdh, state);
  if (status == 0) status = readInt(p.rdx, &rdx, state);
  if (status == 0) status = readInt(p.rdy, &rdy, state);
  if (status != 0) return status;
  const int64_t width = int64_t{symbol->width} + rdw;
  const int64_t height = int64_t{symbol->height} + rdh;
  if (!jbSizeOk(width, height))
    return jbReport(state, kJbBadData, "refined symbol size %lldx%lld out of range",
                    static_cast<long long>(width), static_cast<long long>(height));
  const int64_t dx = (rdw >> 1) + int64_t{rdx};
  const int64_t dy = (rdh >> 1) + int64_t{rdy};
  if (dx < -kJbMaxSide || dx > kJbMaxSide || dy < -kJbMaxSide || dy > kJbMaxSide)
    return jbReport(state, kJbBadData, "refinement offset out of range");
  auto *refined = jbAllocArray<Jbig2RefinedSymbol>(state, 1);
  const int32_t wpr = static_cast<int32_t>((width + 31) / 32);
  uint32_t *bitmap = jbAllocArray<uint32_t>(state, static_cast<size_t>(wpr) * height);
  if (refined == nullptr || bitmap == nullptr) {
    jbFree(state, refined);
    jbFree(state, bitmap);
    return qtz::report(state, kJbNoMemory);
  }
  *refined = {static_cast<int32_t>(width), static_cast<int32_t>(height), bitmap, wpr};
  const Jbig2Bitmap target{bitmap, refined->width, refined->height, wpr};
  const Jbig2Bitmap reference{symbol->bitmap, symbol->width, symbol->height, symbol->wordsPerRow};
  Jbig2RefineTemplate rt = p.rt;
  rt.tpgron = 0;
  if (p.huffman) {
    int32_t size = 0;
    Jbig2IntDecoder sizeDecoder;
    newIntDecoder(&sizeDecoder, true, p.rsize, p.bits, nullptr, nullptr);
    status = readInt(&sizeDecoder, &size, state);
    if (status == 0) status = jbitSync(p.bits);
    const size_t end = std::min(p.source->limit, p.source->size);
    if (status == 0 && (size < 0 || static_cast<size_t>(size) > end - p.source->pos))
      status = qtz::report(state, kJbEndOfData);
    if (status == 0) {
      MqDecoder mq;
      mqDecInit(&mq, p.source->data + p.source->pos, static_cast<size_t>(size), nullptr, nullptr,
                state);
      decodeRefinementWords(target, reference, static_cast<int32_t>(dx), static_cast<int32_t>(dy),
                            rt, p.refineCx, &mq);
      p.source->pos += static_cast<size_t>(size);
      status = jbitResync(p.bits);
    }
  } else {
    decodeRefinementWords(target, reference, static_cast<int32_t>(dx), static_cast<int32_t>(dy), rt,
                          p.refineCx, p.mq);
  }
  if (status != 0) {
    jbFree(state, bitmap);
    jbFree(state, refined);
    return status;
  }
  *out = refined;
  return 0;
}

}  // namespace

int32_t decodeTextInstances(const Jbig2TextParams &p, int32_t count, Jbig2SymbolInstance *inst,
                            QtzState *state) {
  const int32_t strips = 1 << p.logStrips;
  int32_t dt = 0;
  int32_t status = readInt(p.dt, &dt, state);
  if (status != 0) return status;
  int64_t stripT = -int64_t{dt} * strips;
  int64_t firstS = 0;
  int32_t n = 0;
  while (n < count) {
    if ((status = readInt(p.dt, &dt, state)) != 0) return status;
    stripT += int64_t{dt} * strips;
    bool first = true;
    int64_t curS = 0;
    for (;;) {
      if (first) {
        int32_t dfs = 0;
        if ((status = readInt(p.fs, &dfs, state)) != 0) return status;
        firstS += dfs;
        curS = firstS;
        first = false;
      } else {
        bool oob = false;
        int32_t ids = 0;
        status = decodeInt(p.ds, &oob, &ids);
        if (status != 0) return status == kJbBadData ? jbReport(state, status, "bad IDS") : status;
        if (oob) break;
        curS += int64_t{ids} + p.dsOffset;
      }
      if (n >= count) return jbReport(state, kJbBadData, "too many symbol instances");
      int64_t curT = 0;
      if (strips > 1) {
        if (p.huffman) {
          uint32_t raw = 0;
          if ((status = jbitGetBits(p.bits, p.logStrips, &raw)) != 0) return status;
          curT = raw;
        } else {
          int32_t it = 0;
          if ((status = readInt(p.it, &it, state)) != 0) return status;
          curT = it;
        }
      }
      const int64_t t = stripT + curT;
      uint32_t id = 0;
      if ((status = decodeSymbolId(p, &id, state)) != 0) return status;
      if (id >= p.numSymbols) return jbReport(state, kJbBadData, "bad symbol ID");
      Jbig2SymbolInstance &in = inst[n];
      in.symbol = p.symbols[id];
      if (p.refine) {
        int32_t ri = 0;
        if (p.huffman) {
          uint32_t bit = 0;
          if ((status = jbitGetBits(p.bits, 1, &bit)) != 0) return status;
          ri = static_cast<int32_t>(bit);
        } else {
          bool oob = false;
          status = decodeInt(p.ri, &oob, &ri);
          if (status != 0 || oob || (ri != 0 && ri != 1))
            return status != 0 && status != kJbBadData
                       ? status
                       : jbReport(state, kJbBadData, "bad RI value");
        }
        if (ri && (status = refineInstance(p, in.symbol, &in.refined, state)) != 0) return status;
      }
      const int64_t w = in.refined ? in.refined->width : in.symbol->width;
      const int64_t h = in.refined ? in.refined->height : in.symbol->height;
      int64_t x, y;
      if (!p.transposed) {
        if (p.refCorner >= 2) curS += w - 1;
        x = p.refCorner >= 2 ? curS - w + 1 : curS;
        y = (p.refCorner & 1) ? t : t - h + 1;
        if (p.refCorner < 2) curS += w - 1;
      } else {
        if ((p.refCorner & 1) == 0) curS += h - 1;
        y = (p.refCorner & 1) ? curS : curS - h + 1;
        x = p.refCorner >= 2 ? t - w + 1 : t;
        if (p.refCorner & 1) curS += h - 1;
      }
      if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX || curS < INT32_MIN ||
          curS > INT32_MAX || stripT < INT32_MIN || stripT > INT32_MAX)
        return jbReport(state, kJbBadData, "symbol instance position out of range");
      in.x = static_cast<int32_t>(x);
      in.y = static_cast<int32_t>(y);
      ++n;
    }
  }
  return 0;
}

void drawInstancesIntoBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                             const Jbig2SymbolInstance *instances, int32_t count, QtzBlitOp op,
                             QtzState *state) {
  for (int32_t i = 0; i < count; ++i) {
    const Jbig2SymbolInstance &in = instances[i];
    const uint32_t *bits = in.refined ? in.refined->bitmap : in.symbol->bitmap;
    const int32_t w = in.refined ? in.refined->width : in.symbol->width;
    const int32_t h = in.refined ? in.refined->height : in.symbol->height;
    const int32_t wpr = in.refined ? in.refined->wordsPerRow : in.symbol->wordsPerRow;
    if (w <= 0 || h <= 0) continue;
    QtzBlat_blitBitsOpClip(rows, wordsPerRow, 0, 0, width, height, bits, wpr, w, h, in.x, in.y, op,
                           state);
  }
}

void freeInstances(Jbig2SymbolInstance *instances, int32_t count, QtzState *state) {
  if (instances == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (instances[i].refined != nullptr) {
      jbFree(state, instances[i].refined->bitmap);
      jbFree(state, instances[i].refined);
    }
  }
  jbFree(state, instances);
}
