// Threshold (source unit "..\_Src\impthres"): every processed sample becomes the largest value
// of the destination's depth when it is at least the threshold, else the smallest (1-bit: bit
// 1 or 0; 8S 127 or -128; 16S 32767 or -32768; 32S the 32-bit limits). Samples compare as their
// own kind, signed or unsigned, with the 32-bit threshold.
//
// Row kernels: 8U to 1U compares 16 samples at once (SSE2) and packs them into two bytes, most
// significant bit first, 64 bits per store; the same-depth kernels run as plain loops the
// compiler vectorises. Masked forms write only where the mask bit is 1. Tiled images run the
// untiled form block by block on views of the tiles.
#include <emmintrin.h>

#include "bit_rows_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_region_internal.h"
#include "imp_tiles.h"

namespace {

using imp::Lane;
using imp::MaskLane;

constexpr imp::Source kThr{"impThreshold", "..\\_Src\\impthres"};

// Bit order of a byte reversed: SSE2 packs sample 0 into bit 0, rows want it in bit 7.
constexpr auto kReverse = [] {
  struct {
    uint8_t v[256];
  } t{};
  for (int i = 0; i < 256; ++i)
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) t.v[i] |= uint8_t(0x80 >> b);
  return t;
}();

// 64 comparison bits of n <= 64 contiguous 8-bit samples, most significant first.
inline uint64_t compare8(const uint8_t *s, int64_t n, uint8_t t) {
  uint64_t bits = 0;
  int64_t i = 0;
  const __m128i vt = _mm_set1_epi8(static_cast<char>(t));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
    const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, vt), v));
    bits |= uint64_t{kReverse.v[m & 0xFF]} << (56 - i);
    bits |= uint64_t{kReverse.v[(m >> 8) & 0xFF]} << (48 - i);
  }
  for (; i < n; ++i) bits |= uint64_t{s[i] >= t} << (63 - i);
  return bits;
}

template <class S>
inline S load(const uint8_t *p) {
  S v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Bits of n <= 64 samples of any kind at a stride.
template <class S>
inline uint64_t compareAny(const uint8_t *s, int64_t stride, int64_t n, int32_t t) {
  uint64_t bits = 0;
  for (int64_t i = 0; i < n; ++i)
    bits |= uint64_t{int64_t{load<S>(s + i * stride)} >= t} << (63 - i);
  return bits;
}

template <class S>
void rowsTo1u(const Lane &src, const Lane &dst, const MaskLane *mask, int64_t width, int64_t height,
              int32_t t) {
  const bool fast8 = sizeof(S) == 1 && S(-1) > S(0) && src.pixelStep == 1 && t >= 0 && t <= 255;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t *s = src.first + y * src.rowStep;
    uint8_t *d = dst.first + y * dst.rowStep;
    const uint8_t *m = mask ? mask->first + y * mask->rowStep : nullptr;
    for (int64_t done = 0; done < width;) {
      const int64_t q = dst.bitOffset + done;
      const int64_t len = (q & 7) ? std::min<int64_t>(width - done, 8 - (q & 7))
                                  : std::min<int64_t>(width - done, 64);
      const uint8_t *sp = s + done * src.pixelStep;
      uint64_t bits =
          fast8 ? compare8(sp, len, uint8_t(t)) : compareAny<S>(sp, src.pixelStep, len, t);
      if (m != nullptr) {
        const uint64_t mv = imp::loadBits(m, mask->bitOffset + done, mask->bitOffset + width);
        bits = (imp::loadBits(d, q, dst.bitOffset + width) & ~mv) | (bits & mv);
      }
      imp::storeBits(d, q, len, bits);
      done += len;
    }
  }
}

template <class S, class D>
void rowsToDepth(const Lane &src, const Lane &dst, const MaskLane *mask, int32_t channels,
                 int64_t width, int64_t height, int32_t t, D hi, D lo) {
  for (int32_t c = 0; c < channels; ++c)
    for (int64_t y = 0; y < height; ++y) {
      const uint8_t *s = src.first + c * src.channelStep + y * src.rowStep;
      uint8_t *d = dst.first + c * dst.channelStep + y * dst.rowStep;
      if (mask == nullptr && src.pixelStep == sizeof(S) && dst.pixelStep == sizeof(D)) {
        for (int64_t x = 0; x < width; ++x) {  // contiguous runs: the loop vectorises
          const D v = int64_t{load<S>(s + x * sizeof(S))} >= t ? hi : lo;
          std::memcpy(d + x * sizeof(D), &v, sizeof v);
        }
        continue;
      }
      for (int64_t x = 0; x < width; ++x) {
        if (mask != nullptr && !mask->bit(y, x)) continue;
        const D v = int64_t{load<S>(s + x * src.pixelStep)} >= t ? hi : lo;
        std::memcpy(d + x * dst.pixelStep, &v, sizeof v);
      }
    }
}

template <class S>
void thresholdFrom(const Lane &src, const Lane &dst, uint32_t dstDepth, const MaskLane *mask,
                   int32_t channels, int64_t width, int64_t height, int32_t t) {
  switch (dstDepth) {
    case IMP_DEPTH_1U:
      return rowsTo1u<S>(src, dst, mask, width, height, t);
    case IMP_DEPTH_8U:
      return rowsToDepth<S, uint8_t>(src, dst, mask, channels, width, height, t, 255, 0);
    case IMP_DEPTH_8S:
      return rowsToDepth<S, int8_t>(src, dst, mask, channels, width, height, t, 127, -128);
    case IMP_DEPTH_16U:
      return rowsToDepth<S, uint16_t>(src, dst, mask, channels, width, height, t, 65535, 0);
    case IMP_DEPTH_16S:
      return rowsToDepth<S, int16_t>(src, dst, mask, channels, width, height, t, 32767, -32768);
    default:
      return rowsToDepth<S, int32_t>(src, dst, mask, channels, width, height, t, INT32_MAX,
                                     INT32_MIN);
  }
}

int32_t thresholdImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t t);

int32_t thresholdTiled(ImpImageHeader *src, ImpImageHeader *dst, int32_t t, int32_t width,
                       int32_t height) {
  const ImpWalkImage images[2] = {{src, IMP_TILE_READ}, {dst, IMP_TILE_WRITE}};
  int32_t failed = -1;
  const int32_t st = ownWalkTiles(
      images, 2, width, height,
      [t](ImpImageHeader *const *v) { return thresholdImage(v[0], v[1], t); }, &failed);
  if (st == IMP_STS_NO_TILE)
    return kThr.report(IMP_STS_BAD_ARG,
                       failed == 0 ? "(srcImage->tileInfo->tileData == NULL)"
                                   : "(dstImage->tileInfo->tileData == NULL)",
                       failed == 0 ? 411 : 382);
  return st;
}

// Threshold limits of the source's kind: {depth, limit, above?, text, line}.
struct Limit {
  uint32_t depth;
  int32_t limit;
  bool above;
  const char *text;
  int32_t line;
};
constexpr Limit kLimits[] = {
    {IMP_DEPTH_8S, 127, true, "((srcImage->depth == (0x80000000| 8)) && (Threshold > 127))", 1501},
    {IMP_DEPTH_8S, -128, false, "((srcImage->depth == (0x80000000| 8)) && (Threshold < -128))",
     1503},
    {IMP_DEPTH_8U, 255, true, "((srcImage->depth == 8) && (Threshold > 255))", 1505},
    {IMP_DEPTH_8U, 0, false, "((srcImage->depth == 8) && (Threshold < 0))", 1507},
    {IMP_DEPTH_16S, 32767, true, "((srcImage->depth == (0x80000000|16)) && (Threshold > 32767))",
     1509},
    {IMP_DEPTH_16S, -32768, false, "((srcImage->depth == (0x80000000|16)) && (Threshold < -32768))",
     1511},
    {IMP_DEPTH_16U, 65535, true, "((srcImage->depth == 16) && (Threshold > 65535))", 1513},
    {IMP_DEPTH_16U, 0, false, "((srcImage->depth == 16) && (Threshold < 0))", 1515},
};

int32_t thresholdImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t t) {
  if (int32_t st = kThr.checkHeader(src, 1478)) return st;
  if (int32_t st = kThr.checkHeader(dst, 1479)) return st;
  if (src->depth == IMP_DEPTH_32F)
    return kThr.report(IMP_STS_BAD_ARG, "(srcImage->depth == 32)", 1480);
  if (dst->depth == IMP_DEPTH_32F)
    return kThr.report(IMP_STS_BAD_ARG, "(dstImage->depth == 32)", 1482);
  if (src->depth == IMP_DEPTH_1U)
    return kThr.report(IMP_STS_BAD_ARG, "(srcImage->depth == 1)", 1484);
  if (src->dataOrder != dst->dataOrder && src->nChannels != 1 && dst->nChannels != 1)
    return kThr.report(IMP_STS_BAD_ARG,
                       "((srcImage->dataOrder != dstImage->dataOrder)&& ((srcImage->nChannels != "
                       "1)&&(dstImage->nChannels != 1)))",
                       1486);
  if (src->origin != dst->origin)
    return kThr.report(IMP_STS_BAD_ARG, "(srcImage->origin != dstImage->origin)", 1489);
  if (src->maskROI != nullptr && src->origin != src->maskROI->origin)
    return kThr.report(IMP_STS_BAD_ARG, "(srcImage->origin != srcImage->maskROI->origin)", 1493);
  if (dst->maskROI != nullptr && dst->origin != dst->maskROI->origin)
    return kThr.report(IMP_STS_BAD_ARG, "(dstImage->origin != dstImage->maskROI->origin)", 1497);
  for (const Limit &l : kLimits)
    if (src->depth == l.depth && (l.above ? t > l.limit : t < l.limit))
      return kThr.report(IMP_STS_BAD_ARG, l.text, l.line);
  for (const ImpImageHeader *im : {src, dst})
    if (im->nChannels == 1 && im->alphaChannel != 0 && !imp::hasCoi(*im)) return 0;
  const bool masked = src->maskROI != nullptr || dst->maskROI != nullptr;
  if (imp::processedChannels(*src) != imp::processedChannels(*dst))
    return kThr.report(IMP_STS_BAD_ARG, "(srcChannels != dstChannels)", masked ? 838 : 225);

  imp::ImageOwner combined;
  ImpImageHeader *mask = dst->maskROI != nullptr ? dst->maskROI : src->maskROI;
  if (src->maskROI != nullptr && dst->maskROI != nullptr && src->maskROI != dst->maskROI) {
    int32_t mh, mw;
    if (!ownGetCommonRoiSize2(src->maskROI, dst->maskROI, &mh, &mw, 1)) return 0;
    combined.reset(impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GREY", "GREY", 1, 0, 8, mw, mh,
                                        nullptr, nullptr, nullptr, nullptr));
    if (combined.get() == nullptr) return kThr.report(IMP_STS_BAD_ARG, "(msk == NULL)", 846);
    impAllocateImage(combined.get(), 1, 0);
    if (combined->imageData == nullptr)
      return kThr.report(IMP_STS_BAD_ARG, "(msk->imageData == NULL)", 902);
    if (ownAndImages(src->maskROI, dst->maskROI, combined.get()) != 0)
      return kThr.report(IMP_STS_BACKTRACE, "error_impAnd", 907);
    mask = combined.get();
  }
  int32_t height, width;
  if (!ownGetCommonRoiSize3(src, dst, mask, &height, &width, 1)) return 0;
  if (src->tileInfo != nullptr || dst->tileInfo != nullptr)
    return thresholdTiled(src, dst, t, width, height);
  Lane s, d;
  if (!imp::laneOf(*src, &s) || !imp::laneOf(*dst, &d)) return 0;
  MaskLane m;
  const MaskLane *mp = imp::maskLaneOf(mask, &m) ? &m : nullptr;
  const int32_t channels = imp::processedChannels(*dst);
  switch (src->depth) {
    case IMP_DEPTH_8U:
      thresholdFrom<uint8_t>(s, d, dst->depth, mp, channels, width, height, t);
      break;
    case IMP_DEPTH_8S:
      thresholdFrom<int8_t>(s, d, dst->depth, mp, channels, width, height, t);
      break;
    case IMP_DEPTH_16U:
      thresholdFrom<uint16_t>(s, d, dst->depth, mp, channels, width, height, t);
      break;
    case IMP_DEPTH_16S:
      thresholdFrom<int16_t>(s, d, dst->depth, mp, channels, width, height, t);
      break;
    default:
      thresholdFrom<int32_t>(s, d, dst->depth, mp, channels, width, height, t);
      break;
  }
  return 0;
}

}  // namespace

void impThreshold(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t Threshold) {
  ownSetErrorStatus(0);
  thresholdImage(srcImage, dstImage, Threshold);
}
