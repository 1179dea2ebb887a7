// Token insertion into packed bilevel pages: each token row is XORed into the page row a word
// at a time, shifted right by x mod 32 with the bits that fall out of one token word carried
// to the top of the next page word. Inserting the same token twice restores the page. Rows at
// or below the page's last row are cut; a position left of the page, above it, or whose last
// word would pass the page row's words gives 2 and changes nothing.
#include <cstdint>

#include "tc_util.h"
#include "tc_util_internal.h"

namespace {

// The page row that a token row r lands in, or null below the page.
inline uint32_t *pageRow(QtzImage *page, int64_t row) {
  if (row >= int64_t{page->hdr.yoff} + page->hdr.height) return nullptr;
  return reinterpret_cast<uint32_t *>(page->rows[row]);
}

}  // namespace

int32_t insertPackedAt(QtzImage *page, int64_t px, int64_t py, const QtzTokenBitmap *token,
                       bool framed) {
  if (page == nullptr || token == nullptr || page->rows == nullptr) return 118;
  const int32_t frame = framed ? 32 : 0;
  const int64_t x = px + frame, y = py + frame;
  const int32_t words = token->wordsPerRow;
  const int shift = static_cast<int>(x & 31);
  const bool carry = token->width + shift > words * 32;
  const int64_t firstWord = x >> 5;
  const int64_t rowWords = page->hdr.bytesPerLine / 4;
  if (x < 0 || y < page->hdr.yoff || firstWord + words + (carry ? 1 : 0) > rowWords) return 2;
  if (words == 0 || token->bits == nullptr) return 0;
  for (int32_t r = 0; r < token->height; ++r) {
    uint32_t *out = pageRow(page, y + r);
    if (out == nullptr) break;
    out += firstWord;
    const uint32_t *in = token->bits + int64_t{r} * words;
    if (shift == 0) {
      for (int32_t w = 0; w < words; ++w) out[w] ^= in[w];
      continue;
    }
    uint32_t previous = 0;
    for (int32_t w = 0; w < words; ++w) {
      out[w] ^= (in[w] >> shift) | (previous << (32 - shift));
      previous = in[w];
    }
    if (carry) out[words] ^= previous << (32 - shift);
  }
  return 0;
}

int32_t InsertBoxPacked(QtzImage *page, const QtzTokenPosition *position,
                        const QtzTokenBitmap *token, int32_t framed) {
  if (position == nullptr) return 118;
  return insertPackedAt(page, position->x, position->y, token, framed != 0);
}
