// Page structure of a TIFF-FX file: which layer an IFD belongs to, where its stripes go in the
// page's (layer, order) sequence, which SubIFDs slot holds a layer, and the page attribute record.
//
// Layers: 1 background, 2 mask (bilevel), 3 foreground, given by ImageLayer (layer, order) with
// order counting stripes from 1; an IFD without the tag is (1, 1), and a bilevel primary IFD on
// an odd layer is the mask layer. The primary IFD's SubIFDs slot 0 holds the first IFD of the
// other one of layers 1 and 2 and slot 1 the first IFD of layer 3; further stripes chain through
// the next-IFD offsets. Stripe keys below are (layer, 0-based order).
#ifndef OVR_PAGE_FORMAT_H
#define OVR_PAGE_FORMAT_H

#include <cstdint>
#include <span>

#include "ovr_stream_internal.h"
#include "ovr_tags_internal.h"

namespace ovr {

struct StripeKey {
  uint32_t layer = 1;
  uint32_t order = 0;
};
inline bool operator<(const StripeKey &a, const StripeKey &b) {
  return a.layer != b.layer ? a.layer < b.layer : a.order < b.order;
}

// The stripe key of an IFD from its ImageLayer tag (1, 0 without it).
StripeKey stripeKeyOf(const Directory &dir);
// The layer of a page's primary IFD: a bilevel IFD (colour kind 1) on an odd layer is layer 2.
uint32_t primaryLayer(uint32_t layer, uint32_t colourKind);
// SubIFDs slot of a layer's first stripe: layer - 2 for layers 2 and 3, 0 for layer 1.
inline uint32_t subIfdSlot(uint32_t layer) {
  return layer == 1 ? 0 : layer - 2;
}

// Where a stripe goes in a page's list kept sorted by key: a key that repeats one already there
// first takes order = the largest order of its layer + 1. Returns the insertion index.
template <typename T, typename KeyOf>
size_t placeStripe(std::span<T> sorted, KeyOf keyOf, StripeKey &key) {
  bool repeated = false;
  uint32_t lastOrder = 0;
  for (T &item : sorted) {
    const StripeKey k = keyOf(item);
    if (k.layer != key.layer) continue;
    repeated = repeated || k.order == key.order;
    lastOrder = k.order > lastOrder ? k.order : lastOrder;
  }
  if (repeated) key.order = lastOrder + 1;
  size_t at = 0;
  while (at < sorted.size() && !(key < keyOf(sorted[at]))) ++at;
  return at;
}

// Renumbers the orders of a sorted stripe list per layer from 0, or from 1 in the primary IFD's
// layer, whose order 0 is the primary itself (not in the list). keyOf returns a reference.
template <typename T, typename KeyOf>
void renumberStripes(std::span<T> sorted, KeyOf keyOf, uint32_t primaryLayer) {
  uint32_t layer = 0;
  uint32_t next = 0;
  for (T &item : sorted) {
    StripeKey &k = keyOf(item);
    if (k.layer != layer) {
      layer = k.layer;
      next = layer == primaryLayer ? 1 : 0;
    }
    k.order = next++;
  }
}

// The page attribute record at the offset that tag 34730 gives: u16 attribute, u16 second,
// u16 third and, when the third is 32, a u16 fourth (otherwise the third moves to the fourth
// place and becomes 28), then a u32. Offset 0 stands for (0, 20, 0, 0, 0); without the tag every
// word is 0. The tag must have exactly one value (23).
struct PageAttributes {
  uint16_t attribute = 0;
  uint16_t second = 0;
  uint16_t third = 0;
  uint16_t fourth = 0;
  uint32_t last = 0;
};
int32_t readPageAttributes(const FileReader &reader, const Directory &dir, PageAttributes *out);

}  // namespace ovr

#endif
