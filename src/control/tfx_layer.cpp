// Layers: construction, the attachment of foreground bands to the mask bands they overlap,
// and the geometry of each layer from its bands (64-bit arithmetic, results within the band
// limits times the layer scale).
#include "tfx_layer.h"

#include <algorithm>
#include <limits>

namespace ctl {
namespace {

int32_t narrow(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool layerScaleOf(LongPair reference, LongPair own, Extent *scale) {
  if (reference.x < 1 || reference.y < 1 || own.x < 1 || own.y < 1) return false;
  const int64_t sx = reference.x / own.x, sy = reference.y / own.y;
  if (sx < 1 || sy < 1 || sx > kMaxLayerScale || sy > kMaxLayerScale) return false;
  *scale = Extent{static_cast<int32_t>(sx), static_cast<int32_t>(sy)};
  return true;
}

TfxBgLayer::TfxBgLayer(BandList bands, Extent scale, ColourKind colourKind)
    : TfxLayer(std::move(bands), scale, BandKind::None, colourKind) {
  const TfxBand *first = nullptr, *last = nullptr;
  int64_t minX = 0, maxRight = 0;
  for (const auto &band : bands_) {
    if (!band) continue;
    const BandBox &b = band->box();
    if (first == nullptr) {
      first = band.get();
      minX = b.x;
      maxRight = b.x + int64_t{b.width} * scale_.width;
    }
    last = band.get();
    minX = std::min<int64_t>(minX, b.x);
    maxRight = std::max(maxRight, b.x + int64_t{b.width} * scale_.width);
  }
  if (first == nullptr) return;
  x_ = narrow(minX);
  y_ = first->box().y;
  width_ = narrow((maxRight - minX) / scale_.width);
  height_ =
      narrow((last->box().y + int64_t{last->box().height} * scale_.height - y_) / scale_.height);
}

TfxSelLayer::TfxSelLayer(BandList maskBands, BandList foregrounds, Extent foregroundScale,
                         BandKind maskKind, ColourKind colourKind, ColourKind foregroundColourKind)
    : TfxLayer(std::move(maskBands), Extent{1, 1}, maskKind, colourKind),
      foregrounds_(std::move(foregrounds)),
      fgScale_(foregroundScale),
      fgColourKind_(foregroundColourKind) {
  // Mask part.
  const TfxBand *first = nullptr, *last = nullptr;
  int64_t minX = 0, maxRight = 0;
  for (const auto &band : bands_) {
    if (!band) continue;
    const BandBox &b = band->box();
    if (first == nullptr) {
      first = band.get();
      minX = b.x;
      maxRight = int64_t{b.x} + b.width;
    }
    last = band.get();
    minX = std::min<int64_t>(minX, b.x);
    maxRight = std::max(maxRight, int64_t{b.x} + b.width);
  }
  if (first != nullptr) {
    x_ = narrow(minX);
    y_ = first->box().y;
    width_ = narrow(maxRight - minX);
    height_ = narrow(int64_t{last->box().y} + last->box().height - y_);
  }

  // Each foreground band goes with every mask band whose rows it overlaps.
  const TfxBand *lastForeground = nullptr;
  int64_t fgMinX = 0, fgMinY = 0, fgMaxRight = 0;
  for (const auto &fg : foregrounds_) {
    if (!fg) continue;
    const BandBox &f = fg->box();
    const int64_t fgTop = f.y, fgBottom = f.y + int64_t{f.height} * fgScale_.height;
    bool attached = false;
    for (const auto &band : bands_) {
      if (!band) continue;
      const BandBox &m = band->box();
      if (fgTop < int64_t{m.y} + m.height && fgBottom > m.y) {
        static_cast<TfxSelectorBand *>(band.get())->foregrounds().push_back(fg.get());
        attached = true;
      }
    }
    if (!attached) continue;
    const int64_t right = f.x + int64_t{f.width} * fgScale_.width;
    if (lastForeground == nullptr) {
      fgMinX = f.x;
      fgMinY = f.y;
      fgMaxRight = right;
    }
    lastForeground = fg.get();
    fgMinX = std::min<int64_t>(fgMinX, f.x);
    fgMinY = std::min<int64_t>(fgMinY, f.y);
    fgMaxRight = std::max(fgMaxRight, right);
  }
  if (lastForeground != nullptr) {
    const BandBox &l = lastForeground->box();
    fgX_ = narrow(fgMinX);
    fgY_ = narrow(fgMinY);
    fgWidth_ = narrow((fgMaxRight - fgMinX) / fgScale_.width);
    fgHeight_ = narrow((l.y + int64_t{l.height} * fgScale_.height - fgMinY) / fgScale_.height);
  }
}

TfxSelectorBand *TfxSelLayer::maskBand(size_t index) const {
  if (index >= bands_.size()) return nullptr;
  return static_cast<TfxSelectorBand *>(bands_[index].get());
}

}  // namespace ctl
