// Adding an IFD record to a page being written, and taking it out again when the call that added
// it cannot complete: the profile rules complete its values, the page's first IFD becomes its
// primary IFD and later ones are stripes placed by (layer, order), each counted in its layer.
#include <cstring>

#include "ovr_writer_internal.h"

namespace ovr {
int32_t addIfdRecord(OvrPageRecord &page, ProfileValues v, OvrIfdRecord **out) {
  *out = nullptr;
  if (!page.writer->open) return OVR_ERR_SEQUENCE;
  const bool first = page.primary == nullptr;
  if (first && v.layer != 1 && v.layer != 2) return OVR_ERR_SEQUENCE;
  if (!first && !isMrcProfile(page.doc->profileCode)) return OVR_ERR_PARAM;
  if (v.layer == 0 || v.layer > kMaxLayers || v.width == 0 || v.height == 0) return OVR_ERR_PARAM;
  v.order = 0;
  v.compressionBits = 0;
  v.colourSpace = 0;
  int32_t status = ovrApplyProfile(&page, nullptr, &v);
  if (status != OVR_OK && status < OVR_ERR_NOT_ALLOWED) return status;
  const uint32_t palette = paletteBytes(v.colourKind);
  if (palette != 0 && v.palette == nullptr) return OVR_ERR_PARAM;
  if (v.layer == 0 || v.layer > kMaxLayers) return OVR_ERR_INTERNAL;

  const StripeKey key{v.layer, first ? 0 : page.layerCounts[v.layer - 1]};
  uint64_t at = 0;
  for (; !first && at < page.ifds.size(); ++at) {
    const StripeKey other = page.ifds[at]->layer.key;
    if (other.layer == key.layer && other.order == key.order) return OVR_ERR_INTERNAL;
    if (key < other) break;
  }
  OwnedArray<uint8_t> paletteBlock;
  if (palette != 0) {
    if (paletteBlock.allocate(page.doc->alloc, palette) != OVR_OK) return OVR_ERR_NO_MEMORY;
    std::memcpy(paletteBlock.data(), v.palette, palette);
  }
  OvrWriteIfd *writer = nullptr;
  if (makeWriterIfd(page.doc->alloc, &writer) != OVR_OK) return OVR_ERR_NO_MEMORY;
  OvrIfdRecord *ifd = nullptr;
  status = createIfd(&page, first ? kRolePrimary : kRoleStripe, &ifd);
  if (status == OVR_OK && !first) status = insertStripe(&page, at, ifd);
  if (status != OVR_OK) {
    if (ifd != nullptr) destroyIfd(ifd);
    releaseWriter(page.doc->alloc, writer);
    return status;
  }
  ifd->writer = writer;
  LayerRecord &l = ifd->layer;
  l.key = key;
  copyPlacement(v, l);
  l.rowsPerStrip = v.rowsPerStrip;
  l.colourKind = v.colourKind;
  l.photometricKind = v.colourSpace;
  if (palette != 0) ifd->dir.set(ifd->palette, std::move(paletteBlock));
  l.palette = ifd->palette.data();  // null without a palette
  if (first) page.primary = ifd;
  ++page.layerCounts[key.layer - 1];
  if (page.layerCount < key.layer) page.layerCount = key.layer;
  *out = ifd;
  return OVR_OK;
}

void removeIfdRecord(OvrIfdRecord *ifd) {
  OvrPageRecord &page = *ifd->page;
  if (page.primary == ifd) page.primary = nullptr;
  for (uint64_t i = 0; i < page.ifds.size(); ++i) {
    if (page.ifds[i] == ifd) {
      page.ifds.erase(i);
      break;
    }
  }
  --page.layerCounts[ifd->layer.key.layer - 1];
  while (page.layerCount > 0 && page.layerCounts[page.layerCount - 1] == 0) --page.layerCount;
  releaseWriter(page.doc->alloc, ifd->writer);
  destroyIfd(ifd);
}

}  // namespace ovr
