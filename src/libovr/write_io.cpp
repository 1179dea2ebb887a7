// File primitives of the writer: the header, padding the end of the file to a multiple of 4,
// appending pieces of bytes or encoded values there (values in small chunks, so that no buffer
// of a table's size is needed), and patching a 32-bit value in place.
//
// The end is found with the seek-to-end hook (2003) and then sought explicitly (2002), so that a
// hook that only reports the end still leaves the stream there. A write at a position where the
// stream's tell hook says it stands already is not preceded by a seek. A failed seek marks the
// stream failed like a failed write: the file is left in an unknown state, and the close reports
// it. Bytes that would reach beyond 4 GiB cannot be addressed by the file's 32-bit offsets;
// appending them is a failed write (2001) and nothing is written.
#include "ovr_format_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {

namespace {

// A seek that fails while writing leaves the file in an unknown state: the stream is marked
// failed, as after a failed write, so that the close reports it.
int32_t failOnError(OvrStream &stream, int32_t status) {
  if (status != OVR_OK) stream.failed = 1;
  return status;
}

// Whether the stream's tell hook puts it at position already: directory entries written one
// after another then need no seek between them (a seek makes a buffered stream hand over its
// bytes). The writer only writes, so no seek is owed between a read and a write.
bool atPosition(OvrStream &stream, uint64_t position) {
  if (stream.tell == nullptr) return false;
  const int64_t at = stream.tell(stream.client);
  return at >= 0 && static_cast<uint64_t>(at) == position;
}

}  // namespace

int32_t writeAt(OvrStream &stream, uint64_t position, const void *bytes, size_t count) {
  const bool there = atPosition(stream, position);
  int32_t status = there ? OVR_OK : failOnError(stream, streamSeek(stream, position));
  if (status == OVR_OK) status = streamWrite(stream, bytes, count);
  return status;
}

int32_t ovrWriteHeader(OvrStream &stream, uint32_t firstIfdOffset) {
  uint8_t bytes[kHeaderSize];
  encodeHeader(FileHeader{kWriteOrder, firstIfdOffset}, bytes);
  return writeAt(stream, 0, bytes, sizeof bytes);
}

int32_t ovrAlignEnd(OvrStream &stream, uint64_t *position) {
  uint64_t end = 0;
  int32_t status = failOnError(stream, streamSeekEnd(stream, &end));
  if (status == OVR_OK && !atPosition(stream, end))
    status = failOnError(stream, streamSeek(stream, end));
  if (status != OVR_OK) return status;
  static const uint8_t kZeros[3] = {};
  const uint64_t pad = (4 - end % 4) % 4;
  status = streamWrite(stream, kZeros, pad);
  if (status == OVR_OK) *position = end + pad;
  return status;
}

int32_t beginAppend(OvrStream &stream, uint64_t bytes, uint32_t *offset) {
  uint64_t position = 0;
  int32_t status = ovrAlignEnd(stream, &position);
  if (status != OVR_OK) return status;
  if (position > UINT32_MAX || bytes > UINT32_MAX - position) return OVR_ERR_WRITE;
  *offset = static_cast<uint32_t>(position);
  return OVR_OK;
}

int32_t appendAligned(OvrStream &stream, std::span<const ByteRange> pieces, uint32_t *offset) {
  uint64_t total = 0;
  for (const ByteRange &piece : pieces) {
    if (piece.size > UINT32_MAX) return OVR_ERR_WRITE;
    total += piece.size;
  }
  uint32_t position = 0;
  int32_t status = beginAppend(stream, total, &position);
  if (status != OVR_OK) return status;
  for (const ByteRange &piece : pieces) {
    status = streamWrite(stream, piece.data, static_cast<size_t>(piece.size));
    if (status != OVR_OK) return status;
  }
  *offset = position;
  return OVR_OK;
}

int32_t appendUnits(OvrStream &stream, uint16_t type, const uint32_t *units, uint64_t count,
                    uint32_t *offset) {
  const uint32_t size = fieldUnitSize(type);
  if (size == 0 || size == 8) return OVR_ERR_UNSUPPORTED;
  int32_t status = beginAppend(stream, count * size, offset);
  uint8_t chunk[256];
  const uint64_t perChunk = sizeof chunk / size;
  for (uint64_t i = 0; status == OVR_OK && i < count; i += perChunk) {
    const uint64_t n = count - i < perChunk ? count - i : perChunk;
    status = storeUnits(kWriteOrder, type, units + i, n, chunk);
    if (status == OVR_OK) status = streamWrite(stream, chunk, static_cast<size_t>(n * size));
  }
  return status;
}

int32_t patch32(OvrStream &stream, uint64_t position, uint32_t value) {
  uint8_t bytes[4];
  store32(bytes, value, kWriteOrder);
  return writeAt(stream, position, bytes, sizeof bytes);
}

}  // namespace ovr
