// Encoding example over the installed C API: converts the bundled sample scans
// (<data dir>/sample_scan.tif, three bilevel pages in CCITT G4, and <data dir>/sample_colour.tif,
// one RGB page) with the default settings into TIFF-FX, raw JBIG2 and PDF files in
// <output dir>, and prints per file the pages, the bytes, the bytes per page beside the input's
// (its G4 strip bytes for a bilevel TIFF) and the time the conversion took. Each conversion is
// norv_initEncState, norv_setGeneralEncOptions (the output kind), norv_encStart,
// norv_encDocument and norv_cleanEncState, which closes the file. Fails with a message and
// status 1 on any failing call.
//
// It also converts a user's own TIFF file:
//   example_encode IN.tif OUT.tfx|OUT.jb2|OUT.pdf [--lossless] [--mode 2|3]
// The output kind follows the name's suffix; --lossless keeps every symbol exact (a token joins
// a class only when it matches without error), --mode 3 codes everything with the arithmetic
// coder (the default mode 2 uses MMR and Huffman codes). It prints the same line per file.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "example_main.h"
#include "norv_enc.h"
#include "qtz_state.h"

namespace {

struct Kind {
  const char *name;
  const char *suffix;
  uint8_t raw, pdf;
};

const Kind kKinds[] = {
    {"TIFF-FX", ".tfx", 0, 0}, {"raw JBIG2", ".jb2", 1, 0}, {"PDF", ".pdf", 1, 1}};

std::vector<uint8_t> readAll(const std::string &path) {
  std::vector<uint8_t> bytes;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return bytes;
}

// The input's coded page bytes: the strip byte counts of every directory of a TIFF file, and
// whether all of them are CCITT G4 (Compression 4). Zero for a file that is not a TIFF.
struct Strips {
  uint64_t bytes = 0;
  bool g4 = true;
};

Strips stripBytes(const std::vector<uint8_t> &f) {
  Strips out;
  if (f.size() < 8 || (f[0] != 'I' && f[0] != 'M') || f[0] != f[1]) return {0, false};
  const bool little = f[0] == 'I';
  auto get = [&](uint64_t at, int n) -> uint64_t {
    uint64_t v = 0;
    if (at + n > f.size()) return 0;
    for (int k = 0; k < n; ++k) v |= uint64_t(f[at + (little ? k : n - 1 - k)]) << (8 * k);
    return v;
  };
  uint64_t ifd = get(4, 4);
  for (int pages = 0; ifd != 0 && ifd + 2 <= f.size() && pages < 10000; ++pages) {
    const uint64_t entries = get(ifd, 2);
    for (uint64_t e = 0; e < entries; ++e) {
      const uint64_t at = ifd + 2 + 12 * e;
      const uint64_t tag = get(at, 2), type = get(at + 2, 2), count = get(at + 4, 4);
      const int size = type == 3 ? 2 : 4;
      if (tag == 259) out.g4 = out.g4 && get(at + 8, size) == 4;
      if (tag != 279) continue;
      const uint64_t values = count * size <= 4 ? at + 8 : get(at + 8, 4);
      for (uint64_t k = 0; k < count; ++k) out.bytes += get(values + k * size, size);
    }
    ifd = get(ifd + 2 + 12 * entries, 4);
  }
  return out;
}

int failed(const std::string &what, int32_t status) {
  std::fprintf(stderr, "example_encode: %s failed: %d (%s)\n", what.c_str(), status,
               Qtz_getErrStr(status));
  return 1;
}

// The user's choices of the one-file conversion (the defaults for the bundled samples).
struct Choices {
  bool lossless = false;
  int32_t mode = 0;  // 0 keeps the encoder's default
};

// Exact symbols: match fraction 1, no error pixels, no dilation.
int32_t setLossless(NorvEncState *enc) {
  const float exact = 1.0f;
  const int32_t none = 0;
  return norv_setTokenOptions(enc, nullptr, &exact, &none, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &none, nullptr,
                              nullptr);
}

// One conversion; the pages encoded through *pages.
int convert(QtzState *state, const std::string &in, const std::string &out, const Kind &kind,
            const Choices &choices, int32_t *pages) {
  FILE *file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) {
    std::perror(out.c_str());
    return 1;
  }
  NorvEncState *enc = nullptr;
  int32_t s = norv_initEncState(state, &enc);
  if (s != 0) {
    std::fclose(file);
    return failed("norv_initEncState", s);
  }
  const int32_t *mode = choices.mode > 0 ? &choices.mode : nullptr;
  s = norv_setGeneralEncOptions(enc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, mode,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, &kind.raw, &kind.pdf);
  if (s == 0 && choices.lossless) s = setLossless(enc);
  if (s == 0) s = norv_encStart(state, enc, file, nullptr);
  // The writer owns the file from a successful start on and closes it at clean-up.
  const bool writerOwnsFile = s == 0 || enc->writer != nullptr;
  if (s == 0) s = norv_encDocument(state, enc, in.c_str(), 1);
  *pages = enc->pageCount;
  const int32_t cleaned = norv_cleanEncState(state, &enc);
  if (!writerOwnsFile) std::fclose(file);
  if (s != 0) return failed("converting " + in, s);
  if (cleaned != 0) return failed("closing " + out, cleaned);
  return 0;
}

// Converts `in` into `out` and prints the file's line: pages, bytes, bytes per page beside the
// input's and the time.
int convertAndReport(QtzState *state, const std::string &in, const std::string &out,
                     const Kind &kind, const Choices &choices, const Strips &strips) {
  int32_t pages = 0;
  const auto start = std::chrono::steady_clock::now();
  if (int r = convert(state, in, out, kind, choices, &pages); r != 0) return r;
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const uint64_t bytes = readAll(out).size();
  const uint64_t perPage = pages > 0 ? bytes / pages : 0;
  const uint64_t inputPerPage = pages > 0 ? strips.bytes / pages : 0;
  const std::string name = out.substr(out.find_last_of('/') + 1);
  std::printf(
      "  %-9s %-24s %2d pages %8llu bytes %7llu per page (input %s: %llu per page, "
      "%.1fx) %7.1f ms\n",
      kind.name, name.c_str(), pages, (unsigned long long)bytes, (unsigned long long)perPage,
      strips.g4 ? "G4" : "strips", (unsigned long long)inputPerPage,
      perPage > 0 ? double(inputPerPage) / double(perPage) : 0.0, ms);
  return 0;
}

// Reads the input, prints its line and takes its strip bytes; false when it cannot be read.
bool readInput(const std::string &in, Strips *strips) {
  const std::vector<uint8_t> input = readAll(in);
  if (input.empty()) {
    std::fprintf(stderr, "example_encode: cannot read %s\n", in.c_str());
    return false;
  }
  *strips = stripBytes(input);
  std::printf("%s: %zu bytes\n", in.c_str(), input.size());
  return true;
}

// The encoder reads the source pages through the state's two image-core contexts.
int initContexts(QtzState *state) {
  if (int32_t s = Qtz_initIPWState(state); s != 0) return failed("image-core context", s);
  if (int32_t s = Qtz_initIPState(state); s != 0) return failed("image-core context", s);
  return 0;
}

int run(QtzState *state, const std::string &dataDir, const std::string &outDir) {
  if (int r = initContexts(state); r != 0) return r;
  for (const char *name : {"sample_scan", "sample_colour"}) {
    const std::string in = dataDir + "/" + name + ".tif";
    Strips strips;
    if (!readInput(in, &strips)) return 1;
    for (const Kind &kind : kKinds)
      if (int r = convertAndReport(state, in, outDir + "/" + name + kind.suffix, kind, {}, strips);
          r != 0)
        return r;
  }
  return 0;
}

// The output kind of a file name's suffix, or none.
const Kind *kindOfName(const std::string &name) {
  for (const Kind &kind : kKinds) {
    const size_t n = std::strlen(kind.suffix);
    if (name.size() > n && name.compare(name.size() - n, n, kind.suffix) == 0) return &kind;
  }
  return nullptr;
}

// example_encode IN.tif OUT.{tfx,jb2,pdf} [--lossless] [--mode 2|3]
int convertUserFile(int argc, char **argv, const Kind &kind) {
  Choices choices;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--lossless") {
      choices.lossless = true;
    } else if (a == "--mode" && i + 1 < argc &&
               (std::string(argv[i + 1]) == "2" || std::string(argv[i + 1]) == "3")) {
      choices.mode = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: example_encode IN.tif OUT.tfx|OUT.jb2|OUT.pdf [--lossless] "
                   "[--mode 2|3]\n");
      return 2;
    }
  }
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 0, 0) != 0) return 1;
  Strips strips;
  int result = initContexts(state);
  if (result == 0) result = readInput(argv[1], &strips) ? 0 : 1;
  if (result == 0) result = convertAndReport(state, argv[1], argv[2], kind, choices, strips);
  Qtz_cleanupQtzState(&state);
  return result;
}

}  // namespace

int main(int argc, char **argv) {
  // A named output file (by its suffix) makes it a conversion of the user's file.
  if (argc >= 3)
    if (const Kind *kind = kindOfName(argv[2])) return convertUserFile(argc, argv, *kind);
  return exampleMain(argc, argv, "example_encode", run);
}
