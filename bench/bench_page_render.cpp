// Page rendering of the view control beside poppler's pdftoppm rendering the same page from a
// PDF: a 300 dpi letter page (2550 x 3300) as a bilevel page (a Group 4 mask) and as a colour
// mixed raster page (the same mask over a 100 dpi JPEG background, selecting a 150 dpi JPEG
// foreground), each at zoom 0.25 and 1.0. Ours opens the TIFF-FX file, builds the page and
// renders it into a bitmap (grey or 1-bit for the bilevel page, 24-bit for the colour page);
// pdftoppm is started as a program for each rendering (-r 75 or 300, -gray for the bilevel
// page) and writes its PNM to /tmp: its time includes starting the program, parsing the PDF
// and writing the file, ours opening and parsing the TIFF-FX file. The PDF holds the same coded
// data: the mask as a CCITTFax (K -1) image, the JPEG layers as DCT images, the foreground
// masked by the mask (/Mask).
#include <benchmark/benchmark.h>

#include <cstdio>  // jpeglib.h uses FILE

#include <jpeglib.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ccitt_internal.h"
#include "mrc_file.h"
#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "ovr_write.h"
#include "qtz_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kWidth = 2550, kHeight = 3300;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "bench_page_render: %s\n", what);
  std::exit(1);
}

// Text-like ink: lines of word blobs.
std::vector<uint32_t> maskRows() {
  const int wpr = (kWidth + 31) / 32;
  std::vector<uint32_t> rows(static_cast<size_t>(wpr) * kHeight, 0);
  std::mt19937 rng(5);
  for (int line = 150; line + 40 < kHeight - 150; line += 50) {
    for (int x = 150; x < kWidth - 300;) {
      const int w = 20 + static_cast<int>(rng() % 120), h = 25 + static_cast<int>(rng() % 10);
      for (int y = line; y < line + h; ++y)
        for (int i = x; i < x + w; ++i)
          if ((i * 7 + y * 3 + static_cast<int>(rng() % 5)) % 9 < 4)
            rows[static_cast<size_t>(y) * wpr + i / 32] |= 0x80000000u >> (i % 32);
      x += w + 15 + static_cast<int>(rng() % 20);
    }
  }
  return rows;
}

Bytes g4(const std::vector<uint32_t> &rows) {
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) fail("state");
  Bytes out(size_t{kWidth} * kHeight / 2);
  int32_t size = static_cast<int32_t>(out.size());
  if (ccittEncodeG4(rows.data(), kWidth, kHeight, (kWidth + 31) / 32, out.data(), &size, 0,
                    state) != 0)
    fail("g4");
  Qtz_cleanupQtzState(&state);
  out.resize(static_cast<size_t>(size));
  return out;
}

// A smooth colour picture as a baseline JPEG (YCbCr from RGB).
Bytes jpeg(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char *out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(180 + (x + y) / 40 % 60 + rng() % 5);
      row[3 * x + 1] = static_cast<uint8_t>(120 + x / 25 % 80);
      row[3 * x + 2] = static_cast<uint8_t>(90 + y / 30 % 100);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

struct Page {
  Bytes mask, background, foreground;  // background and foreground empty: bilevel
};

const OvrFileHooks kStdio = {fread, fwrite, fseek, ftell};

void check(int32_t status, const char *what) {
  if (status != OVR_OK) fail(what);
}

void addLayer(OvrPageHandle *page, uint32_t layer, uint32_t colourKind, uint32_t res,
              uint32_t width, uint32_t height, uint32_t bits, const Bytes &data) {
  OvrIfdHandle *ifd = nullptr;
  check(ovrAddIfd(page, layer, colourKind, 0, 0, res, res, width, height, height, nullptr, &ifd),
        "ifd");
  uint32_t coding = bits, quality = 0, space = 6;  // YCbCr
  check(ovrSetCoding(ifd, 0, &coding, &quality, &space), "coding");
  size_t written = 0;
  check(ovrWriteStrip(ifd, 0, height, data.data(), data.size(), &written), "strip");
  check(ovrEndIfd(ifd), "end ifd");
}

void writeTfx(const std::string &path, const Page &p) {
  FILE *f = fopen(path.c_str(), "w+b");
  if (f == nullptr) fail("tfx file");
  OvrHookedFile hooked{f, 0, &kStdio};
  OvrIoContext *ctx = nullptr;
  check(ovrCreateIoContext(0, &ctx), "context");
  OvrDocHandle *doc = nullptr;
  check(ovrCreateDocument(ctx, p.background.empty() ? 7 : 13, &hooked, 0, 0, fileHookRead,
                          fileHookWrite, fileHookSeek, fileHookSeekEnd, fileHookTell, &doc),
        "document");
  OvrPageHandle *page = nullptr;
  check(ovrAddPage(doc, -1, &page), "page");
  addLayer(page, 2, 1, 300, kWidth, kHeight, 8, p.mask);
  if (!p.background.empty()) {
    addLayer(page, 1, 7, 100, kWidth / 3, kHeight / 3, 16, p.background);
    addLayer(page, 3, 7, 150, kWidth / 2, kHeight / 2, 16, p.foreground);
  }
  check(ovrEndPage(page), "end page");
  check(ovrCloseDocument(doc), "close");
  check(ovrDestroyIoContext(ctx), "destroy");
  fclose(f);
}

void writePdf(const std::string &path, const Page &p) {
  std::vector<std::string> objects;
  std::vector<const Bytes *> streams;
  auto add = [&](std::string dict, const Bytes *stream) {
    objects.push_back(std::move(dict));
    streams.push_back(stream);
    return objects.size();
  };
  const std::string ccitt = "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " +
                            std::to_string(kWidth) + " /Rows " + std::to_string(kHeight) + " >>";
  const bool colour = !p.background.empty();
  const std::string content =
      colour ? "q 612 0 0 792 0 0 cm /Im0 Do /Im1 Do Q" : "q 612 0 0 792 0 0 cm /Im0 Do Q";
  const Bytes contentBytes(content.begin(), content.end());
  add("<< /Type /Catalog /Pages 2 0 R >>", nullptr);
  add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>", nullptr);
  add(std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                  "/Resources << /XObject << /Im0 5 0 R") +
          (colour ? " /Im1 6 0 R" : "") + " >> >> >>",
      nullptr);
  add("<< /Length " + std::to_string(content.size()) + " >>", &contentBytes);
  if (!colour) {
    add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(kWidth) + " /Height " +
            std::to_string(kHeight) + " /ColorSpace /DeviceGray /BitsPerComponent 1 " + ccitt +
            " /Length " + std::to_string(p.mask.size()) + " >>",
        &p.mask);
  } else {
    add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(kWidth / 3) + " /Height " +
            std::to_string(kHeight / 3) +
            " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length " +
            std::to_string(p.background.size()) + " >>",
        &p.background);
    add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(kWidth / 2) + " /Height " +
            std::to_string(kHeight / 2) +
            " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Mask 7 0 R /Length " +
            std::to_string(p.foreground.size()) + " >>",
        &p.foreground);
    add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(kWidth) + " /Height " +
            std::to_string(kHeight) + " /ImageMask true " + ccitt + " /Length " +
            std::to_string(p.mask.size()) + " >>",
        &p.mask);
  }
  Bytes out;
  auto put = [&](const std::string &s) { out.insert(out.end(), s.begin(), s.end()); };
  put("%PDF-1.4\n");
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    put(std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\n");
    if (streams[i] != nullptr) {
      put("stream\n");
      out.insert(out.end(), streams[i]->begin(), streams[i]->end());
      put("\nendstream\n");
    }
    put("endobj\n");
  }
  const size_t xref = out.size();
  put("xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n");
  for (size_t o : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
    put(line);
  }
  put("trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
      std::to_string(xref) + "\n%%EOF\n");
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr || fwrite(out.data(), 1, out.size(), f) != out.size()) fail("pdf file");
  fclose(f);
}

// The two files of a page, removed when the program ends.
struct Files {
  std::string tfx, pdf;
  ~Files() {
    if (!tfx.empty()) std::remove(tfx.c_str());
    if (!pdf.empty()) std::remove(pdf.c_str());
  }
};

const Files &files(bool colour) {
  static std::array<Files, 2> made;
  if (made[0].tfx.empty()) {
    const Bytes mask = g4(maskRows());
    for (int c = 0; c < 2; ++c) {
      Page page{mask, {}, {}};
      if (c == 1) {
        page.background = jpeg(kWidth / 3, kHeight / 3, 1);
        page.foreground = jpeg(kWidth / 2, kHeight / 2, 2);
      }
      const std::string root =
          "/tmp/bench_page_render_" + std::to_string(getpid()) + (c ? "_colour" : "_bilevel");
      made[c].tfx = root + ".tfx";
      made[c].pdf = root + ".pdf";
      writeTfx(made[c].tfx, page);
      writePdf(made[c].pdf, page);
    }
  }
  return made[colour ? 1 : 0];
}

void renderOurs(benchmark::State &state, bool colour, double zoom) {
  const Files &f = files(colour);
  const ctl::Rect rect{0, 0, static_cast<int32_t>(kWidth * zoom),
                       static_cast<int32_t>(kHeight * zoom)};
  for (auto _ : state) {
    ctl::MrcFile file(f.tfx.c_str());
    ctl::TfxPage *page = file.GetPage(0);
    ctl::DibImgBuf dib;
    if (page == nullptr || !page->Render(&dib, rect, 1 / zoom, 0)) fail("render");
    benchmark::DoNotOptimize(dib.GetData());
  }
}

void renderPdftoppm(benchmark::State &state, bool colour, double zoom) {
  const Files &f = files(colour);
  const std::string out = "/tmp/bench_page_render_" + std::to_string(getpid()) + "_out";
  const std::string command = "pdftoppm -r " + std::to_string(static_cast<int>(300 * zoom)) +
                              (colour ? "" : " -gray") + " -singlefile " + f.pdf + " " + out;
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) fail("pdftoppm");
  std::remove((out + (colour ? ".ppm" : ".pgm")).c_str());
}

void BM_Ours_Bilevel_025(benchmark::State &s) {
  renderOurs(s, false, 0.25);
}
void BM_Pdftoppm_Bilevel_025(benchmark::State &s) {
  renderPdftoppm(s, false, 0.25);
}
void BM_Ours_Bilevel_100(benchmark::State &s) {
  renderOurs(s, false, 1.0);
}
void BM_Pdftoppm_Bilevel_100(benchmark::State &s) {
  renderPdftoppm(s, false, 1.0);
}
void BM_Ours_Colour_025(benchmark::State &s) {
  renderOurs(s, true, 0.25);
}
void BM_Pdftoppm_Colour_025(benchmark::State &s) {
  renderPdftoppm(s, true, 0.25);
}
void BM_Ours_Colour_100(benchmark::State &s) {
  renderOurs(s, true, 1.0);
}
void BM_Pdftoppm_Colour_100(benchmark::State &s) {
  renderPdftoppm(s, true, 1.0);
}

BENCHMARK(BM_Ours_Bilevel_025)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdftoppm_Bilevel_025)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Bilevel_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdftoppm_Bilevel_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Colour_025)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdftoppm_Colour_025)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Colour_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdftoppm_Colour_100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
