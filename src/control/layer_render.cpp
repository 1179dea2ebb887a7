// Layer renders: each band of a layer gets the part of the request it covers, through a view
// of the target; a selector layer paints its foreground colours through its mask bands.
//
// Requests are rectangles in reduced pixels: a background's and a foreground's relative to the
// layer's origin in its own pixels, a mask's in reduced page (reference) pixels. A band's box
// is reduced by the band reduction (start divided down, end divided up), cut to the request and
// to the band's own reduced size, and handed to the band with coordinates relative to its
// reduced top-left.
//
// TfxSelLayer::Render, for each mask band, fills a 24-bit colour buffer of the band's visible
// part D with black, draws every foreground band that goes with it into the buffer, then
// copies the colours into the target where the mask is set (reduction 1: a 1-bit mask) or
// blends them in by the mask's grey coverage (reduction 2 or more). A foreground band is read
// straight at the reduction px / fsx when that is a whole power of two up to 8; otherwise it is
// read at the largest power of two below (1 when px < fsx) and scaled to D's pixels (nearest
// neighbour for whole factors, bilinear otherwise).
#include <algorithm>
#include <cstring>

#include "image_pool.h"
#include "tfx_layer.h"

namespace ctl {

Rect reduceRect(Rect r, Extent reduction) {
  const int64_t a = reduction.width, b = reduction.height;
  auto down = [](int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); };
  return Rect{static_cast<int32_t>(down(r.left, a)), static_cast<int32_t>(down(r.top, b)),
              static_cast<int32_t>(-down(-int64_t{r.right}, a)),
              static_cast<int32_t>(-down(-int64_t{r.bottom}, b))};
}

Rect intersect(Rect a, Rect b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

Rect offsetRect(Rect r, int32_t dx, int32_t dy) {
  return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

void fillAdapter(ImageAdapter *image, uint8_t value) {
  const int64_t bytes = (int64_t{image->GetWidth()} * image->GetBitsPerPixel() + 7) / 8;
  // Whole 32-bit words: core rows and bitmap rows are padded to them.
  const size_t n = std::min<size_t>(static_cast<size_t>((bytes + 3) / 4 * 4),
                                    static_cast<size_t>(image->GetStride()));
  uint8_t *row = image->GetData();
  for (int32_t y = 0; y < image->GetHeight(); ++y, row += image->GetStride())
    std::memset(row, value, n);
}

bool placeScaled(ImpImgBuf *source, int64_t originX, int64_t originY, Extent num, Extent den,
                 ImpImgBuf *target, Rect window) {
  if (num.width < 1 || num.height < 1 || den.width < 1 || den.height < 1) return false;
  const int64_t w = (int64_t{source->GetWidth()} * num.width + den.width - 1) / den.width;
  const int64_t h = (int64_t{source->GetHeight()} * num.height + den.height - 1) / den.height;
  if (w < 1 || h < 1 || w > kMaxBandSide || h > kMaxBandSide) return false;
  DibImgBuf buffer;
  ImpImgBuf scaled(static_cast<int32_t>(w), static_cast<int32_t>(h), 24, &buffer);
  ImpImgBuf *from = source;
  if (num.width != den.width || num.height != den.height) {
    if (!scaled.valid()) return false;
    const bool whole = num.width % den.width == 0 && num.height % den.height == 0;
    if (whole ? !source->ZoomInto(Extent{num.width / den.width, num.height / den.height}, &scaled)
              : !source->ResizeInto(&scaled))
      return false;
    from = &scaled;
  }
  const Rect cover =
      intersect(window, Rect{static_cast<int32_t>(originX), static_cast<int32_t>(originY),
                             static_cast<int32_t>(originX + from->GetWidth()),
                             static_cast<int32_t>(originY + from->GetHeight())});
  const Rect inside = intersect(cover, Rect{0, 0, target->GetWidth(), target->GetHeight()});
  if (inside.width() == 0 || inside.height() == 0) return true;
  const size_t bytes = static_cast<size_t>(inside.width()) * 3;
  for (int32_t y = inside.top; y < inside.bottom; ++y) {
    const uint8_t *src =
        from->GetData() + (y - originY) * int64_t{from->GetStride()} + (inside.left - originX) * 3;
    uint8_t *dst = target->GetData() + int64_t{y} * target->GetStride() + int64_t{inside.left} * 3;
    std::memcpy(dst, src, bytes);
  }
  return true;
}

namespace {

// The band's reduced box (in the request's coordinates) cut to the request, drawn through a
// view of the target.
bool renderBand(TfxBand *band, Rect reducedBox, Extent reduction, ImageAdapter *target,
                Rect request, ImagePool *pool, bool *drawn) {
  *drawn = false;
  const BandBox &b = band->box();
  const Rect own{reducedBox.left, reducedBox.top,
                 reducedBox.left + (b.width + reduction.width - 1) / reduction.width,
                 reducedBox.top + (b.height + reduction.height - 1) / reduction.height};
  const Rect part = intersect(intersect(reducedBox, own), request);
  if (part.width() == 0 || part.height() == 0) return true;
  *drawn = true;
  ImageAdapter *view = pool->MakeView(offsetRect(part, -request.left, -request.top), target);
  if (view == nullptr) return false;
  return band->Render(view, offsetRect(part, -reducedBox.left, -reducedBox.top), reduction);
}

Rect boxOf(int64_t x, int64_t y, int64_t width, int64_t height) {
  return Rect{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x + width),
              static_cast<int32_t>(y + height)};
}

bool isWholePowerOfTwo(int32_t num, int32_t den, int32_t *power) {
  if (num % den != 0) return false;
  const int32_t k = num / den;
  if (k < 1 || k > 8 || (k & (k - 1)) != 0) return false;
  *power = k;
  return true;
}

int32_t powerBelow(int64_t num, int64_t den) {
  int32_t r = 1;
  while (r < 8 && int64_t{2} * r * den <= num) r *= 2;
  return r;
}

}  // namespace

bool TfxBgLayer::Render(ImageAdapter *target, Rect request, Extent reduction) {
  if (reduction.width < 1 || reduction.height < 1) return false;
  ImagePool pool;
  for (const auto &band : bands_) {
    if (!band) continue;
    const BandBox &b = band->box();
    const Rect box = boxOf((int64_t{b.x} - x_) / scale_.width, (int64_t{b.y} - y_) / scale_.height,
                           b.width, b.height);
    bool drawn = false;
    if (!renderBand(band.get(), reduceRect(box, reduction), reduction, target, request, &pool,
                    &drawn))
      return false;
  }
  return true;
}

bool TfxSelLayer::RenderMask(ImageAdapter *target, Rect request, Extent reduction) {
  if (reduction.width < 1 || reduction.height < 1) return false;
  ImagePool pool;
  bool result = true;
  for (const auto &band : bands_) {
    if (!band) continue;
    const BandBox &b = band->box();
    bool drawn = false;
    const bool ok =
        renderBand(band.get(), reduceRect(boxOf(b.x, b.y, b.width, b.height), reduction), reduction,
                   target, request, &pool, &drawn);
    if (drawn) result = ok;
  }
  return result;
}

bool TfxSelLayer::RenderForeground(ImageAdapter *target, Rect request, Extent reduction) {
  if (reduction.width < 1 || reduction.height < 1) return false;
  ImagePool pool;
  for (const auto &band : foregrounds_) {
    if (!band || !attached(band.get())) continue;
    const BandBox &b = band->box();
    const Rect box = boxOf((int64_t{b.x} - fgX_) / fgScale_.width,
                           (int64_t{b.y} - fgY_) / fgScale_.height, b.width, b.height);
    bool drawn = false;
    if (!renderBand(band.get(), reduceRect(box, reduction), reduction, target, request, &pool,
                    &drawn))
      return false;
  }
  return true;
}

bool TfxSelLayer::attached(const TfxBand *band) const {
  for (const auto &mask : bands_) {
    if (!mask) continue;
    const auto &list = static_cast<TfxSelectorBand *>(mask.get())->foregrounds();
    if (std::find(list.begin(), list.end(), band) != list.end()) return true;
  }
  return false;
}

bool TfxSelLayer::drawForeground(TfxBand *band, Rect d, Extent reduction, ImpImgBuf *colour) {
  const BandBox &f = band->box();
  const int32_t px = reduction.width, py = reduction.height;
  const int32_t fsx = fgScale_.width, fsy = fgScale_.height;
  // The band's box in reduced page pixels, cut to D.
  const Rect box =
      reduceRect(boxOf(f.x, f.y, int64_t{f.width} * fsx, int64_t{f.height} * fsy), reduction);
  const Rect part = intersect(box, d);
  if (part.width() == 0 || part.height() == 0) return true;
  int32_t rx = 0, ry = 0;
  if (isWholePowerOfTwo(px, fsx, &rx) && isWholePowerOfTwo(py, fsy, &ry) && f.x % px == 0 &&
      f.y % py == 0) {
    // One reduced foreground pixel is one reduced page pixel.
    ImpImgBuf view(offsetRect(part, -d.left, -d.top), colour);
    if (!view.valid()) return false;
    const Rect own{0, 0, (f.width + rx - 1) / rx, (f.height + ry - 1) / ry};
    const Rect inBand = intersect(offsetRect(part, -box.left, -box.top), own);
    if (inBand.width() != part.width() || inBand.height() != part.height()) return false;
    return band->Render(&view, inBand, Extent{rx, ry});
  }
  // Read at a power of two below and scale: band pixel u at reduction r lies at page pixel
  // f.x + u * r * fsx.
  rx = powerBelow(px, fsx);
  ry = powerBelow(py, fsy);
  const int64_t stepX = int64_t{rx} * fsx, stepY = int64_t{ry} * fsy;
  auto floorDiv = [](int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); };
  const Rect own{0, 0, (f.width + rx - 1) / rx, (f.height + ry - 1) / ry};
  const Rect q =
      intersect(Rect{static_cast<int32_t>(floorDiv(int64_t{part.left} * px - f.x, stepX)),
                     static_cast<int32_t>(floorDiv(int64_t{part.top} * py - f.y, stepY)),
                     static_cast<int32_t>(-floorDiv(f.x - int64_t{part.right} * px, stepX)),
                     static_cast<int32_t>(-floorDiv(f.y - int64_t{part.bottom} * py, stepY))},
                own);
  if (q.width() == 0 || q.height() == 0) return true;
  DibImgBuf buffer;
  ImpImgBuf read(q.width(), q.height(), 24, &buffer);
  if (!read.valid() || !band->Render(&read, q, Extent{rx, ry})) return false;
  const int64_t originX = floorDiv(f.x + q.left * stepX, px) - d.left;
  const int64_t originY = floorDiv(f.y + q.top * stepY, py) - d.top;
  return placeScaled(&read, originX, originY,
                     Extent{static_cast<int32_t>(stepX), static_cast<int32_t>(stepY)}, reduction,
                     colour, offsetRect(part, -d.left, -d.top));
}

bool TfxSelLayer::Render(ImageAdapter *target, Rect request, Extent reduction) {
  ImpImgBuf *t = target != nullptr ? target->asImp() : nullptr;
  if (t == nullptr || t->GetBitsPerPixel() != 24 || reduction.width < 1 || reduction.height < 1)
    return false;
  const bool reduced = reduction.width > 1 || reduction.height > 1;
  for (const auto &entry : bands_) {
    if (!entry) continue;
    auto *mask = static_cast<TfxSelectorBand *>(entry.get());
    const BandBox &b = mask->box();
    const Rect box = reduceRect(boxOf(b.x, b.y, b.width, b.height), reduction);
    const Rect d = intersect(box, request);
    if (d.width() == 0 || d.height() == 0) continue;

    DibImgBuf colourBuffer;
    ImpImgBuf colour(d.width(), d.height(), 24, &colourBuffer);
    if (!colour.valid()) return false;
    fillAdapter(&colour, 0);
    for (TfxBand *foreground : mask->foregrounds())
      if (!drawForeground(foreground, d, reduction, &colour)) return false;

    DibImgBuf maskBuffer;
    PixlabImgBuf coverage(d.width(), d.height(), reduced ? 8 : 1, &maskBuffer);
    if (!coverage.valid() ||
        !mask->Render(&coverage, offsetRect(d, -box.left, -box.top), reduction))
      return false;
    ImpImgBuf part(offsetRect(d, -request.left, -request.top), t);
    if (!part.valid()) return false;
    if (!(reduced ? part.BlendMasked(&coverage, &colour) : part.CopyMasked(&coverage, &colour)))
      return false;
  }
  return true;
}

}  // namespace ctl
