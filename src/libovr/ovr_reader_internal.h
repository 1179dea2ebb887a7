// The reading engine: page chain walk, IFD loading into layer records, page loading with its
// SubIFD chains, stripe lookup with its geometry and coding checks, layer merging, strip lookup
// by row and the global data table chain.
//
// Every walk over offsets read from the file is bounded: a chain whose next offsets repeat is
// corrupt (23), the page count is at most 65,535, and the IFDs of one page (their structure and
// the values they keep outside their entries) may take no more bytes than the file holds, so
// that overlapping IFDs of a crafted file cannot multiply the work or memory of one page.
#ifndef OVR_READER_H
#define OVR_READER_H

#include <cstdint>

#include "ovr_engine_internal.h"

namespace ovr {

// Finds a repeat in a chain where each offset follows from the one before, so that a repeat
// means the chain loops forever (Brent's method: the offset seen at each power-of-two step is
// kept, and the loop is found within twice its start plus length steps).
class LoopGuard {
 public:
  // True when offset closes a loop.
  bool repeats(uint64_t offset) {
    if (offset == saved_) return true;
    if (++steps_ == power_) {
      saved_ = offset;
      power_ *= 2;
      steps_ = 0;
    }
    return false;
  }

 private:
  uint64_t saved_ = UINT64_MAX;
  uint64_t power_ = 1;
  uint64_t steps_ = 0;
};

// Bytes of the file that the IFDs of one page may still take; once a request is refused the
// budget stays exhausted.
struct ReadBudget {
  uint64_t left = 0;
  bool exhausted = false;
  int32_t take(uint64_t bytes) {
    if (bytes > left) {
      exhausted = true;
      return OVR_ERR_CORRUPT;
    }
    left -= bytes;
    return OVR_OK;
  }
};

// Directory bytes that all pages of a file of this size may take together: twice the file
// (directories of distinct pages lie in distinct parts of a well-formed file) and some room.
inline uint64_t documentPageBudget(uint64_t fileSize) {
  return 2 * fileSize + 65536;
}

// Bytes of page and IFD records that all pages of a file of this size may take together. An
// IFD record holds its tag values and layer record (a few kilobytes) whatever the size of its
// directory in the file; an honest file spends at least some tens of bytes on each directory
// and its strips, so 32 times the file (and some room) never refuses one, while an IFD of six
// bytes shared by many pages cannot make a small file hold hundreds of times its size.
inline uint64_t documentRecordBudget(uint64_t fileSize) {
  return 32 * fileSize + (uint64_t{4} << 20);
}

// Strip bytes that the IFDs of all pages of a file of this size may hand out together. An
// honest file's IFDs hand out each strip once, a tail-strip IFD the strip of the IFD it follows
// again, and a JPEG strip with the tables merged in, which are a few hundred bytes: 8 times the
// file (and some room) never refuses one.
inline uint64_t documentStripBudget(uint64_t fileSize) {
  return 8 * fileSize + (uint64_t{1} << 20);
}

// Walks the page chain from the header's first IFD once, recording each primary IFD offset.
// 23 on a loop, 6 for more than 65,535 pages, 23 when an IFD lies outside the file.
int32_t walkPageChain(OvrDocument *doc);

// Reads the IFD at ifd->offset into its directory and derives its layer record; positions are
// in the grid of primary (ifd itself when null). Sets ifd->nextIfd as soon as the IFD's layout
// is read, so that a chain can step over an IFD that fails. Takes the global data table offset
// from the first IFD that gives one (directly or through a global parameters IFD). A coding or
// sample layout the library does not know leaves compression bits or colour kind 0; any status
// but 0 (10000 included, for a value the tag table refuses) is a failure of the IFD.
int32_t loadIfd(OvrDocument *doc, OvrIfdRecord *ifd, const OvrIfdRecord *primary,
                ReadBudget &budget);

// The loaded page record of index (loading it on first use). 2 for an index past the chain,
// 23 for a primary IFD offset below 8 or a corrupt page structure, or the failure of the primary
// IFD; a stripe IFD that fails to load is left out of the page.
int32_t loadPage(OvrDocument *doc, uint32_t index, OvrPageRecord **page);

// One stripe of a loaded page with its checked values (the layer record after the profile rules
// and the reader's checks). 2 for a layer or stripe out of range, 23 for a stripe outside the
// primary's area or without width, rows or coding; warnings 10000 / 10001 for codings the colour
// kind does not allow.
struct Stripe {
  OvrIfdRecord *ifd = nullptr;
  ProfileValues values;
};
int32_t findStripe(OvrPageRecord *page, uint32_t layer, uint32_t stripe, Stripe *out);

// A layer merged over its stripes: the first stripe's values with position and size grown over
// the others and compression bits OR-ed. palette receives the palette of palette kinds (2 when
// null for them). Warnings of single stripes are dropped.
int32_t mergeLayer(OvrPageRecord *page, uint32_t layer, uint8_t *palette, Stripe *merged);

// The strip of an IFD that starts at row: its index, rows (clamped to the image), offset and
// byte count. 2 when row starts no strip, 23 when the strip tables are too short for the row
// or missing (an empty stripe of 0 bytes in the MRC profiles).
struct StripSpan {
  uint32_t index = 0;
  uint32_t rows = 0;
  uint32_t offset = 0;
  uint32_t byteCount = 0;
};
int32_t locateStrip(const OvrIfdRecord *ifd, uint32_t row, StripSpan *span);

// The global data table entry of index, loading tables of the chain as needed. 23 for a document
// without a table, an index beyond the chain or a chain that loops; 21 when the table offset is 0.
int32_t findGlobalEntry(OvrDocument *doc, uint32_t index, GlobalEntry *entry);

// Walks the page chain and, once, loads page 0 (which gives the global data table offset).
// Only an allocation failure of page 0 is returned: a page 0 that cannot be loaded leaves the
// page count intact, and ovrGetPage reports its failure.
int32_t takeDocumentInfo(OvrDocument *doc);

// Handle layer: the engine records behind validated handles of a document open for reading
// (2 / 10000 for a bad handle, the kind dispatch of the document, 21 for a document open for
// writing or a page that is not loaded).
int32_t readingDocument(const OvrDocHandle *handle, OvrDocument **doc);
int32_t readingPage(const OvrPageHandle *handle, OvrPageRecord **page);
int32_t readingIfd(const OvrIfdHandle *handle, OvrIfdRecord **ifd);
// An engine result that is neither success nor a warning (10000 and above): warnings never fail
// a handle-layer call that has its result.
inline bool isEngineError(int32_t status) {
  return status != OVR_OK && status < OVR_ERR_NOT_ALLOWED;
}

}  // namespace ovr

#endif
