// What the lossy classifier changes on a set of pages, through the exported encoding calls.
//
// Usage: lossy_check [--runs N] [--peer PROGRAM] OUTDIR PAGE.tif ...: each bilevel page is
// converted on its own into
// a raw JBIG2 file in output modes 3 (arithmetic coding) and 2 (the default: MMR and Huffman
// coding), once lossless and once with the default lossy settings. Every output is decoded by
// jbig2dec; the lossless decodings must equal the page, and the lossy decodings are checked with
// the substituted-glyph counter (8-connected components of the page whose box differs in at least
// 10 % as many pixels as the component has; on real scans this also counts glyphs that merely
// lost or gained edge noise). Prints per page the bytes of the four outputs (payload: the file
// less its 9-byte header) and the substituted glyphs of the two lossy ones, and the totals. The
// mode-3 decodings are left as OUTDIR/<page>.lossless.pbm and OUTDIR/<page>.lossy.pbm for the
// OCR comparison of scripts/ocr_compare.sh. Times are the process CPU time of whole conversions
// (reading the G4 page, encoding, writing), the median of N rounds (default 1) in which the pages
// and settings are interleaved; with a peer encoder, "PROGRAM -s PAGE" (its output discarded) runs
// in every round too and its whole run's CPU time (user and system) is printed beside ours. Run
// it pinned to one core. Exit status 1 when a lossless output is not exact.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// CPU time this process has used, in milliseconds.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Converts the page, timed.
void encode(QtzState *state, const std::string &page, e2e::Mode mode, int32_t outputMode,
            const std::string &out, Outcome &r) {
  const double start = cpuMs();
  const int32_t status =
      e2e::encodeTiff(state, page, out, {e2e::Output::Jbig2, mode, 0, 0, outputMode});
  r.ms.push_back(cpuMs() - start);
  if (status != 0) fail("converting " + page + " gave " + std::to_string(status));
}

// Runs "peer -s page" with its output discarded; the CPU time of the whole run (user and
// system), in milliseconds.
double runPeer(const std::string &peer, const std::string &page) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  std::string flag = "-s";
  std::string program = peer, input = page;
  char *args[] = {program.data(), flag.data(), input.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, peer.c_str(), &files, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&files);
  if (spawned != 0) fail("cannot run " + peer);
  int status = 0;
  rusage use{};
  if (wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fail(peer + " failed on " + page);
  }
  auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return ms(use.ru_utime) + ms(use.ru_stime);
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
  std::string peer;
  int first = 1;
  for (; first + 1 < argc; first += 2) {
    const std::string flag = argv[first];
    if (flag == "--runs") {
      runs = std::max(1, std::atoi(argv[first + 1]));
    } else if (flag == "--peer") {
      peer = argv[first + 1];
    } else {
      break;
    }
  }
  if (argc < first + 2) {
    std::fprintf(stderr, "usage: %s [--runs N] [--peer PROGRAM] OUTDIR PAGE.tif ...\n", argv[0]);
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
  std::vector<std::vector<double>> peerMs(static_cast<size_t>(pages));
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
      if (!peer.empty()) peerMs[p].push_back(runPeer(peer, page));
    }
  }
  std::printf("%-24s %9s %9s %6s %9s %9s %6s %9s %9s %9s %9s%s\n", "page", "m3 exact", "m3 lossy",
              "subst", "m2 exact", "m2 lossy", "subst", "ms m3 ex", "ms m3 ly", "ms m2 ex",
              "ms m2 ly", peer.empty() ? "" : "   ms peer");
  long totals[4] = {0, 0, 0, 0};
  int64_t substituted[2] = {0, 0};
  double ms[5] = {0, 0, 0, 0, 0};
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
    char peerColumn[32] = "";
    if (!peer.empty()) {
      std::snprintf(peerColumn, sizeof peerColumn, " %9.1f", median(peerMs[p]));
      ms[4] += median(peerMs[p]);
    }
    std::printf("%-24s %9ld %9ld %6lld %9ld %9ld %6lld %9.1f %9.1f %9.1f %9.1f%s%s\n",
                baseName(argv[first + 1 + p]).c_str(), r[0].bytes, r[1].bytes,
                (long long)r[1].substituted, r[2].bytes, r[3].bytes, (long long)r[3].substituted,
                median(r[0].ms), median(r[1].ms), median(r[2].ms), median(r[3].ms), peerColumn,
                r[0].exact && r[2].exact ? "" : "  LOSSLESS NOT EXACT");
  }
  std::printf("%-24s %9ld %9ld %6lld %9ld %9ld %6lld %9.1f %9.1f %9.1f %9.1f", "total", totals[0],
              totals[1], (long long)substituted[0], totals[2], totals[3], (long long)substituted[1],
              ms[0], ms[1], ms[2], ms[3]);
  if (!peer.empty()) std::printf(" %9.1f", ms[4]);
  std::printf("\n");
  Qtz_cleanupQtzState(&state);
  return allExact ? 0 : 1;
}
