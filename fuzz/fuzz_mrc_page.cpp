// Builds the pages of arbitrary bytes read as a TIFF-FX document and renders a part of every
// band: masks into 1-bit targets and, reduced by 2, into 8-bit ones; background and
// foreground bands into 24-bit targets, whole size and at a half; then every layer selector of
// the page (and one past them) at zooms 1, 1/2, 1/3 and 2 into a bitmap of at most kMaxPart
// pixels square. Pages, bands and parts are
// bounded so that each input finishes quickly; the bands' own limits bound what they
// allocate. The document is read from a file (the page builder opens a path), one per process.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "mrc_file.h"
#include "mrc_page.h"

namespace {

constexpr int32_t kMaxPages = 4;
constexpr size_t kMaxBands = 6;
constexpr int32_t kMaxPart = 96;

// The top-left part of the band at the reduction, at most kMaxPart square.
ctl::Rect partOf(const ctl::TfxBand &band, int32_t reduction) {
  const ctl::BandBox &box = band.box();
  return ctl::Rect{0, 0, std::min((box.width + reduction - 1) / reduction, kMaxPart),
                   std::min((box.height + reduction - 1) / reduction, kMaxPart)};
}

void renderMask(ctl::TfxBand *band) {
  for (int32_t reduction : {1, 2}) {
    const ctl::Rect part = partOf(*band, reduction);
    ctl::DibImgBuf buffer;
    ctl::PixlabImgBuf target(part.width(), part.height(), reduction == 1 ? 1 : 8, &buffer);
    if (target.valid()) band->Render(&target, part, ctl::Extent{reduction, reduction});
  }
}

void renderColour(ctl::TfxBand *band) {
  for (int32_t reduction : {1, 2}) {
    const ctl::Rect part = partOf(*band, reduction);
    ctl::DibImgBuf buffer;
    ctl::ImpImgBuf target(part.width(), part.height(), 24, &buffer);
    if (target.valid()) band->Render(&target, part, ctl::Extent{reduction, reduction});
  }
}

template <typename Render>
void renderBands(const ctl::BandList &bands, Render render) {
  for (size_t b = 0; b < bands.size() && b < kMaxBands; ++b)
    if (bands[b]) render(bands[b].get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/fuzz_mrc_page_" + std::to_string(getpid()) + ".tfx";
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = fwrite(data, 1, size, f) == size;
  fclose(f);
  if (written) {
    ctl::MrcFile file(path.c_str());
    const int32_t pages = std::min(file.GetPageCount(), kMaxPages);
    for (int32_t p = 0; p < pages; ++p) {
      auto *page = dynamic_cast<ctl::MrcPage *>(file.GetPage(p));
      if (page == nullptr) continue;
      page->GetSize();
      page->GetBitsPerPixel();
      if (page->background() != nullptr) renderBands(page->background()->bands(), renderColour);
      for (size_t k = 0; k < page->selectorCount() && k < kMaxBands; ++k) {
        ctl::TfxSelLayer *layer = page->selector(k);
        renderBands(layer->bands(), renderMask);
        renderBands(layer->foregroundBands(), renderColour);
      }
      const int32_t layers = std::min(page->GetLayerCount(), 7);
      for (int32_t selector = 0; selector <= layers + 1; ++selector)
        for (double scale : {1.0, 2.0, 3.0, 0.5}) {
          ctl::DibImgBuf dib;
          page->Render(&dib, ctl::Rect{0, 0, kMaxPart, kMaxPart / 2}, scale, selector);
        }
    }
  }
  remove(path.c_str());
  return 0;
}
