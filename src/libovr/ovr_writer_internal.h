// The writing engine: the writer state hung on a document opened for writing, its pages and IFDs,
// and the operations that lay out the file.
//
// The file is only ever appended to, except for patches of values already laid out. Everything
// appended (strips, directories, out-of-line values, global data blocks and tables) starts at a
// multiple of 4, the gap filled with zero bytes. A directory is written in two passes over one
// entry list: pass 0 counts the entries and places the directory, pass 1 writes each entry. The
// positions of values that change later (strip tables, SubIFDs, coding options, the global
// parameters' CodingMethods and global table offset) are remembered and patched in place.
//
// Every offset of the file is a 32-bit value, so a file that would grow past 4 GiB cannot be
// written: appending beyond that is a failed write (2001). Failed writes give 2001, failed seeks
// 2002, failed seeks to the end 2003; each marks the stream failed, after which every write gives
// 12 and the close 2001. A missing patch position is 12.
#ifndef OVR_WRITER_H
#define OVR_WRITER_H

#include <cstdint>
#include <span>

#include "ovr_engine_internal.h"

namespace ovr {

// The writer always writes little-endian files.
constexpr ByteOrder kWriteOrder = ByteOrder::Little;

// Where a value that may be patched later lies: its entry and its first value byte (the entry's
// own value field when the value fits in it). entry is 0 when the entry was not written.
struct EntryPatch {
  uint64_t entry = 0;
  uint64_t value = 0;
  bool present() const { return entry != 0; }
};

// One strip of an IFD whose strips vary in height.
struct StripRun {
  uint32_t offset = 0;
  uint32_t bytes = 0;
  uint32_t rows = 0;
};

// A piece of bytes to write.
struct ByteRange {
  const void *data = nullptr;
  uint64_t size = 0;
};

// IFD writing states.
enum class IfdState : uint8_t { Added, Coded, Ended };

}  // namespace ovr

struct OvrWriteDoc {
  explicit OvrWriteDoc(const ovr::Allocator &a) : tableBlockLengths(a) {}

  uint32_t codingMethods = 0;         // CodingMethods bits of the IFDs written so far
  uint32_t codingMethodsWritten = 0;  // the value the global parameters IFD holds
  uint32_t globalIfd = 0;             // offset of the global parameters IFD, 0 until written
  ovr::EntryPatch codingMethodsPatch;
  ovr::EntryPatch globalTablePatch;  // the 34689 value
  // Block length of the one entry of each global data table in doc->globalTables (0: free).
  ovr::RecordList<uint32_t> tableBlockLengths;
};

struct OvrWritePage {
  bool open = true;
};

struct OvrWriteIfd {
  explicit OvrWriteIfd(const ovr::Allocator &a) : runs(a) {}

  ovr::IfdState state = ovr::IfdState::Added;
  uint32_t mode = 0;  // as given to ovrSetCoding; bit 0x200 (JPEGTables) has no data to write
  uint32_t quality = 0;
  ovr::EntryPatch stripOffsets;
  ovr::EntryPatch stripByteCounts;
  ovr::EntryPatch stripRowCounts;
  ovr::EntryPatch subIfds;
  ovr::EntryPatch codingOptions;
  ovr::EntryPatch pageNumber;      // primary IFDs: the PageNumber value, set in page order at close
  uint32_t pageNumberWritten = 0;  // the page index that value holds
  // Strips written so far (their offsets and byte counts are in the IFD's directory record).
  uint32_t stripsWritten = 0;
  // Strips of varying height collected so far, their rows, and whether their tables are written.
  ovr::RecordList<ovr::StripRun> runs;
  uint64_t runRows = 0;
  bool runTablesWritten = false;
  uint32_t referringHeader = 0;  // bytes of the referring-strip header of the IFD's strip
  bool tailAdded = false;        // a tail-strip IFD shares the strip
};

namespace ovr {

// ---- file primitives ----

// Seeks to position and writes count bytes; a failed seek marks the stream failed (2002).
int32_t writeAt(OvrStream &stream, uint64_t position, const void *bytes, size_t count);
// Seeks to 0 and writes "II", 42 and the first IFD offset.
int32_t ovrWriteHeader(OvrStream &stream, uint32_t firstIfdOffset);
// Seeks to the end and pads it with zero bytes to a multiple of 4; position is the padded end.
int32_t ovrAlignEnd(OvrStream &stream, uint64_t *position);
// Pads the end and checks that `bytes` more fit below 4 GiB (2001 otherwise); offset is the
// padded end, where the stream now stands.
int32_t beginAppend(OvrStream &stream, uint64_t bytes, uint32_t *offset);
// Appends the pieces one after the other at the padded end; offset is where the first begins.
// 2001 when the bytes would reach beyond the 32-bit offsets of the file.
int32_t appendAligned(OvrStream &stream, std::span<const ByteRange> pieces, uint32_t *offset);
// Appends `count` 32-bit units encoded as units of type (1-, 2- or 4-byte units; 2 for a unit
// that does not fit); offset is where they begin.
int32_t appendUnits(OvrStream &stream, uint16_t type, const uint32_t *units, uint64_t count,
                    uint32_t *offset);
// Writes a 32-bit value (file order) at position.
int32_t patch32(OvrStream &stream, uint64_t position, uint32_t value);

// ---- directories ----

// A directory in the file: offset and entry count.
struct DirectoryPlace {
  uint64_t offset = 0;
  uint32_t count = 0;
};

// Appends the 12n + 6 zero bytes of a directory of n entries; offset is where they begin.
int32_t ovrPlaceDirectory(OvrStream &stream, uint32_t entryCount, uint32_t *offset);
// Writes a placed directory's entry count.
int32_t writeEntryCount(OvrStream &stream, uint64_t offset, uint32_t count);
// Writes entry *entryIndex of the directory: tag, type, count and the value given as 32-bit
// units (a rational is two), inside the entry when count x type size is at most 4 bytes, else at
// the padded end of the file. patch (may be null) receives where the entry and its value lie.
// 12 when the index is not below the directory's entry count.
int32_t ovrWriteEntry(OvrStream &stream, const DirectoryPlace &dir, uint16_t tag, uint16_t type,
                      uint32_t count, const uint32_t *units, uint32_t *entryIndex,
                      EntryPatch *patch);

// One pass over a directory's entry list: pass 0 only counts (checking each value as pass 1
// would), pass 1 writes every entry. After a failure every later entry is skipped and status()
// keeps the first failure.
class EntryPass {
 public:
  // A counting pass.
  explicit EntryPass(OvrStream &stream) : stream_(stream) {}
  // A writing pass over a placed directory.
  EntryPass(OvrStream &stream, const DirectoryPlace &dir)
      : stream_(stream), dir_(dir), writing_(true) {}

  bool writing() const { return writing_; }
  uint32_t entries() const { return index_; }
  int32_t status() const { return status_; }
  // Takes the result of work done for an entry (such as writing an IFD it refers to).
  void note(int32_t status) {
    if (status_ == OVR_OK) status_ = status;
  }
  void add(uint16_t tag, uint16_t type, uint32_t count, const uint32_t *units,
           EntryPatch *patch = nullptr);
  // One value of type LONG, SHORT, BYTE or IFD.
  void add1(uint16_t tag, uint16_t type, uint32_t value, EntryPatch *patch = nullptr) {
    add(tag, type, 1, &value, patch);
  }

 private:
  OvrStream &stream_;
  DirectoryPlace dir_;
  bool writing_ = false;
  uint32_t index_ = 0;
  int32_t status_ = OVR_OK;
};

// The entry lists: a page IFD's and the global parameters IFD's (its tags by profile code).
int32_t ovrWritePageDirectory(OvrIfdRecord &ifd, EntryPass &pass);
int32_t ovrWriteGlobalDirectory(OvrDocument &doc, EntryPass &pass);
// Writes the global parameters IFD (both passes) and remembers where its patchable values lie.
int32_t writeGlobalParameters(OvrDocument &doc);
// Writes a page IFD: both passes (placing the directory unless the IFD has one), its next-IFD
// offset, and adds its coding to the document's CodingMethods bits.
int32_t ovrWriteDirectory(OvrIfdRecord &ifd);

// Samples per pixel and bits per sample of a colour kind (kind 11: 21; unknown kinds: 6), and
// the PhotometricInterpretation value of a colour kind, coding and colour space.
struct SampleLayout {
  uint32_t samples = 0;
  uint32_t bits = 0;
};
int32_t sampleLayout(uint32_t colourKind, SampleLayout *layout);
uint32_t photometricValue(uint32_t colourKind, uint32_t compressionBits, uint32_t colourSpace);
// The number of strips of fixed height (ceil(height / rows per strip)); 0 for varying heights.
uint64_t fixedStripCount(const LayerRecord &layer);

// ---- linking ----

// Writes the next-IFD field of a written IFD.
int32_t ovrWriteNextPointer(OvrStream &stream, OvrIfdRecord &ifd, uint32_t next);
// A primary IFD goes into the header (page 0) or the previous page's primary IFD (21 when that
// one is not written yet); the page offset list follows.
int32_t ovrLinkPrimaryIfd(OvrIfdRecord &ifd);
// A stripe IFD follows the last written IFD of its layer that ends a chain, or else goes into
// its SubIFDs slot (growing the array when the slot lies beyond it).
int32_t ovrLinkStripeIfd(OvrIfdRecord &ifd);
// Replaces the stored reference to an IFD that moved from oldOffset to its current offset.
int32_t ovrPatchIfdReference(OvrIfdRecord &ifd, uint32_t oldOffset);

// ---- strips ----

// Makes the in-memory tables a directory is written from: for an IFD of fixed strip height one
// zero element per strip in StripOffsets and StripByteCounts (2 when such tables could not
// lie in a file), and one zero SubIFDs slot for a primary IFD of the MRC profiles.
int32_t prepareDirectoryTables(OvrIfdRecord &ifd);
// Appends one strip (the pieces, in order) covering rows [firstRow, firstRow + rows) and
// records it in the strip tables. Fixed heights need firstRow to start a strip and rows to be
// that strip's rows; varying heights need the strips in order. 2 otherwise.
int32_t appendStrip(OvrIfdRecord &ifd, uint32_t firstRow, uint32_t rows,
                    std::span<const ByteRange> pieces);
// Fixed heights: writes strip index's offset and byte count into both tables.
int32_t ovrPatchStripTables(OvrIfdRecord &ifd, uint32_t index, uint32_t offset, uint32_t bytes);
// Varying heights: writes StripOffsets, StripByteCounts and StripRowCounts of the strips
// collected and patches their entries.
int32_t ovrWriteStripTables(OvrIfdRecord &ifd);

// ---- shared data ----

// Adds a global data table entry for a block; index is its position over the table chain.
int32_t ovrAddGlobalTableEntry(OvrDocument &doc, uint32_t blockLength, uint32_t blockOffset,
                               uint32_t *index);

// ---- records ----

// The writer blocks, from the document's allocator; releasing one clears the pointer to it.
int32_t makeWriterDoc(OvrDocument &doc);
int32_t makeWriterPage(const Allocator &alloc, OvrWritePage **page);
int32_t makeWriterIfd(const Allocator &alloc, OvrWriteIfd **ifd);
void releaseWriter(const Allocator &alloc, OvrWriteDoc *&block);
void releaseWriter(const Allocator &alloc, OvrWritePage *&block);
void releaseWriter(const Allocator &alloc, OvrWriteIfd *&block);

// The engine records behind the handles of a document open for writing: the handle checks with
// `unsupported` for document kinds 1-5, then 21 when the document is not open for writing.
int32_t writingDocument(OvrDocHandle *handle, OvrDocument **doc);
int32_t writingPage(OvrPageHandle *handle, OvrPageRecord **page);
int32_t writingIfd(OvrIfdHandle *handle, OvrIfdRecord **ifd,
                   int32_t unsupported = OVR_ERR_UNSUPPORTED);

// Adds an IFD record to an open page (21 otherwise): the profile rules with compression bits 0
// and colour space 0 (their errors below 10000 fail the call), the record with its writer block,
// the page's primary IFD or a stripe placed by its key (order = the IFDs of its layer so far),
// counted in its layer. The page's first IFD must be on layer 1 or 2 (21); further IFDs need an
// MRC profile (2); layers outside 1-3 and a width or height of 0 are 2.
int32_t addIfdRecord(OvrPageRecord &page, ProfileValues values, OvrIfdRecord **out);
// Takes an IFD record that addIfdRecord made out of its page again and frees it.
void removeIfdRecord(OvrIfdRecord *ifd);

}  // namespace ovr

#endif
