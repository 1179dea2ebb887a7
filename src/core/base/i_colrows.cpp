// Row kernels over framed 8-bit planes: weighted grey from three planes, palette expansion
// of 8-, 4-, 2- and 1-bit index rows into three planes, and the 3 x 3 neighbourhood filter.
//
// Output rows are assembled four pixels to a 32-bit word (first pixel in the high byte) and
// stored a word at a time; the last word of a palette row has zeros after the row's last
// pixel. The grey kernel works lane by lane on the native words of the three planes, which
// is independent of the byte order because all three planes share it. The filter keeps
// running sums of three-row column triples along each row (one new column per pixel).
#include <array>

#include "pxl_colorrows.h"

namespace {

constexpr int32_t kFrame = 32;

// floor(weight * v / 1000) for every byte value.
constexpr std::array<uint8_t, 256> weightTable(int weight) {
  std::array<uint8_t, 256> t{};
  for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(weight * v / 1000);
  return t;
}
constexpr auto kRed = weightTable(299);
constexpr auto kGreen = weightTable(587);
constexpr auto kBlue = weightTable(114);

// Byte of pixel i in a word-aligned row (big-endian word order).
inline uint8_t pixelByte(const uint8_t *row, int64_t i) {
  return row[i ^ 3];
}

inline uint8_t *contentRow(uint8_t *framed, int32_t stride, int32_t row) {
  return framed + int64_t{kFrame + row} * stride + kFrame;
}

struct PlaneRows {
  uint32_t *rows[3];
};

// Writes `width` pixels whose palette entry comes from entryOf(i) into three plane rows.
template <typename EntryOf>
void expandRow(const PlaneRows &out, int32_t width, EntryOf entryOf) {
  for (int32_t w = 0; w * 4 < width; ++w) {
    uint32_t words[3] = {0, 0, 0};
    for (int32_t l = 0; l < 4 && w * 4 + l < width; ++l) {
      const uint8_t *e = entryOf(w * 4 + l);
      for (int p = 0; p < 3; ++p) words[p] |= uint32_t{e[p]} << (24 - 8 * l);
    }
    for (int p = 0; p < 3; ++p) out.rows[p][w] = words[p];
  }
}

template <typename RowFn>
void forEachRow(uint8_t *plane0, uint8_t *plane1, uint8_t *plane2, int32_t outStride,
                int32_t height, RowFn rowFn) {
  for (int32_t j = 0; j < height; ++j) {
    PlaneRows out{{reinterpret_cast<uint32_t *>(contentRow(plane0, outStride, j)),
                   reinterpret_cast<uint32_t *>(contentRow(plane1, outStride, j)),
                   reinterpret_cast<uint32_t *>(contentRow(plane2, outStride, j))}};
    rowFn(j, out);
  }
}

}  // namespace

extern "C" {

int32_t pxlRgbToGrayRows(PxlContext *, const uint8_t *planeA, const uint8_t *planeB,
                         const uint8_t *planeC, int32_t stride, uint8_t *out, int32_t outStride,
                         int32_t fullWidth, int32_t fullHeight) {
  const int32_t words = (fullWidth - 2 * kFrame + 3) / 4;
  for (int32_t r = 0; r < fullHeight - 2 * kFrame && words > 0; ++r) {
    const int64_t in = int64_t{kFrame + r} * stride + kFrame;
    const auto *a = reinterpret_cast<const uint32_t *>(planeA + in);
    const auto *b = reinterpret_cast<const uint32_t *>(planeB + in);
    const auto *c = reinterpret_cast<const uint32_t *>(planeC + in);
    auto *o = reinterpret_cast<uint32_t *>(out + int64_t{kFrame + r} * outStride + kFrame);
    for (int32_t w = 0; w < words; ++w) {
      uint32_t grey = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t sum = kRed[(a[w] >> shift) & 255] + kGreen[(b[w] >> shift) & 255] +
                             kBlue[(c[w] >> shift) & 255];
        grey |= sum << shift;
      }
      o[w] = grey;
    }
  }
  return 0;
}

int32_t pxlPaletteToPlanesRows(PxlContext *, const uint8_t *index, int32_t x, int32_t y,
                               int32_t width, int32_t height, int32_t indexStride, uint8_t *plane0,
                               uint8_t *plane1, uint8_t *plane2, int32_t outStride,
                               const uint8_t *palette) {
  forEachRow(plane0, plane1, plane2, outStride, height, [&](int32_t j, const PlaneRows &out) {
    const uint8_t *row = index + int64_t{y + j} * indexStride;
    expandRow(out, width, [&](int32_t i) { return palette + 4 * pixelByte(row, x + i); });
  });
  return 0;
}

int32_t pxlPalette4ToPlanesRows(PxlContext *, const uint8_t *index, int32_t x, int32_t y,
                                int32_t width, int32_t height, int32_t indexStride, uint8_t *plane0,
                                uint8_t *plane1, uint8_t *plane2, int32_t outStride,
                                const uint8_t *palette) {
  // Pixel pairs: entry v holds the colours of the nibbles v >> 4 and v & 15.
  uint8_t pairs[256][6];
  for (int v = 0; v < 256; ++v)
    for (int p = 0; p < 3; ++p) {
      pairs[v][p] = palette[4 * (v >> 4) + p];
      pairs[v][3 + p] = palette[4 * (v & 15) + p];
    }
  forEachRow(plane0, plane1, plane2, outStride, height, [&](int32_t j, const PlaneRows &out) {
    const uint8_t *row = index + int64_t{y + j} * indexStride;
    // The byte holding pixels (x + i, x + i + 1) for even i; an odd x takes a low nibble and
    // the next byte's high nibble. An odd width reads the (frame or padding) nibble after
    // the last pixel and uses only the first half of the pair.
    auto pairByte = [&](int32_t i) -> uint8_t {
      const int64_t p = int64_t{x} + i;
      const uint8_t b = pixelByte(row, p >> 1);
      return (p & 1) == 0 ? b
                          : static_cast<uint8_t>((b << 4) | (pixelByte(row, (p >> 1) + 1) >> 4));
    };
    expandRow(out, width, [&](int32_t i) { return &pairs[pairByte(i & ~1)][3 * (i & 1)]; });
  });
  return 0;
}

int32_t pxlPaletteBitsToPlanesRows(PxlContext *, const uint8_t *index, int32_t depth, int32_t x,
                                   int32_t y, int32_t width, int32_t height, int32_t indexStride,
                                   uint8_t *plane0, uint8_t *plane1, uint8_t *plane2,
                                   int32_t outStride, const uint8_t *palette) {
  const uint32_t mask = (1u << depth) - 1;
  forEachRow(plane0, plane1, plane2, outStride, height, [&](int32_t j, const PlaneRows &out) {
    const uint8_t *row = index + int64_t{y + j} * indexStride;
    expandRow(out, width, [&](int32_t i) {
      const int64_t bit = (int64_t{x} + i) * depth;
      const uint32_t v = (pixelByte(row, bit >> 3) >> (8 - depth - (bit & 7))) & mask;
      return palette + 4 * v;
    });
  });
  return 0;
}

int32_t pxlSharpenRows(PxlContext *ctx, const uint8_t *src, int32_t srcStride, uint8_t *out,
                       int32_t outStride, int32_t fullWidth, int32_t fullHeight, int32_t strength) {
  if (strength < 0 || strength > 3) return 2;
  static constexpr int32_t kWeight[4] = {0, 8, 24, 56};
  static constexpr int32_t kShift[4] = {3, 4, 5, 6};
  const int32_t weight = kWeight[3 - strength], shift = kShift[3 - strength];
  int32_t weighted[256];
  for (int32_t v = 0; v < 256; ++v) weighted[v] = v * weight;
  const int32_t width = fullWidth - 2 * kFrame;
  for (int32_t r = 0; r < fullHeight - 2 * kFrame; ++r) {
    const uint8_t *above = src + int64_t{kFrame + r - 1} * srcStride;
    const uint8_t *here = above + srcStride;
    const uint8_t *below = here + srcStride;
    auto column = [&](int32_t i) {
      return int32_t{pixelByte(above, kFrame + i)} + pixelByte(here, kFrame + i) +
             pixelByte(below, kFrame + i);
    };
    auto *o = reinterpret_cast<uint32_t *>(out + int64_t{kFrame + r} * outStride + kFrame);
    // Running sums of the column triples left of, at and right of pixel i.
    int32_t left = column(-1), mid = column(0);
    uint32_t word = 0;
    for (int32_t i = 0; i < width; ++i) {
      const int32_t right = column(i + 1);
      const int32_t centre = pixelByte(here, kFrame + i);
      const auto v =
          static_cast<uint32_t>((left + mid + right - centre + weighted[centre]) >> shift);
      word |= v << (24 - 8 * (i & 3));
      if ((i & 3) == 3 || i == width - 1) {
        o[i >> 2] = word;
        word = 0;
      }
      left = mid;
      mid = right;
    }
    if (ctx != nullptr && ctx->progress != nullptr) {
      const int32_t status = ctx->progress(ctx->progressUser);
      if (status != 0) return status;
    }
  }
  return 0;
}

}  // extern "C"
