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

 private:
  BandList foregrounds_;
  int32_t fgX_ = 0, fgY_ = 0, fgWidth_ = 0, fgHeight_ = 0;
  Extent fgScale_;
  ColourKind fgColourKind_;
};

}  // namespace ctl

#endif
