// Colour components over strips: the finder's life cycle and the row loop. Each row is read
// from the caller's reader into runs (neighbouring runs of one colour, and neighbouring
// picture runs, joined into one; white runs dropped, since white is background and never
// handed out), connected to the runs of the previous row with 8-connectivity (a run touches
// every run of the previous row from the column before its start to the column after its
// end), and closed: a component without a run in the row just read is finished. At the end
// of a strip the finished components are washed and handed out; at the page's last row
// every component is finished.
//
// Matching runs join, and a run that matches runs of two components merges them (the larger
// area survives). Runs that touch without matching mark their components as touching, which
// the wash reads. The row loop works on whole runs; a row of n runs costs O(n) plus its
// merges.
#include <algorithm>
#include <cstring>

#include "cc_colour.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

extern "C" const uint32_t QtzCC_DefaultBgColor = 0x00FFFFFF;

namespace supercc {
namespace {

constexpr int32_t kRowGrowth = 16;
constexpr int32_t kMaxSide = 0xFFFF;
constexpr int32_t kPendingLimit = 80;

int32_t reserveRow(const QtzState *state, RowArray &array) {
  if (array.count < array.capacity) return QTZ_OK;
  const int32_t next = array.capacity + kRowGrowth;
  void *grown = qtz::resize(state, array.items, static_cast<size_t>(next) * sizeof(RowRun));
  if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  array.items = static_cast<RowRun *>(grown);
  array.capacity = next;
  return QTZ_OK;
}

void freeRowPixels(const QtzState *state, RowArray &array) {
  for (int32_t i = 0; i < array.count; ++i) {
    qtz::release(state, array.items[i].pixels);
    array.items[i].pixels = nullptr;
  }
}

// Appends length x 3 colour bytes to a picture run's own bytes.
int32_t addPixels(const QtzState *state, RowRun &run, const uint8_t *pixels, uint16_t length) {
  const size_t have = size_t{run.length} * 3;
  const size_t more = size_t{length} * 3;
  void *grown = qtz::resize(state, run.pixels, have + more);
  if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  run.pixels = static_cast<uint8_t *>(grown);
  std::memcpy(run.pixels + have, pixels, more);
  run.length = static_cast<uint16_t>(run.length + length);
  return QTZ_OK;
}

int32_t readRow(QtzCCFinder *finder, QtzCCRunReader reader, void *user) {
  QtzState *state = finder->state;
  RowArray &row = finder->current;
  freeRowPixels(state, row);
  row.count = 0;
  int64_t used = 0;
  for (;;) {
    QtzCCRunItem item{};
    int32_t end = 0;
    const int32_t status = reader(&item, &end, user, state);
    if (status != QTZ_OK) return status;
    if (end != 0) return QTZ_OK;
    if (item.length == 0) continue;
    const int64_t start = used;
    used += item.length;
    if (used > finder->width) return qtz::report(state, QTZ_ERR_PARAM);
    RowRun *last = row.count > 0 ? &row.items[row.count - 1] : nullptr;
    const bool follows = last != nullptr && last->start + last->length == start;
    if (item.picture != 0) {
      if (item.pixels == nullptr) return qtz::report(state, QTZ_ERR_NULL);
      if (follows && last->picture != 0) {
        const int32_t grown = addPixels(state, *last, item.pixels, item.length);
        if (grown != QTZ_OK) return grown;
        continue;
      }
    } else {
      item.colour &= 0x00FFFFFF;
      if (item.colour == QtzCC_DefaultBgColor) continue;
      if (follows && last->picture == 0 && last->colour == item.colour) {
        last->length = static_cast<uint16_t>(last->length + item.length);
        continue;
      }
    }
    const int32_t reserved = reserveRow(state, row);
    if (reserved != QTZ_OK) return reserved;
    RowRun &run = row.items[row.count];
    run = RowRun{item.picture != 0 ? 0 : item.colour,     nullptr, static_cast<uint16_t>(start), 0,
                 static_cast<uint8_t>(item.picture != 0), nullptr};
    ++row.count;
    if (item.picture != 0) {
      const int32_t copied = addPixels(state, run, item.pixels, item.length);
      if (copied != QTZ_OK) return copied;
    } else {
      run.length = item.length;
    }
  }
}

bool matches(const RowRun &a, const RowRun &b) {
  if (a.picture != b.picture) return false;
  return a.picture != 0 || a.colour == b.colour;
}

int32_t newComponent(QtzCCFinder *finder, const RowRun &run, Component **out) {
  QtzState *state = finder->state;
  qtz::OwnedBlock<Component> made(
      state, static_cast<Component *>(qtz::allocateZeroed(state, 1, sizeof(Component))));
  if (!made) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->colour = run.colour;
  made->flags = run.picture != 0 ? kPerPixel : 0;
  made->left = run.start;
  made->right = run.start;
  made->top = static_cast<uint16_t>(finder->row);
  made->lastRow = made->top;
  const int32_t status = takeSlot(finder, made.get());
  if (status != QTZ_OK) return status;
  *out = made.release();
  return QTZ_OK;
}

int32_t joinRun(QtzCCFinder *finder, RowRun &run, Component *component) {
  const ColourRun added{static_cast<uint16_t>(finder->row), run.start, run.length, 0, run.pixels};
  const int32_t status = appendRun(finder->state, component, added);
  if (status != QTZ_OK) return status;
  run.pixels = nullptr;
  run.component = component;
  component->area += run.length;
  component->left = std::min(component->left, run.start);
  component->right = std::max(component->right, static_cast<uint16_t>(run.start + run.length - 1));
  component->lastRow = static_cast<uint16_t>(finder->row);
  return QTZ_OK;
}

int32_t connectRow(QtzCCFinder *finder, QtzAdtList *tokens, QtzAdtList *pictures) {
  const RowArray &previous = finder->previous;
  RowArray &current = finder->current;
  int32_t first = 0;
  for (int32_t i = 0; i < current.count; ++i) {
    RowRun &run = current.items[i];
    const int32_t end = run.start + run.length;
    while (first < previous.count &&
           previous.items[first].start + previous.items[first].length < run.start)
      ++first;
    Component *joined = nullptr;
    for (int32_t k = first; k < previous.count && previous.items[k].start <= end; ++k) {
      const RowRun &above = previous.items[k];
      if (!matches(run, above) || above.component == joined) continue;
      if (joined == nullptr) {
        joined = above.component;
        continue;
      }
      Component *survivor = above.component->area > joined->area ? above.component : joined;
      Component *absorbed = survivor == joined ? above.component : joined;
      const int32_t status = mergeComponents(finder, survivor, absorbed);
      if (status != QTZ_OK) return status;
      joined = survivor;
    }
    if (joined == nullptr) {
      if (finder->pending > kPendingLimit) {
        const int32_t status = washAndHandOut(finder, tokens, pictures);
        if (status != QTZ_OK) return status;
      }
      const int32_t status = newComponent(finder, run, &joined);
      if (status != QTZ_OK) return status;
    }
    const int32_t status = joinRun(finder, run, joined);
    if (status != QTZ_OK) return status;
    for (int32_t k = first; k < previous.count && previous.items[k].start <= end; ++k) {
      const RowRun &above = previous.items[k];
      if (above.component != joined && !matches(run, above))
        markTouch(finder, joined, above.component);
    }
  }
  return QTZ_OK;
}

// Components of the previous row without a run in the current one are finished.
void finishAbsent(QtzCCFinder *finder) {
  const RowArray &previous = finder->previous;
  for (int32_t k = 0; k < previous.count; ++k) {
    Component *component = previous.items[k].component;
    if (component == nullptr || (component->flags & kFinished) != 0) continue;
    if (component->lastRow >= finder->row) continue;
    component->flags |= kFinished;
    ++finder->pending;
  }
}

void closeRow(QtzCCFinder *finder) {
  finishAbsent(finder);
  std::swap(finder->previous, finder->current);
  finder->current.count = 0;
  ++finder->row;
}

void trimRow(const QtzState *state, RowArray &array) {
  if (array.capacity <= kRowItems || array.count > kRowItems) return;
  void *shrunk = qtz::resize(state, array.items, kRowItems * sizeof(RowRun));
  if (shrunk == nullptr) return;  // keeping the larger array is harmless
  array.items = static_cast<RowRun *>(shrunk);
  array.capacity = kRowItems;
}

// Frees every component and run the finder holds and empties the touch table.
void dropAll(QtzCCFinder *finder) {
  QtzState *state = finder->state;
  for (int32_t slot = 0; slot < finder->slots; ++slot) {
    if (finder->slotOwner[slot] == nullptr) continue;
    freeComponent(state, finder->slotOwner[slot]);
    finder->slotOwner[slot] = nullptr;
  }
  std::memset(finder->cells, 0,
              static_cast<size_t>(finder->slots) * (finder->slots - 1) / 2 * sizeof(uint32_t));
  finder->liveSlots = 0;
  finder->firstFree = 0;
  freeRowPixels(state, finder->previous);
  freeRowPixels(state, finder->current);
  finder->previous.count = 0;
  finder->current.count = 0;
  finder->pending = 0;
  finder->row = 0;
}

int32_t runStrip(QtzCCFinder *finder, QtzCCRunReader reader, void *user, int32_t rows,
                 QtzAdtList *tokens, QtzAdtList *pictures) {
  for (int32_t r = 0; r < rows; ++r) {
    int32_t status = readRow(finder, reader, user);
    if (status == QTZ_OK) status = connectRow(finder, tokens, pictures);
    if (status != QTZ_OK) return status;
    closeRow(finder);
  }
  if (finder->row == finder->height) {  // the page ends: nothing stays live
    finishAbsent(finder);
    finder->previous.count = 0;
  }
  trimRow(finder->state, finder->current);
  if (finder->pending > 0) {
    const int32_t status = washAndHandOut(finder, tokens, pictures);
    if (status != QTZ_OK) return status;
  }
  compactTouchTable(finder);
  return QTZ_OK;
}

}  // namespace
}  // namespace supercc

using namespace supercc;

extern "C" {

int32_t QtzCC_init(QtzState *state, QtzCCFinder **finder) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (finder == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *finder = nullptr;
  auto *made = static_cast<QtzCCFinder *>(qtz::allocateZeroed(state, 1, sizeof(QtzCCFinder)));
  if (made == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->state = state;
  made->washThreshold = kNoWash;
  int32_t status = makeTouchTable(made);
  for (RowArray *array : {&made->previous, &made->current}) {
    if (status != QTZ_OK) break;
    array->items = static_cast<RowRun *>(qtz::allocate(state, kRowItems * sizeof(RowRun)));
    if (array->items == nullptr) status = qtz::report(state, QTZ_ERR_NO_MEMORY);
    array->capacity = kRowItems;
  }
  if (status != QTZ_OK) {
    QtzCC_cleanup(&made);
    return status;
  }
  *finder = made;
  return QTZ_OK;
}

void QtzCC_cleanup(QtzCCFinder **finder) {
  if (finder == nullptr || *finder == nullptr) return;
  QtzCCFinder *doomed = *finder;
  *finder = nullptr;
  QtzState *state = doomed->state;
  if (doomed->slotOwner != nullptr && doomed->cells != nullptr) dropAll(doomed);
  qtz::release(state, doomed->cells);
  qtz::release(state, doomed->slotOwner);
  qtz::release(state, doomed->previous.items);
  qtz::release(state, doomed->current.items);
  qtz::release(state, doomed);
}

int32_t QtzCC_initPage(QtzCCFinder *finder, int32_t width, int32_t height, int32_t washThreshold,
                       int32_t pageFlag) {
  if (finder == nullptr) return QTZ_ERR_NULL;
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide || washThreshold < 0)
    return qtz::report(finder->state, QTZ_ERR_PARAM);
  dropAll(finder);
  finder->width = width;
  finder->height = height;
  finder->washThreshold = std::min(washThreshold, kNoWash);
  finder->pageFlag = pageFlag;
  return QTZ_OK;
}

int32_t QtzCC_doStrip(QtzCCFinder *finder, QtzCCRunReader reader, void *user, int32_t rows,
                      QtzAdtList *tokens, QtzAdtList *pictures) {
  if (finder == nullptr) return QTZ_ERR_NULL;
  if (finder->state == nullptr) return QTZ_ERR_PARAM;
  if (reader == nullptr || tokens == nullptr || pictures == nullptr)
    return qtz::report(finder->state, QTZ_ERR_NULL);
  if (rows < 1) return QTZ_OK;
  if (int64_t{finder->row} + rows > finder->height)
    return qtz::report(finder->state, QTZ_ERR_PARAM);
  const int32_t status = runStrip(finder, reader, user, rows, tokens, pictures);
  if (status != QTZ_OK) finder->row = finder->height;  // nothing more until the next page
  return status;
}

}  // extern "C"
