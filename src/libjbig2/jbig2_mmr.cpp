// MMR (ITU-T T.6) coded bitmaps inside JBIG2 segments. The T.6 decoder belongs to the CCITT
// codecs; until they are part of the build, MMR-coded data is refused with 107 and its own
// message, so that a stream using it fails cleanly.
#include "jbig2_generic.h"
#include "jbig2_report.h"

int32_t decodeMmrBuffer(uint32_t *, int32_t, int32_t, int32_t, const uint8_t *, size_t,
                        size_t *left, QtzState *state) {
  *left = 0;
  return jbReport(state, kJbBadData, "MMR coding is not available");
}

int32_t decodeMmrFromStream(uint32_t *, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                            DataSource *, size_t, QtzState *state) {
  return jbReport(state, kJbBadData, "MMR coding is not available");
}
