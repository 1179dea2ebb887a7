// Pattern dictionaries (type 16) and halftone regions (types 20, 22, 23): ITU-T T.88 6.6, 6.7,
// 7.4.4 and 7.4.5.
//
// Pattern sizes of 0, collective bitmaps beyond the size caps, HDPW above 128 with arithmetic
// coding (its AT offset -HDPW would not fit a signed byte), grids beyond the size caps and gray
// values not below the number of patterns are refused with 107. Arithmetic data must end at a
// marker (118).
#include <algorithm>
#include <cstring>

#include "jbig2_generic.h"
#include "jbig2_halftone.h"
#include "jbig2_report.h"

namespace {

uint32_t *newBitmap(QtzState *state, int64_t width, int64_t height) {
  return jbAllocArray<uint32_t>(state, static_cast<size_t>((width + 31) / 32) * height);
}

}  // namespace

int32_t parsePatternDict(Jb2File *stream, DataSource *src, Jbig2Segment *seg, Jbig2Segment **) {
  QtzState *state = stream->state;
  const size_t start = src->pos;
  uint8_t flags = 0, w = 0, h = 0;
  uint32_t grayMax = 0;
  int32_t status = srcReadU8(src, &flags);
  if (status == 0) status = srcReadU8(src, &w);
  if (status == 0) status = srcReadU8(src, &h);
  if (status == 0) status = srcReadU32(src, &grayMax);
  if (status != 0) return status;
  const bool mmr = flags & 1;
  const uint8_t tmpl = (flags >> 1) & 3;
  if (mmr && tmpl != 0)
    return jbReport(state, kJbBadData, "MMR halftone dictionary has non-zero template");
  if (flags & 0xF8)
    return jbReport(state, kJbBadData, "reserved bits in halftone dictionary flags aren't zero");
  if (w == 0 || h == 0) return jbReport(state, kJbBadData, "pattern size of 0");
  if (!mmr && w > 128)
    return jbReport(state, kJbBadData, "pattern width above 128 with arithmetic coding");
  const int64_t count = int64_t{grayMax} + 1;
  const int64_t width = count * w;
  if (!jbSizeOk(width, h)) return jbReport(state, kJbBadData, "collective bitmap out of range");
  if ((status = jb2Charge(stream, width * h)) != 0) return status;
  uint32_t *collective = newBitmap(state, width, h);
  auto *patterns = jbAllocArray<Jbig2Pattern>(state, static_cast<size_t>(count));
  if (collective == nullptr || patterns == nullptr) {
    jbFree(state, collective);
    jbFree(state, patterns);
    return qtz::report(state, kJbNoMemory);
  }
  const int32_t cwpr = static_cast<int32_t>((width + 31) / 32);
  if (mmr) {
    const size_t used = src->pos - start;
    status =
        decodeMmrFromStream(collective, static_cast<int32_t>(width), h, cwpr, 0,
                            static_cast<int32_t>(width), h, src, seg->dataLength - used, state);
  } else {
    Jbig2GenericTemplate t{};
    t.tmpl = tmpl;
    t.atx[0] = static_cast<int8_t>(-w);
    if (tmpl == 0) {
      t.atx[1] = -3, t.aty[1] = -1, t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
    }
    MqDecoder mq;
    srcStartMq(src, &mq);
    status = decodeGenericBitmap(collective, static_cast<int32_t>(width), h, cwpr, &t, nullptr, &mq,
                                 state);
    if (status == 0) status = srcEndMq(src, &mq);
  }
  const int32_t wpr = (w + 31) / 32;
  const uint32_t lastMask = (w & 31) ? ~0u << (32 - (w & 31)) : ~0u;
  for (int64_t n = 0; status == 0 && n < count; ++n) {
    patterns[n].wordsPerRow = wpr;
    patterns[n].bitmap = newBitmap(state, w, h);
    if (patterns[n].bitmap == nullptr) {
      status = qtz::report(state, kJbNoMemory);
      break;
    }
    for (int32_t y = 0; y < h; ++y) {
      const uint32_t *row = collective + static_cast<int64_t>(y) * cwpr;
      for (int32_t k = 0; k < wpr; ++k) {
        const int64_t col = n * w + 32 * k;
        const int64_t i = col >> 5;
        const int sh = static_cast<int>(col & 31);
        const uint32_t a = row[i];
        const uint32_t b = i + 1 < cwpr ? row[i + 1] : 0;
        patterns[n].bitmap[y * wpr + k] = sh ? (a << sh) | (b >> (32 - sh)) : a;
      }
      patterns[n].bitmap[y * wpr + wpr - 1] &= lastMask;
    }
  }
  jbFree(state, collective);
  seg->u.patterns = {static_cast<int32_t>(count), w, h, patterns};
  if (status != 0) releasePatternDict(seg, state);
  return status;
}

void releasePatternDict(Jbig2Segment *seg, QtzState *state) {
  Jbig2PatternDictData &p = seg->u.patterns;
  for (int32_t i = 0; p.patterns != nullptr && i < p.count; ++i)
    jbFree(state, p.patterns[i].bitmap);
  jbFree(state, p.patterns);
  p = Jbig2PatternDictData{};
}

namespace {

// Cell (mg, ng) of the grid (T.88 6.7.5) lies at ((HGX + mg HRY + ng HRX) >> 8, (HGY + mg HRX - ng
// HRY) >> 8).
inline int64_t cellX(const Jbig2HalftoneData &h, int64_t mg, int64_t ng) {
  return (int64_t{h.hgx} + mg * h.hry + ng * h.hrx) >> 8;
}
inline int64_t cellY(const Jbig2HalftoneData &h, int64_t mg, int64_t ng) {
  return (int64_t{h.hgy} + mg * h.hrx - ng * h.hry) >> 8;
}

// The gray-scale image of T.88 C.5: Gray-coded bit planes from the most significant down.
int32_t decodeGrayScaleImage(Jb2File *stream, DataSource *src, size_t codedLength, bool mmr,
                             uint8_t tmpl, bool skipEnabled, int32_t bpp, uint32_t gw, uint32_t gh,
                             int32_t pw, int32_t ph, Jbig2Segment *seg) {
  QtzState *state = stream->state;
  Jbig2HalftoneData &h = seg->u.halftone;
  int32_t status = QtzImage_new(state, QTZ_IMAGE_INT16, static_cast<int32_t>(gw),
                                static_cast<int32_t>(gh), &h.gray);
  if (status != 0) return status;
  if (gw == 0 || gh == 0 || bpp == 0) return srcSkip(src, codedLength);
  if ((status = jb2Charge(stream, int64_t{gw} * gh * bpp)) != 0) return status;
  const int32_t wpr = static_cast<int32_t>((gw + 31) / 32);
  const size_t planeWords = static_cast<size_t>(wpr) * gh;
  uint32_t *planes = jbAllocArray<uint32_t>(state, planeWords * bpp);
  uint32_t *skip = skipEnabled ? jbAllocArray<uint32_t>(state, planeWords) : nullptr;
  if (planes == nullptr || (skipEnabled && skip == nullptr)) {
    jbFree(state, planes);
    jbFree(state, skip);
    return qtz::report(state, kJbNoMemory);
  }
  if (skip != nullptr) {
    for (uint32_t mg = 0; mg < gh; ++mg)
      for (uint32_t ng = 0; ng < gw; ++ng) {
        const int64_t x = cellX(h, mg, ng), y = cellY(h, mg, ng);
        if (x + pw <= 0 || x >= seg->region.width || y + ph <= 0 || y >= seg->region.height)
          skip[mg * static_cast<size_t>(wpr) + ng / 32] |= 0x80000000u >> (ng % 32);
      }
  }
  if (mmr) {
    uint8_t *coded = jbAllocArray<uint8_t>(state, codedLength);
    size_t got = 0;
    if (coded == nullptr) {
      status = qtz::report(state, kJbNoMemory);
    } else {
      srcRead(src, codedLength, coded, &got);
      if (got != codedLength) status = qtz::report(state, kJbEndOfData);
    }
    size_t offset = 0;
    for (int32_t j = bpp - 1; status == 0 && j >= 0; --j) {
      size_t left = 0;
      status = decodeMmrBuffer(planes + planeWords * j, static_cast<int32_t>(gw),
                               static_cast<int32_t>(gh), wpr, coded + offset, codedLength - offset,
                               &left, state);
      offset = codedLength - left;
    }
    jbFree(state, coded);
  } else {
    Jbig2GenericTemplate t{};
    t.tmpl = tmpl;
    t.atx[0] = tmpl <= 1 ? 3 : 2;
    t.aty[0] = -1;
    if (tmpl == 0)
      t.atx[1] = -3, t.aty[1] = -1, t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
    uint8_t *cx = jbAllocArray<uint8_t>(state, genericContextCount(tmpl));
    if (cx == nullptr) {
      status = qtz::report(state, kJbNoMemory);
    } else {
      MqDecoder mq;
      srcStartMq(src, &mq);
      const Jbig2Bitmap skipMap{skip, static_cast<int32_t>(gw), static_cast<int32_t>(gh), wpr};
      for (int32_t j = bpp - 1; j >= 0; --j)
        decodeGenericWords(
            {planes + planeWords * j, static_cast<int32_t>(gw), static_cast<int32_t>(gh), wpr}, t,
            cx, &mq, skip != nullptr ? &skipMap : nullptr);
      status = srcEndMq(src, &mq);
      jbFree(state, cx);
    }
  }
  if (status == 0) {
    // Gray decoding: each plane XORed with the decoded plane above it.
    for (int32_t j = bpp - 2; j >= 0; --j)
      for (size_t i = 0; i < planeWords; ++i)
        planes[planeWords * j + i] ^= planes[planeWords * (j + 1) + i];
    for (uint32_t mg = 0; mg < gh; ++mg) {
      auto *row = reinterpret_cast<int16_t *>(h.gray->rows[mg]);
      for (uint32_t ng = 0; ng < gw; ++ng) {
        uint32_t value = 0;
        for (int32_t j = bpp - 1; j >= 0; --j)
          value =
              (value << 1) | ((planes[planeWords * j + mg * static_cast<size_t>(wpr) + ng / 32] >>
                               (31 - ng % 32)) &
                              1);
        row[ng] = static_cast<int16_t>(value);
      }
    }
  }
  jbFree(state, planes);
  jbFree(state, skip);
  return status;
}

}  // namespace

int32_t parseHalftoneRegion(Jb2File *stream, DataSource *src, Jbig2Segment *seg,
                            Jbig2Segment **referred) {
  QtzState *state = stream->state;
  if (seg->refCount != 1 || referred[0]->type != kSegPatternDict)
    return jbReport(state, kJbBadData, "bad reference list for halftone region");
  const size_t start = src->pos;
  int32_t status = parseRegionInfo(stream, src, &seg->region);
  uint8_t flags = 0;
  uint32_t gw = 0, gh = 0;
  Jbig2HalftoneData &h = seg->u.halftone;
  if (status == 0) status = srcReadU8(src, &flags);
  if (status == 0) status = srcReadU32(src, &gw);
  if (status == 0) status = srcReadU32(src, &gh);
  if (status == 0) status = srcReadI32(src, &h.hgx);
  if (status == 0) status = srcReadI32(src, &h.hgy);
  if (status == 0) status = srcReadU16(src, &h.hrx);
  if (status == 0) status = srcReadU16(src, &h.hry);
  if (status != 0) return status;
  const bool mmr = flags & 1, skipEnabled = (flags >> 3) & 1;
  const uint8_t tmpl = (flags >> 1) & 3;
  h.combop = (flags >> 4) & 7;
  h.defpixel = flags >> 7;
  h.dict = referred[0];
  if (mmr && tmpl != 0)
    return jbReport(state, kJbBadData, "non-zero template in MMR halftone region segment");
  if (mmr && skipEnabled)
    return jbReport(state, kJbBadData, "skip enabled in MMR halftone region segment");
  if (h.combop > 4)
    return jbReport(state, kJbBadData, "bad combination operator in halftone region segment");
  const Jbig2PatternDictData &dict = h.dict->u.patterns;
  const int32_t bpp = ceilLog2(static_cast<uint32_t>(dict.count));
  if (bpp >= 16) return jbReport(state, kJbBadData, "unimplemented number of planes");
  if ((gw != 0 || gh != 0) && !jbSizeOk(gw, gh))
    return jbReport(state, kJbBadData, "halftone grid %ux%u out of range", gw, gh);
  const size_t used = src->pos - start;
  return decodeGrayScaleImage(stream, src, seg->dataLength - used, mmr, tmpl, skipEnabled, bpp, gw,
                              gh, dict.width, dict.height, seg);
}

void releaseHalftoneRegion(Jbig2Segment *seg, QtzState *) {
  QtzImage_free(seg->u.halftone.gray);
  seg->u.halftone.gray = nullptr;
}

void drawHalftoneCells(const Jbig2Bitmap &b, const Jbig2HalftoneData &h,
                       const Jbig2PatternDictData &dict, QtzBlitOp op) {
  for (int32_t mg = 0; mg < h.gray->hdr.height; ++mg) {
    const auto *row = reinterpret_cast<const int16_t *>(h.gray->rows[mg]);
    for (int32_t ng = 0; ng < h.gray->hdr.width; ++ng) {
      const int64_t x = cellX(h, mg, ng), y = cellY(h, mg, ng);
      if (x >= b.width || y >= b.height || x + dict.width <= 0 || y + dict.height <= 0) continue;
      const Jbig2Pattern &pattern = dict.patterns[row[ng]];
      QtzBlat_blitBitsOpClip(b.words, b.wordsPerRow, 0, 0, b.width, b.height, pattern.bitmap,
                             pattern.wordsPerRow, dict.width, dict.height, static_cast<int32_t>(x),
                             static_cast<int32_t>(y), op, nullptr);
    }
  }
}

bool halftoneRowsApply(const Jbig2HalftoneData &h, const Jbig2PatternDictData &dict) {
  return h.combop == kOpOr && h.hry == 0 && dict.width <= 32;
}

void drawHalftoneRowsOr(const Jbig2Bitmap &b, const Jbig2HalftoneData &h,
                        const Jbig2PatternDictData &dict) {
  if (b.width <= 0) return;
  const int64_t lastWord = (b.width - 1) >> 5;
  const uint32_t pad = (b.width & 31) ? ~0u << (32 - (b.width & 31)) : ~0u;
  const int32_t pw = dict.width, ph = dict.height, gw = h.gray->hdr.width;
  // Without rotation a cell's column depends on ng alone and never decreases with it, so the
  // cells of every grid row fall into the same runs: cut on the left [lo, inside), wholly
  // inside and clear of the last word [inside, tail), reaching the last word [tail, hi).
  int32_t lo = 0;
  while (lo < gw && cellX(h, 0, lo) + pw <= 0) ++lo;
  int32_t inside = lo;
  while (inside < gw && cellX(h, 0, inside) < 0) ++inside;
  int32_t tail = inside;
  while (tail < gw && (cellX(h, 0, tail) >> 5) < lastWord) ++tail;
  int32_t hi = tail;
  while (hi < gw && cellX(h, 0, hi) < b.width) ++hi;
  for (int32_t mg = 0; mg < h.gray->hdr.height; ++mg) {
    const auto *gray = reinterpret_cast<const int16_t *>(h.gray->rows[mg]);
    const int64_t y0 = cellY(h, mg, 0);
    for (int64_t r = std::max<int64_t>(0, -y0); r < ph && y0 + r < b.height; ++r) {
      uint32_t *row = b.words + (y0 + r) * b.wordsPerRow;
      // One word per pattern row (the width is at most 32), bits past the width 0.
      auto bits = [&](int32_t ng) { return dict.patterns[gray[ng]].bitmap[r]; };
      for (int32_t ng = lo; ng < inside; ++ng) row[0] |= bits(ng) << -cellX(h, 0, ng);
      int64_t sx = int64_t{h.hgx} + int64_t{inside} * h.hrx;  // x in 1/256 pixel
      for (int32_t ng = inside; ng < tail; ++ng, sx += h.hrx) {
        const int64_t x = sx >> 8;
        const uint64_t placed = (uint64_t{bits(ng)} << 32) >> (x & 31);
        row[x >> 5] |= static_cast<uint32_t>(placed >> 32);
        row[(x >> 5) + 1] |= static_cast<uint32_t>(placed);
      }
      for (int32_t ng = tail; ng < hi; ++ng) row[lastWord] |= bits(ng) >> (cellX(h, 0, ng) & 31);
      row[lastWord] &= pad;
    }
  }
}

int32_t decodeHalftoneRegionImage(Jb2File *stream, Jbig2Segment *seg) {
  if (seg->image != nullptr) return 0;
  QtzState *state = stream->state;
  const Jbig2HalftoneData &h = seg->u.halftone;
  const Jbig2PatternDictData &dict = h.dict->u.patterns;
  if (!jbSizeOk(seg->region.width, seg->region.height))
    return jbReport(state, kJbBadData, "halftone region size %dx%d out of range", seg->region.width,
                    seg->region.height);
  const int64_t area = int64_t{seg->region.width} * seg->region.height;
  const int64_t cells = int64_t{h.gray->hdr.width} * h.gray->hdr.height;
  int32_t status =
      jb2Charge(stream, area + cells * std::min(area, int64_t{dict.width} * dict.height));
  if (status != 0) return status;
  for (int32_t mg = 0; mg < h.gray->hdr.height; ++mg) {
    const auto *row = reinterpret_cast<const int16_t *>(h.gray->rows[mg]);
    for (int32_t ng = 0; ng < h.gray->hdr.width; ++ng)
      if (row[ng] < 0 || row[ng] >= dict.count)
        return jbReport(state, kJbBadData, "bad halftone index");
  }
  QtzImage *image = nullptr;
  status = QtzImage_new(state, QTZ_IMAGE_PACKED, seg->region.width, seg->region.height, &image);
  if (status != 0) return status;
  if (h.defpixel) QtzBlat_setImageBits(image);
  const Jbig2Bitmap b = bitmapOf(image);
  if (halftoneRowsApply(h, dict))
    drawHalftoneRowsOr(b, h, dict);
  else
    drawHalftoneCells(b, h, dict, blitOpOf(h.combop));
  seg->image = image;
  seg->imageOwned = 1;
  return 0;
}

int32_t decodeHalftoneRegionOntoPage(Jb2File *stream, Jbig2Segment *seg, QtzImage *page) {
  if (seg->type == 20) return kJbAssert;
  int32_t status = regionInsidePage(seg, page, stream->state);
  if (status == 0) status = decodeHalftoneRegionImage(stream, seg);
  if (status != 0) return status;
  return QtzBlat_blitImage(page, seg->image, seg->region.x, seg->region.y,
                           blitOpOf(seg->region.op));
}
