// Symbol dictionary segments (type 0, ITU-T T.88 6.5 and 7.4.2) and text region segments
// (types 4, 6 and 7, T.88 6.4 and 7.4.3) written by the encoder.
//
// A dictionary holds new symbols only, all exported (with its inputs' when asked), never refined
// or aggregated: arithmetic
// coded (each symbol a generic-template bitmap) or Huffman coded (height classes, each with one
// collective bitmap, MMR when that is smaller than the plain bitmap). Symbols are coded by
// height, then width, then their place in the array; with keepOrder the record's array is left
// in that order, so that a symbol's ID is its index.
//
// A text region places instances of the symbols of the dictionaries it refers to. Before
// coding it is planned: transposition (when the instances line up in columns rather than
// rows), the reference corner (BOTTOMLEFT, or TOPLEFT when transposed), SBDSOFFSET (the
// commonest gap between neighbours), the strip size (the cheapest by an estimate of the coded
// bits), the instance order (strip, then S) and, for Huffman coding, the FS, DS and DT tables
// (standard or custom, by cost) and the symbol-ID code (from the use counts).
//
// The coding choices come from the stream's options: byte 0 arithmetic dictionaries, byte 1
// custom dictionary tables allowed, byte 2 fixed dictionary tables, byte 3 and 4-11 the
// template and AT pixels of arithmetic symbol bitmaps, byte 12 TPGDON (must be 0 for
// dictionaries: 107), byte 13 arithmetic text regions, byte 14 custom text tables allowed,
// byte 15 fixed text tables, byte 16 reference corner BOTTOMLEFT only (a transposed plan is
// then 10003), byte 17 never transposed.
//
// Custom Huffman tables are written as table segments before the segment that uses them and
// appended to its referred-to list (the caller frees the list). Failures: 1 out of memory,
// 2001 short writes (reported); 2 for input the stream cannot carry (symbols of size 0 or above
// 2^24 per side, a collective bitmap or instance position out of the decodable range, more than
// 2^24 symbols, a strip step below 1 with fixed tables); 10003 for inconsistent records (wrong
// type, referred-to lists that do not match the dictionaries given, an instance whose symbol
// is in none of them). Bytes already in the sink stay there on failure.
#ifndef NORV_JBIG2_SYMBOL_ENCODE_H
#define NORV_JBIG2_SYMBOL_ENCODE_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_seg_write.h"
#include "jbig2_segment.h"

// A symbol dictionary to write: symbols[i] is {width, height, bitmap, words per row, ...}.
struct Jbig2SymbolDictRecord {
  Jbig2SegHeader header;  // type 0; refers to the input dictionaries, if any
  int32_t numSymbols;
  Jbig2Symbol *symbols;
  bool exportInputs;  // the input dictionaries' symbols are exported too, before the new ones
};

// A text region to write: instance i places symbol instances[i].symbol with its top-left pixel
// at (x, y) of the region.
struct Jbig2TextRegionRecord {
  Jbig2SegHeader header;  // type 4, 6 or 7; refers to the symbol dictionaries
  Jbig2RegionInfo region;
  int32_t numInstances;
  Jbig2SymbolInstance *instances;
};

// Called with the symbols or instances in coding order before anything of the segment is
// written; a non-zero status stops the coding with that status.
typedef int32_t (*Jbig2SymbolOrderFn)(const Jbig2Symbol *const *symbols, int32_t count, void *user);
typedef int32_t (*Jbig2InstanceOrderFn)(const Jbig2SymbolInstance *const *instances, int32_t count,
                                        void *user);

// Writes a symbol dictionary. inputs (numInputs entries, matching the header's referred-to
// segments) are dictionaries whose symbols precede the new ones; they are exported only when the
// record says so.
int32_t encodeSymbolDict(Jb2File *stream, Jbig2SymbolDictRecord *dict,
                         const Jbig2SymbolDictRecord *const *inputs, int32_t numInputs,
                         Jbig2SymbolOrderFn order, void *user, bool keepOrder);

// Writes a text region. dicts holds one record per referred-to segment of the header, in the
// same order; symbol IDs run over them in that order. With keepOrder the instances are coded
// in the caller's order: not transposed, REFCORNER TOPLEFT, one strip (2 when byte 16 of the
// options is set).
int32_t encodeTextRegion(Jb2File *stream, Jbig2TextRegionRecord *region,
                         const Jbig2SymbolDictRecord *const *dicts, Jbig2InstanceOrderFn order,
                         void *user, bool keepOrder);

// ---- Planning (exposed for tests) ----

// Layout of a text region: T and S of an instance and its size in S.
struct Jbig2TextLayout {
  bool transposed;
  uint8_t refCorner;  // 0 BOTTOMLEFT, 1 TOPLEFT
  int32_t logStrips;  // LOGSBSTRIPS
  int32_t dsOffset;   // SBDSOFFSET, -16 to 15
  int64_t stripT;     // initial STRIPT
};

// T, S and the size in S of an instance under the layout.
struct Jbig2InstanceKey {
  int64_t t;
  int64_t s;
  int64_t size;
};
Jbig2InstanceKey instanceKey(const Jbig2TextLayout &layout, const Jbig2SymbolInstance &in);

// Transposed when the most crowded left column (x within the width) holds more instances than
// the most crowded bottom row (y + height - 1 within the height).
int32_t chooseTransposed(const Jbig2SymbolInstance *instances, int32_t count, int32_t width,
                         int32_t height, QtzState *state, bool *transposed);
// SBDSOFFSET, LOGSBSTRIPS and the initial STRIPT for the layout's transposition and corner.
int32_t chooseStripsAndOffset(const Jbig2SymbolInstance *instances, int32_t count,
                              Jbig2TextLayout *layout, QtzState *state);
// The instances in coding order: by T >> LOGSBSTRIPS, then S, then their place in the array.
void sortTextInstances(const Jbig2TextLayout &layout, const Jbig2SymbolInstance **order,
                       int32_t count);

// Estimated bits of a DS, DT and FS value (the strip-size choice).
int32_t dsCostBits(int64_t d);
int32_t dtCostBits(int64_t d);
int32_t fsCostBits(int64_t d);

#endif
