// Linking written IFDs into the file's structure: primary IFDs into the page chain (the header
// for page 0, the previous page's primary IFD otherwise), stripe IFDs into their layer's chain
// or the primary IFD's SubIFDs array, and patching the stored reference to an IFD that was
// written again elsewhere.
//
// A stripe follows the written stripe of its layer with the highest order that still ends a
// chain (next-IFD 0). The primary IFD never takes a stripe: its next-IFD field is the page
// chain. Without such a stripe the IFD goes into SubIFDs slot layer - 2 (0 for layer 1). When the
// slot lies beyond the array, the array grows to the layer number with its lowest bit cleared
// (zero-filled, old slots kept), is written at the padded end and its entry's count and offset
// are patched. Layers 1 and 2 share slot 0 (it holds whichever of them is not the primary's), so
// when the slot is taken already the IFD is appended to the end of the chain that starts there
// rather than replacing it, which would cut that chain off.
#include "ovr_format_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

OvrIfdRecord *stripeAt(OvrPageRecord &page, uint32_t offset) {
  for (OvrIfdRecord *ifd : page.ifds.span()) {
    if (ifd->offset == offset) return ifd;
  }
  return nullptr;
}

int32_t patchSlot(OvrStream &stream, OvrIfdRecord &primary, uint32_t slot, uint32_t value) {
  int32_t status = patch32(stream, primary.writer->subIfds.value + 4ull * slot, value);
  if (status == OVR_OK) primary.dir.subIfds[slot] = value;
  return status;
}

// Grows the primary IFD's SubIFDs array to `slots` entries in the file and in memory.
int32_t growSubIfds(OvrStream &stream, OvrIfdRecord &primary, uint32_t slots) {
  OwnedArray<uint32_t> grown;
  if (grown.allocate(primary.dir.alloc, slots) != OVR_OK) return OVR_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < primary.dir.subIfds.size(); ++i) grown[i] = primary.dir.subIfds[i];
  uint32_t at = 0;
  EntryPatch &patch = primary.writer->subIfds;
  int32_t status = appendUnits(stream, kTypeIfd, grown.data(), slots, &at);
  if (status == OVR_OK) status = patch32(stream, patch.entry + 4, slots);
  if (status == OVR_OK) status = patch32(stream, patch.entry + 8, at);
  if (status != OVR_OK) return status;
  patch.value = at;
  primary.dir.set(primary.dir.subIfds, std::move(grown));
  return OVR_OK;
}

// Appends the IFD at offset to the end of the chain that starts at `first`.
int32_t appendToChain(OvrStream &stream, OvrPageRecord &page, uint32_t first, uint32_t offset) {
  OvrIfdRecord *end = stripeAt(page, first);
  for (uint64_t steps = 0; end != nullptr && end->nextIfd != 0; ++steps) {
    if (steps > page.ifds.size()) return OVR_ERR_INTERNAL;
    end = stripeAt(page, end->nextIfd);
  }
  if (end == nullptr) return OVR_ERR_INTERNAL;
  return ovrWriteNextPointer(stream, *end, offset);
}

}  // namespace

int32_t ovrLinkPrimaryIfd(OvrIfdRecord &ifd) {
  OvrDocument &doc = *ifd.page->doc;
  const uint32_t index = ifd.page->index;
  const uint32_t offset = static_cast<uint32_t>(ifd.offset);
  int32_t status = OVR_OK;
  if (index == 0) {
    status = patch32(*doc.stream, 4, offset);
    if (status == OVR_OK) doc.firstIfd = offset;
  } else {
    OvrIfdRecord *previous = doc.pages[index - 1]->primary;
    if (previous == nullptr || previous->offset == 0) return OVR_ERR_SEQUENCE;
    status = ovrWriteNextPointer(*doc.stream, *previous, offset);
  }
  if (status == OVR_OK) doc.pageOffsets[index] = offset;
  return status;
}

int32_t ovrLinkStripeIfd(OvrIfdRecord &ifd) {
  OvrPageRecord &page = *ifd.page;
  OvrStream &stream = *page.doc->stream;
  const uint32_t layer = ifd.layer.key.layer;
  const uint32_t offset = static_cast<uint32_t>(ifd.offset);
  OvrIfdRecord *last = nullptr;
  for (OvrIfdRecord *other : page.ifds.span()) {
    if (other == &ifd || other->offset == 0 || other->nextIfd != 0) continue;
    if (other->layer.key.layer != layer) continue;
    if (last == nullptr || other->layer.key.order > last->layer.key.order) last = other;
  }
  if (last != nullptr) return ovrWriteNextPointer(stream, *last, offset);

  OvrIfdRecord &primary = *page.primary;
  if (!primary.writer->subIfds.present()) return OVR_ERR_INTERNAL;
  const uint32_t slot = subIfdSlot(layer);
  if (primary.dir.subIfds.empty() || slot >= kMaxLayers - 1) return OVR_ERR_INTERNAL;
  if (slot >= primary.dir.subIfds.size()) {
    int32_t status = growSubIfds(stream, primary, layer & ~1u);
    if (status != OVR_OK) return status;
  }
  const uint32_t taken = primary.dir.subIfds[slot];
  if (taken != 0) return appendToChain(stream, page, taken, offset);
  return patchSlot(stream, primary, slot, offset);
}

int32_t ovrPatchIfdReference(OvrIfdRecord &ifd, uint32_t oldOffset) {
  OvrPageRecord &page = *ifd.page;
  OvrDocument &doc = *page.doc;
  OvrStream &stream = *doc.stream;
  const uint32_t offset = static_cast<uint32_t>(ifd.offset);
  if (ifd.role == kRolePrimary) {
    int32_t status = OVR_ERR_INTERNAL;
    if (page.index == 0 && doc.firstIfd == oldOffset) {
      status = patch32(stream, 4, offset);
      if (status == OVR_OK) doc.firstIfd = offset;
    } else if (page.index > 0) {
      OvrIfdRecord *previous = doc.pages[page.index - 1]->primary;
      if (previous != nullptr && previous->offset != 0 && previous->nextIfd == oldOffset) {
        status = ovrWriteNextPointer(stream, *previous, offset);
      }
    }
    if (status == OVR_OK) doc.pageOffsets[page.index] = offset;
    return status;
  }
  for (OvrIfdRecord *other : page.ifds.span()) {
    if (other != &ifd && other->offset != 0 && other->nextIfd == oldOffset) {
      return ovrWriteNextPointer(stream, *other, offset);
    }
  }
  OvrIfdRecord &primary = *page.primary;
  for (uint32_t slot = 0; slot < primary.dir.subIfds.size(); ++slot) {
    if (primary.dir.subIfds[slot] == oldOffset) return patchSlot(stream, primary, slot, offset);
  }
  return OVR_ERR_INTERNAL;
}

}  // namespace ovr
