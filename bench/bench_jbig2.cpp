// JBIG2 decoding beside jbig2dec on the same streams (whole decode, page discarded), one kind
// of page each: a 2480 x 3508 (300 dpi) template-0 generic page coded without and with TPGDON,
// the same page at 600 dpi, the 300-dpi page MMR coded, a refinement, a symbol-coded and a
// halftone file of the conformance corpus, and the 300-dpi page as the reference encoder's
// symbol mode writes it (`jbig2 -s`, run only when installed; skipped otherwise); a 300-dpi
// text page of the project's test pages as the document encoder writes it by default (output
// mode 2: MMR and Huffman codes) and in output mode 3 (arithmetic coding), and a 300-dpi page
// with a screened photograph coded as a pattern dictionary and halftone region; encoding the
// generic page; and MQ decoding throughput (decisions per second) of the inline decoder against
// the plain Annex E twin of the tests.
//
// Run pinned and interleaved, e.g. taskset -c 2 build/release/bench/bench_jbig2 with
//   --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
//   --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "e2e_encode.h"
#include "jbig2_decoder.h"
#include "jbig2_file_format.h"
#include "jbig2_generic_encode.h"
#include "jbig2_reference_encoder.h"
#include "mq_reference.h"

#include <jbig2.h>

namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "bench_jbig2: %s\n", what);
  std::exit(1);
}

void put32(std::vector<uint8_t> &out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void segmentHeader(std::vector<uint8_t> &out, uint32_t number, uint8_t type, uint32_t length) {
  put32(out, number);
  out.push_back(type);
  out.push_back(0);  // no referred-to segments, not retained
  out.push_back(1);  // page 1
  put32(out, length);
}

// A text-like page: lines of words made of small glyphs picked from a set of 60.
jbtest::Bits textPage(int width, int height) {
  std::mt19937 rng(1234);
  std::vector<jbtest::Bits> glyphs;
  for (int g = 0; g < 60; ++g) {
    jbtest::Bits glyph(14 + int(rng() % 10), 30);
    for (int s = 0; s < 3; ++s) {
      const int x0 = int(rng() % 10), y0 = int(rng() % 20), w = 2 + int(rng() % 10),
                h = 3 + int(rng() % 10);
      for (int y = y0; y < std::min(30, y0 + h); ++y)
        for (int x = x0; x < std::min(glyph.width, x0 + w); ++x) glyph.set(x, y, 1);
    }
    glyphs.push_back(glyph);
  }
  jbtest::Bits page(width, height);
  for (int line = 200; line + 40 < height - 200; line += 50) {
    int x = 200;
    while (x < width - 250) {
      const int letters = 2 + int(rng() % 8);
      for (int i = 0; i < letters && x < width - 250; ++i) {
        const jbtest::Bits &g = glyphs[rng() % glyphs.size()];
        for (int y = 0; y < g.height; ++y)
          for (int gx = 0; gx < g.width; ++gx)
            if (g.get(gx, y)) page.set(x + gx, line + y, 1);
        x += g.width + 3;
      }
      x += 25;
    }
  }
  return page;
}

QtzState *benchState();

// A page stream: page information, one immediate lossless generic region covering the page
// (flags: bit 0 MMR, bit 3 TPGDON; the nominal AT pixels of template 0 for arithmetic data),
// end of page.
std::vector<uint8_t> pageStream(int width, int height, uint8_t flags,
                                const std::vector<uint8_t> &coded) {
  const bool mmr = flags & 1;
  const int8_t at[8] = {3, -1, -3, -1, 2, -2, -2, -2};
  std::vector<uint8_t> s;
  segmentHeader(s, 0, 48, 19);
  put32(s, uint32_t(width));
  put32(s, uint32_t(height));
  put32(s, 0);
  put32(s, 0);
  s.push_back(0);
  s.push_back(0);
  s.push_back(0);
  segmentHeader(s, 1, 39, uint32_t(17 + 1 + (mmr ? 0 : 8) + coded.size()));
  put32(s, uint32_t(width));
  put32(s, uint32_t(height));
  put32(s, 0);
  put32(s, 0);
  s.push_back(0);
  s.push_back(flags);
  if (!mmr)
    for (int8_t v : at) s.push_back(uint8_t(v));
  s.insert(s.end(), coded.begin(), coded.end());
  segmentHeader(s, 2, 49, 0);
  return s;
}

std::vector<uint8_t> genericPageStream(const jbtest::Bits &page, bool tpgdon) {
  Jbig2GenericTemplate t{};
  t.tmpl = 0;
  t.atx[0] = 3, t.aty[0] = -1, t.atx[1] = -3, t.aty[1] = -1;
  t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
  t.tpgdon = tpgdon;
  return pageStream(page.width, page.height, tpgdon ? 0x08 : 0x00, jbtest::encodeGeneric(page, t));
}

// The page T.6 coded by the library's MMR region coder.
std::vector<uint8_t> mmrPageStream(const jbtest::Bits &page) {
  DataSink *sink = nullptr;
  Jb2File *stream = nullptr;
  if (memSinkNew(benchState(), &sink) != 0 ||
      jb2NewStream(nullptr, sink, benchState(), &stream) != 0 ||
      encodeGenericMmr(stream, sink, page.words.data(), page.width, page.height, page.wpr, false) !=
          0)
    fail("MMR coding failed");
  jb2FreeStream(stream);
  QtzAdtList *blocks = nullptr;
  if (memSinkClose(sink, &blocks) != 0) fail("sink close");
  std::vector<uint8_t> coded;
  for (QtzAdtListNode *n = blocks->head; n != nullptr; n = n->next) {
    const auto *block = static_cast<const SinkBlock *>(n->data);
    coded.insert(coded.end(), block->data, block->data + block->used);
  }
  memSinkFreeBlocks(benchState(), blocks);
  return pageStream(page.width, page.height, 0x01, coded);
}

// A corpus file's stream.
std::vector<uint8_t> corpusStream(const char *name) {
  const std::string path =
      std::string(NORV_SOURCE_DIR) + "/src/libjbig2/tests/data/serenity/" + name;
  return jbtest::parseJbig2File(jbtest::readFile(path)).stream;
}

// The page as the reference encoder's symbol mode writes it (`jbig2 -s` on the PATH), or
// nothing when that program is not installed.
std::vector<uint8_t> jbig2encSymbolStream(const jbtest::Bits &page) {
  if (std::system("command -v jbig2 > /dev/null 2>&1") != 0) return {};
  const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const std::string pbm = dir + "/bench_jbig2_page.pbm", out = dir + "/bench_jbig2_page.jb2";
  FILE *f = std::fopen(pbm.c_str(), "wb");
  if (f == nullptr) return {};
  std::fprintf(f, "P4\n%d %d\n", page.width, page.height);
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; x += 8) {
      int byte = 0;
      for (int b = 0; b < 8; ++b) byte = byte << 1 | page.get(x + b, y);
      std::fputc(byte, f);
    }
  std::fclose(f);
  const std::string command = "jbig2 -s " + pbm + " > " + out + " 2> /dev/null";
  std::vector<uint8_t> bytes;
  if (std::system(command.c_str()) == 0)
    bytes = jbtest::parseJbig2File(jbtest::readFile(out)).stream;
  std::remove(pbm.c_str());
  std::remove(out.c_str());
  return bytes;
}

// A test page of the project (tests/e2e/data) converted by the document encoder into a raw
// JBIG2 file with the default lossy settings: output mode 2 (MMR and Huffman codes) or 3
// (arithmetic coding), screened pictures as halftone regions when asked; the file's stream.
// The page must hold a segment of the kind it stands for (mustHold 6: an immediate text region,
// lossy or lossless; 22: an immediate halftone region).
std::vector<uint8_t> ownEncoderStream(const char *page, int32_t outputMode, bool halftones,
                                      uint8_t mustHold) {
  const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  const std::string out = dir + "/bench_jbig2_own_" + std::to_string(getpid()) + ".jb2";
  e2e::EncodeOptions options;
  options.output = e2e::Output::Jbig2;
  options.outputMode = outputMode;
  options.halftones = halftones;
  // The encoder needs the image-core contexts, which the decoders' state goes without.
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0 ||
      e2e::encodeTiff(state, std::string(NORV_SOURCE_DIR) + "/tests/e2e/data/" + page, out,
                      options) != 0)
    fail((std::string("the document encoder failed on ") + page).c_str());
  Qtz_cleanupQtzState(&state);
  const jbtest::ParsedFile parsed = jbtest::parseJbig2File(jbtest::readFile(out));
  std::remove(out.c_str());
  for (const jbtest::FileSegment &segment : parsed.segments)
    if ((segment.type & ~1) == mustHold) return parsed.stream;
  fail("the encoded page lacks the segment kind it stands for");
}

constexpr int kKinds = 11;
const char *kNames[kKinds] = {
    "generic_t0_300dpi",        "generic_t0_tpgdon_300dpi", "refine_page",
    "symbol_corpus_page",       "generic_t0_600dpi",        "mmr_300dpi",
    "halftone_corpus_page",     "symbol_jbig2enc_300dpi",   "symbol_ours_mode2_300dpi",
    "symbol_ours_mode3_300dpi", "halftone_ours_300dpi"};

const std::vector<uint8_t> &stream(int which) {
  static const jbtest::Bits page = textPage(2480, 3508);
  static const std::vector<uint8_t> streams[kKinds] = {
      genericPageStream(page, false),
      genericPageStream(page, true),
      corpusStream("bitmap-refine-page.jbig2"),
      corpusStream("bitmap-symbol.jbig2"),
      genericPageStream(textPage(4960, 7016), false),
      mmrPageStream(page),
      corpusStream("bitmap-halftone.jbig2"),
      jbig2encSymbolStream(page),
      ownEncoderStream("p01_t300_bash-1.tif", 2, false, 6),
      ownEncoderStream("p01_t300_bash-1.tif", 3, false, 6),
      ownEncoderStream("p21_h300_ps2pdf-screen.tif", 3, true, 22)};
  return streams[which];
}

QtzState *benchState() {
  static QtzState *state = [] {
    QtzState *s = nullptr;
    if (Qtz_initQtzState(&s, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 0, 0) != 0)
      fail("no state");
    return s;
  }();
  return state;
}

void BM_Ours(benchmark::State &st) {
  const std::vector<uint8_t> &data = stream(int(st.range(0)));
  st.SetLabel(kNames[st.range(0)]);
  if (data.empty()) st.SkipWithError("jbig2 (the reference encoder) is not installed");
  for (auto _ : st) {
    Jbig2Decoder *d = nullptr;
    if (QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr,
                            benchState()) != 0 ||
        QtzJbig2_decodePage(d, data.data(), data.size(), nullptr) != 0 || d->page == nullptr)
      fail("our decode failed");
    benchmark::DoNotOptimize(d->page->rows);
    QtzJbig2_freeDecoder(&d);
  }
}

// Encoding the generic page of streams 0 and 1 (template 0, without and with TPGDON) into a
// memory sink: the work BM_Ours undoes. No outside encoder is paired here; the figure to beat
// is our own decoder on the same page.
void BM_GenericEncode(benchmark::State &st) {
  static const jbtest::Bits page = textPage(2480, 3508);
  Jbig2GenericTemplate t{0, {3, -3, 2, -2}, {-1, -1, -2, -2}, uint8_t(st.range(0))};
  st.SetLabel(kNames[st.range(0)]);
  for (auto _ : st) {
    DataSink *sink = nullptr;
    Jb2File *stream = nullptr;
    if (memSinkNew(benchState(), &sink) != 0 ||
        jb2NewStream(nullptr, sink, benchState(), &stream) != 0)
      fail("no sink");
    MqEncoder encoder;
    sinkStartMq(sink, &encoder);
    if (encodeBitmapArith(page.words.data(), page.width, page.height, page.wpr, &t, nullptr, stream,
                          &encoder) != 0 ||
        sinkEndMq(sink, &encoder) != 0)
      fail("our encode failed");
    QtzAdtList *blocks = nullptr;
    jb2FreeStream(stream);
    if (memSinkClose(sink, &blocks) != 0) fail("sink close");
    memSinkFreeBlocks(benchState(), blocks);
  }
}

void BM_Jbig2dec(benchmark::State &st) {
  const std::vector<uint8_t> &data = stream(int(st.range(0)));
  st.SetLabel(kNames[st.range(0)]);
  if (data.empty()) st.SkipWithError("jbig2 (the reference encoder) is not installed");
  for (auto _ : st) {
    Jbig2Ctx *ctx = jbig2_ctx_new(nullptr, JBIG2_OPTIONS_EMBEDDED, nullptr, nullptr, nullptr);
    if (ctx == nullptr || jbig2_data_in(ctx, data.data(), data.size()) < 0) fail("jbig2dec input");
    jbig2_complete_page(ctx);
    Jbig2Image *image = jbig2_page_out(ctx);
    if (image == nullptr) fail("jbig2dec gave no page");
    benchmark::DoNotOptimize(image->data);
    jbig2_release_page(ctx, image);
    jbig2_ctx_free(ctx);
  }
}

// Both decoders must give the same page before anything is timed.
void checkAgreement() {
  for (int i = 0; i < kKinds; ++i) {
    const std::vector<uint8_t> &data = stream(i);
    if (data.empty()) continue;
    Jbig2Decoder *d = nullptr;
    if (QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr,
                            benchState()) != 0 ||
        QtzJbig2_decodePage(d, data.data(), data.size(), nullptr) != 0 || d->page == nullptr)
      fail("our decode failed");
    Jbig2Ctx *ctx = jbig2_ctx_new(nullptr, JBIG2_OPTIONS_EMBEDDED, nullptr, nullptr, nullptr);
    jbig2_data_in(ctx, data.data(), data.size());
    jbig2_complete_page(ctx);
    Jbig2Image *image = jbig2_page_out(ctx);
    if (image == nullptr || int(image->width) != d->page->hdr.width ||
        int(image->height) != d->page->hdr.height)
      fail("page sizes differ");
    for (int y = 0; y < d->page->hdr.height; ++y)
      for (int x = 0; x < d->page->hdr.width; ++x)
        if (((reinterpret_cast<const uint32_t *>(d->page->rows[y])[x >> 5] >> (31 - (x & 31))) &
             1) != ((image->data[y * image->stride + x / 8] >> (7 - x % 8)) & 1))
          fail("pages differ");
    jbig2_release_page(ctx, image);
    jbig2_ctx_free(ctx);
    QtzJbig2_freeDecoder(&d);
  }
}

// MQ decoding throughput over one region's worth of coded data.
const std::vector<uint8_t> &mqData() {
  static const std::vector<uint8_t> data = [] {
    return genericPageStream(textPage(1240, 1754), false);
  }();
  return data;
}

void BM_MqInline(benchmark::State &st) {
  const std::vector<uint8_t> &data = mqData();
  std::vector<uint8_t> cx(64, 0);
  const int64_t decisions = 4000000;
  for (auto _ : st) {
    MqDecoder dec;
    mqDecInit(&dec, data.data(), data.size(), nullptr, nullptr, nullptr);
    uint32_t sum = 0;
    for (int64_t i = 0; i < decisions; ++i) sum += mqDecode(dec, &cx[i & 63]);
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(st.iterations() * decisions);
}

void BM_MqPlainTwin(benchmark::State &st) {
  const std::vector<uint8_t> &data = mqData();
  std::vector<uint8_t> cx(64, 0);
  const int64_t decisions = 4000000;
  for (auto _ : st) {
    MqReferenceDecoder dec;
    dec.init(data.data(), data.size());
    uint32_t sum = 0;
    for (int64_t i = 0; i < decisions; ++i) sum += dec.decode(&cx[i & 63]);
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(st.iterations() * decisions);
}

}  // namespace

BENCHMARK(BM_Ours)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenericEncode)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jbig2dec)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MqInline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MqPlainTwin)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  checkAgreement();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
