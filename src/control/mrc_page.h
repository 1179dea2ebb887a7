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

  MrcFile *file() const { return file_; }
  TfxBgLayer *background() const { return background_.get(); }
  // Pair k (layers 2k + 2 and 2k + 3), or null.
  TfxSelLayer *selector(size_t k) const {
    return k < selectors_.size() ? selectors_[k].get() : nullptr;
  }
  size_t selectorCount() const { return selectors_.size(); }

 private:
  MrcFile *file_;
  std::unique_ptr<TfxBgLayer> background_;
  std::vector<std::unique_ptr<TfxSelLayer>> selectors_;
};

}  // namespace ctl

#endif
