// Bands of a TIFF-FX page: the coded bytes of one strip or stripe of a layer, each decoding
// itself into a target image when the page is rendered.
//
//   TfxBand            position and size, the owned coded data, Render.
//   TfxSelectorBand    a mask band: draws nothing itself; the foreground bands that overlap
//                      its rows are listed with it (the layer owns them).
//   TfxJBig2Band       a JBIG2 mask: a page decoder per render over the document's shared
//                      global-segment decoder.
//   TfxG4Band          a CCITT Group 4 (T.6) mask.
//   TfxColorBand       base of the colour bands.
//   TfxJpegBand        a JPEG background or foreground, read at full size or scaled by 1/2,
//                      1/4, 1/8, cropped to the part asked for.
//   TfxColorTokenBand  a foreground of coloured tokens: the symbol instances of its JBIG2
//                      mask band, each painted in its colour from the band's colour payload.
//
// Render(target, rectangle, reduction): rectangle is the part of the band to draw, in band
// pixels divided by the reduction (sx, sy), relative to the band's reduced top-left; the
// target is an adapter of exactly that part's size. Masks draw into a 1-bit image-core target
// at reduction (1, 1) and into an 8-bit one (grey coverage: 255 white, 0 fully inked) when
// reduced, by 2, 4 or 8; colour bands draw 24-bit pixels. A mask band first clears its target
// (no ink), so a band that cannot be decoded leaves no stale pixels. Every failure gives false
// and reports nothing.
//
// Band sizes come from the file: a band is built only when its sides lie in 1 .. kMaxBandSide
// and its area is at most kMaxBandPixels, and its position in 0 .. kMaxBandPosition.
#ifndef CTL_TFX_BAND_H
#define CTL_TFX_BAND_H

#include <cstdint>
#include <vector>

#include "image_adapter.h"
#include "tfx_io.h"

struct Jbig2Decoder;
struct QtzState;

namespace ctl {

class Jbig2GlobalStore;

// A symbol instance of a JBIG2 band's text regions: its place on the band and its bitmap
// (packed words, leftmost pixel in the top bit).
struct Jbig2Token {
  int32_t x, y, width, height, wordsPerRow;
  const uint32_t *bits;
};

// The tokens of one decoded band; their bitmaps live as long as the set (it holds the
// decoder that made them).
class Jbig2TokenSet {
 public:
  Jbig2TokenSet() = default;
  ~Jbig2TokenSet();
  Jbig2TokenSet(const Jbig2TokenSet &) = delete;
  Jbig2TokenSet &operator=(const Jbig2TokenSet &) = delete;

  std::vector<Jbig2Token> tokens;
  Jbig2Decoder *decoder = nullptr;
};

inline constexpr int64_t kMaxBandSide = int64_t{1} << 18;
inline constexpr int64_t kMaxBandPixels = int64_t{1} << 28;
inline constexpr int64_t kMaxBandPosition = int64_t{1} << 24;
// A page: at most kMaxPagePixels (134 million, an A3 sheet at 800 dpi) in its declared size
// and in its bands' extent, and at most kMaxPageBandPixels in all its bands together (every
// layer's bands at their own resolution), so that overlapping or repeated bands cannot
// multiply the decoding work. A page past these is not drawn.
inline constexpr int64_t kMaxPagePixels = int64_t{1} << 27;
inline constexpr int64_t kMaxPageBandPixels = int64_t{1} << 28;
// A JPEG band codes each 8 x 8 block of its first component in at least one bit, so its bytes
// bound its pixels (with room for markers and tables of a tiny band).
inline constexpr int64_t kJpegPixelsPerByte = 512;
inline constexpr int64_t kJpegPixelAllowance = int64_t{1} << 16;

// True when a declared page size has sides of 1 .. kMaxBandSide and at most kMaxPagePixels.
bool pageSizeOk(LongPair size);

// Place and size of a band: position in reference pixels, size in the band's own pixels.
struct BandBox {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// The box when position and size are within the band limits.
bool bandBoxOf(LongPair position, LongPair size, BandBox *box);

class TfxBand {
 public:
  TfxBand(Block data, const BandBox &box) : data_(std::move(data)), box_(box) {}
  virtual ~TfxBand() = default;
  TfxBand(const TfxBand &) = delete;
  TfxBand &operator=(const TfxBand &) = delete;

  virtual bool Render(ImageAdapter *target, Rect rectangle, Extent reduction) = 0;

  const BandBox &box() const { return box_; }
  const Block &data() const { return data_; }

 protected:
  // True when the rectangle is a part of the band at that reduction and the reduction is a
  // pair of whole factors 1 or more.
  bool partOk(Rect rectangle, Extent reduction) const;
  // True when the rectangle leaves part of the reduced band out.
  bool cut(Rect rectangle, Extent reduction) const;

  Block data_;
  BandBox box_;
};

class TfxSelectorBand : public TfxBand {
 public:
  using TfxBand::TfxBand;
  bool Render(ImageAdapter *, Rect, Extent) override { return false; }

  // Foreground bands drawn through this mask band, in band order (owned by the layer).
  std::vector<TfxBand *> &foregrounds() { return foregrounds_; }

 protected:
  // The shared end of the mask renders: the band's decoded 1-bit image (framed, band size or
  // larger or smaller) is cut to the part, reduced to grey coverage when the reduction is
  // above 1 and copied into the target's pixels. ctx is the context that made the image.
  static bool finish(PxlContext *ctx, Pixr *image, ImageAdapter *target, Rect rectangle,
                     Extent reduction);
  // Clears the target to no ink: 0 bits at depth 1, white 255 at depth 8.
  static bool clearTarget(ImageAdapter *target);

 private:
  std::vector<TfxBand *> foregrounds_;
};

class TfxJBig2Band final : public TfxSelectorBand {
 public:
  TfxJBig2Band(Block data, const BandBox &box, GlobalRefs refs, Jbig2GlobalStore *store)
      : TfxSelectorBand(std::move(data), box), refs_(std::move(refs)), store_(store) {}
  bool Render(ImageAdapter *target, Rect rectangle, Extent reduction) override;

  // Decodes the band keeping every segment and composing no page: the symbol instances of its
  // text regions in token order. False when the band does not decode.
  bool DecodeTokens(Jbig2TokenSet *tokens);
  // The library state of the document's JBIG2 store (null without one).
  QtzState *state() const;

 private:
  // Runs a page decoder over the band with the shared globals; the decoder is handed out.
  bool decode(uint8_t keepAll, uint8_t composePage, Jbig2Decoder **decoder, void **cookie);

  GlobalRefs refs_;
  Jbig2GlobalStore *store_;
};

class TfxG4Band final : public TfxSelectorBand {
 public:
  // state: the library state the fax decoder runs in (its hooks and error sink).
  TfxG4Band(Block data, const BandBox &box, QtzState *state)
      : TfxSelectorBand(std::move(data), box), state_(state) {}
  bool Render(ImageAdapter *target, Rect rectangle, Extent reduction) override;

 private:
  QtzState *state_;
};

class TfxColorBand : public TfxBand {
 public:
  using TfxBand::TfxBand;
};

class TfxJpegBand final : public TfxColorBand {
 public:
  // colour: the colour kind of the layer the band's pixels belong to.
  TfxJpegBand(Block data, const BandBox &box, ColourKind colour)
      : TfxColorBand(std::move(data), box), colour_(colour) {}
  bool Render(ImageAdapter *target, Rect rectangle, Extent reduction) override;

 private:
  ColourKind colour_;
};

class TfxColorTokenBand final : public TfxColorBand {
 public:
  // mask: the JBIG2 mask band whose tokens this band's payload colours (same band index).
  TfxColorTokenBand(Block data, const BandBox &box, TfxJBig2Band *mask)
      : TfxColorBand(std::move(data), box), mask_(mask) {}
  bool Render(ImageAdapter *target, Rect rectangle, Extent reduction) override;
  TfxJBig2Band *mask() const { return mask_; }

 private:
  TfxJBig2Band *mask_;
};

}  // namespace ctl

#endif
