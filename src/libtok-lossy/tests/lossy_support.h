// Test support of the lossy classifier tests: the default options, plain bitmaps with a
// per-pixel model, glyph bitmaps drawn from text pictures, and tokens whose rows come from a
// state's hooks (the classifier takes them over).
#ifndef LOSSY_SUPPORT_H
#define LOSSY_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lossy_defaults.h"
#include "qtz_internal.h"
#include "tok_lossy_internal.h"

namespace lossytest {

using tok::defaultOptions;

struct Picture {
  int32_t width = 0, height = 0, wordsPerRow = 0;
  std::vector<uint32_t> words;

  Picture() = default;
  Picture(int32_t w, int32_t h, int32_t extraWords = 0)
      : width(w),
        height(h),
        wordsPerRow((w + 31) / 32 + extraWords),
        words(static_cast<size_t>(wordsPerRow) * h, 0) {}
  // From rows of '#' (black) and '.' (white), all of one length.
  explicit Picture(const std::vector<std::string> &rows)
      : Picture(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size())) {
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) set(x, y, rows[y][x] == '#');
    }
  }
  uint32_t *row(int32_t y) { return words.data() + static_cast<size_t>(y) * wordsPerRow; }
  const uint32_t *row(int32_t y) const {
    return words.data() + static_cast<size_t>(y) * wordsPerRow;
  }
  // Pixels outside read as white.
  bool get(int64_t x, int64_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    return (row(static_cast<int32_t>(y))[x >> 5] >> (31 - (x & 31))) & 1;
  }
  void set(int32_t x, int32_t y, bool v) {
    uint32_t &w = row(y)[x >> 5];
    const uint32_t bit = uint32_t{0x80000000} >> (x & 31);
    w = v ? w | bit : w & ~bit;
  }
  int32_t black() const {
    int32_t n = 0;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) n += get(x, y);
    }
    return n;
  }
};

inline Picture randomPicture(std::mt19937 &rng, int32_t w, int32_t h, int percent,
                             int32_t extraWords = 0) {
  Picture p(w, h, extraWords);
  std::uniform_int_distribution<int> d(0, 99);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) p.set(x, y, d(rng) < percent);
  }
  return p;
}

// A token over a copy of the picture's rows in a block of the state's (the classifier takes
// the rows over).
inline TokInputToken tokenFrom(QtzState *state, const Picture &p, uintptr_t user) {
  const size_t bytes = p.words.size() * 4;
  auto *rows = static_cast<uint32_t *>(qtz::allocate(state, bytes));
  if (rows != nullptr) std::memcpy(rows, p.words.data(), bytes);
  TokInputToken t{};
  t.width = static_cast<uint16_t>(p.width);
  t.height = static_cast<uint16_t>(p.height);
  t.rows = rows;
  t.wordsPerRow = static_cast<uint16_t>(p.wordsPerRow);
  t.user = user;
  return t;
}

// The picture of an output class's representative.
inline Picture pictureOf(const TokOutClass &c) {
  Picture p(c.head.width, c.head.height);
  for (int32_t y = 0; y < p.height; ++y) {
    for (int32_t x = 0; x < p.width; ++x) {
      p.set(x, y, (c.head.rows[int64_t{y} * c.head.wordsPerRow + x / 32] >> (31 - x % 32)) & 1);
    }
  }
  return p;
}

}  // namespace lossytest

#endif
