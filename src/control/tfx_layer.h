// Layers of a TIFF-FX page: the background (TfxBgLayer) and one selector layer per mask and
// foreground pair (TfxSelLayer), each owning its bands and knowing its place on the page.
//
// Positions are in reference pixels (the mask's resolution); a layer's width and height are
// in its own pixels, and its scale (sx, sy) is how many reference pixels one of its pixels
// covers: whole numbers 1 or more. Empty band entries (bands of a coding that is not drawn,
// or outside the band limits) are kept as null entries and skipped everywhere.
//
// Geometry at construction:
//   background  origin = (smallest band x, first band's y); width = (largest band x + band
//               width x sx - origin x) / sx; height = (last band's y + its height x sy -
//               origin y) / sy.
//   selector    mask part: origin = (smallest x, first band's y); width = largest (x + width)
//               - origin x; height = last band's y + height - origin y. Foreground part, over
//               the foreground bands drawn through at least one mask band: origin = (smallest
//               x, smallest y); width = (largest x + width x fsx - origin x) / fsx; height =
//               (y + height x fsy of the last such band - origin y) / fsy; all 0 without one.
#ifndef CTL_TFX_LAYER_H
#define CTL_TFX_LAYER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "tfx_band.h"

namespace ctl {

using BandList = std::vector<std::unique_ptr<TfxBand>>;

inline constexpr int64_t kMaxLayerScale = 64;

// The scale of a layer of resolution own on a page of reference resolution: reference / own
// per axis (integer division) when both resolutions are positive and both ratios lie in 1 ..
// kMaxLayerScale; false (scale untouched) otherwise.
bool layerScaleOf(LongPair reference, LongPair own, Extent *scale);

// Rectangle arithmetic of the renders: a rectangle reduced by a pair (start divided down, end
// divided up), the common part of two, one moved.
Rect reduceRect(Rect r, Extent reduction);
Rect intersect(Rect a, Rect b);
Rect offsetRect(Rect r, int32_t dx, int32_t dy);
// Sets every byte of the image's rows (whole words of each row) to value.
void fillAdapter(ImageAdapter *image, uint8_t value);
// Scales a 24-bit source by num / den per axis (a zoom for whole factors, else a bilinear
// resize), lays its top-left at origin of the 24-bit target, and copies what falls inside
// window (target coordinates, cut to the target).
bool placeScaled(ImpImgBuf *source, int64_t originX, int64_t originY, Extent num, Extent den,
                 ImpImgBuf *target, Rect window);

class TfxLayer {
 public:
  virtual ~TfxLayer() = default;
  TfxLayer(const TfxLayer &) = delete;
  TfxLayer &operator=(const TfxLayer &) = delete;

  int32_t x() const { return x_; }
  int32_t y() const { return y_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  Extent scale() const { return scale_; }
  BandKind maskKind() const { return maskKind_; }
  ColourKind colourKind() const { return colourKind_; }
  const std::vector<float> &decodeValues() const { return decode_; }
  void setDecodeValues(std::vector<float> values) { decode_ = std::move(values); }
  const BandList &bands() const { return bands_; }

  // Draws the layer's part request (reduced layer pixels; page pixels for a selector layer)
  // into target (an adapter of the request's size) at the band reduction.
  virtual bool Render(ImageAdapter *target, Rect request, Extent reduction) = 0;

 protected:
  TfxLayer(BandList bands, Extent scale, BandKind maskKind, ColourKind colourKind)
      : scale_(scale), maskKind_(maskKind), colourKind_(colourKind), bands_(std::move(bands)) {}

  int32_t x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  Extent scale_{1, 1};
  BandKind maskKind_;
  ColourKind colourKind_;
  BandList bands_;
  std::vector<float> decode_;
};

class TfxBgLayer final : public TfxLayer {
 public:
  TfxBgLayer(BandList bands, Extent scale, ColourKind colourKind);
  // The background's bands, into a 24-bit target; the first failing band fails the render.
  bool Render(ImageAdapter *target, Rect request, Extent reduction) override;
};

class TfxSelLayer final : public TfxLayer {
 public:
  // maskBands: TfxSelectorBand entries (or null); foregrounds: the pair's foreground bands
  // (or null), each drawn through every mask band whose rows it overlaps; a foreground band
  // that overlaps none is kept but never drawn. foregroundScale: reference pixels per
  // foreground pixel.
  TfxSelLayer(BandList maskBands, BandList foregrounds, Extent foregroundScale, BandKind maskKind,
              ColourKind colourKind, ColourKind foregroundColourKind);

  int32_t foregroundX() const { return fgX_; }
  int32_t foregroundY() const { return fgY_; }
  int32_t foregroundWidth() const { return fgWidth_; }
  int32_t foregroundHeight() const { return fgHeight_; }
  Extent foregroundScale() const { return fgScale_; }
  ColourKind foregroundColourKind() const { return fgColourKind_; }
  const BandList &foregroundBands() const { return foregrounds_; }
  TfxSelectorBand *maskBand(size_t index) const;

  // The page's colours through the masks, into a 24-bit target (request in reduced page
  // pixels); the first failure fails the render.
  bool Render(ImageAdapter *target, Rect request, Extent reduction) override;
  // The mask bands alone, into a 1-bit (reduction 1) or 8-bit grey target (request in reduced
  // page pixels); a failing band does not stop the others: the result is the last drawn
  // band's.
  bool RenderMask(ImageAdapter *target, Rect request, Extent reduction);
  // The foreground bands alone, into a 24-bit target (request in reduced foreground pixels
  // from the foreground's origin); the first failing band fails the render.
  bool RenderForeground(ImageAdapter *target, Rect request, Extent reduction);

 private:
  bool attached(const TfxBand *band) const;
  // Draws the foreground band's part inside D (reduced page pixels) into colour (D's size).
  bool drawForeground(TfxBand *band, Rect d, Extent reduction, ImpImgBuf *colour);

  BandList foregrounds_;
  int32_t fgX_ = 0, fgY_ = 0, fgWidth_ = 0, fgHeight_ = 0;
  Extent fgScale_;
  ColourKind fgColourKind_;
};

}  // namespace ctl

#endif
