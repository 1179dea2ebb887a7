// Substituted glyphs between a bilevel page and its decoding: a glyph is an 8-connected
// component of black pixels of the input page; it counts as substituted when the pixels of its
// bounding box differ between the two pages in at least 10 % as many places as the glyph has
// black pixels. Both pages are P4 rasters (1 = black) of the same size.
#ifndef NORV_E2E_GLYPH_COUNT_H
#define NORV_E2E_GLYPH_COUNT_H

#include <cstdint>

#include "testkit_pnm.h"

namespace e2e {

struct GlyphCount {
  int64_t glyphs = 0;       // components of the input
  int64_t substituted = 0;  // glyphs whose box differs in >= 10 % of their pixel count
  int64_t differing = 0;    // pixels of the whole page that differ
  bool sameSize = true;     // false: the pages differ in size and nothing else was counted
};

GlyphCount countSubstitutedGlyphs(const norvtest::Pnm &input, const norvtest::Pnm &decoded);

}  // namespace e2e

#endif
