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
  // The directory's pixels, shrunk by the scale when it is above 1 (zoomed out; a zoom of 1 or
  // more is drawn at the image's own size), cut to the rectangle, into buffer top-down: 1-bit
  // pages at 1 bit (1 = black) at their own size and as 8-bit grey when shrunk, grey pages at
  // 8 bits, every other page at 24 (blue, green, red). Depths other than 1 and 8 bits of grey
  // are widened to 8 bits per sample first. The selector is not used. False without a file,
  // for a directory that cannot be read, or a rectangle that misses the page (the buffer then
  // stays as it was).
  bool Render(DibImgBuf *buffer, Rect rectangle, double scale, int32_t selector) override;

  int32_t directory() const { return directory_; }

 private:
  TifFile *file_;
  int32_t directory_;
};

}  // namespace ctl

#endif
