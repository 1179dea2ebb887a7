// Colours outside the mask of an image strip, so that the JPEG coder sees no sharp edges
// where the component ends.
//
// With W x H the image size and K = W + H + 2, a pixel outside the mask gets the mean of the
// colours of the nearest mask pixels to its left and right in its row and above and below in
// its column, each weighted K / distance (integer division; sums divided with truncation).
// Pixels inside the mask keep their colour. A pixel whose row and column hold no mask pixel
// at all has none of these neighbours; it is filled by a second pass along the columns from
// the nearest filled pixels above and below it (which lie in rows that hold mask pixels, and
// were filled by the first pass), with the same weights. So every pixel is filled whenever
// the mask is not empty; with an empty mask every pixel becomes (0, 0, 0).
//
// The mask is a framed packed bitmap (32-pixel frame) whose content column 0 lies at bit
// 32 + maskBitOffset of its rows; mask pixels are found a word at a time. Each column keeps
// its last mask row above the current row and its next mask row below (found by a look-ahead
// that never scans a row of the column twice). Statuses: 118 null arguments, 2 a mask or
// image of the wrong type or too small, 1 out of memory.
#include <cstring>

#include "compdoc_strips.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace {

constexpr int32_t kFrame = 32;

struct MaskRows {
  const QtzImage *mask;
  int64_t base;  // bit of content column 0
  const uint32_t *row(int32_t y) const {
    return reinterpret_cast<const uint32_t *>(mask->rows[mask->hdr.yoff + kFrame + y]);
  }
};

inline bool bitAt(const uint32_t *row, int64_t bit) {
  return ((row[bit >> 5] << (bit & 31)) & 0x80000000u) != 0;
}

// The first mask column at or after from, or width when there is none.
int32_t nextMaskColumn(const uint32_t *row, int64_t base, int32_t from, int32_t width) {
  int64_t x = from;
  while (x < width) {
    const int64_t bit = base + x;
    const int shift = static_cast<int>(bit & 31);
    const uint32_t word = row[bit >> 5] << shift;
    if (word != 0) {
      x += __builtin_clz(word);
      return x < width ? static_cast<int32_t>(x) : width;
    }
    x += 32 - shift;
  }
  return width;
}

struct Sum {
  int64_t weight = 0, r = 0, g = 0, b = 0;
  void add(int64_t w, const uint8_t *pixel) {
    weight += w;
    r += w * pixel[0];
    g += w * pixel[1];
    b += w * pixel[2];
  }
  void store(uint8_t *pixel) const {
    if (weight == 0) {
      pixel[0] = pixel[1] = pixel[2] = 0;
      return;
    }
    pixel[0] = static_cast<uint8_t>(r / weight);
    pixel[1] = static_cast<uint8_t>(g / weight);
    pixel[2] = static_cast<uint8_t>(b / weight);
  }
};

struct Fill {
  QtzImage *rgb;
  MaskRows mask;
  int32_t width, height;
  int64_t k;
  int32_t *above;    // per column: last mask row above the current row, -1 none
  int32_t *below;    // per column: next mask row below (height none); stale when <= row
  uint32_t *column;  // OR of every mask row: which columns hold a mask pixel
  uint8_t *rowHas;   // per row: 1 when the row holds a mask pixel

  uint8_t *pixel(int32_t x, int32_t y) const {
    return rgb->rows[rgb->hdr.yoff + y] + 3 * (int64_t{rgb->hdr.xoff} + x);
  }

  int32_t nextBelow(int32_t x, int32_t y) {
    if (below[x] > y) return below[x];
    int32_t r = y + 1;
    while (r < height && !bitAt(mask.row(r), mask.base + x)) ++r;
    return below[x] = r;
  }

  // One unmasked pixel from its row neighbours (left, right: -1 or width when absent) and its
  // column neighbours; false when it has none.
  bool fillPixel(int32_t x, int32_t y, int32_t left, int32_t right) {
    Sum sum;
    if (left >= 0) sum.add(k / (x - left), pixel(left, y));
    if (right < width) sum.add(k / (right - x), pixel(right, y));
    if (above[x] >= 0) sum.add(k / (y - above[x]), pixel(x, above[x]));
    const int32_t down = nextBelow(x, y);
    if (down < height) sum.add(k / (down - y), pixel(x, down));
    sum.store(pixel(x, y));
    return sum.weight != 0;
  }

  // First pass, one row: the gaps between its mask pixels (and before the first and after
  // the last) are filled; the mask pixels become the columns' last rows above.
  void fillRow(int32_t y) {
    const uint32_t *row = mask.row(y);
    int32_t left = -1;
    for (int32_t x = 0; x < width;) {
      const int32_t right = nextMaskColumn(row, mask.base, x, width);
      for (; x < right; ++x) fillPixel(x, y, left, right);
      if (right == width) break;
      above[right] = y;
      left = right;
      x = right + 1;
    }
  }

  // Second pass, along the columns: pixels of rows without mask pixels in columns without
  // mask pixels, from the nearest rows above and below that hold mask pixels.
  void fillHoles() {
    int32_t previous = -1;  // last row with mask pixels above the current one
    for (int32_t y = 0; y < height; ++y) {
      if (rowHas[y] != 0) {
        previous = y;
        continue;
      }
      int32_t next = y + 1;
      while (next < height && rowHas[next] == 0) ++next;
      for (int32_t x = 0; x < width; ++x) {
        if (bitAt(column, mask.base + x)) continue;
        Sum sum;
        if (previous >= 0) sum.add(k / (y - previous), pixel(x, previous));
        if (next < height) sum.add(k / (next - y), pixel(x, next));
        sum.store(pixel(x, y));
      }
    }
  }
};

}  // namespace

int32_t imgFillOutsideMask(QtzState *state, QtzImage *rgb, const QtzImage *mask,
                           int32_t maskBitOffset) {
  if (state == nullptr) return 118;
  if (rgb == nullptr || mask == nullptr) return qtz::report(state, 118);
  const int32_t width = rgb->hdr.width, height = rgb->hdr.height;
  if (rgb->hdr.type != QTZ_IMAGE_RGB || mask->hdr.type != QTZ_IMAGE_PACKED || maskBitOffset < 0)
    return qtz::report(state, 2);
  if (width <= 0 || height <= 0) return 0;
  const int64_t base = kFrame + int64_t{maskBitOffset};
  if (int64_t{mask->hdr.width} < int64_t{width} + 2 * kFrame ||
      int64_t{mask->hdr.height} < int64_t{height} + 2 * kFrame ||
      int64_t{mask->hdr.bytesPerLine} * 8 < base + width || mask->rows == nullptr)
    return qtz::report(state, 2);

  const int64_t columnWords = (base + width + 31) / 32;
  const int64_t bytes = 8 * int64_t{width} + 4 * columnWords + height;
  qtz::OwnedBlock<uint8_t> block(state, static_cast<uint8_t *>(qtz::allocate(state, bytes)));
  if (!block) return qtz::report(state, 1);
  Fill f{rgb,
         MaskRows{mask, base},
         width,
         height,
         int64_t{width} + height + 2,
         reinterpret_cast<int32_t *>(block.get()),
         reinterpret_cast<int32_t *>(block.get() + 4 * int64_t{width}),
         reinterpret_cast<uint32_t *>(block.get() + 8 * int64_t{width}),
         block.get() + 8 * int64_t{width} + 4 * columnWords};
  bool holes = false;
  std::memset(f.column, 0, static_cast<size_t>(4 * columnWords));
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t *row = f.mask.row(y);
    for (int64_t w = 0; w < columnWords; ++w) f.column[w] |= row[w];
    f.rowHas[y] = nextMaskColumn(row, base, 0, width) < width ? 1 : 0;
    holes = holes || f.rowHas[y] == 0;
  }
  // Bits of the frame before column 0 and past the last column are not mask pixels.
  for (int64_t bit = 0; bit < base; ++bit) f.column[bit >> 5] &= ~(0x80000000u >> (bit & 31));
  for (int64_t bit = base + width; bit < columnWords * 32; ++bit)
    f.column[bit >> 5] &= ~(0x80000000u >> (bit & 31));
  for (int32_t x = 0; x < width; ++x) {
    f.above[x] = -1;
    f.below[x] = -1;
  }
  for (int32_t y = 0; y < height; ++y) f.fillRow(y);
  if (holes) f.fillHoles();
  return 0;
}
