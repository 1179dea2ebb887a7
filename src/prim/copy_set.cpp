// Copy and set (source unit "impsce"): impCopy copies the source region into the destination
// region, channel-of-interest aware, through masks and across tiles; impSet fills a region
// with one value limited to the depth's range, through a mask.
//
// Kernels: whole rows are moved with memcpy (planar order, or pixel order with every channel
// processed and equal channel counts); otherwise the processed channels of each pixel (they lie
// next to each other in pixel order). Masked kernels read the mask a byte at a time and skip
// eight clear pixels or move eight set ones at once, testing single bits only in mixed bytes.
// 1-bit images are combined 64 bits at a time at any bit offsets: a masked 1-bit copy makes
// every destination bit whose mask bit is 1 take the source bit (the others keep theirs); an
// unmasked copy at one bit phase moves its whole bytes with memcpy, runs of rows that share
// their row step as one block (the bytes outside the span put back); at different phases 16
// shifted bytes at a time.
// Tiled images run the untiled form block by block on views of the tiles.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

#include "bit_rows_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_region_internal.h"
#include "imp_tiles.h"

namespace {

using imp::Lane;
using imp::MaskLane;

constexpr imp::Source kCopy{"impCopy", "impsce"};
constexpr imp::Source kSet{"impSet", "impsce"};

// Moves `size` bytes of each of n pixels (strides in bytes), from a source or, with a source
// stride of 0, a value. Contiguous rows move as one block; a contiguous fill doubles the filled
// part with each copy.
inline void movePixels(uint8_t *d, int64_t dStride, const uint8_t *s, int64_t sStride, int64_t n,
                       int64_t size) {
  if (dStride == size && sStride == size) {
    std::memcpy(d, s, size_t(n * size));
    return;
  }
  if (dStride == size && sStride == 0 && n > 0) {
    const int64_t total = n * size;
    std::memcpy(d, s, size_t(size));
    for (int64_t filled = size; filled < total; filled *= 2)
      std::memcpy(d + filled, d, size_t(std::min(filled, total - filled)));
    return;
  }
  for (int64_t i = 0; i < n; ++i) std::memcpy(d + i * dStride, s + i * sStride, size_t(size));
}

// One row of n pixels through the mask row (bit offset mo): pixels whose bit is 1 are moved.
// A fill passes sStride 0 and a value of `size` bytes.
void maskedRow(uint8_t *d, int64_t dStride, const uint8_t *s, int64_t sStride, int64_t n,
               int64_t size, const uint8_t *mrow, int64_t mo) {
  for (int64_t x = 0; x < n;) {
    const int64_t bit = mo + x;
    if ((bit & 7) == 0 && x + 8 <= n) {
      const uint8_t byte = mrow[bit >> 3];
      if (byte == 0xFF) movePixels(d + x * dStride, dStride, s + x * sStride, sStride, 8, size);
      if (byte == 0xFF || byte == 0) {
        x += 8;
        continue;
      }
    }
    if ((mrow[bit >> 3] >> (7 - (bit & 7))) & 1)
      std::memcpy(d + x * dStride, s + x * sStride, size_t(size));
    ++x;
  }
}

// Rows of the region: each processed channel's samples (planar) or each pixel's processed
// channels (pixel order), through the mask when there is one. A fill has src.first pointing
// at the value with zero steps.
void moveRegion(const Lane &src, const Lane &dst, const MaskLane *mask, int32_t channels,
                int32_t bytes, bool planar, int64_t width, int64_t height) {
  const int32_t passes = planar ? channels : 1;
  const int64_t size = planar ? bytes : int64_t{bytes} * channels;
  for (int32_t c = 0; c < passes; ++c)
    for (int64_t y = 0; y < height; ++y) {
      const uint8_t *s = src.first + c * src.channelStep + y * src.rowStep;
      uint8_t *d = dst.first + c * dst.channelStep + y * dst.rowStep;
      if (mask != nullptr)
        maskedRow(d, dst.pixelStep, s, src.pixelStep, width, size, mask->first + y * mask->rowStep,
                  mask->bitOffset);
      else
        movePixels(d, dst.pixelStep, s, src.pixelStep, width, size);
    }
}

// An unmasked 1-bit copy of n bits whose source and destination share their bit phase: the
// whole bytes by memcpy, the partial bytes at both ends merged under their masks.
void copyBitsSamePhase(uint8_t *d, int64_t dOff, const uint8_t *s, int64_t sOff, int64_t n) {
  uint8_t *to = d + (dOff >> 3);
  const uint8_t *from = s + (sOff >> 3);
  auto merge = [&](int64_t at, int64_t lo, int64_t hi) {  // bits lo .. hi - 1 of byte at
    const auto mask = static_cast<uint8_t>((0xFFu >> lo) & (0xFFu << (8 - hi)));
    to[at] = static_cast<uint8_t>((to[at] & ~mask) | (from[at] & mask));
  };
  const int64_t phase = dOff & 7, end = phase + n;
  if (end <= 8) {
    merge(0, phase, end);
    return;
  }
  int64_t first = 0;
  if (phase != 0) merge(first++, phase, 8);
  const int64_t whole = end / 8 - first;
  if (whole > 0) std::memcpy(to + first, from + first, size_t(whole));
  if (end % 8 != 0) merge(end / 8, 0, end % 8);
}

// An unmasked 1-bit copy of n bits between different bit phases. The bits up to the
// destination's first byte boundary and those after the last whole vector go through
// combineBitRow; between them 16 destination bytes at a time, each its source byte shifted
// left by the phase difference with the next source byte's top bits below it (shifts of 16-bit
// lanes, the bits crossing between bytes masked off), reading only source bytes that hold bits
// of the span.
void copyBitsShifted(uint8_t *d, int64_t dOff, const uint8_t *s, int64_t sOff, int64_t n) {
  auto copy = [](uint64_t, uint64_t sv, uint64_t, uint64_t) { return sv; };
  const int64_t head = std::min<int64_t>(n, (8 - (dOff & 7)) & 7);
  if (head > 0) imp::combineBitRow(d, dOff, head, s, sOff, nullptr, 0, nullptr, 0, copy);
  const int sh = static_cast<int>((sOff + head) & 7);
  uint8_t *to = d + ((dOff + head) >> 3);
  const int64_t fromByte = (sOff + head) >> 3;
  const uint8_t *from = s + fromByte;
  int64_t k = 0;
  if (sh != 0) {
    const __m128i hiMask = _mm_set1_epi8(static_cast<char>(0xFF << sh));
    const __m128i loMask = _mm_set1_epi8(static_cast<char>(0xFF >> (8 - sh)));
    const __m128i left = _mm_cvtsi32_si128(sh), right = _mm_cvtsi32_si128(8 - sh);
    // Destination bytes k .. k + 15, all inside the span, need source bytes k .. k + 16, the
    // last of them starting before the span's end.
    for (; head + 8 * (k + 16) <= n && 8 * (fromByte + k + 16) < sOff + n; k += 16) {
      const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + k));
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + k + 1));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(to + k),
                       _mm_or_si128(_mm_and_si128(_mm_sll_epi16(v0, left), hiMask),
                                    _mm_and_si128(_mm_srl_epi16(v1, right), loMask)));
    }
  }
  const int64_t done = head + 8 * k;
  if (done < n)
    imp::combineBitRow(d, dOff + done, n - done, s, sOff + done, nullptr, 0, nullptr, 0, copy);
}

// The same copy over rows. Where both images step by the same bytes from a byte boundary and
// at most 16 bytes of each row lie past the span, a run of rows is one block copy: the last 16
// bytes before each next row are read from the destination first and written back after the
// copy, the span's bytes among them taken from the source (the partial byte under its mask).
// The run's last row, and any other case, go row by row.
void copyRowsSamePhase(const Lane &d, const Lane &s, int64_t width, int64_t height) {
  constexpr int64_t kRun = 64;
  const int64_t whole = width / 8, step = d.rowStep, kept = step - whole;
  int64_t y0 = 0;
  if (step == s.rowStep && (d.bitOffset & 7) == 0 && kept >= 1 && kept <= 16 && step >= 16) {
    // Per byte of the 16 before the next row: 0xFF where the destination keeps its bits.
    alignas(16) uint8_t keep[16];
    for (int64_t i = 0; i < 16; ++i) {
      const int64_t at = step - 16 + i;
      keep[i] = at < whole ? 0 : at > whole ? 0xFF : static_cast<uint8_t>(0xFFu >> (width & 7));
    }
    const __m128i keepMask = _mm_load_si128(reinterpret_cast<const __m128i *>(keep));
    __m128i saved[kRun];
    uint8_t *to = d.first + (d.bitOffset >> 3);
    const uint8_t *from = s.first + (s.bitOffset >> 3);
    for (int64_t n = 0; y0 + 1 < height; y0 += n - 1) {
      n = std::min(kRun, height - y0);  // rows 0 .. n - 2 by block
      uint8_t *run = to + y0 * step;
      const uint8_t *source = from + y0 * step;
      for (int64_t k = 0; k + 1 < n; ++k)
        saved[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(run + (k + 1) * step - 16));
      std::memcpy(run, source, size_t((n - 2) * step + whole));
      for (int64_t k = 0; k + 1 < n; ++k) {
        const __m128i src =
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + (k + 1) * step - 16));
        _mm_storeu_si128(
            reinterpret_cast<__m128i *>(run + (k + 1) * step - 16),
            _mm_or_si128(_mm_andnot_si128(keepMask, src), _mm_and_si128(keepMask, saved[k])));
      }
    }
  }
  for (int64_t y = y0; y < height; ++y)
    copyBitsSamePhase(d.first + y * d.rowStep, d.bitOffset, s.first + y * s.rowStep, s.bitOffset,
                      width);
}

// Region height and width of the images and the mask; false when one has no region.
bool commonSize(const ImpImageHeader *a, const ImpImageHeader *b, const ImpImageHeader *mask,
                int32_t *height, int32_t *width) {
  return ownGetCommonRoiSize3(a, b, mask, height, width, 1) != 0;
}

int32_t copyTiled(ImpImageHeader *src, ImpImageHeader *dst, int32_t width, int32_t height) {
  const ImpWalkImage images[2] = {{src, IMP_TILE_READ}, {dst, IMP_TILE_WRITE}};
  int32_t failed = -1;
  const int32_t st = ownWalkTiles(
      images, 2, width, height, [](ImpImageHeader *const *v) { return ownCopyImage(v[0], v[1]); },
      &failed);
  if (st == IMP_STS_NO_TILE)
    return kCopy.report(IMP_STS_NO_TILE,
                        failed == 0 ? "Error get tile to read" : "Error get tile to write",
                        __LINE__);
  return st;
}

}  // namespace

int32_t ownCopyImage(ImpImageHeader *src, ImpImageHeader *dst) {
  if (int32_t st = kCopy.checkHeader(src, __LINE__)) return st;
  if (int32_t st = kCopy.checkHeader(dst, __LINE__)) return st;
  int32_t failed = 0;
  if (src->depth != dst->depth)
    failed = kCopy.report(IMP_STS_BAD_ARG, "srcImage->depth != dstImage->depth", __LINE__);
  if (src->origin != dst->origin)
    failed = kCopy.report(IMP_STS_BAD_ARG, "srcImage->origin != dstImage->origin", __LINE__);
  if (src->depth != IMP_DEPTH_1U && !(src->nChannels == 1 && dst->nChannels == 1) &&
      src->dataOrder != dst->dataOrder)
    failed = kCopy.report(IMP_STS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", __LINE__);
  if (failed != 0) return IMP_STS_BAD_ARG;
  if (src == dst) return 0;

  imp::ImageOwner combined;
  ImpImageHeader *mask = dst->maskROI != nullptr ? dst->maskROI : src->maskROI;
  if (src->maskROI != nullptr && dst->maskROI != nullptr && src->maskROI != dst->maskROI) {
    int32_t mh, mw;
    if (!ownGetCommonRoiSize2(src->maskROI, dst->maskROI, &mh, &mw, 1)) return 0;
    combined.reset(impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GRAY", "G   ", 1, src->maskROI->origin,
                                        4, mw, mh, nullptr, nullptr, nullptr, nullptr));
    if (combined.get() != nullptr) impAllocateImage(combined.get(), 0, 0);
    if (combined.get() == nullptr || combined->imageData == nullptr ||
        ownAndImages(src->maskROI, dst->maskROI, combined.get()) != 0)
      return kCopy.report(IMP_STS_BACKTRACE, "", __LINE__);
    mask = combined.get();
  }
  int32_t height, width;
  if (!commonSize(src, dst, mask, &height, &width)) return 0;
  if (src->tileInfo != nullptr || dst->tileInfo != nullptr) {
    // The views carry the images' own masks; a combined mask is made again per block.
    return copyTiled(src, dst, width, height);
  }
  Lane s, d;
  if (!imp::laneOf(*src, &s) || !imp::laneOf(*dst, &d)) return 0;
  const int32_t channels = imp::processedChannels(*dst);
  if (imp::processedChannels(*src) != channels)
    return kCopy.report(IMP_STS_BAD_ARG,
                        "Number of processed channels of srcImage != Number of processed "
                        "channels of dstImage",
                        __LINE__);
  MaskLane m;
  const bool masked = imp::maskLaneOf(mask, &m);
  if (dst->depth == IMP_DEPTH_1U) {
    auto rows = [&](auto combine) {
      for (int64_t y = 0; y < height; ++y)
        imp::combineBitRow(d.first + y * d.rowStep, d.bitOffset, width, s.first + y * s.rowStep,
                           s.bitOffset, nullptr, 0, masked ? m.first + y * m.rowStep : nullptr,
                           m.bitOffset, combine);
    };
    if (masked)
      rows([](uint64_t dv, uint64_t sv, uint64_t, uint64_t mv) { return (dv & ~mv) | (sv & mv); });
    else if ((d.bitOffset & 7) == (s.bitOffset & 7))
      copyRowsSamePhase(d, s, width, height);
    else
      for (int64_t y = 0; y < height; ++y)
        copyBitsShifted(d.first + y * d.rowStep, d.bitOffset, s.first + y * s.rowStep, s.bitOffset,
                        width);
    return 0;
  }
  moveRegion(s, d, masked ? &m : nullptr, channels, imp::sampleBytes(dst->depth),
             dst->dataOrder == IMP_DATA_ORDER_PLANE, width, height);
  return 0;
}

namespace {

int32_t setImage(ImpImageHeader *image, int32_t value);

int32_t setTiled(ImpImageHeader *image, int32_t value, int32_t width, int32_t height) {
  const ImpWalkImage images[1] = {{image, IMP_TILE_WRITE}};
  int32_t failed = -1;
  const int32_t st = ownWalkTiles(
      images, 1, width, height, [value](ImpImageHeader *const *v) { return setImage(v[0], value); },
      &failed);
  if (st == IMP_STS_NO_TILE)
    return kSet.report(IMP_STS_NO_TILE, "Error get tile to write", __LINE__);
  return st;
}

int32_t setImage(ImpImageHeader *image, int32_t value) {
  if (int32_t st = kSet.checkHeader(image, __LINE__)) return st;
  if (image->depth == IMP_DEPTH_32F)
    return kSet.report(IMP_STS_BAD_DEPTH, "You should use impSetFP for this image", __LINE__);
  value = imp::clampToDepthRange(image->depth, value);
  int32_t height, width;
  if (!commonSize(image, nullptr, image->maskROI, &height, &width)) return 0;
  if (image->tileInfo != nullptr) return setTiled(image, value, width, height);
  Lane d;
  if (!imp::laneOf(*image, &d)) return 0;
  MaskLane m;
  const bool masked = imp::maskLaneOf(image->maskROI, &m);
  if (image->depth == IMP_DEPTH_1U) {
    const uint64_t v = value ? ~uint64_t{0} : 0;
    for (int64_t y = 0; y < height; ++y)
      imp::combineBitRow(d.first + y * d.rowStep, d.bitOffset, width, nullptr, 0, nullptr, 0,
                         masked ? m.first + y * m.rowStep : nullptr, m.bitOffset,
                         [masked, v](uint64_t dv, uint64_t, uint64_t, uint64_t mv) {
                           return masked ? (dv & ~mv) | (v & mv) : v;
                         });
    return 0;
  }
  // The value as one pixel of processed channels, read with zero steps.
  const int32_t bytes = imp::sampleBytes(image->depth), channels = imp::processedChannels(*image);
  const uint32_t pattern = imp::fillPattern(image->depth, value);
  const int32_t perPixel = image->dataOrder == IMP_DATA_ORDER_PLANE ? 1 : channels;
  imp::AlignedBlock<uint8_t> pixel(int64_t{perPixel} * bytes);
  if (pixel.get() == nullptr) return kSet.report(IMP_STS_NO_MEMORY, "Out of memory", __LINE__);
  for (int32_t k = 0; k < perPixel; ++k)
    std::memcpy(pixel.get() + k * bytes, &pattern, size_t(bytes));
  Lane s;
  s.first = pixel.get();
  moveRegion(s, d, masked ? &m : nullptr, channels, bytes, image->dataOrder == IMP_DATA_ORDER_PLANE,
             width, height);
  return 0;
}

}  // namespace

void impCopy(ImpImageHeader *srcImage, ImpImageHeader *dstImage) {
  ownSetErrorStatus(0);
  ownCopyImage(srcImage, dstImage);
}

void impSet(ImpImageHeader *image, int32_t fillValue) {
  ownSetErrorStatus(0);
  setImage(image, fillValue);
}

ImpImageHeader *ownUntiledCopy(ImpImageHeader *im) {
  ImpImageHeader *copy = impCreateImageHeader(
      im->nChannels, im->alphaChannel, im->depth, im->colorModel, im->channelSeq, im->dataOrder,
      im->origin, im->alignment, im->width, im->height, nullptr, nullptr, nullptr, nullptr);
  if (copy == nullptr) return nullptr;
  copy->dataOrigin = copy->ownedData =
      static_cast<uint8_t *>(std::malloc(size_t(copy->dataSize) + size_t(copy->alignment)));
  if (copy->dataOrigin == nullptr) {
    ownReleaseImage(copy, IMP_RELEASE_HEADER);
    return nullptr;
  }
  const uintptr_t a = uintptr_t(copy->alignment);
  copy->imageData = reinterpret_cast<uint8_t *>(
      (reinterpret_cast<uintptr_t>(copy->dataOrigin) + a - 1) & ~(a - 1));
  ImpImageHeader whole = *im;
  whole.roi = nullptr, whole.maskROI = nullptr;
  if (ownCopyImage(&whole, copy) != 0) {
    ownReleaseImage(copy, IMP_RELEASE_HEADER | IMP_RELEASE_DATA);
    return nullptr;
  }
  return copy;
}
