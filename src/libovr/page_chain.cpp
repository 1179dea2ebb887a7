// The page chain: from the header's first IFD offset along the next-IFD offsets of the primary
// IFDs, reading only each IFD's entry count and next offset. The offsets are recorded in chain
// order; their number is the page count.
//
// A walk that fails is remembered: every later call gives its status at once. A loop is found as
// it runs (LoopGuard). A chain longer than the 16-bit page count is refused
// with 6 unless its offsets repeat, which a sorted copy tells exactly (23): a loop that starts
// late could otherwise pass the page limit before the guard sees it.
#include <algorithm>

#include "ovr_reader_internal.h"

namespace ovr {
namespace {

int32_t tooManyPages(const OvrDocument *doc) {
  OwnedArray<uint32_t> sorted;
  if (sorted.allocate(doc->alloc, doc->pageOffsets.size()) != OVR_OK) return OVR_ERR_NO_MEMORY;
  for (uint64_t i = 0; i < sorted.size(); ++i) sorted[i] = doc->pageOffsets[i];
  uint32_t *end = sorted.data() + sorted.size();
  std::sort(sorted.data(), end);
  return std::adjacent_find(sorted.data(), end) != end ? OVR_ERR_CORRUPT : OVR_ERR_UNSUPPORTED;
}

// The walk itself; its failures other than memory are kept by walkPageChain.
int32_t walkChain(OvrDocument *doc) {
  doc->pageOffsets.clear();
  LoopGuard guard;
  for (uint32_t offset = doc->firstIfd; offset != 0;) {
    if (guard.repeats(offset)) return OVR_ERR_CORRUPT;
    int32_t status = doc->pageOffsets.push(offset);
    if (status != OVR_OK) return status;
    if (doc->pageOffsets.size() > kMaxPages) return tooManyPages(doc);
    IfdLayout layout;
    status = readIfdLayout(doc->reader, offset, &layout);
    if (status != OVR_OK) return status;
    offset = layout.next;
  }
  return doc->pageSlots.allocate(doc->alloc, doc->pageOffsets.size());
}

}  // namespace

int32_t walkPageChain(OvrDocument *doc) {
  if (doc->state & kDocChainWalked) return OVR_OK;
  if (doc->chainFailure != OVR_OK) return doc->chainFailure;
  const int32_t status = walkChain(doc);
  if (status == OVR_ERR_NO_MEMORY) return status;  // may succeed when tried again
  if (status != OVR_OK) {
    doc->chainFailure = status;
    doc->pageOffsets.clear();
    return status;
  }
  doc->pageCount = static_cast<uint32_t>(doc->pageOffsets.size());
  doc->state |= kDocChainWalked;
  return OVR_OK;
}

}  // namespace ovr
