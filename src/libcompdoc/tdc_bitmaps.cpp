// The classes of a section's output as symbol bitmaps: page-local ones into their page's
// symbol array, shared ones into one array for the section's dictionary, every member's box
// pointed at its bitmap, and the classes kept for the next section renumbered from 0.
//
// The work runs in three passes: the members are checked and each class's home found (no
// page, one page, or shared); every bitmap is drawn into new arrays; only then, when nothing
// can fail any more, are boxes, pages, classes and the token block changed.
#include <algorithm>

#include "compdoc_tdc.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tdc_internal.h"

namespace tdc {
namespace {

constexpr int32_t kUnused = -3;  // no member on a stored page
constexpr int32_t kShared = -2;

struct Arrays {
  QtzState *state;
  QtzTokenBitmap *shared = nullptr;
  int32_t sharedSize = 0;
  QtzTokenBitmap **locals = nullptr;  // per page
  int32_t *localSize = nullptr;       // per page: page-local classes
  int32_t pages = 0;
  bool kept = false;
  explicit Arrays(QtzState *s) : state(s) {}
  ~Arrays() {
    if (!kept) {
      freeTokens(shared, sharedSize);
      for (int32_t p = 0; locals != nullptr && localSize != nullptr && p < pages; ++p)
        freeTokens(locals[p], localSize[p]);
    }
    qtz::release(state, locals);
    qtz::release(state, localSize);
  }
  void freeTokens(QtzTokenBitmap *tokens, int32_t count) const {
    for (int32_t i = 0; tokens != nullptr && i < count; ++i) qtz::release(state, tokens[i].bits);
    qtz::release(state, tokens);
  }
  Arrays(const Arrays &) = delete;
  Arrays &operator=(const Arrays &) = delete;
};

int32_t positionOf(const QtzAdtListNode *member) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(member->data));
}

// The class's home: kUnused, kShared or its one page; 10003 for a member out of range.
int32_t homeOf(const QtzLlClass *cls, const QtzTdcSection *section, int32_t *home) {
  *home = kUnused;
  if (cls->members == nullptr) return QTZ_OK;
  for (const QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
    const int64_t index = static_cast<int64_t>(reinterpret_cast<uintptr_t>(m->data));
    if (index >= section->positions->count) return QTZ_ERR_ASSERT;
    const QtzCCPosition pos = section->positions->items[index];
    if (pos.page == kNoPage) continue;
    if (pos.page < 0 || pos.page >= section->pageCount || pos.box < 0 ||
        pos.box >= section->pages[pos.page].boxCount)
      return QTZ_ERR_ASSERT;
    *home = *home == kUnused ? pos.page : (*home == pos.page ? *home : kShared);
  }
  return QTZ_OK;
}

int32_t drawClass(QtzState *state, const QtzLlClass *cls, uint8_t kind, QtzTokenBitmap *token) {
  const int32_t wordsPerRow = (cls->width + 31) / 32;
  *token = QtzTokenBitmap{nullptr,
                          nullptr,
                          kind,
                          static_cast<uint16_t>(cls->width),
                          static_cast<uint16_t>(cls->height),
                          static_cast<uint16_t>(wordsPerRow)};
  return RunsToUnframedBitmap(token, cls->runs, cls->runCount, cls->height, wordsPerRow, 0, state);
}

}  // namespace
}  // namespace tdc

using namespace tdc;

int32_t tdcMakeSectionBitmaps(QtzState *state, QtzAdtList *output, QtzTdcSection *section,
                              QtzTokenBitmap **shared, int32_t *sharedCount, int32_t freeAll,
                              int32_t extraShared, const int32_t *pageExtras) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (output == nullptr || section == nullptr || shared == nullptr || sharedCount == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  *shared = nullptr;
  *sharedCount = 0;
  const int32_t classes = output->count;
  const int32_t pages = section->pageCount;
  qtz::OwnedBlock<int32_t> homes(
      state, static_cast<int32_t *>(qtz::allocate(state, (classes + 1) * sizeof(int32_t))));
  qtz::OwnedBlock<int32_t> slots(
      state, static_cast<int32_t *>(qtz::allocate(state, (classes + 1) * sizeof(int32_t))));
  qtz::OwnedBlock<uint32_t> items(
      state, static_cast<uint32_t *>(qtz::allocate(state, (classes + 1) * sizeof(uint32_t))));
  Arrays arrays(state);
  arrays.pages = pages;
  arrays.locals = static_cast<QtzTokenBitmap **>(
      qtz::allocateZeroed(state, pages + 1, sizeof(QtzTokenBitmap *)));
  arrays.localSize = static_cast<int32_t *>(qtz::allocateZeroed(state, pages + 1, sizeof(int32_t)));
  if (!homes || !slots || !items || arrays.locals == nullptr || arrays.localSize == nullptr)
    return qtz::report(state, QTZ_ERR_NO_MEMORY);

  // Homes and slots.
  int32_t i = 0;
  for (QtzAdtListNode *n = output->head; n != nullptr; n = n->next, ++i) {
    int32_t &home = homes.get()[i];
    const int32_t status = homeOf(static_cast<QtzLlClass *>(n->data), section, &home);
    if (status != QTZ_OK) return status;
    if (home == kShared) slots.get()[i] = arrays.sharedSize++;
    if (home >= 0) slots.get()[i] = arrays.localSize[home]++;
  }

  // Room for the renumbered classes in the token block.
  QtzCCTokBlock *tokens = section->tokens;
  if (classes > tokens->capacity) {
    void *grown =
        qtz::resize(state, tokens->items, static_cast<size_t>(classes) * sizeof(uint32_t));
    if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    tokens->items = static_cast<uint32_t *>(grown);
    tokens->capacity = classes;
  }

  // Bitmaps.
  const int64_t sharedRoom = int64_t{arrays.sharedSize} + std::max(extraShared, 0);
  if (sharedRoom > 0) {
    arrays.shared = static_cast<QtzTokenBitmap *>(
        qtz::allocateZeroed(state, static_cast<size_t>(sharedRoom), sizeof(QtzTokenBitmap)));
    if (arrays.shared == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  for (int32_t p = 0; p < pages; ++p) {
    const int64_t room =
        int64_t{arrays.localSize[p]} + (pageExtras != nullptr ? std::max(pageExtras[p], 0) : 0);
    if (room == 0) continue;
    arrays.locals[p] = static_cast<QtzTokenBitmap *>(
        qtz::allocateZeroed(state, static_cast<size_t>(room), sizeof(QtzTokenBitmap)));
    if (arrays.locals[p] == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  i = 0;
  for (QtzAdtListNode *n = output->head; n != nullptr; n = n->next, ++i) {
    const int32_t home = homes.get()[i];
    if (home == kUnused) continue;
    QtzTokenBitmap *token =
        home == kShared ? &arrays.shared[slots.get()[i]] : &arrays.locals[home][slots.get()[i]];
    const int32_t status =
        drawClass(state, static_cast<QtzLlClass *>(n->data), home == kShared ? 0 : 1, token);
    if (status != QTZ_OK) return status;
  }

  // Nothing fails from here on.
  arrays.kept = true;
  for (int32_t p = 0; p < pages; ++p) {
    QtzTdcPageRecord &page = section->pages[p];
    for (int32_t k = 0; k < page.symbolCount; ++k) qtz::release(state, page.symbols[k].bits);
    qtz::release(state, page.symbols);
    page.symbols = arrays.locals[p];
    page.symbolCapacity = arrays.localSize[p];
    page.symbolCount = arrays.localSize[p];
  }
  int32_t kept = 0;
  i = 0;
  for (QtzAdtListNode *n = output->head; n != nullptr; ++i) {
    auto *cls = static_cast<QtzLlClass *>(n->data);
    const int32_t home = homes.get()[i];
    for (QtzAdtListNode *m = home != kUnused ? cls->members->head : nullptr; m != nullptr;
         m = m->next) {
      const QtzCCPosition pos = section->positions->items[positionOf(m)];
      if (pos.page == kNoPage) continue;
      QtzCCBox &box = section->pages[pos.page].boxes[pos.box];
      box.token = static_cast<uint32_t>(slots.get()[i]);
      box.flags = home == kShared ? 0 : 1;
    }
    const bool known = cls->number >= 0 && cls->number < tokens->count;
    if (home == kShared && known)
      tokens->items[cls->number] = static_cast<uint32_t>(slots.get()[i]);
    if (cls->members != nullptr) QtzAdt_liClear(cls->members);
    cls->memberCount = 0;
    if (freeAll != 0 || home >= 0) {
      if (cls->members != nullptr) QtzAdt_liFree(cls->members);
      QtzAdt_liRemAndNext(n, &n);
      QtzLlTokFreeClass(cls, state);
      continue;
    }
    items.get()[kept] = known ? tokens->items[cls->number] : 0;
    cls->number = kept++;
    n = n->next;
  }
  if (freeAll == 0) {
    std::copy(items.get(), items.get() + kept, tokens->items);
    tokens->count = kept;
    section->carriedTokens = kept;
  } else {
    section->carriedTokens = 0;
  }
  *shared = arrays.shared;
  *sharedCount = arrays.sharedSize;
  return QTZ_OK;
}
