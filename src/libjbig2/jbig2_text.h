// Text region decoding (ITU-T T.88 6.4): the instance loop shared by text region segments and
// the aggregate symbols of symbol dictionaries, and drawing instances into bitmaps.
#ifndef NORV_JBIG2_TEXT_H
#define NORV_JBIG2_TEXT_H

#include "jbig2_huffman.h"
#include "jbig2_refine.h"

struct Jbig2TextParams {
  bool huffman;
  bool refine;
  bool transposed;
  int refCorner;  // 0 bottom-left, 1 top-left, 2 bottom-right, 3 top-right
  int logStrips;
  int dsOffset;
  Jbig2RefineTemplate rt;
  // Integer decoders (Huffman tables or IAx contexts); it is IAIT (arithmetic only).
  Jbig2IntDecoder *dt, *fs, *ds, *it, *ri, *rdw, *rdh, *rdx, *rdy;
  const Jbig2CodeTable *rsize;  // Huffman refinements
  // Symbol IDs: Huffman table of the symbols, a fixed code length (Huffman aggregates), or
  // IAID contexts with the code length.
  const Jbig2CodeTable *idTable;
  bool idFixed;
  uint8_t *idCx;
  int32_t idCodeLength;
  const Jbig2Symbol *const *symbols;
  uint32_t numSymbols;
  JbitFile *bits;
  MqDecoder *mq;
  DataSource *source;
  uint8_t *refineCx;
};

// Decodes count instances into the zeroed array; refined symbols are allocated per instance.
int32_t decodeTextInstances(const Jbig2TextParams &p, int32_t count, Jbig2SymbolInstance *instances,
                            QtzState *state);
// Blits each instance (refined symbol or symbol) with op, clipped to the bitmap.
void drawInstancesIntoBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                             const Jbig2SymbolInstance *instances, int32_t count, QtzBlitOp op,
                             QtzState *state);
void freeInstances(Jbig2SymbolInstance *instances, int32_t count, QtzState *state);

// Upper bound on instance and symbol counts for dataBytes bytes of coded data.
inline int64_t jbCountBound(size_t dataBytes) {
  return static_cast<int64_t>(dataBytes) * 256 + 1024;
}

#endif
