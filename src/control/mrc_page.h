// MrcPage: the TfxPage of one page of a TIFF-FX document: an optional background layer and
// one selector layer per mask and foreground pair, built by MrcFile::BuildPage.
//
// Its size is the first selector layer's (the mask is the reference), else the background's,
// else (-1, -1); it is drawn at 24 bits per pixel when it has a background or a foreground
// with pixels, else at 1; the control may select the whole page, the background, or each mask
// and each foreground: 2 x pairs + 1 layers.
#ifndef CTL_MRC_PAGE_H
#define CTL_MRC_PAGE_H

#include <memory>
#include <vector>

#include "tfx_layer.h"
#include "tfx_page.h"

namespace ctl {

class MrcFile;

class MrcPage final : public TfxPage {
 public:
  MrcPage(MrcFile *file, std::unique_ptr<TfxBgLayer> background,
          std::vector<std::unique_ptr<TfxSelLayer>> selectors)
      : file_(file), background_(std::move(background)), selectors_(std::move(selectors)) {}

  LongPair GetSize() override;
  int32_t GetBitsPerPixel() override;
  int32_t GetLayerCount() override;
  // Draws the request (pixels of the page at zoom 1 / scale) of the selected layer into
  // buffer: 0 the whole page, 1 the background, 2k + 2 mask k, 2k + 3 foreground k. False for
  // a selector naming a layer the page does not have, or when a band fails (its area then
  // keeps the fill).
  bool Render(DibImgBuf *buffer, Rect request, double scale, int32_t selector) override;
  // As Render, as 1-bit ink for a monochrome device: a 1-bit drawing straight into buffer,
  // any other made in a bitmap of its own (ITULab converted) and converted to 1 bit into
  // buffer, which is left as it was when the drawing fails.
  bool RenderConverted(DibImgBuf *buffer, Rect request, double scale, int32_t selector) override;

  // The colour kind every layer of the page shares (the background's and every foreground's),
  // or None when they differ.
  ColourKind CommonColourKind() const;
  // Everything at the reduction p into target (request in reduced page pixels).
  bool ComposeAll(ImageAdapter *target, Rect request, int32_t p);
  // The selected layer at the scale n / d into target (request in output pixels); lab: the
  // decode values when the drawing is in ITULab codes, else null.
  bool ComposeLayers(ImageAdapter *target, Rect request, int64_t n, int64_t d, int32_t selector,
                     const LabRange *lab);

  MrcFile *file() const { return file_; }
  TfxBgLayer *background() const { return background_.get(); }
  // Pair k (layers 2k + 2 and 2k + 3), or null.
  TfxSelLayer *selector(size_t k) const {
    return k < selectors_.size() ? selectors_[k].get() : nullptr;
  }
  size_t selectorCount() const { return selectors_.size(); }

 private:
  // How a selector is drawn at a scale: depth, scale n / d, and the ITULab conversion.
  struct Drawing {
    int32_t depth = 0;
    int64_t n = 1, d = 1;
    bool lab = false;
    LabRange range;
  };
  // False for a selector the page does not have or a scale out of range.
  bool planDrawing(double scale, int32_t selector, Drawing *plan);
  // True when the request, in the selected layer's pixels, is at most twice the layer's extent
  // plus kRequestMargin on each side: a larger drawing holds nothing the file's bands back
  // (a declared size far beyond them) and is refused before its buffer is made.
  bool requestOk(Rect request, int32_t selector, const Drawing &plan) const;
  // The selected drawing's extent in its own pixels: the layer's for a background or a
  // foreground, else the first mask's (the background's on a page without masks).
  LongPair drawingExtent(int32_t selector) const;
  static constexpr int64_t kRequestMargin = 1024;
  // The drawing into buffer (filled, composed, in byte order, ITULab converted).
  bool draw(DibImgBuf *buffer, Rect request, int32_t selector, const Drawing &plan);
  bool drawLayers(ImageAdapter *target, Rect request, int32_t f, int32_t selector);
  bool drawBackground(ImpImgBuf *target, Rect request, int32_t p);
  // The decode values of the page's ITULab data: the background's, else the first pair's,
  // else the ITULab defaults.
  LabRange labRange() const;

  MrcFile *file_;
  std::unique_ptr<TfxBgLayer> background_;
  std::vector<std::unique_ptr<TfxSelLayer>> selectors_;
};

}  // namespace ctl

#endif
