// The TIFF engine's records of an open document, shared by the reading and the writing engine:
// the document record (stream, byte order, profile code, page chain, loaded pages, global data
// table chain), the page record (layer counts, page attributes, primary IFD and the other IFDs
// sorted by stripe key) and the IFD record (file offset, role, layer record, directory values,
// strip tables, read state). Records open with a self pointer and the engine magic and come from
// the context's allocator; they are made and freed only through the functions below.
//
// A document opened for writing carries typed writer state in `writer` on each record (null for
// documents opened for reading). At close the writer's ovrFinishWrite finishes the file and
// releases every writer block hung on the document, its pages and IFDs (clearing the pointers)
// before the engine frees its records.
//
// ovrApplyProfile checks and completes one IFD's parameters against the document's TIFF-FX
// profile; both engines run it (see profile.cpp for the rules).
#ifndef OVR_ENGINE_H
#define OVR_ENGINE_H

#include <cstdint>

#include "ovr_list_internal.h"
#include "ovr_page_format_internal.h"
#include "ovr_records_internal.h"
#include "ovr_shared_data_internal.h"
#include "ovr_stream_internal.h"
#include "ovr_strips_internal.h"
#include "ovr_tags_internal.h"
#include "ovr_vocab_internal.h"

// Writer state of a document, page and IFD; defined by the writing engine.
struct OvrWriteDoc;
struct OvrWritePage;
struct OvrWriteIfd;

namespace ovr {

// Document state flags.
constexpr uint32_t kDocChainWalked = 0x1;
constexpr uint32_t kDocInfoTaken = 0x10;
constexpr uint32_t kDocWriting = 0x100;
// Page state flags.
constexpr uint32_t kPageLoaded = 0x1;
// IFD roles.
constexpr uint32_t kRolePrimary = 1;
constexpr uint32_t kRoleStripe = 2;
// IFD read state.
constexpr uint32_t kIfdReading = 0x10;

constexpr uint32_t kHeaderKindTiff = 7;
constexpr uint32_t kMaxPages = 65535;  // the page count is a 16-bit value
constexpr uint32_t kMaxLayers = 3;     // 1 background, 2 mask, 3 foreground
constexpr uint32_t kPaletteBytes = 768;
// The palette bytes a colour kind keeps: 16 or 256 (red, green, blue) entries, none for other
// kinds.
inline uint32_t paletteBytes(uint32_t colourKind) {
  if (colourKind == colour::kPalette4) return 3 * 16;
  return colourKind == colour::kPalette8 ? kPaletteBytes : 0;
}

// A page of a document being read: its record once loaded, or the status its load failed with.
struct PageSlot {
  OvrPageRecord *page = nullptr;
  int32_t failure = 0;
};

// What an IFD contributes to its page: its stripe key (layer 1-3, 0-based order), its position
// in pixels of the page's primary IFD grid, resolutions in dots per inch, size in pixels, rows
// per strip (0: strips of varying height), compression bits, colour kind, palette (R, G, B per
// entry, paletteBytes(colourKind) of them in the IFD record's palette block; null for other
// kinds) and photometric kind, in the vocabularies of ovr_vocab.h.
struct LayerRecord {
  StripeKey key;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t xRes = 0;
  uint32_t yRes = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rowsPerStrip = 0;
  uint32_t compressionBits = 0;
  uint32_t colourKind = 0;
  const uint8_t *palette = nullptr;
  uint32_t photometricKind = 0;
};

}  // namespace ovr

struct OvrDocument {
  explicit OvrDocument(const ovr::Allocator &a)
      : alloc(a), pageOffsets(a), pages(a), globalTables(a), globalTableEnds(a) {}

  void *self = nullptr;
  uint32_t magic = 0;
  uint32_t serial = 0;
  ovr::Allocator alloc;
  OvrStream *stream = nullptr;  // the document handle's stream record (hooks, swap, failed)
  ovr::FileReader reader;       // byte order and file size (reading)
  uint32_t state = 0;           // kDoc* flags
  uint8_t headerKind = ovr::kHeaderKindTiff;
  uint8_t subKind = 0;
  uint32_t kind = 0;
  uint32_t profileCode = 0;                // kind - 5 when created for writing; 0 when read
  uint32_t firstIfd = 0;                   // the header's first IFD offset
  uint32_t pageCount = 0;                  // at most kMaxPages
  ovr::RecordList<uint32_t> pageOffsets;   // primary IFD offsets in chain order
  ovr::RecordList<OvrPageRecord *> pages;  // loaded (or added) pages, sorted by index
  // Reading: one slot per page of the chain, the loaded page or the status it failed with, so
  // that a page is found by its index at once and a page that failed is not loaded again.
  ovr::OwnedArray<ovr::PageSlot> pageSlots;
  // Reading: the first failure of the page chain walk and of the global data table chain, given
  // again at once by every later call instead of walking the chain again (0: none).
  int32_t chainFailure = 0;
  int32_t globalChainFailure = 0;
  // Reading: bytes of engine records (page and IFD records) that pages loaded from now on may
  // still take, so that records stay within a multiple of the file's size however small the
  // directories that make them.
  uint64_t recordBytesLeft = 0;
  // Directory bytes that pages loaded from now on may still take, over all pages: loaded pages
  // stay until the document closes, and pages may share one stripe chain through their
  // SubIFDs, so a per-page bound alone would let a small file hold pages x file size.
  uint64_t pageBytesLeft = 0;
  // Strip bytes that IFDs loaded from now on may still hand out (their strips, JPEG strips with
  // the tables merged in), over all pages: strips are only checked to lie inside the file, so
  // crafted stripes may all point at one large strip, and stripes shared by many pages would
  // otherwise hand out pages x stripes x file size.
  uint64_t stripBytesLeft = 0;
  // Global data table chain: whether a table offset was given (tag 34689 or 437), the first
  // table's offset, the tables loaded so far, and whether the whole chain is loaded. On reading,
  // globalTableEnds[i] is the number of entries in tables 0 to i, so that an index finds its
  // table by binary search.
  bool hasGlobalTable = false;
  uint32_t globalTableOffset = 0;
  ovr::RecordList<ovr::GlobalTable> globalTables;
  ovr::RecordList<uint64_t> globalTableEnds;
  bool globalTablesComplete = false;
  // The per-layer IFD counts last handed to a caller (replaced by the next ovrGetPage).
  ovr::OwnedArray<uint32_t> handedLayerCounts;
  OvrWriteDoc *writer = nullptr;
};

struct OvrPageRecord {
  explicit OvrPageRecord(const ovr::Allocator &a) : ifds(a) {}

  void *self = nullptr;
  uint32_t magic = 0;
  OvrDocument *doc = nullptr;
  uint32_t index = 0;                          // 0-based
  uint32_t layerCounts[ovr::kMaxLayers] = {};  // IFDs per layer, index = layer - 1
  uint32_t layerCount = 0;                     // highest layer with a counted IFD
  ovr::PageAttributes attributes;
  OvrIfdRecord *primary = nullptr;       // role 1
  ovr::RecordList<OvrIfdRecord *> ifds;  // the other IFDs (role 2), sorted by stripe key
  uint32_t state = 0;                    // kPage* flags
  OvrWritePage *writer = nullptr;
  OvrPageHandle *handle = nullptr;  // the page's handle once one was made
};

struct OvrIfdRecord {
  explicit OvrIfdRecord(const ovr::Allocator &a) : dir(a) {}
  // The record's own arrays come from its directory's allocator like the directory's values.
  ~OvrIfdRecord() {
    dir.clear(palette);
    dir.clear(stripStarts);
    dir.clear(refIndices);
    dir.clear(refSizes);
  }
  OvrIfdRecord(const OvrIfdRecord &) = delete;
  OvrIfdRecord &operator=(const OvrIfdRecord &) = delete;

  void *self = nullptr;
  uint32_t magic = 0;
  OvrPageRecord *page = nullptr;
  uint64_t offset = 0;  // of the IFD in the file
  uint32_t role = 0;    // kRolePrimary or kRoleStripe
  // The IFD's values: read from the file, or as the profile rules completed them for writing
  // (the profile rules read the primary's resolutions, size and rows per strip from here).
  ovr::LayerRecord layer;
  ovr::ValueArray<uint8_t> palette;  // what layer.palette points at (palette kinds only)
  ovr::Directory dir;  // the values of every tag the library knows, with presence flags
  uint32_t entryCount = 0;
  uint32_t nextIfd = 0;
  ovr::StripLayout strips;  // into dir's tables (reading)
  // With StripRowCounts: the first row of each strip (reading), searched by the strip lookup.
  ovr::ValueArray<uint64_t> stripStarts;
  uint32_t readState = 0;  // kIfdReading
  uint32_t readMode = 0;
  // The global data references of the first strip and each block's length (reading; replaced
  // by the next ovrGetStripGlobalRefs).
  ovr::ValueArray<uint32_t> refIndices;
  ovr::ValueArray<uint32_t> refSizes;
  // Whether the references above were read (their first strip is read once), or the status
  // reading them failed with (given again at once), and the byte count of all strips.
  bool refsRead = false;
  int32_t refsFailure = 0;
  uint64_t stripBytes = 0;
  uint16_t rawCompression = 0;  // a raw Compression value to write (0: none set)
  OvrWriteIfd *writer = nullptr;
  OvrIfdHandle *handle = nullptr;  // the IFD's handle once one was made
};

namespace ovr {

// The engine records of a document handle (validated: 2 / 10000 as for any record).
int32_t engineDocument(const OvrDocHandle *handle, OvrDocument **doc);

// A document record over the handle's stream with its serial number from the context's engine
// object. 1 no memory.
int32_t createDocument(OvrIoContext *ctx, OvrStream *stream, uint32_t kind, OvrDocument **out);
// Frees every IFD record, page record and the document (writer blocks must be released first).
void destroyDocument(OvrDocument *doc);

// A page record of index, inserted into doc->pages before the first page of a greater or equal
// index, found by binary search (the writer renumbers the pages after it). 1 no memory.
int32_t createPage(OvrDocument *doc, uint32_t index, OvrPageRecord **out);
// Removes a page from doc->pages and frees it with its IFD records.
void destroyPage(OvrPageRecord *page);
// An IFD record of the page in `role`, in no list yet. 1 no memory.
int32_t createIfd(OvrPageRecord *page, uint32_t role, OvrIfdRecord **out);
void destroyIfd(OvrIfdRecord *ifd);
// Inserts a role-2 IFD into the page's sorted list at position at. 1 no memory.
int32_t insertStripe(OvrPageRecord *page, uint64_t at, OvrIfdRecord *ifd);

// One IFD's parameters as the profile rules read and complete them (colour space numbered like
// the photometric kinds).
struct ProfileValues {
  uint32_t layer = 0;
  uint32_t order = 0;
  uint32_t colourKind = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t xRes = 0;
  uint32_t yRes = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rowsPerStrip = 0;
  const uint8_t *palette = nullptr;
  uint32_t compressionBits = 0;
  uint32_t colourSpace = 0;
};

// Copies the position, resolutions and size that a layer record and profile values share.
template <typename From, typename To>
void copyPlacement(const From &from, To &to) {
  to.x = from.x;
  to.y = from.y;
  to.xRes = from.xRes;
  to.yRes = from.yRes;
  to.width = from.width;
  to.height = from.height;
}

// The profile values of a layer record (colour space from its photometric kind).
ProfileValues profileValuesOf(const LayerRecord &rec);

}  // namespace ovr

// Checks and completes the values of one IFD of page against the document's profile code. ifd
// is the IFD's record, or null before the record exists; the values are the primary IFD's when
// ifd is the page's primary or the page has none yet. Result 0, the warning 10001, or an error:
// 2 palette kind without a palette, 6 profile code 1, 10000 colour kind the profile does not
// allow, 12 or 23 a stripe that does not fit the primary's strips.
int32_t ovrApplyProfile(OvrPageRecord *page, const OvrIfdRecord *ifd, ovr::ProfileValues *values);

// The writer's close-time entry: finishes a document open for writing and releases its writer
// blocks. Defined by the writing engine; the document close calls it when doc->writer is set.
int32_t ovrFinishWrite(OvrDocHandle *doc);

#endif
