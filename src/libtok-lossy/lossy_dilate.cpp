// Preparing tokens for matching: the one-pass table dilation TableCrossDilate, a token's
// bitmap with its blank columns, and its complemented dilation with the border count.
//
// TableCrossDilate works 32 output pixels at a time: for each of the five rows y-2 to y+2 it
// forms one 64-bit window holding the columns 32k-2 to 32k+33, and takes every pixel's 13-bit
// index from the windows with fixed shifts (one look-up per pixel). Within each row the index
// fields come out mirrored left to right, which the tables' mirror symmetry makes harmless.
// For the classifier's three tables the same rules are worked out for the 32 pixels at once
// (tableWord), and the border flags counted word-wide; any other table is looked up pixel by
// pixel. Words whose five windows are all white give white output without either. Pixels past
// the width read as white, so pad bits of the input never matter, and the output's are written 0.
//
// A token's bitmap keeps `passes` blank columns on its left so that the dilation never loses
// pixels to the left; the dilation is `passes` passes, each one column wider and two rows
// taller, alternating between the dilation's rows and a scratch buffer so that the last pass
// ends in the dilation's rows. Radius 0 still makes one plus pass for the border count.
// Failures: 1 (reported) when memory runs out, 10003 for a token without black pixels or a
// radius of 32 or more.
#include <algorithm>
#include <cstring>

#include "lossy_records.h"
#include "qtz_owners_internal.h"
#include "tok_dilate.h"

namespace {

// Word k of a row of `words` words with the bits past `width` cleared; 0 outside the row.
inline uint32_t inputWord(const uint32_t *row, int32_t words, int32_t width, int32_t k) {
  if (k < 0 || k >= words) return 0;
  const uint32_t w = row[k];
  const int32_t rest = width - 32 * k;
  return rest >= 32 ? w : w & ~(0xFFFFFFFFU >> rest);
}

// Columns 32k-2 to 32k+33 of a row: column 32k-2 at bit 35.
inline uint64_t window(const uint32_t *row, int32_t words, int32_t width, int32_t k) {
  if (row == nullptr) return 0;
  const uint64_t prev = inputWord(row, words, width, k - 1) & 3U;
  const uint64_t cur = inputWord(row, words, width, k);
  const uint64_t next = inputWord(row, words, width, k + 1) >> 30;
  return (prev << 34) | (cur << 2) | next;
}

// Output row above or below the input from input row `row`: a copy, or for the square table
// the row widened by one pixel each way.
void edgeRow(const uint32_t *row, int32_t words, int32_t width, bool widen, uint32_t *dst,
             int32_t dstWords) {
  for (int32_t k = 0; k < dstWords; ++k) {
    const uint32_t w = inputWord(row, words, width, k);
    if (!widen) {
      dst[k] = w;
      continue;
    }
    dst[k] = w | (w >> 1) | (inputWord(row, words, width, k - 1) << 31) | (w << 1) |
             (inputWord(row, words, width, k + 1) >> 31);
  }
}

}  // namespace

extern "C" NORV_API void TableCrossDilate(const uint32_t *src, int32_t srcWordsPerRow,
                                          int32_t width, int32_t height, int32_t *borderCount,
                                          uint32_t *dst, int32_t dstWordsPerRow,
                                          const uint8_t *table, void * /*tokenizer*/) {
  if (src == nullptr || dst == nullptr || table == nullptr || borderCount == nullptr) return;
  const int64_t inWords = (int64_t{width} + 31) / 32;
  const int64_t outWords = (int64_t{width} + 32) / 32;
  if (width < 1 || height < 1 || srcWordsPerRow < inWords || dstWordsPerRow < outWords) return;
  const int32_t words = static_cast<int32_t>(inWords);
  const int32_t outW = static_cast<int32_t>(outWords);
  // The square table is the only one whose pass reaches diagonally into the edge rows.
  const bool widen = table[(1U << 1)] & 1U;
  auto rowAt = [&](int64_t y) -> const uint32_t * {
    return (y < 0 || y >= height) ? nullptr : src + y * srcWordsPerRow;
  };
  auto clearTail = [&](uint32_t *row) {
    for (int32_t k = outW; k < dstWordsPerRow; ++k) row[k] = 0;
  };

  edgeRow(src, words, width, widen, dst, outW);
  clearTail(dst);
  uint32_t *last = dst + (int64_t{height} + 1) * dstWordsPerRow;
  edgeRow(rowAt(height - 1), words, width, widen, last, outW);
  clearTail(last);

  int64_t border = 0;
  for (int64_t y = 0; y < height; ++y) {
    const uint32_t *r[5] = {rowAt(y - 2), rowAt(y - 1), rowAt(y), rowAt(y + 1), rowAt(y + 2)};
    uint32_t *out = dst + (y + 1) * dstWordsPerRow;
    for (int32_t k = 0; k < outW; ++k) {
      const uint64_t up2 = window(r[0], words, width, k);
      const uint64_t up = window(r[1], words, width, k);
      const uint64_t mid = window(r[2], words, width, k);
      const uint64_t down = window(r[3], words, width, k);
      const uint64_t down2 = window(r[4], words, width, k);
      if ((up2 | up | mid | down | down2) == 0) {
        out[k] = 0;
        continue;
      }
      // Pixel p of the word is bit 31 - p; near(w, j) holds at pixel p row w's column x + j.
      auto near = [](uint64_t w, int j) { return static_cast<uint32_t>(w >> (2 - j)); };
      const tok::Neighbourhood n{near(mid, 0),  near(up, 0),  near(down, 0),  near(mid, -1),
                                 near(mid, 1),  near(up, -1), near(up, 1),    near(down, -1),
                                 near(down, 1), near(up2, 0), near(down2, 0), near(mid, -2),
                                 near(mid, 2)};
      uint32_t word = 0;
      if (tok::tableWord(table, n, &word)) {
        // A pixel is on the border when it is black with a white pixel in its 3 x 3 block.
        const uint32_t inside =
            n.up & n.down & n.left & n.right & n.upLeft & n.upRight & n.downLeft & n.downRight;
        border += tok::bitCount(n.centre & ~inside);
      } else {
        for (int p = 0; p < 32; ++p) {
          const uint32_t index = static_cast<uint32_t>(
              ((up2 >> (33 - p)) & 1U) | (((up >> (32 - p)) & 7U) << 1) |
              (((mid >> (31 - p)) & 31U) << 4) | (((down >> (32 - p)) & 7U) << 9) |
              (((down2 >> (33 - p)) & 1U) << 12));
          const uint8_t e = table[index];
          word |= static_cast<uint32_t>(e & 1U) << (31 - p);
          border += e >> 1;
        }
      }
      // Columns past the output width stay white.
      const int32_t rest = width + 1 - 32 * k;
      if (rest < 32) word &= ~(0xFFFFFFFFU >> rest);
      out[k] = word;
    }
    clearTail(out);
  }
  *borderCount = static_cast<int32_t>(border);
}

namespace tok {

int32_t reportStatus(TokTokenizer *tok, int32_t status) {
  if (status == kNoMemory) return qtz::report(tok->opt.state, status);
  return status;
}

void freeBitmap(TokTokenizer *tok, Bitmap *bitmap) {
  if (bitmap == nullptr) return;
  qtz::release(tok->opt.state, bitmap->rows);
  qtz::poolGive<3>(tok->opt.state, bitmap);
}

void freeDilation(TokTokenizer *tok, Dilation *dilation) {
  if (dilation == nullptr) return;
  qtz::release(tok->opt.state, dilation->rows);
  qtz::poolGive<2>(tok->opt.state, dilation);
}

void dropBitmap(TokTokenizer *tok, Token *token) {
  freeBitmap(tok, token->bitmap);
  freeDilation(tok, token->dilation);
  token->bitmap = nullptr;
  token->dilation = nullptr;
}

void freeToken(TokTokenizer *tok, Token *token) {
  if (token == nullptr) return;
  dropBitmap(tok, token);
  qtz::poolGive<4>(tok->opt.state, token);
}

namespace {

uint32_t *allocWords(TokTokenizer *tok, int64_t count) {
  if (count <= 0 || count > INT64_MAX / 4) return nullptr;
  return static_cast<uint32_t *>(qtz::allocate(tok->opt.state, static_cast<size_t>(count) * 4));
}

}  // namespace

int32_t dilateBitmap(TokTokenizer *tok, Bitmap *bitmap, Dilation **out) {
  QtzState *state = tok->opt.state;
  const int32_t r = tok->passes;
  const int32_t w = bitmap->width + r;
  const int32_t h = bitmap->height + 2 * r;
  const int32_t wpr = (w + 31) / 32;
  const int64_t total = int64_t{wpr} * h;
  Dilation *dil = nullptr;
  int32_t status = qtz::poolTake<2>(state, &dil);
  if (status != 0) return status;
  *dil = Dilation{w, h, wpr, nullptr, 0};
  auto failed = [&](int32_t code) {
    freeDilation(tok, dil);
    return reportStatus(tok, code);
  };
  dil->rows = allocWords(tok, total);
  if (dil->rows == nullptr) return failed(kNoMemory);
  // Scratch: a plus pass for the border count at radius 0, else the other pass buffer.
  const int64_t scratchWords = r == 0 ? int64_t{(w + 32) / 32} * (h + 2) : total;
  qtz::OwnedBlock<uint32_t> scratch(state, allocWords(tok, scratchWords));
  if (!scratch) return failed(kNoMemory);

  const int32_t used = (bitmap->width + 31) / 32;
  auto copyInto = [&](uint32_t *buf) {
    for (int32_t y = 0; y < bitmap->height; ++y) {
      const uint32_t *s = bitmap->rows + int64_t{y} * bitmap->wordsPerRow;
      uint32_t *d = buf + int64_t{y} * wpr;
      std::memcpy(d, s, size_t(used) * 4);
      for (int32_t k = used; k < wpr; ++k) d[k] = 0;
    }
  };
  if (r == 0) {
    TableCrossDilate(bitmap->rows, bitmap->wordsPerRow, bitmap->width, bitmap->height,
                     &bitmap->border, scratch.get(), (w + 32) / 32, plusTable(), tok);
    copyInto(dil->rows);
  } else {
    uint32_t *bufs[2] = {dil->rows, scratch.get()};
    int cur = (r % 2 == 1) ? 1 : 0;
    copyInto(bufs[cur]);
    for (int32_t i = 0; i < r; ++i) {
      int32_t border = 0;
      TableCrossDilate(bufs[cur], wpr, bitmap->width + i, bitmap->height + 2 * i, &border,
                       bufs[1 - cur], wpr, tok->table, tok);
      if (i == 0) bitmap->border = border;
      cur = 1 - cur;
    }
  }
  int64_t black = 0;
  for (int64_t i = 0; i < total; ++i) {
    black += bitCount(dil->rows[i]);
    dil->rows[i] = ~dil->rows[i];
  }
  dil->black = static_cast<int32_t>(black);
  *out = dil;
  return 0;
}

int32_t makeToken(TokTokenizer *tok, const TokInputToken &in, bool keepInput, Token **out) {
  QtzState *state = tok->opt.state;
  // Rows the classifier owns from here on (without keepInput) are released on failure.
  qtz::OwnedBlock<uint32_t> inputRows(state, keepInput ? nullptr : in.rows);
  const int32_t r = tok->passes;
  if (r < 0 || r >= 32 || in.rows == nullptr || in.width == 0 || in.height == 0) return kAssert;
  const int32_t width = in.width + r;
  const int32_t n = (width + 31) / 32;
  const int32_t height = in.height;
  const int32_t inUsed = (in.width + 31) / 32;
  if (in.wordsPerRow < inUsed) return kAssert;

  uint32_t *rows = in.rows;
  int32_t wpr = in.wordsPerRow;
  qtz::OwnedBlock<uint32_t> copied(state);
  if (in.wordsPerRow < n || keepInput) {
    copied.reset(allocWords(tok, int64_t{n} * height));
    if (!copied) return reportStatus(tok, kNoMemory);
    for (int32_t y = 0; y < height; ++y) {
      const uint32_t *s = in.rows + int64_t{y} * in.wordsPerRow;
      uint32_t *d = copied.get() + int64_t{y} * n;
      const int32_t c = std::min<int32_t>(n, in.wordsPerRow);
      std::memcpy(d, s, size_t(c) * 4);
      for (int32_t k = c; k < n; ++k) d[k] = 0;
    }
    rows = copied.get();
    wpr = n;
    inputRows.reset();  // the caller's rows are no longer needed
  }
  // Clear the pad bits and spare words, then shift right by the blank columns.
  int64_t black = 0;
  const uint32_t lastMask = (in.width % 32) == 0 ? 0xFFFFFFFFU : ~(0xFFFFFFFFU >> (in.width % 32));
  for (int32_t y = 0; y < height; ++y) {
    uint32_t *row = rows + int64_t{y} * wpr;
    row[inUsed - 1] &= lastMask;
    for (int32_t k = inUsed; k < wpr; ++k) row[k] = 0;
    if (r > 0) {
      for (int32_t k = n - 1; k >= 0; --k) {
        const uint32_t prev = k > 0 ? row[k - 1] : 0;
        row[k] = (row[k] >> r) | (prev << (32 - r));
      }
    }
    for (int32_t k = 0; k < n; ++k) black += bitCount(row[k]);
  }
  if (black == 0) return kAssert;

  Token *token = nullptr;
  int32_t status = qtz::poolTake<4>(state, &token);
  if (status != 0) return status;
  *token = Token{in.width, in.height, nullptr, nullptr, 0, 0, static_cast<int32_t>(black), in.user};
  Bitmap *bitmap = nullptr;
  status = qtz::poolTake<3>(state, &bitmap);
  if (status != 0) {
    freeToken(tok, token);
    return status;
  }
  *bitmap = Bitmap{width, height, wpr, rows, static_cast<int32_t>(black), 0};
  copied.release();
  inputRows.release();
  token->bitmap = bitmap;
  status = dilateBitmap(tok, bitmap, &token->dilation);
  if (status != 0) {
    freeToken(tok, token);
    return status;
  }
  *out = token;
  return 0;
}

}  // namespace tok
