// Tokens stored as Group 4 (T.6) data: decoded straight into a packed page (black runs ORed
// in, clipped at the page's right and bottom edges), decompressed into a bitmap the token then
// owns, or, for residuals, either of those or packed rows XORed in. The plain calls decode with
// a decoder made for the call; the C variants with the caller's.
#include <cstdio>

#include "ccitt_internal.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util.h"
#include "tc_util_internal.h"

namespace {

int32_t decodeG4(CcittDecoder *decoder, QtzState *state, uint32_t *rows, int32_t width,
                 int32_t height, int32_t wordsPerLine, int32_t x, int32_t rightClip,
                 int32_t bottomClip, const uint8_t *data, int32_t size) {
  if (decoder != nullptr)
    return g4DecodeC(decoder, rows, width, height, wordsPerLine, x, rightClip, bottomClip, data,
                     size, 0, nullptr);
  return g4DecodeIntoBitmap(rows, width, height, wordsPerLine, x, rightClip, bottomClip, data, size,
                            0, nullptr, state);
}

int32_t insertCompressed(QtzImage *page, int64_t x, int64_t y, int32_t width, int32_t height,
                         const uint8_t *data, int32_t size, bool framed, CcittDecoder *decoder,
                         QtzState *state) {
  if (page == nullptr || data == nullptr || page->rows == nullptr) return qtz::report(state, 118);
  const int32_t frame = framed ? 32 : 0;
  const QtzImageHeader &h = page->hdr;
  const int64_t row = y + frame, column = x + frame;
  if (row < h.yoff || row >= int64_t{h.yoff} + h.height || column < 0 || column >= h.width)
    return qtz::report(state, 2);
  const int64_t bottomClip = int64_t{h.height} - frame - y - 1;
  return decodeG4(decoder, state, reinterpret_cast<uint32_t *>(page->rows[row]), width, height,
                  h.bytesPerLine / 4, static_cast<int32_t>(column), h.width - 1,
                  static_cast<int32_t>(bottomClip), data, size);
}

int32_t decompress(QtzTokenBitmap *token, void **oldData, CcittDecoder *decoder, QtzState *state) {
  if (oldData != nullptr) *oldData = nullptr;
  if (token == nullptr || oldData == nullptr) return qtz::report(state, 118);
  const int32_t wordsPerRow = (token->width + 31) / 32;
  const int64_t words = int64_t{wordsPerRow} * token->height;
  qtz::OwnedBlock<uint32_t> bits(state, static_cast<uint32_t *>(qtz::allocateZeroed(
                                            state, static_cast<size_t>(words > 0 ? words : 1), 4)));
  if (!bits) return qtz::report(state, 1);
  if (token->width > 0 && token->height > 0) {
    const int32_t status = decodeG4(
        decoder, state, bits.get(), token->width, token->height, wordsPerRow, 0, token->width - 1,
        token->height - 1, reinterpret_cast<const uint8_t *>(token->bits), token->compressedSize);
    if (status != 0) return status;
  }
  *oldData = token->bits;
  token->bits = bits.release();
  token->wordsPerRow = static_cast<uint16_t>(wordsPerRow);
  token->compressedSize = 0;
  return 0;
}

}  // namespace

int32_t InsertCompressedBoxPacked(QtzImage *page, int32_t x, int32_t y, int32_t width,
                                  int32_t height, const uint8_t *data, int32_t size, int32_t framed,
                                  QtzState *state) {
  return insertCompressed(page, x, y, width, height, data, size, framed != 0, nullptr, state);
}

int32_t InsertCompressedBoxPackedC(QtzImage *page, int32_t x, int32_t y, int32_t width,
                                   int32_t height, const uint8_t *data, int32_t size,
                                   int32_t framed, CcittDecoder *decoder, QtzState *state) {
  if (decoder == nullptr) return qtz::report(state, 118);
  return insertCompressed(page, x, y, width, height, data, size, framed != 0, decoder, state);
}

int32_t InsertResidual(QtzImage *page, const void *bitsOrData, int32_t size, int32_t x, int32_t y,
                       int32_t width, int32_t height, int32_t framed, QtzState *state) {
  if (size != 0) {
    const int32_t status =
        insertCompressed(page, x, y, width, height, static_cast<const uint8_t *>(bitsOrData), size,
                         framed != 0, nullptr, state);
    if (status != 0) std::fprintf(stderr, "problem uncompressing residual\n");
    return status;
  }
  if (width < 0 || height < 0 || width > UINT16_MAX || height > UINT16_MAX)
    return qtz::report(state, 2);
  QtzTokenBitmap token{static_cast<uint32_t *>(const_cast<void *>(bitsOrData)),
                       nullptr,
                       0,
                       static_cast<uint16_t>(width),
                       static_cast<uint16_t>(height),
                       static_cast<uint16_t>((width + 31) / 32)};
  return insertPackedAt(page, x, y, &token, framed != 0);
}

int32_t decompressSingleUseToken(QtzTokenBitmap *token, void **oldData, QtzState *state) {
  return decompress(token, oldData, nullptr, state);
}

int32_t decompressSingleUseTokenC(QtzTokenBitmap *token, void **oldData, CcittDecoder *decoder,
                                  QtzState *state) {
  if (decoder == nullptr) return qtz::report(state, 118);
  return decompress(token, oldData, decoder, state);
}

int32_t decompressAnyCompressedTokens(QtzTokenBitmap *tokens, int32_t count, QtzState *state) {
  for (int32_t i = 0; i < count; ++i) {
    QtzTokenBitmap &t = tokens[i];
    if (t.wordsPerRow != 0 || t.width == 0) continue;
    void *old = nullptr;
    const int32_t status = decompress(&t, &old, nullptr, state);
    if (status != 0) return status;
    qtz::release(state, old);
  }
  return 0;
}
