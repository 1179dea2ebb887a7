// The colour component finder's records and the steps its units share: the touch table
// (which live components touch, and how close their colours are), merging, the wash and the
// hand-out of finished components.
//
// A live component keeps its runs in one array sorted by row, then by start column; a merge
// interleaves the two arrays. Picture runs own their colour bytes (length x 3) until the
// component is handed out; a washed run has no bytes of its own and takes its solid colour.
//
// The touch table has one slot per live component; slot i holds a cell for every slot j < i
// (a lower triangle stored row after row, so growing the table only appends rows). A cell
// holds the contact value (squared colour distance, or 0xFFFF) in its low 16 bits and the
// touch and wash bits above.
#ifndef CC_COLOUR_H
#define CC_COLOUR_H

#include <cstdint>

#include "qtz_cc.h"

namespace supercc {

struct ColourRun {
  uint16_t row;
  uint16_t start;
  uint16_t length;
  uint32_t solid;   // picture run without bytes of its own: its colour 0x00RRGGBB
  uint8_t *pixels;  // picture run: length x 3 bytes, owned; null otherwise
};

enum ComponentFlags : uint8_t {
  kPerPixel = QTZ_CC_PER_PIXEL,
  kWashed = QTZ_CC_WASHED,
  kPicture = kPerPixel | kWashed,
  kFinished = 8  // no run in the last closed row: pending hand-out
};

struct Component {
  int32_t slot;     // in the touch table
  int32_t touches;  // components it touches
  int32_t washes;   // of those, contacts that count for the wash
  uint16_t left, top, right, lastRow;
  ColourRun *runs;
  int32_t runCount;
  int32_t runCapacity;
  uint32_t colour;  // 0x00RRGGBB; 0 for picture components
  int64_t area;
  uint8_t flags;
};

// A run of the current or previous row.
struct RowRun {
  uint32_t colour;
  uint8_t *pixels;  // picture run: owned until it moves to its component
  uint16_t start;
  uint16_t length;
  uint8_t picture;
  Component *component;
};

struct RowArray {
  RowRun *items;
  int32_t count;
  int32_t capacity;
};

constexpr uint32_t kTouchBit = 1u << 16;
constexpr uint32_t kWashBit = 1u << 17;
constexpr uint32_t kContactMask = 0xFFFF;
constexpr int32_t kNoWash = 0xFFFF;
constexpr int32_t kSlotStep = 32;
constexpr int32_t kFirstSlots = 64;
// The most components the touch table holds at once (its cells grow with the square of the
// slots: 4096 slots take 32 MB). A row of more live components than this, which only a
// crafted page gives, fails with QTZ_ERR_NO_MEMORY instead of asking for gigabytes.
constexpr int32_t kMaxSlots = 4096;
constexpr int32_t kRowItems = 32;

}  // namespace supercc

struct QtzCCFinder {
  QtzState *state;
  int32_t width;
  int32_t height;
  uint32_t *cells;                 // the touch table's lower triangle
  supercc::Component **slotOwner;  // per slot: its component or null
  int32_t slots;                   // slots the table holds (a multiple of 32)
  int32_t liveSlots;               // slots in use
  int32_t firstFree;               // no free slot below this one
  supercc::RowArray previous;
  supercc::RowArray current;
  int32_t row;      // the row read next
  int32_t pending;  // finished components not yet handed out
  int32_t washThreshold;
  int32_t pageFlag;
};

namespace supercc {

// The cell of the pair (a, b), a != b.
inline uint32_t &cell(QtzCCFinder *finder, int32_t a, int32_t b) {
  const int64_t high = a > b ? a : b;
  const int64_t low = a > b ? b : a;
  return finder->cells[high * (high - 1) / 2 + low];
}

// Touch table: a new table of kFirstSlots slots; a free slot for component (growing the
// table by kSlotStep slots when full); giving a slot back (its cells cleared, the counts of
// its neighbours brought down); compaction after a strip.
int32_t makeTouchTable(QtzCCFinder *finder);
int32_t takeSlot(QtzCCFinder *finder, Component *component);
void releaseSlot(QtzCCFinder *finder, Component *component);
void compactTouchTable(QtzCCFinder *finder);
// Records that a and b touch; the first contact sets the contact value and, below the wash
// threshold, the wash bit.
void markTouch(QtzCCFinder *finder, Component *a, Component *b);

// survivor takes absorbed's runs, area, box and touch cells; absorbed is freed. Row runs
// that pointed at absorbed point at survivor. 10003 for mixed kinds or overlapping runs.
int32_t mergeComponents(QtzCCFinder *finder, Component *survivor, Component *absorbed);
// Washes the pending components (unless the threshold is kNoWash) and hands them out.
int32_t washAndHandOut(QtzCCFinder *finder, QtzAdtList *tokens, QtzAdtList *pictures);
// Hands every pending component out, in slot order, and frees it.
int32_t handOutPending(QtzCCFinder *finder, QtzAdtList *tokens, QtzAdtList *pictures);

// Appends a run to the component's array; 1 when memory runs out.
int32_t appendRun(const QtzState *state, Component *component, const ColourRun &run);
// Frees a live component with its runs (the slot is the caller's business).
void freeComponent(QtzState *state, Component *component);

}  // namespace supercc

#endif
