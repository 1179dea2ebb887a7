// TfxPage: what the control asks of one page of a document, whatever the file's kind.
//
// A page object belongs to its document (TfxFile) and lives until the document releases it.
#ifndef CTL_TFX_PAGE_H
#define CTL_TFX_PAGE_H

#include <cstdint>

#include "geometry.h"
#include "image_buf.h"
#include "tfx_io.h"

namespace ctl {

class TfxPage {
 public:
  virtual ~TfxPage() = default;
  // Width and height in pixels of the page's reference layer; (-1, -1) when unknown.
  virtual LongPair GetSize() = 0;
  // Bits per pixel of a whole-page drawing (1, 4, 8, 24 or 32; 0 when not drawable).
  virtual int32_t GetBitsPerPixel() = 0;
  // Layers the control may select: 1 for a plain page, 2 x pairs + 1 for a TIFF-FX page.
  virtual int32_t GetLayerCount() = 0;
  // Draws the rectangle (pixels of the page at zoom 1 / scale) of the selected layer into
  // buffer; false when the page cannot be drawn.
  virtual bool Render(DibImgBuf *buffer, Rect rectangle, double scale, int32_t selector) = 0;
};

}  // namespace ctl

#endif
