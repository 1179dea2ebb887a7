// Merging classes at a section end: the merge of one class into another (frozen and
// carried-over classes keep their representative and class word), merge passes over the
// class table (same cell, then the cells of nearby sizes from the size offset table) with
// their three modes, relocation of classes whose representative changed size, and the
// refinement that a section end runs (passes, templates, member checks, repeated passes
// while the class count falls, or the caller's hook instead of the repetition).
//
// Pairs of classes both unchanged since the previous pass of mode 0 are not compared again.
// A failed merge stops the pass; its status is reported through the state's error sink.
#include "lossy_records.h"

namespace tok {

namespace {

int32_t memberCount(const Class *cls) {
  return cls->members->count;
}

void freeRecordOnly(TokTokenizer *tok, Class *cls) {
  qtz::poolGive<2>(tok->opt.state, cls);
}

// A takes over frozen B's accumulator (with A's counts added) and representative; A's members
// move into B's frame and B's members join them.
int32_t takeOverFrozen(TokTokenizer *tok, Class *a, Class *b, int32_t x, int32_t y) {
  const int32_t status = mergeAccumulators(tok, b->acc, b->members, a->acc, a->members, -x, -y);
  if (status != 0) return status;
  freeAccumulator(tok, a->acc);
  a->acc = b->acc;
  if ((a->flags & kOwnsTemplate) != 0) freeToken(tok, a->rep);
  a->rep = b->rep;
  shiftMembers(a->members, -x, -y);
  return QtzAdt_liApp(a->members, b->members);
}

// B merges into A, B's representative at (x, y) from A's. B's record is freed on success.
int32_t mergeInto(TokTokenizer *tok, Class *a, Class *b, int32_t x, int32_t y) {
  int32_t status = ensureAccumulator(tok, a);
  if (status != 0) return status;
  const bool aFrozen = (a->flags & kFrozen) != 0;
  const bool bFrozen = (b->flags & kFrozen) != 0;

  if (aFrozen && (b->flags & kCarried) != 0) {
    // A carried-over B keeps its representative, flags and class word.
    if (b->acc == nullptr || a->classWord != 0) return kAssert;
    status = takeOverFrozen(tok, a, b, x, y);
    if (status != 0) return status;
    a->flags = b->flags & ~kChecked;
    a->classWord = b->classWord;
    freeRecordOnly(tok, b);
    return 0;
  }

  if (!aFrozen && bFrozen) {
    if (b->acc == nullptr || (b->flags & kOwnsTemplate) == 0 || a->classWord != 0) {
      return kAssert;
    }
    status = takeOverFrozen(tok, a, b, x, y);
    if (status != 0) return status;
    a->flags = (a->flags & (kOwnsTemplate | kChecked | kCarried)) | kOwnsTemplate |
               (b->flags & (kFull | kCarried | kUnchanged | kSeen));
    a->flags &= ~kTemplateCurrent;
    a->classWord = b->classWord;
    freeRecordOnly(tok, b);
    status = freezeClass(tok, a, true);
    if (status != 0) return status;
    a->flags &= ~kChecked;
    return 0;
  }

  // A frozen with an ordinary B, or neither frozen: B's members join A's frame.
  if (b->acc != nullptr) {
    if (aFrozen && bFrozen) {
      for (QtzAdtListNode *n = b->members->head; n != nullptr; n = n->next) {
        if (static_cast<Token *>(n->data)->bitmap != nullptr) return kAssert;
      }
    }
    status = mergeAccumulators(tok, a->acc, a->members, b->acc, b->members, x, y);
    if (status != 0) return status;
    if (a->acc->count >= tok->opt.accumulateLimit || (b->flags & kFull) != 0) a->flags |= kFull;
    if ((a->flags & kOwnsTemplate) != 0) a->flags &= ~kTemplateCurrent;
    shiftMembers(b->members, x, y);
    if (aFrozen) {
      for (QtzAdtListNode *n = b->members->head; n != nullptr; n = n->next) {
        dropBitmap(tok, static_cast<Token *>(n->data));
      }
    }
    if ((b->flags & kOwnsTemplate) != 0) freeToken(tok, b->rep);
    status = QtzAdt_liApp(a->members, b->members);
    if (status != 0) return status;
    freeAccumulator(tok, b->acc);
    freeRecordOnly(tok, b);
  } else {
    if (memberCount(b) != 1) return kAssert;
    Token *m = static_cast<Token *>(b->members->head->data);
    if (m->x != 0 || m->y != 0) return kAssert;
    status = addMember(tok, a, m, x, y);
    if (status != 0) return status;
    if (b->rep != m && (b->flags & kOwnsTemplate) != 0) freeToken(tok, b->rep);
    QtzAdt_liFree(b->members);
    freeRecordOnly(tok, b);
  }
  if (!aFrozen) {
    const int32_t limit = tok->opt.freezeCount;
    if (limit > 0 && memberCount(a) >= limit) {
      status = freezeClass(tok, a, true);
      if (status != 0) return status;
    }
  }
  a->flags &= ~kChecked;
  return 0;
}

bool admits(int mode, const Class *a, const Class *b) {
  const bool singles = memberCount(a) == 1 && memberCount(b) == 1;
  if (mode == 1 && singles) return false;
  if (mode == 2 && !singles) return false;
  return !((a->flags & kUnchanged) != 0 && (b->flags & kUnchanged) != 0);
}

// Compares A with B and merges B into A when they match; *merged tells.
int32_t tryMerge(TokTokenizer *tok, Class *a, Class *b, bool *merged) {
  *merged = false;
  if ((a->flags & kCarried) != 0 && (b->flags & kCarried) != 0) return 0;
  if (a->rep == nullptr || b->rep == nullptr || a->rep->bitmap == nullptr ||
      b->rep->bitmap == nullptr) {
    return kAssert;
  }
  int32_t dx = 0, dy = 0;
  if (!hausMatch(*a->rep, *b->rep, &dx, &dy, tok)) return 0;
  hausBestShift(*a->rep, *b->rep, &dx, &dy, tok);
  const int32_t status = mergeInto(tok, a, b, dx, dy);
  if (status != 0) return status;
  *merged = true;
  --tok->classCount;
  return 0;
}

// Every class of `first` against every class of `second`, or, when `second` is null, against
// every later class of `first`. A class merged away leaves its list at once.
int32_t compareLists(TokTokenizer *tok, int mode, QtzAdtList *first, QtzAdtList *second) {
  for (QtzAdtListNode *an = first->head; an != nullptr; an = an->next) {
    Class *a = static_cast<Class *>(an->data);
    if (mode == 2 && memberCount(a) != 1) continue;
    QtzAdtListNode *bn = second == nullptr ? an->next : second->head;
    while (bn != nullptr) {
      Class *b = static_cast<Class *>(bn->data);
      if (!admits(mode, a, b)) {
        bn = bn->next;
        continue;
      }
      bool merged = false;
      int32_t status = tryMerge(tok, a, b, &merged);
      if (status != 0) return status;
      if (merged) {
        status = QtzAdt_liRemAndNext(bn, &bn);
        if (status != 0) return status;
      } else {
        bn = bn->next;
      }
    }
  }
  return 0;
}

}  // namespace

int32_t relocateClasses(TokTokenizer *tok, int mode) {
  QtzAdtList *moving = nullptr;
  int32_t status = QtzAdt_liNew(&moving, tok->opt.state);
  if (status != 0) return status;
  for (int32_t y = 0; y < tok->classes.height && status == 0; ++y) {
    for (int32_t x = 0; x < tok->classes.width && status == 0; ++x) {
      QtzAdtList *list = cellAt(tok->classes, x, y);
      if (list == nullptr) continue;
      QtzAdtListNode *n = list->head;
      while (n != nullptr && status == 0) {
        Class *cls = static_cast<Class *>(n->data);
        if (mode == 0) {
          if ((cls->flags & kSeen) != 0) cls->flags |= kUnchanged;
          cls->flags |= kSeen;
        }
        if (cls->rep->width == x && cls->rep->height == y) {
          n = n->next;
          continue;
        }
        cls->flags &= ~kUnchanged;
        status = QtzAdt_liAdd(moving, cls, nullptr);
        if (status == 0) status = QtzAdt_liRemAndNext(n, &n);
      }
    }
  }
  for (QtzAdtListNode *n = moving->head; n != nullptr && status == 0; n = n->next) {
    status = placeClass(tok, static_cast<Class *>(n->data));
  }
  QtzAdt_liFree(moving);
  return status;
}

int32_t mergePass(TokTokenizer *tok, int mode) {
  int32_t status = relocateClasses(tok, mode);
  TokClassTable &t = tok->classes;
  for (int32_t y = 0; y < t.height && status == 0; ++y) {
    for (int32_t x = 0; x < t.width && status == 0; ++x) {
      QtzAdtList *list = cellAt(t, x, y);
      if (list != nullptr) status = compareLists(tok, mode, list, nullptr);
    }
  }
  for (int32_t e = 1; e < tok->offsetCount && status == 0; ++e) {
    const int32_t dw = tok->offsets[e][0], dh = tok->offsets[e][1];
    for (int32_t h = 0; h < t.height && status == 0; ++h) {
      for (int32_t w = 0; w < t.width && status == 0; ++w) {
        QtzAdtList *first = cellAt(t, w, h);
        if (first == nullptr || first->count == 0) continue;
        const int64_t pw = int64_t{w} + dw, ph = int64_t{h} + dh;
        if (pw < 0 || ph < 0 || pw >= t.width || ph >= t.height) continue;
        QtzAdtList *second = cellAt(t, static_cast<int32_t>(pw), static_cast<int32_t>(ph));
        if (second == nullptr || first == second || second->count == 0) continue;
        status = compareLists(tok, mode, first, second);
      }
    }
  }
  if (status != 0) return qtz::report(tok->opt.state, status);
  return 0;
}

int32_t refine(TokTokenizer *tok) {
  auto update = [tok](Class *cls) { return updateRepresentative(tok, cls); };
  auto verify = [tok](Class *cls) { return verifyMembers(tok, cls); };
  int32_t status = buildOffsetTable(tok);
  if (status == 0) status = mergePass(tok, 0);
  if (status == 0) status = forEachClass(tok, update);
  if (status == 0) status = forEachClass(tok, verify);
  if (status == 0) status = forEachClass(tok, update);
  if (status == 0) status = mergePass(tok, 1);
  if (status == 0) status = mergePass(tok, 2);
  if (status != 0) return status;
  if (tok->opt.endSectionHook != nullptr) {
    status = relocateClasses(tok, 0);
    if (status != 0) return status;
    forEachClass(tok, [](Class *cls) {
      cls->flags &= kFrozen | kFull | kOwnsTemplate | kCarried;
      return 0;
    });
    return tok->opt.endSectionHook(&tok->classes, tok, tok->opt.hookUserData);
  }
  int32_t before = 0;
  do {
    before = tok->classCount;
    status = mergePass(tok, 0);
    if (status == 0) status = forEachClass(tok, update);
    if (status != 0) return status;
  } while (tok->classCount < before);
  return mergePass(tok, 0);
}

}  // namespace tok
