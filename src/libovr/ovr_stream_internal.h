// Stream primitives of the container library over a document's OvrStream, with the library's
// status codes: a failed or short read is 2000, a failed or short write 2001 (and marks the
// stream failed, after which every write is 12), a failed seek 2002, a failed seek to the end
// 2003. A missing hook fails like the hook itself.
//
// FileReader adds what decoding a file needs: the header's byte order and the file's size,
// against which every offset and length taken from the file is checked (64-bit arithmetic)
// before anything is read or allocated; a structure that reaches past the end is corrupt (23).
// Small reads go through one block of the file kept in the reader, so that the entries of a
// directory and the values beside it cost one seek and read of the stream, not one each; the
// file must not change while it is read.
#ifndef OVR_STREAM_H
#define OVR_STREAM_H

#include <cstddef>
#include <cstdint>

#include "ovr_bytes_internal.h"
#include "ovr_records_internal.h"

namespace ovr {

int32_t streamSeek(OvrStream &stream, uint64_t position);
int32_t streamRead(OvrStream &stream, void *buffer, size_t count);
int32_t streamWrite(OvrStream &stream, const void *buffer, size_t count);
int32_t streamSeekEnd(OvrStream &stream, uint64_t *end);

struct FileReader {
  static constexpr uint32_t kBlockBytes = 4096;

  OvrStream *stream = nullptr;
  ByteOrder order = ByteOrder::Little;
  uint64_t size = 0;  // bytes in the file
  // The block of the file read last for small reads: bytes [blockStart, blockStart + blockBytes).
  mutable uint64_t blockStart = 0;
  mutable uint32_t blockBytes = 0;
  mutable uint8_t block[kBlockBytes] = {};

  // 0 when [position, position + count) lies inside the file, else 23.
  int32_t checkExtent(uint64_t position, uint64_t count) const {
    return position <= size && count <= size - position ? OVR_OK : OVR_ERR_CORRUPT;
  }
  // Reads count bytes at position after checking the extent.
  int32_t readAt(uint64_t position, void *buffer, size_t count) const;
  // The u16 entry count and u32 next offset of a table laid out as count, count entries of
  // entrySize bytes, next offset (an IFD, a global data table); 23 when it does not lie inside
  // the file.
  int32_t readCountedTable(uint64_t offset, uint32_t entrySize, uint16_t *count,
                           uint32_t *next) const;
};

// A reader over a stream whose byte order is known (the stream's swap flag): learns the size by
// seeking to the end (2003 on failure).
int32_t openFileReader(OvrStream &stream, FileReader *reader);

}  // namespace ovr

#endif
