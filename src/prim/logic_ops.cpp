// Logic operations (source units "impand", "impor", "impxors"): AND and OR of two images, XOR
// of an image with a constant, NOT through XOR with all bits set, and the merging of masks.
//
// One driver serves the three: checks (headers, depths, data orders unless 1-bit, processed
// channel counts, masks combined, 32F refused), then the whole-image form, the row kernels
// over the common region, or the tile walker, which runs the untiled form block by block on
// views of the tiles. The whole-image form combines the data blocks as words; it is taken only
// when the images agree in size, alignment, row step and data size (= rows x row step), with
// no cutting region, alpha channel or mask, so padding bits are combined like the rest and
// views inside larger images run row by row. 1-bit rows at any offsets are combined 64 bits
// at a time; other depths element by element over long runs (the loops vectorise). Masked
// forms write only where the mask bit is 1.
#include "bit_rows_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_region_internal.h"
#include "imp_tiles.h"

namespace {

using imp::Lane;
using imp::MaskLane;

enum class Op { And, Or, Xor };

// The texts and lines of one operation's checks.
struct LogicOpInfo {
  imp::Source src;
  Op op;
  const char *depthA, *depthB, *orderA, *orderB, *channelsA, *channelsB;
  const char *tileA, *tileB, *tileDst;
  int32_t lineHeaders, lineDepth, lineOrder, lineChannels, lineMemory, line32F, lineTile;
};

constexpr LogicOpInfo kAnd{{"impAnd", "impand"},
                           Op::And,
                           "(srcImageA->depth != dstImage->depth)",
                           "(srcImageB->depth != dstImage->depth)",
                           "(srcImageA->dataOrder != dstImage->dataOrder)",
                           "(srcImageB->dataOrder != dstImage->dataOrder)",
                           "(nChSrcA != nChDst)",
                           "(nChSrcB != nChDst)",
                           "(srcImageA->tileInfo->tileData == 0)",
                           "(srcImageB->tileInfo->tileData == 0)",
                           "(dstImage->tileInfo->tileData == 0)",
                           1594,
                           1598,
                           1602,
                           1638,
                           1647,
                           1667,
                           1754};
constexpr LogicOpInfo kOr{{"impOr", "impor"},
                          Op::Or,
                          kAnd.depthA,
                          kAnd.depthB,
                          kAnd.orderA,
                          kAnd.orderB,
                          kAnd.channelsA,
                          kAnd.channelsB,
                          kAnd.tileA,
                          kAnd.tileB,
                          kAnd.tileDst,
                          1594,
                          1598,
                          1602,
                          1638,
                          1647,
                          1667,
                          1754};
constexpr LogicOpInfo kXor{{"impXorS", "impxors"},
                           Op::Xor,
                           "(srcImage->depth != dstImage->depth)",
                           nullptr,
                           "(srcImage->dataOrder != dstImage->dataOrder)",
                           nullptr,
                           "(nChSrc != nChDst)",
                           nullptr,
                           "(srcImage->tileInfo->tileData == 0)",
                           nullptr,
                           "(dstImage->tileInfo->tileData == 0)",
                           1096,
                           1099,
                           1102,
                           1128,
                           1135,
                           1160,
                           1228};

inline uint64_t apply(Op op, uint64_t a, uint64_t b) {
  switch (op) {
    case Op::And:
      return a & b;
    case Op::Or:
      return a | b;
    default:
      return a ^ b;
  }
}

// Whole data blocks as words: dst = A op B (B is the pattern for XOR).
void wholeImage(Op op, const ImpImageHeader &a, const ImpImageHeader *b, ImpImageHeader &dst,
                uint32_t pattern) {
  const int64_t words = a.dataSize / 4;
  const uint8_t *pa = a.imageData, *pb = b ? b->imageData : nullptr;
  uint8_t *pd = dst.imageData;
  const uint64_t pat = uint64_t{pattern} * 0x100000001ull;
  int64_t i = 0;
  for (; i + 2 <= words; i += 2) {
    uint64_t x, y = pat, r;
    std::memcpy(&x, pa + 4 * i, 8);
    if (pb) std::memcpy(&y, pb + 4 * i, 8);
    r = apply(op, x, y);
    std::memcpy(pd + 4 * i, &r, 8);
  }
  for (; i < words; ++i) {
    uint32_t x, y = pattern, r;
    std::memcpy(&x, pa + 4 * i, 4);
    if (pb) std::memcpy(&y, pb + 4 * i, 4);
    r = static_cast<uint32_t>(apply(op, x, y));
    std::memcpy(pd + 4 * i, &r, 4);
  }
}

template <class T>
void elementRows(Op op, Lane (&lanes)[3], bool twoSources, int32_t channels, int64_t width,
                 int64_t height, bool contiguous, const MaskLane *mask, uint32_t pattern) {
  const T pat = static_cast<T>(pattern);
  imp::forEachRun(lanes, channels, sizeof(T), width, height, contiguous && mask == nullptr,
                  [&](uint8_t **p, int64_t count, const int64_t *stride, int64_t y, int64_t) {
                    for (int64_t x = 0; x < count; ++x) {
                      if (mask != nullptr && !mask->bit(y, x)) continue;
                      T a, b = pat, r;
                      std::memcpy(&a, p[0] + x * stride[0], sizeof(T));
                      if (twoSources) std::memcpy(&b, p[1] + x * stride[1], sizeof(T));
                      r = static_cast<T>(apply(op, a, b));
                      std::memcpy(p[2] + x * stride[2], &r, sizeof(T));
                    }
                  });
}

// The untiled form over the common region.
void runUntiled(Op op, const ImpImageHeader &a, const ImpImageHeader *b, const ImpImageHeader &dst,
                const ImpImageHeader *mask, uint32_t pattern, int32_t width, int32_t height) {
  Lane lanes[3];
  if (!imp::laneOf(a, &lanes[0]) || !imp::laneOf(dst, &lanes[2])) return;
  if (b != nullptr && !imp::laneOf(*b, &lanes[1])) return;
  MaskLane m;
  const bool masked = imp::maskLaneOf(mask, &m);
  const int32_t bits = imp::bitsOf(dst.depth);
  if (bits == 1) {
    for (int64_t y = 0; y < height; ++y) {
      const uint8_t *pa = lanes[0].first + y * lanes[0].rowStep;
      const uint8_t *pb = b ? lanes[1].first + y * lanes[1].rowStep : nullptr;
      const uint8_t *pm = masked ? m.first + y * m.rowStep : nullptr;
      const uint64_t pat = pattern ? ~uint64_t{0} : 0;
      imp::combineBitRow(lanes[2].first + y * lanes[2].rowStep, lanes[2].bitOffset, width, pa,
                         lanes[0].bitOffset, pb, lanes[1].bitOffset, pm, m.bitOffset,
                         [&](uint64_t d, uint64_t av, uint64_t bv, uint64_t mv) {
                           const uint64_t r = apply(op, av, b ? bv : pat);
                           return masked ? (d & ~mv) | (r & mv) : r;
                         });
    }
    return;
  }
  const ImpImageHeader *images[3] = {&a, b ? b : &a, &dst};
  const bool contiguous = imp::contiguousChannels(images, 3);
  const int32_t channels = imp::processedChannels(dst);
  const MaskLane *mp = masked ? &m : nullptr;
  if (b == nullptr) lanes[1] = lanes[0];
  switch (bits) {
    case 8:
      return elementRows<uint8_t>(op, lanes, b != nullptr, channels, width, height, contiguous, mp,
                                  pattern);
    case 16:
      return elementRows<uint16_t>(op, lanes, b != nullptr, channels, width, height, contiguous, mp,
                                   pattern);
    default:
      return elementRows<uint32_t>(op, lanes, b != nullptr, channels, width, height, contiguous, mp,
                                   pattern);
  }
}

int32_t runLogic(const LogicOpInfo &s, ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst,
                 int32_t value);

// Tiled images: the untiled form on views of each block.
int32_t runTiled(const LogicOpInfo &s, ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst,
                 int32_t value, int32_t width, int32_t height) {
  ImpWalkImage images[3] = {{a, IMP_TILE_READ}, {dst, IMP_TILE_WRITE}, {b, IMP_TILE_READ}};
  const int32_t n = b != nullptr ? 3 : 2;
  int32_t failed = -1;
  const int32_t st = ownWalkTiles(
      images, n, width, height,
      [&](ImpImageHeader *const *v) {
        return runLogic(s, v[0], n == 3 ? v[2] : nullptr, v[1], value);
      },
      &failed);
  if (st == IMP_STS_NO_TILE) {
    const char *text = failed == 0 ? s.tileA : failed == 1 ? s.tileDst : s.tileB;
    return s.src.report(IMP_STS_BAD_ARG, text, s.lineTile);
  }
  return st;
}

int32_t runLogic(const LogicOpInfo &s, ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst,
                 int32_t value) {
  if (int32_t st = s.src.checkHeader(a, s.lineHeaders)) return st;
  if (b != nullptr)
    if (int32_t st = s.src.checkHeader(b, s.lineHeaders + 1)) return st;
  if (int32_t st = s.src.checkHeader(dst, s.lineHeaders + 2)) return st;
  if (a->depth != dst->depth) return s.src.report(IMP_STS_BAD_ARG, s.depthA, s.lineDepth);
  if (b != nullptr && b->depth != dst->depth)
    return s.src.report(IMP_STS_BAD_ARG, s.depthB, s.lineDepth + 1);
  if (dst->depth != IMP_DEPTH_1U) {
    if (a->dataOrder != dst->dataOrder) return s.src.report(IMP_STS_BAD_ARG, s.orderA, s.lineOrder);
    if (b != nullptr && b->dataOrder != dst->dataOrder)
      return s.src.report(IMP_STS_BAD_ARG, s.orderB, s.lineOrder + 1);
  }
  const int32_t nDst = imp::processedChannels(*dst);
  if (imp::processedChannels(*a) != nDst)
    return s.src.report(IMP_STS_BAD_ARG, s.channelsA, s.lineChannels);
  if (b != nullptr && imp::processedChannels(*b) != nDst)
    return s.src.report(IMP_STS_BAD_ARG, s.channelsB, s.lineChannels + 1);
  int32_t kind = 0;
  imp::ImageOwner combined;
  ImpImageHeader *mask = ownCombineMasks(a->maskROI, b ? b->maskROI : nullptr, dst->maskROI, &kind);
  if (kind == 1) combined.reset(mask);
  if (kind == 3) return 0;
  if (kind == 2) return s.src.report(IMP_STS_NO_MEMORY, "Out of memory", s.lineMemory);
  if (dst->depth == IMP_DEPTH_32F)
    return s.src.report(IMP_STS_BAD_ARG, "This function does not support depth 32F", s.line32F);

  int32_t height, width;
  if (!ownGetCommonRoiSize3(a, b, dst, &height, &width, 1)) return 0;
  if (mask != nullptr) {
    int32_t mh, mw;
    if (!ownGetRoiSize(mask, &mh, &mw, 1)) return 0;
    height = std::min(height, mh), width = std::min(width, mw);
  }
  const ImpImageHeader *all[3] = {a, b, dst};
  if (ownAnyTiled(all, 3)) return runTiled(s, a, b, dst, value, width, height);
  const uint32_t pattern = imp::fillPattern(dst->depth, value);
  const bool anyAlpha =
      a->alphaChannel != 0 || dst->alphaChannel != 0 || (b && b->alphaChannel != 0);
  if (mask == nullptr && ownIsWholeImageOp(a, b ? b : a, dst, anyAlpha ? 1 : 0)) {
    if (s.op == Op::Xor && imp::bitsOf(dst->depth) == 1)  // complement or copy
      wholeImage(Op::Xor, *a, nullptr, *dst, pattern ? ~0u : 0u);
    else
      wholeImage(s.op, *a, b, *dst, pattern);
    return 0;
  }
  runUntiled(s.op, *a, b, *dst, mask, pattern, width, height);
  return 0;
}

}  // namespace

int32_t ownAndImages(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst) {
  return runLogic(kAnd, a, b, dst, 0);
}
int32_t ownOrImages(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *dst) {
  return runLogic(kOr, a, b, dst, 0);
}
int32_t ownXorSImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t value) {
  return runLogic(kXor, src, nullptr, dst, value);
}

void impAnd(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage) {
  ownSetErrorStatus(0);
  ownAndImages(srcImageA, srcImageB, dstImage);
}

void impOr(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage) {
  ownSetErrorStatus(0);
  ownOrImages(srcImageA, srcImageB, dstImage);
}

void impXorS(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t value) {
  ownSetErrorStatus(0);
  ownXorSImage(srcImage, dstImage, value);
}

void ownBitwiseNot(ImpImageHeader *srcImage, ImpImageHeader *dstImage) {
  impXorS(srcImage, dstImage, -1);
}

int32_t ownIsWholeImageOp(const ImpImageHeader *a, const ImpImageHeader *b, const ImpImageHeader *c,
                          int32_t flag) {
  if (flag != 0) return 0;
  for (const ImpImageHeader *im : {a, b, c}) {
    if (im == nullptr) continue;
    if (im->tileInfo != nullptr || im->dataSize != a->dataSize || im->width != a->width ||
        im->height != a->height || im->alignment != a->alignment || im->widthStep != a->widthStep)
      return 0;
    const int64_t planes = im->dataOrder == IMP_DATA_ORDER_PLANE ? im->nChannels : 1;
    if (int64_t{im->dataSize} != int64_t{im->height} * im->widthStep * planes) return 0;
    if (const ImpRoiRecord *r = im->roi) {
      if (r->xOffset != 0 || r->yOffset != 0 || r->height < im->height || r->width < im->width)
        return 0;
      if (!(r->coi > 0 && im->nChannels == 1)) return 0;
    }
  }
  return 1;
}

ImpImageHeader *ownCombineMasks(ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *c,
                                int32_t *kind) {
  ImpImageHeader *masks[3];
  int n = 0;
  for (ImpImageHeader *m : {a, b, c})
    if (m != nullptr) masks[n++] = m;
  *kind = 0;
  if (n == 0) return nullptr;
  if (n == 1) return masks[0];
  int32_t height, width;
  if (!ownGetCommonRoiSize3(masks[0], masks[1], n == 3 ? masks[2] : nullptr, &height, &width, 1) ||
      height < 1 || width < 1) {
    *kind = 3;
    return nullptr;
  }
  imp::ImageOwner out(impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GRAY", "G", 1, masks[0]->origin, 8,
                                           width, height, nullptr, nullptr, nullptr, nullptr));
  if (out.get() != nullptr) impAllocateImage(out.get(), 0, 0);
  if (out.get() == nullptr || out->imageData == nullptr) {
    *kind = 2;
    return nullptr;
  }
  MaskLane m[3];
  for (int i = 0; i < n; ++i) imp::maskLaneOf(masks[i], &m[i]);
  for (int64_t y = 0; y < height; ++y)
    imp::combineBitRow(out->imageData + y * out->widthStep, 0, width, m[0].first + y * m[0].rowStep,
                       m[0].bitOffset, m[1].first + y * m[1].rowStep, m[1].bitOffset,
                       n == 3 ? m[2].first + y * m[2].rowStep : nullptr,
                       m[n == 3 ? 2 : 0].bitOffset,
                       [n](uint64_t, uint64_t x, uint64_t y2, uint64_t z) {
                         return n == 3 ? x & y2 & z : x & y2;
                       });
  *kind = 1;
  ImpImageHeader *result = out.get();
  out.release();
  return result;
}
