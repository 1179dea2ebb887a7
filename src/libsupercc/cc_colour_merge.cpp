// The colour finder's touch table, merging of two components and the wash.
//
// Touch table: slots are taken lowest first and the table grows when full by 32 slots or by
// half its size, whichever is more (up to kMaxSlots: more live components at once fail as out
// of memory); after
// a strip, a table of 65 or more slots with at least 32 free moves its highest live slots
// down into free ones and shrinks to the smallest multiple of 32 (at least 64) that holds
// them. Cells count each touching pair once: a merge ORs the two cells of every third
// component (keeping the larger contact value) and brings the counts down where both
// touched it.
//
// Merging interleaves the two sorted run arrays in place from the back (10003 when runs of
// one row overlap, or when a one-colour component meets a picture one). The wash visits the
// pending one-colour components with wash contacts in slot order; each wash contact with a
// finished component is used up, and when its contact value is below the threshold both are
// turned into picture components and merged, the washed one surviving.
#include <algorithm>
#include <cstring>

#include "cc_colour.h"
#include "qtz_internal.h"

namespace supercc {
namespace {

size_t cellCount(int64_t slots) {
  return static_cast<size_t>(slots * (slots - 1) / 2);
}

int32_t growTable(QtzCCFinder *finder, int32_t slots) {
  QtzState *state = finder->state;
  if (slots > kMaxSlots) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const size_t oldCells = finder->slots > 0 ? cellCount(finder->slots) : 0;
  void *cells = qtz::resize(state, finder->cells, cellCount(slots) * sizeof(uint32_t));
  if (cells == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  finder->cells = static_cast<uint32_t *>(cells);
  std::memset(finder->cells + oldCells, 0, (cellCount(slots) - oldCells) * sizeof(uint32_t));
  void *owners = qtz::resize(state, finder->slotOwner, static_cast<size_t>(slots) * sizeof(void *));
  if (owners == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  finder->slotOwner = static_cast<Component **>(owners);
  std::fill(finder->slotOwner + finder->slots, finder->slotOwner + slots, nullptr);
  finder->slots = slots;
  return QTZ_OK;
}

uint32_t contactOf(const Component *a, const Component *b) {
  if ((a->flags & kPicture) != 0 || (b->flags & kPicture) != 0) return kContactMask;
  int64_t sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int64_t d = int64_t{(a->colour >> shift) & 0xFF} - ((b->colour >> shift) & 0xFF);
    sum += d * d;
  }
  return static_cast<uint32_t>(std::min<int64_t>(sum, kContactMask));
}

// survivor's runs and absorbed's, interleaved by row and start column.
int32_t mergeRuns(const QtzState *state, Component *survivor, Component *absorbed) {
  const int32_t total = survivor->runCount + absorbed->runCount;
  if (total > survivor->runCapacity) {
    void *grown =
        qtz::resize(state, survivor->runs, static_cast<size_t>(total) * sizeof(ColourRun));
    if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    survivor->runs = static_cast<ColourRun *>(grown);
    survivor->runCapacity = total;
  }
  ColourRun *runs = survivor->runs;
  const ColourRun *other = absorbed->runs;
  int32_t a = survivor->runCount - 1;
  int32_t b = absorbed->runCount - 1;
  // A failure here would leave both halves mixed: check the rows first.
  for (int32_t i = 0, j = 0; i <= a && j <= b;) {
    const ColourRun &x = runs[i];
    const ColourRun &y = other[j];
    if (x.row != y.row) {
      (x.row < y.row ? i : j)++;
      continue;
    }
    if (x.start < y.start + y.length && y.start < x.start + x.length) return QTZ_ERR_ASSERT;
    (x.start < y.start ? i : j)++;
  }
  for (int32_t out = total - 1; b >= 0; --out) {
    const bool takeOther = a < 0 || other[b].row > runs[a].row ||
                           (other[b].row == runs[a].row && other[b].start > runs[a].start);
    runs[out] = takeOther ? other[b--] : runs[a--];
  }
  survivor->runCount = total;
  qtz::release(state, absorbed->runs);
  absorbed->runs = nullptr;
  absorbed->runCount = 0;
  return QTZ_OK;
}

void joinCells(QtzCCFinder *finder, Component *survivor, Component *absorbed) {
  const int32_t s = survivor->slot;
  const int32_t d = absorbed->slot;
  uint32_t &between = cell(finder, s, d);
  if ((between & kTouchBit) != 0) --survivor->touches;
  if ((between & kWashBit) != 0) --survivor->washes;
  between = 0;
  for (int32_t k = 0; k < finder->slots; ++k) {
    Component *third = finder->slotOwner[k];
    if (third == nullptr || k == s || k == d) continue;
    uint32_t &kept = cell(finder, s, k);
    uint32_t &gone = cell(finder, d, k);
    if ((gone & kTouchBit) == 0) continue;
    if ((kept & kTouchBit) != 0) {
      --third->touches;
      if ((kept & gone & kWashBit) != 0) --third->washes;
    } else {
      ++survivor->touches;
    }
    if ((gone & kWashBit) != 0 && (kept & kWashBit) == 0) ++survivor->washes;
    const uint32_t contact = std::max(kept & kContactMask, gone & kContactMask);
    kept = ((kept | gone) & ~kContactMask) | contact;
    gone = 0;
  }
}

void makePicture(Component *component) {
  if ((component->flags & kPicture) != 0) return;
  for (int32_t i = 0; i < component->runCount; ++i) component->runs[i].solid = component->colour;
  component->flags |= kWashed;
  component->colour = 0;
}

// The next finished partner of component with the wash bit, or -1.
int32_t nextWashPartner(QtzCCFinder *finder, const Component *component) {
  for (int32_t k = 0; k < finder->slots; ++k) {
    const Component *other = finder->slotOwner[k];
    if (other == nullptr || other == component || (other->flags & kFinished) == 0) continue;
    if ((cell(finder, component->slot, k) & kWashBit) != 0) return k;
  }
  return -1;
}

int32_t wash(QtzCCFinder *finder) {
  for (int32_t slot = 0; slot < finder->slots; ++slot) {
    Component *component = finder->slotOwner[slot];
    if (component == nullptr || (component->flags & kFinished) == 0) continue;
    if ((component->flags & kPicture) != 0 || component->washes == 0) continue;
    while (component->washes > 0) {
      const int32_t k = nextWashPartner(finder, component);
      if (k < 0) break;
      Component *other = finder->slotOwner[k];
      uint32_t &contact = cell(finder, slot, k);
      contact &= ~kWashBit;
      --component->washes;
      --other->washes;
      if (static_cast<int32_t>(contact & kContactMask) >= finder->washThreshold) continue;
      makePicture(component);
      makePicture(other);
      const int32_t status = mergeComponents(finder, component, other);
      if (status != QTZ_OK) return status;
    }
  }
  return QTZ_OK;
}

void moveSlot(QtzCCFinder *finder, int32_t from, int32_t to) {
  for (int32_t k = 0; k < finder->slots; ++k) {
    if (k == from || k == to || finder->slotOwner[k] == nullptr) continue;
    cell(finder, to, k) = cell(finder, from, k);
    cell(finder, from, k) = 0;
  }
  Component *component = finder->slotOwner[from];
  finder->slotOwner[from] = nullptr;
  finder->slotOwner[to] = component;
  component->slot = to;
}

}  // namespace

int32_t makeTouchTable(QtzCCFinder *finder) {
  return growTable(finder, kFirstSlots);
}

int32_t takeSlot(QtzCCFinder *finder, Component *component) {
  int32_t slot = finder->firstFree;
  while (slot < finder->slots && finder->slotOwner[slot] != nullptr) ++slot;
  if (slot == finder->slots) {
    // By 32 slots, or by half the table once it is large, so that growing to n slots copies
    // the cells (n squared) a bounded number of times rather than n / 32 times.
    const int32_t step = std::max(kSlotStep, finder->slots / 2 / kSlotStep * kSlotStep);
    const int32_t grown = finder->slots < kMaxSlots ? std::min(finder->slots + step, kMaxSlots)
                                                    : finder->slots + kSlotStep;
    const int32_t status = growTable(finder, grown);
    if (status != QTZ_OK) return status;
  }
  finder->slotOwner[slot] = component;
  component->slot = slot;
  finder->firstFree = slot + 1;
  ++finder->liveSlots;
  return QTZ_OK;
}

void releaseSlot(QtzCCFinder *finder, Component *component) {
  const int32_t slot = component->slot;
  for (int32_t k = 0; k < finder->slots; ++k) {
    Component *other = finder->slotOwner[k];
    if (other == nullptr || k == slot) continue;
    uint32_t &c = cell(finder, slot, k);
    if ((c & kTouchBit) != 0) --other->touches;
    if ((c & kWashBit) != 0) --other->washes;
    c = 0;
  }
  finder->slotOwner[slot] = nullptr;
  finder->firstFree = std::min(finder->firstFree, slot);
  --finder->liveSlots;
}

void markTouch(QtzCCFinder *finder, Component *a, Component *b) {
  uint32_t &c = cell(finder, a->slot, b->slot);
  if ((c & kTouchBit) != 0) return;
  const uint32_t contact = contactOf(a, b);
  c = kTouchBit | contact;
  ++a->touches;
  ++b->touches;
  if (static_cast<int32_t>(contact) < finder->washThreshold) {
    c |= kWashBit;
    ++a->washes;
    ++b->washes;
  }
}

int32_t mergeComponents(QtzCCFinder *finder, Component *survivor, Component *absorbed) {
  if (((survivor->flags & kPicture) == 0) != ((absorbed->flags & kPicture) == 0))
    return QTZ_ERR_ASSERT;
  const int32_t status = mergeRuns(finder->state, survivor, absorbed);
  if (status != QTZ_OK) return status;
  survivor->area += absorbed->area;
  survivor->left = std::min(survivor->left, absorbed->left);
  survivor->top = std::min(survivor->top, absorbed->top);
  survivor->right = std::max(survivor->right, absorbed->right);
  survivor->lastRow = std::max(survivor->lastRow, absorbed->lastRow);
  survivor->flags |= absorbed->flags & kPicture;
  joinCells(finder, survivor, absorbed);
  for (RowArray *row : {&finder->previous, &finder->current})
    for (int32_t i = 0; i < row->count; ++i)
      if (row->items[i].component == absorbed) row->items[i].component = survivor;
  if ((absorbed->flags & kFinished) != 0) --finder->pending;
  releaseSlot(finder, absorbed);
  freeComponent(finder->state, absorbed);
  return QTZ_OK;
}

int32_t washAndHandOut(QtzCCFinder *finder, QtzAdtList *tokens, QtzAdtList *pictures) {
  if (finder->washThreshold < kNoWash) {
    const int32_t status = wash(finder);
    if (status != QTZ_OK) return status;
  }
  return handOutPending(finder, tokens, pictures);
}

void compactTouchTable(QtzCCFinder *finder) {
  if (finder->slots <= kFirstSlots || finder->slots - finder->liveSlots < kSlotStep) return;
  const int32_t size =
      std::max(kFirstSlots, (finder->liveSlots + kSlotStep - 1) / kSlotStep * kSlotStep);
  finder->firstFree = 0;
  int32_t free = 0;
  for (int32_t from = finder->slots - 1; from >= size; --from) {
    if (finder->slotOwner[from] == nullptr) continue;
    while (finder->slotOwner[free] != nullptr) ++free;
    moveSlot(finder, from, free);
  }
  // A failed shrink keeps the larger blocks: their upper rows are empty.
  void *cells = qtz::resize(finder->state, finder->cells, cellCount(size) * sizeof(uint32_t));
  if (cells == nullptr) return;
  finder->cells = static_cast<uint32_t *>(cells);
  finder->slots = size;
  void *owners =
      qtz::resize(finder->state, finder->slotOwner, static_cast<size_t>(size) * sizeof(void *));
  if (owners != nullptr) finder->slotOwner = static_cast<Component **>(owners);
}

}  // namespace supercc
