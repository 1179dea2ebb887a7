// Colour to grey (source units "impcolor", "owncolor", "Ownctog"): an RGB or BGR image (pixel
// or planar order) becomes one grey channel of depth 16U, 8U or 1U.
//
// Weights: 8U and 16U sources (R 54 + G 183 + B 18) of 256, so white 255 gives 254; 32S
// sources 109, 366, 37 of 512 on samples shifted right by 11 (to 16U: >> 13, to 8U: >> 21),
// negative sums giving 0. 16U to 8U shifts by 16, 8U to 16U keeps the sum. To one bit: set
// when the grey at the source's depth exceeds half its range (32S: the sum of samples shifted
// by 10 at least 2^29). 16U planar rows to 8U go through the grey row kernel, whose blocks of
// four samples truncate each product before the sum. Tiled images are worked through untiled
// copies. The source's channel sequence says where red lies (first letter 'R': first sample or
// plane; else the last).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_ops.h"
#include "imp_simd_internal.h"

namespace {

constexpr imp::Source kEntry{"impColorToGray", "impcolor"};
constexpr imp::Source kChecks{"impColorToGray", "owncolor"};
constexpr imp::Source kWorker{"impColorToGray", "Ownctog"};

template <class T>
inline int64_t load(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int64_t sampleAt(const uint8_t *p, uint32_t depth) {
  switch (depth) {
    case IMP_DEPTH_8U:
      return *p;
    case IMP_DEPTH_16U:
      return load<uint16_t>(p);
    default:
      return load<int32_t>(p);
  }
}

// Grey of one pixel (r, g, b) for a depth pair; for a 1-bit destination 0 or 1.
int64_t greyOf(int64_t r, int64_t g, int64_t b, uint32_t from, uint32_t to) {
  if (from == IMP_DEPTH_32S) {
    if (to == IMP_DEPTH_1U)
      return 109 * (r >> 10) + 366 * (g >> 10) + 37 * (b >> 10) >= (int64_t{1} << 29);
    const int64_t sum = 109 * (r >> 11) + 366 * (g >> 11) + 37 * (b >> 11);
    return std::max<int64_t>(0, sum >> (to == IMP_DEPTH_16U ? 13 : 21));
  }
  const int64_t sum = r * 54 + g * 183 + b * 18;
  if (to == IMP_DEPTH_1U) return (sum >> 8) > (from == IMP_DEPTH_8U ? 127 : 32767);
  if (from == to) return sum >> 8;
  return from == IMP_DEPTH_16U ? sum >> 16 : sum;
}

}  // namespace

int32_t ownColorToGray(const ImpImageHeader *src, const ImpImageHeader *dst, const uint8_t *srcData,
                       uint8_t *dstData, int64_t srcStep, int64_t rows, int64_t width,
                       int64_t dstStep, int64_t planeHeight) {
  const uint32_t from = src->depth, to = dst->depth;
  const bool fromOk = from == IMP_DEPTH_32S || from == IMP_DEPTH_16U || from == IMP_DEPTH_8U;
  const bool toOk = to == IMP_DEPTH_16U || to == IMP_DEPTH_8U || to == IMP_DEPTH_1U;
  if (!fromOk || !toOk)
    return kWorker.report(IMP_STS_BAD_ARG,
                          "Error in-out depth. 32S,16U,8U=> 16U,8U,1U are valid now", 507);
  const int64_t sb = imp::sampleBytes(from);
  const bool planar = src->dataOrder == IMP_DATA_ORDER_PLANE;
  // Offsets of red, green and blue: samples within a pixel, or planes.
  int64_t offs[3];
  if (planar) {
    for (int i = 0; i < 3; ++i) offs[i] = 0;
    for (int i = 0; i < 3 && i < src->nChannels; ++i) {
      const char letter = src->channelSeq[i];
      const int64_t plane = i * planeHeight * srcStep;
      if (letter == 'R')
        offs[0] = plane;
      else if (letter == 'G')
        offs[1] = plane;
      else if (letter == 'B')
        offs[2] = plane;
    }
  } else {
    const bool redFirst = src->channelSeq[0] == 'R';
    offs[0] = redFirst ? 0 : 2 * sb, offs[1] = sb, offs[2] = redFirst ? 2 * sb : 0;
  }
  const int64_t pixel = planar ? sb : sb * src->nChannels;
  for (int64_t y = 0; y < rows; ++y) {
    const uint8_t *s = srcData + y * srcStep;
    uint8_t *d = dstData + y * dstStep;
    if (planar && from == IMP_DEPTH_16U && to == IMP_DEPTH_8U) {
      ownRgb16ToGray8Mmx(reinterpret_cast<const uint16_t *>(s + offs[0]),
                         reinterpret_cast<const uint16_t *>(s + offs[1]),
                         reinterpret_cast<const uint16_t *>(s + offs[2]), d, width, 1, 'R');
      continue;
    }
    for (int64_t x = 0; x < width; ++x) {
      const uint8_t *p = s + x * pixel;
      const int64_t v = greyOf(sampleAt(p + offs[0], from), sampleAt(p + offs[1], from),
                               sampleAt(p + offs[2], from), from, to);
      if (to == IMP_DEPTH_1U) {
        const uint8_t m = uint8_t(0x80u >> (x & 7));
        d[x >> 3] = v ? (d[x >> 3] | m) : (d[x >> 3] & ~m);
      } else if (to == IMP_DEPTH_8U) {
        d[x] = static_cast<uint8_t>(v);
      } else {
        const uint16_t u = static_cast<uint16_t>(v);
        std::memcpy(d + 2 * x, &u, 2);
      }
    }
  }
  return static_cast<int32_t>(rows);
}

int32_t impColorToGray(ImpImageHeader *srcImage, ImpImageHeader *dstImage) {
  ownSetErrorStatus(0);
  if (int32_t st = kEntry.checkHeader(srcImage, 74)) return st;
  if (int32_t st = kEntry.checkHeader(dstImage, 75)) return st;
  const ImpImageHeader &s = *srcImage, &d = *dstImage;
  char text[80];
  if (std::strncmp(s.colorModel, "RGB", 3) != 0) {
    std::snprintf(text, sizeof text, "colorModel must be RGB instead of %.4s ", s.colorModel);
    return kChecks.report(IMP_STS_BAD_ARG, text, 100);
  }
  if (std::strncmp(s.channelSeq, "RGB", 3) != 0 && std::strncmp(s.channelSeq, "BGR", 3) != 0) {
    std::snprintf(text, sizeof text, "channelSeq must be RGB or BGR instead of %.4s ",
                  s.channelSeq);
    return kChecks.report(IMP_STS_BAD_ARG, text, 107);
  }
  if (std::strncmp(d.colorModel, "Gra", 3) != 0 && std::strncmp(d.colorModel, "GRA", 3) != 0) {
    std::snprintf(text, sizeof text, "colorModel must be GRAY instead of %.4s ", d.colorModel);
    return kChecks.report(IMP_STS_BAD_ARG, text, 119);
  }
  if (d.channelSeq[0] != 'G') {
    std::snprintf(text, sizeof text, "channelSeq must be G instead of %.4s ", d.channelSeq);
    return kChecks.report(IMP_STS_BAD_ARG, text, 125);
  }
  if (d.dataOrder == IMP_DATA_ORDER_PIXEL && d.nChannels != 1)
    return kChecks.report(IMP_STS_BAD_ARG,
                          "(dst-> dataOrder == IMP_DATA_ORDER_PIXEL) && (dst-> nChannels != 1)",
                          152);
  if (s.origin != d.origin)
    return kChecks.report(IMP_STS_BAD_ARG, "src->origin != dst->origin", 156);
  if (s.nChannels < 3) return kChecks.report(IMP_STS_BAD_ARG, "src->nChannels < 3", __LINE__);
  if (s.tileInfo == nullptr && d.tileInfo == nullptr)
    return ownColorToGray(&s, &d, s.imageData, d.imageData, s.widthStep,
                          std::min(s.height, d.height), std::min(s.width, d.width), d.widthStep,
                          s.height);
  // Tiled: convert untiled copies and write the destination back.
  imp::ImageOwner us(s.tileInfo ? ownUntiledCopy(srcImage) : nullptr);
  imp::ImageOwner ud(d.tileInfo ? ownUntiledCopy(dstImage) : nullptr);
  if ((s.tileInfo && !us.get()) || (d.tileInfo && !ud.get()))
    return kEntry.report(IMP_STS_BAD_ARG, "null_data_pointer", 424);
  const ImpImageHeader *cs = s.tileInfo ? us.get() : srcImage;
  ImpImageHeader *cd = d.tileInfo ? ud.get() : dstImage;
  const int32_t st = ownColorToGray(cs, cd, cs->imageData, cd->imageData, cs->widthStep,
                                    std::min(s.height, d.height), std::min(s.width, d.width),
                                    cd->widthStep, cs->height);
  if (st < 0) return st;
  if (d.tileInfo != nullptr) {
    ImpImageHeader whole = d;
    whole.roi = nullptr, whole.maskROI = nullptr;
    if (ownCopyImage(cd, &whole) != 0) return kEntry.report(IMP_STS_BACKTRACE, "", __LINE__);
  }
  return 0;
}
