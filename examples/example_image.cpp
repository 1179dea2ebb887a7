// Image example over the installed C API: loads the bundled 1-bit text page
// (<data dir>/sample_text.pbm) and writes three images into <output dir>:
//   image_page.pgm    the page converted to 8-bit grey (black 0, white 255);
//   image_colour.ppm  the text painted in dark blue over a horizontal warm-to-cool gradient
//                     with the colour blit;
//   image_half.pgm    the page at half size, each output pixel the mean of a 2 x 2 block,
//                     computed over the grey record's rows.
// Fails with a message and status 1 on any failing call.
#include <cstdint>
#include <cstdio>
#include <string>

#include "example_main.h"
#include "qtz_blat.h"
#include "qtz_image.h"
#include "qtz_state.h"

namespace {

// Owns the records of one run.
struct Records {
  QtzImage *page = nullptr, *grey = nullptr, *colour = nullptr, *half = nullptr;
  ~Records() {
    QtzImage_free(half);
    QtzImage_free(colour);
    QtzImage_free(grey);
    QtzImage_free(page);
  }
};

int failed(const std::string &what, int32_t status) {
  std::fprintf(stderr, "example_image: %s failed: %d (%s)\n", what.c_str(), status,
               Qtz_getErrStr(status));
  return 1;
}

int run(QtzState *state, const std::string &dataDir, const std::string &outDir) {
  Records r;
  const std::string in = dataDir + "/sample_text.pbm";
  if (int32_t s = QtzImage_load(state, QTZ_IMAGE_PACKED, in.c_str(), &r.page); s != 0)
    return failed(in, s);
  const int32_t width = r.page->hdr.width, height = r.page->hdr.height;

  if (int32_t s = QtzImage_convert(r.page, QTZ_IMAGE_GREY8, &r.grey); s != 0)
    return failed("grey conversion", s);
  if (int32_t s = QtzImage_save(r.grey, (outDir + "/image_page.pgm").c_str()); s != 0)
    return failed("image_page.pgm", s);

  // The gradient, then the text's set pixels in dark blue (0x102060) on top.
  if (int32_t s = QtzImage_new(state, QTZ_IMAGE_RGB, width, height, &r.colour); s != 0)
    return failed("colour record", s);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *row = r.colour->rows[y];
    for (int32_t x = 0; x < width; ++x) {
      const int32_t t = width > 1 ? 255 * x / (width - 1) : 0;
      row[3 * x] = static_cast<uint8_t>(255 - t / 2);
      row[3 * x + 1] = static_cast<uint8_t>(200);
      row[3 * x + 2] = static_cast<uint8_t>(128 + t / 2);
    }
  }
  // The colour blit writes blue-green-red bytes; the record holds red-green-blue, so the
  // colour is given with its red and blue swapped.
  QtzBlat_colorBlitBinaryRGB(reinterpret_cast<const uint32_t *>(r.page->rows[0]),
                             r.page->hdr.bytesPerLine, 0, 0, r.colour->rows[0],
                             r.colour->hdr.bytesPerLine, 0, 0, 0, 0, width, height, 0x602010u);
  if (int32_t s = QtzImage_save(r.colour, (outDir + "/image_colour.ppm").c_str()); s != 0)
    return failed("image_colour.ppm", s);

  if (int32_t s = QtzImage_new(state, QTZ_IMAGE_GREY8, width / 2, height / 2, &r.half); s != 0)
    return failed("half-size record", s);
  for (int32_t y = 0; y < height / 2; ++y)
    for (int32_t x = 0; x < width / 2; ++x) {
      const uint8_t *a = r.grey->rows[2 * y] + 2 * x, *b = r.grey->rows[2 * y + 1] + 2 * x;
      r.half->rows[y][x] = static_cast<uint8_t>((a[0] + a[1] + b[0] + b[1] + 2) / 4);
    }
  if (int32_t s = QtzImage_save(r.half, (outDir + "/image_half.pgm").c_str()); s != 0)
    return failed("image_half.pgm", s);
  std::printf("page %d x %d: wrote image_page.pgm, image_colour.ppm, image_half.pgm\n", width,
              height);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  return exampleMain(argc, argv, "example_image", run);
}
