// Test support: JBIG2 data (ITU-T T.88, the embedded form) of the shapes an encoder writes
// into TIFF-FX mask strips, built from bitmaps so that tests know every pixel they decode:
//   - a page of one immediate generic region coded MMR (T.6 by the fax encoder);
//   - a global symbol dictionary (arithmetic coding, template 0, one height class per symbol,
//     every symbol exported);
//   - a page of one immediate text region placing symbols of a dictionary segment by number
//     (arithmetic coding, top-left reference corner, one strip per instance);
// and the colour payload of a colour-token foreground (runs of equal colours).
#ifndef CTL_TEST_JBIG2_WRITER_H
#define CTL_TEST_JBIG2_WRITER_H

#include <cstdint>
#include <vector>

#include "jbig2_reference_encoder.h"

namespace ctl_test {

using Bits = jbtest::Bits;

// A symbol placed at (x, y) (its top-left pixel) on the page.
struct Placement {
  uint32_t symbol;
  int32_t x, y;
};

// A page of width x height holding bitmap as an MMR generic region at (0, 0).
std::vector<uint8_t> jbig2MmrPage(const Bits &bitmap, uint32_t firstSegment);

// A symbol dictionary segment numbered segment (page association 0) exporting symbols.
std::vector<uint8_t> jbig2SymbolDictionary(const std::vector<Bits> &symbols, uint32_t segment);

// A page of width x height with one text region referring to the dictionary segment
// dictionary (which exports symbolCount symbols); its segments are numbered from
// firstSegment (above the dictionary's number).
std::vector<uint8_t> jbig2TextPage(int32_t width, int32_t height, uint32_t dictionary,
                                   uint32_t symbolCount, const std::vector<Placement> &placements,
                                   uint32_t firstSegment);

// A page whose one immediate generic region (arithmetic coding, template 0, typical
// prediction on) claims regionWidth x regionHeight pixels from a few bytes of coded data; a
// page height of 0xFFFFFFFF makes a striped page of unknown height that an end-of-stripe
// segment closes at regionHeight rows. For the tests of hostile files.
std::vector<uint8_t> jbig2GenericClaim(uint32_t pageWidth, uint32_t pageHeight,
                                       uint32_t regionWidth, uint32_t regionHeight,
                                       uint32_t firstSegment);

// The colour payload of colours (0xRRGGBB, one per token), runs of equal neighbours merged.
std::vector<uint8_t> colourPayload(const std::vector<uint32_t> &colours);

// The page as the text page draws it: the placed symbols ORed together.
Bits drawPlacements(int32_t width, int32_t height, const std::vector<Bits> &symbols,
                    const std::vector<Placement> &placements);

}  // namespace ctl_test

#endif
