// OLE colour translation without a palette: system colours from the default scheme, every
// other form by its COLORREF bytes (red in the low byte) turned into 0xRRGGBB.
#include "ole_colour.h"

#include <array>

namespace ctl {
namespace {

// The default scheme's system colours, by index, as 0xRRGGBB.
constexpr std::array<gfx::Rgb, 31> kSystemColours = {
    0xD4D0C8,  // scroll bar
    0x3A6EA5,  // desktop
    0x0A246A,  // active caption
    0x808080,  // inactive caption
    0xD4D0C8,  // menu
    0xFFFFFF,  // window
    0x000000,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0xFFFFFF,  // caption text
    0xD4D0C8,  // active border
    0xD4D0C8,  // inactive border
    0x808080,  // application work space
    0x0A246A,  // highlight
    0xFFFFFF,  // highlight text
    0xD4D0C8,  // button face
    0x808080,  // button shadow
    0x808080,  // grey text
    0x000000,  // button text
    0xD4D0C8,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x404040,  // 3-D dark shadow
    0xD4D0C8,  // 3-D light
    0x000000,  // tool tip text
    0xFFFFE1,  // tool tip background
    0xB5B5B5,  // (unused)
    0x000080,  // hot-tracked item
    0xA6CAF0,  // gradient of the active caption
    0xC0C0C0,  // gradient of the inactive caption
    0x316AC5,  // highlighted menu item
    0xECE9D8,  // menu bar
};

}  // namespace

gfx::Rgb oleColourToRgb(uint32_t colour) {
  if ((colour & 0xFF000000u) == 0x80000000u) {
    const uint32_t index = colour & 0xFFFFFFu;
    return index < kSystemColours.size() ? kSystemColours[index] : 0;
  }
  return gfx::rgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace ctl
