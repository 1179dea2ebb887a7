// The operations of the image primitives that the view control's image buffers call. They
// return nothing: a refused call reports through the error layer (imp_image.h) and leaves its
// destination untouched; read the outcome with ownGetErrorStatus().
#ifndef IMP_OPS_H
#define IMP_OPS_H

#include <cstdint>

#include "imp_image.h"

// dst = A AND B, A OR B over the common region (channels of interest, alpha channels, masks and
// tiles honoured); the destination may be one of the sources.
void impAnd(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage);
void impOr(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB, ImpImageHeader *dstImage);
// dst = src XOR the value replicated to the depth (1-bit: bit 0 of the value for every bit).
void impXorS(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t value);
// dst = NOT src (impXorS with all bits set).
void ownBitwiseNot(ImpImageHeader *srcImage, ImpImageHeader *dstImage);

// Copies the source region into the destination region; with masks only where the mask bit is
// 1 (the source's and destination's masks are ANDed when both are set).
void impCopy(ImpImageHeader *srcImage, ImpImageHeader *dstImage);
// Fills the region (through the mask) with a value limited to the depth's range.
void impSet(ImpImageHeader *image, int32_t fillValue);

// Every processed sample becomes the destination depth's largest value where it is at least
// the threshold, else its smallest (1-bit: 1 or 0).
void impThreshold(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t Threshold);

enum {
  IMP_DITHER_NONE = 1,
  IMP_DITHER_FS = 2,
  IMP_DITHER_JJH = 4,
  IMP_DITHER_STUCKEY = 8,
  IMP_DITHER_BAYER = 16
};

// Reduces 8U, 16U or 32S samples to 1U, 8U, 16U or 32S: top bits (NONE), or `levels` levels by
// error diffusion (Floyd-Steinberg, Jarvis-Judice-Ninke, Stucki) or 4 x 4 Bayer ordered
// dithering, with `noise` percent of threshold jitter from a fixed pseudo-random sequence.
void impReduceBits(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t noise,
                   int32_t ditherType, int32_t levels);

// Enlarges by xDst/xSrc and yDst/ySrc (refused when either is below 1) with nearest neighbour,
// linear or cubic interpolation.
void impZoom(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
             int32_t yDst, int32_t ySrc, int32_t interpolate);
// Scales by any factors through the same core; IMP_INTER_SUPER shrinks by area averaging.
void impResize(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
               int32_t yDst, int32_t ySrc, int32_t interpolate);
// Shrinks by xDst/xSrc and yDst/ySrc (each at most 1) with nearest neighbour, linear, cubic or
// area-average sampling.
void impDecimate(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
                 int32_t yDst, int32_t ySrc, int32_t interpolate);

// An RGB or BGR image (3 channels or more) to one grey channel of depth 16U, 8U or 1U; returns
// the rows converted (untiled), 0 (tiled) or the status reported.
int32_t impColorToGray(ImpImageHeader *srcImage, ImpImageHeader *dstImage);

// Composites A and B into the destination by a Porter-Duff rule (0 over, 1 in, 2 out, 3 atop,
// 4 xor, 5 plus) at depth 8 or 16, alphas from the alpha images or the sources' alpha channels
// (B's alpha M - a when none), optionally premultiplied and with division by the result alpha.
void impAlphaComposite(ImpImageHeader *srcImageA, ImpImageHeader *srcImageB,
                       ImpImageHeader *dstImage, int32_t compositeType, ImpImageHeader *alphaImageA,
                       ImpImageHeader *alphaImageB, ImpImageHeader *alphaImageDst,
                       int32_t premulAlpha, int32_t divideMode);

#endif
