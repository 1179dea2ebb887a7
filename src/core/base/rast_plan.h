// Row plan of the general rasterop and its kernel table.
//
// pxlRasterOpRaw computes one PxlRopPlan per call: all positions are in bits (a pixel of
// depth d is d bits), rows are 32-bit native words with the first pixel in bit 31. A kernel
// then walks the plan's rows, writing the first (masked) destination word, the whole words
// and the last (masked) partial word of each row; bits outside the rectangle never change.
//
// Shifts: with d = destination first bits and e = source first bits, d > e takes the source
// left by d - e (and the next word right by 32 - (d - e)); d < e takes it right by e - d (and
// the current word left by 32 - (e - d)). d == e is the aligned case: left shift 0 and a
// right shift of 32 that no kernel ever applies, so no shift by the word size occurs.
#ifndef PXL_RAST_PLAN_H
#define PXL_RAST_PLAN_H

#include <cstddef>
#include <cstdint>

#include "pxl_context.h"

struct PxlRopPlan {
  int32_t srcFirstBits;   // e, 1..32: bits from the source start to the end of its word
  int32_t rightShift;     // 1..32, applied to the next source word (32 only when aligned)
  int32_t leftShift;      // 0..31, applied to the current source word; 0 = bit-aligned
  int32_t dstFirstBits;   // d, 1..32: bits from the destination start to the end of its word
  int64_t widthBits;      // rectangle width in bits after clipping
  int64_t srcExtraWords;  // source words after the first that hold bits of the row
  int64_t dstFullWords;   // whole destination words between the first and the last
  int32_t dstLastBits;    // 0..31 bits used in the last partial word; 0 = none
  uint32_t firstMask;     // rectangle bits of the first destination word
  uint32_t lastMask;      // rectangle bits of the last partial destination word
  const uint32_t *src;    // first source word of the first row, or null
  uint32_t *dst;          // first destination word of the first row
  ptrdiff_t srcStride;    // bytes from one source row to the next (0 without a source)
  ptrdiff_t dstStride;    // bytes from one destination row to the next
  int64_t height;         // rows after clipping
  uint32_t constant;      // 0 or 0xFFFFFFFF: the source word when there is no source
};

namespace pxl::rop {

using Kernel = void (*)(PxlContext *ctx, const PxlRopPlan *plan);

// The kernels of one Boolean function: constant source, shifted source, aligned source.
struct Kernels {
  Kernel constant;
  Kernel shifted;
  Kernel aligned;
};

// Kernels of function code fn (op AND 30). All three are null for code 20 (D: nothing to
// write); codes 0, 10 and 30 read no source and give one kernel for all three cases.
const Kernels &kernelsFor(int32_t fn);

}  // namespace pxl::rop

#endif
