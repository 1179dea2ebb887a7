// The document encoder's size and speed table over the 22 bundled test pages
// (tests/e2e/data), beside the reference figures measured with the reference encoders on the
// same files (the page set's README; the reference JBIG2 encoder cannot be built here, so its
// figures are quoted, not run).
//
// Each page is converted on its own through the exported encoding calls into a raw JBIG2 file,
// in three settings: lossless symbol coding, the default lossy settings and no symbol matching
// (the option meant for generic coding: the encoder then keeps every component that is not a
// generic region as an exact shape, so the column beside the reference's generic coding is
// symbol coding of exact shapes); and the 22 pages once as one document per setting (sections
// share their dictionaries). Bytes are the coded payload: the file less its 9-byte header. Every
// output is decoded by jbig2dec and compared with the input page: differing pixels and substituted
// glyphs (8-connected components of the input whose box differs in at least 10 % as many pixels
// as the glyph has). Times are whole conversions (reading the G4 page, encoding, writing), the
// median of `runs` rounds (default 5) in which settings and pages are interleaved; scripts/bench.sh
// pins the program to one core.
//
// Usage: encode_table [runs [keep dir [output mode]]]: with a keep dir, the two digit pages and
// their lossy decodings are left there as PBMs (<page>.in.pbm, <page>.lossy.pbm) for a second
// check by OCR. The output mode is the encoder's JBIG2 output mode (default 2: MMR generic regions
// and Huffman-coded symbols and text; 3: arithmetic coding throughout).
//        encode_table --memory PAGES: converts one document of PAGES pages (the test pages in
// turn, lossless, raw JBIG2), checks every page in jbig2dec and prints the process's peak
// resident size; run for two page counts, it shows whether memory grows with the document or
// stays bounded by the section.
#include <sys/resource.h>

#include <algorithm>
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

using e2e::Mode;

// Reference bytes per page: G4 strips, jbig2enc generic, symbol mode (-s), lossier symbol mode
// (-s -t 0.85) and cjb2 lossless.
struct Reference {
  const char *page;
  long g4, jb2Generic, jb2Symbol, jb2Lossy, cjb2;
};

const Reference kReferences[] = {
    {"p01_t300_bash-1", 58750, 34368, 7784, 7767, 7287},
    {"p02_t300_bash-8", 78157, 44394, 9186, 9175, 8580},
    {"p03_t300_bash-16", 65766, 38105, 8025, 8019, 7517},
    {"p04_t300_bash-24", 65831, 37601, 7662, 7668, 7066},
    {"p05_t300_bash-32", 66856, 37160, 7907, 7907, 7396},
    {"p06_t300_bash-48", 58192, 32876, 6599, 6597, 6097},
    {"p07_t300_groff-2", 40989, 25384, 6414, 6409, 5966},
    {"p08_t300_gs-2", 39957, 23840, 5470, 5468, 5098},
    {"p09_t300_grops-3", 55902, 34774, 12940, 12879, 12057},
    {"p10_t300_tbl-2", 36319, 21845, 5705, 5708, 5266},
    {"p11_t200_bash-56", 54596, 27122, 7543, 7548, 6877},
    {"p12_t200_bash-64", 51644, 26029, 7091, 7077, 6510},
    {"p13_t200_eqn-2", 33694, 18345, 5490, 5469, 5105},
    {"p14_t200_pic-2", 30499, 17294, 5389, 5367, 4970},
    {"p15_t600_bash-72", 131298, 76808, 10182, 10184, 9604},
    {"p16_t600_bash-80", 102188, 60828, 8819, 8829, 8358},
    {"p17_t600_troff-2", 83322, 51915, 8645, 8604, 8419},
    {"p18_t600_groff-4", 92073, 56077, 8932, 8896, 8552},
    {"p19_d200_digits-times8", 51553, 23481, 5330, 5330, 4972},
    {"p20_d200_digits-helv7", 60898, 24263, 5558, 5558, 5209},
    {"p21_h300_ps2pdf-screen", 182583, 58125, 37349, 37000, 58308},
    {"p22_h300_tbl-floyd", 418233, 91131, 88999, 88900, 87708},
};
constexpr size_t kPages = sizeof kReferences / sizeof kReferences[0];
constexpr long kRawHeader = 9;  // ID string and flags of a sequential file, page count unknown
constexpr double kReferenceMsPerPage = 26.0;  // jbig2enc -s, 300 dpi text page, median
const Mode kModes[] = {Mode::Lossless, Mode::Lossy, Mode::Generic};
constexpr size_t kModeCount = 3;

struct Result {
  long bytes = 0;
  std::vector<double> ms;
  int64_t differing = 0;
  int64_t substituted = 0;
};

[[noreturn]] void fail(const std::string &what) {
  std::fprintf(stderr, "encode_table: %s\n", what.c_str());
  std::exit(1);
}

std::string pageFile(size_t k) {
  return std::string(NORV_E2E_DATA) + "/" + kReferences[k].page + ".tif";
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty()      ? 0
         : v.size() % 2 ? v[v.size() / 2]
                        : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The JBIG2 output mode of every conversion of the table (0: the encoder's default).
int32_t outputMode = 0;

double convert(QtzState *state, const std::string &in, const std::string &out, Mode mode) {
  e2e::EncodeOptions options{e2e::Output::Jbig2, mode};
  options.outputMode = outputMode;
  const auto start = std::chrono::steady_clock::now();
  const int32_t status = e2e::encodeTiff(state, in, out, options);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) fail("converting " + in + " gave " + std::to_string(status));
  return ms;
}

// Bytes, and the decoded pages against the sources; the decoded pages.
std::vector<norvtest::Pnm> check(Result &r, const std::string &out,
                                 const std::vector<norvtest::Pnm> &sources, bool countGlyphs) {
  r.bytes = long(norvtest::readFile(out).size()) - kRawHeader;
  const norvtest::ToolRun run =
      norvtest::runTool("jbig2dec -q -t pbm -o - " + norvtest::shellQuote(out) + " 2>/dev/null");
  const std::vector<norvtest::Pnm> decoded = norvtest::parsePnms(run.output);
  if (decoded.size() != sources.size()) fail("jbig2dec does not give every page of " + out);
  for (size_t k = 0; k < sources.size(); ++k) {
    const int64_t d = norvtest::differingPixels(sources[k], decoded[k]);
    if (d < 0) fail("a page of " + out + " has the wrong size");
    r.differing += d;
    if (countGlyphs)
      r.substituted += e2e::countSubstitutedGlyphs(sources[k], decoded[k]).substituted;
  }
  return decoded;
}

int64_t sumDiffering(const Result *results) {
  int64_t s = 0;
  for (size_t k = 0; k < kPages; ++k) s += results[k].differing;
  return s;
}

// One document of `count` pages (the test pages in turn) converted losslessly into a raw JBIG2
// file; the pages jbig2dec decodes exactly, the time and the process's peak resident size.
int memoryRun(int count) {
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0)
    fail("no library state");
  norvtest::TempDir dir("encode_memory");
  std::string command = "tiffcp";
  for (int k = 0; k < count; ++k)
    command += " " + norvtest::shellQuote(pageFile(size_t(k) % kPages));
  const std::string document = dir.file("document.tif");
  if (norvtest::runTool(command + " " + norvtest::shellQuote(document)).status != 0) fail("tiffcp");
  const std::string out = dir.file("out.jb2");
  const auto start = std::chrono::steady_clock::now();
  if (const int32_t status =
          e2e::encodeTiff(state, document, out, {e2e::Output::Jbig2, Mode::Lossless});
      status != 0)
    fail("converting the document gave " + std::to_string(status));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const norvtest::ToolRun run =
      norvtest::runTool("jbig2dec -q -t pbm -o - " + norvtest::shellQuote(out) + " 2>/dev/null");
  const std::vector<norvtest::Pnm> decoded = norvtest::parsePnms(run.output);
  int exact = 0;
  for (size_t k = 0; k < decoded.size() && k < size_t(count); ++k) {
    const norvtest::Pnm source = norvtest::parsePnm(
        norvtest::runTool("tifftopnm -quiet " + norvtest::shellQuote(pageFile(k % kPages))).output);
    exact += norvtest::differingPixels(source, decoded[k]) == 0;
  }
  std::printf(
      "%d pages, lossless, raw JBIG2: %ld bytes, %.1f s, peak resident %ld KiB; "
      "jbig2dec: %zu pages, %d exact\n",
      count, long(norvtest::readFile(out).size()), seconds, usage.ru_maxrss, decoded.size(), exact);
  Qtz_cleanupQtzState(&state);
  return decoded.size() == size_t(count) && exact == count ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 2 && std::string(argv[1]) == "--memory")
    return memoryRun(std::max(1, std::atoi(argv[2])));
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string keep = argc > 2 ? argv[2] : "";
  outputMode = argc > 3 ? std::atoi(argv[3]) : 0;
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0)
    fail("no library state");
  norvtest::TempDir dir("encode_table");
  std::vector<norvtest::Pnm> sources;
  std::string all = "tiffcp";
  for (size_t k = 0; k < kPages; ++k) {
    sources.push_back(norvtest::parsePnm(
        norvtest::runTool("tifftopnm -quiet " + norvtest::shellQuote(pageFile(k))).output));
    if (sources.back().kind != '4') fail("tifftopnm " + pageFile(k));
    all += " " + norvtest::shellQuote(pageFile(k));
  }
  const std::string document = dir.file("all_pages.tif");
  if (norvtest::runTool(all + " " + norvtest::shellQuote(document)).status != 0) fail("tiffcp");

  Result pages[kModeCount][kPages], whole[kModeCount];
  auto out = [&](size_t m, const std::string &name) {
    return dir.file(std::string(e2e::nameOf(kModes[m])) + "_" + name + ".jb2");
  };
  for (int r = 0; r < runs; ++r) {
    for (size_t k = 0; k < kPages; ++k)
      for (size_t m = 0; m < kModeCount; ++m)
        pages[m][k].ms.push_back(
            convert(state, pageFile(k), out(m, kReferences[k].page), kModes[m]));
    for (size_t m = 0; m < kModeCount; ++m)
      whole[m].ms.push_back(convert(state, document, out(m, "all"), kModes[m]));
  }
  for (size_t m = 0; m < kModeCount; ++m) {
    for (size_t k = 0; k < kPages; ++k) {
      const bool digits = std::string(kReferences[k].page).find("digits") != std::string::npos;
      const std::vector<norvtest::Pnm> decoded =
          check(pages[m][k], out(m, kReferences[k].page), {sources[k]}, digits);
      if (digits && kModes[m] == Mode::Lossy && !keep.empty()) {
        const std::string stem = keep + "/" + kReferences[k].page;
        if (!norvtest::writePnm(stem + ".in.pbm", sources[k]) ||
            !norvtest::writePnm(stem + ".lossy.pbm", decoded[0]))
          fail("cannot write into " + keep);
      }
    }
    check(whole[m], out(m, "all"), sources, false);
  }

  std::printf("## JBIG2 output mode %d\n\n", outputMode > 0 ? outputMode : 2);
  std::printf("### Bytes per page (single-page conversions, raw JBIG2 payload)\n\n");
  std::printf(
      "| page | G4 | ours lossless | cjb2 | ours lossy | jb2 -s | jb2 -s -t .85 | ours "
      "no matching | jb2 generic | lossy diff px | lossy subst | ms lossless | ms lossy | ms "
      "no matching |\n");
  std::printf(
      "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: "
      "| ---: | ---: |\n");
  long totals[8] = {};
  double msTotal[kModeCount] = {};
  std::vector<double> text300[kModeCount];
  for (size_t k = 0; k < kPages; ++k) {
    const Reference &ref = kReferences[k];
    const Result &ll = pages[0][k], &ly = pages[1][k], &gn = pages[2][k];
    std::printf(
        "| %s | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %ld | %lld | %s | %.1f | %.1f | "
        "%.1f |\n",
        ref.page, ref.g4, ll.bytes, ref.cjb2, ly.bytes, ref.jb2Symbol, ref.jb2Lossy, gn.bytes,
        ref.jb2Generic, (long long)ly.differing,
        k == 18 || k == 19 ? std::to_string(ly.substituted).c_str() : "", median(ll.ms),
        median(ly.ms), median(gn.ms));
    const long row[8] = {ref.g4,        ll.bytes,     ref.cjb2, ly.bytes,
                         ref.jb2Symbol, ref.jb2Lossy, gn.bytes, ref.jb2Generic};
    for (int c = 0; c < 8; ++c) totals[c] += row[c];
    for (size_t m = 0; m < kModeCount; ++m) {
      msTotal[m] += median(pages[m][k].ms);
      if (k < 10) text300[m].push_back(median(pages[m][k].ms));
    }
  }
  std::printf(
      "| **ALL 22 pages** | **%ld** | **%ld** | **%ld** | **%ld** | **%ld** | **%ld** | "
      "**%ld** | **%ld** | **%lld** | | **%.0f** | **%.0f** | **%.0f** |\n\n",
      totals[0], totals[1], totals[2], totals[3], totals[4], totals[5], totals[6], totals[7],
      (long long)sumDiffering(pages[1]), msTotal[0], msTotal[1], msTotal[2]);
  std::printf(
      "Pixels differing in all 22 single-page conversions: %lld (lossless), %lld "
      "(generic).\n",
      (long long)sumDiffering(pages[0]), (long long)sumDiffering(pages[2]));
  std::printf("Substituted glyphs, lossy defaults: p19 %lld, p20 %lld.\n\n",
              (long long)pages[1][18].substituted, (long long)pages[1][19].substituted);

  std::printf("### The 22 pages as one document (raw JBIG2 payload)\n\n");
  std::printf(
      "| setting | bytes | diff px | ms (median of %d) | pages/s |\n| --- | ---: | ---: | "
      "---: | ---: |\n",
      runs);
  for (size_t m = 0; m < kModeCount; ++m)
    std::printf("| %s | %ld | %lld | %.0f | %.1f |\n", e2e::nameOf(kModes[m]), whole[m].bytes,
                (long long)whole[m].differing, median(whole[m].ms),
                1000.0 * kPages / median(whole[m].ms));
  std::printf(
      "\nReference (quoted): one file with shared dictionary, jbig2 -s -p -t 0.85: 238120; "
      "-s -p -t 0.92: 238849.\n\n");

  std::printf("### Speed\n\n");
  for (size_t m = 0; m < kModeCount; ++m)
    std::printf(
        "- %s: median %.1f ms per 300 dpi text page (p01-p10, single-page conversions), "
        "%.1f pages/s over the 22 single-page conversions\n",
        e2e::nameOf(kModes[m]), median(text300[m]), 1000.0 * kPages / msTotal[m]);
  std::printf(
      "- reference (quoted, not run here): jbig2enc -s %.0f ms per 300 dpi text page "
      "(%.1f pages/s); ratio to ours lossy: %.2f\n",
      kReferenceMsPerPage, 1000.0 / kReferenceMsPerPage, kReferenceMsPerPage / median(text300[1]));
  Qtz_cleanupQtzState(&state);
  return 0;
}
