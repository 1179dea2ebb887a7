// Blit example over the installed C API: loads the bundled 1-bit text page
// (<data dir>/sample_text.pbm) as a packed bilevel record, makes its strokes bolder by ORing a
// copy of the page shifted 2 pixels right and 1 down onto it, inverts a band across the third
// tenth of the page by XORing a record whose pixels are all set, and writes the result as
// <output dir>/blit_bold_invert.pbm. Prints the page size and the black pixel counts on the
// way; fails with a message and status 1 on any failing call.
#include <cstdint>
#include <cstdio>
#include <string>

#include "example_main.h"
#include "qtz_blat.h"
#include "qtz_image.h"
#include "qtz_state.h"

namespace {

// Black pixels of a packed record: its rows are 32-bit words, leftmost pixel in the top bit.
int64_t blackPixels(const QtzImage *image) {
  int64_t count = 0;
  const int32_t words = (image->hdr.width + 31) / 32;
  for (int32_t y = 0; y < image->hdr.height; ++y) {
    const auto *row = reinterpret_cast<const uint32_t *>(image->rows[image->hdr.yoff + y]);
    for (int32_t i = 0; i < words; ++i) count += __builtin_popcount(row[i]);
  }
  return count;
}

int run(QtzState *state, const std::string &dataDir, const std::string &outDir) {
  QtzImage *page = nullptr, *shifted = nullptr, *band = nullptr;
  auto failed = [&](const char *what, int32_t status) {
    std::fprintf(stderr, "example_blit: %s failed: %d (%s)\n", what, status, Qtz_getErrStr(status));
    QtzImage_free(band);
    QtzImage_free(shifted);
    QtzImage_free(page);
    return 1;
  };
  const std::string in = dataDir + "/sample_text.pbm";
  if (int32_t s = QtzImage_load(state, QTZ_IMAGE_PACKED, in.c_str(), &page); s != 0)
    return failed(in.c_str(), s);
  const int32_t width = page->hdr.width, height = page->hdr.height;
  std::printf("page %d x %d, %lld black pixels\n", width, height,
              static_cast<long long>(blackPixels(page)));

  if (int32_t s = QtzImage_dup(page, 0, &shifted); s != 0) return failed("copy", s);
  if (int32_t s = QtzBlat_blitImage(page, shifted, 2, 1, QTZ_BLIT_OR); s != 0)
    return failed("bold blit", s);
  std::printf("bold: %lld black pixels\n", static_cast<long long>(blackPixels(page)));

  if (int32_t s = QtzImage_new(state, QTZ_IMAGE_PACKED, width, height / 10, &band); s != 0)
    return failed("band", s);
  QtzBlat_setImageBits(band);
  if (int32_t s = QtzBlat_blitImage(page, band, 0, 2 * height / 10, QTZ_BLIT_XOR); s != 0)
    return failed("inverting blit", s);
  std::printf("band inverted: %lld black pixels\n", static_cast<long long>(blackPixels(page)));

  const std::string out = outDir + "/blit_bold_invert.pbm";
  if (int32_t s = QtzImage_save(page, out.c_str()); s != 0) return failed(out.c_str(), s);
  std::printf("wrote %s\n", out.c_str());
  QtzImage_free(band);
  QtzImage_free(shifted);
  QtzImage_free(page);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  return exampleMain(argc, argv, "example_blit", run);
}
