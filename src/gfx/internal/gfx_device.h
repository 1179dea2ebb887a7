// The drawing device the view control paints on: a device-independent bitmap drawn unscaled or
// stretched, a solid rectangle, the device's size, resolution and colour depth, and escapes.
//
// Bitmaps are given as a Dib: the 40-byte BITMAPINFOHEADER with its colour table, and the pixel
// rows (1, 8, 24 or 32 bits, rows padded to 4 bytes, stored top-down when biHeight is negative
// and bottom-up otherwise). Source positions count rows from the bottom row of the picture,
// whichever way the rows are stored, as SetDIBitsToDevice and StretchDIBits do.
//
// The one rule that maps a bitmap to device pixels (every device keeps it; blitDib carries it
// out):
//   - the source rectangle is (srcX, srcTop, srcX + srcWidth, srcTop + srcHeight) in picture
//     coordinates, with srcTop = picture height - srcY - srcHeight;
//   - destination pixel (destX + i, destY + j), 0 <= i < destWidth, 0 <= j < destHeight, takes
//     source pixel (srcX + floor(i * srcWidth / destWidth), srcTop + floor(j * srcHeight /
//     destHeight)); unscaled drawing is the case destWidth = srcWidth, destHeight = srcHeight;
//   - destination pixels whose source pixel lies outside the picture, or that lie outside the
//     device, are left as they are; a rectangle with a side <= 0 draws nothing.
// Colours are 0xRRGGBB; pixels of 1- and 8-bit bitmaps take their colour-table entry.
#ifndef GFX_DEVICE_H
#define GFX_DEVICE_H

#include <cstddef>
#include <cstdint>

namespace gfx {

// {left, top, right, bottom}, right and bottom exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect &) const = default;
};

// A colour as 0xRRGGBB.
using Rgb = uint32_t;

constexpr Rgb rgb(uint32_t r, uint32_t g, uint32_t b) {
  return (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

// A device-independent bitmap the caller owns for the length of one call.
struct Dib {
  const uint8_t *info = nullptr;  // header and colour table
  size_t infoSize = 0;
  const uint8_t *bits = nullptr;  // pixel rows
  size_t bitsSize = 0;
};

// The placement of a bitmap part on a device (see the rule above).
struct DibBlit {
  int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
  int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;  // srcY counted from the bottom row
};

// What the device tells about itself (GetDeviceCaps): size in pixels, resolution in dots per
// inch, bits per pixel, and the colour count (-1 for more than 256 colours).
struct Caps {
  int32_t width = 0;
  int32_t height = 0;
  int32_t dpiX = 96;
  int32_t dpiY = 96;
  int32_t bitsPixel = 24;
  int32_t numColors = -1;
};

// The private escape of the maker's printer driver, and the escape that asks whether a driver
// supports another (its input names the driver).
constexpr uint32_t kEscapeDocumentPath = 0xDEADBEAFu;
constexpr uint32_t kEscapeQuerySupport = 8;

class Device {
 public:
  virtual ~Device() = default;
  virtual Caps caps() const = 0;
  // True for a device that records its calls (a metafile) rather than drawing them.
  virtual bool isMetafile() const { return false; }
  virtual void fillRect(const Rect &rect, Rgb colour) = 0;
  // SetDIBitsToDevice: the part (srcX, srcY) of size width x height at (destX, destY).
  void setDIBitsToDevice(int32_t destX, int32_t destY, int32_t width, int32_t height, int32_t srcX,
                         int32_t srcY, const Dib &dib) {
    drawDib(DibBlit{destX, destY, width, height, srcX, srcY, width, height}, dib);
  }
  // StretchDIBits with SRCCOPY.
  void stretchDIBits(const DibBlit &blit, const Dib &dib) { drawDib(blit, dib); }
  // ExtEscape: no device of ours supports an escape, the printer driver's included: 0.
  int32_t escape(uint32_t /*code*/) const { return 0; }

  // The print job (StartDoc, StartPage, EndPage, EndDoc, AbortDoc): a negative result is a
  // failure. A device that is not a printer takes every call and draws each page over the
  // last, which is what a screen or memory device does with a job.
  virtual int32_t startDoc(const char * /*documentName*/) { return 1; }
  virtual int32_t startPage() { return 1; }
  virtual int32_t endPage() { return 1; }
  virtual int32_t endDoc() { return 1; }
  virtual void abortDoc() {}

 protected:
  virtual void drawDib(const DibBlit &blit, const Dib &dib) = 0;
};

// A raster of 32-bit pixels 0xFFRRGGBB, the layout QImage::Format_RGB32 shares.
struct Raster {
  uint32_t *pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int64_t stride = 0;  // pixels per row
};

// The geometry of a bitmap as its header gives it; false for a header that cannot be drawn
// (too short, a depth other than 1, 8, 24 or 32, a side <= 0, or rows past bitsSize).
struct DibShape {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bpp = 0;
  bool topDown = false;
  uint64_t stride = 0;
};
bool dibShape(const Dib &dib, DibShape *shape);

// Draws the bitmap part into the raster by the rule above, clipped to the raster; raster pixel
// (0, 0) is device pixel (originX, originY).
void blitDib(const Dib &dib, const DibBlit &blit, const Raster &raster, int32_t originX = 0,
             int32_t originY = 0);

}  // namespace gfx

#endif
