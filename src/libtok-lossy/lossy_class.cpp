// Classes of the lossy classifier: the class table indexed by representative size, the size
// offset table of nearby cells, count accumulators (the union of member boxes and the image
// counting, per pixel, the members black there), representatives built from the count image
// (the pixels at least as many members share as the median member has black pixels), member
// verification and the splitting of misfits, freezing, and the re-alignment of members.
//
// A class's frame has its origin at its representative's bitmap; whenever the representative
// changes, the frame (member offsets, bounds, count image) moves with it, so a member's offset
// is always relative to the representative in force. Failures: 10003 for broken invariants
// (not reported), 1 when memory runs out (reported), pool statuses passed on.
#include <algorithm>
#include <bit>
#include <cstring>

#include "lossy_records.h"
#include "qtz_owners_internal.h"

namespace tok {

namespace {

inline int32_t blank(const TokTokenizer *tok) {
  return tok->passes;
}

inline int32_t memberCount(const Class *cls) {
  return cls->members->count;
}

// Address of count cell (x, y) of a count image (absolute coordinates).
inline uint8_t *cellAddress(const QtzImage *image, int64_t x, int64_t y) {
  const int64_t bytes = image->hdr.type == QTZ_IMAGE_GREY8 ? 1 : 2;
  return reinterpret_cast<uint8_t *>(reinterpret_cast<uintptr_t>(image->rows[y]) +
                                     static_cast<uintptr_t>(x * bytes));
}

inline int32_t readCell(const QtzImage *image, int64_t x, int64_t y) {
  const uint8_t *p = cellAddress(image, x, y);
  if (image->hdr.type == QTZ_IMAGE_GREY8) return *p;
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

inline void writeCell(const QtzImage *image, int64_t x, int64_t y, int32_t value) {
  uint8_t *p = cellAddress(image, x, y);
  if (image->hdr.type == QTZ_IMAGE_GREY8) {
    *p = static_cast<uint8_t>(value);
  } else {
    const auto v = static_cast<int16_t>(value);
    std::memcpy(p, &v, 2);
  }
}

// A zeroed count image over the accumulator's bounds with 2-pixel margins.
int32_t newCountImage(TokTokenizer *tok, const Accumulator &acc, bool is8Bit, QtzImage **out) {
  const int64_t w = int64_t{acc.maxX} - acc.minX + 5;
  const int64_t h = int64_t{acc.maxY} - acc.minY + 5;
  if (w > INT32_MAX || h > INT32_MAX) return kAssert;
  const int32_t status = QtzImage_newOffset(
      tok->opt.state, is8Bit ? QTZ_IMAGE_GREY8 : QTZ_IMAGE_INT16, static_cast<int32_t>(w),
      static_cast<int32_t>(h), acc.minX - 2, acc.minY - 2, out);
  // The image library reports its own failures.
  return status;
}

bool inside(const QtzImage *image, int64_t x, int64_t y) {
  const QtzImageHeader &h = image->hdr;
  return x >= h.xoff && x < int64_t{h.xoff} + h.width && y >= h.yoff &&
         y < int64_t{h.yoff} + h.height;
}

// Adds sign to the count of every black pixel of the bitmap placed at (x, y).
int32_t paint(TokTokenizer *tok, QtzImage *image, const Bitmap &b, int32_t x, int32_t y,
              int32_t sign) {
  const int32_t words = (b.width + 31) / 32;
  const int32_t limit = image->hdr.type == QTZ_IMAGE_GREY8 ? 255 : kMaxCounted;
  for (int32_t by = 0; by < b.height; ++by) {
    const uint32_t *row = b.rows + int64_t{by} * b.wordsPerRow;
    for (int32_t k = 0; k < words; ++k) {
      uint32_t w = row[k];
      while (w != 0) {
        const int bit = std::countl_zero(w);
        w &= ~(0x80000000U >> bit);
        const int64_t bx = int64_t{32} * k + bit;
        if (bx < blank(tok)) return kAssert;
        const int64_t cx = x + bx, cy = int64_t{y} + by;
        if (!inside(image, cx, cy)) return kAssert;
        const int32_t v = readCell(image, cx, cy) + sign;
        if (v < 0 || v > limit) return kAssert;
        writeCell(image, cx, cy, v);
      }
    }
  }
  return 0;
}

// A new image of the given depth over the current bounds holding the old image's counts.
int32_t regrowImage(TokTokenizer *tok, Accumulator *acc, bool is8Bit) {
  QtzImage *grown = nullptr;
  int32_t status = newCountImage(tok, *acc, is8Bit, &grown);
  if (status != 0) return status;
  const QtzImage *old = acc->image;
  for (int32_t y = 0; y < old->hdr.height; ++y) {
    for (int32_t x = 0; x < old->hdr.width; ++x) {
      const int64_t cx = int64_t{old->hdr.xoff} + x, cy = int64_t{old->hdr.yoff} + y;
      const int32_t v = readCell(old, cx, cy);
      if (v == 0) continue;
      if (!inside(grown, cx, cy)) {
        QtzImage_free(grown);
        return kAssert;
      }
      writeCell(grown, cx, cy, v);
    }
  }
  QtzImage_free(acc->image);
  acc->image = grown;
  acc->is8Bit = is8Bit ? 1 : 0;
  return 0;
}

// Counts every member of the list that has a bitmap into a fresh image over the bounds.
int32_t buildCountImage(TokTokenizer *tok, Class *cls) {
  Accumulator *acc = cls->acc;
  QtzImage *image = nullptr;
  int32_t status = newCountImage(tok, *acc, acc->is8Bit != 0, &image);
  if (status != 0) return status;
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
    const Token *m = static_cast<const Token *>(n->data);
    if (m->bitmap == nullptr) continue;  // members of carried-over classes
    status = paint(tok, image, *m->bitmap, m->x, m->y, 1);
    if (status != 0) {
      QtzImage_free(image);
      return status;
    }
  }
  acc->image = image;
  return 0;
}

void widenBounds(Accumulator *acc, const Token &m, int32_t x, int32_t y, int32_t blankCols) {
  acc->maxX = std::max(acc->maxX, x + blankCols + m.width - 1);
  acc->maxY = std::max(acc->maxY, y + m.height - 1);
  acc->minX = std::min(acc->minX, x + blankCols);
  acc->minY = std::min(acc->minY, y);
}

// Moves the class frame by (dx, dy): member offsets, bounds and count image.
void moveFrame(Class *cls, int32_t dx, int32_t dy) {
  if (dx == 0 && dy == 0) return;
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
    Token *m = static_cast<Token *>(n->data);
    m->x += dx;
    m->y += dy;
  }
  if (Accumulator *acc = cls->acc) {
    acc->minX += dx;
    acc->maxX += dx;
    acc->minY += dy;
    acc->maxY += dy;
    if (acc->image != nullptr) {
      QtzImage_setOffset(acc->image, acc->image->hdr.xoff + dx, acc->image->hdr.yoff + dy);
    }
  }
}

int32_t growScratch(TokTokenizer *tok, int32_t **scratch, int32_t *capacity, int64_t need) {
  if (need <= *capacity) return 0;
  if (need > INT32_MAX / 2) return kAssert;
  const int64_t grown = std::max<int64_t>(need, int64_t{*capacity} * 2);
  void *block = qtz::resize(tok->opt.state, *scratch, static_cast<size_t>(grown) * 4);
  if (block == nullptr) return reportStatus(tok, kNoMemory);
  *scratch = static_cast<int32_t *>(block);
  *capacity = static_cast<int32_t>(grown);
  return 0;
}

}  // namespace

int32_t medianBlack(TokTokenizer *tok, const Class *cls, int32_t *median) {
  const int32_t n = memberCount(cls);
  if (n <= 0) return kAssert;
  int32_t status = growScratch(tok, &tok->blackScratch, &tok->blackCapacity, n);
  if (status != 0) return status;
  int32_t i = 0;
  for (QtzAdtListNode *node = cls->members->head; node != nullptr; node = node->next) {
    tok->blackScratch[i++] = static_cast<const Token *>(node->data)->black;
  }
  std::sort(tok->blackScratch, tok->blackScratch + n);
  if (n % 2 == 1) {
    *median = tok->blackScratch[n / 2];
  } else {
    const int32_t second = std::min(n / 2 + 1, n - 1);
    *median =
        static_cast<int32_t>((int64_t{tok->blackScratch[n / 2]} + tok->blackScratch[second]) / 2);
  }
  return 0;
}

namespace {

// The template threshold: S(t) = cells with a count of at least t; the t at which S comes
// closest to the median m from the walk down (ties take t + 1, never a t + 1 with S = 0).
int32_t chooseThreshold(TokTokenizer *tok, const QtzImage *image, int32_t maxCount, int32_t m,
                        int32_t *threshold, int64_t *area, int64_t *difference) {
  int32_t status = growScratch(tok, &tok->histScratch, &tok->histCapacity, int64_t{maxCount} + 2);
  if (status != 0) return status;
  int32_t *hist = tok->histScratch;
  std::fill(hist, hist + maxCount + 2, 0);
  for (int32_t y = 0; y < image->hdr.height; ++y) {
    for (int32_t x = 0; x < image->hdr.width; ++x) {
      const int32_t v = readCell(image, int64_t{image->hdr.xoff} + x, int64_t{image->hdr.yoff} + y);
      if (v < 0 || v > maxCount) return kAssert;
      ++hist[v];
    }
  }
  int64_t above = 0;  // S(t + 1)
  int64_t s = 0;      // S(t)
  int32_t t = maxCount;
  for (; t >= 1; --t) {
    s = above + hist[t];
    if (s > m) break;
    above = s;
  }
  int32_t chosen;
  int64_t chosenArea;
  if (t < 1) {
    chosen = 1;
    chosenArea = above;  // S(1)
  } else if (s - m < m - above || above == 0) {
    chosen = t;
    chosenArea = s;
  } else {
    chosen = t + 1;
    chosenArea = above;
  }
  *threshold = chosen;
  *area = chosenArea;
  *difference = chosenArea > m ? chosenArea - m : m - chosenArea;
  return 0;
}

// The template: the cells at or above the threshold, cropped to their box; left and top of
// the box in the class frame come back for the frame move.
int32_t makeTemplate(TokTokenizer *tok, const QtzImage *image, int32_t threshold, int64_t area,
                     Token **out, int32_t *left, int32_t *top) {
  const QtzImageHeader &h = image->hdr;
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  for (int32_t y = 0; y < h.height; ++y) {
    for (int32_t x = 0; x < h.width; ++x) {
      if (readCell(image, int64_t{h.xoff} + x, int64_t{h.yoff} + y) < threshold) continue;
      x0 = std::min(x0, h.xoff + x);
      x1 = std::max(x1, h.xoff + x);
      y0 = std::min(y0, h.yoff + y);
      y1 = std::max(y1, h.yoff + y);
    }
  }
  if (x1 < x0 || area <= 0 || area > INT32_MAX) return kAssert;
  const int32_t boxW = x1 - x0 + 1, boxH = y1 - y0 + 1;
  const int32_t r = blank(tok);
  const int32_t width = r + boxW;
  const int32_t wpr = (width + 31) / 32;
  QtzState *state = tok->opt.state;
  qtz::OwnedBlock<uint32_t> rows(
      state, static_cast<uint32_t *>(qtz::allocateZeroed(state, size_t(wpr) * boxH, 4)));
  if (!rows) return reportStatus(tok, kNoMemory);
  for (int32_t y = 0; y < boxH; ++y) {
    uint32_t *row = rows.get() + int64_t{y} * wpr;
    for (int32_t x = 0; x < boxW; ++x) {
      if (readCell(image, int64_t{x0} + x, int64_t{y0} + y) < threshold) continue;
      const int32_t col = r + x;
      row[col / 32] |= 0x80000000U >> (col % 32);
    }
  }
  Token *token = nullptr;
  int32_t status = qtz::poolTake<4>(state, &token);
  if (status != 0) return status;
  *token = Token{boxW, boxH, nullptr, nullptr, 0, 0, static_cast<int32_t>(area), 0};
  Bitmap *bitmap = nullptr;
  status = qtz::poolTake<3>(state, &bitmap);
  if (status != 0) {
    freeToken(tok, token);
    return status;
  }
  *bitmap = Bitmap{width, boxH, wpr, rows.release(), static_cast<int32_t>(area), 0};
  token->bitmap = bitmap;
  status = dilateBitmap(tok, bitmap, &token->dilation);
  if (status != 0) {
    freeToken(tok, token);
    return status;
  }
  *out = token;
  *left = x0;
  *top = y0;
  return 0;
}

// The count-image part of accumulating: the image is built when the counted members reach
// the minimum, widened to 16 bits at 256 members, grown to the bounds, and the member added.
int32_t paintMember(TokTokenizer *tok, Class *cls, const Token &m, int32_t x, int32_t y) {
  Accumulator *acc = cls->acc;
  int32_t status = 0;
  if (acc->image == nullptr) {
    if (acc->count < tok->opt.countTemplateMinimum) return 0;
    // A carried-over dictionary entry has no members to count.
    if ((cls->flags & kCarried) != 0) return 0;
    if ((cls->flags & kFrozen) != 0) return kAssert;
    status = buildCountImage(tok, cls);
    if (status != 0) return status;
  }
  if (acc->count == 256 && acc->is8Bit != 0) status = regrowImage(tok, acc, false);
  if (status != 0) return status;
  const QtzImageHeader &h = acc->image->hdr;
  if (acc->minX - 2 < h.xoff || acc->minY - 2 < h.yoff ||
      int64_t{acc->maxX} + 2 >= int64_t{h.xoff} + h.width ||
      int64_t{acc->maxY} + 2 >= int64_t{h.yoff} + h.height) {
    status = regrowImage(tok, acc, acc->is8Bit != 0);
    if (status != 0) return status;
  }
  if (m.bitmap == nullptr) return kAssert;
  return paint(tok, acc->image, *m.bitmap, x, y, 1);
}

// Accumulates a member bitmap at (x, y); see the file comment.
int32_t accumulate(TokTokenizer *tok, Class *cls, const Token &m, int32_t x, int32_t y) {
  Accumulator *acc = cls->acc;
  if ((cls->flags & kFull) != 0) return 0;
  widenBounds(acc, m, x, y, blank(tok));
  if (acc->count >= kMaxCounted) return kAssert;
  ++acc->count;
  if ((cls->flags & kOwnsTemplate) != 0) cls->flags &= ~kTemplateCurrent;
  int32_t status = paintMember(tok, cls, m, x, y);
  if (status != 0) return status;
  if (acc->count == tok->opt.accumulateLimit) cls->flags |= kFull;
  if (acc->count > tok->opt.accumulateLimit) return kAssert;
  return 0;
}

// The exact reverse of accumulate; a full class ignores it.
int32_t takeBack(TokTokenizer *tok, Class *cls, const Token &m, int32_t x, int32_t y) {
  Accumulator *acc = cls->acc;
  if (acc == nullptr) return kAssert;
  if ((cls->flags & kFull) != 0) return 0;
  if (acc->count <= 0) return kAssert;
  const bool fallsBelow = acc->count == tok->opt.countTemplateMinimum;
  --acc->count;
  if ((cls->flags & kOwnsTemplate) != 0) cls->flags &= ~kTemplateCurrent;
  if (acc->image == nullptr) return 0;
  if (fallsBelow) {
    QtzImage_free(acc->image);
    acc->image = nullptr;
    return 0;
  }
  if (m.bitmap == nullptr) return kAssert;
  return paint(tok, acc->image, *m.bitmap, x, y, -1);
}

}  // namespace

// Gives a class without accumulator (it must have exactly one member) an accumulator made
// from that member.
int32_t ensureAccumulator(TokTokenizer *tok, Class *cls) {
  if (cls->acc != nullptr) return 0;
  if (memberCount(cls) != 1) return kAssert;
  const Token *m = static_cast<const Token *>(cls->members->head->data);
  Accumulator *acc = nullptr;
  int32_t status = qtz::poolTake<2>(tok->opt.state, &acc);
  if (status != 0) return status;
  const int32_t r = blank(tok);
  *acc = Accumulator{nullptr, m->x + r, m->y, m->x + r + m->width - 1, m->y + m->height - 1, 1, 1};
  cls->acc = acc;
  if (tok->opt.countTemplateMinimum <= 1) {
    status = buildCountImage(tok, cls);
    if (status != 0) {
      freeAccumulator(tok, acc);
      cls->acc = nullptr;
      return status;
    }
  }
  return 0;
}

namespace {

Token *firstMember(const Class *cls) {
  return cls->members->head == nullptr ? nullptr : static_cast<Token *>(cls->members->head->data);
}

// Splits a member off its class (it becomes a class of its own), or, for the only member,
// makes it the representative in place.
int32_t splitMember(TokTokenizer *tok, Class *cls, QtzAdtListNode **node) {
  if ((cls->flags & kFrozen) != 0) return kAssert;
  Token *m = static_cast<Token *>((*node)->data);
  if (m == cls->rep) return kAssert;
  if (memberCount(cls) > 1 || (cls->flags & kCarried) != 0) {
    if (cls->acc == nullptr) return kAssert;
    const int32_t x = m->x, y = m->y;
    m->x = 0;
    m->y = 0;
    Class *own = nullptr;
    int32_t status = newClass(tok, m, &own);
    if (status != 0) {
      m->x = x;
      m->y = y;
      return status;
    }
    status = takeBack(tok, cls, *m, x, y);
    if (status != 0) return status;
    return QtzAdt_liRemAndNext(*node, node);
  }
  if ((*node)->next != nullptr) return kAssert;
  if ((cls->flags & kOwnsTemplate) != 0) freeToken(tok, cls->rep);
  cls->rep = m;
  cls->flags = (cls->flags & (kFrozen | kFull | kCarried)) | kChecked;
  if (m->x != 0 || m->y != 0) {
    m->x = 0;
    m->y = 0;
    freeAccumulator(tok, cls->acc);
    cls->acc = nullptr;
  }
  *node = nullptr;
  return 0;
}

}  // namespace

int32_t ensureCountImage(TokTokenizer *tok, Class *cls) {
  if (cls->acc == nullptr) return kAssert;
  return cls->acc->image != nullptr ? 0 : buildCountImage(tok, cls);
}

void freeAccumulator(TokTokenizer *tok, Accumulator *acc) {
  if (acc == nullptr) return;
  QtzImage_free(acc->image);
  qtz::poolGive<2>(tok->opt.state, acc);
}

void freeClass(TokTokenizer *tok, Class *cls) {
  if (cls == nullptr) return;
  bool repIsMember = false;
  if (cls->members != nullptr) {
    for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
      Token *m = static_cast<Token *>(n->data);
      repIsMember = repIsMember || m == cls->rep;
      freeToken(tok, m);
    }
    QtzAdt_liFree(cls->members);
  }
  if (!repIsMember) freeToken(tok, cls->rep);
  freeAccumulator(tok, cls->acc);
  qtz::poolGive<2>(tok->opt.state, cls);
}

int32_t buildOffsetTable(TokTokenizer *tok) {
  if (tok->offsets != nullptr) return 0;
  const int64_t rw = tok->opt.widthRadius, rh = tok->opt.heightRadius;
  if (rw < 0 || rh < 0 || rw > 1000 || rh > 1000) return kAssert;
  const int64_t expected = ((2 * rh + 1) * (2 * rw + 1) - 1) / 2 + 1;
  auto *pairs = static_cast<int32_t(*)[2]>(
      qtz::allocate(tok->opt.state, static_cast<size_t>(expected) * sizeof(int32_t[2])));
  if (pairs == nullptr) return reportStatus(tok, kNoMemory);
  int64_t n = 0;
  auto put = [&](int64_t dw, int64_t dh) {
    if (n < expected) {
      pairs[n][0] = static_cast<int32_t>(dw);
      pairs[n][1] = static_cast<int32_t>(dh);
    }
    ++n;
  };
  put(0, 0);
  for (int64_t j = 1; j <= rw + rh; ++j) {
    if (j <= rw) put(-j, 0);
    for (int64_t dh = -1; dh >= -(j - 1); --dh) {
      const int64_t k = j + dh;
      if (-dh <= rh && k <= rw) {
        put(-k, dh);
        put(k, dh);
      }
    }
    if (j <= rh) put(0, -j);
  }
  if (n != expected) {
    qtz::release(tok->opt.state, pairs);
    return kAssert;
  }
  tok->offsets = pairs;
  tok->offsetCount = static_cast<int32_t>(n);
  return 0;
}

int32_t placeClass(TokTokenizer *tok, Class *cls) {
  TokClassTable &t = tok->classes;
  const int32_t w = cls->rep->width, h = cls->rep->height;
  if (w + 1 > t.width || h + 1 > t.height) {
    const int64_t nw = std::max<int64_t>(t.width, int64_t{w} + 1);
    const int64_t nh = std::max<int64_t>(t.height, int64_t{h} + 1);
    auto *cells = static_cast<QtzAdtList **>(
        qtz::allocateZeroed(tok->opt.state, static_cast<size_t>(nw * nh), sizeof(QtzAdtList *)));
    if (cells == nullptr) return reportStatus(tok, kNoMemory);
    for (int64_t y = 0; y < t.height; ++y) {
      for (int64_t x = 0; x < t.width; ++x) cells[y * nw + x] = t.cells[y * t.width + x];
    }
    qtz::release(tok->opt.state, t.cells);
    t.cells = cells;
    t.width = static_cast<int32_t>(nw);
    t.height = static_cast<int32_t>(nh);
  }
  QtzAdtList *&cell = cellAt(t, w, h);
  if (cell == nullptr) {
    const int32_t status = QtzAdt_liNew(&cell, tok->opt.state);
    if (status != 0) return status;
  }
  return QtzAdt_liAdd(cell, cls, nullptr);
}

int32_t newClass(TokTokenizer *tok, Token *token, Class **out) {
  Class *cls = nullptr;
  int32_t status = qtz::poolTake<2>(tok->opt.state, &cls);
  if (status != 0) return status;
  *cls = Class{nullptr, token, nullptr, kChecked, 0};
  status = QtzAdt_liNew(&cls->members, tok->opt.state);
  if (status == 0) status = QtzAdt_liAdd(cls->members, token, nullptr);
  if (status == 0) status = placeClass(tok, cls);
  if (status != 0) {
    if (cls->members != nullptr) QtzAdt_liFree(cls->members);
    qtz::poolGive<2>(tok->opt.state, cls);
    return status;
  }
  ++tok->classCount;
  *out = cls;
  return 0;
}

int32_t addMember(TokTokenizer *tok, Class *cls, Token *token, int32_t x, int32_t y) {
  int32_t status = ensureAccumulator(tok, cls);
  if (status != 0) return status;
  status = accumulate(tok, cls, *token, x, y);
  if (status != 0) return status;
  status = QtzAdt_liAdd(cls->members, token, nullptr);
  if (status != 0) {
    takeBack(tok, cls, *token, x, y);
    return qtz::report(tok->opt.state, kNoMemory);
  }
  token->x = x;
  token->y = y;
  if ((cls->flags & kFrozen) != 0) dropBitmap(tok, token);
  return 0;
}

int32_t updateRepresentative(TokTokenizer *tok, Class *cls) {
  const uint32_t flags = cls->flags;
  if (((flags & kOwnsTemplate) != 0 && (flags & kTemplateCurrent) != 0) ||
      (flags & kCarried) != 0) {
    return 0;
  }
  const bool frozen = (flags & kFrozen) != 0;
  Token *template_ = nullptr;
  int32_t left = 0, top = 0;
  if ((cls->acc != nullptr && cls->acc->count > 3) || frozen) {
    int32_t status = ensureAccumulator(tok, cls);
    if (status != 0) return status;
    Accumulator *acc = cls->acc;
    if ((flags & kFull) == 0 && acc->count != memberCount(cls)) return kAssert;
    if (acc->image == nullptr) {
      status = buildCountImage(tok, cls);
      if (status != 0) return status;
    }
    int32_t m = 0, threshold = 0;
    int64_t area = 0, difference = 0;
    status = medianBlack(tok, cls, &m);
    if (status == 0) {
      status = chooseThreshold(tok, acc->image, std::max(acc->count, 1), m, &threshold, &area,
                               &difference);
    }
    if (status == 0 && (frozen || difference * 10 < m)) {
      status = makeTemplate(tok, acc->image, threshold, area, &template_, &left, &top);
    }
    if (acc->count < tok->opt.countTemplateMinimum && (!frozen || status != 0)) {
      QtzImage_free(acc->image);
      acc->image = nullptr;
    }
    if (status != 0) return status;
  }
  Token *old = cls->rep;
  if (template_ != nullptr) {
    moveFrame(cls, blank(tok) - left, -top);
    cls->rep = template_;
    cls->flags |= kOwnsTemplate | kTemplateCurrent;
  } else {
    if (frozen) return kAssert;
    Token *first = firstMember(cls);
    if (first == nullptr) return kAssert;
    moveFrame(cls, -first->x, -first->y);
    cls->rep = first;
    cls->flags &= ~(kOwnsTemplate | kTemplateCurrent);
  }
  if (cls->rep != old) {
    cls->flags &= ~(kChecked | kUnchanged | kSeen);
    if ((flags & kOwnsTemplate) != 0) freeToken(tok, old);
  }
  return 0;
}

int32_t verifyMembers(TokTokenizer *tok, Class *cls) {
  if ((cls->flags & (kFrozen | kChecked)) != 0) return 0;
  if (cls->rep == nullptr || cls->rep->bitmap == nullptr) return kAssert;
  QtzAdtListNode *node = cls->members->head;
  while (node != nullptr) {
    Token *m = static_cast<Token *>(node->data);
    if (m->bitmap == nullptr || m == cls->rep) {
      node = node->next;
      continue;
    }
    int32_t dx = m->x, dy = m->y;
    if (hausMatch(*cls->rep, *m, &dx, &dy, tok)) {
      node = node->next;
      continue;
    }
    const int32_t status = splitMember(tok, cls, &node);
    if (status != 0) return status;
  }
  cls->flags |= kChecked;
  return 0;
}

int32_t freezeClass(TokTokenizer *tok, Class *cls, bool force) {
  if ((cls->flags & kFrozen) != 0) return 0;
  if ((cls->flags & kCarried) != 0 && !force) return kAssert;
  int32_t status = updateRepresentative(tok, cls);
  if (status == 0) status = verifyMembers(tok, cls);
  if (status != 0) return status;
  const int32_t limit = tok->opt.freezeCount;
  if (!force && !(limit > 0 && memberCount(cls) >= limit)) return 0;
  // The template is built while the members still have their bitmaps.
  cls->flags |= kFrozen;
  // A frozen class counts later members in its count image, as they keep no bitmaps: a template
  // built while the class was too small to keep one is built again, now keeping it.
  if (cls->acc != nullptr && cls->acc->image == nullptr) cls->flags &= ~kTemplateCurrent;
  if ((cls->flags & kOwnsTemplate) == 0 || (cls->flags & kTemplateCurrent) == 0) {
    status = updateRepresentative(tok, cls);
    if (status != 0) {
      cls->flags &= ~kFrozen;
      return status;
    }
  }
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
    dropBitmap(tok, static_cast<Token *>(n->data));
  }
  return 0;
}

int32_t realignMembers(TokTokenizer *tok, Class *cls) {
  if ((cls->flags & kFrozen) != 0) return 0;
  if (cls->rep == nullptr || cls->rep->bitmap == nullptr) return kAssert;
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
    Token *m = static_cast<Token *>(n->data);
    if (m->bitmap == nullptr || m->dilation == nullptr) return kAssert;
    int32_t dx = m->x, dy = m->y;
    hausBestShift(*cls->rep, *m, &dx, &dy, tok);
    if (dx == m->x && dy == m->y) continue;
    if (cls->acc != nullptr) {
      int32_t status = accumulate(tok, cls, *m, dx, dy);
      if (status == 0) status = takeBack(tok, cls, *m, m->x, m->y);
      if (status != 0) return status;
    }
    m->x = dx;
    m->y = dy;
  }
  return 0;
}

// ---- Accumulator merging (used by class merges) ----

int32_t mergeAccumulators(TokTokenizer *tok, Accumulator *dst, const QtzAdtList *dstMembers,
                          const Accumulator *src, const QtzAdtList *srcMembers, int32_t ox,
                          int32_t oy) {
  const int64_t count = int64_t{dst->count} + src->count;
  if (count > kMaxCounted) return kAssert;
  Accumulator merged = *dst;
  merged.minX = std::min(dst->minX, src->minX + ox);
  merged.minY = std::min(dst->minY, src->minY + oy);
  merged.maxX = std::max(dst->maxX, src->maxX + ox);
  merged.maxY = std::max(dst->maxY, src->maxY + oy);
  merged.count = static_cast<int32_t>(count);
  merged.is8Bit = count < 256 ? 1 : 0;
  merged.image = nullptr;
  if (count >= tok->opt.countTemplateMinimum) {
    QtzImage *image = nullptr;
    int32_t status = newCountImage(tok, merged, merged.is8Bit != 0, &image);
    if (status != 0) return status;
    // Counts of one side: its image, else its members' bitmaps.
    auto addSide = [&](const Accumulator *acc, const QtzAdtList *members, int32_t sx,
                       int32_t sy) -> int32_t {
      if (acc->image != nullptr) {
        const QtzImageHeader &h = acc->image->hdr;
        for (int32_t y = 0; y < h.height; ++y) {
          for (int32_t x = 0; x < h.width; ++x) {
            const int64_t cx = int64_t{h.xoff} + x, cy = int64_t{h.yoff} + y;
            const int32_t v = readCell(acc->image, cx, cy);
            if (v == 0) continue;
            if (!inside(image, cx + sx, cy + sy)) return kAssert;
            writeCell(image, cx + sx, cy + sy, readCell(image, cx + sx, cy + sy) + v);
          }
        }
        return 0;
      }
      for (QtzAdtListNode *n = members->head; n != nullptr; n = n->next) {
        const Token *m = static_cast<const Token *>(n->data);
        if (m->bitmap == nullptr) continue;
        const int32_t status = paint(tok, image, *m->bitmap, m->x + sx, m->y + sy, 1);
        if (status != 0) return status;
      }
      return 0;
    };
    status = addSide(dst, dstMembers, 0, 0);
    if (status == 0) status = addSide(src, srcMembers, ox, oy);
    if (status != 0) {
      QtzImage_free(image);
      return status;
    }
    merged.image = image;
  }
  QtzImage_free(dst->image);
  *dst = merged;
  return 0;
}

void shiftMembers(QtzAdtList *members, int32_t dx, int32_t dy) {
  for (QtzAdtListNode *n = members->head; n != nullptr; n = n->next) {
    Token *m = static_cast<Token *>(n->data);
    m->x += dx;
    m->y += dy;
  }
}

}  // namespace tok
