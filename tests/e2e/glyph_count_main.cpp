// norv_glyph_count INPUT.pbm DECODED.pbm: prints "glyphs G substituted S differing D" for a page
// and its decoding (see glyph_count.h). Exit status 0 when no glyph is substituted, 1 when some
// are, 2 for unreadable or differently sized pages.
#include <cstdio>

#include "glyph_count.h"
#include "testkit_pnm.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT.pbm DECODED.pbm\n", argv[0]);
    return 2;
  }
  const norvtest::Pnm input = norvtest::readPnm(argv[1]);
  const norvtest::Pnm decoded = norvtest::readPnm(argv[2]);
  const e2e::GlyphCount count = e2e::countSubstitutedGlyphs(input, decoded);
  if (!count.sameSize) {
    std::fprintf(stderr, "%s: pages not readable as PBM or of different sizes\n", argv[0]);
    return 2;
  }
  std::printf("glyphs %lld substituted %lld differing %lld\n", (long long)count.glyphs,
              (long long)count.substituted, (long long)count.differing);
  return count.substituted == 0 ? 0 : 1;
}
