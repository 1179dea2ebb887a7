// TIFF-FX profile rules: check and complete one IFD's parameters against the document's profile
// code, in this order:
//   1. a width or height of 0 changes nothing;
//   2. the first IFD of a page goes on layer 2 when bilevel, else layer 1, unless on 1 or 2;
//   3. the primary IFD (codes 1-8): the nearest allowed resolution pair and page width are
//      looked up, and a value that differs gives the warning 10001 (values stay);
//   4. a stripe takes the primary's resolutions where its own are 0 and is clamped into the
//      primary's area; the primary sits at (0, 0); resolutions of 0 then become 300;
//   5. compression by colour kind; 6. default rows per strip for about 64 KB strips;
//   7. compression by profile code (colour kinds the profile does not allow: 10000);
//   8. the chosen compression replaces the given one unless the IFD set a raw value;
//   9. a stripe must not straddle the primary's strips (cut to fit; 23 when its rows are
//      coarser-grained than the primary's, 12 when the primary is too short); stripes keep one
//      strip, and rows per strip never exceed the height;
//  10. colour space by profile code.
// A document opened for reading has profile code 0: only steps 1 and the substitution of zero
// resolutions run, so that reading never rewrites a file's compression bits or strip layout and
// the reader's own checks stay in force. Profile code 1 is refused with 6 at step 7.
#include <algorithm>
#include <span>

#include "ovr_engine_internal.h"
#include "ovr_vocab_internal.h"

namespace ovr {
namespace {

constexpr uint32_t kDefaultResolution = 300;
constexpr uint32_t kStripBytes = 65536;

struct ResolutionPair {
  uint32_t x;
  uint32_t y;
};

constexpr ResolutionPair kFaxResolutions[] = {{200, 100}, {204, 98}, {200, 200}, {204, 196}};
constexpr ResolutionPair kExtendedResolutions[] = {
    {200, 100}, {204, 98},  {200, 200}, {204, 196}, {204, 391},  {300, 300},  {300, 600},
    {408, 391}, {400, 400}, {400, 800}, {600, 600}, {600, 1200}, {1200, 1200}};
constexpr ResolutionPair kColourResolutions[] = {{100, 100}, {200, 200}, {204, 196},  {300, 300},
                                                 {400, 400}, {600, 600}, {1200, 1200}};

std::span<const ResolutionPair> resolutionTable(uint32_t code) {
  switch (code) {
    case 1:
      return kFaxResolutions;
    case 2:
    case 3:
    case 7:
      return kExtendedResolutions;
    default:
      return kColourResolutions;  // codes 4, 5, 6, 8
  }
}

struct WidthRow {
  uint32_t xRes;
  uint32_t widths[3];
};
// Widths by x resolution for codes 2, 5, 7 and for codes 3, 4, 6, 8; a zero row is "none".
constexpr WidthRow kWidthsA[] = {{100, {}},
                                 {200, {1728, 2048, 2432}},
                                 {204, {1728, 2048, 2432}},
                                 {300, {2592, 3072, 3648}},
                                 {400, {3456, 4096, 4864}},
                                 {408, {3456, 4096, 4864}},
                                 {600, {5184, 6144, 7296}},
                                 {1200, {10363, 12288, 14592}}};
constexpr WidthRow kWidthsB[] = {{100, {864, 1024, 1216}},  {200, {1728, 2048, 2432}},
                                 {204, {1728, 2048, 2432}}, {300, {2592, 3072, 3648}},
                                 {400, {3456, 4096, 4864}}, {408, {}},
                                 {600, {5184, 6144, 7296}}, {1200, {10363, 12288, 14592}}};
constexpr uint32_t kFaxWidth[] = {1728};

std::span<const uint32_t> widthTable(uint32_t code, uint32_t xRes) {
  if (code == 1) return kFaxWidth;
  const bool groupA = code == 2 || code == 5 || code == 7;
  for (const WidthRow &row : groupA ? std::span<const WidthRow>(kWidthsA) : kWidthsB) {
    if (row.xRes == xRes) return row.widths[0] == 0 ? std::span<const uint32_t>() : row.widths;
  }
  return {};
}

uint64_t square(uint32_t a, uint32_t b) {
  const uint64_t d = a > b ? a - b : b - a;
  return d * d;  // d < 2^32
}

// Step 3: 10001 when the resolutions or the width are not the nearest allowed ones.
int32_t checkTables(uint32_t code, const ProfileValues &v) {
  const std::span<const ResolutionPair> pairs = resolutionTable(code);
  ResolutionPair best = pairs[0];
  unsigned __int128 bestDistance = ~static_cast<unsigned __int128>(0);
  for (const ResolutionPair &p : pairs) {
    const unsigned __int128 d =
        static_cast<unsigned __int128>(square(v.xRes, p.x)) + square(v.yRes, p.y);
    if (d < bestDistance) {
      best = p;
      bestDistance = d;
      if (d == 0) break;
    }
  }
  const std::span<const uint32_t> widths = widthTable(code, best.x);
  uint32_t bestWidth = v.width;
  uint64_t bestWidthDistance = UINT64_MAX;
  for (uint32_t w : widths) {
    const uint64_t d = square(v.width, w);
    if (d < bestWidthDistance) {
      bestWidth = w;
      bestWidthDistance = d;
      if (d == 0) break;
    }
  }
  const bool exact = best.x == v.xRes && best.y == v.yRes && bestWidth == v.width;
  return exact ? OVR_OK : OVR_WARN_PROFILE;
}

uint32_t orDefault(uint32_t resolution, uint32_t fallback) {
  return resolution != 0 ? resolution : fallback;
}

// ceil(a * num / den) in 64 bits, saturated to 32 (den > 0).
uint32_t scaledUp(uint64_t a, uint64_t num, uint64_t den) {
  const unsigned __int128 v = (static_cast<unsigned __int128>(a) * num + den - 1) / den;
  return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

// Step 4 along one axis: pos and size of a stripe at resolution r in a primary of extent
// primarySize at resolution p.
void clampAxis(uint32_t primarySize, uint32_t p, uint32_t r, uint32_t &pos, uint32_t &size) {
  if (pos >= primarySize) pos = 0;
  const unsigned __int128 end =
      pos + static_cast<unsigned __int128>(size - 1) * p / r;  // size >= 1 (step 1)
  if (end >= primarySize) size = scaledUp(primarySize - pos, r, p);
}

bool isOneOf(uint32_t v, std::initializer_list<uint32_t> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

bool isGreyOrColour(uint32_t kind) {
  return isOneOf(kind, {colour::kGrey4, colour::kGrey8, colour::kPalette8, colour::kColour8});
}

// Step 5.
int32_t compressionByKind(ProfileValues &v, uint32_t &chosen) {
  switch (v.colourKind) {
    case colour::kBilevel:
      if (isOneOf(chosen, {bits::kNone, bits::kMH, bits::kMR, bits::kMMR, bits::kOther})) break;
      if (isOneOf(chosen,
                  {bits::kPrivate34667, bits::kPrivate34673, bits::kJbig2, bits::kJbig2Variant})) {
        if (v.rowsPerStrip == 0) v.rowsPerStrip = v.height;
      } else if (chosen == 4096) {
        v.rowsPerStrip = v.height;
      } else {
        chosen = bits::kMMR;
      }
      break;
    case colour::kPalette4:
    case colour::kPalette8:
      if (v.palette == nullptr) return OVR_ERR_PARAM;
      if (chosen != bits::kNone && chosen != bits::kOther) chosen = bits::kNone;
      break;
    case colour::kGrey4:
    case colour::kGrey8:
    case colour::kColour8:
      if (!isOneOf(chosen, {bits::kNone, bits::kJpeg, bits::kPrivate34667, bits::kPrivate34673,
                            bits::kJbig2, bits::kJbig2Variant, bits::kOther}))
        chosen = bits::kJpeg;
      break;
    default:
      break;
  }
  return OVR_OK;
}

// Step 6: rows of about 64 KB; the divisor is the row's bytes, at least 1.
uint32_t defaultRowsPerStrip(uint32_t kind, uint32_t width, uint32_t height) {
  // Bits per pixel and the multiple the row count is rounded up to, by colour kind 1-10.
  struct RowShape {
    uint32_t bitsPerPixel;
    uint32_t align;
  };
  static constexpr RowShape kShapes[] = {
      {1, 1},  {4, 8},   {8, 8}, {4, 8},  {8, 8},   // bilevel, grey 4/8, palette 4/8
      {12, 1}, {24, 16}, {4, 1}, {16, 1}, {32, 1},  // colour 4/8, four 1/4/8
  };
  static_assert(colour::kBilevel == 1 && colour::kFour8 == 10);
  if (kind < colour::kBilevel || kind > colour::kFour8) return height;  // other kinds: one strip
  const uint32_t bitsPerPixel = kShapes[kind - 1].bitsPerPixel;
  const uint32_t align = kShapes[kind - 1].align;
  const uint64_t rowBytes = std::max<uint64_t>(1, (uint64_t{bitsPerPixel} * width + 7) / 8);
  const uint64_t rows = (kStripBytes / rowBytes + align - 1) / align * align;
  return rows == 0 ? height : static_cast<uint32_t>(rows);
}

// Step 7 for a bilevel IFD: `kept` stay, anything else becomes MMR.
void keepBilevel(uint32_t &chosen, std::initializer_list<uint32_t> kept) {
  if (!isOneOf(chosen, kept)) chosen = bits::kMMR;
}

// Step 7: 10000 for a colour kind the profile does not allow, 6 for profile code 1.
int32_t compressionByProfile(uint32_t code, uint32_t kind, uint32_t &chosen) {
  using namespace bits;
  const bool bilevel = kind == colour::kBilevel;
  const bool coloured = isGreyOrColour(kind);
  switch (code) {
    case 1:
      return OVR_ERR_UNSUPPORTED;
    case 2:
    case 10:
      if (!bilevel) return OVR_ERR_NOT_ALLOWED;
      if (!(code == 10 && chosen == kNone)) keepBilevel(chosen, {kMH, kMR, kMMR, kOther});
      return OVR_OK;
    case 7:
      if (!bilevel) return OVR_ERR_NOT_ALLOWED;
      keepBilevel(chosen,
                  {kMH, kMR, kMMR, kPrivate34667, kPrivate34673, kJbig2, kJbig2Variant, kOther});
      return OVR_OK;
    case 4:
    case 6:
    case 8:
      if (bilevel && code != 4) {
        if (code == 6) {
          keepBilevel(chosen, {kMH, kMR, kMMR, kOther});
        } else {
          keepBilevel(chosen, {kMH, kMR, kMMR, kPrivate34667, kPrivate34673, kJbig2, kJbig2Variant,
                               kOther});
        }
        return OVR_OK;
      }
      if (!coloured) return OVR_ERR_NOT_ALLOWED;
      if (chosen != kJpeg && chosen != kOther) chosen = kJpeg;
      return OVR_OK;
    case 11:
    case 12:
    case 13:
      if (bilevel) {
        if (code == 11) {
          keepBilevel(chosen, {kNone, kMH, kMR, kMMR, kOther});
        } else if (code == 12) {
          keepBilevel(chosen, {kMH, kMR, kMMR, kOther});
        } else {
          keepBilevel(chosen, {kMH, kMR, kMMR, kPrivate34667, kPrivate34673, kJbig2, kJbig2Variant,
                               kOther});
        }
        return OVR_OK;
      }
      if (!coloured) return OVR_ERR_NOT_ALLOWED;
      if (!isOneOf(chosen, {kNone, kJpeg, kOther})) chosen = kJpeg;
      return OVR_OK;
    default:
      return OVR_OK;
  }
}

// Step 9 for a stripe: the stripe's rows are t primary rows each; a stripe that would straddle
// two of the primary's strips is cut at the end of the first.
int32_t alignToPrimaryStrips(const LayerRecord &primary, ProfileValues &v, int32_t &warning) {
  const uint64_t t = primary.yRes / v.yRes;
  if (t < 1) return OVR_ERR_CORRUPT;
  if (primary.yRes % v.yRes != 0 && warning == OVR_OK) warning = OVR_WARN_PROFILE;
  const uint64_t m = primary.rowsPerStrip;
  if (m == 0) return OVR_OK;  // the primary's strips vary in height: no fixed boundaries
  const uint64_t y = v.y;
  const uint64_t firstRowStrip = (y + t - 1) / m;
  const uint64_t lastRowStrip = (y + t * (v.height - 1) + 1) / m;
  if (firstRowStrip == lastRowStrip) return OVR_OK;
  // Signed: a primary that ends before the stripe gives a negative row count.
  const int64_t first = static_cast<int64_t>(firstRowStrip * m);
  const int64_t rows =
      std::min<int64_t>(static_cast<int64_t>(m), static_cast<int64_t>(primary.height) - first);
  const int64_t sy = static_cast<int64_t>(y);
  const int64_t st = static_cast<int64_t>(t);
  const int64_t g = (first + rows + st - sy - std::max<int64_t>(0, first - sy) - 1) / st;
  if (g < 1) return OVR_ERR_INTERNAL;
  if (static_cast<uint64_t>(g) < v.height) v.height = static_cast<uint32_t>(g);
  if (static_cast<int64_t>(primary.height) < st * (g - 1) + sy + 1) return OVR_ERR_INTERNAL;
  return OVR_OK;
}

// Step 10.
int32_t colourSpaceByProfile(uint32_t code, uint32_t kind, uint32_t &space) {
  if (code == 1 || code == 3 || code == 5 || code == 9) return OVR_OK;
  if (kind == colour::kBilevel) {
    if (code == 4) return OVR_ERR_NOT_ALLOWED;
    if (space == 0 || space > 2) space = 1;
    return OVR_OK;
  }
  if (code == 2 || code == 7 || code == 10 || !isGreyOrColour(kind)) return OVR_ERR_NOT_ALLOWED;
  if (code == 4 || code == 6 || code == 8) {
    if (space >= 5 && space <= 7) return OVR_WARN_PROFILE;
    space = 8;
  } else if (code == 11) {
    if (space < 3 || space > 8) space = 8;
  } else if (!isOneOf(space, {5, 7, 8})) {
    space = 8;
  }
  return OVR_OK;
}

}  // namespace

}  // namespace ovr

int32_t ovrApplyProfile(OvrPageRecord *page, const OvrIfdRecord *ifd, ovr::ProfileValues *values) {
  using namespace ovr;
  ProfileValues &v = *values;
  if (v.width == 0 || v.height == 0) return OVR_OK;  // step 1
  const uint32_t code = page->doc->profileCode;
  const OvrIfdRecord *primary = page->primary;
  const bool isPrimary = primary == nullptr || ifd == primary;
  if (code == 0) {
    v.xRes = orDefault(v.xRes, kDefaultResolution);
    v.yRes = orDefault(v.yRes, kDefaultResolution);
    return OVR_OK;
  }
  int32_t warning = OVR_OK;
  if (primary == nullptr && v.layer != 1 && v.layer != 2) {  // step 2
    v.layer = v.colourKind == colour::kBilevel ? 2 : 1;
    v.order = 0;
  }
  if (isPrimary && code <= 8) warning = checkTables(code, v);  // step 3
  if (isPrimary) {                                             // step 4
    v.x = v.y = 0;
  } else {
    const LayerRecord &p = primary->layer;
    v.xRes = orDefault(orDefault(v.xRes, p.xRes), kDefaultResolution);
    v.yRes = orDefault(orDefault(v.yRes, p.yRes), kDefaultResolution);
    clampAxis(p.width, orDefault(p.xRes, kDefaultResolution), v.xRes, v.x, v.width);
    clampAxis(p.height, orDefault(p.yRes, kDefaultResolution), v.yRes, v.y, v.height);
  }
  v.xRes = orDefault(v.xRes, kDefaultResolution);
  v.yRes = orDefault(v.yRes, kDefaultResolution);
  uint32_t chosen = v.compressionBits;
  int32_t status = compressionByKind(v, chosen);  // step 5
  if (status != OVR_OK) return status;
  if (v.rowsPerStrip == 0)  // step 6
    v.rowsPerStrip = defaultRowsPerStrip(v.colourKind, v.width, v.height);
  status = compressionByProfile(code, v.colourKind, chosen);  // step 7
  if (status != OVR_OK) return status;
  const bool raw = ifd != nullptr && ifd->rawCompression != 0;  // step 8
  if (v.compressionBits == 0 || (v.compressionBits != bits::kOther && !raw))
    v.compressionBits = chosen;
  if (!isPrimary) {  // step 9
    LayerRecord p = primary->layer;
    p.yRes = orDefault(p.yRes, kDefaultResolution);
    status = alignToPrimaryStrips(p, v, warning);
    if (status != OVR_OK) return status;
    v.rowsPerStrip = v.height;
  }
  v.rowsPerStrip = std::min(v.rowsPerStrip, v.height);
  status = colourSpaceByProfile(code, v.colourKind, v.colourSpace);  // step 10
  if (status == OVR_WARN_PROFILE) return warning != OVR_OK ? warning : status;
  return status != OVR_OK ? status : warning;
}
