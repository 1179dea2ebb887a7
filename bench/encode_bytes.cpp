// Where the bytes of a raw JBIG2 file go: for each page given, the bytes per segment kind
// (symbol dictionaries, text regions, generic regions, pattern dictionaries and halftone regions,
// code tables, the rest: file header, page information, end of stripe, page and file), the
// symbols the dictionaries bring, the instances the text regions place and the number of
// generic regions, read back from the file by the library's own segment header reader.
//
// A TIFF page is converted by this encoder (one page per file, raw JBIG2) in the setting given;
// a .jb2 file is read as it stands, so files of another encoder can be laid beside ours. With
// --peer CMD a TIFF page is also converted to PBM (tifftopnm) and coded by `CMD -s PAGE.pbm`
// (an installed reference encoder's symbol mode, output on its standard output); the peer rows
// are skipped with a note when the command is not there. G4 is the TIFF's strip bytes.
//
// Usage: encode_bytes [--mode 2|3] [--lossless] [--peer CMD] FILE...
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_encode.h"
#include "jb2_stream.h"
#include "jbig2_segment.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_tools.h"

namespace {

enum Kind { kDict, kText, kGeneric, kHalftone, kTables, kOther, kKinds };
const char *const kKindNames[kKinds] = {"dict", "text", "generic", "halftone", "tables", "other"};

struct Breakdown {
  long bytes[kKinds] = {};
  long total = 0;
  long symbols = 0;    // new symbols of the dictionaries
  long instances = 0;  // symbol instances of the text regions
  long generics = 0;   // generic regions
  long textRegions = 0;
  long longForm = 0;  // segment headers with more than 4 referred-to segments
  void add(const Breakdown &b) {
    for (int k = 0; k < kKinds; ++k) bytes[k] += b.bytes[k];
    total += b.total, symbols += b.symbols, instances += b.instances, generics += b.generics;
    textRegions += b.textRegions, longForm += b.longForm;
  }
};

[[noreturn]] void fail(const std::string &what) {
  std::fprintf(stderr, "encode_bytes: %s\n", what.c_str());
  std::exit(1);
}

Kind kindOf(uint8_t type) {
  if (type == kSegSymbolDict) return kDict;
  if (isTextType(type)) return kText;
  if (type == 36 || type == 38 || type == 39) return kGeneric;
  if (type == kSegPatternDict || type == 20 || type == 22 || type == 23) return kHalftone;
  if (type == kSegTable) return kTables;
  return kOther;
}

uint32_t be32(const std::string &d, size_t at) {
  if (at + 4 > d.size()) return 0;
  return uint32_t(uint8_t(d[at])) << 24 | uint32_t(uint8_t(d[at + 1])) << 16 |
         uint32_t(uint8_t(d[at + 2])) << 8 | uint32_t(uint8_t(d[at + 3]));
}
uint32_t be16(const std::string &d, size_t at) {
  if (at + 2 > d.size()) return 0;
  return uint32_t(uint8_t(d[at])) << 8 | uint32_t(uint8_t(d[at + 1]));
}

// The counts a segment's fixed fields give (T.88 7.4.2.1 and 7.4.3.1).
void countData(uint8_t type, const std::string &data, Breakdown &b) {
  if (type == kSegSymbolDict) {
    const uint32_t flags = be16(data, 0);
    size_t at = 2;
    if ((flags & 1) == 0) at += ((flags >> 10) & 3) == 0 ? 8 : 2;
    if ((flags & 2) != 0 && (flags & 0x1000) == 0) at += 4;
    b.symbols += be32(data, at + 4);
  } else if (isTextType(type)) {
    const uint32_t flags = be16(data, 17);
    size_t at = 19;
    if ((flags & 1) != 0) at += 2;
    if ((flags & 2) != 0 && (flags & 0x8000) == 0) at += 4;
    b.instances += be32(data, at);
    b.textRegions++;
  } else if (kindOf(type) == kGeneric) {
    b.generics++;
  }
}

// Walks the segments of a raw JBIG2 file (sequential or random-access organisation).
Breakdown readFile(QtzState *state, const std::string &file) {
  const std::vector<uint8_t> raw = norvtest::readFile(file);
  const std::string bytes(raw.begin(), raw.end());
  static const char kId[] = "\x97\x4A\x42\x32\x0D\x0A\x1A\x0A";
  if (bytes.size() < 9 || bytes.compare(0, 8, kId, 8) != 0) fail(file + " is no JBIG2 file");
  const auto flags = uint8_t(bytes[8]);
  const size_t headerBytes = (flags & 2) != 0 ? 9 : 13;
  DataSource *source = nullptr;
  if (memSourceNew(reinterpret_cast<const uint8_t *>(bytes.data()) + headerBytes,
                   bytes.size() - headerBytes, state, &source) != 0)
    fail("no memory source");
  Jb2File *stream = nullptr;
  if (jb2NewStream(source, nullptr, state, &stream) != 0) fail("no stream");
  Breakdown b;
  b.bytes[kOther] = long(headerBytes);
  struct Pending {
    uint8_t type;
    uint32_t length;
  };
  std::vector<Pending> pending;  // random access: data after every header
  const bool sequential = (flags & 1) != 0;
  size_t at = headerBytes;
  for (;;) {
    if (srcLeft(source) == 0) break;
    Jbig2Segment seg{};
    const size_t before = srcLeft(source);
    if (parseSegmentHeader(stream, source, &seg) != 0) fail("a segment header of " + file);
    const size_t headerLength = before - srcLeft(source);
    at += headerLength;
    b.longForm += seg.refCount > 4;
    qtz::release(state, seg.refs);
    qtz::release(state, seg.refRetain);
    b.bytes[kindOf(seg.type)] += long(headerLength);
    if (sequential) {
      if (seg.dataLength > srcLeft(source)) fail("a segment of " + file + " runs past its end");
      const std::string data = bytes.substr(at, seg.dataLength);
      countData(seg.type, data, b);
      b.bytes[kindOf(seg.type)] += long(seg.dataLength);
      srcSkip(source, seg.dataLength);
      at += seg.dataLength;
    } else {
      pending.push_back({seg.type, seg.dataLength});
    }
    if (seg.type == kSegEndOfFile) break;
  }
  for (const Pending &p : pending) {
    countData(p.type, bytes.substr(at, p.length), b);
    b.bytes[kindOf(p.type)] += long(p.length);
    at += p.length;
  }
  jb2FreeStream(stream);
  memSourceFree(source);
  b.total = long(bytes.size());
  return b;
}

long g4Bytes(const std::string &tiff) {
  TIFF *t = TIFFOpen(tiff.c_str(), "r");
  if (t == nullptr) return 0;
  long sum = 0;
  uint64_t *counts = nullptr;
  if (TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) != 0)
    for (uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) sum += long(counts[s]);
  TIFFClose(t);
  return sum;
}

bool endsWith(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string stem(const std::string &path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.find_last_of('.'));
}

void printRow(const std::string &name, const char *coder, long g4, const Breakdown &b) {
  std::printf("| %s | %s | %ld | %ld |", name.c_str(), coder, g4, b.total);
  for (long v : b.bytes) std::printf(" %ld |", v);
  std::printf(" %ld | %ld | %ld | %ld | %ld |\n", b.symbols, b.instances, b.textRegions, b.generics,
              b.longForm);
}

}  // namespace

int main(int argc, char **argv) {
  e2e::EncodeOptions options{e2e::Output::Jbig2, e2e::Mode::Lossy};
  std::string peer;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--mode" && i + 1 < argc) {
      options.outputMode = std::atoi(argv[++i]);
    } else if (a == "--lossless") {
      options.mode = e2e::Mode::Lossless;
    } else if (a == "--peer" && i + 1 < argc) {
      peer = argv[++i];
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) fail("usage: encode_bytes [--mode 2|3] [--lossless] [--peer CMD] FILE...");
  const bool peerThere = !peer.empty() && norvtest::toolAvailable(peer);
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0)
    fail("no library state");
  norvtest::TempDir dir("encode_bytes");
  std::printf("Ours: output mode %d, %s symbols\n\n",
              options.outputMode > 0 ? options.outputMode : 2, e2e::nameOf(options.mode));
  std::printf("| page | coder | G4 | bytes |");
  for (const char *k : kKindNames) std::printf(" %s |", k);
  std::printf(" symbols | instances | text regions | generic regions | long headers |\n|---|---|");
  for (int c = 0; c < kKinds + 7; ++c) std::printf("---:|");
  std::printf("\n");
  Breakdown ours, theirs;
  long g4Total = 0;
  for (const std::string &file : files) {
    const std::string name = stem(file);
    if (!endsWith(file, ".tif") && !endsWith(file, ".tiff")) {
      const Breakdown b = readFile(state, file);
      printRow(name, "file", 0, b);
      ours.add(b);
      continue;
    }
    const long g4 = g4Bytes(file);
    g4Total += g4;
    const std::string out = dir.file(name + ".jb2");
    if (const int32_t status = e2e::encodeTiff(state, file, out, options); status != 0)
      fail("converting " + file + " gave " + std::to_string(status));
    const Breakdown b = readFile(state, out);
    printRow(name, "ours", g4, b);
    ours.add(b);
    if (!peerThere) continue;
    const std::string pbm = dir.file(name + ".pbm"), ref = dir.file(name + ".peer.jb2");
    if (norvtest::runTool("tifftopnm -quiet " + norvtest::shellQuote(file) + " > " +
                          norvtest::shellQuote(pbm))
                .status != 0 ||
        norvtest::runTool(peer + " -s " + norvtest::shellQuote(pbm) + " > " +
                          norvtest::shellQuote(ref) + " 2>/dev/null")
                .status != 0)
      fail("the peer could not code " + file);
    const Breakdown r = readFile(state, ref);
    printRow(name, "peer -s", g4, r);
    theirs.add(r);
  }
  printRow("**total**", "ours", g4Total, ours);
  if (peerThere) printRow("**total**", "peer -s", g4Total, theirs);
  if (!peer.empty() && !peerThere)
    std::printf("\n(peer %s not installed: skipped)\n", peer.c_str());
  Qtz_cleanupQtzState(&state);
  return 0;
}
