// Token insertion into 8-bit grey and 24-bit colour pages. The box is the token's rectangle
// at the position, cut at the page's right and bottom edges (and, with a sampled source, at
// the source's size); its top-left corner must lie on the page, else 2 and nothing changes.
// Each pixel where the token (t) or the second mask (m) is set is painted by the rule of the
// call:
//   InsertBoxRGB             t: colour
//   InsertSampledBox         t: source pixel
//   InsertBoxScaled          t only: 0, t and m: 85, m only: 170 (grey page)
//   InsertBoxRGB_scaled      t only: colour, t and m: (2 colour + page) / 3,
//                            m only: (colour + 2 page) / 3, per byte
//   InsertSampledBox_scaled  the same with the source pixel for the colour
// Pixels are found a token word at a time: words where neither mask is set are skipped.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "tc_util.h"

namespace {

struct Box {
  int64_t x, y;
  int32_t width, height;
};

// The box of a token on a page, or false when its corner is off the page.
bool boxOf(const QtzImage *page, const QtzTokenPosition *position, const QtzTokenBitmap *token,
           Box *box) {
  const QtzImageHeader &h = page->hdr;
  const int64_t x = position->x, y = position->y;
  if (x < h.xoff || y < h.yoff || x >= int64_t{h.xoff} + h.width || y >= int64_t{h.yoff} + h.height)
    return false;
  box->x = x;
  box->y = y;
  box->width = static_cast<int32_t>(std::min<int64_t>(token->width, h.xoff + h.width - x));
  box->height = static_cast<int32_t>(std::min<int64_t>(token->height, h.yoff + h.height - y));
  return true;
}

inline uint32_t wordOf(const QtzTokenBitmap *t, int32_t row, int32_t w) {
  if (t == nullptr || t->bits == nullptr || t->wordsPerRow == 0) return 0;
  return t->bits[int64_t{row} * t->wordsPerRow + w];
}

// Calls paint(pixel, t, m, column, row) for every box pixel where the token or the mask is
// set; pixel points at the page element.
template <typename Paint>
int32_t insertBox(QtzImage *page, const QtzTokenPosition *position, const QtzTokenBitmap *token,
                  const QtzTokenBitmap *mask, uint16_t type, int64_t maxWidth, int64_t maxHeight,
                  Paint paint) {
  if (page == nullptr || position == nullptr || token == nullptr || page->rows == nullptr)
    return 118;
  if (page->hdr.type != type || (token->wordsPerRow == 0 && token->width != 0)) return 2;
  Box box;
  if (!boxOf(page, position, token, &box)) return 2;
  box.width = static_cast<int32_t>(std::min<int64_t>(box.width, maxWidth));
  box.height = static_cast<int32_t>(std::min<int64_t>(box.height, maxHeight));
  const int bytes = type == QTZ_IMAGE_RGB ? 3 : 1;
  const int32_t words = (box.width + 31) / 32;
  for (int32_t j = 0; j < box.height; ++j) {
    uint8_t *row = page->rows[box.y + j] + box.x * bytes;
    for (int32_t w = 0; w < words; ++w) {
      const uint32_t t = wordOf(token, j, w), m = wordOf(mask, j, w);
      const int32_t left = box.width - w * 32;
      uint32_t any = (t | m) & (left >= 32 ? ~0u : ~(~0u >> left));
      while (any != 0) {
        const int bit = std::countl_zero(any);
        any &= ~(0x80000000u >> bit);
        const int32_t n = w * 32 + bit;
        paint(row + int64_t{n} * bytes, (t >> (31 - bit)) & 1, (m >> (31 - bit)) & 1, n, j);
      }
    }
  }
  return 0;
}

// The colour bytes of the low 24 bits, first byte lowest.
struct Rgb {
  uint8_t c[3];
};
inline Rgb rgbOf(uint32_t colour) {
  return {{static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
           static_cast<uint8_t>(colour >> 16)}};
}

// The blend of the two-mask colour rules.
inline void blend(uint8_t *pixel, const uint8_t *colour, uint32_t t, uint32_t m) {
  for (int k = 0; k < 3; ++k) {
    const uint32_t c = colour[k], p = pixel[k];
    pixel[k] = static_cast<uint8_t>(t && m ? (2 * c + p) / 3 : t ? c : (c + 2 * p) / 3);
  }
}

// Source pixel of token column n, row j: the source's rightmost token-width columns.
struct Sampler {
  const QtzImage *source;
  int32_t tokenWidth;
  const uint8_t *at(int32_t n, int32_t j) const {
    const QtzImageHeader &h = source->hdr;
    return source->rows[h.yoff + j] + (int64_t{h.xoff} + h.width - tokenWidth + n) * 3;
  }
};

bool sourceFits(const QtzImage *source, const QtzTokenBitmap *token) {
  return source != nullptr && source->rows != nullptr && source->hdr.type == QTZ_IMAGE_RGB &&
         source->hdr.width >= token->width;
}

}  // namespace

int32_t InsertBoxRGB(QtzImage *page, const QtzTokenPosition *position, const QtzTokenBitmap *token,
                     uint32_t colour) {
  const Rgb rgb = rgbOf(colour);
  return insertBox(page, position, token, nullptr, QTZ_IMAGE_RGB, INT64_MAX, INT64_MAX,
                   [&](uint8_t *p, uint32_t, uint32_t, int32_t, int32_t) {
                     p[0] = rgb.c[0], p[1] = rgb.c[1], p[2] = rgb.c[2];
                   });
}

int32_t InsertSampledBox(QtzImage *page, const QtzImage *source, const QtzTokenPosition *position,
                         const QtzTokenBitmap *token) {
  if (token == nullptr) return 118;
  if (!sourceFits(source, token)) return 2;
  const Sampler s{source, token->width};
  return insertBox(page, position, token, nullptr, QTZ_IMAGE_RGB, INT64_MAX, source->hdr.height,
                   [&](uint8_t *p, uint32_t, uint32_t, int32_t n, int32_t j) {
                     const uint8_t *c = s.at(n, j);
                     p[0] = c[0], p[1] = c[1], p[2] = c[2];
                   });
}

int32_t InsertBoxScaled(QtzImage *page, const QtzTokenPosition *position,
                        const QtzTokenBitmap *token, const QtzTokenBitmap *mask) {
  return insertBox(page, position, token, mask, QTZ_IMAGE_GREY8, INT64_MAX, INT64_MAX,
                   [](uint8_t *p, uint32_t t, uint32_t m, int32_t, int32_t) {
                     *p = t && m ? 85 : t ? 0 : 170;
                   });
}

int32_t InsertBoxRGB_scaled(QtzImage *page, const QtzTokenPosition *position,
                            const QtzTokenBitmap *token, const QtzTokenBitmap *mask,
                            uint32_t colour) {
  const Rgb rgb = rgbOf(colour);
  return insertBox(
      page, position, token, mask, QTZ_IMAGE_RGB, INT64_MAX, INT64_MAX,
      [&](uint8_t *p, uint32_t t, uint32_t m, int32_t, int32_t) { blend(p, rgb.c, t, m); });
}

int32_t InsertSampledBox_scaled(QtzImage *page, const QtzImage *source,
                                const QtzTokenPosition *position, const QtzTokenBitmap *token,
                                const QtzTokenBitmap *mask) {
  if (token == nullptr) return 118;
  if (!sourceFits(source, token)) return 2;
  const Sampler s{source, token->width};
  return insertBox(page, position, token, mask, QTZ_IMAGE_RGB, source->hdr.width,
                   source->hdr.height,
                   [&](uint8_t *p, uint32_t t, uint32_t m, int32_t n, int32_t j) {
                     blend(p, s.at(n, j), t, m);
                   });
}
