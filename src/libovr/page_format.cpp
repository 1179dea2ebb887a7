// Stripe keys of IFDs, the layer of a primary IFD and the page attribute record.
#include "ovr_page_format_internal.h"
#include "ovr_vocab_internal.h"

namespace ovr {

StripeKey stripeKeyOf(const Directory &dir) {
  if (!dir.has(Field::ImageLayer)) return StripeKey{1, 0};
  return StripeKey{dir.imageLayer[0], dir.imageLayer[1] - 1};
}

uint32_t primaryLayer(uint32_t layer, uint32_t colourKind) {
  return colourKind == colour::kBilevel && layer % 2 == 1 ? 2 : layer;
}

int32_t readPageAttributes(const FileReader &reader, const Directory &dir, PageAttributes *out) {
  *out = PageAttributes{};
  if (!dir.has(Field::PageAttributeOffsets)) return OVR_OK;
  if (dir.pageAttributeOffsets.size() != 1) return OVR_ERR_CORRUPT;
  const uint32_t offset = dir.pageAttributeOffsets[0];
  if (offset == 0) {
    out->second = 20;
    return OVR_OK;
  }
  uint8_t bytes[12];
  int32_t status = reader.readAt(offset, bytes, 6);
  if (status != OVR_OK) return status;
  out->attribute = load16(bytes, reader.order);
  out->second = load16(bytes + 2, reader.order);
  out->third = load16(bytes + 4, reader.order);
  uint64_t at = 6;
  if (out->third == 32) {
    status = reader.readAt(offset + at, bytes + at, 2);
    if (status != OVR_OK) return status;
    out->fourth = load16(bytes + at, reader.order);
    at += 2;
  } else {
    out->fourth = out->third;
    out->third = 28;
  }
  status = reader.readAt(offset + at, bytes + at, 4);
  if (status != OVR_OK) return status;
  out->last = load32(bytes + at, reader.order);
  return OVR_OK;
}

}  // namespace ovr
