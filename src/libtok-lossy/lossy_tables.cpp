// The three dilation tables of the classifier, generated at compile time into read-only data:
// 8192 entries, one per 13-bit neighbourhood index (the diamond |dx| + |dy| <= 2 around a
// pixel: bit 0 (x, y-2); 1, 2, 3 the row above from x-1 to x+1; 4 to 8 the pixel's row from
// x-2 to x+2; 9, 10, 11 the row below from x-1 to x+1; 12 (x, y+2)). Bit 0 of an entry is the
// pixel after the pass, bit 1 its border flag (black with a white pixel among its 8 neighbours).
//
// Gap-keeping cross: a white pixel with black direct neighbours becomes black unless that
// would join black pixels lying on opposite sides of it (each case below returns the pixel's
// new value: black unless its keep-white condition holds). Plus: OR of the
// pixel and its four direct neighbours. Square: OR of the 3 x 3 block.
//
// tableWord gives the same rules for 32 pixels at once, from words of their neighbours.
#include <array>
#include <cstdint>

#include "lossy_records.h"

namespace tok {
namespace {

enum Bit {
  kUp2 = 0,
  kUpLeft = 1,
  kUp = 2,
  kUpRight = 3,
  kLeft2 = 4,
  kLeft = 5,
  kCentre = 6,
  kRight = 7,
  kRight2 = 8,
  kDownLeft = 9,
  kDown = 10,
  kDownRight = 11,
  kDown2 = 12
};

constexpr bool on(uint32_t index, Bit bit) {
  return ((index >> bit) & 1U) != 0;
}

constexpr bool borderFlag(uint32_t i) {
  if (!on(i, kCentre)) return false;
  return !(on(i, kUpLeft) && on(i, kUp) && on(i, kUpRight) && on(i, kLeft) && on(i, kRight) &&
           on(i, kDownLeft) && on(i, kDown) && on(i, kDownRight));
}

constexpr bool gapCross(uint32_t i) {
  if (on(i, kCentre)) return true;
  const bool u = on(i, kUp), d = on(i, kDown), l = on(i, kLeft), r = on(i, kRight);
  const bool ul = on(i, kUpLeft), ur = on(i, kUpRight), dl = on(i, kDownLeft),
             dr = on(i, kDownRight);
  const bool u2 = on(i, kUp2), d2 = on(i, kDown2), l2 = on(i, kLeft2), r2 = on(i, kRight2);
  const int n = u + d + l + r;
  if (n == 0 || n == 4) return false;
  if (n == 1) {
    if (u) return !(dl || dr || d2);
    if (d) return !(ul || ur || u2);
    if (l) return !(ur || dr || r2);
    return !(ul || dl || l2);
  }
  if (n == 2) {
    if ((u && d) || (l && r)) return false;
    if (u && l) return !(dr || (ur && r2 && dl && d2));
    if (u && r) return !(dl || (ul && l2 && dr && d2));
    if (d && l) return !(ur || (ul && u2 && r2 && dr));
    return !(ul || (ur && u2 && l2 && dl));
  }
  if (!d) return !(dl && dr && d2);  // up, left and right
  if (!r) return !(ur && r2 && dr);  // up, left and down
  if (!l) return !(ul && l2 && dl);  // up, right and down
  return !(ul && ur && u2);          // left, right and down
}

constexpr bool plus(uint32_t i) {
  return on(i, kUp) || on(i, kLeft) || on(i, kCentre) || on(i, kRight) || on(i, kDown);
}

constexpr bool square(uint32_t i) {
  return plus(i) || on(i, kUpLeft) || on(i, kUpRight) || on(i, kDownLeft) || on(i, kDownRight);
}

template <bool (*Rule)(uint32_t)>
constexpr std::array<uint8_t, 8192> makeTable() {
  std::array<uint8_t, 8192> t{};
  for (uint32_t i = 0; i < 8192; ++i) {
    t[i] = static_cast<uint8_t>((Rule(i) ? 1 : 0) | (borderFlag(i) ? 2 : 0));
  }
  return t;
}

constexpr std::array<uint8_t, 8192> kGapCross = makeTable<gapCross>();
constexpr std::array<uint8_t, 8192> kPlus = makeTable<plus>();
constexpr std::array<uint8_t, 8192> kSquare = makeTable<square>();

}  // namespace

const uint8_t *gapCrossTable() {
  return kGapCross.data();
}
const uint8_t *plusTable() {
  return kPlus.data();
}
const uint8_t *squareTable() {
  return kSquare.data();
}

namespace {

// gapCross over 32 pixels: each case of the rule is a mask of the pixels it holds for.
uint32_t gapCrossWord(const Neighbourhood &n) {
  const uint32_t u = n.up, d = n.down, l = n.left, r = n.right;
  const uint32_t ul = n.upLeft, ur = n.upRight, dl = n.downLeft, dr = n.downRight;
  const uint32_t u2 = n.up2, d2 = n.down2, l2 = n.left2, r2 = n.right2;
  const uint32_t one = (u & ~d & ~l & ~r & ~(dl | dr | d2)) | (d & ~u & ~l & ~r & ~(ul | ur | u2)) |
                       (l & ~u & ~d & ~r & ~(ur | dr | r2)) | (r & ~u & ~d & ~l & ~(ul | dl | l2));
  const uint32_t two = (u & l & ~d & ~r & ~(dr | (ur & r2 & dl & d2))) |
                       (u & r & ~d & ~l & ~(dl | (ul & l2 & dr & d2))) |
                       (d & l & ~u & ~r & ~(ur | (ul & u2 & r2 & dr))) |
                       (d & r & ~u & ~l & ~(ul | (ur & u2 & l2 & dl)));
  const uint32_t three = (u & l & r & ~d & ~(dl & dr & d2)) | (u & l & d & ~r & ~(ur & r2 & dr)) |
                         (u & r & d & ~l & ~(ul & l2 & dl)) | (l & r & d & ~u & ~(ul & ur & u2));
  return n.centre | one | two | three;
}

}  // namespace

bool tableWord(const uint8_t *table, const Neighbourhood &n, uint32_t *word) {
  const uint32_t plusWord = n.centre | n.up | n.down | n.left | n.right;
  if (table == kGapCross.data()) {
    *word = gapCrossWord(n);
  } else if (table == kPlus.data()) {
    *word = plusWord;
  } else if (table == kSquare.data()) {
    *word = plusWord | n.upLeft | n.upRight | n.downLeft | n.downRight;
  } else {
    return false;
  }
  return true;
}

}  // namespace tok
