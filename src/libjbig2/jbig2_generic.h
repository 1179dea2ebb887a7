// Generic region decoding (ITU-T T.88, 6.2): the arithmetic procedure over packed bilevel
// rows (templates 0 to 3, TPGDON, AT pixels, an optional skip bitmap) and the MMR routine,
// offered to the symbol dictionary, pattern dictionary and halftone decoders.
//
// The optimised procedure forms each context from three shift registers, one per template row,
// fed from 64-bit windows over the row words: pixels left of column 0, right of the last column
// and above row 0 read as 0 without a bounds test. Templates whose AT pixels are at their
// nominal places take them from the same registers; moved AT pixels are fetched with bounds
// tests. decodeGenericReference is the plain per-pixel transcription of 6.2.5.7, kept for
// differential tests.
#ifndef NORV_JBIG2_GENERIC_H
#define NORV_JBIG2_GENERIC_H

#include <cstdint>

#include "jbig2_segment.h"
#include "mq_coder.h"

// A packed bitmap: rows of wordsPerRow 32-bit words, leftmost pixel in the top bit.
struct Jbig2Bitmap {
  uint32_t *words;
  int32_t width;
  int32_t height;
  int32_t wordsPerRow;
};

// Decodes into a zeroed bitmap. skip (null or of the same size): pixels whose bit is 1 are
// not decoded and stay 0.
void decodeGenericWords(const Jbig2Bitmap &image, const Jbig2GenericTemplate &t, uint8_t *cx,
                        MqDecoder *dec, const Jbig2Bitmap *skip);
void decodeGenericReference(const Jbig2Bitmap &image, const Jbig2GenericTemplate &t, uint8_t *cx,
                            MqDecoder *dec, const Jbig2Bitmap *skip);

// The same over a type-100 image.
void decodeGenericTemplate(QtzImage *image, const Jbig2GenericTemplate *t, uint8_t *cx,
                           MqDecoder *dec, const QtzImage *skip);
// Over a caller's bitmap; null contexts are allocated zeroed for the template and freed.
int32_t decodeGenericBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                            const Jbig2GenericTemplate *t, uint8_t *cx, MqDecoder *dec,
                            QtzState *state);
// MMR-decodes byteCount bytes of the source into the caller's bitmap at column x, clipped.
int32_t decodeMmrFromStream(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                            int32_t x, int32_t clipRight, int32_t clipBottom, DataSource *source,
                            size_t byteCount, QtzState *state);
// MMR-decodes a buffer; *left receives the bytes not consumed.
int32_t decodeMmrBuffer(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                        const uint8_t *data, size_t length, size_t *left, QtzState *state);

// T.88 checks of AT pixels; 2 "bad AT params".
int32_t checkAtPixels(const Jbig2GenericTemplate &t, QtzState *state);

inline Jbig2Bitmap bitmapOf(QtzImage *image) {
  return {
      image->hdr.height > 0 ? reinterpret_cast<uint32_t *>(image->rows[image->hdr.yoff]) : nullptr,
      image->hdr.width, image->hdr.height, image->hdr.bytesPerLine / 4};
}

#endif
