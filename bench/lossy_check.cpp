// What the lossy classifier changes on a set of pages, through the exported encoding calls.
//
// Usage: lossy_check OUTDIR PAGE.tif ...: each bilevel page is converted on its own into a raw
// JBIG2 file in output modes 3 (arithmetic coding) and 2 (the default: MMR and Huffman coding),
// once lossless and once with the default lossy settings. Every output is decoded by jbig2dec;
// the lossless decodings must equal the page, and the lossy decodings are checked with the
// substituted-glyph counter (8-connected components of the page whose box differs in at least
// 10 % as many pixels as the component has; on real scans this also counts glyphs that merely
// lost or gained edge noise). Prints per page the bytes of the four outputs (payload: the file
// less its 9-byte header) and the substituted glyphs of the two lossy ones, and the totals. The
// mode-3 decodings are left as OUTDIR/<page>.lossless.pbm and OUTDIR/<page>.lossy.pbm for the
// OCR comparison of scripts/ocr_compare.sh. Exit status 1 when a lossless output is not exact.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e_encode.h"
#include "glyph_count.h"
#include "testkit_files.h"
#include "testkit_tools.h"

namespace {

[[noreturn]] void fail(const std::string &what) {
  std::fprintf(stderr, "lossy_check: %s\n", what.c_str());
  std::exit(2);
}

constexpr long kRawHeader = 9;

struct Outcome {
  long bytes = 0;
  int64_t substituted = 0;
  bool exact = false;
};

// Converts the page and checks the decoding; the decoding is written to keep when given.
Outcome convert(QtzState *state, const std::string &page, const norvtest::Pnm &source,
                e2e::Mode mode, int32_t outputMode, const std::string &out,
                const std::string &keep) {
  const int32_t status =
      e2e::encodeTiff(state, page, out, {e2e::Output::Jbig2, mode, 0, 0, outputMode});
  if (status != 0) fail("converting " + page + " gave " + std::to_string(status));
  Outcome r;
  r.bytes = long(norvtest::readFile(out).size()) - kRawHeader;
  const norvtest::Pnm decoded = norvtest::parsePnm(
      norvtest::runTool("jbig2dec -q -t pbm -o - " + norvtest::shellQuote(out) + " 2>/dev/null")
          .output);
  const e2e::GlyphCount count = e2e::countSubstitutedGlyphs(source, decoded);
  if (!count.sameSize) fail("jbig2dec does not decode " + out + " to the page's size");
  r.substituted = count.substituted;
  r.exact = count.differing == 0;
  if (!keep.empty() && !norvtest::writePnm(keep, decoded)) fail("cannot write " + keep);
  return r;
}

std::string baseName(const std::string &path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.find_last_of('.'));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTDIR PAGE.tif ...\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0)
    fail("no library state");
  std::printf("%-24s %10s %10s %6s %10s %10s %6s\n", "page", "m3 exact", "m3 lossy", "subst",
              "m2 exact", "m2 lossy", "subst");
  long totals[4] = {0, 0, 0, 0};
  int64_t substituted[2] = {0, 0};
  bool allExact = true;
  for (int i = 2; i < argc; ++i) {
    const std::string page = argv[i];
    const std::string name = baseName(page);
    const norvtest::Pnm source = norvtest::parsePnm(
        norvtest::runTool("tifftopnm -quiet " + norvtest::shellQuote(page)).output);
    if (source.kind != '4') fail(page + " is not a bilevel page");
    const std::string out = dir + "/" + name + ".jb2";
    Outcome r[4];
    r[0] = convert(state, page, source, e2e::Mode::Lossless, 3, out,
                   dir + "/" + name + ".lossless.pbm");
    r[1] = convert(state, page, source, e2e::Mode::Lossy, 3, out, dir + "/" + name + ".lossy.pbm");
    r[2] = convert(state, page, source, e2e::Mode::Lossless, 2, out, "");
    r[3] = convert(state, page, source, e2e::Mode::Lossy, 2, out, "");
    std::remove(out.c_str());
    for (int k = 0; k < 4; ++k) totals[k] += r[k].bytes;
    substituted[0] += r[1].substituted;
    substituted[1] += r[3].substituted;
    allExact = allExact && r[0].exact && r[2].exact;
    std::printf("%-24s %10ld %10ld %6lld %10ld %10ld %6lld%s\n", name.c_str(), r[0].bytes,
                r[1].bytes, (long long)r[1].substituted, r[2].bytes, r[3].bytes,
                (long long)r[3].substituted,
                r[0].exact && r[2].exact ? "" : "  LOSSLESS NOT EXACT");
  }
  std::printf("%-24s %10ld %10ld %6lld %10ld %10ld %6lld\n", "total", totals[0], totals[1],
              (long long)substituted[0], totals[2], totals[3], (long long)substituted[1]);
  Qtz_cleanupQtzState(&state);
  return allExact ? 0 : 1;
}
