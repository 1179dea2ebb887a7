// Substituted glyphs between a page and its decoding (see glyph_count.h). The components are
// found run by run: each row's black runs are joined, through a union-find over run numbers, to
// the runs of the row above that touch them with 8-connectivity (overlap widened by one pixel on
// each side); the boxes and pixel counts are then summed per root. Differences in a box are
// counted bytewise with the XOR of the two rows, masked to the box's columns.
#include "glyph_count.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace e2e {

namespace {

struct Run {
  int32_t y, x0, x1;  // black pixels x0 .. x1 - 1 of row y
};

struct Box {
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;  // inclusive
  int64_t pixels = 0;
};

bool black(const uint8_t *row, int32_t x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

int32_t findRoot(std::vector<int32_t> &parent, int32_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

// The black runs of every row, in row order and left to right.
std::vector<Run> runsOf(const norvtest::Pnm &page, std::vector<size_t> &rowStart) {
  std::vector<Run> runs;
  rowStart.assign(size_t(page.height) + 1, 0);
  for (int32_t y = 0; y < page.height; ++y) {
    rowStart[y] = runs.size();
    const uint8_t *row = page.row(y);
    int32_t x = 0;
    while (x < page.width) {
      if (row[x >> 3] == 0 && (x & 7) == 0) {  // a white byte at once
        x += 8;
        continue;
      }
      if (!black(row, x)) {
        ++x;
        continue;
      }
      const int32_t start = x;
      while (x < page.width && black(row, x)) ++x;
      runs.push_back({y, start, x});
    }
  }
  rowStart[page.height] = runs.size();
  return runs;
}

// Pixels of rows y0 .. y1 and columns x0 .. x1 (inclusive) that differ.
int64_t differencesIn(const norvtest::Pnm &a, const norvtest::Pnm &b, const Box &box) {
  const int32_t firstByte = box.x0 >> 3, lastByte = box.x1 >> 3;
  const uint8_t firstMask = uint8_t(0xFF >> (box.x0 & 7));
  const uint8_t lastMask = uint8_t(0xFF << (7 - (box.x1 & 7)));
  int64_t count = 0;
  for (int32_t y = box.y0; y <= box.y1; ++y) {
    const uint8_t *ra = a.row(y), *rb = b.row(y);
    for (int32_t k = firstByte; k <= lastByte; ++k) {
      uint8_t d = ra[k] ^ rb[k];
      if (k == firstByte) d &= firstMask;
      if (k == lastByte) d &= lastMask;
      count += std::popcount(unsigned(d));
    }
  }
  return count;
}

}  // namespace

GlyphCount countSubstitutedGlyphs(const norvtest::Pnm &input, const norvtest::Pnm &decoded) {
  GlyphCount result;
  if (input.kind != '4' || decoded.kind != '4' || input.width != decoded.width ||
      input.height != decoded.height) {
    result.sameSize = false;
    return result;
  }
  std::vector<size_t> rowStart;
  const std::vector<Run> runs = runsOf(input, rowStart);
  std::vector<int32_t> parent(runs.size());
  for (size_t i = 0; i < runs.size(); ++i) parent[i] = int32_t(i);
  for (int32_t y = 1; y < input.height; ++y) {
    size_t above = rowStart[y - 1];
    const size_t aboveEnd = rowStart[y];
    for (size_t i = rowStart[y]; i < rowStart[y + 1]; ++i) {
      // Runs above that end left of this run's widened start cannot touch later runs either.
      while (above < aboveEnd && runs[above].x1 < runs[i].x0) ++above;
      for (size_t j = above; j < aboveEnd && runs[j].x0 <= runs[i].x1; ++j) {
        const int32_t a = findRoot(parent, int32_t(i)), b = findRoot(parent, int32_t(j));
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
      }
    }
  }
  std::vector<Box> boxes(runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    Box &box = boxes[size_t(findRoot(parent, int32_t(i)))];
    const Run &r = runs[i];
    box.x0 = std::min(box.x0, r.x0);
    box.x1 = std::max(box.x1, r.x1 - 1);
    box.y0 = std::min(box.y0, r.y);
    box.y1 = std::max(box.y1, r.y);
    box.pixels += r.x1 - r.x0;
  }
  for (const Box &box : boxes) {
    if (box.pixels == 0) continue;
    ++result.glyphs;
    result.substituted += 10 * differencesIn(input, decoded, box) >= box.pixels;
  }
  result.differing = norvtest::differingPixels(input, decoded);
  return result;
}

}  // namespace e2e
