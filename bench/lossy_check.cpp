// What the lossy classifier changes on a set of pages, through the exported encoding calls.
//
// Usage: lossy_check [--runs N] OUTDIR PAGE.tif ...: each bilevel page is converted on its own into
// a raw JBIG2 file in output modes 3 (arithmetic coding) and 2 (the default: MMR and Huffman
// coding), once lossless and once with the default lossy settings. Every output is decoded by
// jbig2dec; the lossless decodings must equal the page, and the lossy decodings are checked with
// the substituted-glyph counter (8-connected components of the page whose box differs in at least
// 10 % as many pixels as the component has; on real scans this also counts glyphs that merely
// lost or gained edge noise). Prints per page the bytes of the four outputs (payload: the file
// less its 9-byte header) and the substituted glyphs of the two lossy ones, and the totals. The
// mode-3 decodings are left as OUTDIR/<page>.lossless.pbm and OUTDIR/<page>.lossy.pbm for the
// OCR comparison of scripts/ocr_compare.sh. Times are whole conversions (reading the G4 page,
// encoding, writing), the median of N rounds (default 1) in which the pages and settings are
// interleaved; run it pinned to one core. Exit status 1 when a lossless output is not exact.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
  std::vector<double> ms;
};

// Converts the page, timed.
void encode(QtzState *state, const std::string &page, e2e::Mode mode, int32_t outputMode,
            const std::string &out, Outcome &r) {
  const auto start = std::chrono::steady_clock::now();
  const int32_t status =
      e2e::encodeTiff(state, page, out, {e2e::Output::Jbig2, mode, 0, 0, outputMode});
  r.ms.push_back(
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  if (status != 0) fail("converting " + page + " gave " + std::to_string(status));
}

// Checks the decoding of the output; the decoding is written to keep when given.
void check(const std::string &out, const norvtest::Pnm &source, const std::string &keep,
           Outcome &r) {
  r.bytes = long(norvtest::readFile(out).size()) - kRawHeader;
  const norvtest::Pnm decoded = norvtest::parsePnm(
      norvtest::runTool("jbig2dec -q -t pbm -o - " + norvtest::shellQuote(out) + " 2>/dev/null")
          .output);
  const e2e::GlyphCount count = e2e::countSubstitutedGlyphs(source, decoded);
  if (!count.sameSize) fail("jbig2dec does not decode " + out + " to the page's size");
  r.substituted = count.substituted;
  r.exact = count.differing == 0;
  if (!keep.empty() && !norvtest::writePnm(keep, decoded)) fail("cannot write " + keep);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string baseName(const std::string &path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.find_last_of('.'));
}

}  // namespace

int main(int argc, char **argv) {
  int runs = 1;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--runs") {
    runs = std::max(1, std::atoi(argv[2]));
    first = 3;
  }
  if (argc < first + 2) {
    std::fprintf(stderr, "usage: %s [--runs N] OUTDIR PAGE.tif ...\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[first];
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0)
    fail("no library state");
  struct Setting {
    e2e::Mode mode;
    int32_t outputMode;
    const char *keep;  // suffix of the decoding kept, or none
  };
  const Setting settings[4] = {{e2e::Mode::Lossless, 3, ".lossless.pbm"},
                               {e2e::Mode::Lossy, 3, ".lossy.pbm"},
                               {e2e::Mode::Lossless, 2, nullptr},
                               {e2e::Mode::Lossy, 2, nullptr}};
  const int pages = argc - first - 1;
  std::vector<std::array<Outcome, 4>> results(static_cast<size_t>(pages));
  for (int round = 0; round < runs; ++round) {
    for (int p = 0; p < pages; ++p) {
      const std::string page = argv[first + 1 + p];
      const std::string name = baseName(page);
      const std::string out = dir + "/" + name + ".jb2";
      norvtest::Pnm source;
      if (round == 0) {
        source = norvtest::parsePnm(
            norvtest::runTool("tifftopnm -quiet " + norvtest::shellQuote(page)).output);
        if (source.kind != '4') fail(page + " is not a bilevel page");
      }
      for (int k = 0; k < 4; ++k) {
        encode(state, page, settings[k].mode, settings[k].outputMode, out, results[p][k]);
        if (round == 0) {
          check(out, source, settings[k].keep ? dir + "/" + name + settings[k].keep : "",
                results[p][k]);
        }
      }
      std::remove(out.c_str());
    }
  }
  std::printf("%-24s %9s %9s %6s %9s %9s %6s %9s %9s %9s %9s\n", "page", "m3 exact", "m3 lossy",
              "subst", "m2 exact", "m2 lossy", "subst", "ms m3 ex", "ms m3 ly", "ms m2 ex",
              "ms m2 ly");
  long totals[4] = {0, 0, 0, 0};
  int64_t substituted[2] = {0, 0};
  double ms[4] = {0, 0, 0, 0};
  bool allExact = true;
  for (int p = 0; p < pages; ++p) {
    const std::array<Outcome, 4> &r = results[p];
    for (int k = 0; k < 4; ++k) {
      totals[k] += r[k].bytes;
      ms[k] += median(r[k].ms);
    }
    substituted[0] += r[1].substituted;
    substituted[1] += r[3].substituted;
    allExact = allExact && r[0].exact && r[2].exact;
    std::printf("%-24s %9ld %9ld %6lld %9ld %9ld %6lld %9.1f %9.1f %9.1f %9.1f%s\n",
                baseName(argv[first + 1 + p]).c_str(), r[0].bytes, r[1].bytes,
                (long long)r[1].substituted, r[2].bytes, r[3].bytes, (long long)r[3].substituted,
                median(r[0].ms), median(r[1].ms), median(r[2].ms), median(r[3].ms),
                r[0].exact && r[2].exact ? "" : "  LOSSLESS NOT EXACT");
  }
  std::printf("%-24s %9ld %9ld %6lld %9ld %9ld %6lld %9.1f %9.1f %9.1f %9.1f\n", "total", totals[0],
              totals[1], (long long)substituted[0], totals[2], totals[3], (long long)substituted[1],
              ms[0], ms[1], ms[2], ms[3]);
  Qtz_cleanupQtzState(&state);
  return allExact ? 0 : 1;
}
