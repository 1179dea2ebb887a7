// Generic refinement region decoding (ITU-T T.88, 6.3): templates 0 (13 pixels, two of them
// RAT) and 1 (10 pixels), TPGRON, reference pixels at (x - dx, y - dy), 0 outside the
// reference. The optimised procedure keeps five shift registers (rows y - 1 and y of the
// region, rows y - dy - 1 to y - dy + 1 of the reference) fed from 64-bit windows;
// decodeRefinementReference is the per-pixel transcription kept for differential tests.
#ifndef NORV_JBIG2_REFINE_H
#define NORV_JBIG2_REFINE_H

#include "jbig2_generic.h"

void decodeRefinementWords(const Jbig2Bitmap &image, const Jbig2Bitmap &reference, int32_t dx,
                           int32_t dy, const Jbig2RefineTemplate &t, uint8_t *cx, MqDecoder *dec);
void decodeRefinementReference(const Jbig2Bitmap &image, const Jbig2Bitmap &reference, int32_t dx,
                               int32_t dy, const Jbig2RefineTemplate &t, uint8_t *cx,
                               MqDecoder *dec);

int32_t refinementContextCount(int32_t tmpl);
// 2 "bad RAT params" unless the RAT pixels are allowed for the template.
int32_t checkRatPixels(const Jbig2RefineTemplate &t, QtzState *state);
int32_t readRatPixels(DataSource *src, Jbig2RefineTemplate *t, size_t *bytes, QtzState *state);
// Over caller bitmaps; null contexts are allocated zeroed and freed (1 when they cannot be).
int32_t decodeRefinementBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                               const uint32_t *refRows, int32_t refWidth, int32_t refHeight,
                               int32_t refWordsPerRow, int32_t dx, int32_t dy,
                               const Jbig2RefineTemplate *t, uint8_t *cx, MqDecoder *dec,
                               QtzState *state);

#endif
