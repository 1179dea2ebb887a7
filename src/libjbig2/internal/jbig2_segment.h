// The decoder's record of one JBIG2 segment (ITU-T T.88, 7.2), the region segment information
// field (7.4.1), the type-specific data of every segment type, and the per-type tables through
// which the driver reaches the segment decoders: parse (stage 1), decode into the region's own
// image (stage 2), decode onto the page (stage 3) and release.
//
// Header parsing refuses, with 107, a referred-to number not below the segment's own, and
// bounds the referred-to count by the bytes left (2003 when the header runs past the data).
// Region information refuses sizes and positions of 2^31 or more, operators above 4 and set
// reserved bits (107). A header failure leaves no referred-to arrays allocated.
#ifndef NORV_JBIG2_SEGMENT_H
#define NORV_JBIG2_SEGMENT_H

#include <cstdint>

#include "jb2_stream.h"
#include "qtz_adt.h"
#include "qtz_blat.h"
#include "qtz_image.h"

struct Jbig2CodeTable;

// Combination operators of region segments (T.88, 7.4.1.5).
enum Jbig2CombOp : uint8_t { kOpOr = 0, kOpAnd = 1, kOpXor = 2, kOpXnor = 3, kOpReplace = 4 };

struct Jbig2RegionInfo {
  int32_t width;
  int32_t height;
  int32_t x;
  int32_t y;
  uint8_t op;
};

// A symbol of a dictionary: packed rows of 32-bit words, leftmost pixel in the top bit.
struct Jbig2Symbol {
  int32_t width;
  int32_t height;
  uint32_t *bitmap;
  int32_t wordsPerRow;
  uintptr_t user0;
  uintptr_t user1;
  uintptr_t extra;
};

struct Jbig2RefinedSymbol {
  int32_t width;
  int32_t height;
  uint32_t *bitmap;
  int32_t wordsPerRow;
};

struct Jbig2SymbolInstance {
  int32_t x;
  int32_t y;
  const Jbig2Symbol *symbol;
  Jbig2RefinedSymbol *refined;
  uintptr_t extra;
};

struct Jbig2GenericTemplate {
  uint8_t tmpl;
  int8_t atx[4];
  int8_t aty[4];
  uint8_t tpgdon;
};

struct Jbig2RefineTemplate {
  uint8_t tmpl;
  int8_t ratx[2];
  int8_t raty[2];
  uint8_t tpgron;
};

struct Jbig2Segment;

struct Jbig2GenericData {
  uint8_t mmr;
  Jbig2GenericTemplate t;
  uint8_t *data;
  size_t length;
};

struct Jbig2RefineData {
  Jbig2RefineTemplate t;
  uint8_t *data;
  size_t length;
  Jbig2Segment *refined;
};

struct Jbig2SymbolDictData {
  int32_t numExported;
  Jbig2Symbol *exported;
  uint8_t *genericCx;
  uint8_t *refineCx;
  // The coding choices the retained contexts belong to.
  uint8_t huff;
  uint8_t refagg;
  uint8_t tmpl;
  uint8_t rtmpl;
};

struct Jbig2TextData {
  int32_t count;
  Jbig2SymbolInstance *instances;
  uint8_t combop;
  uint8_t defpixel;
};

struct Jbig2Pattern {
  uint32_t *bitmap;
  int32_t wordsPerRow;
};

struct Jbig2PatternDictData {
  int32_t count;
  uint16_t width;
  uint16_t height;
  Jbig2Pattern *patterns;
};

struct Jbig2HalftoneData {
  QtzImage *gray;
  int32_t hgx;
  int32_t hgy;
  uint16_t hrx;
  uint16_t hry;
  uint8_t combop;
  uint8_t defpixel;
  Jbig2Segment *dict;
};

struct Jbig2PageInfo {
  uint32_t width;
  uint32_t height;
  uint32_t xres;
  uint32_t yres;
  uint8_t lossless;
  uint8_t refinements;
  uint8_t defaultPixel;
  uint8_t defaultOp;
  uint8_t auxBuffers;
  uint8_t opOverride;
  uint8_t striped;
  uint16_t maxStripe;
};

struct Jbig2ExtensionData {
  uint32_t type;
  int32_t pairs;
  char **names;
  char **values;
  uint8_t *raw;
  size_t rawLength;
};

struct Jbig2Segment {
  uint32_t number;
  uint32_t dataLength;
  uint32_t page;
  int32_t refCount;    // number of referred-to segments
  int32_t *refs;       // their numbers
  uint8_t *refRetain;  // their retention flags
  uint8_t type;
  uint8_t retain;  // this segment's own retention flag
  uint8_t flag7;
  Jbig2RegionInfo region;
  uint8_t imageOwned;
  QtzImage *image;
  int32_t references;  // reference count: 1 at creation
  union {
    Jbig2GenericData generic;
    Jbig2RefineData refine;
    Jbig2SymbolDictData dict;
    Jbig2TextData text;
    Jbig2PatternDictData patterns;
    Jbig2HalftoneData halftone;
    Jbig2PageInfo pageInfo;
    int32_t endRow;
    Jbig2CodeTable *table;
    Jbig2ExtensionData extension;
  } u;
};

enum : uint8_t {
  kSegSymbolDict = 0,
  kSegPatternDict = 16,
  kSegPageInfo = 48,
  kSegEndOfPage = 49,
  kSegEndOfStripe = 50,
  kSegEndOfFile = 51,
  kSegProfiles = 52,
  kSegTable = 53,
  kSegExtension = 62
};

inline bool isRegionType(uint8_t type) {
  return (type & 0x30) != 0x30 && (type & 0x0C) != 0;
}
inline bool isImmediateRegion(uint8_t type) {
  return (type & 0x02) != 0;
}
inline bool isRefinementType(uint8_t type) {
  return isRegionType(type) && (type & 0x0C) == 0x08;
}
inline bool isTextType(uint8_t type) {
  return type == 4 || type == 6 || type == 7;
}

int32_t parseSegmentHeader(Jb2File *stream, DataSource *source, Jbig2Segment *segment);
int32_t parseSegmentData(Jb2File *stream, DataSource *source, Jbig2Segment *segment,
                         Jbig2Segment **referred);
int32_t decodeRegionImage(Jb2File *stream, Jbig2Segment *segment);
int32_t decodeRegionOntoPage(Jb2File *stream, Jbig2Segment *segment, QtzImage *page);
// unknownHeight: the height may be 0xFFFFFFFF (immediate generic regions of unknown length).
int32_t parseRegionInfo(Jb2File *stream, DataSource *source, Jbig2RegionInfo *region,
                        bool unknownHeight = false);
// Resolves the referred-to numbers against the active list; *out is null when there are none.
int32_t resolveReferredSegments(Jb2File *stream, Jbig2Segment *segment, QtzAdtList *active,
                                Jbig2Segment ***out);
// Hands the referred-to code-table segments in order to the slots; 2 when the counts differ.
// slots[i] receives a table only where wantUser[i] is set.
int32_t pickTableSegments(const Jbig2CodeTable **slots, const bool *wantUser, int32_t slotCount,
                          Jbig2Segment **referred, int32_t referredCount, QtzState *state);
int32_t genericContextCount(int32_t tmpl);
int32_t ceilLog2(uint32_t n);
void releaseSegmentData(Jbig2Segment *segment, QtzState *state);

// 107 "region extends off page" unless x + width and y + height lie within the page.
int32_t regionInsidePage(const Jbig2Segment *seg, const QtzImage *page, QtzState *state);

// Blit code of a combination operator.
QtzBlitOp blitOpOf(uint8_t op);

// ---- Type decoders (each in its own file) ----
int32_t parseGenericRegion(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t decodeGenericRegionImage(Jb2File *, Jbig2Segment *);
int32_t decodeGenericRegionOntoPage(Jb2File *, Jbig2Segment *, QtzImage *);
void releaseGenericRegion(Jbig2Segment *, QtzState *);

int32_t parseRefinementRegion(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t decodeRefinementRegionImage(Jb2File *, Jbig2Segment *);
int32_t decodeRefinementRegionOntoPage(Jb2File *, Jbig2Segment *, QtzImage *);
void releaseRefinementRegion(Jbig2Segment *, QtzState *);

int32_t parseSymbolDict(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
void releaseSymbolDict(Jbig2Segment *, QtzState *);

int32_t parseTextRegion(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t decodeTextRegionImage(Jb2File *, Jbig2Segment *);
int32_t decodeTextRegionOntoPage(Jb2File *, Jbig2Segment *, QtzImage *);
void releaseTextRegion(Jbig2Segment *, QtzState *);

int32_t parsePatternDict(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
void releasePatternDict(Jbig2Segment *, QtzState *);
int32_t parseHalftoneRegion(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t decodeHalftoneRegionImage(Jb2File *, Jbig2Segment *);
int32_t decodeHalftoneRegionOntoPage(Jb2File *, Jbig2Segment *, QtzImage *);
void releaseHalftoneRegion(Jbig2Segment *, QtzState *);

int32_t parsePageInfo(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t parseEndOfPage(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t parseEndOfStripe(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t parseEndOfFile(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
int32_t parseExtension(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
void releaseExtension(Jbig2Segment *, QtzState *);

int32_t parseCodeTableSegment(Jb2File *, DataSource *, Jbig2Segment *, Jbig2Segment **);
void releaseCodeTableSegment(Jbig2Segment *, QtzState *);

#endif
