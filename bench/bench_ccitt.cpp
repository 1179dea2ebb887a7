// CCITT codecs beside libtiff on the same 300 dpi page (the test page rendered by Ghostscript
// to Group 4, Group 3 two-dimensional and modified Huffman files at start-up):
//   decoding a strip: ours reads the raw strip through libtiff and decodes it into a cleared
//   framed core image; libtiff's TIFFReadEncodedStrip reads and decodes it into its rows;
//   encoding a page: ours codes the framed image into a buffer; libtiff's
//   TIFFWriteEncodedStrip codes the same rows into a file whose writes are discarded.
// The fax library's Group 4 codec runs the same two jobs on packed rows (32-bit words):
//   decoding: the raw strip read through libtiff and decoded into cleared rows;
//   encoding: the rows coded with the closing EOFB into a buffer.
// Before timing, both decodes are compared pixel for pixel and both encodings byte for byte;
// a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "ccitt_internal.h"
#include "pxl_ccitt.h"
#include "pxl_tiff.h"

namespace {

using bench::fail;

constexpr int kDpi = 300;

enum Kind { kG4, kG3, kMh };
constexpr const char *kDevices[] = {"tiffg4", "tiffg32d", "tiffcrle"};

struct Page {
  PxlContext *ctx = bench::defaultContext();
  std::string dir;
  std::string paths[3];
  TIFF *files[3] = {};
  std::vector<uint8_t> strips[3];
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rows;  // the page as libtiff's rows (first pixel in the top bit)
  Pixr *image = nullptr;      // the page as a framed core image

  Page() {
    char pattern[] = "/tmp/norv_bench_ccitt_XXXXXX";
    if (mkdtemp(pattern) == nullptr) fail("no temporary directory");
    dir = pattern;
    for (int k = 0; k < 3; ++k) {
      paths[k] = dir + "/" + kDevices[k] + ".tif";
      const std::string command =
          std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -dMaxStripSize=0 -sDEVICE=") + kDevices[k] +
          " -r" + std::to_string(kDpi) + " -sOutputFile=" + paths[k] +
          " " NORV_SOURCE_DIR "/src/core/io/tests/data/page.ps";
      if (std::system(command.c_str()) != 0) fail("Ghostscript could not render the page");
      files[k] = pxlTiffOpen(ctx, paths[k].c_str(), "r");
      if (files[k] == nullptr || TIFFNumberOfStrips(files[k]) != 1) fail("unexpected page file");
      strips[k].resize(TIFFRawStripSize(files[k], 0));
      TIFFReadRawStrip(files[k], 0, strips[k].data(), static_cast<tmsize_t>(strips[k].size()));
    }
    TIFFGetField(files[kG4], TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(files[kG4], TIFFTAG_IMAGELENGTH, &height);
    rows.resize(static_cast<size_t>(TIFFStripSize(files[kG4])));
    if (TIFFReadEncodedStrip(files[kG4], 0, rows.data(), static_cast<tmsize_t>(rows.size())) < 0)
      fail("libtiff cannot decode the page");
    if (pxlCreateImage(ctx, width, height, 1, kDpi << 16, kDpi << 16, 32, &image) != 0)
      fail("no image");
  }
  ~Page() {
    for (TIFF *t : files) pxlTiffClose(t);
    std::system(("rm -rf " + dir).c_str());
  }
};

Page &page() {
  static Page p;
  return p;
}

struct Codec {
  decltype(&pxlDecodeMmr) decode;
  int32_t twoDimensional, alignment;
};
constexpr Codec kCodecs[] = {{pxlDecodeMmr, 1, PXL_CCITT_ALIGN_NONE},
                             {pxlDecodeMr, 1, PXL_CCITT_ALIGN_NONE},
                             {pxlDecodeMh, 0, PXL_CCITT_ALIGN_BYTE}};

struct State {
  std::vector<uint64_t> buffer;
  explicit State(int32_t size) : buffer((static_cast<size_t>(size) + 7) / 8) {}
  template <typename T>
  T *as() {
    return reinterpret_cast<T *>(buffer.data());
  }
};

// Ours: the raw strip from the file, then decoded into the cleared image.
void decodeOurs(Page &p, Kind kind, State &state, std::vector<uint8_t> &raw) {
  const tmsize_t n =
      TIFFReadRawStrip(p.files[kind], 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  std::memset(p.image->pixelBlock, 0, static_cast<size_t>(p.image->bytesPerRow) * (p.height + 64));
  const Codec &c = kCodecs[kind];
  int32_t size = static_cast<int32_t>(state.buffer.size() * 8);
  auto *s = state.as<PxlCcittDecoderState>();
  int32_t done = 0, usedUp = 0, percent = 0, consumed = 0;
  if (pxlInitCcittDecoder(p.ctx, s, p.width, c.twoDimensional, c.alignment, size) != 0 ||
      c.decode(p.ctx, s, 0, p.height, 0, raw.data(), static_cast<int32_t>(n), 0, 0, 1, p.image,
               &done, &usedUp, &percent, &consumed) != 0 ||
      !done)
    fail("our decoder failed");
}

void requireSamePixels(Page &p) {
  const size_t stride = (static_cast<size_t>(p.width) + 7) / 8;
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t *row =
        p.image->framedData + static_cast<size_t>(y + 32) * p.image->bytesPerRow + 4;
    for (size_t b = 0; b < stride; ++b) {
      const uint8_t mask =
          (b + 1 == stride && p.width % 8) ? static_cast<uint8_t>(0xFF << (8 - p.width % 8)) : 0xFF;
      if ((row[b ^ 3] ^ p.rows[y * stride + b]) & mask)
        fail("decoded pixels differ from libtiff's");
    }
  }
}

int32_t decoderSize(Page &p) {
  int32_t size = 0;
  pxlGetCcittDecoderSize(p.ctx, p.width, &size);
  return size;
}

void BM_Decode_Ours(benchmark::State &st, Kind kind) {
  Page &p = page();
  State state(decoderSize(p));
  std::vector<uint8_t> raw(p.strips[kind].size());
  decodeOurs(p, kind, state, raw);
  requireSamePixels(p);
  for (auto _ : st) {
    decodeOurs(p, kind, state, raw);
    benchmark::DoNotOptimize(p.image->framedData);
  }
}

void BM_Decode_Libtiff(benchmark::State &st, Kind kind) {
  Page &p = page();
  std::vector<uint8_t> out(p.rows.size());
  for (auto _ : st) {
    if (TIFFReadEncodedStrip(p.files[kind], 0, out.data(), static_cast<tmsize_t>(out.size())) < 0)
      fail("libtiff failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != p.rows) fail("libtiff decodes differ");
}

// Ours: the page coded into a buffer, with the closing EOFB of T.6.
std::vector<uint8_t> &encodeOurs(Page &p, Kind kind, State &state, std::vector<uint8_t> &out) {
  int32_t size = static_cast<int32_t>(state.buffer.size() * 8);
  auto *s = state.as<PxlCcittEncoderState>();
  const bool mh = kind == kMh;
  int32_t done = 0, full = 0, percent = 0, written = 0, more = 0;
  const int32_t k = kind == kG3 ? 4 : 0;
  if (pxlInitCcittEncoder(p.ctx, s, p.width, kind == kG3, k,
                          mh            ? 0
                          : kind == kG3 ? 0
                                        : 2,
                          size) != 0)
    fail("encoder set-up");
  const int32_t cap = static_cast<int32_t>(out.size());
  int32_t status = kind == kG4 ? pxlEncodeMmr(p.ctx, s, p.image, 0, p.height, out.data(), cap, 0, 0,
                                              &done, &full, &percent, &written)
                   : kind == kG3 ? pxlEncodeMr(p.ctx, s, p.image, 0, p.height, out.data(), cap, 0,
                                               0, &done, &full, &percent, &written)
                                 : pxlEncodeMh(p.ctx, s, p.image, 0, p.height, out.data(), cap, 0,
                                               0, 1, &done, &full, &percent, &written);
  if (status != 0 || !done) fail("our encoder failed");
  if (kind == kG4)
    for (int i = 0; i < 2; ++i) {
      pxlWriteCcittEol(p.ctx, s, 2, 0, out.data() + written, cap - written, &more);
      written += more;
    }
  pxlFlushCcittEncoder(p.ctx, s, out.data() + written, cap - written, &more);
  out.resize(static_cast<size_t>(written + more));
  return out;
}

// A TIFF whose writes go nowhere: libtiff codes the strip and hands the bytes over.
struct Sink {
  toff_t position = 0, size = 0;
  std::vector<uint8_t> last;  // the largest write: the coded strip
  static Sink *of(thandle_t h) { return static_cast<Sink *>(h); }
  static tmsize_t read(thandle_t, void *, tmsize_t) { return 0; }
  static tmsize_t write(thandle_t h, void *data, tmsize_t n) {
    Sink *s = of(h);
    if (static_cast<size_t>(n) >= s->last.size())
      s->last.assign(static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + n);
    s->position += n;
    if (s->position > s->size) s->size = s->position;
    return n;
  }
  static toff_t seek(thandle_t h, toff_t off, int whence) {
    Sink *s = of(h);
    s->position = whence == SEEK_SET ? off : whence == SEEK_CUR ? s->position + off : s->size + off;
    return s->position;
  }
  static int close(thandle_t) { return 0; }
  static toff_t sizeOf(thandle_t h) { return of(h)->size; }
};

TIFF *openSink(Page &p, Kind kind, Sink &sink) {
  TIFF *t = pxlTiffClientOpen(p.ctx, "sink", "w", &sink, Sink::read, Sink::write, Sink::seek,
                              Sink::close, Sink::sizeOf, nullptr, nullptr);
  if (t == nullptr) fail("no sink");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.height);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, float(kDpi));
  TIFFSetField(t, TIFFTAG_YRESOLUTION, float(kDpi));
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  const uint16_t compression[] = {COMPRESSION_CCITTFAX4, COMPRESSION_CCITTFAX3,
                                  COMPRESSION_CCITTRLE};
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression[kind]);
  if (kind == kG3)
    TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS);
  return t;
}

void BM_Encode_Ours(benchmark::State &st, Kind kind) {
  Page &p = page();
  State decoder(decoderSize(p));
  std::vector<uint8_t> raw(p.strips[kG4].size());
  decodeOurs(p, kG4, decoder, raw);  // the page into the image
  int32_t size = 0;
  pxlGetCcittEncoderSize(p.ctx, p.width, &size);
  State state(size);
  std::vector<uint8_t> out;
  Sink sink;
  TIFF *t = openSink(p, kind, sink);
  TIFFWriteEncodedStrip(t, 0, p.rows.data(), static_cast<tmsize_t>(p.rows.size()));
  pxlTiffClose(t);
  out.resize(p.rows.size() * 2);
  if (encodeOurs(p, kind, state, out) != sink.last) fail("our coded bytes differ from libtiff's");
  for (auto _ : st) {
    out.resize(p.rows.size() * 2);
    benchmark::DoNotOptimize(encodeOurs(p, kind, state, out).data());
  }
}

void BM_Encode_Libtiff(benchmark::State &st, Kind kind) {
  Page &p = page();
  Sink sink;
  TIFF *t = openSink(p, kind, sink);
  for (auto _ : st) {
    if (TIFFWriteEncodedStrip(t, 0, p.rows.data(), static_cast<tmsize_t>(p.rows.size())) < 0)
      fail("libtiff encode failed");
  }
  pxlTiffClose(t);
}

// The page as packed rows of 32-bit words (first pixel in the most significant bit).
std::vector<uint32_t> packedRows(const Page &p) {
  const size_t stride = (static_cast<size_t>(p.width) + 7) / 8, words = (p.width + 31) / 32;
  std::vector<uint32_t> rows(words * p.height, 0);
  for (int32_t y = 0; y < p.height; ++y)
    for (size_t b = 0; b < stride; ++b)
      rows[y * words + b / 4] |= static_cast<uint32_t>(p.rows[y * stride + b])
                                 << (24 - 8 * (b % 4));
  return rows;
}

QtzState *faxState() {
  static QtzState *state = [] {
    QtzState *s = nullptr;
    if (Qtz_initQtzState(&s, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) fail("no state");
    return s;
  }();
  return state;
}

void BM_FaxDecode_Ours(benchmark::State &st) {
  Page &p = page();
  std::vector<uint8_t> raw(p.strips[kG4].size());
  const int32_t words = (p.width + 31) / 32;
  std::vector<uint32_t> rows(static_cast<size_t>(words) * p.height);
  auto decode = [&] {
    const tmsize_t n =
        TIFFReadRawStrip(p.files[kG4], 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    std::fill(rows.begin(), rows.end(), 0);
    if (g4DecodeIntoBitmap(rows.data(), p.width, p.height, words, 0, p.width - 1, p.height - 1,
                           raw.data(), static_cast<int32_t>(n), 0, nullptr, faxState()) != 0)
      fail("the fax decoder failed");
  };
  decode();
  if (rows != packedRows(p)) fail("the fax decoder's pixels differ from libtiff's");
  for (auto _ : st) {
    decode();
    benchmark::DoNotOptimize(rows.data());
  }
}

void BM_FaxEncode_Ours(benchmark::State &st) {
  Page &p = page();
  const std::vector<uint32_t> rows = packedRows(p);
  const int32_t words = (p.width + 31) / 32;
  std::vector<uint8_t> out(p.rows.size() * 2);
  int32_t size = 0;
  auto encode = [&] {
    size = static_cast<int32_t>(out.size());
    if (ccittEncodeG4(rows.data(), p.width, p.height, words, out.data(), &size, 1, faxState()) != 0)
      fail("the fax encoder failed");
  };
  Sink sink;
  TIFF *t = openSink(p, kG4, sink);
  TIFFWriteEncodedStrip(t, 0, p.rows.data(), static_cast<tmsize_t>(p.rows.size()));
  pxlTiffClose(t);
  encode();
  if (std::vector<uint8_t>(out.begin(), out.begin() + size) != sink.last)
    fail("the fax encoder's bytes differ from libtiff's");
  for (auto _ : st) {
    encode();
    benchmark::DoNotOptimize(out.data());
  }
}

BENCHMARK(BM_FaxDecode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FaxEncode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Ours, g4, kG4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Libtiff, g4, kG4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Ours, g3_2d, kG3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Libtiff, g3_2d, kG3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Ours, mh, kMh)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode_Libtiff, mh, kMh)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Ours, g4, kG4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Libtiff, g4, kG4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Ours, g3_2d, kG3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Libtiff, g3_2d, kG3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Ours, mh, kMh)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode_Libtiff, mh, kMh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
