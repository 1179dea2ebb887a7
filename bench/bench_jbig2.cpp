// JBIG2 decoding beside jbig2dec on the same streams (whole decode, page discarded): a
// 2480 x 3508 template-0 generic page coded without and with TPGDON, a refinement file and a
// symbol-coded file of the conformance corpus; encoding the same generic page; and MQ decoding
// throughput (decisions per second) of the inline decoder against the plain Annex E twin of the
// tests.
//
// Run pinned and interleaved, e.g.
//   taskset -c 2 build/release/bench/bench_jbig2 --benchmark_repetitions=15 \
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

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

std::vector<uint8_t> genericPageStream(const jbtest::Bits &page, bool tpgdon) {
  Jbig2GenericTemplate t{};
  t.tmpl = 0;
  t.atx[0] = 3, t.aty[0] = -1, t.atx[1] = -3, t.aty[1] = -1;
  t.atx[2] = 2, t.aty[2] = -2, t.atx[3] = -2, t.aty[3] = -2;
  t.tpgdon = tpgdon;
  const std::vector<uint8_t> coded = jbtest::encodeGeneric(page, t);
  std::vector<uint8_t> s;
  segmentHeader(s, 0, 48, 19);
  put32(s, uint32_t(page.width));
  put32(s, uint32_t(page.height));
  put32(s, 0);
  put32(s, 0);
  s.push_back(0);
  s.push_back(0);
  s.push_back(0);
  segmentHeader(s, 1, 39, uint32_t(17 + 1 + 8 + coded.size()));
  put32(s, uint32_t(page.width));
  put32(s, uint32_t(page.height));
  put32(s, 0);
  put32(s, 0);
  s.push_back(0);
  s.push_back(tpgdon ? 0x08 : 0x00);
  for (int i = 0; i < 4; ++i) s.push_back(uint8_t(t.atx[i])), s.push_back(uint8_t(t.aty[i]));
  s.insert(s.end(), coded.begin(), coded.end());
  segmentHeader(s, 2, 49, 0);
  return s;
}

// A corpus file's stream; the refinement file's page information denies refinements, which
// this decoder enforces, so the flag is set for both decoders.
std::vector<uint8_t> corpusStream(const char *name) {
  const std::string path =
      std::string(NORV_SOURCE_DIR) + "/src/libjbig2/tests/data/serenity/" + name;
  jbtest::ParsedFile file = jbtest::parseJbig2File(jbtest::readFile(path));
  for (const auto &s : file.segments)
    if (s.type == 48) file.stream[s.streamDataStart + 16] |= 0x02;
  return file.stream;
}

const std::vector<uint8_t> &stream(int which) {
  static const jbtest::Bits page = textPage(2480, 3508);
  static const std::vector<uint8_t> streams[4] = {
      genericPageStream(page, false), genericPageStream(page, true),
      corpusStream("bitmap-refine-page.jbig2"), corpusStream("bitmap-symbol.jbig2")};
  return streams[which];
}

const char *kNames[4] = {"generic_t0_2480x3508", "generic_t0_tpgdon_2480x3508", "refine_page",
                         "symbol_text_page"};

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
  for (int i = 0; i < 4; ++i) {
    const std::vector<uint8_t> &data = stream(i);
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

BENCHMARK(BM_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenericEncode)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jbig2dec)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MqInline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MqPlainTwin)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  checkAgreement();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
