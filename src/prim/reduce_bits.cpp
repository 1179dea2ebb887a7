// Bit reduction with dithering (source unit "impredb"): the checks of impReduceBits, the set-up
// of error rows and noise tables, and the walk over channels and rows; the arithmetic is in
// dither_kernels.cpp. The whole source image is processed (regions and masks are not used),
// row y of each image at imageData + y x widthStep.
//
// Noise comes from a private linear congruential generator seeded with 1999 on every call, so
// equal inputs give equal outputs on every machine. Multi-channel images are dithered channel
// by channel, the error rows carrying on from one channel to the next.
//
// Tiled images are worked in strips of full rows: the source strip is read with its borders,
// the destination strip is made in a temporary image and copied into the tiles channel by
// channel, and the error rows carry across strips, so tiled and untiled results are equal.
//
// Beyond the classic checks, a 32-bit float source or destination and a destination smaller
// than the source are refused with -5, and only the channels both images have are written.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imp_dither_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"

namespace {

constexpr imp::Source kRb{"impReduceBits", "impredb"};
constexpr int32_t kStripRows = 32;

bool isDither(int32_t d) {
  return d == IMP_DITHER_NONE || d == IMP_DITHER_FS || d == IMP_DITHER_JJH ||
         d == IMP_DITHER_STUCKEY || d == IMP_DITHER_BAYER;
}

// The portable pseudo-random sequence (15-bit values) behind the noise tables.
class Sequence {
 public:
  explicit Sequence(uint32_t seed) : state_(seed) {}
  uint32_t next() {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 16) & 0x7FFF;
  }

 private:
  uint32_t state_;
};

void buildNoise(imp::NoiseTables &t, int32_t noise, bool bayer, double step) {
  const double g = noise * 0.01;
  Sequence seq(1999);
  for (float &v : t.threshold) {
    const double r = seq.next() % 1024;
    v = bayer ? static_cast<float>(r * g / 512)
              : static_cast<float>(((r * g / 512) + 0.5 - g) * step);
  }
  for (int32_t &o : t.offset)
    o = static_cast<int32_t>(std::nearbyint(double(seq.next() % 1024) - 0.5));
}

// Where channel c of an image's rows lies: first byte and bytes per pixel.
struct ChannelRows {
  uint8_t *first;
  int64_t step, stride;
};

ChannelRows channelRows(uint8_t *data, int64_t step, int64_t rows, const ImpImageHeader &im,
                        int32_t c) {
  const int64_t sb = imp::sampleBytes(im.depth);
  if (im.dataOrder == IMP_DATA_ORDER_PLANE) return {data + c * step * rows, step, sb};
  return {data + c * sb, step, sb * im.nChannels};
}

int32_t checkArguments(const ImpImageHeader *src, const ImpImageHeader *dst, int32_t noise,
                       int32_t ditherType, int32_t levels) {
  if (int32_t st = kRb.checkHeader(src, 1458)) return st;
  if (int32_t st = kRb.checkHeader(dst, 1459)) return st;
  const int32_t sBits = imp::bitsOf(src->depth), dBits = imp::bitsOf(dst->depth);
  if (src->depth == IMP_DEPTH_1U)
    return kRb.report(IMP_STS_BAD_ARG, "( (srcImage->depth == IMP_DEPTH_1U ))", 1460);
  if (sBits < dBits)
    return kRb.report(IMP_STS_BAD_ARG,
                      "((srcImage->depth& IMP_DEPTH_MASK) < (dstImage->depth& IMP_DEPTH_MASK))",
                      1461);
  if (src->dataOrder != dst->dataOrder)
    return kRb.report(IMP_STS_BAD_ARG, "(srcImage->dataOrder!=dstImage->dataOrder)", 1462);
  if (noise < 0 || noise > 100)
    return kRb.report(IMP_STS_BAD_ARG, "(( noise < 0 ) || ( noise > 100 ))", 1463);
  if (src->alphaChannel != dst->alphaChannel)
    return kRb.report(IMP_STS_BAD_ARG, "(srcImage->alphaChannel!=dstImage->alphaChannel)", 1464);
  if (src->nChannels < dst->nChannels)
    return kRb.report(IMP_STS_BAD_ARG, "(srcImage->nChannels < dstImage->nChannels)", 1465);
  if (!isDither(ditherType))
    return kRb.report(IMP_STS_BAD_ARG,
                      "ditherType != IMP_DITHER_NONE && ditherType != IMP_DITHER_FS && ditherType "
                      "!= IMP_DITHER_JJH && ditherType != IMP_DITHER_STUCKEY && ditherType != "
                      "IMP_DITHER_BAYER",
                      1466);
  if (!(src->depth == IMP_DEPTH_32S || (src->depth & IMP_DEPTH_SIGN) == 0))
    return kRb.report(IMP_STS_BAD_ARG,
                      "!( ( srcImage->depth == IMP_DEPTH_32S ) || ((srcImage->depth & "
                      "IMP_DEPTH_SIGN)==0))",
                      1470);
  if (!(dst->depth == IMP_DEPTH_32S || (dst->depth & IMP_DEPTH_SIGN) == 0))
    return kRb.report(IMP_STS_BAD_ARG,
                      "!( ( dstImage->depth == IMP_DEPTH_32S ) || ((dstImage->depth & "
                      "IMP_DEPTH_SIGN)==0))",
                      1472);
  if (src == dst)
    return kRb.report(IMP_STS_BAD_ARG, "This function is not an in-place function", 1476);
  if (ditherType != IMP_DITHER_NONE) {
    const int32_t b = dst->depth == IMP_DEPTH_32S ? 31 : dst->depth == IMP_DEPTH_32F ? 0 : dBits;
    const int64_t l1 = int64_t{levels} - 1;
    if (l1 <= 0 || uint64_t(uint32_t(l1)) > (uint64_t{1} << b))
      return kRb.report(IMP_STS_BAD_ARG, "You incorrectly have set an amount of levels", 1500);
  }
  if (src->nChannels > 1 && dst->nChannels == 1)
    return kRb.report(IMP_STS_BAD_ARG, " Depth 1u is for Gray, only", 1505);
  if (src->depth == IMP_DEPTH_32F || dst->depth == IMP_DEPTH_32F)
    return kRb.report(IMP_STS_BAD_ARG, "This function does not support depth 32F", __LINE__);
  if (dst->width < src->width || dst->height < src->height)
    return kRb.report(IMP_STS_BAD_ARG, "Destination image is smaller than the source image",
                      __LINE__);
  return 0;
}

int32_t reduceBits(ImpImageHeader *src, ImpImageHeader *dst, int32_t noise, int32_t dither,
                   int32_t levels) {
  if (int32_t st = checkArguments(src, dst, noise, dither, levels)) return st;
  const int64_t W = src->width, H = src->height;
  const bool toBit = dst->depth == IMP_DEPTH_1U;
  const double M = src->depth == IMP_DEPTH_32S   ? 4294967295.0
                   : src->depth == IMP_DEPTH_16U ? 65535.0
                                                 : 255.0;
  const int32_t channels = std::min(src->nChannels - (src->alphaChannel ? 1 : 0),
                                    dst->nChannels - (dst->alphaChannel ? 1 : 0));

  imp::AlignedBlock<float> errorBlock(
      dither == IMP_DITHER_NONE || dither == IMP_DITHER_BAYER ? 1 : 3 * (W + 4));
  imp::AlignedBlock<imp::NoiseTables> noiseBlock(noise > 0 && dither != IMP_DITHER_NONE ? 1 : 0);
  if (errorBlock.get() == nullptr ||
      (noise > 0 && dither != IMP_DITHER_NONE && noiseBlock.get() == nullptr))
    return kRb.report(IMP_STS_NO_MEMORY, "Insufficient memory", __LINE__);
  imp::DitherErrors errors;
  errors.count = dither == IMP_DITHER_FS ? 2 : 3;
  for (int i = 0; i < 3; ++i)
    errors.row[i] = errorBlock.get() +
                    (dither == IMP_DITHER_NONE || dither == IMP_DITHER_BAYER ? 0 : i * (W + 4));
  if (errors.row[2] != errors.row[0])
    std::memset(errorBlock.get(), 0, size_t(3 * (W + 4)) * sizeof(float));
  if (noiseBlock.get() != nullptr)
    buildNoise(*noiseBlock.get(), noise, dither == IMP_DITHER_BAYER, toBit ? M : M / (levels - 1));

  imp::DitherJob job{};
  job.srcDepth = src->depth, job.dstDepth = dst->depth;
  job.width = W, job.dither = dither, job.levels = toBit ? 2 : levels;
  job.noise = noiseBlock.get(), job.noiseAmount = noise;

  const bool tiled = src->tileInfo != nullptr || dst->tileInfo != nullptr;
  if (!tiled) {
    for (int32_t c = 0; c < channels; ++c) {
      const ChannelRows s = channelRows(src->imageData, src->widthStep, src->height, *src, c);
      const ChannelRows d = channelRows(dst->imageData, dst->widthStep, dst->height, *dst, c);
      job.src = s.first, job.srcStep = s.step, job.srcStride = s.stride;
      job.dst = d.first, job.dstStep = d.step, job.dstStride = d.stride;
      job.rows = H, job.firstRow = 0, job.channel = c;
      imp::ditherRows(job, errors);
    }
    return 0;
  }

  // Tiled: strips through a destination strip image.
  imp::ImageOwner strip(impCreateImageHeader(
      dst->nChannels, dst->alphaChannel, dst->depth, "GRAY", "G", dst->dataOrder, dst->origin,
      dst->alignment, static_cast<int32_t>(W), kStripRows, nullptr, nullptr, nullptr, nullptr));
  if (strip.get() != nullptr) impAllocateImage(strip.get(), 1, 0);
  if (strip.get() == nullptr || strip->imageData == nullptr)
    return kRb.report(IMP_STS_NO_MEMORY, "Insufficient memory", __LINE__);
  for (int32_t c = 0; c < channels; ++c)
    for (int64_t y0 = 0; y0 < H; y0 += kStripRows) {
      const int32_t rows = static_cast<int32_t>(std::min<int64_t>(kStripRows, H - y0));
      int32_t srcStep = src->widthStep;
      uint8_t *rect = nullptr;
      // A tiled image has no pixel block of its own: its rows come from the tiles.
      uint8_t *srcData = nullptr;
      int64_t srcRows = src->height;
      if (src->tileInfo == nullptr) {
        srcData = src->imageData + y0 * src->widthStep;
      } else {
        rect = ownGetRectWithBorder(src, 0, static_cast<int32_t>(y0), static_cast<int32_t>(W), rows,
                                    &srcStep);
        if (rect == nullptr) return kRb.report(IMP_STS_BACKTRACE, "", __LINE__);
        srcData = rect, srcRows = rows;
      }
      const ChannelRows s = channelRows(srcData, srcStep, srcRows, *src, c);
      uint8_t *dstData =
          dst->imageData != nullptr ? dst->imageData + y0 * dst->widthStep : strip->imageData;
      const int64_t dstStep = dst->imageData != nullptr ? dst->widthStep : strip->widthStep;
      const ChannelRows d = channelRows(
          dstData, dstStep, dst->imageData != nullptr ? dst->height : kStripRows, *dst, c);
      job.src = s.first, job.srcStep = s.step, job.srcStride = s.stride;
      job.dst = d.first, job.dstStep = d.step, job.dstStride = d.stride;
      job.rows = rows, job.firstRow = y0, job.channel = c;
      imp::ditherRows(job, errors);
      ownFreeRect(rect);
      if (dst->tileInfo == nullptr) continue;
      // The strip's channel into the tiles.
      const int32_t coi = dst->nChannels > 1 ? c + 1 : 0;
      ImpRoiRecord from{coi, 0, 0, static_cast<int32_t>(W), rows};
      ImpRoiRecord to{coi, 0, static_cast<int32_t>(y0), static_cast<int32_t>(W), rows};
      ImpImageHeader target = *dst;
      target.roi = &to, target.maskROI = nullptr;
      strip->roi = &from;
      const int32_t st = ownCopyImage(strip.get(), &target);
      strip->roi = nullptr;
      if (st != 0) return kRb.report(IMP_STS_BACKTRACE, "", __LINE__);
    }
  return 0;
}

}  // namespace

void impReduceBits(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t noise,
                   int32_t ditherType, int32_t levels) {
  ownSetErrorStatus(0);
  reduceBits(srcImage, dstImage, noise, ditherType, levels);
}
