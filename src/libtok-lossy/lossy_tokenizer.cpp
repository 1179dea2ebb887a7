// The classifier's entry points: creation with its options, adding a token (matched against
// the classes of nearby sizes through the size offset table, else a class of its own), the
// three section ends with the hand-out of classes, reinsertion of handed-out classes as the
// next section's dictionary, and the freeing of output lists and of the classifier.
//
// A section end walks the class table twice in the same order (heights, then widths, then
// list order): the first walk makes every output record and checks every class, so that a
// failure leaves the classes in place; the second moves representatives and count images
// into the records and frees the classes. Representatives lose their blank columns on the
// way out and regain them when reinserted. A reinsertion copies what it needs from an output
// record and frees the record only once its class is placed, so a failure loses no class.
#include <algorithm>
#include <cstring>

#include "lossy_records.h"
#include "qtz_owners_internal.h"

namespace tok {
namespace {

bool hasBlack(const uint32_t *row, int32_t words) {
  for (int32_t k = 0; k < words; ++k) {
    if (row[k] != 0) return true;
  }
  return false;
}

bool columnHasBlack(const Bitmap &b, int32_t column) {
  const uint32_t mask = 0x80000000U >> (column % 32);
  for (int32_t y = 0; y < b.height; ++y) {
    if ((b.rows[int64_t{y} * b.wordsPerRow + column / 32] & mask) != 0) return true;
  }
  return false;
}

// The representative must fill its box: black pixels in its first and last rows and in its
// first and last real columns.
bool trimmed(const Token &rep, int32_t blankCols) {
  const Bitmap &b = *rep.bitmap;
  const int32_t words = (b.width + 31) / 32;
  return hasBlack(b.rows, words) &&
         hasBlack(b.rows + int64_t{b.height - 1} * b.wordsPerRow, words) &&
         columnHasBlack(b, blankCols) && columnHasBlack(b, b.width - 1);
}

// Shifts every row left by the blank columns, so that the first real column is the most
// significant bit.
void dropBlankColumns(Bitmap &b, int32_t blankCols) {
  if (blankCols == 0) return;
  for (int32_t y = 0; y < b.height; ++y) {
    uint32_t *row = b.rows + int64_t{y} * b.wordsPerRow;
    for (int32_t k = 0; k < b.wordsPerRow; ++k) {
      const uint32_t next = k + 1 < b.wordsPerRow ? row[k + 1] : 0;
      row[k] = (row[k] << blankCols) | (next >> (32 - blankCols));
    }
  }
}

bool wantsCountImage(const TokTokenizer *tok, const Class *cls) {
  return (tok->opt.flags & TOK_FLAG_COUNT_IMAGES) != 0 &&
         cls->members->count >= tok->opt.countImageMinimum;
}

void freeMemberList(TokTokenizer *tok, QtzAdtList *members, bool records) {
  if (members == nullptr) return;
  if (records) {
    for (QtzAdtListNode *n = members->head; n != nullptr; n = n->next) {
      qtz::release(tok->opt.state, n->data);
    }
  }
  QtzAdt_liFree(members);
}

// Frees one output record; 10003 (after freeing the rest) when rows or members are missing.
int32_t freeOutClass(TokTokenizer *tok, TokOutClass *oc, bool records) {
  if (oc == nullptr) return kAssert;
  const bool complete = oc->head.rows != nullptr && oc->members != nullptr;
  qtz::release(tok->opt.state, oc->head.rows);
  QtzImage_free(oc->countImage);
  freeMemberList(tok, oc->members, records);
  qtz::release(tok->opt.state, oc);
  return complete ? 0 : kAssert;
}

// First walk: an output record for one class, without rows and count image yet.
int32_t describeClass(TokTokenizer *tok, Class *cls, QtzAdtList *out) {
  if (cls->members == nullptr || cls->rep == nullptr || cls->rep->bitmap == nullptr) {
    return kAssert;
  }
  QtzState *state = tok->opt.state;
  qtz::OwnedBlock<TokOutClass> oc(
      state, static_cast<TokOutClass *>(qtz::allocate(state, sizeof(TokOutClass))));
  if (!oc) return reportStatus(tok, kNoMemory);
  const Token &rep = *cls->rep;
  *oc.get() = TokOutClass{};
  oc->countIs8Bit = 1;
  if (wantsCountImage(tok, cls)) {
    if (cls->acc != nullptr) {
      const int32_t status = ensureCountImage(tok, cls);
      if (status != 0) return status;
      oc->countedMembers = cls->acc->count;
    } else {
      if (cls->members->count != 1) return kAssert;
      oc->countedMembers = 1;
    }
  }
  if (!trimmed(rep, tok->passes)) return kAssert;
  if (rep.width > UINT16_MAX || rep.height > UINT16_MAX || rep.bitmap->wordsPerRow > UINT16_MAX) {
    return kAssert;
  }
  oc->head.width = static_cast<uint16_t>(rep.width);
  oc->head.height = static_cast<uint16_t>(rep.height);
  oc->head.wordsPerRow = static_cast<uint16_t>(rep.bitmap->wordsPerRow);
  oc->classWord = cls->classWord;
  int32_t status = QtzAdt_liNew(&oc->members, state);
  if (status != 0) return status;
  const bool records = (tok->opt.flags & TOK_FLAG_MEMBER_RECORDS) != 0;
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next) {
    const Token *m = static_cast<const Token *>(n->data);
    void *data = reinterpret_cast<void *>(m->user);
    if (records) {
      if (m->x < INT16_MIN || m->x > INT16_MAX || m->y < INT16_MIN || m->y > INT16_MAX) {
        freeMemberList(tok, oc->members, true);
        oc->members = nullptr;
        return kAssert;
      }
      auto *rec = static_cast<TokOutMember *>(qtz::allocate(state, sizeof(TokOutMember)));
      if (rec == nullptr) {
        freeMemberList(tok, oc->members, true);
        oc->members = nullptr;
        return reportStatus(tok, kNoMemory);
      }
      *rec = TokOutMember{static_cast<int16_t>(m->x), static_cast<int16_t>(m->y), m->user};
      data = rec;
    }
    status = QtzAdt_liAdd(oc->members, data, nullptr);
    if (status != 0) {
      if (records) qtz::release(state, data);
      freeMemberList(tok, oc->members, records);
      oc->members = nullptr;
      return status;
    }
  }
  status = QtzAdt_liAdd(out, oc.get(), nullptr);
  if (status != 0) {
    freeMemberList(tok, oc->members, records);
    return status;
  }
  oc.release();
  return 0;
}

// Second walk: moves the representative's rows and the count image into the record and frees
// the class.
void handOver(TokTokenizer *tok, Class *cls, TokOutClass *oc) {
  Bitmap &b = *cls->rep->bitmap;
  dropBlankColumns(b, tok->passes);
  oc->head.rows = b.rows;
  b.rows = nullptr;
  if (wantsCountImage(tok, cls) && cls->acc != nullptr && cls->acc->image != nullptr) {
    QtzImage *image = cls->acc->image;
    cls->acc->image = nullptr;
    QtzImage_setOffset(image, image->hdr.xoff - tok->passes, image->hdr.yoff);
    oc->countImage = image;
    oc->countIs8Bit = cls->acc->is8Bit;
  }
  freeClass(tok, cls);
}

void freeOutList(TokTokenizer *tok, QtzAdtList *out) {
  const bool records = (tok->opt.flags & TOK_FLAG_MEMBER_RECORDS) != 0;
  for (QtzAdtListNode *n = out->head; n != nullptr; n = n->next) {
    freeOutClass(tok, static_cast<TokOutClass *>(n->data), records);
  }
  QtzAdt_liFree(out);
}

int32_t endSection(TokTokenizer *tok, QtzAdtList **classes, bool refineFirst) {
  if (tok == nullptr || classes == nullptr) return kAssert;
  QtzAdtList *out = nullptr;
  int32_t status = QtzAdt_liNew(&out, tok->opt.state);
  if (status != 0) return status;
  auto fail = [&](int32_t code) {
    freeOutList(tok, out);
    return code;
  };
  if (tok->classes.cells == nullptr) {
    if (tok->classCount != 0) return fail(kAssert);
    *classes = out;
    return 0;
  }
  if (refineFirst) {
    status = refine(tok);
    if (status != 0) return fail(status);
  }
  if ((tok->opt.flags & TOK_FLAG_REALIGN) != 0) {
    status = forEachClass(tok, [tok](Class *cls) { return realignMembers(tok, cls); });
    if (status != 0) return fail(status);
  }
  status = forEachClass(tok, [tok, out](Class *cls) { return describeClass(tok, cls, out); });
  if (status != 0) return fail(status);
  if (out->count != tok->classCount) return fail(kAssert);

  TokClassTable &t = tok->classes;
  QtzAdtListNode *node = out->head;
  for (int32_t y = 0; y < t.height; ++y) {
    for (int32_t x = 0; x < t.width; ++x) {
      QtzAdtList *&cell = cellAt(t, x, y);
      if (cell == nullptr) continue;
      for (QtzAdtListNode *n = cell->head; n != nullptr; n = n->next, node = node->next) {
        handOver(tok, static_cast<Class *>(n->data), static_cast<TokOutClass *>(node->data));
      }
      QtzAdt_liFree(cell);
      cell = nullptr;
    }
  }
  tok->classCount = 0;
  *classes = out;
  return 0;
}

// Puts one output class back as a frozen, carried-over class. The record is only read: the
// representative is made from a copy of its rows and the members from its member list; its
// count image moves into the class only once the class is placed. On failure nothing of the
// record has changed (the class stays the caller's, as coded); on success the caller frees it.
int32_t reinsertOne(TokTokenizer *tok, TokOutClass *oc, bool withMembers) {
  QtzState *state = tok->opt.state;
  const bool records = (tok->opt.flags & TOK_FLAG_MEMBER_RECORDS) != 0;
  TokInputToken head = oc->head;
  head.user = 0;
  Token *rep = nullptr;
  int32_t status = makeToken(tok, head, true, &rep);
  if (status != 0) return status;
  Class *cls = nullptr;
  status = qtz::poolTake<2>(state, &cls);
  if (status != 0) {
    freeToken(tok, rep);
    return status;
  }
  *cls = Class{nullptr, rep, nullptr,
               kFrozen | kOwnsTemplate | kTemplateCurrent | kChecked | kCarried, oc->classWord};
  auto drop = [&](int32_t code) {
    freeClass(tok, cls);
    return code;
  };
  status = QtzAdt_liNew(&cls->members, state);
  if (status != 0) return drop(status);
  Accumulator *acc = nullptr;
  status = qtz::poolTake<2>(state, &acc);
  if (status != 0) return drop(status);
  const int32_t r = tok->passes;
  *acc = Accumulator{nullptr, r, 0, r, 0, 0, 1};
  cls->acc = acc;
  QtzImage *image = oc->countImage;
  if (image != nullptr) {
    const QtzImageHeader &h = image->hdr;
    acc->minX = h.xoff + r;
    acc->minY = h.yoff;
    acc->maxX = h.xoff + r + h.width - 1;
    acc->maxY = h.yoff + h.height - 1;
    acc->count = oc->countedMembers;
    acc->is8Bit = oc->countIs8Bit;
  }
  if (acc->count < 0 || acc->count > kMaxCounted) return drop(kAssert);
  if (acc->count >= tok->opt.accumulateLimit || acc->count == 0) cls->flags |= kFull;
  if (withMembers && oc->members != nullptr) {
    for (QtzAdtListNode *n = oc->members->head; n != nullptr; n = n->next) {
      Token *m = nullptr;
      status = qtz::poolTake<4>(state, &m);
      if (status != 0) return drop(status);
      *m = Token{0, 0, nullptr, nullptr, 0, 0, 0, reinterpret_cast<uintptr_t>(n->data)};
      if (records) {
        const auto *rec = static_cast<const TokOutMember *>(n->data);
        *m = Token{0, 0, nullptr, nullptr, rec->x, rec->y, 0, rec->user};
      }
      status = QtzAdt_liAdd(cls->members, m, nullptr);
      if (status != 0) {
        freeToken(tok, m);
        return drop(status);
      }
    }
  }
  status = placeClass(tok, cls);
  if (status != 0) return drop(status);
  ++tok->classCount;
  if (image != nullptr) {
    QtzImage_setOffset(image, image->hdr.xoff + r, image->hdr.yoff);
    acc->image = image;
    oc->countImage = nullptr;
  }
  return 0;
}

// Puts the listed classes back one after another; each class put back leaves the list and its
// record is freed. A failure stops there: the classes not yet put back, the failing one
// included, stay whole in the list for the caller.
int32_t reinsert(TokTokenizer *tok, QtzAdtList *classes, bool withMembers) {
  if (tok == nullptr || classes == nullptr) return kAssert;
  const bool records = (tok->opt.flags & TOK_FLAG_MEMBER_RECORDS) != 0;
  int32_t status = 0;
  while (classes->head != nullptr && status == 0) {
    auto *oc = static_cast<TokOutClass *>(classes->head->data);
    status = reinsertOne(tok, oc, withMembers);
    if (status == 0) status = QtzAdt_liRem(classes->head);
    if (status == 0) freeOutClass(tok, oc, records);  // whole or not, it is put back
  }
  if (status != 0) return status;
  return QtzAdt_liFree(classes);
}

}  // namespace
}  // namespace tok

using namespace tok;

extern "C" int32_t tokInit(const TokOptions *options, TokTokenizer **out) {
  if (options == nullptr || out == nullptr || options->state == nullptr) return kAssert;
  if (Qtz_getPoolSize(2) <
          static_cast<int32_t>(std::max({sizeof(Dilation), sizeof(Class), sizeof(Accumulator)})) ||
      Qtz_getPoolSize(3) < static_cast<int32_t>(sizeof(Bitmap)) ||
      Qtz_getPoolSize(4) < static_cast<int32_t>(sizeof(Token))) {
    return kAssert;
  }
  QtzState *state = options->state;
  auto *tok = static_cast<TokTokenizer *>(qtz::allocate(state, sizeof(TokTokenizer)));
  if (tok == nullptr) return qtz::report(state, kNoMemory);
  *tok = TokTokenizer{};
  tok->opt = *options;
  tok->opt.dilationCode = options->dilationRadius;
  tok->table = gapCrossTable();
  tok->passes = options->dilationRadius;
  if ((options->flags & TOK_FLAG_DISTANCE_CODE) != 0) {
    const int32_t code = options->dilationRadius;
    tok->table = code == 14 ? squareTable() : plusTable();
    if (code == 10 || code == 14) tok->opt.dilationRadius = 1;
    if (code == 20) tok->opt.dilationRadius = 2;
    tok->passes = tok->opt.dilationRadius;
  }
  *out = tok;
  return 0;
}

extern "C" int32_t tokGetClassCount(const TokTokenizer *tok, int32_t *count) {
  if (tok == nullptr || count == nullptr) return kAssert;
  *count = tok->classCount;
  return 0;
}

extern "C" int32_t tokAddToken(TokTokenizer *tok, const TokInputToken *token) {
  if (tok == nullptr || token == nullptr) return kAssert;
  Token *t = nullptr;
  int32_t status = makeToken(tok, *token, (tok->opt.flags & TOK_FLAG_KEEP_INPUT) != 0, &t);
  if (status != 0) return status;
  status = buildOffsetTable(tok);
  if (status != 0) {
    freeToken(tok, t);
    return status;
  }
  TokClassTable &table = tok->classes;
  for (int32_t e = 0; e < tok->offsetCount; ++e) {
    const int64_t x = int64_t{t->width} + tok->offsets[e][0];
    const int64_t y = int64_t{t->height} + tok->offsets[e][1];
    if (x <= 0 || y <= 0 || x >= table.width || y >= table.height) continue;
    QtzAdtList *list = cellAt(table, static_cast<int32_t>(x), static_cast<int32_t>(y));
    if (list == nullptr) continue;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
      Class *cls = static_cast<Class *>(n->data);
      if (cls->rep == nullptr || cls->rep->bitmap == nullptr) {
        freeToken(tok, t);
        return kAssert;
      }
      int32_t dx = 0, dy = 0;
      if (!hausMatch(*cls->rep, *t, &dx, &dy, tok)) continue;
      hausBestShift(*cls->rep, *t, &dx, &dy, tok);
      status = addMember(tok, cls, t, dx, dy);
      if (status != 0) {
        freeToken(tok, t);
        return status;
      }
      const int32_t limit = tok->opt.freezeCount;
      if ((cls->flags & kFrozen) == 0 && limit > 0 && cls->members->count >= limit) {
        return freezeClass(tok, cls, false);
      }
      return 0;
    }
  }
  Class *cls = nullptr;
  status = newClass(tok, t, &cls);
  if (status != 0) freeToken(tok, t);
  return status;
}

extern "C" int32_t tokEndSectionFinal(TokTokenizer *tok, QtzAdtList **classes) {
  return endSection(tok, classes, true);
}

extern "C" int32_t tokEndSectionPartial(TokTokenizer *tok, QtzAdtList **classes) {
  return endSection(tok, classes, true);
}

extern "C" int32_t tokEndSectionRollBack(TokTokenizer *tok, QtzAdtList **classes) {
  return endSection(tok, classes, false);
}

extern "C" int32_t tokReinsertClasses(TokTokenizer *tok, QtzAdtList *classes) {
  return reinsert(tok, classes, true);
}

extern "C" int32_t tokReinsertTemplates(TokTokenizer *tok, QtzAdtList *classes) {
  return reinsert(tok, classes, false);
}

extern "C" int32_t tokFreeOutput(TokTokenizer *tok, QtzAdtList *classes, int32_t freeMembers) {
  if (tok == nullptr || classes == nullptr) return kAssert;
  int32_t status = 0;
  for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next) {
    const int32_t s = freeOutClass(tok, static_cast<TokOutClass *>(n->data), freeMembers != 0);
    if (status == 0) status = s;
  }
  QtzAdt_liFree(classes);
  return status;
}

extern "C" int32_t tokFreeClass(TokTokenizer *tok, TokOutClass *cls) {
  if (tok == nullptr) return kAssert;
  return freeOutClass(tok, cls, (tok->opt.flags & TOK_FLAG_MEMBER_RECORDS) != 0);
}

extern "C" int32_t tokFree(TokTokenizer *tok) {
  if (tok == nullptr) return kAssert;
  QtzState *state = tok->opt.state;
  TokClassTable &t = tok->classes;
  for (int64_t i = 0; i < int64_t{t.width} * t.height; ++i) {
    QtzAdtList *list = t.cells[i];
    if (list == nullptr) continue;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
      freeClass(tok, static_cast<Class *>(n->data));
    }
    QtzAdt_liFree(list);
  }
  qtz::release(state, t.cells);
  qtz::release(state, tok->offsets);
  qtz::release(state, tok->blackScratch);
  qtz::release(state, tok->histScratch);
  qtz::release(state, tok);
  return 0;
}
