// MrcPage: the TfxPage of one page of a TIFF-FX document.
//
// It answers from its document's layers: the size of the mask layer (the reference) or, on a
// page without one, of the background; 24 bits per pixel when the page has a background or a
// foreground with pixels, else 1; one selectable layer per layer pair plus the whole page.
#ifndef CTL_MRC_PAGE_H
#define CTL_MRC_PAGE_H

#include "tfx_page.h"

namespace ctl {

class MrcFile;

class MrcPage final : public TfxPage {
 public:
  MrcPage(MrcFile *file, uint32_t page) : file_(file), page_(page) {}

  LongPair GetSize() override;
  int32_t GetBitsPerPixel() override;
  int32_t GetLayerCount() override;

 private:
  MrcFile *file_;
  uint32_t page_;
};

}  // namespace ctl

#endif
