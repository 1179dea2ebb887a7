// Referring strips: parsing both forms with the form test checked in 64-bit arithmetic, and
// writing the form A header.
#include "ovr_shared_data_internal.h"
#include "ovr_vocab_internal.h"

#include "ovr_context.h"

namespace ovr {

int32_t parseReferringStrip(const uint8_t *strip, uint64_t size, ByteOrder order,
                            uint32_t codingOptions, ReferringStrip *out) {
  *out = ReferringStrip{};
  if (size < 7) return OVR_ERR_PARAM;
  // Form A: n at 1, indices at 3, L at 3 + 4n.
  const uint64_t nA = load16(strip + 1, order);
  if (size >= referringHeaderSize(nA)) {
    const uint64_t room = size - referringHeaderSize(nA);
    const uint32_t length = load32(strip + 3 + 4 * nA, order);
    if (length == room || ((codingOptions & kOptionTailBytes) && length <= room)) {
      *out = ReferringStrip{static_cast<uint32_t>(nA),       strip + 3,
                            strip + referringHeaderSize(nA), length,
                            referringHeaderSize(nA),         true};
      return OVR_OK;
    }
  }
  // Form B: L at 1, n at 5, indices at 7.
  const uint64_t nB = load16(strip + 5, order);
  const uint32_t length = load32(strip + 1, order);
  if (size < referringHeaderSize(nB)) return OVR_ERR_CORRUPT;
  const uint64_t room = size - referringHeaderSize(nB);
  if (length < room || length > size) return OVR_ERR_CORRUPT;
  *out = ReferringStrip{static_cast<uint32_t>(nB), strip + 7, strip + referringHeaderSize(nB), room,
                        referringHeaderSize(nB),   false};
  return OVR_OK;
}

int32_t encodeReferringHeader(ByteOrder order, const uint32_t *indices, uint64_t n, uint32_t length,
                              uint8_t *out) {
  if (n > UINT16_MAX) return OVR_ERR_PARAM;
  out[0] = 0;
  store16(out + 1, static_cast<uint16_t>(n), order);
  for (uint64_t i = 0; i < n; ++i) store32(out + 3 + 4 * i, indices[i], order);
  store32(out + 3 + 4 * n, length, order);
  return OVR_OK;
}

}  // namespace ovr
