// NorvviewCtrl: painting pages on a drawing device from the page cache.
//
// Layout: the first page is painted at the bounds' top-left from the view offsets; in
// continuous view each further page follows G + 1 pixels below the previous one (G the page
// gap) with offset (x, 0) while room is left. For each page the visible part S (zoomed, as
// oriented) is drawn from the cache entry's bitmap, which is rendered again unless it holds the
// needed part at the same zoom, layer and depth; a whole-page bitmap is rendered when its
// estimate is below FullPageCacheThreshold megabytes and fits one bitmap (4 GB). At zoom 1 or less
// the bitmap holds zoomed pixels and is drawn unscaled; above 1 it holds page pixels and the device
// enlarges them. With the fill flag the area beside and below each page is background, and in
// continuous view a shadow min(G / 3, 10) + 1 pixels wide lies against the page's right and bottom
// edges. The cache is trimmed after each paint.
//
// A render that fails leaves no stale pixels: the bitmap is released, the page's visible part is
// filled with BackColor and the site is told the area (a window says there that the page cannot
// be shown). A top-down bitmap drawn into a metafile is flipped to
// bottom-up in a copy; the cached bitmap is never changed by drawing.
#include <algorithm>

#include "norvview_ctrl.h"
#include "ole_colour.h"
#include "view_math.h"

namespace ctl {
namespace {

// The largest pixel block of one bitmap (its header keeps the size in 32 bits).
constexpr uint64_t kMaxBitmapBytes = UINT32_MAX;
constexpr gfx::Rgb kShadowColour = gfx::rgb(24, 24, 24);

struct Edges {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  int64_t width() const { return right - left; }
  int64_t height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
};

// The part of the oriented page, in unrotated coordinates of a page w x h (both at the same
// scale as the part).
Edges unrotate(const Edges &s, int32_t orientation, int64_t w, int64_t h) {
  switch (orientation) {
    case 180:
      return {w - s.right, h - s.bottom, w - s.left, h - s.top};
    case 90:
      return {s.top, h - s.right, s.bottom, h - s.left};
    case 270:
      return {w - s.bottom, s.left, w - s.top, s.right};
    default:
      return s;
  }
}

bool holds(const Rect &held, const Edges &u) {
  auto inside = [&](int64_t x, int64_t y) {
    return x >= held.left && x < held.right && y >= held.top && y < held.bottom;
  };
  return inside(u.left, u.top) && inside(u.right - 1, u.bottom - 1);
}

Rect rectOf(const Edges &e) {
  return Rect{held32(e.left), held32(e.top), held32(e.right), held32(e.bottom)};
}

gfx::Rect deviceRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return gfx::Rect{held32(left), held32(top), held32(right), held32(bottom)};
}

gfx::Dib dibOf(const DibImgBuf &bitmap) {
  return gfx::Dib{bitmap.GetInfo().data(), bitmap.GetInfo().size(), bitmap.GetData(),
                  bitmap.length()};
}

}  // namespace

void NorvviewCtrl::OnDraw(gfx::Device *device, const gfx::Rect &bounds, const gfx::Rect &invalid) {
  DrawPages(device, Rect{bounds.left, bounds.top, bounds.right, bounds.bottom},
            Rect{invalid.left, invalid.top, invalid.right, invalid.bottom}, currentPage_, xOffset_,
            yOffset_, zoom_, orientation_, true, layer_, viewMode_);
}

void NorvviewCtrl::FillBackground(gfx::Device *device, const Rect &rect) const {
  if (device == nullptr || rect.width() <= 0 || rect.height() <= 0) return;
  device->fillRect(gfx::Rect{rect.left, rect.top, rect.right, rect.bottom},
                   oleColourToRgb(backColor_));
}

void NorvviewCtrl::DrawPages(gfx::Device *device, const Rect &bounds, const Rect & /*update*/,
                             uint32_t first, int32_t x, int32_t y, double zoom, int32_t orientation,
                             bool fill, int32_t layer, int32_t viewMode) {
  if (device == nullptr) return;
  if (document_ == nullptr || pageList_.empty()) {
    FillBackground(device, bounds);
    return;
  }
  const gfx::Caps caps = device->caps();
  const bool monochrome = caps.bitsPixel == 1 && caps.numColors != -1 &&
                          caps.numColors <= (int64_t{1} << std::clamp(caps.bitsPixel, 0, 32));
  PaintPages(*device, bounds, first,
             PaintArgs{x, y, zoom, orientation, fill, layer, viewMode, zoom > 1.0, monochrome});
}

void NorvviewCtrl::PaintPages(gfx::Device &device, const Rect &bounds, uint32_t first,
                              PaintArgs args) {
  Rect rest = PaintPage(device, bounds, first, args);
  uint32_t end = first;
  if (args.viewMode == 0) {
    end = first + 1;
    args.y = 0;
    for (uint32_t i = first + 1;
         i < static_cast<uint32_t>(NumPages()) && rest.width() > 0 && rest.height() > 0; ++i) {
      rest = PaintPage(device, rest, i, args);
      end = i + 1;
    }
  }
  if (args.fill) FillBackground(&device, rest);
  TrimPageCache(first, end);
}

Rect NorvviewCtrl::PaintPage(gfx::Device &device, const Rect &bounds, uint32_t index,
                             const PaintArgs &args) {
  if (bounds.width() <= 0 || bounds.height() <= 0) return Rect{};
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(index, INT32_MAX));
  const double z = args.zoom;
  const LongPair oriented = GetOrientedPageSize(n, args.orientation);
  const LongPair page = GetOrientedPageSize(n, 0);
  // The visible part, in zoomed oriented page pixels, no larger than the bounds.
  Edges s{truncated(args.x * z), truncated(args.y * z),
          truncated(static_cast<double>(oriented.x) * z),
          truncated(static_cast<double>(oriented.y) * z)};
  int64_t sw = std::clamp<int64_t>(s.width(), 0, bounds.width());
  int64_t sh = std::clamp<int64_t>(s.height(), 0, bounds.height());
  if (sw == 0 || sh == 0) sw = sh = 0;
  s.right = s.left + sw;
  s.bottom = s.top + sh;
  int64_t shownLeft = s.left, shownTop = s.top;

  if (sw > 0) {
    int32_t depth = 0;
    if (TfxPage *object = document_->GetPage(n); object != nullptr)
      depth = object->GetBitsPerPixel();
    if (args.layer % 2 == 0 && args.layer != 0) depth = 1;
    if (!args.stretched && depth == 1 && z != 1.0) depth = 8;
    if (args.monochrome) depth = 1;
    // The part and the page in the bitmap's pixels: zoomed below 1, page pixels above.
    Edges part = s;
    Edges whole{0, 0, truncated(static_cast<double>(page.x) * z),
                truncated(static_cast<double>(page.y) * z)};
    double heldZoom = z;
    if (args.stretched) {
      const double inverse = 1.0 / z;
      part = Edges{truncated(s.left * inverse), truncated(s.top * inverse),
                   truncated(s.right * inverse), truncated(s.bottom * inverse)};
      whole = Edges{0, 0, page.x, page.y};
      heldZoom = 1.0;
      shownLeft = truncated(part.left * z);
      shownTop = truncated(part.top * z);
    }
    if (!part.empty()) {
      const Edges u = unrotate(part, args.orientation, whole.right, whole.bottom);
      Page &entry = *GetCachedPage(n);
      const bool reuse = entry.heldZoom == heldZoom && entry.heldLayer == args.layer &&
                         entry.heldDepth == depth && holds(entry.held, u);
      PaintArgs renderArgs = args;
      renderArgs.zoom = heldZoom;
      if (reuse || renderInto(entry, renderArgs, depth, rectOf(u), rectOf(whole))) {
        drawCached(device, entry, bounds, rectOf(u), args, static_cast<int32_t>(sw),
                   static_cast<int32_t>(sh));
      } else {
        const Rect area{bounds.left, bounds.top, held32(bounds.left + sw), held32(bounds.top + sh)};
        FillBackground(&device, area);
        if (site_ != nullptr)
          site_->pageNotShown(gfx::Rect{area.left, area.top, area.right, area.bottom});
      }
    }
  }

  const int64_t gap = pageBreakSpace_;
  if (args.fill) {
    const gfx::Rgb back = oleColourToRgb(backColor_);
    const int64_t shadow = std::min<int64_t>(gap / 3, 10);
    const int64_t left = bounds.left, top = bounds.top, right = bounds.right,
                  bottom = bounds.bottom;
    auto paint = [&](const gfx::Rect &r, gfx::Rgb colour) {
      if (!r.empty()) device.fillRect(r, colour);
    };
    paint(deviceRect(left + sw, top, right, top + sh + 1), back);
    if (args.viewMode == 0)
      paint(deviceRect(left + sw, top + std::max<int64_t>(shadow - shownTop, 0),
                       std::min(right - 1, left + sw + shadow) + 1, top + sh + 1),
            kShadowColour);
    paint(deviceRect(left, top + sh, right, std::min(bottom - 1, top + sh + gap) + 1), back);
    if (args.viewMode == 0)
      paint(deviceRect(left + std::max<int64_t>(shadow - shownLeft, 0), top + sh,
                       left + sw + shadow + 1, std::min(bottom - 1, top + sh + shadow) + 1),
            kShadowColour);
  }
  return Rect{bounds.left, held32(bounds.top + sh + gap + 1), bounds.right, bounds.bottom};
}

bool NorvviewCtrl::renderInto(Page &page, const PaintArgs &args, int32_t depth, Rect part,
                              Rect whole) {
  page.held = part;
  page.heldZoom = args.zoom;
  page.heldLayer = args.layer;
  // Whole when the estimate is below the threshold and within what one bitmap can hold.
  const uint64_t limit = std::min<uint64_t>(
      static_cast<uint64_t>(std::max(fullPageCacheThreshold_, 0)) * kMegabyte, kMaxBitmapBytes);
  if (page.EstimateBitmapBytes(args.zoom, depth) < limit) page.held = whole;
  TfxPage *object = page.GetTfxPage();
  bool rendered = false;
  if (object != nullptr) {
    if (site_ != nullptr) site_->beginWaitCursor();
    const double scale = 1.0 / args.zoom;
    rendered = args.monochrome ? object->RenderConverted(&page.bitmap, page.held, scale, args.layer)
                               : object->Render(&page.bitmap, page.held, scale, args.layer);
    if (site_ != nullptr) site_->endWaitCursor();
  }
  if (!rendered) {
    page.ReleaseBitmap();
    page.heldDepth = 0;
    return false;
  }
  page.heldDepth = page.bitmap.GetBitsPerPixel();
  return true;
}

void NorvviewCtrl::drawCached(gfx::Device &device, const Page &page, const Rect &bounds, Rect u,
                              const PaintArgs &args, int32_t sw, int32_t sh) {
  // The part relative to the bitmap.
  const Rect part{u.left - page.held.left, u.top - page.held.top, u.right - page.held.left,
                  u.bottom - page.held.top};
  const DibImgBuf *source = &page.bitmap;
  DibImgBuf turned;
  gfx::DibBlit blit{bounds.left, bounds.top, sw, sh, part.left, 0, part.width(), part.height()};
  if (args.orientation != 0) {
    page.bitmap.Rotate(args.orientation, &turned, part);
    source = &turned;
    // The turned part, whatever width its rows were padded to.
    const bool quarter = args.orientation != 180;
    blit.srcX = 0;
    blit.srcWidth = quarter ? part.height() : part.width();
    blit.srcHeight = quarter ? part.width() : part.height();
  } else {
    blit.srcY = page.bitmap.GetHeight() - part.bottom;
  }
  DibImgBuf flipped;
  if (device.isMetafile() && source->headerHeight() < 0 && flipped.CopyFrom(*source)) {
    flipped.FlipRows();
    source = &flipped;
  }
  if (args.stretched) {
    device.stretchDIBits(blit, dibOf(*source));
  } else {
    device.setDIBitsToDevice(blit.destX, blit.destY, sw, sh, blit.srcX, blit.srcY, dibOf(*source));
  }
}

}  // namespace ctl
