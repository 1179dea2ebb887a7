// TifPage: the TfxPage of one directory of a plain TIFF document; a single layer whose size
// and depth are its directory's.
#ifndef CTL_TIF_PAGE_H
#define CTL_TIF_PAGE_H

#include "tfx_page.h"

namespace ctl {

class TifFile;

class TifPage final : public TfxPage {
 public:
  TifPage(TifFile *file, int32_t directory) : file_(file), directory_(directory) {}

  // The directory's size; (0, 0) without a file.
  LongPair GetSize() override;
  int32_t GetBitsPerPixel() override;
  int32_t GetLayerCount() override { return 1; }

  int32_t directory() const { return directory_; }

 private:
  TifFile *file_;
  int32_t directory_;
};

}  // namespace ctl

#endif
