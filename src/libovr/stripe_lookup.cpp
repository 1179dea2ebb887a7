// Stripes of a loaded page and layers merged over their stripes.
//
// A stripe is found by its (layer, 0-based stripe) key: the primary IFD is stripe 0 of its own
// layer, the others are in the page's sorted list. Its layer record goes through the profile
// rules, then the reader's checks: width, height, rows per strip (0 only with StripRowCounts)
// and compression bits must be non-zero (23); a stripe other than the primary must lie inside
// the primary's pixel area, its size converted from its own resolution to the primary's (23);
// and its coding must be one its colour kind allows (the warning 10001, or 10000 for colour
// kinds the library does not decode).
//
// A layer is merged from its stripes: positions are in the primary's grid (resolution P), sizes
// in the layer's own resolution R; a stripe that starts left of (or above) the merged area moves
// its origin and grows its size by the distance x R / P; the size then covers each stripe's far
// edge. Sizes are worked out in 128 bits and saturate at 32.
#include <algorithm>
#include <cstring>

#include "ovr_reader_internal.h"
#include "ovr_vocab_internal.h"

namespace ovr {
namespace {

bool isOneOf(uint32_t v, std::initializer_list<uint32_t> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

int32_t checkCoding(uint32_t profileCode, uint32_t kind, uint32_t bits) {
  using namespace ovr::bits;
  bool allowed = false;
  switch (kind) {
    case colour::kBilevel:
      allowed = isOneOf(bits, {kNone, kMH, kMR, kMMR, kPrivate34667, kPrivate34673, kProfileOnly,
                               kJbig2, kJbig2Variant, kOther});
      break;
    case colour::kGrey4:
    case colour::kGrey8:
    case colour::kPalette4:
    case colour::kPalette8:
      allowed = isOneOf(bits, {kNone, kJpeg, kOther});
      break;
    case colour::kColour8:
      allowed = isOneOf(bits, {kJpeg, kJbig2, kOther}) ||
                (bits == kNone && profileCode >= 11 && profileCode <= 13);
      break;
    default:
      return OVR_ERR_NOT_ALLOWED;
  }
  return allowed ? OVR_OK : OVR_WARN_PROFILE;
}

// The last pixel of a run of `size` pixels at resolution r, starting at pos in a grid of
// resolution p, lies inside an extent of `limit` pixels of that grid (size >= 1, r >= 1).
bool fitsInside(uint32_t pos, uint32_t size, uint32_t p, uint32_t r, uint32_t limit) {
  const unsigned __int128 last = pos + static_cast<unsigned __int128>(size - 1) * p / r;
  return pos <= limit && last < limit;
}

OvrIfdRecord *stripeRecord(OvrPageRecord *page, uint32_t layer, uint32_t stripe) {
  if (page->primary->layer.key.layer == layer && stripe == 0) return page->primary;
  for (OvrIfdRecord *ifd : page->ifds.span()) {
    if (ifd->layer.key.layer == layer && ifd->layer.key.order == stripe) return ifd;
  }
  return nullptr;
}

struct Axis {
  unsigned __int128 pos;
  unsigned __int128 size;
};

void growAxis(Axis &axis, uint32_t pos, uint32_t size, uint32_t r, uint32_t p) {
  if (pos < axis.pos) {
    axis.size += (axis.pos - pos) * r / p;
    axis.pos = pos;
  }
  axis.size = std::max(axis.size, (pos - axis.pos) * r / p + size);
}

uint32_t saturate(unsigned __int128 v) {
  return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

}  // namespace

ProfileValues profileValuesOf(const LayerRecord &rec) {
  ProfileValues v;
  v.layer = rec.key.layer;
  v.order = rec.key.order;
  v.colourKind = rec.colourKind;
  copyPlacement(rec, v);
  v.rowsPerStrip = rec.rowsPerStrip;
  v.palette = rec.palette;
  v.compressionBits = rec.compressionBits;
  v.colourSpace = rec.photometricKind;
  return v;
}

int32_t findStripe(OvrPageRecord *page, uint32_t layer, uint32_t stripe, Stripe *out) {
  *out = Stripe{};
  if (layer < 1 || layer > page->layerCount || stripe >= page->layerCounts[layer - 1])
    return OVR_ERR_PARAM;
  OvrIfdRecord *ifd = stripeRecord(page, layer, stripe);
  if (ifd == nullptr) return OVR_ERR_CORRUPT;
  // A document read from a file has profile code 0: the profile rules only replace zero
  // resolutions, so reading never rewrites the file's compression bits or strip layout, and the
  // checks below stay in force.
  ProfileValues v = profileValuesOf(ifd->layer);
  int32_t warning = ovrApplyProfile(page, ifd, &v);
  if (isEngineError(warning)) return warning;
  const bool varying = ifd->dir.has(Field::StripRowCounts);
  if (v.width == 0 || v.height == 0 || (v.rowsPerStrip == 0 && !varying) || v.compressionBits == 0)
    return OVR_ERR_CORRUPT;
  if (ifd != page->primary) {
    const LayerRecord &p = page->primary->layer;
    if (!fitsInside(v.x, v.width, p.xRes, v.xRes, p.width) ||
        !fitsInside(v.y, v.height, p.yRes, v.yRes, p.height))
      return OVR_ERR_CORRUPT;
  }
  const int32_t coding = checkCoding(page->doc->profileCode, v.colourKind, v.compressionBits);
  if (warning == OVR_OK) warning = coding;
  *out = Stripe{ifd, v};
  return warning;
}

int32_t mergeLayer(OvrPageRecord *page, uint32_t layer, uint8_t *palette, Stripe *merged) {
  *merged = Stripe{};
  if (layer < 1 || layer > page->layerCount || page->layerCounts[layer - 1] == 0)
    return OVR_ERR_PARAM;
  Stripe first;
  int32_t status = findStripe(page, layer, 0, &first);
  if (isEngineError(status)) return status;
  const ProfileValues &f = first.values;
  const uint64_t copied = paletteBytes(f.colourKind);
  if (copied != 0) {
    if (palette == nullptr) return OVR_ERR_PARAM;
    std::memcpy(palette, f.palette, copied);
  }
  const LayerRecord &primary = page->primary->layer;
  Axis x{f.x, f.width};
  Axis y{f.y, f.height};
  uint32_t compressionBits = f.compressionBits;
  for (uint32_t s = 1; s < page->layerCounts[layer - 1]; ++s) {
    Stripe next;
    status = findStripe(page, layer, s, &next);
    if (isEngineError(status)) return status;
    const ProfileValues &n = next.values;
    if (n.xRes != f.xRes || n.yRes != f.yRes || n.colourKind != f.colourKind)
      return OVR_ERR_UNSUPPORTED;
    if (copied != 0 && std::memcmp(n.palette, f.palette, copied) != 0) return OVR_ERR_PARAM;
    growAxis(x, n.x, n.width, f.xRes, primary.xRes);
    growAxis(y, n.y, n.height, f.yRes, primary.yRes);
    compressionBits |= n.compressionBits;
  }
  *merged = first;
  merged->values.x = saturate(x.pos);
  merged->values.y = saturate(y.pos);
  merged->values.width = saturate(x.size);
  merged->values.height = saturate(y.size);
  merged->values.compressionBits = compressionBits;
  return OVR_OK;
}

}  // namespace ovr
