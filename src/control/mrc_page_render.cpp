// MrcPage::Render: the whole page, the background, one mask or one foreground into the
// caller's bitmap at any zoom.
//
// The scale (1 / zoom) becomes the rational n / d = round(scale x 210) / 210 in lowest terms
// (a single layer's scale first divided by the layer's own scale, so that it is drawn at its own
// resolution). The layers are drawn at the power-of-two reduction f = 2^floor(log2(n / d)) (at
// most 8; 1 when enlarging): straight into the caller's bitmap when n / d is f itself, else
// into a work image of the request scaled to reduced page pixels (ending at the last whole
// block inside the drawing, so that no pixel averages the fill outside it), which is then
// resampled into the bitmap. The whole page draws the background, resampled from its own
// resolution, then every pair's colours through its masks; on a page without colour the masks
// alone. Masks are drawn 1-bit at 1:1 and as 8-bit grey otherwise; 1- and 8-bit results are turned
// from the image core's word order into the bitmap's byte order; ITULab results are converted to
// RGB.
//
// RenderConverted, for monochrome devices, draws a 1-bit drawing (a page without colour or a
// mask, at 1:1) straight into the caller's bitmap and every other drawing into a bitmap of its
// own, which is then converted to 1 bit (drawingToBinary: near-white white, darker greys and
// colours dithered) into the caller's.
//
// Fills before drawing: white for the whole page and the background (0xFF; no bits set in a
// 1-bit drawing), black for a foreground, and no ink for a mask (0 bits, or white grey), so
// that what no band covers never shows the buffer's previous pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "image_pool.h"
#include "mrc_page.h"

namespace ctl {
namespace {

constexpr int64_t kScaleDenominator = 210;
constexpr int32_t kMaxReduction = 8;

int32_t powerOfTwoBelow(int64_t n, int64_t d) {
  int32_t f = 1;
  while (f < kMaxReduction && int64_t{2} * f * d <= n) f *= 2;
  return f;
}

int64_t floorDiv(int64_t v, int64_t d) {
  return v >= 0 ? v / d : -((-v + d - 1) / d);
}

int64_t ceilDiv(int64_t v, int64_t d) {
  return -floorDiv(-v, d);
}

// Fills the drawing of the selector: white for the whole page and the background, black for a
// foreground, no ink for a mask. A drawing in ITULab codes (converted at the end) gets the
// codes of white, L* 100 and a* = b* = 0, so that it comes out white.
void fillDrawing(ImageAdapter *image, int32_t selector, const LabRange *lab) {
  const int32_t depth = image->GetBitsPerPixel();
  const bool mask = selector >= 2 && selector % 2 == 0;
  if (depth == 24 && lab != nullptr && selector <= 1) {
    auto code = [](double v, double lo, double hi) {
      return static_cast<uint8_t>(
          hi > lo ? std::clamp(std::lround((v - lo) * 255 / (hi - lo)), 0L, 255L) : 0);
    };
    const uint8_t white[3] = {code(100, lab->lMin, lab->lMax), code(0, lab->aMin, lab->aMax),
                              code(0, lab->bMin, lab->bMax)};
    uint8_t *row = image->GetData();
    for (int32_t y = 0; y < image->GetHeight(); ++y, row += image->GetStride())
      for (int32_t x = 0; x < image->GetWidth(); ++x) std::memcpy(row + 3 * x, white, 3);
    return;
  }
  if (selector <= 1 || mask)
    fillAdapter(image, depth == 1 ? 0x00 : 0xFF);
  else
    fillAdapter(image, 0x00);
}

}  // namespace

ColourKind MrcPage::CommonColourKind() const {
  bool first = true;
  ColourKind kind = ColourKind::None;
  if (background_) {
    kind = background_->colourKind();
    first = false;
  }
  for (const auto &selector : selectors_) {
    if (!selector) continue;
    if (first) {
      kind = selector->foregroundColourKind();
      first = false;
    } else if (selector->foregroundColourKind() != kind) {
      return ColourKind::None;
    }
  }
  return kind;
}

LabRange MrcPage::labRange() const {
  const std::vector<float> *values = nullptr;
  if (background_ && background_->decodeValues().size() == 6)
    values = &background_->decodeValues();
  else if (!selectors_.empty() && selectors_[0] && selectors_[0]->decodeValues().size() == 6)
    values = &selectors_[0]->decodeValues();
  if (values == nullptr) return LabRange{};
  const std::vector<float> &v = *values;
  return LabRange{v[0], v[1], v[2], v[3], v[4], v[5]};
}

bool MrcPage::drawBackground(ImpImgBuf *target, Rect request, int32_t p) {
  const TfxBgLayer &bg = *background_;
  const int64_t sx = bg.scale().width, sy = bg.scale().height;
  const int64_t x = bg.x(), y = bg.y();
  // The background's box in reduced page pixels, cut to the request.
  const Rect box{static_cast<int32_t>(x / p), static_cast<int32_t>(y / p),
                 static_cast<int32_t>(x / p + ceilDiv(bg.width() * sx, p)),
                 static_cast<int32_t>(y / p + ceilDiv(bg.height() * sy, p))};
  const Rect visible = intersect(box, request);
  if (visible.width() == 0 || visible.height() == 0) return true;
  // Its pixels under the visible part, then at the band reduction.
  const Rect own =
      intersect(Rect{static_cast<int32_t>(floorDiv(visible.left * int64_t{p} - x, sx)),
                     static_cast<int32_t>(floorDiv(visible.top * int64_t{p} - y, sy)),
                     static_cast<int32_t>(ceilDiv(visible.right * int64_t{p} - x, sx)),
                     static_cast<int32_t>(ceilDiv(visible.bottom * int64_t{p} - y, sy))},
                Rect{0, 0, bg.width(), bg.height()});
  if (own.width() == 0 || own.height() == 0) return true;
  const Extent r{powerOfTwoBelow(p, sx), powerOfTwoBelow(p, sy)};
  const Rect reduced = reduceRect(own, r);
  DibImgBuf buffer;
  ImpImgBuf work(reduced.width(), reduced.height(), 24, &buffer);
  if (!work.valid()) return false;
  fillAdapter(&work, 0xFF);
  if (!background_->Render(&work, reduced, r)) return false;
  const Rect window = offsetRect(visible, -request.left, -request.top);
  if (!placeScaled(&work, floorDiv(x + reduced.left * r.width * sx, p) - request.left,
                   floorDiv(y + reduced.top * r.height * sy, p) - request.top,
                   Extent{static_cast<int32_t>(r.width * sx), static_cast<int32_t>(r.height * sy)},
                   Extent{p, p}, target, window))
    return false;
  if (CommonColourKind() == ColourKind::None && bg.colourKind() == ColourKind::ItuLab) {
    ImpImgBuf part(window, target);
    if (part.valid()) part.ConvertLabToRgb(LabRange{});
  }
  return true;
}

bool MrcPage::ComposeAll(ImageAdapter *target, Rect request, int32_t p) {
  if (request.width() == 0 || request.height() == 0) return true;
  if (ImpImgBuf *t = target->asImp(); t != nullptr && t->GetBitsPerPixel() == 24) {
    if (background_ && !drawBackground(t, request, p)) return false;
    for (const auto &selector : selectors_)
      if (selector && !selector->Render(target, request, Extent{p, p})) return false;
    return true;
  }
  for (const auto &selector : selectors_)
    if (selector && !selector->RenderMask(target, request, Extent{p, p})) return false;
  return true;
}

bool MrcPage::drawLayers(ImageAdapter *target, Rect request, int32_t f, int32_t selector) {
  if (selector == 0) return ComposeAll(target, request, f);
  if (selector == 1) return background_ && background_->Render(target, request, Extent{f, f});
  TfxSelLayer *pair = this->selector(static_cast<size_t>(selector / 2 - 1));
  if (pair == nullptr) return false;
  return selector % 2 == 0 ? pair->RenderMask(target, request, Extent{f, f})
                           : pair->RenderForeground(target, request, Extent{f, f});
}

bool MrcPage::ComposeLayers(ImageAdapter *target, Rect request, int64_t n, int64_t d,
                            int32_t selector, const LabRange *lab) {
  const int32_t f = n > d ? powerOfTwoBelow(n, d) : 1;
  if (n == f && d == 1) return drawLayers(target, request, f, selector);
  // The request in reduced page pixels.
  const int64_t limit = int64_t{1} << 30;
  const int64_t left = floorDiv(request.left * n, d), top = floorDiv(request.top * n, d);
  const int64_t right = floorDiv(request.right * n, d), bottom = floorDiv(request.bottom * n, d);
  if (std::max({std::abs(left), std::abs(top), std::abs(right), std::abs(bottom)}) > limit)
    return false;
  Rect work{static_cast<int32_t>(floorDiv(left, f)), static_cast<int32_t>(floorDiv(top, f)),
            static_cast<int32_t>(ceilDiv(right, f)), static_cast<int32_t>(ceilDiv(bottom, f))};
  // A block reaching past the drawing's right or bottom edge would average the fill outside it
  // into its pixel (a grey last column or row on a black page): the work image ends at the last
  // whole block, or holds the one block a part starting there needs.
  const LongPair extent = drawingExtent(selector);
  auto lastWhole = [f](int64_t side, int32_t from, int32_t end) {
    return static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(end, side / f), from + 1));
  };
  work.right = lastWhole(extent.x, work.left, work.right);
  work.bottom = lastWhole(extent.y, work.top, work.bottom);
  if (int64_t{work.width()} * work.height() > kMaxBandPixels) return false;
  int32_t depth = target->GetBitsPerPixel();
  if (depth == 8 && f == 1) depth = 1;
  DibImgBuf buffer;
  ImagePool pool;
  ImageAdapter *image = pool.MakeAdapter(depth, work, &buffer);
  if (image == nullptr) return false;
  fillDrawing(image, selector, lab);
  return drawLayers(image, work, f, selector) && image->ResizeInto(target);
}

bool MrcPage::planDrawing(double scale, int32_t selector, Drawing *plan) {
  if (selector < 0 || selector > GetLayerCount()) return false;
  if (!(scale > 0) || scale > 1e6) return false;
  int32_t depth = GetBitsPerPixel();
  const bool mask = selector >= 2 && selector % 2 == 0;
  if (mask) depth = 1;
  if (selector == 1) {
    if (!background_) return false;
    scale /= background_->scale().width;
  } else if (selector >= 3 && selector % 2 == 1) {
    TfxSelLayer *pair = this->selector(static_cast<size_t>(selector / 2 - 1));
    if (pair == nullptr) return false;
    scale /= pair->foregroundScale().width;
  }
  int64_t n =
      std::max<int64_t>(1, static_cast<int64_t>(std::floor(scale * kScaleDenominator + 0.5)));
  int64_t d = kScaleDenominator;
  const int64_t g = std::gcd(n, d);
  n /= g;
  d /= g;
  if (depth == 1 && !(n == 1 && d == 1)) depth = 8;

  plan->depth = depth;
  plan->n = n;
  plan->d = d;
  plan->lab = depth == 24 &&
              ((selector == 0 && CommonColourKind() == ColourKind::ItuLab) ||
               (selector == 1 && background_->colourKind() == ColourKind::ItuLab) ||
               (selector >= 3 &&
                this->selector(static_cast<size_t>(selector / 2 - 1))->foregroundColourKind() ==
                    ColourKind::ItuLab));
  plan->range = labRange();
  return true;
}

LongPair MrcPage::drawingExtent(int32_t selector) const {
  if (selector == 1) return LongPair{background_->width(), background_->height()};
  if (selector >= 3 && selector % 2 == 1) {
    const TfxSelLayer *pair = this->selector(static_cast<size_t>(selector / 2 - 1));
    return LongPair{pair->foregroundWidth(), pair->foregroundHeight()};
  }
  if (!selectors_.empty() && selectors_[0])
    return LongPair{selectors_[0]->width(), selectors_[0]->height()};
  if (background_) return LongPair{background_->width(), background_->height()};
  return LongPair{0, 0};
}

bool MrcPage::requestOk(Rect request, int32_t selector, const Drawing &plan) const {
  const LongPair extent = drawingExtent(selector);
  auto fits = [&](int64_t side, int64_t layerSide) {
    return side * plan.n <= (2 * std::max<int64_t>(layerSide, 0) + kRequestMargin) * plan.d;
  };
  return fits(request.width(), extent.x) && fits(request.height(), extent.y);
}

bool MrcPage::draw(DibImgBuf *buffer, Rect request, int32_t selector, const Drawing &plan) {
  const LabRange *lab = plan.lab ? &plan.range : nullptr;
  if (!requestOk(request, selector, plan)) return false;
  ImagePool pool;
  ImageAdapter *image = pool.MakeAdapter(plan.depth, request, buffer);
  if (image == nullptr || request.width() == 0 || request.height() == 0) return false;
  fillDrawing(image, selector, lab);
  if (!ComposeLayers(image, request, plan.n, plan.d, selector, lab)) return false;
  if (image->GetBitsPerPixel() != 24)
    image->SwapBytes();
  else if (lab)
    image->ConvertLabToRgb(plan.range);
  return true;
}

bool MrcPage::Render(DibImgBuf *buffer, Rect request, double scale, int32_t selector) {
  Drawing plan;
  return buffer != nullptr && planDrawing(scale, selector, &plan) &&
         draw(buffer, request, selector, plan);
}

bool MrcPage::RenderConverted(DibImgBuf *buffer, Rect request, double scale, int32_t selector) {
  Drawing plan;
  if (buffer == nullptr || !planDrawing(scale, selector, &plan)) return false;
  if (plan.depth == 1) return draw(buffer, request, selector, plan);
  DibImgBuf drawing;
  return draw(&drawing, request, selector, plan) &&
         drawingToBinary(drawing, Extent{request.width(), request.height()}, buffer);
}

}  // namespace ctl
