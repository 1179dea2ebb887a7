// Classification of a stream on open: the TIFF header probe.
#include "ovr_format_internal.h"

namespace ovr {

int32_t classifyStream(OvrStream &stream, uint32_t *kind, FileHeader *header) {
  *kind = 0;
  uint8_t bytes[kHeaderSize];
  int32_t status = streamSeek(stream, 0);
  if (status == OVR_OK) status = streamRead(stream, bytes, kHeaderSize);
  if (status == OVR_OK) status = decodeHeader(bytes, header);
  if (status != OVR_OK) return status;
  stream.swap = header->order == ByteOrder::Big;
  *kind = kKindTiff;
  return OVR_OK;
}

}  // namespace ovr
