// Loading a page for reading: its primary IFD, then every SubIFDs slot of the primary and the
// next-IFD chain from each slot, with the layer rules of the format:
//   - the primary IFD's layer is taken as the mask layer when it is bilevel on an odd layer;
//   - every IFD's layer must be 1 to 3, and colour kinds 2 to 10 may not be on the mask layer;
//   - a stripe IFD whose (layer, order) repeats one already placed goes after its layer's last;
//   - orders are renumbered per layer from 0, from 1 in the primary's layer (the primary is 0);
//   - rows per strip never exceed the height.
// A primary IFD that fails fails the page; a stripe IFD that fails (unreadable, corrupt, or on a
// layer it may not use) is left out and its chain goes on from its next offset when that could
// be read. An offset met twice while loading the page (a loop, or two slots sharing a chain), more
// than kMaxPageIfds IFDs, or IFDs that take more bytes than the file holds make the page corrupt,
// and so does a page whose records would pass the document's record budget. A page is found by
// its index in the document's page slots; a page that failed keeps its status there.
#include <algorithm>

#include "ovr_reader_internal.h"
#include "ovr_vocab_internal.h"

namespace ovr {
namespace {

// Stripes per page; an MRC page has a few per layer.
constexpr uint64_t kMaxPageIfds = 1024;

// Takes the memory of a record from the document's record budget; 23 once it is spent.
int32_t chargeRecord(OvrDocument *doc, uint64_t bytes) {
  if (bytes > doc->recordBytesLeft) {
    doc->recordBytesLeft = 0;
    return OVR_ERR_CORRUPT;
  }
  doc->recordBytesLeft -= bytes;
  return OVR_OK;
}

StripeKey keyOf(OvrIfdRecord *const &ifd) {
  return ifd->layer.key;
}
StripeKey &keyRef(OvrIfdRecord *&ifd) {
  return ifd->layer.key;
}

int32_t checkLayer(const LayerRecord &rec) {
  if (rec.key.layer < 1 || rec.key.layer > kMaxLayers) return OVR_ERR_CORRUPT;
  const bool coloured = rec.colourKind >= colour::kGrey4 && rec.colourKind <= colour::kFour8;
  return coloured && rec.key.layer == 2 ? OVR_ERR_CORRUPT : OVR_OK;
}

void countIfd(OvrPageRecord *page, uint32_t layer) {
  ++page->layerCounts[layer - 1];
  page->layerCount = std::max(page->layerCount, layer);
}

// The IFD offsets met while loading a page, sorted.
class Visited {
 public:
  explicit Visited(const Allocator &alloc) : offsets_(alloc) {}
  // 23 when offset was met before or the page has too many IFDs; 1 no memory.
  int32_t add(uint64_t offset) {
    const std::span<uint64_t> seen = offsets_.span();
    const auto at = std::lower_bound(seen.begin(), seen.end(), offset);
    if (at != seen.end() && *at == offset) return OVR_ERR_CORRUPT;
    if (offsets_.size() > kMaxPageIfds) return OVR_ERR_CORRUPT;
    return offsets_.insert(static_cast<uint64_t>(at - seen.begin()), offset);
  }

 private:
  RecordList<uint64_t> offsets_;
};

// Loads the stripe IFD at offset into the page, or leaves it out when it fails; *next is its
// next-IFD offset (0 when its layout could not be read). Only a failure of memory or of the
// page's budget is returned.
int32_t loadStripe(OvrPageRecord *page, uint64_t offset, ReadBudget &budget, uint32_t *next) {
  *next = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = chargeRecord(page->doc, sizeof(OvrIfdRecord));
  if (status == OVR_OK) status = createIfd(page, kRoleStripe, &ifd);
  if (status != OVR_OK) return status;
  ifd->offset = offset;
  status = loadIfd(page->doc, ifd, page->primary, budget);
  if (status == OVR_OK) status = checkLayer(ifd->layer);
  *next = ifd->nextIfd;
  if (status == OVR_OK) {
    StripeKey key = ifd->layer.key;
    const size_t at = placeStripe(page->ifds.span(), keyOf, key);
    ifd->layer.key = key;
    status = insertStripe(page, at, ifd);
    if (status == OVR_OK) {
      countIfd(page, key.layer);
      return OVR_OK;
    }
  }
  destroyIfd(ifd);
  if (status == OVR_ERR_NO_MEMORY) return status;
  return budget.exhausted ? OVR_ERR_CORRUPT : OVR_OK;
}

int32_t loadPrimary(OvrPageRecord *page, ReadBudget &budget) {
  OvrIfdRecord *primary = page->primary;
  int32_t status = loadIfd(page->doc, primary, nullptr, budget);
  if (status != OVR_OK) return status;
  LayerRecord &rec = primary->layer;
  rec.key = StripeKey{primaryLayer(rec.key.layer, rec.colourKind), 0};
  status = checkLayer(rec);
  if (status == OVR_OK) countIfd(page, rec.key.layer);
  return status;
}

int32_t loadStripes(OvrPageRecord *page, Visited &visited, ReadBudget &budget) {
  const ValueArray<uint32_t> &slots = page->primary->dir.subIfds;
  for (uint64_t slot = 0; slot < slots.size(); ++slot) {
    for (uint32_t offset = slots[slot]; offset != 0;) {
      int32_t status = visited.add(offset);
      if (status == OVR_OK) status = loadStripe(page, offset, budget, &offset);
      if (status != OVR_OK) return status;
    }
  }
  return OVR_OK;
}

// Loads the primary IFD and the stripes of a new page record within the budget.
int32_t loadPageStructure(OvrPageRecord *page, uint32_t offset, ReadBudget &budget) {
  OvrDocument *doc = page->doc;
  int32_t status = chargeRecord(doc, sizeof(OvrPageRecord) + sizeof(OvrIfdRecord));
  if (status == OVR_OK) status = createIfd(page, kRolePrimary, &page->primary);
  if (status != OVR_OK) return status;
  page->primary->offset = offset;
  Visited visited(doc->alloc);
  status = visited.add(offset);
  if (status == OVR_OK) status = loadPrimary(page, budget);
  if (status == OVR_OK) status = loadStripes(page, visited, budget);
  if (status == OVR_OK)
    status = readPageAttributes(doc->reader, page->primary->dir, &page->attributes);
  return status;
}

// Loads a new page record's IFDs. What the page read is charged to the document whether or not
// it loads.
int32_t loadPageIfds(OvrPageRecord *page, uint32_t offset) {
  OvrDocument *doc = page->doc;
  // Each page may take at most the file's size, and all pages together the document's budget.
  const uint64_t allowed = std::min(doc->reader.size, doc->pageBytesLeft);
  ReadBudget budget{allowed};
  const int32_t status = loadPageStructure(page, offset, budget);
  doc->pageBytesLeft -= allowed - budget.left;
  if (status != OVR_OK) return status;
  renumberStripes(page->ifds.span(), keyRef, page->primary->layer.key.layer);
  LayerRecord &primary = page->primary->layer;
  primary.rowsPerStrip = std::min(primary.rowsPerStrip, primary.height);
  for (OvrIfdRecord *ifd : page->ifds.span())
    ifd->layer.rowsPerStrip = std::min(ifd->layer.rowsPerStrip, ifd->layer.height);
  return OVR_OK;
}

}  // namespace

int32_t loadPage(OvrDocument *doc, uint32_t index, OvrPageRecord **out) {
  *out = nullptr;
  if (index >= doc->pageCount || index >= doc->pageSlots.size()) return OVR_ERR_PARAM;
  PageSlot &slot = doc->pageSlots[index];
  if (slot.page != nullptr) {
    *out = slot.page;
    return OVR_OK;
  }
  if (slot.failure != OVR_OK) return slot.failure;
  const uint32_t offset = doc->pageOffsets[index];
  if (offset < kHeaderSize) {
    slot.failure = OVR_ERR_CORRUPT;
    return slot.failure;
  }
  OvrPageRecord *page = nullptr;
  int32_t status = createPage(doc, index, &page);
  if (status != OVR_OK) return status;
  status = loadPageIfds(page, offset);
  if (status != OVR_OK) {
    destroyPage(page);
    // A page that failed for its file's sake fails the same way every time: it is not loaded
    // again. Memory may be had later.
    if (status != OVR_ERR_NO_MEMORY) slot.failure = status;
    return status;
  }
  page->state = kPageLoaded;
  slot.page = page;
  *out = page;
  return OVR_OK;
}

}  // namespace ovr
