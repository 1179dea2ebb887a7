// Records of the lossy token classifier and the operations its units share: prepared tokens
// (bitmap with blank columns on the left, complemented dilation), classes with their count
// accumulators, the class table indexed by representative size, and the bitmap tests.
//
// Coordinates: every token bitmap keeps `blank` (the dilation radius) white columns on its
// left. A member's offset is the position of its bitmap's top-left corner relative to its
// class representative's bitmap; a class's frame has its origin at the representative's.
#ifndef LOSSY_RECORDS_H
#define LOSSY_RECORDS_H

#include <cstdint>

#include "qtz_internal.h"
#include "tok_lossy_internal.h"

namespace tok {

inline constexpr int32_t kAssert = QTZ_ERR_ASSERT;
inline constexpr int32_t kNoMemory = QTZ_ERR_NO_MEMORY;
inline constexpr int32_t kMaxShiftTrials = 24;
inline constexpr int32_t kMaxCounted = 0x7FFF;

// Bitmap of a token or template: width includes the blank columns.
struct Bitmap {
  int32_t width;
  int32_t height;
  int32_t wordsPerRow;
  uint32_t *rows;
  int32_t black;
  int32_t border;
};

// Complemented dilation: 1 wherever the dilation does not cover, bits past the width included.
struct Dilation {
  int32_t width;
  int32_t height;
  int32_t wordsPerRow;
  uint32_t *rows;
  int32_t black;
};

struct Token {
  int32_t width;  // without blank columns
  int32_t height;
  Bitmap *bitmap;  // none for members of frozen classes and reinserted members
  Dilation *dilation;
  int32_t x;  // offset in the class frame
  int32_t y;
  int32_t black;
  uintptr_t user;
};

// Union of the member boxes in the class frame, and the count image of the members.
struct Accumulator {
  QtzImage *image;  // type 1 (8-bit) or 8 (16-bit), spanning the bounds plus 2 pixels
  int32_t minX, minY, maxX, maxY;
  int32_t count;
  uint8_t is8Bit;
};

enum ClassFlags : uint32_t {
  kFrozen = 0x01,
  kFull = 0x02,
  kOwnsTemplate = 0x04,
  kTemplateCurrent = 0x08,
  kChecked = 0x10,
  kCarried = 0x20,
  kUnchanged = 0x40,
  kSeen = 0x80
};

struct Class {
  QtzAdtList *members;  // Token records
  Token *rep;
  Accumulator *acc;
  uint32_t flags;
  uintptr_t classWord;  // the caller's word (pointer-sized: it may hold a record)
};

}  // namespace tok

// Cell (x = width, y = height) holds the list of classes whose representative has that size.
struct TokClassTable {
  QtzAdtList **cells;  // width x height cells, row by row; null until the first class
  int32_t width;
  int32_t height;
};

struct TokTokenizer {
  TokOptions opt;
  int32_t passes;        // dilation passes
  const uint8_t *table;  // dilation table
  TokClassTable classes;
  int32_t classCount;
  int32_t (*offsets)[2];  // size offset table: (dw, dh) pairs
  int32_t offsetCount;
  int32_t *blackScratch;  // member black counts for the median
  int32_t blackCapacity;
  int32_t *histScratch;  // histogram of count values
  int32_t histCapacity;
  // Counters for measurements: bitmap tests run.
  int64_t matchCalls;
};

namespace tok {

// Set bits of a word: the POPCNT instruction where the build targets it, else a few shifts and
// adds inline (the portable std::popcount calls the compiler's run-time library on x86-64).
inline int32_t bitCount(uint32_t w) {
#if defined(__POPCNT__)
  return __builtin_popcount(w);
#else
  w = w - ((w >> 1) & 0x55555555U);
  w = (w & 0x33333333U) + ((w >> 2) & 0x33333333U);
  return static_cast<int32_t>((((w + (w >> 4)) & 0x0F0F0F0FU) * 0x01010101U) >> 24);
#endif
}

// ---- Tables (lossy_tables.cpp) ----
const uint8_t *gapCrossTable();
const uint8_t *plusTable();
const uint8_t *squareTable();
// The diamond around 32 pixels as words, pixel p at bit 31 - p of each: its pixel (centre),
// the direct neighbours, the diagonal ones and the pixels two away in the four directions.
struct Neighbourhood {
  uint32_t centre, up, down, left, right, upLeft, upRight, downLeft, downRight, up2, down2, left2,
      right2;
};
// The pass of one of the three tables above over 32 pixels at once (bit 0 of the entries);
// false, leaving *word alone, for any other table.
bool tableWord(const uint8_t *table, const Neighbourhood &n, uint32_t *word);

// ---- Tokens (lossy_dilate.cpp) ----
// Makes a token from the caller's record: rows taken over or copied, shifted right by the
// blank columns, black count, dilation and border count. Owns input rows as documented.
int32_t makeToken(TokTokenizer *tok, const TokInputToken &in, bool keepInput, Token **out);
// Makes the complemented dilation of a bitmap (and its border count).
int32_t dilateBitmap(TokTokenizer *tok, Bitmap *bitmap, Dilation **out);
void freeBitmap(TokTokenizer *tok, Bitmap *bitmap);
void freeDilation(TokTokenizer *tok, Dilation *dilation);
void dropBitmap(TokTokenizer *tok, Token *token);  // frees bitmap and dilation
void freeToken(TokTokenizer *tok, Token *token);
int32_t reportStatus(TokTokenizer *tok, int32_t status);  // reports 1 (others pass)

// ---- Bitmap tests (lossy_match.cpp) ----
int32_t errorBudget(int32_t border, const TokTokenizer *tok);
// B's black pixels outside A's dilation with B at (dx, dy) from A; above limit = too many.
int32_t countOutside(const Dilation &aDil, const Bitmap &b, int32_t dx, int32_t dy, int32_t limit,
                     const TokTokenizer *tok);
// Pixels in which A and B (at (dx, dy) from A) differ; above limit = too many.
int32_t countDifferences(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy, int32_t limit);
// Largest number of set pixels in a 3 x 3 window centred on rows 1 to height - 2.
int32_t densestErrorWindow(const uint32_t *rows, int32_t wordsPerRow, int32_t width,
                           int32_t height);
// Whether A and B, aligned at the trial shift around (dx, dy) where they differ least, differ
// only by edge noise (see lossy_match.cpp): in under a tenth of the smaller black count (or, for
// shapes of 60 pixels or more, up to 22 % of the smaller border count less two), without two
// adjacent differing pixels away from the outlines.
bool shapesAgree(const Bitmap &a, const Bitmap &b, int32_t dx, int32_t dy, const TokTokenizer *tok);
bool hausMatch(const Token &a, const Token &b, int32_t *dx, int32_t *dy, TokTokenizer *tok);
void hausBestShift(const Token &a, const Token &b, int32_t *dx, int32_t *dy,
                   const TokTokenizer *tok);
extern const int32_t kTrialShifts[kMaxShiftTrials + 1][2];

// ---- Classes (lossy_class.cpp) ----
int32_t buildOffsetTable(TokTokenizer *tok);
int32_t placeClass(TokTokenizer *tok, Class *cls);  // appends to the cell of its rep's size
int32_t newClass(TokTokenizer *tok, Token *token, Class **out);
int32_t addMember(TokTokenizer *tok, Class *cls, Token *token, int32_t x, int32_t y);
int32_t ensureAccumulator(TokTokenizer *tok, Class *cls);
int32_t ensureCountImage(TokTokenizer *tok, Class *cls);  // from the members' bitmaps
// Median black count of the members (for an even count, the mean of the values at positions
// n/2 and n/2 + 1 of the ascending order, the second clamped to n - 1).
int32_t medianBlack(TokTokenizer *tok, const Class *cls, int32_t *median);
// dst takes src's counts with src's frame placed at (ox, oy) in dst's; a side without count
// image is counted from its members' bitmaps.
int32_t mergeAccumulators(TokTokenizer *tok, Accumulator *dst, const QtzAdtList *dstMembers,
                          const Accumulator *src, const QtzAdtList *srcMembers, int32_t ox,
                          int32_t oy);
void shiftMembers(QtzAdtList *members, int32_t dx, int32_t dy);
int32_t freezeClass(TokTokenizer *tok, Class *cls, bool force);
int32_t updateRepresentative(TokTokenizer *tok, Class *cls);
int32_t verifyMembers(TokTokenizer *tok, Class *cls);
int32_t realignMembers(TokTokenizer *tok, Class *cls);
void freeClass(TokTokenizer *tok, Class *cls);
void freeAccumulator(TokTokenizer *tok, Accumulator *acc);
inline QtzAdtList *&cellAt(TokClassTable &table, int32_t x, int32_t y) {
  return table.cells[int64_t{y} * table.width + x];
}

// ---- Merging (lossy_merge.cpp) ----
int32_t refine(TokTokenizer *tok);
int32_t mergePass(TokTokenizer *tok, int mode);
int32_t relocateClasses(TokTokenizer *tok, int mode);

// Calls f(cls) for every class, cells by rows then columns, in list order; classes added to
// later cells or to the end of the current list during the walk are visited too. Stops at the
// first non-zero status.
template <typename F>
int32_t forEachClass(TokTokenizer *tok, F &&f) {
  for (int32_t y = 0; y < tok->classes.height; ++y) {
    for (int32_t x = 0; x < tok->classes.width; ++x) {
      QtzAdtList *list = cellAt(tok->classes, x, y);
      if (list == nullptr) continue;
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
        const int32_t status = f(static_cast<Class *>(n->data));
        if (status != 0) return status;
      }
    }
  }
  return 0;
}

}  // namespace tok

#endif
