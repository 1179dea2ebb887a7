// OLE colours (the stock BackColor) as the RGB values the drawing devices take.
#ifndef CTL_OLE_COLOUR_H
#define CTL_OLE_COLOUR_H

#include <cstdint>

#include "gfx_device.h"

namespace ctl {

// An OLE colour translated without a palette: 0x80000000 | n is system colour n (the default
// colour scheme; 0 for an unknown n); any other value is a COLORREF 0x00BBGGRR in its low three
// bytes (palette-index and palette-relative forms included, as there is no palette).
gfx::Rgb oleColourToRgb(uint32_t colour);

}  // namespace ctl

#endif
