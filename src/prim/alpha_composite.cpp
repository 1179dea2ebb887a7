// Alpha compositing (source unit "impalpha"): two sources A and B into a destination by one of
// the Porter-Duff rules (0 over, 1 in, 2 out, 3 atop, 4 xor, 5 plus) at depths 8 and 16, with
// plain or premultiplied colours and the divide mode.
//
// Alphas: a from alphaImageA, else A's own alpha channel; b from alphaImageB, else B's alpha
// channel when no alphaImageA was given, else M - a. The result alpha goes to alphaImageDst when
// given. Integer variant (and the vector rows, which give the same bytes): with mul(x, y) =
// floor(x y / M), A' = mul(A, a), B' = mul(B, b) (premultiplied: A, B), colours and alphas by
// the rule, sums limited to M. Floating variant (divide mode 1): alphas scaled by 1/M, the
// rule's colour divided by the result alpha when that exceeds 1/(M (2M)), limited to M, then
// rounded to the nearest integer by adding 2^23 in single precision. Pixels under a 0 mask bit
// keep their values. A missing region means no channel of interest. Tiled images run block by
// block through the tile-access list, blocks aligned to the first tiled image's grid.
#include <cmath>
#include <cstring>

#include "imp_alpha_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_ops.h"
#include "imp_region_internal.h"
#include "imp_tiles.h"

namespace {

constexpr imp::Source kAlpha{"impAlphaComposite", "impalpha"};

int32_t coiOf(const ImpImageHeader *im) {
  return im->roi != nullptr ? im->roi->coi : 0;
}

// Sample access of one channel (1-based) of an image's region.
struct Channel {
  uint8_t *data = nullptr;
  int64_t start = 0, row = 0, pixel = 0;
  int bytes = 1;
  Channel() = default;
  Channel(const ImpImageHeader *im, int32_t channel) {
    ImpRowAccessRecord r;
    ownInitRowAccess(&r, im, channel, im->roi);
    data = r.data, start = r.start, row = r.rowStep, pixel = r.pixelStep;
    bytes = imp::sampleBytes(im->depth);
  }
  uint8_t *at(int64_t x, int64_t y) const { return data + (start + y * row + x * pixel) * bytes; }
  uint32_t get(int64_t x, int64_t y) const {
    if (bytes == 1) return *at(x, y);
    uint16_t v;
    std::memcpy(&v, at(x, y), 2);
    return v;
  }
  void set(int64_t x, int64_t y, uint32_t v) const {
    if (bytes == 1)
      *at(x, y) = static_cast<uint8_t>(v);
    else {
      const uint16_t s = static_cast<uint16_t>(v);
      std::memcpy(at(x, y), &s, 2);
    }
  }
};

int32_t alphaChannelOf(const ImpImageHeader *im) {
  return im->alphaChannel != 0 ? im->alphaChannel : 1;
}

template <int Depth>
struct Rules {
  static constexpr uint32_t M = Depth == 8 ? 255 : 65535;
  static uint32_t mul(uint32_t x, uint32_t y) { return imp::alphaMul<Depth>(x, y); }
  static uint32_t colour(int type, uint32_t A, uint32_t B, uint32_t a, uint32_t b) {
    switch (type) {
      case 0:
        return std::min(M, A + mul(M - a, B));
      case 1:
        return mul(A, b);
      case 2:
        return mul(M - b, A);
      case 3:
        return std::min(M, mul(A, b) + mul(M - a, B));
      case 4:
        return std::min(M, mul(M - b, A) + mul(M - a, B));
      default:
        return std::min(M, A + B);
    }
  }
  static uint32_t alpha(int type, uint32_t a, uint32_t b) {
    switch (type) {
      case 0:
        return std::min(M, a + mul(M - a, b));
      case 1:
        return mul(a, b);
      case 2:
        return mul(M - b, a);
      case 3:
        return b;
      case 4:
        return std::min(M, mul(M - b, a) + mul(M - a, b));
      default:
        return std::min(M, a + b);
    }
  }
};

// Real arithmetic of the floating variant: single precision at depth 8, double at depth 16.
template <int Depth>
struct FloatRules {
  using R = std::conditional_t<Depth == 8, float, double>;
  static constexpr R M = Depth == 8 ? R(255) : R(65535);
  static R k() { return Depth == 8 ? R(0.003921568859368563f) : R(1.0 / 65535.0); }
  static R epsilon() { return Depth == 8 ? R(7.689351e-06f) : R(1.0 / 8589672450.0); }
  static void rule(int type, R A, R B, R a, R b, R *colour, R *alpha) {
    switch (type) {
      case 0:
        *colour = A + B * (1 - a), *alpha = a + b * (1 - a);
        break;
      case 1:
        *colour = A * b, *alpha = a * b;
        break;
      case 2:
        *colour = A * (1 - b), *alpha = a * (1 - b);
        break;
      case 3:
        *colour = A * b + B * (1 - a), *alpha = b;
        break;
      case 4:
        *colour = A * (1 - b) + B * (1 - a), *alpha = a * (1 - b) + b * (1 - a);
        break;
      default:
        *colour = A + B, *alpha = a + b;
        break;
    }
  }
  // Nearest integer by adding 2^23 in single precision, limited to M.
  static uint32_t toSample(R v) {
    const float f = static_cast<float>(v + R(8388608.0));
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return std::min<uint32_t>(bits & 0x7FFFFF, uint32_t(M));
  }
};

struct Images {
  const ImpImageHeader *srcA, *srcB, *dst, *alphaA, *alphaB, *alphaDst;
  int32_t type, premul, divide;
  int64_t width, height;
  imp::MaskLane mask;
  bool masked;
};

// The channels composited: (channel of A, of B, of the destination), 1-based.
struct ChannelSet {
  int32_t a[64], b[64], d[64];
  int n = 0;
};

ChannelSet channelsOf(const Images &im) {
  ChannelSet s;
  if (coiOf(im.dst) > 0) {
    s.a[0] = coiOf(im.srcA), s.b[0] = coiOf(im.srcB), s.d[0] = coiOf(im.dst), s.n = 1;
    return s;
  }
  for (int32_t c = 1; c <= im.dst->nChannels && s.n < 64; ++c) {
    if (c == im.dst->alphaChannel) continue;
    s.a[s.n] = c, s.b[s.n] = c, s.d[s.n] = c, ++s.n;
  }
  return s;
}

template <int Depth>
void integerWalk(const Images &im) {
  using Rl = Rules<Depth>;
  using T = std::conditional_t<Depth == 8, uint8_t, uint16_t>;
  const ChannelSet cs = channelsOf(im);
  const Channel aA(im.alphaA, alphaChannelOf(im.alphaA));
  const Channel aB = im.alphaB ? Channel(im.alphaB, alphaChannelOf(im.alphaB)) : Channel();
  const Channel aD = im.alphaDst ? Channel(im.alphaDst, im.alphaDst->alphaChannel) : Channel();
  // Samples of row y of a channel, stepped by its pixel step.
  auto row = [](const Channel &c, int64_t y) { return reinterpret_cast<T *>(c.at(0, y)); };
  for (int64_t y = 0; y < im.height; ++y) {
    const T *pa = row(aA, y), *pb = im.alphaB ? row(aB, y) : nullptr;
    for (int k = 0; k < cs.n; ++k) {
      const Channel A(im.srcA, cs.a[k]), B(im.srcB, cs.b[k]), D(im.dst, cs.d[k]);
      const T *ps = row(A, y), *qs = row(B, y);
      T *d = row(D, y);
      for (int64_t x = 0; x < im.width; ++x) {
        if (im.masked && !im.mask.bit(y, x)) continue;
        const uint32_t a = pa[x * aA.pixel], b = pb ? pb[x * aB.pixel] : Rl::M - a;
        const uint32_t sa = ps[x * A.pixel], sb = qs[x * B.pixel];
        const uint32_t va = im.premul ? sa : Rl::mul(sa, a), vb = im.premul ? sb : Rl::mul(sb, b);
        d[x * D.pixel] = static_cast<T>(Rl::colour(im.type, va, vb, a, b));
      }
    }
    if (im.alphaDst == nullptr) continue;
    T *d = row(aD, y);
    for (int64_t x = 0; x < im.width; ++x) {
      if (im.masked && !im.mask.bit(y, x)) continue;
      const uint32_t a = pa[x * aA.pixel], b = pb ? pb[x * aB.pixel] : Rl::M - a;
      d[x * aD.pixel] = static_cast<T>(Rl::alpha(im.type, a, b));
    }
  }
}

template <int Depth>
void floatWalk(const Images &im) {
  using F = FloatRules<Depth>;
  using R = typename F::R;
  const ChannelSet cs = channelsOf(im);
  const Channel aA(im.alphaA, alphaChannelOf(im.alphaA));
  const Channel aB = im.alphaB ? Channel(im.alphaB, alphaChannelOf(im.alphaB)) : Channel();
  const Channel aD = im.alphaDst ? Channel(im.alphaDst, im.alphaDst->alphaChannel) : Channel();
  auto alphas = [&](int64_t x, int64_t y, R *a, R *b) {
    const uint32_t ia = aA.get(x, y), ib = im.alphaB ? aB.get(x, y) : uint32_t(F::M) - ia;
    *a = R(ia) * F::k(), *b = R(ib) * F::k();
  };
  for (int64_t y = 0; y < im.height; ++y) {
    for (int k = 0; k < cs.n; ++k) {
      const Channel A(im.srcA, cs.a[k]), B(im.srcB, cs.b[k]), D(im.dst, cs.d[k]);
      for (int64_t x = 0; x < im.width; ++x) {
        if (im.masked && !im.mask.bit(y, x)) continue;
        R a, b, colour, alpha;
        alphas(x, y, &a, &b);
        const R pa = im.premul ? R(A.get(x, y)) : R(A.get(x, y)) * a;
        const R pb = im.premul ? R(B.get(x, y)) : R(B.get(x, y)) * b;
        F::rule(im.type, pa, pb, a, b, &colour, &alpha);
        if (im.divide && alpha > F::epsilon()) colour = std::min(colour / alpha, F::M);
        D.set(x, y, F::toSample(colour));
      }
    }
    if (im.alphaDst == nullptr) continue;
    for (int64_t x = 0; x < im.width; ++x) {
      if (im.masked && !im.mask.bit(y, x)) continue;
      R a, b, colour, alpha;
      alphas(x, y, &a, &b);
      F::rule(im.type, 0, 0, a, b, &colour, &alpha);
      aD.set(x, y, F::toSample(alpha * F::M));
    }
  }
}

template <int Depth>
void vectorWalk(const Images &im) {
  const ChannelSet cs = channelsOf(im);
  const Channel aA(im.alphaA, alphaChannelOf(im.alphaA));
  const Channel aB = im.alphaB ? Channel(im.alphaB, alphaChannelOf(im.alphaB)) : Channel();
  const Channel aD = im.alphaDst ? Channel(im.alphaDst, im.alphaDst->alphaChannel) : Channel();
  for (int64_t y = 0; y < im.height; ++y) {
    for (int k = 0; k < cs.n; ++k) {
      const Channel A(im.srcA, cs.a[k]), B(im.srcB, cs.b[k]), D(im.dst, cs.d[k]);
      imp::ownAlphaColorRowMmx<Depth>(im.type, A.at(0, y), aA.at(0, y), B.at(0, y),
                                      im.alphaB ? aB.at(0, y) : nullptr, D.at(0, y), im.width,
                                      im.premul);
    }
    if (im.alphaDst != nullptr)
      imp::ownAlphaAlphaRowMmx<Depth>(im.type, aA.at(0, y), im.alphaB ? aB.at(0, y) : nullptr,
                                      aD.at(0, y), im.width);
  }
}

bool planar(const ImpImageHeader *im) {
  return im == nullptr || im->dataOrder == IMP_DATA_ORDER_PLANE;
}

// Lowers the common size to the image's region size.
void clipToRoiSize(const ImpImageHeader *im, int64_t *w, int64_t *h) {
  int32_t rh, rw;
  if (!ownGetRoiSize(im, &rh, &rw, 1)) rh = rw = 0;
  *w = std::min<int64_t>(*w, rw), *h = std::min<int64_t>(*h, rh);
}

struct Check {
  bool failed;
  const char *text;
};

// Reports the first failing check of a list; true when one failed.
bool firstFailure(std::initializer_list<Check> checks) {
  for (const Check &c : checks)
    if (c.failed) {
      kAlpha.report(IMP_STS_BAD_ARG, c.text, __LINE__);
      return true;
    }
  return false;
}

int32_t composite(ImpImageHeader *srcA, ImpImageHeader *srcB, ImpImageHeader *dst, int32_t type,
                  ImpImageHeader *alphaImageA, ImpImageHeader *alphaImageB,
                  ImpImageHeader *alphaImageDst, int32_t premul, int32_t divide) {
  int64_t w = INT32_MAX, h = INT32_MAX;
  if (dst == nullptr) return kAlpha.report(IMP_STS_BAD_ARG, "dstImage==0", __LINE__);
  if (int32_t st = kAlpha.checkHeader(dst, __LINE__)) return st;
  clipToRoiSize(dst, &w, &h);
  if (srcA == nullptr) return kAlpha.report(IMP_STS_BAD_ARG, "srcImageA==0", __LINE__);
  if (int32_t st = kAlpha.checkHeader(srcA, __LINE__)) return st;
  clipToRoiSize(srcA, &w, &h);
  if (srcB == nullptr) return kAlpha.report(IMP_STS_BAD_ARG, "srcImageB==0", __LINE__);
  if (int32_t st = kAlpha.checkHeader(srcB, __LINE__)) return st;
  clipToRoiSize(srcB, &w, &h);
  const int32_t cd = coiOf(dst), ca = coiOf(srcA), cb = coiOf(srcB);
  auto colours = [](const ImpImageHeader *im) { return im->nChannels - (im->alphaChannel != 0); };
  if (firstFailure({
          {dst->alphaChannel > 0 && cd == dst->alphaChannel,
           "dstImage->alphaChannel > 0 && dstImage->roi->coi == dstImage->alphaChannel"},
          {srcA->alphaChannel > 0 && ca == srcA->alphaChannel,
           "srcImageA->alphaChannel > 0 && srcImageA->roi->coi == srcImageA->alphaChannel"},
          {srcB->alphaChannel > 0 && cb == srcB->alphaChannel,
           "srcImageB->alphaChannel > 0 && srcImageB->roi->coi == srcImageB->alphaChannel"},
          {dst->depth != 8 && dst->depth != 16, "dstImage->depth != 8 && dstImage->depth != 16"},
          {srcA->depth != dst->depth, "srcImageA->depth != dstImage->depth"},
          {srcB->depth != dst->depth, "srcImageB->depth != dstImage->depth"},
          {cd > 0 && srcA->roi == nullptr, "dstImage->roi->coi > 0 && srcImageA->roi == 0"},
          {cd > 0 && srcA->roi != nullptr && ca == 0,
           "dstImage->roi->coi > 0 && srcImageA->roi->coi == 0"},
          {ca > 0 && dst->roi == nullptr, "srcImageA->roi->coi > 0 && dstImage->roi == 0"},
          {ca > 0 && dst->roi != nullptr && cd == 0,
           "srcImageA->roi->coi > 0 && dstImage->roi->coi == 0"},
          {cd > 0 && srcB->roi == nullptr, "dstImage->roi->coi > 0 && srcImageB->roi == 0"},
          {cd > 0 && srcB->roi != nullptr && cb == 0,
           "dstImage->roi->coi > 0 && srcImageB->roi->coi == 0"},
          {cb > 0 && dst->roi == nullptr, "srcImageB->roi->coi > 0 && dstImage->roi == 0"},
          {cb > 0 && dst->roi != nullptr && cd == 0,
           "srcImageB->roi->coi > 0 && dstImage->roi->coi == 0"},
          {cd == 0 && colours(srcA) != colours(dst),
           "(srcImageA->nChannels - (srcImageA->alphaChannel != 0)) != (dstImage->nChannels - "
           "(dstImage->alphaChannel != 0))"},
          {cd == 0 && colours(srcB) != colours(dst),
           "(srcImageB->nChannels - (srcImageB->alphaChannel != 0)) != (dstImage->nChannels - "
           "(dstImage->alphaChannel != 0))"},
      }))
    return IMP_STS_BAD_ARG;
  if (alphaImageA == nullptr) {
    if (firstFailure({{srcA->alphaChannel < 1, "srcImageA->alphaChannel < 1"},
                      {srcA->alphaChannel > srcA->nChannels,
                       "srcImageA->alphaChannel > srcImageA->nChannels"}}))
      return IMP_STS_BAD_ARG;
  } else {
    if (int32_t st = kAlpha.checkHeader(alphaImageA, __LINE__)) return st;
    clipToRoiSize(alphaImageA, &w, &h);
    if (firstFailure({{alphaImageA->depth != dst->depth, "alphaImageA->depth != dstImage->depth"}}))
      return IMP_STS_BAD_ARG;
  }
  if (alphaImageB != nullptr) {
    if (int32_t st = kAlpha.checkHeader(alphaImageB, __LINE__)) return st;
    clipToRoiSize(alphaImageB, &w, &h);
    if (firstFailure({{alphaImageB->depth != dst->depth, "alphaImageB->depth != dstImage->depth"}}))
      return IMP_STS_BAD_ARG;
  }
  if (alphaImageDst != nullptr) {
    if (int32_t st = kAlpha.checkHeader(alphaImageDst, __LINE__)) return st;
    clipToRoiSize(alphaImageDst, &w, &h);
    if (firstFailure(
            {{alphaImageDst->depth != dst->depth, "alphaImageDst->depth != dstImage->depth"},
             {alphaImageDst->alphaChannel < 1, "alphaImageDst->alphaChannel < 1"},
             {alphaImageDst->alphaChannel > alphaImageDst->nChannels,
              "alphaImageDst->alphaChannel > alphaImageDst->nChannels"}}))
      return IMP_STS_BAD_ARG;
  }
  if (firstFailure({{type < 0 || type > 5,
                     "compositeType != 0 && compositeType != 1 && compositeType != 2 && "
                     "compositeType != 3 && compositeType != 4 && compositeType != 5"},
                    {premul != 0 && premul != 1, "premulAlpha != 0 && premulAlpha != 1"},
                    {divide != 0 && divide != 1, "divideMode != 0 && divideMode != 1"}}))
    return IMP_STS_BAD_ARG;

  // Alpha sources as chosen.
  ImpImageHeader *alphaA = alphaImageA != nullptr ? alphaImageA : srcA;
  ImpImageHeader *alphaB = alphaImageB != nullptr                                ? alphaImageB
                           : (alphaImageA == nullptr && srcB->alphaChannel != 0) ? srcB
                                                                                 : nullptr;
  // Masks of the images, combined when there are several.
  ImpImageHeader *masks[6];
  int nm = 0;
  for (ImpImageHeader *im : {dst, srcA, srcB, alphaImageDst, alphaImageA, alphaImageB})
    if (im != nullptr && im->maskROI != nullptr) masks[nm++] = im->maskROI;
  for (int i = 0; i < nm; ++i) clipToRoiSize(masks[i], &w, &h);
  if (w < 1 || h < 1) return 0;
  imp::ImageOwner combined;
  ImpImageHeader *mask = nm > 0 ? masks[0] : nullptr;
  if (nm > 1) {
    combined.reset(impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GRAY", "G", 1, masks[0]->origin, 4,
                                        int32_t(w), int32_t(h), nullptr, nullptr, nullptr,
                                        nullptr));
    if (combined.get() != nullptr) impAllocateImage(combined.get(), 0, 0);
    if (combined.get() == nullptr || combined->imageData == nullptr)
      return kAlpha.report(IMP_STS_NO_MEMORY, "No working memory", __LINE__);
    for (int i = 1; i < nm; ++i)  // the first two together, then each further mask
      if (ownAndImages(i == 1 ? masks[0] : combined.get(), masks[i], combined.get()) != 0)
        return kAlpha.report(IMP_STS_BACKTRACE, "Bad masks for images", __LINE__);
    mask = combined.get();
  }

  const ImpImageHeader *all[6] = {dst, alphaImageDst, srcA, srcB, alphaA, alphaB};
  if (!ownAnyTiled(all, 6)) {
    ownAlphaCompositeRect(srcA, srcB, dst, type, alphaA, alphaB, alphaImageDst, premul, divide, w,
                          h, mask);
    return 0;
  }
  // Tiled: blocks of the first tiled image's tile size, aligned to its grid.
  const ImpImageHeader *first = nullptr;
  for (const ImpImageHeader *im : all)
    if (im != nullptr && im->tileInfo != nullptr && first == nullptr) first = im;
  const int32_t tw = first->tileInfo->width, th = first->tileInfo->height;
  const int64_t fx = first->roi ? std::max(0, first->roi->xOffset) : 0,
                fy = first->roi ? std::max(0, first->roi->yOffset) : 0;
  ImpTileAccessList *list = ownCreateTileAccess(7, tw, th);
  if (list == nullptr) return kAlpha.report(IMP_STS_NO_MEMORY, "No working memory", __LINE__);
  const int32_t iDst = ownAddTileAccessImage(list, dst, IMP_TILE_WRITE);
  const int32_t iAlphaDst = ownAddTileAccessImage(list, alphaImageDst, IMP_TILE_WRITE);
  const int32_t iA = ownAddTileAccessImage(list, srcA, IMP_TILE_READ);
  const int32_t iB = ownAddTileAccessImage(list, srcB, IMP_TILE_READ);
  const int32_t iAlphaA = ownAddTileAccessImage(list, alphaA, IMP_TILE_READ);
  const int32_t iAlphaB = ownAddTileAccessImage(list, alphaB, IMP_TILE_READ);
  const int32_t iMask = ownAddTileAccessImage(list, mask, IMP_TILE_READ);
  int32_t status = ownGetTileAccessStatus(list);
  for (int64_t y = 0; y < h && status == 0;) {
    const int64_t bh = std::min<int64_t>(h - y, th - (fy + y) % th);
    for (int64_t x = 0; x < w && status == 0;) {
      const int64_t bw = std::min<int64_t>(w - x, tw - (fx + x) % tw);
      ownSetTileAccessRect(list, int32_t(x), int32_t(y), int32_t(bw), int32_t(bh));
      ImpImageHeader *vd = ownGetTileAccessView(list, iDst),
                     *vad = ownGetTileAccessView(list, iAlphaDst);
      ImpImageHeader *va = ownGetTileAccessView(list, iA), *vb = ownGetTileAccessView(list, iB);
      ImpImageHeader *vaa = ownGetTileAccessView(list, iAlphaA),
                     *vab = ownGetTileAccessView(list, iAlphaB);
      ImpImageHeader *vm = ownGetTileAccessView(list, iMask);
      status = ownGetTileAccessStatus(list);
      if (status == 0)
        ownAlphaCompositeRect(va, vb, vd, type, vaa, vab, vad, premul, divide, bw, bh, vm);
      ownReleaseTileAccessViews(list);
      if (status == 0) status = ownGetTileAccessStatus(list);
      x += bw;
    }
    y += bh;
  }
  ownDestroyTileAccess(list);
  if (status == IMP_STS_NO_TILE)
    return kAlpha.report(IMP_STS_NO_TILE, "ERROR in Tiling callBack", __LINE__);
  if (status == IMP_STS_NO_MEMORY)
    return kAlpha.report(IMP_STS_NO_MEMORY, "No working memory", __LINE__);
  if (status != 0 && kAlpha.report(IMP_STS_BACKTRACE, "Internal tiling error", __LINE__) == 0)
    return kAlpha.report(IMP_STS_BAD_STATE, "Internal tiling error", __LINE__);
  return status;
}

}  // namespace

void ownAlphaCompositeRect(const ImpImageHeader *srcA, const ImpImageHeader *srcB,
                           const ImpImageHeader *dst, int32_t type, const ImpImageHeader *alphaA,
                           const ImpImageHeader *alphaB, const ImpImageHeader *alphaDst,
                           int32_t premul, int32_t divide, int64_t width, int64_t height,
                           const ImpImageHeader *mask) {
  if (type < 0 || type > 5) return;
  Images im{srcA,   srcB,   dst,   alphaA, alphaB, alphaDst, type,
            premul, divide, width, height, {},     false};
  im.masked = imp::maskLaneOf(mask, &im.mask);
  const bool vector = !im.masked && planar(srcA) && planar(srcB) && planar(dst) && planar(alphaA) &&
                      planar(alphaB) && planar(alphaDst);
  const bool eight = dst->depth == 8;
  if (divide == 1) return eight ? floatWalk<8>(im) : floatWalk<16>(im);
  if (vector) return eight ? vectorWalk<8>(im) : vectorWalk<16>(im);
  return eight ? integerWalk<8>(im) : integerWalk<16>(im);
}

void impAlphaComposite(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB,
                       ImpImageHeader *dstImage, int32_t compositeType, ImpImageHeader *alphaImageA,
                       ImpImageHeader *alphaImageB, ImpImageHeader *alphaImageDst,
                       int32_t premulAlpha, int32_t divideMode) {
  ownSetErrorStatus(0);
  composite(srcImageA, srcImageB, dstImage, compositeType, alphaImageA, alphaImageB, alphaImageDst,
            premulAlpha, divideMode);
}
