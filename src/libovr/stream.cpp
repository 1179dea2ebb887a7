// Stream primitives over the caller's hooks and the bounds-checked file reader.
#include <algorithm>
#include <cstring>

#include "ovr_stream_internal.h"

namespace ovr {

int32_t streamSeek(OvrStream &stream, uint64_t position) {
  if (stream.seek == nullptr || position > static_cast<uint64_t>(INT64_MAX)) return OVR_ERR_SEEK;
  const int64_t reached = stream.seek(stream.client, static_cast<int64_t>(position));
  return reached >= 0 && static_cast<uint64_t>(reached) == position ? OVR_OK : OVR_ERR_SEEK;
}

int32_t streamRead(OvrStream &stream, void *buffer, size_t count) {
  if (count == 0) return OVR_OK;
  if (stream.read == nullptr) return OVR_ERR_READ;
  const int64_t got = stream.read(stream.client, buffer, count);
  return got >= 0 && static_cast<uint64_t>(got) == count ? OVR_OK : OVR_ERR_READ;
}

int32_t streamWrite(OvrStream &stream, const void *buffer, size_t count) {
  if (stream.failed) return OVR_ERR_INTERNAL;
  if (count == 0) return OVR_OK;
  const int64_t put = stream.write ? stream.write(stream.client, buffer, count) : -1;
  if (put >= 0 && static_cast<uint64_t>(put) == count) return OVR_OK;
  stream.failed = 1;
  return OVR_ERR_WRITE;
}

int32_t streamSeekEnd(OvrStream &stream, uint64_t *end) {
  const int64_t at = stream.seekEnd ? stream.seekEnd(stream.client) : -1;
  if (at < 0) return OVR_ERR_SEEK_END;
  *end = static_cast<uint64_t>(at);
  return OVR_OK;
}

int32_t FileReader::readAt(uint64_t position, void *buffer, size_t count) const {
  int32_t status = checkExtent(position, count);
  if (status != OVR_OK || count == 0) return status;
  if (count > kBlockBytes) {
    status = streamSeek(*stream, position);
    return status == OVR_OK ? streamRead(*stream, buffer, count) : status;
  }
  const bool held =
      position >= blockStart && count <= blockBytes && position - blockStart <= blockBytes - count;
  if (!held) {
    // The block from position on, as much of it as the file holds.
    const auto bytes = static_cast<uint32_t>(std::min<uint64_t>(kBlockBytes, size - position));
    blockBytes = 0;
    status = streamSeek(*stream, position);
    if (status == OVR_OK) status = streamRead(*stream, block, bytes);
    if (status != OVR_OK) return status;
    blockStart = position;
    blockBytes = bytes;
  }
  std::memcpy(buffer, block + (position - blockStart), count);
  return OVR_OK;
}

int32_t FileReader::readCountedTable(uint64_t offset, uint32_t entrySize, uint16_t *count,
                                     uint32_t *next) const {
  uint8_t word[4];
  int32_t status = readAt(offset, word, 2);
  if (status != OVR_OK) return status;
  const uint16_t n = load16(word, order);
  const uint64_t entries = uint64_t{entrySize} * n;
  status = checkExtent(offset, 2 + entries + 4);
  if (status == OVR_OK) status = readAt(offset + 2 + entries, word, 4);
  if (status != OVR_OK) return status;
  *count = n;
  *next = load32(word, order);
  return OVR_OK;
}

int32_t openFileReader(OvrStream &stream, FileReader *reader) {
  reader->stream = &stream;
  reader->order = stream.swap ? ByteOrder::Big : ByteOrder::Little;
  return streamSeekEnd(stream, &reader->size);
}

}  // namespace ovr
